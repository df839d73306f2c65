// zpath.cpp - Z-path records and lists: the append rule that merges collinear runs of equal
// contacts, the measures of a path, the contour constructors and the list operations.
// Points are single precision to halve the memory of large levels; every computation widens them
// (to extended precision for the measures that need it).
#include "zlevel/zpath.h"

#include <algorithm>
#include <cfloat>
#include <climits>
#include <cmath>
#include <cstring>
#include <new>
#include <vector>

#include "framework/memory.h"
#include "geometry/geo_error.h"
#include "geometry/kont2d.h"
#include "geometry/plane_geo.h"
#include "model/coll_candidates.h"

namespace {

constexpr const char* kModule = "zpath";
constexpr int kMinRoom = 3;
constexpr long double kMergeCross = 1e-4;  // |cross| below which the new point continues A-B
constexpr double kDuplicateTol = 1e-6;     // points closer in x and y are repeats
constexpr double kScaleUnity = 0.00001;    // factors this close to 1 leave a path alone
constexpr double kVertexHitSq = 1e-12;     // a point this close to a vertex lies on the path
constexpr int kHullMinPoints = 32;         // smaller paths compare all pairs at once
constexpr double kHullMargin = 1e-9;       // diameters this close below size are re-checked

struct ZpathState {
  double mergeLength = kZpathMergeLengthDefault;
};
ZpathState zpathState;

constexpr float kNoContact[3] = {0.0f, 0.0f, 0.0f};

double px(const ZPath* p, int i) { return static_cast<double>(p->points[2 * i]); }
double py(const ZPath* p, int i) { return static_cast<double>(p->points[2 * i + 1]); }

// Clears every field and sets the creation values; capacity and arrays are the caller's.
void zpathSetFresh(ZPath* path) {
  path->count = 0;
  path->xmin = path->ymin = DBL_MAX;
  path->xmax = path->ymax = -DBL_MAX;
  path->groupStartX = path->groupStartY = DBL_MAX;
  path->subGroupStartX = path->subGroupStartY = DBL_MAX;
  path->z = DBL_MAX;
  path->area = 0.0;
  path->closed = path->orientation = path->materialInside = INT_MAX;
  path->nestingDepth = path->groupId = path->subGroupId = INT_MAX;
  path->flags = 0;
}

void zpathReleaseArrays(ZPath* path) {
  memFree(path->points);
  memFree(path->contacts);
  memFree(path->elementIds);
  memFree(path->contactKinds);
  path->points = nullptr;
  path->contacts = nullptr;
  path->elementIds = nullptr;
  path->contactKinds = nullptr;
}

// Sets path to a fresh empty path with room for n points (below 3 becomes 3). Returns false with
// nothing held when memory runs out.
bool zpathInit(ZPath* path, int n) {
  const int room = n < kMinRoom ? kMinRoom : n;
  const auto m = static_cast<std::size_t>(room);
  std::memset(path, 0, sizeof *path);
  path->points = static_cast<float*>(memAllocZero(m * 2 * sizeof(float)));
  path->contacts = static_cast<float*>(memAllocZero(m * 3 * sizeof(float)));
  path->elementIds = static_cast<std::int32_t*>(memAllocZero(m * sizeof(std::int32_t)));
  path->contactKinds = static_cast<std::int32_t*>(memAllocZero(m * sizeof(std::int32_t)));
  if (path->points == nullptr || path->contacts == nullptr || path->elementIds == nullptr ||
      path->contactKinds == nullptr) {
    zpathReleaseArrays(path);
    return false;
  }
  path->capacity = room;
  zpathSetFresh(path);
  return true;
}

template <class T>
bool zpathGrowArray(T** array, std::size_t n) {
  void* p = memRealloc(*array, n * sizeof(T));
  if (p == nullptr) return false;
  *array = static_cast<T*>(p);
  return true;
}

// Room for one more point: max(floor(1.5 c), c + 1, 3) entries. Each array is reallocated in
// turn; when one fails the capacity stays, so the path is as it was (arrays already grown only
// have more room). A path read from a file has capacity = count, and floor(1.5 c) alone stays at
// 1 or 0 for the smallest ones.
bool zpathMakeRoom(ZPath* path) {
  if (path->count < path->capacity && path->points != nullptr) return true;
  const long long c = path->capacity;
  const long long next = std::max({c + c / 2, c + 1, static_cast<long long>(kMinRoom)});
  if (next > INT_MAX / 3) return false;
  const auto n = static_cast<std::size_t>(next);
  if (!zpathGrowArray(&path->points, 2 * n) || !zpathGrowArray(&path->contacts, 3 * n) ||
      !zpathGrowArray(&path->elementIds, n) || !zpathGrowArray(&path->contactKinds, n)) {
    return false;
  }
  path->capacity = static_cast<std::int32_t>(next);
  return true;
}

void zpathWiden(ZPath* path, float x, float y) {
  path->xmin = std::fmin(path->xmin, static_cast<double>(x));
  path->ymin = std::fmin(path->ymin, static_cast<double>(y));
  path->xmax = std::fmax(path->xmax, static_cast<double>(x));
  path->ymax = std::fmax(path->ymax, static_cast<double>(y));
}

void zpathStore(ZPath* path, int i, const float* point, const float* contact, int id, int kind) {
  path->points[2 * i] = point[0];
  path->points[2 * i + 1] = point[1];
  for (int k = 0; k < 3; ++k) path->contacts[3 * i + k] = contact[k];
  path->elementIds[i] = id;
  path->contactKinds[i] = kind;
}

// Whether the last point B is dropped before P is appended (the append rule).
bool zpathMergesLast(const ZPath* path, float x, float y, int id, int kind) {
  const int n = path->count;
  const float ax = path->points[2 * (n - 2)], ay = path->points[2 * (n - 2) + 1];
  const float bx = path->points[2 * (n - 1)], by = path->points[2 * (n - 1) + 1];
  const auto dx = static_cast<long double>(static_cast<float>(ax - x));
  const long double ady = static_cast<long double>(ay) - y;
  const long double cross =
      (static_cast<long double>(by) - y) * dx - (static_cast<long double>(bx) - x) * ady;
  if (!(std::fabs(cross) < kMergeCross)) return false;
  const auto len = static_cast<long double>(zpathState.mergeLength);
  if (!(len * len > dx * dx + ady * ady)) return false;
  const int idB = path->elementIds[n - 1];
  if (!(static_cast<long long>(path->contactKinds[n - 1]) * kind > 0)) return false;
  if (!(static_cast<double>(idB) * static_cast<double>(id) >= 0.0)) return false;
  return collCtxFlagged() == 0 || idB == id;
}

// Half the shoelace sum in extended precision, whatever closed and orientation say.
long double zpathShoelace(const ZPath* path) {
  const int n = path->count;
  long double sum = 0.0L;
  for (int i = 0; i < n; ++i) {
    const int next = i + 1 < n ? i + 1 : 0;
    const int prev = i > 0 ? i - 1 : n - 1;
    sum += static_cast<long double>(path->points[2 * i]) *
           (static_cast<long double>(path->points[2 * next + 1]) - path->points[2 * prev + 1]);
  }
  return sum / 2.0L;
}

bool zpathHasPoints(const ZPath* path) {
  return path != nullptr && path->count > 0 && path->points != nullptr;
}

// ---- size test ---------------------------------------------------------------------------------

// 1 or 0 when the box decides; -1 when the points must be compared.
int zpathSizeByBox(const ZPath* path, double size) {
  if (!zpathHasPoints(path)) return 0;
  if (path->xmax - path->xmin > size || path->ymax - path->ymin > size) return 1;
  return -1;
}

double zpathDistSq(const Point2D& a, const Point2D& b) {
  const double dx = a.x - b.x, dy = a.y - b.y;
  return dx * dx + dy * dy;
}

int zpathAllPairsExceed(const ZPath* path, double size) {
  const double limit = size * size;
  const int n = path->count;
  for (int i = 0; i < n; ++i) {
    const Point2D a{px(path, i), py(path, i)};
    for (int j = i + 1; j < n; ++j) {
      if (zpathDistSq(a, Point2D{px(path, j), py(path, j)}) > limit) return 1;
    }
  }
  return 0;
}

// Twice the signed area of (o, a, b) from differences, in extended precision.
long double zpathTurn(const Point2D& o, const Point2D& a, const Point2D& b) {
  const long double ax = static_cast<long double>(a.x) - o.x,
                    ay = static_cast<long double>(a.y) - o.y;
  const long double bx = static_cast<long double>(b.x) - o.x,
                    by = static_cast<long double>(b.y) - o.y;
  return ax * by - ay * bx;
}

// Counter-clockwise convex hull of the distinct points (monotone chain, collinear points left
// out).
std::vector<Point2D> zpathHull(const ZPath* path) {
  std::vector<Point2D> pts(static_cast<std::size_t>(path->count));
  for (int i = 0; i < path->count; ++i)
    pts[static_cast<std::size_t>(i)] = {px(path, i), py(path, i)};
  std::sort(pts.begin(), pts.end(), [](const Point2D& a, const Point2D& b) {
    return a.x < b.x || (a.x == b.x && a.y < b.y);
  });
  pts.erase(
      std::unique(pts.begin(), pts.end(),
                  [](const Point2D& a, const Point2D& b) { return a.x == b.x && a.y == b.y; }),
      pts.end());
  if (pts.size() < 3) return pts;
  std::vector<Point2D> hull(2 * pts.size());
  std::size_t k = 0;
  for (const Point2D& p : pts) {
    while (k >= 2 && zpathTurn(hull[k - 2], hull[k - 1], p) <= 0.0L) --k;
    hull[k++] = p;
  }
  const std::size_t lower = k + 1;
  for (std::size_t i = pts.size() - 1; i-- > 0;) {
    while (k >= lower && zpathTurn(hull[k - 2], hull[k - 1], pts[i]) <= 0.0L) --k;
    hull[k++] = pts[i];
  }
  hull.resize(k - 1);  // the last point repeats the first
  return hull;
}

// Largest squared distance between hull vertices by rotating calipers; each antipodal pair is
// also compared with the neighbours of its far vertex, which absorbs a rounded area comparison.
double zpathHullDiameterSq(const std::vector<Point2D>& h) {
  const std::size_t n = h.size();
  if (n < 2) return 0.0;
  if (n == 2) return zpathDistSq(h[0], h[1]);
  double best = 0.0;
  std::size_t j = 1;
  for (std::size_t i = 0; i < n; ++i) {
    const std::size_t ni = (i + 1) % n;
    for (std::size_t steps = 0; steps < n; ++steps) {
      const std::size_t nj = (j + 1) % n;
      if (!(std::fabs(zpathTurn(h[i], h[ni], h[nj])) > std::fabs(zpathTurn(h[i], h[ni], h[j]))))
        break;
      j = nj;
    }
    for (std::size_t near : {(j + n - 1) % n, j, (j + 1) % n}) {
      best = std::max({best, zpathDistSq(h[i], h[near]), zpathDistSq(h[ni], h[near])});
    }
  }
  return best;
}

// ---- list ---------------------------------------------------------------------------------------

// Room for one more path: max(floor(1.5 c), c + 1) records. False when memory runs out (the list
// unchanged).
bool zpathListReserve(ZPathList* list) {
  if (list->count < list->capacity && list->items != nullptr) return true;
  const long long c = list->capacity;
  const long long next = std::min<long long>(std::max(c + c / 2, c + 1), INT_MAX);
  return zpathListGrowTo(list, static_cast<int>(next)) == 1;
}

// Appends the segment starts of the contour as boundary points of the given kind. False when
// memory runs out.
bool zpathAppendContour(ZPath* path, const Kont2D* k, int kind) {
  for (int i = 0; i < k->count; ++i) {
    const float pt[2] = {static_cast<float>(k->segments[i].x1),
                         static_cast<float>(k->segments[i].y1)};
    if (zpathAppendPoint(path, pt, kNoContact, -2, kind) != 1) return false;
  }
  return true;
}

}  // namespace

