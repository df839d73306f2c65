// zfin_main.cpp - the Z-level finishing driver: its two tool routines (radial allowance on the
// tool keys, cutter offset by an allowance) and the stand-in of the driver itself, which reports
// that it is missing.
#include "cycles/zfin_main.h"

#include <cmath>

#include "cycles/cycle_result.h"
#include "framework/global_params.h"
#include "framework/messages.h"

int zfinMain(const char* /*cfgPath*/) {
  msgSendText(9, kCycMsgNotRealised, "* Funktion noch nicht realisiert", "zfinMain");
  return -1;
}

void zfinApplyRadialAllowance() {
  GlobalParams& g = *parGlobalBlock();
  const std::int16_t type = g.frtyp;
  if (type == 1 || type == 12) {
    g.frbogen = g.frradius;
  } else if (type == 2) {
    g.frbogen = 0.0;
  }
  g.frradius += g.aufmassHori;
  g.shaftDiameter += 2.0 * g.aufmassHori;
  if (g.frbogen - kZfinAllowanceEps > g.frradius) {
    msgSendInt(9, kZfinMsgRadialCorrected, "* Warning: allowance + tool radius < 0, corrected to 0",
               0);
    g.frradius = g.frbogen;
  }
  const bool family = type == 12 || type == 13;
  if (std::fabs(g.frbogen) < kZfinAllowanceEps) {
    g.frtyp = family ? 13 : 2;
  } else if (std::fabs(g.frbogen - g.frradius) < kZfinAllowanceEps) {
    g.frtyp = family ? 12 : 1;
  } else {
    g.frtyp = family ? 13 : 3;
  }
}

void zfinToolAddAllowance(CutterShape* cutter, double allowance, std::int16_t tipMode) {
  if (cutter == nullptr) return;
  const double r0 = cutter->radius;
  const double c0 = cutter->cornerRadius;
  const double a = allowance;
  const bool tip = tipMode == 1;
  switch (cutter->type) {
    case kCutterBall:
      cutter->radius = r0 + a;
      cutter->cornerRadius = cutter->radius;
      cutter->zOffset = tip ? r0 : 0.0;
      break;
    case kCutterFlat:
      cutter->radius = r0 + a;
      if (a > kZfinAllowanceEps) {
        cutter->type = kCutterTorus;
        cutter->cornerRadius = a;
        cutter->zOffset = 0.0;
      } else {
        cutter->cornerRadius = 0.0;
        cutter->zOffset = -a;
      }
      break;
    case kCutterTorus:
      cutter->radius = r0 + a;
      if (c0 + a > kZfinAllowanceEps) {
        cutter->cornerRadius = c0 + a;
        cutter->zOffset = tip ? c0 : 0.0;
      } else {
        cutter->type = kCutterFlat;
        cutter->cornerRadius = 0.0;
        cutter->zOffset = tip ? -a : -c0 - a;
      }
      break;
    default: break;
  }
  cutter->shankDiameter += 2.0 * a;
  if (cutter->type == kCutterTorus) {
    cutter->taperLength = std::fmax(0.0, cutter->taperLength - cutter->cornerRadius);
  } else if (cutter->type == kCutterBall) {
    cutter->taperLength = std::fmax(0.0, cutter->taperLength - cutter->radius);
  }
  if (cutter->type == kCutterTorus && cutter->radius < cutter->cornerRadius - kZfinAllowanceEps) {
    msgSendInt(9, kZfinMsgCornerTooLarge, "* Fehler: Eckenradius groesser als Schaftradius", 0);
    cutter->radius = cutter->cornerRadius;
  }
  if (cutter->radius < -kZfinAllowanceEps) {
    msgSendInt(9, kZfinMsgRadiusNegative, "* Aufmass + Radius < 0, korrigiert auf 0", 0);
    cutter->radius = 0.0;
  }
}
