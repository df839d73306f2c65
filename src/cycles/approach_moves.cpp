// approach_moves.cpp - the shapes of approach and retract macros. Each primitive starts from the
// macro's point 0, the start point P, and a direction point D on the run, so that v = P - D points
// away from the run; it appends its points after those already in the macro.
#include <cmath>

#include "cycles/approach_macro.h"

namespace {

constexpr double kEps = 1e-5;
constexpr Point3D kUp = {0, 0, 1};

bool full(const MoveMacro* m) { return m->count >= m->capacity; }

void append(MoveMacro* m, const Point3D& q) {
  if (!full(m)) m->points[m->count++] = q;
}

Point3D unit(const Point3D& v) {
  const double l = vecLength(v);
  return l < kEps ? Point3D{0, 0, 0} : vecScale(1.0 / l, v);
}

// Unit horizontal part of v and its length.
double horizontal(const Point3D& v, Point3D* h) {
  const double g = std::hypot(v.x, v.y);
  *h = g < kEps ? Point3D{0, 0, 0} : Point3D{v.x / g, v.y / g, 0};
  return g;
}

Point3D leftOf(const Point3D& h) { return {-h.y, h.x, 0}; }

// Arc-length position on a closed path, measured from its start or, backward, from its end.
Point3D pointAtLength(const PathList* path, double length, bool fromEnd) {
  const int n = path->count;
  double walked = 0;
  for (int k = 1; k < n; ++k) {
    const int i0 = fromEnd ? n - k : k - 1;
    const int i1 = fromEnd ? n - k - 1 : k;
    const Point3D& a = path->positions[i0];
    const Point3D& b = path->positions[i1];
    const double seg = vecDistance(a, b);
    if (walked + seg >= length && seg > 0) {
      const double f = (length - walked) / seg;
      return vecAdd(a, vecScale(f, vecSub(b, a)));
    }
    walked += seg;
  }
  return path->positions[fromEnd ? 0 : n - 1];
}

bool closedPath(const PathList* path, double tol) {
  if (path == nullptr || path->count < 2) return false;
  const Point3D& a = path->positions[0];
  const Point3D& b = path->positions[path->count - 1];
  return std::fabs(a.x - b.x) <= tol && std::fabs(a.y - b.y) <= tol && std::fabs(a.z - b.z) <= tol;
}

// Chords of length c starting along f and turning toward g by w per step; the first step's point
// is not appended (so the first point is P plus the chord turned by two steps).
void planeArc(MoveMacro* m, const Point3D& p, const Point3D& f, const Point3D& g, double c,
              double w, double t) {
  Point3D cur = p;
  for (int k = 1; !full(m); ++k) {
    const Point3D chord =
        vecAdd(vecScale(c * std::cos(k * w), f), vecScale(c * std::sin(k * w), g));
    if (k > 1) {
      cur = vecAdd(cur, chord);
      append(m, cur);
    }
    if (!(vecDot(chord, f) > t)) break;
  }
}

}  // namespace

double approachChordLength(double r, double w) {
  const double q = 2.0 * (1.0 - std::cos(w));
  return q <= kEps ? 0.0 : r * std::sqrt(q);
}

void approachArcCentre(const Point3D& start, const Point3D& end, double r, int side,
                       Point3D* centre) {
  const double dx = end.x - start.x;
  const double dy = end.y - start.y;
  const double chord = std::hypot(dx, dy);
  if (chord < kEps || chord > 2.0 * r) return;
  const double h = std::sqrt(std::fmax(0.0, r * r - 0.25 * chord * chord));
  const double sgn = side >= 0 ? 1.0 : -1.0;
  centre->x = 0.5 * (start.x + end.x) - sgn * h * dy / chord;
  centre->y = 0.5 * (start.y + end.y) + sgn * h * dx / chord;
  centre->z = start.z;
}

int approachAddVertical(MoveMacro* m, const Point3D& p, double l) {
  append(m, vecAdd(p, vecScale(l, kUp)));
  return 1;
}

int approachAddArc(MoveMacro* m, double l, double w, double e, const Point3D& p, const Point3D& d) {
  const Point3D v = vecSub(p, d);
  if (vecLength(v) < kEps) return 0;
  const Point3D vu = unit(v);
  const double c = approachChordLength(l, w);
  Point3D h;
  if (horizontal(v, &h) < kEps) {
    // A vertical start direction gets the single point P + L c v^ (length L times the chord),
    // as the move has always been built.
    append(m, vecAdd(p, vecScale(l * c, vu)));
    return 1;
  }
  const double t = std::fabs(c * std::sin(e));
  double g = c * std::hypot(vu.x, vu.y);
  double z = c * vu.z;
  Point3D cur = p;
  while (!full(m) && (z < kEps || g > t)) {
    cur = {cur.x + g * h.x, cur.y + g * h.y, cur.z + z};
    append(m, cur);
    const double g2 = g * std::cos(w) - z * std::sin(w);
    z = g * std::sin(w) + z * std::cos(w);
    g = g2;
  }
  return 1;
}

