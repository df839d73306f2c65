// Step mode 3 through the whole run: the roughing main machines the flat areas that the
// controller outlined in a second pass, one level per area, at the face's height plus the
// allowance. A box standing on a plate gives two flat faces whose heights lie between the
// step-down levels.
#include <gtest/gtest.h>

#include <cmath>
#include <string>
#include <vector>

#include "pocket_block.h"
#include "rough_job.h"
#include "support/mesh_gen.h"
#include "support/temp_dir.h"

namespace {

namespace gen = qdtest::gen;
using qdtest::kBoxTop;
using qdtest::kPlateTop;
using qdtest::TempDirTest;

// Step mode 3 cuts the step-down levels of the plain job (surface 12, bottom 0) and, in its second
// pass, the plate top and the box top at their heights plus the allowance; both finders give
// these levels.
TEST_F(TempDirTest, OptimizedStepsCutEveryFlatFaceAtItsHeight) {
  qdtest::writeBoxOnPlate("part.stl");
  qdtest::writeRoughJob("plain", 12, 0, 30);
  std::vector<double> expected = qdtest::cutLevels(qdtest::checkedRoughRun("plain", 12));
  for (double face : {kPlateTop, kBoxTop}) {
    for (double z : expected) ASSERT_GT(std::fabs(z - (face + 0.5)), 0.1) << "a level on a face";
    expected.push_back(face + 0.5);
  }
  for (const int exact : {1, 0}) {
    SCOPED_TRACE(exact != 0 ? "exact finder" : "drop-net finder");
    const std::string name = exact != 0 ? "exact" : "dropnet";
    qdtest::writeRoughJob(name, 12, 0, 30,
                          "*STEP_MODE 3\n*PLANES_EXACT " + std::to_string(exact) + "\n");
    const tpc::Path path = qdtest::checkedRoughRun(name, 12);
    EXPECT_TRUE(tpc::passes(tpc::checkLevels(path, expected, 0.01)));
  }
}

// A plate 76 x 76 with its top at kPlateTop and on it a frustum of a regular 96-gon, radius 15.94
// at the plate, 15.9 at its top 8 higher: a round wall standing at 89.7 degrees, like the foot of
// a sphere cut near its equator.
constexpr double kFrustumTop = kPlateTop + 8;
void writeFrustumOnPlate(const std::string& file) {
  gen::Mesh m;
  gen::detail::box(m, {0, 0, 0}, {76, 76, kPlateTop});
  const std::vector<gen::Vec> foot = gen::detail::ngon(96, 15.94, 38, 38, 0.37);
  const std::vector<gen::Vec> head = gen::detail::ngon(96, 15.9, 38, 38, 0.37);
  const gen::Vec axisFoot{38, 38, kPlateTop}, axisHead{38, 38, kFrustumTop};
  for (std::size_t j = 0; j < foot.size(); ++j) {
    const std::size_t k = (j + 1) % foot.size();
    const gen::Vec a0{foot[j].x, foot[j].y, kPlateTop}, b0{foot[k].x, foot[k].y, kPlateTop};
    const gen::Vec a1{head[j].x, head[j].y, kFrustumTop}, b1{head[k].x, head[k].y, kFrustumTop};
    gen::detail::quad(m, a0, b0, b1, a1);
    gen::detail::tri(m, axisHead, a1, b1);
    gen::detail::tri(m, axisFoot, b0, a0);
  }
  ASSERT_TRUE(gen::writeStl(file, m, gen::Encoding::kBinary));
}

// The second pass around a round obstacle whose wall stands nearly upright, with both finders:
// the plate top and the frustum's top are cut at their heights plus the allowance, and no move
// comes nearer the part than the allowance, within the emitter's thinning tolerance (a path point
// within 0.0025 of the chord between its neighbours is dropped).
TEST_F(TempDirTest, OptimizedStepsCutTheFlatsAroundASteepRoundWall) {
  writeFrustumOnPlate("part.stl");
  tpc::Mesh part;
  ASSERT_TRUE(tpc::passes(tpc::readStl("part.stl", part)));
  qdtest::writeRoughJob("plain", 12, 0, 30);
  ASSERT_EQ(qdtest::runRoughJob("plain"), 0);
  std::vector<double> expected = qdtest::cutLevels(qdtest::readRoughPof("plain"));
  for (double face : {kPlateTop, kFrustumTop}) {
    for (double z : expected) ASSERT_GT(std::fabs(z - (face + 0.5)), 0.1) << "a level on a face";
    expected.push_back(face + 0.5);
  }
  for (const int exact : {1, 0}) {
    SCOPED_TRACE(exact != 0 ? "exact finder" : "drop-net finder");
    const std::string name = exact != 0 ? "exact" : "dropnet";
    qdtest::writeRoughJob(name, 12, 0, 30,
                          "*STEP_MODE 3\n*PLANES_EXACT " + std::to_string(exact) + "\n");
    ASSERT_EQ(qdtest::runRoughJob(name), 0);
    const tpc::Path path = qdtest::readRoughPof(name);
    EXPECT_TRUE(tpc::passes(tpc::checkSanity(path, {3003})));
    EXPECT_TRUE(tpc::passes(tpc::checkLevels(path, expected, 0.01)));
    EXPECT_TRUE(tpc::passes(tpc::checkNoGouge3D(path, part, {.allowance = 0.5, .tol = 0.01})));
  }
}

// Step mode 3 on a block with a pocket round an island, with the default strategy (whose tool
// system is turned by 90 degrees): the second pass loaded its model through a filter that
// compared the file's corners, untransformed, with the outlines in the tool system, so half the
// block was missing and the island-top level cut stripes through the block's top; the block's
// bottom, which faces down, was outlined as a flat area too. Both finders now cut the step-down
// levels and the island top and the pocket floor at their heights plus the allowance, nothing at
// the bottom, and every move keeps the allowance.
TEST_F(TempDirTest, OptimizedStepsOnAPocketedBlockKeepTheAllowance) {
  qdtest::writePocketBlock("part.stl");
  std::vector<double> expected{qdtest::kIslandTop + 0.5, qdtest::kPocketFloor + 0.5};
  for (double z = 0; z < qdtest::kBlockTop - 1; z += 3) expected.push_back(z);
  for (const int exact : {1, 0}) {
    SCOPED_TRACE(exact != 0 ? "exact finder" : "drop-net finder");
    const std::string name = exact != 0 ? "exact" : "dropnet";
    qdtest::writeRoughJob(name, qdtest::kBlockTop, 0, 40,
                          "*VERTZUSTEL 3\n*BEARBEITRICHT 1\n*STEP_MODE 3\n*PLANES_EXACT " +
                              std::to_string(exact) + "\n");
    const tpc::Path path = qdtest::checkedRoughRun(name, qdtest::kBlockTop);
    EXPECT_TRUE(tpc::passes(tpc::checkLevels(path, expected, 0.01)));
  }
}

}  // namespace
