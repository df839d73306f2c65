// seg_offset.cpp - offset of segment chains with corner joins, loop removal through the crossing
// module, a distance check against the input and retries on a cleaned copy with a slightly
// larger distance.
#include "geometry/seg_offset.h"

#include <algorithm>
#include <cmath>
#include <new>
#include <stdexcept>

#include "geometry/bucket_grid.h"
#include "geometry/geo_error.h"
#include "geometry/seg_cross.h"

namespace {
constexpr double kEps = 1e-5;
constexpr double kNear = 0.0001;
constexpr double kTouch = 0.06;    // inside-corner offsets this close are joined as they are
constexpr double kShortGap = 0.4;  // gaps shorter than this are closed by moving an end
constexpr double kStartMatch = 0.005;
constexpr int kRetries = 20;
constexpr double kRetryGrow = 0.0006;
constexpr double kDistanceShare = 0.9;

// The kept scratch of the offsets: the lists of the winding-number offset come from a block, and
// the attempt's work lists keep their room, from one offset to the next (a fresh page costs far
// more to touch the first time than the work on it). segOffsetResetState releases them.
constexpr std::size_t kScratchKeep = std::size_t{64} << 20;

// The retry flag lives with the loop removal, which sets it too (segOffsetRetryFlag).
struct SegOffsetState {
  double parallelTol = 0.02;
  GridScratch scratch{kScratchKeep};
  std::vector<Seg2D> result, copy, work;
  std::vector<SegCrossing> table;
};
SegOffsetState offState;

bool offSame(double ax, double ay, double bx, double by, double tol) {
  return std::fabs(ax - bx) < tol && std::fabs(ay - by) < tol;
}
bool offJoined(const Seg2D& prev, const Seg2D& next) {
  return offSame(prev.x2, prev.y2, next.x1, next.y1, kEps);
}
double offLength(const Seg2D& s) { return std::hypot(s.x2 - s.x1, s.y2 - s.y1); }

// 1 when the chain is a closed contour of at least three segments, each starting where the one
// before ends (within 1e-5).
bool offClosedContour(const Seg2D* segs, int count) {
  if (segs == nullptr || count < 3) return false;
  for (int i = 0; i < count; ++i)
    if (!offJoined(segs[i], segs[(i + 1) % count])) return false;
  return true;
}

Seg2D offShift(const Seg2D& s, double d, const Point2D& n) {
  return Seg2D{s.x1 + d * n.x, s.y1 + d * n.y, s.x2 + d * n.x, s.y2 + d * n.y};
}

// Cell grid over the input segments answering whether any lies closer than a distance to a point
// with the same distance function as a scan over all of them.
class OffNearGrid {
 public:
  OffNearGrid(const Seg2D* segs, int n, double reach) : segs_(segs), n_(n), reach_(reach) {
    if (n <= 0) return;
    minX_ = maxX_ = segs[0].x1;
    minY_ = maxY_ = segs[0].y1;
    double total = 0.0;
    for (int i = 0; i < n; ++i) {
      minX_ = std::fmin(minX_, std::fmin(segs[i].x1, segs[i].x2));
      maxX_ = std::fmax(maxX_, std::fmax(segs[i].x1, segs[i].x2));
      minY_ = std::fmin(minY_, std::fmin(segs[i].y1, segs[i].y2));
      maxY_ = std::fmax(maxY_, std::fmax(segs[i].y1, segs[i].y2));
      total += offLength(segs[i]);
    }
    // Cells of a quarter of the reach (no smaller than a mean segment, and no more than about four
    // per segment): the cells of a query that lie beyond the reach as a whole are passed over.
    cell_ = std::fmax(std::fmax(0.25 * reach, total / n), 1e-6);
    for (;;) {
      nx_ = std::min<long long>(static_cast<long long>((maxX_ - minX_) / cell_) + 1, 4096);
      ny_ = std::min<long long>(static_cast<long long>((maxY_ - minY_) / cell_) + 1, 4096);
      if (nx_ * ny_ <= 4LL * n + 1024) break;
      cell_ *= 2.0;
    }
    cellX_ = (maxX_ - minX_) / nx_ + 1e-9;
    cellY_ = (maxY_ - minY_) / ny_ + 1e-9;
    start_.assign(nx_ * ny_ + 1, 0);
    forEachCell(0, [&](long long c, int) { ++start_[c + 1]; });
    for (long long c = 0; c < nx_ * ny_; ++c) start_[c + 1] += start_[c];
    items_.resize(start_[nx_ * ny_]);
    std::vector<int> fill(start_.begin(), start_.end() - 1);
    forEachCell(0, [&](long long c, int i) { items_[fill[c]++] = i; });
  }
  // True when some segment lies closer than reach to p.
  bool near(const Point2D& p) const {
    if (n_ <= 0) return false;
    const long long x0 = clampX(p.x - reach_), x1 = clampX(p.x + reach_);
    const long long y0 = clampY(p.y - reach_), y1 = clampY(p.y + reach_);
    const double far2 = (reach_ + 0.01) * (reach_ + 0.01);
    for (long long cy = y0; cy <= y1; ++cy) {
      const double ly = minY_ + cy * cellY_;
      const double dy = std::max({ly - p.y, p.y - (ly + cellY_), 0.0});
      for (long long cx = x0; cx <= x1; ++cx) {
        const double lx = minX_ + cx * cellX_;
        const double dx = std::max({lx - p.x, p.x - (lx + cellX_), 0.0});
        if (dx * dx + dy * dy > far2) continue;
        const long long c = cy * nx_ + cx;
        for (int e = start_[c]; e < start_[c + 1]; ++e) {
          // The distance is never less than the distance to the segment's box less the 0.0032
          // by which the segment functions' tolerance lets the nearest point leave the box.
          const Seg2D& s = segs_[items_[e]];
          const double bx = std::max({std::min(s.x1, s.x2) - p.x, p.x - std::max(s.x1, s.x2), 0.0});
          const double by = std::max({std::min(s.y1, s.y2) - p.y, p.y - std::max(s.y1, s.y2), 0.0});
          if (bx * bx + by * by > far2) continue;
          if (g2dPointSegDist(p, s) < reach_) return true;
        }
      }
    }
    return false;
  }

