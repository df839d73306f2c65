// lists.cpp - creation, growth, boxes and free functions of the typed growable lists, the
// measures of segment lists and the text dump of triangle lists.
#include "geometry/lists.h"

#include <cfloat>
#include <charconv>
#include <climits>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <string>

#include "framework/memory.h"
#include "geometry/geo_error.h"

namespace {
struct LstState {
  int triDumpCounter = 0;  // names the next ".3dt" dump
};
LstState lstState;

enum class Growth { kHalfPlusOne, kHalf };

// How a create function raises a small capacity request.
enum class MinRule { kZeroOrOne, kBelow };

int lstRaise(int capacity, MinRule rule, int minimum) {
  if (rule == MinRule::kZeroOrOne) return capacity <= 1 ? minimum : capacity;
  return capacity < minimum ? minimum : capacity;
}

// Allocates zero-filled storage for capacity elements; null when the size overflows or memory
// runs out.
void* lstAllocItems(int capacity, std::size_t elem) {
  if (capacity <= 0 || static_cast<std::size_t>(capacity) > SIZE_MAX / elem) return nullptr;
  return memAllocZero(static_cast<std::size_t>(capacity) * elem);
}

// Grows the storage by the list's rule. On failure the storage and capacity are unchanged.
bool lstGrowRaw(void** items, std::int32_t* capacity, std::size_t elem, Growth g) {
  double next = std::floor(static_cast<double>(*capacity) * 1.5);
  if (g == Growth::kHalfPlusOne) next += 1.0;
  if (next <= *capacity) next = *capacity + 1.0;
  if (next > INT_MAX || next > static_cast<double>(SIZE_MAX / elem)) return false;
  const int cap = static_cast<int>(next);
  void* p = memRealloc(*items, static_cast<std::size_t>(cap) * elem);
  if (p == nullptr) return false;
  *items = p;
  *capacity = cap;
  return true;
}

// Creates a list header of type L with storage for the raised capacity of elements T.
template <class L, class T>
L* lstCreate(int capacity, MinRule rule, int minimum) {
  const int cap = lstRaise(capacity, rule, minimum);
  L* list = static_cast<L*>(memAllocZero(sizeof(L)));
  if (list == nullptr) return nullptr;
  void* items = lstAllocItems(cap, sizeof(T));
  if (items == nullptr) {
    memFree(list);
    return nullptr;
  }
  list->items = static_cast<decltype(list->items)>(items);
  list->count = 0;
  list->capacity = cap;
  return list;
}

// Makes room for one more element; false (list unchanged) when growth fails.
template <class L>
bool lstMakeRoom(L* list, std::size_t elem, Growth g) {
  if (list->count < list->capacity) return true;
  void* items = list->items;
  if (!lstGrowRaw(&items, &list->capacity, elem, g)) return false;
  list->items = static_cast<decltype(list->items)>(items);
  return true;
}

// Appends a copy of item to a list whose items are T; the element's index, or -1.
template <class T, class L>
int lstPush(L* list, const T& item, Growth g) {
  if (list == nullptr || list->items == nullptr) return geoFail(kGeoFailed, "lists");
  const T copy = item;  // item may live in the storage about to move
  if (!lstMakeRoom(list, sizeof(T), g)) return geoFail(kGeoFailed, "lists");
  static_cast<T*>(static_cast<void*>(list->items))[list->count] = copy;
  return list->count++;
}

template <class L>
void lstFreeList(L* list) {
  if (list == nullptr) return;
  memFree(list->items);
  memFree(list);
}

template <class V>
void lstWiden(V v, V* lo, V* hi) {
  if (v < *lo) *lo = v;
  if (v > *hi) *hi = v;
}

template <class L>
void lstWiden2(L* list, double x, double y) {
  lstWiden(x, &list->xmin, &list->xmax);
  lstWiden(y, &list->ymin, &list->ymax);
}

template <class L, class V>
void lstWiden3(L* list, V x, V y, V z) {
  lstWiden(x, &list->xmin, &list->xmax);
  lstWiden(y, &list->ymin, &list->ymax);
  lstWiden(z, &list->zmin, &list->zmax);
}

template <class L, class V>
void lstEmptyBox2(L* list, V big) {
  list->xmin = list->ymin = big;
  list->xmax = list->ymax = -big;
}

template <class L, class V>
void lstEmptyBox3(L* list, V big) {
  list->xmin = list->ymin = list->zmin = big;
  list->xmax = list->ymax = list->zmax = -big;
}
}  // namespace

