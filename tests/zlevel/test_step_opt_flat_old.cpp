// Tests of the older single-net flat-area finder: on the wheel in a box its blocks lie at the flat
// heights in world coordinates, and the loops (cut into simple loops where an area has holes)
// cover points of the flat areas exactly once and points off them never; the append flag and the
// kept heights.
#include <gtest/gtest.h>

#include <cmath>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "framework/global_params.h"
#include "geometry/csys.h"
#include "geometry/kont2d.h"
#include "geometry/kont_region.h"
#include "level_fixture.h"
#include "model/model_load.h"
#include "support/mesh_gen.h"
#include "support/real_meshes.h"
#include "support/temp_dir.h"
#include "zlevel/step_opt_flat_old.h"

namespace {

struct Loop {
  double z;
  std::vector<Point2D> pts;
};

std::vector<Loop> readLoops(const std::string& text) {
  std::vector<Loop> loops;
  std::istringstream is(text);
  std::string line;
  while (std::getline(is, line)) {
    if (line.rfind("**BND", 0) == 0) {
      EXPECT_EQ(line.find("**WZ"), std::string::npos);
      loops.push_back({0, {}});
      continue;
    }
    double x = 0, y = 0, z = 0;
    if (std::sscanf(line.c_str(), "X%lf Y%lf Z%lf", &x, &y, &z) == 3) {
      loops.back().z = z;
      loops.back().pts.push_back({x, y});
    }
  }
  return loops;
}

bool inside(const std::vector<Point2D>& p, double x, double y) {
  bool in = false;
  for (std::size_t i = 0, j = p.size() - 1; i < p.size(); j = i++) {
    if ((p[i].y > y) != (p[j].y > y) &&
        x < (p[j].x - p[i].x) * (y - p[i].y) / (p[j].y - p[i].y) + p[i].x)
      in = !in;
  }
  return in;
}

int coverCount(const std::vector<Loop>& loops, double z, double x, double y) {
  int n = 0;
  for (const Loop& l : loops)
    if (std::fabs(l.z - z) < 0.01 && inside(l.pts, x, y)) ++n;
  return n;
}

struct KontDel {
  void operator()(Kont2D* k) const { kontFree(k); }
};

class StepOptFlatOld : public qdtest::TempDirTest {
 protected:
  void SetUp() override {
    stepOptOldResetState();
    *parGlobalBlock() = GlobalParams{};
    csysResetState();
  }
  void TearDown() override {
    stepOptOldResetState();
    csysResetState();
  }
  // Every block at a flat height, and the flat areas covered once where the points lie on them.
  static void checkWheel(const std::vector<Loop>& loops, const std::vector<double>& flats) {
    ASSERT_FALSE(loops.empty());
    for (const Loop& l : loops) {
      bool flat = false;
      for (double f : flats) flat |= std::fabs(l.z - f) < 0.01;
      EXPECT_TRUE(flat) << l.z;
    }
    struct Probe {
      double z, x, y;
      int covered;
    };
    const Probe probes[] = {
        {4, 80, 0, 1},  {4, -80, 80, 1}, {4, 0, -80, 1},  {4, 35, 35, 1},  // floor
        {4, 0, 0, 0},   {4, 65, 0, 0},                                     // hub and rim
        {35, 0, 0, 1},  {22, 0, 65, 1},  {22, -65, 0, 1}, {18, 40, 0, 1},  // tops
        {35, 65, 0, 0}, {18, 80, 0, 0},
    };
    for (const Probe& p : probes)
      EXPECT_EQ(coverCount(loops, p.z, p.x, p.y), p.covered) << p.z << " " << p.x << " " << p.y;
  }
};

TEST_F(StepOptFlatOld, GeneratedWheelAtWorldFlatHeights) {
  std::vector<Tri3D> tris;
  const qdtest::gen::Mesh wheel = qdtest::gen::wheelInBox();
  for (const auto& t : wheel.tris) {
    Tri3D q;
    for (int k = 0; k < 3; ++k) q.v[k] = Point3D{t.v[k].x, t.v[k].y, t.v[k].z};
    tris.push_back(q);
  }
  qdtest::scaleToTool(tris);  // tool = 2 x world
  csysMulScale(2.0);
  qdtest::LevelPart part(std::move(tris), kCutterFlat, 0.0, 5.0);
  SurfaceModel& m = part.model();
  m.floorZ = -100.0;
  m.ceilingZ = 1000.0;
  m.step = 1.0;
  m.tolerance = 0.005;
  m.candidateLength = 20;
  std::unique_ptr<Kont2D, KontDel> region(kontNewRect({-170, -170}, {170, 170}));
  ASSERT_EQ(stepOptFlatAreaBoundsOld(&m, region.get()), 1);
  const std::vector<Loop> loops = readLoops(qdtest::readFile(kStepOptOldFile));
  checkWheel(loops, wheel.flatLevels);
  // the heights kept are the blocks' (in the tool system)
  ASSERT_EQ(stepOptWrittenCount(), static_cast<int>(loops.size()));
  for (int i = 0; i < stepOptWrittenCount(); ++i)
    EXPECT_NEAR(stepOptWrittenHeight(i) / 2, loops[static_cast<std::size_t>(i)].z, 1e-6);
  EXPECT_EQ(stepOptWrittenHeight(-1), 0.0);
  EXPECT_EQ(stepOptWrittenHeight(stepOptWrittenCount()), 0.0);
  // a second call starts afresh; with the append flag it carries on
  const std::size_t first = loops.size();
  ASSERT_EQ(stepOptFlatAreaBoundsOld(&m, region.get()), 1);
  EXPECT_EQ(readLoops(qdtest::readFile(kStepOptOldFile)).size(), first);
  stepOptSetAppend(1);
  ASSERT_EQ(stepOptFlatAreaBoundsOld(&m, region.get()), 1);
  EXPECT_EQ(readLoops(qdtest::readFile(kStepOptOldFile)).size(), 2 * first);
  EXPECT_EQ(stepOptWrittenCount(), static_cast<int>(2 * first));
  EXPECT_NE(qdtest::readFile(kStepOptOldFile).find("**BND " + std::to_string(2 * first) + "\n"),
            std::string::npos);
  EXPECT_EQ(stepOptFlatAreaBoundsOld(nullptr, region.get()), -1);
}

TEST_F(StepOptFlatOld, RealWheelAtWorldFlatHeights) {
  QDTEST_SKIP_WITHOUT_REAL_MESHES();
  csysMulScale(2.0);
  CutterShape cutter = qdtest::makeCutter(kCutterFlat, 10.0, 0.0);
  SurfaceModel m;
  modelInit(&m, 3);
  m.cutter = &cutter;
  ASSERT_EQ(modelLoadFile(&m, qdtest::dataPath("wheel_in_box.stl").c_str()), 0);
  ASSERT_EQ(modelBuildIndex(&m), 1);
  m.floorZ = -100.0;
  m.ceilingZ = 1000.0;
  m.step = 1.0;
  m.tolerance = 0.005;
  m.candidateLength = 20;
  std::unique_ptr<Kont2D, KontDel> region(kontNewRect({-170, -170}, {170, 170}));
  const int r = stepOptFlatAreaBoundsOld(&m, region.get());
  m.cutter = nullptr;
  const std::vector<Loop> loops = readLoops(qdtest::readFile(kStepOptOldFile));
  modelFreeContents(&m);
  ASSERT_EQ(r, 1);
  std::vector<double> flats{0, 4, 18, 22, 35, 50};
  for (const Loop& l : loops) {
    bool flat = false;
    for (double f : flats) flat |= std::fabs(l.z - f) < 0.01;
    EXPECT_TRUE(flat) << l.z;
  }
  EXPECT_GE(loops.size(), 4u);
}

}  // namespace
