// The pocket cycle run in-process through the option parser and the phase runner: the records of
// a rectangle job, a job without tool, the level plan against a brute-force filter, a level
// without outer contour, two runs in one process, and a run nested inside another cycle's run.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <random>
#include <string>
#include <vector>

#include "ccp_support.h"
#include "framework/kernel.h"
#include "framework/memory.h"
#include "framework/numtext.h"
#include "framework/output.h"
#include "framework/output_records.h"
#include "framework/param_list.h"
#include "framework/pof_writer.h"
#include "pocket/ccp_params.h"
#include "pocket/contour_geom.h"
#include "pocket/engine_state.h"
#include "pocket/layer_store.h"
#include "pocket/pock_geometry.h"
#include "pocket/pock_level.h"

using namespace ccptest;
using qdtest::readFile;
using qdtest::writeFile;

namespace {
class CcpRunTest : public ccptest::CcpRunFixture {};

bool has(const std::string& text, const std::string& line) {
  return text.find(line + "\n") != std::string::npos;
}

const std::vector<std::pair<std::string, std::string>> kRectangleJob = {{"geoSource", "rect.qdx"},
                                                                        {"toolDiameter", "10"},
                                                                        {"oriAutomatic", "none"},
                                                                        {"depth", "5"},
                                                                        {"pofFilename", "out.pof"}};
}  // namespace

// A rectangle job: the cycle record, the echo of its keys, the level's cut and the end record;
// the run succeeds without an error record.
TEST_F(CcpRunTest, RectangleJob) {
  writeFile("rect.qdx", xchgHeader() + lineContour(rectangle(0, 0, 40, 30)));
  writeFile("job.pcf", pcf(kRectangleJob));
  EXPECT_EQ(runCycle(ccpCycleRecord(), "job"), kRunOk);
  const std::string out = readFile("out.pof");
  EXPECT_TRUE(has(out, "0: cycle(Brevonix 2D Contour Parallel Pocket Cycle)")) << out;
  EXPECT_TRUE(has(out, "0: msgFile(rspockhc.loc)")) << out;
  EXPECT_TRUE(has(out, "0: layers(12)")) << out;
  EXPECT_TRUE(has(out, "1: call(\"toolDiameter\":=\"10\")")) << out;
  EXPECT_EQ(out.find("0: error("), std::string::npos) << out;
  EXPECT_TRUE(has(out, "31: vstart(drill)")) << out;
  EXPECT_TRUE(has(out, "0: cycleEnd(Brevonix 2D Contour Parallel Pocket Cycle)")) << out;
  EXPECT_EQ(ccpCycleRecord()->status, 0);
  // The run leaves no layer and no scale behind.
  EXPECT_EQ(layerCount("INPUT"), 0);
  EXPECT_EQ(layerCount("MAIN"), 0);
  EXPECT_EQ(pockEngine().scaleFactor, 1.0);
}

TEST_F(CcpRunTest, JobWithoutTool) {
  writeFile("rect.qdx", xchgHeader() + lineContour(rectangle(0, 0, 40, 30)));
  writeFile("job.pcf", pcf({{"geoSource", "rect.qdx"}, {"pofFilename", "out.pof"}}));
  EXPECT_EQ(runCycle(ccpCycleRecord(), "job"), kRunReadParamsFailed);
  const std::string out = readFile("out.pof");
  // The missing key is a fatal error record: the output ends with it.
  EXPECT_TRUE(has(out, "0: error(1,(toolDiameter))")) << out;
  EXPECT_EQ(ccpCycleRecord()->status, 1);
}

