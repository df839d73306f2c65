// phase_runner.cpp - option parsing, source loading, the phase sequence with its framework
// messages and run codes, the configuration echo and the clean-up of a run.
#include "framework/phase_runner.h"

#include <strings.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "framework/memory.h"
#include "framework/messages.h"
#include "framework/output.h"
#include "framework/output_records.h"
#include "framework/param_file.h"
#include "framework/param_list.h"
#include "framework/platform.h"

namespace {
struct RunnerState {
  int ipcValue = 0;
};
RunnerState runnerState;

constexpr std::size_t kBypassPiece = 511;

// The leading decimal number of text (0 when none), clamped to 0..limit.
long runNumber(const char* text, long limit) {
  const long v = std::strtol(text, nullptr, 10);
  if (v < 0) return 0;
  return v > limit ? limit : v;
}

void runFreeArgs(CycleRecord* cycle) {
  if (cycle->args != nullptr) {
    for (int i = 0; i < cycle->argCount; ++i) memFree(cycle->args[i]);
    memFree(cycle->args);
  }
  cycle->args = nullptr;
  cycle->argCount = 0;
}

std::uint16_t runSingleLetterFlag(char c) {
  switch (c) {
    case '?': return kCycFlagHelp;
    case 'A':
    case 'a': return kCycFlagAlgorithm;
    case 'D':
    case 'd': return kCycFlagOptionD;
    case 'P':
    case 'p': return kCycFlagParameters;
    case 'V':
    case 'v': return kCycFlagVersion;
    case 'Y':
    case 'y': return kCycFlagLayers;
    default: return 0;
  }
}

// Applies one option; false when the argument is positional.
bool runOption(CycleRecord* cycle, const char* arg) {
  if (arg[0] == '?') {
    cycle->flags = kCycFlagHelp;
    return true;
  }
  if (arg[0] != '-' && arg[0] != '/') return false;
  const char* opt = arg + 1;
  const std::size_t len = std::strlen(opt);
  if (len == 1) {
    const std::uint16_t flag = runSingleLetterFlag(opt[0]);
    cycle->flags |= flag;
    return flag != 0;
  }
  if (len < 2) return false;
  switch (opt[0]) {
    case 'I':
    case 'i':
      if (strncasecmp(opt, "IPC", 3) != 0) return false;
      runnerState.ipcValue = static_cast<int>(runNumber(opt + 3, 1000000000));
      return true;
    case 'M':
    case 'm': cycle->mValue = static_cast<std::uint16_t>(runNumber(opt + 1, 65535)); return true;
    case 'P':
      if (strcasecmp(opt, "PCF") == 0) {
        cycle->outputMode = kCycOutputExchange;
        return true;
      }
      if (strcasecmp(opt, "POF") == 0) {
        cycle->outputMode = kCycOutputPof;
        return true;
      }
      return false;
    case 'S':
    case 's': {
      char* source = memStrDup(opt + 1);
      if (source == nullptr) return true;  // no memory: the option is lost, not turned positional
      memFree(cycle->source);
      cycle->source = source;
      cycle->flags |= kCycFlagSource;
      return true;
    }
    default: return false;
  }
}

// Copies the bypass file named by "POFbypass" to the standard output.
void runCopyBypass(CycleRecord* cycle) {
  char* name = parListGet(cycle->params, "POFbypass", nullptr);
  if (name == nullptr) return;
  // A FIFO would block the open for ever: only a regular file is copied.
  std::FILE* f = nullptr;
  if (platPathKind(name) == kPlatOtherFile) {
    msgWarnSkippedSource(name);
  } else {
    f = std::fopen(name, "r");
  }
  memFree(name);
  if (f == nullptr) return;
  char piece[kBypassPiece];
  std::size_t n;
  while ((n = std::fread(piece, 1, sizeof piece, f)) > 0) std::fwrite(piece, 1, n, stdout);
  std::fclose(f);
  std::fflush(stdout);
}

// The configuration echo of the init phase: the source name, the parameters, the ".CFG" entries.
void runEcho(CycleRecord* cycle) {
  cycSendTextRecord(cycle, 0, 112, "cfgSource", cycle->source != nullptr ? cycle->source : "");
  for (const ParamNode* n = cycle->params; n != nullptr; n = n->next) {
    if (n->name == nullptr || n->value == nullptr) continue;
    OutputRecord r;
    std::memset(&r, 0, sizeof r);
    const bool definition = n->kind <= 20;
    r.type = definition ? 202 : 201;
    outCopyText(r.text.name, sizeof r.text.name, definition ? "def" : "call");
    outFormatText(r.text.text, sizeof r.text.text, "\"%s\":=\"%s\"", n->name, n->value);
    cycEmit(cycle, 1, &r);
  }
  for (const ParamNode* n = cycle->cfgEntries; n != nullptr; n = n->next) {
    if (n->name == nullptr || n->value == nullptr) continue;
    OutputRecord r;
    std::memset(&r, 0, sizeof r);
    r.type = 204;
    outCopyText(r.text.name, sizeof r.text.name, "cfg");
    if (n->value[0] != '\0') {
      outFormatText(r.text.text, sizeof r.text.text, "%s %s", n->name, n->value);
    } else {
      outCopyText(r.text.text, sizeof r.text.text, n->name);
    }
    cycEmit(cycle, 1, &r);
  }
}

// Sends the faults of the run's sources as fatal messages; returns how many there were.
int runSendLoadFaults(CycleRecord* cycle) {
  const int count = parLoadFaultCount();
  for (int i = 0; i < count; ++i) {
    const char* text = parLoadFaultText(i);
    if (text != nullptr) msgSendJobFault(cycle, text);
  }
  if (count > kParFaultsKept) {
    const std::string more =
        "... and " + std::to_string(count - kParFaultsKept) + " more faults of the job source";
    msgSendJobFault(cycle, more.c_str());
  }
  parLoadFaultsClear();
  return count;
}

// Runs one slot between its framework messages; returns its result (a null slot fails).
int runPhase(CycleRecord* cycle, CyclePhaseFn slot, int begin, int end) {
  cycSendMessage(cycle, begin);
  const int ok = slot != nullptr ? slot(cycle) : 0;
  cycSendMessage(cycle, end);
  return ok;
}

// Whether the computing phases must stop before the next one: the run failed as a whole (its
// output cannot be written, a value is not a number), or the host asked to stop at once. The
// signal is polled between phases too, so a stop sent while the sources loaded or the echo went
// out ends the run before its next phase rather than at the first poll of the computation.
bool runMustStop(CycleRecord* cycle) {
  if (cycRunFailed(cycle) == 1) return true;
  if (cycle->signal != kCycSignalStopNow) return false;
  cycle->status = kCycStatusUserBreak;
  return true;
}

int runComputing(CycleRecord* cycle) {
  CycleSlots& s = cycle->slots;
  int code = kRunOk;
  cycle->status = 0;  // each run says its own outcome: an earlier run's failure does not stay
  if (runMustStop(cycle)) {
    code = kRunReadParamsFailed;  // stopped before anything ran: nothing was read
  } else {
    cycSendMessage(cycle, kMsgInitBegin);
    if (s.phaseInit != nullptr) s.phaseInit(cycle);
    runEcho(cycle);
    cycSendMessage(cycle, kMsgInitEnd);
    msgSendPendingWarnings(cycle);
    // A source with a fault is not read at all: the run fails before its parameters are read,
    // with each fault named.
    if (runSendLoadFaults(cycle) > 0) code = kRunReadParamsFailed;
    // Each step: the phase with its framework messages and the code its failure (or a stop
    // before it) gives.
    struct Step {
      CyclePhaseFn slot;
      int begin, end, failCode;
    };
    const Step steps[] = {
        {cycle->sourceIsCfg == 1 ? s.phaseReadCfgParams : s.phaseReadParams, kMsgReadBegin,
         kMsgReadEnd, kRunReadParamsFailed},
        {s.phasePrepare, kMsgPrepareBegin, kMsgPrepareEnd, kRunPrepareFailed},
        {s.phaseCompute, kMsgComputeBegin, kMsgComputeEnd, kRunComputeFailed},
        {s.phaseFinish, kMsgFinishBegin, kMsgFinishEnd, kRunFinishFailed},
    };
    for (const Step& step : steps) {
      if (code != kRunOk) break;
      if (runMustStop(cycle) || runPhase(cycle, step.slot, step.begin, step.end) == 0) {
        code = step.failCode;
        break;
      }
    }
    // A computing phase that failed fails the run: the host reads it in the status word (a stop
    // keeps its own).
    if (code != kRunOk && cycle->status != kCycStatusUserBreak) cycle->status = kCycStatusFailed;
  }
  if (runPhase(cycle, s.phaseEnd, kMsgEndBegin, kMsgEndEnd) == 0 && code == kRunOk)
    code = kRunEndFailed;
  return code;
}

int runInformation(CycleRecord* cycle) {
  struct InfoStep {
    std::uint16_t flag;
    CyclePhaseFn CycleSlots::*slot;
    int begin, end, failCode;
  };
  static constexpr InfoStep kSteps[] = {
      {kCycFlagVersion, &CycleSlots::phaseVersion, kMsgVersionBegin, kMsgVersionEnd,
       kRunVersionFailed},
      {kCycFlagHelp, &CycleSlots::phaseHelp, kMsgHelpBegin, kMsgHelpEnd, kRunHelpFailed},
      {kCycFlagParameters, &CycleSlots::phaseParameters, kMsgParametersBegin, kMsgParametersEnd,
       kRunParametersFailed},
      {kCycFlagAlgorithm, &CycleSlots::phaseAlgorithm, kMsgAlgorithmBegin, kMsgAlgorithmEnd,
       kRunAlgorithmFailed},
      {kCycFlagLayers, &CycleSlots::phaseLayers, kMsgLayersBegin, kMsgLayersEnd, kRunLayersFailed},
      {kCycFlagOptionD, &CycleSlots::phaseOptionD, kMsgOptionDBegin, kMsgOptionDEnd,
       kRunOptionDFailed},
  };
  // The information texts travel on layer 0 to the host's listeners only (no writer): an
  // information run registers no layer of its own and writes no output.
  const bool ownLayer = cycle->layers == nullptr;
  if (ownLayer) cycRegisterLayer(cycle, 0, nullptr, nullptr, 1);
  int code = kRunOk;
  for (const InfoStep& step : kSteps) {
    if ((cycle->flags & step.flag) == 0) continue;
    if (runPhase(cycle, cycle->slots.*step.slot, step.begin, step.end) == 0) {
      code = step.failCode;
      break;
    }
  }
  if (ownLayer) cycFreeLayers(cycle);
  return code;
}
}  // namespace

