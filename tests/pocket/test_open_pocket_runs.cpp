// Open pockets cut in-process and proven by the independent checker: a block of stock around a
// part, cut in the stock modes from outside with rings that grow outward from the part and are
// clipped at the stock, and pockets with open sides entered from the open side.
#include <gtest/gtest.h>

#include <cmath>
#include <string>
#include <vector>

#include "ccp_checked_support.h"
#include "pocket/ccp_record.h"

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

// A block of stock around a part, in the stock modes "true" and "force": every cutting move keeps
// R from the part (G2 against the part contours, with the widened stock as the outer limit),
// the material between the part and the stock is cleared, and the links are clean.
TEST_F(OpenPocketRunTest, StockAroundPartIsClearedFromOutside) {
  for (const StockFixture& f : {blockAroundRectangle(), blockAroundTwoParts()}) {
    for (const char* mode : {"true", "force"}) {
      for (double factor : {0.5, 0.8}) {
        const std::string label = f.name + " " + mode + " " + std::to_string(factor);
        ASSERT_EQ(run(stockText(f),
                      {{"infeedFactor", std::to_string(factor)}, {"depth", "5"}, {"stock", mode}}),
                  kRunOk)
            << label << "\n"
            << readFile("out.pof");
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
