// link_stack.h - positions on a ring and the contour stack of the ring linkers: the linkers cut
// the rings of a level depth-first and keep on this stack the rings, or the rest of a ring, still
// to be cut, so the tool lifts only when no connection within reach is left.
#pragma once

#include <cstddef>
#include <cstdint>

#include "geometry/vec.h"
#include "pocket/contour_element.h"

// A position on a ring.
struct LinkRef {
  std::int32_t element;  // element number from 1; 0 the start of the first element, -1 the end of
                         // the last
  Point2D point;         // the position (meaningful for element numbers above 0)
};
static_assert(sizeof(LinkRef) == 24 && offsetof(LinkRef, point) == 8);

// One entry of the contour stack: a ring of the nesting tree and the part of it still to cut.
struct LinkStackEntry {
  std::int32_t node;  // tree node of the ring
  LinkRef from;       // where cutting resumes
  LinkRef to;         // where cutting ends; equal to from for a complete loop
};
static_assert(sizeof(LinkStackEntry) == 56 && offsetof(LinkStackEntry, from) == 8 &&
              offsetof(LinkStackEntry, to) == 32);

// Entries the stack holds before it first grows.
inline constexpr int kLinkStackInitial = 400;

// Empties the stack (top index -1); the linkers call it before use. The storage is kept.
void pockStackClear();
// Index of the top entry, -1 when the stack is empty.
int pockStackTop();
// Pushes a copy of entry and marks its tree node visited (state 2) unless the node is in state 3
// or done. The stack grows as needed, so no ring is ever left off it.
// Returns 1; -1 (stack unchanged) when memory for growing runs out or entry is null.
int pockStackPush(const LinkStackEntry* entry);
// Copies the top entry to out and removes it. Returns 1; 0 when the stack is empty (out
// untouched).
int pockStackPop(LinkStackEntry* out);
// Copies the top entry to out and keeps it. Returns 1; 0 when the stack is empty (out untouched).
int pockStackPeek(LinkStackEntry* out);
// Copies entry i (0 the bottom, pockStackTop() the top) to out. Returns 1; 0 when i is not on the
// stack (out untouched).
int pockStackAt(int i, LinkStackEntry* out);

// Resolves the two symbolic ends of a ring of n elements: element 0 becomes element 1 at the start
// of element 0, element -1 becomes element n at the end of element n - 1; both return 1. Any
// other reference, and every reference of an empty ring (n <= 0 or null elements), is copied
// unchanged and returns 0.
int linkResolveEndpoint(const LinkRef& ref, const ContourElement* elements, int n, LinkRef* out);

// Test seam: frees the storage; an empty stack as at load.
void pockStackResetState();
