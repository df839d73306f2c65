// boundary.cpp - machining boundaries: the boundary text file reader with nesting and contact
// offset, the rectangle boundary, inside tests by point and by guide parameter, and the parameter
// intervals of a guide curve inside a boundary less its islands.
#include "geometry/boundary.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <new>
#include <vector>

#include "framework/memory.h"
#include "framework/messages.h"
#include "framework/platform.h"
#include "geometry/bnd_text.h"
#include "geometry/csys.h"
#include "geometry/cycle_state.h"
#include "geometry/geo_error.h"
#include "geometry/guide_curve.h"
#include "geometry/seg_cross.h"
#include "geometry/seg_offset.h"

namespace {

constexpr double kBndPointTol = 1e-5;
constexpr double kBndMatchTol = 0.001;
constexpr double kBndMinStretch = 0.002;

struct BndState {
  ApproachCheckHook approach = nullptr;
  double zLowest = 0.0;
  double zHighest = 0.0;
};
BndState bndState;

// The five-axis polyline offset, installed at load by the five-axis subsystem; apart from the
// boundary state so that clearing that state keeps it.
constinit BndTiltOffsetFn bndTiltOffset = nullptr;

template <typename T>
T* bndAlloc(std::size_t n) {
  if (n == 0) n = 1;
  return static_cast<T*>(memAllocZero(n * sizeof(T)));
}

void bndSetBox(Boundary* b) {
  if (b->segCount <= 0) return;
  b->xmin = b->xmax = b->segs[0].x1;
  b->ymin = b->ymax = b->segs[0].y1;
  for (int i = 0; i < b->segCount; ++i) {
    const Seg2D& s = b->segs[i];
    b->xmin = std::min({b->xmin, s.x1, s.x2});
    b->xmax = std::max({b->xmax, s.x1, s.x2});
    b->ymin = std::min({b->ymin, s.y1, s.y2});
    b->ymax = std::max({b->ymax, s.y1, s.y2});
  }
}

void bndFreeOne(Boundary* b) {
  for (BndIslandNode* n = b->islands; n != nullptr;) {
    BndIslandNode* next = n->next;
    memFree(n);
    n = next;
  }
  memFree(b->segs);
  memFree(b->intervals);
  memFree(b->curve);
  memFree(b);
}

// Reads lines of f up to the "**END" line (or the end of the file) without using them.
void bndSkipItem(std::FILE* f) {
  char piece[kBndPieceSize];
  while (bndTextNextPiece(f, piece) == 1) {
    if (bndTextLineKind(piece) == kBndLineEnd) return;
  }
}

// Reads the curve of a "**CLN" item into b (replacing one read before). Returns 1, 0 when the
// curve could not be read, -1 when memory runs out.
int bndAttachCurve(Boundary* b, std::FILE* f, int lines) {
  const int room = std::min(lines + 1, kBndCurveLimit);
  Point3D* pts = bndAlloc<Point3D>(static_cast<std::size_t>(room));
  if (pts == nullptr) return -1;
  const int n = bndReadCurve(f, pts, room);
  if (n < 0) {
    memFree(pts);
    return 0;
  }
  memFree(b->curve);
  b->curve = pts;
  b->curveCount = n;
  return 1;
}

// Parameter on the guide of a crossing on its segment seg (0-based): the segment start's parameter
// plus the distance from the start times the parameter change per unit length.
double bndIsectParam(const GuideCurve* g, int seg, const Point2D& at) {
  const Point2D& a = g->points[seg];
  const Point2D& b = g->points[seg + 1];
  const double len = g2dDistance(a, b);
  if (len < kBndPointTol) return g->params[seg];
  return g->params[seg] + g2dDistance(a, at) * (g->params[seg + 1] - g->params[seg]) / len;
}

// The segment offset of a closed contour, accepted only when it is a closed contour again: a
// sliver can come back as an open piece, which as a boundary would be corrupt. Returns the count,
// or 0 for no usable result.
int bndClosedOffset(const Seg2D* in, int n, double d, Seg2D* out, int room, int side) {
  const int m = segOffsetContour(in, n, d, out, room, side);
  if (m < 2 || g2dChainClosed(out, m) != 1) return 0;
  return m;
}

}  // namespace

