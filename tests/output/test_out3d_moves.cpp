// 3D output layer moves: feed choice per move, repeated positions, held rapids, the 5-axis first
// position, the NC point buffer with its spline blocks, long runs, the end of output, and the
// buffer's memory failures.
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdio>
#include <sstream>

#include "framework/memory.h"
#include "framework/param_list.h"
#include "geometry/csys.h"
#include "test_out3d_capture.h"

using namespace qdtest;

namespace {
TechnologyRecord tech(double reduced) { return out3dTestTech(reduced); }

// Header written, output at (0, 0, 50) after the two rapids that complete the first position.
void start(double reduced) {
  TechnologyRecord t = tech(reduced);
  out3dWriteTechnology(&t);
  out3dMove3Axis({0, 0, 50}, kOut3dRapid);
  out3dMove3Axis({0, 0, 50}, kOut3dRapid);
}

// A point of a toolpath with the move kind of its code: 0 rapid, 1 cut, 100 cut at the reduced
// feed. The cycles hand kind 100 to the layer as a one-time reduced-feed request.
struct PathPoint {
  Point3D p;
  int kind;
};
void emit3(const std::vector<PathPoint>& path) {
  for (const auto& pt : path) {
    if (pt.kind == 100) out3dReducedFeedOnce(1);
    ASSERT_EQ(out3dMove3Axis(pt.p, pt.kind == 0 ? kOut3dRapid : kOut3dFeed), 0);
  }
}
}  // namespace

TEST_F(Out3dTest, FirstPositionZThenXYThenChangedCoordinates) {
  start(500);
  const auto lines = take();
  const std::vector<std::string> moves(lines.end() - 4, lines.end());
  EXPECT_EQ(moves, (std::vector<std::string>{"31: 3107 z50", "32: 4016 z50", "31: 3107 x0 y0",
                                             "32: 4016 x0 y0"}));
  out3dMove3Axis({10, 0, 50}, kOut3dRapid);
  EXPECT_EQ(take(), (std::vector<std::string>{"31: 3107 x10", "32: 4016 x10"}));
  EXPECT_EQ(out3dState().moveCount, 3);
}

TEST_F(Out3dTest, PlungeTakesThePlungeFeedAndTheNextCutFXAgain) {
  start(500);
  out3dSetPlungeAngle(5);
  take();
  emit3({{{0, 0, -2}, 1}, {{10, 0, -2}, 1}, {{10, 0, -4}, 1}});
  EXPECT_EQ(take(), (std::vector<std::string>{"10: aliasUse(FZ)", "10: tr(FZ)", "31: 3114 z-2",
                                              "32: 4007 z-2", "10: aliasUse(FX)", "10: tr(FX)",
                                              "31: 3114 x10", "32: 4007 x10", "10: aliasUse(FZ)",
                                              "10: tr(FZ)", "31: 3114 z-4", "32: 4007 z-4"}));
}

TEST_F(Out3dTest, SteepMoveWithAHorizontalPartTakesTheReducedFeedWhenThereIsOne) {
  const struct {
    double reduced;
    std::vector<std::string> alias;
  } cases[] = {{500, {"10: aliasUse(reducedFeedrate)", "10: tr(FX*0.5)"}},
               {0, {"10: aliasUse(FX)", "10: tr(FX)"}}};  // re-sent once after the header
  for (const auto& c : cases) {
    out3dResetState();
    start(c.reduced);
    out3dSetPlungeAngle(30);
    take();
    emit3({{{0.1, 0, 40}, 1}});
    std::vector<std::string> expected = c.alias;
    expected.insert(expected.end(), {"31: 3114 x0.1 z40", "32: 4007 x0.1 z40"});
    EXPECT_EQ(take(), expected) << c.reduced;
  }
}

TEST_F(Out3dTest, ReducedFeedMoveOfKind100AndBackToFX) {
  start(500);
  emit3({{{0, 0, 0}, 0}, {{10, 0, 0}, 1}});
  take();
  emit3({{{20, 0, 0}, 100}, {{30, 0, 0}, 1}, {{40, 0, 0}, 100}, {{50, 0, 0}, 100}});
  EXPECT_EQ(take(), (std::vector<std::string>{
                        "10: aliasUse(reducedFeedrate)", "10: tr(FX*0.5)", "31: 3114 x20",
                        "32: 4007 x20", "10: aliasUse(FX)", "10: tr(FX)", "31: 3114 x30",
                        "32: 4007 x30", "10: aliasUse(reducedFeedrate)", "10: tr(FX*0.5)",
                        "31: 3114 x40", "32: 4007 x40", "31: 3114 x50", "32: 4007 x50"}));
  EXPECT_EQ(out3dReducedFeedRequested(), 0) << "each request served one move";
}

