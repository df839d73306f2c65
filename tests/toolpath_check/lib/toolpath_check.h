// toolpath_check.h - an independent toolpath checker for tests. It reads POF move text and STL
// meshes with its own readers and answers a machinist's first questions about a path: does the
// tool gouge the part or a pocket wall, leave material the stepover should have cleared, rapid
// through material, skip a level, or end badly. It shares no code with the library under test, so
// a fault there cannot hide itself here.
//
// Typical use in a test, one line per check (toolpath_check_gtest.h adds `tpc::passes`):
//
//   tpc::Path path;
//   ASSERT_TRUE(tpc::passes(tpc::readPof(path, "rough.pof", tpc::Tool::ball(3))));
//   tpc::Mesh part;
//   ASSERT_TRUE(tpc::passes(tpc::readStl("part.stl", part)));
//   EXPECT_TRUE(tpc::passes(tpc::checkSanity(path)));
//   EXPECT_TRUE(tpc::passes(tpc::checkNoGouge3D(path, part, {.allowance = 0.5})));
//   EXPECT_TRUE(tpc::passes(tpc::checkLevels(path, {-2, -4, -6})));
//
// Every check returns a `Result`: pass or fail, the worst value of its measure, where that worst
// value occurred (point, POF line and pass), and a one-line message. No check writes a file.
// Positions are tool tip positions throughout (the reader moves a programmed point that lies
// above the tip down to it).
#pragma once

#include <array>
#include <string>
#include <vector>

namespace tpc {

struct Vec3 {
  double x = 0, y = 0, z = 0;
};

// A milling cutter. radius R > 0; corner radius r in [0, R]: 0 a flat end mill, R a ball end
// mill, in between a torus (bull-nose) mill. A POF position is the tip of the tool unless
// refAboveTip says the programmed point lies that far above the tip (r: the centre of a ball).
struct Tool {
  double radius = 0;
  double corner = 0;
  double refAboveTip = 0;

