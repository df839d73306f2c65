// offset2d.cpp - region offsets traced by the contour walker along the region's segments as walls,
// and the corner rounding of regions through the Z-path fillet. All work happens at a scale where
// the distance is 10, so the walker's fixed tolerances mean the same for every distance.
#include "geometry/offset2d.h"

#include <algorithm>
#include <cfloat>
#include <climits>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <new>
#include <source_location>
#include <string>
#include <vector>

#include "framework/memory.h"
#include "framework/messages.h"
#include "geometry/bucket_grid.h"
#include "geometry/geo_error.h"
#include "geometry/kont_nest.h"
#include "geometry/kont_region.h"
#include "geometry/lists.h"
#include "geometry/lst_sort.h"
#include "geometry/pko_list.h"
#include "geometry/plane_geo.h"
#include "geometry/stel_list.h"
#include "geometry/walker_hooks.h"
#include "geometry/zlevel_records.h"

namespace {

constexpr const char* kModule = "offset2d";
constexpr double kWorkDistance = 10.0;   // the distance at the working scale
constexpr double kFrameGrowth = 3.1111;  // frame margin in working distances
constexpr double kGapTol = 0.1;          // a larger gap makes a contour open
constexpr int kTries = 10;
constexpr double kTryStep = 10.0 * 0.0001;  // change of the distance per try number
constexpr double kCandFactor = 1.1;         // candidate length in working distances
constexpr double kMinSegLength = 0.00001;
constexpr double kMinCandLength = 0.001;
constexpr double kMoveBeyond = 0.1;  // a contact move runs this far past the segment's midpoint
constexpr double kPassRadius = 0.2;  // a traced segment passes a candidate end this near
constexpr double kPassOnSeg = 0.001;
constexpr double kPassBox = 0.5;
constexpr double kMinFilletRadius = 1e-6;
// Seeds of the second sweep: grid spacing and the least extra clearance, in distances, and how
// near a traced path must pass a seed's contact to have traced its loop.
constexpr double kSeedSpacing = 0.5;
constexpr double kSeedClearance = 0.01;
constexpr double kSeedPassed = 0.5;
// Most grid nodes the seeds may span (a bit each).
constexpr double kSeedMaxNodes = 1e9;

int off2dFail(int code, std::source_location at = std::source_location::current()) {
  geoErrSet(code, kModule, static_cast<int>(at.line()));
  return code;
}

// Restores the contour module's two switches when the offset returns.
class SwitchGuard {
 public:
  SwitchGuard() : noRound_(kontGetNoRound()), skipCheck_(kontGetSkipCheck()) {}
  ~SwitchGuard() {
    kontSetNoRound(noRound_);
    kontSetSkipCheck(skipCheck_);
  }
  SwitchGuard(const SwitchGuard&) = delete;
  SwitchGuard& operator=(const SwitchGuard&) = delete;

 private:
  int noRound_;
  int skipCheck_;
};

// Owns a region list for the length of a scope.
struct KontOwner {
  Kont2D* k = nullptr;
  ~KontOwner() { kontFree(k); }
  Kont2D* release() {
    Kont2D* r = k;
    k = nullptr;
    return r;
  }
};

double segLength(const Seg2D& s) { return std::hypot(s.x2 - s.x1, s.y2 - s.y1); }

// A contour is open when its ends or two consecutive segments are more than kGapTol apart.
bool contourOpen(const Kont2D* k) {
  if (k->count <= 0 || k->segments == nullptr) return false;
  const Seg2D* s = k->segments;
  const Seg2D& last = s[k->count - 1];
  if (std::hypot(last.x2 - s[0].x1, last.y2 - s[0].y1) > kGapTol) return true;
  for (int i = 1; i < k->count; ++i) {
    if (std::hypot(s[i].x1 - s[i - 1].x2, s[i].y1 - s[i - 1].y2) > kGapTol) return true;
  }
  return false;
}

// Reverses one contour of a region (not its islands).
void reverseContour(Kont2D* k) {
  Kont2D* child = k->child;
  k->child = nullptr;
  kontReverse(k);
  k->child = child;
}

// Crossing parity of points against one contour, with the edges bucketed in horizontal slabs so
// that a test visits only the edges spanning the point's height. Same rule as the region point test
// (polygon of the segment starts, half-open in y).
class ParityIndex {
 public:
  // The polygon of the contour's segment starts.
  int build(const Kont2D* k) { return buildFrom(k, false); }
  // Every contour of the region (its outer contour and islands) by its segment starts: inside the
  // region is inside an odd number of them.
  int buildRegion(const Kont2D* region) { return buildFrom(region, true); }

  bool inside(const Point2D& p) const {
    if (edges_.empty() || p.x < x0_ || p.x > x1_ || p.y < y0_ || p.y > y1_) return false;
    const int j = slab(p.y);
    bool in = false;
    for (int e = start_[j]; e < start_[j + 1]; ++e) {
      const Seg2D& s = edges_[static_cast<std::size_t>(items_[e])];
      if ((s.y1 > p.y) != (s.y2 > p.y)) {
        const double x = s.x1 + (p.y - s.y1) * (s.x2 - s.x1) / (s.y2 - s.y1);
        if (p.x < x) in = !in;
      }
    }
    return in;
  }

