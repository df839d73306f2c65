// Tests of the triangle box-tree collision: the triangle test against an exact distance oracle
// and a table of degenerate cases, the tree against all pairs tested one by one under random
// rigid placements (refitted or not), boxes that never lose a vertex to rounding, boxes of an
// earlier placement that are never trusted, and allocation failures of the build.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <numbers>
#include <random>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include "framework/memory.h"
#include "geometry/geo_error.h"
#include "geometry/lists.h"
#include "geometry/matrix4.h"
#include "model/coll_object.h"
#include "model/stl_file.h"
#include "model_fixture.h"
#include "support/real_meshes.h"
#include "support/temp_dir.h"

namespace {

using LD = long double;
struct V {
  LD x, y, z;
};
V operator-(const V& a, const V& b) { return {a.x - b.x, a.y - b.y, a.z - b.z}; }
V operator+(const V& a, const V& b) { return {a.x + b.x, a.y + b.y, a.z + b.z}; }
V operator*(LD f, const V& a) { return {f * a.x, f * a.y, f * a.z}; }
LD dot(const V& a, const V& b) { return a.x * b.x + a.y * b.y + a.z * b.z; }
V cross(const V& a, const V& b) {
  return {a.y * b.z - a.z * b.y, a.z * b.x - a.x * b.z, a.x * b.y - a.y * b.x};
}
LD norm(const V& a) { return std::sqrt(dot(a, a)); }
V toV(const Point3D& p) { return {p.x, p.y, p.z}; }

// Distance from p to the segment ab.
LD pointSeg(const V& p, const V& a, const V& b) {
  const V ab = b - a;
  const LD l2 = dot(ab, ab);
  LD t = l2 > 0 ? dot(p - a, ab) / l2 : 0;
  t = std::clamp<LD>(t, 0, 1);
  return norm(p - (a + t * ab));
}

// Distance of two segments: the clamped closest-point solution, checked against the four
// endpoint-to-segment distances (which cover the parallel case).
LD segSeg(const V& p0, const V& p1, const V& q0, const V& q1) {
  LD best = std::min(
      {pointSeg(p0, q0, q1), pointSeg(p1, q0, q1), pointSeg(q0, p0, p1), pointSeg(q1, p0, p1)});
  const V d1 = p1 - p0, d2 = q1 - q0, r = p0 - q0;
  const LD a = dot(d1, d1), e = dot(d2, d2), b = dot(d1, d2), c = dot(d1, r), f = dot(d2, r);
  const LD den = a * e - b * b;
  if (den > 1e-30L * a * e) {
    const LD s = (b * f - c * e) / den, t = (a * f - b * c) / den;
    if (s > 0 && s < 1 && t > 0 && t < 1)
      best = std::min(best, norm((p0 + s * d1) - (q0 + t * d2)));
  }
  return best;
}

// Distance from p to the triangle t.
LD pointTri(const V& p, const V t[3]) {
  const V n = cross(t[1] - t[0], t[2] - t[0]);
  const LD nn = norm(n);
  LD best = std::min({pointSeg(p, t[0], t[1]), pointSeg(p, t[1], t[2]), pointSeg(p, t[2], t[0])});
  if (nn > 0) {
    const V u = (1 / nn) * n;
    const LD h = dot(p - t[0], u);
    const V f = p - h * u;
    bool inside = true;
    for (int i = 0; i < 3; ++i) {
      if (dot(cross(t[(i + 1) % 3] - t[i], f - t[i]), n) < 0) inside = false;
    }
    if (inside) best = std::min(best, std::fabs(h));
  }
  return best;
}

// How deep the segment ab pierces the triangle t: the least of its ends' distances from the
// plane and of the piercing point's distances from the triangle's edges; 0 when it does not
// pierce.
LD pierceDepth(const V& a, const V& b, const V t[3]) {
  const V n = cross(t[1] - t[0], t[2] - t[0]);
  const LD nn = norm(n);
  if (nn == 0) return 0;
  const V u = (1 / nn) * n;
  const LD da = dot(a - t[0], u), db = dot(b - t[0], u);
  if ((da > 0) == (db > 0) || da == 0 || db == 0) return 0;
  const V x = a + (da / (da - db)) * (b - a);
  LD depth = std::min(std::fabs(da), std::fabs(db));
  for (int i = 0; i < 3; ++i) {
    const V e = t[(i + 1) % 3] - t[i];
    const LD inward = dot(cross(u, e), x - t[i]) / norm(e);  // distance inside edge i
    if (inward <= 0) return 0;
    depth = std::min(depth, inward);
  }
  return depth;
}

// Exact distance of two triangles (0 when they cross) and the depth of a crossing.
struct Oracle {
  LD distance;
  LD depth;
};
Oracle oracle(const Tri3D& p3, const Tri3D& q3) {
  const V p[3] = {toV(p3.v[0]), toV(p3.v[1]), toV(p3.v[2])};
  const V q[3] = {toV(q3.v[0]), toV(q3.v[1]), toV(q3.v[2])};
  LD depth = 0;
  for (int i = 0; i < 3; ++i) {
    depth = std::max(depth, pierceDepth(p[i], p[(i + 1) % 3], q));
    depth = std::max(depth, pierceDepth(q[i], q[(i + 1) % 3], p));
  }
  if (depth > 0) return {0, depth};
  LD d = 1e300L;
  for (int i = 0; i < 3; ++i) {
    d = std::min({d, pointTri(p[i], q), pointTri(q[i], p)});
    for (int j = 0; j < 3; ++j) d = std::min(d, segSeg(p[i], p[(i + 1) % 3], q[j], q[(j + 1) % 3]));
  }
  return {d, 0};
}

Tri3D randomTri(std::mt19937_64& rng, double size) {
  std::uniform_real_distribution<double> u(-size, size);
  return Tri3D{{{u(rng), u(rng), u(rng)}, {u(rng), u(rng), u(rng)}, {u(rng), u(rng), u(rng)}}};
}

Tri3D shifted(const Tri3D& t, const Point3D& d) {
  Tri3D r = t;
  for (Point3D& v : r.v) v = vecAdd(v, d);
  return r;
}

// A float triangle list over the triangles (as they become float).
struct FList {
  TriFList* list;
  explicit FList(const std::vector<Tri3D>& tris) : list(qdtest::floatTriList(tris)) {}
  ~FList() { lstTriFFree(list); }
  FList(const FList&) = delete;
  FList& operator=(const FList&) = delete;
};

struct Obj {
  CollisionObject* o;
  explicit Obj(TriFList* l) : o(collObjectNew(l)) {}
  ~Obj() { collObjectFree(o); }
  Obj(const Obj&) = delete;
  Obj& operator=(const Obj&) = delete;
};

struct Pairs {
  RecList* list = lstRec8New(10);
  ~Pairs() { lstRecFree(list); }
  std::set<std::pair<int, int>> set() const {
    std::set<std::pair<int, int>> s;
    const Rec8* r = static_cast<const Rec8*>(list->items);
    for (int i = 0; i < list->count; ++i) s.insert({r[i].w[0], r[i].w[1]});
    return s;
  }
};

// A random rotation (unit quaternion) as a placement: rows are the images of the axes.
Matrix4 randomRotation(std::mt19937_64& rng) {
  std::normal_distribution<double> g(0, 1);
  double w = g(rng), x = g(rng), y = g(rng), z = g(rng);
  const double l = std::sqrt(w * w + x * x + y * y + z * z);
  w /= l, x /= l, y /= l, z /= l;
  Matrix4 m;
  matIdentity(&m);
  const double r[3][3] = {{1 - 2 * (y * y + z * z), 2 * (x * y - w * z), 2 * (x * z + w * y)},
                          {2 * (x * y + w * z), 1 - 2 * (x * x + z * z), 2 * (y * z - w * x)},
                          {2 * (x * z - w * y), 2 * (y * z + w * x), 1 - 2 * (x * x + y * y)}};
  for (int i = 0; i < 3; ++i)
    for (int j = 0; j < 3; ++j) m.m[i][j] = r[j][i];
  return m;
}

// Every pair that meets, triangle by triangle.
std::set<std::pair<int, int>> allPairs(const CollisionObject* a, const CollisionObject* b) {
  std::set<std::pair<int, int>> s;
  for (int i = 0; i < a->triangles->count; ++i) {
    Tri3D p;
    collObjectPlacedTriangle(a, i, &p);
    for (int j = 0; j < b->triangles->count; ++j) {
      Tri3D q;
      collObjectPlacedTriangle(b, j, &q);
      if (collTriTriIntersect(p, q) == 1) s.insert({i, j});
    }
  }
  return s;
}

class CollObjectTest : public ::testing::Test {
 protected:
  void SetUp() override {
    geoResetState();
    collObjectResetState();
  }
  void TearDown() override { memTestFailAt(0); }
};

}  // namespace

