// Tests of the facet distance queries against dense sampling of the triangles and brute force
// over all facets, and of the step width of a ball-shaped tool against its chord.
#include <gtest/gtest.h>

#include <cmath>
#include <random>
#include <vector>

#include "model/facet_distance.h"
#include "model/model_fixture.h"

namespace {
double dist3(const Point3D& a, const Point3D& b) {
  return std::sqrt((a.x - b.x) * (a.x - b.x) + (a.y - b.y) * (a.y - b.y) +
                   (a.z - b.z) * (a.z - b.z));
}
// Smallest distance from p to the triangle, over a dense barycentric sampling.
double sampledTriDist(const Tri3D& t, const Point3D& p, int n) {
  double best = 1e300;
  for (int i = 0; i <= n; ++i) {
    for (int j = 0; i + j <= n; ++j) {
      const double u = double(i) / n, v = double(j) / n, w = 1.0 - u - v;
      const Point3D q{w * t.v[0].x + u * t.v[1].x + v * t.v[2].x,
                      w * t.v[0].y + u * t.v[1].y + v * t.v[2].y,
                      w * t.v[0].z + u * t.v[1].z + v * t.v[2].z};
      best = std::fmin(best, dist3(q, p));
    }
  }
  return best;
}
}  // namespace

TEST(PointTriDistance, FootEdgeAndTie) {
  const Tri3D t{{{0, 0, 0}, {6, 0, 0}, {0, 6, 0}}};
  Point3D q{};
  EXPECT_DOUBLE_EQ(modelPointTriDistance(t, {1, 1, 3}, &q), 3.0);
  EXPECT_DOUBLE_EQ(q.x, 1.0);
  EXPECT_DOUBLE_EQ(q.y, 1.0);
  EXPECT_DOUBLE_EQ(q.z, 0.0);
  EXPECT_DOUBLE_EQ(modelPointTriDistance(t, {3, -4, 0}, &q), 4.0);  // beside edge V0V1
  EXPECT_DOUBLE_EQ(q.x, 3.0);
  EXPECT_DOUBLE_EQ(q.y, 0.0);
  // Off the corner V0 both edges through it give the corner itself.
  EXPECT_DOUBLE_EQ(modelPointTriDistance(t, {-1, -1, 0}, &q), std::sqrt(2.0));
  EXPECT_DOUBLE_EQ(q.x, 0.0);
  EXPECT_DOUBLE_EQ(q.y, 0.0);
  // A degenerate triangle (all on a line) is measured by its edges.
  const Tri3D line{{{0, 0, 0}, {4, 0, 0}, {8, 0, 0}}};
  EXPECT_DOUBLE_EQ(modelPointTriDistance(line, {6, 0, 2}, &q), 2.0);
  EXPECT_DOUBLE_EQ(q.x, 6.0);
  EXPECT_DOUBLE_EQ(modelPointTriDistance(t, {1, 1, 3}, nullptr), 3.0);
}

TEST(PointTriDistance, MatchesDenseSampling) {
  std::mt19937 rng(3);
  std::uniform_real_distribution<double> u(-5, 5);
  for (int k = 0; k < 200; ++k) {
    const Tri3D t{{{u(rng), u(rng), u(rng)}, {u(rng), u(rng), u(rng)}, {u(rng), u(rng), u(rng)}}};
    const Point3D p{u(rng) * 2, u(rng) * 2, u(rng) * 2};
    Point3D q{};
    const double d = modelPointTriDistance(t, p, &q);
    EXPECT_NEAR(dist3(q, p), d, 1e-9);
    const double sampled = sampledTriDist(t, p, 300);
    EXPECT_LE(d, sampled + 1e-9);
    EXPECT_GE(d, sampled - 0.06);  // sampling spacing of 10 / 300 per side
  }
}

