// What a whole roughing run says when it leaves something out or cannot go on: pockets too small
// for the tool (skipped by default, but named), a clearance plane that the rapids would take
// through the stock or the part (the run stops before writing them), a missing model against a
// failed step (each with its own message), and the run report that goes to "rep.txt" only.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <string>
#include <vector>

#include "rough_job.h"
#include "support/mesh_gen.h"
#include "support/temp_dir.h"

namespace {

using qdtest::TempDirTest;

// ---- small pockets ------------------------------------------------------------------------------

// A block 60 x 40 x 15 (top at 0) with a blind square hole 12 x 12 and 10 deep in its middle:
// a bowl only a little wider than the tool (diameter 10 plus twice the allowance 0.5).
constexpr double kBowlFloor = -10;
constexpr double kBowlX0 = 24, kBowlX1 = 36, kBowlY0 = 14, kBowlY1 = 26;

void writeBowlBlock() {
  const qdtest::gen::Mesh m = qdtest::gen::boxWithHoles(1, 1, -kBowlFloor, 60, 40, 15, 12, 12);
  ASSERT_TRUE(qdtest::gen::writeStl("part.stl", m, qdtest::gen::Encoding::kBinary));
}

// Whether the path cuts (a feed move at one z) with the tool's centre inside the bowl at z.
bool cutsInBowl(const tpc::Path& path, double z) {
  for (const tpc::Move& m : path.moves) {
    if (m.kind != tpc::MoveKind::Feed || std::fabs(m.to.z - z) > 1e-3) continue;
    if (m.to.x > kBowlX0 && m.to.x < kBowlX1 && m.to.y > kBowlY0 && m.to.y < kBowlY1) return true;
  }
  return false;
}

// The levels inside the bowl: those cut around the block between the top and the bowl's floor
// plus the allowance.
std::vector<double> bowlLevels(const tpc::Path& path) {
  std::vector<double> in;
  for (double z : qdtest::cutLevels(path)) {
    if (z < 0 && z > kBowlFloor + 0.5 + 1e-3) in.push_back(z);
  }
  return in;
}

// With the defaults the bowl's levels are left uncut, and the run says so once: how many pockets
// and the lowest level (it lost those levels without a word). Switched off, the bowl is cut at
// every one of them and nothing is said.
TEST_F(TempDirTest, SmallPocketsLeftUncutAreNamedOnce) {
  writeBowlBlock();
  qdtest::writeRoughJob("skip", 0, -15, 10);
  const tpc::Path skip = qdtest::checkedRoughRun("skip", 0);
  const std::vector<double> levels = bowlLevels(skip);
  ASSERT_GE(levels.size(), 3u);
  for (double z : levels) EXPECT_FALSE(cutsInBowl(skip, z)) << z;
  const std::vector<std::string> warnings = qdtest::messagesOf(skip, 1181);
  ASSERT_EQ(warnings.size(), 1u);
  const std::string& w = warnings[0];
  EXPECT_NE(w.find("small pocket"), std::string::npos) << w;
  int count = 0;
  double lowest = 0;
  ASSERT_EQ(std::sscanf(w.c_str(), "1181,%d small pockets left uncut, the lowest at level %lf",
                        &count, &lowest),
            2)
      << w;
  EXPECT_EQ(count, static_cast<int>(levels.size())) << w;
  EXPECT_NEAR(lowest, levels.front(), 1e-3) << w;

  qdtest::writeRoughJob("cut", 0, -15, 10, "*SKIP_SMALL_POCKETS 0\n");
  const tpc::Path cut = qdtest::checkedRoughRun("cut", 0);
  EXPECT_EQ(bowlLevels(cut), levels);
  for (double z : levels) EXPECT_TRUE(cutsInBowl(cut, z)) << z;
  EXPECT_TRUE(qdtest::messagesOf(cut, 1181).empty());
}

// ---- the clearance plane ----------------------------------------------------------------------

// A plate 60 x 40 up to 2 with a tower 12 x 10 on it up to 25.
void writeTowerPlate() {
  qdtest::gen::Mesh m;
  qdtest::gen::detail::box(m, {0, 0, 0}, {60, 40, 2});
  qdtest::gen::detail::box(m, {24, 15, 2}, {36, 25, 25});
  ASSERT_TRUE(qdtest::gen::writeStl("part.stl", m, qdtest::gen::Encoding::kBinary));
}

// Rapids travel at the clearance plane. Below the stock top, or below the part's top inside the
// machining region, they would run through stock or part: the run stops with 316 and writes no
// move (it went on with such rapids). A part that rises above the plane only outside the region
// is allowed: the run ends well, with 316 as a warning, and its rapids are clear.
TEST_F(TempDirTest, ClearancePlaneBelowStockOrPartStopsTheRun) {
  writeTowerPlate();
  // The region beside the tower: the tool reaches x 17, the tower starts at 24.
  qdtest::writeFile("beside.bnd", "**BND 1\nX0 Y0 Z0\nX12 Y0 Z0\nX12 Y40 Z0\nX0 Y40 Z0\n**END\n");
  struct Case {
    const char* name;
    double plane;
    const char* more;
    int status;
  };
  const Case cases[] = {
      {"below_stock", 10, "", 1},
      {"below_tower", 20, "", 1},
      {"tower_outside", 20, "*BOUNDARY beside.bnd\n", 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    qdtest::writeRoughJob(c.name, 12, 0, c.plane, c.more);
    tpc::Path path;
    if (c.status == 0) {
      path = qdtest::checkedRoughRun(c.name, 12);
      EXPECT_FALSE(path.moves.empty());
    } else {
      EXPECT_EQ(qdtest::runRoughJob(c.name), c.status);
      path = qdtest::readRoughPof(c.name);
      EXPECT_TRUE(path.moves.empty()) << path.moves.size() << " moves";
    }
    EXPECT_EQ(qdtest::messagesOf(path, 316).size(), 1u);
  }
}

// ---- a missing model and a failed step --------------------------------------------------------

// 509 "* No Model File" names a model that does not load and nothing else: a boundary file that
// cannot be read fails the run with its own 705 (both once were 509).
TEST_F(TempDirTest, NoModelFileOnlyForAMissingModel) {
  writeTowerPlate();
  struct Case {
    const char* name;
    const char* more;
    int own;
  };
  for (const Case& c : {Case{"no_model", "*APPROX nothere.stl\n", 509},
                        Case{"no_boundary", "*BOUNDARY nothere.bnd\n", 705}}) {
    SCOPED_TRACE(c.name);
    qdtest::writeRoughJob(c.name, 12, 0, 30, c.more);
    EXPECT_EQ(qdtest::runRoughJob(c.name), 1);
    const tpc::Path path = qdtest::readRoughPof(c.name);
    EXPECT_EQ(qdtest::messagesOf(path, c.own).size(), 1u);
    EXPECT_EQ(qdtest::messagesOf(path, 509).size(), c.own == 509 ? 1u : 0u);
  }
}

// The run's time and stop code go to "rep.txt" and nowhere else (they were printed too).
TEST_F(TempDirTest, RunReportOnlyInRepTxt) {
  writeTowerPlate();
  qdtest::writeRoughJob("report", 30, 0, 40);
  testing::internal::CaptureStdout();
  testing::internal::CaptureStderr();
  const int status = qdtest::runRoughJob("report");
  const std::string out = testing::internal::GetCapturedStdout();
  const std::string err = testing::internal::GetCapturedStderr();
  EXPECT_EQ(status, 0);
  for (const std::string& text : {out, err}) {
    EXPECT_EQ(text.find("geszeit"), std::string::npos) << text;
    EXPECT_EQ(text.find("Stopcode"), std::string::npos) << text;
  }
  const std::string report = qdtest::readFile("rep.txt");
  EXPECT_EQ(report.rfind("stopcode: 0\ngeszeit: ", 0), 0u) << report;
}

}  // namespace
