// contour_reduce.h - shrinking contours with many elements: runs of short lines, as a polyline
// input leaves them, are refitted with lines and arcs by the arc recogniser, so that the next
// offset stays fast. The ring builders reduce whole layers before offsetting them, and the offset
// reduces a contour that keeps failing.
#pragma once

#include "pocket/contour_element.h"

// Runs of lines shorter than this are copied unchanged by contReduceChains.
inline constexpr int kReduceMinRun = 10;
// Radius limits handed to the arc recogniser.
inline constexpr double kReduceMinRadius = 0.1;
inline constexpr double kReduceMaxRadius = 9999.9;

// Fits the run of m lines at elements (the start of each and the end of the last) with lines and
// arcs within tol (arcFitPoints), written to out (room for m elements) with the tag of the run's
// first line; an arc's radius is the distance of its start from its centre. Returns the number
// written; -1 when memory runs out, the recogniser finds nothing, or its walk does not reach the
// run's last point.
int contFitShortLines(int m, const ContourElement* elements, ContourElement* out, double tol);
// A reduced copy of the contour into out (room for n elements): arcs copied, every run of at least
// kReduceMinRun lines with the tag of its first line replaced by contFitShortLines (copied
// unchanged when that fails), shorter runs copied. Returns the copy's count.
int contReduceChains(const ContourElement* elements, int n, double tol, ContourElement* out);
// Reduces one contour in place: nothing while the parameter "suppressReduction" is on or, without
// force, for n <= 64 (result n). Otherwise contReduceChains with tol, again with 0.2 tol when the
// copy crosses itself (contFindSelfIsects not 0); the copy is cleaned (contCleanup) and its large
// arcs split (contSplitLargeArcs). Returns the new count, which replaces the contour; n (contour
// unchanged) when memory runs out or the copy would not be smaller than n; 0 (contour unchanged)
// when the copy still crosses itself or comes out empty.
int contReduceShort(ContourElement* elements, int n, double tol, int force);
// contReduceShort's steps for every contour of the layer, each reduced contour replacing its
// original (layerReplaceContour; a refused replacement, or a contour that cannot be reduced,
// stays as it was). Returns 1 (also while "suppressReduction" is on and for an unknown layer).
int layerReduceContours(const char* name, double tol, int force);
