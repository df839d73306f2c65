// Tests of the cycles' mesh loaders: all polyhedrons of an exchange file in one sorted mesh with
// per-facet boxes, mapped by the mesh frame and scale, optionally z-snapped; the four-corner
// order; failures leave nothing.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "../model/test_stl_writers.h"
#include "../support/temp_dir.h"
#include "framework/memory.h"
#include "framework/xchg_lexer.h"
#include "geometry/matrix4.h"
#include "model/mesh_load.h"
#include "model/polyhedron.h"

namespace {

using qdtest::writeFile;

class MeshLoad : public qdtest::TempDirTest {
 protected:
  void SetUp() override {
    cyc3dMeshResetState();
    polyhedronResetState();
    xchgLexSetTrace(0);
    const std::vector<Tri3D> mesh = qdtest::roofMesh();
    const std::string second = qdtest::exchangePolyhedron({mesh[0]}, "b");
    writeFile("m.qdx",
              qdtest::exchangePolyhedron(mesh, "a") + second.substr(second.find("oPolyhedron")));
  }
  void TearDown() override {
    memTestFailAt(0);
    cyc3dMeshResetState();
  }
};

double top(const Tri3D& t) { return std::max({t.v[0].z, t.v[1].z, t.v[2].z}); }

TEST_F(MeshLoad, TrianglesOfAllPolyhedronsSortedWithBoxes) {
  MeshListNode* mesh = cyc3dLoadTriMeshes("m.qdx", "holder", 7);
  ASSERT_NE(mesh, nullptr);
  EXPECT_STREQ(mesh->name, "holder");
  EXPECT_EQ(mesh->tag, 7);
  EXPECT_EQ(mesh->next, nullptr);
  const Tri3List* list = mesh->triangles;
  ASSERT_EQ(list->count, 9);
  for (int i = 0; i < list->count; ++i) {
    const Tri3D& t = list->items[i];
    EXPECT_EQ(t.v[0].z, top(t)) << i;  // highest corner first
    if (i > 0) {
      EXPECT_LE(top(t), top(list->items[i - 1]) + 0.00001);
    }
    for (const Point3D& p : t.v) {
      EXPECT_LE(mesh->facetMin[i].z, p.z);
      EXPECT_GE(mesh->facetMax[i].x, p.x);
    }
  }
  EXPECT_EQ(list->zmax, 5.125);
  EXPECT_EQ(list->xmax, 8);
  cyc3dFreeTriMeshes(mesh);
}

// The frame and scale map each corner; z snap within 0.01 makes a nearly level triangle level.
TEST_F(MeshLoad, FrameScaleAndSnap) {
  writeFile("s.qdx",
            qdtest::exchangePolyhedron({Tri3D{{{0, 0, 1}, {1, 0, 1.002}, {0, 1, 0.999}}}}));
  Cyc3dMeshMapping mapping = cyc3dGetMeshMapping();
  matTranslation(Point3D{10, 0, 0}, &mapping.frame);
  mapping.scale = 2.0;
  mapping.zSnap = 1;
  cyc3dSetMeshMapping(mapping);
  MeshListNode* mesh = cyc3dLoadTriMeshes("s.qdx", nullptr, 0);
  ASSERT_NE(mesh, nullptr);
  const Tri3D& t = mesh->triangles->items[0];
  for (const Point3D& p : t.v) EXPECT_DOUBLE_EQ(p.z, 2.004);
  EXPECT_DOUBLE_EQ(mesh->triangles->xmin, 20);
  cyc3dFreeTriMeshes(mesh);
}

TEST_F(MeshLoad, QuadMeshesAndTheirOrder) {
  QuadMeshListNode* mesh = cyc3dLoadQuadMeshes("m.qdx", "head", 1, 0);
  ASSERT_NE(mesh, nullptr);
  ASSERT_EQ(mesh->quadCount, 9);
  for (int i = 1; i < mesh->quadCount; ++i) {
    EXPECT_LE(cyc3dCompareQuadFacets(&mesh->quads[i - 1], &mesh->quads[i]), 0);
  }
  EXPECT_EQ(mesh->boxMax.z, 5.125);
  EXPECT_EQ(mesh->boxMin.z, 0.25);
  cyc3dFreeQuadMeshes(mesh);
  auto quadAt = [](double z) {
    QuadFacet q{};
    for (int k = 0; k < 4; ++k) modelSetQuadCorner(&q, k, Point3D{0, 0, k == 1 ? z : 0.0});
    return q;
  };
  const QuadFacet a = quadAt(1.0), b = quadAt(1.000005), c = quadAt(2.0);
  EXPECT_EQ(cyc3dCompareQuadFacets(&a, &b), 0);
  EXPECT_EQ(cyc3dCompareQuadFacets(&a, &c), 1);
  EXPECT_EQ(cyc3dCompareQuadFacets(&c, &a), -1);
}

TEST_F(MeshLoad, FailuresGiveNone) {
  writeFile("none.qdx", "qdmill exchange file\nqDX-Version: 1.0\nGeometry\nt\n\n");
  writeFile("bad.qdx",
            "qdmill exchange file\nqDX-Version: 1.0\nGeometry\nt\n\noFace()\n"
            "oPolyhedron()\n{\noFace( vx[1/1] vx[1/2] vx[1/3] )\n}\n");
  for (const char* name : {"none.qdx", "bad.qdx", "missing.qdx"}) {
    EXPECT_EQ(cyc3dLoadTriMeshes(name, "x", 0), nullptr) << name;
    EXPECT_EQ(cyc3dLoadQuadMeshes(name, "x", 0, 0), nullptr) << name;
  }
  // A corner that is not a finite number, as read or as mapped, gives no mesh: a facet with such
  // a box was loaded and broke the descending order of the others.
  const std::string roof = qdtest::exchangePolyhedron(qdtest::roofMesh());
  const std::string good = "z[5.125]";
  ASSERT_NE(roof.find(good), std::string::npos);
  for (const char* value : {"z[nan]", "z[inf]", "z[-inf]", "z[1e999]"}) {
    std::string bytes = roof;
    bytes.replace(bytes.find(good), good.size(), value);
    writeFile("nonfinite.qdx", bytes);
    EXPECT_EQ(cyc3dLoadTriMeshes("nonfinite.qdx", "x", 0), nullptr) << value;
    EXPECT_EQ(cyc3dLoadQuadMeshes("nonfinite.qdx", "x", 0, 0), nullptr) << value;
  }
  Cyc3dMeshMapping huge = cyc3dGetMeshMapping();
  huge.scale = 1e308;
  cyc3dSetMeshMapping(huge);
  EXPECT_EQ(cyc3dLoadTriMeshes("m.qdx", "x", 0), nullptr);
  EXPECT_EQ(cyc3dLoadQuadMeshes("m.qdx", "x", 0, 0), nullptr);
  cyc3dMeshResetState();
  MeshListNode* fine = cyc3dLoadTriMeshes("m.qdx", "x", 0);
  EXPECT_NE(fine, nullptr);
  cyc3dFreeTriMeshes(fine);

  // Every allocation made to fail in turn: none, and no leak.
  for (int quads = 0; quads < 2; ++quads) {
    bool done = false;
    for (long n = 1; !done && n < 2000; ++n) {
      memTestFailAt(n);
      MeshListNode* t = quads ? nullptr : cyc3dLoadTriMeshes("m.qdx", "x", 0);
      QuadMeshListNode* q = quads ? cyc3dLoadQuadMeshes("m.qdx", "x", 0, 0) : nullptr;
      memTestFailAt(0);
      done = t != nullptr || q != nullptr;
      cyc3dFreeTriMeshes(t);
      cyc3dFreeQuadMeshes(q);
    }
    EXPECT_TRUE(done);
  }
}

}  // namespace
