// step_opt_flat.h - the flat-area finder on two drop nets of a small tool: a node lies on a flat
// area when the normal drop and the drop onto horizontal triangles only give the same height.
// The connected flat areas of each height are traced (grid_bnd_trace.h) and written as boundary
// blocks into the plane-boundary file (step_opt.h).
#pragma once

#include "geometry/kont2d.h"
#include "zlevel/zlevel_list.h"

struct SurfaceModel;
struct IntMatrix;

// Factor applied to the cutter's radius, corner radius and z offset for the two nets.
inline constexpr double kStepOptFlatShrink = 0.2;

// Finds the flat areas of the model inside the region and appends their outlines, at height
// z_u + c - c', to the plane-boundary file (stepOptPlaneFile). Returns 1 done (also when nothing
// was found, for a region narrower than 0.05, and when a cell matrix or the outline list cannot
// be created); -1 model copy, net creation, height list or file failures; a net build's code.
int stepOptFlatAreaBounds(const SurfaceModel* model, const Kont2D* region, ZLevelList* levels);
// stepOptFlatAreaBounds writing to the given path for the call.
int stepOptFlatAreaBoundsFile(const SurfaceModel* model, const Kont2D* region, ZLevelList* levels,
                              const char* path);
// As stepOptFlatAreaBoundsFile; the written heights (equal neighbours within 0.00001 merged) are
// then inserted into the level list with gap *MIN_STEPDOWN as plane levels.
int stepOptFlatAreaLevels(const SurfaceModel* model, const Kont2D* region, ZLevelList* levels,
                          const char* path);
// Debug dump of a matrix: one line of " 0" / " 1" per row into "<8-digit number>.txt" in the
// work directory. Returns 1; -1 when the file does not open.
int stepOptDumpGrid(const IntMatrix* matrix);
