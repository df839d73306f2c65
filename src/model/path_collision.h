// path_collision.h - the last check before a toolpath leaves the library: does the tool, lowered
// onto the part at a position of the path (or of a straight move), come to rest higher than the
// position itself by more than a tolerance? The checks work on a copy of the model whose cutter
// radius is reduced by the tolerance, so that grazing contacts within the tolerance do not count.
#pragma once

#include "geometry/path_list.h"
#include "geometry/vec.h"
#include "model/surface_model.h"

// Tests one tool position against the facet set installed in the drop code (the caller installs
// k's facets, as collCheckPath does). position->z is the height to test, z0. The cutter of k is
// dropped at the position from k's lowest z (z0 - 1 when that lies above z0), onto k's facets of
// the grid cell (all facets without a grid) and onto every sub-model with its own cutter; a
// four-corner model drops onto its four-corner facets.
// Returns 0 when a drop touched and rests above z0 + x (position->z = the resting height; a
// collision marker is sent at (x, y, z0 - k's cutter zOffset) while markers are enabled); 1 when
// free: position->z = z0 after a touch, the start height when nothing was touched. 0 also, with
// the position unchanged, for a position or tolerance that is not a number (never called free).
// -20 for a null position or model or a model without a cutter (position unchanged).
int collCheckPoint(Point3D* position, const SurfaceModel* k, double x);

// Checks a path against the model m with tolerance x (the copy's cutter radius R is m's reduced
// by x when x > 0.00001). Points of a code class other than 0 are skipped, and so is a point
// closer than R / 2 to the last point tested; segments at least R long whose ends both have class
// 0 are sampled at their midpoint (at trunc(L / R) + 1 equal parts with subdivision on). Each
// colliding sample is logged through the error record as "Koll: %lf %lf %lf" (x, y, z). The
// interrupt check is polled before every point and every segment sample.
// Returns 1 no collision; 0 a sample collided; 2 stopped by the interrupt check; -1 the model
// copy could not be made (memory); -20 a null path or model, or a model without a cutter. Every
// non-positive result means: do not trust this path. The drop set is uninstalled at the end.
int collCheckPath(const PathList* path, const SurfaceModel* m, double x);

// Checks the straight move from a to b: the cutter of a copy of m (radius reduced by x when
// x > 0.00001) is dropped along the move's plan line with the copy's step and tolerance, and
// every sample but the last that is not a gap and rests above a.z + x collides (a collision
// marker is sent at (sample x, sample y, a.z - m's cutter zOffset) while markers are enabled).
// The samples are compared with the start height: the start-point search and the start test pass
// level moves (a.z = b.z), for which that is the height of the move everywhere.
// Returns 1 no collision; 0 collision, also for an end, a tolerance or a sample height that is
// not a number (never called free); -1 the profile, the sample list or the drop ran out of
// memory, or the drop was interrupted (the copy freed); -20 a null model, a model without a
// cutter, or a model whose step or tolerance is below 1e-5 or not finite (the drop could not
// advance).
int collCheckMove(const Point3D& a, const Point3D& b, const SurfaceModel* m, double x);

// With the flag set collCheckPath samples every long segment at trunc(L / R) + 1 equal parts
// instead of its midpoint. Off at load.
void collSetSubdivide(int flag);

// Collision markers (record 7001 on layer 42 of the current output cycle, the point mapped to the
// NC frame) of collCheckPoint and collCheckMove: on at load; a trial emission switches them off
// around its checks.
void collSetMarkers(int on);
int collMarkersOn();

// Test seam: subdivision off, markers on.
void collResetState();
