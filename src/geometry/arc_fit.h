// arc_fit.h - recognition of circular arcs and straight stretches in chains of short steps. The
// pocketing fits its reduced contours with it, and the level-file rewrite finds whole circles
// with its circle fit, so that fewer and exact elements reach the offsets and the NC program.
#pragma once

#include "geometry/vec.h"

// One point of a chain. The record that follows an arc's first point holds the arc's centre in
// its x and y (it is an inner point of the arc; its own position is given up). An arc runs from
// its start record to the next record, from the second after the start on, whose end mark is
// kArcYes; one point can end one arc and start the next (both marks kArcYes).
struct ArcPoint {
  double x, y, z;
  char mark;       // kArcFresh, kArcCw / kArcCcw on an arc's first point, kArcDropped
  char startMark;  // kArcYes when an arc starts at this point, else kArcNo
  char endMark;    // kArcYes when an arc ends at this point, else kArcNo
};
static_assert(sizeof(ArcPoint) == 32);

inline constexpr char kArcFresh = 'g';    // a point no pass has touched
inline constexpr char kArcDropped = 'u';  // a point that a straight chord makes unnecessary
inline constexpr char kArcCw = '-';       // first point of a clockwise arc
inline constexpr char kArcCcw = '+';      // first point of a counter-clockwise arc
inline constexpr char kArcYes = 'j';
inline constexpr char kArcNo = 'n';

// Element kinds of arcPtsNext.
inline constexpr int kArcElemLine = 1;
inline constexpr int kArcElemCw = 2;
inline constexpr int kArcElemCcw = 3;

// Values of the centre searches that stand for a refused run (all far above any tolerance).
inline constexpr double kArcSpreadTooLarge =
    6.6e6;  // the chord search's spread exceeds the tolerance
inline constexpr double kArcShapeRefused = 7.7e7;   // the run check refused the run
inline constexpr double kArcRadiusRefused = 8.8e8;  // the radius lies outside the radius window
// Deviations of arcChordDeviation that stand for a refused chord.
inline constexpr double kArcChordTooShort = 9.9e30;  // the chord is 1e-7 or shorter
inline constexpr double kArcChordTurns = 8.8e30;     // a step turns away from the chord

// ---- point lists ------------------------------------------------------------------------------

// A zero-filled list of n + 1 records, the first n marked fresh with no start and no end mark.
// Null when memory runs out (error record -1) or n is negative (-20).
ArcPoint* arcPtsAlloc(int n);
// Copies n records (nothing for n <= 0 or a null list).
void arcPtsCopy(ArcPoint* destination, const ArcPoint* source, int n);
// Frees a list of arcPtsAlloc; accepts null.
void arcPtsFree(ArcPoint* list);
// A new list of the n plan points (z = 0, fresh). Null when memory runs out or points is null.
ArcPoint* arcPtsFrom2D(const Point2D* points, int n);
// The first point. Returns 0; -1 for n <= 0 or a null list (outputs unchanged).
int arcPtsFirst(const ArcPoint* list, int n, double* x, double* y, double* z);
// The element that starts at record index: an arc (kind kArcElemCw or kArcElemCcw, centre from
// the record after the start, end at the first record from index + 2 on with an end mark) at a
// record with a start mark, else a line (kArcElemLine) to the next record not dropped. Returns
// the index of the element's end with that point; -1 at the end of the list: index n - 1 or more
// (or negative), only dropped points follow, or an arc without an end. The centre is set for arcs
// only.
int arcPtsNext(int index, const ArcPoint* list, int n, int* kind, double* x, double* y, double* z,
               double* cx, double* cy);

// ---- fitting ----------------------------------------------------------------------------------

// Marks arcs (arcFindArcs) and droppable points (arcFitRefine) in place. The radius window in
// force before the call is in force again after it. Returns 1 when either pass found something;
// 0 otherwise, for a null list or n < 1, and when the interrupt check asked to stop during the arc
// search (marks of complete arcs may then be set).
int arcFitPoints(ArcPoint* list, int n, double tolerance, double minRadius, double maxRadius,
                 double maxLineLength);
// The arc search: sets the radius window (arcSetTolerances) and grows runs of at least four
// points while arcRunFitsChord accepts them; each run that stops growing is marked as an arc.
// Returns 1 when an arc was marked; 0 for fewer than 4 points (nothing changed) or none found.
int arcFindArcs(double tolerance, double minRadius, double maxRadius, int n, ArcPoint* list);
// The line thinning: covers every run of at least three fresh points outside the arcs with
// chords (arcMarkLineRun) and marks the points they make unnecessary. Returns 1 when a point was
// marked; 0 otherwise and for n < 3.
int arcFitRefine(double tolerance, double maxLineLength, ArcPoint* list, int n);
// Sets the radius window for every later fit: the minimum is minRadius but at least 1e-6, the
// maximum is maxRadius when it exceeds that minimum, else twice the minimum.
void arcSetTolerances(double minRadius, double maxRadius);
// The radius window in force.
void arcGetTolerances(double* minRadius, double* maxRadius);

