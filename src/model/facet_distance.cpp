// facet_distance.cpp - point-to-facet distances over the model's facet sets. A main model and
// its sub-models are seen through one view of their facets, so the candidate choice, the plan
// preselection and the early stop on the descending facet order are written once.
#include "model/facet_distance.h"

#include <cmath>

#include "geometry/geo_error.h"
#include "geometry/nearest.h"

namespace {

// The facets of a model or of one sub-model.
struct FacetView {
  int facetType;
  const Tri3List* triangles;
  const QuadFacet* quads;
  int quadCount;
  const Point3D* facetMin;
  const Point3D* facetMax;
  const TriangleGrid* grid;
};

FacetView fdViewOf(const SurfaceModel& m) {
  return {m.facetType, m.triangles, m.quads, m.quadCount, m.facetMin, m.facetMax, m.grid};
}
FacetView fdViewOf(const SubModel& s) {
  return {s.facetType, s.triangles, s.quads, s.quadCount, s.facetMin, s.facetMax, s.grid};
}

int fdCount(const FacetView& v) {
  if (v.facetType == 3)
    return v.triangles != nullptr && v.triangles->items != nullptr ? v.triangles->count : 0;
  if (v.facetType == 4) return v.quads != nullptr ? v.quadCount : 0;
  return 0;
}

// Plan box and highest z of facet i: from the box arrays, or from the corners when a set has
// none.
void fdFacetBox(const FacetView& v, int i, Point3D* lo, Point3D* hi) {
  if (v.facetMin != nullptr && v.facetMax != nullptr) {
    *lo = v.facetMin[i];
    *hi = v.facetMax[i];
    return;
  }
  const int n = v.facetType == 3 ? 3 : 4;
  for (int k = 0; k < n; ++k) {
    const Point3D c =
        v.facetType == 3 ? v.triangles->items[i].v[k] : modelQuadCorner(v.quads[i], k);
    if (k == 0) {
      *lo = c;
      *hi = c;
    } else {
      modelGrowBox(c, lo, hi);
    }
  }
}

// Distance from p to facet i; a four-corner facet is measured as its two triangles, the first
// winning a tie.
double fdFacetDistance(const FacetView& v, int i, const Point3D& p, Point3D* out) {
  if (v.facetType == 3) return modelPointTriDistance(v.triangles->items[i], p, out);
  const QuadFacet& q = v.quads[i];
  const Point3D c0 = modelQuadCorner(q, 0), c1 = modelQuadCorner(q, 1);
  const Point3D c2 = modelQuadCorner(q, 2), c3 = modelQuadCorner(q, 3);
  Point3D a{}, b{};
  const double da = modelPointTriDistance(Tri3D{{c0, c1, c2}}, p, &a);
  const double db = modelPointTriDistance(Tri3D{{c0, c2, c3}}, p, &b);
  if (db < da) {
    *out = b;
    return db;
  }
  *out = a;
  return da;
}

// Calls visit(index) for every candidate of the set that passes the preselection around p with
// radius r, in candidate order, until visit returns false. Candidates: the grid cell at p, or
// every facet without a grid. A cell that holds no list (or no cell at p) gives every facet of
// the main model (mainSet true) and no candidate of a sub-model.
template <typename Visit>
void fdScan(const FacetView& v, const Point3D& p, double r, bool mainSet, Visit visit) {
  const int count = fdCount(v);
  if (count <= 0) return;
  const std::int32_t* indices = nullptr;
  int n = count;
  if (v.grid != nullptr) {
    const TriangleGridCell* cell = triGridCell(v.grid, p.x, p.y);
    if (cell != nullptr && cell->indices != nullptr) {
      indices = cell->indices;
      n = cell->count;
    } else if (!mainSet) {
      return;
    }
  }
  for (int k = 0; k < n; ++k) {
    const int i = indices != nullptr ? indices[k] : k;
    if (i < 0 || i >= count) continue;
    Point3D lo{}, hi{};
    fdFacetBox(v, i, &lo, &hi);
    if (hi.x < p.x - r || hi.y < p.y - r || lo.x > p.x + r || lo.y > p.y + r) continue;
    if (hi.z < p.z - r) return;  // every later facet is lower still
    if (!visit(i)) return;
  }
}

// The first facet of the set closer than r; true with its point in out.
bool fdFirstNear(const FacetView& v, const Point3D& p, double r, bool mainSet, Point3D* out) {
  bool found = false;
  fdScan(v, p, r, mainSet, [&](int i) {
    Point3D q{};
    if (fdFacetDistance(v, i, p, &q) < r) {
      *out = q;
      found = true;
    }
    return !found;
  });
  return found;
}

// Each set is measured by its own facet type, so the twins below share this one walk. A set
// without a grid scans all its facets, a sub-model as well as the main model.
int fdFindNear(const SurfaceModel* model, const Point3D& p, double r, Point3D* out) {
  if (model == nullptr || out == nullptr) return geoFail(kGeoBadArgument, "facet_distance");
  if (fdFirstNear(fdViewOf(*model), p, r, true, out)) return 0;
  for (const SubModel* s = model->subModels; s != nullptr; s = s->next) {
    if (fdFirstNear(fdViewOf(*s), p, r, false, out)) return 0;
  }
  return 1;
}

}  // namespace

