// Open pockets cut in-process and proven by the independent checker: a block of stock around a
// part, cut in the stock modes from outside with rings that grow outward from the part and are
// clipped at the stock, and pockets with open sides entered from the open side.
#include <gtest/gtest.h>

#include <array>
#include <cmath>
#include <cstdio>
#include <string>
#include <vector>

#include "ccp_checked_support.h"
#include "pocket/ccp_record.h"
#include "pocket/engine_state.h"

using namespace ccpcheck;
using ccptest::pcf;
using qdtest::readFile;
using qdtest::writeFile;

namespace {

constexpr double kTool = 10;
constexpr double kR = kTool / 2;

// The stock (its contour carries the "stock" state) and the part inside it.
struct StockFixture {
  std::string name;
  std::vector<Point2D> stock;
  std::vector<std::vector<Point2D>> parts;
};

std::vector<std::pair<double, double>> pairs(const std::vector<Point2D>& p) {
  std::vector<std::pair<double, double>> out;
  for (const Point2D& q : p) out.push_back({q.x, q.y});
  return out;
}

// The polygon moved outward by d (a convex polygon, counter-clockwise): each side shifted.
std::vector<Point2D> grown(const std::vector<Point2D>& p, double d) {
  const std::size_t n = p.size();
  std::vector<Point2D> out;
  for (std::size_t i = 0; i < n; ++i) {
    const Point2D a = p[(i + n - 1) % n], b = p[i], c = p[(i + 1) % n];
    auto normal = [](Point2D u, Point2D v) {
      const double l = std::hypot(v.x - u.x, v.y - u.y);
      return Point2D{(v.y - u.y) / l, -(v.x - u.x) / l};
    };
    const Point2D n1 = normal(a, b), n2 = normal(b, c);
    const double k = 1.0 + n1.x * n2.x + n1.y * n2.y;
    out.push_back({b.x + d * (n1.x + n2.x) / k, b.y + d * (n1.y + n2.y) / k});
  }
  return out;
}

// Feed moves at the floor whose end lies outside the (axis-parallel rectangular) stock by more
// than half the tool radius.
int floorMovesOutside(const tpc::Path& path, const std::vector<Point2D>& stock, double z) {
  double x0 = stock[0].x, x1 = x0, y0 = stock[0].y, y1 = y0;
  for (const Point2D& p : stock) {
    x0 = std::min(x0, p.x), x1 = std::max(x1, p.x), y0 = std::min(y0, p.y), y1 = std::max(y1, p.y);
  }
  const double m = kR / 2;
  int n = 0;
  for (const tpc::Move& mv : path.moves) {
    if (mv.kind != tpc::MoveKind::Feed || std::fabs(mv.to.z - z) > 1e-6) continue;
    if (mv.to.x < x0 - m || mv.to.x > x1 + m || mv.to.y < y0 - m || mv.to.y > y1 + m) ++n;
  }
  return n;
}

class OpenPocketRunTest : public ccptest::CcpRunFixture {
 protected:
  int run(const std::string& xchg, std::vector<std::pair<std::string, std::string>> keys) {
    writeFile("job.qdx", xchg);
    keys.push_back({"geoSource", "job.qdx"});
    keys.push_back({"toolDiameter", "10"});
    keys.push_back({"precision", "8"});
    keys.push_back({"pofFilename", "out.pof"});
    writeFile("job.pcf", pcf(keys));
    std::remove("out.pof");
    return ccptest::runCycle(ccpCycleRecord(), "job");
  }
};

std::string stockText(const StockFixture& f) {
  std::string s = ccptest::xchgHeader() + ccptest::lineContour(f.stock, "  vstock( true )\n");
  for (const auto& part : f.parts) {
    s += ccptest::lineContour(part, "  vsideOfCompensation( leftOfContour )\n");
  }
  return s;
}

StockFixture blockAroundRectangle() {
  return {"block", ccptest::rectangle(0, 0, 100, 70), {ccptest::rectangle(30, 20, 70, 50, false)}};
}

StockFixture blockAroundTwoParts() {
  return {"twoParts",
          ccptest::rectangle(0, 0, 120, 70),
          {ccptest::rectangle(20, 20, 45, 50, false), ccptest::rectangle(70, 15, 100, 45, false)}};
}

}  // namespace