 private:
  // The edges of the contour k, or of every contour of its region, from each segment start to the
  // next; contours of fewer than 3 segments have none.
  int buildFrom(const Kont2D* region, bool islands) {
    std::vector<Seg2D> edges;
    try {
      for (const Kont2D* k = region; k != nullptr;
           k = islands ? kontWalkNext(region, k) : nullptr) {
        if (k->count < 3) continue;
        for (int i = 0; i < k->count; ++i) {
          const Seg2D& a = k->segments[i];
          const Seg2D& b = k->segments[(i + 1) % k->count];
          edges.push_back(Seg2D{a.x1, a.y1, b.x1, b.y1});
        }
      }
    } catch (const std::bad_alloc&) {
      return -1;
    }
    return buildEdges(std::move(edges));
  }

  // Buckets the edges in horizontal slabs, so that a test visits only the edges spanning the
  // point's height. Same rule as the region point test (half-open in y).
  int buildEdges(std::vector<Seg2D> edges) {
    edges_ = std::move(edges);
    const int n = static_cast<int>(edges_.size());
    if (n == 0) return 1;
    x0_ = y0_ = DBL_MAX;
    x1_ = y1_ = -DBL_MAX;
    for (const Seg2D& s : edges_) {
      x0_ = std::min({x0_, s.x1, s.x2});
      x1_ = std::max({x1_, s.x1, s.x2});
      y0_ = std::min({y0_, s.y1, s.y2});
      y1_ = std::max({y1_, s.y1, s.y2});
    }
    slabs_ = std::max(1, std::min(n / 2, 1 << 16));
    scale_ = y1_ > y0_ ? slabs_ / (y1_ - y0_) : 0.0;
    try {
      start_.assign(static_cast<std::size_t>(slabs_) + 1, 0);
      for (int pass = 0; pass < 2; ++pass) {
        std::vector<int> fill;
        if (pass == 1) {
          for (int j = 0; j < slabs_; ++j) start_[j + 1] += start_[j];
          items_.assign(static_cast<std::size_t>(start_[slabs_]), 0);
          fill.assign(start_.begin(), start_.end() - 1);
        }
        for (int i = 0; i < n; ++i) {
          const Seg2D& s = edges_[static_cast<std::size_t>(i)];
          const int s0 = slab(std::min(s.y1, s.y2)), s1 = slab(std::max(s.y1, s.y2));
          for (int j = s0; j <= s1; ++j) {
            if (pass == 0)
              ++start_[j + 1];
            else
              items_[fill[j]++] = i;
          }
        }
      }
    } catch (const std::bad_alloc&) {
      return -1;
    }
    return 1;
  }
  int slab(double y) const {
    const double t = (y - y0_) * scale_;
    if (!(t > 0.0)) return 0;
    if (t >= slabs_ - 1) return slabs_ - 1;
    return static_cast<int>(t);
  }

  std::vector<Seg2D> edges_;
  double x0_ = 0.0, y0_ = 0.0, x1_ = 0.0, y1_ = 0.0, scale_ = 0.0;
  int slabs_ = 1;
  std::vector<int> start_;
  std::vector<int> items_;
};

int compareWallX1(const void* a, const void* b) {
  const double x = static_cast<const Seg2D*>(a)->x1, y = static_cast<const Seg2D*>(b)->x1;
  return x < y ? -1 : (x > y ? 1 : 0);
}

// The working records of one offset.
struct Offset {
  const Kont2D* region = nullptr;  // the caller's region
  Kont2D* copy = nullptr;          // scaled copy
  Kont2D* walls = nullptr;         // every segment with x1 <= x2, sorted by x1, scaled
  Kont2D* frame = nullptr;
  StelList* cands = nullptr;
  PkoList* traced = nullptr;
  IntList* starts = nullptr;
  ParityIndex outerParity;
  ParityIndex regionParity;  // the whole region, for the seeds
  CellGrid wallGrid;         // the walls by position, for the candidate filter and the seeds
  // The walls as the grid holds them: the walker sorts the wall contour again when it prepares.
  std::vector<Seg2D> gridWalls;
  double scale = 1.0;
  double maxCandDy = 0.0;  // largest y extent of a candidate
  int side = 1;            // 1 right of a counter-clockwise outer contour, 2 left
  bool open = false;
  bool sorted = false;

