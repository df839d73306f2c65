// kont_boolean.cpp - union, intersection and difference of region lists.
// Every segment of one operand is cut at its crossings with the other, each piece classified as
// inside or outside the other operand, the pieces the mode asks for kept, doubled boundary pieces
// removed and the rest chained into closed contours, which are nested into a new region list.
#include "geometry/kont_boolean.h"

#include <algorithm>
#include <cfloat>
#include <cmath>
#include <cstdio>
#include <memory>
#include <memory_resource>
#include <new>
#include <vector>

#include "geometry/bucket_grid.h"
#include "geometry/geo_error.h"
#include "geometry/kont_region.h"
#include "geometry/kont_snapshot.h"
#include "geometry/plane_geo.h"

namespace {

constexpr const char* kSource = "kont2d";
constexpr double kCloseTol = 1e-8;  // contour closure, equal pieces, chaining, distinct points
constexpr double kSnapTol = 1e-6;   // a point this close to a segment meets it
// Vertices of the two operands this close (in x and in y) are made one. Twice the segment
// distance: a vertex within the snap distance of both edges at a corner lies up to about 1.4 times
// that distance from the corner, and left apart from it, it would cut both edges into a spike.
constexpr double kVertexSnap = 2.0 * kSnapTol;
constexpr double kPieceTol = 1e-12;  // shorter pieces are dropped
// A contour smaller than this in both directions is below what one attempt resolves (its corners
// lie within the snap distances of each other): the attempt fails, so that the scaled retries can
// take it. Contours whose points all lie within kPieceTol, and contours thinner on average (twice
// the area over the perimeter) than kCloseTol, enclose nothing at the resolution of the operation
// and are left out: their two sides would be snapped onto each other.
constexpr double kTinyContour = 1e-5;

// The working lists of an operation come from a block kept from one operation to the next (an
// operation on 10^4 segments fills about 10 megabytes of lists, one on 10^5 about 70), up to
// kArenaKeep; kontBooleanResetState releases it.
constexpr std::size_t kArenaKeep = std::size_t{128} << 20;

// The module's state: the kept block, the resource of the running operation (the heap outside
// one) and the test seam that selects the slow paths (all-pairs cut search, classification by the
// region point test) that the fast ones must match.
struct KontBooleanState {
  int oracle = 0;
  GridScratch arena{kArenaKeep};
  std::pmr::memory_resource* mem = std::pmr::new_delete_resource();
};
KontBooleanState boolState;

template <typename T>
using BoolVec = std::pmr::vector<T>;

// Lends the kept block to one operation: its lists come from boolState.mem while it runs.
class BoolArenaScope {
 public:
  BoolArenaScope() : scope_(boolState.arena), previous_(boolState.mem) {
    boolState.mem = scope_.memory();
  }
  ~BoolArenaScope() { boolState.mem = previous_; }
  BoolArenaScope(const BoolArenaScope&) = delete;
  BoolArenaScope& operator=(const BoolArenaScope&) = delete;

