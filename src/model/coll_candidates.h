// coll_candidates.h - the candidate facets of the one-Z contact searches: creating, filling and
// freeing the lists of a collision candidate context, the sub-model questions of the level code,
// and uniform access to the candidates whether the context holds indices or triangle addresses.
//
// Run state: the additional flag (set by a fill when a sub-model in play is an additional set)
// is cleared by every fill and by collCtxResetState at the start of a top-level run.
#pragma once

#include <cstdint>

#include "geometry/lists.h"
#include "geometry/slice_records.h"
#include "geometry/vec.h"
#include "geometry/zlevel_records.h"
#include "model/surface_model.h"

// Capacity of each pair list that collCtxAlloc creates in list mode.
constexpr int kCollPairCapacity = 1000;

// ---- lists of the context ---------------------------------------------------------------------

// List mode (params->mode non-zero): creates the candidate pair list and the wall- and
// triangle-allowance pair lists, each with room for kCollPairCapacity pairs. Index mode: creates
// the candidate index list with room for the model's triangle count. A list the context already
// holds is freed first. Returns 1 when every list of the mode exists; -1 when memory runs out
// (error record set; the caller frees the context with collCtxFree); -20 for a null context or
// parameters.
int collCtxAlloc(CollCtx* ctx, const WalkParams* params);

// Frees the candidate index list and the three pair lists (null ones skipped) and clears those
// four fields. The triangles, walls, region and box arrays are the caller's. Null is ignored.
void collCtxFree(CollCtx* ctx);

// Fills the candidates and writes the largest cutter in play to cutterOut, whose radius on entry
// takes part in the comparison (pass the model's cutter or a cutter of radius 0). Every fill
// clears the additional flag first.
// Index mode: the index list becomes 0 .. count-1 over the model's triangles and cutterOut the
// model's cutter (when it has one).
// List mode: one pair per triangle of the model (value 0) and of every sub-model in chain order
// (value: sub-model cutter radius - model cutter radius), cutterOut the cutter of largest radius;
// then every value is lowered by (cutterOut radius - model cutter radius), so each pair carries
// its facet cutter's radius minus the largest radius (0 or negative). The additional flag is set
// when a sub-model of the chain is additional. Finally every candidate triangle gets its highest
// corner first (collCtxTriHighestFirst: the triangles change in place, in the model) and the
// pairs are sorted highest first (lstSort with collCtxCompareZDesc).
// Returns 1; -1 when an append fails (error record set); -20 for a null context, parameters,
// model or cutterOut, or a list-mode model without a cutter.
int collCtxFill(CollCtx* ctx, const WalkParams* params, CutterShape* cutterOut);

// The additional flag of the last fill: 1 when a sub-model in play was an additional set.
int collCtxFlagged();

// The additional value of the n-th sub-model of the chain (the first is n = 1); 0 for n <= 0,
// when the chain has fewer than n sub-models, or for null parameters or model.
int collLevelFlagAt(const WalkParams* params, int n);

// Rotates the corners of every triangle of the candidate pair list cyclically (orientation kept)
// so that the highest comes first: (V1, V2, V0) when V1.z >= V0.z and V1.z >= V2.z; otherwise
// (V2, V0, V1) when V2.z >= V1.z and V2.z >= V0.z; otherwise unchanged. Pairs with a null
// address are skipped. Null context or list is ignored.
void collCtxTriHighestFirst(CollCtx* ctx);

// Comparator of two candidate pairs (PtrValPair) for lstSort: 1 when a's triangle's first corner
// lies lower than b's, -1 when higher, 0 when equal; a sort with it puts the highest first.
// A removed pair (null address) counts as lower than every triangle.
int collCtxCompareZDesc(const void* a, const void* b);

// The part of the model that the running triangle index belongs to: 0 the model's own triangles
// (indices 0 .. model count - 1), k the k-th sub-model of the chain (indices counting on from the
// model's count, chain order), -1 beyond the last sub-model or for a null model. A negative index
// is returned unchanged.
int collSubModelOfTriangle(const SurfaceModel* model, int index);

// Whether the walker's next contact (id, kind) lies on another part of the model than its last
// contact (the last traced segment of the slice): 1 when collSubModelOfTriangle of their running
// indices (pkoMapTriangleIndex) differ. 0 when the walk's sub-model mode is off, when the last
// fill met no additional sub-model (collCtxFlagged), when the walker has no last contact (no
// traced segment, or its id is negative), for a negative new id, or when either index cannot be
// mapped.
int collContactChangesSubModel(const CollCtx* ctx, const WalkTool* tool, const WalkParams* walk,
                               const SliceContext* slice, int id, int kind);

// ---- the candidates as one set ----------------------------------------------------------------
// The set is in index mode when the context has a candidate index list (indices into its
// triangle list, boxes from its box arrays), else in address mode when it has a candidate pair
// list, else empty. A removed candidate (index -1, or null address) stays in the set until
// collSetCompact.

// Number of candidates (removed ones included); 0 for an empty set or null context.
int collSetCount(const CollCtx* ctx);
// The triangle of candidate i; null for an empty set, i outside 0 .. count-1, a removed
// candidate, or an index outside the triangle list.
Tri3D* collSetItem(const CollCtx* ctx, int i);
// Box of candidate i: from the box arrays in index mode (from its corners when the context has
// no box arrays), from the componentwise minimum and maximum of its corners in address mode.
// Returns 1; 0 (outputs unchanged) when collSetItem gives null or an output is null.
int collSetItemBox(const CollCtx* ctx, int i, Point3D* outMin, Point3D* outMax);
// Box of all candidates: the triangle list's own box in index mode, the union of the boxes of
// the candidates present in address mode. Returns 1; 0 (outputs unchanged) for an empty set, an
// address-mode set whose candidates are all removed, or a null output.
int collSetBox(const CollCtx* ctx, Point3D* outMin, Point3D* outMax);
// Marks candidate i removed. Returns 1; 0 for an empty set or i outside 0 .. count-1.
int collSetRemove(CollCtx* ctx, int i);
// Drops the removed candidates, keeping the order of the others, and sets the list's count.
// Returns the list (the IntList in index mode, the RecList in address mode); null for an empty
// set.
void* collSetCompact(CollCtx* ctx);

// Test seam and run-start reset: the additional flag back to 0.
void collCtxResetState();
