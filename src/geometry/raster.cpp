// raster.cpp - level rasters, seed cells, integer and byte cell matrices and their flood fills.
// The roughing keeps per level only the free areas its seeds reach; the flat-area finder groups
// marked cells into regions with the fills, which run on an explicit stack, never by recursion.
#include "geometry/raster.h"

#include <climits>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <new>
#include <vector>

#include "framework/memory.h"
#include "geometry/geo_error.h"
#include "geometry/zlevel_records.h"

static_assert(offsetof(Raster, x0) == offsetof(FloatDropNet, x0));
static_assert(offsetof(Raster, y0) == offsetof(FloatDropNet, y0));
static_assert(offsetof(Raster, rows) == offsetof(FloatDropNet, rows));
static_assert(offsetof(Raster, cols) == offsetof(FloatDropNet, cols));
static_assert(offsetof(Raster, rowStep) == offsetof(FloatDropNet, rowStep));
static_assert(offsetof(Raster, colStep) == offsetof(FloatDropNet, colStep));

namespace {

constexpr double kLevelTol = 0.00001;  // a node this little above the level is still reached
constexpr int kFillStackRoom = 50;
constexpr int kMaxSeeds = INT16_MAX;  // seed numbers are stored in the raster's short cells

bool gridInside(const IntMatrix* m, int row, int col) {
  return row >= 0 && row < m->rows && col >= 0 && col < m->cols;
}

bool gridUsable(const IntMatrix* m) {
  return m != nullptr && m->cells != nullptr && m->rows > 0 && m->cols > 0;
}

std::int32_t& gridAt(IntMatrix* m, int row, int col) {
  return m->cells[static_cast<std::size_t>(row) * m->cols + col];
}

std::int32_t gridGet(const IntMatrix* m, int row, int col) {
  return m->cells[static_cast<std::size_t>(row) * m->cols + col];
}

// Neighbour offsets (row, col) in the order the fills push them.
constexpr int kNbRow[8] = {0, 0, 1, -1, -1, 1, 1, -1};
constexpr int kNbCol[8] = {1, -1, 0, 0, 1, 1, -1, -1};

// Visits every cell of the 8-connected area around (row, col) whose cells satisfy open(r, c).
// visit(r, c) must close the cell, so a cell pushed twice is visited once and the walk ends.
// Returns 1; -1 when the work stack cannot grow (the area then partly visited).
template <typename Open, typename Visit>
int gridWalkArea(const IntMatrix* m, int row, int col, Open open, Visit visit) {
  RecList* stack = gridStackNew(kFillStackRoom);
  if (stack == nullptr) return geoFail(kGeoFailed, "raster");
  int result = 1;
  if (gridStackPush(stack, col) == 0 || gridStackPush(stack, row) == 0) result = -1;
  int r = 0, c = 0;
  while (result == 1 && gridStackPop(stack, &r) == 1 && gridStackPop(stack, &c) == 1) {
    if (!open(r, c)) continue;
    visit(r, c);
    for (int k = 0; k < 8; ++k) {
      const int nr = r + kNbRow[k], nc = c + kNbCol[k];
      if (!gridInside(m, nr, nc) || !open(nr, nc)) continue;
      if (gridStackPush(stack, nc) == 0 || gridStackPush(stack, nr) == 0) {
        result = -1;
        break;
      }
    }
  }
  lstRecFree(stack);
  return result == 1 ? 1 : geoFail(kGeoFailed, "raster");
}

// Sets the 8-connected area of cells holding from that contains (row, col) to to (from != to).
int gridFillArea(IntMatrix* m, int row, int col, int from, int to) {
  return gridWalkArea(
      m, row, col, [m, from](int r, int c) { return gridAt(m, r, c) == from; },
      [m, to](int r, int c) { gridAt(m, r, c) = to; });
}

// The 8-connected area of cells holding the seed's value, as a row-major mask.
int gridAreaMask(const IntMatrix* m, int row, int col, std::vector<std::uint8_t>& mask) {
  try {
    mask.assign(static_cast<std::size_t>(m->rows) * m->cols, 0);
  } catch (const std::bad_alloc&) {
    return geoFail(kGeoFailed, "raster");
  }
  const int v = gridGet(m, row, col);
  auto at = [m](int r, int c) { return static_cast<std::size_t>(r) * m->cols + c; };
  return gridWalkArea(
      m, row, col, [&](int r, int c) { return mask[at(r, c)] == 0 && gridGet(m, r, c) == v; },
      [&](int r, int c) { mask[at(r, c)] = 1; });
}

}  // namespace

// ---- level raster and seeds -------------------------------------------------------------------

