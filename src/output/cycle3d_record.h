// cycle3d_record.h - the record of the 3D cycles: a cycle record followed by the fields of the 3D
// cycles that the conversion of their geometry source reads and sets. The 3D cycles extend it
// with their own settings.
#pragma once

#include <cstdint>

#include "framework/cycle.h"
#include "geometry/vec.h"
#include "output/cyc3d_files.h"

struct Cycle3dRecord {
  CycleRecord base;
  const char* geoSource = nullptr;   // exchange file of kind "Geometry" (not owned)
  const char* tempFolder = nullptr;  // folder of the temporary geometry files (not owned)
  // Names of the temporary files, each set when its file is first opened (empty until then).
  char boundaryFile[kCyc3dTempNameSize] = {};
  char profileFile[kCyc3dTempNameSize] = {};
  char profile2File[kCyc3dTempNameSize] = {};
  char syncFile[kCyc3dTempNameSize] = {};
  char traceFile[kCyc3dTempNameSize] = {};
  char sync2File[kCyc3dTempNameSize] = {};
  std::int32_t syncWritten = 0;  // 1 once a sync file was opened
  double surface = 0.0;
  double depth = 0.0;
  std::int32_t sideOfCompensation = 0;  // 1 right of the contour, 0 left
  double arcStep = 0.0;                 // degrees
  Point3D startPoint{0, 0, 0};
  std::int32_t startPointSet = 0;  // 1 when the geometry gave a start point
};
