// open_rings.h - the rings of an open pocket (stock mode): MAIN's first contour is the stock, the
// further contours are the part inside it. Rings grow outward from the part contours pass by
// pass; each ring is clipped where it leaves the stock widened by the tool radius, and the
// stretches along that boundary are tagged -1 (open edge: the linkers move over them without
// cutting). Also the layer operations of the stock strategies (reversal, retagging, tagging by
// the stock, the open runs of the start ring).
// Layers: MAIN (stock, then part), INSEL (the widened stock; its first contour clips), SPAN (the
// rings of the current pass), GKT (scratch of a pass), CUT_SPAN and CUT_BACK (cut regions).
#pragma once

#include "pocket/contour_element.h"
#include "pocket/isect.h"
#include "pocket/layer_store.h"

// Most crossings of a ring with the boundary, and most elements of the clipped pieces.
inline constexpr int kOpenClipMaxRecords = 5000;
inline constexpr int kOpenClipMaxPieceElements = 50000;
// Attempts of ringOpenClipToStock and the shrink of the boundary between them.
inline constexpr int kOpenClipAttempts = 10;
inline constexpr double kOpenClipShrink = 0.1;

// Prepares an open pocket: INSEL := MAIN's first contour offset outward (to -side) by R +
// allowances[0], SPAN := the part contours (MAIN 1 and on, group lowered by 1). Returns 1, -1 when
// a layer or the offset fails.
int ringOffsetMainOpen(double r, const double* allowances, int side);
// One pass of rings (pass 0 around the part contours, offset by dist plus each contour's
// allowance when first is 1; pass >= 1 the next rings, clipped to the stock). Returns 1, the
// negative result of a clipping, or -1.
int ringOpenPass(double dist, int first, int pass);
// The first pass (ringOpenPass(dist, 1, 0)) and the rest file's radius record; side is not read.
// Returns 1, or the pass's failure.
int ringOpenFinal(double dist, int side);
// Passes 1, 2, ... while SPAN holds rings; side is not read. Returns 1 or the first negative
// result.
int ringOpenSpanPasses(double step, int side);

// Clips the ring to the boundary, shrinking a local copy of the boundary by 0.1 and retrying (at
// most 10 attempts) while the clipping reports trouble; the caller's boundary is never changed, so
// every ring of a pass is clipped against the same boundary. out has room for n + 2 nb + 10
// elements per attempt (the clipped ring). Returns the clipped ring's count, 0 when the ring is
// dropped, negative on failure.
int ringOpenClipToStock(const ContourElement* ring, int n, const ContourElement* boundary, int nb,
                        ContourElement* out, int outCapacity);
// One clipping. Returns the count, 0 (dropped), -1 (memory or more than 5000 crossings, code
// 3030), -2 (a join failed).
int ringOpenClip(const ContourElement* ring, int n, const ContourElement* boundary, int m,
                 ContourElement* out, int outCapacity);
// The pieces of the ring between crossing records that lie inside the boundary, one after the
// other in out; counts[k] their counts (room for records + 5). Returns their number; -1 when the
// pieces exceed 50000 elements (code 3029) or out has no room.
int ringOpenTracePieces(const ContourElement* ring, int n, IntersectionRecord* records, int count,
                        const ContourElement* boundary, int nb, ContourElement* out,
                        int outCapacity, int* counts);
// Joins the pieces (one after the other in pieces) with stretches of the boundary into one
// contour. Returns its count; -2 when a joining point has no record; -1 when out has no room.
int ringOpenJoinPieces(const ContourElement* pieces, const int* counts, int k,
                       const IntersectionRecord* records, int m, const ContourElement* boundary,
                       int nb, ContourElement* out, int outCapacity);
// The stretch of the boundary from recFrom's point to recTo's point that runs against the
// boundary's direction, tagged -1 and cleaned. Returns its count; 0 when the two points coincide
// (0.0001); -1 when out has no room.
int ringOpenStockPiece(const ContourElement* boundary, int nb, const IntersectionRecord& recFrom,
                       const IntersectionRecord& recTo, ContourElement* out, int outCapacity);
// The clipping's trouble counter (non-zero asks for a shrunk boundary); set to 0 by each attempt.
int ringOpenClipTrouble();

// Index of the first record whose point agrees with point within 0.0002; -1.
int isectFindAtPoint(const IntersectionRecord* records, int count, const Point2D& point);
// Removes each record that follows a record with the same elemB, elemA one less and the same
// point (0.0001). Returns the new count.
int isectDropConsecutive(IntersectionRecord* records, int count);
// 1 when an element with a non-negative tag crosses a contour of the layer from its second contour
// on; else 0.
int contCrossesLayer(const ContourElement* elements, int n, const char* name);
// Tags every element of the layer's contours by the first contour of ref: 0 inside, -1 outside;
// an element crossing it once in its interior is split there. Returns 1; -1 when ref is empty or
// a write fails.
int layerTagInsideFirst(const char* name, const char* ref);
// Tags as open the runs of the node's ring that lie outside INSEL's first contour widened by dist
// to side. Returns 1; 0 when INSEL is empty; -1 on failure.
int ringMarkOutsideInsel(int node, int side, double dist);
// Reverses every contour of the layer, negates ccw and leftSide and sets every non-negative tag to
// the contour's position. Returns 0; -1 when a write fails.
int layerReverseAll(const char* name);
// Sets every tag of each contour to the contour's position. Returns 0; -1.
int layerRetagByIndex(const char* name);

// Test seam and run reset: the reduced flag and the trouble counter back to 0.
void ringOpenResetState();