TEST_F(Out3dTest, RepeatedPositionWritesNothing) {
  start(500);
  emit3({{{0, 0, 0}, 0}, {{10, 0, 0}, 1}});
  const long moves = out3dState().moveCount;
  take();
  emit3({{{10, 0, 0}, 1}, {{10.000001, 0, 0}, 1}, {{10, 0, 0}, 0}});
  EXPECT_TRUE(take().empty());
  EXPECT_EQ(out3dState().moveCount, moves);
}

// With a z offset the last position holds the written z, so the raw point was compared with it:
// a repeated point looked like a plunge by the offset and wrote the plunge feed and an empty move.
TEST_F(Out3dTest, RepeatedPositionWithAZOffsetWritesNothing) {
  out3dSetZOffset(5);
  start(500);
  emit3({{{0, 0, 0}, 0}, {{10, 0, 0}, 1}});
  take();
  emit3({{{10, 0, 0}, 1}});
  EXPECT_TRUE(take().empty());
  emit3({{{20, 0, 0}, 1}});
  EXPECT_EQ(take(), (std::vector<std::string>{"31: 3114 x20", "32: 4007 x20"}));
}

TEST_F(Out3dTest, HeldLinkBracket) {
  start(500);
  emit3({{{0, 0, 0}, 0}, {{10, 0, 0}, 1}});
  take();
  out3dBeginBlock(64);
  out3dBeginBlock(128);
  emit3({{{10, 0, 20}, 0}, {{30, 0, 20}, 0}});
  out3dEndBlock(128);
  out3dEndBlock(64);
  emit3({{{30, 0, 0}, 0}, {{40, 0, 0}, 1}});
  // Each rapid inside the bracket is written when the next move comes: the last one after it.
  EXPECT_EQ(take(), (std::vector<std::string>{"12: beg ctx link", "31: 3107 z20", "32: 4016 z20",
                                              "12: end ctx link", "31: 3107 x30", "32: 4016 x30",
                                              "31: 3107 z0", "32: 4016 z0", "31: 3114 x40",
                                              "32: 4007 x40"}));
  // A rapid still held at the end of output goes out inside a "link" context.
  out3dBeginBlock(128);
  emit3({{{40, 0, 20}, 0}});
  EXPECT_TRUE(take().empty());
  EXPECT_EQ(out3dEndOutput(), 0);
  EXPECT_EQ(take(), (std::vector<std::string>{"12: beg ctx link", "31: 3107 z20", "32: 4016 z20",
                                              "12: end ctx link", "12: clr all"}));
}

TEST_F(Out3dTest, EndOutputClosesThePartOfTheJobAndTheFiveAxisMode) {
  rec_.params = parListSet(rec_.params, "ppJobID", "12", 31);
  out3dSetToolAxis({0, 0, 1});
  out3dMove5Axis({0, 0, 10}, kOut3dRapid);
  take();
  out3dEndOutput();
  EXPECT_EQ(take(), (std::vector<std::string>{"12: end part 12", "12: clr all", "10: tr(5X0)"}));
  rec_.params = parListSet(rec_.params, "ppJobID", "abc", 31);
  out3dResetState();
  out3dEndOutput();
  EXPECT_EQ(take(), (std::vector<std::string>{"12: clr all"}));
  parListFree(rec_.params);
  rec_.params = nullptr;
}

// The first 5-axis position presets the last axis values to 0.01 so that all six coordinates
// are written; a component that really was 0.01 was then left out and the first position of the
// output never became complete.
TEST_F(Out3dTest, FiveAxisFirstPositionWritesAllSixCoordinatesEvenAnAxisOf001) {
  const double w = std::sqrt(1.0 - 0.01 * 0.01);
  out3dSetToolAxis({0.01, 0, w});
  out3dMove5Axis({1, 2, 30}, kOut3dRapid);
  const std::string axis = " u0.01000000 v0.00000000 w" + out3dAxisNum(w);
  EXPECT_EQ(take(),
            (std::vector<std::string>{"10: tr(5X)", "31: 3102 z30", "32: 4002 z30",
                                      "31: 3109 x1 y2 z30" + axis, "32: 4019 x1 y2 z30" + axis}));
  out3dMove5Axis({5, 2, 30}, kOut3dRapid);
  EXPECT_EQ(take(), (std::vector<std::string>{"31: 3107 x5", "32: 4016 x5"}))
      << "then only what changed; 5X is written once";
}

