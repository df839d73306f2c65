// Repairs and reductions of contours: arc centres against the equal-distance and closed-form
// oracles, the thresholds of the flat-arc, split, merge and reduce operations as tables, the
// clean-up table, and the reduction of a polyline circle against its Hausdorff distance and an
// exact crossing test.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <numbers>
#include <random>
#include <string>
#include <vector>

#include "offset_oracles.h"
#include "pocket/contour_reduce.h"
#include "pocket/contour_repair.h"
#include "pocket/engine_state.h"
#include "pocket/layer_store.h"

namespace {
using pocktest::polygon;
constexpr double kPi = std::numbers::pi;

class ContourRepairTest : public ::testing::Test {
 protected:
  void SetUp() override {
    pockRunReset();
    layerResetState();
  }
  void TearDown() override {
    pockRunReset();
    layerResetState();
  }
};

ContourElement arcDeg(double cx, double cy, double r, double fromDeg, double toDeg, int dir) {
  const double a = fromDeg * kPi / 180, b = toDeg * kPi / 180;
  return contMakeArc(cx, cy, cx + r * std::cos(a), cy + r * std::sin(a), cx + r * std::cos(b),
                     cy + r * std::sin(b), r, dir, 0);
}

TEST_F(ContourRepairTest, ArcCentreFromEndsIsTheShorterArcsCentre) {
  // A counter-clockwise quarter about (3, 4) of radius 5 keeps its centre; the clockwise arc
  // between the same ends gets the mirrored centre (the centre of its own shorter arc).
  ContourElement a = arcDeg(3, 4, 5, 10, 100, 1);
  a.p0 = 99;
  a.p1 = -99;
  ASSERT_EQ(contArcCentreFromEnds(&a), 1);
  EXPECT_NEAR(a.p0, 3, 1e-12);
  EXPECT_NEAR(a.p1, 4, 1e-12);
  ContourElement b = arcDeg(3, 4, 5, 100, 10, -1);
  ASSERT_EQ(contArcCentreFromEnds(&b), 1);
  EXPECT_NEAR(b.p0, 3, 1e-12);
  EXPECT_NEAR(b.p1, 4, 1e-12);
  // Refusals leave the element as it was.
  ContourElement small = arcDeg(0, 0, 1, 0, 0.00001, 1);  // chord below 1e-6
  const ContourElement before = small;
  EXPECT_EQ(contArcCentreFromEnds(&small), 0);
  EXPECT_EQ(small.p0, before.p0);
  ContourElement tight = contMakeArc(0, 0, -1, 0, 1, 0, 0.9, 1, 0);  // radius below half the chord
  EXPECT_EQ(contArcCentreFromEnds(&tight), 0);
  ContourElement line = contMakeLine(0, 0, 1, 1, 0);
  EXPECT_EQ(contArcCentreFromEnds(&line), 0);
}

TEST_F(ContourRepairTest, ArcFitEndsSnapsTheRadiusOrMakesALine) {
  // The centre lies 0.0005 closer to the start than to the end: the radius becomes the mean of
  // the two distances, the centre stays.
  ContourElement a = contMakeArc(0, 0, 10, 0, 0, 10.0005, 10.2, 1, 0);
  a.radius = 10.0004;
  contArcFitEnds(&a);
  EXPECT_EQ(a.type, kContArc);
  EXPECT_DOUBLE_EQ(a.radius, (10.0 + 10.0005) / 2.0);
  EXPECT_EQ(a.p0, 0.0);
  // A centre far from where the chord and radius put it: a line between the same ends.
  ContourElement b = contMakeArc(20, 20, 10, 0, 0, 10, 3, 1, 7);
  contArcFitEnds(&b);
  EXPECT_EQ(b.type, kContLine);
  EXPECT_EQ(b.tag, 7);
  EXPECT_EQ(b.p0, 10.0);
  EXPECT_EQ(b.p3, 10.0);
  // A full circle keeps its centre and stays an arc.
  ContourElement c = contMakeArc(1, 1, 3, 1, 3, 1, 2, 1, 0);
  contArcFitEnds(&c);
  EXPECT_EQ(c.type, kContArc);
  // An arc whose radius grew by more than 0.001 keeps that radius.
  ContourElement d = arcDeg(0, 0, 4, 0, 60, 1);
  d.radius = 4.01;
  contArcFitEnds(&d);
  EXPECT_EQ(d.radius, 4.01);
}

TEST_F(ContourRepairTest, ArcEndMoveFlipsOnReversedOrVanishingChord) {
  const ContourElement a = arcDeg(0, 0, 10, 0, 30, 1);
  const Point2D start{a.p2, a.p3}, end{a.p4, a.p5};
  EXPECT_EQ(contArcEndMoveFlips(a, Point2D{end.x + 0.01, end.y}, 2), 0);
  // The end moved behind the start reverses the chord.
  EXPECT_EQ(contArcEndMoveFlips(a, Point2D{start.x + (start.x - end.x), start.y - 1}, 2), 1);
  // The start moved onto the end leaves no chord.
  EXPECT_EQ(contArcEndMoveFlips(a, end, 1), 1);
}

TEST_F(ContourRepairTest, RecentredArcsAreEquidistantFromBothEnds) {
  std::mt19937 rng(3);
  std::uniform_real_distribution<double> u(-100, 100), ur(0.5, 200), ua(0.05, 3.0), un(-1e-3, 1e-3);
  std::vector<ContourElement> arcs;
  for (int k = 0; k < 2000; ++k) {
    const double r = ur(rng), a0 = u(rng);
    ContourElement e = arcDeg(u(rng), u(rng), r, a0, a0 + ua(rng) * 180 / kPi, k % 2 ? 1 : -1);
    e.p0 += un(rng);  // a centre slightly off the bisector
    e.p1 += un(rng);
    arcs.push_back(e);
  }
  std::vector<ContourElement> before = arcs;
  contArcsRecentre(arcs.data(), static_cast<int>(arcs.size()));
  for (size_t k = 0; k < arcs.size(); ++k) {
    const ContourElement& e = arcs[k];
    const double ds = std::hypot(e.p2 - e.p0, e.p3 - e.p1);
    const double de = std::hypot(e.p4 - e.p0, e.p5 - e.p1);
    ASSERT_NEAR(ds, de, 1e-12 * e.radius * 10) << k;
    EXPECT_EQ(e.radius, before[k].radius);
    // The centre stays on its side of the chord.
    const double sideBefore = (before[k].p4 - before[k].p2) * (before[k].p1 - before[k].p3) -
                              (before[k].p5 - before[k].p3) * (before[k].p0 - before[k].p2);
    const double sideAfter = (e.p4 - e.p2) * (e.p1 - e.p3) - (e.p5 - e.p3) * (e.p0 - e.p2);
    EXPECT_GT(sideBefore * sideAfter, 0) << k;
  }
  // A centre within contTol of the chord's line goes to the chord's middle.
  ContourElement half = contMakeArc(0, 0.00005, -5, 0, 5, 0, 5, 1, 0);
  contArcsRecentre(&half, 1);
  EXPECT_EQ(half.p0, 0.0);
  EXPECT_EQ(half.p1, 0.0);
}

TEST_F(ContourRepairTest, SplitLargeArcsAtQuarterCircles) {
  struct Case {
    const char* name;
    double sweepDeg;
    int parts;
  };
  const Case cases[] = {{"half circle", 180, 2},
                        {"quarter", 90, 2},
                        {"just below a quarter", 89.9, 1},
                        {"three quarters", 270, 2}};
  for (const Case& c : cases) {
    std::vector<ContourElement> v(4);
    v[0] = arcDeg(0, 0, 10, 0, c.sweepDeg, 1);
    const int n = contSplitLargeArcs(v.data(), 1, 4);
    ASSERT_EQ(n, c.parts) << c.name;
    if (n == 2) {
      EXPECT_NEAR(pocktest::sweepOf(v[0]), c.sweepDeg / 2 * kPi / 180, 1e-9) << c.name;
      EXPECT_NEAR(pocktest::sweepOf(v[1]), c.sweepDeg / 2 * kPi / 180, 1e-9) << c.name;
      EXPECT_EQ(v[0].p4, v[1].p2) << c.name;
      EXPECT_NEAR(v[0].radius, 10, 1e-9) << c.name;
    }
  }
  // Splits run from the last element to the first while there is room.
  std::vector<ContourElement> v = {
      arcDeg(0, 0, 1, 0, 180, 1), contMakeLine(-1, 0, 1, 0, 0), arcDeg(0, 0, 1, 180, 360, 1), {}};
  EXPECT_EQ(contSplitLargeArcs(v.data(), 3, 4), 4);
  EXPECT_EQ(v[0].type, kContArc);
  EXPECT_NEAR(pocktest::sweepOf(v[0]), kPi, 1e-9);  // no room left for the first arc
  EXPECT_EQ(v[1].type, kContLine);
  EXPECT_NEAR(pocktest::sweepOf(v[2]), kPi / 2, 1e-9);
  EXPECT_NEAR(pocktest::sweepOf(v[3]), kPi / 2, 1e-9);
}

TEST_F(ContourRepairTest, ArcsToLinesLeavesTheLastElement) {
  std::vector<ContourElement> v = {contMakeArc(0, 20000, 0, 0, 10, 0.0025, 20000, 1, 3),
                                   arcDeg(0, 0, 10, 0, 30, 1),
                                   contMakeArc(0, 20000, 10, 0, 0, 0, 20000, -1, 0)};
  EXPECT_EQ(contArcsToLines(v.data(), 3), 1);
  EXPECT_EQ(v[0].type, kContLine);
  EXPECT_EQ(v[0].tag, 3);
  EXPECT_EQ(v[1].type, kContArc);
  EXPECT_EQ(v[2].type, kContArc);
  EXPECT_EQ(contArcsToLines(v.data(), 3), 0);
}

// Three chained elements with a short middle one of length 0.005 and the two corner senses.
std::vector<ContourElement> kink(bool zigzag) {
  // In along +x, a short step up, out along +x (zigzag: left then right turn), or a chamfer
  // between two left turns (out along +y).
  if (zigzag) {
    return polygon({{0, 0}, {10, 0}, {10, 0.005}, {20, 0.005}, {20, 10}, {0, 10}});
  }
  return polygon({{0, 0}, {10, 0}, {10.004, 0.003}, {10.004, 10}, {0, 10}});
}

TEST_F(ContourRepairTest, MergeShortElementsTable) {
  struct Case {
    const char* name;
    std::vector<ContourElement> contour;
    double maxLen;
    int expected;
  };
  const Case cases[] = {
      {"zigzag step removed", kink(true), 0.01, 5},
      {"chamfer between two left turns kept", kink(false), 0.01, 5},
      {"step longer than maxLen kept", kink(true), 0.004, 6},
      {"two elements unchanged", polygon({{0, 0}, {1, 0}}), 10, 2},
  };
  for (const Case& c : cases) {
    std::vector<ContourElement> v = c.contour;
    const int n = contMergeShortElems(v.data(), static_cast<int>(v.size()), c.maxLen);
    EXPECT_EQ(n, c.expected) << c.name;
    if (n == 5 && std::string(c.name) == "zigzag step removed") {
      // The neighbours meet at the middle of the removed step.
      EXPECT_DOUBLE_EQ(v[0].p2, 10.0);
      EXPECT_DOUBLE_EQ(v[0].p3, 0.0025);
      EXPECT_DOUBLE_EQ(v[1].p0, 10.0);
      EXPECT_DOUBLE_EQ(v[1].p1, 0.0025);
    }
  }
}

// A closed polygon of n points on a circle, every other corner pushed out by bump.
std::vector<ContourElement> ring(int n, double r, double bump) {
  std::vector<Point2D> p;
  for (int i = 0; i < n; ++i) {
    const double a = 2 * kPi * i / n, rr = r + (i % 2 ? bump : 0);
    p.push_back({rr * std::cos(a), rr * std::sin(a)});
  }
  return polygon(p);
}

TEST_F(ContourRepairTest, ReduceWorksAboveSixtyFourElements) {
  // 64 elements: nothing is done even with short zigzag steps to merge.
  std::vector<ContourElement> v64 = ring(64, 0.05, 0.01);
  int n = 64;
  EXPECT_EQ(contReduce(v64.data(), &n, 0.1), 0);
  EXPECT_EQ(n, 64);
  // 65 elements with nothing to merge (long edges): 0, the count kept.
  std::vector<ContourElement> v65 = ring(65, 100, 0);
  n = 65;
  EXPECT_EQ(contReduce(v65.data(), &n, 0.1), 0);
  EXPECT_EQ(n, 65);
  // 66 short zigzag elements: merged down, 1 with the smaller count.
  std::vector<ContourElement> zig = ring(66, 0.5, 0.02);
  n = 66;
  EXPECT_EQ(contReduce(zig.data(), &n, 0.1), 1);
  EXPECT_LT(n, 66);
}

TEST_F(ContourRepairTest, CleanupTable) {
  // A 0.0001-long line between two lines: removed, the next line starting at its start.
  std::vector<ContourElement> a = polygon({{0, 0}, {10, 0}, {10.0001, 0}, {10.0001, 10}, {0, 10}});
  int n = contCleanup(a.data(), static_cast<int>(a.size()));
  ASSERT_EQ(n, 4);
  EXPECT_EQ(a[1].p0, 10.0);
  EXPECT_EQ(a[1].p1, 0.0);
  EXPECT_EQ(a[1].p2, 10.0001);
  // An arc of radius 0.004 becomes a line; an element of another type is removed.
  std::vector<ContourElement> b = polygon({{0, 0}, {10, 0}, {10, 10}, {0, 10}});
  b[1] = contMakeArc(10.004, 5, 10, 0, 10, 10, 0.004, 1, 0);
  ContourElement odd = contMakeLine(0, 10, 0, 0, 0);
  odd.type = 7;
  b[3] = odd;
  n = contCleanup(b.data(), 4);
  ASSERT_EQ(n, 3);
  EXPECT_EQ(b[1].type, kContLine);
  EXPECT_EQ(b[2].p2, 0.0);
  EXPECT_EQ(b[2].p3, 10.0);
  // Two degenerate elements in a row hand the first one's start on.
  std::vector<ContourElement> c =
      polygon({{0, 0}, {10, 0}, {10.0001, 0.0001}, {10.0002, 0}, {10, 10}, {0, 10}});
  n = contCleanup(c.data(), 6);
  ASSERT_EQ(n, 4);
  EXPECT_EQ(c[1].p0, 10.0);
  EXPECT_EQ(c[1].p1, 0.0);
}

// The largest distance of the dense samples of a from contour b and back.
double hausdorff(const ContourElement* a, int na, const ContourElement* b, int nb) {
  double worst = 0;
  for (const Point2D& p : pocktest::contourSamples(a, na, 0.05)) {
    worst = std::max(worst, pocktest::contourDist(p, b, nb));
  }
  for (const Point2D& p : pocktest::contourSamples(b, nb, 0.05)) {
    worst = std::max(worst, pocktest::contourDist(p, a, na));
  }
  return worst;
}

TEST_F(ContourRepairTest, ThousandLineCircleReducesToFewArcs) {
  std::vector<Point2D> p;
  for (int i = 0; i < 1000; ++i) {
    const double t = 2 * kPi * i / 1000;
    p.push_back({30 + 40 * std::cos(t), -20 + 40 * std::sin(t)});
  }
  const std::vector<ContourElement> source = polygon(p, 5);
  std::vector<ContourElement> v = source;
  const double tol = 0.01;
  const int n = contReduceShort(v.data(), 1000, tol, 0);
  ASSERT_GT(n, 0);
  EXPECT_LT(n, 40);
  int arcs = 0;
  for (int i = 0; i < n; ++i) arcs += v[i].type == kContArc;
  EXPECT_GT(arcs, 0);
  EXPECT_LE(hausdorff(v.data(), n, source.data(), 1000), tol);
  EXPECT_FALSE(pocktest::polygonSelfCrosses(pocktest::contourPolygon(v.data(), n)));
  for (int i = 0; i < n; ++i) EXPECT_EQ(v[i].tag, 5);
  // "suppressReduction" and short contours without force leave everything as it was.
  pockEngine().paramSuppressReduction = 1;
  std::vector<ContourElement> w = source;
  EXPECT_EQ(contReduceShort(w.data(), 1000, tol, 1), 1000);
  pockEngine().paramSuppressReduction = 0;
  EXPECT_EQ(contReduceShort(w.data(), 64, tol, 0), 64);
  EXPECT_EQ(w[0].p2, source[0].p2);
}

// Splitting the large arcs of the reduced copy made it longer than the contour, and the longer
// copy was written over the end of the caller's array; such a copy now leaves the contour alone.
TEST_F(ContourRepairTest, ReductionNeverGrowsTheContour) {
  std::vector<ContourElement> v;
  for (int i = 0; i < 70; ++i) {
    v.push_back(contMakeArc(2 * i + 1, 0, 2 * i + 2, 0, 2 * i, 0, 1, 1, 0));  // bumps of radius 1
  }
  std::reverse(v.begin(), v.end());  // from x = 140 back to 0 over the top
  const std::vector<ContourElement> tail = polygon({{0, 0}, {0, -5}, {140, -5}, {140, 0}});
  v.insert(v.end(), tail.begin(), tail.end() - 1);
  ASSERT_EQ(v.size(), 73u);
  const std::vector<ContourElement> before = v;
  EXPECT_EQ(contReduceShort(v.data(), 73, 0.01, 1), 73);
  EXPECT_EQ(std::memcmp(v.data(), before.data(), sizeof(ContourElement) * 73), 0);
}

TEST_F(ContourRepairTest, ReduceChainsFitsRunsOfTenLines) {
  // A run of 9 lines with one tag is copied; a run of 10 goes through the arc fitter.
  for (int runLength : {9, 10}) {
    std::vector<ContourElement> v;
    for (int i = 0; i < runLength; ++i) {
      const double a0 = kPi * i / 120, a1 = kPi * (i + 1) / 120;  // 1.5 degree steps
      v.push_back(contMakeLine(50 * std::cos(a0), 50 * std::sin(a0), 50 * std::cos(a1),
                               50 * std::sin(a1), 2));
    }
    v.push_back(arcDeg(0, 0, 50, 180.0 * runLength / 120, 360, 1));
    std::vector<ContourElement> out(v.size());
    const int n = contReduceChains(v.data(), static_cast<int>(v.size()), 0.01, out.data());
    if (runLength == 9) {
      ASSERT_EQ(n, 10);
      for (int i = 0; i < n; ++i) EXPECT_EQ(std::memcmp(&out[i], &v[i], sizeof v[i]), 0);
    } else {
      ASSERT_EQ(n, 2);
      EXPECT_EQ(out[0].type, kContArc);
      EXPECT_NEAR(out[0].radius, 50, 0.01);
      EXPECT_EQ(out[1].type, kContArc);
      EXPECT_EQ(out[0].tag, 2);
    }
  }
}

TEST_F(ContourRepairTest, LayerReduceReplacesEachContour) {
  ASSERT_EQ(layerCreate("GKT"), 1);
  std::vector<Point2D> p;
  for (int i = 0; i < 200; ++i) {
    const double t = 2 * kPi * i / 200;
    p.push_back({20 * std::cos(t), 20 * std::sin(t)});
  }
  const std::vector<ContourElement> circle = polygon(p);
  const std::vector<ContourElement> square = polygon({{0, 0}, {1, 0}, {1, 1}, {0, 1}});
  ContourHeader h{};
  h.count = 200;
  ASSERT_EQ(layerInsertContour("GKT", circle.data(), &h, -1), 1);
  h.count = 4;
  ASSERT_EQ(layerInsertContour("GKT", square.data(), &h, -1), 1);
  EXPECT_EQ(layerReduceContours("GKT", 0.01, 0), 1);
  ContourHeader got{};
  ASSERT_EQ(layerGetHeader("GKT", &got, 0), 0);
  EXPECT_LT(got.count, 200);
  ASSERT_EQ(layerGetHeader("GKT", &got, 1), 1);
  EXPECT_EQ(got.count, 4);
  EXPECT_EQ(layerReduceContours("NOLAYER", 0.01, 0), 1);
}

}  // namespace
