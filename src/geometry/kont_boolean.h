// kont_boolean.h - union, intersection and difference of two region lists of the contour module.
// The Z-level code combines level sections with stock and rest areas through these.
#pragma once

#include "geometry/kont2d.h"

// Modes of the Boolean operations.
constexpr int kKontUnion = 0;
constexpr int kKontIntersection = 1;
constexpr int kKontDifference = 2;  // A minus B

// Code of a Boolean operation whose pieces do not chain into closed contours.
constexpr int kKontChainBroken = -42;

// The Boolean operation on copies of A and B; a failed attempt is retried at ten scales about the
// common centre of the copies. A and B are never changed; an operand whose copy holds no contour
// (no contour of three distinct points) is treated as a null operand. The copies are rounded to
// six decimals, except for an operand with a contour smaller than 1e-5, which is copied exactly
// (the rounding would deform it; the scaled attempts resolve it).
// Returns 1 with a new region list in out; 0 when the result is empty or both operands are null
// (out null); -20 for a mode other than 0, 1, 2 or a null out (no error record), or for a
// coordinate that is not finite (error record set); -1 when an operand cannot be copied; other
// negative codes when every attempt failed (out null; error record set, source "kont2d").
int kontBooleanSafe(const Kont2D* a, const Kont2D* b, int mode, Kont2D** out);

// One attempt of the Boolean operation. The segment ends of A and B are snapped (each start onto
// the previous end, the last end onto the first start, and each vertex of B within 2e-6 in x and
// y of a vertex of A onto that vertex), so callers pass copies. A vertex within 1e-6 of a segment
// of the other operand cuts that segment, so shared and nearly shared edges are cut alike on both
// sides and recognised as shared edges rather than classified by a point test. Contours whose
// points all lie within 1e-12, and contours thinner on average than 1e-8 (twice the area over the
// perimeter), enclose nothing at that resolution and are left out.
// Contours that the operation chains from pieces have z = 0; the copies made when an operand is
// null keep the z of their region's outer contour. The result contours are closed (every segment
// starts where the one before ends), nested, of at least three distinct points, and run as their
// pieces did (A's direction; B's, or reversed for the difference).
// Returns 1 with a new region list in out; 0 for an empty result (out null); -20 for a bad mode,
// a null out, a coordinate that is not finite, an operand whose first contour has fewer than 3
// segments, a contour that does not close within 1e-8, or a contour smaller than 1e-5 in both
// directions (below what one attempt resolves; the scaled attempts take it); -42 when the pieces do
// not chain into closed contours (with the debug switch on, A and B are written to "problem1.bnd"
// and "problem2.bnd"); -1 when memory runs out. Failures leave out null and set the error record
// (source "kont2d").
int kontBoolean(Kont2D* a, Kont2D* b, int mode, Kont2D** out);

// Steps after the copy of kontBooleanSafe, on copies the caller owns: one attempt, then, while
// attempts fail, ten attempts at growing scales about the copies' common centre, each result
// scaled and moved back. The copies are scaled and moved back after every attempt, so they end
// where they started up to rounding. Results as kontBoolean.
int kontBooleanScaled(Kont2D* copyA, Kont2D* copyB, int mode, Kont2D** out);

// Test seam: with on, kontBoolean takes its slow paths (every segment pair of A and B tested for
// cuts, every piece classified by the region point test), which the fast ones must match exactly.
void kontBooleanSetOracle(int on);
// Test seam: back to the state at load (fast paths; the scratch block kept between operations is
// released).
void kontBooleanResetState();
