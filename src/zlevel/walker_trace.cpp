// walker_trace.cpp - the walk of the tool-centre contour walker: radius control, failure recovery,
// closing, ending on the region's boundary and the joining of two half walks.
#include "zlevel/walker_trace.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <numbers>
#include <source_location>

#include "framework/messages.h"
#include "geometry/geo_error.h"
#include "geometry/kont2d.h"
#include "geometry/kont_region.h"
#include "geometry/plane_geo.h"
#include "geometry/tri_mesh.h"
#include "model/coll_candidates.h"
#include "model/cutter_shape.h"
#include "model/pko_map.h"
#include "model/wcoll_contact.h"
#include "zlevel/walker_step.h"

namespace {

constexpr const char* kModule = "Offs3d";
constexpr double kPi = std::numbers::pi;
constexpr double kTwoPi = 2.0 * std::numbers::pi;

// Smallest search radius, and the walk's largest radius for short step lengths.
constexpr double kMinRadius = 0.05;
// Failed searches in a row that trigger a rollback.
constexpr int kMaxFailures = 20;
// A turn sum over three joints above this means the walk spins: 4 pi + 0.1.
constexpr double kSpinTurnSum = 4.0 * std::numbers::pi + 0.1;
// Rollback counter at the start of a walk, and the last value that still allows one.
constexpr int kFirstRollback = 2;
constexpr int kLastRollback = 8;
// Closing: a found position this near the closing point closes at once; within kNearStartClose
// of it the walk closes while heading for it.
constexpr double kCloseAtOnce = 0.001;
constexpr double kNearStartClose = 0.1;
// A walk may take this many passes per unit of the region box's perimeter before it is taken to
// drift for ever: 50 passes per 0.05 of length.
constexpr double kPassesPerLength = 50.0 / 0.05;
// Smallest pass budget, for tiny or missing boxes.
constexpr double kMinPasses = 20000.0;
// Passes between two polls of the interrupt check.
constexpr int kBreakPollMask = 255;

struct WalkerState {
  Offs3dSearchFn search = offs3dNextPoint;
};
WalkerState gWalker;

int fail(int code, std::source_location at = std::source_location::current()) {
  return geoFail(code, kModule, at);
}

Point2D xy(const Point3D& p) { return Point2D{p.x, p.y}; }
Seg2D xySeg(const Seg3D& s) { return Seg2D{s.start.x, s.start.y, s.end.x, s.end.y}; }

// Moves the n segments at src down to dst with all their data.
void moveSegments(PkoList* list, int dst, int src, int n) {
  if (n <= 0 || dst == src) return;
  std::memmove(&list->segments[dst], &list->segments[src], sizeof(Seg3D) * n);
  std::memmove(&list->boxes[dst], &list->boxes[src], sizeof(PkoBox) * n);
  std::memmove(&list->vectors[dst], &list->vectors[src], sizeof(Point3D) * n);
  std::memmove(&list->ids[dst], &list->ids[src], sizeof(std::int32_t) * n);
  std::memmove(&list->kinds[dst], &list->kinds[src], sizeof(std::int32_t) * n);
}

// Gives segment i a new end point and updates its box.
void setSegmentEnd(PkoList* list, int i, const Point3D& end) {
  list->segments[i].end = end;
  pkoSegBox(list->segments[i], &list->boxes[i].min, &list->boxes[i].max);
}

// The pass budget of one walk: from the region's box, else the triangles' or the walls' box.
double passBudget(const CollCtx* ctx) {
  double w = 0.0, h = 0.0;
  if (ctx->region != nullptr && ctx->region->xmax >= ctx->region->xmin) {
    w = ctx->region->xmax - ctx->region->xmin;
    h = ctx->region->ymax - ctx->region->ymin;
  } else if (ctx->triangles != nullptr && ctx->triangles->count > 0) {
    w = ctx->triangles->xmax - ctx->triangles->xmin;
    h = ctx->triangles->ymax - ctx->triangles->ymin;
  } else if (ctx->walls != nullptr && ctx->walls->count > 0) {
    w = ctx->walls->xmax - ctx->walls->xmin;
    h = ctx->walls->ymax - ctx->walls->ymin;
  }
  const double budget = 2.0 * (w + h) * kPassesPerLength;
  return std::isfinite(budget) && budget > kMinPasses ? budget : kMinPasses;
}

// 1 when p lies inside the region (not outside it, not in an island); always 1 without region.
bool insideRegion(const CollCtx* ctx, const Point2D& p) {
  return ctx->region == nullptr || kontClassifyPoint(ctx->region, p) == 2;
}

// The state of one walk.
struct Walk {
  CollCtx* ctx;
  WalkTool* tool;
  WalkParams* params;
  SliceContext* slice;
  PkoList* list;
  int i0;
  int dir;
  double s0 = 0.0;  // largest radius at the start; the closing distance is 2 s0
  double s = 0.0, hs = 0.0, a0 = 0.0, r = 0.0;
  int failures = 0;
  int rollbacks = kFirstRollback;
  int hold = 0;
  bool retry = false;
  bool nearStart = false;
  double undoLength = 0.0, undoAngle = 0.0;  // the last undone corner
  Point2D U{}, Q{}, S{};
  Point3D centre{};

