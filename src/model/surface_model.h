// surface_model.h - the part to be machined as the drop and collision queries see it: planar
// facets (triangles or four-corner facets) sorted by descending highest z, their per-facet boxes,
// the model box, the cutter of the drops, the chain of sub-models with cutters of their own, and
// the plan-position bucket grids. Queries that need another allowance work on a shallow copy.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>

#include "geometry/lists.h"
#include "geometry/triangle_grid.h"
#include "geometry/vec.h"
#include "model/cutter_shape.h"

struct Boundary;    // machining boundary of the boundary module (borrowed)
struct GuideCurve;  // profile of the guide-curve module (borrowed)

// A four-corner facet, the same 98-byte record as one facet of the binary facet file: flags,
// then four corners. A triangle stored this way repeats its third corner as the fourth.
#pragma pack(push, 1)
struct QuadFacet {
  std::int16_t flags;
  Point3D corners[4];
};
#pragma pack(pop)
static_assert(sizeof(QuadFacet) == 98);
static_assert(offsetof(QuadFacet, flags) == 0 && offsetof(QuadFacet, corners) == 2);

// The corners of a packed facet are not aligned: read and write them by value, never through a
// reference or pointer to Point3D.
inline Point3D modelQuadCorner(const QuadFacet& quad, int k) {
  Point3D p;
  std::memcpy(&p, reinterpret_cast<const unsigned char*>(&quad) + 2 + k * sizeof(Point3D),
              sizeof(Point3D));
  return p;
}
inline void modelSetQuadCorner(QuadFacet* quad, int k, const Point3D& p) {
  std::memcpy(reinterpret_cast<unsigned char*>(quad) + 2 + k * sizeof(Point3D), &p,
              sizeof(Point3D));
}

// A further facet set near the part with a cutter of its own. Facet and box arrays as in
// SurfaceModel.
struct SubModel {
  std::int32_t facetType;
  QuadFacet* quads;
  std::int32_t quadCount;
  Tri3List* triangles;
  Point3D* facetMax;
  Point3D* facetMin;
  Point3D boxMin;
  Point3D boxMax;
  CutterShape cutter;  // held inline
  TriangleGrid* grid;
  std::int32_t additional;  // 1: an extra set near the part (extra model, or a '%' facet group)
  SubModel* next;
};

// The surface model. Facet storage conventions shared with the loaders: `triangles` is a
// Tri3List (freed with lstBox3Free); `quads`, `facetMax` and `facetMin` are blocks of the
// framework heap (memAllocZero, freed with memFree); `cutter` and the SubModel records too.
struct SurfaceModel {
  std::int32_t facetType;  // 3 triangles, 4 four-corner facets
  QuadFacet* quads;
  std::int32_t quadCount;
  Tri3List* triangles;
  Point3D* facetMax;  // per facet the componentwise largest corner
  Point3D* facetMin;  // per facet the componentwise smallest corner
  Point3D boxMin;
  Point3D boxMax;
  CutterShape* cutter;  // owned; duplicated by a copy
  // Drop parameters, set by the callers before a query.
  Boundary* boundary;   // borrowed machining boundary that restricts drops
  GuideCurve* profile;  // borrowed profile along which profile drops run
  std::int32_t boundaryCheck;
  std::int32_t slopeMode;
  double step;
  double tolerance;
  double candidateLength;
  std::int32_t restrictToBoundary;
  std::int32_t stepJitter;
  double minSlope;
  double floorZ;
  double ceilingZ;
  void* boundTable;    // reserved for per-facet height bounds; always null
  TriangleGrid* grid;  // null until modelBuildIndex
  SubModel* subModels;
};

// Receiver of the model module's computation messages (number, level, value) in place of the
// framework's message sending, for tests; null (the default) sends them as framework messages.
using ModelMessageFn = void (*)(int number, int level, double value);
void modelSetMessageFn(ModelMessageFn fn);

// ---- creation, copy and release ---------------------------------------------------------------

// Clears every field and sets facetType. A null model is ignored.
void modelInit(SurfaceModel* model, int facetType);

// A new model record with a copy of the cutter and of each sub-model record in chain order; the
// facets, box arrays and grids are shared with the original. Null for a null model or when
// memory runs out (nothing half-built is returned; error record set).
SurfaceModel* modelCopy(const SurfaceModel* model);

// Frees the sub-model records, the cutter and the record of a model made by modelCopy; never the
// facets. A null model is ignored.
void modelFree(SurfaceModel* model);

// Frees the facets, box arrays and grid of the model and of every sub-model, and the sub-model
// records, leaving the model without facets and with an empty chain (cutter and drop parameters
// kept). Call it only on the model that loaded the facets, never on a copy. Null is ignored.
void modelFreeContents(SurfaceModel* model);

// Frees the sub-model records (not their facets) and empties the chain. Null is ignored.
void modelFreeSubModels(SurfaceModel* model);

// 1 when neither the model nor any sub-model holds a facet (also for null), else 0.
int modelIsEmpty(const SurfaceModel* model);

// ---- allowance and cutter changes -------------------------------------------------------------

