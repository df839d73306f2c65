// path_list.cpp - the toolpath point list: creation, ordered inserts, parameter lookups, splits,
// densification, thinning and the z filters every cycle applies to its path pieces.
// All arrays come from the framework's heap functions so that a failed growth can be tested.
#include "geometry/path_list.h"

#include <climits>
#include <cmath>
#include <cstring>
#include <type_traits>
#include <utility>

#include "framework/memory.h"
#include "geometry/geo_error.h"
#include "geometry/geo_random.h"
#include "geometry/tool_axis.h"

namespace {
constexpr double kParamTol = 1e-5;  // two parameters within this are the same place
constexpr double kClosedTol = 0.1;  // a list whose ends lie closer is closed (start shifting)
constexpr double kShortMove = 1e-5;
constexpr unsigned kRandModulus = 259200;  // state range of the library's generator

struct PathListState {
  int lastHit = -1;    // index of the last hit of pathListFindParam
  int lastSplit = -1;  // index of the last pathListSplitAt
  int randomKeep = 0;  // random keep of the collinear marking
};
PathListState pathState;

std::uint16_t pathCode(int cls, int kind) {
  return static_cast<std::uint16_t>(((cls & 0xFF) << 8) | (kind & 0xFF));
}

// The arrays of one list, allocated together so that a list is never left half-built.
struct PathArrays {
  Point3D* positions = nullptr;
  Point3D* axes = nullptr;
  std::uint8_t* axisSet = nullptr;
  double* params = nullptr;
  std::uint16_t* codes = nullptr;

