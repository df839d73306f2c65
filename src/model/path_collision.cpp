// path_collision.cpp - collision checks of tool positions, paths and straight moves against the
// model. A triangle model drops through the triangle drop set, a four-corner model through the
// four-corner twin, so that no model type passes the check unseen.
#include "model/path_collision.h"

#include <cmath>
#include <cstdio>
#include <initializer_list>

#include "framework/messages.h"
#include "framework/numtext.h"
#include "geometry/csys.h"
#include "geometry/geo_error.h"
#include "geometry/guide_curve.h"
#include "model/point_drop.h"
#include "model/profile_drop.h"
#include "output/out3d_state.h"

namespace {

constexpr double kCollMinTolerance = 0.00001;

struct CollState {
  int subdivide = 0;
  int markers = 1;
};
CollState collState;

bool collIsQuad(const SurfaceModel& m) { return m.facetType == 4; }

// Sends a collision marker at p (tool system) while markers are enabled.
void collMark(double x, double y, double z) {
  if (collState.markers == 0) return;
  out3dCollisionMark(Point3D{x, y, z});
}

// Logs a colliding sample as "Koll: x y z", numbers as in the "C" locale.
void collLog(const Point3D& p) {
  char x[kNumFixedTextSize], y[kNumFixedTextSize], z[kNumFixedTextSize];
  numFormatFixedWidth(x, sizeof x, p.x, 6, 0);
  numFormatFixedWidth(y, sizeof y, p.y, 6, 0);
  numFormatFixedWidth(z, sizeof z, p.z, 6, 0);
  char text[3 * kNumFixedTextSize + 8];
  std::snprintf(text, sizeof text, "Koll: %s %s %s", x, y, z);
  geoErrLog(text);
}

// The candidates of a grid cell at (x, y): the cell's indices, or every facet without a grid
// (null list). A cell that holds no list has no candidates: a non-null list of count 0.
const std::int32_t* collCandidates(const TriangleGrid* grid, double x, double y, int* count) {
  static const std::int32_t kNone = 0;
  *count = 0;
  if (grid == nullptr) return nullptr;
  const TriangleGridCell* cell = triGridCell(grid, x, y);
  if (cell == nullptr || cell->indices == nullptr) return &kNone;
  *count = cell->count;
  return cell->indices;
}

// Drops the cutter at p onto the installed set of the model's facet type. True when a facet
// raised the height (non-zero contact kind).
bool collDrop(bool quad, Point3D* p, double ref, const CutterShape& cutter,
              const std::int32_t* cand, int count) {
  Point3D contact{};
  int kind = 0;
  const int r = quad ? dropPointQuads(p, ref, &cutter, cand, count, &contact, &kind)
                     : dropPointTris(p, ref, &cutter, cand, count, &contact, &kind);
  return r > 0 && kind != 0;
}

void collInstall(const SurfaceModel* k) {
  if (k == nullptr) {
    dropSetTriModel(nullptr, nullptr, nullptr, -10000.0, 10000.0, 0);
    dropSetQuadModel(nullptr, 0, nullptr, nullptr, -10000.0, 10000.0, 0);
  } else if (collIsQuad(*k)) {
    dropSetQuadModel(k->quads, k->quadCount, k->facetMin, k->facetMax, k->boxMin.z, k->boxMax.z, 0);
  } else {
    dropSetTriModel(k->triangles, k->facetMin, k->facetMax, k->boxMin.z, k->boxMax.z, 0);
  }
}

// The copy with the cutter reduced by the tolerance; null when memory runs out.
SurfaceModel* collReducedCopy(const SurfaceModel* m, double x) {
  SurfaceModel* k = modelCopy(m);
  if (k != nullptr && x > kCollMinTolerance) modelAddAllowance(k, -x);
  return k;
}

// Tests one sample of a path on a copy of it; logs it when it collides. Returns the point result.
int collSample(const Point3D& p, const SurfaceModel* k, double x) {
  Point3D q = p;
  const int r = collCheckPoint(&q, k, x);
  if (r <= 0) collLog(p);
  return r;
}

}  // namespace

int collCheckPoint(Point3D* position, const SurfaceModel* k, double x) {
  if (position == nullptr || k == nullptr || k->cutter == nullptr)
    return geoFail(kGeoBadArgument, "path_collision");
  // A position or tolerance that is not a number can never be called free: every comparison
  // with NaN is false, which would pass it as collision-free.
  if (!std::isfinite(position->x) || !std::isfinite(position->y) || !std::isfinite(position->z) ||
      std::isnan(x)) {
    return 0;
  }
  const double z0 = position->z;
  const bool quad = collIsQuad(*k);
  position->z = k->boxMin.z > z0 ? z0 - 1.0 : k->boxMin.z;

  int count = 0;
  const std::int32_t* cand = collCandidates(k->grid, position->x, position->y, &count);
  bool hit = collDrop(quad, position, k->boxMax.z + k->cutter->radius, *k->cutter, cand, count);
  for (const SubModel* s = k->subModels; s != nullptr; s = s->next) {
    cand = collCandidates(s->grid, position->x, position->y, &count);
    if (quad) {
      dropPushQuadSubModel(s);
    } else {
      dropPushTriSubModel(s);
    }
    if (collDrop(quad, position, s->boxMax.z + s->cutter.radius, s->cutter, cand, count))
      hit = true;
    if (quad) {
      dropPopQuadSubModel();
    } else {
      dropPopTriSubModel();
    }
  }
  if (!hit) return 1;
  if (std::isnan(position->z) || position->z - x > z0) {
    collMark(position->x, position->y, z0 - k->cutter->zOffset);
    return 0;
  }
  position->z = z0;
  return 1;
}

