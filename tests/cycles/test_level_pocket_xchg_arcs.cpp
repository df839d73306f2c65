// Pocket contours merged into lines and arcs: read back by the project's exchange contour reader,
// the arcs must lie on the circle the points were sampled from and enclose its area, straight
// sides must collapse to single lines, the caller's path must stay as it was and the elements on
// the region's boundary must stay enclosed in clip marks.
#include <gtest/gtest.h>

#include <cmath>
#include <numbers>
#include <sstream>
#include <string>
#include <vector>

#include "geometry/cont_file.h"
#include "level_pocket_support.h"

namespace {

using lptest::pathFromPoints;
using lptest::regionFromPoints;

const std::vector<Point2D> kOuter{{0, 0}, {100, 0}, {100, 50}, {0, 50}};

// One element line of a contour object: "L" or "A" with its sign, full or short form, its end
// and, for arcs, its centre.
struct Element {
  char kind;
  char sign;
  bool full;
  Point2D end;
  Point2D centre;
};

std::vector<double> parts(const std::string& line, const std::string& key) {
  const std::size_t a = line.find(key + "[") + key.size() + 1;
  const std::size_t b = line.find(']', a);
  std::vector<double> out;
  std::stringstream in(line.substr(a, b - a));
  std::string part;
  while (std::getline(in, part, '/')) out.push_back(part.empty() ? NAN : std::stod(part));
  return out;
}

// The elements of the file's contours and a pattern of them: "C"/"c" clip on/off, "L"/"A" a
// full line/arc, "l"/"a" a short one.
std::vector<Element> elements(const std::string& text, std::string* pattern) {
  std::istringstream in(text);
  std::string line;
  std::vector<Element> out;
  while (std::getline(in, line)) {
    if (line == "vclip(true)") *pattern += 'C';
    if (line == "vclip(false)") *pattern += 'c';
    const bool isLine = line.rfind("  oL( ", 0) == 0, isArc = line.rfind("  oA( ", 0) == 0;
    if (!isLine && !isArc) continue;
    Element e{
        isLine ? 'L' : 'A', isArc ? line[8] : ' ', line.find("x[/") == std::string::npos, {}, {}};
    const std::vector<double> x = parts(line, "x"), y = parts(line, "y");
    e.end = {x[1], y[1]};
    if (isArc) e.centre = {x[2], y[2]};
    *pattern += e.full ? e.kind : static_cast<char>(e.kind - 'A' + 'a');
    out.push_back(e);
  }
  return out;
}

// The first contour of the file as the exchange reader gives it (first point repeated).
std::vector<Point2D> readFirst(const char* path) {
  std::vector<Point2D> out;
  GuideCurve* list = contFileRead(path, 0.001);
  EXPECT_NE(list, nullptr);
  if (list != nullptr) out.assign(list->points, list->points + list->count);
  guideFree(list);
  return out;
}

double shoelace(const std::vector<Point2D>& p) {
  double a = 0;
  for (std::size_t i = 0; i + 1 < p.size(); ++i) a += p[i].x * p[i + 1].y - p[i + 1].x * p[i].y;
  return a / 2;
}

std::vector<Point2D> arcPoints(Point2D c, double r, double from, double to, int steps) {
  std::vector<Point2D> p;
  for (int i = 0; i <= steps; ++i) {
    const double t = from + (to - from) * i / steps;
    p.push_back({c.x + r * std::cos(t), c.y + r * std::sin(t)});
  }
  return p;
}

struct Snapshot {
  std::vector<float> points;
  std::vector<std::int32_t> ids;
  int count;
};
Snapshot snap(const ZPath* p) {
  return {std::vector<float>(p->points, p->points + 2 * p->count),
          std::vector<std::int32_t>(p->elementIds, p->elementIds + p->count), p->count};
}

class ZcontArcTest : public lptest::LevelPocketTest {
 protected:
  // Writes the path alone with the arc variant; returns the file's text.
  std::string write(ZPath* p, int arcFlag, double tolerance, const Kont2D* region) {
    std::FILE* f = std::fopen("arc.qdx", "w");
    zmilWriteHeader(f);
    EXPECT_EQ(zcontWritePocketContour("7", f, p, arcFlag, tolerance, region), 1);
    std::fclose(f);
    return qdtest::readFile("arc.qdx");
  }
};

}  // namespace

