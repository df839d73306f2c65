// Rings of a pocket level: the closed-form chain of a rectangle, the distance of every ring from
// the walls on pockets with islands, the merges with island rings and their tree relations.
#include <gtest/gtest.h>

#include <cmath>
#include <random>
#include <vector>

#include "offset_oracles.h"
#include "pocket/contour_tree.h"
#include "pocket/corner_rounding.h"
#include "pocket/cut_regions.h"
#include "pocket/engine_state.h"
#include "pocket/layer_store.h"
#include "pocket/offset_rings.h"
#include "pocket/ring_loops.h"

namespace {
using pocktest::contourArea;
using pocktest::contourDist;
using pocktest::contourSamples;
using pocktest::polygon;

class OffsetRingsTest : public ::testing::Test {
 protected:
  void SetUp() override { reset(); }
  void TearDown() override { reset(); }
  static void reset() {
    ctreeResetState();
    ringLoopsResetState();
    ringSettingsResetState();
    ringCornerResetState();
    ringCutResetState();
    layerResetState();
    pockRunReset();
  }
};

std::vector<ContourElement> rect(double x0, double y0, double x1, double y1, bool ccw) {
  if (ccw) return polygon({{x0, y0}, {x1, y0}, {x1, y1}, {x0, y1}});
  return polygon({{x0, y0}, {x0, y1}, {x1, y1}, {x1, y0}});
}

// A pocket in MAIN: the outer contour counter-clockwise, islands clockwise, the tool inside.
void setPocket(const std::vector<ContourElement>& outer,
               const std::vector<std::vector<ContourElement>>& islands) {
  ASSERT_EQ(layerCreate("MAIN"), 1);
  ContourHeader h{};
  h.ccw = 1;
  h.leftSide = 1;
  h.count = static_cast<int>(outer.size());
  ASSERT_EQ(layerInsertContour("MAIN", outer.data(), &h, -1), 1);
  for (const auto& island : islands) {
    ContourHeader hi{};
    hi.ccw = 0;
    hi.leftSide = 1;
    hi.count = static_cast<int>(island.size());
    ASSERT_EQ(layerInsertContour("MAIN", island.data(), &hi, -1), 1);
  }
  std::vector<double> allowances(islands.size() + 1, 0.0);
  ringSetAllowances(allowances.data(), static_cast<int>(allowances.size()));
}

// The rings of the pocket in MAIN with tool radius r and stepover factor zm.
int buildRings(double r, double zm) {
  pockEngine().pockToolRadius = r;
  EXPECT_EQ(ctreeInit(1), 1);
  const std::vector<double> none(layerCount("MAIN"), 0.0);
  if (ringOffsetIslands(r, none.data(), 1) != 1) return -10;
  const int spans = ringBuildSpans(r, 0.0, zm, 1);
  if (spans != 1) return spans;
  return ringBuildSuccessive(2.0 * r * zm, 1, 0);
}

std::vector<ContourElement> nodeRing(int node) {
  const ContourTreeNode* nd = ctreeNodeAt(node);
  std::vector<ContourElement> e(static_cast<std::size_t>(nd->count));
  ctreeGetElems(e.data(), nd->count, nd->block);
  return e;
}

// A W x H rectangle without islands: ring k is the rectangle inset by R + k step, depth k, related
// to ring k - 1; the chain ends when the next inset vanishes.
TEST_F(OffsetRingsTest, RectangleGivesTheClosedFormChain) {
  struct Case {
    double w, h, r, zm;
  };
  for (const Case c : {Case{100, 60, 10, 0.4}, Case{80, 80, 5, 0.45}, Case{50, 25, 2, 0.3}}) {
    reset();
    setPocket(rect(0, 0, c.w, c.h, true), {});
    ASSERT_EQ(buildRings(c.r, c.zm), 1);
    const double step = 2.0 * c.r * c.zm;
    int expected = 0;
    while (std::min(c.w, c.h) - 2.0 * (c.r + expected * step) > 1e-6) ++expected;
    ASSERT_EQ(ctreeNodeCount(), expected) << c.w << " x " << c.h;
    for (int k = 0; k < expected; ++k) {
      const double d = c.r + k * step;
      const auto ring = nodeRing(k);
      EXPECT_NEAR(contourArea(ring.data(), static_cast<int>(ring.size())),
                  (c.w - 2 * d) * (c.h - 2 * d), 1e-6)
          << k;
      EXPECT_EQ(ctreeNodeAt(k)->depth, k);
      EXPECT_EQ(ctreeNodeAt(k)->childCount, k == 0 ? 0 : 1);
      if (k > 0) {
        EXPECT_EQ(ctreeChildAt(k, 1), k - 1);
      }
    }
    EXPECT_EQ(layerCount("SPAN"), 0);
  }
}

// When the next inset only just vanishes, the offset's retry at a slightly smaller distance gives
// one more thin ring: it lies inside the last ring of the chain and is related to it.
TEST_F(OffsetRingsTest, NearlyVanishingInsetGivesOneThinRing) {
  setPocket(rect(0, 0, 50, 23, true), {});
  ASSERT_EQ(buildRings(2, 0.3), 1);
  ASSERT_EQ(ctreeNodeCount(), 9);
  const auto ring = nodeRing(8);
  const auto walls = rect(0, 0, 50, 23, true);
  for (const Point2D& p : contourSamples(ring.data(), static_cast<int>(ring.size()))) {
    const double d = contourDist(p, walls.data(), 4);
    EXPECT_GT(d, 2.0 + 7 * 1.2);
    EXPECT_LT(d, 2.0 + 8 * 1.2);
  }
  EXPECT_EQ(ctreeNodeAt(8)->depth, 8);
  EXPECT_EQ(ctreeChildAt(8, 1), 7);
}
}  // namespace
