// test_tpc_readers.cpp - the checker's own POF and STL readers: moves and records of small POF
// texts, refusal of malformed lines, STL files written here byte by byte, and the real meshes of
// the shared data folder against the counts and boxes of its README.
#include <gtest/gtest.h>

#include <array>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <random>
#include <string>

#include "support/real_meshes.h"
#include "toolpath_check_gtest.h"

namespace {

namespace fs = std::filesystem;

// A fresh folder for files, removed afterwards.
class TpcReaderFiles : public ::testing::Test {
 protected:
  void SetUp() override {
    const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
    dir_ = fs::temp_directory_path() /
           (std::string("tpc_") + info->name() + "_" + std::to_string(std::random_device{}()));
    fs::remove_all(dir_);
    fs::create_directories(dir_);
  }
  void TearDown() override { fs::remove_all(dir_); }
  std::string write(const std::string& name, const std::string& bytes) {
    const fs::path p = dir_ / name;
    std::ofstream out(p, std::ios::binary);
    out << bytes;
    return p.string();
  }

 private:
  fs::path dir_;
};

struct MoveWant {
  tpc::MoveKind kind;
  tpc::Vec3 from, to;
  int turn;
  long line;
};

void expectMoves(const tpc::Path& path, const std::vector<MoveWant>& want) {
  ASSERT_EQ(path.moves.size(), want.size());
  for (std::size_t i = 0; i < want.size(); ++i) {
    const tpc::Move& m = path.moves[i];
    SCOPED_TRACE(::testing::Message() << "move " << i);
    EXPECT_EQ(m.kind, want[i].kind);
    EXPECT_EQ(m.turn, want[i].turn);
    EXPECT_EQ(m.line, want[i].line);
    for (const auto& [got, exp] : {std::pair{m.from, want[i].from}, std::pair{m.to, want[i].to}}) {
      EXPECT_DOUBLE_EQ(got.x, exp.x);
      EXPECT_DOUBLE_EQ(got.y, exp.y);
      EXPECT_DOUBLE_EQ(got.z, exp.z);
    }
  }
}

const char* const kModalPof =
    "0: cycle(t)\n"
    "10: arg(I:firstPosition:=1)\n"
    "31: oM[1]( x[/0] y[/0] )\n"
    "31: oL[2]( z[/-1] )\n"
    "31: oL[3]( x[/10] )\n"
    "32: G1 X10\n"
    "31: oA[4]( o[-] x[/20/15] y[/0/0] )\n"
    "31: oL[5]( y[/5] z[/-2] u[/0.10000000] v[/0.2] w[/0.3] )\n"
    "31: oPos( z[/10] )\n"
    "31: oContour( )   {\n"
    "31: }\n"
    "0: error(4711,a wall was hit)\n"
    "0: cycleEnd(t)\n";

using K = tpc::MoveKind;

// Coordinates are modal; the first fully known position is a move of no length; u, v, w and
// other layers are ignored.
TEST(TpcPofReader, ModalMovesArcsAndRecords) {
  tpc::Path path;
  ASSERT_TRUE(tpc::passes(tpc::readPofText(path, kModalPof, tpc::Tool::ball(3), "modal")));
  expectMoves(path, {{K::Feed, {0, 0, -1}, {0, 0, -1}, 0, 4},
                     {K::Feed, {0, 0, -1}, {10, 0, -1}, 0, 5},
                     {K::Feed, {10, 0, -1}, {20, 0, -1}, -1, 7},
                     {K::Feed, {20, 0, -1}, {20, 5, -2}, 0, 8},
                     {K::Rapid, {20, 5, -2}, {20, 5, 10}, 0, 9}});
  EXPECT_EQ(path.moves[2].cx, 15);
  EXPECT_EQ(path.moves[2].cy, 0);
  ASSERT_EQ(path.passes.size(), 1u);
  const tpc::Pass& p = path.passes[0];
  EXPECT_TRUE(p.endsWithCycleEnd);
  ASSERT_EQ(p.errors.size(), 1u);
  EXPECT_EQ(p.errors[0].text, "4711,a wall was hit");
  EXPECT_EQ(p.errors[0].line, 12);
  EXPECT_TRUE(p.nonFiniteLines.empty());
  EXPECT_TRUE(p.badArcLines.empty());
}

// The same text with CR LF line ends reads the same.
TEST(TpcPofReader, CrLfLineEnds) {
  std::string crlf;
  for (const char* c = kModalPof; *c; ++c)
    crlf += *c == '\n' ? std::string("\r\n") : std::string(1, *c);
  tpc::Path a, b;
  ASSERT_TRUE(tpc::passes(tpc::readPofText(a, kModalPof, tpc::Tool::ball(3))));
  ASSERT_TRUE(tpc::passes(tpc::readPofText(b, crlf, tpc::Tool::ball(3))));
  ASSERT_EQ(a.moves.size(), b.moves.size());
  for (std::size_t i = 0; i < a.moves.size(); ++i) EXPECT_EQ(a.moves[i].to.z, b.moves[i].to.z);
  EXPECT_TRUE(b.passes[0].endsWithCycleEnd);
}

// A field with a start jumps there; a programmed point above the tip is moved down to it.
TEST(TpcPofReader, ExplicitStartAndReferenceAboveTip) {
  tpc::Tool ball = tpc::Tool::ball(2);
  ball.refAboveTip = 2;
  tpc::Path path;
  ASSERT_TRUE(tpc::passes(tpc::readPofText(path,
                                           "31: oM( x[/0] y[/0] z[/5] )\n"
                                           "31: oL( x[1/2] y[3/4] )\n"
                                           "31: oA( o[+] x[/2/2] y[/4/5] )\n",
                                           ball)));
  expectMoves(path, {{K::Rapid, {0, 0, 3}, {0, 0, 3}, 0, 1},
                     {K::Feed, {1, 3, 3}, {2, 4, 3}, 0, 2},
                     {K::Feed, {2, 4, 3}, {2, 4, 3}, 1, 3}});  // a full circle about (2, 5)
  EXPECT_FALSE(path.passes[0].endsWithCycleEnd);
}

// A non-finite coordinate and an arc off its circle are kept for the sanity check; the moves
// after a non-finite one start once the position is known again.
TEST(TpcPofReader, NonFiniteAndBadArcAreRecorded) {
  tpc::Path path;
  ASSERT_TRUE(tpc::passes(tpc::readPofText(path,
                                           "31: oM( x[/0] y[/0] z[/0] )\n"
                                           "31: oL( x[/nan] )\n"
                                           "31: oL( y[/1] )\n"
                                           "31: oL( x[/2] )\n"
                                           "31: oA( o[+] x[/3/2] y[/2/0] )\n"
                                           "31: oL( z[/inf] )\n",
                                           tpc::Tool::flat(1))));
  const tpc::Pass& p = path.passes[0];
  EXPECT_EQ(p.nonFiniteLines, (std::vector<long>{2, 6}));
  EXPECT_EQ(p.badArcLines, (std::vector<long>{5}));  // radius 1 at the start, 2.24 at the end
  expectMoves(path, {{K::Rapid, {0, 0, 0}, {0, 0, 0}, 0, 1},
                     {K::Feed, {2, 1, 0}, {2, 1, 0}, 0, 4},
                     {K::Feed, {2, 1, 0}, {3, 2, 0}, 1, 5}});
}

// Malformed lines fail the reader with the line number, and the path is left as it was.
TEST(TpcPofReader, MalformedLinesAreRefused) {
  const struct {
    const char* line;
    const char* why;
  } cases[] = {
      {"31: oL[3]( x[/abc] )", "bad number 'abc'"},
      {"31: oL[3]( x[/1] ", "without its ( )"},
      {"31: oL( x[/1 )", "without ]"},
      {"31: oA[2]( x[/1/0] y[/2/0] )", "arc needs"},
      {"31: oA[2]( o[*] x[/1/0] y[/2/0] )", "neither + nor -"},
      {"31: oL( x[/1/2/3/4] )", "more than three parts"},
      {"31: oL( x[/1/2] )", "centre on a straight move"},
      {"31: oL( o[+] x[/1] )", "turn o[..] on a straight move"},
      {"31: oL( q[/1] )", "unknown field 'q'"},
      {"31: oL( x[/1] x[/2] )", "twice"},
      {"31: oL[1a]( x[/1] )", "bad move number"},
      {"31: oL( x[/] )", "bad number ''"},
      {"hello", "no layer number"},
      {"0: error", "layer-0 record without ( )"},
  };
  for (const auto& c : cases) {
    tpc::Path path;
    ASSERT_TRUE(tpc::readPofText(path, "31: oM( x[/0] y[/0] z[/0] )\n", tpc::Tool::ball(1)).ok);
    const tpc::Status s = tpc::readPofText(path, std::string("0: cycle(t)\n") + c.line + "\n",
                                           tpc::Tool::ball(1), "bad");
    EXPECT_FALSE(s.ok) << c.line;
    EXPECT_NE(s.message.find("bad:2: "), std::string::npos) << s.message;
    EXPECT_NE(s.message.find(c.why), std::string::npos) << s.message;
    EXPECT_EQ(path.passes.size(), 1u) << c.line;
    EXPECT_EQ(path.moves.size(), 1u) << c.line;
  }
  tpc::Path path;
  EXPECT_FALSE(tpc::readPofText(path, "", tpc::Tool{3, 4, 0}).ok);  // corner beyond the radius
  EXPECT_FALSE(tpc::readPofText(path, "", tpc::Tool{0, 0, 0}).ok);
}

// Two files read one after the other are one path: each pass keeps its tool, and the second
// starts at an unknown position.
TEST_F(TpcReaderFiles, SeveralFilesAreOnePath) {
  const std::string a =
      write("rough.pof", "31: oM( x[/0] y[/0] z[/5] )\n31: oL( z[/0] )\n0: cycleEnd(r)\n");
  const std::string b =
      write("finish.pof", "31: oL( x[/1] )\n31: oL( y[/1] z[/0] )\n0: cycleEnd(f)\n");
  tpc::Path path;
  ASSERT_TRUE(tpc::passes(tpc::readPof(path, a, tpc::Tool::flat(5))));
  ASSERT_TRUE(tpc::passes(tpc::readPof(path, b, tpc::Tool::ball(1))));
  ASSERT_EQ(path.passes.size(), 2u);
  EXPECT_EQ(path.passes[1].tool.radius, 1);
  EXPECT_EQ(path.passes[1].source, b);
  expectMoves(path, {{K::Rapid, {0, 0, 5}, {0, 0, 5}, 0, 1},
                     {K::Feed, {0, 0, 5}, {0, 0, 0}, 0, 2},
                     {K::Feed, {1, 1, 0}, {1, 1, 0}, 0, 2}});
  EXPECT_EQ(path.moves[2].pass, 1);
  const tpc::Status missing =
      tpc::readPof(path, (fs::path(a).parent_path() / "none.pof").string(), tpc::Tool::flat(5));
  EXPECT_FALSE(missing.ok);
  EXPECT_NE(missing.message.find("cannot read"), std::string::npos);
}

void putFloat(std::string& s, float f) {
  std::uint32_t u;
  std::memcpy(&u, &f, 4);
  for (int i = 0; i < 4; ++i) s += static_cast<char>((u >> (8 * i)) & 0xff);
}

std::string binaryStl(const std::string& header, const std::vector<std::array<float, 9>>& facets,
                      std::uint32_t count) {
  std::string s = header;
  s.resize(80, ' ');
  for (int i = 0; i < 4; ++i) s += static_cast<char>((count >> (8 * i)) & 0xff);
  for (const auto& f : facets) {
    for (int i = 0; i < 3; ++i) putFloat(s, 0);
    for (float v : f) putFloat(s, v);
    s += std::string(2, '\0');
  }
  return s;
}

// A binary STL whose header begins with "solid" is told apart by its size.
TEST_F(TpcReaderFiles, StlBinaryAndText) {
  const std::vector<std::array<float, 9>> facets = {{0, 0, 0, 1, 0, 0, 0, 1, 0},
                                                    {1, 1, 2, -3, 0.5f, 0, 0, 4, -1}};
  tpc::Mesh mesh;
  ASSERT_TRUE(
      tpc::passes(tpc::readStl(write("b.stl", binaryStl("solid but binary", facets, 2)), mesh)));
  ASSERT_EQ(mesh.triangles.size(), 2u);
  EXPECT_EQ(mesh.triangles[1].v[1].x, -3);
  EXPECT_EQ(mesh.triangles[1].v[1].y, 0.5);
  EXPECT_EQ(mesh.lo.x, -3);
  EXPECT_EQ(mesh.hi.y, 4);
  EXPECT_EQ(mesh.lo.z, -1);
  EXPECT_EQ(mesh.hi.z, 2);
  const std::string text =
      "solid part made by hand\n"
      "  facet normal 0 0 1\n    outer loop\n      vertex 0 0 0\n      vertex 1 0 0\n      vertex "
      "0 1 0\n"
      "    endloop\n  endfacet\n"
      "  facet normal 0 0 1\n    outer loop\n      vertex 1 1 2\n      vertex -3 0.5 0\n      "
      "vertex 0 4 -1e0\n"
      "    endloop\n  endfacet\n"
      "endsolid part made by hand\n";
  tpc::Mesh mt;
  ASSERT_TRUE(tpc::passes(tpc::readStl(write("t.stl", text), mt)));
  ASSERT_EQ(mt.triangles.size(), 2u);
  for (int k = 0; k < 3; ++k) {
    EXPECT_EQ(mt.triangles[1].v[k].x, mesh.triangles[1].v[k].x);
    EXPECT_EQ(mt.triangles[1].v[k].z, mesh.triangles[1].v[k].z);
  }
}

// Bad STL files give a message, never a crash or a huge allocation.
TEST_F(TpcReaderFiles, StlFaultsAreRefused) {
  const struct {
    const char* name;
    std::string bytes;
    const char* why;
  } cases[] = {
      {"empty", "", "no facets"},
      {"no solid", "facet normal 0 0 1\n", "neither"},
      {"short vertex",
       "solid a\nfacet normal 0 0 1\nouter loop\nvertex 0 0 0\nvertex 1 0\nvertex 0 1 0\n",
       "bad vertex"},
      {"no facets", "solid a\nendsolid a\n", "no facets"},
      {"stray word",
       "solid a\nfacet normal 0 0 1\nouter loop\nvertex 0 0 0\nvertex 1 0 0\nvertex 0 1 "
       "0\nendloop\nendfacet\nbanana\n",
       "unexpected 'banana'"},
      // A count of 4e9 facets in a file of 90 bytes: not binary, and not text either.
      {"huge count", binaryStl("huge", {}, 4000000000u) + "xxxxxx", "neither"},
      {"nan vertex", binaryStl("x", {{0, 0, 0, NAN, 0, 0, 0, 1, 0}}, 1), "non-finite"},
  };
  for (const auto& c : cases) {
    tpc::Mesh mesh;
    const tpc::Status s = tpc::readStl(write("bad.stl", c.bytes), mesh);
    EXPECT_FALSE(s.ok) << c.name;
    EXPECT_NE(s.message.find(c.why), std::string::npos) << c.name << ": " << s.message;
  }
  tpc::Mesh mesh;
  EXPECT_FALSE(tpc::readStl("/nonexistent/folder/x.stl", mesh).ok);
}

// The real meshes: triangle counts and boxes as the data folder's README gives them.
TEST(TpcStlData, CountsAndBoxesMatchReadme) {
  QDTEST_SKIP_WITHOUT_REAL_MESHES();
  const fs::path dir = qdtest::realMeshFolder();
  const struct {
    const char* file;
    std::size_t count;
    tpc::Vec3 lo, hi;
  } files[] = {
      {"cone_on_side.stl", 676, {-0.0000, -9.9987, -10.0000}, {20.0000, 9.9987, 9.9950}},
      {"ktoolcav.stl", 4090, {-2.0000, 0.0000, -1.5000}, {2.0000, 1.6250, 1.8125}},
      {"ktoolcor.stl", 3802, {-2.0000, -0.7500, -1.5000}, {2.0000, 1.0000, 1.8125}},
      {"pycam-textbox.stl", 1444, {0.0000, 0.0000, -10.0000}, {130.0000, 50.0000, 0.0000}},
      {"sphere_on_plate.stl", 7570, {0.0000, 0.0000, -1.0000}, {76.4923, 76.4923, 30.8718}},
      {"wheel_in_box.stl", 6102, {-100.0000, -100.0000, 0.0000}, {100.0000, 100.0000, 50.0000}},
  };
  for (const auto& f : files) {
    SCOPED_TRACE(f.file);
    tpc::Mesh mesh;
    ASSERT_TRUE(tpc::passes(tpc::readStl((dir / f.file).string(), mesh)));
    EXPECT_EQ(mesh.triangles.size(), f.count);
    EXPECT_NEAR(mesh.lo.x, f.lo.x, 1e-3);
    EXPECT_NEAR(mesh.lo.y, f.lo.y, 1e-3);
    EXPECT_NEAR(mesh.lo.z, f.lo.z, 1e-3);
    EXPECT_NEAR(mesh.hi.x, f.hi.x, 1e-3);
    EXPECT_NEAR(mesh.hi.y, f.hi.y, 1e-3);
    EXPECT_NEAR(mesh.hi.z, f.hi.z, 1e-3);
  }
}

}  // namespace
