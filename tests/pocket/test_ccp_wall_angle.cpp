// Drafted walls: a pocket with a wall angle is cut level by level by the contour-parallel cycle,
// each level's rings held off the walls as the walls lean in. The oracle is the drafted pocket
// itself, built as a mesh of sloped planes: the toolpath checker drops the real cutter (flat,
// ball, torus) onto it, so every level must clear the walls and its outermost rings must touch
// them. The levels are also cleared (coverage against the level's own section) and links and
// rapids stay out of the material.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <numbers>
#include <string>
#include <vector>

#include "ccp_checked_support.h"
#include "framework/phase_runner.h"
#include "pocket/axcp_record.h"
#include "pocket/ccp_record.h"

using namespace ccpcheck;
using ccptest::pcf;
using qdtest::readFile;
using qdtest::writeFile;

namespace {

class CcpWallAngleTest : public ccptest::CcpRunFixture {};

// An axis-parallel pocket whose walls lean in by the angle w below its top: at height z its
// rectangle is grown on every side by (z - top) tan w.
struct DraftedPocket {
  double x0, y0, x1, y1;
  double tanW;
  double top;
  tpc::Vec3 corner(int k, double z) const {
    const double g = (z - top) * tanW;
    const double x = (k == 0 || k == 3) ? x0 - g : x1 + g;
    const double y = (k == 0 || k == 1) ? y0 - g : y1 + g;
    return {x, y, z};
  }
};

// A round island whose wall leans out by the angle w below its top: at height z its radius is
// r + (top - z) tan w. A round one, because a wall angle grows the section by an offset, which
// rounds an island's convex corners: a drafted box with sharp edges is another part.
struct DraftedIsland {
  double cx, cy, r;
  double tanW;
  double top;
  tpc::Vec3 at(int k, int n, double z) const {
    const double a = 2 * std::numbers::pi * k / n;
    const double rz = r + (top - z) * tanW;
    return {cx + rz * std::cos(a), cy + rz * std::sin(a), z};
  }
};

// The pocket's four sloped walls between the heights hi and lo, as triangles.
std::vector<tpc::Triangle> wallTriangles(const DraftedPocket& p, double hi, double lo) {
  std::vector<tpc::Triangle> t;
  for (int k = 0; k < 4; ++k) {
    const int n = (k + 1) % 4;
    const tpc::Vec3 a = p.corner(k, hi), b = p.corner(n, hi);
    const tpc::Vec3 c = p.corner(n, lo), d = p.corner(k, lo);
    t.push_back({{a, b, c}});
    t.push_back({{a, c, d}});
  }
  return t;
}

// The island's cone between hi and lo with its lid at hi, in n facets whose corners lie on the
// cone: the facets lie inside it, so they never report a gouge that the cone would not, and a
// ring touching the cone lies at most its sagitta off them.
std::vector<tpc::Triangle> islandTriangles(const DraftedIsland& d, double hi, double lo, int n) {
  std::vector<tpc::Triangle> t;
  const tpc::Vec3 centre{d.cx, d.cy, hi};
  for (int k = 0; k < n; ++k) {
    const tpc::Vec3 a = d.at(k, n, hi), b = d.at(k + 1, n, hi);
    const tpc::Vec3 c = d.at(k + 1, n, lo), e = d.at(k, n, lo);
    t.push_back({{a, b, c}});
    t.push_back({{a, c, e}});
    t.push_back({{centre, a, b}});
  }
  return t;
}

// The feed moves of the path that run on the floor z.
tpc::Path floorMoves(const tpc::Path& path, double z) {
  tpc::Path level;
  level.passes = path.passes;
  for (const tpc::Move& m : path.moves) {
    if (m.kind == tpc::MoveKind::Feed && std::fabs(m.from.z - z) < 1e-6 &&
        std::fabs(m.to.z - z) < 1e-6) {
      level.moves.push_back(m);
    }
  }
  return level;
}

// How far the tool centre must stay inside a wall that leans by w, at a level d below the wall's
// top edge, beyond the tool radius R, for a cutter whose corner has the radius c (0 flat, R ball):
// the corner circle's centre lies c above the tip and R - c off the axis, and must keep the
// distance c from the sloped plane. In the plane's normal (cos w, sin w) that distance is
// (x - (R - c)) cos w + (c - d) sin w for an axis x beyond the edge line, so
// x - R = (d - c) tan w + c (1 / cos w - 1).
double draftedClearance(double d, double c, double w) {
  return (d - c) * std::tan(w) + c * (1.0 / std::cos(w) - 1.0);
}

struct Case {
  const char* name;
  const char* toolType;  // pocket parameter "toolType"
  double corner;         // corner radius of the cutter, in tool units of the unscaled case
  double angle;          // degrees
  double size;           // every length of the job times this (0.1: a tool small enough to scale)
  const char* grouping;  // "oriAutomatic"
};

}  // namespace

