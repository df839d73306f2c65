// kont2d.cpp - planar regions: closed contours with their box, construction, growth and release,
// the module switches, point-in-contour tests and the boundary text file writers.
// Slicing and pocketing pass every 2D region through here, so this module owns the contour memory.
#include "geometry/kont2d.h"

#include <cfloat>
#include <charconv>
#include <climits>
#include <cmath>
#include <cstdio>
#include <cstring>

#include "framework/memory.h"
#include "geometry/csys.h"
#include "geometry/geo_error.h"
#include "geometry/plane_geo.h"

namespace {
constexpr double kFreshBox = 1e10;  // box of a new contour, inverted until the first append
constexpr double kGapTol = 1e-6;    // a segment starting farther from the last end opens a block
constexpr double kBandZero = 1e-12;

struct KontState {
  int noRound = 0;
  int skipCheck = 0;
  int bndBlock = 1;    // next block number of kontAppendBnd
  int bndWzBlock = 1;  // next block number of kontAppendBndWz
};
KontState kontState;

void kontWiden(Kont2D* k, double x, double y) {
  k->xmin = std::fmin(k->xmin, x);
  k->ymin = std::fmin(k->ymin, y);
  k->xmax = std::fmax(k->xmax, x);
  k->ymax = std::fmax(k->ymax, y);
}

// Frees what one record owns and the record; the links are the caller's business.
void kontFreeOne(Kont2D* k) {
  if (k->ownsSegments) memFree(k->segments);
  if ((k->flags & kKontOwnsExtra) != 0) lstIntFree(k->extra);
  memFree(k);
}

// Crossing parity over the start points of the contour's segments.
int kontParity(const Point2D& p, const Kont2D* k) {
  const Seg2D* s = k->segments;
  const int n = k->count;
  int inside = 0;
  double xi = s[n - 1].x1, yi = s[n - 1].y1;
  bool fi = yi >= p.y;
  for (int j = 0; j < n; ++j) {
    const double xj = s[j].x1, yj = s[j].y1;
    const bool fj = yj >= p.y;
    if (fi != fj && (((xj - p.x) * (yi - yj) <= (xi - xj) * (yj - p.y)) == fj)) inside ^= 1;
    xi = xj;
    yi = yj;
    fi = fj;
  }
  return inside;
}

template <typename Test>
int kontAnySegment(const Kont2D* region, Test test) {
  if (region == nullptr) return 0;
  for (const Kont2D* k = region; k != nullptr; k = kontWalkNext(region, k)) {
    if (k->segments == nullptr) continue;
    for (int i = 0; i < k->count; ++i)
      if (test(k->segments[i]) == 1) return 1;
  }
  return 0;
}

// ---- writers ----------------------------------------------------------------------------------

// Writes "X%lf Y%lf Z%lf\n" in the "C" locale, whatever locale the host set.
void kontWritePoint(std::FILE* f, double x, double y, double z) {
  char line[1100];
  char* p = line;
  char* const end = line + sizeof line - 2;
  const char letters[3] = {'X', 'Y', 'Z'};
  const double values[3] = {x, y, z};
  for (int i = 0; i < 3; ++i) {
    if (i > 0) *p++ = ' ';
    *p++ = letters[i];
    const auto res = std::to_chars(p, end, values[i], std::chars_format::fixed, 6);
    p = res.ec == std::errc{} ? res.ptr : p;
  }
  *p++ = '\n';
  std::fwrite(line, 1, static_cast<std::size_t>(p - line), f);
}

void kontWritePointMapped(std::FILE* f, double x, double y, double z, bool toWorld) {
  Point3D q{x, y, z};
  if (toWorld) csysToolToWorld(&q);
  kontWritePoint(f, q.x, q.y, q.z);
}

void kontWriteHeader(std::FILE* f, int* counter, bool wz) {
  std::fprintf(f, wz ? "**BND %d **WZ\n" : "**BND %d\n", *counter);
  if (*counter < INT_MAX) ++*counter;
}

// One contour as blocks; a gap between segments closes the block and opens the next.
void kontWriteContour(std::FILE* f, const Kont2D* k, int* counter, bool wz) {
  const Seg2D* s = k->segments;
  kontWriteHeader(f, counter, wz);
  kontWritePointMapped(f, s[0].x1, s[0].y1, k->z, !wz);
  for (int i = 1; i < k->count; ++i) {
    if (geoDist2D(g2dSegStart(s[i]), g2dSegEnd(s[i - 1])) > kGapTol) {
      kontWritePointMapped(f, s[i - 1].x2, s[i - 1].y2, k->z, !wz);
      std::fputs("**END\n", f);
      kontWriteHeader(f, counter, wz);
    }
    kontWritePointMapped(f, s[i].x1, s[i].y1, k->z, !wz);
  }
  kontWritePointMapped(f, s[k->count - 1].x2, s[k->count - 1].y2, k->z, !wz);
  std::fputs("**END\n", f);
}

bool kontHasSegments(const Kont2D* list) {
  for (const Kont2D* r = list; r != nullptr; r = r->next)
    for (const Kont2D* k = r; k != nullptr; k = kontWalkNext(r, k))
      if (k->count > 0 && k->segments != nullptr) return true;
  return false;
}

int kontAppendBlocks(const Kont2D* list, const char* fileName, int* counter, bool wz) {
  if (!kontHasSegments(list)) return 0;
  if (fileName == nullptr || fileName[0] == '\0') return geoFail(kGeoFailed, "kont2d");
  std::FILE* f = std::fopen(fileName, "a+");
  if (f == nullptr) return geoFail(kGeoFailed, "kont2d");
  for (const Kont2D* r = list; r != nullptr; r = r->next)
    for (const Kont2D* k = r; k != nullptr; k = kontWalkNext(r, k))
      if (k->count > 0 && k->segments != nullptr) kontWriteContour(f, k, counter, wz);
  std::fclose(f);
  return 1;
}
}  // namespace