// Random pairs near each other: apart beyond 1e-7 must be apart, crossing deeper than 1e-6 must
// meet; the band between depends on rounding and is not judged.
TEST_F(CollObjectTest, TriangleTestAgreesWithExactDistance) {
  std::mt19937_64 rng(7);
  std::uniform_real_distribution<double> u(0, 1);
  int apart = 0, meet = 0;
  for (int trial = 0; trial < 20000; ++trial) {
    const Tri3D p = randomTri(rng, 10);
    Tri3D q = randomTri(rng, 10);
    // Pull q near p often, so many pairs are barely apart or barely crossing.
    if (trial % 2 == 0) {
      const Oracle o = oracle(p, q);
      if (o.distance > 0) {
        const Point3D c{(p.v[0].x + p.v[1].x + p.v[2].x) / 3 - q.v[0].x,
                        (p.v[0].y + p.v[1].y + p.v[2].y) / 3 - q.v[0].y,
                        (p.v[0].z + p.v[1].z + p.v[2].z) / 3 - q.v[0].z};
        const double f = std::pow(10.0, -9.0 * u(rng));
        q = shifted(q, vecScale(u(rng) * f, c));
      }
    }
    const Oracle o = oracle(p, q);
    const int got = collTriTriIntersect(p, q);
    if (o.distance > 1e-7) {
      EXPECT_EQ(got, 0) << "trial " << trial << " distance " << static_cast<double>(o.distance);
      ++apart;
    } else if (o.depth > 1e-6) {
      EXPECT_EQ(got, 1) << "trial " << trial << " depth " << static_cast<double>(o.depth);
      ++meet;
    }
  }
  EXPECT_GT(apart, 1000);
  EXPECT_GT(meet, 1000);
}

