// rough_setup.cpp - the roughing's parameter set-up: corrections of the scaled parameters, the
// coordinate systems, the cutter with its allowance, the tool assembly, the holder, contact and
// five-axis settings, the run's MachiningParams, its model steps and its technology record.
#include "cycles/rough_setup.h"

#include <cmath>
#include <cstring>
#include <numbers>

#include "cycles/approach_macro.h"
#include "cycles/cycle_stubs.h"
#include "cycles/rough_config.h"
#include "cycles/rough_standins.h"
#include "cycles/stock_model.h"
#include "cycles/zfin_main.h"
#include "framework/global_params.h"
#include "framework/messages.h"
#include "geometry/csys.h"
#include "geometry/cycle_state.h"
#include "geometry/tool_axis.h"
#include "model/holder_model.h"
#include "model/mesh_load.h"
#include "model/tool_assembly.h"
#include "output/cyc3d_files.h"
#include "output/out3d_state.h"

namespace {

constexpr double kSetupEps = 0.00001;
constexpr double kDegToRad = std::numbers::pi / 180.0;
constexpr double kMinModelStep = 0.0001;

// The run's cutter at load: a flat end mill of radius 5.
CutterShape setupCutterAtLoad() {
  CutterShape c{};
  c.type = kCutterFlat;
  c.radius = 5.0;
  return c;
}

struct SetupState {
  MachiningParams params;
  CutterShape cutter = setupCutterAtLoad();
  RoughRunModel model{};
  TechnologyRecord technology;
};
SetupState setup;

void setupModelAtLoad() {
  std::memset(&setup.model, 0, sizeof setup.model);
  setup.model.model.facetType = 3;
  setup.model.model.cutter = &setup.cutter;
  // The drop range is open: a floor at 0 raised every drop below z 0 to 0, so the drop grid saw
  // ground at 0 under a part lying below it and every level there found no free cell.
  setup.model.model.floorZ = -1e300;
  setup.model.model.ceilingZ = 1e300;
  // The profile-drop defaults of the roughing's model: unit sampling step, 0.005 tolerance,
  // candidate pieces of length 20, drops kept inside the boundary.
  setup.model.model.step = 1.0;
  setup.model.model.tolerance = 0.005;
  setup.model.model.candidateLength = 20.0;
  setup.model.model.restrictToBoundary = 1;
  setup.model.minStep = 0.005;
  setup.model.maxStep = 1.0;
  setup.model.boundaryGiven = 1;
}

struct SetupAtLoad {
  SetupAtLoad() { setupModelAtLoad(); }
};
const SetupAtLoad setupAtLoad;

Point3D setupPoint(const double (&v)[3]) { return {v[0], v[1], v[2]}; }

bool setupTextEmpty(const char* text) { return text[0] == '\0' || text[0] == ' '; }

void setupCopyText(char* to, const char* from) {
  std::memmove(to, from, std::strlen(from) + 1);  // both are fields of kParTextSize bytes
}

// Step 12 (and 26): an unset start point height becomes the clearance plane.
void setupStartHeight(GlobalParams& g) {
  if (g.startpt[2] < -99999.99999) g.startpt[2] = g.sichebene;
}

void setupCoordinateSystems(GlobalParams& g) {
  csysSetFrame(setupPoint(g.nckoO), setupPoint(g.nckoX), setupPoint(g.nckoY), setupPoint(g.nckoZ));
  csysSetTool(setupPoint(g.wzkoO), setupPoint(g.wzkoX), setupPoint(g.wzkoY), setupPoint(g.wzkoZ));
  if ((g.axisPocket != 0 && g.bearbeitricht == 1) || (g.axisPocket == 0 && g.bearbeitricht == 2)) {
    csysRotateTool90();
  }
  if (std::fabs(g.clearAngle) >= kSetupEps) csysRotateTool(g.clearAngle);
  if (g.useOrig != 0) {
    csysSetOrig(setupPoint(g.origO), setupPoint(g.origX), setupPoint(g.origY), setupPoint(g.origZ));
  }
  if (csysPrepare() < 0) {
    msgSendInt(9, kRoughMsgCsysInit, "* Fehler beim Initialisieren von NC/Tool-System", 0);
    msgSendInt(9, kRoughMsgCsysIgnored, "* NC/Tool-System kann nicht beruecksichtigt werden", 0);
  }
  if (g.useOrig != 0) {
    csysPrepareOrig();
    axisSetFrameTiltLimit(1);
  }
}

void setupCutter(GlobalParams& g) {
  CutterShape& c = setup.cutter;
  c.radius = g.frradius;
  if (g.tipLength < kSetupEps) g.tipLength = g.taperHeight;
  c.taperLength = g.tipLength;
  c.shankDiameter = g.shaftDiameter;
  c.bandLength = g.chamferLength;
  c.taperAngle = g.taperAngle;
  c.tapered = std::fabs(g.taperAngle) >= kSetupEps ? 1 : 0;
  c.zOffset = 0.0;
  if (g.frtyp == 2) {
    c.type = kCutterFlat;
    c.cornerRadius = 0.0;
  } else if (g.frtyp == 3) {
    c.type = kCutterTorus;
    c.cornerRadius = g.frbogen;
  } else {
    c.type = kCutterBall;
    c.cornerRadius = c.radius;
  }
  if (g.frtyp == 1 || g.frtyp == 3) {
    if (g.toolTip == 1) msgSendInt(2, kRoughMsgTipOutput, "* APT Ausgabe fuer Werkzeugspitze", 0);
    if (g.toolTip == 2) {
      msgSendInt(2, kRoughMsgCentreOutput, "* APT Ausgabe fuer Werkzeugmittelpunkt", 0);
    }
  }
  zfinToolAddAllowance(&c, g.aufmass, g.toolTip);
}

void setupApproach(GlobalParams& g) {
  ApproachParams& a = setup.params.approach;
  switch (g.macroStart) {
    case 1: a.approachKind = kApproachVertical; break;
    case 2: a.approachKind = kApproachArc; break;
    case 3: a.approachKind = kApproachOther; break;
    case 8: a.approachKind = kApproachRamp; break;
    case 100:
      a.approachKind = kApproachMacroFile;
      approachSetMacroFile(g.macroSname);
      break;
    default: break;
  }
  switch (g.macroEnd) {
    case 1: a.retractKind = kApproachVertical; break;
    case 2: a.retractKind = kApproachArc; break;
    case 3: a.retractKind = kApproachOther; break;
    case 100:
      a.retractKind = kApproachMacroFile;
      approachSetRetractFile(g.macroEname);
      break;
    default: break;
  }
  a.approachLength = g.macroSrad;
  a.retractLength = g.macroErad;
  a.approachShift = g.macroSabst;
  a.retractShift = g.macroEabst;
  a.stepAngle = g.macroIwin * kDegToRad;
  a.endAngle = g.macroAwin * kDegToRad;
  a.approachTurn = g.macroSwin * kDegToRad;
  a.retractTurn = g.macroEwin * kDegToRad;
  a.approachIncline = g.macroTswin * kDegToRad;
  a.retractIncline = g.macroTewin * kDegToRad;
  a.plungeHeight = g.macroTheight;
  a.helixDirection = g.macroTdir;
  a.helixRadius = g.macroTrad;
  a.plungeMode = g.macroTmode;
  a.returnFlag = g.macroReturn == 2 ? 1 : 0;
}

void setupPlanesAndStayDown(GlobalParams& g) {
  MachiningParams& p = setup.params;
  p.clearanceDistance = g.sichdist;
  p.clearancePlane = g.sichebene;
  p.minStep = g.stepMin;
  p.maxStep = g.stepMax;
  p.rapidInfeed = g.zustEilgang;
  p.stayDown = 0;
  if (g.zustEilgang > 0) p.clearanceDistance += setup.cutter.cornerRadius;
  if (g.finishPass == 2) {
    if (g.macroReturn == 1) p.stayDown = 1;
    if (std::fabs(g.ruppMaxdist) <= kSetupEps) {
      g.ruppMaxdist = 4.0 * g.zigzagFactor * g.vertzustel;
      p.stayDownDistance = std::fmin(g.ruppMaxdist, 2.0 * g.frradius);
    } else if (g.ruppMaxdist - kSetupEps < g.vertzustel) {
      p.stayDown = 0;
    } else {
      p.stayDownDistance = g.ruppMaxdist;
    }
    g.bearbeitricht = 1;
  }
  if (g.stockMode == 0 && g.bearbeitricht == 3) {
    p.approach.approachLength = 0.0;
    p.approach.retractLength = 0.0;
  }
}

void setupHolderAndTool(GlobalParams& g) {
  g.wcoll = 0;
  roughStandInHolderAvoidFlag(1);
  if (g.toolContour[0] != '\0') {
    setupCopyText(g.holderQdx, g.toolContour);
    setupCopyText(g.headQdx, g.toolContour);
  }
  if (g.holder3df[0] == '\0') setupCopyText(g.holder3df, g.approx);
  if (g.head3df[0] == '\0') setupCopyText(g.head3df, g.approx);
  if (g.head3df[0] != '\0' || (g.avoidExact == 0 && g.holder3df[0] != '\0')) g.wcoll = 1;
  double allowance = g.aufmass;
  if (g.wcoll != 0) {
    if (std::fabs(g.wcollHtol) >= kSetupEps) toolAssemblySetClearance(g.wcollHtol);
    toolAssemblySetNoClearance(1);
    holderSetExtension(1, 0.0, g.precision);
    allowance = 0.0;
  }
  ToolAssembly* tool = &setup.params.tool;
  toolAssemblyInit(tool, &setup.cutter, allowance, g.length1, g.length2, g.totalToolLength,
                   g.diameter1, g.diameter2);
  toolAssemblySetHolder(tool, allowance, g.diameter3, g.length3, g.diameter4, g.length4);
}

void setupModelSteps(GlobalParams& g) {
  RoughRunModel& m = setup.model;
  m.maxStep = g.auflmax;
  m.minStep = g.auflmin;
  m.boundaryMode = g.boundMode;
  if (m.minStep < kMinModelStep) {
    m.minStep = kMinModelStep;
    msgSendReal(9, kRoughMsgMinStep, "* Minimale Berechnungs-Schrittweite korrigiert auf %3.5f",
                kMinModelStep / unitFactor);
  }
  if (m.maxStep < m.minStep) {
    m.maxStep = m.minStep;
    msgSendReal(9, kRoughMsgMaxStep, "* Maximale Berechnungs-Schrittweite korrigiert auf %3.5f",
                m.maxStep / unitFactor);
  }
}

void setupTilt(GlobalParams& g) {
  MachiningParams& p = setup.params;
  if (g.tiltAngle < kRoughMinTiltAngle) {
    g.tiltAngle = kRoughDefaultTiltAngle;
    msgSendReal(9, kRoughMsgTiltAngle, "* Tilt Angle changed to %f", g.tiltAngle);
    roughStandInAvoidTryVertical(1);
  }
  if (g.tiltStrategy == 12) {
    if (std::fabs(g.autoCrange) < kSetupEps) {
      const double f = std::fabs(90.0 - g.tiltAngle) / 90.0;
      g.autoCrange = f * g.autoCrange0 + (1.0 - f) * g.autoCrange90;
    }
    roughStandInAutoCRange(g.autoCrange);
    g.crangeNeg = std::fmin(g.crangeNeg, 0.5 * g.autoCrange);
    g.crangePos = std::fmin(g.crangePos, 0.5 * g.autoCrange);
  }
  p.tiltAngle = g.tiltAngle * kDegToRad;
  p.maxTilt = g.tiltMax * kDegToRad;
  p.coneAngle = g.coneAngle * kDegToRad;
  p.holderCheck5x = g.collCheck5ax;
  p.avoidCollisions = g.avoidColl;
  p.tiltMode = g.tiltStrategy;
  p.axisChangeCos = std::cos(g.stepWin * kDegToRad);
  p.axisSmoothing = g.smooth5ax;
  p.axisCompareTol = g.smooth5ax != 0 ? 0.1 : g.compAxval;
  p.smoothInterval = g.sinterval;
  p.avoidStrategy = g.avoidStrategy;
  p.avoidMode = g.avoidMode;
  p.cRangePos = g.crangePos * kDegToRad;
  p.cRangeNeg = g.crangeNeg * kDegToRad;
  if (g.brange < 0) {
    g.brange = 0.0;
  } else if (std::fabs(g.brange) < kSetupEps) {
    if (p.avoidStrategy == 3 || p.avoidStrategy == 4) p.avoidStrategy = 2;
  } else {
    roughStandInAvoidBRange(g.brange * kDegToRad);
  }
  if (g.segOpt != 0) {
    roughStandInSegmentTilt(p.tiltAngle);
    g.force5x = 1;
  }
  roughStandInPivotSmoothing(g.pivotSmooth, g.pivotHeight, g.pvalue);
}

void setupPassKeys(GlobalParams& g) {
  if (g.finishPass == 2 && g.stepMode > 0) g.stepMode = 0;
  if (g.slopeMode != 0) g.spiral = 0;
  if (!(g.finishPass == 2 && g.slopeMode == 0 && g.spiral == 0)) g.lauf = 1;
  if (g.xcollCheck != 0 || g.spiral != 0) g.acceptUndercut = 0;
  if (g.extraCount > 0) {
    if (roughFacetExtraModel(g.extraQdx, g.extraTol, g.extra3df) != 1) g.extraCount = 0;
  } else if (!setupTextEmpty(g.extra3df)) {
    g.extraCount = 1;
  }
  roughStandInLinkCurveLength(g.vertzustel);
  MachiningParams& p = setup.params;
  if (g.segOpt != 0) out3dSetAxisReducedFeed(1);
  p.segmentOpt = g.segOpt;
  p.segmentRadius = g.segRadius;
  p.segmentAngle = g.segAngle;
  p.segmentHeight = g.segHeight;
  roughOptSkipNoCut();
  if (g.skipNocut != 0) stockSetSkipNoCutFlags(1);
  if (std::fabs(g.tipDiameter) < kSetupEps) g.tipDiameter = 2.0 * setup.cutter.radius;
  roughStandInHolderTipDiameter(g.tipDiameter);
  if (g.avoidExact != 0) {
    if (std::fabs(g.tipDiameter) < kSetupEps) g.tipDiameter = 2.0 * g.frradius;
    roughStandInHolderTipDiameter(g.tipDiameter - 2.0 * setup.model.minStep);
    roughStandInHolderAvoidModel(&setup.model.model, 1);
  }
}

void setupLinkFields(const GlobalParams& g) {
  MachiningParams& p = setup.params;
  if (g.checkPlane >= 0) p.checkPlane = g.checkPlane;
  if (g.checkZlift >= 0) p.checkZLift = g.checkZlift;
  if (g.rapidLogic >= 0) p.rapidLogic = g.rapidLogic;
  if (g.maxPlaneAngle > -kSetupEps) p.maxPlaneAngle = g.maxPlaneAngle;
  if (g.maxDistAngle > -kSetupEps) p.maxDistAngle = g.maxDistAngle;
  if (g.clearMovement >= 0) p.clearMovement = g.clearMovement;
  if (g.clearFeedrate > -kSetupEps) p.clearFeed = g.clearFeedrate;
  if (g.maxClearDist > -kSetupEps) p.maxClearDist = g.maxClearDist;
  holderSetFacetTolerances(g.holder3dfTol, g.head3dfTol);
  roughStandInIpolAngle(setup.model.model.facetType, g.ipolAngle, g.ipolCheck);
  holderSetForceTaper(g.thickShaft);
}

}  // namespace