Boundary* bndNewRect(double xmin, double xmax, double ymin, double ymax) {
  Boundary* b = bndAlloc<Boundary>(1);
  if (b == nullptr) {
    geoFail(kGeoFailed, "boundary");
    return nullptr;
  }
  b->segs = bndAlloc<Seg2D>(4);
  if (b->segs == nullptr) {
    memFree(b);
    geoFail(kGeoFailed, "boundary");
    return nullptr;
  }
  b->segs[0] = {xmin, ymin, xmax, ymin};
  b->segs[1] = {xmax, ymin, xmax, ymax};
  b->segs[2] = {xmax, ymax, xmin, ymax};
  b->segs[3] = {xmin, ymax, xmin, ymin};
  b->segCount = 4;
  b->xmin = xmin;
  b->xmax = xmax;
  b->ymin = ymin;
  b->ymax = ymax;
  b->origin = 1;
  b->outer = 1;
  return b;
}

void bndFree(Boundary* list) {
  // From the tail: collect the records first, then free them last to first.
  std::vector<Boundary*> all;
  try {
    for (Boundary* b = list; b != nullptr; b = b->next) all.push_back(b);
  } catch (...) {
    // No memory for the record list: free front to back instead.
    while (list != nullptr) {
      Boundary* next = list->next;
      bndFreeOne(list);
      list = next;
    }
    return;
  }
  for (auto it = all.rbegin(); it != all.rend(); ++it) bndFreeOne(*it);
}

int bndPointInside(const Boundary* b, const Point2D& p) {
  if (b == nullptr) return 1;
  return g2dWinding(b->segs, b->segCount, p);
}

int bndParamInside(const Boundary* b, double x) {
  if (b == nullptr) return 1;
  for (int i = 0; i < b->intervalCount; ++i) {
    if (x >= b->intervals[i].low - kBndPointTol && x <= b->intervals[i].high + kBndPointTol) {
      return 1;
    }
  }
  return 0;
}

int bndListParamInside(const Boundary* list, double x) {
  bool any = false;
  for (const Boundary* b = list; b != nullptr; b = b->next) {
    if (b->outer != 1 || b->intervalCount <= 0) continue;
    any = true;
    if (bndParamInside(b, x) == 1) return 1;
  }
  return any ? 0 : 1;
}

int bndAddIsland(Boundary* b, Boundary* island) {
  if (b == nullptr || island == nullptr) return 0;
  BndIslandNode* node = bndAlloc<BndIslandNode>(1);
  if (node == nullptr) {
    geoFail(kGeoFailed, "boundary");
    return 0;
  }
  node->island = island;
  BndIslandNode** tail = &b->islands;
  while (*tail != nullptr) tail = &(*tail)->next;
  *tail = node;
  return 1;
}

int bndOffset(Boundary* b, double d) {
  if (b == nullptr || b->segs == nullptr || b->segCount <= 0)
    return geoFail(kGeoFailed, "boundary");
  const int o = g2dSegChainOrientation(b->segs, b->segCount);
  if (o == 0) return geoFail(kGeoFailed, "boundary");
  const int side = d > 0 ? -o : o;
  // The segment offset needs up to 2n + 1 segments; never fewer than 2000 for the vertex offset.
  const int room = std::max(2 * b->segCount + 1, 2000);
  Seg2D* work = bndAlloc<Seg2D>(static_cast<std::size_t>(room));
  if (work == nullptr) return geoFail(kGeoFailed, "boundary");
  int n = bndClosedOffset(b->segs, b->segCount, std::fabs(d), work, room, side);
  // Without an installed polyline offset the fallback gives nothing and the offset fails.
  if (n <= 0 && bndTiltOffset != nullptr) {
    n = bndTiltOffset(b->segs, b->segCount, std::fabs(d), work, side);
  }
  if (n <= 0 || n > room) {
    memFree(work);
    return geoFail(kGeoFailed, "boundary");
  }
  Seg2D* segs = bndAlloc<Seg2D>(static_cast<std::size_t>(n));
  if (segs == nullptr) {
    memFree(work);
    return geoFail(kGeoFailed, "boundary");
  }
  std::memcpy(segs, work, static_cast<std::size_t>(n) * sizeof(Seg2D));
  memFree(work);
  memFree(b->segs);
  b->segs = segs;
  b->segCount = n;
  if (d > 0) {
    b->xmin -= d;
    b->ymin -= d;
    b->xmax += d;
    b->ymax += d;
  }
  return 1;
}

int bndResetState() { return csysAxisDiffers(); }

void bndSetTiltOffset(BndTiltOffsetFn fn) { bndTiltOffset = fn; }