// Pairs apart by a known gap along a separating direction, down to 1e-7 above the plane.
TEST_F(CollObjectTest, TriangleTestSeparatesSmallGaps) {
  std::mt19937_64 rng(11);
  std::uniform_real_distribution<double> u(-5, 5);
  for (double gap : {1e-1, 1e-3, 1e-5, 2e-7}) {
    for (int trial = 0; trial < 500; ++trial) {
      // p in the plane z = 0, q above it touching down at one vertex over p's interior, lifted.
      const Tri3D p{{{-10, -10, 0}, {10, -10, 0}, {0, 10, 0}}};
      const Point3D tip{u(rng) * 0.5, u(rng) * 0.5 - 2, gap};
      const Tri3D q{{tip,
                     {u(rng), u(rng), gap + 1 + std::fabs(u(rng))},
                     {u(rng), u(rng), gap + 1 + std::fabs(u(rng))}}};
      EXPECT_EQ(collTriTriIntersect(p, q), 0) << gap;
      EXPECT_EQ(collTriTriIntersect(q, p), 0) << gap;
      EXPECT_EQ(collTriTriIntersect(p, shifted(q, {0, 0, -2 * gap})), 1) << gap;
    }
  }
}

TEST_F(CollObjectTest, DegenerateAndTouchingCases) {
  const Point3D o{0, 0, 0}, x{1, 0, 0}, y{0, 1, 0}, z{0, 0, 1};
  const double t = 0.000004;  // below the coincidence tolerance
  struct Case {
    const char* name;
    Tri3D p, q;
    int meet;
  };
  const Case cases[] = {
      {"shared edge", {{o, x, y}}, {{o, x, z}}, 1},
      {"shared vertex only", {{o, x, y}}, {{o, {-1, 0, 1}, {0, -1, 1}}}, 1},
      {"coplanar overlap", {{o, x, y}}, {{{0.2, 0.2, 0}, {2, 0.2, 0}, {0.2, 2, 0}}}, 1},
      {"coplanar apart", {{o, x, y}}, {{{0.6, 0.6, 0}, {2, 0.6, 0}, {0.6, 2, 0}}}, 0},
      {"crossing",
       {{{-1, -1, 0}, {1, -1, 0}, {0, 1, 0}}},
       {{{0, 0, -1}, {0, 0.2, 1}, {0.3, 0, 1}}},
       1},
      {"parallel planes", {{o, x, y}}, {{{0, 0, 1e-3}, {1, 0, 1e-3}, {0, 1, 1e-3}}}, 0},
      {"p all coincident", {{o, {t, 0, 0}, {0, t, 0}}}, {{{-1, -1, 0}, {1, -1, 0}, {0, 1, 0}}}, 0},
      {"q all coincident", {{{-1, -1, 0}, {1, -1, 0}, {0, 1, 0}}}, {{o, {0, 0, t}, {t, 0, 0}}}, 0},
      {"two coinciding pairs",
       {{{0, 0, -1}, {0, 0, 1}, {0, 0, 1 + t}}},
       {{{-1, 0, 0}, {1, 0, 0}, {1 + t, 0, 0}}},
       0},
      {"one coinciding pair crossing",
       {{{0, 0, -1}, {0, 0, 1}, {0, t, 1}}},
       {{{-1, -1, 0}, {1, -1, 0}, {0, 1, 0}}},
       1},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(collTriTriIntersect(c.p, c.q), c.meet) << c.name;
    EXPECT_EQ(collTriTriIntersect(c.q, c.p), c.meet) << c.name << " (swapped)";
  }
}