Raster* gridRasterNew(const FloatDropNet* header, int rows, int cols, double rowStep,
                      double colStep) {
  if (header == nullptr || rows < 0 || cols < 0) {
    geoFail(kGeoBadArgument, "raster");
    return nullptr;
  }
  auto* raster = static_cast<Raster*>(memAllocZero(sizeof(Raster)));
  if (raster == nullptr) {
    geoFail(kGeoFailed, "raster");
    return nullptr;
  }
  raster->x0 = header->x0;
  raster->y0 = header->y0;
  raster->rowStep = rowStep;
  raster->colStep = colStep;
  if (rows > 0) {
    raster->cells = static_cast<std::int16_t**>(memAllocZero(sizeof(std::int16_t*) * rows));
    if (raster->cells == nullptr) {
      memFree(raster);
      geoFail(kGeoFailed, "raster");
      return nullptr;
    }
  }
  raster->rows = rows;
  raster->cols = cols;
  for (int r = 0; r < rows; ++r) {
    // A row of no columns still gets a block, so every row pointer is valid.
    raster->cells[r] =
        static_cast<std::int16_t*>(memAllocZero(sizeof(std::int16_t) * (cols > 0 ? cols : 1)));
    if (raster->cells[r] == nullptr) {
      gridRasterFree(raster);  // frees the rows made so far; the others are still null
      geoFail(kGeoFailed, "raster");
      return nullptr;
    }
    for (int c = 0; c < cols; ++c) raster->cells[r][c] = kRasterBlocked;
  }
  return raster;
}

int gridRasterClear(Raster* raster) {
  if (raster == nullptr || raster->cells == nullptr) return 1;
  for (int r = 0; r < raster->rows; ++r)
    for (int c = 0; c < raster->cols; ++c) raster->cells[r][c] = kRasterFree;
  raster->freeCount = raster->rows * raster->cols;
  return 1;
}

int gridRasterFree(Raster* raster) {
  if (raster == nullptr) return 1;
  if (raster->cells != nullptr)
    for (int r = 0; r < raster->rows; ++r) memFree(raster->cells[r]);
  memFree(raster->cells);
  memFree(raster);
  return 1;
}

CellList* gridCellListNew(int capacity) {
  if (capacity < 3) capacity = 3;
  auto* list = static_cast<CellList*>(memAllocZero(sizeof(CellList)));
  if (list == nullptr) {
    geoFail(kGeoFailed, "raster");
    return nullptr;
  }
  list->items = static_cast<RasterCell*>(memAllocZero(sizeof(RasterCell) * capacity));
  if (list->items == nullptr) {
    memFree(list);
    geoFail(kGeoFailed, "raster");
    return nullptr;
  }
  list->capacity = capacity;
  return list;
}

void gridCellListFree(CellList* list) {
  if (list == nullptr) return;
  memFree(list->items);
  memFree(list);
}

int gridCellListAdd(CellList* list, const Raster* raster, int row, int col, double value) {
  if (list == nullptr || raster == nullptr || row < 0 || row >= raster->rows || col < 0 ||
      col >= raster->cols)
    return geoFail(kGeoBadArgument, "raster");
  if (list->count >= list->capacity || list->items == nullptr) {
    if (list->capacity > INT_MAX / 2) return geoFail(kGeoFailed, "raster");
    const int grown = list->capacity < 3 ? 3 : list->capacity * 2;
    void* items = memRealloc(list->items, sizeof(RasterCell) * grown);
    if (items == nullptr) return geoFail(kGeoFailed, "raster");
    list->items = static_cast<RasterCell*>(items);
    list->capacity = grown;
  }
  RasterCell& cell = list->items[list->count++];
  cell.x = raster->x0 + col * raster->colStep;
  cell.y = raster->y0 + row * raster->rowStep;
  cell.value = value;
  cell.row = row;
  cell.col = col;
  cell.flag = 1;
  return 0;
}

int gridRasterClassify(const FloatDropNet* net, const CellList* seeds, double z, Raster* raster) {
  if (net == nullptr || raster == nullptr || net->rows != raster->rows || net->cols != raster->cols)
    return geoFail(kGeoBadArgument, "raster");
  raster->freeCount = 0;
  if (raster->rows <= 0 || raster->cols <= 0 || raster->cells == nullptr) return -1;
  if (net->height == nullptr || net->valid == nullptr) return geoFail(kGeoBadArgument, "raster");
  for (int r = 0; r < raster->rows; ++r) {
    for (int c = 0; c < raster->cols; ++c) {
      std::int16_t& cell = raster->cells[r][c];
      if (net->valid[r][c] == 0) {
        cell = kRasterOutside;
      } else if (z + kLevelTol < static_cast<double>(net->height[r][c])) {
        cell = kRasterBlocked;
      } else {
        cell = kRasterFree;
        ++raster->freeCount;
      }
    }
  }
  if (seeds != nullptr && seeds->count > 0) {
    const int filled = gridRasterSeedFill(seeds, raster);
    if (filled < 0) return filled;
    // Free areas that no seed reached are blocked; the reached ones are free again.
    raster->freeCount = 0;
    for (int r = 0; r < raster->rows; ++r) {
      for (int c = 0; c < raster->cols; ++c) {
        std::int16_t& cell = raster->cells[r][c];
        if (cell >= 1 && cell <= seeds->count) {
          cell = kRasterFree;
          ++raster->freeCount;
        } else if (cell != kRasterOutside) {
          cell = kRasterBlocked;
        }
      }
    }
  }
  return raster->freeCount > 0 ? 0 : -1;
}

