// emit_region.cpp - region path emission, the final retract, interpolated moves and thinning.
#include "cycles/emit_region.h"

#include <algorithm>
#include <cmath>

#include "cycles/approach_macro.h"
#include "cycles/emit_point.h"
#include "cycles/emit_standins.h"
#include "geometry/boundary.h"
#include "geometry/csys.h"
#include "geometry/cycle_state.h"
#include "geometry/tool_axis.h"
#include "output/out3d_state.h"

namespace {

constexpr double kEps = 1e-5;
constexpr double kBreakDistance = 0.02;

struct RegionEmitState {
  PendingRetract retract;
  double ipolAngleStep = 0;
  int ipolCheck = 0;
};
RegionEmitState region;

bool skipped(const PathList* p, int i) {
  const int c = pathListClass(p, i);
  return c == kPathClassGap || c == kPathClassMarked;
}

bool withAxes(const PathList* p) { return emitState().fiveAxisOutput != 0 && p->axes != nullptr; }

Point3D pointAxis(const PathList* p, int i) {
  return p->axes != nullptr ? p->axes[i] : emitState().path.outputAxis;
}

bool reducedKind(const PathList* p, int i) { return pathListKind(p, i) == kPathKindReducedFeed; }

// Whether every point strictly between a and b lies within e of the chord a-b and, unless it
// sits on a, points along the chord (|cos| >= 0.5).
bool chordCovers(const PathList* path, int a, int b, double e) {
  const Point3D& pa = path->positions[a];
  const Point3D chord = vecSub(path->positions[b], pa);
  const double len = vecLength(chord);
  if (len < kEps) return true;
  const Point3D u = vecScale(1.0 / len, chord);
  for (int k = a + 1; k < b; ++k) {
    const Point3D d = vecSub(path->positions[k], pa);
    if (vecLength(vecCross(d, u)) > e) return false;
    const double dl = vecLength(d);
    if (std::fabs(d.x) <= kEps && std::fabs(d.y) <= kEps && std::fabs(d.z) <= kEps) continue;
    if (std::fabs(vecDot(d, u)) < 0.5 * dl) return false;
  }
  return true;
}

}  // namespace

const PendingRetract& emitPendingRetract() { return region.retract; }
void emitClearPendingRetract() { region.retract.pending = 0; }
void emitReset() {
  const EmitterState atLoad;
  emitState().path.pathPointValid = 0;
  retractPathState().pathPointValid = 0;
  // A later run starts as a fresh process would: its first move must not be taken for a repeat
  // of the previous run's last one.
  emitState().lastEmitted = atLoad.lastEmitted;
  emitState().lastEmittedAxis = atLoad.lastEmittedAxis;
  emitState().lastEmittedCode = -1;
  emitState().currentAxis = atLoad.currentAxis;
  emitClearPendingRetract();
}

void emitRegionResetState() { region = RegionEmitState{}; }
void emitSetIpolLimits(double angleStep, int check) {
  region.ipolAngleStep = angleStep;
  region.ipolCheck = check;
}

int emitFindBreakNeighbour(int index, const PathList* path, Point3D* out, const Point3D& reference,
                           int direction) {
  *out = path->positions[index];
  const int step = direction > 0 ? 1 : -1;
  for (int k = index; k >= 0 && k < path->count; k += step) {
    const Point3D& q = path->positions[k];
    if (std::hypot(q.x - reference.x, q.y - reference.y) > kBreakDistance) {
      *out = q;
      return 1;
    }
  }
  return 0;
}

int emitInterpolatedMove(const Point3D& target, const Point3D& targetAxis, double maxStep,
                         const MachiningParams* params) {
  EmitterState& st = emitState();
  if (st.path.pathPointValid == 0 || std::fabs(maxStep) < kEps) return 0;
  const Point3D from = st.path.lastPathPoint;
  const Point3D a = st.path.outputAxis;
  const double d = vecDistance(target, from);
  if (d < maxStep + kEps && region.ipolAngleStep < kEps) return 0;
  // Rounding can take the dot product of two unit axes a little beyond 1 or -1.
  const double w = vecAcosClamped(vecDot(a, targetAxis));
  int n = static_cast<int>(std::trunc(d / std::fabs(maxStep))) + 1;
  if (region.ipolAngleStep > kEps) {
    n = std::max(n, static_cast<int>(std::trunc(w / region.ipolAngleStep)) + 1);
  }
  for (int j = 1; j < n; ++j) {
    const double f = static_cast<double>(j) / n;
    const Point3D p = vecAdd(vecScale(1.0 - f, from), vecScale(f, target));
    Point3D axis = a;
    const bool byAzimuth =
        emitStandInSegmentTilt() != 0 || (f * w < 0.2 && std::fabs(a.z - targetAxis.z) <= kEps);
    if (w > kEps) {
      if (!byAzimuth || axisTurnAzimuthTilt(&axis, a, targetAxis, f * w) < 0) {
        holderRotateToward(a, targetAxis, f * w, &axis);
      }
    }
    if (params != nullptr && params->holderCheck5x != 0 && region.ipolCheck != 0 &&
        emitStandInHolderFree(p, axis) != 1) {
      region.retract.pending = 0;
      return -4;
    }
    st.path.outputAxis = axis;
    if (emitPathPoint(p, 1) < 0) return -1;
  }
  return 1;
}

