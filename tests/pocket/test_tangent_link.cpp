// Tangent links between two cuts: chained and tangent at both ends and at every joint for random
// ends and directions, the radius halved near an island until the arcs clear it, the quadratic
// solver's table, and the segment-against-contour crossing rules.
#include <gtest/gtest.h>

#include <cmath>
#include <random>
#include <vector>

#include "framework/memory.h"
#include "pocket/contour_element.h"
#include "pocket/contour_geom.h"
#include "pocket/engine_state.h"
#include "pocket/layer_store.h"
#include "pocket/pock_geometry.h"
#include "pocket/tangent_link.h"

namespace {

class TangentLinkTest : public ::testing::Test {
 protected:
  void SetUp() override {
    pockRunReset();
    layerResetState();
    pockGeometryResetState();
    tangentLinkResetState();
  }
  void TearDown() override {
    memResetState();
    layerResetState();
    tangentLinkResetState();
  }
};

Point2D unit(double a) { return Point2D{std::cos(a), std::sin(a)}; }
double dist(const Point2D& a, const Point2D& b) { return std::hypot(a.x - b.x, a.y - b.y); }
Point2D dirAt(const ContourElement& e, int which) {
  Point2D d{0, 0};
  contElemDirection(e, &d, which);
  return d;
}
double dot(const Point2D& a, const Point2D& b) { return a.x * b.x + a.y * b.y; }

// A closed polygon contour of lines.
std::vector<ContourElement> polygon(const std::vector<Point2D>& p) {
  std::vector<ContourElement> e;
  for (std::size_t i = 0; i < p.size(); ++i) {
    const Point2D& a = p[i];
    const Point2D& b = p[(i + 1) % p.size()];
    e.push_back(contMakeLine(a.x, a.y, b.x, b.y, 0));
  }
  return e;
}

// A circle of four quarter arcs.
std::vector<ContourElement> circle(double cx, double cy, double r, int dir) {
  std::vector<ContourElement> e;
  for (int k = 0; k < 4; ++k) {
    const double a0 = dir * k * M_PI / 2;
    const double a1 = dir * (k + 1) * M_PI / 2;
    e.push_back(contMakeArc(cx, cy, cx + r * std::cos(a0), cy + r * std::sin(a0),
                            cx + r * std::cos(a1), cy + r * std::sin(a1), r, dir, 0));
  }
  return e;
}

void addInput(const std::vector<ContourElement>& e, double allowance) {
  if (layerCount("INPUT") == 0) layerCreate("INPUT");
  ContourHeader h{};
  h.count = static_cast<int>(e.size());
  h.allowance = allowance;
  const int i = layerCount("INPUT");
  ASSERT_EQ(layerInsertContour("INPUT", e.data(), &h, -1), 1);
  pockAllowances()[i] = allowance;
}

// The smallest distance of the link's sample points from a contour.
double linkClearance(const ContourElement* link, int n, const std::vector<ContourElement>& k) {
  double best = HUGE_VAL;
  for (int i = 0; i < n; ++i) {
    for (int s = 0; s <= 50; ++s) {
      Point2D p{};
      const double t = s / 50.0;
      if (link[i].type == kContArc) {
        contArcPointAt(link[i], t, &p);
      } else {
        p = Point2D{link[i].p0 + t * (link[i].p2 - link[i].p0),
                    link[i].p1 + t * (link[i].p3 - link[i].p1)};
      }
      best = std::min(best, contMinDistance(p, k.data(), static_cast<int>(k.size())));
    }
  }
  return best;
}

}  // namespace