  int own() const { return list->count - i0; }

  // The step search at the current centre from prev with radius r.
  int search(const Point2D& prev, double radius, Point3D* point, Point3D* contact, int* id,
             int* kind) const {
    const StepCircle circle{prev.x, prev.y, centre.x, centre.y, radius, dir};
    const TriangleGridCell* triCell =
        params->triGrid != nullptr ? triGridCell(params->triGrid, centre.x, centre.y) : nullptr;
    const TriangleGridCell* wallCell =
        params->wallGrid != nullptr ? triGridCell(params->wallGrid, centre.x, centre.y) : nullptr;
    return gWalker.search(ctx, tool, params, triCell, wallCell, &circle, point, contact, id, kind);
  }

  void storeStartContact(const Point3D& point, const Point3D& contact, int id, int kind) {
    const int n = params->startContactCount;
    if (n < 0 || n >= kWalkStartContacts) return;
    params->startContactPoints[n] = point;
    params->startContactVectors[n] = contact;
    params->startContactKinds[n] = kind * dir;
    params->startContactIds[n] = id;
    params->startContactCount = n + 1;
  }

  int append(const Point2D& a, const Point2D& b, const Point3D& vector, int id, int kind) {
    const Seg3D seg{{a.x, a.y, params->z}, {b.x, b.y, params->z}};
    if (offs3dAppendStep(list, seg, vector, id, kind) != 1) return fail(kWalkNoMemory);
    return 1;
  }

  // Removes the last k segments of the walk (never earlier ones) and shortens the new last one
  // to 1 - 0.1 k of its length; U and Q become its start and new end.
  int rollback() {
    if (rollbacks > kLastRollback) return kWalkRollbacksOut;
    geoErrLog("rollback");
    const int k = ++rollbacks;
    if (own() <= k + 1) return kWalkRollbacksOut;
    list->count -= k;
    failures = 0;
    retry = false;
    const int last = list->count - 1;
    const Seg3D seg = list->segments[last];
    const double f = 1.0 - 0.1 * k;
    U = xy(seg.start);
    Q = Point2D{seg.start.x + f * (seg.end.x - seg.start.x),
                seg.start.y + f * (seg.end.y - seg.start.y)};
    setSegmentEnd(list, last, Point3D{Q.x, Q.y, params->z});
    return 1;
  }

  // After a sharp turn (angle below 3.1) at a corner whose leading segment is longer than
  // 0.125: the last two segments go and the walk holds its radius over the length of that
  // segment. The same corner is undone once only. Needs three segments of the walk.
  void undoSharp(double angle) {
    if (!(angle < 3.1) || own() < 3) return;
    const Seg3D& second = list->segments[list->count - 2];
    const double c = geoDist2D(xy(second.start), xy(second.end));
    if (c <= 0.125) return;
    if (std::fabs(undoLength - c + (undoAngle - angle)) < 0.00001) return;
    list->count -= 2;
    const Seg3D& last = list->segments[list->count - 1];
    U = xy(last.start);
    Q = xy(last.end);
    hold = static_cast<int>(std::floor(c / r)) + 1;
    undoLength = c;
    undoAngle = angle;
  }

