// rupp_record.h - the three-axis Z-level roughing cycle "qdRupp": the child of the Z-level
// finishing record. Its reader adds the roughing keys (strategy, step-down mode, plunge macro,
// stock strategy, pocket skipping) to the parameter chain; its own compute phase copies every
// cycle parameter into the global parameter block and runs the roughing.
#pragma once

#include <cstdint>
#include <type_traits>

#include "cycles/zfin_record.h"
#include "framework/messages.h"

// The 3D and Z-level blocks followed by the roughing block; each field is named after the key
// that fills it. Initial values are qdRupp's.
struct RuppRecord {
  ZfinRecord base;
  std::int32_t strategy = 1;  // 1 standard X, 2 standard Y, 3 any other
  std::int32_t finishPath = 1;
  std::int32_t autoStepDown = 0;  // 0 off, 2 automatic, 3 optimised
  std::int32_t plungeType = 1;    // 1 straight, 2 helical, 3 ramp
  double helixRadius = 2.0;
  double rampAngle = 10.0;
  double rampAngleResolution = 10.0;
  std::int32_t stockStrategy = 0;  // 0 none, 1 continuous, 2 rapid, 4 outside-in
  double minimalStepdown = 0.005;
  std::int32_t planesOnly = 0;
  double infeedRadius = 0.0;  // signed
  std::int32_t considerToolType = 0;
  std::int32_t completePocket = 0;
};
static_assert(std::is_standard_layout_v<RuppRecord> && offsetof(RuppRecord, base) == 0);

// The lateral stepover from the factor and length keys: factor times the tool diameter when the
// factor is above this, else the length when it is above kRuppLengthMin, else half the diameter.
inline constexpr double kRuppFactorMin = 0.01;
inline constexpr double kRuppLengthMin = 0.0001;

// The qdRupp record. Never null.
CycleRecord* ruppCycleRecord();
// qdRupp's blocks and framework part as at load (the five-axis record starts from them).
RuppRecord ruppLoadImage();
// The roughing record a cycle record of the chain below qdRupp starts; null for null.
inline RuppRecord* ruppRecordOf(CycleRecord* cycle) { return reinterpret_cast<RuppRecord*>(cycle); }
// qdRupp back to its load values.
void ruppRecordReset();
// The module's run state back to its value at load: the reverse-stock flag clear.
void ruppRecordResetState();
// The reverse-stock flag: set by "stockStrategy" "reverse", turned into "*OUTSIDE_IN" by the copy.
int ruppReverseStock();

// ReadParams: the parent's reader one level up (zfinParentRead), then, when it succeeded, the
// roughing keys; "skipSmallPockets", "skipFactor", "skipPockets", "noReduceBoundary" and
// "planeFactor" write the global parameter block directly; last the lateral stepover. Returns
// 1; 0 when the parent's reader failed.
int ruppReadParams(CycleRecord* cycle);
// Every ".CFG" entry into the global parameter block; "*TOOL_TIP" 1 when the tool reference is
// found; the remove-temporary-files flag from "*DEL_PRFBDY". Returns 1.
int ruppPrepareCfg(CycleRecord* cycle);
// The retract-plane rule (zfinRetractRule). Returns 1.
int ruppCheckRetractPlane(CycleRecord* cycle);
// Compute: frames, dumps and the copy (".pcf" sources), the roughing, the status word from its
// result, the frame records, the temporary files and the flat-plane outline file. Returns 1
// (the outcome is the status word).
int ruppRun(CycleRecord* cycle);
// The rise to the clearance plane when it lies above the retract plane. Returns 1.
int ruppFinish(CycleRecord* cycle);
// Information phases: cycShowMsgSection with "algorithm" or "layers".
int ruppAlgorithmText(CycleRecord* cycle);
int ruppLayersText(CycleRecord* cycle);
int ruppShowMsgSection(CycleRecord* cycle, const char* item);

// Copies the record into the global parameter block (ruppCopyWith, three-axis rules).
int ruppCopyParams(CycleRecord* cycle);

// Where the roughing records' copies differ: the three-axis copy gives "outsideIn" the stock
// movement 2 and writes the collision height into "*LIMIT_HEIGHT"; the five-axis copy does
// neither.
struct RuppCopyRules {
  bool outsideInMovement;
  bool limitHeight;
};
inline constexpr RuppCopyRules kRuppCopyThreeAxis{true, true};
inline constexpr RuppCopyRules kRuppCopyFiveAxis{false, false};
// Copies a record of the roughing chain into the global parameter block: the 3D block, the
// Z-level keys, the roughing keys; the reverse stock strategy sets "*OUTSIDE_IN" 1; an
// axis-parallel strategy sets "*AXIS_POCKET"; skipping small pockets with an axis-parallel
// finishing pass and no step strategy is switched off with the error record "1192". Returns 1;
// 0 when a file name does not fit its key (message 332).
int ruppCopyWith(CycleRecord* cycle, const RuppCopyRules& rules);

// The compute phase of the roughing records: output to the record output with the interrupt
// check check; for a ".pcf" source the frames, dumps and the copy (copy); the roughing; the
// status word from its result; the frame records; the temporary files and the flat-plane outline
// file removed. Returns 1 (the outcome is the status word).
int ruppComputeWith(CycleRecord* cycle, CycleRecord* output, MsgBreakCheckFn check,
                    int (*copy)(CycleRecord*));
// The interrupt check of qdRupp's own run: its signal word 100 gives 1, 104 gives 2, else 0.
int ruppBreakCheck();