// A block of stock around a part, in the stock modes "true", "force", "stockOnly" and "multi":
// every cutting move keeps R from the part (G2 against the part contours, with the widened stock as
// the outer limit), the material between the part and the stock is cleared, and the links are
// clean.
TEST_F(OpenPocketRunTest, StockAroundPartIsClearedFromOutside) {
  for (const StockFixture& f : {blockAroundRectangle(), blockAroundTwoParts()}) {
    for (const char* mode : {"true", "force", "stockOnly", "multi"}) {
      for (double factor : {0.5, 0.8}) {
        const std::string label = f.name + " " + mode + " " + std::to_string(factor);
        ASSERT_EQ(run(stockText(f),
                      {{"infeedFactor", std::to_string(factor)}, {"depth", "5"}, {"stock", mode}}),
                  kRunOk)
            << label << "\n"
            << readFile("out.pof");
        // Only "stockOnly" cuts with the part's elements near the stock marked.
        EXPECT_EQ(pockEngine().pockStockOnly, std::string(mode) == "stockOnly" ? 1 : 0) << label;
        const tpc::Path path = readRun("out.pof", kR);
        tpc::Pocket limits;
        limits.outer = tpc::polygon(pairs(grown(f.stock, 2 * kR + 0.5)), 0, 0);
        for (const auto& part : f.parts) limits.islands.push_back(tpc::polygon(pairs(part), 0, 0));
        EXPECT_TRUE(tpc::passes(tpc::checkSanity(path, failureMessages()))) << label;
        EXPECT_TRUE(tpc::passes(tpc::checkNoGouge2D(path, limits))) << label;
        EXPECT_TRUE(tpc::passes(tpc::checkLevels(path, {-5}))) << label;
        // The material: the stock minus the part.
        tpc::Pocket material;
        material.outer = tpc::polygon(pairs(grown(f.stock, kR)), 0, 0);
        material.islands = limits.islands;
        tpc::CoverOptions cover;
        cover.floorZ = -5;
        cover.step = factor * kTool;
        cover.inset = kR;
        EXPECT_TRUE(tpc::passes(tpc::checkCoverClear(path, material, cover))) << label;
        // The tool works from outside: the centre runs beyond the stock's edge, which a pocket
        // bounded by the stock never does.
        EXPECT_GT(floorMovesOutside(path, f.stock, -5), 0) << label << "\n" << readFile("out.pof");
      }
    }
  }
}

namespace {
// A U pocket 0..80 x 0..50 whose top side is open: the variable "clip" marks it. The contour is
// where the tool may sweep; the material ends a tool diameter inside the open side, at y = 40.
std::string uPocketText() {
  return ccptest::xchgHeader() +
         "oContour(id[c]){\n"
         "  oL( x[0/80] y[0/0] )\n"
         "  oL( x[80/80] y[0/50] )\n"
         "  vclip( true )\n"
         "  oL( x[80/0] y[50/50] )\n"
         "  vclip( false )\n"
         "  oL( x[0/0] y[50/0] )\n"
         "}\n";
}
constexpr double kMaterialTop = 50 - kTool;
}  // namespace