TEST_F(CollObjectTest, NodeCountsAndRoot) {
  EXPECT_EQ(collObjectNew(nullptr), nullptr);
  FList empty({});
  EXPECT_EQ(collObjectNew(empty.list), nullptr);
  std::mt19937_64 rng(3);
  for (int n = 1; n <= 40; ++n) {
    std::vector<Tri3D> tris;
    for (int i = 0; i < n; ++i) tris.push_back(randomTri(rng, 5));
    FList l(tris);
    Obj obj(l.list);
    ASSERT_NE(obj.o, nullptr);
    // Levels n, ceil(n/2), ... 1; a lone triangle reserves two nodes.
    int expected = 0;
    for (int k = n;; k = (k + 1) / 2) {
      expected += k;
      if (k == 1) break;
    }
    if (n == 1) expected = 2;
    EXPECT_EQ(obj.o->nodeCount, expected) << n;
    if (n == 1) {
      EXPECT_EQ(obj.o->root, &obj.o->nodes[0]);
      EXPECT_EQ(obj.o->root->first, nullptr);
    } else {
      EXPECT_EQ(obj.o->root, &obj.o->nodes[expected - 1]);
    }
    // Every triangle is reached from the root exactly once.
    std::vector<int> seen(static_cast<std::size_t>(n), 0);
    std::vector<const CollisionNode*> stack{obj.o->root};
    while (!stack.empty()) {
      const CollisionNode* c = stack.back();
      stack.pop_back();
      if (c->first == nullptr && c->second == nullptr) {
        ++seen[static_cast<std::size_t>(c->triangle)];
      } else {
        if (c->first != nullptr) stack.push_back(c->first);
        if (c->second != nullptr) stack.push_back(c->second);
      }
    }
    EXPECT_EQ(std::count(seen.begin(), seen.end(), 1), n) << n;
  }
}

// Leaf boxes narrowed to f32 keep every placed vertex, under any placement.
TEST_F(CollObjectTest, BoxesNeverLoseAVertexToRounding) {
  std::mt19937_64 rng(5);
  const std::vector<Tri3D> tris = qdtest::randomSoup(300, 50, 9);
  FList l(tris);
  Obj obj(l.list);
  ASSERT_NE(obj.o, nullptr);
  for (int trial = 0; trial < 20; ++trial) {
    collObjectSetPlacement(obj.o, randomRotation(rng));
    collObjectUpdate(obj.o);
    for (int i = 0; i < l.list->count; ++i) {
      const CollisionNode& leaf = obj.o->nodes[i];
      Tri3D placed;
      collObjectPlacedTriangle(obj.o, leaf.triangle, &placed);
      for (const Point3D& v : placed.v) {
        const double c[3] = {v.x, v.y, v.z};
        for (int a = 0; a < 3; ++a) {
          ASSERT_LE(static_cast<double>(leaf.box[a]), c[a]);
          ASSERT_GE(static_cast<double>(leaf.box[a + 3]), c[a]);
        }
      }
    }
  }
}

