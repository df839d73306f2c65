// Small-tool scaling: the factor for the tool radius, the identity factor, elements scaled and
// back within a few ulp, and a layer scaled with its allowances.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <random>

#include "pocket/engine_state.h"
#include "pocket/layer_store.h"
#include "pocket/pock_scale.h"

namespace {
class ScaleTest : public ::testing::Test {
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

// Distance in units in the last place between two doubles of the same sign.
std::int64_t ulps(double a, double b) {
  std::int64_t ia, ib;
  std::memcpy(&ia, &a, sizeof a);
  std::memcpy(&ib, &b, sizeof b);
  return ia > ib ? ia - ib : ib - ia;
}
bool withinUlps(double a, double b, int n) {
  if (a == b) return true;
  if ((a < 0) != (b < 0)) return std::fabs(a - b) < 1e-300;
  return ulps(a, b) <= n;
}
}  // namespace

TEST_F(ScaleTest, FactorForTheToolRadius) {
  const struct {
    double radius, factor;
  } cases[] = {{0.5, 25},   {0.1, 25},    {0.0999, 50},  {0.05, 50},
               {0.004, 50}, {0.003, 500}, {0.0001, 500}, {10, 25}};
  for (const auto& c : cases) {
    pockEngine().pockToolRadius = c.radius;
    EXPECT_EQ(scaleChooseFactor(), c.factor) << c.radius;
    EXPECT_EQ(pockEngine().scaleFactor, c.factor);
  }
  scaleReset();
  EXPECT_EQ(pockEngine().scaleFactor, 1.0);
}

TEST_F(ScaleTest, ElementsScaleAndComeBack) {
  ContourElement line = contMakeLine(0, 0, 1, 2, 3);
  // Factor 1 (and anything within 0.00001 of it) changes nothing.
  pockEngine().scaleFactor = 1.000005;
  ContourElement same = line;
  scaleElem(&same);
  EXPECT_EQ(std::memcmp(&same, &line, sizeof line), 0);
  double v = 7.0;
  scaleValue(&v);
  EXPECT_EQ(v, 7.0);

  pockEngine().scaleFactor = 25.0;
  scaleElem(&line);
  EXPECT_EQ(line.p0, 0);
  EXPECT_EQ(line.p2, 25);
  EXPECT_EQ(line.p3, 50);
  EXPECT_EQ(line.tag, 3);
  ContourElement arc = contMakeArc(1, 1, 2, 1, 1, 2, 1, 1, 0);
  scaleElem(&arc);
  EXPECT_EQ(arc.radius, 25);
  EXPECT_EQ(arc.p0, 25);
  EXPECT_EQ(arc.p5, 50);

  std::mt19937 rng(107);
  std::uniform_real_distribution<double> c(-1000.0, 1000.0);
  for (double f : {25.0, 50.0, 500.0}) {
    pockEngine().scaleFactor = f;
    for (int i = 0; i < 2000; ++i) {
      const ContourElement a =
          contMakeArc(c(rng), c(rng), c(rng), c(rng), c(rng), c(rng), std::fabs(c(rng)), 1, 0);
      ContourElement b = a;
      scaleContour(&b, 1);
      unscaleContour(&b, 1);
      for (double ContourElement::*m :
           {&ContourElement::p0, &ContourElement::p1, &ContourElement::p2, &ContourElement::p3,
            &ContourElement::p4, &ContourElement::p5, &ContourElement::radius}) {
        ASSERT_TRUE(withinUlps(a.*m, b.*m, 4)) << f << " " << a.*m << " " << b.*m;
      }
      double x = a.p0;
      scaleValue(&x);
      unscaleValue(&x);
      ASSERT_TRUE(withinUlps(a.p0, x, 4));
    }
  }
}

TEST_F(ScaleTest, LayerWithAllowances) {
  ASSERT_EQ(layerCreate("INPUT"), 1);
  const ContourElement e[3] = {contMakeLine(0, 0, 1, 0, 0), contMakeLine(1, 0, 0, 1, 0),
                               contMakeLine(0, 1, 0, 0, 0)};
  ContourHeader h{};
  h.count = 3;
  h.allowance = 0.2;
  h.zTop = 4;
  h.zBottom = -2;
  ASSERT_EQ(layerInsertContour("INPUT", e, &h, -1), 1);
  pockEngine().scaleFactor = 50.0;
  EXPECT_EQ(scaleLayer("INPUT"), 1);
  ContourElement out[3];
  ContourHeader got{};
  ASSERT_EQ(layerGetContour("INPUT", out, 3, &got, 0), 0);
  EXPECT_EQ(out[1].p2, 0);
  EXPECT_EQ(out[1].p3, 50);
  EXPECT_DOUBLE_EQ(got.allowance, 10.0);
  EXPECT_EQ(got.zTop, 4);  // heights are not scaled
  EXPECT_EQ(got.zBottom, -2);
  EXPECT_EQ(scaleLayer("NOPE"), 0);
}
