// pock_plunge.cpp - helix and ramp plunges of the pocket output. Heights and lengths here are in
// output units (engine lengths divided by the scale factor); heights sent include the tool
// reference offset.
#include <algorithm>
#include <array>
#include <cmath>
#include <cstdio>
#include <new>
#include <vector>

#include "framework/numtext.h"
#include "framework/output_records.h"
#include "pocket/ccp_fields.h"
#include "pocket/contour_geom.h"
#include "pocket/contour_relate.h"
#include "pocket/engine_state.h"
#include "pocket/layer_store.h"
#include "pocket/pock_geometry.h"
#include "pocket/pock_output.h"
#include "pocket/pock_scale.h"

namespace {

constexpr double kPlungeMin = 0.00001;      // least descent, radius and angles
constexpr double kPlungeDegenerate = 1e-9;  // least tan(g) and height step
// More helix points than this are taken as memory running short.
constexpr double kHelixMaxPoints = 1e6;

struct RampState {
  std::array<ContourElement, kPockRampQueueRoom> queue{};
  int count = 0;
};
RampState ramp;

double factor() {
  const double f = pockEngine().scaleFactor;
  return std::fabs(f - 1.0) < kScaleIdentityTol || !(f > 0.0) ? 1.0 : f;
}
double outTol() { return pockEngine().contTol / factor(); }
double outToolRadius() { return pockEngine().pockToolRadius / factor(); }
// Farthest start of a ramp element from the end of the one before (output units).
double rampReach() { return 2.0 * pockEngine().pockStepFactor * outToolRadius() + outTol(); }

void setZ(double z) {
  PockOutputState& o = pockOutput();
  o.pockZ = z;
  o.pockZKnown = 1;
}

void reducedFeed(CycleRecord* c, const CcpRecord* r) {
  if (!(r->reducedFeedrate > outTol())) return;
  cycSendNameValue(c, "aliasUse", "reducedFeedrate");
  char value[kNumTextSize];
  numFormat(value, r->planeFeedrate > 0.0 ? r->reducedFeedrate / r->planeFeedrate : 1.0);
  char text[2 * kNumTextSize + 4];
  std::snprintf(text, sizeof text, "%s*%s", "FX", value);
  cycSendNameValue(c, "tr", text);
}

// Sends the queued elements as ordinary moves and empties the queue; with straight set the first
// of them begins a new cut with a straight plunge.
void sendQueue(bool straight) {
  PockOutputState& o = pockOutput();
  o.pockRampPending = 0;
  const int n = ramp.count;
  ramp.count = 0;
  if (straight) o.pockNewStart = 1;
  for (int i = 0; i < n; ++i) pockMoveTo(ramp.queue[static_cast<std::size_t>(i)]);
}

}  // namespace

int pockHelixClear(const Point2D& p, double r, double bottom) {
  const PockEngine& eng = pockEngine();
  const double t = outTol();
  const double radius = pockAllowances()[0] / factor() + outToolRadius() + r - t;
  const ContourElement circle =
      contMakeArc(p.x, p.y, p.x + radius, p.y, p.x + radius, p.y, radius, 1, 0);
  const int n = layerCount("INPUT");
  std::vector<ContourElement> buffer;
  for (int i = 0; i < n; ++i) {
    ContourHeader h{};
    if (layerGetHeader("INPUT", &h, i) != i || h.zTop < bottom + t || h.count <= 0) continue;
    try {
      buffer.resize(static_cast<std::size_t>(h.count));
    } catch (const std::bad_alloc&) {
      pockMessage(kPockCodeNoMemory);
      return -1;
    }
    if (layerGetContour("INPUT", buffer.data(), h.count, &h, i) != i) continue;
    unscaleContour(buffer.data(), h.count);
    const bool hit = isectCircleHitsContour(circle, buffer.data(), h.count) != 0 ||
                     contDistance(contElemStart(buffer[0]), p) < radius;
    if (hit) {
      pockMessage(kPockCodeHelixHit);
      return 0;
    }
  }
  (void)eng;
  return 1;
}