 private:
  long long clampX(double x) const {
    return std::clamp<long long>(static_cast<long long>(std::floor((x - minX_) / cellX_)), 0,
                                 nx_ - 1);
  }
  long long clampY(double y) const {
    return std::clamp<long long>(static_cast<long long>(std::floor((y - minY_) / cellY_)), 0,
                                 ny_ - 1);
  }
  template <typename F>
  void forEachCell(int, F f) const {
    for (int i = 0; i < n_; ++i) {
      const Seg2D& s = segs_[i];
      const long long x0 = clampX(std::fmin(s.x1, s.x2)), x1 = clampX(std::fmax(s.x1, s.x2));
      const long long y0 = clampY(std::fmin(s.y1, s.y2)), y1 = clampY(std::fmax(s.y1, s.y2));
      for (long long cy = y0; cy <= y1; ++cy) {
        for (long long cx = x0; cx <= x1; ++cx) f(cy * nx_ + cx, i);
      }
    }
  }
  const Seg2D* segs_;
  int n_;
  double reach_;
  double minX_ = 0, maxX_ = 0, minY_ = 0, maxY_ = 0, cell_ = 1, cellX_ = 1, cellY_ = 1;
  long long nx_ = 1, ny_ = 1;
  std::vector<int> start_, items_;
};

// ---- offset through winding numbers ------------------------------------------------------------
// The stand-in for a closed contour whose attempt fails: the raw offset curve (every segment moved
// to the side, outside corners joined by tangents of the circle of radius d about the corner,
// inside corners passing through the corner itself) winds around the points of the offset region
// once more than around the points outside it, whatever loops a large distance makes. The curve is
// cut at its crossings and the pieces between the two kinds of point are chained.

constexpr double kWindTol = 1e-9;  // raw points this close are one; an end this close cuts a piece

template <typename T>
using OffVec = std::pmr::vector<T>;

double offCross(const Point2D& a, const Point2D& b, const Point2D& c) {
  return (b.x - a.x) * (c.y - a.y) - (b.y - a.y) * (c.x - a.x);
}

// The raw curve through its points (closed: the last point joins the first). With fine, an
// outside corner is joined by tangents turning by at most 22.5 degrees each (within 2 percent of
// the distance from the circle); otherwise by two tangents, one chamfer as the corner join has.
OffVec<Point2D> offWindingCurve(const OffVec<Seg2D>& segs, double d, int side, double parallelTol,
                                bool fine, std::pmr::memory_resource* mem) {
  const std::size_t n = segs.size();
  OffVec<Point2D> u(n, mem), nr(n, mem), pts(mem);
  for (std::size_t i = 0; i < n; ++i) {
    const double dx = segs[i].x2 - segs[i].x1, dy = segs[i].y2 - segs[i].y1;
    const double len = std::hypot(dx, dy);
    u[i] = Point2D{dx / len, dy / len};
    nr[i] = side == 1 ? Point2D{-u[i].y, u[i].x} : Point2D{u[i].y, -u[i].x};
  }
  constexpr double kJoinStep = 0.39269908169872415481;  // 22.5 degrees: the turn of one tangent
  for (std::size_t j = 0; j < n; ++j) {
    const std::size_t p = (j + n - 1) % n;
    const Point2D v = g2dSegStart(segs[j]);
    const Point2D& n0 = nr[p];
    const Point2D& n1 = nr[j];
    const double cross = u[p].x * u[j].y - u[p].y * u[j].x;
    const double dot = g2dDot(u[p], u[j]);
    if (dot > 1.0 - parallelTol) {
      // Nearly straight: the offset lines meet on the bisector of the normals.
      const double f = d / (1.0 + g2dDot(n0, n1));
      pts.push_back(Point2D{v.x + f * (n0.x + n1.x), v.y + f * (n0.y + n1.y)});
    } else if (cross * side > 0.0) {
      // Inside corner: through the corner, so the loop the crossing offsets make winds wrongly.
      pts.push_back(Point2D{v.x + d * n0.x, v.y + d * n0.y});
      pts.push_back(v);
      pts.push_back(Point2D{v.x + d * n1.x, v.y + d * n1.y});
    } else {
      // Outside corner: tangents of the circle about the corner.
      const double turn = std::atan2(std::fabs(cross), dot);
      const int k = fine ? std::max(2, static_cast<int>(std::ceil(turn / kJoinStep - 1e-12))) : 2;
      const double step = -side * turn / k;
      Point2D m0 = n0;
      for (int i = 0; i < k; ++i) {
        const double a = step * (i + 1);
        const Point2D m1{n0.x * std::cos(a) - n0.y * std::sin(a),
                         n0.x * std::sin(a) + n0.y * std::cos(a)};
        const double f = d / (1.0 + g2dDot(m0, m1));
        pts.push_back(Point2D{v.x + f * (m0.x + m1.x), v.y + f * (m0.y + m1.y)});
        m0 = m1;
      }
    }
  }
  // Repeated points give segments without direction.
  OffVec<Point2D> out(mem);
  for (const Point2D& q : pts)
    if (out.empty() || q.x != out.back().x || q.y != out.back().y) out.push_back(q);
  while (out.size() > 1 && out.front().x == out.back().x && out.front().y == out.back().y)
    out.pop_back();
  return out;
}

struct OffCut {
  int seg;    // raw segment cut
  double t;   // position along it
  int point;  // index of the cut point
  int other;  // the raw segment crossing it there, or -1 where an end touches it
};

// Whether coordinate v lies beyond the ray at h that runs just short of h (shortOf: an end at h
// counts as beyond it) or just beyond it.
bool offBeyond(double v, double h, bool shortOf) { return shortOf ? v >= h : v > h; }

// The winding number of the raw curve around a point, not counting the raw segments in skip, by
// the crossings of a ray read through the cell grid: along +x through the point's row of cells
// when the grid has more rows than columns, else along +y through its column (the fewer cells).
// A segment over several cells of the ray is judged in the first of them.
class OffWinding {
 public:
  OffWinding(const OffVec<Point2D>& pts, const OffVec<double>& boxes, const CellGrid& grid,
             std::pmr::memory_resource* mem)
      : pts_(pts), grid_(grid), vertical_(grid.cols > grid.rows), first_(mem) {
    const int m = static_cast<int>(pts.size());
    first_.resize(static_cast<std::size_t>(m));
    for (int i = 0; i < m; ++i) {
      const double* b = &boxes[4 * static_cast<std::size_t>(i)];
      first_[i] =
          vertical_ ? gridCellsRow(grid, b[1] - kWindTol) : gridCellsCol(grid, b[0] - kWindTol);
    }
  }
  bool vertical() const { return vertical_; }
  // shortOf: the ray runs just short of p across its direction (just below p for a ray along +x,
  // just left of it for one along +y), else just beyond.
  int around(const Point2D& p, const OffVec<int>& skip, bool shortOf) const {
    const int m = static_cast<int>(pts_.size());
    // u along the ray, v across it.
    const double pu = vertical_ ? p.y : p.x, pv = vertical_ ? p.x : p.y;
    const int across = vertical_ ? gridCellsCol(grid_, p.x) : gridCellsRow(grid_, p.y);
    const int c0 = vertical_ ? gridCellsRow(grid_, p.y) : gridCellsCol(grid_, p.x);
    const int cells = vertical_ ? grid_.rows : grid_.cols;
    int w = 0;
    for (int c = c0; c < cells; ++c) {
      const std::size_t cell = vertical_ ? static_cast<std::size_t>(c) * grid_.cols + across
                                         : static_cast<std::size_t>(across) * grid_.cols + c;
      for (int e = grid_.start[cell]; e < grid_.start[cell + 1]; ++e) {
        const int i = grid_.items[e];
        const Point2D& a = pts_[i];
        const Point2D& b = pts_[(i + 1) % m];
        const double av = vertical_ ? a.x : a.y, bv = vertical_ ? b.x : b.y;
        if (offBeyond(av, pv, shortOf) == offBeyond(bv, pv, shortOf)) continue;
        if (std::max(c0, first_[i]) != c) continue;
        if (std::find(skip.begin(), skip.end(), i) != skip.end()) continue;
        const double au = vertical_ ? a.y : a.x, bu = vertical_ ? b.y : b.x;
        const double u = au + (pv - av) * (bu - au) / (bv - av);
        // Along +x a segment going up counts +1; along +y one going to -x does.
        if (u > pu) w += (bv > av) != vertical_ ? 1 : -1;
      }
    }
    return w;
  }

