// walker_step.cpp - the walker's step search over the triangles and wall segments near the step
// circle, and the sorted box arrays and cell grids it runs on.
// A step asks only the cell that holds the circle's centre; the cell lists box positions in the
// sorted order, so the wall scan stops at the first box that begins beyond the centre.
#include "zlevel/walker_step.h"

#include <algorithm>
#include <cmath>
#include <source_location>

#include "framework/memory.h"
#include "geometry/geo_error.h"
#include "geometry/lst_sort.h"
#include "geometry/plane_geo.h"
#include "geometry/space_geo.h"
#include "model/cutter_shape.h"
#include "model/wcoll_boxtree.h"
#include "model/wcoll_contact.h"
#include "zlevel/tri_contact.h"

namespace {

constexpr const char* kModule = "Offs3d";

// Pseudo-angles lie in [0, 8): no candidate yet.
constexpr double kNoCandidate = 10.0;

int offs3dFail(int code, std::source_location at = std::source_location::current()) {
  return geoFail(code, kModule, at);
}

double allowanceOf(const RecList* table, int i) {
  if (table == nullptr || table->items == nullptr || i < 0 || i >= table->count) return 0.0;
  return static_cast<const PtrValPair*>(table->items)[i].value;
}

void releaseInto(WalkParams* params) {
  triGridFree(params->triGrid);
  triGridFree(params->wallGrid);
  memFree(params->triBoxes);
  memFree(params->wallBoxes);
  params->triGrid = nullptr;
  params->wallGrid = nullptr;
  params->triBoxes = nullptr;
  params->wallBoxes = nullptr;
  params->triBoxCount = 0;
  params->wallBoxCount = 0;
}

int prepareTriangles(const Tri3List* tris, double R, double m, WalkParams* params) {
  const int n = tris->count;
  auto* boxes = static_cast<TriBox*>(memAllocZero(static_cast<std::size_t>(n) * sizeof(TriBox)));
  if (boxes == nullptr) return offs3dFail(-1);
  params->triBoxes = boxes;
  params->triBoxCount = n;
  for (int i = 0; i < n; ++i) {
    const Tri3D& t = tris->items[i];
    TriBox& b = boxes[i];
    b.xmin = std::min({t.v[0].x, t.v[1].x, t.v[2].x}) - m;
    b.ymin = std::min({t.v[0].y, t.v[1].y, t.v[2].y}) - m;
    b.zmin = std::min({t.v[0].z, t.v[1].z, t.v[2].z}) - m;
    b.xmax = std::max({t.v[0].x, t.v[1].x, t.v[2].x}) + m;
    b.ymax = std::max({t.v[0].y, t.v[1].y, t.v[2].y}) + m;
    b.zmax = std::max({t.v[0].z, t.v[1].z, t.v[2].z}) + m;
    b.index = i;
  }
  if (lstSort(boxes, n, sizeof(TriBox), triconCompareDouble) != 1) return offs3dFail(-1);
  params->triGrid = triGridNew(offs3dGridSize(tris->ymax - tris->ymin, R),
                               offs3dGridSize(tris->xmax - tris->xmin, R), kOffs3dGridCellRoom);
  if (params->triGrid == nullptr) return offs3dFail(-1);
  if (offs3dGridTriangles(params->triGrid, tris, boxes, R) != 1) return offs3dFail(-1);
  return 1;
}

int prepareWalls(Kont2D* walls, RecList* allowances, double R, double m, WalkParams* params) {
  const int n = walls->count;
  for (int i = 0; i < n; ++i) {
    Seg2D& s = walls->segments[i];
    if (s.x1 > s.x2) s = Seg2D{s.x2, s.y2, s.x1, s.y1};
  }
  void* pairs = allowances != nullptr ? allowances->items : nullptr;
  if (lstSortPaired(walls->segments, n, sizeof(Seg2D), triconCompareDouble, pairs,
                    pairs != nullptr ? sizeof(PtrValPair) : 0) != 1) {
    return offs3dFail(-1);
  }
  auto* boxes = static_cast<WallBox*>(memAllocZero(static_cast<std::size_t>(n) * sizeof(WallBox)));
  if (boxes == nullptr) return offs3dFail(-1);
  params->wallBoxes = boxes;
  params->wallBoxCount = n;
  for (int i = 0; i < n; ++i) {
    const Seg2D& s = walls->segments[i];
    boxes[i] = WallBox{s.x1 - m, std::min(s.y1, s.y2) - m, s.x2 + m, std::max(s.y1, s.y2) + m};
  }
  params->wallGrid = triGridNew(offs3dGridSize(walls->ymax - walls->ymin, R),
                                offs3dGridSize(walls->xmax - walls->xmin, R), kOffs3dGridCellRoom);
  if (params->wallGrid == nullptr) return offs3dFail(-1);
  if (wcoll2dGridSegments(params->wallGrid, walls, boxes, R) != 1) return offs3dFail(-1);
  return 1;
}

}  // namespace

