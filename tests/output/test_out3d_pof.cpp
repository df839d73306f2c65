// 3D output layer through the POF text writers: the exact lines of a plunge, a reduced-feed move,
// a held link bracket, a spline block against the same moves as G1 lines, the 5-axis first
// position and a feed run longer than one spline block.
#include <gtest/gtest.h>

#include <cmath>
#include <sstream>
#include <string>
#include <vector>

#include "framework/messages.h"
#include "framework/test_pof_support.h"
#include "geometry/cycle_state.h"
#include "output/out3d_moves.h"
#include "output/out3d_state.h"
#include "test_out3d_capture.h"

using namespace qdtest;

namespace {
class Out3dPof : public PofTest {
 protected:
  void SetUp() override {
    PofTest::SetUp();
    out3dPointBufFree(out3dState().buffer);
    out3dState() = Out3dState{};
    cycleStateResetState();
    msgResetState();
    serve({0, 10, 12, 31, 32});
    param("writeAlias", "true");
    out3dSetCycle(&rec_);
    out3dResetState();
    begin();
    TechnologyRecord t = out3dTestTech(500);
    out3dWriteTechnology(&t);
    fresh();
  }
  void TearDown() override {
    out3dResetState();
    out3dSetCycle(nullptr);
    PofTest::TearDown();
  }
  // The first position, a rapid down to z 0 and a cut to (10, 0, 0); what they wrote is skipped.
  void cutStart() {
    move(0, 0, 50, 0);
    move(0, 0, 50, 0);
    move(0, 0, 0, 0);
    move(10, 0, 0, 1);
    fresh();
  }
  void move(double x, double y, double z, int kind) {
    if (kind == 100) out3dReducedFeedOnce(1);
    ASSERT_EQ(out3dMove3Axis({x, y, z}, kind == 0 ? kOut3dRapid : kOut3dFeed), 0);
  }
};
}  // namespace

namespace {
const char kFirstPosition[] =
    "10: nctx(BFP)\n"
    "10: nctx(0)\n"
    "10: arg(I:firstPosition:=1)\n"
    "31: oM[1]( z[/50] )\n"
    "32: G0 Z50\n"
    "31: oM[2]( x[/0] y[/0] )\n"
    "32: G0 X0 Y0\n"
    "10: arg(I:firstPosition:=0)\n"
    "10: proc(firstPosition3D)\n"
    "10: nctx(AFP)\n"
    "10: nctx(0)\n";

std::vector<std::string> lines(const std::string& text) {
  std::vector<std::string> out;
  std::istringstream in(text);
  for (std::string line; std::getline(in, line);) out.push_back(line);
  return out;
}
int count(const std::vector<std::string>& ls, const std::string& prefix) {
  int n = 0;
  for (const auto& l : ls) n += l.rfind(prefix, 0) == 0 ? 1 : 0;
  return n;
}
// End points of the "#D_SPLINE" segments: the sums of the x, y and z coefficient lines.
std::vector<Point3D> splineEnds(const std::vector<std::string>& ls, std::vector<Point3D>* starts) {
  std::vector<Point3D> ends;
  for (std::size_t i = 0; i + 3 < ls.size(); ++i) {
    if (ls[i] != "32: t0.0000") continue;
    double c[3][4];
    for (int k = 0; k < 3; ++k) {
      std::istringstream in(ls[i + 1 + k].substr(4));
      in >> c[k][0] >> c[k][1] >> c[k][2] >> c[k][3];
    }
    if (starts != nullptr) starts->push_back({c[0][0], c[1][0], c[2][0]});
    ends.push_back({c[0][0] + c[0][1] + c[0][2] + c[0][3], c[1][0] + c[1][1] + c[1][2] + c[1][3],
                    c[2][0] + c[2][1] + c[2][2] + c[2][3]});
  }
  return ends;
}
// Positions of the "32: G1" lines, following the modal axes.
std::vector<Point3D> g1Positions(const std::vector<std::string>& ls) {
  std::vector<Point3D> out;
  Point3D at{0, 0, 0};
  for (const auto& l : ls) {
    const bool g1 = l.rfind("32: G1 ", 0) == 0;
    if (!g1 && l.rfind("32: G0 ", 0) != 0) continue;
    std::istringstream in(l.substr(7));
    for (std::string word; in >> word;) {
      const double v = std::stod(word.substr(1));
      (word[0] == 'X' ? at.x : word[0] == 'Y' ? at.y : at.z) = v;
    }
    if (g1) out.push_back(at);
  }
  return out;
}
}  // namespace

