// stock_rest.h - rest machining from a stock model: pairs each level's stock outline with the
// tool-centre paths lying in it into pockets and, on request, orders overlapping pockets so that
// the machining works down through each stack of them.
#pragma once

#include <cstdint>

#include "geometry/kont2d.h"
#include "geometry/zlevel_records.h"

// One node of a pocket's path list; the path points into the caller's ZPathList.
struct StockRestPathNode {
  ZPath* path;
  StockRestPathNode* next;
};

// One pocket. An array of them is the result of stockRestPockets.
struct StockRestPocket {
  double xmin, ymin, xmax, ymax;  // the pocket path's box for a path without material inside,
                                  // else the stock outline's box
  double centreX, centreY;        // centre of that box
  double z;                       // the stock outline's z
  Kont2D stockContour;            // copy of the outline's record, next cleared (arrays shared)
  StockRestPathNode* paths;       // null for a bare outline
  Kont2D* pocketContour;          // work region of the overlap test; null in the result
  std::int16_t done;              // 0; the caller sets 1 when nothing is left to machine
  std::int32_t groupId;           // overlap group with grouping, else 0
};

// The pockets of the stock outline chain (highest first, by next) and the region's paths. The
// list is put into the level order (nesting depths, falling z). Without grouping the pockets come
// by falling z, then falling centre x, then falling centre y; with grouping (non-zero) overlapping
// pockets are grouped and taken down through their stacks. Returns the array (freed with
// stockRestFree) and its count in *count; null with -20 recorded for a null chain or count, null
// with -1 recorded on no memory or when a work region cannot be built.
StockRestPocket* stockRestPockets(Kont2D* chain, ZPathList* paths, int grouping, int* count);
// Frees the node lists, any work regions and the array. Accepts null.
void stockRestFree(StockRestPocket* pockets, int count);

// From index max(*index, 0) of the list (sorted by falling z): the first path within 0.01 of the
// contour's z with a point inside the contour or within 0.001 of it. Returns 1 and its index in
// *index; 0 when the scan reaches a path more than 0.01 below the contour or the end; 0 with
// *index = -1 for a null list.
int zpathListFindInContour(const ZPathList* list, const Kont2D* contour, int* index);
// Builds pocket i's work region (outer contour counter-clockwise, islands clockwise, triangulated,
// flags = i). Returns 1, or -1 recorded.
int stockRestPocketContour(StockRestPocket* pockets, int i);
// 1 when the two work regions do not overlap, 0 when they do. The answer is cached symmetrically
// in the n x n byte matrix (127: not yet known), indexed by the regions' flags.
int stockRestContoursApart(const Kont2D* a, const Kont2D* b, std::uint8_t* matrix, int n);
// Numbers the overlap groups (pockets whose boxes overlap, directly or through others, share a
// group, numbered from 1 in order of first appearance) and sorts by stockRestCompare.
int stockRestGroupOverlaps(StockRestPocket* pockets, int n);
// Comparator for lstSort: rising groupId, then falling z (z within 0.001 counts as equal).
int stockRestCompare(const void* a, const void* b);
