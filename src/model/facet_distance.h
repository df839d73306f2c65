// facet_distance.h - distance queries of the surface model (a point to a triangle, the first
// facet within a radius, the nearest facet) and the step width of a ball-shaped tool. The holder
// collision model and the gouge checks of moves and macros ask these questions.
#pragma once

#include "geometry/vec.h"
#include "model/surface_model.h"

// Distance from p to the triangle, and the triangle's point nearest to p in out (may be null).
// The foot of the perpendicular counts when it lies inside the triangle; otherwise (also for a
// degenerate triangle) the edges V0V1, V1V2, V2V0 are measured in this order and a later edge
// wins only when strictly closer.
double modelPointTriDistance(const Tri3D& tri, const Point3D& p, Point3D* out);

// Whether a facet of the model or of one of its sub-models comes closer to p than r. Candidates
// are the facets of the grid cell at p (every facet without a grid, and every main facet when
// the main grid's cell at p holds no list; a sub-model's empty cell has none); a candidate whose
// plan box misses the square of half-width r around p is skipped, and the scan of a facet set
// stops at the first facet whose highest z lies below p.z - r (facets are sorted by descending
// highest z).
// Four-corner facets are measured as the triangles (Q0, Q1, Q2) and (Q0, Q2, Q3).
// Returns 0 when a facet came within r (out = its point nearest to p); 1 when none did (out
// unchanged); -20 for a null model or out.
int modelFindFacetNear(const SurfaceModel* model, const Point3D& p, double r, Point3D* out);
// The triangle and the four-corner twins that modelFindFacetNear chooses by facetType (same
// results; every facet set is measured by its own facet type).
int modelFindFacetNearTris(const SurfaceModel* model, const Point3D& p, double r, Point3D* out);
int modelFindFacetNearQuads(const SurfaceModel* model, const Point3D& p, double r, Point3D* out);

// The nearest point over the main triangles that pass the preselection of modelFindFacetNear
// (grid cell, plan square of half-width r, stop below p.z - r); the distance is not compared
// with r and sub-models are not looked at. The first of equal distances wins.
// Returns 1 with out set when at least one facet passed; 0 when none did (out unchanged); -20 for
// a null model or out, or a model that is not a triangle model.
int modelNearestFacet(const SurfaceModel* model, const Point3D& p, double r, Point3D* out);

// Step width of a ball-shaped tool of radius r at depth d: the chord 2 sqrt(2 r d - d^2) of the
// ball at that depth (0 where the depth gives no chord), at most 1.8 r; 1.8 r when d > r.
double modelStepWidth(double r, double d);