TEST_F(Out3dPof, PlungeTakesThePlungeFeed) {
  move(0, 0, 50, 0);
  move(0, 0, 50, 0);
  move(0, 0, 2, 0);
  out3dSetPlungeAngle(5);
  move(0, 0, -3, 1);
  move(10, 0, -3, 1);
  EXPECT_EQ(fresh(), std::string(kFirstPosition) +
                         "31: oM[3]( z[/2] )\n"
                         "32: G0 Z2\n"
                         "10: aliasUse(FZ)\n"
                         "10: tr(FZ)\n"
                         "31: oL[4]( z[/-3] )\n"
                         "32: G1 Z-3\n"
                         "10: aliasUse(FX)\n"
                         "10: tr(FX)\n"
                         "31: oL[5]( x[/10] )\n"
                         "32: G1 X10\n");
}

TEST_F(Out3dPof, ReducedFeedMoveOfKind100) {
  cutStart();
  move(20, 0, 0, 100);
  move(30, 5, 0, 100);
  move(40, 5, 0, 1);
  EXPECT_EQ(fresh(),
            "10: aliasUse(reducedFeedrate)\n"
            "10: tr(FX*0.5)\n"
            "31: oL[5]( x[/20] )\n"
            "32: G1 X20\n"
            "31: oL[6]( x[/30] y[/5] )\n"
            "32: G1 X30 Y5\n"
            "10: aliasUse(FX)\n"
            "10: tr(FX)\n"
            "31: oL[7]( x[/40] )\n"
            "32: G1 X40\n");
}

TEST_F(Out3dPof, HeldLinkBracket) {
  cutStart();
  out3dBeginBlock(64);
  out3dBeginBlock(128);
  move(10, 0, 20, 0);
  move(30, 0, 20, 0);
  out3dEndBlock(128);
  out3dEndBlock(64);
  move(30, 0, 0, 0);
  move(40, 0, 0, 1);
  out3dBeginBlock(128);
  move(40, 0, 20, 0);
  out3dEndOutput();
  EXPECT_EQ(fresh(),
            "12: beg ctx link\n"
            "31: oM[5]( z[/20] )\n"
            "32: G0 Z20\n"
            "12: end ctx link\n"
            "31: oM[6]( x[/30] )\n"
            "32: G0 X30\n"
            "31: oM[7]( z[/0] )\n"
            "32: G0 Z0\n"
            "31: oL[8]( x[/40] )\n"
            "32: G1 X40\n"
            "12: beg ctx link\n"
            "31: oM[9]( z[/20] )\n"
            "32: G0 Z20\n"
            "12: end ctx link\n"
            "12: clr all\n");
}

TEST_F(Out3dPof, SplineBlockAgainstTheSamePointsAsG1Moves) {
  const Point3D run[] = {{0, 0, 0},   {10, 0, 0},  {12, 5, -0.5},
                         {15, 8, -1}, {20, 8, -1}, {26, 3, -1}};
  auto emitRun = [&] {
    move(0, 0, 50, 0);
    move(0, 0, 50, 0);
    move(run[0].x, run[0].y, run[0].z, 0);
    for (std::size_t i = 1; i < std::size(run); ++i) move(run[i].x, run[i].y, run[i].z, 1);
    move(26, 3, 50, 0);
  };
  emitRun();
  const std::vector<Point3D> g1 = g1Positions(lines(fresh()));
  ASSERT_EQ(g1.size(), std::size(run) - 1);

  out3dResetState();
  TechnologyRecord t;
  t.feed = 1000;
  out3dWriteTechnology(&t);
  out3dSetNcMode(1);
  out3dStartLiteral();
  fresh();
  emitRun();
  out3dFlushLiteral();
  const std::vector<std::string> ls = lines(fresh());
  // A rapid's point opens the next run; a run that got no feed move is flushed as that one point:
  // the rapid before the feed run and the last rapid.
  EXPECT_EQ(count(ls, "32: G1 "), 2);
  EXPECT_EQ(count(ls, "32: G1 X0 Y0 Z50"), 1);
  EXPECT_EQ(count(ls, "31: oL["), 5) << "layer 31 keeps every move";
  EXPECT_EQ(count(ls, "32: #D_SPLINE["), 5);
  EXPECT_EQ(count(ls, "32: (------ DATA -----)"), 1);
  EXPECT_EQ(count(ls, "32: F1000.0000"), 5);
  std::vector<Point3D> starts;
  const std::vector<Point3D> ends = splineEnds(ls, &starts);
  ASSERT_EQ(ends.size(), g1.size());
  for (std::size_t i = 0; i < g1.size(); ++i) {
    EXPECT_NEAR(vecDistance(ends[i], g1[i]), 0, 1e-3) << i;
    EXPECT_NEAR(vecDistance(starts[i], i == 0 ? run[0] : g1[i - 1]), 0, 1e-3) << i;
  }
  EXPECT_EQ(ls[ls.size() - 3], "0: NCmode(literal)");
  EXPECT_EQ(ls.back(), "0: NCmode(standard)");
}