 private:
  GridScratchScope scope_;
  std::pmr::memory_resource* previous_;
};

// Piece classes.
enum : int {
  kAInB = 1,
  kBInA = 2,
  kAOutB = 3,
  kBOutA = 4,
  kASame = 5,  // A piece with an equal piece running the same way
  kBSame = 6,
  kAOpposite = 7,  // A piece with an equal piece running the other way
  kBOpposite = 8,
  kDropped = -1,
};

// A piece of a segment, with the nodes of its ends: points of the operation (vertices and cut
// points) closer than 1e-8 in x and y are one node, so pieces meet where their nodes agree.
struct BoolPiece {
  double x1, y1, x2, y2;
  int cls;
  int from, to;
};

struct BoolCut {
  int a;      // segment index in A
  int b;      // segment index in B
  int point;  // index into the cut points
};

// One contour of an operand as the point queries see it.
struct BoolContour {
  Kont2D* k;
  int region;  // index of its region in the operand's list
  bool outer;
};

// The segments of one operand (all contours of all regions, in walk order) and their contours.
struct BoolOperand {
  Kont2D* list = nullptr;
  BoolVec<Seg2D> segs{boolState.mem};
  BoolVec<int> endOf{boolState.mem};  // per segment: the segment of its contour starting at its end
  BoolVec<int> contourOf{boolState.mem};  // per segment
  BoolVec<BoolContour> contours{boolState.mem};
  int regions = 0;
  bool meshed = false;  // a region carries a mesh, whose own classification decides
};

void boolSegBox(const Seg2D& s, double* box) {
  box[0] = std::min(s.x1, s.x2);
  box[1] = std::min(s.y1, s.y2);
  box[2] = std::max(s.x1, s.x2);
  box[3] = std::max(s.y1, s.y2);
}

// The boxes of an operand's segments and a cell grid over them, widened by margin.
struct BoolSegGrid {
  BoolVec<double> boxes{boolState.mem};
  CellGrid grid{boolState.mem};
  double margin = 0.0;
  int build(const BoolVec<Seg2D>& segs, double m) {
    margin = m;
    boxes.resize(4 * segs.size());
    for (std::size_t i = 0; i < segs.size(); ++i) boolSegBox(segs[i], &boxes[4 * i]);
    return gridCellsBuild(&grid, boxes.data(), static_cast<int>(segs.size()), m);
  }
};

// The working lists of one operation.
struct BoolContext {
  BoolOperand a, b;
  BoolSegGrid gridA, gridB;  // A's for the vertex snap, B's for the cut search; both for tests
  int mode = 0;
  BoolVec<BoolPiece> pieces{boolState.mem};
  BoolVec<BoolCut> cuts{boolState.mem};
  BoolVec<Point2D> points{boolState.mem};
  // Per cut point: 1 where two segments cross away from their ends.
  BoolVec<char> crossing{boolState.mem};
  // Node of every point of the operation: ids 0 .. nA-1 the segment starts of A, then those of B,
  // then the cut points.
  BoolVec<int> node{boolState.mem};
  // Per node: bit 1 when a point of B or a cut point lies in it, bit 2 when a point of A or a cut
  // point does: the places where the other operand's boundary may pass from one piece to the next;
  // bit 4 when the node is a single crossing of two segments and nothing else, where the other
  // boundary passes from one side to the other.
  BoolVec<unsigned char> meets{boolState.mem};
  BoolVec<Kont2D*> results{boolState.mem};  // in creation order, which also orders the nesting
};

bool boolNear(double x1, double y1, double x2, double y2) {
  return std::fabs(x1 - x2) < kCloseTol && std::fabs(y1 - y2) < kCloseTol;
}
bool boolNear(const Point2D& p, const Point2D& q) { return boolNear(p.x, p.y, q.x, q.y); }

bool boolFinite(const Seg2D& s) {
  return std::isfinite(s.x1) && std::isfinite(s.y1) && std::isfinite(s.x2) && std::isfinite(s.y2);
}

// 1 when every coordinate of every contour of the list is finite.
bool boolListFinite(const Kont2D* list) {
  for (const Kont2D* region = list; region != nullptr; region = region->next) {
    for (const Kont2D* k = region; k != nullptr; k = kontWalkNext(region, k)) {
      if (k->segments == nullptr) continue;
      for (int i = 0; i < k->count; ++i)
        if (!boolFinite(k->segments[i])) return false;
    }
  }
  return true;
}

// ---- collecting the operands ------------------------------------------------------------------

// Closes every contour of the list onto itself and collects its segments; point-like and thin
// contours are left out. Returns 1; -20 when the first contour has fewer than 3 segments, a
// contour does not close within 1e-8, or a contour is smaller than kTinyContour without being a
// single point.
int boolCollect(BoolOperand& op) {
  Kont2D* list = op.list;
  if (list->segments == nullptr || list->count < 3) return geoFail(-20, kSource);
  std::size_t total = 0;  // room for all segments at once: the lists come from a kept block
  for (const Kont2D* region = list; region != nullptr; region = region->next)
    for (const Kont2D* k = region; k != nullptr; k = kontWalkNext(region, k))
      total += k->count > 0 && k->segments != nullptr ? static_cast<std::size_t>(k->count) : 0;
  op.segs.reserve(total);
  op.endOf.reserve(total);
  op.contourOf.reserve(total);
  int regionIndex = 0;
  for (Kont2D* region = list; region != nullptr; region = region->next, ++regionIndex) {
    op.meshed = op.meshed || region->mesh != nullptr;
    for (Kont2D* k = region; k != nullptr; k = kontWalkNext(region, k)) {
      if (k->count <= 0 || k->segments == nullptr) continue;
      Seg2D* s = k->segments;
      for (int i = 1; i < k->count; ++i) {
        s[i].x1 = s[i - 1].x2;
        s[i].y1 = s[i - 1].y2;
      }
      Seg2D& last = s[k->count - 1];
      if (std::fabs(last.x2 - s[0].x1) > kCloseTol || std::fabs(last.y2 - s[0].y1) > kCloseTol)
        return geoFail(-20, kSource);
      last.x2 = s[0].x1;
      last.y2 = s[0].y1;
      kontUpdateBox(k);  // the point tests read the box: it must hold the moved ends
      double xmin = s[0].x1, xmax = s[0].x1, ymin = s[0].y1, ymax = s[0].y1;
      double area2 = 0.0, perimeter = 0.0;
      for (int i = 0; i < k->count; ++i) {
        xmin = std::min(xmin, s[i].x1);
        xmax = std::max(xmax, s[i].x1);
        ymin = std::min(ymin, s[i].y1);
        ymax = std::max(ymax, s[i].y1);
        area2 +=
            (s[i].x1 - s[0].x1) * (s[i].y2 - s[0].y1) - (s[i].x2 - s[0].x1) * (s[i].y1 - s[0].y1);
        perimeter += std::hypot(s[i].x2 - s[i].x1, s[i].y2 - s[i].y1);
      }
      const double extent = std::fmax(xmax - xmin, ymax - ymin);
      if (extent <= kPieceTol) continue;
      if (extent < kTinyContour) return geoFail(-20, kSource);
      if (std::fabs(area2) < kCloseTol * perimeter) continue;
      const int contour = static_cast<int>(op.contours.size());
      op.contours.push_back({k, regionIndex, k == region});
      const int base = static_cast<int>(op.segs.size());
      op.segs.insert(op.segs.end(), s, s + k->count);
      for (int i = 0; i < k->count; ++i) op.endOf.push_back(i + 1 < k->count ? base + i + 1 : base);
      op.contourOf.insert(op.contourOf.end(), static_cast<std::size_t>(k->count), contour);
    }
  }
  op.regions = regionIndex;
  return 1;
}

// Moves every vertex of B that lies within 2e-6 (in x and in y) of a vertex of A onto the nearest
// such vertex (the first of A's order on a tie), in B's contours and in its collected segments, so
// that corners of the two operands that nearly meet meet exactly. Vertices farther apart are left
// alone. The candidates come from the grid over A's segments, widened by the snap reach.
int boolSnapVertices(BoolContext& c) {
  const int r = c.gridA.build(c.a.segs, kVertexSnap);
  if (r < 0) return r;
  const CellGrid& grid = c.gridA.grid;
  auto snap = [&](double& x, double& y) {
    double best = DBL_MAX;
    int bestIndex = -1;
    const std::size_t cell =
        static_cast<std::size_t>(gridCellsRow(grid, y)) * grid.cols + gridCellsCol(grid, x);
    for (int e = grid.start[cell]; e < grid.start[cell + 1]; ++e) {
      const int j = grid.items[e];
      const double vx = c.a.segs[j].x1, vy = c.a.segs[j].y1;
      if (std::fabs(vx - x) > kVertexSnap || std::fabs(vy - y) > kVertexSnap) continue;
      const double d = std::hypot(vx - x, vy - y);
      if (d < best || (d == best && j < bestIndex)) {
        best = d;
        bestIndex = j;
      }
    }
    if (bestIndex < 0) return;
    x = c.a.segs[bestIndex].x1;
    y = c.a.segs[bestIndex].y1;
  };
  // Each vertex is the start of one segment and the end of the one before.
  BoolVec<Seg2D>& segs = c.b.segs;
  for (Seg2D& s : segs) snap(s.x1, s.y1);
  for (std::size_t i = 0; i < segs.size(); ++i) {
    segs[i].x2 = segs[c.b.endOf[i]].x1;
    segs[i].y2 = segs[c.b.endOf[i]].y1;
  }
  std::size_t next = 0;
  for (const BoolContour& bc : c.b.contours) {
    for (int i = 0; i < bc.k->count; ++i) bc.k->segments[i] = segs[next++];
    kontUpdateBox(bc.k);
  }
  return 1;
}

// Joins the points of the operation that lie closer than 1e-8 in x and in y into nodes (and so
// every point joined through a chain of such neighbours).
int boolCluster(BoolContext& c) {
  const int na = static_cast<int>(c.a.segs.size()), nb = static_cast<int>(c.b.segs.size());
  const int n = na + nb + static_cast<int>(c.points.size());
  BoolVec<Point2D> pt(static_cast<std::size_t>(n), boolState.mem);
  for (int i = 0; i < n; ++i) {
    if (i < na)
      pt[i] = Point2D{c.a.segs[i].x1, c.a.segs[i].y1};
    else if (i < na + nb)
      pt[i] = Point2D{c.b.segs[i - na].x1, c.b.segs[i - na].y1};
    else
      pt[i] = c.points[i - na - nb];
  }
  BoolVec<int>& parent = c.node;
  parent.resize(static_cast<std::size_t>(n));
  const int built = gridClusterPoints(pt.data(), n, kCloseTol, parent.data(), boolState.mem);
  if (built < 0) return built;
  c.meets.assign(static_cast<std::size_t>(n), 0);
  BoolVec<int> members(static_cast<std::size_t>(n), 0, boolState.mem);
  for (int i = 0; i < n; ++i) {
    c.meets[parent[i]] |= i < na ? 2 : i < na + nb ? 1 : 3;
    ++members[parent[i]];
  }
  for (int i = na + nb; i < n; ++i)
    if (c.crossing[i - na - nb] != 0 && members[parent[i]] == 1) c.meets[parent[i]] |= 4;
  return 1;
}

// ---- cut points -------------------------------------------------------------------------------

void boolAddCut(BoolContext& c, int ia, int ib, const Point2D& p, bool crossing = false) {
  c.cuts.push_back({ia, ib, static_cast<int>(c.points.size())});
  c.points.push_back(p);
  c.crossing.push_back(crossing ? 1 : 0);
}

// Squared distance from q to the segment, without the length thresholds of the general segment
// functions: the operands may be scaled far below the tool's size.
double boolSegDist2(const Seg2D& s, const Point2D& q) {
  const double dx = s.x2 - s.x1, dy = s.y2 - s.y1;
  const double len2 = dx * dx + dy * dy;
  double t = len2 > 0.0 ? ((q.x - s.x1) * dx + (q.y - s.y1) * dy) / len2 : 0.0;
  t = std::clamp(t, 0.0, 1.0);
  const double ex = s.x1 + t * dx - q.x, ey = s.y1 + t * dy - q.y;
  return ex * ex + ey * ey;
}

// 1 when q lies within the snap distance of the segment's line, strictly between its ends along
// it and not at one of its ends (within 1e-8): a point that cuts the segment.
bool boolCutsInside(const Seg2D& s, const Point2D& q) {
  if (boolNear(q.x, q.y, s.x1, s.y1) || boolNear(q.x, q.y, s.x2, s.y2)) return false;
  const double dx = s.x2 - s.x1, dy = s.y2 - s.y1;
  const double len2 = dx * dx + dy * dy;
  if (!(len2 > 0.0)) return false;
  const double along = (q.x - s.x1) * dx + (q.y - s.y1) * dy;
  if (!(along > 0.0 && along < len2)) return false;
  const double cross = dx * (q.y - s.y1) - dy * (q.x - s.x1);
  return cross * cross <= kSnapTol * kSnapTol * len2;
}

// The cut points of one segment of A with one of B. Where an end of either lies within the snap
// distance of the other segment the two meet there: every such end that falls inside the other
// segment cuts it (a touching corner, a vertex a rounding error off the other edge, the ends of a
// collinear or nearly collinear overlap). Otherwise segments that cross are cut at their crossing.
void boolCutPair(BoolContext& c, int ia, int ib) {
  const Seg2D& sa = c.a.segs[ia];
  const Seg2D& sb = c.b.segs[ib];
  const Point2D ea[2] = {{sa.x1, sa.y1}, {sa.x2, sa.y2}};
  const Point2D eb[2] = {{sb.x1, sb.y1}, {sb.x2, sb.y2}};
  bool touch = false;
  constexpr double kSnap2 = kSnapTol * kSnapTol;
  for (const Point2D& q : eb) touch = touch || boolSegDist2(sa, q) <= kSnap2;
  for (const Point2D& q : ea) touch = touch || boolSegDist2(sb, q) <= kSnap2;
  if (touch) {
    for (const Point2D& q : eb)
      if (boolCutsInside(sa, q)) boolAddCut(c, ia, ib, q);
    for (const Point2D& q : ea)
      if (boolCutsInside(sb, q)) boolAddCut(c, ia, ib, q);
    return;
  }
  if (geoSegsCross(sa, sb) != 1) return;
  Point2D p{};
  if (geoLineLineCutTol(sa, sb, kCloseTol, &p) == 1) {
    const Point2D ends[4] = {ea[0], ea[1], eb[0], eb[1]};
    for (const Point2D& e : ends) {
      if (geoPtsClose(p, e, kSnapTol) == 1) {
        boolAddCut(c, ia, ib, e);
        return;
      }
    }
    boolAddCut(c, ia, ib, p, true);
    return;
  }
  // Nearly parallel segments crossing away from all four ends: the crossing divides a in the
  // ratio of the distances of its ends from b's line.
  const double bx = sb.x2 - sb.x1, by = sb.y2 - sb.y1;
  const double d1 = bx * (sa.y1 - sb.y1) - by * (sa.x1 - sb.x1);
  const double d2 = bx * (sa.y2 - sb.y1) - by * (sa.x2 - sb.x1);
  if (!(d1 != d2)) return;
  const double t = std::clamp(d1 / (d1 - d2), 0.0, 1.0);
  boolAddCut(c, ia, ib, Point2D{sa.x1 + t * (sa.x2 - sa.x1), sa.y1 + t * (sa.y2 - sa.y1)}, true);
}

// Pairs whose boxes, widened by the snap distance, overlap.
bool boolBoxesMeet(const double* p, const double* q) {
  return !(q[2] + kSnapTol < p[0] || q[0] - kSnapTol > p[2] || q[3] + kSnapTol < p[1] ||
           q[1] - kSnapTol > p[3]);
}

// The slow cut search: every A segment against every B segment, in index order.
void boolFindCutsAllPairs(BoolContext& c) {
  const int na = static_cast<int>(c.a.segs.size()), nb = static_cast<int>(c.b.segs.size());
  BoolVec<double> boxesB(4 * static_cast<std::size_t>(nb), boolState.mem);
  for (int ib = 0; ib < nb; ++ib) boolSegBox(c.b.segs[ib], &boxesB[4 * ib]);
  for (int ia = 0; ia < na; ++ia) {
    double ba[4];
    boolSegBox(c.a.segs[ia], ba);
    for (int ib = 0; ib < nb; ++ib)
      if (boolBoxesMeet(ba, &boxesB[4 * ib])) boolCutPair(c, ia, ib);
  }
}

// The same pairs in the same order through a cell grid over B's segments: for each A segment the
// B segments of the cells its box touches, ascending.
int boolFindCuts(BoolContext& c) {
  if (boolState.oracle != 0) {
    boolFindCutsAllPairs(c);
    return c.gridB.build(c.b.segs, kSnapTol);
  }
  const int na = static_cast<int>(c.a.segs.size()), nb = static_cast<int>(c.b.segs.size());
  const int built = c.gridB.build(c.b.segs, kSnapTol);
  if (built < 0) return built;
  const BoolVec<double>& boxesB = c.gridB.boxes;
  const CellGrid& grid = c.gridB.grid;
  BoolVec<int> stamp(static_cast<std::size_t>(nb), -1, boolState.mem);
  BoolVec<int> found(boolState.mem);
  for (int ia = 0; ia < na; ++ia) {
    double ba[4];
    boolSegBox(c.a.segs[ia], ba);
    const int c0 = gridCellsCol(grid, ba[0]), c1 = gridCellsCol(grid, ba[2]);
    const int r0 = gridCellsRow(grid, ba[1]), r1 = gridCellsRow(grid, ba[3]);
    found.clear();
    for (int r = r0; r <= r1; ++r) {
      for (int col = c0; col <= c1; ++col) {
        const std::size_t cell = static_cast<std::size_t>(r) * grid.cols + col;
        for (int e = grid.start[cell]; e < grid.start[cell + 1]; ++e) {
          const int ib = grid.items[e];
          if (stamp[ib] == ia) continue;
          stamp[ib] = ia;
          if (boolBoxesMeet(ba, &boxesB[4 * ib])) found.push_back(ib);
        }
      }
    }
    std::sort(found.begin(), found.end());
    for (int ib : found) boolCutPair(c, ia, ib);
  }
  return 1;
}

// ---- classification ---------------------------------------------------------------------------

// The slow point test: inside some region of the operand, by the region point test over its
// collected contours (inside the outer contour and no island); with a mesh, the region point test
// of the whole list decides.
bool boolInsideSlow(const BoolOperand& op, const Point2D& p) {
  if (op.meshed) {
    for (const Kont2D* region = op.list; region != nullptr; region = region->next)
      if (kontClassifyPoint(region, p) == 2) return true;
    return false;
  }
  for (std::size_t i = 0; i < op.contours.size(); ++i) {
    const BoolContour& outer = op.contours[i];
    if (!outer.outer || geoPointInKont(p, outer.k) == 0) continue;
    bool inIsland = false;
    for (std::size_t j = i + 1;
         j < op.contours.size() && op.contours[j].region == outer.region && !inIsland; ++j)
      inIsland = geoPointInKont(p, op.contours[j].k) != 0;
    if (!inIsland) return true;
  }
  return false;
}

// The region point test of a whole operand through the cell grid over its segments: the crossing
// parity of each contour counts only the segments that straddle the point's height, which all
// lie in the point's row of cells, and of those only the ones reaching to the right of the point,
// which lie in the cells from the point's column on (or, equally, the ones to its left). Each
// segment is judged exactly as the contour's own parity judges it, so the answer is the region
// point test's, bit for bit.
class BoolRayIndex {
 public:
  BoolRayIndex(const BoolOperand& op, const BoolSegGrid& grid) : op_(op), g_(grid) {
    parity_.assign(op.contours.size(), 0);
    outerIn_.assign(static_cast<std::size_t>(op.regions), 0);
    islandIn_.assign(static_cast<std::size_t>(op.regions), 0);
    for (std::size_t i = 0; i < op.segs.size(); ++i)
      scale_ = std::fmax(
          scale_, 1.0 + std::fmax(std::fabs(grid.boxes[4 * i]), std::fabs(grid.boxes[4 * i + 2])));
  }

