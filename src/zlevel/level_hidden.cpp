// level_hidden.cpp - the search for pockets and islands between the level raster's nodes: the
// clearance of the walked tool against the level's elements, the push of blocked nodes into a
// pocket, the tops of peaks that block less than a cell, the side of a point by the traced loops,
// the cutter's exact drop, and the tracing of new loops.
//
// The clearance c(p) of the tool at plan position p is its distance to the nearest element less
// the element's radius: negative where the tool cuts into an element, at least 0 where the walker
// finds it free. It changes by no more than the distance moved, so a pocket (c >= 0) within d of
// a node leaves the node a clearance of at least -d: only blocked nodes that near the offset are
// pushed, and none under material over the level (a pocket lies farther than R from it). For a
// torus one point of the tube's centre circle gives an upper bound of the exact
// clearance (which may only let a node through that need not be: the exact drop decides), and the
// ball of radius R about the axis point a lower bound for passing over far elements. An island is
// the area blocked around some element; it is narrower than a cell only about a point that reaches
// into a ball (or a torus of a large corner) by a hair, so the corners of the level's triangles are
// its candidates.
//
// Limits: nodes next to a node of the other class are not pushed (an area found there is taken
// for the traced contour's), nor are nodes sunk into a face of less than 45 degrees (no move in
// plan leads out); a found point within a step of a traced loop belongs to that loop.
#include "zlevel/level_hidden.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <new>
#include <numbers>
#include <source_location>
#include <vector>

#include "geometry/geo_error.h"
#include "geometry/kont_region.h"
#include "geometry/pko_list.h"
#include "geometry/raster.h"
#include "geometry/stel_list.h"
#include "geometry/triangle_grid.h"
#include "geometry/vec.h"
#include "model/drop_cutter.h"
#include "model/facet_distance.h"
#include "model/wcoll_boxtree.h"
#include "zlevel/closed_paths.h"
#include "zlevel/level_trace.h"

namespace {

constexpr const char* kModule = "Arczpath";
// A node counts as free or blocked by the raster only when its height lies beyond this.
constexpr double kLevelTol = 0.00001;
// A touching point this near the plan position of the tool's lowest point lies straight below it.
constexpr double kStraightBelow = 1e-7;

int hiddenFail(int code, std::source_location at = std::source_location::current()) {
  return geoFail(code, kModule, at);
}

// floor(v) clamped to [0, last]; 0 for a value that is not a number.
int floorIndex(double v, int last) {
  const double f = std::floor(v);
  if (!(f > 0.0)) return 0;
  return f >= last ? last : static_cast<int>(f);
}

// The clearance at one point (for a torus an upper bound of it) and the plan direction towards
// the element that gave it (zero when no element is near, or when the tool is sunk into a face).
struct Clearance {
  double hi = 0.0;
  Point2D dir{0.0, 0.0};
};

// A plan box grown by a margin.
struct GrownBox {
  double x0, y0, x1, y1, grow;
};

// Element indices in square buckets over a box, held in one array (bucket b's elements from
// start[b] to start[b + 1]).
class Buckets {
 public:
  // Buckets of the given size over the box, then every element k < n entered in each bucket its
  // grown box (boxOf(k)) meets, in the order of k.
  template <class BoxOf>
  void build(double x0, double y0, double x1, double y1, double size, int n, BoxOf boxOf) {
    size_ = size;
    x0_ = x0;
    y0_ = y0;
    cols_ = floorIndex((x1 - x0) / size, kMaxSide - 1) + 1;
    rows_ = floorIndex((y1 - y0) / size, kMaxSide - 1) + 1;
    start_.assign(static_cast<std::size_t>(cols_) * rows_ + 1, 0);
    auto each = [&](int k, auto visit) {
      const GrownBox b = boxOf(k);
      const int c0 = col(b.x0 - b.grow), c1 = col(b.x1 + b.grow);
      const int r0 = row(b.y0 - b.grow), r1 = row(b.y1 + b.grow);
      for (int r = r0; r <= r1; ++r)
        for (int c = c0; c <= c1; ++c) visit(static_cast<std::size_t>(r) * cols_ + c);
    };
    for (int k = 0; k < n; ++k) each(k, [&](std::size_t cell) { ++start_[cell + 1]; });
    for (std::size_t i = 1; i < start_.size(); ++i) start_[i] += start_[i - 1];
    items_.resize(static_cast<std::size_t>(start_.back()));
    std::vector<int> fill(start_.begin(), start_.end() - 1);
    for (int k = 0; k < n; ++k)
      each(k, [&](std::size_t cell) { items_[static_cast<std::size_t>(fill[cell]++)] = k; });
  }
  // The elements of the bucket that holds (x, y): [*begin, *end).
  void at(double x, double y, const int** begin, const int** end) const {
    const std::size_t cell = static_cast<std::size_t>(row(y)) * cols_ + col(x);
    *begin = items_.data() + start_[cell];
    *end = items_.data() + start_[cell + 1];
  }
  bool empty() const { return start_.empty(); }

