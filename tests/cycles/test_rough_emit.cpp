// The region emitter on hand-made APT lists: runs split at gap points, the approach chosen by the
// move kind, a skipped small pocket handing its plunge to the next run, the collision stops and
// their codes, and the point callbacks coming back after the same-Z collector.
#include <gtest/gtest.h>

#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include "box_part.h"
#include "cycles/emit_point.h"
#include "cycles/rough_control.h"
#include "cycles/rough_emit.h"
#include "cycles/run_reset.h"
#include "framework/cycle.h"
#include "framework/global_params.h"
#include "framework/messages.h"
#include "framework/output.h"
#include "model/model_fixture.h"
#include "output/out3d_state.h"

namespace {

struct RunSeen {
  int count;
  Point3D first;
  int sense;
  ApproachParams a;
};
std::vector<RunSeen>& runs() {
  static std::vector<RunSeen> r;
  return r;
}
int emitAnswer = 1;
int recordRun(PathList* run, const MachiningParams* p, const SurfaceModel*) {
  runs().push_back({run->count, run->positions[0], run->sense, p->approach});
  return emitAnswer;
}
std::vector<std::string>& messages() {
  static std::vector<std::string> m;
  return m;
}
// Every message but the once-per-run warning that the holder was not checked.
int keepMessage(CycleRecord*, OutputRecord* r) {
  if (std::string(r->text.text) == "1104,rough5xHolderFree") return 1;
  messages().push_back(r->text.text);
  return 1;
}
int otherPoint(Point3D*, int) { return 0; }

struct AptPoint {
  Point3D p;
  int cls;  // the move kind, or 2 for a gap
};

class RoughEmitTest : public ::testing::Test {
 protected:
  void SetUp() override {
    cyc3dResetRunState(nullptr);
    runs().clear();
    messages().clear();
    emitAnswer = 1;
    roughSetRunEmitFn(recordRun);
    out3dSetMsgLevel("", 9);
    cycle_.firstOutputPending = 0;
    ASSERT_EQ(cycRegisterLayer(&cycle_, 0, keepMessage, keepMessage, 1), 1);
    out3dSetCycle(&cycle_);
    GlobalParams& g = *parGlobalBlock();
    g.xcollCheck = 0;
    g.zustellOk = 0;
    g.macroTmode = 2;
    g.skipSmallPockets = 1;
    g.skipFactor = 1.0;
    g.vertzustel = 4;
    params_.maxStep = 1000;
    params_.approach.approachLength = 0.5;
    useBox(-200, -200, 200, 200, -40);
  }
  void TearDown() override {
    roughSetRunEmitFn(nullptr);
    out3dSetCycle(nullptr);
    cycFreeLayers(&cycle_);
    pathListFree(apt_);
    cyc3dResetRunState(nullptr);
  }
  void useBox(double x0, double y0, double x1, double y1, double top) {
    part_ = qdtest::boxPart(x0, y0, x1, y1, top);
  }
  void makeApt(const std::vector<AptPoint>& pts) {
    pathListFree(apt_);
    apt_ = pathListNew(static_cast<int>(pts.size()) + 1, 1);
    const Point3D up{0, 0, 1};
    for (std::size_t i = 0; i < pts.size(); ++i) {
      // The pocket cycle repeats a parameter where an arc ends on its last point.
      const double param = static_cast<double>(i / 2);
      apt_->positions[i] = pts[i].p;
      apt_->params[i] = param;
      apt_->codes[i] = static_cast<std::uint16_t>((pts[i].cls << 8) | 1);
      apt_->axes[i] = up;
      apt_->axisSet[i] = 0;
    }
    apt_->count = static_cast<int>(pts.size());
    apt_->sense = 1;
  }
  int emit() { return roughEmitRegion(apt_, &params_, &part_->m); }

  CycleRecord cycle_{};
  PathList* apt_ = nullptr;
  MachiningParams params_;
  std::unique_ptr<qdtest::TriModel> part_;
};

// A triangle of three points from p, each side at least side long (kind cls).
std::vector<AptPoint> run(const Point3D& p, double side, int cls) {
  return {{p, cls}, {{p.x + side, p.y, p.z}, cls}, {{p.x, p.y + side, p.z}, cls}};
}
void append(std::vector<AptPoint>& to, const std::vector<AptPoint>& pts) {
  to.insert(to.end(), pts.begin(), pts.end());
}

}  // namespace

