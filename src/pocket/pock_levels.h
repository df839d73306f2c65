// pock_levels.h - the depth ranges of a pocket's contours and the depth levels made from them. The
// pocket cycle enters each contour's top and bottom, then cuts from the highest top down in steps
// no deeper than the infeed depth, stopping exactly at every top and bottom on the way, so that no
// level passes a contour's floor or an island's top.
#pragma once

#include <cstdint>

// Two heights closer than this are one height.
inline constexpr double kLevelTol = 0.00001;

struct PocketLevelEntry {
  double top;
  double bottom;
  std::int32_t flag;   // 1: no bottom, the entry spans every height below its top
  std::int32_t index;  // the contour's index in its layer, -1 when unset
};

struct PocketLevelList {
  std::int32_t capacity;
  std::int32_t count;
  PocketLevelEntry* entries;
};

// The level heights: the same capacity and count header over an array of heights, top first.
struct PocketLevelHeights {
  std::int32_t capacity;
  std::int32_t count;
  double* heights;
};

// A list with room for n entries (tops and bottoms 0, flags 0, indices -1); null when out of
// memory or for n below 1.
PocketLevelList* pockLevelListNew(int n);
// Sets entry i and raises the count to i + 1 when lower. Returns 1; -1 for a null list or i outside
// 0 .. capacity - 1.
int pockLevelListSet(PocketLevelList* list, int i, double top, double bottom, int flag, int index);
// 1 when z + kLevelTol is not above the entry's top and (the entry is flagged or z is not below its
// bottom - kLevelTol); else 0.
int pockLevelSpans(const PocketLevelEntry& entry, double z);
// Frees the list; null is allowed.
void pockLevelListFree(PocketLevelList* list);
// Among unflagged entries, the highest top or bottom strictly below z - kLevelTol: stored in *out,
// and its entry's index returned; -1 when none (out untouched).
int pockLevelNextBelow(const PocketLevelList* list, double z, double* out);
// Top and bottom of entry 0 (flagged or not), raised and lowered by every unflagged later entry.
// Returns 1; -1 for a null or empty list (outputs untouched).
int pockLevelRange(const PocketLevelList* list, double* top, double* bottom);
// The level heights for the infeed step: top first, then steps of s = |step| (top - bottom when
// |step| is below kLevelTol, at most top - bottom) down to each next top or bottom below
// (pockLevelNextBelow), which is itself a height, until the bottom. Level k lies between heights
// k and k + 1; a list whose top and bottom agree gives one height and no level.
// Null when the range fails, memory runs out, a height is not finite or the heights do not fit
// the room of (top - bottom) / s + 2 count + 10.
PocketLevelHeights* pockLevelSteps(const PocketLevelList* list, double step);
// Frees the heights; null is allowed.
void pockLevelHeightsFree(PocketLevelHeights* heights);
