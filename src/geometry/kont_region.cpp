// kont_region.cpp - operations on regions of closed contours: copies, conversions, placement,
// area and orientation, point classification and distances, boundary lookup, crossing tests.
#include "geometry/kont_region.h"

#include <cfloat>
#include <cmath>
#include <cstring>
#include <new>
#include <utility>
#include <vector>

#include "geometry/boundary.h"
#include "geometry/bucket_grid.h"
#include "geometry/geo_error.h"
#include "geometry/kont_nest.h"
#include "geometry/plane_geo.h"
#include "geometry/tri_mesh.h"
#include "geometry/zlevel_records.h"

namespace {
constexpr double kMergeTol = 0.00001;   // gap and triangle area below which segments merge
constexpr double kOnContour = 0.001;    // a point this near a contour lies on it
constexpr double kProjectStop = 0.001;  // the projection stops at the first segment this near
constexpr double kEndBetter = 1e-6;     // the last end beats the nearest start by this much
constexpr double kAtVertex = 1e-6;      // signed distance 0 this near a contour point
constexpr double kFarAway = 1e10;
constexpr double kRingClosed = 0.00001;  // a ring whose ends lie this close is closed

// Copy of one contour's record and segments, unlinked.
Kont2D* kontCopyOne(const Kont2D* src) {
  Kont2D* k = kontNew(nullptr, src->count);
  if (k == nullptr) return nullptr;
  if (src->count > 0 && src->segments != nullptr)
    std::memcpy(k->segments, src->segments, sizeof(Seg2D) * static_cast<std::size_t>(src->count));
  k->count = src->count;
  k->xmin = src->xmin;
  k->ymin = src->ymin;
  k->xmax = src->xmax;
  k->ymax = src->ymax;
  k->mark = src->mark;
  k->closed = src->closed;
  k->z = src->z;
  k->depth = src->depth;
  k->flags = src->flags & ~kKontOwnsExtra;  // the caller's list stays with the source
  k->zmin = src->zmin;
  k->zmax = src->zmax;
  return k;
}

double kontScaleZ(double z, double f) { return z == DBL_MAX ? z : z * f; }

// Shoelace sum of a contour: x_k (y_{k+1} - y_{k-1}) over its start points, wrapped.
double kontShoelace(const Kont2D* k) {
  const int n = k->count;
  if (n < 3 || k->segments == nullptr) return 0.0;
  const Seg2D* s = k->segments;
  double sum = 0.0;
  for (int i = 0; i < n; ++i) sum += s[i].x1 * (s[(i + 1) % n].y1 - s[(i + n - 1) % n].y1);
  return sum;
}

// Index of the first contour of the walk (-1 the outer) for which onContour holds; -202 none.
template <typename Test>
int kontFirstContourWith(const Kont2D* region, Test onContour) {
  int index = -1;
  for (const Kont2D* k = region; k != nullptr; k = kontWalkNext(region, k), ++index) {
    for (int i = 0; i < k->count && k->segments != nullptr; ++i)
      if (onContour(k->segments[i])) return index;
  }
  return kKontNoBoundary;
}
// Reverses one contour alone (an outer contour's islands keep their direction).
void kontReverseOne(Kont2D* k) {
  Kont2D* islands = k->child;
  k->child = nullptr;
  kontReverse(k);
  k->child = islands;
}

// The contours of the boundary list, unlinked, in list order; false when memory runs out (the
// contours made so far are left in out for the caller to free).
bool kontContoursOfRings(const Boundary* list, int useZ, std::vector<Kont2D*>& out) {
  // Room for every contour first: a growth of out between a contour's allocation and its storing
  // would lose that contour when it throws.
  std::size_t rings = 0;
  for (const Boundary* b = list; b != nullptr; b = b->next) ++rings;
  out.reserve(rings);
  for (const Boundary* b = list; b != nullptr; b = b->next) {
    if (b->segCount <= 0 || b->segs == nullptr) continue;
    Kont2D* k = kontNew(nullptr, b->segCount);
    if (k == nullptr) return false;
    out.push_back(k);
    for (int i = 0; i < b->segCount; ++i) kontAppendSeg(k, &b->segs[i]);  // room was made
    k->z = useZ != 0 ? b->zLow : 0.0;
    const Seg2D& first = b->segs[0];
    const Seg2D& last = b->segs[b->segCount - 1];
    k->closed = geoDist2D(g2dSegEnd(last), g2dSegStart(first)) < kRingClosed ? 1 : 0;
    kontMergeCollinear(k);
  }
  return true;
}
}  // namespace

