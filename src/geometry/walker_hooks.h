// walker_hooks.h - the constant-Z contour walker, the one-Z wall contact and the Z-path rounding as
// the geometry code calls them. They belong to the collision and Z-level code, which stack above
// geometry: the Z-level slicing installs the entry points here when the library loads, and the
// region offsets and fillets call them through here.
#pragma once

#include "geometry/kont2d.h"
#include "geometry/zlevel_records.h"

// Result of walkPrepare, walkTrace, walkWallContact and walkFillet when the entry point is not
// installed (the error record is set to it under "walker_hooks"; nothing is changed).
inline constexpr int kWalkNotInstalled = -1;

// The entry points, with the contracts of offs3dPrepare, offs3dTrace, offs3dRelease,
// zpathListFillet and wcollWallContact. A null slot is not installed.
struct WalkerHooks {
  int (*prepare)(CollCtx* ctx, WalkTool* tool, WalkParams* params);
  int (*trace)(CollCtx* ctx, WalkTool* tool, WalkParams* params, SliceContext* context);
  int (*release)(CollCtx* ctx, WalkTool* tool, WalkParams* params);
  int (*fillet)(ZPathList* list, Kont2D* boundary, double radius);
  int (*wallContact)(const Kont2D* walls, const Kont2D* region, double r0, const Seg2D& move,
                     Seg2D* outSegment, Point2D* outTouch, int* outElement, int* outKind);
};

// Installs the table (copied); null removes every entry point.
void walkSetHooks(const WalkerHooks* hooks);
// The installed table (every slot null when nothing is installed).
WalkerHooks walkHooks();

// Calls of the installed entry points. Not installed: prepare, trace, fillet and wall contact
// return kWalkNotInstalled; release returns 0 (nothing can have been prepared).
int walkPrepare(CollCtx* ctx, WalkTool* tool, WalkParams* params);
int walkTrace(CollCtx* ctx, WalkTool* tool, WalkParams* params, SliceContext* context);
int walkRelease(CollCtx* ctx, WalkTool* tool, WalkParams* params);
int walkFillet(ZPathList* list, Kont2D* boundary, double radius);
int walkWallContact(const Kont2D* walls, const Kont2D* region, double r0, const Seg2D& move,
                    Seg2D* outSegment, Point2D* outTouch, int* outElement, int* outKind);
