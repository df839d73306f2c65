// cycle.cpp - what every cycle record shares: completion of empty slots from the parent chain,
// the framework message call, the library's own file name kept at load, and the version text.
#include "framework/cycle.h"

#include <cstdio>
#include <cstring>

#include "framework/memory.h"
#include "framework/platform.h"

namespace {
// Longest module file name kept, terminating NUL not counted.
constexpr int kModuleNameMax = 1020;
// A parent chain deeper than this is taken as a loop.
constexpr int kInheritDepthMax = 64;

constexpr int kCycFailedRunsMax = 16;

struct CycState {
  void* module = nullptr;
  char* moduleFileName = nullptr;  // owned copy, null when unknown or released
  char versionText[96] = "";
  bool versionFromBuild = false;  // set once the build's version made the text
  // Records whose current run has failed as a whole (cycFailRun); runs nest at most 8 deep.
  const CycleRecord* failedRuns[kCycFailedRunsMax] = {};
};
CycState cycState;

constexpr CyclePhaseFn CycleSlots::*kSlotMembers[kCycleSlotCount] = {
    &CycleSlots::phaseArguments,  &CycleSlots::phaseInit,       &CycleSlots::phaseLoadParams,
    &CycleSlots::phaseLoadCfg,    &CycleSlots::phaseVersion,    &CycleSlots::phaseHelp,
    &CycleSlots::phaseParameters, &CycleSlots::phaseAlgorithm,  &CycleSlots::phaseLayers,
    &CycleSlots::phaseOptionD,    &CycleSlots::phaseReadParams, &CycleSlots::phaseReadCfgParams,
    &CycleSlots::phasePrepare,    &CycleSlots::phaseCompute,    &CycleSlots::phaseFinish,
    &CycleSlots::phaseEnd};

int cycInheritAt(CycleRecord* cycle, int depth) {
  if (cycle->inherited != 0) return 1;
  if (depth > kInheritDepthMax) return 0;
  CycleRecord* parent = cycle->parent;
  if (parent != nullptr) {
    if (parent->frameworkVersion != cycle->frameworkVersion) return 0;
    if (cycInheritAt(parent, depth + 1) == 0) return 0;
    for (auto slot : kSlotMembers) {
      if (cycle->slots.*slot == nullptr) cycle->slots.*slot = parent->slots.*slot;
    }
  }
  cycle->inherited = 1;
  return 1;
}
}  // namespace

void cycSendMessage(CycleRecord* cycle, int code) {
  if (cycle != nullptr && cycle->messageFn != nullptr)
    cycle->messageFn(cycle, code, cycle->messageUser);
}

int cycInherit(CycleRecord* cycle) {
  if (cycle == nullptr) return 0;
  return cycInheritAt(cycle, 0);
}

int cycDllAttach(void* module, int reason) {
  cycState.module = module;
  if (reason == 1 || reason == 2) {
    char name[kModuleNameMax + 1];
    if (platModuleFileName(name, sizeof name) == 1) {
      char* copy = memStrDup(name);
      if (copy != nullptr) {
        memFree(cycState.moduleFileName);
        cycState.moduleFileName = copy;
      }
    }
  }
  return 1;
}

const char* cycModuleFileName() { return cycState.moduleFileName; }

void cycReleaseModuleFileName() {
  memFree(cycState.moduleFileName);
  cycState.moduleFileName = nullptr;
}

void cycUpdateVersionText(const CycleRecord* cycle) {
  if (cycState.versionFromBuild || cycle == nullptr) return;
  const std::uint16_t* v = cycle->version;
  std::snprintf(cycState.versionText, sizeof cycState.versionText, "%u.%02u-%02u.%02u.%u",
                unsigned{v[0]}, unsigned{v[1]}, unsigned{v[4]}, unsigned{v[3]}, unsigned{v[2]});
  if (cycState.moduleFileName == nullptr) return;  // tried again at the next parse
  char text[64];
  std::size_t n = 0;
  for (const char* p = platFileVersionText(); *p != '\0' && n + 1 < sizeof text; ++p) {
    if (*p != ' ') text[n++] = *p;
  }
  text[n] = '\0';
  int numbers[4];
  platFileVersionNumbers(numbers);
  std::snprintf(cycState.versionText, sizeof cycState.versionText, "%s-%d.%d.%d.%d", text,
                numbers[0], numbers[1], numbers[2], numbers[3]);
  cycState.versionFromBuild = true;
}

const char* cycVersionText() { return cycState.versionText; }

void cycFailRun(CycleRecord* cycle) {
  if (cycle == nullptr) return;
  cycle->status = kCycStatusFailed;
  if (cycRunFailed(cycle) == 1) return;
  for (const CycleRecord*& slot : cycState.failedRuns) {
    if (slot == nullptr) {
      slot = cycle;
      return;
    }
  }
}

int cycRunFailed(const CycleRecord* cycle) {
  if (cycle == nullptr) return 0;
  for (const CycleRecord* slot : cycState.failedRuns) {
    if (slot == cycle) return 1;
  }
  return 0;
}

void cycRunFailClear(const CycleRecord* cycle) {
  for (const CycleRecord*& slot : cycState.failedRuns) {
    if (slot == cycle) slot = nullptr;
  }
}

void cycResetState() {
  for (const CycleRecord*& slot : cycState.failedRuns) slot = nullptr;
  cycState.versionText[0] = '\0';
  cycState.versionFromBuild = false;
  cycDllAttach(platModuleHandle(), 1);
}