Kont2D* kontFromRingList(const Boundary* list, int orientation, int useZ) {
  if (list == nullptr || list->segCount <= 0 || list->segs == nullptr) return nullptr;
  if (orientation != 1 && orientation != -1) {
    geoFail(kGeoBadArgument, "kont2d");
    return nullptr;
  }
  std::vector<Kont2D*> contours;
  try {
    const bool made = kontContoursOfRings(list, useZ, contours);
    if (!made || kontNestArray(contours.data(), static_cast<int>(contours.size())) != 1) {
      for (Kont2D* k : contours) {  // not linked yet: each is freed on its own
        k->next = k->child = nullptr;
        kontFree(k);
      }
      geoFail(kGeoFailed, "kont2d");
      return nullptr;
    }
  } catch (const std::bad_alloc&) {
    for (Kont2D* k : contours) kontFree(k);
    geoFail(kGeoFailed, "kont2d");
    return nullptr;
  }
  for (Kont2D* k : contours) {
    const int wanted = (k->depth & 1) == 0 ? orientation : -orientation;
    if (kontOrientation(k) != wanted) kontReverseOne(k);
  }
  return contours.front();
}

Kont2D* kontCopy(const Kont2D* region) {
  if (region == nullptr) return nullptr;
  Kont2D* outer = kontCopyOne(region);
  if (outer == nullptr) return nullptr;
  Kont2D* last = outer;
  for (const Kont2D* isl = region->child; isl != nullptr; isl = isl->next) {
    Kont2D* k = kontCopyOne(isl);
    if (k == nullptr) {
      kontFree(outer);
      return nullptr;
    }
    k->prev = last;
    if (last == outer)
      outer->child = k;
    else
      last->next = k;
    last = k;
  }
  return outer;
}

Kont2D* kontNewRect(const Point2D& p, const Point2D& q) {
  Kont2D* k = kontNew(nullptr, 4);
  if (k == nullptr) return nullptr;
  const double x0 = std::fmin(p.x, q.x), x1 = std::fmax(p.x, q.x);
  const double y0 = std::fmin(p.y, q.y), y1 = std::fmax(p.y, q.y);
  const Seg2D sides[4] = {{x0, y0, x1, y0}, {x1, y0, x1, y1}, {x1, y1, x0, y1}, {x0, y1, x0, y0}};
  for (const Seg2D& s : sides) kontAppendSeg(k, &s);  // room for 4 was made above
  return k;
}

Kont2D* kontFromZPath(const ZPath* path) {
  if (path == nullptr || path->points == nullptr || path->count < 3) return nullptr;
  Kont2D* k = kontNew(nullptr, path->count);
  if (k == nullptr) return nullptr;
  const float* pt = path->points;
  const int n = path->count;
  for (int i = 0; i < n; ++i) {
    const int from = i == 0 ? n - 1 : i - 1;
    const Seg2D s{static_cast<double>(pt[2 * from]), static_cast<double>(pt[2 * from + 1]),
                  static_cast<double>(pt[2 * i]), static_cast<double>(pt[2 * i + 1])};
    kontAppendSeg(k, &s);  // room for n was made above
  }
  k->closed = 1;
  k->z = path->z;
  return k;
}

int kontSetZ(Kont2D* region, double z) {
  for (Kont2D* k = region; k != nullptr; k = kontWalkNext(region, k)) k->z = z;
  return 1;
}

int kontScale(Kont2D* region, double factor) {
  for (Kont2D* k = region; k != nullptr; k = kontWalkNext(region, k)) {
    for (int i = 0; i < k->count && k->segments != nullptr; ++i) {
      Seg2D& s = k->segments[i];
      s.x1 *= factor;
      s.y1 *= factor;
      s.x2 *= factor;
      s.y2 *= factor;
    }
    k->xmin *= factor;
    k->ymin *= factor;
    k->xmax *= factor;
    k->ymax *= factor;
    if (factor < 0.0) {  // a mirrored box keeps min below max
      std::swap(k->xmin, k->xmax);
      std::swap(k->ymin, k->ymax);
    }
    k->z = kontScaleZ(k->z, factor);
  }
  if (region != nullptr) triMeshScale(region->mesh, factor);
  return 1;
}

