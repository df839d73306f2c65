// stel_zpath.h - start segments of the walker around existing Z paths: short approaches from the
// free side of a path towards its edges or its points (the side away from their model
// contacts), so that a trace with a tool of radius `offset` finds the path's offset contour.
#pragma once

#include "geometry/kont2d.h"
#include "geometry/stel_list.h"
#include "geometry/zlevel_records.h"

// One start per edge of every path (edges shorter than 1e-6 passed over): from 2 x offset off
// the edge's midpoint on the path's free side (inside a path without material inside, outside a
// path with material, by its orientation) to the midpoint. A start is kept when it lies inside
// the region (kontClassifyPoint gives 2; a null region keeps all). Edge mode. Null for a null
// path array, n < 1, an offset that is not positive and finite, or when memory runs out.
StelList* stelFromZpaths(const ZPath* paths, int n, double offset, const Kont2D* region);

// One start per point of the path with a model contact (id 0 or more, |kind| 1 to 4) whose
// position differs from the contact in XY: from the position moved 2 x offset away from the
// contact (the free side), back to the position. Kept as above. Null for a null path, an offset
// that is not positive and finite, or when memory runs out.
StelList* stelFromZpathContacts(const ZPath* path, double offset, const Kont2D* region);