// A U pocket under "stockOutin" and "openPocket": entered from its open side, the tool reaches the
// floor first with its centre at least R beyond the material (no plunge into material); every
// cutting move keeps R from the closed walls and the pocket is cleared.
TEST_F(OpenPocketRunTest, UPocketIsEnteredFromItsOpenSide) {
  for (const char* strategy : {"stockOutin", "openPocket"}) {
    ASSERT_EQ(run(uPocketText(), {{"infeedFactor", "0.5"}, {"depth", "5"}, {"strategy", strategy}}),
              kRunOk)
        << strategy << "\n"
        << readFile("out.pof");
    const tpc::Path path = readRun("out.pof", kR);
    EXPECT_TRUE(tpc::passes(tpc::checkSanity(path, failureMessages()))) << strategy;
    EXPECT_TRUE(tpc::passes(tpc::checkLevels(path, {-5}))) << strategy;
    // The closed walls, with the open side moved far out so that only the walls bind.
    tpc::Pocket walls;
    walls.outer = tpc::polygon({{0, 0}, {80, 0}, {80, 200}, {0, 200}}, 0, 0);
    EXPECT_TRUE(tpc::passes(tpc::checkNoGouge2D(path, walls))) << strategy;
    tpc::CoverOptions cover;
    cover.floorZ = -5;
    cover.step = 5;
    tpc::Pocket material;
    material.outer = tpc::polygon({{0, 0}, {80, 0}, {80, kMaterialTop}, {0, kMaterialTop}}, 0, 0);
    EXPECT_TRUE(tpc::passes(tpc::checkCoverClear(path, material, cover))) << strategy;
    bool seen = false;
    for (const tpc::Move& m : path.moves) {
      if (m.to.z > -5 + 1e-6) continue;
      EXPECT_GE(m.from.y, kMaterialTop + kR - 1e-6)
          << strategy << " first floor move from " << m.from.x << "," << m.from.y << "," << m.from.z
          << "\n"
          << readFile("out.pof");
      seen = true;
      break;
    }
    EXPECT_TRUE(seen) << strategy;
  }
}

namespace {
// A contour of lines through the points whose edges are open where open[i] is set (edge i runs
// from point i to point i + 1).
std::string taggedContour(const std::vector<Point2D>& p, const std::vector<bool>& open) {
  std::string s = "oContour(id[c]){\n";
  char line[256];
  bool clip = false;
  for (std::size_t i = 0; i < p.size(); ++i) {
    if (open[i] != clip) {
      s += open[i] ? "  vclip( true )\n" : "  vclip( false )\n";
      clip = open[i];
    }
    const Point2D& a = p[i];
    const Point2D& b = p[(i + 1) % p.size()];
    std::snprintf(line, sizeof line, "  oL( x[%.10g/%.10g] y[%.10g/%.10g] )\n", a.x, b.x, a.y, b.y);
    s += line;
  }
  return s + "}\n";
}

// Each closed edge as a thin island for the no-gouge check, inside a large outer contour.
tpc::Pocket closedWalls(const std::vector<Point2D>& p, const std::vector<bool>& open) {
  tpc::Pocket walls;
  walls.outer = tpc::polygon({{-1000, -1000}, {1000, -1000}, {1000, 1000}, {-1000, 1000}}, 0, 0);
  for (std::size_t i = 0; i < p.size(); ++i) {
    if (open[i]) continue;
    const Point2D a = p[i], b = p[(i + 1) % p.size()];
    const double l = std::hypot(b.x - a.x, b.y - a.y);
    const double nx = -(b.y - a.y) / l * 1e-4, ny = (b.x - a.x) / l * 1e-4;
    walls.islands.push_back(tpc::polygon(
        {{a.x + nx, a.y + ny}, {a.x - nx, a.y - ny}, {b.x - nx, b.y - ny}, {b.x + nx, b.y + ny}}, 0,
        0));
  }
  return walls;
}

std::vector<const tpc::Move*> floorFeeds(const tpc::Path& path, double z) {
  std::vector<const tpc::Move*> out;
  for (const tpc::Move& m : path.moves) {
    if (m.kind == tpc::MoveKind::Feed && std::fabs(m.from.z - z) < 1e-6 &&
        std::fabs(m.to.z - z) < 1e-6) {
      out.push_back(&m);
    }
  }
  return out;
}
}  // namespace

