// path_list.h - PathList, the toolpath piece every cycle builds, edits and hands on: ordered tool
// positions with a path parameter, a 2-byte move code and optionally a tool axis per point.
// Drops fill it, holder checks mark and thin it, the five-axis code turns its axes and the
// emitter turns it into moves.
#pragma once

#include <cstdint>

#include "geometry/vec.h"

// Move code of a point: low byte the kind, high byte the class.
constexpr int kPathKindMade = 1;           // points the list operations create
constexpr int kPathKindReducedFeed = 100;  // a move at the reduced feed
constexpr int kPathClassGap = 2;           // no cutting move leads into the point
constexpr int kPathClassMarked = 3;        // marked for removal
constexpr int kPathClassOutside = 4;       // neighbourhood outside the boundary
constexpr int kPathClassFilterMark = 5;    // temporary mark of the z filter
constexpr int kPathClassThinMark = 6;      // temporary mark of the thinning
constexpr int kPathClassHolder = 10;       // removed by the holder check, kept in the list

// Most points a new list gets room for; inserts grow it beyond that without limit.
constexpr int kPathListMaxInitial = 40000;

// The creator owns the record and its arrays (allocated with the framework's heap functions).
struct PathList {
  int capacity;           // points the arrays have room for
  int count;              // points held
  int sense;              // machining sense +1 or -1 (0 at creation)
  Point3D* positions;     // tool positions
  Point3D* axes;          // tool axes, or null for a list without axes
  std::uint8_t* axisSet;  // 1 when the point's axis was set explicitly; present with axes
  double* params;         // path parameter per point, kept rising or falling by the inserts
  std::uint16_t* codes;   // move code per point
};

inline int pathListClass(const PathList* l, int i) { return l->codes[i] >> 8; }
inline int pathListKind(const PathList* l, int i) { return l->codes[i] & 0xFF; }
inline void pathListSetClass(PathList* l, int i, int cls) {
  l->codes[i] = static_cast<std::uint16_t>(((cls & 0xFF) << 8) | (l->codes[i] & 0xFF));
}

// ---- creating and copying ---------------------------------------------------------------------

// New empty list with room for min(n, 40000) points (a second try with a tenth of that, at least
// 1, when memory is short). With withAxes the axes and axis-set bytes are allocated as well and
// the list never comes back without them. Returns null when memory runs out or n < 1.
PathList* pathListNew(int n, int withAxes);
// Releases the list and all its arrays; accepts null.
void pathListFree(PathList* list);
// dst = src point by point through pathListInsert (a src without axes gives axis (0, 0, 1) and
// byte 0); dst takes src's sense. Returns 1; -1 when an insert fails; -20 for a null list.
int pathListCopy(PathList* dst, const PathList* src);
// dst = points from..to of src, in that order; a falling range keeps its falling order. from > to
// copies nothing. Returns 1; -1 when an insert fails; -20 for a null list or an index outside src.
int pathListCopyRange(PathList* dst, const PathList* src, int from, int to);
// Replaces dst's arrays by new ones of exactly src's count holding the points of src whose class
// is not 3; dst takes src's sense. Returns 1; -1 for a null list or memory exhausted (dst then
// unchanged).
int pathListCopyUnmarked(const PathList* src, PathList* dst);
// Reverses the point order in place and negates a non-zero sense.
void pathListReverse(PathList* list);

// ---- inserting --------------------------------------------------------------------------------

// Inserts one point at its place by parameter: in a rising list before existing points of equal
// parameter (within 1e-5), in a falling list after them. A code of class 2 loses its kind. axis
// and axisSetByte are stored when the list has axes. Grows the arrays by half when full, all or
// nothing: a failed growth leaves the list as it was. Returns the new point's index; -1 for a
// null list or memory exhausted; -20 when the list has axes and axis is null.
int pathListInsert(PathList* list, double x, const Point3D& pos, int code, const Point3D* axis,
                   int axisSetByte);

// ---- looking up -------------------------------------------------------------------------------

// Index of the point whose parameter equals x within 1e-5 (tried first: the point after the last
// hit), its position in outPos and, for a list with axes, its axis in outAxis with outHasAxis 1
// (else 0). Any output may be null. Returns -1 when none is found or the list is null or empty.
int pathListFindParam(const PathList* list, double x, Point3D* outPos, Point3D* outAxis,
                      int* outHasAxis);
