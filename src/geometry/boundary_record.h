// boundary_record.h - the record of a machining boundary: one closed 2D contour in the tool system
// with its box, islands, guide-curve intervals and the curve read with it. The boundary module
// builds and owns it; the guide curves and the surface model read it.
#pragma once

#include "geometry/vec.h"

struct Boundary;

// One parameter interval along a guide curve.
struct BndInterval {
  double low;
  double high;
};

// A node of a boundary's island list. The node is owned by the boundary, the island record by the
// list the boundary belongs to.
struct BndIslandNode {
  Boundary* island;
  BndIslandNode* next;
};

// One boundary contour. Boundaries form a singly linked list whose first record is its handle;
// the list owns every record and array.
struct Boundary {
  double xmin, ymin, xmax, ymax;  // box of the contour
  int segCount;
  int origin;  // 1 rectangle, 2 read from a file
  int intervalCount;
  int outer;             // 1 outer boundary, 0 island
  double contactOffset;  // offset of the tool's contact point, used for the guide intervals
  double offset;         // offset applied by the reader
  int curveCount;        // points of the curve read with the boundary (0: none)
  Boundary* next;
  BndIslandNode* islands;
  Seg2D* segs;             // the closed contour, tool system
  BndInterval* intervals;  // sorted, inside the boundary
  Point3D* curve;          // the "**CLN" curve as read (not transformed)
  double zLow;             // lowest z of the contour's points, divided by the unit factor
};
