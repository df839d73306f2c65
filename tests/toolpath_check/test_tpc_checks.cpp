// test_tpc_checks.cpp - the checks on synthetic toolpaths whose answers are known: a facing pass
// over a plate, the exact ring path of a rectangular pocket with a round island and its faulty
// variants, levels, links through stock, sanity, and passes with different tools.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <string>
#include <tuple>
#include <vector>

#include "toolpath_check_gtest.h"
#include "tpc_internal.h"

namespace {

// POF text of a synthetic path, numbers with 8 decimals.
class PofText {
 public:
  explicit PofText(const char* name = "test") : name_(name) { text_ = "0: cycle(" + name_ + ")\n"; }
  void rapid(double x, double y, double z) {
    move("oM", "x[/" + f(x) + "] y[/" + f(y) + "] z[/" + f(z) + "]");
  }
  void rapidZ(double z) { move("oM", "z[/" + f(z) + "]"); }
  void feed(double x, double y, double z) {
    move("oL", "x[/" + f(x) + "] y[/" + f(y) + "] z[/" + f(z) + "]");
  }
  void feedZ(double z) { move("oL", "z[/" + f(z) + "]"); }
  void arc(double x, double y, double cx, double cy, int turn) {
    move("oA", std::string("o[") + (turn < 0 ? '-' : '+') + "] x[/" + f(x) + "/" + f(cx) + "] y[/" +
                   f(y) + "/" + f(cy) + "]");
  }
  void raw(const std::string& line) { text_ += line + "\n"; }
  std::string done() const { return text_ + "0: cycleEnd(" + name_ + ")\n"; }