 private:
  const OffVec<Point2D>& pts_;
  const CellGrid& grid_;
  bool vertical_;
  OffVec<int> first_;
};

// The winding number just left of the piece a-b of raw segment s-e, over which lie pieces of the
// raw segments in skip whose directions sum to net (counted along s-e). The ray from a point just
// left of the piece's midpoint runs, for a ray along +x, just above the midpoint's height when the
// piece goes to +x (its left is above) and just below when it goes to -x; for a ray along +y just
// left of the midpoint when the piece goes up. The pieces on the midpoint count when the ray from
// the left point meets them: when the piece goes up (ray along +x) or to -x (ray along +y).
int offLeftWinding(const OffWinding& winding, const Point2D& a, const Point2D& b, const Point2D& s,
                   const Point2D& e, const OffVec<int>& skip, int net) {
  const Point2D mid{0.5 * (a.x + b.x), 0.5 * (a.y + b.y)};
  if (winding.vertical()) {
    const bool shortOf = e.y > s.y;
    const bool straddles = offBeyond(s.x, mid.x, shortOf) != offBeyond(e.x, mid.x, shortOf);
    return winding.around(mid, skip, shortOf) + (straddles && e.x < s.x ? net : 0);
  }
  const bool shortOf = e.x < s.x;
  const bool straddles = offBeyond(s.y, mid.y, shortOf) != offBeyond(e.y, mid.y, shortOf);
  return winding.around(mid, skip, shortOf) + (straddles && e.y > s.y ? net : 0);
}

// The offset of the closed contour in (its segments without direction left out) through winding
// numbers: the contour of the offset region with the input's orientation and the largest area.
// Empty when there is none. fine as for offWindingCurve.
// The result is in out (empty when there is none); the working lists come from mem.
void offWindingOffset(const Seg2D* in, int n, double d, int side, double parallelTol, bool fine,
                      std::vector<Seg2D>* out, std::pmr::memory_resource* mem) {
  out->clear();
  OffVec<Seg2D> segs(mem);
  double area = 0.0;
  for (int i = 0; i < n; ++i) {
    if (std::hypot(in[i].x2 - in[i].x1, in[i].y2 - in[i].y1) <= kWindTol) continue;
    segs.push_back(in[i]);
    area += in[i].x1 * in[i].y2 - in[i].x2 * in[i].y1;
  }
  if (segs.size() < 3 || area == 0.0) return;
  // The segments form a chain: each starts where the one before ended.
  for (std::size_t i = 1; i < segs.size(); ++i) {
    segs[i].x1 = segs[i - 1].x2;
    segs[i].y1 = segs[i - 1].y2;
  }
  segs.back().x2 = segs.front().x1;
  segs.back().y2 = segs.front().y1;
  const int orient = area > 0.0 ? 1 : -1;
  const OffVec<Point2D> pts = offWindingCurve(segs, d, side, parallelTol, fine, mem);
  const int m = static_cast<int>(pts.size());
  if (m < 3) return;
  OffVec<double> boxes(4 * static_cast<std::size_t>(m), mem);
  for (int i = 0; i < m; ++i) {
    const Point2D& a = pts[i];
    const Point2D& b = pts[(i + 1) % m];
    boxes[4 * i] = std::fmin(a.x, b.x);
    boxes[4 * i + 1] = std::fmin(a.y, b.y);
    boxes[4 * i + 2] = std::fmax(a.x, b.x);
    boxes[4 * i + 3] = std::fmax(a.y, b.y);
  }
  CellGrid grid(mem);
  if (gridCellsBuild(&grid, boxes.data(), m, kWindTol) != 1) return;
  // Cut points: crossings of two raw segments, and ends of one lying on the other.
  OffVec<Point2D> cutPts(mem);
  OffVec<OffCut> cuts(mem);
  auto cut = [&](int seg, const Point2D& q, int other) {
    const Point2D& a = pts[seg];
    const Point2D& b = pts[(seg + 1) % m];
    const double dx = b.x - a.x, dy = b.y - a.y;
    cuts.push_back({seg, ((q.x - a.x) * dx + (q.y - a.y) * dy) / (dx * dx + dy * dy),
                    static_cast<int>(cutPts.size()), other});
  };
  auto endOn = [&](const Point2D& q, int seg) {
    const Point2D& a = pts[seg];
    const Point2D& b = pts[(seg + 1) % m];
    const double dx = b.x - a.x, dy = b.y - a.y, len2 = dx * dx + dy * dy;
    const double along = (q.x - a.x) * dx + (q.y - a.y) * dy;
    if (!(along > 0.0 && along < len2)) return false;
    const double c = offCross(a, b, q);
    return c * c <= kWindTol * kWindTol * len2;
  };
  const std::size_t cells = static_cast<std::size_t>(grid.cols) * grid.rows;
  for (std::size_t cell = 0; cell < cells; ++cell) {
    const int r = static_cast<int>(cell / grid.cols), col = static_cast<int>(cell % grid.cols);
    for (int k = grid.start[cell]; k < grid.start[cell + 1]; ++k) {
      for (int l = k + 1; l < grid.start[cell + 1]; ++l) {
        const int i = std::min(grid.items[k], grid.items[l]);
        const int j = std::max(grid.items[k], grid.items[l]);
        if (j == i + 1 || (i == 0 && j == m - 1)) continue;  // neighbours meet at their joint
        const double* bi = &boxes[4 * i];
        const double* bj = &boxes[4 * j];
        const double ox = std::fmax(bi[0], bj[0]) - kWindTol;
        const double oy = std::fmax(bi[1], bj[1]) - kWindTol;
        if (ox > std::fmin(bi[2], bj[2]) + kWindTol || oy > std::fmin(bi[3], bj[3]) + kWindTol)
          continue;
        if (gridCellsCol(grid, ox) != col || gridCellsRow(grid, oy) != r) continue;
        const Point2D& a1 = pts[i];
        const Point2D& a2 = pts[(i + 1) % m];
        const Point2D& b1 = pts[j];
        const Point2D& b2 = pts[(j + 1) % m];
        bool touch = false;
        for (const Point2D* q : {&b1, &b2})
          if (endOn(*q, i)) {
            cut(i, *q, -1);
            cutPts.push_back(*q);
            touch = true;
          }
        for (const Point2D* q : {&a1, &a2})
          if (endOn(*q, j)) {
            cut(j, *q, -1);
            cutPts.push_back(*q);
            touch = true;
          }
        if (touch) continue;
        const double o1 = offCross(a1, a2, b1), o2 = offCross(a1, a2, b2);
        const double o3 = offCross(b1, b2, a1), o4 = offCross(b1, b2, a2);
        if (!((o1 > 0.0 && o2 < 0.0) || (o1 < 0.0 && o2 > 0.0))) continue;
        if (!((o3 > 0.0 && o4 < 0.0) || (o3 < 0.0 && o4 > 0.0))) continue;
        const double t = o3 / (o3 - o4);
        const Point2D x{a1.x + t * (a2.x - a1.x), a1.y + t * (a2.y - a1.y)};
        cut(i, x, j);
        cut(j, x, i);
        cutPts.push_back(x);
      }
    }
  }
  // Nodes: raw points 0 .. m-1, cut points m ..; points closer than kWindTol are one node.
  OffVec<Point2D> all(pts, mem);
  all.insert(all.end(), cutPts.begin(), cutPts.end());
  OffVec<int> node(all.size(), mem);
  if (gridClusterPoints(all.data(), static_cast<int>(all.size()), kWindTol, node.data(), mem) != 1)
    return;
  std::sort(cuts.begin(), cuts.end(), [](const OffCut& l, const OffCut& r) {
    return l.seg != r.seg ? l.seg < r.seg : l.t < r.t;
  });
  // Pieces between the cuts, in the curve's order. Each knows how the winding number on its left
  // follows from the one before: unchanged across a node that nothing else passes, one less or
  // one more across a lone crossing (by the side the crossing segment passes to), else unknown.
  constexpr int kAfresh = 2;
  struct Piece {
    Point2D a, b;
    int from, to, seg;
    int step;  // 0, -1, +1 against the piece before, or kAfresh
  };
  OffVec<int> members(all.size(), 0, mem);
  for (int k : node) ++members[k];
  OffVec<Piece> pieces(mem);
  std::size_t next = 0;
  int carry = kAfresh;
  for (int i = 0; i < m; ++i) {
    Point2D a = pts[i];
    int from = node[i];
    const Point2D& s = pts[i];
    const Point2D& e = pts[(i + 1) % m];
    auto piece = [&](const Point2D& b, int to) {
      if (to != from) {
        pieces.push_back({a, b, from, to, i, pieces.empty() ? kAfresh : carry});
        carry = 0;
      }
      a = b;
      from = to;
    };
    for (; next < cuts.size() && cuts[next].seg == i; ++next) {
      const OffCut& k = cuts[next];
      piece(all[m + k.point], node[m + k.point]);
      if (carry != kAfresh && k.other >= 0 && members[node[m + k.point]] == 1) {
        // Crossing a segment that passes from right to left lowers the number on the left.
        const Point2D& f1 = pts[k.other];
        const Point2D& f2 = pts[(k.other + 1) % m];
        carry += offCross(Point2D{0, 0}, Point2D{e.x - s.x, e.y - s.y},
                          Point2D{f2.x - f1.x, f2.y - f1.y}) > 0.0
                     ? -1
                     : 1;
      } else {
        carry = kAfresh;
      }
    }
    piece(pts[(i + 1) % m], node[(i + 1) % m]);
    if (members[node[(i + 1) % m]] != 1) carry = kAfresh;
  }
  // Pieces between the same two nodes (overlapping parts of the curve) count together: the number
  // on either side of them differs by the sum of their directions.
  const int np = static_cast<int>(pieces.size());
  OffVec<int> startAt(all.size() + 1, 0, mem), byStart(static_cast<std::size_t>(np), mem);
  for (const Piece& p : pieces) ++startAt[p.from + 1];
  for (std::size_t k = 0; k < all.size(); ++k) startAt[k + 1] += startAt[k];
  {
    OffVec<int> fill(startAt.begin(), startAt.end() - 1, mem);
    for (int k = 0; k < np; ++k) byStart[fill[pieces[k].from]++] = k;
  }
  OffVec<int> group(mem);
  auto twins = [&](int k) {
    group.clear();
    const Piece& p = pieces[k];
    for (int e = startAt[p.from]; e < startAt[p.from + 1]; ++e)
      if (pieces[byStart[e]].to == p.to) group.push_back(byStart[e]);
    for (int e = startAt[p.to]; e < startAt[p.to + 1]; ++e)
      if (pieces[byStart[e]].to == p.from) group.push_back(byStart[e]);
  };
  auto inside = [orient](int w) { return orient > 0 ? w >= 1 : w <= -1; };
  OffVec<Piece> kept(mem);
  OffVec<char> done(static_cast<std::size_t>(np), 0, mem);
  const OffWinding winding(pts, boxes, grid, mem);
  OffVec<int> skip(mem);
  int w = 0;
  bool known = false;
  for (int k = 0; k < np; ++k) {
    const Piece& p = pieces[k];
    twins(k);
    if (group.size() > 1) {
      // Counted once for the group, from its first piece.
      known = false;
      if (done[k] != 0) continue;
      const int r = *std::min_element(group.begin(), group.end());
      const Piece& rp = pieces[r];
      int net = 0;
      skip.clear();
      for (int g : group) {
        done[g] = 1;
        net += pieces[g].from == rp.from ? 1 : -1;
        skip.push_back(pieces[g].seg);
      }
      const int left =
          offLeftWinding(winding, rp.a, rp.b, pts[rp.seg], pts[(rp.seg + 1) % m], skip, net);
      const int right = left - net;
      const bool inLeft = inside(left), inRight = inside(right);
      const bool forward = orient > 0 ? inLeft && !inRight : inRight && !inLeft;
      const bool backward = orient > 0 ? inRight && !inLeft : inLeft && !inRight;
      if (forward) kept.push_back(rp);
      if (backward) kept.push_back({rp.b, rp.a, rp.to, rp.from, rp.seg, 0});
      continue;
    }
    if (known && p.step != kAfresh) {
      w += p.step;
    } else {
      skip.assign(1, p.seg);
      w = offLeftWinding(winding, p.a, p.b, pts[p.seg], pts[(p.seg + 1) % m], skip, 1);
    }
    known = true;
    const bool keep = orient > 0 ? inside(w) && !inside(w - 1) : inside(w - 1) && !inside(w);
    if (keep) kept.push_back(p);
  }
  // Chain the kept pieces into closed loops and keep the largest one running like the input.
  OffVec<int> keptAt(all.size() + 1, 0, mem), keptByStart(kept.size(), mem);
  for (const Piece& p : kept) ++keptAt[p.from + 1];
  for (std::size_t k = 0; k < all.size(); ++k) keptAt[k + 1] += keptAt[k];
  {
    OffVec<int> fill(keptAt.begin(), keptAt.end() - 1, mem);
    for (std::size_t i = 0; i < kept.size(); ++i)
      keptByStart[fill[kept[i].from]++] = static_cast<int>(i);
  }
  OffVec<int> cursor(keptAt.begin(), keptAt.end() - 1, mem);
  OffVec<char> used(kept.size(), 0, mem);
  OffVec<Seg2D> best(mem), loop(mem);
  double bestArea = 0.0;
  for (std::size_t first = 0; first < kept.size(); ++first) {
    if (used[first] != 0) continue;
    loop.clear();
    int at = static_cast<int>(first);
    bool closedLoop = false;
    while (at >= 0) {
      used[at] = 1;
      const Piece& p = kept[at];
      loop.push_back(Seg2D{p.a.x, p.a.y, p.b.x, p.b.y});
      if (p.to == kept[first].from) {
        closedLoop = true;
        break;
      }
      int& e = cursor[p.to];
      while (e < keptAt[p.to + 1] && used[keptByStart[e]] != 0) ++e;
      at = e < keptAt[p.to + 1] ? keptByStart[e] : -1;
    }
    if (!closedLoop || loop.size() < 3) continue;
    double a2 = 0.0;
    for (const Seg2D& g : loop) a2 += g.x1 * g.y2 - g.x2 * g.y1;
    if (a2 * orient > bestArea) {
      bestArea = a2 * orient;
      best = loop;
    }
  }
  for (std::size_t i = 0; i < best.size(); ++i) {
    const Seg2D& prev = best[(i + best.size() - 1) % best.size()];
    best[i].x1 = prev.x2;
    best[i].y1 = prev.y2;
  }
  out->assign(best.begin(), best.end());
}
}  // namespace

