// pock_geometry.h - the pocket contours of the pocket cycles: the contour objects of an exchange
// file read into layer INPUT (or the clamps into CLAMPS) with their heights, sides, allowances and
// open-edge tags, the preparation that orients, cleans and checks them before pocketing, and the
// allowance table the ring offsets read by contour position.
#pragma once

#include "pocket/ccp_fields.h"
#include "pocket/contour_element.h"

// Room of the allowance table: one entry per contour object read (the most a layer holds).
inline constexpr int kPockAllowanceRoom = 12000;

// The allowance table: kPockAllowanceRoom doubles, the first pockAllowanceCount() in use. The
// reader fills it in reading order; pockAllowancesFromLayer refills it by a layer's positions.
double* pockAllowances();
int pockAllowanceCount();
// Sets the table from the allowances of the layer's contours, entry i from contour i; the count
// becomes the layer's contour count. Returns that count; 0 for an unknown or empty layer.
int pockAllowancesFromLayer(const char* name);

// The height the heights of the contours are raised by: with the option "toolReference" exactly
// "center", half the tool diameter for a ball mill, the corner radius for a radius mill, else 0;
// 0 without the option.
double ccpToolReferenceOffset(CcpRecord* record);

// Reads the contour objects of the exchange file named by the record's geoSource (clamps 0, into
// INPUT, after the allowance table was cleared) or clampsSource (clamps 1, into CLAMPS). Lines,
// arcs and the start point "P" directly inside a "Contour" object are read; missing coordinate
// parts take the current point (first the options "currentX" and "currentY", then the end of the
// element before); the variables of the file set side, allowance, depth, surface, stock, pocket,
// open-edge tags, reversal and the number precision. Each contour is cleaned (scaled for the
// clean-up when the record asks for scaled lengths), reversed when asked and stored unless it is
// just two lines.
// Returns 1; 0 after an error record: the layer cannot be created (framework error "103"), no file
// name ("5"), the file cannot be opened ("6,(<name>)"), no variable scope ("4"); and after an
// engine code: a coordinate text that is not a number (3001), a contour of more than
// kContMaxElements elements (3029), more than kPockAllowanceRoom contour objects or a full layer
// (3033), no memory (3020).
int pockReadGeometry(CcpRecord* record, int clamps);

// Checks a prepared contour: consecutive elements whose end and start differ by more than 0.0001
// in x or y must lie within 100 x contTol (the gap stays open); an arc whose start and end
// distances from its centre differ by more than contTol is refitted (contArcFitEnds) when they
// differ by less than 100 x contTol. Returns 1 when the contour then is closed (contIsClosed);
// 0 for a gap or radius difference too large, an open contour, or n <= 0.
int contCheckRepair(ContourElement* elements, int n);

// Prepares INPUT (and CLAMPS with clamps 1) for pocketing: every contour closed, the orientation
// of the outer contours and islands set from the record's oriAutomatic and orientation (the outer
// orientation goes to pockEngine().ccpOuterOrientation), cleaned, a vanished contour deleted, the
// rest checked by contCheckRepair; clamps become islands running against the outer orientation.
// Returns 1; 0 after code 3011 (a contour not closed or not repairable) or 3020 (no memory).
int pockPrepareContours(CcpRecord* record, int clamps);

// Test seam: the allowance table emptied.
void pockGeometryResetState();
