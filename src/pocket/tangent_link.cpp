// tangent_link.cpp - arc-line-arc connecting moves between two cuts, built at the largest radius
// up to the one asked for that keeps the tool clear of the INPUT contours.
#include "pocket/tangent_link.h"

#include <cmath>

#include "framework/memory.h"
#include "pocket/contour_relate.h"
#include "pocket/contour_repair.h"
#include "pocket/engine_state.h"
#include "pocket/isect.h"
#include "pocket/layer_store.h"
#include "pocket/pock_geometry.h"

namespace {

// One work buffer for the contours read back from INPUT, kept for the run: the clearance tests
// run for every link and every halving of its radius.
struct TangentState {
  ContourElement* buffer = nullptr;
  int capacity = 0;
};
TangentState tangentState;

constexpr double kPointTol = 0.0001;
constexpr double kQuadTol = 0.00001;
constexpr double kClearSlack = 0.01;
constexpr double kShortArc = 0.01;

Point2D sub(const Point2D& a, const Point2D& b) { return Point2D{a.x - b.x, a.y - b.y}; }
Point2D add(const Point2D& a, const Point2D& b) { return Point2D{a.x + b.x, a.y + b.y}; }
Point2D mul(const Point2D& a, double s) { return Point2D{a.x * s, a.y * s}; }
double dot(const Point2D& a, const Point2D& b) { return a.x * b.x + a.y * b.y; }
double len(const Point2D& a) { return std::sqrt(dot(a, a)); }
// The vector turned by +90 degrees.
Point2D left(const Point2D& a) { return Point2D{-a.y, a.x}; }
Point2D right(const Point2D& a) { return Point2D{a.y, -a.x}; }

// The INPUT contour i in the work buffer; its element count, or -1 when the buffer cannot grow
// (code 3020 sent) and 0 when it cannot be read.
int readInput(int i) {
  ContourHeader h{};
  if (layerGetHeader("INPUT", &h, i) != i || h.count <= 0) return 0;
  if (tangentState.capacity < h.count) {
    void* block =
        memRealloc(tangentState.buffer, static_cast<std::size_t>(h.count) * sizeof(ContourElement));
    if (block == nullptr) {
      pockMessage(kPockCodeNoMemory);
      return -1;
    }
    tangentState.buffer = static_cast<ContourElement*>(block);
    tangentState.capacity = h.count;
  }
  if (layerGetContour("INPUT", tangentState.buffer, h.count, &h, i) != i) return 0;
  return h.count;
}

}  // namespace

void isectMakeArc(ContourElement* out, const Point2D& normal, const Point2D& point, double r,
                  int dir) {
  const Point2D c = add(point, mul(normal, r));
  *out = contMakeArc(c.x, c.y, point.x, point.y, point.x, point.y, r, dir, 0);
}

int isectTangentPoint(const Point2D& from, const ContourElement& arc, Point2D* dirOut) {
  const Point2D c = contArcCentre(arc);
  const Point2D toC = sub(c, from);
  const double d = len(toC);
  if (std::fabs(toC.x) < kPointTol && std::fabs(toC.y) < kPointTol) return -1;
  if (d <= arc.radius) return -1;
  const Point2D u = mul(toC, 1.0 / d);
  // The tangent makes the angle asin(r / d) with the line to the centre; the centre lies to the
  // left of a counter-clockwise continuation, so the direction turns clockwise from u for it.
  const double a = std::asin(arc.radius / d) * (arc.dir >= 0 ? -1.0 : 1.0);
  const double ca = std::cos(a);
  const double sa = std::sin(a);
  *dirOut = Point2D{u.x * ca - u.y * sa, u.x * sa + u.y * ca};
  return 1;
}

int isectSolveQuadratic(double a, double b, double c, double rootsOut[2]) {
  if (std::fabs(a) < kQuadTol) {
    if (std::fabs(b) < kQuadTol) return 0;
    rootsOut[0] = -c / b;
    return 1;
  }
  double disc = b * b - 4.0 * a * c;
  if (disc < -kQuadTol) return 0;
  if (disc < 0.0) disc = 0.0;
  const double s = std::sqrt(disc);
  rootsOut[0] = (-b - s) / (2.0 * a);
  rootsOut[1] = (s - b) / (2.0 * a);
  return std::fabs(rootsOut[0] - rootsOut[1]) < kQuadTol ? 1 : 2;
}