void kontTranslate(Kont2D* region, double dx, double dy, double dz) {
  if (region == nullptr || region->count <= 0) return;
  for (Kont2D* k = region; k != nullptr; k = kontWalkNext(region, k)) {
    for (int i = 0; i < k->count && k->segments != nullptr; ++i) {
      Seg2D& s = k->segments[i];
      s.x1 += dx;
      s.y1 += dy;
      s.x2 += dx;
      s.y2 += dy;
    }
    k->xmin += dx;
    k->ymin += dy;
    k->xmax += dx;
    k->ymax += dy;
    if (k->z != DBL_MAX) k->z += dz;
  }
  triMeshTranslate(region->mesh, dx, dy, dz);
}

int kontReverse(Kont2D* region) {
  for (Kont2D* k = region; k != nullptr; k = kontWalkNext(region, k)) {
    if (k->segments == nullptr) continue;
    for (int i = 0, j = k->count - 1; i <= j; ++i, --j) {
      const Seg2D a = k->segments[i];
      const Seg2D b = k->segments[j];
      k->segments[i] = Seg2D{b.x2, b.y2, b.x1, b.y1};
      k->segments[j] = Seg2D{a.x2, a.y2, a.x1, a.y1};
    }
  }
  return 1;
}

int kontMergeCollinear(Kont2D* contour) {
  if (contour == nullptr || contour->segments == nullptr || contour->count < 2) return 1;
  Seg2D* s = contour->segments;
  int kept = 0;
  for (int i = 1; i < contour->count; ++i) {
    const double gap = geoDist2D(g2dSegEnd(s[kept]), g2dSegStart(s[i]));
    const double area =
        std::fabs(geoTriArea2D(g2dSegStart(s[kept]), g2dSegStart(s[i]), g2dSegEnd(s[i])));
    if (gap < kMergeTol && area < kMergeTol) {
      s[kept].x2 = s[i].x2;
      s[kept].y2 = s[i].y2;
    } else {
      s[++kept] = s[i];
    }
  }
  contour->count = kept + 1;
  kontUpdateBox(contour);
  return 1;
}

double kontArea(const Kont2D* region) {
  if (region == nullptr || region->count < 3) return 0.0;
  // With a mesh, the area of its region triangles (the frame ring and the islands' insides are
  // not part of the region), signed like the shoelace sum by the outer contour's orientation.
  if (region->mesh != nullptr)
    return kontOrientation(region) * triMeshClassArea(region->mesh, kTriInside);
  double sum = 0.0;
  for (const Kont2D* k = region; k != nullptr; k = kontWalkNext(region, k)) sum += kontShoelace(k);
  return 0.5 * sum;
}

int kontClassifyPoint(const Kont2D* region, const Point2D& p) {
  if (region == nullptr) return 0;
  if (region->mesh != nullptr) {
    const int bits = triClassifyPoint(region->mesh, p);
    if (bits > 0) {
      if ((bits & kTriBitOutside) != 0) return 1;
      return (bits & kTriBitInside) != 0 ? 2 : 4;
    }
  }
  if (geoPointInKont(p, region) == 0) return 1;
  for (const Kont2D* isl = region->child; isl != nullptr; isl = isl->next)
    if (geoPointInKont(p, isl) != 0) return 4;
  return 2;
}

double kontProjectPoint(const Kont2D* contour, Point2D* p) {
  if (contour == nullptr || contour->segments == nullptr || contour->count < 1 || p == nullptr)
    return -1.0;
  const Seg2D* segs = contour->segments;
  const int n = contour->count;
  int best = -1;
  double bestDist = DBL_MAX, bestT = 0.0;
  Point2D bestPoint = *p;
  for (int i = 0; i < n; ++i) {
    const Seg2D& s = segs[i];
    double a = 0.0, b = 0.0, c = 0.0;
    if (geoLineEq(s, &a, &b, &c) != 1) continue;
    const double dist = std::fabs(a * p->x + b * p->y + c);
    const double dx = s.x2 - s.x1, dy = s.y2 - s.y1;
    const double t = std::fabs(dx) <= std::fabs(dy) ? (p->y - s.y1) / dy : (p->x - s.x1) / dx;
    if (!(t >= 0.0 && t < 1.0) || !(dist < bestDist)) continue;
    best = i;
    bestDist = dist;
    bestT = t;
    bestPoint = Point2D{s.x1 + t * dx, s.y1 + t * dy};
    if (dist < kProjectStop) break;
  }
  if (best >= 0) {
    *p = bestPoint;
    return best + bestT;
  }
  // No segment took the point: the nearest segment start, or the last end when clearly nearer.
  int nearest = 0;
  double nearestSq = DBL_MAX;
  for (int i = 0; i < n; ++i) {
    const double d = geoDist2DSq(*p, g2dSegStart(segs[i]));
    if (d < nearestSq) {
      nearestSq = d;
      nearest = i;
    }
  }
  const Point2D lastEnd = g2dSegEnd(segs[n - 1]);
  if (geoDist2DSq(*p, lastEnd) < nearestSq - kEndBetter) {
    *p = lastEnd;
    return static_cast<double>(n);
  }
  *p = g2dSegStart(segs[nearest]);
  return static_cast<double>(nearest);
}

