// ccp_layers.cpp - layer operations of the pocket cycle's run.
#include "pocket/ccp_layers.h"

#include <cmath>
#include <vector>

#include "framework/output_records.h"
#include "pocket/contour_geom.h"
#include "pocket/contour_offset.h"
#include "pocket/contour_relate.h"
#include "pocket/engine_state.h"
#include "pocket/isect.h"
#include "pocket/layer_store.h"

namespace {
// Reads contour i of the layer into buffer. Returns false when it cannot be read.
bool layRead(const char* name, int i, std::vector<ContourElement>* buffer, ContourHeader* h) {
  if (layerGetHeader(name, h, i) != i) return false;
  buffer->resize(static_cast<std::size_t>(h->count > 0 ? h->count : 1));
  return layerGetContour(name, buffer->data(), h->count, h, i) == i;
}

bool layIsIsland(const ContourHeader& h) { return h.ccw != h.leftSide; }
}  // namespace

int ccpFillLevelList(const CcpRecord* record, PocketLevelList* list, const char* name, int group) {
  if (record == nullptr || list == nullptr) return -1;
  const int n = layerCount(name);
  int k = 0;
  for (int i = 0; i < n; ++i) {
    ContourHeader h{};
    if (layerGetHeader(name, &h, i) != i) continue;
    if (record->oriAutomatic == 2 && h.group != group) continue;
    if (pockLevelListSet(list, k, h.zTop, h.zBottom, 0, i) != 1) return -1;
    ++k;
  }
  return k;
}

int ccpGroupNearest(const char* name, const Point2D& point) {
  const int n = layerCount(name);
  std::vector<ContourElement> e;
  int best = 0;
  double bestDistance = 0.0;
  for (int i = 0; i < n; ++i) {
    ContourHeader h{};
    if (!layRead(name, i, &e, &h) || h.group == 0) continue;
    const double d = contMinDistance(point, e.data(), h.count);
    if (best == 0 || d < bestDistance) {
      best = h.group;
      bestDistance = d;
    }
  }
  return best;
}

int layerCopyNestedOfGroup(const char* name, const char* dest, int group, double z) {
  const int n = layerCount(name);
  std::vector<ContourHeader> headers(static_cast<std::size_t>(n));
  for (int i = 0; i < n; ++i) {
    if (layerGetHeader(name, &headers[static_cast<std::size_t>(i)], i) != i) return -1;
  }
  for (const ContourHeader& h : headers) {
    if (h.group != group) continue;
    if (!layIsIsland(h)) return 0;  // the group starts with its outer boundary
    break;
  }
  // Whether the parent chain of contour i reaches a contour of group (bounded by the count, so a
  // chain that loops ends).
  auto reachesGroup = [&headers, n, group](int i) {
    int p = headers[static_cast<std::size_t>(i)].parent;
    for (int steps = 0; p >= 0 && p < n && steps < n; ++steps) {
      if (headers[static_cast<std::size_t>(p)].group == group) return true;
      p = headers[static_cast<std::size_t>(p)].parent;
    }
    return false;
  };
  std::vector<ContourElement> e;
  int copied = 0;
  for (int i = 0; i < n; ++i) {
    const ContourHeader& h = headers[static_cast<std::size_t>(i)];
    if (h.group == group || !layIsIsland(h) || h.zTop < z + kLevelTol || !reachesGroup(i)) {
      continue;
    }
    ContourHeader copy{};
    if (!layRead(name, i, &e, &copy)) return -1;
    if (layerInsertContour(dest, e.data(), &copy, -1) != 1) return -1;
    ++copied;
  }
  return copied;
}

