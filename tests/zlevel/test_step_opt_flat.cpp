// Tests of the flat-area finder on two drop nets: the blocks written for the wheel in a box (one
// per spoke top, the hub top's area against the area of its horizontal triangles), small areas
// left out, a height that already is a level, a region too narrow for a grid, and the file and
// flag across calls.
#include <gtest/gtest.h>

#include <cmath>
#include <map>
#include <string>
#include <vector>

#include "framework/global_params.h"
#include "geometry/geo_error.h"
#include "geometry/kont2d.h"
#include "geometry/kont_files.h"
#include "geometry/kont_region.h"
#include "level_fixture.h"
#include "support/mesh_gen.h"
#include "support/temp_dir.h"
#include "zlevel/step_opt.h"
#include "zlevel/step_opt_flat.h"
#include "zlevel/step_opt_mark.h"
#include "zlevel/zlevel_list.h"

namespace {

struct KontDel {
  void operator()(Kont2D* k) const { kontFree(k); }
};
using KontPtr = std::unique_ptr<Kont2D, KontDel>;
struct LevelsDel {
  void operator()(ZLevelList* l) const { zlevFree(l); }
};
using LevelsPtr = std::unique_ptr<ZLevelList, LevelsDel>;

// The plane file's blocks: height (x 100, rounded; the level list adds its tolerance 0.001) ->
// areas of the loops written at it.
std::map<long, std::vector<double>> blocksOf(const std::string& text) {
  std::map<long, std::vector<double>> out;
  std::size_t at = 0;
  while ((at = text.find("**BND", at)) != std::string::npos) {
    const std::size_t end = text.find("**END", at);
    std::vector<Point2D> pts;
    double z = 0;
    std::size_t line = text.find('\n', at) + 1;
    while (line < end) {
      double x = 0;
      double y = 0;
      std::sscanf(text.c_str() + line, "X%lf Y%lf Z%lf", &x, &y, &z);
      pts.push_back(Point2D{x, y});
      line = text.find('\n', line) + 1;
    }
    double a = 0;
    for (std::size_t k = 0; k + 1 < pts.size(); ++k) {
      a += 0.5 * (pts[k].x * pts[k + 1].y - pts[k + 1].x * pts[k].y);
    }
    out[std::lround(z * 100)].push_back(a);
    at = end;
  }
  return out;
}

class StepOptFlat : public qdtest::TempDirTest {
 protected:
  void SetUp() override {
    stepOptResetState();
    geoErrReset();
    *parGlobalBlock() = GlobalParams{};
    std::vector<Tri3D> tris;
    for (const auto& t : qdtest::gen::wheelInBox().tris) {
      Tri3D q;
      for (int k = 0; k < 3; ++k) q.v[k] = Point3D{t.v[k].x, t.v[k].y, t.v[k].z};
      tris.push_back(q);
    }
    qdtest::scaleToTool(tris);  // factor 2: hub top 70, rim top 44, spoke tops 36, floor 8
    tris_ = tris;
    part_ = std::make_unique<qdtest::LevelPart>(std::move(tris), 1, 10.0, 5.0);
    stepOptSetPlaneFile("plane.bnd");
    // The drop parameters the roughing sets on its model before the nets are built.
    SurfaceModel& m = part_->model();
    m.floorZ = -100.0;
    m.ceilingZ = 1000.0;
    m.step = 1.0;
    m.tolerance = 0.005;
    m.candidateLength = 20;
  }
  void TearDown() override { stepOptResetState(); }

  // Area of the horizontal upward triangles at height z within the box |x|, |y| <= half.
  double flatArea(double z, double half) const {
    double a = 0;
    for (const Tri3D& t : tris_) {
      if (stepOptIsPlaneTriangle(t, kStepOptFlatNz) == 0 || std::fabs(t.v[0].z - z) > 1e-6) {
        continue;
      }
      bool inside = true;
      for (const Point3D& v : t.v) inside &= std::fabs(v.x) <= half && std::fabs(v.y) <= half;
      if (!inside) continue;
      a += 0.5 * ((t.v[1].x - t.v[0].x) * (t.v[2].y - t.v[0].y) -
                  (t.v[2].x - t.v[0].x) * (t.v[1].y - t.v[0].y));
    }
    return a;
  }