// ---- one path ---------------------------------------------------------------------------------

ZPath* zpathNew(int n) {
  auto* path = static_cast<ZPath*>(memAllocZero(sizeof(ZPath)));
  if (path == nullptr) return nullptr;
  if (!zpathInit(path, n)) {
    memFree(path);
    return nullptr;
  }
  return path;
}

int zpathFree(ZPath* path) {
  if (path == nullptr) return 1;
  zpathReleaseArrays(path);
  memFree(path);
  return 1;
}

int zpathFreeArrays(ZPath* path) {
  if (path == nullptr) return 1;
  zpathReleaseArrays(path);
  path->count = 0;
  path->capacity = 0;
  return 1;
}

int zpathReset(ZPath* path) {
  if (path == nullptr) return 1;
  zpathSetFresh(path);
  return 1;
}

int zpathAppendPoint(ZPath* path, const float* point, const float* contact, int id, int kind) {
  if (path == nullptr || point == nullptr) return -1;
  const float pt[2] = {point[0], point[1]};  // the point may live in this path's arrays
  float con[3] = {0.0f, 0.0f, 0.0f};
  if (contact != nullptr) std::memcpy(con, contact, sizeof con);
  if (path->count >= 2 && path->points != nullptr && zpathMergesLast(path, pt[0], pt[1], id, kind))
    --path->count;
  if (!zpathMakeRoom(path)) return -1;
  zpathWiden(path, pt[0], pt[1]);
  zpathStore(path, path->count, pt, con, id, kind);
  ++path->count;
  return 1;
}

