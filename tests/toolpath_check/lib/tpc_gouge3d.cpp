// tpc_gouge3d.cpp - G3, no gouge on a mesh: the 3-D penetration of the part into the grown tool
// along every move, sampled until each triangle's tangents (along arcs with the arc's bend) bound
// the stretches between the samples, and the vertical drop measure reported beside it. Samples
// list only the triangles that can still matter and inherit their neighbours' tangents, so rings
// that rest on a wall or go round an island stay cheap at fine tolerances.
#include <algorithm>
#include <cmath>
#include <limits>
#include <vector>

#include "tpc_internal.h"

namespace tpc {
namespace {

constexpr double kInf = std::numeric_limits<double>::infinity();
// Deepest cutting of a move into pieces: 40 times (each at least halves).
constexpr int kMaxDepth = 40;
// Arcs are followed piece by piece; they start as pieces of at most this angle.
constexpr double kArcPiece = kPi / 4;
// Samples one move may take. Rings around an island at tol 1e-4 take about a thousand; a path
// that rests exactly on the part at a tolerance below the rounding of the tangents (about 1e-7 of
// the coordinates) would halve without end: past this, the bounds left join unproven().
constexpr long kMoveSamples = 1L << 16;
// The smallest sampling bound, for tol 0.
constexpr double kMinSlack = 1e-6;
// A candidate list longer than this is narrowed to a stretch's own neighbourhood before the
// stretch's midpoint is sampled; shorter ones are cheaper to scan than to narrow.
constexpr std::size_t kNarrow = 24;
// An arc stretch is cut into pieces of this share of the angle its bend allows (a little short,
// so that the pieces pass at once), and into no more than kMaxPieces at a time.
constexpr double kPieceFill = 0.6;
constexpr double kMaxPieces = 256;
// Relative rounding margin of the windows that narrow candidate lists: a triangle the sample's
// own test keeps is never narrowed away.
constexpr double kWindow = 1e-9;

// The penetrations at one cutter position.
struct Sample {
  Vec3 p;
  double cut = -kInf;  // every triangle not listed reaches less than this
  double pen = -kInf;  // the largest listed penetration
  // By triangle index: the exact penetration and tangent of every triangle that reaches the
  // cut, and for some below it an upper bound (pen) and a tangent through pen + err.
  std::vector<TriPen> tris;
};

double dot(const Vec3& a, const Vec3& b) { return a.x * b.x + a.y * b.y + a.z * b.z; }
double dist(const Vec3& a, const Vec3& b) {
  const Vec3 d{a.x - b.x, a.y - b.y, a.z - b.z};
  return std::sqrt(dot(d, d));
}

// The stretch of a move between two samples a and b, followed by a parameter t in [0, span]: the
// length along a line, the turning angle along an arc (its z runs linearly with the angle).
struct Stretch {
  double ua = 0, ub = 1;        // fractions of the move at a and b
  double span = 0;              // t at b
  double speed = 1;             // path length per unit of t
  double bend = 0;              // arc radius: |d2p/dt2| (0 a line)
  Vec3 da, db;                  // dp/dt leaving a forwards, and leaving b backwards
  double offA = 0;              // distance of sample a from the stretch's point at t = 0
  double offB = 0;              // the same at b (an arc's end may lie a rounding off its circle)
  std::array<double, 4> box{};  // plan box of the stretch and its samples
  double z0 = 0, z1 = 0;        // its heights
};

// c0 + c1 t + c2 t^2 with c2 >= 0: an upper bound of one triangle's penetration along a stretch.
struct Quad {
  double c0 = 0, c1 = 0, c2 = 0;
  double at(double t) const { return c0 + t * (c1 + t * c2); }
};

// The largest value over t in [0, span] of the least of n convex quadratics. On each stretch
// where one of them is the least, that one is convex, so the largest value lies at 0, at span,
// or where two of them cross.
double peakOfLeast(const Quad* q, int n, double span) {
  auto least = [&](double t) {
    double m = kInf;
    for (int i = 0; i < n; ++i) m = std::min(m, q[i].at(t));
    return m;
  };
  double best = std::max(least(0), least(span));
  auto offer = [&](double t) {
    if (t > 0 && t < span) best = std::max(best, least(t));
  };
  for (int i = 0; i < n; ++i) {
    for (int j = i + 1; j < n; ++j) {
      const double a0 = q[i].c0 - q[j].c0, a1 = q[i].c1 - q[j].c1, a2 = q[i].c2 - q[j].c2;
      if (a2 == 0) {
        if (a1 != 0) offer(-a0 / a1);
        continue;
      }
      const double disc = a1 * a1 - 4 * a2 * a0;
      if (disc < 0) continue;  // they never cross: the least does not switch between them
      const double h = -0.5 * (a1 + std::copysign(std::sqrt(disc), a1));
      offer(h / a2);
      if (h != 0) offer(a0 / h);
    }
  }
  return best;
}

// What a sample tells of each triangle's penetration at a point p nearby, triangle by triangle
// in rising index order (the order of every candidate list): an upper bound by the travel from
// the sample, and one by the tangent there (a record's tangent holds for every position).
class Beside {
 public:
  Beside(const Sample* s, const Vec3& p) : s_(s) {
    if (s == nullptr) return;
    d_ = {p.x - s->p.x, p.y - s->p.y, p.z - s->p.z};
    len_ = std::sqrt(dot(d_, d_));
  }
  // The bounds of triangle k at p (+infinity: none); k rises from call to call. grad: the
  // tangent's gradient, when it has one.
  void most(int k, double& travel, double& tangent, const Vec3*& grad) {
    travel = tangent = kInf;
    grad = nullptr;
    if (s_ == nullptr) return;
    while (i_ < s_->tris.size() && s_->tris[i_].tri < k) ++i_;
    if (i_ == s_->tris.size() || s_->tris[i_].tri != k) {
      travel = s_->cut + len_;
      return;
    }
    const TriPen& t = s_->tris[i_];
    travel = t.pen + len_;
    if (t.smooth) {
      tangent = t.pen + t.err + dot(t.grad, d_);
      grad = &t.grad;
    }
  }

