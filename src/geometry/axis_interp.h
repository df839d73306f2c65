// axis_interp.h - tool axes interpolated along a path list: the points between two points take
// axes turned from the first axis toward the second, in their plane or by azimuth and tilt.
#pragma once

#include "geometry/path_list.h"

// Re-sets the axes of the points strictly between start and end, turned from the start axis
// toward the end axis by their share of the length L (of the index range when |L| < 1e-5).
// Returns 1; -20 for a null list, a list without axes or start/end outside the list.
int axisInterpolateRange(PathList* list, int start, int end, double length);
// The same, always by azimuth and tilt. Returns 1; 0 when |L| < 1e-5 (nothing done); -20 as
// axisInterpolateRange.
int axisInterpolateAzTilt(PathList* list, int start, int end, double length);