void segOffsetResetState() {
  offState = SegOffsetState{};
  segOffsetSetRetryFlag(0);
}
void pathSetParallelTol(int mode) { offState.parallelTol = mode == 1 ? 1.02 : 0.02; }

// ---- corner join and raw offset ----------------------------------------------------------------

int pathCornerFillet(Seg2D* a, Seg2D* b, double d, Seg2D* join, int side) {
  Point2D ua, ub, na, nb;
  if (g2dSegDirection(*a, &ua) == 0 || g2dSegDirection(*b, &ub) == 0 ||
      g2dSegNormal(*a, &na, side) == 0 || g2dSegNormal(*b, &nb, side) == 0) {
    return -1;
  }
  Seg2D ao = offShift(*a, d, na), bo = offShift(*b, d, nb);
  Point2D q{na.x + nb.x, na.y + nb.y};
  const double ql = g2dLength(q);
  if (ql < kEps) return -1;
  q = Point2D{q.x / ql, q.y / ql};
  const Point2D k = g2dSegEnd(*a);
  Point2D pa, pb;
  int result;
  if (g2dDot(ua, ub) > 1.0 - offState.parallelTol) {
    // Miter: both offsets end on the bisector through the corner.
    const Seg2D bis{k.x, k.y, k.x + q.x, k.y + q.y};
    if (g2dLineIsect(ao, bis, &pa) != 1 || g2dLineIsect(bo, bis, &pb) != 1) return -1;
    result = 2;
  } else {
    // Chamfer: cut by the line through the corner pushed out by d, square to the bisector.
    const Point2D c{k.x + d * q.x, k.y + d * q.y};
    const Seg2D cut{c.x, c.y, c.x - q.y, c.y + q.x};
    if (g2dLineIsect(ao, cut, &pa) != 1 || g2dLineIsect(bo, cut, &pb) != 1) return -1;
    result = 1;
  }
  ao.x2 = pa.x;
  ao.y2 = pa.y;
  bo.x1 = pb.x;
  bo.y1 = pb.y;
  *join = Seg2D{pa.x, pa.y, pb.x, pb.y};
  *a = ao;
  *b = bo;
  return result;
}

