// closed_paths.cpp - joining the open pieces of a level along the region's contours into closed
// paths, the check of the piece ends, and the extension of cut-off corners.
#include "zlevel/closed_paths.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <new>
#include <source_location>
#include <vector>

#include "framework/global_params.h"
#include "framework/messages.h"
#include "geometry/geo_error.h"
#include "geometry/kont2d.h"
#include "geometry/kont_region.h"
#include "geometry/plane_geo.h"
#include "geometry/tri_mesh.h"
#include "model/wcoll_contact.h"

namespace {

constexpr const char* kModule = "Arczpath";

// A piece whose start and end lie this far apart (2D) or more is open.
constexpr double kOpenPiece = 0.0001;
// A segment starts a new run when its start lies farther than this (3D) from the last end.
constexpr double kRunGap = 0.0001;
// A run continues a path when its first start lies within this (3D) of the path's end.
constexpr double kChainGap = 0.01;
// Fallback search: a piece end belongs to the first contour within this distance.
constexpr double kOnContour = 0.01;
// Squared distance below which two ends (or two starts) are the same.
constexpr double kSameEndsSq = 0.001;
// How far the paths may reach beyond the region's box.
constexpr double kBoxMargin = 1.0;
// Corner extension: the smallest outer angle (3 pi / 2 - 0.1), the largest squared distance of
// the intersection from the cut-off corner's ends, the smallest line determinant and the size of
// the probe tool.
constexpr double kCornerAngle = 4.61238898038469;
constexpr double kCornerReachSq = 0.04;
constexpr double kCornerDet = 0.01;
constexpr double kProbeScale = 0.99;
// Every this many refinements a line goes to the log.
constexpr long kRefineLogEvery = 100;

struct ClosingState {
  long refined = 0;
};
ClosingState gClosing;

int fail(int code, std::source_location at = std::source_location::current()) {
  return geoFail(code, kModule, at);
}

Point2D xy(const Point3D& p) { return Point2D{p.x, p.y}; }

double dist3(const Point3D& a, const Point3D& b) {
  return std::sqrt((a.x - b.x) * (a.x - b.x) + (a.y - b.y) * (a.y - b.y) +
                   (a.z - b.z) * (a.z - b.z));
}

// The contour of the region with index -1 (outer) or k (k-th island); null when there is none.
const Kont2D* contourAt(const Kont2D* region, int index) {
  if (index == -1) return region;
  if (index < -1) return nullptr;
  const Kont2D* k = region->child;
  for (int i = 0; k != nullptr && i < index; ++i) k = k->next;
  return k;
}

// The contour a piece end lies on, through the region's mesh: the boundary edge of the
// triangle containing p opposite its smallest barycentric value. -1 outer, k island, or -2.
int contourByMesh(const Kont2D* region, const Point2D& p) {
  const TriMesh* mesh = region->mesh;
  if (mesh == nullptr || mesh->boundaryEdges == nullptr) return -2;
  double l0 = 0.0, l1 = 0.0, l2 = 0.0;
  const int t = triLocate(mesh, p, &l0, &l1, &l2);
  if (t < 0 || t >= mesh->count) return -2;
  const TriMeshTri& tri = mesh->triangles[t];
  int nb = tri.nb2;
  if (l0 < l1 && l0 < l2)
    nb = tri.nb0;
  else if (l1 < l0 && l1 < l2)
    nb = tri.nb1;
  const int e = triFindBoundaryEdge(mesh, std::min(t, nb), std::max(t, nb));
  if (e < 0) return -2;
  const TriBoundaryEdge& edge = mesh->boundaryEdges->items[e];
  const Kont2D* k = contourAt(region, edge.contour);
  if (k == nullptr || edge.segment < 0 || edge.segment >= k->count) return -2;
  return geoOnSegFine(p, k->segments[edge.segment]) == 1 ? edge.contour : -2;
}

// The contour of a piece end: through the mesh, else the first contour within 0.01.
int contourOf(const Kont2D* region, const Point2D& p) {
  const int byMesh = contourByMesh(region, p);
  if (byMesh >= -1) return byMesh;
  int index = -1;
  for (const Kont2D* k = region; k != nullptr; k = kontWalkNext(region, k), ++index)
    if (kontPointNearContour(p, k, kOnContour) == 1) return index;
  return -2;
}

// Places the piece end p on its contour. Returns 1, or -202.
int placeOnContour(Kont2D* region, Point3D* p, PieceEnd* out) {
  Point2D q = xy(*p);
  const int contour = contourOf(region, q);
  if (contour < -1) return kClosedOffContour;
  Kont2D* k = const_cast<Kont2D*>(contourAt(region, contour));
  const double parameter = kontProjectPoint(k, &q);
  if (parameter < 0.0) return kClosedOffContour;
  k->closed = 2;
  p->x = q.x;
  p->y = q.y;
  *out = PieceEnd{q.x, q.y, parameter, contour};
  return 1;
}

bool endBefore(const PieceEnd& a, const PieceEnd& b) {
  if (a.contour != b.contour) return a.contour < b.contour;
  return a.parameter < b.parameter;
}

// The parameters of one contour's ends and starts in [g0, g1) read interleaved, ends first or
// starts first, increase strictly.
bool alternates(const PieceEnd* first, const PieceEnd* second, int g0, int g1, int contour) {
  double last = -1e300;
  for (int i = g0; i < g1; ++i) {
    for (const PieceEnd* e : {&first[i], &second[i]}) {
      if (e->contour != contour) continue;
      if (!(e->parameter > last)) return false;
      last = e->parameter;
    }
  }
  return true;
}

// Appends the segments of work's runs in chain order to traced and renews the piece starts.
int chainRuns(PkoList* work, PkoList* traced, IntList* pieceStarts, RecList* runs) {
  pkoListReset(traced);
  lstIntReset(pieceStarts);
  if (lstIntAppend(pieceStarts, 0) < 0) return fail(kGeoFailed);
  Rec8* run = static_cast<Rec8*>(runs->items);
  Point3D current = work->segments[0].start;
  while (runs->count > 0) {
    int pick = -1;
    for (int i = 0; i < runs->count && pick < 0; ++i)
      if (run[i].w[1] > run[i].w[0] &&
          dist3(work->segments[run[i].w[0]].start, current) <= kChainGap)
        pick = i;
    if (pick < 0) {
      pick = 0;
      if (lstIntAppend(pieceStarts, traced->count) < 0) return fail(kGeoFailed);
    }
    for (int i = run[pick].w[0]; i < run[pick].w[1]; ++i) {
      if (pkoListAdd(traced, work->segments[i], work->vectors[i], work->ids[i], work->kinds[i]) !=
          1)
        return fail(kGeoFailed);
      current = work->segments[i].end;
    }
    run[pick] = run[runs->count - 1];
    --runs->count;
  }
  return 1;
}

int closePieces(CollCtx* ctx, SliceContext* context, RecList* runs, std::vector<PieceEnd>& ends,
                std::vector<PieceEnd>& starts) {
  PkoList* traced = context->traced;
  PkoList* work = context->work;
  IntList* pieceStarts = context->pathStarts;
  Kont2D* region = ctx->region;

  pkoListReset(work);
  int runStart = 0;
  for (int i = 0; i < traced->count; ++i) {
    if (i > 0 && dist3(traced->segments[i].start, traced->segments[i - 1].end) > kRunGap) {
      if (lstRec8Append(runs, Rec8{{runStart, i}}) < 0) return fail(kGeoFailed);
      runStart = i;
    }
    if (pkoListAdd(work, traced->segments[i], traced->vectors[i], traced->ids[i],
                   traced->kinds[i]) != 1)
      return fail(kGeoFailed);
  }
  if (lstRec8Append(runs, Rec8{{runStart, traced->count}}) < 0) return fail(kGeoFailed);
  pkoListReset(traced);

  const int pieces = pieceStarts->count;
  for (int k = 0; k < pieces; ++k) {
    const int first = std::max(0, pieceStarts->items[k]);
    const int end = k + 1 < pieces ? pieceStarts->items[k + 1] : work->count;
    if (first >= end || end > work->count) continue;
    Point3D& P = work->segments[first].start;
    Point3D& E = work->segments[end - 1].end;
    if (geoDist2D(xy(P), xy(E)) < kOpenPiece) continue;
    PieceEnd s{}, e{};
    if (placeOnContour(region, &P, &s) != 1 || placeOnContour(region, &E, &e) != 1)
      return fail(kClosedOffContour);
    pkoSegBox(work->segments[first], &work->boxes[first].min, &work->boxes[first].max);
    pkoSegBox(work->segments[end - 1], &work->boxes[end - 1].min, &work->boxes[end - 1].max);
    starts.push_back(s);
    ends.push_back(e);
  }
  const int n = static_cast<int>(ends.size());
  std::stable_sort(ends.begin(), ends.end(), endBefore);
  std::stable_sort(starts.begin(), starts.end(), endBefore);
  const int check = arczCheckPieceEnds(ends.data(), starts.data(), n);
  if (check < 0) return fail(check);

  // Pairing: within each contour's group of ends, each end is followed along the contour by
  // the start it joins.
  for (int g0 = 0; g0 < n;) {
    int g1 = g0 + 1;
    while (g1 < n && ends[g1].contour == ends[g0].contour) ++g1;
    if (g1 - g0 > 1 && (starts[g0].parameter <= ends[g0].parameter ||
                        starts[g0].parameter >= ends[g0 + 1].parameter))
      std::rotate(starts.begin() + g0, starts.begin() + g0 + 1, starts.begin() + g1);
    g0 = g1;
  }

  for (int i = 0; i < n; ++i) {
    const int from = work->count;
    const int res = arczBoundaryBridge(work, pieceStarts, region, &ends[i], &starts[i], 1);
    if (res < 0) return res;
    if (lstRec8Append(runs, Rec8{{from, work->count}}) < 0) return fail(kGeoFailed);
  }
  if (work->count == 0) return 1;
  const int chained = chainRuns(work, traced, pieceStarts, runs);
  if (chained < 0) return chained;
  if (traced->xmin < region->xmin - kBoxMargin || traced->ymin < region->ymin - kBoxMargin ||
      traced->xmax > region->xmax + kBoxMargin || traced->ymax > region->ymax + kBoxMargin)
    return fail(kClosedOutsideBox);
  return 1;
}

}  // namespace

