// height_raster.h - fills a height grid with the model's surface heights: a point probe is dropped
// along every column of the grid, and each row takes the sample that falls on it. The roughing's
// region emitter reads the grid as the material below the tool.
#pragma once

#include "geometry/height_grid.h"
#include "model/surface_model.h"

// Fills grid column by column with the heights of a point probe (a flat end mill of radius 0)
// dropped onto the model along the column's line (x0 + j cell, y0 .. y0 + (rows - 1) cell), with
// the model's step and tolerance both set to the cell size so that the samples fall on the rows.
// The grid's floor value becomes the smaller of the model's floorZ and its lowest z; that value
// is also the height over empty ground. A cell whose row got no sample, or whose sample is a gap,
// gets that floor value less 1. The drop works on a copy of the model (no boundary, no boundary
// check, no slope stop and no step jitter, so the raster has no holes of its own making); the
// tool override of the profile sample is on during the fill and off afterwards.
// A cell size below 1e-5 leaves the grid untouched. A failed column drop, or the interrupt check,
// ends the filling early: the grid keeps the columns filled so far.
// Returns 1; -1 when memory runs out (override off, nothing leaked, the columns filled so far
// kept); -20 for a null grid or model, a model without a cutter, or a grid of usable cell size
// without height arrays.
int modelFillHeightGrid(HeightGrid* grid, const SurfaceModel* model);
