// pko_pieces.h - the pieces of a traced segment list read from the segments themselves: runs of
// segments that join end to start, their collinear merge, and the index of each run's first
// segment. The re-tracing of Z paths rebuilds its piece starts this way after merging.
#pragma once

#include "geometry/lists.h"
#include "geometry/pko_list.h"

// A segment whose start lies farther than this (in XY) from the previous segment's end starts a
// new piece.
inline constexpr double kPkoPieceGap = 1e-5;

// Merges collinear segments of equal id and kind within each piece (pkoListMergeRange per run
// of joining segments, so that no merge bridges a gap). Nothing for a null or empty list.
void pkoListMergeCollinear(PkoList* list);

// Resets starts and appends 0 and the index of every segment whose start lies farther than
// kPkoPieceGap from the previous segment's end. Returns the number of pieces; 0 for an empty
// list; -1 for a null list or starts, or when an append fails.
int pkoListPieceStarts(const PkoList* list, IntList* starts);