  // The walk ends on the boundary with the step A to B, B outside the region. In the step loop a
  // boundary point near B also serves. Returns 2, 1 when the step is to be taken as inside
  // (parallel to the crossed mesh edge), or negative.
  int endOnBoundary(const Point2D& A, const Point2D& B, bool inLoop) {
    const Seg2D step{A.x, A.y, B.x, B.y};
    Point2D X{};
    bool found = false;
    const TriMesh* mesh = ctx->region != nullptr ? ctx->region->mesh : nullptr;
    int from = -1, to = -1, edge[2] = {-1, -1};
    if (mesh != nullptr && mesh->vertices != nullptr &&
        triWalkSegment(mesh, step, &from, &to, edge) == 1 && edge[0] >= 0 && edge[1] >= 0 &&
        edge[0] < mesh->vertices->count && edge[1] < mesh->vertices->count) {
      const Point2D& e0 = mesh->vertices->items[edge[0]];
      const Point2D& e1 = mesh->vertices->items[edge[1]];
      if (geoLineLineCut(step, Seg2D{e0.x, e0.y, e1.x, e1.y}, &X) == 0) return 1;
      found = true;
    }
    if (!found && ctx->region != nullptr && geoSegCutsKont(step, ctx->region, &X) == 1)
      found = true;
    if (!found && inLoop && ctx->region != nullptr && kontNearestPoint(B, ctx->region, &X) == 1 &&
        geoDist2D(X, B) <= 0.0001)
      found = true;
    if (!found) return fail(kWalkNoBoundary);
    const int contour = kontBoundaryAt(ctx->region, X);
    if (contour < -1) return fail(kWalkNoBoundary);
    const int state = list->joinState;
    list->joinState = 1;
    const int res = append(A, X, Point3D{0.0, 0.0, 0.0}, -2, contour);
    list->joinState = state;
    return res < 0 ? res : kWalkOnBoundary;
  }

  // A step from Q to F whose chord reaches deeper than the tolerance into the tool's offset: the
  // tool made smaller by the tolerance (radius, and the corner of a ball), moved from Q to F,
  // touches the model or a wall. Both ends touch with the full tool, so only the chord between
  // them can cut in: across a convex corner, or across an edge between two faces it does not
  // touch at either end. The turn limit alone lets a chord on an arc of radius R grow to about
  // 0.15 R, far deeper than the tolerance.
  bool chordTooDeep(const Point2D& F) const {
    const double tol = params->tolerance;
    if (!(tol > 0.0) || !(tool->radius > tol)) return false;  // no chord bound asked for
    WalkTool probe = *tool;
    probe.radius -= tol;
    if (probe.type == kCutterBall) probe.cornerRadius = probe.radius;
    WcollContact hit{};
    return wcollToolContact(ctx, &probe, params->z, Seg2D{Q.x, Q.y, F.x, F.y}, &hit) == kWcollHit;
  }

