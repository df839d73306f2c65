// rough_main.cpp - the Z-level roughing run: configuration, radial allowance, set-up, output
// callbacks and technology header, tilt settings, stock model, one controller pass over the
// boundary and one over the flat planes, then the output closed and everything released on every
// path that got past the configuration.
#include "cycles/rough_main.h"

#include <cmath>
#include <cstdio>
#include <cstring>

#include "cycles/emit_point.h"
#include "cycles/emit_region.h"
#include "cycles/rough_config.h"
#include "cycles/rough_control.h"
#include "cycles/rough_setup.h"
#include "cycles/rough_standins.h"
#include "cycles/rupp_calls.h"
#include "cycles/stock_model.h"
#include "cycles/zfin_main.h"
#include "framework/global_params.h"
#include "framework/messages.h"
#include "framework/platform.h"
#include "geometry/boundary.h"
#include "geometry/csys.h"
#include "geometry/cycle_state.h"
#include "geometry/geo_error.h"
#include "model/holder_model.h"
#include "output/cyc3d_files.h"
#include "output/out3d_moves.h"
#include "output/out3d_state.h"
#include "zlevel/drop_net.h"
#include "zlevel/step_opt.h"

namespace {

struct RoughMainState {
  int secondPass = 0;
  int planePass = 0;
};
RoughMainState roughState;

// Seams of the tests; they outlive runs.
RoughControlFn roughControlFn = nullptr;
RoughProbeFn roughEntryProbe = nullptr;

int roughRunControl(MachiningParams* params, SurfaceModel* model) {
  return roughControlFn != nullptr ? roughControlFn(params, model) : roughControl(params, model);
}

// The keys that the flat-plane pass changes, kept to be put back after it.
struct RoughPassKeys {
  char boundary[kParTextSize];
  std::int16_t stepMode, stepStrategy, usebndzval, wcoll;
  double tief, gridFactor;

  void keep(const GlobalParams& g) {
    std::memcpy(boundary, g.boundary, sizeof boundary);
    stepMode = g.stepMode;
    stepStrategy = g.stepStrategy;
    usebndzval = g.usebndzval;
    wcoll = g.wcoll;
    tief = g.tief;
    gridFactor = g.gridFactor;
  }
  void restore(GlobalParams& g) const {
    std::memcpy(g.boundary, boundary, sizeof boundary);
    g.stepMode = stepMode;
    g.stepStrategy = stepStrategy;
    g.usebndzval = usebndzval;
    g.wcoll = wcoll;
    g.tief = tief;
    g.gridFactor = gridFactor;
  }
};

// The tool axis of the tool system (its z axis) as a unit vector of the NC frame: the direction
// along which the tip lies below the tool centre in the output.
Point3D roughToolAxisInFrame() {
  Point3D d{0, 0, 1};
  csysToolDirToFrame(&d);
  const double len = std::sqrt(d.x * d.x + d.y * d.y + d.z * d.z);
  if (!(len > 1e-12) || !std::isfinite(len)) return {0, 0, 1};
  return {d.x / len, d.y / len, d.z / len};
}

// Steps 10 and 11: the tilt settings. Returns 0, or the stop code when tilt curves are missing.
int roughTiltSettings(GlobalParams& g, RoughStandInTilt* tilt) {
  if (g.ctest != 0) {
    if (std::fabs(g.crange) < 0.00001) {
      g.crange = g.crangePos;
    } else {
      g.crangePos = g.crangeNeg = g.crange;
    }
    g.tiltStrategy = 11;
    roughStandInHolderSide(g.seite);
    if (g.atest != 0) roughStandInAvoidSearchStep(0.03);
  }
  if (g.tiltStrategy == 3 || g.tiltStrategy == 5) {
    if (roughStandInReadTiltCurves(tilt, g.tiltCurve) < 1) {
      msgSendText(9, kRoughMsgNoTiltCurve, "* Error: cannot open Tilt curve %s", g.tiltCurve);
      return kRoughStopNoTiltCurve;
    }
  }
  return 0;
}

// Step 20: the flat-plane pass over the outlines that the first pass's level planning wrote.
int roughFlatPlanePass(GlobalParams& g, int first) {
  RoughRunModel* run = roughRunModel();
  RoughPassKeys kept;
  kept.keep(g);
  dropNetSetSlopeTol(g.auflmin);
  char outlines[kParTextSize];
  if (cyc3dJoinPath(outlines, sizeof outlines, g.tmpDir, kRoughFlatPlaneFile) != 1) return first;
  std::memcpy(g.boundary, outlines, sizeof outlines);
  g.stepMode = 2;
  g.stepStrategy = 0;
  g.usebndzval = 1;
  run->boundaryGiven = 1;
  g.tief = -10000.0;
  g.gridFactor *= 0.25;
  roughState.planePass = 1;
  roughControlSetPlanePass(1);
  run->boundaryMode = 0;
  roughSetSecondPass(1);
  g.wcoll = 1;
  const int result = roughRunControl(roughMachiningParams(), &run->model);
  roughSetSecondPass(0);
  kept.restore(g);
  return result;
}

// Steps 21 to 25: close the output and release what the run set up.
void roughCloseRun(GlobalParams& g, RoughStandInTilt* tilt) {
  emitFinish(roughMachiningParams(), &roughRunModel()->model);
  out3dEndOutput();
  emitClearCallbacks();
  char when[64];
  if (platLocalTimeText(when, sizeof when, "%a %b %e %H:%M:%S %Y\n", platNowSeconds()) != 1) {
    std::strcpy(when, "?\n");
  }
  char line[kParTextSize + 96];
  std::snprintf(line, sizeof line, "%s %s %s\n", "\nEnde rsrupp", when, g.approx);
  geoSetWorkDir(g.tmpDir);
  geoErrLog(line);
  stockModelFree();
  bndSetApproachCheck(nullptr);
  holderFreeCollisionModel();
  roughStandInTiltSet(nullptr);
  roughStandInTiltFree(tilt);
}

}  // namespace