  bool inside(const Point2D& p) {
    if (op_.segs.empty()) return false;
    const CellGrid& grid = g_.grid;
    // Segments whose largest x lies this far left of the point cannot pass the parity test, and
    // those whose smallest x lies this far right of it cannot fail it: the rounding of its products
    // is smaller by many orders of magnitude.
    const double margin = 1e-9 * (scale_ + std::fabs(p.x));
    const double reachLeft = p.x - margin, reachRight = p.x + margin;
    const int row = gridCellsRow(grid, p.y);
    const int c0 = gridCellsCol(grid, reachLeft), c1 = gridCellsCol(grid, reachRight);
    // Each contour has an even number of segments straddling the point's height (each vertex is on
    // one side of it), so the parity of those passing the test equals the parity of those failing
    // it: the scan reads the shorter side of the row.
    const bool rightward = grid.cols - c0 <= c1 + 1;
    const int from = rightward ? c0 : 0, to = rightward ? grid.cols - 1 : c1;
    for (int col = from; col <= to; ++col) {
      const std::size_t cell = static_cast<std::size_t>(row) * grid.cols + col;
      for (int e = grid.start[cell]; e < grid.start[cell + 1]; ++e) {
        const int i = grid.items[e];
        const double* b = &g_.boxes[4 * static_cast<std::size_t>(i)];
        if (rightward ? b[2] < reachLeft : b[0] > reachRight) continue;
        // A segment over several cells is judged in the first of them that the scan reads.
        if (std::max(from, gridCellsCol(grid, b[0] - g_.margin)) != col) continue;
        const Seg2D& s = op_.segs[i];
        const bool fi = s.y1 >= p.y, fj = s.y2 >= p.y;
        if (fi == fj) continue;
        const bool passes = ((s.x2 - p.x) * (s.y1 - s.y2) <= (s.x1 - s.x2) * (s.y2 - p.y)) == fj;
        if (passes != rightward) continue;
        const int k = op_.contourOf[i];
        if (parity_[k] == 0) touched_.push_back(k);
        parity_[k] ^= 2;  // bit 1 marks a contour on the touched list
        parity_[k] |= 1;
      }
    }
    bool in = false;
    for (int k : touched_) {
      const BoolContour& bc = op_.contours[k];
      const Kont2D* kk = bc.k;
      const bool odd = (parity_[k] & 2) != 0 && kk->count >= 3 && p.x >= kk->xmin &&
                       p.x <= kk->xmax && p.y >= kk->ymin && p.y <= kk->ymax;
      if (odd) (bc.outer ? outerIn_ : islandIn_)[bc.region] = 1;
    }
    for (int k : touched_) {
      const int g = op_.contours[k].region;
      in = in || (outerIn_[g] != 0 && islandIn_[g] == 0);
    }
    for (int k : touched_) {
      parity_[k] = 0;
      outerIn_[op_.contours[k].region] = 0;
      islandIn_[op_.contours[k].region] = 0;
    }
    touched_.clear();
    return in;
  }

