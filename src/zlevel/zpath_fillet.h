// zpath_fillet.h - corner rounding of the Z paths of a level: every path is offset twice with the
// region offset (towards its free side by 0.99 of the radius, then back by the full radius), and
// the rounding arcs of the result that lie on the path's free side are spliced into the path, which
// keeps its own points everywhere else. The pocketing then never follows a corner sharper than the
// radius.
//
// Run state: three search cursors (the crossing search and the two point-on-edge searches), each
// the path index where its last search ended. Every zpathListFillet call starts them at 0.
#pragma once

#include "geometry/kont2d.h"
#include "geometry/lists.h"
#include "geometry/zlevel_records.h"

// Codes of the fillet.
constexpr int kZpFilletOddSides = -28;     // a contour's side changes are odd in number
constexpr int kZpFilletNoEdge = -202;      // a piece end lies on no edge of the path
constexpr int kZpFilletMsgSkipped = 1186;  // the radius cannot be realised: the path is dropped
constexpr int kZpFilletMsgProgress = 3009;

// A piece of the rounding contour: its segments [first, end) and its positions on the path.
struct ZpFilletPiece {
  std::int32_t first;
  std::int32_t end;
  double endPos;
  double startPos;
};
static_assert(sizeof(ZpFilletPiece) == 24);

// Rounds every path of the list with radius; the list is replaced in place by the rounded paths in
// the same order; a path whose radius cannot be realised is dropped (message 1186). The contour
// module's no-rounding and skip-check switches are 1 meanwhile and 0 afterwards; the boundary's
// next link is detached meanwhile. The search cursors start at 0.
// Returns 0 for a null or empty list or a radius <= 0 (nothing changed); else the result of
// zpathListFilletLevels.
int zpathListFillet(ZPathList* list, Kont2D* boundary, double radius);

// The rounding of the list. Returns 1 done (also for |radius| < 1e-6, unchanged); negative on
// failure with the input paths left in the list (error record set, source "Zpath"): -1 memory or a
// path that is not a contour, the first offset's code, -1 for a failed second offset,
// kZpFilletOddSides, kZpFilletNoEdge. A path whose rounding pieces cannot be cut (a side-changing
// segment without a crossing with the path) is kept unchanged, with a logged line.
int zpathListFilletLevels(ZPathList* list, Kont2D* boundary, double radius);

// Crossing of segment s with the edges of the closed path, from the crossing cursor on (at most
// count + 1 edges). Returns 1 with the lines' intersection in out; 0 none (or parallel lines).
int zpathSegCrossing(const Seg2D& s, const ZPath* path, Point2D* out);
// The first edge, from the own cursor on, on which p lies within 0.01: the index of its first
// point (StartAt) or of its second point (EndAt); -1 none or an empty path.
int zpathEdgeStartAt(const Point2D& p, const ZPath* path);
int zpathEdgeEndAt(const Point2D& p, const ZPath* path);
// 1 when p lies within 0.001 of an edge of the path (the closing edge first), else 0.
int zpathPointOnPath(const ZPath* path, const Point2D& p);
// Position i + t of p on the path (edge i -> i+1, t in [0, 1)): the nearest edge whose parameter
// is in range; without one, the index of the nearest point. -1 for an empty path.
double zpathPathPosition(const ZPath* path, const Point2D& p);
// Segments i..count-1 followed by 0..i-1 become the contour's segments. Returns 1; -1 on no
// memory; -20 for a null contour or i outside 0 .. count-1.
int zpathRotateContour(Kont2D* contour, int i);
// Rotates the contour so that its first segment whose start is not on the path's free side comes
// first. Returns 1; -1 on no memory.
int zpathFilletRotateStart(Kont2D* contour, const ZPath* path);
// Appends to sides the segments whose end changes the side of the path (see the source). Returns
// 1; -1 on no memory.
int zpathFilletSideChanges(const Kont2D* contour, const ZPath* path, IntList* sides);
// Cuts the free-side runs of the contour into the pieces contour, their starts into starts.
// Returns 1 (the last crossing search found its crossing); 0 nothing to do, or a side-changing
// segment has no crossing with the path; -1 missing outputs; kZpFilletOddSides.
int zpathFilletPieces(const ZPath* path, const Kont2D* boundary, const Kont2D* contour,
                      const IntList* sides, Kont2D* pieces, IntList* starts);
// Puts the pieces in path order and removes pairs that cover the same stretch. Returns 1; -1 on
// no memory.
int zpathFilletOrderPieces(const ZPath* path, IntList* starts, Kont2D* pieces);
// 1 when no piece has a position strictly inside (a, b) (a < b), or, for a >= b, when every
// piece's positions lie in [b, a]; else 0.
int zpathFilletIntervalFree(double a, double b, const ZpFilletPiece* pieces, int count);
// Removes pairs of pieces covering the same stretch until none is left. Returns 1 and the new
// count in *count.
int zpathFilletDropOverlaps(ZpFilletPiece* pieces, int* count);
// Gives the first and last point of a piece in work boundary marks where they lie on a boundary
// stretch of the path. Returns 1.
int zpathFilletMarkEnds(const ZPath* path, ZPath* work, int first, int last);
// Builds the rounded path in work from the path and the ordered pieces. Returns 1; -1 no memory;
// kZpFilletNoEdge.
int zpathFilletSplice(ZPath* work, const ZPath* path, const Kont2D* pieces, const IntList* starts);

// Test seam and run-start reset: the three search cursors back to 0.
void zpathFilletResetState();
