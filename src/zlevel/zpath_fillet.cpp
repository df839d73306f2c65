// zpath_fillet.cpp - corner rounding of Z paths by two region offsets and the splicing of the
// rounding arcs into the path. The geometry code reaches zpathListFillet through the walker hooks.
#include "zlevel/zpath_fillet.h"

#include <algorithm>
#include <cfloat>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <new>
#include <source_location>
#include <vector>

#include "framework/messages.h"
#include "geometry/geo_error.h"
#include "geometry/kont_region.h"
#include "geometry/lst_sort.h"
#include "geometry/offset2d.h"
#include "geometry/plane_geo.h"
#include "zlevel/zpath.h"

namespace {

constexpr const char* kModule = "Zpath";
constexpr double kMinRadius = 1e-6;
constexpr double kFirstOffset = 0.99;  // the first offset stops short of the radius
constexpr double kNearPosition = 0.001;

struct ZpFilletState {
  int crossCursor = 0;  // where the last crossing search stopped
  int startCursor = 0;  // where the last zpathEdgeStartAt search stopped
  int endCursor = 0;    // where the last zpathEdgeEndAt search stopped
};
ZpFilletState zpFillet;

int zpFail(int code, std::source_location at = std::source_location::current()) {
  geoErrSet(code, kModule, static_cast<int>(at.line()));
  return code;
}

Point2D pointAt(const ZPath* p, int i) {
  return Point2D{static_cast<double>(p->points[2 * i]), static_cast<double>(p->points[2 * i + 1])};
}

Seg2D edgeOf(const ZPath* p, int a, int b) {
  const Point2D pa = pointAt(p, a), pb = pointAt(p, b);
  return Seg2D{pa.x, pa.y, pb.x, pb.y};
}

// 1 when p lies on the free side of the closed path: inside when the material lies outside.
bool onFreeSide(const ZPath* path, const Point2D& p) {
  const bool inside = zpathContainsPoint(p, path) == 1;
  return path->materialInside == 0 ? inside : !inside;
}

// Edge search from a cursor for the edge on which p lies within 0.01. Returns the edge's first
// point index (or its second with second set); -1 none.
int edgeSearch(const Point2D& p, const ZPath* path, int* cursor, bool second) {
  const int n = path != nullptr ? path->count : 0;
  if (n <= 0) return -1;
  if (*cursor < 0 || *cursor >= n) *cursor = 0;
  int prev = *cursor;
  for (int k = 0; k < n; ++k) {
    *cursor = (*cursor + 1) % n;
    if (geoOnSegCoarse(p, edgeOf(path, prev, *cursor)) == 1) return second ? *cursor : prev;
    prev = *cursor;
  }
  return -1;
}

int appendPathPoint(ZPath* w, const ZPath* p, int i) {
  return zpathAppendPoint(w, &p->points[2 * i], &p->contacts[3 * i], p->elementIds[i],
                          p->contactKinds[i]);
}

int appendBare(ZPath* w, double x, double y) {
  const float pt[2] = {static_cast<float>(x), static_cast<float>(y)};
  return zpathAppendPoint(w, pt, nullptr, -1, 0);
}

int comparePieceStart(const void* a, const void* b) {
  const double x = static_cast<const ZpFilletPiece*>(a)->startPos;
  const double y = static_cast<const ZpFilletPiece*>(b)->startPos;
  return x < y ? -1 : (x > y ? 1 : 0);
}

// The regions queued for cutting, freed with the run.
struct Queue {
  std::vector<Kont2D*> regions;
  ~Queue() {
    for (Kont2D* k : regions) kontFree(k);
  }
};

// Work data of one run.
struct FilletWork {
  IntList* sides = lstIntNew(100);
  IntList* starts = lstIntNew(100);
  ZPath* work = zpathNew(1000);
  Kont2D* pieces = kontNew(nullptr, 1000);
  ~FilletWork() {
    lstIntFree(sides);
    lstIntFree(starts);
    zpathFree(work);
    kontFree(pieces);
  }
  bool ok() const {
    return sides != nullptr && starts != nullptr && work != nullptr && pieces != nullptr;
  }
};

// Merges consecutive equal entries of the piece starts.
void mergeEqualStarts(IntList* t) {
  int kept = 0;
  for (int i = 0; i < t->count; ++i) {
    if (kept > 0 && t->items[kept - 1] == t->items[i]) continue;
    t->items[kept++] = t->items[i];
  }
  t->count = kept;
}

// Outcome of cutting one path.
enum class Cut { Pieces, Unchanged, Dropped };

// Offsets the path twice and cuts the free-side runs of the result into w.pieces / w.starts.
// Returns 1 with the outcome; negative on failure.
int cutPath(const ZPath* path, Kont2D* boundary, double radius, FilletWork& w, Cut* outcome) {
  *outcome = Cut::Unchanged;
  const double d = path->materialInside != 0 ? std::fabs(radius) : -std::fabs(radius);
  Kont2D* contour = kontFromZPath(path);
  if (contour == nullptr) {
    geoErrLog("Konnte orig-bnd nicht lesen");
    return zpFail(-1);
  }
  const int orientation = kontOrientation(contour);
  Kont2D* first = nullptr;
  const int r1 = off2dOffset(contour, kFirstOffset * d, &first);
  kontFree(contour);
  if (r1 < 0) {
    geoErrLog("Problem in offset");
    return zpFail(r1);
  }
  if (r1 == 0) {
    char text[64];
    std::snprintf(text, sizeof text, "Nicht verrundet %lf", path->z);
    geoErrLog(text);
    msgSendReal(9, kZpFilletMsgSkipped,
                "* Info: Fillet radius can not be realized, toolpath skipped", 0.0);
    *outcome = Cut::Dropped;
    return 1;
  }
  Queue queue;
  for (Kont2D* g = first; g != nullptr; g = g->next) {
    Kont2D* second = nullptr;
    const int r2 = off2dOffset(g, -d, &second);
    if (r2 < 0) {
      kontFree(first);
      geoErrLog("Problem in offset");
      return zpFail(-1);
    }
    if (r2 == 0 || second == nullptr) continue;
    for (Kont2D* h = second; h != nullptr; h = h->next) {
      if (kontOrientation(h) != orientation) kontReverse(h);
    }
    Kont2D* rest = second->next;
    second->next = nullptr;
    if (rest != nullptr) {
      rest->prev = nullptr;
      kontFree(rest);
    }
    try {
      queue.regions.push_back(second);
    } catch (const std::bad_alloc&) {
      kontFree(second);
      kontFree(first);
      return zpFail(-1);
    }
  }
  kontFree(first);

  kontReset(w.pieces);
  lstIntReset(w.starts);
  zpathReset(w.work);
  for (auto it = queue.regions.rbegin(); it != queue.regions.rend(); ++it) {
    Kont2D* region = *it;
    for (Kont2D* c = region; c != nullptr; c = kontWalkNext(region, c)) {
      int r = zpathFilletRotateStart(c, path);
      if (r < 0) return zpFail(r);
      lstIntReset(w.sides);
      r = zpathFilletSideChanges(c, path, w.sides);
      if (r < 0) return zpFail(r);
      if (w.sides->count == 0) continue;
      r = zpathFilletPieces(path, boundary, c, w.sides, w.pieces, w.starts);
      if (r < 0) return r;
      if (r == 0) {
        // A segment that changes the side has no crossing with the path: a piece end is not
        // defined, so the path is kept as it is.
        geoErrLog("Fillet: kein Schnittpunkt mit der Bahn, Bahn unverrundet");
        lstIntReset(w.starts);
        *outcome = Cut::Unchanged;
        return 1;
      }
    }
  }
  *outcome = w.starts->count > 0 ? Cut::Pieces : Cut::Unchanged;
  return 1;
}

}  // namespace

