// Real roughing runs (controller, slicing, nested pocket cycle, emitter) of a block standing on a
// plate, checked by the independent toolpath checker: the planar cuts lie at the levels the infeed
// gives below the surface, whatever the tool type, and no move comes nearer the part than the
// allowance.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "cycle_job.h"
#include "cycles/rpx5_record.h"
#include "support/mesh_gen.h"
#include "toolpath_check.h"
#include "toolpath_check_gtest.h"

namespace {

namespace gen = qdtest::gen;

// A plate 60 x 60 x 5 with a block 20 x 20 standing on it up to z 15 (the block reaches down
// into the plate, so no two faces coincide).
gen::Mesh blockOnPlate() {
  gen::Mesh m;
  m.name = "blockOnPlate";
  gen::detail::box(m, {0, 0, 0}, {60, 60, 5});
  gen::detail::box(m, {20, 20, 1}, {40, 40, 15});
  return m;
}

class RoughBlockOnPlate : public qdtest::CycleJobTest {};

// The levels are 15 - 4k down to the bottom 0: 11 and 7 clear around the block (the plate stays
// below the tool), 3 and 0 around the plate. Outputting the tool tip, a flat end mill's point is
// its tip; a flat end mill shifted by its radius cut every level 5 lower, the block's ring into the
// plate.
TEST_F(RoughBlockOnPlate, CutsAtTheInfeedLevelsWithoutGouge) {
  ASSERT_TRUE(gen::writeStl("part.stl", blockOnPlate(), gen::Encoding::kText));
  tpc::Mesh part;
  ASSERT_TRUE(tpc::passes(tpc::readStl("part.stl", part)));
  struct Case {
    const char* toolLines;
    tpc::Tool tool;
  };
  const Case cases[] = {
      {"toolType := endMill\n", tpc::Tool::flat(5)},
      {"toolType := radiusMill\ncornerRadius := 2\n", tpc::Tool::torus(5, 2)},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.toolLines);
    qdtest::writeFile("qdRpx5.def", "d := 1\n");
    qdtest::writeFile("job.pcf", std::string("polySource := part.stl\ntempDirectory := tmpd\n") +
                                     c.toolLines +
                                     "toolDiameter := 10\nallowance := 0.5\nsurface := 15\n"
                                     "depth := 15\ninfeedDepth := 4\ninfeedLength := 6\n"
                                     "clearancePlane := 40\nstrategy := contourParallel\n");
    ASSERT_EQ(run(rpx5CycleRecord(), "job"), kRunOk);
    EXPECT_EQ(rpx5CycleRecord()->status, 0);
    tpc::Path path;
    ASSERT_TRUE(tpc::passes(tpc::readPofText(path, pof(), c.tool, "job")));
    EXPECT_TRUE(tpc::passes(tpc::checkSanity(path)));
    EXPECT_TRUE(tpc::passes(tpc::checkLevels(path, {11, 7, 3, 0})));
    tpc::Gouge3DOptions gouge;
    // Checked at the full allowance; a path a radius too low misses it by millimetres.
    gouge.allowance = 0.5;
    gouge.tol = 0.01;
    EXPECT_TRUE(tpc::passes(tpc::checkNoGouge3D(path, part, gouge)));
  }
}

}  // namespace