 private:
  static constexpr int kMaxSide = 400;
  int col(double x) const { return floorIndex((x - x0_) / size_, cols_ - 1); }
  int row(double y) const { return floorIndex((y - y0_) / size_, rows_ - 1); }
  double size_ = 1.0, x0_ = 0.0, y0_ = 0.0;
  int cols_ = 0, rows_ = 0;
  std::vector<int> start_;
  std::vector<int> items_;
};

double allowanceAt(const RecList* table, int i) {
  if (table == nullptr || table->items == nullptr || i < 0 || i >= table->count) return 0.0;
  return static_cast<const PtrValPair*>(table->items)[i].value;
}

// The walked tool against the level's walls and triangles.
class LevelClearance {
 public:
  LevelClearance(const CollCtx* ctx, const WalkTool* tool, const WalkParams* params, double reach)
      : ctx_(ctx), tool_(*tool), z_(params->z), reach_(reach) {
    const bool tables = params->mode != 0 && params->noAllowance == 0;
    const RecList* wallTable = tables ? ctx->wallAllowances : nullptr;
    const RecList* triTable = tables ? ctx->triAllowances : nullptr;
    const Kont2D* walls = ctx->walls;
    const int nWalls = walls != nullptr && walls->segments != nullptr ? walls->count : 0;
    const Tri3List* tris = ctx->triangles;
    const int nTris =
        tool->type != kCutterFlat && tris != nullptr && tris->items != nullptr ? tris->count : 0;
    elems_.reserve(static_cast<std::size_t>(nWalls + nTris));
    double x0 = 1e300, y0 = 1e300, x1 = -1e300, y1 = -1e300, amax = 0.0;
    for (int i = 0; i < nWalls; ++i) {
      const Seg2D& g = walls->segments[i];
      Elem e{std::min(g.x1, g.x2),
             std::min(g.y1, g.y2),
             0.0,
             std::max(g.x1, g.x2),
             std::max(g.y1, g.y2),
             0.0,
             allowanceAt(wallTable, i),
             i,
             false};
      elems_.push_back(e);
    }
    // A horizontal triangle at the height the tool stands on (within the raster's tolerance) is a
    // floor, never a side: it holds the tool at the level and bounds no area.
    const double rest = tool->type == kCutterBall ? tool->radius : tool->cornerRadius;
    for (int i = 0; i < nTris; ++i) {
      const Tri3D& t = tris->items[i];
      const double a = allowanceAt(triTable, i);
      if (t.v[0].z == t.v[1].z && t.v[1].z == t.v[2].z && t.v[0].z < z_ &&
          std::fabs(z_ - t.v[0].z - (rest + a)) <= kLevelTol) {
        continue;
      }
      Elem e{std::min({t.v[0].x, t.v[1].x, t.v[2].x}),
             std::min({t.v[0].y, t.v[1].y, t.v[2].y}),
             std::min({t.v[0].z, t.v[1].z, t.v[2].z}),
             std::max({t.v[0].x, t.v[1].x, t.v[2].x}),
             std::max({t.v[0].y, t.v[1].y, t.v[2].y}),
             std::max({t.v[0].z, t.v[1].z, t.v[2].z}),
             a,
             i,
             true};
      elems_.push_back(e);
    }
    for (const Elem& e : elems_) {
      x0 = std::min(x0, e.x0), y0 = std::min(y0, e.y0);
      x1 = std::max(x1, e.x1), y1 = std::max(y1, e.y1), amax = std::max(amax, e.allowance);
    }
    if (x0 > x1) return;
    const double grow = tool_.radius + amax + reach_;
    buckets_.build(x0 - grow, y0 - grow, x1 + grow, y1 + grow, grow,
                   static_cast<int>(elems_.size()), [&](int k) {
                     const Elem& e = elems_[static_cast<std::size_t>(k)];
                     return GrownBox{e.x0, e.y0, e.x1, e.y1, grow};
                   });
  }

  // The clearance at p, both bounds capped at the reach (elements farther away are not all
  // seen; dir stays zero when none is near). The scan ends as soon as the upper bound falls
  // below stopBelow.
  Clearance at(const Point2D& p, double stopBelow = -1e300) const {
    Clearance c;
    c.hi = reach_;
    if (buckets_.empty()) return c;
    const int *first = nullptr, *last = nullptr;
    buckets_.at(p.x, p.y, &first, &last);
    // The element that settled the last point often settles the next one (nodes are visited
    // row by row): it is tried first.
    if (hint_ >= 0) {
      const Elem& e = elems_[static_cast<std::size_t>(hint_)];
      if (e.triangle && sunkInto(e, p, &c)) return c;
      if (stopBelow > -1e300 && !beyond(e, p, stopBelow)) {
        Clearance h = c;
        measure(e, p, &h);
        if (h.hi < stopBelow) return h;
      }
    }
    // A tool sunk into a face is settled by that face alone.
    for (const int* k = first; k != last; ++k) {
      const Elem& e = elems_[static_cast<std::size_t>(*k)];
      if (e.triangle && sunkInto(e, p, &c)) {
        hint_ = *k;
        return c;
      }
    }
    // With stopBelow, the elements whose box lies that deep inside the tool go first: one of
    // them usually settles a point deep in the material.
    if (stopBelow > -1e300 && scan(p, first, last, stopBelow, stopBelow, &c)) return c;
    scan(p, first, last, 1e300, stopBelow, &c);
    return c;
  }

 private:
  // Measures the elements whose box bound lies below `below` and below the best so far (a lower
  // bound from each element's box passes over those that cannot beat it). Returns 1 when the
  // upper bound fell below stopBelow or the tool is sunk (no direction), which ends the search.
  bool scan(const Point2D& p, const int* first, const int* last, double below, double stopBelow,
            Clearance* c) const {
    for (const int* k = first; k != last; ++k) {
      const Elem& e = elems_[static_cast<std::size_t>(*k)];
      if (beyond(e, p, std::min(c->hi, below))) continue;
      measure(e, p, c);
      // Sunk into material at more than 45 degrees: no move in plan leads out along the nearest
      // element, so the point is not worth pushing.
      const bool sunk = e.triangle && c->hi < 0.0 && c->dir.x == 0.0 && c->dir.y == 0.0;
      if (sunk || c->hi < stopBelow) {
        hint_ = *k;
        return true;
      }
    }
    return false;
  }

