// The Z-level finishing record run in the test process: its reader's keys reach the global
// parameter block through its copy, its configuration file is a temporary file of the run, the
// cycle codes of its ".CFG" and prepare phases and its keys set only to 1 do not outlive a run,
// the run ends with status 1 from the finishing stand-in, and a run's undercut and spiral side
// settings reach the spiral switch.
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdio>
#include <map>
#include <string>
#include <utility>
#include <vector>

#include "cycle_job.h"
#include "cycles/zfin_record.h"
#include "framework/global_params.h"
#include "zlevel/spiral.h"

namespace {

using qdtest::fileExists;
using qdtest::writeFile;

const std::string kPid = std::to_string(static_cast<long>(getpid()));

constexpr char kBaseJob[] = "polySource := part.qdx\ntoolDiameter := 6\ntempDirectory := tmpd\n";

class ZfinJob : public qdtest::CycleJobTest {
 protected:
  std::map<std::string, std::string> runJob(const std::string& extra, const std::string& name) {
    writeFile(name + ".pcf", kBaseJob + extra);
    EXPECT_EQ(run(zfinCycleRecord(), name), kRunOk) << extra;
    EXPECT_EQ(zfinCycleRecord()->status, 1) << "the finishing stand-in fails the run";
    return dump(name + ".cfg");
  }
  // The keys as the copy wrote them into the run's configuration file, before the driver's
  // configuration step scaled them and its set-up reworked them.
  std::map<std::string, std::string> copiedKeys(const std::string& extra, const std::string& name) {
    runJob("removeTempFiles := false\n" + extra, name);
    const std::string cfg = "tmpd/" + kPid + ".cfg";
    EXPECT_EQ(parCfgRead(cfg.c_str()), 1);
    std::remove(cfg.c_str());
    return dump(name + ".copied.cfg");
  }
};

TEST_F(ZfinJob, KeysOfTheGlobalBlock) {
  using Keys = std::vector<std::pair<const char*, const char*>>;
  const struct {
    const char* extra;
    Keys keys;
  } rows[] = {
      {"", {{"*FINISH_PASS", "2"}, {"*FRTYP", "1"}, {"*XSHAFT_CONTROL", "1"}, {"*LAUF", "1"}}},
      {"", {{"*APT", "tmpd/tmp.pof"}, {"*SEITE", "1"}, {"*CONNECT_RAPID", "0"}}},
      {"", {{"*STEP_MODE", "0"}, {"*ZPLANES", "0"}, {"*PLANES_ONLY", "0"}, {"*SPIRAL", "0"}}},
      {"cuttingSide := conventional\n", {{"*SEITE", "2"}}},
      {"cuttingSide := rightOfContour\n", {{"*SEITE", "2"}}},
      {"cuttingSide := Conventional\n", {{"*SEITE", "1"}}},
      {"stepStrategy := helical\n", {{"*STEP_STRATEGY", "1"}, {"*SPIRAL", "1"}}},
      {"stepStrategy := pocket\n", {{"*STEP_STRATEGY", "1"}, {"*SPIRAL", "0"}}},
      {"autoStepDown := planesOnly\n",
       {{"*STEP_MODE", "3"}, {"*ZPLANES", "1"}, {"*PLANES_ONLY", "1"}}},
      {"autoStepDown := auto\n", {{"*STEP_MODE", "2"}, {"*ZPLANES", "1"}, {"*PLANES_ONLY", "0"}}},
      {"connectRapid := true\n", {{"*CONNECT_RAPID", "1"}}},
      {"connectRapid := false\n", {{"*CONNECT_RAPID", "0"}}},
      {"cuttingLine := zigZag\n", {{"*LAUF", "2"}}},
      {"acceptUndercut := true\ncollisionHeight := 50\n",
       {{"*ACCEPT_UNDERCUT", "1"}, {"*BACKDRAFT", "1"}, {"*LIMIT_HEIGHT", "50"}}},
      {"connectFactor := 2.5\nplaneAllowance := -0.2\n",
       {{"*CONNECT_FACTOR", "2.5"},
        {"*STEEP_CONNECT_FACTOR", "2.5"},
        {"*AUFMASS_HORI", "-0.2"},
        {"*HORI_AUFMASS", "-0.2"}}},
      {"cutterCompensation := true\npocketOptimisation := true\nstartPointMovement := rapid\n"
       "boundaryOffset := -1.5\n",
       {{"*CUTCOMP", "1"}, {"*ZOPT_MODE", "1"}, {"*START_RAPID", "1"}, {"*BOUND_OFFSET", "-1.5"}}},
      {"pocketOptimisation := false\nslopeCondition := mixed\n",
       {{"*ZOPT_MODE", "0"}, {"*SLOPE_MODE", "1"}}},
      {"collisionTolerance := -0.3\ninfeedStrategy := scallopHeight\nminInfeed := 0.2\n",
       {{"*COLL_TOLERANCE", "0.3"}, {"*ZUSTELL_ART", "2"}, {"*ZUST_MIN", "0.2"}}},
      // The start point is mapped from the tool system only when one was given; x and y are not
      // copied on their own.
      {"startPoint := 1,2,3\ntoolCs_o := 0,0,5\n",
       {{"*ZUSTELL_OK", "1"}, {"*ZUSTELL_PT_TCS", "1 2 8"}, {"*ZUSTELL_X", "0"}}},
  };
  int n = 0;
  for (const auto& row : rows) {
    const auto keys = copiedKeys(row.extra, "job" + std::to_string(n++));
    for (const auto& [key, value] : row.keys) {
      ASSERT_EQ(keys.count(key), 1u) << key;
      EXPECT_EQ(keys.at(key), value) << key << " after:\n" << row.extra;
    }
  }
  EXPECT_NE(pof().find("0: error(1104,zfinMain)"), std::string::npos);
}

// The run's configuration file is its sixth temporary name: kept when asked, holding the copied
// keys, and removed with the other temporary files; none is left in the working folder.
TEST_F(ZfinJob, ConfigurationFileIsATemporaryFile) {
  runJob("removeTempFiles := false\ncuttingSide := conventional\n", "keep");
  const std::string name = "tmpd/" + kPid + ".cfg";
  ASSERT_TRUE(fileExists(name));
  EXPECT_NE(qdtest::readFile(name).find("*SEITE              2 "), std::string::npos);
  EXPECT_FALSE(fileExists("tmp.cfg"));
  runJob("", "drop");
  EXPECT_FALSE(fileExists(name));
  EXPECT_FALSE(fileExists("tmp.cfg"));
}

// Keys set only to 1 and the cycle codes 1013 and 1006 hold within their run, not for the next.
TEST_F(ZfinJob, OneJobsCodesAndFlagsDoNotReachTheNext) {
  EXPECT_EQ(
      runJob("cutterCompensation := true\nautoStepDown := planesOnly\n", "one").at("*CUTCOMP"),
      "1");
  const auto next = runJob("cutterCompensation := false\n", "two");
  EXPECT_EQ(next.at("*CUTCOMP"), "0");
  EXPECT_EQ(next.at("*PLANES_ONLY"), "0");
  EXPECT_EQ(next.at("*ZPLANES"), "0");

  writeFile("tilt.CFG", "*TILT_STRATEGY 1\n*TILT_MODE 6\n");
  ASSERT_EQ(run(zfinCycleRecord(), "tilt.CFG"), kRunOk);
  EXPECT_EQ(zfinCycleRecord()->code, kZfinCodeTilt);
  writeFile("slope.CFG", "*SLOPE_MODE 1\n*TILT_MODE 6\n*TILT_STRATEGY 2\n");
  ASSERT_EQ(run(zfinCycleRecord(), "slope.CFG"), kRunOk);
  EXPECT_EQ(zfinCycleRecord()->code, kZfinCodeSlope) << "the last tilt entry is 2";
  pof();
  runJob("", "three");
  EXPECT_EQ(zfinCycleRecord()->code, kZfinCode);
  EXPECT_NE(pof().find("0: release(1005-"), std::string::npos) << "the header's cycle code";
}

// A run's settings reach the finishing set-up: undercut with the spiral side switches the spiral
// transitions' tool check on; the next run starts with it off again.
TEST_F(ZfinJob, UndercutWithSpiralSideReachesTheSpiralSwitch) {
  writeFile("side.CFG", "*ACCEPT_UNDERCUT 1\n*SPIRAL_SIDE 1\n*XSHAFT_CONTROL 1\n");
  ASSERT_EQ(run(zfinCycleRecord(), "side.CFG"), kRunOk);
  EXPECT_EQ(zfinCycleRecord()->status, 1);
  EXPECT_EQ(spiralGetToolCheck(), 1);
  writeFile("plain.CFG", "*SPIRAL_SIDE 1\n*XSHAFT_CONTROL 1\n");
  ASSERT_EQ(run(zfinCycleRecord(), "plain.CFG"), kRunOk);
  EXPECT_EQ(spiralGetToolCheck(), 0);
  spiralResetState();
}

}  // namespace
