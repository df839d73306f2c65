// tpc_internal.h - the checker's own planar geometry (lines and arcs: distances, winding,
// buckets), cutter shapes and the helpers the checks share. Internal to the checker library;
// its self-tests use it to compare the fast paths with their plain oracles.
#pragma once

#include <algorithm>
#include <array>
#include <string>
#include <vector>

#include "toolpath_check.h"

namespace tpc {

constexpr double kPi = 3.14159265358979323846;
constexpr double kTwoPi = 2.0 * kPi;

// A planar line or arc. An arc starts at angle a0 about (cx, cy) and sweeps `sweep` in (0, 2 pi]
// in the direction of turn (+1 counter-clockwise, -1 clockwise); ends equal: a full circle.
struct Curve {
  double ax = 0, ay = 0, bx = 0, by = 0;
  int turn = 0;  // 0 a line
  double cx = 0, cy = 0, r = 0;
  double a0 = 0, sweep = 0;
};

Curve lineCurve(double ax, double ay, double bx, double by);
Curve arcCurve(double ax, double ay, double bx, double by, double cx, double cy, int turn);
Curve elemCurve(const Elem2& e);
Curve moveCurve(const Move& m);  // the move's plan view

// Angle offset of direction `angle` from the arc's start, measured in its turning direction,
// in [0, 2 pi).
double arcOffset(const Curve& c, double angle);
// True when the direction `angle` from the centre lies within the arc's sweep.
bool arcHas(const Curve& c, double angle);
// Point at fraction u in [0, 1] of the curve (by angle for arcs).
void curveAt(const Curve& c, double u, double& x, double& y);
double curveLength(const Curve& c);
// Box of the curve.
void curveBox(const Curve& c, double& x0, double& y0, double& x1, double& y1);

// Exact distances.
double distPointCurve(double px, double py, const Curve& c);
double distCurveCurve(const Curve& a, const Curve& b);

// Winding number of a closed chain of curves about (px, py) (ray towards +x, half-open rule).
int windingNumber(const std::vector<Curve>& chain, double px, double py);
// Crossings of the row y = py with the chain: x and +1 (upwards) or -1 (downwards).
void rowCrossings(const std::vector<Curve>& chain, double py,
                  std::vector<std::pair<double, int>>& out);

// The pocket as curves, with each contour's needed clearance for a tool of radius R.
struct PocketCurves {
  std::vector<std::vector<Curve>> contours;  // 0 the outer contour, then the islands
  std::vector<double> allowance, top;
  bool centre = false;
  std::string problem;  // not empty: a contour is not closed or empty
};
PocketCurves pocketCurves(const Pocket& pocket);
// Clearance the tool centre needs from contour i.
inline double needed(const PocketCurves& p, std::size_t i, double radius) {
  return (p.centre ? 0.0 : radius) + p.allowance[i];
}
// True when (x, y) lies inside the outer contour and outside every island.
bool inPocket(const PocketCurves& p, double x, double y);

// Sorts items into buckets by their boxes (x0, y0, x1, y1). The cell is the boxes' extent area
// per item, times scale, and at least the extent / maxCells.
void bucketBoxes(const std::vector<std::array<double, 4>>& boxes, double scale, double maxCells,
                 BoxBuckets& out);
// A whole cell index v (already floored or ceiled) within [lo, hi], clamped before the cast: an
// infinite or huge v has no int. NaN gives lo.
inline int cellIndex(double v, int lo, int hi) {
  if (!(v > lo)) return lo;
  if (v >= hi) return hi;
  return static_cast<int>(v);
}
// The cells a box meets, clamped to the grid; false when the box misses the grid. Infinite box
// edges reach the grid's border (a ray towards +x asks for [x, +infinity]).
bool bucketRange(const BoxBuckets& g, double x0, double y0, double x1, double y1, int& i0, int& j0,
                 int& i1, int& j1);

// Plan-box buckets of the pocket's curves: for a box, the (contour, element) pairs whose boxes
// meet it.
class CurveIndex {
 public:
  explicit CurveIndex(const PocketCurves& pocket);
  void query(double x0, double y0, double x1, double y1,
             std::vector<std::pair<int, int>>& out) const;

