// rough_setup.h - the roughing's parameter set-up: checks and corrects the scaled parameters, sets
// the coordinate systems, the cutter with its allowance, the tool assembly and the holder, contact
// and five-axis settings, and fills the run's MachiningParams, its model steps and the technology
// record that the 3D output writes at the start of the cycle.
#pragma once

#include <cstdint>

#include "cycles/machining_params.h"
#include "model/cutter_shape.h"
#include "model/surface_model.h"
#include "output/technology_record.h"

// The run's model: the surface model record whose cutter is the run's CutterShape, with the step
// and boundary values that the set-up and the roughing main give it.
struct RoughRunModel {
  SurfaceModel model;
  double minStep;
  double maxStep;
  std::int32_t boundaryGiven;  // 1 when "*BOUNDARY" names a boundary
  std::int32_t boundaryMode;
};

// The run's records (process-wide, reset at the start of every run; see roughSetupResetState).
MachiningParams* roughMachiningParams();
CutterShape* roughCutterShape();
RoughRunModel* roughRunModel();
const TechnologyRecord* roughTechnology();

// Runs the set-up on the scaled global parameter block; never stops the run. Corrections are
// reported by messages 502 and 503 (coordinate systems), 504 or 505 (tool reference), 1002
// (stepover), 514 and 515 (model steps), 509 (no model file) and 7102 (tilt angle, with the angle
// in force afterwards, 5).
void roughSetupParams();

// Fills the technology record from the global parameter block ("*CLEAR_FEEDRATE" below 0, its
// "unused" default, gives 0).
void roughCopyOutputParams();

// Converts the extra model file with tolerance into "<*TMP_DIR>/extra.3df", written into out
// (kParTextSize bytes). Returns 1; -1 when the conversion fails.
int roughFacetExtraModel(const char* file, double tolerance, char* out);

// The records back to their values at load: MachiningParams with approach and retract kinds 23,
// the cutter a flat end mill of radius 5, the model empty with the model steps 0.005 and 1 and
// the boundary given, the technology record zero.
void roughSetupResetState();

// Messages of the set-up.
inline constexpr int kRoughMsgCsysInit = 502;
inline constexpr int kRoughMsgCsysIgnored = 503;
inline constexpr int kRoughMsgTipOutput = 504;
inline constexpr int kRoughMsgCentreOutput = 505;
inline constexpr int kRoughMsgNoModel = 509;
inline constexpr int kRoughMsgMinStep = 514;
inline constexpr int kRoughMsgMaxStep = 515;
inline constexpr int kRoughMsgStepoverSmall = 1002;
inline constexpr int kRoughMsgTiltAngle = 7102;
// The tilt angle that replaces one below kRoughMinTiltAngle, degrees.
inline constexpr double kRoughDefaultTiltAngle = 5.0;
inline constexpr double kRoughMinTiltAngle = 0.1;