// Each level's outermost rings touch the drafted outer wall and the drafted island and no move
// cuts into either; every level is cleared out to its own section, with flat, ball and torus
// cutters, two angles, the grouped and the single-pocket run, and a small tool that the cycle
// scales.
TEST_F(CcpWallAngleTest, LevelsFollowTheDraftedWalls) {
  const Case cases[] = {
      {"flat 10 deg", "endMill", 0.0, 10.0, 1.0, "full"},
      {"flat 30 deg", "endMill", 0.0, 30.0, 1.0, "full"},
      {"ball 10 deg", "ballMill", 5.0, 10.0, 1.0, "full"},
      {"torus 15 deg", "radiusMill", 2.0, 15.0, 1.0, "full"},
      {"flat 10 deg, one pocket", "endMill", 0.0, 10.0, 1.0, "single"},
      {"ball 20 deg, scaled", "ballMill", 5.0, 20.0, 0.1, "full"},
  };
  for (const Case& c : cases) {
    const double k = c.size;
    const double radius = 5 * k, corner = c.corner * k;
    const double w = c.angle * std::numbers::pi / 180;
    const double depth = 10 * k, step = 2.5 * k;
    const DraftedPocket outer{0, 0, 60 * k, 40 * k, std::tan(w), 0};
    const DraftedIsland island{30 * k, 20 * k, 6 * k, std::tan(w), 0};
    const Fixture f{"drafted",
                    rectangleShape(outer.x0, outer.y0, outer.x1, outer.y1),
                    {circleShape(island.cx, island.cy, island.r)}};
    writeFile("job.qdx", exchangeText({&f}));
    std::vector<std::pair<std::string, std::string>> keys = {
        {"geoSource", "job.qdx"},
        {"toolDiameter", std::to_string(2 * radius)},
        {"toolType", c.toolType},
        {"cornerRadius", std::to_string(corner)},
        {"wallAngle", std::to_string(c.angle)},
        {"depth", std::to_string(depth)},
        {"infeedDepth", std::to_string(step)},
        {"clearancePlane", std::to_string(20 * k)},
        {"oriAutomatic", c.grouping},
        {"precision", "8"},
        {"pofFilename", "out.pof"}};
    writeFile("job.pcf", pcf(keys));
    std::remove("out.pof");
    ASSERT_EQ(ccptest::runCycle(ccpCycleRecord(), "job"), kRunOk) << c.name << "\n"
                                                                  << readFile("out.pof");
    const tpc::Tool tool{radius, corner, 0.0};
    tpc::Path path;
    ASSERT_TRUE(tpc::passes(tpc::readPof(path, "out.pof", tool))) << c.name;
    EXPECT_TRUE(tpc::passes(tpc::checkSanity(path, failureMessages()))) << c.name;
    std::vector<double> levels;
    for (double z = -step; z > -depth - 1e-9; z -= step) levels.push_back(z);
    EXPECT_TRUE(tpc::passes(tpc::checkLevels(path, levels, 1e-4 * k))) << c.name;

    // The drafted walls reach above the contours' top (a ball's or torus's corner may touch them
    // there) and below the last level; the island's cone stops before it narrows to its axis.
    // Rapids run at the clearance plane, above both.
    const double lo = -depth - 2 * k;
    const double islandTop = std::min(10 * k, 0.8 * island.r / island.tanW);
    const std::vector<tpc::Triangle> wallT = wallTriangles(outer, 10 * k, lo);
    const std::vector<tpc::Triangle> islandT = islandTriangles(island, islandTop, lo, 720);
    std::vector<tpc::Triangle> bothT = wallT;
    bothT.insert(bothT.end(), islandT.begin(), islandT.end());
    const tpc::Mesh wallMesh = tpc::makeMesh(wallT);
    const tpc::Mesh islandMesh = tpc::makeMesh(islandT);
    const tpc::Mesh both = tpc::makeMesh(bothT);
    const tpc::Gouge3DOptions exact{.allowance = 0, .tol = 1e-4 * k};
    EXPECT_TRUE(tpc::passes(tpc::checkNoGouge3D(path, both, exact))) << c.name;
    // A ball's centre lies above a shallow level's tip, so its rings may come nearer than R to
    // the contours there (the plane check above proves them): the plan checks of links take the
    // levels whose walls stay at least R off.
    if (draftedClearance(step, corner, w) >= 0) {
      EXPECT_TRUE(tpc::passes(tpc::checkLinks2D(path, checkPocket(f), 1e-4 * k))) << c.name;
    }
    for (const tpc::Move& m : path.moves) {
      const bool across = std::hypot(m.to.x - m.from.x, m.to.y - m.from.y) > 1e-9;
      if (m.kind == tpc::MoveKind::Rapid && across) {
        EXPECT_GE(std::min(m.from.z, m.to.z), 0) << c.name << " rapid at line " << m.line;
      }
    }

    for (double z : levels) {
      const std::string label = std::string(c.name) + " level " + std::to_string(z);
      const tpc::Path floor = floorMoves(path, z);
      ASSERT_FALSE(floor.moves.empty()) << label;
      // Touching: the highest the cutter could sit on each drafted wall is its tip height, at
      // the outermost ring; a ring held a few thousandths too far off shows as a negative worst.
      for (const tpc::Mesh* mesh : {&wallMesh, &islandMesh}) {
        const tpc::Result touch = tpc::checkNoGouge3D(floor, *mesh, exact);
        EXPECT_TRUE(tpc::passes(touch)) << label;
        EXPECT_GT(touch.worst, -2e-3 * k) << label << (mesh == &wallMesh ? " wall" : " island");
      }
      // Cleared out to the level's section: the walls' distance at this level as allowance
      // (where a ball reaches nearer than R, the section of a cylinder of radius R).
      const double a = std::max(0.0, draftedClearance(-z, corner, w));
      tpc::Pocket section;
      section.outer = tpc::rectangle(outer.x0, outer.y0, outer.x1, outer.y1, a, 0);
      section.islands.push_back(tpc::circle(island.cx, island.cy, island.r, a, 0));
      tpc::CoverOptions cover;
      cover.floorZ = z;
      cover.step = radius;
      EXPECT_TRUE(tpc::passes(tpc::checkCoverClear(path, section, cover))) << label;
    }
  }
}

// The axis-parallel cycle reads its contours as the tool centre's limits and has no wall-angle
// pass: a wall angle there is refused with "1104" rather than cut with vertical walls.
TEST_F(CcpWallAngleTest, AxisParallelCycleRefusesAWallAngle) {
  const Fixture f{"rect", rectangleShape(0, 0, 60, 40), {}};
  writeFile("job.qdx", exchangeText({&f}));
  writeFile("job.pcf", pcf({{"geoSource", "job.qdx"},
                            {"toolDiameter", "10"},
                            {"planeAllowance", "-5"},
                            {"wallAngle", "10"},
                            {"depth", "5"},
                            {"pofFilename", "out.pof"}}));
  pockSetSourceLoader(axcpCycleRecord());
  EXPECT_EQ(ccptest::runCycle(axcpCycleRecord(), "job"), kRunPrepareFailed);
  EXPECT_NE(readFile("out.pof").find("0: error(1104)\n"), std::string::npos);
}
