// offset_field.h - the brute-force oracle of region offsets. A region (closed polygons, inside by
// crossing parity, so islands are polygons inside the outer one) is sampled on a square grid: at
// each node its signed distance (exact point-to-segment distances, positive inside). The offset of
// the region by a growth g (g > 0 grows, g < 0 shrinks) is the level set f >= -g. An offset's
// loops, handed in as plain polygons, are checked against it: every point of every loop must lie on
// the level (its distance from the region |g| within the offset's tolerance, on the right side),
// every node whose field lies clearly off the level (beyond the grid's resolution and the
// tolerance) must be classified alike by the loops, their area must lie within the bounds the grid
// gives, and there must be at least as many loops as the level set surely has. A loop smaller than
// the grid is seen by the first check only. Shares no code with the library.
#pragma once

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <numbers>
#include <sstream>
#include <string>
#include <vector>

namespace offtest {

struct Pt {
  double x, y;
};
using Poly = std::vector<Pt>;  // a closed polygon: the last point joins the first

// Squared distance from p to the segment ab.
inline double segDist2(const Pt& p, const Pt& a, const Pt& b) {
  const double dx = b.x - a.x, dy = b.y - a.y;
  const double l2 = dx * dx + dy * dy;
  double t = l2 > 0.0 ? ((p.x - a.x) * dx + (p.y - a.y) * dy) / l2 : 0.0;
  t = std::clamp(t, 0.0, 1.0);
  const double ex = a.x + t * dx - p.x, ey = a.y + t * dy - p.y;
  return ex * ex + ey * ey;
}

// The edges of a set of polygons with a bucket grid, for distances capped at a reach and for the
// crossing parity along the rows of a sample grid.
class EdgeSet {
 public:
  EdgeSet(const std::vector<Poly>& polys, double cell) : cell_(cell) {
    x0_ = y0_ = 1e300;
    double x1 = -1e300, y1 = -1e300;
    for (const Poly& p : polys) {
      for (std::size_t i = 0; i < p.size(); ++i) {
        const Pt a = p[i], b = p[(i + 1) % p.size()];
        if (a.x == b.x && a.y == b.y) continue;
        edges_.push_back({a, b});
        x0_ = std::min({x0_, a.x, b.x});
        y0_ = std::min({y0_, a.y, b.y});
        x1 = std::max({x1, a.x, b.x});
        y1 = std::max({y1, a.y, b.y});
      }
    }
    if (edges_.empty()) return;
    cols_ = static_cast<int>((x1 - x0_) / cell_) + 1;
    rows_ = static_cast<int>((y1 - y0_) / cell_) + 1;
    buckets_.assign(static_cast<std::size_t>(cols_) * rows_, {});
    const double half = cell_ * std::numbers::sqrt2 / 2.0;
    for (std::size_t e = 0; e < edges_.size(); ++e) {
      const Pt a = edges_[e].a, b = edges_[e].b;
      const int c0 = col(std::min(a.x, b.x)), c1 = col(std::max(a.x, b.x));
      const int r0 = row(std::min(a.y, b.y)), r1 = row(std::max(a.y, b.y));
      for (int r = r0; r <= r1; ++r) {
        for (int c = c0; c <= c1; ++c) {
          const Pt centre{x0_ + (c + 0.5) * cell_, y0_ + (r + 0.5) * cell_};
          if (segDist2(centre, a, b) <= half * half * 1.0001)
            buckets_[static_cast<std::size_t>(r) * cols_ + c].push_back(static_cast<int>(e));
        }
      }
    }
  }

  // The distance from p to the nearest edge, or reach when no edge comes nearer.
  double distance(const Pt& p, double reach) const {
    if (edges_.empty()) return reach;
    double best = reach * reach;
    const int c0 = col(p.x - reach), c1 = col(p.x + reach);
    const int r0 = row(p.y - reach), r1 = row(p.y + reach);
    for (int r = r0; r <= r1; ++r) {
      for (int c = c0; c <= c1; ++c) {
        for (int e : buckets_[static_cast<std::size_t>(r) * cols_ + c])
          best = std::min(best, segDist2(p, edges_[e].a, edges_[e].b));
      }
    }
    return std::sqrt(best);
  }