 private:
  const Sample* s_;
  Vec3 d_;
  double len_ = 0;
  std::size_t i_ = 0;
};

class Walk {
 public:
  Walk(const Path& path, const MeshIndex& index, const Gouge3DOptions& options, Follow follow,
       Result& res)
      : path_(path),
        index_(index),
        mesh_(index.mesh()),
        options_(options),
        follow_(follow),
        res_(res),
        slack_(std::max(options.tol / 2, kMinSlack)),
        lists_(kMaxDepth + 1) {}

  // The largest bound left between samples where the sampling stopped (-infinity: none).
  double unproven() const { return unproven_; }

  void run() {
    Sample prev;
    for (std::size_t i = 0; i < path_.moves.size(); ++i) {
      const Move& m = path_.moves[i];
      if (!walked(follow_, m)) continue;
      tool_ = &path_.passes[static_cast<std::size_t>(m.pass)].tool;
      moveCandidates(m);
      moveSamples_ = 0;
      const Curve c = moveCurve(m);
      const int pieces = piecesOf(m, c);
      const double len = pieceLength(m, c, pieces);
      // The end's cut suits the next move's first stretch too, when that move starts there.
      double endLen = len;
      if (i + 1 < path_.moves.size() && continues(i + 1)) {
        const Move& next = path_.moves[i + 1];
        const Curve nc = moveCurve(next);
        endLen = std::max(len, pieceLength(next, nc, piecesOf(next, nc)));
      }
      const double cut = sampleCut(len);
      // The previous move's end is this one's start (re-listed should its cut lie too high).
      Sample a =
          !continues(i) || prev.cut > cut ? sampleAt(m.from, m, cut, moveList_) : std::move(prev);
      Sample b = sampleAt(m.to, m, sampleCut(endLen), moveList_);
      if (followed(follow_, m)) follow(m, c, pieces, a, b);
      prev = std::move(b);
    }
  }

 private:
  // What a stretch's bound must not exceed. While the path passes, the verdict needs every bound
  // <= tol, and the worst within the slack: min(tol, worst + slack). Once it fails, the worst
  // within the slack. Never below -R/2 + slack: a path farther off is not measured exactly.
  double target() const {
    const double level = std::max(res_.worst, -tool_->radius / 2);
    if (level > options_.tol) return level + slack_;
    return std::min(options_.tol, level + slack_);
  }

