// vec.cpp - 3D vector measures, 2D segment measures, intersections, winding and orientation of
// segment chains, torus functions of the drop-cutter code and two line-oriented text helpers.
#include "geometry/vec.h"

#include <charconv>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <utility>

namespace {
constexpr double kEps = 1e-5;        // equal points, degenerate segments, products, determinants
constexpr double kNear = 0.0001;     // g2dNearlyEqual and touching collinear ends
constexpr double kDirMin = 1e-7;     // shortest segment that has a direction
constexpr double kStraight = 0.005;  // turn direction: cross product counted as straight on
constexpr double kFullTurn = 0.01;   // winding: angle sum that counts as a turn
constexpr double kAngleEps = 1e-13;  // zero coordinate and wrap-around slack of angles
constexpr double kTwoPi = 2.0 * M_PI;

bool g2dSegDegenerate(const Seg2D& s) {
  return std::fabs(s.x1 - s.x2) < kEps && std::fabs(s.y1 - s.y2) < kEps;
}

// Reads a double as the C library would after the letter (leading blanks skipped, optional
// sign), independent of the host's locale; 0 when no number follows.
double g2dParseNumber(const char* s) {
  while (*s == ' ' || *s == '\t' || *s == '\n' || *s == '\v' || *s == '\f' || *s == '\r') ++s;
  bool negative = false;
  if (*s == '+' || *s == '-') {
    negative = (*s == '-');
    ++s;
    if (*s == '+' || *s == '-') return 0.0;
  }
  double v = 0.0;
  const char* end = s + std::strlen(s);
  const auto res = std::from_chars(s, end, v, std::chars_format::general);
  if (res.ec != std::errc()) return 0.0;
  return negative ? -v : v;
}
}  // namespace

// ---- 3D vectors -------------------------------------------------------------------------------

double vecLength(const Point3D& v) { return std::sqrt(v.x * v.x + v.y * v.y + v.z * v.z); }

double vecDistance(const Point3D& a, const Point3D& b) {
  return vecLength(Point3D{a.x - b.x, a.y - b.y, a.z - b.z});
}

double vecCrossLength(const Point3D& a, const Point3D& b) { return vecLength(vecCross(a, b)); }

int vecCrossUnit(const Point3D& a, const Point3D& b, Point3D* out) {
  const Point3D c = vecCross(a, b);
  *out = c;
  const double len = vecLength(c);
  if (len < kEps) return -1;
  *out = Point3D{c.x / len, c.y / len, c.z / len};
  return 0;
}

double vecAcosClamped(double x) {
  if (x > 1.0) x = 1.0;
  if (x < -1.0) x = -1.0;
  return std::acos(x);
}

double vecSqrtClamped(double x) { return x < 0.0 ? 0.0 : std::sqrt(x); }

// ---- 2D basics --------------------------------------------------------------------------------

double g2dDistance(const Point2D& a, const Point2D& b) {
  const double dx = a.x - b.x;
  const double dy = a.y - b.y;
  return std::sqrt(dx * dx + dy * dy);
}

double g2dLength(const Point2D& v) { return std::sqrt(v.x * v.x + v.y * v.y); }

double g2dDot(const Point2D& a, const Point2D& b) { return a.x * b.x + a.y * b.y; }

void g2dScaleVector(double f, const Point2D& v, Point2D* out) { *out = Point2D{f * v.x, f * v.y}; }

int g2dAddVector(const Point2D& p, const Point2D& v, Point2D* out, int sign) {
  if (sign == 1) {
    *out = Point2D{p.x + v.x, p.y + v.y};
    return 1;
  }
  if (sign == -1) {
    *out = Point2D{p.x - v.x, p.y - v.y};
    return 1;
  }
  return 0;
}

int g2dNearlyEqual(double a, double b) { return std::fabs(a - b) < kNear ? 1 : 0; }

double g2dAngle(double y, double x) {
  if (std::fabs(x) < kAngleEps) {
    if (std::fabs(y) < kAngleEps) return 0.0;
    return y >= kAngleEps ? M_PI / 2.0 : 3.0 * M_PI / 2.0;
  }
  const double a = std::atan(y / x);
  if (x < 0.0) return a + M_PI;
  if (y < 0.0) return a + kTwoPi;
  return a;
}

