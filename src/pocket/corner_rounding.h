// corner_rounding.h - rounding of ring and open-pocket corners so that the tool does not stop dead
// in a sharp corner. contRoundCorners inserts fillet arcs at the sharp convex corners, or offsets
// the contour by the radius and back (which rounds every corner of one kind) and falls back to
// fillets; contRoundCornersByOffset offsets out and back and splices only the corner arcs of the
// result into the contour, leaving the rest of it untouched.
// Mode 0 rounds the corners that turn with the contour's orientation (the convex ones; the offsets
// go in first, then out), mode 1 the other ones (out first, then in).
#pragma once

#include "pocket/contour_element.h"

// Smallest fillet radius tried by cornerFillet.
inline constexpr double kContFilletMinRadius = 0.01;
// Room of the rounded contours: at most this many elements.
inline constexpr int kRoundMaxElements = 50000;

// Rounds the corners of the contour in place (room for capacity elements) with radius: fillets
// when mode is 0 (or a stock mode is on) and some convex corner is sharper than its stepover fillet
// allows, else the offset pair (retried at half the radius) checked to stay within 3 x radius of
// the source, else fillets; the result is cleaned up. Returns the new count; n for n = 0 or a
// radius below 0.01; -1 on failure (the contour unchanged).
int contRoundCorners(ContourElement* elements, int n, int capacity, double radius, int mode = 0);
// Splices the corner arcs of the offset pair into the contour (in place, room for capacity
// elements). Lowers the closeness tolerance to radius / 2 for the rest of the run. Returns the
// cleaned count; n for n = 0 or a radius below 0.01; -1 when the work buffer cannot be had or the
// result does not fit; -2 when the first offset gives nothing (the contour unchanged).
int contRoundCornersByOffset(ContourElement* elements, int n, int capacity, double radius,
                             int mode);

// ---- steps (exposed for tests) -------------------------------------------------------------

// Offsets by radius to the side given by mode and orientation, then the single result back by the
// distance the first offset used. The result goes to out (room for capacity). Returns its count;
// -1 when the work buffer cannot be had or out is too small; -2 when the first offset gives no
// contour or the way back does not give exactly one; -3 when the first offset gives several.
int contRoundByOffsetPair(const ContourElement* elements, int n, double radius, ContourElement* out,
                          int capacity, int mode);
// -1 when the start of some source element lies farther than limit from the result, else m
// (m <= 0 is returned as it is).
int contWithinDistance(const ContourElement* source, int n, const ContourElement* result, int m,
                       double limit);
// 1 when some corner of the contour's orientation class has a fillet radius rho (cornerFilletRadius
// with R and step) with radius - contTol > rho; else 0.
int contCornersFilletable(const ContourElement* elements, int n, double R, double radius,
                          double step);
// The stepover fillet radius of a sharp clockwise corner from prev into next: for an interior angle
// a of at most 60 degrees and a clockwise turn, rho = (step - R + R sin(a/2)) / (1 - sin(a/2)),
// halved when a < 0.5 rad; returns 1. Otherwise 0 (rho untouched).
int cornerFilletRadius(const ContourElement& prev, const ContourElement& next, double R,
                       double step, double* rho);
// Inserts a fillet at every corner of out (count *n, room for capacity) whose class equals its
// orientation; the fillets carry the first non-negative tag of source (-1 when none). Returns the
// new count (also in *n); -1 when a fillet is due and out already holds capacity - 1 elements.
int contInsertFillets(const ContourElement* source, int sourceCount, double radius,
                      ContourElement* out, int* n, int capacity);
// The fillet of radius x between a and b on side: 1 with that radius, 0 after halving it, -1 when
// none is found down to kContFilletMinRadius (at most 5 tries). On success a and b are not changed;
// the fillet's ends lie on them.
int cornerFillet(const ContourElement& a, const ContourElement& b, ContourElement* fillet, double x,
                 int side);
// The element moved by d along its normals on side; an arc's radius becomes radius - d x side x
// dir. Returns -1 when that radius falls below contTol, else 1.
int contOffsetElem(const ContourElement& e, ContourElement* out, double d, int side);

// The closeness tolerance of contRoundCornersByOffset (0.1 at the start of a run).
double contRoundTolerance();
// Starts a run: the closeness tolerance goes back to 0.1.
void ringCornerResetState();
