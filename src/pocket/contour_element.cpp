// contour_element.cpp - operations on one line or arc element of the pocketing engine.
// Arc angles come from contVectorAngle (arc tangent of y / x with the engine's guard), so that the
// window wraps below decide exactly as the rest of the engine expects.
#include "pocket/contour_element.h"

#include <cmath>
#include <cstring>
#include <numbers>

#include "pocket/engine_state.h"

namespace {
constexpr double kTwoPi = 2.0 * std::numbers::pi;
// Points whose x and y differ by less than this are one point.
constexpr double kSamePointTol = 0.0001;
// Closure tolerance of a whole contour.
constexpr double kContourClosedTol = 0.01;
// Chords shorter than this are the element's length.
constexpr double kShortChord = 0.01;
// Cross products within this of 0 give no turn.
constexpr double kTurnTol = 0.0001;
// Shortest tangent that can be normalised (the segment functions of lines use the same).
constexpr double kMinTangent = 1e-7;

bool contValidType(const ContourElement& e) { return e.type == kContLine || e.type == kContArc; }

// Angle of p about the arc's centre.
double arcAngleOf(const ContourElement& a, const Point2D& p) {
  return contVectorAngle(p.y - a.p1, p.x - a.p0);
}

// Start and end angle of an arc's window: for a counter-clockwise arc the end is raised by 2 pi
// when below the start, for a clockwise one the start when below the end.
void arcWindow(const ContourElement& a, double* s, double* e) {
  *s = arcAngleOf(a, contArcStart(a));
  *e = arcAngleOf(a, contArcEnd(a));
  if (a.dir < 0) {
    if (*s < *e) *s += kTwoPi;
  } else if (*e < *s) {
    *e += kTwoPi;
  }
}

Point2D arcPointAtAngle(const ContourElement& a, double angle) {
  return Point2D{a.p0 + a.radius * std::cos(angle), a.p1 + a.radius * std::sin(angle)};
}
}  // namespace

ContourElement contMakeLine(double x0, double y0, double x1, double y1, int tag) {
  ContourElement e;
  std::memset(&e, 0, sizeof e);
  e.type = kContLine;
  e.tag = tag;
  e.p0 = x0;
  e.p1 = y0;
  e.p2 = x1;
  e.p3 = y1;
  return e;
}

ContourElement contMakeArc(double cx, double cy, double sx, double sy, double ex, double ey,
                           double radius, int dir, int tag) {
  ContourElement e;
  std::memset(&e, 0, sizeof e);
  e.type = kContArc;
  e.tag = tag;
  e.p0 = cx;
  e.p1 = cy;
  e.p2 = sx;
  e.p3 = sy;
  e.p4 = ex;
  e.p5 = ey;
  e.radius = radius;
  e.dir = dir;
  return e;
}

void contPutElem(ContourElement* elements, int i, const ContourElement& element) {
  std::memcpy(&elements[i], &element, sizeof element);
}

int contElemPoint(const ContourElement& e, Point2D* out, int which) {
  if (e.type == kContLine) return g2dSegPoint(contElemSeg(e), out, which);
  if (e.type == kContArc) {
    switch (which) {
      case 1: *out = contArcStart(e); return 1;
      case 2: *out = contArcEnd(e); return 1;
      case 3: {
        double s = 0.0, en = 0.0;
        arcWindow(e, &s, &en);
        *out = arcPointAtAngle(e, (s + en) / 2.0);
        return 1;
      }
      default: return 0;
    }
  }
  return 0;
}

int contElemSetEndpoint(ContourElement* e, const Point2D& p, int which) {
  if (e->type == kContLine) {
    if (which == 1) {
      e->p0 = p.x;
      e->p1 = p.y;
    } else {
      e->p2 = p.x;
      e->p3 = p.y;
    }
    return 1;
  }
  if (e->type == kContArc) {
    if (which == 1) {
      e->p2 = p.x;
      e->p3 = p.y;
    } else {
      e->p4 = p.x;
      e->p5 = p.y;
    }
    e->radius = contDistance(contArcCentre(*e), p);
    return 1;
  }
  return 0;
}

