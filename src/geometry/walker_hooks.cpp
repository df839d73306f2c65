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

int walkPrepare(CollCtx* ctx, WalkTool* tool, WalkParams* params) {
  if (walkInstalled.prepare == nullptr) return walkNotInstalled();
  return walkInstalled.prepare(ctx, tool, params);
}

int walkTrace(CollCtx* ctx, WalkTool* tool, WalkParams* params, SliceContext* context) {
  if (walkInstalled.trace == nullptr) return walkNotInstalled();
  return walkInstalled.trace(ctx, tool, params, context);
}

int walkRelease(CollCtx* ctx, WalkTool* tool, WalkParams* params) {
  if (walkInstalled.release == nullptr) return 0;
  return walkInstalled.release(ctx, tool, params);
}

int walkFillet(ZPathList* list, Kont2D* boundary, double radius) {
  if (walkInstalled.fillet == nullptr) return walkNotInstalled();
  return walkInstalled.fillet(list, boundary, radius);
}

int walkWallContact(const Kont2D* walls, const Kont2D* region, double r0, const Seg2D& move,
                    Seg2D* outSegment, Point2D* outTouch, int* outElement, int* outKind) {
  if (walkInstalled.wallContact == nullptr) return walkNotInstalled();
  return walkInstalled.wallContact(walls, region, r0, move, outSegment, outTouch, outElement,
                                   outKind);
}