  void release() {
    memFree(positions);
    memFree(axes);
    memFree(axisSet);
    memFree(params);
    memFree(codes);
    *this = PathArrays{};
  }
  // Allocates room for n points (n >= 1). Returns false with nothing held when memory runs out.
  bool allocate(int n, bool withAxes) {
    const std::size_t m = static_cast<std::size_t>(n);
    positions = static_cast<Point3D*>(memAllocZero(m * sizeof(Point3D)));
    params = static_cast<double*>(memAllocZero(m * sizeof(double)));
    codes = static_cast<std::uint16_t*>(memAllocZero(m * sizeof(std::uint16_t)));
    bool ok = positions != nullptr && params != nullptr && codes != nullptr;
    if (ok && withAxes) {
      axes = static_cast<Point3D*>(memAllocZero(m * sizeof(Point3D)));
      axisSet = static_cast<std::uint8_t*>(memAllocZero(m));
      ok = axes != nullptr && axisSet != nullptr;
    }
    if (!ok) release();
    return ok;
  }
};

PathArrays pathTake(PathList* l) {
  PathArrays a;
  a.positions = l->positions;
  a.axes = l->axes;
  a.axisSet = l->axisSet;
  a.params = l->params;
  a.codes = l->codes;
  return a;
}

void pathPut(PathList* l, const PathArrays& a) {
  l->positions = a.positions;
  l->axes = a.axes;
  l->axisSet = a.axisSet;
  l->params = a.params;
  l->codes = a.codes;
}

// Copies point src of list s into slot dst of arrays a.
void pathCopyPoint(PathArrays& a, int dst, const PathList* s, int src) {
  a.positions[dst] = s->positions[src];
  a.params[dst] = s->params[src];
  a.codes[dst] = s->codes[src];
  if (a.axes != nullptr && s->axes != nullptr) {
    a.axes[dst] = s->axes[src];
    a.axisSet[dst] = s->axisSet[src];
  }
}

// Enlarges one array to n elements; on failure the old block stays valid and unchanged.
template <typename T>
bool pathGrowArray(T** p, int n) {
  if (*p == nullptr) return true;
  void* q = memRealloc(*p, static_cast<std::size_t>(n) * sizeof(T));
  if (q == nullptr) return false;
  *p = static_cast<T*>(q);
  return true;
}

// Grows the list by half (at least one point). A failure leaves count, capacity and contents as
// they were: an array already enlarged only has spare room.
bool pathGrow(PathList* l) {
  if (l->capacity >= INT_MAX / 2) return false;
  int n = static_cast<int>(l->capacity * 1.5);
  if (n < l->capacity + 1) n = l->capacity + 1;
  if (!pathGrowArray(&l->positions, n) || !pathGrowArray(&l->params, n) ||
      !pathGrowArray(&l->codes, n) || !pathGrowArray(&l->axes, n) ||
      !pathGrowArray(&l->axisSet, n)) {
    return false;
  }
  l->capacity = n;
  return true;
}

// Moves points [from, count) by delta places (delta may be negative).
void pathShift(PathList* l, int from, int to, int n) {
  if (n <= 0) return;
  const std::size_t m = static_cast<std::size_t>(n);
  std::memmove(l->positions + to, l->positions + from, m * sizeof(Point3D));
  std::memmove(l->params + to, l->params + from, m * sizeof(double));
  std::memmove(l->codes + to, l->codes + from, m * sizeof(std::uint16_t));
  if (l->axes != nullptr) {
    std::memmove(l->axes + to, l->axes + from, m * sizeof(Point3D));
    std::memmove(l->axisSet + to, l->axisSet + from, m);
  }
}

bool pathFalling(const PathList* l) {
  return l->count >= 2 && l->params[l->count - 1] - l->params[0] < 0.0;
}

Point3D pathLerp(const Point3D& a, const Point3D& b, double t) {
  return Point3D{(1.0 - t) * a.x + t * b.x, (1.0 - t) * a.y + t * b.y, (1.0 - t) * a.z + t * b.z};
}

// Shared search of the forward lookups; range true adds the tests of pathListInterpAt.
int pathForward(const PathList* l, double x, Point3D* out, bool range) {
  if (l == nullptr || l->count <= 0) return -1;
  if (l->count == 1) {
    if (std::fabs(x - l->params[0]) > kParamTol) return -1;
    if (out != nullptr) *out = l->positions[0];
    return 0;
  }
  if (range && (x < l->params[0] - kParamTol || x > l->params[l->count - 1] + kParamTol)) {
    return -1;
  }
  int i = 1;
  while (i < l->count && !(l->params[i] > x - kParamTol)) ++i;
  if (i >= l->count) return -1;
  Point3D p;
  if (std::fabs(x - l->params[i - 1]) <= kParamTol) {
    p = l->positions[i - 1];
  } else {
    // A repeated first parameter leaves no direction to extrapolate along.
    if (l->params[i] == l->params[i - 1]) return -1;
    const double t = (x - l->params[i - 1]) / (l->params[i] - l->params[i - 1]);
    p = pathLerp(l->positions[i - 1], l->positions[i], t);
  }
  if (out != nullptr) *out = p;
  return i - 1;
}

bool pathIndexIn(const PathList* l, int i) { return l != nullptr && i >= 0 && i < l->count; }

// One random draw of the library's generator: true for a state that is a multiple of 10.
bool pathRandomKeepsPoint() {
  const double r = geoRandNext();
  const long state = std::lround(r * kRandModulus);
  return state % 10 == 0;
}

// Shared densification; the axes of new points are turned between the move's end axes.
int pathDensifyImpl(PathList* l, double step) {
  if (l == nullptr) return geoFail(kGeoBadArgument, "path_list");
  step = std::fabs(step);
  if (step < kShortMove) return 0;
  pathListParamByLength(l);
  // First pass: how many points the densified list holds.
  long long total = l->count;
  for (int i = 1; i < l->count; ++i) {
    if (pathListClass(l, i - 1) == kPathClassGap || pathListClass(l, i) == kPathClassGap) continue;
    const double len = vecDistance(l->positions[i - 1], l->positions[i]);
    if (len >= step + kShortMove) total += static_cast<long long>(std::floor(len / step));
  }
  if (total == l->count) return 1;
  if (total > INT_MAX / 2) return geoFail(kGeoFailed, "path_list");
  PathArrays a;
  const int cap = static_cast<int>(total);
  if (!a.allocate(cap, l->axes != nullptr)) return geoFail(kGeoFailed, "path_list");
  int k = 0;
  for (int i = 0; i < l->count; ++i) {
    if (i > 0 && pathListClass(l, i - 1) != kPathClassGap && pathListClass(l, i) != kPathClassGap) {
      const Point3D& p0 = l->positions[i - 1];
      const Point3D& p1 = l->positions[i];
      const double len = vecDistance(p0, p1);
      if (len >= step + kShortMove) {
        const int n = static_cast<int>(std::floor(len / step)) + 1;
        const bool holder =
            pathListClass(l, i - 1) == kPathClassHolder || pathListClass(l, i) == kPathClassHolder;
        double angle = 0.0;
        if (l->axes != nullptr) {
          const Point3D& u = l->axes[i - 1];
          const Point3D& v = l->axes[i];
          angle = vecAcosClamped(u.x * v.x + u.y * v.y + u.z * v.z);
        }
        for (int j = 1; j < n; ++j) {
          const double t = static_cast<double>(j) / n;
          a.positions[k] = pathLerp(p0, p1, t);
          a.params[k] = (1.0 - t) * l->params[i - 1] + t * l->params[i];
          a.codes[k] = pathCode(holder ? kPathClassHolder : 0, kPathKindMade);
          if (a.axes != nullptr) {
            axisTurnToward(&a.axes[k], l->axes[i - 1], l->axes[i], t * angle);
            a.axisSet[k] = 1;
          }
          ++k;
        }
      }
    }
    pathCopyPoint(a, k, l, i);
    ++k;
  }
  PathArrays old = pathTake(l);
  old.release();
  pathPut(l, a);
  l->count = k;
  l->capacity = cap;
  return 1;
}

// Removes the points for which drop(i) holds, keeping the order of the rest.
template <typename Pred>
void pathCompact(PathList* l, Pred drop) {
  int k = 0;
  for (int i = 0; i < l->count; ++i) {
    if (drop(i)) continue;
    if (k != i) {
      l->positions[k] = l->positions[i];
      l->params[k] = l->params[i];
      l->codes[k] = l->codes[i];
      if (l->axes != nullptr) {
        l->axes[k] = l->axes[i];
        l->axisSet[k] = l->axisSet[i];
      }
    }
    ++k;
  }
  l->count = k;
}

void pathRecolour(PathList* l, int from, int to) {
  for (int i = 0; i < l->count; ++i) {
    if (pathListClass(l, i) == from) pathListSetClass(l, i, to);
  }
}
}  // namespace

