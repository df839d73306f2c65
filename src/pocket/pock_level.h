// pock_level.h - pocketing one depth level: the cycle fills layer MAIN with the level's outer
// contours and islands and hands it to pockLevel, which prepares the start point and the engine's
// settings, chooses the level strategy and writes collected output. Also the steps the run applies
// to MAIN before that (wall-angle allowances, the marking near the outer boundary), the test for a
// full circle and the edge-movement settings. The level strategies are not in the library yet:
// each reports the function as not realised (code 3021, once per run) and fails, so a run never
// ends with an empty toolpath reported as success.
#pragma once

#include "geometry/vec.h"

// Pockets MAIN at the current level. Returns the strategy's result (-1 while the strategies are
// not in the library).
int pockLevel();
// Pockets MAIN without a stepover. Returns -1 after code 3021.
int pockLevelSimple();

// The level strategies: clearing by rings, by stripes, from an open side, open pockets in order.
// Not in the library yet: each returns -1 after code 3021 (sent once per run).
int pockLevelFull();
int zigzagLevel();
int pockLevelFromStart();
int pockLevelOrdered();

// 1 when the cut regions were switched on for the current level (read by the ring builders).
int pockCutRegionsOn();

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
// Stores the edge-movement step, limit and side; edge movement is on when the limit is at least
// step + the engine tolerance or "*EDGE_MOVEMENT" is 2.
void pockSetEdgeMovement(double step, double limit, int side);
struct PockEdgeMovement {
  double step;
  double limit;
  int side;
  int on;
};
PockEdgeMovement pockEdgeMovement();

// Test seam: an observer called whenever pockLevel or pockLevelSimple receives MAIN (it may read
// the layer and the cycle's level top and depth). Null removes it.
using PockLevelObserver = void (*)();
void pockLevelSetObserver(PockLevelObserver observer);
// The per-run state (strategies' reports, cut regions, edge movement) back to the start of a run;
// every pocket run calls it from its init phase. The observer stays.
void pockLevelRunReset();
// Test seam: the observer removed and the run state reset.
void pockLevelResetState();
