// isect.cpp - intersections of lines, segments, circles and arcs of the pocketing engine.
// The line-circle cut works in the slope form of the line, and angles about a centre come from
// atan2 lifted into [0, 2 pi): the branch codes of the callers depend on exactly these forms.
#include "pocket/isect.h"

#include <cmath>
#include <numbers>

#include "pocket/engine_state.h"

namespace {
constexpr double kTwoPi = 2.0 * std::numbers::pi;
// Collinear segments whose ends meet along the axis within this share a point.
constexpr double kSharedEndTol = 0.0001;
// Arcs of a smaller |radius| contain no point.
constexpr double kMinArcRadius = 0.001;
// Slack of angles (radians) and of radius x angle (a length) at the ends of an arc's window.
constexpr double kWindowSlack = 0.0001;
// A tangent point this near (x and y) to an end of the first arc counts for isectArcArcPoints.
constexpr double kTangentEndTol = 0.05;
// The scale factor below which the segment slack is doubled.
constexpr double kSlackScaleLimit = 5.0;

struct IsectState {
  IntersectionRecord records[kIsectRecordMax] = {};
};
IsectState isectState;

// Angle of p about the arc's centre, in [0, 2 pi).
double isectAngle(const ContourElement& arc, const Point2D& p) {
  double a = std::atan2(p.y - arc.p1, p.x - arc.p0);
  if (a < 0.0) a += kTwoPi;
  return a;
}

// The arc's window [s, e]: start and end angles in [0, 2 pi), exchanged for a clockwise arc, the
// end raised by 2 pi when below the start.
void isectWindow(const ContourElement& arc, double* s, double* e) {
  *s = isectAngle(arc, contArcStart(arc));
  *e = isectAngle(arc, contArcEnd(arc));
  if (arc.dir < 0) {
    const double t = *s;
    *s = *e;
    *e = t;
  }
  if (*e < *s) *e += kTwoPi;
}

// Keeps the points of a circle cut (n from a circle routine: 1 or 2) that pass accept: n = 1
// gives -1 when the tangent point passes, else 0; n = 2 gives the number that pass, a lone second
// point moved into the first place.
template <typename Accept>
int isectKeepPoints(int n, Point2D out[2], Accept accept) {
  if (n == 1) return accept(out[0]) ? -1 : 0;
  const bool first = accept(out[0]);
  const bool second = accept(out[1]);
  if (first && second) return 2;
  if (second) {
    out[0] = out[1];
    return 1;
  }
  return first ? 1 : 0;
}
}  // namespace

IntersectionRecord* isectRecords() { return isectState.records; }

int isectNear(double a, double b) { return std::fabs(a - b) < 0.005 ? 1 : 0; }
int isectGreater(double a, double b) { return b - a > 0.0001 ? 1 : 0; }
int isectGreaterCoarse(double a, double b) { return b - a > 0.001 ? 1 : 0; }
int isectNotLess(double a, double b) { return b - a > -0.0001 ? 1 : 0; }

int isectLineLine(const Seg2D& a, const Seg2D& b, Point2D* out) {
  const double tol = pockEngine().isectTol;
  const double la = std::sqrt((a.x2 - a.x1) * (a.x2 - a.x1) + (a.y2 - a.y1) * (a.y2 - a.y1));
  const double lb = std::sqrt((b.x2 - b.x1) * (b.x2 - b.x1) + (b.y2 - b.y1) * (b.y2 - b.y1));
  if (la == 0.0 || lb == 0.0) return 0;  // a point has no line (its normal would divide by 0)
  const Point2D na{(a.y2 - a.y1) / la, (a.x1 - a.x2) / la};
  const Point2D nb{(b.y2 - b.y1) / lb, (b.x1 - b.x2) / lb};
  const double va = na.x * a.x1 + na.y * a.y1;
  const double vb = nb.x * b.x1 + nb.y * b.y1;
  const double t = nb.y * na.x - nb.x * na.y;
  const double px = nb.y * va - na.y * vb;
  const double py = na.x * vb - nb.x * va;
  if (std::fabs(t) < tol) return (std::fabs(px) < tol && std::fabs(py) < tol) ? -1 : 0;
  *out = Point2D{px / t, py / t};
  return 1;
}