int isectCircleFitParam(const Point2D& k1, const Point2D& p1, const Point2D& k0, double* tOut,
                        const Point2D& p0) {
  const Point2D dk = sub(k1, k0);
  const Point2D dp = sub(p1, p0);
  double roots[2] = {0.0, 0.0};
  const int n = isectSolveQuadratic(dot(dk, dk) - 4.0, 2.0 * dot(dp, dk), dot(dp, dp), roots);
  if (n == 0) return -1;
  const double t = n == 2 ? std::max(roots[0], roots[1]) : roots[0];
  if (t < 0.0) return -1;
  *tOut = t;
  return 0;
}

int isectTangentLinkOnce(const Point2D& p0, const Point2D& d0, const Point2D& p1, const Point2D& d1,
                         double r, ContourElement* out) {
  if (r < kTangentMinRadius) {
    out[0] = contMakeLine(p0.x, p0.y, p1.x, p1.y, 0);
    return 1;
  }
  // The arc at p1 lies on the side of p0.
  const bool p0Right = contCross2d(d1, sub(p0, p1)) < 0.0;
  const Point2D k1 = p0Right ? right(d1) : left(d1);
  const int s1 = p0Right ? 1 : -1;
  ContourElement probe{};
  isectMakeArc(&probe, k1, p1, r, -s1);
  Point2D toward{};
  if (isectTangentPoint(p0, probe, &toward) != 1) {
    r = std::min(r, 0.5 * contDistance(p0, p1));
    isectMakeArc(&probe, k1, p1, r, -s1);
    if (isectTangentPoint(p0, probe, &toward) != 1) {
      toward = sub(add(mul(sub(k1, d1), r), p1), p0);
    }
  }
  // The arc at p0 turns toward that direction.
  const bool turnRight = contCross2d(d0, toward) < 0.0;
  const Point2D k0 = turnRight ? right(d0) : left(d0);
  const int s0 = turnRight ? -1 : 1;
  double t = 0.0;
  if (isectCircleFitParam(k1, p1, k0, &t, p0) != 0) return -1;
  // A radius within 0.0001 of the fitted one is the fitted one: the two circles then touch.
  if (r > t || (std::fabs(r - t) < kPointTol && s0 == s1)) r = t;
  if (r < kTangentMinRadius) {
    out[0] = contMakeLine(p0.x, p0.y, p1.x, p1.y, 0);
    return 1;
  }
  const bool touching = std::fabs(r - t) < kPointTol && s0 == s1;
  const Point2D c0 = add(p0, mul(k0, r));
  const Point2D c1 = add(p1, mul(k1, r));
  const double a = contDistance(c0, c1);
  if (!(a > 0.0)) return -1;
  const Point2D u = mul(sub(c1, c0), 1.0 / a);
  const Point2D n = left(u);
  Point2D t0{};
  Point2D t1{};
  if (touching) {
    // The two circles touch: both arcs meet at the middle of their centres.
    t0 = mul(add(c0, c1), 0.5);
    t1 = t0;
  } else if (s0 == s1) {
    // The two arcs turn opposite ways along the path: the inner common tangent, on the side that
    // leaves the first circle in its direction.
    const double g = a / 2.0;
    const double h = std::sqrt(std::max(0.0, g * g - r * r));
    const Point2D w = mul(n, -s0 * r * h / g);
    const Point2D along = mul(u, r * r / g);
    t0 = add(add(c0, w), along);
    t1 = sub(sub(c1, w), along);
  } else {
    // Both turn the same way: the outer common tangent.
    const Point2D w = mul(n, -s0 * r);
    t0 = add(c0, w);
    t1 = add(c1, w);
  }
  out[0] = contMakeArc(c0.x, c0.y, p0.x, p0.y, t0.x, t0.y, r, s0, 0);
  // The last arc runs from p1 to its tangent point in its own direction and is then reversed, so
  // that it arrives at p1 along d1.
  const ContourElement last = contMakeArc(c1.x, c1.y, t1.x, t1.y, p1.x, p1.y, r, -s1, 0);
  int count = 2;
  if (!touching) {
    out[1] = contMakeLine(t0.x, t0.y, t1.x, t1.y, 0);
    count = 3;
  }
  out[count - 1] = last;
  contArcsRecentre(out, count);
  return count;
}

