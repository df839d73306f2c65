// Tests of the traced segment list: growth and boxes, all-or-nothing growth under failing
// allocation, the collinear merge, the text dump behind the debug switch and the nearest-segment
// questions.
#include <gtest/gtest.h>

#include <cfloat>
#include <string>
#include <vector>

#include "framework/memory.h"
#include "geometry/geo_error.h"
#include "geometry/pko_list.h"
#include "support/temp_dir.h"

namespace {

Seg3D seg(double x1, double y1, double x2, double y2, double z = 0.0) {
  return Seg3D{{x1, y1, z}, {x2, y2, z}};
}

class PkoListTest : public qdtest::TempDirTest {
 protected:
  void SetUp() override {
    pkoListResetState();
    geoResetState();  // the debug switch is decided afresh in each test's folder
  }
  void TearDown() override { memTestFailAt(0); }
};

TEST_F(PkoListTest, AppendGrowsAndKeepsTheBoxes) {
  PkoList* list = pkoListNew(0);
  ASSERT_NE(list, nullptr);
  EXPECT_EQ(list->capacity, 2);
  EXPECT_EQ(list->xmin, DBL_MAX);
  EXPECT_EQ(list->zmax, -DBL_MAX);
  std::vector<int> capacities;
  for (int i = 0; i < 5; ++i) {
    EXPECT_EQ(pkoListAppend(list, seg(i, 2 * i, i - 1, -i, 0.5 * i), {1.0 * i, 0, 0}, i, -i), i);
    capacities.push_back(list->capacity);
  }
  EXPECT_EQ(capacities, (std::vector<int>{2, 2, 3, 4, 6}));
  EXPECT_EQ(list->xmin, -1.0);
  EXPECT_EQ(list->ymin, -4.0);
  EXPECT_EQ(list->ymax, 8.0);
  EXPECT_EQ(list->zmax, 2.0);
  EXPECT_EQ(list->boxes[3].min.x, 2.0);
  EXPECT_EQ(list->boxes[3].max.y, 6.0);
  EXPECT_EQ(list->ids[4], 4);
  EXPECT_EQ(list->kinds[4], -4);
  EXPECT_EQ(list->vectors[2].x, 2.0);
  EXPECT_EQ(pkoListAdd(list, seg(0, 0, 1, 1), {}, 1, 1), 1);
  EXPECT_EQ(pkoListAdd(nullptr, seg(0, 0, 1, 1), {}, 1, 1), -1);
  // Appending one of the list's own segments while it grows.
  for (int i = 0; i < 10; ++i) pkoListAppend(list, list->segments[0], list->vectors[0], 0, 0);
  EXPECT_EQ(list->segments[15].end.y, 0.0);
  EXPECT_EQ(list->segments[15].start.x, 0.0);
  // A reset keeps the arrays and empties the box; the boxes can be recomputed.
  Seg3D* segments = list->segments;
  EXPECT_EQ(pkoListReset(list), 1);
  EXPECT_EQ(list->count, 0);
  EXPECT_EQ(list->segments, segments);
  EXPECT_EQ(list->xmin, DBL_MAX);
  EXPECT_EQ(pkoListUpdateBoxes(list), 0);
  pkoListAppend(list, seg(3, 3, 5, 1), {}, 0, 0);
  list->segments[0].start.x = 9;
  EXPECT_EQ(pkoListUpdateBoxes(list), 1);
  EXPECT_EQ(list->boxes[0].max.x, 9.0);
  EXPECT_EQ(list->xmax, 9.0);
  EXPECT_EQ(list->xmin, 5.0);
  EXPECT_EQ(pkoListReset(nullptr), 0);
  EXPECT_EQ(pkoListFree(nullptr), 0);
  EXPECT_EQ(pkoListFree(list), 1);
}

TEST_F(PkoListTest, FailedGrowthLeavesTheList) {
  for (long n = 1;; ++n) {
    memTestFailAt(n);
    PkoList* list = pkoListNew(2);
    memTestFailAt(0);
    if (list != nullptr) {
      pkoListFree(list);
      break;
    }
  }
  PkoList* list = pkoListNew(2);
  pkoListAppend(list, seg(0, 0, 1, 1), {}, 1, 1);
  pkoListAppend(list, seg(1, 1, 2, 0), {}, 2, 1);
  for (long n = 1;; ++n) {
    memTestFailAt(n);
    const int r = pkoListAppend(list, seg(2, 0, 7, 7), {}, 3, 1);
    memTestFailAt(0);
    if (r >= 0) break;
    EXPECT_EQ(list->count, 2);
    EXPECT_EQ(list->capacity, 2);
    EXPECT_EQ(list->xmax, 2.0);
    EXPECT_EQ(list->ids[1], 2);
  }
  EXPECT_EQ(list->count, 3);
  EXPECT_EQ(list->ids[2], 3);
  pkoListFree(list);
}

struct MergeCase {
  const char* name;
  std::vector<Seg3D> segs;
  std::vector<int> ids;
  int from, to;
  std::vector<Seg3D> expected;
};
// Test names and failure lines show the case by its name.
void PrintTo(const MergeCase& c, std::ostream* os) { *os << c.name; }

std::vector<Seg3D> collinear(int n) {
  std::vector<Seg3D> out;
  for (int i = 0; i < n; ++i) out.push_back(seg(i, 0.5 * i, i + 1, 0.5 * (i + 1)));
  return out;
}

class PkoMerge : public PkoListTest, public ::testing::WithParamInterface<MergeCase> {};

TEST_P(PkoMerge, MergesCollinearRuns) {
  const MergeCase& c = GetParam();
  PkoList* list = pkoListNew(2);
  for (std::size_t i = 0; i < c.segs.size(); ++i) {
    const int id = c.ids.empty() ? 4 : c.ids[i];
    pkoListAppend(list, c.segs[i], {static_cast<double>(i), 0, 0}, id, 1);
  }
  const double xmax = list->xmax;
  pkoListMergeRange(list, c.from, c.to);
  ASSERT_EQ(list->count, static_cast<int>(c.expected.size()));
  for (int i = 0; i < list->count; ++i) {
    EXPECT_EQ(list->segments[i].start.x, c.expected[i].start.x) << i;
    EXPECT_EQ(list->segments[i].end.x, c.expected[i].end.x) << i;
    EXPECT_EQ(list->boxes[i].max.x, c.expected[i].end.x) << i;  // boxes recomputed
  }
  EXPECT_EQ(list->xmax, xmax);
  pkoListFree(list);
}

std::vector<Seg3D> concat(std::vector<Seg3D> a, const std::vector<Seg3D>& b) {
  a.insert(a.end(), b.begin(), b.end());
  return a;
}

INSTANTIATE_TEST_SUITE_P(
    Table, PkoMerge,
    ::testing::Values(
        MergeCase{"FiveSegmentsStay", collinear(5), {}, 0, 5, collinear(5)},
        MergeCase{
            "SixCollinearLeaveTwo", collinear(6), {}, 0, 6, {seg(0, 0, 5, 2.5), seg(5, 2.5, 6, 3)}},
        MergeCase{"OtherIdsNeverMerge", collinear(6), {4, 5, 4, 5, 4, 5}, 0, 6, collinear(6)},
        MergeCase{"BendSplitsTheRun",
                  concat(collinear(3),
                         {seg(3, 1.5, 3, 5), seg(3, 5, 3, 6), seg(3, 6, 3, 7), seg(3, 7, 3, 8)}),
                  {},
                  0,
                  7,
                  {seg(0, 0, 3, 1.5), seg(3, 1.5, 3, 7), seg(3, 7, 3, 8)}},
        MergeCase{"RangeInsideTheList",
                  concat(collinear(8), {seg(20, 0, 21, 0)}),
                  {},
                  1,
                  8,
                  {seg(0, 0, 1, 0.5), seg(1, 0.5, 7, 3.5), seg(7, 3.5, 8, 4), seg(20, 0, 21, 0)}}),
    [](const ::testing::TestParamInfo<MergeCase>& info) { return std::string(info.param.name); });

TEST_F(PkoListTest, WriteAndDumpBehindTheDebugSwitch) {
  PkoList* list = pkoListNew(2);
  pkoListAppend(list, Seg3D{{0, 0, 0}, {1, 2, 3}}, {0.5, 0, -1}, 7, -2);
  pkoListAppend(list, Seg3D{{1, 2, 3}, {-12.3456, 0, 3}}, {0, 0, 0}, -1, 0);
  ASSERT_EQ(pkoListWrite(list, "a.txt"), 1);
  EXPECT_EQ(qdtest::readFile("a.txt"),
            "0.000 0.000 0.000 1.000 2.000 3.000 0.500 0.000 -1.000 7  -2\n"
            "1.000 2.000 3.000 -12.346 0.000 3.000 0.000 0.000 0.000 -1  0\n");
  EXPECT_EQ(pkoListWrite(nullptr, "a.txt"), -1);
  EXPECT_EQ(pkoListWrite(list, "no_such_folder/a.txt"), -1);
  // Debug off: nothing written, success.
  EXPECT_EQ(pkoListDump(list), 1);
  EXPECT_FALSE(qdtest::fileExists("00000000.pko"));
  pkoListFree(list);
}

TEST_F(PkoListTest, DumpNumbersItsFiles) {
  qdtest::writeFile("wogdebug.info", "DEBUG 1\n");
  ASSERT_EQ(geoDebugOn(), 1);
  PkoList* list = pkoListNew(2);
  pkoListAppend(list, seg(0, 0, 1, 1), {}, 1, 1);
  EXPECT_EQ(pkoListDump(list), 1);
  EXPECT_EQ(pkoListDump(list), 1);
  EXPECT_TRUE(qdtest::fileExists("00000000.pko"));
  EXPECT_TRUE(qdtest::fileExists("00000001.pko"));
  EXPECT_EQ(pkoListDump(nullptr), -1);  // the counter stays
  EXPECT_EQ(pkoListDump(list), 1);
  EXPECT_TRUE(qdtest::fileExists("00000002.pko"));
  pkoListResetState();
  EXPECT_EQ(pkoListDump(list), 1);
  EXPECT_EQ(qdtest::readFile("00000000.pko"), qdtest::readFile("00000002.pko"));
  pkoListFree(list);
}

TEST_F(PkoListTest, NearestSegmentAndFacingStep) {
  const std::vector<Seg3D> segs = {seg(0, 0, 10, 0), seg(10, 0, 10, 10), seg(0, 5, 10, 5, 7)};
  int index = -9;
  EXPECT_EQ(geoNearestSeg3D(segs.data(), 0, {1, 1, 0}, &index), 0.0);
  EXPECT_EQ(index, -9);
  EXPECT_DOUBLE_EQ(geoNearestSeg3D(segs.data(), 3, {5, 4, -50}, &index), 1.0);  // z ignored
  EXPECT_EQ(index, 2);
  EXPECT_DOUBLE_EQ(geoNearestSeg3D(segs.data(), 3, {5, 2.5, 0}, &index), 2.5);
  EXPECT_EQ(index, 0);  // the first of equal distances
  PkoList* list = pkoListNew(3);
  for (const Seg3D& s : segs) pkoListAppend(list, s, {}, 0, 1);
  // A step ending next to the bottom segment, along it: facing; across it: not.
  EXPECT_EQ(geoNearSegFacing(list, 0, 3, seg(3, 0.005, 4, 0.005), 0.01), 1);
  EXPECT_EQ(geoNearSegFacing(list, 0, 3, seg(4, 1, 4, 0.005), 0.01), 0);
  EXPECT_EQ(geoNearSegFacing(list, 0, 3, seg(3, 0.5, 4, 0.5), 0.01), 0);  // too far
  EXPECT_EQ(geoNearSegFacing(list, 1, 3, seg(3, 0.005, 4, 0.005), 0.01), 0);
  EXPECT_EQ(geoNearSegFacing(list, 2, 2, seg(3, 5, 4, 5), 0.01), 0);
  EXPECT_EQ(geoNearSegFacing(list, -5, 99, seg(3, 5, 4, 5), 0.01), 1);  // range clamped
  EXPECT_EQ(geoNearSegFacing(nullptr, 0, 3, seg(3, 5, 4, 5), 0.01), 0);
  pkoListFree(list);
}

}  // namespace