int zpathInsertPoint(ZPath* path, int index, const float* point, const float* contact, int id,
                     int kind) {
  if (path == nullptr || point == nullptr || index < 0 || index > path->count)
    return kZpathBadIndex;
  const float pt[2] = {point[0], point[1]};
  float con[3] = {0.0f, 0.0f, 0.0f};
  if (contact != nullptr) std::memcpy(con, contact, sizeof con);
  if (!zpathMakeRoom(path)) return -1;
  const auto later = static_cast<std::size_t>(path->count - index);
  if (later > 0) {
    std::memmove(path->points + 2 * (index + 1), path->points + 2 * index,
                 later * 2 * sizeof(float));
    std::memmove(path->contacts + 3 * (index + 1), path->contacts + 3 * index,
                 later * 3 * sizeof(float));
    std::memmove(path->elementIds + index + 1, path->elementIds + index,
                 later * sizeof(std::int32_t));
    std::memmove(path->contactKinds + index + 1, path->contactKinds + index,
                 later * sizeof(std::int32_t));
  }
  zpathWiden(path, pt[0], pt[1]);
  zpathStore(path, index, pt, con, id, kind);
  ++path->count;
  return 1;
}

int zpathRemoveDuplicatePoints(ZPath* path, int mode) {
  if (path == nullptr || (mode & 1) == 0) return 0;
  const int former = path->count;
  if (former <= 0 || path->points == nullptr) return former;
  int kept = 1;
  for (int i = 1; i < former; ++i) {
    const int last = kept - 1;
    if (std::fabs(px(path, i) - px(path, last)) > kDuplicateTol ||
        std::fabs(py(path, i) - py(path, last)) > kDuplicateTol) {
      if (i != kept) {
        path->points[2 * kept] = path->points[2 * i];
        path->points[2 * kept + 1] = path->points[2 * i + 1];
        std::memcpy(path->contacts + 3 * kept, path->contacts + 3 * i, 3 * sizeof(float));
        path->elementIds[kept] = path->elementIds[i];
        path->contactKinds[kept] = path->contactKinds[i];
      }
      ++kept;
    }
  }
  path->count = kept;
  return former;
}