int kontNearestPoint(const Point2D& p, const Kont2D* region, Point2D* out) {
  if (region == nullptr || out == nullptr) return 0;
  double bestSq = kFarAway;
  int found = 0;
  for (const Kont2D* k = region; k != nullptr; k = kontWalkNext(region, k)) {
    for (int i = 0; i < k->count && k->segments != nullptr; ++i) {
      const Seg2D& s = k->segments[i];
      Point2D cand{};
      if (geoFootOnSeg(p, s, &cand) != 1) {
        const Point2D a = g2dSegStart(s), b = g2dSegEnd(s);
        cand = geoDist2DSq(p, a) < geoDist2DSq(p, b) ? a : b;
      }
      const double d = geoDist2DSq(p, cand);
      if (d < bestSq) {
        bestSq = d;
        *out = cand;
        found = 1;
      }
    }
  }
  return found;
}

int kontPointNearContour(const Point2D& p, const Kont2D* contour, double tol) {
  if (contour == nullptr || contour->segments == nullptr) return 0;
  for (int i = 0; i < contour->count; ++i)
    if (geoPointNearSeg(p, contour->segments[i], tol) == 1) return 1;
  return 0;
}

int kontBoundaryThrough(const Kont2D* region, const Point2D& p) {
  return kontFirstContourWith(
      region, [&p](const Seg2D& s) { return geoPointNearSeg(p, s, kOnContour) == 1; });
}

int kontBoundaryAt(const Kont2D* region, const Point2D& p) {
  // A point on no contour is no boundary point, whatever the mesh would say of its triangle.
  if (geoOnKontFine(p, region) != 1) {
    if (region != nullptr && region->mesh != nullptr) return geoFail(kKontNoBoundary, "kont2d");
    return kKontNoBoundary;
  }
  if (region->mesh != nullptr) {
    double l[3];
    const int t = triLocate(region->mesh, p, &l[0], &l[1], &l[2]);
    // The edge of the smallest coordinate is the one p lies on; the contour segment there is
    // recorded under the pair of triangles on its two sides. When p sits at a vertex, off the
    // mesh or on no recorded pair, the segment test below decides: p is on a contour.
    if (t >= 0) {
      const TriMeshTri& tr = region->mesh->triangles[t];
      const int u =
          l[0] < l[1] && l[0] < l[2] ? tr.nb0 : (l[1] < l[0] && l[1] < l[2] ? tr.nb1 : tr.nb2);
      const int e = triFindBoundaryEdge(region->mesh, t, u);
      if (e >= 0) return region->mesh->boundaryEdges->items[e].contour;
    }
  }
  return kontFirstContourWith(region, [&p](const Seg2D& s) { return geoOnSegFine(p, s) == 1; });
}

double kontSignedDistance(const Point2D& p, const Kont2D* region) {
  double d = DBL_MAX;
  for (const Kont2D* k = region; k != nullptr; k = kontWalkNext(region, k)) {
    const int n = k->segments != nullptr ? k->count : 0;
    for (int i = 0; i < n; ++i) d = std::fmin(d, geoDist2D(p, g2dSegStart(k->segments[i])));
    if (d < kAtVertex) return 0.0;
    const int edges = k->closed == 1 ? n : n - 1;
    for (int i = 0; i < edges; ++i) {
      const Seg2D edge{k->segments[i].x1, k->segments[i].y1, k->segments[(i + 1) % n].x1,
                       k->segments[(i + 1) % n].y1};
      Point2D foot{};
      if (geoFootOnSeg(p, edge, &foot) == 1) d = std::fmin(d, geoDistToLine(p, edge));
    }
  }
  return kontClassifyPoint(region, p) == 2 ? d : -d;
}

int geoSegCutsKont(const Seg2D& seg, const Kont2D* region, Point2D* out) {
  if (out == nullptr) return 0;
  for (const Kont2D* k = region; k != nullptr; k = kontWalkNext(region, k)) {
    for (int i = 0; i < k->count && k->segments != nullptr; ++i) {
      const Seg2D& s = k->segments[i];
      if (geoSegsCross(seg, s) == 1 && geoLineLineCut(seg, s, out) == 1) return 1;
    }
  }
  return 0;
}
