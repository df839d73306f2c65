// wcoll_contact.cpp - the one-Z contact searches of the ball, the torus and the flat end mill,
// their element tests and the allowance tables.
// Every search runs in one frame: the move's line equation for the plan rejections, the current
// candidate and its squared plan distance from the start. The height and plan-distance
// rejections skip most triangles before any element test, because these searches run for every
// step of the contour walker.
#include "model/wcoll_contact.h"

#include <algorithm>
#include <cmath>

#include "geometry/geo_error.h"
#include "geometry/kont_region.h"
#include "geometry/plane_geo.h"
#include "geometry/space_geo.h"
#include "model/surface_model.h"

namespace {

constexpr const char* kModule = "wcoll2ddetect";

// Added to the tool radius by the dispatcher for the ball and the torus, so that a position
// exactly at the tool radius counts as touching.
constexpr double kRadiusMargin = 1e-6;

struct WcollState {
  const RecList* triAllowances = nullptr;
  const RecList* segAllowances = nullptr;
};
WcollState wcollState;

double allowanceAt(const RecList* table, int i) {
  if (table == nullptr || table->items == nullptr || i < 0 || i >= table->count) return 0.0;
  return static_cast<const PtrValPair*>(table->items)[i].value;
}

Point3D at(const Point2D& p, double z) { return Point3D{p.x, p.y, z}; }

// The search state shared by the ball, torus and wall searches.
struct Frame {
  Seg2D move{};
  Point2D s{};
  Point2D e{};
  double z = 0.0;
  double la = 0.0, lb = 0.0, lc = 0.0;  // the move's line, positive to its right
  double best = 0.0;                    // squared plan distance of the candidate from s
  bool taken = false;
  Point2D centre{};
  Point3D touch{};
  int element = 0;
  int kind = 0;

  // False when the move has no line equation (shorter than 1e-12).
  bool init(const Seg2D& m, double height) {
    move = m;
    s = g2dSegStart(m);
    e = g2dSegEnd(m);
    z = height;
    best = geoDist2DSq(s, e);
    return geoLineEq(m, &la, &lb, &lc) == 1;
  }
  double side(double x, double y) const { return la * x + lb * y + lc; }
  bool nearer(const Point2D& p) const { return geoDist2DSq(s, p) < best; }
  bool onMove(const Point2D& p) const { return geoOnSegFine(p, move) == 1; }
  void take(const Point2D& p, const Point3D& t, int elem, int k) {
    best = geoDist2DSq(s, p);
    taken = true;
    centre = p;
    touch = t;
    element = elem;
    kind = k;
  }
  int result(const Kont2D* region) const {
    if (!taken) return kWcollNone;
    if (kind == kWcollKindCrossing) return kWcollRegion;
    if (region != nullptr && kontClassifyPoint(region, centre) != 2) return kWcollRegion;
    return kWcollHit;
  }
};

// Crossings of the move with every contour of the region (outer contour, then its islands).
// A crossing within kWcollStartTolSq of the start is the contour the move starts on.
void regionCrossings(Frame& f, const Kont2D* region) {
  for (const Kont2D* k = region; k != nullptr; k = kontWalkNext(region, k)) {
    if (k->segments == nullptr) continue;
    for (int j = 0; j < k->count; ++j) {
      const Seg2D& seg = k->segments[j];
      Point2D p{};
      if (geoLineLineCut(f.move, seg, &p) != 1) continue;
      const double d = geoDist2DSq(f.s, p);
      if (!(d < f.best) || d <= kWcollStartTolSq) continue;
      if (!f.onMove(p) || geoOnSegFine(p, seg) != 1) continue;
      f.take(p, at(p, f.z), j, kWcollKindCrossing);
    }
  }
}

// The wall segments as one more element of the ball and torus searches (base radius, no region).
void wallsAsElement(Frame& f, const Kont2D* walls, double radius) {
  if (walls == nullptr || walls->count <= 0) return;
  Seg2D seg{};
  Point2D touch{};
  int element = 0, kind = 0;
  if (wcollWallContact(walls, nullptr, radius, f.move, &seg, &touch, &element, &kind) < 1) return;
  const Point2D p = g2dSegEnd(seg);
  const double d = geoDist2DSq(f.s, p);
  if (d < f.best && d > kWcollStartTolSq) f.take(p, at(touch, f.z), element, kWcollKindWall);
}

// Height and plan rejection of a triangle: all corners below z - depth, or farther than reach
// right of the move's line, or farther than left left of it.
bool rejected(const Frame& f, const Tri3D& t, double depth, double reach, double left) {
  const double zlo = f.z - depth;
  if (t.v[0].z < zlo && t.v[1].z < zlo && t.v[2].z < zlo) return true;
  const double d0 = f.side(t.v[0].x, t.v[0].y);
  const double d1 = f.side(t.v[1].x, t.v[1].y);
  const double d2 = f.side(t.v[2].x, t.v[2].y);
  if (d0 > reach && d1 > reach && d2 > reach) return true;
  return d0 < -left && d1 < -left && d2 < -left;
}

// The crossing of the move's line with the circle (cx, cy, rho) nearer to the start.
int nearerCircleCut(const Seg2D& move, double cx, double cy, double rho, Point2D* out) {
  Arc2D circle{};
  circle.cx = cx;
  circle.cy = cy;
  circle.radius = rho;
  Point2D p1{}, p2{};
  if (geoSegCircleCut(move, circle, &p1, &p2) != 2) return 0;
  const Point2D s = g2dSegStart(move);
  *out = geoDist2DSq(s, p1) <= geoDist2DSq(s, p2) ? p1 : p2;
  return 1;
}

int writeOutputs(const Frame& f, const Kont2D* region, Seg3D* outSegment, Point3D* outTouch,
                 int* outElement, int* outKind) {
  geoSeg3From2D(outSegment, f.move, f.z, f.z);
  if (!f.taken) return kWcollNone;
  outSegment->end = at(f.centre, f.z);
  *outTouch = f.touch;
  *outElement = f.element;
  *outKind = f.kind;
  return f.result(region);
}

// The edges in the order the searches test them: (V0, V1), (V0, V2), (V1, V2).
constexpr int kEdgeEnds[3][2] = {{0, 1}, {0, 2}, {1, 2}};

}  // namespace

