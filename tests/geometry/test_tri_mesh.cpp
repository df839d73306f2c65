// Tests of the region mesh, judged by oracles that do not share its code: shoelace areas of the
// contours and the box, a winding number for random points, brute-force barycentric checks, and
// the region functions without a mesh.
#include <gtest/gtest.h>

#include <cmath>
#include <memory>
#include <random>
#include <vector>

#include "geometry/geo_error.h"
#include "geometry/kont2d.h"
#include "geometry/kont_region.h"
#include "geometry/seidel.h"
#include "geometry/tri_mesh.h"
#include "kont_shapes.h"

namespace {
using qdtest::kontFromPoints;
using qdtest::square;

// A region that frees its mesh and contours.
struct Region {
  Kont2D* k = nullptr;
  std::vector<std::vector<Point2D>> islands;
  std::vector<Point2D> outer;
  ~Region() {
    if (k != nullptr) triMeshFree(k->mesh);
    kontFree(k);
  }
};

double polyArea(const std::vector<Point2D>& p) {
  double s = 0;
  for (std::size_t i = 0; i < p.size(); ++i) {
    const Point2D& a = p[i];
    const Point2D& b = p[(i + 1) % p.size()];
    s += a.x * b.y - b.x * a.y;
  }
  return 0.5 * s;
}

// Star-shaped outer contour of n points with h star islands of m points on a grid inside it.
void makeRegion(Region& r, std::uint32_t seed, int n, int h, int m) {
  std::mt19937 rng(seed);
  r.outer = qdtest::star(rng, {0, 0}, n, 70, 100, false);
  r.k = kontFromPoints(r.outer);
  std::vector<Kont2D*> isl;
  for (int i = 0; i < h; ++i) {
    const Point2D c{-30.0 + 20.0 * (i % 4), -30.0 + 20.0 * (i / 4)};
    r.islands.push_back(qdtest::star(rng, c, m, 3, 6, true));
    isl.push_back(kontFromPoints(r.islands.back()));
  }
  qdtest::kontHangIslands(r.k, isl);
}

int expectedTriangles(const Region& r) {
  const int n = static_cast<int>(r.outer.size());
  const int h = static_cast<int>(r.islands.size());
  int islandPoints = 0, islandTris = 0;
  for (const auto& i : r.islands) {
    islandPoints += static_cast<int>(i.size());
    islandTris += static_cast<int>(i.size()) - 2;
  }
  return (n + 4) + (n + islandPoints + 2 * h - 2) + islandTris;
}

class TriMeshTest : public ::testing::Test {
 protected:
  void SetUp() override {
    geoResetState();
    triSeidelResetState();
    kontResetState();
  }
};

TEST_F(TriMeshTest, UnitSquareGivesFrameRingAndTwoRegionTriangles) {
  Region r;
  r.k = kontFromPoints(square(0.5, 0.5, 0.5));
  TriMesh* m = triPolyTriangulate(r.k);
  ASSERT_NE(m, nullptr);
  r.k->mesh = m;
  EXPECT_EQ(m->vertices->count, 8);
  EXPECT_EQ(m->count, 10);
  int frame = 0, inside = 0;
  for (int t = 0; t < m->count; ++t) (m->triangles[t].cls == kTriFrame ? frame : inside)++;
  EXPECT_EQ(frame, 8);
  EXPECT_EQ(inside, 2);
  EXPECT_NEAR(triMeshClassArea(m, kTriFrame) + triMeshClassArea(m, kTriInside), 1.44, 1e-12);
  EXPECT_NEAR(kontArea(r.k), 1.0, 1e-12);
  EXPECT_EQ(m->boundaryEdges->count, 4);

  // On the edge: inside next to a frame triangle; the contour module reads it as outside.
  EXPECT_EQ(triClassifyPoint(m, {0.5, 0.0}), kTriBitInside | kTriBitOutside);
  EXPECT_EQ(kontClassifyPoint(r.k, {0.5, 0.0}), 1);
  EXPECT_EQ(triClassifyPoint(m, {0.3, 0.6}), kTriBitInside);
  // Outside the enlarged box.
  double l0, l1, l2;
  EXPECT_EQ(triLocate(m, {5.0, 5.0}, &l0, &l1, &l2), -1);
  EXPECT_EQ(triClassifyPoint(m, {5.0, 5.0}), kTriBitOutside);
  EXPECT_EQ(triClassifyPoint(nullptr, {0, 0}), -1);
}

// The main oracle run: counts, class areas, location and classification over many regions.
TEST_F(TriMeshTest, RandomRegionsWithIslandsAgreeWithIndependentOracles) {
  for (std::uint32_t seed = 1; seed <= 40; ++seed) {
    SCOPED_TRACE(seed);
    Region r;
    makeRegion(r, seed, 20 + static_cast<int>(seed * 7 % 60), static_cast<int>(seed % 9),
               5 + static_cast<int>(seed % 6));
    triSeidelSetSeed(seed * 977);
    TriMesh* m = triPolyTriangulate(r.k);
    ASSERT_NE(m, nullptr) << geoErrCode();
    r.k->mesh = m;
    EXPECT_EQ(m->count, expectedTriangles(r));
    EXPECT_EQ(
        m->boundaryEdges->count, static_cast<int>(r.outer.size()) + [&] {
          int s = 0;
          for (const auto& i : r.islands) s += static_cast<int>(i.size());
          return s;
        }());

    const double outerArea = polyArea(r.outer);
    double islandArea = 0;
    for (const auto& i : r.islands) islandArea -= polyArea(i);
    const double bw = 1.2 * (r.k->xmax - r.k->xmin), bh = 1.2 * (r.k->ymax - r.k->ymin);
    EXPECT_NEAR(triMeshClassArea(m, kTriFrame), bw * bh - outerArea, 1e-7);
    EXPECT_NEAR(triMeshClassArea(m, kTriInside), outerArea - islandArea, 1e-7);
    EXPECT_NEAR(triMeshClassArea(m, kTriIsland), islandArea, 1e-7);
    EXPECT_NEAR(kontArea(r.k), outerArea - islandArea, 1e-7);

    std::mt19937 rng(seed);
    std::uniform_real_distribution<double> u(-115, 115);
    for (int i = 0; i < 300; ++i) {
      const Point2D p{u(rng), u(rng)};
      double l[3];
      const int t = triLocate(m, p, &l[0], &l[1], &l[2]);
      const double gx = (bw / 1.2) * 0.1, gy = (bh / 1.2) * 0.1;
      if (p.x < r.k->xmin - gx || p.x > r.k->xmax + gx || p.y < r.k->ymin - gy ||
          p.y > r.k->ymax + gy) {
        EXPECT_EQ(t, -1);
        continue;
      }
      ASSERT_GE(t, 0);
      // Brute-force barycentric coordinates of the returned triangle.
      const TriMeshTri& tr = m->triangles[t];
      const Point2D a = m->vertices->items[tr.i0], b = m->vertices->items[tr.i1],
                    c = m->vertices->items[tr.i2];
      const double det = (b.x - a.x) * (c.y - a.y) - (c.x - a.x) * (b.y - a.y);
      const double wb = ((p.x - a.x) * (c.y - a.y) - (c.x - a.x) * (p.y - a.y)) / det;
      const double wc = ((b.x - a.x) * (p.y - a.y) - (p.x - a.x) * (b.y - a.y)) / det;
      EXPECT_GE(1 - wb - wc, -1e-8);
      EXPECT_GE(wb, -1e-8);
      EXPECT_GE(wc, -1e-8);

      bool nearEdge = qdtest::polyDistance(r.outer, p) < 1e-6;
      int expect = qdtest::windingNumber(r.outer, p) != 0 ? kTriBitInside : kTriBitOutside;
      for (const auto& isl : r.islands) {
        nearEdge = nearEdge || qdtest::polyDistance(isl, p) < 1e-6;
        if (expect == kTriBitInside && qdtest::windingNumber(isl, p) != 0) expect = kTriBitIsland;
      }
      if (nearEdge) continue;
      EXPECT_EQ(triClassifyPoint(m, p), expect);
      r.k->mesh = nullptr;
      const int plain = kontClassifyPoint(r.k, p);
      r.k->mesh = m;
      EXPECT_EQ(kontClassifyPoint(r.k, p), plain);
    }
  }
}

TEST_F(TriMeshTest, BoundaryLookupNamesTheContourUnderThePoint) {
  Region r;
  makeRegion(r, 5, 30, 3, 6);
  r.k->mesh = triPolyTriangulate(r.k);
  ASSERT_NE(r.k->mesh, nullptr);
  int contour = -1;
  for (Kont2D* k = r.k; k != nullptr; k = kontWalkNext(r.k, k), ++contour) {
    for (int i = 0; i < k->count; ++i) {
      const Seg2D& s = k->segments[i];
      const Point2D mid{0.5 * (s.x1 + s.x2), 0.5 * (s.y1 + s.y2)};
      EXPECT_EQ(kontBoundaryAt(r.k, mid), contour);
    }
  }
  EXPECT_EQ(kontBoundaryAt(r.k, {0.123, 55.0}), kKontNoBoundary);
  EXPECT_EQ(kontBoundaryAt(r.k, {500.0, 0.0}), kKontNoBoundary);
  EXPECT_EQ(geoErrCode(), kKontNoBoundary);
}

TEST_F(TriMeshTest, ScaleAndTranslateCarryTheMesh) {
  Region r;
  makeRegion(r, 9, 24, 2, 5);
  r.k->mesh = triPolyTriangulate(r.k);
  ASSERT_NE(r.k->mesh, nullptr);
  const double s0 = r.k->mesh->triangles[3].inv2Area;
  const double area = kontArea(r.k);
  kontScale(r.k, 2.0);
  EXPECT_DOUBLE_EQ(r.k->mesh->triangles[3].inv2Area, s0 / 4);
  EXPECT_NEAR(kontArea(r.k), 4 * area, 1e-6);
  kontTranslate(r.k, 300.0, -40.0, 7.0);
  EXPECT_DOUBLE_EQ(r.k->mesh->z, 7.0);
  std::mt19937 rng(3);
  std::uniform_real_distribution<double> u(-230, 230);
  for (int i = 0; i < 300; ++i) {
    const Point2D p{300.0 + u(rng), -40.0 + u(rng)};
    TriMesh* m = r.k->mesh;
    const int withMesh = kontClassifyPoint(r.k, p);
    r.k->mesh = nullptr;
    EXPECT_EQ(withMesh, kontClassifyPoint(r.k, p)) << p.x << " " << p.y;
    r.k->mesh = m;
  }
}

// A triangle of three collinear points divided by its zero area: now it stores 0, has no area and
// contains no point.
TEST_F(TriMeshTest, ZeroAreaTriangleStoresNoInfiniteValue) {
  TriMesh* m = triMeshNew(2);
  ASSERT_NE(m, nullptr);
  for (Point2D p : {Point2D{0, 0}, Point2D{1, 1}, Point2D{2, 2}, Point2D{2, 0}})
    lstPt2Append(m->vertices, p);
  ASSERT_EQ(triMeshAddTri(m, {0, 1, 2, -1, -1, -1, kTriInside, 0}), 1);
  ASSERT_EQ(triMeshAddTri(m, {0, 3, 2, -1, -1, -1, kTriInside, 0}), 1);
  EXPECT_EQ(triMeshAddTri(m, {0, 3, 9, -1, -1, -1, kTriInside, 0}), -1);
  EXPECT_EQ(m->triangles[0].inv2Area, 0.0);
  EXPECT_NEAR(triMeshClassArea(m, kTriInside), 2.0, 1e-15);
  ASSERT_EQ(triMeshLinkNeighbours(m), 1);
  EXPECT_EQ(triLocate(m, {1, 1}, nullptr, nullptr, nullptr), 1);
  EXPECT_EQ(triContains({1, 1}, m, 0), 0);
  EXPECT_EQ(triContains({1, 1}, m, -1), 0);
  triMeshScale(m, 0.0);
  EXPECT_EQ(m->triangles[1].inv2Area, 0.0);
  triMeshFree(m);
}

TEST_F(TriMeshTest, NeighboursAndAdjacency) {
  Region r;
  r.k = kontFromPoints(square(0, 0, 1));
  r.k->mesh = triSeidelMesh(r.k);
  TriMesh* m = r.k->mesh;
  ASSERT_NE(m, nullptr);
  int border = 0;
  for (int t = 0; t < m->count; ++t) {
    const TriMeshTri& tr = m->triangles[t];
    for (int nb : {tr.nb0, tr.nb1, tr.nb2}) {
      if (nb < 0) {
        ++border;
        EXPECT_EQ(triAdjacent(t, -1, m), 1);
      } else {
        EXPECT_EQ(triAdjacent(t, nb, m), 1);
      }
    }
  }
  EXPECT_EQ(border, 4);  // the four sides of the enlarged box
  EXPECT_EQ(triAdjacent(-1, -1, m), 1);
}

TEST_F(TriMeshTest, WalkSegmentFindsTheCrossedContourEdge) {
  Region r;
  r.k = kontFromPoints(square(0, 0, 10));
  r.k->mesh = triPolyTriangulate(r.k);
  TriMesh* m = r.k->mesh;
  ASSERT_NE(m, nullptr);
  int from = -2, to = -2, edge[2] = {-1, -1};
  EXPECT_EQ(triWalkSegment(m, {0.3, 0.2, 11.0, 1.7}, &from, &to, edge), 1);
  // The crossed edge is the right side of the square: vertices 5 and 6 (10,-10), (10,10).
  const Point2D a = m->vertices->items[edge[0]], b = m->vertices->items[edge[1]];
  EXPECT_DOUBLE_EQ(a.x, 10.0);
  EXPECT_DOUBLE_EQ(b.x, 10.0);
  EXPECT_EQ(m->triangles[from].cls, kTriInside);
  EXPECT_EQ(m->triangles[to].cls, kTriFrame);
  EXPECT_EQ(triWalkSegment(m, {0.3, 0.2, 5.0, 1.7}, &from, &to, edge), 0);
}

// A square with a square island: points on either contour get both neighbouring class bits, a
// segment into the island crosses the island's side, and every boundary-edge record names two
// neighbouring triangles that share the segment's end vertices and lie on different sides.
TEST_F(TriMeshTest, IslandEdgesClassifyAndWalk) {
  Region r;
  r.k = kontFromPoints(square(0, 0, 10));
  qdtest::kontHangIslands(r.k, {kontFromPoints(square(0, 0, 2, true))});
  r.k->mesh = triPolyTriangulate(r.k);
  TriMesh* m = r.k->mesh;
  ASSERT_NE(m, nullptr) << geoErrCode();
  const struct {
    Point2D p;
    int bits;
  } points[] = {
      {{-2.0, 0.7}, kTriBitInside | kTriBitIsland},    // island side
      {{1.3, 2.0}, kTriBitInside | kTriBitIsland},     // island top
      {{10.0, -3.1}, kTriBitInside | kTriBitOutside},  // outer side
      {{0.5, -0.3}, kTriBitIsland},
      {{6.0, 6.0}, kTriBitInside},
      {{11.5, 0.0}, kTriBitOutside},
  };
  for (const auto& c : points) EXPECT_EQ(triClassifyPoint(m, c.p), c.bits) << c.p.x << " " << c.p.y;

  int from = -2, to = -2, edge[2] = {-1, -1};
  ASSERT_EQ(triWalkSegment(m, {-7.0, 0.3, 0.1, 0.6}, &from, &to, edge), 1);
  EXPECT_DOUBLE_EQ(m->vertices->items[edge[0]].x, -2.0);
  EXPECT_DOUBLE_EQ(m->vertices->items[edge[1]].x, -2.0);
  EXPECT_EQ(m->triangles[from].cls, kTriInside);
  EXPECT_EQ(m->triangles[to].cls, kTriIsland);

  // Vertex of a segment: 4 + its index for the outer contour, 4 + 4 + index for the island.
  ASSERT_EQ(m->boundaryEdges->count, 8);
  for (int e = 0; e < m->boundaryEdges->count; ++e) {
    const TriBoundaryEdge& b = m->boundaryEdges->items[e];
    if (e > 0) {
      const TriBoundaryEdge& a = m->boundaryEdges->items[e - 1];
      EXPECT_TRUE(a.lower < b.lower || (a.lower == b.lower && a.higher <= b.higher));
    }
    ASSERT_GE(b.lower, 0);
    EXPECT_EQ(triAdjacent(b.lower, b.higher, m), 1);
    const int base = b.contour < 0 ? 4 : 8;
    const int va = base + b.segment, vb = base + (b.segment + 1) % 4;
    for (int t : {b.lower, b.higher}) {
      const TriMeshTri& tr = m->triangles[t];
      int shared = 0;
      for (int v : {tr.i0, tr.i1, tr.i2}) shared += (v == va || v == vb) ? 1 : 0;
      EXPECT_EQ(shared, 2) << e;
    }
    const int cl = m->triangles[b.lower].cls, ch = m->triangles[b.higher].cls;
    EXPECT_NE(cl, ch);
    EXPECT_TRUE(cl == kTriInside || ch == kTriInside);
    EXPECT_EQ(triFindBoundaryEdge(m, b.higher, b.lower), e);
  }
}

// Bad regions give null with a failure code and leave nothing allocated.
TEST_F(TriMeshTest, BadRegionsFailWithoutCrashOrLeak) {
  struct Case {
    const char* what;
    std::vector<Point2D> outer;
    std::vector<Point2D> island;  // clockwise; empty for none
  };
  const std::vector<Case> cases = {
      {"bow tie", {{0, 0}, {10, 10}, {10, 0}, {0, 10}}, {}},
      {"touching at a vertex", {{0, 0}, {10, 0}, {5, 5}, {10, 10}, {0, 10}, {5, 5}}, {}},
      {"duplicate point", {{0, 0}, {10, 0}, {10, 0}, {10, 10}, {0, 10}}, {}},
      {"island outside", square(0, 0, 5), square(20, 0, 2, true)},
      {"island crossing", square(0, 0, 5), square(5, 0, 2, true)},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    Region r;
    r.k = kontFromPoints(c.outer);
    if (!c.island.empty()) qdtest::kontHangIslands(r.k, {kontFromPoints(c.island)});
    EXPECT_EQ(triPolyTriangulate(r.k), nullptr);
    EXPECT_LT(geoErrCode(), 0);
    EXPECT_EQ(triSeidelMesh(r.k), nullptr);
    EXPECT_LT(geoErrCode(), 0);
  }
}

// A region of 199996 segments in all fits the 200000 points of a mesh; one more does not.
TEST_F(TriMeshTest, PointLimitOfTheMesh) {
  for (int n : {199996, 199997}) {
    std::vector<Point2D> p;
    for (int i = 0; i < n; ++i) {
      const double a = 2 * M_PI * i / n;
      p.push_back({1000 * std::cos(a), 1000 * std::sin(a)});
    }
    Region r;
    r.k = kontFromPoints(p);
    r.k->mesh = triSeidelMesh(r.k);
    EXPECT_EQ(r.k->mesh != nullptr, n == 199996) << n;
  }
}
}  // namespace
