// Tests of the re-tracing of Z paths with its start segments and piece helpers: the offset of an
// island square (rounded corners) and of a pocket square (sharp corners) against their known
// areas, the copy at offset 0, the argument cases, and the pieces found at the gaps of a traced
// list.
#include <gtest/gtest.h>

#include <cmath>
#include <numbers>
#include <vector>

#include "framework/global_params.h"
#include "geometry/pko_pieces.h"
#include "geometry/stel_zpath.h"
#include "zlevel/retrace.h"
#include "zpath_fixture.h"

namespace {

using qdtest::zpathOf;
using qdtest::ZPoint;

ZPath* squarePath(double a, double z, bool ccw, int material) {
  std::vector<ZPoint> p = {{0, 0}, {a, 0}, {a, a}, {0, a}};
  if (!ccw) p = {{0, 0}, {0, a}, {a, a}, {a, 0}};
  ZPath* path = zpathOf(p, z);
  path->materialInside = material;
  path->flags = 0x40;
  return path;
}

ZPathList* listOf(ZPath* p) {
  ZPathList* l = zpathListNew(2);
  zpathListAdd(l, p);
  zpathFree(p);
  return l;
}

struct RetraceCase {
  const char* name;
  bool ccw;
  int material;
  double offset;
  double area;  // of the offset contour
};

TEST(ArczRetracePaths, OffsetSquaresHaveTheirAreas) {
  const double a = 100, pi = std::numbers::pi;
  const GlobalParams saved = *parGlobalBlock();
  for (const RetraceCase& c : {
           RetraceCase{"island, counter-clockwise", true, 1, 5, a * a + 4 * a * 5 + pi * 25},
           RetraceCase{"island, clockwise", false, 1, 2, a * a + 4 * a * 2 + pi * 4},
           RetraceCase{"pocket, clockwise", false, 0, 5, (a - 10) * (a - 10)},
       }) {
    SCOPED_TRACE(c.name);
    ZPathList* in = listOf(squarePath(a, 7, c.ccw, c.material));
    ZPathList* out = zpathListNew(2);
    ASSERT_EQ(arczRetracePaths(in, c.offset, nullptr, out), 1);
    ASSERT_EQ(out->count, 1);
    const ZPath& p = out->items[0];
    EXPECT_EQ(p.z, 7.0);
    EXPECT_EQ(p.flags, 0x40u);
    // The chords sag by at most the tolerance (0.1 of 10 scaled: 0.01 offset) along the arcs.
    EXPECT_NEAR(std::fabs(zpathArea(&p)), c.area, 0.02 * c.offset * 2 * pi * c.offset + 1e-3);
    // The input is scaled back.
    EXPECT_EQ(in->items[0].xmax, a);
    EXPECT_EQ(parGlobalBlock()->acceptUndercut, saved.acceptUndercut);
    zpathListFree(in);
    zpathListFree(out);
  }
}

TEST(ArczRetracePaths, CopyEmptyAndBadArguments) {
  ZPathList* in = listOf(squarePath(10, 1, true, 1));
  ZPathList* out = zpathListNew(2);
  EXPECT_EQ(arczRetracePaths(in, 0.000001, nullptr, out), 1);
  ASSERT_EQ(out->count, 1);
  EXPECT_EQ(out->items[0].count, 4);
  EXPECT_EQ(arczRetracePaths(in, 1, nullptr, nullptr), -1);
  EXPECT_EQ(arczRetracePaths(in, -1, nullptr, out), -20);
  EXPECT_EQ(arczRetracePaths(in, std::nan(""), nullptr, out), -20);
  ZPathList* empty = zpathListNew(1);
  EXPECT_EQ(arczRetracePaths(empty, 1, nullptr, out), 0);
  EXPECT_EQ(arczRetraceContacts(in, 0.05, nullptr, out), 0);  // below 0.1: nothing
  EXPECT_EQ(out->count, 1);
  zpathListFree(empty);
  zpathListFree(in);
  zpathListFree(out);
}

// Contacts inside an island square: starts away from them re-trace the island.
TEST(ArczRetraceContacts, StartsFromTheContactsTraceTheOffset) {
  std::vector<ZPoint> p = {{0, 0}, {10, 0}, {10, 10}, {0, 10}};
  for (ZPoint& q : p) {
    q.id = 3;
    q.kind = 1;
    q.cx = 5 + (q.x - 5) * 0.5;
    q.cy = 5 + (q.y - 5) * 0.5;
  }
  ZPath* path = zpathOf(p, 2);
  path->materialInside = 1;
  StelList* starts = stelFromZpathContacts(path, 1, nullptr);
  ASSERT_NE(starts, nullptr);
  ASSERT_EQ(starts->count, 4);
  EXPECT_NEAR(starts->segments[0].x2, 0, 1e-6);  // ends on the path's point
  EXPECT_NEAR(starts->segments[0].x1, -std::sqrt(2.0), 1e-6);
  stelListFree(starts);
  ZPathList* in = listOf(path);
  ZPathList* out = zpathListNew(2);
  ASSERT_EQ(arczRetraceContacts(in, 1, nullptr, out), 1);
  ASSERT_EQ(out->count, 1);
  EXPECT_NEAR(std::fabs(zpathArea(&out->items[0])), 100 + 40 + std::numbers::pi, 0.2);
  zpathListFree(in);
  zpathListFree(out);
}

// Starts lie on the free side: inside a pocket, outside an island, whatever the orientation.
TEST(StelFromZpaths, StartsOnTheFreeSide) {
  for (bool ccw : {true, false}) {
    for (int material : {0, 1}) {
      ZPath* p = squarePath(10, 0, ccw, material);
      StelList* s = stelFromZpaths(p, 1, 1, nullptr);
      ASSERT_NE(s, nullptr);
      ASSERT_EQ(s->count, 4);
      for (int i = 0; i < 4; ++i) {
        const Seg2D& g = s->segments[i];
        const bool inside = g.x1 > 0 && g.x1 < 10 && g.y1 > 0 && g.y1 < 10;
        EXPECT_EQ(inside, material == 0) << ccw << " " << i;
        EXPECT_NEAR(std::hypot(g.x2 - g.x1, g.y2 - g.y1), 2, 1e-9);
      }
      stelListFree(s);
      zpathFree(p);
    }
  }
  EXPECT_EQ(stelFromZpaths(nullptr, 1, 1, nullptr), nullptr);
  ZPath* p = squarePath(10, 0, true, 1);
  EXPECT_EQ(stelFromZpaths(p, 1, 0, nullptr), nullptr);
  zpathFree(p);
}

// Two pieces, each a straight run of four unit segments of one id and kind then a turn: the
// merge keeps the gap between them, and the piece starts are found at it.
TEST(PkoPieces, MergeKeepsTheGapsAndStartsAreFound) {
  PkoList* l = pkoListNew(16);
  for (int piece = 0; piece < 2; ++piece) {
    const double y = piece * 5.0;
    for (int i = 0; i < 4; ++i)
      pkoListAppend(l, Seg3D{{double(i), y, 0}, {double(i + 1), y, 0}}, Point3D{}, 7, 1);
    for (int i = 0; i < 3; ++i)
      pkoListAppend(l, Seg3D{{4, y + i, 0}, {4, y + i + 1, 0}}, Point3D{}, 8, 1);
  }
  IntList* starts = lstIntNew(4);
  EXPECT_EQ(pkoListPieceStarts(l, starts), 2);
  EXPECT_EQ(starts->items[1], 7);
  pkoListMergeCollinear(l);
  ASSERT_EQ(pkoListPieceStarts(l, starts), 2);
  const int second = starts->items[1];
  EXPECT_LT(second, 7);
  EXPECT_EQ(l->segments[second].start.y, 5.0);  // the second piece starts where it did
  EXPECT_EQ(l->segments[0].end.x, 4.0);         // four segments became one
  EXPECT_EQ(pkoListPieceStarts(nullptr, starts), -1);
  pkoListReset(l);
  EXPECT_EQ(pkoListPieceStarts(l, starts), 0);
  lstIntFree(starts);
  pkoListFree(l);
}

}  // namespace
