// level_pocket_xchg.cpp - writing a level's contours into the exchange file that the nested pocket
// cycle reads: header, stock contours, numbered pocket contours with clip marks on the region's
// own boundary, and in stock mode the rebuilding of pockets that run along the outline.
#include "cycles/level_pocket_xchg.h"

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <numbers>
#include <source_location>
#include <string>
#include <vector>

#include "framework/global_params.h"
#include "framework/path_join.h"
#include "framework/platform.h"
#include "framework/xchg_lexer.h"
#include "geometry/geo_error.h"
#include "geometry/geo_files.h"
#include "geometry/kont_region.h"
#include "geometry/lst_sort.h"
#include "geometry/plane_geo.h"
#include "geometry/vec.h"
#include "zlevel/zpath.h"
#include "zlevel/zpath_file.h"

namespace {

struct ZcontState {
  int pocketCounter = 0;  // ids of the contour-parallel writer
  int axisCounter = 0;    // ids of the axis-parallel writer
  int copyCounter = 0;    // names of the debug copies "%d.qdx"
};
ZcontState zcontState;

int zcontFail(int code, std::source_location at = std::source_location::current()) {
  geoErrSet(code, "Zmilqdx2", static_cast<int>(at.line()));
  return code;
}

const char* zcontSideLine() {
  return parGlobalBlock()->seite == 1 ? "  vsideOfCompensation( leftOfContour )\n"
                                      : "  vsideOfCompensation( rightOfContour )\n";
}

Point2D zcontPoint(const ZPath* p, int i) {
  return {static_cast<double>(p->points[2 * i]), static_cast<double>(p->points[2 * i + 1])};
}

bool zcontOnOuter(const ZPath* p, int i) {
  return p->elementIds[i] == -2 && p->contactKinds[i] == -1;
}

bool zcontTouchesOuter(const ZPath* p) {
  for (int i = 0; i < p->count; ++i) {
    if (zcontOnOuter(p, i)) return true;
  }
  return false;
}

// Every point with a negative id within 0.001 of the region's boundary becomes a boundary point
// with the boundary's index (-1 outer contour, k island k) as its kind.
void zcontMarkBoundaryPoints(const Kont2D* region, ZPath* paths, int count) {
  for (int k = 0; k < count; ++k) {
    ZPath* p = &paths[k];
    for (int i = 0; i < p->count; ++i) {
      if (p->elementIds[i] >= 0) continue;
      const int b = kontBoundaryThrough(region, zcontPoint(p, i));
      if (b == kKontNoBoundary) continue;
      p->elementIds[i] = -2;
      p->contactKinds[i] = b;
    }
  }
}

// Scans either the plain way or through an index, so both answer from one predicate.
bool zcontMidpointNear(const Seg2D& s, const Point2D& mid) {
  return g2dPointSegDist(mid, s) <= kZcontOnRegionTol;
}

// The boundary test the contour writers use: through the index when one was built.
struct ZcontRegionTest {
  const Kont2D* region;
  const ZcontRegionIndex* index;
  int operator()(double x0, double y0, double x1, double y1) const {
    return index != nullptr ? zcontPointInRegionsIndexed(index, x0, y0, x1, y1)
                            : zcontPointInRegions(region, x0, y0, x1, y1);
  }
};

int zcontWriteContourWith(const char* id, std::FILE* f, const ZPath* path,
                          const ZcontRegionTest& onRegion) {
  if (path == nullptr || path->count < 1 || f == nullptr) return 0;
  std::fprintf(f, "oContour(id[%s]){\n%s  vzconst(%lf)\n\n", id, zcontSideLine(), path->z);
  if (std::strcmp(id, "stock") == 0) std::fputs("vstock(true)\n", f);
  bool open = false;
  const int n = path->count;
  for (int i = 0; i < n; ++i) {
    const Point2D a = zcontPoint(path, i);
    const Point2D b = zcontPoint(path, (i + 1) % n);
    const bool on = onRegion(a.x, a.y, b.x, b.y) != 0;
    if (on && !open) std::fputs("vclip(true)\n", f);
    if (!on && open) std::fputs("vclip(false)\n", f);
    open = on;
    std::fprintf(f, "  oL( x[%.8lf/%.8lf] y[%.8lf/%.8lf] )\n", a.x, b.x, a.y, b.y);
  }
  if (open) std::fputs("vclip(false)\n", f);
  std::fputs("}\n\n", f);
  return 1;
}

// Owner of a work list of path copies.
struct ZcontPathCopies {
  std::vector<ZPath*> paths;
  ~ZcontPathCopies() {
    for (ZPath* p : paths) zpathFree(p);
  }
};

ZPath* zcontCopyPath(const ZPath* src) {
  ZPath* p = zpathNew(src->count + 8);
  if (p == nullptr) return nullptr;
  float* points = p->points;
  float* contacts = p->contacts;
  std::int32_t* ids = p->elementIds;
  std::int32_t* kinds = p->contactKinds;
  const int capacity = p->capacity;
  *p = *src;
  p->points = points;
  p->contacts = contacts;
  p->elementIds = ids;
  p->contactKinds = kinds;
  p->capacity = capacity;
  const auto n = static_cast<std::size_t>(src->count);
  std::memcpy(p->points, src->points, 2 * n * sizeof(float));
  std::memcpy(p->contacts, src->contacts, 3 * n * sizeof(float));
  std::memcpy(p->elementIds, src->elementIds, n * sizeof(std::int32_t));
  std::memcpy(p->contactKinds, src->contactKinds, n * sizeof(std::int32_t));
  return p;
}

// Ids the arc variant gives the last point of a merged run: the element ending there.
constexpr int kZcontLineEnd = 76;
constexpr int kZcontArcCcwEnd = 65;
constexpr int kZcontArcCwEnd = -65;
// Thresholds of the run merging: the angle a line run may bend at an inner point, the smallest
// tolerances, the shortest arc run and the largest arc radius used.
constexpr double kZcontLineBend = 0.5;
constexpr double kZcontMinLineTol = 0.0001;
constexpr double kZcontMinArcTol = 0.001;
constexpr int kZcontMinArcPoints = 5;
constexpr double kZcontMaxArcRadius = 1000.0;

// The points of a closed path with its first point repeated at the end, so that runs may end on
// the closing segment.
struct ZcontRing {
  const ZPath* path;
  Point2D at(int i) const { return zcontPoint(path, i % path->count); }
  bool boundary(int i) const { return path->elementIds[i % path->count] == -2; }
};

// Last point b (> i + 1) that a line run from i reaches; i + 1 when none merges.
int zcontLineRun(const ZcontRing& ring, int i, int last, double tol) {
  int best = i + 1;
  for (int b = i + 2; b <= last; ++b) {
    if (ring.boundary(b - 1) || ring.boundary(b)) break;
    const Point2D p = ring.at(b - 2), q = ring.at(b - 1), r = ring.at(b);
    const double ux = p.x - q.x, uy = p.y - q.y, vx = r.x - q.x, vy = r.y - q.y;
    const double angle = std::atan2(std::fabs(ux * vy - uy * vx), ux * vx + uy * vy);
    if (ux * ux + uy * uy == 0 || vx * vx + vy * vy == 0 ||
        angle < std::numbers::pi - kZcontLineBend) {
      break;
    }
    const Seg2D chord{ring.at(i).x, ring.at(i).y, r.x, r.y};
    bool near = true;
    for (int j = i + 1; j < b && near; ++j) near = g2dPointSegDist(ring.at(j), chord) <= tol;
    if (!near) break;
    best = b;
  }
  return best;
}

// Whether the points i .. b follow the circle within half the tolerance, pair by pair (the
// farther end and the chord's nearest point), each pair turning the arc's way and the whole run
// sweeping less than a full turn.
bool zcontOnArc(const ZcontRing& ring, int i, int b, const Point2D& c, double r, int dir,
                double tol) {
  double sweep = 0;
  for (int j = i; j < b; ++j) {
    const Point2D p = ring.at(j), q = ring.at(j + 1);
    const double far = std::max(std::hypot(p.x - c.x, p.y - c.y), std::hypot(q.x - c.x, q.y - c.y));
    const double nearest = g2dPointSegDist(c, Seg2D{p.x, p.y, q.x, q.y});
    if (std::fabs(far - r) > tol / 2 || std::fabs(nearest - r) > tol / 2) return false;
    const double ux = p.x - c.x, uy = p.y - c.y, vx = q.x - c.x, vy = q.y - c.y;
    const double turn = std::atan2(ux * vy - uy * vx, ux * vx + uy * vy);
    if (turn * dir <= 0) return false;
    sweep += std::fabs(turn);
  }
  return sweep < 2 * std::numbers::pi;
}

struct ZcontArc {
  int end;  // last point reached; i + 1 when no arc is used
  int dir;  // +1 counter-clockwise, -1 clockwise
  Point2D centre;
};

// The arc run from i: grows while the circle through i, (i + b) / 2 and b holds every point.
ZcontArc zcontArcRun(const ZcontRing& ring, int i, int last, double tol) {
  ZcontArc best{i + 1, 0, {0, 0}};
  for (int b = i + 2; b <= last; ++b) {
    if (ring.boundary(b - 1) || ring.boundary(b)) break;
    const Point2D p = ring.at(i), m = ring.at((i + b) / 2), q = ring.at(b);
    Arc2D circle{};
    if (geoCircleThrough3(p, m, q, &circle) != 1 || circle.radius > kZcontMaxArcRadius) break;
    const Point2D c{circle.cx, circle.cy};
    const double r = circle.radius;
    const double turn = (m.x - p.x) * (q.y - p.y) - (m.y - p.y) * (q.x - p.x);
    const int dir = turn > 0 ? 1 : -1;
    if (!zcontOnArc(ring, i, b, c, r, dir, tol)) break;
    best = {b, dir, c};
  }
  if (best.end - i + 1 < kZcontMinArcPoints) best.end = i + 1;
  return best;
}

// The arc variant: on a copy of the path, runs of points merged into lines and (arc flag 1)
// arcs, each element written in full where it starts the contour or a clip run, else short.
int zcontWriteArcContour(const char* id, std::FILE* f, const ZPath* path, int arcFlag,
                         double tolerance, const ZcontRegionTest& onRegion) {
  ZPath* copy = zcontCopyPath(path);
  if (copy == nullptr) return zcontFail(-1);
  std::unique_ptr<ZPath, int (*)(ZPath*)> owner(copy, zpathFree);
  const int n = copy->count;
  for (int i = 0; i < n; ++i) {
    if (copy->elementIds[i] != -2) copy->elementIds[i] = 0;
  }
  // Element kinds and arc centres by the index of the point that ends them (n: the closing one).
  std::vector<int> kind(static_cast<std::size_t>(n) + 1, 0);
  std::vector<Point2D> centre(static_cast<std::size_t>(n) + 1, Point2D{0, 0});
  std::vector<int> keep;  // indices of the points left, in order
  const ZcontRing ring{copy};
  const double lineTol = std::max(tolerance, kZcontMinLineTol);
  const double arcTol = std::max(tolerance, kZcontMinArcTol);
  keep.push_back(0);
  for (int i = 0; i < n;) {
    const int line = zcontLineRun(ring, i, n, lineTol);
    const ZcontArc arc = arcFlag == 1 ? zcontArcRun(ring, i, n, arcTol) : ZcontArc{i + 1, 0, {}};
    int b = i + 1;
    if (arc.end > i + 1 && arc.end >= line) {
      b = arc.end;
      kind[static_cast<std::size_t>(b)] = arc.dir > 0 ? kZcontArcCcwEnd : kZcontArcCwEnd;
      centre[static_cast<std::size_t>(b)] = arc.centre;
    } else if (line > i + 1) {
      b = line;
      kind[static_cast<std::size_t>(b)] = kZcontLineEnd;
    }
    if (b < n) keep.push_back(b);
    i = b;
  }
  // The merged ids and centres go onto the copy's points; inner points are dropped.
  int w = 0;
  for (const int k : keep) {
    const int id = kind[static_cast<std::size_t>(k == 0 ? n : k)];
    copy->points[2 * w] = copy->points[2 * k];
    copy->points[2 * w + 1] = copy->points[2 * k + 1];
    copy->elementIds[w] = id != 0 ? id : copy->elementIds[k];
    copy->contactKinds[w] = copy->contactKinds[k];
    const Point2D& c = centre[static_cast<std::size_t>(k == 0 ? n : k)];
    copy->contacts[3 * w] = static_cast<float>(c.x);
    copy->contacts[3 * w + 1] = static_cast<float>(c.y);
    ++w;
  }
  copy->count = w;

  std::fprintf(f, "oContour(id[%s]){\n%s  vzconst(%lf)\n\n", id, zcontSideLine(), copy->z);
  if (std::strcmp(id, "stock") == 0) std::fputs("vstock(true)\n", f);
  bool open = w >= 2 && copy->elementIds[0] == -2 && copy->elementIds[1] == -2;
  if (open) std::fputs("vclip(true)\n", f);
  for (int k = 0; k < w; ++k) {
    const int e = (k + 1) % w;
    const Point2D a = zcontPoint(copy, k), b = zcontPoint(copy, e);
    const Point2D c{copy->contacts[3 * e], copy->contacts[3 * e + 1]};
    const int id2 = copy->elementIds[e];
    const bool isArc = id2 == kZcontArcCcwEnd || id2 == kZcontArcCwEnd;
    const char* sign = id2 == kZcontArcCcwEnd ? "+" : "-";
    const bool on = onRegion(a.x, a.y, b.x, b.y) != 0;
    const bool full = k == 0 || on != open;
    if (on != open) std::fputs(on ? "vclip(true)\n" : "vclip(false)\n", f);
    open = on;
    if (full && isArc) {
      std::fprintf(f, "  oA( o[%s] x[%.8lf/%.8lf/%.8lf] y[%.8lf/%.8lf/%.8lf] )\n", sign, a.x, b.x,
                   c.x, a.y, b.y, c.y);
    } else if (full) {
      std::fprintf(f, "  oL( x[%.8lf/%.8lf] y[%.8lf/%.8lf] )\n", a.x, b.x, a.y, b.y);
    } else if (isArc) {
      std::fprintf(f, "  oA( o[%s] x[/%.8lf/%.8lf] y[/%.8lf/%.8lf] )\n", sign, b.x, c.x, b.y, c.y);
    } else {
      std::fprintf(f, "  oL( x[/%.8lf] y[/%.8lf] )\n", b.x, b.y);
    }
  }
  if (open) std::fputs("vclip(false)\n", f);
  std::fputs("}\n\n", f);
  return 1;
}

int zcontWritePocketContourWith(const char* id, std::FILE* f, const ZPath* path, int arcFlag,
                                double tolerance, const ZcontRegionTest& onRegion) {
  if (arcFlag == 0 || tolerance < 0.001) return zcontWriteContourWith(id, f, path, onRegion);
  if (path == nullptr || path->count < 1 || f == nullptr) return 0;
  return zcontWriteArcContour(id, f, path, arcFlag, tolerance, onRegion);
}

// Moves point k of the path to the front, keeping the cyclic order.
void zcontRotate(ZPath* p, int k) {
  if (k <= 0 || k >= p->count) return;
  const int n = p->count;
  geoRotateArray(p->points, p->points + 2 * k, p->points + 2 * n, 2 * sizeof(float));
  geoRotateArray(p->contacts, p->contacts + 3 * k, p->contacts + 3 * n, 3 * sizeof(float));
  geoRotateArray(p->elementIds, p->elementIds + k, p->elementIds + n, sizeof(std::int32_t));
  geoRotateArray(p->contactKinds, p->contactKinds + k, p->contactKinds + n, sizeof(std::int32_t));
}

// A point where a path leaves or reaches the outline, projected onto the outer contour.
struct ZcontTransition {
  double param;
  std::int32_t path;
  std::int32_t point;
  std::int32_t used;
  std::int32_t pair;
  double x, y;
};

int zcontCompareTransitions(const void* a, const void* b) {
  return zcontCompareDoubles(a, b);  // the parameter is the record's first field
}
static_assert(offsetof(ZcontTransition, param) == 0);

// Appends one point to a rebuilt contour.
int zcontAppend(ZPath* out, const Point2D& p, const float* contact, int id, int kind) {
  const float xy[2] = {static_cast<float>(p.x), static_cast<float>(p.y)};
  if (out->count >= kZcontMaxRebuiltPoints) return zcontFail(kZcontWalkFailed);
  return zpathAppendPoint(out, xy, contact, id, kind) == 1 ? 1 : zcontFail(-1);
}

// Writes the region's islands as stock contours where the paths leave material to them.
int zcontWriteIslands(std::FILE* f, const Kont2D* region, ZPath* const* paths, int count,
                      const ZPath* least, bool outerWritten,
                      void (*also)(const Kont2D*, const char*), const char* bnd) {
  int index = 0;
  for (const Kont2D* island = region->child; island != nullptr; island = island->next, ++index) {
    bool touched = false;
    for (int k = 0; k < count && !touched; ++k) {
      const ZPath* p = paths[k];
      for (int i = 0; i < p->count; ++i) {
        if (p->elementIds[i] == -2 && p->contactKinds[i] == index) {
          touched = true;
          break;
        }
      }
    }
    if (touched) continue;
    const ZPath* container = nullptr;
    int depth = least != nullptr ? least->nestingDepth : 0;
    for (int k = 0; k < count; ++k) {
      const ZPath* p = paths[k];
      bool all = island->count > 0;
      for (int s = 0; s < island->count && all; ++s) {
        all = zpathContainsPoint({island->segments[s].x1, island->segments[s].y1}, p) == 1;
      }
      if (all && (container == nullptr || p->nestingDepth >= depth)) {
        container = p;
        depth = p->nestingDepth;
      }
    }
    bool write = false;
    if (container != nullptr) {
      write = container->materialInside == 0;
    } else {
      write = outerWritten && least != nullptr && least->materialInside != 0;
    }
    if (!write) continue;
    const int r = zcontWriteStockContour(f, "stock", island, nullptr);
    if (r < 0) return r;
    if (r == 1 && also != nullptr) also(island, bnd);
  }
  return 1;
}

// Appends one contour alone (no links) to a boundary text file.
void zcontAppendSingleBnd(const Kont2D* k, const char* bnd) {
  Kont2D copy = *k;
  copy.next = nullptr;
  copy.child = nullptr;
  copy.prev = nullptr;
  kontAppendBnd(&copy, bnd);
}

// The rebuilding of stock mode: paths touching the outline are turned into closed contours that
// follow the outline backwards between their transitions. Writes the contours; fills the
// midpoints of the path segments lying on the outline.
int zcontWriteStockMode(std::FILE* f, const Kont2D* region, ZcontPathCopies& work,
                        Pt2List* midpoints, const ZcontRegionTest& onRegion) {
  std::vector<ZcontTransition> recs;
  recs.reserve(100);
  int smallest = -1;
  bool smallestSecond = false;
  const Kont2D* outer = region;
  for (std::size_t k = 0; k < work.paths.size(); ++k) {
    ZPath* p = work.paths[k];
    if (!zcontTouchesOuter(p)) {
      const bool stockId = (p->flags & 0x08u) != 0 && (p->flags & 0x40u) != 0;
      char id[32];
      if (stockId) {
        std::snprintf(id, sizeof id, "stock");
      } else {
        std::snprintf(id, sizeof id, "%d", ++zcontState.pocketCounter);
      }
      const int r = zcontWritePocketContourWith(id, f, p, 0, 0.0, onRegion);
      if (r < 0) return r;
      continue;
    }
    for (int scan = 0;; ++scan) {
      if (scan >= 10) return zcontFail(-1);
      int first = 0;
      while (!zcontOnOuter(p, first)) ++first;
      zcontRotate(p, first);
      const int n = p->count;
      if (scan == 0) {
        for (int i = 0; i < n; ++i) {
          const int j = (i + 1) % n;
          if (zcontOnOuter(p, i) && zcontOnOuter(p, j)) {
            const Point2D a = zcontPoint(p, i), b = zcontPoint(p, j);
            if (lstPt2Append(midpoints, {(a.x + b.x) / 2, (a.y + b.y) / 2}) < 0) {
              return zcontFail(-1);
            }
          }
        }
      }
      const std::size_t before = recs.size();
      auto add = [&](int i, bool second) {
        Point2D q = zcontPoint(p, i);
        const double t = kontProjectPoint(outer, &q);
        const int index = static_cast<int>(recs.size());
        recs.push_back({t, static_cast<std::int32_t>(k), i, 0, index / 2, q.x, q.y});
        if (smallest < 0 || t < recs[static_cast<std::size_t>(smallest)].param) {
          smallest = index;
          smallestSecond = second;
        }
      };
      for (int i = 0; i < n; ++i) {
        const int j = (i + 1) % n;
        if (zcontOnOuter(p, i) && p->elementIds[j] != -2) add(i, false);
        if (zcontOnOuter(p, j) && p->elementIds[i] != -2) add(j, true);
      }
      if (recs.size() > before) break;
      // No transition: put a point off the boundary into the first segment (from the closing
      // one on) whose midpoint lies away from the region, and look again.
      bool inserted = false;
      for (int s = 0; s < n && !inserted; ++s) {
        const int a = (s + n - 1) % n;  // segment a -> a + 1, the closing one first
        const int b = (a + 1) % n;
        const Point2D pa = zcontPoint(p, a), pb = zcontPoint(p, b);
        const Point2D mid{(pa.x + pb.x) / 2, (pa.y + pb.y) / 2};
        if (geoOnKontCoarse(mid, region) != 0) continue;
        const float xy[2] = {static_cast<float>(mid.x), static_cast<float>(mid.y)};
        const float zero[3] = {0, 0, 0};
        const int at = b == 0 ? n : b;
        if (zpathInsertPoint(p, at, xy, zero, -1, 0) != 1) return zcontFail(-1);
        inserted = true;
      }
    }
  }
  if (recs.size() % 2 != 0) return zcontFail(kZcontOddTransitions);
  if (recs.empty()) return 1;
  if (lstSort(recs.data(), static_cast<int>(recs.size()), sizeof(ZcontTransition),
              zcontCompareTransitions) != 1) {
    return zcontFail(-1);
  }
  if (smallestSecond) std::rotate(recs.begin(), recs.begin() + 1, recs.end());
  const int m = static_cast<int>(recs.size());
  const int nv = outer->count;
  int used = 0;
  const float zero[3] = {0, 0, 0};
  while (2 * used < m) {
    int start = -1;
    for (int i = 0; i < m; i += 2) {
      if (recs[static_cast<std::size_t>(i)].used == 0) {
        start = i;
        break;
      }
    }
    if (start < 0) return zcontFail(kZcontWalkFailed);
    recs[static_cast<std::size_t>(start)].used = 1;
    ++used;
    ZPath* out = zpathNew(64);
    if (out == nullptr) return zcontFail(-1);
    std::unique_ptr<ZPath, int (*)(ZPath*)> owner(out, zpathFree);
    int cur = start, lastPartner = -1, lastNext = -1;
    for (;;) {
      const ZcontTransition rec = recs[static_cast<std::size_t>(cur)];
      int partner = -1;
      for (int step = 0, off = 3; step < 2 * m; ++step, off += 2) {
        const int at = (cur + off) % m;
        if (recs[static_cast<std::size_t>(at)].pair == rec.pair && at != cur) {
          partner = at;
          break;
        }
      }
      if (partner < 0) return zcontFail(kZcontWalkFailed);
      const ZcontTransition part = recs[static_cast<std::size_t>(partner)];
      const ZPath* src = work.paths[static_cast<std::size_t>(rec.path)];
      out->z = src->z;
      for (int i = rec.point; i != part.point; i = (i + 1) % src->count) {
        const int a = zcontAppend(out, zcontPoint(src, i), src->contacts + 3 * i,
                                  src->elementIds[i], src->contactKinds[i]);
        if (a != 1) return a;
      }
      const int next = (partner + m - 1) % m;
      if (partner == lastPartner && next == lastNext) return zcontFail(kZcontWalkFailed);
      lastPartner = partner;
      lastNext = next;
      ZcontTransition& nrec = recs[static_cast<std::size_t>(next)];
      if (nrec.used == 0) {
        nrec.used = 1;
        ++used;
      }
      int a = zcontAppend(out, {part.x, part.y}, zero, -2, -1);
      if (a != 1) return a;
      const int sp = static_cast<int>(std::floor(part.param));
      const int sn = static_cast<int>(std::floor(nrec.param));
      if (!(sp == sn && part.param > nrec.param)) {
        int v = sp;
        for (int guard = 0; guard <= nv; ++guard) {
          const Seg2D& s = outer->segments[((v % nv) + nv) % nv];
          a = zcontAppend(out, {s.x1, s.y1}, zero, -2, -1);
          if (a != 1) return a;
          v = ((v - 1) % nv + nv) % nv;
          if (v == ((sn % nv) + nv) % nv) break;
        }
      }
      a = zcontAppend(out, {nrec.x, nrec.y}, zero, -2, -1);
      if (a != 1) return a;
      if (next == start) break;
      cur = next;
    }
    const Point2D a = zcontPoint(out, 0), b = zcontPoint(out, out->count - 1);
    if (std::fabs(a.x - b.x) + std::fabs(a.y - b.y) < 0.01) {
      char id[32];
      std::snprintf(id, sizeof id, "%d", ++zcontState.pocketCounter);
      const int r = zcontWritePocketContourWith(id, f, out, 0, 0.0, onRegion);
      if (r < 0) return r;
    }
  }
  return 1;
}

enum class ZcontKind { pocket, axis };

// The debug copy of the file written when bit value 4 of "*GRDRAW" is set; the file is flushed
// first, as it is still open.
void zcontDebugCopy(std::FILE* f) {
  const GlobalParams* g = parGlobalBlock();
  if ((g->grdraw & 4) == 0) return;
  char from[1024];
  if (pathJoinDirName(from, sizeof from, g->tmpDir, "tmp.qdx") != 1) return;
  std::fflush(f);
  const std::string to =
      std::string(g->tmpDir) + "/" + std::to_string(zcontState.copyCounter++) + ".qdx";
  geoFileCopy(from, to.c_str());
}

int zcontWrite(ZcontKind kind, const char* path, Kont2D* region, ZPath* paths, int count) {
  if (path == nullptr || region == nullptr || region->count < 1 || region->segments == nullptr) {
    return zcontFail(0);
  }
  if (paths == nullptr) count = 0;
  if (count < 0) count = 0;
  GlobalParams* g = parGlobalBlock();
  const int stockMode = kind == ZcontKind::pocket ? g->stockMode : 0;
  int& counter = kind == ZcontKind::pocket ? zcontState.pocketCounter : zcontState.axisCounter;
  const double mergeLength = zpathGetMergeLength();
  const double regionZ = region->z;
  zpathSetMergeLength(0.0);
  struct Restore {
    Kont2D* region;
    double z;
    double merge;
    bool reversed = false;
    ~Restore() {
      region->z = z;
      zpathSetMergeLength(merge);
      if (reversed) kontReverse(region);
    }
  } restore{region, regionZ, mergeLength};

  zcontMarkBoundaryPoints(region, paths, count);
  // Boundary files of the axis-parallel finishing pass.
  char bnd[1024] = "";
  const bool withBnd = kind == ZcontKind::axis && g->finishPass == 3 &&
                       pathJoinDirName(bnd, sizeof bnd, g->tmpDir, "finpa3bnd.bnd") == 1;
  if (withBnd) platRemoveFile(bnd);
  void (*alsoBnd)(const Kont2D*, const char*) = withBnd ? zcontAppendSingleBnd : nullptr;

  std::FILE* f = std::fopen(path, "w");
  if (f == nullptr) return zcontFail(-1);
  struct Closer {
    std::FILE* f;
    ~Closer() { std::fclose(f); }
  } closer{f};
  zmilWriteHeader(f);
  if (kind == ZcontKind::axis) {
    const int o = kontOrientation(region);
    if ((g->seite == 2 && o == 1) || (g->seite == 1 && o == -1)) {
      kontReverse(region);
      restore.reversed = true;
    }
  }
  ZcontRegionIndex* index = zcontRegionIndexBuild(region);
  if (index == nullptr) return zcontFail(-1);
  std::unique_ptr<ZcontRegionIndex, void (*)(ZcontRegionIndex*)> indexOwner(index,
                                                                            zcontRegionIndexFree);
  const ZcontRegionTest onRegion{region, index};

  if (count == 0) {
    int r = zcontWriteStockContour(f, "stock", region, nullptr);
    if (r < 0) return r;
    if (r == 1 && alsoBnd != nullptr) alsoBnd(region, bnd);
    for (const Kont2D* island = region->child; island != nullptr; island = island->next) {
      const std::string id = std::to_string(counter++);
      r = zcontWriteStockContour(f, id.c_str(), island, nullptr);
      if (r < 0) return r;
      if (r == 1 && alsoBnd != nullptr) alsoBnd(island, bnd);
    }
    zcontDebugCopy(f);
    return 1;
  }

  ZcontPathCopies work;
  std::vector<ZPath*> view;  // the paths the stock part looks at
  const ZPath* least = nullptr;
  bool anyOnOuter = false;
  for (int k = 0; k < count; ++k) {
    if (least == nullptr || paths[k].nestingDepth < least->nestingDepth) least = &paths[k];
    if (zcontTouchesOuter(&paths[k])) anyOnOuter = true;
  }
  Pt2List* midpoints = lstPt2New(16);
  if (midpoints == nullptr) return zcontFail(-1);
  std::unique_ptr<Pt2List, void (*)(Pt2List*)> midOwner(midpoints,
                                                        [](Pt2List* l) { lstBox2Free(l); });
  if (stockMode == 0) {
    for (int k = 0; k < count; ++k) {
      const std::string id = std::to_string(++counter);
      const int r = zcontWritePocketContourWith(id.c_str(), f, &paths[k], 0, 0.0, onRegion);
      if (r < 0) return r;
      if (r == 1 && withBnd) zpathAppendBnd(&paths[k], bnd);
      view.push_back(&paths[k]);
    }
  } else {
    for (int k = 0; k < count; ++k) {
      ZPath* copy = zcontCopyPath(&paths[k]);
      if (copy == nullptr) return zcontFail(-1);
      work.paths.push_back(copy);
    }
    const int r = zcontWriteStockMode(f, region, work, midpoints, onRegion);
    if (r < 0) return r;
    view = work.paths;
  }

  // Stock part.
  if (kind == ZcontKind::pocket) region->z = least->z;
  bool outerWritten = false;
  const bool outerAsStock =
      kind == ZcontKind::pocket
          ? ((anyOnOuter && stockMode == 1) || (!anyOnOuter && least->materialInside != 0))
          : (!anyOnOuter && least->materialInside != 0);
  if (outerAsStock) {
    const int r =
        zcontWriteStockContour(f, "stock", region, kind == ZcontKind::pocket ? midpoints : nullptr);
    if (r < 0) return r;
    outerWritten = r == 1;
    if (r == 1 && alsoBnd != nullptr) alsoBnd(region, bnd);
  }
  const int r = zcontWriteIslands(f, region, view.data(), static_cast<int>(view.size()), least,
                                  outerWritten, alsoBnd, bnd);
  if (r < 0) return r;
  zcontDebugCopy(f);
  return 1;
}

}  // namespace

