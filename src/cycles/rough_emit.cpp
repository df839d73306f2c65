// rough_emit.cpp - the region emitter: runs of the APT point list with their approach, the
// small-pocket skip, collision checks, the three- or five-axis decision, thinning and emission.
#include "cycles/rough_emit.h"

#include <algorithm>
#include <cmath>
#include <source_location>

#include "cycles/emit_point.h"
#include "cycles/emit_region.h"
#include "cycles/level_out.h"
#include "cycles/rough_control.h"
#include "cycles/rough_grid.h"
#include "cycles/rough_setup.h"
#include "cycles/rough_standins.h"
#include "framework/global_params.h"
#include "framework/messages.h"
#include "geometry/geo_error.h"
#include "model/holder_model.h"
#include "model/path_collision.h"
#include "output/out3d_moves.h"

namespace {

struct EmitRunState {
  Point3D skippedStart = {0, 0, 0};
  int skipped = 0;
};
EmitRunState es;
RoughRunEmitFn runEmitFn = nullptr;

int emitFail(int code, std::source_location at = std::source_location::current()) {
  geoErrSet(code, "rough_emit", static_cast<int>(at.line()));
  return code;
}

// The point callbacks of the caller, installed again on every way out.
class CallbackGuard {
 public:
  CallbackGuard()
      : point_(emitState().point), start_(emitState().literalStart), end_(emitState().end) {}
  ~CallbackGuard() { restore(); }
  void restore() const { emitSetCallbacks(point_, start_, end_); }
  CallbackGuard(const CallbackGuard&) = delete;
  CallbackGuard& operator=(const CallbackGuard&) = delete;

 private:
  EmitPointFn point_;
  EmitVoidFn start_;
  EmitVoidFn end_;
};

// Owns the run path and the model copy of one call.
struct EmitScratch {
  PathList* run = nullptr;
  SurfaceModel* model = nullptr;
  ~EmitScratch() {
    pathListFree(run);
    modelFree(model);
  }
};

// run = points first..last of apt in their order (the pocket cycle may repeat a parameter, so
// the run numbers its points afresh), with their axes. The class byte of an APT point holds the
// pocket cycle's move kind, which the run keeps as a whole; a run point gets class 0, so that the
// collision and holder checks, which pass over points of any other class, test every point.
int collectRun(PathList* run, const PathList* apt, int first, int last) {
  run->count = 0;
  run->sense = apt->sense;
  const Point3D up{0, 0, 1};
  for (int k = first; k <= last; ++k) {
    const bool has = apt->axes != nullptr;
    if (pathListInsert(run, static_cast<double>(run->count), apt->positions[k],
                       apt->codes[k] & 0xFF, has ? &apt->axes[k] : &up,
                       has ? apt->axisSet[k] : 0) < 0) {
      return -1;
    }
  }
  return 1;
}

// The same-Z collector as the point callback.
int collectorPoint(Point3D* position, int code) { return levelOutSameZPoint(*position, code); }

int plungeKind(int macroTmode) {
  if (macroTmode == 2) return kRoughApproachHelix;
  if (macroTmode == 3) return kRoughApproachRamp;
  return kRoughApproachStraight;
}

void clearHolderMarks(PathList* run) {
  for (int k = 0; k < run->count; ++k) {
    if (pathListClass(run, k) == kPathClassHolder) pathListSetClass(run, k, 0);
  }
}

// The holder collision model, once per run ("*WCOLL" is cleared). 1; -1 when it cannot be built.
int buildHolderModel(GlobalParams& g, const SurfaceModel* model, const MachiningParams* params) {
  if (g.wcoll == 0) return 1;
  int r = 0;
  if (g.holder3df[0] == '\0' && g.head3df[0] == '\0') {
    r = holderBuildFromTool(model, &params->tool, 1.0, params->maxTilt);
  } else {
    holderSetMaxTilt(params->maxTilt);
    msgSendInt(9, kRoughMsgCollisionModel, "* Creating collision model", 0);
    r = holderBuildModel(model, &params->tool, g.aufmass, g.holder3df, g.head3df, g.holderQdx,
                         g.headQdx, g.holderClearance, g.headClearance);
  }
  g.wcoll = 0;
  return r < 0 ? -1 : 1;
}

// Steps of one run after its points are collected. 1 emitted (or dropped), else the call's
// result.
int emitRun(PathList* run, int moveKind, MachiningParams& rp, double stepDepth, SurfaceModel* mc) {
  GlobalParams& g = *parGlobalBlock();
  const double radius = mc->cutter->radius;
  int sense = run->sense;
  roughRunApproach(moveKind, g.macroTmode, stepDepth, &rp.approach, &sense);
  run->sense = sense;
  const int ak = rp.approach.approachKind;
  if (g.skipSmallPockets != 0 && (ak == kRoughApproachHelix || ak == kRoughApproachRamp) &&
      !(g.stockMode != 0 && (moveKind == kRoughRunLeft || moveKind == kRoughRunRight)) &&
      roughSkipSmallPocket(run, radius, g.skipFactor) == 1) {
    msgSendInt(9, kRoughMsgSkipSmall, "* Skip small pocket", 0);
    es.skippedStart = run->positions[0];
    es.skipped = 1;
    return 1;
  }
  if (es.skipped != 0) {
    // The run after a skipped pocket starts where that pocket's plunge was: it plunges there.
    if (std::fabs(run->positions[0].x - es.skippedStart.x) <= 0.00001 &&
        std::fabs(run->positions[0].y - es.skippedStart.y) <= 0.00001 &&
        rp.approach.approachKind == kRoughApproachStraight) {
      rp.approach.approachLength = std::max(rp.approach.approachLength, stepDepth);
      rp.approach.approachKind = static_cast<std::int16_t>(plungeKind(g.macroTmode));
    }
    es.skipped = 0;
  }
  if (pathListDensify(run, rp.maxStep) < 0) return emitFail(-1);
  if (g.zustellOk != 0 && roughCheckStartCollision(mc, g.collTolerance, run) < 0) {
    return emitFail(kRoughStartCollides);
  }
  if (g.xcollCheck != 0 && collCheckPath(run, mc, g.collTolerance) <= 0) {
    if (g.xcollStop != 0) {
      msgSendInt(9, kRoughMsgCollisionStop, "* Stop otherwise collision !!!\n", 0);
      return emitFail(kRoughStartCollides);
    }
    msgSendInt(9, kRoughMsgCollisionSeen, "* Collision error detected !!!\n", 0);
  }
  if (g.fullcutStrategy > 0) return emitFail(roughStandInResamplePath());
  if (run->axes != nullptr) {
    for (int k = 0; k < run->count; ++k) run->axes[k] = Point3D{0, 0, 1};
  }
  if (g.force5x != 0) return emitFail(roughStandInTiltPath(mc, &rp, run));
  if (roughStandInHolderFree(mc, &rp, run) != 1) {
    clearHolderMarks(run);
    if (roughStandInTiltPath(mc, &rp, run) < 0) return emitFail(-1);
  }
  clearHolderMarks(run);
  emitThinPath(run, rp.maxStep, rp.minStep, rp.axisChangeCos);
  const int kind = rp.approach.approachKind;
  if ((kind == kRoughApproachHelix || kind == kRoughApproachRamp) &&
      !(g.stepMode == 2 && g.planesOnly != 0)) {
    rp.approach.plungeHeight = 1.1 * g.vertzustel;
  }
  const int r = runEmitFn != nullptr ? runEmitFn(run, &rp, mc) : emitRegionPath(run, &rp, mc);
  if (r == -4) {
    msgSendInt(9, kRoughMsgToolCollision, "* Cancel because of Tool Collision", 0);
    return emitFail(kRoughStopCollision);
  }
  if (r < 0) return emitFail(-1);
  return 1;
}

}  // namespace

