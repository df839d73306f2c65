// Typed growable lists: capacity rules, incremental boxes against recomputed ones, all-or-nothing
// growth under failing allocation, byte-record access, segment measures and the triangle dump.
#include <gtest/gtest.h>

#include <cfloat>
#include <climits>
#include <cmath>
#include <random>
#include <vector>

#include "framework/memory.h"
#include "geometry/lists.h"
#include "support/temp_dir.h"

namespace {
LineArcElem arcElem(Point2D s, Point2D e, Point2D c, int dir) {
  LineArcElem el{};
  el.kind = 2;
  el.arc.sx = s.x;
  el.arc.sy = s.y;
  el.arc.ex = e.x;
  el.arc.ey = e.y;
  el.arc.cx = c.x;
  el.arc.cy = c.y;
  el.arc.radius = std::hypot(s.x - c.x, s.y - c.y);
  el.arc.dir = dir;
  return el;
}

void expectBox(const LineArcList* l, double x0, double y0, double x1, double y1) {
  EXPECT_NEAR(l->xmin, x0, 1e-12);
  EXPECT_NEAR(l->ymin, y0, 1e-12);
  EXPECT_NEAR(l->xmax, x1, 1e-12);
  EXPECT_NEAR(l->ymax, y1, 1e-12);
}
}  // namespace

TEST(Lists, CapacityRulesAndGrowthSequences) {
  Pt2List* p2 = lstPt2New(2);
  ASSERT_NE(p2, nullptr);
  EXPECT_EQ(p2->capacity, 2) << "only 0 or 1 are raised";
  for (int k = 0; k < 3; ++k) EXPECT_EQ(lstPt2Append(p2, {double(k), 0}), 1);
  EXPECT_EQ(p2->capacity, 4);
  lstBox2Free(p2);
  Seg2List* s2 = lstSeg2New(2);
  EXPECT_EQ(s2->capacity, 3);
  lstBox2Free(s2);
  Tri3List* t3 = lstTri3New(0);
  std::vector<int> caps = {t3->capacity};
  for (int k = 1; k <= 9; ++k) {
    EXPECT_EQ(lstTri3Append(t3, Tri3D{}), k) << "the new count";
    if (t3->capacity != caps.back()) caps.push_back(t3->capacity);
  }
  EXPECT_EQ(caps, (std::vector<int>{2, 3, 4, 6, 9}));
  lstBox3Free(t3);
  IntList* il = lstIntNew(-5);
  EXPECT_EQ(il->capacity, 3);
  caps = {il->capacity};
  for (int k = 0; k < 13; ++k) {
    EXPECT_EQ(lstIntAppend(il, 100 - k), k) << "the index";
    if (il->capacity != caps.back()) caps.push_back(il->capacity);
  }
  EXPECT_EQ(caps, (std::vector<int>{3, 5, 8, 13}));
  EXPECT_EQ(il->min, 88);
  EXPECT_EQ(il->max, 100);
  EXPECT_EQ(lstIntReset(il), 1);
  EXPECT_EQ(il->min, INT_MAX);
  EXPECT_EQ(il->max, INT_MIN);
  EXPECT_EQ(lstIntFree(il), 1);
  EXPECT_EQ(lstIntFree(nullptr), 0);
  LineArcList* la = lstElemNew(3);
  caps = {la->capacity};
  for (int k = 0; k < 7; ++k) {
    LineArcElem line{};
    line.kind = 1;
    EXPECT_EQ(lstElemAppend(la, line), k);
    if (la->capacity != caps.back()) caps.push_back(la->capacity);
  }
  EXPECT_EQ(caps, (std::vector<int>{3, 4, 6, 9}));
  lstBox2Free(la);
}

TEST(Lists, EmptyBoxes) {
  Pt2List* p2 = lstPt2New(0);
  EXPECT_EQ(p2->xmin, DBL_MAX);
  EXPECT_EQ(p2->ymax, -DBL_MAX);
  Tri3List* t3 = lstTri3New(0);
  EXPECT_EQ(t3->zmin, 1e10);
  EXPECT_EQ(t3->zmax, -1e10);
  LineArcList* la = lstElemNew(0);
  EXPECT_EQ(la->xmin, 1e10);
  TriFList* tf = lstTriFNew(0);
  EXPECT_EQ(tf->xmax, -1e10f);
  DblList* dl = lstDblNew(0);
  EXPECT_EQ(dl->min, DBL_MAX);
  lstPt2Append(p2, {1, 2});
  EXPECT_EQ(p2->xmin, 1);
  EXPECT_EQ(p2->xmax, 1) << "the first append sets both ends";
  lstPt2Reset(p2);
  EXPECT_EQ(p2->count, 0);
  EXPECT_EQ(p2->xmin, DBL_MAX);
  lstBox2Free(p2);
  lstBox3Free(t3);
  lstBox2Free(la);
  lstTriFFree(tf);
  lstDblFree(dl);
}

