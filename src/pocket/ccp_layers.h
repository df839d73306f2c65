// ccp_layers.h - the layer operations of the pocket cycle's run: the depth-range list of a layer's
// contours, the nearest pocket group, the islands and clamps that join a level's MAIN, and the
// tests of a layer's depths and first contour.
#pragma once

#include "framework/cycle.h"
#include "pocket/ccp_fields.h"
#include "pocket/contour_element.h"
#include "pocket/pock_levels.h"

// Enters each contour's zTop and zBottom with its index into the list (from entry 0); with the
// record's oriAutomatic 2 only the contours whose group is group. Returns the number of entries;
// -1 when the list is full (the entries so far stay) or an argument is null.
int ccpFillLevelList(const CcpRecord* record, PocketLevelList* list, const char* name, int group);
// The group of the contour with a non-zero group nearest to point (distance to the contour; the
// first minimum wins); 0 for an empty layer or when no contour has a group.
int ccpGroupNearest(const char* name, const Point2D& point);
// Walks the layer in order: when the first contour of group met is an outer boundary (ccw equals
// leftSide) nothing is copied; otherwise every island (ccw differs from leftSide) of another group
// whose zTop is at least z + kLevelTol and whose parent chain reaches a contour of group is
// appended to dest. Returns the number appended; -1 when dest refuses a contour.
int layerCopyNestedOfGroup(const char* name, const char* dest, int group, double z);
// Appends every contour of name that crosses dest's first contour or lies inside it. Returns the
// number appended; 0 when dest is empty; -1 when dest refuses a contour or memory runs out.
int layerCopyTouching(const char* name, const char* dest);
// 1 when all contours share zTop and zBottom within kLevelTol (also for an empty layer); else 0.
int layerSameDepths(const char* name);
// 1 when the engine's stock mode is on or the first contour's ccw equals its leftSide; 0 otherwise;
// -1 for an empty layer.
int layerFirstFlagsEqual(const char* name);
// The stock contours (stockMark) of the layer turned against the pocket: when the first contour is
// marked it stays as it is and every later marked contour is reversed in place; otherwise the first
// marked contour is reversed and moved to the front (the engine's pockMovedToFront := 1) and the
// later marked ones are reversed in place. A reversed contour takes ccw from its new direction and
// the other leftSide. Returns 1 when a contour is marked; 0 when none (or the layer is empty); -1
// when a contour cannot be read or stored back.
int layerReverseMarked(const char* name);
// Index of the first contour after i (from the start when i < 0) whose sequence differs from
// contour i's (from -1 when i < 0); -1 when none.
int layerNextSequence(int i, const char* name);
// Finds a contour without parent (parent negative) that is narrow everywhere for width 0.2 while
// another contour of its group is not, and deletes it. Returns 1 deleted; 0 none.
int ccpDropNarrowDuplicate(const char* name);

// The level heights of the list for the infeed step; null after code 3201 (the heights cannot be
// computed) or 3020 (no memory).
PocketLevelHeights* ccpLevelHeights(const PocketLevelList* list, double step);
// Creates MAIN with every contour of layer name that the list enters spanning bottom: those whose
// orientation is outer in front in their order, the others behind. Returns 1; 0 after "103" (MAIN
// cannot be made) or "207" (no contour of that orientation); -1 when a contour cannot be copied.
int ccpMainFromList(CycleRecord* cycle, const PocketLevelList* list, const char* name,
                    double bottom, int outer);
// Creates MAIN with the contours of group g of layer name that the list enters spanning bottom, in
// their order, then the nested islands of other groups and, with clamps, the touching clamps.
// Returns 1 (MAIN may stay empty); 0 after "103"; -1 when a contour cannot be copied.
int ccpGroupMainFromList(CycleRecord* cycle, const PocketLevelList* list, const char* name, int g,
                         double bottom, int clamps);