MachiningParams* roughMachiningParams() { return &setup.params; }
CutterShape* roughCutterShape() { return &setup.cutter; }
RoughRunModel* roughRunModel() { return &setup.model; }
const TechnologyRecord* roughTechnology() { return &setup.technology; }

void roughSetupResetState() {
  setup.params = MachiningParams{};
  setup.cutter = setupCutterAtLoad();
  setup.technology = TechnologyRecord{};
  setupModelAtLoad();
}

void roughSetupParams() {
  GlobalParams& g = *parGlobalBlock();
  setup.model.minStep = 0.005;
  setup.model.maxStep = 1.0;
  setup.model.boundaryGiven = 1;
  g.macroTdir = static_cast<std::int16_t>(3 - g.seite);
  g.auflmax = 1.0;
  g.auflmin = 0.8 * g.precision;
  g.stepMin = 0.5 * g.precision;
  if (g.bearbeitricht == 1 || g.bearbeitricht == 2) g.axisPocket = 1;
  g.collTolerance = 0.01 * g.frradius;
  if (parUnscaledPrecision() > 0) {
    if (1.1 * g.precision > g.collTolerance) g.collTolerance = 1.1 * g.precision;
    cyc3dSetZSnap(parUnscaledPrecision());
  }
  setupCoordinateSystems(g);
  setupStartHeight(g);
  if (g.tmpDir[0] == ' ') g.tmpDir[0] = '\0';
  setupCutter(g);
  if (g.horizustel < 0.1) {
    g.horizustel = 0.1;
    msgSendInt(9, kRoughMsgStepoverSmall, "* Horizontale Zustellung zu klein angegeben", 0);
  }
  setupApproach(g);
  setupPlanesAndStayDown(g);
  setupHolderAndTool(g);
  setupModelSteps(g);
  setupStartHeight(g);
  if (setupTextEmpty(g.approx)) {
    msgSendInt(9, kRoughMsgNoModel, "* Fehler: Keine Polyederdatei angegeben", 0);
  }
  if (g.boundary[0] == '\0') setup.model.boundaryGiven = 0;
  setupTilt(g);
  setupPassKeys(g);
  setupLinkFields(g);
  roughCopyOutputParams();
}

