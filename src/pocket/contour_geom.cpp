// contour_geom.cpp - points against elements and contours, corners and whole-contour operations
// of the pocketing engine.
#include "pocket/contour_geom.h"

#include <cmath>
#include <numbers>
#include <utility>

#include "geometry/geo_error.h"
#include "pocket/engine_state.h"
#include "pocket/isect.h"

namespace {
constexpr double kPi = std::numbers::pi;
constexpr double kTwoPi = 2.0 * std::numbers::pi;
// Turns and sums within this of 0 count as none.
constexpr double kTurnTol = 0.0001;
// Lines shorter than this answer their start as the foot.
constexpr double kShortLine = 0.01;
// Base tolerance of the corner classes, times contCornerFactor.
constexpr double kCornerTol = 0.005;
// Cross product below which an "openPocket" reversal stays a reversal.
constexpr double kOpenReversalCross = 1e-7;

double lineNearest(const Point2D& p, const ContourElement& e, Point2D* foot) {
  const Point2D s = contElemStart(e), en = contElemEnd(e);
  const double ds = contDistance(p, s), de = contDistance(p, en);
  const Seg2D seg = contElemSeg(e);
  Point2D f = s;
  if (contDistance(s, en) >= kShortLine) isectFootOnLine(seg, p.x, p.y, &f.x, &f.y);
  if (isectPointOnSegment(f, seg) == 1) {
    *foot = f;
    return contDistance(f, p);
  }
  if (ds <= de) {
    *foot = s;
    return ds;
  }
  *foot = en;
  return de;
}

double arcNearest(const Point2D& p, const ContourElement& e, Point2D* foot) {
  const Point2D s = contElemStart(e), en = contElemEnd(e);
  const double ds = contDistance(p, s), de = contDistance(p, en);
  if (contSamePoint(p, contArcCentre(e)) == 1) {
    *foot = s;
    return ds;
  }
  Point2D cut[2] = {};
  const int n = isectLineCircle(Seg2D{p.x, p.y, e.p0, e.p1}, e, cut);
  auto distOf = [&](const Point2D& q) {
    return isectPointOnArc(q, e) == 1 ? contDistance(p, q) : de + 100.0;
  };
  Point2D best = en;
  double d = de;
  if (n >= 2 && distOf(cut[1]) <= d) {
    d = distOf(cut[1]);
    best = cut[1];
  }
  if (n >= 1 && distOf(cut[0]) <= d) {
    d = distOf(cut[0]);
    best = cut[0];
  }
  if (ds <= d) {
    d = ds;
    best = s;
  }
  *foot = best;
  return d;
}

// Turning of an arc from its start tangent to the direction q: the signed turn, a negative one of
// a counter-clockwise arc raised by 2 pi and a positive one of a clockwise arc lowered by 2 pi;
// dir x pi when there is no turn.
double arcOwnTurn(const ContourElement& arc, const Point2D& ts, const Point2D& q) {
  double t = contTurnBetween(ts, q);
  if (std::fabs(t) < kTurnTol) return arc.dir * kPi;
  if (arc.dir > 0 && t < 0.0) t += kTwoPi;
  if (arc.dir < 0 && t > 0.0) t -= kTwoPi;
  return t;
}
}  // namespace

int contElemBox(const ContourElement& e, Point2D* min, Point2D* max) {
  if (e.type != kContLine && e.type != kContArc) return 0;
  const Point2D s = contElemStart(e), en = contElemEnd(e);
  *min = Point2D{std::fmin(s.x, en.x), std::fmin(s.y, en.y)};
  *max = Point2D{std::fmax(s.x, en.x), std::fmax(s.y, en.y)};
  if (e.type == kContArc) {
    const Point2D extremes[4] = {{e.p0 + e.radius, e.p1},
                                 {e.p0 - e.radius, e.p1},
                                 {e.p0, e.p1 + e.radius},
                                 {e.p0, e.p1 - e.radius}};
    for (const Point2D& q : extremes) {
      if (isectPointOnArc(q, e) == 1) contBoxAddPoint(q, min, max);
    }
  }
  return 1;
}

int contPointOnElem(const Point2D& p, const ContourElement& e) {
  if (e.type == kContLine) return isectPointOnSegment(p, contElemSeg(e));
  if (e.type == kContArc) return isectPointOnArc(p, e);
  return 0;
}

double contNearestOnElem(const Point2D& p, const ContourElement& e, Point2D* foot) {
  if (e.type != kContLine && e.type != kContArc) return 0.0;
  if (contElemClosed(e) == 1) {
    *foot = contElemStart(e);
    return contDistance(p, *foot);
  }
  return e.type == kContLine ? lineNearest(p, e, foot) : arcNearest(p, e, foot);
}

double contMinDistance(const Point2D& p, const ContourElement* elements, int n) {
  Point2D foot{};
  int index = 0;
  return contNearestElem(p, elements, n, &foot, &index);
}

