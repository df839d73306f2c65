// Phase runner: the option grammar, phase order with framework messages, run codes, completion of
// records from their parents, the framework version check and the version text.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <set>
#include <string>
#include <vector>

#include "framework/output.h"
#include "framework/param_list.h"
#include "framework/phase_runner.h"
#include "framework/platform.h"
#include "test_record.h"

using namespace qdtest;

namespace {
struct OptionCase {
  std::vector<std::string> args;
  unsigned flags;
  int mValue;
  int outputMode;
  const char* source;  // null: none
  int sourceIsCfg;
  std::vector<std::string> positional;
};

std::vector<std::string> positionalOf(const CycleRecord& r) {
  std::vector<std::string> out;
  for (int i = 0; i < r.argCount; ++i) out.emplace_back(r.args[i]);
  return out;
}
}  // namespace

TEST(Options, GrammarTable) {
  const std::vector<OptionCase> cases = {
      {{}, 0x03, 0, 0, nullptr, 0, {}},
      {{"?"}, 0x02, 0, 0, nullptr, 0, {}},
      {{"-Sjob", "?"}, 0x02, 0, 0, "job", 0, {}},    // "?" clears the source flag
      {{"-pcf"}, 0x03, 0, 0, nullptr, 0, {"-pcf"}},  // multi-letter P options are upper case only
      {{"-Pcf"}, 0x03, 0, 1, nullptr, 0, {}},
      {{"-p"}, 0x04, 0, 0, nullptr, 0, {}},
      {{"-S.CFG"}, 0x100, 0, 0, ".CFG", 0, {}},
      {{"-SJOB.cfg"}, 0x100, 0, 0, "JOB.cfg", 1, {}},
      {{"-sjob.CFG"}, 0x100, 0, 0, "job.CFG", 1, {}},
      {{"-"}, 0x03, 0, 0, nullptr, 0, {"-"}},
      {{"-X"}, 0x03, 0, 0, nullptr, 0, {"-X"}},
      {{"-M2"}, 0x03, 2, 0, nullptr, 0, {}},
      {{"-PCF"}, 0x03, 0, 1, nullptr, 0, {}},
      {{"-Sa", "-Sb"}, 0x100, 0, 0, "b", 0, {}},  // a second -S replaces the first
      {{"/v", "-a"}, 0x09, 0, 0, nullptr, 0, {}},
      {{"-D", "-Y", "-?"}, 0x32, 0, 0, nullptr, 0, {}},
      {{"-IPC12"}, 0x03, 0, 0, nullptr, 0, {}},
      {{"-Ixyz"}, 0x03, 0, 0, nullptr, 0, {"-Ixyz"}},
      {{"-PCF", "-pof"}, 0x03, 0, 1, nullptr, 0, {"-pof"}},
      {{"-PCF", "-POF"}, 0x03, 0, 0, nullptr, 0, {}},
      {{"-S"}, 0x03, 0, 0, nullptr, 0, {"-S"}},
      {{"-M"}, 0x03, 0, 0, nullptr, 0, {"-M"}},
      {{"-M99999"}, 0x03, 65535, 0, nullptr, 0, {}},
      {{"part.stl", "-V", "x"}, 0x01, 0, 0, nullptr, 0, {"part.stl", "x"}},
  };
  for (const OptionCase& c : cases) {
    std::string label;
    for (const auto& a : c.args) label += "[" + a + "]";
    CycleRecord r = testRecord();
    TestArgs args(c.args);
    ASSERT_EQ(cycParseOptions(&r, args.argv(), args.argc(), 0), 1) << label;
    EXPECT_EQ(r.flags, c.flags) << label;
    EXPECT_EQ(r.mValue, c.mValue) << label;
    EXPECT_EQ(r.outputMode, c.outputMode) << label;
    if (c.source == nullptr) {
      EXPECT_EQ(r.source, nullptr) << label;
    } else {
      ASSERT_NE(r.source, nullptr) << label;
      EXPECT_STREQ(r.source, c.source) << label;
    }
    EXPECT_EQ(r.sourceIsCfg, c.sourceIsCfg) << label;
    EXPECT_EQ(positionalOf(r), c.positional) << label;
    EXPECT_EQ(r.firstOutputPending, 1);
    cycCleanup(&r);
    EXPECT_EQ(r.args, nullptr);
    EXPECT_EQ(r.source, nullptr);
  }
}

