// link_stack.cpp - the contour stack of the ring linkers and the resolution of ring positions.
// The stack lives in one heap block that doubles when full; a refused push would leave part of a
// ring uncut, so only exhausted memory refuses one.
#include "pocket/link_stack.h"

#include <cstring>

#include "framework/memory.h"
#include "geometry/geo_error.h"
#include "pocket/contour_tree.h"

namespace {
struct StackState {
  LinkStackEntry* entries = nullptr;
  int capacity = 0;
  int top = -1;
};
StackState stackState;
}  // namespace

void pockStackClear() { stackState.top = -1; }

int pockStackTop() { return stackState.top; }

int pockStackPush(const LinkStackEntry* entry) {
  if (entry == nullptr) return geoFail(-1, "link_stack");
  StackState& s = stackState;
  if (s.top + 1 >= s.capacity) {
    if (s.capacity > (1 << 29) / static_cast<int>(sizeof(LinkStackEntry))) {
      return geoFail(-1, "link_stack");  // a larger block would not fit the size arithmetic
    }
    const int grown = s.capacity == 0 ? kLinkStackInitial : 2 * s.capacity;
    void* block = memRealloc(s.entries, static_cast<std::size_t>(grown) * sizeof(LinkStackEntry));
    if (block == nullptr) return geoFail(-1, "link_stack");
    s.entries = static_cast<LinkStackEntry*>(block);
    s.capacity = grown;
  }
  ++s.top;
  std::memcpy(&s.entries[s.top], entry, sizeof(LinkStackEntry));
  // The ring is now held by the linker: visited, unless it carries the linkers' other mark (a done
  // ring keeps its state).
  if (ctreeState(entry->node) != 3) ctreeSetState(entry->node, 2);
  return 1;
}

int pockStackPop(LinkStackEntry* out) {
  if (pockStackPeek(out) == 0) return 0;
  --stackState.top;
  return 1;
}

int pockStackPeek(LinkStackEntry* out) {
  if (stackState.top < 0 || out == nullptr) return 0;
  std::memcpy(out, &stackState.entries[stackState.top], sizeof(LinkStackEntry));
  return 1;
}

int pockStackAt(int i, LinkStackEntry* out) {
  if (i < 0 || i > stackState.top || out == nullptr) return 0;
  std::memcpy(out, &stackState.entries[i], sizeof(LinkStackEntry));
  return 1;
}

int linkResolveEndpoint(const LinkRef& ref, const ContourElement* elements, int n, LinkRef* out) {
  *out = ref;
  if (elements == nullptr || n <= 0) return 0;
  if (ref.element == 0) {
    out->element = 1;
    contElemPoint(elements[0], &out->point, 1);
    return 1;
  }
  if (ref.element == -1) {
    out->element = n;
    contElemPoint(elements[n - 1], &out->point, 2);
    return 1;
  }
  return 0;
}

void pockStackResetState() {
  memFree(stackState.entries);
  stackState = StackState{};
}
