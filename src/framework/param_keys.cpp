// param_keys.cpp - the job-source keys that the framework's own readers take, and the search for
// the known key nearest to an unknown one.
#include "framework/param_keys.h"

#include <strings.h>

#include <algorithm>
#include <cctype>
#include <cstring>
#include <vector>

namespace {
using F = ParKeyForm;

// Each row names the module that reads it.
constexpr ParKnownKey kFrameworkKeys[] = {
    // kernel: frames and the information phases' language files
    {"frameCs_x", F::kExact},
    {"frameCs_y", F::kExact},
    {"frameCs_z", F::kExact},
    {"frameCs_o", F::kExact},
    {"toolCs_x", F::kExact},
    {"toolCs_y", F::kExact},
    {"toolCs_z", F::kExact},
    {"toolCs_o", F::kExact},
    {"SystemLanguage", F::kExact},
    {"parameters", F::kExact},
    {"algorithm", F::kExact},
    {"layers", F::kExact},
    // phase runner: the bypass file
    {"POFbypass", F::kExact},
    // POF writer: output file, header, user parameters, literal lines, compensation register
    {"pofFilename", F::kExact},
    {"jobName", F::kExact},
    {"cycleType", F::kExact},
    {"frameComment", F::kExact},
    {"zeroPointID", F::kExact},
    {"writeAlias", F::kExact},
    {"compRegister", F::kExact},
    {"compRegister2", F::kExact},
    {"compRegisterComment", F::kExact},
    {"P", F::kNumbered},
    {"literal_", F::kNumbered},
    // output records: comments
    {"lastComment", F::kExact},
    {"comment_", F::kNumbered},
    // exchange writers and 3D output
    {"geoOut", F::kExact},
    {"precision", F::kExact},
    {"ppJobID", F::kExact},
    // tool description
    {"toolName", F::kExact},
    {"toolType", F::kExact},
    {"toolDiameter", F::kExact},
    {"toolComment", F::kExact},
    {"toolComment2", F::kExact},
    {"toolContour", F::kExact},
    {"cornerRadius", F::kExact},
    {"toolLength", F::kExact},
    {"taperAngle", F::kExact},
    {"taperHeight", F::kExact},
    {"coneAngle", F::kExact},
    {"planeFeedrate", F::kExact},
    {"zFeedrate", F::kExact},
    {"initialSpindleSpeed", F::kExact},
    {"spindleSpeed", F::kExact},
    {"spindleRotation", F::kExact},
    {"totalToolLength", F::kExact},
    {"cuttingLength", F::kExact},
    {"tipDiameter", F::kExact},
    {"discHeight", F::kExact},
    {"barrelHeight", F::kExact},
    {"centerHeight", F::kExact},
    {"barrelRadius", F::kExact},
    {"lensRadius", F::kExact},
    {"chamferAngle", F::kExact},
    {"nominalDiameter", F::kExact},
    {"toolRadiusAllowance", F::kExact},
    {"toolLengthAllowance", F::kExact},
    {"toolShaftDiameter", F::kExact},
    {"toolShaftChamferLength", F::kExact},
    {"coolant", F::kExact},
    {"coolant2", F::kExact},
    {"toolReference", F::kExact},
    {"toolRTCPlength", F::kExact},
    {"NCstop", F::kExact},
    {"toolHolderType", F::kExact},
    {"toolHolderComment", F::kExact},
    {"toolHolderComment2", F::kExact},
    {"toolHolderLength1", F::kExact},
    {"toolHolderDiameter1", F::kExact},
    {"toolHolderLength2", F::kExact},
    {"toolHolderDiameter2", F::kExact},
    {"toolHeadLength1", F::kExact},
    {"toolHeadDiameter1", F::kExact},
    {"toolHeadLength2", F::kExact},
    {"toolHeadDiameter2", F::kExact},
};

constexpr ParKnownKey kFrameworkCfgKeys[] = {
    // kernel: program parameters of a ".CFG" source
    {"*FRAME_ID", F::kExact},
    {"*FRAME_COMMENT", F::kExact},
    // POF writer
    {"*JOBNAME", F::kExact},
    {"*CYCLETYPE", F::kExact},
    {"*WRITE_ALIAS", F::kExact},
    {"*P", F::kNumbered},
    {"*LITERAL_", F::kNumbered},
    // the tool reference of the 3D cycles: its name and the length of each named reference
    {"*TOOL_REFERENCE", F::kExact},
    {"*TREF_", F::kPrefixed},
    // tool description
    {"*WKZKOMMENTAR", F::kExact},
    {"*WKZKOMMENTAR2", F::kExact},
    {"*TIP_ANGLE", F::kExact},
    {"*INITIAL_SPINDLE_SPEED", F::kExact},
    {"*DISC_HEIGHT", F::kExact},
    {"*BARREL_HEIGHT", F::kExact},
    {"*CENTER_HEIGHT", F::kExact},
    {"*BARREL_RADIUS", F::kExact},
    {"*LENS_RADIUS", F::kExact},
    {"*CHAMFER_ANGLE", F::kExact},
    {"*NOMINAL_DIAMETER", F::kExact},
    {"*TOOL_RADIUS_ALLOWANCE", F::kExact},
    {"*TOOL_LENGTH_ALLOWANCE", F::kExact},
    {"*KUEHLMITTEL2", F::kExact},
    {"*HOLDERTYP", F::kExact},
    {"*HOLDERKOMMENTAR", F::kExact},
    {"*HOLDERKOMMENTAR2", F::kExact},
    {"*EXTRUSION_THICKNESS", F::kExact},
    {"*HEIGHT_OF_CUTTING_AREA", F::kExact},
    {"*WIDTH_OF_CUTTING_AREA", F::kExact},
    {"*INSERT_ANGLE", F::kExact},
    {"*INSERT_APPROACH_ANGLE", F::kExact},
    {"*INSERT_AXIS_DISTANCE", F::kExact},
    {"*INSERT_HEIGHT", F::kExact},
    {"*INSERT_LENGTH", F::kExact},
    {"*INSERT_SHAFT_DISTANCE", F::kExact},
    {"*INSERT_THICKNESS", F::kExact},
    {"*INSERT_TYPE", F::kExact},
    {"*MOUNTING_DIRECTION", F::kExact},
    {"*NC_STOP", F::kExact},
    {"*REFERENCE_OFFSET_X", F::kExact},
    {"*REFERENCE_OFFSET_Z", F::kExact},
    {"*SIDE_OF_INSERT", F::kExact},
    {"*TOOL_ORIENTATION", F::kExact},
    {"*CUTTING_SIDE", F::kExact},
};

// A misspelling of a key of this length is at most this far from it.
int parAllowedDistance(std::size_t length) {
  if (length <= 4) return 1;
  if (length <= 10) return 2;
  return 3;
}

int parLower(char c) { return std::tolower(static_cast<unsigned char>(c)); }

bool parAllDigits(const char* s) {
  if (*s == '\0') return false;
  for (; *s != '\0'; ++s) {
    if (!std::isdigit(static_cast<unsigned char>(*s))) return false;
  }
  return true;
}
}  // namespace

