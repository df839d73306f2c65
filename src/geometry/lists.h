// lists.h - the typed growable lists of the geometry code: one contiguous block of elements per
// list, amortised constant-time append, and a box (or minimum and maximum) of everything appended
// since the last reset, kept up to date on every append so no caller rescans a list.
//
// Every list starts with count and capacity. An append that finds the list full grows it
// ("x1.5+1": floor(capacity * 1.5) + 1; "x1.5": floor(capacity * 1.5)). Growth is all or
// nothing: when it fails the append returns -1 and the list keeps its elements and capacity.
// Appends take a copy of the element first, so an element of the same list may be appended.
#pragma once

#include <cstddef>
#include <cstdint>

#include "geometry/plane_geo.h"
#include "geometry/vec.h"

// ---- element records --------------------------------------------------------------------------

// A line or an arc: kind 1 line (only start and end of arc meaningful) or 2 arc.
struct LineArcElem {
  std::int16_t kind;
  Arc2D arc;
};
static_assert(sizeof(LineArcElem) == 88);

// Fixed-size records of 32-bit words for RecList.
struct Rec8 {
  std::int32_t w[2];
};
struct Rec12 {
  std::int32_t w[3];
};
struct Rec16 {
  std::int32_t w[4];
};
struct Rec32 {
  std::int32_t w[8];
};
struct Rec40 {
  std::int32_t w[10];
};

// A caller's record and a value; the list does not own what ptr designates.
struct PtrValPair {
  void* ptr;
  float value;
};

// ---- list records -----------------------------------------------------------------------------

struct IntList {
  std::int32_t count;
  std::int32_t capacity;
  std::int32_t min;  // INT_MAX when empty
  std::int32_t max;  // INT_MIN when empty
  std::int32_t* items;
};

// Records of one fixed size (Rec8 .. Rec40 or PtrValPair). A RecList is appended only with the
// append function of the create function that made it.
struct RecList {
  std::int32_t count;
  std::int32_t capacity;
  void* items;
};

// Box of all points since creation or reset; empty: xmin = ymin = +DBL_MAX, xmax = ymax = -DBL_MAX.
struct Pt2List {
  std::int32_t count;
  std::int32_t capacity;
  double xmin, ymin, xmax, ymax;
  Point2D* items;
};

// As Pt2List; both ends of a segment widen the box.
struct Seg2List {
  std::int32_t count;
  std::int32_t capacity;
  double xmin, ymin, xmax, ymax;
  Seg2D* items;
};

// As Pt2List, but the empty box is +1e10 / -1e10; an arc widens it by its extremes.
struct LineArcList {
  std::int32_t count;
  std::int32_t capacity;
  double xmin, ymin, xmax, ymax;
  LineArcElem* items;
};

struct DblList {
  std::int32_t count;
  std::int32_t capacity;
  double min;  // +DBL_MAX when empty
  double max;  // -DBL_MAX when empty
  double* items;
};

// Box of all points; empty +DBL_MAX / -DBL_MAX.
struct Pt3List {
  std::int32_t count;
  std::int32_t capacity;
  double xmin, ymin, zmin, xmax, ymax, zmax;
  Point3D* items;
};

// As Pt3List; both ends widen the box.
struct Seg3List {
  std::int32_t count;
  std::int32_t capacity;
  double xmin, ymin, zmin, xmax, ymax, zmax;
  Seg3D* items;
};

// As Pt3List, but the empty box is +1e10 / -1e10; all three corners widen it.
struct Tri3List {
  std::int32_t count;
  std::int32_t capacity;
  double xmin, ymin, zmin, xmax, ymax, zmax;
  Tri3D* items;
};

// Single-precision triangles with a float box (empty +1e10 / -1e10).
struct TriFList {
  std::int32_t count;
  std::int32_t capacity;
  float xmin, ymin, zmin, xmax, ymax, zmax;
  TriF* items;
};

// Records of a size fixed at creation; storage zero-filled at creation.
struct ByteRecList {
  std::int32_t count;
  std::int32_t capacity;
  std::int32_t recSize;
  unsigned char* items;
};

// ---- creation, reset, append, free ------------------------------------------------------------
// Create functions return a new empty list with storage for the capacity raised to the list's
// minimum (as noted), or null when memory runs out (nothing stays allocated). Resets keep the
// storage, accept null and return 1. Appends return -1 for a null list, a list without storage,
// or a failed growth; otherwise the value noted. Free functions accept null.

// Capacity of 1 or less becomes 3; growth x1.5+1. Append returns the new element's index.
IntList* lstIntNew(int capacity);
int lstIntReset(IntList* list);
int lstIntAppend(IntList* list, int value);
// Frees an IntList and its items. Returns 1; 0 for null.
int lstIntFree(IntList* list);

