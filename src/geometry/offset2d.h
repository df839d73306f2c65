// offset2d.h - offsets of regions by a signed distance and the rounding of their corners. The
// offset never intersects offset segments: every segment of the region becomes a wall, and the
// constant-Z contour walker traces the path of the centre of a circle of radius |distance| that
// rolls along the walls; the traced paths, nested and oriented, are the offset region. The
// rounding passes each contour through the Z-path fillet. Both reach the Z-level code through the
// walker hooks (geometry/walker_hooks.h).
#pragma once

#include "geometry/kont2d.h"

// Codes of the offset (besides the walker's, the wall contact's and the validation's).
constexpr int kOff2dOpenWithIslands =
    -51;                                 // an open contour in a region with islands or successors
constexpr int kOff2dInvalid = -34;       // the region fails validation before the offset
constexpr int kOff2dNoCandidate = -23;   // open contour: no start candidate in a try
constexpr int kOff2dSweepStuck = -30;    // a tracing sweep removed no candidate
constexpr int kOff2dNothingTraced = -5;  // a contact was found but nothing was traced

// Distances below this do not offset.
constexpr double kOff2dMinDistance = 0.00001;
// File in the work directory that receives the region after ten failed tries.
inline constexpr const char* kOff2dProblemFile = "offset_problem.bnd";

// Offsets the region (outer contour with its islands; successors are not offset) by d: a positive
// distance to the right of a counter-clockwise outer contour (outwards), a negative one to its
// left (inwards); for a clockwise outer contour the sides swap. A lone open contour is offset on
// one side. The result contours run like the region's outer contour at even nesting depth and
// opposite at odd depth, z the region's. The no-rounding and skip-check switches are restored on
// every return.
// Returns 1 with the new region list in *out; 0 with *out null when |d| < kOff2dMinDistance, the
// region is null or empty, or the offset vanished; negative on failure (*out null, error record
// set, source "offset2d"): -20 null out, kOff2dOpenWithIslands, kOff2dInvalid, kOff2dNoCandidate,
// kOff2dSweepStuck, kOff2dNothingTraced, -1 memory or the walker could not be prepared, -47 / -41
// a result region fails validation, or a code of the walker or the wall contact. After ten failed
// tries the region is appended to kOff2dProblemFile in the work directory.
int off2dOffset(Kont2D* region, double d, Kont2D** out);

// Offsets the region in place: on success the record itself becomes the first result region (its
// segments, box, z, islands and the chain of further result regions), its predecessor still points
// to it and its former successors follow the last result region.
// Returns the result of off2dOffset: 1 replaced; 0 unchanged (also for a null or empty region or
// |d| < kOff2dMinDistance); negative unchanged (error record set).
int kontOffsetInPlace(Kont2D* region, double d);

// Rounds every contour of the region with radius r through the Z-path fillet (the outer contour on
// its inside, each island on its outside). A contour that the fillet drops or splits stays as it
// was. Returns 1 every contour rounded; 0 at least one kept as it was, or nothing to do (null or
// empty region, r < 1e-6); negative: the fillet's failure code, -1 memory, or the validation's code
// for the rounded region.
int kontFillet(Kont2D* region, double r);