  // One element: its box, the radius difference of its sub-model and its index.
  struct Elem {
    double x0, y0, z0, x1, y1, z1;
    double allowance;
    int index;
    bool triangle;
  };

  // The element's clearance at p, merged into c.
  void measure(const Elem& e, const Point2D& p, Clearance* c) const {
    const double r = tool_.radius + e.allowance;
    if (!e.triangle) {
      wall(e, p, r, c);
    } else {
      triangle(e, Point3D{p.x, p.y, z_}, r, c);
    }
  }

  // 1 when a lower bound of the element's clearance at p, from its box, reaches `limit`: the
  // element cannot come nearer.
  bool beyond(const Elem& e, const Point2D& p, double limit) const {
    const double dx = std::max({e.x0 - p.x, 0.0, p.x - e.x1});
    const double dy = std::max({e.y0 - p.y, 0.0, p.y - e.y1});
    const double dz = e.triangle ? std::max({e.z0 - z_, 0.0, z_ - e.z1}) : 0.0;
    const double reachOf = limit + tool_.radius + e.allowance;
    const double d2 = dx * dx + dy * dy + dz * dz;
    if (reachOf > 0.0 && d2 < reachOf * reachOf) return false;
    if (!e.triangle || tool_.type != kCutterTorus) return true;
    // The tube's centre circle lies R - c about the axis.
    const double core =
        std::max(std::sqrt(dx * dx + dy * dy) - (tool_.radius - tool_.cornerRadius), 0.0);
    return std::sqrt(core * core + dz * dz) - (tool_.cornerRadius + e.allowance) >= limit;
  }

  // A face of less than 45 degrees whose plan holds p and which passes between the tool's lowest
  // point and its reference height (or above it, under the tool's top): the tool is sunk into
  // it, and no move in plan leads out. Sets the clearance to the vertical overlap, no direction.
  bool sunkInto(const Elem& e, const Point2D& p, Clearance* c) const {
    if (p.x < e.x0 || p.x > e.x1 || p.y < e.y0 || p.y > e.y1) return false;
    const Tri3D& t = ctx_->triangles->items[e.index];
    const double ax = t.v[1].x - t.v[0].x, ay = t.v[1].y - t.v[0].y;
    const double bx = t.v[2].x - t.v[0].x, by = t.v[2].y - t.v[0].y;
    const double det = ax * by - ay * bx;
    const double ex = t.v[1].z - t.v[0].z, ez = t.v[2].z - t.v[0].z;
    // Slope below 45 degrees: the plane's gradient in plan is below 1.
    if (!(std::fabs(det) > 1e-12)) return false;
    const double gx = (ex * by - ez * ay) / det, gy = (ez * ax - ex * bx) / det;
    if (gx * gx + gy * gy >= 1.0) return false;
    const double px = p.x - t.v[0].x, py = p.y - t.v[0].y;
    const double u = (px * by - py * bx) / det, v = (ax * py - ay * px) / det;
    if (u < 0.0 || v < 0.0 || u + v > 1.0) return false;
    const double hz = t.v[0].z + gx * px + gy * py;  // the face's height over p
    const double rest = tool_.type == kCutterBall ? tool_.radius : tool_.cornerRadius;
    const double gap = z_ - hz;  // the face lies this far below the reference height
    if (!(gap < rest - kLevelTol) || !(gap > -tool_.radius)) return false;
    c->hi = std::min(c->hi, gap - rest);
    c->dir = Point2D{0.0, 0.0};
    return true;
  }

  void wall(const Elem& e, const Point2D& p, double r, Clearance* c) const {
    const Seg2D& s = ctx_->walls->segments[e.index];
    Point2D q{};
    const double v = g2dPointSegNearest(p, s, &q) - r;
    if (v < c->hi) {
      c->hi = v;
      c->dir = unit(q.x - p.x, q.y - p.y);
    }
  }

  void triangle(const Elem& e, const Point3D& P, double R, Clearance* c) const {
    const Tri3D& t = ctx_->triangles->items[e.index];
    Point3D m{};
    const double d = modelPointTriDistance(t, P, &m);
    const Point2D u = unit(m.x - P.x, m.y - P.y);
    double hi = d - R;
    double rest = R;  // the radius that rests on a face straight below
    Point3D from = P;
    if (tool_.type == kCutterTorus) {
      const double core = tool_.radius - tool_.cornerRadius;
      const Point2D w = u.x == 0.0 && u.y == 0.0 ? Point2D{1.0, 0.0} : u;
      from = Point3D{P.x + core * w.x, P.y + core * w.y, P.z};
      rest = tool_.cornerRadius + e.allowance;
      hi = modelPointTriDistance(t, from, &m) - rest;
    }
    // A face straight below that holds the tool at the level within the raster's tolerance is
    // the floor the tool stands on, not a side that bounds the area.
    const double plan = std::hypot(m.x - from.x, m.y - from.y);
    if (plan <= kStraightBelow && m.z < from.z && from.z - m.z >= rest - kLevelTol) return;
    if (hi < c->hi) {
      c->hi = hi;
      // Sunk into material above or below at more than 45 degrees: no move in plan leads out.
      c->dir = hi < 0.0 && plan < std::fabs(from.z - m.z) ? Point2D{0.0, 0.0} : u;
    }
  }

  static Point2D unit(double x, double y) {
    const double n = std::hypot(x, y);
    return n > 1e-12 ? Point2D{x / n, y / n} : Point2D{0.0, 0.0};
  }

  const CollCtx* ctx_;
  WalkTool tool_;
  double z_;
  double reach_;
  std::vector<Elem> elems_;
  Buckets buckets_;
  mutable int hint_ = -1;  // the element that settled the last point
};

// The traced loops as closed polygons with the side of their material, banded along y for the
// ray casts that find which loops contain a point.
class TracedLoops {
 public:
  explicit TracedLoops(double band) : band_(band) {}