  ~Offset() {
    kontFree(copy);
    kontFree(walls);
    kontFree(frame);
    stelListFree(cands);
    pkoListFree(traced);
    lstIntFree(starts);
  }
};

int buildWalls(Offset& w) {
  int n = 0;
  for (const Kont2D* k = w.copy; k != nullptr; k = kontWalkNext(w.copy, k)) n += k->count;
  w.walls = kontNew(nullptr, n);
  if (w.walls == nullptr) return off2dFail(-1);
  for (const Kont2D* k = w.copy; k != nullptr; k = kontWalkNext(w.copy, k)) {
    for (int i = 0; i < k->count; ++i) {
      Seg2D s = k->segments[i];
      if (s.x2 <= s.x1) s = Seg2D{s.x2, s.y2, s.x1, s.y1};
      if (kontAppendSeg(w.walls, &s) != 1) return off2dFail(-1);
    }
  }
  if (lstSort(w.walls->segments, w.walls->count, sizeof(Seg2D), compareWallX1) != 1)
    return off2dFail(-1);
  w.walls->closed = w.region->closed;
  w.walls->z = 0.0;
  return 1;
}

// Grid of the walls' boxes with cells of at least the candidate length, so that the filter of a
// candidate visits the walls of a few cells only.
int buildWallGrid(Offset& w) {
  const int n = w.walls->count;
  w.gridWalls.assign(w.walls->segments, w.walls->segments + n);
  std::vector<double> boxes(4 * static_cast<std::size_t>(n));
  for (int i = 0; i < n; ++i) {
    const Seg2D& s = w.walls->segments[i];
    boxes[4 * i] = std::min(s.x1, s.x2);
    boxes[4 * i + 1] = std::min(s.y1, s.y2);
    boxes[4 * i + 2] = std::max(s.x1, s.x2);
    boxes[4 * i + 3] = std::max(s.y1, s.y2);
  }
  const int r = gridCellsBuild(&w.wallGrid, boxes.data(), n, 0.0, kWorkDistance * kCandFactor);
  return r == 1 ? 1 : off2dFail(r);
}

// Calls f with every wall whose cell lies within reach of p (a wall may come more than once);
// stops and returns true as soon as f does.
template <typename F>
bool anyWallNear(const Offset& w, const Point2D& p, double reach, F f) {
  const CellGrid& g = w.wallGrid;
  if (w.walls->count == 0) return false;
  const int c0 = gridCellsCol(g, p.x - reach), c1 = gridCellsCol(g, p.x + reach);
  const int r0 = gridCellsRow(g, p.y - reach), r1 = gridCellsRow(g, p.y + reach);
  for (int row = r0; row <= r1; ++row) {
    for (int col = c0; col <= c1; ++col) {
      const int cell = row * g.cols + col;
      for (int e = g.start[cell]; e < g.start[cell + 1]; ++e)
        if (f(w.gridWalls[static_cast<std::size_t>(g.items[e])])) return true;
    }
  }
  return false;
}

// 1 when a wall comes within tol of p: near its line and projecting inside it, or an end within
// tol.
bool wallNear(const Offset& w, const Point2D& p, double tol) {
  return anyWallNear(w, p, tol, [&](const Seg2D& a) {
    if (std::min(a.x1, a.x2) > p.x + tol || std::max(a.x1, a.x2) < p.x - tol ||
        std::min(a.y1, a.y2) > p.y + tol || std::max(a.y1, a.y2) < p.y - tol)
      return false;
    if (geoDistToLine(p, a) > tol) return false;
    if (geoProjInSeg(a, p) == 1) return true;
    return std::hypot(p.x - a.x1, p.y - a.y1) <= tol || std::hypot(p.x - a.x2, p.y - a.y2) <= tol;
  });
}

// Start candidates of one try: a point 1.1 delta beside the midpoint of every segment on the
// requested side, paired with the midpoint; dropped when it lies on the wrong side of the outer
// contour or a wall comes nearer than the candidate is long.
int buildCandidates(Offset& w, double delta, int tryNo) {
  w.cands->count = 0;
  w.cands->sortState = kStelUnsorted;
  w.sorted = false;
  for (const Kont2D* k = w.copy; k != nullptr; k = kontWalkNext(w.copy, k)) {
    const int o = kontOrientation(k);
    const bool outer = k == w.copy;
    bool right;
    if (w.open) {
      right = w.side == 4 || ((w.side == 1 || w.side == 2) && tryNo % 2 == 0);
    } else if (w.side == 1) {
      right = (outer && o > 0) || (!outer && o < 0);
    } else if (w.side == 2) {
      right = !((outer && o > 0) || (!outer && o < 0));
    } else {
      right = false;
    }
    for (int i = 0; i < k->count; ++i) {
      const Seg2D& s = k->segments[i];
      const double len = segLength(s);
      if (len < kMinSegLength) continue;
      const double ux = (s.x2 - s.x1) / len, uy = (s.y2 - s.y1) / len;
      const double f = delta * kCandFactor;
      const double nx = right ? uy : -uy, ny = right ? -ux : ux;
      const Point2D m{(s.x1 + s.x2) / 2.0, (s.y1 + s.y2) / 2.0};
      if (stelListAppend(w.cands, Seg2D{m.x + f * nx, m.y + f * ny, m.x, m.y}) != 1)
        return off2dFail(-1);
    }
  }
  if (w.open && w.copy->count > 0) {
    const Seg2D& a = w.copy->segments[0];
    const Seg2D& b = w.copy->segments[w.copy->count - 1];
    const double la = segLength(a), lb = segLength(b);
    const double f = delta * kCandFactor;
    if (la >= kMinSegLength) {
      const double ux = (a.x2 - a.x1) / la, uy = (a.y2 - a.y1) / la;
      if (stelListAppend(w.cands, Seg2D{a.x1 - f * ux, a.y1 - f * uy, a.x1, a.y1}) != 1)
        return off2dFail(-1);
    }
    if (lb >= kMinSegLength) {
      const double ux = (b.x2 - b.x1) / lb, uy = (b.y2 - b.y1) / lb;
      if (stelListAppend(w.cands, Seg2D{b.x2 + f * ux, b.y2 + f * uy, b.x2, b.y2}) != 1)
        return off2dFail(-1);
    }
  }
  if (w.cands->count == 0) return 1;
  const double T = segLength(w.cands->segments[0]) - 0.001;
  int kept = 0;
  w.maxCandDy = 0.0;
  for (int i = 0; i < w.cands->count; ++i) {
    const Seg2D c = w.cands->segments[i];
    const Point2D p{c.x1, c.y1};
    if (!w.open) {
      const bool inside = w.outerParity.inside(p);
      if (w.side == 1 && inside) continue;
      if (w.side == 2 && !inside) continue;
    }
    if (wallNear(w, p, T)) continue;
    w.cands->segments[kept++] = c;
    w.maxCandDy = std::max(w.maxCandDy, std::fabs(c.y2 - c.y1));
  }
  w.cands->count = kept;
  if (lstSort(w.cands->segments, kept, sizeof(Seg2D), stelCompareByBox) != 1) return off2dFail(-1);
  w.sorted = true;
  return 1;
}

// 1 when the traced segment s passes the candidate end e: the line of s cuts the circle of radius
// kPassRadius about e on s, or an end of s lies within that radius.
bool endPassed(const Seg2D& s, const Point2D& e) {
  if (std::hypot(s.x1 - e.x, s.y1 - e.y) <= kPassRadius) return true;
  if (std::hypot(s.x2 - e.x, s.y2 - e.y) <= kPassRadius) return true;
  const double dx = s.x2 - s.x1, dy = s.y2 - s.y1;
  const double len = std::hypot(dx, dy);
  if (len < 1e-12) return false;
  const double ux = dx / len, uy = dy / len;
  const double t = (e.x - s.x1) * ux + (e.y - s.y1) * uy;  // foot along s
  const double h = std::fabs((e.x - s.x1) * uy - (e.y - s.y1) * ux);
  if (h > kPassRadius) return false;
  const double half = std::sqrt(kPassRadius * kPassRadius - h * h);
  const double slack = kPassOnSeg;
  for (const double c : {t - half, t + half}) {
    if (c >= -slack && c <= len + slack) return true;
  }
  return false;
}

// Removes the candidates that the traced path [from, end) passes.
int dropPassed(Offset& w, int from) {
  StelList* cl = w.cands;
  if (!w.sorted) {
    if (lstSort(cl->segments, cl->count, sizeof(Seg2D), stelCompareByBox) != 1)
      return off2dFail(-1);
    w.sorted = true;
  }
  const PkoList* t = w.traced;
  if (from >= t->count || cl->count == 0) return 1;
  double bx0 = DBL_MAX, by0 = DBL_MAX, bx1 = -DBL_MAX, by1 = -DBL_MAX;
  for (int i = from; i < t->count; ++i) {
    bx0 = std::min(bx0, t->boxes[i].min.x);
    by0 = std::min(by0, t->boxes[i].min.y);
    bx1 = std::max(bx1, t->boxes[i].max.x);
    by1 = std::max(by1, t->boxes[i].max.y);
  }
  std::vector<char> gone;
  try {
    gone.assign(static_cast<std::size_t>(cl->count), 0);
  } catch (const std::bad_alloc&) {
    return off2dFail(-1);
  }
  const Seg2D* c = cl->segments;
  const int n = cl->count;
  auto lowY = [](const Seg2D& s) { return std::min(s.y1, s.y2); };
  for (int i = from; i < t->count; ++i) {
    const Seg3D& s3 = t->segments[i];
    const Seg2D s{s3.start.x, s3.start.y, s3.end.x, s3.end.y};
    const PkoBox& sb = t->boxes[i];
    const double from_y = sb.min.y - kPassBox - w.maxCandDy;
    int j = static_cast<int>(
        std::lower_bound(c, c + n, from_y, [&](const Seg2D& a, double y) { return lowY(a) < y; }) -
        c);
    double la = 0.0, lb = 0.0, lc = 0.0;
    const bool hasLine = geoLineEq(s, &la, &lb, &lc) == 1;
    const Point3D& touch = t->vectors[i];
    const double touchSide = la * touch.x + lb * touch.y + lc;
    for (; j < n; ++j) {
      const Seg2D& k = c[j];
      const double ky0 = lowY(k);
      if (ky0 > sb.max.y + kPassBox) break;
      if (gone[j]) continue;
      const double kx0 = std::min(k.x1, k.x2), kx1 = std::max(k.x1, k.x2);
      const double ky1 = std::max(k.y1, k.y2);
      if (kx0 > bx1 + kPassBox || kx1 < bx0 - kPassBox || ky0 > by1 + kPassBox ||
          ky1 < by0 - kPassBox)
        continue;
      if (kx0 > sb.max.x + kPassBox || kx1 < sb.min.x - kPassBox || ky1 < sb.min.y - kPassBox)
        continue;
      if (geoSegsCross(s, k) == 1) {
        gone[j] = 1;
        continue;
      }
      if (endPassed(s, Point2D{k.x2, k.y2})) {
        gone[j] = 1;
        continue;
      }
      if (hasLine && endPassed(s, Point2D{k.x1, k.y1})) {
        const double side = la * k.x1 + lb * k.y1 + lc;
        if ((side > 0.0 && touchSide > 0.0) || (side < 0.0 && touchSide < 0.0)) gone[j] = 1;
      }
    }
  }
  int kept = 0;
  for (int j = 0; j < n; ++j) {
    if (!gone[j]) cl->segments[kept++] = cl->segments[j];
  }
  cl->count = kept;
  return 1;
}

// The walker's records of one try.
struct Walk {
  CollCtx ctx{};
  WalkTool tool{};
  WalkParams params{};
  SliceContext slice{};
};

// Traces the path through the contact found by a move of the circle (hit ends at the circle's
// centre at contact), appends it to the traced list with its start index and merges its collinear
// segments. Returns the walker's result; kOff2dNothingTraced when it traced nothing.
int traceContact(Offset& w, Walk& walk, const Seg2D& hit) {
  walk.params.start = Point3D{hit.x2, hit.y2, walk.params.z};
  walk.params.startSegment = hit;
  const int before = w.traced->count;
  const int tr = walkTrace(&walk.ctx, &walk.tool, &walk.params, &walk.slice);
  if (tr < 0) return tr;
  if (w.traced->count == before) return off2dFail(kOff2dNothingTraced);
  pkoListMergeRange(w.traced, before, w.traced->count);
  if (lstIntAppend(w.starts, before) < 0) return off2dFail(-1);
  return tr;
}

// The nearest wall within reach of p: its distance (reach when none is nearer) and point.
double nearestWall(const Offset& w, const Point2D& p, double reach, Point2D* at) {
  double best2 = reach * reach;
  anyWallNear(w, p, reach, [&](const Seg2D& a) {
    const double dx = a.x2 - a.x1, dy = a.y2 - a.y1, l2 = dx * dx + dy * dy;
    double t = l2 > 0.0 ? ((p.x - a.x1) * dx + (p.y - a.y1) * dy) / l2 : 0.0;
    t = std::clamp(t, 0.0, 1.0);
    const double fx = a.x1 + t * dx, fy = a.y1 + t * dy;
    const double d2 = (fx - p.x) * (fx - p.x) + (fy - p.y) * (fy - p.y);
    if (d2 < best2) {
      best2 = d2;
      *at = Point2D{fx, fy};
    }
    return false;
  });
  return std::sqrt(best2);
}

// The traced segments on a cell grid, for the question whether a point lies on a traced path.
class TracedCells {
 public:
  // Indexes the traced list as it stands. Returns 1, or a failure code of the grid.
  int build(const PkoList* t) {
    t_ = t;
    std::vector<double> boxes(4 * static_cast<std::size_t>(t->count));
    for (int i = 0; i < t->count; ++i) {
      const PkoBox& b = t->boxes[i];
      boxes[4 * i] = b.min.x;
      boxes[4 * i + 1] = b.min.y;
      boxes[4 * i + 2] = b.max.x;
      boxes[4 * i + 3] = b.max.y;
    }
    return gridCellsBuild(&grid_, boxes.data(), t->count, kSeedPassed);
  }
  // 1 when a traced segment passes within kSeedPassed of p.
  bool near(const Point2D& p) const {
    if (t_ == nullptr || t_->count == 0) return false;
    const int cell = gridCellsRow(grid_, p.y) * grid_.cols + gridCellsCol(grid_, p.x);
    for (int e = grid_.start[cell]; e < grid_.start[cell + 1]; ++e) {
      const Seg3D& s = t_->segments[grid_.items[e]];
      const double dx = s.end.x - s.start.x, dy = s.end.y - s.start.y;
      const double l2 = dx * dx + dy * dy;
      double u = l2 > 0.0 ? ((p.x - s.start.x) * dx + (p.y - s.start.y) * dy) / l2 : 0.0;
      u = std::clamp(u, 0.0, 1.0);
      const double ex = s.start.x + u * dx - p.x, ey = s.start.y + u * dy - p.y;
      if (ex * ex + ey * ey <= kSeedPassed * kSeedPassed) return true;
    }
    return false;
  }

