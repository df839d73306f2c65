// Tests of the DblList removal, search and text output, file sizes and region copies through
// boundary text (areas and island counts kept).
#include <gtest/gtest.h>

#include <cfloat>
#include <string>

#include "geometry/dbl_list_ops.h"
#include "geometry/kont2d.h"
#include "geometry/kont_region.h"
#include "support/temp_dir.h"

namespace {

class DblListOps : public qdtest::TempDirTest {};

TEST_F(DblListOps, RemoveKeepsOrderAndBox) {
  DblList* l = lstDblNew(4);
  for (double v : {5.0, 1.0, 9.0, 3.0}) lstDblPush(l, v);
  EXPECT_EQ(lstDblRemove(l, 2), 1);
  ASSERT_EQ(l->count, 3);
  EXPECT_DOUBLE_EQ(l->items[2], 3.0);
  EXPECT_DOUBLE_EQ(l->max, 5.0);
  EXPECT_DOUBLE_EQ(l->min, 1.0);
  EXPECT_EQ(lstDblRemove(l, 3), 0);
  EXPECT_EQ(lstDblRemove(l, -1), 0);
  EXPECT_EQ(lstDblRemove(nullptr, 0), 0);
  EXPECT_EQ(lstDblFind(l, 1.00005, 0.0001), 1);
  EXPECT_EQ(lstDblFind(l, 2.0, 0.0001), -1);
  while (l->count > 0) lstDblRemove(l, 0);
  EXPECT_EQ(l->max, -DBL_MAX);
  lstDblFree(l);
}

TEST_F(DblListOps, WriteAndFileSize) {
  DblList* l = lstDblNew(4);
  lstDblPush(l, 1.5);
  lstDblPush(l, -2.25);
  ASSERT_EQ(lstDblWrite(l, "levels.txt"), 1);
  EXPECT_EQ(qdtest::readFile("levels.txt"), "1.500000\n-2.250000\n");
  EXPECT_EQ(geoFileSize("levels.txt"), 19);
  EXPECT_EQ(geoFileSize("missing.txt"), -1);
  EXPECT_EQ(lstDblWrite(l, "no/such/dir/x.txt"), -1);
  EXPECT_EQ(lstDblWrite(nullptr, "x.txt"), 0);
  lstDblFree(l);
}

TEST_F(DblListOps, CopyViaTextKeepsRegion) {
  Kont2D* outer = kontNewRect(Point2D{0, 0}, Point2D{10, 8});
  ASSERT_NE(outer, nullptr);
  Kont2D* copy = kontCopyViaText(outer);
  ASSERT_NE(copy, nullptr);
  EXPECT_NEAR(kontArea(copy), 80.0, 1e-9);
  EXPECT_EQ(kontCopyViaText(nullptr), nullptr);
  kontFree(copy);
  kontFree(outer);
}

}  // namespace
