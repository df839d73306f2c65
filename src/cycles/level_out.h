// level_out.h - two small services of the roughing's output side: the same-Z collector, which
// gathers feed moves that stay at one z into a 2D chain and writes it as fitted lines and arcs
// when the run ends ("*GENERATE_ARCS"), and the drawing of a level's traced contours as auxiliary
// curves ("*GRDRAW"). The gouge switch of the contour walker lives with the level slicing
// (zlevel/gouge_check.h).
//
// Run state: the collector (chain, last point and z, open flag, reduced-feed state, skip-first
// flag); levelOutResetState frees the chain and puts it back (the run-start reset calls it).
#pragma once

#include "geometry/kont2d.h"
#include "geometry/lists.h"
#include "geometry/pko_list.h"
#include "geometry/vec.h"

// z of the collector while no run is open.
inline constexpr double kLevelOutNoZ = -1234567.89876;
// Two points continue one run when their z differ by less than this.
inline constexpr double kLevelOutSameZ = 0.00001;
// Output layer of the fitted moves and of the drawn contours.
inline constexpr int kLevelOutMoveLayer = 31;
inline constexpr int kLevelOutAuxLayer = 41;

// Creates the chain (room for 1000 segments), no run open. Returns 0; -1 without memory.
int levelOutBegin();
// Writes the open run and frees the chain. Returns 0; the flush's negative result when writing
// the run failed (its moves could not all be written).
int levelOutEnd();
// The point callback (position in output units, move code 0 rapid, 1 feed): a feed point at the
// open run's z, with the reduced-feed request unchanged and no special feed active, extends the
// chain (the output layer follows the position without writing); any other point ends the open
// run (written as lines and arcs) and is written at once. Returns 0; -1 when the chain cannot
// grow; the flush's negative result when writing the ended run failed; otherwise the result of
// out3dMove3Axis.
int levelOutSameZPoint(const Point3D& position, int code);
// Writes the open run as lines and arcs fitted within 0.75 x the unscaled "*PRECISION", no longer
// than "*STEP_MAX" / unit factor; a failed fit writes the collected points as plain feed moves.
// The chain is empty afterwards. Returns 0; -1 when the fit failed (the points were still
// written); -2 when writing failed.
int levelOutFlush();
// Writes the elements: a 3D feed move (3114) to the first element's start at the run's z, then
// a feed (line) or an arc move per element. Returns 0; -2 when a record could not be written.
int levelOutEmitElements(const LineArcList* list);
// Moves an arc's centre onto the perpendicular bisector of its chord at exactly its radius from
// both ends, on the side of the old centre (the midpoint for a half circle). Lines, chords below
// 0.00001 and radii shorter than half the chord are left alone.
void levelOutArcCentre(LineArcElem* element);
// Skip-first flag: the next flush writes the run's first segment alone as a line (no cycle of
// this system sets it).
void levelOutSetFlag(int flag);
// 1 between levelOutBegin and levelOutEnd, else 0.
int levelOutActive();

// Draws the chains of the traced contours (3D segments; id -2 marks one that is not drawn) on
// layer 41, z lowered to the tool tip when "*TOOL_TIP" is 1, collinear points merged and points
// closer than min(0.5, 1 / unit factor) to their predecessor dropped. Only points inside the
// boundary regions count (null: every point). Nothing with "*GRDRAW" 0. Returns 1; -1 no memory.
int levelOutDrawContours(const PkoList* set, const Kont2D* boundary);
// The same without the boundary and without dropping close points, drawn only when bit value 1
// of "*GRDRAW" is set (no cycle of this system calls it).
int levelOutDrawContours2(const PkoList* set);
// 1 without regions or when (x, y) lies inside some region of the list (not in an island).
int levelOutInsideBoundary(const Point3D& point, const Kont2D* regions);
// Returns 0.
int levelOutNoop();

// Test seam and run-start reset.
void levelOutResetState();