TEST(Options, IpcNumberIsKept) {
  CycleRecord r = testRecord();
  TestArgs args({"-ipc42"});
  ASSERT_EQ(cycParseOptions(&r, args.argv(), args.argc(), 0), 1);
  EXPECT_EQ(cycIpcValue(), 42);
  cycCleanup(&r);
  runnerResetState();
  EXPECT_EQ(cycIpcValue(), 0);
}

// A host that passes a count with a null vector, or null entries, must not crash the library.
TEST(Options, NullVectorIsNoArgumentsAndNullEntriesAreSkipped) {
  CycleRecord r = testRecord();
  ASSERT_EQ(cycParseOptions(&r, nullptr, 3, 0), 1);
  EXPECT_EQ(r.flags, 0x03);
  EXPECT_EQ(r.argCount, 0);
  cycCleanup(&r);

  char v[] = "-V";
  char x[] = "x";
  char* argv[] = {v, nullptr, x};
  ASSERT_EQ(cycParseOptions(&r, argv, 3, 0), 1);
  EXPECT_EQ(r.flags, 0x01);
  EXPECT_EQ(positionalOf(r), std::vector<std::string>{"x"});
  cycCleanup(&r);
}

TEST(PhaseRunner, ComputingRunOrderAndMessages) {
  testLog() = {};
  CycleRecord r = testRecord();
  TestArgs args({"-Sjob", "pos"});
  ASSERT_EQ(cycParseOptions(&r, args.argv(), args.argc(), 0), 1);
  EXPECT_EQ(cycRun(&r), kRunOk);
  const std::vector<int> expected = {111,
                                     kSlotMark + kArguments,
                                     119,
                                     121,
                                     kSlotMark + kLoadParams,
                                     129,
                                     311,
                                     kSlotMark + kInit,
                                     312,
                                     319,
                                     321,
                                     kSlotMark + kReadParams,
                                     329,  // 312: the echo's first record
                                     331,
                                     kSlotMark + kPrepare,
                                     339,
                                     341,
                                     kSlotMark + kCompute,
                                     349,
                                     351,
                                     kSlotMark + kFinish,
                                     359,
                                     391,
                                     kSlotMark + kEnd,
                                     399,
                                     411,
                                     419};
  EXPECT_EQ(testLog().events, expected);
  EXPECT_EQ(r.source, nullptr) << "the clean-up frees the source";
}

TEST(PhaseRunner, CfgSourceUsesTheCfgSlots) {
  testLog() = {};
  CycleRecord r = testRecord();
  TestArgs args({"-Sjob.cfg"});
  ASSERT_EQ(cycParseOptions(&r, args.argv(), args.argc(), 0), 1);
  testLog().failing = {kReadCfgParams};
  EXPECT_EQ(cycRun(&r), kRunReadParamsFailed);
  const auto& e = testLog().events;
  EXPECT_NE(std::find(e.begin(), e.end(), kSlotMark + kLoadCfg), e.end());
  EXPECT_EQ(std::find(e.begin(), e.end(), kSlotMark + kReadParams), e.end());
}