  // The cut of a sample that ends stretches of length up to len: a triangle left out at both
  // ends reaches less than (cut_a + cut_b + len) / 2 between them, at most the target. Never
  // below -R (the move's candidates reach no farther).
  double sampleCut(double len) const {
    const double t = target();
    return std::max(t - 0.5 * len * (1 + kWindow) - kWindow * (1 + std::fabs(t)), -tool_->radius);
  }

  // True when move i starts where move i - 1 ended, in the same pass, and both are walked.
  bool continues(std::size_t i) const {
    if (i == 0) return false;
    const Move& m = path_.moves[i];
    const Move& before = path_.moves[i - 1];
    return walked(follow_, m) && walked(follow_, before) && before.pass == m.pass &&
           before.to.x == m.from.x && before.to.y == m.from.y && before.to.z == m.from.z;
  }

  // The pieces a move is followed in: one per kArcPiece of a feed arc's turn, else one.
  static int piecesOf(const Move& m, const Curve& c) {
    if (m.kind != MoveKind::Feed || c.turn == 0) return 1;
    return std::max(1, static_cast<int>(std::ceil(c.sweep / kArcPiece)));
  }

  // The path length of each piece.
  static double pieceLength(const Move& m, const Curve& c, int pieces) {
    if (m.kind != MoveKind::Feed || c.turn == 0) return dist(m.from, m.to);
    return std::hypot(c.r, zRate(m, c)) * c.sweep / pieces;
  }

  static double zRate(const Move& m, const Curve& c) { return (m.to.z - m.from.z) / c.sweep; }

  // The stretch of move m (plan view c) between fractions ua and ub, whose samples lie at pa, pb.
  static Stretch stretchOf(const Move& m, const Curve& c, double ua, double ub, const Vec3& pa,
                           const Vec3& pb) {
    Stretch st;
    st.ua = ua;
    st.ub = ub;
    Vec3 qa = pa, qb = pb;
    if (c.turn == 0 || m.kind != MoveKind::Feed) {
      st.span = dist(pa, pb);
      if (st.span > 0) {
        st.da = {(pb.x - pa.x) / st.span, (pb.y - pa.y) / st.span, (pb.z - pa.z) / st.span};
      }
      st.db = {-st.da.x, -st.da.y, -st.da.z};
    } else {
      const double kz = zRate(m, c);
      const double ta = c.a0 + c.turn * ua * c.sweep, tb = c.a0 + c.turn * ub * c.sweep;
      st.span = (ub - ua) * c.sweep;
      st.speed = std::hypot(c.r, kz);
      st.bend = c.r;
      st.da = {-c.turn * c.r * std::sin(ta), c.turn * c.r * std::cos(ta), kz};
      st.db = {c.turn * c.r * std::sin(tb), -c.turn * c.r * std::cos(tb), -kz};
      qa = {c.cx + c.r * std::cos(ta), c.cy + c.r * std::sin(ta),
            m.from.z + ua * (m.to.z - m.from.z)};
      qb = {c.cx + c.r * std::cos(tb), c.cy + c.r * std::sin(tb),
            m.from.z + ub * (m.to.z - m.from.z)};
      st.offA = dist(pa, qa);
      st.offB = dist(pb, qb);
    }
    // Every point of an arc piece of at most a half turn lies within its sagitta of the chord.
    const double sag = st.bend > 0 ? st.bend * (1 - std::cos(0.5 * std::min(st.span, kPi))) : 0.0;
    st.box = {std::min({pa.x, pb.x, qa.x, qb.x}) - sag, std::min({pa.y, pb.y, qa.y, qb.y}) - sag,
              std::max({pa.x, pb.x, qa.x, qb.x}) + sag, std::max({pa.y, pb.y, qa.y, qb.y}) + sag};
    st.z0 = std::min(pa.z, pb.z);
    st.z1 = std::max(pa.z, pb.z);
    return st;
  }

  // True when triangle k may reach `cut` into the cutter somewhere in the plan box `box` with its
  // tip at z0 or above: its plan box lies within R + allowance - cut of it, and its top no lower
  // than z0 + corner - (corner + allowance - cut).
  bool mayReach(int k, const std::array<double, 4>& box, double z0, double cut) const {
    const auto& tb = index_.planBox(k);
    const double ex = std::max({tb[0] - box[2], box[0] - tb[2], 0.0});
    const double ey = std::max({tb[1] - box[3], box[1] - tb[3], 0.0});
    const double reach = tool_->radius + options_.allowance - cut;
    const double scale = 1 + std::max({std::fabs(box[0]), std::fabs(box[1]), std::fabs(box[2]),
                                       std::fabs(box[3]), std::fabs(reach)});
    const double most = reach + kWindow * scale;
    if (!(most >= 0) || ex * ex + ey * ey > most * most) return false;
    const double low = z0 - options_.allowance + cut;
    return index_.top(k) >= low - kWindow * (1 + std::fabs(low) + std::fabs(z0));
  }

