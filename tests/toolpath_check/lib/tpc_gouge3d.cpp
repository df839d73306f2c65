// tpc_gouge3d.cpp - G3, no gouge on a mesh: the 3-D penetration of the part into the grown tool
// along every move, sampled until each triangle's tangents bound the gaps between the samples,
// and the vertical drop measure reported beside it.
#include <algorithm>
#include <cmath>
#include <limits>
#include <vector>

#include "tpc_internal.h"

namespace tpc {
namespace {

constexpr double kInf = std::numeric_limits<double>::infinity();
// Deepest halving of a move (or of an arc's piece): 2^-40 of it.
constexpr int kMaxDepth = 40;
// Arcs are followed by chords; they start as pieces of at most this angle.
constexpr double kArcPiece = kPi / 4;
// The smallest sampling bound, for tol 0.
constexpr double kMinSlack = 1e-6;

// The penetrations at one cutter position.
struct Sample {
  Vec3 p;
  double cut = -kInf;        // every triangle not listed reaches less than this
  double pen = -kInf;        // the largest listed penetration
  std::vector<TriPen> tris;  // by triangle index
};

double dot(const Vec3& a, const Vec3& b) { return a.x * b.x + a.y * b.y + a.z * b.z; }

// The largest value over t in [0, L] of min(pa + ga t, pb + gb (L - t)): the peak of a concave
// function between two points where its tangents (or slope bounds) are known.
double peak(double pa, double ga, double pb, double gb, double L) {
  double best = std::max(std::min(pa, pb + gb * L), std::min(pa + ga * L, pb));
  const double s = ga + gb;
  if (s != 0) {
    const double t = (pb + gb * L - pa) / s;
    if (t > 0 && t < L) best = std::max(best, pa + ga * t);
  }
  return best;
}

// The slope bound of a triangle's penetration leaving a sample in direction d: its tangent where
// the triangle is clear of the core, else 1 (no move changes a distance faster than itself).
double slope(const TriPen& t, const Vec3& d) {
  return t.smooth ? std::clamp(dot(t.grad, d), -1.0, 1.0) : 1.0;
}

// How far a point of an arc piece of angle `sweep` and radius r, and its chord's point at the same
// fraction, can lie apart: the gap across the chord plus the gap along it.
double chordGap(double r, double sweep) {
  const double h = 0.5 * sweep;
  return r * ((1 - std::cos(h)) + (h - std::sin(h)));
}

class Walk {
 public:
  Walk(const Path& path, const MeshIndex& index, const Gouge3DOptions& options, Result& res)
      : path_(path),
        index_(index),
        options_(options),
        res_(res),
        slack_(std::max(options.tol / 2, kMinSlack)) {}

  void run() {
    Sample prev;
    for (std::size_t i = 0; i < path_.moves.size(); ++i) {
      const Move& m = path_.moves[i];
      const Tool& tool = path_.passes[static_cast<std::size_t>(m.pass)].tool;
      const Move* before = i > 0 ? &path_.moves[i - 1] : nullptr;
      const bool fresh = before == nullptr || before->pass != m.pass || before->to.x != m.from.x ||
                         before->to.y != m.from.y || before->to.z != m.from.z;
      Sample a = fresh ? sampleAt(tool, m.from, m) : std::move(prev);
      Sample b = sampleAt(tool, m.to, m);
      if (m.kind == MoveKind::Feed) feed(m, tool, a, b);
      prev = std::move(b);
    }
  }

 private:
  Sample sampleAt(const Tool& tool, const Vec3& p, const Move& m) {
    Sample s;
    s.p = p;
    const double level = std::max(res_.worst, -tool.radius / 2);
    s.cut = level - tool.radius / 2;
    listPenetrations(options_.plainScan ? nullptr : &index_, index_.mesh(), tool,
                     options_.allowance, p, s.cut, s.tris, scratch_);
    for (const TriPen& t : s.tris) s.pen = std::max(s.pen, t.pen);
    if (s.pen > res_.worst) setWorst(res_, s.pen, p, &m);
    return s;
  }

  void feed(const Move& m, const Tool& tool, const Sample& a, const Sample& b) {
    if (m.turn == 0) {
      refine(m, tool, 0, a, 1, b, 0, 0);
      return;
    }
    const Curve c = moveCurve(m);
    const int n = std::max(1, static_cast<int>(std::ceil(c.sweep / kArcPiece)));
    Sample from = a;
    for (int k = 1; k <= n; ++k) {
      const double u0 = static_cast<double>(k - 1) / n, u1 = static_cast<double>(k) / n;
      Sample to = k == n ? b : sampleAt(tool, movePoint(m, u1), m);
      refine(m, tool, u0, from, u1, to, c.r, 0);
      from = std::move(to);
    }
  }