int gen_closedpaths(CollCtx* ctx, WalkTool*, WalkParams*, SliceContext* context) {
  if (ctx == nullptr || context == nullptr) return fail(kGeoBadArgument);
  if (context->traced == nullptr || context->traced->count == 0 || ctx->region == nullptr) return 0;
  if (context->work == nullptr || context->pathStarts == nullptr) return fail(kGeoBadArgument);
  RecList* runs = lstRec8New(10);
  if (runs == nullptr) return fail(kGeoFailed);
  std::vector<PieceEnd> ends, starts;
  int res = 0;
  try {
    ends.reserve(static_cast<std::size_t>(context->pathStarts->count));
    starts.reserve(static_cast<std::size_t>(context->pathStarts->count));
    res = closePieces(ctx, context, runs, ends, starts);
  } catch (const std::bad_alloc&) {
    res = fail(kGeoFailed);
  }
  lstRecFree(runs);
  return res;
}

int arczCheckPieceEnds(const PieceEnd* ends, const PieceEnd* starts, int n) {
  for (int i = 1; i < n; ++i) {
    const double de =
        geoDist2DSq(Point2D{ends[i].x, ends[i].y}, Point2D{ends[i - 1].x, ends[i - 1].y});
    const double ds =
        geoDist2DSq(Point2D{starts[i].x, starts[i].y}, Point2D{starts[i - 1].x, starts[i - 1].y});
    if (de < kSameEndsSq || ds < kSameEndsSq) {
      geoErrLog("gen_closedpaths gescheitert wegen identischer Paths");
      return kClosedSameEnds;
    }
  }
  for (int g0 = 0; g0 < n;) {
    int g1 = g0 + 1;
    while (g1 < n && ends[g1].contour == ends[g0].contour) ++g1;
    const int c = ends[g0].contour;
    if (!alternates(ends, starts, g0, g1, c) && !alternates(starts, ends, g0, g1, c)) {
      geoErrLog("gen_closedpaths gescheitert wegen Selbstueberschneidung");
      return kClosedNoAlternate;
    }
    g0 = g1;
  }
  return 1;
}

