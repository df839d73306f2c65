// Step mode 3: the controller writes the flat areas of each region into the flat-plane outline
// file (with either finder) and the roughing main machines them in a second pass, one level per
// area, at the face's height plus the allowance. A box standing on a plate gives two flat faces
// whose heights lie between the step-down levels.
#include <gtest/gtest.h>

#include <cmath>
#include <set>
#include <string>
#include <vector>

#include "cycles/rough_control.h"
#include "cycles/rough_setup.h"
#include "cycles/run_reset.h"
#include "framework/global_params.h"
#include "framework/memory.h"
#include "geometry/kont_files.h"
#include "geometry/kont_region.h"
#include "model/model_fixture.h"
#include "rough_job.h"
#include "support/mesh_gen.h"
#include "support/temp_dir.h"
#include "zlevel/step_opt.h"

namespace {

using qdtest::TempDirTest;

// A plate 60 x 40 with its top at 3.3 and a box 20 x 10 on it up to 9.2.
constexpr double kPlateTop = 3.3, kBoxTop = 9.2;
constexpr double kBoxX0 = 20, kBoxY0 = 15, kBoxX1 = 40, kBoxY1 = 25;

void writeBoxOnPlate(const std::string& file) {
  qdtest::gen::Mesh m;
  qdtest::gen::detail::box(m, {0, 0, 0}, {60, 40, kPlateTop});
  qdtest::gen::detail::box(m, {kBoxX0, kBoxY0, kPlateTop}, {kBoxX1, kBoxY1, kBoxTop});
  ASSERT_TRUE(qdtest::gen::writeStl(file, m, qdtest::gen::Encoding::kBinary));
}

// ---- the controller's outlines ----------------------------------------------------------------

int noRegionStep(const RoughRegionInput*, MachiningParams*, SurfaceModel*) { return 0; }
int noFinish(const MachiningParams*, const SurfaceModel*) { return 0; }

class RoughFlatOutlines : public TempDirTest {
 protected:
  void SetUp() override {
    cyc3dResetRunState(nullptr);
    roughSetRegionFn(noRegionStep);
    roughSetFinishFn(noFinish);
    modelInit(&model_, 3);
    model_.cutter = static_cast<CutterShape*>(memAllocZero(sizeof(CutterShape)));
    *model_.cutter = qdtest::makeCutter(2, 5, 0);  // a flat end mill of radius 5
    writeBoxOnPlate("part.stl");
  }
  // The job after a run-start reset.
  static void configure() {
    cyc3dResetRunState(nullptr);
    GlobalParams& g = *parGlobalBlock();
    std::snprintf(g.approx, sizeof g.approx, "%s", "part.stl");
    std::snprintf(g.apt, sizeof g.apt, "%s", "out.pof");
    std::snprintf(g.tmpDir, sizeof g.tmpDir, "%s", ".");
    // The lengths as the run uses them (the part is read unscaled here): surface 12, bottom 0.
    g.frradius = 5;
    g.frtyp = 2;
    g.oberfl = 12;
    g.tief = 0;
    g.vertzustel = 2.5;
    g.precision = 0.01;
    g.sichebene = 100;
    g.stepMode = 3;
  }
  void TearDown() override {
    roughSetRegionFn(nullptr);
    roughSetFinishFn(nullptr);
    cyc3dResetRunState(nullptr);
    modelFreeContents(&model_);
    memFree(model_.cutter);
  }
  SurfaceModel model_{};
};

// Both finders outline the plate top around the box and the box top, each block at its face's
// height (scaled), the plate's with the box as its hole; the area within the region is the
// face's area less what the outline keeps off the walls.
TEST_F(RoughFlatOutlines, BothFindersWriteEachFaceAtItsHeight) {
  for (const int exact : {1, 0}) {
    SCOPED_TRACE(exact != 0 ? "exact finder" : "drop-net finder");
    configure();
    GlobalParams& g = *parGlobalBlock();
    g.planesExact = static_cast<std::int16_t>(exact);
    ASSERT_GE(roughControl(roughMachiningParams(), &model_), 0);
    EXPECT_EQ(stepOptPlaneFileWritten(), 1);
    Kont2D* read = kontReadBnd(roughFlatPlaneFile(), 1, 1);
    ASSERT_NE(read, nullptr);
    // Each face has a block at its height (the drop-net finder's lie 0.001 above) holding a
    // point of the face; no block lies at another height.
    struct Face {
      double z;
      Point2D inside;
    };
    for (const Face f : {Face{kPlateTop, {5, 5}}, Face{kBoxTop, {30, 20}}}) {
      bool found = false;
      for (const Kont2D* k = read; k != nullptr; k = k->next) {
        found = found || (std::fabs(k->z - f.z) <= 0.002 && kontClassifyPoint(k, f.inside) == 2);
      }
      EXPECT_TRUE(found) << "face at " << f.z;
    }
    for (const Kont2D* k = read; k != nullptr; k = k->next) {
      EXPECT_TRUE(std::fabs(k->z - kPlateTop) <= 0.002 || std::fabs(k->z - kBoxTop) <= 0.002)
          << k->z;
    }
    kontFree(read);
  }
}

// ---- the whole run --------------------------------------------------------------------------

// Step mode 3 cuts the step-down levels of the plain job (surface 12, bottom 0) and, in its second
// pass, the plate top and the box top at their heights plus the allowance; both finders give
// these levels.
TEST_F(TempDirTest, OptimizedStepsCutEveryFlatFaceAtItsHeight) {
  writeBoxOnPlate("part.stl");
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
