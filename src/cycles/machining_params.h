// machining_params.h - the record of one roughing run that the controller, the region emitter,
// the approach and retract builders and the five-axis control receive: the approach and retract
// description first, then clearances, step limits, tilt angles, the tool assembly and the
// five-axis settings. Lengths are scaled (tool radius 10); angles are radians.
#pragma once

#include <cstddef>
#include <cstdint>
#include <type_traits>

#include "model/tool_assembly.h"

// Approach and retract kinds of ApproachParams (the set-up's codes for "*MACRO_START" and
// "*MACRO_END" 1, 2, 3, 8 and 100).
inline constexpr std::int16_t kApproachVertical = 22;
inline constexpr std::int16_t kApproachArc = 23;
inline constexpr std::int16_t kApproachOther = 24;
inline constexpr std::int16_t kApproachRamp = 8;
inline constexpr std::int16_t kApproachMacroFile = 100;

// The approach and retract description at the head of MachiningParams, filled from the
// configuration keys that begin with "*MACRO_". Fields in order.
struct ApproachParams {
  std::int16_t approachKind = kApproachArc;
  std::int16_t retractKind = kApproachArc;
  std::int16_t returnFlag = 0;      // 1 when "*MACRO_RETURN" is 2
  double stepAngle = 0;             // "*MACRO_IWIN"
  double endAngle = 0;              // "*MACRO_AWIN"
  double approachLength = 0;        // "*MACRO_SRAD"
  double retractLength = 0;         // "*MACRO_ERAD"
  double approachShift = 0;         // "*MACRO_SABST"
  double retractShift = 0;          // "*MACRO_EABST"
  double approachTurn = 0;          // "*MACRO_SWIN"
  double retractTurn = 0;           // "*MACRO_EWIN"
  double approachIncline = 0;       // "*MACRO_TSWIN"
  double retractIncline = 0;        // "*MACRO_TEWIN"
  double plungeHeight = 0;          // "*MACRO_THEIGHT"
  std::int32_t helixDirection = 0;  // "*MACRO_TDIR"
  double helixRadius = 0;           // "*MACRO_TRAD"
  std::int32_t plungeMode = 0;      // "*MACRO_TMODE"
};

// The tool of MachiningParams at load: a ball of radius 5, every band empty.
constexpr ToolAssembly machiningToolAtLoad() {
  ToolAssembly t{};
  t.type = 1;
  t.radius = 5.0;
  return t;
}

// The record of one roughing run. Initialised with the values at load; the set-up overwrites
// the fields that have a key on every run. Fields in order.
struct MachiningParams {
  ApproachParams approach;
  double stayDownDistance = 0;  // largest distance to the next run's start with the tool down
  double clearanceDistance = 5.0;
  double clearancePlane = 100.0;
  double minStep = 0.005;  // smallest output step
  double maxStep = 10.0;   // largest output step
  std::int16_t emitOption1 = 1;
  std::int16_t emitOption2 = 0;
  std::int16_t rapidInfeed = 0;
  std::int16_t stayDown = 1;  // 1 allows staying down between runs
  std::int16_t emitOption3 = 0;
  std::int32_t emitOption4 = 1;
  double tiltAngle = 0;
  std::int16_t holderCheck5x = 0;
  std::int16_t avoidCollisions = 0;
  double maxTilt = 0;
  std::int16_t tiltMode = 1;
  double coneAngle = 0;
  ToolAssembly tool = machiningToolAtLoad();
  void* holderGrid = nullptr;  // the region emitter's grid of model heights
  double axisChangeCos = 0.996;
  std::int16_t axisSmoothing = 0;
  double axisCompareTol = 0.0001;
  double smoothInterval = 50.0;
  std::int16_t emitOption5 = 1;
  std::int16_t emitOption6 = 1;
  double emitValue7 = 0;
  double emitValue8 = 100000.0;
  std::int16_t backDraft = 0;
  std::int16_t segmentOpt = 0;
  double segmentRadius = 1.0;
  double segmentAngle = 45.0;
  double segmentHeight = 30.0;
  std::int16_t emitOption9 = 0;
  double emitValue10 = 1.0;
  double emitValue11 = 10.0;
  double emitValue12 = 0;
  std::int16_t linkMode5x = 0;
  double linkValue1 = 0;
  std::int16_t linkFlag2 = 0;
  std::int16_t linkFlag3 = 0;
  double linkValue4 = 0;
  std::int16_t linkFlag5 = 0;
  double linkValue6 = 0;
  std::int16_t checkPlane = 0;
  std::int16_t checkZLift = 1;
  std::int16_t rapidLogic = 0;
  double maxPlaneAngle = 45.0;  // degrees
  double maxDistAngle = 15.0;   // degrees
  double maxClearDist = 100000.0;
  double clearFeed = 0;
  std::int16_t clearMovement = 2;
  std::int16_t avoidStrategy = 0;  // 1, 3: B axis; 2, 4: C axis
  std::int16_t avoidMode = 0;
  double cRangeNeg = 15.0;
  double cRangePos = 15.0;
};
static_assert(std::is_standard_layout_v<MachiningParams>);
static_assert(offsetof(MachiningParams, approach) == 0);
