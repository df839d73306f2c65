// stel_list.cpp - the start candidates of the contour walker: storage, dumps, the two raster
// builders, the covering tests and the windowed removal of the candidates a traced contour
// passes. The removal sorts the candidates once (vertical ones by x, the others by y) so that each
// traced segment looks only at the candidates in a window a few raster steps around its box.
#include "geometry/stel_list.h"

#include <algorithm>
#include <cfloat>
#include <climits>
#include <cmath>
#include <cstdio>
#include <cstring>

#include "framework/memory.h"
#include "framework/numtext.h"
#include "geometry/geo_error.h"
#include "geometry/geo_random.h"
#include "geometry/kont_region.h"
#include "geometry/lst_sort.h"
#include "geometry/plane_geo.h"
#include "geometry/raster.h"

namespace {

constexpr const char* kModule = "stel_list";
constexpr int kMinRoom = 3;
constexpr int kBuilderRoom = 100;
constexpr double kAxisTol = 1e-5;    // a candidate is vertical (horizontal) below this |dx| (|dy|)
constexpr double kBoxMargin = 0.5;   // a candidate is tried when its box grown by this overlaps
constexpr double kRunMove = 0.2;     // how far a run candidate moves towards the traced segment
constexpr double kRunFootSq = 0.2;   // squared distance to the traced segment that covers
constexpr double kRunEndSq = 0.1;    // squared distance to a traced end that covers
constexpr double kEdgeRadius = 0.2;  // circle about an edge candidate's ends
constexpr double kWindowStepMin = 1e-6;  // window steps below this make the window everything

struct StelState {
  int dumpCounter = 0;  // names the next ".sel" dump
};
StelState stelState;

bool stelVertical(const Seg2D& s) { return std::fabs(s.x1 - s.x2) < kAxisTol; }
bool stelHorizontal(const Seg2D& s) { return std::fabs(s.y1 - s.y2) < kAxisTol; }

bool stelMakeRoom(StelList* list) {
  if (list->count < list->capacity) return true;
  double next = std::floor(static_cast<double>(list->capacity) * 1.5);
  if (next <= list->capacity) next = list->capacity + 1.0;
  if (next > INT_MAX / 2) return false;
  void* p = memRealloc(list->segments, static_cast<std::size_t>(next) * sizeof(Seg2D));
  if (p == nullptr) return false;
  list->segments = static_cast<Seg2D*>(p);
  list->capacity = static_cast<std::int32_t>(next);
  return true;
}

// ---- raster builders --------------------------------------------------------------------------

// One row or column of a raster: cell i and the position of node i (i may be -1, one step before
// the first node).
struct StelLine {
  const Raster* raster;
  bool row;   // a row (varying column) or a column (varying row)
  int fixed;  // the row or column index
  int length;
  std::int16_t cell(int i) const { return row ? raster->cells[fixed][i] : raster->cells[i][fixed]; }
  Point2D node(int i) const {
    if (row) return Point2D{raster->x0 + i * raster->colStep, raster->y0 + fixed * raster->rowStep};
    return Point2D{raster->x0 + fixed * raster->colStep, raster->y0 + i * raster->rowStep};
  }
};

bool stelFree(std::int16_t v) { return v >= kRasterFree; }

// Appends the candidate from node a to node b when a lies inside the region. False when memory
// runs out.
bool stelOffer(StelList* list, const StelLine& line, int a, int b, const Kont2D* region) {
  const Point2D p = line.node(a), q = line.node(b);
  if (region != nullptr && kontClassifyPoint(region, p) != 2) return true;
  return stelListAppend(list, Seg2D{p.x, p.y, q.x, q.y}) == 1;
}

bool stelRunsOfLine(StelList* list, const StelLine& line, const Kont2D* region) {
  int a = -1;  // start of the open run
  bool allBlocked = true;
  for (int i = 0; i < line.length; ++i) {
    const std::int16_t v = line.cell(i);
    if (v != kRasterBlocked) allBlocked = false;
    if (v == kRasterBlocked) {
      if (a < 0) a = i;
    } else if (stelFree(v) && a >= 0) {
      if (a > 0) {
        if (!stelOffer(list, line, a - 1, i, region) || !stelOffer(list, line, i, a - 1, region))
          return false;
      } else if (!stelOffer(list, line, i, 0, region)) {
        return false;
      }
      a = -1;
    }
  }
  if (a >= 0 && !allBlocked) return stelOffer(list, line, a - 1, line.length - 1, region);
  return true;
}

bool stelEdgesOfLine(StelList* list, const StelLine& line, const Kont2D* region) {
  for (int j = 0; j + 1 < line.length; ++j) {
    const std::int16_t c0 = line.cell(j), c1 = line.cell(j + 1);
    if (stelFree(c0) && c1 == kRasterBlocked) {
      if (!stelOffer(list, line, j, j + 1, region)) return false;
    } else if (c0 == kRasterBlocked && stelFree(c1)) {
      if (!stelOffer(list, line, j + 1, j, region)) return false;
    }
  }
  return true;
}

using StelLineFn = bool (*)(StelList*, const StelLine&, const Kont2D*);

StelList* stelFromRaster(const Raster* raster, const Kont2D* region, std::int32_t mode,
                         StelLineFn each) {
  if (raster == nullptr || raster->rows < 0 || raster->cols < 0 ||
      (raster->cells == nullptr && raster->rows > 0)) {
    return nullptr;
  }
  StelList* list = stelListNew(kBuilderRoom);
  if (list == nullptr) return nullptr;
  list->mode = mode;
  bool ok = true;
  for (int r = 0; r < raster->rows && ok; ++r)
    ok = each(list, {raster, true, r, raster->cols}, region);
  for (int c = 0; c < raster->cols && ok; ++c)
    ok = each(list, {raster, false, c, raster->rows}, region);
  if (ok) return list;
  stelListFree(list);
  return nullptr;
}

// ---- removal window ---------------------------------------------------------------------------

// Window bounds kept between the traced segments of one removal: lo1 .. hi1-1 over the vertical
// candidates, lo2 .. hi2-1 over the others (list positions between steps), and the steps.
struct StelWindow {
  int lo1 = 0, hi1 = 0, lo2 = 0, hi2 = 0;
  double dx = 0.0, dy = 0.0;
};

// Traced segment box in XY.
struct StelBox {
  double minx, miny, maxx, maxy;
};

// Moves lo over a group sorted by key ascending so that every candidate whose key is at least
// low - step (and more) lies at lo or after it.
int stelWindowLow(const Seg2D* g, int n, int lo, double low, double step,
                  double (*key)(const Seg2D&)) {
  if (low - key(g[lo]) > 2.0 * step) {
    while (lo < n && low - key(g[lo]) >= step) ++lo;
    if (lo > 0) --lo;
  } else if (low - step < key(g[lo])) {
    while (lo >= 0 && key(g[lo]) >= low - 2.0 * step) --lo;
    if (lo < 0) lo = 0;
  }
  return lo;
}

// Moves hi (one past the window) so that every candidate whose key is at most high + step lies
// before it; far is the candidate's other end used for the first test.
int stelWindowHigh(const Seg2D* g, int n, int hi, double high, double step,
                   double (*key)(const Seg2D&), double (*far)(const Seg2D&)) {
  if (hi > n - 1) hi = n - 1;
  if (hi < 0) hi = 0;
  if (far(g[hi]) <= high + 2.0 * step) {
    if (far(g[hi]) <= high + step) {
      while (hi < n && key(g[hi]) <= high + 2.0 * step) ++hi;
    }
  } else {
    while (hi >= 0 && key(g[hi]) - high >= 2.0 * step) --hi;
    ++hi;
  }
  return hi;
}

double stelX1(const Seg2D& s) { return s.x1; }
double stelX2(const Seg2D& s) { return s.x2; }
double stelY1(const Seg2D& s) { return s.y1; }
double stelY2(const Seg2D& s) { return s.y2; }

void stelWindowAdvance(StelList* list, const StelBox& b, StelWindow* w) {
  if (list->windowFresh != 0) {
    // The sort puts the vertical candidates first; the others start at the first non-vertical.
    int nv = 0;
    while (nv < list->count && stelVertical(list->segments[nv])) ++nv;
    list->vertCount = nv;
    list->otherCount = list->count - nv;
    list->vertStart = 0;
    list->otherStart = nv;
    list->windowFresh = 0;
  } else {
    w->lo2 -= list->otherStart;
    w->hi2 -= list->otherStart;
  }
  const int nv = list->vertCount, nh = list->otherCount;
  // Without both groups or without both steps there is nothing to bound the window by; this is
  // decided first, so an empty group is never read.
  if (nv == 0 || nh == 0 || std::fabs(w->dx) < kWindowStepMin ||
      std::fabs(w->dy) < kWindowStepMin) {
    w->lo1 = 0;
    w->hi1 = nv;
    w->lo2 = 0;
    w->hi2 = nh;
  } else {
    const Seg2D* v = list->segments + list->vertStart;
    const Seg2D* h = list->segments + list->otherStart;
    w->lo1 = stelWindowLow(v, nv, std::min(std::max(w->lo1, 0), nv - 1), b.minx, w->dx, stelX1);
    w->hi1 = stelWindowHigh(v, nv, w->hi1, b.maxx, w->dx, stelX1, stelX2);
    w->lo2 = stelWindowLow(h, nh, std::min(std::max(w->lo2, 0), nh - 1), b.miny, w->dy, stelY1);
    w->hi2 = stelWindowHigh(h, nh, w->hi2, b.maxy, w->dy, stelY1, stelY2);
  }
  w->lo2 += list->otherStart;
  w->hi2 += list->otherStart;
}

// The window steps of a sorted list: the first positive x1 step between consecutive vertical
// candidates, and the last positive y1 step between consecutive horizontal ones.
void stelWindowSteps(const StelList* list, StelWindow* w) {
  const Seg2D* s = list->segments;
  for (int i = 1; i < list->count; ++i) {
    if (!stelVertical(s[i]) || !stelVertical(s[i - 1])) continue;
    if (s[i].x1 - s[i - 1].x1 > 0.0) {
      w->dx = s[i].x1 - s[i - 1].x1;
      break;
    }
  }
  for (int i = list->count - 1; i > 0; --i) {
    if (!stelHorizontal(s[i]) || !stelHorizontal(s[i - 1])) continue;
    if (s[i].y1 - s[i - 1].y1 > 0.0) {
      w->dy = s[i].y1 - s[i - 1].y1;
      break;
    }
  }
}

// The sign of the first non-zero kind of the traced segments [from, to), 0 when all are 0.
int stelSide(const PkoList* traced, int from, int to) {
  for (int i = from; i < to; ++i) {
    if (traced->kinds[i] > 0) return 1;
    if (traced->kinds[i] < 0) return -1;
  }
  return 0;
}

// Whether candidate k is tried against the traced box: its box grown by the margin overlaps it.
bool stelNear(const Seg2D& c, const StelBox& b) {
  return b.minx <= std::fmax(c.x1, c.x2) + kBoxMargin &&
         std::fmin(c.x1, c.x2) <= b.maxx + kBoxMargin &&
         b.miny <= std::fmax(c.y1, c.y2) + kBoxMargin &&
         std::fmin(c.y1, c.y2) <= b.maxy + kBoxMargin;
}

double stelStartSide(const Seg2D& t, const Seg2D& cand) {
  return (t.x1 - t.x2) * (cand.y1 - t.y2) - (t.y1 - t.y2) * (cand.x1 - t.x2);
}

}  // namespace