  // The distance from p to the nearest edge other than those running along the line through p in
  // direction dir (nearly parallel to it, with p within `along` of their line), or reach.
  double distanceBeside(const Pt& p, const Pt& dir, double along, double reach) const {
    if (edges_.empty()) return reach;
    const double dl = std::hypot(dir.x, dir.y);
    double best = reach * reach;
    const int c0 = col(p.x - reach), c1 = col(p.x + reach);
    const int r0 = row(p.y - reach), r1 = row(p.y + reach);
    for (int r = r0; r <= r1; ++r) {
      for (int c = c0; c <= c1; ++c) {
        for (int e : buckets_[static_cast<std::size_t>(r) * cols_ + c]) {
          const Edge& ed = edges_[static_cast<std::size_t>(e)];
          const double ex = ed.b.x - ed.a.x, ey = ed.b.y - ed.a.y, el = std::hypot(ex, ey);
          const double sine = std::fabs(dir.x * ey - dir.y * ex) / (dl * el);
          const double off = std::fabs(ex * (p.y - ed.a.y) - ey * (p.x - ed.a.x)) / el;
          if (sine < 1e-3 && off < along) continue;
          best = std::min(best, segDist2(p, ed.a, ed.b));
        }
      }
    }
    return std::sqrt(best);
  }

  // 1 when q lies inside by crossing parity: the edges that cross a horizontal ray from q all pass
  // through the cells of q's row on that side. The ray runs toward the nearer side of the grid (a
  // closed polygon crosses the whole line an even number of times, so either side tells).
  bool inside(const Pt& q) const {
    if (edges_.empty()) return false;
    if (stamp_.size() != edges_.size()) stamp_.assign(edges_.size(), 0);
    ++query_;
    bool in = false;
    const int r = row(q.y), c0 = col(q.x);
    const bool right = c0 >= cols_ / 2;
    for (int c = c0; right ? c < cols_ : c >= 0; c += right ? 1 : -1) {
      for (int e : buckets_[static_cast<std::size_t>(r) * cols_ + c]) {
        if (stamp_[static_cast<std::size_t>(e)] == query_) continue;
        stamp_[static_cast<std::size_t>(e)] = query_;
        const Pt a = edges_[static_cast<std::size_t>(e)].a,
                 b = edges_[static_cast<std::size_t>(e)].b;
        if ((a.y > q.y) == (b.y > q.y)) continue;
        const double x = a.x + (q.y - a.y) * (b.x - a.x) / (b.y - a.y);
        if (right ? q.x < x : q.x >= x) in = !in;
      }
    }
    return in;
  }

  // Parity of the nodes x0 + i h (i < count) on the row at height y: 1 inside.
  void rowParity(double y, double x0, double h, int count, std::vector<char>& out) const {
    std::vector<double> xs;
    for (const Edge& e : edges_) {
      if ((e.a.y > y) != (e.b.y > y))
        xs.push_back(e.a.x + (y - e.a.y) * (e.b.x - e.a.x) / (e.b.y - e.a.y));
    }
    std::sort(xs.begin(), xs.end());
    out.assign(static_cast<std::size_t>(count), 0);
    std::size_t k = 0;
    for (int i = 0; i < count; ++i) {
      const double x = x0 + i * h;
      while (k < xs.size() && xs[k] <= x) ++k;
      out[static_cast<std::size_t>(i)] = static_cast<char>((xs.size() - k) % 2);
    }
  }

 private:
  struct Edge {
    Pt a, b;
  };
  int col(double x) const {
    return std::clamp(static_cast<int>(std::floor((x - x0_) / cell_)), 0, cols_ - 1);
  }
  int row(double y) const {
    return std::clamp(static_cast<int>(std::floor((y - y0_) / cell_)), 0, rows_ - 1);
  }

