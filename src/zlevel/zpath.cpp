// zpath.cpp - Z-path records and lists: creation, release, removal and the conversion of region
// contours into closed paths.
#include "zlevel/zpath.h"

#include <cfloat>
#include <climits>
#include <cmath>
#include <cstring>

#include "framework/memory.h"
#include "geometry/geo_error.h"
#include "geometry/kont2d.h"

namespace {
constexpr int kMinRoom = 3;

void zpathFreeArrays(ZPath* path) {
  memFree(path->points);
  memFree(path->contacts);
  memFree(path->elementIds);
  memFree(path->contactKinds);
  path->points = nullptr;
  path->contacts = nullptr;
  path->elementIds = nullptr;
  path->contactKinds = nullptr;
}

// Sets path to a fresh empty path with room for n points (n below 3 becomes 3). Returns false
// with nothing held when memory runs out.
bool zpathInit(ZPath* path, int n) {
  const int room = n < kMinRoom ? kMinRoom : n;
  const std::size_t m = static_cast<std::size_t>(room);
  std::memset(path, 0, sizeof *path);
  path->points = static_cast<float*>(memAllocZero(m * 2 * sizeof(float)));
  path->contacts = static_cast<float*>(memAllocZero(m * 3 * sizeof(float)));
  path->elementIds = static_cast<std::int32_t*>(memAllocZero(m * sizeof(std::int32_t)));
  path->contactKinds = static_cast<std::int32_t*>(memAllocZero(m * sizeof(std::int32_t)));
  if (path->points == nullptr || path->contacts == nullptr || path->elementIds == nullptr ||
      path->contactKinds == nullptr) {
    zpathFreeArrays(path);
    return false;
  }
  path->capacity = room;
  path->xmin = path->ymin = DBL_MAX;
  path->xmax = path->ymax = -DBL_MAX;
  path->groupStartX = path->groupStartY = DBL_MAX;
  path->subGroupStartX = path->subGroupStartY = DBL_MAX;
  path->z = DBL_MAX;
  path->closed = path->orientation = path->materialInside = INT_MAX;
  path->nestingDepth = path->groupId = path->subGroupId = INT_MAX;
  return true;
}

// Room for one more path. Returns false when memory runs out (the list unchanged).
bool zpathListReserve(ZPathList* list) {
  if (list->count < list->capacity && list->items != nullptr) return true;
  if (list->capacity > INT_MAX / 3 * 2) return false;
  int grown = list->capacity + list->capacity / 2 + 1;
  if (grown < kMinRoom) grown = kMinRoom;
  auto* items =
      static_cast<ZPath*>(memRealloc(list->items, sizeof(ZPath) * static_cast<std::size_t>(grown)));
  if (items == nullptr) return false;
  list->items = items;
  list->capacity = grown;
  return true;
}

// Fills path with the start points of the contour's segments as a closed boundary path.
void zpathFillFromContour(ZPath* path, const Kont2D* k, bool outer) {
  for (int i = 0; i < k->count; ++i) {
    const float x = static_cast<float>(k->segments[i].x1);
    const float y = static_cast<float>(k->segments[i].y1);
    path->points[2 * i] = x;
    path->points[2 * i + 1] = y;
    path->elementIds[i] = -2;
    path->contactKinds[i] = outer ? -1 : 0;
    path->xmin = std::fmin(path->xmin, static_cast<double>(x));
    path->ymin = std::fmin(path->ymin, static_cast<double>(y));
    path->xmax = std::fmax(path->xmax, static_cast<double>(x));
    path->ymax = std::fmax(path->ymax, static_cast<double>(y));
  }
  path->count = k->count;
  double sum = 0.0;  // shoelace over the stored points
  for (int i = 0; i < k->count; ++i) {
    const int j = (i + 1) % k->count;
    sum += static_cast<double>(path->points[2 * i]) * path->points[2 * j + 1] -
           static_cast<double>(path->points[2 * j]) * path->points[2 * i + 1];
  }
  path->area = 0.5 * sum;
  path->orientation = path->area > 0.0 ? 1 : -1;
  path->z = k->z;
  path->closed = 1;
  path->flags = ZP_FROM_CONTOUR;
  path->materialInside = outer ? 1 : 0;
  path->nestingDepth = outer ? 0 : 1;
}
}  // namespace

ZPathList* zpathListNew(int n) {
  const int room = n < kMinRoom ? kMinRoom : n;
  auto* list = static_cast<ZPathList*>(memAllocZero(sizeof(ZPathList)));
  if (list == nullptr) {
    geoFail(kGeoFailed, "zpath");
    return nullptr;
  }
  list->items = static_cast<ZPath*>(memAllocZero(sizeof(ZPath) * static_cast<std::size_t>(room)));
  if (list->items == nullptr) {
    memFree(list);
    geoFail(kGeoFailed, "zpath");
    return nullptr;
  }
  list->capacity = room;
  return list;
}

int zpathListFree(ZPathList* list) {
  if (list == nullptr) return 1;
  for (int i = 0; i < list->count && list->items != nullptr; ++i) zpathFreeArrays(&list->items[i]);
  memFree(list->items);
  memFree(list);
  return 1;
}

int zpathListRemove(ZPathList* list, int index) {
  if (list == nullptr || list->items == nullptr || list->count <= 0) return 0;
  if (index < 0 || index >= list->count) return 0;
  zpathFreeArrays(&list->items[index]);
  const int later = list->count - index - 1;
  if (later > 0)
    std::memmove(&list->items[index], &list->items[index + 1],
                 sizeof(ZPath) * static_cast<std::size_t>(later));
  --list->count;
  std::memset(&list->items[list->count], 0, sizeof(ZPath));
  return 1;
}

int zpathListFromContours(ZPathList* list, const Kont2D* region) {
  if (list == nullptr || region == nullptr || region->count <= 0 || region->segments == nullptr)
    return 0;
  const int before = list->count;
  for (const Kont2D* k = region; k != nullptr; k = kontWalkNext(region, k)) {
    if (k->count <= 0 || k->segments == nullptr) continue;
    ZPath path;
    if (!zpathListReserve(list) || !zpathInit(&path, k->count)) {
      while (list->count > before) zpathListRemove(list, list->count - 1);
      return geoFail(kGeoFailed, "zpath");
    }
    zpathFillFromContour(&path, k, k == region);
    list->items[list->count++] = path;
  }
  return 1;
}