// A circle sampled every 5 degrees, both ways round: the arcs have the circle's centre and
// radius and the turning sign, the reader's contour has the circle's area (the sampled polygon's
// area is 0.4 short of it) and the caller's path keeps its points and ids.
TEST_F(ZcontArcTest, SampledCircleBecomesArcs) {
  const Point2D c{50, 25};
  const double r = 10;
  Kont2D* region = regionFromPoints(kOuter, {}, 0);
  for (const bool ccw : {true, false}) {
    std::vector<Point2D> pts =
        arcPoints(c, r, 0, ccw ? 2 * std::numbers::pi : -2 * std::numbers::pi, 72);
    pts.pop_back();
    ZPath* p = pathFromPoints(pts, 0, 0, 0);
    const Snapshot before = snap(p);
    std::string pattern;
    const std::vector<Element> els = elements(write(p, 1, 0.05, region), &pattern);
    int arcs = 0;
    for (const Element& e : els) {
      EXPECT_NEAR(std::hypot(e.end.x - c.x, e.end.y - c.y), r, 1e-5);
      if (e.kind != 'A') continue;
      ++arcs;
      EXPECT_EQ(e.sign, ccw ? '+' : '-');
      EXPECT_NEAR(e.centre.x, c.x, 1e-3);
      EXPECT_NEAR(e.centre.y, c.y, 1e-3);
    }
    EXPECT_GE(arcs, 1) << pattern;
    EXPECT_LE(els.size(), 72u / 4) << "every arc spans at least 5 points: " << pattern;
    EXPECT_EQ(pattern[0], 'A') << "the first element in full form: " << pattern;
    const std::vector<Point2D> back = readFirst("arc.qdx");
    const double area = std::numbers::pi * r * r;
    EXPECT_NEAR(shoelace(back), ccw ? area : -area, 0.1);
    for (const Point2D& q : back) EXPECT_NEAR(std::hypot(q.x - c.x, q.y - c.y), r, 1e-3);
    const Snapshot after = snap(p);
    EXPECT_EQ(after.count, before.count);
    EXPECT_EQ(after.points, before.points);
    EXPECT_EQ(after.ids, before.ids);
    zpathFree(p);
  }
  kontFree(region);
}

// Arc flags other than 1 merge lines only: the circle comes back as chords between some of its
// own sample points, each within the tolerance of the points it replaced.
TEST_F(ZcontArcTest, OtherArcFlagsWriteLinesOnly) {
  const Point2D c{50, 25};
  std::vector<Point2D> pts = arcPoints(c, 10, 0, 2 * std::numbers::pi, 72);
  pts.pop_back();
  ZPath* p = pathFromPoints(pts, 0, 0, 0);
  Kont2D* region = regionFromPoints(kOuter, {}, 0);
  for (const int flag : {2, -1}) {
    std::string pattern;
    const std::vector<Element> els = elements(write(p, flag, 0.05, region), &pattern);
    EXPECT_EQ(pattern.find_first_of("Aa"), std::string::npos) << flag << " " << pattern;
    EXPECT_LT(els.size(), pts.size()) << "some sides merged";
    EXPECT_GT(els.size(), 4u);
    for (const Element& e : els) {
      bool sample = false;
      for (const Point2D& q : pts)
        sample = sample || std::hypot(q.x - e.end.x, q.y - e.end.y) < 1e-5;
      EXPECT_TRUE(sample) << e.end.x << " " << e.end.y;
    }
    // Every sample point lies within the tolerance of the written polygon.
    const std::vector<Point2D> back = readFirst("arc.qdx");
    for (const Point2D& q : pts) {
      double d = 1e9;
      for (std::size_t i = 0; i + 1 < back.size(); ++i) {
        d = std::min(d,
                     g2dPointSegDist(q, Seg2D{back[i].x, back[i].y, back[i + 1].x, back[i + 1].y}));
      }
      EXPECT_LE(d, 0.05 + 1e-6);
    }
  }
  zpathFree(p);
  kontFree(region);
}

