// zpath_file.cpp - the append-only Z-path file of a region (written entry by entry, read back
// into one list), the removal of paths that repeat an earlier one, and the boundary text dumps
// of paths.
#include "zlevel/zpath_file.h"

#include <algorithm>
#include <cfloat>
#include <climits>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <new>
#include <tuple>
#include <vector>

#include "framework/memory.h"
#include "framework/numtext.h"
#include "framework/platform.h"
#include "geometry/csys.h"
#include "geometry/geo_error.h"
#include "geometry/kont2d.h"
#include "geometry/plane_geo.h"
#include "model/le_decode.h"
#include "zlevel/zpath.h"

namespace {

constexpr const char* kModule = "zpath";
constexpr int kListStep = 500;              // paths added to a full list while reading
constexpr std::size_t kChunkPoints = 1024;  // points encoded per write
constexpr double kLevelTol = 1e-5;          // paths of one level differ less in z
constexpr double kAreaRatio = 1.1;
constexpr double kDiagonalRatio = 1.01;
constexpr double kMinDiagonalSq = 1e-5;
constexpr double kCornerTol = 1e-5;   // squared corner distance over G
constexpr double kPointTol = 0.0001;  // point distance over G
// Bound of the lower-left corner's x distance, as a factor of the squared diagonal of the earlier
// path: the corner test with the diagonal test allows at most 1e-5 x 1.01; the rest is margin.
constexpr double kCornerReachSq = 1.1e-5;
constexpr double kZBucketMax = 1e12;  // |z| / 1e-5 beyond this is not bucketed
constexpr int kBndDecimals = 12;

struct ZpathFileState {
  int bndCounter = 1;    // number of the next "**BND n" block
  int bndWzCounter = 1;  // number of the next "**BNDn **WZ" block
};
ZpathFileState zpathFileState;

// ---- entry encoding -----------------------------------------------------------------------------

void zpathEncodeHead(const ZPath* path, unsigned char* b) {
  std::memset(b, 0, kZpathEntryHead);
  lePutI32(b + 0, path->count);
  lePutI32(b + 4, path->capacity);
  const double f64[10] = {
      path->xmin,        path->ymin,           path->xmax,           path->ymax, path->groupStartX,
      path->groupStartY, path->subGroupStartX, path->subGroupStartY, path->z,    path->area};
  for (int k = 0; k < 10; ++k) lePutF64(b + 8 + 8 * k, f64[k]);
  const std::int32_t i32[7] = {path->closed,       path->orientation, path->materialInside,
                               path->nestingDepth, path->groupId,     path->subGroupId,
                               path->reserved};
  for (int k = 0; k < 7; ++k) lePutI32(b + 88 + 4 * k, i32[k]);
  lePutU32(b + 116, path->flags);
  // The four handle words at 120 .. 135 stay 0: they mean nothing outside the writer.
}

void zpathDecodeHead(const unsigned char* b, ZPath* path) {
  path->count = leI32(b + 0);
  path->capacity = leI32(b + 4);
  double* f64[10] = {
      &path->xmin,        &path->ymin,        &path->xmax,           &path->ymax,
      &path->groupStartX, &path->groupStartY, &path->subGroupStartX, &path->subGroupStartY,
      &path->z,           &path->area};
  for (int k = 0; k < 10; ++k) *f64[k] = leF64(b + 8 + 8 * k);
  std::int32_t* i32[7] = {&path->closed,       &path->orientation, &path->materialInside,
                          &path->nestingDepth, &path->groupId,     &path->subGroupId,
                          &path->reserved};
  for (int k = 0; k < 7; ++k) *i32[k] = leI32(b + 88 + 4 * k);
  path->flags = leU32(b + 116);
}

// Writes n 32-bit words of an array (floats or ints, width words per point) little-endian in
// chunks. False when a write falls short.
template <class T>
bool zpathWriteWords(std::FILE* f, const T* words, std::size_t n) {
  unsigned char buffer[4 * kChunkPoints];
  for (std::size_t done = 0; done < n;) {
    const std::size_t m = std::min(kChunkPoints, n - done);
    for (std::size_t i = 0; i < m; ++i) {
      std::uint32_t bits = 0;
      std::memcpy(&bits, &words[done + i], 4);
      lePutU32(buffer + 4 * i, bits);
    }
    if (std::fwrite(buffer, 1, 4 * m, f) != 4 * m) return false;
    done += m;
  }
  return true;
}

// Reads n 32-bit little-endian words into the array in place. False when the file runs short.
template <class T>
bool zpathReadWords(std::FILE* f, T* words, std::size_t n) {
  static_assert(sizeof(T) == 4);
  auto* bytes = reinterpret_cast<unsigned char*>(words);
  if (n > 0 && std::fread(bytes, 1, 4 * n, f) != 4 * n) return false;
  for (std::size_t i = 0; i < n; ++i) {
    const std::uint32_t bits = leU32(bytes + 4 * i);
    std::memcpy(&words[i], &bits, 4);
  }
  return true;
}

// Reads the arrays of an entry of n points into path, which gets arrays of max(n, 1) entries
// and capacity n. False when memory runs out or the file runs short (path arrays freed).
bool zpathReadArrays(std::FILE* f, int n, ZPath* path) {
  const auto room = static_cast<std::size_t>(std::max(n, 1));
  const auto m = static_cast<std::size_t>(n);
  path->points = static_cast<float*>(memAllocZero(room * 2 * sizeof(float)));
  path->contacts = static_cast<float*>(memAllocZero(room * 3 * sizeof(float)));
  path->elementIds = static_cast<std::int32_t*>(memAllocZero(room * sizeof(std::int32_t)));
  path->contactKinds = static_cast<std::int32_t*>(memAllocZero(room * sizeof(std::int32_t)));
  const bool ok =
      path->points != nullptr && path->contacts != nullptr && path->elementIds != nullptr &&
      path->contactKinds != nullptr && zpathReadWords(f, path->points, 2 * m) &&
      zpathReadWords(f, path->contacts, 3 * m) && zpathReadWords(f, path->elementIds, m) &&
      zpathReadWords(f, path->contactKinds, m);
  if (!ok) zpathFreeArrays(path);
  return ok;
}

// ---- identical paths ----------------------------------------------------------------------------

double zpathDiagonalSq(const ZPath& p) {
  const double w = p.xmax - p.xmin, h = p.ymax - p.ymin;
  return w * w + h * h;
}

// Whether two paths lie at one level. A height that is not a number lies at no level, so such a
// path never repeats another one nor is repeated.
bool zpathSameLevel(const ZPath& a, const ZPath& b) { return std::fabs(a.z - b.z) < kLevelTol; }

// Whether no path lies higher than the one before it, so that the paths of one level follow each
// other and the first path of another level ends the search for repeats. A height that is not a
// number makes the list unsorted: it compares with nothing.
bool zpathSortedDown(const ZPathList* list) {
  for (int i = 1; i < list->count; ++i) {
    if (!(list->items[i].z <= list->items[i - 1].z)) return false;
  }
  return true;
}

// Whether p lies within kPointTol x g of path j: the answer of |zpathPointDistance(p, j) / g| <
// kPointTol, given as soon as one vertex or edge is near enough (the smallest distance is below
// the bound exactly when one of the distances is). The scan starts at the vertex that answered
// last, since the points of a repeated path follow those of the path it repeats.
bool zpathPointNear(const Point2D& p, const ZPath& j, double g, int* hint) {
  const int n = j.points != nullptr ? j.count : 0;
  const auto vertex = [&j](int i) {
    return Point2D{static_cast<double>(j.points[2 * i]), static_cast<double>(j.points[2 * i + 1])};
  };
  for (int s = 0; s < n; ++s) {
    const int i = (*hint + s) % n;
    const Point2D v = vertex(i);
    const double dx = p.x - v.x, dy = p.y - v.y;
    const double d2 = dx * dx + dy * dy;
    if (d2 < 1e-12 || std::fabs(std::sqrt(d2) / g) < kPointTol) {
      *hint = i;
      return true;
    }
  }
  const int edges = j.closed != 0 ? n : n - 1;
  for (int s = 0; s < edges; ++s) {
    const int i = (*hint + s) % edges;
    const int next = i + 1 < n ? i + 1 : 0;
    const Point2D a = vertex(i), b = vertex(next);
    const Seg2D seg{a.x, a.y, b.x, b.y};
    Point2D foot{};
    if (geoFootOnSeg(p, seg, &foot) == 1 && std::fabs(geoDistToLine(p, seg) / g) < kPointTol) {
      *hint = i;
      return true;
    }
  }
  return false;
}

// Whether path k repeats path j (the level test is the caller's). The point test measures every
// distance (zpathPointDistance) in the plain method and stops at the first near vertex or edge in
// the pruned one; both give the same answer.
template <bool kPlain>
bool zpathRepeats(const ZPath& j, const ZPath& k) {
  if (!(k.xmin <= j.xmax && k.ymin <= j.ymax && j.xmin <= k.xmax && j.ymin <= k.ymax)) return false;
  if (k.orientation != j.orientation || k.flags != j.flags) return false;
  if (!(std::fabs(k.area) <= kAreaRatio * std::fabs(j.area) &&
        std::fabs(j.area) <= kAreaRatio * std::fabs(k.area))) {
    return false;
  }
  if (k.materialInside != j.materialInside) return false;
  const double dj = zpathDiagonalSq(j), dk = zpathDiagonalSq(k);
  if (dk * kDiagonalRatio < dj || dj * kDiagonalRatio < dk) return false;
  const double g = std::max(dj, dk);
  // A box whose squared diagonal overflows measures nothing: every distance over it would be 0.
  if (!(g >= kMinDiagonalSq) || !std::isfinite(g)) return false;
  const double llx = k.xmin - j.xmin, lly = k.ymin - j.ymin;
  if (!((llx * llx + lly * lly) / g < kCornerTol)) return false;
  const double urx = k.xmax - j.xmax, ury = k.ymax - j.ymax;
  if (!((urx * urx + ury * ury) / g < kCornerTol)) return false;
  int hint = 0;
  for (int i = 0; i < k.count && k.points != nullptr; ++i) {
    const Point2D p{static_cast<double>(k.points[2 * i]), static_cast<double>(k.points[2 * i + 1])};
    if (kPlain) {
      if (!(std::fabs(zpathPointDistance(p, &j) / g) < kPointTol)) return false;
    } else if (!zpathPointNear(p, j, g, &hint)) {
      return false;
    }
  }
  return true;
}

void zpathLogRemoval() { geoErrLog(kZpathIdenticalLog); }

// Frees the marked paths and closes the gaps, keeping the order of the others.
void zpathListDropMarked(ZPathList* list, const std::vector<char>& dead) {
  int kept = 0;
  for (int i = 0; i < list->count; ++i) {
    if (dead[static_cast<std::size_t>(i)] != 0) {
      zpathFreeArrays(&list->items[i]);
    } else {
      if (kept != i) list->items[kept] = list->items[i];
      ++kept;
    }
  }
  for (int i = kept; i < list->count; ++i) std::memset(&list->items[i], 0, sizeof(ZPath));
  list->count = kept;
}

// The key of the pruned removal: paths of different keys never repeat each other, and within a
// key the paths are ordered by z bucket and then by the x of their lower-left corner.
using ZpathKey = std::tuple<int, std::uint32_t, int, long long, double>;

ZpathKey zpathKeyOf(const ZPath& p) {
  return {p.orientation, p.flags, p.materialInside,
          static_cast<long long>(std::floor(p.z / kLevelTol)), p.xmin};
}

bool zpathPrunable(const ZPathList* list) {
  for (int i = 0; i < list->count; ++i) {
    const ZPath& p = list->items[i];
    if (!std::isfinite(p.z) || std::fabs(p.z) > kZBucketMax * kLevelTol) return false;
    if (!std::isfinite(p.xmin) || !std::isfinite(p.ymin) || !std::isfinite(p.xmax) ||
        !std::isfinite(p.ymax) || !std::isfinite(zpathDiagonalSq(p))) {
      return false;
    }
  }
  return true;
}

// The pruned removal; false when its scratch memory cannot be had (nothing changed).
bool zpathRemoveIdenticalPruned(ZPathList* list) {
  const auto n = static_cast<std::size_t>(list->count);
  std::vector<int> order(n);
  std::vector<ZpathKey> keys(n);
  std::vector<char> dead(n, 0);
  std::vector<int> candidates;
  candidates.reserve(n);  // no allocation once the comparisons have begun
  for (std::size_t i = 0; i < n; ++i) {
    order[i] = static_cast<int>(i);
    keys[i] = zpathKeyOf(list->items[i]);
  }
  std::sort(order.begin(), order.end(), [&keys](int a, int b) {
    return keys[static_cast<std::size_t>(a)] < keys[static_cast<std::size_t>(b)];
  });
  std::vector<ZpathKey> sortedKeys(n);
  for (std::size_t i = 0; i < n; ++i) sortedKeys[i] = keys[static_cast<std::size_t>(order[i])];
  for (int j = 0; j < list->count; ++j) {
    if (dead[static_cast<std::size_t>(j)] != 0) continue;
    const ZPath& pj = list->items[j];
    const double reach = std::sqrt(kCornerReachSq * zpathDiagonalSq(pj)) + 1e-12;
    const ZpathKey& kj = keys[static_cast<std::size_t>(j)];
    candidates.clear();
    // Paths of one level lie in neighbouring buckets; two on each side absorb the rounding of the
    // bucket numbers.
    for (long long bucket = std::get<3>(kj) - 2; bucket <= std::get<3>(kj) + 2; ++bucket) {
      const ZpathKey low{std::get<0>(kj), std::get<1>(kj), std::get<2>(kj), bucket,
                         pj.xmin - reach};
      const ZpathKey high{std::get<0>(kj), std::get<1>(kj), std::get<2>(kj), bucket,
                          pj.xmin + reach};
      auto it = std::lower_bound(sortedKeys.begin(), sortedKeys.end(), low);
      const auto end = std::upper_bound(it, sortedKeys.end(), high);
      for (; it != end; ++it) {
        const int k = order[static_cast<std::size_t>(it - sortedKeys.begin())];
        if (k > j && dead[static_cast<std::size_t>(k)] == 0 && zpathSameLevel(pj, list->items[k])) {
          candidates.push_back(k);
        }
      }
    }
    std::sort(candidates.begin(), candidates.end());
    for (int k : candidates) {
      if (zpathRepeats<false>(pj, list->items[k])) {
        zpathLogRemoval();
        dead[static_cast<std::size_t>(k)] = 1;
      }
    }
  }
  zpathListDropMarked(list, dead);
  return true;
}

// ---- boundary dumps ---------------------------------------------------------------------------

bool zpathWriteBndPoint(std::FILE* f, Point3D p) {
  char line[3 * kNumFixedTextSize + 8];
  const double values[3] = {p.x, p.y, p.z};
  const char letters[3] = {'X', 'Y', 'Z'};
  std::size_t n = 0;
  for (int k = 0; k < 3; ++k) {
    line[n++] = letters[k];
    n += numFormatFixedWidth(line + n, sizeof line - n, values[k], kBndDecimals, 0);
    line[n++] = k < 2 ? ' ' : '\n';
  }
  return std::fwrite(line, 1, n, f) == n;
}

int zpathAppendBlock(const ZPath* path, const char* fileName, bool wz) {
  if (path == nullptr || path->count <= 0 || path->points == nullptr) return 0;
  if (fileName == nullptr || fileName[0] == '\0') return -1;
  std::FILE* f = std::fopen(fileName, "a+");
  if (f == nullptr) return -1;
  int& counter = wz ? zpathFileState.bndWzCounter : zpathFileState.bndCounter;
  bool ok = std::fprintf(f, wz ? "**BND%d **WZ\n" : "**BND %d\n", counter) > 0;
  for (int i = 0; ok && i <= path->count; ++i) {
    const int at = i < path->count ? i : 0;  // the first point again closes the block
    Point3D p{static_cast<double>(path->points[2 * at]),
              static_cast<double>(path->points[2 * at + 1]), path->z};
    if (!wz) csysToolToWorld(&p);
    ok = zpathWriteBndPoint(f, p);
  }
  ok = ok && std::fputs("**END\n", f) >= 0;
  if (std::fclose(f) != 0) ok = false;
  if (!ok) return geoFail(kGeoFailed, kModule);
  if (counter < INT_MAX) ++counter;
  return 1;
}

}  // namespace

