// Rest machining in whole pocket runs, proven by the independent checker: a run with a large tool
// leaves its rest information file, a second run with a smaller tool cuts only what the first
// left, and the two paths together clear the pocket for the small tool (C2) without gouging (G2)
// or linking through material (L).
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <string>
#include <vector>

#include "ccp_checked_support.h"
#include "framework/phase_runner.h"
#include "pocket/ccp_params.h"
#include "pocket/ccp_record.h"

using namespace ccpcheck;
using qdtest::readFile;
using qdtest::writeFile;

namespace {

using Keys = std::vector<std::pair<std::string, std::string>>;

class RestCheckedTest : public ccptest::CcpRunFixture {
 protected:
  int run(const Fixture& f, double diameter, Keys keys, const std::string& pof) {
    writeFile("job.qdx", exchangeText({&f}));
    keys.push_back({"geoSource", "job.qdx"});
    keys.push_back({"toolDiameter", std::to_string(diameter)});
    keys.push_back({"precision", "8"});
    keys.push_back({"pofFilename", pof});
    keys.push_back({"depth", "5"});
    keys.push_back({"infeedFactor", "0.5"});
    writeFile("job.pcf", ccptest::pcf(keys));
    std::remove(pof.c_str());
    return ccptest::runCycle(ccpCycleRecord(), "job");
  }
};

Fixture squareFixture() { return {"square", rectangleShape(0, 0, 60, 60), {}}; }
Fixture lFixture() {
  return {"L", polygonShape({{0, 0}, {60, 0}, {60, 30}, {30, 30}, {30, 60}, {0, 60}}), {}};
}
Fixture islandFixture() {
  return {"squareIsland", rectangleShape(0, 0, 80, 80), {rectangleShape(35, 35, 45, 45)}};
}

// Feed moves of a path at the floor that lie farther than d from every corner of the pocket box.
int floorMovesAwayFromCorners(const tpc::Path& path, const std::vector<Point2D>& corners,
                              double d) {
  int n = 0;
  for (const tpc::Move& m : path.moves) {
    if (m.kind != tpc::MoveKind::Feed || std::fabs(m.to.z + 5) > 1e-6) continue;
    double nearest = 1e9;
    for (const Point2D& c : corners)
      nearest = std::min(nearest, std::hypot(m.to.x - c.x, m.to.y - c.y));
    if (nearest > d) ++n;
  }
  return n;
}

// The X and Y of every line of a rest file that has both.
std::vector<Point2D> rifPoints(const std::string& text) {
  std::vector<Point2D> points;
  std::size_t at = 0;
  while (at < text.size()) {
    std::size_t end = text.find('\n', at);
    if (end == std::string::npos) end = text.size();
    const std::string line = text.substr(at, end - at);
    const std::size_t x = line.find('X');
    const std::size_t y = line.find('Y');
    if (x != std::string::npos && y != std::string::npos) {
      points.push_back({std::stod(line.substr(x + 1)), std::stod(line.substr(y + 1))});
    }
    at = end + 1;
  }
  return points;
}

// Distance from a point to the nearest wall of a pocket of straight walls.
double wallDistance(const Fixture& f, const Point2D& p) {
  double best = 1e9;
  auto walls = [&](const tpc::Contour& c) {
    for (const tpc::Elem2& e : c.elems) {
      const double dx = e.x1 - e.x0;
      const double dy = e.y1 - e.y0;
      double t = ((p.x - e.x0) * dx + (p.y - e.y0) * dy) / (dx * dx + dy * dy);
      t = std::clamp(t, 0.0, 1.0);
      best = std::min(best, std::hypot(p.x - e.x0 - t * dx, p.y - e.y0 - t * dy));
    }
  };
  walls(f.outer.check);
  for (const Shape& i : f.islands) walls(i.check);
  return best;
}

}  // namespace