int collCheckPath(const PathList* path, const SurfaceModel* m, double x) {
  if (path == nullptr || m == nullptr || m->cutter == nullptr)
    return geoFail(kGeoBadArgument, "path_collision");
  if (path->count > 0 && (path->positions == nullptr || path->codes == nullptr))
    return geoFail(kGeoBadArgument, "path_collision");
  SurfaceModel* k = collReducedCopy(m, x);
  if (k == nullptr) return geoFail(kGeoFailed, "path_collision");
  collInstall(k);
  const double radius = k->cutter->radius;
  int result = 1;
  bool stopped = false;

  // Points: each class-0 point unless it lies within half a radius of the last one tested.
  int last = -1;
  for (int i = 0; i < path->count && !stopped; ++i) {
    if (out3dCheckBreak() != 0) {
      stopped = true;
      break;
    }
    if (pathListClass(path, i) != 0) continue;
    if (last >= 0 && vecDistance(path->positions[i], path->positions[last]) < radius / 2.0)
      continue;
    last = i;
    const int r = collSample(path->positions[i], k, x);
    if (r <= 0) result = r;
  }

  // Segments at least one radius long between class-0 points: their inner samples.
  for (int i = 1; i < path->count && !stopped; ++i) {
    if (out3dCheckBreak() != 0) {
      stopped = true;
      break;
    }
    const Point3D a = path->positions[i - 1];
    const Point3D b = path->positions[i];
    const double length = vecDistance(a, b);
    if (length < radius || pathListClass(path, i - 1) != 0 || pathListClass(path, i) != 0) continue;
    // Subdivision needs a usable radius; a parts count beyond one per 1e-5 is never asked for.
    int parts = 2;
    if (collState.subdivide != 0 && radius > kCollMinTolerance) {
      const double q = std::trunc(length / radius) + 1.0;
      parts = q > 1e9 ? 1000000000 : static_cast<int>(q);
    }
    for (int j = 1; j < parts; ++j) {
      if (j > 1 && out3dCheckBreak() != 0) {
        stopped = true;
        break;
      }
      const double t = static_cast<double>(j) / parts;
      const Point3D s{(1.0 - t) * a.x + t * b.x, (1.0 - t) * a.y + t * b.y,
                      (1.0 - t) * a.z + t * b.z};
      const int r = collSample(s, k, x);
      if (r <= 0) result = r;
    }
  }

  modelFree(k);
  collInstall(nullptr);
  return stopped ? 2 : result;
}

int collCheckMove(const Point3D& a, const Point3D& b, const SurfaceModel* m, double x) {
  if (m == nullptr || m->cutter == nullptr) return geoFail(kGeoBadArgument, "path_collision");
  // Both drop steps must move the sample on, or the drop would never reach the move's end.
  if (!(m->step >= kCollMinTolerance && m->tolerance >= kCollMinTolerance) ||
      !std::isfinite(m->step) || !std::isfinite(m->tolerance)) {
    return geoFail(kGeoBadArgument, "path_collision");
  }
  // A move with an end or a tolerance that is not a number can never be called free.
  for (double v : {a.x, a.y, a.z, b.x, b.y, b.z}) {
    if (!std::isfinite(v)) return 0;
  }
  if (std::isnan(x)) return 0;
  SurfaceModel* k = collReducedCopy(m, x);
  if (k == nullptr) return geoFail(kGeoFailed, "path_collision");
  GuideCurve* profile = guideFromTwoPoints(a, b);
  if (profile == nullptr) {
    modelFree(k);
    return geoFail(kGeoFailed, "path_collision");
  }
  k->profile = profile;
  k->slopeMode = 0;
  // Room for one sample per tolerance along the move; the list grows beyond that when needed.
  const double room = std::trunc(guideLength(profile) / k->tolerance) + 10.0;
  PathList* list =
      pathListNew(room < kPathListMaxInitial ? static_cast<int>(room) : kPathListMaxInitial, 0);
  int dropped = -1;
  if (list != nullptr)
    dropped = collIsQuad(*k) ? dropAlongProfileQuads(k, list) : dropAlongProfile(k, list);
  k->profile = nullptr;
  guideFree(profile);
  if (dropped < 0) {
    pathListFree(list);
    modelFree(k);
    return geoFail(kGeoFailed, "path_collision");
  }
  int result = 1;
  for (int i = 0; i + 1 < list->count; ++i) {
    const Point3D& s = list->positions[i];
    if (pathListClass(list, i) == kPathClassGap) continue;
    // A sample height that is not a number is no proof of a free move.
    if (!std::isnan(s.z) && !(s.z > a.z + x)) continue;
    result = 0;
    collMark(s.x, s.y, a.z - m->cutter->zOffset);
  }
  pathListFree(list);
  modelFree(k);
  return result;
}

void collSetSubdivide(int flag) { collState.subdivide = flag; }
void collSetMarkers(int on) { collState.markers = on; }
int collMarkersOn() { return collState.markers; }
void collResetState() { collState = CollState{}; }
