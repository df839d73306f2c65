// nc_point_buffer.cpp - the point buffer of a feed run: created with its room, grown by a fixed
// step, freed with its points.
#include "output/nc_point_buffer.h"

#include <climits>
#include <cstddef>

#include "framework/memory.h"

NcPointBuffer* out3dPointBufNew(int capacity) {
  if (capacity < 1) return nullptr;
  auto* b = static_cast<NcPointBuffer*>(memAllocZero(sizeof(NcPointBuffer)));
  if (b == nullptr) return nullptr;
  b->points =
      static_cast<Point3D*>(memAllocZero(static_cast<std::size_t>(capacity) * sizeof(Point3D)));
  if (b->points == nullptr) {
    memFree(b);
    return nullptr;
  }
  b->capacity = capacity;
  return b;
}

int out3dPointBufAdd(NcPointBuffer* buffer, const Point3D& point) {
  if (buffer == nullptr) return -1;
  if (buffer->count >= buffer->capacity) {
    if (buffer->capacity > INT_MAX - kOut3dBufferStep) return -1;
    const int capacity = buffer->capacity + kOut3dBufferStep;
    void* grown = memRealloc(buffer->points, static_cast<std::size_t>(capacity) * sizeof(Point3D));
    if (grown == nullptr) return -1;
    buffer->points = static_cast<Point3D*>(grown);
    buffer->capacity = capacity;
  }
  buffer->points[buffer->count++] = point;
  return 1;
}

void out3dPointBufFree(NcPointBuffer* buffer) {
  if (buffer == nullptr) return;
  memFree(buffer->points);
  memFree(buffer);
}
