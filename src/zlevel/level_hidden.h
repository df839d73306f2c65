// level_hidden.h - free pockets and material islands of a level that lie between the nodes of the
// level raster. Tracing starts only where a free node neighbours a blocked one, so a pocket that
// holds no node (a slot a little wider than the tool, running between two rows of nodes) or an
// island that no node falls on is never traced. This search moves the blocked nodes that lie near
// the tool's offset of the level's elements across that offset, takes the tops of peaks that
// reach into the tool by a hair, keeps the points that lie in no area the traced loops already
// bound, checks a free point with the cutter's exact drop, and traces a contour from each point
// left.
#pragma once

#include "geometry/lists.h"
#include "geometry/slice_records.h"
#include "model/cutter_shape.h"
#include "model/surface_model.h"

// A found point must lie this many tolerances clear of the offset (the walked contour lies up to
// a tolerance outside the offset and its chords up to three inside it).
inline constexpr double kHiddenMargin = 4.0;
// Moves of one node towards the other side of the offset.
inline constexpr int kHiddenPushes = 5;
// Rounds of the pattern search where the moves fail.
inline constexpr int kHiddenClimbs = 12;

// What the exact check of a free point needs: the triangles that can hold the tool above the
// level (every candidate whose highest corner reaches the level's lowest reach), each with the
// radius difference of its sub-model's cutter; the whole model, whose facets stay where the
// candidates were culled by the levels above (null: the candidates alone); the pieces of the
// triangles between the level and the undercut height whose edges are the walls (in plan: the
// material over the level, which blocks the tool within R); and the cutter itself (radius not
// grown by the walk's tolerance).
struct LevelHiddenModel {
  const PtrValPair* triangles;  // triangle address and radius difference
  int count;
  const Tri3D* pieces;
  int pieceCount;
  const SurfaceModel* model;
  CutterShape cutter;
};

// Searches the level for pockets and islands that the traced pieces miss and traces each one:
// slice->traced holds the level's closed paths (gen_closedpaths done) and slice->pathStarts their
// starts; every new loop is appended as a piece of its own. A loop traced from a found point that
// meets a piece already there is the old area again and is dropped. The walker's records are
// those of the level's tracing (ctx with the level's triangles and walls, the walked tool).
// Returns the number of loops added (0 or more); -1 no memory; -20 null records or lists; a
// tracing or closing failure of a new loop (its code, recorded by the tracing).
int arczTraceHidden(CollCtx* ctx, WalkTool* tool, WalkParams* params, SliceContext* slice,
                    const LevelHiddenModel* model);
