// cutter_shape.h - the cutter as the drop queries see it (type, radii, offsets, taper) and the
// conical ring that a tapered cutter carries above its cutting part. The surface model holds the
// cutters, the drop cutter lowers them; both derive the ring with the pure function below.
#pragma once

#include <cstdint>

// Cutter types of CutterShape::type.
constexpr std::int16_t kCutterBall = 1;
constexpr std::int16_t kCutterFlat = 2;
constexpr std::int16_t kCutterTorus = 3;
constexpr std::int16_t kCutterConeBand = 10;

// The cutter as the drop queries see it.
struct CutterShape {
  std::int16_t type;     // 1 ball, 2 flat end mill, 3 torus; 10 cone band (and 12) of the tool code
  double radius;         // R
  double cornerRadius;   // R for a ball, 0 for a flat end mill
  double zOffset;        // subtracted from a dropped height when a position is output or marked
  double taperLength;    // length of the tapered part
  double shankDiameter;  // shank diameter
  double bandLength;     // length of the cone band between taper and shank
  double taperAngle;     // taper angle in degrees
  std::int16_t tapered;  // non-zero: a tapered cutter (its taper ring widens the grid margins)
};

// The conical ring that a tapered cutter carries above its cutting part.
struct TaperRing {
  std::int32_t tapered;
  double taperAngle;  // degrees
  double taperLength;
  double r1;     // inner radius
  double r2;     // outer radius
  double h1;     // height of the inner rim above the cutter's height reference
  double h2;     // height of the outer rim
  double reach;  // r2 - R: how far the ring reaches beyond the cutter radius
};

// The taper ring of a cutter: theta = taper angle in radians; b = R for the ball, the corner
// radius for the torus, 0 otherwise; r1 = b cos theta + (R - b), h1 = -b sin theta, h2 = taper
// length, r2 = r1 + tan theta (h2 - h1), reach = r2 - R; flag, angle and length copied.
TaperRing cutterTaperRing(const CutterShape& cutter);