double g2dTurnAngle(double x0, double y0, double x1, double y1, double x2, double y2) {
  const double ux = x1 - x0, uy = y1 - y0;
  const double wx = x2 - x1, wy = y2 - y1;
  const double c = ux * wy - uy * wx;
  if (c == 0.0) return 0.0;
  double r = g2dAngle(wy, wx) - g2dAngle(uy, ux);
  if (c > 0.0 && r < -kAngleEps) r += kTwoPi;
  if (c < 0.0 && r > kAngleEps) r -= kTwoPi;
  return r;
}

int g2dSegDirection(const Seg2D& seg, Point2D* out) {
  const double dx = seg.x2 - seg.x1, dy = seg.y2 - seg.y1;
  const double len = std::sqrt(dx * dx + dy * dy);
  if (len < kDirMin) return 0;
  *out = Point2D{dx / len, dy / len};
  return 1;
}

int g2dSegNormal(const Seg2D& seg, Point2D* out, int side) {
  Point2D d;
  if (g2dSegDirection(seg, &d) == 0) return 0;
  *out = side == 1 ? Point2D{-d.y, d.x} : Point2D{d.y, -d.x};
  return 1;
}

void g2dSetSegEnd(Seg2D* seg, const Point2D& p, int which) {
  if (which == 1) {
    seg->x1 = p.x;
    seg->y1 = p.y;
  } else {
    seg->x2 = p.x;
    seg->y2 = p.y;
  }
}

int g2dSegPoint(const Seg2D& seg, Point2D* out, int sel) {
  switch (sel) {
    case 1: *out = g2dSegStart(seg); return 1;
    case 2: *out = g2dSegEnd(seg); return 1;
    case 3: *out = Point2D{(seg.x1 + seg.x2) / 2.0, (seg.y1 + seg.y2) / 2.0}; return 1;
    default: return 0;
  }
}

// ---- 2D point against segment -----------------------------------------------------------------

int g2dSegFoot(const Seg2D& seg, double px, double py, double* outX, double* outY) {
  const double dx = seg.x1 - seg.x2, dy = seg.y1 - seg.y2;
  const double len2 = dx * dx + dy * dy;
  if (len2 < kEps) return 0;
  const double t = ((px - seg.x2) * dx + (py - seg.y2) * dy) / len2;
  *outX = seg.x2 + t * dx;
  *outY = seg.y2 + t * dy;
  return 1;
}

int g2dPointInSegBox(const Point2D& p, const Seg2D& seg) {
  if (g2dSegDegenerate(seg)) {
    return (std::fabs(seg.x1 - p.x) < kEps && std::fabs(seg.y1 - p.y) < kEps) ? 1 : 0;
  }
  if (std::fabs(seg.x1 - p.x) < kEps && std::fabs(seg.y1 - p.y) < kEps) return 1;
  if (std::fabs(seg.x2 - p.x) < kEps && std::fabs(seg.y2 - p.y) < kEps) return 1;
  // The tolerance bounds the products, not the coordinates.
  if ((seg.x1 - p.x) * (seg.x2 - p.x) < kEps && (seg.y1 - p.y) * (seg.y2 - p.y) < kEps) return 1;
  return 0;
}

double g2dPointSegNearest(const Point2D& p, const Seg2D& seg, Point2D* out) {
  Point2D nearest = g2dSegStart(seg);
  if (!g2dSegDegenerate(seg)) {
    Point2D foot = nearest;
    if (g2dSegFoot(seg, p.x, p.y, &foot.x, &foot.y) == 0) foot = g2dSegStart(seg);
    if (g2dPointInSegBox(foot, seg) == 1) {
      nearest = foot;
    } else {
      const Point2D s = g2dSegStart(seg), e = g2dSegEnd(seg);
      nearest = g2dDistance(p, s) < g2dDistance(p, e) ? s : e;  // a tie goes to the end
    }
  }
  if (out != nullptr) *out = nearest;
  return g2dDistance(p, nearest);
}

double g2dPointSegDist(const Point2D& p, const Seg2D& seg) {
  return g2dPointSegNearest(p, seg, nullptr);
}

double g2dPointLineDist(double px, double py, const Seg2D& seg) {
  double fx = seg.x1, fy = seg.y1;
  g2dSegFoot(seg, px, py, &fx, &fy);
  return g2dDistance(Point2D{px, py}, Point2D{fx, fy});
}