TEST(Lists, IncrementalBoxesEqualRecomputedBoxes) {
  std::mt19937 rng(31);
  std::uniform_real_distribution<double> u(-1000, 1000);
  Seg3List* s3 = lstSeg3New(0);
  Pt3List* p3 = lstPt3New(0);
  Seg2List* s2 = lstSeg2New(0);
  TriFList* tf = lstTriFNew(0);
  DblList* dl = lstDblNew(0);
  for (int k = 0; k < 500; ++k) {
    const Seg3D s{{u(rng), u(rng), u(rng)}, {u(rng), u(rng), u(rng)}};
    ASSERT_EQ(lstSeg3Append(s3, s), 1);
    ASSERT_EQ(lstPt3Append(p3, s.start), 1);
    ASSERT_EQ(lstSeg2Append(s2, {s.start.x, s.start.y, s.end.x, s.end.y}), 1);
    TriF t{};
    for (float& f : t.v) f = static_cast<float>(u(rng));
    ASSERT_EQ(lstTriFAppend(tf, t), k + 1);
    ASSERT_EQ(lstDblPush(dl, s.end.z), 1);
  }
  double lo[3] = {DBL_MAX, DBL_MAX, DBL_MAX}, hi[3] = {-DBL_MAX, -DBL_MAX, -DBL_MAX};
  double plo[3] = {DBL_MAX, DBL_MAX, DBL_MAX}, phi[3] = {-DBL_MAX, -DBL_MAX, -DBL_MAX};
  float flo[3] = {1e10f, 1e10f, 1e10f}, fhi[3] = {-1e10f, -1e10f, -1e10f};
  double zmin = DBL_MAX, zmax = -DBL_MAX;
  for (int k = 0; k < s3->count; ++k) {
    for (const Point3D& p : {s3->items[k].start, s3->items[k].end}) {
      const double c[3] = {p.x, p.y, p.z};
      for (int a = 0; a < 3; ++a) lo[a] = std::min(lo[a], c[a]), hi[a] = std::max(hi[a], c[a]);
    }
    const Point3D& q = p3->items[k];
    const double c[3] = {q.x, q.y, q.z};
    for (int a = 0; a < 3; ++a) plo[a] = std::min(plo[a], c[a]), phi[a] = std::max(phi[a], c[a]);
    for (int v = 0; v < 9; ++v)
      flo[v % 3] = std::min(flo[v % 3], tf->items[k].v[v]),
              fhi[v % 3] = std::max(fhi[v % 3], tf->items[k].v[v]);
    zmin = std::min(zmin, dl->items[k]);
    zmax = std::max(zmax, dl->items[k]);
  }
  EXPECT_EQ(s3->xmin, lo[0]);
  EXPECT_EQ(s3->ymin, lo[1]);
  EXPECT_EQ(s3->zmax, hi[2]);
  EXPECT_EQ(s2->xmin, lo[0]);
  EXPECT_EQ(s2->ymax, hi[1]);
  EXPECT_EQ(p3->xmin, plo[0]);
  EXPECT_EQ(p3->zmax, phi[2]);
  EXPECT_EQ(tf->ymin, flo[1]);
  EXPECT_EQ(tf->zmax, fhi[2]);
  EXPECT_EQ(dl->min, zmin);
  EXPECT_EQ(dl->max, zmax);
  lstBox3Free(s3);
  lstBox3Free(p3);
  lstBox2Free(s2);
  lstTriFFree(tf);
  lstDblFree(dl);
}

TEST(Lists, ArcBoxesTakeTheCircleExtremesWithinTheSweep) {
  struct Case {
    Point2D s, e;
    int dir;
    double box[4];
  } cases[] = {
      {{1, 0}, {0, 1}, 1, {0, 0, 1, 1}},
      {{1, 0}, {0, 1}, -1, {-1, -1, 1, 1}},
      {{1, 0}, {1, 0}, 1, {1, 0, 1, 0}},  // zero sweep adds no extreme
      {{0, 1}, {0, -1}, 1, {-1, -1, 0, 1}},
  };
  for (const Case& c : cases) {
    LineArcList* l = lstElemNew(0);
    EXPECT_EQ(lstElemAppend(l, arcElem(c.s, c.e, {0, 0}, c.dir)), 0);
    expectBox(l, c.box[0], c.box[1], c.box[2], c.box[3]);
    lstBox2Free(l);
  }
}

