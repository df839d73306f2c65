// zfin_main.h - the Z-level finishing driver that the finishing record's compute phase runs: its
// configuration step (which projects the boundary curves when asked), its set-up of the keys,
// tool and modules, and its two tool routines that the roughing uses too: the radial allowance
// on the tool keys and the cutter offset by an allowance.
#pragma once

#include <cstdint>

#include "cycles/approach_macro.h"
#include "model/cutter_shape.h"
#include "model/tool_assembly.h"

// Runs the Z-level finishing with the configuration file at cfgPath, or on the global parameter
// block as it stands when cfgPath is null: the configuration step ("* Error: Could not find CFG
// file %s \n" to the standard output and -1 when it cannot be read; -2 when the projected
// boundary or the tool radius fails), "*SMOOTH_5AX" from "*AVOID_STRATEGY", the radial allowance
// and the set-up (-2 when it fails). The output and engine steps are not part of the library
// yet: after the set-up the driver's stand-in (roughStandInFinishDriver) names the missing step
// and the driver returns -1, so the run's status word says failure, never success.
int zfinMain(const char* cfgPath);

// The message file the finishing names, in "*LOC_DIR".
inline constexpr char kZfinMsgFile[] = "rszfinhc.loc";

// Configuration step: unit factor 1; the ".cfg" file at path (none for null) into the global
// block; the comment options FILLET and SLOPE; the extra model; the projected boundary when
// "*BND_PROJECT" is set (messages 820 and 822 around projBndCreate, which replaces "*BOUNDARY"
// by the projected file); the unit factor 10 / "*FRRADIUS" times the precision factor (5 for a
// fine precision on a small metric tool) and "*SCALE_UP"; the message file "rszfinhc.loc"; the
// scaling of every length; the ramp angle, report level and scallop infeed. Returns 0; -1 when
// the file cannot be read ("CFG File %s not found\n" to the standard output); -2 when the
// projection fails ("*BOUNDARY" then keeps the curve file names) or "*FRRADIUS" is not a positive
// number (message 1001), both of which would leave a wrong boundary or scale behind.
int zfinReadConfig(const char* path);

// The driver's engine settings: what the set-up hands to the engine step and nothing else reads.
struct ZfinEngineSettings {
  CutterShape tool;
  ToolAssembly assembly;
  double stepLimitMin;  // 0.005 from the set-up on
  double stepLimitMax;  // 1.0
  int boundaryFlag;
  int approachKind;
  int retractKind;
  double startRadius, endRadius, startDistance, endDistance;
  double angles[6];  // radians: step, end, start, end turn, start and end incline
  double plungeHeight, helixDirection, helixRadius;
  int plungeMode;
  int returnFlag;
  double clearanceDistance, clearancePlane, stepMin, stepMax;
  int rapidMode;
  int planeCheck;
  int linkMode;  // 0 rapid, 1 direct, 2 smooth
  double linkDistance;
  int holderCheck, holderCheckMode;
  double modelMaxStep, modelMinStep;
  int boundaryMode;
};
// The set-up's settings, the safety height and holder clearance of its block, and its finishing
// approach block. Never null.
const ZfinEngineSettings* zfinEngine();
double zfinSafetyHeight();
double zfinHolderClearance();
const FinishApproachBlock* zfinApproachBlock();
// The precision factor of the last configuration step (1 or 5).
double zfinPrecisionFactor();

// Set-up of the finishing on the configured global block, in the specified order: collision and
// undercut switches, step keys, frames, the engine tool, the spiral switches (with
// "*ACCEPT_UNDERCUT" and "*SPIRAL_SIDE" the spiral transitions check the tool against the facets:
// spiralSetToolCheck 1), allowance, approach and link settings, the tool assembly, the boundary
// strategy, step modes and comment options. Returns 1; -1 when "*BOUND_STRATEGY" is 1: the
// Z-boundary service is not part of the library (its stand-in roughStandInZBoundary). Settings of
// modules the library does not hold yet (tip diameter of the boundary and drop modules, the
// holder's fixed-axis, always-check and check-height switches, the boundary module's macro and
// slope switches) are not passed on; the technology record is left to the output step.
int zfinInit();

// The options of the comment text ("*COMMENT"; plain case-sensitive substrings). Each returns 1
// when its keyword was found (for FILLET and SLOPE: with a '=' behind it), else 0.
// BACKDRAFT sets "*BACKDRAFT"; UNDERCUT clears "*XCOLL_CHECK" and sets "*ACCEPT_UNDERCUT";
// FILLET sets "*FILLET_CORNERS" and, with "=r", "*FILLET_RADIUS" r x unit factor; SLOPE=a sets
// "*SLOPE_ANGLE" a and "*SLOPE_MODE" 1.
int zfinOptBackdraft();
int zfinOptUndercut();
int zfinOptFillet();
int zfinOptSlope();
// Converts the model file into "extra.3df" in the work directory (out, kParTextSize bytes).
// Returns 1, or -1 when the conversion fails.
int zfinFacetExtraModel(const char* file, char* out, double tolerance);
// Fills the approach block from the macro clearance keys (both kinds 1).
void zfinApproachParams(FinishApproachBlock* block);
// Test seam: the driver's blocks as at load (safety height -100000).
void zfinResetState();

// Adds the radial allowance "*AUFMASS_HORI" to the tool keys of the global parameter block:
// "*FRBOGEN" follows the tool type (the radius for 1 and 12, 0 for 2), "*FRRADIUS" grows by the
// allowance and "*SHAFT_DIAMETER" by twice it; a radius that falls below the corner radius is
// raised to it with message 1126 "* Warning: allowance + tool radius < 0, corrected to 0"; last
// "*FRTYP" is derived again from the two radii (12 and 13 stay in their family).
void zfinApplyRadialAllowance();

// Offsets the cutter by allowance: a ball stays a ball of radius R + a (z offset R in tip mode
// 1); a flat end mill becomes a torus of corner a for a positive allowance, else stays flat with
// z offset -a; a torus grows its corner by a, or becomes flat when the corner would vanish.
// The shank diameter grows by 2a and the taper length loses the new corner (torus) or radius
// (ball). A torus wider in its corner than its radius gets message 329 and the corner as radius;
// a negative radius becomes 0 with message 330. Null is ignored.
void zfinToolAddAllowance(CutterShape* cutter, double allowance, std::int16_t tipMode);

// Tolerance of the allowance rules.
inline constexpr double kZfinAllowanceEps = 1e-5;
// Messages of the allowance rules.
inline constexpr int kZfinMsgRadialCorrected = 1126;
inline constexpr int kZfinMsgCornerTooLarge = 329;
inline constexpr int kZfinMsgRadiusNegative = 330;
// Messages of the configuration and set-up steps.
inline constexpr int kZfinMsgStartBoundary = 820;
inline constexpr int kZfinMsgEndBoundary = 822;
inline constexpr int kZfinMsgCsysInit = 502;
inline constexpr int kZfinMsgCsysIgnored = 503;
inline constexpr int kZfinMsgTipOutput = 504;
inline constexpr int kZfinMsgCentreOutput = 505;
inline constexpr int kZfinMsgNoModel = 509;
inline constexpr int kZfinMsgMinStep = 514;
inline constexpr int kZfinMsgMaxStep = 515;