// For random ends, directions and radii the link starts at p0 along d0, ends at p1 along d1, and
// its elements chain with continuous tangents.
TEST_F(TangentLinkTest, RandomLinksChainAndStayTangent) {
  std::mt19937 rng(37);
  std::uniform_real_distribution<double> coord(-20, 20);
  std::uniform_real_distribution<double> angle(0, 2 * M_PI);
  std::uniform_real_distribution<double> radius(0.02, 6);
  int built = 0;
  int failed = 0;
  for (int trial = 0; trial < 10000; ++trial) {
    const Point2D p0{coord(rng), coord(rng)};
    const Point2D p1{coord(rng), coord(rng)};
    const Point2D d0 = unit(angle(rng));
    const Point2D d1 = unit(angle(rng));
    const double r = radius(rng);
    if (dist(p0, p1) < 0.05) continue;
    ContourElement out[3];
    const int n = isectTangentLink(p0, d0, p1, d1, r, out);
    ASSERT_NE(n, 0) << trial;
    if (n < 0) {
      ++failed;
      continue;
    }
    ASSERT_LE(n, 3);
    EXPECT_LT(dist(contElemStart(out[0]), p0), 1e-6) << trial;
    EXPECT_LT(dist(contElemEnd(out[n - 1]), p1), 1e-6) << trial;
    if (n == 1) continue;
    ++built;
    const auto where = [&]() {
      return ::testing::Message() << "trial " << trial << " p0 " << p0.x << "," << p0.y << " d0 "
                                  << d0.x << "," << d0.y << " p1 " << p1.x << "," << p1.y << " d1 "
                                  << d1.x << "," << d1.y << " r " << r << " n " << n;
    };
    // A short arc (chord below 0.01) leaves as a line: its ends turn by at most half its sweep.
    double used = kTangentMinRadius;  // the radius the link was built with: every arc has it
    for (int i = 0; i < n; ++i) {
      if (out[i].type == kContArc) used = out[i].radius;
    }
    const double shortKink = std::cos(std::asin(std::min(1.0, 0.01 / (2 * used)))) - 1e-6;
    auto limit = [&](int i) {
      return contElemLength(out[i]) < 0.01 && out[i].type == kContLine ? shortKink : 1 - 1e-5;
    };
    for (int i = 0; i + 1 < n; ++i) {
      EXPECT_LT(dist(contElemEnd(out[i]), contElemStart(out[i + 1])), 1e-6) << trial;
      // A joint of length 0 (two touching arcs through a null line) has no tangent of its own.
      if (contElemLength(out[i + 1]) > 1e-6 && contElemLength(out[i]) > 1e-6) {
        EXPECT_GT(dot(dirAt(out[i], 2), dirAt(out[i + 1], 1)), std::min(limit(i), limit(i + 1)))
            << where() << " joint " << i;
      }
    }
    for (int i = 0; i < n; ++i) {
      if (out[i].type != kContArc) continue;
      EXPECT_NEAR(dist(contArcCentre(out[i]), contArcStart(out[i])), out[i].radius, 1e-6);
      EXPECT_NEAR(dist(contArcCentre(out[i]), contArcEnd(out[i])), out[i].radius, 1e-6);
    }
    if (contElemLength(out[0]) > 1e-6) {
      EXPECT_GT(dot(dirAt(out[0], 1), d0), limit(0)) << where();
    }
    if (contElemLength(out[n - 1]) > 1e-6) {
      EXPECT_GT(dot(dirAt(out[n - 1], 2), d1), limit(n - 1)) << where();
    }
  }
  EXPECT_GT(built, 6000) << failed;
}

// Below a radius of 0.01 the link is one line, without any clearance test.
TEST_F(TangentLinkTest, TinyRadiusIsOneLine) {
  ContourElement out[3];
  EXPECT_EQ(isectTangentLink({0, 0}, {1, 0}, {5, 5}, {0, 1}, 0.005, out), 1);
  EXPECT_EQ(out[0].type, kContLine);
  EXPECT_EQ(isectTangentLinkOnce({0, 0}, {1, 0}, {5, 5}, {0, 1}, 0.009, out), 1);
}

