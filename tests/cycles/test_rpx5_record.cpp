// The five-axis roughing record "qdRpx5" run in the test process: its chain and slots, the status
// word from the roughing's result and the interrupt check, the retract-plane rule, the ".pcf" and
// ".CFG" twins, the set-up's records over a table of jobs, the flat-plane pass and the tool-tip
// output, with a fake controller in place of the roughing controller.
#include <gtest/gtest.h>
#include <unistd.h>

#include <cmath>
#include <map>
#include <regex>
#include <string>
#include <vector>

#include "cycle_job.h"
#include "cycles/approach_macro.h"
#include "cycles/rough_standins.h"
#include "cycles/rupp_record.h"
#include "framework/kernel.h"
#include "rough_fake.h"
#include "toolpath_check.h"
#include "toolpath_check_gtest.h"

namespace {

using qdtest::fakeControl;
using qdtest::FakeControlScope;
using qdtest::readFile;
using qdtest::writeFile;

constexpr char kBaseJob[] =
    "polySource := part.qdx\ntoolDiameter := 8\ntempDirectory := tmpd\nsurface := 20\n"
    "depth := -15\nclearancePlane := 900\n";

// The layer-0 "error" records of a POF text, in order.
std::vector<std::string> messagesOf(const std::string& pof) {
  std::vector<std::string> out;
  const std::regex re("0: error\\(([^)]*)\\)");
  for (auto it = std::sregex_iterator(pof.begin(), pof.end(), re); it != std::sregex_iterator();
       ++it) {
    out.push_back((*it)[1]);
  }
  return out;
}

bool has(const std::vector<std::string>& list, const std::string& item) {
  for (const std::string& s : list) {
    if (s == item) return true;
  }
  return false;
}

class Rpx5Job : public qdtest::CycleJobTest {
 protected:
  // Runs qdRpx5 on the ".pcf" base job with the extra lines.
  void runPcf(const std::string& extra, const char* name = "job") {
    writeFile(std::string(name) + ".pcf", kBaseJob + extra);
    ASSERT_EQ(run(rpx5CycleRecord(), name), kRunOk) << extra;
  }
  // Runs qdRpx5 on a ".CFG" job of the lines given.
  void runCfg(const std::string& lines, const char* name = "job") {
    writeFile(std::string(name) + ".CFG", lines);
    ASSERT_EQ(run(rpx5CycleRecord(), std::string(name) + ".CFG"), kRunOk) << lines;
  }
};

std::map<std::string, std::string>& entryKeys() {
  static std::map<std::string, std::string> keys;
  return keys;
}
void dumpAtEntry() { entryKeys() = qdtest::blockDump("entry.cfg"); }

}  // namespace

TEST(Rpx5Record, ChainAndOwnSlots) {
  CycleRecord* r = rpx5CycleRecord();
  EXPECT_STREQ(r->id, "qdRpx5");
  EXPECT_STREQ(r->title, "3D 5-Axis Z-Level Roughing Cycle");
  EXPECT_EQ(r->code, 1135);
  ASSERT_EQ(r->parent, ruppCycleRecord());
  ASSERT_EQ(cycParseOptions(r, nullptr, 0, 1), 1);
  std::vector<std::string> chain;
  for (CycleRecord* c = r; c != nullptr; c = c->parent) chain.push_back(c->id ? c->id : "");
  EXPECT_EQ(chain.size(), 5u);
  EXPECT_EQ(chain[2], "qdZfin");
  EXPECT_EQ(chain[3], "qdCyc3d");
  EXPECT_EQ(r->slots.phaseCompute, rpx5Run);
  EXPECT_EQ(r->slots.phaseReadParams, rpx5ReadParams);
  EXPECT_EQ(r->slots.phaseFinish, rpx5Finish);
  EXPECT_EQ(r->slots.phaseInit, cyc3dInit) << "init comes from the chain";
  EXPECT_EQ(rpx5DllMain(nullptr, 0, nullptr), 1);
}

