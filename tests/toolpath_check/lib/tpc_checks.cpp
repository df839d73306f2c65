// tpc_checks.cpp - the checks that walk the moves one by one: no gouge in a 2D pocket, links and
// rapids in 2D, levels and sanity; with the sampling of moves they share.
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <limits>

#include "tpc_internal.h"

namespace tpc {
namespace {

constexpr double kInf = std::numeric_limits<double>::infinity();
// Moves whose ends differ by less than this in z are planar.
constexpr double kPlanarTol = 1e-6;
// Samples of a move whose clearance from a contour is not found in closed form.
constexpr int kMinSideSamples = 16, kMaxSideSamples = 20000;
// Problems a message lists before it counts the rest.
constexpr int kListed = 5;

void finishMessage(Result& r, const std::string& check, const std::string& measure, double tol,
                   const Path& path) {
  std::string s = check + (r.ok ? " ok: " : " FAIL: ") + measure + " " + num(r.worst);
  if (!r.ok) s += " > tol " + num(tol);
  if (r.line > 0) s += placeText(path, r);
  r.message = s;
}

bool isPlanar(const Move& m) { return std::fabs(m.from.z - m.to.z) <= kPlanarTol; }

// Winding of contour ci about (px, py), from the elements the buckets put on the ray towards +x.
int windingIndexed(const PocketCurves& pc, const CurveIndex* index, std::size_t ci, double px,
                   double py, std::vector<std::pair<int, int>>& scratch) {
  if (index == nullptr) return windingNumber(pc.contours[ci], px, py);
  index->query(px, py, kInf, py, scratch);
  std::vector<Curve> ray;
  for (const auto& [c, e] : scratch) {
    if (static_cast<std::size_t>(c) == ci)
      ray.push_back(pc.contours[ci][static_cast<std::size_t>(e)]);
  }
  return windingNumber(ray, px, py);
}

double distPointChain(const std::vector<Curve>& chain, double px, double py) {
  double d = kInf;
  for (const Curve& c : chain) d = std::min(d, distPointCurve(px, py, c));
  return d;
}

// The wall rule of a 2D pocket over every feed move: each keeps the needed clearance from every
// contour whose top lies above the move's lower end, on the material-free side.
void wallRule(const Path& path, const PocketCurves& pc, const CurveIndex* index, double tol,
              Result& res) {
  std::vector<std::pair<int, int>> near, scratch;
  for (const Move& m : path.moves) {
    if (m.kind != MoveKind::Feed) continue;
    const double R = path.passes[static_cast<std::size_t>(m.pass)].tool.radius;
    const Curve c = moveCurve(m);
    const double zlow = std::min(m.from.z, m.to.z);
    double bx0, by0, bx1, by1;
    curveBox(c, bx0, by0, bx1, by1);
    for (std::size_t ci = 0; ci < pc.contours.size(); ++ci) {
      if (!(zlow < pc.top[ci] - tol)) continue;
      const double need = needed(pc, ci, R);
      const double window = need + R;
      // The exact distance of the move from the contour's elements near it.
      double dmin = kInf;
      std::size_t nearest = 0;
      if (index != nullptr) {
        index->query(bx0 - window, by0 - window, bx1 + window, by1 + window, near);
        for (const auto& [cc, e] : near) {
          if (static_cast<std::size_t>(cc) != ci) continue;
          const double d = distCurveCurve(c, pc.contours[ci][static_cast<std::size_t>(e)]);
          if (d < dmin) {
            dmin = d;
            nearest = static_cast<std::size_t>(e);
          }
        }
      } else {
        for (std::size_t e = 0; e < pc.contours[ci].size(); ++e) {
          const double d = distCurveCurve(c, pc.contours[ci][e]);
          if (d < dmin) {
            dmin = d;
            nearest = e;
          }
        }
      }
      const bool wantInside = ci == 0;
      const bool startInside = windingIndexed(pc, index, ci, c.ax, c.ay, scratch) != 0;
      double clearance;
      Vec3 at = m.from;
      if (startInside == wantInside && dmin > 1e-9) {
        clearance = std::min(dmin, window);
        if (need - clearance <= res.worst) continue;
        // Where: the sample of the move nearest the nearest element.
        const Curve& e = pc.contours[ci][nearest];
        double best = kInf;
        for (int k = 0; k <= 32; ++k) {
          const Vec3 p = movePoint(m, k / 32.0);
          const double d = distPointCurve(p.x, p.y, e);
          if (d < best) {
            best = d;
            at = p;
          }
        }
      } else {
        // The move touches or crosses the contour, or lies on the wrong side: its worst point by
        // signed distances along it.
        clearance = dmin;
        const int n = std::clamp(static_cast<int>(std::ceil(curveLength(c) / (0.01 * R))),
                                 kMinSideSamples, kMaxSideSamples);
        for (int k = 0; k <= n; ++k) {
          const Vec3 p = movePoint(m, static_cast<double>(k) / n);
          const bool inside = windingNumber(pc.contours[ci], p.x, p.y) != 0;
          const double d = distPointChain(pc.contours[ci], p.x, p.y);
          const double signedClear = inside == wantInside ? d : -d;
          if (signedClear < clearance) {
            clearance = signedClear;
            at = p;
          }
        }
      }
      const double v = need - clearance;
      if (v > res.worst) setWorst(res, v, at, &m);
    }
  }
}

std::string problemsText(const std::vector<std::string>& problems) {
  std::string s;
  for (std::size_t i = 0; i < problems.size() && i < static_cast<std::size_t>(kListed); ++i) {
    s += (i ? "; " : "") + problems[i];
  }
  if (problems.size() > static_cast<std::size_t>(kListed)) {
    s += "; and " + std::to_string(problems.size() - kListed) + " more";
  }
  return s;
}

}  // namespace

Result notRun(const std::string& check, const std::string& why) {
  Result r;
  r.ok = false;
  r.worst = kInf;
  r.message = check + " FAIL: " + why;
  return r;
}

std::string num(double v) {
  char buf[64];
  std::snprintf(buf, sizeof buf, "%.6g", v);
  return buf;
}

std::string placeText(const Path& path, const Result& r) {
  std::string s = " at (" + num(r.where.x) + ", " + num(r.where.y) + ", " + num(r.where.z) + ")";
  if (r.line > 0 && r.pass >= 0 && static_cast<std::size_t>(r.pass) < path.passes.size()) {
    s += ", line " + std::to_string(r.line) + " of " +
         path.passes[static_cast<std::size_t>(r.pass)].source;
  }
  return s;
}

void setWorst(Result& r, double value, const Vec3& at, const Move* m) {
  r.worst = value;
  r.where = at;
  r.line = m != nullptr ? m->line : 0;
  r.pass = m != nullptr ? m->pass : -1;
}

double sampleStep(const Tool& tool) { return std::min(tool.radius / 8, 0.25); }

Vec3 movePoint(const Move& m, double u) {
  if (u >= 1) return m.to;
  if (u <= 0) return m.from;
  Vec3 p;
  p.z = m.from.z + u * (m.to.z - m.from.z);
  if (m.turn == 0) {
    p.x = m.from.x + u * (m.to.x - m.from.x);
    p.y = m.from.y + u * (m.to.y - m.from.y);
  } else {
    curveAt(moveCurve(m), u, p.x, p.y);
  }
  return p;
}

void moveSamples(const Move& m, double step, bool withStart, std::vector<Vec3>& out) {
  out.clear();
  if (withStart) out.push_back(m.from);
  int n = 1;
  if (m.kind == MoveKind::Feed) {
    const double len = std::hypot(curveLength(moveCurve(m)), m.to.z - m.from.z);
    n = std::max(1, static_cast<int>(std::ceil(len / step)));
  }
  for (int i = 1; i <= n; ++i) out.push_back(movePoint(m, static_cast<double>(i) / n));
}

Contour polygon(const std::vector<std::pair<double, double>>& points, double allowance,
                double top) {
  Contour c;
  c.allowance = allowance;
  c.top = top;
  for (std::size_t i = 0; i < points.size(); ++i) {
    const auto& a = points[i];
    const auto& b = points[(i + 1) % points.size()];
    c.elems.push_back(Elem2{a.first, a.second, b.first, b.second, 0, 0, 0});
  }
  return c;
}

Contour rectangle(double x0, double y0, double x1, double y1, double allowance, double top) {
  return polygon({{x0, y0}, {x1, y0}, {x1, y1}, {x0, y1}}, allowance, top);
}

Contour circle(double cx, double cy, double r, double allowance, double top) {
  Contour c;
  c.allowance = allowance;
  c.top = top;
  c.elems.push_back(Elem2{cx + r, cy, cx + r, cy, 1, cx, cy});
  return c;
}

Result checkNoGouge2D(const Path& path, const Pocket& pocket, const Gouge2DOptions& options) {
  const PocketCurves pc = pocketCurves(pocket);
  if (!pc.problem.empty()) return notRun("G2", pc.problem);
  if (!(options.tol >= 0)) return notRun("G2", "tol must be >= 0");
  Result res;
  res.worst = -kInf;
  if (options.plainScan) {
    wallRule(path, pc, nullptr, options.tol, res);
  } else {
    const CurveIndex index(pc);
    wallRule(path, pc, &index, options.tol, res);
  }
  res.ok = res.worst <= options.tol;
  finishMessage(res, "G2", "wall violation", options.tol, path);
  return res;
}

Result checkLinks2D(const Path& path, const Pocket& pocket, double tol) {
  const PocketCurves pc = pocketCurves(pocket);
  if (!pc.problem.empty()) return notRun("L2D", pc.problem);
  if (!(tol >= 0)) return notRun("L2D", "tol must be >= 0");
  Result res;
  res.worst = -kInf;
  const CurveIndex index(pc);
  wallRule(path, pc, &index, tol, res);
  const double highest = *std::max_element(pc.top.begin(), pc.top.end());
  for (const Move& m : path.moves) {
    if (m.kind != MoveKind::Rapid) continue;
    if (std::hypot(m.to.x - m.from.x, m.to.y - m.from.y) <= 1e-9) continue;
    const double v = highest - std::min(m.from.z, m.to.z);
    if (v > res.worst) setWorst(res, v, m.from.z < m.to.z ? m.from : m.to, &m);
  }
  res.ok = res.worst <= tol;
  finishMessage(res, "L2D", "link violation", tol, path);
  return res;
}

Result checkLevels(const Path& path, const std::vector<double>& levels, double tol) {
  std::vector<double> zs;
  for (const Move& m : path.moves) {
    if (m.kind != MoveKind::Feed || !isPlanar(m) || curveLength(moveCurve(m)) <= 1e-9) continue;
    zs.push_back(m.to.z);
  }
  std::sort(zs.begin(), zs.end());
  std::vector<double> found;
  for (double z : zs) {
    if (found.empty() || z - found.back() > 1e-3) found.push_back(z);
  }
  Result res;
  for (double l : levels) {
    const bool hit =
        std::any_of(found.begin(), found.end(), [&](double z) { return std::fabs(z - l) <= tol; });
    if (!hit) res.missing.push_back(l);
  }
  for (double z : found) {
    const bool asked = std::any_of(levels.begin(), levels.end(),
                                   [&](double l) { return std::fabs(z - l) <= tol; });
    if (!asked) res.extra.push_back(z);
  }
  res.worst = static_cast<double>(res.missing.size() + res.extra.size());
  res.ok = res.worst == 0;
  if (!res.missing.empty()) {
    res.where.z = res.missing.front();
  } else if (!res.extra.empty()) {
    res.where.z = res.extra.front();
  }
  std::string s =
      "levels " + std::string(res.ok ? "ok: " : "FAIL: ") + std::to_string(found.size()) + " found";
  auto list = [](const std::vector<double>& v) {
    std::string t;
    for (double z : v) {
      t += ' ';
      t += num(z);
    }
    return t;
  };
  if (!res.missing.empty()) s += "; missing" + list(res.missing);
  if (!res.extra.empty()) s += "; extra" + list(res.extra);
  res.message = s;
  return res;
}

Result checkSanity(const Path& path, const std::vector<long>& forbiddenMessages) {
  if (path.passes.empty()) return notRun("sanity", "no POF was read");
  Result res;
  std::vector<std::string> problems;
  auto note = [&](int pass, long line, const std::string& what) {
    if (problems.empty()) {
      res.line = line;
      res.pass = pass;
    }
    problems.push_back(what);
  };
  for (std::size_t p = 0; p < path.passes.size(); ++p) {
    const Pass& ps = path.passes[p];
    const int pi = static_cast<int>(p);
    for (long l : ps.nonFiniteLines)
      note(pi, l, ps.source + ":" + std::to_string(l) + ": coordinate not finite");
    for (long l : ps.badArcLines)
      note(pi, l, ps.source + ":" + std::to_string(l) + ": arc end off its circle");
    for (const Layer0Record& e : ps.errors) {
      char* end = nullptr;
      const long code = std::strtol(e.text.c_str(), &end, 10);
      if (end == e.text.c_str()) continue;
      if (std::find(forbiddenMessages.begin(), forbiddenMessages.end(), code) !=
          forbiddenMessages.end()) {
        note(pi, e.line, ps.source + ":" + std::to_string(e.line) + ": error(" + e.text + ")");
      }
    }
    if (!ps.endsWithCycleEnd) note(pi, 0, ps.source + ": does not end with cycleEnd");
  }
  res.worst = static_cast<double>(problems.size());
  res.ok = problems.empty();
  res.message = res.ok ? "sanity ok" : "sanity FAIL: " + problemsText(problems);
  return res;
}

}  // namespace tpc
