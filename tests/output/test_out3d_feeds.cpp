// 3D output layer: technology header, technology names, feed aliases, special feeds, feed and
// spindle stacks, context brackets and the side records.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>

#include "geometry/csys.h"
#include "geometry/cycle_state.h"
#include "test_out3d_capture.h"

using namespace qdtest;

namespace {
TechnologyRecord halfReduced() { return out3dTestTech(500); }
}  // namespace

TEST_F(Out3dTest, TechnologyHeaderInUserUnitsWithOnlyTheFeedsGiven) {
  unitFactor = 2.0;  // lengths were scaled by 2 for the computation
  planeOffset = 5.0;
  TechnologyRecord t;
  t.toolNumber = 7;
  t.feed = 1000;
  t.plungeFeed = 200;
  t.spindleSpeed = 12000;
  t.spindleDirection = 2;
  t.clearanceDistance = 20;
  t.clearancePlane = 100.00002;
  t.reducedFeed = 500;
  t.fastRetractFeed = 3000;
  t.approachFeed = 0.000001;  // below 1e-5: no alias
  t.finalPathSpindleSpeed = 9000;
  ASSERT_EQ(out3dWriteTechnology(&t), 1);
  const std::vector<std::string> expected = {"10: cycleFct(zlevelFinishing)",
                                             "10: arg(F:clearancePlane:=55.0000)",
                                             "10: CPLANE(55.0000)",
                                             "10: arg(F:retractPlane:=50.0000)",
                                             "10: RPLANE(50.0000)",
                                             "10: arg(F:clearanceDistance:=10.0000)",
                                             "10: CDIST(10.0000)",
                                             "10: T(7)",
                                             "10: aliasDef(FX,FX,1000,1)",
                                             "10: aliasDef(FZ,FZ,200,1)",
                                             "10: aliasDef(reducedFeedrate,FX,500,1)",
                                             "10: aliasDef(fastretractFeedrate,FX,3000,1)",
                                             "10: aliasDef(S,S,12000,1)",
                                             "10: aliasDef(finalPathSpindleSpeed,S,9000,1)",
                                             "10: aliasUse(S)",
                                             "10: S(12000)",
                                             "10: SR(counterClockwise)",
                                             "10: tr(S)",
                                             "10: tr(SR)",
                                             "10: FX(1000)",
                                             "10: FZ(200)",
                                             "10: aliasUse(FX)",
                                             "10: tr(FX)"};
  EXPECT_EQ(take(), expected);
  EXPECT_EQ(out3dState().aliasIndex, kOut3dAliasFX);
  EXPECT_EQ(out3dWriteTechnology(nullptr), -20);
}

TEST_F(Out3dTest, WithoutReducedFeedThereIsNoAliasAndTheReducedFeedIsFX) {
  TechnologyRecord t = halfReduced();
  t.reducedFeed = 0;
  t.spindleDirection = 0;
  out3dWriteTechnology(&t);
  const auto lines = take();
  for (const auto& l : lines) EXPECT_EQ(l.find("reducedFeedrate"), std::string::npos) << l;
  EXPECT_NE(std::find(lines.begin(), lines.end(), "10: SR(none)"), lines.end());
  EXPECT_EQ(out3dState().reducedFeed, 1000);
  // A reduced feed requested then is FX itself.
  out3dSetReducedFeed(1);
  out3dSyncFeed();
  EXPECT_EQ(take(), (std::vector<std::string>{"10: aliasUse(reducedFeedrate)", "10: tr(FX)"}));
}

