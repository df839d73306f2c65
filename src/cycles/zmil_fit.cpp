// zmil_fit.cpp - fitting lines and arcs to a chain of segments: the greedy choice between the
// longest straight run and the longest arc run from each segment, and the full circle at the
// chain's end.
#include "cycles/zmil_fit.h"

#include <cmath>
#include <cstdio>
#include <memory>
#include <numbers>
#include <source_location>

#include "geometry/geo_error.h"
#include "geometry/plane_geo.h"

namespace {

struct ZmilState {
  double maxSegment = kZmilMaxSegmentDefault;
};
ZmilState zmilState;

// A line run turns by at most half a radian at each joint.
constexpr double kZmilStraightLow = 2.641592653589793;
constexpr double kZmilStraightHigh = 3.641592653589793;
constexpr double kZmilMaxRadius = 1000.0;

int zmilFail(int code, std::source_location at = std::source_location::current()) {
  geoErrSet(code, "Zmilqdx", static_cast<int>(at.line()));
  return code;
}

Point2D zmilStart(const Seg2D& s) { return {s.x1, s.y1}; }
Point2D zmilEnd(const Seg2D& s) { return {s.x2, s.y2}; }
double zmilLength(const Seg2D& s) { return std::hypot(s.x2 - s.x1, s.y2 - s.y1); }

int zmilAppendLine(LineArcList* list, const Point2D& a, const Point2D& b) {
  LineArcElem e{};
  e.kind = 1;
  e.arc.sx = a.x;
  e.arc.sy = a.y;
  e.arc.ex = b.x;
  e.arc.ey = b.y;
  return lstElemAppend(list, e) < 0 ? zmilFail(-1) : 1;
}

int zmilAppendArc(LineArcList* list, const Arc2D& arc) {
  LineArcElem e{};
  e.kind = 2;
  e.arc = arc;
  return lstElemAppend(list, e) < 0 ? zmilFail(-1) : 1;
}

// The longest straight run from segment r: its number of segments (at least 1) in *count and its
// end in *end. Returns 1; -1 for a degenerate line.
int zmilLineRun(const Seg2D* s, int r, int end, double t, int* count, Point2D* lineEnd) {
  const double maxLen = zmilState.maxSegment;
  Point2D candStart = zmilStart(s[r]);
  Point2D candEnd = zmilEnd(s[r]);
  *count = 1;
  for (int p = r + 1; p < end; ++p) {
    const Point2D pe = zmilEnd(s[p]);
    double angle = 0;
    geoAngleBetween(candStart, candEnd, pe, 1, &angle);
    if (angle < kZmilStraightLow || angle > kZmilStraightHigh) break;
    const Seg2D line{candStart.x, candStart.y, pe.x, pe.y};
    double a = 0, b = 0, c = 0;
    if (geoLineEq(line, &a, &b, &c) != 1) return zmilFail(-1);
    bool off = zmilLength(line) > maxLen;
    for (int i = r; i < p && !off; ++i) {
      off = std::fabs(a * s[i].x2 + b * s[i].y2 + c) > t;
    }
    if (off) break;
    candEnd = pe;
    *count = p - r + 1;
  }
  *lineEnd = candEnd;
  return 1;
}

// The longest arc run from segment r: its number of segments (0 when none) and the arc.
int zmilArcRun(const Seg2D* s, int r, int end, double t, Arc2D* best) {
  if (std::fabs(t) < 0.00001) return 0;
  int count = 0;
  for (int q = 1; r + q < end; ++q) {
    const Point2D p0 = zmilStart(s[r]);
    const Point2D p1 = zmilEnd(s[r + q / 2]);
    const Point2D p2 = zmilEnd(s[r + q]);
    Arc2D arc{};
    if (geoCircleThrough3(p0, p1, p2, &arc) != 1) break;
    const double cross = (p1.x - p0.x) * (p2.y - p1.y) - (p1.y - p0.y) * (p2.x - p1.x);
    arc.dir = cross > 0 ? 1 : -1;
    arc.sx = p0.x;
    arc.sy = p0.y;
    arc.ex = p2.x;
    arc.ey = p2.y;
    double sum = 0, shortest = 1e300, longest = 0;
    for (int i = r; i <= r + q; ++i) {
      const double l = zmilLength(s[i]);
      sum += l;
      shortest = std::fmin(shortest, l);
      longest = std::fmax(longest, l);
    }
    if (sum <= 0 || std::fabs(1 - geoArcLength(arc) / sum) > 0.05 || 3 * shortest < longest) break;
    const Point2D centre{arc.cx, arc.cy};
    double sweep = 0;
    geoAngleBetween(p0, centre, p2, arc.dir, &sweep);
    if (sweep >= kZmilMaxSweep) break;
    const double ref = geoPseudoAngle(p0.x - centre.x, p0.y - centre.y, 0.0, arc.dir);
    const double endAngle = geoPseudoAngle(p2.x - centre.x, p2.y - centre.y, ref, arc.dir);
    bool off = false;
    for (int i = r; i < r + q && !off; ++i) {
      const Point2D w = zmilEnd(s[i]);
      const double d = geoDist2D(w, centre);
      const double pw = geoPseudoAngle(w.x - centre.x, w.y - centre.y, ref, arc.dir);
      const double dev = pw < endAngle ? std::fabs(arc.radius - d) / 2 : (d + arc.radius) / 2;
      off = dev > t;
    }
    if (off) break;
    *best = arc;
    count = q + 1;
  }
  if (count > 0 && best->radius > kZmilMaxRadius) return 0;
  return count;
}

// A closed loop k..n-1 at the chain's end that is a circle within t: 1 with k and the circle.
int zmilEndCircle(const Seg2D* s, int n, double t, int* loopStart, Arc2D* circle) {
  const Point2D last = zmilEnd(s[n - 1]);
  int k = -1;
  for (int i = n - 2; i >= 0; --i) {
    if (geoDist2DSq(zmilStart(s[i]), last) < 1e-6) {
      k = i;
      break;
    }
  }
  if (k < 0 || n - k < 10) return 0;
  double twiceArea = 0, length = 0, cxSum = 0, cySum = 0;
  for (int i = k; i < n; ++i) {
    const Point2D a = zmilStart(s[i]);
    const Point2D b = zmilStart(s[i + 1 < n ? i + 1 : k]);
    const double cr = a.x * b.y - b.x * a.y;
    twiceArea += cr;
    cxSum += (a.x + b.x) * cr;
    cySum += (a.y + b.y) * cr;
    length += zmilLength(s[i]);
  }
  const double area = twiceArea / 2;
  if (area == 0 || length <= 0) return 0;
  const double rArea = std::sqrt(std::fabs(area) / std::numbers::pi);
  const double rLength = length / (2 * std::numbers::pi);
  const double ratio = rArea / rLength;
  if (!(std::fabs(1 - ratio) < 0.001)) return 0;
  const Point2D centre{cxSum / (6 * area), cySum / (6 * area)};
  double mean = 0;
  for (int i = k; i < n; ++i) mean += geoDist2D(zmilStart(s[i]), centre);
  mean /= n - k;
  for (int i = k + 1; i < n - 1; ++i) {
    if (std::fabs(geoDist2D(zmilStart(s[i]), centre) - mean) > t) return 0;
  }
  Arc2D c{};
  c.cx = centre.x;
  c.cy = centre.y;
  c.radius = mean;
  c.dir = area > 0 ? 1 : -1;
  Point2D a{}, b{};
  if (geoPointToCircle(zmilEnd(s[k]), c, &a) != 1 ||
      geoPointToCircle(zmilStart(s[n - 1]), c, &b) != 1) {
    return 0;
  }
  c.sx = a.x;
  c.sy = a.y;
  c.ex = b.x;
  c.ey = b.y;
  if (geoDebugOn() != 0) {
    char text[256];
    std::snprintf(text, sizeof text,
                  "Circle found tstr1 = %lf, tstr2 = %lf, q = %lf, cp = (%lf,%lf), r = %lf", rArea,
                  rLength, ratio, centre.x, centre.y, mean);
    geoErrLog(text);
  }
  *loopStart = k;
  *circle = c;
  return 1;
}

// The circle as one arc, or as two when its sweep reaches kZmilMaxSweep.
int zmilAppendCircle(LineArcList* list, const Arc2D& c) {
  const Point2D start{c.sx, c.sy}, end{c.ex, c.ey}, centre{c.cx, c.cy};
  double sweep = 0;
  geoAngleBetween(start, centre, end, c.dir, &sweep);
  if (sweep < kZmilMaxSweep && geoDist2DSq(start, end) > 0) return zmilAppendArc(list, c);
  const Point2D mid{(start.x + end.x) / 2, (start.y + end.y) / 2};
  Point2D split{};
  Point2D p1{}, p2{};
  const Seg2D line{mid.x, mid.y, centre.x, centre.y};
  if (geoDist2D(mid, centre) > 1e-9 && geoSegCircleCut(line, c, &p1, &p2) == 2) {
    split = geoDist2DSq(p1, mid) >= geoDist2DSq(p2, mid) ? p1 : p2;
  } else {
    // Start and end opposite each other: the split lies a quarter turn on from the start.
    const double a0 =
        std::atan2(start.y - centre.y, start.x - centre.x) + c.dir * std::numbers::pi / 2;
    split = {centre.x + c.radius * std::cos(a0), centre.y + c.radius * std::sin(a0)};
  }
  Arc2D first = c, second = c;
  first.ex = split.x;
  first.ey = split.y;
  second.sx = split.x;
  second.sy = split.y;
  if (zmilAppendArc(list, first) != 1) return -1;
  return zmilAppendArc(list, second);
}

int zmilFit(const Seg2D* s, int n, double t, LineArcList* list) {
  int loopStart = n;
  Arc2D circle{};
  const bool hasCircle = zmilEndCircle(s, n, t, &loopStart, &circle) == 1;
  const int end = hasCircle ? loopStart : n;
  for (int r = 0; r < end;) {
    if (r == end - 1) {
      if (zmilAppendLine(list, zmilStart(s[r]), zmilEnd(s[r])) != 1) return -1;
      break;
    }
    int lineCount = 1;
    Point2D lineEnd{};
    if (zmilLineRun(s, r, end, t, &lineCount, &lineEnd) != 1) return -1;
    Arc2D arc{};
    int arcCount = zmilArcRun(s, r, end, t, &arc);
    if (arcCount < kZmilMinArcSegments) arcCount = 0;
    if (lineCount < arcCount) {
      if (zmilAppendArc(list, arc) != 1) return -1;
      r += arcCount;
    } else {
      if (zmilAppendLine(list, zmilStart(s[r]), lineEnd) != 1) return -1;
      r += lineCount;
    }
  }
  if (hasCircle) {
    if (zmilAppendLine(list, zmilStart(s[loopStart]), {circle.sx, circle.sy}) != 1) return -1;
    if (zmilAppendCircle(list, circle) != 1) return -1;
    if (zmilAppendLine(list, {circle.ex, circle.ey}, zmilEnd(s[n - 1])) != 1) return -1;
  }
  return 1;
}

}  // namespace