void lstResetState() { lstState = LstState{}; }

// ---- IntList ----------------------------------------------------------------------------------

IntList* lstIntNew(int capacity) {
  IntList* list = lstCreate<IntList, std::int32_t>(capacity, MinRule::kZeroOrOne, 3);
  lstIntReset(list);
  return list;
}

int lstIntReset(IntList* list) {
  if (list == nullptr) return 1;
  list->count = 0;
  list->min = INT_MAX;
  list->max = INT_MIN;
  return 1;
}

int lstIntAppend(IntList* list, int value) {
  const int index = lstPush<std::int32_t>(list, value, Growth::kHalfPlusOne);
  if (index < 0) return index;
  lstWiden<std::int32_t>(value, &list->min, &list->max);
  return index;
}

int lstIntFree(IntList* list) {
  if (list == nullptr) return 0;
  lstFreeList(list);
  return 1;
}

// ---- RecList ----------------------------------------------------------------------------------

namespace {
template <class T>
RecList* lstRecNew(int capacity, MinRule rule) {
  return lstCreate<RecList, T>(capacity, rule, 3);
}
}  // namespace

RecList* lstRec8New(int capacity) { return lstRecNew<Rec8>(capacity, MinRule::kZeroOrOne); }
int lstRec8Append(RecList* list, const Rec8& rec) {
  return lstPush<Rec8>(list, rec, Growth::kHalfPlusOne);
}
RecList* lstRec12New(int capacity) { return lstRecNew<Rec12>(capacity, MinRule::kZeroOrOne); }
int lstRec12Append(RecList* list, const Rec12& rec) {
  return lstPush<Rec12>(list, rec, Growth::kHalfPlusOne);
}
RecList* lstRec16New(int capacity) { return lstRecNew<Rec16>(capacity, MinRule::kBelow); }
int lstRec16Append(RecList* list, const Rec16& rec) {
  return lstPush<Rec16>(list, rec, Growth::kHalfPlusOne);
}
RecList* lstRec32New(int capacity) { return lstRecNew<Rec32>(capacity, MinRule::kZeroOrOne); }
int lstRec32Append(RecList* list, const Rec32& rec) {
  return lstPush<Rec32>(list, rec, Growth::kHalfPlusOne);
}
RecList* lstRec40New(int capacity) { return lstRecNew<Rec40>(capacity, MinRule::kBelow); }
int lstRec40Append(RecList* list, const Rec40& rec) {
  return lstPush<Rec40>(list, rec, Growth::kHalfPlusOne) < 0 ? -1 : 1;
}
RecList* lstPairNew(int capacity) { return lstRecNew<PtrValPair>(capacity, MinRule::kBelow); }
int lstPairAppend(RecList* list, const PtrValPair& pair) {
  return lstPush<PtrValPair>(list, pair, Growth::kHalfPlusOne) < 0 ? -1 : 1;
}

int lstRecClear(RecList* list) {
  if (list != nullptr) list->count = 0;
  return 1;
}

RecList* lstPairClear(RecList* list) {
  if (list != nullptr) list->count = 0;
  return list;
}

void lstRecFree(RecList* list) { lstFreeList(list); }

// ---- 2D lists ---------------------------------------------------------------------------------

Pt2List* lstPt2New(int capacity) {
  Pt2List* list = lstCreate<Pt2List, Point2D>(capacity, MinRule::kZeroOrOne, 3);
  lstPt2Reset(list);
  return list;
}

