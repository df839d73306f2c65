// zpath.h - the tool-centre path of one Z level (ZPath) and the list of the paths of one region.
// The records are in geometry/zlevel_records.h, where the geometry code that converts region
// contours into paths and back reaches them; the Z-level slicing builds on the same records.
#pragma once

#include "geometry/zlevel_records.h"

// New empty list with room for max(n, 3) paths; null when memory runs out (error record -1).
ZPathList* zpathListNew(int n);
// Frees every path's arrays, the path array and the list. Accepts null; returns 1.
int zpathListFree(ZPathList* list);
// Frees the arrays of the path at index and moves the later paths down. Returns 1; 0 for a null
// or empty list or an index outside 0 .. count-1.
int zpathListRemove(ZPathList* list, int index);
// Appends every contour of the region (outer contour, then its islands) as a closed path of the
// segment start points: boundary points (id -2, kind -1 outer / 0 island), the contour's z,
// orientation and area from the points, flag word ZP_FROM_CONTOUR; material inside 1 and depth 0
// for the outer contour, 0 and 1 for islands. Contours without segments are passed over.
// Returns 1; 0 for a null list, a null region or an outer contour without segments; -1 when
// memory runs out, after removing the paths it had added.
int zpathListFromContours(ZPathList* list, const Kont2D* region);