// Adds allowance a to the cutter: ball radius and corner radius grow by a; a flat end mill with
// a > 0.00001 becomes a torus of corner radius a; a torus whose corner radius would vanish becomes
// a flat end mill; zOffset as the mode asks (1: the ball's R or the torus' c on entry). Then the
// shank diameter grows by 2a, a negative taper length becomes 0, a torus radius below its corner
// radius is raised to it, and a radius below -0.00001 is reported (message 330, level 9) and
// becomes 0. Other cutter types keep their shape but get the common changes. Null is ignored.
void cutterApplyAllowance(CutterShape* cutter, double allowance, int mode);

// On the model's cutter and every sub-model's cutter: radius += a when the result stays above
// 0.00001; for a < 0 the shank diameter shrinks by 2|a| in any case. Null is ignored.
void modelAddAllowance(SurfaceModel* model, double a);
// cornerRadius += a, at least 0, and the type re-derived (ball, flat or torus). Null is ignored.
void modelAddCornerRadius(SurfaceModel* model, double a);
// zOffset = z on every cutter. Null is ignored.
void modelSetToolZOffset(SurfaceModel* model, double z);
// Taper length, shank diameter, band length, taper angle and tapered flag = 0 on every cutter.
void modelClearTaper(SurfaceModel* model);

// A new sub-model (not linked into the chain) of the given facet type (3 or 4) and additional
// flag, with a copy of the model's cutter changed by cutterApplyAllowance(allowance, mode), room
// for capacity facets (at least 1) and both box arrays, and an empty box (+1e10 / -1e10).
// Null for a null model, a facet type other than 3 or 4, or when memory runs out (partial work
// freed; error record set).
SubModel* modelNewSubModel(const SurfaceModel* model, double allowance, int mode, int facetType,
                           int additional, int capacity);

// ---- indexes ----------------------------------------------------------------------------------

// Builds the bucket grid of the model and of every non-empty sub-model (about 400 cells each,
// margin = cutter radius plus a tapered cutter's ring reach, at least half the shank diameter),
// replacing and releasing earlier grids. A model without facets gets no grid. Call it on the
// model that loaded the facets, never on a copy (the copy shares the grids).
// Returns 1 when every grid was built; -1 otherwise (a failed grid is left null): a null model,
// facets without a cutter or box arrays, a box that is not finite or too elongated for a grid,
// or memory exhausted (error record set).
int modelBuildIndex(SurfaceModel* model);

// A separate grid over the model's facets for the holder checks: cells 2d wide (at most 30 x 30)
// with d = R + L sin(angle), angle = tilt t (0.001 when |t| < 0.00001) plus a tapered cutter's
// taper angle, at most pi/2; filled with margin d. Null when the model is null or empty, has no
// cutter, or memory runs out. The caller frees it with triGridFree.
TriangleGrid* modelBuildHolderGrid(const SurfaceModel* model, double length, double tilt);

// A grid of about `cells` cells of the box's aspect ratio (q = (x extent + 1) / (y extent + 1),
// rows = trunc(sqrt(cells / q)) + 1, columns = trunc(q rows) + 1), each cell starting with room
// for 100 indices, filled with the count facets of the box arrays grown by margin. Null when the
// box is not finite or so elongated that the grid would need more than 64 x cells cells, or
// memory runs out. Free it with triGridFree.
TriangleGrid* modelGridOverFacets(int cells, int count, const Point3D& boxMin,
                                  const Point3D& boxMax, const Point3D* facetMin,
                                  const Point3D* facetMax, double margin);

// ---- small operations -------------------------------------------------------------------------

// Widens the box boxMin..boxMax by p; an empty box (a minimum above its maximum) becomes p
// alone. Null boxes are ignored.
void modelGrowBox(const Point3D& p, Point3D* boxMin, Point3D* boxMax);
// Widens the model box by the box of every sub-model that holds facets. Null is ignored.
void modelGrowBoxBySubModels(SurfaceModel* model);
// Sort the facets in place by descending highest corner z (equal heights in any order).
// Return 1; -20 for a null list (or null array with count > 0); -1 when memory runs out.
int modelSortTris(Tri3List* list);
int modelSortQuads(int count, QuadFacet* quads);
// Puts the highest corner first keeping the cyclic order: (1, 2, 0) when corner 1 is strictly
// higher than corner 0 and not lower than corner 2; (2, 0, 1) when corner 2 is strictly higher
// than both others. Null is ignored.
void modelTriHighestFirst(Tri3D* tri);
// For the corner pairs (0, 1), (0, 2) and (1, 2), in this order, two heights that differ by less
// than tolerance both take the larger one. Null is ignored.
void modelSnapTriHeights(Tri3D* tri, double tolerance);
// Makes a four-corner facet run counter-clockwise in plan: the sign of the first plan cross
// product (c1-c0)x(c2-c1), (c2-c1)x(c3-c2), (c3-c2)x(c0-c3) of size at least 0.00001 decides;
// when negative, corners 1 and 3 are swapped. Null is ignored.
void modelOrientQuadUp(QuadFacet* quad);

// Test seam: no message receiver installed.
void modelResetState();
