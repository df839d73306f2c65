// Connection search between rings: element distances against a dense sampling, the margin rules
// of the choices, the link tables, and the searches on rings with known exits.
#include <gtest/gtest.h>

#include <cmath>
#include <random>
#include <vector>

#include "contour_fixtures.h"
#include "offset_oracles.h"
#include "pocket/engine_state.h"
#include "pocket/link_search.h"

namespace {
using pocktest::elemDist;
using pocktest::sweepOf;

class LinkSearchTest : public ::testing::Test {
 protected:
  void SetUp() override {
    pockRunReset();
    linkSearchResetState();
  }
  void TearDown() override {
    linkSearchResetState();
    pockRunReset();
  }
};

Point2D pointAt(const ContourElement& e, double t) {
  if (e.type == kContLine) return {e.p0 + t * (e.p2 - e.p0), e.p1 + t * (e.p3 - e.p1)};
  const double a = std::atan2(e.p3 - e.p1, e.p2 - e.p0) + t * sweepOf(e);
  return {e.p0 + e.radius * std::cos(a), e.p1 + e.radius * std::sin(a)};
}

// The smallest distance between two elements: dense samples along a, each sampled local minimum
// refined by golden sections within its two neighbouring intervals.
double sampledMin(const ContourElement& a, const ContourElement& b) {
  auto f = [&](double t) { return elemDist(pointAt(a, t), b); };
  constexpr int kSamples = 400;
  std::vector<double> v(kSamples + 1);
  for (int i = 0; i <= kSamples; ++i) v[i] = f(static_cast<double>(i) / kSamples);
  double best = 1e300;
  for (int i = 0; i <= kSamples; ++i) {
    best = std::min(best, v[i]);
    const bool localMin = (i == 0 || v[i] <= v[i - 1]) && (i == kSamples || v[i] <= v[i + 1]);
    if (!localMin) continue;
    const double t0 = static_cast<double>(i) / kSamples;
    double lo = std::max(0.0, t0 - 1.0 / kSamples), hi = std::min(1.0, t0 + 1.0 / kSamples);
    for (int k = 0; k < 60; ++k) {
      const double m1 = lo + (hi - lo) * 0.382, m2 = lo + (hi - lo) * 0.618;
      if (f(m1) < f(m2)) {
        hi = m2;
      } else {
        lo = m1;
      }
    }
    best = std::min(best, f(0.5 * (lo + hi)));
  }
  return best;
}

ContourElement randomElement(std::mt19937& rng) {
  std::uniform_real_distribution<double> c(-10.0, 10.0), r(0.5, 8.0), s(0.2, 3.0);
  if (rng() % 2 == 0) return contMakeLine(c(rng), c(rng), c(rng), c(rng), 0);
  const Point2D m{c(rng), c(rng)};
  const double rad = r(rng), a0 = c(rng), sweep = s(rng) * (rng() % 2 == 0 ? 1.0 : -1.0);
  const Point2D p{m.x + rad * std::cos(a0), m.y + rad * std::sin(a0)};
  const Point2D q{m.x + rad * std::cos(a0 + sweep), m.y + rad * std::sin(a0 + sweep)};
  return contMakeArc(m.x, m.y, p.x, p.y, q.x, q.y, rad, sweep > 0 ? 1 : -1, 0);
}

// On random line and arc pairs the distance lies between the sampled minimum and the minimum plus
// the margin (the earliest candidate within the margin wins), is the distance of the two points
// returned, and those points lie on their elements. Crossing lines answer their end-point minimum.
TEST_F(LinkSearchTest, ElementDistanceAgainstDenseSampling) {
  std::mt19937 rng(2024);
  int disjoint = 0;
  for (int round = 0; round < 10000; ++round) {
    const ContourElement a = randomElement(rng), b = randomElement(rng);
    Point2D pa{0, 0}, pb{0, 0};
    const double d = linkElemDistance(a, b, &pa, &pb);
    const double m = std::min(sampledMin(a, b), sampledMin(b, a));
    ASSERT_NEAR(std::hypot(pa.x - pb.x, pa.y - pb.y), d, 1e-6) << round;
    ASSERT_LT(elemDist(pa, a), 1e-6) << round;
    ASSERT_LT(elemDist(pb, b), 1e-6) << round;
    ASSERT_GE(d, m - 1e-6) << round;
    const bool crossingLines = a.type == kContLine && b.type == kContLine && m < 1e-9;
    if (crossingLines) {
      const double ends = std::min({elemDist({a.p0, a.p1}, b), elemDist({a.p2, a.p3}, b),
                                    elemDist({b.p0, b.p1}, a), elemDist({b.p2, b.p3}, a)});
      ASSERT_NEAR(d, ends, 0.05 + 1e-9) << round;
      ASSERT_GE(d, ends - 1e-9) << round;
    } else if (m > 1e-3) {
      ++disjoint;
      ASSERT_LT(d, m + kLinkMargin + 1e-6) << round;
    }
  }
  EXPECT_GT(disjoint, 5000);
}

TEST_F(LinkSearchTest, ElementDistanceListedCases) {
  Point2D pa{0, 0}, pb{0, 0};
  // The second candidate (b's start to a) wins; the equally near fourth does not replace it.
  EXPECT_DOUBLE_EQ(
      linkElemDistance(contMakeLine(0, 0, 10, 0, 0), contMakeLine(5, 3, 15, 3, 0), &pa, &pb), 3.0);
  EXPECT_EQ(pa.x, 5.0);
  EXPECT_EQ(pa.y, 0.0);
  EXPECT_EQ(pb.x, 5.0);
  EXPECT_EQ(pb.y, 3.0);
  // Two crossing lines never give 0.
  const double cross =
      linkElemDistance(contMakeLine(0, 0, 10, 0, 0), contMakeLine(5, -1, 5, 4, 0), &pa, &pb);
  EXPECT_DOUBLE_EQ(cross, 1.0);
  // A line and an arc above it: the perpendicular from the centre gives the gap 2, in either order.
  const ContourElement line = contMakeLine(-5, 0, 5, 0, 0);
  const ContourElement low = contMakeArc(0, 7, 4, 4, -4, 4, 5, -1, 0);  // passes through (0, 2)
  Point2D qa{0, 0}, qb{0, 0};
  EXPECT_NEAR(linkElemDistance(line, low, &pa, &pb), 2.0, 1e-12);
  EXPECT_NEAR(linkElemDistance(low, line, &qa, &qb), 2.0, 1e-12);
  EXPECT_NEAR(pa.x, 0.0, 1e-12);
  EXPECT_NEAR(pb.y, 2.0, 1e-12);
  EXPECT_EQ(qa.x, pb.x);
  EXPECT_EQ(qb.x, pa.x);
  // Another element type measures 0.
  ContourElement other = line;
  other.type = 3;
  EXPECT_EQ(linkElemDistance(other, line, &pa, &pb), 0.0);
}

TEST_F(LinkSearchTest, ArgMinAndOrderUseTheMargin) {
  struct Case {
    std::vector<double> values;
    int index;
  };
  for (const Case& c : {Case{{5.0, 4.96, 4.9}, 2}, Case{{5.0, 4.96}, 0}, Case{{1.0}, 0},
                        Case{{3.0, 2.9, 2.86}, 1}, Case{{2.0, 1.96, 1.92}, 2}}) {
    EXPECT_EQ(linkArgMin(c.values.data(), static_cast<int>(c.values.size())), c.index);
  }
  const ContourElement line = contMakeLine(0, 0, 10, 0, 0);
  EXPECT_EQ(linkElemOrder(line, {5, 0}, {5, 0}), 0);
  EXPECT_EQ(linkElemOrder(line, {5, 0}, {4.96, 0}), 1);  // before by less than the margin
  EXPECT_EQ(linkElemOrder(line, {5, 0}, {4.9, 0}), -1);
  EXPECT_EQ(linkElemOrder(line, {5, 0}, {6, 0}), 1);
  // A clockwise quarter from (10, 0) to (0, -10) about the origin: (0, -10) comes after (10, 0).
  const ContourElement arc = contMakeArc(0, 0, 10, 0, 0, -10, 10, -1, 0);
  EXPECT_EQ(linkElemOrder(arc, {0, -10}, {10, 0}), -1);
  EXPECT_EQ(linkElemOrder(arc, {10, 0}, {0, -10}), 1);
  ContourElement other = line;
  other.type = 0;
  EXPECT_EQ(linkElemOrder(other, {5, 0}, {1, 0}), 0);
}

// Elements of b at 2.00, 2.03 and 2.10 from e: the first two stay candidates; with the link tables
// the one first along e is chosen, without them the last candidate.
TEST_F(LinkSearchTest, ContourDistanceWithAndWithoutTables) {
  const ContourElement e = contMakeLine(0, 0, 10, 0, 0);
  const std::vector<ContourElement> b = {contMakeLine(6, 2.0, 7, 2.0, 0),
                                         contMakeLine(2, 2.03, 3, 2.03, 0),
                                         contMakeLine(8, 2.10, 9, 2.10, 0)};
  Point2D p{0, 0};
  LinkRef r{};
  EXPECT_NEAR(linkContourDistance(e, b.data(), 3, &p, &r), 2.03, 1e-12);
  EXPECT_EQ(r.element, 2);
  EXPECT_DOUBLE_EQ(p.x, 2.0);
  const std::vector<ContourElement> b2 = {b[1], b[0], b[2]};  // 2.03 first, then 2.00
  EXPECT_NEAR(linkContourDistance(e, b2.data(), 3, &p, &r), 2.0, 1e-12);
  EXPECT_EQ(r.element, 2);  // the last candidate
  EXPECT_DOUBLE_EQ(p.x, 6.0);
  ASSERT_EQ(linkTablesCreate(), 1);
  EXPECT_NEAR(linkContourDistance(e, b2.data(), 3, &p, &r), 2.0, 1e-12);
  EXPECT_EQ(linkTableCount(), 2);
  EXPECT_EQ(r.element, 1);  // first along e
  EXPECT_DOUBLE_EQ(p.x, 2.0);
  EXPECT_DOUBLE_EQ(r.point.y, 2.03);
  // More equally near candidates than the tables hold: the last slot is reused.
  std::vector<ContourElement> many;
  for (int i = 0; i < kLinkTableSize + 50; ++i) {
    const double x = 10.0 - 0.002 * i;
    many.push_back(contMakeLine(x, 2, x - 0.001, 2, 0));
  }
  EXPECT_NEAR(linkContourDistance(e, many.data(), static_cast<int>(many.size()), &p, &r), 2.0,
              1e-12);
  EXPECT_EQ(linkTableCount(), kLinkTableSize);
  EXPECT_EQ(r.element, static_cast<int>(many.size()));  // the reused slot is the earliest
  EXPECT_EQ(linkContourDistance(e, nullptr, 0, &p, &r), 0.0);
}

std::vector<ContourElement> square(double half, int tag = 0) {
  return {contMakeLine(-half, -half, half, -half, tag), contMakeLine(half, -half, half, half, tag),
          contMakeLine(half, half, -half, half, tag), contMakeLine(-half, half, -half, -half, tag)};
}

std::vector<ContourElement> circle(double r) {
  return {contMakeArc(0, 0, r, 0, 0, r, r, 1, 0), contMakeArc(0, 0, 0, r, -r, 0, r, 1, 0),
          contMakeArc(0, 0, -r, 0, 0, -r, r, 1, 0), contMakeArc(0, 0, 0, -r, r, 0, r, 1, 0)};
}

// Concentric squares and circles 4 apart: with reach 4 the exit lies on the element of the start
// point itself; with reach 3.9 nothing is within reach (3.9 + 0.05 < 4).
TEST_F(LinkSearchTest, ForwardOnConcentricRings) {
  const LinkRef entry{0, {0, 0}};
  for (const bool round : {false, true}) {
    const auto a = round ? circle(14) : square(14);
    const auto b = round ? circle(10) : square(10);
    for (int k = 1; k <= 4; ++k) {
      Point2D m{0, 0};
      contElemPoint(a[k - 1], &m, 3);
      LinkRef exit{}, in{};
      ASSERT_EQ(linkSearchForward(a.data(), 4, b.data(), 4, LinkRef{k, m}, entry, 4.0, &exit, &in),
                1);
      EXPECT_EQ(exit.element, k) << round;
      EXPECT_NEAR(std::hypot(exit.point.x - in.point.x, exit.point.y - in.point.y), 4.0, 1e-9);
      EXPECT_EQ(linkSearchForward(a.data(), 4, b.data(), 4, LinkRef{k, m}, entry, 3.9, &exit, &in),
                0);
    }
  }
  // Start given as the symbolic start: element 1.
  const auto a = square(14), b = square(10);
  LinkRef exit{}, in{};
  ASSERT_EQ(linkSearchForward(a.data(), 4, b.data(), 4, LinkRef{0, {}}, entry, 4.0, &exit, &in), 1);
  EXPECT_EQ(exit.element, 1);
  EXPECT_EQ(exit.point.x, -10.0);  // the foot of the inner square's corner
  // An entry position with another element is refused.
  EXPECT_EQ(
      linkSearchForward(a.data(), 4, b.data(), 4, LinkRef{0, {}}, LinkRef{2, {}}, 4.0, &exit, &in),
      0);
  EXPECT_EQ(pockLastCode(), kPockCodeNotRealised);
}

// A ring of separate pieces at known distances from a long line: after a first hit at 3.9 an
// element at 3.6 does not replace it (not below 3.51), one at 3.4 does; only 20 elements after the
// first hit are examined; without hits ahead the scan wraps to the start.
TEST_F(LinkSearchTest, ForwardKeepsTheFirstHitUnlessClearlyNearer) {
  const std::vector<ContourElement> b = {contMakeLine(-100, 0, 200, 0, 0)};
  auto ring = [](const std::vector<double>& heights) {
    std::vector<ContourElement> a;
    for (std::size_t i = 0; i < heights.size(); ++i) {
      const double x = 2.0 * static_cast<double>(i);
      a.push_back(contMakeLine(x, heights[i], x + 1, heights[i], 0));
    }
    return a;
  };
  const LinkRef entry{0, {}};
  struct Case {
    std::vector<double> heights;
    int from, exit;
  };
  std::vector<double> late(30, 20.0);
  late[1] = 3.9;
  late[23] = 1.0;  // 22 elements after the first hit: not examined
  std::vector<double> inWindow = late;
  inWindow[23] = 20.0;
  inWindow[22] = 1.0;  // 21st element after the hit: not examined either
  std::vector<double> lastExamined = late;
  lastExamined[23] = 20.0;
  lastExamined[21] = 1.0;  // 20th after the hit: examined
  for (const Case& c : {Case{{10, 3.9, 20, 3.6, 20}, 1, 2}, Case{{10, 3.9, 20, 3.4, 20}, 1, 4},
                        Case{{10, 20, 20, 3.6, 20}, 3, 4}, Case{{3.0, 20, 20, 20, 20}, 3, 1},
                        Case{{20, 20, 20, 20, 20}, 2, 0}, Case{late, 1, 2}, Case{inWindow, 1, 2},
                        Case{lastExamined, 1, 22}}) {
    const auto a = ring(c.heights);
    Point2D start{0, 0};
    contElemPoint(a[c.from - 1], &start, 1);
    LinkRef exit{}, in{};
    const int r = linkSearchForward(a.data(), static_cast<int>(a.size()), b.data(), 1,
                                    LinkRef{c.from, start}, entry, 4.0, &exit, &in);
    EXPECT_EQ(r, c.exit == 0 ? 0 : 1);
    if (c.exit != 0) {
      EXPECT_EQ(exit.element, c.exit);
    }
  }
}

// The bounded search measures the walk to the nearest place: from the start of a 20-square's
// bottom edge to a target line near the middle of its right edge the walk is 20 + 9.5.
TEST_F(LinkSearchTest, BoundedSearchMeasuresTheWalk) {
  const auto a = square(10);
  const std::vector<ContourElement> b = {contMakeLine(12, -0.5, 12, 0.5, 0)};
  const LinkRef entry{0, {}};
  LinkRef exit{}, in{};
  double best = 1000.0;
  ASSERT_EQ(
      linkSearchBounded(a.data(), 4, b.data(), 1, LinkRef{0, {}}, entry, 3.0, &best, &exit, &in),
      1);
  EXPECT_EQ(exit.element, 2);
  EXPECT_NEAR(best, 20.0 + 9.5, 1e-9);  // the first point within reach along the edge
  double shorter = 25.0;
  EXPECT_EQ(
      linkSearchBounded(a.data(), 4, b.data(), 1, LinkRef{0, {}}, entry, 3.0, &shorter, &exit, &in),
      -1);
  EXPECT_EQ(shorter, 25.0);
  double any = 1000.0;
  EXPECT_EQ(
      linkSearchBounded(a.data(), 4, b.data(), 1, LinkRef{0, {}}, entry, 1.0, &any, &exit, &in), 0);
}

// The branch search leaves at the end of the element tagged with the child's node, walking
// backward from the stack entry's end, and enters the child ring at the first place within reach.
TEST_F(LinkSearchTest, BranchLeavesAtTheChildsElement) {
  auto a = square(14);
  a[1].tag = 7;
  const auto b = square(10);
  LinkStackEntry e{};
  e.node = 0;
  e.from = LinkRef{0, {}};
  e.to = LinkRef{-1, {}};
  LinkRef exit{}, in{};
  ASSERT_EQ(linkSearchBranch(a.data(), 4, b.data(), 4, 7, e, LinkRef{0, {}}, 6.0, &exit, &in), 1);
  EXPECT_EQ(exit.element, 2);
  EXPECT_EQ(exit.point.x, 14.0);
  EXPECT_EQ(exit.point.y, 14.0);
  EXPECT_EQ(in.element, 2);  // the corner (10, 10), 4 sqrt 2 away
  EXPECT_DOUBLE_EQ(in.point.x, 10.0);
  EXPECT_DOUBLE_EQ(in.point.y, 10.0);
  // No element of that child: the forward search from the entry's end.
  ASSERT_EQ(linkSearchBranch(a.data(), 4, b.data(), 4, 9, e, LinkRef{0, {}}, 6.0, &exit, &in), 1);
  EXPECT_EQ(exit.element, 1);
}

TEST_F(LinkSearchTest, FindNearFromSearchesForwardThenWraps) {
  const auto k = square(10);
  LinkRef out{};
  // From the middle of the bottom edge, a point near the left edge: found ahead.
  ASSERT_EQ(linkFindNearFrom(k.data(), 4, LinkRef{1, {0, -10}}, {-12, 0}, 2.0, &out), 1);
  EXPECT_EQ(out.element, 4);
  EXPECT_DOUBLE_EQ(out.point.x, -10.0);
  // From the middle of the top edge, a point below the bottom edge: found after wrapping.
  ASSERT_EQ(linkFindNearFrom(k.data(), 4, LinkRef{3, {0, 10}}, {5, -11}, 2.0, &out), 1);
  EXPECT_EQ(out.element, 1);
  EXPECT_DOUBLE_EQ(out.point.x, 5.0);
  // A point near the bottom edge behind the reference: only the part before the reference.
  ASSERT_EQ(linkFindNearFrom(k.data(), 4, LinkRef{1, {0, -10}}, {-5, -11}, 2.0, &out), 1);
  EXPECT_EQ(out.element, 1);
  EXPECT_DOUBLE_EQ(out.point.x, -5.0);
  EXPECT_EQ(linkFindNearFrom(k.data(), 4, LinkRef{1, {0, -10}}, {0, 0}, 2.0, &out), 0);
  // The contours' smallest distance and nearest points.
  const auto inner = square(6);
  Point2D pa{0, 0}, pb{0, 0};
  EXPECT_DOUBLE_EQ(linkContoursNearest(k.data(), 4, inner.data(), 4, &pa, &pb), 4.0);
  EXPECT_DOUBLE_EQ(linkContoursMinDistance(k.data(), 4, inner.data(), 4), 4.0);
  EXPECT_EQ(linkContoursMinDistance(k.data(), 0, inner.data(), 4), 0.0);
}
}  // namespace
