// cut_regions.cpp - cut mode switched off: the ring builders' calls answer "nothing to do", and a
// request to switch it on is reported and refused.
#include "pocket/cut_regions.h"

#include "pocket/engine_state.h"

namespace {
struct CutState {
  bool reported = false;
  int state = 0;
};
CutState cutState;
}  // namespace

int ringCutSetMode(int on) {
  if (on == 0) return 0;
  if (!cutState.reported) {
    cutState.reported = true;
    pockMessage(kPockCodeNotRealised);
  }
  return -1;
}

int ringCutMode() { return 0; }

int ringCutIslands() { return 0; }

int ringCutBand(const ContourElement* /*ring*/, int /*n*/, double /*r*/, int /*backward*/) {
  return 0;
}

int ringCutRegions() { return 0; }

int ringCutSetState(int state) {
  cutState.state = state;
  return 0;
}

void ringCutResetState() { cutState = CutState{}; }