 private:
  static std::string f(double v) {
    char b[64];
    std::snprintf(b, sizeof b, "%.8f", v);
    return b;
  }
  void move(const char* kw, const std::string& fields) {
    text_ += std::string("31: ") + kw + "[" + std::to_string(++n_) + "]( " + fields + " )\n";
  }
  std::string name_, text_;
  long n_ = 0;
};

tpc::Path readText(const std::string& text, const tpc::Tool& tool) {
  tpc::Path path;
  const tpc::Status s = tpc::readPofText(path, text, tool, "synthetic");
  EXPECT_TRUE(s.ok) << s.message;
  return path;
}

tpc::Mesh plate(double x0, double y0, double x1, double y1, double z) {
  return tpc::makeMesh({tpc::Triangle{{{x0, y0, z}, {x1, y0, z}, {x1, y1, z}}},
                        tpc::Triangle{{{x0, y0, z}, {x1, y1, z}, {x0, y1, z}}}});
}

// ---- G3: a facing pass over a plate ------------------------------------------------------------

TEST(TpcChecks, FacingPassOverPlate) {
  const double a = 0.5;
  const tpc::Mesh part = plate(0, 0, 100, 100, 0);
  const tpc::Tool tools[] = {tpc::Tool::flat(5), tpc::Tool::ball(5), tpc::Tool::torus(5, 1)};
  for (const tpc::Tool& tool : tools) {
    for (const double z : {a, a - 0.05}) {
      SCOPED_TRACE(::testing::Message() << "corner " << tool.corner << " z " << z);
      PofText pof;
      pof.rapid(-10, 50, 20);
      pof.rapidZ(z);
      pof.feed(110, 50, z);
      pof.feed(110, 60, z);
      pof.feed(-10, 60, z);
      pof.rapidZ(20);
      const tpc::Path path = readText(pof.done(), tool);
      const tpc::Result r = tpc::checkNoGouge3D(path, part, {.allowance = a});
      if (z == a) {
        EXPECT_TRUE(tpc::passes(r));
        EXPECT_NEAR(r.worst, 0, 1e-9);
      } else {
        EXPECT_FALSE(tpc::passes(r));
        EXPECT_NEAR(r.worst, 0.05, 1e-6);
        EXPECT_NEAR(r.where.z, z, 1e-9);
        EXPECT_GE(r.line, 4);  // a feed line of the pass
      }
      EXPECT_EQ(r.worst,
                tpc::checkNoGouge3D(path, part, {.allowance = a, .plainScan = true}).worst);
    }
  }
}

// Each pass is checked with its own tool: the same point clears a small ball on a slope and
// gouges with a large one.
TEST(TpcChecks, PassesKeepTheirTools) {
  const double th = 30 * tpc::kPi / 180;
  const double t = std::tan(th);
  const tpc::Mesh slope =
      tpc::makeMesh({tpc::Triangle{{{-50, -50, -50 * t}, {50, -50, 50 * t}, {0, 60, 0}}}});
  // Over x = 1 the ball of radius R rests R (1 / cos - 1) above the plane: 0.155 for R 1, 0.464 for
  // R 3.
  const double z = t + 0.3;
  PofText pof;
  pof.rapid(1, 0, 10);
  pof.feed(1, 0, z);
  tpc::Path path;
  ASSERT_TRUE(tpc::passes(tpc::readPofText(path, pof.done(), tpc::Tool::ball(1), "small")));
  EXPECT_TRUE(tpc::passes(tpc::checkNoGouge3D(path, slope)));
  ASSERT_TRUE(tpc::passes(tpc::readPofText(path, pof.done(), tpc::Tool::ball(3), "large")));
  const tpc::Result r = tpc::checkNoGouge3D(path, slope);
  EXPECT_FALSE(tpc::passes(r));
  EXPECT_EQ(r.pass, 1);
  // The ball's centre lies (0.3 + R) cos 30 deg from the plane; the vertical measure reads the
  // depth upward.
  EXPECT_NEAR(r.worst, 3 - 3.3 * std::cos(th), 1e-9);
  EXPECT_NEAR(r.vertical, 3 * (1 / std::cos(th) - 1) - 0.3, 1e-9);
  EXPECT_NE(r.message.find("line 3 of large"), std::string::npos) << r.message;
}

// ---- 2D pocket: a 100 x 60 rectangle with a round island ---------------------------------------

constexpr double kR = 5;       // tool radius
constexpr double kStep = 4;    // stepover, <= R
constexpr double kFloor = -5;  // pocket floor
constexpr double kSafe = 5;    // rapid height, above every top (0)
constexpr double kIslandR = 10;
constexpr double kCx = 50, kCy = 30;

using Loop = std::vector<tpc::Elem2>;

// The tool-centre region is the rectangle [5, 95] x [5, 55] less the disk of radius 15. Its
// offsets inwards by t are exact: the rectangle shrunk by t less the disk grown by t; past
// t = 5 the disk cuts the rectangle into a left and a right piece bounded by lines and an arc.
std::vector<Loop> ringsAt(double t) {
  const double x0 = 5 + t, x1 = 95 - t, y0 = 5 + t, y1 = 55 - t, q = 15 + t;
  if (q < y1 - kCy)
    return {tpc::rectangle(x0, y0, x1, y1, 0, 0).elems, tpc::circle(kCx, kCy, q, 0, 0).elems};
  const double dx = std::sqrt(q * q - (y1 - kCy) * (y1 - kCy));
  return {
      {{kCx - dx, y1, x0, y1, 0, 0, 0},
       {x0, y1, x0, y0, 0, 0, 0},
       {x0, y0, kCx - dx, y0, 0, 0, 0},
       {kCx - dx, y0, kCx - dx, y1, -1, kCx, kCy}},
      {{kCx + dx, y0, x1, y0, 0, 0, 0},
       {x1, y0, x1, y1, 0, 0, 0},
       {x1, y1, kCx + dx, y1, 0, 0, 0},
       {kCx + dx, y1, kCx + dx, y0, -1, kCx, kCy}},
  };
}

// Every ring: rapid over its start, plunge, run it at the floor, retract.
void addRing(PofText& pof, const Loop& loop) {
  pof.rapid(loop[0].x0, loop[0].y0, kSafe);
  pof.rapidZ(1);
  pof.feedZ(kFloor);
  for (const tpc::Elem2& e : loop) {
    if (e.turn == 0) {
      pof.feed(e.x1, e.y1, kFloor);
    } else {
      pof.arc(e.x1, e.y1, e.cx, e.cy, e.turn);
    }
  }
  pof.rapidZ(kSafe);
}

enum class Variant {
  Exact,
  ShiftedIntoIsland,
  OuterRingDeleted,
  FeedLinkAcrossIsland,
  RapidOverIsland
};

std::string ringPath(Variant v) {
  PofText pof;
  for (double t = 0; t < 15; t += kStep) {
    for (Loop loop : ringsAt(t)) {
      const bool outerRing = t == 0 && loop.size() == 4;
      if (v == Variant::OuterRingDeleted && outerRing) continue;
      if (v == Variant::ShiftedIntoIsland && t == 0 && loop.size() == 1) {
        loop = tpc::circle(kCx, kCy, 15 - 0.01 * kR, 0, 0).elems;
      }
      addRing(pof, loop);
    }
  }
  if (v == Variant::FeedLinkAcrossIsland) {
    pof.rapid(20, 30, kSafe);
    pof.feedZ(kFloor);
    pof.feed(80, 30, kFloor);
    pof.rapidZ(kSafe);
  }
  if (v == Variant::RapidOverIsland) {
    pof.rapid(20, 30, kSafe);
    pof.rapidZ(kFloor);
    pof.rapid(80, 30, kFloor);
    pof.rapidZ(kSafe);
  }
  return pof.done();
}

tpc::Pocket pocket(bool centreContours) {
  tpc::Pocket p;
  if (centreContours) {
    p.outer = tpc::rectangle(5, 5, 95, 55, 0, 0);
    p.islands = {tpc::circle(kCx, kCy, kIslandR + kR, 0, 0)};
  } else {
    p.outer = tpc::rectangle(0, 0, 100, 60, 0, 0);
    p.islands = {tpc::circle(kCx, kCy, kIslandR, 0, 0)};
  }
  p.centreContours = centreContours;
  return p;
}

struct RingCase {
  const char* name;
  Variant variant;
  bool g2, c1, c2, links;
};

void PrintTo(const RingCase& c, std::ostream* os) { *os << c.name; }

const RingCase kRingCases[] = {
    {"Exact", Variant::Exact, true, true, true, true},
    {"ShiftedPointZeroOneRIntoIsland", Variant::ShiftedIntoIsland, false, true, true, false},
    {"OuterRingDeleted", Variant::OuterRingDeleted, true, false, false, true},
    {"FeedLinkAcrossIsland", Variant::FeedLinkAcrossIsland, false, true, true, false},
    {"RapidAtFloorOverIsland", Variant::RapidOverIsland, true, true, true, false},
};

// One variant of the ring path, against the pocket given by its walls or by the tool centre's
// limits.
class TpcRingPath : public ::testing::TestWithParam<std::tuple<RingCase, bool>> {};

TEST_P(TpcRingPath, Checks) {
  const auto& [c, centre] = GetParam();
  const tpc::Pocket pk = pocket(centre);
  const tpc::CoverOptions cover{.floorZ = kFloor, .step = kStep, .inset = 0};
  const tpc::Path path = readText(ringPath(c.variant), tpc::Tool::flat(kR));
  const tpc::Result g2 = tpc::checkNoGouge2D(path, pk);
  EXPECT_EQ(g2.ok, c.g2) << g2.message;
  // The buckets find exactly what the plain scan finds.
  EXPECT_EQ(g2.worst, tpc::checkNoGouge2D(path, pk, {.plainScan = true}).worst);
  const tpc::Result l = tpc::checkLinks2D(path, pk);
  EXPECT_EQ(l.ok, c.links) << l.message;
  if (c.variant == Variant::RapidOverIsland) {
    EXPECT_NEAR(l.worst, -kFloor, 1e-9);  // the highest top lies 5 above the rapid
  }
  if (c.variant == Variant::FeedLinkAcrossIsland || c.variant == Variant::RapidOverIsland) return;
  const tpc::Result c1 = tpc::checkCoverStep(path, pk, cover);
  const tpc::Result c2 = tpc::checkCoverClear(path, pk, cover);
  EXPECT_EQ(c1.ok, c.c1) << c1.message;
  EXPECT_EQ(c2.ok, c.c2) << c2.message;
  if (c.variant == Variant::Exact) {
    EXPECT_NEAR(g2.worst, 0, 1e-6);  // the outer ring runs exactly R from the wall
    EXPECT_EQ(c1.uncutArea, 0);
    EXPECT_EQ(c2.uncutArea, 0);
  }
  if (c.variant == Variant::ShiftedIntoIsland) {
    EXPECT_NEAR(g2.worst, 0.01 * kR, 1e-6);
  }
  if (c.variant == Variant::OuterRingDeleted) {
    // Uncut: the band between the rectangle [5, 95] x [5, 55] grown by R and the next ring's
    // rectangle [9, 91] x [9, 51] grown by R (equal corner arcs cancel), within one cell area
    // per cell on the band's two boundaries.
    const double expected = (90 * 50 + 2 * kR * 140) - (82 * 42 + 2 * kR * 124);
    const double cell = 0.05 * kR;
    const double boundaryCells =
        std::sqrt(2.0) * (2 * (90 + 50) + 2 * (82 + 42) + 4 * tpc::kPi * kR) / cell;
    EXPECT_NEAR(c2.uncutArea, expected, boundaryCells * cell * cell);
    EXPECT_EQ(c1.uncutArea, c2.uncutArea);
    // The corner of the centre region lies 4 sqrt 2 from the next ring's corner.
    EXPECT_NEAR(c1.worst, 4 * std::sqrt(2.0), 2 * cell);
  }
}

INSTANTIATE_TEST_SUITE_P(Variants, TpcRingPath,
                         ::testing::Combine(::testing::ValuesIn(kRingCases), ::testing::Bool()),
                         [](const ::testing::TestParamInfo<TpcRingPath::ParamType>& i) {
                           return std::string(std::get<0>(i.param).name) +
                                  (std::get<1>(i.param) ? "_ToolCentreContours" : "_WallContours");
                         });

// A meander leaves cusps at the walls where its rows turn on the other side: inset h (the
// meander's width) leaves them out of the rule; without it they fail it.
TEST(TpcChecks, CoverageInsetForMeander) {
  const tpc::Pocket pk{tpc::rectangle(0, 0, 40, 20, 0, 0), {}, false};
  // A flat end of radius 2: the tool-centre region is [2, 38] x [2, 18]; six rows 3.2 apart,
  // each joined to the next at the end where it stops.
  PofText pof;
  pof.rapid(2, 2, kSafe);
  pof.feedZ(-1);
  for (int k = 0; k < 6; ++k) {
    const double xEnd = k % 2 == 0 ? 38 : 2, y = 2 + 3.2 * k;
    pof.feed(xEnd, y, -1);
    if (k < 5) pof.feed(xEnd, y + 3.2, -1);
  }
  pof.rapidZ(kSafe);
  const tpc::Path path = readText(pof.done(), tpc::Tool::flat(2));
  const tpc::CoverOptions tight{.floorZ = -1, .step = 3.2, .inset = 0};
  const tpc::CoverOptions meander{.floorZ = -1, .step = 3.2, .inset = 3.2};
  EXPECT_TRUE(tpc::passes(tpc::checkCoverStep(path, pk, tight)));
  const tpc::Result c2 = tpc::checkCoverClear(path, pk, tight);
  EXPECT_FALSE(tpc::passes(c2));
  EXPECT_GT(c2.uncutArea, 0);
  // The worst cusp cell lies by the wall, half a step from two row ends: sqrt(2^2 + 1.6^2) - 2.
  EXPECT_NEAR(c2.worst, std::hypot(2.0, 1.6) - 2, 0.15);
  const tpc::Result c2m = tpc::checkCoverClear(path, pk, meander);
  EXPECT_TRUE(tpc::passes(c2m));
  EXPECT_EQ(c2m.uncutArea, c2.uncutArea);  // reported all the same
}

// ---- levels -----------------------------------------------------------------------------------

TEST(TpcChecks, Levels) {
  auto path = [](const std::vector<double>& zs) {
    PofText pof;
    for (double z : zs) {
      pof.rapid(0, 0, 10);
      pof.feed(0, 0, z);
      pof.feed(10, 0, z);
      pof.arc(10, 10, 10, 5, 1);
      pof.feed(0, 0, z - 0.5);  // a ramp is no level
      pof.rapidZ(10);
    }
    return readText(pof.done(), tpc::Tool::flat(2));
  };
  EXPECT_TRUE(tpc::passes(tpc::checkLevels(path({-1, -2, -3}), {-1, -2, -3})));
  EXPECT_TRUE(tpc::passes(tpc::checkLevels(path({-1.015, -2, -3}), {-1, -2, -3})));
  const tpc::Result missing = tpc::checkLevels(path({-1, -3}), {-1, -2, -3});
  EXPECT_FALSE(tpc::passes(missing));
  EXPECT_EQ(missing.missing, std::vector<double>{-2});
  EXPECT_TRUE(missing.extra.empty());
  const tpc::Result extra = tpc::checkLevels(path({-1, -2.5, -3}), {-1, -3});
  EXPECT_FALSE(tpc::passes(extra));
  EXPECT_EQ(extra.extra, std::vector<double>{-2.5});
  EXPECT_EQ(extra.worst, 1);
}

// ---- links in 3D: a stock box over a plate ----------------------------------------------------

TEST(TpcChecks, Links3DThroughStock) {
  const tpc::Mesh part = plate(0, 0, 50, 50, 0);
  const tpc::Stock box{10, 0, 0, 50, 50};
  const tpc::Tool tool = tpc::Tool::flat(3);
  struct Case {
    const char* name;
    double rapidZ, rapidY;
    bool cutFirst;
    double surface, allowance;
    bool ok;
    double worst;
  } cases[] = {
      {"rapid through the stock", 5, 25, false, 10, 0, false, 5},
      {"rapid above the stock", 12, 25, false, 10, 0, true, -2},
      {"rapid along the channel a feed cut", 5, 25, true, 10, 0, true, 0},
      {"rapid beside the channel", 5, 27, true, 10, 0, false, 5},
      {"rapid nearer the part than the allowance", 0.3, 25, false, 0, 0.5, false, 0.2},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    PofText pof;
    pof.rapid(-10, 25, 20);
    if (c.cutFirst) {
      pof.feed(-10, 25, 5);
      pof.feed(60, 25, 5);
      pof.rapid(60, c.rapidY, c.rapidZ);
      pof.rapid(-10, c.rapidY, c.rapidZ);
    } else {
      pof.rapid(-10, c.rapidY, c.rapidZ);
      pof.rapid(60, c.rapidY, c.rapidZ);
    }
    pof.rapidZ(20);
    const tpc::Path path = readText(pof.done(), tool);
    tpc::Stock stock = box;
    stock.surface = c.surface;
    const tpc::Result r = tpc::checkLinks3D(path, part, stock, {.allowance = c.allowance});
    EXPECT_EQ(r.ok, c.ok) << r.message;
    EXPECT_NEAR(r.worst, c.worst, 1e-9) << r.message;
  }
}

// ---- sanity -----------------------------------------------------------------------------------

TEST(TpcChecks, Sanity) {
  const std::string good =
      "0: cycle(t)\n31: oM( x[/0] y[/0] z[/1] )\n0: error(12,noted)\n0: cycleEnd(t)\n";
  struct Case {
    const char* name;
    std::string text;
    std::vector<long> forbidden;
    bool ok;
    long line;
  } cases[] = {
      {"clean", good, {4711}, true, 0},
      {"forbidden message", good, {4711, 12}, false, 3},
      {"not a number",
       "31: oM( x[/0] y[/0] z[/1] )\n31: oL( x[/nan] )\n0: cycleEnd(t)\n",
       {},
       false,
       2},
      {"arc off its circle",
       "31: oM( x[/0] y[/0] z[/1] )\n31: oA( o[+] x[/2/1] y[/1/0] )\n0: cycleEnd(t)\n",
       {},
       false,
       2},
      {"no cycle end", "0: cycle(t)\n31: oM( x[/0] y[/0] z[/1] )\n", {}, false, 0},
      {"moves after the cycle end", good + "31: oM( x[/1] )\n", {}, false, 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const tpc::Result r = tpc::checkSanity(readText(c.text, tpc::Tool::ball(1)), c.forbidden);
    EXPECT_EQ(r.ok, c.ok) << r.message;
    EXPECT_EQ(r.line, c.line) << r.message;
  }
  EXPECT_FALSE(tpc::checkSanity(tpc::Path{}).ok);
}

// Contours that do not close are refused with a message, not checked.
TEST(TpcChecks, OpenContourIsRefused) {
  tpc::Pocket pk = pocket(false);
  pk.islands[0].elems[0].x1 += 0.5;  // the circle no longer ends where it starts
  const tpc::Path path = readText(ringPath(Variant::Exact), tpc::Tool::flat(kR));
  const tpc::Result r = tpc::checkNoGouge2D(path, pk);
  EXPECT_FALSE(r.ok);
  EXPECT_NE(r.message.find("island 1 is not closed"), std::string::npos) << r.message;
}

}  // namespace