  // Adds the pieces [first, count) of the slice as loops.
  void addPieces(const SliceContext* slice, int firstPiece) {
    const PkoList* l = slice->traced;
    const IntList* starts = slice->pathStarts;
    for (int k = firstPiece; k < starts->count; ++k) {
      const int from = std::clamp(starts->items[k], 0, l->count);
      const int to =
          k + 1 < starts->count ? std::clamp(starts->items[k + 1], from, l->count) : l->count;
      addLoop(l, from, to);
    }
    rebuild();
  }

  // The side of p: 1 material, 0 free, by the innermost loop that contains p; outside every loop,
  // free when some outermost loop has its material inside, else material.
  int sideOf(const Point2D& p) const {
    std::vector<char> in(loops_.size(), 0);
    if (!bands_.empty()) {
      const int b = bandOf(p.y);
      for (int s : bands_[static_cast<std::size_t>(b)]) {
        const Seg2D& g = segs_[static_cast<std::size_t>(s)];
        if ((g.y1 > p.y) != (g.y2 > p.y) &&
            p.x < g.x1 + (p.y - g.y1) * (g.x2 - g.x1) / (g.y2 - g.y1)) {
          in[static_cast<std::size_t>(owner_[static_cast<std::size_t>(s)])] ^= 1;
        }
      }
    }
    int inner = -1;
    for (std::size_t k = 0; k < loops_.size(); ++k)
      if (in[k] && (inner < 0 || loops_[k].area < loops_[static_cast<std::size_t>(inner)].area))
        inner = static_cast<int>(k);
    if (inner >= 0) return loops_[static_cast<std::size_t>(inner)].materialInside ? 1 : 0;
    return outsideFree_ ? 0 : 1;
  }

  // 1 when a segment of the loops passes within d of p.
  bool near(const Point2D& p, double d) const {
    if (bands_.empty()) return false;
    for (int b = bandOf(p.y - d); b <= bandOf(p.y + d); ++b)
      for (int s : bands_[static_cast<std::size_t>(b)])
        if (g2dPointSegDist(p, segs_[static_cast<std::size_t>(s)]) <= d) return true;
    return false;
  }

  // The segments of the loops, for the meeting test of a new loop.
  const std::vector<Seg2D>& segments() const { return segs_; }

 private:
  struct Loop {
    double area = 0.0;  // unsigned
    bool materialInside = false;
  };

  // A closed loop [from, to): its area and the side of its material by its contacts (each
  // contact's side of its segment votes; a loop without contacts keeps its material outside).
  void addLoop(const PkoList* l, int from, int to) {
    if (to - from < 3) return;
    double area2 = 0.0;
    int left = 0, right = 0;
    const int id = static_cast<int>(loops_.size());
    for (int i = from; i < to; ++i) {
      const Seg3D& s = l->segments[i];
      area2 += s.start.x * s.end.y - s.end.x * s.start.y;
      segs_.push_back(Seg2D{s.start.x, s.start.y, s.end.x, s.end.y});
      owner_.push_back(id);
      if (l->ids[i] < 0) continue;
      const Point3D& v = l->vectors[i];
      const double side =
          (s.end.x - s.start.x) * (v.y - s.end.y) - (s.end.y - s.start.y) * (v.x - s.end.x);
      if (side > 0.0) ++left;
      if (side < 0.0) ++right;
    }
    Loop loop;
    loop.area = std::fabs(area2) / 2.0;
    // The material lies left of the travel on a counter-clockwise loop when it is inside.
    loop.materialInside = left != right && (left > right) == (area2 > 0.0);
    loops_.push_back(loop);
  }

  void rebuild() {
    double y0 = 1e300, y1 = -1e300;
    for (const Seg2D& s : segs_) y0 = std::min({y0, s.y1, s.y2}), y1 = std::max({y1, s.y1, s.y2});
    bands_.clear();
    if (segs_.empty()) return;
    y0_ = y0;
    nBands_ = floorIndex((y1 - y0) / band_, kMaxBands - 1) + 1;
    bands_.assign(static_cast<std::size_t>(nBands_), {});
    for (std::size_t s = 0; s < segs_.size(); ++s) {
      const Seg2D& g = segs_[s];
      for (int b = bandOf(std::min(g.y1, g.y2)); b <= bandOf(std::max(g.y1, g.y2)); ++b)
        bands_[static_cast<std::size_t>(b)].push_back(static_cast<int>(s));
    }
    // Outside every loop: the largest loop is an outermost one, and every outermost loop borders
    // the outside: free there when its material lies inside.
    std::size_t largest = 0;
    for (std::size_t k = 1; k < loops_.size(); ++k)
      if (loops_[k].area > loops_[largest].area) largest = k;
    outsideFree_ = loops_.empty() || loops_[largest].materialInside;
  }

  int bandOf(double y) const { return floorIndex((y - y0_) / band_, nBands_ - 1); }

  static constexpr int kMaxBands = 4000;
  double band_;
  double y0_ = 0.0;
  int nBands_ = 0;
  bool outsideFree_ = true;
  std::vector<Loop> loops_;
  std::vector<Seg2D> segs_;
  std::vector<int> owner_;
  std::vector<std::vector<int>> bands_;
};

// The cutter's exact drop: over the level's candidates that reach it, and over the whole model,
// whose facets stay where culling took candidates away (a pocket found where the material was
// culled is no pocket).
class ExactDrop {
 public:
  ExactDrop(const LevelHiddenModel* model, double z) : model_(model), z_(z) {}

