// bucket_grid.h - a square grid of item-index buckets over the common box of a set of items, and
// the crossing search of a segment list built on it. The contour module finds candidate pairs
// and neighbours through the grid instead of comparing every item with every other.
#pragma once

#include <cstddef>
#include <memory>
#include <memory_resource>
#include <optional>

#include "geometry/lists.h"

// Writes the box (min x, min y, max x, max y) of the item at item to out[0..3] and returns out.
using BucketBoxFn = double* (*)(double* out, const void* item);

// rows == cols: 1 for an empty item set, else 2 .. 30. Each cell lists the indices of the items
// whose (margin-widened) box touches it, in ascending order of insertion. The grid owns its cells.
struct BucketGrid {
  int rows;
  int cols;
  double xmin, ymin, xmax, ymax;  // union of the boxes of all items
  double rowHeight;               // (ymax - ymin) / rows
  double colWidth;                // (xmax - xmin) / cols
  IntList*** cells;               // cells[row][col]; each row table holds cols lists
};

// Builds the grid over count items laid out every stride bytes from base, each entered into the
// cells its box touches (widened by margin). Returns the grid; null for a null box function, a
// null base with items, a stride of 0, a negative count, or when memory runs out (error record
// -1; nothing stays allocated).
BucketGrid* gridBucketBuild(const void* base, std::size_t stride, int count, double margin,
                            BucketBoxFn boxFunction);
// The index list of the cell holding (x, y); points outside the box fall into the nearest edge or
// corner cell. Null for a null grid.
IntList* gridBucketCell(const BucketGrid* grid, double x, double y);
// Frees every cell list, the row tables and the grid; accepts null.
void gridBucketFree(BucketGrid* grid);

// Box function of Seg2D items: (min(x1, x2), min(y1, y2), max(x1, x2), max(y1, y2)).
double* lstSegBoxCb(double* out, const void* segment);

// A compact grid of item indices sized to the item count (about one item per cell, at most 2048
// cells a side), for searches over many items where the square bucket grid's 30-cell side would
// put thousands of items into one cell. Cell (col, row) lists, in ascending order, the items whose
// (margin-widened) box touches it: items[start[row * cols + col] .. start[row * cols + col + 1]).
struct CellGrid {
  explicit CellGrid(std::pmr::memory_resource* memory = std::pmr::get_default_resource())
      : start(memory), items(memory) {}
  int cols = 0;
  int rows = 0;
  double xmin = 0.0, ymin = 0.0;  // lower corner of the union of the boxes
  double colWidth = 0.0;          // 0 when every box has the same x (one column)
  double rowHeight = 0.0;
  double colScale = 0.0;  // cols / width, 0 for one column
  double rowScale = 0.0;
  std::pmr::vector<int> start;  // lists come from the memory given at construction
  std::pmr::vector<int> items;
};

// Builds the grid over count boxes of 4 doubles each (min x, min y, max x, max y) widened by
// margin, with cells no smaller than minCell a side (so that long items do not fill many cells).
// Returns 1; -20 for a negative count, null boxes with items or a box that is not finite; -1 when
// memory runs out (error record set, source "bucket_grid").
int gridCellsBuild(CellGrid* grid, const double* boxes, int count, double margin,
                   double minCell = 0.0);
// Column (row) of a coordinate: the offset from the grid's corner times the scale, truncated
// toward zero and clamped into the grid (not-a-number gives 0).
inline int gridCellsIndex(double v, double lo, double scale, int n) {
  const double t = (v - lo) * scale;
  if (!(t > 0.0)) return 0;
  if (t >= static_cast<double>(n - 1)) return n - 1;
  return static_cast<int>(t);
}
inline int gridCellsCol(const CellGrid& grid, double x) {
  return gridCellsIndex(x, grid.xmin, grid.colScale, grid.cols);
}
inline int gridCellsRow(const CellGrid& grid, double y) {
  return gridCellsIndex(y, grid.ymin, grid.rowScale, grid.rows);
}

// A block of scratch memory kept from one computation to the next, for the working lists of the
// searches built on the cell grid: a fresh page costs far more to touch the first time than the
// work done on it, and a search over 10^4 segments fills megabytes of lists. A computation takes
// its lists from the block through a GridScratchScope; afterwards the block grows to what the
// computation needed, up to the limit given at construction.
class GridScratch {
 public:
  explicit GridScratch(std::size_t keep) : keep_(keep) {}
  // Frees the block (it is made again when a computation needs it).
  void release() {
    block_.reset();
    size_ = 0;
  }

 private:
  friend class GridScratchScope;
  std::unique_ptr<std::byte[]> block_;
  std::size_t size_ = 0;
  std::size_t keep_;
  bool lent_ = false;
};

// Lends a scratch block to one computation: memory() serves the lists, which live no longer than
// the scope. A computation inside another (the block already lent) takes the heap.
class GridScratchScope {
 public:
  explicit GridScratchScope(GridScratch& scratch);
  ~GridScratchScope();
  GridScratchScope(const GridScratchScope&) = delete;
  GridScratchScope& operator=(const GridScratchScope&) = delete;
  std::pmr::memory_resource* memory() {
    return res_ ? static_cast<std::pmr::memory_resource*>(&*res_) : std::pmr::new_delete_resource();
  }

 private:
  // Forwards to the heap and counts what the computation took beyond the block.
  class Upstream : public std::pmr::memory_resource {
   public:
    std::size_t taken = 0;

   private:
    void* do_allocate(std::size_t bytes, std::size_t align) override;
    void do_deallocate(void* p, std::size_t bytes, std::size_t align) override;
    bool do_is_equal(const std::pmr::memory_resource& o) const noexcept override;
  };
  GridScratch& scratch_;
  Upstream upstream_;
  std::optional<std::pmr::monotonic_buffer_resource> res_;
};

// Joins the points that lie closer than tol in x and in y, and every point joined to them through
// a chain of such neighbours, into groups: node[i] is the smallest index of point i's group. The
// pairs compared are those sharing a cell of a cell grid over the points widened by tol. Scratch
// lists come from memory. Returns 1; -20 for a negative count, null arrays with points or a point
// that is not finite; -1 when memory runs out (error record set, source "bucket_grid").
int gridClusterPoints(const Point2D* points, int n, double tol, int* node,
                      std::pmr::memory_resource* memory = std::pmr::get_default_resource());

// Searches the segments for crossings. Segments sharing an end (within 1e-6) never count; lines
// closer to parallel than a determinant of 1e-12 are skipped; a crossing counts only when it lies
// farther than tol from both ends of at least one of the two segments. collectAll 0 stops at the
// first crossing and sets the error record to code 1; otherwise every crossing point is appended
// to crossings (when given) once per crossing pair. The pairs are found through a cell grid sized
// to the segment count, so the search grows with the segments and their crossings, not with the
// square of the count. Returns 1 when a crossing was found, else 0 (also for a null list). When
// the grid cannot be built the search falls back to all pairs of non-neighbouring segments.
int lstSegSelfCross(const Seg2List* segments, Pt2List* crossings, int collectAll, double tol);
