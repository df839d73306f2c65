// emit_point.cpp - the point emitter and its output adapters.
#include "cycles/emit_point.h"

#include <cmath>

#include "cycles/approach_macro.h"
#include "geometry/csys.h"
#include "output/out3d_moves.h"
#include "output/out3d_state.h"

namespace {

constexpr double kEqualTol = 1e-5;
constexpr double kSamePathPoint = 0.001;

EmitterState emitter;
EmitPathPointState linkPath;

bool within(const Point3D& a, const Point3D& b, double tol) {
  return std::fabs(a.x - b.x) <= tol && std::fabs(a.y - b.y) <= tol && std::fabs(a.z - b.z) <= tol;
}

int emitPathPointOn(EmitPathPointState& s, const Point3D& p, int code) {
  if (s.pathPointValid != 0) {
    if (std::fabs(p.x - s.lastPathPoint.x) >= kSamePathPoint ||
        std::fabs(p.y - s.lastPathPoint.y) >= kSamePathPoint ||
        std::fabs(p.z - s.lastPathPoint.z) >= kSamePathPoint) {
      s.pointBeforeLast = s.lastPathPoint;
    }
    s.lastPathPoint = p;
  } else {
    s.lastPathPoint = p;
    s.pointBeforeLast = p;
  }
  s.pathPointValid = 1;
  Point3D q = p;
  if (csysCurrent()->prepared != 0) csysToolToFrame(&q);
  Point3D a = s.outputAxis;
  csysToolDirToFrame(&a);
  emitToolAxis(a);
  return emitPoint(q, code);
}

}  // namespace

EmitterState& emitState() { return emitter; }
EmitPathPointState& retractPathState() { return linkPath; }

EmitPointFn emitSetCallbacks(EmitPointFn point, EmitVoidFn literalStart, EmitVoidFn end) {
  emitter.point = point;
  emitter.literalStart = literalStart;
  emitter.end = end;
  return point;
}

void emitClearCallbacks() {
  emitter.point = nullptr;
  emitter.literalStart = nullptr;
  emitter.end = nullptr;
}

void emitSetAxisCallback(EmitAxisFn axis) {
  emitter.axis = axis;
  emitter.fiveAxisOutput = 1;
}

int emitToolAxis(const Point3D& axis) {
  emitter.currentAxis = axis;
  if (emitter.axis != nullptr) {
    Point3D a = axis;
    if (emitter.axis(&a, 1) < 0) return -3;
  }
  return 0;
}

int emitPoint(const Point3D& position, int code) {
  if (code >= 0 && emitter.lastEmittedCode >= 0 &&
      within(position, emitter.lastEmitted, kEqualTol) &&
      within(emitter.currentAxis, emitter.lastEmittedAxis, kEqualTol)) {
    return 0;
  }
  emitter.lastEmitted = position;
  emitter.lastEmittedAxis = emitter.currentAxis;
  emitter.lastEmittedCode = code;
  if (emitter.point != nullptr) {
    Point3D q = position;
    if (emitter.point(&q, code) < 0) return -3;
  }
  return 0;
}

int emitPathPoint(const Point3D& position, int code) {
  return emitPathPointOn(emitter.path, position, code);
}

int emitPointWithAxis(const Point3D& position, const Point3D& axis, int code) {
  emitter.path.outputAxis = axis;
  return emitPathPoint(position, code);
}

int retractEmitPathPoint(const Point3D& position, int code) {
  return emitPathPointOn(linkPath, position, code);
}

int retractEmitPointWithAxis(const Point3D& position, const Point3D& axis, int code) {
  linkPath.outputAxis = axis;
  return retractEmitPathPoint(position, code);
}

int emitNearLastPoint(const Point3D& point, double distance, int flag) {
  if (emitter.lastEmittedCode < 0 || flag == 0) return 0;
  return vecDistance(point, emitter.lastEmitted) < distance ? 1 : 0;
}

void emitCallEnd() {
  if (emitter.end != nullptr) emitter.end();
}

void emitEventA(int mask) {
  if ((mask & emitter.eventMask) != 0 && emitter.eventA != nullptr) emitter.eventA(mask, 0.0, 0.0);
}

void emitEventB(int mask) {
  if ((mask & emitter.eventMask) != 0 && emitter.eventB != nullptr) emitter.eventB(mask, 0.0, 0.0);
}

int emitTakePointAxis(Point3D* out, int index, const PathList* path) {
  if (emitter.fiveAxisOutput == 0 || path == nullptr || path->axes == nullptr || index < 0 ||
      index >= path->count) {
    return 0;
  }
  *out = path->axes[index];
  return 1;
}

double emitMacroFirstStep(const MoveMacro* macro) {
  if (macro == nullptr || macro->count <= 1) return 1.0;
  return std::fmax(vecDistance(macro->points[0], macro->points[1]), 0.1);
}

int emitOut3dMove5Axis(Point3D* position, int code) { return out3dMove5Axis(*position, code); }
int emitOut3dMove3Axis(Point3D* position, int code) { return out3dMove3Axis(*position, code); }
int emitOut3dSetToolAxis(Point3D* axis, int /*flag*/) {
  out3dSetToolAxis(*axis);
  return 0;
}