namespace {
// What the per-level pocketing received: per level the run's top and depth and MAIN's contours.
struct SeenLevel {
  double top, depth;
  std::vector<ContourHeader> main;
  std::vector<ContourHeader> expected;  // brute force over INPUT
};
std::vector<SeenLevel>& seen() {
  static std::vector<SeenLevel> s;
  return s;
}
std::vector<double>& seenAllowances() {
  static std::vector<double> s;
  return s;
}

// The brute-force MAIN of a level with bottom z: every INPUT contour whose top lies above z and
// whose floor does not, those running like the outer contour first.
void observeLevel() {
  const CcpRunState& run = ccpRunState();
  SeenLevel level{run.levelTop, run.levelDepth, {}, {}};
  const double z = run.levelTop - run.levelDepth;
  for (int i = 0; i < layerCount("MAIN"); ++i) {
    ContourHeader h{};
    layerGetHeader("MAIN", &h, i);
    level.main.push_back(h);
  }
  std::vector<ContourHeader> islands;
  for (int i = 0; i < layerCount("INPUT"); ++i) {
    ContourHeader h{};
    layerGetHeader("INPUT", &h, i);
    if (!(h.zTop - z >= 1e-5 && h.zBottom - z <= 1e-5)) continue;
    (h.ccw == h.leftSide ? level.expected : islands).push_back(h);
  }
  level.expected.insert(level.expected.end(), islands.begin(), islands.end());
  seen().push_back(level);
  for (int i = 0; i < layerCount("MAIN"); ++i) seenAllowances().push_back(pockAllowances()[i]);
}

std::string rectangleWith(double x0, double y0, double x1, double y1, bool ccw, double surface,
                          double depth, double allowance) {
  char vars[200];
  std::snprintf(vars, sizeof vars,
                "  vsideOfCompensation( leftOfContour )\n  vsurface(%.6f)\n  vdepth(%.6f)\n"
                "  vplaneAllowance(%.6f)\n",
                surface, depth, allowance);
  return lineContour(rectangle(x0, y0, x1, y1, ccw), vars);
}
}  // namespace

// Random pockets: an outer rectangle from 0 down to -d and islands with their own tops and
// floors. Each level's MAIN equals the brute-force filter of INPUT by the level's bottom, the
// levels step no deeper than the infeed depth and stop at every top and floor, and the allowances
// follow MAIN's order.
TEST_F(CcpRunTest, LevelPlanMatchesBruteForce) {
  std::mt19937 rng(341);
  std::uniform_real_distribution<double> u(0.0, 1.0);
  // Values on a grid of 0.001, so that the texts of the files carry them exactly.
  auto q = [](double x) { return std::round(x * 1000.0) / 1000.0; };
  pockLevelSetObserver(observeLevel);
  for (int round = 0; round < 25; ++round) {
    seen().clear();
    seenAllowances().clear();
    const double d = q(4 + 16 * u(rng));
    const double step = round % 5 == 0 ? 0.0 : q(1 + 5 * u(rng));
    std::string file = xchgHeader() + rectangleWith(0, 0, 200, 100, true, 0, d, 0.5);
    std::vector<double> stops{0, -d};
    const int islands = 1 + static_cast<int>(rng() % 4);
    for (int k = 0; k < islands; ++k) {
      const double top = q(-d * u(rng) * 0.9);
      const double floor = q(top - (d + top) * u(rng));
      stops.push_back(top);
      stops.push_back(floor);
      // Islands run clockwise with the tool on their left: islands by their side.
      file +=
          rectangleWith(10 + 45 * k, 20, 40 + 45 * k, 80, false, top, top - floor, 0.01 * (k + 1));
    }
    writeFile("pocket.qdx", file);
    // Without a stepover each level gets its first rings only: the plan is what is checked.
    writeFile("job.pcf", pcf({{"geoSource", "pocket.qdx"},
                              {"toolDiameter", "10"},
                              {"oriAutomatic", "none"},
                              {"infeedFactor", "0"},
                              {"infeedDepth", std::to_string(step)},
                              {"pofFilename", "out.pof"}}));
    ASSERT_EQ(runCycle(ccpCycleRecord(), "job"), kRunOk) << round;
    ASSERT_FALSE(seen().empty()) << round;
    double previous = 0;
    std::size_t a = 0;
    for (std::size_t k = 0; k < seen().size(); ++k) {
      const SeenLevel& level = seen()[k];
      EXPECT_NEAR(level.top, previous, 1e-12) << round << " level " << k;
      EXPECT_GT(level.depth, 1e-5);
      if (step > 0) {
        EXPECT_LE(level.depth, step + 1e-9) << round << " level " << k;
      }
      previous = level.top - level.depth;
      ASSERT_EQ(level.main.size(), level.expected.size()) << round << " level " << k;
      for (std::size_t i = 0; i < level.main.size(); ++i) {
        EXPECT_EQ(level.main[i].zTop, level.expected[i].zTop) << round << " level " << k;
        EXPECT_EQ(level.main[i].zBottom, level.expected[i].zBottom) << round << " level " << k;
        EXPECT_EQ(seenAllowances()[a++], level.main[i].allowance) << round << " level " << k;
      }
    }
    EXPECT_NEAR(previous, -d, 1e-9) << round;
    // Every top and floor is a level boundary.
    for (double s : stops) {
      bool found = std::fabs(s) < 1e-9;
      for (const SeenLevel& level : seen())
        found = found || std::fabs(level.top - level.depth - s) < 1e-6;
      EXPECT_TRUE(found) << round << " stop " << s;
    }
  }
}

