// model_reduce.h - reduction of the collision candidates to a machining region before its levels
// are sliced: a triangle whose plan box, widened by the tool radius plus 0.1, lies wholly outside
// the region's outer contour or wholly inside one of its islands cannot touch the tool anywhere
// in the region, so every level of the region tests fewer triangles.
#pragma once

#include "geometry/kont2d.h"
#include "geometry/slice_records.h"

// A triangle's plan box is widened by the tool radius plus this margin.
inline constexpr double kReduceMargin = 0.1;
// List mode leaves candidate lists of this many pairs or fewer alone.
inline constexpr int kReduceMinPairs = 9;

// Reduces the context's candidates to its region (the first region of the chain). List mode
// (params->mode non-zero): for the outer contour and each island whose box is wider and taller
// than 2R, every pair whose triangle's widened box lies outside the outer contour (its low
// corner outside, no segment box met; touching boxes meet) or inside the island (low corner
// inside, no segment box met) loses its triangle; the pairs are compacted after each contour.
// Index mode: arczReduceByIndex. Returns 0 after a reduction; 1 when there was nothing to do
// (no region, a region without segments, no pair list or 9 pairs or fewer; recorded with code 1)
// or for null arguments.
int arczReduceElements(CollCtx* ctx, const double* radius, const WalkParams* params);

// Index mode: the outer contour only when the region's absolute area is below the area of the
// triangle list's plan box, islands whose box is wider and taller than 2R; boxes from the
// context's per-triangle corner arrays; removed indices compacted out after each contour.
// Returns 0 after a reduction; 1 when there was nothing to do (no region, no segments, no
// triangle list or candidate list; recorded with code 1).
int arczReduceByIndex(CollCtx* ctx, const double* radius);

// Index mode over the islands (box wider and taller than 2R) of every region of the chain.
// Returns 1 at once when the mode is positive; otherwise as arczReduceByIndex.
int arczReduceByBox(CollCtx* ctx, const double* radius, const WalkParams* params);

// 1 when the triangle box (xmin, ymin, xmax, ymax), widened by w, lies wholly on the far side of
// the contour: outside it for the outer contour (inside = 0), inside it for an island
// (inside = 1); 0 otherwise.
int arczBoxBeyondContour(const double box[4], double w, const Kont2D* contour, int inside);
