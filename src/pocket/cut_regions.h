// cut_regions.h - the material left between the bands of neighbouring rings when the stepover is
// large compared with the flat-cutting part of the tool. The ring builders store the inner edge of
// the band each outer-side ring sweeps in CUT_SPAN, the outer edge of the band of each ring offset
// from it in CUT_BACK and the outer edge of each island ring's band in CUT_GKT. After each pass the
// regions left between these edges become extra rings of the nesting tree, one level deeper than
// the ring they came from. Everything here runs only while cut mode is on; otherwise every
// operation returns 0 at once.
#pragma once

#include "pocket/contour_element.h"
#include "pocket/layer_store.h"

// Cut mode off; when flag is set, creates CUT_GKT, CUT_SPAN and CUT_BACK and switches it on.
// Returns 0, -1 when a layer cannot be created (mode stays off).
int ringCutLayersEnable(int flag);
// In cut mode, frees the three layers and switches it off.
void ringCutLayersFree();
// 1 while cut mode is on.
int ringCutMode();
// In cut mode, a layer holding contours is emptied. Returns 0, -1 when it cannot be created again.
int ringCutLayerClear(const char* name);
// Sets the cut state of the pass: 0 normal, 1 after the outer side ran empty and an island ring
// took over, 2 during the final resolution. Returns 0.
int ringCutSetState(int state);
// The cut state.
int ringCutState();
// Offsets the ring by ratio x radius to its side (header leftSide ? +1 : -1) x dir and appends the
// loops whose start is free (ringCutStartFree) to layer: reversed for dir < 0, tags -1 (dir <= 0)
// or the ring's group (dir > 0) outside stock mode. Returns their number, -1 on failure; 0 outside
// cut mode.
int ringCutBand(const ContourElement* ring, int n, const ContourHeader& header, const char* layer,
                double radius, int dir);
// Appends the outward band loops of every contour of layer to target, each element tagged with
// the contour's group. Returns their number, -1 on failure; 0 outside cut mode.
int ringCutIslands(const char* layer, const char* target, double radius);
// 1 when a band loop may be kept: the circle of radius d - 0.05 (d / 2 when negative) about the
// ring's start does not cut the loop and the loop's start does not lie nearer than that.
int ringCutStartFree(const ContourElement* ring, int n, const ContourElement* loop, int m,
                     double d);
// Combines the contours of other into name (mode 1 against the back bands, 2 against the island
// bands). Returns the new count of name, -1 on failure (code 3030 for too many crossings); 0
// outside cut mode.
int ringCutCombine(const char* name, const char* other, double radius, int mode);
// Merges every two crossing contours of name into their pieces until none cross. Returns the
// count, -1 on failure.
int ringCutMergeSelf(const char* name);
// 1 when some contour of span and some contour of back cross twice or more or lie inside one
// another against their orientation; else 0; -1 on error (code 3030).
int ringCutInteracts(const char* back, const char* span);
// 1 when the region (n elements) crosses no contour of name, lies inside its first contour and
// outside every further one, keeps minDist (when above contTol) and 0.1 x R from each of them and,
// for a stepover factor below 0.5, is not longer than 25 x R; else 0.
int ringCutRegionValid(const char* name, double minDist, int n, const ContourElement* region);
// Resolves the cut regions of the current pass into tree nodes. Returns 1 when the combination ran
// (even when no region passed the check), 0 when there was nothing to resolve, -1 on failure.
int ringCutRegions();
// Every arc with a non-negative tag whose neighbours on both sides (cyclically) have negative tags
// and whose chord is shorter than length gets tag -1 (neighbours judged by the tags on entry).
void contMarkShortArcs(ContourElement* elements, int n, double length);
// Cut mode off and state 0, as at each run start.
void ringCutResetState();
