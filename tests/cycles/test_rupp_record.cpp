// The three-axis roughing record run in the test process from a ".pcf" job: its parameters go
// through the reader chain and the copy into the global parameter block, which is written with
// parCfgWriteAll as the roughing receives it and read back against a table of expected keys; its
// ".CFG" twin gives the same values; two runs in one process leave what the second run alone
// leaves; the run ends with status 1 from the roughing controller's stand-in.
#include <dirent.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <map>
#include <string>
#include <utility>
#include <vector>

#include "cycle_job.h"
#include "cycles/rupp_record.h"
#include "framework/xchg_lexer.h"
#include "rough_fake.h"

namespace {

using qdtest::readFile;
using qdtest::writeFile;

const std::string kPid = std::to_string(static_cast<long>(getpid()));

// Tool diameter 8, surface 20 and depth -15 below a clearance plane of 900, temporary files in
// "tmpd".
constexpr char kBaseJob[] =
    "polySource := part.qdx\ntoolDiameter := 8\ntempDirectory := tmpd\nsurface := 20\n"
    "depth := -15\nclearancePlane := 900\n";

using Keys = std::vector<std::pair<const char*, const char*>>;

// The block as the roughing main receives it, before its configuration step scales it.
std::map<std::string, std::string>& entryBlock() {
  static std::map<std::string, std::string> keys;
  return keys;
}
void dumpEntryBlock() { entryBlock() = qdtest::blockDump("dumps/entry.cfg"); }

class RuppJob : public qdtest::CycleJobTest {
 protected:
  void SetUp() override {
    qdtest::CycleJobTest::SetUp();
    roughSetEntryProbe(dumpEntryBlock);
  }
  void TearDown() override {
    roughSetEntryProbe(nullptr);
    qdtest::CycleJobTest::TearDown();
  }

