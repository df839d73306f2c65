// zigzag_stripes.cpp - the stripes of the axis-parallel level: principal direction, stripe lines,
// clipping, zig-zag ordering with joins along the contour and island tours, and the output of the
// recorded nodes.
#include "pocket/zigzag_stripes.h"

#include <cmath>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <vector>

#include "framework/memory.h"
#include "pocket/ccp_fields.h"
#include "pocket/contour_geom.h"
#include "pocket/contour_hull.h"
#include "pocket/contour_relate.h"
#include "pocket/contour_tree.h"
#include "pocket/engine_state.h"
#include "pocket/layer_store.h"
#include "pocket/link_search.h"
#include "pocket/pock_output.h"
#include "pocket/pocket_grouping.h"
#include "pocket/zigzag_walls.h"

namespace {

struct StripeState {
  int notCentreReported = 0;  // a level that is not a tool-centre level was refused in this run
};
StripeState stripeState;

constexpr int kEmptyMinRow = 10000;
constexpr int kEmptyMaxRow = -10000;
constexpr int kInitialRoom = 1000;
constexpr double kLengthTol = 0.0001;
// Largest |R + plane allowance| (unscaled) of a tool-centre level.
constexpr double kCentreTol = 0.001;

Point2D segStart(const Seg2D& s) { return Point2D{s.x1, s.y1}; }
Point2D segEnd(const Seg2D& s) { return Point2D{s.x2, s.y2}; }

// A MAIN contour into buf; its count, -1 when unreadable.
int readMain(int i, std::vector<ContourElement>* buf, ContourHeader* h) {
  if (layerGetHeader("MAIN", h, i) != i) return -1;
  buf->resize(static_cast<std::size_t>(h->count > 0 ? h->count : 1));
  if (layerGetContour("MAIN", buf->data(), h->count, h, i) != i) return -1;
  buf->resize(static_cast<std::size_t>(h->count));
  return h->count;
}

// Index of the contour of the layer whose group is index; -1 for none.
int findGroup(const char* layer, int index) {
  const int n = layerCount(layer);
  for (int i = 0; i < n; ++i) {
    ContourHeader h{};
    if (layerGetHeader(layer, &h, i) == i && h.group == index) return i;
  }
  return -1;
}

int readLayer(const char* layer, int i, std::vector<ContourElement>* buf, ContourHeader* h) {
  if (layerGetHeader(layer, h, i) != i) return -1;
  buf->resize(static_cast<std::size_t>(h->count > 0 ? h->count : 1));
  if (layerGetContour(layer, buf->data(), h->count, h, i) != i) return -1;
  buf->resize(static_cast<std::size_t>(h->count));
  return h->count;
}

int growList(StripeList* list) {
  if (list->count < list->capacity) return 1;
  const long room = static_cast<long>(list->capacity) + list->capacity / 2 + 1;
  if (room > std::numeric_limits<int>::max() / 2) return -1;
  auto* grown = static_cast<ZigzagStripe*>(
      memAllocZero(static_cast<std::size_t>(room) * sizeof(ZigzagStripe)));
  if (grown == nullptr) return -1;
  if (list->count > 0) {
    std::memcpy(grown, list->stripes, static_cast<std::size_t>(list->count) * sizeof(ZigzagStripe));
  }
  memFree(list->stripes);
  list->stripes = grown;
  list->capacity = static_cast<int>(room);
  return 1;
}

// The header of the join and stripe nodes: MAIN's first.
ContourHeader firstMainHeader() {
  ContourHeader h{};
  layerGetHeader("MAIN", &h, 0);
  return h;
}

void recordLine(const Point2D& a, const Point2D& b, const ContourHeader& header) {
  const ContourElement e = contMakeLine(a.x, a.y, b.x, b.y, 0);
  zigzagRecordNode(&e, 1, header);
}

// The open stretch at one end of a stripe: the smaller marked length both ways.
double openStretch(const ZigzagStripe& s, int end) {
  const int k = end == 0 ? s.startContour : s.endContour;
  if (k < 0) return 0.0;
  std::vector<ContourElement> e;
  ContourHeader h{};
  if (readMain(k, &e, &h) <= 0) return 0.0;
  const IntersectionRecord& r = end == 0 ? s.startCross : s.endCross;
  const double f = zigzagMarkedLength(r, e.data(), h.count, 1);
  const double b = zigzagMarkedLength(r, e.data(), h.count, -1);
  return f < b ? f : b;
}

}  // namespace