// Random soups under random rigid placements, refitted or tested through transformed boxes:
// the tree finds exactly the pairs that testing every pair finds.
TEST_F(CollObjectTest, TreeAgreesWithAllPairs) {
  std::mt19937_64 rng(1);
  std::uniform_real_distribution<double> u(-1, 1);
  struct Sizes {
    int a, b;
  };
  const Sizes sizes[] = {{10, 10}, {40, 100}, {300, 100}, {2000, 25}, {1, 500}};
  int withPairs = 0;
  for (const Sizes& s : sizes) {
    for (int trial = 0; trial < 6; ++trial) {
      FList la(qdtest::randomSoup(s.a, 40, 100 + trial));
      FList lb(qdtest::randomSoup(s.b, 40, 200 + trial));
      Obj a(la.list), b(lb.list);
      ASSERT_NE(a.o, nullptr);
      ASSERT_NE(b.o, nullptr);
      collObjectSetPlacement(b.o, randomRotation(rng));
      if (trial % 2 == 0) collObjectUpdate(b.o);
      if (trial % 3 == 0) {
        collObjectSetPlacement(a.o, randomRotation(rng));
        if (trial % 2 == 1) collObjectUpdate(a.o);
      }
      collObjectSetPosition(b.o, static_cast<float>(20 + 10 * u(rng)),
                            static_cast<float>(20 + 10 * u(rng)), static_cast<float>(5 * u(rng)));
      const auto expected = allPairs(a.o, b.o);
      Pairs all;
      EXPECT_EQ(collObjectsIntersect(a.o, b.o, 1, all.list), expected.empty() ? 0 : 1);
      EXPECT_EQ(all.set(), expected) << s.a << "x" << s.b << " trial " << trial;
      EXPECT_EQ(all.list->count, static_cast<int>(expected.size()));  // no pair twice
      Pairs first;
      EXPECT_EQ(collObjectsIntersect(a.o, b.o, 0, first.list), expected.empty() ? 0 : 1);
      EXPECT_EQ(first.list->count, expected.empty() ? 0 : 1);
      if (!expected.empty()) {
        EXPECT_TRUE(expected.contains(*first.set().begin()));
      }
      EXPECT_EQ(collObjectsIntersect(a.o, b.o, 0, nullptr), expected.empty() ? 0 : 1);
      if (!expected.empty()) ++withPairs;
    }
  }
  EXPECT_GT(withPairs, 10);
}

// A pair list that cannot take the pair ends the walk as a found collision.
TEST_F(CollObjectTest, WithoutPairListTheWalkStopsAtTheFirstPair) {
  FList la(qdtest::randomSoup(200, 20, 1));
  FList lb(qdtest::randomSoup(200, 20, 2));
  Obj a(la.list), b(lb.list);
  ASSERT_GT(allPairs(a.o, b.o).size(), 1u);
  collObjectResetState();
  EXPECT_EQ(collObjectsIntersect(a.o, b.o, 1, nullptr), 1);
  const CollStats once = collObjectGetStats();
  collObjectResetState();
  Pairs all;
  EXPECT_EQ(collObjectsIntersect(a.o, b.o, 1, all.list), 1);
  EXPECT_LT(once.triTests, collObjectGetStats().triTests);
  EXPECT_EQ(collObjectsIntersect(a.o, nullptr, 1, all.list), 0);
}

