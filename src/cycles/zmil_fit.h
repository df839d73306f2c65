// zmil_fit.h - a chain of 2D segments (each starting where the previous ended) turned into a
// shorter list of lines and arcs that stay within a tolerance of it. The same-Z output filter
// fits planar feed runs with it; a module-wide longest element length limits the lines and cuts
// long segments first.
//
// Process state: the longest element length (1e30 at load); callers that set it restore it.
#pragma once

#include "geometry/kont2d.h"
#include "geometry/lists.h"
#include "geometry/vec.h"

// The longest element length at load.
inline constexpr double kZmilMaxSegmentDefault = 1e30;
// Arcs never sweep this angle (3 pi / 4) or more; a circle's sweep beyond it is split in two.
inline constexpr double kZmilMaxSweep = 2.356194490192345;
// Shortest arc run, in segments.
inline constexpr int kZmilMinArcSegments = 5;

double zmilGetMaxSegment();
void zmilSetMaxSegment(double length);

// Appends to list the lines (kind 1) and arcs (kind 2, direction +1 counter-clockwise) that
// replace segments S[0..n) within tolerance t: lines grow while the chain keeps straight within t
// and no longer than the longest element length, arcs of at least 5 segments while every point
// stays within t of the circle, and a closed loop of 10 or more segments at the chain's end that
// is a circle becomes lead line, circle arcs and tail line. A tolerance below 0.00001 gives lines
// only. Returns 1; -1 no memory, a failed append or a degenerate segment inside a line run (error
// record set with "Zmilqdx"; elements appended before stay).
int zmilFitElements(const Seg2D* segments, int n, double tolerance, LineArcList* list);
// The chain with every segment longer than the longest element length cut from its start into
// pieces of that length (the last piece takes the rest), as a segment list. Null without memory.
Kont2D* zmilSplitLongSegments(const Seg2D* segments, int n);

// Test seam and run-start reset: the longest element length back to kZmilMaxSegmentDefault.
void zmilResetState();