  int run();
};

int Walk::run() {
  s = params->step < 0.1 ? kMinRadius : params->step / 2.0;
  s0 = s;
  hs = s / 2.0;
  a0 = 0.05;
  r = kMinRadius;
  const double closeDist = 2.0 * s0;
  const Seg2D& ss = params->startSegment;
  centre = Point3D{ss.x2, ss.y2, params->z};
  Point2D prev{ss.x1, ss.y1};

  // First contact: where the approach meets the model; the sweep then starts on the far side of
  // that contact, so the second contact is the first position ahead in the walking sense.
  Point3D F{}, V{};
  int id = -1, kind = 0;
  int res = search(prev, r, &F, &V, &id, &kind);
  if (res < 0) return fail(res);
  if (res == 0) return fail(kWalkNoContact);
  storeStartContact(F, V, id, kind);
  {
    const double dx = centre.x - V.x, dy = centre.y - V.y;
    const double len = std::hypot(dx, dy);
    if (len > 1e-12)
      prev = Point2D{centre.x + kMinRadius * dx / len, centre.y + kMinRadius * dy / len};
  }
  const Point2D start{params->start.x, params->start.y};
  if (!insideRegion(ctx, start)) return fail(kWalkStartOutside);
  res = search(prev, r, &F, &V, &id, &kind);
  if (res < 0) return fail(res);
  if (res == 0) return 0;
  storeStartContact(F, V, id, kind);
  U = start;
  Q = xy(F);
  S = Q;
  if (!insideRegion(ctx, Q)) {
    const int b = endOnBoundary(U, Q, false);
    if (b != 1) return b;
  }

  const double budget = passBudget(ctx);
  Point2D last = Q;  // the last position found
  for (long pass = 0;; ++pass) {
    if ((pass & kBreakPollMask) == 0 && out3dCheckBreak() == 1) return fail(kWalkUserBreak);
    if (static_cast<double>(pass) > budget) return fail(kWalkRunsBack);
    if (!retry) {
      const double f = failures > 0 ? 1.0 / failures : 1.0;
      if (offs3dCircleCentre(params->z, U, Q, r, f, &centre) != 1) return fail(kWalkNoDirection);
    }
    res = search(Q, r, &F, &V, &id, &kind);
    if (res < 0) return fail(res);
    const bool found =
        res == 1 && !(std::fabs(F.x - Q.x) <= 0.00001 && std::fabs(F.y - Q.y) <= 0.00001 &&
                      std::fabs(F.z - params->z) <= 0.00001);
    if (!found) {
      ++failures;
      if (failures >= kMaxFailures || offs3dTurnSum(list, i0, -dir) > kSpinTurnSum) {
        if (rollback() != 1) return fail(kWalkStuck);
        failures = 0;
      } else {
        retry = true;
        centre.x = (centre.x + Q.x) / 2.0;
        centre.y = (centre.y + Q.y) / 2.0;
      }
    } else {
      retry = false;
      failures = 0;
      const Point2D Fp = xy(F);
      double angle = 0.0;
      geoAngleAtVertex(U, Q, Fp, dir, &angle);
      const double t = offs3dAngleLimit(s, r);
      bool outside = false;
      for (int q = 1; q <= 4 && !outside; ++q) {
        const double f = 0.25 * q;
        outside = !insideRegion(ctx, Point2D{Q.x + f * (Fp.x - Q.x), Q.y + f * (Fp.y - Q.y)});
      }
      const bool subChange =
          pass > 0 && collContactChangesSubModel(ctx, tool, params, slice, id, kind * dir) == 1;
      const bool realTurn = t <= angle && angle <= kTwoPi - t && !(std::fabs(angle - kPi) < t);
      if (r > kMinRadius && !realTurn && !outside && !subChange && chordTooDeep(Fp)) {
        r /= 2.0;  // a smooth turn, but the chord cuts too deep: a shorter step
        continue;
      }
      if (realTurn || outside || subChange) {
        if (r > kMinRadius) {
          r /= 2.0;
          continue;
        }
        if (outside) {
          const int b = endOnBoundary(Q, Fp, true);
          if (b != 1) return b;
        }
        const int state = list->joinState;
        if (subChange) list->joinState = 1;
        res = append(Q, Fp, V, id, kind * dir);
        list->joinState = state;
        if (res < 0) return res;
        U = Q;
        Q = Fp;
        undoSharp(angle);
      } else {
        if (append(Q, Fp, V, id, kind * dir) < 0) return kWalkNoMemory;
        U = Q;
        Q = Fp;
        const bool straight = std::fabs(angle - kPi) < a0 || angle < a0 || angle > kTwoPi - a0;
        if (straight && r <= hs) {
          if (hold > 0)
            --hold;
          else
            r *= 2.0;
        }
      }
      last = Fp;
    }

    // Closing.
    const double d = geoDist2D(last, S);
    if (d < kCloseAtOnce) {
      if (d > 1e-8 && append(last, S, V, id, kind * dir) < 0) return kWalkNoMemory;
      return kWalkClosed;
    }
    double ahead = 0.0;
    if (d <= closeDist && geoAngleAtVertex(U, Q, S, dir, &ahead) == 0 && ahead > kPi / 2.0 &&
        ahead < 1.5 * kPi) {
      nearStart = true;
      if (d <= kNearStartClose) {
        if (append(last, S, V, id, kind * dir) < 0) return kWalkNoMemory;
        return kWalkClosed;
      }
      s = kMinRadius;
      hs = kMinRadius / 2.0;
      r = kMinRadius;
      a0 = 0.0;
    }
    if (nearStart && d > closeDist && list->count > i0) {
      const Seg2D lastSeg = xySeg(list->segments[list->count - 1]);
      const int end = std::min(list->count - 2, i0 + 20);
      for (int i = i0; i < end; ++i)
        if (geoSegsCross(lastSeg, xySeg(list->segments[i])) == 1) return fail(kWalkSelfCross);
      nearStart = false;
      s = s0;
      hs = s0 / 2.0;
      a0 = 0.05;
    }
    const int n = own();
    if (n > 5 && n % 1000 == 0 && found) {
      const Seg3D probe{list->segments[list->count - 5].start,
                        list->segments[list->count - 4].start};
      if (geoNearSegFacing(list, i0, list->count - 5, probe, 0.01) == 1) return fail(kWalkRunsBack);
    }
  }
}

}  // namespace