int gridRasterSeedFill(const CellList* seeds, Raster* raster) {
  if (seeds == nullptr || raster == nullptr || seeds->count > kMaxSeeds ||
      (seeds->count > 0 && seeds->items == nullptr))
    return geoFail(kGeoBadArgument, "raster");
  if (raster->rows <= 0 || raster->cols <= 0 || raster->cells == nullptr) return 0;
  IntMatrix* m = gridIntNew(raster->rows, raster->cols);
  if (m == nullptr) return geoFail(kGeoFailed, "raster");
  for (int r = 0; r < raster->rows; ++r)
    for (int c = 0; c < raster->cols; ++c) gridAt(m, r, c) = raster->cells[r][c];
  for (int i = 0; i < seeds->count; ++i) {
    const RasterCell& s = seeds->items[i];
    if (!gridInside(m, s.row, s.col) || gridAt(m, s.row, s.col) != 0) continue;
    if (gridFloodFill(m, s.row, s.col, i + 1) < 0) {
      gridIntFree(m);
      return -1;
    }
  }
  for (int r = 0; r < raster->rows; ++r)
    for (int c = 0; c < raster->cols; ++c)
      if (gridAt(m, r, c) > 0) raster->cells[r][c] = static_cast<std::int16_t>(gridAt(m, r, c));
  gridIntFree(m);
  return 0;
}

// ---- integer matrices -------------------------------------------------------------------------

IntMatrix* gridIntNew(int rows, int cols) {
  if (rows < 1 || cols < 1 ||
      static_cast<std::size_t>(rows) > SIZE_MAX / sizeof(std::int32_t) / cols)
    return nullptr;
  auto* m = static_cast<IntMatrix*>(memAllocZero(sizeof(IntMatrix)));
  if (m == nullptr) return nullptr;
  m->cells = static_cast<std::int32_t*>(
      memAllocZero(sizeof(std::int32_t) * static_cast<std::size_t>(rows) * cols));
  if (m->cells == nullptr) {
    memFree(m);
    return nullptr;
  }
  m->rows = rows;
  m->cols = cols;
  return m;
}

void gridIntFree(IntMatrix* matrix) {
  if (matrix == nullptr) return;
  memFree(matrix->cells);
  memFree(matrix);
}

int gridFloodFill(IntMatrix* matrix, int row, int col, int value) {
  if (!gridUsable(matrix) || !gridInside(matrix, row, col))
    return geoFail(kGeoBadArgument, "raster");
  if (value == 0 || gridAt(matrix, row, col) != 0) return 1;
  return gridFillArea(matrix, row, col, 0, value);
}

int gridRelabel(IntMatrix* matrix, int row, int col, int from, int to) {
  if (!gridUsable(matrix) || !gridInside(matrix, row, col))
    return geoFail(kGeoBadArgument, "raster");
  if (from == to || gridAt(matrix, row, col) != from) return 1;
  return gridFillArea(matrix, row, col, from, to);
}

int gridCopyRegion(IntMatrix* matrix, int row, int col, IntMatrix* target) {
  if (!gridUsable(matrix) || !gridInside(matrix, row, col) || !gridUsable(target) ||
      target->rows != matrix->rows || target->cols != matrix->cols)
    return geoFail(kGeoBadArgument, "raster");
  // The area is marked in a mask of its own rather than by a marker value in the matrix, so no
  // label of the matrix is ever taken for the mark.
  std::vector<std::uint8_t> mask;
  if (gridAreaMask(matrix, row, col, mask) < 0) return -1;
  const int v = gridAt(matrix, row, col);
  for (std::size_t i = 0; i < mask.size(); ++i)
    if (mask[i] != 0) target->cells[i] = v;
  return 1;
}