void bndSetApproachCheck(ApproachCheckHook hook) { bndState.approach = hook; }
ApproachCheckHook bndApproachCheck() { return bndState.approach; }

void bndLastZRange(double* low, double* high) {
  if (low != nullptr) *low = bndState.zLowest;
  if (high != nullptr) *high = bndState.zHighest;
}

void bndClearState() { bndState = BndState{}; }

// ---- reading ----------------------------------------------------------------------------------

int bndCountItems(const char* fileName, BndItemCounts* counts, int* remainder) {
  if (remainder != nullptr) *remainder = 0;
  if (fileName == nullptr || fileName[0] == '\0' || counts == nullptr)
    return geoFail(kGeoFailed, "boundary");
  // A FIFO would block the open for ever: anything but a regular file is a missing file.
  if (platPathKind(fileName) == kPlatOtherFile) {
    msgWarnSkippedSource(fileName);
    return geoFail(kGeoFailed, "boundary");
  }
  std::FILE* f = std::fopen(fileName, "r");
  if (f == nullptr) return geoFail(kGeoFailed, "boundary");
  counts->bndCount = 0;
  counts->clnCount = 0;
  char piece[kBndPieceSize];
  int open = kBndLineOther;  // kind of the item being counted
  int lines = 0;
  bool full = false;
  while (!full && bndTextNextPiece(f, piece) == 1) {
    const BndLineKind kind = bndTextLineKind(piece);
    if (kind == kBndLineBnd || kind == kBndLineCln) {
      open = kind;
      lines = 0;
      continue;
    }
    if (kind == kBndLineEnd) {
      if (open == kBndLineBnd) counts->bndLines[counts->bndCount++] = lines;
      if (open == kBndLineCln) counts->clnLines[counts->clnCount++] = lines;
      open = kBndLineOther;
      full = counts->bndCount >= kBndItemTable || counts->clnCount >= kBndItemTable;
      continue;
    }
    if (lines < 0x3FFFFFFF) ++lines;
  }
  // An item the file ends in without its "**END" line keeps its count, so the second pass has
  // room for every point it may find.
  if (!full) {
    if (open == kBndLineBnd) counts->bndLines[counts->bndCount++] = lines;
    if (open == kBndLineCln) counts->clnLines[counts->clnCount++] = lines;
  }
  if (full && remainder != nullptr) {
    int rest = 0;
    while (bndTextNextPiece(f, piece) == 1) {
      if (rest < 0x3FFFFFFF) ++rest;
    }
    *remainder = rest;
  }
  std::fclose(f);
  return counts->bndCount;
}

int bndReadContour(std::FILE* f, Seg2D* segs, int room) {
  if (f == nullptr || segs == nullptr || room < 1) return geoFail(kGeoFailed, "boundary");
  char piece[kBndPieceSize];
  Point3D p{0.0, 0.0, 0.0};  // a letter missing on a point line keeps the previous line's value
  Point2D first{0.0, 0.0};
  Point2D open{0.0, 0.0};  // start of the open segment
  int kept = 0;
  int count = 0;  // completed segments
  bool overflow = false;
  bndState.zLowest = 0.0;
  bndState.zHighest = 0.0;
  while (bndTextNextPiece(f, piece) == 1) {
    const BndLineKind kind = bndTextLineKind(piece);
    if (kind == kBndLineEnd) break;
    if (kind == kBndLineNext) continue;
    if (bndTextReadPoint(piece, &p) != 1) continue;
    Point3D q = p;
    csysWorldToTool(&q);
    if (bndTextPointUsable(q) != 1) continue;  // no usable point: the line is passed over
    if (kept == 0 || q.z < bndState.zLowest) bndState.zLowest = q.z;
    if (kept == 0 || q.z > bndState.zHighest) bndState.zHighest = q.z;
    const Point2D at{q.x, q.y};
    if (kept == 0) {
      first = at;
      open = at;
      kept = 1;
      continue;
    }
    if (std::fabs(at.x - open.x) <= kBndPointTol && std::fabs(at.y - open.y) <= kBndPointTol) {
      continue;
    }
    if (count >= room) {
      overflow = true;  // read on to the item's end so the file stays in step
      continue;
    }
    segs[count++] = Seg2D{open.x, open.y, at.x, at.y};
    open = at;
    ++kept;
  }
  if (overflow || kept < 2) return geoFail(kGeoFailed, "boundary");
  if (std::fabs(open.x - first.x) <= kBndPointTol && std::fabs(open.y - first.y) <= kBndPointTol) {
    segs[count - 1].x2 = first.x;
    segs[count - 1].y2 = first.y;
    return count;
  }
  if (count >= room) return geoFail(kGeoFailed, "boundary");
  segs[count++] = Seg2D{open.x, open.y, first.x, first.y};
  return count;
}