// The first facet within r over the grid and the sub-models agrees with brute force over every
// facet: something is found exactly when the brute-force nearest distance is below r.
TEST(FindFacetNear, AgreesWithBruteForce) {
  const std::vector<Tri3D> tris = qdtest::randomSoup(150, 100.0, 7);
  qdtest::TriModel tm(tris, qdtest::makeCutter(kCutterBall, 10, 10));
  ASSERT_EQ(modelBuildIndex(&tm.m), 1);
  std::mt19937 rng(9);
  std::uniform_real_distribution<double> pos(-10, 110), zs(-15, 15), rs(0.5, 12);
  int found = 0;
  for (int k = 0; k < 400; ++k) {
    const Point3D p{pos(rng), pos(rng), zs(rng)};
    const double r = rs(rng);
    double brute = 1e300;
    for (const Tri3D& t : tris) brute = std::fmin(brute, modelPointTriDistance(t, p, nullptr));
    if (std::fabs(brute - r) < 1e-9) continue;
    Point3D q{1e9, 1e9, 1e9};
    const int res = modelFindFacetNear(&tm.m, p, r, &q);
    if (brute < r) {
      ASSERT_EQ(res, 0) << k;
      EXPECT_LT(dist3(q, p), r);
      ++found;
    } else {
      EXPECT_EQ(res, 1) << k;
      EXPECT_EQ(q.x, 1e9);
    }
    // The nearest facet over the same preselection is the brute-force nearest whenever that
    // one lies within r (it then passes the preselection).
    Point3D n{};
    const int nr = modelNearestFacet(&tm.m, p, r, &n);
    if (brute < r) {
      ASSERT_EQ(nr, 1);
      EXPECT_NEAR(dist3(n, p), brute, 1e-9);
    }
  }
  EXPECT_GT(found, 50);
}

TEST(FindFacetNear, SubModelsAndQuads) {
  // The main model lies far away; a sub-model holds the near facet.
  qdtest::TriModel tm({Tri3D{{{100, 100, 0}, {110, 100, 0}, {100, 110, 0}}}},
                      qdtest::makeCutter(kCutterBall, 10, 10));
  SubModel* sub = modelNewSubModel(&tm.m, 0.0, 0, 3, 0, 1);
  ASSERT_NE(sub, nullptr);
  lstTri3Append(sub->triangles, Tri3D{{{0, 0, 0}, {10, 0, 0}, {0, 10, 0}}});
  sub->facetMin[0] = {0, 0, 0};
  sub->facetMax[0] = {10, 10, 0};
  sub->boxMin = {0, 0, 0};
  sub->boxMax = {10, 10, 0};
  tm.m.subModels = sub;
  Point3D q{};
  EXPECT_EQ(modelFindFacetNear(&tm.m, {2, 2, 1.5}, 2.0, &q), 0);
  EXPECT_DOUBLE_EQ(q.z, 0.0);
  EXPECT_EQ(modelFindFacetNear(&tm.m, {2, 2, 2.5}, 2.0, &q), 1);
  EXPECT_EQ(modelNearestFacet(&tm.m, {2, 2, 1.5}, 2.0, &q), 0) << "sub-models are not looked at";

  // A four-corner facet is measured as its two triangles: a point over the second one.
  qdtest::QuadModel qm({qdtest::quadOf({0, 0, 0}, {10, 0, 0}, {10, 10, 0}, {0, 10, 0})},
                       qdtest::makeCutter(kCutterBall, 10, 10));
  EXPECT_EQ(modelFindFacetNear(&qm.m, {2, 8, 1}, 1.5, &q), 0);
  EXPECT_DOUBLE_EQ(q.x, 2.0);
  EXPECT_DOUBLE_EQ(q.y, 8.0);
  EXPECT_EQ(modelFindFacetNear(&qm.m, {12, 5, 0}, 1.5, &q), 1);
  EXPECT_EQ(modelNearestFacet(&qm.m, {2, 8, 1}, 1.5, &q), -20) << "triangle models only";
  EXPECT_EQ(modelFindFacetNear(nullptr, {0, 0, 0}, 1, &q), -20);
}