// A level below the outer contour's floor holds only an island: the run reports "207" and fails.
TEST_F(CcpRunTest, LevelWithoutOuterContour) {
  writeFile("pocket.qdx", xchgHeader() + rectangleWith(0, 0, 100, 100, true, 0, 3, 0) +
                              rectangleWith(20, 20, 40, 40, false, 0, 6, 0));
  writeFile("job.pcf", pcf({{"geoSource", "pocket.qdx"},
                            {"toolDiameter", "10"},
                            {"oriAutomatic", "none"},
                            {"pofFilename", "out.pof"}}));
  EXPECT_EQ(runCycle(ccpCycleRecord(), "job"), kRunComputeFailed);
  const std::string out = readFile("out.pof");
  EXPECT_TRUE(has(out, "0: error(207)")) << out;
  EXPECT_EQ(layerCount("MAIN"), 0);
}

namespace {
std::vector<double>& retractPlanes() {
  static std::vector<double> v;
  return v;
}
void observeRetract() { retractPlanes().push_back(ccpRecordOf(ccpCycleRecord())->retractPlane); }
std::vector<double>& rapidZ() {
  static std::vector<double> v;
  return v;
}
int captureMoves(CycleRecord*, OutputRecord* r) {
  if (r->type == 3102) rapidZ().push_back(r->move.z);
  return 1;
}
}  // namespace

// A retract plane below the clearance plane stays only when given as a key; the finish phase
// then moves up to the clearance plane. Without the key the retract plane is the clearance plane.
TEST_F(CcpRunTest, FinalRetract) {
  pockLevelSetObserver(observeRetract);
  writeFile("rect.qdx", xchgHeader() + lineContour(rectangle(0, 0, 40, 30)));
  auto keys = kRectangleJob;
  keys.push_back({"clearancePlane", "10"});
  writeFile("job.pcf", pcf(keys));
  runCycle(ccpCycleRecord(), "job");
  keys.push_back({"retractPlane", "5"});
  writeFile("job.pcf", pcf(keys));
  runCycle(ccpCycleRecord(), "job");
  EXPECT_EQ(retractPlanes(), (std::vector<double>{10, 5}));

  CycleRecord* c = ccpCycleRecord();
  c->firstOutputPending = 0;
  cycRegisterLayer(c, 31, captureMoves, captureMoves, 1);
  CcpRecord* r = ccpRecordOf(c);
  r->clearancePlane = 10;
  for (double plane : {10.0, 5.0}) {
    r->retractPlane = plane;
    EXPECT_EQ(ccpCleanup(c), 1);
  }
  cycFreeLayers(c);
  EXPECT_EQ(rapidZ(), (std::vector<double>{10}));
}

namespace {
struct RunValues {
  double toolDiameter, planeAllowance, helixPlungeAngle, scaleFactor;
};
std::vector<RunValues>& runValues() {
  static std::vector<RunValues> v;
  return v;
}
void observeValues() {
  const CcpRecord* r = ccpRecordOf(ccpCycleRecord());
  runValues().push_back(
      {r->toolDiameter, r->planeAllowance, r->helixPlungeAngle, pockEngine().scaleFactor});
}
}  // namespace

