// Tests of the STL reader: text or binary detection, whole lines of any length, the byte-swap
// decision for big-endian files, partial records and files cut inside a facet.
#include <gtest/gtest.h>

#include <cctype>
#include <string>
#include <vector>

#include "../support/temp_dir.h"
#include "framework/memory.h"
#include "model/stl_file.h"
#include "support/mesh_gen.h"
#include "support/real_meshes.h"
#include "test_stl_writers.h"

namespace {

using qdtest::writeFile;

class StlRead : public qdtest::TempDirTest {
 protected:
  void TearDown() override { memTestFailAt(0); }
};

struct List {
  Tri3List* l = nullptr;
  ~List() { lstBox3Free(l); }
};

void expectTris(const Tri3List* list, const std::vector<Tri3D>& tris, const char* what) {
  ASSERT_NE(list, nullptr) << what;
  ASSERT_EQ(list->count, static_cast<int>(tris.size())) << what;
  for (std::size_t i = 0; i < tris.size(); ++i) {
    for (int k = 0; k < 3; ++k) {
      EXPECT_EQ(list->items[i].v[k].x, tris[i].v[k].x) << what << " " << i;
      EXPECT_EQ(list->items[i].v[k].y, tris[i].v[k].y) << what << " " << i;
      EXPECT_EQ(list->items[i].v[k].z, tris[i].v[k].z) << what << " " << i;
    }
  }
}

// A binary STL whose 80-byte header begins with "solid" was read as text and gave no triangles.
TEST_F(StlRead, BinaryWhoseHeaderStartsWithSolid) {
  const std::vector<Tri3D> mesh = qdtest::roofMesh();
  writeFile("solid.stl", qdtest::binaryStl(mesh, false, "solid SLUMOLD"));
  EXPECT_EQ(stlIsBinary("solid.stl"), 1);
  List got{stlRead("solid.stl")};
  expectTris(got.l, mesh, "solid header");
  // Even a header that names both keywords: the size fits the count, only binary does that.
  writeFile("words.stl", qdtest::binaryStl(mesh, false, "solid part facet normal"));
  EXPECT_EQ(stlIsBinary("words.stl"), 1);
  // A generated part of many triangles, as a mould written by a CAD exporter would be.
  const qdtest::gen::Mesh wheel = qdtest::gen::wheelInBox();
  ASSERT_TRUE(qdtest::gen::writeStl("wheel.stl", wheel, qdtest::gen::Encoding::kBinarySolidHeader));
  EXPECT_EQ(stlIsBinary("wheel.stl"), 1);
  List generated{stlRead("wheel.stl")};
  ASSERT_NE(generated.l, nullptr);
  EXPECT_EQ(generated.l->count, static_cast<int>(wheel.triangles));
}

// The real mould halves: binary files whose header begins with "solid".
TEST_F(StlRead, RealMouldHalfWhoseHeaderStartsWithSolid) {
  QDTEST_SKIP_WITHOUT_REAL_MESHES();
  EXPECT_EQ(stlIsBinary(qdtest::dataPath("ktoolcav.stl").c_str()), 1);
  List real{stlRead(qdtest::dataPath("ktoolcav.stl").c_str())};
  ASSERT_NE(real.l, nullptr);
  EXPECT_EQ(real.l->count, 4090);
}

// A text line longer than 128 characters was cut and its rest read as the next line.
TEST_F(StlRead, TextLinesOfAnyLength) {
  const std::string pad(300, ' ');
  const std::string text = "solid " + std::string(200, 'n') + "\n facet normal 0 0 1" + pad +
                           "\n outer loop\n  vertex" + pad + "1.5" + pad + "2.5 " + pad +
                           "-3.25e+00" + pad + "\n  vertex 4 5 6\n  vertex +7 8. .5\n endloop\n" +
                           " endfacet\nendsolid\n";
  writeFile("long.stl", text);
  EXPECT_EQ(stlIsBinary("long.stl"), 0);
  List got{stlRead("long.stl")};
  expectTris(got.l, {Tri3D{{{1.5, 2.5, -3.25}, {4, 5, 6}, {7, 8, 0.5}}}}, "long lines");
}

// Text STL whose first bytes were not exactly lower-case "solid" with "facet" and "normal" in the
// first 1024 bytes was decoded as binary: success with garbage triangles and no message. A file
// is binary only when its size fits the count at byte 80; otherwise it must read as text, or it
// fails with a reason.
TEST_F(StlRead, TextOrBinaryOrNeither) {
  const std::vector<Tri3D> mesh = qdtest::roofMesh();
  const std::string text = qdtest::asciiStl(mesh);
  auto upper = [](std::string t) {
    for (char& c : t) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    return t;
  };
  auto renamed = [&](const std::string& name) {
    return "solid " + name + text.substr(text.find('\n'));
  };
  const std::string le = qdtest::binaryStl(mesh, false);
  // A facet-less text solid padded to sizes a binary file of 1 and 2 records would have.
  auto facetless = [](std::size_t size) {
    std::string t = "solid empty\nendsolid empty\n";
    return "solid " + std::string(size - t.size(), 'n') + t.substr(5);
  };
  struct Case {
    const char* what;
    std::string bytes;
    int kind;       // stlIsBinary: 1 binary, 0 text, -1 neither
    int triangles;  // -1: the read fails; 8: the mesh itself
  };
  const Case cases[] = {
      {"upper-case keywords", upper(text), 0, 8},
      {"upper-case with CR LF", upper(qdtest::asciiStl(mesh, "\r\n")), 0, 8},
      {"Solid", "S" + text.substr(1), 0, 8},
      {"leading blank", " " + text, 0, 8},
      {"leading line ends", "\r\n\n" + text, 0, 8},
      {"UTF-8 byte-order mark", "\xef\xbb\xbf" + text, 0, 8},
      {"first facet after byte 1024", renamed(std::string(2000, 'n')), 0, 8},
      {"facet-less solid of 134 bytes", facetless(134), 0, 0},
      {"facet-less solid of 184 bytes", facetless(184), 0, 0},
      {"binary", le, 1, 8},
      {"binary, big-endian count", qdtest::binaryStl(mesh, true), 1, 8},
      {"binary whose header starts with SOLID",
       qdtest::binaryStl(mesh, false, "SOLID x facet normal"), 1, 8},
      {"binary with bytes after the last record", le + "xyz", 1, 8},
      {"binary whose last record is cut", le.substr(0, le.size() - 7), 1, 7},
      {"binary count 0 with records", qdtest::binaryStl(mesh, false, "x", 0), -1, -1},
      {"binary count above the records", qdtest::binaryStl(mesh, false, "x", 1000), -1, -1},
      {"header only, count 8", le.substr(0, 84), -1, -1},
      {"text without solid", text.substr(text.find('\n') + 1), -1, -1},
      {"solid with a NUL byte", "solid x\n" + std::string(1, '\0') + text, -1, -1},
      {"empty", "", -1, -1},
  };
  for (const Case& c : cases) {
    writeFile("t.stl", c.bytes);
    EXPECT_EQ(stlIsBinary("t.stl"), c.kind) << c.what;
    Tri3List* list = nullptr;
    const char* why = nullptr;
    const int r = stlReadFile("t.stl", &list, &why);
    if (c.triangles < 0) {
      EXPECT_EQ(r, -2) << c.what;
      EXPECT_EQ(list, nullptr) << c.what;
      EXPECT_NE(why, nullptr) << c.what;
    } else if (c.triangles == 0) {
      ASSERT_EQ(r, 1) << c.what;
      EXPECT_EQ(list->count, 0) << c.what;
    } else {
      ASSERT_EQ(r, 1) << c.what;
      expectTris(list, std::vector<Tri3D>(mesh.begin(), mesh.begin() + c.triangles), c.what);
    }
    lstBox3Free(list);
  }
}

// Text cases: what reading keeps, where it stops and what fails the file.
TEST_F(StlRead, TextFacetsCutBlankOrBroken) {
  const std::vector<Tri3D> mesh = qdtest::roofMesh();
  const std::string whole = qdtest::asciiStl(mesh);
  const std::size_t third = whole.find("facet", whole.find("facet", whole.find("facet") + 9) + 9);
  struct Case {
    const char* what;
    std::string text;
    int count;  // -1: the file fails
  };
  const Case cases[] = {
      {"whole", whole, 8},
      {"cut inside the third facet", whole.substr(0, third + 60), 2},
      {"blank lines between facets",
       "\n\n" + qdtest::asciiStl({mesh[0]}) + "\n\n" + qdtest::asciiStl({mesh[1]}), 2},
      {"end alone stops", qdtest::asciiStl({mesh[0]}) + "end\n" + qdtest::asciiStl({mesh[1]}), 1},
      {"end with a word goes on",
       qdtest::asciiStl({mesh[0]}) + "end part\n" + qdtest::asciiStl({mesh[1]}), 2},
      {"two coordinates", "solid\nfacet normal 0 0 1\nouter loop\nvertex 1 2\nvertex 1 2 3\n", -1},
      {"no keyword", "solid\nfacet normal 0 0 1\nouter loop\n1 2 3\nvertex 1 2 3\n", -1},
      {"comma", "solid\nfacet normal 0 0 1\nouter loop\nvertex 1,2 3 4\n", -1},
      {"nan", "solid\nfacet normal 0 0 1\nouter loop\nvertex 1 nan 3\n", -1},
  };
  for (const Case& c : cases) {
    writeFile("t.stl", "solid x\n" + c.text);
    Tri3List* list = nullptr;
    const char* why = nullptr;
    const int r = stlReadFile("t.stl", &list, &why);
    if (c.count < 0) {
      EXPECT_EQ(r, -2) << c.what;
      EXPECT_EQ(list, nullptr) << c.what;
      EXPECT_NE(why, nullptr);
    } else {
      ASSERT_EQ(r, 1) << c.what;
      EXPECT_EQ(list->count, c.count) << c.what;
    }
    lstBox3Free(list);
  }
}

// Binary: big-endian files equal little-endian ones; a trailing partial record is ignored; a
// header alone (count 0) is an empty list; less than a header is unreadable.
TEST_F(StlRead, BinaryByteOrderAndLength) {
  const std::vector<Tri3D> mesh = qdtest::roofMesh();
  const std::string le = qdtest::binaryStl(mesh, false), be = qdtest::binaryStl(mesh, true);
  writeFile("le.stl", le);
  writeFile("be.stl", be);
  writeFile("part.stl", le.substr(0, le.size() - 49));
  writeFile("head.stl", qdtest::binaryStl({}, false));
  writeFile("short.stl", le.substr(0, 83));
  writeFile("empty.stl", "");
  List a{stlRead("le.stl")}, b{stlRead("be.stl")}, c{stlRead("part.stl")}, d{stlRead("head.stl")};
  expectTris(a.l, mesh, "little-endian");
  expectTris(b.l, mesh, "big-endian");
  expectTris(c.l, std::vector<Tri3D>(mesh.begin(), mesh.end() - 1), "partial record");
  ASSERT_NE(d.l, nullptr);
  EXPECT_EQ(d.l->count, 0);
  EXPECT_EQ(stlRead("short.stl"), nullptr);
  EXPECT_EQ(stlRead("empty.stl"), nullptr);
  EXPECT_EQ(stlRead("missing.stl"), nullptr);
  EXPECT_EQ(stlRead(""), nullptr);
  EXPECT_EQ(stlRead(nullptr), nullptr);
}

// The byte-swap decision from the first normal, including where it is known to misjudge.
TEST_F(StlRead, SwapDecision) {
  auto record = [](float x, float y, float z, bool be) {
    std::string s;
    qdtest::putF32(&s, x, be);
    qdtest::putF32(&s, y, be);
    qdtest::putF32(&s, z, be);
    s.resize(50, '\0');
    return s;
  };
  struct Case {
    float x, y, z;
    bool bigEndian;
    int swap;
  };
  const Case cases[] = {
      {0.6f, 0.8f, 0, false, 0}, {0.6f, 0.8f, 0, true, 1}, {0, 0, 1, false, 0},
      {0, 0, 1, true, 0},   // an axis-aligned big-endian normal is not recognised
      {3, 0, 0, false, 1},  // an unnormalised little-endian normal is taken as big-endian
      {1.2f, 1.2f, 0, false, 1},
  };
  for (const Case& c : cases) {
    const std::string r = record(c.x, c.y, c.z, c.bigEndian);
    EXPECT_EQ(stlNeedsSwap(reinterpret_cast<const unsigned char*>(r.data())), c.swap)
        << c.x << " " << c.y << " " << c.z << " " << c.bigEndian;
  }
}

// A record written big-endian decodes, byte-reversed, to the triangle that was written.
TEST_F(StlRead, SwappedRecordDecodesItsTriangle) {
  const float v[9] = {1.5f, -2.25f, 3, 4, 5.125f, -6, 7, 8, 9.75f};
  std::string r;
  for (int k = 0; k < 3; ++k) qdtest::putF32(&r, 0, true);  // the normal
  for (const float x : v) qdtest::putF32(&r, x, true);
  r.resize(50, '\0');
  Tri3D t{};
  stlReadSwappedRecord(reinterpret_cast<const unsigned char*>(r.data()), &t);
  for (int k = 0; k < 3; ++k) {
    EXPECT_EQ(t.v[k].x, v[3 * k]);
    EXPECT_EQ(t.v[k].y, v[3 * k + 1]);
    EXPECT_EQ(t.v[k].z, v[3 * k + 2]);
  }
}

// Every allocation of a read made to fail in turn: -1, no list, no leak.
TEST_F(StlRead, AllocationFailures) {
  const std::vector<Tri3D> mesh = qdtest::roofMesh();
  writeFile("a.stl", qdtest::asciiStl(mesh));
  writeFile("b.stl", qdtest::binaryStl(mesh, false));
  for (const char* name : {"a.stl", "b.stl"}) {
    int r = 0;
    for (long n = 1; r != 1 && n < 50; ++n) {
      Tri3List* list = nullptr;
      memTestFailAt(n);
      r = stlReadFile(name, &list, nullptr);
      memTestFailAt(0);
      if (r != 1) {
        EXPECT_EQ(r, -1) << name << " n=" << n;
        EXPECT_EQ(list, nullptr);
      }
      lstBox3Free(list);
    }
    EXPECT_EQ(r, 1) << name;
  }
}

}  // namespace