StelList* stelListNew(int capacity) {
  const int room = capacity < kMinRoom ? kMinRoom : capacity;
  if (room > INT_MAX / 2) return nullptr;
  auto* list = static_cast<StelList*>(memAllocZero(sizeof(StelList)));
  if (list == nullptr) return nullptr;
  list->segments =
      static_cast<Seg2D*>(memAllocZero(static_cast<std::size_t>(room) * sizeof(Seg2D)));
  if (list->segments == nullptr) {
    memFree(list);
    return nullptr;
  }
  list->capacity = room;
  list->windowFresh = 1;
  return list;
}

int stelListFree(StelList* list) {
  if (list == nullptr) return 0;
  memFree(list->segments);
  memFree(list);
  return 1;
}

int stelListAppend(StelList* list, const Seg2D& seg) {
  if (list == nullptr || list->segments == nullptr) return -1;
  const Seg2D copy = seg;  // the segment may live in this list's storage
  if (!stelMakeRoom(list)) return -1;
  list->segments[list->count++] = copy;
  return 1;
}

int stelListWrite(const StelList* list, const char* fileName) {
  if (list == nullptr || list->segments == nullptr || fileName == nullptr) return -1;
  std::FILE* f = std::fopen(fileName, "w");
  if (f == nullptr) return -1;
  bool ok = true;
  char line[4 * kNumFixedTextSize + 8];
  for (int i = 0; i < list->count && ok; ++i) {
    const Seg2D& s = list->segments[i];
    const double values[4] = {s.x1, s.y1, s.x2, s.y2};
    std::size_t n = 0;
    for (int k = 0; k < 4; ++k) {
      n += numFormatFixedWidth(line + n, sizeof line - n, values[k], 6, 0);
      line[n++] = k < 3 ? ' ' : '\n';
    }
    ok = std::fwrite(line, 1, n, f) == n;
  }
  if (std::fclose(f) != 0) ok = false;
  return ok ? 1 : -1;
}

