// height_raster.cpp - the height grid filled by profile drops of a point probe, one per column.
// The drop's first step is its tolerance and every later step its step; both equal the cell size,
// so the samples fall on the rows, and the samples that refinement adds between rows are ignored.
#include "model/height_raster.h"

#include "framework/messages.h"
#include "geometry/geo_error.h"
#include "geometry/guide_curve.h"
#include "geometry/path_list.h"
#include "model/profile_drop.h"
#include "model/profile_sample.h"

namespace {

// Switches the probe on or off for the model's facet type.
void hrSetProbe(bool quad, int on) {
  CutterShape probe{};
  probe.type = kCutterFlat;  // radius 0: the tip follows the surface itself
  if (quad) {
    dropSetQuadToolOverride(on, on != 0 ? &probe : nullptr);
  } else {
    dropSetToolOverride(on, on != 0 ? &probe : nullptr);
  }
}

// Drops the probe along column j into list and writes the column's cells. Returns the drop's
// result, or -1 when the column's curve cannot be made.
int hrFillColumn(HeightGrid* grid, SurfaceModel* copy, PathList* list, int j, double empty) {
  const double x = grid->x0 + j * grid->cell;
  const Point3D a{x, grid->y0, copy->boxMin.z};
  const Point3D b{x, grid->y0 + (grid->rows - 1) * grid->cell, copy->boxMin.z};
  GuideCurve* curve = guideFromTwoPoints(a, b);
  if (curve == nullptr) return -1;
  copy->profile = curve;
  const int r =
      copy->facetType == 4 ? dropAlongProfileQuads(copy, list) : dropAlongProfile(copy, list);
  copy->profile = nullptr;
  guideFree(curve);
  if (r < 0) return r;
  for (int i = 0; i < grid->rows; ++i) {
    Point3D p{};
    const int k = pathListFindParam(list, i * grid->cell, &p, nullptr, nullptr);
    grid->heights[i][j] = (k < 0 || pathListClass(list, k) == kPathClassGap) ? empty : p.z;
  }
  return r;
}

}  // namespace

int modelFillHeightGrid(HeightGrid* grid, const SurfaceModel* model) {
  if (grid == nullptr || model == nullptr || model->cutter == nullptr)
    return geoFail(kGeoBadArgument, "height_raster");
  if (!(grid->cell >= kHeightGridMinCell || grid->cell <= -kHeightGridMinCell)) return 1;
  if (grid->rows < 1 || grid->cols < 1 || grid->heights == nullptr)
    return geoFail(kGeoBadArgument, "height_raster");

  // A copy of the record with its own cutter: the four-corner drop rewrites the step and the
  // cutter's corner radius of the model it runs on.
  SurfaceModel* copy = modelCopy(model);
  if (copy == nullptr) return geoFail(kGeoFailed, "height_raster");
  copy->step = grid->cell;
  copy->tolerance = grid->cell;
  copy->boundary = nullptr;
  copy->boundaryCheck = 0;
  copy->restrictToBoundary = 0;
  copy->slopeMode = 0;   // a slope stop would end a column before its last row
  copy->stepJitter = 0;  // jittered steps would put the samples between the rows
  const double floorZ = copy->floorZ < copy->boxMin.z ? copy->floorZ : copy->boxMin.z;
  copy->floorZ = floorZ;
  copy->boxMin.z = floorZ;
  grid->floor = floorZ;
  const double empty = floorZ - 1.0;

  const bool quad = copy->facetType == 4;
  hrSetProbe(quad, 1);
  PathList* list = pathListNew(grid->rows + 10, 1);
  int result = 1;
  if (list == nullptr) {
    result = geoFail(kGeoFailed, "height_raster");
  } else {
    for (int j = 0; j < grid->cols; ++j) {
      if (out3dCheckBreak() != 0) break;
      const int r = hrFillColumn(grid, copy, list, j, empty);
      if (r == -1 || r == -2) {
        result = geoFail(kGeoFailed,
                         "height_raster");  // no memory for the column's curve or its samples
        break;
      }
      if (r < 0) break;  // the drop was interrupted: keep what is filled
    }
  }
  hrSetProbe(quad, 0);
  pathListFree(list);
  modelFree(copy);
  return result;
}
