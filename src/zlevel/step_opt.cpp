// step_opt.cpp - the exact flat-face finder of the optimised step levels and the run state of the
// plane-boundary file. Flat faces stay in the candidates' order of descending height and each
// level's candidate set is a window into that list, so every face is visited once.
#include "zlevel/step_opt.h"

#include <cmath>
#include <cstdio>
#include <memory>
#include <new>
#include <source_location>
#include <vector>

#include "framework/global_params.h"
#include "geometry/geo_error.h"
#include "geometry/geo_files.h"
#include "geometry/kont_region.h"
#include "geometry/pko_list.h"
#include "geometry/raster.h"
#include "model/coll_candidates.h"
#include "zlevel/gouge_check.h"
#include "zlevel/level_slice.h"
#include "zlevel/step_opt_mark.h"
#include "zlevel/zpath.h"

namespace {

struct StepOptState {
  int firstCall = 1;      // the exact finder's first call of the run clears the file
  int flatFirstCall = 1;  // the same for the drop-net finder
  int planeFileWritten = 0;
  int addLevels = 0;   // 1: outlined heights are also inserted into the level list
  int blockCount = 0;  // blocks written by the drop-net finder
  std::string planeFile;
  std::string ownedFile;           // the plane-boundary file a finder of this process wrote to
  StepOptSliceFn slice = nullptr;  // test seams; null: the real operations
  StepOptWriteFn write = nullptr;
};
StepOptState gStepOpt;

int stepOptFail(int code, std::source_location at = std::source_location::current()) {
  geoErrSet(code, kStepOptSource, static_cast<int>(at.line()));
  return code;
}

struct KontDel {
  void operator()(Kont2D* k) const { kontFree(k); }
};
struct RasterDel {
  void operator()(Raster* r) const { gridRasterFree(r); }
};
struct ZPathListDel {
  void operator()(ZPathList* l) const { zpathListFree(l); }
};
struct ZPathDel {
  void operator()(ZPath* p) const { zpathFree(p); }
};

// One flat face: its candidate position in the caller's set and its height.
struct FlatFace {
  int candidate;
  double height;
};

}  // namespace

StepOptSwitchGuard::StepOptSwitchGuard()
    : gouge_(roughGetGougeCheck()), noRound_(kontGetNoRound()) {
  roughSetGougeCheck(0);
  kontSetNoRound(1);
}

StepOptSwitchGuard::~StepOptSwitchGuard() {
  roughSetGougeCheck(gouge_);
  kontSetNoRound(noRound_);
}

double stepOptAdjustFactor(double factor) {
  if (factor < 0.1) return 0.1;
  if (factor > 0.95 && factor < 1.05) return 0.95;
  return factor;
}

int stepOptPlaneFileWritten() { return gStepOpt.planeFileWritten; }
void stepOptSetPlaneFileWritten(int flag) { gStepOpt.planeFileWritten = flag != 0 ? 1 : 0; }
std::string stepOptPlaneFilePath() {
  return std::string(geoWorkDir()) + "/" + kStepOptPlaneFileName;
}
void stepOptSetPlaneFile(const char* path) { gStepOpt.planeFile = path != nullptr ? path : ""; }
const char* stepOptPlaneFile() {
  if (gStepOpt.planeFile.empty()) gStepOpt.planeFile = stepOptPlaneFilePath();
  return gStepOpt.planeFile.c_str();
}
int stepOptTakeFirstCall() {
  const int first = gStepOpt.firstCall;
  gStepOpt.firstCall = 0;
  return first;
}
int stepOptTakeFlatFirstCall() {
  const int first = gStepOpt.flatFirstCall;
  gStepOpt.flatFirstCall = 0;
  return first;
}
int stepOptNextFlatBlock() { return ++gStepOpt.blockCount; }

void stepOptNoteOwnedFile(const char* path) {
  if (path != nullptr) gStepOpt.ownedFile = path;
}

void stepOptRunReset() {
  // A file left by an earlier run would otherwise start a second pass on stale outlines. Only a
  // file a finder of this process wrote is removed: a file of that name that the user keeps in
  // the folder is not ours.
  if (!gStepOpt.ownedFile.empty()) std::remove(gStepOpt.ownedFile.c_str());
  const StepOptSliceFn slice = gStepOpt.slice;
  const StepOptWriteFn write = gStepOpt.write;
  gStepOpt = StepOptState{};  // the path follows the work directory of the new run
  gStepOpt.slice = slice;
  gStepOpt.write = write;
}

