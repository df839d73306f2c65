// cutter_shape.cpp - the taper ring of a cutter: where a cone of the taper's half-angle touches
// the cutter's corner arc, and how far the ring reaches beyond the cutter radius.
#include "model/cutter_shape.h"

#include <cmath>
#include <numbers>

TaperRing cutterTaperRing(const CutterShape& cutter) {
  TaperRing ring{};
  const double theta = cutter.taperAngle * std::numbers::pi / 180.0;
  const double r = cutter.radius;
  const double b = cutter.type == kCutterBall    ? r
                   : cutter.type == kCutterTorus ? cutter.cornerRadius
                                                 : 0.0;
  ring.tapered = cutter.tapered;
  ring.taperAngle = cutter.taperAngle;
  ring.taperLength = cutter.taperLength;
  ring.r1 = b * std::cos(theta) + (r - b);
  ring.h1 = -b * std::sin(theta);
  ring.h2 = cutter.taperLength;
  ring.r2 = ring.r1 + std::tan(theta) * (ring.h2 - ring.h1);
  ring.reach = ring.r2 - r;
  return ring;
}