void roughSetSecondPass(int flag) { roughState.secondPass = flag; }
int roughSecondPass() { return roughState.secondPass; }
int roughPlanePass() { return roughState.planePass; }
void roughMainResetState() { roughState = RoughMainState{}; }
void roughSetControl(RoughControlFn control) { roughControlFn = control; }
void roughSetEntryProbe(RoughProbeFn probe) { roughEntryProbe = probe; }

int roughMain(const char* cfgPath) {
  if (roughEntryProbe != nullptr) roughEntryProbe();
  if (roughReadConfig(cfgPath) < 0) return -1;
  GlobalParams& g = *parGlobalBlock();
  RoughStandInTilt* tilt = roughStandInTiltNew();
  roughStandInTiltSet(tilt);

  if (g.avoidStrategy == 4) g.avoidStrategy = 3;
  if (g.avoidStrategy == 1) {
    g.smooth5ax = 0;
  } else if (g.avoidStrategy != 0) {
    g.smooth5ax = 1;
  }
  g.considerTooltype = 0;
  if (std::fabs(g.aufmassHori) >= kZfinAllowanceEps) zfinApplyRadialAllowance();
  roughOptStep();
  roughSetupParams();
  ruppSetErrorsOnly(1);

  emitSetCallbacks(emitOut3dMove5Axis, out3dStartLiteral, out3dFlushLiteral);
  emitSetAxisCallback(emitOut3dSetToolAxis);
  csysMulScale(unitFactor);
  out3dResetState();
  out3dWriteTechnology(roughTechnology());
  out3dSetPlungeAngle(g.fredAngle);
  out3dSetTipOffset(g.toolTip, roughTipLength(g), roughToolAxisInFrame());

  int result = roughTiltSettings(g, tilt);
  if (result == 0) {
    if (g.gridFactor > 0.25) g.gridFactor = 0.25;
    const int stockMode = g.skipNocut != 0 ? 2 : g.useDwp;
    stockModelInit(stockMode, g.frtyp, g.frradius, g.frbogen, g.boundary, g.tmpDir, g.oberfl,
                   g.tief, g.considerTooltype);
    if (g.stockMode == 1 && g.macroTmode != 1) bndSetApproachCheck(stockPlungeMacroHook);
    if (g.backdraft != 0) roughMachiningParams()->backDraft = 1;
    roughOptOutsideIn();
    if (g.segSyncOk != 0 && (g.segSync[0] == '\0' || g.segSync[0] == ' ')) g.segSyncOk = 0;
    if (g.segSyncOk != 0) roughStandInSyncLines();
    emitReset();

    RoughRunModel* run = roughRunModel();
    result = roughRunControl(roughMachiningParams(), &run->model);
    // A failed step has sent its own message; a model that did not load sends this one.
    if (result == -1 && roughControlModelMissing() != 0) {
      msgSendInt(9, kRoughMsgNoModelFile, "* No Model File", 0);
    }
    if (result >= 0 && g.stepMode == 3 && stepOptPlaneFileWritten() != 0) {
      result = roughFlatPlanePass(g, result);
    }
    roughReportSmallPockets();
  }
  roughCloseRun(g, tilt);
  return result;
}
