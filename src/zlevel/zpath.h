// zpath.h - the tool-centre path of one Z level (ZPath) and the list of the paths of one region.
// The geometry code converts region contours into paths and back; the Z-level slicing builds on
// the same records.
#pragma once

#include <cstddef>
#include <cstdint>

struct Kont2D;

// Flag word bit of a path made from a region contour.
constexpr std::uint32_t ZP_FROM_CONTOUR = 0x80;

// One path at one level. The field order and widths up to flags are also those of the Z-path
// file's records. Point i is (points[2i], points[2i+1]), contacts[3i..3i+2], elementIds[i],
// contactKinds[i]; all four arrays hold capacity entries and belong to the record.
struct ZPath {
  std::int32_t count;
  std::int32_t capacity;
  double xmin, ymin, xmax, ymax;
  double groupStartX, groupStartY;
  double subGroupStartX, subGroupStartY;
  double z;
  double area;                  // signed, positive counter-clockwise
  std::int32_t closed;          // 1 closed, 0 open
  std::int32_t orientation;     // +1 counter-clockwise, -1 clockwise, 0 open
  std::int32_t materialInside;  // 1: the material lies inside the path
  std::int32_t nestingDepth;    // number of other paths of the level that contain this one
  std::int32_t groupId;
  std::int32_t subGroupId;
  std::int32_t reserved;
  std::uint32_t flags;
  float* points;               // x, y per point
  float* contacts;             // x, y, z per point: the tool's contact on the model
  std::int32_t* elementIds;    // touched element, -2 boundary point, -1 no contact
  std::int32_t* contactKinds;  // contact kind; for boundary points -1 outer contour, 0 island
};
static_assert(offsetof(ZPath, z) == 72 && offsetof(ZPath, area) == 80);
static_assert(offsetof(ZPath, closed) == 88 && offsetof(ZPath, flags) == 116);
static_assert(offsetof(ZPath, points) == 120);

// The paths of one region, held by value; the list owns every path's arrays.
struct ZPathList {
  std::int32_t count;
  std::int32_t capacity;
  ZPath* items;
};

// New empty list with room for max(n, 3) paths; null when memory runs out (error record -1).
ZPathList* zpathListNew(int n);
// Frees every path's arrays, the path array and the list. Accepts null; returns 1.
int zpathListFree(ZPathList* list);
// Frees the arrays of the path at index and moves the later paths down. Returns 1; 0 for a null
// or empty list or an index outside 0 .. count-1.
int zpathListRemove(ZPathList* list, int index);
// Appends every contour of the region (outer contour, then its islands) as a closed path of the
// segment start points: boundary points (id -2, kind -1 outer / 0 island), the contour's z,
// orientation and area from the points, flag word ZP_FROM_CONTOUR; material inside 1 and depth 0
// for the outer contour, 0 and 1 for islands. Contours without segments are passed over.
// Returns 1; 0 for a null list, a null region or an outer contour without segments; -1 when
// memory runs out, after removing the paths it had added.
int zpathListFromContours(ZPathList* list, const Kont2D* region);
