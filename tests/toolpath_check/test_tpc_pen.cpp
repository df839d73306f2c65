// test_tpc_pen.cpp - the 3-D penetration of a part into the grown cutter: closed forms (a wall
// beside the cutter, a plane under a ball, a box corner under a torus), dense points of random
// triangles, the drop as a second oracle (the penetration is the allowance the cutter must shed to
// rest where it is), and the tangents that bound it along a straight move and from every side,
// where the triangle touches or enters the core too.
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <limits>
#include <random>
#include <vector>

#include "toolpath_check_gtest.h"
#include "tpc_internal.h"

namespace {

constexpr double kInf = std::numeric_limits<double>::infinity();

// The vertical wall x = at, facing the cutter at x < at, 100 wide and 100 high about z 0.
tpc::Mesh wallAt(double at) {
  const tpc::Vec3 a{at, -50, -50}, b{at, 50, -50}, c{at, 50, 50}, d{at, -50, 50};
  return tpc::makeMesh({tpc::Triangle{{a, b, c}}, tpc::Triangle{{a, c, d}}});
}

// The 12 triangles of the box [x0, x1] x [y0, y1] x [z0, z1].
tpc::Mesh box(double x0, double y0, double z0, double x1, double y1, double z1) {
  auto p = [&](int i) { return tpc::Vec3{i & 1 ? x1 : x0, i & 2 ? y1 : y0, i & 4 ? z1 : z0}; };
  const int faces[6][4] = {{0, 1, 3, 2}, {4, 5, 7, 6}, {0, 1, 5, 4},
                           {2, 3, 7, 6}, {0, 2, 6, 4}, {1, 3, 7, 5}};
  std::vector<tpc::Triangle> tris;
  for (const auto& f : faces) {
    tris.push_back({{p(f[0]), p(f[1]), p(f[2])}});
    tris.push_back({{p(f[0]), p(f[2]), p(f[3])}});
  }
  return tpc::makeMesh(tris);
}

struct PenCase {
  const char* name;
  tpc::Mesh part;
  tpc::Tool tool;
  double allowance;
  tpc::Vec3 tip;
  double expected;
};

TEST(TpcPen, ClosedForms) {
  const double R = 5, r = 1, a = 0.5;
  const double th = 30 * tpc::kPi / 180;
  // The plane through the origin tilted 30 degrees about y, rising towards +x.
  const tpc::Mesh tilted = tpc::makeMesh(
      {tpc::Triangle{{{-50, -50, -50 * std::tan(th)}, {50, -50, 50 * std::tan(th)}, {0, 60, 0}}}});
  // Over the box [-20, 0]^3 a torus tip at (sx, sy, h): its core's disc lies hypot(sx, sy) - (R -
  // r) from the corner in plan (0 when it overhangs an edge or the top) and h + r above it.
  auto corner = [&](double sx, double sy, double h) {
    const double plan = std::max(std::hypot(std::max(sx, 0.0), std::max(sy, 0.0)) - (R - r), 0.0);
    return r + a - std::hypot(plan, h + r);
  };
  const tpc::Mesh cube = box(-20, -20, -20, 0, 0, 0);
  const tpc::Tool torus = tpc::Tool::torus(R, r);
  const PenCase cases[] = {
      // Beside a wall d from the axis: allowance + R - d, for the shank and the corner alike,
      // and inside the core too.
      {"flat, wall beyond reach", wallAt(7), tpc::Tool::flat(R), a, {0, 0, 0}, a + R - 7},
      {"flat, wall grazed", wallAt(5.5), tpc::Tool::flat(R), a, {0, 0, 0}, 0},
      {"flat, wall 0.2 into the allowance", wallAt(5.3), tpc::Tool::flat(R), a, {0, 0, 0}, 0.2},
      {"flat, wall inside the tool", wallAt(2), tpc::Tool::flat(R), a, {0, 0, 0}, a + R - 2},
      {"ball, wall 0.2 into the allowance", wallAt(5.3), tpc::Tool::ball(R), a, {0, 0, 0}, 0.2},
      {"ball, wall 1 from the axis", wallAt(1), tpc::Tool::ball(R), a, {0, 0, 0}, a + R - 1},
      {"torus, wall 0.2 into the allowance", wallAt(5.3), torus, a, {0, 0, 0}, 0.2},
      {"torus, wall inside the core", wallAt(3), torus, a, {0, 0, 0}, a + R - 3},
      // A ball whose centre lies D from a tilted plane: R + a - D.
      {"ball over a tilted plane, clear",
       tilted,
       tpc::Tool::ball(3),
       a,
       {1, 2, std::tan(th) + 4 / std::cos(th) - 3},
       3 + a - 4},
      {"ball over a tilted plane, 0.1 in",
       tilted,
       tpc::Tool::ball(3),
       a,
       {1, 2, std::tan(th) + 3.4 / std::cos(th) - 3},
       0.1},
      {"flat end over a level plate, 0.05 in",
       box(-50, -50, -1, 50, 50, 0),
       tpc::Tool::flat(3),
       a,
       {1, 2, a - 0.05},
       0.05},
      {"torus at the box corner", cube, torus, a, {3, 4, 0.2}, corner(3, 4, 0.2)},
      {"torus beyond the box corner", cube, torus, a, {5, 6, 0.4}, corner(5, 6, 0.4)},
      {"torus over the box edge", cube, torus, a, {2, -7, 0.1}, corner(2, -7, 0.1)},
      {"torus over the box top", cube, torus, a, {-6, -7, 0.3}, a - 0.3},
      {"torus sunk into the box top", cube, torus, a, {-10, -10, -0.4}, a + 0.4},
  };
  for (const PenCase& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_NEAR(tpc::penetrationPlain(c.part, c.tool, c.allowance, c.tip), c.expected, 1e-9);
  }
}

// A random triangle and a cutter near it.
struct CutterNearTriangle {
  tpc::Triangle tri;
  tpc::Tool tool;
  double allowance = 0;
  tpc::Vec3 tip;
};

CutterNearTriangle randomSetup(std::mt19937& rng, int i) {
  std::uniform_real_distribution<double> u(-4, 4);
  const tpc::Tool tools[] = {tpc::Tool::ball(2), tpc::Tool::flat(2), tpc::Tool::torus(2, 0.6)};
  CutterNearTriangle s;
  s.tri =
      tpc::Triangle{{{u(rng), u(rng), u(rng)}, {u(rng), u(rng), u(rng)}, {u(rng), u(rng), u(rng)}}};
  // Every fourth triangle level, every fifth vertical: the faces where the closed forms take over.
  if (i % 4 == 1) s.tri.v[1].z = s.tri.v[2].z = s.tri.v[0].z;
  if (i % 5 == 2) {
    s.tri.v[1].x = s.tri.v[0].x + 0.3 * (s.tri.v[2].x - s.tri.v[0].x);
    s.tri.v[1].y = s.tri.v[0].y + 0.3 * (s.tri.v[2].y - s.tri.v[0].y);
  }
  s.tool = tools[i % 3];
  s.allowance = i % 2 ? 0.3 : 0;
  s.tip = {u(rng) * 0.5, u(rng) * 0.5, u(rng) * 0.5};
  return s;
}

tpc::Vec3 bary(const tpc::Triangle& t, double wa, double wb) {
  const double wc = 1 - wa - wb;
  return {wa * t.v[0].x + wb * t.v[1].x + wc * t.v[2].x,
          wa * t.v[0].y + wb * t.v[1].y + wc * t.v[2].y,
          wa * t.v[0].z + wb * t.v[1].z + wc * t.v[2].z};
}

// True when p lies in the triangle (its plane, and inside its edges), within rounding.
bool inTriangle(const tpc::Triangle& t, const tpc::Vec3& p) {
  auto sub = [](const tpc::Vec3& a, const tpc::Vec3& b) {
    return tpc::Vec3{a.x - b.x, a.y - b.y, a.z - b.z};
  };
  auto cross = [](const tpc::Vec3& a, const tpc::Vec3& b) {
    return tpc::Vec3{a.y * b.z - a.z * b.y, a.z * b.x - a.x * b.z, a.x * b.y - a.y * b.x};
  };
  auto dot = [](const tpc::Vec3& a, const tpc::Vec3& b) {
    return a.x * b.x + a.y * b.y + a.z * b.z;
  };
  const tpc::Vec3 n = cross(sub(t.v[1], t.v[0]), sub(t.v[2], t.v[0]));
  const double area2 = std::sqrt(dot(n, n));
  if (std::fabs(dot(sub(p, t.v[0]), n)) > 1e-9 * area2) return false;
  for (int i = 0; i < 3; ++i) {
    const tpc::Vec3 side = cross(sub(t.v[(i + 1) % 3], t.v[i]), sub(p, t.v[i]));
    if (dot(side, n) < -1e-9 * area2) return false;
  }
  return true;
}

// Brute force: the signed distance to the core is convex over the triangle, so the least of a
// dense grid, refined by ever finer grids around it, converges on its minimum from above. The
// exact answer is a point of the triangle at its own distance, no farther than the grid's best.
TEST(TpcPen, TriangleMatchesDensePoints) {
  std::mt19937 rng(5);
  constexpr int kN = 60;
  int inside = 0;
  for (int i = 0; i < 120; ++i) {
    const CutterNearTriangle s = randomSetup(rng, i);
    const tpc::Core core = tpc::cutterCore(s.tool, s.allowance, s.tip);
    double brute = kInf, ba = 0, bb = 0;
    for (int a = 0; a <= kN; ++a) {
      for (int b = 0; a + b <= kN; ++b) {
        const double wa = static_cast<double>(a) / kN, wb = static_cast<double>(b) / kN;
        const double v = tpc::coreDistance(core, bary(s.tri, wa, wb));
        if (v < brute) {
          brute = v;
          ba = wa;
          bb = wb;
        }
      }
    }
    // Each grid moves with its best point until that stays put: inside the core the distance
    // has a ridge, and its minimum may lie along it beyond the first window.
    for (double h = 2.0 / kN; h > 1e-12; h /= 3) {
      for (bool moved = true; moved;) {
        moved = false;
        const double ca = ba, cb = bb;
        for (int da = -16; da <= 16; ++da) {
          for (int db = -16; db <= 16; ++db) {
            const double wa = ca + da * h / 16, wb = cb + db * h / 16;
            if (wa < 0 || wb < 0 || wa + wb > 1) continue;
            const double v = tpc::coreDistance(core, bary(s.tri, wa, wb));
            if (v < brute) {
              brute = v;
              ba = wa;
              bb = wb;
              moved = true;
            }
          }
        }
      }
    }
    const tpc::CoreContact c = tpc::triangleCore(core, s.tri);
    SCOPED_TRACE(::testing::Message() << "case " << i << " corner " << s.tool.corner);
    EXPECT_LE(c.dist, brute + 1e-9);
    // Inside the core the distance has a ridge (side and bottom equally near) that a grid
    // follows slowly: there the grid may stay a little above the minimum.
    EXPECT_GE(c.dist, brute - (brute < 0 ? 1e-4 : 1e-7));
    EXPECT_TRUE(inTriangle(s.tri, c.at));
    EXPECT_NEAR(tpc::coreDistance(core, c.at), c.dist, 1e-9);
    EXPECT_NEAR(
        c.dist,
        s.tool.corner + s.allowance - tpc::penetrationTriangle(s.tri, s.tool, s.allowance, s.tip),
        1e-12);
    // The box bound that lets a scan skip the triangle lies below the distance.
    const std::array<double, 4> planBox{std::min({s.tri.v[0].x, s.tri.v[1].x, s.tri.v[2].x}),
                                        std::min({s.tri.v[0].y, s.tri.v[1].y, s.tri.v[2].y}),
                                        std::max({s.tri.v[0].x, s.tri.v[1].x, s.tri.v[2].x}),
                                        std::max({s.tri.v[0].y, s.tri.v[1].y, s.tri.v[2].y})};
    EXPECT_LE(
        tpc::boxCoreDistance(core, planBox, std::max({s.tri.v[0].z, s.tri.v[1].z, s.tri.v[2].z})),
        c.dist + 1e-12);
    if (c.dist < 0) ++inside;
  }
  EXPECT_GT(inside, 10);  // the cases enter the core as well as pass it
}

// The drop, an oracle of its own: grown by the allowance less the penetration, the cutter rests
// exactly at its tip; a hair more and the part lifts it, a hair less and it hangs free.
TEST(TpcPen, PenetrationIsTheAllowanceTheDropSheds) {
  std::mt19937 rng(9);
  constexpr double kHair = 1e-6;
  int compared = 0;
  for (int i = 0; i < 600; ++i) {
    const CutterNearTriangle s = randomSetup(rng, i);
    const double pen = tpc::penetrationTriangle(s.tri, s.tool, s.allowance, s.tip);
    // The drop grows a cutter by allowances down to -corner (then it turns flat).
    const double shed = s.allowance - pen;
    if (!(shed - kHair > -s.tool.corner) || shed > 3) continue;
    SCOPED_TRACE(::testing::Message() << "case " << i << " penetration " << pen);
    EXPECT_LE(tpc::dropTriangle(s.tri, s.tool, shed - kHair, s.tip.x, s.tip.y), s.tip.z + 1e-9);
    EXPECT_GT(tpc::dropTriangle(s.tri, s.tool, shed + kHair, s.tip.x, s.tip.y), s.tip.z);
    ++compared;
  }
  EXPECT_GT(compared, 200);
}

// Along a straight move a triangle's penetration is concave: the tangent at any position (slope
// 1 where the triangle touches or enters the core) lies above it everywhere on the line.
TEST(TpcPen, TangentBoundsAStraightMove) {
  std::mt19937 rng(13);
  std::uniform_real_distribution<double> u(-1, 1);
  int smooth = 0;
  for (int i = 0; i < 300; ++i) {
    const CutterNearTriangle s = randomSetup(rng, i);
    tpc::Vec3 d{u(rng), u(rng), u(rng)};
    const double len = std::sqrt(d.x * d.x + d.y * d.y + d.z * d.z);
    d = {d.x / len, d.y / len, d.z / len};
    const tpc::Core core = tpc::cutterCore(s.tool, s.allowance, s.tip);
    const tpc::CoreContact c = tpc::triangleCore(core, s.tri);
    const double pen = core.rho - c.dist;
    const double slope = c.smooth ? c.grad.x * d.x + c.grad.y * d.y + c.grad.z * d.z : 1.0;
    if (c.smooth) {
      ++smooth;
      EXPECT_NEAR(std::hypot(c.grad.x, c.grad.y, c.grad.z), 1, 1e-12);
    }
    for (const double t : {-3.0, -0.5, -1e-3, 1e-3, 0.1, 0.7, 2.0, 5.0}) {
      const tpc::Vec3 p{s.tip.x + t * d.x, s.tip.y + t * d.y, s.tip.z + t * d.z};
      const double v = tpc::penetrationTriangle(s.tri, s.tool, s.allowance, p);
      EXPECT_LE(v, pen + (t > 0 ? slope : (c.smooth ? slope : -1.0)) * t + 1e-9)
          << "case " << i << " t " << t;
    }
  }
  EXPECT_GT(smooth, 100);
}

}  // namespace