int arczBoundaryBridge(PkoList* work, IntList* pieceStarts, const Kont2D* region,
                       const PieceEnd* ends, const PieceEnd* starts, int n) {
  if (work == nullptr || pieceStarts == nullptr || region == nullptr ||
      (n > 0 && (ends == nullptr || starts == nullptr)))
    return fail(kGeoBadArgument);
  const double z = work->count > 0 ? work->segments[0].start.z : 0.0;
  const Point3D none{0.0, 0.0, 0.0};
  for (int i = 0; i < n; ++i) {
    const PieceEnd& e = ends[i];
    const PieceEnd& s = starts[i];
    const Kont2D* k = contourAt(region, e.contour);
    if (k == nullptr || k->count <= 0) return fail(kGeoBadArgument);
    if (lstIntAppend(pieceStarts, work->count) < 0) return fail(kGeoFailed);
    const int N = k->count;
    const int a = static_cast<int>(std::ceil(e.parameter)) % N;
    const int b = static_cast<int>(std::floor(s.parameter)) % N;
    Point3D cur{e.x, e.y, z};
    auto to = [&](double x, double y) {
      const Point3D next{x, y, z};
      const int r = pkoListAdd(work, Seg3D{cur, next}, none, -2, e.contour);
      cur = next;
      return r;
    };
    if (a == (b + 1) % N && e.parameter < s.parameter) {
      if (to(s.x, s.y) != 1) return fail(kGeoFailed);
      continue;
    }
    if (to(k->segments[a].x1, k->segments[a].y1) != 1) return fail(kGeoFailed);
    std::vector<int> order;
    if (b < a) {
      for (int j = a; j < N; ++j) order.push_back(j);
      for (int j = 0; j < b; ++j) order.push_back(j);
    } else {
      for (int j = a; j < b; ++j) order.push_back(j);
    }
    for (const int j : order)
      if (to(k->segments[j].x2, k->segments[j].y2) != 1) return fail(kGeoFailed);
    if (to(s.x, s.y) != 1) return fail(kGeoFailed);
  }
  return 1;
}