void zpathSetMergeLength(double length) { zpathState.mergeLength = length; }
double zpathGetMergeLength() { return zpathState.mergeLength; }

ZPath* zpathSetFlags(ZPath* path, std::uint32_t bits) {
  if (path != nullptr) path->flags |= bits;
  return path;
}

int zpathHasFlag(const ZPath* path, std::uint32_t bits) {
  return path != nullptr && (path->flags & bits) != 0 ? 1 : 0;
}

double zpathArea(const ZPath* path) {
  if (path == nullptr || path->count < 3 || path->points == nullptr || path->closed == 0 ||
      path->orientation == 0) {
    return 0.0;
  }
  return static_cast<double>(zpathShoelace(path));
}

int zpathOrientation(const ZPath* path) {
  if (path == nullptr || path->count < 3 || path->points == nullptr) return 0;
  const int n = path->count;
  int pivot = 0;
  for (int i = 1; i < n; ++i) {
    if (py(path, i) < py(path, pivot) ||
        (py(path, i) == py(path, pivot) && px(path, i) > px(path, pivot)))
      pivot = i;
  }
  const int prev = pivot > 0 ? pivot - 1 : n - 1;
  const int next = pivot + 1 < n ? pivot + 1 : 0;
  const Point2D a{px(path, prev), py(path, prev)};
  const Point2D b{px(path, pivot), py(path, pivot)};
  const Point2D c{px(path, next), py(path, next)};
  // A straight or doubled-back turn at the pivot (a repeated point, a spike) says nothing about
  // the sense of travel; the area decides then.
  const long double turn = zpathTurn(a, b, c);
  if (turn != 0.0L) return turn > 0.0L ? 1 : -1;
  const long double area = zpathShoelace(path);
  return area > 0.0L ? 1 : (area < 0.0L ? -1 : 0);
}

