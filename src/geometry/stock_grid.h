// stock_grid.h - the quantised height grid of the stock model's depth query, as far as its two
// cell queries read it: which cells lie under a box, and the 3D point of a cell. The drop of a
// revolved tool profile onto the stock (drop nets) reads the grid through these; the stock model
// of the machining cycles owns the grid and its no-transform flag.
//
// Unless the no-transform flag is set, the grid lies in the NC frame system and the queries map
// the tool system's points into it and back (csysToolToFrame, csysFrameToTool).
#pragma once

#include <cstdint>

#include "geometry/height_grid.h"
#include "geometry/vec.h"

// The fields of the stock grid that the cell queries read. Cell (column c, row r) has its point
// at (x0 + c cell, y0 + r cell, z0 + heights[r][c] zStep).
struct StockGrid {
  double x0, y0, z0;  // origin
  double cell;        // cell size in x and y
  double zStep;       // height quantum
  std::int32_t columns;
  std::int32_t rows;
  std::uint16_t** heights;  // rows row pointers, each to columns height counts
};

// The cells under the box lower..upper (both corners mapped into the grid's system):
// col0 = trunc((lower.x - x0) / cell) and row0 likewise, at least 0; col1 = trunc((upper.x - x0) /
// cell) + 1 and row1 likewise, at most columns - 1 and rows - 1; truncation toward zero.
// Returns 1 with the range in out when col1 >= col0 and row1 >= row0; 0 otherwise (out then the
// empty range {0, 0, -1, -1}), also for a null grid or out, a cell size that is not positive, or
// a corner that is not a number.
int hgridCellRange(const StockGrid* grid, const Point2D& lower, const Point2D& upper,
                   HeightGridRange* out);
// The point of cell (col, row), mapped back into the tool system. Returns 1; -1 outside the
// grid, for a null grid or out, or a grid without heights.
int hgridCellPoint(const StockGrid* grid, int col, int row, Point3D* out);

// The stock model's no-transform flag (0 at load): while it is 1 the grid lies in the tool
// system and nothing is mapped.
void hgridSetNoTransform(int on);
int hgridNoTransform();

// Test seam: the flag back to 0.
void hgridResetState();
