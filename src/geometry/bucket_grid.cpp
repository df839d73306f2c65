// bucket_grid.cpp - the item-index bucket grid and the segment crossing search built on it.
// The grid bounds the pairs the crossing search examines to those that share a cell.
#include "geometry/bucket_grid.h"

#include <cmath>

#include "framework/memory.h"
#include "geometry/geo_error.h"
#include "geometry/plane_geo.h"

namespace {
constexpr int kMaxSide = 30;            // caps the grid at 900 cells
constexpr int kCellRoom = 100;          // initial room of every cell list
constexpr double kSharedEnd = 1e-6;     // segments whose ends lie this close share an end
constexpr double kParallel = 1e-12;     // determinant below which two lines count as parallel
constexpr double kClosingPair = 0.001;  // all-pairs search: start of i this near end of j

// Smallest side n from 2 to 30 with n * n > sqrt(count); 1 for no items.
int gridSide(int count) {
  const double s = std::sqrt(static_cast<double>(count));
  if (s < 1.0) return 1;
  int n = 1;
  while (n < kMaxSide && static_cast<double>(n) * n <= s) ++n;
  return n;
}

// Cell index of coordinate v along an axis starting at lo with cells of width w: truncated toward
// zero and clamped into [0, n - 1]; a zero (or non-finite) width puts everything into cell 0.
int gridIndex(double v, double lo, double w, int n) {
  if (!(w > 0.0)) return 0;
  const double t = std::trunc((v - lo) / w);
  if (!(t > 0.0)) return 0;  // also NaN
  if (t >= static_cast<double>(n - 1)) return n - 1;
  return static_cast<int>(t);
}

const unsigned char* gridItem(const void* base, std::size_t stride, int i) {
  return static_cast<const unsigned char*>(base) + stride * static_cast<std::size_t>(i);
}

// Allocates the row tables and cell lists. Returns false when memory runs out; what was made is
// left in grid for gridBucketFree.
bool gridAllocCells(BucketGrid* grid) {
  grid->cells = static_cast<IntList***>(
      memAllocZero(sizeof(IntList**) * static_cast<std::size_t>(grid->rows)));
  if (grid->cells == nullptr) return false;
  for (int r = 0; r < grid->rows; ++r) {
    grid->cells[r] = static_cast<IntList**>(
        memAllocZero(sizeof(IntList*) * static_cast<std::size_t>(grid->cols)));
    if (grid->cells[r] == nullptr) return false;
    for (int c = 0; c < grid->cols; ++c) {
      grid->cells[r][c] = lstIntNew(kCellRoom);
      if (grid->cells[r][c] == nullptr) return false;
    }
  }
  return true;
}

// The tests of one candidate pair (s, r) of the grid search: 1 with the crossing point in out
// when the pair counts as a crossing.
int gridPairCrosses(const Seg2D& s, const Seg2D& r, double tol, Point2D* out) {
  const Point2D s1 = g2dSegStart(s), s2 = g2dSegEnd(s);
  const Point2D r1 = g2dSegStart(r), r2 = g2dSegEnd(r);
  if (geoPtsClose(s1, r1, kSharedEnd) || geoPtsClose(s1, r2, kSharedEnd) ||
      geoPtsClose(s2, r1, kSharedEnd) || geoPtsClose(s2, r2, kSharedEnd))
    return 0;
  Point2D p{};
  if (geoSegsCross(r, s) != 1 || geoLineLineCutTol(s, r, kParallel, &p) != 1) return 0;
  const bool offEndsOfS = !geoPtsClose(p, s1, tol) && !geoPtsClose(p, s2, tol);
  const bool offEndsOfR = !geoPtsClose(p, r1, tol) && !geoPtsClose(p, r2, tol);
  if (!offEndsOfS && !offEndsOfR) return 0;
  *out = p;
  return 1;
}

// The crossing search without a grid: every pair of segments that are not neighbours in the list.
int gridAllPairsCross(const Seg2List* list, Pt2List* crossings, int collectAll) {
  int found = 0;
  const Seg2D* seg = list->items;
  for (int i = 0; i < list->count; ++i) {
    for (int j = i + 2; j < list->count; ++j) {
      Point2D p{};
      if (geoSegsCross(seg[i], seg[j]) != 1) continue;
      if (geoLineLineCutTol(seg[i], seg[j], kParallel, &p) != 1) continue;
      if (!(geoDist2D(g2dSegStart(seg[i]), g2dSegEnd(seg[j])) > kClosingPair)) continue;
      found = 1;
      if (crossings != nullptr) lstPt2Append(crossings, p);  // a failed append is ignored
      if (collectAll == 0) {
        geoFail(1, "bucket_grid");
        return 1;
      }
    }
  }
  return found;
}
}  // namespace