// Boxes fitted under a rotated placement were used after the placement went back to the
// identity without a refit, and a crossing pair was missed.
TEST_F(CollObjectTest, BoxesOfAnEarlierPlacementAreNotTrusted) {
  const Tri3D at10{{{10, -1, -1}, {10, 1, -1}, {10, 0, 1}}};
  const Tri3D crossing{{{9, 0, 0}, {11, 0.2, 0}, {11, -0.2, 0.1}}};
  FList la({crossing}), lb({at10});
  Obj a(la.list), b(lb.list);
  ASSERT_EQ(collObjectsIntersect(a.o, b.o, 0, nullptr), 1);
  Matrix4 turn;
  matIdentity(&turn);
  matRotation(0, std::numbers::pi / 2, &turn);  // (10, 0, 0) goes to (0, 10, 0)
  collObjectSetPlacement(b.o, turn);
  collObjectUpdate(b.o);
  EXPECT_EQ(collObjectsIntersect(a.o, b.o, 0, nullptr), 0);
  Matrix4 identity;
  matIdentity(&identity);
  collObjectSetPlacement(b.o, identity);
  EXPECT_EQ(collObjectsIntersect(a.o, b.o, 0, nullptr), 1);
  // A translation in the placement is not the identity either.
  Matrix4 shift;
  matTranslation(Point3D{0, 0, 5}, &shift);
  collObjectSetPlacement(b.o, shift);
  EXPECT_EQ(collObjectsIntersect(a.o, b.o, 0, nullptr), 0);
  collObjectSetPlacement(b.o, identity);
  collObjectUpdate(b.o);
  matTranslation(Point3D{0, 0, 0.05}, &shift);
  collObjectSetPlacement(b.o, shift);
  EXPECT_EQ(collObjectsIntersect(a.o, b.o, 0, nullptr), 1);
}

TEST_F(CollObjectTest, AllocationFailuresLeaveNothing) {
  FList l(qdtest::randomSoup(20, 10, 4));
  for (long n = 1; n <= 2; ++n) {
    geoResetState();
    memTestFailAt(n);
    EXPECT_EQ(collObjectNew(l.list), nullptr) << n;
    memTestFailAt(0);
    EXPECT_EQ(geoErrCode(), -1) << n;
    EXPECT_STREQ(geoErrRecord()->file, "wcolldetect") << n;
  }
  memTestFailAt(3);
  Obj ok(l.list);
  memTestFailAt(0);
  EXPECT_NE(ok.o, nullptr);
}

// A real mesh against a revolved-like tube of triangles placed through it at random tilts.
TEST_F(CollObjectTest, RealMeshAgreesWithAllPairs) {
  QDTEST_SKIP_WITHOUT_REAL_MESHES();
  const std::string path = qdtest::dataPath("ktoolcav.stl");
  Tri3List* mesh = stlRead(path.c_str());
  ASSERT_NE(mesh, nullptr);
  std::vector<Tri3D> tris(mesh->items, mesh->items + mesh->count);
  lstBox3Free(mesh);
  FList part(tris);
  // A coarse tube of radius 0.3, 2 long: 12 sectors of two triangles.
  std::vector<Tri3D> tube;
  for (int k = 0; k < 12; ++k) {
    const double a0 = 2 * std::numbers::pi * k / 12, a1 = 2 * std::numbers::pi * (k + 1) / 12;
    const Point3D p{0.3 * std::cos(a0), 0.3 * std::sin(a0), 0}, q{p.x, p.y, 2};
    const Point3D p2{0.3 * std::cos(a1), 0.3 * std::sin(a1), 0}, q2{p2.x, p2.y, 2};
    tube.push_back(Tri3D{{p, q, p2}});
    tube.push_back(Tri3D{{p2, q, q2}});
  }
  FList tl(tube);
  Obj a(part.list), b(tl.list);
  std::mt19937_64 rng(21);
  std::uniform_real_distribution<double> ux(-2, 2), uy(0, 1.6), uz(-0.5, 1.5);
  int hits = 0;
  for (int trial = 0; trial < 6; ++trial) {
    collObjectSetPlacement(b.o, randomRotation(rng));
    if (trial % 2 == 0) collObjectUpdate(b.o);
    collObjectSetPosition(b.o, static_cast<float>(ux(rng)), static_cast<float>(uy(rng)),
                          static_cast<float>(uz(rng)));
    const auto expected = allPairs(a.o, b.o);
    Pairs all;
    collObjectsIntersect(a.o, b.o, 1, all.list);
    EXPECT_EQ(all.set(), expected) << trial;
    if (!expected.empty()) ++hits;
  }
  EXPECT_GT(hits, 1);
}