TEST(PhaseRunner, RunCodesOfFailingPhases) {
  struct Case {
    std::vector<std::string> args;
    std::set<int> failing;
    int code;
    std::vector<int> mustRun;
    std::vector<int> mustNotRun;
  };
  const std::vector<Case> cases = {
      {{"-Sx"}, {kReadParams}, 21, {kEnd}, {kPrepare, kCompute, kFinish}},
      {{"-Sx"}, {kPrepare}, 22, {kEnd}, {kCompute}},
      {{"-Sx"}, {kCompute}, 23, {kEnd}, {kFinish}},
      {{"-Sx"}, {kFinish}, 24, {kEnd}, {}},
      {{"-Sx"}, {kEnd}, 31, {kFinish}, {}},
      {{"-Sx"}, {kCompute, kEnd}, 23, {kEnd}, {kFinish}},
      {{"-Sx"}, {kInit}, 0, {kCompute}, {}},  // the init result is not looked at
      {{"-V", "-P"}, {}, 0, {kVersion, kParameters}, {kHelp, kInit, kEnd}},
      {{"-V", "-P"}, {kVersion}, 11, {kVersion}, {kParameters, kEnd}},
      {{}, {kHelp}, 12, {kVersion, kHelp}, {kCompute}},
      {{"-p"}, {kParameters}, 13, {kParameters}, {}},
      {{"-a"}, {kAlgorithm}, 14, {kAlgorithm}, {}},
      {{"-y"}, {kLayers}, 15, {kLayers}, {}},
      {{"-d", "-y"}, {kOptionD}, 16, {kLayers, kOptionD}, {}},
      {{"-M2"}, {}, 0, {kVersion, kHelp}, {kInit}},
  };
  for (const Case& c : cases) {
    std::string label;
    for (const auto& a : c.args) label += "[" + a + "]";
    testLog() = {};
    CycleRecord r = testRecord();
    TestArgs args(c.args);
    ASSERT_EQ(cycParseOptions(&r, args.argv(), args.argc(), 0), 1) << label;
    testLog().failing = c.failing;
    EXPECT_EQ(cycRun(&r), c.code) << label;
    const auto& e = testLog().events;
    for (int s : c.mustRun)
      EXPECT_NE(std::find(e.begin(), e.end(), kSlotMark + s), e.end()) << label << " slot " << s;
    for (int s : c.mustNotRun)
      EXPECT_EQ(std::find(e.begin(), e.end(), kSlotMark + s), e.end()) << label << " slot " << s;
  }
}

namespace {
// The framework message at which the test stops the run, and how: the host's stop signal or a
// failure of the run as a whole (an output that cannot be written).
int stopAt = 0;
bool stopByFailure = false;
void stoppingMessage(CycleRecord* cycle, int code, void* user) {
  testMessage(cycle, code, user);
  if (code != stopAt) return;
  if (stopByFailure) {
    cycFailRun(cycle);
  } else {
    cycle->signal = kCycSignalStopNow;
  }
}
}  // namespace

// The signal was polled first inside the compute phase: a stop sent while the sources loaded let
// the init, the echo and every phase before the computation through. It is polled between the
// phases too, as is a failure of the run; the end phase always runs.
TEST(PhaseRunner, AStopOrAFailedRunEndsThePhasesAtTheNextStep) {
  struct Case {
    int at;        // framework message after which the run is stopped
    bool failure;  // cycFailRun instead of the stop signal
    int code;
    std::vector<int> mustRun;
    std::vector<int> mustNotRun;
  };
  const Case cases[] = {
      {kMsgLoadEnd, false, kRunReadParamsFailed, {kEnd}, {kInit, kReadParams}},
      {kMsgInitEnd, false, kRunReadParamsFailed, {kInit, kEnd}, {kReadParams}},
      {kMsgReadEnd, false, kRunPrepareFailed, {kReadParams, kEnd}, {kPrepare}},
      {kMsgPrepareEnd, false, kRunComputeFailed, {kPrepare, kEnd}, {kCompute}},
      {kMsgComputeEnd, false, kRunFinishFailed, {kCompute, kEnd}, {kFinish}},
      {kMsgInitEnd, true, kRunReadParamsFailed, {kInit, kEnd}, {kReadParams}},
      {kMsgPrepareEnd, true, kRunComputeFailed, {kEnd}, {kCompute}},
  };
  for (const Case& c : cases) {
    testLog() = {};
    stopAt = c.at;
    stopByFailure = c.failure;
    CycleRecord r = testRecord();
    r.messageFn = stoppingMessage;
    TestArgs args({"-Sx"});
    ASSERT_EQ(cycParseOptions(&r, args.argv(), args.argc(), 0), 1);
    EXPECT_EQ(cycRun(&r), c.code) << c.at;
    EXPECT_EQ(r.status, c.failure ? kCycStatusFailed : kCycStatusUserBreak) << c.at;
    const auto& e = testLog().events;
    for (int s : c.mustRun)
      EXPECT_NE(std::find(e.begin(), e.end(), kSlotMark + s), e.end()) << c.at << " slot " << s;
    for (int s : c.mustNotRun)
      EXPECT_EQ(std::find(e.begin(), e.end(), kSlotMark + s), e.end()) << c.at << " slot " << s;
    // The next parse starts a new run: the failure mark is gone.
    ASSERT_EQ(cycParseOptions(&r, args.argv(), args.argc(), 0), 1);
    EXPECT_EQ(cycRunFailed(&r), 0);
    cycCleanup(&r);
  }
  stopAt = 0;
}