TEST(Out3dNames, TechnologyNameOfTheCycleId) {
  const struct {
    const char* id;
    const char* name;
  } cases[] = {{"qdProf", "profileFinishing"},  {"qdScal", "profileFinishing"},
               {"qdRupp", "zlevelRoughing"},    {"qdCast", "zlevelRoughing"},
               {"qdZres", "zlevelRoughing"},    {"qdZfin", "zlevelFinishing"},
               {"qdRmat", "autoRestMachining"}, {"qdPecl", "pencilMilling"},
               {"qdCurve", "curveMilling"},     {"qdRpx5", "qdCycle"},
               {"qdProfX", "qdCycle"},          {nullptr, "qdCycle"}};
  EXPECT_STREQ(out3dTechnologyName(), "qdCycle") << "no cycle";
  for (const auto& c : cases) {
    CycleRecord r;
    r.id = c.id;
    out3dSetCycle(&r);
    EXPECT_STREQ(out3dTechnologyName(), c.name) << (c.id != nullptr ? c.id : "null");
  }
  out3dSetCycle(nullptr);
}

TEST_F(Out3dTest, ReducedFeedOfHalfTheFeedIsWrittenAsAMultipleOfFX) {
  TechnologyRecord t = halfReduced();
  out3dWriteTechnology(&t);
  take();
  out3dReducedFeedOnce(1);
  EXPECT_EQ(out3dReducedFeedRequested(), 1);
  EXPECT_EQ(out3dReducedFeedOn(), 0);
  out3dSyncFeed();
  EXPECT_EQ(take(), (std::vector<std::string>{"10: aliasUse(reducedFeedrate)", "10: tr(FX*0.5)"}));
  out3dReducedFeedOnce(0);
  out3dSyncFeed();
  EXPECT_EQ(take(), (std::vector<std::string>{"10: aliasUse(FX)", "10: tr(FX)"}));
  out3dSyncFeed();
  EXPECT_TRUE(take().empty()) << "no change, nothing written";
  // In feed mode 2 the alias lines are written only when forced.
  out3dSetFeedMode(2);
  out3dWriteFeedAlias(0);
  EXPECT_TRUE(take().empty());
  out3dWriteFeedAlias(1);
  EXPECT_EQ(take(), (std::vector<std::string>{"10: aliasUse(FX)", "10: tr(FX)"}));
}

TEST_F(Out3dTest, ApproachFeedHoldsUntilSwitchedOffThenFXIsWrittenAgain) {
  TechnologyRecord t = halfReduced();
  out3dWriteTechnology(&t);
  out3dSetSpecialFeeds(250, 0, 2000);
  out3dMove3Axis({0, 0, 10}, kOut3dRapid);
  out3dMove3Axis({0, 0, 10}, kOut3dRapid);
  take();
  out3dApproachFeed(1);
  EXPECT_EQ(out3dSpecialFeedActive(), 1);
  EXPECT_EQ(take(),
            (std::vector<std::string>{"10: aliasUse(approachFeedrate)", "10: tr(FX*0.25)"}));
  out3dMove3Axis({5, 0, 10}, kOut3dFeed);
  EXPECT_EQ(take(), (std::vector<std::string>{"31: 3114 x5", "32: 4007 x5"}))
      << "the approach feed stays: no FX lines";
  out3dRetractFeed(1);
  EXPECT_TRUE(take().empty()) << "a retract feed of 0 does nothing";
  out3dApproachFeed(0);
  EXPECT_EQ(out3dSpecialFeedActive(), 0);
  EXPECT_TRUE(take().empty());
  out3dMove3Axis({10, 0, 10}, kOut3dFeed);
  EXPECT_EQ(take(), (std::vector<std::string>{"10: aliasUse(FX)", "10: tr(FX)", "31: 3114 x10",
                                              "32: 4007 x10"}));
  out3dInfeedFeed(1);
  EXPECT_EQ(take(), (std::vector<std::string>{"10: aliasUse(infeedFeedrate)", "10: tr(FX*2)"}));
  out3dInfeedFeed(0);
  EXPECT_TRUE(take().empty());
}

