// zfin_main.cpp - the Z-level finishing driver: configuration step, set-up, comment options and
// its two tool routines (radial allowance on the tool keys, cutter offset by an allowance). The
// output and engine steps are not part of the library yet; the driver reports that after the
// set-up.
#include "cycles/zfin_main.h"

#include <cmath>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <numbers>

#include "cycles/cyc3d_record.h"
#include "cycles/cycle_result.h"
#include "cycles/rough_standins.h"
#include "framework/global_params.h"
#include "framework/messages.h"
#include "framework/output.h"
#include "framework/path_join.h"
#include "geometry/csys.h"
#include "geometry/cycle_state.h"
#include "geometry/geo_error.h"
#include "model/facet_distance.h"
#include "model/holder_model.h"
#include "model/model_load.h"
#include "output/cyc3d_files.h"
#include "zlevel/proj_bnd.h"
#include "zlevel/spiral.h"

namespace {

constexpr double kDeg = std::numbers::pi / 180.0;
constexpr double kMinModelStep = 0.0001;

struct ZfinState {
  ZfinEngineSettings engine{};
  double safetyHeight = -100000.0;
  double holderClearance = 0.0;
  FinishApproachBlock approach{};
  double precisionFactor = 1.0;
};
ZfinState zfin;

Point3D zfinPoint(const double (&v)[3]) { return {v[0], v[1], v[2]}; }
bool zfinTextEmpty(const char* text) { return text[0] == '\0' || text[0] == ' '; }
void zfinCopyText(char* to, const char* from) {
  std::memmove(to, from, std::strlen(from) + 1);  // both are fields of kParTextSize bytes
}

// The number after the first '=' behind keyword in the comment; false without keyword or '='.
bool zfinCommentNumber(const char* keyword, bool* found, double* value) {
  const char* text = parGlobalBlock()->comment;
  *found = false;
  if (text[0] == '\0') return false;
  const char* at = std::strstr(text, keyword);
  if (at == nullptr) return false;
  *found = true;
  const char* eq = std::strchr(at + std::strlen(keyword), '=');
  if (eq == nullptr) return false;
  *value = cyc3dTextNumber(eq + 1);
  return true;
}

bool zfinCommentHas(const char* keyword) {
  const char* text = parGlobalBlock()->comment;
  return text[0] != '\0' && std::strstr(text, keyword) != nullptr;
}

void zfinLogLine(const char* what) {
  GlobalParams& g = *parGlobalBlock();
  geoSetWorkDir(g.tmpDir);
  char when[64] = "";
  const std::time_t now = std::time(nullptr);
  if (const std::tm* t = std::localtime(&now)) std::strftime(when, sizeof when, "%c", t);
  char line[kParTextSize + 192];
  std::snprintf(line, sizeof line, "%s %s %s\n", what, when, g.approx);
  geoErrLog(line);
}

// Step 6: the engine's tool from the tool keys.
void zfinEngineTool(GlobalParams& g) {
  CutterShape& c = zfin.engine.tool;
  c = CutterShape{};
  c.radius = g.frradius;
  if (g.tipLength < kZfinAllowanceEps) g.tipLength = g.taperHeight;
  c.taperLength = g.tipLength;
  c.shankDiameter = g.shaftDiameter;
  c.bandLength = g.chamferLength;
  c.taperAngle = g.taperAngle;
  c.tapered = 0;
  switch (g.frtyp) {
    case 2:
      c.type = kCutterFlat;
      c.cornerRadius = 0.0;
      break;
    case 3:
      c.type = kCutterTorus;
      c.cornerRadius = g.frbogen;
      break;
    case 12:
    case 13:
      // a tool with a tip diameter: the drop and boundary modules that would take the diameter
      // are not part of the library; the undercut switches are set as for any such tool
      c.type = g.frtyp == 12 ? kCutterBall : kCutterTorus;
      c.cornerRadius = g.frtyp == 12 ? c.radius : g.frbogen;
      if (c.shankDiameter < kZfinAllowanceEps) c.shankDiameter = g.tipDiameter;
      g.xshaftControl = 0;
      g.acceptUndercut = 1;
      g.xcollCheck = 0;
      g.frtyp = g.frtyp == 12 ? 1 : 3;
      break;
    default:
      c.type = kCutterBall;
      c.cornerRadius = c.radius;
      break;
  }
}

// Step 10: approach and retract settings of the engine.
void zfinEngineApproach(GlobalParams& g) {
  ZfinEngineSettings& e = zfin.engine;
  switch (g.macroStart) {
    case 1: e.approachKind = 5; break;
    case 2: e.approachKind = 3; break;
    case 3: e.approachKind = 4; break;
    case 8: e.approachKind = 8; break;
    case 100:
      e.approachKind = 100;
      approachSetMacroFile(g.macroSname);
      break;
    default: break;
  }
  switch (g.macroEnd) {
    case 1: e.retractKind = 5; break;
    case 2: e.retractKind = 3; break;
    case 3: e.retractKind = 4; break;
    case 100:
      e.retractKind = 100;
      approachSetRetractFile(g.macroEname);
      break;
    default: break;
  }
  e.startRadius = g.macroSrad;
  e.endRadius = g.macroErad;
  e.startDistance = g.macroSabst;
  e.endDistance = g.macroEabst;
  const double angles[6] = {g.macroIwin, g.macroAwin,  g.macroSwin,
                            g.macroEwin, g.macroTswin, g.macroTewin};
  for (int i = 0; i < 6; ++i) e.angles[i] = angles[i] * kDeg;
  e.plungeHeight = g.macroTheight;
  e.helixDirection = g.macroTdir;
  e.helixRadius = g.macroTrad;
  e.plungeMode = g.macroTmode;
  e.returnFlag = g.macroReturn == 2 ? 1 : 0;
  if (g.slopeMode != 0) g.spiral = 0;
  if (g.spiral != 0) {
    e.returnFlag = 0;
    g.connectRapid = 0;
  }
  if (e.startRadius <= kZfinAllowanceEps && e.startDistance > kZfinAllowanceEps)
    e.startRadius = 0.1;
  if (e.endRadius <= kZfinAllowanceEps && e.endDistance > kZfinAllowanceEps) e.endRadius = 0.1;
}

// Steps 11 to 13: planes, link mode and link distance.
void zfinEngineLinks(GlobalParams& g) {
  ZfinEngineSettings& e = zfin.engine;
  e.clearanceDistance = g.sichdist;
  e.clearancePlane = g.sichebene;
  e.stepMin = g.stepMin;
  e.stepMax = g.stepMax;
  e.rapidMode = g.zustEilgang == 0 && g.checkPlane != 0 ? 2 : g.zustEilgang;
  e.planeCheck = g.checkPlane != 0 && g.checkStartpt != 0 ? 2 : g.checkPlane;
  if (g.lauf == 1 && g.macroReturn == 1) g.connectSmooth = 0;
  e.linkMode = g.connectRapid != 0 ? 0 : (g.connectSmooth != 0 ? 2 : 1);
  if (g.zustellOk != 0) {
    if (e.linkMode == 0 && g.plungeOnce == 0) e.linkMode = 1;
  } else {
    g.endIsPlunge = 0;
  }
  g.finishPass = 2;
  if (g.spiral != 0) g.lauf = 1;
  if (std::fabs(g.ruppMaxdist) > kZfinAllowanceEps) {
    if (g.ruppMaxdist < g.vertzustel + kZfinAllowanceEps) {
      e.linkMode = 0;
    } else {
      e.linkDistance = g.ruppMaxdist;
    }
  } else {
    g.ruppMaxdist = 4.0 * g.vertzustel;
    e.linkDistance = std::fmin(g.ruppMaxdist, 3.0 * g.frradius);
    if (g.acceptUndercut != 0) e.linkDistance *= 2.0;
    if (g.zustellOk != 0) e.linkDistance = std::fmax(e.linkDistance, 2.0 * e.startRadius);
  }
  if (g.spiral != 0) e.linkDistance = std::fmax(e.linkDistance, 2.0 * g.vertzustel);
  g.bearbeitricht = 1;
}

// Steps 14 to 17: holder check, tool assembly and the model's step limits.
void zfinEngineAssembly(GlobalParams& g) {
  ZfinEngineSettings& e = zfin.engine;
  e.holderCheck = g.holdcheck;
  e.holderCheckMode = g.holdcheckMode;
  zfin.holderClearance = 2.0 * g.frradius * g.holdcheckClearfactor;
  if (std::fabs(g.wcollHtol) < kZfinAllowanceEps && g.acceptUndercut != 0) g.wcollHtol = 0.1;
  if (g.wcollHtol >= kZfinAllowanceEps) toolAssemblySetClearance(g.wcollHtol);
  if (g.acceptUndercut != 0) {
    toolAssemblySetNoMinDiameter(1);
    holderSetExtension(1, g.tipDiameter, g.precision);
  }
  double clearance = 0.1;
  if (g.wcollHtol < kZfinAllowanceEps) {
    toolAssemblySetNoClearance(1);
    clearance = 0.0;
  }
  holderSetFacetTolerances(g.holder3dfTol, g.head3dfTol);
  if (g.toolContour[0] != '\0') {
    if (g.holder3df[0] == '\0') zfinCopyText(g.holder3df, g.approx);
    if (g.head3df[0] == '\0') zfinCopyText(g.head3df, g.approx);
  }
  toolAssemblyInit(&e.assembly, &e.tool, clearance, g.length1, g.length2, g.totalToolLength,
                   g.diameter1, g.diameter2);
  toolAssemblySetHolder(&e.assembly, clearance, g.diameter3, g.length3, g.diameter4, g.length4);
  e.modelMaxStep = g.auflmax;
  e.modelMinStep = g.auflmin;
  e.boundaryMode = g.boundMode;
  if (e.modelMinStep < kMinModelStep) {
    e.modelMinStep = kMinModelStep;
    msgSendReal(9, kZfinMsgMinStep, "* Minimale Berechnungs-Schrittweite korrigiert auf %3.5f",
                e.modelMinStep / unitFactor);
  }
  if (e.modelMaxStep < e.modelMinStep) {
    e.modelMaxStep = e.modelMinStep;
    msgSendReal(9, kZfinMsgMaxStep, "* Maximale Berechnungs-Schrittweite korrigiert auf %3.5f",
                e.modelMaxStep);
  }
}

// Step 18: the boundary strategy. Returns 1, or -1 when the Z boundary cannot be computed.
int zfinBoundaryStrategy(GlobalParams& g) {
  ZfinEngineSettings& e = zfin.engine;
  if (g.boundStrategy == 1) {
    if (g.gridFactor > 0.1) g.gridFactor = 0.1;
    char path[kParTextSize];
    if (cyc3dJoinPath(path, sizeof path, g.tmpDir, "bound.bnd") == 1)
      zfinCopyText(g.boundary, path);
    // The Z boundary comes from an external library that this library does not load.
    return roughStandInZBoundary();
  }
  if (g.clip3df[0] != '\0') {
    e.boundaryFlag = 1;
    if (g.multiPoly == 0) modelSetIgnoreGroupAllowance(1);
    g.multiPoly = 1;
  }
  return 1;
}

// Steps 19 to 22: model file, step modes, spiral and undercut rules, the link curve length.
void zfinPassRules(GlobalParams& g) {
  ZfinEngineSettings& e = zfin.engine;
  if (zfinTextEmpty(g.approx)) {
    msgSendInt(9, kZfinMsgNoModel, "* Fehler: Keine Polyederdatei angegeben", 0);
  }
  if (g.boundary[0] == '\0') e.boundaryFlag = 0;
  if (g.zplanes == 0) {
    if (g.stepMode > 0) g.stepMode = 0;
  } else if (g.stepMode == 2) {
    g.skipLastPlane = 0;
  } else if (g.stepMode == 3) {
    g.skipLastPlane = 1;
    g.spiral = 0;
  }
  if (g.slopeMode != 0) g.spiral = 0;
  if (g.spiral != 0) {
    e.returnFlag = 0;
    g.connectRapid = 0;
    g.generateArcs = 0;
    g.lauf = 1;
  }
  if (g.lauf == 2) {
    e.linkMode = g.connectSmooth != 0 ? 2 : 1;
    g.clipSort = 2;
    g.stepStrategy = 0;
  }
  if (g.xcollCheck != 0 || (g.spiral != 0 && g.spiralSide == 0)) g.acceptUndercut = 0;
  roughStandInLinkCurveLength(g.lauf == 1 ? 3.0 * g.macroSrad + g.vertzustel : g.vertzustel);
}

// Steps 25 and 26: the Z-optimised mode.
void zfinZoptRules(GlobalParams& g) {
  ZfinEngineSettings& e = zfin.engine;
  if (g.zoptMode != 0 && g.zcondition > 0) {
    approachSetRampFlag(1);
    g.zoptMode = 0;
    g.slopeMode = 1;
    if (std::fabs(g.connectFactor) >= kZfinAllowanceEps) {
      g.spiralAuto = 1;
      g.macroReturn = 0;
      e.returnFlag = 0;
    } else {
      e.returnFlag = 1;
      g.macroReturn = 2;
    }
    if (g.steepStrategy == 0) {
      g.lauf = 2;
      g.spiralAuto = 0;
      g.macroReturn = 1;
      e.returnFlag = 1;
    }
    zfinApproachParams(&zfin.approach);
  }
  if (g.zoptMode != 0) {
    g.slopeMode = 0;
    g.stepStrategy = 0;
    g.oberfl += g.vertzustel;
  }
}

}  // namespace

