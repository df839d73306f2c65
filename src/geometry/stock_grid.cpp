// stock_grid.cpp - the two cell queries of the stock model's quantised height grid.
#include "geometry/stock_grid.h"

#include <cmath>

#include "geometry/csys.h"

namespace {

struct StockGridState {
  int noTransform = 0;
};
StockGridState hgridState;

// trunc(q) as an int, with q first held within a range that no grid index reaches, so that any
// finite quotient converts safely.
int hgridTrunc(double q) {
  constexpr double kFar = 1e9;
  if (q > kFar) q = kFar;
  if (q < -kFar) q = -kFar;
  return static_cast<int>(std::trunc(q));
}

}  // namespace

int hgridCellRange(const StockGrid* grid, const Point2D& lower, const Point2D& upper,
                   HeightGridRange* out) {
  if (out != nullptr) *out = HeightGridRange{0, 0, -1, -1};
  if (grid == nullptr || out == nullptr || !(grid->cell > 0.0)) return 0;
  Point3D a{lower.x, lower.y, 0.0};
  Point3D b{upper.x, upper.y, 0.0};
  if (hgridState.noTransform == 0) {
    csysToolToFrame(&a);
    csysToolToFrame(&b);
  }
  const double q[4] = {(a.x - grid->x0) / grid->cell, (a.y - grid->y0) / grid->cell,
                       (b.x - grid->x0) / grid->cell, (b.y - grid->y0) / grid->cell};
  for (double v : q) {
    if (std::isnan(v)) return 0;
  }
  HeightGridRange r{hgridTrunc(q[0]), hgridTrunc(q[1]), hgridTrunc(q[2]) + 1, hgridTrunc(q[3]) + 1};
  if (r.col0 < 0) r.col0 = 0;
  if (r.row0 < 0) r.row0 = 0;
  if (r.col1 > grid->columns - 1) r.col1 = grid->columns - 1;
  if (r.row1 > grid->rows - 1) r.row1 = grid->rows - 1;
  if (r.col1 < r.col0 || r.row1 < r.row0) return 0;
  *out = r;
  return 1;
}

int hgridCellPoint(const StockGrid* grid, int col, int row, Point3D* out) {
  if (grid == nullptr || out == nullptr || grid->heights == nullptr) return -1;
  if (col < 0 || row < 0 || col >= grid->columns || row >= grid->rows) return -1;
  if (grid->heights[row] == nullptr) return -1;
  *out = Point3D{grid->x0 + col * grid->cell, grid->y0 + row * grid->cell,
                 grid->z0 + grid->heights[row][col] * grid->zStep};
  if (hgridState.noTransform == 0) csysFrameToTool(out);
  return 1;
}

void hgridSetNoTransform(int on) { hgridState.noTransform = on != 0 ? 1 : 0; }

int hgridNoTransform() { return hgridState.noTransform; }

void hgridResetState() { hgridState = StockGridState{}; }
