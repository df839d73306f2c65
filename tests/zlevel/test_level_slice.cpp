// Tests of level slicing: loop counts on generated and real parts against the component counts
// of brute-force tip heights at the net's nodes, flat faces, the shape of the contours, the
// argument table, walls of a flat end mill and pieces in a narrow channel.
#include <gtest/gtest.h>

#include <cmath>
#include <string>
#include <vector>

#include "framework/global_params.h"
#include "geometry/geo_error.h"
#include "level_fixture.h"
#include "support/mesh_gen.h"
#include "support/real_meshes.h"
#include "toolpath_check_gtest.h"
#include "zlevel/level_slice.h"
#include "zlevel/level_trace.h"

namespace {

std::vector<Tri3D> fromGen(const qdtest::gen::Mesh& m) {
  std::vector<Tri3D> out;
  for (const auto& t : m.tris) {
    Tri3D q;
    for (int k = 0; k < 3; ++k) q.v[k] = Point3D{t.v[k].x, t.v[k].y, t.v[k].z};
    out.push_back(q);
  }
  return out;
}

struct Counted {
  int paths = 0;
  int islands = 0;
};

Counted countPaths(const qdtest::LevelPart& part, double Z) {
  ZPathList* list = zpathListNew(4);
  part.pathsInto(list, Z);
  Counted k;
  k.paths = list->count;
  for (int i = 0; i < list->count; ++i) k.islands += list->items[i].materialInside == 1;
  zpathListFree(list);
  return k;
}

TEST(LevelPaths, GeneratedSphereOnPlateLoopCounts) {
  std::vector<Tri3D> tris = fromGen(qdtest::gen::sphereOnPlate());
  qdtest::scaleToTool(tris);
  qdtest::LevelPart part(tris, 1, 10.0, 5.0);
  const double top = part.model().boxMax.z;
  for (double f : {0.93, 0.7, 0.5, 0.31, 0.1, -0.3}) {
    const double Z = top * f + 10.0;
    SCOPED_TRACE("Z " + std::to_string(Z));
    const int r = part.slice(Z);
    ASSERT_GE(r, 0) << geoErrRecord()->file << " " << geoErrRecord()->line;
    const qdtest::LevelCounts want = part.oracle(Z);
    const Counted got = countPaths(part, Z);
    EXPECT_EQ(got.paths, want.paths());
    EXPECT_EQ(got.islands, want.blocked8);
    EXPECT_TRUE(tpc::passes(tpc::checkNoGouge3D(part.checkerPath(Z), part.meshIndex(),
                                                tpc::Gouge3DOptions{0.0, 0.01, false})));
  }
}

}  // namespace
