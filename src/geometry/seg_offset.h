// seg_offset.h - offset of a chain of segments, usually a closed contour, by a distance to one
// side: outside corners joined by a miter or a chamfer, inside corners trimmed, the loops of a
// large offset cut out, and a result that comes too close to the input retried with a slightly
// larger distance on a cleaned copy. Boundaries, profiles and tool profiles offset through here.
#pragma once

#include <vector>

#include "geometry/vec.h"

// Offsets the chain in (n segments) by d >= 0 to side +1 (left of its direction) or -1 (right;
// outward for a counter-clockwise contour) into out, which has room for outCap segments (the
// input count plus one per chamfered corner and one closing segment suffice, 2n + 1). The input
// is not changed. Returns the number of output segments; 0 when no offset keeping its distance
// from the input could be made, also after the last retry; -1 when memory runs out, a crossing
// table overflows or the result does not fit in outCap (out then unchanged); -20 for a null
// array, a negative count or room, a side other than +1 and -1, or d negative or not finite.
int segOffsetContour(const Seg2D* in, int n, double d, Seg2D* out, int outCap, int side);
// One attempt into out; may set the retry flag. Returns the count, 0 for no result, -1 when
// memory runs out or a crossing table overflows.
int segOffsetOnce(const Seg2D* in, int n, double d, std::vector<Seg2D>* out, int side);
// Raw offset with corner joins into out. Returns 1; -1 an inside corner whose offsets neither
// meet nor nearly touch; -2 first and last input segments overlap collinearly; -3 as 1 after a
// reversal; 0 on failure (a segment without direction or a failed corner join).
int segOffsetRaw(double d, const Seg2D* in, int n, std::vector<Seg2D>* out, int side);
// Join of the outside corner of a and b (a's end is the corner): both are replaced by their
// offsets trimmed to the join. Returns 1 chamfer (join holds the chamfer segment), 2 miter (join
// is the single miter point), -1 when a segment has no direction or the lines do not meet.
int pathCornerFillet(Seg2D* a, Seg2D* b, double d, Seg2D* join, int side);
// Parallel tolerance of the corner join: 1.02 for mode 1 (miters up to about 91 degrees of
// direction change), else 0.02 (only nearly straight corners).
void pathSetParallelTol(int mode);
// Cuts the start of raw at its last crossing with the circle of radius d about the input's first
// point. Returns the new count (raw resized).
int segTrimAtCircle(const Seg2D* in, std::vector<Seg2D>* raw, double d);
// Collapses short segments (length <= limit) between turns to their midpoints. Returns the new
// count; fewer than three segments are left unchanged.
int segThinContour(Seg2D* segs, int count, double limit);
// Removes every segment shorter than len. Returns the new count.
int segDropShort(Seg2D* segs, int count, double len);
// Removes every segment whose start and end agree within 0.0001 in x and y. Returns the count.
int segDropNullSegments(Seg2D* segs, int count);
// 1 when the summed length of the segments after j exceeds 0.4 times that before j.
int segOffsetTailDominates(const Seg2D* segs, int total, int j);
// 1 when the end of every output segment lies at least 0.9 d from the input (1 for no output).
int segOffsetKeepsDistance(const Seg2D* in, int n, double d, const Seg2D* out, int count);
// 0 when a turns into b the expected way and their directions do not oppose, else 1.
int segOffsetCornerCheck(const Seg2D& a, const Seg2D& b, int expectedTurn);

// Test seam: back to the state at load (retry flag clear, parallel tolerance 0.02).
void segOffsetResetState();