int lstPt2Reset(Pt2List* list) {
  if (list == nullptr) return 1;
  list->count = 0;
  lstEmptyBox2(list, DBL_MAX);
  return 1;
}

int lstPt2Append(Pt2List* list, const Point2D& p) {
  const Point2D copy = p;
  if (lstPush<Point2D>(list, copy, Growth::kHalfPlusOne) < 0) return -1;
  lstWiden2(list, copy.x, copy.y);
  return 1;
}

Seg2List* lstSeg2New(int capacity) {
  Seg2List* list = lstCreate<Seg2List, Seg2D>(capacity, MinRule::kBelow, 3);
  lstSeg2Reset(list);
  return list;
}

int lstSeg2Reset(Seg2List* list) {
  if (list == nullptr) return 1;
  list->count = 0;
  lstEmptyBox2(list, DBL_MAX);
  return 1;
}

int lstSeg2Append(Seg2List* list, const Seg2D& seg) {
  const Seg2D copy = seg;
  if (lstPush<Seg2D>(list, copy, Growth::kHalfPlusOne) < 0) return -1;
  lstWiden2(list, copy.x1, copy.y1);
  lstWiden2(list, copy.x2, copy.y2);
  return 1;
}

double lstSeg2Area(const Seg2List* list, int from, int to) {
  if (list == nullptr || list->items == nullptr) return 0.0;
  if (from < 0 || to > list->count || to - from < 2) return 0.0;
  const Seg2D* s = list->items;
  double sum = 0.0;
  for (int i = from; i < to; ++i) {
    const int next = i + 1 < to ? i + 1 : from;
    const int prev = i > from ? i - 1 : to - 1;
    sum += s[i].x1 * (s[next].y1 - s[prev].y1);
  }
  return sum * 0.5;
}

double lstSeg2Length(const Seg2List* list, int from, int to) {
  if (list == nullptr || list->items == nullptr) return 0.0;
  if (from < 0 || to > list->count || from >= to) return 0.0;
  double sum = 0.0;
  for (int i = from; i < to; ++i)
    sum += geoDist2D(g2dSegStart(list->items[i]), g2dSegEnd(list->items[i]));
  return sum;
}

LineArcList* lstElemNew(int capacity) {
  LineArcList* list = lstCreate<LineArcList, LineArcElem>(capacity, MinRule::kBelow, 3);
  if (list != nullptr) lstEmptyBox2(list, 1e10);
  return list;
}

int lstElemAppend(LineArcList* list, const LineArcElem& elem) {
  const LineArcElem copy = elem;
  const int index = lstPush<LineArcElem>(list, copy, Growth::kHalf);
  if (index < 0) return -1;
  const Arc2D& a = copy.arc;
  lstWiden2(list, a.sx, a.sy);
  lstWiden2(list, a.ex, a.ey);
  if (copy.kind == 2) {
    // The circle's axis extremes that the sweep passes.
    const Point2D extremes[4] = {{a.cx - a.radius, a.cy},
                                 {a.cx + a.radius, a.cy},
                                 {a.cx, a.cy - a.radius},
                                 {a.cx, a.cy + a.radius}};
    for (const Point2D& p : extremes)
      if (geoArcSweepHas(p, a) == 1) lstWiden2(list, p.x, p.y);
  }
  return index;
}

void lstBox2Free(Pt2List* list) { lstFreeList(list); }
void lstBox2Free(Seg2List* list) { lstFreeList(list); }
void lstBox2Free(LineArcList* list) { lstFreeList(list); }

// ---- DblList ----------------------------------------------------------------------------------

DblList* lstDblNew(int capacity) {
  DblList* list = lstCreate<DblList, double>(capacity, MinRule::kBelow, 3);
  lstDblReset(list);
  return list;
}

int lstDblReset(DblList* list) {
  if (list == nullptr) return 1;
  list->count = 0;
  list->min = DBL_MAX;
  list->max = -DBL_MAX;
  return 1;
}

