// spline_nc.h - the two NC text blocks that hand a feed run to the control as a smooth curve: a
// "#D_SPLINE" block (each cubic segment with its arc-length map) and a "POLY" block, written as
// literal NC lines through the 3D output layer.
#pragma once

#include "geometry/spline.h"

// Write the blocks as literal NC lines of the current output cycle. A segment whose degree is not
// 4 stops the block with the trace "Spline ist nicht kubisch : <degree>" at level 9.
// Return the number of segments written.
int splWriteDSpline(const CubicSpline* spline, const SplineArcMap* map, double feed);
int splWritePoly(const CubicSpline* spline, double feed);
