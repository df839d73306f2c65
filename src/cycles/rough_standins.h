// rough_standins.h - what the roughing run calls of steps that the library does not hold yet:
// some steps of the roughing controller, the tilt,
// head avoidance and three-axis holder checks of the five-axis control, some holder and contact
// settings, the facet conversion library and the level planning's flat-plane query. None of them
// claims success: the five-axis steps fail the run, the settings are stored or dropped, and when a
// job asks for a feature that is missing the run says so once (message 1104 naming it). Each is
// replaced, name for name, when its module is built.
#pragma once

#include <cstdint>

#include "cycles/machining_params.h"
#include "geometry/vec.h"
#include "model/surface_model.h"

// ---- steps of the roughing controller ----------------------------------------------------------

struct ZPathList;
struct ZPath;
struct Kont2D;
struct PathList;

// ---- five-axis steps of the region emitter ----------------------------------------------------

struct MachiningParams;
// The three-axis holder checks are not built: answers 1 (the run stays vertical) and warns once
// per run (message 1104 naming "rough5xHolderFree") that the holder was not checked.
int rough5xHolderFree(const SurfaceModel* model, MachiningParams* params, PathList* run);
// Tilting a run and the fixed-axis segments are not built: each sends the missing-feature message
// and returns -1 (the run fails with status 1).
int tiltPath(const SurfaceModel* model, MachiningParams* params, PathList* run);
int connectSegmentsPath(PathList* run, const MachiningParams* params);

// Drawing a level's contours into the output: draws nothing yet.
void levelOutDrawContours(const ZPathList* paths);
// Ordering the regions by level for the flat-plane pass: keeps the order they have.
void linkOptOrderByLevel(Kont2D** regions);
// The flat-area finder of "*STEP_MODE" 3 is not built: one warning (message 1104 naming
// "stepOptFlatAreaBounds") per run, no outline is written and the planes-written flag stays 0, so
// the step-down levels run on their own. Returns 1.
int stepOptFlatAreaBounds();

// ---- five-axis control settings ---------------------------------------------------------------

// The tilt state of one run. The tilt driver is not built: the record carries nothing yet.
struct TiltParams {
  std::int32_t mode;
};
// A new record (null when memory runs out); freed with tiltParamsFree (null is ignored).
TiltParams* tiltParamsNew();
void tiltParamsFree(TiltParams* tilt);
// Makes tilt the current record (null clears it).
void tiltParamsSet(TiltParams* tilt);
TiltParams* tiltParamsCurrent();
// Reads the tilt curves of file into tilt. Returns the number read; -1 when none can be read
// (always, until the tilt-curve reader exists).
int tiltReadCurves(TiltParams* tilt, const char* file);
// The settings below are dropped; each sends the missing-feature message once per run, the
// pivot smoothing only when switched on. avoidSetTryVertical is dropped silently: every run with
// the default tilt angle calls it, whether or not it asks for head avoidance.
void tiltSetAutoCRange(double range);
void tiltSetPivotSmoothing(int on, double height, double value);
void avoidSetBRange(double radians);
void avoidSetTryVertical(int flag);
void avoidSetSearchStep(double radians);
void connectSetSegmentTilt(double radians);

// ---- holder, contact, approach and level settings (stored only) -------------------------------

void holderSetAvoidFlag(int flag);
void holderSetAvoidTipDiameter(double diameter);
void holderSetAvoidModel(SurfaceModel* model, int flag);
void holderSetSide(int side);
void contactSetIpolAngle(int facetType, double angle, int check);
void lcurveSetMaxLength(double length);

// Converts the model file into the facet file out through the optional external facet library of
// dllDir. Returns 0 converted; -1 when it fails: the library is not available, always.
int facetConvertFile(const char* dllDir, const char* file, const char* out, double tolerance);

// Whether the level planning of the run wrote flat-plane outlines; the level planning (and a
// test's controller) marks it. 0 at the start of every run.
int stepOptPlanesWritten();
void stepOptMarkPlanesWritten(int flag);

// ---- what the stand-ins stored, for tests ----------------------------------------------------

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

// Sends message 1104 naming feature, once per run for each feature.
void roughMissingFeature(const char* feature);

// Run-start reset: nothing stored, no feature reported, no current tilt record.
void roughStandInsResetState();
