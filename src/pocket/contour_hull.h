// contour_hull.h - the convex hull of a point set by gift wrapping with a monotonic pseudo-angle,
// used by the axis-parallel clearing to find the principal direction of a pocket.
#pragma once

#include "geometry/vec.h"

// A monotonic measure of the angle of the direction from b to a, in degrees from 0 to below 360:
// with dx = a.x - b.x, dy = a.y - b.y and t = dy / (|dx| + |dy|) (0 when both are within 0.00001
// of 0): (2 - t) 90 when dx < -0.00001; else (4 + t) 90 when dy < -0.00001; else 90 t.
double contPseudoAngle(const Point2D& a, const Point2D& b);

// Copies the n points into work (room for n + 1 points) and rearranges them so that the hull
// points stand in work's front in counter-clockwise order, starting from the lowest point (y
// within 0.00001 counts as equal, then the larger x). Points on a hull edge may be among them;
// duplicates of a hull point are not (a copy of the start point ends the wrap like the start).
// Returns the number of hull points; 0 for n <= 0 or null arrays.
int contConvexHull(const Point2D* points, int n, Point2D* work);