const ZfinEngineSettings* zfinEngine() { return &zfin.engine; }
double zfinSafetyHeight() { return zfin.safetyHeight; }
double zfinHolderClearance() { return zfin.holderClearance; }
const FinishApproachBlock* zfinApproachBlock() { return &zfin.approach; }
double zfinPrecisionFactor() { return zfin.precisionFactor; }
void zfinResetState() { zfin = ZfinState{}; }

int zfinMain(const char* cfgPath) {
  const int read = zfinReadConfig(cfgPath);
  if (read == -1) {
    std::printf("* Error: Could not find CFG file %s \n", cfgPath != nullptr ? cfgPath : "");
    return -1;
  }
  if (read < 0) return -2;
  GlobalParams& g = *parGlobalBlock();
  if (g.avoidStrategy == 1) {
    g.smooth5ax = 0;
  } else if (g.avoidStrategy != 0) {
    g.smooth5ax = 1;
  }
  zfinLogLine("\nStarte rszfin");
  if (std::fabs(g.aufmassHori) >= kZfinAllowanceEps) zfinApplyRadialAllowance();
  if (zfinInit() < 0) return -2;
  return roughStandInFinishDriver();
}

int zfinReadConfig(const char* path) {
  unitFactor = 1.0;
  GlobalParams& g = *parGlobalBlock();
  if (path != nullptr && parCfgRead(path) != 1) {
    std::printf("CFG File %s not found\n", path);
    return -1;
  }
  zfinOptFillet();
  zfinOptSlope();
  if (g.extraCount > 0) {
    if (zfinFacetExtraModel(g.extraQdx, g.extra3df, g.extraTol) < 0) g.extraCount = 0;
  } else if (!zfinTextEmpty(g.extra3df)) {
    g.extraCount = 1;
  }
  if (g.bndProject != 0) {
    msgSendInt(9, kZfinMsgStartBoundary, "* Start create boundary", 0);
    char name[kProjBndNameMax];
    zfinCopyText(name, g.boundary);
    const Point3D dir{g.bndZvec[0], g.bndZvec[1], g.bndZvec[2]};
    const int r = projBndCreate(name, g.approx, g.clip3df, g.extra3df, g.tmpDir,
                                static_cast<int>(g.extraCount), g.multiPoly, dir, g.frradius);
    msgSendInt(9, kZfinMsgEndBoundary, "* End create boundary", 0);
    if (r != 1 || std::strlen(name) >= sizeof g.boundary) return -2;
    zfinCopyText(g.boundary, name);
  }
  // Every length is scaled by 10 / radius: a radius that is not a positive number would scale
  // them all to infinities.
  if (!(g.frradius > 0) || !std::isfinite(10.0 / g.frradius)) {
    msgSendText(9, kCycMsgBadValue, "* Pflichtparameter fehlt", "*FRRADIUS");
    return -2;
  }
  unitFactor = 10.0 / g.frradius;
  g.auflmax = 1.0;
  g.stepMin = 0.01;
  char msgFile[kParTextSize + sizeof kZfinMsgFile + 1];
  pathJoinDirName(msgFile, sizeof msgFile, g.locDir, kZfinMsgFile);
  out3dSetMsgFile(msgFile);
  zfin.precisionFactor = g.precision < 0.008 && g.frradius < 3.0 && g.inchMode == 0 ? 5.0 : 1.0;
  unitFactor *= zfin.precisionFactor;
  if (g.scaleUp > 1.0) unitFactor *= g.scaleUp;
  if (g.zcondition > 0) g.clipSort = 2;
  parScaleUnits(unitFactor);
  g.precision *= zfin.precisionFactor;
  if (g.macroStart == 8) {
    g.macroSrad /= unitFactor;
    g.macroTswin = g.macroSrad;
  }
  if (g.report[0] != '\0') out3dSetMsgLevel(g.report, g.reportClass);
  if (g.zustellArt == 2) {
    double r = 0.0;
    if (g.frtyp == 1 || g.frtyp == 12) {
      r = g.frradius;
    } else if (g.frtyp == 3) {
      r = g.frbogen;
    } else {
      g.zustellArt = 1;
    }
    if (g.zustellArt == 2) g.vertzustel = modelStepWidth(r, g.scalHeight);
  }
  return 0;
}