void stepOptResetState() { gStepOpt = StepOptState{}; }

void stepOptSetSliceFn(StepOptSliceFn fn) { gStepOpt.slice = fn; }
void stepOptSetWriteFn(StepOptWriteFn fn) { gStepOpt.write = fn; }

int zrupp2genOptiStepBnds(CollCtx* ctx, WalkTool* tool, WalkParams* walk, SliceContext* slice,
                          double factor, const FloatDropNet* net, ZLevelList* levels,
                          const char* planeFile) {
  if (ctx == nullptr || tool == nullptr || walk == nullptr || slice == nullptr || net == nullptr ||
      levels == nullptr || planeFile == nullptr) {
    return stepOptFail(-20);
  }
  const GlobalParams* gp = parGlobalBlock();
  const double p = gp->precision;
  const int planesOnly = gp->planesOnly;
  StepOptSwitchGuard switches;  // gouge check off, no rounding, undone on every return
  if (stepOptTakeFirstCall() != 0) {
    std::remove(planeFile);
    gStepOpt.planeFileWritten = 0;
  }
  stepOptNoteOwnedFile(planeFile);
  const double f = stepOptAdjustFactor(factor);
  const double c = tool->cornerRadius;
  int result = 1;

  // Everything the call allocates lives in these owners; the end step runs on every return.
  struct Finish {
    const char* file;
    ~Finish() {
      if (geoFileExists(file) == 0) gStepOpt.planeFileWritten = 0;
    }
  } finish{planeFile};

  std::unique_ptr<ZPathList, ZPathListDel> paths(zpathListNew(10));
  std::unique_ptr<ZPath, ZPathDel> work(zpathNew(100));
  std::vector<double> heights;
  std::vector<FlatFace> faces;
  if (!paths || !work) return stepOptFail(-1);

  // Flat faces in candidate order, and their box.
  const bool listMode = walk->mode == 1;
  const int n = collSetCount(ctx);
  double bx0 = 1e300;
  double by0 = 1e300;
  double bx1 = -1e300;
  double by1 = -1e300;
  try {
    for (int i = 0; i < n; ++i) {
      const Tri3D* t = collSetItem(ctx, i);
      if (t == nullptr || stepOptIsPlaneTriangle(*t, kStepOptFlatNz) == 0) continue;
      double h = t->v[0].z;
      if (listMode && ctx->pairs != nullptr) {
        h += static_cast<const PtrValPair*>(ctx->pairs->items)[i].value;
      }
      faces.push_back(FlatFace{i, h});
    }
    // A face that the part covers from above (its bottom, an overhang's underside) is no flat
    // area: outlined, it would give a level that cuts through the part standing over it.
    std::vector<int> positions;
    for (const FlatFace& face : faces) positions.push_back(face.candidate);
    std::vector<std::int8_t> covered(faces.size(), 0);
    const int cover =
        stepOptCoveredFaces(ctx, positions.data(), static_cast<int>(faces.size()), covered.data());
    if (cover < 0) return stepOptFail(cover);
    std::size_t kept = 0;
    for (std::size_t k = 0; k < faces.size(); ++k) {
      if (covered[k] == 0) faces[kept++] = faces[k];
    }
    faces.resize(kept);
    for (const FlatFace& face : faces) {
      for (const Point3D& v : collSetItem(ctx, face.candidate)->v) {
        bx0 = std::min(bx0, v.x);
        by0 = std::min(by0, v.y);
        bx1 = std::max(bx1, v.x);
        by1 = std::max(by1, v.y);
      }
    }
    if (faces.empty()) return 0;
    // Heights: a new one when it differs from the last one taken by more than p.
    for (const FlatFace& face : faces) {
      if (heights.empty() || std::fabs(face.height - heights.back()) > p) {
        heights.push_back(face.height);
      }
    }
  } catch (const std::bad_alloc&) {
    return stepOptFail(-1);
  }
  std::erase_if(heights, [&](double h) { return h + c < levels->zmin || h + c > levels->zmax; });
  if (planesOnly == 0) {
    std::erase_if(heights, [&](double h) {
      for (int k = 0; k < levels->count; ++k) {
        if (std::fabs(h + c - levels->z[k]) < p) {
          levels->z[k] = h + c;
          return true;
        }
      }
      return false;
    });
  }

  // Working copies: the window context, a flat end mill of radius R f, the walk and the slice.
  CollCtx wctx = *ctx;
  IntList windowIdx{};
  RecList windowPairs{};
  std::vector<std::int32_t> flatIdx;
  std::vector<PtrValPair> flatPairs;
  try {
    for (const FlatFace& face : faces) {
      if (listMode) {
        flatPairs.push_back(static_cast<const PtrValPair*>(ctx->pairs->items)[face.candidate]);
      } else {
        flatIdx.push_back(ctx->candidates->items[face.candidate]);
      }
    }
  } catch (const std::bad_alloc&) {
    return stepOptFail(-1);
  }
  if (listMode) {
    wctx.candidates = nullptr;
    wctx.pairs = &windowPairs;
  } else {
    wctx.candidates = &windowIdx;
    wctx.pairs = nullptr;
  }
  WalkTool wtool = *tool;
  wtool.type = 2;
  wtool.radius = tool->radius * f;
  wtool.cornerRadius = 0.0;
  WalkParams wwalk = *walk;
  wwalk.tolerance = 0.01 * wtool.radius;
  wwalk.direction = 1;
  wwalk.noAllowance = 1;
  wwalk.triGrid = nullptr;
  wwalk.wallGrid = nullptr;
  wwalk.triBoxes = nullptr;
  wwalk.wallBoxes = nullptr;
  wwalk.triBoxCount = 0;
  wwalk.wallBoxCount = 0;
  SliceContext wslice = *slice;
  const double Rp = wtool.radius;

  std::unique_ptr<Kont2D, KontDel> rect(
      kontNewRect(Point2D{bx0 - 3 * Rp, by0 - 3 * Rp}, Point2D{bx1 + 3 * Rp, by1 + 3 * Rp}));
  if (!rect) return stepOptFail(-1);
  std::unique_ptr<Kont2D, KontDel> region(ctx->region != nullptr ? kontCopy(ctx->region)
                                                                 : kontCopy(rect.get()));
  if (!region) return stepOptFail(-1);
  if (kontOrientation(region.get()) != kontOrientation(rect.get())) kontReverse(region.get());
  wctx.region = rect.get();

  const int faceCount = static_cast<int>(faces.size());
  std::vector<double> remaining;
  int j = 0;
  std::size_t i = 0;
  while (i < heights.size() && j < faceCount) {
    const double h = heights[i];
    wwalk.z = h - p;
    int start = j;
    while (j < faceCount && faces[static_cast<std::size_t>(j)].height > wwalk.z) ++j;
    // The faces of a height that has no outline of its own (above the level range, or on a level
    // moved onto it) are passed over, not outlined here: an outline at h must hold the flat areas
    // at h only, or a lower level would claim a higher face as flat and the second pass would
    // machine that face's whole area at this lower height.
    while (start < j && faces[static_cast<std::size_t>(start)].height > h + kStepOptFaceAbove * p) {
      ++start;
    }
    if (start == j) {
      heights.erase(heights.begin() + static_cast<std::ptrdiff_t>(i));
      continue;
    }
    if (listMode) {
      windowPairs.items = flatPairs.data() + start;
      windowPairs.count = windowPairs.capacity = j - start;
    } else {
      windowIdx.items = flatIdx.data() + start;
      windowIdx.count = windowIdx.capacity = j - start;
    }
    Point3D lo{1e300, 1e300, 0};
    Point3D hi{-1e300, -1e300, 0};
    for (int k = 0; k < j - start; ++k) {
      Point3D a{};
      Point3D b{};
      if (collSetItemBox(&wctx, k, &a, &b) != 1) continue;
      lo.x = std::min(lo.x, a.x);
      lo.y = std::min(lo.y, a.y);
      hi.x = std::max(hi.x, b.x);
      hi.y = std::max(hi.y, b.y);
    }
    lo.x -= 3 * Rp;
    lo.y -= 3 * Rp;
    hi.x += 3 * Rp;
    hi.y += 3 * Rp;
    const double rowStep = f * net->rowStep;
    const double colStep = f * net->colStep;
    if (!(rowStep > 0) || !(colStep > 0)) return stepOptFail(-20);
    const int rows = static_cast<int>((hi.y - lo.y) / rowStep) + 1;
    const int cols = static_cast<int>((hi.x - lo.x) / colStep) + 1;
    std::unique_ptr<Raster, RasterDel> raster(gridRasterNew(net, rows, cols, rowStep, colStep));
    if (!raster) return stepOptFail(-1);
    raster->x0 = lo.x;
    raster->y0 = lo.y;
    wslice.raster = raster.get();
    bool removed = false;
    for (int k = 0;;) {
      gridRasterClear(raster.get());
      if (stepOptMarkByGrid(&wctx, &wtool, &wwalk, &wslice) < 0 &&
          stepOptMarkByTrees(&wctx, &wtool, &wwalk, &wslice) < 0) {
        stepOptMarkBrute(&wctx, &wtool, &wwalk, &wslice);
      }
      pkoListReset(wslice.traced);
      lstIntReset(wslice.pathStarts);
      const StepOptSliceFn sliceFn = gStepOpt.slice != nullptr ? gStepOpt.slice : arczLevelPaths;
      const int r = sliceFn(&wctx, &wtool, &wwalk, &wslice);
      if (r < 0) {
        // Memory and a break end the call. Every other slicing failure is retried with a halved
        // walk tolerance, as pieces that meet are: a walk that traced contacts without a segment
        // succeeds on a finer walk, and a level given up at once left its flat face uncut.
        if (r == -1 || r == -2 || k > kStepOptMaxRetries) return stepOptFail(r);
        geoErrLog("zrupp2genOptiStepBnds retry");
        wwalk.tolerance *= 0.5;
        ++k;
        continue;
      }
      if (wslice.pathStarts == nullptr || wslice.pathStarts->count == 0) {
        removed = true;
        break;
      }
      const StepOptWriteFn writeFn =
          gStepOpt.write != nullptr ? gStepOpt.write : stepOptWriteLevelBounds;
      const int w = writeFn(&wslice, region.get(), h + c, planeFile, paths.get(), work.get());
      gStepOpt.planeFileWritten = 1;
      if (w == kStepOptClipRetry) {
        geoErrLog("zrupp2genOptiStepBnds retry");
        wwalk.tolerance *= 0.5;
        ++k;
        if (k > kStepOptMaxRetries) return stepOptFail(kStepOptOutlineFailed);
        continue;
      }
      if (w < 0) return stepOptFail(-1);
      break;
    }
    wslice.raster = nullptr;
    if (removed) {
      heights.erase(heights.begin() + static_cast<std::ptrdiff_t>(i));
    } else {
      ++i;
    }
  }

  if (gStepOpt.addLevels == 1) {
    for (const double h : heights) {
      if (zlevInsert(levels, h + c, 0.0, kZlevPlane) < 0) {
        result = stepOptFail(-1);
        break;
      }
    }
  }
  return result;
}

int stepOptGenBnds(CollCtx* ctx, WalkTool* tool, WalkParams* walk, SliceContext* slice,
                   double factor, const FloatDropNet* net, ZLevelList* levels,
                   const char* planeFile) {
  return zrupp2genOptiStepBnds(ctx, tool, walk, slice, factor, net, levels, planeFile);
}

int stepOptGenBndsAddLevels(CollCtx* ctx, WalkTool* tool, WalkParams* walk, SliceContext* slice,
                            double factor, const FloatDropNet* net, ZLevelList* levels,
                            const char* planeFile) {
  gStepOpt.addLevels = 1;
  const int r = zrupp2genOptiStepBnds(ctx, tool, walk, slice, factor, net, levels, planeFile);
  gStepOpt.addLevels = 0;
  return r;
}

int stepOptGenBndsAddLevels2(CollCtx* ctx, WalkTool* tool, WalkParams* walk, SliceContext* slice,
                             double factor, const FloatDropNet* net, ZLevelList* levels,
                             const char* planeFile) {
  return stepOptGenBndsAddLevels(ctx, tool, walk, slice, factor, net, levels, planeFile);
}