int zpathFileTruncate(const char* fileName) {
  if (fileName == nullptr) return -1;
  std::FILE* f = std::fopen(fileName, "wb");
  if (f == nullptr) return -1;
  std::fclose(f);
  return 1;
}

int zpathFileAppend(const char* fileName, const ZPath* path) {
  if (path == nullptr || path->count < 0 || path->count > path->capacity ||
      (path->count > 0 && (path->points == nullptr || path->contacts == nullptr ||
                           path->elementIds == nullptr || path->contactKinds == nullptr))) {
    return kGeoBadArgument;
  }
  if (fileName == nullptr) return -1;
  std::FILE* f = std::fopen(fileName, "ab");
  if (f == nullptr) return -1;
  unsigned char head[kZpathEntryHead];
  zpathEncodeHead(path, head);
  const auto n = static_cast<std::size_t>(path->count);
  bool ok = std::fwrite(head, 1, kZpathEntryHead, f) == kZpathEntryHead &&
            zpathWriteWords(f, path->points, 2 * n) && zpathWriteWords(f, path->contacts, 3 * n) &&
            zpathWriteWords(f, path->elementIds, n) && zpathWriteWords(f, path->contactKinds, n);
  if (std::fclose(f) != 0) ok = false;
  return ok ? 1 : -1;
}

