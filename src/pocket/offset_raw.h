// offset_raw.h - the raw offset of a closed contour of lines and arcs: every element moved sideways
// by the distance and consecutive offsets joined at the corners (an arc around a corner that the
// offset leaves, a trim where the offsets overlap). The result is one closed chain that may cross
// itself; the offset then cuts it into loops at its self-crossings.
#pragma once

#include "pocket/contour_element.h"

// Results of contOffsetRaw.
inline constexpr int kRawOffsetFailed = 0;
inline constexpr int kRawOffsetOk = 1;
inline constexpr int kRawOffsetBadCorner = -1;    // a corner could not be joined cleanly
inline constexpr int kRawOffsetDoublesBack = -2;  // the contour doubles back over its own start

// The raw offset of the closed contour src (n elements) by d >= 0 to side (+1 left of the
// direction of travel, -1 right; the normal side of contElemNormal), written into out (room for
// capacity elements, at most kContMaxElements used) with its element count in *count.
// Returns kRawOffsetOk; kRawOffsetBadCorner when a corner could not be joined cleanly (the chain
// has a gap there); kRawOffsetDoublesBack when the corner at the start is an outer corner or a
// reversal and the first and last source elements overlap (not under the strategy
// "axisParallel"); kRawOffsetFailed for n <= 0, an element without a tangent, an element type
// other than line and arc in a trimmed corner, or a need for more elements than out can take (code
// 3029 sent when that is kContMaxElements or more). After a failure *count holds the elements
// made so far: the limit when the element limit stopped the offset.
int contOffsetRaw(double d, const ContourElement* src, int n, ContourElement* out, int capacity,
                  int* count, int side);