// ---- element tests ----------------------------------------------------------------------------

int wcollBallVertex(const Point3D& v, double r, const Seg2D& move, double z, Point2D* out) {
  if (out == nullptr) return 0;
  const double dz = z - v.z;
  if (std::fabs(dz) > r) return 0;
  if (dz == r) {  // the ball rests on the vertex
    *out = Point2D{v.x, v.y};
    return 1;
  }
  return nearerCircleCut(move, v.x, v.y, std::sqrt(r * r - dz * dz), out);
}

int wcollBallFace(const Tri3D& tri, double r, const Seg2D& move, double z, Point2D* out) {
  if (out == nullptr) return 0;
  double a = 0.0, b = 0.0, c = 0.0, d = 0.0;
  if (geoTriPlane(tri, &a, &b, &c, &d) != 1) return 0;
  const Point3D s{move.x1, move.y1, z};
  const int side = geoPlaneSide(s, a, b, c, d);
  if (side == 0) return 0;
  Point3D p{};
  if (geoLinePlaneCut(a, b, c, d - side * r, Seg3D{s, Point3D{move.x2, move.y2, z}}, &p) != 1) {
    return 0;
  }
  *out = Point2D{p.x, p.y};
  return 1;
}

int wcollBallEdge(const Point3D& a, const Point3D& b, double r, const Seg2D& move, double z,
                  Point2D* out) {
  const double ux = b.x - a.x, uy = b.y - a.y, uz = b.z - a.z;
  const double uu = ux * ux + uy * uy + uz * uz;
  if (uu < 1e-6) return -1;
  if (out == nullptr) return 0;
  // Centre P(mu) = s + mu (e - s) at height z; w = P - a = w0 + mu d. The squared distance from
  // the edge's line, |w|^2 - (w.u)^2 / |u|^2, equals r^2: a quadratic in mu.
  const double dx = move.x2 - move.x1, dy = move.y2 - move.y1;
  const double wx = move.x1 - a.x, wy = move.y1 - a.y, wz = z - a.z;
  const double du = dx * ux + dy * uy;
  const double wu = wx * ux + wy * uy + wz * uz;
  const double qa = dx * dx + dy * dy - du * du / uu;
  const double qb = 2.0 * (wx * dx + wy * dy) - 2.0 * wu * du / uu;
  const double qc = wx * wx + wy * wy + wz * wz - wu * wu / uu - r * r;
  double m1 = 0.0, m2 = 0.0;
  const int roots = geoSolveQuadratic(qa, qb, qc, &m1, &m2);
  double mu = 0.0;
  if (roots == 2) {
    mu = std::min(m1, m2);
  } else if (roots == 1) {
    mu = m1;
  } else {
    return 0;
  }
  *out = Point2D{move.x1 + mu * dx, move.y1 + mu * dy};
  return 1;
}