  static Tool flat(double r) { return Tool{r, 0.0, 0.0}; }
  static Tool ball(double r) { return Tool{r, r, 0.0}; }
  static Tool torus(double r, double cornerRadius) { return Tool{r, cornerRadius, 0.0}; }
};

enum class MoveKind { Rapid, Feed };

// One move of the path, tip positions. An arc turns about (cx, cy) from `from` to `to`
// (counter-clockwise for turn +1, "o[+]"; clockwise for -1, "o[-]"); its z runs linearly from
// start to end (a helix when they differ). An arc whose end equals its start is a full circle.
struct Move {
  MoveKind kind = MoveKind::Feed;
  Vec3 from, to;
  int turn = 0;  // 0 a straight move
  double cx = 0, cy = 0;
  int pass = 0;   // index into Path::passes
  long line = 0;  // line of the POF file that wrote it
};

// A layer-0 record "name(text)" and its line.
struct Layer0Record {
  std::string name, text;
  long line = 0;
};

// What one POF file brought: its tool and what the sanity check looks at.
struct Pass {
  std::string source;  // file name, or the label given to readPofText
  Tool tool;
  std::vector<Layer0Record> errors;  // the layer-0 "error" records
  bool endsWithCycleEnd = false;     // the last non-blank line is a layer-0 "cycleEnd" record
  std::vector<long> nonFiniteLines;  // move lines with a coordinate that is NaN or infinite
  std::vector<long> badArcLines;     // arcs whose end lies off the circle through the start
};

// One or more POF files read one after the other form one path (for instance a roughing and a
// finishing pass with different tools); every move knows its pass and so its tool.
struct Path {
  std::vector<Pass> passes;
  std::vector<Move> moves;
};

// Outcome of a reader: ok, or a message naming the file and line.
struct Status {
  bool ok = true;
  std::string message;
  explicit operator bool() const { return ok; }
};

// Outcome of a check.
struct Result {
  bool ok = true;
  double worst = 0;             // the check's measure at its worst place (each check says which)
  Vec3 where;                   // the place of the worst value
  long line = 0;                // POF line of the move at the worst place (0: none)
  int pass = -1;                // pass of that move (-1: none)
  std::string message;          // one line: verdict, worst value, where
  double uncutArea = 0;         // coverage checks: area the path leaves uncut
  std::vector<double> missing;  // level check: levels asked for and not found
  std::vector<double> extra;    // level check: levels found and not asked for
  // G3 and L3D: the vertical measure beside the judged one, the largest (drop - tip z) over the
  // moves the check judges against the part, and its place.
  double vertical = 0;
  Vec3 verticalWhere;
  long verticalLine = 0;
  int verticalPass = -1;
  explicit operator bool() const { return ok; }
};

// ---- readers ----------------------------------------------------------------------------------

// Appends the moves of one POF file, as a new pass cut with `tool`. Layer-31 lines are read:
// "oM" rapid, "oL" feed, "oA" arc ("o[+]"/"o[-]", "x[/end/centre]" "y[/end/centre]", optional
// "z[/end/centre]"), "oPos" (a positioning in z, taken as a rapid); coordinates are modal, a field
// "x[start/end]" with a start jumps there first; u, v, w are read and ignored. Layer 0 gives the
// "error" records and the closing "cycleEnd". Every pass starts at an unknown position: moves
// begin once x, y and z are all known. A non-finite coordinate or an arc off its circle is kept
// for checkSanity (the position becomes unknown); a line that cannot be read fails the reader.
Status readPof(Path& path, const std::string& file, const Tool& tool);
// The same for POF text held in memory; `label` names it in messages.
Status readPofText(Path& path, const std::string& text, const Tool& tool,
                   const std::string& label = "text");

struct Triangle {
  Vec3 v[3];
};

struct Mesh {
  std::vector<Triangle> triangles;
  Vec3 lo, hi;  // box of all vertices
};

// Reads an STL file, binary when its size is 84 + 50 x the count at byte 80, text otherwise.
// Every facet of the file is kept, degenerate ones included.
Status readStl(const std::string& file, Mesh& mesh);
// A mesh of the given triangles with its box.
Mesh makeMesh(std::vector<Triangle> triangles);

// ---- drop of the cutter -----------------------------------------------------------------------

// Lowest tip height of `tool`, grown by `allowance` (the cutter's Minkowski sum with a ball of
// that radius), at (x, y) that keeps the grown cutter off the triangle: vertex, edge and face
// contact. The tip of the real tool is returned (the grown cutter's tip lies `allowance` lower).
// -infinity when the triangle does not reach under the grown cutter.
double dropTriangle(const Triangle& t, const Tool& tool, double allowance, double x, double y);
// The same over every triangle of a mesh, scanning all of them (the oracle of MeshIndex::drop).
double dropPlain(const Mesh& mesh, const Tool& tool, double allowance, double x, double y);

// ---- penetration of the part into the cutter -------------------------------------------------

// How far the triangle reaches into `tool` grown by `allowance` with its tip at `tip`: the
// distance from its deepest point to the outside of the grown cutter, whose shank runs up without
// end; negative, the triangle's clearance from the grown cutter. The tool is its core (a vertical
// solid cylinder of radius radius - corner standing at tip z + corner) grown by corner, so the
// penetration is corner + allowance less the signed distance from the triangle to the core.
// Unlike the drop it measures in every direction: a shank beside a steep wall penetrates it by
// the width of their overlap, not by the wall's height.
double penetrationTriangle(const Triangle& t, const Tool& tool, double allowance, const Vec3& tip);
// The largest over every triangle of a mesh.
double penetrationPlain(const Mesh& mesh, const Tool& tool, double allowance, const Vec3& tip);

// Plan-box buckets: a grid over the plan, each cell listing the items whose boxes meet it
// (rows compressed: the items of cell c are items[start[c]] up to items[start[c + 1]]).
struct BoxBuckets {
  double x0 = 0, y0 = 0, cell = 1;
  int nx = 0, ny = 0;
  std::vector<int> start;
  std::vector<int> items;
};

// Triangles sorted into plan-box buckets for fast drops. Holds a reference to the mesh.
class MeshIndex {
 public:
  explicit MeshIndex(const Mesh& mesh);
  // Equal, to the bit, to dropPlain.
  double drop(const Tool& tool, double allowance, double x, double y) const;
  const Mesh& mesh() const { return mesh_; }
  // The triangles whose plan box meets [x0, x1] x [y0, y1] and whose highest vertex lies at zlow
  // or above, each once.
  void near(double x0, double y0, double x1, double y1, double zlow, std::vector<int>& out) const;
  // Plan box (x0, y0, x1, y1) and highest vertex of triangle k.
  const std::array<double, 4>& planBox(int k) const { return box_[static_cast<std::size_t>(k)]; }
  double top(int k) const { return zmax_[static_cast<std::size_t>(k)]; }