int stelListDump(const StelList* list) {
  if (geoDebugOn() != 1) return 1;
  char name[32];
  std::snprintf(name, sizeof name, "%08d.sel", stelState.dumpCounter % 100000000);
  const int result = stelListWrite(list, name);
  if (result < 0) return result;
  if (stelState.dumpCounter < INT_MAX) ++stelState.dumpCounter;
  return 1;
}

void stelListShuffleFirst(StelList* list, int seed) {
  if (list == nullptr || list->segments == nullptr || list->count < 2) return;
  geoRandSeed(static_cast<unsigned int>(seed));
  int k = 0;
  // The generator runs through all its states, so a non-zero draw comes; the bound only keeps a
  // broken generator from hanging the level.
  for (long tries = 0; k == 0 && tries < 1000000; ++tries) {
    k = static_cast<int>(std::floor(geoRandNext() * list->count));
    if (k >= list->count) k = 0;
  }
  if (k == 0) k = 1;
  const Seg2D first = list->segments[0];
  list->segments[0] = list->segments[k];
  list->segments[k] = first;
  list->sortState = kStelUnsorted;
}

int stelCompareAxis(const void* a, const void* b) {
  const Seg2D& s = *static_cast<const Seg2D*>(a);
  const Seg2D& t = *static_cast<const Seg2D*>(b);
  const bool vs = stelVertical(s), vt = stelVertical(t);
  if (vs != vt) return vs ? -1 : 1;
  const double ks = vs ? s.x1 : s.y1, kt = vs ? t.x1 : t.y1;
  if (ks < kt) return -1;
  if (ks > kt) return 1;
  return 0;
}