  // The largest penetration the tangents at a and b allow between them, along their chord.
  double bound(const Sample& a, const Sample& b, const Vec3& d, double len) const {
    double best = 0.5 * (a.cut + b.cut + len);  // triangles listed at neither end
    const Vec3 back{-d.x, -d.y, -d.z};
    std::size_t i = 0, j = 0;
    while (i < a.tris.size() || j < b.tris.size()) {
      const TriPen* ta = i < a.tris.size() ? &a.tris[i] : nullptr;
      const TriPen* tb = j < b.tris.size() ? &b.tris[j] : nullptr;
      if (ta != nullptr && tb != nullptr && ta->tri != tb->tri) {
        if (ta->tri < tb->tri) {
          tb = nullptr;
        } else {
          ta = nullptr;
        }
      }
      const double pa = ta != nullptr ? ta->pen : a.cut;
      const double ga = ta != nullptr ? slope(*ta, d) : 1.0;
      const double pb = tb != nullptr ? tb->pen : b.cut;
      const double gb = tb != nullptr ? slope(*tb, back) : 1.0;
      best = std::max(best, peak(pa, ga, pb, gb, len));
      if (ta != nullptr) ++i;
      if (tb != nullptr) ++j;
    }
    return best;
  }

  // Halves [ua, ub] of the move until the bound between its samples lies within the slack of the
  // worst found (or of -R/2), or the interval is too short to hide more than the slack.
  void refine(const Move& m, const Tool& tool, double ua, const Sample& a, double ub,
              const Sample& b, double arcRadius, int depth) {
    const Vec3 span{b.p.x - a.p.x, b.p.y - a.p.y, b.p.z - a.p.z};
    const double len = std::sqrt(dot(span, span));
    const double gap = arcRadius > 0 ? chordGap(arcRadius, moveCurve(m).sweep * (ub - ua)) : 0.0;
    if (len + gap <= slack_ || depth >= kMaxDepth) return;
    const double target = std::max(res_.worst, -tool.radius / 2) + slack_;
    if (len > 0) {
      const Vec3 d{span.x / len, span.y / len, span.z / len};
      if (bound(a, b, d, len) + gap <= target) return;
    }
    const double um = 0.5 * (ua + ub);
    const Sample mid = sampleAt(tool, movePoint(m, um), m);
    refine(m, tool, ua, a, um, mid, arcRadius, depth + 1);
    refine(m, tool, um, mid, ub, b, arcRadius, depth + 1);
  }

  const Path& path_;
  const MeshIndex& index_;
  const Gouge3DOptions& options_;
  Result& res_;
  const double slack_;
  std::vector<int> scratch_;
};

// The vertical measure: the drop of the grown tool less the tip z, at the move ends and every
// min(R/8, 0.25) along feeds.
void verticalMeasure(const Path& path, const MeshIndex& index, const Gouge3DOptions& options,
                     Result& res) {
  Result v;
  v.worst = -kInf;
  std::vector<Vec3> pts;
  for (std::size_t i = 0; i < path.moves.size(); ++i) {
    const Move& m = path.moves[i];
    const Tool& tool = path.passes[static_cast<std::size_t>(m.pass)].tool;
    const Move* prev = i > 0 ? &path.moves[i - 1] : nullptr;
    const bool withStart = prev == nullptr || prev->pass != m.pass || prev->to.x != m.from.x ||
                           prev->to.y != m.from.y || prev->to.z != m.from.z;
    moveSamples(m, sampleStep(tool), withStart, pts);
    for (const Vec3& p : pts) {
      const double d = options.plainScan
                           ? dropPlain(index.mesh(), tool, options.allowance, p.x, p.y)
                           : index.drop(tool, options.allowance, p.x, p.y);
      if (d - p.z > v.worst) setWorst(v, d - p.z, p, &m);
    }
  }
  res.vertical = v.worst;
  res.verticalWhere = v.where;
  res.verticalLine = v.line;
  res.verticalPass = v.pass;
}

}  // namespace

Result checkNoGouge3D(const Path& path, const Mesh& part, const Gouge3DOptions& options) {
  return checkNoGouge3D(path, MeshIndex(part), options);
}

Result checkNoGouge3D(const Path& path, const MeshIndex& index, const Gouge3DOptions& options) {
  if (index.mesh().triangles.empty()) return notRun("G3", "the part has no triangles");
  if (!(options.allowance >= 0) || !(options.tol >= 0))
    return notRun("G3", "allowance and tol must be >= 0");
  Result res;
  res.worst = -kInf;
  Walk(path, index, options, res).run();
  verticalMeasure(path, index, options, res);
  res.ok = res.worst <= options.tol;
  std::string s =
      std::string("G3 ") + (res.ok ? "ok: " : "FAIL: ") + "penetration " + num(res.worst);
  if (!res.ok) s += " > tol " + num(options.tol);
  if (res.line > 0) s += placeText(path, res);
  s += "; vertical " + num(res.vertical);
  if (res.verticalLine > 0) {
    Result at;
    at.where = res.verticalWhere;
    at.line = res.verticalLine;
    at.pass = res.verticalPass;
    s += placeText(path, at);
  }
  res.message = s;
  return res;
}

}  // namespace tpc
