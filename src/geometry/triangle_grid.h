// triangle_grid.h - the plan-position index of the library: a regular grid of buckets over an XY
// rectangle, each bucket listing the items (facets or segments) whose margin-grown boxes reach it.
// A drop asks for the bucket of its plan position and tests only the facets listed there; the
// indices of a bucket stay in ascending order, which for height-sorted facets means descending
// height, so a scan along a bucket may stop at the first facet below its threshold.
#pragma once

#include <cstdint>

#include "geometry/vec.h"

// One bucket: count indices in the order they were added, room for capacity.
struct TriangleGridCell {
  std::int32_t count;
  std::int32_t capacity;
  std::int32_t* indices;
};

// rows cells along y, columns cells along x (both at least 1), over the rectangle x0..x1 by
// y0..y1; cell (row, column) is cells[row * columns + column]. The grid owns its cells and their
// index arrays.
struct TriangleGrid {
  std::int32_t rows;
  std::int32_t columns;
  double x0;
  double y0;
  double x1;
  double y1;
  double cellHeight;  // along y
  double cellWidth;   // along x
  TriangleGridCell* cells;
};

// Creates a grid of empty cells, each with room for initialCapacity indices (a capacity below 1
// makes the cells start without room; they get it on the first append).
// Returns the grid; null when rows or columns are not positive, the cell count does not fit in
// memory, or memory runs out (partial work freed, error record set).
TriangleGrid* triGridNew(int rows, int columns, int initialCapacity);

// Frees the index arrays, the cells and the grid. Returns 0 (also for a null grid).
int triGridFree(TriangleGrid* grid);

// Sets the rectangle to boxMin..boxMax (x and y) and the cell sizes, then enters each item i =
// 0 .. count-1 in order into every cell that its box itemMin[i]..itemMax[i], grown by margin in
// x and y, reaches (clamped to the grid). A non-positive or non-finite cell size puts every item
// into row (column) 0 of that direction; a non-finite item bound counts as unbounded on its side.
// Returns 1; -1 when memory runs out (the cells then hold a prefix of the items); -20 for a null
// grid, a negative count, or null arrays with items (nothing changed). Errors set the record.
int triGridFill(TriangleGrid* grid, int count, const Point3D& boxMin, const Point3D& boxMax,
                const Point3D* itemMin, const Point3D* itemMax, double margin);

// Index of the cell along one direction: trunc((v - origin) / size) clamped to 0 .. n-1. A NaN
// quotient gives lowIfNan ? 0 : n-1; a non-positive or non-finite cell size gives 0.
int triGridIndex(double v, double origin, double size, int n, bool lowIfNan);

// Shrinks the index array of every non-empty cell to its count and sets the cell's capacity to
// the count; a cell whose shrinking fails keeps its array and capacity. Null is ignored.
void triGridShrinkCells(TriangleGrid* grid);

// Appends index to cell (row, column); the cell's capacity doubles when it is full.
// Returns 1; -1 when memory runs out (cell unchanged); -20 for a null grid or a cell outside the
// grid. Errors set the record.
int triGridAdd(TriangleGrid* grid, int row, int column, int index);

// The cell containing (x, y), the row and column clamped into the grid (a non-finite coordinate
// or a non-positive cell size gives row or column 0). Null for a null grid. No allocation.
const TriangleGridCell* triGridCell(const TriangleGrid* grid, double x, double y);