int isectSegments(const Seg2D& a, const Seg2D& b, Point2D* out) {
  Point2D p{};
  const int r = isectLineLine(a, b, &p);
  if (r == 1) {
    if (isectPointOnSegment(p, a) == 1 && isectPointOnSegment(p, b) == 1) {
      *out = p;
      return 1;
    }
    return 0;
  }
  if (r == 0) return 0;
  // Collinear: compare the ranges along a's longer axis.
  const bool alongY = std::fabs(a.y1 - a.y2) > std::fabs(a.x1 - a.x2);
  auto axis = [alongY](const Point2D& q) { return alongY ? q.y : q.x; };
  Point2D aLo = g2dSegStart(a), aHi = g2dSegEnd(a);
  if (axis(aLo) > axis(aHi)) std::swap(aLo, aHi);
  Point2D bLo = g2dSegStart(b), bHi = g2dSegEnd(b);
  if (axis(bLo) > axis(bHi)) std::swap(bLo, bHi);
  if (std::fabs(axis(aLo) - axis(bHi)) < kSharedEndTol) {
    *out = aLo;
    return 1;
  }
  if (std::fabs(axis(bLo) - axis(aHi)) < kSharedEndTol) {
    *out = bLo;
    return 1;
  }
  if (axis(aLo) <= axis(bHi) && axis(bLo) <= axis(aHi)) return -1;
  return 0;
}

int isectFootOnLine(const Seg2D& seg, double x, double y, double* outX, double* outY) {
  const double dx = seg.x2 - seg.x1;
  const double dy = seg.y2 - seg.y1;
  const double l2 = dx * dx + dy * dy;
  if (l2 < pockEngine().isectTol) {
    *outX = seg.x2;
    *outY = seg.y2;
    return 0;
  }
  const double t = ((x - seg.x1) * dx + (y - seg.y1) * dy) / l2;
  *outX = seg.x1 + t * dx;
  *outY = seg.y1 + t * dy;
  return 1;
}

double isectPointSegDistance(double x, double y, const Seg2D& seg) {
  double fx = 0.0, fy = 0.0;
  if (isectFootOnLine(seg, x, y, &fx, &fy) == 0) {
    fx = seg.x1;
    fy = seg.y1;
  }
  return std::sqrt((x - fx) * (x - fx) + (y - fy) * (y - fy));
}

int isectPointOnSegment(const Point2D& p, const Seg2D& seg) {
  const PockEngine& e = pockEngine();
  double b = e.contTol;
  if (e.scaleFactor < kSlackScaleLimit) b *= 2.0;
  const double dx = seg.x2 - seg.x1;
  const double dy = seg.y2 - seg.y1;
  if (dx == 0.0 && dy == 0.0) {
    return (std::fabs(p.x - seg.x1) <= b && std::fabs(p.y - seg.y1) <= b) ? 1 : 0;
  }
  double delta = dy;
  double along = p.y - seg.y1;
  if (std::fabs(dx) >= std::fabs(dy)) {
    delta = dx;
    along = p.x - seg.x1;
    if (std::fabs(dy) < 0.001 * e.contTol) {
      if ((p.x < seg.x1 - b && p.x < seg.x2 - b) || (p.x > seg.x1 + b && p.x > seg.x2 + b)) {
        return 0;
      }
    }
  }
  const double steps = 1.0 + std::floor(0.1 * std::fabs(delta));
  const double h = steps * along / delta;
  return (h >= -b && h <= steps + b) ? 1 : 0;
}

int isectPointOnArc(const Point2D& p, const ContourElement& arc) {
  if (std::fabs(arc.radius) < kMinArcRadius) return 0;
  double s = isectAngle(arc, contArcStart(arc));
  double e = isectAngle(arc, contArcEnd(arc));
  if (arc.dir < 0) std::swap(s, e);
  if (e < s) e += kTwoPi;
  double c = std::atan2(p.y - arc.p1, p.x - arc.p0);
  if (c < -kWindowSlack) c += kTwoPi;
  if (s - c > kWindowSlack) c += kTwoPi;
  return (arc.radius * (c - s) > -kWindowSlack && arc.radius * (e - c) > -kWindowSlack) ? 1 : 0;
}

int isectAngleInWindow(const Point2D& p, const ContourElement& arc, double a, double b) {
  double c = std::atan2(p.y - arc.p1, p.x - arc.p0);
  if (c < -kWindowSlack) c += kTwoPi;
  if (a - c > kWindowSlack) c += kTwoPi;
  return (c - a > -kWindowSlack && b - c > -kWindowSlack) ? 1 : 0;
}