int layerCopyTouching(const char* name, const char* dest) {
  std::vector<ContourElement> first;
  ContourHeader fh{};
  if (layerCount(dest) <= 0 || !layRead(dest, 0, &first, &fh)) return 0;
  std::vector<IntersectionRecord> records(kIsectRecordMax);
  std::vector<ContourElement> e;
  const int n = layerCount(name);
  int copied = 0;
  for (int i = 0; i < n; ++i) {
    ContourHeader h{};
    if (!layRead(name, i, &e, &h)) return -1;
    const int hits =
        isectContours(e.data(), h.count, first.data(), fh.count, records.data(), kIsectRecordMax);
    if (hits < 0) return -1;
    if (hits == 0 && isectContourInsideOf(e.data(), h.count, first.data(), fh.count) == 0) {
      continue;
    }
    if (layerInsertContour(dest, e.data(), &h, -1) != 1) return -1;
    ++copied;
  }
  return copied;
}

int layerSameDepths(const char* name) {
  const int n = layerCount(name);
  ContourHeader first{};
  for (int i = 0; i < n; ++i) {
    ContourHeader h{};
    if (layerGetHeader(name, &h, i) != i) continue;
    if (i == 0) {
      first = h;
      continue;
    }
    if (std::fabs(h.zTop - first.zTop) >= kLevelTol ||
        std::fabs(h.zBottom - first.zBottom) >= kLevelTol) {
      return 0;
    }
  }
  return 1;
}

int layerFirstFlagsEqual(const char* name) {
  ContourHeader h{};
  if (layerCount(name) <= 0 || layerGetHeader(name, &h, 0) != 0) return -1;
  if (pockEngine().pockStockMode != 0) return 1;
  return h.ccw == h.leftSide ? 1 : 0;
}

int layerNextSequence(int i, const char* name) {
  const int n = layerCount(name);
  int sequence = -1;
  if (i >= 0) {
    ContourHeader h{};
    if (layerGetHeader(name, &h, i) != i) return -1;
    sequence = h.sequence;
  }
  for (int k = i < 0 ? 0 : i + 1; k < n; ++k) {
    ContourHeader h{};
    if (layerGetHeader(name, &h, k) == k && h.sequence != sequence) return k;
  }
  return -1;
}

int ccpDropNarrowDuplicate(const char* name) {
  const int n = layerCount(name);
  std::vector<int> narrow(static_cast<std::size_t>(n), 0);
  std::vector<int> group(static_cast<std::size_t>(n), 0);
  std::vector<int> orphan(static_cast<std::size_t>(n), 0);
  std::vector<ContourElement> e;
  for (int i = 0; i < n; ++i) {
    ContourHeader h{};
    if (layerGetHeader(name, &h, i) != i) continue;
    e.resize(static_cast<std::size_t>(h.count > 0 ? h.count : 1));
    if (layerGetContour(name, e.data(), h.count, &h, i) != i) continue;
    narrow[static_cast<std::size_t>(i)] = contIsNarrow(e.data(), h.count, 0.2);
    group[static_cast<std::size_t>(i)] = h.group;
    orphan[static_cast<std::size_t>(i)] = h.parent < 0 ? 1 : 0;
  }
  for (int i = 0; i < n; ++i) {
    if (orphan[static_cast<std::size_t>(i)] == 0 || narrow[static_cast<std::size_t>(i)] == 0) {
      continue;
    }
    for (int j = 0; j < n; ++j) {
      if (j != i && group[static_cast<std::size_t>(j)] == group[static_cast<std::size_t>(i)] &&
          narrow[static_cast<std::size_t>(j)] == 0) {
        return layerDeleteContour(name, i) == 1 ? 1 : 0;
      }
    }
  }
  return 0;
}