  // The triangles that may reach -R into the cutter anywhere along move m, by index.
  void moveCandidates(const Move& m) {
    const Curve c = moveCurve(m);
    std::array<double, 4> box;
    curveBox(c, box[0], box[1], box[2], box[3]);
    const double z0 = std::min(m.from.z, m.to.z);
    const double cut = -tool_->radius;
    scratch_.clear();
    if (options_.plainScan) {
      scratch_.resize(mesh_.triangles.size());
      for (std::size_t k = 0; k < scratch_.size(); ++k) scratch_[k] = static_cast<int>(k);
    } else {
      const double reach = (tool_->radius + options_.allowance - cut) * (1 + 1e-6) + 1e-6;
      index_.near(box[0] - reach, box[1] - reach, box[2] + reach, box[3] + reach,
                  z0 - options_.allowance + cut - 1e-6 * (1 + std::fabs(z0)), scratch_);
      std::sort(scratch_.begin(), scratch_.end());
    }
    moveList_.clear();
    for (const int k : scratch_) {
      if (mayReach(k, box, z0, cut)) moveList_.push_back(k);
    }
  }

  // The penetrations at p of the candidates that reach `cut` or more, exactly. Samples a and b
  // nearby (optional) spare most of the work: a triangle whose bounds from them (see Beside)
  // stay below the cut keeps the lower bound as a record at p, with the tangent it came from.
  Sample sampleAt(const Vec3& p, const Move& m, double cut, const std::vector<int>& cands,
                  const Sample* a = nullptr, const Sample* b = nullptr) {
    Sample s;
    ++moveSamples_;
    s.p = p;
    s.cut = cut;
    const Core core = cutterCore(*tool_, options_.allowance, p);
    Beside near[2] = {Beside(a, p), Beside(b, p)};
    for (const int k : cands) {
      if (core.rho - boxCoreDistance(core, index_.planBox(k), index_.top(k)) < cut) continue;
      double travel[2], tangent[2];
      const Vec3* grad[2];
      near[0].most(k, travel[0], tangent[0], grad[0]);
      near[1].most(k, travel[1], tangent[1], grad[1]);
      const int side = tangent[1] < tangent[0] ? 1 : 0;
      const double most = std::min({travel[0], travel[1], tangent[side]});
      if (most < cut) {
        if (most < kInf && grad[side] == nullptr) {
          s.tris.push_back(TriPen{k, most, {}, 0.0, false});
        } else if (most < kInf) {
          s.tris.push_back(TriPen{k, most, *grad[side], tangent[side] - most, true});
        }
        continue;
      }
      s.tris.push_back(penetrationTangent(core, mesh_.triangles[static_cast<std::size_t>(k)], k));
      s.pen = std::max(s.pen, s.tris.back().pen);
    }
    if (s.pen > res_.worst) setWorst(res_, s.pen, p, &m);
    return s;
  }

  void follow(const Move& m, const Curve& c, int pieces, const Sample& a, const Sample& b) {
    if (pieces == 1) {
      refine(m, c, stretchOf(m, c, 0, 1, a.p, b.p), a, b, moveList_, 0);
      return;
    }
    const double len = pieceLength(m, c, pieces);
    Sample from = a;
    for (int k = 1; k <= pieces; ++k) {
      const double u0 = static_cast<double>(k - 1) / pieces, u1 = static_cast<double>(k) / pieces;
      Sample to = k == pieces ? b : sampleAt(movePoint(m, u1), m, sampleCut(len), moveList_, &from);
      refine(m, c, stretchOf(m, c, u0, u1, from.p, to.p), from, to, moveList_, 0);
      from = std::move(to);
    }
  }