int pockHelixPoints(const Point2D& p, double r, double a, double g, int sign, double top,
                    double bottom, PockPointList* out) {
  if (out == nullptr) return 0;
  out->count = 0;
  if (std::fabs(top - bottom) < kPlungeMin || std::fabs(r) < kPlungeMin ||
      std::fabs(a) < kPlungeMin) {
    return 0;
  }
  if (pockHelixClear(p, r, bottom) == 0) {
    pockMessage(kPockCodeHelixHit);
    return 0;
  }
  const double tg = std::tan(g);
  const double h = r * std::sin(a / 2.0) * tg;
  // A flat or downward helix never reaches the top.
  if (!(std::fabs(tg) >= kPlungeDegenerate) || !(h >= kPlungeDegenerate)) return 0;
  const double room = std::floor((top - bottom) / h) + 10.0;
  if (!(room <= kHelixMaxPoints)) return 0;
  try {
    out->points.assign(static_cast<std::size_t>(room), Point3D{0.0, 0.0, 0.0});
  } catch (const std::bad_alloc&) {
    return 0;
  }
  out->capacity = static_cast<int>(room);
  auto push = [out](double x, double y, double z) {
    if (out->count >= out->capacity) return false;
    out->points[static_cast<std::size_t>(out->count++)] = Point3D{x, y, z};
    return true;
  };
  push(p.x, p.y, bottom);
  push(p.x + r, p.y, bottom);
  double vx = r;
  double vy = 0.0;
  const double turn = a * static_cast<double>(sign);
  const double ct = std::cos(turn);
  const double st = std::sin(turn);
  double z = bottom;
  while (z < top - kPlungeMin) {
    const double nx = vx * ct - vy * st;
    vy = vx * st + vy * ct;
    vx = nx;
    z = std::min(z + h, top);
    if (!push(p.x + vx, p.y + vy, z)) return 0;
  }
  if (!push(p.x, p.y, top)) return 0;
  return 1;
}

int pockHelixOutput(CycleRecord* cycle, const PockPointList& list) {
  if (cycle == nullptr) return 0;
  reducedFeed(cycle, ccpRecordOf(cycle));
  for (int i = list.count - 1; i >= 0; --i) {
    const Point3D& q = list.points[static_cast<std::size_t>(i)];
    cycFeedXYZ(cycle, q.x, q.y, q.z);
    setZ(q.z);
  }
  return 1;
}

int pockRampQueue(const ContourElement& element) {
  const Point2D s = contElemStart(element);
  if (ramp.count > 0) {
    const Point2D last = contElemEnd(ramp.queue[static_cast<std::size_t>(ramp.count - 1)]);
    const double gap = contDistance(s, last);
    if (gap > rampReach()) return -2;
    if (ramp.count >= kPockRampQueueRoom) return -1;
    if (gap > outTol()) {
      if (ramp.count + 1 >= kPockRampQueueRoom) return -1;
      ramp.queue[static_cast<std::size_t>(ramp.count++)] =
          contMakeLine(last.x, last.y, s.x, s.y, 0);
    }
  }
  ramp.queue[static_cast<std::size_t>(ramp.count++)] = element;
  return 1;
}

int pockRampQueued() { return ramp.count; }

void pockRampReset() { ramp.count = 0; }

int pockRampPolyline(Point2D* points, int room, const ContourElement* elements, int n, double a) {
  if (points == nullptr || elements == nullptr || n <= 0 || room <= 0) return 0;
  int k = 0;
  auto push = [&](const Point2D& q) {
    if (k >= room) return false;
    points[k++] = q;
    return true;
  };
  push(contElemStart(elements[0]));
  for (int i = 0; i < n; ++i) {
    const ContourElement& e = elements[i];
    if (e.type == kContArc) {
      if (e.radius < 0.0001) continue;
      const double sweep = std::fabs(contArcSweep(e));
      // The chords lie inside the arc: around an island they would cut into it, so the step is
      // kept small enough for the chords to stay within the tolerance of the arc.
      double step = std::fabs(a);
      const double t = outTol();
      if (e.radius > t) step = std::min(step, 2.0 * std::acos(1.0 - t / e.radius));
      const int steps = step >= kPlungeMin ? static_cast<int>(sweep / step) : 0;
      const Point2D c = contArcCentre(e);
      const Point2D s = contArcStart(e);
      const double a0 = std::atan2(s.y - c.y, s.x - c.x);
      for (int j = 1; j <= steps && k < room; ++j) {
        const double ang = a0 + static_cast<double>(e.dir) * step * j;
        if (step * j >= sweep) break;
        push(Point2D{c.x + e.radius * std::cos(ang), c.y + e.radius * std::sin(ang)});
      }
    }
    if (!push(contElemEnd(e))) break;
  }
  return k;
}

double pockPolylineLength(const Point2D* points, int n) {
  double length = 0.0;
  for (int i = 1; i < n; ++i) length += contDistance(points[i - 1], points[i]);
  return length;
}

int pockPolylineCut(Point2D* points, int n, double length) {
  double done = 0.0;
  for (int i = 1; i < n; ++i) {
    const double d = contDistance(points[i - 1], points[i]);
    if (done + d >= length) {
      const double t = d > 0.0 ? (length - done) / d : 0.0;
      points[i] = Point2D{points[i - 1].x + t * (points[i].x - points[i - 1].x),
                          points[i - 1].y + t * (points[i].y - points[i - 1].y)};
      return i + 1;
    }
    done += d;
  }
  return n;
}