void pathListResetState() { pathState = PathListState{}; }

void pathListSetRandomKeep(int on) { pathState.randomKeep = on; }
int pathListRandomKeep() { return pathState.randomKeep; }

// ---- creating and copying ---------------------------------------------------------------------

PathList* pathListNew(int n, int withAxes) {
  if (n < 1) {
    geoFail(kGeoBadArgument, "path_list");
    return nullptr;
  }
  if (n > kPathListMaxInitial) n = kPathListMaxInitial;
  auto* l = static_cast<PathList*>(memAllocZero(sizeof(PathList)));
  if (l == nullptr) {
    geoFail(kGeoFailed, "path_list");
    return nullptr;
  }
  PathArrays a;
  if (!a.allocate(n, withAxes != 0)) {
    n = n / 10 < 1 ? 1 : n / 10;
    if (!a.allocate(n, withAxes != 0)) {
      memFree(l);
      geoFail(kGeoFailed, "path_list");
      return nullptr;
    }
  }
  pathPut(l, a);
  l->capacity = n;
  return l;
}

void pathListFree(PathList* list) {
  if (list == nullptr) return;
  PathArrays a = pathTake(list);
  a.release();
  memFree(list);
}

int pathListCopy(PathList* dst, const PathList* src) {
  if (dst == nullptr || src == nullptr || dst == src) return geoFail(kGeoBadArgument, "path_list");
  dst->count = 0;
  dst->sense = src->sense;
  const Point3D up{0.0, 0.0, 1.0};
  for (int i = 0; i < src->count; ++i) {
    const bool has = src->axes != nullptr;
    if (pathListInsert(dst, src->params[i], src->positions[i], src->codes[i],
                       has ? &src->axes[i] : &up, has ? src->axisSet[i] : 0) < 0) {
      return -1;
    }
  }
  return 1;
}

