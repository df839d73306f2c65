// pock_level.cpp - the per-level pocketing entry points, switched off until the level strategies
// exist: they report code 3021 and fail.
#include "pocket/pock_level.h"

#include "pocket/engine_state.h"

namespace {
struct LevelState {
  PockLevelObserver observer = nullptr;
};
LevelState levelState;

int pockLevelShell() {
  if (levelState.observer != nullptr) levelState.observer();
  pockMessage(kPockCodeNotRealised);
  return -1;
}
}  // namespace

int pockLevel() { return pockLevelShell(); }
int pockLevelSimple() { return pockLevelShell(); }

void pockLevelSetObserver(PockLevelObserver observer) { levelState.observer = observer; }

void pockLevelResetState() { levelState = LevelState{}; }