// The roughing's result becomes the status word; the compute phase reports success whatever it
// was, and the controller's stand-in fails the run with message 3003.
TEST_F(Rpx5Job, ResultBecomesTheStatusWord) {
  const int cases[][2] = {{-2, 100}, {-1, 1}, {-8, 1}, {-1000, 1}, {0, 0}, {7, 0}};
  for (const auto& c : cases) {
    FakeControlScope fake;
    fakeControl().results = {c[0]};
    runPcf("");
    EXPECT_EQ(rpx5CycleRecord()->status, c[1]) << c[0];
    EXPECT_EQ(fakeControl().calls.size(), 1u);
  }
  pof();
  runPcf("");
  EXPECT_EQ(rpx5CycleRecord()->status, 1) << "the controller finds no model";
  const auto messages = messagesOf(pof());
  ASSERT_FALSE(messages.empty());
  EXPECT_TRUE(has(messages, "509,0"));
}

// The interrupt check reads the library's own record: 100 stops the moves at once (status 100),
// 104 asks for the end of the region; a signal on another record counts for nothing.
TEST_F(Rpx5Job, SignalsOfTheOwnRecordOnly) {
  struct Case {
    CycleRecord* record;
    int signal, answer, status;
    std::size_t moves;
  };
  const Case cases[] = {
      {rpx5CycleRecord(), 100, 1, 100, 0},
      {rpx5CycleRecord(), 104, 2, 0, 2},
      {ruppCycleRecord(), 100, 0, 0, 2},
  };
  for (const Case& c : cases) {
    FakeControlScope fake;
    fakeControl().moves = {{0, 0, 5}, {10, 0, 5}, {10, 10, 5}};
    fakeControl().signalRecord = c.record;
    fakeControl().signalValue = c.signal;
    writeFile("job.pcf", std::string(kBaseJob) + "NCOutp := true\n");
    run(rpx5CycleRecord(), "job");  // a stop now also skips the finish phase (its run code)
    c.record->signal = 0;
    ASSERT_EQ(fakeControl().calls.size(), 1u);
    EXPECT_EQ(fakeControl().calls[0].breakAnswer, c.answer) << c.signal;
    EXPECT_EQ(rpx5CycleRecord()->status, c.status) << c.signal;
    const std::string text = pof();
    std::size_t moves = 0;
    for (std::size_t at = text.find("\n32: G1 "); at != std::string::npos;
         at = text.find("\n32: G1 ", at + 1)) {
      ++moves;
    }
    EXPECT_EQ(moves, c.moves) << c.signal << "\n" << text;
    tpc::Path path;
    ASSERT_TRUE(tpc::passes(tpc::readPofText(path, text, tpc::Tool::flat(4), "signal")));
    EXPECT_TRUE(tpc::passes(tpc::checkSanity(path)));
  }
}

// The retract plane: absent or above the clearance plane it becomes the clearance plane and the
// finish sends nothing; below it, the finish rises to the clearance plane.
TEST_F(Rpx5Job, RetractPlaneRule) {
  struct Case {
    const char* extra;
    const char* sichebene;
    bool rise;
  };
  const Case cases[] = {
      {"", "900", false},
      {"retractPlane := 950\n", "900", false},
      {"retractPlane := 800\n", "800", true},
  };
  roughSetEntryProbe(dumpAtEntry);
  for (const Case& c : cases) {
    FakeControlScope fake;
    runPcf(c.extra);
    EXPECT_EQ(entryKeys().at("*SICHEBENE"), c.sichebene) << c.extra;
    const std::string text = pof();
    EXPECT_EQ(
        text.find("31: oPos") != std::string::npos || text.find("z[/900]") != std::string::npos,
        c.rise)
        << c.extra << text;
  }
  roughSetEntryProbe(nullptr);
}

// The copy of the five-axis record differs from the three-axis one: "outsideIn" leaves the
// stock movement 0, "*LIMIT_HEIGHT" is not written, and "reverse" sets "*OUTSIDE_IN".
TEST_F(Rpx5Job, FiveAxisCopyRules) {
  struct Case {
    const char* extra;
    const char* key;
    const char* value;
  };
  const Case cases[] = {
      {"stockStrategy := outsideIn\n", "*STOCK_MOVEMENT", "0"},
      {"stockStrategy := outsideIn\n", "*STOCK_MODE", "1"},
      {"stockStrategy := rapid\n", "*STOCK_MOVEMENT", "1"},
      {"collisionHeight := 12\n", "*LIMIT_HEIGHT", "99999"},
      {"", "*OUTSIDE_IN", "0"},
      {"stockStrategy := reverse\n", "*OUTSIDE_IN", "1"},
      {"strategy := standardY\n", "*AXIS_POCKET", "1"},
      {"", "*FRRADIUS", "4"},
  };
  roughSetEntryProbe(dumpAtEntry);
  for (const Case& c : cases) {
    FakeControlScope fake;
    ruppRecordResetState();  // the reverse-stock flag lives for the process once set
    runPcf(c.extra);
    EXPECT_EQ(entryKeys().at(c.key), c.value) << c.extra;
  }
  roughSetEntryProbe(nullptr);
}

