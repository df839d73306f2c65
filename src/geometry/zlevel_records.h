// zlevel_records.h - the records of the Z-level slicing that geometry code fills and reads: the
// tool-centre path of one level (ZPath) and the paths of a region, the drop net of a roughing
// region (FloatDropNet, whose header the rasters copy). The records of one level's slicing (tool,
// candidate context, walk parameters, slice context) are in slice_records.h. The slicing's
// functions on them live with the slicing.
#pragma once

#include <cstddef>
#include <cstdint>

#include "geometry/lists.h"
#include "geometry/slice_records.h"
#include "geometry/vec.h"

struct Kont2D;

// Bits of a path's flag word. A bit once set is never cleared; only a reset and the contour
// constructors write the word afresh.
constexpr std::uint32_t ZP_PLANE_LEVEL = 0x10;          // a path of a plane level
constexpr std::uint32_t ZP_HAS_BOUNDARY_COPY = 0x20;    // boundary copies were written for it
constexpr std::uint32_t ZP_BOUNDARY_COPY = 0x40;        // a copy of a boundary contour
constexpr std::uint32_t ZP_FROM_CONTOUR = 0x80;         // made from a region contour
constexpr std::uint32_t ZP_FRAME_BOX = 0x100;           // the frame rectangle of the region order
constexpr std::uint32_t ZP_TOO_SMALL = 0x200;           // a pocket too small to machine
constexpr std::uint32_t ZP_ORDER_FRAME = 0x400;         // marked by the region order
constexpr std::uint32_t ZP_FILLET_AT_BOUNDARY = 0x800;  // rounded also where it meets the boundary
constexpr std::uint32_t ZP_OUTIN_PASS = 0x1000;         // belongs to the out-in boundary pass

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

// Drop net of a roughing region: per node the tool tip height at which the tool rests on the part,
// a valid flag and a slope flag. Node (r, c) lies at (x0 + c colStep, y0 + r rowStep). The first
// six fields are laid out as the Raster header, which copies them. Every row of the three tables
// is an allocation of its own; a header-only net has the three table pointers null.
struct FloatDropNet {
  double x0, y0;  // origin
  std::int32_t rows;
  std::int32_t cols;
  double rowStep;        // along y
  double colStep;        // along x
  float** height;        // rows row pointers, each to cols heights
  std::uint8_t** valid;  // 1 when the node holds a dropped height
  std::uint8_t** slope;  // 0 when the tool rests on the part right under its axis, else 1
};
