// pock_level.h - pocketing one depth level: the cycle fills layer MAIN with the level's outer
// contours and islands and hands it to pockLevel, which prepares the start point and the engine's
// settings, chooses the level strategy and writes collected output. Also the steps the run applies
// to MAIN before that (wall-angle allowances, the marking near the outer boundary), the test for a
// full circle and the edge-movement settings, and the contour-parallel level strategies (rings
// built into the nesting tree and linked into cuts); the axis-parallel strategy lives in
// zigzag_stripes.h; the open-side strategies in open_entry.h, the open-pocket rings of the stock
// modes in open_rings.h.
#pragma once

#include "geometry/vec.h"
#include "pocket/edge_corners.h"

// Pockets MAIN at the current level. Returns the strategy's result.
int pockLevel();

// The full contour-parallel level: island and boundary rings built into the nesting tree, related,
// and linked tree by tree (the start ring's tree first, then every other tree unless
// pockKeepFirstTreeOnly held as the level began and no rest pass runs) by the spiral linker, or
// the direct linker with direct linking, whose stepover is fitted to the narrowest gap between
// boundary and island rings for this level only. Returns the last linker result or the ring
// passes' result (>= 0); -1 after code 3020 (tree, offsets, rings or linking failed); the tree is
// freed on every exit. No ring at all: code 3213, the level ends normally. In stock mode with
// several contours the rings grow outward from the part and are clipped at the stock.
int pockLevelFull();
// 1 when a level begun now links only the tree of its start ring: a start ring is matched (the
// match a level keeps when it linked one tree only, as the level before this one left it), the
// rings are linked from the deepest (no direct linking), stock mode is off and the cycle retracts
// at each plane ("retractEachPlane", on at load). The start point is the only entry the level is
// given, so a tree elsewhere would need a plunge of its own. 0 otherwise.
int pockKeepFirstTreeOnly();
// The plain level: the first boundary and island rings only, each a node of its own, linked by
// the spiral linker. Results as pockLevelFull.
int pockLevelSimple();
// Makes the node's ring start in the middle of its longest line. Returns 1 rotated; 0 when the
// ring has no line or its longest is shorter than the tool radius; -1 when the node cannot be read
// or no block can be allocated.
int pockRotateToLongestLine(int node);
// The smallest linkElemDistance between any element of a SPAN contour and any of a GKT contour; 0
// when either layer is empty.
double pockSpanIslandGap();
// The number of equal steps the direct strategy puts into a gap: the integer part of gap / step
// plus 1 (1 for a step that is not positive or a gap that is not finite).
int pockDirectStepCount(double gap, double step);

// The axis-parallel level by stripes (zigzag_stripes.h).
int zigzagLevel();
// The strategies from an open side ("stockOutin") and open pockets in order ("openPocket"),
// built in open_entry.cpp (which see for the helpers).
int pockLevelFromStart();
int pockLevelOrdered();

// 1 when the cut regions were switched on for the current level (read by the ring builders).
int pockCutRegionsOn();

// The smallest wall angle (degrees, absolute) that counts: below it the walls are vertical.
inline constexpr double kCcpWallAngleMin = 0.00001;
// Raises each contour's allowance of the layer for the record's wall angle: for every contour
// whose top is not below the level bottom b, tan(w) (top - b - (1 - sin w) c) - (1 - cos w) c,
// scaled, with c half the tool diameter for a ball mill, the corner radius for a radius mill, else
// 0; the allowance table follows. Returns 0 without a wall angle (or without a running record),
// 1 otherwise.
int pockWallAngleAllowance(const char* name);
// 1 when the layer holds exactly one contour made only of arcs with one centre, one radius (each
// within 0.0001 of the first arc's) and one direction; the centre in centre (may be null).
// 0 otherwise.
int layerIsCircle(const char* name, Point2D* centre);
// In every contour after the first, tags with -1 each element whose middle lies within 0.07 of the
// first contour or outside it; the contours are stored back. Returns 1; 0 for fewer than two
// contours; -1 when a contour cannot be read or stored back.
int layerMarkNearFirst(const char* name);
// The edge-movement settings (pockSetEdgeMovement) live with the corner spurs.

// Test seam: an observer called whenever pockLevel or pockLevelSimple receives MAIN (it may read
// the layer and the cycle's level top and depth). Null removes it.
using PockLevelObserver = void (*)();
void pockLevelSetObserver(PockLevelObserver observer);
// The per-run state (strategies' reports, cut regions, edge movement) back to the start of a run;
// every pocket run calls it from its init phase. The observer stays.
void pockLevelRunReset();
// Test seam: the observer removed and the run state reset.
void pockLevelResetState();
