// offset_rings.h - the rings of one pocketing level: the outer contour offset inward step by step,
// a ring around each island growing outward, the two merged where they meet, and every ring made a
// node of the nesting tree related to the rings it was built from. The contour-parallel strategies
// turn the pocket in layer MAIN (contour 0 the outer contour, then the islands) into these rings.
// Layers: GKT the tool-centre contours around the islands and later their next rings; SPAN the
// rings of the outer side still to be offset (the last one next); INSEL the first ring around each
// island; TEMP scratch of the regrouping.
// A ring header's group is its tree node once it has one, 0 for a new ring, and negative for a
// ring or island contour consumed by a merge; element tags name the rings an element came from.
#pragma once

#include "pocket/contour_element.h"
#include "pocket/layer_store.h"

// Most contours one merge may make take part, and the most restarts of a merge or passes of the
// ring loop: beyond them the level fails (code 3020).
inline constexpr int kRingMaxIterations = 1000000;
// Retries of an island contour within one merge.
inline constexpr int kRingMaxRetries = 10;

// The pocket cycle's parameters that the ring builders read.
struct RingSettings {
  int filletCorners = 0;             // "filletCorners": round ring corners
  double filletRadius = 0.0;         // "filletRadius"
  int reduceContours = 0;            // "reduceContours": reduce the first rings
  int forceInside = 0;               // "forceInside": island rings enter the tree reversed
  int collecting = 0;                // the output collects rings (strategy "outsideIn")
  double firstStepCorrection = 0.0;  // set by the start-point strategy for the next pass
  double diameterRatio = 1.0;        // effective-diameter ratio of the cutter
};
// The settings, for reading and setting.
RingSettings& ringSettings();

// Fills GKT with the tool-centre contours of the islands (MAIN 1 and on), each offset by R + its
// allowance to the side its leftSide chooses; side is not read. Returns 1; -1 when an offset or
// insertion fails.
int ringOffsetIslands(double r, const double* allowances, int side);
// Builds the first outer rings in SPAN and the island rings in INSEL with their tree nodes, and
// the next island rings in GKT. Returns 1; 0 when the outer contour offsets to nothing; -1 on
// failure.
int ringBuildSpans(double r, double allowance0, double zm, int side);
// Merges the last first contours of layer name with the contours of GKT. Mode 1 relates and marks
// for the tree (a ring inside an island ring is dropped, island contours crossing a ring are
// merged into it and consumed); mode 0 resolves island contours among themselves. Returns the
// number of contours of name that take part after the merges; -1 on failure (3030 for more than
// 5000 intersections, 3020 when the merge does not settle).
int ringMergeIslandContours(const char* name, double dist, int first, int parentNode, int mode);
// Re-offsets GKT contour position by -0.0006 while offsetFollowFailed is set and replaces it when
// that yields exactly one loop. Returns 1 replaced; 0 not; -1 when the offset fails.
int ringRetryGkt(int position);
// Generates all further rings from SPAN and GKT (one pass with once 1); side is not read. Returns
// 1 when done; the error of ringSeedFromIsland; -1 on failure (3020 when the passes do not end).
int ringBuildSuccessive(double step, int side, int once);
// Moves one island ring from GKT to SPAN when SPAN has run empty. Returns 0; -1 when GKT is empty
// or a step fails.
int ringSeedFromIsland(double step);
// Merges the GKT contours among themselves, makes them tree nodes and replaces them by their next
// rings; side is not read. Returns 1; -1 on failure.
int ringRegroupGkt(double step, int side);
// In stock mode, 1 when the contour lies inside a contour of layer name that carries the stock
// mark and whose ccw differs from its leftSide; else 0.
int layerContourInsideMarked(const ContourElement* elements, int n, const char* name);

// Test seam: settings back to their load values.
void ringSettingsResetState();
