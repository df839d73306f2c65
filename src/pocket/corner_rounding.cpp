// corner_rounding.cpp - corner rounding switched off: the first call reports it, every call fails
// and leaves the ring as it was.
#include "pocket/corner_rounding.h"

#include "pocket/engine_state.h"

namespace {
struct CornerState {
  bool reported = false;
};
CornerState cornerState;

int notRealised() {
  if (!cornerState.reported) {
    cornerState.reported = true;
    pockMessage(kPockCodeNotRealised);
  }
  return -1;
}
}  // namespace

int contRoundCorners(ContourElement* /*elements*/, int /*n*/, int /*capacity*/, double /*radius*/) {
  return notRealised();
}

int contRoundCornersByOffset(ContourElement* /*elements*/, int /*n*/, int /*capacity*/,
                             double /*radius*/, int /*inner*/) {
  return notRealised();
}

void ringCornerResetState() { cornerState = CornerState{}; }