// The big tool writes its rest file; the small tool evaluates it per pocket group. Together they
// clear the pocket for the small tool, and the small tool stays near the corners.
TEST_F(RestCheckedTest, SmallToolClearsWhatTheBigToolLeft) {
  const Fixture fixtures[] = {squareFixture(), lFixture(), islandFixture()};
  for (const Fixture& f : fixtures) {
    ASSERT_EQ(run(f, 20, {{"generateRif", "true"}, {"rifSource", "job.rif"}}, "big.pof"), kRunOk)
        << f.name << "\n"
        << readFile("big.pof");
    ASSERT_NE(readFile("job.rif").find("G191 R10.0000"), std::string::npos) << readFile("job.rif");
    // Every point of the file is a tool centre of the big tool's first rings: 10 from the walls.
    const std::vector<Point2D> points = rifPoints(readFile("job.rif"));
    ASSERT_GT(points.size(), 4u) << f.name;
    for (const Point2D& p : points) {
      EXPECT_NEAR(wallDistance(f, p), 10, 2e-4) << f.name << " " << p.x << " " << p.y;
    }
    ASSERT_EQ(run(f, 6, {{"evaluateRif", "true"}, {"rifSource", "job.rif"}}, "small.pof"), kRunOk)
        << f.name << "\n"
        << readFile("small.pof");
    tpc::Path path;
    ASSERT_TRUE(tpc::passes(tpc::readPof(path, "big.pof", tpc::Tool::flat(10))));
    const std::size_t bigMoves = path.moves.size();
    ASSERT_TRUE(tpc::passes(tpc::readPof(path, "small.pof", tpc::Tool::flat(3))));
    ASSERT_GT(path.moves.size(), bigMoves) << f.name << ": the small tool cut nothing";
    const tpc::Pocket pocket = checkPocket(f);
    tpc::CoverOptions cover;
    cover.floorZ = -5;
    cover.step = 3;
    EXPECT_TRUE(tpc::passes(tpc::checkSanity(path, failureMessages()))) << f.name;
    EXPECT_TRUE(tpc::passes(tpc::checkNoGouge2D(path, pocket))) << f.name;
    EXPECT_TRUE(tpc::passes(tpc::checkLinks2D(path, pocket))) << f.name;
    EXPECT_TRUE(tpc::passes(tpc::checkCoverClear(path, pocket, cover))) << f.name;
  }
}

// Without the small tool's rest path the union fails C2: the oracle sees the corners.
TEST_F(RestCheckedTest, BigToolAloneLeavesTheCorners) {
  const Fixture f = squareFixture();
  ASSERT_EQ(run(f, 20, {}, "big.pof"), kRunOk);
  tpc::Path path;
  ASSERT_TRUE(tpc::passes(tpc::readPof(path, "big.pof", tpc::Tool::flat(10))));
  // The same path once more as a small tool's: the clearable region becomes the small tool's.
  ASSERT_TRUE(tpc::passes(tpc::readPof(path, "big.pof", tpc::Tool::flat(3))));
  tpc::CoverOptions cover;
  cover.floorZ = -5;
  cover.step = 3;
  EXPECT_FALSE(tpc::passes(tpc::checkCoverClear(path, checkPocket(f), cover)));
}

// A reference diameter instead of a file, with and without pocket grouping: the small tool cuts
// only at the corners, and with the reference tool's own path the pocket is clear.
TEST_F(RestCheckedTest, ReferenceDiameterInBothRestModes) {
  const Fixture f = squareFixture();
  const std::vector<Point2D> corners = {{0, 0}, {60, 0}, {60, 60}, {0, 60}};
  ASSERT_EQ(run(f, 20, {}, "big.pof"), kRunOk);
  for (const char* grouping : {"full", "none"}) {
    for (const char* steps : {"", "pocket"}) {
      const std::string label = std::string(grouping) + " " + steps;
      Keys keys = {{"referenceDiameter", "20"}, {"oriAutomatic", grouping}};
      if (steps[0] != '\0') keys.push_back({"stepStrategy", steps});
      ASSERT_EQ(run(f, 6, keys, "small.pof"), kRunOk) << label << "\n" << readFile("small.pof");
      tpc::Path small;
      ASSERT_TRUE(tpc::passes(tpc::readPof(small, "small.pof", tpc::Tool::flat(3))));
      // Every floor move of the rest path stays within the reference tool's reach of a corner.
      EXPECT_EQ(floorMovesAwayFromCorners(small, corners, 2 * 10 * std::sqrt(2.0)), 0) << label;
      tpc::Path path;
      ASSERT_TRUE(tpc::passes(tpc::readPof(path, "big.pof", tpc::Tool::flat(10))));
      ASSERT_TRUE(tpc::passes(tpc::readPof(path, "small.pof", tpc::Tool::flat(3))));
      tpc::CoverOptions cover;
      cover.floorZ = -5;
      cover.step = 3;
      const tpc::Pocket pocket = checkPocket(f);
      EXPECT_TRUE(tpc::passes(tpc::checkSanity(path, failureMessages()))) << label;
      EXPECT_TRUE(tpc::passes(tpc::checkNoGouge2D(path, pocket))) << label;
      EXPECT_TRUE(tpc::passes(tpc::checkLinks2D(path, pocket))) << label;
      EXPECT_TRUE(tpc::passes(tpc::checkCoverClear(path, pocket, cover))) << label;
    }
  }
}