 private:
  const BoolOperand& op_;
  const BoolSegGrid& g_;
  double scale_ = 1.0;
  BoolVec<unsigned char> parity_{boolState.mem}, outerIn_{boolState.mem}, islandIn_{boolState.mem};
  BoolVec<int> touched_{boolState.mem};
};

// Class of a piece whose class is its predecessor's along the contour.
constexpr int kSameAsBefore = 0;
// Class of a piece to classify by a point test.
constexpr int kToTest = -2;
// Class of a piece on the other side from its predecessor along the contour.
constexpr int kOtherThanBefore = -3;

// Splits the segments of one operand at their cut points. side 0 splits A (cut field a), side 1
// splits B. The pieces are classified afterwards: along a contour a piece lies on the same side of
// the other operand as the piece before it unless the node between them holds a point of the
// other operand or a cut point (the other boundary passes no closer than the snap distance to
// any other point of the contour, or a cut would be there), and on the other side when the node
// is a lone crossing of two segments and the piece before does not run along the other boundary.
// Only the first piece of each contour and the pieces after other nodes (touching points, shared
// vertices, several cuts in one place) are marked for a point test. The point tests would give
// the same classes to the others: their midpoints lie on the same or the other side, and farther
// from the other boundary than any rounding reaches.
void boolSplit(BoolContext& c, int side) {
  const BoolVec<Seg2D>& segs = side == 0 ? c.a.segs : c.b.segs;
  auto segOf = [side](const BoolCut& cut) { return side == 0 ? cut.a : cut.b; };
  // Cut order: segment, then distance from the segment's start, then creation.
  BoolVec<double> dist(c.cuts.size(), boolState.mem);
  BoolVec<int> order(c.cuts.size(), boolState.mem);
  for (std::size_t i = 0; i < c.cuts.size(); ++i) {
    const Seg2D& s = segs[segOf(c.cuts[i])];
    const Point2D& p = c.points[c.cuts[i].point];
    dist[i] = std::hypot(p.x - s.x1, p.y - s.y1);
    order[i] = static_cast<int>(i);
  }
  std::stable_sort(order.begin(), order.end(), [&](int l, int r) {
    if (segOf(c.cuts[l]) != segOf(c.cuts[r])) return segOf(c.cuts[l]) < segOf(c.cuts[r]);
    return dist[l] < dist[r];
  });
  const unsigned char otherBit = side == 0 ? 1 : 2;
  const BoolVec<int>& contourOf = side == 0 ? c.a.contourOf : c.b.contourOf;
  const int na = static_cast<int>(c.a.segs.size());
  const int base = side == 0 ? 0 : na;
  const int pointBase = na + static_cast<int>(c.b.segs.size());
  const BoolVec<int>& endOf = side == 0 ? c.a.endOf : c.b.endOf;
  // A piece that starts at a clean node or at a lone crossing cannot run along the other
  // boundary (such a piece would need the other operand's points at both ends), so its class is
  // a true side to flip from.
  auto plainStart = [&](int node) {
    return (c.meets[node] & otherBit) == 0 || (c.meets[node] & 4) != 0;
  };
  bool contourStart = true;
  auto addPiece = [&](double x1, double y1, int from, double x2, double y2, int to) {
    if (std::fabs(x1 - x2) <= kPieceTol && std::fabs(y1 - y2) <= kPieceTol) return;
    const int nf = c.node[from];
    int cls = kSameAsBefore;
    if (contourStart || c.pieces.back().to != nf)
      cls = kToTest;
    else if ((c.meets[nf] & otherBit) != 0)
      cls = (c.meets[nf] & 4) != 0 && plainStart(c.pieces.back().from) ? kOtherThanBefore : kToTest;
    c.pieces.push_back({x1, y1, x2, y2, cls, nf, c.node[to]});
    contourStart = false;
  };
  std::size_t next = 0;
  for (int i = 0; i < static_cast<int>(segs.size()); ++i) {
    const Seg2D& s = segs[i];
    if (i == 0 || contourOf[i] != contourOf[i - 1]) contourStart = true;
    double x = s.x1, y = s.y1;
    int from = base + i;
    for (; next < order.size() && segOf(c.cuts[order[next]]) == i; ++next) {
      const int k = c.cuts[order[next]].point;
      const Point2D& p = c.points[k];
      addPiece(x, y, from, p.x, p.y, pointBase + k);
      x = p.x;
      y = p.y;
      from = pointBase + k;
    }
    addPiece(x, y, from, s.x2, s.y2, base + endOf[i]);
  }
}

// Classifies the pieces [from, to) by their midpoints against the other operand.
void boolClassify(BoolContext& c, std::size_t from, std::size_t to, int side) {
  const BoolOperand& other = side == 0 ? c.b : c.a;
  const BoolSegGrid& otherGrid = side == 0 ? c.gridB : c.gridA;
  const int inside = side == 0 ? kAInB : kBInA;
  const int outside = side == 0 ? kAOutB : kBOutA;
  auto mid = [](const BoolPiece& p) { return Point2D{0.5 * (p.x1 + p.x2), 0.5 * (p.y1 + p.y2)}; };
  if (boolState.oracle != 0 || other.meshed) {
    for (std::size_t i = from; i < to; ++i)
      c.pieces[i].cls = boolInsideSlow(other, mid(c.pieces[i])) ? inside : outside;
    return;
  }
  std::size_t tests = 0;
  for (std::size_t i = from; i < to; ++i) tests += c.pieces[i].cls == kToTest ? 1 : 0;
  // A few tests read the other operand once each; more go through its band index.
  std::optional<BoolRayIndex> index;
  if (tests > 16) index.emplace(other, otherGrid);
  for (std::size_t i = from; i < to; ++i) {
    BoolPiece& p = c.pieces[i];
    if (p.cls == kSameAsBefore) {
      p.cls = c.pieces[i - 1].cls;
      continue;
    }
    if (p.cls == kOtherThanBefore) {
      p.cls = c.pieces[i - 1].cls == inside ? outside : inside;
      continue;
    }
    const bool in = index ? index->inside(mid(p)) : boolInsideSlow(other, mid(p));
    p.cls = in ? inside : outside;
  }
}

bool boolClassIsEqual(int cls) { return cls >= kASame && cls <= kBOpposite; }

// The pieces starting at each node, in ascending piece order (a counting sort by node).
struct BoolStarts {
  BoolVec<int> start{boolState.mem}, items{boolState.mem};
  void build(const BoolVec<BoolPiece>& pieces, std::size_t nodes) {
    start.assign(nodes + 1, 0);
    for (const BoolPiece& p : pieces) ++start[p.from + 1];
    for (std::size_t k = 0; k < nodes; ++k) start[k + 1] += start[k];
    items.resize(pieces.size());
    BoolVec<int> fill(start.begin(), start.end() - 1, boolState.mem);
    for (std::size_t i = 0; i < pieces.size(); ++i)
      items[fill[pieces[i].from]++] = static_cast<int>(i);
  }
  // The pieces after i that run along piece i, either way (same ends, or the ends swapped),
  // ascending.
  void twins(const BoolVec<BoolPiece>& pieces, int i, BoolVec<int>& out) const {
    out.clear();
    const BoolPiece& p = pieces[i];
    for (int e = start[p.from]; e < start[p.from + 1]; ++e)
      if (items[e] > i && pieces[items[e]].to == p.to) out.push_back(items[e]);
    if (p.to != p.from) {
      for (int e = start[p.to]; e < start[p.to + 1]; ++e)
        if (items[e] > i && pieces[items[e]].to == p.from) out.push_back(items[e]);
    }
    std::sort(out.begin(), out.end());
  }
};

// Marks pieces that run along an equal piece: 5/6 the same way, 7/8 the other way. Each piece is
// paired with the first later piece between the same nodes that is not paired yet.
void boolMarkDoubled(BoolContext& c) {
  const int n = static_cast<int>(c.pieces.size());
  BoolStarts starts;
  starts.build(c.pieces, c.node.size());
  BoolVec<int> cand(boolState.mem);
  for (int i = 0; i < n; ++i) {
    BoolPiece& pi = c.pieces[i];
    if (boolClassIsEqual(pi.cls)) continue;
    starts.twins(c.pieces, i, cand);
    for (int j : cand) {
      BoolPiece& pj = c.pieces[j];
      if (boolClassIsEqual(pj.cls)) continue;
      const bool isA = pi.cls == kAInB || pi.cls == kAOutB;
      const bool jsA = pj.cls == kAInB || pj.cls == kAOutB;
      const bool same = pj.from == pi.from && pj.to == pi.to;
      pi.cls = same ? (isA ? kASame : kBSame) : (isA ? kAOpposite : kBOpposite);
      pj.cls = same ? (jsA ? kASame : kBSame) : (jsA ? kAOpposite : kBOpposite);
      break;
    }
  }
}

void boolCompact(BoolVec<BoolPiece>& pieces) {
  pieces.erase(std::remove_if(pieces.begin(), pieces.end(),
                              [](const BoolPiece& p) { return p.cls == kDropped; }),
               pieces.end());
}

// Keeps the pieces of the mode, then drops doubles among them: both of an opposite pair, the
// later one of a same-direction pair.
void boolSelect(BoolContext& c) {
  for (BoolPiece& p : c.pieces) {
    const int k = p.cls;
    bool keep = false;
    if (c.mode == kKontUnion) {
      keep = k == kAOutB || k == kASame || k == kBOutA || k == kBSame;
    } else if (c.mode == kKontIntersection) {
      keep = k == kAInB || k == kASame || k == kAOpposite || k == kBInA || k == kBSame ||
             k == kBOpposite;
    } else {
      keep = k == kAOutB || k == kAOpposite || k == kBInA || k == kBOpposite;
      if (k == kBInA || k == kBOpposite) {
        std::swap(p.x1, p.x2);
        std::swap(p.y1, p.y2);
        std::swap(p.from, p.to);
      }
    }
    if (!keep) p.cls = kDropped;
  }
  boolCompact(c.pieces);
  const int n = static_cast<int>(c.pieces.size());
  BoolStarts starts;
  starts.build(c.pieces, c.node.size());
  BoolVec<int> cand(boolState.mem);
  for (int i = 0; i < n; ++i) {
    BoolPiece& pi = c.pieces[i];
    if (pi.cls == kDropped) continue;
    starts.twins(c.pieces, i, cand);
    for (int j : cand) {
      BoolPiece& pj = c.pieces[j];
      if (pj.cls == kDropped) continue;
      if (pj.from == pi.to && pj.to == pi.from) {
        pi.cls = kDropped;
        pj.cls = kDropped;
        break;
      }
      pj.cls = kDropped;
    }
  }
  boolCompact(c.pieces);
}

// Writes both operands for inspection when the debug switch is on.
void boolDumpProblem(const BoolContext& c) {
  if (geoDebugOn() == 0) return;
  std::remove("problem1.bnd");
  std::remove("problem2.bnd");
  kontAppendBndWz(c.a.list, "problem1.bnd");
  kontAppendBndWz(c.b.list, "problem2.bnd");
}

// 1 when the chain holds at least three points that are pairwise more than 1e-8 apart.
bool boolHasThreePoints(const BoolVec<Seg2D>& chain) {
  const Point2D p0{chain[0].x1, chain[0].y1};
  std::size_t i = 1;
  while (i < chain.size() && boolNear(Point2D{chain[i].x1, chain[i].y1}, p0)) ++i;
  if (i >= chain.size()) return false;
  const Point2D p1{chain[i].x1, chain[i].y1};
  for (++i; i < chain.size(); ++i) {
    const Point2D q{chain[i].x1, chain[i].y1};
    if (!boolNear(q, p0) && !boolNear(q, p1)) return true;
  }
  return false;
}

// A result contour of exactly the chain's size: each segment starts where the one before ends
// and the last ends at the first start; z 0, closed.
int boolEmitContour(BoolContext& c, const BoolVec<Seg2D>& chain) {
  Kont2D* k = kontNew(nullptr, static_cast<int>(chain.size()));
  if (k == nullptr) return -1;
  c.results.push_back(k);
  for (std::size_t i = 0; i < chain.size(); ++i) {
    Seg2D s = chain[i];
    if (i > 0) {
      s.x1 = k->segments[i - 1].x2;
      s.y1 = k->segments[i - 1].y2;
    }
    if (i + 1 == chain.size()) {
      s.x2 = k->segments[0].x1;
      s.y2 = k->segments[0].y1;
      if (i == 0) {
        s.x2 = chain[0].x1;
        s.y2 = chain[0].y1;
      }
    }
    if (kontAppendSeg(k, &s) != 1) return -1;
  }
  k->z = 0.0;
  k->closed = 1;
  return 1;
}

// Chains the pieces into closed contours, lowest free index first. A chain that cannot be
// continued before it closes fails the attempt (-42): its ends are never joined by an invented
// edge. Closed chains of fewer than three distinct points enclose nothing and are left out.
int boolChain(BoolContext& c) {
  const int n = static_cast<int>(c.pieces.size());
  if (n == 0) return 1;
  BoolStarts starts;
  starts.build(c.pieces, c.node.size());
  // Per node: the first of its pieces that may still be free.
  BoolVec<int> cursor(starts.start.begin(), starts.start.end() - 1, boolState.mem);
  BoolVec<char> used(static_cast<std::size_t>(n), 0, boolState.mem);
  BoolVec<Seg2D> chain(boolState.mem);
  int freeLeft = n;
  int lowest = 0;
  while (freeLeft > 0) {
    while (used[lowest] != 0) ++lowest;
    chain.clear();
    auto take = [&](int i) {
      const BoolPiece& p = c.pieces[i];
      chain.push_back(Seg2D{p.x1, p.y1, p.x2, p.y2});
      used[i] = 1;
      --freeLeft;
    };
    const int first = c.pieces[lowest].from;
    int at = c.pieces[lowest].to;
    take(lowest);
    while (at != first) {
      int& e = cursor[at];
      while (e < starts.start[at + 1] && used[starts.items[e]] != 0) ++e;
      const int found = e < starts.start[at + 1] ? starts.items[e] : -1;
      if (found < 0) {
        boolDumpProblem(c);
        return geoFail(kKontChainBroken, kSource);
      }
      at = c.pieces[found].to;
      take(found);
    }
    if (!boolHasThreePoints(chain)) continue;
    if (boolEmitContour(c, chain) != 1) return geoFail(-1, kSource);
  }
  return 1;
}

// Copies every contour of the list into the results, each with z and closed of its region's
// outer contour.
int boolCopyAll(BoolContext& c, const Kont2D* list) {
  for (const Kont2D* region = list; region != nullptr; region = region->next) {
    for (const Kont2D* k = region; k != nullptr; k = kontWalkNext(region, k)) {
      if (k->count <= 0 || k->segments == nullptr) continue;
      Kont2D* copy = kontNew(nullptr, k->count);
      if (copy == nullptr) return geoFail(-1, kSource);
      c.results.push_back(copy);
      for (int i = 0; i < k->count; ++i)
        if (kontAppendSeg(copy, &k->segments[i]) != 1) return geoFail(-1, kSource);
      copy->z = region->z;
      copy->closed = region->closed;
    }
  }
  return 1;
}

// ---- nesting ----------------------------------------------------------------------------------

// A result contour with its creation index, depth and container (creation index, -1 for none).
struct BoolNestItem {
  Kont2D* k;
  int index;
  int depth;
  int container;
};

// The point tests of the nesting against one result contour: the crossing parity of the contour
// (as geoPointInKont) and whether a point is one of its corners. Contours of more than a few dozen
// segments are indexed on first use, so probing many small contours against a large one costs
// the few segments near each probe instead of the whole contour.
class BoolNestProbe {
 public:
  explicit BoolNestProbe(Kont2D* e) : e_(e) {}
  bool contains(const Point2D& p) {
    if (e_->count < kIndexFrom) return geoPointInKont(p, e_) != 0;
    index();
    return band_->inside(p);
  }
  bool corner(const Point2D& p) {
    if (e_->count < kIndexFrom) {
      for (int m = 0; m < e_->count; ++m)
        if (boolNear(p.x, p.y, e_->segments[m].x1, e_->segments[m].y1)) return true;
      return false;
    }
    index();
    // Every corner starts a segment, which the grid (widened by 1e-8) lists in the corner's cell.
    const CellGrid& g = grid_.grid;
    const std::size_t cell =
        static_cast<std::size_t>(gridCellsRow(g, p.y)) * g.cols + gridCellsCol(g, p.x);
    for (int e = g.start[cell]; e < g.start[cell + 1]; ++e) {
      const Seg2D& s = single_.segs[g.items[e]];
      if (boolNear(p.x, p.y, s.x1, s.y1)) return true;
    }
    return false;
  }

