// pock_output.h - the pocketing engine's toolpath output: every path element of the strategies,
// linkers and rest machining leaves through here and becomes the framework's output records (the
// header with feeds and planes, the retract, positioning and plunge of each new cut, approach and
// leaving elements, cutting moves, contour and part brackets, compensation and local values).
// Elements can also be collected and written later in reverse order. Elements come in engine
// (scaled) units; every coordinate sent is divided by the small-tool scale factor first. All output
// goes through the running pocket record (ccpCurrent); without one nothing is sent.
#pragma once

#include <vector>

#include "framework/cycle.h"
#include "geometry/vec.h"
#include "pocket/contour_element.h"

// One node of a collected-element list: room for capacity elements, count of them in use.
struct PockElemNode {
  int capacity;
  int count;
  PockElemNode* next;  // the next older node
  ContourElement* elements;
};
// Collected elements: a full node gets a new node in front of it, so the chain runs from the
// newest node to the oldest.
struct PockElemList {
  PockElemNode* first;
};

// A run of consecutive elements of one contour (a copy).
struct PockRunNode {
  int count;
  ContourElement* elements;
  PockRunNode* next;
};
// Runs chained newest first.
struct PockRunList {
  PockRunNode* first;
};

// Capacity of the collected-element lists the output and the per-level pocketing make.
inline constexpr int kPockCollectCapacity = 1000;

// The output's module state. Points and elements are kept in engine units.
struct PockOutputState {
  int pockHasLast = 0;  // a last position is known
  Point2D pockLastPoint = {0.0, 0.0};
  ContourElement pockLastElem = {};
  int pockNewStart = 1;       // the next element begins a new cut
  int pockRetracted = 1;      // the level's end has retracted the tool
  double pockZ = 0.0;         // the tool height last sent (tool-reference offset included)
  int pockZKnown = 0;         // 1 once a height was sent in this run
  int pockFirstStart = 1;     // the first new start of the run is still to come
  int pockHeaderPending = 1;  // the header is still to be written in this run
  int pockStartCount = 0;     // new starts since the last header call or level start
  int pockDrillCounter = -1;  // part number; -1 switches the part records off
  int pockCollecting = 0;     // collection mode
  PockElemList* pockCollected = nullptr;
  int pockRampPending = 0;  // a ramp is to be written before the next move
  int linkSkip = 0;         // the ring linker's skip flag: collected elements are dropped
  PockRunList* pockPocketRuns = nullptr;  // runs of the pocket contour ("pocketContour")
  int pockOnPocket = 0;                   // the path is on the pocket contour
  // Levels of the group and groups still to come after the current level; the cycle sets them
  // before each level (the level end retracts fully after the last level).
  int levelsLeft = 0;
  int groupsLeft = 0;
};

// The output state, for reading and setting (strategies set pockNewStart; tests inspect it).
PockOutputState& pockOutput();
// Puts the output state back to its values at the start of a run (header pending, first start,
// new start, retracted, no last position, part records off, collection off and its list freed,
// no ramp, no pocket runs). Every pocket run calls it from its init phase.
void pockOutputRunReset();
// 1 when p (engine units) lies closer than 1000 x contTol to an open element (tag -1) of some
// INPUT contour; 0 otherwise or when the work buffer cannot be had.
int pockNearOpenEdge(const Point2D& p);

// Resets pockStartCount and sets pockNewStart; writes the header records (feeds, aliases, planes,
// frame) when it is still pending in this run and collection mode is off. Returns 1.
int pockWriteHeader();
// Outputs one path element (engine units): collected in collection mode, otherwise sent with the
// new-start handling, approach and leaving elements. Returns 1.
int pockEmitElement(const ContourElement& element);
// One move (output units) with the new-start handling. Returns 1 when a move was sent, 0 when
// nothing was (an arc whose ends lie within 0.005 in engine units, or no running record).
int pockMoveTo(const ContourElement& element);
// Ends the level's path: leaving element, contour and part ends, the retract the parameters ask
// for. Nothing in collection mode. Returns 1.
int pockWriteLevelEnd();