double g2dNearestSegPoint(const Point2D& p, const Seg2D* segs, int n, int* outIndex,
                          Point2D* outPoint) {
  double best = 1e10;
  int bestIndex = 0;
  if (segs != nullptr) {
    for (int i = 0; i < n; ++i) {
      Point2D q;
      const double d = g2dPointSegNearest(p, segs[i], &q);
      if (i == 0 || d < best) {
        best = d;
        bestIndex = i;
        if (outPoint != nullptr) *outPoint = q;
      }
    }
  }
  if (outIndex != nullptr) *outIndex = bestIndex;
  return best;
}

double g2dNearestSeg(const Point2D& p, const Seg2D* segs, int n, int* outIndex) {
  return g2dNearestSegPoint(p, segs, n, outIndex, nullptr);
}

// ---- 2D intersections -------------------------------------------------------------------------

int g2dSegIsectDegenerate(const Seg2D& a, const Seg2D& b, Point2D* out) {
  const bool aPoint = g2dSegDegenerate(a), bPoint = g2dSegDegenerate(b);
  if (aPoint && bPoint) {
    if (std::fabs(a.x1 - b.x1) < kEps && std::fabs(a.y1 - b.y1) < kEps) {
      *out = g2dSegStart(a);
      return 1;
    }
    return 0;
  }
  if (aPoint) {
    if (g2dPointSegDist(g2dSegStart(a), b) < kEps) {
      *out = g2dSegStart(a);
      return 1;
    }
    return 0;
  }
  if (bPoint) {
    if (g2dPointSegDist(g2dSegStart(b), a) < kEps) {
      *out = g2dSegStart(b);
      return 1;
    }
    return 0;
  }
  return 0;
}

int g2dLineIsect(const Seg2D& a, const Seg2D& b, Point2D* out) {
  if (g2dSegDegenerate(a) || g2dSegDegenerate(b)) return g2dSegIsectDegenerate(a, b, out);
  const double dxa = a.x2 - a.x1, dya = a.y2 - a.y1;
  const double dxb = b.x2 - b.x1, dyb = b.y2 - b.y1;
  const double la = std::sqrt(dxa * dxa + dya * dya);
  const double lb = std::sqrt(dxb * dxb + dyb * dyb);
  if (la < kEps || lb < kEps) return 0;
  const double nax = dya / la, nay = -dxa / la;
  const double nbx = dyb / lb, nby = -dxb / lb;
  const double ca = nax * a.x1 + nay * a.y1;
  const double cb = nbx * b.x1 + nby * b.y1;
  const double det = nax * nby - nbx * nay;
  const double numX = ca * nby - cb * nay;
  const double numY = nax * cb - ca * nbx;
  if (std::fabs(det) >= kEps) {
    *out = Point2D{numX / det, numY / det};
    return 1;
  }
  if (std::fabs(numX) < kEps && std::fabs(numY) < kEps) return -1;
  return 0;
}

int g2dSegIsect(const Seg2D& a, const Seg2D& b, Point2D* out) {
  *out = Point2D{0.0, 0.0};
  Point2D p{0.0, 0.0};
  const int line = g2dLineIsect(a, b, &p);
  if (line == 0) return 0;
  if (line == 1) {
    if (g2dPointInSegBox(p, a) == 1 && g2dPointInSegBox(p, b) == 1) {
      *out = p;
      return 1;
    }
    return 0;
  }
  // The same line: compare along the axis of a's larger extent.
  const bool alongX = std::fabs(a.y2 - a.y1) <= std::fabs(a.x2 - a.x1);
  auto key = [alongX](const Point2D& q) { return alongX ? q.x : q.y; };
  Point2D aLow = g2dSegStart(a), aHigh = g2dSegEnd(a);
  if (key(aHigh) < key(aLow)) std::swap(aLow, aHigh);
  Point2D bLow = g2dSegStart(b), bHigh = g2dSegEnd(b);
  if (key(bHigh) < key(bLow)) std::swap(bLow, bHigh);
  if (std::fabs(key(aLow) - key(bHigh)) < kNear) {
    *out = aLow;
    return 1;
  }
  if (g2dNearlyEqual(key(bLow), key(aHigh)) == 1) {
    *out = bLow;
    return 1;
  }
  if (key(aLow) <= key(bHigh) && key(bLow) <= key(aHigh)) return -1;
  return 0;
}