int zmilWriteHeader(std::FILE* f) {
  if (f == nullptr) return 1;
  std::fprintf(f,
               "%s\nqDX-Version: 1.0\nGeometry\nruzmilhc\n\nvprecision(8) ; Nachkommastellen\n\n",
               xchgBanner);
  return 1;
}

int zcontWriteStockContour(std::FILE* f, const char* id, const Kont2D* contour, Pt2List* extra) {
  if (f == nullptr || contour == nullptr || contour->count < 3 || contour->segments == nullptr) {
    return 0;
  }
  struct Vertex {
    double param;
    double x, y;
  };
  static_assert(offsetof(Vertex, param) == 0);
  std::vector<Vertex> v;
  try {
    v.reserve(static_cast<std::size_t>(contour->count) +
              (extra != nullptr ? static_cast<std::size_t>(extra->count) : 0));
  } catch (...) {
    return zcontFail(-1);
  }
  for (int i = 0; i < contour->count; ++i) {
    v.push_back({static_cast<double>(i), contour->segments[i].x1, contour->segments[i].y1});
  }
  if (extra != nullptr) {
    for (int i = 0; i < extra->count; ++i) {
      const double t = kontProjectPoint(contour, &extra->items[i]);
      v.push_back({t, extra->items[i].x, extra->items[i].y});
    }
    if (lstSort(v.data(), static_cast<int>(v.size()), sizeof(Vertex), zcontCompareDoubles) != 1) {
      return zcontFail(-1);
    }
  }
  std::fprintf(f, "oContour(id[%s]){\n  vstock(true)\n%s  vzconst(%lf)\n\nvclip(true)\n", id,
               zcontSideLine(), contour->z);
  std::fprintf(f, "  oL[start]( x[%.8lf/%.8lf] y[%.8lf/%.8lf] )\n", v[0].x, v[1].x, v[0].y, v[1].y);
  for (std::size_t i = 2; i < v.size(); ++i) {
    std::fprintf(f, "  oL( x[/%.8lf] y[/%.8lf] )\n", v[i].x, v[i].y);
  }
  std::fprintf(f, "  oL( x[/%.8lf] y[/%.8lf] )\nvclip(false)\n}\n\n", v[0].x, v[0].y);
  return 1;
}