// Leaving element types (the record's leavingType and approachType share 1 to 4).
inline constexpr int kPockLeadPerpendicular = 1;
inline constexpr int kPockLeadParallel = 2;
inline constexpr int kPockLeadQuarter = 3;
inline constexpr int kPockLeadHalf = 4;

// A leaving element at the element's end: type 1 a line of the length along the normal on the
// side; type 3 a quarter arc of that radius (centre end + length x normal, ending at end + length x
// (tangent + normal), direction side). The out element takes the element's tag. Returns 1; 0 for
// another type or an element without direction (out untouched).
int pockLeadElement(int type, double length, int side, ContourElement* out,
                    const ContourElement& element);
// pockLeadElement, then halved (line midpoint, arc middle) until its end keeps the clearance
// (first allowance + tool radius - tolerance, output units) from every INPUT contour and it crosses
// none, at most ten rounds; after the tenth it is used unchanged. Returns 1; 0 when no element is
// built; -1 out of memory (code 3020 sent).
int pockLeadOut(const ContourElement& element, int side, ContourElement* out, int type,
                double length);
// An approach element ending at the element's start, tag 1: 1 a line along the normal, 2 a line
// along the tangent, 3 a quarter circle, 4 a half circle (radius length, direction side). Returns
// 1; 0 for another type; -1 when the element has no direction.
int pockApproachElement(const ContourElement& element, int side, int type, double length,
                        ContourElement* out);
// The tangent link (isectTangentLink, clear of the INPUT contours) from the last element's end to
// the element's start (output units), sent as moves outside collection mode; a feed line when the
// link comes out straight or cannot be built. Returns 1.
int pockLinkArcs(double radius, const ContourElement& element, const ContourElement& last);

// Compensation records (layer 10).
int pockSendCompDirection(const ContourElement& element);
int pockCompOn();
int pockCompOff();
// Local values "end", "infeed" and "pocket".
int pockWriteEnd(int flag);
int pockWriteInfeed(int start);
int pockMarkPocketRun(int on);
// With pocket runs present: pockMarkPocketRun(whether the element, scaled, lies on a run).
int pockSplitMark(const ContourElement& element);

// Part numbers of the drill-point output.
int pockDrillPointsInit();
int pockDrillNext();
void pockDrillSet(int value);
int pockDrillFlush();

// Collection mode on with a new list; -1 (mode off) when out of memory. Returns 1.
int pockCollectStart();
// Writes a collected list: header call, a line from a given start point, every element through
// pockEmitElement with pockNewStart set to its tag after it, the level end. Returns 1; 0 for an
// empty list.
int pockFlushCollected(PockElemList* list);
// Reverses the collected list, switches collection off, writes and frees it. Returns the write's
// result; 0 without a list.
int pockFlushList();

// Lists of collected elements. Null when out of memory (or for a capacity below 1).
PockElemNode* pockListNodeNew(int capacity);
PockElemList* pockListNew(int capacity);
void pockListFree(PockElemList* list);
// Appends a copy with the tag. Returns 1; -1 for no list or no memory.
int pockListAppend(PockElemList* list, const ContourElement& element, int tag);
// Reverses every node's elements as a contour (order, ends, arc directions).
void pockListReverseAll(PockElemList* list);
// 1 when some element starts or ends at the point (0.0001 per coordinate).
int pockListHasEndpoint(const PockElemList* list, const Point2D& point);

// Runs of elements with a non-negative tag in every contour of the layer; null for an empty layer
// or when out of memory.
PockRunList* pockRunsOfLayer(const char* name);
// A run node copying elements first..last of the buffer; null when out of memory or empty.
PockRunNode* pockRunNew(const ContourElement* buffer, int first, int last);
void pockRunListFree(PockRunList* runs);
// 1 when both ends of the element lie within 0.00001 of some run element.
int pockRunListHasElem(const PockRunList* runs, const ContourElement& element);