  // The largest penetration the samples' bounds allow along the stretch for the candidates
  // `cands` (every other triangle stays below their list's cut there), or the first value above
  // `limit` found. Each is bounded from each end by its tangent (with the arc's bend) and by the
  // cutter's travel; one not listed at an end, by that end's cut and the travel.
  double bound(const Stretch& st, const Sample& a, const Sample& b, const std::vector<int>& cands,
               double limit) const {
    const double s = st.span, v = st.speed;
    const double ca = a.cut + st.offA, cb = b.cut + st.offB;
    // A quadratic in the travel u back from b, as one in t = s - u.
    auto back = [s](double c0, double c1, double c2) {
      return Quad{c0 + s * (c1 + s * c2), -c1 - 2 * c2 * s, c2};
    };
    auto recordOf = [](const Sample& x, std::size_t& i, int k) -> const TriPen* {
      while (i < x.tris.size() && x.tris[i].tri < k) ++i;
      return i < x.tris.size() && x.tris[i].tri == k ? &x.tris[i] : nullptr;
    };
    double best = -kInf;
    std::size_t i = 0, j = 0;
    for (const int k : cands) {
      const TriPen* ta = recordOf(a, i, k);
      const TriPen* tb = recordOf(b, j, k);
      const double pa = ta != nullptr ? ta->pen + st.offA : ca;
      const double pb = tb != nullptr ? tb->pen + st.offB : cb;
      if (0.5 * (pa + pb + v * s) <= best) continue;  // the travel alone keeps it lower
      Quad q[4];
      int n = 0;
      q[n++] = Quad{pa, v, 0};
      q[n++] = back(pb, v, 0);
      if (ta != nullptr && ta->smooth) {
        const double curve =
            0.5 * st.bend * std::sqrt(ta->grad.x * ta->grad.x + ta->grad.y * ta->grad.y);
        q[n++] = Quad{pa + ta->err, dot(ta->grad, st.da), curve};
      }
      if (tb != nullptr && tb->smooth) {
        const double curve =
            0.5 * st.bend * std::sqrt(tb->grad.x * tb->grad.x + tb->grad.y * tb->grad.y);
        q[n++] = back(pb + tb->err, dot(tb->grad, st.db), curve);
      }
      best = std::max(best, peakOfLeast(q, n, s));
      if (best > limit) return best;
    }
    return best;
  }

  // How many pieces a failing stretch is cut into: two, or for an arc as many as its bend asks.
  // Along an arc a triangle's tangent at each end rises by up to bend t^2 / 2 (the path turns
  // towards the triangle), so a piece of angle s touching at p stays within the target t only
  // when bend s^2 / 8 <= t - p: a ring around an island needs hundreds, found here at once.
  static int splitCount(const Stretch& st, const Sample& a, const Sample& b, double t) {
    const double room = t - std::max(a.pen, b.pen);
    if (!(st.bend > 0) || !(room > 0)) return 2;
    const double fits = kPieceFill * std::sqrt(8 * room / st.bend);
    return static_cast<int>(std::clamp(std::ceil(st.span / fits), 2.0, kMaxPieces));
  }

  // Cuts the stretch into pieces until the bound between its samples lies within the target,
  // or a piece is too short to hide more than the slack, or the move has taken its samples
  // (the bound then joins unproven()).
  void refine(const Move& m, const Curve& c, const Stretch& st, const Sample& a, const Sample& b,
              const std::vector<int>& cands, int depth) {
    const double t = target();
    if (bound(st, a, b, cands, t) <= t) return;
    const double len = st.span * st.speed;
    if (len <= slack_ || depth >= kMaxDepth || moveSamples_ >= kMoveSamples) {
      unproven_ = std::max(unproven_, bound(st, a, b, cands, kInf));
      return;
    }
    const int n = splitCount(st, a, b, t);
    const double cut = sampleCut(len / n);
    const std::vector<int>* list = &cands;
    if (cands.size() > kNarrow) {
      std::vector<int>& own = lists_[static_cast<std::size_t>(depth)];
      own.clear();
      for (const int k : cands) {
        if (mayReach(k, st.box, st.z0, cut)) own.push_back(k);
      }
      list = &own;
    }
    if (n == 2) {
      const double um = 0.5 * (st.ua + st.ub);
      const Sample mid = sampleAt(movePoint(m, um), m, cut, *list, &a, &b);
      refine(m, c, stretchOf(m, c, st.ua, um, a.p, mid.p), a, mid, *list, depth + 1);
      refine(m, c, stretchOf(m, c, um, st.ub, mid.p, b.p), mid, b, *list, depth + 1);
      return;
    }
    Sample from = a;
    double u0 = st.ua;
    for (int k = 1; k <= n; ++k) {
      const double u1 = k == n ? st.ub : st.ua + (st.ub - st.ua) * k / n;
      Sample to = k == n ? b : sampleAt(movePoint(m, u1), m, cut, *list, &from, &b);
      refine(m, c, stretchOf(m, c, u0, u1, from.p, to.p), from, to, *list, depth + 1);
      from = std::move(to);
      u0 = u1;
    }
  }

