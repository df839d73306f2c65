// run_reset.h - the run-start reset of the 3D cycles: one place that puts the running record's
// blocks, the global parameter block and every module's run state back to their values at load,
// so that no job leaks into the next. Within a run each module keeps its state as it likes.
#pragma once

#include "framework/cycle.h"

// Resets the record being run, when it is one of the 3D chain's records, to its load values (its
// texts freed, its cycle code back), then the run state of every module of the list in
// run_reset.cpp: the global parameter block with its write flags, the number precision, the
// message level, the configuration and parameter-file readers, the coordinate systems, the
// temporary names, the mesh frame and scale, the surface model and its loaders, the collision
// counters, the 3D output, the geometry dumps, the POF read-back, the slicing, pocketing (offset
// and relation tests among them) and arc recognition switches, the error table's switches. The
// common 3D cycle's init calls it first (installed by cyclesInstallHooks); the library's own
// record's init calls it too. running may be null (modules only).
void cyc3dResetRunState(CycleRecord* running);