int offs3dGridSize(double extent, double R) {
  const double q = std::fabs(extent) / (2.0 * R);
  if (!(q >= 0.0)) return 1;
  if (q >= kOffs3dGridMaxCells - 1) return kOffs3dGridMaxCells;
  return static_cast<int>(std::floor(q)) + 1;
}

int offs3dPrepare(CollCtx* ctx, WalkTool* tool, WalkParams* params) {
  if (ctx == nullptr || tool == nullptr || params == nullptr) return offs3dFail(kGeoBadArgument);
  releaseInto(params);
  const double R = tool->radius;
  if (!(R > 0.0) || !std::isfinite(R) || !(params->step >= 0.0) || !std::isfinite(params->step)) {
    return offs3dFail(kGeoBadArgument);
  }
  Kont2D* walls = ctx->walls;
  const bool hasWalls = walls != nullptr && walls->segments != nullptr && walls->count > 0;
  RecList* wallPairs =
      params->mode != 0 && ctx->wallAllowances != nullptr && ctx->wallAllowances->items != nullptr
          ? ctx->wallAllowances
          : nullptr;
  // The pairs move with the segments, so the list must hold one for every segment.
  if (hasWalls && wallPairs != nullptr && wallPairs->count < walls->count) {
    return offs3dFail(kGeoBadArgument);
  }
  const double m = params->step + R;
  const Tri3List* tris = ctx->triangles;
  int r = 1;
  if (tris != nullptr && tris->items != nullptr && tris->count > 0) {
    r = prepareTriangles(tris, R, m, params);
  }
  if (r == 1 && hasWalls) r = prepareWalls(walls, wallPairs, R, m, params);
  if (r != 1) {
    releaseInto(params);
    return r;
  }
  return 1;
}

int offs3dRelease(CollCtx*, WalkTool*, WalkParams* params) {
  if (params != nullptr) releaseInto(params);
  return 1;
}

int offs3dGridTriangles(TriangleGrid* grid, const Tri3List* triangles, const TriBox* boxes,
                        double R) {
  if (grid == nullptr || grid->cells == nullptr || triangles == nullptr || boxes == nullptr) {
    return offs3dFail(kGeoBadArgument);
  }
  grid->x0 = triangles->xmin;
  grid->y0 = triangles->ymin;
  grid->x1 = triangles->xmax;
  grid->y1 = triangles->ymax;
  grid->cellHeight = (grid->y1 - grid->y0) / grid->rows;
  grid->cellWidth = (grid->x1 - grid->x0) / grid->columns;
  for (int j = 0; j < triangles->count; ++j) {
    const TriBox& b = boxes[j];
    const int row0 = triGridIndex(b.ymin - R, grid->y0, grid->cellHeight, grid->rows, true);
    const int row1 = triGridIndex(b.ymax + R, grid->y0, grid->cellHeight, grid->rows, false);
    const int col0 = triGridIndex(b.xmin - R, grid->x0, grid->cellWidth, grid->columns, true);
    const int col1 = triGridIndex(b.xmax + R, grid->x0, grid->cellWidth, grid->columns, false);
    for (int row = row0; row <= row1; ++row) {
      for (int col = col0; col <= col1; ++col) {
        if (triGridAdd(grid, row, col, j) != 1) return offs3dFail(-1);
      }
    }
  }
  triGridShrinkCells(grid);
  return 1;
}

int offs3dNearWall(double d, const Seg2D& seg, const Point2D& p) {
  return geoPointNearSeg(p, seg, d);
}

namespace {

// The best candidate of one kind of element (triangles or walls).
struct Candidate {
  double angle = kNoCandidate;
  Point3D point{};
  Point3D contact{};
  int id = -1;
  int kind = 0;
};

// The search of one step: the circle, the reference direction and the two best candidates.
struct StepSearch {
  double cx = 0, cy = 0, r = 0, z = 0;
  int dir = 1;
  double reference = 0;
  Arc2D circle{};
  Candidate tri, wall;

  // Takes pos as the new best of `best` when it lies within 2 r of the centre, its pseudo-angle
  // is below the best so far and `sideOk` holds for the contact.
  template <class SideOk>
  bool consider(Candidate& best, const Point3D& pos, const Point3D& contact, int id, int kind,
                SideOk sideOk) {
    const double dx = pos.x - cx, dy = pos.y - cy;
    if (!(dx * dx + dy * dy <= 4.0 * r * r)) return false;
    const double angle = geoPseudoAngle(dx, dy, reference, dir);
    if (!(angle < best.angle) || !sideOk(dx, dy)) return false;
    best = Candidate{angle, pos, contact, id, kind};
    return true;
  }

