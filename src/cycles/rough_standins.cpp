// rough_standins.cpp - the stand-ins of the steps the roughing run calls before their modules
// exist: a per-region toolpath step that fails the run, settings that are stored or dropped, and
// the missing-feature message, once per run and feature.
#include "cycles/rough_standins.h"

#include <cstring>
#include <set>
#include <string>

#include "cycles/cycle_result.h"
#include "framework/memory.h"
#include "framework/messages.h"
#include "zlevel/step_opt.h"

namespace {

struct StandInState {
  RoughStoredSettings stored;
  TiltParams* current = nullptr;
  std::set<std::string> reported;  // features already named in this run
};
StandInState standIns;

}  // namespace

void roughMissingFeature(const char* feature) {
  if (!standIns.reported.insert(feature).second) return;
  msgSendText(9, kCycMsgNotRealised, "* Funktion noch nicht realisiert", feature);
}

int rough5xHolderFree(const SurfaceModel*, MachiningParams*, PathList*) {
  roughMissingFeature("rough5xHolderFree");
  return 1;
}
int tiltPath(const SurfaceModel*, MachiningParams*, PathList*) {
  roughMissingFeature("tiltPath");
  return -1;
}
int connectSegmentsPath(PathList*, const MachiningParams*) {
  roughMissingFeature("connectSegmentsPath");
  return -1;
}

void levelOutDrawContours(const ZPathList*) {}
void linkOptOrderByLevel(Kont2D**) {}
int stepOptFlatAreaBounds() {
  roughMissingFeature("stepOptFlatAreaBounds");
  return 1;
}

TiltParams* tiltParamsNew() { return static_cast<TiltParams*>(memAllocZero(sizeof(TiltParams))); }
void tiltParamsFree(TiltParams* tilt) {
  if (tilt == nullptr) return;
  if (standIns.current == tilt) standIns.current = nullptr;
  memFree(tilt);
}
void tiltParamsSet(TiltParams* tilt) { standIns.current = tilt; }
TiltParams* tiltParamsCurrent() { return standIns.current; }
int tiltReadCurves(TiltParams*, const char*) {
  roughMissingFeature("tiltReadCurves");
  return -1;
}
void tiltSetAutoCRange(double) { roughMissingFeature("tiltSetAutoCRange"); }
void tiltSetPivotSmoothing(int on, double, double) {
  if (on != 0) roughMissingFeature("tiltSetPivotSmoothing");
}
void avoidSetBRange(double) { roughMissingFeature("avoidSetBRange"); }
void avoidSetTryVertical(int) {}
void avoidSetSearchStep(double) { roughMissingFeature("avoidSetSearchStep"); }
void connectSetSegmentTilt(double) { roughMissingFeature("connectSetSegmentTilt"); }

void holderSetAvoidFlag(int flag) { standIns.stored.avoidFlag = flag; }
void holderSetAvoidTipDiameter(double diameter) { standIns.stored.avoidTipDiameter = diameter; }
void holderSetAvoidModel(SurfaceModel* model, int) { standIns.stored.avoidModel = model; }
void holderSetSide(int side) { standIns.stored.side = side; }
void contactSetIpolAngle(int facetType, double angle, int check) {
  standIns.stored.ipolFacetType = facetType;
  standIns.stored.ipolAngle = angle;
  standIns.stored.ipolCheck = check;
}
void lcurveSetMaxLength(double length) { standIns.stored.lcurveMaxLength = length; }
int facetConvertFile(const char*, const char*, const char*, double) {
  roughMissingFeature("facetConvertFile");
  return -1;
}

// One flag with the flat-area finders' own.
int stepOptPlanesWritten() { return stepOptPlaneFileWritten(); }
void stepOptMarkPlanesWritten(int flag) { stepOptSetPlaneFileWritten(flag); }

const RoughStoredSettings& roughStoredSettings() { return standIns.stored; }

void roughStandInsResetState() {
  // The run that made the current tilt record frees it; a reset only forgets it.
  standIns.stored = RoughStoredSettings{};
  standIns.current = nullptr;
  stepOptSetPlaneFileWritten(0);
  standIns.reported.clear();
}