TEST_F(Out3dTest, FiveAxisTipOffsetAppliesToTheFirstPositionToo) {
  unitFactor = 2;
  out3dSetTipOffset(1, 20, {0, 0, 1});  // 10 in the user's units
  out3dSetToolAxis({0, 0, 1});
  out3dMove5Axis({0, 0, 50}, kOut3dRapid);
  out3dMove5Axis({0, 0, 60}, kOut3dRapid);
  const auto lines = take();
  ASSERT_EQ(lines.size(), 7u);
  EXPECT_EQ(lines[1], "31: 3102 z40");
  EXPECT_EQ(lines[3].substr(0, 19), "31: 3109 x0 y0 z40 ");
  EXPECT_EQ(lines[5], "31: 3107 z50");
}

TEST_F(Out3dTest, FiveAxisFeedChoiceAlongTheAxisAndOnAxisChanges) {
  TechnologyRecord t = tech(500);
  out3dWriteTechnology(&t);
  out3dSetToolAxis({0, 0, 1});
  out3dMove5Axis({0, 0, 50}, kOut3dRapid);
  out3dMove5Axis({0, 0, 40}, kOut3dFeed);  // along the negative axis: plunge
  out3dSetAxisReducedFeed(1);
  out3dSetToolAxis({0, 0.6, 0.8});
  out3dMove5Axis({10, 0, 40}, kOut3dFeed);  // the axis turns: reduced feed
  out3dMove5Axis({20, 0, 40}, kOut3dFeed);  // same axis: FX
  auto lines = take();
  // Header, 5X and the first position left out.
  const auto firstPosition = std::find_if(
      lines.begin(), lines.end(), [](const std::string& l) { return l.rfind("32: 4019", 0) == 0; });
  ASSERT_NE(firstPosition, lines.end());
  lines.erase(lines.begin(), firstPosition + 1);
  EXPECT_EQ(lines,
            (std::vector<std::string>{"10: aliasUse(FZ)", "10: tr(FZ)", "31: 3114 z40",
                                      "32: 4007 z40", "10: aliasUse(reducedFeedrate)",
                                      "10: tr(FX*0.5)", "31: 3118 x10 v0.60000000 w0.80000000",
                                      "32: 4020 x10 v0.60000000 w0.80000000", "10: aliasUse(FX)",
                                      "10: tr(FX)", "31: 3114 x20", "32: 4007 x20"}));
}

TEST_F(Out3dTest, MoveOutputOffWritesNoMoveRecords) {
  out3dEnableMoveOutput(0);
  start(500);
  emit3({{{0, 0, 0}, 0}, {{10, 0, 0}, 1}});
  for (const auto& l : take()) EXPECT_EQ(l.rfind("31:", 0), std::string::npos) << l;
  out3dEnableMoveOutput(1);
}

TEST(Out3dNoCycle, MovesWithoutAnOutputCycleFail) {
  out3dSetCycle(nullptr);
  EXPECT_EQ(out3dMove3Axis({0, 0, 0}, kOut3dFeed), -3);
  EXPECT_EQ(out3dMove5Axis({0, 0, 0}, kOut3dFeed), -3);
  EXPECT_EQ(out3dEndOutput(), 0);
}

TEST_F(Out3dTest, StopNowFromTheInterruptCheckWritesNothing) {
  start(500);
  take();
  static int answer = 0;
  out3dSetBreakCheck([] { return answer; });
  answer = 2;  // stop after the region: the output goes on
  EXPECT_EQ(out3dMove3Axis({1, 0, 50}, kOut3dFeed), 0);
  answer = 1;
  EXPECT_EQ(out3dMove3Axis({2, 0, 50}, kOut3dFeed), -2);
  EXPECT_EQ(out3dMove5Axis({2, 0, 50}, kOut3dFeed), -2);
  out3dSetBreakCheck(nullptr);
  const auto lines = take();
  EXPECT_EQ(lines.back(), "32: 4007 x1");
}

