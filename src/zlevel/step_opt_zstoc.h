// step_opt_zstoc.h - helpers of the older flat-level variants: descending comparators for the
// common sort (they never answer "equal", so they serve lstSort only, never std::sort) and the
// per-triangle corner boxes of a candidate context.
#pragma once

#include "geometry/slice_records.h"

// -1 when the double at a is larger than the one at b, else 1.
int stepOptCompareDesc(const void* a, const void* b);
// -1 when triangle a's vertex 0 lies higher than triangle b's, else 1.
int stepOptCompareTriZ(const void* a, const void* b);
// Allocates ctx->boxMax and ctx->boxMin (one corner per triangle of ctx->triangles) and fills
// them from the three vertices. Returns 1; -1 when an array cannot be allocated (error record -1,
// both pointers null) or for a null context or triangle list.
int stepOptTriBoxes(CollCtx* ctx);
// Frees the arrays of stepOptTriBoxes and clears the pointers. Null is ignored.
void stepOptTriBoxesFree(CollCtx* ctx);
