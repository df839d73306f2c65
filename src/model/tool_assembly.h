// tool_assembly.h - the whole tool above the cutter: neck, shank and holder as bands stacked along
// the tool axis, each widened by a radial clearance, and the clearance angle under which every
// band corner lies as seen from the cutter's edge. The holder checks start their tilt search from
// that angle; the holder collision model revolves the bands' half-profiles into bodies.
//
// Run state: the clearance and the switches below. The cycles set them before the assembly is
// filled; toolAssemblyResetState puts them back at the start of every top-level run.
#pragma once

#include <cstddef>
#include <cstdint>

#include "model/cutter_shape.h"

// Lengths in the model's units; heights measured from the tool tip along the axis.
struct ToolAssembly {
  std::int16_t type;         // cutter type, copied from the cutter
  double radius;             // cutter radius R
  double cornerRadius;       // cutter corner radius
  double zOffset;            // copied from the cutter
  double freeLength;         // length of the cutter part below the shoulder
  double taperLength;        // length of the tapered part, at most freeLength
  double shankDiameter;      // diameter reached above the taper band (2R when none is given)
  double bandLength;         // cone band above the taper, at most freeLength - taperLength
  double taperAngle;         // degrees
  double coneTop;            // height where the cone above the shoulder ends
  double holderStart;        // height where the shank ends and the holder begins
  double neckDiameter;       // diameter at the shoulder (at freeLength)
  double shankBandDiameter;  // diameter from coneTop to holderStart
  double holderConeTop;      // height where the holder's cone ends
  double holderDiameter1;    // holder diameter at holderStart
  double holderTop;          // top of the holder
  double holderDiameter2;    // holder diameter from holderConeTop to holderTop
  double clearanceAngle;     // radians
};
static_assert(sizeof(ToolAssembly) == 144);
static_assert(offsetof(ToolAssembly, radius) == 8 && offsetof(ToolAssembly, freeLength) == 32);
static_assert(offsetof(ToolAssembly, coneTop) == 72 && offsetof(ToolAssembly, holderTop) == 120);
static_assert(offsetof(ToolAssembly, clearanceAngle) == 136);

// Lengths and angles that agree within this count as equal; shorter lengths count as none.
inline constexpr double kToolLengthEps = 0.00001;
// Smallest fixed clearance.
inline constexpr double kToolMinClearance = 0.0001;

// Fills the assembly from the cutter and the tool keys: clearance c = max(0.2 R, 0.025 d1) (the
// fixed clearance when one is set) becomes the run's clearance; a grows by c unless the
// no-clearance switch is set, and becomes 2 x the fixed clearance when one is set. Free length =
// totalLength - tip height (R for types 1 and 12, the corner radius for 3, else 0) - a, at least
// 0; cone top = free length + length2; holder start = cone top + length1; neck and shank band
// diameters d2 + 2a and d1 + 2a, raised to 2R unless the no-minimum-diameter switch is set; the
// holder starts as the shank band; the clearance angle from the neck and shank band corners; then
// the cutter's taper (toolAssemblySetTaper). The whole record is cleared first. Null arguments
// are ignored.
void toolAssemblyInit(ToolAssembly* assembly, const CutterShape* cutter, double allowance,
                      double length1, double length2, double totalLength, double diameter1,
                      double diameter2);
// Taper length min(taperLength, free length); shank diameter as given (2R when below 0.00001 in
// size); band length min(bandLength, free length - taper length); taper angle in degrees. A shank
// diameter other than 2R raises the clearance angle to that of its corner. Null is ignored.
void toolAssemblySetTaper(ToolAssembly* assembly, double taperLength, double shankDiameter,
                          double bandLength, double taperAngle);
// The holder bands (call after toolAssemblyInit): f = 2 (a + clearance) (clearance left out with
// the no-clearance switch; a + clearance replaced by 2 x the fixed clearance when one is set);
// holder diameters d3 + f and d4 + f, each at least the band below it; holder cone top = holder
// start + length3, holder top = cone top + length4. A holder wider than the shank band raises the
// clearance angle to that of its corners. Null is ignored.
void toolAssemblySetHolder(ToolAssembly* assembly, double allowance, double diameter3,
                           double length3, double diameter4, double length4);
// The largest of shank diameter, 2R, neck, shank band and both holder diameters; 0 for null.
double toolAssemblyMaxDiameter(const ToolAssembly* assembly);

// Run switches, set before toolAssemblyInit.
void toolAssemblySetNoClearance(int flag);
// Sets the fixed clearance (at least kToolMinClearance).
void toolAssemblySetClearance(double value);
void toolAssemblySetNoMinDiameter(int flag);
// The run's radial clearance (1 until toolAssemblyInit sets it); the region emitter hands it to
// the holder collision model as the chord tolerance of the simple build.
double toolAssemblyClearance();

// Test seam and run-start reset: clearance 1, every switch off, no fixed clearance.
void toolAssemblyResetState();
