// height_grid.h - a raster of heights over an XY rectangle of the tool system: the roughing
// fills one per region with the heights of the tool dropped onto the model, and the holder check
// and the stock queries read the cells under a box. Also the library's small 2x2 solver.
#pragma once

#include "geometry/triangle_grid.h"
#include "geometry/vec.h"

// Height that marks a cell without material below the tool.
constexpr double kHeightGridFloor = -10000.0;
// Smallest usable cell size; a smaller one gives a grid without cells.
constexpr double kHeightGridMinCell = 1e-5;

// rows along y, cols along x; cell (row r, column c) covers [x0 + c cell, x0 + (c + 1) cell) by
// [y0 + r cell, y0 + (r + 1) cell), and its height is heights[r][c]. The creator owns the record,
// the row table, the rows and the optional triangle grid (freed with heightGridFree).
struct HeightGrid {
  int rows;
  int cols;
  double x0;
  double y0;
  double cell;
  double floor;           // height of a cell without material below the tool
  double** heights;       // rows arrays of cols heights; null for a grid without cells
  TriangleGrid* triGrid;  // optional bucket index owned by the grid, or null
};

// The cells under a box: columns col0..col1 and rows row0..row1, both ends included.
struct HeightGridRange {
  int col0;
  int row0;
  int col1;
  int row1;
};

// A new grid over lower..upper (x and y): origin = lower corner, rows = floor((upper.y -
// lower.y) / cell) + 1 and cols = floor((upper.x - lower.x) / cell) + 1, each at least 1; floor
// value -10000 and every height set to it; no triangle grid. A cell size below 1e-5 (or not a
// number) gives a grid of 0 rows and columns without height arrays.
// Returns null when memory runs out or when a corner or the cell count is not finite or too large
// for memory (partial work freed; error record set).
HeightGrid* heightGridNew(double cell, const Point3D& lower, const Point3D& upper);

// Frees the rows, the row table, the triangle grid (when present) and the record. Null is ignored.
void heightGridFree(HeightGrid* grid);

// The cells covering the box lower..upper: col0 = trunc((lower.x - x0) / cell), row0 likewise;
// col1 = 1 - trunc(-(upper.x - x0) / cell), one past the cell containing the upper point, row1
// likewise; truncation toward zero; each index clamped to 0..cols-1 or 0..rows-1.
// Returns 1 with the range in out; -1 when the range is empty (col1 < col0 or row1 < row0), the
// grid has no cells, a coordinate is not a number, or grid or out is null. On -1 out (when given)
// holds the empty range {0, 0, -1, -1}, so a loop over it visits nothing.
int heightGridCellRange(const HeightGrid* grid, const Point2D& lower, const Point2D& upper,
                        HeightGridRange* out);

// Solves a x + b y = e, c x + d y = f by Cramer's rule: x = (d e - b f) / det and
// y = (a f - c e) / det with det = a d - b c.
// Returns 1; 0 when det is exactly 0 (outputs unchanged); -20 for a null output (nothing written).
int geoSolve2x2(double a, double b, double c, double d, double e, double f, double* x, double* y);