int emitPathWithAxes(const MachiningParams* params, PathList* path) {
  if (path == nullptr || path->count < 2) return 0;
  if (std::fabs(path->positions[path->count - 1].z - path->positions[0].z) >= kEps &&
      pathListClass(path, 1) == kPathClassMarked) {
    pathListSetClass(path, 1, 0);
  }
  EmitterState& st = emitState();
  const double maxStep = params != nullptr ? params->maxStep : 0.0;
  for (int k = 1; k < path->count; ++k) {
    if (pathListClass(path, k) == kPathClassMarked) continue;
    const Point3D axis = pointAxis(path, k);
    int r = emitInterpolatedMove(path->positions[k], axis, maxStep, params);
    if (r < 0) return r;
    if (path->axes != nullptr) st.path.outputAxis = path->axes[k];
    r = emitPathPoint(path->positions[k], 1);
    if (r < 0) return r;
  }
  return 0;
}

int emitLinkPath(PathList* path, const MachiningParams* params, const SurfaceModel* /*model*/) {
  if (path == nullptr || params == nullptr) return 0;
  EmitterState& st = emitState();
  const Point3D keptMacroAxis = st.macroAxis;
  if (withAxes(path) && path->count > 0) st.macroAxis = path->axes[0];
  emitThinPath(path, params->maxStep, params->minStep, params->axisChangeCos);
  out3dInfeedFeed(1);
  const int r = emitPathWithAxes(params, path);
  out3dInfeedFeed(0);
  st.macroAxis = keptMacroAxis;
  return r < 0 ? -3 : 1;
}

namespace {

// Whether b may be removed between its neighbours prev and next (everything but the chord scan).
bool filterCandidate(const PathList* path, int b, int prev, int next, double chordLimit) {
  if (pathListClass(path, prev) == kPathClassGap || pathListClass(path, next) == kPathClassGap) {
    return false;
  }
  const bool r = reducedKind(path, b);
  if (reducedKind(path, prev) != r || reducedKind(path, next) != r) return false;
  return vecDistance(path->positions[prev], path->positions[next]) <= chordLimit;
}

// Bounds of the points after an anchor, measured against a reference direction through it: the
// largest distance from that line, the smallest |cos| to it and the largest distance from the
// anchor. A chord from the same anchor in a direction u differs from the reference by |u - ref|,
// which moves a distance by at most |d| |u - ref| and a cosine by at most |u - ref|; while those
// bounds keep clear of the limits the window need not be scanned again.
struct ChordWindow {
  int anchor = -1;
  int end = -1;  // points anchor + 1 .. end - 1 are in the bounds
  Point3D ref = {0, 0, 0};
  double maxDist = 0;
  double minCos = 1;
  double maxLen = 0;
};

void windowAdd(ChordWindow& w, const PathList* path, int k) {
  const Point3D d = vecSub(path->positions[k], path->positions[w.anchor]);
  const double len = vecLength(d);
  w.maxDist = std::max(w.maxDist, vecLength(vecCross(d, w.ref)));
  w.maxLen = std::max(w.maxLen, len);
  if (!(std::fabs(d.x) <= kEps && std::fabs(d.y) <= kEps && std::fabs(d.z) <= kEps)) {
    w.minCos = std::min(w.minCos, std::fabs(vecDot(d, w.ref)) / len);
  }
}

bool windowCovers(ChordWindow& w, const PathList* path, int prev, int next, double e) {
  const Point3D chord = vecSub(path->positions[next], path->positions[prev]);
  const double len = vecLength(chord);
  if (len < kEps) return true;
  const Point3D u = vecScale(1.0 / len, chord);
  if (w.anchor != prev || next < w.end) {
    w = ChordWindow{};
    w.anchor = prev;
    w.end = prev + 1;
    w.ref = u;
  }
  for (; w.end < next; ++w.end) windowAdd(w, path, w.end);
  const double du = vecLength(vecSub(u, w.ref));
  constexpr double kMargin = 1e-9;
  if (w.maxDist + w.maxLen * du <= e - kMargin && w.minCos - du >= 0.5 + kMargin) return true;
  // In doubt: the exact scan, and new bounds against this chord.
  const bool covered = chordCovers(path, prev, next, e);
  w = ChordWindow{};
  w.anchor = prev;
  w.end = prev + 1;
  w.ref = u;
  for (; w.end < next; ++w.end) windowAdd(w, path, w.end);
  return covered;
}

}  // namespace