int zpathFileAppendContours(const char* fileName, const Kont2D* region, double z, int plane) {
  if (region == nullptr) return 1;
  int result = 1;
  for (const Kont2D* k = region; k != nullptr; k = kontWalkNext(region, k)) {
    ZPath* path = zpathFromContour(k);
    if (path == nullptr) return geoFail(kGeoFailed, kModule);
    path->z = z;  // the contour at the given height, the caller's contour untouched
    path->flags |= ZP_OUTIN_PASS | ZP_BOUNDARY_COPY | (plane != 0 ? ZP_PLANE_LEVEL : 0u);
    result = zpathFileAppend(fileName, path);
    zpathFree(path);
    if (result < 0) return geoFail(result, kModule);
  }
  return result;
}

ZPathList* zpathListRead(const char* fileName) {
  if (fileName == nullptr) return nullptr;
  std::FILE* f = std::fopen(fileName, "rb");
  if (f == nullptr) return nullptr;
  std::int64_t size = 0;
  auto* list = static_cast<ZPathList*>(memAllocZero(sizeof(ZPathList)));
  bool ok = list != nullptr && platFileSize(f, &size) == 1;
  std::int64_t at = 0;
  while (ok && size - at >= static_cast<std::int64_t>(kZpathEntryHead)) {
    unsigned char head[kZpathEntryHead];
    ok = std::fread(head, 1, kZpathEntryHead, f) == kZpathEntryHead;
    if (!ok) break;
    at += static_cast<std::int64_t>(kZpathEntryHead);
    ZPath path{};
    zpathDecodeHead(head, &path);
    // The count is trusted only as far as the rest of the file can hold its arrays.
    const std::int64_t room = (size - at) / static_cast<std::int64_t>(kZpathEntryPerPoint);
    ok = path.count >= 0 && path.count <= room &&
         (list->count < list->capacity || zpathListGrowTo(list, list->capacity + kListStep) == 1) &&
         zpathReadArrays(f, path.count, &path);
    if (!ok) break;
    at += static_cast<std::int64_t>(kZpathEntryPerPoint) * path.count;
    path.capacity = path.count;
    zpathRemoveDuplicatePoints(&path, 1);
    list->items[list->count++] = path;
  }
  std::fclose(f);
  if (!ok) {
    zpathListFree(list);
    geoFail(kGeoFailed, kModule);
    return nullptr;
  }
  zpathListRemoveIdentical(list);
  return list;
}