// A ".pcf" job and its ".CFG" twin (the block of the ".pcf" run as it reached the roughing,
// written as a configuration file) leave the same block after the configuration and set-up.
TEST_F(Rpx5Job, PcfAndCfgTwinsLeaveTheSameBlock) {
  roughSetEntryProbe(dumpAtEntry);
  FakeControlScope fake;
  runPcf(
      "toolType := torus\ncornerRadius := 1\nallowance := 0.25\nstrategy := standardY\n"
      "stockStrategy := rapid\ninfeedFactor := 0.25\nretractPlane := 700\n"
      "approachType := 3\nplaneAllowance := 0.5\nautoStepDown := optimized\n");
  roughSetEntryProbe(nullptr);
  ASSERT_EQ(fakeControl().calls.size(), 1u);
  const auto pcf = fakeControl().calls[0].keys;
  writeFile("twin.CFG", readFile("entry.cfg"));
  runCfg(readFile("entry.cfg"), "twin");
  ASSERT_EQ(fakeControl().calls.size(), 2u);
  const auto cfg = fakeControl().calls[1].keys;
  ASSERT_EQ(pcf.size(), cfg.size());
  for (const auto& [key, value] : pcf) EXPECT_EQ(cfg.at(key), value) << key;
}

namespace {
// A ".CFG" job with a tool of radius 5 (unit factor 2) and the lines given.
std::string cfgJob(const std::string& lines) {
  return "*FRRADIUS 5\n*APPROX part.qdx\n*TMP_DIR tmpd\n*SICHDIST 2\n*REPORT_CLASS 2\n" + lines;
}

struct GoldenRow {
  const char* what;
  const char* lines;
  void (*check)(const qdtest::FakeCall& call, const std::vector<std::string>& messages);
};

constexpr double kRad = 3.14159265358979323846 / 180.0;
}  // namespace

