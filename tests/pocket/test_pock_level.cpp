// Per-level pocketing: the wall-angle allowance in closed form, the full-circle test, the marking
// near the outer boundary, the edge-movement switch, the dispatch to the level strategies and a
// nested run whose read-back reports the missing strategy as a failure.
#include <gtest/gtest.h>

#include <cmath>
#include <numbers>

#include "ccp_support.h"
#include "framework/kernel.h"
#include "output/pof_reader.h"
#include "pock_output_support.h"
#include "pocket/ccp_params.h"

using namespace pocktest;

namespace {

// A full circle about c of radius r made of n arcs.
std::vector<ContourElement> circleArcs(Point2D c, double r, int n, int dir = 1) {
  std::vector<ContourElement> e;
  for (int i = 0; i < n; ++i) {
    const double a0 = dir * 2 * std::numbers::pi * i / n;
    const double a1 = dir * 2 * std::numbers::pi * (i + 1) / n;
    e.push_back(contMakeArc(c.x, c.y, c.x + r * std::cos(a0), c.y + r * std::sin(a0),
                            c.x + r * std::cos(a1), c.y + r * std::sin(a1), r, dir, 0));
  }
  return e;
}

using LevelTest = OutputTest;

}  // namespace

// The wall-angle allowance: tan(w)(top - b - (1 - sin w) c) - (1 - cos w) c, scaled.
TEST_F(LevelTest, WallAngleAllowanceClosedForm) {
  const double w = 10 * std::numbers::pi / 180;
  struct Case {
    const char* name;
    int toolType;
    double corner, scale;
    double expected;  // for a contour 5 above the level bottom
  };
  const Case cases[] = {
      {"flat end mill", kCcpToolFlat, 0, 1, std::tan(w) * 5},
      {"ball, c = D/2", kCcpToolBall, 0, 1,
       std::tan(w) * (5 - (1 - std::sin(w)) * 5) - (1 - std::cos(w)) * 5},
      {"radius mill", kCcpToolRadius, 2, 1,
       std::tan(w) * (5 - (1 - std::sin(w)) * 2) - (1 - std::cos(w)) * 2},
      {"flat, scaled 25", kCcpToolFlat, 0, 25, std::tan(w) * 5 * 25},
      {"ball, scaled 25", kCcpToolBall, 0, 25,
       (std::tan(w) * (5 - (1 - std::sin(w)) * 5) - (1 - std::cos(w)) * 5) * 25},
  };
  for (const Case& c : cases) {
    layerCreate("MAIN");
    putContour("MAIN", polygon({{0, 0}, {40, 0}, {40, 30}, {0, 30}}), 0, -10);
    // An island whose top lies below the level bottom is left alone.
    putContour("MAIN", polygon({{10, 10}, {10, 20}, {20, 20}, {20, 10}}), -8, -10, false);
    pockAllowancesFromLayer("MAIN");
    pockEngine().scaleFactor = c.scale;
    record->toolType = c.toolType;
    record->toolDiameter = 10 * c.scale;
    record->cornerRadius = c.corner * c.scale;
    record->wallAngle = 10;
    record->surface = -3;
    record->depth = 2;  // bottom -5, the outer top 5 above it
    ASSERT_EQ(pockWallAngleAllowance("MAIN"), 1);
    ContourHeader h{};
    layerGetHeader("MAIN", &h, 0);
    EXPECT_NEAR(h.allowance, c.expected, 1e-12) << c.name;
    EXPECT_NEAR(pockAllowances()[0], c.expected, 1e-12) << c.name;
    layerGetHeader("MAIN", &h, 1);
    EXPECT_EQ(h.allowance, 0) << c.name;
  }
  pockEngine().scaleFactor = 1;
  record->wallAngle = 0;
  EXPECT_EQ(pockWallAngleAllowance("MAIN"), 0);
}