  // 1 when the tool at p stands free at the level (no drop lies higher than the level).
  bool free(const Point2D& p) {
    if (model_ == nullptr) return true;
    if (!built_) build();
    const Point3D axis{p.x, p.y, top_};
    double best = -1e300;
    Point3D contact{};
    int kind = 0;
    if (!buckets_.empty()) {
      const int *first = nullptr, *last = nullptr;
      buckets_.at(p.x, p.y, &first, &last);
      for (const int* k = first; k != last; ++k) {
        const PtrValPair& pair = model_->triangles[*k];
        CutterShape cutter = model_->cutter;
        cutter.radius += pair.value;
        cutter.cornerRadius += pair.value;
        dropToolOnTri(*static_cast<const Tri3D*>(pair.ptr), axis, cutter, &best, &contact, &kind);
        if (best > z_ + kLevelTol) return false;
      }
    }
    return modelFree(p, axis);
  }

 private:
  bool modelFree(const Point2D& p, const Point3D& axis) const {
    const SurfaceModel* m = model_->model;
    if (m == nullptr || m->facetMin == nullptr || m->facetMax == nullptr) return true;
    const int n = m->triangles != nullptr ? m->triangles->count : m->quadCount;
    const double R = model_->cutter.radius;
    const std::int32_t* cand = nullptr;
    int count = n;
    // The model's grid lists every facet within its cutter's radius of a cell.
    if (m->grid != nullptr && m->cutter != nullptr && R <= m->cutter->radius) {
      const TriangleGridCell* cell = triGridCell(m->grid, p.x, p.y);
      if (cell == nullptr || cell->indices == nullptr) return true;
      cand = cell->indices;
      count = cell->count;
    }
    double best = -1e300;
    Point3D contact{};
    int kind = 0;
    for (int j = 0; j < count; ++j) {
      const int k = cand != nullptr ? cand[j] : j;
      if (k < 0 || k >= n) continue;
      const Point3D& lo = m->facetMin[k];
      const Point3D& hi = m->facetMax[k];
      if (lo.x > p.x + R || hi.x < p.x - R || lo.y > p.y + R || hi.y < p.y - R) continue;
      if (m->triangles != nullptr) {
        dropToolOnTri(m->triangles->items[k], axis, model_->cutter, &best, &contact, &kind);
      } else if (m->quads != nullptr) {
        dropToolOnQuad(m->quads[k], axis, model_->cutter, &best, &contact, &kind);
      }
      if (best > z_ + kLevelTol) return false;
    }
    return true;
  }

  void build() {
    built_ = true;
    double x0 = 1e300, y0 = 1e300, x1 = -1e300, y1 = -1e300, amax = 0.0;
    top_ = -1e300;
    for (int i = 0; i < model_->count; ++i) {
      const Tri3D& t = *static_cast<const Tri3D*>(model_->triangles[i].ptr);
      for (const Point3D& v : t.v) {
        x0 = std::min(x0, v.x), x1 = std::max(x1, v.x);
        y0 = std::min(y0, v.y), y1 = std::max(y1, v.y), top_ = std::max(top_, v.z);
      }
      amax = std::max(amax, static_cast<double>(model_->triangles[i].value));
    }
    if (model_->model != nullptr) top_ = std::max(top_, model_->model->boxMax.z);
    top_ += model_->cutter.radius + amax + 1.0;
    if (model_->count <= 0 || model_->triangles == nullptr) return;
    const double R = model_->cutter.radius + amax;
    buckets_.build(x0 - R, y0 - R, x1 + R, y1 + R, std::max(R, 1e-3), model_->count, [&](int i) {
      const Tri3D& t = *static_cast<const Tri3D*>(model_->triangles[i].ptr);
      return GrownBox{
          std::min({t.v[0].x, t.v[1].x, t.v[2].x}), std::min({t.v[0].y, t.v[1].y, t.v[2].y}),
          std::max({t.v[0].x, t.v[1].x, t.v[2].x}), std::max({t.v[0].y, t.v[1].y, t.v[2].y}),
          model_->cutter.radius + model_->triangles[i].value};
    });
  }

  const LevelHiddenModel* model_;
  double z_;
  double top_ = 0.0;
  bool built_ = false;
  Buckets buckets_;
};

// The wall pieces in plan: whether material stands over the level at a point. A blocked node under
// such material lies farther than R from every pocket (a pocket's tool reaches no piece), so it
// is not pushed.
class PieceIndex {
 public:
  PieceIndex(const Tri3D* pieces, int n, double cell)
      : pieces_(pieces), n_(pieces != nullptr ? n : 0) {
    if (n_ <= 0) return;
    double x0 = 1e300, y0 = 1e300, x1 = -1e300, y1 = -1e300;
    for (int i = 0; i < n_; ++i)
      for (const Point3D& v : pieces_[i].v)
        x0 = std::min(x0, v.x), y0 = std::min(y0, v.y), x1 = std::max(x1, v.x),
        y1 = std::max(y1, v.y);
    buckets_.build(x0, y0, x1, y1, cell, n_, [&](int k) {
      const Tri3D& t = pieces_[k];
      return GrownBox{
          std::min({t.v[0].x, t.v[1].x, t.v[2].x}), std::min({t.v[0].y, t.v[1].y, t.v[2].y}),
          std::max({t.v[0].x, t.v[1].x, t.v[2].x}), std::max({t.v[0].y, t.v[1].y, t.v[2].y}), 0.0};
    });
  }