int isectCircleCircle(const ContourElement& a, const ContourElement& b, Point2D out[2]) {
  const double tol = pockEngine().isectTol;
  const Point2D c1 = contArcCentre(a), c2 = contArcCentre(b);
  const double r1 = a.radius, r2 = b.radius;
  const double dx = c2.x - c1.x;
  const double dy = c2.y - c1.y;
  const double d2 = dx * dx + dy * dy;
  if (d2 < tol) return std::fabs(r2 - r1) < tol ? -1 : 0;
  const double d = std::sqrt(d2);
  if (d >= r1 + r2 + tol) return 0;
  if (std::fabs(d - (r1 + r2)) < tol) {  // touching from outside
    out[0] = Point2D{c1.x + r1 * dx / d, c1.y + r1 * dy / d};
    return 1;
  }
  if (d <= std::fabs(r2 - r1) - tol) return 0;  // one inside the other
  if (r1 > r2) {
    if (std::fabs(r2 - r1 + d) < tol) {
      out[0] = Point2D{c1.x + r1 * dx / d, c1.y + r1 * dy / d};
      return 1;
    }
  } else if (std::fabs(d - (r2 - r1)) < tol) {
    out[0] = Point2D{c2.x - r2 * dx / d, c2.y - r2 * dy / d};
    return 1;
  }
  if (std::fabs(dy) < tol) {  // vertical radical line
    const double x = (r2 * r2 - r1 * r1 + c1.x * c1.x - c2.x * c2.x) / (-2.0 * dx);
    const double sq = r1 * r1 - (x - c1.x) * (x - c1.x);
    const double s = sq < 0.0 ? 0.0 : std::sqrt(sq);
    out[0] = Point2D{x, c1.y - s};
    if (s < tol) return 1;
    out[1] = Point2D{x, c1.y + s};
    return 2;
  }
  // Along the radical line: its foot on the line of centres at the distance f from c1, and the
  // half chord h on either side.
  const double f = (d2 + r1 * r1 - r2 * r2) / (2.0 * d);
  const double hh = r1 * r1 - f * f;
  const double h = hh < 0.0 ? 0.0 : std::sqrt(hh);
  const Point2D foot{c1.x + f * dx / d, c1.y + f * dy / d};
  Point2D p{foot.x - h * dy / d, foot.y + h * dx / d};
  Point2D q{foot.x + h * dy / d, foot.y - h * dx / d};
  if (q.x < p.x) std::swap(p, q);
  out[0] = p;
  if (h < tol) return 1;
  out[1] = q;
  return 2;
}

int isectLineCircle(const Seg2D& seg, const ContourElement& arc, Point2D out[2]) {
  const double tol = pockEngine().isectTol;
  const double mx = arc.p0, my = arc.p1, r = arc.radius;
  const double dist = isectPointSegDistance(mx, my, seg);
  if (dist > r + tol) return 0;
  if (std::fabs(dist - r) < tol) {
    double fx = 0.0, fy = 0.0;
    isectFootOnLine(seg, mx, my, &fx, &fy);
    out[0] = Point2D{fx, fy};
    return 1;
  }
  const double x0 = seg.x1, y0 = seg.y1, x1 = seg.x2, y1 = seg.y2;
  if (std::fabs(x0 - x1) < tol) {  // vertical line
    const double e = r * r - (x0 - mx) * (x0 - mx);
    if (e < 0.0) return 0;
    const double se = std::sqrt(e);
    out[0] = Point2D{x0, my - se};
    if (se < tol) return 1;
    out[1] = Point2D{x1, my + se};
    return 2;
  }
  const double m = (y1 - y0) / (x1 - x0);
  const double k = (y1 * x0 - x1 * y0) / (x0 - x1);
  const double g = m * mx - my + k;
  const double disc = r * r * (m * m + 1.0) - g * g;
  if (disc < 0.0) return 0;
  const double sd = std::sqrt(disc);
  const double xa = ((my - k) * m + mx - sd) / (m * m + 1.0);
  const double xb = ((my - k) * m + mx + sd) / (m * m + 1.0);
  if (std::fabs(m) < tol) {  // nearly horizontal: y interpolated along the segment
    auto yAt = [&](double x) {
      const double w = std::fabs(x0 - x) / (std::fabs(x1 - x) + std::fabs(x0 - x));
      return w * y1 + (1.0 - w) * y0;
    };
    out[0] = Point2D{xa, yAt(xa)};
    if (sd < tol) return 1;
    out[1] = Point2D{xb, yAt(xb)};
    return 2;
  }
  // The y values from the quadratic in y of the same cut; its discriminant is m^2 times disc.
  const double discY = m * m * disc;
  if (discY < 0.0) return 0;
  const double sy = std::sqrt(discY);
  const double mid = k + m * mx + m * m * my;
  const double yLow = (mid - sy) / (m * m + 1.0);
  const double yHigh = (mid + sy) / (m * m + 1.0);
  out[0] = Point2D{xa, m > 0.0 ? yLow : yHigh};
  out[1] = Point2D{xb, m > 0.0 ? yHigh : yLow};
  return 2;
}

