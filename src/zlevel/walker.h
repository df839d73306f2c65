// walker.h - the records of the constant-Z contour walker and the drop net of a roughing region,
// as the geometry code fills and reads them, and the walker's entry points. The walker itself
// belongs to the Z-level slicing; until it is built its entry points report failure.
// The tool, the candidate context and the walk parameters of a level are in model/slice_records.h.
#pragma once

#include <cstdint>

#include "geometry/kont2d.h"
#include "geometry/lists.h"
#include "geometry/vec.h"
#include "model/slice_records.h"
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
