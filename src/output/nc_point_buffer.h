// nc_point_buffer.h - the growable array of the points of one feed run, which the 3D output
// layer collects in NC modes 1 and 2 and writes as one spline or polynomial block.
#pragma once

#include "geometry/vec.h"

// Room of a new point buffer, and its growth step.
inline constexpr int kOut3dBufferStep = 1000;

// Growable array of the points of one feed run in NC modes 1 and 2.
struct NcPointBuffer {
  int capacity;
  int count;
  Point3D* points;
};

// The point buffer. New: null for a capacity below 1 or when memory runs out.
NcPointBuffer* out3dPointBufNew(int capacity);
// Appends a point, growing the buffer by kOut3dBufferStep when full. Returns 1; -1 for a null
// buffer or when it cannot grow (buffer unchanged).
int out3dPointBufAdd(NcPointBuffer* buffer, const Point3D& point);
// Frees a buffer; accepts null.
void out3dPointBufFree(NcPointBuffer* buffer);