StripeList* zigzagListNew(int capacity) {
  auto* list = static_cast<StripeList*>(memAllocZero(sizeof(StripeList)));
  if (list == nullptr) return nullptr;
  const int room = capacity > 0 ? capacity : 1;
  list->stripes = static_cast<ZigzagStripe*>(
      memAllocZero(static_cast<std::size_t>(room) * sizeof(ZigzagStripe)));
  if (list->stripes == nullptr) {
    memFree(list);
    return nullptr;
  }
  list->capacity = room;
  list->count = 0;
  list->minRow = kEmptyMinRow;
  list->maxRow = kEmptyMaxRow;
  return list;
}

void zigzagListFree(StripeList* list) {
  if (list == nullptr) return;
  memFree(list->stripes);
  memFree(list);
}

int zigzagListAppend(StripeList* list, const ZigzagStripe& stripe) {
  if (list == nullptr || growList(list) != 1) return -1;
  list->stripes[list->count++] = stripe;
  if (stripe.row < list->minRow) list->minRow = stripe.row;
  if (stripe.row > list->maxRow) list->maxRow = stripe.row;
  return 1;
}

int zigzagListInsert(StripeList* list, int pos, const ZigzagStripe& stripe) {
  if (list == nullptr || pos < 0 || pos > list->count || growList(list) != 1) return -1;
  std::memmove(&list->stripes[pos + 1], &list->stripes[pos],
               static_cast<std::size_t>(list->count - pos) * sizeof(ZigzagStripe));
  list->stripes[pos] = stripe;
  ++list->count;
  return 1;
}

int zigzagListRemove(StripeList* list, int pos) {
  if (list == nullptr || pos < 0 || pos >= list->count) return -1;
  std::memmove(&list->stripes[pos], &list->stripes[pos + 1],
               static_cast<std::size_t>(list->count - pos - 1) * sizeof(ZigzagStripe));
  --list->count;
  return 1;
}

ContourElement zigzagStripeElem(const ZigzagStripe& s) {
  return contMakeLine(s.segment.x1, s.segment.y1, s.segment.x2, s.segment.y2, 0);
}

double zigzagFarthestFromLine(const Point2D& u, int count, const Point2D& origin,
                              const Point2D* points) {
  double best = 0.0;
  for (int i = 0; i < count; ++i) {
    const double d = u.x * (points[i].y - origin.y) - u.y * (points[i].x - origin.x);
    if (i == 0 || std::fabs(d) > std::fabs(best)) best = d;
  }
  return best;
}

void zigzagProjectRange(const Point2D& u, const Point2D* points, const Point2D& origin, int count,
                        double* minOut, double* maxOut) {
  double lo = 0.0;
  double hi = 0.0;
  for (int i = 0; i < count; ++i) {
    const double t = u.x * (points[i].x - origin.x) + u.y * (points[i].y - origin.y);
    if (i == 0 || t < lo) lo = t;
    if (i == 0 || t > hi) hi = t;
  }
  *minOut = lo;
  *maxOut = hi;
}

