// wcoll_contact.h - collision at one Z: where a ball, torus or flat end mill whose centre moves
// along a straight 2D move at a fixed height first touches a facet, a wall segment or the
// contour of its region. The contour walker and the level slicing ask this for every step; a
// missed contact is a gouge.
//
// Height reference: z is the ball centre, the plane of the torus' tube centres (tip + corner
// radius) or the flat end mill's tip; every contact position is returned at that height.
// A search keeps the candidate nearest to the move's start in plan (squared distances, strictly
// nearer wins), and a contact must lie before the move's end.
//
// Run state: the triangle and wall-segment allowance tables. The level code sets them for one
// level and clears them after it; wcollResetState clears both at the start of a top-level run.
#pragma once

#include <cstdint>

#include "geometry/kont2d.h"
#include "geometry/lists.h"
#include "geometry/slice_records.h"
#include "geometry/vec.h"

// Results of the searches.
constexpr int kWcollNone = 0;       // no contact before the move's end
constexpr int kWcollHit = 1;        // contact with a triangle or a wall segment
constexpr int kWcollRegion = 2;     // crossing of the region's contour, or a contact outside it
constexpr int kWcollBadTool = -20;  // null tool, tool kind not 1, 2 or 3, or null record

// Contact kinds.
constexpr int kWcollKindCrossing = 0;  // the centre path crosses the region's contour (segment
                                       // index within its contour)
constexpr int kWcollKindFace = 1;      // face of a triangle; end point of a wall (walls alone)
constexpr int kWcollKindEdge = 2;      // edge of a triangle; side of a wall (walls alone)
constexpr int kWcollKindVertex = 3;    // vertex of a triangle
constexpr int kWcollKindWall = 4;      // wall segment met by the ball or torus search

// Squared plan distance from the move's start within which region crossings and wall contacts
// of the ball and torus searches are ignored: a move that starts on a contour leaves it.
constexpr double kWcollStartTolSq = 1e-5;

// The answer of one search.
struct WcollContact {
  Seg3D segment;         // the move's start and the tool-centre position at the contact, at z
  Point3D touch;         // touching point on the element
  std::int32_t element;  // triangle index, wall segment index or contour segment index
  std::int32_t kind;     // kWcollKind...
};

// Dispatches by the tool's type: ball -> wcollContactBall and torus -> wcollContactTorus with the
// context's triangles, walls and region and radius R + 1e-6; flat end mill -> wcollWallContact
// with the walls and region and radius R, its 2D answer lifted to z.
// Returns kWcollNone (out->segment = the move at z), kWcollHit or kWcollRegion (out filled);
// kWcollBadTool for a null context, tool or out, or a tool type other than 1, 2 or 3 (error
// record set).
int wcollToolContact(const CollCtx* ctx, const WalkTool* tool, double z, const Seg2D& move,
                     WcollContact* out);

// Ball of the given radius (centre at z) along the move against the triangles (each with its
// allowance added to the radius when the triangle table is set), then the region's contours,
// then the walls (wcollWallContact with the base radius). A null triangle list skips only the
// triangle tests. outSegment is always written (the move at z when nothing is found); touch,
// element and kind only with a contact. Results as wcollToolContact (0, 1, 2); a move shorter
// than 1e-12 gives 0; null outputs give kWcollBadTool.
int wcollContactBall(const Tri3List* triangles, const Kont2D* walls, const Kont2D* region,
                     double radius, const Seg2D& move, double z, Seg3D* outSegment,
                     Point3D* outTouch, int* outElement, int* outKind);
// Torus of outer radius `radius` and corner radius `corner` (tube centres at z), as the ball.
int wcollContactTorus(const Tri3List* triangles, const Kont2D* walls, const Kont2D* region,
                      double radius, double corner, const Seg2D& move, double z, Seg3D* outSegment,
                      Point3D* outTouch, int* outElement, int* outKind);

// A disc of radius r0 (each wall segment's allowance added when the wall table is set) along the
// move against the wall segments (kind 2 on a side, kind 1 at an end point), then the region's
// contours (kind 0). Null walls skip only the wall tests. outSegment runs from the move's start
// to the centre position. Results 0, 1, 2 as above; a move shorter than 1e-12 gives 0; null
// outputs give kWcollBadTool.
int wcollWallContact(const Kont2D* walls, const Kont2D* region, double r0, const Seg2D& move,
                     Seg2D* outSegment, Point2D* outTouch, int* outElement, int* outKind);

// ---- element tests ----------------------------------------------------------------------------
// Each gives the centre position on the line of the move at height z where the tool touches the
// element, approaching from the move's start: 1 with out, 0 none. They do not check that the
// position lies on the move or that the touching point lies on the element.

// Ball of radius r against vertex v: none when |z - v.z| > r; v's plan position when v lies
// exactly r below the centre; else the crossing of the move's line with the circle of radius
// sqrt(r^2 - dz^2) about v nearer to the move's start.
int wcollBallVertex(const Point3D& v, double r, const Seg2D& move, double z, Point2D* out);
// Ball against the triangle's plane moved by r toward the move's start (none for a degenerate
// triangle, a start on the plane, or a move parallel to the plane).
int wcollBallFace(const Tri3D& tri, double r, const Seg2D& move, double z, Point2D* out);
// Ball against the line of edge a-b: the smaller move parameter at which the distance from the
// line is r. -1 for an edge whose squared length is below 1e-6.
int wcollBallEdge(const Point3D& a, const Point3D& b, double r, const Seg2D& move, double z,
                  Point2D* out);
// Torus of tube-centre circle radius rc (R - c) and corner radius c against vertex v: none when
// |z - v.z| > c; else the circle of radius sqrt(c^2 - dz^2) + rc about v, as the ball.
int wcollTorusVertex(const Point3D& v, double rc, double c, const Seg2D& move, double z,
                     Point2D* out);
// Torus against the triangle's plane: the plane moved by c toward the start, its trace at z
// moved by rc toward the start in plan, cut with the move's line. None for a degenerate
// triangle, a start on the plane or its trace, or a move along the plane's level lines
// (|nx dx + ny dy| < 0.001 with the unit normal n and the move vector d).
int wcollTorusFace(const Tri3D& tri, double rc, double c, const Seg2D& move, double z,
                   Point2D* out);
// Torus against edge a-b: the cylinder of radius c about the edge cut at z; an ellipse grown by
// rc is cut with the move's line (one point, or the one nearer the start of two); two lines
// (horizontal edge) are each moved by rc toward the start and cut with the move's line (the
// nearer point). A single line or nothing: none. -10 for an edge shorter than 1e-12.
int wcollTorusEdge(const Point3D& a, const Point3D& b, double rc, double c, const Seg2D& move,
                   double z, Point2D* out);

// ---- allowance tables -------------------------------------------------------------------------
// Each a RecList of PtrValPair indexed like the triangle list (wall segment list) whose value is
// added to the radii of that element; null = no allowances. An element beyond the table's count
// gets none. The setters return 1; the getters the last table set.

int wcollSetTriAllowances(const RecList* table);
const RecList* wcollGetTriAllowances();
int wcollSetSegAllowances(const RecList* table);
const RecList* wcollGetSegAllowances();

// Test seam and run-start reset: both allowance tables cleared.
void wcollResetState();
