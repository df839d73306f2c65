// dbl_list_ops.h - search, removal and text output of a DblList, the byte size of a file and the
// copy of a region list through its boundary text. The flat-plane finders keep their heights in
// a DblList and test whether the plane-boundary file grew.
#pragma once

#include <cstdint>

#include "geometry/kont2d.h"
#include "geometry/lists.h"

// Removes the value at index (the later ones move down; min and max are recomputed). Returns 1;
// 0 for a null list or an index outside 0 .. count-1.
int lstDblRemove(DblList* list, int index);
// Index of the first value within tol of v; -1 when none (or a null list).
int lstDblFind(const DblList* list, double v, double tol);
// Writes the values one per line ("%lf" as in the "C" locale) to the file, replacing it.
// Returns 1; 0 for a null list; -1 for a null name or when the file does not open.
int lstDblWrite(const DblList* list, const char* fileName);
// Size of the file in bytes; -1 when it does not open (or a null name).
std::int64_t geoFileSize(const char* fileName);
// Copy of the region list through its boundary text (outer contours counter-clockwise, constant
// z). Null for a null list or when the copy fails (error record set).
Kont2D* kontCopyViaText(const Kont2D* list);