int pockRampPlunge(CycleRecord* c, double a, double g, double top, double bottom) {
  PockOutputState& o = pockOutput();
  if (o.pockCollecting != 0) return 1;
  if (ramp.count == 0) return 0;
  if (c == nullptr) return 0;
  const CcpRecord* r = ccpRecordOf(c);
  const PockEngine& eng = pockEngine();
  const double ref = eng.pockToolRefOffset;
  const double t = outTol();
  double descent = top - bottom;
  if (o.pockHasLast == 0 || r->retractEachPlane != 0) {
    const double add = 0.1 * r->infeedDepth + eng.paramRampAddClearance;
    descent += add;
    top += add;
  }
  const double tg = std::tan(g);
  if (std::fabs(descent) < kPlungeMin || std::fabs(a) < kPlungeMin || std::fabs(g) < kPlungeMin ||
      std::fabs(tg) < kPlungeDegenerate) {
    sendQueue(true);
    return -1;
  }
  std::vector<Point2D> pts;
  try {
    pts.resize(kPockRampPolylineRoom);
  } catch (const std::bad_alloc&) {
    sendQueue(true);
    return -1;
  }
  const int n =
      pockRampPolyline(pts.data(), kPockRampPolylineRoom, ramp.queue.data(), ramp.count, a);
  const double length = pockPolylineLength(pts.data(), n);
  if (n < 2 || length < t) {
    sendQueue(true);
    return -1;
  }
  const Point2D first = pts[0];
  const Point2D last = o.pockLastPoint;
  const Point2D lastOut{last.x / factor(), last.y / factor()};
  if ((o.pockHasLast != 0 && contDistance(lastOut, first) > rampReach()) ||
      r->retractEachPlane != 0) {
    const double z =
        r->retractEachPlane != 0 ? ref + r->retractPlane : o.pockZ + r->clearanceDistance;
    cycRapidZ(c, z);
    setZ(z);
  }
  o.pockRetracted = 0;
  if (o.pockHasLast == 0 || r->retractEachPlane != 0 || r->clearanceDistance - t < o.pockZ) {
    cycRapidXY(c, first.x, first.y);
  } else {
    cycFeedXY(c, first.x, first.y);
  }
  if (o.pockFirstStart != 0) {
    cycRapidZ(c, ref + r->retractPlane);
    setZ(ref + r->retractPlane);
    o.pockFirstStart = 0;
  }
  if (o.pockHasLast == 0 || r->surface + r->clearanceDistance < o.pockZ) {
    const double z = ref + 0.1 * r->infeedDepth + r->surface + r->clearanceDistance;
    cycRapidZ(c, z);
    setZ(z);
  }
  reducedFeed(c, r);
  const double half = descent / tg / 2.0;
  const long passes = static_cast<long>(std::floor(half / length));
  const double remainder = half - static_cast<double>(passes) * length;
  double travelled = 0.0;
  Point2D at = first;
  auto move = [&](const Point2D& q) {
    travelled += contDistance(at, q);
    at = q;
    const double z = std::max(top - tg * travelled, bottom);
    cycFeedXYZ(c, q.x, q.y, ref + z);
  };
  cycFeedXYZ(c, first.x, first.y, ref + top);
  for (long k = 0; k < passes; ++k) {
    for (int i = 1; i < n; ++i) move(pts[static_cast<std::size_t>(i)]);
    for (int i = n - 2; i >= 0; --i) move(pts[static_cast<std::size_t>(i)]);
  }
  const int m = pockPolylineCut(pts.data(), n, remainder);
  for (int i = 1; i < m; ++i) move(pts[static_cast<std::size_t>(i)]);
  for (int i = m - 2; i >= 0; --i) move(pts[static_cast<std::size_t>(i)]);
  cycSendNameValue(c, "aliasUse", "FX");
  cycSendNameValue(c, "tr", "FX");
  setZ(ref + bottom);
  o.pockHasLast = 1;
  o.pockLastPoint = Point2D{first.x * factor(), first.y * factor()};
  sendQueue(false);
  return 1;
}

int pockFinishPending() {
  PockOutputState& o = pockOutput();
  if (o.pockCollecting != 0) return 0;
  if (o.pockRampPending != 0) {
    CycleRecord* c = ccpCurrent();
    if (c != nullptr) {
      const CcpRecord* r = ccpRecordOf(c);
      pockRampPlunge(c, r->helixAngleResolution, r->helixPlungeAngle, r->surface,
                     r->surface - std::fabs(r->depth));
    }
  }
  o.pockRampPending = 0;
  ramp.count = 0;
  return 1;
}