int zpathSegCrossing(const Seg2D& s, const ZPath* path, Point2D* out) {
  const int n = path != nullptr ? path->count : 0;
  if (n <= 0 || out == nullptr) return 0;
  int& cursor = zpFillet.crossCursor;
  if (cursor < 0 || cursor >= n) cursor = 0;
  int prev = cursor;
  for (int k = 0; k <= n; ++k) {
    cursor = (cursor + 1) % n;
    const Seg2D edge = edgeOf(path, prev, cursor);
    if (geoSegsCross(s, edge) == 1) return geoLineLineCut(s, edge, out) == 1 ? 1 : 0;
    prev = cursor;
  }
  return 0;
}

int zpathEdgeStartAt(const Point2D& p, const ZPath* path) {
  return edgeSearch(p, path, &zpFillet.startCursor, false);
}

int zpathEdgeEndAt(const Point2D& p, const ZPath* path) {
  return edgeSearch(p, path, &zpFillet.endCursor, true);
}

int zpathPointOnPath(const ZPath* path, const Point2D& p) {
  const int n = path != nullptr ? path->count : 0;
  if (n <= 0) return 0;
  if (geoOnSegFine(p, edgeOf(path, n - 1, 0)) == 1) return 1;
  for (int i = 0; i + 1 < n; ++i) {
    if (geoOnSegFine(p, edgeOf(path, i, i + 1)) == 1) return 1;
  }
  return 0;
}

