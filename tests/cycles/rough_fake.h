// rough_fake.h - a fake roughing controller for the tests of the roughing records and the
// roughing main: installed with roughSetControl, it records what each call received (the run's
// records, the run flags and the global parameter block as parCfgWriteAll writes it), may mark
// flat-plane outlines as written, may send tool positions through the 3D output, and returns the
// results it was given, one per call.
#pragma once

#include <gtest/gtest.h>

#include <map>
#include <string>
#include <vector>

#include "cycle_job.h"
#include "cycles/cycle_result.h"
#include "cycles/rough_main.h"
#include "cycles/rough_setup.h"
#include "cycles/rough_standins.h"
#include "cycles/rpx5_record.h"
#include "framework/global_params.h"
#include "output/out3d_moves.h"
#include "support/temp_dir.h"
#include "zlevel/step_opt.h"

namespace qdtest {

struct FakeCall {
  MachiningParams params;
  CutterShape cutter;
  TechnologyRecord tech;
  RoughRunModel model;
  int secondPass = 0;
  int planePass = 0;
  int breakAnswer = 0;
  std::map<std::string, std::string> keys;
};

struct FakeControl {
  std::vector<int> results{0};  // per call; the last one repeats
  bool markPlanes = false;      // the first call marks flat-plane outlines as written
  std::vector<Point3D> moves;   // sent as 5-axis feed moves with the axis below
  Point3D axis{0, 0, 1};
  CycleRecord* signalRecord = nullptr;  // the host sets this record's signal word on the first call
  int signalValue = 0;
  std::vector<FakeCall> calls;
};

inline FakeControl& fakeControl() {
  static FakeControl fake;
  return fake;
}

inline int fakeControlRun(MachiningParams* params, SurfaceModel* model) {
  FakeControl& f = fakeControl();
  if (f.signalRecord != nullptr && f.calls.empty()) f.signalRecord->signal = f.signalValue;
  FakeCall call;
  call.params = *params;
  call.cutter = *model->cutter;
  call.tech = *roughTechnology();
  call.model = *roughRunModel();
  call.secondPass = roughSecondPass();
  call.planePass = roughPlanePass();
  call.breakAnswer = rpx5BreakCheck();
  call.keys = blockDump("fake_call_" + std::to_string(f.calls.size()) + ".cfg");
  const std::size_t n = f.calls.size();
  f.calls.push_back(call);
  if (f.markPlanes && n == 0) stepOptSetPlaneFileWritten(1);
  out3dSetToolAxis(f.axis);
  for (const Point3D& p : f.moves) {
    if (out3dMove5Axis(p, kOut3dFeed) == -2) return -2;
  }
  return f.results[n < f.results.size() ? n : f.results.size() - 1];
}

// While alive: the fake controller runs in place of the roughing controller.
class FakeControlScope {
 public:
  FakeControlScope() {
    fakeControl() = FakeControl{};
    roughSetControl(fakeControlRun);
  }
  ~FakeControlScope() { roughSetControl(nullptr); }
  FakeControlScope(const FakeControlScope&) = delete;
  FakeControlScope& operator=(const FakeControlScope&) = delete;
};

}  // namespace qdtest