// The approach table of the move kinds, for each "*MACRO_TMODE".
TEST(RoughRunApproach, Table) {
  struct Case {
    int kind, tmode;
    int approach, retract, sense;
    double approachLength, retractLength;
  };
  const Case cases[] = {
      {101, 2, 7, 0, 5, 0.5, 3}, {103, 2, 23, 23, 1, 0.5, 3}, {104, 3, 23, 23, -1, 0.5, 3},
      {0, 1, 7, 0, 5, 6, 0},     {0, 2, 6, 0, 5, 6, 0},       {120, 3, 8, 0, 5, 6, 0},
      {102, 9, 7, 0, 5, 6, 0},
  };
  for (const Case& c : cases) {
    ApproachParams a;
    a.approachLength = 0.5;
    a.retractLength = 3;
    int sense = 5;
    roughRunApproach(c.kind, c.tmode, 6.0, &a, &sense);
    EXPECT_EQ(a.approachKind, c.approach) << c.kind << "/" << c.tmode;
    EXPECT_EQ(a.retractKind, c.retract) << c.kind << "/" << c.tmode;
    EXPECT_EQ(sense, c.sense) << c.kind << "/" << c.tmode;
    EXPECT_EQ(a.approachLength, c.approachLength) << c.kind << "/" << c.tmode;
    EXPECT_EQ(a.retractLength, c.retractLength) << c.kind << "/" << c.tmode;
  }
}

// Small means no two points farther apart than a x b: the pair farthest apart need not include
// the first point. One point is small for any positive limit; a limit below 0.00001 never is.
TEST(RoughSkipSmallPocket, PairsNotOnlyTheFirstPoint) {
  struct Case {
    std::vector<Point3D> pts;
    double a, b;
    int expected;
  };
  const std::vector<Point3D> square = {{0, 0, 0}, {2, 0, 0}, {2, 2, 0}, {0, 2, 0}};
  const std::vector<Point3D> centred = {{0, 0, 0}, {1.5, 0, 0}, {-1.5, 0, 0}};
  const Case cases[] = {
      {square, 2.8, 1, 0},          {square, 2.9, 1, 1},
      {square, 1, 2.9, 1},          {centred, 2, 1, 0},
      {centred, 3.01, 1, 1},        {{{5, 5, 5}}, 1e-3, 1e-2, 1},
      {{{5, 5, 5}}, 1e-3, 1e-3, 0}, {{{0, 0, 0}, {0, 0, 3}}, 2.9, 1, 0},
  };
  for (const Case& c : cases) {
    PathList* l = pathListNew(static_cast<int>(c.pts.size()), 0);
    for (std::size_t i = 0; i < c.pts.size(); ++i) {
      pathListInsert(l, static_cast<double>(i), c.pts[i], 1, nullptr, 0);
    }
    EXPECT_EQ(roughSkipSmallPocket(l, c.a, c.b), c.expected) << c.pts.size() << " @ " << c.a;
    pathListFree(l);
  }
  EXPECT_EQ(roughSkipSmallPocket(nullptr, 1, 1), 0);
}