double zpathPathPosition(const ZPath* path, const Point2D& q) {
  const int n = path != nullptr ? path->count : 0;
  if (n <= 0) return -1.0;
  double best = DBL_MAX;
  double pos = -1.0;
  for (int i = 0; i < n; ++i) {
    const Seg2D e = edgeOf(path, i, (i + 1) % n);
    double a = 0.0, b = 0.0, c = 0.0;
    if (geoLineEq(e, &a, &b, &c) != 1) continue;
    const double dist = std::fabs(a * q.x + b * q.y + c);
    if (!(dist < best)) continue;
    const double dx = e.x2 - e.x1, dy = e.y2 - e.y1;
    const double t = std::fabs(dy) < std::fabs(dx) ? (q.x - e.x1) / dx : (q.y - e.y1) / dy;
    if (t >= 0.0 && t < 1.0) {
      best = dist;
      pos = i + t;
      if (dist < kNearPosition) break;
    }
  }
  if (pos >= 0.0) return pos;
  int nearest = 0;
  double nd = DBL_MAX;
  for (int i = 0; i < n; ++i) {
    const Point2D p = pointAt(path, i);
    const double dist = std::hypot(p.x - q.x, p.y - q.y);
    if (dist < nd) {
      nd = dist;
      nearest = i;
    }
  }
  return nearest;
}

int zpathRotateContour(Kont2D* contour, int i) {
  if (contour == nullptr || contour->segments == nullptr || i < 0 || i >= contour->count)
    return zpFail(kGeoBadArgument);
  if (i == 0) return 1;
  try {
    std::vector<Seg2D> rotated(contour->segments + i, contour->segments + contour->count);
    rotated.insert(rotated.end(), contour->segments, contour->segments + i);
    std::copy(rotated.begin(), rotated.end(), contour->segments);
  } catch (const std::bad_alloc&) {
    return zpFail(-1);
  }
  return 1;
}

int zpathFilletRotateStart(Kont2D* contour, const ZPath* path) {
  if (contour == nullptr || path == nullptr) return 1;
  for (int i = 0; i < contour->count; ++i) {
    const Seg2D& s = contour->segments[i];
    if (!onFreeSide(path, Point2D{s.x1, s.y1})) {
      return i == 0 ? 1 : zpathRotateContour(contour, i);
    }
  }
  return 1;  // wholly on the free side
}