int zpathContainsPoint(const Point2D& p, const ZPath* path) {
  if (path == nullptr || path->count < 3 || path->points == nullptr) return 0;
  if (p.x < path->xmin || p.x > path->xmax || p.y < path->ymin || p.y > path->ymax) return 0;
  bool inside = false;
  const int n = path->count;
  for (int i = 0, j = n - 1; i < n; j = i++) {
    const double xi = px(path, i), yi = py(path, i), xj = px(path, j), yj = py(path, j);
    const bool aj = yj >= p.y, ai = yi >= p.y;
    if (aj != ai && ai == ((xi - p.x) * (yj - yi) <= (xj - xi) * (yi - p.y))) inside = !inside;
  }
  return inside ? 1 : 0;
}

int zpathContactInside(const ZPath* path) {
  if (path == nullptr || path->closed != 1 || path->count < 3 || path->points == nullptr) return 0;
  for (int i = 0; i < path->count; ++i) {
    const int kind = std::abs(path->contactKinds[i]);
    if (path->elementIds[i] < 0 || kind < 1 || kind > 4) continue;
    const Point2D c{static_cast<double>(path->contacts[3 * i]),
                    static_cast<double>(path->contacts[3 * i + 1])};
    if (zpathContainsPoint(c, path) == 1) return 1;
  }
  return 0;
}

int zpathExceedsSizePlain(const ZPath* path, double size) {
  const int byBox = zpathSizeByBox(path, size);
  return byBox >= 0 ? byBox : zpathAllPairsExceed(path, size);
}

int zpathExceedsSize(const ZPath* path, double size) {
  const int byBox = zpathSizeByBox(path, size);
  if (byBox >= 0) return byBox;
  if (path->count < kHullMinPoints) return zpathAllPairsExceed(path, size);
  double diameterSq = 0.0;
  try {
    diameterSq = zpathHullDiameterSq(zpathHull(path));
  } catch (const std::bad_alloc&) {
    return zpathAllPairsExceed(path, size);
  }
  // Every hull pair is a pair of points, so a diameter beyond size is a real answer; one just
  // below it could hide a point the rounded hull left out, and is settled by all pairs.
  const double limit = size * size;
  if (diameterSq > limit) return 1;
  if (diameterSq > limit * (1.0 - kHullMargin)) return zpathAllPairsExceed(path, size);
  return 0;
}