// Two nested runs of a small tool in one process: the second run reads no plane allowance and no
// plunge angle and keeps those of the first as read, scaled once and converted once; the scale
// factor goes back to 1 after each run.
TEST_F(CcpRunTest, TwoRunsInOneProcess) {
  runValues().clear();
  pockLevelSetObserver(observeValues);
  writeFile("rect.qdx", xchgHeader() + lineContour(rectangle(0, 0, 4, 3)));
  writeFile("one.pcf", pcf({{"geoSource", "rect.qdx"},
                            {"toolDiameter", "0.5"},
                            {"oriAutomatic", "none"},
                            {"depth", "1"},
                            {"planeAllowance", "0.1"},
                            {"helixPlungeAngle", "30"},
                            {"pofFilename", "one.pof"}}));
  writeFile("two.pcf",
            pcf({{"geoSource", "rect.qdx"}, {"toolDiameter", "0.5"}, {"pofFilename", "two.pof"}}));
  ccpSetNested(1);
  runCycle(ccpCycleRecord(), "one");
  EXPECT_EQ(pockEngine().scaleFactor, 1.0);
  const CcpRecord* r = ccpRecordOf(ccpCycleRecord());
  EXPECT_EQ(r->toolDiameter, 0.5);
  EXPECT_EQ(r->planeAllowance, 0.1);
  runCycle(ccpCycleRecord(), "two");
  ccpSetNested(0);
  ASSERT_EQ(runValues().size(), 2u);
  for (const RunValues& v : runValues()) {
    EXPECT_EQ(v.scaleFactor, 25.0);
    EXPECT_DOUBLE_EQ(v.toolDiameter, 0.5 * 25);
    EXPECT_DOUBLE_EQ(v.planeAllowance, 0.1 * 25);
    EXPECT_DOUBLE_EQ(v.helixPlungeAngle, 30 * 0.017453292519943295);
  }
  EXPECT_EQ(pockEngine().scaleFactor, 1.0);

  // A run that is not nested starts from the values at load: the plane allowance is 0 again.
  runValues().clear();
  writeFile("three.pcf", pcf({{"geoSource", "rect.qdx"},
                              {"toolDiameter", "0.5"},
                              {"oriAutomatic", "none"},
                              {"pofFilename", "three.pof"}}));
  runCycle(ccpCycleRecord(), "three");
  ASSERT_EQ(runValues().size(), 1u);
  EXPECT_EQ(runValues()[0].planeAllowance, 0.0);
  EXPECT_DOUBLE_EQ(runValues()[0].helixPlungeAngle, 20 * 0.017453292519943295);
}

namespace {
// An outer cycle whose compute phase runs the pocket cycle nested, then writes a comment of its
// own.
int outerInit(CycleRecord* cycle) {
  for (std::uint16_t layer : {0, 1, 2}) {
    cycRegisterLayer(cycle, layer, pofTextWriterFor(layer), nullptr, 1);
  }
  numSetPrecision(3);
  cycSendTextRecord(cycle, 0, 103, "cycle", cycle->title);
  return 1;
}
int outerCompute(CycleRecord* cycle) {
  ccpSetNested(1);
  const int code = runCycle(pockSetSourceLoader(ccpCycleRecord()), "tmp");
  ccpSetNested(0);
  char text[64];
  std::snprintf(text, sizeof text, "nested %d precision %d", code, numPrecision());
  cycSendComment(cycle, text);
  return 1;
}
}  // namespace