// A square with 10 points on each side (some of them slightly off the side, within the
// tolerance) collapses to its 4 sides: one full line, then short ones, the square's area.
TEST_F(ZcontArcTest, SquareSidesCollapseToFourLines) {
  std::vector<Point2D> pts;
  const std::vector<Point2D> corners{{20, 10}, {40, 10}, {40, 30}, {20, 30}};
  for (int s = 0; s < 4; ++s) {
    const Point2D a = corners[static_cast<std::size_t>(s)],
                  b = corners[static_cast<std::size_t>((s + 1) % 4)];
    for (int i = 0; i < 10; ++i) {
      const double wobble = i % 2 == 1 ? 0.003 : 0.0;
      pts.push_back({a.x + (b.x - a.x) * i / 10 + (b.y - a.y) / 20 * wobble,
                     a.y + (b.y - a.y) * i / 10 - (b.x - a.x) / 20 * wobble});
    }
  }
  ZPath* p = pathFromPoints(pts, 0, 0, 0);
  Kont2D* region = regionFromPoints(kOuter, {}, 0);
  for (const int flag : {1, 2}) {
    std::string pattern;
    const std::vector<Element> els = elements(write(p, flag, 0.01, region), &pattern);
    EXPECT_EQ(pattern, "Llll") << flag;
    ASSERT_EQ(els.size(), 4u);
    for (std::size_t k = 0; k < 4; ++k) {
      EXPECT_NEAR(els[k].end.x, corners[(k + 1) % 4].x, 1e-6);
      EXPECT_NEAR(els[k].end.y, corners[(k + 1) % 4].y, 1e-6);
    }
    EXPECT_NEAR(shoelace(readFirst("arc.qdx")), 400, 1e-6);
  }
  // A tolerance below the wobble keeps the wobbled points.
  std::string pattern;
  EXPECT_GT(elements(write(p, 1, 0.001, region), &pattern).size(), 4u);
  zpathFree(p);
  kontFree(region);
}

// A half disc standing on the region's bottom edge: its boundary points stay as they are, the
// edge is enclosed in clip marks from the start, the clip run ends before the arc, which starts
// in full form; the reader's area is the half disc's.
TEST_F(ZcontArcTest, BoundaryPointsKeepTheirClipMarks) {
  const Point2D c{50, 0};
  std::vector<Point2D> pts{{30, 0}, {40, 0}, {50, 0}, {60, 0}};
  const std::vector<Point2D> arc = arcPoints(c, 20, 0, std::numbers::pi, 36);
  pts.insert(pts.end(), arc.begin(), arc.end() - 1);
  ZPath* p = pathFromPoints(pts, 0, 0, 0);
  for (int i = 0; i < p->count; ++i) {
    if (p->points[2 * i + 1] == 0.0f) {
      p->elementIds[i] = -2;
      p->contactKinds[i] = -1;
    }
  }
  Kont2D* region = regionFromPoints(kOuter, {}, 0);
  const Snapshot before = snap(p);
  std::string pattern;
  const std::vector<Element> els = elements(write(p, 1, 0.05, region), &pattern);
  EXPECT_EQ(pattern, "CLlllcAl");
  ASSERT_EQ(els.size(), 6u);
  EXPECT_NEAR(els[4].centre.x, 50, 1e-3);
  EXPECT_NEAR(els[4].centre.y, 0, 1e-3);
  EXPECT_NEAR(shoelace(readFirst("arc.qdx")), std::numbers::pi * 400 / 2, 0.1);
  EXPECT_EQ(snap(p).ids, before.ids);
  zpathFree(p);
  kontFree(region);
}
