// Tests of the projected boundaries: a ball dropped along curves over a flat plate and over a
// tilted plane along a tilted direction against the closed-form ball position, the choice of the
// frame axes, the unit factor and scale put back, and the failures that leave the name unchanged.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <sstream>
#include <string>
#include <vector>

#include "framework/messages.h"
#include "geometry/csys.h"
#include "geometry/cycle_state.h"
#include "geometry/geo_error.h"
#include "model/profile_sample.h"
#include "support/mesh_gen.h"
#include "support/temp_dir.h"
#include "zlevel/proj_bnd.h"

namespace {

using qdtest::readFile;
using qdtest::writeFile;
namespace gen = qdtest::gen;

struct P2 {
  double x, y;
};
using Curve = std::vector<P2>;

std::string curveFile(const std::vector<Curve>& curves) {
  std::ostringstream os;
  os.precision(10);
  for (const Curve& c : curves) {
    os << "**BND 1\n";
    for (const P2& p : c) os << "X" << p.x << " Y" << p.y << " Z0\n";
    os << "**END\n";
  }
  return os.str();
}

struct Block {
  std::string head;
  std::vector<gen::Vec> pts;
};

std::vector<Block> readBlocks(const std::string& text) {
  std::vector<Block> blocks;
  std::istringstream is(text);
  std::string line;
  while (std::getline(is, line)) {
    if (line.rfind("**BND", 0) == 0) {
      blocks.push_back({line, {}});
      continue;
    }
    gen::Vec v{};
    if (std::sscanf(line.c_str(), "X%lf Y%lf Z%lf", &v.x, &v.y, &v.z) == 3)
      blocks.back().pts.push_back(v);
  }
  return blocks;
}

// Plan distance from (x, y) to the polyline.
double distToCurve(const Curve& c, double x, double y) {
  double best = 1e300;
  for (std::size_t i = 1; i < c.size(); ++i) {
    const double ax = c[i - 1].x, ay = c[i - 1].y, dx = c[i].x - ax, dy = c[i].y - ay;
    double t = ((x - ax) * dx + (y - ay) * dy) / (dx * dx + dy * dy);
    t = std::clamp(t, 0.0, 1.0);
    best = std::min(best, std::hypot(ax + t * dx - x, ay + t * dy - y));
  }
  return best;
}

gen::Mesh plate(double side, double top) {
  gen::Mesh m;
  gen::detail::box(m, {-side, -side, top - 5}, {side, side, top});
  return m;
}

// The plane z = slope x over [-side, side]^2 as two triangles.
gen::Mesh tiltedPlane(double side, double slope) {
  gen::Mesh m;
  gen::detail::quad(m, {-side, -side, -slope * side}, {side, -side, slope * side},
                    {side, side, slope * side}, {-side, side, -slope * side});
  return m;
}

class ProjBnd : public qdtest::TempDirTest {
 protected:
  void SetUp() override {
    csysResetState();
    unitFactor = 1.0;
  }
  void TearDown() override {
    csysResetState();
    unitFactor = 1.0;
    out3dSetBreakCheck(nullptr);
  }
  int run(const gen::Mesh& mesh, const std::vector<Curve>& curves, const Point3D& dir, double r,
          char* name) {
    writeFile("part.stl", gen::stlBinary(mesh, "part"));
    writeFile("curves.bnd", curveFile(curves));
    std::strcpy(name, "curves.bnd");
    return projBndCreate(name, "part.stl", "", "", tempPath().c_str(), 0, 0, dir, r);
  }
};

const std::vector<Curve> kCurves{{{-20, -10}, {20, -10}, {20, 10}, {-20, 10}, {-20, -10}},
                                 {{-5, 15}, {5, 25}}};

TEST_F(ProjBnd, FlatPlateFromAboveAtEachUnitFactor) {
  for (double r : {0.5, 1.5, 3.0}) {
    SCOPED_TRACE(r);
    unitFactor = 1.7;  // the caller's factor and scale come back unchanged
    csysMulScale(1.25);
    char name[kProjBndNameMax];
    ASSERT_EQ(run(plate(60, 2.0), kCurves, {0, 0, 1}, r, name), 1);
    EXPECT_EQ(std::string(name), tempPath() + "/proj.bnd");
    EXPECT_EQ(unitFactor, 1.7);
    EXPECT_DOUBLE_EQ(csysCurrent()->scale, 1.25);
    const std::vector<Block> blocks = readBlocks(readFile(name));
    ASSERT_EQ(blocks.size(), kCurves.size());
    for (std::size_t b = 0; b < blocks.size(); ++b) {
      EXPECT_EQ(blocks[b].head, "**BND 1");
      ASSERT_GE(blocks[b].pts.size(), 2u);
      for (const gen::Vec& p : blocks[b].pts) {
        EXPECT_NEAR(p.z, 2.0 + r, 1e-4);
        EXPECT_LT(distToCurve(kCurves[b], p.x, p.y), 1e-4);
      }
    }
    EXPECT_FALSE(qdtest::fileExists("proj.qdx"));  // only under the debug switch
    csysResetState();
  }
}

TEST_F(ProjBnd, TiltedPlaneAlongTiltedDirectionMatchesClosedForm) {
  const double slope = 0.3, r = 4.0;
  const Point3D d{0.2, 0.1, 1.0};
  char name[kProjBndNameMax];
  ASSERT_EQ(run(tiltedPlane(100, slope), kCurves, d, r, name), 1);
  const double nl = std::hypot(slope, 1.0);
  const std::vector<Block> blocks = readBlocks(readFile(name));
  ASSERT_EQ(blocks.size(), kCurves.size());
  for (std::size_t b = 0; b < blocks.size(); ++b)
    for (const gen::Vec& c : blocks[b].pts) {
      // the ball centre lies r above the plane ...
      EXPECT_NEAR((c.z - slope * c.x) / nl, r, 1e-4);
      // ... on the line along d through a point of the curve (the curves lie at z 0)
      const double t = c.z / d.z;
      EXPECT_LT(distToCurve(kCurves[b], c.x - t * d.x, c.y - t * d.y), 1e-4);
    }
}

TEST_F(ProjBnd, FrameAxisChoice) {
  struct Case {
    Point3D d, x;
  };
  const Case cases[] = {
      {{0, 0, 1}, {0, -1, 0}},   {{0, 0, -1}, {0, 1, 0}}, {{9e-6, -9e-6, 1}, {0, -1, 0}},
      {{2e-5, 0, 1}, {0, 1, 0}}, {{0, 3, 0}, {-1, 0, 0}}, {{1, 0, 0}, {0, 1, 0}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.d.x);
    ASSERT_EQ(projBndFrame(c.d), 1);
    Point3D x{1, 0, 0}, z{0, 0, 1};
    csysToolToWorld(&x);
    csysToolToWorld(&z);
    EXPECT_NEAR(x.x, c.x.x, 1e-4);
    EXPECT_NEAR(x.y, c.x.y, 1e-4);
    EXPECT_NEAR(x.z, c.x.z, 1e-4);
    const double len = std::sqrt(c.d.x * c.d.x + c.d.y * c.d.y + c.d.z * c.d.z);
    EXPECT_NEAR(z.x, c.d.x / len, 1e-9);
    EXPECT_NEAR(z.z, c.d.z / len, 1e-9);
  }
  EXPECT_EQ(projBndFrame({0, 0, 0}), -1);
}

int stopNow() { return 1; }

TEST_F(ProjBnd, FailuresLeaveTheNameUnchanged) {
  char name[kProjBndNameMax];
  // a null direction and a missing model
  EXPECT_EQ(run(plate(60, 0), kCurves, {0, 0, 0}, 3, name), -1);
  EXPECT_STREQ(name, "curves.bnd");
  std::strcpy(name, "curves.bnd");
  EXPECT_EQ(projBndCreate(name, "absent.stl", "", "", tempPath().c_str(), 0, 0, {0, 0, 1}, 3), -1);
  EXPECT_STREQ(name, "curves.bnd");
  std::strcpy(name, "absent.bnd");
  EXPECT_EQ(projBndCreate(name, "part.stl", "", "", tempPath().c_str(), 0, 0, {0, 0, 1}, 3), -1);
  EXPECT_STREQ(name, "absent.bnd");
  // a drop interrupted on the second curve (the break is polled every 10000 samples, so the
  // short first curve passes and the long zigzag does not): no success with a partial boundary
  Curve zigzag;
  for (int k = 0; k < 120; ++k) {
    zigzag.push_back({-50.0, -50.0 + 0.8 * k});
    zigzag.push_back({50.0, -50.0 + 0.8 * k + 0.4});
  }
  dropProfileSampleResetState();
  out3dSetBreakCheck(stopNow);
  unitFactor = 1.3;
  EXPECT_EQ(run(plate(60, 0), {kCurves[0], zigzag}, {0, 0, 1}, 3, name), -1);
  EXPECT_STREQ(name, "curves.bnd");
  EXPECT_EQ(readBlocks(readFile("proj.bnd")).size(), 1u);  // the drop stopped on the second
  EXPECT_EQ(unitFactor, 1.3);
  EXPECT_DOUBLE_EQ(csysCurrent()->scale, 1.0);
}

}  // namespace
