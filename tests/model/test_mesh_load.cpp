// Tests of the cycles' mesh loaders: all polyhedrons of an exchange file in one sorted mesh with
// per-facet boxes, mapped by the inverse mesh frame and the three scale factors, optionally
// z-snapped; the rotated bounds of four-corner facets; failures leave nothing.
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <random>
#include <string>
#include <vector>

#include "../geometry/msg_capture.h"
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

// The frame's own coordinates of a world point w, by Cramer's rule on
// w - o = a x + b y + c z: an oracle that shares nothing with the loader's matrix inverse.
Point3D frameCoordinates(const Point3D& w, const Point3D& o, const Point3D& x, const Point3D& y,
                         const Point3D& z) {
  const Point3D d{w.x - o.x, w.y - o.y, w.z - o.z};
  auto det = [](const Point3D& c0, const Point3D& c1, const Point3D& c2) {
    return c0.x * (c1.y * c2.z - c1.z * c2.y) - c1.x * (c0.y * c2.z - c0.z * c2.y) +
           c2.x * (c0.y * c1.z - c0.z * c1.y);
  };
  const double D = det(x, y, z);
  return {det(d, y, z) / D, det(x, d, z) / D, det(x, y, d) / D};
}

// The triangle as the loader must store it: highest corner first, the cyclic order kept.
Tri3D highestFirst(Tri3D t) {
  int k = 0;
  if (t.v[1].z > t.v[0].z && t.v[1].z >= t.v[2].z) k = 1;
  if (t.v[2].z > t.v[0].z && t.v[2].z > t.v[1].z) k = 2;
  return Tri3D{{t.v[k], t.v[(k + 1) % 3], t.v[(k + 2) % 3]}};
}

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

// A random soup of 10^4 triangles under a random skew frame and three scale factors: the mesh
// holds exactly the brute-force mapped triangles (highest corner first), in descending order of
// height, with their boxes and the mesh box.
TEST_F(MeshLoad, RandomMeshEqualsBruteForce) {
  std::mt19937_64 rng(39);
  std::uniform_real_distribution<double> coord(-50.0, 50.0);
  std::vector<Tri3D> soup(10000);
  for (Tri3D& t : soup) {
    for (Point3D& p : t.v) p = {coord(rng), coord(rng), coord(rng)};
  }
  writeFile("soup.qdx", qdtest::exchangePolyhedron(soup));
  const Point3D o{3, -7, 11}, x{0.8, 0.6, 0.1}, y{-0.5, 0.9, 0.2}, z{0.1, -0.2, 1.3};
  const Point3D scale{2.0, 0.5, 1.25};
  ASSERT_EQ(cyc3dSetMeshFrame(o, x, y, z), 0);
  cyc3dSetMeshScale(&scale);

  std::vector<Tri3D> expected;
  Point3D lo{1e300, 1e300, 1e300}, hi{-1e300, -1e300, -1e300};
  for (const Tri3D& t : soup) {
    Tri3D m;
    for (int k = 0; k < 3; ++k) {
      const Point3D f = frameCoordinates(t.v[k], o, x, y, z);
      m.v[k] = {f.x * scale.x, f.y * scale.y, f.z * scale.z};
      lo = {std::min(lo.x, m.v[k].x), std::min(lo.y, m.v[k].y), std::min(lo.z, m.v[k].z)};
      hi = {std::max(hi.x, m.v[k].x), std::max(hi.y, m.v[k].y), std::max(hi.z, m.v[k].z)};
    }
    expected.push_back(highestFirst(m));
  }

  MeshListNode* mesh = cyc3dLoadTriMeshes("soup.qdx", "POLY", 1);
  ASSERT_NE(mesh, nullptr);
  const Tri3List* list = mesh->triangles;
  ASSERT_EQ(list->count, 10000);
  std::vector<Tri3D> got(list->items, list->items + list->count);
  for (int i = 0; i < list->count; ++i) {
    if (i > 0) {
      ASSERT_LE(top(got[i]), top(got[i - 1]) + 0.00001) << i;
    }
    for (int c = 0; c < 3; ++c) {
      const auto pick = [c](const Point3D& p) { return c == 0 ? p.x : c == 1 ? p.y : p.z; };
      double a = pick(got[i].v[0]), b = a;
      for (const Point3D& p : got[i].v) {
        a = std::min(a, pick(p));
        b = std::max(b, pick(p));
      }
      EXPECT_EQ(pick(mesh->facetMin[i]), a) << i;
      EXPECT_EQ(pick(mesh->facetMax[i]), b) << i;
    }
  }
  EXPECT_NEAR(list->xmin, lo.x, 1e-9);
  EXPECT_NEAR(list->ymax, hi.y, 1e-9);
  EXPECT_NEAR(list->zmin, lo.z, 1e-9);
  EXPECT_NEAR(list->zmax, hi.z, 1e-9);
  // The same triangles: both lists in one canonical order, corners to 1e-9.
  auto byCorners = [](const Tri3D& a, const Tri3D& b) {
    const std::array<double, 9> ka{a.v[0].x, a.v[0].y, a.v[0].z, a.v[1].x, a.v[1].y,
                                   a.v[1].z, a.v[2].x, a.v[2].y, a.v[2].z};
    const std::array<double, 9> kb{b.v[0].x, b.v[0].y, b.v[0].z, b.v[1].x, b.v[1].y,
                                   b.v[1].z, b.v[2].x, b.v[2].y, b.v[2].z};
    return ka < kb;
  };
  std::sort(expected.begin(), expected.end(), byCorners);
  std::sort(got.begin(), got.end(), byCorners);
  for (std::size_t i = 0; i < got.size(); ++i) {
    for (int k = 0; k < 3; ++k) {
      ASSERT_NEAR(got[i].v[k].x, expected[i].v[k].x, 1e-9) << i;
      ASSERT_NEAR(got[i].v[k].y, expected[i].v[k].y, 1e-9) << i;
      ASSERT_NEAR(got[i].v[k].z, expected[i].v[k].z, 1e-9) << i;
    }
  }
  cyc3dFreeTriMeshes(mesh);
}

