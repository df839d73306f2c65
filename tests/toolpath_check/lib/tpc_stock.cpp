// tpc_stock.cpp - links and rapids of a 3D path against a heightmap stock: feed moves lower the
// stock to their swept cutter, rapids must meet neither stock nor the part grown by the allowance.
#include <algorithm>
#include <cmath>
#include <limits>

#include "tpc_internal.h"

namespace tpc {
namespace {

constexpr double kInf = std::numeric_limits<double>::infinity();
// Largest heightmap the check builds.
constexpr double kMaxCells = 4e6;
// A helical move is followed by chords no farther than this from the helix.
constexpr double kChordSag = 1e-4;

// Lowest height of the cutter's lower surface over (px, py) while its tip runs straight from p to
// q; +infinity when the cutter never covers the point.
double lowestOnLine(double R, double r, double px, double py, const Vec3& p, const Vec3& q) {
  double t0, t1;
  if (!edgeWithin(R, px, py, p, q, t0, t1)) {
    // No plan motion: a plunge or a point.
    if (std::hypot(q.x - p.x, q.y - p.y) > 1e-12) return kInf;
    const double prof = cutterProfile(R, r, std::hypot(p.x - px, p.y - py));
    return prof == kInf ? kInf : std::min(p.z, q.z) + prof;
  }
  // z(t) + profile(d(t)) is convex in t: its minimum is the maximum of its negation.
  auto negHeight = [&](double t) {
    const double x = p.x + t * (q.x - p.x), y = p.y + t * (q.y - p.y);
    const double prof = cutterProfile(R, r, std::hypot(x - px, y - py));
    return prof == kInf ? -kInf : -(p.z + t * (q.z - p.z) + prof);
  };
  return -goldenMax(negHeight, t0, t1);
}

double lowestOnMove(const Move& m, double R, double r, double px, double py) {
  if (std::fabs(m.to.z - m.from.z) <= 1e-12) {
    const double prof = cutterProfile(R, r, distPointCurve(px, py, moveCurve(m)));
    return prof == kInf ? kInf : m.from.z + prof;
  }
  if (m.turn == 0) return lowestOnLine(R, r, px, py, m.from, m.to);
  // A helix: chords close enough to it.
  const Curve c = moveCurve(m);
  const double step = 2 * std::acos(std::max(-1.0, 1 - kChordSag / c.r));
  const int n = std::clamp(static_cast<int>(std::ceil(c.sweep / step)), 1, 4096);
  double low = kInf;
  Vec3 a = m.from;
  for (int i = 1; i <= n; ++i) {
    const Vec3 b = movePoint(m, static_cast<double>(i) / n);
    low = std::min(low, lowestOnLine(R, r, px, py, a, b));
    a = b;
  }
  return low;
}

// The stock's heightmap grid: cell (i, j) has its centre at (x0 + (i + 0.5) cell, y0 + ...).
struct Heightmap {
  double x0 = 0, y0 = 0, cell = 1;
  int nx = 0, ny = 0;
};

// Walks the path in order: every feed move lowers the stock to its swept cutter; a rapid's swept
// cutter meeting stock above its lower surface sets res.worst (-infinity: none).
void stockRule(const Path& path, const Heightmap& map, double surface, Result& res) {
  res.worst = -kInf;
  const int nx = map.nx, ny = map.ny;
  std::vector<double> top(static_cast<std::size_t>(nx) * ny, surface);
  for (const Move& m : path.moves) {
    const Tool& tool = path.passes[static_cast<std::size_t>(m.pass)].tool;
    const double R = tool.radius, r = tool.corner;
    double a0, b0, a1, b1;
    curveBox(moveCurve(m), a0, b0, a1, b1);
    // Clamped one past the grid, so that a move beyond it meets no cell.
    const int i0 = cellIndex(std::floor((a0 - R - map.x0) / map.cell), 0, nx);
    const int i1 = cellIndex(std::ceil((a1 + R - map.x0) / map.cell), -1, nx - 1);
    const int j0 = cellIndex(std::floor((b0 - R - map.y0) / map.cell), 0, ny);
    const int j1 = cellIndex(std::ceil((b1 + R - map.y0) / map.cell), -1, ny - 1);
    for (int j = j0; j <= j1; ++j) {
      for (int i = i0; i <= i1; ++i) {
        const double px = map.x0 + (i + 0.5) * map.cell, py = map.y0 + (j + 0.5) * map.cell;
        const double low = lowestOnMove(m, R, r, px, py);
        if (low == kInf) continue;
        double& h = top[static_cast<std::size_t>(j) * nx + i];
        if (m.kind == MoveKind::Feed) {
          h = std::min(h, low);
        } else if (h - low > res.worst) {
          setWorst(res, h - low, Vec3{px, py, h}, &m);
        }
      }
    }
  }
}

}  // namespace

Result checkLinks3D(const Path& path, const Mesh& part, const Stock& stock,
                    const Links3DOptions& options) {
  if (!(options.allowance >= 0) || !(options.tol >= 0) || !std::isfinite(stock.surface)) {
    return notRun("L3D", "allowance and tol must be >= 0 and the stock surface finite");
  }
  double bx0 = stock.x0, by0 = stock.y0, bx1 = stock.x1, by1 = stock.y1;
  if (!(bx0 < bx1) || !(by0 < by1)) {
    if (part.triangles.empty()) return notRun("L3D", "no stock box and no part to take it from");
    bx0 = part.lo.x;
    by0 = part.lo.y;
    bx1 = part.hi.x;
    by1 = part.hi.y;
  }
  Result res;
  res.worst = -kInf;
  if (path.moves.empty()) {
    res.message = "L3D ok: no moves";
    return res;
  }
  double rmin = kInf;
  for (const Move& m : path.moves)
    rmin = std::min(rmin, path.passes[static_cast<std::size_t>(m.pass)].tool.radius);
  const double cell =
      options.cell > 0 ? options.cell : std::max(rmin / 8, std::max(bx1 - bx0, by1 - by0) / 2048);
  const double nxd = std::ceil((bx1 - bx0) / cell), nyd = std::ceil((by1 - by0) / cell);
  if (nxd * nyd > kMaxCells)
    return notRun("L3D", "heightmap of " + num(nxd * nyd) + " cells is too large");
  const Heightmap map{bx0, by0, cell, static_cast<int>(nxd), static_cast<int>(nyd)};
  Result stockRes;
  stockRule(path, map, stock.surface, stockRes);
  // The rapids against the part grown by the allowance: the 3-D penetration, as G3 judges feeds.
  Result partRes;
  partRes.worst = -kInf;
  double unproven = -kInf;
  if (!part.triangles.empty()) {
    const MeshIndex index(part);
    unproven = penetrationAlong(path, index, {options.allowance, options.tol, false},
                                Follow::Rapids, partRes);
  }
  res = stockRes.worst >= partRes.worst ? stockRes : partRes;
  res.vertical = partRes.vertical;
  res.verticalWhere = partRes.verticalWhere;
  res.verticalLine = partRes.verticalLine;
  res.verticalPass = partRes.verticalPass;
  const bool unprovenFails = unproven > options.tol;
  res.ok = res.worst <= options.tol && !unprovenFails;
  std::string s =
      std::string("L3D ") + (res.ok ? "ok: " : "FAIL: ") + "rapid violation " + num(res.worst);
  if (res.worst > options.tol) {
    s += " > tol " + num(options.tol) + placeText(path, res);
  } else if (unprovenFails) {
    s += ", part up to " + num(unproven) + " between samples > tol " + num(options.tol);
  }
  s += "; stock " + num(stockRes.worst) + ", part " + num(partRes.worst);
  if (!part.triangles.empty()) s += "; " + verticalText(path, partRes);
  res.message = s;
  return res;
}

}  // namespace tpc
