// host_entry.h - internals of the four exported functions (declared in qdmill/qdmill.h): the run
// stack that bounds nested runs and the message callback that attaches the host's callbacks.
#pragma once

#include "framework/cycle.h"

// Runs nest at most this deep; a deeper qdCSexecCycle returns 0 at once.
inline constexpr int kHostRunDepthMax = 8;

// The message callback a host run installs; user is the HostCallbacks pointer. On code 312 (the
// run's first output record) it attaches the host's forwarders to the registered layers 0, 1, 2,
// 3, 10, 11, 12, 31, 35, 40, 41 and 42, in that order; other codes, a null host and a host whose
// three functions are all null are ignored.
void cycHostAttach(CycleRecord* cycle, int code, void* user);

// Number of host runs active now.
int hostRunDepth();

// The library's own cycle record, which the exported functions use when the host passes none:
// the subsystem that owns the record installs its provider when the library loads (the machining
// cycles install the "qdRpx5" record). Null removes it. Without a provider a null record is
// answered as a missing cycle: qdCSgetCycle returns null, qdCSexecCycle 0, qdCSsetSignal and
// qdCSgetSignal 1.
using HostDefaultCycleFn = CycleRecord* (*)();
void hostSetDefaultCycle(HostDefaultCycleFn provider);

// Test seam: clears the run stack and the cached cycle pointer (the installed provider stays).
void hostResetState();
