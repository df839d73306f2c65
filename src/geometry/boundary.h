// boundary.h - machining boundaries: closed 2D contours in the tool system with their box, the
// islands nested in them, an optional 3D curve read with them, and the parameter intervals of a
// guide curve that lie inside. Built from boundary text files ("**BND", "**CLN", "**NEXT",
// "**END" items) or as a rectangle; the roughing and every profile drop restrict themselves
// through them.
#pragma once

#include <cstdio>

#include "geometry/approach_hook.h"
#include "geometry/boundary_record.h"
#include "geometry/geo_error.h"
#include "geometry/vec.h"

struct GuideCurve;

// Result codes beside 1 and -1.
inline constexpr int kBndErrArgument = kGeoBadArgument;

// Most items of one kind whose sizes are counted one by one; and the point limit of a curve.
inline constexpr int kBndItemTable = 2000;
inline constexpr int kBndCurveLimit = 2000;

// New rectangle (xmin, ymin) -> (xmax, ymin) -> (xmax, ymax) -> (xmin, ymax) -> back: origin 1,
// outer 1, box set, no offsets, intervals, islands or curve. Null when memory runs out.
Boundary* bndNewRect(double xmin, double xmax, double ymin, double ymax);
// Reads the boundaries of a boundary text file, nests them and offsets outer contours inward and
// islands outward by offset; every record gets the contact offset. Null when the file cannot be
// read, holds no usable contour, a curve cannot be read (message 706) or memory runs out.
Boundary* bndRead(const char* fileName, double contactOffset, double offset);
// Frees every boundary of the list and all it owns; accepts null.
void bndFree(Boundary* list);

// Winding of the contour about (p.x, p.y): 1 or -1 inside, 0 outside; 1 for a null boundary.
int bndPointInside(const Boundary* b, const Point2D& p);
// 1 when x lies in one of the intervals widened by 1e-5 at both ends; 0 without intervals; 1 for a
// null boundary.
int bndParamInside(const Boundary* b, double x);
// bndParamInside over every outer boundary of the list that has intervals: 1 when one holds x, 0
// when none does; 1 for a null list or when no outer boundary has intervals.
int bndListParamInside(const Boundary* list, double x);
// Appends island to b's island list. Returns 1; 0 when memory runs out (or an argument is null).
int bndAddIsland(Boundary* b, Boundary* island);
// Replaces the contour by its offset by |d|: outward for d > 0, inward for d < 0; for d > 0 the box
// grows by d. When the segment offset fails, the installed polyline offset (bndSetTiltOffset) is
// tried. Returns 1; -1 when the orientation is undecided or no offset could be made (the contour
// then unchanged; also when the segment offset fails and no polyline offset is installed), also
// for a null boundary.
int bndOffset(Boundary* b, double d);
// The polyline offset of the five-axis tool-axis control that bndOffset falls back on, with the
// contract of tiltOffsetPolyline: offsets the chain segs (count segments) by distance to side
// into out (room for at least twice count and never fewer than 2000 segments) and returns the
// number of output segments, or a value below 1 when it fails. The five-axis subsystem installs
// it when the library loads; null removes it (the fallback then fails).
using BndTiltOffsetFn = int (*)(const Seg2D* segs, int count, double distance, Seg2D* out,
                                int side);
void bndSetTiltOffset(BndTiltOffsetFn fn);
// Recomputes b's intervals along the guide curve less the intervals its islands hold (compute
// the islands' first). Returns the number of intervals; 0 for a null boundary; -1 on failure (b
// then has none).
int bndUpdateIntervals(Boundary* b, const GuideCurve* guide);
// The intervals of the guide curve that lie inside b, rising, into *out (allocated with the
// framework heap, freed by the caller with memFree; null when there are none). Returns their
// number; 0 for a null boundary; -1 on failure (messages 702, 703), -20 for a null guide or out.
int bndGuideIntervals(const Boundary* b, const GuideCurve* guide, BndInterval** out);
// Returns csysAxisDiffers(): whether the tool axis differs from the frame's.
int bndResetState();
// Stores the approach check that the region emitter calls for every approach move (null: none).
void bndSetApproachCheck(ApproachCheckHook hook);
// The stored approach check, or null.
ApproachCheckHook bndApproachCheck();

// Lowest and highest mapped z of the contour read last.
void bndLastZRange(double* low, double* high);

// ---- reading steps ----------------------------------------------------------------------------

// Line counts of one file, first pass of bndRead.
struct BndItemCounts {
  int bndLines[kBndItemTable];  // lines of each "**BND" item, in file order
  int clnLines[kBndItemTable];  // lines of each "**CLN" item, in file order
  int bndCount;                 // "**BND" items counted one by one (at most kBndItemTable)
  int clnCount;                 // "**CLN" items counted one by one
};
// Counts the lines of every item; when a table filled up, the lines left after it go into
// *remainder (0 otherwise). Returns the number of "**BND" items counted; -1 for a null or empty
// name, a file that does not open, or one that is no regular file (warned of, skipped).
int bndCountItems(const char* fileName, BndItemCounts* counts, int* remainder);
// Reads one "**BND" item from f (positioned after its header) into a closed contour of at most
// room segments. Returns the segment count; -1 for fewer than two distinct points or too many.
int bndReadContour(std::FILE* f, Seg2D* segs, int room);
// Reads one "**CLN" item's points from f; at most limit - 1 points. Returns the point count; -1
// when the limit is reached.
int bndReadCurve(std::FILE* f, Point3D* points, int limit);
// Marks islands and links them to the outer boundaries that contain them. Returns 1; -1 when
// memory runs out.
int bndResolveNesting(Boundary* list);
// Intervals a less the sorted intervals b (both sorted), into *out (framework heap; the caller
// frees it). Returns the number of intervals; -1 when memory runs out (message 704).
int bndSubtractIntervals(const BndInterval* a, int na, const BndInterval* b, int nb,
                         BndInterval** out);
// 1 when a two-point guide runs along segment i of b (its first point at the segment's start, its
// second at the segment's end or the previous segment's start, within 0.001), else 0.
int bndSegMatchesGuide(const Boundary* b, const GuideCurve* guide);

// Test seam: back to the state at load (no approach check, unit factor 1, z range 0).
void bndClearState();
