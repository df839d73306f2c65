// Corner spurs of edge movement: the spur length at a right-angle corner against the stepover
// width, which corners get one, the pull-back to the reference ring, the switches, and the rings
// of a level with spurs cut through the output and checked by the independent checker.
#include <gtest/gtest.h>

#include <cmath>
#include <vector>

#include "pock_output_support.h"
#include "pocket/ccp_params.h"
#include "pocket/contour_tree.h"
#include "pocket/edge_corners.h"
#include "pocket/offset_rings.h"
#include "toolpath_check.h"
#include "toolpath_check_gtest.h"

using namespace pocktest;

namespace {

constexpr double kTol = 0.0001;  // the engine tolerance

std::vector<ContourElement> rectRing(double x0, double y0, double x1, double y1, int tag = 0) {
  auto e = polygon({{x0, y0}, {x1, y0}, {x1, y1}, {x0, y1}});
  for (auto& x : e) x.tag = tag;
  return e;
}

class EdgeCornersTest : public ::testing::Test {
 protected:
  void SetUp() override { reset(); }
  void TearDown() override { reset(); }
  static void reset() {
    ctreeResetState();
    pockLevelResetState();
    pockCfgReset();
    pockRunReset();
    layerResetState();
  }
  // A tree whose node 0 is the reference ring.
  static void reference(const std::vector<ContourElement>& ring) {
    ASSERT_EQ(ctreeInit(1), 1);
    ContourHeader h{};
    h.count = static_cast<int>(ring.size());
    h.leftSide = 1;
    ASSERT_EQ(ctreeAdd(ring.data(), &h, 0, 0), 0);
  }
  // Edge movement with tool radius r and stepover width w, the machined side +1.
  static void edge(double r, double w, int cfg = 1) {
    pockCfg().edgeMovement = static_cast<std::int16_t>(cfg);
    pockSetEdgeMovement(r, w, 1);
  }
  // The spurs in a ring: pairs of lines out from a corner and straight back, as (corner, end).
  static std::vector<std::pair<Point2D, Point2D>> spurs(const std::vector<ContourElement>& e) {
    std::vector<std::pair<Point2D, Point2D>> out;
    for (std::size_t i = 0; i + 1 < e.size(); ++i) {
      const Point2D a = contElemStart(e[i]), b = contElemEnd(e[i]);
      if (contSamePoint(contElemStart(e[i + 1]), b) && contSamePoint(contElemEnd(e[i + 1]), a)) {
        out.push_back({a, b});
      }
    }
    return out;
  }
};

// A right-angle corner turning toward the side, tool radius 5: width 8 gives a spur of
// 8 sqrt 2 - 10 + tol along the bisector, out of the corner; width 7 (7 sqrt 2 below 10) none; the
// limit lies between 7.0710 and 7.1; a wide stepover caps the spur at the width. The reference
// ring (the width further out) is too far to stop it.
TEST_F(EdgeCornersTest, RightAngleSpurLengthAgainstWidth) {
  struct Case {
    double width;
    double spur;  // 0: no spur
  };
  const double r2 = std::sqrt(2.0);
  for (const Case& c :
       {Case{8.0, 8.0 * r2 - 10.0 + kTol}, Case{7.0, 0.0}, Case{7.1, 7.1 * r2 - 10.0 + kTol},
        Case{7.0710, 0.0}, Case{30.0, 30.0}}) {  // 30 sqrt 2 - 10 beyond the width: the width
    // The reference: the ring the width further out.
    ctreeResetState();
    reference(rectRing(13 - c.width, 13 - c.width, 67 + c.width, 47 + c.width));
    edge(5.0, c.width);
    auto ring = rectRing(13, 13, 67, 47, 7);
    const int n = static_cast<int>(ring.size());
    ring.resize(ring.size() + 8);
    const int m = pockEdgeCorners(0, ring.data(), n, static_cast<int>(ring.size()));
    ring.resize(static_cast<std::size_t>(m));
    const auto s = spurs(ring);
    if (c.spur == 0.0) {
      EXPECT_EQ(m, 4) << c.width;
      continue;
    }
    ASSERT_EQ(m, 12) << c.width;
    ASSERT_EQ(s.size(), 4u);
    const Point2D centre{40, 30};
    for (const auto& [corner, end] : s) {
      EXPECT_NEAR(contDistance(corner, end), c.spur, 1e-9) << c.width;
      // Along the bisector, away from the ring's inside: both coordinates move away from the
      // centre by the same amount.
      EXPECT_NEAR(std::fabs(end.x - corner.x), std::fabs(end.y - corner.y), 1e-9);
      EXPECT_GT(contDistance(end, centre), contDistance(corner, centre));
    }
    for (const auto& e : ring) EXPECT_EQ(e.tag, 7);  // the spurs take the element's tag
    // The ring stays closed and chained.
    for (int i = 0; i < m; ++i) {
      EXPECT_TRUE(contSamePoint(contElemEnd(ring[static_cast<std::size_t>(i)]),
                                contElemStart(ring[static_cast<std::size_t>((i + 1) % m)])));
    }
  }
}

// Which corners get spurs: only those turning toward the side (an L-shaped ring's inner corner
// gets none); the other side turns it round; "*EDGE_MOVEMENT" 0, an unknown node or a buffer
// without room for both lines leave the ring alone.
TEST_F(EdgeCornersTest, WhichCornersGetSpurs) {
  // An L-shaped ring, counter-clockwise: five left turns and one right turn.
  const auto ell = polygon({{10, 10}, {60, 10}, {60, 30}, {30, 30}, {30, 50}, {10, 50}});
  reference(polygon({{0, 0}, {70, 0}, {70, 40}, {40, 40}, {40, 60}, {0, 60}}));
  struct Case {
    const char* name;
    int cfg;
    double width;
    int side;
    int node;
    int room;  // extra room in the buffer
    int spurs;
  };
  const Case cases[] = {
      {"left turns", 1, 8.0, 1, 0, 20, 5},
      {"other side: the right turn", 1, 8.0, -1, 0, 20, 1},
      {"forced on with a narrow width", 2, 4.0, 1, 0, 20, 0},  // on, but 4 sqrt 2 < 10
      {"switched off in the configuration", 0, 8.0, 1, 0, 20, 0},
      {"unknown node", 1, 8.0, 1, 3, 20, 0},
      {"room for one spur only", 1, 8.0, 1, 0, 3, 1},
  };
  for (const Case& c : cases) {
    pockCfg().edgeMovement = static_cast<std::int16_t>(c.cfg);
    pockSetEdgeMovement(5.0, c.width, c.side);
    auto ring = ell;
    ring.resize(ring.size() + static_cast<std::size_t>(c.room));
    const int m = pockEdgeCorners(c.node, ring.data(), 6, static_cast<int>(ring.size()));
    EXPECT_EQ(m, 6 + 2 * c.spurs) << c.name;
    ring.resize(static_cast<std::size_t>(m));
    EXPECT_EQ(static_cast<int>(spurs(ring).size()), c.spurs) << c.name;
  }
  // The inner corner (30, 30) is the one the other side takes.
  pockCfg().edgeMovement = 1;
  pockSetEdgeMovement(5.0, 8.0, -1);
  auto ring = ell;
  ring.resize(10);
  ring.resize(static_cast<std::size_t>(pockEdgeCorners(0, ring.data(), 6, 10)));
  ASSERT_EQ(spurs(ring).size(), 1u);
  EXPECT_TRUE(contSamePoint(spurs(ring)[0].first, Point2D{30, 30}));
}

// Edge movement is on when the width reaches the radius + tol, or when forced: at the 20-degree
// apex of a thin triangle a width of 4.9 with radius 5 would give a spur (capped at the width), but
// only the forced switch turns it on; the base corners (80 degrees) stay below the limit.
TEST_F(EdgeCornersTest, ForcedSwitchAndAcuteApex) {
  reference(rectRing(-100, -100, 200, 200));
  const double h = 30.0 * std::cos(10.0 * std::acos(-1.0) / 180.0);
  const double w = 30.0 * std::sin(10.0 * std::acos(-1.0) / 180.0);
  const auto tri = polygon({{0, 0}, {w, h}, {-w, h}});  // counter-clockwise, apex at (0, 0)
  for (int cfg : {1, 2}) {
    pockCfg().edgeMovement = static_cast<std::int16_t>(cfg);
    pockSetEdgeMovement(5.0, 4.9, 1);
    auto ring = tri;
    ring.resize(12);
    const int m = pockEdgeCorners(0, ring.data(), 3, 12);
    ring.resize(static_cast<std::size_t>(m));
    if (cfg == 1) {
      EXPECT_EQ(m, 3);
      continue;
    }
    ASSERT_EQ(m, 5);
    const auto s = spurs(ring);
    ASSERT_EQ(s.size(), 1u);
    EXPECT_TRUE(contSamePoint(s[0].first, Point2D{0, 0}));
    EXPECT_NEAR(s[0].second.x, 0.0, 1e-9);  // straight down the bisector, away from the inside
    EXPECT_NEAR(s[0].second.y, -4.9, 1e-9);
  }
}

// A reference ring nearer than the spur's length stops it at the first crossing.
TEST_F(EdgeCornersTest, SpurStopsAtTheReferenceRing) {
  // The reference cuts the corner at (67, 13) with a chamfer 0.5 from it along the bisector: the
  // line x - y = k through (67, 13) + 0.5 (1, -1) / sqrt 2.
  const double k = 54 + 0.5 * std::sqrt(2.0);
  reference(polygon({{5, 5}, {k + 5, 5}, {75, 75 - k}, {75, 55}, {5, 55}}));
  edge(5.0, 8.0);
  auto ring = rectRing(13, 13, 67, 47);
  ring.resize(12);
  const int m = pockEdgeCorners(0, ring.data(), 4, 12);
  ring.resize(static_cast<std::size_t>(m));
  ASSERT_EQ(m, 12);
  int stopped = 0;
  for (const auto& [corner, end] : spurs(ring)) {
    const double len = contDistance(corner, end);
    if (contSamePoint(corner, Point2D{67, 13})) {
      EXPECT_NEAR(len, 0.5, 1e-9);
      ++stopped;
    } else {
      EXPECT_NEAR(len, 8.0 * std::sqrt(2.0) - 10.0 + kTol, 1e-9);
    }
  }
  EXPECT_EQ(stopped, 1);
}

// The rings of a level with edge movement: every ring offset from another gets a spur at each
// corner, the first ring none; cut through the output, the path keeps R from the walls, stays on
// the level and leaves nothing of the level uncut.
class EdgeCornersOutputTest : public OutputTest {
 protected:
  void TearDown() override {
    ctreeResetState();
    pockCfgReset();
    OutputTest::TearDown();
  }
};

TEST_F(EdgeCornersOutputTest, RingsOfALevelWithSpursPassTheChecker) {
  // 100 x 60, R 5, stepover width 8 (ZM 0.8): rings at 5, 13, 21 and 29 from the walls.
  putContour("INPUT", polygon({{0, 0}, {100, 0}, {100, 60}, {0, 60}}), 0, -5);
  putContour("MAIN", polygon({{0, 0}, {100, 0}, {100, 60}, {0, 60}}), 0, -5);
  pockAllowancesFromLayer("MAIN");
  pockEngine().pockToolRadius = 5.0;
  pockEngine().pockStepFactor = 0.8;
  pockCfg().edgeMovement = 1;
  pockSetEdgeMovement(5.0, 8.0, 1);
  ASSERT_EQ(ctreeInit(1), 1);
  ASSERT_EQ(ringOffsetIslands(5.0, pockAllowances(), 1), 1);
  ASSERT_EQ(ringBuildSpans(5.0, 0.0, 0.8, 1), 1);
  ASSERT_EQ(ringBuildSuccessive(8.0, 1, 0), 1);
  ASSERT_EQ(ctreeNodeCount(), 4);
  const double spur = 8.0 * std::sqrt(2.0) - 10.0 + kTol;
  pockWriteHeader();
  for (int k = 3; k >= 0; --k) {
    const ContourTreeNode* node = ctreeNodeAt(k);
    std::vector<ContourElement> ring(static_cast<std::size_t>(node->count));
    ASSERT_EQ(ctreeGetElems(ring.data(), node->count, node->block), 1);
    EXPECT_EQ(node->count, k == 0 ? 4 : 12) << k;
    for (std::size_t i = 0; i + 1 < ring.size(); ++i) {
      const Point2D a = contElemStart(ring[i]);
      if (contSamePoint(contElemEnd(ring[i + 1]), a) && ring[i].type == kContLine) {
        EXPECT_NEAR(contDistance(a, contElemEnd(ring[i])), spur, 1e-6) << k;
      }
    }
    pockOutput().pockNewStart = 1;
    for (const auto& e : ring) pockEmitElement(e);
  }
  pockWriteLevelEnd();
  closeRun();
  tpc::Path path;
  ASSERT_TRUE(tpc::passes(tpc::readPofText(path, text(), tpc::Tool::flat(5), "spurs")));
  const tpc::Pocket pocket{tpc::rectangle(0, 0, 100, 60, 0, 0), {}, false};
  EXPECT_TRUE(tpc::passes(tpc::checkSanity(path)));
  EXPECT_TRUE(tpc::passes(tpc::checkNoGouge2D(path, pocket)));
  EXPECT_TRUE(tpc::passes(tpc::checkLinks2D(path, pocket)));
  EXPECT_TRUE(tpc::passes(tpc::checkLevels(path, {-5})));
  tpc::CoverOptions cover;
  cover.floorZ = -5;
  cover.step = 8.0;
  EXPECT_TRUE(tpc::passes(tpc::checkCoverClear(path, pocket, cover)));
}

}  // namespace
