// emit_standins.cpp - the macro, link, helix, holder-query and segment-tilt stand-ins of the region
// emission.
#include "cycles/emit_standins.h"

#include <cmath>

#include "cycles/emit_point.h"
#include "cycles/rough_standins.h"
#include "output/out3d_state.h"

namespace {

constexpr double kEps = 1e-5;

bool sentAsBuilt(int kind) {
  return kind == 0 || kind == 7 || kind == 8 || kind == 20 || kind == 28;
}

bool axesDiffer(const Point3D& a, const Point3D& b) {
  return std::fabs(a.x - b.x) > kEps || std::fabs(a.y - b.y) > kEps || std::fabs(a.z - b.z) > kEps;
}

// Replaces the macro's shape by a straight move along its shift vector of the same length.
void straighten(MoveMacro* m) {
  if (m->count < 2) return;
  const double len = vecDistance(m->points[0], m->points[m->count - 1]);
  Point3D axis = m->shiftVector;
  const double l = vecLength(axis);
  axis = l < kEps ? Point3D{0, 0, 1} : vecScale(1.0 / l, axis);
  m->points[1] = vecAdd(m->points[0], vecScale(len, axis));
  if (m->axes != nullptr) m->axes[1] = m->axes[m->count - 1];
  m->count = 2;
  m->shiftVector = axis;
}

void macroFeed(const MoveMacro* m, int on) {
  if (m->type == kMacroApproach) {
    out3dApproachFeed(on);
  } else {
    out3dRetractFeed(on);
  }
}

}  // namespace

int emitMacroPoints(const MoveMacro* macro, int code) {
  EmitterState& st = emitState();
  auto send = [&](int i) {
    if (macro->axes != nullptr) st.path.outputAxis = macro->axes[i];
    return emitPathPoint(macro->points[i], code);
  };
  if (macro->type == kMacroApproach) {
    for (int i = macro->count - 2; i >= 0; --i) {
      const int r = send(i);
      if (r < 0) return r;
    }
  } else {
    for (int i = 1; i < macro->count; ++i) {
      const int r = send(i);
      if (r < 0) return r;
    }
  }
  return 0;
}

int emitStandInMacro(MoveMacro* macro, const MachiningParams* params, const SurfaceModel* model,
                     int link) {
  if (macro == nullptr) return 0;
  if (!sentAsBuilt(macro->kind) && macro->count >= 2) {
    roughMissingFeature("emitMacroTested");
    straighten(macro);
  }
  EmitterState& st = emitState();
  const Point3D last = macro->points[macro->count - 1];
  if (macro->type == kMacroApproach) {
    Point3D top = last;
    approachShiftByVector(macro, &top);
    if (link >= 0) {
      const int r = emitStandInConnect(top, top, link, params, model);
      if (r < 0) return r;
    }
  }
  macroFeed(macro, 1);
  int r = 0;
  if (macro->type == kMacroApproach) r = emitPathPoint(last, 1);
  if (r >= 0) r = emitMacroPoints(macro, 1);
  macroFeed(macro, 0);
  if (r < 0) return -3;
  if (macro->type == kMacroRetract) {
    Point3D q = st.path.lastPathPoint;
    approachShiftByVector(macro, &q);
    if (emitPathPoint(q, 1) < 0) return -3;
  }
  return 0;
}

int emitStandInConnect(const Point3D& target, const Point3D& /*direction*/, int /*nearFlag*/,
                       const MachiningParams* params, const SurfaceModel* model) {
  EmitterState& st = emitState();
  const Point3D& lastPoint = st.path.lastPathPoint;
  if (st.path.pathPointValid != 0 && std::fabs(lastPoint.x - target.x) <= 0.001 &&
      std::fabs(lastPoint.y - target.y) <= 0.001 && std::fabs(lastPoint.z - target.z) <= 0.001 &&
      !axesDiffer(st.path.outputAxis, st.macroAxis)) {
    return 0;
  }
  const Point3D* from = st.path.pathPointValid != 0 ? &lastPoint : nullptr;
  out3dBeginBlock(64);
  const int r = emitStandInLinkMove(model, params, from, &target, st.path.outputAxis, st.macroAxis);
  out3dEndBlock(64);
  return r;
}

int emitStandInHelixCollides(const MachiningParams*, const SurfaceModel*, const Point3D&,
                             const ApproachParams& a) {
  return a.approachKind == 6 ? 1 : 0;
}

int emitStandInLinkMove(const SurfaceModel* /*model*/, const MachiningParams* params,
                        const Point3D* last, const Point3D* next, const Point3D& /*outputAxis*/,
                        const Point3D& macroAxis) {
  const double plane = params != nullptr ? params->clearancePlane : 0.0;
  EmitterState& st = emitState();
  double zc = plane;
  if (last != nullptr) {
    zc = std::fmax(plane, last->z);
    if (emitPathPoint(Point3D{last->x, last->y, zc}, 0) < 0) return -3;
  }
  if (next == nullptr) return 0;
  zc = std::fmax(zc, next->z);
  if (emitPathPoint(Point3D{next->x, next->y, zc}, 0) < 0) return -3;
  // The axis changes up at the clearance plane, before the tool goes down.
  st.path.outputAxis = macroAxis;
  if (emitPathPoint(Point3D{next->x, next->y, zc}, 0) < 0) return -3;
  if (emitPathPoint(*next, 1) < 0) return -3;
  return 0;
}

int emitStandInHolderFree(const Point3D&, const Point3D&) {
  roughMissingFeature("holderQueryCollision");
  return 1;
}

int emitStandInSegmentTilt() { return 0; }