  const Path& path_;
  const MeshIndex& index_;
  const Mesh& mesh_;
  const Gouge3DOptions& options_;
  const Follow follow_;
  Result& res_;
  const double slack_;
  const Tool* tool_ = nullptr;
  double unproven_ = -kInf;
  long moveSamples_ = 0;  // samples taken along the current move
  std::vector<int> scratch_, moveList_;
  std::vector<std::vector<int>> lists_;  // the narrowed candidates of each halving depth
};

// The vertical measure: the drop of the grown tool less the tip z, at the ends of the moves walked
// and every min(R/8, 0.25) along those followed.
void verticalMeasure(const Path& path, const MeshIndex& index, const Gouge3DOptions& options,
                     Follow follow, Result& res) {
  Result v;
  v.worst = -kInf;
  std::vector<Vec3> pts;
  for (std::size_t i = 0; i < path.moves.size(); ++i) {
    const Move& m = path.moves[i];
    if (!walked(follow, m)) continue;
    const Tool& tool = path.passes[static_cast<std::size_t>(m.pass)].tool;
    const Move* prev = i > 0 ? &path.moves[i - 1] : nullptr;
    const bool withStart = prev == nullptr || !walked(follow, *prev) || prev->pass != m.pass ||
                           prev->to.x != m.from.x || prev->to.y != m.from.y ||
                           prev->to.z != m.from.z;
    const double step = sampleStep(tool);
    if (m.kind == MoveKind::Feed || !followed(follow, m)) {
      moveSamples(m, step, withStart, pts);
    } else {
      // A rapid followed: sampled along as feeds are.
      pts.clear();
      const double len = std::hypot(curveLength(moveCurve(m)), m.to.z - m.from.z);
      const int n = std::max(1, static_cast<int>(std::ceil(len / step)));
      for (int k = withStart ? 0 : 1; k <= n; ++k) {
        pts.push_back(movePoint(m, static_cast<double>(k) / n));
      }
    }
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

double penetrationAlong(const Path& path, const MeshIndex& index, const Gouge3DOptions& options,
                        Follow follow, Result& res) {
  res.worst = -kInf;
  Walk walk(path, index, options, follow, res);
  walk.run();
  verticalMeasure(path, index, options, follow, res);
  return walk.unproven();
}

std::string verticalText(const Path& path, const Result& res) {
  std::string s = "vertical " + num(res.vertical);
  if (res.verticalLine > 0) {
    Result at;
    at.where = res.verticalWhere;
    at.line = res.verticalLine;
    at.pass = res.verticalPass;
    s += placeText(path, at);
  }
  return s;
}

Result checkNoGouge3D(const Path& path, const Mesh& part, const Gouge3DOptions& options) {
  return checkNoGouge3D(path, MeshIndex(part), options);
}

Result checkNoGouge3D(const Path& path, const MeshIndex& index, const Gouge3DOptions& options) {
  if (index.mesh().triangles.empty()) return notRun("G3", "the part has no triangles");
  if (!(options.allowance >= 0) || !(options.tol >= 0))
    return notRun("G3", "allowance and tol must be >= 0");
  Result res;
  const double unprovenBound = penetrationAlong(path, index, options, Follow::Feeds, res);
  // Where the halving stopped on its floor, the bound there must hold the tolerance too.
  const bool unproven = unprovenBound > options.tol;
  res.ok = res.worst <= options.tol && !unproven;
  std::string s =
      std::string("G3 ") + (res.ok ? "ok: " : "FAIL: ") + "penetration " + num(res.worst);
  if (res.worst > options.tol) {
    s += " > tol " + num(options.tol);
  } else if (unproven) {
    s += ", up to " + num(unprovenBound) + " between samples > tol " + num(options.tol);
  }
  if (res.line > 0) s += placeText(path, res);
  s += "; " + verticalText(path, res);
  res.message = s;
  return res;
}

}  // namespace tpc