  // A triangle's contact lies on the material side: against the vertical plane through the centre
  // and the position (normal to the left of that direction) its side is the walking direction.
  bool triangle(const Point3D& pos, const Point3D& contact, int id, int kind) {
    return consider(tri, pos, contact, id, kind, [&](double dx, double dy) {
      return geoPlaneSide(contact, -dy, dx, 0.0, dy * cx - dx * cy) == dir;
    });
  }
  // A wall's contact: its side of the line from the centre to the position (positive to the
  // right) is the negated walking direction.
  bool wallAt(const Point3D& pos, const Point2D& contact, int id) {
    return consider(wall, pos, Point3D{contact.x, contact.y, z}, id, kKindWall,
                    [&](double, double) {
                      double a = 0, b = 0, c = 0;
                      if (geoLineEq(Seg2D{cx, cy, pos.x, pos.y}, &a, &b, &c) != 1) return false;
                      return geoLineSide(contact, a, b, c) == -dir;
                    });
  }

  static constexpr int kKindFace = 1, kKindEdge = 2, kKindVertex = 3, kKindWall = 4;
};

constexpr int kEdgeEnds[3][2] = {{0, 1}, {1, 2}, {2, 0}};

// The search's result for a solver's negative result: the ball already gouges the element (-60)
// gives 0, any other code is returned.
int endingResult(int n) { return n == kTriconGouge ? 0 : n; }

// One triangle: face, then edges unless the face gave a candidate, then vertices unless a face or
// an edge did. Returns 1 to go on, else the search's result.
int searchTriangle(StepSearch& s, const TriconSet& set, const Tri3D& t, int id, double R, double c,
                   bool torus) {
  const TriconTool tool = torus ? TriconTool{R - c, c} : TriconTool{R, R};
  const double reach = s.r + R;
  const Point3D centre{s.cx, s.cy, s.z};
  double nx = 0, ny = 0, nz = 0, d = 0;
  const bool hasPlane = geoTriPlane(t, &nx, &ny, &nz, &d) == 1;
  if (hasPlane && std::fabs(nx * s.cx + ny * s.cy + nz * s.z + d) > reach) return 1;
  Point3D out[4] = {};
  Point3D contact{};
  if (hasPlane) {
    const int n = set.faceSolver(t, tool, s.circle, s.z, out);
    if (n < 0) return endingResult(n);
    bool taken = false;
    for (int k = 0; n >= 2 && k < 2; ++k) {
      if (set.faceCheck(out[k], tool, t, &contact) == 1) {
        taken |= s.triangle(out[k], contact, id, StepSearch::kKindFace);
      }
    }
    if (taken) return 1;
  }
  bool edgeTaken = false;
  for (const auto& ends : kEdgeEnds) {
    const Seg3D edge{t.v[ends[0]], t.v[ends[1]]};
    if (!(geoDistPointLine3D(centre, edge) <= reach)) continue;
    const int n = set.edgeSolver(edge, tool, s.circle, s.z, out);
    if (n < 0) return endingResult(n);
    for (int k = 0; n >= 2 && k < std::min(n, 4); ++k) {
      if (set.edgeCheck(out[k], tool, edge, &contact) == 1) {
        edgeTaken |= s.triangle(out[k], contact, id, StepSearch::kKindEdge);
      }
    }
  }
  if (edgeTaken) return 1;
  for (const Point3D& v : t.v) {
    if (!(geoDist3D(centre, v) <= reach)) continue;
    const int n = set.vertexSolver(v, tool, s.circle, s.z, out);
    if (n < 0) return endingResult(n);
    for (int k = 0; n >= 2 && k < 2; ++k) s.triangle(out[k], v, id, StepSearch::kKindVertex);
  }
  return 1;
}

// One wall segment of radius Rw. Returns 1 to go on, 0 when the centre already lies deeper than
// the step into it.
int searchWall(StepSearch& s, const Seg2D& seg, const WallBox& box, int id, double Rw) {
  const Point2D centre{s.cx, s.cy};
  const bool point = std::fabs(seg.x2 - seg.x1) < kOffs3dPointWall &&
                     std::fabs(seg.y2 - seg.y1) < kOffs3dPointWall;
  const double reach = s.r + Rw;
  if (point) {
    if (!(geoDist2D(centre, Point2D{seg.x1, seg.y1}) <= reach)) return 1;
    if (offs3dNearWall(Rw - s.r - kOffs3dWallMargin, seg, centre) == 1) return 0;
  } else {
    if (!(box.xmin <= s.cx && s.cx <= box.xmax && box.ymin <= s.cy && s.cy <= box.ymax)) return 1;
    double a = 0, b = 0, c = 0;
    if (geoLineEq(seg, &a, &b, &c) != 1) return 1;
    if (!(std::fabs(a * s.cx + b * s.cy + c) <= reach + kOffs3dWallMargin)) return 1;
    if (offs3dNearWall(Rw - s.r - kOffs3dWallMargin, seg, centre) == 1) return 0;
    // The centres Rw from the line on the centre's side, cut with the step circle.
    const int side = geoLineSide(centre, a, b, c);
    Point3D p[2] = {};
    if (side != 0 && triconLineCut(a, b, c - side * Rw, s.circle, s.z, &p[0], &p[1]) == 2) {
      for (const Point3D& q : p) {
        Point2D foot{};
        if (geoFootOnSeg(Point2D{q.x, q.y}, seg, &foot) == 1) s.wallAt(q, foot, id);
      }
    }
  }
  // The end points: circles of radius Rw about them.
  for (const Point2D e : {Point2D{seg.x1, seg.y1}, Point2D{seg.x2, seg.y2}}) {
    const double d2 = geoDist2DSq(e, centre);
    if (!(s.r * s.r <= d2 && d2 < reach * reach)) continue;
    Point3D p[2] = {};
    if (triconCircleCut(e.x, e.y, Rw, s.circle, s.z, &p[0], &p[1]) != 2) continue;
    for (const Point3D& q : p) s.wallAt(q, e, id);
  }
  return 1;
}

}  // namespace