// The forward transform maps p to o + p.x x + p.y y + p.z z, and the loader's mapping undoes it
// to 1e-9; a singular frame is refused with message 333 and the previous frame stays.
TEST_F(MeshLoad, FrameRoundTripAndSingularFrame) {
  std::mt19937_64 rng(7);
  std::uniform_real_distribution<double> u(-2.0, 2.0);
  for (int trial = 0; trial < 50; ++trial) {
    const Point3D o{u(rng) * 100, u(rng) * 100, u(rng) * 100};
    const Point3D x{u(rng), u(rng), u(rng)}, y{u(rng), u(rng), u(rng)}, z{u(rng), u(rng), u(rng)};
    const double det = x.x * (y.y * z.z - y.z * z.y) - y.x * (x.y * z.z - x.z * z.y) +
                       z.x * (x.y * y.z - x.z * y.y);
    if (std::fabs(det) < 0.1) continue;
    ASSERT_EQ(cyc3dSetMeshFrame(o, x, y, z), 0);
    Matrix4 forward;
    cyc3dMeshFrame(&forward, nullptr);
    for (int i = 0; i < 20; ++i) {
      const Point3D p{u(rng) * 50, u(rng) * 50, u(rng) * 50};
      Point3D w;
      matTransformPoint(p, forward, &w);
      EXPECT_NEAR(w.x, o.x + p.x * x.x + p.y * y.x + p.z * z.x, 1e-9);
      EXPECT_NEAR(w.z, o.z + p.x * x.z + p.y * y.z + p.z * z.z, 1e-9);
      cyc3dTransformPoint(&w);
      EXPECT_NEAR(w.x, p.x, 1e-9);
      EXPECT_NEAR(w.y, p.y, 1e-9);
      EXPECT_NEAR(w.z, p.z, 1e-9);
    }
  }
  const Point3D o{1, 2, 3}, x{1, 0, 0}, y{0, 1, 0}, z{0, 0, 2};
  ASSERT_EQ(cyc3dSetMeshFrame(o, x, y, z), 0);
  qdtest::MessageCapture capture;
  EXPECT_EQ(cyc3dSetMeshFrame({0, 0, 0}, x, {2, 0, 0}, z), -1) << "x and y parallel";
  EXPECT_EQ(qdtest::capturedMessages(), (std::vector<std::string>{"333,polyCs"}));
  Point3D p{1, 2, 5};
  cyc3dTransformPoint(&p);
  EXPECT_DOUBLE_EQ(p.x, 0);
  EXPECT_DOUBLE_EQ(p.y, 0);
  EXPECT_DOUBLE_EQ(p.z, 1) << "the previous frame stays in force";
}

