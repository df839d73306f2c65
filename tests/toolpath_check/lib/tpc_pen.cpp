// tpc_pen.cpp - how deep the part reaches into a cutter grown by an allowance, measured in 3-D:
// the signed distance from each triangle to the cutter's core (the solid whose offset by the
// corner radius and the allowance is the grown cutter), the point and gradient where it is
// smallest, and a tangent of it that holds where the triangle touches the core too.
#include <algorithm>
#include <cmath>
#include <limits>

#include "tpc_internal.h"

namespace tpc {
namespace {

constexpr double kInf = std::numeric_limits<double>::infinity();
// A triangle this near the core, or in it, touches it: no gradient there.
constexpr double kTouch = 1e-12;
// Bisection steps for the depth of a triangle inside the core (far below 1e-15 of the radius).
constexpr int kDeepSteps = 64;
// Golden-section steps for an edge's nearest point to the bottom disc: the bracket ends below
// 1e-10 of the edge, and the distance, flat at its minimum, far closer than that.
constexpr int kEdgeSteps = 48;

Vec3 lerp(const Vec3& a, const Vec3& b, double t) {
  return {a.x + t * (b.x - a.x), a.y + t * (b.y - a.y), a.z + t * (b.z - a.z)};
}

double dot(const Vec3& a, const Vec3& b) { return a.x * b.x + a.y * b.y + a.z * b.z; }

// The length of (a, b). Lengths here stay far inside the range where squaring could overflow, and
// this runs for every step of every edge search: no std::hypot.
double norm(double a, double b) { return std::sqrt(a * a + b * b); }

// A convex polygon of at most 4 vertices: a triangle, or the part of one above a plane.
struct Poly {
  Vec3 v[4];
  int n = 0;
};

// The part of the triangle at or above height z.
Poly clipAbove(const Triangle& t, double z) {
  Poly out;
  for (int i = 0; i < 3; ++i) {
    const Vec3& a = t.v[i];
    const Vec3& b = t.v[(i + 1) % 3];
    const bool ina = a.z >= z, inb = b.z >= z;
    if (ina) out.v[out.n++] = a;
    if (ina != inb) {
      Vec3 p = lerp(a, b, (z - a.z) / (b.z - a.z));
      p.z = z;
      out.v[out.n++] = p;
    }
  }
  return out;
}

// The triangle's plane: an unnormalised normal n and n . v0.
struct Plane {
  Vec3 n;
  double k = 0;
};

Plane planeOf(const Triangle& t) {
  const Vec3& a = t.v[0];
  const Vec3& b = t.v[1];
  const Vec3& c = t.v[2];
  Plane p;
  p.n = {(b.y - a.y) * (c.z - a.z) - (b.z - a.z) * (c.y - a.y),
         (b.z - a.z) * (c.x - a.x) - (b.x - a.x) * (c.z - a.z),
         (b.x - a.x) * (c.y - a.y) - (b.y - a.y) * (c.x - a.x)};
  p.k = dot(p.n, a);
  return p;
}

// True when the plan view of the polygon, if it has an area, covers (x, y) (border included).
bool planCovers(const Poly& p, double x, double y) {
  if (p.n < 3) return false;
  double area = 0, scale = 0;
  for (int i = 0; i < p.n; ++i) {
    const Vec3& a = p.v[i];
    const Vec3& b = p.v[(i + 1) % p.n];
    area += (a.x - p.v[0].x) * (b.y - p.v[0].y) - (a.y - p.v[0].y) * (b.x - p.v[0].x);
    scale = std::max({scale, std::fabs(b.x - a.x), std::fabs(b.y - a.y)});
  }
  const double eps = 1e-12 * scale * scale;
  if (!(std::fabs(area) > eps)) return false;
  for (int i = 0; i < p.n; ++i) {
    const Vec3& a = p.v[i];
    const Vec3& b = p.v[(i + 1) % p.n];
    const double s = (b.x - a.x) * (y - a.y) - (b.y - a.y) * (x - a.x);
    if ((area > 0 ? s : -s) < -eps) return false;
  }
  return true;
}

// Plan distance from (x, y) to the polygon, and the polygon's point there: over (x, y) itself
// when the plan view covers it (lifted onto the plane), else on its border.
double planClosest(const Poly& p, const Plane& pl, double x, double y, Vec3& at) {
  if (planCovers(p, x, y)) {
    double zlo = kInf, zhi = -kInf;
    for (int i = 0; i < p.n; ++i) {
      zlo = std::min(zlo, p.v[i].z);
      zhi = std::max(zhi, p.v[i].z);
    }
    at = {x, y, std::clamp((pl.k - pl.n.x * x - pl.n.y * y) / pl.n.z, zlo, zhi)};
    return 0;
  }
  double best = kInf;
  for (int i = 0; i < p.n; ++i) {
    const Vec3& a = p.v[i];
    const Vec3& b = p.v[(i + 1) % p.n];
    const double dx = b.x - a.x, dy = b.y - a.y, len2 = dx * dx + dy * dy;
    const double t =
        len2 > 0 ? std::clamp(((x - a.x) * dx + (y - a.y) * dy) / len2, 0.0, 1.0) : 0.0;
    const Vec3 q = lerp(a, b, t);
    const double d = norm(q.x - x, q.y - y);
    if (d < best) {
      best = d;
      at = q;
    }
  }
  return best;
}

class Nearest {
 public:
  explicit Nearest(const Core& c) : c_(c) {}
  void offer(double dist, const Vec3& q) {
    if (!(dist < best_.dist)) return;
    best_.dist = dist;
    best_.at = q;
  }
  double dist() const { return best_.dist; }
  CoreContact done() {
    best_.smooth = best_.dist > kTouch;
    if (best_.smooth) best_.grad = coreGradient(c_, best_.at);
    return best_;
  }