int zigzagPrincipalDir(const ContourElement* elements, int n, Seg2D* lineOut, double* widthOut) {
  if (elements == nullptr || n <= 0) return 0;
  std::vector<Point2D> pts;
  for (int i = 0; i < n; ++i) {
    Point2D p{};
    if (elements[i].type == kContArc && contElemPoint(elements[i], &p, 3) == 1) pts.push_back(p);
    if (contElemPoint(elements[i], &p, 2) == 1) pts.push_back(p);
  }
  std::vector<Point2D> work(pts.size() + 1);
  const int h = contConvexHull(pts.data(), static_cast<int>(pts.size()), work.data());
  if (h < 2) return 0;
  int best = -1;
  double bestW = 0.0;
  Point2D bestU{};
  for (int i = 0; i < h; ++i) {
    const Point2D a = work[static_cast<std::size_t>(i == 0 ? h - 1 : i - 1)];
    const Point2D b = work[static_cast<std::size_t>(i)];
    const double len = std::hypot(b.x - a.x, b.y - a.y);
    if (len < kLengthTol) continue;
    const Point2D u{(b.x - a.x) / len, (b.y - a.y) / len};
    const double w = zigzagFarthestFromLine(u, h, a, work.data());
    if (best < 0 || std::fabs(w) < std::fabs(bestW)) {
      best = i;
      bestW = w;
      bestU = u;
    }
  }
  if (best < 0) return 0;
  const Point2D origin = work[static_cast<std::size_t>(best == 0 ? h - 1 : best - 1)];
  Point2D u = bestU;
  if (bestW < 0.0) u = Point2D{-u.x, -u.y};
  double lo = 0.0;
  double hi = 0.0;
  zigzagProjectRange(u, work.data(), origin, h, &lo, &hi);
  *lineOut = Seg2D{origin.x + (lo - 1.0) * u.x, origin.y + (lo - 1.0) * u.y,
                   origin.x + (hi + 1.0) * u.x, origin.y + (hi + 1.0) * u.y};
  *widthOut = bestW;
  return 1;
}

StripeList* zigzagMakeStripes(const Seg2D& line, double width, double radius, double step) {
  const double len = std::hypot(line.x2 - line.x1, line.y2 - line.y1);
  if (!(step > 0.0) || !(len > 0.0)) return zigzagListNew(kInitialRoom);
  const double kd = std::trunc((width - step - radius) / step);
  const double f = kd + 2.0;
  if (!(f < 1e7)) return nullptr;
  const int stripes = f > 0.0 ? static_cast<int>(f) : 0;
  StripeList* list = zigzagListNew(stripes > kInitialRoom ? stripes : kInitialRoom);
  if (list == nullptr) return nullptr;
  const Point2D normal{-(line.y2 - line.y1) / len, (line.x2 - line.x1) / len};
  for (int m = 1; m <= stripes; ++m) {
    ZigzagStripe s{};
    const double d = m * step;
    s.segment = Seg2D{line.x1 + d * normal.x, line.y1 + d * normal.y, line.x2 + d * normal.x,
                      line.y2 + d * normal.y};
    s.row = m;
    s.startContour = -1;
    s.endContour = -1;
    zigzagListAppend(list, s);
  }
  return list;
}

int zigzagClipStripes(StripeList* list, const ContourElement* contour, int n, int index,
                      int outside) {
  if (list == nullptr) return -1;
  const double tol = pockEngine().contTol;
  std::vector<IntersectionRecord> rec(kIsectRecordMax);
  auto wanted = [&](const Point2D& mid) {
    if (contMinDistance(mid, contour, n) < tol) return false;  // along a contour edge
    const bool inside = contWinding(contour, n, mid) != 0;
    return outside == 0 ? inside : !inside;
  };
  int i = 0;
  while (i < list->count) {
    const ZigzagStripe s = list->stripes[i];
    const ContourElement line = zigzagStripeElem(s);
    const int h = isectContours(&line, 1, contour, n, rec.data(), kIsectRecordMax);
    if (h < 0 || h > kIsectRecordMax) {
      zigzagListRemove(list, i);
      continue;
    }
    if (h == 0) {
      const Point2D mid{(s.segment.x1 + s.segment.x2) / 2.0, (s.segment.y1 + s.segment.y2) / 2.0};
      if (wanted(mid)) {
        ++i;
      } else {
        zigzagListRemove(list, i);
      }
      continue;
    }
    // The pieces between consecutive crossings, from the stripe's start to its end.
    std::vector<ZigzagStripe> pieces;
    for (int k = 0; k <= h; ++k) {
      const Point2D a = k == 0 ? segStart(s.segment) : Point2D{rec[k - 1].x, rec[k - 1].y};
      const Point2D b = k == h ? segEnd(s.segment) : Point2D{rec[k].x, rec[k].y};
      if (std::hypot(b.x - a.x, b.y - a.y) < kLengthTol) continue;
      if (!wanted(Point2D{(a.x + b.x) / 2.0, (a.y + b.y) / 2.0})) continue;
      ZigzagStripe p = s;
      p.segment = Seg2D{a.x, a.y, b.x, b.y};
      if (k > 0) {
        p.startContour = index;
        p.startCross = rec[static_cast<std::size_t>(k - 1)];
      }
      if (k < h) {
        p.endContour = index;
        p.endCross = rec[static_cast<std::size_t>(k)];
      }
      pieces.push_back(p);
    }
    zigzagListRemove(list, i);
    for (const ZigzagStripe& p : pieces) {
      if (zigzagListInsert(list, i, p) != 1) return -1;
      ++i;
    }
  }
  return 1;
}