double zpathPointDistance(const Point2D& p, const ZPath* path) {
  if (!zpathHasPoints(path)) return DBL_MAX;
  const int n = path->count;
  double best = DBL_MAX;
  for (int i = 0; i < n; ++i) {
    const double d2 = zpathDistSq(p, Point2D{px(path, i), py(path, i)});
    if (d2 < kVertexHitSq) return 0.0;
    best = std::fmin(best, std::sqrt(d2));
  }
  const int edges = path->closed != 0 ? n : n - 1;
  for (int i = 0; i < edges; ++i) {
    const int j = i + 1 < n ? i + 1 : 0;
    const Seg2D seg{px(path, i), py(path, i), px(path, j), py(path, j)};
    Point2D foot{};
    if (geoFootOnSeg(p, seg, &foot) == 1) best = std::fmin(best, geoDistToLine(p, seg));
  }
  return best;
}

int zpathScale(ZPath* path, double factor) {
  if (!zpathHasPoints(path) || std::fabs(factor - 1.0) < kScaleUnity) return 0;
  const auto scaled = [factor](double v) { return v == DBL_MAX || v == -DBL_MAX ? v : v * factor; };
  double* fields[] = {&path->xmin,           &path->ymin,           &path->xmax,
                      &path->ymax,           &path->groupStartX,    &path->groupStartY,
                      &path->subGroupStartX, &path->subGroupStartY, &path->z};
  for (double* f : fields) *f = scaled(*f);
  if (factor < 0.0) {  // a mirrored box keeps min below max
    std::swap(path->xmin, path->xmax);
    std::swap(path->ymin, path->ymax);
  }
  path->area *= factor * factor;
  const auto f = static_cast<float>(factor);
  for (int i = 0; i < 2 * path->count; ++i) path->points[i] *= f;
  for (int i = 0; i < 3 * path->count; ++i) path->contacts[i] *= f;
  return 1;
}

// ---- contour constructors ---------------------------------------------------------------------

ZPath* zpathFromContour(const Kont2D* contour) {
  if (contour == nullptr || contour->count < 3 || contour->segments == nullptr) return nullptr;
  ZPath* path = zpathNew(contour->count);
  if (path == nullptr || !zpathAppendContour(path, contour, -1)) {
    zpathFree(path);
    geoFail(kGeoFailed, kModule);
    return nullptr;
  }
  path->z = contour->z;
  path->closed = 1;
  path->materialInside = 0;
  path->nestingDepth = -1;
  path->flags |= ZP_FROM_CONTOUR;
  path->area = zpathArea(path);
  path->orientation = zpathOrientation(path);
  return path;
}

ZPath* zpathFromBox(const Point2D* a, const Point2D* b) {
  if (a == nullptr || b == nullptr) return nullptr;
  ZPath* path = zpathNew(4);
  if (path == nullptr) return nullptr;
  const float corners[4][2] = {{static_cast<float>(a->x), static_cast<float>(a->y)},
                               {static_cast<float>(b->x), static_cast<float>(a->y)},
                               {static_cast<float>(b->x), static_cast<float>(b->y)},
                               {static_cast<float>(a->x), static_cast<float>(b->y)}};
  for (const auto& c : corners) {
    if (zpathAppendPoint(path, c, kNoContact, -2, -1) != 1) {
      zpathFree(path);
      return nullptr;
    }
  }
  path->z = -DBL_MAX;
  path->closed = 1;
  path->materialInside = 0;
  path->nestingDepth = -1;
  path->flags |= ZP_FRAME_BOX;
  path->area = zpathArea(path);
  path->orientation = zpathOrientation(path);
  return path;
}

// ---- list ---------------------------------------------------------------------------------------

ZPathList* zpathListNew(int n) {
  const int room = n < kMinRoom ? kMinRoom : n;
  if (room > INT_MAX / 2) return nullptr;
  auto* list = static_cast<ZPathList*>(memAllocZero(sizeof(ZPathList)));
  if (list == nullptr) {
    geoFail(kGeoFailed, kModule);
    return nullptr;
  }
  list->items = static_cast<ZPath*>(memAllocZero(sizeof(ZPath) * static_cast<std::size_t>(room)));
  if (list->items == nullptr) {
    memFree(list);
    geoFail(kGeoFailed, kModule);
    return nullptr;
  }
  list->capacity = room;
  return list;
}

