// grid_bnd_trace.h - outlines of the marked cells of an integer matrix: the cell sides between
// marked and unmarked cells are chained into closed loops (outer loops counter-clockwise, holes
// clockwise), their staircase corners rounded by midpoint cutting, points outside a region pulled
// onto its boundary and collinear pieces merged. The flat-area finder traces each connected group
// of flat grid nodes through here.
#pragma once

#include <cstdint>
#include <vector>

#include "geometry/kont2d.h"
#include "geometry/lists.h"
#include "geometry/raster.h"
#include "geometry/vec.h"

// Two segment ends closer than this in x and y are the same point.
inline constexpr double kGridBndSame = 0.00001;

// Appends the outlines of the marked (non-zero) cells of matrix to list. Cell (i, j) stands for
// the node (x0 + j sx, y0 + i sy). Each loop is midpoint-cut three times (a list of fewer than 5
// segments only once), snapped to the region set by gridBndSetRegion when there is one, and
// collinear segments are merged. Returns 1 (also for a null or empty matrix: nothing appended);
// -1 for a null list or one with room for fewer than 3 segments, or when memory runs out (error
// record set).
int gridBndTrace(const IntMatrix* matrix, Point2D origin, Point2D steps, Seg2List* list);

// Region the next traces snap to; null turns snapping off. The pointer is borrowed.
void gridBndSetRegion(const Kont2D* region);
const Kont2D* gridBndGetRegion();

// Traces the window [row0, row1) x [col0, col1) and appends its loops, midpoint-cut once. The end
// row and column count as unmarked. Returns 1 (also for a null or empty matrix); -1 for a window
// outside the matrix, a null list or one with room for fewer than 3 segments, or no memory.
int gridTraceCells(const IntMatrix* matrix, int row0, int row1, int col0, int col1, Point2D origin,
                   Point2D steps, Seg2List* list);

// One midpoint-cutting pass over every loop of list; lists of fewer than 5 segments stay as they
// are. A loop that does not close (no later segment ends at its first point) ends the pass.
void gridBndSmooth(Seg2List* list);

// Moves loop points outside the region onto its outer contour and points inside an island onto
// the nearest island; the segments on both sides of a point move together.
void gridBndSnapToRegion(Seg2List* list, const Kont2D* region);

// Nearest point to p on the region's outer contour (islands 0) or on any of its islands (1): feet
// of perpendiculars within a segment and segment starts are the candidates, the first of equal
// distance wins. p itself when there is no segment.
Point2D gridBndNearestOnRegion(const Kont2D* region, Point2D p, int islands);

// Joins consecutive collinear segments that meet; the list's last segment always stays by
// itself. Returns 1; 0 with nothing changed for a null list or one of 3 segments or fewer.
int gridBndMergeCollinear(Seg2List* list);

// The position of the segment that closes the loop starting at segment first: the first segment
// from first on whose end meets the first segment's start. -1 when none does.
int gridBndLoopEnd(const Seg2List* list, int first);

// Chaining of boundary edges in doubled coordinates (row, column pairs; edge k runs from
// points[2k] to points[2k+1]): the order in which the edges form loops, and where each loop
// starts in that order. The indexed chaining is linear; the plain scan is its reference.
struct GridEdgePoint {
  std::int32_t r;
  std::int32_t c;
};
int gridBndChain(const std::vector<GridEdgePoint>& points, std::vector<std::int32_t>* order);
int gridBndChainPlain(const std::vector<GridEdgePoint>& points, std::vector<std::int32_t>* order);
// Collects the boundary edges of the window (steps 2 to 4 of the trace) into points.
int gridBndEdges(const IntMatrix* matrix, int row0, int row1, int col0, int col1,
                 std::vector<GridEdgePoint>* points);
// Switches gridTraceCells to the plain chaining scan (benchmarks and tests compare the two).
void gridBndUsePlainChain(int flag);
void gridBndResetState();
