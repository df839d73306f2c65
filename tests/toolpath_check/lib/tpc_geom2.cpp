// tpc_geom2.cpp - the checker's planar geometry: lines and arcs with exact distances, winding
// numbers with the half-open rule, the pocket's contours as curves and their plan-box buckets.
#include <algorithm>
#include <array>
#include <cmath>
#include <limits>

#include "tpc_internal.h"

namespace tpc {
namespace {

constexpr double kInf = std::numeric_limits<double>::infinity();
// Contour elements must join within this distance.
constexpr double kJoinTol = 1e-6;

double normAngle(double a) {
  a = std::fmod(a, kTwoPi);
  if (a < 0) a += kTwoPi;
  if (a >= kTwoPi) a -= kTwoPi;
  return a;
}

double cross(double ax, double ay, double bx, double by) { return ax * by - ay * bx; }

double distPointLine(double px, double py, const Curve& c) {
  const double dx = c.bx - c.ax, dy = c.by - c.ay;
  const double len2 = dx * dx + dy * dy;
  double t = 0;
  if (len2 > 0) t = std::clamp(((px - c.ax) * dx + (py - c.ay) * dy) / len2, 0.0, 1.0);
  return std::hypot(px - (c.ax + t * dx), py - (c.ay + t * dy));
}

bool linesCross(const Curve& a, const Curve& b) {
  const double o1 = cross(a.bx - a.ax, a.by - a.ay, b.ax - a.ax, b.ay - a.ay);
  const double o2 = cross(a.bx - a.ax, a.by - a.ay, b.bx - a.ax, b.by - a.ay);
  const double o3 = cross(b.bx - b.ax, b.by - b.ay, a.ax - b.ax, a.ay - b.ay);
  const double o4 = cross(b.bx - b.ax, b.by - b.ay, a.bx - b.ax, a.by - b.ay);
  return ((o1 < 0 && o2 > 0) || (o1 > 0 && o2 < 0)) && ((o3 < 0 && o4 > 0) || (o3 > 0 && o4 < 0));
}

double distLineLine(const Curve& a, const Curve& b) {
  if (linesCross(a, b)) return 0;
  return std::min({distPointLine(a.ax, a.ay, b), distPointLine(a.bx, a.by, b),
                   distPointLine(b.ax, b.ay, a), distPointLine(b.bx, b.by, a)});
}

double distLineArc(const Curve& l, const Curve& a) {
  const double dx = l.bx - l.ax, dy = l.by - l.ay;
  const double len2 = dx * dx + dy * dy;
  if (len2 <= 0) return distPointCurve(l.ax, l.ay, a);
  // Intersections of the segment with the circle.
  const double fx = l.ax - a.cx, fy = l.ay - a.cy;
  const double qb = 2 * (fx * dx + fy * dy), qc = fx * fx + fy * fy - a.r * a.r;
  const double disc = qb * qb - 4 * len2 * qc;
  if (disc >= 0) {
    const double s = std::sqrt(disc);
    for (double t : {(-qb - s) / (2 * len2), (-qb + s) / (2 * len2)}) {
      if (t < 0 || t > 1) continue;
      const double px = l.ax + t * dx, py = l.ay + t * dy;
      if (arcHas(a, std::atan2(py - a.cy, px - a.cx))) return 0;
    }
  }
  double best = std::min({distPointCurve(l.ax, l.ay, a), distPointCurve(l.bx, l.by, a),
                          distPointLine(a.ax, a.ay, l), distPointLine(a.bx, a.by, l)});
  // Interior pairs: the common normal runs through the centre, square to the line.
  const double t = -(fx * dx + fy * dy) / len2;
  if (t > 0 && t < 1) {
    const double footx = l.ax + t * dx, footy = l.ay + t * dy;
    double ux = footx - a.cx, uy = footy - a.cy;
    double ul = std::hypot(ux, uy);
    if (ul <= 0) {  // the line runs through the centre: the normal is square to it
      ux = -dy;
      uy = dx;
      ul = std::sqrt(len2);
    }
    ux /= ul;
    uy /= ul;
    for (double sgn : {1.0, -1.0}) {
      const double px = a.cx + sgn * a.r * ux, py = a.cy + sgn * a.r * uy;
      if (arcHas(a, std::atan2(sgn * uy, sgn * ux)))
        best = std::min(best, std::hypot(px - footx, py - footy));
    }
  }
  return best;
}

double distArcArc(const Curve& a, const Curve& b) {
  const double dx = b.cx - a.cx, dy = b.cy - a.cy;
  const double d = std::hypot(dx, dy);
  if (d > 0 && d <= a.r + b.r && d >= std::fabs(a.r - b.r)) {
    const double along = (a.r * a.r - b.r * b.r + d * d) / (2 * d);
    const double h = std::sqrt(std::max(0.0, a.r * a.r - along * along));
    const double mx = a.cx + along * dx / d, my = a.cy + along * dy / d;
    for (double sgn : {1.0, -1.0}) {
      const double px = mx - sgn * h * dy / d, py = my + sgn * h * dx / d;
      if (arcHas(a, std::atan2(py - a.cy, px - a.cx)) &&
          arcHas(b, std::atan2(py - b.cy, px - b.cx)))
        return 0;
    }
  }
  double best = std::min({distPointCurve(a.ax, a.ay, b), distPointCurve(a.bx, a.by, b),
                          distPointCurve(b.ax, b.ay, a), distPointCurve(b.bx, b.by, a)});
  if (d > 0) {
    // Interior pairs lie on the line through both centres.
    const double ux = dx / d, uy = dy / d;
    for (double sa : {1.0, -1.0}) {
      if (!arcHas(a, std::atan2(sa * uy, sa * ux))) continue;
      for (double sb : {1.0, -1.0}) {
        if (!arcHas(b, std::atan2(sb * uy, sb * ux))) continue;
        best = std::min(best, std::hypot(a.cx + sa * a.r * ux - b.cx - sb * b.r * ux,
                                         a.cy + sa * a.r * uy - b.cy - sb * b.r * uy));
      }
    }
  } else if (arcHas(a, b.a0) || arcHas(b, a.a0)) {
    best = std::min(best, std::fabs(a.r - b.r));  // concentric with overlapping sweeps
  }
  return best;
}

// Crossings of one curve with the row y = py.
void curveRowCrossings(const Curve& c, double py, std::vector<std::pair<double, int>>& out) {
  auto piece = [&](double x0, double y0, double x1, double y1, double side) {
    int dir = 0;
    if (y0 <= py && py < y1) dir = 1;
    if (y1 <= py && py < y0) dir = -1;
    if (dir == 0) return;
    double x;
    if (c.turn == 0) {
      x = x0 + (py - y0) * (x1 - x0) / (y1 - y0);
    } else {
      const double e = py - c.cy;
      x = c.cx + side * std::sqrt(std::max(0.0, c.r * c.r - e * e));
    }
    out.emplace_back(x, dir);
  };
  if (c.turn == 0) {
    piece(c.ax, c.ay, c.bx, c.by, 0);
    return;
  }
  // Split the arc into pieces monotone in y at the circle's top and bottom.
  double cuts[4];
  int n = 0;
  cuts[n++] = 0;
  double splits[2] = {arcOffset(c, kPi / 2), arcOffset(c, 3 * kPi / 2)};
  std::sort(splits, splits + 2);
  for (double s : splits) {
    if (s > 0 && s < c.sweep) cuts[n++] = s;
  }
  cuts[n++] = c.sweep;
  for (int i = 0; i + 1 < n; ++i) {
    auto at = [&](int k, double& x, double& y) {
      if (k == 0) {
        x = c.ax;
        y = c.ay;
      } else if (k == n - 1) {
        x = c.bx;
        y = c.by;
      } else {
        const double ang = c.a0 + c.turn * cuts[k];
        x = c.cx;
        y = c.cy + (std::sin(ang) > 0 ? c.r : -c.r);
      }
    };
    double x0, y0, x1, y1;
    at(i, x0, y0);
    at(i + 1, x1, y1);
    const double mid = c.a0 + c.turn * 0.5 * (cuts[i] + cuts[i + 1]);
    piece(x0, y0, x1, y1, std::cos(mid) >= 0 ? 1.0 : -1.0);
  }
}

}  // namespace

Curve lineCurve(double ax, double ay, double bx, double by) {
  Curve c;
  c.ax = ax;
  c.ay = ay;
  c.bx = bx;
  c.by = by;
  return c;
}

Curve arcCurve(double ax, double ay, double bx, double by, double cx, double cy, int turn) {
  Curve c = lineCurve(ax, ay, bx, by);
  const double r = std::hypot(ax - cx, ay - cy);
  if (turn == 0 || !(r > 1e-12)) return c;  // no turn or no radius: a straight move
  c.turn = turn > 0 ? 1 : -1;
  c.cx = cx;
  c.cy = cy;
  c.r = r;
  c.a0 = std::atan2(ay - cy, ax - cx);
  if (std::hypot(bx - ax, by - ay) <= 1e-9 * std::max(1.0, r)) {
    c.sweep = kTwoPi;  // equal ends: a full circle
  } else {
    c.sweep = normAngle(c.turn * (std::atan2(by - cy, bx - cx) - c.a0));
  }
  return c;
}

Curve elemCurve(const Elem2& e) { return arcCurve(e.x0, e.y0, e.x1, e.y1, e.cx, e.cy, e.turn); }

Curve moveCurve(const Move& m) {
  return arcCurve(m.from.x, m.from.y, m.to.x, m.to.y, m.cx, m.cy, m.turn);
}

double arcOffset(const Curve& c, double angle) { return normAngle(c.turn * (angle - c.a0)); }

bool arcHas(const Curve& c, double angle) {
  const double off = arcOffset(c, angle);
  return off <= c.sweep + 1e-12 || off >= kTwoPi - 1e-12;
}

void curveAt(const Curve& c, double u, double& x, double& y) {
  if (u >= 1) {
    x = c.bx;
    y = c.by;
  } else if (u <= 0) {
    x = c.ax;
    y = c.ay;
  } else if (c.turn == 0) {
    x = c.ax + u * (c.bx - c.ax);
    y = c.ay + u * (c.by - c.ay);
  } else {
    const double ang = c.a0 + c.turn * u * c.sweep;
    x = c.cx + c.r * std::cos(ang);
    y = c.cy + c.r * std::sin(ang);
  }
}

double curveLength(const Curve& c) {
  return c.turn == 0 ? std::hypot(c.bx - c.ax, c.by - c.ay) : c.r * c.sweep;
}

void curveBox(const Curve& c, double& x0, double& y0, double& x1, double& y1) {
  x0 = std::min(c.ax, c.bx);
  x1 = std::max(c.ax, c.bx);
  y0 = std::min(c.ay, c.by);
  y1 = std::max(c.ay, c.by);
  if (c.turn == 0) return;
  if (arcHas(c, 0)) x1 = std::max(x1, c.cx + c.r);
  if (arcHas(c, kPi / 2)) y1 = std::max(y1, c.cy + c.r);
  if (arcHas(c, kPi)) x0 = std::min(x0, c.cx - c.r);
  if (arcHas(c, 3 * kPi / 2)) y0 = std::min(y0, c.cy - c.r);
}

double distPointCurve(double px, double py, const Curve& c) {
  if (c.turn == 0) return distPointLine(px, py, c);
  const double dx = px - c.cx, dy = py - c.cy;
  const double d = std::hypot(dx, dy);
  if (d <= 0) return c.r;
  if (arcHas(c, std::atan2(dy, dx))) return std::fabs(d - c.r);
  return std::min(std::hypot(px - c.ax, py - c.ay), std::hypot(px - c.bx, py - c.by));
}

double distCurveCurve(const Curve& a, const Curve& b) {
  if (a.turn == 0 && b.turn == 0) return distLineLine(a, b);
  if (a.turn == 0) return distLineArc(a, b);
  if (b.turn == 0) return distLineArc(b, a);
  return distArcArc(a, b);
}

void rowCrossings(const std::vector<Curve>& chain, double py,
                  std::vector<std::pair<double, int>>& out) {
  for (const Curve& c : chain) curveRowCrossings(c, py, out);
}

int windingNumber(const std::vector<Curve>& chain, double px, double py) {
  std::vector<std::pair<double, int>> xs;
  rowCrossings(chain, py, xs);
  int w = 0;
  for (const auto& [x, dir] : xs) {
    if (x > px) w += dir;
  }
  return w;
}

PocketCurves pocketCurves(const Pocket& pocket) {
  PocketCurves p;
  p.centre = pocket.centreContours;
  std::vector<const Contour*> all{&pocket.outer};
  for (const Contour& c : pocket.islands) all.push_back(&c);
  for (std::size_t i = 0; i < all.size(); ++i) {
    const Contour& c = *all[i];
    const std::string name = i == 0 ? "outer contour" : "island " + std::to_string(i);
    if (c.elems.empty()) {
      p.problem = name + " is empty";
      return p;
    }
    if (!(c.allowance >= 0) || !std::isfinite(c.top)) {
      p.problem = name + " has a negative or non-finite allowance or top";
      return p;
    }
    std::vector<Curve> chain;
    for (std::size_t k = 0; k < c.elems.size(); ++k) {
      const Elem2& e = c.elems[k];
      const Elem2& next = c.elems[(k + 1) % c.elems.size()];
      for (double v : {e.x0, e.y0, e.x1, e.y1, e.cx, e.cy}) {
        if (!std::isfinite(v)) {
          p.problem = name + " has a non-finite coordinate";
          return p;
        }
      }
      if (std::hypot(e.x1 - next.x0, e.y1 - next.y0) > kJoinTol) {
        p.problem = name + " is not closed after element " + std::to_string(k);
        return p;
      }
      chain.push_back(elemCurve(e));
    }
    p.contours.push_back(std::move(chain));
    p.allowance.push_back(c.allowance);
    p.top.push_back(c.top);
  }
  return p;
}

bool inPocket(const PocketCurves& p, double x, double y) {
  if (p.contours.empty() || windingNumber(p.contours[0], x, y) == 0) return false;
  for (std::size_t i = 1; i < p.contours.size(); ++i) {
    if (windingNumber(p.contours[i], x, y) != 0) return false;
  }
  return true;
}

bool bucketRange(const BoxBuckets& g, double x0, double y0, double x1, double y1, int& i0, int& j0,
                 int& i1, int& j1) {
  if (g.nx == 0) return false;
  if (x1 < g.x0 || y1 < g.y0 || x0 > g.x0 + g.nx * g.cell || y0 > g.y0 + g.ny * g.cell)
    return false;
  i0 = cellIndex(std::floor((x0 - g.x0) / g.cell), 0, g.nx - 1);
  j0 = cellIndex(std::floor((y0 - g.y0) / g.cell), 0, g.ny - 1);
  i1 = cellIndex(std::floor((x1 - g.x0) / g.cell), 0, g.nx - 1);
  j1 = cellIndex(std::floor((y1 - g.y0) / g.cell), 0, g.ny - 1);
  return true;
}

void bucketBoxes(const std::vector<std::array<double, 4>>& boxes, double scale, double maxCells,
                 BoxBuckets& out) {
  out = BoxBuckets{};
  if (boxes.empty()) return;
  double bx0 = kInf, by0 = kInf, bx1 = -kInf, by1 = -kInf;
  for (const auto& b : boxes) {
    bx0 = std::min(bx0, b[0]);
    by0 = std::min(by0, b[1]);
    bx1 = std::max(bx1, b[2]);
    by1 = std::max(by1, b[3]);
  }
  const double w = bx1 - bx0, h = by1 - by0;
  out.x0 = bx0;
  out.y0 = by0;
  out.cell =
      std::max({std::sqrt(std::max(w * h, 1e-12) / static_cast<double>(boxes.size())) * scale,
                std::max(w, h) / maxCells, 1e-9});
  out.nx = static_cast<int>(w / out.cell) + 1;
  out.ny = static_cast<int>(h / out.cell) + 1;
  std::vector<int> count(static_cast<std::size_t>(out.nx) * out.ny + 1, 0);
  int i0, j0, i1, j1;
  for (const auto& b : boxes) {
    bucketRange(out, b[0], b[1], b[2], b[3], i0, j0, i1, j1);
    for (int j = j0; j <= j1; ++j)
      for (int i = i0; i <= i1; ++i) ++count[static_cast<std::size_t>(j) * out.nx + i];
  }
  out.start.assign(count.size(), 0);
  for (std::size_t k = 1; k < count.size(); ++k) out.start[k] = out.start[k - 1] + count[k - 1];
  out.items.resize(static_cast<std::size_t>(out.start.back()));
  std::vector<int> fill(out.start.begin(), out.start.end() - 1);
  for (std::size_t k = 0; k < boxes.size(); ++k) {
    const auto& b = boxes[k];
    bucketRange(out, b[0], b[1], b[2], b[3], i0, j0, i1, j1);
    for (int j = j0; j <= j1; ++j)
      for (int i = i0; i <= i1; ++i)
        out.items[static_cast<std::size_t>(fill[static_cast<std::size_t>(j) * out.nx + i]++)] =
            static_cast<int>(k);
  }
}

CurveIndex::CurveIndex(const PocketCurves& pocket) {
  std::vector<std::array<double, 4>> boxes;
  for (std::size_t ci = 0; ci < pocket.contours.size(); ++ci) {
    for (std::size_t ei = 0; ei < pocket.contours[ci].size(); ++ei) {
      std::array<double, 4> b;
      curveBox(pocket.contours[ci][ei], b[0], b[1], b[2], b[3]);
      boxes.push_back(b);
      of_.emplace_back(static_cast<int>(ci), static_cast<int>(ei));
    }
  }
  seen_.assign(boxes.size(), 0);
  bucketBoxes(boxes, 2.0, 512, grid_);
}

void CurveIndex::query(double x0, double y0, double x1, double y1,
                       std::vector<std::pair<int, int>>& out) const {
  out.clear();
  int i0, j0, i1, j1;
  if (!bucketRange(grid_, x0, y0, x1, y1, i0, j0, i1, j1)) return;
  if (++stamp_ == 0) {
    std::fill(seen_.begin(), seen_.end(), 0);
    stamp_ = 1;
  }
  for (int j = j0; j <= j1; ++j) {
    for (int i = i0; i <= i1; ++i) {
      const std::size_t b = static_cast<std::size_t>(j) * grid_.nx + i;
      for (int k = grid_.start[b]; k < grid_.start[b + 1]; ++k) {
        const std::size_t flat = static_cast<std::size_t>(grid_.items[static_cast<std::size_t>(k)]);
        if (seen_[flat] == stamp_) continue;
        seen_[flat] = stamp_;
        out.push_back(of_[flat]);
      }
    }
  }
}

}  // namespace tpc
