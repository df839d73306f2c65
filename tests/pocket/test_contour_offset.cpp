// The contour offset: closed forms (squares, a spike, a vanishing arc, a circle of arcs), random
// line-and-arc contours against the distance oracle, the loops of a dumbbell either side of its
// neck, the retry sequences seen through the attempt observer, the narrow check, the element and
// loop limits, the open-offset trim and the small operations of an attempt.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <numbers>
#include <random>
#include <vector>

#include "offset_oracles.h"
#include "pocket/contour_offset.h"
#include "pocket/contour_relate.h"
#include "pocket/engine_state.h"
#include "pocket/offset_raw.h"

namespace {
using pocktest::polygon;
constexpr double kPi = std::numbers::pi;

// One offset call's output buffers.
struct Result {
  std::vector<ContourElement> out = std::vector<ContourElement>(60000);
  std::vector<ContourElement*> contours = std::vector<ContourElement*>(kOffsetMaxLoops + 1);
  std::vector<int> counts = std::vector<int>(kOffsetMaxLoops + 1);
  ContourElement* end = nullptr;
  int r = 0;
  int run(const std::vector<ContourElement>& src, int side, double d) {
    r = contOffset(src.data(), static_cast<int>(src.size()), side, d, out.data(),
                   static_cast<int>(out.size()), &end, contours.data(), counts.data());
    return r;
  }
  const ContourElement* loop(int k) const { return contours[size_t(k)]; }
  int count(int k) const { return counts[size_t(k)]; }
};

class ContourOffsetTest : public ::testing::Test {
 protected:
  void SetUp() override {
    pockRunReset();
    contOffsetResetState();
    pockEngine().pockToolRadius = 5;
  }
  void TearDown() override {
    contOffsetResetState();
    pockRunReset();
  }
};

std::vector<ContourElement> square(double a, bool ccw) {
  std::vector<Point2D> p = {{0, 0}, {a, 0}, {a, a}, {0, a}};
  if (!ccw) p = {{0, 0}, {0, a}, {a, a}, {a, 0}};
  return polygon(p);
}

int countType(const ContourElement* c, int n, int type) {
  int k = 0;
  for (int i = 0; i < n; ++i) k += c[i].type == type;
  return k;
}

TEST_F(ContourOffsetTest, SquaresGiveTheirClosedForms) {
  for (bool ccw : {true, false}) {
    const int inner = ccw ? 1 : -1;  // the side toward the square's inside
    const std::vector<ContourElement> sq = square(10, ccw);
    Result out;
    ASSERT_EQ(out.run(sq, -inner, 3), 1);
    const double d = pockEngine().offsetLastDistance;
    EXPECT_EQ(d, 3.0);
    ASSERT_EQ(out.count(0), 8);
    EXPECT_EQ(countType(out.loop(0), 8, kContArc), 4);
    EXPECT_NEAR(std::fabs(pocktest::contourArea(out.loop(0), 8)), 100 + 4 * 10 * d + kPi * d * d,
                1e-9);
    for (int i = 0; i < 8; ++i) {
      const ContourElement& e = out.loop(0)[i];
      if (e.type != kContArc) continue;
      EXPECT_NEAR(e.radius, d, 1e-12);
      // About a corner.
      EXPECT_NEAR(std::fabs(e.p0 - 5), 5, 1e-12);
      EXPECT_NEAR(std::fabs(e.p1 - 5), 5, 1e-12);
    }
    EXPECT_TRUE(pocktest::loopIsOffset(out.loop(0), 8, sq.data(), 4, d, 1e-9));
    ASSERT_EQ(out.run(sq, inner, 3), 1);
    ASSERT_EQ(out.count(0), 4);
    EXPECT_EQ(countType(out.loop(0), 4, kContLine), 4);
    EXPECT_NEAR(std::fabs(pocktest::contourArea(out.loop(0), 4)), 16, 1e-9);
    EXPECT_TRUE(pocktest::loopIsOffset(out.loop(0), 4, sq.data(), 4, 3, 1e-9));
    // A negative distance offsets to the other side.
    ASSERT_EQ(out.run(sq, inner, -3), 1);
    EXPECT_EQ(out.count(0), 8);
  }
}

TEST_F(ContourOffsetTest, SpikeGetsAHalfCircleAboutItsTip) {
  // A spike into the square (counter-clockwise) seen from the inside, and a spike out of it
  // seen from the outside.
  struct Case {
    std::vector<Point2D> points;
    Point2D tip;
    int side;
  };
  const Case cases[] = {
      {{{0, 0}, {10, 0}, {10, 5}, {5, 5}, {10, 5}, {10, 10}, {0, 10}}, {5, 5}, 1},
      {{{0, 0}, {10, 0}, {10, 5}, {15, 5}, {10, 5}, {10, 10}, {0, 10}}, {15, 5}, -1},
  };
  for (const Case& c : cases) {
    const std::vector<ContourElement> src = polygon(c.points);
    Result out;
    ASSERT_EQ(out.run(src, c.side, 1), 1);
    const double d = pockEngine().offsetLastDistance;
    EXPECT_EQ(d, 1.0);
    int halves = 0;
    for (int i = 0; i < out.count(0); ++i) {
      const ContourElement& e = out.loop(0)[i];
      if (e.type == kContArc && std::fabs(e.p0 - c.tip.x) < 1e-9 &&
          std::fabs(e.p1 - c.tip.y) < 1e-9) {
        EXPECT_NEAR(e.radius, d, 1e-9);
        EXPECT_NEAR(std::fabs(pocktest::sweepOf(e)), kPi, 1e-9);
        ++halves;
      }
    }
    EXPECT_EQ(halves, 1);
    EXPECT_TRUE(
        pocktest::loopIsOffset(out.loop(0), out.count(0), src.data(), int(src.size()), d, 1e-9));
  }
}

TEST_F(ContourOffsetTest, ArcOffsetOntoItsCentreVanishes) {
  // A square with its top right corner rounded by radius 3, offset inward by 3.
  std::vector<ContourElement> src = {contMakeLine(0, 0, 10, 0, 0), contMakeLine(10, 0, 10, 7, 0),
                                     contMakeArc(7, 7, 10, 7, 7, 10, 3, 1, 0),
                                     contMakeLine(7, 10, 0, 10, 0), contMakeLine(0, 10, 0, 0, 0)};
  std::vector<ContourElement> raw(kOffsetRawCapacity);
  int m = 0;
  ASSERT_EQ(contOffsetRaw(3, src.data(), 5, raw.data(), kContMaxElements, &m, 1), kRawOffsetOk);
  EXPECT_EQ(m, 4);
  EXPECT_EQ(countType(raw.data(), m, kContArc), 0);
  Result out;
  ASSERT_EQ(out.run(src, 1, 3), 1);
  ASSERT_EQ(out.count(0), 4);
  EXPECT_NEAR(pocktest::contourArea(out.loop(0), 4), 16, 1e-9);
}

TEST_F(ContourOffsetTest, CircleOfFourArcsGivesRadiusPlusOrMinusD) {
  std::vector<ContourElement> circle;
  for (int k = 0; k < 4; ++k) {
    const double a0 = kPi / 2 * k, a1 = kPi / 2 * (k + 1);
    circle.push_back(contMakeArc(0, 0, 10 * std::cos(a0), 10 * std::sin(a0), 10 * std::cos(a1),
                                 10 * std::sin(a1), 10, 1, 0));
  }
  for (int side : {1, -1}) {
    Result out;
    ASSERT_EQ(out.run(circle, side, 3), 1);
    const double r = 10 - side * pockEngine().offsetLastDistance;
    for (int i = 0; i < out.count(0); ++i) {
      EXPECT_EQ(out.loop(0)[i].type, kContArc);
      EXPECT_NEAR(out.loop(0)[i].radius, r, 1e-9);
    }
    EXPECT_NEAR(pocktest::contourArea(out.loop(0), out.count(0)), kPi * r * r, 1e-6);
  }
}

TEST_F(ContourOffsetTest, RandomContoursGiveValidLoops) {
  std::mt19937 rng(31);
  std::uniform_real_distribution<double> ud(0.05, 30);
  int loops = 0, exact = 0, vanished = 0;
  Result out;
  for (int k = 0; k < 200; ++k) {
    const pocktest::SampledContour c = pocktest::randomContour(rng, k % 2 == 0);
    const int n = static_cast<int>(c.elements.size());
    const double d = ud(rng);
    const int side = (k / 2) % 2 ? 1 : -1;
    const int r = out.run(c.elements, side, d);
    ASSERT_GE(r, 0) << k;
    vanished += r == 0;
    const double dd = pockEngine().offsetLastDistance;
    for (int q = 0; q < r; ++q) {
      ++loops;
      double worst = 0;
      ASSERT_TRUE(pocktest::loopIsOffset(out.loop(q), out.count(q), c.elements.data(), n, dd, 0.01,
                                         1e-4, &worst))
          << k << " loop " << q;
      exact += worst <= 1e-6 ? 1 : 0;
    }
    // No part of the source comes nearer to a loop than the distance.
    for (const auto& part : c.samples) {
      for (const Point2D& p : part) {
        for (int q = 0; q < r; ++q) {
          ASSERT_GT(pocktest::contourDist(p, out.loop(q), out.count(q)), dd - 0.01) << k;
        }
      }
    }
  }
  EXPECT_GT(loops, 150);
  EXPECT_GT(exact, loops * 9 / 10);  // most loops are exact: nothing merged
  EXPECT_GT(vanished, 5);
}

TEST_F(ContourOffsetTest, DumbbellSplitsAboveItsNeck) {
  // Two 20 x 20 squares joined by a neck of half-width 2.
  const std::vector<ContourElement> src = polygon({{0, 0},
                                                   {20, 0},
                                                   {20, 8},
                                                   {40, 8},
                                                   {40, 0},
                                                   {60, 0},
                                                   {60, 20},
                                                   {40, 20},
                                                   {40, 12},
                                                   {20, 12},
                                                   {20, 20},
                                                   {0, 20}});
  for (double d : {2.05, 1.95}) {
    Result out;
    const int r = out.run(src, 1, d);
    ASSERT_EQ(r, d > 2 ? 2 : 1) << d;
    EXPECT_EQ(pockEngine().offsetLastDistance, d);
    double area = 0;
    for (int q = 0; q < r; ++q) {
      EXPECT_TRUE(pocktest::loopIsOffset(out.loop(q), out.count(q), src.data(), 12, d, 1e-9));
      area += pocktest::contourArea(out.loop(q), out.count(q));
    }
    EXPECT_GT(area, 0);
  }
}

// The attempts seen by the observer: distance, strictness, corner factor, loop tolerance and the
// source's first point.
struct Attempt {
  double d;
  int strict;
  double cornerFactor;
  double loopTol;
  Point2D start;
};
std::vector<Attempt> gAttempts;
bool gForceRetry = false;
void observe(const ContourElement* src, int, double d, int) {
  const PockEngine& e = pockEngine();
  gAttempts.push_back(
      {d, e.offsetStrict, e.contCornerFactor, e.offsetLoopTol, {src[0].p0, src[0].p1}});
  if (gForceRetry) {
    pockEngine().offsetRetry = 1;
    pockEngine().offsetRotate = 0;
  }
}

class OffsetRetryTest : public ContourOffsetTest {
 protected:
  void SetUp() override {
    ContourOffsetTest::SetUp();
    gAttempts.clear();
    gForceRetry = true;
    contOffsetSetObserver(observe);
  }
};

TEST_F(OffsetRetryTest, LenientCallerGetsOneStrictAttemptThenShrinkingDistances) {
  pockEngine().offsetStrict = 0;
  Result out;
  out.run(square(10, true), 1, 2);
  ASSERT_EQ(gAttempts.size(), 23u);  // first, strict, 20 lenient, the last after reduction
  EXPECT_EQ(gAttempts[0].d, 2.0);
  EXPECT_EQ(gAttempts[0].strict, 0);
  EXPECT_EQ(gAttempts[0].cornerFactor, 1.0);
  EXPECT_DOUBLE_EQ(gAttempts[1].d, 2 * 0.9);
  EXPECT_EQ(gAttempts[1].strict, 1);
  EXPECT_EQ(gAttempts[1].cornerFactor, 10.0);
  EXPECT_DOUBLE_EQ(gAttempts[2].d, 2 * 0.9 + 0.0006);
  EXPECT_EQ(gAttempts[2].strict, 0);
  double d = gAttempts[2].d;
  for (size_t i = 3; i < 22; ++i) {
    d *= 0.9;
    EXPECT_DOUBLE_EQ(gAttempts[i].d, d) << i;
    EXPECT_EQ(gAttempts[i].strict, 0) << i;
    // The loop tolerance widens from the 11th attempt of the restarted count on.
    EXPECT_EQ(gAttempts[i].loopTol, i >= 12 ? 0.01 : 0.005) << i;
  }
  EXPECT_DOUBLE_EQ(gAttempts[22].d, d);
  EXPECT_EQ(gAttempts[22].cornerFactor, 1.0);
  EXPECT_EQ(pockEngine().offsetStrict, 0);
  EXPECT_EQ(pockEngine().contCornerFactor, 1.0);
  EXPECT_DOUBLE_EQ(pockEngine().offsetLastDistance, d);
}

TEST_F(OffsetRetryTest, StrictCallerStepsTheDistanceUp) {
  Result out;
  out.run(square(10, true), 1, 2);
  ASSERT_EQ(gAttempts.size(), 22u);
  for (size_t i = 1; i <= 20; ++i) EXPECT_NEAR(gAttempts[i].d, 2 + 0.0006 * double(i), 1e-12);
  EXPECT_EQ(pockEngine().offsetStrict, 1);
  // A caller whose loops could not be followed keeps the distance.
  gAttempts.clear();
  pockEngine().offsetFollowFailed = 1;
  out.run(square(10, true), 1, 2);
  for (const Attempt& a : gAttempts) EXPECT_EQ(a.d, 2.0);
}

TEST_F(OffsetRetryTest, PocketContourRetriesFromThreeCornersFirst) {
  pockEngine().paramPocketContour = 1;
  const std::vector<ContourElement> sq = square(10, true);
  Result out;
  out.run(sq, 1, 2);
  ASSERT_GE(gAttempts.size(), 5u);
  for (size_t i = 0; i < 4; ++i) {
    EXPECT_EQ(gAttempts[i].d, 2.0) << i;
    EXPECT_EQ(gAttempts[i].start.x, sq[i].p0) << i;  // each from the next corner
    EXPECT_EQ(gAttempts[i].start.y, sq[i].p1) << i;
  }
  EXPECT_NE(gAttempts[4].d, 2.0);             // then the distance changes
  EXPECT_EQ(pockEngine().offsetKeepOpen, 1);  // set by every attempt, never cleared
  pockRunReset();
  EXPECT_EQ(pockEngine().offsetKeepOpen, 0);
}

TEST_F(OffsetRetryTest, UnforcedOffsetMakesOneAttempt) {
  gForceRetry = false;
  Result out;
  ASSERT_EQ(out.run(square(10, true), 1, 2), 1);
  EXPECT_EQ(gAttempts.size(), 1u);
}

// A 2 x 40 rectangle with its long sides cut into pieces: n elements in all.
std::vector<ContourElement> strip(int n) {
  const int bottom = (n - 2 + 1) / 2, top = n - 2 - bottom;
  std::vector<Point2D> p;
  for (int i = 0; i <= bottom; ++i) p.push_back({40.0 * i / bottom, 0});
  for (int i = 0; i <= top; ++i) p.push_back({40 - 40.0 * i / top, 2});
  return polygon(p);
}

TEST_F(ContourOffsetTest, NarrowCheckUpToFiftyElements) {
  pockEngine().offsetNarrowCheck = 1;
  // Outward by 2 around a strip that is narrow at 2: the result holds the source's start, which a
  // narrow source refuses; a source of 51 elements is not checked.
  Result out;
  const std::vector<ContourElement> s50 = strip(50), s51 = strip(51);
  ASSERT_EQ(s50.size(), 50u);
  ASSERT_EQ(s51.size(), 51u);
  EXPECT_EQ(out.run(s50, -1, 2), 0);
  EXPECT_EQ(out.run(s51, -1, 2), 1);
  pockEngine().offsetNarrowCheck = 0;
  EXPECT_EQ(out.run(s50, -1, 2), 1);
}

TEST_F(ContourOffsetTest, NarrowContours) {
  const std::vector<ContourElement> rect = polygon({{0, 0}, {40, 0}, {40, 2}, {0, 2}});
  EXPECT_EQ(contIsNarrow(rect.data(), 4, 2), 1);
  EXPECT_EQ(contIsNarrow(rect.data(), 4, 1), 0);
  EXPECT_EQ(contIsNarrow(rect.data(), 0, 1), 1);
  const std::vector<ContourElement> sq = square(10, true);
  EXPECT_EQ(contIsNarrow(sq.data(), 4, 2), 0);
  EXPECT_EQ(contIsNarrow(sq.data(), 4, 7), 1);
}

TEST_F(ContourOffsetTest, TinyDistanceReturnsTheSource) {
  const std::vector<ContourElement> sq = square(10, true);
  Result out;
  ASSERT_EQ(out.run(sq, 1, 0.0003), 1);
  ASSERT_EQ(out.count(0), 4);
  for (int i = 0; i < 4; ++i)
    EXPECT_EQ(std::memcmp(&out.loop(0)[i], &sq[size_t(i)], sizeof sq[0]), 0);
  EXPECT_EQ(out.end, out.loop(0) + 4);
}

TEST_F(ContourOffsetTest, RawOffsetBeyondTheElementLimitIsRefused) {
  // A star of 25001 points offset outward needs an arc about every point besides its lines.
  std::vector<Point2D> p;
  for (int i = 0; i < 50002; ++i) {
    const double t = 2 * kPi * i / 50002, r = i % 2 ? 990 : 1000;
    p.push_back({r * std::cos(t), r * std::sin(t)});
  }
  Result out;
  EXPECT_EQ(out.run(polygon(p), -1, 1), -1);
  EXPECT_EQ(pockLastCode(), kPockCodeTooManyElements);
  // The output buffer too small for the result: refused as well.
  pockRunReset();
  const std::vector<ContourElement> sq = square(10, true);
  std::vector<ContourElement> small(3);
  ContourElement* contours[2] = {};
  int counts[2] = {};
  EXPECT_EQ(contOffset(sq.data(), 4, -1, 1, small.data(), 3, nullptr, contours, counts), -1);
  EXPECT_EQ(pockLastCode(), kPockCodeTooManyElements);
}

// A comb: a bar of height 1 along the bottom with `teeth` teeth 6 wide and 10 high, 10 apart,
// counter-clockwise.
std::vector<ContourElement> comb(int teeth) {
  std::vector<Point2D> p = {{0, 0}, {10.0 * (teeth - 1) + 6, 0}};
  for (int i = teeth - 1; i >= 0; --i) {
    if (i < teeth - 1) p.push_back({10.0 * i + 6, 1});
    p.push_back({10.0 * i + 6, 10});
    p.push_back({10.0 * i, 10});
    p.push_back({10.0 * i, 1});
  }
  return polygon(p);
}

TEST_F(ContourOffsetTest, MoreThanTwoThousandLoopsFail) {
  // Offset inward by 1.2 the bar vanishes and every tooth keeps a loop of its own.
  Result out;
  ASSERT_EQ(out.run(comb(20), 1, 1.2), 20);
  for (int q = 0; q < 20; ++q) {
    EXPECT_NEAR(pocktest::contourArea(out.loop(q), out.count(q)), (6 - 2.4) * (10 - 2.4), 1e-9);
  }
  EXPECT_EQ(out.run(comb(2001), 1, 1.2), -1);
}

TEST_F(ContourOffsetTest, IncrementalMarkingEqualsThePlainOne) {
  std::mt19937 rng(41);
  std::vector<std::vector<ContourElement>> sources = {comb(30)};
  std::vector<Point2D> star;
  for (int i = 0; i < 1000; ++i) {
    const double t = 2 * kPi * i / 1000,
                 r = 100 * (1 + 0.25 * std::sin(7 * t) + 0.08 * std::sin(53 * t));
    star.push_back({r * std::cos(t), r * std::sin(t)});
  }
  sources.push_back(polygon(star));
  for (int k = 0; k < 40; ++k) sources.push_back(pocktest::randomContour(rng, k % 2 == 0).elements);
  Result fast, plain;
  for (size_t k = 0; k < sources.size(); ++k) {
    for (double d : {1.2, 2.5, 7.0}) {
      contOffsetSetPlainMarking(0);
      const int r = fast.run(sources[k], 1, d);
      contOffsetSetPlainMarking(1);
      ASSERT_EQ(plain.run(sources[k], 1, d), r) << k;
      for (int q = 0; q < r; ++q) {
        ASSERT_EQ(fast.count(q), plain.count(q)) << k;
        ASSERT_EQ(std::memcmp(fast.loop(q), plain.loop(q),
                              sizeof(ContourElement) * size_t(fast.count(q))),
                  0)
            << k;
      }
    }
  }
}

TEST_F(ContourOffsetTest, OpenOffsetTrimsBackToTheSourceEnds) {
  const std::vector<ContourElement> src = {contMakeLine(0, 0, 10, 0, 0)};
  std::vector<ContourElement> res = {contMakeLine(-1, 0.5, -1, 3, 0), contMakeLine(-1, 3, 11, 3, 0),
                                     contMakeLine(11, 3, 11, 0.5, 0)};
  const int m = offsetTrimOpen(src.data(), 2, 3, res.data(), 1);
  ASSERT_EQ(m, 3);
  EXPECT_NEAR(res[0].p1, std::sqrt(3.0), 1e-9);  // cut on the circle of radius 2 about (0, 0)
  EXPECT_NEAR(res[2].p3, std::sqrt(3.0), 1e-9);  // and about (10, 0)
  // A result that still comes too near after the cut: 0.
  std::vector<ContourElement> near = {contMakeLine(0.5, 0.5, 5, 0.5, 0)};
  EXPECT_EQ(offsetTrimOpen(src.data(), 2, 1, near.data(), 1), 0);
  // A closed source: unchanged.
  const std::vector<ContourElement> sq = square(10, true);
  EXPECT_EQ(offsetTrimOpen(sq.data(), 2, 1, near.data(), 4), 1);
}

TEST_F(ContourOffsetTest, SmallOperationsOfAnAttempt) {
  // Gap closing: a line appended, or in ring mode the last line's end moved.
  std::vector<ContourElement> open = {contMakeLine(0, 0, 10, 0, 3),
                                      contMakeLine(10, 0, 10, 10, 4),
                                      contMakeLine(10, 10, 0.02, 0.01, 5),
                                      {}};
  std::vector<ContourElement> a = open;
  EXPECT_EQ(contCloseGap(a.data(), 3), 4);
  EXPECT_EQ(a[3].tag, 5);
  EXPECT_EQ(a[3].p2, 0.0);
  a = open;
  pockEngine().offsetRingMode = 1;
  EXPECT_EQ(contCloseGap(a.data(), 3), 3);
  EXPECT_EQ(a[2].p2, 0.0);
  pockEngine().offsetRingMode = 0;
  // One inner gap closed in the middle while the scale factor is at least 2.
  std::vector<ContourElement> g = {contMakeLine(0, 0, 10, 0, 0), contMakeLine(10.2, 0, 10, 10, 0),
                                   contMakeLine(10, 10, 0, 0, 0)};
  EXPECT_EQ(contCloseSingleGap(g.data(), 3), 0);
  pockEngine().scaleFactor = 25;
  std::vector<ContourElement> h = g;
  EXPECT_EQ(contCloseSingleGap(h.data(), 3), 1);
  EXPECT_DOUBLE_EQ(h[0].p2, 10.1);
  EXPECT_DOUBLE_EQ(h[1].p0, 10.1);
  EXPECT_EQ(contAllChained(3, h.data()), 1);
  EXPECT_EQ(contAllChained(3, g.data()), 0);
  g[1].p3 = 10.5;  // a second gap
  EXPECT_EQ(contCloseSingleGap(g.data(), 3), 0);
  pockEngine().scaleFactor = 1;
  // Nearly full arcs, repeated ends and elements.
  std::vector<ContourElement> arcs(5, contMakeLine(0, 0, 1, 0, 0));
  arcs[0] = contMakeArc(0, 0, 1, 0, std::cos(-0.1), std::sin(-0.1), 1, 1, 0);
  EXPECT_EQ(contHasNearFullArc(5, arcs.data(), 1), 1);
  EXPECT_EQ(contHasNearFullArc(4, arcs.data(), 0), 0);
  std::swap(arcs[0], arcs[3]);
  EXPECT_EQ(contHasNearFullArc(5, arcs.data(), 1), 0);
  EXPECT_EQ(contHasNearFullArc(5, arcs.data(), 0), 1);
  const std::vector<ContourElement> eight =
      polygon({{0, 0}, {5, 5}, {10, 0}, {10, 10}, {5, 5}, {0, 10}});
  EXPECT_EQ(contEndRepeats(eight.data(), 6), 1);
  EXPECT_EQ(contEndRepeats(square(10, true).data(), 4), 0);
  const ContourElement l1 = contMakeLine(0, 0, 1, 1, 0), l2 = contMakeLine(0.00005, 0, 1, 1, 9);
  EXPECT_EQ(contElemsEqual(l1, l2), 1);
  EXPECT_EQ(contElemsEqual(l1, contMakeLine(0.0002, 0, 1, 1, 0)), 0);
  const ContourElement c1 = contMakeArc(0, 0, 1, 0, 0, 1, 1, 1, 0);
  ContourElement c2 = c1;
  c2.dir = -1;
  EXPECT_EQ(contElemsEqual(c1, c2), 0);
  EXPECT_EQ(contElemsEqual(c1, l1), 0);
  // Repeated elements against the plain comparison of all pairs.
  std::mt19937 rng(2);
  std::uniform_int_distribution<int> coord(0, 3);
  for (int k = 0; k < 300; ++k) {
    std::vector<ContourElement> v;
    for (int i = 0; i < 8; ++i) {
      v.push_back(contMakeLine(coord(rng), coord(rng), coord(rng), coord(rng), 0));
    }
    int plain = 0;
    for (int i = 0; i < 8; ++i) {
      for (int j = i + 2; j < 8; ++j) plain |= contElemsEqual(v[size_t(i)], v[size_t(j)]);
    }
    ASSERT_EQ(contHasRepeatedElem(v.data(), 8), plain) << k;
  }
  // A loop that repeats the previous one.
  const std::vector<ContourElement> sq = square(10, true);
  EXPECT_EQ(contLoopRepeats(sq.data(), sq.data(), 4), 1);
  const std::vector<ContourElement> far = polygon({{20, 20}, {30, 20}, {30, 30}});
  EXPECT_EQ(contLoopRepeats(sq.data(), far.data(), 3), 0);
  // Orientation kept, or undecided in stock mode.
  EXPECT_EQ(offsetOrientationKept(sq.data(), 4, sq.data(), 4), 1);
  EXPECT_EQ(offsetOrientationKept(sq.data(), 4, square(10, false).data(), 4), 0);
  // Records: a second one near a start record in state 1; records near used ones become used.
  std::vector<IntersectionRecord> rec = {{0, 0, 0, 1, 9, 1, 0},
                                         {0.1, 0, 0, 2, 5, 1, 0},
                                         {0.00005, 0, 0, 3, 6, 2, 0},
                                         {5, 5, 0, 4, 7, 1, 0}};
  EXPECT_EQ(offsetStartCornerClose(rec.data(), 4), 1);
  rec[1].x = 0.2;
  EXPECT_EQ(offsetStartCornerClose(rec.data(), 4), 0);
  isectMarkNearUsed(rec.data(), 4);
  EXPECT_EQ(rec[0].state, 2);
  EXPECT_EQ(rec[1].state, 1);
  EXPECT_EQ(rec[3].state, 1);
  // A flat far arc in a loop.
  const std::vector<ContourElement> flat = {contMakeArc(0, 5030, 0, 30, 0.8, 30, 5000, 1, 0)};
  EXPECT_EQ(offsetFarFlatArc(flat.data(), 1, sq.data(), 4, 5), 1);
  EXPECT_EQ(offsetFarFlatArc(flat.data(), 1, sq.data(), 4, 15), 0);
}

TEST_F(ContourOffsetTest, KeepOpenIsRunState) {
  contSetKeepOpen(1);
  Result out;
  out.run(square(10, true), 1, 2);
  EXPECT_EQ(pockEngine().offsetKeepOpen, 1);
  pockRunReset();
  EXPECT_EQ(pockEngine().offsetKeepOpen, 0);
}

}  // namespace