std::span<const ParKnownKey> parFrameworkKeys() { return kFrameworkKeys; }
std::span<const ParKnownKey> parFrameworkCfgKeys() { return kFrameworkCfgKeys; }

bool parKeyMatches(const ParKnownKey& key, const char* name, bool ignoreCase) {
  if (key.name == nullptr || name == nullptr) return false;
  if (key.form == ParKeyForm::kExact) {
    return ignoreCase ? strcasecmp(key.name, name) == 0 : std::strcmp(key.name, name) == 0;
  }
  const std::size_t n = std::strlen(key.name);
  const bool stem =
      ignoreCase ? strncasecmp(key.name, name, n) == 0 : std::strncmp(key.name, name, n) == 0;
  if (!stem) return false;
  if (key.form == ParKeyForm::kPrefixed) return name[n] != '\0';
  return parAllDigits(name + n);
}

int parKeyDistance(const char* a, const char* b) {
  if (a == nullptr || b == nullptr) return 0;
  const std::size_t n = std::strlen(a);
  const std::size_t m = std::strlen(b);
  // Optimal string alignment over three rows of the table.
  std::vector<int> before(m + 1), prev(m + 1), cur(m + 1);
  for (std::size_t j = 0; j <= m; ++j) prev[j] = static_cast<int>(j);
  for (std::size_t i = 1; i <= n; ++i) {
    cur[0] = static_cast<int>(i);
    for (std::size_t j = 1; j <= m; ++j) {
      const int cost = parLower(a[i - 1]) == parLower(b[j - 1]) ? 0 : 1;
      int d = std::min({prev[j] + 1, cur[j - 1] + 1, prev[j - 1] + cost});
      if (i > 1 && j > 1 && parLower(a[i - 1]) == parLower(b[j - 2]) &&
          parLower(a[i - 2]) == parLower(b[j - 1])) {
        d = std::min(d, before[j - 2] + 1);
      }
      cur[j] = d;
    }
    before.swap(prev);
    prev.swap(cur);
  }
  return prev[m];
}

ParNearestKey::ParNearestKey(const char* name)
    : name_(name != nullptr ? name : ""), bestDistance_(parAllowedDistance(name_.size()) + 1) {
  std::size_t d = name_.size();
  while (d > 0 && std::isdigit(static_cast<unsigned char>(name_[d - 1]))) --d;
  digits_ = name_.substr(d);
}

void ParNearestKey::offer(const char* candidate) {
  if (candidate == nullptr || candidate == name_) return;
  const int d = parKeyDistance(name_.c_str(), candidate);
  // A key that differs in letter case only is nearer than any misspelling.
  const int rank = d == 0 ? -1 : d;
  if (rank < bestDistance_) {
    bestDistance_ = rank;
    best_ = candidate;
  }
}

void ParNearestKey::offer(const ParKnownKey& key) {
  if (key.name == nullptr) return;
  if (key.form == ParKeyForm::kExact) {
    offer(key.name);
  } else if (key.form == ParKeyForm::kNumbered) {
    offer((std::string(key.name) + (digits_.empty() ? "1" : digits_)).c_str());
  }
}