// A full circle of 2, 4 or 8 arcs is a circle with its centre; an arc 0.001 off, a line among
// the arcs, mixed directions or a second contour are not.
TEST_F(LevelTest, LayerIsCircle) {
  for (int n : {2, 4, 8}) {
    layerCreate("MAIN");
    putContour("MAIN", circleArcs({3, -2}, 7, n), 0, -5);
    Point2D c{};
    EXPECT_EQ(layerIsCircle("MAIN", &c), 1) << n;
    EXPECT_EQ(c.x, 3);
    EXPECT_EQ(c.y, -2);
  }
  auto off = circleArcs({3, -2}, 7, 4);
  off[2].p0 += 0.001;
  auto withLine = circleArcs({3, -2}, 7, 4);
  withLine[1] = contMakeLine(withLine[1].p2, withLine[1].p3, withLine[1].p4, withLine[1].p5, 0);
  auto mixed = circleArcs({3, -2}, 7, 4);
  mixed[3].dir = -1;
  for (const auto& e : {off, withLine, mixed}) {
    layerCreate("MAIN");
    putContour("MAIN", e, 0, -5);
    EXPECT_EQ(layerIsCircle("MAIN", nullptr), 0);
  }
  layerCreate("MAIN");
  putContour("MAIN", circleArcs({3, -2}, 7, 4), 0, -5);
  putContour("MAIN", circleArcs({3, -2}, 2, 4, -1), 0, -5, false);
  EXPECT_EQ(layerIsCircle("MAIN", nullptr), 0);
}

// Elements of later contours whose middle lies within 0.07 of the first contour or outside it are
// tagged -1; the rest keep their tags.
TEST_F(LevelTest, MarkNearFirst) {
  putContour("MAIN", polygon({{0, 0}, {40, 0}, {40, 30}, {0, 30}}), 0, -5);
  // An island touching the bottom wall (y 0.05) and one reaching outside on the right.
  putContour("MAIN", polygon({{10, 0.05}, {10, 10}, {20, 10}, {20, 0.05}}), 0, -5, false);
  putContour("MAIN", polygon({{30, 10}, {30, 20}, {50, 20}, {50, 10}}), 0, -5, false);
  ASSERT_EQ(layerMarkNearFirst("MAIN"), 1);
  std::vector<ContourElement> e(4);
  ContourHeader h{};
  layerGetContour("MAIN", e.data(), 4, &h, 1);
  // (10,0.05)-(10,10), (10,10)-(20,10), (20,10)-(20,0.05), (20,0.05)-(10,0.05)
  EXPECT_EQ((std::vector<int>{e[0].tag, e[1].tag, e[2].tag, e[3].tag}),
            (std::vector<int>{0, 0, 0, -1}));
  layerGetContour("MAIN", e.data(), 4, &h, 2);
  // (30,10)-(30,20), (30,20)-(50,20) middle (40,20) on the wall, (50,20)-(50,10) outside,
  // (50,10)-(30,10) middle (40,10) on the wall.
  EXPECT_EQ((std::vector<int>{e[0].tag, e[1].tag, e[2].tag, e[3].tag}),
            (std::vector<int>{0, -1, -1, -1}));
  layerGetContour("MAIN", e.data(), 4, &h, 0);
  EXPECT_EQ(e[0].tag, 0);
}

// Edge movement is on when the limit reaches the step plus the tolerance, or when forced.
TEST(PockEdgeMovementSwitch, Table) {
  pockRunReset();
  pockCfgReset();
  struct Case {
    double step, limit;
    int forced, on;
  };
  const Case cases[] = {{5, 8, 0, 1}, {5, 5.0001, 0, 1}, {5, 5.00005, 0, 0}, {5, 4, 2, 1}};
  for (const Case& c : cases) {
    pockCfg().edgeMovement = static_cast<std::int16_t>(c.forced);
    pockSetEdgeMovement(c.step, c.limit, -1);
    EXPECT_EQ(pockEdgeMovement().on, c.on) << c.limit;
    EXPECT_EQ(pockEdgeMovement().side, -1);
  }
  pockCfgReset();
  pockLevelResetState();
}