int contElemDirection(const ContourElement& e, Point2D* out, int which) {
  if (e.type == kContLine) return g2dSegDirection(contElemSeg(e), out);
  if (e.type != kContArc) return 0;
  const Point2D p = which == 1 ? contArcStart(e) : contArcEnd(e);
  Point2D v{-(p.y - e.p1), p.x - e.p0};
  if (e.dir < 0) v = Point2D{-v.x, -v.y};
  const double len = std::sqrt(v.x * v.x + v.y * v.y);
  if (len < kMinTangent) return 0;
  *out = Point2D{v.x / len, v.y / len};
  return 1;
}

int contElemNormal(const ContourElement& e, Point2D* out, int which, int side) {
  if (e.type == kContLine) return g2dSegNormal(contElemSeg(e), out, side);
  if (e.type == kContArc) {
    const Point2D p = which == 1 ? contArcStart(e) : contArcEnd(e);
    Point2D v{e.p0 - p.x, e.p1 - p.y};
    const double len = std::sqrt(v.x * v.x + v.y * v.y);
    if (len < kMinTangent) return 0;
    v = Point2D{v.x / len, v.y / len};
    if (side * e.dir < 0) v = Point2D{-v.x, -v.y};
    *out = v;
    return 1;
  }
  return 0;
}

double contCross2d(const Point2D& a, const Point2D& b) { return a.x * b.y - a.y * b.x; }

double contDistance(const Point2D& a, const Point2D& b) {
  const double dx = a.x - b.x;
  const double dy = a.y - b.y;
  return std::sqrt(dx * dx + dy * dy);
}

void contBoxAddPoint(const Point2D& p, Point2D* min, Point2D* max) {
  if (p.x < min->x) min->x = p.x;
  if (p.y < min->y) min->y = p.y;
  if (p.x > max->x) max->x = p.x;
  if (p.y > max->y) max->y = p.y;
}

double contVectorAngle(double y, double x) {
  const double guard = pockEngine().contAngleGuard;
  if (std::fabs(x) < guard) {
    if (std::fabs(y) < guard) return 0.0;
    return y >= guard ? std::numbers::pi / 2.0 : 3.0 * std::numbers::pi / 2.0;
  }
  double a = std::atan(y / x);
  if (x < 0.0) {
    a += std::numbers::pi;
  } else if (y < 0.0) {
    a += kTwoPi;
  }
  return a;
}

double contTurnBetween(const Point2D& a, const Point2D& b) {
  const double c = contCross2d(a, b);
  if (std::fabs(c) < kTurnTol) return 0.0;
  double d = contVectorAngle(b.y, b.x) - contVectorAngle(a.y, a.x);
  if (c > 0.0 && d < 0.0) d += kTwoPi;
  if (c < 0.0 && d > 0.0) d -= kTwoPi;
  return d;
}

double contTurnAngle(double x0, double y0, double x1, double y1, double x2, double y2) {
  return contTurnBetween(Point2D{x1 - x0, y1 - y0}, Point2D{x2 - x1, y2 - y1});
}

int contArcPointAt(const ContourElement& arc, double t, Point2D* out) {
  if (arc.type != kContArc) return 0;
  double s = 0.0, e = 0.0;
  arcWindow(arc, &s, &e);
  *out = arcPointAtAngle(arc, (1.0 - t) * s + t * e);
  return 1;
}

int contArcInnerPoint(const ContourElement& arc, const Point2D& p, const Point2D& q, Point2D* out) {
  if (arc.type != kContArc) return 0;
  double ap = arcAngleOf(arc, p);
  double aq = arcAngleOf(arc, q);
  if (arc.dir < 0) {
    if (ap < aq) ap += kTwoPi;
  } else if (aq < ap) {
    aq += kTwoPi;
  }
  *out = arcPointAtAngle(arc, 0.9 * ap + 0.1 * aq);
  return 1;
}