TEST(PhaseRunner, InformationPhasesAreBracketedByTheirMessages) {
  testLog() = {};
  CycleRecord r = testRecord();
  TestArgs args({"-V", "-?", "-P", "-A", "-Y", "-D"});
  ASSERT_EQ(cycParseOptions(&r, args.argv(), args.argc(), 0), 1);
  testLog().events.clear();
  EXPECT_EQ(cycRun(&r), 0);
  // First the registration of layer 0, which carries the texts to the host.
  const std::vector<int> expected = {131,
                                     139,
                                     211,
                                     kSlotMark + kVersion,
                                     219,
                                     221,
                                     kSlotMark + kHelp,
                                     229,
                                     231,
                                     kSlotMark + kParameters,
                                     239,
                                     241,
                                     kSlotMark + kAlgorithm,
                                     249,
                                     251,
                                     kSlotMark + kLayers,
                                     259,
                                     261,
                                     kSlotMark + kOptionD,
                                     269,
                                     411,
                                     419};
  EXPECT_EQ(testLog().events, expected);
}

TEST(PhaseRunner, LoadFailureCleansUpAndRefusesTheRun) {
  testLog() = {};
  testLog().failing = {kLoadParams};
  CycleRecord r = testRecord();
  TestArgs args({"-Sjob", "pos"});
  EXPECT_EQ(cycParseOptions(&r, args.argv(), args.argc(), 0), 0);
  EXPECT_EQ(r.source, nullptr);
  EXPECT_EQ(r.args, nullptr);
  const auto& e = testLog().events;
  ASSERT_GE(e.size(), 2u);
  EXPECT_EQ(e[e.size() - 2], 411);
  EXPECT_EQ(e.back(), 419);
}

namespace {
struct Seen {
  int layer;
  int type;
  std::string name;
  std::string text;
};
std::vector<Seen>& seen() {
  static std::vector<Seen> s;
  return s;
}
template <int Layer>
int captureWriter(CycleRecord*, OutputRecord* r) {
  seen().push_back({Layer, r->type, r->text.name, r->text.text});
  return 1;
}
int echoInit(CycleRecord* c) {
  cycRegisterLayer(c, 0, captureWriter<0>, nullptr, 1);
  cycRegisterLayer(c, 1, captureWriter<1>, nullptr, 1);
  return 1;
}
int echoLoad(CycleRecord* c) {
  c->params = parListSet(c->params, "fromDef", "d", 13);
  c->params = parListSet(c->params, "fromSource", "s", 21);
  c->params = parListSet(c->params, "long", std::string(1000, 'v').c_str(), 31);
  return 1;
}
}  // namespace

TEST(PhaseRunner, EchoWritesSourceDefinitionsAndCallValuesCutToTheField) {
  CycleRecord r = testRecord();
  r.slots.phaseInit = echoInit;
  r.slots.phaseLoadParams = echoLoad;
  r.slots.phaseEnd = cycEndDefault;
  TestArgs args({"-Sjob"});
  ASSERT_EQ(cycParseOptions(&r, args.argv(), args.argc(), 0), 1);
  EXPECT_EQ(cycRun(&r), 0);
  const auto& s = seen();
  ASSERT_EQ(s.size(), 5u);
  EXPECT_EQ(s[0].layer, 0);
  EXPECT_EQ(s[0].type, 112);
  EXPECT_EQ(s[0].name, "cfgSource");
  EXPECT_EQ(s[0].text, "job");
  // list order: newest first
  EXPECT_EQ(s[1].type, 201);
  EXPECT_EQ(s[1].name, "call");
  EXPECT_EQ(s[1].text.size(), 519u) << "a long value is cut to the 520-byte field";
  EXPECT_EQ(s[1].text.substr(0, 9), "\"long\":=\"");
  EXPECT_EQ(s[2].type, 201);
  EXPECT_EQ(s[2].text, "\"fromSource\":=\"s\"");
  EXPECT_EQ(s[3].type, 202);
  EXPECT_EQ(s[3].name, "def");
  EXPECT_EQ(s[3].text, "\"fromDef\":=\"d\"");
  EXPECT_EQ(s[4].type, 104);
  EXPECT_EQ(s[4].text, "test cycle");
  EXPECT_EQ(r.layers, nullptr) << "the end phase frees the layers";
}