int wcollTorusVertex(const Point3D& v, double rc, double c, const Seg2D& move, double z,
                     Point2D* out) {
  if (out == nullptr) return 0;
  const double dz = z - v.z;
  if (std::fabs(dz) > c) return 0;
  return nearerCircleCut(move, v.x, v.y, std::sqrt(c * c - dz * dz) + rc, out);
}

int wcollTorusFace(const Tri3D& tri, double rc, double c, const Seg2D& move, double z,
                   Point2D* out) {
  if (out == nullptr) return 0;
  double nx = 0.0, ny = 0.0, nz = 0.0, d = 0.0;
  if (geoTriPlane(tri, &nx, &ny, &nz, &d) != 1) return 0;
  const double mx = move.x2 - move.x1, my = move.y2 - move.y1;
  if (std::fabs(nx * mx + ny * my) < 0.001) return 0;  // along the plane's level lines
  const int side = geoPlaneSide(Point3D{move.x1, move.y1, z}, nx, ny, nz, d);
  if (side == 0) return 0;
  // Trace of the plane moved by c toward the start, at height z, as a unit line in plan.
  const double len = std::hypot(nx, ny);
  const double la = nx / len, lb = ny / len, lc = (nz * z + d - side * c) / len;
  const double ds = la * move.x1 + lb * move.y1 + lc;
  if (ds == 0.0) return 0;
  const double lc2 = lc - (ds > 0.0 ? rc : -rc);  // moved by rc toward the start
  const double mu = -(la * move.x1 + lb * move.y1 + lc2) / (la * mx + lb * my);
  *out = Point2D{move.x1 + mu * mx, move.y1 + mu * my};
  return 1;
}

int wcollTorusEdge(const Point3D& a, const Point3D& b, double rc, double c, const Seg2D& move,
                   double z, Point2D* out) {
  if (vecDistance(a, b) < 1e-12) return -10;
  if (out == nullptr) return 0;
  Seg2D line1{}, line2{};
  Ellipse2D ellipse{};
  const Point2D s = g2dSegStart(move);
  const int cut = geoCylinderCutZ(Seg3D{a, b}, c, z, &line1, &line2, &ellipse);
  if (cut == 3) {
    Point2D p1{}, p2{};
    const int n = geoSegEllipseCut(move, ellipse, rc, &p1, &p2);
    if (n == 1) {
      *out = p1;
      return 1;
    }
    if (n == 2) {
      *out = geoDist2DSq(s, p1) <= geoDist2DSq(s, p2) ? p1 : p2;
      return 1;
    }
    return 0;
  }
  if (cut != 2) return 0;
  bool found = false;
  for (const Seg2D& line : {line1, line2}) {
    Point2D n{};
    if (g2dSegNormal(line, &n, 1) != 1) continue;
    const double ds = (s.x - line.x1) * n.x + (s.y - line.y1) * n.y;
    if (ds == 0.0) continue;
    const double shift = ds > 0.0 ? rc : -rc;
    const Seg2D moved{line.x1 + shift * n.x, line.y1 + shift * n.y, line.x2 + shift * n.x,
                      line.y2 + shift * n.y};
    Point2D p{};
    if (geoLineLineCut(move, moved, &p) != 1) continue;
    if (!found || geoDist2DSq(s, p) < geoDist2DSq(s, *out)) *out = p;
    found = true;
  }
  return found ? 1 : 0;
}

// ---- searches ---------------------------------------------------------------------------------

namespace {

// The common frame of the ball and torus searches: every triangle goes to the element tests of
// the tool with its allowance, then the region's contours and the walls are tested.
template <class TriangleTests>
int triangleSearch(const Tri3List* triangles, const Kont2D* walls, const Kont2D* region,
                   double radius, const Seg2D& move, double z, Seg3D* outSegment, Point3D* outTouch,
                   int* outElement, int* outKind, TriangleTests tests) {
  if (outSegment == nullptr || outTouch == nullptr || outElement == nullptr || outKind == nullptr) {
    return geoFail(kWcollBadTool, kModule);
  }
  Frame f;
  if (!f.init(move, z)) return writeOutputs(f, region, outSegment, outTouch, outElement, outKind);
  const int count = triangles != nullptr && triangles->items != nullptr ? triangles->count : 0;
  const RecList* table = wcollState.triAllowances;
  for (int i = 0; i < count; ++i) tests(f, triangles->items[i], i, allowanceAt(table, i));
  regionCrossings(f, region);
  wallsAsElement(f, walls, radius);
  return writeOutputs(f, region, outSegment, outTouch, outElement, outKind);
}

}  // namespace

