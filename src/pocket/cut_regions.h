// cut_regions.h - the cut regions of the ring builders (bands of material cut by a ring, resolved
// against the island side). Cut mode is off: the builders' calls change nothing and answer 0, and
// switching cut mode on is refused with "function not realised" (sent once per run).
#pragma once

#include "pocket/contour_element.h"

// Switches cut mode: 0 keeps it off (returns 0); any other value sends 3021 once, leaves it off
// and returns -1.
int ringCutSetMode(int on);
// 1 while cut mode is on; always 0 for now.
int ringCutMode();
// The cut regions of the island rings. Returns 0 with cut mode off.
int ringCutIslands();
// Builds the cut band of a ring at radius r into a cut layer (backward selects CUT_BACK). Returns 0
// with cut mode off.
int ringCutBand(const ContourElement* ring, int n, double r, int backward);
// Resolves the cut regions of the pass. Returns 0 with cut mode off (1 would mean regions were
// left unresolved).
int ringCutRegions();
// Sets the cut state of the pass (0 none, 1 after an empty pass, 2 at the end). Returns 0.
int ringCutSetState(int state);
// Cut mode off and no report sent, as at each run start.
void ringCutResetState();