// The set-up's records over a table of jobs: the cutter with its allowance, MachiningParams, the
// technology record and the messages (all lengths scaled: tool radius 10).
TEST_F(Rpx5Job, SetupRecordsOverATableOfJobs) {
  const GoldenRow rows[] = {
      {"ball + 0.5, tip output", "*FRTYP 1\n*AUFMASS 0.5\n*TOOL_TIP 1\n",
       [](const qdtest::FakeCall& c, const std::vector<std::string>& m) {
         EXPECT_EQ(c.cutter.type, 1);
         EXPECT_DOUBLE_EQ(c.cutter.radius, 11);
         EXPECT_DOUBLE_EQ(c.cutter.cornerRadius, 11);
         EXPECT_DOUBLE_EQ(c.cutter.zOffset, 10);
         EXPECT_TRUE(has(m, "504,0"));
         EXPECT_EQ(c.tech.toolTip, 1);
         EXPECT_EQ(c.tech.toolKind, 1);
         EXPECT_DOUBLE_EQ(c.tech.toolRadius, 10);
         EXPECT_EQ(c.params.tool.type, 1);
         EXPECT_DOUBLE_EQ(c.params.tool.radius, 11);
       }},
      {"ball, centre output", "*FRTYP 1\n*TOOL_TIP 2\n",
       [](const qdtest::FakeCall& c, const std::vector<std::string>& m) {
         EXPECT_DOUBLE_EQ(c.cutter.radius, 10);
         EXPECT_DOUBLE_EQ(c.cutter.zOffset, 0);
         EXPECT_TRUE(has(m, "505,0"));
         EXPECT_FALSE(has(m, "504,0"));
       }},
      {"flat + 0.5 is a torus, no tool-tip message", "*FRTYP 2\n*AUFMASS 0.5\n*TOOL_TIP 1\n",
       [](const qdtest::FakeCall& c, const std::vector<std::string>& m) {
         EXPECT_EQ(c.cutter.type, 3);
         EXPECT_DOUBLE_EQ(c.cutter.radius, 11);
         EXPECT_DOUBLE_EQ(c.cutter.cornerRadius, 1);
         EXPECT_FALSE(has(m, "504,0"));
       }},
      {"torus 5/1 - 1.2 is flat", "*FRTYP 3\n*FRBOGEN 1\n*AUFMASS -1.2\n*TOOL_TIP 2\n",
       [](const qdtest::FakeCall& c, const std::vector<std::string>& m) {
         EXPECT_EQ(c.cutter.type, 2);
         EXPECT_NEAR(c.cutter.radius, 7.6, 1e-12);
         EXPECT_NEAR(c.cutter.zOffset, 0.4, 1e-12);
         EXPECT_TRUE(has(m, "505,0"));
       }},
      {"finish pass 2: stay-down 40 capped at 20",
       "*FINISH_PASS 2\n*RUPP_MAXDIST 0\n*ZIGZAG_FACTOR 1\n*VERTZUSTEL 5\n*MACRO_RETURN 1\n",
       [](const qdtest::FakeCall& c, const std::vector<std::string>&) {
         EXPECT_EQ(c.params.stayDown, 1);
         EXPECT_DOUBLE_EQ(c.params.stayDownDistance, 20);
         EXPECT_EQ(c.keys.at("*RUPP_MAXDIST"), "40");
         EXPECT_DOUBLE_EQ(c.tech.stayDownDistance, 40);
         EXPECT_EQ(c.keys.at("*BEARBEITRICHT"), "1");
       }},
      {"finish pass 2: a jump shorter than the step-down",
       "*FINISH_PASS 2\n*RUPP_MAXDIST 3\n*VERTZUSTEL 5\n*MACRO_RETURN 1\n",
       [](const qdtest::FakeCall& c, const std::vector<std::string>&) {
         EXPECT_EQ(c.params.stayDown, 0);
         EXPECT_DOUBLE_EQ(c.params.stayDownDistance, 0);
       }},
      {"finish pass 2: a longer jump",
       "*FINISH_PASS 2\n*RUPP_MAXDIST 8\n*VERTZUSTEL 5\n*MACRO_RETURN 2\n",
       [](const qdtest::FakeCall& c, const std::vector<std::string>&) {
         EXPECT_EQ(c.params.stayDown, 0) << "no return macro";
         EXPECT_DOUBLE_EQ(c.params.stayDownDistance, 16);
       }},
      {"no B range: strategy 3 runs as 2", "*BRANGE 0\n*AVOID_STRATEGY 3\n",
       [](const qdtest::FakeCall& c, const std::vector<std::string>& m) {
         EXPECT_EQ(c.params.avoidStrategy, 2);
         EXPECT_EQ(c.keys.at("*AVOID_STRATEGY"), "3");
         EXPECT_FALSE(has(m, "1104,avoidSetBRange"));
       }},
      {"a B range is asked for", "*BRANGE 10\n*AVOID_STRATEGY 4\n",
       [](const qdtest::FakeCall& c, const std::vector<std::string>& m) {
         EXPECT_EQ(c.params.avoidStrategy, 3) << "4 runs as 3";
         EXPECT_EQ(c.keys.at("*SMOOTH_5AX"), "1");
         EXPECT_TRUE(has(m, "1104,avoidSetBRange"));
       }},
      {"negative B range", "*BRANGE -3\n",
       [](const qdtest::FakeCall& c, const std::vector<std::string>&) {
         EXPECT_EQ(c.keys.at("*BRANGE"), "0");
       }},
      {"macro start 5 keeps the kind", "*MACRO_START 5\n*MACRO_END 8\n",
       [](const qdtest::FakeCall& c, const std::vector<std::string>&) {
         EXPECT_EQ(c.params.approach.approachKind, 23);
         EXPECT_EQ(c.params.approach.retractKind, 23);
       }},
      {"macro kinds 1 and 3, no return", "*MACRO_START 1\n*MACRO_END 3\n*MACRO_RETURN 2\n",
       [](const qdtest::FakeCall& c, const std::vector<std::string>&) {
         EXPECT_EQ(c.params.approach.approachKind, 22);
         EXPECT_EQ(c.params.approach.retractKind, 24);
         EXPECT_EQ(c.params.approach.returnFlag, 1);
       }},
      {"macro files",
       "*MACRO_START 100\n*MACRO_SNAME in.mac\n*MACRO_END 100\n*MACRO_ENAME out.mac\n",
       [](const qdtest::FakeCall& c, const std::vector<std::string>&) {
         EXPECT_EQ(c.params.approach.approachKind, 100);
         EXPECT_EQ(c.params.approach.retractKind, 100);
         EXPECT_STREQ(approachMacroFile(), "in.mac");
         EXPECT_STREQ(approachRetractFile(), "out.mac");
       }},
      {"macro angles in radians, lengths scaled",
       "*MACRO_START 2\n*MACRO_SRAD 1.5\n*MACRO_SWIN 90\n*MACRO_TSWIN 45\n*MACRO_IWIN 10\n",
       [](const qdtest::FakeCall& c, const std::vector<std::string>&) {
         EXPECT_EQ(c.params.approach.approachKind, 23);
         EXPECT_DOUBLE_EQ(c.params.approach.approachLength, 1.5) << "a key without a length flag";
         EXPECT_NEAR(c.params.approach.approachTurn, 90 * kRad, 1e-12);
         EXPECT_NEAR(c.params.approach.approachIncline, 45 * kRad, 1e-12);
         EXPECT_NEAR(c.params.approach.stepAngle, 10 * kRad, 1e-12);
       }},
      {"tilt angle below 0.1 becomes 5", "*TILT_ANGLE 0\n",
       [](const qdtest::FakeCall& c, const std::vector<std::string>& m) {
         EXPECT_TRUE(has(m, "7102,5.000000"));
         EXPECT_NEAR(c.params.tiltAngle, 5 * kRad, 1e-12);
         EXPECT_EQ(c.keys.at("*TILT_ANGLE"), "5");
       }},
      {"tilt angle kept", "*TILT_ANGLE 10\n*TILT_MAX 30\n*STEP_WIN 60\n",
       [](const qdtest::FakeCall& c, const std::vector<std::string>& m) {
         EXPECT_FALSE(has(m, "7102,5.000000"));
         EXPECT_NEAR(c.params.tiltAngle, 10 * kRad, 1e-12);
         EXPECT_NEAR(c.params.maxTilt, 30 * kRad, 1e-12);
         EXPECT_NEAR(c.params.axisChangeCos, 0.5, 1e-12);
       }},
      {"feeds of the technology record",
       "*RVORSCHUB 60\n*VVORSCHUB 700\n*MACRO_SFEED 110\n*MACRO_EFEED 120\n*MACRO_LFEED 150\n",
       [](const qdtest::FakeCall& c, const std::vector<std::string>&) {
         EXPECT_DOUBLE_EQ(c.tech.reducedFeed, 60);
         EXPECT_DOUBLE_EQ(c.tech.fullSectionFeed, 700);
         EXPECT_DOUBLE_EQ(c.tech.approachFeed, 110);
         EXPECT_DOUBLE_EQ(c.tech.retractFeed, 120);
         EXPECT_DOUBLE_EQ(c.tech.infeedFeed, 150);
         EXPECT_DOUBLE_EQ(c.tech.clearanceFeed, 0) << "the unused default -1";
         EXPECT_DOUBLE_EQ(c.params.clearFeed, 0);
         EXPECT_DOUBLE_EQ(c.tech.leadingEdgeFeed + c.tech.fastRetractFeed, 0);
       }},
      {"a clearance feed", "*CLEAR_FEEDRATE 300\n",
       [](const qdtest::FakeCall& c, const std::vector<std::string>&) {
         EXPECT_DOUBLE_EQ(c.tech.clearanceFeed, 300);
         EXPECT_DOUBLE_EQ(c.params.clearFeed, 300);
       }},
      {"too small a stepover", "*HORIZUSTEL 0.01\n",
       [](const qdtest::FakeCall& c, const std::vector<std::string>& m) {
         EXPECT_EQ(c.keys.at("*HORIZUSTEL"), "0.1");
         EXPECT_TRUE(has(m, "1002,0"));
       }},
      {"rapid infeed adds the corner", "*ZUST_EILGANG 1\n*FRTYP 3\n*FRBOGEN 1\n",
       [](const qdtest::FakeCall& c, const std::vector<std::string>&) {
         EXPECT_DOUBLE_EQ(c.params.clearanceDistance, 6);
         EXPECT_EQ(c.params.rapidInfeed, 1);
       }},
      {"contour-parallel without stock: no macros", "*BEARBEITRICHT 3\n*MACRO_SRAD 2\n",
       [](const qdtest::FakeCall& c, const std::vector<std::string>&) {
         EXPECT_DOUBLE_EQ(c.params.approach.approachLength, 0);
         EXPECT_DOUBLE_EQ(c.params.approach.retractLength, 0);
       }},
      {"no model file goes on with 509", "*APPROX\n",
       [](const qdtest::FakeCall& c, const std::vector<std::string>& m) {
         EXPECT_TRUE(has(m, "509,0"));
         EXPECT_EQ(c.model.boundaryGiven, 0) << "no boundary either";
       }},
      {"model steps corrected", "*PRECISION 0.00001\n",
       [](const qdtest::FakeCall& c, const std::vector<std::string>& m) {
         EXPECT_DOUBLE_EQ(c.model.minStep, 0.0001);
         EXPECT_TRUE(has(m, "514,0.000050")) << "in the user's units";
       }},
      {"hidden options of the comment", "*COMMENT FAN_DIST=3 STEP=0.5\n",
       [](const qdtest::FakeCall& c, const std::vector<std::string>&) {
         EXPECT_EQ(c.keys.at("*FAN_DIST"), "6");
         EXPECT_EQ(c.keys.at("*HORIZUSTEL"), "10");
         EXPECT_EQ(c.keys.at("*MACRO_TRAD"), "4");
       }},
  };
  int n = 0;
  for (const GoldenRow& row : rows) {
    SCOPED_TRACE(row.what);
    FakeControlScope fake;
    const std::string name = "row" + std::to_string(n++);
    runCfg(cfgJob(row.lines), name.c_str());
    ASSERT_EQ(fakeControl().calls.size(), 1u);
    const auto messages = messagesOf(pof());
    row.check(fakeControl().calls[0], messages);
    EXPECT_EQ(rpx5CycleRecord()->status, 0);
  }
}

