// ccp_rest.h - rest machining in the pocket cycle: the reference tool's first rings collected in
// layer REST, the rest pass that turns them into rest regions and pockets each region with the
// current tool, the pockets collected per sequence and cut later, and the cycle's two rest modes
// (per pocket group and level, or the whole INPUT at once).
#pragma once

#include "framework/cycle.h"

// The rest pass. name is a layer holding the reference rings (moved to SPAN, the layer freed), or
// null to read the rest information file, which also gives the radius. Each rest region is
// pocketed as INPUT of its own with the islands inside it; INPUT is restored on every exit, and
// the start point, start match, reach, first allowance and the rest-pass switch are put back.
// Returns 1; 0 after code 3253 (the reference tool is not larger); -1 after code 3252 (file
// unreadable) or 3020 (the region search or a layer operation failed; the layers freed).
int restMachining(const char* name, double refRadius);
// The first rings of a tool of the reference radius around MAIN (island rings, and the boundary
// rings unless the cycle's stock mode is on) collected in layer REST. The tool radius and the rest
// file name are put back; evaluation ends on, generation off. Returns 1; -1 after code 3020.
int ccpRestReference(double refRadius);
// Pockets INPUT from the current level top down by the level depth in infeed steps, contours of
// orientation orient in front. Level top and depth are put back afterwards. Returns 1; 0 after
// "103", "207" or a failed level.
int ccpPocketLevels(int orient);
// Appends every contour of name to POCKET with the current level top and bottom and the next
// sequence number. Returns 1; -1 when POCKET refuses one.
int ccpCollectPocket(const char* name);
// Moves, behind each run of one sequence, the next later run whose first contour starts at the
// same point. Returns 1; -1 when the layer cannot be read or rewritten.
int ccpJoinRunsAtSameStart(const char* name);
// Pockets each run of one sequence of name as INPUT of its own (ccpPocketLevels), starting near
// its first element's reference circle; INPUT and the start settings are put back. Returns 1; 0 on
// a failure.
int ccpRunSequences(const char* name);

// The cycle's rest modes. Per group and level of INPUT (copied to TEMP): the reference regions and
// a rest pass on each level. Returns 1; 0 on a failure (the rest radius unreadable: code 3252).
int ccpRunRestGroups(CycleRecord* cycle, int firstGroup, int lastGroup, int clamps);
// The whole of INPUT at once: reference regions for the reference radius, or the rest file.
// Returns 1; 0 on a failure.
int ccpRunRestSingle(CycleRecord* cycle);

// Run start: the sequence counter back to 0 and the rest state at load.
void ccpRestResetState();