  // 1 when p lies strictly inside a piece of positive area.
  bool covers(const Point2D& p) const {
    if (n_ <= 0) return false;
    const int *first = nullptr, *last = nullptr;
    buckets_.at(p.x, p.y, &first, &last);
    for (const int* k = first; k != last; ++k) {
      const Tri3D& t = pieces_[*k];
      const double d0 = cross(t.v[0], t.v[1], p), d1 = cross(t.v[1], t.v[2], p);
      const double d2 = cross(t.v[2], t.v[0], p);
      if ((d0 > 0.0 && d1 > 0.0 && d2 > 0.0) || (d0 < 0.0 && d1 < 0.0 && d2 < 0.0)) return true;
    }
    return false;
  }

 private:
  static double cross(const Point3D& a, const Point3D& b, const Point2D& p) {
    return (b.x - a.x) * (p.y - a.y) - (b.y - a.y) * (p.x - a.x);
  }
  const Tri3D* pieces_;
  int n_;
  Buckets buckets_;
};

// One found point: a start segment from a free position towards the area's contour.
struct HiddenStart {
  Seg2D start;
  Point2D probe;  // a point of the untraced area
  int probeSide;  // its side: 0 free (a pocket), 1 material (an island)
};

// Pushes the blocked node n away from its nearest element until the tool stands clear by the
// margin. Returns 1 with the point and its clearance.
bool pushToPocket(const LevelClearance& clr, Point2D n, Clearance c, double reach, double margin,
                  Point2D* out, Clearance* outC) {
  const Point2D n0 = n;
  for (int k = 0; k < kHiddenPushes; ++k) {
    if (c.dir.x == 0.0 && c.dir.y == 0.0) return false;
    const double move = 1.5 * margin - c.hi;  // aims past the margin: rounding stays clear
    n = Point2D{n.x - move * c.dir.x, n.y - move * c.dir.y};
    if (std::hypot(n.x - n0.x, n.y - n0.y) > reach) return false;
    c = clr.at(n);
    if (c.hi >= margin) {
      *out = n;
      *outC = c;
      return true;
    }
  }
  return false;
}

// Where the push runs between two elements (a narrow pocket whose nearest sides take turns), a
// pattern search: from the node, the best of eight points at the current step becomes the next
// point while it gains clearance, else the step halves; ends clear by the margin, beyond the
// reach, or when the step falls below the margin. Only nodes within half the reach of the offset,
// and not sunk into a face, are searched so.
bool climbToPocket(const LevelClearance& clr, Point2D n, Clearance c, double reach, double margin,
                   Point2D* out, Clearance* outC) {
  const Point2D n0 = n;
  double step = 0.25 * reach;
  for (int k = 0; k < kHiddenClimbs && step >= margin; ++k) {
    Point2D best = n;
    Clearance bestC = c;
    for (int d = 0; d < 8; ++d) {
      const double a = d * std::numbers::pi / 4.0;
      const Point2D q{n.x + step * std::cos(a), n.y + step * std::sin(a)};
      if (std::hypot(q.x - n0.x, q.y - n0.y) > reach) continue;
      const Clearance qc = clr.at(q);
      if (qc.hi > bestC.hi) {
        best = q;
        bestC = qc;
      }
    }
    if (bestC.hi >= margin) {
      *out = best;
      *outC = bestC;
      return bestC.dir.x != 0.0 || bestC.dir.y != 0.0;
    }
    if (bestC.hi > c.hi) {
      n = best;
      c = bestC;
    } else {
      step *= 0.5;
    }
  }
  return false;
}

// 1 when every neighbour of the node (rows and columns and diagonals, inside the raster and the
// region) has the node's class. Nodes next to the other class lie along a traced contour, and
// an area found near them would be that contour's.
bool interiorNode(const Raster* r, int row, int col) {
  const bool blocked = r->cells[row][col] == kRasterBlocked;
  for (int dr = -1; dr <= 1; ++dr) {
    for (int dc = -1; dc <= 1; ++dc) {
      const int rr = row + dr, cc = col + dc;
      if (rr < 0 || cc < 0 || rr >= r->rows || cc >= r->cols) continue;
      const std::int16_t v = r->cells[rr][cc];
      if (v != kRasterOutside && (v == kRasterBlocked) != blocked) return false;
    }
  }
  return true;
}

// Pockets: blocked nodes within reach of the offset, pushed into a pocket; kept when the traced
// loops put the point on the material side and no traced loop passes near it. Nodes under
// material over the level are passed over.
void findPockets(const LevelClearance& clr, const TracedLoops& loops, const PieceIndex& pieces,
                 const Raster* r, double reach, double margin, double near, double toolReach,
                 std::vector<HiddenStart>* out) {
  for (int row = 0; row < r->rows; ++row) {
    for (int col = 0; col < r->cols; ++col) {
      if (r->cells[row][col] != kRasterBlocked || !interiorNode(r, row, col)) continue;
      const Point2D n{r->x0 + col * r->colStep, r->y0 + row * r->rowStep};
      if (pieces.covers(n)) continue;
      const Clearance c = clr.at(n, -reach);
      if (!(c.hi > -reach && c.hi < 0.0)) continue;
      Point2D p{};
      Clearance pc{};
      if (!pushToPocket(clr, n, c, reach, margin, &p, &pc) &&
          !(c.hi > -0.5 * reach && (c.dir.x != 0.0 || c.dir.y != 0.0) &&
            climbToPocket(clr, n, c, reach, margin, &p, &pc))) {
        continue;
      }
      if (loops.sideOf(p) == 0 || loops.near(p, near)) continue;  // a traced free area
      const Seg2D s{p.x, p.y, p.x + toolReach * pc.dir.x, p.y + toolReach * pc.dir.y};
      out->push_back(HiddenStart{s, p, 0});
    }
  }
}

// The plan radius of the area the tool cannot enter around a point that lies dz below (or above)
// its reference height: the tube's centre circle (radius R - c, 0 for a ball) grown by the
// tube's half chord at that height (the tool's flat bottom fills the circle). 0 when the point
// does not reach into the tool.
double blockedRadius(const WalkTool* tool, double dz) {
  const double c = tool->type == kCutterBall ? tool->radius : tool->cornerRadius;
  const double core = tool->type == kCutterBall ? 0.0 : tool->radius - c;
  const double a = std::fabs(dz);
  return a < c ? core + std::sqrt(c * c - a * a) : 0.0;
}

// Islands: a corner of a level triangle that reaches into the tool by so little that the ring
// blocked around it is narrower than the reach (the top of a peak just above the tool's lowest
// point); the probe lies R - c from it (under the tube's lowest point), towards the nearest
// raster node. Kept when it blocks the walked tool, the traced loops put it on the free side and
// no traced loop passes near it; the start runs from that node, when free, to the probe. Wall
// segments and flat end mills block areas of the tool's full radius, which hold a node.
void findIslands(const CollCtx* ctx, const WalkTool* tool, double z, const LevelClearance& clr,
                 const TracedLoops& loops, const Raster* r, double reach, double margin,
                 double near, std::vector<HiddenStart>* out) {
  const Tri3List* tris = ctx->triangles;
  if (tool->type == kCutterFlat || tris == nullptr || tris->items == nullptr) return;
  const double core = tool->type == kCutterBall ? 0.0 : tool->radius - tool->cornerRadius;
  for (int i = 0; i < tris->count; ++i) {
    for (const Point3D& v : tris->items[i].v) {
      const double outer = blockedRadius(tool, z - v.z);
      if (!(outer > 0.0 && outer < reach)) continue;
      const double fc = std::round((v.x - r->x0) / r->colStep);
      const double fr = std::round((v.y - r->y0) / r->rowStep);
      if (!(fr >= 0.0 && fc >= 0.0 && fr < r->rows && fc < r->cols)) continue;
      const int col = static_cast<int>(fc), row = static_cast<int>(fr);
      if (r->cells[row][col] == kRasterBlocked || r->cells[row][col] == kRasterOutside) continue;
      const Point2D n{r->x0 + col * r->colStep, r->y0 + row * r->rowStep};
      const double dn = std::hypot(n.x - v.x, n.y - v.y);
      if (!(dn > outer)) continue;  // the node lies in the blocked ring: traced from the raster
      const Point2D u{(n.x - v.x) / dn, (n.y - v.y) / dn};
      const Point2D p{v.x + core * u.x, v.y + core * u.y};
      if (!(clr.at(p).hi < -margin)) continue;
      if (loops.sideOf(p) == 1 || loops.near(p, near)) continue;  // a traced island
      out->push_back(HiddenStart{Seg2D{n.x, n.y, p.x, p.y}, p, 1});
    }
  }
}

// 1 when a segment of the new loop's list meets a segment of the old loops, 0 when none does, -1
// when memory runs out.
int meetsOld(const std::vector<Seg2D>& old, const PkoList* added) {
  if (old.empty() || added->count == 0) return 0;
  std::vector<Seg2D> segs;
  segs.reserve(static_cast<std::size_t>(added->count));
  for (int i = 0; i < added->count; ++i) {
    const Seg3D& s = added->segments[i];
    segs.push_back(Seg2D{s.start.x, s.start.y, s.end.x, s.end.y});
  }
  BoxTree2D* a = wcoll2dTreeNew(old.data(), static_cast<int>(old.size()), 0.0, arczWallBox);
  BoxTree2D* b = wcoll2dTreeNew(segs.data(), static_cast<int>(segs.size()), 0.0, arczWallBox);
  const int meet =
      a == nullptr || b == nullptr ? -1 : wcoll2dTreesOverlap(a, b, 0, nullptr, nullptr);
  wcoll2dTreeFree(a);
  wcoll2dTreeFree(b);
  return meet < 0 ? -1 : (meet == 1 ? 1 : 0);
}

// 1 when a raster node inside a piece of the new loop, farther than margin from it, has the class
// the loop denies: a free area holds no blocked node, an island no free one. Such a loop was
// traced where the level's elements are incomplete (triangles inside the material culled after
// a level above) and follows no boundary of the drop.
bool contradictsRaster(const Raster* raster, const PkoList* traced, const IntList* starts,
                       int probeSide, double margin) {
  for (int k = 0; k < starts->count; ++k) {
    const int from = std::clamp(starts->items[k], 0, traced->count);
    const int to = k + 1 < starts->count ? std::clamp(starts->items[k + 1], from, traced->count)
                                         : traced->count;
    if (to - from < 3) continue;
    double x0 = 1e300, y0 = 1e300, x1 = -1e300, y1 = -1e300;
    for (int i = from; i < to; ++i) {
      const Point3D& p = traced->segments[i].end;
      x0 = std::min(x0, p.x), y0 = std::min(y0, p.y), x1 = std::max(x1, p.x),
      y1 = std::max(y1, p.y);
    }
    // The nodes of the piece's box (one more on each side costs nothing: the test decides).
    const int c0 = floorIndex((x0 - raster->x0) / raster->colStep, raster->cols - 1);
    const int c1 = floorIndex((x1 - raster->x0) / raster->colStep + 1.0, raster->cols - 1);
    const int r0 = floorIndex((y0 - raster->y0) / raster->rowStep, raster->rows - 1);
    const int r1 = floorIndex((y1 - raster->y0) / raster->rowStep + 1.0, raster->rows - 1);
    for (int r = r0; r <= r1; ++r) {
      for (int c = c0; c <= c1; ++c) {
        const std::int16_t cell = raster->cells[r][c];
        if (cell == kRasterOutside || (cell == kRasterBlocked) == (probeSide == 1)) continue;
        const Point2D p{raster->x0 + c * raster->colStep, raster->y0 + r * raster->rowStep};
        bool inside = false, near = false;
        for (int i = from; i < to && !near; ++i) {
          const Seg3D& g = traced->segments[i];
          const Seg2D s{g.start.x, g.start.y, g.end.x, g.end.y};
          near = g2dPointSegDist(p, s) <= margin;
          if ((s.y1 > p.y) != (s.y2 > p.y) &&
              p.x < s.x1 + (p.y - s.y1) * (s.x2 - s.x1) / (s.y2 - s.y1)) {
            inside = !inside;
          }
        }
        if (inside && !near) return true;
      }
    }
  }
  return false;
}

// Work lists of one new loop, freed on every return.
struct NewLoop {
  StelList* starts = stelListNew(4);
  PkoList* traced = pkoListNew(64);
  PkoList* work = pkoListNew(64);
  IntList* pieceStarts = lstIntNew(4);
  NewLoop() = default;
  NewLoop(const NewLoop&) = delete;
  NewLoop& operator=(const NewLoop&) = delete;
  ~NewLoop() {
    stelListFree(starts);
    pkoListFree(traced);
    pkoListFree(work);
    lstIntFree(pieceStarts);
  }
  bool ok() const {
    return starts != nullptr && traced != nullptr && work != nullptr && pieceStarts != nullptr;
  }
};

// Traces one start into its own lists and closes its pieces. Returns the tracing's or closing's
// result.
int traceOne(CollCtx* ctx, WalkTool* tool, WalkParams* params, const SliceContext* slice,
             const HiddenStart& h, NewLoop* loop) {
  if (stelListAppend(loop->starts, h.start) < 0) return -1;
  SliceContext s{slice->raster, loop->starts, loop->traced, loop->work, loop->pieceStarts};
  const int r = arczTraceLevel(ctx, tool, params, &s);
  if (r < 0) return r;
  if (loop->traced->count == 0) return 0;
  return gen_closedpaths(ctx, tool, params, &s);
}

// Appends the new loop's pieces to the slice.
int appendLoop(SliceContext* slice, const NewLoop& loop) {
  const int base = slice->traced->count;
  for (int k = 0; k < loop.pieceStarts->count; ++k)
    if (lstIntAppend(slice->pathStarts, base + loop.pieceStarts->items[k]) < 0) return -1;
  const PkoList* l = loop.traced;
  for (int i = 0; i < l->count; ++i)
    if (pkoListAdd(slice->traced, l->segments[i], l->vectors[i], l->ids[i], l->kinds[i]) < 0)
      return -1;
  return 1;
}

int traceHidden(CollCtx* ctx, WalkTool* tool, WalkParams* params, SliceContext* slice,
                const LevelHiddenModel* model) {
  const Raster* r = slice->raster;
  // A pocket or island inside a raster cell lies within half the cell's diagonal of a corner.
  const double reach = std::min(0.5 * std::hypot(r->rowStep, r->colStep), tool->radius);
  const double margin = kHiddenMargin * params->tolerance;
  const LevelClearance clr(ctx, tool, params, reach);
  TracedLoops loops(std::max(r->rowStep, 1e-3));
  loops.addPieces(slice, 0);
  std::vector<HiddenStart> found;
  // The walked contour strays from the offset by up to a step's sagitta where it turns: points
  // that near a traced loop belong to it.
  const double near = std::max(params->step, 2.0 * margin);
  const PieceIndex pieces(model != nullptr ? model->pieces : nullptr,
                          model != nullptr ? model->pieceCount : 0, tool->radius);
  findPockets(clr, loops, pieces, r, reach, margin, near, tool->radius + reach, &found);
  findIslands(ctx, tool, params->z, clr, loops, r, reach, margin, near, &found);
  if (found.empty()) return 0;

  ExactDrop drop(model, params->z);
  int added = 0;
  for (const HiddenStart& h : found) {
    if (loops.sideOf(h.probe) == h.probeSide || loops.near(h.probe, near)) continue;  // taken
    if (kontClassifyPoint(ctx->region, Point2D{h.start.x1, h.start.y1}) != 2) continue;
    if (h.probeSide == 0 && !drop.free(h.probe)) continue;  // inside the material
    NewLoop loop;
    if (!loop.ok()) return hiddenFail(-1);
    const int t = traceOne(ctx, tool, params, slice, h, &loop);
    if (t < 0) return t;
    if (loop.traced->count == 0) continue;
    const int meets = meetsOld(loops.segments(), loop.traced);
    if (meets < 0) return hiddenFail(-1);
    if (meets == 1) {
      geoErrLog("hidden area: the loop found is an old one");
      continue;
    }
    if (contradictsRaster(r, loop.traced, loop.pieceStarts, h.probeSide, margin)) {
      geoErrLog("hidden area: the loop found holds nodes of the other side");
      continue;
    }
    const int first = slice->pathStarts->count;
    if (appendLoop(slice, loop) < 0) return hiddenFail(-1);
    loops.addPieces(slice, first);
    added += loop.pieceStarts->count;
  }
  return added;
}

}  // namespace

int arczTraceHidden(CollCtx* ctx, WalkTool* tool, WalkParams* params, SliceContext* slice,
                    const LevelHiddenModel* model) {
  if (ctx == nullptr || tool == nullptr || params == nullptr || slice == nullptr ||
      slice->raster == nullptr || slice->raster->cells == nullptr || slice->traced == nullptr ||
      slice->pathStarts == nullptr || slice->work == nullptr) {
    return kGeoBadArgument;
  }
  try {
    return traceHidden(ctx, tool, params, slice, model);
  } catch (const std::bad_alloc&) {
    return hiddenFail(-1);
  }
}