TEST(StepWidth, ChordCappedAt18Percent) {
  EXPECT_DOUBLE_EQ(modelStepWidth(10, 12), 18.0);
  EXPECT_NEAR(modelStepWidth(10, 1), 2.0 * std::sqrt(19.0), 1e-12);
  EXPECT_DOUBLE_EQ(modelStepWidth(10, 10), 18.0);
  EXPECT_DOUBLE_EQ(modelStepWidth(10, 0), 0.0);
  // The chord at depth d is the width of the ball's cross-section at height r - d.
  for (double d = 0.5; d < 4.0; d += 0.5) {
    const double h = 10.0 - d;
    EXPECT_NEAR(modelStepWidth(10, d), 2.0 * std::sqrt(100.0 - h * h), 1e-12);
  }
}

// A main grid whose cell at the point held no list gave no candidates, so a facet within r of
// the point was missed; such a cell means every main facet (a sub-model's such cell means none).
TEST(FindFacetNear, MainCellWithoutListScansEveryFacet) {
  // Two triangles in opposite corners; a grid of 10 x 10 cells whose cells start without room,
  // so the cells between the triangles hold no list.
  const Tri3D near{{{0, 0, 0}, {10, 0, 0}, {0, 10, 0}}};
  const Tri3D far{{{90, 100, 0}, {100, 100, 0}, {100, 90, 0}}};
  qdtest::TriModel tm({near, far}, qdtest::makeCutter(kCutterBall, 1, 10));
  tm.m.grid = triGridNew(10, 10, 0);
  ASSERT_NE(tm.m.grid, nullptr);
  ASSERT_EQ(triGridFill(tm.m.grid, tm.m.triangles->count, tm.m.boxMin, tm.m.boxMax, tm.m.facetMin,
                        tm.m.facetMax, 1.0),
            1);
  const Point3D p{20, 5, 0};
  ASSERT_EQ(triGridCell(tm.m.grid, p.x, p.y)->indices, nullptr);
  // Closed form: the nearest point of the near triangle is its corner (10, 0, 0), at sqrt(125).
  Point3D q{};
  EXPECT_EQ(modelFindFacetNear(&tm.m, p, 12.0, &q), 0);
  EXPECT_DOUBLE_EQ(q.x, 10.0);
  EXPECT_DOUBLE_EQ(q.y, 0.0);
  EXPECT_EQ(modelFindFacetNear(&tm.m, p, 11.0, &q), 1);  // sqrt(125) > 11
  Point3D n{};
  EXPECT_EQ(modelNearestFacet(&tm.m, p, 12.0, &n), 1);
  EXPECT_DOUBLE_EQ(n.x, 10.0);
  EXPECT_DOUBLE_EQ(n.y, 0.0);

  // The same facet in a sub-model whose cell at p holds no list is not a candidate.
  qdtest::TriModel host({far}, qdtest::makeCutter(kCutterBall, 1, 10));
  SubModel* sub = modelNewSubModel(&host.m, 0.0, 0, 3, 0, 2);
  ASSERT_NE(sub, nullptr);
  lstTri3Append(sub->triangles, far);
  lstTri3Append(sub->triangles, near);
  sub->facetMin[0] = {90, 90, 0};
  sub->facetMax[0] = {100, 100, 0};
  sub->facetMin[1] = {0, 0, 0};
  sub->facetMax[1] = {10, 10, 0};
  sub->boxMin = {0, 0, 0};
  sub->boxMax = {100, 100, 0};
  sub->grid = triGridNew(10, 10, 0);
  ASSERT_NE(sub->grid, nullptr);
  ASSERT_EQ(triGridFill(sub->grid, 2, sub->boxMin, sub->boxMax, sub->facetMin, sub->facetMax, 1.0),
            1);
  host.m.subModels = sub;
  ASSERT_EQ(triGridCell(sub->grid, p.x, p.y)->indices, nullptr);
  EXPECT_EQ(modelFindFacetNear(&host.m, p, 12.0, &q), 1);
  EXPECT_EQ(modelFindFacetNear(&host.m, {5, 2, 1}, 1.5, &q), 0);  // its own cell lists it
}