// The 5-axis first position presets the axis to 0.01: a real component of 0.01 was not written,
// and the first position never closed.
TEST_F(Out3dPof, FiveAxisFirstPositionWithAnAxisComponentOf001Closes) {
  out3dSetToolAxis({0.01, 0, std::sqrt(1 - 0.0001)});
  ASSERT_EQ(out3dMove5Axis({1, 2, 30}, kOut3dRapid), 0);
  ASSERT_EQ(out3dMove5Axis({5, 2, 30}, kOut3dRapid), 0);
  EXPECT_EQ(fresh(),
            "10: tr(5X)\n"
            "10: nctx(BFP)\n"
            "10: nctx(0)\n"
            "10: arg(I:firstPosition:=1)\n"
            "31: oM[1]( z[/30] )\n"
            "32: G0 Z30\n"
            "31: oM[2]( x[/1] y[/2] z[/30] u[/0.01000000] v[/0.00000000] w[/0.99995000] )\n"
            "32: G0 X1 Y2 Z30 U0.01000000 V0.00000000 W0.99995000\n"
            "10: arg(I:firstPosition:=0)\n"
            "10: proc(firstPosition5X)\n"
            "10: nctx(AFP)\n"
            "10: nctx(0)\n"
            "31: oM[3]( x[/5] )\n"
            "32: G0 X5\n");
}

// A spline block counts its segments in 16 bits: a longer feed run goes out as consecutive
// blocks, each starting where the one before ended.
TEST_F(Out3dPof, FeedRunLongerThan32767Points) {
  out3dSetNcMode(1);
  out3dStartLiteral();
  move(0, 0, 50, 0);
  move(0, 0, 50, 0);
  move(100, 0, 0, 0);
  constexpr int kFeeds = 40000;
  for (int i = 1; i <= kFeeds; ++i) {
    const double a = i * 1e-4;
    move(100 * std::cos(a), 100 * std::sin(a), -1e-4 * i, 1);
  }
  move(0, 0, 50, 0);
  out3dFlushLiteral();
  const std::vector<std::string> ls = lines(fresh());
  EXPECT_EQ(count(ls, "32: (------ DATA -----)"), 2);
  EXPECT_EQ(count(ls, "32: #D_SPLINE["), kFeeds);
  EXPECT_EQ(count(ls, "32: #D_SPLINE[65532,65533]"), 1) << "the first block's last segment";
  EXPECT_EQ(count(ls, "31: oL["), kFeeds);
  std::vector<Point3D> starts;
  const std::vector<Point3D> ends = splineEnds(ls, &starts);
  ASSERT_EQ(static_cast<int>(ends.size()), kFeeds);
  EXPECT_NEAR(vecDistance(starts[0], {100, 0, 0}), 0, 1e-3);
  for (int i = 1; i < kFeeds; ++i) ASSERT_NEAR(vecDistance(ends[i - 1], starts[i]), 0, 1e-3) << i;
  const double a = kFeeds * 1e-4;
  EXPECT_NEAR(vecDistance(ends.back(), {100 * std::cos(a), 100 * std::sin(a), -1e-4 * kFeeds}), 0,
              1e-3);
}

TEST_F(Out3dPof, StepBlockMarksOnlyWhenSwitchedOn) {
  out3dStepBlockMark(2);
  EXPECT_EQ(fresh().find("SBS"), std::string::npos);
  out3dSetStepBlockOutput(1);
  out3dStepBlockMark(1);
  out3dStepBlockMark(0);
  out3dStepBlockMark(2);
  out3dSetStepBlockOutput(0);
  EXPECT_EQ(fresh(),
            "10: proc(SBS_start)\n10: proc(SBS_end)\n10: proc(SBS_end)\n10: proc(SBS_start)\n");
}
