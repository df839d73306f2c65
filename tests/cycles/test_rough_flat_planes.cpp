// Step mode 3 through the whole run: the roughing main machines the flat areas that the
// controller outlined in a second pass, one level per area, at the face's height plus the
// allowance. A box standing on a plate gives two flat faces whose heights lie between the
// step-down levels.
#include <gtest/gtest.h>

#include <cmath>
#include <string>
#include <vector>

#include "rough_job.h"
#include "support/temp_dir.h"

namespace {

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

}  // namespace