// ---- NC point buffer ----------------------------------------------------------------------------

namespace {
// The segments of the "#D_SPLINE" blocks in the lines: x, y and z coefficients of each segment,
// and the number of blocks.
struct DSplineBlocks {
  std::vector<std::array<double, 12>> segments;
  int blocks = 0;
  int headers = 0;
};
DSplineBlocks parseDSpline(const std::vector<std::string>& lines) {
  DSplineBlocks b;
  for (std::size_t i = 0; i < lines.size(); ++i) {
    if (lines[i].rfind("32: #D_SPLINE[", 0) == 0) ++b.headers;
    if (lines[i] == "32: (------ DATA -----)") ++b.blocks;
    if (lines[i] == "32: t0.0000" && i + 3 < lines.size()) {
      std::array<double, 12> c{};
      for (int k = 0; k < 3; ++k) {
        std::istringstream in(lines[i + 1 + k].substr(4));
        in >> c[4 * k] >> c[4 * k + 1] >> c[4 * k + 2] >> c[4 * k + 3];
      }
      b.segments.push_back(c);
    }
  }
  return b;
}
Point3D segStart(const std::array<double, 12>& c) { return {c[0], c[4], c[8]}; }
Point3D segEnd(const std::array<double, 12>& c) {
  return {c[0] + c[1] + c[2] + c[3], c[4] + c[5] + c[6] + c[7], c[8] + c[9] + c[10] + c[11]};
}
int countPrefix(const std::vector<std::string>& lines, const std::string& prefix) {
  int n = 0;
  for (const auto& l : lines) n += l.rfind(prefix, 0) == 0 ? 1 : 0;
  return n;
}
// The full positions of the layer-32 modal records, following their flags.
std::vector<Point3D> g1Positions(const std::vector<std::string>& lines) {
  std::vector<Point3D> out;
  Point3D at{0, 0, 0};
  for (const auto& l : lines) {
    if (l.rfind("32: 4007", 0) != 0 && l.rfind("32: 4016", 0) != 0) continue;
    std::istringstream in(l.substr(9));
    std::string word;
    while (in >> word) {
      const double v = std::stod(word.substr(1));
      (word[0] == 'x' ? at.x : word[0] == 'y' ? at.y : at.z) = v;
    }
    if (l.rfind("32: 4007", 0) == 0) out.push_back(at);
  }
  return out;
}
const std::vector<Point3D> kRun = {{0, 0, 0}, {10, 0, 0}, {12, 5, 0}, {15, 8, -1}, {20, 8, -1}};
}  // namespace

TEST_F(Out3dTest, SplineBlockRunsThroughTheSamePointsAsTheG1Moves) {
  // Standard output: G1 lines.
  start(500);
  emit3({{kRun[0], 0}});
  for (std::size_t i = 1; i < kRun.size(); ++i) emit3({{kRun[i], 1}});
  emit3({{{20, 8, 50}, 0}});
  const std::vector<Point3D> g1 = g1Positions(take());
  ASSERT_EQ(g1.size(), kRun.size() - 1);

  // NC mode 1: the same moves as one spline block.
  out3dResetState();
  out3dSetNcMode(1);
  start(500);
  out3dStartLiteral();
  emit3({{kRun[0], 0}});
  for (std::size_t i = 1; i < kRun.size(); ++i) emit3({{kRun[i], 1}});
  emit3({{{20, 8, 50}, 0}});
  out3dFlushLiteral();
  const auto lines = take();
  EXPECT_EQ(countPrefix(lines, "32: 4007"), 1) << "only the G1 of the last rapid's point";
  EXPECT_EQ(countPrefix(lines, "31: 3114"), 4) << "layer 31 keeps every move";
  const DSplineBlocks b = parseDSpline(lines);
  ASSERT_EQ(b.blocks, 1);
  ASSERT_EQ(b.segments.size(), g1.size());
  for (std::size_t i = 0; i < g1.size(); ++i) {
    const Point3D from = i == 0 ? kRun[0] : g1[i - 1];
    EXPECT_NEAR(vecDistance(segStart(b.segments[i]), from), 0, 1e-3) << i;
    EXPECT_NEAR(vecDistance(segEnd(b.segments[i]), g1[i]), 0, 1e-3) << i;
  }
  EXPECT_EQ(countPrefix(lines, "32: F1000.0000"), 4);
  EXPECT_EQ(countPrefix(lines, "0: NCmode(literal)"), 1);
  EXPECT_EQ(lines.back(), "0: NCmode(standard)");
}