void roughCopyOutputParams() {
  const GlobalParams& g = *parGlobalBlock();
  TechnologyRecord& t = setup.technology;
  t.toolNumber = g.wkznummer;
  t.toolTip = g.toolTip;
  t.toolKind = g.frtyp;
  t.toolLength = g.frlaenge;
  t.toolRadius = g.frradius;
  t.cornerRadius = g.frbogen;
  t.feed = g.xvorschub;
  t.plungeFeed = g.zvorschub;
  t.spindleSpeed = g.drehzahl;
  t.spindleDirection = g.drehricht;
  t.coolant = g.kuehlmittel;
  t.clearanceDistance = g.sichdist;
  t.clearancePlane = g.sichebene;
  t.ncOrigin = setupPoint(g.nckoO);
  t.ncX = setupPoint(g.nckoX);
  t.ncY = setupPoint(g.nckoY);
  t.ncZ = setupPoint(g.nckoZ);
  t.toolOrigin = setupPoint(g.wzkoO);
  t.toolX = setupPoint(g.wzkoX);
  t.toolY = setupPoint(g.wzkoY);
  t.toolZ = setupPoint(g.wzkoZ);
  t.totalToolLength = g.totalToolLength;
  t.cuttingLength = g.cuttingLength;
  t.diameter1 = g.diameter1;
  t.diameter2 = g.diameter2;
  t.length1 = g.length1;
  t.length2 = g.length2;
  t.reducedFeed = g.rvorschub;
  t.fullSectionFeed = g.vvorschub;
  t.approachKind = g.macroStart;
  t.retractKind = g.macroEnd;
  t.approachLength = g.macroSrad;
  t.retractLength = g.macroErad;
  t.arcStepAngle = g.macroIwin;
  t.stayDownDistance = g.ruppMaxdist;
  t.approachFeed = g.macroSfeed;
  t.retractFeed = g.macroEfeed;
  t.infeedFeed = g.macroLfeed;
  t.clearanceFeed = g.clearFeedrate > 0 ? g.clearFeedrate : 0.0;
  t.leadingEdgeFeed = t.trailingEdgeFeed = t.finalPathFeed = t.springPathFeed = 0.0;
  t.fastRetractFeed = 0.0;
  t.finalPathSpindleSpeed = t.springPathSpindleSpeed = t.fullSectionSpindleSpeed = 0.0;
  stubNoop(&t);  // the technology hook: nothing more to do
}

int roughFacetExtraModel(const char* file, double tolerance, char* out) {
  const GlobalParams& g = *parGlobalBlock();
  char path[kParTextSize];
  if (cyc3dJoinPath(path, sizeof path, g.tmpDir, "extra.3df") != 1) return -1;
  std::memcpy(out, path, sizeof path);
  if (roughStandInFacetConvert(g.dllDir, file, out, tolerance) != 0) return -1;
  return 1;
}