void emitFilterPointsPlain(PathList* path, double chordLimit, double deviation) {
  if (path == nullptr) return;
  for (int b = 1; b <= path->count - 2; ++b) {
    if (pathListClass(path, b) == kPathClassGap) continue;
    int prev = -1;
    int next = -1;
    if (pathListNeighbours(path, b, &prev, &next) != 0) return;
    if (!filterCandidate(path, b, prev, next, chordLimit)) continue;
    if (!chordCovers(path, prev, next, deviation)) continue;
    pathListSetClass(path, b, kPathClassMarked);
  }
}

void emitFilterPoints(PathList* path, double chordLimit, double deviation) {
  if (path == nullptr) return;
  auto hidden = [path](int i) {
    const int c = pathListClass(path, i);
    return c == kPathClassMarked || c == kPathClassThinMark;
  };
  ChordWindow window;
  // The nearest point before b that is neither marked nor a thinning mark, kept as the pass
  // goes, so that long marked stretches are not walked back over for every point.
  int before = path->count > 0 && !hidden(0) ? 0 : -1;
  for (int b = 1; b <= path->count - 2; ++b) {
    if (b > 1 && !hidden(b - 1)) before = b - 1;
    if (pathListClass(path, b) == kPathClassGap) continue;
    int next = b + 1;
    while (next < path->count && hidden(next)) ++next;
    if (before < 0 || next >= path->count) return;
    const int prev = before;
    if (!filterCandidate(path, b, prev, next, chordLimit)) continue;
    if (!windowCovers(window, path, prev, next, deviation)) continue;
    pathListSetClass(path, b, kPathClassMarked);
  }
}

void emitThinPath(PathList* path, double chordLimit, double deviation, double cosLimit) {
  emitFilterPoints(path, chordLimit, deviation);
  if (path == nullptr || path->axes == nullptr) return;
  const int n = path->count;
  int kept = -1;  // nearest earlier point of class other than 2 or 3
  for (int j = 0; j < n; ++j) {
    if (pathListClass(path, j) == kPathClassMarked) {
      if (kept < 0 || vecDot(path->axes[j], path->axes[kept]) < cosLimit) {
        pathListSetClass(path, j, 0);
      }
    }
    if (!skipped(path, j)) kept = j;
  }
  kept = -1;
  for (int j = n - 1; j >= 0; --j) {
    if (pathListClass(path, j) == kPathClassMarked) {
      if (kept < 0 || vecDot(path->axes[j], path->axes[kept]) < cosLimit) {
        pathListSetClass(path, j, 0);
      }
    }
    if (!skipped(path, j)) kept = j;
  }
}

