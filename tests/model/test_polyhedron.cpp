// Tests of the polyhedron readers of exchange files: compact point lists with increments and
// scales, face references, faces of four and five vertices, filters, block order, damaged files
// and allocation failures.
#include <gtest/gtest.h>

#include <cmath>
#include <string>
#include <vector>

#include "../support/temp_dir.h"
#include "framework/memory.h"
#include "framework/xchg_lexer.h"
#include "framework/xchg_number.h"
#include "model/polyhedron.h"
#include "test_stl_writers.h"

namespace {

using qdtest::writeFile;

const char kHead[] = "qdmill exchange file\nqDX-Version: 1.0\nGeometry\ntests\n\n";

class PolyhedronRead : public qdtest::TempDirTest {
 protected:
  void SetUp() override {
    polyhedronResetState();
    xchgNumResetState();
    xchgLexSetTrace(0);
  }
  void TearDown() override {
    memTestFailAt(0);
    polyhedronResetState();
    xchgNumResetState();
  }
  // Reads body (after the header) with the triangle reader; returns the result.
  int readTris(const std::string& body) {
    writeFile("p.qdx", kHead + body);
    polyhedronFreeBlocks(blocks);
    blocks = nullptr;
    return polyhedronReadTriangles("p.qdx", &blocks);
  }
  ~PolyhedronRead() override { polyhedronFreeBlocks(blocks); }
  PolyhedronBlock* blocks = nullptr;
};

void expectPoint(const Point3D& p, double x, double y, double z) {
  EXPECT_DOUBLE_EQ(p.x, x);
  EXPECT_DOUBLE_EQ(p.y, y);
  EXPECT_DOUBLE_EQ(p.z, z);
}

TEST_F(PolyhedronRead, CompactPointListsWithIncrementAndScale) {
  ASSERT_EQ(readTris("vincrement(true)\noPolyhedron[a]()\n{\nmP[1](+10+20+30 +1+1+1 +1+1+1)\n"
                     "mV(1/1/1/2/1/3)\n}\n"),
            0);
  ASSERT_NE(blocks, nullptr);
  ASSERT_EQ(blocks->storedCount, 1);
  const Tri3D& t = polyhedronTris(blocks)[0];
  expectPoint(t.v[0], 10, 20, 30);
  expectPoint(t.v[1], 11, 21, 31);
  expectPoint(t.v[2], 12, 22, 32);
  EXPECT_STREQ(blocks->name, "a");

  ASSERT_EQ(readTris("vscale(100)\noPolyhedron()\n{\nmP[2](+150-25* +0+0+0 +100+0+0)\n"
                     "mV(2/1/2/2/2/3)\n}\n"),
            0);
  expectPoint(polyhedronTris(blocks)[0].v[0], 1.5, -0.25, 0);
}

// A coordinate too large for a double was read as 0 and moved its point to the origin without a
// word; it is now infinite (and small ones stay what they are).
TEST_F(PolyhedronRead, CoordinatesBeyondTheDoubleRangeAreNotZero) {
  ASSERT_EQ(readTris("oPolyhedron[a]()\n{\noPset[1]()\n{\n"
                     "oP[1]( x[1e999] y[-1e400] z[2.5e-400] )\noP[2]( x[ +4.25] y[-0x10] z[7] )\n"
                     "oP[3]( x[1.5e2] y[1e-3] z[-0] )\n}\noFace( vx[1/1] vx[/2] vx[/3] )\n}\n"),
            0);
  ASSERT_EQ(blocks->storedCount, 1);
  const Tri3D& t = polyhedronTris(blocks)[0];
  EXPECT_EQ(t.v[0].x, HUGE_VAL);
  EXPECT_EQ(t.v[0].y, -HUGE_VAL);
  EXPECT_EQ(t.v[0].z, 0.0);
  expectPoint(t.v[1], 4.25, -16, 7);
  expectPoint(t.v[2], 150, 0.001, 0);
}

// Face references: empty parts keep the last set or index, repeated pairs are dropped; four
// vertices give two triangles; five stop the read.
TEST_F(PolyhedronRead, FacesOfThreeFourAndFiveVertices) {
  const std::string points =
      "oPolyhedron[q]( nFace[2000000000] )\n{\noPset[1]()\n{\n"
      "oP[1]( x[0] y[0] z[0] )\noP[2]( x[1] )\noP[3]( y[1] )\noP[4]( x[0] )\noP[5]( z[2] )\n}\n";
  ASSERT_EQ(readTris(points + "oFace( vx[1/1] vx[/2] vx[/3] vx[/2] )\n}\n"), 0);
  ASSERT_EQ(blocks->storedCount, 1);
  expectPoint(polyhedronTris(blocks)[0].v[2], 1, 1, 0);  // a missing coordinate keeps its value
  ASSERT_EQ(readTris(points + "oFace( vx[1/1] vx[/2] vx[/3] vx[/4] )\n}\n"), 0);
  ASSERT_EQ(blocks->storedCount, 2);
  expectPoint(polyhedronTris(blocks)[1].v[0], 1, 1, 0);  // (P2, P3, P0)
  expectPoint(polyhedronTris(blocks)[1].v[1], 0, 1, 0);
  expectPoint(polyhedronTris(blocks)[1].v[2], 0, 0, 0);
  EXPECT_EQ(readTris(points + "oFace( vx[1/1] vx[/2] vx[/3] vx[/4] vx[/5] )\n}\n"), 2);
  EXPECT_NE(blocks, nullptr);  // what was read is handed back
  // Two vertices: not a face, ignored.
  EXPECT_EQ(readTris(points + "oFace( vx[1/1] vx[/2] vx[/1] )\n}\n"), 0);
  EXPECT_EQ(blocks->storedCount, 0);
}

// Files that stop the read, and damaged or cut files.
TEST_F(PolyhedronRead, StoppedAndDamagedFiles) {
  const std::string poly =
      "oPolyhedron[q]()\n{\noPset[1]()\n{\noP[1]()\noP[2]( x[1] )\n"
      "oP[3]( y[1] )\n}\n";
  struct Case {
    const char* what;
    std::string body;
    int result;
  };
  const Case cases[] = {
      {"point not in the table", poly + "oFace( vx[1/1] vx[/2] vx[/9] )\n}\n", 2},
      {"face outside any polyhedron", poly + "}\noFace( vx[1/1] vx[/2] vx[/3] )\n", 2},
      {"reference without a slash", poly + "oFace( vx[1] vx[2] vx[3] )\n}\n", 2},
      {"file cut inside an element", poly + "oFace( vx[1/1] vx[/2", 2},
      {"huge point numbers are not stored",
       poly + "oPset[1]()\noP[2000000000]()\n"
              "oFace( vx[1/1] vx[/2] vx[/2000000000] )\n}\n",
       2},
      {"no polyhedron", "oPset[1]()\n", 0},
  };
  for (const Case& c : cases) EXPECT_EQ(readTris(c.body), c.result) << c.what;
  writeFile("nohead.qdx", "oPolyhedron()\n");
  PolyhedronBlock* none = nullptr;
  EXPECT_EQ(polyhedronReadTriangles("nohead.qdx", &none), 2);
  EXPECT_EQ(polyhedronReadTriangles("missing.qdx", &none), 2);
  EXPECT_EQ(none, nullptr);
}

int rejectAll(int, const double*, const double*, const double*) { return 0; }

// A filter that rejects every face leaves blocks without facets; two polyhedrons are listed
// newest first.
TEST_F(PolyhedronRead, FilterAndBlockOrder) {
  const std::vector<Tri3D> mesh = qdtest::roofMesh();
  const std::string file = qdtest::exchangePolyhedron(mesh, "first");
  const std::string second = qdtest::exchangePolyhedron({mesh[0]}, "second");
  writeFile("two.qdx", file + second.substr(second.find("oPolyhedron")));
  ASSERT_EQ(polyhedronReadTriangles("two.qdx", &blocks), 0);
  ASSERT_NE(blocks, nullptr);
  EXPECT_STREQ(blocks->name, "second");
  EXPECT_EQ(blocks->storedCount, 1);
  EXPECT_EQ(blocks->capacity, 1);  // shrunk when its scope closed
  ASSERT_NE(blocks->next, nullptr);
  EXPECT_EQ(blocks->next->storedCount, 8);
  polyhedronFreeBlocks(blocks);
  polyhedronSetFaceFilter(rejectAll);
  ASSERT_EQ(polyhedronReadTriangles("two.qdx", &blocks), 0);
  EXPECT_EQ(blocks->storedCount + blocks->next->storedCount, 0);
  polyhedronClearFaceFilter();
  // The four-corner reader: one facet per face, a triangle repeating its third corner.
  polyhedronFreeBlocks(blocks);
  ASSERT_EQ(polyhedronReadQuads("two.qdx", &blocks), 0);
  ASSERT_EQ(blocks->next->storedCount, 8);
  const QuadFacet q = polyhedronQuads(blocks->next)[0];
  EXPECT_EQ(q.flags, 0);
  expectPoint(modelQuadCorner(q, 3), mesh[0].v[2].x, mesh[0].v[2].y, mesh[0].v[2].z);
  // The four-corner reader has a filter of its own, apart from the triangle reader's.
  polyhedronFreeBlocks(blocks);
  polyhedronSetQuadFilter(rejectAll);
  ASSERT_EQ(polyhedronReadTriangles("two.qdx", &blocks), 0);
  EXPECT_EQ(blocks->next->storedCount, 8) << "the triangle reader ignores the four-corner filter";
  polyhedronFreeBlocks(blocks);
  ASSERT_EQ(polyhedronReadQuads("two.qdx", &blocks), 0);
  EXPECT_EQ(blocks->storedCount + blocks->next->storedCount, 0);
  polyhedronClearQuadFilter();
  polyhedronFreeBlocks(blocks);
  ASSERT_EQ(polyhedronReadQuads("two.qdx", &blocks), 0);
  EXPECT_EQ(blocks->next->storedCount, 8);
}

TEST_F(PolyhedronRead, BlockBuffers) {
  PolyhedronBlock* b = polyhedronNewBlock("");
  ASSERT_NE(b, nullptr);
  EXPECT_EQ(b->name, nullptr);
  EXPECT_EQ(polyhedronFaceBuffer(b, 3), 1);
  EXPECT_EQ(b->capacity, 3);
  const double x[5] = {0, 1, 1, 0, 2}, y[5] = {0, 0, 1, 1, 2}, z[5] = {0, 0, 0, 0, 0};
  EXPECT_EQ(polyhedronAddFace(b, 4, x, y, z), 1);
  EXPECT_EQ(polyhedronAddFace(b, 5, x, y, z), 0);
  EXPECT_EQ(polyhedronAddFace(b, 4, x, y, z), 1);  // grows by 65536
  EXPECT_EQ(b->capacity, 3 + 65536);
  EXPECT_EQ(polyhedronFaceBuffer(b, -1), 1);
  EXPECT_EQ(b->capacity, 4);
  EXPECT_EQ(b->addedCount, 4);
  polyhedronFreeBlocks(b);
  QuadFacetList* list = polyhedronNewQuadList(0);
  ASSERT_NE(list, nullptr);
  EXPECT_EQ(list->capacity, 2);
  EXPECT_EQ(list->boxMin.x, 1e10);
  polyhedronFreeQuadList(list);
}

// Every allocation of a read made to fail in turn: result 1 (or 2 when the interpreter could
// not be set up), blocks handed back and freed, no leak.
TEST_F(PolyhedronRead, AllocationFailures) {
  writeFile("m.qdx", qdtest::exchangePolyhedron(qdtest::roofMesh()));
  int r = -1;
  long n = 1;
  for (; r != 0 && n < 2000; ++n) {
    PolyhedronBlock* got = nullptr;
    memTestFailAt(n);
    r = polyhedronReadTriangles("m.qdx", &got);
    memTestFailAt(0);
    EXPECT_TRUE(r == 0 || r == 1 || r == 2) << n;
    polyhedronFreeBlocks(got);
  }
  EXPECT_EQ(r, 0);
  EXPECT_GT(n, 10);  // the read does allocate: the walk went through its steps
}

}  // namespace