 private:
  const Core& c_;
  CoreContact best_{kInf, {}, {}, false};
};

// The part of the triangle at or above the core's bottom: its plan distance from the axis less
// w, or, where it enters the core, minus its greatest depth there: the largest t for which the
// part at or above zc + t comes within w - t of the axis (bisection: the test is monotone).
void upperPart(const Core& c, const Triangle& t, const Plane& pl, Nearest& best) {
  Vec3 q;
  const double pd = planClosest(clipAbove(t, c.zc), pl, c.x, c.y, q);
  if (pd >= c.w) {
    best.offer(pd - c.w, q);
    return;
  }
  const double top = std::max({t.v[0].z, t.v[1].z, t.v[2].z});
  auto reaches = [&](double depth, Vec3& at) {
    const Poly p = clipAbove(t, c.zc + depth);
    return p.n > 0 && planClosest(p, pl, c.x, c.y, at) <= c.w - depth;
  };
  double lo = 0, hi = std::min(c.w - pd, top - c.zc);
  Vec3 at;
  if (reaches(hi, at)) {
    lo = hi;
    q = at;
  } else {
    for (int i = 0; i < kDeepSteps && hi - lo > 0; ++i) {
      const double mid = 0.5 * (lo + hi);
      if (reaches(mid, at)) {
        lo = mid;
        q = at;
      } else {
        hi = mid;
      }
    }
  }
  best.offer(-lo, q);
}

// The face below the core's bottom: the core's point nearest the plane is the bottom rim's point
// furthest down the plane's slope (the centre under a level face); its foot on the plane counts
// when it lies in the triangle.
void lowerFace(const Core& c, const Triangle& t, const Plane& pl, Nearest& best) {
  const double len = std::sqrt(dot(pl.n, pl.n));
  if (!(len > 0)) return;
  Vec3 n{pl.n.x / len, pl.n.y / len, pl.n.z / len};
  if (n.z < 0) n = {-n.x, -n.y, -n.z};
  if (n.z < 1e-12) return;  // a vertical face is nearest the disc at its border
  const double nxy = norm(n.x, n.y);
  Vec3 rim{c.x, c.y, c.zc};
  if (nxy > 1e-12) {
    rim.x -= c.w * n.x / nxy;
    rim.y -= c.w * n.y / nxy;
  }
  const double s = dot(n, Vec3{rim.x - t.v[0].x, rim.y - t.v[0].y, rim.z - t.v[0].z});
  if (!(s > 0)) return;  // the plane meets the disc: the nearest point lies on the border
  const Vec3 foot{rim.x - s * n.x, rim.y - s * n.y, rim.z - s * n.z};
  Poly tri;
  tri.n = 3;
  for (int i = 0; i < 3; ++i) tri.v[i] = t.v[i];
  if (planCovers(tri, foot.x, foot.y)) best.offer(s, foot);
}

// The parts of the triangle's edges below the core's bottom, where the distance is the distance
// to the bottom disc: a closed form for a level edge or a ball's point core, else the minimum of
// the convex distance along the edge by golden section.
void lowerEdges(const Core& c, const Triangle& t, Nearest& best) {
  for (int i = 0; i < 3; ++i) {
    const Vec3& p = t.v[i];
    const Vec3& q = t.v[(i + 1) % 3];
    const double hp = p.z - c.zc, hq = q.z - c.zc;
    if (hp > 0 && hq > 0) continue;
    double t0 = 0, t1 = 1;
    if (hp > 0) t0 = hp / (hp - hq);
    if (hq > 0) t1 = hp / (hp - hq);
    const Vec3 a = lerp(p, q, t0), b = lerp(p, q, t1);
    // No point of the part nearer than its box.
    const double bx = std::max({std::min(a.x, b.x) - c.x, c.x - std::max(a.x, b.x), 0.0});
    const double by = std::max({std::min(a.y, b.y) - c.y, c.y - std::max(a.y, b.y), 0.0});
    const double low =
        norm(std::max(norm(bx, by) - c.w, 0.0), std::max(c.zc - std::max(a.z, b.z), 0.0));
    if (!(low < best.dist())) continue;
    const Vec3 d{b.x - a.x, b.y - a.y, b.z - a.z};
    double u = 0;
    if (c.w <= 0) {
      const double len2 = dot(d, d);
      if (len2 > 0) u = std::clamp(dot(Vec3{c.x - a.x, c.y - a.y, c.zc - a.z}, d) / len2, 0.0, 1.0);
    } else if (a.z == b.z) {
      const double len2 = d.x * d.x + d.y * d.y;
      if (len2 > 0) u = std::clamp(((c.x - a.x) * d.x + (c.y - a.y) * d.y) / len2, 0.0, 1.0);
    } else {
      // Golden section on the convex distance, both ends kept as candidates.
      constexpr double g = 0.6180339887498949;
      auto f = [&](double s) { return coreDistance(c, lerp(a, b, s)); };
      double lo = 0, hi = 1, m1 = hi - g, m2 = g, f1 = f(m1), f2 = f(m2);
      for (int k = 0; k < kEdgeSteps; ++k) {
        if (f1 > f2) {
          lo = m1;
          m1 = m2;
          f1 = f2;
          m2 = lo + g * (hi - lo);
          f2 = f(m2);
        } else {
          hi = m2;
          m2 = m1;
          f2 = f1;
          m1 = hi - g * (hi - lo);
          f1 = f(m1);
        }
      }
      u = f1 < f2 ? m1 : m2;
      if (f(0) <= f(u)) u = 0;
      if (f(1) < f(u)) u = 1;
    }
    const Vec3 at = lerp(a, b, u);
    best.offer(coreDistance(c, at), at);
  }
}

}  // namespace

Core cutterCore(const Tool& tool, double allowance, const Vec3& tip) {
  return Core{tip.x, tip.y, tip.z + tool.corner, tool.radius - tool.corner,
              tool.corner + allowance};
}

double coreDistance(const Core& c, const Vec3& q) {
  const double e = norm(q.x - c.x, q.y - c.y) - c.w, h = q.z - c.zc;
  if (h >= 0) return std::max(e, -h);
  return norm(std::max(e, 0.0), h);
}

Vec3 coreGradient(const Core& c, const Vec3& q) {
  const double dx = q.x - c.x, dy = q.y - c.y, d = norm(dx, dy);
  const double e = std::max(d - c.w, 0.0), h = std::min(q.z - c.zc, 0.0);
  const double len = norm(e, h);
  if (!(len > 0)) return {};
  const double side = d > 0 ? e / (len * d) : 0.0;
  return {dx * side, dy * side, h / len};
}

double boxCoreDistance(const Core& c, const std::array<double, 4>& box, double top) {
  const double ex = std::max({box[0] - c.x, c.x - box[2], 0.0});
  const double ey = std::max({box[1] - c.y, c.y - box[3], 0.0});
  const double e = norm(ex, ey) - c.w;
  if (top >= c.zc) return e;
  return norm(std::max(e, 0.0), c.zc - top);
}

CoreContact triangleCore(const Core& c, const Triangle& t) {
  Nearest best(c);
  const Plane pl = planeOf(t);
  const double top = std::max({t.v[0].z, t.v[1].z, t.v[2].z});
  const double bottom = std::min({t.v[0].z, t.v[1].z, t.v[2].z});
  if (top >= c.zc) upperPart(c, t, pl, best);
  if (bottom < c.zc) {
    lowerFace(c, t, pl, best);
    lowerEdges(c, t, best);
  }
  return best.done();
}

double penetrationTriangle(const Triangle& t, const Tool& tool, double allowance, const Vec3& tip) {
  const Core c = cutterCore(tool, allowance, tip);
  return c.rho - triangleCore(c, t).dist;
}

double penetrationPlain(const Mesh& mesh, const Tool& tool, double allowance, const Vec3& tip) {
  const Core c = cutterCore(tool, allowance, tip);
  double best = kInf;
  for (const Triangle& t : mesh.triangles) best = std::min(best, triangleCore(c, t).dist);
  return c.rho - best;
}

namespace {

// The least distance of the triangle beyond the plane of unit normal n that holds the core on
// its one side (-infinity for a normal pointing up: the core runs up without end).
double separation(const Core& c, const Triangle& t, Vec3 n) {
  const double len = std::sqrt(dot(n, n));
  if (!(len > 0) || n.z > 0) return -kInf;
  n = {n.x / len, n.y / len, n.z / len};
  const double support = n.x * c.x + n.y * c.y + n.z * c.zc + c.w * norm(n.x, n.y);
  return std::min({dot(n, t.v[0]), dot(n, t.v[1]), dot(n, t.v[2])}) - support;
}

}  // namespace

TriPen penetrationTangent(const Core& c, const Triangle& t, int index) {
  const CoreContact ct = triangleCore(c, t);
  TriPen tp{index, c.rho - ct.dist, {}, 0.0, false};
  const double scale = 1 + std::max({std::fabs(c.x), std::fabs(c.y), std::fabs(c.zc), c.w});
  double reach = 0;
  for (const Vec3& v : t.v) {
    reach = std::max({reach, std::fabs(v.x), std::fabs(v.y), std::fabs(v.z)});
  }
  const double rounding = kTangentRounding * (scale + reach);
  // Candidate normals, the one the triangle lies farthest beyond kept; true once it lies as far
  // as the distance itself (within rounding): no other does better.
  double best = -kInf;
  auto offer = [&](const Vec3& n) {
    const double gap = separation(c, t, n);
    if (gap > best) {
      best = gap;
      const double len = std::sqrt(dot(n, n));
      tp.grad = {n.x / len, n.y / len, n.z / len};
    }
    return best >= ct.dist - rounding;
  };
  const double near = kNearCore * scale;
  bool tight = ct.smooth && offer(ct.grad);
  if (!tight && ct.dist < near) {
    // The gradient is lost in rounding or undefined: the face's normal (the contact lies inside
    // the face), then those of the core eroded until the triangle lies clear of it, a little and
    // well.
    const Vec3 e1{t.v[1].x - t.v[0].x, t.v[1].y - t.v[0].y, t.v[1].z - t.v[0].z};
    const Vec3 e2{t.v[2].x - t.v[0].x, t.v[2].y - t.v[0].y, t.v[2].z - t.v[0].z};
    const Vec3 face{e1.y * e2.z - e1.z * e2.y, e1.z * e2.x - e1.x * e2.z,
                    e1.x * e2.y - e1.y * e2.x};
    tight = offer(face) || offer(Vec3{-face.x, -face.y, -face.z});
    for (const double more : {1.0, 1e3}) {
      const double s = near * more + std::max(-ct.dist, 0.0);
      if (tight || !(s < c.w)) break;
      Core eroded = c;
      eroded.w -= s;
      eroded.zc += s;
      const CoreContact ce = triangleCore(eroded, t);
      if (ce.smooth) tight = offer(ce.grad);
    }
  }
  if (best == -kInf) return tp;
  tp.err = std::max(0.0, ct.dist - best) + rounding;
  tp.smooth = true;
  return tp;
}

}  // namespace tpc
