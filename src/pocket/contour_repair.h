// contour_repair.h - in-place repairs of the pocketing engine's contours: arcs whose centre no
// longer lies between their ends, arcs so flat or so small that they are lines, degenerate and
// short kink elements, and the clean-up that every producer of contours applies to its result.
// Offsets, trims and loop traces leave these defects behind; repairing them keeps the next offset
// fast and numerically sound. A contour is an array of n elements; n <= 0 is empty.
#pragma once

#include "pocket/contour_element.h"

// Radius beyond which an arc is a line for contArcsToLines.
inline constexpr double kContFlatArcRadius = 9999.9;
// contReduce works on contours of more elements than this only.
inline constexpr int kContReduceMinCount = 64;

// Recomputes an arc's centre from its ends, radius and direction: the centre goes on the chord's
// left normal (dir +1) or right normal (dir -1) at sqrt(r^2 - (c/2)^2) from the chord's middle,
// which is the centre of the shorter of the two arcs with these ends. Returns 1; 0 (unchanged)
// for another type, a chord below 1e-6 or a radius below half the chord.
int contArcCentreFromEnds(ContourElement* element);

// Moves the start (which 1) or the end (any other which) of e to p: a line simply; an arc keeps
// its radius and direction and gets its centre recomputed from its new ends
// (contArcCentreFromEnds; where that is not possible the centre stays). Returns 1; 0 for another
// type (unchanged).
int contMoveEndRecentre(ContourElement* e, const Point2D& p, int which);

// Repairs one arc with centre M0, radius r, start S and end E: r becomes the mean distance of S
// and E from M0 when it differs from it by less than 0.001; the element becomes a line from S to E
// when the centre recomputed on the chord's bisector (on M0's side) lies farther than 0.9 r from
// M0. A full circle (S on E) keeps its centre. Lines and other types are unchanged. Returns 0.
int contArcFitEnds(ContourElement* element);
// 1 when moving the arc's start (which 1) or end (2) to p and repairing it by contArcFitEnds would
// leave a chord shorter than 1e-6 (before or after the move) or reverse the chord's direction;
// else 0. The arc is not changed.
int contArcEndMoveFlips(const ContourElement& arc, const Point2D& p, int which);
// Every arc whose chord is at least contTol long gets its centre on the chord's perpendicular
// bisector, on the side of its old centre, at the distance that keeps its radius (the chord's
// middle when the old centre lies within contTol of the chord's line; unchanged when the radius
// is below half the chord).
void contArcsRecentre(ContourElement* elements, int n);
// Splits every arc at least a quarter circle long (radius x pi/2) at its middle into two arcs,
// examining the elements from the last to the first, as long as the array (room for capacity
// elements) has room for the extra element. Returns the new count.
int contSplitLargeArcs(ContourElement* elements, int n, int capacity);
// Every arc among elements 0 .. n - 2 (the last one is not examined) with a radius above
// kContFlatArcRadius becomes a line between its ends. Returns 1 when any changed, else 0.
int contArcsToLines(ContourElement* elements, int n);
// One pass over elements 1 .. n - 1 (element 0 is never removed; element 0 follows the last) that
// removes each element of length at most maxLen that is chained to both neighbours and sits
// between two turns of opposite sense or two reversals: both neighbours are joined at its middle
// (and repaired by contArcFitEnds) unless an arc neighbour would flip (contArcEndMoveFlips). The
// same position is examined again after a removal; the pass stops below three elements. Returns
// the new count (n itself for n < 3).
int contMergeShortElems(ContourElement* elements, int n, double maxLen);
// For a count above kContReduceMinCount only: contArcsToLines, then contMergeShortElems with maxLen
// repeated while the count falls. Returns 1 with the smaller count stored in *count; 0 when the
// count did not fall (arcs turned into lines stay lines) or is kContReduceMinCount or less.
int contReduce(ContourElement* elements, int* count, double maxLen);

// The clean-up of every contour the engine produces: elements whose start and end agree within
// 0.0002 (contPointsClose) and elements of another type are removed, a following line taking the
// removed element's start; arcs of a radius within 0.005 of 0 become lines; then
// contMergeShortElems with 0.01. Returns the new count.
int contCleanup(ContourElement* elements, int n);