 private:
  const PkoList* t_ = nullptr;
  CellGrid grid_;
};

// Seeds of the second sweep: the nodes of a square grid of spacing kSeedSpacing distances near
// the walls, on the side the offset goes to (outside the outer contour when growing, inside the
// region when shrinking), whose clearance (distance to the nearest wall) lies
// between the distance and one spacing beyond it. Every loop of the offset longer than about a
// spacing passes near such a node, and the contact of a circle moved from the node toward its
// nearest wall lies on that loop. The candidates beside the segments miss loops that touch only
// the corners of dense outlines: a star of 10,000 spikes offset inward by less than its spikes are
// deep has a wall within 1.1 distances of every candidate, and its offset vanished.
int traceSeeds(Offset& w, Walk& walk, double delta) {
  const double h = kSeedSpacing * delta;
  const double reach = delta + h;
  const double low = delta * (1.0 + kSeedClearance);
  TracedCells traced;
  if (int rc = traced.build(w.traced); rc != 1) return off2dFail(rc);
  // The nodes seen, as bits over the walls' box grown by the reach.
  const long long cx0 = static_cast<long long>(std::floor((w.walls->xmin - reach) / h)) - 1;
  const long long cy0 = static_cast<long long>(std::floor((w.walls->ymin - reach) / h)) - 1;
  const long long nx = static_cast<long long>(std::ceil((w.walls->xmax + reach) / h)) - cx0 + 2;
  const long long ny = static_cast<long long>(std::ceil((w.walls->ymax + reach) / h)) - cy0 + 2;
  if (!(nx > 0 && ny > 0 && static_cast<double>(nx) * static_cast<double>(ny) < kSeedMaxNodes))
    return 1;  // a distance this small against the region: the candidates stand alone
  std::vector<bool> seen(static_cast<std::size_t>(nx * ny), false);
  auto node = [&](long long c, long long r) { return Point2D{c * h, r * h}; };
  for (int i = 0; i < w.walls->count; ++i) {
    const Seg2D& a = w.walls->segments[i];
    const double len = segLength(a);
    const int steps = std::max(1, static_cast<int>(std::ceil(len / h)));
    for (int k = 0; k <= steps; ++k) {
      if (out3dCheckBreak() == 1) return off2dFail(-2);
      const Point2D q{a.x1 + (a.x2 - a.x1) * k / steps, a.y1 + (a.y2 - a.y1) * k / steps};
      const long long c0 = static_cast<long long>(std::floor((q.x - reach) / h));
      const long long c1 = static_cast<long long>(std::ceil((q.x + reach) / h));
      const long long r0 = static_cast<long long>(std::floor((q.y - reach) / h));
      const long long r1 = static_cast<long long>(std::ceil((q.y + reach) / h));
      for (long long r = r0; r <= r1; ++r) {
        for (long long c = c0; c <= c1; ++c) {
          const std::size_t bit = static_cast<std::size_t>((r - cy0) * nx + (c - cx0));
          if (seen[bit]) continue;
          seen[bit] = true;
          const Point2D p = node(c, r);
          // The wall point q is as near as that: a node this near it is too near the walls.
          if ((p.x - q.x) * (p.x - q.x) + (p.y - q.y) * (p.y - q.y) <= low * low) continue;
          Point2D foot{};
          const double clear = nearestWall(w, p, reach, &foot);
          if (clear >= reach || clear <= low) continue;
          // Growing: outside the outer contour (as the candidates, so that islands go); shrinking:
          // inside the region.
          if (w.side == 1 ? w.outerParity.inside(p) : !w.regionParity.inside(p)) continue;
          // The circle moved from p toward the foot touches the walls at this point.
          const double ux = (foot.x - p.x) / clear, uy = (foot.y - p.y) / clear;
          const Point2D touch{p.x + (clear - delta) * ux, p.y + (clear - delta) * uy};
          if (traced.near(touch)) continue;
          const Seg2D move{p.x, p.y, foot.x + kMoveBeyond * ux, foot.y + kMoveBeyond * uy};
          Seg2D hit{};
          Point2D contact{};
          int element = -1, kind = 0;
          const int rc =
              walkWallContact(w.walls, w.frame, delta, move, &hit, &contact, &element, &kind);
          if (rc < 0) return rc;
          if (rc != 1) continue;
          const int tr = traceContact(w, walk, hit);
          if (tr < 0) return tr;
          if (int rb = traced.build(w.traced); rb != 1) return off2dFail(rb);
        }
      }
    }
  }
  return 1;
}

// One try: traces a path from the first candidate that meets a wall, drops the candidates it
// passes, and sweeps again until no candidate is left.
int traceAll(Offset& w, double delta, int tryNo) {
  Walk walk{};
  walk.ctx.walls = w.walls;
  walk.ctx.region = w.frame;
  walk.tool = WalkTool{delta, 0.0, 2};
  walk.params.tolerance = 0.1;
  walk.params.z = 0.0;
  walk.params.direction = 1;
  walk.params.step = 1.0;
  walk.params.shuffleSeed = tryNo;
  walk.slice.traced = w.traced;
  CollCtx& ctx = walk.ctx;
  WalkTool& tool = walk.tool;
  WalkParams& params = walk.params;
  if (walkPrepare(&ctx, &tool, &params) != 1) {
    walkRelease(&ctx, &tool, &params);
    return off2dFail(-1);
  }
  if (tryNo > 0) {
    stelListShuffleFirst(w.cands, tryNo);
    w.sorted = false;
  }
  int result = 1;
  StelList* cl = w.cands;
  while (result > 0 && cl->count > 0) {
    if (out3dCheckBreak() == 1) {
      result = off2dFail(-2);
      break;
    }
    // Candidates without a wall contact are dropped as the sweep passes them (kept ones move down
    // to `kept`); the sweep ends at the first traced path.
    bool removed = false;
    bool tracedOne = false;
    int kept = 0;
    int i = 0;
    for (; i < cl->count && !tracedOne && result > 0; ++i) {
      const Seg2D k = cl->segments[i];
      const double len = segLength(k);
      if (len <= kMinCandLength) {
        cl->segments[kept++] = k;
        continue;
      }
      const double ux = (k.x2 - k.x1) / len, uy = (k.y2 - k.y1) / len;
      const Seg2D move{k.x1, k.y1, k.x2 + kMoveBeyond * ux, k.y2 + kMoveBeyond * uy};
      Seg2D hit{};
      Point2D touch{};
      int element = -1, kind = 0;
      const int rc = walkWallContact(w.walls, w.frame, delta, move, &hit, &touch, &element, &kind);
      if (rc < 0) {
        result = rc;
        break;  // the compaction below keeps the candidate
      }
      if (rc != 1) {
        removed = true;
        continue;
      }
      // The traced candidate leaves the list: the path passes it.
      removed = true;
      tracedOne = true;
      const int before = w.traced->count;
      result = traceContact(w, walk, hit);
      if (result > 0) {
        std::memmove(&cl->segments[kept], &cl->segments[i + 1],
                     sizeof(Seg2D) * static_cast<std::size_t>(cl->count - i - 1));
        cl->count = kept + (cl->count - i - 1);
        if (dropPassed(w, before) != 1) result = -1;
      }
    }
    if (!tracedOne) {
      std::memmove(&cl->segments[kept], &cl->segments[i],
                   sizeof(Seg2D) * static_cast<std::size_t>(cl->count - i));
      cl->count = kept + (cl->count - i);
    }
    if (result < 0) break;
    if (!removed) result = off2dFail(kOff2dSweepStuck);
  }
  if (result > 0 && !w.open) result = traceSeeds(w, walk, delta);
  walkRelease(&ctx, &tool, &params);
  return result;
}

// The traced paths become contours at the region's scale, nested and oriented.
int buildResult(Offset& w, Kont2D** out) {
  const PkoList* t = w.traced;
  if (t->count == 0) return 0;
  const int paths = w.starts->count;
  std::vector<Kont2D*> cont;
  try {
    cont.reserve(static_cast<std::size_t>(paths));
  } catch (const std::bad_alloc&) {
    return off2dFail(-1);
  }
  auto freeAll = [&]() {
    for (Kont2D* k : cont) {
      k->next = k->child = k->prev = nullptr;
      kontFree(k);
    }
  };
  for (int p = 0; p < paths; ++p) {
    const int a = w.starts->items[p];
    const int b = p + 1 < paths ? w.starts->items[p + 1] : t->count;
    if (b <= a) continue;
    Kont2D* k = kontNew(nullptr, b - a);
    if (k == nullptr) {
      freeAll();
      return off2dFail(-1);
    }
    cont.push_back(k);
    for (int i = a; i < b; ++i) {
      const Seg3D& s = t->segments[i];
      const Seg2D s2{s.start.x, s.start.y, s.end.x, s.end.y};
      if (kontAppendSeg(k, &s2) != 1) {
        freeAll();
        return off2dFail(-1);
      }
    }
    kontScale(k, 1.0 / w.scale);
    k->z = w.region->z;
    k->closed = 1;
    kontMergeCollinear(k);
  }
  if (cont.empty()) return 0;
  if (kontNestArray(cont.data(), static_cast<int>(cont.size())) != 1) {
    freeAll();
    return off2dFail(-1);
  }
  const int o = kontOrientation(w.region) > 0 ? 1 : -1;
  for (Kont2D* k : cont) {
    const int want = k->depth % 2 == 0 ? o : -o;
    if (kontOrientation(k) != want) reverseContour(k);
  }
  Kont2D* head = cont[0];
  for (Kont2D* r = head; r != nullptr; r = r->next) {
    const int v = kontValidate(r, kKontCheckIslands | kKontCheckCrossing);
    if (v < 0) {
      kontFree(head);
      return off2dFail(v);
    }
  }
  *out = head;
  return 1;
}

// Room for the traced segments: the walker steps at most the step length (1 at the working scale)
// and the paths run about as long as the walls, so the list rarely grows while tracing.
int tracedRoom(const Kont2D* walls) {
  double length = 0.0;
  for (int i = 0; i < walls->count; ++i) length += segLength(walls->segments[i]);
  return static_cast<int>(std::clamp(1.5 * length, 1000.0, 4.0e6));
}

int offsetCore(const Kont2D* region, double d, Kont2D** out) {
  Offset w;
  w.region = region;
  w.scale = std::fabs(kWorkDistance / d);
  w.copy = kontCopy(region);
  if (w.copy == nullptr) return off2dFail(-1);
  kontScale(w.copy, w.scale);
  if (buildWalls(w) != 1) return -1;
  const double m = kFrameGrowth * kWorkDistance;
  w.frame = kontNewRect(Point2D{w.walls->xmin - m, w.walls->ymin - m},
                        Point2D{w.walls->xmax + m, w.walls->ymax + m});
  w.cands = stelListNew(w.walls->count + 2);
  w.traced = pkoListNew(tracedRoom(w.walls));
  w.starts = lstIntNew(10);
  if (w.frame == nullptr || w.cands == nullptr || w.traced == nullptr || w.starts == nullptr)
    return off2dFail(-1);
  w.side = d > 0.0 ? 1 : 2;
  w.open = region->closed == 0;
  if (w.outerParity.build(w.copy) != 1 || w.regionParity.buildRegion(w.copy) != 1)
    return off2dFail(-1);
  if (buildWallGrid(w) != 1) return -1;

  double delta = kWorkDistance;
  int result = -1;
  for (int k = 0; k < kTries; ++k) {
    if (k > 0) {
      delta += (k % 2 == 0 ? 1.0 : -1.0) * k * kTryStep;
      pkoListReset(w.traced);
      lstIntReset(w.starts);
    }
    result = buildCandidates(w, delta, k);
    if (result < 0) return result;
    if (w.open && w.cands->count == 0) {
      result = off2dFail(kOff2dNoCandidate);
      continue;
    }
    result = traceAll(w, delta, k);
    if (result >= 0) break;
    if (result == -2) return result;  // interrupted: no further try
  }
  if (result < 0) {
    const std::string file = std::string(geoWorkDir()) + "/" + kOff2dProblemFile;
    kontAppendBndWz(region, file.c_str());
    return result;
  }
  return buildResult(w, out);
}

// A one-path list of the contour, as the Z-path fillet takes it: the segment starts as boundary
// points, closed, with the given material side. The arrays come from the memory module, where the
// Z-path code frees them.
ZPathList* pathListOfContour(const Kont2D* c, int materialInside, bool outer) {
  auto* list = static_cast<ZPathList*>(memAllocZero(sizeof(ZPathList)));
  if (list == nullptr) return nullptr;
  list->items = static_cast<ZPath*>(memAllocZero(sizeof(ZPath)));
  if (list->items == nullptr) {
    memFree(list);
    return nullptr;
  }
  list->capacity = 1;
  ZPath& p = list->items[0];
  const auto n = static_cast<std::size_t>(c->count);
  p.points = static_cast<float*>(memAllocZero(sizeof(float) * 2 * n));
  p.contacts = static_cast<float*>(memAllocZero(sizeof(float) * 3 * n));
  p.elementIds = static_cast<std::int32_t*>(memAllocZero(sizeof(std::int32_t) * n));
  p.contactKinds = static_cast<std::int32_t*>(memAllocZero(sizeof(std::int32_t) * n));
  list->count = 1;
  if (p.points == nullptr || p.contacts == nullptr || p.elementIds == nullptr ||
      p.contactKinds == nullptr)
    return list;  // the caller sees the missing arrays and frees the list
  p.capacity = c->count;
  p.count = c->count;
  p.xmin = p.ymin = DBL_MAX;
  p.xmax = p.ymax = -DBL_MAX;
  double area = 0.0;
  for (int i = 0; i < c->count; ++i) {
    const Seg2D& s = c->segments[i];
    p.points[2 * i] = static_cast<float>(s.x1);
    p.points[2 * i + 1] = static_cast<float>(s.y1);
    p.elementIds[i] = -2;
    p.contactKinds[i] = outer ? -1 : 0;
    p.xmin = std::min(p.xmin, s.x1);
    p.ymin = std::min(p.ymin, s.y1);
    p.xmax = std::max(p.xmax, s.x1);
    p.ymax = std::max(p.ymax, s.y1);
    area += s.x1 * s.y2 - s.x2 * s.y1;
  }
  p.groupStartX = p.groupStartY = p.subGroupStartX = p.subGroupStartY = DBL_MAX;
  p.z = c->z;
  p.area = area / 2.0;
  p.closed = 1;
  p.orientation = kontOrientation(c);
  p.materialInside = materialInside;
  p.nestingDepth = outer ? 0 : 1;
  p.groupId = p.subGroupId = INT_MAX;
  p.flags = ZP_FROM_CONTOUR;
  return list;
}

void freePathList(ZPathList* list) {
  if (list == nullptr) return;
  for (int i = 0; i < list->count; ++i) {
    ZPath& p = list->items[i];
    memFree(p.points);
    memFree(p.contacts);
    memFree(p.elementIds);
    memFree(p.contactKinds);
  }
  memFree(list->items);
  memFree(list);
}

// Replaces the contour's segments by the closed polygon of the path's points.
int contourFromPath(Kont2D* c, const ZPath* path) {
  KontOwner rebuilt{kontFromZPath(path)};
  if (rebuilt.k == nullptr) return off2dFail(-1);
  c->count = 0;
  c->xmin = path->xmin;
  c->ymin = path->ymin;
  c->xmax = path->xmax;
  c->ymax = path->ymax;
  for (int i = 0; i < rebuilt.k->count; ++i) {
    if (kontAppendSeg(c, &rebuilt.k->segments[i]) != 1) return off2dFail(-1);
  }
  return 1;
}

}  // namespace