  double cell_;
  double x0_ = 0.0, y0_ = 0.0;
  int cols_ = 1, rows_ = 1;
  std::vector<Edge> edges_;
  std::vector<std::vector<int>> buckets_;
  mutable std::vector<long> stamp_;
  mutable long query_ = 0;
};

// Area of the region that the polygons enclose by parity: each polygon's absolute area, counted
// negative when an odd number of the others hold it.
inline double parityArea(const std::vector<Poly>& polys) {
  auto inside = [](const Poly& p, const Pt& q) {
    bool in = false;
    for (std::size_t i = 0, j = p.size() - 1; i < p.size(); j = i++) {
      if ((p[i].y > q.y) != (p[j].y > q.y) &&
          q.x < p[i].x + (q.y - p[i].y) * (p[j].x - p[i].x) / (p[j].y - p[i].y))
        in = !in;
    }
    return in;
  };
  double total = 0.0;
  for (std::size_t k = 0; k < polys.size(); ++k) {
    const Poly& p = polys[k];
    double a = 0.0;
    for (std::size_t i = 0; i < p.size(); ++i) {
      const Pt& s = p[i];
      const Pt& t = p[(i + 1) % p.size()];
      a += s.x * t.y - t.x * s.y;
    }
    int depth = 0;
    for (std::size_t j = 0; j < polys.size(); ++j) {
      if (j != k && !polys[j].empty() && inside(polys[j], p[0])) ++depth;
    }
    total += (depth % 2 == 0 ? 0.5 : -0.5) * std::fabs(a);
  }
  return total;
}

// Connected components of the nodes where `set` holds (4-connected, or 8-connected with eight),
// on a grid framed by a ring of nodes outside the region (value 0 for the region, 1 for the rest,
// so the unbounded rest is one component). Returns the label of each node, -1 where set fails,
// and the number of labels in *count.
inline std::vector<int> components(const std::vector<char>& set, int W, int H, bool eight,
                                   int* count) {
  std::vector<int> label(set.size(), -1);
  *count = 0;
  std::vector<int> stack;
  for (std::size_t s = 0; s < set.size(); ++s) {
    if (label[s] >= 0 || set[s] == 0) continue;
    label[s] = *count;
    stack.push_back(static_cast<int>(s));
    while (!stack.empty()) {
      const int c = stack.back();
      stack.pop_back();
      const int x = c % W, y = c / W;
      for (int dy = -1; dy <= 1; ++dy) {
        for (int dx = -1; dx <= 1; ++dx) {
          if ((dx == 0 && dy == 0) || (!eight && dx != 0 && dy != 0)) continue;
          const int u = x + dx, v = y + dy;
          if (u < 0 || v < 0 || u >= W || v >= H) continue;
          const std::size_t t = static_cast<std::size_t>(v) * W + u;
          if (label[t] < 0 && set[t] != 0) {
            label[t] = *count;
            stack.push_back(static_cast<int>(t));
          }
        }
      }
    }
    ++*count;
  }
  return label;
}

// The components of the nodes in `maybe` (a superset of `sure`), counted two ways: at least the
// components of `maybe` that hold a node of `sure`; at most the components of `sure` and those of
// `maybe` without one. The ring around the grid belongs to the sets when ring is 1.
inline void componentBounds(const std::vector<char>& maybe, const std::vector<char>& sure, int nx,
                            int ny, bool eight, char ring, int* low, int* high) {
  const int W = nx + 2, H = ny + 2;
  std::vector<char> m(static_cast<std::size_t>(W) * H, ring), s(m.size(), ring);
  for (int j = 0; j < ny; ++j)
    for (int i = 0; i < nx; ++i) {
      m[static_cast<std::size_t>(j + 1) * W + i + 1] = maybe[static_cast<std::size_t>(j) * nx + i];
      s[static_cast<std::size_t>(j + 1) * W + i + 1] = sure[static_cast<std::size_t>(j) * nx + i];
    }
  int cm = 0, cs = 0;
  const std::vector<int> lm = components(m, W, H, eight, &cm);
  components(s, W, H, eight, &cs);
  std::vector<char> held(static_cast<std::size_t>(cm), 0);
  for (std::size_t k = 0; k < s.size(); ++k)
    if (s[k] != 0) held[static_cast<std::size_t>(lm[k])] = 1;
  int withSure = 0;
  for (char h : held) withSure += h;
  *low = withSure;
  *high = cs + (cm - withSure);
}

// The offset of a region by growth g against its sampled field.
struct FieldCheck {
  int nodes = 0;                    // nodes classified clearly (beyond the band)
  int wrong = 0;                    // of those, classified otherwise by the offset's loops
  Pt firstWrong{0, 0};              // the first such node
  double area = 0.0;                // the loops' area
  double areaLow = 0.0;             // the level set's area is at least this ...
  double areaHigh = 0.0;            // ... and at most this
  int loops = 0;                    // the loops handed in
  int fieldLoops = -1;              // the level set's loops, -1 when the grid cannot tell
  int loopsLow = 0, loopsHigh = 0;  // the fewest and most loops the grid sees within the band
  double worstOff = 0.0;            // the largest distance of a loop point from the level
  Pt worstAt{0, 0};
  double tol = 0.0;
};

// Samples the region's field on a grid of about `cells` nodes along the longer side of the
// offset's box and compares the offset's loops with the level set. tol is how far the offset may
// lie from the true one.
inline FieldCheck checkOffset(const std::vector<Poly>& region, double g,
                              const std::vector<Poly>& loops, double tol, int cells = 200) {
  FieldCheck r;
  double x0 = 1e300, y0 = 1e300, x1 = -1e300, y1 = -1e300;
  for (const Poly& p : region)
    for (const Pt& q : p) {
      x0 = std::min(x0, q.x);
      y0 = std::min(y0, q.y);
      x1 = std::max(x1, q.x);
      y1 = std::max(y1, q.y);
    }
  const double grow = std::max(g, 0.0) + 2.0 * tol;
  x0 -= grow;
  y0 -= grow;
  x1 += grow;
  y1 += grow;
  const double h = std::max(x1 - x0, y1 - y0) / cells;
  // Node (i, j) at the middle of cell (i, j), so that the cells tile the box.
  const int nx = static_cast<int>(std::ceil((x1 - x0) / h)),
            ny = static_cast<int>(std::ceil((y1 - y0) / h));
  const double band = h * std::numbers::sqrt2 / 2.0 + tol;  // a node this near the level is unclear
  const double level = -g;
  const double reach = std::fabs(level) + 2.0 * band + h;
  const EdgeSet src(region, std::max(reach / 2.0, h));
  const EdgeSet res(loops, std::max(reach / 2.0, h));
  std::vector<double> f(static_cast<std::size_t>(nx) * ny);
  std::vector<char> inSrc, inRes;
  int cellsIn = 0, cellsMaybe = 0;
  for (int j = 0; j < ny; ++j) {
    const double y = y0 + (j + 0.5) * h;
    src.rowParity(y, x0 + 0.5 * h, h, nx, inSrc);
    res.rowParity(y, x0 + 0.5 * h, h, nx, inRes);
    for (int i = 0; i < nx; ++i) {
      const Pt p{x0 + (i + 0.5) * h, y};
      const double d = src.distance(p, reach);
      const double v = inSrc[static_cast<std::size_t>(i)] != 0 ? d : -d;
      f[static_cast<std::size_t>(j) * nx + i] = v;
      // Cells whose node lies beyond half a diagonal from the level lie wholly on its side.
      if (v >= level + h * std::numbers::sqrt2 / 2.0 + tol) ++cellsIn;
      if (v > level - h * std::numbers::sqrt2 / 2.0 - tol) ++cellsMaybe;
      if (std::fabs(v - level) <= band) continue;
      ++r.nodes;
      const bool want = v > level;
      if (want != (inRes[static_cast<std::size_t>(i)] != 0)) {
        if (r.wrong++ == 0) r.firstWrong = p;
      }
    }
  }
  r.areaLow = cellsIn * h * h;
  r.areaHigh = cellsMaybe * h * h;
  r.area = parityArea(loops);
  r.loops = static_cast<int>(loops.size());
  for (const Poly& p : loops) {
    for (const Pt& q : p) {
      const double d = src.distance(q, reach + 1.0);
      const double v = src.inside(q) ? d : -d;
      if (std::fabs(v - level) > r.worstOff) {
        r.worstOff = std::fabs(v - level);
        r.worstAt = q;
      }
    }
  }
  r.tol = tol;
  // Loops: the components of the level set and its holes (the rest without the unbounded part),
  // each counted between what surely lies on its side and what may.
  std::vector<char> sureIn(f.size()), maybeIn(f.size()), sureOut(f.size()), maybeOut(f.size());
  for (std::size_t m = 0; m < f.size(); ++m) {
    sureIn[m] = f[m] >= level + band ? 1 : 0;
    maybeIn[m] = f[m] >= level - band ? 1 : 0;
    sureOut[m] = maybeIn[m] == 0 ? 1 : 0;
    maybeOut[m] = sureIn[m] == 0 ? 1 : 0;
  }
  int inLow = 0, inHigh = 0, outLow = 0, outHigh = 0;
  componentBounds(maybeIn, sureIn, nx, ny, false, 0, &inLow, &inHigh);
  componentBounds(maybeOut, sureOut, nx, ny, true, 1, &outLow, &outHigh);
  r.loopsLow = inLow + outLow - 1;
  r.loopsHigh = inHigh + outHigh - 1;
  if (r.loopsLow == r.loopsHigh) r.fieldLoops = r.loopsLow;
  return r;
}

// The verdict of one check: membership, area and (when the grid resolves it) the loop count.
inline ::testing::AssertionResult fieldAgrees(const FieldCheck& c) {
  std::ostringstream why;
  if (c.wrong > 0)
    why << c.wrong << " of " << c.nodes << " nodes classified wrongly, the first at ("
        << c.firstWrong.x << ", " << c.firstWrong.y << "); ";
  if (!(c.area >= c.areaLow && c.area <= c.areaHigh))
    why << "area " << c.area << " outside [" << c.areaLow << ", " << c.areaHigh << "]; ";
  if (c.worstOff > c.tol)
    why << "a loop point lies " << c.worstOff << " off the level at (" << c.worstAt.x << ", "
        << c.worstAt.y << "); ";
  if (c.loops < c.loopsLow)
    why << c.loops << " loops, the field has at least " << c.loopsLow << "; ";
  if (c.nodes == 0) why << "no node clear of the band; ";
  if (why.str().empty()) return ::testing::AssertionSuccess();
  return ::testing::AssertionFailure() << why.str();
}

}  // namespace offtest