TEST_F(CcpRunTest, NestedRunLeavesTheOuterRunIntact) {
  CycleRecord outer;
  outer.parent = &cycKernel;
  outer.title = "Outer";
  outer.id = "outer";
  outer.slots.phaseInit = outerInit;
  outer.slots.phaseCompute = outerCompute;
  writeFile("rect.qdx", xchgHeader() + lineContour(rectangle(0, 0, 40, 30)));
  auto keys = kRectangleJob;
  keys.back() = {"pofFilename", "tmp.pof"};
  keys.push_back({"precision", "8"});
  writeFile("tmp.pcf", pcf(keys));
  writeFile("outer.pcf", pcf({{"pofFilename", "outer.pof"}}));
  std::string id = "outer", s = "-souter", pof = "-POF";
  char* argv[] = {id.data(), s.data(), pof.data()};
  ASSERT_EQ(cycParseOptions(&outer, argv, 3, 0), 1);
  EXPECT_EQ(cycRun(&outer), kRunOk);
  const std::string out = readFile("outer.pof");
  const std::string nested = readFile("tmp.pof");
  EXPECT_TRUE(has(out, "0: cycle(Outer)")) << out;
  EXPECT_TRUE(has(out, "2: nested 0 precision 3")) << out;
  EXPECT_TRUE(has(out, "0: cycleEnd(Outer)")) << out;
  EXPECT_EQ(out.find("Pocket"), std::string::npos) << out;
  EXPECT_EQ(nested.find("0: error("), std::string::npos) << nested;
  EXPECT_TRUE(has(nested, "0: cycleEnd(Brevonix 2D Contour Parallel Pocket Cycle)")) << nested;
}

namespace {
// Loads the sources of the pocket record for the source name and returns the parameter list's
// value of key (empty when absent).
std::string loadedValue(const char* source, const char* key) {
  CycleRecord* c = ccpCycleRecord();
  parListFree(c->params);
  c->params = nullptr;
  memFree(c->source);
  c->source = memStrDup(source);
  ccpLoadSources(c);
  std::int16_t kind = 0;
  char* v = ccpOptionValue(c->params, key, &kind);
  std::string out = v != nullptr ? v : "";
  memFree(v);
  return out;
}
}  // namespace

// The source name gets ".pcf" unless it ends in it in any case; no definition file is read. The
// frame takes unit vectors from the frame options (a null vector keeps the column) and the tool
// frame follows it when no tool option is given.
TEST_F(CcpRunTest, LoadSources) {
  writeFile("job.pcf", pcf({{"a", "1"}}));
  writeFile("JOB.PCF", pcf({{"a", "2"}}));
  writeFile("qdCCP.def", pcf({{"fromDefinition", "1"}}));
  EXPECT_EQ(loadedValue("job", "a"), "1");
  EXPECT_EQ(loadedValue("JOB.PCF", "a"), "2");
  EXPECT_EQ(loadedValue("job", "fromDefinition"), "");

  writeFile("job.pcf",
            pcf({{"frameCs_x", "0 0 0"}, {"frameCs_y", "0 2 0"}, {"frameCs_o", "1 2 3"}}));
  loadedValue("job", "a");
  const AffineMatrix& f = ccpCycleRecord()->frame;
  const AffineMatrix& t = ccpCycleRecord()->tool;
  for (int i = 0; i < 16; ++i) {
    const double identity = kAffIdentity.m[i];
    const double expected = i == 3 ? 1 : i == 7 ? 2 : i == 11 ? 3 : identity;
    EXPECT_EQ(f.m[i], expected) << i;
    EXPECT_EQ(t.m[i], expected) << i;
  }
  writeFile("job.pcf", pcf({{"frameCs_x", "0 -2 0"}, {"toolCs_x", "0 0 5"}}));
  loadedValue("job", "a");
  EXPECT_EQ(f.m[4], -1);  // column 0 holds (0, -1, 0)
  EXPECT_EQ(t.m[8], 1);   // column 0 of the tool frame holds (0, 0, 1)
  memFree(ccpCycleRecord()->source);
  ccpCycleRecord()->source = nullptr;
}

