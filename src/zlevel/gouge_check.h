// gouge_check.h - the gouge check of Z-level contour points: whether the tool, dropped at a
// traced start point's plan position onto the drop model, stands above that point. The level
// tracing refuses a start contact that gouges; the flat-area finders switch the check off around
// their own work. The drop model (the run's model with its cutter reduced by 0.01) is installed
// by the roughing controller; without one the check is off.
//
// Run state: the switch (1) and the installed drop model (none), reset by roughGougeResetState.
#pragma once

#include "geometry/vec.h"
#include "model/surface_model.h"

// A drop that rests more than this above the point's z gouges it.
inline constexpr double kGougeMargin = 0.01;

// The switch of the check: 1 on (at load), 0 off. The setter stores 0 or 1 and ignores any other
// value.
void roughSetGougeCheck(int value);
int roughGetGougeCheck();

// Installs the drop model (borrowed; null removes it). Heights are the cutter's reference
// heights as the drop code gives them (ball centre, torus tube plane, flat tip), which are the
// Z-level heights of the walk.
void roughGougeSetModel(const SurfaceModel* dropModel);
const SurfaceModel* roughGougeModel();

// 1 when the drop model's cutter, placed at the point's x and y from 10 below the point's z and
// dropped onto the model's facets (its grid cell when it has a grid) and onto every sub-model
// with its own cutter, touches and rests more than kGougeMargin above the point's z; 0 when it
// does not, or when no model with a cutter is installed; -1 for a null point. A point that is not
// finite gouges (it can never be called free).
int roughPointGouges(const Point3D* point);

// 1 when the switch is on and roughPointGouges gives 1; else 0.
int roughCheckGouge(const Point3D& point);

// Test seam and run-start reset: switch on, no drop model.
void roughGougeResetState();