TEST_F(Out3dTest, ShortRunsGoOutAsG1AndPolynomialModeWritesPoly) {
  out3dSetNcMode(1);
  start(500);
  out3dStartLiteral();
  take();
  emit3({{{0, 0, 0}, 0}, {{10, 0, 0}, 1}, {{10, 0, 50}, 0}});
  EXPECT_EQ(take(),
            (std::vector<std::string>{"31: 3107 z0", "32: 4016 z0", "10: aliasUse(FX)",
                                      "10: tr(FX)", "31: 3114 x10", "31: 3107 z50",
                                      "32: 4007 x0 y0 z0", "32: 4007 x10 y0 z0", "32: 4016 z50"}));
  out3dFlushLiteral();

  out3dResetState();
  out3dSetNcMode(2);
  start(500);
  out3dStartLiteral();
  take();
  emit3({{{0, 0, 0}, 0}, {{10, 0, 0}, 1}, {{20, 0, 0}, 1}, {{20, 0, 50}, 0}});
  const auto lines = take();
  EXPECT_EQ(countPrefix(lines, "32: G1 X0.000 Y0.000 Z0.000"), 1);
  EXPECT_EQ(countPrefix(lines, "32: POLY PO[X]="), 1);
  EXPECT_EQ(countPrefix(lines, "32: PO[X]="), 1);
  out3dFlushLiteral();
}

TEST_F(Out3dTest, WithoutABufferTheFeedMovesStillGoOutAsG1) {
  out3dSetNcMode(1);
  start(500);
  take();
  memTestFailAt(1);
  out3dStartLiteral();
  memTestFailAt(0);
  EXPECT_EQ(take(), (std::vector<std::string>{"0: error(6000)"}));
  emit3({{{0, 0, 0}, 0}, {{10, 0, 0}, 1}, {{20, 0, 0}, 1}});
  EXPECT_EQ(countPrefix(take(), "32: 4007"), 2);
}

TEST_F(Out3dTest, BufferGrowthFailureDropsTheBufferWithMessage6001) {
  out3dSetNcMode(1);
  start(500);
  out3dStartLiteral();
  emit3({{{0, 0, 0}, 0}});
  for (int i = 1; i < kOut3dBufferStep; ++i) emit3({{{double(i), 0, 0}, 1}});
  take();
  memTestFailAt(1);
  emit3({{{double(kOut3dBufferStep), 0, 0}, 1}});
  memTestFailAt(0);
  const auto lines = take();
  EXPECT_EQ(countPrefix(lines, "0: error(6001)"), 1);
  EXPECT_EQ(out3dState().buffer, nullptr);
}

// The spline's segment count is 16 bits wide: a longer run is written as consecutive blocks, the
// next one starting at the last point of the one before.
TEST_F(Out3dTest, FeedRunLongerThan32767PointsIsSplitIntoBlocks) {
  out3dSetNcMode(1);
  start(500);
  out3dStartLiteral();
  take();
  emit3({{{0, 0, 0}, 0}});
  constexpr int kFeeds = 40000;
  for (int i = 1; i <= kFeeds; ++i) {
    const double a = i * 0.01;
    ASSERT_EQ(out3dMove3Axis({100 * std::cos(a * 0.01), 100 * std::sin(a * 0.01), -0.0001 * i},
                             kOut3dFeed),
              0);
  }
  emit3({{{0, 0, 50}, 0}});
  const DSplineBlocks b = parseDSpline(take());
  EXPECT_EQ(b.blocks, 2);
  EXPECT_EQ(b.headers, kFeeds);
  ASSERT_EQ(static_cast<int>(b.segments.size()), kFeeds);
  for (std::size_t i = 1; i < b.segments.size(); ++i) {
    ASSERT_NEAR(vecDistance(segEnd(b.segments[i - 1]), segStart(b.segments[i])), 0, 1e-3) << i;
  }
  out3dFlushLiteral();
}