int zpathListRemoveIdenticalPlain(ZPathList* list) {
  if (list == nullptr || list->items == nullptr) return 1;
  const bool sorted = zpathSortedDown(list);
  for (int j = 0; j < list->count; ++j) {
    for (int k = j + 1; k < list->count;) {
      const ZPath& pj = list->items[j];
      const ZPath& pk = list->items[k];
      if (!zpathSameLevel(pj, pk)) {
        if (sorted) break;
        ++k;
        continue;
      }
      if (zpathRepeats<true>(pj, pk)) {
        zpathLogRemoval();
        zpathListRemove(list, k);  // the next path takes index k
      } else {
        ++k;
      }
    }
  }
  return 1;
}

int zpathListRemoveIdentical(ZPathList* list) {
  if (list == nullptr || list->items == nullptr || list->count < 2) return 1;
  if (!zpathPrunable(list)) return zpathListRemoveIdenticalPlain(list);
  bool done = false;
  try {
    done = zpathRemoveIdenticalPruned(list);
  } catch (const std::bad_alloc&) {
    done = false;
  }
  return done ? 1 : zpathListRemoveIdenticalPlain(list);
}

int zpathAppendBnd(const ZPath* path, const char* fileName) {
  return zpathAppendBlock(path, fileName, false);
}

int zpathAppendBndWz(const ZPath* path, const char* fileName) {
  return zpathAppendBlock(path, fileName, true);
}

void zpathFileResetState() { zpathFileState = ZpathFileState{}; }
