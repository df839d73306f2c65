// rough_main.h - the Z-level roughing run that the roughing records' compute phases run once the
// cycle parameters have reached the global parameter block: configuration, tool and output
// set-up, the controller over the boundary and, when the level planning found flat planes, a
// second time over their outlines; then the output is closed and everything released.
#pragma once

#include "cycles/machining_params.h"
#include "framework/global_params.h"
#include "model/surface_model.h"

// Runs the roughing with the configuration file at cfgPath, or on the global parameter block as
// it stands when cfgPath is null. Returns the stop code: the controller's result (0 or more
// success, -2 user break, other negative values failures), -1 when the configuration file
// cannot be read or the tool radius is no positive number (nothing else is done), -8 when tilt mode
// 3 or 5 finds no tilt curve (message 6001). Every exit after the configuration closes the output
// and releases what the run set up. The keys that the flat-plane pass changes are put back after
// it.
int roughMain(const char* cfgPath);

// The second-pass flag: 1 while the flat-plane pass runs (read by the region emitter).
void roughSetSecondPass(int flag);
int roughSecondPass();
// The plane-pass marker: 1 from the start of a flat-plane pass to the end of the run.
int roughPlanePass();

// Run-start reset: both flags 0.
void roughMainResetState();

// Test seams, not reset by a run: the controller that roughMain runs (null: roughControl), and a
// probe called first thing in roughMain, before the block changes (null: none).
using RoughControlFn = int (*)(MachiningParams* params, SurfaceModel* model);
void roughSetControl(RoughControlFn control);
using RoughProbeFn = void (*)();
void roughSetEntryProbe(RoughProbeFn probe);

// The flat-plane outline file of a roughing run, in its temporary folder; the compute phases
// remove it.
inline constexpr char kRoughFlatPlaneFile[] = "sopttmp.bnd";
// Message of a tilt-curve file that cannot be read ("* Error: cannot open Tilt curve %s").
inline constexpr int kRoughMsgNoTiltCurve = 6001;
// Message of a controller that found no model ("* No Model File").
inline constexpr int kRoughMsgNoModelFile = 509;
// Stop code of an unreadable tilt-curve file.
inline constexpr int kRoughStopNoTiltCurve = -8;
