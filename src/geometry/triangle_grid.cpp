// triangle_grid.cpp - creation, filling and lookup of the plan-position bucket grid.
// Every float-to-int conversion here is clamped first, so a degenerate rectangle or a
// non-finite coordinate can only pick an edge cell, never an undefined index.
#include "geometry/triangle_grid.h"

#include <climits>
#include <cmath>
#include <cstddef>
#include <cstdint>

#include "framework/memory.h"
#include "geometry/geo_error.h"

// Index of the cell along one direction: trunc((v - origin) / size) clamped to 0 .. n-1.
// A NaN quotient (non-finite input) gives lowIfNan ? 0 : n-1, so an item bound that is not a
// number widens the item's range rather than narrowing it. A non-positive or non-finite cell
// size means a rectangle without extent in that direction: everything lies in cell 0.
int triGridIndex(double v, double origin, double size, int n, bool lowIfNan) {
  if (!(size > 0.0) || !std::isfinite(size)) return 0;
  const double q = (v - origin) / size;
  if (std::isnan(q)) return lowIfNan ? 0 : n - 1;
  if (q < 1.0) return 0;  // also negative values and -inf
  if (q >= static_cast<double>(n - 1)) return n - 1;
  return static_cast<int>(q);
}

TriangleGrid* triGridNew(int rows, int columns, int initialCapacity) {
  if (rows <= 0 || columns <= 0) {
    geoFail(kGeoBadArgument, "triangle_grid");
    return nullptr;
  }
  const std::size_t cellCount = static_cast<std::size_t>(rows) * static_cast<std::size_t>(columns);
  if (cellCount > static_cast<std::size_t>(INT_MAX) ||
      cellCount > SIZE_MAX / sizeof(TriangleGridCell)) {
    geoFail(kGeoFailed, "triangle_grid");
    return nullptr;
  }
  const int capacity = initialCapacity > 0 ? initialCapacity : 0;
  auto* grid = static_cast<TriangleGrid*>(memAllocZero(sizeof(TriangleGrid)));
  if (grid == nullptr) {
    geoFail(kGeoFailed, "triangle_grid");
    return nullptr;
  }
  grid->rows = rows;
  grid->columns = columns;
  grid->cells = static_cast<TriangleGridCell*>(memAllocZero(cellCount * sizeof(TriangleGridCell)));
  if (grid->cells == nullptr) {
    triGridFree(grid);
    geoFail(kGeoFailed, "triangle_grid");
    return nullptr;
  }
  if (capacity > 0) {
    for (std::size_t i = 0; i < cellCount; ++i) {
      auto* indices =
          static_cast<std::int32_t*>(memAllocZero(static_cast<std::size_t>(capacity) * 4));
      if (indices == nullptr) {
        triGridFree(grid);
        geoFail(kGeoFailed, "triangle_grid");
        return nullptr;
      }
      grid->cells[i].indices = indices;
      grid->cells[i].capacity = capacity;
    }
  }
  return grid;
}

int triGridFree(TriangleGrid* grid) {
  if (grid == nullptr) return 0;
  if (grid->cells != nullptr) {
    const std::size_t cellCount =
        static_cast<std::size_t>(grid->rows) * static_cast<std::size_t>(grid->columns);
    for (std::size_t i = 0; i < cellCount; ++i) memFree(grid->cells[i].indices);
    memFree(grid->cells);
  }
  memFree(grid);
  return 0;
}

int triGridAdd(TriangleGrid* grid, int row, int column, int index) {
  if (grid == nullptr || grid->cells == nullptr || row < 0 || row >= grid->rows || column < 0 ||
      column >= grid->columns) {
    return geoFail(kGeoBadArgument, "triangle_grid");
  }
  TriangleGridCell& cell = grid->cells[static_cast<std::size_t>(row) * grid->columns + column];
  if (cell.count >= cell.capacity) {
    if (cell.capacity > INT_MAX / 2) return geoFail(kGeoFailed, "triangle_grid");
    const int next = cell.capacity > 0 ? cell.capacity * 2 : 1;
    auto* grown = static_cast<std::int32_t*>(
        memRealloc(cell.indices, static_cast<std::size_t>(next) * sizeof(std::int32_t)));
    if (grown == nullptr) return geoFail(kGeoFailed, "triangle_grid");
    cell.indices = grown;
    cell.capacity = next;
  }
  cell.indices[cell.count++] = index;
  return 1;
}

int triGridFill(TriangleGrid* grid, int count, const Point3D& boxMin, const Point3D& boxMax,
                const Point3D* itemMin, const Point3D* itemMax, double margin) {
  if (grid == nullptr || grid->cells == nullptr || count < 0)
    return geoFail(kGeoBadArgument, "triangle_grid");
  if (count > 0 && (itemMin == nullptr || itemMax == nullptr))
    return geoFail(kGeoBadArgument, "triangle_grid");
  grid->x0 = boxMin.x;
  grid->y0 = boxMin.y;
  grid->x1 = boxMax.x;
  grid->y1 = boxMax.y;
  grid->cellHeight = (grid->y1 - grid->y0) / grid->rows;
  grid->cellWidth = (grid->x1 - grid->x0) / grid->columns;
  for (int i = 0; i < count; ++i) {
    const int firstRow =
        triGridIndex(itemMin[i].y - margin, grid->y0, grid->cellHeight, grid->rows, true);
    const int lastRow =
        triGridIndex(itemMax[i].y + margin, grid->y0, grid->cellHeight, grid->rows, false);
    const int firstCol =
        triGridIndex(itemMin[i].x - margin, grid->x0, grid->cellWidth, grid->columns, true);
    const int lastCol =
        triGridIndex(itemMax[i].x + margin, grid->x0, grid->cellWidth, grid->columns, false);
    for (int row = firstRow; row <= lastRow; ++row) {
      for (int col = firstCol; col <= lastCol; ++col) {
        if (triGridAdd(grid, row, col, i) != 1) return -1;
      }
    }
  }
  return 1;
}

void triGridShrinkCells(TriangleGrid* grid) {
  if (grid == nullptr || grid->cells == nullptr) return;
  const std::size_t cellCount = static_cast<std::size_t>(grid->rows) * grid->columns;
  for (std::size_t i = 0; i < cellCount; ++i) {
    TriangleGridCell& cell = grid->cells[i];
    if (cell.count <= 0 || cell.count == cell.capacity) continue;
    auto* shrunk = static_cast<std::int32_t*>(
        memRealloc(cell.indices, static_cast<std::size_t>(cell.count) * sizeof(std::int32_t)));
    if (shrunk == nullptr) continue;  // the old, larger array still holds the indices
    cell.indices = shrunk;
    cell.capacity = cell.count;
  }
}

const TriangleGridCell* triGridCell(const TriangleGrid* grid, double x, double y) {
  if (grid == nullptr || grid->cells == nullptr) return nullptr;
  const int row = triGridIndex(y, grid->y0, grid->cellHeight, grid->rows, true);
  const int col = triGridIndex(x, grid->x0, grid->cellWidth, grid->columns, true);
  return &grid->cells[static_cast<std::size_t>(row) * grid->columns + col];
}