int isectSegmentCircle(const Seg2D& seg, const ContourElement& arc, Point2D out[2]) {
  const int n = isectLineCircle(seg, arc, out);
  if (n == 0) return 0;
  return isectKeepPoints(n, out,
                         [&](const Point2D& p) { return isectPointOnSegment(p, seg) == 1; });
}

int isectLineArc(const Seg2D& seg, const ContourElement& arc, Point2D out[2]) {
  const int n = isectLineCircle(seg, arc, out);
  if (n == 0) return 0;
  return isectKeepPoints(n, out, [&](const Point2D& p) {
    return isectPointOnSegment(p, seg) == 1 && isectPointOnArc(p, arc) == 1;
  });
}

int isectArcArc(const ContourElement& a, const ContourElement& b, Point2D out[2]) {
  double aS = 0.0, aE = 0.0, bS = 0.0, bE = 0.0;
  isectWindow(a, &aS, &aE);
  isectWindow(b, &bS, &bE);
  const int n = isectCircleCircle(a, b, out);
  if (n == 0) return 0;
  if (n > 0) {
    return isectKeepPoints(n, out, [&](const Point2D& p) {
      return isectPointOnArc(p, a) == 1 && isectPointOnArc(p, b) == 1;
    });
  }
  // One circle: compare the windows, b's lifted to start at or after a's start.
  if (bS < aS) {
    bS += kTwoPi;
    bE += kTwoPi;
  }
  int k = 0;
  if (std::fabs(bS - aE) < kWindowSlack) out[k++] = b.dir > 0 ? contArcStart(b) : contArcEnd(b);
  if (std::fabs(bE - (aS + kTwoPi)) < kWindowSlack)
    out[k++] = b.dir > 0 ? contArcEnd(b) : contArcStart(b);
  const double tol = pockEngine().contTol;
  if (k == 2) return 2;
  if (k == 1) return (bS >= aE - tol && bE <= aS + kTwoPi + tol) ? 1 : -3;
  if (bS < aE && bE > aS + kTwoPi) return -4;
  if (bS > aE && bE < aS + kTwoPi) return 0;
  return -2;
}

int isectArcArcPoints(const ContourElement& a, const ContourElement& b, Point2D out[2]) {
  const int n = isectCircleCircle(a, b, out);
  if (n == 0) return 0;
  if (n == -1) return -2;
  double aS = 0.0, aE = 0.0;
  isectWindow(a, &aS, &aE);
  auto inWindow = [&](const Point2D& p) { return isectAngleInWindow(p, a, aS, aE) == 1; };
  if (n == 1) {
    auto nearEnd = [&](const Point2D& q) {
      return std::fabs(out[0].x - q.x) < kTangentEndTol &&
             std::fabs(out[0].y - q.y) < kTangentEndTol;
    };
    return (inWindow(out[0]) || nearEnd(contArcEnd(a)) || nearEnd(contArcStart(a))) ? -1 : 0;
  }
  const int kept = isectKeepPoints(2, out, inWindow);
  if (kept == 2) {
    const double d = contDistance(contArcCentre(a), contArcCentre(b));
    if (std::fabs(d - (a.radius + b.radius)) < 0.0001) {
      out[0] = Point2D{(out[0].x + out[1].x) / 2.0, (out[0].y + out[1].y) / 2.0};
      return -1;
    }
  }
  return kept;
}

int isectElements(const ContourElement& a, const ContourElement& b, Point2D out[2]) {
  if (a.type == kContLine && b.type == kContLine)
    return isectSegments(contElemSeg(a), contElemSeg(b), out);
  if (a.type == kContLine && b.type == kContArc) return isectLineArc(contElemSeg(a), b, out);
  if (a.type == kContArc && b.type == kContLine) return isectLineArc(contElemSeg(b), a, out);
  if (a.type == kContArc && b.type == kContArc) return isectArcArc(a, b, out);
  return 0;
}