int pathListCopyRange(PathList* dst, const PathList* src, int from, int to) {
  if (dst == nullptr || src == nullptr || dst == src) return geoFail(kGeoBadArgument, "path_list");
  if (from > to) {
    dst->count = 0;
    dst->sense = src->sense;
    return 1;
  }
  if (from < 0 || to >= src->count) return geoFail(kGeoBadArgument, "path_list");
  dst->count = 0;
  dst->sense = src->sense;
  const bool negate = src->params[from] > src->params[to];
  const Point3D up{0.0, 0.0, 1.0};
  const bool has = src->axes != nullptr;
  for (int i = from; i <= to; ++i) {
    const double x = negate ? -src->params[i] : src->params[i];
    if (pathListInsert(dst, x, src->positions[i], src->codes[i], has ? &src->axes[i] : &up,
                       has ? src->axisSet[i] : 0) < 0) {
      return -1;
    }
  }
  if (negate) {
    for (int i = 0; i < dst->count; ++i) dst->params[i] = -dst->params[i];
  }
  return 1;
}

int pathListCopyUnmarked(const PathList* src, PathList* dst) {
  if (src == nullptr || dst == nullptr || src == dst) return geoFail(kGeoFailed, "path_list");
  PathArrays a;
  const int cap = src->count < 1 ? 1 : src->count;
  if (!a.allocate(cap, src->axes != nullptr)) return geoFail(kGeoFailed, "path_list");
  int k = 0;
  for (int i = 0; i < src->count; ++i) {
    if (pathListClass(src, i) == kPathClassMarked) continue;
    pathCopyPoint(a, k++, src, i);
  }
  PathArrays old = pathTake(dst);
  old.release();
  pathPut(dst, a);
  dst->count = k;
  dst->capacity = cap;
  dst->sense = src->sense;
  return 1;
}

void pathListReverse(PathList* list) {
  if (list == nullptr) return;
  for (int i = 0, j = list->count - 1; i < j; ++i, --j) {
    std::swap(list->positions[i], list->positions[j]);
    std::swap(list->params[i], list->params[j]);
    std::swap(list->codes[i], list->codes[j]);
    if (list->axes != nullptr) {
      std::swap(list->axes[i], list->axes[j]);
      std::swap(list->axisSet[i], list->axisSet[j]);
    }
  }
  list->sense = -list->sense;
}

// ---- inserting --------------------------------------------------------------------------------

int pathListInsert(PathList* list, double x, const Point3D& pos, int code, const Point3D* axis,
                   int axisSetByte) {
  if (list == nullptr) return geoFail(kGeoFailed, "path_list");
  if (list->axes != nullptr && axis == nullptr) return geoFail(kGeoBadArgument, "path_list");
  const bool falling = pathFalling(list);
  if (list->count >= list->capacity && !pathGrow(list)) return geoFail(kGeoFailed, "path_list");
  int i = list->count - 1;
  const double limit = x - kParamTol;
  while (i >= 0 && (falling ? !(list->params[i] > limit) : !(list->params[i] < limit))) --i;
  const int at = i + 1;
  pathShift(list, at, at + 1, list->count - at);
  list->positions[at] = pos;
  list->params[at] = x;
  std::uint16_t c = static_cast<std::uint16_t>(code & 0xFFFF);
  if ((c >> 8) == kPathClassGap) c = pathCode(kPathClassGap, 0);
  list->codes[at] = c;
  if (list->axes != nullptr) {
    list->axes[at] = *axis;
    list->axisSet[at] = static_cast<std::uint8_t>(axisSetByte);
  }
  ++list->count;
  return at;
}

