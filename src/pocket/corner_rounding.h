// corner_rounding.h - rounding of ring corners by a fillet radius. Rounding is not available yet:
// each call reports "function not realised" (once per run) and fails, so callers keep the
// unrounded ring.
#pragma once

#include "pocket/contour_element.h"

// Rounds the corners of the contour (room for capacity elements) with radius. Returns -1 (the
// contour unchanged); code 3021 is sent at the first call after ringCornerResetState.
int contRoundCorners(ContourElement* elements, int n, int capacity, double radius);
// Rounds the corners by an offset out and back (inner selects the inner variant). As above.
int contRoundCornersByOffset(ContourElement* elements, int n, int capacity, double radius,
                             int inner);
// Forgets that 3021 was sent (each run starts with it).
void ringCornerResetState();