TEST(Lists, FailedGrowthLeavesTheListAsItWas) {
  Pt2List* l = lstPt2New(3);
  for (int k = 0; k < 3; ++k) lstPt2Append(l, {double(k), double(k)});
  memTestFailAt(1);
  EXPECT_EQ(lstPt2Append(l, {50, 50}), -1);
  memTestFailAt(0);
  EXPECT_EQ(l->count, 3);
  EXPECT_EQ(l->capacity, 3);
  EXPECT_EQ(l->xmax, 2) << "the box did not take the lost point";
  EXPECT_EQ(l->items[2].x, 2);
  EXPECT_EQ(lstPt2Append(l, {50, 50}), 1) << "usable after the failure";
  EXPECT_EQ(l->capacity, 5);
  lstBox2Free(l);
}

TEST(Lists, CreationFailsCleanlyAtEveryAllocation) {
  for (int n = 1; n <= 2; ++n) {
    memTestFailAt(n);
    EXPECT_EQ(lstSeg2New(10), nullptr) << n;
    memTestFailAt(n);
    EXPECT_EQ(lstBytesNew(10, 12), nullptr) << n;
    memTestFailAt(0);
  }
  EXPECT_EQ(lstBytesNew(10, 0), nullptr);
}

TEST(Lists, NullListsAreHandled) {
  EXPECT_EQ(lstPt2Append(nullptr, {0, 0}), -1);
  EXPECT_EQ(lstIntAppend(nullptr, 1), -1);
  EXPECT_EQ(lstRec8Append(nullptr, Rec8{}), -1);
  EXPECT_EQ(lstTri3Append(nullptr, Tri3D{}), -1);
  EXPECT_EQ(lstPt3Reset(nullptr), 1);
  EXPECT_EQ(lstRecClear(nullptr), 1);
  EXPECT_EQ(lstPairClear(nullptr), nullptr);
  lstBox2Free(static_cast<Pt2List*>(nullptr));
  lstBox3Free(static_cast<Tri3List*>(nullptr));
  lstRecFree(nullptr);
  lstBytesFree(nullptr);
  EXPECT_EQ(lstSeg2Area(nullptr, 0, 4), 0.0);
}

TEST(Lists, RecordListsKeepTheirRecords) {
  RecList* r40 = lstRec40New(0);
  EXPECT_EQ(static_cast<Rec40*>(r40->items)[2].w[9], 0) << "zero-filled at creation";
  Rec40 rec{};
  for (int k = 0; k < 10; ++k) {
    rec.w[0] = k;
    EXPECT_EQ(lstRec40Append(r40, rec), 1);
  }
  EXPECT_EQ(static_cast<Rec40*>(r40->items)[7].w[0], 7);
  lstRecFree(r40);
  RecList* r12 = lstRec12New(1);
  EXPECT_EQ(r12->capacity, 3);
  for (int k = 0; k < 6; ++k) EXPECT_EQ(lstRec12Append(r12, Rec12{{k, k, k}}), k);
  EXPECT_EQ(lstRecClear(r12), 1);
  EXPECT_EQ(r12->count, 0);
  lstRecFree(r12);
  RecList* r16 = lstRec16New(2);
  EXPECT_EQ(r16->capacity, 3);
  for (int k = 0; k < 5; ++k) EXPECT_EQ(lstRec16Append(r16, Rec16{{k, k, k, k}}), k);
  EXPECT_EQ(static_cast<Rec16*>(r16->items)[4].w[3], 4);
  lstRecFree(r16);
  RecList* r32 = lstRec32New(2);
  EXPECT_EQ(r32->capacity, 2);
  EXPECT_EQ(lstRec32Append(r32, Rec32{}), 0);
  lstRecFree(r32);
  int target = 5;
  RecList* pairs = lstPairNew(0);
  EXPECT_EQ(lstPairAppend(pairs, PtrValPair{&target, 2.5f}), 1);
  EXPECT_EQ(static_cast<PtrValPair*>(pairs->items)[0].ptr, &target);
  EXPECT_EQ(lstPairClear(pairs), pairs);
  lstRecFree(pairs);
  RecList* r8 = lstRec8New(0);
  // Appending a record of the list itself while it grows.
  lstRec8Append(r8, Rec8{{1, 2}});
  lstRec8Append(r8, Rec8{{3, 4}});
  lstRec8Append(r8, Rec8{{5, 6}});
  EXPECT_EQ(lstRec8Append(r8, static_cast<Rec8*>(r8->items)[0]), 3);
  EXPECT_EQ(static_cast<Rec8*>(r8->items)[3].w[1], 2);
  lstRecFree(r8);
}

