// rest_regions.h - the rest regions of a pocket: where a larger reference tool's rings turn a
// corner, the reference tool touched the pocket wall; between two such contacts the wall and the
// reference tool's circle enclose material it left. The search turns these contacts into closed
// regions (layer REST) that a smaller tool then pockets. Also the reference circle of the region
// being machined and the test the ring offsets make against it, and the positions, lengths and
// pieces along a wall contour that the search walks.
#pragma once

#include <cstdint>
#include <vector>

#include "geometry/vec.h"
#include "pocket/contour_element.h"

// Room of the contact table of one search.
inline constexpr int kRestMaxContacts = 10000;
// Codes of rest machining.
inline constexpr int kRestCodeNoRegion = 3251;
inline constexpr int kRestCodeToolNotSmaller = 3253;
inline constexpr int kRestCodeRegionShort = 3255;
// Base tolerance of a rest pass (restTol at its start).
inline constexpr double kRestTolBase = 0.04;

// Contact states.
inline constexpr std::int32_t kRestFree = 0;
inline constexpr std::int32_t kRestUsed = 1;
inline constexpr std::int32_t kRestTracing = 2;

// One contact of a reference-tool corner position with the pocket wall.
struct RestContact {
  std::int32_t state;     // kRestFree, kRestUsed or kRestTracing
  std::int32_t side;      // -1 behind the corner's bisector, +1 ahead
  std::int32_t position;  // the MAIN contour (the wall)
  Point2D centre;         // the reference tool's centre at the corner
  std::int32_t element;   // index of the wall element, from 0
  Point2D foot;           // the contact point on the wall
};

// A position on a contour: an element index and a point on that element.
struct RestPosition {
  int element;
  Point2D point;
};

// The rest state of the current pass.
struct RestState {
  double restTol = kRestTolBase;  // tolerance of the contacts and clear tests
  double restAllowance = 0.0;     // the wall's allowance
  ContourElement reference{};     // the reference circle of the region being machined (an arc)
};
RestState& restState();
// Test seam and run start: the state at load.
void restResetState();

// ---- positions along a contour -----------------------------------------------------------------

// The point at t x the total length (t clamped to [0, 1]), skipping elements shorter than 0.0001:
// on a line by interpolation, on an arc by turning its start about the centre. Returns the
// element's index; -1 for a contour of length 0 (pointOut untouched).
int contPointAtFraction(const ContourElement* elements, int n, double t, Point2D* pointOut);
// Length along the contour from from's point to to's point; when to lies before from, the total
// less the length from to to from on a closed contour, -1 on an open one (or a bad position).
double contLengthBetween(const ContourElement* elements, int n, const RestPosition& from,
                         const RestPosition& to);

// ---- the search
// ----------------------------------------------------------------------------------

// Corner between consecutive elements: 1 with turnOut +1 (left), -1 (right), 0 (smooth) or -2
// (reversal); 0 when a tangent is undefined (turnOut untouched).
int restCornerTurn(const ContourElement& a, const ContourElement& b, int* turnOut);
// Appends the contacts of the SPAN rings' corners with the wall contour (n elements, MAIN position
// position) to table, which holds base contacts. Returns the number appended; -1 when the table is
// full.
int restCornerCandidates(const ContourElement* wall, int n, int position, double refRadius,
                         RestContact* table, int base);
// The contact that closes the wall part begun at current (only free ones with freeOnly); -1 none.
int restPartner(const RestContact* table, int count, int current, const ContourElement* wall, int n,
                int freeOnly, double refRadius);
// Among the free contacts with current's centre (0.0001), the one whose foot lies farthest from
// current's (the first on ties); -1 when none.
int restNextCorner(const RestContact* table, int count, int current);
// 1 when the point lies at least refRadius + restTol + restAllowance from every SPAN ring; else 0.
int restPointClear(const Point2D& point, double refRadius);
// Copies the wall from position from to position to (wrapping; once around when both lie on one
// element and to is behind from), cleaned up. Returns the count (0 when nothing is left).
int restCopyPiece(std::vector<ContourElement>* out, const ContourElement* wall, int n,
                  const RestPosition& from, const RestPosition& to);
// The position halfway along the wall between from and to. 1; 0 for an open wall with to before
// from, or a wall of length 0.
int restMiddleBetween(const ContourElement* wall, int n, const RestPosition& from,
                      const RestPosition& to, RestPosition* out);
// Reverses the arc when its start tangent points against previous's end tangent. 1 reversed; 0.
int restArcFixDirection(ContourElement* arc, const ContourElement& previous);
// Traces one region into REST. 1 a region added or a start used up; 0 no start left; -1 failure.
int restTraceRegion(double refRadius, RestContact* table, int count);
// Fills REST with the rest regions from the SPAN rings and the MAIN walls. 1; -1 on failure (no
// memory, more than kRestMaxContacts contacts, a failed layer operation).
int restFindRegions(double refRadius);

// ---- the pass
// ------------------------------------------------------------------------------------

// Appends to name every ORIG contour whose start lies inside the region and at least contTol from
// it, reversed when its orientation equals side, with group 1. Their number; -1 when one cannot
// be appended.
int restAddIslands(const char* name, const ContourElement* region, int n, int side);
// The reference-tool test of a ring loop: 1 with evaluation off or when the reference circle cuts
// the loop; otherwise 0 when the loop's start lies inside the reference circle, else 1.
int restCheckReference(const ContourElement* elements, int n);
// Copies the geometry of an arc element into the reference circle.
void restSetReference(const ContourElement& element);
