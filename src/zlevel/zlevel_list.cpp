// zlevel_list.cpp - the Z levels of a region: insertion with absorption of near heights, the
// stepdown ladder, lookups and the level file. Lists hold tens to hundreds of levels, so every
// operation is a linear scan.
#include "zlevel/zlevel_list.h"

#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <new>
#include <vector>

#include "framework/global_params.h"
#include "framework/memory.h"
#include "framework/platform.h"
#include "geometry/cycle_state.h"
#include "geometry/geo_error.h"
#include "model/le_decode.h"

namespace {

constexpr const char* kModule = "zlevel_list";
constexpr int kGrowth = 100;  // entries added to a full list

// Both arrays resized to capacity entries (at least one). False when memory runs out; the list
// then keeps whichever arrays were already moved, with its old capacity, which both still hold.
bool zlevResize(ZLevelList* list, int capacity) {
  const std::size_t n = static_cast<std::size_t>(capacity > 0 ? capacity : 1);
  auto* z = static_cast<double*>(memRealloc(list->z, n * sizeof(double)));
  if (z == nullptr) return false;
  list->z = z;
  auto* flag = static_cast<std::int16_t*>(memRealloc(list->flag, n * sizeof(std::int16_t)));
  if (flag == nullptr) return false;
  list->flag = flag;
  list->capacity = capacity;
  return true;
}

int zlevInsertTol(ZLevelList* list, double z, double gap, int kind, double tol) {
  if (list == nullptr) return geoFail(kGeoFailed, kModule);
  if (std::isnan(z) || std::isnan(gap)) return 0;
  if (z > list->zmax || z < list->zmin) return 0;
  int at = list->count;
  for (int i = 0; i < list->count; ++i) {
    if (std::fabs(list->z[i] - z) < gap + tol) {
      if (list->z[i] < z) list->z[i] = z + tol;
      return 0;
    }
    if (list->z[i] < z) {
      at = i;
      break;
    }
  }
  if (list->count >= list->capacity) {
    if (list->capacity > INT32_MAX - kGrowth || !zlevResize(list, list->capacity + kGrowth))
      return geoFail(kGeoFailed, kModule);
  }
  const auto moved = static_cast<std::size_t>(list->count - at);
  std::memmove(list->z + at + 1, list->z + at, moved * sizeof(double));
  std::memmove(list->flag + at + 1, list->flag + at, moved * sizeof(std::int16_t));
  list->z[at] = z + tol;
  list->flag[at] = static_cast<std::int16_t>(kind);
  ++list->count;
  return 1;
}

// The ladder of zlevFillStepdown with the given insertion.
int zlevFillLadder(ZLevelList* list, double step, bool exact) {
  if (list == nullptr) return geoFail(kGeoFailed, kModule);
  // A step, top or bottom that is not finite never moves the ladder, and a ladder of more rungs
  // than any region needs would insert until memory runs out: both are refused up front.
  if (!(step >= kZlevMinStep) || !std::isfinite(step) || !std::isfinite(list->zmax) ||
      !std::isfinite(list->zmin)) {
    return geoFail(kGeoFailed, kModule);
  }
  const double span = list->zmax - list->zmin;
  if (!std::isfinite(span) || span / step > kZlevMaxLadder) return geoFail(kGeoFailed, kModule);
  auto insert = [&](double h) {
    return exact ? zlevInsertExact(list, h, kZlevMinStep, kZlevStepdown)
                 : zlevInsert(list, h, kZlevMinStep, kZlevStepdown);
  };
  // Every pass inserts a rung and moves one step down, or restarts one step below a distinct
  // existing level; the bound only guards against heights so large that a step is lost in
  // rounding.
  const double bound = 2.0 * (span / step + 2.0) + 2.0 * list->count + 16.0;
  double h = list->zmax - step;
  for (double passes = 0; passes <= bound; passes += 1.0) {
    if (h < list->zmin) h = list->zmin;
    if (std::fabs(h - list->zmin) < kZlevMinStep) {
      if (insert(h) < 0) return -1;
      if (parFinishPass() == 2 && parSkipLastPlane() == 1 && list->count > 0) --list->count;
      return 1;
    }
    const int k = zlevIndexAbove(list, h);
    if (k >= 0 && list->z[k] - h <= step - kZlevMinStep) {
      h = list->z[k] - step;
      continue;
    }
    if (insert(h) < 0) return -1;
    h -= step;
  }
  return geoFail(kGeoFailed, kModule);
}

// Short write guard of the level file.
bool zlevWrite(std::FILE* f, const void* bytes, std::size_t n) {
  return n == 0 || std::fwrite(bytes, 1, n, f) == n;
}

}  // namespace

ZLevelList* zlevNew(int capacity, double zmax, double zmin) {
  if (capacity < 0) {
    geoFail(kGeoBadArgument, kModule);
    return nullptr;
  }
  auto* list = static_cast<ZLevelList*>(memAllocZero(sizeof(ZLevelList)));
  if (list == nullptr || !zlevResize(list, capacity)) {
    if (list != nullptr) zlevFree(list);
    geoFail(kGeoFailed, kModule);
    return nullptr;
  }
  list->count = 0;
  list->zmax = zmax;
  list->zmin = zmin;
  return list;
}