PocketLevelHeights* ccpLevelHeights(const PocketLevelList* list, double step) {
  double top = 0.0;
  double bottom = 0.0;
  if (pockLevelRange(list, &top, &bottom) != 1 || !std::isfinite(top) || !std::isfinite(bottom) ||
      !std::isfinite(step)) {
    pockMessage(kPockCodeBadStepover);
    return nullptr;
  }
  PocketLevelHeights* h = pockLevelSteps(list, step);
  if (h == nullptr) {
    // Room for the heights is the span over the step: beyond what a list can count the heights
    // cannot be computed; otherwise memory ran out.
    const double s = std::fabs(step) < kLevelTol ? top - bottom : std::fabs(step);
    const bool tooMany = s > 0.0 && (top - bottom) / s > 1e8;
    pockMessage(tooMany ? kPockCodeBadStepover : kPockCodeNoMemory);
  }
  return h;
}

int ccpMainFromList(CycleRecord* cycle, const PocketLevelList* list, const char* name,
                    double bottom, int outer) {
  if (layerCreate("MAIN") != 1 || list == nullptr) {
    cycSendError(cycle, "103");
    return 0;
  }
  std::vector<ContourElement> e;
  int front = 0;
  for (int pass = 0; pass < 2; ++pass) {
    for (int k = 0; k < list->count; ++k) {
      const PocketLevelEntry& entry = list->entries[k];
      if (pockLevelSpans(entry, bottom) != 1) continue;
      ContourHeader h{};
      if (!layRead(name, entry.index, &e, &h)) return -1;
      const bool isOuter = contOrientation(e.data(), h.count) == outer;
      if (isOuter != (pass == 0)) continue;
      if (layerInsertContour("MAIN", e.data(), &h, -1) != 1) return -1;
      if (pass == 0) ++front;
    }
  }
  if (front == 0) {
    cycSendError(cycle, "207");
    return 0;
  }
  return 1;
}

int ccpGroupMainFromList(CycleRecord* cycle, const PocketLevelList* list, const char* name, int g,
                         double bottom, int clamps) {
  if (layerCreate("MAIN") != 1 || list == nullptr) {
    cycSendError(cycle, "103");
    return 0;
  }
  std::vector<ContourElement> e;
  for (int k = 0; k < list->count; ++k) {
    const PocketLevelEntry& entry = list->entries[k];
    if (pockLevelSpans(entry, bottom) != 1) continue;
    ContourHeader h{};
    if (!layRead(name, entry.index, &e, &h)) return -1;
    if (layerInsertContour("MAIN", e.data(), &h, -1) != 1) return -1;
  }
  if (layerCount("MAIN") == 0) return 1;
  if (layerCopyNestedOfGroup(name, "MAIN", g, bottom) < 0) return -1;
  if (clamps != 0 && layerCopyTouching("CLAMPS", "MAIN") < 0) return -1;
  return 1;
}

int layerReverseMarked(const char* name) {
  const int n = layerCount(name);
  int firstMarked = -1;
  for (int i = 0; i < n; ++i) {
    ContourHeader h{};
    if (layerGetHeader(name, &h, i) != i) return -1;
    if (h.stockMark == 0) continue;
    std::vector<ContourElement> e(static_cast<std::size_t>(h.count > 0 ? h.count : 1));
    if (layerGetContour(name, e.data(), h.count, &h, i) != i) return -1;
    if (firstMarked < 0) {
      firstMarked = i;
      // A marked first contour is the stock the level starts from: it keeps its direction.
      if (i == 0) continue;
    }
    contReverse(e.data(), h.count);
    ContourHeader rh = h;
    rh.ccw = contOrientation(e.data(), h.count) > 0 ? 1 : 0;
    rh.leftSide = h.leftSide == 0 ? 1 : 0;
    if (i == firstMarked) {
      // The first marked contour leads the level: stored in front, the others move up by one.
      if (layerInsertContour(name, e.data(), &rh, 0) != 1) return -1;
      if (layerDeleteContour(name, i + 1) != 1) return -1;
      pockEngine().pockMovedToFront = 1;
    } else if (layerReplaceContour(name, e.data(), &rh, i) != 1) {
      return -1;
    }
  }
  return firstMarked >= 0 ? 1 : 0;
}