// ---- looking up -------------------------------------------------------------------------------

int pathListFindParam(const PathList* list, double x, Point3D* outPos, Point3D* outAxis,
                      int* outHasAxis) {
  if (outHasAxis != nullptr) *outHasAxis = 0;
  if (list == nullptr || list->count <= 0) return -1;
  int hit = -1;
  const int cand = (pathState.lastHit + 1) % list->count;
  if (cand >= 0 && std::fabs(list->params[cand] - x) <= kParamTol) {
    hit = cand;
  } else {
    for (int i = list->count - 1; i >= 0; --i) {
      if (list->params[i] < x - kParamTol) break;
      if (std::fabs(list->params[i] - x) <= kParamTol) {
        hit = i;
        break;
      }
    }
  }
  pathState.lastHit = hit;
  if (hit < 0) return -1;
  if (outPos != nullptr) *outPos = list->positions[hit];
  if (list->axes != nullptr && list->axisSet != nullptr) {
    if (outAxis != nullptr) *outAxis = list->axes[hit];
    if (outHasAxis != nullptr) *outHasAxis = 1;
  }
  return hit;
}

int pathListInterpAt(const PathList* list, double x, Point3D* outPos) {
  return pathForward(list, x, outPos, true);
}

int pathListPosFwd(double x, const PathList* list, Point3D* outPos) {
  return pathForward(list, x, outPos, false);
}

int pathListPosBack(double x, const PathList* list, Point3D* outPos) {
  if (list == nullptr || list->count <= 0) return -1;
  if (list->count == 1) return pathForward(list, x, outPos, false);
  int r = list->count - 2;
  while (r >= 0 && !(list->params[r] < x + kParamTol)) --r;
  if (r < 0) return -1;
  Point3D p;
  if (std::fabs(x - list->params[r]) <= kParamTol) {
    p = list->positions[r];
  } else {
    const double den = list->params[r + 1] - list->params[r];
    if (den == 0.0) return -1;  // a repeated parameter leaves no direction to extrapolate along
    p = pathLerp(list->positions[r], list->positions[r + 1], (x - list->params[r]) / den);
  }
  if (outPos != nullptr) *outPos = p;
  return r;
}

int pathListPosAt(const PathList* list, double x, Point3D* outPos) {
  if (list == nullptr || list->count <= 0) return -1;
  const double first = list->params[0], last = list->params[list->count - 1];
  if (last - x < x - first) return pathListPosBack(x, list, outPos);
  return pathListPosFwd(x, list, outPos);
}

int pathListAxisAt(const PathList* list, double x, Point3D* outPos, Point3D* outAxis) {
  if (list == nullptr || list->axes == nullptr) return -1;
  Point3D pos;
  const int i = pathListInterpAt(list, x, &pos);
  if (i < 0) return -1;
  Point3D axis = list->axes[i];
  if (i + 1 < list->count && std::fabs(x - list->params[i]) > kParamTol) {
    const double pa = list->params[i], pb = list->params[i + 1];
    const Point3D& a = list->axes[i];
    const Point3D& b = list->axes[i + 1];
    const double angle = vecAcosClamped(a.x * b.x + a.y * b.y + a.z * b.z);
    axisTurnToward(&axis, a, b, (x - pa) / (pb - pa) * angle);
  }
  if (outPos != nullptr) *outPos = pos;
  if (outAxis != nullptr) *outAxis = axis;
  return 1;
}