int zpathFilletSideChanges(const Kont2D* contour, const ZPath* path, IntList* sides) {
  if (contour == nullptr || path == nullptr || sides == nullptr || contour->count < 2) return 1;
  const int n = contour->count;
  auto side = [&](int i) {
    const Seg2D& s = contour->segments[i];
    return onFreeSide(path, Point2D{s.x1, s.y1});
  };
  const bool side0 = side(0);
  bool prev = side0;
  for (int i = 1; i < n; ++i) {
    const bool cur = side(i);
    if (cur != prev && lstIntAppend(sides, i - 1) < 0) return zpFail(-1);
    prev = cur;
  }
  if (prev != side0 && lstIntAppend(sides, n - 1) < 0) return zpFail(-1);
  return 1;
}

int zpathFilletPieces(const ZPath* path, const Kont2D* boundary, const Kont2D* contour,
                      const IntList* sides, Kont2D* pieces, IntList* starts) {
  if (path == nullptr || path->count <= 0 || contour == nullptr || sides == nullptr ||
      sides->count == 0)
    return 0;
  if (pieces == nullptr || starts == nullptr) return zpFail(-1);
  if (sides->count % 2 != 0) return zpFail(kZpFilletOddSides);
  const bool atBoundary = zpathHasFlag(path, ZP_FILLET_AT_BOUNDARY) == 1;
  int result = 0;
  bool added = false;
  for (int p = 0; p + 1 < sides->count; p += 2) {
    const int a = sides->items[p];
    const int e = sides->items[p + 1];
    Point2D X{}, Y{};
    result = zpathSegCrossing(contour->segments[a], path, &X);
    if (result == 0) return 0;
    if (!atBoundary && geoOnKontFine(X, boundary) == 1) continue;
    result = zpathSegCrossing(contour->segments[e], path, &Y);
    if (result == 0) return 0;
    if (!atBoundary && geoOnKontFine(Y, boundary) == 1) continue;
    if (lstIntAppend(starts, pieces->count) < 0) return zpFail(-1);
    Seg2D s = contour->segments[a];
    s.x1 = X.x;
    s.y1 = X.y;
    if (kontAppendSeg(pieces, &s) != 1) return zpFail(-1);
    for (int i = a + 1; i < e; ++i) {
      if (kontAppendSeg(pieces, &contour->segments[i]) != 1) return zpFail(-1);
    }
    s = contour->segments[e];
    s.x2 = Y.x;
    s.y2 = Y.y;
    if (kontAppendSeg(pieces, &s) != 1) return zpFail(-1);
    added = true;
  }
  if (added && lstIntAppend(starts, pieces->count) < 0) return zpFail(-1);
  return result;
}

int zpathFilletIntervalFree(double a, double b, const ZpFilletPiece* pieces, int count) {
  for (int i = 0; i < count; ++i) {
    const double s = pieces[i].startPos, e = pieces[i].endPos;
    if (a < b) {
      if ((s > a && s < b) || (e > a && e < b)) return 0;
    } else if (!(s >= b && s <= a) || !(e >= b && e <= a)) {
      return 0;
    }
  }
  return 1;
}

int zpathFilletDropOverlaps(ZpFilletPiece* pieces, int* count) {
  for (;;) {
    int n = *count;
    int hi = -1, lo = -1;
    for (int i = 0; i < n && hi < 0; ++i) {
      for (int j = 0; j < n; ++j) {
        if (i == j) continue;
        const ZpFilletPiece& a = pieces[i];
        const ZpFilletPiece& b = pieces[j];
        if (zpathFilletIntervalFree(a.startPos, b.endPos, pieces, n) == 1 &&
            (zpathFilletIntervalFree(b.startPos, a.endPos, pieces, n) == 1 ||
             zpathFilletIntervalFree(a.endPos, b.startPos, pieces, n) == 1)) {
          hi = std::max(i, j);
          lo = std::min(i, j);
          break;
        }
      }
    }
    if (hi < 0) return 1;
    for (const int k : {hi, lo}) {
      std::memmove(&pieces[k], &pieces[k + 1], sizeof(ZpFilletPiece) * (n - k - 1));
      --n;
    }
    *count = n;
  }
}