// RecList members; growth x1.5+1. Capacity of 1 or less becomes 3 for 8-, 12- and 32-byte
// records, below 3 becomes 3 for the others. Rec8/12/16/32 appends return the index; Rec40 and
// pair appends return 1. The 40-byte storage is zero-filled at creation.
RecList* lstRec8New(int capacity);
int lstRec8Append(RecList* list, const Rec8& rec);
RecList* lstRec12New(int capacity);
int lstRec12Append(RecList* list, const Rec12& rec);
RecList* lstRec16New(int capacity);
int lstRec16Append(RecList* list, const Rec16& rec);
RecList* lstRec32New(int capacity);
int lstRec32Append(RecList* list, const Rec32& rec);
RecList* lstRec40New(int capacity);
int lstRec40Append(RecList* list, const Rec40& rec);
RecList* lstPairNew(int capacity);
int lstPairAppend(RecList* list, const PtrValPair& pair);
// Count 0, storage kept. Returns 1 (also for null).
int lstRecClear(RecList* list);
// Count 0, storage kept. Returns the list (null for null).
RecList* lstPairClear(RecList* list);
void lstRecFree(RecList* list);

// Capacity of 1 or less becomes 3; growth x1.5+1; append returns 1.
Pt2List* lstPt2New(int capacity);
int lstPt2Reset(Pt2List* list);
int lstPt2Append(Pt2List* list, const Point2D& p);

// Capacity below 3 becomes 3; growth x1.5+1; append returns 1.
Seg2List* lstSeg2New(int capacity);
int lstSeg2Reset(Seg2List* list);
int lstSeg2Append(Seg2List* list, const Seg2D& seg);
// Half the shoelace sum over the start points of segments from .. to-1 taken as a closed polygon
// (positive counter-clockwise). 0 for a null list, to - from below 2, or a range outside the list.
double lstSeg2Area(const Seg2List* list, int from, int to);
// Sum of the lengths of segments from .. to-1. 0 for a null list, from not below to, or a range
// outside the list.
double lstSeg2Length(const Seg2List* list, int from, int to);

// Capacity below 3 becomes 3; growth x1.5; append returns the index. The box widens by a line's
// ends, and by an arc's ends plus each axis extreme of its circle that lies inside the sweep.
LineArcList* lstElemNew(int capacity);
int lstElemAppend(LineArcList* list, const LineArcElem& elem);

// Frees a Pt2List, Seg2List or LineArcList.
void lstBox2Free(Pt2List* list);
void lstBox2Free(Seg2List* list);
void lstBox2Free(LineArcList* list);

// Capacity below 3 becomes 3; growth x1.5+1; push returns 1.
DblList* lstDblNew(int capacity);
int lstDblReset(DblList* list);
int lstDblPush(DblList* list, double value);
void lstDblFree(DblList* list);

// Capacity of 1 or less becomes 3; growth x1.5+1; append returns 1.
Pt3List* lstPt3New(int capacity);
int lstPt3Reset(Pt3List* list);
int lstPt3Append(Pt3List* list, const Point3D& p);

// Capacity below 3 becomes 3; growth x1.5+1; append returns 1.
Seg3List* lstSeg3New(int capacity);
int lstSeg3Append(Seg3List* list, const Seg3D& seg);

// Capacity below 2 becomes 2; growth x1.5; append returns the new count.
Tri3List* lstTri3New(int capacity);
int lstTri3Append(Tri3List* list, const Tri3D& tri);
// Writes one line "%.6lf" x 9 per triangle (x, y, z of the three corners) to a new text file.
// Returns 1; -1 for a null list, a list without storage, a null name or a file that does not open.
int lstTri3Write(const Tri3List* list, const char* fileName);
// Writes the list to "<counter>.3dt" in the working directory (the process-wide dump counter as 8
// digits with leading zeros: 00000007.3dt). Returns 1 and advances the counter; otherwise the
// negative result of the write, the counter unchanged.
int lstTri3Dump(const Tri3List* list);

// Frees a Pt3List, Seg3List or Tri3List.
void lstBox3Free(Pt3List* list);
void lstBox3Free(Seg3List* list);
void lstBox3Free(Tri3List* list);

// Capacity below 3 becomes 3; growth x1.5; append returns the new count.
TriFList* lstTriFNew(int capacity);
int lstTriFAppend(TriFList* list, const TriF& tri);
void lstTriFFree(TriFList* list);

// Capacity below 3 becomes 3; growth x1.5; storage zero-filled at creation. Null also for a
// record size below 1.
ByteRecList* lstBytesNew(int capacity, int recSize);
// Appends the first n bytes of record into the next slot (the rest of the slot zero). Returns 1;
// -1 for a null list, a list without storage, or when memory runs out; -20 for a null record or
// n outside 1 .. record size.
int lstBytesAppendN(ByteRecList* list, const void* record, int n);
// lstBytesAppendN with the list's record size.
int lstBytesAppend(ByteRecList* list, const void* record);
// 1 when lstBytesAppendN succeeded, else 0.
int lstBytesAppendOk(ByteRecList* list, const void* record, int n);
// Address of record i; null for a null list or i outside 0 .. count-1.
void* lstBytesAt(ByteRecList* list, int i);
// Removes record i, moving the later ones down. Returns 1; 0 (nothing changed) for a null or
// empty list or i outside 0 .. count-1.
int lstBytesRemove(ByteRecList* list, int i);
// Copies the first n bytes of the last record to out and drops it. Returns 1; 0 (out unchanged)
// for a null or empty list; -20 for a null out or n outside 1 .. record size.
int lstBytesPop(ByteRecList* list, void* out, int n);
void lstBytesFree(ByteRecList* list);

// Test seam: the triangle dump counter back to 0.
void lstResetState();
