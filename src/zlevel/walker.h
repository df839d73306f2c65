// walker.h - the entry points of the constant-Z contour walker and of the Z-path rounding (their
// records are in geometry/slice_records.h and geometry/zlevel_records.h, where the geometry code
// reaches them). The step search with its grids is in walker_step.h, the walk and the tracing of a
// contour (offs3dTrace) in walker_trace.h, the rounding (zpathListFillet) in zpath_fillet.h.
#pragma once

#include "geometry/kont2d.h"
#include "geometry/slice_records.h"
#include "geometry/zlevel_records.h"
#include "zlevel/walker_step.h"
#include "zlevel/walker_trace.h"
#include "zlevel/zpath.h"
