// Tests of the surface model loaders: one mesh in every encoding gives the same model, hostile
// facet files and STL files fail with their codes and leave nothing, the real files load with
// every triangle accounted for, surface groups become sub-models, extra files merge, and every
// allocation failure is survived without a leak.
#include <gtest/gtest.h>

#include <algorithm>
#include <climits>
#include <cmath>
#include <string>
#include <tuple>
#include <vector>

#include "../support/temp_dir.h"
#include "framework/memory.h"
#include "geometry/csys.h"
#include "geometry/cycle_state.h"
#include "model/facet_file.h"
#include "model/mesh_load.h"
#include "model/model_load.h"
#include "model/polyhedron.h"
#include "model_fixture.h"
#include "support/mesh_gen.h"
#include "support/real_meshes.h"
#include "test_stl_writers.h"

namespace {

using qdtest::writeFile;

std::vector<std::string> reports;
void recordReport(int number, const char* argument) {
  reports.push_back(std::to_string(number) + " " + argument);
}

class ModelLoadTest : public qdtest::TempDirTest {
 protected:
  void SetUp() override {
    reports.clear();
    modelLoadResetState();
    modelLoadSetReportFn(recordReport);
    polyhedronResetState();
    facetFileResetState();
    cyc3dMeshResetState();
    csysPrepare();
  }
  void TearDown() override {
    memTestFailAt(0);
    modelLoadResetState();
    polyhedronResetState();
  }
};

// An owned model with a cutter; frees what it loaded.
struct Loaded {
  explicit Loaded(int type) {
    modelInit(&m, type);
    m.cutter = static_cast<CutterShape*>(memAllocZero(sizeof(CutterShape)));
    *m.cutter = qdtest::makeCutter(kCutterBall, 2, 2);
  }
  ~Loaded() {
    modelFreeContents(&m);
    memFree(m.cutter);
  }
  Loaded(const Loaded&) = delete;
  Loaded& operator=(const Loaded&) = delete;
  SurfaceModel m{};
};

int facetCount(const SurfaceModel& m) {
  if (m.facetType == 3) return m.triangles != nullptr ? m.triangles->count : 0;
  return m.quadCount;
}

std::vector<Point3D> cornersOf(const SurfaceModel& m, int i) {
  std::vector<Point3D> c;
  if (m.facetType == 3) {
    for (const Point3D& p : m.triangles->items[i].v) c.push_back(p);
  } else {
    for (int k = 0; k < 4; ++k) c.push_back(modelQuadCorner(m.quads[i], k));
  }
  return c;
}

double topOf(const std::vector<Point3D>& c) {
  double z = c[0].z;
  for (const Point3D& p : c) z = std::max(z, p.z);
  return z;
}

// The distinct corners of a facet in cyclic order, starting at the smallest: four-corner loaders
// differ in which corner comes first (STL facets are turned highest corner first, facet-file
// records kept as read), not in the facet.
std::vector<Point3D> cycleOf(std::vector<Point3D> c) {
  auto less = [](const Point3D& a, const Point3D& b) {
    return std::tie(a.x, a.y, a.z) < std::tie(b.x, b.y, b.z);
  };
  auto same = [](const Point3D& a, const Point3D& b) {
    return a.x == b.x && a.y == b.y && a.z == b.z;
  };
  std::vector<Point3D> d;
  for (std::size_t i = 0; i < c.size(); ++i) {
    if (!same(c[i], c[(i + 1) % c.size()])) d.push_back(c[i]);
  }
  std::rotate(d.begin(), std::min_element(d.begin(), d.end(), less), d.end());
  return d;
}

using Key = std::vector<double>;
// The facets with their box arrays as comparable rows, after checking the descending order and
// that each box row belongs to its facet.
std::vector<Key> canonical(const SurfaceModel& m) {
  std::vector<Key> rows;
  for (int i = 0; i < facetCount(m); ++i) {
    const std::vector<Point3D> c = cornersOf(m, i);
    if (i > 0) {
      EXPECT_LE(topOf(c), topOf(cornersOf(m, i - 1)) + 0.00001) << i;
    }
    Key k;
    for (const Point3D& p : m.facetType == 3 ? c : cycleOf(c)) k.insert(k.end(), {p.x, p.y, p.z});
    const Point3D lo = m.facetMin[i], hi = m.facetMax[i];
    k.insert(k.end(), {lo.x, lo.y, lo.z, hi.x, hi.y, hi.z});
    rows.push_back(k);
  }
  std::sort(rows.begin(), rows.end());
  return rows;
}

void expectSameModel(const SurfaceModel& a, const SurfaceModel& b, const std::string& what) {
  EXPECT_EQ(canonical(a), canonical(b)) << what;
  EXPECT_EQ(std::tie(a.boxMin.x, a.boxMin.y, a.boxMin.z, a.boxMax.x, a.boxMax.y, a.boxMax.z),
            std::tie(b.boxMin.x, b.boxMin.y, b.boxMin.z, b.boxMax.x, b.boxMax.y, b.boxMax.z))
      << what;
}

// Every encoding of one mesh: text STL (LF and CR LF), binary STL little- and big-endian, facet
// file version 1, exchange polyhedron. Each loads into the same sorted model of either type.
TEST_F(ModelLoadTest, EveryEncodingOfOneMeshGivesTheSameModel) {
  const std::vector<Tri3D> mesh = qdtest::roofMesh();
  writeFile("text.stl", qdtest::asciiStl(mesh));
  writeFile("crlf.stl", qdtest::asciiStl(mesh, "\r\n"));
  writeFile("le.stl", qdtest::binaryStl(mesh, false));
  writeFile("be.stl", qdtest::binaryStl(mesh, true));
  writeFile("part.3df", qdtest::facetFile(1.0f, qdtest::recordsOf(mesh)));
  writeFile("part.qdx", qdtest::exchangePolyhedron(mesh));
  for (int type : {3, 4}) {
    Loaded reference(type);
    ASSERT_EQ(modelLoadFile(&reference.m, "text.stl"), 0);
    ASSERT_EQ(facetCount(reference.m), static_cast<int>(mesh.size()));
    EXPECT_EQ(reference.m.boxMin.x, 0);
    EXPECT_EQ(reference.m.boxMax.z, 5.125);
    for (const char* name : {"crlf.stl", "le.stl", "be.stl", "part.3df", "part.qdx"}) {
      Loaded other(type);
      ASSERT_EQ(modelLoadFile(&other.m, name), 0) << name;
      expectSameModel(reference.m, other.m, std::string(name) + " type " + std::to_string(type));
      EXPECT_EQ(other.m.subModels, nullptr);
    }
  }
  EXPECT_TRUE(reports.empty());
}

// The model box started from a +-1e10 box, so a part lying beyond 1e10 got a box corner at 1e10.
// The box must be that of the corners, in every encoding, facet type and loader.
TEST_F(ModelLoadTest, BoxOfAPartBeyondTenToTheTen) {
  // Grown by 2^20 so that its facets keep their area in single precision so far out.
  std::vector<Tri3D> mesh = qdtest::roofMesh();
  for (Tri3D& t : mesh) {
    for (Point3D& p : t.v)
      p = Point3D{p.x * 0x1p20 + 2e10, p.y * 0x1p20 - 3e10, p.z * 0x1p20 + 4e10};
  }
  Point3D lo = mesh[0].v[0], hi = mesh[0].v[0];
  for (const Tri3D& t : mesh) {
    for (const Point3D& p : t.v) {
      lo = Point3D{std::min(lo.x, p.x), std::min(lo.y, p.y), std::min(lo.z, p.z)};
      hi = Point3D{std::max(hi.x, p.x), std::max(hi.y, p.y), std::max(hi.z, p.z)};
    }
  }
  writeFile("far.stl", qdtest::asciiStl(mesh));
  writeFile("far.3df", qdtest::facetFile(1.0f, qdtest::recordsOf(mesh)));
  writeFile("far2.3df", qdtest::facetFile(2.0f, qdtest::recordsOf(mesh)));
  writeFile("far.qdx", qdtest::exchangePolyhedron(mesh));
  auto expectBox = [&](const Point3D& a, const Point3D& b, const std::string& what) {
    // z may be snapped upwards by up to 0.0001 (text STL keeps 9 digits: compare loosely).
    EXPECT_NEAR(a.x, lo.x, 1e3) << what;
    EXPECT_NEAR(a.y, lo.y, 1e3) << what;
    EXPECT_NEAR(a.z, lo.z, 1e3) << what;
    EXPECT_NEAR(b.x, hi.x, 1e3) << what;
    EXPECT_NEAR(b.y, hi.y, 1e3) << what;
    EXPECT_NEAR(b.z, hi.z, 1e3) << what;
  };
  for (int type : {3, 4}) {
    for (const char* name : {"far.stl", "far.3df", "far.qdx"}) {
      Loaded model(type);
      ASSERT_EQ(modelLoadFile(&model.m, name), 0) << name;
      expectBox(model.m.boxMin, model.m.boxMax,
                std::string(name) + " type " + std::to_string(type));
    }
    Loaded grouped(type);
    ASSERT_EQ(modelLoadFileEx(&grouped.m, "far2.3df", 0), 0);
    expectBox(grouped.m.boxMin, grouped.m.boxMax, "groups type " + std::to_string(type));
    Loaded subs(type);
    ASSERT_EQ(modelAddSubModels(&subs.m, "far.3df", "", "", 0, 0.0), 0);
    ASSERT_NE(subs.m.subModels, nullptr);
    expectBox(subs.m.subModels->boxMin, subs.m.subModels->boxMax,
              "sub-model type " + std::to_string(type));
    expectBox(subs.m.boxMin, subs.m.boxMax, "sub-models type " + std::to_string(type));
  }
}

// A header count is a hint: every lie fails with the unusable-file code before anything is
// allocated (the first allocation is made to fail and is never reached), and leaves no model.
TEST_F(ModelLoadTest, HostileFacetFilesFailCleanly) {
  const std::vector<QuadFacet> recs = qdtest::recordsOf(qdtest::roofMesh());
  const std::string good = qdtest::facetFile(1.0f, recs);
  struct Case {
    const char* what;
    std::string bytes;
    int code;
  };
  const Case cases[] = {
      {"count larger than the records", qdtest::facetFile(1.0f, recs, 9), -4},
      {"negative count", qdtest::facetFile(1.0f, recs, -1), -4},
      {"count 2^31-1", qdtest::facetFile(1.0f, recs, INT_MAX), -4},
      {"zero count with records", qdtest::facetFile(1.0f, recs, 0), -4},
      {"version 2 zero count", qdtest::facetFile(2.0f, recs, 0), -4},
      {"count counting a partial record", good.substr(0, good.size() - 10), -4},
      {"empty file", "", -2},
      {"three bytes", good.substr(0, 3), -2},
      {"83 bytes", good.substr(0, 83), -4},
      {"header cut short", good.substr(0, 255), -4},
      {"version 3", qdtest::facetFile(3.0f, recs), -4},
      {"version 0.5", qdtest::facetFile(0.5f, recs), -4},
      {"version NaN", qdtest::facetFile(std::nanf(""), recs), -4},
  };
  for (const Case& c : cases) {
    writeFile("bad.3df", c.bytes);
    for (int type : {3, 4}) {
      Loaded model(type);
      reports.clear();
      memTestFailAt(1);
      EXPECT_EQ(modelLoadFile(&model.m, "bad.3df"), c.code) << c.what;
      memTestFailAt(0);
      EXPECT_EQ(modelIsEmpty(&model.m), 1) << c.what;
      ASSERT_EQ(reports.size(), 1u) << c.what;
      EXPECT_NE(reports[0].find("bad.3df"), std::string::npos) << reports[0];
    }
  }
}

// A trailing partial record after the counted ones is ignored; a first word of 1.5 is version 1.
TEST_F(ModelLoadTest, FacetFileTrailingBytesAndVersionOneAndAHalf) {
  const std::vector<Tri3D> mesh = qdtest::roofMesh();
  writeFile("tail.3df", qdtest::facetFile(1.5f, qdtest::recordsOf(mesh)) + std::string(40, '\x7f'));
  Loaded model(3);
  ASSERT_EQ(modelLoadFile(&model.m, "tail.3df"), 0);
  EXPECT_EQ(facetCount(model.m), static_cast<int>(mesh.size()));
  EXPECT_EQ(modelLastLoadStats().passedOver, static_cast<long long>(mesh.size()));
}

// Hostile STL files: the code, an empty model and a report naming the file.
TEST_F(ModelLoadTest, HostileStlFiles) {
  const std::vector<Tri3D> mesh = qdtest::roofMesh();
  const std::string bin = qdtest::binaryStl(mesh, false);
  struct Case {
    const char* what;
    std::string bytes;
    int code;
    int facets;
  };
  const Case cases[] = {
      {"empty file", "", -2, 0},
      {"83 bytes", bin.substr(0, 83), -2, 0},
      {"header only, count 0", qdtest::binaryStl({}, false), 0, 0},
      {"header only, count 8", bin.substr(0, 84), -2, 0},
      // A count that does not fit the size is no binary file; nor is it text: the load fails.
      {"count larger than the records", qdtest::binaryStl(mesh, false, "x", 1000), -2, 0},
      {"count 2^31-1", qdtest::binaryStl(mesh, false, "x", INT_MAX), -2, 0},
      {"trailing partial record", bin.substr(0, bin.size() - 20), 0, 7},
      {"text without solid",
       "facet normal 0 0 1\nouter loop\nvertex 1 2 3\n" + std::string(200, ' '), -2, 0},
      {"upper-case text",
       "SOLID X\n FACET NORMAL 0 0 1\n  OUTER LOOP\n   VERTEX 0 0 0\n   VERTEX 1 0 0\n"
       "   VERTEX 0 1 0\n  ENDLOOP\n ENDFACET\nENDSOLID X\n" +
           std::string(200, ' '),
       0, 1},
      {"bad text vertex", "solid x\nfacet normal 0 0 1\nouter loop\nvertex 1 2\n", -2, 0},
      {"text coordinate inf", "solid x\nfacet normal 0 0 1\nouter loop\nvertex 1 2 inf\n", -2, 0},
  };
  for (const Case& c : cases) {
    writeFile("bad.stl", c.bytes);
    reports.clear();
    Loaded model(3);
    EXPECT_EQ(modelLoadFile(&model.m, "bad.stl"), c.code) << c.what;
    EXPECT_EQ(facetCount(model.m), c.facets) << c.what;
    // Failures and empty models are both reported with the file's name.
    EXPECT_EQ(reports.size(), c.code != 0 || c.facets == 0 ? 1u : 0u) << c.what;
    if (!reports.empty()) {
      EXPECT_EQ(reports[0].rfind("1107 ", 0), 0u) << c.what << ": " << reports[0];
      EXPECT_NE(reports[0].find("bad.stl"), std::string::npos);
    }
  }
}

// An exchange file with a coordinate that is not a finite number fails like an STL or facet
// file with one: it loaded, and its facet's undefined height upset the order of the others.
TEST_F(ModelLoadTest, ExchangeFileWithANonFiniteCoordinateFails) {
  const std::string roof = qdtest::exchangePolyhedron(qdtest::roofMesh());
  const std::string good = "x[3.5]";
  ASSERT_NE(roof.find(good), std::string::npos);
  for (const char* value : {"x[nan]", "x[1e999]"}) {
    std::string bytes = roof;
    bytes.replace(bytes.find(good), good.size(), value);
    writeFile("bad.qdx", bytes);
    for (int type : {3, 4}) {
      reports.clear();
      Loaded model(type);
      EXPECT_EQ(modelLoadFile(&model.m, "bad.qdx"), -2) << value;
      EXPECT_EQ(modelIsEmpty(&model.m), 1) << value;
      ASSERT_EQ(reports.size(), 1u) << value;
      EXPECT_EQ(reports[0].rfind("1107 ", 0), 0u) << reports[0];
      EXPECT_NE(reports[0].find("bad.qdx"), std::string::npos) << reports[0];
    }
  }
}

// The generated shapes in every STL encoding: every triangle is read and stored, and the box is
// the shape's own (tool system = identity).
TEST_F(ModelLoadTest, GeneratedShapesLoadInEveryEncoding) {
  using qdtest::gen::Encoding;
  for (const qdtest::gen::Mesh& shape : qdtest::gen::allShapes()) {
    for (Encoding e : {Encoding::kBinary, Encoding::kText, Encoding::kBinarySolidHeader}) {
      const std::string what = shape.name + " " + qdtest::gen::encodingName(e);
      ASSERT_TRUE(qdtest::gen::writeStl("shape.stl", shape, e)) << what;
      for (int type : {3, 4}) {
        Loaded model(type);
        ASSERT_EQ(modelLoadFile(&model.m, "shape.stl"), 0) << what;
        const ModelLoadStats s = modelLastLoadStats();
        EXPECT_EQ(s.read, static_cast<int>(shape.triangles)) << what;
        EXPECT_EQ(s.stored, s.read) << what;
        EXPECT_EQ(facetCount(model.m), s.stored) << what;
        const double lo[3] = {shape.lo.x, shape.lo.y, shape.lo.z};
        const double hi[3] = {shape.hi.x, shape.hi.y, shape.hi.z};
        const double mlo[3] = {model.m.boxMin.x, model.m.boxMin.y, model.m.boxMin.z};
        const double mhi[3] = {model.m.boxMax.x, model.m.boxMax.y, model.m.boxMax.z};
        for (int k = 0; k < 3; ++k) {
          EXPECT_NEAR(mlo[k], lo[k], 1e-4) << what << " " << k;
          EXPECT_NEAR(mhi[k], hi[k], 1e-4) << what << " " << k;
        }
      }
    }
  }
}

// The real files: every triangle of the file is loaded or counted as filtered, and the box
// matches the folder's table (tool system = identity).
TEST_F(ModelLoadTest, RealFilesLoadWithEveryTriangleAccountedFor) {
  QDTEST_SKIP_WITHOUT_REAL_MESHES();
  struct Real {
    const char* name;
    int triangles;
    Point3D lo, hi;
  };
  const Real files[] = {
      {"cone_on_side.stl", 676, {-0.0000, -9.9987, -10.0000}, {20.0000, 9.9987, 9.9950}},
      {"ktoolcav.stl", 4090, {-2.0000, 0.0000, -1.5000}, {2.0000, 1.6250, 1.8125}},
      {"ktoolcor.stl", 3802, {-2.0000, -0.7500, -1.5000}, {2.0000, 1.0000, 1.8125}},
      {"pycam-textbox.stl", 1444, {0.0000, 0.0000, -10.0000}, {130.0000, 50.0000, 0.0000}},
      {"sphere_on_plate.stl", 7570, {0.0000, 0.0000, -1.0000}, {76.4923, 76.4923, 30.8718}},
      {"wheel_in_box.stl", 6102, {-100.0000, -100.0000, 0.0000}, {100.0000, 100.0000, 50.0000}},
  };
  for (const Real& f : files) {
    for (int type : {3, 4}) {
      Loaded model(type);
      ASSERT_EQ(modelLoadFile(&model.m, qdtest::dataPath(f.name).c_str()), 0) << f.name;
      const ModelLoadStats s = modelLastLoadStats();
      EXPECT_EQ(s.read, f.triangles) << f.name;
      EXPECT_EQ(s.stored + s.filtered, s.read) << f.name;
      EXPECT_EQ(facetCount(model.m), s.stored) << f.name;
      const double lo[3] = {f.lo.x, f.lo.y, f.lo.z}, hi[3] = {f.hi.x, f.hi.y, f.hi.z};
      const double mlo[3] = {model.m.boxMin.x, model.m.boxMin.y, model.m.boxMin.z};
      const double mhi[3] = {model.m.boxMax.x, model.m.boxMax.y, model.m.boxMax.z};
      for (int k = 0; k < 3; ++k) {
        EXPECT_NEAR(mlo[k], lo[k], 1e-3) << f.name << " " << k;
        EXPECT_NEAR(mhi[k], hi[k], 1e-3) << f.name << " " << k;
      }
      EXPECT_EQ(modelBuildIndex(&model.m), 1) << f.name;
    }
  }
}

// A face filter drops triangles; they are counted as filtered.
int keepAboveZero(int, const double*, const double*, const double* z) {
  return std::max({z[0], z[1], z[2]}) > 1.0;
}
TEST_F(ModelLoadTest, FilteredTrianglesAreCounted) {
  writeFile("roof.stl", qdtest::asciiStl(qdtest::roofMesh()));
  polyhedronSetFaceFilter(keepAboveZero);
  Loaded model(3);
  ASSERT_EQ(modelLoadFile(&model.m, "roof.stl"), 0);
  const ModelLoadStats s = modelLastLoadStats();
  EXPECT_EQ(s.filtered, 2);
  EXPECT_EQ(s.stored, 6);
  EXPECT_EQ(facetCount(model.m), 6);
}

// A triangle whose heights lie within 0.0001 comes out level at the largest; the highest corner
// comes first with the cyclic order kept; the tool system maps the corners.
TEST_F(ModelLoadTest, SnapRotationAndToolSystem) {
  const std::vector<Tri3D> tris = {
      Tri3D{{{0, 0, 1.0}, {1, 0, 1.00004}, {0, 1, 0.99997}}},
      Tri3D{{{0, 0, 0}, {1, 0, 2}, {0, 1, 1}}},
  };
  writeFile("t.stl", qdtest::asciiStl(tris));
  writeFile("t.3df", qdtest::facetFile(1.0f, qdtest::recordsOf(tris)));
  for (const char* name : {"t.stl", "t.3df"}) {
    Loaded model(3);
    ASSERT_EQ(modelLoadFile(&model.m, name), 0);
    ASSERT_EQ(facetCount(model.m), 2);
    const Tri3D& steep = model.m.triangles->items[0];
    EXPECT_EQ(steep.v[0].z, 2);
    EXPECT_EQ(steep.v[1].x, 0);  // (1, 2, 0): cyclic order kept
    EXPECT_EQ(steep.v[1].y, 1);
    const Tri3D& level = model.m.triangles->items[1];
    for (const Point3D& p : level.v) EXPECT_EQ(p.z, 1.00004) << name;
  }
  // The tool system shifted by (10, 0, 5): corners are mapped world -> tool.
  csysSetTool(Point3D{10, 0, 5}, Point3D{1, 0, 0}, Point3D{0, 1, 0}, Point3D{0, 0, 1});
  csysPrepare();
  Loaded model(3);
  ASSERT_EQ(modelLoadFile(&model.m, "t.stl"), 0);
  EXPECT_NEAR(model.m.boxMax.z, 2 - 5, 1e-12);
  EXPECT_NEAR(model.m.boxMin.x, -10, 1e-12);
  csysSetTool(Point3D{0, 0, 0}, Point3D{1, 0, 0}, Point3D{0, 1, 0}, Point3D{0, 0, 1});
  csysPrepare();
}

// Groups of a version-2 file become sub-models with their allowances (times the unit factor);
// a '%' group is additional and, in a four-corner model, linked after the others; records of
// no group are passed over.
TEST_F(ModelLoadTest, StructuredFacetFileGroups) {
  const std::vector<Tri3D> mesh = qdtest::roofMesh();
  std::vector<QuadFacet> recs;
  for (std::size_t i = 0; i < mesh.size(); ++i) {
    const std::int16_t group = i < 3 ? 0 : (i < 6 ? 2 : 7);
    recs.push_back(qdtest::recordOf(mesh[i], static_cast<std::int16_t>(group | 0x40)));
  }
  const std::vector<qdtest::GroupBlock> groups = {
      {INT_MAX, "%near", 0.5}, {0, "unused", 0}, {-5, "walls", 0.25}};
  writeFile("g.3df", qdtest::facetFile(2.0f, recs, qdtest::kCountOfRecords, groups));
  unitFactor = 2.0;  // the run's length factor: 10 / tool radius
  for (int type : {3, 4}) {
    Loaded model(type);
    ASSERT_EQ(modelLoadFileEx(&model.m, "g.3df", 0), 0);
    EXPECT_EQ(facetCount(model.m), 0);
    ASSERT_NE(model.m.subModels, nullptr);
    ASSERT_NE(model.m.subModels->next, nullptr);
    EXPECT_EQ(model.m.subModels->next->next, nullptr);
    const SubModel* first = model.m.subModels;
    const SubModel* second = first->next;
    if (type == 3) {  // group order
      EXPECT_EQ(first->additional, 1);
      EXPECT_EQ(first->cutter.radius, 3.0);   // 2 + 0.5 x 2
      EXPECT_EQ(second->cutter.radius, 2.5);  // 2 + 0.25 x 2
      EXPECT_EQ(first->triangles->count, 3);
    } else {  // the additional group after the others
      EXPECT_EQ(first->additional, 0);
      EXPECT_EQ(second->additional, 1);
      EXPECT_EQ(second->quadCount, 3);
    }
    EXPECT_EQ(modelLastLoadStats().passedOver >= 2, true);
    // The model box covers the grouped facets only (records 6 and 7 had no group).
    EXPECT_EQ(model.m.boxMax.z, 5.125);
    EXPECT_EQ(model.m.boxMin.z, 0.25);
  }
  modelSetIgnoreGroupAllowance(1);
  Loaded model(3);
  ASSERT_EQ(modelLoadFileEx(&model.m, "g.3df", 0), 0);
  EXPECT_EQ(model.m.subModels->cutter.radius, 2.0);
}

// A version-2 file whose records all carry group 7 is an empty model (success, reported).
TEST_F(ModelLoadTest, StructuredFileWithoutGroupsIsEmpty) {
  writeFile("none.3df", qdtest::facetFile(2.0f, qdtest::recordsOf(qdtest::roofMesh(), 7)));
  Loaded model(4);
  ASSERT_EQ(modelLoadFileEx(&model.m, "none.3df", 0), 0);
  EXPECT_EQ(modelIsEmpty(&model.m), 1);
  EXPECT_EQ(model.m.subModels, nullptr);
  EXPECT_EQ(reports.size(), 1u);
}

// A model of zero-area facets only (corners on one line, corners repeated) gave a toolpath over its
// box. It is refused as an empty model is: no facet, the empty box, message 1107 naming the
// file; one facet with an area among them keeps the model, in every file kind.
TEST_F(ModelLoadTest, ZeroAreaFacetsOnlyMakeAnEmptyModel) {
  const std::vector<Tri3D> flat = {Tri3D{{{0, 0, 0}, {10, 0, 0}, {20, 0, 0}}},
                                   Tri3D{{{0, 0, 5}, {0, 0, 5}, {3, 3, 5}}},
                                   Tri3D{{{1, 1, 1}, {1, 1, 1}, {1, 1, 1}}}};
  std::vector<Tri3D> withOne = flat;
  withOne.push_back(Tri3D{{{0, 0, 0}, {1, 0, 0}, {0, 1e-3, 0}}});  // small, yet a surface
  struct Case {
    const char* file;
    std::string text;
    int facetType;
    bool empty;
  };
  const Case cases[] = {
      {"flat.stl", qdtest::asciiStl(flat), 3, true},
      {"flatb.stl", qdtest::binaryStl(flat, false), 3, true},
      {"flat.3df", qdtest::facetFile(1.0f, qdtest::recordsOf(flat)), 4, true},
      {"flat.qdx", qdtest::exchangePolyhedron(flat), 3, true},
      {"one.stl", qdtest::asciiStl(withOne), 3, false},
      {"one.3df", qdtest::facetFile(1.0f, qdtest::recordsOf(withOne)), 4, false},
  };
  for (const Case& c : cases) {
    reports.clear();
    writeFile(c.file, c.text);
    Loaded model(c.facetType);
    ASSERT_EQ(modelLoadFile(&model.m, c.file), 0) << c.file;
    EXPECT_EQ(modelIsEmpty(&model.m), c.empty ? 1 : 0) << c.file;
    if (!c.empty) {
      EXPECT_TRUE(reports.empty()) << c.file;
      continue;
    }
    EXPECT_GT(model.m.boxMin.x, model.m.boxMax.x) << c.file << ": the empty box";
    ASSERT_EQ(reports.size(), 1u) << c.file;
    EXPECT_EQ(reports[0],
              std::string("1107 every facet has zero area, the model is empty: ") + c.file);
  }
}

TEST_F(ModelLoadTest, FileNameRules) {
  EXPECT_EQ(isQdxFileName("Part.QdX"), 1);
  EXPECT_EQ(isStlFileName("a.b/part.STL"), 1);
  EXPECT_EQ(isStlFileName("part.stl.bak"), 0);
  EXPECT_EQ(isStlFileName("part.stlx"), 0);
  EXPECT_EQ(isStlFileName(nullptr), 0);
  // A name ending in .stl followed by a three-letter extension is a binary facet file.
  writeFile("part.stl.bak", qdtest::asciiStl(qdtest::roofMesh()));
  Loaded model(3);
  EXPECT_EQ(modelLoadFile(&model.m, "part.stl.bak"), -4);
}

// Extra facets merge into the model; an extra file that cannot be read leaves it loaded.
TEST_F(ModelLoadTest, ExtraFilesMergeOrLeaveTheModelLoaded) {
  const std::vector<Tri3D> mesh = qdtest::roofMesh();
  const std::vector<Tri3D> a(mesh.begin(), mesh.begin() + 5), b(mesh.begin() + 5, mesh.end());
  writeFile("all.stl", qdtest::asciiStl(mesh));
  writeFile("a.stl", qdtest::asciiStl(a));
  writeFile("b.3df", qdtest::facetFile(1.0f, qdtest::recordsOf(b)));
  for (int type : {3, 4}) {
    Loaded whole(type), merged(type), missing(type);
    ASSERT_EQ(modelLoadFile(&whole.m, "all.stl"), 0);
    modelSetProgressHook([](int, int) {});
    ASSERT_EQ(modelLoadWithExtra(&merged.m, "a.stl", "b.3df"), 0);
    EXPECT_EQ(modelGetProgressHook(), nullptr);
    expectSameModel(whole.m, merged.m, "merged");
    ASSERT_EQ(modelLoadMerged(&missing.m, "a.stl", "gone.3df", 0), 0);
    EXPECT_EQ(facetCount(missing.m), 5);
  }
}

// Sub-model files: their own cutter with the allowance, their own grid; extra files as
// additional sub-models; a failing further file is ignored, a failing first one is returned.
TEST_F(ModelLoadTest, SubModelFiles) {
  const std::vector<Tri3D> mesh = qdtest::roofMesh();
  writeFile("s.3df", qdtest::facetFile(1.0f, qdtest::recordsOf(mesh)));
  writeFile("n.3df", qdtest::facetFile(2.0f, qdtest::recordsOf(mesh, 1)));
  for (int type : {3, 4}) {
    Loaded model(type);
    EXPECT_EQ(modelAddSubModels(&model.m, "s.3df", "s.3df", "gone.3df", 0, 0.5), 0);
    ASSERT_NE(model.m.subModels, nullptr);
    const SubModel* second = model.m.subModels->next;
    ASSERT_NE(second, nullptr);
    EXPECT_EQ(second->next, nullptr);
    EXPECT_EQ(model.m.subModels->additional, 0);
    EXPECT_EQ(second->additional, 1);
    EXPECT_EQ(second->cutter.radius, 2.5);
    EXPECT_NE(second->grid, nullptr);
    EXPECT_EQ(model.m.boxMax.z, 5.125);
    EXPECT_EQ(facetCount(model.m), 0);
    EXPECT_EQ(modelAddSubModelFile(&model.m, "s.3df", 0, 0, 5, 0), -3);
    Loaded bad(type);
    EXPECT_EQ(modelAddSubModels(&bad.m, "gone.3df", "s.3df", "", 0, 0.5), -2);
    EXPECT_EQ(bad.m.subModels, nullptr);

    Loaded layered(type);
    ASSERT_EQ(modelLoadWithSubModels(&layered.m, "s.3df", "n.3df", "s.3df", 0, 1.0), 0);
    int subs = 0, additional = 0;
    for (const SubModel* s = layered.m.subModels; s != nullptr; s = s->next) {
      ++subs;
      additional += s->additional;
    }
    // The near file's group, then the near model's own facets (none: a structured load), then
    // the extra file.
    EXPECT_EQ(subs, 2);
    EXPECT_EQ(additional, 2);
    EXPECT_EQ(facetCount(layered.m), static_cast<int>(type == 3 ? mesh.size() : mesh.size()));
  }
}

// A sub-model file of a very elongated box asked for millions of grid cells of 100 indices each
// and ran out of memory; it now loads without a grid of its own.
TEST_F(ModelLoadTest, ElongatedSubModelGetsNoGrid) {
  const std::vector<Tri3D> sliver = {Tri3D{{{0, 0, 0}, {0, 1e12, 0}, {0, 0, 1}}}};
  writeFile("sliver.3df", qdtest::facetFile(1.0f, qdtest::recordsOf(sliver)));
  Loaded model(3);
  ASSERT_EQ(modelAddSubModelFile(&model.m, "sliver.3df", 0, 0, 3, 0), 1);
  ASSERT_NE(model.m.subModels, nullptr);
  EXPECT_EQ(model.m.subModels->grid, nullptr);
  EXPECT_EQ(model.m.subModels->triangles->count, 1);
}

// Every allocation of a load made to fail in turn: the failure code, an empty model, no leak.
TEST_F(ModelLoadTest, AllocationFailuresLeaveNothing) {
  const std::vector<Tri3D> mesh = qdtest::roofMesh();
  std::vector<QuadFacet> grouped = qdtest::recordsOf(mesh, 1);
  grouped[0].flags = 3;
  writeFile("m.stl", qdtest::binaryStl(mesh, false));
  writeFile("t.stl", qdtest::asciiStl(mesh));
  writeFile("m.3df", qdtest::facetFile(1.0f, qdtest::recordsOf(mesh)));
  writeFile("g.3df",
            qdtest::facetFile(2.0f, grouped, qdtest::kCountOfRecords, {{1, "a", 0}, {1, "%b", 0}}));
  writeFile("m.qdx", qdtest::exchangePolyhedron(mesh));
  for (const char* name : {"m.stl", "t.stl", "m.3df", "g.3df", "m.qdx"}) {
    for (int type : {3, 4}) {
      bool completed = false;
      for (long n = 1; n < 400 && !completed; ++n) {
        Loaded model(type);
        memTestFailAt(n);
        const int r = modelLoadFileEx(&model.m, name, 0);
        memTestFailAt(0);
        if (r == 0) {
          completed = !modelIsEmpty(&model.m);
          continue;
        }
        EXPECT_TRUE(r == -1 || r == -2) << name << " n=" << n << " r=" << r;
        EXPECT_EQ(modelIsEmpty(&model.m), 1) << name << " n=" << n;
        EXPECT_EQ(model.m.subModels, nullptr);
      }
      EXPECT_TRUE(completed) << name;
    }
  }
}

}  // namespace
