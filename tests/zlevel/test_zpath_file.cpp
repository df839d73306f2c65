// Tests of the Z-path file and the boundary dumps: field-exact round trips through the file,
// short and hostile files, the removal of identical paths (the pruned method against the plain
// double loop), and dumps read back by the boundary reader.
#include <gtest/gtest.h>

#include <cfloat>
#include <climits>
#include <cmath>
#include <cstring>
#include <limits>
#include <random>
#include <string>
#include <utility>
#include <vector>

#include "framework/memory.h"
#include "geometry/csys.h"
#include "geometry/geo_error.h"
#include "geometry/kont2d.h"
#include "geometry/kont_files.h"
#include "geometry/kont_region.h"
#include "model/le_decode.h"
#include "support/temp_dir.h"
#include "zlevel/zpath.h"
#include "zlevel/zpath_file.h"
#include "zpath_fixture.h"

namespace {

using qdtest::readFile;
using qdtest::writeFile;
using qdtest::zpathOf;
using qdtest::ZPoint;

class ZPathFile : public qdtest::TempDirTest {
 protected:
  void SetUp() override {
    zpathResetState();
    zpathFileResetState();
    geoErrReset();
  }
  void TearDown() override { memTestFailAt(0); }
};

// A path with distinct values in every field.
ZPath* richPath() {
  ZPath* path = zpathOf(
      {{1.25, 2.5, 7, 1, 0.5, 0.25, 9}, {3, 2.5, 8, -2, 1, 1, 1}, {3, 4, -2, -1}, {1.25, 4, -1, 0}},
      -3.5);
  path->groupStartX = 11;
  path->groupStartY = 12;
  path->subGroupStartX = 13;
  path->subGroupStartY = 14;
  path->materialInside = 0;
  path->nestingDepth = 2;
  path->groupId = 3;
  path->subGroupId = -4;
  path->reserved = 77;
  path->flags = 0x1050;
  return path;
}

void expectSamePath(const ZPath& a, const ZPath& b) {
  EXPECT_EQ(a.count, b.count);
  const double fa[] = {a.xmin,        a.ymin,           a.xmax,           a.ymax, a.groupStartX,
                       a.groupStartY, a.subGroupStartX, a.subGroupStartY, a.z,    a.area};
  const double fb[] = {b.xmin,        b.ymin,           b.xmax,           b.ymax, b.groupStartX,
                       b.groupStartY, b.subGroupStartX, b.subGroupStartY, b.z,    b.area};
  for (int k = 0; k < 10; ++k) EXPECT_EQ(fa[k], fb[k]) << k;
  const int ia[] = {a.closed,  a.orientation, a.materialInside, a.nestingDepth,
                    a.groupId, a.subGroupId,  a.reserved};
  const int ib[] = {b.closed,  b.orientation, b.materialInside, b.nestingDepth,
                    b.groupId, b.subGroupId,  b.reserved};
  for (int k = 0; k < 7; ++k) EXPECT_EQ(ia[k], ib[k]) << k;
  EXPECT_EQ(a.flags, b.flags);
  const auto n = static_cast<std::size_t>(a.count);
  EXPECT_EQ(std::memcmp(a.points, b.points, 8 * n), 0);
  EXPECT_EQ(std::memcmp(a.contacts, b.contacts, 12 * n), 0);
  EXPECT_EQ(std::memcmp(a.elementIds, b.elementIds, 4 * n), 0);
  EXPECT_EQ(std::memcmp(a.contactKinds, b.contactKinds, 4 * n), 0);
}

TEST_F(ZPathFile, AppendThenReadIsFieldExact) {
  ZPath* path = richPath();
  ASSERT_EQ(zpathFileTruncate("tmp.zpa"), 1);
  ASSERT_EQ(zpathFileAppend("tmp.zpa", path), 1);
  const std::string bytes = readFile("tmp.zpa");
  ASSERT_EQ(bytes.size(), 248u);  // 136 + 28 x 4
  const auto* b = reinterpret_cast<const unsigned char*>(bytes.data());
  EXPECT_EQ(leI32(b), 4);
  EXPECT_EQ(leF64(b + 72), -3.5);
  EXPECT_EQ(leU32(b + 116), 0x1050u);
  for (int k = 120; k < 136; ++k) EXPECT_EQ(b[k], 0) << k;  // the handle words
  EXPECT_EQ(leF32(b + 136 + 8), 3.0f);                      // point 1 x
  EXPECT_EQ(leF32(b + 136 + 32 + 8), 9.0f);                 // contact 0 z
  EXPECT_EQ(leI32(b + 136 + 80 + 4), 8);                    // id 1
  EXPECT_EQ(leI32(b + 136 + 96 + 4), -2);                   // kind 1
  ZPathList* list = zpathListRead("tmp.zpa");
  ASSERT_NE(list, nullptr);
  ASSERT_EQ(list->count, 1);
  expectSamePath(list->items[0], *path);
  EXPECT_EQ(list->items[0].capacity, 4);
  // Truncating empties the file; an empty file reads as an empty list.
  ASSERT_EQ(zpathFileTruncate("tmp.zpa"), 1);
  ZPathList* empty = zpathListRead("tmp.zpa");
  ASSERT_NE(empty, nullptr);
  EXPECT_EQ(empty->count, 0);
  EXPECT_EQ(empty->capacity, 0);
  zpathListFree(empty);
  zpathListFree(list);
  zpathFree(path);
}

// The file could not be created, yet the truncation reported success.
TEST_F(ZPathFile, TruncateAndAppendReportFilesThatDoNotOpen) {
  ZPath* path = richPath();
  EXPECT_EQ(zpathFileTruncate("no_such_folder/tmp.zpa"), -1);
  EXPECT_EQ(zpathFileTruncate(nullptr), -1);
  EXPECT_EQ(zpathFileAppend("no_such_folder/tmp.zpa", path), -1);
  EXPECT_EQ(zpathFileAppend("tmp.zpa", nullptr), -20);
  EXPECT_EQ(zpathListRead("missing.zpa"), nullptr);
  EXPECT_EQ(geoErrCode(), 0);  // nothing recorded for a file that does not open
  zpathFree(path);
}

TEST_F(ZPathFile, ReadDropsRepeatedPointsAndIgnoresAShortTail) {
  ZPath* path = zpathOf({{1, 1}, {1, 1}, {2, 1}, {2, 3}});
  ASSERT_EQ(zpathFileAppend("a.zpa", path), 1);
  std::string bytes = readFile("a.zpa");
  writeFile("a.zpa", bytes + std::string(10, '\x7f'));
  ZPathList* list = zpathListRead("a.zpa");
  ASSERT_NE(list, nullptr);
  ASSERT_EQ(list->count, 1);
  EXPECT_EQ(list->items[0].count, 3);
  EXPECT_EQ(list->items[0].capacity, 4);
  zpathListFree(list);
  zpathFree(path);
}

// A path read from the file has capacity = count; growing it by half kept capacity 1 (and 0), so
// the next append wrote past its arrays.
TEST_F(ZPathFile, PathsReadBackGrowOnAppend) {
  ZPath* one = zpathOf({{5, 6}});
  ZPath* none = zpathOf({});
  none->xmin = none->ymin = 5;  // the writer's box, kept apart from the other path
  none->xmax = none->ymax = 5;
  ASSERT_EQ(zpathFileAppend("g.zpa", one), 1);
  ASSERT_EQ(zpathFileAppend("g.zpa", none), 1);
  ZPathList* list = zpathListRead("g.zpa");
  ASSERT_NE(list, nullptr);
  ASSERT_EQ(list->count, 2);
  for (int i = 0; i < 2; ++i) {
    ZPath* p = &list->items[i];
    EXPECT_EQ(p->capacity, p->count);
    for (int k = 0; k < 4; ++k) {
      const float pt[2] = {static_cast<float>(k), static_cast<float>(k * k)};
      ASSERT_EQ(zpathAppendPoint(p, pt, nullptr, 1, 1), 1);
    }
    EXPECT_GE(p->capacity, p->count);
  }
  zpathListFree(list);
  zpathFree(one);
  zpathFree(none);
}

// Entries whose count the rest of the file cannot hold: a cut-short array, a negative count, a
// count far beyond the file; a count of 0 is an empty path.
TEST_F(ZPathFile, HostileCountsAndCutShortArrays) {
  ZPath* path = richPath();
  ASSERT_EQ(zpathFileAppend("ok.zpa", path), 1);
  const std::string entry = readFile("ok.zpa");
  struct Case {
    const char* name;
    std::string bytes;
    int expectedCount;  // -1: null
  };
  auto withCount = [&entry](std::int32_t n) {
    std::string e = entry;
    lePutI32(reinterpret_cast<unsigned char*>(e.data()), n);
    return e;
  };
  // At another level, so that an empty path is not taken for a repeat of the first one.
  auto atLevel = [](std::string e, double z) {
    lePutF64(reinterpret_cast<unsigned char*>(e.data()) + 72, z);
    return e;
  };
  const std::vector<Case> cases = {
      {"CutShort", entry + entry.substr(0, entry.size() - 1), -1},
      {"Negative", entry + withCount(-5), -1},
      {"Huge", entry + withCount(INT_MAX), -1},
      {"OneTooMany", withCount(5), -1},
      {"Zero", withCount(0).substr(0, 136) + entry, 2},
      {"ZeroAtTheEnd", entry + atLevel(withCount(0).substr(0, 136), 9.0), 2},
  };
  for (const Case& c : cases) {
    writeFile("h.zpa", c.bytes);
    geoErrReset();
    ZPathList* list = zpathListRead("h.zpa");
    if (c.expectedCount < 0) {
      EXPECT_EQ(list, nullptr) << c.name;
      EXPECT_EQ(geoErrCode(), -1) << c.name;
    } else {
      ASSERT_NE(list, nullptr) << c.name;
      EXPECT_EQ(list->count, c.expectedCount) << c.name;
      for (int i = 0; i < list->count; ++i) EXPECT_GE(list->items[i].capacity, 0);
    }
    zpathListFree(list);
  }
  zpathFree(path);
}

TEST_F(ZPathFile, ReadFailsCleanlyWhenMemoryRunsOut) {
  ZPath* path = richPath();
  for (int i = 0; i < 3; ++i) {
    path->z = i;  // three levels, so none is removed
    ASSERT_EQ(zpathFileAppend("m.zpa", path), 1);
  }
  for (long n = 1;; ++n) {
    memTestFailAt(n);
    ZPathList* list = zpathListRead("m.zpa");
    memTestFailAt(0);
    if (list != nullptr) {
      EXPECT_EQ(list->count, 3);
      zpathListFree(list);
      break;
    }
    EXPECT_EQ(geoErrCode(), -1) << n;
  }
  zpathFree(path);
}

TEST_F(ZPathFile, AppendContoursWritesFlaggedBoundaryCopies) {
  Kont2D* outer = kontNewRect({0, 0}, {10, 5});
  Kont2D* island = kontNewRect({2, 2}, {3, 3});
  kontReverse(island);
  outer->child = island;
  island->prev = outer;
  outer->z = island->z = 1.0;
  ASSERT_EQ(zpathFileAppendContours("c.zpa", outer, 7.5, 1), 1);
  ASSERT_EQ(zpathFileAppendContours("c.zpa", outer, 8.5, 0), 1);
  EXPECT_EQ(zpathFileAppendContours("c.zpa", nullptr, 8.5, 0), 1);
  EXPECT_EQ(outer->z, 1.0);  // the caller's contours keep their height
  ZPathList* list = zpathListRead("c.zpa");
  ASSERT_NE(list, nullptr);
  ASSERT_EQ(list->count, 4);
  EXPECT_EQ(list->items[0].z, 7.5);
  EXPECT_EQ(list->items[0].flags, 0x10d0u);
  EXPECT_EQ(list->items[1].area, -1.0);
  EXPECT_EQ(list->items[2].flags, 0x10c0u);
  EXPECT_EQ(list->items[2].nestingDepth, -1);
  EXPECT_EQ(list->items[3].contactKinds[0], -1);
  zpathListFree(list);
  Kont2D* line = kontNew(nullptr, 3);
  const Seg2D s{0, 0, 1, 0};
  kontAppendSeg(line, &s);
  EXPECT_EQ(zpathFileAppendContours("c.zpa", line, 0, 0), -1);
  EXPECT_EQ(geoErrCode(), -1);
  kontFree(line);
  kontFree(outer);
}

// ---- identical paths ----------------------------------------------------------------------------

struct IdenticalCase {
  const char* name;
  double dz;     // z of the second path
  double scale;  // its size relative to the first
  double dx;     // its shift
  std::uint32_t flags;
  int expectedCount;
};
// Test names and failure lines show the case by its name.
void PrintTo(const IdenticalCase& c, std::ostream* os) { *os << c.name; }

class ZPathIdentical : public ZPathFile, public ::testing::WithParamInterface<IdenticalCase> {};

TEST_P(ZPathIdentical, SecondPathGoesOrStays) {
  const IdenticalCase& c = GetParam();
  const std::vector<ZPoint> square = {{0, 0}, {10, 0}, {10, 10}, {0, 10}};
  std::vector<ZPoint> other;
  for (const ZPoint& p : square) other.push_back({p.x * c.scale + c.dx, p.y * c.scale});
  ZPath* a = zpathOf(square, 0.0);
  ZPath* b = zpathOf(other, c.dz);
  b->flags = c.flags;
  ASSERT_EQ(zpathFileAppend("i.zpa", a), 1);
  ASSERT_EQ(zpathFileAppend("i.zpa", b), 1);
  ZPathList* list = zpathListRead("i.zpa");
  ASSERT_NE(list, nullptr);
  EXPECT_EQ(list->count, c.expectedCount);
  if (c.expectedCount == 1) {
    EXPECT_STREQ(geoErrRecord()->file, kZpathIdenticalLog);
  }
  zpathListFree(list);
  zpathFree(a);
  zpathFree(b);
}

INSTANTIATE_TEST_SUITE_P(
    Table, ZPathIdentical,
    ::testing::Values(IdenticalCase{"Identical", 0, 1, 0, 0, 1},
                      IdenticalCase{"LevelsApart1e6", 1e-6, 1, 0, 0, 1},
                      IdenticalCase{"LevelsApart0001", 0.001, 1, 0, 0, 2},
                      IdenticalCase{"OtherFlags", 0, 1, 0, 0x200, 2},
                      IdenticalCase{"AreaLarger9Percent", 0, std::sqrt(1.09), 0, 0, 2},
                      IdenticalCase{"AreaLarger11Percent", 0, std::sqrt(1.11), 0, 0, 2},
                      IdenticalCase{"Shifted", 0, 1, 0.5, 0, 2},
                      IdenticalCase{"ShiftedALittle", 0, 1, 1e-4, 0, 1}),
    [](const ::testing::TestParamInfo<IdenticalCase>& info) {
      return std::string(info.param.name);
    });

// The area ratio alone, with everything else equal: within 10 % both ways the path goes.
TEST_F(ZPathFile, AreaRatioDecides) {
  for (double ratio : {0.91, 1.09, 1.11, 0.89}) {
    ZPath* a = zpathOf({{0, 0}, {10, 0}, {10, 10}, {0, 10}});
    ZPath* b = zpathOf({{0, 0}, {10, 0}, {10, 10}, {0, 10}});
    b->area = a->area * ratio;
    ZPathList* list = zpathListNew(2);
    zpathListAdd(list, a);
    zpathListAdd(list, b);
    ASSERT_EQ(zpathListRemoveIdentical(list), 1);
    EXPECT_EQ(list->count, ratio > 0.9 && ratio < 1.1 ? 1 : 2) << ratio;
    zpathListFree(list);
    zpathFree(a);
    zpathFree(b);
  }
  EXPECT_EQ(zpathListRemoveIdentical(nullptr), 1);
}

// Random lists of near-equal paths on a few levels, sorted by z and shuffled: the pruned method
// removes exactly the paths of the plain double loop, and logs as often.
TEST_F(ZPathFile, PrunedRemovalEqualsThePlainLoop) {
  std::mt19937 rng(17);
  std::uniform_int_distribution<int> pick(0, 5);
  std::normal_distribution<double> jitter(0.0, 1e-4);
  for (int t = 0; t < 40; ++t) {
    std::vector<std::vector<ZPoint>> shapes;
    for (int s = 0; s < 6; ++s)
      shapes.push_back(qdtest::randomStar(rng, 8, s % 3 * 4.0, s / 3 * 4.0, 2.0));
    ZPathList* plain = zpathListNew(0);
    ZPathList* pruned = zpathListNew(0);
    const int n = 20 + t * 5;
    const bool sorted = t % 2 == 0;
    for (int i = 0; i < n; ++i) {
      std::vector<ZPoint> pts = shapes[static_cast<std::size_t>(pick(rng))];
      const double shift = i % 4 == 0 ? jitter(rng) : 0.0;
      for (ZPoint& p : pts) {
        p.x += shift;
        p.y += i % 5 == 0 ? jitter(rng) * 10 : 0.0;
      }
      const double z = sorted ? -(i / 10) - 5e-6 * (i % 3) : (i * 7 % 4) + 2e-6 * (i % 5);
      ZPath* path = zpathOf(pts, z);
      if (i % 7 == 0) path->flags = 0x10;
      zpathListAdd(plain, path);
      zpathListAdd(pruned, path);
      zpathFree(path);
    }
    geoErrReset();
    zpathListRemoveIdenticalPlain(plain);
    const std::string plainLog = geoErrRecord()->file;
    geoErrReset();
    zpathListRemoveIdentical(pruned);
    EXPECT_EQ(std::string(geoErrRecord()->file), plainLog);
    ASSERT_EQ(pruned->count, plain->count) << t;
    EXPECT_LT(plain->count, n) << t;  // some paths did go
    for (int i = 0; i < plain->count; ++i) {
      EXPECT_EQ(pruned->items[i].z, plain->items[i].z) << t << " " << i;
      EXPECT_EQ(pruned->items[i].xmin, plain->items[i].xmin) << t << " " << i;
      EXPECT_EQ(pruned->items[i].count, plain->items[i].count) << t << " " << i;
    }
    zpathListFree(plain);
    zpathListFree(pruned);
  }
}

// Writes every path of the list into the emptied file.
void writeList(const char* name, const ZPathList* list) {
  ASSERT_EQ(zpathFileTruncate(name), 1);
  for (int i = 0; i < list->count; ++i) ASSERT_EQ(zpathFileAppend(name, &list->items[i]), 1);
}

// Reads the file, writes the list back and reads that: the second read gives the first list,
// byte for byte. Returns the number of paths read.
int expectReadIsStable(const char* name) {
  ZPathList* first = zpathListRead(name);
  EXPECT_NE(first, nullptr);
  if (first == nullptr) return -1;
  writeList("again.zpa", first);
  const std::string written = readFile("again.zpa");
  ZPathList* second = zpathListRead("again.zpa");
  EXPECT_NE(second, nullptr);
  if (second != nullptr) {
    EXPECT_EQ(second->count, first->count);
    writeList("again.zpa", second);
    EXPECT_TRUE(readFile("again.zpa") == written);
  }
  const int count = first->count;
  zpathListFree(second);
  zpathListFree(first);
  return count;
}

// A path at a height that is not a number was taken for a repeat of a path at any level, and once
// one was removed the rest of the list passed for sorted: read, written back and read again, the
// list lost another path.
TEST_F(ZPathFile, PathsAtNoLevelStayThroughARoundTrip) {
  const std::vector<ZPoint> square = {{0, 0}, {4, 0}, {4, 4}, {0, 4}};
  const std::vector<ZPoint> apart = {{10, 0}, {14, 0}, {14, 4}, {10, 4}};
  const double nan = std::nan("");
  for (const auto& [pts, z] : std::vector<std::pair<std::vector<ZPoint>, double>>{
           {square, 0.0}, {square, nan}, {apart, 5.0}, {square, nan}}) {
    ZPath* path = zpathOf(pts, z);
    ASSERT_EQ(zpathFileAppend("n.zpa", path), 1);
    zpathFree(path);
  }
  EXPECT_EQ(expectReadIsStable("n.zpa"), 4);
}

// A box whose squared diagonal overflows made every distance over it 0, so two paths of different
// shapes at one level were taken for repeats.
TEST_F(ZPathFile, BoxesTooLargeToMeasureMatchNothing) {
  ZPath* a = zpathOf({{0, 0}, {4, 0}, {4, 4}, {0, 4}});
  ZPath* b = zpathOf({{0, 0}, {8, 0}, {8, 1}, {0, 1}});
  b->area = a->area;
  for (ZPath* p : {a, b}) {
    p->xmin = p->ymin = -1e200;
    p->xmax = p->ymax = 1e200;
    ASSERT_EQ(zpathFileAppend("o.zpa", p), 1);
  }
  EXPECT_EQ(expectReadIsStable("o.zpa"), 2);
  zpathFree(a);
  zpathFree(b);
}

// Random lists of repeated paths at ordinary and extreme heights (apart by less than a level's
// tolerance, infinite, the largest double, not a number), some with boxes whose squared diagonal
// overflows or with no points, in random order or with every other height not a number: whatever
// is removed on reading, a list read from a file and written back reads as that list.
TEST_F(ZPathFile, ReadingAgainWhatWasReadGivesTheSameList) {
  const double inf = std::numeric_limits<double>::infinity();
  const double heights[] = {0.0, 4e-6, 1.0, std::nan(""), inf, -inf, DBL_MAX, -DBL_MAX};
  std::mt19937 rng(5);
  std::uniform_int_distribution<int> pickHeight(0, 7);
  std::uniform_int_distribution<int> pickShape(0, 2);
  std::uniform_int_distribution<int> pickKind(0, 5);
  for (int t = 0; t < 100; ++t) {
    writeFile("r.zpa", "");
    std::vector<double> z(static_cast<std::size_t>(3 + t % 9));
    for (double& v : z) v = heights[pickHeight(rng)];
    if (t % 2 == 0) {  // every other height is not a number: no two numbers are neighbours
      for (std::size_t i = 1; i < z.size(); i += 2) z[i] = std::nan("");
    }
    for (double height : z) {
      const double s = 1.0 + pickShape(rng);
      ZPath* path = zpathOf({{0, 0}, {s, 0}, {s, s}, {0, s}}, height);
      switch (pickKind(rng)) {
        case 0:  // a box far beyond its points
          path->xmin = path->ymin = -DBL_MAX;
          path->xmax = path->ymax = DBL_MAX;
          break;
        case 1:  // no points, the box kept
          path->count = 0;
          break;
        default: break;
      }
      ASSERT_EQ(zpathFileAppend("r.zpa", path), 1);
      zpathFree(path);
    }
    SCOPED_TRACE(t);
    EXPECT_GE(expectReadIsStable("r.zpa"), 1);
  }
}

// ---- boundary dumps -----------------------------------------------------------------------------

TEST_F(ZPathFile, BndDumpUnderATiltedFrameReadsBackAsToolPoints) {
  const double c = std::cos(0.4), s = std::sin(0.4);
  csysSetTool({5, -2, 3}, {c, 0, -s}, {0, 1, 0}, {s, 0, c});
  ASSERT_EQ(csysPrepare(), 1);
  ZPath* path = zpathOf({{0, 0}, {4, 0}, {4, 3}, {0, 3}}, 2.0);
  ASSERT_EQ(zpathAppendBnd(path, "w.bnd"), 1);
  ASSERT_EQ(zpathAppendBnd(path, "w.bnd"), 1);
  const std::string text = readFile("w.bnd");
  EXPECT_EQ(text.rfind("**BND 1\nX", 0), 0u);
  EXPECT_NE(text.find("**END\n**BND 2\n"), std::string::npos);
  kontSetNoRound(1);
  Kont2D* read = kontReadBnd("w.bnd", 1, 0);
  ASSERT_NE(read, nullptr);
  EXPECT_NEAR(read->xmax, 4.0, 1e-9);
  EXPECT_NEAR(read->ymax, 3.0, 1e-9);
  EXPECT_NEAR(read->xmin, 0.0, 1e-9);
  EXPECT_NEAR(read->zmax, 2.0, 1e-9);
  EXPECT_EQ(read->count, 4);
  kontFree(read);
  zpathFree(path);
}

TEST_F(ZPathFile, BndWzDumpWritesStoredPointsNumberedFromOne) {
  ZPath* path = zpathOf({{0.5, 0}, {4, 0}, {4, 3}}, 2.0);
  ASSERT_EQ(zpathAppendBndWz(path, "wz.bnd"), 1);
  ASSERT_EQ(zpathAppendBndWz(path, "wz.bnd"), 1);
  EXPECT_EQ(readFile("wz.bnd"),
            "**BND1 **WZ\n"
            "X0.500000000000 Y0.000000000000 Z2.000000000000\n"
            "X4.000000000000 Y0.000000000000 Z2.000000000000\n"
            "X4.000000000000 Y3.000000000000 Z2.000000000000\n"
            "X0.500000000000 Y0.000000000000 Z2.000000000000\n"
            "**END\n"
            "**BND2 **WZ\n"
            "X0.500000000000 Y0.000000000000 Z2.000000000000\n"
            "X4.000000000000 Y0.000000000000 Z2.000000000000\n"
            "X4.000000000000 Y3.000000000000 Z2.000000000000\n"
            "X0.500000000000 Y0.000000000000 Z2.000000000000\n"
            "**END\n");
  Kont2D* read = kontReadBnd("wz.bnd", 1, 0);
  ASSERT_NE(read, nullptr);
  EXPECT_EQ(read->xmin, 0.5);
  kontFree(read);
  ZPath* empty = zpathNew(3);
  EXPECT_EQ(zpathAppendBndWz(empty, "wz.bnd"), 0);
  EXPECT_EQ(zpathAppendBnd(nullptr, "wz.bnd"), 0);
  EXPECT_EQ(zpathAppendBnd(path, ""), -1);
  EXPECT_EQ(zpathAppendBnd(path, nullptr), -1);
  EXPECT_EQ(zpathAppendBnd(path, "no_such_folder/w.bnd"), -1);
  zpathFileResetState();
  ASSERT_EQ(zpathAppendBndWz(path, "again.bnd"), 1);
  EXPECT_EQ(readFile("again.bnd").rfind("**BND1 **WZ\n", 0), 0u);
  zpathFree(empty);
  zpathFree(path);
}

}  // namespace