int lstDblPush(DblList* list, double value) {
  if (lstPush<double>(list, value, Growth::kHalfPlusOne) < 0) return -1;
  lstWiden(value, &list->min, &list->max);
  return 1;
}

void lstDblFree(DblList* list) { lstFreeList(list); }

// ---- 3D lists ---------------------------------------------------------------------------------

Pt3List* lstPt3New(int capacity) {
  Pt3List* list = lstCreate<Pt3List, Point3D>(capacity, MinRule::kZeroOrOne, 3);
  lstPt3Reset(list);
  return list;
}

int lstPt3Reset(Pt3List* list) {
  if (list == nullptr) return 1;
  list->count = 0;
  lstEmptyBox3(list, DBL_MAX);
  return 1;
}

int lstPt3Append(Pt3List* list, const Point3D& p) {
  const Point3D copy = p;
  if (lstPush<Point3D>(list, copy, Growth::kHalfPlusOne) < 0) return -1;
  lstWiden3(list, copy.x, copy.y, copy.z);
  return 1;
}

Seg3List* lstSeg3New(int capacity) {
  Seg3List* list = lstCreate<Seg3List, Seg3D>(capacity, MinRule::kBelow, 3);
  if (list != nullptr) lstEmptyBox3(list, DBL_MAX);
  return list;
}

int lstSeg3Append(Seg3List* list, const Seg3D& seg) {
  const Seg3D copy = seg;
  if (lstPush<Seg3D>(list, copy, Growth::kHalfPlusOne) < 0) return -1;
  lstWiden3(list, copy.start.x, copy.start.y, copy.start.z);
  lstWiden3(list, copy.end.x, copy.end.y, copy.end.z);
  return 1;
}

Tri3List* lstTri3New(int capacity) {
  Tri3List* list = lstCreate<Tri3List, Tri3D>(capacity, MinRule::kBelow, 2);
  if (list != nullptr) lstEmptyBox3(list, 1e10);
  return list;
}

int lstTri3Append(Tri3List* list, const Tri3D& tri) {
  const Tri3D copy = tri;
  if (lstPush<Tri3D>(list, copy, Growth::kHalf) < 0) return -1;
  for (const Point3D& v : copy.v) lstWiden3(list, v.x, v.y, v.z);
  return list->count;
}

int lstTri3Write(const Tri3List* list, const char* fileName) {
  if (list == nullptr || list->items == nullptr || fileName == nullptr) return -1;
  std::FILE* f = std::fopen(fileName, "w");
  if (f == nullptr) return -1;
  // Numbers as "%.6lf" in the "C" locale, whatever locale the host set.
  std::string line;
  for (int i = 0; i < list->count; ++i) {
    line.clear();
    for (int k = 0; k < 3; ++k) {
      const Point3D& v = list->items[i].v[k];
      for (double value : {v.x, v.y, v.z}) {
        char buf[400];
        const auto res = std::to_chars(buf, buf + sizeof buf, value, std::chars_format::fixed, 6);
        if (!line.empty()) line += ' ';
        line.append(buf, res.ptr);
      }
    }
    line += '\n';
    std::fputs(line.c_str(), f);
  }
  std::fclose(f);
  return 1;
}

int lstTri3Dump(const Tri3List* list) {
  char name[32];
  std::snprintf(name, sizeof name, "%08d.3dt", lstState.triDumpCounter % 100000000);
  const int result = lstTri3Write(list, name);
  if (result < 0) return result;
  ++lstState.triDumpCounter;
  return 1;
}

void lstBox3Free(Pt3List* list) { lstFreeList(list); }
void lstBox3Free(Seg3List* list) { lstFreeList(list); }
void lstBox3Free(Tri3List* list) { lstFreeList(list); }

// ---- TriFList ---------------------------------------------------------------------------------

