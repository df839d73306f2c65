// approach_hook.h - the approach check of the roughing: installed into the boundary module when
// the stock mode asks for it, called by the region emitter for every approach move.
#pragma once

#include "geometry/vec.h"

struct SurfaceModel;

// first, second: the approach move; approach: the approach description; model: the part;
// params: the approach parameters. Returns a positive value when the approach move must be turned
// into a plunge. The records behind approach and params belong to the machining cycles.
using ApproachCheckHook = int (*)(const Point3D* first, const Point3D* second, const void* approach,
                                  const SurfaceModel* model, const void* params);
