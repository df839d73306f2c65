// emit_point.h - the point emitter: every toolpath point of the roughing and finishing cycles
// leaves through here. It keeps the tool axis that goes with the next point, maps points from the
// tool system into the NC frame, drops exact repeats and hands each point to the output callbacks
// the cycle installed. Move codes: 0 rapid, 1 feed.
#pragma once

#include "geometry/path_list.h"
#include "geometry/vec.h"

struct MoveMacro;

using EmitPointFn = int (*)(Point3D* position, int code);
using EmitVoidFn = void (*)();
using EmitAxisFn = int (*)(Point3D* axis, int flag);
using EmitEventFn = void (*)(int mask, double a, double b);

// The path-point half of the emitter state; the emitter and the five-axis link moves own one each.
struct EmitPathPointState {
  Point3D outputAxis = {0, 0, 1};  // tool-system axis the next path point carries
  Point3D lastPathPoint = {0, 0, 0};
  Point3D pointBeforeLast = {0, 0, 0};
  int pathPointValid = 0;
};

struct EmitterState {
  EmitPointFn point = nullptr;
  EmitVoidFn literalStart = nullptr;  // stored only
  EmitVoidFn end = nullptr;
  EmitAxisFn axis = nullptr;
  int fiveAxisOutput = 0;  // 1 once an axis callback was installed; never cleared
  EmitEventFn eventA = nullptr;
  EmitEventFn eventB = nullptr;
  int eventMask = 0;
  Point3D lastEmitted = {1234567, 1234567, -1234567};  // frame coordinates
  Point3D lastEmittedAxis = {-100, -100, -100};
  int lastEmittedCode = -1;  // -1: nothing emitted yet
  Point3D currentAxis = {-100, -100, -100};
  EmitPathPointState path;
  Point3D macroAxis = {0, 0, 1};  // axis the next approach, retract or link macro starts with
};

// The process-wide state (read and written by the region emission and the link moves).
EmitterState& emitState();
// The link moves' own path-point half.
EmitPathPointState& retractPathState();

EmitPointFn emitSetCallbacks(EmitPointFn point, EmitVoidFn literalStart, EmitVoidFn end);
// Clears the three callbacks (not the axis callback, not the five-axis flag).
void emitClearCallbacks();
void emitSetAxisCallback(EmitAxisFn axis);

// 0; -3 when the axis callback failed.
int emitToolAxis(const Point3D& axis);
// Frame coordinates. 0; -3 when the point callback failed. Drops exact repeats.
int emitPoint(const Point3D& position, int code);
// Tool coordinates: mapped into the frame, preceded by the output axis. As emitPoint.
int emitPathPoint(const Point3D& position, int code);
int emitPointWithAxis(const Point3D& position, const Point3D& axis, int code);
int retractEmitPathPoint(const Point3D& position, int code);
int retractEmitPointWithAxis(const Point3D& position, const Point3D& axis, int code);
// 1 when something was emitted, flag != 0 and point (frame) is closer than distance to the last
// emitted position.
int emitNearLastPoint(const Point3D& point, double distance, int flag);
void emitCallEnd();
void emitEventA(int mask);
void emitEventB(int mask);
// Copies the path's axis at index when the five-axis output flag is set and the path carries
// axes. 1 when copied, else 0.
int emitTakePointAxis(Point3D* out, int index, const PathList* path);
// 1.0 for a macro of at most one point; else the distance of its first two points, at least 0.1.
double emitMacroFirstStep(const MoveMacro* macro);

// Adapters of the 3D output layer to the callback forms above.
int emitOut3dMove5Axis(Point3D* position, int code);
int emitOut3dMove3Axis(Point3D* position, int code);
int emitOut3dSetToolAxis(Point3D* axis, int flag);
