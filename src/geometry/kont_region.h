// kont_region.h - operations on regions of closed contours: copies and conversions, placement,
// orientation and area, point classification, projections and distances, boundary lookup and the
// crossing test of a segment. Every negative result also sets the error record (source "kont2d").
// The orientation of one contour is in kont2d.h, the self-intersection test in kont_nest.h.
#pragma once

#include "geometry/geo_error.h"
#include "geometry/kont2d.h"
#include "geometry/kont_nest.h"
#include "geometry/lists.h"
#include "geometry/vec.h"

struct Boundary;
struct ZPath;

// Codes of the contour module.
constexpr int kKontNoBoundary =
    kGeoNoBoundary;  // no contour of the region passes through the point

// ---- construction and conversion --------------------------------------------------------------

// Deep copy of the region (outer contour and islands, not its successors), linked like the
// source; each copy owns an array of exactly count segments (at least 3); the copy has no mesh,
// next or outer prev, and no extra list. Null for a null region or when memory runs out.
Kont2D* kontCopy(const Kont2D* region);
// New counter-clockwise rectangle of 4 segments starting at (min x, min y); closed 0, z DBL_MAX.
// Null when memory runs out.
Kont2D* kontNewRect(const Point2D& p, const Point2D& q);
// New closed contour from the path's points (segment 0 from the last point to the first, then
// from each point to the next), z the path's z. Null for a null path, fewer than 3 points, or when
// memory runs out.
Kont2D* kontFromZPath(const ZPath* path);
// One contour per boundary of the list (outer boundaries and islands alike, by next), with a copy
// of its segments and z = the boundary's zLow when useZ is set, else 0; closed when its last end
// lies within 0.00001 of its first start. Collinear segments are merged, the contours nested
// (kontNestArray) and oriented: even depths as orientation (+1 counter-clockwise, -1 clockwise),
// odd depths the opposite. Returns the region list; null for a null list, a first boundary without
// segments, an orientation other than +1 or -1 (error record -20), or when memory runs out (error
// record -1, nothing left allocated).
Kont2D* kontFromRingList(const Boundary* list, int orientation, int useZ);

// ---- placement and orientation ----------------------------------------------------------------

// Sets z of every contour of the region. Returns 1 (also for null).
int kontSetZ(Kont2D* region, double z);
// Scales the region about the origin: box, z (an unset z stays DBL_MAX), segments, islands and
// the region's mesh.
// Returns 1 (also for a null or empty region).
int kontScale(Kont2D* region, double factor);
// Moves box and segments by (dx, dy) and z by dz (an unset z stays DBL_MAX), and the region's
// mesh; nothing for a null or empty region.
void kontTranslate(Kont2D* region, double dx, double dy, double dz);
// Reverses every contour of the region (segment order and each segment's ends). Returns 1.
int kontReverse(Kont2D* region);
// Merges each segment that continues the kept segment on the same line (gap and triangle area
// below 0.00001) into it; the last and first segments are never merged. Box recomputed. Returns 1
// (also for null; fewer than 2 segments are left alone).
int kontMergeCollinear(Kont2D* contour);

// ---- measures ---------------------------------------------------------------------------------

// Signed shoelace area of every contour of the region (counter-clockwise positive, so clockwise
// islands subtract). 0 for null or an outer contour of fewer than 3 segments. With a mesh, the
// area of its region triangles, with the sign of the outer contour's orientation.
double kontArea(const Kont2D* region);

// ---- point queries ----------------------------------------------------------------------------

// 0 null region, 1 outside the outer contour, 4 inside an island, 2 inside the region. With a
// mesh its classification decides (a point on the outer contour counts as outside).
int kontClassifyPoint(const Kont2D* region, const Point2D& p);
// Projects p onto the contour and returns the contour parameter (segment index + fraction); p is
// replaced by its projection. -1 (p unchanged) for a null or empty contour.
double kontProjectPoint(const Kont2D* contour, Point2D* p);
// Nearest point of the region's boundary to p in out. Returns 1; 0 when none (out unchanged).
int kontNearestPoint(const Point2D& p, const Kont2D* region, Point2D* out);
// 1 when a segment of the contour passes within tol of p, else 0.
int kontPointNearContour(const Point2D& p, const Kont2D* contour, double tol);
// The contour of the region passing within 0.001 of p: -1 the outer contour, k the island of
// index k (0-based); -202 (kKontNoBoundary) when none.
int kontBoundaryThrough(const Kont2D* region, const Point2D& p);
// As kontBoundaryThrough, with the on-contour test geoOnKontFine. A point on no contour of the
// region gives -202 (with a mesh the error record is also set to -202).
int kontBoundaryAt(const Kont2D* region, const Point2D& p);
// Distance from p to the region's boundary, positive inside the region, else negative; 0 within
// 1e-6 of a contour point.
double kontSignedDistance(const Point2D& p, const Kont2D* region);
// The first segment of the region walk that seg crosses: 1 with the crossing point in out; else 0.
int geoSegCutsKont(const Seg2D& seg, const Kont2D* region, Point2D* out);