double contArcSweep(const ContourElement& e) {
  if (e.type != kContArc) return 0.0;
  Point2D ts{}, te{};
  if (contElemDirection(e, &ts, 1) == 0 || contElemDirection(e, &te, 2) == 0) return 0.0;
  double turn = contTurnBetween(ts, te);
  if (std::fabs(turn) >= kTurnTol) {
    if (e.dir > 0 && turn < 0.0) turn += kTwoPi;
    if (e.dir < 0 && turn > 0.0) turn -= kTwoPi;
    return turn;
  }
  if (ts.x * te.x + ts.y * te.y > 0.0) return 0.0;
  return e.dir * std::numbers::pi;
}

double contElemLength(const ContourElement& e) {
  Point2D s{}, en{};
  if (contElemPoint(e, &s, 1) == 0 || contElemPoint(e, &en, 2) == 0) return 0.0;
  if (contSamePoint(s, en) == 1) return 0.0;
  const double chord = contDistance(s, en);
  if (chord < kShortChord || e.type == kContLine) return chord;
  return std::fabs(contArcSweep(e) * e.radius);
}

double contElemLengthTo(const ContourElement& e, const Point2D& p, double* rest) {
  ContourElement part = e;
  contElemSetEndpoint(&part, p, 2);
  const double length = contElemLength(part);
  if (rest != nullptr) *rest = contElemLength(e) - length;
  return length;
}

int contElemPointOrder(const ContourElement& e, const Point2D& p, const Point2D& q) {
  if (e.type == kContLine) {
    double from = e.p0, to = e.p2, pv = p.x, qv = q.x;
    if (std::fabs(e.p0 - e.p2) < kSamePointTol) {
      from = e.p1;
      to = e.p3;
      pv = p.y;
      qv = q.y;
    }
    const double delta = to - from;
    if (delta == 0.0) return 2;  // a null line orders nothing
    return (pv - from) / delta > (qv - from) / delta ? 1 : 2;
  }
  if (e.type == kContArc) {
    const double ref = arcAngleOf(e, e.dir > 0 ? contArcStart(e) : contArcEnd(e));
    double ap = arcAngleOf(e, p);
    double aq = arcAngleOf(e, q);
    if (ap < ref) ap += kTwoPi;
    if (aq < ref - 0.00001) aq += kTwoPi;
    return ((e.dir > 0 && ap > aq) || (e.dir < 0 && ap < aq)) ? 1 : 2;
  }
  return 0;
}

int contElemsChained(const ContourElement& a, const ContourElement& b, const ContourElement& c) {
  Point2D ae{}, bs{}, be{}, cs{};
  if (contElemPoint(a, &ae, 2) == 0 || contElemPoint(b, &bs, 1) == 0 ||
      contElemPoint(b, &be, 2) == 0 || contElemPoint(c, &cs, 1) == 0) {
    return 0;
  }
  return (contSamePoint(ae, bs) == 1 && contSamePoint(be, cs) == 1) ? 1 : 0;
}

int contPointsClose(const Point2D& p, const Point2D& q) {
  return (std::fabs(p.x - q.x) < 2.0 * kSamePointTol && std::fabs(p.y - q.y) < 2.0 * kSamePointTol)
             ? 1
             : 0;
}

int contElemClosed(const ContourElement& e) {
  if (!contValidType(e)) return 0;
  Point2D s{}, en{};
  contElemPoint(e, &s, 1);
  contElemPoint(e, &en, 2);
  return contSamePoint(s, en);
}

int contIsClosed(const ContourElement* elements, int n) {
  if (elements == nullptr || n <= 0) return 0;
  Point2D s{}, e{};
  if (contElemPoint(elements[0], &s, 1) == 0 || contElemPoint(elements[n - 1], &e, 2) == 0) {
    return 0;
  }
  return (std::fabs(s.x - e.x) < kContourClosedTol && std::fabs(s.y - e.y) < kContourClosedTol) ? 1
                                                                                                : 0;
}