int pathListSplitAt(PathList* list, double x, double tol) {
  pathState.lastSplit = -1;
  if (list == nullptr || list->count < 2) return -1;
  const bool falling = pathFalling(list);
  const double limit = x - kParamTol;
  int i = 1;
  while (i < list->count && !(falling ? list->params[i] < limit : list->params[i] > limit)) ++i;
  if (i >= list->count) return -1;
  const double p0 = list->params[i - 1], p1 = list->params[i];
  if (std::fabs(p1 - p0) < kParamTol) return -1;
  if (std::fabs(x - p0) < tol) {
    pathState.lastSplit = i - 1;
    return 0;
  }
  if (std::fabs(p1 - x) < tol) {
    pathState.lastSplit = i;
    return 0;
  }
  const Point3D pos = pathLerp(list->positions[i - 1], list->positions[i], (x - p0) / (p1 - p0));
  const int code = (pathListClass(list, 0) << 8) + kPathKindMade;
  const Point3D axis = list->axes != nullptr ? list->axes[i - 1] : Point3D{0.0, 0.0, 1.0};
  const int at = pathListInsert(list, x, pos, code, &axis, 1);
  if (at < 0) return -1;
  pathState.lastSplit = at;
  return 1;
}

int pathListLastSplit() { return pathState.lastSplit; }

int pathListNeighbours(const PathList* list, int i, int* outPrev, int* outNext) {
  if (!pathIndexIn(list, i) || outPrev == nullptr || outNext == nullptr)
    return geoFail(kGeoBadArgument, "path_list");
  auto usable = [list](int k) {
    const int c = pathListClass(list, k);
    return c != kPathClassMarked && c != kPathClassThinMark;
  };
  int p = i - 1;
  while (p >= 0 && !usable(p)) --p;
  if (p < 0) return -1;
  *outPrev = p;
  int q = i + 1;
  while (q < list->count && !usable(q)) ++q;
  if (q >= list->count) return -1;
  *outNext = q;
  return 0;
}

int pathListClassDiffers(const PathList* list, int i, int j) {
  if (!pathIndexIn(list, i) || !pathIndexIn(list, j)) return 0;
  const int ci = pathListClass(list, i), cj = pathListClass(list, j);
  if ((ci == kPathClassGap) != (cj == kPathClassGap)) return 1;
  if ((ci == kPathClassOutside) != (cj == kPathClassOutside)) return 1;
  return 0;
}

int pathListIsRunEnd(const PathList* list, int i) {
  if (list == nullptr) return 1;
  if (i >= 0 && i < list->count - 1 && pathListClass(list, i + 1) != kPathClassGap) return 0;
  return 1;
}

double pathListLength(const PathList* list) {
  if (list == nullptr) return 0.0;
  double sum = 0.0;
  for (int i = 1; i < list->count; ++i) {
    if (pathListClass(list, i - 1) == kPathClassGap || pathListClass(list, i) == kPathClassGap) {
      continue;
    }
    sum += vecDistance(list->positions[i - 1], list->positions[i]);
  }
  return sum;
}

// ---- editing ----------------------------------------------------------------------------------

void pathListParamByLength(PathList* list) {
  if (list == nullptr || list->count <= 0) return;
  list->params[0] = 0.0;
  for (int i = 1; i < list->count; ++i) {
    list->params[i] = list->params[i - 1] + vecDistance(list->positions[i - 1], list->positions[i]);
  }
}

int pathListDensify(PathList* list, double step) { return pathDensifyImpl(list, step); }

int pathListDensifyAxes(PathList* list, double step) { return pathDensifyImpl(list, step); }

