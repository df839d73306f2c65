// step_opt_flat_old.cpp - the older flat-area finder on one drop net of a quarter-radius ball.
#include "zlevel/step_opt_flat_old.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <memory>
#include <source_location>
#include <string>

#include "framework/global_params.h"
#include "framework/memory.h"
#include "framework/messages.h"
#include "geometry/csys.h"
#include "geometry/geo_error.h"
#include "geometry/kont_region.h"
#include "geometry/lists.h"
#include "geometry/raster.h"
#include "geometry/triangle_grid.h"
#include "model/cutter_shape.h"
#include "model/surface_model.h"
#include "zlevel/bnd_merge.h"
#include "zlevel/drop_net.h"
#include "zlevel/grid_bnd_trace.h"
#include "zlevel/rough_net_levels.h"
#include "zlevel/step_opt_owners.h"
#include "zlevel/zlevel_list.h"

namespace {

constexpr const char* kOldSource = "Stepopti";
constexpr int kGridCells = 900;  // at most 30 x 30 buckets

int oldFail(int code, std::source_location at = std::source_location::current()) {
  geoErrSet(code, kOldSource, static_cast<int>(at.line()));
  return code;
}

struct OldState {
  int append = 0;      // 1: keep the file and heights of earlier calls
  int blockCount = 0;  // number of the last block written into the file
  bool fileStarted = false;
  double* heights = nullptr;  // heights written, doubling when full
  int count = 0;
  int capacity = 0;
};
OldState gOld;

int keepHeight(double z) {
  if (gOld.count == gOld.capacity) {
    const int grown = gOld.capacity > 0 ? 2 * gOld.capacity : 16;
    auto* h = static_cast<double*>(
        memRealloc(gOld.heights, sizeof(double) * static_cast<std::size_t>(grown)));
    if (h == nullptr) return -1;
    gOld.heights = h;
    gOld.capacity = grown;
  }
  gOld.heights[gOld.count++] = z;
  return 1;
}

struct GridDel {
  void operator()(TriangleGrid* g) const { triGridFree(g); }
};

void setBall(CutterShape* c, double r) {
  c->type = kCutterBall;
  c->radius = r;
  c->cornerRadius = r;
}

int loopCount(const Seg2List* list) {
  int n = 0;
  for (int first = 0; first < list->count; ++n) {
    const int last = gridBndLoopEnd(list, first);
    if (last < 0) break;
    first = last + 1;
  }
  return n;
}

// Writes the loops of area above minArea as blocks at height z (tool system) into the file.
int writeLoops(const Seg2List* list, double z, double minArea) {
  const std::string name = std::string(geoWorkDir()) + "/" + kStepOptOldFile;
  std::FILE* f = nullptr;
  int first = 0;
  while (first < list->count) {
    const int last = gridBndLoopEnd(list, first);
    if (last < 0) break;
    const double a = lstSeg2Area(list, first, last + 1);
    if (std::fabs(a) > minArea) {
      if (f == nullptr) {
        f = std::fopen(name.c_str(), gOld.fileStarted ? "a+" : "w");
        if (f == nullptr) return oldFail(-1);
        gOld.fileStarted = true;
      }
      std::fprintf(f, "**BND %d\n", ++gOld.blockCount);
      const auto put = [&](double x, double y) {
        Point3D p{x, y, z};
        csysToolToWorld(&p);
        std::fprintf(f, "X%lf Y%lf Z%lf\n", p.x, p.y, p.z);
      };
      put(list->items[first].x1, list->items[first].y1);
      for (int k = first; k <= last; ++k) put(list->items[k].x2, list->items[k].y2);
      std::fputs("**END\n", f);
      if (keepHeight(z) < 0) {
        std::fclose(f);
        return oldFail(-1);
      }
    }
    first = last + 1;
  }
  if (f != nullptr && std::fclose(f) != 0) return oldFail(-1);
  return 1;
}

}  // namespace

void stepOptSetAppend(int flag) { gOld.append = flag != 0 ? 1 : 0; }

double stepOptWrittenHeight(int i) { return (i >= 0 && i < gOld.count) ? gOld.heights[i] : 0.0; }

int stepOptWrittenCount() { return gOld.count; }

void stepOptOldResetState() {
  memFree(gOld.heights);
  gOld = OldState{};
}

