// test_tpc_links3d.cpp - the link check against the part, judged in 3-D: a cutter that leaves a
// level beside a steep wall at the allowance passes where the vertical measure reads the wall's
// height, a rapid past a box corner fails by exactly how far the corner reaches into the grown
// cutter, and over random triangles the rapids' worst equals dense points along them while the
// feeds between them, deep in the part, are left to the gouge check.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <limits>
#include <random>
#include <string>
#include <vector>

#include "toolpath_check_gtest.h"
#include "tpc_internal.h"

namespace {

constexpr double kInf = std::numeric_limits<double>::infinity();

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

tpc::Move move(tpc::MoveKind kind, tpc::Vec3 from, tpc::Vec3 to) {
  tpc::Move m;
  m.kind = kind;
  m.from = from;
  m.to = to;
  return m;
}

// A path of one pass with `tool` through moves that run on from one point to the next: each
// entry is a kind and the point it goes to; the first entry is the start.
tpc::Path chain(const tpc::Tool& tool,
                const std::vector<std::pair<tpc::MoveKind, tpc::Vec3>>& points) {
  tpc::Path p;
  tpc::Pass pass;
  pass.source = "synthetic";
  pass.tool = tool;
  pass.endsWithCycleEnd = true;
  p.passes.push_back(pass);
  for (std::size_t i = 1; i < points.size(); ++i) {
    p.moves.push_back(move(points[i].first, points[i - 1].second, points[i].second));
    p.moves.back().line = static_cast<long>(i);
  }
  return p;
}

struct ToolCase {
  const char* name;
  tpc::Tool tool;
};

const ToolCase kTools[] = {
    {"ball", tpc::Tool::ball(3)},
    {"flat", tpc::Tool::flat(3)},
    {"torus", tpc::Tool::torus(3, 1)},
};

constexpr auto kRapid = tpc::MoveKind::Rapid;
constexpr auto kFeed = tpc::MoveKind::Feed;

// The block x in [0, 10], y in [-10, 10], z in [0, 8], in a stock from 1.5. A level at z 1 runs
// along its side x = 0 with the grown cutter `gap` short of it (plunged by a feed, so that the
// stock is cut there), and rapids up to 20 and over the block. The part reaches `gap` into the
// grown cutter; the vertical measure reads the drop onto the block's top edge where the retract
// starts: about the wall's height above the tip less the corner radius.
TEST(TpcLinks3D, LeavingALevelBesideAWall) {
  const tpc::Mesh part = box(0, -10, 0, 10, 10, 8);
  const tpc::Stock stock{1.5, -20, -20, 30, 20};
  const double a = 0.5, gap = 0.0005;
  for (const ToolCase& t : kTools) {
    SCOPED_TRACE(t.name);
    const double x = -(t.tool.radius + a - gap);
    const tpc::Path path = chain(t.tool, {{kRapid, {x, -5, 20}},
                                          {kRapid, {x, -5, 2}},
                                          {kFeed, {x, -5, 1}},
                                          {kFeed, {x, 5, 1}},
                                          {kRapid, {x, 5, 20}},
                                          {kRapid, {20, 5, 20}}});
    const tpc::Result r = tpc::checkLinks3D(path, part, stock, {.allowance = a});
    EXPECT_TRUE(r.ok) << r.message;
    EXPECT_NEAR(r.worst, gap, 1e-9) << r.message;
    EXPECT_NEAR(r.vertical, 8 - 1 - t.tool.corner, 0.1) << r.message;
    EXPECT_EQ(r.verticalLine, 4);  // the retract's start
    EXPECT_NEAR(r.verticalWhere.z, 1, 1e-12);
    EXPECT_NE(r.message.find("vertical"), std::string::npos) << r.message;
    // The same brush 0.05 deeper into the allowance is a violation of 0.05, not of the wall.
    const double deeper = x + 0.05;
    const tpc::Path into = chain(t.tool, {{kRapid, {deeper, -5, 20}},
                                          {kRapid, {deeper, -5, 2}},
                                          {kFeed, {deeper, -5, 1}},
                                          {kFeed, {deeper, 5, 1}},
                                          {kRapid, {deeper, 5, 20}}});
    const tpc::Result f = tpc::checkLinks3D(into, part, stock, {.allowance = a});
    EXPECT_FALSE(f.ok) << f.message;
    EXPECT_NEAR(f.worst, gap + 0.05, 1e-9) << f.message;
  }
}

// A rapid at z 2 along the line x + y = c passes the block's corner (0, -10) at the plan distance
// d = |c + 10| / sqrt 2, with the corner's vertical edge beside every part of the cutter: it
// reaches R + allowance - d into the grown cutter, worst where the rapid passes the corner. The
// stock lies below the rapid.
TEST(TpcLinks3D, RapidPastABoxCorner) {
  const tpc::Mesh part = box(0, -10, 0, 10, 10, 8);
  const tpc::Stock stock{0, -20, -20, 30, 20};
  const double a = 0.5;
  struct Offset {
    const char* name;
    double c;
    bool ok;
  };
  const Offset offsets[] = {{"through the corner", -12, false}, {"past the corner", -16, true}};
  for (const ToolCase& t : kTools) {
    for (const Offset& o : offsets) {
      SCOPED_TRACE(std::string(t.name) + ", " + o.name);
      const double x0 = -10, x1 = 2;
      const tpc::Path path = chain(t.tool, {{kRapid, {x0, o.c - x0, 20}},
                                            {kRapid, {x0, o.c - x0, 2}},
                                            {kRapid, {x1, o.c - x1, 2}},
                                            {kRapid, {x1, o.c - x1, 20}}});
      const tpc::Result r = tpc::checkLinks3D(path, part, stock, {.allowance = a});
      const double d = std::fabs(o.c + 10) / std::sqrt(2.0);
      const double expected = t.tool.radius + a - d;
      EXPECT_EQ(r.ok, o.ok) << r.message;
      EXPECT_LE(r.worst, expected + 1e-12) << r.message;
      EXPECT_GE(r.worst, expected - 1e-3) << r.message;  // within the sampling's slack
      EXPECT_EQ(r.line, 2);
      EXPECT_NEAR(r.where.x + r.where.y, o.c, 1e-9);
      EXPECT_NEAR(r.where.x - r.where.y, 10, 0.1);  // beside the corner
    }
  }
}

// Random slabs and slivers, rapids in every direction through them with feeds between that cut
// deep into the part. The rapids' worst lies within the slack below the largest penetration at
// dense points along the rapids and never above their largest by more than half a spacing (the
// penetration changes no faster than the cutter moves); the feeds count for nothing.
TEST(TpcLinks3D, RapidsMatchDensePointsAndFeedsDoNotCount) {
  std::mt19937 rng(20240611);
  std::uniform_real_distribution<double> plan(0, 20), height(0, 6), size(-4, 4);
  std::vector<tpc::Triangle> tris;
  for (int i = 0; i < 24; ++i) {
    const tpc::Vec3 p{plan(rng), plan(rng), height(rng) - 1};
    tris.push_back({{p,
                     {p.x + size(rng), p.y + size(rng), p.z + height(rng) / 2},
                     {p.x + size(rng), p.y + size(rng), p.z + height(rng) / 2}}});
  }
  const tpc::Mesh part = tpc::makeMesh(tris);
  const tpc::Stock low{-100, -10, -10, 30, 30};
  const double a = 0.3, tol = 0.02, spacing = 0.005;
  const double slack = tol / 2;
  for (const ToolCase& t : kTools) {
    SCOPED_TRACE(t.name);
    std::vector<std::pair<tpc::MoveKind, tpc::Vec3>> points{{kRapid, {-5, -5, 20}}};
    for (int k = 0; k < 8; ++k) {
      const tpc::MoveKind kind = k % 2 ? kFeed : kRapid;
      const double z = kind == kFeed ? -1.0 : height(rng) + 1;
      points.push_back({kind, {plan(rng), plan(rng), z}});
    }
    const tpc::Path path = chain(t.tool, points);
    const tpc::Result r = tpc::checkLinks3D(path, part, low, {.allowance = a, .tol = tol});
    double dense = -kInf;
    for (const tpc::Move& m : path.moves) {
      if (m.kind != kRapid) continue;
      const double len = std::hypot(m.to.x - m.from.x, m.to.y - m.from.y, m.to.z - m.from.z);
      const int n = std::max(1, static_cast<int>(std::ceil(len / spacing)));
      for (int i = 0; i <= n; ++i) {
        const tpc::Vec3 p = tpc::movePoint(m, static_cast<double>(i) / n);
        dense = std::max(dense, tpc::penetrationPlain(part, t.tool, a, p));
      }
    }
    ASSERT_GT(dense, -t.tool.radius / 2);  // near enough for the worst to be measured exactly
    EXPECT_GE(r.worst, dense - slack - 1e-9) << r.message;
    EXPECT_LE(r.worst, dense + spacing / 2 + 1e-9) << r.message;
    EXPECT_EQ(r.ok, r.worst <= tol) << r.message;
    EXPECT_EQ(path.moves[static_cast<std::size_t>(r.line - 1)].kind, kRapid);
  }
}

}  // namespace
