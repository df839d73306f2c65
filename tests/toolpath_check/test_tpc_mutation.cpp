// test_tpc_mutation.cpp - the gouge check by mutation: a path built from the checker's own drop
// plus 0.01 over a sphere on a plate (the real sphere_on_plate.stl when the data folder is there,
// and a generated one) passes, and lowering any one of its feed points by 2 tol shows at that
// point: in the vertical measure by exactly 2 tol - 0.01, in the judged 3-D penetration by at
// least 0 and no more than that (the part's slope there shortens it), a gouge where the part faces
// up.
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

#include "support/mesh_gen.h"
#include "support/real_meshes.h"
#include "toolpath_check_gtest.h"

namespace {

constexpr double kRowStep = 2;       // rows 2 mm apart
constexpr double kPointStep = 0.25;  // points along a row, the sample step of a radius-3 ball
constexpr double kLift = 0.01;       // the path runs this far above the drop
// Lowering a point by 2 tol turns the lift into a gouge of 2 tol - 0.01, beyond tol only when
// tol exceeds the lift.
constexpr double kTol = 0.02;
constexpr double kSafe = 40;

std::string f8(double v) {
  char b[64];
  std::snprintf(b, sizeof b, "%.8f", v);
  return b;
}

// Builds the drop path over part, checks it passes, and lowers its points one by one.
void checkLoweredPointsAreCaught(const tpc::Mesh& part) {
  const tpc::Tool ball = tpc::Tool::ball(3);
  const tpc::MeshIndex index(part);

  // Rows along x over the whole part, through the grid points (drop + kLift). Where the straight
  // move between two grid points would cut below the drop (the ball falls off the sphere's
  // equator to the plate within one step), the path climbs over the gap instead: up, across at
  // the highest drop of the gap plus 2 kLift, down.
  std::string pof = "0: cycle(mutation)\n";
  long n = 0;
  std::vector<char> gridLine(2, 0);  // by POF line: a grid point reached by a feed move
  auto line = [&](const char* kw, double x, double y, double z, bool grid) {
    pof += std::string("31: ") + kw + "[" + std::to_string(++n) + "]( x[/" + f8(x) + "] y[/" +
           f8(y) + "] z[/" + f8(z) + "] )\n";
    gridLine.push_back(grid ? 1 : 0);
  };
  auto dropAt = [&](double x, double y) {
    return std::stod(f8(index.drop(ball, 0, x, y) + kLift));
  };
  const int points = static_cast<int>((part.hi.x - part.lo.x) / kPointStep) + 1;
  int climbs = 0;
  for (double y = part.lo.y; y <= part.hi.y; y += kRowStep) {
    line("oM", part.lo.x, y, kSafe, false);
    double xa = part.lo.x, za = dropAt(xa, y);
    line("oM", xa, y, za, false);
    for (int i = 1; i < points; ++i) {
      const double xb = part.lo.x + i * kPointStep, zb = dropAt(xb, y);
      // The chord must clear the drop at the checker's samples (every 0.25 of its length).
      const int samples = static_cast<int>(std::ceil(std::hypot(kPointStep, zb - za) / kPointStep));
      double highest = -1e300;
      bool dips = false;
      for (int k = 1; k < samples; ++k) {
        const double u = static_cast<double>(k) / samples,
                     d = index.drop(ball, 0, xa + u * (xb - xa), y);
        highest = std::max(highest, d);
        dips = dips || za + u * (zb - za) < d + kLift / 2;
      }
      if (dips) {
        const double h = std::max({za, zb, highest + 2 * kLift});
        line("oL", xa, y, h, false);
        line("oL", xb, y, h, false);
        ++climbs;
      }
      line("oL", xb, y, zb, true);
      xa = xb;
      za = zb;
    }
    line("oM", xa, y, kSafe, false);
  }
  pof += "0: cycleEnd(mutation)\n";
  tpc::Path path;
  ASSERT_TRUE(tpc::passes(tpc::readPofText(path, pof, ball, "sphere_on_plate path")));
  ASSERT_GT(path.moves.size(), 10000u);
  EXPECT_GT(climbs, 0);

  const auto t0 = std::chrono::steady_clock::now();
  const tpc::Result whole = tpc::checkNoGouge3D(path, part, {.tol = kTol});
  const double seconds =
      std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
  std::printf("G3 of %zu moves over %zu triangles: %.2f s\n", path.moves.size(),
              part.triangles.size(), seconds);
  EXPECT_TRUE(tpc::passes(whole));
  EXPECT_LE(whole.vertical, -kLift / 2);
  EXPECT_LT(whole.worst, 0);

  // Lower every grid point in turn: the moves into and out of it reach into the part. The rest of
  // the path is unchanged and clears it, so checking these two moves decides the whole path.
  int lowered = 0, caught = 0;
  tpc::Path two{path.passes, {path.moves[0], path.moves[0]}};
  for (std::size_t k = 0; k + 1 < path.moves.size(); ++k) {
    if (!gridLine[static_cast<std::size_t>(path.moves[k].line)]) continue;
    two.moves[0] = path.moves[k];
    two.moves[1] = path.moves[k + 1];
    two.moves[0].to.z -= 2 * kTol;
    two.moves[1].from.z -= 2 * kTol;
    ++lowered;
    const tpc::Result r = tpc::checkNoGouge3D(two, index, {.tol = kTol});
    // The worst place is the lowered point, or a sample of the move out of it.
    const tpc::Vec3& p = path.moves[k].to;
    const bool vertical =
        r.vertical >= 2 * kTol - kLift - 1e-6 &&
        std::hypot(r.verticalWhere.x - p.x, r.verticalWhere.y - p.y) <= kPointStep + 1e-9;
    // A point lowered beside the sphere's equator only brings the shank onto a vertex there.
    const bool judged = r.worst >= 0 && r.worst <= r.vertical + 1e-9 &&
                        std::hypot(r.where.x - p.x, r.where.y - p.y) <= kPointStep + 1e-9;
    if (vertical && judged) ++caught;
  }
  EXPECT_EQ(caught, lowered);
  EXPECT_GT(lowered, 10000);

  // One lowered point in the whole path, near the sphere's top.
  std::size_t top = 0;
  double topZ = -1e300;
  for (std::size_t k = 0; k + 1 < path.moves.size(); ++k) {
    if (gridLine[static_cast<std::size_t>(path.moves[k].line)] && path.moves[k].to.z > topZ) {
      top = k;
      topZ = path.moves[k].to.z;
    }
  }
  tpc::Path mutated = path;
  mutated.moves[top].to.z -= 2 * kTol;
  mutated.moves[top + 1].from.z -= 2 * kTol;
  const tpc::Result r = tpc::checkNoGouge3D(mutated, index, {.tol = kTol});
  EXPECT_FALSE(tpc::passes(r));
  EXPECT_NEAR(r.vertical, 2 * kTol - kLift, 1e-6);
  EXPECT_NEAR(r.verticalWhere.x, path.moves[top].to.x, kPointStep);
  EXPECT_NEAR(r.verticalWhere.y, path.moves[top].to.y, 1e-9);
  // Near the top the part faces up: the penetration is nearly the vertical depth.
  EXPECT_NEAR(r.worst, 2 * kTol - kLift, 1e-3);
  EXPECT_NEAR(r.where.x, path.moves[top].to.x, kPointStep);
  EXPECT_NEAR(r.where.y, path.moves[top].to.y, 1e-9);
}

TEST(TpcMutation, SphereOnPlateDropPath) {
  QDTEST_SKIP_WITHOUT_REAL_MESHES();
  tpc::Mesh part;
  ASSERT_TRUE(tpc::passes(tpc::readStl(qdtest::dataPath("sphere_on_plate.stl"), part)));
  checkLoweredPointsAreCaught(part);
}

// The same on the generated sphere on a plate, which every clone has.
TEST(TpcMutation, GeneratedSphereOnPlateDropPath) {
  std::vector<tpc::Triangle> tris;
  for (const qdtest::gen::Tri& t : qdtest::gen::sphereOnPlate().tris) {
    tpc::Triangle c;
    for (int k = 0; k < 3; ++k) c.v[k] = tpc::Vec3{t.v[k].x, t.v[k].y, t.v[k].z};
    tris.push_back(c);
  }
  checkLoweredPointsAreCaught(tpc::makeMesh(std::move(tris)));
}

}  // namespace