int stelCompareByBox(const void* a, const void* b) {
  const Seg2D& s = *static_cast<const Seg2D*>(a);
  const Seg2D& t = *static_cast<const Seg2D*>(b);
  const double keys[2][4] = {{std::fmin(s.y1, s.y2), -std::fmax(s.y1, s.y2), std::fmin(s.x1, s.x2),
                              -std::fmax(s.x1, s.x2)},
                             {std::fmin(t.y1, t.y2), -std::fmax(t.y1, t.y2), std::fmin(t.x1, t.x2),
                              -std::fmax(t.x1, t.x2)}};
  for (int k = 0; k < 4; ++k) {
    if (keys[0][k] < keys[1][k]) return -1;
    if (keys[0][k] > keys[1][k]) return 1;
  }
  return 0;
}

StelList* stelFromRasterRuns(const Raster* raster, const Kont2D* region) {
  return stelFromRaster(raster, region, kStelModeRuns, stelRunsOfLine);
}

StelList* stelFromRasterEdges(const Raster* raster, const Kont2D* region) {
  return stelFromRaster(raster, region, kStelModeEdges, stelEdgesOfLine);
}

int stelRunCovered(const Seg2D& t, const Seg2D& cand, int side) {
  const Point2D p{cand.x1, cand.y1};
  if (stelStartSide(t, cand) * side >= 0.0) {
    if (geoSegsCross(t, cand) == 1) return 1;
    Seg2D moved = cand;
    if (stelHorizontal(cand)) {
      const double l = std::fmin(std::fabs(cand.y1 - (t.y1 + t.y2) / 2.0), kRunMove);
      const double dy = cand.y1 > t.y1 ? -l : l;
      moved.y1 += dy;
      moved.y2 += dy;
    } else {
      const double l = std::fmin(std::fabs(cand.x1 - (t.x1 + t.x2) / 2.0), kRunMove);
      const double dx = t.x1 < cand.x1 ? -l : l;
      moved.x1 += dx;
      moved.x2 += dx;
    }
    return geoSegsCross(moved, t) == 1 ? 1 : 0;
  }
  Point2D foot{};
  if (geoFootOnSeg(p, t, &foot) == 1) return geoDist2DSq(p, foot) < kRunFootSq ? 1 : 0;
  return geoDist2DSq(p, g2dSegStart(t)) < kRunEndSq || geoDist2DSq(p, g2dSegEnd(t)) < kRunEndSq ? 1
                                                                                                : 0;
}

