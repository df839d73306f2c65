// dbl_list_ops.cpp - DblList search, removal and text output, file sizes and region copies
// through boundary text.
#include "geometry/dbl_list_ops.h"

#include <cfloat>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <memory>
#include <string>

#include "framework/platform.h"
#include "geometry/kont_snapshot.h"

int lstDblRemove(DblList* list, int index) {
  if (list == nullptr || index < 0 || index >= list->count) return 0;
  for (int k = index; k + 1 < list->count; ++k) list->items[k] = list->items[k + 1];
  --list->count;
  list->min = DBL_MAX;
  list->max = -DBL_MAX;
  for (int k = 0; k < list->count; ++k) {
    list->min = std::fmin(list->min, list->items[k]);
    list->max = std::fmax(list->max, list->items[k]);
  }
  return 1;
}

int lstDblFind(const DblList* list, double v, double tol) {
  if (list == nullptr) return -1;
  for (int k = 0; k < list->count; ++k) {
    if (std::fabs(list->items[k] - v) <= tol) return k;
  }
  return -1;
}

int lstDblWrite(const DblList* list, const char* fileName) {
  if (list == nullptr) return 0;
  if (fileName == nullptr) return -1;
  std::FILE* f = std::fopen(fileName, "w");
  if (f == nullptr) return -1;
  for (int k = 0; k < list->count; ++k) {
    char buf[512];
    const auto r =
        std::to_chars(buf, buf + sizeof buf - 1, list->items[k], std::chars_format::fixed, 6);
    *r.ptr = '\n';
    std::fwrite(buf, 1, static_cast<std::size_t>(r.ptr - buf + 1), f);
  }
  std::fclose(f);
  return 1;
}

std::int64_t geoFileSize(const char* fileName) {
  if (fileName == nullptr) return -1;
  std::FILE* f = std::fopen(fileName, "rb");
  if (f == nullptr) return -1;
  std::int64_t size = -1;
  if (platFileSize(f, &size) != 1) size = -1;
  std::fclose(f);
  return size;
}

Kont2D* kontCopyViaText(const Kont2D* list) {
  if (list == nullptr) return nullptr;
  KontSnapshot* snap = kontSnapInit(list);
  if (snap == nullptr) return nullptr;
  Kont2D* copy = kontSnapToRegions(snap, 1, 1);
  kontSnapFree(snap);
  return copy;
}