int zcontWriteContour(const char* id, std::FILE* f, const ZPath* path, const Kont2D* region) {
  return zcontWriteContourWith(id, f, path, ZcontRegionTest{region, nullptr});
}

int zcontWritePocketContour(const char* id, std::FILE* f, const ZPath* path, int arcFlag,
                            double tolerance, const Kont2D* region) {
  return zcontWritePocketContourWith(id, f, path, arcFlag, tolerance,
                                     ZcontRegionTest{region, nullptr});
}

int zcontPointInRegions(const Kont2D* regions, double x0, double y0, double x1, double y1) {
  const Point2D mid{(x0 + x1) / 2, (y0 + y1) / 2};
  for (const Kont2D* r = regions; r != nullptr; r = r->next) {
    for (const Kont2D* k = r; k != nullptr; k = kontWalkNext(r, k)) {
      for (int i = 0; i < k->count; ++i) {
        if (zcontMidpointNear(k->segments[i], mid)) return 1;
      }
    }
  }
  return 0;
}

ZcontRegionIndex* zcontRegionIndexBuild(const Kont2D* regions) {
  auto* index = static_cast<ZcontRegionIndex*>(std::calloc(1, sizeof(ZcontRegionIndex)));
  if (index == nullptr) return nullptr;
  int total = 0;
  for (const Kont2D* r = regions; r != nullptr; r = r->next) {
    for (const Kont2D* k = r; k != nullptr; k = kontWalkNext(r, k)) total += k->count;
  }
  if (total > 0) {
    index->segments =
        static_cast<Seg2D*>(std::malloc(static_cast<std::size_t>(total) * sizeof(Seg2D)));
    if (index->segments == nullptr) {
      std::free(index);
      return nullptr;
    }
    for (const Kont2D* r = regions; r != nullptr; r = r->next) {
      for (const Kont2D* k = r; k != nullptr; k = kontWalkNext(r, k)) {
        std::memcpy(index->segments + index->count, k->segments,
                    static_cast<std::size_t>(k->count) * sizeof(Seg2D));
        index->count += k->count;
      }
    }
    index->grid = gridBucketBuild(index->segments, sizeof(Seg2D), index->count,
                                  2 * kZcontOnRegionTol, lstSegBoxCb);
    if (index->grid == nullptr) {
      zcontRegionIndexFree(index);
      return nullptr;
    }
  }
  return index;
}