// 1 when the points first..last lie on one circle within the tolerance: arcFitCentre gives at
// most the tolerance and arcMaxSagitta of the found radius is at most the tolerance. The centre
// and radius are written in every case.
int arcRunFits(double tolerance, const ArcPoint* list, int first, int last, double* cx, double* cy,
               double* radius);
// 1 when arcFitCentreChord gives at most the tolerance (centre and radius written in any case).
int arcRunFitsChord(double tolerance, const ArcPoint* list, int first, int last, double* cx,
                    double* cy, double* radius);
// Centre search by a star of three steps (10, then shrinking by 0.8 while no step improves the
// spread, until the step falls below floor; at most 750 iterations) from the first point.
// Returns the spread with centre and radius; within the tolerance it becomes kArcRadiusRefused
// for a radius outside the window and kArcShapeRefused when the strict run check refuses it.
double arcFitCentre(double floor, const ArcPoint* list, int first, int last, double tolerance,
                    double* cx, double* cy, double* radius);
// Centre search along the perpendicular bisector of the chord first -> last (step 10, halved
// while neither direction improves, until 1e-6; at most 750 iterations). Returns the spread;
// kArcSpreadTooLarge above the tolerance (also for a chord of 1e-7 or shorter, which has no
// bisector); kArcRadiusRefused for a radius outside the window; kArcShapeRefused when the run
// check without the strict flag refuses the run.
double arcFitCentreChord(const ArcPoint* list, int first, int last, double tolerance, double* cx,
                         double* cy, double* radius);
// Half the difference of the largest and the smallest distance of the points first..last from
// the centre, with their mean as radius.
double arcRadiusSpread(double cx, double cy, const ArcPoint* list, int first, int last,
                       double* radius);
// The shape check of a run on a circle of radius r: turns of at most 30 degrees between steps,
// and (strict) a sagitta of at most 10 tolerances, or (not strict) a steady bend of one sense,
// at most about 5.7 degrees a step, a sagitta within the tolerance and at most 3.2 r of length.
// Returns 1 when the run passes (always for fewer than three points), else 0. A step of zero
// length has no direction and fails the run.
int arcCheckRun(double r, double tolerance, int strict, const ArcPoint* list, int first, int last);
// The sagitta of the longest step on a circle of radius r; 9.9e30 when the step is 2r or longer.
double arcMaxSagitta(double r, const ArcPoint* list, int first, int last);
// The sense of the arc s..t around the centre: kArcCw when the point s + max(2, (t - s) / 4)
// (at most t) lies clockwise of point s, else kArcCcw.
char arcDirChar(double cx, double cy, const ArcPoint* list, int s, int t);

// ---- straight stretches -----------------------------------------------------------------------

// The next run of at least three consecutive plain points (fresh, starting no arc) at or after
// from (0 when from lies outside 0 .. n - 1); arcs are stepped over, and an arc's last point can
// begin a run. Returns the run's first index with its length; -1 when there is none.
int arcFindLineRun(const ArcPoint* list, int n, int from, int* outLength);
// The plan chord from point i to point j: returns its length. The deviation is the largest
// distance of the points i+1 .. j from the chord's line; kArcChordTooShort for a chord of 1e-7 or
// shorter; kArcChordTurns when a step longer than 1e-7 turns away from the chord by a sine above
// 0.1.
double arcChordDeviation(const ArcPoint* list, int i, int j, double* outDeviation);
// Covers the n points of one run greedily with chords of at most maxLength within the tolerance
// and marks their inner points dropped; consecutive chords share their ends, so the run's first
// and last point stay. The chord that reaches the last point marks everything inside it.
// Returns 0 when a chord was accepted, else 1; outMaxDeviation (may be null) gets the largest
// deviation of the chords that marked points (0 when none).
int arcMarkLineRun(double tolerance, double maxLength, ArcPoint* list, int n,
                   double* outMaxDeviation);

// ---- seams ------------------------------------------------------------------------------------

// The centre searches stop measuring a candidate centre once it can no longer beat the best one
// (the choices are the same either way). Switches that on (1, the default) or off (0) and returns
// the previous setting; off gives the plain evaluation that tests and benchmarks compare with.
int arcSetEarlyStop(int on);

// Back to the state at load: radius window 0.01 .. 999999.99, early stop on. The cycles' run-start
// reset calls it so that one run's window never reaches the next.
void arcFitResetState();