 private:
  const Mesh& mesh_;
  BoxBuckets grid_;           // triangle indices, highest triangles first in every bucket
  std::vector<double> zmax_;  // highest vertex of each triangle
  std::vector<std::array<double, 4>> box_;  // plan box of each triangle: x0, y0, x1, y1
  mutable std::vector<unsigned> seen_;
  mutable unsigned stamp_ = 0;
};

// ---- checks -----------------------------------------------------------------------------------

// G3, no gouge on a mesh, judged by the 3-D penetration of the part into the pass's tool grown by
// `allowance` (see penetrationTriangle) at every move end and all along feed lines and arcs:
// worst = the largest penetration found at a sample, negative when every point clears; a gouge
// is a penetration > tol anywhere.
// Feed moves are sampled until the bounds between samples prove the verdict: each triangle's
// penetration is concave in the cutter's position, so a tangent at a sample bounds it everywhere;
// along an arc the tangent rises with the arc's bend, and no penetration changes faster than the
// cutter moves. The check passes only when every bound between samples is <= tol, and fails with
// the worst where a sample exceeds tol. The worst is exact only to within the slack
// max(tol / 2, 1e-6): the largest penetration lies at most that far above it, where it lies above
// -R/2; a path that stays farther from the grown part may report less than its clearance,
// -infinity when no sample comes within R/2. A bound left above tol where the sampling stops (a
// piece shorter than the slack, or 2^16 samples on one move: a path resting exactly on the part
// at a tolerance below the tangents' rounding, about 1e-7 of the coordinates) fails the check,
// and the message gives it ("up to ... between samples").
// The vertical measure of the earlier check is reported beside it, not judged: the largest
// (drop of the grown tool - tip z) at the move ends and at samples every min(R/8, 0.25) along
// feeds (`vertical`, `verticalWhere`). It reads a shank that brushes a steep wall as a gouge of
// the wall's height.
struct Gouge3DOptions {
  double allowance = 0;
  double tol = 1e-3;
  bool plainScan = false;  // scan every triangle instead of the buckets (self-test oracle)
};
Result checkNoGouge3D(const Path& path, const Mesh& part, const Gouge3DOptions& options = {});
// The same with buckets built once, for many paths over one part.
Result checkNoGouge3D(const Path& path, const MeshIndex& part, const Gouge3DOptions& options = {});

// A planar contour element: a line from (x0, y0) to (x1, y1), or for turn +1 / -1 an arc about
// (cx, cy), counter-clockwise / clockwise (equal ends: a full circle).
struct Elem2 {
  double x0 = 0, y0 = 0, x1 = 0, y1 = 0;
  int turn = 0;
  double cx = 0, cy = 0;
};

// A closed contour of a 2D pocket, with its allowance and the z of its top: the wall exists
// only below `top`. Either orientation.
struct Contour {
  std::vector<Elem2> elems;
  double allowance = 0;
  double top = 0;
};

// A closed polygon through the points, a rectangle and a circle.
Contour polygon(const std::vector<std::pair<double, double>>& points, double allowance, double top);
Contour rectangle(double x0, double y0, double x1, double y1, double allowance, double top);
Contour circle(double cx, double cy, double r, double allowance, double top);

// The material of a 2D pocket: inside `outer`, outside every island. With centreContours the
// contours already are the tool centre's limits (offset 0, as axis-parallel forms and nested
// roughing runs give them): the tool centre keeps only the allowance from them, not R + allowance.
struct Pocket {
  Contour outer;
  std::vector<Contour> islands;
  bool centreContours = false;
};

// G2, no gouge in a 2D pocket. Every feed move whose lower end lies below a contour's top keeps
// at least R + a_i - tol from that contour (exact line and arc distances) and its centre inside
// the outer contour and outside the islands. worst = the largest (R + a_i - clearance), where the
// clearance is negative on the wrong side of a contour.
struct Gouge2DOptions {
  double tol = 1e-3;
  bool plainScan = false;  // every contour element for every move instead of buckets (oracle)
};
Result checkNoGouge2D(const Path& path, const Pocket& pocket, const Gouge2DOptions& options = {});

// Coverage of one level on a raster of cell <= 0.05 R (R: the smallest tool cutting there).
// Cutting moves at the floor: feed moves whose ends both lie within 0.02 of floorZ (and the floor
// ends of other feed moves, as points). The tool-centre region: inside the pocket, at least
// R + a_i from every contour (a_i with centreContours). The clearable region: cells within R of
// it. Every result reports the uncut area: clearable cells farther than R + tol from the path.
struct CoverOptions {
  double floorZ = 0;
  double step = 0;   // C1: the stepover or width s
  double inset = 0;  // C2: h, how far inside the clearable region's boundary a cell must lie
  double tol = 1e-3;
  double cell = 0;  // raster cell; 0 or more than 0.05 R: 0.05 R
};
// C1: every cell of the tool-centre region lies within s + tol of a cutting move at the floor.
// worst = the largest distance of such a cell from the path (capped at max(s, R) + R + tol).
Result checkCoverStep(const Path& path, const Pocket& pocket, const CoverOptions& options);
// C2: every clearable cell at least h + tol inside the clearable region's boundary lies within
// R + tol of the path (h: 0 for rings at stepover <= R, the width for a meander). worst = the
// largest (distance from the path - R) of such cells (capped at max(s, R) + tol).
Result checkCoverClear(const Path& path, const Pocket& pocket, const CoverOptions& options);

// L in 2D, links and rapids: every feed move keeps the G2 rule (a feed link across an island or
// through a wall fails), and every rapid that moves in x or y runs no lower than the highest
// contour top - tol. worst = the largest violation of either rule.
Result checkLinks2D(const Path& path, const Pocket& pocket, double tol = 1e-3);

// The stock of a 3D job: a heightmap over [x0, x1] x [y0, y1] whose top starts at `surface`.
// An empty box (x0 >= x1 or y0 >= y1) takes the part's box.
struct Stock {
  double surface = 0;
  double x0 = 0, y0 = 0, x1 = 0, y1 = 0;
};
// L in 3D: walking the path in order, every feed move lowers the stock to its swept cutter; a
// rapid fails when its swept cutter meets stock above the cutter's lower surface by more than
// tol, or when the part reaches more than tol into its tool grown by the allowance anywhere along
// it, measured in 3-D and bounded between samples as G3 does for feeds (a rapid that leaves a
// level beside a steep wall at the allowance passes). worst = the larger of both violations
// (the part's exact within G3's slack); the message gives each. A bound left above tol between
// samples fails the check too. The vertical measure along the rapids (the drop of the grown tool
// less the tip z, every min(R/8, 0.25)) is reported beside it, not judged.
struct Links3DOptions {
  double allowance = 0;
  double tol = 1e-3;
  double cell = 0;  // heightmap cell; 0: R/8 of the smallest tool, at least box/2048
};
Result checkLinks3D(const Path& path, const Mesh& part, const Stock& stock,
                    const Links3DOptions& options = {});

// Levels: the distinct z of planar feed runs (feed moves with xy motion and equal end z) equal
// `levels` within tol; missing (asked, not cut) and extra (cut, not asked) levels are both
// listed. worst = the number of missing and extra levels.
Result checkLevels(const Path& path, const std::vector<double>& levels, double tol = 0.02);

// Sanity: no NaN or infinite coordinate, no arc off its circle, every pass ends with "cycleEnd",
// and no layer-0 "error" record whose message number (the text before its first comma) is in
// `forbiddenMessages`. worst = the number of problems; line and pass name the first.
Result checkSanity(const Path& path, const std::vector<long>& forbiddenMessages = {});

}  // namespace tpc
