// emit_region.h - emission of region paths: run by run, the retract left pending by the previous
// run, an approach macro or a direct link to the run's start, and the run's points with long
// steps and large axis changes subdivided; the final retract at the end of the roughing; thinning
// of paths before emission; link paths with interpolated tool axes.
#pragma once

#include "cycles/machining_params.h"
#include "geometry/path_list.h"
#include "geometry/vec.h"

struct SurfaceModel;

// The retract of the last emitted run, carried over to the next path and region.
struct PendingRetract {
  int pending = 0;
  Point3D lastPoint = {0, 0, 0};       // tool coordinates
  Point3D directionPoint = {0, 0, 0};  // behind the last point, more than 0.02 away in plan
  ApproachParams approach;
  int sense = 1;
  Point3D axis = {0, 0, 1};
};
const PendingRetract& emitPendingRetract();
// Once per run: no path point valid (both halves of the point emitter), nothing emitted yet (last
// code -1, both axes at their load values) and no pending retract.
void emitReset();
void emitClearPendingRetract();

// 1 when a cut run was started, 0 when the path held none, or the first negative result (-1 no
// memory, -3 output failure, -4 collision).
int emitRegionPath(PathList* path, const MachiningParams* params, const SurfaceModel* model);
// The pending retract and the move to the clearance plane. 0 or negative.
int emitFinish(const MachiningParams* params, const SurfaceModel* model);
int emitFinalRetract(const MachiningParams* params, const SurfaceModel* model);
// out := the point at index, then the first point from index on (direction > 0) or back whose plan
// distance from reference exceeds 0.02. 1 when found, 0 (out = point at index) when not.
int emitFindBreakNeighbour(int index, const PathList* path, Point3D* out, const Point3D& reference,
                           int direction);
// Link angle step (radians, 0 at load) and link check flag of the interpolated moves.
void emitSetIpolLimits(double angleStep, int check);
// Points between the last path point and target, with axes turned toward targetAxis. 0 when
// nothing was needed, 1 done, -4 holder collision, -1 sending failed.
int emitInterpolatedMove(const Point3D& target, const Point3D& targetAxis, double maxStep,
                         const MachiningParams* params);
// Sends points 1 to the end (point 0 is where the tool stands). 0 or the first negative result.
int emitPathWithAxes(const MachiningParams* params, PathList* path);
// Thins and sends a link path at the infeed feed. 1, or -3.
int emitLinkPath(PathList* path, const MachiningParams* params, const SurfaceModel* model);
// Marks removable points with class 3: chords at most chordLimit, deviation at most deviation.
void emitFilterPoints(PathList* path, double chordLimit, double deviation);
// The same marks, every chord scanned in full (quadratic on long straight runs): the oracle.
void emitFilterPointsPlain(PathList* path, double chordLimit, double deviation);
// emitFilterPoints, then undoes marks where the tool axis turns by more than cosLimit allows.
void emitThinPath(PathList* path, double chordLimit, double deviation, double cosLimit);

void emitRegionResetState();