int zpathFilletOrderPieces(const ZPath* path, IntList* starts, Kont2D* pieces) {
  if (path == nullptr || starts == nullptr || pieces == nullptr || starts->count < 2) return 1;
  try {
    const int np = starts->count - 1;
    std::vector<ZpFilletPiece> order(static_cast<std::size_t>(np));
    for (int i = 0; i < np; ++i) {
      ZpFilletPiece& p = order[i];
      p.first = starts->items[i];
      p.end = starts->items[i + 1];
      const Seg2D& s0 = pieces->segments[p.first];
      const Seg2D& s1 = pieces->segments[p.end - 1];
      p.startPos = zpathPathPosition(path, Point2D{s0.x1, s0.y1});
      p.endPos = zpathPathPosition(path, Point2D{s1.x2, s1.y2});
    }
    if (lstSort(order.data(), np, sizeof(ZpFilletPiece), comparePieceStart) != 1) return zpFail(-1);
    int kept = np;
    if (zpathFilletDropOverlaps(order.data(), &kept) != 1) return 1;
    std::vector<Seg2D> segs;
    std::vector<int> newStarts;
    for (int i = 0; i < kept; ++i) {
      newStarts.push_back(static_cast<int>(segs.size()));
      segs.insert(segs.end(), pieces->segments + order[i].first, pieces->segments + order[i].end);
    }
    kontReset(pieces);
    lstIntReset(starts);
    for (const Seg2D& s : segs) {
      if (kontAppendSeg(pieces, &s) != 1) return zpFail(-1);
    }
    for (const int s : newStarts) {
      if (lstIntAppend(starts, s) < 0) return zpFail(-1);
    }
    if (kept > 0 && lstIntAppend(starts, pieces->count) < 0) return zpFail(-1);
  } catch (const std::bad_alloc&) {
    return zpFail(-1);
  }
  return 1;
}

int zpathFilletMarkEnds(const ZPath* path, ZPath* work, int first, int last) {
  for (const int idx : {first, last}) {
    if (idx < 0 || idx >= work->count || work->elementIds[idx] != -1) continue;
    const Point2D p = pointAt(work, idx);
    if (zpathPointOnPath(path, p) != 1) continue;
    const int s = zpathEdgeStartAt(p, path);
    const int e = zpathEdgeEndAt(p, path);
    if (s >= 0 && e >= 0 && path->elementIds[s] == -2 && path->contactKinds[s] == -1 &&
        path->elementIds[e] == -2 && path->contactKinds[e] == -1) {
      work->elementIds[idx] = -2;
      work->contactKinds[idx] = -1;
    }
    if (first == last) break;
  }
  return 1;
}

