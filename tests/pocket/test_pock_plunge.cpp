// Helix and ramp plunges: the helix against its closed form and its clearance against a brute-force
// distance to the walls, the ramp's passes and heights against the descent, angle and path length,
// the polyline helpers, the full queue, and degenerate plunges that fall back to a straight plunge.
#include <gtest/gtest.h>

#include <cmath>
#include <string>
#include <vector>

#include "pock_output_support.h"
#include "pocket/pock_output.h"

using namespace pocktest;

namespace {

constexpr double kDeg = M_PI / 180.0;

// The feed XYZ moves of a run, in order.
struct XyzMoves {
  std::vector<Point3D> moves;
  static int listen(CycleRecord*, OutputRecord* r, void* user) {
    if (r->type == 3113) {
      static_cast<XyzMoves*>(user)->moves.push_back(Point3D{r->move.x, r->move.y, r->move.z});
    }
    return 1;
  }
  void attach(CycleRecord* cycle) {
    for (std::uint16_t layer : {10, 12, 31}) {
      cycAddListener(cycle, layer, &XyzMoves::listen, this, nullptr, nullptr);
    }
  }
};

// Brute-force distance from p to a closed polygon, by dense sampling of its edges.
double sampledDistance(const Point2D& p, const std::vector<Point2D>& poly) {
  double best = HUGE_VAL;
  for (std::size_t i = 0; i < poly.size(); ++i) {
    const Point2D a = poly[i];
    const Point2D b = poly[(i + 1) % poly.size()];
    for (int k = 0; k <= 20000; ++k) {
      const double t = k / 20000.0;
      best = std::min(best, std::hypot(a.x + t * (b.x - a.x) - p.x, a.y + t * (b.y - a.y) - p.y));
    }
  }
  return best;
}

int countOf(const std::string& text, const std::string& what) {
  int n = 0;
  for (std::size_t at = text.find(what); at != std::string::npos; at = text.find(what, at + 1)) {
    ++n;
  }
  return n;
}

class PlungeTest : public OutputTest {};

}  // namespace

// The helix in closed form: middle points on the circle of radius r about p, heights rising by at
// most h, about (top - bottom) / h + 3 points, (p, bottom) first and (p, top) last.
TEST_F(PlungeTest, HelixClosedForm) {
  struct Case {
    double r, a, g, top, bottom;
    int sign;
  };
  const Case cases[] = {{2, 10 * kDeg, 20 * kDeg, 0.5, -5, 1},
                        {3.5, 5 * kDeg, 3 * kDeg, 1, -2, -1},
                        {1, 30 * kDeg, 45 * kDeg, 10, 0, 1}};
  const Point2D p{30, 20};
  for (const Case& c : cases) {
    PockPointList list;
    ASSERT_EQ(pockHelixPoints(p, c.r, c.a, c.g, c.sign, c.top, c.bottom, &list), 1);
    const double h = c.r * std::sin(c.a / 2) * std::tan(c.g);
    const int expected = static_cast<int>(std::floor((c.top - c.bottom) / h)) + 3;
    EXPECT_NEAR(list.count, expected, 1) << c.r;
    const Point3D& first = list.points[0];
    const Point3D& last = list.points[static_cast<std::size_t>(list.count - 1)];
    EXPECT_DOUBLE_EQ(first.x, p.x);
    EXPECT_DOUBLE_EQ(first.y, p.y);
    EXPECT_DOUBLE_EQ(first.z, c.bottom);
    EXPECT_DOUBLE_EQ(last.x, p.x);
    EXPECT_DOUBLE_EQ(last.y, p.y);
    EXPECT_DOUBLE_EQ(last.z, c.top);
    for (int i = 1; i + 1 < list.count; ++i) {
      const Point3D& q = list.points[static_cast<std::size_t>(i)];
      EXPECT_NEAR(std::hypot(q.x - p.x, q.y - p.y), c.r, 1e-9);
      const double dz = q.z - list.points[static_cast<std::size_t>(i - 1)].z;
      EXPECT_GE(dz, 0.0);
      EXPECT_LE(dz, h + 1e-12);
      EXPECT_LE(q.z, c.top);
    }
    // The turn follows the sign: the first step goes to +y for +1.
    EXPECT_GT(list.points[2].y * c.sign, p.y * c.sign);
  }
}