void arczRefineCorners(CollCtx* ctx, WalkTool* tool, WalkParams*, SliceContext* context, int from,
                       int to) {
  if (ctx == nullptr || tool == nullptr || context == nullptr || context->traced == nullptr) return;
  PkoList* list = context->traced;
  from = std::max(from, 0);
  to = std::min(to, list->count);
  if (to - from <= 4) return;
  const WalkTool probe{tool->radius * kProbeScale, tool->cornerRadius * kProbeScale, tool->type};
  const int s = parGlobalBlock()->seite == 1 ? 1 : -1;
  const double z = list->segments[from].start.z;
  const int n = to - from;
  const bool closed =
      geoDist2D(xy(list->segments[from].start), xy(list->segments[to - 1].end)) < 0.001;
  const int corners = closed ? n : n - 2;
  bool changed = false;
  for (int i = 0; i < corners; ++i) {
    if ((i & 255) == 0 && out3dCheckBreak() == 1) break;
    Seg3D& A = list->segments[from + i];
    Seg3D& B = list->segments[from + (i + 1) % n];
    Seg3D& D = list->segments[from + (i + 2) % n];
    if (geoCcw(xy(A.start), xy(A.end), xy(B.end)) * s <= 0) continue;
    if (geoCcw(xy(B.start), xy(B.end), xy(D.end)) * s <= 0) continue;
    double a1 = 0.0, b1 = 0.0, c1 = 0.0, a2 = 0.0, b2 = 0.0, c2 = 0.0;
    const Seg2D la{A.start.x, A.start.y, A.end.x, A.end.y};
    const Seg2D ld{D.start.x, D.start.y, D.end.x, D.end.y};
    if (geoLineEq(la, &a1, &b1, &c1) != 1 || geoLineEq(ld, &a2, &b2, &c2) != 1) continue;
    const double det = a1 * b2 - a2 * b1;
    if (!(std::fabs(det) > kCornerDet)) continue;
    const Point2D T{(b1 * c2 - b2 * c1) / det, (a2 * c1 - a1 * c2) / det};
    double angle = 0.0;
    geoAngleBetween(xy(A.start), T, xy(D.end), s, &angle);
    if (!(angle > kCornerAngle)) continue;
    if (!(geoDist2DSq(T, xy(A.end)) < kCornerReachSq &&
          geoDist2DSq(T, xy(D.start)) < kCornerReachSq))
      continue;
    WcollContact hit{};
    if (wcollToolContact(ctx, &probe, z, Seg2D{A.start.x, A.start.y, T.x, T.y}, &hit) != 0)
      continue;
    if (wcollToolContact(ctx, &probe, z, Seg2D{D.end.x, D.end.y, T.x, T.y}, &hit) != 0) continue;
    B.end = Point3D{T.x, T.y, z};
    D.start = Point3D{T.x, T.y, z};
    changed = true;
    if (++gClosing.refined % kRefineLogEvery == 0) {
      char text[64];
      std::snprintf(text, sizeof text, "refined %ld", gClosing.refined);
      geoErrLog(text);
    }
  }
  if (changed) pkoListUpdateBoxes(list);
}

long arczRefinedCount() { return gClosing.refined; }

void arczResetState() { gClosing = ClosingState{}; }