// Position at x on a list of rising parameters, interpolated linearly. Returns the index of the
// segment's first point; -1 for a null or empty list, x below the first parameter or more than
// 1e-5 above the last.
int pathListInterpAt(const PathList* list, double x, Point3D* outPos);
// As pathListInterpAt, but an x below the first parameter is extrapolated along the first move.
int pathListPosFwd(double x, const PathList* list, Point3D* outPos);
// The same searched from the end; an x beyond the last parameter is extrapolated along the last
// move; -1 for an x below the first parameter by 1e-5 or more.
int pathListPosBack(double x, const PathList* list, Point3D* outPos);
// pathListPosBack when x lies nearer to the last parameter than to the first, else
// pathListPosFwd; -1 for a null or empty list.
int pathListPosAt(const PathList* list, double x, Point3D* outPos);
// Position as pathListInterpAt and the axis turned from the segment's first axis toward its
// second by the fraction of x along it. Returns 1; -1 without axes or when the lookup fails.
int pathListAxisAt(const PathList* list, double x, Point3D* outPos, Point3D* outAxis);
// Makes sure a point lies at x: an existing point within tol is used (0), or a point is inserted
// with the interpolated position, code (class of the first point) * 256 + 1, axis-set byte 1 and
// the axis of the point before it, for the caller to set (1). -1 on failure.
int pathListSplitAt(PathList* list, double x, double tol);
// Index used or inserted by the last pathListSplitAt (-1 after a failure or at load).
int pathListLastSplit();
// Nearest indices before and after i whose class is neither 3 nor 6. Returns 0; -1 when either
// side has none (outPrev may already be written); -20 for a null list or i outside the list.
int pathListNeighbours(const PathList* list, int i, int* outPrev, int* outNext);
// 1 when exactly one of points i and j has class 2, or exactly one has class 4; 0 otherwise and
// for a null list or an index outside the list.
int pathListClassDiffers(const PathList* list, int i, int j);
// 0 when i is before the last point and point i + 1 is not a gap; 1 otherwise.
int pathListIsRunEnd(const PathList* list, int i);
// Sum of the 3D lengths of the moves i-1 -> i in which neither point has class 2.
double pathListLength(const PathList* list);

// ---- editing ----------------------------------------------------------------------------------

// params[0] = 0, params[i] = params[i-1] + 3D distance of points i-1 and i.
void pathListParamByLength(PathList* list);
// Sets the parameters by length, then cuts every move (neither end a gap) of length at least
// |step| + 1e-5 into floor(L/|step|) + 1 equal pieces; new points get kind 1, class 10 when an
// end has class 10 (else 0), axis-set byte 1 and, on a list with axes, the axis turned between
// the move's end axes. All or nothing. Returns 1; 0 when |step| < 1e-5 (nothing done); -1 when
// memory runs out (list unchanged); -20 for a null list.
int pathListDensify(PathList* list, double step);
// The same operation, named for the callers that densify a list with axes.
int pathListDensifyAxes(PathList* list, double step);
// Nothing when n <= 0 or n >= count. An open list (ends 0.1 or more apart) loses its first n
// points; a closed one is rotated by n points, its last point again a copy of its first.
void pathListShiftStart(PathList* list, int n);
// Removes every point of class 3, keeping the order of the rest.
void pathListDeleteMarked(PathList* list);
// Removes points from..to inclusive. Returns 1; 0 when to < from (nothing done); -20 for a null
// list or from < 0 or to >= count (nothing done).
int pathListCutRange(PathList* list, int from, int to);
// Removes points a..b inclusive after clamping a to 0 and b to count - 1; nothing when b < a.
void pathListDeleteRange(PathList* list, int a, int b);
// Class 3 becomes class 0 on every point.
void pathListClearMarks(PathList* list);
// Marks with class 3 the points whose neighbours lie within maxChord of each other and between
// which every point lies within maxDev of the chord (moves at the reduced feed apart from the
// others, gaps and holder-removed points never marked).
void pathListMarkCollinear(PathList* list, double maxChord, double maxDev);
// Two marking passes (collinear within 1e-6, then within maxDev) that never remove a point next
// to points removed by the first; the marked points stay in the list with class 3.
void pathListThin(PathList* list, double maxChord, double maxDev);
// Mode 2: heights rise along each run, only the first run keeps cutting moves. Mode 3: no
// climbing cuts and no runs shorter than 1. Other modes do nothing.
void pathListFilterZ(PathList* list, int mode);

// The random-keep switch of the collinear marking (0 at load): while on, about one point in ten
// that could be marked stays, chosen by the library's seeded generator (geoRandNext).
void pathListSetRandomKeep(int on);
int pathListRandomKeep();

// Test seam: back to the state at load (last hit, last split, random-keep switch).
void pathListResetState();