// Before a ring starts at the point (engine units), with the ramp plunge outside collection mode:
// a point near the last position (not retracted) is reached by a feed move; otherwise a new start
// makes the ramp pending, and the elements that follow are queued for it.
int pockPositionAt(const Point2D& point);
// Positions at a (pockPositionAt) and outputs a line element from a to b. Returns 1.
int pockEmitLine(const Point2D& a, const Point2D& b);

// Finishing passes over the nesting tree of the level. A node's children lie one ring further out,
// so a node with exactly one child that has no children of its own is the ring just inside an
// outermost ring. Each such open node: local "full" = "start", its ring element by element through
// pockEmitElement, "full" = "end", the node marked done. Nodes already done are passed over (their
// ring has been cut). Returns the number of rings output; -1 when a ring cannot be read (code 3020
// sent; the rings before it stay output and done).
int pockOutputFullPass();
// Every open node without children (an outermost ring): its ring through pockEmitElement, the node
// marked done. Returns the number of rings output; -1 as pockOutputFullPass.
int pockOutputLeaves();

// ---- helix and ramp plunges (pock_plunge.cpp): output units, heights sent include the tool
// reference offset.

// The points of a helix: room for capacity points, count used.
struct PockPointList {
  int capacity = 0;
  int count = 0;
  std::vector<Point3D> points;
};

// Room of the ramp queue and of the ramp polyline.
inline constexpr int kPockRampQueueRoom = 500;
inline constexpr int kPockRampPolylineRoom = 1000;

// The helix around p (output units) of radius r, angle step a and plunge angle g (radians), turning
// by sign per step, from (p, bottom) up to (p, top) in build order. Returns 1 with out filled; 0
// when it cannot be built: |top - bottom|, |r| or |a| below 0.00001, |tan g| below 1e-9 or a height
// step below 1e-9 (a straight plunge then), the helix not clear of INPUT (code 3123), or more
// points than can be had.
int pockHelixPoints(const Point2D& p, double r, double a, double g, int sign, double top,
                    double bottom, PockPointList* out);
// Sends the points as feed XYZ moves from the last to the first, with the reduced feedrate when
// set.
int pockHelixOutput(CycleRecord* cycle, const PockPointList& list);
// 1 when a helix of radius r around p (output units) down to bottom stays clear of the INPUT
// contours reaching above bottom; else code 3123 and 0; -1 after code 3020 when memory runs short.
int pockHelixClear(const Point2D& p, double r, double bottom);

// Queues an element (output units) of a pending ramp: 1 queued; -2 it starts too far from the end
// of the last queued element; -1 the queue is full.
int pockRampQueue(const ContourElement& element);
// Number of queued ramp elements.
int pockRampQueued();
// Writes the ramp down from top to bottom over the queued path and then the queued elements.
// 1 done (also in collection mode), 0 empty queue; -1 for a degenerate ramp (no descent, angle 0,
// a path shorter than the tolerance) or no memory for its points: the queued elements then follow
// a straight plunge.
int pockRampPlunge(CycleRecord* cycle, double a, double g, double top, double bottom);
// Outside collection mode writes a pending ramp and clears the pending flags.
int pockFinishPending();
// The points of the elements: the first start, a line's end, points every a radians along an arc of
// radius 0.0001 or more (closer where the chords would leave the arc by more than the tolerance)
// and its end. At most room points; returns their number.
int pockRampPolyline(Point2D* points, int room, const ContourElement* elements, int n, double a);
double pockPolylineLength(const Point2D* points, int n);
// Cuts the polyline after the given length, its last point moved onto the cut; the new count.
int pockPolylineCut(Point2D* points, int n, double length);
// Empties the ramp queue (run start).
void pockRampReset();