TEST(Lists, ByteRecordAccessRemovalAndPop) {
  ByteRecList* l = lstBytesNew(0, 8);
  ASSERT_NE(l, nullptr);
  for (int k = 0; k < 5; ++k) {
    const long long v = 10 * k;
    EXPECT_EQ(lstBytesAppend(l, &v), 1);
  }
  EXPECT_EQ(l->capacity, 6);
  EXPECT_EQ(*static_cast<long long*>(lstBytesAt(l, 4)), 40);
  EXPECT_EQ(lstBytesAt(l, 5), nullptr);
  EXPECT_EQ(lstBytesAt(l, -1), nullptr);
  EXPECT_EQ(lstBytesAppendN(l, lstBytesAt(l, 0), 8), 1) << "a record of the list itself";
  EXPECT_EQ(*static_cast<long long*>(lstBytesAt(l, 5)), 0);
  EXPECT_EQ(lstBytesAppendN(l, lstBytesAt(l, 0), 9), -20) << "more than a record";
  EXPECT_EQ(lstBytesAppendOk(l, nullptr, 8), 0);
  EXPECT_EQ(lstBytesRemove(l, 1), 1);
  EXPECT_EQ(lstBytesRemove(l, 9), 0);
  EXPECT_EQ(l->count, 5);
  EXPECT_EQ(*static_cast<long long*>(lstBytesAt(l, 1)), 20);
  long long out = -1;
  EXPECT_EQ(lstBytesPop(l, &out, 8), 1);
  EXPECT_EQ(out, 0);
  EXPECT_EQ(l->count, 4);
  while (l->count > 0) lstBytesPop(l, &out, 8);
  out = -7;
  EXPECT_EQ(lstBytesPop(l, &out, 8), 0);
  EXPECT_EQ(out, -7);
  EXPECT_EQ(lstBytesRemove(l, 0), 0);
  memTestFailAt(1);
  EXPECT_EQ(lstBytesAppendOk(l, &out, 8), 0);
  memTestFailAt(0);
  lstBytesFree(l);
}

TEST(Lists, SegmentAreaAndLength) {
  Seg2List* l = lstSeg2New(0);
  const Seg2D ccw[4] = {{0, 0, 1, 0}, {1, 0, 1, 1}, {1, 1, 0, 1}, {0, 1, 0, 0}};
  for (const Seg2D& s : ccw) lstSeg2Append(l, s);
  for (int k = 3; k >= 0; --k) lstSeg2Append(l, {ccw[k].x2, ccw[k].y2, ccw[k].x1, ccw[k].y1});
  EXPECT_DOUBLE_EQ(lstSeg2Area(l, 0, 4), 1.0);
  EXPECT_DOUBLE_EQ(lstSeg2Area(l, 4, 8), -1.0);
  EXPECT_EQ(lstSeg2Area(l, 0, 1), 0.0);
  EXPECT_EQ(lstSeg2Area(l, 6, 12), 0.0) << "a range beyond the list";
  EXPECT_DOUBLE_EQ(lstSeg2Length(l, 0, 8), 8.0);
  EXPECT_EQ(lstSeg2Length(l, 3, 3), 0.0);
  EXPECT_EQ(lstSeg2Length(l, -1, 3), 0.0);
  lstBox2Free(l);
}

class TriDump : public qdtest::TempDirTest {
 protected:
  void SetUp() override { lstResetState(); }
  void TearDown() override { lstResetState(); }
};

TEST_F(TriDump, NumberedFilesInTheWorkingDirectory) {
  Tri3List* l = lstTri3New(0);
  lstTri3Append(l, Tri3D{{{1, 2, 3}, {-0.5, 0.0000004, 6}, {7, 8, 9.1234567}}});
  for (int k = 0; k < 3; ++k) EXPECT_EQ(lstTri3Dump(l), 1);
  EXPECT_EQ(qdtest::readFile("00000000.3dt"),
            "1.000000 2.000000 3.000000 -0.500000 0.000000 6.000000 7.000000 8.000000 9.123457\n");
  EXPECT_TRUE(qdtest::fileExists("00000001.3dt"));
  EXPECT_TRUE(qdtest::fileExists("00000002.3dt"));
  EXPECT_EQ(lstTri3Dump(nullptr), -1);
  EXPECT_EQ(lstTri3Dump(l), 1);
  EXPECT_TRUE(qdtest::fileExists("00000003.3dt")) << "a failed dump keeps the counter";
  EXPECT_EQ(lstTri3Write(l, "no/such/dir/x.3dt"), -1);
  lstBox3Free(l);
}