namespace {
// The positions that the layer-32 lines visit in order: modal G0 and G1 records, and the segment
// ends of "#D_SPLINE" blocks. A segment that does not start where the tool is shows as a jump
// (a far point). Repeats within 1e-3 are left out.
std::vector<Point3D> visited32(const std::vector<std::string>& lines) {
  std::vector<Point3D> out;
  Point3D at{0, 0, 0};
  const auto visit = [&out](const Point3D& p) {
    if (out.empty() || vecDistance(out.back(), p) > 1e-3) out.push_back(p);
  };
  for (std::size_t i = 0; i < lines.size(); ++i) {
    const std::string& l = lines[i];
    if (l.rfind("32: 4007", 0) == 0 || l.rfind("32: 4016", 0) == 0) {
      std::istringstream in(l.substr(9));
      std::string word;
      while (in >> word) {
        const double v = std::stod(word.substr(1));
        (word[0] == 'x' ? at.x : word[0] == 'y' ? at.y : at.z) = v;
      }
      visit(at);
    } else if (l == "32: t0.0000" && i + 3 < lines.size()) {
      std::array<double, 12> c{};
      for (int k = 0; k < 3; ++k) {
        std::istringstream in(lines[i + 1 + k].substr(4));
        in >> c[4 * k] >> c[4 * k + 1] >> c[4 * k + 2] >> c[4 * k + 3];
      }
      if (vecDistance(segStart(c), at) > 1e-3) visit({1e9, 1e9, 1e9});
      at = segEnd(c);
      visit(at);
    }
  }
  return out;
}

// A zigzag feed run of n points after a rapid to its start, then a rapid up.
std::vector<PathPoint> zigzag(int n) {
  std::vector<PathPoint> path{{{0, 0, 0}, 0}};
  for (int k = 1; k <= n; ++k) path.push_back({{double(k), double(k % 2) * 5, 0}, 1});
  path.push_back({{double(n), double(n % 2) * 5, 50}, 0});
  return path;
}
}  // namespace

// A failed block (memory ran out in the fit), a failed buffer growth, or a literal mode started
// after the first cut lost moves: the layer-32 path then cut straight across them.
TEST_F(Out3dTest, NcModesVisitEveryPositionOfTheStandardOutputWhenBlocksFail) {
  enum class Fault { FitMemory, Growth, LateStart };
  const struct {
    const char* name;
    int ncMode;
    Fault fault;
    int feeds;
    int failBefore;  // index of the path point before which the fault strikes
    const char* message;
  } cases[] = {
      {"spline fit out of memory", 1, Fault::FitMemory, 5, 6, "*** ERROR : NO MEMORY"},
      {"polynomial fit out of memory", 2, Fault::FitMemory, 5, 6, "*** ERROR : NO MEMORY"},
      {"buffer growth fails", 1, Fault::Growth, 1100, 1000, "error(6001)"},
      {"literal mode started after the first cut", 1, Fault::LateStart, 5, 2, nullptr},
  };
  for (const auto& c : cases) {
    const std::vector<PathPoint> path = zigzag(c.feeds);
    out3dResetState();
    out3dSetNcMode(0);
    start(500);
    emit3(path);
    const std::vector<Point3D> expected = visited32(take());

    out3dResetState();
    out3dSetNcMode(c.ncMode);
    start(500);
    if (c.fault != Fault::LateStart) out3dStartLiteral();
    for (std::size_t i = 0; i < path.size(); ++i) {
      if (static_cast<int>(i) == c.failBefore) {
        if (c.fault == Fault::LateStart) {
          out3dStartLiteral();
        } else {
          memTestFailAt(1);
        }
      }
      emit3({path[i]});
      memTestFailAt(0);
    }
    out3dFlushLiteral();
    const auto lines = take();
    if (c.message != nullptr) {
      EXPECT_TRUE(
          std::any_of(lines.begin(), lines.end(),
                      [&](const std::string& l) { return l.find(c.message) != std::string::npos; }))
          << c.name << ": the fault did not strike";
    }
    const std::vector<Point3D> got = visited32(lines);
    EXPECT_EQ(got.size(), expected.size()) << c.name;
    for (std::size_t i = 0; i < std::min(got.size(), expected.size()); ++i) {
      EXPECT_NEAR(vecDistance(got[i], expected[i]), 0, 1e-3) << c.name << " at " << i;
    }
  }
  out3dSetNcMode(0);
}
