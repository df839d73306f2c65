// pock_levels.cpp - depth-range lists of pocket contours and the level heights made from them.
#include "pocket/pock_levels.h"

#include <cmath>
#include <initializer_list>
#include <limits>

#include "framework/memory.h"

PocketLevelList* pockLevelListNew(int n) {
  if (n < 1) return nullptr;
  auto* list = static_cast<PocketLevelList*>(memAllocZero(sizeof(PocketLevelList)));
  if (list == nullptr) return nullptr;
  list->entries = static_cast<PocketLevelEntry*>(
      memAllocZero(sizeof(PocketLevelEntry) * static_cast<std::size_t>(n)));
  if (list->entries == nullptr) {
    memFree(list);
    return nullptr;
  }
  list->capacity = n;
  for (int i = 0; i < n; ++i) list->entries[i].index = -1;
  return list;
}

int pockLevelListSet(PocketLevelList* list, int i, double top, double bottom, int flag, int index) {
  if (list == nullptr || i < 0 || i >= list->capacity) return -1;
  list->entries[i] = PocketLevelEntry{top, bottom, flag, index};
  if (list->count < i + 1) list->count = i + 1;
  return 1;
}

int pockLevelSpans(const PocketLevelEntry& entry, double z) {
  if (z + kLevelTol > entry.top) return 0;
  return (entry.flag != 0 || z >= entry.bottom - kLevelTol) ? 1 : 0;
}

void pockLevelListFree(PocketLevelList* list) {
  if (list == nullptr) return;
  memFree(list->entries);
  memFree(list);
}

int pockLevelNextBelow(const PocketLevelList* list, double z, double* out) {
  if (list == nullptr) return -1;
  int found = -1;
  double best = -std::numeric_limits<double>::infinity();
  const double limit = z - kLevelTol;
  for (int i = 0; i < list->count; ++i) {
    const PocketLevelEntry& e = list->entries[i];
    if (e.flag != 0) continue;
    for (double v : {e.top, e.bottom}) {
      if (v < limit && (found < 0 || v > best)) {
        best = v;
        found = i;
      }
    }
  }
  if (found >= 0 && out != nullptr) *out = best;
  return found;
}

int pockLevelRange(const PocketLevelList* list, double* top, double* bottom) {
  if (list == nullptr || list->count <= 0) return -1;
  double t = list->entries[0].top;
  double b = list->entries[0].bottom;
  for (int i = 1; i < list->count; ++i) {
    const PocketLevelEntry& e = list->entries[i];
    if (e.flag != 0) continue;
    if (e.top > t) t = e.top;
    if (e.bottom < b) b = e.bottom;
  }
  if (top != nullptr) *top = t;
  if (bottom != nullptr) *bottom = b;
  return 1;
}

PocketLevelHeights* pockLevelSteps(const PocketLevelList* list, double step) {
  double top = 0.0;
  double bottom = 0.0;
  if (pockLevelRange(list, &top, &bottom) != 1) return nullptr;
  if (!std::isfinite(top) || !std::isfinite(bottom) || !std::isfinite(step)) return nullptr;
  const double span = top - bottom;
  double s = std::fabs(step);
  if (s < kLevelTol) s = span;
  if (s > span) s = span;
  // The room of the heights: a step far below the span would ask for more than the list can count.
  double room = 2.0 * list->count + 10.0;
  if (s > 0.0) room += std::floor(span / s);
  if (!(room <= static_cast<double>(std::numeric_limits<std::int32_t>::max() / 16))) return nullptr;
  const int capacity = static_cast<int>(room);

  auto* out = static_cast<PocketLevelHeights*>(memAllocZero(sizeof(PocketLevelHeights)));
  if (out == nullptr) return nullptr;
  out->heights =
      static_cast<double*>(memAllocZero(sizeof(double) * static_cast<std::size_t>(capacity)));
  if (out->heights == nullptr) {
    memFree(out);
    return nullptr;
  }
  out->capacity = capacity;
  auto push = [out](double h) {
    if (out->count >= out->capacity) return false;
    out->heights[out->count++] = h;
    return true;
  };
  bool ok = push(top);
  double h = top;
  double stop = 0.0;
  while (ok && pockLevelNextBelow(list, h, &stop) >= 0) {
    // s is positive here: a stop below h exists, so the span is.
    for (int k = 1; ok; ++k) {
      const double z = h - k * s;
      if (!(z > stop + kLevelTol)) break;
      ok = push(z);
    }
    if (!ok) break;
    ok = push(stop);
    h = stop;
    if (!(stop > bottom + kLevelTol)) break;
  }
  if (!ok) {
    pockLevelHeightsFree(out);
    return nullptr;
  }
  return out;
}

void pockLevelHeightsFree(PocketLevelHeights* heights) {
  if (heights == nullptr) return;
  memFree(heights->heights);
  memFree(heights);
}
