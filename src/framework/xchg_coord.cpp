// xchg_coord.cpp - coordinate texts of contour elements and tables of numbered points. Indices come
// from files, so every growth is computed in 64 bits and checked before memory is asked for.
#include "framework/xchg_coord.h"

#include <climits>
#include <cstring>

#include "framework/memory.h"

namespace {
constexpr std::size_t kCoordChars = 23;

void coordCopy(char* to, const char* from, std::size_t n) {
  if (n > kCoordChars) n = kCoordChars;
  std::memcpy(to, from, n);
  to[n] = '\0';
}

// Capacity of a row that must hold need points: steps of 16 below 64, 64 below 256, 256 below
// 2048 and 2048 from there on.
std::int64_t rowCapacityFor(std::int64_t cap, std::int64_t need) {
  while (cap < need && cap < 2048) cap += cap < 64 ? 16 : cap < 256 ? 64 : 256;
  if (cap < need) cap += (need - cap + 2047) / 2048 * 2048;
  return cap;
}
}  // namespace

void xchgCoordPreset(XchgCoord* coord, const char* x, const char* y, const char* z) {
  if (coord == nullptr) return;
  std::memset(coord, 0, sizeof *coord);
  const char* given[3] = {x, y, z};
  for (int axis = 0; axis < 3; ++axis) {
    if (given[axis] == nullptr) continue;
    const std::size_t n = std::strlen(given[axis]);
    coordCopy(coord->first[axis], given[axis], n);
    coordCopy(coord->second[axis], given[axis], n);
    coordCopy(coord->third[axis], given[axis], n);
  }
}

int xchgCoordParse(XchgCoord* coord, const XchgElement* element) {
  if (coord == nullptr || element == nullptr) return 0;
  int flags = 0;
  for (const XchgAttr* a = element->attrs; a != nullptr; a = a->next) {
    if (a->key == nullptr || a->key[0] == '\0' || a->key[1] != '\0') continue;
    const char k = a->key[0];
    if (k == 'o') {
      if (a->value != nullptr) coordCopy(coord->name, a->value, std::strlen(a->value));
      continue;
    }
    if (k < 'x' || k > 'z') continue;
    const int axis = k - 'x';
    flags |= 1 << axis;
    if (a->value == nullptr) continue;
    char* parts[3] = {coord->first[axis], coord->second[axis], coord->third[axis]};
    const char* p = a->value;
    for (int i = 0; i < 3; ++i) {
      const char* slash = std::strchr(p, '/');
      const std::size_t n = slash != nullptr ? static_cast<std::size_t>(slash - p) : std::strlen(p);
      if (n > 0) coordCopy(parts[i], p, n);
      if (slash == nullptr) break;
      p = slash + 1;
    }
  }
  return flags;
}

XchgPointTable* xchgPointTableGrow(XchgPointTable* table, std::int32_t rows) {
  if (rows < 0) return nullptr;
  XchgPointTable* t = table;
  if (t == nullptr) {
    t = static_cast<XchgPointTable*>(memAllocZero(sizeof(XchgPointTable)));
    if (t == nullptr) return nullptr;
  }
  if (rows > t->rowCapacity) {
    std::int64_t cap = (static_cast<std::int64_t>(rows) + 15) / 16 * 16;
    if (cap > INT_MAX) cap = INT_MAX;
    auto* grown = static_cast<XchgPointRow*>(
        memRealloc(t->rows, static_cast<std::size_t>(cap) * sizeof(XchgPointRow)));
    if (grown == nullptr) {
      if (table == nullptr) xchgPointTableFree(t);
      return nullptr;
    }
    std::memset(grown + t->rowCapacity, 0,
                static_cast<std::size_t>(cap - t->rowCapacity) * sizeof(XchgPointRow));
    t->rows = grown;
    t->rowCapacity = static_cast<std::int32_t>(cap);
  }
  return t;
}

int xchgPointTableSet(XchgPointTable* table, std::int32_t row, std::int32_t col, double x, double y,
                      double z) {
  if (table == nullptr || row < 0 || col < 0 || row == INT_MAX || col == INT_MAX) return 0;
  if (xchgPointTableGrow(table, row + 1) == nullptr) return 0;
  XchgPointRow& r = table->rows[row];
  if (col >= r.capacity) {
    std::int64_t cap = rowCapacityFor(r.capacity, static_cast<std::int64_t>(col) + 1);
    if (cap > INT_MAX) cap = INT_MAX;
    auto* grown = static_cast<XchgPoint*>(
        memRealloc(r.points, static_cast<std::size_t>(cap) * sizeof(XchgPoint)));
    if (grown == nullptr) return 0;
    std::memset(grown + r.capacity, 0,
                static_cast<std::size_t>(cap - r.capacity) * sizeof(XchgPoint));
    r.points = grown;
    r.capacity = static_cast<std::int32_t>(cap);
  }
  r.points[col] = XchgPoint{x, y, z};
  if (col > r.lastCol) r.lastCol = col;
  if (row > table->lastRow) table->lastRow = row;
  return 1;
}

int xchgPointTableGet(const XchgPointTable* table, std::int32_t row, std::int32_t col, double* x,
                      double* y, double* z) {
  if (table == nullptr || table->rows == nullptr || row < 0 || col < 0) return 0;
  if (row > table->lastRow || row >= table->rowCapacity) return 0;
  const XchgPointRow& r = table->rows[row];
  if (r.points == nullptr || col > r.lastCol) return 0;
  if (x != nullptr) *x = r.points[col].x;
  if (y != nullptr) *y = r.points[col].y;
  if (z != nullptr) *z = r.points[col].z;
  return 1;
}

void xchgPointTableFree(XchgPointTable* table) {
  if (table == nullptr) return;
  if (table->rows != nullptr) {
    for (std::int32_t i = 0; i < table->rowCapacity; ++i) memFree(table->rows[i].points);
  }
  memFree(table->rows);
  memFree(table);
}

void cycHomPoint(double point[4], double x, double y, double z) {
  if (point == nullptr) return;
  point[0] = x;
  point[1] = y;
  point[2] = z;
  point[3] = 1.0;
}