namespace {
struct Scaled {
  std::vector<ContourElement> input, clamps;
  double factor = 0;
};
Scaled& scaled() {
  static Scaled s;
  return s;
}
void observeScaled() {
  scaled().factor = pockEngine().scaleFactor;
  for (const char* layer : {"INPUT", "CLAMPS"}) {
    std::vector<ContourElement>& out =
        std::string(layer) == "INPUT" ? scaled().input : scaled().clamps;
    ContourHeader h{};
    if (layerGetHeader(layer, &h, 0) != 0) continue;
    out.resize(static_cast<std::size_t>(h.count));
    layerGetContour(layer, out.data(), h.count, &h, 0);
  }
}
double maxCoordinate(const std::vector<ContourElement>& e) {
  double m = 0;
  for (const ContourElement& x : e)
    m = std::max({m, std::fabs(x.p0), std::fabs(x.p1), std::fabs(x.p2), std::fabs(x.p3)});
  return m;
}
}  // namespace

// A small tool computes in scaled lengths: the clamps, read after the pocket was scaled, are
// scaled alike, so they keep their place relative to the pocket, and reading them keeps the
// run's factor (their clean-up used to set it back to 1).
TEST_F(CcpRunTest, ClampsScaledWithThePocket) {
  scaled() = Scaled{};
  pockLevelSetObserver(observeScaled);
  writeFile("rect.qdx", xchgHeader() + lineContour(rectangle(0, 0, 4, 3)));
  writeFile("clamps.qdx", xchgHeader() + lineContour(rectangle(1, 1, 2, 2)));
  writeFile("job.pcf", pcf({{"geoSource", "rect.qdx"},
                            {"clamps", "clamps.qdx"},
                            {"toolDiameter", "0.5"},
                            {"oriAutomatic", "none"},
                            {"pofFilename", "out.pof"}}));
  EXPECT_EQ(runCycle(ccpCycleRecord(), "job"), kRunOk);
  ASSERT_EQ(scaled().input.size(), 4u);
  ASSERT_EQ(scaled().clamps.size(), 4u);
  EXPECT_DOUBLE_EQ(maxCoordinate(scaled().input), 4 * 25);
  EXPECT_DOUBLE_EQ(maxCoordinate(scaled().clamps), 2 * 25);
  EXPECT_EQ(scaled().factor, 25.0);
  EXPECT_EQ(layerCount("CLAMPS"), 0);
}

// A ".CFG" job: the tool reference found or not, the NC output switched off, and the read of the
// parameter keys after the ".CFG" keys (which gives no tool diameter here).
TEST_F(CcpRunTest, ConfigurationJob) {
  for (const bool found : {true, false}) {
    std::string cfg = "*TOOL_REFERENCE T1\n*TMP_DIR work\n*TOOL_TIP 0\n";
    if (found) cfg += "*TREF_T1 3.5\n";
    writeFile("job.CFG", cfg + "*APT out.pof\n");
    std::remove("out.pof");  // POF output is appended to
    EXPECT_EQ(runCycle(ccpCycleRecord(), "job.CFG"), kRunReadParamsFailed);
    const std::string out = readFile("out.pof");
    EXPECT_TRUE(has(out, found ? "0: error(771,T1)" : "0: error(770,T1)")) << out;
    EXPECT_TRUE(has(out, "1: call(\"NCOutp\":=\"false\")")) << out;
    EXPECT_EQ(pockCfg().toolTip, found ? 1 : 0);
    EXPECT_STREQ(pockCfg().tmpDir, "work");
  }
}

// A pocket whose depth levels cannot be computed (no contour at all) fails with the stepover error
// 1502 instead of ending without a toolpath and without a word.
TEST_F(CcpRunTest, NoLevelsIsAnError) {
  writeFile("empty.qdx", xchgHeader());
  writeFile("job.pcf", pcf({{"geoSource", "empty.qdx"},
                            {"toolDiameter", "10"},
                            {"oriAutomatic", "none"},
                            {"pofFilename", "out.pof"}}));
  EXPECT_EQ(runCycle(ccpCycleRecord(), "job"), kRunComputeFailed);
  const std::string out = readFile("out.pof");
  EXPECT_TRUE(has(out, "0: error(1502)")) << out;
  EXPECT_EQ(ccpCycleRecord()->status, 1);
}