double zigzagMarkedLength(const IntersectionRecord& cross, const ContourElement* ring, int n,
                          int direction) {
  const int c = cross.elemB - 1;
  if (ring == nullptr || c < 0 || c >= n || ring[c].tag >= 0) return 0.0;
  const Point2D p{cross.x, cross.y};
  double rest = 0.0;
  const double before = contElemLengthTo(ring[c], p, &rest);
  double sum = direction > 0 ? rest : before;
  for (int k = 1; k <= n; ++k) {
    const int i = direction > 0 ? (c + k) % n : ((c - k) % n + n) % n;
    if (ring[i].tag >= 0) break;
    if (i == c) {
      sum += direction > 0 ? before : rest;
      break;
    }
    sum += contElemLength(ring[i]);
  }
  return sum;
}

int zigzagEndMoreOpen(int endA, const ZigzagStripe& a, const ZigzagStripe& b, int endB) {
  return openStretch(b, endB) > openStretch(a, endA) ? 1 : 0;
}

void zigzagStripeReverse(ZigzagStripe* s) {
  s->segment = Seg2D{s->segment.x2, s->segment.y2, s->segment.x1, s->segment.y1};
  std::swap(s->startContour, s->endContour);
  std::swap(s->startCross, s->endCross);
}

int zigzagChooseStart(StripeList* list) {
  if (list == nullptr || list->count == 0) return 1;
  ZigzagStripe f = list->stripes[0];
  bool reverseF = false;
  if (zigzagEndMoreOpen(0, f, f, 1) == 1) {
    zigzagStripeReverse(&f);
    reverseF = true;
  }
  ZigzagStripe l = list->stripes[list->count - 1];
  bool reverseL = false;
  if (zigzagEndMoreOpen(0, l, l, 1) == 1) {
    zigzagStripeReverse(&l);
    reverseL = true;
  }
  bool reverse = reverseF;
  if (zigzagEndMoreOpen(0, f, l, 0) == 1) {
    for (int i = 0; i < list->count; ++i) {
      list->stripes[i].row = list->maxRow + list->minRow - list->stripes[i].row;
    }
    reverse = reverseL;
  }
  if (reverse) {
    for (int i = 0; i < list->count; ++i) zigzagStripeReverse(&list->stripes[i]);
  }
  return 1;
}

int zigzagPickNearest(const ZigzagStripe* previous, const StripeList* list, const int* candidates,
                      int count) {
  if (previous == nullptr || count <= 0) return 0;
  const Point2D end = segEnd(previous->segment);
  int best = 0;
  double bestD = 0.0;
  for (int k = 0; k < count; ++k) {
    Point2D foot{};
    const double d = contNearestOnElem(end, zigzagStripeElem(list->stripes[candidates[k]]), &foot);
    if (k == 0 || d < bestD) {
      best = k;
      bestD = d;
    }
  }
  return best;
}

double zigzagStripeDistance(const ZigzagStripe* a, const ZigzagStripe& b) {
  if (a == nullptr) return 0.0;
  Point2D pa{};
  Point2D pb{};
  return linkElemDistance(zigzagStripeElem(*a), zigzagStripeElem(b), &pa, &pb);
}