void roughRunApproach(int moveKind, int macroTmode, double stepDepth, ApproachParams* a,
                      int* sense) {
  if (moveKind == kRoughRunPlunge) {
    a->retractKind = 0;
    a->approachKind = kRoughApproachStraight;
  } else if (moveKind == kRoughRunLeft) {
    *sense = 1;
  } else if (moveKind == kRoughRunRight) {
    *sense = -1;
  } else {
    a->retractKind = 0;
    a->retractLength = 0;
    a->approachLength = std::max(a->approachLength, stepDepth);
    a->approachKind = static_cast<std::int16_t>(plungeKind(macroTmode));
  }
}

int roughSkipSmallPocket(const PathList* path, double a, double b) {
  const double lim = a * b;
  if (path == nullptr || path->count < 1 || !(lim >= 0.00001)) return 0;
  const Point3D* p = path->positions;
  for (int i = 0; i < path->count; ++i) {
    if (vecDistance(p[0], p[i]) > lim) return 0;
  }
  for (int i = 1; i < path->count; ++i) {
    for (int j = i + 1; j < path->count; ++j) {
      if (vecDistance(p[i], p[j]) > lim) return 0;
    }
  }
  return 1;
}

int roughEmitRegion(PathList* apt, MachiningParams* params, SurfaceModel* model) {
  if (apt == nullptr || params == nullptr || model == nullptr || model->cutter == nullptr) {
    return emitFail(-1);
  }
  GlobalParams& g = *parGlobalBlock();
  const CallbackGuard callbacks;
  if (buildHolderModel(g, model, params) < 0) return emitFail(-1);

  EmitScratch s;
  s.model = modelCopy(model);
  if (s.model == nullptr) return emitFail(-1);
  modelAddAllowance(s.model, -roughRunModel()->minStep);
  double stepDepth = roughStepDepth();
  if (roughControlPlanePass() != 0) stepDepth = g.sichdist + (g.planesOnly != 0 ? 0 : g.vertzustel);
  s.run = pathListNew(1000, 1);
  if (s.run == nullptr) return emitFail(-1);

  int first = -1;  // first point of the run being collected
  for (int i = 0; i <= apt->count; ++i) {
    if (i < apt->count && pathListClass(apt, i) != kPathClassGap) {
      if (first < 0) first = i;
      continue;
    }
    if (first < 0) continue;
    const int last = i - 1;
    const int moveKind = pathListClass(apt, last);
    if (collectRun(s.run, apt, first, last) < 0) return emitFail(-1);
    first = -1;
    MachiningParams rp = *params;
    const double room = g.sichebene + model->cutter->zOffset - apt->positions[0].z;
    rp.approach.plungeHeight = std::max(0.0, std::min(stepDepth, room));
    if (g.generateArcs != 0) {
      if (levelOutBegin() < 0) return emitFail(-1);
      emitSetCallbacks(collectorPoint, out3dStartLiteral, out3dFlushLiteral);
    }
    int r = emitRun(s.run, moveKind, rp, stepDepth, s.model);
    if (g.generateArcs != 0) {
      // The collected run is written here: a failure to write it fails the region.
      if (levelOutEnd() < 0 && r >= 0) r = emitFail(-1);
      callbacks.restore();
    }
    if (r < 0) return r;
    if (out3dCheckBreak() == 1) break;
  }
  return 0;
}

void roughSetRunEmitFn(RoughRunEmitFn fn) { runEmitFn = fn; }

void roughEmitResetState() { es = EmitRunState{}; }
