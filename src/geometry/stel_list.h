// stel_list.h - the start candidates of the contour walker (StelList): short 2D segments from a
// free node of the level raster towards blocked material. Level tracing starts a contour at a
// candidate and, after each traced contour, removes the candidates the contour passes, so that
// every free area is traced once; the 2D offset sorts its own candidates with stelCompareByBox.
#pragma once

#include <cstddef>
#include <cstdint>

#include "geometry/pko_list.h"
#include "geometry/vec.h"

struct Kont2D;
struct Raster;

// Sort states of a start list.
constexpr std::int32_t kStelUnsorted = 0;
constexpr std::int32_t kStelSortedAxis = 2;  // sorted by stelCompareAxis
// Modes: which raster builder made the list, and so which covering test applies.
constexpr std::int32_t kStelModeEdges = 0;  // stelFromRasterEdges, stelEdgeCovered
constexpr std::int32_t kStelModeRuns = 1;   // stelFromRasterRuns, stelRunCovered

// A start list. The segment array is the fifth word, as the item array of an IntList.
struct StelList {
  std::int32_t count;
  std::int32_t capacity;
  std::int32_t sortState;  // kStelUnsorted or kStelSortedAxis
  std::int32_t mode;       // kStelModeEdges or kStelModeRuns
  Seg2D* segments;         // owned; each from a free node towards material
  // Window of stelListRemoveCovered over the sorted list: the vertical candidates (by x1) come
  // first, then the others (by y1).
  std::int32_t windowFresh;  // 1: the groups are measured at the next window step
  std::int32_t vertCount;
  std::int32_t otherCount;
  std::int32_t vertStart;
  std::int32_t otherStart;
};
static_assert(offsetof(StelList, segments) == 16);

// New empty list with room for capacity segments (below 3 becomes 3): count 0, unsorted, edge
// mode. Null when memory runs out (nothing stays allocated).
StelList* stelListNew(int capacity);
// Frees the segments and the list. Returns 1; 0 for null.
int stelListFree(StelList* list);
// Appends a copy of the segment. A full list grows to floor(1.5 x capacity) entries; a failed
// growth leaves the list as it was. Returns 1; -1 for a null list, a list without storage, or
// when the list cannot grow.
int stelListAppend(StelList* list, const Seg2D& seg);
// Writes one line "x1 y1 x2 y2" (six decimals) per segment, replacing the file. Returns 1; -1 for
// a null list, a list without storage, a null name or a file that does not open.
int stelListWrite(const StelList* list, const char* fileName);
// Only while the debug switch is on: writes the list to "<counter>.sel" in the current folder
// (the process-wide counter as 8 digits with leading zeros, its last 8 digits used) and advances
// the counter on success. Returns 1 (also with the switch off, writing nothing); otherwise the
// negative result of the write, the counter unchanged.
int stelListDump(const StelList* list);
// Seeds the library's generator with seed, draws k = floor(next x count) until k is not 0 and
// exchanges segment 0 with segment k; the list is then unsorted. Nothing for a null list or fewer
// than two segments.
void stelListShuffleFirst(StelList* list, int seed);

// Comparator of two Seg2D for lstSort: vertical segments (|x1 - x2| < 1e-5) before the others;
// two vertical ones by x1 ascending, two others by y1 ascending; 0 for equal keys.
int stelCompareAxis(const void* a, const void* b);
// Comparator of two Seg2D for lstSort: smallest y ascending, then largest y descending, then
// smallest x ascending, then largest x descending; 0 when all four agree.
int stelCompareByBox(const void* a, const void* b);

// Start candidates from a classified level raster (node (r, c) at x0 + c colStep, y0 + r rowStep;
// -2 outside, -1 blocked, 0 or a seed number free), in run mode: along every row and then along
// every column, a run of blocked nodes (outside nodes neither extend nor end it) that starts at
// node a and ends at the free node e gives the candidates a-1 -> e and e -> a-1, or only e -> 0
// when a is 0; a run still open at the end of the line gives a-1 -> last node unless the whole
// line is blocked (a run from node 0 then starts one step before the first node). A candidate is
// kept only when its start lies inside the region (kontClassifyPoint gives 2); a null region
// keeps all. Capacity 100. Null for a null raster or when memory runs out.
StelList* stelFromRasterRuns(const Raster* raster, const Kont2D* region);
// Start candidates in edge mode: along every row and then along every column, a free node next to
// a blocked one gives the candidate from the free node to the blocked one, kept only when the
// free node lies inside the region (a null region keeps all). Capacity 100. Null for a null
// raster or when memory runs out.
StelList* stelFromRasterEdges(const Raster* raster, const Kont2D* region);

// Covering tests of one candidate by the traced XY segment t; side is the walking side (the sign
// of the traced contact kinds, 0 accepts either side). 1 covered, else 0.
// Run mode: crossing (or the candidate moved up to 0.2 towards t crossing) when the candidate
// starts on the walking side of t; else its start within sqrt(0.2) of t, or within sqrt(0.1) of an
// end of t when its foot falls outside t.
int stelRunCovered(const Seg2D& t, const Seg2D& cand, int side);
// Edge mode: crossing with the start on the walking side; else t passes within 0.2 of the
// candidate's start or end (a cut of the 0.2 circle with t's line that lies on t, or an end of t
// within 0.2).
int stelEdgeCovered(const Seg2D& t, const Seg2D& cand, int side);

// Removes the candidates that the traced segments [from, to) of traced pass (the covering test
// of the list's mode, tried on the candidates whose box grown by 0.5 overlaps the traced
// segment's box). The list is sorted with stelCompareAxis first (unless it already is) and each
// traced segment examines only a window of candidates a few raster steps around its box; the
// remaining candidates keep their order. Returns 1 (also for a null list or null traced); 0 for a
// list of an unknown mode; -1 when memory runs out (error record -1, the list unchanged).
int stelListRemoveCovered(StelList* list, const PkoList* traced, int from, int to);

// Test seam and run-start reset: the ".sel" dump counter back to 0.
void stelListResetState();