int off2dOffset(Kont2D* region, double d, Kont2D** out) {
  if (out == nullptr) return off2dFail(kGeoBadArgument);
  *out = nullptr;
  SwitchGuard guard;
  if (!(std::fabs(d) >= kOff2dMinDistance) || region == nullptr || region->count <= 0 ||
      region->segments == nullptr)
    return 0;
  bool open = false;
  for (const Kont2D* k = region; k != nullptr && !open; k = kontWalkNext(region, k))
    open = contourOpen(k);
  if (open) {
    if (region->child != nullptr || region->next != nullptr)
      return off2dFail(kOff2dOpenWithIslands);
    kontSetNoRound(1);
    kontSetSkipCheck(1);
    region->closed = 0;
  } else {
    region->closed = 1;
  }
  if (kontValidate(region, kKontCheckIslands | kKontCheckCrossing) < 0)
    return off2dFail(kOff2dInvalid);
  try {
    return offsetCore(region, d, out);
  } catch (const std::bad_alloc&) {
    kontFree(*out);
    *out = nullptr;
    return off2dFail(-1);
  }
}

int kontOffsetInPlace(Kont2D* region, double d) {
  if (region == nullptr || region->count <= 0 || region->segments == nullptr ||
      !(std::fabs(d) >= kOff2dMinDistance))
    return 0;
  Kont2D* const prev = region->prev;
  Kont2D* const next = region->next;
  Kont2D* result = nullptr;
  const int r = off2dOffset(region, d, &result);
  if (r < 0) {
    kontFree(result);
    return geoFail(r, "kont2d");
  }
  if (r == 0 || result == nullptr) return 0;
  // The record takes over the first result region; its old segments and islands go.
  Kont2D* oldIslands = region->child;
  if (oldIslands != nullptr) {
    oldIslands->prev = nullptr;
    kontFree(oldIslands);
  }
  if (region->ownsSegments) memFree(region->segments);
  region->segments = result->segments;
  region->count = result->count;
  region->capacity = result->capacity;
  region->ownsSegments = result->ownsSegments;
  region->xmin = result->xmin;
  region->ymin = result->ymin;
  region->xmax = result->xmax;
  region->ymax = result->ymax;
  region->z = result->z;
  region->child = result->child;
  region->next = result->next;
  if (region->child != nullptr) region->child->prev = region;
  if (region->next != nullptr) region->next->prev = region;
  result->segments = nullptr;
  result->ownsSegments = 0;
  result->child = result->next = nullptr;
  kontFree(result);
  region->prev = prev;
  Kont2D* last = region;
  while (last->next != nullptr) last = last->next;
  last->next = next;
  if (next != nullptr) next->prev = last;
  return 1;
}

int kontFillet(Kont2D* region, double r) {
  if (region == nullptr || region->count <= 0 || region->segments == nullptr ||
      !(r >= kMinFilletRadius))
    return 0;
  bool all = true;
  for (Kont2D* c = region; c != nullptr; c = kontWalkNext(region, c)) {
    const bool outer = c == region;
    ZPathList* list = pathListOfContour(c, outer ? 0 : 1, outer);
    if (list == nullptr || list->items[0].points == nullptr || list->items[0].contacts == nullptr ||
        list->items[0].elementIds == nullptr || list->items[0].contactKinds == nullptr) {
      freePathList(list);
      return off2dFail(-1);
    }
    const int f = walkFillet(list, nullptr, r);
    if (f < 0) {
      freePathList(list);
      return f;
    }
    if (f == 0 || list->count == 0) all = false;
    if (list->count == 1) {
      const int rc = contourFromPath(c, &list->items[0]);
      if (rc < 0) {
        freePathList(list);
        return rc;
      }
    } else {
      all = false;
    }
    freePathList(list);
  }
  const int v = kontValidate(region, kKontCheckIslands | kKontCheckCrossing);
  if (v < 0) return off2dFail(v);
  return all ? 1 : 0;
}