 private:
  static constexpr int kIndexFrom = 48;
  void index() {
    if (band_ != nullptr) return;
    single_.list = e_;
    single_.segs.assign(e_->segments, e_->segments + e_->count);
    single_.contourOf.assign(static_cast<std::size_t>(e_->count), 0);
    single_.contours = {BoolContour{e_, 0, true}};
    single_.regions = 1;
    if (grid_.build(single_.segs, kCloseTol) < 0) throw std::bad_alloc();
    band_ = std::make_unique<BoolRayIndex>(single_, grid_);
  }
  Kont2D* e_;
  BoolOperand single_;
  BoolSegGrid grid_;
  std::unique_ptr<BoolRayIndex> band_;
};

// The share of k's segment start points inside e exceeds half of k's segments (the count stops
// once the answer is settled).
bool boolMostlyInside(const Kont2D* k, BoolNestProbe& e) {
  const int half = k->count / 2;
  int in = 0;
  for (int i = 0; i < k->count; ++i) {
    in += e.contains(Point2D{k->segments[i].x1, k->segments[i].y1}) ? 1 : 0;
    if (in > half) return true;
    if (in + (k->count - 1 - i) <= half) return false;
  }
  return false;
}

// The point of k that decides whether k lies inside e: its first point, unless that is also a
// corner of e (two results touching there, where the crossing parity says nothing about k), then
// the first of k's corners that e does not share. Result contours do not cross, so any point of k
// off e answers for all of k.
Point2D boolProbePoint(const Kont2D* k, BoolNestProbe& e) {
  for (int i = 0; i < k->count; ++i) {
    const Point2D p{k->segments[i].x1, k->segments[i].y1};
    if (!e.corner(p)) return p;
  }
  return Point2D{k->segments[0].x1, k->segments[0].y1};
}

// For each result contour, in creation order, the contours whose box meets its box, ascending:
// only those can contain one of its points.
BoolVec<BoolVec<int>> boolBoxNeighbours(const BoolVec<Kont2D*>& res) {
  const int n = static_cast<int>(res.size());
  BoolVec<double> boxes(4 * static_cast<std::size_t>(n), boolState.mem);
  for (int i = 0; i < n; ++i) {
    boxes[4 * i] = res[i]->xmin;
    boxes[4 * i + 1] = res[i]->ymin;
    boxes[4 * i + 2] = res[i]->xmax;
    boxes[4 * i + 3] = res[i]->ymax;
  }
  BoolVec<BoolVec<int>> out(static_cast<std::size_t>(n), boolState.mem);
  CellGrid grid(boolState.mem);
  if (gridCellsBuild(&grid, boxes.data(), n, 0.0) != 1) throw std::bad_alloc();
  BoolVec<int> stamp(static_cast<std::size_t>(n), -1, boolState.mem);
  for (int i = 0; i < n; ++i) {
    const double* b = &boxes[4 * i];
    for (int r = gridCellsRow(grid, b[1]); r <= gridCellsRow(grid, b[3]); ++r) {
      for (int col = gridCellsCol(grid, b[0]); col <= gridCellsCol(grid, b[2]); ++col) {
        const std::size_t cell = static_cast<std::size_t>(r) * grid.cols + col;
        for (int e = grid.start[cell]; e < grid.start[cell + 1]; ++e) {
          const int j = grid.items[e];
          if (j == i || stamp[j] == i) continue;
          stamp[j] = i;
          const double* q = &boxes[4 * j];
          if (q[0] <= b[2] && q[2] >= b[0] && q[1] <= b[3] && q[3] >= b[1]) out[i].push_back(j);
        }
      }
    }
    std::sort(out[i].begin(), out[i].end());
  }
  return out;
}

// Nests the results into a region list headed by the returned contour. Every contour is linked
// exactly once: a contour that finds no usable container becomes a region of its own.
Kont2D* boolNest(BoolVec<Kont2D*>& res) {
  const int n = static_cast<int>(res.size());
  BoolVec<BoolNestItem> items(static_cast<std::size_t>(n), boolState.mem);
  const BoolVec<BoolVec<int>> near = boolBoxNeighbours(res);
  BoolVec<BoolNestProbe> probes(boolState.mem);
  probes.reserve(static_cast<std::size_t>(n));
  for (Kont2D* k : res) probes.emplace_back(k);
  int maxDepth = 0;
  for (int i = 0; i < n; ++i) {
    items[i] = {res[i], i, 0, -1};
    for (int j : near[i]) {
      // A probe outside j's box is outside j: the box test comes before the probe's search.
      const Kont2D* e = res[j];
      if (res[i]->xmax < e->xmin || res[i]->xmin > e->xmax || res[i]->ymax < e->ymin ||
          res[i]->ymin > e->ymax)
        continue;
      if (!probes[j].contains(boolProbePoint(res[i], probes[j]))) continue;
      ++items[i].depth;
      items[i].container = j;
    }
    maxDepth = std::max(maxDepth, items[i].depth);
  }
  BoolVec<Kont2D*> chain(boolState.mem);
  chain.reserve(static_cast<std::size_t>(n));
  // The last island hung under each container so far.
  BoolVec<Kont2D*> tail(static_cast<std::size_t>(n), nullptr, boolState.mem);
  for (Kont2D* k : res) k->prev = k->next = k->child = nullptr;
  for (const BoolNestItem& it : items) it.k->depth = it.depth;
  auto hang = [&](int holder, Kont2D* island) {
    Kont2D* outer = res[holder];
    island->next = nullptr;
    island->prev = tail[holder] != nullptr ? tail[holder] : outer;
    if (tail[holder] == nullptr)
      outer->child = island;
    else
      tail[holder]->next = island;
    tail[holder] = island;
  };
  if (maxDepth <= 1) {
    std::stable_sort(items.begin(), items.end(), [](const BoolNestItem& l, const BoolNestItem& r) {
      if (l.depth != r.depth) return l.depth < r.depth;
      if (l.container != r.container) return l.container < r.container;
      return l.index < r.index;
    });
    for (const BoolNestItem& it : items) {
      const bool island = it.depth == 1 && it.container >= 0 && res[it.container]->depth == 0;
      if (island)
        hang(it.container, it.k);
      else
        chain.push_back(it.k);
    }
  } else {
    std::stable_sort(items.begin(), items.end(), [](const BoolNestItem& l, const BoolNestItem& r) {
      const int oddL = l.depth & 1, oddR = r.depth & 1;
      if (oddL != oddR) return oddL < oddR;
      if (l.depth != r.depth) return l.depth < r.depth;
      if (l.k->xmin != r.k->xmin) return l.k->xmin < r.k->xmin;
      return l.index < r.index;
    });
    BoolVec<int> evens(boolState.mem);
    for (const BoolNestItem& it : items)
      if ((it.depth & 1) == 0) evens.push_back(it.index);
    for (int e : evens) chain.push_back(res[e]);
    for (const BoolNestItem& it : items) {
      if ((it.depth & 1) == 0) continue;
      int holder = -1;
      for (int e : evens) {
        const Kont2D* ek = res[e];
        if (ek->depth + 1 != it.depth || ek->xmin > it.k->xmax || ek->xmax < it.k->xmin ||
            ek->ymin > it.k->ymax || ek->ymax < it.k->ymin)
          continue;
        if (boolMostlyInside(it.k, probes[e])) {
          holder = e;
          break;
        }
      }
      if (holder >= 0)
        hang(holder, it.k);
      else
        chain.push_back(it.k);
    }
  }
  for (std::size_t i = 0; i < chain.size(); ++i) {
    chain[i]->prev = i > 0 ? chain[i - 1] : nullptr;
    chain[i]->next = i + 1 < chain.size() ? chain[i + 1] : nullptr;
  }
  return chain.empty() ? nullptr : chain[0];
}

// Frees results that are not linked to each other yet.
void boolFreeLoose(BoolVec<Kont2D*>& res) {
  for (Kont2D* k : res) {
    k->prev = k->next = k->child = nullptr;
    kontFree(k);
  }
  res.clear();
}

int boolRun(BoolContext& c, Kont2D** out) {
  if (c.a.list == nullptr || c.b.list == nullptr) {
    const Kont2D* present = c.a.list != nullptr ? c.a.list : c.b.list;
    const bool copy = present != nullptr &&
                      (c.a.list == nullptr ? c.mode == kKontUnion : c.mode != kKontIntersection);
    if (!copy) return 0;
    const int r = boolCopyAll(c, present);
    if (r < 0) return r;
  } else {
    int r = boolCollect(c.a);
    if (r == 1) r = boolCollect(c.b);
    if (r < 0) return r;
    if ((r = boolSnapVertices(c)) < 0) return r;
    if ((r = boolFindCuts(c)) < 0) return r;
    if ((r = boolCluster(c)) < 0) return r;
    c.pieces.reserve(c.a.segs.size() + c.b.segs.size() + 2 * c.cuts.size());
    boolSplit(c, 0);
    const std::size_t piecesOfA = c.pieces.size();
    boolSplit(c, 1);
    boolClassify(c, 0, piecesOfA, 0);
    boolClassify(c, piecesOfA, c.pieces.size(), 1);
    boolMarkDoubled(c);
    boolSelect(c);
    if ((r = boolChain(c)) < 0) return r;
  }
  if (c.results.empty()) return 0;
  *out = boolNest(c.results);
  c.results.clear();  // owned by the list now
  return 1;
}

// ---- scaled retries ---------------------------------------------------------------------------

// Applies f to every region of the list.
template <typename F>
void boolEachRegion(Kont2D* list, F f) {
  for (Kont2D* region = list; region != nullptr; region = region->next) f(region);
}

void boolScaleList(Kont2D* list, double s) {
  boolEachRegion(list, [s](Kont2D* r) { kontScale(r, s); });
}

void boolMoveList(Kont2D* list, double dx, double dy) {
  boolEachRegion(list, [dx, dy](Kont2D* r) { kontTranslate(r, dx, dy, 0.0); });
}

struct BoolScales {
  double s[10];
  double cx, cy;  // centre of the common box
};

// Smallest and largest extent and the common box of the outer contours of both lists; the first
// scale brings the smallest extent to 1, the last the largest to 1e8.
BoolScales boolScaleSteps(const Kont2D* a, const Kont2D* b) {
  double emin = DBL_MAX, emax = -DBL_MAX;
  double xmin = DBL_MAX, ymin = DBL_MAX, xmax = -DBL_MAX, ymax = -DBL_MAX;
  for (const Kont2D* list : {a, b}) {
    for (const Kont2D* r = list; r != nullptr; r = r->next) {
      const double w = r->xmax - r->xmin, h = r->ymax - r->ymin;
      emin = std::fmin(emin, std::fmin(w, h));
      emax = std::fmax(emax, std::fmax(w, h));
      xmin = std::fmin(xmin, r->xmin);
      ymin = std::fmin(ymin, r->ymin);
      xmax = std::fmax(xmax, r->xmax);
      ymax = std::fmax(ymax, r->ymax);
    }
  }
  BoolScales sc{};
  sc.s[0] = emin > 1e-8 ? 1.0 / emin : 1e8;
  sc.s[9] = emax > 1.0 ? 1e8 / emax : 1e8;
  for (int k = 1; k <= 8; ++k) sc.s[k] = sc.s[0] + (sc.s[9] - sc.s[0]) * k / 9.0;
  sc.cx = 0.5 * (xmin + xmax);
  sc.cy = 0.5 * (ymin + ymax);
  return sc;
}

// 1 when a contour of the list is smaller than kTinyContour in both directions without being a
// single point: rounding to six decimals would deform or collapse it.
bool boolHasTinyContour(const Kont2D* list) {
  for (const Kont2D* region = list; region != nullptr; region = region->next) {
    for (const Kont2D* k = region; k != nullptr; k = kontWalkNext(region, k)) {
      if (k->segments == nullptr || k->count <= 0) continue;
      double xmin = DBL_MAX, ymin = DBL_MAX, xmax = -DBL_MAX, ymax = -DBL_MAX;
      for (int i = 0; i < k->count; ++i) {
        xmin = std::fmin(xmin, std::fmin(k->segments[i].x1, k->segments[i].x2));
        xmax = std::fmax(xmax, std::fmax(k->segments[i].x1, k->segments[i].x2));
        ymin = std::fmin(ymin, std::fmin(k->segments[i].y1, k->segments[i].y2));
        ymax = std::fmax(ymax, std::fmax(k->segments[i].y1, k->segments[i].y2));
      }
      const double extent = std::fmax(xmax - xmin, ymax - ymin);
      if (extent > kPieceTol && extent < kTinyContour) return true;
    }
  }
  return false;
}

// Copies an operand for the Boolean operations through a region holder: a text snapshot parsed
// back with outer orientation +1 and constant z, which rounds x and y to six decimals, re-nests,
// orients and validates the copy. The copy is handed over to the caller; a copy that cannot be
// made (an invalid operand, no memory) fails the operation with -1. An operand without a contour
// of three points copies to an empty list and counts as a null operand. An operand with a contour
// smaller than 1e-5 (which the rounding would deform or collapse) is copied exactly instead.
int kontBoolCopyViaSnapshot(const Kont2D* list, Kont2D** copy) {
  *copy = nullptr;
  if (list == nullptr) return 1;  // a null operand gives an empty copy
  if (!boolHasTinyContour(list)) {
    KontHolder* holder = kontHolderInit(list);
    if (holder == nullptr) return geoFail(-1, kSource);
    *copy = holder->list;
    holder->list = nullptr;
    kontHolderFree(holder);
    return 1;
  }
  // Rounding to six decimals would deform or collapse a contour this small: the operation runs on
  // an exact copy instead, which the scaled attempts enlarge.
  Kont2D* last = nullptr;
  for (const Kont2D* region = list; region != nullptr; region = region->next) {
    Kont2D* c = kontCopy(region);
    if (c == nullptr) {
      kontFree(*copy);
      *copy = nullptr;
      return geoFail(-1, kSource);
    }
    c->z = region->z;
    if (last == nullptr) {
      *copy = c;
    } else {
      last->next = c;
      c->prev = last;
    }
    last = c;
  }
  return 1;
}

}  // namespace