double zigzagMinDistance(const ZigzagStripe& stripe, int count, const StripeList* list,
                         const int* indices) {
  double best = 100000.0;
  for (int k = 0; k < count; ++k) {
    const double d = zigzagStripeDistance(&stripe, list->stripes[indices[k]]);
    if (d < best) best = d;
  }
  return best;
}

int zigzagLinkAlongContour(const ZigzagStripe& current, const StripeList* list,
                           const ZigzagStripe& previous, ContourElement* out, int room,
                           double limit) {
  if (previous.endContour < 0 || previous.endContour != current.startContour) return 0;
  // The list's first record is never joined to the stripe before it.
  if (list != nullptr && list->count > 0 && &current == &list->stripes[0]) return 0;
  std::vector<ContourElement> c;
  ContourHeader h{};
  const int n = readMain(current.startContour, &c, &h);
  if (n <= 0) return 0;
  const int e = previous.endCross.elemB - 1;
  const int d = current.startCross.elemB - 1;
  if (e < 0 || e >= n || d < 0 || d >= n) return 0;
  const Point2D from = segEnd(previous.segment);
  const Point2D to = segStart(current.segment);
  std::vector<ContourElement> ways[2];
  for (int i = e, k = 0; k < n; i = (i + 1) % n, ++k) {
    ways[0].push_back(c[static_cast<std::size_t>(i)]);
    if (i == d) break;
  }
  for (int i = e, k = 0; k < n; i = (i - 1 + n) % n, ++k) {
    ContourElement x = c[static_cast<std::size_t>(i)];
    contReverse(&x, 1);
    ways[1].push_back(x);
    if (i == d) break;
  }
  double len[2] = {0.0, 0.0};
  for (int w = 0; w < 2; ++w) {
    contElemSetEndpoint(&ways[w].front(), from, 1);
    contElemSetEndpoint(&ways[w].back(), to, 2);
    len[w] = contLength(ways[w].data(), static_cast<int>(ways[w].size()));
  }
  const int pick = len[1] < len[0] ? 1 : 0;
  if (len[pick] > limit) return 0;
  const int m = static_cast<int>(ways[pick].size());
  if (m > room) return 0;
  for (int k = 0; k < m; ++k) out[k] = ways[pick][static_cast<std::size_t>(k)];
  return m;
}

int zigzagHasIsland(int index) { return index >= 0 && findGroup("INSEL", index) >= 0 ? 1 : 0; }

int zigzagTrimAtIsland(int index, ContourElement* element) {
  const int g = findGroup("GKT", index);
  if (g < 0) return 0;
  std::vector<ContourElement> c;
  ContourHeader h{};
  if (readLayer("GKT", g, &c, &h) <= 0) return 0;
  std::vector<IntersectionRecord> rec(kIsectRecordMax);
  const int k = isectContours(element, 1, c.data(), h.count, rec.data(), kIsectRecordMax);
  if (k <= 0 || k > kIsectRecordMax) return 0;
  contElemSetEndpoint(element, Point2D{rec[0].x, rec[0].y}, 2);
  return 1;
}

int zigzagRotateToNearest(const Point2D& point, ContourElement* out, const ContourElement* ring,
                          int n) {
  if (n <= 0) return 0;
  Point2D f{};
  int k = 0;
  contNearestElem(point, ring, n, &f, &k);
  int m = 0;
  ContourElement head = ring[k];
  contElemSetEndpoint(&head, f, 1);
  if (contSamePoint(f, contElemEnd(ring[k])) == 0) out[m++] = head;
  for (int i = k + 1; i < n; ++i) out[m++] = ring[i];
  for (int i = 0; i < k; ++i) out[m++] = ring[i];
  ContourElement tail = ring[k];
  contElemSetEndpoint(&tail, f, 2);
  if (contSamePoint(f, contElemStart(ring[k])) == 0) out[m++] = tail;
  return m;
}