int approachAddTiltedLine(MoveMacro* m, double l, double a, const Point3D& p, const Point3D& d) {
  const Point3D v = vecSub(p, d);
  if (vecLength(v) < kEps) return 0;
  const Point3D u = vecScale(l, unit(v));
  if (std::fabs(a) < kEps) {
    append(m, vecAdd(p, u));
    return 1;
  }
  Point3D h;
  const double g = horizontal(u, &h);
  if (g < kEps) return 1;
  const double along = g * std::cos(a) - u.z * std::sin(a);
  const double up = g * std::sin(a) + u.z * std::cos(a);
  append(m, vecAdd(p, vecAdd(vecScale(along, h), vecScale(up, kUp))));
  return 1;
}

int approachAddLevelLine(MoveMacro* m, double l, double a, const Point3D& p, const Point3D& d) {
  return approachAddTiltedLine(m, l, a, p, Point3D{d.x, d.y, p.z});
}

int approachAddTiltedLineAxis(MoveMacro* m, const Point3D& p, const Point3D& d, double l, double a,
                              const Point3D* x) {
  if (x != nullptr) m->shiftVector = *x;
  return approachAddTiltedLine(m, l, a, p, d);
}

int approachAddTangentArc(MoveMacro* m, double l, double w, double e, int s, const Point3D& d,
                          const Point3D& p) {
  Point3D r;
  if (horizontal(vecSub(p, d), &r) < kEps) return 0;
  const Point3D n = s == 1 ? leftOf(r) : Point3D{r.y, -r.x, 0};
  const double c = approachChordLength(l, w);
  if (c < kEps) return 1;
  const double t = std::fabs(c * std::sin(e));
  const Point3D rl = leftOf(r);
  // The first chord is already turned by one step, so the arc leaves P at half a step off the
  // run's direction; all points still lie on the circle of radius L through P.
  Point3D cur = p;
  double along = c;
  double across = 0;
  const double cw = std::cos(w * s);
  const double sw = std::sin(w * s);
  while (!full(m)) {
    const double a2 = along * cw - across * sw;
    across = along * sw + across * cw;
    along = a2;
    cur = {cur.x + along * r.x + across * rl.x, cur.y + along * r.y + across * rl.y, p.z};
    append(m, cur);
    if (!(std::fabs(across) < kEps || along > t)) break;
  }
  m->arcFlag = 1;
  m->arcSide = s;
  m->arcRadius = l;
  m->arcStart = p;
  m->arcEnd = m->points[m->count - 1];
  m->arcCentre = vecAdd(p, vecScale(l, n));
  approachArcCentre(m->arcStart, m->arcEnd, l, s, &m->arcCentre);
  return 1;
}

int approachAddSideLine(MoveMacro* m, double l, double a, int s, const Point3D& d,
                        const Point3D& p) {
  const Point3D v = vecSub(p, d);
  if (vecLength(v) < kEps) return 0;
  const Point3D u = vecScale(l, unit(v));
  if (std::fabs(a) < kEps) {
    append(m, vecAdd(p, u));
    return 1;
  }
  Point3D h;
  const double g = horizontal(u, &h);
  if (g < kEps) return 1;
  const Point3D hl = leftOf(h);
  const double as = a * s;
  append(m, {p.x + g * (std::cos(as) * h.x + std::sin(as) * hl.x),
             p.y + g * (std::cos(as) * h.y + std::sin(as) * hl.y), p.z});
  return 1;
}

int approachAddTurnedSideLine(MoveMacro* m, double l, double b, double a, int s, const Point3D& d,
                              const Point3D& p) {
  const int before = m->count;
  const int r = approachAddSideLine(m, l, b, s, d, p);
  if (m->count > before) m->points[m->count - 1].z += l * std::sin(a);
  return r;
}

int approachAddSideLineBent(MoveMacro* m, const Point3D& d, const Point3D& p, const Point3D* x,
                            double l, double a, int s) {
  if (x == nullptr) return approachAddSideLine(m, l, a, s, d, p);
  m->shiftVector = *x;
  const Point3D v = vecSub(p, d);
  if (vecLength(v) < kEps) return 0;
  const Point3D u = vecScale(l, unit(v));
  if (std::fabs(a) < kEps) {
    append(m, vecAdd(p, u));
    return 1;
  }
  const Point3D side = unit(vecCross(*x, u));
  append(m, vecAdd(p, vecAdd(vecScale(std::cos(a * s), u), vecScale(std::sin(a * s) * l, side))));
  return 1;
}

