// cycle_state.h - run values of the machining cycles that the framework's 3D output reads: the
// technology record of a run, the unit factor of its lengths and the plane offset of its header.
// The cycles fill them; the output layer only reads them.
#pragma once

#include <cstdint>

// The technology of one roughing or finishing run, handed to out3dWriteTechnology. Lengths are
// in the computation's scaled units (multiplied by unitFactor); feeds and speeds are as given.
// Optional feeds and speeds are 0 when not used.
struct TechnologyRecord {
  std::int32_t toolNumber = 0;
  double feed = 0;          // plane feed FX
  double plungeFeed = 0;    // plunge feed FZ
  double spindleSpeed = 0;
  std::int16_t spindleDirection = 0;  // 0 none, 2 counter-clockwise, any other value clockwise
  double clearanceDistance = 0;
  double clearancePlane = 0;
  double reducedFeed = 0;
  double fullSectionFeed = 0;
  double approachFeed = 0;
  double retractFeed = 0;
  double infeedFeed = 0;
  double clearanceFeed = 0;
  double leadingEdgeFeed = 0;
  double trailingEdgeFeed = 0;
  double finalPathFeed = 0;
  double springPathFeed = 0;
  double fastRetractFeed = 0;
  double finalPathSpindleSpeed = 0;
  double springPathSpindleSpeed = 0;
  double fullSectionSpindleSpeed = 0;
};

// Lengths of a computation are multiplied by this factor (10 / tool radius once a roughing or
// finishing set-up ran; 1.0 at load). Outputs divide by it to give the user's units.
extern double unitFactor;

// Offset added to the clearance plane of the technology header (set by the reading of the common
// 3D parameters, never negative; 0 at load).
extern double planeOffset;

// Test seam: both values back to their values at load.
void cyc3dResetRunState();
