// contour_offset.h - the pocketing engine's one offset: a closed contour of lines and arcs moved
// by a distance to one side, returned as its valid loops, each a closed contour of lines and arcs.
// Every ring, island offset, zig-zag boundary, cut region and corner rounding goes through it, so
// its correctness is the gouge-freedom of every pocket.
// One attempt (contOffsetOnce) makes the raw offset, finds its self-crossings, classifies them
// with a tool circle against the source and traces the loops between them. contOffset wraps it in
// two retry stages (from the next corner, then with a slightly changed distance), driven by the
// flags offsetRetry, offsetLost and offsetRotate of pockEngine(), because borderline corners and
// crossings often succeed from another start or at another distance. offsetLastDistance tells
// the caller the distance actually used.
// Side +1 offsets to the left of the direction of travel (into a counter-clockwise contour), -1
// to the right; a negative distance offsets by its absolute value to the other side.
#pragma once

#include "pocket/contour_element.h"
#include "pocket/isect.h"

// Most loops one offset returns; more fail the offset.
inline constexpr int kOffsetMaxLoops = 2000;
// Room of the raw offset buffer: the element limit and the one element that closes a gap.
inline constexpr int kOffsetRawCapacity = kContMaxElements + 1;
// Code sent when every attempt of an offset failed although the offset does not vanish: part of
// its raw offset lies the full distance from the contour on its side ("1511", an internal fault).
inline constexpr int kOffsetCodeFailed = 3297;
// Most self-crossings of one raw offset; more fail the offset (code 3029).
inline constexpr int kOffsetIsectMax = 40 * kIsectRecordMax;
// Attempts of each retry stage.
inline constexpr int kOffsetRetryRounds = 20;

// The raw offset buffer of the current attempt (kOffsetRawCapacity elements). The ring code also
// reads contours into it between offsets.
ContourElement* offsetRawElems();

// Offsets the closed contour elements (n elements; left unchanged: the retries work on a copy) by d
// to side. The loops are written to out (room for outCapacity elements) one after the other:
// contours[k] points at the first element of loop k and counts[k] holds its count (contours and
// counts have room for kOffsetMaxLoops + 1 entries); *outEnd (may be null) points behind the last
// loop. Room left behind a reduced loop is not used. offsetStrict has its entry value again and
// contCornerFactor is 1 on return. Returns the number of loops (1 or more); 0 when the offset
// vanishes, no valid loop survives or n is 0; -1 when the raw contour exceeds kContMaxElements or
// a loop does not fit out or its crossings exceed kOffsetIsectMax (code 3029 sent), more than
// kOffsetMaxLoops loops are found, memory runs out (code 3020 sent), or every retry failed while
// the offset does not vanish (code kOffsetCodeFailed sent).
int contOffset(const ContourElement* elements, int n, int side, double d, ContourElement* out,
               int outCapacity, ContourElement** outEnd, ContourElement** contours, int* counts);
// One attempt with the same arguments and results; sets offsetRetry, offsetLost and
// offsetRotate. With a null out only the flags and the result are made.
int contOffsetOnce(const ContourElement* elements, int n, int side, double d, ContourElement* out,
                   int outCapacity, ContourElement** outEnd, ContourElement** contours,
                   int* counts);
// Whether the offset of the contour by d to side truly vanishes: 1 when no point of its raw offset
// lies the full distance (to a relative 1e-6) from the contour on the side the offset goes to
// (inside the contour for an offset into it, outside for one out of it), sampled at an eighth of
// the distance (a valid stretch shorter than that may be missed, a loop of that size within the
// offset's tolerance); also for n 0, |d| < 0.0005, an undecided orientation or no memory. 0 when
// such a point exists: every loop of an offset is made of them. contOffset asks it when all its
// attempts failed.
int contOffsetVanishes(const ContourElement* elements, int n, int side, double d);
// Sets offsetKeepOpen.
void contSetKeepOpen(int value);

// Test and benchmark seam: called after every attempt of contOffset with the attempt's source (the
// working copy as it stands), its distance and its result. It may set the flags of pockEngine() to
// steer the retries. Null removes it.
using ContOffsetObserver = void (*)(const ContourElement* src, int n, double d, int result);
void contOffsetSetObserver(ContOffsetObserver observer);
// Test seam: 1 makes the loop extraction mark records near used ones by isectMarkNearUsed over all
// records at every loop (the oracle of the incremental marking; the same results), 0 (the
// default) back. Returns the previous setting.
int contOffsetSetPlainMarking(int on);
// Test seam: removes the observer and the plain marking.
void contOffsetResetState();

// ---- operations of the attempt --------------------------------------------------------------

