// tri_contact.cpp - the ball and torus contact solvers of the walker's step circle against faces,
// edges and vertices, and the two solver sets the step search calls them through.
// The ball edge is solved by sampling: 32 samples find the sign changes of the contact function
// and a false-position search with Taylor-expanded cos and sin refines each, so a bracket costs
// one sine and one cosine instead of a quartic.
#include "zlevel/tri_contact.h"

#include <cmath>
#include <source_location>

#include "geometry/geo_error.h"
#include "geometry/space_geo.h"
#include "model/cutter_shape.h"
#include "model/wcoll_boxtree.h"

namespace {

constexpr const char* kModule = "Tricont";

int triconFail(int code, std::source_location at = std::source_location::current()) {
  return geoFail(code, kModule, at);
}

Arc2D circleAbout(double cx, double cy, double radius) {
  Arc2D c{};
  c.cx = cx;
  c.cy = cy;
  c.radius = radius;
  return c;
}

Arc2D stepAtOrigin(const Arc2D& step) { return circleAbout(0.0, 0.0, step.radius); }
Point3D fromStep(const Point2D& p, const Arc2D& step, double z) {
  return Point3D{step.cx + p.x, step.cy + p.y, z};
}

}  // namespace

int triconCircleCut(double x, double y, double radius, const Arc2D& step, double z, Point3D* out1,
                    Point3D* out2) {
  Point2D p1{}, p2{};
  if (geoCircleCircleCut(circleAbout(x - step.cx, y - step.cy, radius), stepAtOrigin(step), &p1,
                         &p2) != 2) {
    return 0;
  }
  *out1 = fromStep(p1, step, z);
  *out2 = fromStep(p2, step, z);
  return 2;
}

int triconLineCut(double a, double b, double e, const Arc2D& step, double z, Point3D* out1,
                  Point3D* out2) {
  Point2D p1{}, p2{};
  if (geoLineCircleCut(a, b, e + a * step.cx + b * step.cy, stepAtOrigin(step), &p1, &p2) != 2) {
    return 0;
  }
  *out1 = fromStep(p1, step, z);
  *out2 = fromStep(p2, step, z);
  return 2;
}

namespace {

// The squared distance of p from the line through p0 with unit direction e, minus R^2.
double edgeFunction(const Point3D& p, const Point3D& p0, const Point3D& e, double R) {
  const double wx = p.x - p0.x, wy = p.y - p0.y, wz = p.z - p0.z;
  const double cx = wy * e.z - wz * e.y;
  const double cy = wz * e.x - wx * e.z;
  const double cz = wx * e.y - wy * e.x;
  return cx * cx + cy * cy + cz * cz - R * R;
}

// The unit direction of the edge; false when it is shorter than minLength.
bool edgeDirection(const Seg3D& edge, double minLength, Point3D* e) {
  const double dx = edge.end.x - edge.start.x, dy = edge.end.y - edge.start.y,
               dz = edge.end.z - edge.start.z;
  const double len = std::sqrt(dx * dx + dy * dy + dz * dz);
  if (!(len >= minLength)) return false;
  *e = Point3D{dx / len, dy / len, dz / len};
  return true;
}

// Horizontal ball edge: the edge moved sideways by w in both directions, each moved line cut with
// the step circle.
int ballEdgeHorizontal(const Seg3D& edge, double R, const Arc2D& circle, double z,
                       Point3D* out[4]) {
  const double dz = z - edge.start.z;
  if (std::fabs(dz - R) < kTriconTangentTol) return 0;  // the edge touches the ball's bottom
  if (!(std::fabs(dz) <= R)) return 0;
  const double w = std::sqrt(R * R - dz * dz);
  const double dx = edge.end.x - edge.start.x, dy = edge.end.y - edge.start.y;
  const double len = std::hypot(dx, dy);
  const double nx = -dy / len * w, ny = dx / len * w;
  int n = 0;
  for (const double side : {1.0, -1.0}) {
    const Seg2D moved{edge.start.x + side * nx - circle.cx, edge.start.y + side * ny - circle.cy,
                      edge.end.x + side * nx - circle.cx, edge.end.y + side * ny - circle.cy};
    Point2D p1{}, p2{};
    if (geoSegCircleCut(moved, stepAtOrigin(circle), &p1, &p2) != 2) continue;
    *out[n++] = fromStep(p1, circle, z);
    *out[n++] = fromStep(p2, circle, z);
  }
  return n;
}

}  // namespace

