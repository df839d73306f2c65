// tool_axis.h - vector maths of the tilted tool axis: turning one axis toward another or sideways
// or by azimuth and tilt, limiting the tilt, and rotating vectors and points about a line (the
// interpolation of axes along a path list is in axis_interp.h). Angles are in radians; an axis is a
// unit vector from the tool tip up the tool.
#pragma once

#include "geometry/matrix4.h"
#include "geometry/vec.h"

// out = cos(phi) A + sin(phi) n, n the unit vector perpendicular to A in the plane of A and B on
// B's side. Returns 0; -1 with out = A when A and B are parallel (cross product below 1e-5).
int axisTurnToward(Point3D* out, const Point3D& a, const Point3D& b, double phi);
// out = cos(phi) A + sin(phi) unit(B x A). Returns 0; -1 with out = A when B x A is shorter
// than 1e-5.
int axisTurnSideways(Point3D* out, const Point3D& a, const Point3D& b, double phi);
// out = unit horizontal part of v. Returns 1; 0 with out = v when it is shorter than 1e-5.
int axisHorizontalDir(const Point3D& v, Point3D* out);
// Turns A toward B by phi with azimuth and tilt interpolated separately. Returns 0; 1 when B is
// reached (out = B); -1 when A or B has no horizontal part.
int axisTurnAzimuthTilt(Point3D* out, const Point3D& a, const Point3D& b, double phi);
// Limits the tilt of axis (z clamped to at most 1 first) to maxAngle. Returns 0 when it was below
// (no change), else 1.
int axisLimitTilt(Point3D* axis, double maxAngle);
// axisLimitTilt, or axisClampTiltRef while the reference-tilt switch is on.
int axisClampTilt(Point3D* axis, double maxAngle);
// The same limit measured in the reference system. Returns 0 when unchanged, else 1.
int axisClampTiltRef(double maxAngle, Point3D* axis);
// Sets the reference-tilt switch (0 at load).
void axisSetFrameTiltLimit(int flag);
// The axis (sin t d.x, sin t d.y, cos t).
Point3D holderAxisFromTilt(const Point3D& d, double t);
// Turns unit a toward unit b by t in their plane. Returns 0; 1 with out = b when t exceeds their
// angle; -1 with out = a when their cross product is shorter than 0.00001.
int holderRotateToward(const Point3D& a, const Point3D& b, double t, Point3D* out);
// Rotates v about the axis a by phi (right-hand rule). Returns 1; 0 with v unchanged when a and v
// are parallel or a has no length.
int axisRotateAbout(Point3D* v, const Point3D& a, double phi);
// The frame at o whose z axis is z (made unit): y = unit(z x (0,0,1)), or unit(z x (0,1,0)) when
// z is vertical, x = unit(y x z); m maps frame to world, inv back. Both are the identity when
// o = 0 and z = (0, 0, 1) within 1e-5. Returns 1; -1 when z has no length or no inverse exists.
int axisFrameAlong(const Point3D& o, const Point3D& z, Matrix4* m, Matrix4* inv);
// Rotates p about the line through o along z by phi. Returns 1; -1 as axisFrameAlong.
int axisRotatePointAboutLine(Point3D* p, const Point3D& o, const Point3D& z, double phi);

// Test seam: back to the state at load.
void axisResetState();