// The flat-plane pass: its controller call sees one level per outline at the outline's height
// over the whole depth, a quarter of the grid factor and the second-pass flags; its result
// replaces the first; after the run the keys it changed are back.
TEST_F(Rpx5Job, FlatPlanePassAndItsKeys) {
  const std::string job = cfgJob("*STEP_MODE 3\n*GRID_FACTOR 0.2\n*TIEF -5\n*STEP_STRATEGY 1\n");
  {
    FakeControlScope fake;
    fakeControl().markPlanes = true;
    fakeControl().results = {0, -2};
    runCfg(job);
    const auto& calls = fakeControl().calls;
    ASSERT_EQ(calls.size(), 2u);
    EXPECT_EQ(rpx5CycleRecord()->status, 100) << "the second result replaces the first";
    EXPECT_EQ(calls[0].secondPass + calls[0].planePass, 0);
    const auto& second = calls[1].keys;
    EXPECT_EQ(second.at("*STEP_MODE"), "2");
    EXPECT_EQ(second.at("*STEP_STRATEGY"), "0");
    EXPECT_EQ(second.at("*USEBNDZVAL"), "1");
    EXPECT_EQ(second.at("*TIEF"), "-10000");
    EXPECT_EQ(second.at("*GRID_FACTOR"), "0.05");
    EXPECT_EQ(second.at("*WCOLL"), "1");
    EXPECT_EQ(second.at("*BOUNDARY"), "tmpd/sopttmp.bnd");
    EXPECT_EQ(calls[1].secondPass, 1);
    EXPECT_EQ(calls[1].planePass, 1);
    EXPECT_EQ(calls[1].model.boundaryGiven, 1);
    EXPECT_EQ(calls[1].model.boundaryMode, 0);
    EXPECT_EQ(roughSecondPass(), 0);
    const auto after = qdtest::blockDump("after.cfg");
    for (const char* key : {"*STEP_MODE", "*STEP_STRATEGY", "*USEBNDZVAL", "*TIEF", "*GRID_FACTOR",
                            "*WCOLL", "*BOUNDARY"}) {
      EXPECT_EQ(after.at(key), calls[0].keys.at(key)) << key;
    }
  }
  struct Case {
    const char* what;
    std::string lines;
    bool planes;
    std::vector<int> results;
    std::size_t calls;
    int status;
  };
  const Case cases[] = {
      {"no flat plane found", job, false, {0}, 1, 0},
      {"a failed first pass", job, true, {-1}, 1, 1},
      {"step mode 2", cfgJob("*STEP_MODE 2\n"), true, {0}, 1, 0},
      {"a good second pass", job, true, {-1000, 4}, 1, 1},
      {"a good second pass after a good first", job, true, {3, 4}, 2, 0},
  };
  for (const Case& c : cases) {
    FakeControlScope fake;
    fakeControl().markPlanes = c.planes;
    fakeControl().results = c.results;
    runCfg(c.lines);
    EXPECT_EQ(fakeControl().calls.size(), c.calls) << c.what;
    EXPECT_EQ(fakeControl().calls[0].planePass, 0) << c.what << ": the marker is run state";
    EXPECT_EQ(rpx5CycleRecord()->status, c.status) << c.what;
  }
}