const std::array<Point2D, 33> TriconDirections = [] {
  std::array<Point2D, 33> d{};
  for (int k = 0; k < 32; ++k) {
    const double t = k * std::numbers::pi / 16;
    d[k] = Point2D{std::cos(t), std::sin(t)};
  }
  d[32] = d[0];
  return d;
}();

// ---- ball ---------------------------------------------------------------------------------

int triconBallFace(const Tri3D& tri, double R, const Arc2D& circle, double z, Point3D* out1,
                   Point3D* out2) {
  double nx = 0, ny = 0, nz = 0, d = 0;
  if (geoTriPlane(tri, &nx, &ny, &nz, &d) != 1) return 0;
  const Point3D centre{circle.cx, circle.cy, z};
  const double D = nx * centre.x + ny * centre.y + nz * centre.z + d;
  const int g = geoPlaneSide(centre, nx, ny, nz, d);
  if (g == 0) return 0;
  const double r = circle.radius;
  if (std::fabs(D) > R + r) return 0;
  if (std::fabs(D) < R - r) {
    Point3D foot{};
    if (geoPointInTri3D(centre, tri, &foot) == 1) return triconFail(kTriconGouge);
  }
  if (std::fabs(nz) == 1.0 || (nx == 0.0 && ny == 0.0)) {
    return std::fabs(std::fabs(D) - R) < kTriconTangentTol ? 1 : 0;
  }
  // Centres R from the plane on the centre's side, at height z: nx x + ny y + k = 0. Solved in
  // coordinates about the circle's centre, along the axis in which the line is steeper.
  const double k = nz * z + d - R * g;
  const bool solveY = std::fabs(ny) < std::fabs(nx);
  // The other coordinate (relative to the centre) is p u + w for the solved one u.
  const double na = solveY ? nx : ny, nb = solveY ? ny : nx;
  const double p = -nb / na;
  const double w =
      solveY ? -(nb * circle.cy + k) / na - circle.cx : -(nb * circle.cx + k) / na - circle.cy;
  double u1 = 0, u2 = 0;
  if (geoSolveQuadratic(p * p + 1.0, 2.0 * p * w, w * w - r * r, &u1, &u2) != 2) return 0;
  auto position = [&](double u) {
    return solveY ? Point3D{circle.cx + p * u + w, circle.cy + u, z}
                  : Point3D{circle.cx + u, circle.cy + p * u + w, z};
  };
  *out1 = position(u1);
  *out2 = position(u2);
  return u1 == u2 ? 1 : 2;
}

int triconBallVertex(const Point3D& v, double R, const Arc2D& circle, double z, Point3D* out1,
                     Point3D* out2) {
  const Point3D centre{circle.cx, circle.cy, z};
  if (geoDist3D(v, centre) < R - circle.radius) return triconFail(kTriconGouge);
  const double h = std::fabs(z - v.z);
  if (h > R) return 0;
  if (h == R) return 1;
  return triconCircleCut(v.x, v.y, std::sqrt(R * R - h * h), circle, z, out1, out2);
}

