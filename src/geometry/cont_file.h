// cont_file.h - the contours of an exchange file as guide curves, one per contour, named after
// the contour's id and carrying its height band; arcs are linearised to a chordal tolerance. The
// tool assembly reads its holder and head profiles through here.
#pragma once

#include "geometry/guide_curve.h"
#include "geometry/lists.h"
#include "geometry/vec.h"

// Reads the contours of the file (any header kind; "| stdin" and '~' work). A contour is a
// "Contour" object; the '}' that closes the level opened after it makes its curve (kind 'p',
// points in the file's frame "Cs_o", "Cs_x", "Cs_y", "Cs_z", heights in z, offLow = surface,
// offHigh = surface - depth, name = the id cut to kGuideNameMax characters). A '}' of any other
// level only closes that level, and a contour without points makes no curve. The frame values a
// file sets stay in force for later reads until contFileResetState.
// Returns the curves in file order; null when the file cannot be opened or holds no complete
// contour, and when memory runs out (error record -1; no partial list is handed out).
GuideCurve* contFileRead(const char* path, double chordalTolerance);

// Appends the start only when the list is empty, then the end. Returns 1; 0 when an append fails
// or the list is null.
int contFileAddLine(double sx, double sy, double sz, double ex, double ey, double ez,
                    Pt3List* list);

// Appends the arc from S around Q to E, direction '-' clockwise, any other character
// counter-clockwise, at height z: S first when the list is empty, then points at equal angular
// steps of 2 acos((r - t) / r) (at least 0.001 radians) while the angle stays 0.0001 short of
// the sweep, then E itself. An end within 1e-7 of the start in x and y makes a full circle. An arc
// of radius below 0.0001 appends nothing. Returns 1; 0 when an append fails or the list is null.
int contFileAddArc(double tolerance, double sx, double sy, double ex, double ey, double z,
                   double cx, double cy, char direction, Pt3List* list);

// The curve of one contour: every point mapped by the file's frame. Null when memory runs out or
// the list holds no point.
GuideCurve* contFileMakePocket(double surface, double depth, const Pt3List* list);

// Reads "x,y,z" into out: x before the first comma, y before the second, z after it; a part
// that is not a finite number leaves its coordinate as it was. Returns 1; -1 when a comma is
// missing (only the coordinates before the missing comma are read) or an argument is null.
int contFileParseXyz(const char* text, Point3D* out);

// The frame back to the identity (origin 0, axes x, y, z). The cycles' run-start reset calls it,
// so that one run's frame never turns the profiles of the next.
void contFileResetState();