// A small tool works in scaled lengths: the reference radius read from the file is in output
// units and is scaled like every other length, so the rest regions sit where the big tool left
// material.
TEST_F(RestCheckedTest, ScaledSmallTools) {
  const Fixture f{"small square", rectangleShape(0, 0, 6, 6), {}};
  ASSERT_EQ(run(f, 2, {{"generateRif", "true"}, {"rifSource", "job.rif"}}, "big.pof"), kRunOk)
      << readFile("big.pof");
  ASSERT_NE(readFile("job.rif").find("G191 R1.0000"), std::string::npos) << readFile("job.rif");
  ASSERT_EQ(run(f, 0.6, {{"evaluateRif", "true"}, {"rifSource", "job.rif"}}, "small.pof"), kRunOk)
      << readFile("small.pof");
  tpc::Path path;
  ASSERT_TRUE(tpc::passes(tpc::readPof(path, "big.pof", tpc::Tool::flat(1))));
  const std::size_t bigMoves = path.moves.size();
  ASSERT_TRUE(tpc::passes(tpc::readPof(path, "small.pof", tpc::Tool::flat(0.3))));
  ASSERT_GT(path.moves.size(), bigMoves);
  const tpc::Pocket pocket = checkPocket(f);
  tpc::CoverOptions cover;
  cover.floorZ = -5;
  cover.step = 0.3;
  EXPECT_TRUE(tpc::passes(tpc::checkSanity(path, failureMessages())));
  EXPECT_TRUE(tpc::passes(tpc::checkNoGouge2D(path, pocket)));
  EXPECT_TRUE(tpc::passes(tpc::checkLinks2D(path, pocket)));
  EXPECT_TRUE(tpc::passes(tpc::checkCoverClear(path, pocket, cover)));
}

// A reference tool hardly larger than the tool (by less than the rest tolerance) leaves nothing
// to machine: message 1517 (code 3253) and no cutting move. A region wall shorter than the least
// length is skipped with 1518 (code 3255).
TEST_F(RestCheckedTest, NothingToMachine) {
  const Fixture f = squareFixture();
  struct Case {
    const char* name;
    Keys keys;
    const char* message;
  };
  const Case cases[] = {
      {"reference not larger", {{"referenceDiameter", "6.05"}}, "0: error(1517)"},
      {"regions too short",
       {{"referenceDiameter", "20"}, {"rifMinLength", "100"}},
       "0: error(1518)"},
  };
  for (const Case& c : cases) {
    ASSERT_EQ(run(f, 6, c.keys, "small.pof"), kRunOk) << c.name;
    const std::string pof = readFile("small.pof");
    EXPECT_NE(pof.find(c.message), std::string::npos) << c.name << "\n" << pof;
    tpc::Path path;
    ASSERT_TRUE(tpc::passes(tpc::readPof(path, "small.pof", tpc::Tool::flat(3))));
    EXPECT_EQ(feedMovesAt(path, -5), 0) << c.name;
  }
}

// Nested runs keep what earlier runs read. A rest run switches rest evaluation on for its own
// passes only: a plain run after it in the same enclosing run pockets the whole square again,
// without any ring refused by the last rest region's reference circle.
TEST_F(RestCheckedTest, PlainNestedRunAfterARestRun) {
  const Fixture f = squareFixture();
  ccpSetNested(1);
  ASSERT_EQ(run(f, 6, {{"referenceDiameter", "20"}}, "small.pof"), kRunOk) << readFile("small.pof");
  // The rest switches are back as the run read them: no evaluation, no generation, no layer name.
  EXPECT_EQ(pockCfg().evalRif, 0);
  EXPECT_EQ(pockCfg().genRif, 0);
  EXPECT_STREQ(pockCfg().rifName, "");
  ASSERT_EQ(run(f, 6, {{"useReferenceDiameter", "false"}}, "plain.pof"), kRunOk)
      << readFile("plain.pof");
  ccpSetNested(0);
  tpc::Path path;
  ASSERT_TRUE(tpc::passes(tpc::readPof(path, "plain.pof", tpc::Tool::flat(3))));
  tpc::CoverOptions cover;
  cover.floorZ = -5;
  cover.step = 3;
  const tpc::Pocket pocket = checkPocket(f);
  EXPECT_TRUE(tpc::passes(tpc::checkSanity(path, failureMessages())));
  EXPECT_TRUE(tpc::passes(tpc::checkNoGouge2D(path, pocket)));
  EXPECT_TRUE(tpc::passes(tpc::checkCoverClear(path, pocket, cover)));
}
