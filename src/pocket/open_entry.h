// open_entry.h - pockets with open sides (elements tagged -1 where the material ends) entered from
// outside: the strategy "stockOutin" (pockLevelFromStart) and "openPocket" (pockLevelOrdered).
// Rings are built as for a closed pocket; each tree node that still carries open elements is the
// place from which its neighbouring rings are entered by a straight line from the middle of its
// longest open element, a narrow pocket may be cleared by one straight cut, and the closed runs of
// the open node are cut as paths of their own. Rings no open side reaches are cut as in the
// closed case, unless plunging is forbidden ("noPlunge").
#pragma once

#include <vector>

#include "geometry/vec.h"
#include "pocket/contour_element.h"
#include "pocket/layer_store.h"

// The two strategies are declared in pock_level.h. pockLevelFromStart: the "stockOutin" level,
// results as pockLevelFull, 1 after a single cut, -1 after code 3020. pockLevelOrdered: the
// "openPocket" level, MAIN split into the open side's offset and the closed walls, then
// pockLevelFromStart; a level without open edges is cut closed on the reversed contours.

// 1 when some contour of the layer (as many as MAIN holds are scanned) has an element tagged -1.
int pockLayerHasOpenEdge(const char* name);
int pockMainHasOpenEdge();
// The lowest open node (state 0) whose ring has an element tagged -1; -1 when none.
int pockFirstOpenMarkedNode();
// Every contour of the layer made only of open elements gets all tags set to its index; their
// indices in listOut. Returns their number; -1 when a contour cannot be read or stored.
int pockRetagOpenContours(const char* name, std::vector<int>* listOut);
// For each listed MAIN index k the node k (k = 0) or m - k (k >= 1) gets all its tags back to -1.
void pockRemarkOpenNodes(int count, const int* list, int m);
// Adds MAIN contour 0 as a node of depth 0. Returns the node; -1.
int pockAddMainAsNode();
// Reverses the ring of every node that starts on an INPUT contour, or of every node (all 1).
void pockOrientNodes(int all);
// 1 when the contour's start (the start of element 1 when "filletCorners" is on and the contour
// has a line) lies within 100 contTol of an INPUT contour.
int pockStartsOnInput(int n, const ContourElement* elements);
// 1 when every element's tag is -1 (also for n = 0).
int contAllMarked(const ContourElement* elements, int n);
// Every element of v's ring tagged -2 gets v's node number. Returns 1 when something changed.
int pockClaimRuns(int v);
// Removes v from the child list of each of its parents (v's parent list stays). Returns the parent
// count, the parents in listOut.
int pockDetachParents(int v, std::vector<int>* listOut);
// The entry from v into ring B: q on v (the middle of its longest open element within reach), p
// on B. Returns the index of B's element holding p; -1 when none, or when crossTest is on and the
// line q-p crosses a closed wall.
int pockFindEntry(Point2D* q, Point2D* p, double reach, int crossTest, int b, int v);
// 1 when the line from q to p crosses no element with a tag of 0 or more of "MAIN" ("openPocket")
// or "INPUT" (otherwise); a touch at p, an overlap or a tangent does not count.
int pockEntryLineFree(const Point2D& p, const Point2D& q);
// Moves q away from p by distance along p-q. Returns 1; 0 (unchanged) closer than contTol.
int pockShiftAway(double distance, Point2D* q, const Point2D& p);
// Makes ring B start at p on its element k (a new block). Returns 1; -1.
int pockRotateNodeAt(int b, int k, const Point2D& p);
// Sends the open line from q to p. Returns linkEmitElement's result.
int pockEmitEntryLine(const Point2D& p, const Point2D& q);
// The single straight cut through a narrow wholly open MAIN contour. 1 done, 0 not applicable,
// -1 failure.
int pockSingleCutMain();
// The single straight cut through ring B, entered from v within reach. 1, 0, -1.
int pockSingleCutNode(int b, int v, double reach);
// Cuts the runs of v's ring that are not open, each as a path of its own. Returns 1; -1 when v's
// ring cannot be read.
int pockCutClosedRuns(int v, double step, const int* parents, int count);
// Reverses the ring of every node except keep.
void pockReverseOtherNodes(int keep);
// When the run first..last has more than one element and its last element turns back against the
// one before (dot product of directions below -0.5), that element is tagged -1 and last drops by
// one. Returns 1 trimmed, 0 not.
int pockTrimReversal(int first, int* last, ContourElement* ring, int n);
// Rebuilds MAIN for the ordered strategy: the open side's offset by distance, then the closed
// contours and a there-and-back contour per closed run. Returns 0; -1 when the offset fails.
int pockSplitOpenMain(double distance, double* allowances, int side);
// Appends every contour of from to to. Returns 0; -1.
int layerCopyAll(const char* from, const char* to);

// The shift the ring passes apply to the first step (minus "stockOffset" in a "stockOutin" level).
double pockStockShift();
// Run start: ordered flag, saved header and stock shift back to their load values.
void pockOpenEntryResetState();