int triconRegulaFalsi(const Seg3D& edge, const TriconBracket& bracket, double R,
                      const Arc2D& circle, double z, double* out) {
  if (!(bracket.f1 * bracket.f2 < 0.0)) return 0;
  Point3D e{};
  if (!edgeDirection(edge, 0.0, &e) || !(bracket.t1 < bracket.t2)) return 0;
  const double m = 0.5 * (bracket.t1 + bracket.t2);
  const double cm = std::cos(m), sm = std::sin(m);
  auto f = [&](double t) {
    const double dt = t - m, h = 0.5 * dt * dt;
    const double c = cm - sm * dt - cm * h;
    const double s = sm + cm * dt - sm * h;
    return edgeFunction(Point3D{circle.cx + circle.radius * c, circle.cy + circle.radius * s, z},
                        edge.start, e, R);
  };
  double a = bracket.t1, b = bracket.t2, fa = bracket.f1, fb = bracket.f2;
  double t = a + fa * (b - a) / (fa - fb);
  int moved = 0;  // -1 the low end moved last, +1 the high end
  for (int step = 0; step < kTriconMaxSteps && b - a >= kTriconBracketMin; ++step) {
    t = a + fa * (b - a) / (fa - fb);
    if (!(a < t && t < b)) break;
    const double ft = f(t);
    if (ft == 0.0) break;
    if ((ft < 0.0) == (fa < 0.0)) {
      a = t;
      fa = ft;
      if (moved == -1) fb *= 0.5;
      moved = -1;
    } else {
      b = t;
      fb = ft;
      if (moved == 1) fa *= 0.5;
      moved = 1;
    }
  }
  if (!(t >= bracket.t1)) t = bracket.t1;  // a NaN estimate falls to the low end
  if (t > bracket.t2) t = bracket.t2;
  *out = t;
  return 1;
}

int triconBallEdge(const Seg3D& edge, double R, const Arc2D& circle, double z, Point3D* out1,
                   Point3D* out2, Point3D* out3, Point3D* out4) {
  Point3D* out[4] = {out1, out2, out3, out4};
  if (std::fmax(edge.start.z, edge.end.z) < z - R) return 0;
  Point3D e{};
  if (!edgeDirection(edge, 1e-6, &e)) return 0;
  if (edge.end.z - edge.start.z == 0.0) return ballEdgeHorizontal(edge, R, circle, z, out);

  const double r = circle.radius;
  double f[32];
  int lowest = 0;
  double fmin = 0, fmax = 0;
  for (int k = 0; k < 32; ++k) {
    const Point3D p{circle.cx + r * TriconDirections[k].x, circle.cy + r * TriconDirections[k].y,
                    z};
    f[k] = edgeFunction(p, edge.start, e, R);
    if (k == 0 || f[k] < fmin) {
      fmin = f[k];
      lowest = k;
    }
    if (k == 0 || f[k] > fmax) fmax = f[k];
  }
  if (fmax < 0.0) {
    // The whole step circle lies within R of the edge's line.
    const Point3D p{circle.cx + r * TriconDirections[lowest].x,
                    circle.cy + r * TriconDirections[lowest].y, z};
    Point3D foot{};
    return geoFootOnSeg3D(p, edge, &foot) == 1 ? triconFail(kTriconGouge) : 0;
  }
  if (fmin > 0.0) return 0;
  if (!(fmin <= fmax)) return 0;  // not-a-number samples

  // Roots in ascending angle: a zero sample at its own angle, then the sign change after it.
  int n = 0;
  auto root = [&](double t) {
    if (n < 4) *out[n] = Point3D{circle.cx + r * std::cos(t), circle.cy + r * std::sin(t), z};
    ++n;
  };
  for (int k = 0; k < 32; ++k) {
    const int next = (k + 1) % 32;
    if (f[k] == 0.0) root(k * std::numbers::pi / 16);
    const TriconBracket bracket{k * std::numbers::pi / 16, (k + 1) * std::numbers::pi / 16, f[k],
                                f[next]};
    double t = 0;
    if (triconRegulaFalsi(edge, bracket, R, circle, z, &t) == 1) root(t);
  }
  return n < 4 ? n : 4;
}

