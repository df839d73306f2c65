// layer_store.h - the thirteen named layers in which every contour of a pocket computation lives.
// Each contour is a header with its own element block, owned by the layer once stored. The engine
// reads a contour into a work buffer, works on the buffer and inserts the result into another
// layer. Layers are addressed by their names, never by number:
//   "MAIN" the level being pocketed (outer boundary first, then the islands), "GKT" island offsets
//   and rings, "SPAN" boundary offsets, "INSEL" offset islands, "REST" rest regions, "INPUT" the
//   pocket contours as read, "ORIG" a copy of INPUT kept during rest pocketing, "TEMP" grouped
//   contours of the rest evaluation, "CLAMPS" clamps to avoid, "CUT_GKT", "CUT_SPAN", "CUT_BACK"
//   cut-region work layers, "POCKET" contours collected per pocket.
// An index of -1 means the last contour (for the read and header operations any negative index).
#pragma once

#include <cstdint>

#include "pocket/contour_element.h"

// One contour of a layer.
struct ContourHeader {
  std::uint8_t ccw;       // 1 counter-clockwise, 0 clockwise
  std::uint8_t leftSide;  // 1 the tool works on the left of the contour; ccw == leftSide marks an
                          // outer boundary of a pocket, a difference an island
  std::int16_t group;     // 1 INPUT, 0 CLAMPS when read; the pocket number after grouping; the
                          // ring level in the ring layers
  std::int32_t count;     // number of elements
  ContourElement* elements;  // the element block, owned by the layer once stored
  double zTop;               // height of the contour's top (the pocket's surface)
  double zBottom;            // height of its bottom (the pocket's floor)
  std::int16_t parent;       // index of the enclosing contour in the same layer, -1 for none
  std::int16_t stockMark;    // 1 when the contour came with the "stock" state
  double allowance;          // plane allowance of the contour
  std::int16_t sequence;     // the input's "pocket" state; the sequence number of a collected
                             // pocket; negative for a contour of an open pocket
  std::int16_t index;        // scratch number of the offsets and cut regions
};
static_assert(sizeof(ContourHeader) == 56 && offsetof(ContourHeader, elements) == 8 &&
              offsetof(ContourHeader, allowance) == 40);

// Number of layers and the most contours one layer holds.
inline constexpr int kLayerCount = 13;
inline constexpr int kLayerMaxContours = 12000;

// Slot 0..12 of the layer of that name (exact, case-sensitive), -1 for an unknown name or null.
int layerIndexOfName(const char* name);
// Empties the layer (releasing the element blocks of its contours) and gives it a table for
// kLayerMaxContours contours when it has none. Returns 1; 0 for an unknown name or when the table
// cannot be allocated (the layer stays without one).
int layerCreate(const char* name);
// Releases the element blocks of every contour, then the table: the layer is back to the state
// without a table. Returns 1; 0 for an unknown name.
int layerFree(const char* name);
// Deletes every contour, from the last to the first; the table stays. Returns 1 (also for an
// unknown name, which changes nothing).
int layerClear(const char* name);
// Number of contours; 0 for an unknown name.
int layerCount(const char* name);
// Copies contour i's header to header and its elements to buffer (room for capacity elements);
// the copied header still points at the layer's own element block. Returns i (the last index for
// a negative i); -1 for an unknown name, an index out of range, a null header, or more elements
// than capacity (nothing copied).
int layerGetContour(const char* name, ContourElement* buffer, int capacity, ContourHeader* header,
                    int i);
// Copies contour i's header only. Returns i as layerGetContour; -1 as above.
int layerGetHeader(const char* name, ContourHeader* header, int i);
// Overwrites contour i's header with the caller's copy, read from the same contour. Returns i;
// -1 for an unknown name, an index out of range, a null header, or a header whose element pointer
// or count differs from the stored one (the layer would point at a block it does not own).
int layerSetHeader(const char* name, const ContourHeader* header, int i);
// Sets contour i's group. Returns i; -1 as layerGetHeader.
int layerSetLevel(const char* name, int level, int i);
// The largest group of the layer's contours, starting from 0 (0 for an empty layer or when all
// groups are negative); -1 for an unknown name.
int layerMaxLevel(const char* name);
// Copies header.count elements into a new block and stores the header with it at position i
// (i < 0: append), later contours moving up by one. Returns 1; 0 for an unknown name, a layer
// without table, a null header, a count below 0 or above kContMaxElements, null elements with a
// count above 0, i greater than the count, kLayerMaxContours contours present, or no memory. A
// refused insertion keeps no copy and leaves the layer unchanged.
int layerInsertContour(const char* name, const ContourElement* elements,
                       const ContourHeader* header, int i);
// Copies header.count elements into a new block and overwrites contour i's header with the
// caller's header and that block; the previous block is released. Returns 1; 0 for an unknown name,
// i outside 0..count-1 (no "last" convention here), a null header, a count out of range as for
// layerInsertContour, or no memory (the layer unchanged).
int layerReplaceContour(const char* name, const ContourElement* elements,
                        const ContourHeader* header, int i);
// Releases contour i's elements (i = -1: the last) and closes the gap. Returns 1; 0 for an unknown
// name, an empty layer, i below -1 or above count - 1.
int layerDeleteContour(const char* name, int i);

// Test seam: frees every layer (back to the state at load).
void layerResetState();
