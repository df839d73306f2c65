// height_grid.cpp - creation, release and box lookup of the height grid, and the 2x2 solver.
// Every float-to-int conversion is checked or clamped in floating point first, so a box far off
// the grid or a coordinate that is not a number can only give an edge cell or an empty range.
#include "geometry/height_grid.h"

#include <climits>
#include <cmath>
#include <cstddef>

#include "framework/memory.h"
#include "geometry/geo_error.h"

namespace {

// Number of cells along one direction: floor(extent / cell) + 1, at least 1. -1 when the count
// is not finite or does not fit in an int.
int hgCount(double lo, double hi, double cell) {
  const double q = std::floor((hi - lo) / cell) + 1.0;
  if (std::isnan(q) || q > static_cast<double>(INT_MAX)) return -1;
  return q < 1.0 ? 1 : static_cast<int>(q);
}

// A truncated cell index clamped to 0 .. n-1; q must be a number.
int hgClamp(double q, int n) {
  const double t = std::trunc(q);
  if (t < 0.0) return 0;
  if (t > static_cast<double>(n - 1)) return n - 1;
  return static_cast<int>(t);
}

}  // namespace

HeightGrid* heightGridNew(double cell, const Point3D& lower, const Point3D& upper) {
  auto* grid = static_cast<HeightGrid*>(memAllocZero(sizeof(HeightGrid)));
  if (grid == nullptr) {
    geoFail(kGeoFailed, "height_grid");
    return nullptr;
  }
  grid->x0 = lower.x;
  grid->y0 = lower.y;
  grid->cell = cell;
  grid->floor = kHeightGridFloor;
  // A cell this small cannot raster anything: the grid stays without cells.
  if (!(cell >= kHeightGridMinCell)) return grid;

  const int rows = hgCount(lower.y, upper.y, cell);
  const int cols = hgCount(lower.x, upper.x, cell);
  if (rows < 0 || cols < 0 || !std::isfinite(lower.x) || !std::isfinite(lower.y) ||
      static_cast<long long>(rows) * cols > INT_MAX) {
    memFree(grid);
    geoFail(kGeoBadArgument, "height_grid");
    return nullptr;
  }
  grid->heights =
      static_cast<double**>(memAllocZero(static_cast<std::size_t>(rows) * sizeof(double*)));
  if (grid->heights == nullptr) {
    memFree(grid);
    geoFail(kGeoFailed, "height_grid");
    return nullptr;
  }
  grid->rows = rows;  // rows counts the row table's entries; unallocated ones stay null
  for (int r = 0; r < rows; ++r) {
    grid->heights[r] =
        static_cast<double*>(memAllocZero(static_cast<std::size_t>(cols) * sizeof(double)));
    if (grid->heights[r] == nullptr) {
      heightGridFree(grid);
      geoFail(kGeoFailed, "height_grid");
      return nullptr;
    }
    for (int c = 0; c < cols; ++c) grid->heights[r][c] = kHeightGridFloor;
  }
  grid->cols = cols;
  return grid;
}

void heightGridFree(HeightGrid* grid) {
  if (grid == nullptr) return;
  if (grid->heights != nullptr) {
    for (int r = 0; r < grid->rows; ++r) memFree(grid->heights[r]);
    memFree(grid->heights);
  }
  triGridFree(grid->triGrid);
  memFree(grid);
}

int heightGridCellRange(const HeightGrid* grid, const Point2D& lower, const Point2D& upper,
                        HeightGridRange* out) {
  if (out != nullptr) *out = HeightGridRange{0, 0, -1, -1};
  if (grid == nullptr || out == nullptr) return geoFail(kGeoFailed, "height_grid");
  // A grid without cells has no range at all; the clamps below need at least one cell.
  if (grid->rows < 1 || grid->cols < 1 || grid->heights == nullptr)
    return geoFail(kGeoFailed, "height_grid");
  const double qx0 = (lower.x - grid->x0) / grid->cell;
  const double qy0 = (lower.y - grid->y0) / grid->cell;
  const double qx1 = -(upper.x - grid->x0) / grid->cell;
  const double qy1 = -(upper.y - grid->y0) / grid->cell;
  if (std::isnan(qx0) || std::isnan(qy0) || std::isnan(qx1) || std::isnan(qy1))
    return geoFail(kGeoFailed, "height_grid");
  // 1 - trunc(-q) is one past the cell holding the upper point; clamp it as a double so that a
  // box far to the left gives column 0, not an overflowed index.
  const HeightGridRange r{hgClamp(qx0, grid->cols), hgClamp(qy0, grid->rows),
                          hgClamp(1.0 - std::trunc(qx1), grid->cols),
                          hgClamp(1.0 - std::trunc(qy1), grid->rows)};
  if (r.col1 < r.col0 || r.row1 < r.row0) return -1;
  *out = r;
  return 1;
}

int geoSolve2x2(double a, double b, double c, double d, double e, double f, double* x, double* y) {
  if (x == nullptr || y == nullptr) return geoFail(kGeoBadArgument, "height_grid");
  const double det = a * d - b * c;
  if (det == 0.0) return 0;
  *x = (d * e - b * f) / det;
  *y = (a * f - c * e) / det;
  return 1;
}