void offs3dSetSearch(Offs3dSearchFn search) {
  gWalker.search = search != nullptr ? search : offs3dNextPoint;
}

void offs3dWalkResetState() { gWalker = WalkerState{}; }

int offs3dAppendStep(PkoList* list, const Seg3D& seg, const Point3D& vector, int id, int kind) {
  if (list == nullptr) return -1;
  const double move = std::fabs(seg.end.x - seg.start.x) + std::fabs(seg.end.y - seg.start.y);
  if (move <= 0.00001 && list->count > 0 && list->joinState != 1) {
    const int i = list->count - 1;
    setSegmentEnd(list, i, seg.end);
    list->vectors[i] = vector;
    list->ids[i] = id;
    list->kinds[i] = kind;
    return 1;
  }
  return pkoListAppend(list, seg, vector, id, kind) >= 0 ? 1 : -1;
}

int offs3dCircleCentre(double z, const Point2D& U, const Point2D& Q, double r, double f,
                       Point3D* out) {
  const double dx = Q.x - U.x, dy = Q.y - U.y;
  const double len = std::hypot(dx, dy);
  if (len < 0.00001) return kWalkNoDirection;
  *out = Point3D{Q.x + r * f * dx / len, Q.y + r * f * dy / len, z};
  return 1;
}

double offs3dAngleLimit(double s, double r) {
  if (!(std::fabs(kMinRadius - s) > 1e-12)) return 0.2;
  const double t = 0.2 + (r - kMinRadius) * 0.1 / (kMinRadius - s);
  return std::fmin(0.2, std::fmax(0.1, t));
}

double offs3dTurnSum(const PkoList* list, int i0, int sense) {
  if (list == nullptr || list->count - i0 < 6) return 0.0;
  double sum = 0.0;
  for (int j = list->count - 3; j < list->count; ++j) {
    const Seg3D& a = list->segments[j - 1];
    const Seg3D& b = list->segments[j];
    double angle = 0.0;
    geoAngleAtVertex(xy(a.start), xy(a.end), xy(b.end), sense, &angle);
    sum += angle;
  }
  return sum;
}

int offs3dCheckSelfCross(int from, const SliceContext* context) {
  if (context == nullptr || context->traced == nullptr) return 1;
  const PkoList* list = context->traced;
  for (int i = std::max(from, 0); i <= list->count - 3; ++i) {
    const PkoBox& bi = list->boxes[i];
    const Seg2D si = xySeg(list->segments[i]);
    const int last = std::min(i + 6, list->count - 2);
    for (int j = i + 2; j <= last; ++j) {
      const PkoBox& bj = list->boxes[j];
      if (bi.max.x < bj.min.x || bj.max.x < bi.min.x || bi.max.y < bj.min.y || bj.max.y < bi.min.y)
        continue;
      const Seg2D sj = xySeg(list->segments[j]);
      if (geoSegsCross(si, sj) != 1) continue;
      if (geoPtsClose(Point2D{si.x1, si.y1}, Point2D{sj.x2, sj.y2}, 0.001) == 1 ||
          geoPtsClose(Point2D{si.x2, si.y2}, Point2D{sj.x1, sj.y1}, 0.001) == 1)
        continue;
      geoErrLog("neuer Versuch ");
      return fail(kWalkSelfCross);
    }
  }
  return 1;
}

int offs3dStartContact(const WalkParams* params, const Point3D& p, Point3D* vector, int* id,
                       int* kind) {
  const int n = std::min(params->startContactCount, kWalkStartContacts);
  for (int i = 0; i < n; ++i) {
    const Point3D& q = params->startContactPoints[i];
    if (std::fabs(q.x - p.x) <= 1e-6 && std::fabs(q.y - p.y) <= 1e-6 &&
        std::fabs(q.z - p.z) <= 1e-6) {
      *vector = params->startContactVectors[i];
      *id = params->startContactIds[i];
      *kind = params->startContactKinds[i];
      return 1;
    }
  }
  *vector = Point3D{0.0, 0.0, 0.0};
  *id = -1;
  *kind = 0;
  return 0;
}

