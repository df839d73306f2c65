// Tests of level slicing: loop counts on generated and real parts against the component counts
// of brute-force tip heights at the net's nodes, flat faces, the shape of the contours, the
// argument table, walls of a flat end mill and pieces in a narrow channel.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <string>
#include <vector>

#include "framework/global_params.h"
#include "gen_triangles.h"
#include "geometry/geo_error.h"
#include "level_fixture.h"
#include "level_oracle.h"
#include "support/mesh_gen.h"
#include "support/real_meshes.h"
#include "zlevel/level_slice.h"
#include "zlevel/level_trace.h"

namespace {

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

// Every traced position clears the part by at least -tolerance, every triangle contact lies
// within the tolerance of touching, and a chord's midpoint clears by at least -tolerance (the
// walk shortens a step whose chord would reach deeper).
void expectShape(const qdtest::LevelPart& part, double Z, double tol) {
  const PkoList* l = part.traced();
  double worstVertex = 1e300, worstContact = 0, worstChord = 1e300;
  for (int i = 0; i < l->count; ++i) {
    const Seg3D& s = l->segments[i];
    if (l->ids[i] == -2) continue;  // along the region's boundary
    const double d = part.clearance(Point3D{s.end.x, s.end.y, Z});
    worstVertex = std::min(worstVertex, d);
    const int kind = std::abs(l->kinds[i]);
    if (kind >= 1 && kind <= 3) worstContact = std::max(worstContact, d);
    const Point3D mid{(s.start.x + s.end.x) / 2, (s.start.y + s.end.y) / 2, Z};
    worstChord = std::min(worstChord, part.clearance(mid));
  }
  EXPECT_GE(worstVertex, -tol);
  EXPECT_LE(worstContact, tol);
  EXPECT_GE(worstChord, -tol - 1e-6);
}

// Slices level Z and compares it with the oracle: every net node on its side, the loop and
// island counts those of the node components. Where the net's components differ from the
// loops, a grid of step R/20 must give the loops' counts (the net's step misses a passage or a
// small component; the difference is reported).
void expectLevel(qdtest::LevelPart& part, double Z, bool shape = true) {
  SCOPED_TRACE("Z " + std::to_string(Z));
  const int r = part.slice(Z);
  ASSERT_GE(r, 0) << geoErrRecord()->file << " " << geoErrRecord()->line;
  ZPathList* list = zpathListNew(4);
  part.pathsInto(list, Z);
  const qdtest::LevelOracle oracle(part);
  EXPECT_EQ(oracle.nodesOnTheWrongSide(list, Z, 0.05), 0);
  zpathListFree(list);
  const Counted got = countPaths(part, Z);
  qdtest::LevelCounts want = oracle.counts(Z);
  if (got.paths != want.paths() || got.islands != want.blocked8) {
    const qdtest::LevelCounts dense = oracle.counts(Z, part.tool().radius / 20);
    std::printf(
        "level %.4f: net nodes give %d loops (%d islands), a grid of R/20 %d (%d), the "
        "slice %d (%d)\n",
        Z, want.paths(), want.blocked8, dense.paths(), dense.blocked8, got.paths, got.islands);
    want = dense;
  }
  EXPECT_EQ(got.paths, want.paths());
  EXPECT_EQ(got.islands, want.blocked8);
  if (shape) expectShape(part, Z, 0.01);
}

TEST(LevelPaths, GeneratedSphereOnPlateLoopCountsAndShape) {
  std::vector<Tri3D> tris = qdtest::trianglesOf(qdtest::gen::sphereOnPlate());
  qdtest::scaleToTool(tris);
  qdtest::LevelPart part(tris, 1, 10.0, 5.0);
  const double top = part.model().boxMax.z;
  for (double f : {0.93, 0.7, 0.5, 0.31, 0.1, -0.3}) expectLevel(part, top * f + 10.0);
}

struct RealLevels {
  const char* file;
  std::vector<double> z;  // levels in the file's units, tip heights
};

class LevelPathsReal : public ::testing::TestWithParam<RealLevels> {};

TEST_P(LevelPathsReal, LoopCountsEqualTheNodeComponents) {
  QDTEST_SKIP_WITHOUT_REAL_MESHES();
  std::vector<Tri3D> tris = qdtest::readTriangles(qdtest::dataPath(GetParam().file));
  ASSERT_FALSE(tris.empty());
  const double s = qdtest::scaleToTool(tris);
  qdtest::LevelPart part(tris, 1, 10.0, 5.0);
  for (double z : GetParam().z) expectLevel(part, z * s + 10.0);
}

INSTANTIATE_TEST_SUITE_P(
    Parts, LevelPathsReal,
    ::testing::Values(RealLevels{"sphere_on_plate.stl", {28.3, 22.1, 16.7, 8.3, 1.3}},
                      RealLevels{"ktoolcav.stl", {1.7, 1.3, 1.09, 0.6, -0.2, -1.2}},
                      RealLevels{"wheel_in_box.stl", {47, 30, 20, 10, 2}},
                      RealLevels{"pycam-textbox.stl", {-0.7, -1.3, -3.1, -7.3}}),
    [](const ::testing::TestParamInfo<RealLevels>& info) {
      std::string n = info.param.file;
      for (char& c : n)
        if (c == '.' || c == '-') c = '_';
      return n;
    });

// The z of the horizontal triangle nearest z (within 0.01), else NaN.
double flatFaceNear(const std::vector<Tri3D>& tris, double z) {
  double best = std::nan(""), gap = 0.01;
  for (const Tri3D& t : tris) {
    if (t.v[0].z != t.v[1].z || t.v[0].z != t.v[2].z) continue;
    if (std::fabs(t.v[0].z - z) < gap) {
      gap = std::fabs(t.v[0].z - z);
      best = t.v[0].z;
    }
  }
  return best;
}

struct FlatFaces {
  const char* file;
  std::vector<double> z;  // flat faces in the file's units
};

class LevelPathsFlatFace : public ::testing::TestWithParam<FlatFaces> {};

// A level exactly on a flat face gives the loops of the level just above it: the face is free
// for the tool, no debris loop appears on it.
TEST_P(LevelPathsFlatFace, CountEqualsTheCountJustAbove) {
  QDTEST_SKIP_WITHOUT_REAL_MESHES();
  std::vector<Tri3D> tris = qdtest::readTriangles(qdtest::dataPath(GetParam().file));
  ASSERT_FALSE(tris.empty());
  const double factor = qdtest::scaleToTool(tris);
  qdtest::LevelPart part(tris, 1, 10.0, 5.0);
  for (double zf : GetParam().z) {
    const double face = flatFaceNear(tris, zf * factor);
    ASSERT_FALSE(std::isnan(face)) << "no flat face near " << zf;
    SCOPED_TRACE("face " + std::to_string(zf));
    ASSERT_GE(part.slice(face + 10.0), 0);
    const Counted on = countPaths(part, face + 10.0);
    ASSERT_GE(part.slice(face + 10.0 + 0.01), 0);
    const Counted above = countPaths(part, face + 10.01);
    EXPECT_EQ(on.paths, above.paths);
    EXPECT_EQ(on.islands, above.islands);
    if (std::string(GetParam().file) == "sphere_on_plate.stl" && zf > 10) {
      EXPECT_EQ(on.paths, 1);  // the plate top: one loop around the sphere
    }
    expectLevel(part, face + 10.0);
  }
}

INSTANTIATE_TEST_SUITE_P(Parts, LevelPathsFlatFace,
                         ::testing::Values(FlatFaces{"sphere_on_plate.stl", {14.9359, 2.1872}},
                                           FlatFaces{"wheel_in_box.stl", {4, 18, 22, 35}},
                                           FlatFaces{"ktoolcav.stl", {1.125, 0.5}}),
                         [](const ::testing::TestParamInfo<FlatFaces>& info) {
                           std::string n = info.param.file;
                           for (char& c : n)
                             if (c == '.' || c == '-') c = '_';
                           return n;
                         });

}  // namespace