double contNearestElem(const Point2D& p, const ContourElement* elements, int n, Point2D* foot,
                       int* index) {
  if (elements == nullptr || n <= 0) return 0.0;
  double best = 0.0;
  for (int i = 0; i < n; ++i) {
    Point2D f{};
    const double d = contNearestOnElem(p, elements[i], &f);
    if (i == 0 || d < best) {
      best = d;
      *foot = f;
      *index = i;
    }
  }
  return best;
}

int contWinding(const ContourElement* elements, int n, const Point2D& p) {
  if (elements == nullptr || n <= 1) return 0;
  double sum = 0.0;
  for (int i = 0; i < n; ++i) {
    const ContourElement& e = elements[i];
    Point2D s{}, en{};
    if (contElemPoint(e, &s, 1) == 0 || contElemPoint(e, &en, 2) == 0) continue;
    const double a =
        contTurnBetween(Point2D{s.x - p.x, s.y - p.y}, Point2D{en.x - p.x, en.y - p.y});
    if (e.type == kContLine || contElemLength(e) < 0.01 * e.radius || contDistance(s, en) < 0.005 ||
        e.radius <= contDistance(p, contArcCentre(e))) {
      sum += a;
      continue;
    }
    // p strictly inside the circle of an open arc: the arc goes the long way round p or not.
    if (std::fabs(a) < kTurnTol) {
      sum += e.dir * kPi;
    } else if (e.dir > 0) {
      sum += a > 0.0 ? a : a + kTwoPi;
    } else {
      sum += a > 0.0 ? a - kTwoPi : a;
    }
  }
  if (sum < -1.0) return -1;
  if (sum > 1.0) return 1;
  return 0;
}

int contCornerType(const ContourElement& prev, const ContourElement& next, int* cls) {
  Point2D ta{}, tb{};
  if (contElemDirection(prev, &ta, 2) == 0 || contElemDirection(next, &tb, 1) == 0) return 0;
  const PockEngine& eng = pockEngine();
  double k = eng.contCornerFactor;
  if (prev.type == kContLine && next.type == kContArc && eng.offsetStrict == 0) k = 9.0;
  if (prev.type == kContArc && next.type == kContLine &&
      contDistance(contElemStart(next), contElemEnd(next)) > 100.0) {
    k = 10.0;
  }
  const double tol = kCornerTol * k;
  const double c = contCross2d(ta, tb);
  if (std::fabs(c) >= tol) {
    *cls = c > 0.0 ? kCornerLeft : kCornerRight;
    return 1;
  }
  if (ta.x * tb.x + ta.y * tb.y >= 0.0) {
    *cls = kCornerTangent;
    return 1;
  }
  *cls = kCornerReversal;
  if (eng.pockStrategyOpenPocket != 0 && c < kOpenReversalCross) return 1;
  if (next.type == kContArc) {
    // The path reverses into an arc: judge by the tangent one tenth into it.
    Point2D inner{};
    contArcInnerPoint(next, contElemStart(next), contElemEnd(next), &inner);
    ContourElement part = next;
    contElemSetEndpoint(&part, inner, 2);
    Point2D tInner{};
    if (contElemDirection(part, &tInner, 2) == 1) {
      const double ci = contCross2d(ta, tInner);
      if (std::fabs(ci) > tol) *cls = ci > 0.0 ? kCornerLeft : kCornerRight;
    }
  }
  return 1;
}

int contCornerAgrees(const ContourElement& a, const ContourElement& b, int cls) {
  int found = 0;
  if (contCornerType(a, b, &found) == 0 || found != cls) return 1;
  const Point2D as = contElemStart(a), ae = contElemEnd(a), bs = contElemStart(b),
                be = contElemEnd(b);
  const double dot = (ae.x - as.x) * (be.x - bs.x) + (ae.y - as.y) * (be.y - bs.y);
  return dot < 0.0 ? 1 : 0;
}

double contHalfTurn(const ContourElement& prev, const ContourElement& next) {
  const bool prevArc = prev.type == kContArc, nextArc = next.type == kContArc;
  if (prev.type == kContLine && next.type == kContLine) return kPi;
  if (prevArc != nextArc && (prev.type == kContLine || next.type == kContLine)) {
    const ContourElement& arc = prevArc ? prev : next;
    return arc.dir > 0 ? -kPi : kPi;
  }
  if (prevArc && nextArc) {
    if (prev.dir > 0 && next.dir > 0) return -kPi;
    if (prev.dir < 0 && next.dir < 0) return kPi;
    const ContourElement& ccw = prev.dir > 0 ? prev : next;
    const ContourElement& cw = prev.dir > 0 ? next : prev;
    return ccw.radius < cw.radius - 0.0001 ? -kPi : kPi;
  }
  return kPi;
}

double contLength(const ContourElement* elements, int n) {
  double sum = 0.0;
  for (int i = 0; elements != nullptr && i < n; ++i) sum += contElemLength(elements[i]);
  return sum;
}

