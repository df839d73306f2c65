// seg_cross.h - crossings of segment contours: the crossing record, a search index that limits
// the segment pairs tested, self-crossings of one contour, crossings of two contours and with a
// circle, the judgement of which crossings bound the part of an offset to keep, and the loop walk
// that copies the kept runs of a raw offset and skips its loops.
#pragma once

#include <vector>

#include "geometry/vec.h"

// One crossing of two segments.
struct SegCrossing {
  double x, y;  // the crossing point
  double t;     // position along the first segment (by x, or by y for a vertical segment)
  int segA;     // number (from 1) of the segment of the first contour
  int segB;     // number (from 1) of the segment of the second (or the same) contour
  int state;    // 0 no place to turn, 1 usable, 2 passed or unusable, 3 a mark of the loop walk
};

// Room of the crossing tables of the callers of segContoursIntersect, and the first room of the
// offset's table, which grows.
constexpr int kSegCrossMax = 4000;

// A crossing table of kSegCrossMax + 1 records lent for one computation. The module keeps one
// table, made on first use, and lends it out: an offset or a fit that asks for a table hundreds
// of times takes no allocation after the first and clears nothing (the crossing searches write
// every record they report before it is read). A borrower while it is lent out (a nested
// computation) gets a table of its own. Throws std::bad_alloc when memory runs out, as the
// vector it replaces did.
class SegCrossTable {
 public:
  SegCrossTable();
  ~SegCrossTable();
  SegCrossTable(const SegCrossTable&) = delete;
  SegCrossTable& operator=(const SegCrossTable&) = delete;
  SegCrossing* data() const { return table_; }
  SegCrossing& operator[](int i) const { return table_[i]; }

 private:
  SegCrossing* table_;
  bool own_;  // a table of its own (the kept one was lent out), freed with this
};

// Search index over a segment array along one axis. It yields, for a query segment, in rising
// index order, every segment whose extent along the axis overlaps the query's widened by 1e-5.
// Built over equal-width buckets of the axis, so a query costs the segments near it rather than
// the whole array; counts are int like the arrays they index.
struct ChainIndex {
  int segCount;
  int axis;                      // 0 x, 1 y
  double origin, width;          // bucket k covers [origin + k width, origin + (k+1) width)
  std::vector<double> lo, hi;    // extent of each segment along the axis
  std::vector<int> bucketStart;  // bucket k holds items[bucketStart[k] .. bucketStart[k+1])
  std::vector<int> items;
  std::vector<int> stamp;  // per segment: the query that last collected it
  std::vector<int> found;  // candidates of the current query, rising
  int query;
  int cursor;  // next position in found
};

// Builds the index over count segments (method 1 running extents or 2 monotone chains: both give
// the same candidates; axis 0 x, 1 y). Returns null for another method or axis, a null array or
// negative count, or memory exhausted.
ChainIndex* chainIndexNew(const Seg2D* segs, int count, int method, int axis);
// Releases the index; accepts null.
void chainIndexFree(ChainIndex* index);
// Starts a query: the first segment index at or after lowest whose extent overlaps the query's
// widened by 1e-5, or -1.
int chainIndexFirst(ChainIndex* index, const Seg2D& query, int lowest);
// The next candidate of the query started by chainIndexFirst at or after current, or -1.
int chainIndexNext(const Seg2D& query, ChainIndex* index, int current);

// The self-crossings of one contour, sorted along it, into table (room for cap records); m is
// the code of the raw offset that made the contour (-1 marks broken joints). Returns their
// number; -1 when there are more than cap or memory runs out; -20 for a null array or table or a
// negative count.
int segSelfCrossings(const Seg2D* segs, int n, SegCrossing* table, int cap, int m);
// As segSelfCrossings into a table that grows with the crossings found: the first room is the
// table's size on entry, at least kSegCrossMax records (2n + 16 for a shorter contour), and it
// keeps one record of room beyond the crossings.
// Returns their number; -1 when memory runs out; -20 for a null array or table or a negative count.
int segSelfCrossingsGrow(const Seg2D* segs, int n, std::vector<SegCrossing>* table, int m);
// The crossings of contour a with contour b, sorted along a (state 1), into out (room for cap).
// Two identical contours give 0. Returns their number; -1 when there are more than cap or memory
// runs out; -20 for a null array or a negative count.
int segContoursIntersect(const Seg2D* a, int na, const Seg2D* b, int nb, SegCrossing* out, int cap);
// The crossings of the segments with a circle (segA = segment number; a crossing at a segment's
// end is left out, a touching point gives none) into out (room for cap). Returns their number;
// -1 when there are more than cap.
int segCircleCrossings(int n, const Seg2D* segs, const Circle2D& circle, SegCrossing* out, int cap);
// 1 when the circle crosses any segment (two crossings, or one that is not a segment end within
// 0.0001), else 0; touching points do not count.
int segCircleHits(const Circle2D& circle, const Seg2D* segs, int n);
// Sort order: 1 when a.segA > b.segA, or equal segA and a.t > b.t; -1 otherwise (never 0).
int segCmpCrossing(const SegCrossing& a, const SegCrossing& b);
// Sets the state of each record: 0 when a circle slightly smaller than d about it hits the input
// contour, else by the side the raw contour turns to (segCrossingSide).
void segClassifyCrossings(SegCrossing* table, int count, const Seg2D* raw, int rawCount,
                          const Seg2D* in, int inCount, double d, int side);
// Classifies record i of the table alone (the table gives the neighbour record for the start).
void segClassifyCrossing(SegCrossing* table, int count, int i, const Seg2D* raw, int rawCount,
                         const Seg2D* in, int inCount, double d, int side);
// 1 when the raw contour turns at the crossing to the side that keeps the record usable, else 2.
int segCrossingSide(const SegCrossing& rec, const Seg2D* raw, int rawCount, int side);
// The raw contour without its loops, appended to work (at most 5000 segments, or twice the raw
// count when that is more). Returns the
// number of segments written; -1 when the walk fails (no usable record, a broken trace, too many
// segments); may set the retry flag of the offset.
int segRemoveLoops(SegCrossing* table, int count, const Seg2D* raw, int rawCount,
                   std::vector<Seg2D>* work);
// Steps of the loop walk. segTraceRun appends the run from record r with key k (1 from its first
// segment, 2 from its second) up to the next crossing, whose index it returns (-1 on failure).
int segTraceRun(SegCrossing* table, int count, int r, int k, const Seg2D* raw, int rawCount,
                bool closed, std::vector<Seg2D>* out);
// The next record after r along the raw contour for the walk with key k (the records of state
// neither 2 nor k, each on its second segment when usable, else its first), or -1 when none.
int segNextCrossing(const SegCrossing* table, int count, int r, int k, const Seg2D* raw,
                    int rawCount);
// 1 when p lies after q along the segment, else 2.
int segCrossingOrder(const Seg2D& seg, const Point2D& p, const Point2D& q);

// The retry flag of the segment-contour offset: set by an offset attempt or a loop removal whose
// result must not be used as it is (0 at load; segOffsetResetState clears it).
int segOffsetRetryFlag();
void segOffsetSetRetryFlag(int on);
