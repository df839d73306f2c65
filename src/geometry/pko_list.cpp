// pko_list.cpp - the traced segment list of the contour walker: storage, boxes, the collinear
// merge, the text dump and the nearest-segment questions of the step search.
#include "geometry/pko_list.h"

#include <cfloat>
#include <climits>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>

#include "framework/memory.h"
#include "framework/numtext.h"
#include "geometry/geo_error.h"
#include "geometry/nearest.h"

namespace {

constexpr int kMinRoom = 2;
constexpr double kMergeCross = 1e-5;  // |cross| below which a segment continues the kept one
constexpr double kFacingDot = 1e-5;   // |dot| above which a step is not perpendicular
constexpr int kMergeMinSegments = 6;  // shorter ranges are left alone

struct PkoState {
  int dumpCounter = 0;  // names the next ".pko" dump
};
PkoState pkoState;

void pkoEmptyBox(PkoList* list) {
  list->xmin = list->ymin = list->zmin = DBL_MAX;
  list->xmax = list->ymax = list->zmax = -DBL_MAX;
}

void pkoWiden(PkoList* list, const Point3D& p) {
  list->xmin = std::fmin(list->xmin, p.x);
  list->ymin = std::fmin(list->ymin, p.y);
  list->zmin = std::fmin(list->zmin, p.z);
  list->xmax = std::fmax(list->xmax, p.x);
  list->ymax = std::fmax(list->ymax, p.y);
  list->zmax = std::fmax(list->zmax, p.z);
}

void pkoFreeArrays(PkoList* list) {
  memFree(list->segments);
  memFree(list->boxes);
  memFree(list->vectors);
  memFree(list->ids);
  memFree(list->kinds);
}

bool pkoHasStorage(const PkoList* list) {
  return list->segments != nullptr && list->boxes != nullptr && list->vectors != nullptr &&
         list->ids != nullptr && list->kinds != nullptr;
}

// Reallocates one array to n entries of elem bytes; the array stays as it was on failure.
template <class T>
bool pkoGrowArray(T** array, std::size_t n) {
  void* p = memRealloc(*array, n * sizeof(T));
  if (p == nullptr) return false;
  *array = static_cast<T*>(p);
  return true;
}

// Room for one more segment. Each array is reallocated in turn; when one fails, those already
// grown keep their contents and the capacity stays, so the list is exactly as it was.
bool pkoMakeRoom(PkoList* list) {
  if (list->count < list->capacity) return true;
  double next = std::floor(static_cast<double>(list->capacity) * 1.5);
  if (next <= list->capacity) next = list->capacity + 1.0;
  if (next > INT_MAX / 2) return false;
  const auto n = static_cast<std::size_t>(next);
  if (!pkoGrowArray(&list->segments, n) || !pkoGrowArray(&list->boxes, n) ||
      !pkoGrowArray(&list->vectors, n) || !pkoGrowArray(&list->ids, n) ||
      !pkoGrowArray(&list->kinds, n)) {
    return false;
  }
  list->capacity = static_cast<std::int32_t>(next);
  return true;
}

void pkoSetBox(PkoList* list, int i) {
  pkoSegBox(list->segments[i], &list->boxes[i].min, &list->boxes[i].max);
}

// Copies segment from (with its data) to position to.
void pkoCopySeg(PkoList* list, int from, int to) {
  list->segments[to] = list->segments[from];
  list->vectors[to] = list->vectors[from];
  list->ids[to] = list->ids[from];
  list->kinds[to] = list->kinds[from];
}

// Whether segment i continues segment w on one line with equal id and kind.
bool pkoSegsMergeable(const PkoList* list, int w, int i) {
  if (list->kinds[w] != list->kinds[i] || list->ids[w] != list->ids[i]) return false;
  const Seg3D& kept = list->segments[w];
  const Point3D& p = list->segments[i].end;
  const double ax = kept.start.x - p.x, ay = kept.start.y - p.y;
  const double bx = kept.end.x - p.x, by = kept.end.y - p.y;
  return std::fabs(ax * by - ay * bx) < kMergeCross;
}

// Writes the text of segment i as one line into out (room for kPkoLineSize); returns its length.
constexpr std::size_t kPkoLineSize = 9 * kNumFixedTextSize + 64;
std::size_t pkoFormatLine(const PkoList* list, int i, char* out) {
  const Seg3D& s = list->segments[i];
  const Point3D& v = list->vectors[i];
  const double values[9] = {s.start.x, s.start.y, s.start.z, s.end.x, s.end.y,
                            s.end.z,   v.x,       v.y,       v.z};
  std::size_t n = 0;
  for (double x : values) {
    n += numFormatFixedWidth(out + n, kPkoLineSize - n, x, 3, 5);
    out[n++] = ' ';
  }
  n += static_cast<std::size_t>(
      std::snprintf(out + n, kPkoLineSize - n, "%d  %d\n", list->ids[i], list->kinds[i]));
  return n;
}

}  // namespace

PkoList* pkoListNew(int capacity) {
  const int room = capacity < kMinRoom ? kMinRoom : capacity;
  if (room > INT_MAX / 2) return nullptr;
  auto* list = static_cast<PkoList*>(memAllocZero(sizeof(PkoList)));
  if (list == nullptr) return nullptr;
  const auto n = static_cast<std::size_t>(room);
  list->segments = static_cast<Seg3D*>(memAllocZero(n * sizeof(Seg3D)));
  list->boxes = static_cast<PkoBox*>(memAllocZero(n * sizeof(PkoBox)));
  list->vectors = static_cast<Point3D*>(memAllocZero(n * sizeof(Point3D)));
  list->ids = static_cast<std::int32_t*>(memAllocZero(n * sizeof(std::int32_t)));
  list->kinds = static_cast<std::int32_t*>(memAllocZero(n * sizeof(std::int32_t)));
  if (!pkoHasStorage(list)) {
    pkoFreeArrays(list);
    memFree(list);
    return nullptr;
  }
  list->capacity = room;
  pkoEmptyBox(list);
  return list;
}

