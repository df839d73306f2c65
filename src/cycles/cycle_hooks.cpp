// cycle_hooks.cpp - the machining cycles' hooks, installed when the library loads: every program
// linked with the library's objects (the shared library, the tests) runs this before main.
#include "cycles/cycle_hooks.h"

#include "cycles/cyc3d_record.h"
#include "cycles/level_pocket.h"
#include "cycles/rpx5_record.h"
#include "cycles/run_reset.h"
#include "cycles/rupp_calls.h"
#include "framework/host_entry.h"
#include "output/pof_reader.h"

void cyclesInstallHooks() {
  hostSetDefaultCycle(rpx5CycleRecord);
  const PofReadHooks level = levelPocketReadHooks();
  pofReadInstallDefaultHooks(&level);
  pofReadInstallErrorReport(ruppReportError);
  cyc3dSetRunReset(cyc3dResetRunState);
}

namespace {
struct CycleHooksAtLoad {
  CycleHooksAtLoad() { cyclesInstallHooks(); }
};
const CycleHooksAtLoad cycleHooksAtLoad;
}  // namespace
