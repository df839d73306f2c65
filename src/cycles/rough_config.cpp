// rough_config.cpp - the roughing's configuration step and the hidden options of its comment
// text. Every length key is scaled exactly once per run, here; an option that sets a length
// stores it in the unit that the key has at the time it runs.
#include "cycles/rough_config.h"

#include <cmath>
#include <cstring>

#include "cycles/cyc3d_record.h"
#include "framework/global_params.h"
#include "framework/messages.h"
#include "framework/output.h"
#include "framework/path_join.h"
#include "geometry/cycle_state.h"

namespace {

// The comment text: "*COMMENT", or its other name "*A1" when that is the one set.
const char* roughComment() {
  const GlobalParams& g = *parGlobalBlock();
  return g.comment[0] != '\0' ? g.comment : g.a1;
}

bool roughCommentHas(const char* keyword) {
  const char* text = roughComment();
  return text[0] != '\0' && std::strstr(text, keyword) != nullptr;
}

// The number after the first '=' behind keyword, read as the run-time text-to-number
// conversion reads it (leading blanks skipped, 0 when no number follows). False when the keyword
// or the '=' is missing.
bool roughCommentNumber(const char* keyword, double* value) {
  const char* text = roughComment();
  if (text[0] == '\0') return false;
  const char* at = std::strstr(text, keyword);
  if (at == nullptr) return false;
  const char* eq = std::strchr(at + std::strlen(keyword), '=');
  if (eq == nullptr) return false;
  *value = cyc3dTextNumber(eq + 1);
  return true;
}

}  // namespace

int roughReadConfig(const char* path) {
  unitFactor = 1.0;
  GlobalParams& g = *parGlobalBlock();
  if (path != nullptr && parCfgRead(path) != 1) {
    msgSendText(9, kRoughMsgReadFailed, "* Fehler beim lesen der Datei %s", path);
    return -1;
  }
  // The rapid-move and feed-move colour keys are not interpreted.
  // Every length is scaled by 10 / radius: a radius that is not a positive number would scale
  // them all to infinities.
  if (!(g.frradius > 0) || !std::isfinite(10.0 / g.frradius)) {
    msgSendText(9, kCycMsgBadValue, "* Pflichtparameter fehlt", "*FRRADIUS");
    return -1;
  }
  unitFactor = 10.0 / g.frradius;
  roughOptFanDist();
  parScaleUnits(unitFactor);
  g.auflmax = 1.0;
  g.stepMin = 0.01;
  char msgFile[kParTextSize + sizeof kRoughMsgFile + 1];
  pathJoinDirName(msgFile, sizeof msgFile, g.locDir, kRoughMsgFile);
  out3dSetMsgFile(msgFile);
  if (g.report[0] != '\0') out3dSetMsgLevel(g.report, g.reportClass);
  return 0;
}

int roughOptOutsideIn() {
  if (!roughCommentHas("OUTSIDE_IN")) return 0;
  parGlobalBlock()->outsideIn = 1;
  return 1;
}

int roughOptSkipNoCut() {
  if (!roughCommentHas("SKIP_NOCUT")) return 0;
  parGlobalBlock()->skipNocut = 1;
  return 1;
}

int roughOptFanDist() {
  double n = 0;
  if (!roughCommentNumber("FAN_DIST", &n)) return 0;
  parGlobalBlock()->fanDist = n;
  return 1;
}

int roughOptStep() {
  double n = 0;
  if (!roughCommentNumber("STEP", &n)) return 0;
  GlobalParams& g = *parGlobalBlock();
  g.horizustel = n * 2.0 * g.frradius;
  g.bearbeitricht = 3;
  g.axisPocket = 0;
  g.macroTmode = 2;
  g.macroTrad = 2.0 * unitFactor;
  g.macroTswin = 5.0;
  return 1;
}
