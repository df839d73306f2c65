// Exported functions: signal and status words, the layer-to-pair forwarding of the host's
// callbacks, nesting limits and the refusal of a nested run of the running record.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <stdexcept>
#include <string>
#include <tuple>
#include <utility>
#include <vector>

#include "cycles/cycle_hooks.h"
#include "cycles/rpx5_record.h"
#include "framework/host_entry.h"
#include "framework/memory.h"
#include "framework/output.h"
#include "framework/output_records.h"
#include "framework/param_list.h"
#include "framework/phase_runner.h"
#include "qdmill/qdmill.h"
#include "support/temp_dir.h"
#include "test_record.h"

using namespace qdtest;

namespace {
// (pair, layer, type) of every call a host function received
std::vector<std::tuple<int, int, int>>& calls() {
  static std::vector<std::tuple<int, int, int>> c;
  return c;
}
int hostFn(CycleRecord*, int layer, OutputRecord* r, void* user) {
  calls().emplace_back(static_cast<int>(reinterpret_cast<std::intptr_t>(user)), layer, r->type);
  return 0;  // a 0 result has no effect on the run
}
HostCallbacks allPairs() {
  HostCallbacks h{};
  for (int p = 0; p < 3; ++p)
    h.pair[p] = {hostFn, reinterpret_cast<void*>(static_cast<std::intptr_t>(p))};
  return h;
}

int writerOk(CycleRecord*, OutputRecord*) { return 1; }

constexpr std::uint16_t kAllLayers[] = {0, 1, 2, 3, 4, 10, 11, 12, 30, 31, 32, 35, 40, 41, 42};

int registerAll(CycleRecord* c) {
  for (std::uint16_t l : kAllLayers) cycRegisterLayer(c, l, writerOk, writerOk, 1);
  return 1;
}
// One record per layer; its type is 9000 + layer.
int emitAll(CycleRecord* c) {
  for (std::uint16_t l : kAllLayers) cycSendTextRecord(c, l, 9000 + l, "n", "t");
  return 1;
}
int quietLoad(CycleRecord*) { return 1; }

CycleRecord forwardingRecord() {
  CycleRecord r = testRecord();
  r.messageFn = nullptr;
  r.slots.phaseInit = registerAll;
  r.slots.phaseCompute = emitAll;
  r.slots.phaseLoadParams = quietLoad;
  r.slots.phaseEnd = cycEndDefault;
  return r;
}

std::vector<std::tuple<int, int, int>> computeCalls() {
  std::vector<std::tuple<int, int, int>> out;
  for (const auto& c : calls()) {
    if (std::get<2>(c) >= 9000) out.push_back(c);
  }
  return out;
}
}  // namespace

TEST(HostEntry, SignalAndStatusWordsOfTheLibraryRecord) {
  EXPECT_EQ(qdCSgetCycle(), rpx5CycleRecord());
  EXPECT_EQ(qdCSgetSignal(nullptr), 0);
  EXPECT_EQ(qdCSsetSignal(nullptr, 104), 0);
  EXPECT_EQ(qdCSsetSignal(nullptr, 0), 104);
  rpx5CycleRecord()->status = 100;
  EXPECT_EQ(qdCSgetSignal(nullptr), 100);
  CycleRecord own = testRecord();
  own.status = 1;
  EXPECT_EQ(qdCSgetSignal(&own), 1);
  EXPECT_EQ(qdCSsetSignal(&own, 7), 0);
  EXPECT_EQ(own.signal, 7);
}