int segOffsetRaw(double d, const Seg2D* in, int n, std::vector<Seg2D>* out, int side) {
  out->clear();
  if (in == nullptr || n <= 0) return 0;
  Point2D nrm;
  if (g2dSegNormal(in[0], &nrm, side) == 0) return 0;
  out->push_back(offShift(in[0], d, nrm));
  const bool closed = offSame(in[0].x1, in[0].y1, in[n - 1].x2, in[n - 1].y2, kNear);
  int code = 1;
  bool reversal = false;
  const int steps = closed ? n : n - 1;
  for (int i = 1; i <= steps; ++i) {
    const bool closing = i == n;
    const Seg2D& prevIn = in[i - 1];
    const Seg2D& curIn = in[closing ? 0 : i];
    int t = 0;
    if (g2dTurnDirection(prevIn, curIn, &t) == 0) return 0;
    if (t == -2) {
      reversal = true;
      t = -1;
    } else {
      t *= side;
    }
    if (t == -1) {
      Seg2D a = prevIn, b = curIn, join;
      const int r = pathCornerFillet(&a, &b, d, &join, side);
      if (r == -1) return 0;
      const std::size_t last = out->size() - 1;
      (*out)[last].x2 = join.x1;
      (*out)[last].y2 = join.y1;
      if (!closing && out->size() >= 2) {
        Point2D p;
        if (g2dSegIsect((*out)[last], (*out)[last - 1], &p) == 1) {
          (*out)[last - 1].x2 = p.x;
          (*out)[last - 1].y2 = p.y;
          (*out)[last].x1 = p.x;
          (*out)[last].y1 = p.y;
        }
      }
      if (r == 1) out->push_back(join);
      if (closing) {
        (*out)[0].x1 = join.x2;
        (*out)[0].y1 = join.y2;
        Point2D p;
        if (g2dSegIsect(in[n - 1], in[0], &p) == -1) code = -2;
      } else {
        out->push_back(b);  // b already starts at the join's end
      }
    } else if (t == 1) {
      Seg2D cur;
      if (closing) {
        cur = (*out)[0];
      } else {
        if (g2dSegNormal(curIn, &nrm, side) == 0) return 0;
        cur = offShift(curIn, d, nrm);
      }
      Seg2D& prev = out->back();
      Point2D p;
      const int hit = g2dSegIsect(prev, cur, &p);
      if (hit == 1) {
        prev.x2 = p.x;
        prev.y2 = p.y;
        cur.x1 = p.x;
        cur.y1 = p.y;
      } else if (hit == 0) {
        if (offSame(prev.x2, prev.y2, cur.x1, cur.y1, kTouch)) {
          cur.x1 = prev.x2;
          cur.y1 = prev.y2;
        } else {
          code = -1;
        }
      }
      if (closing) {
        (*out)[0] = cur;
      } else {
        out->push_back(cur);
      }
    } else if (!closing) {
      if (g2dSegNormal(curIn, &nrm, side) == 0) return 0;
      Seg2D cur = offShift(curIn, d, nrm);
      cur.x1 = out->back().x2;
      cur.y1 = out->back().y2;
      out->push_back(cur);
    }
  }
  out->resize(
      static_cast<std::size_t>(segDropNullSegments(out->data(), static_cast<int>(out->size()))));
  if (code == 1 && reversal) code = -3;
  return code;
}

