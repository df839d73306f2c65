// test_tpc_gouge3d.cpp - the gouge check on a mesh judged by the 3-D penetration: a shank that
// brushes a steep wall passes where the vertical measure reads the wall's height, a true gouge
// fails; over a bed of needles and around a drafted faceted island the samples bound every gap
// between them (dense points along each line, arc and helix as the oracle), and the buckets give
// the plain scan's answer to the bit; an arc past a fin's end needs its bend, a bump on a wall the
// cutter rests on is found between samples, and a bound that cannot be proven fails the check.
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

// The penetration at p over the triangles that can reach -R/2 there (a triangle farther than
// R + allowance + R/2 from p in plan stays below that); -infinity when none can.
double penetrationNear(const tpc::Mesh& mesh, const tpc::Tool& tool, double allowance,
                       const tpc::Vec3& p) {
  double v = -kInf;
  for (const tpc::Triangle& t : mesh.triangles) {
    const double ex = std::max({std::min({t.v[0].x, t.v[1].x, t.v[2].x}) - p.x,
                                p.x - std::max({t.v[0].x, t.v[1].x, t.v[2].x}), 0.0});
    const double ey = std::max({std::min({t.v[0].y, t.v[1].y, t.v[2].y}) - p.y,
                                p.y - std::max({t.v[0].y, t.v[1].y, t.v[2].y}), 0.0});
    if (std::hypot(ex, ey) > 1.5 * tool.radius + allowance) continue;
    v = std::max(v, tpc::penetrationTriangle(t, tool, allowance, p));
  }
  return v;
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
    auto penAt = [&](double f) {
      return penetrationNear(bed, tool, allowance, tpc::movePoint(pm, f));
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

// A round island drafted like a pocket's: radius r at its top z, widening by tan w per unit down
// to z lo, as n facets whose corners lie on the cone, with a lid.
struct DraftedIsland {
  double r, top, lo, tanW;
  int n;
  double radiusAt(double z) const { return r + (top - z) * tanW; }
  tpc::Mesh mesh() const {
    std::vector<tpc::Triangle> tris;
    auto at = [&](int k, double z) {
      const double a = 2 * tpc::kPi * k / n;
      return tpc::Vec3{radiusAt(z) * std::cos(a), radiusAt(z) * std::sin(a), z};
    };
    for (int k = 0; k < n; ++k) {
      const tpc::Vec3 a = at(k, top), b = at(k + 1, top), c = at(k + 1, lo), d = at(k, lo);
      tris.push_back({{a, b, c}});
      tris.push_back({{a, c, d}});
      tris.push_back({{tpc::Vec3{0, 0, top}, a, b}});
    }
    return tpc::makeMesh(tris);
  }
  // The axis distance at which a cutter with its tip at z touches the cone: the rim of its core
  // (radius R - corner, corner above the tip) keeps corner + allowance from the cone's surface.
  double touching(const tpc::Tool& tool, double allowance, double z) const {
    const double cosW = 1 / std::sqrt(1 + tanW * tanW);
    return radiusAt(z + tool.corner) + tool.radius - tool.corner + (tool.corner + allowance) / cosW;
  }
};

// Rings around a drafted island, the way a pocket's rings go round it: arcs and helices held off
// the cone by a little clearance, resting on it, and cutting into it by less and by more than
// tol, and a straight move passing it. Dense points give each move's largest penetration from
// below, within half their spacing: a move that goes deeper than tol fails, one that stays well
// within passes, and the worst lies within the slack below the oracle's. Along an arc every
// facet's tangent rises as the path turns towards it, so these are the moves the samples must
// follow along the arc itself.
TEST(TpcGouge3D, RingsAroundADraftedIsland) {
  const DraftedIsland island{3, 4, -6, std::tan(10 * tpc::kPi / 180), 90};
  const tpc::Mesh part = island.mesh();
  const tpc::MeshIndex index(part);
  constexpr double kTol = 1e-3, kSlack = kTol / 2, kSpacing = 1e-3;
  const double cosW = 1 / std::sqrt(1 + island.tanW * island.tanW);
  struct Case {
    const char* name;
    tpc::Tool tool;
    double allowance;
    double into;  // how far the ring is moved into the cone, across its surface
    int shape;    // 0 an arc, 1 a helix climbing 0.4, 2 a straight move
  };
  const tpc::Tool flat = tpc::Tool::flat(2), ball = tpc::Tool::ball(2);
  const tpc::Tool torus = tpc::Tool::torus(2, 0.5);
  const Case cases[] = {
      {"flat, arc resting on the cone", flat, 0, 0, 0},
      {"flat, arc 3 tol into it", flat, 0, 3 * kTol, 0},
      {"flat, helix 0.3 tol into it", flat, 0, 0.3 * kTol, 1},
      {"flat, arc 0.5 tol off it", flat, 0, -0.5 * kTol, 0},
      {"flat, line resting on it", flat, 0, 0, 2},
      {"ball with allowance, arc resting on the cone", ball, 0.3, 0, 0},
      {"ball with allowance, helix 3 tol into it", ball, 0.3, 3 * kTol, 1},
      {"ball, arc 0.2 off it", ball, 0, -0.2, 0},
      {"torus, arc 0.3 tol into the cone", torus, 0, 0.3 * kTol, 0},
      {"torus with allowance, arc 3 tol into it", torus, 0.3, 3 * kTol, 0},
      {"torus with allowance, line 3 tol into it", torus, 0.3, 3 * kTol, 2},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    // A helix climbs 0.4 from z0, where it lies `into` the cone: the cone narrows above.
    const double z0 = c.shape == 1 ? -0.2 : 0.0, z1 = c.shape == 1 ? 0.2 : 0.0;
    const double rho = island.touching(c.tool, c.allowance, z0) - c.into / cosW;
    tpc::Move m;
    if (c.shape == 2) {
      m = feed({rho, -1.2, z0}, {rho, 1.3, z1});
    } else {
      const double a0 = 0.3, a1 = a0 + 0.5;
      m.turn = 1;
      m.from = {rho * std::cos(a0), rho * std::sin(a0), z0};
      m.to = {rho * std::cos(a1), rho * std::sin(a1), z1};
    }
    const tpc::Path path = pathOf(c.tool, {m});
    const tpc::Move& pm = path.moves[0];
    const double length = std::hypot(tpc::curveLength(tpc::moveCurve(pm)), pm.to.z - pm.from.z);
    const int n = static_cast<int>(std::ceil(length / kSpacing));
    double dense = -kInf;
    for (int k = 0; k <= n; ++k) {
      dense = std::max(dense, penetrationNear(part, c.tool, c.allowance,
                                              tpc::movePoint(pm, static_cast<double>(k) / n)));
    }
    const double hidden = 0.5 * length / n;  // how far above dense the true largest can lie
    const tpc::Result r = tpc::checkNoGouge3D(path, index, {.allowance = c.allowance, .tol = kTol});
    SCOPED_TRACE(::testing::Message() << "dense " << dense << ": " << r.message);
    if (dense > kTol) {
      EXPECT_FALSE(r.ok);
    }
    if (dense + hidden < kTol - kSlack) {
      EXPECT_TRUE(r.ok);
    }
    EXPECT_GE(r.worst, dense - kSlack - 1e-12);
    EXPECT_LE(r.worst, dense + hidden + 1e-12);
    const tpc::Result plain = tpc::checkNoGouge3D(
        path, index, {.allowance = c.allowance, .tol = kTol, .plainScan = true});
    EXPECT_EQ(plain.worst, r.worst);
    EXPECT_EQ(plain.ok, r.ok);
  }
}

// An arc past the end of a fin (one vertical triangle in the plane x = d, its end edge at
// y = w, 20 degrees on from the arc's start): from the start, square to the fin, the penetration
// rises faster than its tangent there says, as the arc turns towards the fin, up to its highest
// where the cutter points at the end edge: R - (rho - |(d, w)|) for a flat end mill on a circle
// of radius rho about the origin. The path first rests on a plate elsewhere, so the target sits
// at the tolerance: far below it at the arc's start and past the fin's end, the samples leave
// that rise to the arc's bend.
TEST(TpcGouge3D, ArcPastTheEndOfAFin) {
  const double d = 30, w = d * std::tan(20 * tpc::kPi / 180), R = 2, tol = 1e-3;
  const tpc::Vec3 p0{-60, -10, 0}, p1{-40, -10, 0}, p2{-40, 10, 0}, p3{-60, 10, 0};
  const tpc::Mesh part = tpc::makeMesh({tpc::Triangle{{{d, -w, -5}, {d, w, -5}, {d, w, 5}}},
                                        tpc::Triangle{{p0, p1, p2}}, tpc::Triangle{{p0, p2, p3}}});
  for (const double atEnd : {2 * tol, 0.5 * tol, -tol}) {
    for (const double sweep : {tpc::kPi / 2, 2 * tpc::kPi}) {
      SCOPED_TRACE(::testing::Message() << "penetration " << atEnd << " sweep " << sweep);
      const double rho = std::hypot(d, w) + R - atEnd;
      tpc::Move m;
      m.turn = 1;
      m.from = {rho, 0, 0};
      m.to = {rho * std::cos(sweep), rho * std::sin(sweep), 0};
      const tpc::Path path = pathOf(tpc::Tool::flat(R), {feed({-50, 0, 0}, {-50, 1, 0}), m});
      const tpc::Result r = tpc::checkNoGouge3D(path, part, {.tol = tol});
      EXPECT_EQ(r.ok, atEnd <= tol) << r.message;
      EXPECT_LE(r.worst, std::max(atEnd, 0.0) + 1e-12) << r.message;
      EXPECT_GE(r.worst, atEnd - tol / 2) << r.message;
    }
  }
}

// A flat end mill resting on a wall along a long move, its shank's side flush with the wall: a
// small pyramid on the wall halfway along reaches into the cutter by its height, between
// samples the wall's own tangents cannot see it from. At tol 0 resting on the wall cannot be
// shown clear between samples: the check fails and says so, and ends.
TEST(TpcGouge3D, BumpOnAWallTheCutterRestsOn) {
  const double R = 5, x = 40;
  struct Case {
    const char* name;
    double bump;  // height of the pyramid, 0 none
    double tol;
    bool ok;
  };
  const Case cases[] = {
      {"plain wall", 0, 1e-4, true},
      {"bump of half the tolerance", 0.5e-4, 1e-4, true},
      {"bump of twice the tolerance", 2e-4, 1e-4, false},
      {"plain wall at tol 0", 0, 0, false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const tpc::Vec3 a{x + R, -40, -20}, b{x + R, 40, -20}, d{x + R, 40, 20}, e{x + R, -40, 20};
    std::vector<tpc::Triangle> tris{{{a, b, d}}, {{a, d, e}}};
    if (c.bump > 0) {
      // The apex stands off the wall at y 0.3, z 1; the base is a small square on the wall.
      const tpc::Vec3 apex{x + R - c.bump, 0.3, 1};
      const tpc::Vec3 q0{x + R, 0.2, 0.9}, q1{x + R, 0.4, 0.9}, q2{x + R, 0.4, 1.1};
      const tpc::Vec3 q3{x + R, 0.2, 1.1};
      tris.push_back({{q0, q1, apex}});
      tris.push_back({{q1, q2, apex}});
      tris.push_back({{q2, q3, apex}});
      tris.push_back({{q3, q0, apex}});
    }
    const tpc::Path path =
        pathOf(tpc::Tool::flat(R), {feed({x, -30, 0}, {x, 10, 0}), feed({x, 10, 0}, {x, 30, 0})});
    const tpc::Result r = tpc::checkNoGouge3D(path, tpc::makeMesh(tris), {.tol = c.tol});
    EXPECT_EQ(r.ok, c.ok) << r.message;
    EXPECT_GE(r.worst, c.bump - std::max(c.tol / 2, 1e-6) - 1e-12) << r.message;
    EXPECT_LE(r.worst, c.bump + 1e-12) << r.message;
    if (c.tol == 0) {
      EXPECT_NE(r.message.find("between samples"), std::string::npos) << r.message;
    }
  }
}

}  // namespace
