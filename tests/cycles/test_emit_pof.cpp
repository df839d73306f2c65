// A hand-made region path of two runs through the real 3D output into POF text: the approach from
// above, the cuts, the retract deferred to the next run's start, the final retract and the move
// to the clearance plane, checked line by line and by the independent toolpath checker.
#include <gtest/gtest.h>

#include <sstream>
#include <string>
#include <vector>

#include "cycles/emit_point.h"
#include "cycles/emit_region.h"
#include "framework/messages.h"
#include "framework/test_pof_support.h"
#include "geometry/csys.h"
#include "geometry/cycle_state.h"
#include "output/out3d_moves.h"
#include "output/out3d_state.h"
#include "output/test_out3d_capture.h"
#include "toolpath_check.h"
#include "toolpath_check_gtest.h"

using namespace qdtest;

namespace {

class EmitPof : public PofTest {
 protected:
  void SetUp() override {
    PofTest::SetUp();
    out3dRunReset();
    cycleStateResetState();
    csysResetState();
    msgResetState();
    emitState() = EmitterState{};
    emitRegionResetState();
    serve({0, 10, 12, 31, 32});
    out3dSetCycle(&rec_);
    out3dResetState();
    begin();
    TechnologyRecord t = out3dTestTech(500);
    out3dWriteTechnology(&t);
    fresh();
  }
  void TearDown() override {
    emitClearCallbacks();
    emitState() = EmitterState{};
    emitRegionResetState();
    out3dResetState();
    out3dSetCycle(nullptr);
    PofTest::TearDown();
  }
};

std::vector<std::string> layer31(const std::string& text) {
  std::vector<std::string> out;
  std::istringstream in(text);
  for (std::string line; std::getline(in, line);) {
    if (line.rfind("31: ", 0) == 0) out.push_back(line);
  }
  return out;
}

TEST_F(EmitPof, TwoRunsWithApproachCutsDeferredAndFinalRetract) {
  PathList* path = pathListNew(6, 0);
  const Point3D pts[] = {{0, 0, -2},  {10, 0, -2}, {10, 10, -2},
                         {30, 0, -2}, {30, 0, -2}, {40, 0, -2}};
  const int cls[] = {0, 0, 0, 2, 0, 0};
  for (int i = 0; i < 6; ++i) {
    path->positions[i] = pts[i];
    path->codes[i] = static_cast<std::uint16_t>(cls[i] << 8 | 1);
    path->params[i] = i;
  }
  path->count = 6;
  path->sense = 1;
  MachiningParams m;
  m.approach.approachKind = 0;
  m.approach.retractKind = 0;
  m.approach.stepAngle = 0.2;
  m.approach.approachLength = 3;
  m.approach.retractLength = 4;
  m.stayDown = 0;
  m.clearancePlane = 20;
  m.maxStep = 1000;
  emitSetCallbacks(emitOut3dMove3Axis, out3dStartLiteral, out3dFlushLiteral);
  emitReset();
  ASSERT_EQ(emitRegionPath(path, &m, nullptr), 1);
  ASSERT_EQ(emitFinish(&m, nullptr), 0);
  ASSERT_EQ(out3dEndOutput(), 0);
  end();
  pathListFree(path);
  const std::string pof = text();
  const std::vector<std::string> got = layer31(pof);
  const std::vector<std::string> want = {
      // The first position goes out as z, then x and y (the 3D output's first-position rule),
      // so the tool comes down from the clearance plane straight to the first start.
      "31: oM[1]( z[/20] )",
      "31: oL[2]( x[/0] y[/0] )",
      "31: oL[3]( z[/-2] )",
      "31: oL[4]( x[/10] )",
      "31: oL[5]( y[/10] )",
      // the first run's retract, deferred to the second run's start, the link across and the
      // approach from 3 above the second start
      "31: oL[6]( z[/2] )",
      "31: oM[7]( z[/20] )",
      "31: oM[8]( x[/30] y[/0] )",
      "31: oL[9]( z[/1] )",
      "31: oL[10]( z[/-2] )",
      "31: oL[11]( x[/40] )",
      // the final retract and the clearance plane
      "31: oL[12]( z[/2] )",
      "31: oM[13]( z[/20] )",
  };

  ASSERT_GE(got.size(), 1u) << pof;
  EXPECT_EQ(got, want) << pof;

  // The checker: no rapid through the stock whose top is at 0, nothing gouges the floor at -2.
  tpc::Path checked;
  ASSERT_TRUE(tpc::passes(tpc::readPofText(checked, pof, tpc::Tool::flat(1), "emit")));
  EXPECT_TRUE(tpc::passes(tpc::checkSanity(checked)));
  const tpc::Mesh floor =
      tpc::makeMesh({tpc::Triangle{{{-20, -20, -2}, {60, -20, -2}, {60, 30, -2}}},
                     tpc::Triangle{{{-20, -20, -2}, {60, 30, -2}, {-20, 30, -2}}}});
  EXPECT_TRUE(tpc::passes(tpc::checkNoGouge3D(checked, floor)));
  EXPECT_TRUE(tpc::passes(tpc::checkLinks3D(checked, floor, tpc::Stock{0, -20, -20, 60, 30})));
}

}  // namespace