// pockLevel dispatches to the strategy of the record; the axis-parallel strategy on a level whose
// contours are not tool-centre contours reports 3021 once per run and the level fails. A circle in
// MAIN gives its centre as the start point.
TEST_F(LevelTest, DispatchAndStartPoint) {
  putContour("MAIN", circleArcs({12, 9}, 8, 4), 0, -5);
  // The default strategy pockets the circle from its centre (the level's end then puts the
  // start-given flag back to the record's); the other strategies fail here.
  record->strategy = kCcpStrategyDefault;
  EXPECT_GE(pockLevel(), 0);
  EXPECT_EQ(pockEngine().pockStartPoint.x, 12);
  EXPECT_EQ(pockEngine().pockStartPoint.y, 9);
  record->strategy = kCcpStrategyAxisParallel;
  EXPECT_EQ(pockLevel(), -1);
  EXPECT_EQ(pockLevel(), -1);
  std::fflush(stream);
  const std::string pof = qdtest::readFile("out.pof");
  std::size_t n = 0;
  for (std::size_t at = pof.find("error(1104)"); at != std::string::npos;
       at = pof.find("error(1104)", at + 1)) {
    ++n;
  }
  EXPECT_EQ(n, 1u);  // once per run
  // A given start point is kept; collection mode is left off after the level.
  pockEngine().pockStartPoint = {1, 1};
  pockEngine().pockStartSet = 1;
  pockEngine().pockCollectOutput = 1;
  EXPECT_EQ(pockLevel(), -1);
  EXPECT_EQ(pockEngine().pockStartPoint.x, 1);
  EXPECT_EQ(pockOutput().pockCollecting, 0);
  EXPECT_EQ(pockOutput().pockCollected, nullptr);
  // Another run reports again.
  pockLevelRunReset();
  EXPECT_EQ(pockLevel(), -1);
  std::fflush(stream);
  EXPECT_NE(qdtest::readFile("out.pof").find("error(1104)", pof.size()), std::string::npos);
}

// Cut regions switch on for a wide stepover with completePocket, or with considerToolType.
TEST_F(LevelTest, CutRegionSwitch) {
  putContour("MAIN", polygon({{0, 0}, {40, 0}, {40, 30}, {0, 30}}), 0, -5);
  struct Case {
    int complete, consider;
    double infeed, fillet;
    int stock;
    int on;
  };
  const Case cases[] = {
      {1, 0, 6, 0, 0, 1},   {1, 0, 4, 0, 0, 0}, {1, 0, 4, 1, 0, 1}, {0, 1, 3.5, 0, 0, 1},
      {0, 1, 2.5, 0, 0, 0}, {1, 0, 6, 0, 1, 1}, {1, 0, 1, 1, 1, 0},
  };
  for (const Case& c : cases) {
    record->completePocket = c.complete;
    record->considerToolType = c.consider;
    record->infeedLength = c.infeed;
    record->filletRadius = c.fillet;
    pockEngine().pockStockMode = c.stock;
    pockLevel();
    EXPECT_EQ(pockCutRegionsOn(), c.on) << c.infeed << " " << c.fillet << " " << c.stock;
  }
}

namespace {
class NestedRunTest : public qdtest::TempDirTest {
 protected:
  void SetUp() override {
    ccptest::resetPocketRun();
    pofReadResetState();
    pockSetSourceLoader(ccpCycleRecord());
    ccpCycleRecord()->status = 0;
  }
  void TearDown() override {
    pofReadResetState();
    ccpResetState();
    ccpRecordReset();
    layerResetState();
    pofResetState();
    numResetState();
  }
};
}  // namespace

// A pocket job written as the roughing writes it ("tmp.pcf", "tmp.qdx", output "tmp.pof"): a
// job the cycle cannot cut (its geometry file is missing) leaves an error record that the
// read-back reports as a failure, never as success.
TEST_F(NestedRunTest, ReadBackReportsAFailedJob) {
  using namespace ccptest;
  qdtest::writeFile("tmp.pcf", pcf({{"geoSource", "tmp.qdx"},
                                    {"toolDiameter", "10"},
                                    {"oriAutomatic", "none"},
                                    {"depth", "5"},
                                    {"clearancePlane", "20"},
                                    {"parameters", "qdCCP_p.mlt"},
                                    {"algorithm", "qdCCP_a.mlt"},
                                    {"layers", "qdCCP_y.mlt"},
                                    {"geoOut", "qdCCP.qDX"},
                                    {"MessageFile", "qdCCPdef.err"},
                                    {"pofFilename", "tmp.pof"}}));
  EXPECT_NE(runCycle(ccpCycleRecord(), "tmp.pcf"), kRunOk);
  EXPECT_EQ(ccpCycleRecord()->status, 1);
  const std::string pof = qdtest::readFile("tmp.pof");
  EXPECT_NE(pof.find("0: error("), std::string::npos) << pof;
  const PofReadHooks none{};
  pofReadSetHooks(&none);
  EXPECT_EQ(pofReadBack("tmp.pof"), -1) << pof;
}