// Parallel directions side by side at the fitted radius: an S of two arcs touching each other;
// a U-turn: two arcs of that radius joined by a line.
TEST_F(TangentLinkTest, FittedRadiusLinks) {
  ContourElement out[3];
  ASSERT_EQ(isectTangentLinkOnce({0, 0}, {1, 0}, {4, 2}, {1, 0}, 2.5, out), 2);
  EXPECT_NEAR(out[0].radius, 2.5, 1e-9);
  EXPECT_NEAR(out[1].radius, 2.5, 1e-9);
  EXPECT_LT(dist(contElemEnd(out[0]), {2, 1}), 1e-9);
  ASSERT_EQ(isectTangentLinkOnce({0, 0}, {1, 0}, {0, 2}, {-1, 0}, 5, out), 3);
  EXPECT_NEAR(out[0].radius, 0.5, 1e-9);
  EXPECT_EQ(out[1].type, kContLine);
  EXPECT_NEAR(contElemLength(out[1]), 1.0, 1e-9);
}

// A link whose arcs would come nearer than R + a to an island halves its radius until they keep
// that distance, or becomes a straight line.
TEST_F(TangentLinkTest, RadiusHalvesNearAnIsland) {
  pockEngine().pockToolRadius = 1;
  const std::vector<ContourElement> island = circle(10, 6, 1.5, -1);
  addInput(polygon({{-50, -50}, {50, -50}, {50, 50}, {-50, 50}}), 0);
  addInput(island, 0.5);
  struct Case {
    Point2D p0, d0, p1, d1;
    double r;
  };
  const Case cases[] = {
      {{0, 0}, {1, 0}, {20, 3}, {0.6, 0.8}, 8},
      {{0, 0}, {0, 1}, {20, 0}, {0, -1}, 10},
      {{5, 0}, {0, 1}, {15, 0}, {0, -1}, 6},
  };
  int halved = 0;
  for (const Case& c : cases) {
    ContourElement out[3];
    const int n = isectTangentLink(c.p0, c.d0, c.p1, c.d1, c.r, out);
    ASSERT_GE(n, 1) << c.p0.x << "," << c.p0.y << " r " << c.r;
    if (n == 1) continue;  // the straight fallback: its clearance is the linker's test
    for (int i = 0; i < n; ++i) {
      if (out[i].type != kContArc) continue;
      // The tool on the arc keeps R + a from the island.
      EXPECT_GT(linkClearance(&out[i], 1, island), 1 + 0.5 - 0.02) << c.p0.x << " arc " << i;
      if (out[i].radius < c.r - 1e-9) ++halved;
    }
  }
  EXPECT_GT(halved, 0);
}

// The roots of a x^2 + b x + c with the solver's tolerances.
TEST_F(TangentLinkTest, QuadraticTable) {
  struct Row {
    double a, b, c;
    int count;
    double r0, r1;
  };
  const Row rows[] = {
      {0, 2, -4, 1, 2, 0},               // linear
      {0.000001, 0.000001, 1, 0, 0, 0},  // neither quadratic nor linear
      {1, -3, 2, 2, 1, 2},               // two roots, smaller first
      {1, 2, 1, 1, -1, -1},              // double root
      {1, 0, 0.000002, 1, 0, 0},         // discriminant -0.000008: raised to 0, one root
      {1, 0, 1, 0, 0, 0},                // no real root
      {-1, 0, 4, 2, 2, -2},              // a negative a keeps the formula's order
  };
  for (const Row& row : rows) {
    double roots[2] = {0, 0};
    const int n = isectSolveQuadratic(row.a, row.b, row.c, roots);
    EXPECT_EQ(n, row.count) << row.a << " " << row.b << " " << row.c;
    if (n >= 1) {
      EXPECT_NEAR(roots[0], row.r0, 1e-3);
    }
    if (n == 2) {
      EXPECT_NEAR(roots[1], row.r1, 1e-9);
    }
  }
}

