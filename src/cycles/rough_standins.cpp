// rough_standins.cpp - the stand-ins of the roughing and finishing runs: steps that answer with a
// failure or keep things as they are, settings that are stored or dropped, and the message that
// names a missing step once per run.
#include "cycles/rough_standins.h"

#include <set>
#include <string>

#include "cycles/cycle_result.h"
#include "framework/memory.h"
#include "framework/messages.h"

namespace {

struct StandInState {
  RoughStoredSettings stored;
  RoughStandInTilt* current = nullptr;
  std::set<std::string> reported;  // features already named in this run
};
StandInState standIns;

}  // namespace

void roughMissingFeature(const char* feature) {
  if (feature == nullptr) feature = "";
  try {
    if (!standIns.reported.insert(feature).second) return;
  } catch (...) {
    // No memory to remember it: the message still goes out.
  }
  msgSendText(9, kCycMsgNotRealised, "* Funktion noch nicht realisiert", feature);
}

void roughStandInOrderByLevel(Kont2D**) {}

int roughStandInHolderFree(const SurfaceModel*, MachiningParams*, PathList*) {
  roughMissingFeature("rough5xHolderFree");
  return 1;
}
int roughStandInTiltPath(const SurfaceModel*, MachiningParams*, PathList*) {
  roughMissingFeature("tiltPath");
  return -1;
}
int roughStandInResamplePath() {
  roughMissingFeature("resamplePath");
  return -1;
}

RoughStandInTilt* roughStandInTiltNew() {
  return static_cast<RoughStandInTilt*>(memAllocZero(sizeof(RoughStandInTilt)));
}
void roughStandInTiltFree(RoughStandInTilt* tilt) {
  if (tilt == nullptr) return;
  if (standIns.current == tilt) standIns.current = nullptr;
  memFree(tilt);
}
void roughStandInTiltSet(RoughStandInTilt* tilt) { standIns.current = tilt; }
RoughStandInTilt* roughStandInTiltCurrent() { return standIns.current; }
int roughStandInReadTiltCurves(RoughStandInTilt*, const char*) {
  roughMissingFeature("tiltReadCurves");
  return -1;
}
void roughStandInSyncLines() { roughMissingFeature("syncLineRead"); }
void roughStandInAutoCRange(double) { roughMissingFeature("tiltSetAutoCRange"); }
void roughStandInPivotSmoothing(int on, double, double) {
  if (on != 0) roughMissingFeature("tiltSetPivotSmoothing");
}
void roughStandInAvoidBRange(double) { roughMissingFeature("avoidSetBRange"); }
void roughStandInAvoidTryVertical(int) {}
void roughStandInAvoidSearchStep(double) { roughMissingFeature("avoidSetSearchStep"); }
void roughStandInSegmentTilt(double) { roughMissingFeature("connectSetSegmentTilt"); }

void roughStandInHolderAvoidFlag(int flag) { standIns.stored.avoidFlag = flag; }
void roughStandInHolderTipDiameter(double diameter) { standIns.stored.avoidTipDiameter = diameter; }
void roughStandInHolderAvoidModel(SurfaceModel* model, int) { standIns.stored.avoidModel = model; }
void roughStandInHolderSide(int side) { standIns.stored.side = side; }
void roughStandInIpolAngle(int facetType, double angle, int check) {
  standIns.stored.ipolFacetType = facetType;
  standIns.stored.ipolAngle = angle;
  standIns.stored.ipolCheck = check;
}
void roughStandInLinkCurveLength(double length) { standIns.stored.lcurveMaxLength = length; }

int roughStandInFacetConvert(const char*, const char*, const char*, double) {
  roughMissingFeature("facetConvertFile");
  return -1;
}
int roughStandInZBoundary() {
  roughMissingFeature("zBoundaryCompute");
  return -1;
}
int roughStandInFinishDriver() {
  roughMissingFeature("zfinMain");
  return -1;
}
MoveMacro* roughStandInMacroFile(int, const Point3D&, const Point3D&, const ApproachParams*,
                                 const char*) {
  roughMissingFeature("macroLoadFile");
  return nullptr;
}

const RoughStoredSettings& roughStoredSettings() { return standIns.stored; }

void roughStandInsResetState() {
  // The run that made the current tilt record frees it; a reset only forgets it.
  standIns.stored = RoughStoredSettings{};
  standIns.current = nullptr;
  standIns.reported.clear();
}
