// slice_records.h - the records that the slicing of one Z level passes between its caller and its
// modules: the tool as the slicing sees it, the collision candidate context (which facets, walls
// and region the contact searches test), the walk parameters of the level with the boxes and the
// step circle of the walker's search, and the slice context that receives the traced result.
// They live with the geometry code because its walker hooks pass them, the candidate lists and
// the one-Z contact searches of the model fill and read them, and the Z-level code builds on them.
//
// Lengths are scaled so that the tool radius is 10. Callers zero the records and set the fields
// marked as theirs; pointers are borrowed unless a field says who owns the object.
#pragma once

#include <cstddef>
#include <cstdint>

#include "geometry/vec.h"

struct Tri3List;  // typed lists of the geometry code (geometry/lists.h)
struct IntList;
struct RecList;
struct Kont2D;        // closed 2D contour with its island chain (geometry/kont2d.h)
struct TriangleGrid;  // plan-position bucket grid (geometry/triangle_grid.h)
struct SurfaceModel;  // the part's facets, cutter and sub-models (model/surface_model.h)
struct Raster;        // classified cell raster of a level (geometry/raster.h)
struct StelList;      // start segments (geometry/stel_list.h)
struct PkoList;       // traced segments (geometry/pko_list.h)

// The tool as the slicing sees it.
struct WalkTool {
  double radius;        // R
  double cornerRadius;  // c: R for a ball, 0 for a flat end mill
  std::int32_t type;    // kCutterBall 1, kCutterFlat 2, kCutterTorus 3 (the CutterShape type)
};

// The collision candidate context: what the contact searches of one level test. Two modes:
// index mode (the candidate index list with the model's per-facet box arrays) and list mode (the
// candidate pair list of triangle addresses with the radius difference of each facet's cutter).
// collCtxAlloc creates and collCtxFree frees the four list fields; the other fields are the
// caller's.
struct CollCtx {
  Tri3List* triangles;  // the model's triangles (the level's own triangles inside the slicing)
  Kont2D* walls;        // 2D wall segments of the level; null when there are none
  Kont2D* region;       // machining region (outer contour with islands); null without boundary
  IntList* candidates;  // index mode: triangle indices, highest first
  Point3D* boxMin;      // index mode: per-triangle smallest corner (the model's facet boxes)
  Point3D* boxMax;      // index mode: per-triangle largest corner
  RecList* pairs;       // list mode: PtrValPair (triangle address, f32 radius difference),
                        // sorted by the z of the triangle's first (highest) corner, highest first
  RecList* wallAllowances;  // list mode: one PtrValPair per wall segment (value added to radius)
  RecList* triAllowances;   // list mode: one PtrValPair per level triangle (value added to radii)
};

// The box of one wall segment, widened by the step search's margin.
struct WallBox {
  double xmin;
  double ymin;
  double xmax;
  double ymax;
};
static_assert(sizeof(WallBox) == 32);

// The box of one triangle of the context's list, widened by the step search's margin, with the
// triangle's index in that list. The step search keeps them sorted by xmin, ascending.
struct TriBox {
  double xmin;
  double ymin;
  double zmin;
  double xmax;
  double ymax;
  double zmax;
  std::int32_t index;
};
static_assert(sizeof(TriBox) == 56 && offsetof(TriBox, index) == 48);

// One step of the walker's search: the circle of radius r about the centre, swept from the
// direction of the previous point in the walking sense (+1 counter-clockwise, -1 clockwise).
struct StepCircle {
  double prevX;
  double prevY;
  double centreX;
  double centreY;
  double radius;
  std::int32_t direction;
};
static_assert(sizeof(StepCircle) == 48 && offsetof(StepCircle, direction) == 40);

// How many first contacts of a walk are kept for joining its two halves.
constexpr int kWalkStartContacts = 4;

// The walk parameters of one level.
struct WalkParams {
  double tolerance;        // chord height allowed between two tool positions (callers)
  double z;                // height of the corner radius centre: ball centre, flat tip (callers)
  std::int32_t direction;  // walking sense +1 or -1 (callers; the reverse pass negates it)
  double step;             // step length (the level slicing)
  Point3D start;           // tool-centre position of the contact the contour is traced from
  Seg2D startSegment;      // approach from where the search began to the start point
  TriangleGrid* triGrid;   // the step search's grids and box arrays (built and freed there)
  TriangleGrid* wallGrid;
  TriBox* triBoxes;
  WallBox* wallBoxes;
  std::int32_t triBoxCount;   // entries of triBoxes (the triangles of the context's list)
  std::int32_t wallBoxCount;  // entries of wallBoxes (the segments of the wall contour)
  SurfaceModel* model;        // for sub-model queries (callers)
  std::int32_t shuffleSeed;   // > 0: start segments are shuffled, seeded with it on every pass
  std::int32_t mode;          // 0 index mode; non-zero list mode (1: ids become model indices)
  std::int32_t noAllowance;   // non-zero keeps the searches' allowance tables cleared
  std::int32_t noClosing;     // 1: the traced pieces are returned as traced
  Point3D startContactPoints[kWalkStartContacts];  // first contacts of the current walk
  Point3D startContactVectors[kWalkStartContacts];
  std::int32_t startContactKinds[kWalkStartContacts];  // contact kind times direction
  std::int32_t startContactIds[kWalkStartContacts];
  std::int32_t startContactCount;  // 0 .. kWalkStartContacts
};

// The level's slicing result and its working lists.
struct SliceContext {
  Raster* raster;       // the level's raster: -2 outside the region, -1 blocked, 0 free (required)
  StelList* starts;     // start segments; null: the tracing builds its own and frees it again
  PkoList* traced;      // the output: traced segments with contact vector, element id and kind
  PkoList* work;        // working list of the closing of traced pieces
  IntList* pathStarts;  // index of the first segment of each piece in traced
};