// ---- clean-up steps ----------------------------------------------------------------------------

int segTrimAtCircle(const Seg2D* in, std::vector<Seg2D>* raw, double d) {
  const int count = static_cast<int>(raw->size());
  if (in == nullptr || count <= 0) return count;
  std::vector<SegCrossing> hits(2 * static_cast<std::size_t>(count));
  const int k = segCircleCrossings(count, raw->data(), Circle2D{g2dSegStart(in[0]), d}, hits.data(),
                                   2 * count);
  if (k <= 0) return count;
  const SegCrossing& last = hits[k - 1];
  raw->erase(raw->begin(), raw->begin() + (last.segA - 1));
  (*raw)[0].x1 = last.x;
  (*raw)[0].y1 = last.y;
  return static_cast<int>(raw->size());
}

int segOffsetCornerCheck(const Seg2D& a, const Seg2D& b, int expectedTurn) {
  int t = 0;
  Point2D ua, ub;
  if (g2dTurnDirection(a, b, &t) == 0 || g2dSegDirection(a, &ua) == 0 ||
      g2dSegDirection(b, &ub) == 0) {
    return 1;
  }
  return (t == expectedTurn && g2dDot(ua, ub) >= 0.0) ? 0 : 1;
}

int segThinContour(Seg2D* segs, int count, double limit) {
  if (segs == nullptr || count < 3) return count;
  int i = 1;
  while (i <= count - 2) {
    const Seg2D& s = segs[i];
    int t1 = 0, t2 = 0;
    if (offLength(s) > limit || g2dTurnDirection(segs[i - 1], s, &t1) == 0 ||
        g2dTurnDirection(s, segs[i + 1], &t2) == 0 || t1 == 0 || t2 == 0) {
      ++i;
      continue;
    }
    const Point2D m{(s.x1 + s.x2) / 2.0, (s.y1 + s.y2) / 2.0};
    Seg2D before = segs[i - 1], after = segs[i + 1];
    before.x2 = m.x;
    before.y2 = m.y;
    after.x1 = m.x;
    after.y1 = m.y;
    if (t1 != t2 || t1 == -2 || segOffsetCornerCheck(before, after, t1) == 1) {
      segs[i - 1] = before;
      segs[i + 1] = after;
      std::copy(segs + i + 1, segs + count, segs + i);
      --count;
    } else {
      ++i;
    }
  }
  return count;
}