double modelPointTriDistance(const Tri3D& tri, const Point3D& p, Point3D* out) {
  const Point3D e1 = vecSub(tri.v[1], tri.v[0]);
  const Point3D e2 = vecSub(tri.v[2], tri.v[0]);
  Point3D n{};
  if (vecCrossUnit(e1, e2, &n) == 0) {
    const double h = vecDot(vecSub(p, tri.v[0]), n);
    const Point3D foot{p.x - h * n.x, p.y - h * n.y, p.z - h * n.z};
    // Barycentric coefficients of the foot: foot = V0 + u e1 + v e2.
    const Point3D w = vecSub(foot, tri.v[0]);
    const double g11 = vecDot(e1, e1), g12 = vecDot(e1, e2), g22 = vecDot(e2, e2);
    const double det = g11 * g22 - g12 * g12;
    const double p1 = vecDot(e1, w), p2 = vecDot(e2, w);
    const double u = (g22 * p1 - g12 * p2) / det;
    const double v = (g11 * p2 - g12 * p1) / det;
    if (u >= 0.0 && u <= 1.0 && v >= 0.0 && v <= 1.0 && u + v <= 1.0) {
      if (out != nullptr) *out = foot;
      return std::fabs(h);
    }
  }
  Point3D best{};
  double bestDist = plineNearestOnSeg3(tri.v[0], tri.v[1], p, &best);
  for (int k = 1; k < 3; ++k) {
    Point3D q{};
    const double d = plineNearestOnSeg3(tri.v[k], tri.v[(k + 1) % 3], p, &q);
    if (d < bestDist) {
      bestDist = d;
      best = q;
    }
  }
  if (out != nullptr) *out = best;
  return bestDist;
}

int modelFindFacetNearTris(const SurfaceModel* model, const Point3D& p, double r, Point3D* out) {
  return fdFindNear(model, p, r, out);
}

int modelFindFacetNearQuads(const SurfaceModel* model, const Point3D& p, double r, Point3D* out) {
  return fdFindNear(model, p, r, out);
}

int modelFindFacetNear(const SurfaceModel* model, const Point3D& p, double r, Point3D* out) {
  if (model == nullptr || out == nullptr) return geoFail(kGeoBadArgument, "facet_distance");
  return model->facetType == 4 ? modelFindFacetNearQuads(model, p, r, out)
                               : modelFindFacetNearTris(model, p, r, out);
}

int modelNearestFacet(const SurfaceModel* model, const Point3D& p, double r, Point3D* out) {
  if (model == nullptr || out == nullptr || model->facetType != 3)
    return geoFail(kGeoBadArgument, "facet_distance");
  const FacetView v = fdViewOf(*model);
  bool any = false;
  double best = 0.0;
  Point3D bestPoint{};
  fdScan(v, p, r, true, [&](int i) {
    Point3D q{};
    const double d = fdFacetDistance(v, i, p, &q);
    if (!any || d < best) {
      best = d;
      bestPoint = q;
      any = true;
    }
    return true;
  });
  if (!any) return 0;
  *out = bestPoint;
  return 1;
}

double modelStepWidth(double r, double d) {
  const double cap = 1.8 * r;
  if (d > r) return cap;
  const double chord = 2.0 * vecSqrtClamped(2.0 * r * d - d * d);
  return chord < cap ? chord : cap;
}