int gridFindNonZero(const IntMatrix* matrix, int row, int col, int* outRow, int* outCol) {
  if (!gridUsable(matrix) || outRow == nullptr || outCol == nullptr)
    return geoFail(kGeoBadArgument, "raster");
  if (gridInside(matrix, row, col) && gridGet(matrix, row, col) != 0) {
    *outRow = row;
    *outCol = col;
    return 1;
  }
  for (int r = 0; r < matrix->rows; ++r) {
    for (int c = 0; c < matrix->cols; ++c) {
      if (gridGet(matrix, r, c) != 0) {
        *outRow = r;
        *outCol = c;
        return 1;
      }
    }
  }
  return 0;
}

int gridHasNeighbour(const IntMatrix* matrix, int row, int key, int col) {
  // The answer is only ever 1 or 0, so callers may test it for non-zero: a missing matrix has no
  // neighbours, and a cell outside the matrix is answered from its neighbours inside it.
  if (!gridUsable(matrix)) return 0;
  for (int k = 0; k < 8; ++k) {
    const int nr = row + kNbRow[k], nc = col + kNbCol[k];
    if (gridInside(matrix, nr, nc) && gridGet(matrix, nr, nc) == key) return 1;
  }
  return 0;
}

int gridDilate(IntMatrix* matrix) {
  if (!gridUsable(matrix)) return geoFail(kGeoBadArgument, "raster");
  // The grown cells are collected in a mask first, so cells set in this pass do not grow further
  // and no value of the matrix serves as a marker.
  std::vector<std::uint8_t> grow;
  try {
    grow.assign(static_cast<std::size_t>(matrix->rows) * matrix->cols, 0);
  } catch (const std::bad_alloc&) {
    return geoFail(kGeoFailed, "raster");
  }
  for (int r = 0; r < matrix->rows; ++r)
    for (int c = 0; c < matrix->cols; ++c)
      if (gridGet(matrix, r, c) == 0 && gridHasNeighbour(matrix, r, 1, c) == 1)
        grow[static_cast<std::size_t>(r) * matrix->cols + c] = 1;
  for (std::size_t i = 0; i < grow.size(); ++i)
    if (grow[i] != 0) matrix->cells[i] = 1;
  return 1;
}

// ---- work stack and byte matrix ---------------------------------------------------------------

RecList* gridStackNew(int capacity) {
  if (capacity < 0) return nullptr;
  if (capacity < 2) capacity = 2;
  auto* stack = static_cast<RecList*>(memAllocZero(sizeof(RecList)));
  if (stack == nullptr) return nullptr;
  stack->items = memAllocZero(sizeof(std::int32_t) * static_cast<std::size_t>(capacity));
  if (stack->items == nullptr) {
    memFree(stack);
    return nullptr;
  }
  stack->capacity = capacity;
  return stack;
}

int gridStackPush(RecList* stack, int value) {
  if (stack == nullptr || stack->items == nullptr) return 0;
  if (stack->count >= stack->capacity) {
    if (stack->capacity > INT_MAX / 3) return 0;
    int grown = stack->capacity + stack->capacity / 2;
    if (grown <= stack->capacity) grown = stack->capacity + 1;
    void* items = memRealloc(stack->items, sizeof(std::int32_t) * static_cast<std::size_t>(grown));
    if (items == nullptr) return 0;
    stack->items = items;
    stack->capacity = grown;
  }
  static_cast<std::int32_t*>(stack->items)[stack->count++] = value;
  return 1;
}

int gridStackPop(RecList* stack, int* out) {
  if (stack == nullptr || stack->items == nullptr || stack->count <= 0 || out == nullptr) return 0;
  *out = static_cast<std::int32_t*>(stack->items)[--stack->count];
  return 1;
}

ByteMatrix* gridByteNew(int n) {
  if (n < 1 || static_cast<std::size_t>(n) > SIZE_MAX / static_cast<std::size_t>(n)) {
    geoFail(kGeoBadArgument, "raster");
    return nullptr;
  }
  auto* m = static_cast<ByteMatrix*>(memAllocZero(sizeof(ByteMatrix)));
  if (m == nullptr) {
    geoFail(kGeoFailed, "raster");
    return nullptr;
  }
  // A matrix without cells is no matrix: a failed cell block fails the creation.
  m->cells = static_cast<std::uint8_t*>(memAllocZero(static_cast<std::size_t>(n) * n));
  if (m->cells == nullptr) {
    memFree(m);
    geoFail(kGeoFailed, "raster");
    return nullptr;
  }
  m->n = n;
  m->fill = 127;
  std::memset(m->cells, 127, static_cast<std::size_t>(n) * n);
  return m;
}

void gridByteFree(ByteMatrix* matrix) {
  if (matrix == nullptr) return;
  memFree(matrix->cells);
  memFree(matrix);
}