void kontResetState() { kontState = KontState{}; }

int kontGetNoRound() { return kontState.noRound; }
void kontSetNoRound(int flag) { kontState.noRound = flag != 0 ? 1 : 0; }
int kontGetSkipCheck() { return kontState.skipCheck; }
void kontSetSkipCheck(int flag) { kontState.skipCheck = flag != 0 ? 1 : 0; }

Kont2D* kontNew(Seg2D* segments, int capacity) {
  const int n = capacity < 3 ? 3 : capacity;
  auto* k = static_cast<Kont2D*>(memAllocZero(sizeof(Kont2D)));
  if (k == nullptr) {
    geoFail(kGeoFailed, "kont2d");
    return nullptr;
  }
  if (segments != nullptr) {
    k->segments = segments;
    k->ownsSegments = 0;
  } else {
    k->segments = static_cast<Seg2D*>(memAllocZero(sizeof(Seg2D) * static_cast<std::size_t>(n)));
    if (k->segments == nullptr) {
      memFree(k);
      geoFail(kGeoFailed, "kont2d");
      return nullptr;
    }
    k->ownsSegments = 1;
  }
  k->capacity = n;
  k->xmin = k->ymin = kFreshBox;
  k->xmax = k->ymax = -kFreshBox;
  k->z = DBL_MAX;
  return k;
}

int kontOrientation(const Kont2D* contour) {
  if (contour == nullptr || contour->segments == nullptr || contour->count < 1) return -1;
  const Seg2D* s = contour->segments;
  const int n = contour->count;
  const double ox = s[n - 1].x1, oy = s[n - 1].y1;
  double sum = 0.0;
  for (int i = 0; i < n; ++i) {
    const int j = (i + 1) % n;
    sum += (s[i].x1 - ox) * (s[j].y1 - oy) - (s[j].x1 - ox) * (s[i].y1 - oy);
  }
  return sum > 0.0 ? 1 : -1;
}

int kontReset(Kont2D* k) {
  if (k == nullptr) return 1;
  k->count = 0;
  k->xmin = k->ymin = DBL_MAX;
  k->xmax = k->ymax = -DBL_MAX;
  k->flags = 0;
  k->zmin = 0.0;
  k->zmax = 0.0;
  return 1;
}

