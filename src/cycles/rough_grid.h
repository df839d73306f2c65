// rough_grid.h - the drop grid of a roughing region: its geometry from the tool and the region's
// box, plane levels from grid heights (so that flat floors get a level of their own), the plunge
// point of a region when the user gave a start point, the order of the plunge cells, and the test
// of the first move from the plunge point.
//
// Lengths are scaled (tool radius 10). Run state: the plunge cell, the plunge point and the
// result of the last plunge search (roughGridResetState).
#pragma once

#include "framework/global_params.h"
#include "geometry/kont2d.h"
#include "geometry/path_list.h"
#include "geometry/raster.h"
#include "geometry/vec.h"
#include "geometry/zlevel_records.h"
#include "model/surface_model.h"
#include "zlevel/zlevel_list.h"

// Smallest usable cell size; a smaller "*FRRADIUS" - "*AUFMASS_HORI" cannot span a grid.
inline constexpr double kRoughGridMinCell = 1e-5;
// Most nodes a drop grid may have (rows x columns): 2^28 float heights are a gigabyte.
inline constexpr double kRoughGridMaxNodes = 268435456.0;
// A region side shorter than this margin (0.025 at each end) spans no cell: w counts as 0.
inline constexpr double kRoughGridEdgeMargin = 0.05;
// Message and stop code of a drop grid that cannot be made.
inline constexpr int kRoughMsgNoDropNet = 1184;
inline constexpr int kRoughStopGrid = -32;
// Result of a plunge search without a valid node inside the region.
inline constexpr int kRoughNoNodeInside = -28;
// Start collision: result of roughCheckStartCollision when the run must stop.
inline constexpr int kRoughStartCollides = -3;

// The grid geometry of a region (g: the scaled parameter block). Cell size d = "*FRRADIUS" -
// "*AUFMASS_HORI", times "*GRID_FACTOR" when |factor| >= 0.00001. With "*ADJUST_GRID" and
// "*ZUSTELL_OK" the grid is aligned to the start point (mapped into the tool system); otherwise
// the region's width less 0.05 is split into equal steps of at most d (a width below 0.05 counts
// as 0 and gives the step d), the origin 0.025 inside the box less one step, and rows and columns
// reach one step beyond the box on each side. Returns 1; -32 with message 1184 (level 9) when
// d is below 1e-5 or not finite, the grid would have more than kRoughGridMaxNodes nodes or a
// count that is not finite, or the region or an output is null (outputs then untouched).
int roughNetParams(const GlobalParams& g, const Kont2D* region, double* x0, double* y0, int* rows,
                   int* cols, double* colStep, double* rowStep);

// Plane levels from the float grid: every valid node with slope flag 0, in row-major order,
// gives zlevInsert (list, offset + height, "*MIN_STEPDOWN", plane). Returns 1; -1 for a null
// list or net, a net without tables, or a failed insertion.
int roughLevelsFromNet2(ZLevelList* list, const FloatDropNet* net, double offset);
// The same for the nodes strictly inside the region (kontClassifyPoint 2) whose distance from
// the region's contours (outer and islands) is at least minDistance + 0.00001.
int roughLevelsFromNetInside(ZLevelList* list, const FloatDropNet* net, const Kont2D* region,
                             double minDistance, double offset);

// The plunge point of a region. The start point (world coordinates) is mapped into the tool
// system; when its plan position lies inside the region's outer contour it is kept (1), else it
// moves to the nearest of the lowest valid nodes inside the region (0, roughGridBoundaryPoints).
// Of the four nodes around the point (lower-left first, each index clamped into the grid) the
// nearest one inside the outer contour becomes the plunge cell (x, y, node height, row, column,
// flag 1). Returns 1 or 0 with *cell and *point set (and stored as the plunge state); -1 when no
// node around the point lies inside; -28 no valid node inside the region; -20 null arguments or
// a net without tables.
int roughPlungePoints(const FloatDropNet* net, RasterCell* cell, Point2D* point,
                      const Point3D& start, const Kont2D* region);
// Of the valid nodes inside the chain segs (g2dWinding non-zero), sorted by height ascending,
// those within 0.1 of the lowest: the one nearest to p (the first on equal distance) in *out.
// Returns 1; -1 no memory; -28 no valid node inside.
int roughGridBoundaryPoints(const FloatDropNet* net, const Point2D& p, const Seg2D* segs, int n,
                            Point2D* out);
// lstSort / qsort comparator of two RasterCell by value (height), ascending.
int roughCompareCellZ(const void* a, const void* b);
// Orders the cells: the nearest to the origin (x^2 + y^2) first, then each next position gets the
// remaining cell nearest to the one before it (first one on ties). Lists of fewer than two cells
// stay. Returns 0.
int roughSortCellsByDistance(CellList* cells);

// The test of a run's first move from the plunge point, with allowance above 0: 1 with
// "*ZUSTELL_OK" off, a path of fewer than two points, a first point more than 0.001 (in plan)
// from the stored plunge point, or a free move from the first to the second point; otherwise
// message 2003 (level 9) and -3 with "*XCOLL_STOP", message 2002 (level 9) and 0 without.
int roughCheckStartCollision(const SurfaceModel* model, double allowance, const PathList* path);

// The plunge state of the last search.
struct RoughPlungeState {
  RasterCell cell;
  Point2D point;
  int found;   // 1 after a search that set the state
  int inside;  // the search's result: 1 start point inside the region, 0 moved onto the grid
};
const RoughPlungeState& roughPlungeState();
// Sets the plunge point (the start points of the outside-in strategy take this way).
void roughSetPlungePoint(const Point2D& p);

inline constexpr int kRoughMsgCollisionStop = 2003;
inline constexpr int kRoughMsgCollisionSeen = 2002;

void roughGridResetState();
