// pko_list.h - the traced 3D segments of the contour walker (PkoList): each segment with its box,
// the contact vector, the id of the touched element and the contact kind. The walker fills the
// list while tracing, the level code merges collinear runs and turns the pieces into paths, and
// the step search asks for the nearest traced segment to stop a walk that runs into itself.
#pragma once

#include <cstdint>

#include "geometry/vec.h"

// Box of one traced segment: the smaller and the larger end per coordinate.
struct PkoBox {
  Point3D min;
  Point3D max;
};
static_assert(sizeof(PkoBox) == 48);

// The traced segments of a level. Five parallel arrays of capacity entries; segment i is
// segments[i] with boxes[i], vectors[i] (the walker's contact data), ids[i] (index of the touched
// element in the candidate context, negative for none) and kinds[i] (signed contact kind).
// The list box covers every segment appended since creation or the last reset (empty: +DBL_MAX /
// -DBL_MAX).
struct PkoList {
  std::int32_t count;
  std::int32_t capacity;
  double xmin, ymin, zmin, xmax, ymax, zmax;
  Seg3D* segments;
  PkoBox* boxes;
  Point3D* vectors;
  std::int32_t* ids;
  std::int32_t* kinds;
  std::int32_t prevJoinState;  // the value joinState had before it was last set
  std::int32_t joinState;      // 1 while a boundary piece or a join is appended (no step merging)
};

// New empty list with room for capacity segments (below 2 becomes 2), box empty, state words 0.
// Null when memory runs out (nothing stays allocated).
PkoList* pkoListNew(int capacity);
// Frees the five arrays and the list. Returns 1; 0 for null.
int pkoListFree(PkoList* list);
// Count 0 and box empty; the arrays are kept. Returns 1; 0 for null.
int pkoListReset(PkoList* list);
// Appends the segment with its vector, id and kind, stores its box and widens the list box by
// both ends. A full list grows to floor(1.5 x capacity) entries (at least one more); a failed
// growth leaves the list as it was. Returns the index of the new segment; -1 for a null list, a
// list without storage, or when the list cannot grow.
int pkoListAppend(PkoList* list, const Seg3D& seg, const Point3D& vector, int id, int kind);
// pkoListAppend with the result 1 (appended) or -1.
int pkoListAdd(PkoList* list, const Seg3D& seg, const Point3D& vector, int id, int kind);
// Per coordinate the smaller and the larger end of the segment. Returns 0.
int pkoSegBox(const Seg3D& seg, Point3D* min, Point3D* max);
// Recomputes every segment box; the list box restarts at the first segment's start and is
// widened by every segment box. Returns 1; 0 for a null or empty list.
int pkoListUpdateBoxes(PkoList* list);

// Collinear merge over [from, to): a segment joins the one being extended (w) when their kinds
// and ids are equal and the end P of the segment satisfies |(w.start - P) x (w.end - P)| < 1e-5
// in XY; w then takes the segment's end, vector, id and kind. The last segment of the range is
// never merged. Segments after the range move down behind the merged ones. Every segment box is
// recomputed, the list box is left as it was. Nothing happens for a null list or fewer than 6
// segments in the range (from clamped to 0, to to the count).
void pkoListMergeRange(PkoList* list, int from, int to);

// Writes one line per segment, "%5.3lf" for the start, end and vector coordinates, then the id
// and, after two blanks, the kind, replacing the file. Returns 1; -1 for a null list, a list
// without storage, a null name or a file that does not open.
int pkoListWrite(const PkoList* list, const char* fileName);
// Only while the debug switch is on: writes the list to "<counter>.pko" in the current folder
// (the process-wide counter as 8 digits with leading zeros, its last 8 digits used) and advances
// the counter on success. Returns 1 (also with the switch off, writing nothing); otherwise the
// negative result of the write, the counter unchanged.
int pkoListDump(const PkoList* list);

// The smallest distance in XY from p to the n segments, with the index of the first segment
// reaching it in *index (when index is not null). 0, index unchanged, for n of 0 or less or null
// segments.
double geoNearestSeg3D(const Seg3D* segments, int n, const Point3D& p, int* index);
// Whether the step from A (step.start) to B (step.end) runs into one of the traced segments
// [from, to): 1 when the segment nearest to B lies within tol of it in XY and the step is not
// perpendicular to it (|(B - A) . (segment end - segment start)| in XY above 1e-5), else 0. The
// range is clamped to the list; 0 for a null list or an empty range.
int geoNearSegFacing(const PkoList* list, int from, int to, const Seg3D& step, double tol);

// Test seam and run-start reset: the ".pko" dump counter back to 0.
void pkoListResetState();