 private:
  BoxBuckets grid_;                      // flattened element indices
  std::vector<std::pair<int, int>> of_;  // (contour, element) of each flattened index
  mutable std::vector<unsigned> seen_;
  mutable unsigned stamp_ = 0;
};

// A failed check that could not run, with its reason.
Result notRun(const std::string& check, const std::string& why);

// The lower surface of a cutter of radius R and corner r, `d` from its axis, above its tip;
// +infinity beyond R.
double cutterProfile(double R, double r, double d);
// The parameter interval [t0, t1] within [0, 1] where the plan view of the segment p-q lies
// within R of (x, y); false when it never does or the segment is vertical.
bool edgeWithin(double R, double x, double y, const Vec3& p, const Vec3& q, double& t0, double& t1);
// Tip height at which a cutter (R, r) at (x, y) touches the point (vertex contact); -infinity
// beyond R.
double dropOnPoint(double R, double r, double x, double y, const Vec3& p);
// Edge contact of a cutter (R, r) by maximising the concave contact height along the edge
// (golden section); used for torus cutters, and as the oracle of the closed forms.
double dropOnEdgeSearch(double R, double r, double x, double y, const Vec3& p, const Vec3& q);
// Closed-form edge contact for a ball (r = R) and a flat end (r = 0).
double dropOnEdgeBall(double R, double x, double y, const Vec3& p, const Vec3& q);
double dropOnEdgeFlat(double R, double x, double y, const Vec3& p, const Vec3& q);
// Face contact (interior of the triangle only); -infinity when the contact point lies outside.
double dropOnFace(double R, double r, double x, double y, const Triangle& t);
// Grown-cutter tip drop on one triangle (edges by the closed forms where they exist).
double dropGrown(double R, double r, double x, double y, const Triangle& t);

// ---- 3-D penetration ----------------------------------------------------------------------------

// The core of a cutter grown by an allowance: a vertical solid cylinder of radius w = R - r about
// (x, y), standing on its bottom disc at zc = tip z + r and running up without end (the shank).
// The grown cutter is the set of points within rho = r + allowance of it.
struct Core {
  double x = 0, y = 0, zc = 0, w = 0, rho = 0;
};
Core cutterCore(const Tool& tool, double allowance, const Vec3& tip);
// Signed distance from q to the core: negative inside, by the depth below its nearest surface.
double coreDistance(const Core& c, const Vec3& q);
// Unit gradient of coreDistance at a point outside the core: from the core's nearest point to q.
Vec3 coreGradient(const Core& c, const Vec3& q);
// A cheap lower bound of the signed distance from the core to anything inside the plan box
// (x0, y0, x1, y1) below z top.
double boxCoreDistance(const Core& c, const std::array<double, 4>& box, double top);

// The smallest signed distance from a triangle to the core, a triangle point where it occurs and
// the gradient of coreDistance there. The distance is convex over the triangle: its smallest
// value lies where the core's nearest point faces the triangle's plane, or on the triangle's
// border. A triangle that touches or enters the core (dist <= 1e-12) has no gradient (smooth
// false): moving the cutter changes its distance by at most the length of the move.
struct CoreContact {
  double dist = 0;
  Vec3 at;
  Vec3 grad;
  bool smooth = false;
};
CoreContact triangleCore(const Core& c, const Triangle& t);

// One triangle's penetration at a cutter position and a tangent that bounds it from above for
// every other position p of the cutter: pen(p) <= pen + err + grad . (p - here). The plane of any
// unit normal n that does not point up holds the core on its one side; the triangle's least
// distance beyond it, gap, falls by n . (p - here) as the cutter moves, and the triangle's
// distance from the core never lies below it: so pen + err = corner + allowance - gap with
// grad = n is such a tangent for every n, exact when n is the gradient. The computed gradient
// serves as n where the triangle is clear of the core by kNearCore x the position's scale or
// more; nearer, touching or inside, that of the core eroded until it is clear (radius w - s,
// bottom s higher). err also holds the rounding of gap. smooth false: no tangent (a core too thin
// to erode, as a ball's axis that the triangle reaches); the penetration then changes no faster
// than the cutter moves.
struct TriPen {
  int tri = 0;
  double pen = 0;
  Vec3 grad;
  double err = 0;
  bool smooth = false;
};
constexpr double kNearCore = 1e-7;
constexpr double kTangentRounding = 1e-14;
TriPen penetrationTangent(const Core& c, const Triangle& t, int index);

// Maximum of a concave function on [lo, hi] by golden-section search, both ends included. The
// bracket shrinks by 0.618 per step: 90 steps take it far below 1e-15 of its length.
template <class F>
double goldenMax(F f, double lo, double hi) {
  constexpr double g = 0.6180339887498949;
  const double flo = f(lo), fhi = f(hi);
  double m1 = hi - g * (hi - lo), m2 = lo + g * (hi - lo);
  double f1 = f(m1), f2 = f(m2);
  for (int i = 0; i < 90 && hi - lo > 0; ++i) {
    if (f1 < f2) {
      lo = m1;
      m1 = m2;
      f1 = f2;
      m2 = lo + g * (hi - lo);
      f2 = f(m2);
    } else {
      hi = m2;
      m2 = m1;
      f2 = f1;
      m1 = hi - g * (hi - lo);
      f1 = f(m1);
    }
  }
  return std::max(std::max(f1, f2), std::max(flo, fhi));
}

// Sample points of a move: the end, and for feed moves every `step` or closer along it
// (fractions in (0, 1]); the start when withStart.
void moveSamples(const Move& m, double step, bool withStart, std::vector<Vec3>& out);
// Tip position at fraction u of a move.
Vec3 movePoint(const Move& m, double u);
// The G3 sample step of a tool: min(R/8, 0.25).
double sampleStep(const Tool& tool);

// ---- the part's penetration along a path ------------------------------------------------------

// Which moves the penetration walk follows. Feeds (G3): every move's ends are sampled and feed
// moves are followed between them. Rapids (L3D): only rapids, at their ends and all along them.
enum class Follow { Feeds, Rapids };
inline bool walked(Follow f, const Move& m) {
  return f == Follow::Feeds || m.kind == MoveKind::Rapid;
}
inline bool followed(Follow f, const Move& m) {
  return m.kind == (f == Follow::Feeds ? MoveKind::Feed : MoveKind::Rapid);
}
// The 3-D penetration of the part into each move's tool grown by options.allowance, over the
// moves `follow` walks, with the vertical measure beside it: sets res.worst, where, line and pass
// as G3 describes them (-infinity: nothing near) and the vertical fields. Returns the largest
// bound left unproven between samples (-infinity: none). Needs a mesh with triangles.
double penetrationAlong(const Path& path, const MeshIndex& index, const Gouge3DOptions& options,
                        Follow follow, Result& res);
// "vertical V" and its place, of a result penetrationAlong filled.
std::string verticalText(const Path& path, const Result& res);

// Number text for messages: "%.6g".
std::string num(double v);
// " at (x, y, z), line N of file" of a result's worst place; empty without a place.
std::string placeText(const Path& path, const Result& r);
void setWorst(Result& r, double value, const Vec3& at, const Move* m);

}  // namespace tpc
