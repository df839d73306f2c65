// step_opt_flat.cpp - flat areas from two drop nets of a tool shrunk to a fifth: nodes where the
// drop onto the whole part equals the drop onto its horizontal triangles, grouped by height and
// by 8-connected area, traced into outlines and written as "**WZ" boundary blocks.
#include "zlevel/step_opt_flat.h"

#include <charconv>
#include <cmath>
#include <cstdio>
#include <memory>
#include <source_location>
#include <string>
#include <vector>

#include "framework/global_params.h"
#include "framework/messages.h"
#include "geometry/geo_error.h"
#include "geometry/kont_region.h"
#include "geometry/lists.h"
#include "geometry/raster.h"
#include "model/drop_cutter.h"
#include "model/surface_model.h"
#include "zlevel/drop_net.h"
#include "zlevel/grid_bnd_trace.h"
#include "zlevel/rough_net_levels.h"
#include "zlevel/step_opt.h"
#include "zlevel/step_opt_owners.h"

namespace {

constexpr const char* kFlatSource = "Stepopti";

int flatFail(int code, std::source_location at = std::source_location::current()) {
  geoErrSet(code, kFlatSource, static_cast<int>(at.line()));
  return code;
}

struct FlatState {
  int addLevels = 0;  // 1: written heights go into the level list at the end
  int dumpCount = 0;  // running number of the grid dumps
};
FlatState gFlat;

struct FileDel {
  void operator()(std::FILE* f) const { std::fclose(f); }
};

// "%lf" of v as in the "C" locale.
std::string fixed6(double v) {
  char buf[512];
  const auto r = std::to_chars(buf, buf + sizeof buf, v, std::chars_format::fixed, 6);
  return std::string(buf, r.ptr);
}

void writePoint(std::FILE* f, double x, double y, double z) {
  const std::string line = "X" + fixed6(x) + " Y" + fixed6(y) + " Z" + fixed6(z) + "\n";
  std::fputs(line.c_str(), f);
}

// Keeps the flat-only drop switched off again on every return.
struct FlatOnlyOff {
  ~FlatOnlyOff() { dropSetFlatOnly(0); }
};

}  // namespace