// A narrow, wholly open contour (60 x 8) is cleared by one straight cut through its middle, one
// unit beyond the contour at both ends, its end pulled back by R with "optimizeSingleCut".
TEST_F(OpenPocketRunTest, NarrowOpenContourGetsOneStraightCut) {
  const std::vector<Point2D> p{{0, 0}, {60, 0}, {60, 8}, {0, 8}};
  const std::string xchg = ccptest::xchgHeader() + taggedContour(p, {true, true, true, true});
  for (bool optimize : {true, false}) {
    ASSERT_EQ(run(xchg, {{"infeedFactor", "0.5"},
                         {"depth", "5"},
                         {"strategy", "stockOutin"},
                         {"allowSingleCut", "true"},
                         {"optimizeSingleCut", optimize ? "true" : "false"}}),
              kRunOk)
        << readFile("out.pof");
    const tpc::Path path = readRun("out.pof", kR);
    EXPECT_TRUE(tpc::passes(tpc::checkSanity(path, failureMessages())));
    const auto feeds = floorFeeds(path, -5);
    ASSERT_EQ(feeds.size(), 1u) << readFile("out.pof");
    const tpc::Move& m = *feeds[0];
    EXPECT_NEAR(m.from.y, 4, 1e-6);
    EXPECT_NEAR(m.to.y, 4, 1e-6);
    const double x0 = std::min(m.from.x, m.to.x), x1 = std::max(m.from.x, m.to.x);
    // The start lies one unit beyond the contour; the end one unit beyond, or R short of that.
    const double start = m.from.x, end = m.to.x;
    EXPECT_NEAR(std::fabs(start - 30), 31, 1e-6);
    EXPECT_NEAR(std::fabs(end - 30), optimize ? 26 : 31, 1e-6);
    EXPECT_NEAR(x1 - x0, optimize ? 57 : 62, 1e-6);
  }
}

// "noPlunge" on a level without open edges: the level is not cut (1507, code 3213).
TEST_F(OpenPocketRunTest, NoPlungeLeavesAClosedPocketUncut) {
  const Fixture f{"closed", rectangleShape(0, 0, 60, 40), {}};
  ASSERT_EQ(run(exchangeText({&f}), {{"infeedFactor", "0.5"},
                                     {"depth", "5"},
                                     {"strategy", "stockOutin"},
                                     {"noPlunge", "true"}}),
            kRunOk);
  const std::string pof = readFile("out.pof");
  EXPECT_NE(pof.find("0: error(1507)"), std::string::npos) << pof;
  EXPECT_TRUE(floorFeeds(readRun("out.pof", kR), -5).empty());
  // Without it the closed pocket is cut as a closed one on the reversed contours, and cleared
  // (the rings of the reversed contours grew out of the pocket before).
  for (const char* strategy : {"stockOutin", "openPocket"}) {
    ASSERT_EQ(
        run(exchangeText({&f}), {{"infeedFactor", "0.5"}, {"depth", "5"}, {"strategy", strategy}}),
        kRunOk);
    const tpc::Path path = readRun("out.pof", kR);
    EXPECT_TRUE(tpc::passes(tpc::checkNoGouge2D(path, checkPocket(f)))) << strategy;
    tpc::CoverOptions cover;
    cover.floorZ = -5;
    cover.step = 5;
    EXPECT_TRUE(tpc::passes(tpc::checkCoverClear(path, checkPocket(f), cover))) << strategy;
    EXPECT_TRUE(tpc::passes(tpc::checkLinks2D(path, checkPocket(f)))) << strategy;
  }
}

