// pocket_grouping.h - the pockets of a job: which INPUT contour lies inside which, the orientation
// of every contour (outer contours of a pocket in the machining direction, islands against it),
// the pocket (group) numbers, the depth ranges trimmed where a pocket sits on an island or under
// another pocket, each contour's enclosing contour, and the layer reordered group by group. Also
// the input check used when the contours come as one pocket, and the order of islands by distance
// that the level strategies use for large levels.
#pragma once

#include <vector>

#include "pocket/contour_element.h"
#include "pocket/layer_store.h"

// The group number of a contour not yet grouped.
inline constexpr int kGroupPending = 1000;
// Code of an input contour that lies outside the first.
inline constexpr int kPockCodeOutsidePocket = 3042;

// Containment of the contours of a layer: at(i, j) 1 when contour i lies inside contour j, -1 when
// j lies inside i, 0 when unrelated.
struct PockContainMatrix {
  int n = 0;
  std::vector<int> cells;
  int at(int i, int j) const { return cells[static_cast<std::size_t>(i) * n + j]; }
  int& at(int i, int j) { return cells[static_cast<std::size_t>(i) * n + j]; }
};

// Groups the contours of the layer into pockets. dir is the machining direction (+1
// counter-clockwise, -1 clockwise); multi leaves islands in their direction (stock mode "multi").
// The containment tolerances are 0.005 and 0.2 with direct linking, else 0.02 and 2.0, chosen per
// call. Returns the number of groups; 0 for an empty layer; -1 when memory runs out, a contour
// cannot be read or stored, or (without direct linking) two contours coincide. openFlagOut (may be
// null) receives 1 with direct linking when a contour of an open pocket (non-zero sequence) was
// reversed, else 0.
int pockGroupPockets(const char* name, int dir, int multi, int* openFlagOut);
// The containment matrix with the tolerances of the current call (pockGroupPockets sets them).
// Returns 1; 0 when two contours coincide (outside direct linking) or a contour cannot be read;
// -1 when memory runs out.
int pockContainMatrix(const char* name, PockContainMatrix* out);
// The direct parent of contour i: among the contours containing i, the one contained in exactly one
// contour fewer than i; -1 when i lies in nothing or there is no such contour.
int pockDirectParent(const PockContainMatrix& m, int i);
// The direct parent's position with its zTop, zBottom, group and orientation (+1 when its ccw is
// set, else -1); -1 when there is none.
int pockParentInfo(const PockContainMatrix& m, const char* name, int i, double* zTopOut,
                   double* zBottomOut, int* groupOut, int* orientOut);
// Orients and groups contour i, its ancestors first. Returns 1; -1 when a contour cannot be read or
// stored back.
int pockGroupOne(const PockContainMatrix& m, int i, int dir, const char* name, int multi);
// leftSide := (dir + 1) / 2; ccw := leftSide when orient equals dir, else 1 - leftSide.
void pockSetSideFlags(ContourHeader* header, int dir, int orient);
// The group list: per contour whether it is an outer contour (ccw equal to leftSide) and its group.
struct PockGroupEntry {
  int isOuter;
  int group;
};
std::vector<PockGroupEntry> pockGroupList(const char* name);
// Position of the first contour whose parent equals value; -1 when none or value < 0.
int layerFindByParent(int value, const char* name);
// 1 when some contour's sequence is negative (a contour of an open pocket), else 0.
int layerHasUnsequenced(const char* name);
// 1 when the first contour exists and every further contour crosses it or lies inside it; no first
// contour: code 3024 and -1; a contour outside it: code 3042 and 0.
int ringCheckInput(const char* name);

// A position of a layer and a distance, ordered by distance, then by position.
struct PockDistancePair {
  int position;
  double distance;
};
// -1, 0 or 1 by distance, equal distances by position (0 only for the same pair).
int pockCompareDistance(const void* a, const void* b);
// Reorders the contours after the first (the islands) by their smallest distance to the second
// contour, farthest first. Returns 1; 0 with two contours or fewer; -1 when memory runs out or a
// contour cannot be read or stored.
int pockSortIslandsByDistance(const char* name);

// The number of groups handed out by the last grouping.
int pockGroupCount();
// The grouping's counters and flags as at the start of a run.
void pockGroupingResetState();