int wcollContactBall(const Tri3List* triangles, const Kont2D* walls, const Kont2D* region,
                     double radius, const Seg2D& move, double z, Seg3D* outSegment,
                     Point3D* outTouch, int* outElement, int* outKind) {
  auto tests = [radius, &move, z](Frame& f, const Tri3D& t, int i, double allowance) {
    const double ri = radius + allowance;
    if (rejected(f, t, radius, ri, radius)) return;
    Point2D p{};
    Point3D touch{};
    if (wcollBallFace(t, ri, move, z, &p) == 1 && f.nearer(p) && f.onMove(p) &&
        geoPointInTri3D(at(p, z), t, &touch) == 1) {
      f.take(p, touch, i, kWcollKindFace);
    }
    for (const auto& ends : kEdgeEnds) {
      const Point3D& a = t.v[ends[0]];
      const Point3D& b = t.v[ends[1]];
      if (wcollBallEdge(a, b, ri, move, z, &p) == 1 && f.nearer(p) && f.onMove(p) &&
          geoFootOnSeg3D(at(p, z), Seg3D{a, b}, &touch) == 1) {
        f.take(p, touch, i, kWcollKindEdge);
      }
    }
    for (const Point3D& v : t.v) {
      if (wcollBallVertex(v, ri, move, z, &p) == 1 && f.nearer(p) && f.onMove(p)) {
        f.take(p, v, i, kWcollKindVertex);
      }
    }
  };
  return triangleSearch(triangles, walls, region, radius, move, z, outSegment, outTouch, outElement,
                        outKind, tests);
}

int wcollContactTorus(const Tri3List* triangles, const Kont2D* walls, const Kont2D* region,
                      double radius, double corner, const Seg2D& move, double z, Seg3D* outSegment,
                      Point3D* outTouch, int* outElement, int* outKind) {
  auto tests = [radius, corner, &move, z](Frame& f, const Tri3D& t, int i, double allowance) {
    const double ri = radius + allowance;
    const double ci = corner + allowance;
    const double rc = ri - ci;  // the tube-centre circle keeps its radius under an allowance
    if (rejected(f, t, corner, ri, radius)) return;
    Point2D p{};
    Point3D touch{};
    if (wcollTorusFace(t, rc, ci, move, z, &p) == 1 && f.nearer(p) && f.onMove(p) &&
        geoOffsetFaceCut(at(p, z), rc, ci, t, &touch) == 1) {
      f.take(p, touch, i, kWcollKindFace);
    }
    for (const auto& ends : kEdgeEnds) {
      const Point3D& a = t.v[ends[0]];
      const Point3D& b = t.v[ends[1]];
      if (wcollTorusEdge(a, b, rc, ci, move, z, &p) == 1 && f.nearer(p) && f.onMove(p) &&
          geoTorusEdgeContact(at(p, z), rc, ci, Seg3D{a, b}, &touch) == 1) {
        f.take(p, touch, i, kWcollKindEdge);
      }
    }
    for (const Point3D& v : t.v) {
      if (wcollTorusVertex(v, rc, ci, move, z, &p) == 1 && f.nearer(p) && f.onMove(p)) {
        f.take(p, v, i, kWcollKindVertex);
      }
    }
  };
  return triangleSearch(triangles, walls, region, radius, move, z, outSegment, outTouch, outElement,
                        outKind, tests);
}

