// Whole contour-parallel pocket runs in-process, every toolpath proven by the independent checker:
// no gouge (G2), every point of the tool-centre region within a step of the path (C1), full
// clearing at a stepover of at most the tool radius (C2), links and rapids (L) and the levels, for
// a table of pockets under the three ring strategies, two stepovers and with and without the
// tangent links' infeed radius.
#include <gtest/gtest.h>

#include <cmath>
#include <string>
#include <vector>

#include "ccp_checked_support.h"
#include "framework/phase_runner.h"
#include "pocket/ccp_record.h"
#include "pocket/engine_state.h"
#include "pocket/layer_store.h"
#include "pocket/pock_level.h"

using namespace ccpcheck;
using ccptest::pcf;
using qdtest::readFile;
using qdtest::writeFile;

namespace {

constexpr double kTool = 10;  // tool diameter
constexpr double kR = kTool / 2;

class CcpCheckedTest : public ccptest::CcpRunFixture {
 protected:
  // Runs the cycle on the pockets with the keys; returns the run code.
  int run(const std::vector<const Fixture*>& pockets,
          std::vector<std::pair<std::string, std::string>> keys) {
    writeFile("job.qdx", exchangeText(pockets));
    keys.push_back({"geoSource", "job.qdx"});
    keys.push_back({"toolDiameter", "10"});
    keys.push_back({"precision", "8"});
    keys.push_back({"pofFilename", "out.pof"});
    writeFile("job.pcf", pcf(keys));
    std::remove("out.pof");
    return ccptest::runCycle(ccpCycleRecord(), "job");
  }
};

Fixture rectangleFixture() { return {"rectangle", rectangleShape(0, 0, 60, 40), {}}; }
Fixture islandFixture() {
  return {"rectangleWithIsland", rectangleShape(0, 0, 80, 60), {circleShape(40, 30, 8)}};
}
Fixture circleFixture() { return {"circle", circleShape(30, 30, 25), {}}; }
Fixture lFixture() {
  return {"L", polygonShape({{0, 0}, {60, 0}, {60, 25}, {25, 25}, {25, 60}, {0, 60}}), {}};
}
Fixture mergingIslandsFixture() {
  return {"mergingIslands",
          rectangleShape(0, 0, 100, 60),
          {circleShape(40, 30, 6), circleShape(56, 30, 6)}};
}
Fixture starFixture() {
  return {"starWithIslands",
          polygonShape(starPoints(50, 50, 48, 30, 7)),
          {circleShape(40, 50, 5), rectangleShape(55, 40, 63, 58)}};
}

struct Strategy {
  const char* name;
  const char* value;  // empty: the default
};
constexpr Strategy kStrategies[] = {
    {"default", ""}, {"outsideIn", "outsideIn"}, {"outsideInDirect", "outsideInDirect"}};

}  // namespace

// Every pocket of the table, every strategy, stepovers 0.4 and 0.5 D, infeed radius 0 and 1: the
// run succeeds and the checker proves the path.
TEST_F(CcpCheckedTest, PocketsStrategiesAndStepovers) {
  const Fixture fixtures[] = {rectangleFixture(), islandFixture(),         circleFixture(),
                              lFixture(),         mergingIslandsFixture(), starFixture()};
  for (const Fixture& f : fixtures) {
    for (const Strategy& s : kStrategies) {
      for (double factor : {0.4, 0.5}) {
        for (double radius : {0.0, 1.0}) {
          const std::string label = f.name + " " + s.name + " stepover " + std::to_string(factor) +
                                    " radius " + std::to_string(radius);
          std::vector<std::pair<std::string, std::string>> keys = {
              {"infeedFactor", std::to_string(factor)},
              {"infeedRadius", std::to_string(radius)},
              {"depth", "5"}};
          if (s.value[0] != '\0') keys.push_back({"strategy", s.value});
          ASSERT_EQ(run({&f}, keys), kRunOk) << label << "\n" << readFile("out.pof");
          const tpc::Path path = readRun("out.pof", kR);
          const tpc::Pocket pocket = checkPocket(f);
          const double step = factor * kTool;
          tpc::CoverOptions cover;
          cover.floorZ = -5;
          cover.step = step;
          EXPECT_TRUE(tpc::passes(tpc::checkSanity(path, failureMessages()))) << label;
          EXPECT_TRUE(tpc::passes(tpc::checkNoGouge2D(path, pocket))) << label;
          EXPECT_TRUE(tpc::passes(tpc::checkCoverStep(path, pocket, cover))) << label;
          EXPECT_TRUE(tpc::passes(tpc::checkCoverClear(path, pocket, cover))) << label;
          EXPECT_TRUE(tpc::passes(tpc::checkLinks2D(path, pocket))) << label;
          EXPECT_TRUE(tpc::passes(tpc::checkLevels(path, {-5}))) << label;
        }
      }
    }
  }
}

