// cycle_state.h - run values of the machining cycles that lower code reads: the unit factor of a
// run's lengths (the boundary reader, the model loader and the 3D output divide by it) and the
// plane offset of the technology header. The cycles set them; everything below only reads them.
#pragma once

// Lengths of a computation are multiplied by this factor (10 / tool radius once a roughing or
// finishing set-up ran; 1.0 at load). Outputs divide by it to give the user's units.
extern double unitFactor;

// Offset added to the clearance plane of the technology header (set by the reading of the common
// 3D parameters, never negative; 0 at load).
extern double planeOffset;

// Both values back to their values at load (the cycles' run-start reset calls it).
void cycleStateResetState();
