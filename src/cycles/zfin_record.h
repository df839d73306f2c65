// zfin_record.h - the Z-level finishing cycle "qdZfin": the child of the common 3D cycle and the
// parent of the three-axis roughing. Its reader adds the Z-level keys (cutting side, gouge and
// collision checks, step strategy, fillets, infeed strategy, connections) to the parameter chain;
// its own compute phase copies the record into the global parameter block and runs the Z-level
// finishing driver.
#pragma once

#include <cstdint>
#include <type_traits>

#include "cycles/cyc3d_record.h"

// The 3D block followed by the Z-level block; each field is named after the key that fills it.
// Initial values are qdZfin's; the roughing records differ in gougeDetection only (0).
struct ZfinRecord {
  Cycle3dRecord base;
  std::int32_t cuttingSide = 1;     // 1 default side, 2 right of the contour (conventional)
  std::int32_t gougeDetection = 1;  // flag
  std::int32_t stepStrategy = 0;    // 0 Z-level, 1 pocket, 2 helical
  std::int32_t collisionCheck = 1;
  std::int32_t collisionStop = 1;
  double collisionTolerance = 0.1;
  std::int32_t outputArcs = 0;
  std::int32_t cuttingLine = 0;  // 0 one way, 1 zig-zag
  double filletRadius = 0.0;
  std::int32_t filletCorners = 0;
  std::int32_t acceptUndercut = 0;
  double gridFactor = 0.5;
  double planeAllowance = 0.0;
  std::int32_t infeedStrategy = 1;  // 1 fixed infeed, 2 by scallop height
  double minScallopHeight = 0.1;
  double minInfeed = 0.1;
  std::int32_t plungeOnlyOnce = 0;
  std::int32_t autoStepDown = 0;  // 0 off, 2 automatic, 3 planes only
  std::int32_t connectRapid = 0;
  double connectFactor = 0.0;
  double collisionHeight = 99999.0;
};
static_assert(std::is_standard_layout_v<ZfinRecord> && offsetof(ZfinRecord, base) == 0);

// Cycle codes that the ".CFG" and prepare phases set.
inline constexpr std::int32_t kZfinCode = 1005;
inline constexpr std::int32_t kZfinCodeTilt = 1013;   // "*TILT_STRATEGY" 6
inline constexpr std::int32_t kZfinCodeSlope = 1006;  // "*SLOPE_MODE" set

// The qdZfin record. Never null.
CycleRecord* zfinCycleRecord();
// The Z-level record a cycle record of the chain below qdZfin starts; null for null.
inline ZfinRecord* zfinRecordOf(CycleRecord* cycle) { return reinterpret_cast<ZfinRecord*>(cycle); }
// qdZfin back to its load values.
void zfinRecordReset();

// ReadParams: runs the parent's reader on this record with the parent link set to the parent's
// parent (restored whatever it returned), then, when it succeeded, the Z-level keys; some of them
// write "*CUTCOMP", "*ZOPT_MODE", "*BOUND_OFFSET" and "*START_RAPID" directly. Returns 1; 0 when
// the parent's reader failed.
int zfinReadParams(CycleRecord* cycle);
// Every ".CFG" entry into the global parameter block; "*TOOL_TIP" 1 when the tool reference is
// found; the cycle code 1013 when the tilt strategy is 6. Returns 1.
int zfinPrepareCfg(CycleRecord* cycle);
// The retract plane becomes the clearance plane when "retractPlane" is not a parameter or is not
// below it; the cycle code 1006 when "*SLOPE_MODE" is set. Returns 1.
int zfinCheckRetractPlane(CycleRecord* cycle);
// Compute: frames, dumps and the copy (".pcf" sources), the finishing driver, the status word
// from its result, the frame records and the temporary files. Returns 1 (the outcome is the
// status word).
int zfinRun(CycleRecord* cycle);
// The rise to the clearance plane when it lies above the retract plane. Returns 1.
int zfinFinish(CycleRecord* cycle);
// Information phases: cycShowMsgSection with "algorithm" or "layers".
int zfinAlgorithmText(CycleRecord* cycle);
int zfinLayersText(CycleRecord* cycle);
int zfinShowMsgSection(CycleRecord* cycle, const char* item);

// Copies the record into the global parameter block and writes every key to the run's
// configuration file (the record's sixth temporary name). Returns 1; 0 when a file name does not
// fit its key (message 332).
int zfinCopyParams(CycleRecord* cycle);
// The keys of the Z-level block that both copies write alike: cutting side, gouge-free 0 (both
// names), gouge detection, collision check, stop and tolerance, arcs, fillets, undercut, grid
// factor, plane allowance (both names) and collision height.
void zfinCopyLevelKeys(const ZfinRecord* z);
// The interrupt check of qdZfin's own run: its signal word 100 gives 1, 104 gives 2, else 0.
int zfinBreakCheck();

// Shared by the records below qdZfin: runs the parent's reader of cycle one level up, with the
// parent link set to the parent's parent and restored afterwards. Returns the parent's result;
// 0 when the record has no parent or the parent no reader.
int zfinParentRead(CycleRecord* cycle);
// The retract-plane rule of the prepare phases: the retract plane becomes the clearance plane
// when "retractPlane" is not a parameter or is not below the clearance plane.
void zfinRetractRule(CycleRecord* cycle);
// The rise of the finish phases: cycRapidZ to the clearance plane when it lies above the retract
// plane.
void zfinRiseToClearance(CycleRecord* cycle);