// Degenerate helices are not built (a straight plunge follows): a flat plunge angle would never
// rise, and zero radius, step or height has no helix.
TEST_F(PlungeTest, DegenerateHelixIsNotBuilt) {
  const Point2D p{0, 0};
  PockPointList list;
  EXPECT_EQ(pockHelixPoints(p, 2, 10 * kDeg, 0.0, 1, 1, -5, &list), 0);
  EXPECT_EQ(pockHelixPoints(p, 2, 10 * kDeg, 1e-12, 1, 1, -5, &list), 0);
  EXPECT_EQ(pockHelixPoints(p, 2, 10 * kDeg, -20 * kDeg, 1, 1, -5, &list), 0);
  EXPECT_EQ(pockHelixPoints(p, 0, 10 * kDeg, 20 * kDeg, 1, 1, -5, &list), 0);
  EXPECT_EQ(pockHelixPoints(p, 2, 0, 20 * kDeg, 1, 1, -5, &list), 0);
  EXPECT_EQ(pockHelixPoints(p, 2, 10 * kDeg, 20 * kDeg, 1, -5, -5, &list), 0);
}

// The clearance test against a brute-force distance from the start to an island: clear exactly
// when the island lies beyond tool radius + helix radius.
TEST_F(PlungeTest, HelixClearanceAgainstSampledDistance) {
  const std::vector<Point2D> island = {{40, 10}, {60, 10}, {60, 30}, {40, 30}};
  putContour("INPUT", polygon({{0, 0}, {100, 0}, {100, 60}, {0, 60}}), 0, -5);
  putContour("INPUT", polygon(island), 0, -5, false);
  const double r = 2;
  for (double x : {38.5, 34.0, 32.0, 20.0}) {
    const Point2D p{x, 20};
    const double wall = sampledDistance(p, island);
    const bool clear = wall > 5 + r;
    EXPECT_EQ(pockHelixClear(p, r, -5), clear ? 1 : 0) << x;
  }
  // An island whose top lies below the floor does not count.
  layerClear("INPUT");
  putContour("INPUT", polygon(island), -6, -8, false);
  EXPECT_EQ(pockHelixClear(Point2D{38.5, 20}, r, -5), 1);
}

// A helical new start 1.5 from an island wall with tool radius 5 and helix radius 2: code 3123 from
// the test and from the builder, then the straight plunge. Far from the walls the helix is written
// down to the floor and no straight plunge follows.
TEST_F(PlungeTest, HelicalNewStartFallsBackNearAWall) {
  putContour("INPUT", polygon({{0, 0}, {100, 0}, {100, 60}, {0, 60}}), 0, -5);
  putContour("INPUT", polygon({{40, 10}, {60, 10}, {60, 30}, {40, 30}}), 0, -5, false);
  record->plungeType = 1;
  record->helixRadius = 2;
  record->helixPlungeAngle = 10 * kDeg;
  record->helixAngleResolution = 10 * kDeg;
  Trace trace;
  trace.attach(cycle);
  XyzMoves xyz;
  xyz.attach(cycle);
  pockWriteHeader();
  pockEmitElement(contMakeLine(38.5, 20, 38.5, 25, 0));
  closeRun();
  EXPECT_EQ(countOf(text(), "error(1522)"), 2);
  EXPECT_EQ(trace.count("G1 z-5"), 1);
  EXPECT_TRUE(xyz.moves.empty());

  layerClear("INPUT");
  putContour("INPUT", polygon({{0, 0}, {100, 0}, {100, 60}, {0, 60}}), 0, -5);
  pockOutputRunReset();
  pockWriteHeader();
  trace.lines.clear();
  pockEmitElement(contMakeLine(20, 20, 20, 25, 0));
  EXPECT_EQ(trace.count("G1 z-5"), 0);
  ASSERT_GE(xyz.moves.size(), 4u);
  EXPECT_NEAR(xyz.moves.back().x, 20, 1e-9);
  EXPECT_NEAR(xyz.moves.back().y, 20, 1e-9);
  EXPECT_NEAR(xyz.moves.back().z, -5, 1e-9);
  EXPECT_NEAR(xyz.moves.front().z, 0.1 * record->infeedDepth, 1e-9);
  EXPECT_EQ(trace.lines.back(), feedTo(20, 25));
}