// Three depth levels: each level is cleared and no other level is cut.
TEST_F(CcpCheckedTest, ThreeLevels) {
  const Fixture f = islandFixture();
  for (const Strategy& s : kStrategies) {
    std::vector<std::pair<std::string, std::string>> keys = {
        {"infeedFactor", "0.5"}, {"depth", "6"}, {"infeedDepth", "2"}};
    if (s.value[0] != '\0') keys.push_back({"strategy", s.value});
    ASSERT_EQ(run({&f}, keys), kRunOk) << s.name;
    const tpc::Path path = readRun("out.pof", kR);
    const tpc::Pocket pocket = checkPocket(f);
    EXPECT_TRUE(tpc::passes(tpc::checkSanity(path, failureMessages()))) << s.name;
    EXPECT_TRUE(tpc::passes(tpc::checkLevels(path, {-2, -4, -6}))) << s.name;
    EXPECT_TRUE(tpc::passes(tpc::checkNoGouge2D(path, pocket))) << s.name;
    EXPECT_TRUE(tpc::passes(tpc::checkLinks2D(path, pocket))) << s.name;
    for (double z : {-2.0, -4.0, -6.0}) {
      tpc::CoverOptions cover;
      cover.floorZ = z;
      cover.step = 5;
      EXPECT_TRUE(tpc::passes(tpc::checkCoverClear(path, pocket, cover))) << s.name << " " << z;
    }
  }
}

// A slot narrower than the tool: no path, the warning "tool too big" (1507), and the run ends.
TEST_F(CcpCheckedTest, SlotNarrowerThanTheTool) {
  const Fixture f{"slot", rectangleShape(0, 0, 100, 8), {}};
  for (const Strategy& s : kStrategies) {
    std::vector<std::pair<std::string, std::string>> keys = {{"infeedFactor", "0.5"},
                                                             {"depth", "5"}};
    if (s.value[0] != '\0') keys.push_back({"strategy", s.value});
    run({&f}, keys);
    const std::string pof = readFile("out.pof");
    EXPECT_NE(pof.find("0: error(1507)"), std::string::npos) << s.name << "\n" << pof;
    const tpc::Path path = readRun("out.pof", kR);
    EXPECT_EQ(feedMovesAt(path, -5), 0) << s.name;
    EXPECT_TRUE(tpc::passes(tpc::checkSanity(path, {1103, 1104, 1106, 1511}))) << s.name;
  }
}

// Five pockets in one job: with a start point near the third only the third is cut; the next run
// of the process, without a start point, cuts all five.
TEST_F(CcpCheckedTest, StartPointChoosesOneGroupThenAllFive) {
  std::vector<Fixture> pockets;
  for (int k = 0; k < 5; ++k) {
    pockets.push_back(
        {"pocket" + std::to_string(k), rectangleShape(70.0 * k, 0, 70.0 * k + 50, 40), {}});
  }
  std::vector<const Fixture*> all;
  for (const Fixture& f : pockets) all.push_back(&f);
  ASSERT_EQ(run(all, {{"infeedFactor", "0.5"},
                      {"depth", "5"},
                      {"startExplicit", "true"},
                      {"startX", "165"},
                      {"startY", "20"}}),
            kRunOk);
  tpc::Path first = readRun("out.pof", kR);
  tpc::CoverOptions cover;
  cover.floorZ = -5;
  cover.step = 5;
  EXPECT_TRUE(tpc::passes(tpc::checkCoverClear(first, checkPocket(pockets[2]), cover)));
  for (const tpc::Move& m : first.moves) {
    if (m.kind == tpc::MoveKind::Feed && m.to.z < -4.9) {
      EXPECT_GT(m.to.x, 140 - 1e-6);
      EXPECT_LT(m.to.x, 190 + 1e-6);
    }
  }
  ASSERT_EQ(run(all, {{"infeedFactor", "0.5"}, {"depth", "5"}}), kRunOk);
  const tpc::Path second = readRun("out.pof", kR);
  EXPECT_TRUE(tpc::passes(tpc::checkSanity(second, failureMessages())));
  for (const Fixture& f : pockets) {
    EXPECT_TRUE(tpc::passes(tpc::checkCoverClear(second, checkPocket(f), cover))) << f.name;
  }
}

