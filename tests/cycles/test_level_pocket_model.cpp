// A level of a real part pocketed end to end in-process: the level sliced from the mesh, its
// tool-centre paths written as the level's exchange file, the real contour-parallel cycle run
// nested, and the read-back path checked against the sliced contours.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <vector>

#include "../zlevel/level_fixture.h"
#include "level_pocket_support.h"
#include "support/real_meshes.h"
#include "toolpath_check.h"
#include "toolpath_check_gtest.h"

using lptest::LevelPocketTest;

TEST_F(LevelPocketTest, SlicedLevelOfARealPart) {
  QDTEST_SKIP_WITHOUT_REAL_MESHES();
  std::vector<Tri3D> tris = qdtest::readTriangles(qdtest::dataPath("sphere_on_plate.stl"));
  ASSERT_FALSE(tris.empty());
  const double scale = qdtest::scaleToTool(tris);
  qdtest::LevelPart part(tris, 1, 10.0, 5.0);
  const double Z = 22.9 * scale + 10.0;  // the sphere's mid-height, ball centre
  ASSERT_GE(part.slice(Z, 0.01), 0);
  ZPathList* list = zpathListNew(8);
  part.pathsInto(list, Z);
  ASSERT_GT(list->count, 0);
  lptest::markNesting(list);
  Kont2D* region = part.region();
  const double regionZ = region->z;
  region->z = Z;
  ASSERT_EQ(::mkdir("work", 0755), 0);
  std::snprintf(parGlobalBlock()->tmpDir, kParTextSize, "work");
  ASSERT_EQ(zcontWritePocket("work/tmp.qdx", region, list->items, list->count, 0), 1);
  PathList* out = pathListNew(5000, 1);
  ASSERT_EQ(levelPocketContour(10, Z, out, 0), 1);
  ASSERT_GT(out->count, 10);

  // No point of the path lies inside material or outside the region.
  tpc::Pocket pocket;
  std::vector<std::pair<double, double>> box;
  for (int s = 0; s < region->count; ++s)
    box.emplace_back(region->segments[s].x1, region->segments[s].y1);
  pocket.outer = tpc::polygon(box, 0, 1e9);
  for (int i = 0; i < list->count; ++i) {
    const ZPath& p = list->items[i];
    if (p.materialInside == 0) continue;
    std::vector<std::pair<double, double>> loop;
    for (int k = 0; k < p.count; ++k) loop.emplace_back(p.points[2 * k], p.points[2 * k + 1]);
    pocket.islands.push_back(tpc::polygon(loop, 0, 1e9));
    for (int k = 0; k < out->count; ++k) {
      const Point2D q{out->positions[k].x, out->positions[k].y};
      if (zpathContainsPoint(q, &p) == 1) {
        EXPECT_LE(zpathPointDistance(q, &p), 0.01) << k;
      }
    }
  }
  EXPECT_FALSE(pocket.islands.empty()) << "the sphere's contour holds material";
  pocket.centreContours = true;
  tpc::Path checked;
  ASSERT_TRUE(tpc::passes(tpc::readPof(checked, "work/tmp.pof", tpc::Tool::ball(10))));
  EXPECT_TRUE(tpc::passes(tpc::checkNoGouge2D(checked, pocket, {.tol = 0.02})));
  EXPECT_TRUE(tpc::passes(tpc::checkSanity(checked)));
  region->z = regionZ;
  pathListFree(out);
  zpathListFree(list);
}