int zpathListGrowTo(ZPathList* list, int capacity) {
  if (list == nullptr || capacity > INT_MAX / 2) return -1;
  if (capacity <= list->capacity && list->items != nullptr) return 1;
  auto* items = static_cast<ZPath*>(
      memRealloc(list->items, sizeof(ZPath) * static_cast<std::size_t>(capacity)));
  if (items == nullptr) return -1;
  list->items = items;
  list->capacity = capacity;
  return 1;
}

int zpathListFree(ZPathList* list) {
  if (list == nullptr) return 1;
  for (int i = 0; i < list->count && list->items != nullptr; ++i)
    zpathReleaseArrays(&list->items[i]);
  memFree(list->items);
  memFree(list);
  return 1;
}

int zpathListAdd(ZPathList* list, const ZPath* path) {
  if (path == nullptr) return 0;
  if (list == nullptr || !zpathListReserve(list)) return -1;
  ZPath copy;
  if (!zpathInit(&copy, path->count)) return -1;
  copy.xmin = path->xmin;
  copy.ymin = path->ymin;
  copy.xmax = path->xmax;
  copy.ymax = path->ymax;
  copy.groupStartX = path->groupStartX;
  copy.groupStartY = path->groupStartY;
  copy.subGroupStartX = path->subGroupStartX;
  copy.subGroupStartY = path->subGroupStartY;
  copy.z = path->z;
  copy.area = path->area;
  copy.orientation = path->orientation;
  copy.closed = path->closed;
  copy.nestingDepth = path->nestingDepth;
  copy.materialInside = path->materialInside;
  copy.groupId = path->groupId;
  copy.subGroupId = path->subGroupId;
  copy.flags = path->flags;
  for (int i = 0; zpathHasPoints(path) && i < path->count; ++i) {
    // Room for count points was made, so the append rule never has to grow the copy.
    zpathAppendPoint(&copy, path->points + 2 * i, path->contacts + 3 * i, path->elementIds[i],
                     path->contactKinds[i]);
  }
  list->items[list->count++] = copy;
  return 1;
}

int zpathListRemove(ZPathList* list, int index) {
  if (list == nullptr || list->items == nullptr || list->count <= 0) return 0;
  if (index < 0 || index >= list->count) return 0;
  zpathReleaseArrays(&list->items[index]);
  const int later = list->count - index - 1;
  if (later > 0)
    std::memmove(&list->items[index], &list->items[index + 1],
                 sizeof(ZPath) * static_cast<std::size_t>(later));
  --list->count;
  std::memset(&list->items[list->count], 0, sizeof(ZPath));
  return 1;
}

int zpathListClear(ZPathList* list) {
  if (list == nullptr) return 0;
  while (list->count > 0) zpathListRemove(list, list->count - 1);
  return 1;
}

int zpathListFromContours(ZPathList* list, const Kont2D* region) {
  if (list == nullptr || region == nullptr || region->count <= 0 || region->segments == nullptr)
    return 0;
  const int before = list->count;
  ZPath* work = zpathNew(region->count);
  bool ok = work != nullptr;
  for (const Kont2D* k = region; ok && k != nullptr; k = kontWalkNext(region, k)) {
    if (k->count <= 0 || k->segments == nullptr) continue;
    const bool outer = k == region;
    zpathReset(work);
    ok = zpathAppendContour(work, k, outer ? -1 : 0);
    if (!ok) break;
    work->z = k->z;
    work->closed = 1;
    work->materialInside = outer ? 1 : 0;
    work->nestingDepth = outer ? 0 : 1;
    work->flags = ZP_FROM_CONTOUR;
    work->orientation = zpathOrientation(work);
    work->area = zpathArea(work);
    ok = zpathListAdd(list, work) == 1;
  }
  zpathFree(work);
  if (ok) return 1;
  while (list->count > before) zpathListRemove(list, list->count - 1);
  return geoFail(kGeoFailed, kModule);
}

void zpathResetState() { zpathState = ZpathState{}; }