int g2dLineCircleIsect(const Seg2D& seg, const Circle2D& circle, Point2D* p1, Point2D* p2) {
  if (g2dSegDegenerate(seg)) return 0;
  const double cx = circle.centre.x, cy = circle.centre.y, r = circle.radius;
  const double delta = g2dPointLineDist(cx, cy, seg);
  if (delta > r + kEps) return 0;
  if (std::fabs(delta - r) < kEps) {
    double fx = 0.0, fy = 0.0;
    if (g2dSegFoot(seg, cx, cy, &fx, &fy) == 0) return 0;
    *p1 = Point2D{fx, fy};
    return 1;
  }
  if (std::fabs(seg.x1 - seg.x2) < kEps) {  // near-vertical line x = x1
    const double rad = r * r - (seg.x1 - cx) * (seg.x1 - cx);
    if (rad < 0.0) return 0;
    const double s = std::sqrt(rad);
    *p1 = Point2D{seg.x1, cy - s};
    if (s < kEps) return 1;
    *p2 = Point2D{seg.x2, cy + s};
    return 2;
  }
  const double m = (seg.y2 - seg.y1) / (seg.x2 - seg.x1);
  const double b = (seg.x1 * seg.y2 - seg.x2 * seg.y1) / (seg.x1 - seg.x2);
  const double t = (cy - b) * m + cx;
  const double radX = r * r * (m * m + 1.0) - (m * cx - cy + b) * (m * cx - cy + b);
  if (radX < 0.0) return 0;
  const double s = std::sqrt(radX);
  const double xA = (t - s) / (m * m + 1.0);
  const double xB = (t + s) / (m * m + 1.0);
  if (std::fabs(m) < kEps) {
    *p1 = Point2D{xA, b};
    if (s < kEps) return 1;
    *p2 = Point2D{xB, b};
    return 2;
  }
  // The y values are solved on their own, relative to the intercept b.
  const double w = 1.0 / m;
  const double h = w * cx + (cy - b);
  const double radY = (w * w + 1.0) * r * r - (w * (cy - b) - cx) * (w * (cy - b) - cx);
  if (radY < 0.0) return 0;
  const double s2 = std::sqrt(radY);
  const double yMinus = (h - s2) / (w * w + 1.0);
  const double yPlus = (h + s2) / (w * w + 1.0);
  if (m > 0.0) {
    *p1 = Point2D{xA, b + yMinus};
    *p2 = Point2D{xB, b + yPlus};
  } else {
    *p1 = Point2D{xA, b + yPlus};
    *p2 = Point2D{xB, b + yMinus};
  }
  return 2;
}

int g2dSegCircleIsect(const Seg2D& seg, const Circle2D& circle, Point2D out2[2]) {
  Point2D p1{0.0, 0.0}, p2{0.0, 0.0};
  const int n = g2dLineCircleIsect(seg, circle, &p1, &p2);
  if (n == 0) return 0;
  if (n == 1) return g2dPointInSegBox(p1, seg) == 1 ? -1 : 0;
  const bool in1 = g2dPointInSegBox(p1, seg) == 1;
  const bool in2 = g2dPointInSegBox(p2, seg) == 1;
  if (in1 && in2) {
    out2[0] = p1;
    out2[1] = p2;
    return 2;
  }
  if (in2) {
    out2[0] = p2;
    return 1;
  }
  if (in1) {
    out2[0] = p1;
    return 1;
  }
  return 0;
}

// ---- closed segment chains --------------------------------------------------------------------

int g2dSegChainOrientation(const Seg2D* segs, int n) {
  if (segs == nullptr || n <= 1) return 0;
  double sum = 0.0;
  for (int i = 0; i < n; ++i) {
    const Seg2D& prev = segs[(i + n - 1) % n];
    const Seg2D& next = segs[(i + 1) % n];
    sum += segs[i].x1 * (next.y1 - prev.y1);
  }
  if (std::fabs(sum) < kEps) return 0;
  return sum < 0.0 ? -1 : 1;
}