int kontAppendSeg(Kont2D* k, const Seg2D* seg) {
  if (k == nullptr || k->segments == nullptr || seg == nullptr)
    return geoFail(kGeoFailed, "kont2d");
  if (k->count < 0 || k->count > k->capacity) return geoFail(kGeoFailed, "kont2d");
  const Seg2D copy = *seg;  // seg may lie in the array that moves below
  if (k->count == k->capacity) {
    if (k->capacity > INT_MAX / 3 * 2) return geoFail(kGeoFailed, "kont2d");
    int grown = static_cast<int>(k->capacity * 1.5);
    if (grown <= k->capacity) grown = k->capacity + 1;
    const std::size_t bytes = sizeof(Seg2D) * static_cast<std::size_t>(grown);
    Seg2D* array = nullptr;
    if (k->ownsSegments) {
      array = static_cast<Seg2D*>(memRealloc(k->segments, bytes));
      if (array == nullptr) return geoFail(kGeoFailed, "kont2d");
    } else {
      // The caller's array stays the caller's: the contour moves into an array of its own.
      array = static_cast<Seg2D*>(memAllocZero(bytes));
      if (array == nullptr) return geoFail(kGeoFailed, "kont2d");
      if (k->count > 0) std::memcpy(array, k->segments, sizeof(Seg2D) * k->count);
      k->ownsSegments = 1;
    }
    k->segments = array;
    k->capacity = grown;
  }
  k->segments[k->count++] = copy;
  kontWiden(k, copy.x1, copy.y1);
  kontWiden(k, copy.x2, copy.y2);
  return 1;
}

int kontUpdateBox(Kont2D* k) {
  if (k == nullptr || k->count <= 0 || k->segments == nullptr) return 0;
  k->xmin = k->ymin = DBL_MAX;
  k->xmax = k->ymax = -DBL_MAX;
  for (int i = 0; i < k->count; ++i) {
    kontWiden(k, k->segments[i].x1, k->segments[i].y1);
    kontWiden(k, k->segments[i].x2, k->segments[i].y2);
  }
  return 1;
}

void kontFree(Kont2D* list) {
  // The child chain of each record is spliced in front of the rest of the list, so every record
  // is reached by one flat walk; each chain is walked once to find its tail.
  Kont2D* k = list;
  while (k != nullptr) {
    Kont2D* rest = k->next;
    if (k->child != nullptr) {
      Kont2D* tail = k->child;
      while (tail->next != nullptr) tail = tail->next;
      tail->next = rest;
      rest = k->child;
    }
    kontFreeOne(k);
    k = rest;
  }
}

int geoOnKontFine(const Point2D& p, const Kont2D* region) {
  return kontAnySegment(region, [&p](const Seg2D& s) { return geoOnSegFine(p, s); });
}

int geoOnKontCoarse(const Point2D& p, const Kont2D* region) {
  return kontAnySegment(region, [&p](const Seg2D& s) { return geoOnSegCoarse(p, s); });
}

int geoOnKontTol(const Point2D& p, const Kont2D* region, double tol) {
  return kontAnySegment(region, [&p, tol](const Seg2D& s) { return geoOnSegTol(p, s, tol); });
}

int geoPointInKont(const Point2D& p, const Kont2D* contour) {
  if (contour == nullptr || contour->segments == nullptr || contour->count < 3) return 0;
  if (p.x < contour->xmin || p.x > contour->xmax || p.y < contour->ymin || p.y > contour->ymax)
    return 0;
  return kontParity(p, contour);
}

int geoPointInKontBand(const Point2D& p, const Kont2D* contour, double band) {
  if (contour == nullptr || contour->segments == nullptr) return 0;
  if (p.x < contour->xmin - band || p.x > contour->xmax + band || p.y < contour->ymin - band ||
      p.y > contour->ymax + band)
    return 0;
  const int inside = contour->count >= 3 ? kontParity(p, contour) : 0;
  if (std::fabs(band) < kBandZero) return inside;
  const double w = std::fabs(band);
  bool inBand = false;
  bool touches = false;
  for (int i = 0; i < contour->count && !inBand; ++i) {
    const Seg2D& s = contour->segments[i];
    const double d = geoDistToLine(p, s);
    if (d > w) continue;
    const int proj = geoProjInSeg(s, p);
    if (d == w && proj != 0) {
      touches = true;
    } else if (proj != 0) {
      inBand = true;
      break;
    }
    const double ds = geoDist2D(p, g2dSegStart(s));
    if (ds == w) touches = true;
    if (ds < w) {
      inBand = true;
      break;
    }
    const double de = geoDist2D(p, g2dSegEnd(s));
    if (de == w) touches = true;
    if (de < w) inBand = true;
  }
  if (band >= 0.0) return inBand ? 1 : inside;
  return (inside != 0 && !inBand && !touches) ? 1 : 0;
}

int kontAppendBnd(const Kont2D* list, const char* fileName) {
  return kontAppendBlocks(list, fileName, &kontState.bndBlock, false);
}

int kontAppendBndWz(const Kont2D* list, const char* fileName) {
  return kontAppendBlocks(list, fileName, &kontState.bndWzBlock, true);
}
