// pock_level.h - pocketing one depth level: the cycle fills layer MAIN with the level's outer
// contours and islands and hands it to pockLevel (or pockLevelSimple for a zero stepover). The
// level strategies are not in the library yet: both calls report the function as not realised
// (code 3021) and fail, so a run never ends with an empty toolpath reported as success.
#pragma once

// Pockets MAIN at the current level. Returns -1 after code 3021.
int pockLevel();
// Pockets MAIN without a stepover. Returns -1 after code 3021.
int pockLevelSimple();

// Test seam: an observer called whenever pockLevel or pockLevelSimple receives MAIN (it may read
// the layer and the cycle's level top and depth). Null removes it.
using PockLevelObserver = void (*)();
void pockLevelSetObserver(PockLevelObserver observer);
// Test seam: the observer removed.
void pockLevelResetState();
