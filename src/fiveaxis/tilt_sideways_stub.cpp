// tilt_sideways_stub.cpp - stand-in for the sideways axis tilt of the five-axis subsystem: fails.
#include "fiveaxis/tilt_sideways_stub.h"

int tiltSidewaysAlongPath(PathList*, double, int, double) { return -1; }