int zfinInit() {
  GlobalParams& g = *parGlobalBlock();
  ZfinEngineSettings& e = zfin.engine;
  g.wcoll = 1;
  e.stepLimitMin = 0.005;
  e.stepLimitMax = 1.0;
  e.boundaryFlag = 1;
  g.clearAngle *= kDeg;
  if (g.xshaftControl == 0) {
    g.acceptUndercut = 1;
    g.xcollCheck = 0;
  }
  if (g.frtyp != 1) g.backdraft = 0;
  if (g.backdraft != 0) {
    g.spiral = 0;
    g.xcollCheck = 0;
  }
  g.auflmax = 1.0;
  g.auflmin = 0.8 * g.precision;
  g.stepMin = parUnscaledPrecision() * unitFactor;
  if (unitFactor > 10.0) g.stepMin *= 0.2;
  g.collTolerance = 0.01 * g.frradius;
  csysSetFrame(zfinPoint(g.nckoO), zfinPoint(g.nckoX), zfinPoint(g.nckoY), zfinPoint(g.nckoZ));
  csysSetTool(zfinPoint(g.wzkoO), zfinPoint(g.wzkoX), zfinPoint(g.wzkoY), zfinPoint(g.wzkoZ));
  g.bearbeitricht = 0;
  if (csysPrepare() < 0) {
    msgSendInt(9, kZfinMsgCsysInit, "* Fehler beim Initialisieren von NC/Tool-System", 0);
    msgSendInt(9, kZfinMsgCsysIgnored, "* NC/Tool-System kann nicht beruecksichtigt werden", 0);
  }
  if (zfin.safetyHeight < -99999.99999) zfin.safetyHeight = g.sichebene;
  if (g.tmpDir[0] == ' ') g.tmpDir[0] = '\0';
  zfinEngineTool(g);
  if (g.acceptUndercut != 0 && g.spiral != 0) g.spiralSide = 1;
  if (g.acceptUndercut != 0 && g.spiralSide != 0) {
    g.spiral = 1;
    spiralSetToolCheck(1);
  }
  if (g.frtyp == 1 || g.frtyp == 3) {
    if (g.toolTip == 1) msgSendInt(2, kZfinMsgTipOutput, "* APT Ausgabe fuer Werkzeugspitze", 0);
    if (g.toolTip == 2) {
      msgSendInt(2, kZfinMsgCentreOutput, "* APT Ausgabe fuer Werkzeugmittelpunkt", 0);
    }
  }
  zfinToolAddAllowance(&e.tool, g.aufmass, g.toolTip);
  zfinEngineApproach(g);
  zfinEngineLinks(g);
  zfinEngineAssembly(g);
  if (zfinBoundaryStrategy(g) < 0) return -1;
  zfinPassRules(g);
  zfinOptUndercut();
  zfinOptBackdraft();
  if (g.toolContour[0] != '\0') {
    zfinCopyText(g.holderQdx, g.toolContour);
    zfinCopyText(g.headQdx, g.toolContour);
  }
  zfinZoptRules(g);
  return 1;
}