// ---- torus --------------------------------------------------------------------------------

int triconTorusFace(const Tri3D& tri, double rc, double c, const Arc2D& circle, double z,
                    Point3D* out1, Point3D* out2) {
  double nx = 0, ny = 0, nz = 0, d = 0;
  if (geoTriPlane(tri, &nx, &ny, &nz, &d) != 1) return triconFail(kTriconNoPlane);
  const Point3D centre{circle.cx, circle.cy, z};
  const double D = std::fabs(nx * centre.x + ny * centre.y + nz * centre.z + d);
  if (D > rc + c + circle.radius) return 0;
  const int g = geoPlaneSide(centre, nx, ny, nz, d);
  if (g == 0) return 0;
  if (std::fabs(nz) > 0.999999) return std::fabs(D - c) < kTriconTangentTol ? 1 : 0;
  // The plane moved by c towards the centre, cut at z: nx x + ny y + k = 0; as a 2D line of unit
  // normal, moved by rc towards the centre in plan.
  const double k = nz * z + d - c * g;
  const double len = std::hypot(nx, ny);
  const double a = nx / len, b = ny / len, e = k / len;
  // Towards the centre's side of the face: the side of the moved line agrees with it unless the
  // centre lies nearer than c to the plane, where the line's own side would put the positions rc
  // into the face instead of rc out of it.
  return triconLineCut(a, b, e - g * rc, circle, z, out1, out2);
}

int triconTorusVertex(const Point3D& v, double rc, double c, const Arc2D& circle, double z,
                      Point3D* out1, Point3D* out2) {
  const double h = std::fabs(z - v.z);
  if (h > c) return 0;
  if (h >= c - kTriconTangentTol) return 1;
  return triconCircleCut(v.x, v.y, std::sqrt((c - h) * (c + h)) + rc, circle, z, out1, out2);
}

int triconEdgeAtZ(double radius, const Arc2D& circle, double z, const Seg3D& edge, Point3D* out1,
                  Point3D* out2) {
  const double dz = edge.end.z - edge.start.z;
  if (dz == 0.0) return 0;
  const double t = (z - edge.start.z) / dz;
  if (!(t >= 0.0 && t <= 1.0)) return 0;
  const double x = edge.start.x + t * (edge.end.x - edge.start.x);
  const double y = edge.start.y + t * (edge.end.y - edge.start.y);
  return triconCircleCut(x, y, radius, circle, z, out1, out2);
}

int triconTorusEdge(const Seg3D& edge, double rc, double c, const Arc2D& circle, double z,
                    Point3D* out1, Point3D* out2) {
  if (std::fabs(edge.end.x - edge.start.x) < kTriconTangentTol &&
      std::fabs(edge.end.y - edge.start.y) < kTriconTangentTol &&
      std::fabs(edge.end.z - edge.start.z) < kTriconTangentTol) {
    return 0;
  }
  if (std::fabs(c) < kTriconTangentTol) return triconEdgeAtZ(rc, circle, z, edge, out1, out2);
  if (edge.end.z == edge.start.z) {
    const double h = std::fabs(z - edge.start.z);
    if (h > c) return 0;
    if (h >= c - kTriconTangentTol) return 1;
  }
  Seg2D line1{}, line2{};
  Ellipse2D ell{};
  const int cut = geoCylinderCutZ(edge, c, z, &line1, &line2, &ell);
  const Point2D centre{circle.cx, circle.cy};
  if (cut == 3) {
    // In the ellipse's frame: the osculating circle at the point nearest the centre, grown by rc.
    const double ct = std::cos(ell.theta), st = std::sin(ell.theta);
    const double ux = centre.x - ell.cx, uy = centre.y - ell.cy;
    const Point2D local{ux * ct + uy * st, -ux * st + uy * ct};
    Arc2D osc{};
    if (geoEllipseOscCircle(ell, rc, local, &osc) != 1) return 0;
    return triconCircleCut(ell.cx + osc.cx * ct - osc.cy * st, ell.cy + osc.cx * st + osc.cy * ct,
                           osc.radius, circle, z, out1, out2);
  }
  if (cut != 1 && cut != 2) return 0;
  // Two lines (a horizontal edge): the one nearer the centre; a grazing cut gives one line. The
  // tube centres lie rc from it on the centre's side.
  const Seg2D& line =
      cut == 2 && geoDistToLine(centre, line2) < geoDistToLine(centre, line1) ? line2 : line1;
  double a = 0, b = 0, e = 0;
  if (geoLineEq(line, &a, &b, &e) != 1) return 0;
  const int s = geoLineSide(centre, a, b, e);
  if (s == 0) return 0;
  return triconLineCut(a, b, e - rc * s, circle, z, out1, out2);
}

