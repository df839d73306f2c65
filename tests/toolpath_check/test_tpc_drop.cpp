// test_tpc_drop.cpp - the checker's cutter drop against closed forms, against a brute-force drop
// over dense points of the triangle, and its buckets against the plain scan.
#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <random>

#include "toolpath_check_gtest.h"
#include "tpc_internal.h"

namespace {

constexpr double kInf = std::numeric_limits<double>::infinity();

// Equal within tol, or the same infinity.
::testing::AssertionResult near(double a, double b, double tol) {
  if (a == b || std::fabs(a - b) <= tol) return ::testing::AssertionSuccess();
  return ::testing::AssertionFailure() << a << " vs " << b;
}

// A large triangle in the plane z = tan(theta) x, around the origin.
tpc::Triangle tiltedPlane(double theta) {
  const double t = std::tan(theta);
  return tpc::Triangle{{{-50, -50, -50 * t}, {50, -50, 50 * t}, {0, 60, 0}}};
}

// A triangle whose only reachable point for a cutter at x > 0 is its vertex v: the rest falls
// away steeply towards -x.
tpc::Triangle spike(tpc::Vec3 v) {
  return tpc::Triangle{{v, {v.x - 10, v.y - 5, v.z - 100}, {v.x - 10, v.y + 5, v.z - 100}}};
}

struct DropCase {
  const char* name;
  tpc::Triangle tri;
  tpc::Tool tool;
  double allowance, x, y;
  double expected;
};

TEST(TpcDrop, ClosedForms) {
  const double th = 30 * tpc::kPi / 180, th2 = 55 * tpc::kPi / 180;
  const double R = 3, r = 1, a = 0.5;
  // Plane height on the axis at x = 1.
  const double h = std::tan(th), h2 = std::tan(th2);
  const DropCase cases[] = {
      {"ball on a plane tilted 30 deg", tiltedPlane(th), tpc::Tool::ball(R), 0, 1, 2,
       h + R * (1 / std::cos(th) - 1)},
      {"ball on a plane tilted 55 deg", tiltedPlane(th2), tpc::Tool::ball(R), 0, 1, 2,
       h2 + R * (1 / std::cos(th2) - 1)},
      {"flat end on a plane tilted 30 deg", tiltedPlane(th), tpc::Tool::flat(R), 0, 1, 2,
       h + R * std::tan(th)},
      {"flat end on a plane tilted 55 deg", tiltedPlane(th2), tpc::Tool::flat(R), 0, 1, 2,
       h2 + R * std::tan(th2)},
      {"torus on a plane tilted 30 deg", tiltedPlane(th), tpc::Tool::torus(R, r), 0, 1, 2,
       h + (R - r) * std::tan(th) + r * (1 / std::cos(th) - 1)},
      // The ball's centre lies R + a from the plane.
      {"ball with allowance on a tilted plane", tiltedPlane(th), tpc::Tool::ball(R), a, 1, 2,
       h + (R + a) / std::cos(th) - R},
      {"ball over a single vertex", spike({0, 0, 5}), tpc::Tool::ball(R), 0, 1.5, 0,
       5 + std::sqrt(R * R - 2.25) - R},
      {"flat end over a single vertex", spike({0, 0, 5}), tpc::Tool::flat(R), 0, 2.5, 0, 5},
      {"torus over a vertex under its corner", spike({0, 0, 5}), tpc::Tool::torus(R, r), 0, 2.5, 0,
       5 + std::sqrt(r * r - 0.25) - r},
      // A horizontal edge at z 2 along y = 0; the face falls away steeply towards -y.
      {"torus on a horizontal edge under its corner",
       tpc::Triangle{{{-10, 0, 2}, {10, 0, 2}, {0, -5, -100}}}, tpc::Tool::torus(R, r), 0, 0, 2.5,
       2 + std::sqrt(r * r - 0.25) - r},
      {"torus on a horizontal edge under its flat",
       tpc::Triangle{{{-10, 0, 2}, {10, 0, 2}, {0, -5, -100}}}, tpc::Tool::torus(R, r), 0, 0, 1.5,
       2},
      // The grown ball touches the vertex with its rim: the ball's centre lies R + a from it.
      {"ball exactly R + a from a vertex", spike({0, 0, 0}), tpc::Tool::ball(R), a, R + a, 0, -R},
      {"ball just beyond R + a from a vertex", spike({0, 0, 0}), tpc::Tool::ball(R), a,
       R + a + 1e-9, 0, -kInf},
  };
  for (const DropCase& c : cases) {
    SCOPED_TRACE(c.name);
    const double got = tpc::dropTriangle(c.tri, c.tool, c.allowance, c.x, c.y);
    EXPECT_TRUE(near(got, c.expected, 1e-9));
  }
}

// The edge search (used for torus cutters) agrees with the closed forms of the ball and the flat
// end, which are its limits r = R and r = 0.
TEST(TpcDrop, EdgeSearchMatchesClosedForms) {
  std::mt19937 rng(7);
  std::uniform_real_distribution<double> u(-4, 4);
  int contacts = 0;
  for (int i = 0; i < 2000; ++i) {
    const tpc::Vec3 p{u(rng), u(rng), u(rng)}, q{u(rng), u(rng), u(rng)};
    const double x = u(rng), y = u(rng), R = 1 + std::fabs(u(rng));
    const double ball = tpc::dropOnEdgeBall(R, x, y, p, q);
    const double flat = tpc::dropOnEdgeFlat(R, x, y, p, q);
    // The closed ball form finds interior contacts only; the search includes the edge's ends.
    const double ballWithEnds =
        std::max({ball, tpc::dropOnPoint(R, R, x, y, p), tpc::dropOnPoint(R, R, x, y, q)});
    EXPECT_TRUE(near(tpc::dropOnEdgeSearch(R, R, x, y, p, q), ballWithEnds, 1e-9)) << i;
    EXPECT_TRUE(near(tpc::dropOnEdgeSearch(R, 0, x, y, p, q), flat, 1e-9)) << i;
    if (ball > -kInf) ++contacts;
  }
  EXPECT_GT(contacts, 200);
}

// Brute force: the drop on a triangle is the highest drop on any of its points. That height is
// concave over the triangle (linear z less a convex profile of the distance), so the best of a
// dense grid, refined by ever finer grids around it, converges on it from below.
TEST(TpcDrop, TriangleDropMatchesDensePoints) {
  std::mt19937 rng(11);
  std::uniform_real_distribution<double> u(-3, 3);
  const tpc::Tool tools[] = {tpc::Tool::ball(2), tpc::Tool::flat(2), tpc::Tool::torus(2, 0.6)};
  constexpr int kN = 60;
  int compared = 0;
  for (int i = 0; i < 24; ++i) {
    const tpc::Triangle t{{{u(rng), u(rng), u(rng) * 0.7},
                           {u(rng), u(rng), u(rng) * 0.7},
                           {u(rng), u(rng), u(rng) * 0.7}}};
    const double x = u(rng) * 0.6, y = u(rng) * 0.6;
    for (const tpc::Tool& tool : tools) {
      const double allowance = i % 2 ? 0.3 : 0;
      const double R = tool.radius + allowance, r = tool.corner + allowance;
      auto at = [&](double wa, double wb) {
        const double wc = 1 - wa - wb;
        const tpc::Vec3 p{wa * t.v[0].x + wb * t.v[1].x + wc * t.v[2].x,
                          wa * t.v[0].y + wb * t.v[1].y + wc * t.v[2].y,
                          wa * t.v[0].z + wb * t.v[1].z + wc * t.v[2].z};
        return tpc::dropOnPoint(R, r, x, y, p) + allowance;
      };
      double brute = -kInf, ba = 0, bb = 0;
      for (int a = 0; a <= kN; ++a) {
        for (int b = 0; a + b <= kN; ++b) {
          const double v = at(static_cast<double>(a) / kN, static_cast<double>(b) / kN);
          if (v > brute) {
            brute = v;
            ba = static_cast<double>(a) / kN;
            bb = static_cast<double>(b) / kN;
          }
        }
      }
      if (brute == -kInf) continue;  // at most a sliver of the triangle lies under the cutter
      for (double h = 2.0 / kN; h > 1e-12; h /= 3) {
        const double ca = ba, cb = bb;
        for (int da = -16; da <= 16; ++da) {
          for (int db = -16; db <= 16; ++db) {
            const double wa = ca + da * h / 16, wb = cb + db * h / 16;
            if (wa < 0 || wb < 0 || wa + wb > 1) continue;
            const double v = at(wa, wb);
            if (v > brute) {
              brute = v;
              ba = wa;
              bb = wb;
            }
          }
        }
      }
      const double exact = tpc::dropTriangle(t, tool, allowance, x, y);
      SCOPED_TRACE(::testing::Message()
                   << "case " << i << " R " << tool.radius << " r " << tool.corner);
      EXPECT_GE(exact, brute - 1e-9);
      EXPECT_LE(exact, brute + 1e-6);
      ++compared;
    }
  }
  EXPECT_GT(compared, 40);  // the cases reach the triangles
}

// A bumpy surface of random heights: the bucketed drop equals the plain scan to the bit.
TEST(TpcDrop, BucketsEqualPlainScan) {
  std::mt19937 rng(3);
  std::uniform_real_distribution<double> hz(0, 4), u(-2, 42);
  constexpr int kGrid = 20;
  std::vector<double> z((kGrid + 1) * (kGrid + 1));
  for (double& v : z) v = hz(rng);
  std::vector<tpc::Triangle> tris;
  for (int j = 0; j < kGrid; ++j) {
    for (int i = 0; i < kGrid; ++i) {
      auto p = [&](int a, int b) { return tpc::Vec3{2.0 * a, 2.0 * b, z[b * (kGrid + 1) + a]}; };
      tris.push_back({{p(i, j), p(i + 1, j), p(i + 1, j + 1)}});
      tris.push_back({{p(i, j), p(i + 1, j + 1), p(i, j + 1)}});
    }
  }
  const tpc::Mesh mesh = tpc::makeMesh(tris);
  const tpc::MeshIndex index(mesh);
  const tpc::Tool tools[] = {tpc::Tool::ball(3), tpc::Tool::flat(1), tpc::Tool::torus(2.5, 0.5)};
  for (int i = 0; i < 300; ++i) {
    const double x = u(rng), y = u(rng);
    const tpc::Tool& tool = tools[i % 3];
    const double allowance = (i / 3) % 2 ? 0.25 : 0;
    EXPECT_EQ(index.drop(tool, allowance, x, y), tpc::dropPlain(mesh, tool, allowance, x, y)) << i;
  }
  // Far away from the mesh nothing lies under the cutter.
  EXPECT_EQ(index.drop(tools[0], 0, -100, -100), -kInf);
}

}  // namespace
