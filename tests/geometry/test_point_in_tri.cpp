// Tests of the plan point-in-triangle test: random points against the sign of the three edge
// cross products, points on edges and corners, the 1e-8 barycentric margin, both orientations and
// degenerate triangles.
#include <gtest/gtest.h>

#include <cmath>
#include <random>

#include "geometry/plane_geo.h"

namespace {

double cross(const Point3D& a, const Point3D& b, const Point2D& p) {
  return (b.x - a.x) * (p.y - a.y) - (b.y - a.y) * (p.x - a.x);
}

}  // namespace

// Points well away from the edges: inside exactly when all three edge crosses have the sign of
// the triangle's orientation. Heights do not matter.
TEST(PointInTri2D, RandomPointsAgainstEdgeSigns) {
  std::mt19937 rng(17);
  std::uniform_real_distribution<double> u(-10, 10);
  int inside = 0;
  for (int i = 0; i < 20000; ++i) {
    const Tri3D t{{{u(rng), u(rng), u(rng)}, {u(rng), u(rng), u(rng)}, {u(rng), u(rng), u(rng)}}};
    const Point2D p{u(rng), u(rng)};
    const double c0 = cross(t.v[0], t.v[1], p), c1 = cross(t.v[1], t.v[2], p);
    const double c2 = cross(t.v[2], t.v[0], p);
    const double area = cross(t.v[0], t.v[1], Point2D{t.v[2].x, t.v[2].y});
    if (std::fabs(area) < 1e-3) continue;
    const double margin = 1e-6 * std::fabs(area);
    if (std::fabs(c0) < margin || std::fabs(c1) < margin || std::fabs(c2) < margin) continue;
    const bool want = area > 0 ? (c0 > 0 && c1 > 0 && c2 > 0) : (c0 < 0 && c1 < 0 && c2 < 0);
    ASSERT_EQ(geoPointInTri2D(p, t), want ? 1 : 0) << i;
    inside += want;
  }
  EXPECT_GT(inside, 500);
}

TEST(PointInTri2D, EdgesCornersAndTheMargin) {
  const Tri3D ccw{{{0, 0, 5}, {4, 0, -1}, {0, 4, 2}}};
  const Tri3D cw{{{0, 0, 5}, {0, 4, 2}, {4, 0, -1}}};
  struct Case {
    Point2D p;
    int in;
  };
  const Case cases[] = {{{0, 0}, 1},     {{4, 0}, 1},           {{2, 2}, 1},
                        {{2, 0}, 1},     {{1, 1}, 1},           {{2, -1e-9}, 1},
                        {{2, -1e-6}, 0}, {{2.000001, 2}, 0},    {{-1e-9, -1e-9}, 1},
                        {{5, 5}, 0},     {{std::nan(""), 1}, 0}};
  for (const Case& c : cases) {
    EXPECT_EQ(geoPointInTri2D(c.p, ccw), c.in) << c.p.x << " " << c.p.y;
    EXPECT_EQ(geoPointInTri2D(c.p, cw), c.in) << c.p.x << " " << c.p.y;
  }
  const Tri3D line{{{0, 0, 0}, {1, 1, 0}, {2, 2, 5}}};
  EXPECT_EQ(geoPointInTri2D({1, 1}, line), 0) << "no plan area";
  const Tri3D point{{{1, 1, 0}, {1, 1, 1}, {1, 1, 2}}};
  EXPECT_EQ(geoPointInTri2D({1, 1}, point), 0);
}
