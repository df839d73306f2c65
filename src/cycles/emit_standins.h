// emit_standins.h - what the region emission calls of the link, collision and macro-file steps
// that the library does not hold yet. Each is safe by construction (a macro goes out untested but
// along its own shape or straight along the tool axis, links go up to the clearance plane, across
// and down) and is replaced, name for name, when its module is built.
#pragma once

#include "cycles/approach_macro.h"
#include "cycles/machining_params.h"
#include "geometry/vec.h"

struct SurfaceModel;

// Sends a macro: the kinds 0, 7, 8, 20 and 28 as built, every other kind as a straight move along
// the macro's shift vector (the tool axis) of the same length, with one warning per run. link -1:
// no link before the macro; 0 or 1: link to its top first with this near flag. 0 or negative.
int emitMacroTested(MoveMacro* macro, const MachiningParams* params, const SurfaceModel* model,
                    int link);
// Sends an approach from its second-to-last point back to point 0, a retract from point 1 on.
int emitMacroPoints(const MoveMacro* macro, int code);
// Gets the tool to target: nothing when it is there already (same point within 0.001, same axis);
// otherwise up to the clearance plane, across and down. 0 or -3.
int emitConnectMacro(const Point3D& target, const Point3D& direction, int nearFlag,
                     const MachiningParams* params, const SurfaceModel* model);
// 1 for a helix approach (kind 6): until the helix is laid onto the model it is taken to collide.
int emitHelixCollides(const MachiningParams* params, const SurfaceModel* model,
                      const Point3D& start, const ApproachParams& a);
// Up from last (none: nothing) to the clearance plane, then across and down to next when given.
// 0 or -3.
int retractLinkMove(const SurfaceModel* model, const MachiningParams* params, const Point3D* last,
                    const Point3D* next, const Point3D& outputAxis, const Point3D& macroAxis);
// 1: the tool at point with axis is free (always, until the holder query exists; one warning per
// run when asked).
int holderQueryCollision(const Point3D& point, const Point3D& axis);
// 0: the connect module's segment-tilt mode is off.
int connectGetSegmentTilt();