// The mesh scale multiplies each coordinate after the frame mapping; identity frame and scale
// leave the corners as they are.
TEST_F(MeshLoad, ScaleAfterFrame) {
  writeFile("s.qdx", qdtest::exchangePolyhedron({Tri3D{{{1, 2, 3}, {4, 5, 6}, {7, 8, 9}}}}));
  MeshListNode* plain = cyc3dLoadTriMeshes("s.qdx", nullptr, 0);
  ASSERT_NE(plain, nullptr);
  EXPECT_DOUBLE_EQ(plain->triangles->items[0].v[0].x, 7);
  EXPECT_DOUBLE_EQ(plain->triangles->items[0].v[0].y, 8);
  cyc3dFreeTriMeshes(plain);

  ASSERT_EQ(cyc3dSetMeshFrame({10, 0, 0}, {1, 0, 0}, {0, 1, 0}, {0, 0, 1}), 0);
  const Point3D scale{2, 2, 1};
  cyc3dSetMeshScale(&scale);
  MeshListNode* mesh = cyc3dLoadTriMeshes("s.qdx", nullptr, 0);
  ASSERT_NE(mesh, nullptr);
  const Tri3D& t = mesh->triangles->items[0];
  EXPECT_DOUBLE_EQ(t.v[0].x, (7 - 10) * 2.0);
  EXPECT_DOUBLE_EQ(t.v[0].y, 16);
  EXPECT_DOUBLE_EQ(t.v[0].z, 9);
  cyc3dFreeTriMeshes(mesh);
}

// The z-snap: on only above 0.01; nearly equal heights take the larger, heights near 0 become 0.
TEST_F(MeshLoad, ZSnapTable) {
  struct Case {
    double threshold;
    std::array<double, 3> in;
    std::array<double, 3> out;  // sorted descending
  };
  const Case cases[] = {
      {0.001, {5.000, 5.004, 7}, {7, 5.004, 5.000}},            // off at load
      {0.01, {5.000, 5.004, 7}, {7, 5.004, 5.000}},             // 0.01 is not above 0.01
      {0.02, {5.000, 5.004, 7}, {7, 5.004, 5.004}},             // on
      {0.02, {0.004, 3, 6}, {6, 3, 0}},                         // next to 0 becomes 0
      {0.02, {-0.009, 0.003, 2}, {2, 0, 0}},                    // 0.012 apart, both near 0
      {0.02, {1.0, 1.0099, 1.0198}, {1.0198, 1.0198, 1.0198}},  // pairs in turn
  };
  for (const Case& c : cases) {
    writeFile("z.qdx", qdtest::exchangePolyhedron(
                           {Tri3D{{{0, 0, c.in[0]}, {1, 0, c.in[1]}, {0, 1, c.in[2]}}}}));
    cyc3dSetZSnap(c.threshold);
    MeshListNode* mesh = cyc3dLoadTriMeshes("z.qdx", nullptr, 0);
    ASSERT_NE(mesh, nullptr);
    std::array<double, 3> z{};
    for (int k = 0; k < 3; ++k) z[k] = mesh->triangles->items[0].v[k].z;
    std::sort(z.begin(), z.end(), std::greater<>());
    for (int k = 0; k < 3; ++k) EXPECT_DOUBLE_EQ(z[k], c.out[k]) << c.threshold << " " << k;
    cyc3dFreeTriMeshes(mesh);
  }
}

TEST_F(MeshLoad, OrdersOfTrianglesAndQuads) {
  const Tri3D low{{{0, 0, 2}, {1, 0, 0}, {0, 1, 0}}};
  const Tri3D high{{{0, 0, 0}, {1, 0, 3}, {0, 1, 0}}};
  const Tri3D nearLow{{{0, 0, 2.000001}, {1, 0, 0}, {0, 1, 0}}};
  EXPECT_EQ(cyc3dCompareTriangles(&low, &nearLow), 0);
  EXPECT_EQ(cyc3dCompareTriangles(&high, &low), -1) << "3 sorts before 2";
  EXPECT_EQ(cyc3dCompareTriangles(&low, &high), 1);

  QuadMeshListNode* mesh = cyc3dLoadQuadMeshes("m.qdx", "head", 1, 0);
  ASSERT_NE(mesh, nullptr);
  ASSERT_EQ(mesh->quadCount, 9);
  for (int i = 1; i < mesh->quadCount; ++i) {
    EXPECT_LE(cyc3dCompareQuadFacets(&mesh->quads[i - 1], &mesh->quads[i]), 0);
  }
  EXPECT_EQ(mesh->boxMax.z, 5.125);
  EXPECT_EQ(mesh->boxMin.z, 0.25);
  EXPECT_EQ(mesh->rotatedMin, nullptr);
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
  QuadFacet facets[] = {a, c, quadAt(-1.0), quadAt(1.5)};
  EXPECT_EQ(cyc3dSortQuadFacets(4, facets), 1);
  const double tops[] = {2.0, 1.5, 1.0, -1.0};  // corner 1 of each (the last one tops at 0)
  for (int i = 0; i < 4; ++i) EXPECT_EQ(modelQuadCorner(facets[i], 1).z, tops[i]) << i;
  EXPECT_EQ(cyc3dSortQuadFacets(1, nullptr), 1);
}