int zcontPointInRegionsIndexed(const ZcontRegionIndex* index, double x0, double y0, double x1,
                               double y1) {
  if (index == nullptr || index->grid == nullptr) return 0;
  const Point2D mid{(x0 + x1) / 2, (y0 + y1) / 2};
  const IntList* cell = gridBucketCell(index->grid, mid.x, mid.y);
  if (cell == nullptr) return 0;
  for (int i = 0; i < cell->count; ++i) {
    if (zcontMidpointNear(index->segments[cell->items[i]], mid)) return 1;
  }
  return 0;
}

void zcontRegionIndexFree(ZcontRegionIndex* index) {
  if (index == nullptr) return;
  gridBucketFree(index->grid);
  std::free(index->segments);
  std::free(index);
}

int zcontCompareDoubles(const void* a, const void* b) {
  const double x = *static_cast<const double*>(a);
  const double y = *static_cast<const double*>(b);
  if (x > y) return 1;
  if (x < y) return -1;
  return 0;
}

int zcontPointInside(double, double, double, double) { return 0; }

int zcontWritePocket(const char* path, Kont2D* region, ZPath* paths, int count, int) {
  try {
    return zcontWrite(ZcontKind::pocket, path, region, paths, count);
  } catch (...) {
    return zcontFail(-1);
  }
}

int zcontWriteAxisPocket(const char* path, Kont2D* region, ZPath* paths, int count, int) {
  try {
    return zcontWrite(ZcontKind::axis, path, region, paths, count);
  } catch (...) {
    return zcontFail(-1);
  }
}

int zcontPocketCounter() { return zcontState.pocketCounter; }
int zcontAxisCounter() { return zcontState.axisCounter; }
void zcontResetState() { zcontState = ZcontState{}; }
