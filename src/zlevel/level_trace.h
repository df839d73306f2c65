// level_trace.h - the tracing of one Z level: from each start segment of the level raster the
// tool moves until it touches the model, the contour through that contact is traced with the
// walker and its corners sharpened, and the starts the new piece passes are dropped, so that
// every contour is traced once; a level whose pieces meet is rejected.
#pragma once

#include "geometry/slice_records.h"
#include "model/wcoll_boxtree.h"

// Failure codes of the tracing besides -1 (no memory) and the walker's codes.
inline constexpr int kTraceNoProgress = -30;   // a pass removed no start segment
inline constexpr int kTraceNothingAdded = -5;  // contacts were traced but no segment was added
inline constexpr int kTraceBadStart = -60;     // a start contact outside the region or gouging
inline constexpr int kTracePiecesMeet = -45;   // segments of two pieces cross or touch
inline constexpr int kTraceInterrupted = -2;   // the host's interrupt check fired
// Start segments this short or shorter are never searched.
inline constexpr double kTraceShortStart = 0.001;
// Start segments are searched this much beyond their end (not when undercuts are accepted).
inline constexpr double kTraceStartReach = 0.1;

// Traces the level: allowance tables (list mode without the no-allowance flag) installed for the
// call, offs3dPrepare, the start list (the context's, else built from the raster: run mode when
// "*ACCEPT_UNDERCUT" or "*STOCK_UNDERCUT" is set, edge mode otherwise, freed on return), passes
// over the starts until none is left (a contact is traced with offs3dTrace, its corners refined
// unless the no-closing flag is 1, its first segment index appended to the piece starts and the
// starts it covers removed; a start whose walk finds nothing at its first search, where the
// contact search touched a face or edge the tool only rests on, is dropped like one without
// contact), then the test between pieces. offs3dRelease on every return.
// Returns 1 or 2 done (2: the last pass without contact left starts that a later piece covered);
// 1 also for an empty start list (no pieces); -20 null records, no traced list or no piece
// starts; -1 no memory; -2 interrupted; -30, -5, -60, -45 as above; the walker's negative codes.
// Every failure but -2 and -20 is recorded under "Arczpath".
int arczTraceLevel(CollCtx* ctx, WalkTool* tool, WalkParams* params, SliceContext* slice);

// 0 when no two pieces of the slice (piece starts into traced) have segments that cross or touch
// in XY; -45 when some do ("Pkont-Kollision i j von n" logged per pair, the list dumped while the
// debug switch is on); -1 no memory. Pieces are tested pairwise through box trees of their
// segments; boxes that merely overlap do not count. The second argument is not read.
int arczCheckContourCollisions(const SliceContext* slice, int unused = 1);

// Element box of the piece box trees: the 2D box (min x, min y, max x, max y) of Seg2D element.
void arczWallBox(double box[4], const BoxTree2D* tree, int element);