TEST(Inherit, EmptySlotsComeFromTheParentChainParentFirst) {
  CycleRecord mid;
  mid.parent = &cycKernel;
  mid.slots.phaseCompute = testSlot<kCompute>;
  CycleRecord leaf;
  leaf.parent = &mid;
  leaf.slots.phaseInit = testSlot<kInit>;
  ASSERT_EQ(cycParseOptions(&leaf, nullptr, 0, 1), 1);
  EXPECT_EQ(mid.inherited, 1);
  EXPECT_EQ(leaf.inherited, 1);
  EXPECT_EQ(leaf.slots.phaseInit, testSlot<kInit>);
  EXPECT_EQ(leaf.slots.phaseCompute, testSlot<kCompute>);
  EXPECT_EQ(leaf.slots.phaseEnd, cycEndDefault);
  EXPECT_EQ(leaf.slots.phaseLoadParams, cycLoadParamSources);
  EXPECT_EQ(mid.slots.phaseInit, cycPhaseNoop);
  // the kernel has no null slot, so a completed chain has none either
  const CyclePhaseFn* slots = &leaf.slots.phaseArguments;
  for (int i = 0; i < kCycleSlotCount; ++i) EXPECT_NE(slots[i], nullptr) << "slot " << i;
  // completed once: a later change of the parent no longer reaches the child
  mid.slots.phaseCompute = testSlot<kFinish>;
  ASSERT_EQ(cycParseOptions(&leaf, nullptr, 0, 1), 1);
  EXPECT_EQ(leaf.slots.phaseCompute, testSlot<kCompute>);
}

TEST(Inherit, FrameworkVersionMismatchRefusesAndChangesNothing) {
  CycleRecord old;
  old.parent = &cycKernel;
  old.frameworkVersion = 4;
  EXPECT_EQ(cycParseOptions(&old, nullptr, 0, 0), 0);
  EXPECT_EQ(old.inherited, 0);
  EXPECT_EQ(old.slots.phaseInit, nullptr);

  // a mismatch further up refuses the whole chain instead of leaving null slots behind
  CycleRecord leaf;
  leaf.parent = &old;
  leaf.frameworkVersion = 4;
  EXPECT_EQ(cycParseOptions(&leaf, nullptr, 0, 0), 0);
  EXPECT_EQ(leaf.inherited, 0);
}

TEST(VersionText, RecordWordsUntilTheBuildVersionIsReadThenFixed) {
  cycResetState();
  cycReleaseModuleFileName();
  CycleRecord r = testRecord();
  ASSERT_EQ(cycParseOptions(&r, nullptr, 0, 1), 1);
  EXPECT_STREQ(cycVersionText(), "2.03-09.05.2024");

  cycDllAttach(platModuleHandle(), 1);
  ASSERT_NE(cycModuleFileName(), nullptr);
  EXPECT_EQ(cycModuleFileName()[0], '/') << "the module name is absolute";
  ASSERT_EQ(cycParseOptions(&r, nullptr, 0, 1), 1);
  const std::string expected =
      std::string(QDMILL_VERSION_TEXT) + "-" + std::to_string(QDMILL_VERSION_MAJOR) + "." +
      std::to_string(QDMILL_VERSION_MINOR) + "." + std::to_string(QDMILL_VERSION_PATCH) + "." +
      std::to_string(QDMILL_VERSION_TWEAK);
  EXPECT_EQ(cycVersionText(), expected);
  // set once per process: another record's words no longer change it
  CycleRecord other = testRecord();
  other.version[0] = 9;
  ASSERT_EQ(cycParseOptions(&other, nullptr, 0, 1), 1);
  EXPECT_EQ(cycVersionText(), expected);
  // a run releases the kept module name
  ASSERT_EQ(cycParseOptions(&other, nullptr, 0, 0), 1);
  cycRun(&other);
  EXPECT_EQ(cycModuleFileName(), nullptr);
}