void pathListShiftStart(PathList* list, int n) {
  if (list == nullptr || n <= 0 || n >= list->count) return;
  const int m = list->count;
  if (vecDistance(list->positions[0], list->positions[m - 1]) >= kClosedTol) {
    pathShift(list, n, 0, m - n);
    list->count = m - n;
    return;
  }
  // n single rotations of a closed list give p[n] .. p[m-1], p[1] .. p[n]: rotate p[1..m-1]
  // left by n - 1 places, then repeat the new first point at the end.
  const int len = m - 1;  // p[0] repeats p[m-1] and is dropped
  const int k = n - 1;
  auto rotate = [&](auto* arr) {
    using T = std::remove_pointer_t<decltype(arr)>;
    geoRotateArray(arr + 1, arr + 1 + k, arr + 1 + len, sizeof(T));  // p[1..len]: p[n..], p[1..n-1]
    std::memmove(arr, arr + 1, static_cast<std::size_t>(len) * sizeof(T));
    arr[len] = arr[0];
  };
  rotate(list->positions);
  rotate(list->params);
  rotate(list->codes);
  if (list->axes != nullptr) {
    rotate(list->axes);
    rotate(list->axisSet);
  }
}

void pathListDeleteMarked(PathList* list) {
  if (list == nullptr) return;
  pathCompact(list, [list](int i) { return pathListClass(list, i) == kPathClassMarked; });
}

int pathListCutRange(PathList* list, int from, int to) {
  if (list == nullptr) return geoFail(kGeoBadArgument, "path_list");
  if (to < from) return 0;
  if (from < 0 || to >= list->count) return geoFail(kGeoBadArgument, "path_list");
  pathShift(list, to + 1, from, list->count - to - 1);
  list->count -= to - from + 1;
  return 1;
}

void pathListDeleteRange(PathList* list, int a, int b) {
  if (list == nullptr) return;
  if (a < 0) a = 0;
  if (b > list->count - 1) b = list->count - 1;
  if (b < a) return;
  pathListCutRange(list, a, b);
}

void pathListClearMarks(PathList* list) {
  if (list == nullptr) return;
  pathRecolour(list, kPathClassMarked, 0);
}

void pathListMarkCollinear(PathList* list, double maxChord, double maxDev) {
  if (list == nullptr) return;
  auto cls = [list](int k) { return pathListClass(list, k); };
  auto reduced = [list](int k) { return pathListKind(list, k) == kPathKindReducedFeed; };
  for (int i = 1; i <= list->count - 2; ++i) {
    if (cls(i) == kPathClassGap || cls(i) == kPathClassHolder) continue;
    int p = 0, q = 0;
    if (pathListNeighbours(list, i, &p, &q) != 0) return;
    if (cls(p) == kPathClassGap || cls(p) == kPathClassHolder || cls(q) == kPathClassGap ||
        cls(q) == kPathClassHolder) {
      continue;
    }
    if (!((reduced(p) && reduced(i) && reduced(q)) ||
          (!reduced(p) && !reduced(i) && !reduced(q)))) {
      continue;
    }
    const Point3D& pp = list->positions[p];
    const Point3D chord{list->positions[q].x - pp.x, list->positions[q].y - pp.y,
                        list->positions[q].z - pp.z};
    const double chordLen = vecLength(chord);
    if (chordLen > maxChord) continue;
    if (p < i - 1 && cls(i - 1) == kPathClassThinMark) continue;
    if (q > i + 1 && cls(i + 1) == kPathClassThinMark) continue;
    if (chordLen < kShortMove) {
      pathListSetClass(list, i, kPathClassMarked);
      continue;
    }
    const Point3D c{chord.x / chordLen, chord.y / chordLen, chord.z / chordLen};
    bool straight = true;
    for (int k = p + 1; k < q && straight; ++k) {
      const Point3D w{list->positions[k].x - pp.x, list->positions[k].y - pp.y,
                      list->positions[k].z - pp.z};
      if (vecCrossLength(w, c) > maxDev) straight = false;
      const double wl = vecLength(w);
      if (wl >= kShortMove && std::fabs((w.x * c.x + w.y * c.y + w.z * c.z) / wl) < 0.5) {
        straight = false;
      }
    }
    if (!straight) continue;
    if (pathState.randomKeep != 0 && pathRandomKeepsPoint()) continue;
    pathListSetClass(list, i, kPathClassMarked);
    if (list->axisSet != nullptr) list->axisSet[i] = 0;
  }
}