int stepOptFlatAreaBoundsOld(const SurfaceModel* model, const Kont2D* region) {
  if (model == nullptr || model->cutter == nullptr || region == nullptr) return oldFail(-1);
  if (gOld.append == 0) {
    gOld.count = 0;
    gOld.blockCount = 0;
    gOld.fileStarted = false;
  }
  const GlobalParams* gp = parGlobalBlock();
  const double R = model->cutter->radius;
  const double c = model->cutter->cornerRadius;
  const double rq = R / 4;

  StepOptModelPtr copy(modelCopy(model));
  if (!copy) return oldFail(-1);
  setBall(copy->cutter, rq);
  for (SubModel* s = copy->subModels; s != nullptr; s = s->next) setBall(&s->cutter, rq);
  // A bucket grid of its own for the small ball; the shared grids of the model stay untouched.
  const int facets = model->facetType == 4         ? model->quadCount
                     : model->triangles != nullptr ? model->triangles->count
                                                   : 0;
  std::unique_ptr<TriangleGrid, GridDel> grid;
  if (facets > 0 && model->facetMin != nullptr && model->facetMax != nullptr) {
    grid.reset(modelGridOverFacets(kGridCells, facets, model->boxMin, model->boxMax,
                                   model->facetMin, model->facetMax, rq));
  }
  copy->grid = grid.get();

  const double w = region->xmax - region->xmin - 0.05;
  const double h = region->ymax - region->ymin - 0.05;
  if (!(w > -0.00001) || !(h > -0.00001) || !(rq > 0)) return 1;
  double colStep = rq;
  double rowStep = rq;
  if (std::fabs(w) >= 0.00001) colStep = w / std::ceil(w / rq);
  if (std::fabs(h) >= 0.00001) rowStep = h / std::ceil(h / rq);
  const int cols = static_cast<int>(w / colStep + 0.1) + 1;
  const int rows = static_cast<int>(h / rowStep + 0.1) + 1;
  const double x0 = region->xmin + 0.025;
  const double y0 = region->ymin + 0.025;

  StepOptNetPtr net(dropNetNew(x0, y0, rows, cols, rowStep, colStep));
  if (!net) {
    msgSendText(9, 1184, "* Fehler: DropNet kann nicht generiert werden", nullptr);
    return oldFail(-1);
  }
  const int b = dropNetBuild(net.get(), copy.get(), nullptr, rq, rq);
  if (b < 0) {
    msgSendText(9, 2000, "* Fehler bei berechnen des DropNet", nullptr);
    return b;
  }
  // clipped to the region: nodes outside it or in an island do not count
  for (int i = 0; i < rows; ++i)
    for (int j = 0; j < cols; ++j)
      if ((kontClassifyPoint(region, Point2D{j * colStep + x0, i * rowStep + y0}) & 5) != 0)
        net->valid[i][j] = 0;

  StepOptLevelsPtr heights(zlevNew(100, gp->oberfl + c, c + (gp->tief - gp->aufmass)));
  if (!heights) return oldFail(-1);
  const int filled = roughLevelsFromNet(heights.get(), net.get(), c);
  if (filled < 0) {
    msgSendText(9, 2001, "* Kein Speicher frei", nullptr);
    return filled;
  }
  StepOptMatrixPtr cells(gridIntNew(rows, cols));
  StepOptMatrixPtr area(gridIntNew(rows, cols));
  StepOptSegPtr outline(lstSeg2New(100));
  if (!cells || !area || !outline) return oldFail(-1);

  for (int u = 0; u < heights->count; ++u) {
    const double zu = heights->z[u];
    const double t =
        (u + 1 < heights->count ? (zu + heights->z[u + 1]) / 2 : heights->zmin - 1) - c;
    std::fill(cells->cells, cells->cells + static_cast<std::size_t>(rows) * cols, 0);
    for (int i = 0; i < rows; ++i)
      for (int j = 0; j < cols; ++j)
        if (net->height[i][j] >= t && net->slope[i][j] == 0 && net->valid[i][j] != 0) {
          cells->cells[static_cast<std::size_t>(i) * cols + j] = 1;
          net->valid[i][j] = 0;  // each node belongs to one height at most
        }
    if (gridDilate(cells.get()) < 0) return oldFail(-1);
    int r0 = 0;
    int c0 = 0;
    while (gridFindNonZero(cells.get(), 0, 0, &r0, &c0) == 1) {
      std::fill(area->cells, area->cells + static_cast<std::size_t>(rows) * cols, 0);
      int r = gridCopyRegion(cells.get(), r0, c0, area.get());
      if (r >= 0) r = gridRelabel(cells.get(), r0, c0, 1, 0);
      if (r < 0) return oldFail(r);
      lstSeg2Reset(outline.get());
      gridBndSetRegion(region);
      r = gridBndTrace(area.get(), Point2D{x0, y0}, Point2D{colStep, rowStep}, outline.get());
      gridBndSetRegion(nullptr);
      if (r < 0) return oldFail(r);
      if (outline->count == 0) continue;
      // an area with holes becomes simple loops; when the cut fails the loops stay as traced
      if (loopCount(outline.get()) > 1) bndMergeSegments(outline.get(), 0);
      if (writeLoops(outline.get(), zu, R * R) < 0) return -1;
    }
  }
  return 1;
}