int zfinOptBackdraft() {
  if (!zfinCommentHas("BACKDRAFT")) return 0;
  parGlobalBlock()->backdraft = 1;
  return 1;
}

int zfinOptUndercut() {
  if (!zfinCommentHas("UNDERCUT")) return 0;
  GlobalParams& g = *parGlobalBlock();
  g.xcollCheck = 0;
  g.acceptUndercut = 1;
  return 1;
}

int zfinOptFillet() {
  bool found = false;
  double r = 0.0;
  const bool number = zfinCommentNumber("FILLET", &found, &r);
  if (!found) return 0;
  GlobalParams& g = *parGlobalBlock();
  g.filletCorners = 1;
  if (!number) return 0;
  g.filletRadius = r * unitFactor;
  return 1;
}

int zfinOptSlope() {
  bool found = false;
  double a = 0.0;
  if (!zfinCommentNumber("SLOPE", &found, &a)) return 0;
  GlobalParams& g = *parGlobalBlock();
  g.slopeAngle = a;
  g.slopeMode = 1;
  return 1;
}

int zfinFacetExtraModel(const char* file, char* out, double tolerance) {
  const GlobalParams& g = *parGlobalBlock();
  if (cyc3dJoinPath(out, kParTextSize, g.tmpDir, "extra.3df") != 1) return -1;
  return roughStandInFacetConvert(g.dllDir, file, out, tolerance) != 0 ? -1 : 1;
}

void zfinApproachParams(FinishApproachBlock* block) {
  if (block == nullptr) return;
  const GlobalParams& g = *parGlobalBlock();
  approachClearParams(block);
  block->approachKind = 1;
  block->retractKind = 1;
  block->flag1 = g.macroSsmooth;
  block->flag2 = g.macroEsmooth;
  block->values[0] = g.macroSclearSide;
  block->values[1] = g.macroSclearAxial;
  block->values[2] = g.macroSliftMax;
  block->values[3] = g.macroEclearSide;
  block->values[4] = g.macroEclearAxial;
  block->values[5] = g.macroEliftMax;
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
