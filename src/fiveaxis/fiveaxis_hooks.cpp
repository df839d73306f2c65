// fiveaxis_hooks.cpp - the five-axis control's hooks, installed when the library loads: every
// program linked with the library's objects (the shared library, the tests) runs this before main.
#include "fiveaxis/fiveaxis_hooks.h"

#include "fiveaxis/tilt_offset_stub.h"
#include "fiveaxis/tilt_sideways_stub.h"
#include "geometry/boundary.h"
#include "zlevel/spiral.h"

void fiveaxisInstallHooks() {
  bndSetTiltOffset(tiltOffsetPolyline);
  spiralSetTiltHook(tiltSidewaysAlongPath);
}

namespace {
struct FiveaxisHooksAtLoad {
  FiveaxisHooksAtLoad() { fiveaxisInstallHooks(); }
};
const FiveaxisHooksAtLoad fiveaxisHooksAtLoad;
}  // namespace