int stepOptFlatAreaBounds(const SurfaceModel* model, const Kont2D* region, ZLevelList* levels) {
  if (model == nullptr || model->cutter == nullptr || region == nullptr || levels == nullptr) {
    return flatFail(-1);
  }
  const char* planeFile = stepOptPlaneFile();
  if (stepOptTakeFlatFirstCall() != 0) {
    std::remove(planeFile);
    stepOptSetPlaneFileWritten(0);
  }
  stepOptNoteOwnedFile(planeFile);
  const GlobalParams* gp = parGlobalBlock();
  const double c = model->cutter->cornerRadius;

  StepOptModelPtr copy(modelCopy(model));
  if (!copy) return flatFail(-1);
  copy->cutter->radius *= kStepOptFlatShrink;
  copy->cutter->cornerRadius *= kStepOptFlatShrink;
  copy->cutter->zOffset *= kStepOptFlatShrink;
  for (SubModel* s = copy->subModels; s != nullptr; s = s->next) {
    s->cutter.radius *= kStepOptFlatShrink;
    s->cutter.cornerRadius *= kStepOptFlatShrink;
    s->cutter.zOffset *= kStepOptFlatShrink;
  }
  const double rp = copy->cutter->radius;
  const double cp = copy->cutter->cornerRadius;

  // The grid over the region's box, inset by 0.025 on each side.
  const double w = region->xmax - region->xmin - 0.05;
  const double h = region->ymax - region->ymin - 0.05;
  if (!(w > -0.00001) || !(h > -0.00001) || !(rp > 0)) return 1;  // nothing fits in the region
  double colStep = rp;
  double rowStep = rp;
  if (std::fabs(w) >= 0.00001) colStep = w / std::ceil(w / rp);
  if (std::fabs(h) >= 0.00001) rowStep = h / std::ceil(h / rp);
  const int cols = static_cast<int>(w / colStep + 0.1) + 1;
  const int rows = static_cast<int>(h / rowStep + 0.1) + 1;
  const double x0 = region->xmin + 0.025;
  const double y0 = region->ymin + 0.025;

  StepOptNetPtr net(dropNetNew(x0, y0, rows, cols, rowStep, colStep));
  StepOptNetPtr flat(dropNetNew(x0, y0, rows, cols, rowStep, colStep));
  if (!net || !flat) {
    msgSendText(9, 1184, "* Fehler: DropNet kann nicht generiert werden", nullptr);
    return flatFail(-1);
  }
  int b = dropNetBuild(net.get(), copy.get(), nullptr, rp, cp);
  if (b >= 0) {
    FlatOnlyOff off;
    dropSetFlatOnly(1);
    b = dropNetBuild(flat.get(), copy.get(), nullptr, rp, cp);
  }
  if (b < 0) {
    msgSendText(9, 2000, "* Fehler bei berechnen des DropNet", nullptr);
    return b;
  }
  for (int i = 0; i < rows; ++i) {
    for (int j = 0; j < cols; ++j) {
      const int cls = kontClassifyPoint(region, Point2D{j * colStep + x0, i * rowStep + y0});
      if ((cls & 5) != 0) net->valid[i][j] = 0;
    }
  }

  StepOptLevelsPtr heights(zlevNew(100, gp->oberfl + cp, cp + (gp->tief - gp->aufmass)));
  if (!heights) return flatFail(-1);
  const int filled = roughLevelsFromNet(heights.get(), net.get(), cp);
  if (filled < 0) {
    msgSendText(9, 2001, "* Kein Speicher frei", nullptr);
    return filled;
  }

  StepOptMatrixPtr cells(gridIntNew(rows, cols));
  StepOptMatrixPtr area(gridIntNew(rows, cols));
  StepOptSegPtr outline(lstSeg2New(100));
  std::unique_ptr<DblList, void (*)(DblList*)> written(lstDblNew(100), lstDblFree);
  if (!cells || !area || !outline || !written) {
    msgSendText(9, 2001, "* Kein Speicher frei", nullptr);
    return 1;  // the roughing goes on without flat areas
  }

  const double hmax = gp->oberfl;
  int result = 1;
  for (int u = 0; u < heights->count && result > 0; ++u) {
    const double zu = heights->z[u];
    const double t = u + 1 < heights->count ? (zu + heights->z[u + 1]) / 2 - cp : zu - 0.1 - cp;
    for (int k = 0; k < rows * cols; ++k) cells->cells[k] = 0;
    for (int i = 0; i < rows; ++i) {
      for (int j = 0; j < cols; ++j) {
        const double H = net->height[i][j];
        if (H >= t && H < hmax && net->slope[i][j] == 0 && net->valid[i][j] != 0 &&
            std::fabs(H - flat->height[i][j]) < 0.00001) {
          cells->cells[static_cast<std::size_t>(i) * cols + j] = 1;
          net->valid[i][j] = 0;  // each node belongs to one height at most
        }
      }
    }
    if (gridDilate(cells.get()) < 0) return flatFail(-1);
    const double z = zu + c - cp;
    int r0 = 0;
    int c0 = 0;
    while (gridFindNonZero(cells.get(), 0, 0, &r0, &c0) == 1) {
      for (int k = 0; k < rows * cols; ++k) area->cells[k] = 0;
      int r = gridCopyRegion(cells.get(), r0, c0, area.get());
      if (r >= 0) r = gridRelabel(cells.get(), r0, c0, 1, 0);
      if (r < 0) return flatFail(r);
      lstSeg2Reset(outline.get());
      gridBndSetRegion(region);
      r = gridBndTrace(area.get(), Point2D{x0, y0}, Point2D{colStep, rowStep}, outline.get());
      gridBndSetRegion(nullptr);
      if (r < 0) return flatFail(r);
      if (outline->count == 0) continue;
      std::unique_ptr<std::FILE, FileDel> f(std::fopen(planeFile, "a+"));
      if (!f) return flatFail(-1);
      if (gp->planesOnly == 0) {
        bool near = false;
        for (int k = 0; k < levels->count; ++k) near |= std::fabs(levels->z[k] - z) <= 0.01;
        if (near) continue;
      }
      int first = 0;
      while (first < outline->count) {
        const int last = gridBndLoopEnd(outline.get(), first);
        if (last < 0) break;  // an unclosed remainder is not an outline
        double lx0 = 1e300;
        double ly0 = 1e300;
        double lx1 = -1e300;
        double ly1 = -1e300;
        for (int k = first; k <= last; ++k) {
          const Seg2D& s = outline->items[k];
          lx0 = std::min(lx0, s.x1);
          lx1 = std::max(lx1, s.x1);
          ly0 = std::min(ly0, s.y1);
          ly1 = std::max(ly1, s.y1);
        }
        const double a = lstSeg2Area(outline.get(), first, last + 1);
        if (std::fabs(a) > rp * rp && lx1 - lx0 > 1.5 * colStep && ly1 - ly0 > 1.5 * rowStep) {
          const std::string head = "**BND " + std::to_string(stepOptNextFlatBlock()) + " **WZ\n";
          std::fputs(head.c_str(), f.get());
          writePoint(f.get(), outline->items[first].x1, outline->items[first].y1, z);
          for (int k = first; k <= last; ++k) {
            writePoint(f.get(), outline->items[k].x2, outline->items[k].y2, z);
          }
          std::fputs("**END\n", f.get());
          stepOptSetPlaneFileWritten(1);
          if (lstDblPush(written.get(), z) != 1) {
            result = flatFail(-1);
            break;
          }
        }
        first = last + 1;
      }
      if (result < 0) break;
    }
  }
  if (result > 0 && gFlat.addLevels == 1) {
    double prev = 0;
    for (int k = 0; k < written->count; ++k) {
      const double z = written->items[k];
      if (k > 0 && std::fabs(z - prev) <= 0.00001) continue;
      prev = z;
      if (zlevInsert(levels, z, gp->minStepdown, kZlevPlane) < 0) {
        result = flatFail(-1);
        break;
      }
    }
  }
  return result;
}

