// cont_points.cpp - the point comparison of the 2D pocketing contours.
#include "geometry/cont_points.h"

int contPointsEqual(const Point2D& a, const Point2D& b) {
  return (g2dNearlyEqual(a.x, b.x) == 1 && g2dNearlyEqual(a.y, b.y) == 1) ? 1 : 0;
}