// Switching a special feed off made FX current without writing it, and the feed sync then saw
// no difference from FX: the control went on at the special feed.
TEST_F(Out3dTest, SyncAfterASpecialFeedWritesFXAgain) {
  TechnologyRecord t = halfReduced();
  out3dWriteTechnology(&t);
  out3dSetSpecialFeeds(0, 0, 2000);
  out3dInfeedFeed(1);
  take();
  out3dInfeedFeed(0);
  out3dSyncFeed();
  EXPECT_EQ(take(), (std::vector<std::string>{"10: aliasUse(FX)", "10: tr(FX)"}));
  out3dSyncFeed();
  EXPECT_TRUE(take().empty());
}

TEST_F(Out3dTest, FeedStackInModeTwoRestoresTheFeedBeforeThePush) {
  TechnologyRecord t = halfReduced();
  out3dWriteTechnology(&t);
  out3dMove3Axis({0, 0, 10}, kOut3dRapid);
  out3dMove3Axis({0, 0, 10}, kOut3dRapid);
  out3dSetFeedMode(2);
  take();
  EXPECT_EQ(out3dPushFeed(1000, kOut3dAliasClearance), 1);
  out3dMove3Axis({1, 0, 10}, kOut3dFeed);
  EXPECT_EQ(take(), (std::vector<std::string>{"31: 3114 x1", "32: 4007 x1"}))
      << "pushing the current feed writes nothing";
  EXPECT_EQ(out3dPushFeed(3000, kOut3dAliasClearance), 1);
  out3dMove3Axis({2, 0, 10}, kOut3dFeed);
  EXPECT_EQ(take(), (std::vector<std::string>{"10: aliasUse(clearanceFeedrate)", "10: tr(FX*3)",
                                              "31: 3114 x2", "32: 4007 x2"}));
  EXPECT_EQ(out3dPopFeed(), 1);
  out3dMove3Axis({3, 0, 10}, kOut3dFeed);
  EXPECT_EQ(take(), (std::vector<std::string>{"10: aliasUse(FX)", "10: tr(FX)", "31: 3114 x3",
                                              "32: 4007 x3"}));
  EXPECT_EQ(out3dPopFeed(), 1);
  EXPECT_EQ(out3dPopFeed(), -1) << "underflow";
}

// In feed mode 1 the stack keeps the pushed feed itself, so popping it makes that same feed
// current again: the feed before the push does not come back.
TEST_F(Out3dTest, FeedStackInModeOnePopRestoresThePushedFeed) {
  TechnologyRecord t = halfReduced();
  out3dWriteTechnology(&t);
  out3dSetFeedMode(1);
  ASSERT_EQ(out3dPushFeed(3000, kOut3dAliasFastRetract), 1);
  EXPECT_EQ(out3dState().currentFeed, 3000);
  ASSERT_EQ(out3dPopFeed(), 1);
  EXPECT_EQ(out3dState().currentFeed, 3000);
  EXPECT_EQ(out3dState().aliasIndex, kOut3dAliasFastRetract);
}

TEST_F(Out3dTest, StacksRefuseOverflowUnderflowAndUnknownAliases) {
  TechnologyRecord t = halfReduced();
  out3dWriteTechnology(&t);
  out3dSetFeedMode(2);
  for (int i = 0; i < kOut3dStackMax; ++i) ASSERT_EQ(out3dPushFeed(100.0 + i, 7), 1) << i;
  const double current = out3dState().currentFeed;
  EXPECT_EQ(out3dPushFeed(5000, 7), -1);
  EXPECT_EQ(out3dState().currentFeed, current) << "nothing changed";
  EXPECT_EQ(out3dPushFeed(5000, 13), -1);
  EXPECT_EQ(out3dPushFeed(5000, -1), -1);
  for (int i = 0; i < kOut3dStackMax; ++i) ASSERT_EQ(out3dPopFeed(), 1);
  EXPECT_EQ(out3dPopFeed(), -1);
  EXPECT_EQ(out3dState().currentFeed, 1000) << "the last pop gives back the feed of the header";

  take();
  EXPECT_EQ(out3dPushSpindle(0.000001, 1), 0);
  EXPECT_EQ(out3dPushSpindle(9000, 6), -1);
  EXPECT_TRUE(take().empty());
  for (int i = 0; i < kOut3dStackMax; ++i) ASSERT_EQ(out3dPushSpindle(1000.0 + i, 1), 1);
  EXPECT_EQ(out3dPushSpindle(9000, 1), -1);
  for (int i = 0; i < kOut3dStackMax; ++i) ASSERT_EQ(out3dPopSpindle(), 1);
  EXPECT_EQ(out3dPopSpindle(), -1);
}