int approachAddTangentArcBent(MoveMacro* m, const Point3D& d, const Point3D* x, double l, double w,
                              double e, int s, const Point3D& p) {
  const int r = approachAddTangentArc(m, l, w, e, s, d, p);
  if (x != nullptr && vecLength(*x) >= kEps) m->shiftVector = *x;
  return r;
}

int approachAddAxisArc(MoveMacro* m, const Point3D* x, const Point3D& p, const Point3D& d, double l,
                       double w, double e, int s) {
  if (x == nullptr) return approachAddTangentArc(m, l, w, e, s, d, p);
  m->shiftVector = *x;
  const Point3D v = vecSub(p, d);
  if (vecLength(v) < kEps || vecCrossLength(v, *x) < kEps) return 0;
  const Point3D f = unit(vecCross(*x, unit(vecCross(v, *x))));
  const Point3D g = unit(vecCross(f, *x));
  const double c = approachChordLength(l, w);
  planeArc(m, p, f, g, c, -w * s, std::fabs(c * std::sin(e)));
  return 1;
}

int approachAddArcInAxisPlane(MoveMacro* m, const Point3D* x, double l, double w, double e,
                              const Point3D& p, const Point3D& d) {
  if (x == nullptr) return approachAddArc(m, l, w, e, p, d);
  m->shiftVector = *x;
  const Point3D v = vecSub(p, d);
  if (vecLength(v) < kEps || vecCrossLength(v, *x) < kEps) return 0;
  const Point3D f = unit(v);
  const Point3D q = unit(vecCross(vecCross(f, *x), f));
  const double c = approachChordLength(l, w);
  planeArc(m, p, f, q, c, w, std::fabs(c * std::sin(e)));
  return 1;
}

int approachAddArcOnPath(MoveMacro* m, const PathList* path, double l, double w, double e,
                         const Point3D& p, const Point3D& d) {
  const int first = m->count;
  const int r = approachAddArc(m, l, w, e, p, d);
  if (!closedPath(path, kEps)) return r;
  const bool fromEnd = m->type == kMacroApproach;
  for (int i = first; i < m->count; ++i) {
    Point3D& q = m->points[i];
    const Point3D on = pointAtLength(path, std::hypot(q.x - p.x, q.y - p.y), fromEnd);
    q.x = on.x;
    q.y = on.y;
  }
  return r;
}

int approachAddArcOrPathAxis(MoveMacro* m, const PathList* path, double l, double w, double e,
                             const Point3D* x, const Point3D& d, const Point3D& p) {
  const int r = approachAddArcInAxisPlane(m, x, l, w, e, p, d);
  if (!closedPath(path, 0.1) || m->count < 2) return r;
  const Point3D axis = x != nullptr ? *x : kUp;
  const Point3D f = unit(vecSub(p, d));
  const Point3D toLast = vecSub(m->points[m->count - 1], p);
  const Point3D q = unit(vecSub(toLast, vecScale(vecDot(toLast, f), f)));
  const bool fromEnd = m->type == kMacroApproach;
  for (int i = 1; i < m->count; ++i) {
    const Point3D rel = vecSub(m->points[i], p);
    const Point3D on = pointAtLength(path, vecDot(rel, f), fromEnd);
    m->points[i] = vecAdd(on, vecScale(vecDot(rel, q), axis));
  }
  return r;
}

int approachAddAlongAxis(MoveMacro* m, const Point3D* x, const Point3D& p, double l) {
  if (x == nullptr) return approachAddVertical(m, p, l);
  m->shiftVector = *x;
  append(m, vecAdd(p, vecScale(l, *x)));
  return 1;
}

int approachAddYStep(MoveMacro* m, double l, int s, const Point3D& p, const Point3D& d) {
  const Point3D v = vecSub(p, d);
  const double len = vecLength(v);
  if (len < kEps) return 0;
  double k = v.x / len;
  if (s <= 0) k = -k;
  if (std::fabs(k) < kEps) k = 1;
  append(m, {p.x, k > 0 ? p.y + l : p.y - l, p.z});
  return 1;
}

int approachAddTarget(MoveMacro* m, const Point3D& p, const Point3D* x) {
  if (m->type == kMacroRetract && approachStraightRetract() != 0) {
    append(m, p);
  } else {
    append(m, x != nullptr ? *x : p);
  }
  return 1;
}

int approachAddBlendArc(MoveMacro* m, const Point3D& /*d*/, double radius, double /*w*/,
                        const Point3D* x, const Point3D& p) {
  // The builder's blend radius is 0, so no blend points are ever inserted.
  if (m->type == kMacroRetract && approachStraightRetract() != 0) {
    append(m, vecAdd(p, vecScale(radius, kUp)));
    return 1;
  }
  return approachAddTarget(m, p, x);
}

int approachAddProjected(MoveMacro* m, double l, const Point3D& p) {
  // Nothing stores a guide polyline to project onto, so the move goes straight up.
  return approachAddVertical(m, p, l);
}