int wcollWallContact(const Kont2D* walls, const Kont2D* region, double r0, const Seg2D& move,
                     Seg2D* outSegment, Point2D* outTouch, int* outElement, int* outKind) {
  if (outSegment == nullptr || outTouch == nullptr || outElement == nullptr || outKind == nullptr) {
    return geoFail(kWcollBadTool, kModule);
  }
  *outSegment = move;
  Frame f;
  if (!f.init(move, 0.0)) return kWcollNone;
  const int count = walls != nullptr && walls->segments != nullptr ? walls->count : 0;
  const RecList* table = wcollState.segAllowances;
  for (int k = 0; k < count; ++k) {
    const Seg2D& w = walls->segments[k];
    const double r = r0 + allowanceAt(table, k);
    const double dA = f.side(w.x1, w.y1), dB = f.side(w.x2, w.y2);
    if ((dA > r && dB > r) || (dA < -r0 && dB < -r0)) continue;
    // Side: the wall's line moved by r toward the start, cut with the move's line.
    double wa = 0.0, wb = 0.0, wc = 0.0;
    if (geoLineEq(w, &wa, &wb, &wc) == 1) {
      const double ds = wa * f.s.x + wb * f.s.y + wc;
      if (ds != 0.0) {
        const double shift = ds > 0.0 ? r : -r;  // along (wa, wb), toward the start
        const Seg2D moved{w.x1 + shift * wa, w.y1 + shift * wb, w.x2 + shift * wa,
                          w.y2 + shift * wb};
        Point2D p{};
        if (geoLineLineCut(move, moved, &p) == 1) {
          // The foot of p on the wall's line, and the sides of the move's end and of that foot
          // against the moved line (the foot lies beyond it, seen from the start).
          const double dp = wa * p.x + wb * p.y + wc;
          const Point2D foot{p.x - dp * wa, p.y - dp * wb};
          const double movedC = wc - shift;
          const double sideEnd = wa * f.e.x + wb * f.e.y + movedC;
          const double sideFoot = wa * foot.x + wb * foot.y + movedC;
          const bool endBeyondStart = sideEnd * sideFoot < 0.0;
          if (!endBeyondStart && f.onMove(p) && geoOnSegFine(foot, w) == 1 && f.nearer(p)) {
            f.take(p, at(foot, 0.0), k, kWcollKindEdge);
          }
        }
      }
    }
    // End points within r of the move's line: the entry into the circle of radius r about them.
    for (const Point2D b : {g2dSegStart(w), g2dSegEnd(w)}) {
      if (std::fabs(f.side(b.x, b.y)) > r) continue;
      Arc2D circle{};
      circle.cx = b.x;
      circle.cy = b.y;
      circle.radius = r;
      Point2D cuts[2] = {};
      if (geoSegCircleCut(move, circle, &cuts[0], &cuts[1]) != 2) continue;
      const double mx = f.e.x - f.s.x, my = f.e.y - f.s.y;
      for (const Point2D& p : cuts) {
        const bool ahead = (b.x - p.x) * mx + (b.y - p.y) * my > 0.0;
        if (f.nearer(p) && geoProjInSeg(move, p) == 1 && ahead) {
          f.take(p, at(b, 0.0), k, kWcollKindFace);
        }
      }
    }
  }
  regionCrossings(f, region);
  if (!f.taken) return kWcollNone;
  outSegment->x2 = f.centre.x;
  outSegment->y2 = f.centre.y;
  *outTouch = Point2D{f.touch.x, f.touch.y};
  *outElement = f.element;
  *outKind = f.kind;
  return f.result(region);
}

int wcollToolContact(const CollCtx* ctx, const WalkTool* tool, double z, const Seg2D& move,
                     WcollContact* out) {
  if (ctx == nullptr || tool == nullptr || out == nullptr) return geoFail(kWcollBadTool, kModule);
  switch (tool->type) {
    case kCutterBall:
      return wcollContactBall(ctx->triangles, ctx->walls, ctx->region, tool->radius + kRadiusMargin,
                              move, z, &out->segment, &out->touch, &out->element, &out->kind);
    case kCutterTorus:
      return wcollContactTorus(ctx->triangles, ctx->walls, ctx->region,
                               tool->radius + kRadiusMargin, tool->cornerRadius, move, z,
                               &out->segment, &out->touch, &out->element, &out->kind);
    case kCutterFlat: {
      Seg2D seg{};
      Point2D touch{};
      const int r = wcollWallContact(ctx->walls, ctx->region, tool->radius, move, &seg, &touch,
                                     &out->element, &out->kind);
      geoSeg3From2D(&out->segment, seg, z, z);
      if (r > 0) geoPt3From2D(&out->touch, touch, z);
      return r;
    }
    default: return geoFail(kWcollBadTool, kModule);
  }
}

// ---- allowance tables -------------------------------------------------------------------------

int wcollSetTriAllowances(const RecList* table) {
  wcollState.triAllowances = table;
  return 1;
}
const RecList* wcollGetTriAllowances() { return wcollState.triAllowances; }
int wcollSetSegAllowances(const RecList* table) {
  wcollState.segAllowances = table;
  return 1;
}
const RecList* wcollGetSegAllowances() { return wcollState.segAllowances; }

void wcollResetState() { wcollState = WcollState{}; }