int offs3dNextPoint(const CollCtx* ctx, const WalkTool* tool, const WalkParams* params,
                    const TriangleGridCell* triCell, const TriangleGridCell* wallCell,
                    const StepCircle* circle, Point3D* outPoint, Point3D* outContact, int* outId,
                    int* outKind) {
  if (ctx == nullptr || tool == nullptr || params == nullptr || circle == nullptr ||
      outPoint == nullptr || outContact == nullptr || outId == nullptr || outKind == nullptr) {
    return offs3dFail(kGeoBadArgument);
  }
  const TriconSet* set = triconSetFor(tool->type);
  if (set == nullptr && tool->type != kCutterFlat) return offs3dFail(kGeoBadArgument);
  if (!(circle->radius > 0.0)) return offs3dFail(kGeoBadArgument);
  const RecList* triTable = wcollGetTriAllowances();
  const RecList* segTable = wcollGetSegAllowances();

  StepSearch s;
  s.cx = circle->centreX;
  s.cy = circle->centreY;
  s.r = circle->radius;
  s.z = params->z;
  s.dir = circle->direction;
  s.circle.cx = s.cx;
  s.circle.cy = s.cy;
  s.circle.radius = s.r;
  s.reference = geoPseudoAngle(circle->prevX - s.cx, circle->prevY - s.cy, 0.0, s.dir);

  const Tri3List* tris = ctx->triangles;
  if (set != nullptr && triCell != nullptr && triCell->indices != nullptr && tris != nullptr &&
      tris->items != nullptr && params->triBoxes != nullptr) {
    const bool torus = tool->type == kCutterTorus;
    for (int k = 0; k < triCell->count; ++k) {
      const int j = triCell->indices[k];
      if (j < 0 || j >= params->triBoxCount) continue;
      const TriBox& b = params->triBoxes[j];
      if (!(b.xmin <= s.cx && s.cx <= b.xmax && b.ymin <= s.cy && s.cy <= b.ymax && b.zmin <= s.z &&
            s.z <= b.zmax)) {
        continue;
      }
      if (b.index < 0 || b.index >= tris->count) continue;
      const double a = allowanceOf(triTable, b.index);
      const int r = searchTriangle(s, *set, tris->items[b.index], b.index, tool->radius + a,
                                   tool->cornerRadius + a, torus);
      if (r != 1) return r;
    }
  }

  const Kont2D* walls = ctx->walls;
  if (wallCell != nullptr && wallCell->indices != nullptr && walls != nullptr &&
      walls->segments != nullptr && params->wallBoxes != nullptr) {
    const int count = std::min(walls->count, params->wallBoxCount);
    for (int k = 0; k < wallCell->count; ++k) {
      const int j = wallCell->indices[k];
      if (j < 0 || j >= count) continue;
      if (params->wallBoxes[j].xmin > s.cx) break;  // boxes are sorted by xmin
      if (searchWall(s, walls->segments[j], params->wallBoxes[j], j,
                     tool->radius + allowanceOf(segTable, j)) != 1) {
        return 0;
      }
    }
  }

  const bool useTri = s.tri.angle < kNoCandidate && s.tri.angle <= s.wall.angle;
  const Candidate* best = useTri ? &s.tri : (s.wall.angle < kNoCandidate ? &s.wall : nullptr);
  if (best == nullptr) return 0;
  *outPoint = best->point;
  *outContact = best->contact;
  *outId = best->id;
  *outKind = best->kind;
  return 1;
}