// The crossing rules of a segment against a contour.
TEST_F(TangentLinkTest, SegmentCrossesContour) {
  const std::vector<ContourElement> square = polygon({{0, 0}, {10, 0}, {10, 10}, {0, 10}});
  const std::vector<ContourElement> round = circle(20, 5, 3, 1);
  struct Row {
    ContourElement seg;
    const std::vector<ContourElement>* k;
    int expect;
  };
  const Row rows[] = {
      {contMakeLine(-5, 5, 15, 5, 0), &square, 1},  // straight through
      {contMakeLine(2, 2, 8, 8, 0), &square, 0},    // inside
      {contMakeLine(0, 5, 5, 5, 0), &square, 0},    // starts on the wall
      {contMakeLine(5, 5, 10, 5, 0), &square, 0},   // ends on the wall
      {contMakeLine(2, 0, 8, 0, 0), &square, 1},    // runs along a wall
      {contMakeLine(12, 8, 28, 8, 0), &round, 0},   // tangent to the circle
      {contMakeLine(12, 5, 28, 5, 0), &round, 1},   // through the circle
      {contMakeLine(12, 5, 20, 5, 0), &round, 1},   // into the circle: one contact inside
  };
  for (const Row& row : rows) {
    EXPECT_EQ(isectSegmentCrossesContour(row.seg, row.k->data(), static_cast<int>(row.k->size())),
              row.expect)
        << row.seg.p0 << "," << row.seg.p1 << " " << row.seg.p2 << "," << row.seg.p3;
  }
  ContourElement odd = square[0];
  odd.type = 7;
  EXPECT_EQ(isectSegmentCrossesContour(contMakeLine(-5, 0, 5, 0, 0), &odd, 1), -1);
}

// Short arcs become lines between their ends.
TEST_F(TangentLinkTest, ShortArcsBecomeLines) {
  ContourElement e[2] = {contMakeArc(0, 0, 1, 0, 1, 0.005, 1, 1, 3),
                         contMakeArc(0, 0, 1, 0, 0, 1, 1, 1, 0)};
  EXPECT_EQ(isectShortArcsToLines(e, 2), 2);
  EXPECT_EQ(e[0].type, kContLine);
  EXPECT_EQ(e[0].tag, 3);
  EXPECT_EQ(e[1].type, kContArc);
}

// The circle-fit radius: two circles of radius t on the normals of two points touch each other.
TEST_F(TangentLinkTest, CircleFitParam) {
  double t = 0;
  // Points 4 apart facing each other's normals inward: t = 1 makes the centres 2 apart.
  EXPECT_EQ(isectCircleFitParam({0, -1}, {0, 4}, {0, 1}, &t, {0, 0}), 0);
  EXPECT_NEAR(t, 1.0, 1e-9);
  // Normals pointing the same way at two points 3 apart along them: the roots are -1.5 and 1.5,
  // the larger one is the radius.
  EXPECT_EQ(isectCircleFitParam({1, 0}, {3, 0}, {1, 0}, &t, {0, 0}), 0);
  EXPECT_NEAR(t, 1.5, 1e-9);
}

// Without room for its work buffer the clearance tests report 3020 and call the link blocked: an
// untested link was taken as clear.
TEST_F(TangentLinkTest, NoWorkBufferMeansBlocked) {
  pockEngine().pockToolRadius = 1;
  addInput(polygon({{-50, -50}, {50, -50}, {50, 50}, {-50, 50}}), 0);
  const ContourElement arc = contMakeArc(0, 1, 0, 0, 0, 2, 1, 1, 0);
  const ContourElement line = contMakeLine(0, 0, 5, 0, 0);
  EXPECT_EQ(isectLinkArcBlocked(arc, {0, 0}, {0, 2}), 0);
  tangentLinkResetState();
  memTestFailAt(1);
  EXPECT_EQ(isectLinkArcBlocked(arc, {0, 0}, {0, 2}), 1);
  EXPECT_EQ(pockLastCode(), kPockCodeNoMemory);
  memTestFailAt(1);
  EXPECT_EQ(isectLinkLineBlocked(line), 1);
  memTestFailAt(0);
  EXPECT_EQ(isectLinkLineBlocked(line), 0);
  // With the buffer in place no further allocation is needed.
  memTestFailAt(1);
  EXPECT_EQ(isectLinkLineBlocked(line), 0);
  memTestFailAt(0);
}