int bndReadCurve(std::FILE* f, Point3D* points, int limit) {
  if (f == nullptr || points == nullptr || limit < 1) return geoFail(kGeoFailed, "boundary");
  char piece[kBndPieceSize];
  Point3D p{0.0, 0.0, 0.0};  // a missing letter keeps the previous line's value, 0 at first
  int n = 0;
  bool full = false;
  while (bndTextNextPiece(f, piece) == 1) {
    const BndLineKind kind = bndTextLineKind(piece);
    if (kind == kBndLineEnd) break;
    if (kind != kBndLineOther || full) continue;
    if (bndTextReadPoint(piece, &p) != 1 || bndTextPointUsable(p) != 1) continue;
    if (n + 1 >= limit) {
      full = true;  // read on to the item's end so the file stays in step
      continue;
    }
    points[n++] = p;
  }
  if (full) return geoFail(kGeoFailed, "boundary");
  return n;
}

int bndResolveNesting(Boundary* list) {
  if (list == nullptr || list->next == nullptr) return 1;
  std::vector<SegCrossing> table;
  try {
    table.resize(kSegCrossMax);
  } catch (...) {
    return geoFail(kGeoFailed, "boundary");
  }
  for (Boundary* p = list; p != nullptr; p = p->next) {
    for (Boundary* q = p->next; q != nullptr; q = q->next) {
      const int hits = segContoursIntersect(p->segs, p->segCount, q->segs, q->segCount,
                                            table.data(), kSegCrossMax);
      if (hits != 0) continue;  // crossing contours (or a failed search) nest nothing
      if (p->outer == 1 && g2dWinding(p->segs, p->segCount, g2dSegStart(q->segs[0])) != 0) {
        q->outer = 0;
        if (bndAddIsland(p, q) != 1) return -1;
      }
      if (q->outer == 1 && g2dWinding(q->segs, q->segCount, g2dSegStart(p->segs[0])) != 0) {
        p->outer = 0;
        if (bndAddIsland(q, p) != 1) return -1;
      }
    }
  }
  return 1;
}

Boundary* bndRead(const char* fileName, double contactOffset, double offset) {
  BndItemCounts* counts = bndAlloc<BndItemCounts>(1);
  if (counts == nullptr) {
    geoFail(kGeoFailed, "boundary");
    return nullptr;
  }
  int remainder = 0;
  if (bndCountItems(fileName, counts, &remainder) < 0) {
    memFree(counts);
    return nullptr;
  }
  std::FILE* f = std::fopen(fileName, "r");
  if (f == nullptr) {
    memFree(counts);
    geoFail(kGeoFailed, "boundary");
    return nullptr;
  }
  Boundary* head = nullptr;
  Boundary* tail = nullptr;
  bool lastKept = false;  // whether the last "**BND" item became a boundary
  int bndSeen = 0;
  int clnSeen = 0;
  bool failed = false;
  char piece[kBndPieceSize];
  while (!failed && bndTextNextPiece(f, piece) == 1) {
    const BndLineKind kind = bndTextLineKind(piece);
    if (kind == kBndLineBnd) {
      const int lines = bndSeen < counts->bndCount ? counts->bndLines[bndSeen] : remainder;
      ++bndSeen;
      lastKept = false;
      Boundary* b = bndAlloc<Boundary>(1);
      Seg2D* segs = bndAlloc<Seg2D>(static_cast<std::size_t>(lines) + 1);
      if (b == nullptr || segs == nullptr) {
        memFree(b);
        memFree(segs);
        failed = true;
        break;
      }
      const int n = bndReadContour(f, segs, lines + 1);
      if (n < 0) {  // an unreadable contour is dropped
        memFree(b);
        memFree(segs);
        continue;
      }
      b->segs = segs;
      b->segCount = n;
      b->zLow = bndState.zLowest / unitFactor;
      bndSetBox(b);
      b->outer = 1;
      b->origin = 2;
      b->contactOffset = contactOffset;
      b->offset = offset;
      if (tail == nullptr) {
        head = b;
      } else {
        tail->next = b;
      }
      tail = b;
      lastKept = true;
    } else if (kind == kBndLineCln) {
      const int lines = clnSeen < counts->clnCount ? counts->clnLines[clnSeen] : remainder;
      ++clnSeen;
      if (!lastKept) {  // before the first boundary, or after a dropped one
        bndSkipItem(f);
        continue;
      }
      const int r = bndAttachCurve(tail, f, lines);
      if (r < 0) {
        failed = true;
      } else if (r == 0) {
        msgSendInt(9, 706, "* Fehler beim Einlesen von Curve %d", bndSeen);
        failed = true;
      }
    }
  }
  std::fclose(f);
  memFree(counts);
  if (failed || bndResolveNesting(head) != 1) {
    bndFree(head);
    geoFail(kGeoFailed, "boundary");
    return nullptr;
  }
  for (Boundary* b = head; b != nullptr; b = b->next) {
    const double d = b->outer == 1 ? -offset : offset;
    if (std::fabs(d) < kBndPointTol) continue;
    if (bndOffset(b, d) != 1) {
      msgSendText(9, 700, "* Boundary fuer Kontaktpunkt nicht verkleinerbar", nullptr);
    }
    bndSetBox(b);
  }
  return head;
}

