// Status word from a computation result, the break check on the library's own record, and the
// stand-in qdRpx5 record: its parent chain, its layers and its break and failure paths.
#include <gtest/gtest.h>

#include <vector>

#include "cycles/cycle_result.h"
#include "cycles/rpx5_record.h"
#include "framework/kernel.h"
#include "framework/phase_runner.h"
#include "qdmill/qdmill.h"
#include "support/temp_dir.h"

using qdtest::TempDirTest;

TEST(CycleResult, StatusWordTable) {
  const int cases[][2] = {{-2, 100}, {-5, 1}, {-1, 1}, {0, 0}, {7, 0}, {1, 0}};
  for (const auto& c : cases) {
    CycleRecord r;
    r.status = 55;
    EXPECT_EQ(cyc3dSetResult(&r, c[0]), c[1]) << c[0];
    EXPECT_EQ(r.status, c[1]);
    EXPECT_EQ(cyc3dSetResult(nullptr, c[0]), c[1]);
  }
}

TEST(CycleResult, BreakCheckReadsTheLibraryRecordOnly) {
  CycleRecord other;
  other.signal = 100;
  const int cases[][2] = {{0, 0}, {100, 1}, {104, 2}, {101, 0}, {-100, 0}};
  for (const auto& c : cases) {
    rpx5CycleRecord()->signal = c[0];
    EXPECT_EQ(rpx5BreakCheck(), c[1]) << c[0];
  }
  rpx5CycleRecord()->signal = 0;
}

TEST(Rpx5Record, ChainEndsAtTheKernel) {
  CycleRecord* r = rpx5CycleRecord();
  EXPECT_STREQ(r->id, "qdRpx5");
  EXPECT_EQ(r->code, 1135);
  ASSERT_EQ(cycParseOptions(r, nullptr, 0, 1), 1);
  CycleRecord* top = r;
  while (top->parent != nullptr) top = top->parent;
  EXPECT_EQ(top, &cycKernel);
  EXPECT_EQ(r->slots.phaseEnd, cycEndDefault);
  EXPECT_EQ(r->slots.phaseLoadParams, cycLoadParamSources);
}

namespace {
struct Seen {
  int pair, layer, type;
};
std::vector<Seen> seen;
long breakAfter = -1;
int moves = 0;
int host(CycleRecord* cycle, int layer, OutputRecord* r, void* user) {
  seen.push_back({static_cast<int>(reinterpret_cast<std::intptr_t>(user)), layer, r->type});
  if (layer == 31 && ++moves == breakAfter) qdCSsetSignal(cycle, 100);
  return 1;
}
int runDemo(std::vector<std::string> args) {
  seen.clear();
  moves = 0;
  HostCallbacks h{};
  for (int p = 0; p < 3; ++p)
    h.pair[p] = {host, reinterpret_cast<void*>(static_cast<std::intptr_t>(p))};
  std::vector<char*> argv;
  for (auto& a : args) argv.push_back(a.data());
  return qdCSexecCycle(nullptr, static_cast<int>(argv.size()), argv.data(), &h);
}
}  // namespace

TEST_F(TempDirTest, StandInRunEchoesAndMovesThenEnds) {
  qdtest::writeFile("qdRpx5.def", "d := 1\n");
  qdtest::writeFile("job.pcf", "c := 2\n");
  ASSERT_EQ(runDemo({"-Sjob"}), 1);
  EXPECT_EQ(qdCSgetSignal(nullptr), 0);
  std::vector<int> layer1;
  int layer31 = 0;
  for (const Seen& s : seen) {
    if (s.layer == 1) layer1.push_back(s.type);
    if (s.layer == 31) ++layer31;
  }
  EXPECT_EQ(layer1, (std::vector<int>{201, 202}));
  EXPECT_EQ(layer31, 6);
  ASSERT_FALSE(seen.empty());
  EXPECT_EQ(seen.back().type, 104);
  EXPECT_EQ(rpx5CycleRecord()->layers, nullptr);
}

TEST_F(TempDirTest, StandInStopsOnTheSignalAndReportsAUserBreak) {
  breakAfter = 2;
  ASSERT_EQ(runDemo({"-Sjob"}), 1);
  EXPECT_EQ(qdCSgetSignal(nullptr), 100);
  EXPECT_EQ(moves, 2) << "no move after the signal";
  breakAfter = -1;
}

TEST_F(TempDirTest, StandInFailureBecomesStatusOne) {
  qdtest::writeFile("bad.pcf", "demoSquareSide := -4\n");
  ASSERT_EQ(runDemo({"-Sbad"}), 1);
  EXPECT_EQ(qdCSgetSignal(nullptr), 1);
  EXPECT_EQ(moves, 0);
}
