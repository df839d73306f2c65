// ccp_fields.h - the layout of the contour-parallel pocket cycle's record: the framework's cycle
// record followed by the pocket cycle's own fields. The parameter reader, the geometry reader, the
// scaling and the cycle's phases all work on it; the axis-parallel cycle starts with it too.
#pragma once

#include <cstddef>
#include <cstdint>
#include <type_traits>

#include "framework/cycle.h"

// Strategy codes of `strategy`.
inline constexpr std::int32_t kCcpStrategyDefault = 0;
inline constexpr std::int32_t kCcpStrategyOutsideIn = 1;
inline constexpr std::int32_t kCcpStrategyOutsideInDirect = 2;
inline constexpr std::int32_t kCcpStrategyAxisParallel = 3;
inline constexpr std::int32_t kCcpStrategyStockOutin = 4;
inline constexpr std::int32_t kCcpStrategyOpenPocket = 5;
// Stock modes of `stockMode`.
inline constexpr std::int32_t kCcpStockOff = 0;
inline constexpr std::int32_t kCcpStockOn = 1;
inline constexpr std::int32_t kCcpStockForce = 2;
inline constexpr std::int32_t kCcpStockOnly = 3;
inline constexpr std::int32_t kCcpStockMulti = 4;
// Tool types of `toolType`.
inline constexpr std::int32_t kCcpToolBall = 1;
inline constexpr std::int32_t kCcpToolFlat = 2;
inline constexpr std::int32_t kCcpToolRadius = 3;

// The record of the pocket cycle. Lengths are in the user's units as read; while a run computes
// in scaled lengths (pock_scale.h) the scaled fields hold scaled values and the run puts the values
// as read back at its end. Angles are radians while a run computes.
struct CcpRecord {
  CycleRecord base;
  char* geoSource;     // owned copy, or null
  char* clampsSource;  // owned copy, or null
  double clearancePlane;
  double clearanceDistance;
  double toolDiameter;
  double planeFeedrate;
  double zFeedrate;
  double planeAllowance;
  double infeedLength;
  std::int32_t stockMode;
  double epsilon;
  std::int32_t startExplicit;
  double startX;
  double startY;
  double infeedDepth;
  double surface;
  double depth;
  char* rifSource;  // points at the rest-file name of the configuration record (not owned)
  std::int32_t generateRif;
  std::int32_t evaluateRif;
  double rifMinLength;
  std::int32_t oriAutomatic;  // 0 none, 1 "single", 2 "full"
  std::int32_t orientation;   // +1 counter-clockwise, -1 clockwise
  std::int32_t edgeMovement;
  std::int32_t useReference;
  double referenceRadius;
  char* frameText;  // owned copy, or null
  std::int32_t frameOn;
  std::int32_t frameOff;
  std::int32_t scaleLengths;
  std::int32_t strategy;
  std::int32_t plungeType;  // 1 helical, 2 plain, 3 ramp
  double helixRadius;
  double helixPlungeAngle;
  double helixAngleResolution;
  double leavingLength;
  std::int32_t retractEachPlane;
  std::int32_t leavingType;
  std::int32_t stockMovement;
  std::int32_t approachType;
  double approachLength;
  double wallAngle;
  double cornerRadius;
  std::int32_t toolType;
  double depthOffset;
  double infeedRadius;
  double filletRadius;
  std::int32_t completePocket;
  double stockTolerance;
  double retractPlane;
  std::int32_t filletCorners;
  std::int32_t considerToolType;
  const char* messageFile;
  std::int32_t cutterCompensation;
  std::int32_t splitPath;
  double reducedFeedrate;
  std::int32_t plungeAtLastPosition;
  std::int32_t allowSingleCut;
  double singleCutOverlapFactor;
  double surfaceOffset;
};
static_assert(std::is_standard_layout_v<CcpRecord> && offsetof(CcpRecord, base) == 0,
              "the pocket record is read through the CycleRecord that starts it");
static_assert(std::is_trivially_copyable_v<CcpRecord>);

// The pocket record a cycle record of the pocket chain starts; null for null.
inline CcpRecord* ccpRecordOf(CycleRecord* cycle) { return reinterpret_cast<CcpRecord*>(cycle); }
