// closed_paths.h - closing the traced pieces of one level: open pieces that end on the machining
// region's boundary are joined along the region's contours into closed paths, and sharp corners of
// freshly traced pieces are extended where the tool is free.
#pragma once

#include "geometry/lists.h"
#include "geometry/pko_list.h"
#include "geometry/slice_records.h"

// Failure codes of the closing besides -1 (no memory or a failed append).
inline constexpr int kClosedSameEnds = -28;     // two piece ends or two piece starts coincide
inline constexpr int kClosedNoAlternate = -41;  // ends and starts on a contour do not alternate
inline constexpr int kClosedOutsideBox = -4;    // the paths reach more than 1.0 beyond the region
inline constexpr int kClosedOffContour = -202;  // a piece end lies on no region contour

// Where an open piece starts or ends on the region's boundary.
struct PieceEnd {
  double x, y;       // the point on the contour
  double parameter;  // segment index plus fraction along the contour
  int contour;       // -1 the outer contour, 0, 1, ... the islands in chain order
};

// Joins the pieces of context->traced (piece k from pathStarts[k] to the next start or the end)
// into closed paths: every piece whose start and end differ by 0.0001 or more is an open piece
// whose ends are moved onto the region's contour they lie on (found through the region's mesh,
// else by a distance of at most 0.01); then each end is joined to the next start along its
// contour, and the stretches are chained into closed paths. traced and pathStarts receive the
// paths; the work list keeps the copy of the input with the bridges behind it.
// Returns 1 paths written; 0 for an empty list or no region (nothing changed); -20 for null
// records or missing work list or piece starts; -1 no memory; -202, -28, -41 (the input is left
// in the work list, traced is empty) and -4 (traced filled) as above, each recorded under
// "Arczpath".
int gen_closedpaths(CollCtx* ctx, WalkTool* tool, WalkParams* params, SliceContext* context);

// Checks the piece ends and starts, each sorted by (contour, parameter): no two consecutive ends
// or starts within sqrt(0.001) of each other (-28, "gen_closedpaths gescheitert wegen
// identischer Paths" logged), and on each contour the ends and starts alternate, read end first
// or start first (-41, "gen_closedpaths gescheitert wegen Selbstueberschneidung" logged).
// Returns 1 when both hold.
int arczCheckPieceEnds(const PieceEnd* ends, const PieceEnd* starts, int n);

// For each pair i < n appends to work the path along the contour of ends[i] from ends[i] to
// starts[i] (in the contour's segment order), at the height of work's first segment, with zero
// contact vectors, id -2 and the contour index as kind; each path's first index is appended to
// pieceStarts. Returns 1; -1 when an append fails; -20 for null arguments or a contour index
// that the region does not have.
int arczBoundaryBridge(PkoList* work, IntList* pieceStarts, const Kont2D* region,
                       const PieceEnd* ends, const PieceEnd* starts, int n);

// Extends the corners of the piece [from, to) of context->traced: where two turns in the
// machining sense ("*SEITE" 1: counter-clockwise) cut off a corner whose neighbours' lines meet
// within 0.2 of both, at an outer angle above 3 pi / 2 - 0.1, and a probe tool of 0.99 the size
// moved along both lines to their intersection touches nothing, the corner moves to that
// intersection. Pieces of four segments or fewer are left alone.
void arczRefineCorners(CollCtx* ctx, WalkTool* tool, WalkParams* params, SliceContext* context,
                       int from, int to);

// Number of corners refined since the last reset.
long arczRefinedCount();
// Run-start reset: the refinement counter back to 0.
void arczResetState();
