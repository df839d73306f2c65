// kernel.cpp - the kernel record and its default slots: loading the definition file and the
// ".pcf" parameter source, the information phases that read language files, and the end phase.
#include "framework/kernel.h"

#include <strings.h>

#include <cstring>
#include <string>

#include "framework/memory.h"
#include "framework/numtext.h"
#include "framework/output.h"
#include "framework/output_records.h"
#include "framework/param_file.h"

namespace {
constexpr char kStdinSource[] = "| stdin";

// name with ext appended unless it already ends in ext (any case); names shorter than ext always
// get it.
std::string kerWithExtension(const char* name, const char* ext) {
  std::string s = name;
  const std::size_t n = std::strlen(ext);
  if (s.size() < n || strcasecmp(s.c_str() + s.size() - n, ext) != 0) s += ext;
  return s;
}
}  // namespace

CycleRecord cycKernel = {
    .inherited = 1,
    .code = 1,
    .version = {5, 0, 1999, 3, 25},
    .title = "Zodavevoze",
    .slots =
        {
            .phaseArguments = cycPhaseNoop,
            .phaseInit = cycPhaseNoop,
            .phaseLoadParams = cycLoadParamSources,
            .phaseLoadCfg = cycLoadCfgSource,
            .phaseVersion = cycPhaseNoop,
            .phaseHelp = cycPhaseNoop,
            .phaseParameters = cycInfoParameters,
            .phaseAlgorithm = cycInfoAlgorithm,
            .phaseLayers = cycInfoLayers,
            .phaseOptionD = cycPhaseNoop,
            .phaseReadParams = cycPhaseNoop,
            .phaseReadCfgParams = cycPhaseNoop,
            .phasePrepare = cycPhaseNoop,
            .phaseCompute = cycPhaseNoop,
            .phaseFinish = cycPhaseNoop,
            .phaseEnd = cycEndDefault,
        },
};

int cycPhaseNoop(CycleRecord*) { return 1; }

int cycLoadParamSources(CycleRecord* cycle) {
  if (cycle == nullptr) return 1;
  try {
    if (cycle->id != nullptr) {
      const std::string def = std::string(cycle->id) + ".def";
      cycle->params = parLoadFile(cycle->params, def.c_str(), kParKindDefinition);
    }
    if (cycle->source != nullptr) {
      if (std::strcmp(cycle->source, kStdinSource) == 0) {
        cycle->params = parLoadFile(cycle->params, kStdinSource, kParKindSource);
      } else {
        const std::string path = kerWithExtension(cycle->source, ".pcf");
        cycle->params = parLoadFile(cycle->params, path.c_str(), kParKindSource);
      }
    }
  } catch (...) {
    // no memory for a file name: the list stays as far as it was read
  }
  // The frame keys ("frameCs_*", "toolCs_*") are read by the frame set-up of the pocketing
  // options once it exists; until then both frames stay the identity.
  affIdentity(&cycle->frame);
  affCopy(&cycle->tool, &cycle->frame);
  return 1;
}

int cycLoadCfgSource(CycleRecord*) {
  // Least form until the exchange reader's configuration loader is in place: no ".CFG" entry is
  // loaded and the frames keep their values. Loading never fails the run.
  return 1;
}

int cycReadPointParam(const ParamNode* list, const char* name, int firstOnly, double* x, double* y,
                      double* z) {
  if (name == nullptr) return 0;
  int found = 0;
  for (const ParamNode* n = list; n != nullptr; n = n->next) {
    if (n->name == nullptr || std::strcmp(n->name, name) != 0) continue;
    double v[3] = {0, 0, 0};
    if (numParse3(n->value, &v[0], &v[1], &v[2]) != 3) continue;
    if (x != nullptr) *x = v[0];
    if (y != nullptr) *y = v[1];
    if (z != nullptr) *z = v[2];
    found = 1;
    if (firstOnly == 1) break;
  }
  return found;
}

int cycShowMsgSection(CycleRecord* cycle, const char* item) {
  if (cycle == nullptr || item == nullptr) return 0;
  char* file = parListGet(cycle->params, item, nullptr);
  if (file == nullptr) return 0;
  char* language = parListGet(cycle->params, "SystemLanguage", nullptr);
  const int result = langFileReadSection(file, language != nullptr ? language : "???");
  memFree(language);
  memFree(file);
  return result;
}

int cycInfoParameters(CycleRecord* cycle) { return cycShowMsgSection(cycle, "parameters"); }
int cycInfoAlgorithm(CycleRecord* cycle) { return cycShowMsgSection(cycle, "algorithm"); }
int cycInfoLayers(CycleRecord* cycle) { return cycShowMsgSection(cycle, "layers"); }

int cycEndDefault(CycleRecord* cycle) {
  if (cycle == nullptr) return 1;
  cycSendTextRecord(cycle, 0, 104, "cycleEnd", cycle->title);
  cycFreeLayers(cycle);
  return 1;
}
