// The run-start reset of the 3D cycles: every module state a job can set is back at its value at
// load, the running record's blocks and cycle code are back (texts freed), and the framework's
// part of the record stays.
#include <gtest/gtest.h>

#include <cstdio>
#include <string>

#include "../geometry/msg_capture.h"
#include "cycles/cyc3d_record.h"
#include "cycles/run_reset.h"
#include "cycles/rupp_calls.h"
#include "cycles/rupp_record.h"
#include "cycles/zfin_record.h"
#include "framework/global_params.h"
#include "framework/messages.h"
#include "framework/numtext.h"
#include "framework/test_xchg_support.h"
#include "geometry/arc_fit.h"
#include "geometry/cont_file.h"
#include "geometry/csys.h"
#include "geometry/cycle_state.h"
#include "geometry/geo_error.h"
#include "geometry/geo_files.h"
#include "geometry/geo_random.h"
#include "geometry/guide_curve.h"
#include "geometry/path_list.h"
#include "model/mesh_load.h"
#include "model/surface_model.h"
#include "output/out3d_state.h"
#include "pocket/contour_offset.h"
#include "pocket/contour_relate.h"
#include "pocket/engine_state.h"
#include "support/temp_dir.h"

namespace {

TEST(RunReset, ModuleStatesAreBackAtLoad) {
  qdtest::ScopedTempDir dir;
  cyc3dResetRunState(nullptr);
  const double firstRandom = geoRandNext();
  double minRadius = 0, maxRadius = 0;
  arcGetTolerances(&minRadius, &maxRadius);

  // A job's settings everywhere.
  parGlobalBlock()->frradius = 77;
  parGlobalBlock()->outsideIn = 1;
  ASSERT_EQ(parCfgWriteAll("all.cfg"), 1);
  numSetPrecision(3);
  out3dSetMsgLevel(nullptr, 9);
  unitFactor = 2.5;
  planeOffset = 40;
  csysSetFrame({1, 2, 3}, {0, 1, 0}, {-1, 0, 0}, {0, 0, 1});
  ASSERT_EQ(csysPrepare(), 1);
  geoRandNext();
  pathListSetRandomKeep(1);
  arcSetTolerances(5, 6);
  out3dSetZOffset(12.5);
  out3dSetNcMode(2);
  const Point3D scale{2, 3, 4};
  cyc3dSetMeshScale(&scale);
  ASSERT_EQ(cyc3dSetMeshFrame({5, 0, 0}, {1, 0, 0}, {0, 1, 0}, {0, 0, 1}), 0);
  pockEngine().scaleFactor = 25;
  ruppSetErrorsOnly(1);
  ruppMuteErrors(1);
  // A contour file's frame stays for later files: here a quarter turn.
  const std::string line = "oContour[c]( )\n{\n  oL( x[1/2] y[0/0] )\n}\n";
  qdtest::writeFile("turn.qdx", xchgtest::header() + "vCs_x(0,1,0)\nvCs_y(-1,0,0)\n" + line);
  qdtest::writeFile("plain.qdx", xchgtest::header() + line);
  guideFree(contFileRead("turn.qdx", 0.01));
  GuideCurve* turned = contFileRead("plain.qdx", 0.01);
  ASSERT_NE(turned, nullptr);
  EXPECT_NEAR(turned->points[1].y, 2.0, 1e-12) << "the frame outlives its file";
  guideFree(turned);

  cyc3dResetRunState(nullptr);

  EXPECT_EQ(parGlobalBlock()->frradius, 4.0);
  EXPECT_EQ(parGlobalBlock()->outsideIn, 0);
  ASSERT_EQ(parCfgWrite("flags.cfg"), 1);
  EXPECT_NE(qdtest::readFile("flags.cfg").find("\n# *APPROX "), std::string::npos)
      << "write flags back at load";
  EXPECT_EQ(numPrecision(), 6);
  EXPECT_EQ(out3dMsgLevel(), kMsgLevelAtLoad);
  EXPECT_EQ(unitFactor, 1.0);
  EXPECT_EQ(planeOffset, 0.0);
  EXPECT_EQ(csysCurrent()->prepared, 0);
  Point3D p{1, 1, 1};
  csysFrameToWorld(&p);
  EXPECT_EQ(p.x, 1.0) << "identity frame";
  EXPECT_EQ(geoRandNext(), firstRandom);
  EXPECT_EQ(pathListRandomKeep(), 0);
  double lo = 0, hi = 0;
  arcGetTolerances(&lo, &hi);
  EXPECT_EQ(lo, minRadius);
  EXPECT_EQ(hi, maxRadius);
  EXPECT_EQ(out3dState().zOffset, 0.0);
  EXPECT_EQ(out3dState().ncMode, 0);
  Point3D q{1, 1, 1};
  cyc3dTransformPoint(cyc3dScalePoint(&q));
  EXPECT_EQ(q.x, 1.0);
  EXPECT_EQ(q.z, 1.0);
  EXPECT_EQ(pockEngine().scaleFactor, 1.0);
  GuideCurve* plain = contFileRead("plain.qdx", 0.01);
  ASSERT_NE(plain, nullptr);
  EXPECT_EQ(plain->points[1].x, 2.0) << "contour files read in the identity frame";
  EXPECT_EQ(plain->points[1].y, 0.0);
  guideFree(plain);
  qdtest::MessageCapture capture;
  EXPECT_EQ(ruppReportError("1505"), 0);
  EXPECT_EQ(qdtest::capturedMessages(), (std::vector<std::string>{"1505,0"}))
      << "the error table reports warnings again";
}

int modelMessages = 0;
void countModelMessage(int, int, double) { ++modelMessages; }

// The pocketing engine's oracle switches, the surface model's message receiver and the
// temporary-name counter are back at their load values too (a test's or a job's setting stayed
// for the next run).
TEST(RunReset, EngineSwitchesModelReceiverAndTemporaryNames) {
  qdtest::ScopedTempDir dir;
  cyc3dResetRunState(nullptr);
  geoSetWorkDir(".");
  char first[512];
  ASSERT_EQ(geoTempFileName(first, sizeof first, ".bnd"), 1);
  std::remove(first);
  contOffsetSetPlainMarking(1);
  isectCircleSetFilter(0);
  modelSetMessageFn(countModelMessage);

  cyc3dResetRunState(nullptr);

  EXPECT_EQ(contOffsetSetPlainMarking(0), 0);
  EXPECT_EQ(isectCircleSetFilter(1), 1);
  geoSetWorkDir(".");
  char again[512];
  ASSERT_EQ(geoTempFileName(again, sizeof again, ".bnd"), 1);
  std::remove(again);
  EXPECT_STREQ(again, first) << "the run names its temporary files as the one before";
  qdtest::MessageCapture capture;
  CutterShape cutter{};
  cutter.type = kCutterFlat;
  cutter.radius = 1;
  cutterApplyAllowance(&cutter, -5, 0);
  EXPECT_EQ(modelMessages, 0);
  EXPECT_EQ(qdtest::capturedMessages(), (std::vector<std::string>{"330,0"}));
}

// Only the record being run is reset; its texts are freed and its blocks and code are back, the
// framework's part (parameters, status) stays.
TEST(RunReset, TheRunningRecordsBlocks) {
  ZfinRecord* z = zfinRecordOf(zfinCycleRecord());
  RuppRecord* u = ruppRecordOf(ruppCycleRecord());
  z->base.polySource = memStrDup("old.qdx");
  z->base.frame = memStrDup("1/2/3/4/5/6");
  z->base.frameOn = 1;
  z->base.tempNames[kCyc3dTempBoundary][0] = 'x';
  z->base.toolType = 3;
  z->cuttingSide = 2;
  z->base.base.code = kZfinCodeTilt;
  z->base.base.status = 1;
  u->strategy = 3;
  ParamNode* params = parListSet(nullptr, "polySource", "part.qdx", 21);
  z->base.base.params = params;

  cyc3dResetRunState(zfinCycleRecord());

  EXPECT_EQ(z->base.polySource, nullptr);
  EXPECT_EQ(z->base.frame, nullptr);
  EXPECT_EQ(z->base.frameOn, 0);
  EXPECT_EQ(z->base.tempNames[kCyc3dTempBoundary][0], '\0');
  EXPECT_EQ(z->base.toolType, 1);
  EXPECT_EQ(z->base.infeedLength, 10.0);
  EXPECT_STREQ(z->base.defaultMessageFile, "rszfinhc.loc");
  EXPECT_EQ(z->cuttingSide, 1);
  EXPECT_EQ(z->base.base.code, kZfinCode);
  EXPECT_EQ(z->base.base.status, 1);
  EXPECT_EQ(z->base.base.params, params);
  EXPECT_EQ(z->base.base.parent, cyc3dCycleRecord());
  EXPECT_EQ(u->strategy, 3) << "a record that is not running keeps its values";

  cyc3dResetRunState(ruppCycleRecord());
  EXPECT_EQ(u->strategy, 1);
  EXPECT_EQ(u->base.gougeDetection, 0);
  EXPECT_EQ(u->base.base.toolType, 2);
  z->base.base.params = nullptr;
  parListFree(params);
}

}  // namespace
