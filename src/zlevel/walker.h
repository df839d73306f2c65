// walker.h - the entry points of the constant-Z contour walker and of the Z-path rounding (their
// records are in geometry/zlevel_records.h, where the geometry code reaches them). Until the
// walker is built its entry points report failure.
#pragma once

#include "geometry/kont2d.h"
#include "geometry/zlevel_records.h"
#include "zlevel/zpath.h"

// Builds the walker's boxes and cell grids. Returns -1 until the walker is available (error
// record -1); a value of 0 or more when prepared.
int offs3dPrepare(WalkModel* model, WalkTool* tool, WalkParams* params);
// Traces the tool-centre path of one level. Returns -1 until the walker is available (error
// record -1); else 1 closed path, 0 open path, negative on failure.
int offs3dTrace(WalkModel* model, WalkTool* tool, WalkParams* params, SliceContext* context);
// Frees what offs3dPrepare built. Returns 1 (nothing is held until the walker is available).
int offs3dRelease(WalkModel* model, WalkTool* tool, WalkParams* params);
// Rounds every path of the list with radius. Returns 0 for a null or empty list or a radius that
// is not positive; -1 until the rounding is available (error record -1, the list unchanged, the
// no-rounding and skip-check switches of the contour module cleared as after every rounding).
int zpathListFillet(ZPathList* list, Kont2D* boundary, double radius);