int pkoListFree(PkoList* list) {
  if (list == nullptr) return 0;
  pkoFreeArrays(list);
  memFree(list);
  return 1;
}

int pkoListReset(PkoList* list) {
  if (list == nullptr) return 0;
  list->count = 0;
  pkoEmptyBox(list);
  return 1;
}

int pkoListAppend(PkoList* list, const Seg3D& seg, const Point3D& vector, int id, int kind) {
  if (list == nullptr || !pkoHasStorage(list)) return -1;
  const Seg3D s = seg;  // the segment may live in this list's storage
  const Point3D v = vector;
  if (!pkoMakeRoom(list)) return -1;
  const int i = list->count;
  list->segments[i] = s;
  list->vectors[i] = v;
  list->ids[i] = id;
  list->kinds[i] = kind;
  pkoSetBox(list, i);
  pkoWiden(list, s.start);
  pkoWiden(list, s.end);
  list->count = i + 1;
  return i;
}

int pkoListAdd(PkoList* list, const Seg3D& seg, const Point3D& vector, int id, int kind) {
  return pkoListAppend(list, seg, vector, id, kind) >= 0 ? 1 : -1;
}

int pkoSegBox(const Seg3D& seg, Point3D* min, Point3D* max) {
  *min = Point3D{std::fmin(seg.start.x, seg.end.x), std::fmin(seg.start.y, seg.end.y),
                 std::fmin(seg.start.z, seg.end.z)};
  *max = Point3D{std::fmax(seg.start.x, seg.end.x), std::fmax(seg.start.y, seg.end.y),
                 std::fmax(seg.start.z, seg.end.z)};
  return 0;
}

int pkoListUpdateBoxes(PkoList* list) {
  if (list == nullptr || list->count <= 0 || !pkoHasStorage(list)) return 0;
  const Point3D& first = list->segments[0].start;
  list->xmin = list->xmax = first.x;
  list->ymin = list->ymax = first.y;
  list->zmin = list->zmax = first.z;
  for (int i = 0; i < list->count; ++i) {
    pkoSetBox(list, i);
    pkoWiden(list, list->boxes[i].min);
    pkoWiden(list, list->boxes[i].max);
  }
  return 1;
}

void pkoListMergeRange(PkoList* list, int from, int to) {
  if (list == nullptr || !pkoHasStorage(list)) return;
  if (from < 0) from = 0;
  if (to > list->count) to = list->count;
  if (to - from < kMergeMinSegments) return;
  int w = from;
  for (int i = from + 1; i < to; ++i) {
    if (i != to - 1 && pkoSegsMergeable(list, w, i)) {
      list->segments[w].end = list->segments[i].end;
      list->vectors[w] = list->vectors[i];
      list->ids[w] = list->ids[i];
      list->kinds[w] = list->kinds[i];
    } else {
      ++w;
      pkoCopySeg(list, i, w);
    }
  }
  // Segments after the range follow the merged ones, so a range short of the count loses none.
  for (int i = to; i < list->count; ++i) pkoCopySeg(list, i, ++w);
  list->count = w + 1;
  for (int i = 0; i < list->count; ++i) pkoSetBox(list, i);
}

int pkoListWrite(const PkoList* list, const char* fileName) {
  if (list == nullptr || !pkoHasStorage(list) || fileName == nullptr) return -1;
  std::FILE* f = std::fopen(fileName, "w");
  if (f == nullptr) return -1;
  char line[kPkoLineSize];
  bool ok = true;
  for (int i = 0; i < list->count && ok; ++i) {
    const std::size_t n = pkoFormatLine(list, i, line);
    ok = std::fwrite(line, 1, n, f) == n;
  }
  if (std::fclose(f) != 0) ok = false;
  return ok ? 1 : -1;
}

int pkoListDump(const PkoList* list) {
  if (geoDebugOn() != 1) return 1;
  char name[32];
  std::snprintf(name, sizeof name, "%08d.pko", pkoState.dumpCounter % 100000000);
  const int result = pkoListWrite(list, name);
  if (result < 0) return result;
  if (pkoState.dumpCounter < INT_MAX) ++pkoState.dumpCounter;
  return 1;
}

double geoNearestSeg3D(const Seg3D* segments, int n, const Point3D& p, int* index) {
  if (segments == nullptr || n <= 0) return 0.0;
  double best = DBL_MAX;
  int at = 0;
  for (int i = 0; i < n; ++i) {
    const double d = plineNearestOnSegXY(segments[i].start, segments[i].end, p, nullptr);
    if (d < best) {
      best = d;
      at = i;
    }
  }
  if (index != nullptr) *index = at;
  return best;
}

int geoNearSegFacing(const PkoList* list, int from, int to, const Seg3D& step, double tol) {
  if (list == nullptr || list->segments == nullptr) return 0;
  if (from < 0) from = 0;
  if (to > list->count) to = list->count;
  if (from >= to) return 0;
  int at = 0;
  const double d = geoNearestSeg3D(list->segments + from, to - from, step.end, &at);
  if (!(d <= tol)) return 0;
  const Seg3D& s = list->segments[from + at];
  const double dot = (step.end.x - step.start.x) * (s.end.x - s.start.x) +
                     (step.end.y - step.start.y) * (s.end.y - s.start.y);
  return std::fabs(dot) > kFacingDot ? 1 : 0;
}

void pkoListResetState() { pkoState = PkoState{}; }
