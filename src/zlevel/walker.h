// walker.h - the records of the constant-Z contour walker and the drop net of a roughing region,
// as the geometry code fills and reads them, and the walker's entry points. The walker itself
// belongs to the Z-level slicing; until it is built its entry points report failure.
#pragma once

#include <cstdint>

#include "geometry/kont2d.h"
#include "geometry/lists.h"
#include "geometry/vec.h"
#include "zlevel/zpath.h"

struct SurfaceModel;
struct Raster;
struct PkoList;
using StelList = IntList;  // start-candidate list of the walker

// What the walker walks along: the model's triangles, the walls and the frame it must not leave.
struct WalkModel {
  SurfaceModel* model;  // null: no triangles
  Kont2D* walls;        // its segments are the walls
  Kont2D* frame;        // rectangle the walker must not leave
  Point3D* wallBoxLow;  // low corner of the walls' box
  Point3D* wallBoxHigh;
};

// The walker's tool.
struct WalkTool {
  double radius;
  std::int32_t param0;  // 0
  std::int32_t param1;  // 0
  std::int32_t kind;    // 2
  std::int32_t reserved;
};

// The settings of one walk; callers zero it and set their fields.
struct WalkParams {
  double tolerance;        // 0.1
  double z;                // level height
  std::int32_t direction;  // +1 or -1; flipped by the walker for the second half of an open path
  double step;             // the walker steps 0.05 below 0.1, else half of it
  Point3D start;           // start point
  Seg2D startContact;      // approach segment ending at the start point
  std::int32_t tryNumber;  // 0 on the first try; seeds the start-candidate shuffle
  SurfaceModel* model;     // surface model of the run
  std::int32_t subModelMode;  // non-zero: sub-models take part; 1: ids map to triangle indices
};

// Per-level record of the walker.
struct SliceContext {
  Raster* raster;          // the level's raster
  StelList* starts;        // start candidates
  PkoList* traced;         // the walker appends its segments here
  PkoList* work;           // for the walker's own use
  IntList* pathStarts;     // start index of each path in traced
};

// Height grid of a roughing region.
struct FloatDropNet {
  double x0, y0;         // origin
  std::int32_t rows;
  std::int32_t cols;
  double rowStep;        // along y
  double colStep;        // along x
  float** height;        // rows row pointers, each to cols heights
  std::uint8_t** valid;  // non-zero when the node has a height
};

// Builds the walker's boxes and cell grids. Returns -1 until the walker is available (error
// record -1); a value of 0 or more when prepared.
int offs3dPrepare(WalkModel* model, WalkTool* tool, WalkParams* params);
// Traces the tool-centre path of one level. Returns -1 until the walker is available (error
// record -1); else 1 closed path, 0 open path, negative on failure.
int offs3dTrace(WalkModel* model, WalkTool* tool, WalkParams* params, SliceContext* context);
// Frees what offs3dPrepare built. Returns 1 (nothing is held until the walker is available).
int offs3dRelease(WalkModel* model, WalkTool* tool, WalkParams* params);
// Rounds every path of the list with radius. Returns 0 for a null or empty list or a radius that
// is not positive; -1 until the rounding is available (error record -1, the list unchanged, the
// no-rounding and skip-check switches of the contour module cleared as after every rounding).
int zpathListFillet(ZPathList* list, Kont2D* boundary, double radius);
