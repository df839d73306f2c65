// tpc_cover.cpp - coverage of one pocket level on a raster: the tool-centre region and the
// clearable region of the pocket, the distance of every cell from the cutting moves at the floor,
// the two coverage rules and the uncut area.
#include <algorithm>
#include <cmath>
#include <limits>

#include "tpc_internal.h"

namespace tpc {
namespace {

constexpr double kInf = std::numeric_limits<double>::infinity();
// A feed move lies at the floor when both its ends are this near it.
constexpr double kFloorTol = 0.02;
// Largest raster the coverage checks build.
constexpr double kMaxCells = 4e6;
// "Far" for the distance transform, in squared cells.
constexpr double kFar = 1e20;

struct FloorMove {
  Curve c;
  double radius;
};

struct Cover {
  std::string problem;
  int nx = 0, ny = 0;
  double x0 = 0, y0 = 0, cell = 0, rmin = 0;
  std::vector<char> centre, clearable;
  std::vector<double> reach;   // distance of the cell from the nearest floor move
  std::vector<double> excess;  // the least (distance - radius of that move)
  double cap = 0;              // distances beyond this were not measured

  double cx(int i) const { return x0 + (i + 0.5) * cell; }
  double cy(int j) const { return y0 + (j + 0.5) * cell; }
  std::size_t at(int i, int j) const { return static_cast<std::size_t>(j) * nx + i; }
};

// Squared distance transform of one line (Felzenszwalb and Huttenlocher): d[q] = min over p of
// (q - p)^2 + f[p].
void distance1(const std::vector<double>& f, std::vector<double>& d, std::vector<int>& v,
               std::vector<double>& z) {
  const int n = static_cast<int>(f.size());
  int k = 0;
  v[0] = 0;
  z[0] = -1e300;
  z[1] = 1e300;
  auto cut = [&](int q, int p) {
    return ((f[q] + static_cast<double>(q) * q) - (f[p] + static_cast<double>(p) * p)) /
           (2.0 * q - 2.0 * p);
  };
  for (int q = 1; q < n; ++q) {
    double s = cut(q, v[k]);
    while (s <= z[k]) {
      --k;
      s = cut(q, v[k]);
    }
    ++k;
    v[k] = q;
    z[k] = s;
    z[k + 1] = 1e300;
  }
  k = 0;
  for (int q = 0; q < n; ++q) {
    while (z[k + 1] < q) ++k;
    const double dq = q - v[k];
    d[q] = dq * dq + f[v[k]];
  }
}

// In place: cells at 0 are sources, others kFar; afterwards the squared distance in cells of every
// cell centre from the nearest source centre.
void distance2(std::vector<double>& g, int nx, int ny) {
  const int n = std::max(nx, ny);
  std::vector<double> f, d;
  std::vector<int> v(static_cast<std::size_t>(n) + 1);
  std::vector<double> z(static_cast<std::size_t>(n) + 2);
  f.resize(static_cast<std::size_t>(ny));
  d.resize(static_cast<std::size_t>(ny));
  for (int i = 0; i < nx; ++i) {
    for (int j = 0; j < ny; ++j)
      f[static_cast<std::size_t>(j)] = g[static_cast<std::size_t>(j) * nx + i];
    distance1(f, d, v, z);
    for (int j = 0; j < ny; ++j)
      g[static_cast<std::size_t>(j) * nx + i] = d[static_cast<std::size_t>(j)];
  }
  f.resize(static_cast<std::size_t>(nx));
  d.resize(static_cast<std::size_t>(nx));
  for (int j = 0; j < ny; ++j) {
    for (int i = 0; i < nx; ++i)
      f[static_cast<std::size_t>(i)] = g[static_cast<std::size_t>(j) * nx + i];
    distance1(f, d, v, z);
    for (int i = 0; i < nx; ++i)
      g[static_cast<std::size_t>(j) * nx + i] = d[static_cast<std::size_t>(i)];
  }
}

// Cells whose centre x lies in [xa, xb): [i0, i1).
void cellSpan(const Cover& cv, double xa, double xb, int& i0, int& i1) {
  auto first = [&](double x) {
    if (x == -kInf) return 0;
    if (x == kInf) return cv.nx;
    return cellIndex(std::ceil((x - cv.x0) / cv.cell - 0.5), 0, cv.nx);
  };
  i0 = first(xa);
  i1 = first(xb);
}

// Adds +1 to the cells of one row where the contour winds (nonzero winding).
void markWinding(const Cover& cv, const std::vector<Curve>& chain, double y, std::vector<int>& diff,
                 std::vector<std::pair<double, int>>& xs) {
  xs.clear();
  rowCrossings(chain, y, xs);
  std::sort(xs.begin(), xs.end());
  int w = 0;
  for (const auto& x : xs) w += x.second;  // left of every crossing: all of them lie right
  double from = -kInf;
  for (std::size_t k = 0; k <= xs.size(); ++k) {
    const double to = k < xs.size() ? xs[k].first : kInf;
    if (w != 0) {
      int i0, i1;
      cellSpan(cv, from, to, i0, i1);
      if (i0 < i1) {
        ++diff[static_cast<std::size_t>(i0)];
        --diff[static_cast<std::size_t>(i1)];
      }
    }
    if (k < xs.size()) {
      w -= xs[k].second;
      from = to;
    }
  }
}

bool buildCover(const Path& path, const Pocket& pocket, const CoverOptions& opt, Cover& cv) {
  const PocketCurves pc = pocketCurves(pocket);
  if (!pc.problem.empty()) {
    cv.problem = pc.problem;
    return false;
  }
  if (!(opt.step >= 0) || !(opt.inset >= 0) || !(opt.tol >= 0) || !std::isfinite(opt.floorZ)) {
    cv.problem = "step, inset and tol must be >= 0 and the floor finite";
    return false;
  }
  std::vector<FloorMove> floor;
  double rmin = kInf;
  for (const Move& m : path.moves) {
    if (m.kind != MoveKind::Feed) continue;
    const double R = path.passes[static_cast<std::size_t>(m.pass)].tool.radius;
    const bool a = std::fabs(m.from.z - opt.floorZ) <= kFloorTol;
    const bool b = std::fabs(m.to.z - opt.floorZ) <= kFloorTol;
    if (a && b) {
      floor.push_back({moveCurve(m), R});
    } else if (a) {
      floor.push_back({lineCurve(m.from.x, m.from.y, m.from.x, m.from.y), R});
    } else if (b) {
      floor.push_back({lineCurve(m.to.x, m.to.y, m.to.x, m.to.y), R});
    } else {
      continue;
    }
    rmin = std::min(rmin, R);
  }
  if (floor.empty()) {
    cv.problem = "no cutting move at the floor z " + num(opt.floorZ);
    return false;
  }
  cv.rmin = rmin;
  cv.cell = opt.cell > 0 && opt.cell <= 0.05 * rmin ? opt.cell : 0.05 * rmin;
  double bx0, by0, bx1, by1;
  curveBox(pc.contours[0][0], bx0, by0, bx1, by1);
  for (const Curve& c : pc.contours[0]) {
    double a0, b0, a1, b1;
    curveBox(c, a0, b0, a1, b1);
    bx0 = std::min(bx0, a0);
    by0 = std::min(by0, b0);
    bx1 = std::max(bx1, a1);
    by1 = std::max(by1, b1);
  }
  const double margin = rmin + 2 * cv.cell;
  cv.x0 = bx0 - margin;
  cv.y0 = by0 - margin;
  const double nxd = std::ceil((bx1 - bx0 + 2 * margin) / cv.cell);
  const double nyd = std::ceil((by1 - by0 + 2 * margin) / cv.cell);
  if (nxd * nyd > kMaxCells) {
    cv.problem = "raster of " + num(nxd * nyd) +
                 " cells is too large; give a coarser cell or a smaller pocket";
    return false;
  }
  cv.nx = static_cast<int>(nxd);
  cv.ny = static_cast<int>(nyd);
  const std::size_t cells = static_cast<std::size_t>(cv.nx) * cv.ny;

  // The tool-centre region: in the pocket (nonzero winding of the outer contour, zero of every
  // island) and the needed clearance from every contour.
  cv.centre.assign(cells, 0);
  const CurveIndex index(pc);
  double maxNeed = 0;
  for (std::size_t ci = 0; ci < pc.contours.size(); ++ci)
    maxNeed = std::max(maxNeed, needed(pc, ci, rmin));
  std::vector<int> outerDiff(static_cast<std::size_t>(cv.nx) + 1),
      islandDiff(static_cast<std::size_t>(cv.nx) + 1);
  std::vector<std::pair<double, int>> xs;
  std::vector<std::pair<int, int>> near;
  for (int j = 0; j < cv.ny; ++j) {
    const double y = cv.cy(j);
    std::fill(outerDiff.begin(), outerDiff.end(), 0);
    std::fill(islandDiff.begin(), islandDiff.end(), 0);
    markWinding(cv, pc.contours[0], y, outerDiff, xs);
    for (std::size_t ci = 1; ci < pc.contours.size(); ++ci)
      markWinding(cv, pc.contours[ci], y, islandDiff, xs);
    int inOuter = 0, inIsland = 0;
    for (int i = 0; i < cv.nx; ++i) {
      inOuter += outerDiff[static_cast<std::size_t>(i)];
      inIsland += islandDiff[static_cast<std::size_t>(i)];
      if (inOuter == 0 || inIsland != 0) continue;
      const double x = cv.cx(i);
      bool ok = true;
      index.query(x - maxNeed, y - maxNeed, x + maxNeed, y + maxNeed, near);
      for (const auto& [c, e] : near) {
        const std::size_t ci = static_cast<std::size_t>(c);
        if (distPointCurve(x, y, pc.contours[ci][static_cast<std::size_t>(e)]) <
            needed(pc, ci, rmin)) {
          ok = false;
          break;
        }
      }
      cv.centre[cv.at(i, j)] = ok ? 1 : 0;
    }
  }

  // The clearable region: cells within R of a centre cell.
  std::vector<double> g(cells);
  for (std::size_t k = 0; k < cells; ++k) g[k] = cv.centre[k] ? 0 : kFar;
  distance2(g, cv.nx, cv.ny);
  cv.clearable.assign(cells, 0);
  const double reachCells = rmin / cv.cell;
  for (std::size_t k = 0; k < cells; ++k) cv.clearable[k] = g[k] <= reachCells * reachCells ? 1 : 0;

  // Distances from the floor moves, measured out to a margin beyond what the rules need.
  cv.reach.assign(cells, kInf);
  cv.excess.assign(cells, kInf);
  cv.cap = std::max(opt.step, rmin) + opt.tol + rmin;
  for (const FloorMove& f : floor) {
    const double M = std::max(opt.step, f.radius) + opt.tol + rmin;
    double a0, b0, a1, b1;
    curveBox(f.c, a0, b0, a1, b1);
    const int i0 = cellIndex(std::floor((a0 - M - cv.x0) / cv.cell), 0, cv.nx);
    const int i1 = cellIndex(std::ceil((a1 + M - cv.x0) / cv.cell), -1, cv.nx - 1);
    const int j0 = cellIndex(std::floor((b0 - M - cv.y0) / cv.cell), 0, cv.ny);
    const int j1 = cellIndex(std::ceil((b1 + M - cv.y0) / cv.cell), -1, cv.ny - 1);
    for (int j = j0; j <= j1; ++j) {
      for (int i = i0; i <= i1; ++i) {
        const double d = distPointCurve(cv.cx(i), cv.cy(j), f.c);
        if (d > M) continue;
        const std::size_t k = cv.at(i, j);
        cv.reach[k] = std::min(cv.reach[k], d);
        cv.excess[k] = std::min(cv.excess[k], d - f.radius);
      }
    }
  }
  return true;
}

double uncutArea(const Cover& cv, double tol) {
  std::size_t n = 0;
  for (std::size_t k = 0; k < cv.clearable.size(); ++k) {
    if (cv.clearable[k] && cv.excess[k] > tol) ++n;
  }
  return static_cast<double>(n) * cv.cell * cv.cell;
}

std::string coverMessage(const Result& r, const std::string& check, const std::string& measure,
                         double limit, double cap, const Cover& cv) {
  std::string s = check + (r.ok ? " ok: " : " FAIL: ") + measure +
                  (r.worst >= cap ? " at least " : " ") + num(r.worst) + (r.ok ? " <= " : " > ") +
                  num(limit);
  if (!r.ok) s += " at (" + num(r.where.x) + ", " + num(r.where.y) + ")";
  s += "; uncut area " + num(r.uncutArea) + " (cell " + num(cv.cell) + ")";
  return s;
}

}  // namespace

Result checkCoverStep(const Path& path, const Pocket& pocket, const CoverOptions& options) {
  Cover cv;
  if (!buildCover(path, pocket, options, cv)) return notRun("C1", cv.problem);
  Result res;
  res.worst = 0;
  res.uncutArea = uncutArea(cv, options.tol);
  const double limit = options.step + options.tol;
  for (int j = 0; j < cv.ny; ++j) {
    for (int i = 0; i < cv.nx; ++i) {
      const std::size_t k = cv.at(i, j);
      if (!cv.centre[k]) continue;
      const double d = std::min(cv.reach[k], cv.cap);
      if (d > res.worst) setWorst(res, d, Vec3{cv.cx(i), cv.cy(j), options.floorZ}, nullptr);
    }
  }
  res.ok = res.worst <= limit;
  res.message =
      coverMessage(res, "C1", "farthest tool-centre cell from the path", limit, cv.cap, cv);
  return res;
}

Result checkCoverClear(const Path& path, const Pocket& pocket, const CoverOptions& options) {
  Cover cv;
  if (!buildCover(path, pocket, options, cv)) return notRun("C2", cv.problem);
  Result res;
  res.worst = -kInf;
  res.uncutArea = uncutArea(cv, options.tol);
  // Depth of every clearable cell: distance to the nearest cell that is not clearable, less half
  // a cell (the boundary runs between the two centres).
  std::vector<double> g(cv.clearable.size());
  for (std::size_t k = 0; k < g.size(); ++k) g[k] = cv.clearable[k] ? kFar : 0;
  distance2(g, cv.nx, cv.ny);
  const double cap = cv.cap - cv.rmin;
  for (int j = 0; j < cv.ny; ++j) {
    for (int i = 0; i < cv.nx; ++i) {
      const std::size_t k = cv.at(i, j);
      if (!cv.clearable[k]) continue;
      if (std::sqrt(g[k]) * cv.cell - 0.5 * cv.cell < options.inset + options.tol) continue;
      const double e = std::min(cv.excess[k], cap);
      if (e > res.worst) setWorst(res, e, Vec3{cv.cx(i), cv.cy(j), options.floorZ}, nullptr);
    }
  }
  if (res.worst == -kInf) res.worst = 0;  // no cell deep enough to judge
  res.ok = res.worst <= options.tol;
  res.message =
      coverMessage(res, "C2", "largest distance beyond the cutter's reach", options.tol, cap, cv);
  return res;
}

}  // namespace tpc