// ---- guide intervals --------------------------------------------------------------------------

int bndSegMatchesGuide(const Boundary* b, const GuideCurve* guide) {
  if (b == nullptr || guide == nullptr || guide->count != 2 || b->segCount <= 0) return 0;
  const Point2D& g0 = guide->points[0];
  const Point2D& g1 = guide->points[1];
  const auto near = [](const Point2D& p, double x, double y) {
    return std::fabs(p.x - x) <= kBndMatchTol && std::fabs(p.y - y) <= kBndMatchTol;
  };
  for (int i = 0; i < b->segCount; ++i) {
    const Seg2D& s = b->segs[i];
    if (!near(g0, s.x1, s.y1)) continue;
    // The contour is closed: the segment before the first is the last.
    const Seg2D& prev = b->segs[i == 0 ? b->segCount - 1 : i - 1];
    if (near(g1, s.x2, s.y2) || near(g1, prev.x1, prev.y1)) return 1;
  }
  return 0;
}

int bndGuideIntervals(const Boundary* b, const GuideCurve* guide, BndInterval** out) {
  if (out == nullptr) return geoFail(kBndErrArgument, "boundary");
  *out = nullptr;
  if (b == nullptr) return 0;
  if (guide == nullptr || guide->count < 1) return geoFail(kBndErrArgument, "boundary");
  const double s = guide->start;
  const double e = guide->end;
  if (guideSameAsBoundary(guide, b) != 0 || bndSegMatchesGuide(b, guide) == 1) {
    BndInterval* one = bndAlloc<BndInterval>(1);
    if (one == nullptr) return geoFail(kGeoFailed, "boundary");
    *one = {s, e};
    *out = one;
    return 1;
  }
  int gn = 0;
  Seg2D* gsegs = guideToSegments(guide, 1, &gn);
  if (gsegs == nullptr) return geoFail(kGeoFailed, "boundary");

  const Seg2D* contour = b->segs;
  int cn = b->segCount;
  Seg2D* work = nullptr;
  if (std::fabs(b->contactOffset) >= kBndPointTol) {
    const int o = g2dSegChainOrientation(b->segs, b->segCount);
    if (o == 0) {
      msgSendText(9, 702, "* Fehler: Boundary Orientierung nicht bestimmbar", nullptr);
      memFree(gsegs);
      return geoFail(kGeoFailed, "boundary");
    }
    const int room = std::max(3 * b->segCount, 2000);
    work = bndAlloc<Seg2D>(static_cast<std::size_t>(room));
    if (work == nullptr) {
      msgSendText(9, 703, "* Fehler: Boundary im Kontaktmodus nicht zu berechnen", nullptr);
      memFree(gsegs);
      return geoFail(kGeoFailed, "boundary");
    }
    int side = b->outer == 1 ? -o : o;
    if (b->contactOffset < 0) side = -side;  // a negative offset goes to the other side
    const int n =
        bndClosedOffset(b->segs, b->segCount, std::fabs(b->contactOffset), work, room, side);
    if (n > 0) {
      contour = work;
      cn = n;
    } else {
      msgSendText(9, 703, "* Fehler: Boundary im Kontaktmodus nicht zu berechnen", nullptr);
    }
  }

  int result = -1;
  try {
    std::vector<SegCrossing> table(kSegCrossMax);
    const int hits =
        gn > 0 ? segContoursIntersect(gsegs, gn, contour, cn, table.data(), kSegCrossMax) : 0;
    if (hits >= 0) {
      std::vector<double> t;
      t.reserve(static_cast<std::size_t>(hits) + 2);
      t.push_back(s);
      std::vector<double> inner;
      for (int i = 0; i < hits; ++i) {
        const int seg = table[i].segA - 1;
        if (seg < 0 || seg >= gn) continue;
        inner.push_back(bndIsectParam(guide, seg, Point2D{table[i].x, table[i].y}));
      }
      std::sort(inner.begin(), inner.end());
      t.insert(t.end(), inner.begin(), inner.end());
      t.push_back(e);
      std::vector<BndInterval> found;
      for (std::size_t i = 0; i + 1 < t.size(); ++i) {
        const double lo = std::clamp(t[i], s, e);
        const double hi = std::clamp(t[i + 1], s, e);
        if (hi - lo < kBndMinStretch) continue;
        Point2D mid;
        if (guideEvalAt(guide, 0.5 * (lo + hi), &mid, nullptr) < 0) continue;
        if (g2dWinding(contour, cn, mid) == 0) continue;
        if (hits == 1 && g2dNearestSeg(mid, contour, cn, nullptr) < kBndPointTol) continue;
        found.push_back({lo, hi});
      }
      result = static_cast<int>(found.size());
      if (result > 0) {
        BndInterval* arr = bndAlloc<BndInterval>(found.size());
        if (arr == nullptr) {
          result = -1;
        } else {
          std::copy(found.begin(), found.end(), arr);
          *out = arr;
        }
      }
    }
  } catch (...) {
    result = -1;
  }
  memFree(work);
  memFree(gsegs);
  if (result < 0) return geoFail(kGeoFailed, "boundary");
  return result;
}