TEST_F(Out3dTest, SpindleStackWritesEachSpeedAndFallsBackToTheBase) {
  TechnologyRecord t = halfReduced();
  out3dWriteTechnology(&t);
  take();
  out3dPushSpindle(9000, 1);
  out3dPushSpindle(6000, 3);
  out3dPopSpindle();
  out3dPopSpindle();
  EXPECT_EQ(take(), (std::vector<std::string>{
                        "10: aliasUse(finalPathSpindleSpeed)", "10: S(9000)", "10: tr(S)",
                        "10: aliasUse(fullSectionSpindleSpeed)", "10: S(6000)", "10: tr(S)",
                        "10: aliasUse(finalPathSpindleSpeed)", "10: S(9000)", "10: tr(S)",
                        "10: aliasUse(S)", "10: S(8000)", "10: tr(S)"}));
}

TEST(Out3dPlunge, PlungeCosineIsCappedBelowOne) {
  const struct {
    double degrees;
    double cosine;
  } cases[] = {{0, 0.99999}, {0.1, 0.99999}, {60, 0.5}, {90, 0.0}};
  for (const auto& c : cases) {
    out3dSetPlungeAngle(c.degrees);
    EXPECT_NEAR(out3dState().plungeCos, c.cosine, 1e-9) << c.degrees;
  }
  out3dResetState();
  EXPECT_EQ(out3dState().plungeCos, 0.99999);
}

TEST_F(Out3dTest, BlocksContextsAndOnlyTheFirstLinkUntilTheNextReset) {
  out3dBeginBlock(1);
  out3dEndBlock(1);
  out3dBeginBlock(64);
  out3dEndBlock(64);
  out3dBeginBlock(64);
  out3dEndBlock(64);
  out3dBeginRmatContext("7");
  out3dMoveKindSmooth();
  out3dMoveKindInfeed();
  out3dMoveKindPath();
  out3dBeginBlock(5);
  EXPECT_EQ(take(), (std::vector<std::string>{"12: beg ctx 3dPath usg(poly)",
                                              "12: end ctx 3dPath usg(poly)", "12: beg ctx link",
                                              "12: end ctx link", "12: beg ctx rmat usg(path)",
                                              "12: kind 113", "12: kind 114", "12: kind 115"}));
  out3dResetState();
  out3dBeginBlock(64);
  EXPECT_EQ(take(), (std::vector<std::string>{"12: beg ctx link"}));
}

TEST_F(Out3dTest, AuxContourCollisionMarkAndLiteralLineInTheFrame) {
  const Point3D pts[] = {{1, 2, 3}, {4, 5, 6}};
  out3dAuxContour(pts, 2, "aux", "c", "u");
  out3dAuxContour(pts, 0, "none", "", "");
  out3dLiteralLine("M8");
  out3dLiteralLine("");
  // A frame shifted by (10, 0, 0) in the world: tool points come out 10 less in x.
  csysSetFrame({10, 0, 0}, {1, 0, 0}, {0, 1, 0}, {0, 0, 1});
  ASSERT_EQ(csysPrepare(), 1);
  out3dCollisionMark({1, 2, 3});
  EXPECT_EQ(take(),
            (std::vector<std::string>{"41: aux(cmnt[c] u[u])", "41: 3103 1 2 3", "41: 3113 1 2 3",
                                      "41: 3113 4 5 6", "41: 3002", "32: M8", "42: 7001 -9 2 3"}));
  csysResetState();
}
