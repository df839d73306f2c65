// zigzag_walls.h - the wall passes of the axis-parallel clearing: before the stripes are laid,
// every MAIN contour is prepared. A contour with open edges (negative tags) is handled run by run
// of its wall elements: a pass parallel to the run one step (or less) inside, the open stretch
// after it and the run itself become nodes of the nesting tree, and the run is replaced by its
// offset at half that distance. A closed contour goes to "INSEL", its offset at one step (or less)
// to "GKT" (both toured by the stripes), and it is replaced by its offset at half that distance.
// Also the node recording and the piece copies shared with the stripes.
#pragma once

#include <vector>

#include "pocket/contour_element.h"
#include "pocket/isect.h"
#include "pocket/layer_store.h"

// An element sequence of the preparation.
using ZigzagElems = std::vector<ContourElement>;

// ---- tree nodes in cutting order ----------------------------------------------------------------

// Starts a level's node sequence (the next node gets depth 0) and clears the failure mark.
void zigzagNodesStart();
// Records the n elements as the next node (ctreeAdd with the header's copy counting n, depth one
// more than the last node's). Returns the node number; -1 when the tree refuses it (code 3033 sent
// once per level and the failure mark set).
int zigzagRecordNode(const ContourElement* elements, int n, const ContourHeader& header);
// 1 once a node was refused in this level.
int zigzagNodesFailed();

// ---- runs ---------------------------------------------------------------------------------------

// The next run of unmarked elements (tag 0 or more): from the first unmarked element after a
// marked element 0; wrapping past the end when both element 0 and the last are unmarked and the
// unmarked sequence at the end starts above 0; else from 0. Returns 1; -1 when there is none.
int zigzagRunBounds(const ContourElement* elements, int n, int* firstOut, int* lastOut);
// Writes the run's there-and-back contour (the run, then its elements in reverse order, each
// reversed) into dst (room for 2 n). Returns its element count.
int zigzagCopyRun(ContourElement* dst, const ContourElement* elements, int n, int first, int last);
// Tags the run's elements -2.
void zigzagMarkRun(ContourElement* elements, int n, int first, int last);
// Offsets the contour by distance to side; the single result into out. Returns its count; -1 when
// the offset does not give exactly one contour with elements.
int zigzagOffsetSingle(const ContourElement* elements, int n, double distance, ZigzagElems* out,
                       int side);
// Offsets the run's there-and-back contour by distance to side. Returns 1 with the single result
// in out; -1 otherwise.
int zigzagOffsetRun(const ContourElement* elements, int n, int first, int last, double distance,
                    int side, ZigzagElems* out);
// The piece of a contour (n elements) between two crossing records, by their element numbers on
// the first (useB 0) or the second (useB 1) contour of the intersection, wrapping past n: the first
// element starts at r1's point, the last ends at r2's. Returns its count.
int zigzagPieceBetween(int useB, int n, ZigzagElems* out, const ContourElement* elements,
                       const IntersectionRecord& r1, const IntersectionRecord& r2);
// The marked elements that follow crossing r (its element number on the contour) on the contour,
// the first starting at r's point, at most n. Returns their count.
int zigzagMarkedRunAfter(ZigzagElems* out, const ContourElement* contour, int n,
                         const IntersectionRecord& r);
// Records the passes of one run: the offset (reversed) must cross the contour exactly twice; the
// piece of the offset between the crossings that lies inside the contour, then the marked run after
// its end crossing, become nodes. Returns 1; -1 when there are not exactly two crossings or no
// piece lies inside.
int zigzagAddRunPass(ZigzagElems offset, const ContourElement* contour, int n,
                     const ContourHeader& header);
// Records the run first..last (wrapping) as a node. Returns 1 (-1 when the tree refuses it).
int zigzagAddRunNode(int first, int last, const ContourElement* elements, int n,
                     const ContourHeader& header);
// Replaces the contour (first < 0) or its run first..last by the offset at half the distance.
// Returns 1; 0 when half the distance is below 0.0001; -1 when the offset or the crossings fail
// (the contour unchanged).
int zigzagReplaceByOffset(ZigzagElems* elements, int last, double distance, int side, int first);
// Prepares every MAIN contour (offsetStrict 0 meanwhile) and records the wall passes; the group of
// every MAIN header must be its index. Every contour is offset toward its header's working side
// (left of its direction when leftSide is set), which for the outer contours is outerSide.
// outDistance (may be null) gets the smallest offset distance used. Returns 1.
int zigzagPrepare(double step, int outerSide, double* outDistance);
