// guide_curve.h - guide curves: 2D polylines with a cumulative-length parameter and optional
// heights, along which the cutter is dropped, link and lift moves are guided and profiles from
// profile text files are fitted into a machining boundary.
#pragma once

#include <cstdint>
#include <cstdio>

#include "geometry/vec.h"

struct Boundary;
struct PathList;

// Longest name text of a curve, without the terminating zero.
inline constexpr int kGuideNameMax = 259;

// One guide curve. Curves form a singly linked list, freed as a whole by guideFree.
struct GuideCurve {
  double start, end;             // parameter range: 0 and the 2D length at creation
  double offLow, offHigh;        // lateral offset range found by guideFitIntoBoundary
  int count;                     // points
  char name[kGuideNameMax + 1];  // the file the profile was read from; empty otherwise
  Point2D* points;
  double* params;    // cumulative 2D length at each point; always owned
  double* z;         // height at each point, or null
  int ownsPoints;    // 1 when points and z belong to the record
  char kind;         // 'p' for every curve built here
  short orientFlag;  // 1 when the offset direction of the fit is reversed
  short reverseFlag;
  void* extra;  // kind-specific data (framework heap); null for kind 'p'
  GuideCurve* next;
};

// A move as the cycles hand it over: direction 1 runs from the last point to the first,
// direction 2 in order.
struct GuideMove {
  int direction;
  int count;
  const Point3D* points;
};

// Plan boxes of consecutive stretches of a curve; the caller frees boxes (memFree), then the
// record (memFree), or calls guideFreeStepBoxes.
struct StepBox {
  double xmin, ymin, xmax, ymax;
};
struct StepBoxes {
  int count;
  StepBox* boxes;
};

// New curve over points (not owned; count >= 1): params the cumulative 2D lengths, start 0, end
// the total length, no heights, name empty. Null when memory runs out or for no points.
GuideCurve* guideNew(const Point2D* points, int count, char kind);
// Curve of kind 'p' from a to b with heights (a.z, b.z), owning its arrays. Null when memory runs
// out.
GuideCurve* guideFromTwoPoints(const Point3D& a, const Point3D& b);
// Curve of kind 'p' through the move's points with their heights, owning its arrays. Null when
// memory runs out, for a move without points, and for a direction other than 1 or 2 (error
// record -20).
GuideCurve* guideFromMove(const GuideMove* move);
// Frees every curve of the list; accepts null.
void guideFree(GuideCurve* list);

// Point (and height, when the curve has heights and outZ is not null) at parameter x. Returns the
// index of the segment's first point; -1 for a null or empty curve or x outside the range by more
// than 1e-5.
int guideEvalAt(const GuideCurve* c, double x, Point2D* outPoint, double* outZ);
// Unit plan direction at x (clamped to the range). Returns 1; -1 for fewer than two points, a
// range shorter than 1e-5 or no direction.
int guideTangentAt(const GuideCurve* c, double x, Point2D* outDir);
// Length: 2D, or 3D with the height changes when the curve has heights. 0 for a null curve.
double guideLength(const GuideCurve* c);
// Reverses points and heights in place; every parameter p becomes start + end - p.
void guideReverse(GuideCurve* c);
// The count - 1 segments point i-1 -> point i in an array (framework heap) with room for
// max(minRoom, count) segments. Null when memory runs out or for a null curve.
Seg2D* guideToSegments(const GuideCurve* c, int minRoom, int* outCount);
// 1 when the boundary's segment starts equal the curve's points in order (within 1e-5), -1 when
// in reverse order, 0 otherwise.
int guideSameAsBoundary(const GuideCurve* c, const Boundary* b);
// Lowers every point of the list to the curve's height at its parameter where that is lower.
// Returns the list's point count (0 for a null list).
int guideCapPathZ(PathList* list, const GuideCurve* c);
// Boxes of consecutive stretches of length step (below 1e-5: 1) of the curve's range (or of the
// span of b's intervals), each grown by margin (negative: 0). Null on failure or for fewer than
// two points.
StepBoxes* guideStepBoxes(const GuideCurve* c, double margin, const Boundary* b, double step);
// Frees a StepBoxes record; accepts null.
void guideFreeStepBoxes(StepBoxes* boxes);

// Reads the profiles of a profile text file, fitted into b when b is given (a profile that cannot
// be fitted is dropped with message 601). Returns the list, or null when nothing could be read.
GuideCurve* guideReadProfiles(const char* fileName, const Boundary* b, double tolerance,
                              int reverseFlag, int orientFlag);
// Range of lateral offsets by which the curve can be shifted and still meet b, to the tolerance.
// Returns 0 with the range in outLow, outHigh; -1 when none could be found.
int guideFitIntoBoundary(GuideCurve* c, const Boundary* b, double tolerance, double* outLow,
                         double* outHigh);

// ---- steps of the reader and the fit ----------------------------------------------------------

// Number of lines whose first word is "**END"; -1 for a null or empty name or a file that does not
// open.
int guideCountItems(const char* fileName);
// Writes the next item of f (from its first line that begins with '*' through its "**END" line)
// to the file tempName, replacing it. Returns 1; 0 when f holds no further item; -1 when the
// temporary file cannot be written.
int guideWriteItem(const char* tempName, std::FILE* f);
// Reads the points of the file's first item (up to "**END") into points (and heights when z is
// not null), mapped into the tool system; a point equal to the previous one within 1e-5 replaces
// it. Stops when room points are stored. Returns the number stored; -1 when the file does not
// open or an argument is null.
int guideReadPoints(Point2D* points, double* z, const char* fileName, int room);
// 1 when the profile segments shifted by the signed offset meet b, else 0 (also on failure).
int guideOffsetHits(const Seg2D* segs, int n, const Boundary* b, double offset);
// Moves *offset to a value at which the profile meets b. Returns 0; -1 when none was found.
int guideFindStartOffset(const Seg2D* segs, int n, const Boundary* b, double* offset);
// Half-width of the search around offset. Returns 0 with it in outBound; -1 on failure.
int guideOffsetBound(const Seg2D* segs, int n, const Boundary* b, double offset, double* outBound);
// Narrows [*lo, *hi] to the tolerance: mode 1 a hit moves hi down, a miss lo up; mode 2 a miss
// moves hi down, a hit lo up. Returns the mode.
int guideBisectOffset(const Seg2D* segs, int n, const Boundary* b, double* lo, double* hi, int mode,
                      double tolerance);
