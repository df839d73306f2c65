// test_tpc_gouge3d.cpp - the gouge check on a mesh judged by the 3-D penetration: a shank that
// brushes a steep wall passes where the vertical measure reads the wall's height, a true gouge
// fails; over a bed of needles the samples bound every gap between them (dense points along each
// line, arc and helix as the oracle), and the buckets give the plain scan's answer to the bit.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <limits>
#include <random>
#include <vector>

#include "toolpath_check_gtest.h"
#include "tpc_internal.h"

namespace {

constexpr double kInf = std::numeric_limits<double>::infinity();

// A path of one pass with `tool` through the given moves (their lines numbered from 1).
tpc::Path pathOf(const tpc::Tool& tool, std::vector<tpc::Move> moves) {
  tpc::Path p;
  tpc::Pass pass;
  pass.source = "synthetic";
  pass.tool = tool;
  pass.endsWithCycleEnd = true;
  p.passes.push_back(pass);
  long line = 0;
  for (tpc::Move& m : moves) m.line = ++line;
  p.moves = std::move(moves);
  return p;
}

tpc::Move feed(tpc::Vec3 from, tpc::Vec3 to) {
  tpc::Move m;
  m.from = from;
  m.to = to;
  return m;
}

// A block x in [-20, 0] (at its top; its side leans out by `lean` from the bottom up), y in
// [-20, 20], z in [0, 10]: its side x = 0 at the top faces the cutter.
tpc::Mesh block(double lean) {
  const double xb = -10 * std::tan(lean);
  const tpc::Vec3 b0{xb, -20, 0}, b1{xb, 20, 0}, t0{0, -20, 10}, t1{0, 20, 10};
  const tpc::Vec3 c0{-20, -20, 10}, c1{-20, 20, 10}, d0{-20, -20, 0}, d1{-20, 20, 0};
  return tpc::makeMesh({tpc::Triangle{{b0, b1, t1}}, tpc::Triangle{{b0, t1, t0}},
                        tpc::Triangle{{t0, t1, c1}}, tpc::Triangle{{t0, c1, c0}},
                        tpc::Triangle{{d0, d1, b1}}, tpc::Triangle{{d0, b1, b0}}});
}

// A flat end mill runs along the block's side, its tip at z 2, `gap` short of the allowance from
// the side's top edge. The vertical measure reads every brush of that edge as a gouge of about the
// block's height above the tip; the penetration is the gap itself.
TEST(TpcGouge3D, ShankBesideASteepWall) {
  const double R = 5, a = 0.5, tol = 0.01;
  struct Case {
    const char* name;
    double lean, gap;
    bool gouges;
  };
  const Case cases[] = {
      {"vertical side, brushed", 0, 0.0005, false},
      {"vertical side, 0.05 into the allowance", 0, 0.05, true},
      {"side widening upwards, brushed", 5 * tpc::kPi / 180, 0.0005, false},
      {"side widening upwards, 0.05 into the allowance", 5 * tpc::kPi / 180, 0.05, true},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const double x = R + a - c.gap;
    const tpc::Path path = pathOf(tpc::Tool::flat(R), {feed({x, -15, 2}, {x, 15, 2})});
    const tpc::Result r = tpc::checkNoGouge3D(path, block(c.lean), {.allowance = a, .tol = tol});
    EXPECT_EQ(r.ok, !c.gouges) << r.message;
    EXPECT_NEAR(r.worst, c.gap, 1e-9);
    EXPECT_NEAR(r.where.x, x, 1e-12);
    EXPECT_EQ(r.line, 1);
    EXPECT_GT(r.vertical, 7.5);  // the drop onto the edge, high above the tip
    EXPECT_NE(r.message.find("penetration"), std::string::npos);
    EXPECT_NE(r.message.find("vertical"), std::string::npos);
  }
}

// A check that cannot run says why.
TEST(TpcGouge3D, RefusesWhatItCannotJudge) {
  const tpc::Path path = pathOf(tpc::Tool::ball(1), {feed({0, 0, 1}, {1, 0, 1})});
  struct Case {
    const char* name;
    tpc::Mesh part;
    double allowance, tol;
    const char* says;
  };
  const Case cases[] = {
      {"no triangles", tpc::makeMesh({}), 0, 0.01, "no triangles"},
      {"negative allowance", block(0), -0.1, 0.01, ">= 0"},
      {"tolerance not a number", block(0), 0, std::nan(""), ">= 0"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const tpc::Result r =
        tpc::checkNoGouge3D(path, c.part, {.allowance = c.allowance, .tol = c.tol});
    EXPECT_FALSE(r.ok);
    EXPECT_NE(r.message.find(std::string("G3 FAIL: ")), std::string::npos) << r.message;
    EXPECT_NE(r.message.find(c.says), std::string::npos) << r.message;
  }
}

// Thin needles on the plane z = 0: a cutter passing one reaches its sharp peak of penetration
// over a stretch far shorter than fixed sample steps.
tpc::Mesh needleBed(std::mt19937& rng, int n) {
  std::uniform_real_distribution<double> at(0, 20), height(1, 5);
  std::vector<tpc::Triangle> tris;
  for (int i = 0; i < n; ++i) {
    const double x = at(rng), y = at(rng), h = height(rng), s = 0.02;
    const tpc::Vec3 apex{x, y, h}, p{x - s, y - s, 0}, q{x + s, y - s, 0}, r{x, y + s, 0};
    tris.push_back({{p, q, apex}});
    tris.push_back({{q, r, apex}});
    tris.push_back({{r, p, apex}});
  }
  return tpc::makeMesh(tris);
}

// Random lines, arcs and helices over the needles, one move per path. Dense points along each
// move give its largest penetration from below (within half their step); the check's worst lies
// within that of it and at most tol / 2 below it. Fixed steps of min(R/8, 0.25) miss some peaks by
// more than that, which shows the samples were refined.
TEST(TpcGouge3D, SamplesBoundTheGapsBetweenThem) {
  std::mt19937 rng(17);
  const tpc::Mesh bed = needleBed(rng, 14);
  const tpc::MeshIndex index(bed);
  std::uniform_real_distribution<double> u(0, 1);
  const tpc::Tool tools[] = {tpc::Tool::flat(1.5), tpc::Tool::ball(1.5),
                             tpc::Tool::torus(1.5, 0.4)};
  constexpr double kTol = 0.01, kStep = 0.004;
  int judged = 0, missedByFixedSteps = 0;
  for (int i = 0; i < 18; ++i) {
    const tpc::Tool& tool = tools[i % 3];
    const double allowance = (i / 3) % 2 ? 0.3 : 0;
    tpc::Move m;
    const double z0 = 1 + 4 * u(rng), z1 = i % 4 == 3 ? 1 + 4 * u(rng) : z0;
    if (i % 2 == 0) {
      // A line through a needle's apex region.
      const tpc::Triangle& t = bed.triangles[static_cast<std::size_t>(3 * (i % 14))];
      const double ang = 2 * tpc::kPi * u(rng), off = 0.5 * u(rng), len = 6;
      const double cx = t.v[2].x + off * std::sin(ang), cy = t.v[2].y - off * std::cos(ang);
      m = feed({cx - len * std::cos(ang), cy - len * std::sin(ang), z0},
               {cx + len * std::cos(ang), cy + len * std::sin(ang), z1});
    } else {
      // An arc (a helix when its ends differ in z) about a point of the bed.
      m.cx = 4 + 12 * u(rng);
      m.cy = 4 + 12 * u(rng);
      const double rad = 2 + 3 * u(rng), a0 = 2 * tpc::kPi * u(rng);
      const double sweep = 1 + 4.5 * u(rng);
      m.turn = i % 3 == 0 ? -1 : 1;
      const double a1 = a0 + m.turn * sweep;
      m.from = {m.cx + rad * std::cos(a0), m.cy + rad * std::sin(a0), z0};
      m.to = {m.cx + rad * std::cos(a1), m.cy + rad * std::sin(a1), z1};
    }
    const tpc::Path path = pathOf(tool, {m});
    const tpc::Move& pm = path.moves[0];
    const double length = std::hypot(tpc::curveLength(tpc::moveCurve(pm)), pm.to.z - pm.from.z);
    const int n = static_cast<int>(std::ceil(length / kStep));
    // Each point's penetration over the needles that can reach -R/2 there: a triangle farther
    // than R + allowance + R/2 from the point in plan stays below that.
    auto penAt = [&](double f) {
      const tpc::Vec3 p = tpc::movePoint(pm, f);
      double v = -kInf;
      for (const tpc::Triangle& t : bed.triangles) {
        const double ex = std::max({std::min({t.v[0].x, t.v[1].x, t.v[2].x}) - p.x,
                                    p.x - std::max({t.v[0].x, t.v[1].x, t.v[2].x}), 0.0});
        const double ey = std::max({std::min({t.v[0].y, t.v[1].y, t.v[2].y}) - p.y,
                                    p.y - std::max({t.v[0].y, t.v[1].y, t.v[2].y}), 0.0});
        if (std::hypot(ex, ey) > 1.5 * tool.radius + allowance) continue;
        v = std::max(v, tpc::penetrationTriangle(t, tool, allowance, p));
      }
      return v;
    };
    double dense = -kInf;
    for (int k = 0; k <= n; ++k) dense = std::max(dense, penAt(static_cast<double>(k) / n));
    const int nFixed = static_cast<int>(std::ceil(length / tpc::sampleStep(tool)));
    double fixed = -kInf;
    for (int k = 0; k <= nFixed; ++k) {
      fixed = std::max(fixed, penAt(static_cast<double>(k) / nFixed));
    }
    if (dense < -tool.radius / 2) continue;  // clear of every needle: worst need not be exact
    ++judged;
    if (fixed < dense - kTol / 2) ++missedByFixedSteps;
    const tpc::Result r = tpc::checkNoGouge3D(path, index, {.allowance = allowance, .tol = kTol});
    SCOPED_TRACE(::testing::Message()
                 << "case " << i << " corner " << tool.corner << ": " << r.message);
    EXPECT_GE(r.worst, dense - kTol / 2 - 1e-9);
    EXPECT_LE(r.worst, dense + 0.5 * length / n + 1e-9);
    // The plain scan gives the same answer, to the bit.
    const tpc::Result plain =
        tpc::checkNoGouge3D(path, index, {.allowance = allowance, .tol = kTol, .plainScan = true});
    EXPECT_EQ(plain.worst, r.worst);
    EXPECT_EQ(plain.where.x, r.where.x);
    EXPECT_EQ(plain.where.y, r.where.y);
    EXPECT_EQ(plain.vertical, r.vertical);
  }
  EXPECT_GE(judged, 12);
  EXPECT_GE(missedByFixedSteps, 2);
}

}  // namespace