// With an explicit start point (and a retract at each plane, the default) every tree of rings of
// a run's first level is cut, the start ring's first: the island's rings used to stay uncut when
// the start lay on another tree, and the next level ran into that material.
TEST_F(CcpCheckedTest, ExplicitStartCutsEveryTree) {
  // Start points in the open pocket, near the outer rings and near an island's rings (the line
  // from the start point to the nearest ring is cut, so the start lies clear of the walls).
  struct Case {
    Fixture f;
    std::vector<Point2D> starts;
  };
  const Case cases[] = {{islandFixture(), {{6, 6}, {40, 45}}},
                        {mergingIslandsFixture(), {{6, 6}, {48, 45}}},
                        {starFixture(), {{50, 30}, {30, 62}}}};
  for (const Case& c : cases) {
    const Fixture& f = c.f;
    for (const Point2D& s : c.starts) {
      const std::string label = f.name + " start " + std::to_string(s.x);
      ASSERT_EQ(run({&f}, {{"infeedFactor", "0.5"},
                           {"depth", "5"},
                           {"startExplicit", "true"},
                           {"startX", std::to_string(s.x)},
                           {"startY", std::to_string(s.y)}}),
                kRunOk)
          << label;
      const tpc::Path path = readRun("out.pof", kR);
      const tpc::Pocket pocket = checkPocket(f);
      tpc::CoverOptions cover;
      cover.floorZ = -5;
      cover.step = 5;
      EXPECT_TRUE(tpc::passes(tpc::checkSanity(path, failureMessages()))) << label;
      EXPECT_TRUE(tpc::passes(tpc::checkNoGouge2D(path, pocket))) << label;
      EXPECT_TRUE(tpc::passes(tpc::checkCoverClear(path, pocket, cover))) << label;
      EXPECT_TRUE(tpc::passes(tpc::checkLinks2D(path, pocket))) << label;
    }
  }
}

// A level entered at its start point only: once a level has linked the one tree of its start
// ring, a later level of the run whose rings fall apart into several trees links only the start
// ring's tree when the cycle retracts at each plane; the tree beyond is left for a plunge of its
// own. Here a wall rising to 6 below the top cuts the lowest level in two halves; the levels at 5
// and 6 below the top are whole. Without the start point, or with "retractEachPlane" false, both
// halves are cut (without retracts the link between them runs at the top, 0).
TEST_F(CcpCheckedTest, LaterLevelKeepsTheStartRingsTreeOnly) {
  Fixture f{"twoHalvesBelow", rectangleShape(0, 0, 100, 40), {}};
  Shape wall = rectangleShape(45, 4, 55, 36);
  wall.text.insert(wall.text.find('\n') + 1, "  vsurface(-6)\n");
  wall.check.top = -6;
  f.islands.push_back(wall);
  const Fixture left{"left", rectangleShape(0, 0, 45, 40), {}};
  const Fixture right{"right", rectangleShape(55, 0, 100, 40), {}};
  struct Case {
    const char* name;
    std::vector<std::pair<std::string, std::string>> keys;
    bool rightCut;
    std::vector<double> levels;
  };
  const std::vector<std::pair<std::string, std::string>> start = {
      {"startExplicit", "true"}, {"startX", "20"}, {"startY", "20"}};
  std::vector<std::pair<std::string, std::string>> noRetract = start;
  noRetract.push_back({"retractEachPlane", "false"});
  const Case cases[] = {{"start point", start, false, {-5, -6, -10}},
                        {"start point, retractEachPlane false", noRetract, true, {0, -5, -6, -10}},
                        {"no start point", {}, true, {-5, -6, -10}}};
  for (const Case& c : cases) {
    auto keys = c.keys;
    keys.insert(keys.end(), {{"infeedFactor", "0.5"}, {"depth", "10"}, {"infeedDepth", "5"}});
    ASSERT_EQ(run({&f}, keys), kRunOk) << c.name << "\n" << readFile("out.pof");
    const tpc::Path path = readRun("out.pof", kR);
    const tpc::Pocket pocket = checkPocket(f);
    EXPECT_TRUE(tpc::passes(tpc::checkSanity(path, failureMessages()))) << c.name;
    EXPECT_TRUE(tpc::passes(tpc::checkLevels(path, c.levels))) << c.name;
    EXPECT_TRUE(tpc::passes(tpc::checkNoGouge2D(path, pocket))) << c.name;
    EXPECT_TRUE(tpc::passes(tpc::checkLinks2D(path, pocket))) << c.name;
    tpc::CoverOptions lower;
    lower.step = 5;
    for (double z : {-5.0, -6.0}) {
      tpc::CoverOptions upper = lower;
      upper.floorZ = z;
      EXPECT_TRUE(tpc::passes(tpc::checkCoverClear(path, checkPocket(f), upper))) << c.name << z;
    }
    lower.floorZ = -10;
    // The halves of the lower level, each bounded by the wall's side as its own outer contour.
    EXPECT_TRUE(tpc::passes(tpc::checkCoverClear(path, checkPocket(left), lower))) << c.name;
    const tpc::Result r = tpc::checkCoverClear(path, checkPocket(right), lower);
    EXPECT_EQ(r.ok, c.rightCut) << c.name << ": " << r.message;
    if (!c.rightCut) {
      EXPECT_GT(feedMovesAt(path, -10), 0) << c.name;
      for (const tpc::Move& m : path.moves) {
        if (m.kind == tpc::MoveKind::Feed && m.to.z < -9.99) {
          EXPECT_LT(m.to.x, 45) << c.name;
        }
      }
    }
  }
}