// A triangle that touches the core, or enters it a hair, had no tangent: every stretch of a move
// along a wall the cutter rests on was bounded by the cutter's travel and halved down to the
// slack. The eroded core's tangent bounds it everywhere (random displacements of every length
// and direction), and along a wall the cutter rests on it stays level.
TEST(TpcPen, TangentHoldsWhereTheTriangleTouchesTheCore) {
  std::mt19937 rng(21);
  std::uniform_real_distribution<double> u(-1, 1);
  int eroded = 0;
  for (int i = 0; i < 240; ++i) {
    const CutterNearTriangle s = randomSetup(rng, i);
    const tpc::Core core = tpc::cutterCore(s.tool, s.allowance, s.tip);
    const tpc::CoreContact c = tpc::triangleCore(core, s.tri);
    if (!c.smooth) continue;
    // Moved along its gradient the core comes that much nearer the triangle: to rest on it, or
    // to enter it by a hair or a little.
    const double enter[] = {0, 1e-12, 1e-9, 1e-4};
    const double by = c.dist + enter[i % 4];
    const tpc::Vec3 tip{s.tip.x + by * c.grad.x, s.tip.y + by * c.grad.y, s.tip.z + by * c.grad.z};
    const tpc::TriPen t =
        tpc::penetrationTangent(tpc::cutterCore(s.tool, s.allowance, tip), s.tri, 7);
    SCOPED_TRACE(::testing::Message() << "case " << i << " corner " << s.tool.corner);
    EXPECT_EQ(t.tri, 7);
    EXPECT_NEAR(t.pen, tpc::penetrationTriangle(s.tri, s.tool, s.allowance, tip), 1e-15);
    // A ball's core is its axis: a triangle that reaches it sits deep in the ball, with no
    // tangent. Every other core erodes.
    if (s.tool.corner == s.tool.radius) continue;
    ASSERT_TRUE(t.smooth);
    ++eroded;
    EXPECT_LE(t.err, 1e-5 + enter[i % 4]);
    for (int k = 0; k < 40; ++k) {
      tpc::Vec3 d{u(rng), u(rng), u(rng)};
      const double scale =
          std::pow(10.0, -6 + 6.5 * (k % 10) / 9.0) / std::sqrt(d.x * d.x + d.y * d.y + d.z * d.z);
      d = {d.x * scale, d.y * scale, d.z * scale};
      const tpc::Vec3 p{tip.x + d.x, tip.y + d.y, tip.z + d.z};
      EXPECT_LE(tpc::penetrationTriangle(s.tri, s.tool, s.allowance, p),
                t.pen + t.err + t.grad.x * d.x + t.grad.y * d.y + t.grad.z * d.z + 1e-12)
          << "displacement " << k;
    }
  }
  EXPECT_GT(eroded, 60);

  // Flat end mills resting on a vertical wall and on a drafted one (it widens upwards: the
  // cutter's rim touches it), at the coordinates of a real part: level along the wall, rising
  // into it.
  struct Wall {
    const char* name;
    double lean;  // the wall's top leans away from the cutter by this angle
  };
  for (const Wall& w : {Wall{"vertical wall", 0.0}, Wall{"wall drafted 10 degrees", 0.1745}}) {
    SCOPED_TRACE(w.name);
    // The wall passes x + R at the tip's height, z -30; the rim touches the triangle abc there.
    const double R = 5, x = 45, t = std::tan(w.lean);
    const tpc::Vec3 a{x + R - 10 * t, 10, -40}, b{x + R - 10 * t, 90, -40};
    const tpc::Vec3 c{x + R + 20 * t, 90, -10};
    {
      const tpc::Triangle tri{{a, b, c}};
      const tpc::Vec3 tip{x, 50, -30 + 1e-13};
      const tpc::TriPen t =
          tpc::penetrationTangent(tpc::cutterCore(tpc::Tool::flat(R), 0, tip), tri, 0);
      ASSERT_TRUE(t.smooth);
      EXPECT_NEAR(t.pen, 0, 1e-12);
      EXPECT_LE(t.err, 1e-11);
      EXPECT_NEAR(t.grad.y, 0, 1e-9);  // along the wall
      EXPECT_NEAR(t.grad.x, std::cos(w.lean), 1e-9);
      EXPECT_NEAR(t.grad.z, -std::sin(w.lean), 1e-9);
    }
  }
}