// The library's own record comes from the machining cycles, which install it when the library
// loads. Without it a null record is a missing cycle: no record, no run, the failure words.
TEST(HostEntry, WithoutAnInstalledDefaultRecordNullIsAMissingCycle) {
  hostSetDefaultCycle(nullptr);
  EXPECT_EQ(qdCSgetCycle(), nullptr);
  char name[] = "qdmill";
  char* argv[] = {name, nullptr};
  EXPECT_EQ(qdCSexecCycle(nullptr, 1, argv, nullptr), 0);
  EXPECT_EQ(qdCSsetSignal(nullptr, 104), 1);
  EXPECT_EQ(qdCSgetSignal(nullptr), 1);
  cyclesInstallHooks();
  EXPECT_EQ(qdCSgetCycle(), rpx5CycleRecord());
  hostResetState();
  EXPECT_EQ(hostRunDepth(), 0);
  EXPECT_EQ(qdCSgetCycle(), rpx5CycleRecord()) << "a reset keeps the installed record";
}

TEST(HostEntry, LayersReachTheirPairsAndNoOthers) {
  calls().clear();
  CycleRecord r = forwardingRecord();
  HostCallbacks host = allPairs();
  char s[] = "-Sjob";
  char* argv[] = {s};
  ASSERT_EQ(qdCSexecCycle(&r, 1, argv, &host), 1);
  const std::vector<std::tuple<int, int, int>> expected = {
      {0, 0, 9000},  {1, 0, 9000},  // layer 0: pair 0, then pair 1
      {1, 1, 9001},  {1, 2, 9002},  {2, 3, 9003},  {0, 10, 9010}, {0, 11, 9011}, {0, 12, 9012},
      {0, 31, 9031}, {0, 35, 9035}, {2, 40, 9040}, {0, 41, 9041}, {0, 42, 9042}};
  EXPECT_EQ(computeCalls(), expected);
  EXPECT_EQ(r.messageFn, nullptr) << "the callback is removed after the run";
  EXPECT_EQ(r.layers, nullptr);
}

TEST(HostEntry, ExchangeModeHandsTheHostNothing) {
  calls().clear();
  CycleRecord r = forwardingRecord();
  HostCallbacks host = allPairs();
  char s[] = "-Sjob";
  char p[] = "-PCF";
  char* argv[] = {s, p};
  ASSERT_EQ(qdCSexecCycle(&r, 2, argv, &host), 1);
  EXPECT_TRUE(calls().empty());
}

TEST(HostEntry, HostWithoutFunctionsReceivesNothingAndTheRunCompletes) {
  CycleRecord r = forwardingRecord();
  HostCallbacks none{};
  char s[] = "-Sjob";
  char* argv[] = {s};
  EXPECT_EQ(qdCSexecCycle(&r, 1, argv, &none), 1);
  EXPECT_EQ(qdCSexecCycle(&r, 1, argv, nullptr), 1);
}

TEST(HostEntry, ALayerRegisteredAfterTheFirstRecordGetsNoForwarder) {
  calls().clear();
  CycleRecord r = forwardingRecord();
  r.slots.phaseInit = [](CycleRecord* c) { return cycRegisterLayer(c, 0, writerOk, writerOk, 1); };
  r.slots.phaseCompute = [](CycleRecord* c) {
    cycRegisterLayer(c, 31, writerOk, writerOk, 1);
    cycSendTextRecord(c, 31, 9031, "late", "");
    cycSendTextRecord(c, 0, 9000, "early", "");
    return 1;
  };
  HostCallbacks host = allPairs();
  char s[] = "-Sjob";
  char* argv[] = {s};
  ASSERT_EQ(qdCSexecCycle(&r, 1, argv, &host), 1);
  const std::vector<std::tuple<int, int, int>> expected = {{0, 0, 9000}, {1, 0, 9000}};
  EXPECT_EQ(computeCalls(), expected);
}

namespace {
// (name, text) of every information text pair 0 received
std::vector<std::pair<std::string, std::string>>& infoTexts() {
  static std::vector<std::pair<std::string, std::string>> t;
  return t;
}
int infoFn(CycleRecord*, int layer, OutputRecord* r, void* user) {
  if (user == nullptr && layer == 0 && r->type == QDMILL_INFO_TEXT)
    infoTexts().emplace_back(r->text.name, r->text.text);
  return 1;
}
}  // namespace

