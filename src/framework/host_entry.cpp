// host_entry.cpp - the four exported functions. They check arguments, bound the nesting of runs,
// install the host's callbacks on the record for one run and turn every C++ exception into the
// function's failure value: nothing but plain results crosses the C interface.
#include "framework/host_entry.h"

#include "framework/output.h"
#include "framework/phase_runner.h"
#include "qdmill/qdmill.h"

namespace {
struct HostState {
  int depth = 0;
  HostCallbacks* hosts[kHostRunDepthMax] = {};
  CycleRecord* cycles[kHostRunDepthMax] = {};  // the record of each active run
  CycleRecord* cached = nullptr;
};
constinit HostState hostState;

// The provider of the default record, installed at load; apart from the run state so that a
// reset keeps it.
constinit HostDefaultCycleFn hostDefaultProvider = nullptr;

CycleRecord* hostRecord(CycleRecord* cycle) {
  if (cycle != nullptr) return cycle;
  if (hostState.cached == nullptr && hostDefaultProvider != nullptr) {
    hostState.cached = hostDefaultProvider();
  }
  return hostState.cached;
}

bool hostIsRunning(const CycleRecord* cycle) {
  for (int i = 0; i < hostState.depth; ++i) {
    if (hostState.cycles[i] == cycle) return true;
  }
  return false;
}

int hostCallPair(CycleRecord* cycle, int layer, OutputRecord* record, const HostCallbacks* host,
                 int pair) {
  if (host == nullptr || host->pair[pair].fn == nullptr) return 1;
  return host->pair[pair].fn(cycle, layer, record, host->pair[pair].user) == 0 ? 0 : 1;
}

// Layer 0 goes to pair 0 and then pair 1.
int cycHostFwdLayer0(CycleRecord* cycle, OutputRecord* record, void* user) {
  const auto* host = static_cast<const HostCallbacks*>(user);
  const int r0 = hostCallPair(cycle, 0, record, host, 0);
  const int r1 = hostCallPair(cycle, 0, record, host, 1);
  return r1 == 0 ? 0 : r0;
}

// Every other forwarder calls one pair with its own layer number: pair 1 for layers 1 and 2,
// pair 2 for layers 3 and 40, pair 0 for layers 10, 11, 12, 31, 35, 41 and 42.
template <int Layer>
int cycHostFwdPair0(CycleRecord* cycle, OutputRecord* record, void* user) {
  return hostCallPair(cycle, Layer, record, static_cast<const HostCallbacks*>(user), 0);
}
template <int Layer>
int cycHostFwdPair1(CycleRecord* cycle, OutputRecord* record, void* user) {
  return hostCallPair(cycle, Layer, record, static_cast<const HostCallbacks*>(user), 1);
}
template <int Layer>
int cycHostFwdPair2(CycleRecord* cycle, OutputRecord* record, void* user) {
  return hostCallPair(cycle, Layer, record, static_cast<const HostCallbacks*>(user), 2);
}

struct HostForwarder {
  std::uint16_t layer;
  OutputListenerFn fn;
};
constexpr HostForwarder kForwarders[] = {
    {0, cycHostFwdLayer0},     {1, cycHostFwdPair1<1>},   {2, cycHostFwdPair1<2>},
    {3, cycHostFwdPair2<3>},   {10, cycHostFwdPair0<10>}, {11, cycHostFwdPair0<11>},
    {12, cycHostFwdPair0<12>}, {31, cycHostFwdPair0<31>}, {35, cycHostFwdPair0<35>},
    {40, cycHostFwdPair2<40>}, {41, cycHostFwdPair0<41>}, {42, cycHostFwdPair0<42>},
};

// Takes the run slot and gives it back on every way out of qdCSexecCycle.
struct HostRunSlot {
  explicit HostRunSlot(CycleRecord* cycle, HostCallbacks* host) {
    hostState.hosts[hostState.depth] = host;
    hostState.cycles[hostState.depth] = cycle;
    ++hostState.depth;
  }
  ~HostRunSlot() {
    --hostState.depth;
    hostState.hosts[hostState.depth] = nullptr;
    hostState.cycles[hostState.depth] = nullptr;
  }
  HostRunSlot(const HostRunSlot&) = delete;
  HostRunSlot& operator=(const HostRunSlot&) = delete;
};
}  // namespace

void cycHostAttach(CycleRecord* cycle, int code, void* user) {
  if (code != kMsgFirstOutput || cycle == nullptr) return;
  const auto* host = static_cast<const HostCallbacks*>(user);
  if (host == nullptr) return;
  if (host->pair[0].fn == nullptr && host->pair[1].fn == nullptr && host->pair[2].fn == nullptr)
    return;
  for (const HostForwarder& f : kForwarders)
    cycAddListener(cycle, f.layer, f.fn, user, nullptr, nullptr);
}

int hostRunDepth() { return hostState.depth; }

void hostSetDefaultCycle(HostDefaultCycleFn provider) {
  hostDefaultProvider = provider;
  hostState.cached = nullptr;
}

void hostResetState() { hostState = HostState{}; }

extern "C" {

QDMILL_API CycleRecord* qdCSgetCycle(void) {
  try {
    return hostRecord(nullptr);
  } catch (...) {
    return nullptr;
  }
}

QDMILL_API int qdCSsetSignal(CycleRecord* cycle, int value) {
  try {
    CycleRecord* c = hostRecord(cycle);
    if (c == nullptr) return 1;
    const int previous = c->signal;
    c->signal = value;
    return previous;
  } catch (...) {
    return 1;
  }
}

QDMILL_API int qdCSgetSignal(CycleRecord* cycle) {
  try {
    CycleRecord* c = hostRecord(cycle);
    return c != nullptr ? c->status : 1;
  } catch (...) {
    return 1;
  }
}

QDMILL_API int qdCSexecCycle(CycleRecord* cycle, int argc, char** argv, HostCallbacks* host) {
  try {
    CycleRecord* c = hostRecord(cycle);
    if (c == nullptr) return 0;
    if (hostState.depth >= kHostRunDepthMax) return 0;
    // A nested run of the record already running would free the outer run's parameters and
    // layers under it.
    if (hostIsRunning(c)) return 0;
    HostRunSlot slot(c, host);
    if (cycParseOptions(c, argv, argc, 0) == 0) return 0;
    struct MessageGuard {
      CycleRecord* c;
      ~MessageGuard() {
        c->messageFn = nullptr;
        c->messageUser = nullptr;
      }
    } guard{c};
    c->messageFn = cycHostAttach;
    c->messageUser = host;
    cycRun(c);
    return 1;
  } catch (...) {
    return 0;
  }
}

}  // extern "C"
