// nearest.h - nearest-point queries on segments and polylines, measured in 3D, in XY only or in
// pure 2D, the closest approach of two 3D segments, and a polyline that carries one value per
// point, so that its nearest point also yields an interpolated value (approach moves, holder
// lifts, boundary distances and contact searches ask these questions).
#pragma once

#include "geometry/vec.h"

// A polyline with one value per point. Made by ppolyNew with room for capacity points; the
// caller fills points and values and sets count (0 <= count <= capacity). The creator owns it.
struct ParamPolyline {
  int capacity;
  int count;
  Point3D* points;
  double* values;
};

// ---- point to segment -------------------------------------------------------------------------
// A segment shorter than 1e-5 (and a point beyond either end) gives the nearer end, B on a tie.
// The output point may be null when only the distance is wanted.

// Distance from p to the segment ab in 3D; the nearest point of the segment in out.
double plineNearestOnSeg3(const Point3D& a, const Point3D& b, const Point3D& p, Point3D* out);
// The same measured in XY: the distance ignores z, and the point returned lies on the 3D segment
// with its z interpolated.
double plineNearestOnSegXY(const Point3D& a, const Point3D& b, const Point3D& p, Point3D* out);
// The same in 2D.
double plineNearestOnSeg2(const Point2D& a, const Point2D& b, const Point2D& p, Point2D* out);

// ---- point to polyline ------------------------------------------------------------------------
// The smallest distance over the segments of the polyline points[0 .. count-1], with the nearest
// point and the index of the end point of the winning segment (1 for the first segment); the
// first of equal distances wins. Fewer than two points (or null points) find nothing: the result
// is 0, out = p and index 0. out and outIndex may be null.

double plineNearest3(const Point3D* points, int count, const Point3D& p, Point3D* out,
                     int* outIndex);
// As plineNearest3 in XY; a single point gives that point, index 1 and its XY distance.
double plineNearestXY(const Point3D* points, int count, const Point3D& p, Point3D* out,
                      int* outIndex);
// As plineNearest3 on a 2D polyline.
double plineNearest2(const Point2D* points, int count, const Point2D& p, Point2D* out,
                     int* outIndex);

// ---- two segments -----------------------------------------------------------------------------

// Whether the segments ab and ef pass each other within both segments, seen along their common
// normal. Returns 1 with outP on ab at the crossing and outQ the point of ef nearest to outP;
// 0 (outputs unchanged) when either segment is shorter than 1e-5, they are parallel (cross
// product of the unit directions below 1e-5) or their projections do not cross; -1 when the
// projection frame cannot be inverted; -20 for a null output (error record set for both).
int plineSegSegCross3(const Point3D& a, const Point3D& b, const Point3D& e, const Point3D& f,
                      Point3D* outP, Point3D* outQ);
// Shortest distance between the segments ab and ef, with the closest points outP on ab and outQ
// on ef (either may be null). Passing segments give the distance along the common normal;
// otherwise the smallest of the end-to-segment distances, in the order e, f to ab, then a, b to
// ef, a later one replacing only when strictly smaller.
double plineSegSegDist3(const Point3D& a, const Point3D& b, const Point3D& e, const Point3D& f,
                        Point3D* outP, Point3D* outQ);

// ---- polyline with values ---------------------------------------------------------------------

// A new polyline with room for n points (at least 1), count 0. Null when memory runs out.
ParamPolyline* ppolyNew(int n);
// A copy with the same capacity, points and values. Null for null, for a polyline without arrays,
// a capacity below 1 or a count outside [0, capacity] (error record -20), or when memory runs out
// (error record -1).
ParamPolyline* ppolyCopy(const ParamPolyline* poly);
// Releases a polyline; accepts null.
void ppolyFree(ParamPolyline* poly);
// plineNearest3 over the polyline's points; outValue is interpolated between the values of the
// winning segment's ends by |nearest - start| / |segment| (the start value for a segment shorter
// than 1e-5). Returns the distance; -20 (error record set, outValue 0, outPoint p) for a null
// polyline, fewer than two points or a count beyond the capacity. Outputs may be null.
double ppolyNearest3(const ParamPolyline* poly, const Point3D& p, double* outValue,
                     Point3D* outPoint);
// The same with plineNearestXY, the fraction measured in XY; returns the XY distance.
double ppolyNearestXY(const ParamPolyline* poly, const Point3D& p, double* outValue,
                      Point3D* outPoint);