// The information phases hand their texts to the host as layer-0 records (pair 0 and pair 1),
// on a layer that exists for the run only; the exchange mode hands them nothing.
TEST_F(TempDirTest, InformationRunsHandTheirTextsToTheHost) {
  writeFile("cyc.def", "parameters := cyc.lng\nSystemLanguage := english\n");
  writeFile("cyc.lng", "start english\n: first line\n:second line\nend\n");
  CycleRecord r;
  r.parent = &cycKernel;
  r.id = "cyc";
  r.title = "Test Cycle";
  r.code = 42;
  HostCallbacks host{};
  host.pair[0] = {infoFn, nullptr};
  host.pair[1] = {infoFn, &host};  // counted apart: layer 0 reaches pair 1 too
  cycUpdateVersionText(&r);
  const std::string version = std::string("Test Cycle (cyc) release 42-") + cycVersionText();
  struct Case {
    std::vector<std::string> args;
    std::vector<std::pair<std::string, std::string>> texts;  // help lines: only the first
  };
  const Case cases[] = {
      {{"-V"}, {{"version", version}}},
      {{"-P"}, {{"parameters", " first line"}, {"parameters", "second line"}}},
      {{"-A"}, {}},  // no "algorithm" file: the phase fails, nothing is sent
      {{}, {{"version", version}, {"help", "options of cyc:"}}},
      {{"-V", "-PCF"}, {}},
  };
  for (const Case& c : cases) {
    infoTexts().clear();
    std::vector<std::string> args = c.args;
    std::vector<char*> argv;
    for (std::string& a : args) argv.push_back(a.data());
    ASSERT_EQ(qdCSexecCycle(&r, static_cast<int>(argv.size()), argv.data(), &host), 1);
    std::vector<std::pair<std::string, std::string>> got;
    for (const auto& t : infoTexts()) {
      if (t.first != "help" || got.empty() || got.back().first != "help") got.push_back(t);
    }
    EXPECT_EQ(got, c.texts) << (c.args.empty() ? "(none)" : c.args[0]);
    EXPECT_EQ(r.layers, nullptr) << "an information run keeps no layer";
  }
  // The help names every option letter of the grammar.
  infoTexts().clear();
  char help[] = "-?";
  char* argv[] = {help};
  ASSERT_EQ(qdCSexecCycle(&r, 1, argv, &host), 1);
  std::string all;
  for (const auto& t : infoTexts()) all += t.second + "\n";
  for (const char* option :
       {"-S<job>", "-PCF", "-POF", "-M<n>", "-V", "-?", "-D", "-P", "-A", "-Y"})
    EXPECT_NE(all.find(option), std::string::npos) << option;
}

TEST(HostEntry, NullVectorWithACountRunsVersionAndHelp) {
  testLog() = {};
  CycleRecord r = testRecord();
  EXPECT_EQ(qdCSexecCycle(&r, 5, nullptr, nullptr), 1);
  const auto& e = testLog().events;
  EXPECT_NE(std::find(e.begin(), e.end(), kSlotMark + kVersion), e.end());
  EXPECT_EQ(std::find(e.begin(), e.end(), kSlotMark + kInit), e.end());
}

TEST(HostEntry, AnExceptionInAPhaseBecomesTheFailureResult) {
  CycleRecord r = forwardingRecord();
  r.slots.phaseCompute = [](CycleRecord*) -> int { throw std::runtime_error("phase fault"); };
  char s[] = "-Sjob";
  char* argv[] = {s};
  EXPECT_EQ(qdCSexecCycle(&r, 1, argv, nullptr), 0);
  EXPECT_EQ(hostRunDepth(), 0);
  EXPECT_EQ(r.messageFn, nullptr);
  cycFreeLayers(&r);
  cycCleanup(&r);
  CycleRecord again = forwardingRecord();
  EXPECT_EQ(qdCSexecCycle(&again, 1, argv, nullptr), 1) << "the run slot was given back";
}

