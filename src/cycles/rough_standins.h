// rough_standins.h - the stand-ins that the roughing and finishing runs call in place of steps the
// library does not hold yet: the region order of the flat-plane pass (link-order optimiser), the
// three-axis holder checks, the tilting of a run, the full-cut resampling, the tilt, head
// avoidance, sync-line and holder settings of the five-axis control, the optional facet
// conversion and Z-boundary libraries, and the Z-level finishing driver.
//
// Each carries a name of its own (roughStandIn...), so that a caller shows what it calls. None
// claims success: a step whose result matters fails the run or keeps things as they are, a setting
// is stored or dropped, and when a job asks for something that is missing the run says so once
// (message kCycMsgNotRealised, 1104, naming the step). The real step replaces its stand-in, and the
// stand-in goes, when its module is built.
//
// Run state (roughStandInsResetState): the stored settings, the features already named in this
// run and the current tilt record.
#pragma once

#include <cstdint>

#include "cycles/machining_params.h"
#include "geometry/vec.h"
#include "model/surface_model.h"

struct Kont2D;
struct PathList;

// ---- the roughing controller ------------------------------------------------------------------

// The order of the regions in the flat-plane pass (by level): the order they have is kept.
void roughStandInOrderByLevel(Kont2D** regions);

// ---- five-axis steps of the region emitter ----------------------------------------------------

// The three-axis holder checks: answers 1 (the run stays vertical) and says once per run (1104
// "rough5xHolderFree") that the holder was not checked.
int roughStandInHolderFree(const SurfaceModel* model, MachiningParams* params, PathList* run);
// Tilting a run: sends 1104 "tiltPath" once per run and returns -1 (the run fails with status 1).
int roughStandInTiltPath(const SurfaceModel* model, MachiningParams* params, PathList* run);
// The full-cut resampling ("*FULLCUT_STRATEGY"): sends 1104 "resamplePath" once per run and
// returns -1.
int roughStandInResamplePath();

// ---- five-axis control settings ---------------------------------------------------------------

// The tilt state of one run; the tilt driver is not built, so the record carries nothing yet.
struct RoughStandInTilt {
  std::int32_t mode;
};
// A new record (null when memory runs out); freed with roughStandInTiltFree (null is ignored).
RoughStandInTilt* roughStandInTiltNew();
void roughStandInTiltFree(RoughStandInTilt* tilt);
// Makes tilt the current record (null clears it).
void roughStandInTiltSet(RoughStandInTilt* tilt);
RoughStandInTilt* roughStandInTiltCurrent();
// The tilt curves of file: none can be read (1104 "tiltReadCurves" once per run). Returns -1.
int roughStandInReadTiltCurves(RoughStandInTilt* tilt, const char* file);
// The sync lines of "*SEG_SYNC": none are read (1104 "syncLineRead" once per run).
void roughStandInSyncLines();
// The settings below are dropped; each sends 1104 naming the setting once per run, the pivot
// smoothing only when switched on. The try-vertical flag is dropped silently: every run with the
// default tilt angle sets it, whether or not it asks for head avoidance.
void roughStandInAutoCRange(double range);
void roughStandInPivotSmoothing(int on, double height, double value);
void roughStandInAvoidBRange(double radians);
void roughStandInAvoidTryVertical(int flag);
void roughStandInAvoidSearchStep(double radians);
void roughStandInSegmentTilt(double radians);

// ---- holder, contact and link-curve settings (stored only) ------------------------------------

void roughStandInHolderAvoidFlag(int flag);
void roughStandInHolderTipDiameter(double diameter);
void roughStandInHolderAvoidModel(SurfaceModel* model, int flag);
void roughStandInHolderSide(int side);
void roughStandInIpolAngle(int facetType, double angle, int check);
void roughStandInLinkCurveLength(double length);

// ---- optional external libraries and the finishing driver -------------------------------------

// Converting the model file into a facet file through the optional external facet library: the
// library is never available here (1104 "facetConvertFile" once per run). Returns -1.
int roughStandInFacetConvert(const char* dllDir, const char* file, const char* out,
                             double tolerance);
// The Z boundary of the optional external Z-boundary library: never available (1104
// "zBoundaryCompute" once per run). Returns -1.
int roughStandInZBoundary();
// The Z-level finishing driver after its set-up: not built (1104 "zfinMain" once per run).
// Returns -1.
int roughStandInFinishDriver();
// The macro of a user macro file (approach or retract kind 100): no macro file is read yet. Null,
// with one warning per run (1104 "macroLoadFile").
struct MoveMacro;
struct ApproachParams;
MoveMacro* roughStandInMacroFile(int type, const Point3D& p, const Point3D& d,
                                 const ApproachParams* a, const char* file);

// ---- what the stand-ins stored, for tests -----------------------------------------------------

struct RoughStoredSettings {
  int avoidFlag = 0;
  double avoidTipDiameter = 0;
  SurfaceModel* avoidModel = nullptr;
  int side = 0;
  int ipolFacetType = 0;
  double ipolAngle = 0;
  int ipolCheck = 0;
  double lcurveMaxLength = 0;
};
const RoughStoredSettings& roughStoredSettings();

// Sends message kCycMsgNotRealised (1104) naming feature, once per run for each feature. A
// feature name that cannot be kept (no memory) is named every time rather than never.
void roughMissingFeature(const char* feature);

// Run-start reset: nothing stored, no feature named, no current tilt record.
void roughStandInsResetState();