void kontBooleanSetOracle(int on) { boolState.oracle = on != 0 ? 1 : 0; }
void kontBooleanResetState() { boolState = KontBooleanState{}; }

int kontBoolean(Kont2D* a, Kont2D* b, int mode, Kont2D** out) {
  if (out == nullptr) return geoFail(-20, kSource);
  *out = nullptr;
  if (mode < kKontUnion || mode > kKontDifference) return geoFail(-20, kSource);
  if (!boolListFinite(a) || !boolListFinite(b)) return geoFail(-20, kSource);
  const BoolArenaScope scratch;
  BoolContext c;
  c.a.list = a;
  c.b.list = b;
  c.mode = mode;
  int r = 0;
  try {
    r = boolRun(c, out);
  } catch (const std::bad_alloc&) {
    r = geoFail(-1, kSource);
  }
  if (r != 1) boolFreeLoose(c.results);
  return r;
}

int kontBooleanScaled(Kont2D* copyA, Kont2D* copyB, int mode, Kont2D** out) {
  if (out == nullptr) return geoFail(-20, kSource);
  *out = nullptr;
  if (mode < kKontUnion || mode > kKontDifference) return geoFail(-20, kSource);
  int r = kontBoolean(copyA, copyB, mode, out);
  if (r >= 0) return r;
  const BoolScales sc = boolScaleSteps(copyA, copyB);
  const double dx = -sc.cx, dy = -sc.cy;
  boolMoveList(copyA, dx, dy);
  boolMoveList(copyB, dx, dy);
  for (int i = 0; i < 10 && r < 0; ++i) {
    boolScaleList(copyA, sc.s[i]);
    boolScaleList(copyB, sc.s[i]);
    r = kontBoolean(copyA, copyB, mode, out);
    if (r == 1) {
      boolScaleList(*out, 1.0 / sc.s[i]);
      boolMoveList(*out, -dx, -dy);
      boolEachRegion(*out, [](Kont2D* region) {
        for (Kont2D* k = region; k != nullptr; k = kontWalkNext(region, k)) kontUpdateBox(k);
      });
      char text[96];
      std::snprintf(text, sizeof text, "Erfolg mit Skalierung %lf \n", sc.s[i]);
      geoErrLog(text);
    }
    boolScaleList(copyA, 1.0 / sc.s[i]);
    boolScaleList(copyB, 1.0 / sc.s[i]);
  }
  boolMoveList(copyA, -dx, -dy);
  boolMoveList(copyB, -dx, -dy);
  return r;
}

int kontBooleanSafe(const Kont2D* a, const Kont2D* b, int mode, Kont2D** out) {
  if (out == nullptr) return -20;
  *out = nullptr;
  if (a == nullptr && b == nullptr) return 0;
  if (mode < kKontUnion || mode > kKontDifference) return -20;
  // The copy would drop a vertex it cannot write; the caller learns of it instead.
  if (!boolListFinite(a) || !boolListFinite(b)) return geoFail(-20, kSource);
  Kont2D* copyA = nullptr;
  Kont2D* copyB = nullptr;
  if (kontBoolCopyViaSnapshot(a, &copyA) < 0 || kontBoolCopyViaSnapshot(b, &copyB) < 0) {
    kontFree(copyA);
    kontFree(copyB);
    return geoFail(-1, kSource);
  }
  const int r = kontBooleanScaled(copyA, copyB, mode, out);
  kontFree(copyA);
  kontFree(copyB);
  return r;
}
