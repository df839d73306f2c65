// profile_drop.h - the drop of the tool along a plan curve, the model's profile: samples at a
// coarse step, at short boundary intervals and at the curve's corners, then adaptive refinement
// wherever the 3D path turns sharply or climbs steeply. The workhorse of the drop nets, height
// rasters, link and macro checks and the path collision check. Triangle and four-corner facet
// models are twins; the caller chooses by the model's facetType.
#pragma once

#include <cstdint>

#include "geometry/vec.h"
#include "model/surface_model.h"

struct GuideCurve;
struct Boundary;
struct PathList;

// Drops along model->profile into out (its count is first set to 0; each point: parameter s,
// the tool position, code hit | state << 8, the contact as axis and valid as axis-set byte when
// out has axes). Without out (probe mode) it only answers whether the tool can follow the curve's
// own heights. Returns 1 when the drop ran to its end; 0 when it stopped early (probe mode found
// the curve blocked, or the slope stop fired); -2 when an insertion into out failed (out keeps
// the points inserted so far). This -2 is an out-of-memory code, not a user break.
int dropAlongProfile(SurfaceModel* model, PathList* out);
// The four-corner facet twin; also -3 when the interrupt check asked to stop. It overwrites the
// model's step (see the set-up) and the cutter's corner radius for ball and flat end mill.
int dropAlongProfileQuads(SurfaceModel* model, PathList* out);

// The vertex-sample switch (1 at load).
void dropSetProfileVertices(int on);
// 1 when points i - 1 and i differ in class (a gap or outside point next to another).
int dropIsBreakBefore(const PathList* list, int i);
// Index of the first point whose parameter lies within tol of x, scanning in order and stopping
// at the first parameter beyond x + tol; -1 when none.
int dropFindParam(const PathList* list, double x, double tol);
// Slope across the curve at s from the position to the contact: 1 with |dz| / sqrt(dn^2 + dz^2)
// in out (dn along the plan normal), 0 when the curve has no tangent there or the contact lies
// within sqrt(1e-5) of the position in that plane.
int dropProfileSlope(const GuideCurve* curve, double s, const Point3D& position,
                     const Point3D& contact, double* out);
// 1 for a corner vertex: the first and last vertex, and a vertex whose plan direction turns by a
// cosine of at most 0.985; 0 next to a segment shorter than 1e-5.
int dropProfileIsCorner(int i, const GuideCurve* curve);
// 1 when the path must be refined at i1 (points i0, i1, i2 of list), with the refinement angle
// of the last drop of that facet type and the steepness factor f.
int dropNeedsRefine(const PathList* list, const CutterShape* cutter, double step, int i0, int i1,
                    int i2, double f);
int dropNeedsRefineQuads(const PathList* list, const CutterShape* cutter, double step, int i0,
                         int i1, int i2, double f);
// The installed facets (of the last drop of that type) whose plan boxes overlap the boxes of
// pieces of the curve (or of the boundary's intervals) grown by margin, in ascending order, in a
// framework heap array the caller frees with memFree. Null with count 0 when no facets are
// installed; null with message 331 (level 2) when memory runs out.
std::int32_t* dropProfileCandidatesTris(const GuideCurve* curve, double margin, int* outCount,
                                        const Boundary* boundary, double pieceLength);
std::int32_t* dropProfileCandidatesQuads(const GuideCurve* curve, double margin, int* outCount,
                                         const Boundary* boundary, double pieceLength);
// The refinement angle in degrees set by the last drop of each type.
double dropRefineAngleTris();
double dropRefineAngleQuads();

// Test seam: vertex samples on, angles 5 degrees, no facets installed.
void dropProfileResetState();
