// mean_path.h - the mean path: a planar region given as closed polygon loops becomes one meander
// of straight passes parallel to the y axis, a fixed width apart, joined along the region's
// boundary, with a wall pass once round every loop the passes cross, so that no wall between two
// passes and no notch of a wall inside a cell stays uncut. The axis-parallel pocket cycle clears
// each level with it.
// Input: an index list holding the loops one after another, each closed by repeating its first
// index (the outer loop counter-clockwise, islands clockwise), and the list of points. Result: the
// same lists replaced; the index list holds sub-paths, each followed by -1 and the whole beginning
// with -1; the point list holds the input points (x snapped, see meanPathCore) and every point made
// on the way (crossings with the passes, the start, link points).
#pragma once

#include <cstdint>

#include "geometry/kont2d.h"
#include "geometry/lists.h"
#include "geometry/vec.h"

// Result codes; every failure is also recorded in the geometry error record (source "Meanpath").
inline constexpr int kMeanPathNoMemory = -1;      // out of memory or a temporary file failure
inline constexpr int kMeanPathBadBoundary = -28;  // the boundary file cannot be read back
inline constexpr int kMeanPathOpenCell = -110;    // a cell cannot be closed
inline constexpr int kMeanPathNoJoin = -202;      // no start on a pass, or a chain cannot be joined
inline constexpr int kMeanPathChainsGrew = -42;   // the number of remaining chains grew

// One boundary piece inside one slab (the strip between two pass lines).
struct MeanPathEdge {
  std::int32_t start;  // point index
  std::int32_t end;    // point index
  std::int32_t slab;   // -1 for a piece on a pass line or one already used
};
static_assert(sizeof(MeanPathEdge) == 12);

// A closed loop inside one slab: positions first .. end - 1 of the cell index list (the last
// repeating the first), its orientation and the positions of its four corners.
struct MeanPathCell {
  std::int32_t first;
  std::int32_t end;
  std::int32_t orientation;  // +1 counter-clockwise, -1 clockwise, 0 undecided
  std::int32_t slab;
  std::int32_t leftTop;      // smallest x, among equal x the largest y
  std::int32_t rightTop;     // largest x, then largest y
  std::int32_t rightBottom;  // largest x, then smallest y
  std::int32_t leftBottom;   // smallest x, then smallest y
};
static_assert(sizeof(MeanPathCell) == 32);

// The meander at width, else at width + 0.001 .. + 0.005, then width - 0.001 .. - 0.004 (the first
// result not negative ends the tries), each on fresh copies of the caller's lists. start (may be
// null) is where the path must begin. Returns 1 with the lists replaced; 0 nothing computed
// (lists unchanged); negative: the last failure of the ten widths (lists unchanged).
int meanPath(IntList* indices, Pt2List* points, const Point2D* start, double width);
// One computation at one width on the lists it is given (it overwrites them, also on failure).
// Returns 1, 0 (fewer than 3 indices or points, width not above 0, a start whose x does not lie
// strictly inside the points' x range) or a negative code. Needs the boundary region of
// meanPath; without one every candidate scores 0.
// The pass lines lie at the anchor (the start's x, else the middle of the x range) plus whole
// widths; while a point lies on one of them (within 1e-6) they all step 0.001 to the left, so
// the loops keep their shape (a start then lies up to 0.02 beside its pass, which the start's
// search accepts). The linked path is followed by the wall pass: each loop the passes cross is
// followed once round from the last place where the path meets it and back there.
int meanPathCore(IntList* indices, Pt2List* points, const Point2D* start, double width);
// The loops as a region list, through a temporary boundary file in the work directory that is
// removed on every path. Null, code 0, for null or empty lists; null with code -1 (no file) or
// -28 (read failure) otherwise. code may be null.
Kont2D* meanPathBoundaryRoundTrip(const IntList* indices, const Pt2List* points, int* code);

// The slabs of a piece from p to q with the pass lines xs (ascending, count n): slab of p and of q.
void meanPathStripeRange(const double* xs, int n, const Point2D& p, const Point2D& q, int* slabP,
                         int* slabQ);

// Test seam: the boundary region freed.
void meanPathResetState();
