// technology_record.h - the technology of one roughing or finishing run, as the machining cycles
// hand it to the 3D output layer's technology header (out3dWriteTechnology).
#pragma once

#include <cstdint>

// The technology of one roughing or finishing run, handed to out3dWriteTechnology. Lengths are
// in the computation's scaled units (multiplied by unitFactor); feeds and speeds are as given.
// Optional feeds and speeds are 0 when not used.
struct TechnologyRecord {
  std::int32_t toolNumber = 0;
  double feed = 0;        // plane feed FX
  double plungeFeed = 0;  // plunge feed FZ
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
