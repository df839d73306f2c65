// emit_recorder.h - a recording point and axis callback for the emitter tests, and a fresh
// emitter state around each test.
#pragma once

#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <vector>

#include "cycles/emit_point.h"
#include "cycles/emit_region.h"
#include "framework/messages.h"
#include "geometry/csys.h"
#include "geometry/cycle_state.h"
#include "output/out3d_state.h"

namespace emitrec {

struct Call {
  char what;  // 'A' axis, 'P' point, 'E' end
  Point3D v;
  int code;
};

inline std::vector<Call>& calls() {
  static std::vector<Call> c;
  return c;
}
inline int pointFail = 0;  // the point callback answers -1 when set

inline int recordPoint(Point3D* p, int code) {
  calls().push_back({'P', *p, code});
  return pointFail != 0 ? -1 : 0;
}
inline int recordAxis(Point3D* a, int) {
  calls().push_back({'A', *a, 1});
  return 0;
}
inline void recordEnd() { calls().push_back({'E', {0, 0, 0}, 0}); }

inline std::vector<Call> points() {
  std::vector<Call> out;
  for (const Call& c : calls()) {
    if (c.what == 'P') out.push_back(c);
  }
  return out;
}

class EmitTest : public ::testing::Test {
 protected:
  void SetUp() override {
    emitState() = EmitterState{};
    retractPathState() = EmitPathPointState{};
    emitRegionResetState();
    csysResetState();
    cycleStateResetState();
    out3dSetCycle(nullptr);
    calls().clear();
    pointFail = 0;
    emitSetCallbacks(recordPoint, nullptr, recordEnd);
  }
  void TearDown() override {
    emitState() = EmitterState{};
    emitRegionResetState();
    csysResetState();
  }
};

}  // namespace emitrec