// The rotated bounds of a four-corner facet: u = (x - y) / sqrt 2, v = (x + y) / sqrt 2.
TEST_F(MeshLoad, RotatedBoundsOfQuads) {
  writeFile("q.qdx",
            "qdmill exchange file\nqDX-Version: 1.0\nGeometry\nt\n\noPolyhedron[q]( nFace[2] )\n{\n"
            "oPset[1]()\n{\noP[1]( x[1] y[0] z[0] )\noP[2]( x[0] y[1] z[0] )\n"
            "oP[3]( x[-1] y[0] z[0] )\noP[4]( x[0] y[-1] z[0] )\noP[5]( x[3] y[1] z[1] )\n"
            "oP[6]( x[5] y[1] z[1] )\noP[7]( x[5] y[2] z[1] )\noP[8]( x[3] y[2] z[1] )\n}\n"
            "oFace( vx[1/1] vx[/2] vx[/3] vx[/4] )\noFace( vx[1/5] vx[/6] vx[/7] vx[/8] )\n}\n");
  QuadMeshListNode* mesh = cyc3dLoadQuadMeshes("q.qdx", "POLY", 1, 1);
  ASSERT_NE(mesh, nullptr);
  ASSERT_EQ(mesh->quadCount, 2);
  ASSERT_NE(mesh->rotatedMin, nullptr);
  ASSERT_NE(mesh->rotatedMax, nullptr);
  for (int i = 0; i < 2; ++i) {
    double lo[2] = {1e9, 1e9}, hi[2] = {-1e9, -1e9};
    for (int k = 0; k < 4; ++k) {
      const Point3D p = modelQuadCorner(mesh->quads[i], k);
      const double uv[2] = {(p.x - p.y) / std::sqrt(2.0), (p.x + p.y) / std::sqrt(2.0)};
      for (int j = 0; j < 2; ++j) {
        lo[j] = std::min(lo[j], uv[j]);
        hi[j] = std::max(hi[j], uv[j]);
      }
    }
    for (int j = 0; j < 2; ++j) {
      EXPECT_NEAR(mesh->rotatedMin[2 * i + j], lo[j], 1e-8) << i << j;
      EXPECT_NEAR(mesh->rotatedMax[2 * i + j], hi[j], 1e-8) << i << j;
    }
  }
  // The diamond around the origin is the lower facet, sorted last.
  EXPECT_NEAR(mesh->rotatedMin[2], -0.70710678, 1e-8);
  EXPECT_NEAR(mesh->rotatedMax[3], 0.70710678, 1e-8);
  cyc3dFreeQuadMeshes(mesh);
}

TEST_F(MeshLoad, FailuresGiveNone) {
  writeFile("none.qdx", "qdmill exchange file\nqDX-Version: 1.0\nGeometry\nt\n\n");
  writeFile("bad.qdx",
            "qdmill exchange file\nqDX-Version: 1.0\nGeometry\nt\n\noFace()\n"
            "oPolyhedron()\n{\noFace( vx[1/1] vx[1/2] vx[1/3] )\n}\n");
  for (const char* name : {"none.qdx", "bad.qdx", "missing.qdx"}) {
    EXPECT_EQ(cyc3dLoadTriMeshes(name, "x", 0), nullptr) << name;
    EXPECT_EQ(cyc3dLoadQuadMeshes(name, "x", 0, 1), nullptr) << name;
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
  const Point3D huge{1e308, 1e308, 1e308};
  cyc3dSetMeshScale(&huge);
  EXPECT_EQ(cyc3dLoadTriMeshes("m.qdx", "x", 0), nullptr);
  EXPECT_EQ(cyc3dLoadQuadMeshes("m.qdx", "x", 0, 0), nullptr);
  cyc3dMeshResetState();
  MeshListNode* fine = cyc3dLoadTriMeshes("m.qdx", "x", 0);
  EXPECT_NE(fine, nullptr);
  cyc3dFreeTriMeshes(fine);

  // Every allocation made to fail in turn: none, and no leak.
  for (int kind = 0; kind < 3; ++kind) {
    bool done = false;
    for (long n = 1; !done && n < 2000; ++n) {
      memTestFailAt(n);
      MeshListNode* t = kind == 0 ? cyc3dLoadTriMeshes("m.qdx", "x", 0) : nullptr;
      QuadMeshListNode* q = kind > 0 ? cyc3dLoadQuadMeshes("m.qdx", "x", 0, kind - 1) : nullptr;
      memTestFailAt(0);
      done = t != nullptr || q != nullptr;
      cyc3dFreeTriMeshes(t);
      cyc3dFreeQuadMeshes(q);
    }
    EXPECT_TRUE(done);
  }
}

}  // namespace