int segDropShort(Seg2D* segs, int count, double len) {
  if (segs == nullptr) return 0;
  const Seg2D* end =
      std::remove_if(segs, segs + count, [len](const Seg2D& s) { return offLength(s) < len; });
  return static_cast<int>(end - segs);
}

int segDropNullSegments(Seg2D* segs, int count) {
  if (segs == nullptr) return 0;
  const Seg2D* end = std::remove_if(
      segs, segs + count, [](const Seg2D& s) { return offSame(s.x1, s.y1, s.x2, s.y2, kNear); });
  return static_cast<int>(end - segs);
}

int segOffsetTailDominates(const Seg2D* segs, int total, int j) {
  double before = 0.0, after = 0.0;
  for (int i = 0; i < j; ++i) before += offLength(segs[i]);
  for (int i = j + 1; i < total; ++i) after += offLength(segs[i]);
  return after > 0.4 * before ? 1 : 0;
}

int segOffsetKeepsDistance(const Seg2D* in, int n, double d, const Seg2D* out, int count) {
  if (out == nullptr || count <= 0) return 1;
  const OffNearGrid grid(in, n, kDistanceShare * d);
  for (int i = 0; i < count; ++i) {
    if (grid.near(g2dSegEnd(out[i]))) return 0;
  }
  return 1;
}

// ---- one attempt and the entry -----------------------------------------------------------------

int segOffsetOnce(const Seg2D* in, int n, double d, std::vector<Seg2D>* out, int side) {
  try {
    out->clear();
    if (in == nullptr || n <= 0) {
      segOffsetSetRetryFlag(1);
      return 0;
    }
    const bool closed = g2dChainClosed(in, n) == 1;
    if (std::fabs(d) < kEps) {
      out->assign(in, in + n);
      return n;
    }
    std::vector<Seg2D>& work = offState.work;
    work.clear();
    work.reserve(static_cast<std::size_t>(std::max(3 * n, 1000)));
    const int m = segOffsetRaw(d, in, n, out, side);
    if (m == 0) {
      segOffsetSetRetryFlag(1);
      return 0;
    }
    std::vector<SegCrossing>& table = offState.table;  // grows with the crossings found
    bool trimmed = false;
    int c = static_cast<int>(out->size());
    int records = 0, g = 0;
    for (;;) {
      records = segSelfCrossingsGrow(out->data(), c, &table, m);
      if (records < 0) return geoFail(-1, "seg_offset");
      g = 0;
      for (int j = 1; j < c && g == 0; ++j) {
        if (!offJoined((*out)[j - 1], (*out)[j])) g = j;
      }
      const Seg2D& s0 = (*out)[0];
      if (!(records > 0 && offSame(table[0].x, table[0].y, s0.x1, s0.y1, kStartMatch))) {
        std::copy_backward(table.data(), table.data() + records, table.data() + records + 1);
        table[0] = SegCrossing{s0.x1, s0.y1, 0.0, 1, c, 1};
        ++records;
      }
      segClassifyCrossing(table.data(), records, 0, out->data(), c, in, n, d, side);
      int from = 0;
      if (records >= 2 && g > 0 && table[0].state == 0 && g <= table[1].segA - 1) {
        const Seg2D& sg = (*out)[g];
        table[0] = SegCrossing{sg.x1, sg.y1, 0.0, g + 1, c, 1};
        from = 1;  // the moved start keeps its state
      }
      for (int i = records - 1; i >= from; --i) {
        segClassifyCrossing(table.data(), records, i, out->data(), c, in, n, d, side);
      }
      bool usable = false;
      for (int i = 0; i < records && !usable; ++i) usable = table[i].state != 0;
      if (usable || trimmed) break;
      c = segTrimAtCircle(in, out, d);
      trimmed = true;
      if (c <= 0) {
        segOffsetSetRetryFlag(1);
        return 0;
      }
    }
    if (records >= 2 || g > 0) {
      work.clear();
      const int r = segRemoveLoops(table.data(), records, out->data(), c, &work);
      if (r < 0) {
        out->clear();
      } else {
        out->assign(work.begin(), work.begin() + r);
      }
      c = static_cast<int>(out->size());
    }
    // Gaps: short ones are closed, a long one ends the contour.
    for (int j = 1; j < c; ++j) {
      Seg2D& prev = (*out)[j - 1];
      const Seg2D& cur = (*out)[j];
      if (offJoined(prev, cur)) continue;
      if (std::hypot(cur.x1 - prev.x2, cur.y1 - prev.y2) < kShortGap) {
        prev.x2 = cur.x1;
        prev.y2 = cur.y1;
      } else {
        c = segOffsetTailDominates(out->data(), c, j) == 1 ? 0 : j;
        break;
      }
    }
    out->resize(static_cast<std::size_t>(c));
    if (closed && c > 0) {
      Seg2D& last = out->back();
      const Seg2D& first = out->front();
      if (!offSame(last.x2, last.y2, first.x1, first.y1, kEps)) {
        if (std::hypot(first.x1 - last.x2, first.y1 - last.y2) >= d) {
          out->push_back(Seg2D{last.x2, last.y2, first.x1, first.y1});
        } else {
          last.x2 = first.x1;
          last.y2 = first.y1;
        }
      }
    }
    c = static_cast<int>(out->size());
    if (c > 1) {
      Point2D u, v;
      if (g2dSegDirection((*out)[c - 2], &u) == 1 && g2dSegDirection((*out)[c - 1], &v) == 1 &&
          g2dDot(u, v) < -0.999) {
        out->pop_back();
        --c;
      }
    }
    if (segOffsetRetryFlag() == 0 && segOffsetKeepsDistance(in, n, d, out->data(), c) == 0) {
      segOffsetSetRetryFlag(1);
    }
    // The offset of a closed contour is a closed contour: anything less is no offset.
    if (closed && !offClosedContour(out->data(), c)) segOffsetSetRetryFlag(1);
    return c;
  } catch (const std::bad_alloc&) {
    out->clear();
    return geoFail(-1, "seg_offset");
  }
}

