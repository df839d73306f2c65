// The common 3D cycle: the reader's decodings (one row per kind), the retract-plane rule, the
// mandatory keys, the output layers and header records of the init, the geometry source of an
// exchange-file run, the model check, the temporary files, the ".CFG" tool reference and the
// vector texts.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <functional>
#include <set>
#include <string>
#include <vector>

#include "../geometry/msg_capture.h"
#include "../model/test_stl_writers.h"
#include "cycle_job.h"
#include "cycles/cyc3d_record.h"
#include "cycles/run_reset.h"
#include "cycles/rupp_record.h"
#include "cycles/zfin_record.h"
#include "framework/cfg_reader.h"
#include "framework/kernel.h"
#include "framework/output.h"
#include "framework/output_records.h"
#include "framework/param_file.h"
#include "geometry/cycle_state.h"
#include "output/out3d_state.h"
#include "output/pof_reader.h"

namespace {

using qdtest::fileExists;
using qdtest::readFile;
using qdtest::writeFile;

const std::string kPid = std::to_string(static_cast<long>(getpid()));

// The qdCyc3d record with a parameter list of the test's own, reset before and after.
class Cyc3dTest : public qdtest::CycleJobTest {
 protected:
  void SetUp() override {
    CycleJobTest::SetUp();
    cyc3dResetRunState(rec());
  }
  void TearDown() override {
    CycleRecord* r = rec();
    parListFree(r->params);
    r->params = nullptr;
    parListFree(r->cfgEntries);
    r->cfgEntries = nullptr;
    r->sourceIsCfg = 0;
    r->outputMode = kCycOutputPof;
    r->mValue = 0;
    cycFreeLayers(r);
    cyc3dResetRunState(r);
    CycleJobTest::TearDown();
  }
  static CycleRecord* rec() { return cyc3dCycleRecord(); }
  static Cycle3dRecord* r3() { return cyc3dRecordOf(rec()); }
  static void param(const char* name, const char* value) {
    rec()->params = parListSet(rec()->params, name, value, kParKindSource);
  }
  static void mandatory() {
    param("polySource", "part.qdx");
    param("toolDiameter", "6");
  }
};

// One row per decoding kind: exact-case words, numbers as read and as absolute values, vectors,
// flags, the frame text and its switches. A word that a decoding does not list is read as its
// default (with a warning, below).
TEST_F(Cyc3dTest, DecodingTable) {
  struct Row {
    const char* key;
    const char* value;
    std::function<double()> field;
    double expected;
  };
  const auto R = [] { return r3(); };
  const std::vector<Row> rows = {
      {"toolType", "ballMill", [&] { return R()->toolType; }, 1},
      {"toolType", "endMill", [&] { return R()->toolType; }, 2},
      {"toolType", "EndMill", [&] { return R()->toolType; }, 3},
      {"rapidMode", "plane", [&] { return R()->rapidMode; }, 0},
      {"rapidMode", "Plane", [&] { return R()->rapidMode; }, 1},
      {"boundaryMode", "axis", [&] { return R()->boundaryMode; }, 0},
      {"boundaryMode", "to", [&] { return R()->boundaryMode; }, 2},
      {"boundaryMode", "past", [&] { return R()->boundaryMode; }, 3},
      {"boundaryMode", "on", [&] { return R()->boundaryMode; }, 1},
      {"approachType", "ramp", [&] { return R()->approachType; }, 8},
      {"approachType", "helix", [&] { return R()->approachType; }, 3},
      {"leavingType", "circle", [&] { return R()->leavingType; }, 2},
      {"returnMacro", "true", [&] { return R()->returnMacro; }, 2},
      {"returnMacro", "false", [&] { return R()->returnMacro; }, 1},
      {"toolReference", "tip", [&] { return R()->toolReference; }, 1},
      {"toolReference", "centre", [&] { return R()->toolReference; }, 2},
      {"spindleRotation", "counterClockwise", [&] { return R()->spindleRotation; }, 2},
      {"coolant", "true", [&] { return R()->coolant; }, 1},
      {"coolant", "false", [&] { return R()->coolant; }, 2},
      {"lengthOfUnit", "inch", [&] { return R()->lengthOfUnit; }, 1},
      {"ncFormat", "dsplineFormat", [&] { return R()->ncFormat; }, 1},
      {"ncFormat", "polyFormat", [&] { return R()->ncFormat; }, 2},
      {"removeTempFiles", "false", [&] { return R()->removeTempFiles; }, 0},
      {"removeTempFiles", "true", [&] { return R()->removeTempFiles; }, 1},
      {"slopeCondition", "zlevel", [&] { return R()->slopeCondition; }, 2},
      {"slopeCondition", "true", [&] { return R()->slopeCondition; }, 1},
      {"slopeCondition", "horizontal", [&] { return R()->slopeCondition; }, 3},
      {"slopeCondition", "Mixed", [&] { return R()->slopeCondition; }, 0},
      {"tiltStrategy", "offset", [&] { return R()->tiltStrategy; }, 1},
      {"tiltStrategy", "lead", [&] { return R()->tiltStrategy; }, 1},
      {"tiltStrategy", "climb", [&] { return R()->tiltStrategy; }, 2},
      {"tiltStrategy", "lag", [&] { return R()->tiltStrategy; }, 2},
      {"tiltStrategy", "radial", [&] { return R()->tiltStrategy; }, 5},
      {"smoothStepOver", "true", [&] { return R()->smoothStepover; }, 1},
      {"smoothVectors", "false", [&] { return R()->smoothVectors; }, 0},
      {"cornerRadius", "-1.5", [&] { return R()->cornerRadius; }, 1.5},
      {"allowance", "-0.25", [&] { return R()->allowance; }, -0.25},
      {"infeedDepth", "-3", [&] { return R()->infeedDepth; }, 3},
      {"clearancePlane", "-40", [&] { return R()->clearancePlane; }, -40},
      {"spindleSpeed", " +12e3 ", [&] { return R()->spindleSpeed; }, 12000},
      {"circularMacroSegmentAngle", "-10", [&] { return R()->circularMacroSegmentAngle; }, 10},
      {"frameCs_o", "1,2,3", [&] { return R()->frameCs_o.z; }, 3},
      {"frameCs_y", " 5 , -6e0, 7 ", [&] { return R()->frameCs_y.y; }, -6},
      {"startPoint", "5,6,7", [&] { return R()->startPoint.y + 10 * R()->startPointGiven; }, 16},
      {"frame", "1,2,3,4,5,6", [&] { return R()->frame != nullptr ? 1 : 0; }, 1},
      {"frame", "1,2,3,4,5", [&] { return R()->frame != nullptr ? 1 : 0; }, 0},
      {"frame", "1,2,3,4,5,6,7", [&] { return R()->frame != nullptr ? 1 : 0; }, 0},
  };
  for (const Row& row : rows) {
    cyc3dResetRunState(rec());
    parListFree(rec()->params);
    rec()->params = nullptr;
    mandatory();
    param(row.key, row.value);
    ASSERT_EQ(cyc3dReadParams(rec()), 1) << row.key;
    EXPECT_DOUBLE_EQ(row.field(), row.expected) << row.key << " := " << row.value;
  }
}

// A job means what it says: a number that is no whole number text, a flag other than "true" and
// "false", a vector that is not three numbers separated by commas fail the reading with a message
// naming the key and the value; a word that an enumeration does not list is read as its default
// with a warning naming the words it knows. Checked through a run, on its POF text.
TEST_F(Cyc3dTest, StrictValuesNameTheKeyAndTheValue) {
  struct Row {
    const char* line;
    int code;  // the run's code: 0 read (a warning), 21 the reading failed
    const char* message;
  };
  const Row rows[] = {
      {"allowance := 2,5", 21, "1001,allowance := 2,5: not a number"},
      {"allowance := 10mm", 21, "1001,allowance := 10mm: not a number"},
      {"allowance := nan", 21, "1001,allowance := nan: not a number"},
      {"spindleSpeed := 1e999", 21, "1001,spindleSpeed := 1e999: not a number"},
      {"zFeedrate := 0x10", 21, "1001,zFeedrate := 0x10: not a number"},
      {"coolant := 1", 21, "1001,coolant := 1: not true or false"},
      {"smoothVectors := TRUE", 21, "1001,smoothVectors := TRUE: not true or false"},
      {"frameOn := yes", 21, "1001,frameOn := yes: not true or false"},
      {"NCOutp := 1", 21, "1001,NCOutp := 1: not true or false"},
      {"frameCs_y := 5,6", 21, "1001,frameCs_y := 5,6: not three numbers separated by commas"},
      {"toolCs_o := \"5 6 7\"", 21,
       "1001,toolCs_o := 5 6 7: not three numbers separated by commas"},
      {"polyCs_x := 4,,", 21, "1001,polyCs_x := 4,,: not three numbers separated by commas"},
      {"startPoint := 1,2,3,4", 21,
       "1001,startPoint := 1,2,3,4: not three numbers separated by commas"},
      {"toolType := endmill", 0,
       "1100,toolType := endmill: not one of ballMill, endMill, radiusMill, lollipop, drilTool; "
       "read as radiusMill; did you mean endMill?"},
      {"rapidMode := Plane", 0,
       "1100,rapidMode := Plane: not one of plane, direct; read as direct; did you mean plane?"},
  };
  writeFile("part.qdx", qdtest::exchangePolyhedron(qdtest::roofMesh()));
  int n = 0;
  for (const Row& row : rows) {
    const std::string job = "v" + std::to_string(n++);
    writeFile(job + ".pcf",
              std::string("polySource := part.qdx\ntoolDiameter := 6\n") + row.line + "\n");
    EXPECT_EQ(run(rec(), job), row.code) << row.line;
    const std::string out = pof();
    EXPECT_NE(out.find(std::string("0: error(") + row.message + ")\n"), std::string::npos)
        << row.line << "\n"
        << out;
  }
}

// The frame text: five commas make six parts joined by '/'; frameOn only counts while a frame is
// held.
TEST_F(Cyc3dTest, FrameTextAndItsSwitches) {
  const struct {
    const char* frame;
    const char* kept;
    int on;
  } cases[] = {
      {"a,b,c,d,e,f", "a/b/c/d/e/f", 1}, {"a,b,c,d,e", nullptr, 0}, {"a,b,c,d,e,f,g", nullptr, 0}};
  for (const auto& c : cases) {
    cyc3dResetRunState(rec());
    parListFree(rec()->params);
    rec()->params = nullptr;
    mandatory();
    param("frame", c.frame);
    param("frameOn", "true");
    param("frameOff", "true");
    ASSERT_EQ(cyc3dReadParams(rec()), 1);
    if (c.kept != nullptr) {
      ASSERT_NE(r3()->frame, nullptr);
      EXPECT_STREQ(r3()->frame, c.kept);
    } else {
      EXPECT_EQ(r3()->frame, nullptr) << c.frame;
    }
    EXPECT_EQ(r3()->frameOn, c.on) << c.frame;
    EXPECT_EQ(r3()->frameOff, c.on) << c.frame;
  }
}

// retractPlane 950 / absent / 800 under a clearance plane of 900: 900 / 900 / 800; the
// clearance-to-retract distance 0 / 0 / 100. The sixth temporary name is the run's
// configuration file.
TEST_F(Cyc3dTest, RetractPlaneRuleAndConfigName) {
  const struct {
    const char* retract;
    double plane, offset;
  } cases[] = {{"950", 900, 0}, {nullptr, 900, 0}, {"800", 800, 100}};
  for (const auto& c : cases) {
    cyc3dResetRunState(rec());
    parListFree(rec()->params);
    rec()->params = nullptr;
    mandatory();
    param("clearancePlane", "900");
    param("tempDirectory", "tmpd");
    if (c.retract != nullptr) param("retractPlane", c.retract);
    ASSERT_EQ(cyc3dReadParams(rec()), 1);
    EXPECT_DOUBLE_EQ(r3()->retractPlane, c.plane);
    EXPECT_DOUBLE_EQ(planeOffset, c.offset);
    EXPECT_EQ(std::string(r3()->tempNames[kCyc3dTempConfig]), "tmpd/" + kPid + ".cfg");
  }
}

// Missing mandatory keys: each is sent as a fatal "error" record and the run ends with code 21.
TEST_F(Cyc3dTest, MissingMandatoryKeysEndTheRun) {
  writeFile("job.pcf", "toolDiameter := 6\n");
  EXPECT_EQ(run(rec(), "job"), kRunReadParamsFailed);
  EXPECT_NE(pof().find("0: error(1,(polySource))"), std::string::npos);
  writeFile("nodia.pcf", "polySource := part.qdx\n");
  EXPECT_EQ(run(rec(), "nodia"), kRunReadParamsFailed);
  EXPECT_NE(pof().find("0: error(1,(toolDiameter))"), std::string::npos);
  // An earlier run's model file does not stand in for a missing one.
  writeFile("full.pcf", "polySource := part.qdx\ntoolDiameter := 6\n");
  writeFile("part.qdx", qdtest::exchangePolyhedron(qdtest::roofMesh()));
  EXPECT_EQ(run(rec(), "full"), kRunOk);
  EXPECT_EQ(run(rec(), "job"), kRunReadParamsFailed);
  EXPECT_NE(pof().find("0: error(1,(polySource))"), std::string::npos);
}

// The "layers" record per output flag and the layers registered, with the -M value.
TEST_F(Cyc3dTest, LayersPerFlagAndMValue) {
  const struct {
    std::vector<std::pair<const char*, const char*>> flags;
    int m;
    const char* listed;
    std::set<int> registered;
  } cases[] = {
      {{}, 0, "12,35,36,41,42", {0, 1, 2, 10, 11, 12, 31, 35, 36, 41, 42}},
      {{{"NCOutp", "true"}, {"drillPointsOutp", "true"}, {"originalOutp", "true"}},
       0,
       "3,30,32,33,12,35,36,41,42",
       {0, 1, 2, 3, 10, 11, 12, 30, 31, 32, 33, 35, 36, 41, 42}},
      {{{"NCOutp", "True"}, {"originalOutp", "true"}},
       2,
       "33,12,35,36,41,42",
       {0, 1, 2, 4, 5, 10, 11, 12, 31, 33, 35, 36, 41, 42}},
      {{{"drillPointsOutp", "true"}},
       3,
       "30,12,35,36,41,42",
       {0, 1, 2, 4, 5, 6, 10, 11, 12, 30, 31, 35, 36, 41, 42}},
  };
  for (const auto& c : cases) {
    parListFree(rec()->params);
    rec()->params = nullptr;
    for (const auto& [name, value] : c.flags) param(name, value);
    rec()->mValue = static_cast<std::uint16_t>(c.m);
    ASSERT_EQ(cyc3dInit(rec()), 1);
    const std::string text = pof();
    EXPECT_NE(text.find(std::string("0: layers(") + c.listed + ")\n"), std::string::npos)
        << c.listed << "\n"
        << text;
    std::set<int> registered;
    for (const OutputLayer* l = rec()->layers; l != nullptr; l = l->next)
      registered.insert(l->layer);
    EXPECT_EQ(registered, c.registered) << c.listed;
    cycSendTextRecord(rec(), 0, 104, "cycleEnd", "t");  // closes the output slot
    pof();
    cycFreeLayers(rec());
  }
}

// Init's header records: the cycle title, the message file chosen by the language, the part of
// a positive job id.
TEST_F(Cyc3dTest, InitRecords) {
  param("SystemLanguage", "german");
  param("german", "rs_de.loc");
  param("ppJobID", "17");
  ASSERT_EQ(cyc3dInit(rec()), 1);
  const std::string text = pof();
  EXPECT_NE(text.find("0: cycle(Brevonix 3D Common Cycle)"), std::string::npos) << text;
  EXPECT_NE(text.find("0: msgFile(rs_de.loc)"), std::string::npos) << text;
  EXPECT_NE(text.find("12: beg part 17"), std::string::npos) << text;
  cycSendTextRecord(rec(), 0, 104, "cycleEnd", "t");
  cycFreeLayers(rec());
  parListFree(rec()->params);
  rec()->params = nullptr;
  pof();
  ASSERT_EQ(cyc3dInit(rec()), 1);
  EXPECT_NE(pof().find("0: msgFile(rscyc.loc)"), std::string::npos) << "the record's default";
}

// With exchange-file output "geoSource" names the run's own output file; the geometry still
// comes from the user's source. It was read from the fresh output file and the boundary was lost.
TEST_F(Cyc3dTest, ExchangeOutputKeepsTheUsersGeometry) {
  mandatory();
  param("geoSource", "user.qdx");
  param("geoOut", "run_out.qdx");
  rec()->outputMode = kCycOutputExchange;
  ASSERT_EQ(cyc3dInit(rec()), 1);
  char* geo = parListGet(rec()->params, "geoSource", nullptr);
  char* source = parListGet(rec()->params, "sourceGeometry", nullptr);
  EXPECT_STREQ(geo, "run_out.qdx");
  EXPECT_STREQ(source, "user.qdx");
  memFree(geo);
  memFree(source);
  ASSERT_EQ(cyc3dReadParams(rec()), 1);
  EXPECT_STREQ(r3()->geoSource, "user.qdx");
  cycSendTextRecord(rec(), 0, 104, "cycleEnd", "t");
  std::remove("run_out.qdx");
}

// The model check of qdCyc3d's own compute phase: a readable model gives 1, a missing one 0
// with message 332; a singular polyhedron frame 0 with message 333.
TEST_F(Cyc3dTest, ComputeChecksTheModel) {
  writeFile("part.qdx", qdtest::exchangePolyhedron(qdtest::roofMesh()));
  qdtest::MessageCapture capture;
  rec()->firstOutputPending = 0;
  ASSERT_EQ(cycRegisterLayer(rec(), 0, qdtest::captureMessageRecord, nullptr, 1), 1);
  for (const char* model : {"part.qdx", "missing.qdx"}) {
    memFree(r3()->polySource);
    r3()->polySource = memStrDup(model);
    EXPECT_EQ(cyc3dRun(rec()), model[0] == 'p' ? 1 : 0) << model;
  }
  EXPECT_EQ(qdtest::capturedMessages(), (std::vector<std::string>{"332,missing.qdx"}));
  r3()->polyCs_y = {1, 0, 0};
  qdtest::capturedMessages().clear();
  EXPECT_EQ(cyc3dRun(rec()), 0);
  EXPECT_EQ(qdtest::capturedMessages(), (std::vector<std::string>{"333,polyCs"}));
}

// The run's temporary files go: every name the run gave, the nested pocket run's files in the
// temporary folder and "tmp.dxf" when a read-back of the run wrote it. Files of the same names in
// the working folder are the user's and stay.
TEST_F(Cyc3dTest, TemporaryFiles) {
  mandatory();
  param("tempDirectory", "tmpd");
  ASSERT_EQ(cyc3dReadParams(rec()), 1);
  std::snprintf(r3()->tempNames[kCyc3dTempBoundary], kCyc3dTempNameSize, "tmpd/%s.bnd",
                kPid.c_str());
  std::snprintf(r3()->traceDumpName, kCyc3dTempNameSize, "tmpd/%s.trc", kPid.c_str());
  std::snprintf(r3()->tempNames[kCyc3dTempSpare], kCyc3dTempNameSize, " kept");
  const std::vector<std::string> made = {"tmpd/" + kPid + ".bnd", "tmpd/" + kPid + ".trc",
                                         "tmpd/" + kPid + ".cfg", "tmpd/tmp.pcf",
                                         "tmpd/tmp.pof",          "tmpd/tmp.qdx"};
  const std::vector<std::string> users = {"tmp.pcf", "tmp.pof", "tmp.qdx", "tmp.dxf", " kept"};
  for (const std::string& f : made) writeFile(f, "x");
  for (const std::string& f : users) writeFile(f, "x");

  r3()->removeTempFiles = 0;
  cyc3dRemoveTempFiles(rec());
  for (const std::string& f : made) EXPECT_TRUE(fileExists(f)) << f;

  r3()->removeTempFiles = 1;
  cyc3dRemoveTempFiles(rec());
  for (const std::string& f : made) EXPECT_FALSE(fileExists(f)) << f;
  for (const std::string& f : users) EXPECT_TRUE(fileExists(f)) << f;

  // A read-back makes "tmp.dxf": now it is the run's.
  writeFile("back.pof", "0: cycle(x)\n");
  pofReadBack("back.pof");
  ASSERT_EQ(pofReadDxfWritten(), 1);
  cyc3dRemoveTempFiles(rec());
  EXPECT_FALSE(fileExists("tmp.dxf"));
}

// The ".CFG" tool reference: the last "*TOOL_REFERENCE" names it, "*TREF_<name>" gives its
// length, which becomes the output's z offset.
TEST_F(Cyc3dTest, ToolReference) {
  auto entry = [](const char* key, const char* value) {
    rec()->cfgEntries = cfgListAppend(rec()->cfgEntries, key, value, kParKindSource);
  };
  qdtest::MessageCapture capture;
  rec()->firstOutputPending = 0;
  ASSERT_EQ(cycRegisterLayer(rec(), 0, qdtest::captureMessageRecord, nullptr, 1), 1);
  EXPECT_EQ(cyc3dReadToolReference(rec()), 0) << "absent";
  entry("*TOOL_REFERENCE", "");
  EXPECT_EQ(cyc3dReadToolReference(rec()), 0) << "empty";
  entry("*TOOL_REFERENCE", "T9");
  EXPECT_EQ(cyc3dReadToolReference(rec()), 0) << "no length";
  entry("*TREF_T7", "12.5");
  entry("*TOOL_REFERENCE", "T7");
  EXPECT_EQ(cyc3dReadToolReference(rec()), 1);
  EXPECT_STREQ(cyc3dToolReferenceName(), "T7");
  EXPECT_DOUBLE_EQ(cyc3dToolReferenceOffset(), 12.5);
  EXPECT_DOUBLE_EQ(out3dState().zOffset, 12.5);
  EXPECT_EQ(qdtest::capturedMessages(), (std::vector<std::string>{"770,T9", "771,T7"}));
}

// The chain of the 3D records: each record's own values and parent, the slots it sets, and the
// slots it takes from the records above it once its slots are completed (init, end and the
// positional-arguments slot of the common cycle, which returns 0).
TEST(Cyc3dChain, RecordsTheirParentsAndSlots) {
  auto expectRecord = [](CycleRecord* r, CycleRecord* parent, const char* id, const char* title,
                         int code, std::array<std::uint16_t, 5> version, CyclePhaseFn readParams,
                         CyclePhaseFn compute, const char* messageFile, int toolType) {
    SCOPED_TRACE(id);
    ASSERT_EQ(cycParseOptions(r, nullptr, 0, 1), 1);
    EXPECT_EQ(r->parent, parent);
    EXPECT_STREQ(r->id, id);
    EXPECT_STREQ(r->title, title);
    EXPECT_EQ(r->code, code);
    EXPECT_TRUE(std::equal(version.begin(), version.end(), r->version));
    EXPECT_EQ(r->slots.phaseReadParams, readParams);
    EXPECT_EQ(r->slots.phaseCompute, compute);
    EXPECT_EQ(r->slots.phaseInit, cyc3dInit);
    EXPECT_EQ(r->slots.phaseEnd, cyc3dCycleEnd);
    ASSERT_NE(r->slots.phaseArguments, nullptr);
    EXPECT_EQ(r->slots.phaseArguments(r), 0);
    EXPECT_STREQ(cyc3dRecordOf(r)->defaultMessageFile, messageFile);
    EXPECT_EQ(cyc3dRecordOf(r)->toolType, toolType);
  };
  expectRecord(cyc3dCycleRecord(), &cycKernel, "qdCyc3d", "Brevonix 3D Common Cycle", 0,
               {5, 0, 2001, 3, 28}, cyc3dReadParams, cyc3dRun, "rscyc.loc", 1);
  expectRecord(zfinCycleRecord(), cyc3dCycleRecord(), "qdZfin",
               "Brevonix 3D Z-Level Finishing Cycle", 1005, {6, 0, 2001, 6, 8}, zfinReadParams,
               zfinRun, "rszfinhc.loc", 1);
  expectRecord(ruppCycleRecord(), zfinCycleRecord(), "qdRupp", "Brevonix 3D Z-Level Roughing Cycle",
               1002, {6, 0, 2001, 6, 8}, ruppReadParams, ruppRun, "rsrupphc.loc", 2);
  EXPECT_EQ(zfinRecordOf(zfinCycleRecord())->gougeDetection, 1);
  EXPECT_EQ(ruppRecordOf(ruppCycleRecord())->base.gougeDetection, 0);
}

TEST(Cyc3dTexts, ParseVectorAndStarKeys) {
  const struct {
    const char* text;
    int result;
    Point3D out;
  } cases[] = {
      {"1,2,3", 1, {1, 2, 3}},     {"-1.5, 2e1 ,x", 1, {-1.5, 20, 0}}, {"4,5", -1, {4, 9, 9}},
      {"7", -1, {9, 9, 9}},        {"1 2 3", -1, {9, 9, 9}},           {",,", 1, {0, 0, 0}},
      {"nan,inf,3", 1, {0, 0, 3}}, {"1,2,3,4", 1, {1, 2, 3}},
  };
  for (const auto& c : cases) {
    Point3D p{9, 9, 9};
    EXPECT_EQ(cyc3dParseVector(c.text, &p), c.result) << c.text;
    EXPECT_DOUBLE_EQ(p.x, c.out.x) << c.text;
    EXPECT_DOUBLE_EQ(p.y, c.out.y) << c.text;
    EXPECT_DOUBLE_EQ(p.z, c.out.z) << c.text;
  }
  Point3D p{};
  EXPECT_EQ(cyc3dParseVector(nullptr, &p), -1);

  ParamNode* list = nullptr;
  list = cfgListAppend(list, "*KEY", "first", 21);
  list = cfgListAppend(list, "*key", "other case", 21);
  list = cfgListAppend(list, "*KEY", "last", 13);
  std::int16_t kind = 0;
  char* v = cyc3dFindStarKey(list, "*KEY", &kind);
  EXPECT_STREQ(v, "last");
  EXPECT_EQ(kind, 13);
  memFree(v);
  EXPECT_EQ(cyc3dFindStarKey(list, "*NONE", &kind), nullptr);
  parListFree(list);

  char path[16];
  EXPECT_EQ(cyc3dJoinPath(path, sizeof path, "dir", "f"), 1);
  EXPECT_STREQ(path, "dir/f");
  EXPECT_EQ(cyc3dJoinPath(path, sizeof path, "dir\\", "f"), 1);
  EXPECT_STREQ(path, "dir\\f");
  EXPECT_EQ(cyc3dJoinPath(path, sizeof path, "", "f"), 1);
  EXPECT_STREQ(path, "f");
  EXPECT_EQ(cyc3dJoinPath(path, sizeof path, "a-long-folder-name", "f"), 0);
  EXPECT_STREQ(path, "");
}

}  // namespace