int g2dWinding(const Seg2D* segs, int n, const Point2D& p) {
  if (segs == nullptr || n <= 0) return 0;
  double sum = 0.0;
  for (int i = 0; i < n; ++i) {
    // The angle the segment subtends at p: the turn from (start - p) to (end - p).
    const double sx = segs[i].x1 - p.x, sy = segs[i].y1 - p.y;
    const double ex = segs[i].x2 - p.x, ey = segs[i].y2 - p.y;
    sum += g2dTurnAngle(0.0, 0.0, sx, sy, sx + ex, sy + ey);
  }
  if (sum < -kFullTurn) return -1;
  if (sum > kFullTurn) return 1;
  return 0;
}

int g2dChainClosed(const Seg2D* segs, int n) {
  if (segs == nullptr || n <= 0) return 0;
  return (std::fabs(segs[0].x1 - segs[n - 1].x2) < kEps &&
          std::fabs(segs[0].y1 - segs[n - 1].y2) < kEps)
             ? 1
             : 0;
}

int g2dTurnDirection(const Seg2D& a, const Seg2D& b, int* outTurn) {
  Point2D da, db;
  if (g2dSegDirection(a, &da) == 0 || g2dSegDirection(b, &db) == 0) return 0;
  const double c = da.x * db.y - da.y * db.x;
  if (std::fabs(c) < kStraight) {
    *outTurn = g2dDot(da, db) < 0.0 ? -2 : 0;
  } else {
    *outTurn = c > 0.0 ? 1 : -1;
  }
  return 1;
}

// ---- text functions ---------------------------------------------------------------------------

int g2dFileLineCount(const char* name) {
  if (name == nullptr || name[0] == '\0' || name[0] == ' ') return -1;
  std::FILE* f = std::fopen(name, "r");
  if (f == nullptr) return -1;
  char piece[129];  // pieces of at most 128 characters
  int count = 0;
  while (std::fgets(piece, sizeof piece, f) != nullptr) ++count;
  std::fclose(f);
  return count;
}

int g2dReadLetterValue(char letter, const char* line, double* out) {
  if (line == nullptr || out == nullptr || letter == '\0') return 0;
  const char* at = std::strchr(line, letter);
  if (at == nullptr) return 0;
  const char next = at[1];
  if (!((next >= '0' && next <= '9') || next == '-' || next == ' ')) return 0;
  *out = g2dParseNumber(at + 1);
  return 1;
}

// ---- torus ------------------------------------------------------------------------------------

double vecTorusHeight(double a, double r, double R, double d) {
  const double rho = std::sqrt(a * a + d * d);
  const double rad = r * r - (R - rho) * (R - rho);
  if (rad < 0.0) return 0.0;
  return -std::sqrt(rad);
}

namespace {
// Slope of the torus surface along the line at lateral distance h, minus the wanted slope s.
double vecTorusSlope(double x, double r, double R, double h, double s) {
  const double rho = std::sqrt(h * h + x * x);
  return -x * (R - rho) / (rho * std::sqrt(r * r - (R - rho) * (R - rho))) - s;
}
}  // namespace

int vecTorusContact(double* out, double r, double R, double h, double s) {
  constexpr double kTol = 0.001;
  constexpr double kInset = 1e-6;
  // A line that misses the tube (or a tube without radius) has no bracket; without this the
  // bisection below would run on NaN values and never end.
  const double outer = (R + r) * (R + r) - h * h;
  if (!(r > 0.0) || !(outer > 0.0)) return -1;
  double lo = (h > R ? 0.0 : std::sqrt(R * R - h * h)) + kInset;
  double hi = std::sqrt(outer) - kInset;
  double fLo = vecTorusSlope(lo, r, R, h, s);
  const double fHi = vecTorusSlope(hi, r, R, h, s);
  if (!std::isfinite(fLo) || !std::isfinite(fHi)) return -1;
  if (std::fabs(fLo) < kTol) {
    *out = lo;
    return 0;
  }
  if (std::fabs(fHi) < kTol) {
    *out = hi;
    return 0;
  }
  if (fLo * fHi > 0.0) return -1;
  // A bounded number of halvings: the interval shrinks below 0.001 long before.
  for (int step = 0; step < 200 && hi - lo > kTol; ++step) {
    const double mid = (lo + hi) / 2.0;
    const double fMid = vecTorusSlope(mid, r, R, h, s);
    if (std::fabs(fMid) < kTol) {
      *out = mid;
      return 0;
    }
    if ((fMid < 0.0) == (fLo < 0.0)) {
      lo = mid;
      fLo = fMid;
    } else {
      hi = mid;
    }
  }
  *out = lo;
  return 0;
}
