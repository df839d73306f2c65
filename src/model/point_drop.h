// point_drop.h - the highest resting position of the tool over one plan position: the installed
// facet set's candidates (a grid bucket, or all facets) are rejected by plan box, scanned until
// the first facet below the running threshold (facets are sorted by descending highest z), and
// the cutter is dropped onto each remaining one. Triangle and four-corner facet sets are twins.
//
// The installed sets are process-wide state: install once, drop often, and switch to one
// sub-model at a time with a push followed by its pop. Nothing here allocates or frees.
#pragma once

#include <cstdint>

#include "geometry/lists.h"
#include "geometry/vec.h"
#include "model/drop_cutter.h"
#include "model/surface_model.h"

// Installs a triangle set: the list, the per-facet box arrays (index-aligned with the list and
// sorted with it by descending highest z), the height range zlo..zhi of facet contacts that
// count for result 2, and the miss-report switch. The arrays stay the caller's.
void dropSetTriModel(const Tri3List* triangles, const Point3D* boxMin, const Point3D* boxMax,
                     double zlo, double zhi, int missReport);
// Installs a four-corner facet set (same remarks).
void dropSetQuadModel(const QuadFacet* quads, int quadCount, const Point3D* boxMin,
                      const Point3D* boxMax, double zlo, double zhi, int missReport);

// Saves the installed triangle list and box arrays into the one saved slot and installs the
// sub-model's; the pop restores the saved set. The height range is kept. A push must be followed
// by its pop before the next push. A null sub-model installs an empty set.
void dropPushTriSubModel(const SubModel* sub);
void dropPopTriSubModel();
// The four-corner twins (the count is saved and replaced too).
void dropPushQuadSubModel(const SubModel* sub);
void dropPopQuadSubModel();

// Drops the cutter at (position->x, position->y) onto the candidates of the installed triangle
// set, raising position->z (the running best height, set by the caller to its start height) in
// place. refHeight is the z of the tool axis point handed to the single-facet drop (the model's
// highest z plus the cutter radius). candidates lists facet indices in ascending order (a grid
// bucket); null makes every facet a candidate and count is ignored; indices outside the set are
// skipped. *contact and *contactKind are those of the last raise; *contactKind is 0 when nothing
// raised the height.
// Returns 0 when no facet raised the height; 2 when some facet raised it by a facet contact and
// the best height right after lay within zlo..zhi; else 1. With the miss-report switch on, a
// query that touches nothing returns 1 (not for the cone band) with kind 0 and the contact
// (x, y, start threshold). Null position, cutter, contact or kind, or a non-finite x or y,
// return 0 with nothing written.
int dropPointTris(Point3D* position, double refHeight, const CutterShape* cutter,
                  const std::int32_t* candidates, int count, Point3D* contact, int* contactKind);
// The four-corner twin; its miss report returns 1 for the cone band too.
int dropPointQuads(Point3D* position, double refHeight, const CutterShape* cutter,
                   const std::int32_t* candidates, int count, Point3D* contact, int* contactKind);

// Test seam: both sets empty, ranges -10000..10000, switches off.
void dropPointResetState();
