// step_opt_zstoc.h - the older flat-level variants and their helpers: descending comparators for
// the common sort (they never answer "equal", so they serve lstSort only, never std::sort), the
// per-triangle corner boxes of a candidate context, and the driver that runs the variant over
// given heights for a roughing region.
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

struct ZLevelList;
struct DblList;

// Older exact finder: as zrupp2genOptiStepBnds without the first-call deletion; heights without
// the pair allowance; with a non-empty wanted list only heights within 0.0001 of a wanted one;
// levels snapped whatever "*PLANES_ONLY" says; faces more than 1.5 p above a level's walk height
// left out of its window; raster cells of R x "*GRID_FACTOR" x f; every slicing failure retried
// with the tool radius times 0.95 and an outline failure -41 with the tolerance halved, at most
// 5 retries per level, then -28; a height whose outline did not make the file grow is dropped;
// the remaining heights h are inserted exactly at h + c as plane levels.
// Returns 1; 0 no flat face; -1 memory, contour or writing failures; -28; -20 null records.
int zstoc3genOptiStepBnds(CollCtx* ctx, WalkTool* tool, WalkParams* walk, SliceContext* slice,
                          double factor, ZLevelList* levels, const char* planeFile,
                          const DblList* wanted);
// Older finder over given heights (sorted descending and thinned to gaps above p here): a
// level's window holds the candidates with vertex-0 height within 0.5 p of it; levels whose box
// misses the caller's region are dropped. Retries, file test and insertion as zstoc3.
// Returns 1; 0 no height; -1, -28, -20 as zstoc3.
int zstoc4genOptiStepBnds(CollCtx* ctx, WalkTool* tool, WalkParams* walk, SliceContext* slice,
                          double factor, ZLevelList* levels, const char* planeFile,
                          DblList* heights);

struct SurfaceModel;
struct Kont2D;
struct Tri3List;

// What the driver takes of a roughing region: the run's model (its cutter gives the tool and its
// sub-models stay in play), the region (null: each level's own rectangle) and the region's level
// list, which receives the outlined heights.
struct StepOptCycleContext {
  SurfaceModel* model;
  Kont2D* region;
  ZLevelList* levels;
};

// Runs zstoc4genOptiStepBnds over heights for the region of cycle: sorts triangles in place by
// descending vertex-0 height, builds an index-mode candidate context over them (every triangle in
// list order, its corner boxes, the cycle's region), the tool from the model's cutter (radius,
// corner radius, type), zeroed walk parameters with the cycle's model (its triangle list taken as
// triangles for the call) and a slice context with lists of its own, and calls it with
// "*PLANE_FACTOR" and the cycle's level list. Everything it built is freed on every return.
// Returns the routine's result (1, 0 no height, -1, -28); -20 for a null argument or a model
// without cutter; -1 when a list, the candidates or the boxes cannot be made (error record set).
int stepOptZstoc4Driver(const StepOptCycleContext* cycle, Tri3List* triangles, DblList* heights,
                        const char* planeFile);