  std::vector<Tri3D> tris_;
  std::unique_ptr<qdtest::LevelPart> part_;
};

TEST_F(StepOptFlat, WheelBlocksAtEachFlatHeight) {
  KontPtr region(kontNewRect(Point2D{-150, -150}, Point2D{150, 150}));
  LevelsPtr levels(zlevNew(20, 200.0, 0.0));
  ASSERT_EQ(stepOptFlatAreaBounds(&part_->model(), region.get(), levels.get()), 1)
      << geoErrRecord()->file << " " << geoErrRecord()->line;
  EXPECT_EQ(stepOptPlaneFileWritten(), 1);
  const auto blocks = blocksOf(qdtest::readFile("plane.bnd"));
  // Block heights are face + c: the spokes (four separate tops), the rim and the hub.
  ASSERT_EQ(blocks.count(4600), 1U);
  EXPECT_EQ(blocks.at(4600).size(), 4U);
  ASSERT_EQ(blocks.count(8000), 1U);
  ASSERT_EQ(blocks.at(8000).size(), 1U);
  ASSERT_EQ(blocks.count(5400), 1U);
  EXPECT_GE(blocks.count(1800), 1U);  // the floor around the wheel
  // The hub top: within (r' + one grid step) x perimeter of its triangles' area.
  const double hub = flatArea(70.0, 40.0);
  ASSERT_GT(hub, 0);
  const double perimeter = 2 * 8 * 30 * std::sin(3.14159265358979 / 8);
  const double rp = 2.0;  // a fifth of the radius
  EXPECT_NEAR(std::fabs(blocks.at(8000)[0]), hub, (rp + rp) * perimeter);
  // Blocks are numbered from 1 on.
  EXPECT_NE(qdtest::readFile("plane.bnd").find("**BND 1 **WZ\n"), std::string::npos);
}

TEST_F(StepOptFlat, ExistingLevelSuppressesItsHeightAndPlanesOnlyKeepsIt) {
  KontPtr region(kontNewRect(Point2D{-50, -50}, Point2D{50, 50}));
  LevelsPtr levels(zlevNew(20, 200.0, 0.0));
  zlevInsertExact(levels.get(), 80.005, 0.0, kZlevStepdown);
  ASSERT_EQ(stepOptFlatAreaBounds(&part_->model(), region.get(), levels.get()), 1);
  EXPECT_EQ(blocksOf(qdtest::readFile("plane.bnd")).count(8000), 0U);

  parGlobalBlock()->planesOnly = 1;
  std::remove("plane.bnd");
  ASSERT_EQ(stepOptFlatAreaBounds(&part_->model(), region.get(), levels.get()), 1);
  EXPECT_EQ(blocksOf(qdtest::readFile("plane.bnd")).count(8000), 1U);
}

// A region narrower than 0.05 gave a column step of 0 / 0.
TEST_F(StepOptFlat, NarrowRegionFindsNothing) {
  KontPtr region(kontNewRect(Point2D{0, -50}, Point2D{0.03, 50}));
  LevelsPtr levels(zlevNew(20, 200.0, 0.0));
  EXPECT_EQ(stepOptFlatAreaBounds(&part_->model(), region.get(), levels.get()), 1);
  EXPECT_FALSE(qdtest::fileExists("plane.bnd"));
  EXPECT_EQ(stepOptPlaneFileWritten(), 0);
}

// A small flat area (one spoke end clipped to a sliver) is not written; without any horizontal
// face the flag keeps its value.
TEST_F(StepOptFlat, SmallAreasAndNoFacesWriteNothing) {
  KontPtr region(kontNewRect(Point2D{60, -1}, Point2D{61.5, 1}));  // 2 x 2 nodes on a spoke
  LevelsPtr levels(zlevNew(20, 200.0, 0.0));
  stepOptTakeFlatFirstCall();  // a later call of the run keeps the flag
  stepOptSetPlaneFileWritten(1);
  EXPECT_EQ(stepOptFlatAreaBounds(&part_->model(), region.get(), levels.get()), 1);
  if (qdtest::fileExists("plane.bnd")) {  // opened for appending, but no block in it
    EXPECT_EQ(qdtest::readFile("plane.bnd").find("**BND"), std::string::npos);
  }
  EXPECT_EQ(stepOptPlaneFileWritten(), 1);
}

TEST_F(StepOptFlat, LevelsVariantInsertsWrittenHeights) {
  KontPtr region(kontNewRect(Point2D{-50, -50}, Point2D{50, 50}));
  LevelsPtr levels(zlevNew(20, 200.0, 0.0));
  ASSERT_EQ(stepOptFlatAreaLevels(&part_->model(), region.get(), levels.get(), "other.bnd"), 1);
  EXPECT_TRUE(qdtest::fileExists("other.bnd"));
  EXPECT_FALSE(qdtest::fileExists("plane.bnd"));
  bool hub = false;
  for (int k = 0; k < levels->count; ++k) hub |= std::fabs(levels->z[k] - 80.0) < 0.02;
  EXPECT_TRUE(hub);
}

}  // namespace