int cycParseOptions(CycleRecord* cycle, char** argv, int argc, int inheritOnly) {
  if (cycle == nullptr) return 0;
  cycUpdateVersionText(cycle);
  if (cycInherit(cycle) == 0) return 0;
  if (inheritOnly == 1) return 1;

  runFreeArgs(cycle);
  memFree(cycle->source);
  cycle->source = nullptr;
  cycle->flags = 0;
  cycle->mValue = 0;
  cycle->firstOutputPending = 1;
  cycle->outputMode = kCycOutputPof;
  cycRunFailClear(cycle);
  msgSendPendingWarnings(nullptr);  // warnings of an earlier run that had no output
  parLoadFaultsClear();             // faults of an earlier run that never read its parameters
  parSetLoadedSource(nullptr);

  if (argv == nullptr || argc < 0) argc = 0;
  if (argc > 65535) argc = 65535;  // the count of positional arguments is 16-bit
  if (argc > 0) {
    cycle->args = static_cast<char**>(memAllocZero(sizeof(char*) * static_cast<std::size_t>(argc)));
    for (int i = 0; i < argc; ++i) {
      const char* arg = argv[i];
      if (arg == nullptr || runOption(cycle, arg)) continue;
      if (cycle->args == nullptr) continue;  // no memory: positional arguments are lost
      char* copy = memStrDup(arg);
      if (copy != nullptr) cycle->args[cycle->argCount++] = copy;
    }
  }
  if (cycle->argCount > 0) {
    runPhase(cycle, cycle->slots.phaseArguments, kMsgArgumentsBegin, kMsgArgumentsEnd);
  } else {
    runFreeArgs(cycle);
  }
  if (cycle->flags == 0) cycle->flags = kCycFlagVersion | kCycFlagHelp;

  const std::size_t len = cycle->source != nullptr ? std::strlen(cycle->source) : 0;
  cycle->sourceIsCfg = len >= 5 && strcasecmp(cycle->source + len - 4, ".CFG") == 0 ? 1 : 0;
  CyclePhaseFn load =
      cycle->sourceIsCfg == 1 ? cycle->slots.phaseLoadCfg : cycle->slots.phaseLoadParams;
  const int loaded = runPhase(cycle, load, kMsgLoadBegin, kMsgLoadEnd);

  if (cycle->outputMode == kCycOutputPof) runCopyBypass(cycle);
  if (loaded == 0) {
    cycCleanup(cycle);
    return 0;
  }
  return 1;
}

int cycRun(CycleRecord* cycle) {
  if (cycle == nullptr) return kRunOk;
  const int code =
      (cycle->flags & kCycFlagInfoMask) == 0 ? runComputing(cycle) : runInformation(cycle);
  cycCleanup(cycle);
  cycReleaseModuleFileName();
  return code;
}

void cycCleanup(CycleRecord* cycle) {
  if (cycle == nullptr) return;
  cycSendMessage(cycle, kMsgCleanupBegin);
  runFreeArgs(cycle);
  memFree(cycle->source);
  cycle->source = nullptr;
  parListFree(cycle->params);
  cycle->params = nullptr;
  parListFree(cycle->cfgEntries);
  cycle->cfgEntries = nullptr;
  cycSendMessage(cycle, kMsgCleanupEnd);
}

int cycIpcValue() { return runnerState.ipcValue; }

void runnerResetState() { runnerState = RunnerState{}; }
