// cycle_state.cpp - the run values of the machining cycles that lower code reads.
#include "geometry/cycle_state.h"

double unitFactor = 1.0;
double planeOffset = 0.0;

void cycleStateResetState() {
  unitFactor = 1.0;
  planeOffset = 0.0;
}