double* lstSegBoxCb(double* out, const void* segment) {
  const Seg2D& s = *static_cast<const Seg2D*>(segment);
  out[0] = std::fmin(s.x1, s.x2);
  out[1] = std::fmin(s.y1, s.y2);
  out[2] = std::fmax(s.x1, s.x2);
  out[3] = std::fmax(s.y1, s.y2);
  return out;
}

BucketGrid* gridBucketBuild(const void* base, std::size_t stride, int count, double margin,
                            BucketBoxFn boxFunction) {
  if (boxFunction == nullptr || count < 0 || (count > 0 && (base == nullptr || stride == 0))) {
    geoFail(kGeoBadArgument, "bucket_grid");
    return nullptr;
  }
  auto* grid = static_cast<BucketGrid*>(memAllocZero(sizeof(BucketGrid)));
  if (grid == nullptr) {
    geoFail(kGeoFailed, "bucket_grid");
    return nullptr;
  }
  const int n = gridSide(count);
  grid->rows = n;
  grid->cols = n;
  double box[4] = {0.0, 0.0, 0.0, 0.0};
  if (count > 0) {
    boxFunction(box, gridItem(base, stride, 0));
    grid->xmin = box[0];
    grid->ymin = box[1];
    grid->xmax = box[2];
    grid->ymax = box[3];
    for (int i = 1; i < count; ++i) {
      boxFunction(box, gridItem(base, stride, i));
      grid->xmin = std::fmin(grid->xmin, box[0]);
      grid->ymin = std::fmin(grid->ymin, box[1]);
      grid->xmax = std::fmax(grid->xmax, box[2]);
      grid->ymax = std::fmax(grid->ymax, box[3]);
    }
  }
  grid->rowHeight = (grid->ymax - grid->ymin) / n;
  grid->colWidth = (grid->xmax - grid->xmin) / n;
  if (!gridAllocCells(grid)) {
    gridBucketFree(grid);
    geoFail(kGeoFailed, "bucket_grid");
    return nullptr;
  }
  for (int i = 0; i < count; ++i) {
    boxFunction(box, gridItem(base, stride, i));
    const int c0 = gridIndex(box[0] - margin, grid->xmin, grid->colWidth, n);
    const int r0 = gridIndex(box[1] - margin, grid->ymin, grid->rowHeight, n);
    const int c1 = gridIndex(box[2] + margin, grid->xmin, grid->colWidth, n);
    const int r1 = gridIndex(box[3] + margin, grid->ymin, grid->rowHeight, n);
    for (int r = r0; r <= r1; ++r) {
      for (int c = c0; c <= c1; ++c) {
        if (lstIntAppend(grid->cells[r][c], i) < 0) {
          gridBucketFree(grid);
          geoFail(kGeoFailed, "bucket_grid");
          return nullptr;
        }
      }
    }
  }
  return grid;
}

IntList* gridBucketCell(const BucketGrid* grid, double x, double y) {
  if (grid == nullptr || grid->cells == nullptr) return nullptr;
  const int r = gridIndex(y, grid->ymin, grid->rowHeight, grid->rows);
  const int c = gridIndex(x, grid->xmin, grid->colWidth, grid->cols);
  return grid->cells[r][c];
}

void gridBucketFree(BucketGrid* grid) {
  if (grid == nullptr) return;
  if (grid->cells != nullptr) {
    for (int r = 0; r < grid->rows; ++r) {
      if (grid->cells[r] == nullptr) continue;
      for (int c = 0; c < grid->cols; ++c) lstIntFree(grid->cells[r][c]);
      memFree(grid->cells[r]);
    }
    memFree(grid->cells);
  }
  memFree(grid);
}

int lstSegSelfCross(const Seg2List* segments, Pt2List* crossings, int collectAll, double tol) {
  if (segments == nullptr || segments->items == nullptr || segments->count < 2) return 0;
  BucketGrid* grid =
      gridBucketBuild(segments->items, sizeof(Seg2D), segments->count, 0.0, lstSegBoxCb);
  if (grid == nullptr) return gridAllPairsCross(segments, crossings, collectAll);
  int found = 0;
  const Seg2D* seg = segments->items;
  for (int r = 0; r < grid->rows; ++r) {
    for (int c = 0; c < grid->cols; ++c) {
      const IntList* cell = grid->cells[r][c];
      for (int k = 0; k < cell->count; ++k) {
        for (int l = k + 1; l < cell->count; ++l) {
          Point2D p{};
          if (gridPairCrosses(seg[cell->items[k]], seg[cell->items[l]], tol, &p) == 0) continue;
          found = 1;
          if (crossings != nullptr) lstPt2Append(crossings, p);  // a failed append is ignored
          if (collectAll == 0) {
            geoFail(1, "bucket_grid");
            gridBucketFree(grid);
            return 1;
          }
        }
      }
    }
  }
  gridBucketFree(grid);
  return found;
}