int bndSubtractIntervals(const BndInterval* a, int na, const BndInterval* b, int nb,
                         BndInterval** out) {
  if (out == nullptr) return geoFail(kBndErrArgument, "boundary");
  *out = nullptr;
  if (na <= 0 || a == nullptr) return 0;
  if (nb < 0 || (nb > 0 && b == nullptr)) nb = 0;
  BndInterval* res =
      bndAlloc<BndInterval>(static_cast<std::size_t>(na) + static_cast<std::size_t>(nb));
  if (res == nullptr) {
    msgSendText(9, 704, "* Kein Memory fuer Schnitt zwischen Boundary und Leitkurve", nullptr);
    return geoFail(kGeoFailed, "boundary");
  }
  int n = 0;
  for (int i = 0; i < na; ++i) {
    double lo = a[i].low;
    double hi = a[i].high;
    bool removed = false;
    for (int j = 0; j < nb; ++j) {
      const double ia = b[j].low;
      const double ib = b[j].high;
      if (ia >= hi - kBndPointTol) break;
      if (ib < lo + kBndPointTol) continue;
      if (ia < lo + kBndPointTol && ib > hi - kBndPointTol) {
        removed = true;
        break;
      }
      if (ia < lo + kBndPointTol) {
        lo = ib;
      } else if (ib < hi - kBndPointTol) {
        res[n++] = {lo, ia};  // an island interval inside splits it
        lo = ib;
      } else {
        hi = ia;
      }
    }
    if (!removed) res[n++] = {lo, hi};
  }
  *out = res;
  return n;
}

int bndUpdateIntervals(Boundary* b, const GuideCurve* guide) {
  if (b == nullptr) return 0;
  memFree(b->intervals);
  b->intervals = nullptr;
  b->intervalCount = 0;
  BndInterval* own = nullptr;
  const int n = bndGuideIntervals(b, guide, &own);
  if (n < 0) return -1;
  int count = n;
  for (const BndIslandNode* node = b->islands; node != nullptr && count > 0; node = node->next) {
    const Boundary* island = node->island;
    if (island == nullptr || island->intervalCount <= 0) continue;
    BndInterval* less = nullptr;
    const int m = bndSubtractIntervals(own, count, island->intervals, island->intervalCount, &less);
    memFree(own);
    if (m < 0) return -1;
    own = less;
    count = m;
  }
  if (count == 0) {
    memFree(own);
    own = nullptr;
  }
  b->intervals = own;
  b->intervalCount = count;
  return count;
}
