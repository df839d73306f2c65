// zpath_pko.cpp - traced segment pieces to Z paths and Z paths back to traced segments.
#include "zlevel/zpath_pko.h"

#include <cmath>
#include <cstddef>

#include "geometry/geo_error.h"
#include "zlevel/zpath.h"

namespace {

constexpr const char* kModule = "zpath_pko";
constexpr int kShortPiece = 10;    // pieces of fewer segments keep every point
constexpr double kCloseGap = 0.1;  // a piece whose ends are closer is closed
constexpr double kRunGap = 0.001;  // a larger gap between consecutive segments splits a run

// Restores the merge length on every way out of zpathFromPko.
class MergeLengthGuard {
 public:
  explicit MergeLengthGuard(bool off) : saved_(zpathGetMergeLength()) {
    if (off) zpathSetMergeLength(0.0);
  }
  ~MergeLengthGuard() { zpathSetMergeLength(saved_); }
  MergeLengthGuard(const MergeLengthGuard&) = delete;
  MergeLengthGuard& operator=(const MergeLengthGuard&) = delete;

 private:
  double saved_;
};

// Moves the last point of the path to the front.
void zpathLastToFront(ZPath* path) {
  const int n = path->count;
  if (n < 2) return;
  geoRotateArray(path->points, path->points + 2 * (n - 1), path->points + 2 * n, 2 * sizeof(float));
  geoRotateArray(path->contacts, path->contacts + 3 * (n - 1), path->contacts + 3 * n,
                 3 * sizeof(float));
  geoRotateArray(path->elementIds, path->elementIds + n - 1, path->elementIds + n,
                 sizeof(std::int32_t));
  geoRotateArray(path->contactKinds, path->contactKinds + n - 1, path->contactKinds + n,
                 sizeof(std::int32_t));
}

double pkoGap(const Point3D& a, const Point3D& b) {
  const double dx = a.x - b.x, dy = a.y - b.y, dz = a.z - b.z;
  return std::sqrt(dx * dx + dy * dy + dz * dz);
}

// Rotates the segments [t, u) of the list so that segment i comes first.
void pkoRotateRun(PkoList* list, int t, int i, int u) {
  geoRotateArray(list->segments + t, list->segments + i, list->segments + u, sizeof(Seg3D));
  geoRotateArray(list->boxes + t, list->boxes + i, list->boxes + u, sizeof(PkoBox));
  geoRotateArray(list->vectors + t, list->vectors + i, list->vectors + u, sizeof(Point3D));
  geoRotateArray(list->ids + t, list->ids + i, list->ids + u, sizeof(std::int32_t));
  geoRotateArray(list->kinds + t, list->kinds + i, list->kinds + u, sizeof(std::int32_t));
}

}  // namespace

int zpathFromPko(ZPath* path, const PkoList* list, int first, int end) {
  if (list == nullptr || list->count <= 0 || list->segments == nullptr) return 0;
  if (path == nullptr) return -1;
  if (first < 0 || end > list->count || first >= end) return geoFail(kGeoBadArgument, kModule);
  const MergeLengthGuard guard(end - first < kShortPiece);
  for (int i = first; i < end; ++i) {
    const Seg3D& s = list->segments[i];
    const Point3D& v = list->vectors[i];
    const float pt[2] = {static_cast<float>(s.end.x), static_cast<float>(s.end.y)};
    const float contact[3] = {static_cast<float>(v.x), static_cast<float>(v.y),
                              static_cast<float>(v.z)};
    if (zpathAppendPoint(path, pt, contact, list->ids[i], list->kinds[i]) != 1) return -1;
  }
  const float q[2] = {static_cast<float>(list->segments[first].start.x),
                      static_cast<float>(list->segments[first].start.y)};
  const int last = path->count - 1;
  const double gx = static_cast<double>(path->points[2 * last]) - q[0];
  const double gy = static_cast<double>(path->points[2 * last + 1]) - q[1];
  if (std::sqrt(gx * gx + gy * gy) < kCloseGap) {
    path->closed = 1;
  } else {
    path->closed = 0;
    path->orientation = 0;
    if (zpathAppendPoint(path, q, nullptr, -1, 0) != 1) return -1;
  }
  zpathLastToFront(path);
  if (path->closed == 1) {
    path->orientation = zpathOrientation(path);
    path->materialInside = zpathContactInside(path);
  }
  zpathRemoveDuplicatePoints(path, 1);
  path->area = zpathArea(path);
  return 1;
}

int zpathToPko(PkoList* list, const ZPath* path, int mode) {
  if (path == nullptr || path->count < 3 || path->points == nullptr) return 0;
  if (list == nullptr) return -1;
  const int n = path->count;
  const auto outerBoundary = [path](int j) {
    return path->elementIds[j] == -2 && path->contactKinds[j] == -1;
  };
  int c = 0;
  bool seen = false;
  for (int d = 0; d < n; ++d) {
    const int j = (d + 1) % n;
    if (seen && path->elementIds[j] != -2) {
      c = d;
      break;
    }
    if (outerBoundary(j)) seen = true;
  }
  const int t = list->count;
  const double box[6] = {list->xmin, list->ymin, list->zmin, list->xmax, list->ymax, list->zmax};
  for (int e = 0; e < n; ++e) {
    const int j = (c + 1) % n;
    const bool keep = path->elementIds[j] != -2 || ((mode & 1) != 0 && path->contactKinds[j] >= 0);
    if (keep) {
      const Seg3D seg{{path->points[2 * c], path->points[2 * c + 1], path->z},
                      {path->points[2 * j], path->points[2 * j + 1], path->z}};
      const Point3D v{path->contacts[3 * j], path->contacts[3 * j + 1], path->contacts[3 * j + 2]};
      if (pkoListAdd(list, seg, v, path->elementIds[j], path->contactKinds[j]) != 1) {
        list->count = t;  // what this call appended goes again, the box with it
        list->xmin = box[0];
        list->ymin = box[1];
        list->zmin = box[2];
        list->xmax = box[3];
        list->ymax = box[4];
        list->zmax = box[5];
        return -1;
      }
    }
    c = j;
  }
  const int u = list->count;
  for (int i = t + 1; i < u; ++i) {
    if (pkoGap(list->segments[i].start, list->segments[i - 1].end) > kRunGap) {
      pkoRotateRun(list, t, i, u);
      break;
    }
  }
  return 1;
}