double zmilGetMaxSegment() { return zmilState.maxSegment; }
void zmilSetMaxSegment(double length) { zmilState.maxSegment = length; }

Kont2D* zmilSplitLongSegments(const Seg2D* segments, int n) {
  if (segments == nullptr || n < 0) return nullptr;
  Kont2D* k = kontNew(nullptr, n + 3);
  if (k == nullptr) return nullptr;
  const double maxLen = zmilState.maxSegment;
  for (int i = 0; i < n; ++i) {
    Seg2D rest = segments[i];
    double len = zmilLength(rest);
    // A piece count far beyond any chain means a length too small to cut by: keep the segment.
    const bool cut = maxLen > 0 && std::isfinite(len) && len / maxLen < 1e7;
    while (cut && len > maxLen) {
      const double f = maxLen / len;
      const Seg2D piece{rest.x1, rest.y1, rest.x1 + f * (rest.x2 - rest.x1),
                        rest.y1 + f * (rest.y2 - rest.y1)};
      if (kontAppendSeg(k, &piece) != 1) {
        kontFree(k);
        return nullptr;
      }
      rest.x1 = piece.x2;
      rest.y1 = piece.y2;
      len = zmilLength(rest);
    }
    if (kontAppendSeg(k, &rest) != 1) {
      kontFree(k);
      return nullptr;
    }
  }
  return k;
}

int zmilFitElements(const Seg2D* segments, int n, double tolerance, LineArcList* list) {
  if (segments == nullptr || n < 1 || list == nullptr) return zmilFail(-1);
  bool tooLong = false;
  for (int i = 0; i < n && !tooLong; ++i) tooLong = zmilLength(segments[i]) > zmilState.maxSegment;
  if (!tooLong) return zmilFit(segments, n, tolerance, list);
  Kont2D* split = zmilSplitLongSegments(segments, n);
  if (split == nullptr) return zmilFail(-1);
  const int r = zmilFit(split->segments, split->count, tolerance, list);
  kontFree(split);
  return r;
}

void zmilResetState() { zmilState = ZmilState{}; }