int contBox(const ContourElement* elements, int n, Point2D* min, Point2D* max) {
  if (elements == nullptr || n <= 0) return 0;
  bool any = false;
  Point2D lo{}, hi{};
  for (int i = 0; i < n; ++i) {
    Point2D a{}, b{};
    if (contElemBox(elements[i], &a, &b) == 0) continue;
    if (!any) {
      lo = a;
      hi = b;
      any = true;
    } else {
      contBoxAddPoint(a, &lo, &hi);
      contBoxAddPoint(b, &lo, &hi);
    }
  }
  if (!any) return 0;
  *min = lo;
  *max = hi;
  return 1;
}

int contShoelaceSign(const ContourElement* elements, int n) {
  if (elements == nullptr || n <= 1) return 0;
  double sum = 0.0;
  for (int i = 0; i < n; ++i) {
    const Point2D p = contElemStart(elements[i]);
    const Point2D next = contElemStart(elements[(i + 1) % n]);
    const Point2D prev = contElemStart(elements[(i + n - 1) % n]);
    sum += p.x * (next.y - prev.y);
  }
  if (std::fabs(sum) < kTurnTol) return 0;
  return sum > 0.0 ? 1 : -1;
}

int contTriangleThin(int n, const ContourElement* elements) {
  if (n != 3 || elements == nullptr) return 0;
  for (int i = 0; i < 3; ++i) {
    const ContourElement& e = elements[i];
    if (e.type == kContArc && contElemLength(e) > e.radius / 50.0) return 0;
  }
  const double tol = pockEngine().contTol;
  for (int i = 0; i < 3; ++i) {
    const Point2D p = contElemStart(elements[i]);
    const Point2D q = contElemStart(elements[(i + 1) % 3]);
    const Point2D r = contElemStart(elements[(i + 2) % 3]);
    Point2D foot{};
    if (contNearestOnElem(p, contMakeLine(q.x, q.y, r.x, r.y, 0), &foot) < tol) return 1;
  }
  return 0;
}

int contOrientation(const ContourElement* elements, int n) {
  if (elements == nullptr || n <= 0) return 0;
  if (n == 1) return elements[0].type == kContArc ? (elements[0].dir > 0 ? 1 : -1) : 0;
  if (n == 3 && contTriangleThin(n, elements) == 1) return 0;
  if (n == 2) {
    Point2D m0{}, m1{};
    contElemPoint(elements[0], &m0, 3);
    contElemPoint(elements[1], &m1, 3);
    if (contDistance(m0, m1) < pockEngine().pockToolRadius * 0.02) return 0;
  }
  double sum = 0.0;
  bool reversal = false;
  Point2D q{};
  for (int i = 0; i < n; ++i) {
    const ContourElement& e = elements[i];
    const ContourElement& next = elements[(i + 1) % n];
    Point2D tEnd{};
    if (contElemDirection(e, &tEnd, 2) == 0) return 0;
    if (!reversal) {
      q = tEnd;
      if (e.type == kContArc) {
        Point2D ts{};
        if (contElemDirection(e, &ts, 1) == 0) return 0;
        sum += arcOwnTurn(e, ts, q);
      }
    }
    Point2D tNext{};
    if (contElemDirection(next, &tNext, 1) == 0) return 0;
    reversal = std::fabs(-tNext.x - q.x) < kTurnTol && std::fabs(-tNext.y - q.y) < kTurnTol;
    double corner = contTurnBetween(q, tNext);
    if ((e.type == kContArc || next.type == kContArc) &&
        (reversal || std::fabs(std::fabs(corner) - kPi) < 0.025)) {
      corner = contHalfTurn(e, next);
    }
    sum += corner;
  }
  if (std::fabs(sum) < 0.03 || std::fabs(sum) > kTwoPi + 1.0) {
    return contShoelaceSign(elements, n);
  }
  if (sum < -1.0) return -1;
  if (sum > 1.0) return 1;
  return 0;
}

namespace {
// Exchanges the start and end of a line or arc; an arc also changes its direction.
void contFlip(ContourElement* e) {
  if (e->type == kContLine) {
    std::swap(e->p0, e->p2);
    std::swap(e->p1, e->p3);
  } else if (e->type == kContArc) {
    std::swap(e->p2, e->p4);
    std::swap(e->p3, e->p5);
    e->dir = -e->dir;
  }
}
}  // namespace

void contReverse(ContourElement* elements, int n) {
  if (elements == nullptr) return;
  for (int i = 0; i < n / 2; ++i) {
    geoSwapBytes(&elements[i], &elements[n - 1 - i], sizeof(ContourElement));
    contFlip(&elements[i]);
    contFlip(&elements[n - 1 - i]);
  }
  if (n % 2 == 1) contFlip(&elements[n / 2]);
}

void contRotateFirstToEnd(int n, ContourElement* elements) {
  if (elements == nullptr || n <= 1) return;
  geoRotateArray(elements, elements + 1, elements + n, sizeof(ContourElement));
}

void contSetTags(ContourElement* elements, int n, int value) {
  for (int i = 0; elements != nullptr && i < n; ++i) {
    if (elements[i].tag >= 0) elements[i].tag = value;
  }
}