int zpathFilletSplice(ZPath* work, const ZPath* path, const Kont2D* pieces, const IntList* starts) {
  const int n = path->count;
  if (starts == nullptr || starts->count < 2) {
    for (int i = 0; i < n; ++i) {
      if (appendPathPoint(work, path, i) != 1) return zpFail(-1);
    }
  } else {
    const int np = starts->count - 1;
    for (int k = 0; k < np; ++k) {
      const int first = starts->items[k];
      const int end = starts->items[k + 1];
      const int q = work->count;
      for (int s = first; s < end; ++s) {
        if (appendBare(work, pieces->segments[s].x1, pieces->segments[s].y1) != 1)
          return zpFail(-1);
      }
      const Seg2D& lastSeg = pieces->segments[end - 1];
      if (appendBare(work, lastSeg.x2, lastSeg.y2) != 1) return zpFail(-1);
      zpathFilletMarkEnds(path, work, q, work->count - 1);
      const Seg2D& nextSeg = pieces->segments[k + 1 < np ? end : 0];
      const int a = zpathEdgeEndAt(Point2D{lastSeg.x2, lastSeg.y2}, path);
      const int b = zpathEdgeEndAt(Point2D{nextSeg.x1, nextSeg.y1}, path);
      if (a < 0 || b < 0) return zpFail(kZpFilletNoEdge);
      const Seg2D& firstSeg = pieces->segments[first];
      const int s = zpathEdgeStartAt(Point2D{firstSeg.x1, firstSeg.y1}, path);
      if (s >= 0 && path->elementIds[s] == -2 && path->elementIds[(s + 1) % n] == -2) {
        if (path->elementIds[a] == -2) {
          for (int i = q; i < work->count; ++i) work->elementIds[i] = -2;
        } else if (q < work->count) {
          work->elementIds[q] = -2;
        }
      }
      for (int i = a; i != b; i = (i + 1) % n) {
        if (appendPathPoint(work, path, i) != 1) return zpFail(-1);
      }
    }
  }
  work->closed = 1;
  work->materialInside = path->materialInside;
  work->z = path->z;
  work->orientation = path->orientation;
  work->reserved = path->reserved;
  work->flags = path->flags;
  work->groupStartX = path->groupStartX;
  work->groupStartY = path->groupStartY;
  work->subGroupStartX = path->subGroupStartX;
  work->subGroupStartY = path->subGroupStartY;
  work->nestingDepth = path->nestingDepth;
  work->groupId = path->groupId;
  work->subGroupId = path->subGroupId;
  work->area = zpathArea(work);
  return 1;
}

int zpathListFilletLevels(ZPathList* list, Kont2D* boundary, double radius) {
  if (list == nullptr) return 1;
  if (std::fabs(radius) < kMinRadius) return 1;
  FilletWork w;
  if (!w.ok()) return zpFail(-1);
  const int n = list->count;
  int result = 1;
  for (int i = 0; i < n && result > 0; ++i) {
    msgSendInt2(9, kZpFilletMsgProgress, "Level %d / %d", i + 1, n);
    Cut outcome = Cut::Unchanged;
    try {
      result = cutPath(&list->items[i], boundary, radius, w, &outcome);
    } catch (const std::bad_alloc&) {
      result = zpFail(-1);
    }
    if (result < 0) break;
    if (outcome == Cut::Dropped) continue;
    if (outcome == Cut::Unchanged) {
      const ZPath copy = list->items[i];  // the list may move its items while it grows
      if (zpathListAdd(list, &copy) != 1) result = zpFail(-1);
      continue;
    }
    const ZPath* path = &list->items[i];
    if (w.starts->count > 2) {
      mergeEqualStarts(w.starts);
      result = zpathFilletOrderPieces(path, w.starts, w.pieces);
      if (result < 0) break;
    }
    result = zpathFilletSplice(w.work, path, w.pieces, w.starts);
    if (result < 0) break;
    if (zpathListAdd(list, w.work) != 1) result = zpFail(-1);
  }
  if (result < 0) {
    while (list->count > n) zpathListRemove(list, list->count - 1);
    return zpFail(result);
  }
  for (int i = 0; i < n; ++i) zpathFreeArrays(&list->items[i]);
  std::memmove(list->items, list->items + n, sizeof(ZPath) * (list->count - n));
  list->count -= n;
  return 1;
}

int zpathListFillet(ZPathList* list, Kont2D* boundary, double radius) {
  if (list == nullptr || list->count <= 0 || !(radius > 0.0)) return 0;
  zpathFilletResetState();
  kontSetNoRound(1);
  kontSetSkipCheck(1);
  Kont2D* const next = boundary != nullptr ? boundary->next : nullptr;
  if (boundary != nullptr) boundary->next = nullptr;
  const int r = zpathListFilletLevels(list, boundary, radius);
  if (boundary != nullptr) boundary->next = next;
  kontSetNoRound(0);
  kontSetSkipCheck(0);
  return r;
}

void zpathFilletResetState() { zpFillet = ZpFilletState{}; }
