// kernel.cpp - the kernel record and its default slots: loading the definition file and a ".pcf"
// or ".CFG" parameter source with the NC and tool frames it names, the information phases that
// read language files, and the end phase.
#include "framework/kernel.h"

#include <strings.h>

#include <cmath>
#include <cstring>
#include <string>

#include "framework/cfg_reader.h"
#include "framework/memory.h"
#include "framework/numtext.h"
#include "framework/output.h"
#include "framework/output_records.h"
#include "framework/param_file.h"
#include "framework/param_options.h"
#include "framework/xchg_number.h"

namespace {
constexpr char kStdinSource[] = "| stdin";
constexpr std::size_t kInfoTextMax = 520;  // the text field of a record

// The options of a cycle run, as the phase runner reads them.
constexpr const char* kHelpLines[] = {
    "  -S<job>        compute with the parameter source <job>.pcf (lines of name := value)",
    "  -S<job>.CFG    compute with the configuration source <job>.CFG (lines of *KEY value)",
    "  -PCF, -POF     write the output into the exchange file that geoOut names, or as POF text",
    "  -M<n>          extra output layers",
    "  -V, -?         show the version, this help (both when no option is given)",
    "  -D             run the option-D phase",
};

// name with ext appended unless it already ends in ext (any case); names shorter than ext always
// get it.
std::string kerWithExtension(const char* name, const char* ext) {
  std::string s = name;
  const std::size_t n = std::strlen(ext);
  if (s.size() < n || strcasecmp(s.c_str() + s.size() - n, ext) != 0) s += ext;
  return s;
}

// Reads a frame from list into m, whose columns keep their values where a key has no usable
// value: keys[0..2] as unit vectors into the axis columns 0 to 2, keys[3] as a point into the
// origin column 3. firstOnly 1: the first entry of each name counts; 0: the last usable one.
void kerReadFrame(AffineMatrix* m, const ParamNode* list, const char* const keys[4],
                  int firstOnly) {
  for (int c = 0; c < 4; ++c) {
    double v[3] = {m->m[c], m->m[4 + c], m->m[8 + c]};
    if (c < 3) {
      parOptionUnitVector(list, keys[c], firstOnly, &v[0], &v[1], &v[2]);
    } else {
      cycReadPointParam(list, keys[c], firstOnly, &v[0], &v[1], &v[2]);
    }
    for (int r = 0; r < 3; ++r) m->m[r * 4 + c] = v[r];
  }
}

constexpr const char* kFrameKeys[4] = {"frameCs_x", "frameCs_y", "frameCs_z", "frameCs_o"};
constexpr const char* kToolKeys[4] = {"toolCs_x", "toolCs_y", "toolCs_z", "toolCs_o"};
constexpr const char* kCfgFrameKeys[4] = {"*NCKO_X", "*NCKO_Y", "*NCKO_Z", "*NCKO_O"};
constexpr const char* kCfgToolKeys[4] = {"*WZKO_X", "*WZKO_Y", "*WZKO_Z", "*WZKO_O"};

// The program parameters that a ".CFG" source names: "*APT" the POF file, "*FRAME_ID" the zero
// point, "*FRAME_COMMENT" the frame comment escaped as in the exchange format. Later entries
// replace earlier ones.
void kerParamsFromCfg(CycleRecord* cycle) {
  for (const ParamNode* n = cycle->cfgEntries; n != nullptr; n = n->next) {
    if (n->name == nullptr || n->name[0] != '*' || n->value == nullptr) continue;
    if (std::strcmp(n->name, "*APT") == 0) {
      cycle->params = parListSet(cycle->params, "pofFilename", n->value, kParKindProgram);
    } else if (std::strcmp(n->name, "*FRAME_ID") == 0) {
      cycle->params = parListSet(cycle->params, "zeroPointID", n->value, kParKindProgram);
    } else if (std::strcmp(n->name, "*FRAME_COMMENT") == 0) {
      std::string escaped(4 * std::strlen(n->value) + 1, '\0');
      if (xchgEscapeText(escaped.data(), escaped.size(), n->value) >= 0) {
        cycle->params = parListSet(cycle->params, "frameComment", escaped.c_str(), kParKindProgram);
      }
    }
  }
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
            .phaseVersion = cycInfoVersion,
            .phaseHelp = cycInfoHelp,
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
  // NC frame from the "frameCs_*" keys; the tool frame starts as the NC frame, and tool keys
  // that are missing take the NC frame key of the same letter.
  affIdentity(&cycle->frame);
  kerReadFrame(&cycle->frame, cycle->params, kFrameKeys, 1);
  affCopy(&cycle->tool, &cycle->frame);
  parToolCsFromFrameCs(cycle);
  kerReadFrame(&cycle->tool, cycle->params, kToolKeys, 1);
  return 1;
}

int cycLoadCfgSource(CycleRecord* cycle) {
  if (cycle == nullptr) return 1;
  try {
    if (cycle->source != nullptr) {
      const std::string path = kerWithExtension(cycle->source, ".CFG");
      cycle->cfgEntries = cfgLoadFile(cycle->cfgEntries, path.c_str(), kParKindSource);
    }
    kerParamsFromCfg(cycle);
  } catch (...) {
    // no memory for a file name or an escaped text: the lists stay as far as they were filled
  }
  // Frames from "*NCKO_*" and "*WZKO_*"; a ".CFG" source may repeat a key, the last entry wins.
  affIdentity(&cycle->frame);
  kerReadFrame(&cycle->frame, cycle->cfgEntries, kCfgFrameKeys, 0);
  affCopy(&cycle->tool, &cycle->frame);
  kerReadFrame(&cycle->tool, cycle->cfgEntries, kCfgToolKeys, 0);
  return 1;
}

int cycReadPointParam(const ParamNode* list, const char* name, int firstOnly, double* x, double* y,
                      double* z) {
  if (name == nullptr) return 0;
  int found = 0;
  for (const ParamNode* n = list; n != nullptr; n = n->next) {
    if (n->name == nullptr || std::strcmp(n->name, name) != 0) continue;
    double v[3] = {0, 0, 0};
    // an infinite coordinate ("1e999") would carry into every point the frame maps
    if (numParse3(n->value, &v[0], &v[1], &v[2]) == 3 && std::isfinite(v[0]) &&
        std::isfinite(v[1]) && std::isfinite(v[2])) {
      if (x != nullptr) *x = v[0];
      if (y != nullptr) *y = v[1];
      if (z != nullptr) *z = v[2];
      found = 1;
    }
    if (firstOnly == 1) break;
  }
  return found;
}

int cycShowMsgSection(CycleRecord* cycle, const char* item) {
  if (cycle == nullptr || item == nullptr) return 0;
  char* file = parListGet(cycle->params, item, nullptr);
  if (file == nullptr) return 0;
  char* language = parListGet(cycle->params, "SystemLanguage", nullptr);
  struct Sink {
    CycleRecord* cycle;
    const char* item;
  } sink{cycle, item};
  auto send = [](const char* text, void* user) {
    const auto* s = static_cast<const Sink*>(user);
    cycSendInfoText(s->cycle, s->item, text);
  };
  const int result = langFileReadSection(file, language != nullptr ? language : "???", send, &sink);
  memFree(language);
  memFree(file);
  return result;
}

int cycInfoVersion(CycleRecord* cycle) {
  if (cycle == nullptr) return 1;
  char text[kInfoTextMax];
  const char* version = cycVersionText() != nullptr ? cycVersionText() : "";
  if (cycle->id != nullptr) {
    outFormatText(text, sizeof text, "%s (%s) release %ld-%s", cycle->title, cycle->id,
                  static_cast<long>(cycle->code), version);
  } else {
    outFormatText(text, sizeof text, "%s release %ld-%s", cycle->title,
                  static_cast<long>(cycle->code), version);
  }
  cycSendInfoText(cycle, "version", text);
  return 1;
}

int cycInfoHelp(CycleRecord* cycle) {
  if (cycle == nullptr) return 1;
  const char* id = cycle->id != nullptr ? cycle->id : "cycle";
  char text[kInfoTextMax];
  outFormatText(text, sizeof text, "options of %s:", id);
  cycSendInfoText(cycle, "help", text);
  for (const char* line : kHelpLines) cycSendInfoText(cycle, "help", line);
  outFormatText(text, sizeof text,
                "  -P, -A, -Y     show the parameters, algorithm or layers text (language files "
                "named in %s.def)",
                id);
  cycSendInfoText(cycle, "help", text);
  return 1;
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
