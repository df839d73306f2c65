// Status word from a computation result, the break check on the library's own record, and the
// qdRpx5 record run as a host runs it (qdCSexecCycle with callbacks): its echo, its moves, the
// user break after a number of moves and the failure of the controller's stand-in. A fake
// controller sends the moves until the roughing controller exists.
#include <gtest/gtest.h>

#include <algorithm>
#include <vector>

#include "cycles/cycle_result.h"
#include "cycles/rpx5_record.h"
#include "framework/kernel.h"
#include "framework/phase_runner.h"
#include "qdmill/qdmill.h"
#include "rough_fake.h"
#include "support/temp_dir.h"
#include "toolpath_check.h"
#include "toolpath_check_gtest.h"

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
  ASSERT_EQ(cycParseOptions(r, nullptr, 0, 1), 1);
  CycleRecord* top = r;
  while (top->parent != nullptr) top = top->parent;
  EXPECT_EQ(top, &cycKernel);
  EXPECT_EQ(r->slots.phaseLoadParams, cycLoadParamSources);
}

namespace {
struct Seen {
  int pair, layer, type;
  std::string text;
};
std::vector<Seen> seen;
long breakAfter = -1;
int moves = 0;
int host(CycleRecord* cycle, int layer, OutputRecord* r, void* user) {
  seen.push_back({static_cast<int>(reinterpret_cast<std::intptr_t>(user)), layer, r->type,
                  layer == 0 ? std::string(r->text.name) + "(" + r->text.text + ")" : ""});
  if (layer == 31 && ++moves == breakAfter) qdCSsetSignal(cycle, 100);
  return 1;
}
int runJob(std::vector<std::string> args) {
  seen.clear();
  moves = 0;
  HostCallbacks h{};
  for (int p = 0; p < 3; ++p)
    h.pair[p] = {host, reinterpret_cast<void*>(static_cast<std::intptr_t>(p))};
  std::vector<char*> argv;
  for (auto& a : args) argv.push_back(a.data());
  return qdCSexecCycle(nullptr, static_cast<int>(argv.size()), argv.data(), &h);
}
void writeJob() {
  qdtest::writeFile("qdRpx5.def", "d := 1\n");
  qdtest::writeFile("job.pcf", "polySource := part.stl\ntoolDiameter := 6\ngeoOut := job.qdx\n");
}
// A square at z 0 whose moves the fake controller sends.
void squareMoves() {
  qdtest::fakeControl().moves = {{0, 0, 0}, {25, 0, 0}, {25, 25, 0}, {0, 25, 0}, {0, 0, 0}};
}
}  // namespace

TEST_F(TempDirTest, RunEchoesMovesAndEnds) {
  qdtest::FakeControlScope fake;
  squareMoves();
  writeJob();
  ASSERT_EQ(runJob({"-Sjob"}), 1);
  EXPECT_EQ(qdCSgetSignal(nullptr), 0);
  std::vector<int> layer1;
  int layer31 = 0;
  for (const Seen& s : seen) {
    if (s.layer == 1) layer1.push_back(s.type);
    if (s.layer == 31) ++layer31;
  }
  EXPECT_EQ(layer1, (std::vector<int>{201, 201, 201, 202}));
  EXPECT_EQ(layer31, 6) << "the first position as two records, then four feed moves";
  ASSERT_FALSE(seen.empty());
  EXPECT_EQ(seen.back().type, 104);
  EXPECT_EQ(rpx5CycleRecord()->layers, nullptr);
}

// The host sets the stop signal after two moves: no move follows, the status word is 100.
TEST_F(TempDirTest, RunStopsOnTheSignalAndReportsAUserBreak) {
  qdtest::FakeControlScope fake;
  squareMoves();
  writeJob();
  breakAfter = 2;
  ASSERT_EQ(runJob({"-Sjob"}), 1);
  EXPECT_EQ(qdCSgetSignal(nullptr), 100);
  EXPECT_EQ(moves, 2) << "no move after the signal";
  breakAfter = -1;
  qdCSsetSignal(nullptr, 0);
}

// A job whose model does not load fails: status 1, message 509, and no move.
TEST_F(TempDirTest, RunWithoutAModelFails) {
  writeJob();
  ASSERT_EQ(runJob({"-Sjob"}), 1);
  EXPECT_EQ(qdCSgetSignal(nullptr), 1);
  EXPECT_EQ(moves, 0);
  std::vector<std::string> errors;
  for (const Seen& s : seen) {
    if (s.layer == 0 && s.type == 101 && s.pair == 0) errors.push_back(s.text);
  }
  ASSERT_FALSE(errors.empty());
  EXPECT_NE(std::find(errors.begin(), errors.end(), "error(509,0)"), errors.end())
      << "the controller finds no model and fails the run";
}

// The POF text of a run with moves passes the toolpath checker's sanity checks and cuts at the
// one level the moves give: the job outputs the tool tip, one radius below the ball centres the
// controller sent at z 0 (the roughing's default tool is an end mill, whose points are its tip).
TEST_F(TempDirTest, RunMovesPassTheToolpathChecker) {
  qdtest::FakeControlScope fake;
  squareMoves();
  writeJob();
  qdtest::writeFile("job.pcf",
                    qdtest::readFile("job.pcf") + "pofFilename := job.pof\ntoolType := ballMill\n");
  std::string arg = "-Sjob";
  char* argv[] = {arg.data()};
  ASSERT_EQ(qdCSexecCycle(nullptr, 1, argv, nullptr), 1);
  tpc::Path path;
  ASSERT_TRUE(tpc::passes(tpc::readPof(path, "job.pof", tpc::Tool::ball(3))));
  EXPECT_TRUE(tpc::passes(tpc::checkSanity(path)));
  EXPECT_TRUE(tpc::passes(tpc::checkLevels(path, {-3})));
}
