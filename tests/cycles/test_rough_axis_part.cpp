// A whole roughing run of a generated part with a box, an island and a bowl, with the default
// strategy (standardX: the axis-parallel pocket cycle per level, passes along x), with standardY
// and with contourParallel, small pockets not skipped. The independent checker sees no gouge, every
// level, and on every level no cell that the tool fits left uncut: above the block the region round
// the island, inside the bowl its floor, which is only a little wider than the tool.
#include <gtest/gtest.h>

#include <cmath>
#include <string>
#include <vector>

#include "cycle_job.h"
#include "cycles/rpx5_record.h"
#include "support/mesh_gen.h"
#include "toolpath_check.h"
#include "toolpath_check_gtest.h"

namespace {

namespace gen = qdtest::gen;

// The block 100 x 80 from z -14 up to 0 with a bowl of 13 x 13 (the tool and twice the allowance
// are 11 wide) down to -9 in its middle, and an island 20 x 40 standing on it up to 15 (reaching
// 1 into the block, so that no two faces coincide).
constexpr double kBowl[4] = {43.5, 33.5, 56.5, 46.5};
constexpr double kIsland[4] = {15, 20, 35, 60};

gen::Mesh blockWithIslandAndBowl() {
  gen::Mesh m = gen::boxWithHoles(1, 1, 9, 100, 80, 14, 13, 13);
  m.name = "blockWithIslandAndBowl";
  gen::detail::box(m, {kIsland[0], kIsland[1], -1}, {kIsland[2], kIsland[3], 15});
  return m;
}

struct StrategyCase {
  const char* name;
  const char* strategyLine;  // empty: the default
  int axisPocket;            // "*AXIS_POCKET" after the run
  char passes;               // the direction of most long cuts: 'x', 'y' or 0 for rings
};

void PrintTo(const StrategyCase& c, std::ostream* os) { *os << c.name; }

class RoughAxisPart : public qdtest::CycleJobTest,
                      public ::testing::WithParamInterface<StrategyCase> {};

// Tool centre 5.5 (radius and allowance) from the part's walls: the levels above the block clear
// the model's box (the tool centre may reach its edge) round the island; the levels below the
// block's top clear the bowl.
tpc::Pocket levelPocket(double z) {
  constexpr double kWall = 5.5;
  tpc::Pocket p;
  p.centreContours = true;
  if (z > 0) {
    p.outer = tpc::rectangle(0, 0, 100, 80, 0, 100);
    p.islands.push_back(tpc::rectangle(kIsland[0], kIsland[1], kIsland[2], kIsland[3], kWall, 100));
  } else {
    p.outer = tpc::rectangle(kBowl[0], kBowl[1], kBowl[2], kBowl[3], kWall, 100);
  }
  return p;
}

TEST_P(RoughAxisPart, EveryCellTheToolFitsIsCutWithoutGouge) {
  const StrategyCase& c = GetParam();
  ASSERT_TRUE(gen::writeStl("part.stl", blockWithIslandAndBowl(), gen::Encoding::kBinary));
  tpc::Mesh part;
  ASSERT_TRUE(tpc::passes(tpc::readStl("part.stl", part)));
  qdtest::writeFile("qdRpx5.def", "d := 1\n");
  // Levels every 2.5 from 14 down to -8, one above the bowl's floor: 11.5 .. 1.5 above the block,
  // -1 .. -8 in the bowl. Stepover 5 (the radius), so that rings leave no cusp either.
  qdtest::writeFile("job.pcf", std::string("polySource := part.stl\ntempDirectory := tmpd\n") +
                                   "toolType := endMill\ntoolDiameter := 10\nallowance := 0.5\n"
                                   "surface := 14\ndepth := 22\ninfeedDepth := 2.5\n"
                                   "infeedLength := 5\nclearancePlane := 30\n"
                                   "skipSmallPockets := false\n" +
                                   c.strategyLine);
  ASSERT_EQ(run(rpx5CycleRecord(), "job"), kRunOk);
  const std::string pof = this->pof();
  EXPECT_EQ(rpx5CycleRecord()->status, 0) << pof.substr(pof.size() > 3000 ? pof.size() - 3000 : 0);
  tpc::Path path;
  ASSERT_TRUE(tpc::passes(tpc::readPofText(path, pof, tpc::Tool::flat(5), "job")));
  EXPECT_TRUE(tpc::passes(tpc::checkSanity(path, {3003})));
  const std::vector<double> levels{11.5, 9, 6.5, 4, 1.5, -1, -3.5, -6, -8};
  EXPECT_TRUE(tpc::passes(tpc::checkLevels(path, levels)));
  EXPECT_TRUE(tpc::passes(tpc::checkNoGouge3D(path, part, {.allowance = 0.5, .tol = 0.01})));
  EXPECT_TRUE(
      tpc::passes(tpc::checkLinks3D(path, part, {.surface = 14}, {.allowance = 0.5, .tol = 0.01})));
  // The strategy reached the pocketing: the axis-parallel cycle's passes run along x for
  // standardX and along y for standardY; the rings' cuts go both ways.
  EXPECT_EQ(parGlobalBlock()->axisPocket, c.axisPocket);
  double alongX = 0, alongY = 0;
  for (const tpc::Move& m : path.moves) {
    if (m.kind != tpc::MoveKind::Feed || std::fabs(m.from.z - m.to.z) > 1e-6) continue;
    const double dx = std::fabs(m.to.x - m.from.x), dy = std::fabs(m.to.y - m.from.y);
    if (dy < 1e-6) alongX += dx;
    if (dx < 1e-6) alongY += dy;
  }
  const char passes = alongX > 3 * alongY ? 'x' : (alongY > 3 * alongX ? 'y' : 0);
  EXPECT_EQ(passes, c.passes) << alongX << " along x, " << alongY << " along y";
  for (const double z : levels) {
    SCOPED_TRACE(testing::Message() << "level " << z);
    tpc::CoverOptions cover;
    cover.floorZ = z + 0.0025;  // the cut lies a hair above the level
    cover.tol = 0.01;
    EXPECT_TRUE(tpc::passes(tpc::checkCoverClear(path, levelPocket(z), cover)));
  }
}

INSTANTIATE_TEST_SUITE_P(
    Strategies, RoughAxisPart,
    ::testing::Values(StrategyCase{"standardX", "", 1, 'x'},
                      StrategyCase{"standardY", "strategy := standardY\n", 1, 'y'},
                      StrategyCase{"contourParallel", "strategy := contourParallel\n", 0, 0}),
    [](const auto& info) { return std::string(info.param.name); });

}  // namespace