// ---- solver sets --------------------------------------------------------------------------

namespace {

int ballFaceSlot(const Tri3D& tri, const TriconTool& tool, const Arc2D& circle, double z,
                 Point3D out[4]) {
  return triconBallFace(tri, tool.radius, circle, z, &out[0], &out[1]);
}
int ballFaceCheck(const Point3D& pos, const TriconTool&, const Tri3D& tri, Point3D* contact) {
  return geoPointInTri3D(pos, tri, contact);
}
int ballEdgeSlot(const Seg3D& edge, const TriconTool& tool, const Arc2D& circle, double z,
                 Point3D out[4]) {
  return triconBallEdge(edge, tool.radius, circle, z, &out[0], &out[1], &out[2], &out[3]);
}
int ballEdgeCheck(const Point3D& pos, const TriconTool&, const Seg3D& edge, Point3D* contact) {
  return geoFootOnSeg3D(pos, edge, contact);
}
int ballVertexSlot(const Point3D& v, const TriconTool& tool, const Arc2D& circle, double z,
                   Point3D out[4]) {
  return triconBallVertex(v, tool.radius, circle, z, &out[0], &out[1]);
}

int torusFaceSlot(const Tri3D& tri, const TriconTool& tool, const Arc2D& circle, double z,
                  Point3D out[4]) {
  return triconTorusFace(tri, tool.radius, tool.corner, circle, z, &out[0], &out[1]);
}
int torusFaceCheck(const Point3D& pos, const TriconTool& tool, const Tri3D& tri, Point3D* contact) {
  return geoOffsetFaceCut(pos, tool.radius, tool.corner, tri, contact) == 1 ? 1 : 0;
}
int torusEdgeSlot(const Seg3D& edge, const TriconTool& tool, const Arc2D& circle, double z,
                  Point3D out[4]) {
  return triconTorusEdge(edge, tool.radius, tool.corner, circle, z, &out[0], &out[1]);
}
int torusEdgeCheck(const Point3D& pos, const TriconTool& tool, const Seg3D& edge,
                   Point3D* contact) {
  return geoTorusEdgeContact(pos, tool.radius, tool.corner, edge, contact) == 1 ? 1 : 0;
}
int torusVertexSlot(const Point3D& v, const TriconTool& tool, const Arc2D& circle, double z,
                    Point3D out[4]) {
  return triconTorusVertex(v, tool.radius, tool.corner, circle, z, &out[0], &out[1]);
}

constexpr TriconSet kBallSet{ballFaceSlot, ballFaceCheck, ballEdgeSlot, ballEdgeCheck,
                             ballVertexSlot};
constexpr TriconSet kTorusSet{torusFaceSlot, torusFaceCheck, torusEdgeSlot, torusEdgeCheck,
                              torusVertexSlot};

}  // namespace

const TriconSet* triconSetFor(int cutterType) {
  if (cutterType == kCutterBall) return &kBallSet;
  if (cutterType == kCutterTorus) return &kTorusSet;
  return nullptr;
}

int triconCompareDouble(const void* a, const void* b) { return wcollCompareDouble(a, b); }
