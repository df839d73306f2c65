// cont_points.h - the point comparison of the 2D pocketing contours, also used by the loop walk
// of the segment-contour offset to decide whether two crossings lie at the same place.
#pragma once

#include "geometry/vec.h"

// 1 when the x and the y coordinates of a and b each differ by less than 0.0001, else 0.
int contPointsEqual(const Point2D& a, const Point2D& b);
