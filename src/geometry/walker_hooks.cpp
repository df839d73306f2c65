// walker_hooks.cpp - the slot of the walker's entry points. It is kept apart from every run state:
// it is filled once when the library loads and no reset clears it.
#include "geometry/walker_hooks.h"

#include "geometry/geo_error.h"

namespace {
constinit WalkerHooks walkInstalled{};

int walkNotInstalled() { return geoFail(kWalkNotInstalled, "walker_hooks"); }
}  // namespace

void walkSetHooks(const WalkerHooks* hooks) {
  walkInstalled = hooks != nullptr ? *hooks : WalkerHooks{};
}

WalkerHooks walkHooks() { return walkInstalled; }

int walkPrepare(WalkModel* model, WalkTool* tool, WalkParams* params) {
  if (walkInstalled.prepare == nullptr) return walkNotInstalled();
  return walkInstalled.prepare(model, tool, params);
}

int walkTrace(WalkModel* model, WalkTool* tool, WalkParams* params, SliceContext* context) {
  if (walkInstalled.trace == nullptr) return walkNotInstalled();
  return walkInstalled.trace(model, tool, params, context);
}

int walkRelease(WalkModel* model, WalkTool* tool, WalkParams* params) {
  if (walkInstalled.release == nullptr) return 0;
  return walkInstalled.release(model, tool, params);
}

int walkFillet(ZPathList* list, Kont2D* boundary, double radius) {
  if (walkInstalled.fillet == nullptr) return walkNotInstalled();
  return walkInstalled.fillet(list, boundary, radius);
}
