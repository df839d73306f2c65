// cell_shapes.h - regions made of unit cells of a small integer grid, for Boolean tests whose
// answer is known exactly: the result of union, intersection or difference of two cell sets is a
// cell set again, so its area is a cell count and membership is a cell lookup, whatever rotation
// the contours were drawn under.
#pragma once

#include <cmath>
#include <map>
#include <random>
#include <utility>
#include <vector>

#include "geometry/vec.h"

namespace qdtest {

// A set of unit cells [x, x+1] x [y, y+1] of a side x side grid.
struct CellSet {
  int side = 0;
  std::vector<char> on;  // row-major, y * side + x
  bool at(int x, int y) const {
    return x >= 0 && y >= 0 && x < side && y < side && on[y * side + x] != 0;
  }
  int count() const {
    int c = 0;
    for (char v : on) c += v != 0;
    return c;
  }
};

// A 4-connected random cell set of up to maxCells cells; no two cells meet only at a corner (so
// its boundary is a set of simple loops) and never empty.
inline CellSet randomCellSet(std::mt19937& rng, int side, int maxCells) {
  std::uniform_int_distribution<int> pick(0, side - 1);
  std::uniform_int_distribution<int> size(2, maxCells);
  for (;;) {
    CellSet s;
    s.side = side;
    s.on.assign(static_cast<std::size_t>(side * side), 0);
    s.on[pick(rng) * side + pick(rng)] = 1;
    const int want = size(rng);
    for (int tries = 0; s.count() < want && tries < 400; ++tries) {
      const int x = pick(rng), y = pick(rng);
      if (s.at(x, y)) continue;
      if (s.at(x - 1, y) || s.at(x + 1, y) || s.at(x, y - 1) || s.at(x, y + 1))
        s.on[y * side + x] = 1;
    }
    bool pinch = false;
    for (int y = -1; y < side && !pinch; ++y) {
      for (int x = -1; x < side && !pinch; ++x) {
        const bool a = s.at(x, y), b = s.at(x + 1, y), c = s.at(x, y + 1), d = s.at(x + 1, y + 1);
        pinch = (a && d && !b && !c) || (b && c && !a && !d);
      }
    }
    if (!pinch) return s;
  }
}

// The boundary loops of the set with the cells on their left (outer loop counter-clockwise,
// holes clockwise), as integer points. With merge, collinear runs of unit edges become one edge.
inline std::vector<std::vector<Point2D>> cellLoops(const CellSet& s, bool merge) {
  std::map<std::pair<int, int>, std::pair<int, int>> next;  // edge start -> edge end
  for (int y = 0; y < s.side; ++y) {
    for (int x = 0; x < s.side; ++x) {
      if (!s.at(x, y)) continue;
      if (!s.at(x, y - 1)) next[{x, y}] = {x + 1, y};
      if (!s.at(x + 1, y)) next[{x + 1, y}] = {x + 1, y + 1};
      if (!s.at(x, y + 1)) next[{x + 1, y + 1}] = {x, y + 1};
      if (!s.at(x - 1, y)) next[{x, y + 1}] = {x, y};
    }
  }
  std::vector<std::vector<Point2D>> loops;
  while (!next.empty()) {
    std::vector<std::pair<int, int>> loop;
    std::pair<int, int> p = next.begin()->first;
    while (next.count(p) != 0) {
      loop.push_back(p);
      const std::pair<int, int> q = next[p];
      next.erase(p);
      p = q;
    }
    std::vector<Point2D> pts;
    const std::size_t n = loop.size();
    for (std::size_t i = 0; i < n; ++i) {
      const auto& a = loop[(i + n - 1) % n];
      const auto& b = loop[i];
      const auto& c = loop[(i + 1) % n];
      const bool straight = (b.first - a.first) * (c.second - b.second) ==
                            (b.second - a.second) * (c.first - b.first);
      if (merge && straight) continue;
      pts.push_back({double(b.first), double(b.second)});
    }
    loops.push_back(pts);
  }
  return loops;
}

// Signed shoelace area of a closed point loop.
inline double loopArea(const std::vector<Point2D>& p) {
  double a = 0.0;
  for (std::size_t i = 0; i < p.size(); ++i) {
    const Point2D& u = p[i];
    const Point2D& v = p[(i + 1) % p.size()];
    a += u.x * v.y - v.x * u.y;
  }
  return 0.5 * a;
}

// A rigid motion of the plane: rotation by angle, then a shift.
struct Motion {
  double c = 1.0, s = 0.0, tx = 0.0, ty = 0.0;
  static Motion make(double angle, double tx, double ty) {
    return Motion{std::cos(angle), std::sin(angle), tx, ty};
  }
  Point2D apply(const Point2D& p) const { return {c * p.x - s * p.y + tx, s * p.x + c * p.y + ty}; }
  Point2D invert(const Point2D& q) const {
    const double x = q.x - tx, y = q.y - ty;
    return {c * x + s * y, -s * x + c * y};
  }
};

// The cells of the result of mode 0 union, 1 intersection, 2 a minus b.
inline CellSet cellBoolean(const CellSet& a, const CellSet& b, int mode) {
  CellSet r = a;
  for (std::size_t i = 0; i < r.on.size(); ++i) {
    const bool x = a.on[i] != 0, y = b.on[i] != 0;
    r.on[i] = mode == 0 ? (x || y) : mode == 1 ? (x && y) : (x && !y);
  }
  return r;
}

}  // namespace qdtest