TEST_F(PlungeTest, PolylineOfElements) {
  const ContourElement e[] = {contMakeLine(0, 0, 10, 0, 0),
                              contMakeArc(10, 5, 10, 0, 10, 10, 5, 1, 0),
                              contMakeArc(0, 10, 10, 10, 10, 10, 0.00005, 1, 0)};
  std::vector<Point2D> pts(1000);
  const int n = pockRampPolyline(pts.data(), 1000, e, 3, 10 * kDeg);
  // Start, line end, points along the half circle and its end; the tiny arc adds nothing.
  ASSERT_GT(n, 20);
  ASSERT_LT(n, 1000);
  EXPECT_EQ(pts[1].x, 10);
  EXPECT_EQ(pts[static_cast<std::size_t>(n - 1)].y, 10);
  double length = 10;
  for (int i = 2; i < n; ++i) {
    const Point2D q = pts[static_cast<std::size_t>(i)];
    const Point2D b = pts[static_cast<std::size_t>(i - 1)];
    EXPECT_NEAR(std::hypot(q.x - 10, q.y - 5), 5, 1e-9);
    EXPECT_GE(q.x, 10 - 1e-9);  // counter-clockwise from (10, 0) bulges to +x
    // Each chord stays within the tolerance of the arc: it cannot cut into an island.
    const double mid = std::hypot((q.x + b.x) / 2 - 10, (q.y + b.y) / 2 - 5);
    EXPECT_LE(5 - mid, 0.0001 + 1e-12);
    length += std::hypot(q.x - b.x, q.y - b.y);
  }
  EXPECT_NEAR(pockPolylineLength(pts.data(), n), length, 1e-9);
  EXPECT_NEAR(length, 10 + 5 * M_PI, 1e-3);
  EXPECT_EQ(pockRampPolyline(pts.data(), 3, e, 3, 10 * kDeg), 3);
  Point2D line[3] = {{0, 0}, {4, 0}, {4, 4}};
  EXPECT_EQ(pockPolylineCut(line, 3, 6), 3);
  EXPECT_NEAR(line[2].y, 2, 1e-12);
  EXPECT_EQ(pockPolylineCut(line, 3, 1), 2);
  EXPECT_NEAR(line[1].x, 1, 1e-12);
}

// The ramp's passes against the half length H = descent / tan(g) / 2 over a path of length L:
// floor(H / L) passes forward and back, then the remainder forward and back; heights fall by tan(g)
// per length travelled and never below the floor; the queued path follows at the floor.
TEST_F(PlungeTest, RampPassesInClosedForm) {
  struct Case {
    double length, descent;
    int passes;
    double remainder;
  };
  const double g = 5 * kDeg;
  const Case cases[] = {{10, 1, 0, 1 / std::tan(g) / 2}, {2, 10 * std::tan(g), 2, 1}};
  XyzMoves xyz;
  xyz.attach(cycle);
  Trace trace;
  trace.attach(cycle);
  for (const Case& c : cases) {
    xyz.moves.clear();
    trace.lines.clear();
    pockOutputRunReset();
    PockOutputState& o = pockOutput();
    o.pockHasLast = 1;
    o.pockLastPoint = Point2D{0, 0};
    o.pockRetracted = 0;
    o.pockFirstStart = 0;
    o.pockZ = -c.descent;
    o.pockZKnown = 1;
    ASSERT_EQ(pockRampQueue(contMakeLine(0, 0, c.length, 0, 0)), 1);
    ASSERT_EQ(pockRampPlunge(cycle, 10 * kDeg, g, 0, -c.descent), 1);
    ASSERT_EQ(xyz.moves.size(), static_cast<std::size_t>(1 + 2 * c.passes + 2));
    EXPECT_NEAR(xyz.moves[0].z, 0, 1e-12);
    double travelled = 0;
    for (std::size_t i = 1; i < xyz.moves.size(); ++i) {
      travelled += std::fabs(xyz.moves[i].x - xyz.moves[i - 1].x);
      EXPECT_NEAR(xyz.moves[i].z, std::max(-std::tan(g) * travelled, -c.descent), 1e-9);
      EXPECT_GE(xyz.moves[i].z, -c.descent - 1e-12);
    }
    EXPECT_NEAR(xyz.moves[xyz.moves.size() - 2].x, c.remainder, 1e-9);
    EXPECT_NEAR(travelled, 2 * c.passes * c.length + 2 * c.remainder, 1e-9);
    EXPECT_EQ(trace.lines.back(), feedTo(c.length, 0));
    EXPECT_EQ(pockRampQueued(), 0);
  }
}

