// drop_cutter.h - the innermost step of every drop query: the resting height of a tool with a
// vertical axis lowered onto one triangle or four-corner facet, with the contact point and the
// kind of contact, for the ball, flat end mill, torus and cone band. Facet, edge and vertex
// contacts are tried in a fixed order with fixed tolerances; nothing here allocates.
//
// Heights are those of the tool's reference point: the ball centre (tip + R), the flat end
// mill's tip, the plane of the torus' tube centres (tip + corner radius), the cone band's tip.
#pragma once

#include <cstdint>

#include "geometry/vec.h"
#include "model/cutter_shape.h"
#include "model/surface_model.h"

// Work record of one drop of one shape onto one triangle.
struct TriangleDropRecord {
  Point3D v[3];         // the triangle's corners
  Point3D axis;         // plan position of the tool axis and a reference height above the model
  double bestHeight;    // in/out: the running best height
  Point3D contact;      // out: the point touched at the best height
  double radius;        // R (ball, flat end mill), R - c (torus)
  double flatRadius;    // R (ball, flat end mill), R - c (torus)
  double cornerRadius;  // c
  std::int32_t contactKind;  // 0 none; 2 flat bottom on a vertex or horizontal edge; 1 other
};

// Result codes of every drop routine below: 0 the best height was not raised; 1 raised by an
// edge, vertex or cone-band contact; 2 raised by a facet (plane) contact.

// Drops the cutter at axis (x, y; z a reference height above the model, on which no result
// depends) onto triangle tri. The ball and the cone band replace *bestHeight only by a strictly
// higher height, the flat end mill and the torus also by an equal one. When the result is
// non-zero *bestHeight, *contact and *contactKind are written, otherwise none of them.
// With the flat-only switch on, a triangle whose corner heights differ from corner 0's by 0.001
// or more gives 0 untested. An unknown cutter type gives 0. The out pointers must not be null.
int dropToolOnTri(const Tri3D& tri, const Point3D& axis, const CutterShape& cutter,
                  double* bestHeight, Point3D* contact, int* contactKind);

// The same for the two triangles (c0, c1, c2) and (c0, c2, c3) of a four-corner facet, the second
// with the best height left by the first; the flat-only switch is ignored. For the torus, a
// contact in the plane of the flat bottom reports the axis position in plan.
// Returns 2 when either triangle returned 2, else 1 when either raised, else 0.
int dropToolOnQuad(const QuadFacet& quad, const Point3D& axis, const CutterShape& cutter,
                   double* bestHeight, Point3D* contact, int* contactKind);

// Shape routines on a filled record; each returns a result code and raises the record's best
// height, contact point and contact kind.
int dropBallTriangle(TriangleDropRecord* rec);
int dropFlatTriangle(TriangleDropRecord* rec);
int dropTorusTriangle(TriangleDropRecord* rec);
// The cone band from radius r1 at height h1 above the tip to r2 at h2, closed at the top by a
// disc of radius r2: vertex and edge contacts on the band, the disc as a flat end mill.
int dropConeTriangle(TriangleDropRecord* rec, double r1, double r2, double h1, double h2);

// Derives the taper ring of a cutter (cutterTaperRing) into the module's ring; dropGetTaperRing
// reads it.
void dropDeriveTaperRing(const CutterShape& cutter);
const TaperRing* dropGetTaperRing();

// The flat-only switch of dropToolOnTri (the flat-area search turns it on around its drops).
void dropSetFlatOnly(int on);

// Test seam: flat-only switch off, taper ring cleared.
void dropResetState();