int zlevFree(ZLevelList* list) {
  if (list == nullptr) return 0;
  memFree(list->z);
  memFree(list->flag);
  memFree(list);
  return 0;
}

double zlevTolerance() {
  return unitFactor * parUnscaledPrecision() >= kZlevCoarseFrom ? kZlevTolCoarse : kZlevTolFine;
}

int zlevInsert(ZLevelList* list, double z, double gap, int kind) {
  return zlevInsertTol(list, z, gap, kind, zlevTolerance());
}

int zlevInsertExact(ZLevelList* list, double z, double gap, int kind) {
  return zlevInsertTol(list, z, gap, kind, 0.0);
}

int zlevFillStepdown(ZLevelList* list, double step) { return zlevFillLadder(list, step, false); }

int zlevFillStepdownExact(ZLevelList* list, double step) {
  return zlevFillLadder(list, step, true);
}

int zlevIndexAbove(const ZLevelList* list, double z) {
  if (list == nullptr) return -1;
  int i = 0;
  while (i < list->count && list->z[i] > z) ++i;
  return i - 1;
}

int zlevHasNear(const ZLevelList* list, double z, double gap) {
  if (list == nullptr) return 0;
  const double tol = zlevTolerance();
  for (int i = 0; i < list->count; ++i) {
    if (std::fabs(list->z[i] - z) < gap + tol) return 1;
  }
  return 0;
}

int zlevRemoveAt(ZLevelList* list, int index) {
  if (list == nullptr) return -1;
  if (index < 0 || index >= list->count) return list->count;
  const auto moved = static_cast<std::size_t>(list->count - index - 1);
  std::memmove(list->z + index, list->z + index + 1, moved * sizeof(double));
  std::memmove(list->flag + index, list->flag + index + 1, moved * sizeof(std::int16_t));
  return --list->count;
}

int zlevSave(const ZLevelList* list, const char* fileName) {
  if (fileName == nullptr) return geoFail(kGeoFailed, kModule);
  std::FILE* f = std::fopen(fileName, "wb");
  if (f == nullptr) return geoFail(kGeoFailed, kModule);
  bool ok = true;
  try {
    if (list != nullptr) {
      const auto n = static_cast<std::size_t>(list->count > 0 ? list->count : 0);
      std::vector<unsigned char> bytes(kZlevFileHead + kZlevFilePerLevel * n);
      lePutI32(bytes.data(), static_cast<std::int32_t>(n));
      lePutF64(bytes.data() + 4, list->zmax);
      lePutF64(bytes.data() + 12, list->zmin);
      unsigned char* p = bytes.data() + kZlevFileHead;
      for (std::size_t i = 0; i < n; ++i, p += 8) lePutF64(p, list->z[i]);
      for (std::size_t i = 0; i < n; ++i, p += 2) {
        const auto v = static_cast<std::uint16_t>(list->flag[i]);
        p[0] = static_cast<unsigned char>(v & 0xFF);
        p[1] = static_cast<unsigned char>(v >> 8);
      }
      ok = zlevWrite(f, bytes.data(), bytes.size());
    }
  } catch (const std::bad_alloc&) {
    ok = false;
  }
  if (std::fclose(f) != 0) ok = false;
  return ok ? 1 : geoFail(kGeoFailed, kModule);
}

ZLevelList* zlevLoad(const char* fileName) {
  if (fileName == nullptr) return nullptr;
  std::FILE* f = std::fopen(fileName, "rb");
  if (f == nullptr) return nullptr;
  std::int64_t size = 0;
  unsigned char head[kZlevFileHead];
  ZLevelList* list = nullptr;
  if (platFileSize(f, &size) == 1 && size >= kZlevFileHead &&
      std::fread(head, 1, kZlevFileHead, f) == kZlevFileHead) {
    const std::int32_t n = leI32(head);
    // The count is trusted only as far as the file holds its levels.
    if (n >= 0 && n <= (size - kZlevFileHead) / kZlevFilePerLevel) {
      std::vector<unsigned char> body;
      try {
        body.resize(static_cast<std::size_t>(n) * kZlevFilePerLevel);
        list = zlevNew(n, leF64(head + 4), leF64(head + 12));
      } catch (const std::bad_alloc&) {
        list = nullptr;
      }
      if (list != nullptr &&
          (body.empty() || std::fread(body.data(), 1, body.size(), f) == body.size())) {
        const unsigned char* p = body.data();
        for (std::int32_t i = 0; i < n; ++i, p += 8) list->z[i] = leF64(p);
        for (std::int32_t i = 0; i < n; ++i, p += 2) list->flag[i] = leI16(p);
        list->count = n;
      } else {
        zlevFree(list);
        list = nullptr;
      }
    }
  }
  std::fclose(f);
  if (list == nullptr) geoFail(kGeoFailed, kModule);
  return list;
}
