// edge_corners.h - corner spurs of edge movement: where a ring turns toward the machined side and
// the stepover width is large against the tool radius, the band between this ring and the ring it
// was offset from keeps a corner of material the two rings cannot reach. A short spur out along the
// corner's bisector and back clears it.
#pragma once

#include "pocket/contour_element.h"

// Edge-movement settings of the level: the step (the tool radius), the limit (the stepover
// width), the side (the outer orientation) and whether edge movement is on.
struct PockEdgeMovement {
  double step;
  double limit;
  int side;
  int on;
};
// Stores the edge-movement step, limit and side; edge movement is on when the limit is at least
// step + the engine tolerance or "*EDGE_MOVEMENT" is 2.
void pockSetEdgeMovement(double step, double limit, int side);
PockEdgeMovement pockEdgeMovement();
// The settings back to off, as at each run start.
void pockEdgeMovementReset();

// Adds corner spurs to the ring elements[0..count), only when "*EDGE_MOVEMENT" is set and edge
// movement is on (pockSetEdgeMovement: step the tool radius, limit the stepover width, side the
// outer orientation). Each corner between an element and the one before it (the last before the
// first) whose class times the side is positive, with u and v the unit tangents at the end of the
// previous and the start of the element, b = (u - v) / |u - v| and o = |u x b|, gets a spur of
// length min(limit, tol + limit / o - 2 step) when limit / o reaches 2 step + tol: a line from the
// corner to corner + length b (pulled back to the first crossing with the ring of tree node
// `node`, the reference) and one back, both with the element's tag, inserted before the element.
// A spur pulled back to less than the tolerance is left out. The buffer holds capacity elements;
// a corner whose two lines would not fit gets no spur. Returns the new count; count unchanged when
// edge movement is off, node is not a tree node, or the arguments are unusable.
int pockEdgeCorners(int node, ContourElement* elements, int count, int capacity);