int zigzagAroundIsland(const ContourElement& element, const ZigzagStripe& stripe) {
  const int k = stripe.endContour;
  const double tol = pockEngine().contTol;
  Point2D q = contElemEnd(element);
  bool toured = false;
  std::vector<ContourElement> c;
  std::vector<ContourElement> rot;
  ContourHeader h{};
  const int g = findGroup("GKT", k);
  if (g >= 0 && readLayer("GKT", g, &c, &h) > 0) {
    rot.resize(c.size() + 1);
    const int m = zigzagRotateToNearest(q, rot.data(), c.data(), h.count);
    const Point2D f = m > 0 ? contElemStart(rot[0]) : q;
    if (contDistance(f, q) > tol) recordLine(q, f, h);
    zigzagRecordNode(rot.data(), m, h);
    layerDeleteContour("GKT", g);
    q = f;
    toured = true;
  }
  const int s = findGroup("INSEL", k);
  if (s < 0 || readLayer("INSEL", s, &c, &h) <= 0) return -1;
  rot.resize(c.size() + 1);
  const int m = zigzagRotateToNearest(q, rot.data(), c.data(), h.count);
  const Point2D f = m > 0 ? contElemStart(rot[0]) : q;
  if (contDistance(f, q) > tol) recordLine(q, f, h);
  zigzagRecordNode(rot.data(), m, h);
  layerDeleteContour("INSEL", s);
  if (toured) recordLine(f, segEnd(stripe.segment), h);
  return 1;
}

int zigzagOrderStripes(StripeList* list, double join) {
  if (list == nullptr) return 1;
  zigzagChooseStart(list);
  const ContourHeader mainHeader = firstMainHeader();
  std::vector<int> leftovers;
  // A join holds at most every element of one MAIN contour.
  int longest = 1;
  for (int i = 0; i < layerCount("MAIN"); ++i) {
    ContourHeader h{};
    if (layerGetHeader("MAIN", &h, i) == i && h.count > longest) longest = h.count;
  }
  std::vector<ContourElement> joinBuf(static_cast<std::size_t>(longest) + 1);
  int placed = 0;
  while (placed < list->count) {
    const ZigzagStripe* previous = nullptr;
    ZigzagStripe prevCopy{};
    int state = 0;  // 0 open, 1 reverse, 2 keep
    const int placedBefore = placed;
    for (int row = list->minRow; row <= list->maxRow; ++row) {
      std::vector<int> cand;
      for (int i = 0; i < list->count; ++i) {
        if (list->stripes[i].used == 0 && list->stripes[i].row == row) cand.push_back(i);
      }
      if (cand.empty()) continue;
      const int pos = zigzagPickNearest(previous, list, cand.data(), static_cast<int>(cand.size()));
      ZigzagStripe& s = list->stripes[cand[static_cast<std::size_t>(pos)]];
      const double b = zigzagStripeDistance(previous, s);
      const double d =
          zigzagMinDistance(s, static_cast<int>(leftovers.size()), list, leftovers.data());
      if (previous != nullptr && d < 1.2 * b) break;
      if (state == 0) {
        if (zigzagEndMoreOpen(0, s, s, 1) == 1) {
          zigzagStripeReverse(&s);
          state = 1;
        } else {
          state = 2;
        }
      } else if (state == 1) {
        zigzagStripeReverse(&s);
      }
      if (previous != nullptr) {
        const int m = zigzagLinkAlongContour(s, list, *previous, joinBuf.data(),
                                             static_cast<int>(joinBuf.size()), join);
        if (m > 0) zigzagRecordNode(joinBuf.data(), m, mainHeader);
      }
      ContourElement line = zigzagStripeElem(s);
      line.tag = s.row;
      ContourHeader sh = mainHeader;
      sh.group = static_cast<std::int16_t>(s.row);
      const bool island = zigzagHasIsland(s.endContour) == 1;
      if (island) zigzagTrimAtIsland(s.endContour, &line);
      zigzagRecordNode(&line, 1, sh);
      if (island) zigzagAroundIsland(line, s);
      s.used = 1;
      ++placed;
      state = state == 1 ? 2 : 1;
      leftovers.clear();
      for (const int c : cand) {
        if (c != cand[static_cast<std::size_t>(pos)]) leftovers.push_back(c);
      }
      prevCopy = s;
      previous = &prevCopy;
    }
    if (placed == placedBefore) break;
  }
  list->count = 0;
  list->minRow = kEmptyMinRow;
  list->maxRow = kEmptyMaxRow;
  return 1;
}