int offs3dWalk(CollCtx* ctx, WalkTool* tool, WalkParams* params, SliceContext* context) {
  if (ctx == nullptr || tool == nullptr || params == nullptr || context == nullptr ||
      context->traced == nullptr)
    return fail(kGeoBadArgument);
  Walk walk{ctx,
            tool,
            params,
            context,
            context->traced,
            context->traced->count,
            params->direction < 0 ? -1 : 1};
  const int res = walk.run();
  if (res < 0) return res;
  const int cross = offs3dCheckSelfCross(walk.i0, context);
  return cross < 0 ? cross : res;
}

namespace {

// Appends the segments [from, to) again in reverse order, each from its end to its start with
// the contact data of the segment before it and the negated kind; the segment `from` takes the
// start contact at its start point, its kind with the sign of dir.
int appendReversed(PkoList* list, const WalkParams* params, int from, int to, int dir) {
  for (int i = to - 1; i >= from; --i) {
    const Seg3D seg = list->segments[i];
    const Seg3D rev{seg.end, seg.start};
    Point3D vector{};
    int id = -1, kind = 0;
    if (i > from) {
      vector = list->vectors[i - 1];
      id = list->ids[i - 1];
      kind = -list->kinds[i - 1];
    } else {
      offs3dStartContact(params, seg.start, &vector, &id, &kind);
      kind = kind == 0 ? 0 : std::abs(kind) * dir;
    }
    if (pkoListAppend(list, rev, vector, id, kind) < 0) return fail(kWalkNoMemory);
  }
  return 1;
}

int traceHalves(CollCtx* ctx, WalkTool* tool, WalkParams* params, SliceContext* context, int i0) {
  PkoList* list = context->traced;
  const int r1 = offs3dWalk(ctx, tool, params, context);
  if (r1 < 0) return r1;
  if (r1 == kWalkClosed) return kWalkClosed;

  const int i1 = list->count;
  const int dir = params->direction;
  params->direction = -dir;
  const int r2 = offs3dWalk(ctx, tool, params, context);
  params->direction = dir;
  if (r2 < 0 && r2 != kWalkStartOutside) return r2;
  list->joinState = 1;
  const int sense = dir < 0 ? -1 : 1;

  if (r2 == kWalkClosed) {
    const int i2 = list->count;
    if (appendReversed(list, params, i1, i2, sense) < 0) return kWalkNoMemory;
    const int n = list->count - i2;
    moveSegments(list, i0, i2, n);
    list->count = i0 + n;
    pkoListUpdateBoxes(list);
    return kWalkClosed;
  }
  if (r2 == kWalkStartOutside) {
    list->count = i1;  // the failed reverse walk leaves the first piece as it was
    return kWalkOnBoundary;
  }
  const int i2 = list->count;
  if (i2 > i1) {
    if (appendReversed(list, params, i1, i2, sense) < 0) return kWalkNoMemory;
    if (i1 > i0) {
      const Point3D from = list->segments[list->count - 1].end;
      const Point3D to = list->segments[i0].start;
      Point3D vector{};
      int id = -1, kind = 0;
      offs3dStartContact(params, to, &vector, &id, &kind);
      if (pkoListAppend(list, Seg3D{from, to}, vector, id, kind) < 0) return fail(kWalkNoMemory);
      for (int i = i0; i < i1; ++i) {
        const Seg3D seg = list->segments[i];
        if (pkoListAppend(list, seg, list->vectors[i], list->ids[i], list->kinds[i]) < 0)
          return fail(kWalkNoMemory);
      }
    }
    const int n = list->count - i2;
    moveSegments(list, i0, i2, n);
    list->count = i0 + n;
    pkoListUpdateBoxes(list);
  }
  return kWalkOnBoundary;
}

}  // namespace

int offs3dTrace(CollCtx* ctx, WalkTool* tool, WalkParams* params, SliceContext* context) {
  if (ctx == nullptr || tool == nullptr || params == nullptr || context == nullptr ||
      context->traced == nullptr)
    return fail(kGeoBadArgument);
  PkoList* list = context->traced;
  params->startContactCount = 0;
  const int i0 = list->count;
  const int res = traceHalves(ctx, tool, params, context, i0);
  if (res > 0 && params->mode == 1) pkoMapTriangleIndices(ctx, tool, params, context, i0);
  list->prevJoinState = list->joinState;
  list->joinState = 0;
  return res;
}