// Closes the gap from the last end E to the first start S: while offsetRingMode is 1 and
// |E - S| < 0.05 the last element's end moves to S when it is a line, else the first element's
// start moves to E when that is a line (count unchanged); otherwise a line from E to S with the
// last element's tag is appended (elements has room for n + 1). Returns the new count; 0 for n 0.
int contCloseGap(ContourElement* elements, int n);
// While the small-tool scale factor is at least 2 and n > 1: when exactly one joint (the joint of
// the last and the first element not counted) fails contSamePoint and its gap is at most 0.02 x
// the scale factor, both ends move to the gap's middle (an arc's centre recomputed by
// contArcCentreFromEnds) and the result is 1; else 0.
int contCloseSingleGap(ContourElement* elements, int n);
// 1 when every element starts where its predecessor ends (contSamePoint; element 0 against the
// last); else 0.
int contAllChained(int n, const ContourElement* elements);
// 1 when n > 4 and an arc (the first element only with firstOnly, else any) is longer than
// 1.8 pi x its radius.
int contHasNearFullArc(int n, const ContourElement* elements, int firstOnly);
// 1 when the end of element 0 agrees within 0.00001 (x and y) with the end of a later element.
int contEndRepeats(const ContourElement* elements, int n);
// 1 when a and b have the same type and all their points agree within 0.0001 (lines their two
// points; arcs centre, start and end, and equal dir).
int contElemsEqual(const ContourElement& a, const ContourElement& b);
// 1 when some element equals (contElemsEqual) an element at least two places later.
int contHasRepeatedElem(const ContourElement* elements, int n);
// 1 when the end of a's first element lies closer than contTol to contour b.
int contLoopRepeats(const ContourElement* a, const ContourElement* b, int nb);
// 1 when the orientations (contOrientation) of source and result agree, or the result's is 0
// while pockStockMode is not 0.
int offsetOrientationKept(const ContourElement* src, int n, const ContourElement* res, int m);
// 1 when h > 1, record 0 is in state 1 and record 1 lies closer than 0.15 to it.
int offsetStartCornerClose(const IntersectionRecord* records, int h);
// 1 when an arc of the loop has a radius of at least 5000, a chord of at most 1 and a middle
// farther than 2 d from the source (contMinDistance).
int offsetFarFlatArc(const ContourElement* loop, int m, const ContourElement* src, int n, double d);
// Every record not in state 2 that lies closer than contTol to a record in state 2 (as the
// records stand on entry) goes to state 2.
void isectMarkNearUsed(IntersectionRecord* records, int h);
// The turn of the raw chain at the record: 1 or 2 by the angle from the start tangent of elemB
// (the element after it when the point is its end) to that of elemA, both cut at the point, and by
// side; 0 when the point is elemA's end or a tangent cannot be formed.
int offsetCrossingTurn(const ContourElement* raw, int m, const IntersectionRecord& record,
                       int side);
// The probe of record 0 when the tool circle at its point is free: 1 when another record lies
// closer than 3 tau; 0 when another record names record 0's element; otherwise the tool circle of
// radius dp at the middle of record 0's element cut at its point (isectCircleHitsContour).
int offsetStartRecordHit(const IntersectionRecord* records, int h, const ContourElement* raw, int m,
                         const ContourElement* src, int n, double dp, double tau);
// Gives each of the h records of the raw chain (m elements) its state: 1 a crossing of valid
// offset parts, 2 a crossing in the invalid zone, 0 a crossing whose following piece lies in the
// invalid zone, by a tool circle of radius d minus the classification tolerance against the
// source.
void offsetClassifyIsects(IntersectionRecord* records, int h, const ContourElement* raw, int m,
                          const ContourElement* src, int n, double d, int side);
// Writes the next loop at out (room up to limit): the first record in state 1 is exchanged with
// record 0 and isectTraceLoop traces from it; records in state 3 return to state 2; the loop is
// cleaned (contCleanup) and offsetFarFlatArc sets offsetRetry. Returns the end of the loop (out
// itself for a loop that cleaned away); null when there is no further loop, with *overflow (may be
// null) 1 when the loop did not fit (code 3029 sent), else 0.
ContourElement* offsetNextLoop(IntersectionRecord* records, int h, const ContourElement* raw, int m,
                               ContourElement* out, const ContourElement* limit,
                               const ContourElement* src, int n, double d, int* overflow);

// ---- open offsets -------------------------------------------------------------------------------

// Trims the offset res (m elements) of an open source src (n elements) back to the distance d
// from the source's ends: a result end closer than d - offsetLoopTol to the source end near it is
// cut where the circle of radius d about that source end crosses the result (offsetTrimOpenEnd).
// Returns m unchanged for a closed source; 0 when a result end still lies closer than
// d - offsetLoopTol to the source; else the new count.
int offsetTrimOpen(const ContourElement* src, double d, int m, ContourElement* res, int n);
// Cuts res (m elements) where the circle of radius d about centre crosses it: at the start
// (atStart 1) behind the last crossing (earlier elements removed, the first start moved onto
// it), at the end before the first crossing (later elements removed, that element's end moved onto
// it). Returns the new count; m when the circle does not cross.
int offsetTrimOpenEnd(ContourElement* res, int m, const Point2D& centre, double d, int atStart);

// ---- narrow contours --------------------------------------------------------------------------

// 1 when the contour is a strip no wider than about 1.5 d everywhere: samples every 3 d along each
// element all lie within 1.5 d of another element (a neighbour counts near the element's ends
// only when closer than 0.3 x the sample's distance to the nearer end); 1 for n <= 0; else 0.
int contIsNarrow(const ContourElement* elements, int n, double d);
