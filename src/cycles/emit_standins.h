// emit_standins.h - the stand-ins that the region emission calls in place of the macro tests,
// links, helix test, holder query and segment-tilt switch that the library does not hold yet.
// Each carries a name of its own (emitStandIn...), so that a caller shows what it calls, and is
// safe by construction: a macro goes out untested but along its own shape or straight along the
// tool axis, a link goes up to the clearance plane, across and down, a helix is taken to collide.
// Where a job asks for something that is missing the run says so once (message 1104 through
// roughMissingFeature). The real step replaces its stand-in, and the stand-in goes, when its module
// is built. emitMacroPoints is that module's own sender, here beside the stand-in macro that uses
// it until the macro tests come with it.
#pragma once

#include "cycles/approach_macro.h"
#include "cycles/machining_params.h"
#include "geometry/vec.h"

struct SurfaceModel;

// Sends an approach from its second-to-last point back to point 0, a retract from point 1 on (the
// point where the tool stands is not sent again). 0 or the first negative result of the point
// emitter.
int emitMacroPoints(const MoveMacro* macro, int code);
// Sends a macro untested: the kinds 0, 7, 8, 20 and 28 as built, every other kind as a straight
// move along the macro's shift vector (the tool axis) of the same length, named once per run
// ("emitMacroTested"). link -1: no link before the macro; 0 or 1: link to its top first with this
// near flag. 0 or negative.
int emitStandInMacro(MoveMacro* macro, const MachiningParams* params, const SurfaceModel* model,
                     int link);
// Gets the tool to target: nothing when it is there already (same point within 0.001, same axis);
// otherwise up to the clearance plane, across and down. 0 or -3.
int emitStandInConnect(const Point3D& target, const Point3D& direction, int nearFlag,
                       const MachiningParams* params, const SurfaceModel* model);
// 1 for a helix approach (kind 6): until the helix is laid onto the model it is taken to collide.
int emitStandInHelixCollides(const MachiningParams* params, const SurfaceModel* model,
                             const Point3D& start, const ApproachParams& a);
// Up from last (none: nothing) to the clearance plane, then across and down to next when given.
// 0 or -3.
int emitStandInLinkMove(const SurfaceModel* model, const MachiningParams* params,
                        const Point3D* last, const Point3D* next, const Point3D& outputAxis,
                        const Point3D& macroAxis);
// 1: the tool at point with axis is free (always, until the holder query exists; named once per
// run, "holderQueryCollision").
int emitStandInHolderFree(const Point3D& point, const Point3D& axis);
// 0: the segment-tilt mode of the fixed-axis segments is off.
int emitStandInSegmentTilt();