int segOffsetContour(const Seg2D* in, int n, double d, Seg2D* out, int outCap, int side) {
  if (n < 0 || outCap < 0 || (n > 0 && (in == nullptr || out == nullptr)) ||
      (side != 1 && side != -1) || !(d >= 0.0) || !std::isfinite(d)) {
    return geoFail(-20, "seg_offset");
  }
  for (int i = 0; i < n; ++i) {
    if (!std::isfinite(in[i].x1) || !std::isfinite(in[i].y1) || !std::isfinite(in[i].x2) ||
        !std::isfinite(in[i].y2))
      return geoFail(-20, "seg_offset");
  }
  if (n == 0) return 0;
  try {
    std::vector<Seg2D>& result = offState.result;
    result.clear();
    segOffsetSetRetryFlag(0);
    int r = segOffsetOnce(in, n, d, &result, side);
    if (r < 0) return r;
    const bool closed = g2dChainClosed(in, n) == 1;
    // An accepted result keeps its distance from the caller's contour (not from a cleaned copy)
    // and, for a closed contour, is a closed contour of at least three segments.
    auto acceptable = [&](int count) {
      return count > 0 && segOffsetKeepsDistance(in, n, d, result.data(), count) == 1 &&
             (!closed || offClosedContour(result.data(), count));
    };
    if (r == 0 || segOffsetRetryFlag() != 0) {
      // A closed contour is offset through the winding numbers of its raw offset curve, which
      // keeps the distance and the shape; where that gives nothing usable, the retries follow.
      // Its joins follow the circle closely unless that gives more than twice the input's
      // segments, the room every caller provides; then each join is one chamfer.
      if (closed) {
        GridScratchScope scope(offState.scratch);
        offWindingOffset(in, n, d, side, offState.parallelTol, true, &result, scope.memory());
        if (result.size() > 2 * static_cast<std::size_t>(n))
          offWindingOffset(in, n, d, side, offState.parallelTol, false, &result, scope.memory());
        r = static_cast<int>(result.size());
        segOffsetSetRetryFlag(acceptable(r) ? 0 : 1);
      }
    }
    if (r == 0 || segOffsetRetryFlag() != 0) {
      // Retries on a cleaned working copy with a slightly larger distance.
      std::vector<Seg2D>& copy = offState.copy;
      copy.assign(in, in + n);
      double dd = d;
      for (int k = 1; k <= kRetries; ++k) {
        dd += kRetryGrow;
        double shortest = dd > 15.0 ? 0.02 : 0.01;
        if (k >= 12 && dd > 10.0) shortest = 0.02;
        int wc = segDropShort(copy.data(), static_cast<int>(copy.size()), shortest);
        if (wc >= 50) {
          for (;;) {
            const int thinned = segThinContour(copy.data(), wc, 1.0);
            if (thinned >= wc) break;
            wc = thinned;
          }
        }
        copy.resize(static_cast<std::size_t>(wc));
        segOffsetSetRetryFlag(0);
        r = segOffsetOnce(copy.data(), wc, dd, &result, side);
        if (r < 0) return r;
        if (segOffsetRetryFlag() == 0 && !acceptable(r)) segOffsetSetRetryFlag(1);
        if (segOffsetRetryFlag() == 0) break;
      }
      // Every caller takes a positive count as a good offset: a last attempt that still failed
      // the checks is no result.
      if (segOffsetRetryFlag() != 0) return 0;
    }
    if (r > outCap) return geoFail(-1, "seg_offset");
    std::copy(result.begin(), result.begin() + r, out);
    return r;
  } catch (const std::bad_alloc&) {
    return geoFail(-1, "seg_offset");
  } catch (const std::length_error&) {
    return geoFail(-1, "seg_offset");
  }
}
