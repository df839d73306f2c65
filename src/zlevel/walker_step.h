// walker_step.h - one step of the tool-centre walker: where, on a small circle about a point just
// ahead of the last tool position, the tool first touches the model's triangles or the level's 2D
// wall segments when the circle is swept from behind in the walking sense; and the box arrays and
// cell grids, built once per level, that keep each such search local.
#pragma once

#include "geometry/kont2d.h"
#include "geometry/lists.h"
#include "geometry/slice_records.h"
#include "geometry/triangle_grid.h"
#include "geometry/vec.h"

// Grids have at most this many rows and columns, each cell at least two tool radii wide.
inline constexpr int kOffs3dGridMaxCells = 30;
// Initial room of every cell of both grids.
inline constexpr int kOffs3dGridCellRoom = 100;
// A wall segment whose end points differ by less than this in x and in y is a point.
inline constexpr double kOffs3dPointWall = 0.00001;
// Margin of the wall tests: farther lines are skipped, a centre nearer than R' - r by it is deep.
inline constexpr double kOffs3dWallMargin = 0.01;

// Rows (columns) of a grid over an extent: min(30, floor(|extent| / 2R) + 1); 1 when the quotient
// is not a number.
int offs3dGridSize(double extent, double R);

// Builds the step search's boxes and grids into params for the context's triangles and walls,
// with the margin m = params->step + R:
// - triangles: one TriBox per triangle (its box widened by m), sorted by xmin; a grid over the
//   triangle list's box (offs3dGridTriangles);
// - walls: every segment turned so that x1 <= x2, the segments sorted by x1 (in list mode, with a
//   wall allowance list in the context, its pairs are moved along); one WallBox per segment (its
//   box widened by m); a grid over the wall contour's box filled by wcoll2dGridSegments.
// Whatever params held before is released first. Returns 1; -1 when memory runs out (everything
// made here freed, the pointers and counts cleared, error record -1 under "Offs3d"); -20 for a null
// context, tool or parameters, a radius that is not positive and finite, a step length that is
// negative or not finite, or a wall allowance
// list with fewer pairs than the walls have segments (nothing changed but the release).
int offs3dPrepare(CollCtx* ctx, WalkTool* tool, WalkParams* params);

// Frees both grids and both box arrays of params and clears their pointers and counts. Returns 1
// (also for null parameters, and for records already released).
int offs3dRelease(CollCtx* ctx, WalkTool* tool, WalkParams* params);

// Fills the grid with the box positions 0 .. count-1 of the sorted boxes (count = the triangle
// list's count): the grid spans the triangle list's box, each box widened once more by R enters
// every cell from the clamped cell of its low corner to that of its high corner; afterwards every
// cell's index array is shrunk to its count. Returns 1; -1 when memory runs out (error record
// set); -20 for a null grid, list or boxes.
int offs3dGridTriangles(TriangleGrid* grid, const Tri3List* triangles, const TriBox* boxes,
                        double R);

// 1 when p lies closer than d to either end of the segment or to its foot within the segment,
// else 0.
int offs3dNearWall(double d, const Seg2D& seg, const Point2D& p);

// The first position on the step circle, swept from the direction of the previous point in the
// walking sense, at which the tool touches an element: the triangles whose boxes in triCell hold
// the centre (at params->z) and the wall segments of wallCell. Candidates need their contact on
// the element, on the material side (left of the direction from the centre to the position when
// walking counter-clockwise, right otherwise) and a pseudo-angle from the previous point below
// every earlier candidate's. A triangle's face candidate skips its edges and vertices, an edge
// candidate its vertices. Radii grow by the installed allowance tables (wcollGetTriAllowances per
// triangle index, wcollGetSegAllowances per sorted wall index). A triangle wins a tie with a wall.
// A flat end mill (type 2) meets only the walls; a null cell skips its elements.
// Returns 1 with the position (at z), the touching point, the id (triangle index in the context's
// list, or sorted wall index) and the plain kind (1 face, 2 edge, 3 vertex, 4 wall); 0 when
// nothing is found, when a solver finds the ball already gouging an element, or when the centre
// already lies deeper than the step into a wall segment (outputs unchanged; the error record is
// left as it is, apart from the solvers' own -60); a solver's other negative result; -20 for null
// arguments, a tool type other than 1, 2 or 3, or a circle radius that is not positive.
int offs3dNextPoint(const CollCtx* ctx, const WalkTool* tool, const WalkParams* params,
                    const TriangleGridCell* triCell, const TriangleGridCell* wallCell,
                    const StepCircle* circle, Point3D* outPoint, Point3D* outContact, int* outId,
                    int* outKind);