int emitRegionPath(PathList* path, const MachiningParams* params, const SurfaceModel* model) {
  if (path == nullptr || params == nullptr) return -20;
  EmitterState& st = emitState();
  PendingRetract& pr = region.retract;
  const ApproachParams& ap = params->approach;
  const int n = path->count;
  const bool axes = withAxes(path);
  int result = 0;
  int lastSent = -1;
  int i = 0;
  while (i < n) {
    if (skipped(path, i)) {
      ++i;
      continue;
    }
    if (pathListIsRunEnd(path, i) != 0) {
      ++i;
      continue;
    }
    const Point3D s = path->positions[i];
    result = 1;
    Point3D sf = s;
    if (csysCurrent()->prepared != 0) csysToolToFrame(&sf);
    const int nearFlag =
        emitNearLastPoint(sf, params->stayDownDistance / unitFactor, params->stayDown);

    if (pr.pending != 0 && pr.approach.retractLength > kEps &&
        (pr.approach.returnFlag != 0 || nearFlag == 0)) {
      MoveMacro* m = retractBuildMacro(model, kMacroRetract, pr.lastPoint, pr.directionPoint,
                                       &pr.approach, pr.sense, nullptr, 0, &pr.axis);
      if (m != nullptr) {
        if (nearFlag != 0) m->shiftFactor = 0;
        const int r = emitStandInMacro(m, params, model, -1);
        approachFreeMove(m);
        if (r < 0) return r;
      }
    }
    out3dStepBlockMark(2);

    const Point3D* axisAtI = axes ? &path->axes[i] : nullptr;
    Point3D dir;
    MoveMacro* macro = nullptr;
    if ((i + 1 < n && ap.approachLength > kEps && ap.returnFlag != 0) || nearFlag == 0) {
      ApproachParams copy = ap;
      const ApproachCheckHook hook = bndApproachCheck();
      if ((hook != nullptr && hook(&s, &path->positions[i + 1], params, model, &copy) > 0) ||
          emitStandInHelixCollides(params, model, s, copy) == 1) {
        copy.approachKind = kApproachRamp;
      }
      if (axisAtI != nullptr) st.macroAxis = *axisAtI;
      emitFindBreakNeighbour(i + 1, path, &dir, s, 1);
      macro =
          retractBuildMacro(model, kMacroApproach, s, dir, &copy, path->sense, path, i, axisAtI);
    }
    if (axisAtI != nullptr) st.macroAxis = *axisAtI;
    if (macro != nullptr) {
      if (nearFlag != 0) macro->shiftFactor = 0;
      const int r = emitStandInMacro(macro, params, model, nearFlag);
      approachFreeMove(macro);
      if (r < 0) return r;
    } else {
      emitFindBreakNeighbour(i + 1, path, &dir, s, 1);
      const int r = emitStandInConnect(s, dir, nearFlag, params, model);
      if (r < 0) return r;
    }

    out3dMoveKindPath();
    int k = i + 1;
    for (; k < n; ++k) {
      const int cls = pathListClass(path, k);
      if (cls == kPathClassGap) break;
      if (cls == kPathClassMarked) continue;
      int r = emitInterpolatedMove(path->positions[k], pointAxis(path, k), params->maxStep, params);
      if (r < 0) return r;
      if (axes) st.path.outputAxis = path->axes[k];
      r = emitPathPoint(path->positions[k], 1);
      if (r < 0) return r;
      lastSent = k;
    }
    if (lastSent >= 1) {
      pr.lastPoint = path->positions[lastSent];
      pr.axis = path->axes != nullptr ? path->axes[lastSent] : st.path.outputAxis;
      emitFindBreakNeighbour(lastSent - 1, path, &pr.directionPoint, pr.lastPoint, -1);
      pr.approach = ap;
      pr.pending = 1;
    } else {
      pr.pending = 0;
    }
    pr.sense = path->sense;
    i = k;
  }
  emitCallEnd();
  return result;
}

int emitFinalRetract(const MachiningParams* params, const SurfaceModel* model) {
  EmitterState& st = emitState();
  PendingRetract& pr = region.retract;
  if (pr.pending != 0 && pr.approach.retractLength > kEps) {
    ApproachParams copy = pr.approach;
    MoveMacro* m = approachBuildMove(kMacroRetract, pr.lastPoint, pr.directionPoint, &copy,
                                     pr.sense, nullptr, 0, &pr.axis);
    const int r = m != nullptr ? emitStandInMacro(m, params, model, -1) : 0;
    approachFreeMove(m);
    if (r < 0) {
      copy = pr.approach;
      copy.retractKind = 20;
      MoveMacro* straight = approachBuildMove(kMacroRetract, pr.lastPoint, pr.directionPoint, &copy,
                                              pr.sense, nullptr, 0, &pr.axis);
      if (straight != nullptr) emitMacroPoints(straight, 1);
      approachFreeMove(straight);
    }
  }
  const Point3D* last = st.path.pathPointValid != 0 ? &st.path.lastPathPoint : nullptr;
  const Point3D lastCopy = last != nullptr ? *last : Point3D{};
  const int r = emitStandInLinkMove(model, params, last != nullptr ? &lastCopy : nullptr, nullptr,
                                    st.path.outputAxis, st.macroAxis);
  if (r == -2) return -4;
  return r < 0 ? r : 0;
}

int emitFinish(const MachiningParams* params, const SurfaceModel* model) {
  const int r = emitFinalRetract(params, model);
  if (r < 0) return r;
  if (region.retract.pending != 0) emitCallEnd();
  region.retract.pending = 0;
  return 0;
}