int stelEdgeCovered(const Seg2D& t, const Seg2D& cand, int side) {
  if (geoSegsCross(t, cand) == 1 && stelStartSide(t, cand) * side >= 0.0) return 1;
  const Point2D ends[2] = {g2dSegStart(cand), g2dSegEnd(cand)};
  for (const Point2D& q : ends) {
    Arc2D circle{};
    circle.cx = q.x;
    circle.cy = q.y;
    circle.radius = kEdgeRadius;
    Point2D c1{}, c2{};
    if (geoSegCircleCut(t, circle, &c1, &c2) != 2) continue;
    if (geoOnSegFine(c1, t) == 1 || geoOnSegFine(c2, t) == 1 ||
        geoDist2D(g2dSegStart(t), q) < kEdgeRadius || geoDist2D(g2dSegEnd(t), q) < kEdgeRadius) {
      return 1;
    }
  }
  return 0;
}

int stelListRemoveCovered(StelList* list, const PkoList* traced, int from, int to) {
  if (list == nullptr || traced == nullptr || list->segments == nullptr ||
      traced->segments == nullptr) {
    return 1;
  }
  if (list->mode != kStelModeEdges && list->mode != kStelModeRuns) return 0;
  if (list->count <= 0) return 1;
  // The marks first: a failure must leave the list as it was, unsorted included.
  auto* dead = static_cast<unsigned char*>(memAllocZero(static_cast<std::size_t>(list->count)));
  if (dead == nullptr) return geoFail(kGeoFailed, kModule);
  if (list->sortState != kStelSortedAxis) {
    lstSort(list->segments, list->count, sizeof(Seg2D), stelCompareAxis);
    list->sortState = kStelSortedAxis;
  }
  if (from < 0) from = 0;
  if (to > traced->count) to = traced->count;
  const int side = stelSide(traced, from, to);
  StelWindow w;
  stelWindowSteps(list, &w);
  list->windowFresh = 1;
  const auto covered = list->mode == kStelModeRuns ? stelRunCovered : stelEdgeCovered;
  for (int i = from; i < to; ++i) {
    Seg2D t{};
    geoSeg2From3D(&t, traced->segments[i]);
    const StelBox b{std::fmin(t.x1, t.x2), std::fmin(t.y1, t.y2), std::fmax(t.x1, t.x2),
                    std::fmax(t.y1, t.y2)};
    stelWindowAdvance(list, b, &w);
    const int ranges[2][2] = {{w.lo1, w.hi1}, {w.lo2, w.hi2}};
    for (const auto& range : ranges) {
      for (int k = range[0]; k < range[1]; ++k) {
        if (k < 0 || k >= list->count) {
          char text[64];
          std::snprintf(text, sizeof text, "Indexfehler %d, %d", k, list->count);
          geoErrLog(text);
          continue;
        }
        const Seg2D& cand = list->segments[k];
        if (dead[k] == 0 && stelNear(cand, b) && covered(t, cand, side) == 1) dead[k] = 1;
      }
    }
  }
  int kept = 0;
  for (int k = 0; k < list->count; ++k) {
    if (dead[k] == 0) list->segments[kept++] = list->segments[k];
  }
  list->count = kept;
  list->windowFresh = 1;
  memFree(dead);
  return 1;
}

void stelListResetState() { stelState = StelState{}; }