int isectLinkArcBlocked(const ContourElement& arc, const Point2D& p0, const Point2D& p1) {
  const int n = layerCount("INPUT");
  const double* allowances = pockAllowances();
  const double tool = pockEngine().pockToolRadius;
  for (int i = 0; i < n; ++i) {
    const int count = readInput(i);
    if (count < 0) return 1;
    if (count == 0) continue;
    const double a = i < kPockAllowanceRoom ? allowances[i] : 0.0;
    const double rad = a + arc.radius + tool - kClearSlack;
    const ContourElement circle =
        contMakeArc(arc.p0, arc.p1, arc.p0 + rad, arc.p1, arc.p0 + rad, arc.p1, rad, 1, 0);
    if (isectCircleHitsContour(circle, tangentState.buffer, count) == 1) return 1;
  }
  Point2D mid{};
  if (contElemPoint(arc, &mid, 3) == 1 && dot(sub(p1, p0), sub(mid, p0)) < 0.0) return 1;
  return 0;
}

int isectLinkLineBlocked(const ContourElement& line) {
  const int n = layerCount("INPUT");
  for (int i = 0; i < n; ++i) {
    const int count = readInput(i);
    if (count < 0) return 1;
    if (count == 0) continue;
    if (isectSegmentCrossesContour(line, tangentState.buffer, count) == 1) return 1;
  }
  return 0;
}

int isectSegmentCrossesContour(const ContourElement& segment, const ContourElement* elements,
                               int n) {
  const Point2D s = contElemStart(segment);
  const Point2D e = contElemEnd(segment);
  for (int i = 0; i < n; ++i) {
    const ContourElement& k = elements[i];
    if (k.type != kContLine && k.type != kContArc) return -1;
    Point2D p[2];
    const int hits = isectElements(segment, k, p);
    if (k.type == kContLine) {
      if (hits == -1) return 1;
      if (hits == 1 && contSamePoint(p[0], s) == 0 && contSamePoint(p[0], e) == 0) return 1;
    } else {
      if (hits == 2) return 1;
      if (hits == 1 && contSamePoint(p[0], s) == 0 && contSamePoint(p[0], e) == 0) return 1;
    }
  }
  return 0;
}

int isectShortArcsToLines(ContourElement* elements, int n) {
  for (int i = 0; i < n; ++i) {
    ContourElement& e = elements[i];
    if (e.type != kContArc) continue;
    const Point2D s = contArcStart(e);
    const Point2D t = contArcEnd(e);
    if (contDistance(s, t) >= kShortArc) continue;
    // Only an arc that turns little is a short arc: one that runs nearly all round its circle
    // (its ends close together again) is a loop of the link, and a line would reverse the path.
    const Point2D c = contArcCentre(e);
    const double a0 = std::atan2(s.y - c.y, s.x - c.x);
    const double a1 = std::atan2(t.y - c.y, t.x - c.x);
    double sweep = e.dir >= 0 ? a1 - a0 : a0 - a1;
    while (sweep < 0.0) sweep += 2.0 * M_PI;
    if (sweep < M_PI) e = contMakeLine(s.x, s.y, t.x, t.y, e.tag);
  }
  return n;
}

int isectTangentLink(const Point2D& p0, const Point2D& d0, const Point2D& p1, const Point2D& d1,
                     double r, ContourElement* out) {
  while (r > kTangentMinRadius) {
    const int count = isectTangentLinkOnce(p0, d0, p1, d1, r, out);
    if (count < 0) return -1;
    bool blocked = false;
    for (int i = 0; i < count && !blocked; ++i) {
      if (out[i].type == kContArc) {
        blocked = isectLinkArcBlocked(out[i], p0, p1) != 0;
      } else if (i > 0 && i + 1 < count) {
        blocked = isectLinkLineBlocked(out[i]) != 0;
      }
    }
    if (!blocked) return isectShortArcsToLines(out, count);
    r /= 2.0;
  }
  out[0] = contMakeLine(p0.x, p0.y, p1.x, p1.y, 0);
  return 1;
}

void tangentLinkResetState() {
  memFree(tangentState.buffer);
  tangentState = TangentState{};
}