TriFList* lstTriFNew(int capacity) {
  TriFList* list = lstCreate<TriFList, TriF>(capacity, MinRule::kBelow, 3);
  if (list != nullptr) lstEmptyBox3(list, 1e10f);
  return list;
}

int lstTriFAppend(TriFList* list, const TriF& tri) {
  const TriF copy = tri;
  if (lstPush<TriF>(list, copy, Growth::kHalf) < 0) return -1;
  for (int k = 0; k < 3; ++k) lstWiden3(list, copy.v[3 * k], copy.v[3 * k + 1], copy.v[3 * k + 2]);
  return list->count;
}

void lstTriFFree(TriFList* list) { lstFreeList(list); }

// ---- ByteRecList ------------------------------------------------------------------------------

ByteRecList* lstBytesNew(int capacity, int recSize) {
  if (recSize < 1) return nullptr;
  const int cap = lstRaise(capacity, MinRule::kBelow, 3);
  ByteRecList* list = static_cast<ByteRecList*>(memAllocZero(sizeof(ByteRecList)));
  if (list == nullptr) return nullptr;
  void* items = lstAllocItems(cap, static_cast<std::size_t>(recSize));
  if (items == nullptr) {
    memFree(list);
    return nullptr;
  }
  list->items = static_cast<unsigned char*>(items);
  list->capacity = cap;
  list->recSize = recSize;
  return list;
}

int lstBytesAppendN(ByteRecList* list, const void* record, int n) {
  if (list == nullptr || list->items == nullptr) return geoFail(kGeoFailed, "lists");
  if (record == nullptr || n < 1 || n > list->recSize) return geoFail(kGeoBadArgument, "lists");
  const std::size_t size = static_cast<std::size_t>(list->recSize);
  // The record may be one of this list's own: copy it aside before the storage can move.
  unsigned char* scratch = static_cast<unsigned char*>(memAllocZero(size));
  if (scratch == nullptr) return geoFail(kGeoFailed, "lists");
  std::memcpy(scratch, record, static_cast<std::size_t>(n));
  void* items = list->items;
  if (list->count >= list->capacity && !lstGrowRaw(&items, &list->capacity, size, Growth::kHalf)) {
    memFree(scratch);
    return geoFail(kGeoFailed, "lists");
  }
  list->items = static_cast<unsigned char*>(items);
  std::memcpy(list->items + static_cast<std::size_t>(list->count) * size, scratch, size);
  memFree(scratch);
  ++list->count;
  return 1;
}

int lstBytesAppend(ByteRecList* list, const void* record) {
  if (list == nullptr) return geoFail(kGeoFailed, "lists");
  return lstBytesAppendN(list, record, list->recSize);
}

int lstBytesAppendOk(ByteRecList* list, const void* record, int n) {
  return lstBytesAppendN(list, record, n) == 1 ? 1 : 0;
}

void* lstBytesAt(ByteRecList* list, int i) {
  if (list == nullptr || list->items == nullptr || i < 0 || i >= list->count) return nullptr;
  return list->items + static_cast<std::size_t>(i) * static_cast<std::size_t>(list->recSize);
}

int lstBytesRemove(ByteRecList* list, int i) {
  if (list == nullptr || list->items == nullptr || i < 0 || i >= list->count) return 0;
  const std::size_t size = static_cast<std::size_t>(list->recSize);
  unsigned char* at = list->items + static_cast<std::size_t>(i) * size;
  std::memmove(at, at + size, static_cast<std::size_t>(list->count - i - 1) * size);
  --list->count;
  return 1;
}

int lstBytesPop(ByteRecList* list, void* out, int n) {
  if (list == nullptr || list->items == nullptr || list->count <= 0) return 0;
  if (out == nullptr || n < 1 || n > list->recSize) return -20;
  --list->count;
  std::memcpy(out, list->items + static_cast<std::size_t>(list->count) * list->recSize,
              static_cast<std::size_t>(n));
  return 1;
}

void lstBytesFree(ByteRecList* list) { lstFreeList(list); }