// One ball job with tip and with centre output: the tip lies R below the centre along the tool
// axis of the NC frame, whatever the clearance plane; the points are the controller's.
TEST_F(Rpx5Job, TipOutputLiesOneRadiusAlongTheAxis) {
  struct Case {
    const char* what;
    const char* frame;
    Point3D axis;  // the tool axis in the NC frame
  };
  const Case cases[] = {
      {"clearance plane 50", "*SICHEBENE 50\n", {0, 0, 1}},
      {"clearance plane -50", "*SICHEBENE -50\n", {0, 0, 1}},
      {"frame turned about x",
       "*SICHEBENE -50\n*NCKO_Y 0 0.6 0.8\n*NCKO_Z 0 -0.8 0.6\n",
       {0, 0.8, 0.6}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    std::vector<tpc::Path> paths(2);
    for (int tip = 1; tip <= 2; ++tip) {
      FakeControlScope fake;
      fakeControl().moves = {{0, 0, 20}, {30, 0, 20}, {30, 15, 20}, {0, 15, 22}};
      fakeControl().axis = c.axis;
      std::remove("out_tip.pof");
      runCfg("*FRRADIUS 3\n*FRTYP 1\n*APPROX part.qdx\n*APT out_tip.pof\n*TOOL_TIP " +
                 std::to_string(tip) + "\n" + c.frame,
             tip == 1 ? "tip" : "centre");
      EXPECT_EQ(rpx5CycleRecord()->status, 0);
      tpc::Path& path = paths[tip - 1];
      ASSERT_TRUE(tpc::passes(tpc::readPof(path, "out_tip.pof", tpc::Tool::ball(3))));
      EXPECT_TRUE(tpc::passes(tpc::checkSanity(path)));
    }
    ASSERT_EQ(paths[0].moves.size(), paths[1].moves.size());
    ASSERT_GE(paths[0].moves.size(), 3u);
    for (std::size_t i = 0; i < paths[0].moves.size(); ++i) {
      const tpc::Vec3& t = paths[0].moves[i].to;
      const tpc::Vec3& m = paths[1].moves[i].to;
      EXPECT_NEAR(m.x - t.x, 3 * c.axis.x, 1e-9) << i;
      EXPECT_NEAR(m.y - t.y, 3 * c.axis.y, 1e-9) << i;
      EXPECT_NEAR(m.z - t.z, 3 * c.axis.z, 1e-9) << i;
    }
  }
}

// Tilt mode 3 without a tilt curve stops with -8 (message 6001), and the run still closes its
// output and releases what it set up (LeakSanitizer checks the rest).
TEST_F(Rpx5Job, EarlyExitClosesTheRun) {
  FakeControlScope fake;
  runCfg(cfgJob("*TILT_STRATEGY 3\n*TILT_CURVE none.tc\n"));
  EXPECT_EQ(fakeControl().calls.size(), 0u);
  EXPECT_EQ(rpx5CycleRecord()->status, 1);
  const std::string text = pof();
  EXPECT_TRUE(has(messagesOf(text), "6001,none.tc")) << text;
  EXPECT_NE(text.find("12: clr all"), std::string::npos) << "the output is closed\n" << text;
  EXPECT_EQ(roughStandInTiltCurrent(), nullptr);
}
