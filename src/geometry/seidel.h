// seidel.h - triangulation of simple polygons with holes by Seidel's randomized incremental
// algorithm: trapezoidal decomposition with a point-location structure, monotone pieces, and the
// triangles of every piece. The region mesh builds its triangles through here.
//
// The tables live in process-wide storage that the caller prepares for a number of segments,
// clears between polygons and releases at the end; one triangulation runs at a time.
#pragma once

#include <cstdint>

#include "geometry/vec.h"

// Allocates every table for `capacity` segments (the mesh builder asks for twice its total point
// count plus 3); tables prepared before are released first. Returns 1; -20 for a capacity below 3
// or too large to index; -1 when an allocation fails (nothing stays prepared, error record set).
int triSeidelPrepare(int capacity);
// Zeroes every table; the capacity stays. Returns 1; 0 when nothing is prepared.
int triSeidelClear();
// Frees every table. Safe to call when nothing is prepared.
void triSeidelRelease();
// The segment capacity of the prepared tables (0 when nothing is prepared).
int triSeidelCapacity();

// Room of the triangle output array of the next calls (initially 0, so every call fails until the
// caller says how much room it has). A negative limit counts as 0.
void triSeidelSetTriangleLimit(int limit);

// Seed of the module's own random generator, which orders the segments of each triangulation.
// The generator runs on from call to call, so two calls on one polygon usually triangulate it
// differently; setting the same seed before a call repeats that call's triangulation exactly.
void triSeidelSetSeed(std::uint64_t seed);

// The failure code of the last call, before the entry turned it into -1: -20 bad argument (null
// array, fewer than 3 points in a contour, too few triangles of room, a point not finite), -27 a
// table is full, -41 two points coincide within 1e-12, -47 a contour runs the wrong way (the outer
// one must run counter-clockwise, holes clockwise), -46 the trapezoidal decomposition is
// inconsistent (also for crossing, touching or wrongly nested contours), -202 the monotone split
// or the triangulation is inconsistent or the output is short, -1 a fault or a failed allocation
// inside; 0 after a success.
int triSeidelFailCode();

// Triangulates the polygon of `contourCount` contours with `pointCounts[k]` points each. The
// points are vertices[1..n] (entry 0 is not read), contour k's points after those of contour
// k - 1, each point listed once (no closing repeat). Contour 0 is the outer boundary and runs
// counter-clockwise; the others are holes inside it and run clockwise. Writes n + 2h - 2
// counter-clockwise triangles of 1-based vertex indices to `triangles` (h holes; the room is the
// triangle limit). The tables must be prepared for at least n segments.
// Returns 1 on success; -1 on any failure (the error record then holds -1 and the source
// "tripoly2"; the inner reason is in triSeidelFailCode). The output array holds what was written
// so far and is to be discarded on failure. Any fault inside (a table index out of range, a failed
// allocation) ends the call with -1 and two log lines in the error record.
int triangulate_polygonm_seidel(int contourCount, const int* pointCounts, const Point2D* vertices,
                                int (*triangles)[3]);

// Test seam: the n-th allocation after this setting (a table in triSeidelPrepare or scratch memory
// of a triangulation) fails as if memory ran out; 0 switches it off.
void triSeidelFailAllocationAt(int n);
// Test seam: back to the state at load (tables released, limit 0, seed 1, no failure pending).
void triSeidelResetState();