// 501 connected elements while a ramp is pending: the ramp is written over the first 500 and the
// 501st is sent as an ordinary move after them; every element reaches the output once, in order.
TEST_F(PlungeTest, FullQueueWritesTheRampAndSendsTheNext) {
  record->plungeType = 3;
  record->helixPlungeAngle = 5 * kDeg;
  record->helixAngleResolution = 10 * kDeg;
  record->depth = 1;
  Trace trace;
  trace.attach(cycle);
  XyzMoves xyz;
  xyz.attach(cycle);
  pockWriteHeader();
  pockPositionAt(Point2D{0, 0});
  ASSERT_EQ(pockOutput().pockRampPending, 1);
  for (int i = 0; i < 500; ++i) {
    pockEmitElement(contMakeLine(0.1 * i, 0, 0.1 * (i + 1), 0, 0));
  }
  EXPECT_EQ(pockRampQueued(), 500);
  EXPECT_TRUE(xyz.moves.empty());
  pockEmitElement(contMakeLine(50, 0, 50, 1, 0));
  EXPECT_EQ(pockRampQueued(), 0);
  EXPECT_EQ(pockOutput().pockRampPending, 0);
  ASSERT_FALSE(xyz.moves.empty());
  for (const Point3D& m : xyz.moves) EXPECT_GE(m.z, -1 - 1e-9);
  const auto feeds = trace.with("G1 ");
  ASSERT_GE(feeds.size(), 501u);
  EXPECT_EQ(feeds[feeds.size() - 501], feedTo(0.1, 0));
  EXPECT_EQ(feeds[feeds.size() - 2], feedTo(50, 0));
  EXPECT_EQ(feeds.back(), feedTo(50, 1));
}

// A ramp over a queued path of length 0 (only arcs below radius 0.0001) or with a flat ramp angle
// is degenerate: nothing is written for it, and the queued elements follow a straight plunge.
TEST_F(PlungeTest, DegenerateRampFallsBackToStraightPlunge) {
  record->plungeType = 3;
  record->helixAngleResolution = 10 * kDeg;
  Trace trace;
  trace.attach(cycle);
  XyzMoves xyz;
  xyz.attach(cycle);
  struct Case {
    ContourElement element;
    double angle;
    int plunges;  // a tiny arc is too short to be sent, so nothing plunges for it
  };
  const Case cases[] = {
      {contMakeArc(10, 10, 10.00005, 10, 10, 10.00005, 0.00005, 1, 0), 5 * kDeg, 0},
      {contMakeLine(10, 10, 20, 10, 0), 0.0, 1}};
  for (const Case& c : cases) {
    pockOutputRunReset();
    trace.lines.clear();
    record->helixPlungeAngle = c.angle;
    pockWriteHeader();
    ASSERT_EQ(pockRampQueue(c.element), 1);
    EXPECT_EQ(pockRampPlunge(cycle, 10 * kDeg, c.angle, 0, -5), -1);
    EXPECT_TRUE(xyz.moves.empty());
    EXPECT_EQ(pockRampQueued(), 0);
    EXPECT_EQ(trace.count("G1 z-5"), c.plunges);
  }
}