void pathListThin(PathList* list, double maxChord, double maxDev) {
  if (list == nullptr || list->count < 2) return;
  pathListClearMarks(list);
  pathListMarkCollinear(list, maxChord, 1e-6);
  pathRecolour(list, kPathClassMarked, kPathClassThinMark);
  pathListMarkCollinear(list, maxChord, maxDev);
  pathRecolour(list, kPathClassThinMark, kPathClassMarked);
}

namespace {
bool pathIsGap(const PathList* l, int i) { return pathListClass(l, i) == kPathClassGap; }

void pathFilterRising(PathList* l) {
  double top = 0.0;
  bool inRun = false;
  for (int i = 0; i < l->count; ++i) {
    if (pathIsGap(l, i)) {
      inRun = false;
      continue;
    }
    if (!inRun || l->positions[i].z > top) top = l->positions[i].z;
    inRun = true;
    l->positions[i].z = top;
  }
  int f = 0;
  while (f < l->count && (pathIsGap(l, f) || pathListClass(l, f) == kPathClassMarked)) ++f;
  int g = f + 1;
  while (g < l->count && !pathIsGap(l, g)) ++g;
  for (int i = g + 1; i < l->count; ++i) pathListSetClass(l, i, kPathClassGap);
}

void pathFilterClimbs(PathList* l) {
  const int n = l->count;
  int c = 0;
  for (int i = 0; i < n; ++i) {
    if (pathIsGap(l, i)) continue;
    ++c;
    if ((i == n - 1 || pathIsGap(l, i + 1)) && c == 1) {
      pathListSetClass(l, i, kPathClassGap);
      c = 0;
    } else if (i + 1 < n && l->positions[i + 1].z > l->positions[i].z + kShortMove) {
      pathListSetClass(l, i, kPathClassFilterMark);
      c = 0;
    }
  }
  // Runs of climbing marks that rise less than 1 in total are kept as cuts. A run that starts at
  // the first point is never kept: the climb out of the start stays a gap.
  int i = 0;
  while (i < n && pathListClass(l, i) == kPathClassFilterMark) ++i;
  while (i < n - 1) {
    if (pathListClass(l, i) != kPathClassFilterMark) {
      ++i;
      continue;
    }
    int e = i;
    while (e < n && pathListClass(l, e) == kPathClassFilterMark) ++e;
    const int stop = e < n ? e : n - 2;
    double rise = 0.0;
    for (int k = i; k <= stop; ++k) rise += std::fabs(l->positions[k].z - l->positions[k - 1].z);
    if (rise < 1.0) {
      for (int k = i; k < e; ++k) pathListSetClass(l, k, 0);
    }
    i = e;
  }
  // Runs of plain points shorter than 1 become marks too.
  for (int i = 0; i < n;) {
    const int ci = pathListClass(l, i);
    if (ci == kPathClassGap || ci == kPathClassFilterMark) {
      ++i;
      continue;
    }
    int e = i + 1;
    double len = 0.0;
    while (e < n && pathListClass(l, e) != kPathClassGap &&
           pathListClass(l, e) != kPathClassFilterMark) {
      len += vecDistance(l->positions[e - 1], l->positions[e]);
      ++e;
    }
    if (len < 1.0) {
      for (int k = i; k < e; ++k) pathListSetClass(l, k, kPathClassFilterMark);
    }
    i = e;
  }
  pathRecolour(l, kPathClassFilterMark, kPathClassGap);
}
}  // namespace

void pathListFilterZ(PathList* list, int mode) {
  if (list == nullptr) return;
  if (mode == 2) pathFilterRising(list);
  if (mode == 3) pathFilterClimbs(list);
}