int stepOptFlatAreaBoundsFile(const SurfaceModel* model, const Kont2D* region, ZLevelList* levels,
                              const char* path) {
  const std::string keep = stepOptPlaneFile();
  stepOptSetPlaneFile(path);
  const int r = stepOptFlatAreaBounds(model, region, levels);
  stepOptSetPlaneFile(keep.c_str());
  return r;
}

int stepOptFlatAreaLevels(const SurfaceModel* model, const Kont2D* region, ZLevelList* levels,
                          const char* path) {
  gFlat.addLevels = 1;
  const int r = stepOptFlatAreaBoundsFile(model, region, levels, path);
  gFlat.addLevels = 0;
  return r;
}

int stepOptDumpGrid(const IntMatrix* matrix) {
  std::string num = "00000000" + std::to_string(++gFlat.dumpCount) + ".txt";
  num = num.substr(num.size() - 12);
  const std::string name = std::string(geoWorkDir()) + "/" + num;
  std::unique_ptr<std::FILE, FileDel> f(std::fopen(name.c_str(), "w"));
  if (!f) return flatFail(-1);
  if (matrix == nullptr) return 1;
  for (int i = 0; i < matrix->rows; ++i) {
    for (int j = 0; j < matrix->cols; ++j) {
      std::fputs(matrix->cells[static_cast<std::size_t>(i) * matrix->cols + j] != 0 ? " 1" : " 0",
                 f.get());
    }
    std::fputs("\n", f.get());
  }
  return 1;
}