  // Runs qdRupp on the base job with the extra lines; returns the dump of the block.
  std::map<std::string, std::string> runJob(const std::string& extra, const char* name = "job") {
    writeFile(std::string(name) + ".pcf", kBaseJob + extra);
    EXPECT_EQ(run(ruppCycleRecord(), name), kRunOk) << extra;
    EXPECT_EQ(ruppCycleRecord()->status, 1) << "the controller finds no model and fails the run";
    return entryBlock();
  }
};

// The files of a folder with their contents (no folders).
std::map<std::string, std::string> folderFiles(const char* folder) {
  std::map<std::string, std::string> files;
  if (DIR* d = opendir(folder)) {
    while (dirent* e = readdir(d)) {
      const std::string name = e->d_name;
      const std::string path = std::string(folder) + "/" + name;
      if (e->d_type == DT_REG) files[name] = readFile(path);
    }
    closedir(d);
  }
  return files;
}

TEST_F(RuppJob, KeysOfTheGlobalBlockAfterTheChain) {
  const struct {
    const char* extra;
    Keys keys;
  } rows[] = {
      {"", {{"*FRRADIUS", "4"}, {"*FRTYP", "2"}, {"*APPROX", "part.qdx"}, {"*TMP_DIR", "tmpd"}}},
      {"", {{"*OBERFL", "20"}, {"*TIEF", "5"}, {"*SICHEBENE", "900"}, {"*VERTZUSTEL", "2"}}},
      {"depth := 15\n", {{"*TIEF", "5"}}},
      {"surface := -2\ndepth := 3\n", {{"*TIEF", "-5"}}},
      // The lateral stepover: the factor counts above 0.01 (sign dropped), then the length above
      // 0.0001, else half the tool.
      {"", {{"*HORIZUSTEL", "4"}}},
      {"infeedFactor := 0.01\n", {{"*HORIZUSTEL", "4"}}},
      {"infeedFactor := 0.01\ninfeedLength := 3\n", {{"*HORIZUSTEL", "3"}}},
      {"infeedFactor := -0.5\ninfeedLength := 3\n", {{"*HORIZUSTEL", "4"}}},
      {"infeedFactor := 0.25\n", {{"*HORIZUSTEL", "2"}}},
      {"infeedLength := 0.00005\n", {{"*HORIZUSTEL", "4"}}},
      // Stock strategies: mode, movement, outside-in.
      {"", {{"*STOCK_MODE", "0"}, {"*STOCK_MOVEMENT", "0"}, {"*OUTSIDE_IN", "0"}}},
      {"stockStrategy := continuous\n",
       {{"*STOCK_MODE", "1"}, {"*STOCK_MOVEMENT", "0"}, {"*OUTSIDE_IN", "0"}}},
      {"stockStrategy := rapid\n",
       {{"*STOCK_MODE", "1"}, {"*STOCK_MOVEMENT", "1"}, {"*OUTSIDE_IN", "0"}}},
      {"stockStrategy := outsideIn\n",
       {{"*STOCK_MODE", "1"}, {"*STOCK_MOVEMENT", "2"}, {"*OUTSIDE_IN", "0"}}},
      {"stockStrategy := reverse\n",
       {{"*STOCK_MODE", "0"}, {"*STOCK_MOVEMENT", "0"}, {"*OUTSIDE_IN", "1"}}},
      // "*MACRO_IWIN": the smaller of the arc step and the ramp-angle resolution.
      {"", {{"*MACRO_IWIN", "5"}}},
      {"rampAngleResolution := 3\n", {{"*MACRO_IWIN", "3"}}},
      {"rampAngleResolution := 3\ncircularMacroSegmentAngle := 2\n", {{"*MACRO_IWIN", "2"}}},
      // Keys read later win.
      {"rampAngle := 5\nhelixRampAngle := 8\n", {{"*MACRO_TSWIN", "8"}}},
      {"helixRampAngle := 8\nrampAngle := 5\n", {{"*MACRO_TSWIN", "8"}}},
      {"strategy := other\nskipSmallPockets := true\nskipPockets := false\n",
       {{"*SKIP_SMALL_POCKETS", "0"}, {"*AXIS_POCKET", "0"}, {"*BEARBEITRICHT", "3"}}},
      {"strategy := other\nskipSmallPockets := false\nskipPockets := true\n",
       {{"*SKIP_SMALL_POCKETS", "1"}}},
      // Skipping small pockets is switched off with an axis-parallel finishing pass and no step
      // strategy ("1192", checked below).
      {"", {{"*SKIP_SMALL_POCKETS", "0"}, {"*AXIS_POCKET", "1"}, {"*BEARBEITRICHT", "1"}}},
      {"strategy := standardY\nstepStrategy := pocket\n",
       {{"*SKIP_SMALL_POCKETS", "1"}, {"*AXIS_POCKET", "1"}, {"*STEP_STRATEGY", "1"}}},
      {"strategy := StandardX\n", {{"*BEARBEITRICHT", "3"}, {"*AXIS_POCKET", "0"}}},
      // Retract plane: lowered to the clearance plane, which it defaults to.
      {"retractPlane := 950\n", {{"*SICHEBENE", "900"}}},
      {"retractPlane := 800\n", {{"*SICHEBENE", "800"}}},
      // Two names of one value get the value under both.
      {"approachLength := 4\nlengthOfUnit := inch\nplaneAllowance := 0.5\n",
       {{"*MACRO_SRAD", "4"},
        {"*MACRO_SLENGTH", "4"},
        {"*INCH", "1"},
        {"*INCH_MODE", "1"},
        {"*AUFMASS_HORI", "0.5"},
        {"*HORI_AUFMASS", "0.5"}}},
      {"", {{"*GEN_ZRESINFO", "1"}, {"*GEN_ZRESINO", "1"}, {"*REF_JOBID", "0"}}},
      {"toolName := 12abc\nautoStepDown := optimized\n",
       {{"*WKZNUMMER", "12"}, {"*STEP_MODE", "3"}}},
      {"toolName := T5\nautoStepDown := true\n", {{"*WKZNUMMER", "0"}, {"*STEP_MODE", "2"}}},
      // The start point is mapped from the NC frame to world coordinates.
      {"startPoint := 1,2,3\nframeCs_o := 10,20,30\n",
       {{"*ZUSTELL_OK", "1"},
        {"*ZUSTELL_PT_TCS", "11 22 33"},
        {"*ZUSTELL_X", "11"},
        {"*ZUSTELL_Y", "22"},
        {"*NCKO_O", "10 20 30"}}},
      {"pofFilename := job_out.pof\n", {{"*APT", "job_out.pof"}}},
  };
  int n = 0;
  for (const auto& row : rows) {
    const std::string name = "job" + std::to_string(n++);
    const auto keys = runJob(row.extra, name.c_str());
    for (const auto& [key, value] : row.keys) {
      ASSERT_EQ(keys.count(key), 1u) << key;
      EXPECT_EQ(keys.at(key), value) << key << " after:\n" << row.extra;
    }
  }
}

// The run ends with status 1 from the roughing stand-in, whose message names it; the default
// strategy with skipping on sends "1192".
TEST_F(RuppJob, StandInAndSkipMessage) {
  runJob("");
  const std::string text = pof();
  EXPECT_NE(text.find("0: error(1192)"), std::string::npos) << text;
  EXPECT_NE(text.find("0: error(509,0)"), std::string::npos) << "no model file: " << text;
  EXPECT_NE(text.find("0: cycle(Brevonix 3D Z-Level Roughing Cycle)"), std::string::npos);
  EXPECT_NE(text.find("0: msgFile(rsrupphc.loc)"), std::string::npos);
  runJob("strategy := standardY\nstepStrategy := pocket\n");
  EXPECT_EQ(pof().find("0: error(1192)"), std::string::npos);
}

// The end phase frees the run's output layers, so the layers of one job (here those of "NCOutp")
// are not registered for the next: after each run the record holds none.
TEST_F(RuppJob, EndPhaseFreesTheLayers) {
  for (const char* extra : {"NCOutp := true\ndrillPointsOutp := true\n", ""}) {
    runJob(extra, "layers");
    EXPECT_EQ(ruppCycleRecord()->layers, nullptr) << extra;
    EXPECT_NE(pof().find("0: cycleEnd(Brevonix 3D Z-Level Roughing Cycle)"), std::string::npos);
  }
}

// A model file name too long for its key fails the run with message 332 naming it: cut short, it
// would name another file. The roughing does not run and the key keeps no part of the name.
TEST_F(RuppJob, FileNameTooLongForItsKeyFailsTheRun) {
  const std::string name = std::string(300, 'p') + ".qdx";
  writeFile("long.pcf", "polySource := " + name + "\ntoolDiameter := 8\ntempDirectory := tmpd\n");
  ASSERT_EQ(run(ruppCycleRecord(), "long"), kRunOk);
  EXPECT_EQ(ruppCycleRecord()->status, 1);
  const std::string text = pof();
  // The message carries the name (long message texts are cut, so its start).
  EXPECT_NE(text.find("0: error(332," + name.substr(0, 100)), std::string::npos) << text;
  EXPECT_EQ(text.find("roughMain"), std::string::npos) << text;
  EXPECT_EQ(dump("long.cfg").at("*APPROX").find("ppp"), std::string::npos);
}

// A ".CFG" job that sets the keys the ".pcf" copy writes gives the same values for them.
TEST_F(RuppJob, CfgTwinGivesTheSameValues) {
  const auto pcf = runJob(
      "stockStrategy := rapid\nrampAngleResolution := 3\nstrategy := standardY\n"
      "infeedFactor := 0.25\ncoolant := true\n");
  writeFile("twin.CFG",
            "*FRRADIUS 4\n*TIEF 5\n*OBERFL 20\n*HORIZUSTEL 2\n*MACRO_IWIN 3\n*STOCK_MODE 1\n"
            "*STOCK_MOVEMENT 1\n*APPROX part.qdx\n*TMP_DIR tmpd\n*BEARBEITRICHT 2\n"
            "*KUEHLMITTEL 1\n*SICHEBENE 900\n*FRTYP 2\n*DEL_PRFBDY 1\n");
  ASSERT_EQ(run(ruppCycleRecord(), "twin.CFG"), kRunOk);
  EXPECT_EQ(ruppCycleRecord()->status, 1);
  const auto cfg = entryBlock();
  const std::string twin = readFile("twin.CFG");
  int compared = 0;
  for (const auto& [key, value] : cfg) {
    if (twin.find(key + " ") == std::string::npos || key == "*DEL_PRFBDY") continue;
    EXPECT_EQ(value, pcf.at(key)) << key;
    ++compared;
  }
  EXPECT_EQ(compared, 13);
}

// Two runs in one process: the second leaves the block the second run alone leaves, and no file
// of the working folder is left or deleted. The first run sets the strategy, a start point, a
// geometry source with a boundary, a frame and the reverse stock strategy; the second none.
TEST_F(RuppJob, NoJobLeaksIntoTheNext) {
  writeFile("geo.qdx", std::string(xchgBanner) +
                           "\nqDX-Version: 1.0\nGeometry\ntester\n\n{\nv3Dtype(boundary)\n"
                           "oL( x[0/10] y[0/0] z[0/0] )\noL( x[/10] y[/10] z[/0] )\n}\n");
  for (const char* f : {"tmp.pcf", "tmp.pof", "tmp.qdx", "tmp.dxf", "tmp.cfg", "sopttmp.bnd"}) {
    writeFile(f, "the user's");
  }
  writeFile("a.pcf", std::string(kBaseJob) +
                         "strategy := standardX\nstartPoint := 1,2,3\ngeoSource := geo.qdx\n"
                         "stockStrategy := reverse\nframe := 1,2,3,4,5,6\nframeOn := true\n"
                         "frameOff := true\nskipSmallPockets := false\nScaleXYZ := 2,2,2\n");
  writeFile("b.pcf", std::string(kBaseJob) + "strategy := other\n");
  const auto before = folderFiles(".");

  ASSERT_EQ(run(ruppCycleRecord(), "b"), kRunOk);
  const auto alone = dump("alone.cfg");
  pof();
  ASSERT_EQ(run(ruppCycleRecord(), "a"), kRunOk);
  const auto first = dump("first.cfg");
  const std::string firstText = pof();
  EXPECT_EQ(first.at("*OUTSIDE_IN"), "1");
  EXPECT_EQ(first.at("*ZUSTELL_OK"), "1");
  EXPECT_EQ(first.at("*AXIS_POCKET"), "1");
  EXPECT_EQ(first.at("*BOUNDARY"), "tmpd/" + kPid + ".bnd");
  EXPECT_NE(firstText.find("10: tr(frameOn)"), std::string::npos) << firstText;
  EXPECT_NE(firstText.find("10: tr(frameOff)"), std::string::npos);

  ASSERT_EQ(run(ruppCycleRecord(), "b"), kRunOk);
  const auto second = dump("second.cfg");
  const std::string secondText = pof();
  EXPECT_EQ(second, alone);
  EXPECT_EQ(secondText.find("10: frame("), std::string::npos) << secondText;
  EXPECT_EQ(secondText.find("10: tr(frameO"), std::string::npos) << secondText;

  auto after = folderFiles(".");
  after.erase("out.pof");
  // The controller's report grows by two lines per run, by design.
  EXPECT_EQ(after["rep.txt"],
            "stopcode: -1\ngeszeit: 0\nstopcode: -1\ngeszeit: 0\nstopcode: -1\ngeszeit: 0\n");
  after.erase("rep.txt");
  auto expected = before;
  expected.erase("out.pof");
  EXPECT_EQ(after, expected);
  EXPECT_TRUE(folderFiles("tmpd").empty()) << "the runs' temporary files are removed";
}

}  // namespace