// Runs split at the gaps keep their points in list order (parameters repeat), take their
// approach from the last point's move kind, and a small helical pocket is skipped (message 1181)
// while the next run that starts at its first point plunges there with the helix.
TEST_F(RoughEmitTest, RunsApproachesAndSkippedPocket) {
  std::vector<AptPoint> pts;
  append(pts, run({0, 0, -2}, 30, 101));
  pts.push_back({{0, 30, -2}, 2});
  append(pts, run({50, 0, -2}, 30, 103));
  pts.push_back({{50, 30, -2}, 2});
  append(pts, run({100, 0, -2}, 30, 104));
  pts.push_back({{100, 30, -2}, 2});
  append(pts, run({150, 0, -2}, 1, 0));  // small: helical plunge, skipped
  pts.push_back({{150, 1, -2}, 2});
  append(pts, run({150, 0, -2}, 30, 101));  // starts where the skipped pocket did
  pts.push_back({{150, 30, -2}, 2});
  append(pts, run({0, 100, -2}, 30, 0));  // large: helical plunge, emitted
  makeApt(pts);
  ASSERT_EQ(emit(), 0);
  ASSERT_EQ(runs().size(), 5u);
  const double xs[] = {0, 50, 100, 150, 0};
  const int kinds[] = {7, 23, 23, 6, 6};
  const int senses[] = {1, 1, -1, 1, 1};
  for (int k = 0; k < 5; ++k) {
    EXPECT_EQ(runs()[k].first.x, xs[k]) << k;
    EXPECT_EQ(runs()[k].count, 3) << k;
    EXPECT_EQ(runs()[k].a.approachKind, kinds[k]) << k;
    EXPECT_EQ(runs()[k].sense, senses[k]) << k;
  }
  EXPECT_EQ(runs()[0].a.retractKind, 0);
  EXPECT_EQ(runs()[1].a.retractKind, 23);
  // The helical plunges start 1.1 step downs above the run.
  EXPECT_DOUBLE_EQ(runs()[3].a.plungeHeight, 4.4);
  EXPECT_DOUBLE_EQ(runs()[4].a.plungeHeight, 4.4);
  EXPECT_EQ(messages(), (std::vector<std::string>{"1181,0"}));
}

// An emission that reports a tool collision (-4) stops the region with the controller's
// collision code and message 6007; other emission failures give -1.
TEST_F(RoughEmitTest, EmissionFailures) {
  makeApt(run({0, 0, -2}, 30, 101));
  emitAnswer = -4;
  EXPECT_EQ(emit(), kRoughStopCollision);
  EXPECT_EQ(messages(), (std::vector<std::string>{"6007,0"}));
  emitAnswer = -3;
  EXPECT_EQ(emit(), -1);
}

// A path through the part: with "*XCOLL_STOP" the region stops (-3, message 2003); without it
// the collision is reported (2002) and the run is emitted.
TEST_F(RoughEmitTest, PathCollisionStopOrReport) {
  useBox(20, -10, 40, 10, 5);
  makeApt({{{0, 0, 2}, 101}, {{60, 0, 2}, 101}, {{60, 20, 2}, 101}});
  GlobalParams& g = *parGlobalBlock();
  g.xcollCheck = 1;
  g.xcollStop = 1;
  EXPECT_EQ(emit(), -3);
  EXPECT_EQ(runs().size(), 0u);
  g.xcollStop = 0;
  EXPECT_EQ(emit(), 0);
  EXPECT_EQ(runs().size(), 1u);
  EXPECT_EQ(messages(), (std::vector<std::string>{"2003,0", "2002,0"}));
}

// With "*GENERATE_ARCS" the same-Z collector takes the points during each run; afterwards the
// callbacks installed before the call are back (not the three-axis mover).
TEST_F(RoughEmitTest, CallbacksComeBackAfterTheCollector) {
  emitSetCallbacks(otherPoint, nullptr, nullptr);
  parGlobalBlock()->generateArcs = 1;
  makeApt(run({0, 0, -2}, 30, 101));
  EXPECT_EQ(emit(), 0);
  EXPECT_EQ(emitState().point, otherPoint);
  emitAnswer = -4;
  EXPECT_EQ(emit(), kRoughStopCollision);
  EXPECT_EQ(emitState().point, otherPoint);
  emitClearCallbacks();
}

// Steps that are not available fail the region (status 1) instead of emitting untilted or
// unresampled runs: "*FORCE5X" and full-cut resampling.
TEST_F(RoughEmitTest, MissingFiveAxisStepsFail) {
  makeApt(run({0, 0, -2}, 30, 101));
  GlobalParams& g = *parGlobalBlock();
  g.force5x = 1;
  EXPECT_EQ(emit(), -1);
  g.force5x = 0;
  g.fullcutStrategy = 1;
  EXPECT_EQ(emit(), -1);
  EXPECT_TRUE(runs().empty());
  EXPECT_EQ(messages(), (std::vector<std::string>{"1104,tiltPath", "1104,resamplePath"}));
}