namespace {
// Nine distinct records; a record's layer-0 callback starts a run of the next one.
constexpr int kChain = 9;
CycleRecord chain[kChain];
int chainResults[kChain];
int chainDepthSeen = 0;

int chainHost(CycleRecord* cycle, int layer, OutputRecord* r, void*) {
  if (layer != 0 || r->type != 103) return 1;
  const int i = static_cast<int>(cycle - chain);
  chainDepthSeen = std::max(chainDepthSeen, hostRunDepth());
  if (i + 1 < kChain) {
    HostCallbacks h{};
    h.pair[0] = {chainHost, nullptr};
    char s[] = "-Sjob";
    char* argv[] = {s};
    chainResults[i + 1] = qdCSexecCycle(&chain[i + 1], 1, argv, &h);
  }
  return 1;
}
int chainInit(CycleRecord* c) {
  cycRegisterLayer(c, 0, writerOk, writerOk, 1);
  cycSendTextRecord(c, 0, 103, "cycle", c->title);
  return 1;
}
}  // namespace

TEST(HostEntry, RunsNestEightDeepAndTheNinthIsRefused) {
  for (CycleRecord& c : chain) {
    c = forwardingRecord();
    c.slots.phaseInit = chainInit;
    c.slots.phaseCompute = cycPhaseNoop;
  }
  HostCallbacks h{};
  h.pair[0] = {chainHost, nullptr};
  char s[] = "-Sjob";
  char* argv[] = {s};
  chainResults[0] = qdCSexecCycle(&chain[0], 1, argv, &h);
  for (int i = 0; i < 8; ++i) EXPECT_EQ(chainResults[i], 1) << "run " << i;
  EXPECT_EQ(chainResults[8], 0) << "a ninth active run is refused";
  EXPECT_EQ(chainDepthSeen, 8);
  EXPECT_EQ(chain[8].inherited, 0) << "the refused record was not touched";
  EXPECT_EQ(hostRunDepth(), 0);
  EXPECT_EQ(qdCSexecCycle(&chain[8], 1, argv, &h), 1) << "once the runs returned, a new one runs";
}

namespace {
CycleRecord* selfRecord = nullptr;
int nestedSelfResult = -1;
int selfHost(CycleRecord* cycle, int layer, OutputRecord* r, void*) {
  if (layer == 0 && r->type == 103) {
    char v[] = "-V";
    char* argv[] = {v};
    nestedSelfResult = qdCSexecCycle(cycle, 1, argv, nullptr);
  }
  if (r->type >= 9000) calls().emplace_back(0, layer, r->type);
  return 1;
}
}  // namespace

// A host callback that reran the running record freed the outer run's parameters and layers.
TEST(HostEntry, NestedRunOfTheRunningRecordIsRefusedAndTheOuterRunGoesOn) {
  calls().clear();
  CycleRecord r = forwardingRecord();
  r.slots.phaseInit = [](CycleRecord* c) {
    registerAll(c);
    cycSendTextRecord(c, 0, 103, "cycle", c->title);
    return 1;
  };
  r.slots.phaseLoadParams = [](CycleRecord* c) {
    c->params = parListSet(c->params, "kept", "1", 21);
    return 1;
  };
  r.slots.phaseCompute = [](CycleRecord* c) {
    char* v = parListGet(c->params, "kept", nullptr);
    const bool kept = v != nullptr;
    memFree(v);
    return kept ? emitAll(c) : 0;
  };
  selfRecord = &r;
  HostCallbacks h{};
  h.pair[0] = {selfHost, nullptr};
  char s[] = "-Sjob";
  char* argv[] = {s};
  EXPECT_EQ(qdCSexecCycle(&r, 1, argv, &h), 1);
  EXPECT_EQ(nestedSelfResult, 0);
  EXPECT_FALSE(calls().empty()) << "the outer run still had its parameters and layers";
}
