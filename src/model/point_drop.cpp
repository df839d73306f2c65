// point_drop.cpp - the installed facet sets and the scans of the point drop.
// The scan stops at the first candidate whose highest z lies below the threshold: candidates
// come in ascending index order and facets in descending order of their highest z, so no later
// candidate can reach the tool either.
#include "model/point_drop.h"

#include <cmath>

namespace {

struct TriSet {
  const Tri3List* triangles = nullptr;
  const Point3D* boxMin = nullptr;
  const Point3D* boxMax = nullptr;
};

struct QuadSet {
  const QuadFacet* quads = nullptr;
  int count = 0;
  const Point3D* boxMin = nullptr;
  const Point3D* boxMax = nullptr;
};

struct PointDropState {
  TriSet tri;
  TriSet triSaved;
  double triZlo = -10000.0;
  double triZhi = 10000.0;
  int triMissReport = 0;
  QuadSet quad;
  QuadSet quadSaved;
  double quadZlo = -10000.0;
  double quadZhi = 10000.0;
  int quadMissReport = 0;
};
PointDropState pdState;

// The lowest height a facet's highest point may have while the tool, standing at best, can
// still be raised by it.
double dropThreshold(const CutterShape& cutter, double best) {
  switch (cutter.type) {
    case kCutterBall: return best - cutter.radius;
    case kCutterTorus: return best - cutter.cornerRadius;
    case kCutterConeBand: return best + cutter.taperLength;
    default: return best;
  }
}

double dropReach(const CutterShape& cutter) {
  return cutter.type == kCutterConeBand ? cutter.shankDiameter / 2.0 : cutter.radius;
}

struct TriFacets {
  const TriSet& set;
  int size() const { return set.triangles != nullptr ? set.triangles->count : 0; }
  int drop(int i, const Point3D& axis, const CutterShape& cutter, double* best, Point3D* c,
           int* kind) const {
    return dropToolOnTri(set.triangles->items[i], axis, cutter, best, c, kind);
  }
};

struct QuadFacets {
  const QuadSet& set;
  int size() const { return set.quads != nullptr ? set.count : 0; }
  int drop(int i, const Point3D& axis, const CutterShape& cutter, double* best, Point3D* c,
           int* kind) const {
    return dropToolOnQuad(set.quads[i], axis, cutter, best, c, kind);
  }
};

// The scan shared by both facet kinds. thresholdFirst: the quad scan tests the height before
// the plan box (with sorted facets both orders give the same result).
template <typename Facets>
int dropScan(const Facets& facets, const Point3D* boxMin, const Point3D* boxMax, double zlo,
             double zhi, int missReport, bool thresholdFirst, bool coneMisses, Point3D* position,
             double refHeight, const CutterShape* cutter, const std::int32_t* candidates, int count,
             Point3D* contact, int* contactKind) {
  if (position == nullptr || cutter == nullptr || contact == nullptr || contactKind == nullptr ||
      !std::isfinite(position->x) || !std::isfinite(position->y)) {
    return 0;
  }
  *contactKind = 0;
  const int size = (boxMin == nullptr || boxMax == nullptr) ? 0 : facets.size();
  const int n = candidates == nullptr ? size : (count > 0 ? count : 0);
  const double x = position->x, y = position->y;
  const double r = dropReach(*cutter);
  const double startThreshold = dropThreshold(*cutter, position->z);
  double threshold = startThreshold;
  const Point3D axis{x, y, refHeight};
  bool hit = false, facetContact = false;
  for (int k = 0; k < n; ++k) {
    const int i = candidates == nullptr ? k : candidates[k];
    if (i < 0 || i >= size) continue;
    const Point3D& lo = boxMin[i];
    const Point3D& hi = boxMax[i];
    const bool missesPlan = hi.x < x - r || hi.y < y - r || lo.x > x + r || lo.y > y + r;
    if (thresholdFirst) {
      if (hi.z < threshold) break;
      if (missesPlan) continue;
    } else {
      if (missesPlan) continue;
      if (hi.z < threshold) break;
    }
    const int res = facets.drop(i, axis, *cutter, &position->z, contact, contactKind);
    if (res == 2 && position->z >= zlo && position->z <= zhi) facetContact = true;
    if (res != 0) {
      hit = true;
      threshold = dropThreshold(*cutter, position->z);
    }
  }
  if (!hit) {
    if (missReport != 0) {
      *contact = Point3D{x, y, startThreshold};
      if (!(coneMisses && cutter->type == kCutterConeBand)) return 1;
    }
    return 0;
  }
  return facetContact ? 2 : 1;
}

}  // namespace

void dropSetTriModel(const Tri3List* triangles, const Point3D* boxMin, const Point3D* boxMax,
                     double zlo, double zhi, int missReport) {
  pdState.tri = TriSet{triangles, boxMin, boxMax};
  pdState.triZlo = zlo;
  pdState.triZhi = zhi;
  pdState.triMissReport = missReport;
}

void dropSetQuadModel(const QuadFacet* quads, int quadCount, const Point3D* boxMin,
                      const Point3D* boxMax, double zlo, double zhi, int missReport) {
  pdState.quad = QuadSet{quads, quadCount, boxMin, boxMax};
  pdState.quadZlo = zlo;
  pdState.quadZhi = zhi;
  pdState.quadMissReport = missReport;
}

void dropPushTriSubModel(const SubModel* sub) {
  pdState.triSaved = pdState.tri;
  pdState.tri = sub != nullptr ? TriSet{sub->triangles, sub->facetMin, sub->facetMax} : TriSet{};
}

void dropPopTriSubModel() { pdState.tri = pdState.triSaved; }

void dropPushQuadSubModel(const SubModel* sub) {
  pdState.quadSaved = pdState.quad;
  pdState.quad = sub != nullptr ? QuadSet{sub->quads, sub->quadCount, sub->facetMin, sub->facetMax}
                                : QuadSet{};
}

void dropPopQuadSubModel() { pdState.quad = pdState.quadSaved; }

int dropPointTris(Point3D* position, double refHeight, const CutterShape* cutter,
                  const std::int32_t* candidates, int count, Point3D* contact, int* contactKind) {
  const TriSet& set = pdState.tri;
  return dropScan(TriFacets{set}, set.boxMin, set.boxMax, pdState.triZlo, pdState.triZhi,
                  pdState.triMissReport, false, true, position, refHeight, cutter, candidates,
                  count, contact, contactKind);
}

int dropPointQuads(Point3D* position, double refHeight, const CutterShape* cutter,
                   const std::int32_t* candidates, int count, Point3D* contact, int* contactKind) {
  const QuadSet& set = pdState.quad;
  return dropScan(QuadFacets{set}, set.boxMin, set.boxMax, pdState.quadZlo, pdState.quadZhi,
                  pdState.quadMissReport, true, false, position, refHeight, cutter, candidates,
                  count, contact, contactKind);
}

void dropPointResetState() { pdState = PointDropState{}; }
