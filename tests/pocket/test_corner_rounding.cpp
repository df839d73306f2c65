// Corner rounding: fillets tangent to both sides with the known area of a filleted square, the
// stepover fillet radius table, failed halvings, the offset pair and the by-offset splice that
// leaves the contour away from its corners untouched.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <numbers>
#include <vector>

#include "offset_oracles.h"
#include "pocket/contour_geom.h"
#include "pocket/corner_rounding.h"
#include "pocket/engine_state.h"

namespace {
using pocktest::contourArea;
using pocktest::polygon;

class CornerRoundingTest : public ::testing::Test {
 protected:
  void SetUp() override { reset(); }
  void TearDown() override { reset(); }
  static void reset() {
    pockRunReset();
    ringCornerResetState();
  }
};

// Every arc of the result is tangent to the two square sides of its corner: its centre lies at
// distance r from both side lines and its ends lie on the segments; the area is a^2 - (4 - pi) r^2.
void expectFilletedSquare(const std::vector<ContourElement>& c, int m, double a, double r) {
  ASSERT_EQ(m, 8);
  int arcs = 0;
  for (int i = 0; i < m; ++i) {
    const ContourElement& e = c[static_cast<std::size_t>(i)];
    if (e.type != kContArc) continue;
    ++arcs;
    EXPECT_NEAR(e.radius, r, 1e-6);
    const Point2D ctr = contArcCentre(e);
    const double dx = std::fmin(ctr.x, a - ctr.x), dy = std::fmin(ctr.y, a - ctr.y);
    EXPECT_NEAR(dx, r, 1e-6);
    EXPECT_NEAR(dy, r, 1e-6);
    for (const Point2D& p : {contArcStart(e), contArcEnd(e)}) {
      const bool onSide = std::fabs(p.x) < 1e-6 || std::fabs(p.x - a) < 1e-6 ||
                          std::fabs(p.y) < 1e-6 || std::fabs(p.y - a) < 1e-6;
      EXPECT_TRUE(onSide) << p.x << " " << p.y;
      EXPECT_NEAR(std::hypot(p.x - ctr.x, p.y - ctr.y), r, 1e-6);
    }
  }
  EXPECT_EQ(arcs, 4);
  EXPECT_NEAR(contourArea(c.data(), m), a * a - (4.0 - std::numbers::pi) * r * r, 1e-4);
}

TEST_F(CornerRoundingTest, FilletsOfASquareAreTangentWithTheKnownArea) {
  const double a = 20.0, r = 3.0;
  std::vector<ContourElement> sq = polygon({{0, 0}, {a, 0}, {a, a}, {0, a}}, 7);
  std::vector<ContourElement> out(sq);
  out.resize(20);
  int m = 4;
  ASSERT_EQ(contInsertFillets(sq.data(), 4, r, out.data(), &m, 20), 8);
  out.resize(8);
  expectFilletedSquare(out, m, a, r);
  for (const ContourElement& e : out) EXPECT_EQ(e.tag, 7);  // the source's first tag

  // A clockwise square gets the same fillets; a source without ordinary tags gives tag -1.
  std::vector<ContourElement> cw = polygon({{0, 0}, {0, a}, {a, a}, {a, 0}}, -1);
  std::vector<ContourElement> cwOut(cw);
  cwOut.resize(20);
  m = 4;
  ASSERT_EQ(contInsertFillets(cw.data(), 4, r, cwOut.data(), &m, 20), 8);
  cwOut.resize(8);
  for (const ContourElement& e : cwOut) {
    if (e.type == kContArc) {
      EXPECT_EQ(e.tag, -1);
      EXPECT_EQ(e.dir, -1);
    }
  }
  EXPECT_NEAR(-contourArea(cwOut.data(), 8), a * a - (4.0 - std::numbers::pi) * r * r, 1e-4);

  // No room for the fillet: -1.
  std::vector<ContourElement> tight(sq);
  m = 4;
  EXPECT_EQ(contInsertFillets(sq.data(), 4, r, tight.data(), &m, 4), -1);
}

TEST_F(CornerRoundingTest, RoundingBySquareOffsetPairAndRadiusBelowLimit) {
  PockEngine& eng = pockEngine();
  eng.pockToolRadius = 5.0;
  eng.pockStepFactor = 0.5;
  const double a = 30.0, r = 2.0;
  std::vector<ContourElement> sq = polygon({{0, 0}, {a, 0}, {a, a}, {0, a}});
  std::vector<ContourElement> buf(sq);
  buf.resize(64);
  // 90-degree corners are not sharper than the stepover fillet: the offset pair rounds them.
  EXPECT_EQ(contCornersFilletable(sq.data(), 4, 5.0, r, 5.0), 0);
  const int m = contRoundCorners(buf.data(), 4, 64, r, 0);
  ASSERT_GT(m, 0);
  buf.resize(static_cast<std::size_t>(m));
  expectFilletedSquare(buf, m, a, r);
  // The pair itself: one contour within 3r of the source.
  std::vector<ContourElement> pair(64);
  const int c = contRoundByOffsetPair(sq.data(), 4, r, pair.data(), 64, 0);
  ASSERT_GT(c, 0);
  EXPECT_EQ(contWithinDistance(sq.data(), 4, pair.data(), c, 3.0 * r), c);
  EXPECT_EQ(contWithinDistance(sq.data(), 4, pair.data(), c, 0.1), -1);
  EXPECT_EQ(contWithinDistance(sq.data(), 4, pair.data(), 0, 0.1), 0);
  // An offset that vanishes: -2.
  EXPECT_EQ(contRoundByOffsetPair(sq.data(), 4, 20.0, pair.data(), 64, 0), -2);

  // A radius below 0.01 and an empty contour leave the input as it is.
  std::vector<ContourElement> same(sq);
  EXPECT_EQ(contRoundCorners(same.data(), 4, 4, 0.005, 0), 4);
  EXPECT_EQ(std::memcmp(same.data(), sq.data(), sizeof(ContourElement) * 4), 0);
  EXPECT_EQ(contRoundCornersByOffset(same.data(), 4, 4, 0.005, 0), 4);
  EXPECT_EQ(std::memcmp(same.data(), sq.data(), sizeof(ContourElement) * 4), 0);
  EXPECT_EQ(contRoundCorners(same.data(), 0, 4, 1.0, 0), 0);
}

// Lines from the corner point c with unit directions: the previous element runs into c along
// -dirIn... expressed by the interior angle and the turn.
struct FilletRadiusCase {
  double interiorDeg;
  bool clockwise;
  int result;
  bool halved;
};

TEST_F(CornerRoundingTest, StepoverFilletRadiusTable) {
  const double R = 5.0, step = 6.0;
  const FilletRadiusCase cases[] = {
      {90.0, true, 0, false}, {90.0, false, 0, false}, {45.0, false, 0, false},
      {45.0, true, 1, false}, {60.0, true, 1, false},  {20.0, true, 1, true},
      {70.0, true, 0, false},
  };
  for (const FilletRadiusCase& k : cases) {
    const double al = k.interiorDeg * std::numbers::pi / 180.0;
    // prev runs along +x into the origin; next leaves it at the interior angle, turning right for
    // a clockwise corner.
    const double turn = std::numbers::pi - al;
    const double ang = k.clockwise ? -turn : turn;
    const ContourElement prev = contMakeLine(-10.0, 0.0, 0.0, 0.0, 0);
    const ContourElement next =
        contMakeLine(0.0, 0.0, 10.0 * std::cos(ang), 10.0 * std::sin(ang), 0);
    double rho = -7.0;
    EXPECT_EQ(cornerFilletRadius(prev, next, R, step, &rho), k.result) << k.interiorDeg;
    if (k.result == 0) {
      EXPECT_EQ(rho, -7.0);
      continue;
    }
    const double s = std::sin(al / 2.0);
    double want = (step - R + R * s) / (1.0 - s);
    if (k.halved) want /= 2.0;
    EXPECT_NEAR(rho, want, 1e-9) << k.interiorDeg;
  }
}

// A 90-degree corner between sides of length 1.5: a fillet of radius x fits only for x < 1.5.
TEST_F(CornerRoundingTest, FilletHalvingsAndTheSharpCornerKept) {
  const ContourElement a = contMakeLine(0.0, 0.0, 1.5, 0.0, 0);
  const ContourElement b = contMakeLine(1.5, 0.0, 1.5, 1.5, 0);
  ContourElement f{};
  EXPECT_EQ(cornerFillet(a, b, &f, 1.0, 1), 1);
  EXPECT_NEAR(f.radius, 1.0, 1e-12);
  EXPECT_NEAR(f.p0, 0.5, 1e-9);
  EXPECT_NEAR(f.p1, 1.0, 1e-9);
  EXPECT_EQ(f.dir, 1);
  EXPECT_EQ(cornerFillet(a, b, &f, 2.4, 1), 0);  // 2.4 fails, 1.2 fits
  EXPECT_NEAR(f.radius, 1.2, 1e-12);
  // 32, 16, 8, 4 and 2 all fail; the sixth try (1) is never made.
  EXPECT_EQ(cornerFillet(a, b, &f, 32.0, 1), -1);
  // Below the smallest radius nothing is tried.
  EXPECT_EQ(cornerFillet(a, b, &f, 0.005, 1), -1);
  // The contour keeps its sharp corners.
  std::vector<ContourElement> sq = polygon({{0, 0}, {1.5, 0}, {1.5, 1.5}, {0, 1.5}});
  std::vector<ContourElement> out(sq);
  out.resize(16);
  int m = 4;
  EXPECT_EQ(contInsertFillets(sq.data(), 4, 32.0, out.data(), &m, 16), 4);
  EXPECT_EQ(std::memcmp(out.data(), sq.data(), sizeof(ContourElement) * 4), 0);
}

TEST_F(CornerRoundingTest, OffsetElementMovesAlongItsNormals) {
  const ContourElement arc = contMakeArc(0.0, 0.0, 2.0, 0.0, 0.0, 2.0, 2.0, 1, 0);
  ContourElement o{};
  ASSERT_EQ(contOffsetElem(arc, &o, 0.5, 1), 1);  // toward the centre of a ccw arc
  EXPECT_NEAR(o.radius, 1.5, 1e-12);
  EXPECT_NEAR(o.p2, 1.5, 1e-12);
  EXPECT_NEAR(o.p5, 1.5, 1e-12);
  ASSERT_EQ(contOffsetElem(arc, &o, 0.5, -1), 1);
  EXPECT_NEAR(o.radius, 2.5, 1e-12);
  EXPECT_EQ(contOffsetElem(arc, &o, 2.0, 1), -1);  // radius 0
  const ContourElement line = contMakeLine(0.0, 0.0, 4.0, 0.0, 0);
  ASSERT_EQ(contOffsetElem(line, &o, 1.0, 1), 1);
  EXPECT_NEAR(o.p1, 1.0, 1e-12);
  EXPECT_NEAR(o.p3, 1.0, 1e-12);
}

// A square whose sides are split in three: the by-offset rounding splices arcs at the corners and
// leaves the middle pieces, farther than r from every corner, bit for bit unchanged.
TEST_F(CornerRoundingTest, ByOffsetSpliceKeepsTheContourAwayFromCorners) {
  const double a = 30.0, r = 2.0;
  std::vector<ContourElement> src = polygon({{0, 0},
                                             {10, 0},
                                             {20, 0},
                                             {a, 0},
                                             {a, 10},
                                             {a, 20},
                                             {a, a},
                                             {20, a},
                                             {10, a},
                                             {0, a},
                                             {0, 20},
                                             {0, 10}});
  std::vector<ContourElement> buf(src);
  buf.resize(64);
  const int m = contRoundCornersByOffset(buf.data(), 12, 64, r, 0);
  ASSERT_EQ(m, 16);
  int arcs = 0, kept = 0;
  for (int i = 0; i < m; ++i) {
    const ContourElement& e = buf[static_cast<std::size_t>(i)];
    if (e.type == kContArc) {
      ++arcs;
      EXPECT_NEAR(e.radius, r, 1e-4);
      continue;
    }
    for (int j = 1; j < 12; j += 3) {
      if (std::memcmp(&e, &src[static_cast<std::size_t>(j)], sizeof(ContourElement)) == 0) ++kept;
    }
  }
  EXPECT_EQ(arcs, 4);
  EXPECT_EQ(kept, 4);
  std::vector<ContourElement> res(buf.begin(), buf.begin() + m);
  EXPECT_NEAR(contourArea(res.data(), m), a * a - (4.0 - std::numbers::pi) * r * r, 1e-3);
  for (const ContourElement& e : res) {
    if (e.type != kContArc) continue;
    const Point2D c = contArcCentre(e);
    EXPECT_NEAR(std::fmin(c.x, a - c.x), r, 1e-4);
    EXPECT_NEAR(std::fmin(c.y, a - c.y), r, 1e-4);
  }
}

// The closeness tolerance falls to half the radius for the rest of the run and comes back at the
// start of the next run.
TEST_F(CornerRoundingTest, CloseToleranceLowersForTheRunOnly) {
  EXPECT_DOUBLE_EQ(contRoundTolerance(), 0.1);
  std::vector<ContourElement> sq = polygon({{0, 0}, {30, 0}, {30, 30}, {0, 30}});
  std::vector<ContourElement> buf(sq);
  buf.resize(64);
  contRoundCornersByOffset(buf.data(), 4, 64, 0.1, 0);
  EXPECT_DOUBLE_EQ(contRoundTolerance(), 0.05);
  buf.assign(sq.begin(), sq.end());
  buf.resize(64);
  contRoundCornersByOffset(buf.data(), 4, 64, 2.0, 0);
  EXPECT_DOUBLE_EQ(contRoundTolerance(), 0.05);
  ringCornerResetState();
  EXPECT_DOUBLE_EQ(contRoundTolerance(), 0.1);
}
}  // namespace
