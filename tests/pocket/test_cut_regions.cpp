// Cut regions: the validity of a region against the pocket, the start test of band loops, the
// marking of short arcs between open elements and the combination of span and back bands into the
// region between two rings.
#include <gtest/gtest.h>

#include <cmath>
#include <vector>

#include "offset_oracles.h"
#include "pocket/contour_geom.h"
#include "pocket/contour_tree.h"
#include "pocket/cut_regions.h"
#include "pocket/engine_state.h"
#include "pocket/layer_store.h"
#include "pocket/offset_rings.h"

namespace {
using pocktest::contourArea;
using pocktest::polygon;

class CutRegionsTest : public ::testing::Test {
 protected:
  void SetUp() override { reset(); }
  void TearDown() override { reset(); }
  static void reset() {
    ringCutLayersFree();
    ringCutResetState();
    ringSettingsResetState();
    ctreeResetState();
    layerResetState();
    pockRunReset();
  }
};

std::vector<ContourElement> rect(double x0, double y0, double x1, double y1, bool ccw) {
  if (ccw) return polygon({{x0, y0}, {x1, y0}, {x1, y1}, {x0, y1}});
  return polygon({{x0, y0}, {x0, y1}, {x1, y1}, {x1, y0}});
}

void insert(const char* layer, const std::vector<ContourElement>& c, bool ccw, bool leftSide,
            int group = 0) {
  ContourHeader h{};
  h.ccw = ccw ? 1 : 0;
  h.leftSide = leftSide ? 1 : 0;
  h.group = static_cast<std::int16_t>(group);
  h.count = static_cast<int>(c.size());
  ASSERT_EQ(layerInsertContour(layer, c.data(), &h, -1), 1);
}

// The pocket in MAIN: a 100 x 100 outer contour with a 20 x 20 island at (40, 40).
void setMain() {
  ASSERT_EQ(layerCreate("MAIN"), 1);
  insert("MAIN", rect(0, 0, 100, 100, true), true, true);
  insert("MAIN", rect(40, 40, 60, 60, false), false, true);
}

struct ValidCase {
  const char* what;
  double x0, y0, x1, y1;
  double stepFactor;
  int want;
};

TEST_F(CutRegionsTest, RegionValidityTable) {
  setMain();
  pockEngine().pockToolRadius = 2.0;
  const ValidCase cases[] = {
      {"free region", 10, 10, 20, 20, 0.8, 1},
      {"crossing the island", 35, 35, 45, 45, 0.8, 0},
      {"around the island (it is not inside one)", 30, 30, 70, 70, 0.8, 1},
      {"inside the island", 45, 45, 55, 55, 0.8, 0},
      {"outside the outer contour", 120, 10, 130, 20, 0.8, 0},
      {"crossing the outer contour", 95, 10, 105, 20, 0.8, 0},
      {"nearer than the minimum distance", 1, 10, 20, 20, 0.8, 0},
      {"long region, stepover 0.8", 5, 5, 35, 35, 0.8, 1},
      {"long region, stepover below 0.5", 5, 5, 35, 35, 0.4, 0},
  };
  for (const ValidCase& k : cases) {
    pockEngine().pockStepFactor = k.stepFactor;
    const std::vector<ContourElement> r = rect(k.x0, k.y0, k.x1, k.y1, true);
    EXPECT_EQ(ringCutRegionValid("MAIN", 2.0, 4, r.data()), k.want) << k.what;
  }
}

ContourElement arcOf(double cx, double cy, double r, double a0, double a1, int tag) {
  return contMakeArc(cx, cy, cx + r * std::cos(a0), cy + r * std::sin(a0), cx + r * std::cos(a1),
                     cy + r * std::sin(a1), r, 1, tag);
}

// A short arc between two open elements becomes open; one open neighbour, a long chord or an
// open arc leave it as it is.
TEST_F(CutRegionsTest, ShortArcsBetweenOpenElements) {
  struct Case {
    int prevTag, nextTag;
    double radius;
    int want;
  };
  const Case cases[] = {{-1, -1, 0.5, -1}, {-1, 3, 0.5, 3}, {3, -1, 0.5, 3}, {-1, -1, 5.0, 3}};
  for (const Case& k : cases) {
    std::vector<ContourElement> c = {
        contMakeLine(0, 0, 10, 0, k.prevTag), arcOf(10, 1, 1.0, -M_PI / 2, 0.0, 3),
        contMakeLine(11, 1, 11, 10, k.nextTag), contMakeLine(11, 10, 0, 0, 7)};
    c[1].radius = 1.0;
    // The arc's chord is sqrt 2 for radius 1: a length of 2 marks it, 1 does not.
    contMarkShortArcs(c.data(), 4, k.radius == 0.5 ? 2.0 : 1.0);
    EXPECT_EQ(c[1].tag, k.want) << k.prevTag << " " << k.nextTag << " " << k.radius;
    EXPECT_EQ(c[3].tag, 7);  // lines are never marked
  }
  // The wrap: element 0 is an arc whose neighbours are the last and the second element.
  std::vector<ContourElement> w = {arcOf(0, 0, 1.0, 0.0, M_PI / 2, 2),
                                   contMakeLine(0, 1, -5, 1, -1), contMakeLine(-5, 1, 1, 0, -1)};
  contMarkShortArcs(w.data(), 3, 2.0);
  EXPECT_EQ(w[0].tag, -1);
}

TEST_F(CutRegionsTest, BandLoopStartTest) {
  const std::vector<ContourElement> ring = rect(0, 0, 40, 40, true);
  // A loop starting 3 from the ring's start at d = 2: kept; at d = 4 its start is too near.
  const std::vector<ContourElement> loop = polygon({{3, 0.0}, {30, 0.0}, {30, 30}, {3, 30}});
  EXPECT_EQ(ringCutStartFree(ring.data(), 4, loop.data(), 4, 2.0), 1);
  EXPECT_EQ(ringCutStartFree(ring.data(), 4, loop.data(), 4, 4.0), 0);
  // A loop passing within the circle about the start: the circle cuts it.
  const std::vector<ContourElement> near = rect(1, 1, 30, 30, true);
  const std::vector<ContourElement> moved = polygon({{30, 1}, {30, 30}, {1, 30}, {1, 1}});
  EXPECT_EQ(ringCutStartFree(ring.data(), 4, moved.data(), 4, 3.0), 0);
  EXPECT_EQ(ringCutStartFree(ring.data(), 4, near.data(), 4, 0.5), 1);
}

// The span band of a ring and the back band of the ring inside it leave the strip between them:
// the combination gives that one region, with the area of the strip.
TEST_F(CutRegionsTest, CombineLeavesTheStripBetweenTwoBands) {
  ASSERT_EQ(ringCutLayersEnable(1), 0);
  // Span band: inner edge of the outer ring's band, an outer boundary (ccw, leftSide 1).
  insert("CUT_SPAN", rect(0, 0, 50, 50, true), true, true, 0);
  // Back band: outer edge of the inner ring's band, reversed (cw) with leftSide 1: an island.
  insert("CUT_BACK", rect(10, 10, 40, 40, false), false, true, 0);
  EXPECT_EQ(ringCutCombine("CUT_SPAN", "CUT_BACK", 1.0, 1), 1);
  EXPECT_EQ(layerCount("CUT_BACK"), 1);
  // State 2 takes the back contour in as an island of the region.
  ringCutSetState(2);
  EXPECT_EQ(ringCutCombine("CUT_SPAN", "CUT_BACK", 1.0, 1), 1);  // not an outer boundary
  // Crossing bands are split into their loops.
  ringCutSetState(0);
  ASSERT_EQ(layerCreate("CUT_SPAN"), 1);
  ASSERT_EQ(layerCreate("CUT_BACK"), 1);
  insert("CUT_SPAN", rect(0, 0, 50, 50, true), true, true, 0);
  insert("CUT_BACK", rect(-10, 10, 60, 40, false), false, true, 0);
  const int k = ringCutCombine("CUT_SPAN", "CUT_BACK", 1.0, 1);
  ASSERT_EQ(k, 2);
  double area = 0.0;
  for (int i = 0; i < k; ++i) {
    ContourHeader h{};
    std::vector<ContourElement> buf(64);
    ASSERT_EQ(layerGetContour("CUT_SPAN", buf.data(), 64, &h, i), i);
    area += std::fabs(contourArea(buf.data(), h.count));
  }
  EXPECT_NEAR(area, 2 * 50 * 10, 1e-6);
  EXPECT_EQ(layerCount("CUT_BACK"), 0);
}
}  // namespace
