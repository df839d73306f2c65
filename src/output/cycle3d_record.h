// cycle3d_record.h - the record of the 3D cycles: a cycle record followed by the 3D block, the
// settings every 3D cycle reads from its parameters (files, tool, feeds, planes, frames, approach
// and leaving macros, tilt and smoothing values). The Z-level finishing and roughing records
// extend it with their own blocks; the conversion of the geometry source reads and sets some of
// its fields, so it lives below the cycles.
#pragma once

#include <cstdint>

#include "framework/cycle.h"
#include "geometry/vec.h"
#include "output/cyc3d_files.h"

// The six temporary names of a run, in order.
enum Cyc3dTempName : int {
  kCyc3dTempBoundary = 0,  // boundary dump ("bnd")
  kCyc3dTempProfile = 1,   // profile dump ("prf")
  kCyc3dTempProfile2 = 2,  // second profile dump ("pr2")
  kCyc3dTempSync = 3,      // sync dump ("snc")
  kCyc3dTempSpare = 4,     // filled by nothing in this library
  kCyc3dTempConfig = 5,    // configuration file ("cfg"), named by the 3D reader
  kCyc3dTempNameCount = 6
};

// The folder of the temporary files when a record names none.
inline constexpr char kCyc3dDefaultTempDirectory[] = ".";

// Every member's initial value is the common 3D cycle's default; the descendants change a few.
// Texts marked "owned" are copies on the framework heap (memStrDup) that the record frees; null
// means not set. Lengths in the user's units, angles in degrees, Point3D three doubles.
struct Cycle3dRecord {
  CycleRecord base;
  char* geoSource = nullptr;        // owned: exchange file of kind "Geometry"
  char* polySource = nullptr;       // owned: the model file
  char* extraPolySource = nullptr;  // owned
  char* toolName = nullptr;         // owned
  std::int32_t toolType = 1;        // 1 ball mill, 2 end mill, 3 other
  double toolDiameter = 10.0;
  double cornerRadius = 0.0;
  double allowance = 0.0;
  std::int32_t coolant = 2;  // 1 on, 2 off
  double spindleSpeed = 2000.0;
  std::int32_t spindleRotation = 1;  // 1 clockwise, 2 counter-clockwise
  double planeFeedrate = 2000.0;
  double zFeedrate = 500.0;
  Point3D frameCs_o{0, 0, 0};
  Point3D frameCs_x{1, 0, 0};
  Point3D frameCs_y{0, 1, 0};
  Point3D frameCs_z{0, 0, 1};
  Point3D toolCs_o{0, 0, 0};
  Point3D toolCs_x{1, 0, 0};
  Point3D toolCs_y{0, 1, 0};
  Point3D toolCs_z{0, 0, 1};
  Point3D polyCs_o{0, 0, 0};
  Point3D polyCs_x{1, 0, 0};
  Point3D polyCs_y{0, 1, 0};
  Point3D polyCs_z{0, 0, 1};
  double infeedDepth = 10000.0;
  double infeedLength = 1.0;  // lateral stepover
  double clearanceDistance = 2.0;
  double clearancePlane = 900.0;
  double jumpStepDistance = 100.0;
  std::int32_t rapidMode = 0;  // 0 in the plane, 1 other
  double surface = 500.0;
  double depth = 1000.0;
  std::int32_t boundaryMode = 0;  // 0 axis, 1 on, 2 to, 3 past
  std::int32_t approachType = 1;  // 1 axis, 2 circle, 3 other, 8 ramp
  std::int32_t leavingType = 1;   // 1 axis, 2 circle, 3 other
  std::int32_t returnMacro = 0;   // 1 no, 2 yes
  double approachLength = 1.0;
  double leavingLength = 1.0;
  std::int32_t infeedDirection = 0;
  std::int32_t reverseDirection = 0;
  double circularMacroSegmentAngle = 5.0;  // the arc step of arcs turned into segments
  double circularMacroDirection = 0.0;
  double maxOutputLine = 10.0;
  std::int32_t toolReference = 1;  // 1 tip, 2 other
  char* frame = nullptr;           // owned: six parts joined by '/'
  std::int32_t frameOn = 0;
  std::int32_t frameOff = 0;
  std::int32_t lengthOfUnit = 0;  // 0 millimetre, 1 inch
  double machiningTolerance = 0.01;
  std::int32_t ncFormat = 0;  // 0 standard, 1 spline, 2 polyline
  double feedrateReductionAngle = 1.0;
  Point3D startPoint{0, 0, 0};
  std::int32_t smoothStepover = 0;
  char* tempDirectory = nullptr;  // owned; null stands for kCyc3dDefaultTempDirectory
  std::int32_t removeTempFiles = 1;
  // The run's temporary names (Cyc3dTempName order), each empty until its file is named.
  char tempNames[kCyc3dTempNameCount][kCyc3dTempNameSize] = {};
  std::int32_t startPointGiven = 0;  // 1 when a start point was read
  std::int32_t slopeCondition = 0;   // 0 none, 1 mixed, 2 Z-level, 3 horizontal
  double slopeAngle = 45.0;
  double retractPlane = 900.0;
  const char* defaultMessageFile = "rscyc.loc";  // not owned
  std::int32_t tiltStrategy = 0;                 // 0 none, 1 lead, 2 lag, 3 tilt, 5 radial
  double tiltAngle = 15.0;
  double maxTiltAngle = 90.0;
  double tiltOffset = 15.0;
  double fanDistance = 10.0;
  std::int32_t checkToolHolder = 0;
  std::int32_t avoidCollision = 0;
  double approachAxialLength = 0.0;
  double leavingAxialLength = 0.0;
  double maxOutputAngle = 15.0;
  std::int32_t smoothVectors = 1;
  double smoothInterval = 20.0;
  std::int32_t pivotSmooth = 0;
  double pivotHeight = 400.0;
  char traceDumpName[kCyc3dTempNameSize] = {};  // inclination dump ("trc")
  std::int32_t autoIndex = 0;
  double maxSegmentAngle = 45.0;
  double connectMacroRadius = 1.0;
  double connectMacroHeight = 0.0;
  char sync2DumpName[kCyc3dTempNameSize] = {};  // segment dump (shares the sync file)
  char spareDumpName[kCyc3dTempNameSize] = {};  // filled by nothing in this library
  std::int32_t fixedInclination = 0;
  double angleB = 0.0;
  double angleC = 0.0;
  double reducedFeedrate = 1000.0;
  // Set by the conversion of the geometry source.
  std::int32_t syncWritten = 0;         // 1 once a sync file was opened
  std::int32_t sideOfCompensation = 0;  // 1 right of the contour, 0 left
};

// The record's folder of temporary files: tempDirectory, or kCyc3dDefaultTempDirectory.
inline const char* cyc3dTempDirectory(const Cycle3dRecord* record) {
  return record != nullptr && record->tempDirectory != nullptr ? record->tempDirectory
                                                               : kCyc3dDefaultTempDirectory;
}