int zigzagStripes(double radius, double step) {
  std::vector<ContourElement> c;
  ContourHeader h{};
  if (readMain(0, &c, &h) <= 0) return -1;
  Seg2D line{};
  double width = 0.0;
  if (zigzagPrincipalDir(c.data(), h.count, &line, &width) != 1) return -1;
  StripeList* list = zigzagMakeStripes(line, width, radius, step);
  if (list == nullptr) {
    pockMessage(kPockCodeNoMemory);
    return -1;
  }
  int result = zigzagClipStripes(list, c.data(), h.count, 0, 0);
  const int n = layerCount("MAIN");
  for (int i = 1; i < n && result == 1; ++i) {
    if (readMain(i, &c, &h) <= 0) continue;
    result = zigzagClipStripes(list, c.data(), h.count, i, 1);
  }
  if (result != 1) {
    pockMessage(kPockCodeNoMemory);
    zigzagListFree(list);
    return -1;
  }
  zigzagOrderStripes(list, 10.0 * radius);
  zigzagListFree(list);
  return 1;
}

int zigzagEmitNodes() {
  const double tol = pockEngine().contTol;
  const int n = ctreeNodeCount();
  Point2D lastEnd{};
  std::vector<ContourElement> e;
  for (int i = 0; i < n; ++i) {
    const ContourTreeNode* node = ctreeNodeAt(i);
    if (node == nullptr) break;
    e.resize(static_cast<std::size_t>(node->count > 0 ? node->count : 1));
    if (node->count <= 0 || ctreeGetElems(e.data(), node->count, node->block) != 1) break;
    if (i > 0 && contDistance(contElemStart(e[0]), lastEnd) > tol) pockOutput().pockNewStart = 1;
    for (int k = 0; k < node->count; ++k) pockEmitElement(e[static_cast<std::size_t>(k)]);
    lastEnd = contElemEnd(e[static_cast<std::size_t>(node->count - 1)]);
  }
  return 1;
}

int zigzagLevel() {
  PockEngine& eng = pockEngine();
  CycleRecord* cycle = ccpCurrent();
  if (cycle != nullptr) {
    // The contours are the tool centre's limits: the wall passes run on them, which only holds
    // when the wall lies R + allowance = 0 from them.
    const CcpRecord* r = ccpRecordOf(cycle);
    const double factor = eng.scaleFactor > 0.0 ? eng.scaleFactor : 1.0;
    if (std::fabs(eng.pockToolRadius + r->planeAllowance) / factor > kCentreTol) {
      if (stripeState.notCentreReported == 0) pockMessage(kPockCodeNotRealised);
      stripeState.notCentreReported = 1;
      return -1;
    }
  }
  layerCreate("GKT");
  layerCreate("INSEL");
  if (ctreeInit(1) != 1) {
    pockMessage(kPockCodeNoMemory);
    return -1;
  }
  zigzagNodesStart();
  pockWriteHeader();
  if (layerCount("MAIN") > 40) pockSortIslandsByDistance("MAIN");
  const int n = layerCount("MAIN");
  for (int i = 0; i < n; ++i) layerSetLevel("MAIN", i, i);
  const double radius = eng.pockToolRadius;
  const double step = 2.0 * eng.pockStepFactor * radius;
  double used = 0.0;
  zigzagPrepare(step, eng.ccpOuterOrientation, &used);
  zigzagStripes(radius, step);
  const int failed = zigzagNodesFailed();
  if (failed == 0) zigzagEmitNodes();
  ctreeFree();
  layerFree("GKT");
  layerFree("INSEL");
  pockWriteLevelEnd();
  return failed == 0 ? 1 : -1;
}

void zigzagResetState() { stripeState = StripeState{}; }
