// kont2d.h - planar regions: the closed 2D line contour record with its box, height, nesting
// depth and links, its construction, growth and release, the module switches, the point tests on
// contours and the two writers of boundary text files.
// A region is an outer contour whose child chain holds its islands; regions are chained by next.
#pragma once

#include <cstdint>
#include <source_location>

#include "geometry/lists.h"
#include "geometry/vec.h"

struct TriMesh;  // triangle mesh of a region, owned and freed by its own module

// One closed contour (allocated zeroed).
// Walk order of a region: the outer contour, its child, then each island's next; a walk never
// follows the outer contour's next. Outer contours run counter-clockwise and islands clockwise
// unless a caller asks for the opposite outer orientation.
struct Kont2D {
  std::int32_t count;     // segments in use
  std::int32_t capacity;  // room of the segment array (at least 3)
  double xmin, ymin, xmax, ymax;
  std::int16_t mark;          // free for callers; never read here
  std::int16_t closed;        // 1 when the contour is closed
  std::int16_t ownsSegments;  // 1 when the segment array is freed with the record
  double z;                   // DBL_MAX until set
  std::int32_t depth;         // nesting depth: 0 outer, odd island, even outer inside an island
  std::int32_t flags;         // bit value 8 (kKontOwnsExtra): the record frees extra
  Seg2D* segments;            // segment k ends where k+1 starts, the last ends at the first start
  TriMesh* mesh;              // optional mesh of the region; never freed by the contour functions
  Kont2D* prev;       // previous region; for the first island its outer, else the previous island
  Kont2D* next;       // next region (outer contour) or next island (island)
  Kont2D* child;      // first island (outer contours only)
  double zmin, zmax;  // height range of the points the contour was read from
  IntList* extra;     // optional integer list of callers
};

constexpr std::int32_t kKontOwnsExtra = 8;

// The contour after k in the walk of region: the outer's child, then each island's next.
inline Kont2D* kontWalkNext(const Kont2D* region, const Kont2D* k) {
  return k == region ? region->child : k->next;
}

// ---- module switches (process-wide, 0 at load) ------------------------------------------------

// No-rounding switch: when clear, the boundary file reader truncates coordinates to 0.001.
int kontGetNoRound();
void kontSetNoRound(int flag);  // stored as 0 or 1
// Skip-check switch: when set, kontValidate accepts every region at once.
int kontGetSkipCheck();
void kontSetSkipCheck(int flag);  // stored as 0 or 1

// ---- construction and release -----------------------------------------------------------------

// New contour with room for n segments (n below 3 becomes 3). With a caller's array the contour
// stores its segments there without owning it; with null it allocates an owned array. Box
// inverted (1e10, -1e10), z DBL_MAX, everything else zero. Null when memory runs out (error
// record -1).
Kont2D* kontNew(Seg2D* segments, int capacity);
// Count 0, box inverted to +-DBL_MAX, flags, zmin and zmax 0; z, links and the array stay.
// Returns 1 (also for null).
int kontReset(Kont2D* k);
// Appends one segment and widens the box. An owned array grows by half; a caller's array is never
// reallocated: the segments move into a new array that the contour owns.
// Returns 1 appended; -1 null contour, no array, or the array cannot grow (error record set).
int kontAppendSeg(Kont2D* k, const Seg2D* seg);
// Box from the end points of all segments. Returns 1; 0 when null or empty.
int kontUpdateBox(Kont2D* k);
// Frees the whole list: every region by next, every island chain by child and next, the owned
// segment arrays and extra lists, and the records (iteratively, so long chains cannot exhaust the
// stack). Meshes are left to their owners. Accepts null.
void kontFree(Kont2D* list);

// +1 when the contour runs counter-clockwise, -1 otherwise (also degenerate or null).
int kontOrientation(const Kont2D* contour);

// ---- point tests ------------------------------------------------------------------------------

// 1 as soon as geoOnSegFine / geoOnSegCoarse / geoOnSegTol holds for a segment of the region
// walk; else 0 (also for a null region).
int geoOnKontFine(const Point2D& p, const Kont2D* region);
int geoOnKontCoarse(const Point2D& p, const Kont2D* region);
int geoOnKontTol(const Point2D& p, const Kont2D* region, double tol);
// Crossing parity of p against the polygon of the segment start points: 1 inside, else 0. 0 for
// a null contour, fewer than 3 segments, or p outside the stored box (the segments unseen).
int geoPointInKont(const Point2D& p, const Kont2D* contour);
// Inside test with a band along the contour: with band >= 0, 1 when p is inside or within the
// band of a segment; with band < 0, 1 only when p is inside and farther than |band| from every
// segment. 0 for a null contour or p outside the box widened by band.
int geoPointInKontBand(const Point2D& p, const Kont2D* contour, double band);

// ---- boundary text file writers ---------------------------------------------------------------

// Appends every contour of the list (each region in walk order) as "**BND" blocks to the file,
// points mapped from the tool system back to world coordinates; a gap between consecutive
// segments starts a new block. Returns 1; 0 for a null list or one without segments; -1 when the
// file cannot be opened (error record -1).
int kontAppendBnd(const Kont2D* list, const char* fileName);
// As kontAppendBnd, as "**BND n **WZ" blocks of tool-system coordinates without a transform,
// numbered by a counter of its own.
int kontAppendBndWz(const Kont2D* list, const char* fileName);

// ---- module internals shared by the contour module's files ------------------------------------

// Test seam: switches and block counters back to their state at load.
void kontResetState();