// A stepover of 0.8 and 0.9 D leaves ridges between the rings' bands unless the cut regions clear
// them. With cut regions on (a complete pocket) the uncut area away from the walls stays below
// 1e-3 of the pocket area; off, material is left. Every path passes the checker.
TEST_F(CcpCheckedTest, CutRegionsClearTheRidgesOfLargeStepovers) {
  const Fixture fixtures[] = {rectangleFixture(), lFixture()};
  for (const Fixture& f : fixtures) {
    const tpc::Pocket pocket = checkPocket(f);
    for (double factor : {0.8, 0.9}) {
      double uncut[2] = {0.0, 0.0};
      for (int complete : {0, 1}) {
        const std::string label = f.name + " stepover " + std::to_string(factor) + " complete " +
                                  std::to_string(complete);
        ASSERT_EQ(run({&f}, {{"infeedFactor", std::to_string(factor)},
                             {"completePocket", complete != 0 ? "true" : "false"},
                             {"depth", "5"}}),
                  kRunOk)
            << label << "\n"
            << readFile("out.pof");
        const tpc::Path path = readRun("out.pof", kR);
        tpc::CoverOptions cover;
        cover.floorZ = -5;
        cover.step = factor * kTool;
        cover.inset = kR;  // the wall band: regions nearer than R to a wall are left by design
        EXPECT_TRUE(tpc::passes(tpc::checkSanity(path, failureMessages()))) << label;
        EXPECT_TRUE(tpc::passes(tpc::checkNoGouge2D(path, pocket))) << label;
        EXPECT_TRUE(tpc::passes(tpc::checkLinks2D(path, pocket))) << label;
        EXPECT_TRUE(tpc::passes(tpc::checkLevels(path, {-5}))) << label;
        uncut[complete] = tpc::checkCoverClear(path, pocket, cover).uncutArea;
      }
      const double area = f.name == "L" ? 60.0 * 60.0 - 35.0 * 35.0 : 60.0 * 40.0;
      EXPECT_GT(uncut[0], 1e-3 * area) << f.name << " " << factor;
      EXPECT_LT(uncut[1], 1e-3 * area) << f.name << " " << factor;
    }
  }
}

// Two runs in one process with cut regions and corner rounding give the same POF (apart from the
// clock, the run id and the writer's running record numbers): the rounding's closeness tolerance
// and the cut mode start afresh with every run.
TEST_F(CcpCheckedTest, CutRegionRunsRepeatInOneProcess) {
  const Fixture f = lFixture();
  auto strip = [](const std::string& pof) {
    std::string out, line;
    bool number = false;
    for (char c : pof) {
      if (c == '[' && line.rfind("31: o", 0) == 0 && line.find('(') == std::string::npos) {
        number = true;
        continue;
      }
      if (number) {
        number = c != ']';
        continue;
      }
      if (c != '\n') {
        line += c;
        continue;
      }
      if (line.rfind("0: time(", 0) != 0 && line.rfind("0: elapsed(", 0) != 0 &&
          line.rfind("0: ucid(", 0) != 0) {
        out += line + "\n";
      }
      line.clear();
    }
    return out;
  };
  const std::vector<std::pair<std::string, std::string>> keys = {
      {"infeedFactor", "0.8"}, {"filletRadius", "1"}, {"depth", "5"}};
  ASSERT_EQ(run({&f}, keys), kRunOk);
  const std::string first = strip(readFile("out.pof"));
  const tpc::Path path = readRun("out.pof", kR);
  EXPECT_TRUE(tpc::passes(tpc::checkNoGouge2D(path, checkPocket(f))));
  EXPECT_TRUE(tpc::passes(tpc::checkLinks2D(path, checkPocket(f))));
  ASSERT_EQ(run({&f}, keys), kRunOk);
  EXPECT_EQ(strip(readFile("out.pof")), first);
}
