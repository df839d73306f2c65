// walker.h - the entry points of the constant-Z contour walker and of the Z-path rounding (their
// records are in geometry/slice_records.h and geometry/zlevel_records.h, where the geometry code
// reaches them). The step search with its grids is in walker_step.h, the walk and the tracing of a
// contour (offs3dTrace) in walker_trace.h; the rounding is not part of this library yet and
// reports failure.
#pragma once

#include "geometry/kont2d.h"
#include "geometry/slice_records.h"
#include "geometry/zlevel_records.h"
#include "zlevel/walker_step.h"
#include "zlevel/walker_trace.h"
#include "zlevel/zpath.h"

// Rounds every path of the list with radius. Returns 0 for a null or empty list or a radius that
// is not positive; -1 until the rounding is available (error record -1, the list unchanged, the
// no-rounding and skip-check switches of the contour module cleared as after every rounding).
int zpathListFillet(ZPathList* list, Kont2D* boundary, double radius);
