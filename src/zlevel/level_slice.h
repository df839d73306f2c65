// level_slice.h - slicing the part at one Z level into closed tool-centre paths: the triangles
// and wall segments that can touch the tool at this height are selected from the candidate
// context, the level is traced from the raster's start segments (level_trace.h) and the open
// pieces are closed along the region (closed_paths.h). The result is the slice context's traced
// segment list split into pieces by its piece starts.
#pragma once

#include "geometry/kont2d.h"
#include "geometry/slice_records.h"

// Wall deduplication runs whenever the wall count reaches a multiple of this limit, which then
// grows by the same amount.
inline constexpr int kSliceWallLimit = 2000000;
// Triangles rising this far above the level are still selected.
inline constexpr double kSliceAbove = 0.1;
// A triangle whose highest corner lies no more than this above the level only touches the tool
// there (a flat face at the level, the top edge of a side below it): it gives no wall.
inline constexpr double kSliceWallAbove = 0.00001;
// Two wall segments whose ends (and allowances) differ by at most this are the same.
inline constexpr double kSliceWallSame = 0.001;

// Slices one level on private copies of the four records; the lists, region and raster they
// name are the caller's and receive the results (callers reset the traced list and the piece
// starts before each call). Steps: nothing to do without raster cells or traced list (0); the
// interrupt check (-2); a default region when the context has none; the step length from the
// tolerance; the selection of level triangles (cutter types other than 2, lowest corner at most
// 0.1 above the level, or 0.1 + c with "*ACCEPT_UNDERCUT") and of wall segments (flat end mill,
// or an undercut height: the parts between z and z + u of the triangles that rise more than
// kSliceWallAbove above the level); the interrupt check again; arczTraceLevel, then
// gen_closedpaths unless the no-closing flag is 1, then the pockets and islands that lie between
// the raster's nodes (arczTraceHidden); segments touching a marked sub-model become boundary
// segments (id -2, kind -1).
// Returns 1 closed paths made (with the no-closing flag: the tracing's 1 or 2); 0 nothing to do
// or nothing traced; -20 (at once, nothing read or recorded) for null records, a radius that is
// not positive and finite, a tolerance that is not finite or outside (0, 2 R), a corner radius
// that is negative or not finite, a level height that is not finite, or no candidate list for
// the mode; -1 no memory; -2 interrupted; the tracing's, walker's and closing's negative codes.
int arczLevelPaths(CollCtx* ctx, WalkTool* tool, WalkParams* params, SliceContext* slice);

// The step length of a level: with d = tolerance / R, t = 0.5 / sqrt(1 - (1 - d)^2), halved for
// every cutter type but 2; min(stepMax, max(0.05, R / t)). -20 for R or the tolerance not finite,
// R not positive, or d outside (0, 2).
double arczStepLength(double R, double tolerance, int type, double stepMax);

// Default region around the context's triangles and walls: the box of the wall contour and of
// the triangle list (the candidates' box when the context has neither), each side moved outwards
// by the absolute value of its coordinate plus R; a closed rectangle at the level with its mesh.
// Returns 1 with *region (the caller frees its mesh and the contour); -1 when memory runs out or
// the box is empty.
int arczDefaultBoundary(const CollCtx* ctx, const WalkTool* tool, Kont2D** region);

// Deduplicates the wall contour of the level: in list mode (the context's wall-allowance pairs
// move along) arczWallsDedupPaired, else arczWallsDedup.
void arczReduceWalls(CollCtx* ctx, const WalkParams* params, Kont2D* walls);
// Turns every segment so that x1 < x2 (y1 <= y2 when x1 = x2), sorts by arczCompareWall and keeps
// the first segment and each one with an end coordinate more than 0.001 from the last kept one.
// Nothing for fewer than two segments.
void arczWallsDedup(Kont2D* walls);
// The same with one allowance pair per segment moved along; a segment is also kept when its
// allowance differs by more than 0.001 from the last kept one. Nothing for fewer than two pairs
// or fewer pairs than segments.
void arczWallsDedupPaired(Kont2D* walls, RecList* pairs);
// lstSort comparator of two Seg2D: by x1, x2, y1, y2 ascending.
int arczCompareWall(const void* a, const void* b);
// The triangle mirrored about the plane at height z.
void arczMirrorTriZ(Tri3D* tri, double z);