// A polygon of 24 sides, every other side open: the open ring has twelve closed runs, each cut as
// a path of its own with the open node related to its parents again for every run. The run ends
// cleanly and no cutting move comes nearer than R to a closed side.
TEST_F(OpenPocketRunTest, ManyClosedRunsOfAnOpenRing) {
  std::vector<Point2D> p;
  std::vector<bool> open;
  for (int k = 0; k < 24; ++k) {
    const double a = 2 * M_PI * k / 24;
    p.push_back({50 + 40 * std::cos(a), 50 + 40 * std::sin(a)});
    open.push_back(k % 2 == 1);
  }
  const std::string xchg = ccptest::xchgHeader() + taggedContour(p, open);
  for (const char* strategy : {"stockOutin", "openPocket"}) {
    ASSERT_EQ(run(xchg, {{"infeedFactor", "0.5"}, {"depth", "5"}, {"strategy", strategy}}), kRunOk)
        << strategy << "\n"
        << readFile("out.pof");
    const tpc::Path path = readRun("out.pof", kR);
    EXPECT_TRUE(tpc::passes(tpc::checkSanity(path, failureMessages()))) << strategy;
    EXPECT_FALSE(floorFeeds(path, -5).empty()) << strategy;
    EXPECT_TRUE(tpc::passes(tpc::checkNoGouge2D(path, closedWalls(p, open)))) << strategy;
  }
}

// Two runs in one process give the same toolpath: the switches the open-side strategies change
// and the stock shift start every run afresh.
TEST_F(OpenPocketRunTest, RepeatedRunsWriteTheSameToolpath) {
  auto moves = [](const tpc::Path& path) {
    std::vector<std::array<double, 6>> out;
    for (const tpc::Move& m : path.moves) {
      out.push_back({m.from.x, m.from.y, m.from.z, m.to.x, m.to.y, m.to.z});
    }
    return out;
  };
  struct Job {
    std::string xchg;
    std::vector<std::pair<std::string, std::string>> keys;
  };
  const Job jobs[] = {
      {uPocketText(), {{"infeedFactor", "0.5"}, {"depth", "5"}, {"strategy", "stockOutin"}}},
      {uPocketText(), {{"infeedFactor", "0.5"}, {"depth", "5"}, {"strategy", "openPocket"}}},
      {stockText(blockAroundRectangle()),
       {{"infeedFactor", "0.8"}, {"depth", "5"}, {"stock", "true"}}},
  };
  for (const Job& j : jobs) {
    ASSERT_EQ(run(j.xchg, j.keys), kRunOk);
    const auto first = moves(readRun("out.pof", kR));
    ASSERT_EQ(run(j.xchg, j.keys), kRunOk);
    const auto second = moves(readRun("out.pof", kR));
    EXPECT_EQ(first, second) << j.keys.back().second;
  }
}

// Stock alone in stock mode "force": the block is cleared from its own ring inward and no cutting
// move leaves the stock widened by the tool diameter.
TEST_F(OpenPocketRunTest, StockAloneIsCleared) {
  const StockFixture f{"stockAlone", ccptest::rectangle(0, 0, 80, 50), {}};
  ASSERT_EQ(run(stockText(f), {{"infeedFactor", "0.5"}, {"depth", "5"}, {"stock", "force"}}),
            kRunOk)
      << readFile("out.pof");
  const tpc::Path path = readRun("out.pof", kR);
  EXPECT_TRUE(tpc::passes(tpc::checkSanity(path, failureMessages())));
  EXPECT_TRUE(tpc::passes(tpc::checkLevels(path, {-5})));
  tpc::Pocket limits;
  limits.outer = tpc::polygon(pairs(grown(f.stock, 2 * kR + 0.5)), 0, 0);
  EXPECT_TRUE(tpc::passes(tpc::checkNoGouge2D(path, limits)));
  tpc::Pocket material;
  material.outer = tpc::polygon(pairs(grown(f.stock, kR)), 0, 0);
  tpc::CoverOptions cover;
  cover.floorZ = -5;
  cover.step = 5;
  cover.inset = kR;
  EXPECT_TRUE(tpc::passes(tpc::checkCoverClear(path, material, cover))) << readFile("out.pof");
}
