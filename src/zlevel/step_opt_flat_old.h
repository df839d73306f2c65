// step_opt_flat_old.h - the older single-net flat-area finder: one drop net of a ball a quarter
// of the cutter radius, flat heights from the net, each height's connected areas traced, cut into
// simple loops and written as "**BND" blocks of world coordinates into "sopttmp.bnd" in the work
// directory.
#pragma once

#include "geometry/kont2d.h"

struct SurfaceModel;

// Name of the finder's boundary file in the work directory.
inline constexpr const char* kStepOptOldFile = "sopttmp.bnd";

// Finds the flat areas of the model inside the region and writes every loop of area above R^2
// (R the cutter radius) at its height. Without the append flag a call starts a new file (opened
// "w" for its first block) and a new list of written heights; with it both carry on. Returns 1
// done (also when nothing was found or the region is narrower than 0.05); -1 null arguments, no
// memory, a net that cannot be made, or a file that does not open; a net build's code.
int stepOptFlatAreaBoundsOld(const SurfaceModel* model, const Kont2D* region);
// The i-th height written (from 0); 0.0 when none was kept at i.
double stepOptWrittenHeight(int i);
// Number of heights kept.
int stepOptWrittenCount();
// Sets the flag that keeps the file and the heights of earlier calls.
void stepOptSetAppend(int flag);

// Back to the state at load: no heights kept, append off, block counter 0.
void stepOptOldResetState();
