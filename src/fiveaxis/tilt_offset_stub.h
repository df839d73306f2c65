// tilt_offset_stub.h - the polyline offset of the five-axis tool-axis control as the boundary
// offset calls it. The five-axis subsystem is not part of the library yet: this stand-in always
// fails, so a boundary offset that needs it fails cleanly with its own message.
#pragma once

#include "geometry/vec.h"

// Offsets the chain segs (count segments) by distance to side (+1 left, -1 right, as the
// segment-contour offset) by offsetting its vertices, into out (room for at least twice count and
// never fewer than 2000 segments). Returns the number of output segments, or a value below 1 when
// it fails. The stand-in returns 0 for every input and leaves out unchanged.
int tiltOffsetPolyline(const Seg2D* segs, int count, double distance, Seg2D* out, int side);
