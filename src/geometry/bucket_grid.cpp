// bucket_grid.cpp - the item-index bucket grid and the segment crossing search built on it.
// The grid bounds the pairs the crossing search examines to those that share a cell.
#include "geometry/bucket_grid.h"

#include <algorithm>
#include <cmath>
#include <new>

#include "framework/memory.h"
#include "geometry/geo_error.h"
#include "geometry/plane_geo.h"

namespace {
constexpr int kMaxSide = 30;            // caps the grid at 900 cells
constexpr int kCellRoom = 100;          // initial room of every cell list
constexpr double kSharedEnd = 1e-6;     // segments whose ends lie this close share an end
constexpr double kParallel = 1e-12;     // determinant below which two lines count as parallel
constexpr double kClosingPair = 0.001;  // all-pairs search: start of i this near end of j

constexpr int kCellsMaxSide = 2048;  // side limit of the compact cell grid

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
    geoFail(-20, "bucket_grid");
    return nullptr;
  }
  auto* grid = static_cast<BucketGrid*>(memAllocZero(sizeof(BucketGrid)));
  if (grid == nullptr) {
    geoFail(-1, "bucket_grid");
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
    geoFail(-1, "bucket_grid");
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
          geoFail(-1, "bucket_grid");
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

int gridCellsBuild(CellGrid* grid, const double* boxes, int count, double margin, double minCell) {
  if (grid == nullptr || count < 0 || (count > 0 && boxes == nullptr))
    return geoFail(-20, "bucket_grid");
  auto clear = [grid] {
    grid->cols = grid->rows = 0;
    grid->xmin = grid->ymin = grid->colWidth = grid->rowHeight = 0.0;
    grid->colScale = grid->rowScale = 0.0;
    grid->start.clear();
    grid->items.clear();
  };
  try {
    clear();
    double xmin = 0.0, ymin = 0.0, xmax = 0.0, ymax = 0.0;
    for (int i = 0; i < count; ++i) {
      const double* b = boxes + 4 * static_cast<std::size_t>(i);
      if (!std::isfinite(b[0]) || !std::isfinite(b[1]) || !std::isfinite(b[2]) ||
          !std::isfinite(b[3]))
        return geoFail(-20, "bucket_grid");
      xmin = i == 0 ? b[0] - margin : std::min(xmin, b[0] - margin);
      ymin = i == 0 ? b[1] - margin : std::min(ymin, b[1] - margin);
      xmax = i == 0 ? b[2] + margin : std::max(xmax, b[2] + margin);
      ymax = i == 0 ? b[3] + margin : std::max(ymax, b[3] + margin);
    }
    // About one cell per item, shaped like the box.
    const double w = xmax - xmin, h = ymax - ymin;
    const double n = std::max(1, count);
    double cols = 1.0, rows = 1.0;
    if (w > 0.0 && h > 0.0) {
      cols = std::round(std::sqrt(n * w / h));
      cols = std::clamp(cols, 1.0, static_cast<double>(kCellsMaxSide));
      rows = std::clamp(std::round(n / cols), 1.0, static_cast<double>(kCellsMaxSide));
    } else if (w > 0.0) {
      cols = std::min(n, static_cast<double>(kCellsMaxSide));
    } else if (h > 0.0) {
      rows = std::min(n, static_cast<double>(kCellsMaxSide));
    }
    if (minCell > 0.0) {
      cols = std::clamp(std::min(cols, std::floor(w / minCell)), 1.0, cols);
      rows = std::clamp(std::min(rows, std::floor(h / minCell)), 1.0, rows);
    }
    grid->cols = static_cast<int>(cols);
    grid->rows = static_cast<int>(rows);
    grid->xmin = xmin;
    grid->ymin = ymin;
    grid->colWidth = w > 0.0 ? w / grid->cols : 0.0;
    grid->rowHeight = h > 0.0 ? h / grid->rows : 0.0;
    grid->colScale = w > 0.0 ? grid->cols / w : 0.0;
    grid->rowScale = h > 0.0 ? grid->rows / h : 0.0;
    const std::size_t cells = static_cast<std::size_t>(grid->cols) * grid->rows;
    grid->start.assign(cells + 1, 0);
    // Two passes: count the entries of each cell, then place them.
    auto forCells = [&](int i, auto&& f) {
      const double* b = boxes + 4 * static_cast<std::size_t>(i);
      const int c0 = gridCellsCol(*grid, b[0] - margin), c1 = gridCellsCol(*grid, b[2] + margin);
      const int r0 = gridCellsRow(*grid, b[1] - margin), r1 = gridCellsRow(*grid, b[3] + margin);
      for (int r = r0; r <= r1; ++r)
        for (int c = c0; c <= c1; ++c) f(static_cast<std::size_t>(r) * grid->cols + c);
    };
    for (int i = 0; i < count; ++i) forCells(i, [&](std::size_t cell) { ++grid->start[cell + 1]; });
    for (std::size_t cell = 0; cell < cells; ++cell) grid->start[cell + 1] += grid->start[cell];
    grid->items.resize(static_cast<std::size_t>(grid->start[cells]));
    std::pmr::vector<int> fill(grid->start.begin(), grid->start.end() - 1,
                               grid->start.get_allocator());
    for (int i = 0; i < count; ++i)
      forCells(i, [&](std::size_t cell) { grid->items[fill[cell]++] = i; });
    return 1;
  } catch (const std::bad_alloc&) {
    clear();
    return geoFail(-1, "bucket_grid");
  }
}

void* GridScratchScope::Upstream::do_allocate(std::size_t bytes, std::size_t align) {
  taken += bytes;
  return std::pmr::new_delete_resource()->allocate(bytes, align);
}

void GridScratchScope::Upstream::do_deallocate(void* p, std::size_t bytes, std::size_t align) {
  std::pmr::new_delete_resource()->deallocate(p, bytes, align);
}

bool GridScratchScope::Upstream::do_is_equal(const std::pmr::memory_resource& o) const noexcept {
  return this == &o;
}

GridScratchScope::GridScratchScope(GridScratch& scratch) : scratch_(scratch) {
  if (scratch.lent_) return;
  scratch.lent_ = true;
  if (scratch.size_ > 0)
    res_.emplace(scratch.block_.get(), scratch.size_, &upstream_);
  else
    res_.emplace(&upstream_);
}

GridScratchScope::~GridScratchScope() {
  if (!res_) return;
  res_.reset();
  scratch_.lent_ = false;
  if (upstream_.taken == 0 || scratch_.size_ >= scratch_.keep_) return;
  const std::size_t want = std::min(scratch_.keep_, scratch_.size_ + upstream_.taken);
  scratch_.block_.reset(new (std::nothrow) std::byte[want]);
  scratch_.size_ = scratch_.block_ != nullptr ? want : 0;
}

int gridClusterPoints(const Point2D* points, int n, double tol, int* node,
                      std::pmr::memory_resource* memory) {
  if (n < 0 || (n > 0 && (points == nullptr || node == nullptr)))
    return geoFail(-20, "bucket_grid");
  try {
    std::pmr::vector<double> boxes(4 * static_cast<std::size_t>(n), memory);
    for (int i = 0; i < n; ++i) {
      boxes[4 * i] = boxes[4 * i + 2] = points[i].x;
      boxes[4 * i + 1] = boxes[4 * i + 3] = points[i].y;
    }
    CellGrid grid(memory);
    const int built = gridCellsBuild(&grid, boxes.data(), n, tol);
    if (built < 0) return built;
    for (int i = 0; i < n; ++i) node[i] = i;
    auto find = [node](int i) {
      while (node[i] != i) i = node[i] = node[node[i]];
      return i;
    };
    const std::size_t cells = static_cast<std::size_t>(grid.cols) * grid.rows;
    for (std::size_t cell = 0; cell < cells; ++cell) {
      for (int k = grid.start[cell]; k < grid.start[cell + 1]; ++k) {
        const Point2D& p = points[grid.items[k]];
        for (int l = k + 1; l < grid.start[cell + 1]; ++l) {
          const Point2D& q = points[grid.items[l]];
          if (!(std::fabs(p.x - q.x) < tol && std::fabs(p.y - q.y) < tol)) continue;
          const int r1 = find(grid.items[k]), r2 = find(grid.items[l]);
          if (r1 != r2) node[std::max(r1, r2)] = std::min(r1, r2);
        }
      }
    }
    for (int i = 0; i < n; ++i) node[i] = find(i);
    return 1;
  } catch (const std::bad_alloc&) {
    return geoFail(-1, "bucket_grid");
  }
}

int lstSegSelfCross(const Seg2List* segments, Pt2List* crossings, int collectAll, double tol) {
  if (segments == nullptr || segments->items == nullptr || segments->count < 2) return 0;
  const Seg2D* seg = segments->items;
  const int n = segments->count;
  // Boxes of the segments, and per cell a copy of its items' boxes read in one sweep.
  struct Item {
    double box[4];
    int index;
  };
  CellGrid grid;
  std::vector<double> boxes;
  std::vector<double> extent;
  std::vector<Item> local;
  try {
    boxes.resize(4 * static_cast<std::size_t>(n));
    extent.resize(static_cast<std::size_t>(n));
    for (int i = 0; i < n; ++i) {
      double* b = &boxes[4 * static_cast<std::size_t>(i)];
      lstSegBoxCb(b, &seg[i]);
      extent[i] = std::max(b[2] - b[0], b[3] - b[1]);
    }
    // Cells about as large as a typical segment: a long segment in many small cells would be met
    // once in each of them.
    std::nth_element(extent.begin(), extent.begin() + n / 2, extent.end());
    if (gridCellsBuild(&grid, boxes.data(), n, 0.0, extent[n / 2]) != 1)
      return gridAllPairsCross(segments, crossings, collectAll);
  } catch (const std::bad_alloc&) {
    return gridAllPairsCross(segments, crossings, collectAll);
  }
  int found = 0;
  for (int r = 0; r < grid.rows; ++r) {
    for (int c = 0; c < grid.cols; ++c) {
      const std::size_t cell = static_cast<std::size_t>(r) * grid.cols + c;
      local.clear();
      for (int k = grid.start[cell]; k < grid.start[cell + 1]; ++k) {
        const double* b = &boxes[4 * static_cast<std::size_t>(grid.items[k])];
        local.push_back(Item{{b[0], b[1], b[2], b[3]}, grid.items[k]});
      }
      for (std::size_t k = 0; k < local.size(); ++k) {
        const double* bk = local[k].box;
        for (std::size_t l = k + 1; l < local.size(); ++l) {
          const double* bl = local[l].box;
          // A pair is examined in one cell only: the one holding the lower corner of the overlap
          // of their boxes (pairs whose boxes do not overlap cannot cross).
          const double ox = std::max(bk[0], bl[0]), oy = std::max(bk[1], bl[1]);
          if (ox > std::min(bk[2], bl[2]) || oy > std::min(bk[3], bl[3])) continue;
          if (gridCellsCol(grid, ox) != c || gridCellsRow(grid, oy) != r) continue;
          Point2D p{};
          if (gridPairCrosses(seg[local[k].index], seg[local[l].index], tol, &p) == 0) continue;
          found = 1;
          if (crossings != nullptr) lstPt2Append(crossings, p);  // a failed append is ignored
          if (collectAll == 0) {
            geoFail(1, "bucket_grid");
            return 1;
          }
        }
      }
    }
  }
  return found;
}
