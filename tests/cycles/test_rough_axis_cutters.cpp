// Whole roughing runs of the generated pocketed block (a pocket round an island, a bowl, a sloped
// shelf) with the default strategy (standardX: the axis-parallel pocket cycle per level) and a
// ball and a torus mill. The independent checker sees the run end well, every level of the
// step-down ladder, the passes along x, no gouge at the full allowance and rapids clear of the
// stock and the part, both judged in 3-D.
#include <gtest/gtest.h>

#include <cmath>
#include <string>
#include <vector>

#include "pocket_block.h"
#include "rough_job.h"
#include "toolpath_check.h"
#include "toolpath_check_gtest.h"

namespace {

struct CutterCase {
  const char* name;
  const char* toolLines;  // "*FRTYP" and, for a torus, "*FRBOGEN"
  tpc::Tool tool;
};

void PrintTo(const CutterCase& c, std::ostream* os) { *os << c.name; }

class RoughAxisCutters : public qdtest::TempDirTest,
                         public ::testing::WithParamInterface<CutterCase> {};

TEST_P(RoughAxisCutters, CutEveryLevelWithoutGouge) {
  const CutterCase& c = GetParam();
  qdtest::writePocketBlock("part.stl");
  tpc::Mesh part;
  ASSERT_TRUE(tpc::passes(tpc::readStl("part.stl", part)));
  // From the block's top down to its base in steps of 3, stepover 6, allowance 0.5, the tip as the
  // programmed point; no strategy.
  qdtest::writeFile("job.CFG", std::string("*APPROX part.stl\n*APT job.pof\n") + c.toolLines +
                                   "*FRRADIUS 5\n*AUFMASS 0.5\n*OBERFL 30\n*TIEF 0\n"
                                   "*VERTZUSTEL 3\n*HORIZUSTEL 6\n*SICHEBENE 40\n*TOOL_TIP 1\n");
  ASSERT_EQ(qdtest::runRoughJob("job"), 0);
  tpc::Path path;
  ASSERT_TRUE(tpc::passes(tpc::readPof(path, "job.pof", c.tool)));
  EXPECT_TRUE(tpc::passes(tpc::checkSanity(path, {3003})));
  for (const std::string& m : qdtest::messagesOf(path, 1104)) {
    EXPECT_EQ(m, "1104,rough5xHolderFree");
  }
  // The ladder's tool tip heights, the same for every cutter (the POF gives the tip): 27 down to
  // the base.
  const std::vector<double> levels{27, 24, 21, 18, 15, 12, 9, 6, 3, 0};
  EXPECT_TRUE(tpc::passes(tpc::checkLevels(path, levels)));
  EXPECT_TRUE(tpc::passes(tpc::checkNoGouge3D(path, part, {.allowance = 0.5, .tol = 0.01})));
  EXPECT_TRUE(tpc::passes(tpc::checkLinks3D(path, part, {.surface = qdtest::kBlockTop},
                                            {.allowance = 0.5, .tol = 0.01})));
  // The default strategy reached the pocketing: most planar feed runs go along x.
  double alongX = 0, alongY = 0;
  for (const tpc::Move& m : path.moves) {
    if (m.kind != tpc::MoveKind::Feed || std::fabs(m.from.z - m.to.z) > 1e-6) continue;
    const double dx = std::fabs(m.to.x - m.from.x), dy = std::fabs(m.to.y - m.from.y);
    if (dy < 1e-6) alongX += dx;
    if (dx < 1e-6) alongY += dy;
  }
  EXPECT_GT(alongX, 3 * alongY) << alongX << " along x, " << alongY << " along y";
}

INSTANTIATE_TEST_SUITE_P(Cutters, RoughAxisCutters,
                         ::testing::Values(CutterCase{"ball", "*FRTYP 1\n", tpc::Tool::ball(5)},
                                           CutterCase{"torus", "*FRTYP 3\n*FRBOGEN 2\n",
                                                      tpc::Tool::torus(5, 2)}),
                         [](const auto& info) { return std::string(info.param.name); });

}  // namespace
