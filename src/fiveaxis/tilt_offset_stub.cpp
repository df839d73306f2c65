// tilt_offset_stub.cpp - stand-in for the vertex offset of the five-axis subsystem: no result.
#include "fiveaxis/tilt_offset_stub.h"

int tiltOffsetPolyline(const Seg2D*, int, double, Seg2D*, int) { return 0; }
