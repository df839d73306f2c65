// level_slice.cpp - selection of the level's triangles and walls, then tracing and closing.
#include "zlevel/level_slice.h"

#include <algorithm>
#include <cfloat>
#include <cmath>
#include <new>
#include <source_location>
#include <vector>

#include "framework/global_params.h"
#include "framework/messages.h"
#include "geometry/geo_error.h"
#include "geometry/kont_region.h"
#include "geometry/lists.h"
#include "geometry/lst_sort.h"
#include "geometry/pko_list.h"
#include "geometry/raster.h"
#include "geometry/space_geo.h"
#include "geometry/tri_mesh.h"
#include "model/coll_candidates.h"
#include "model/cutter_shape.h"
#include "zlevel/closed_paths.h"
#include "zlevel/level_hidden.h"
#include "zlevel/level_trace.h"

namespace {

constexpr const char* kModule = "Arczpath";
constexpr int kSliceListRoom = 1000;
constexpr double kSliceMinStep = 0.05;
constexpr double kSliceUndercutMin = 0.00001;
constexpr double kSliceRaise = 0.001;  // level raised on boundary heights and flat-level steps

int sliceFail(int code, std::source_location at = std::source_location::current()) {
  return geoFail(code, kModule, at);
}

// Owns what one call makes: the default region with its mesh, the level triangles and walls.
struct SliceScratch {
  Kont2D* region = nullptr;
  Tri3List* tris = nullptr;
  Kont2D* walls = nullptr;
  SliceScratch() = default;
  SliceScratch(const SliceScratch&) = delete;
  SliceScratch& operator=(const SliceScratch&) = delete;
  ~SliceScratch() {
    if (region != nullptr) {
      triMeshFree(region->mesh);
      kontFree(region);
    }
    lstBox3Free(tris);
    kontFree(walls);
  }
};

// The candidates of the mode: list mode walks the pairs, index mode the index list.
struct Candidates {
  const PtrValPair* pairs = nullptr;
  const std::int32_t* indices = nullptr;
  int count = 0;
  const Tri3List* model = nullptr;

  // Candidate i: its triangle (null when removed or out of range) and its pair.
  const Tri3D* at(int i, PtrValPair* pair) const {
    if (pairs != nullptr) {
      *pair = pairs[i];
      return static_cast<const Tri3D*>(pairs[i].ptr);
    }
    const int k = indices[i];
    if (model == nullptr || k < 0 || k >= model->count) return nullptr;
    *pair = PtrValPair{const_cast<Tri3D*>(&model->items[k]), 0.0f};
    return &model->items[k];
  }
};

Point2D rounded(const Point3D& p) { return Point2D{p.x, p.y}; }

// Appends the three edges of the piece as 2D wall segments (and one allowance pair per edge).
int sliceAddWallEdges(Kont2D* walls, RecList* allowances, const Tri3D& piece,
                      const PtrValPair* pair) {
  for (int k = 0; k < 3; ++k) {
    const Point2D a = rounded(piece.v[k]), b = rounded(piece.v[(k + 1) % 3]);
    const Seg2D s{a.x, a.y, b.x, b.y};
    if (kontAppendSeg(walls, &s) < 0) return -1;
    if (allowances != nullptr && lstPairAppend(allowances, *pair) < 0) return -1;
  }
  return 1;
}

// The triangle's part between z and z + u, as wall edges; each piece is also kept in `pieces`
// (the material over the level in plan).
int sliceClipToWalls(const Tri3D& tri, double z, double u, Kont2D* walls, RecList* allowances,
                     const PtrValPair* pair, std::vector<Tri3D>* pieces) {
  Tri3D first[2];
  const int n1 = geoTriClipZSlab(tri, z + u, u, &first[0], &first[1]);
  for (int i = 0; i < n1; ++i) {
    arczMirrorTriZ(&first[i], z);
    Tri3D second[2];
    const int n2 = geoTriClipZSlab(first[i], z, u, &second[0], &second[1]);
    for (int j = 0; j < n2; ++j) {
      arczMirrorTriZ(&second[j], z);
      if (sliceAddWallEdges(walls, allowances, second[j], pair) < 0) return -1;
      try {
        pieces->push_back(second[j]);
      } catch (const std::bad_alloc&) {
        return -1;
      }
    }
  }
  return 1;
}

void segTurn(Seg2D* s) {
  if (s->x1 > s->x2 || (s->x1 == s->x2 && s->y1 > s->y2)) {
    std::swap(s->x1, s->x2);
    std::swap(s->y1, s->y2);
  }
}

bool segSame(const Seg2D& a, const Seg2D& b) {
  return std::fabs(a.x1 - b.x1) <= kSliceWallSame && std::fabs(a.y1 - b.y1) <= kSliceWallSame &&
         std::fabs(a.x2 - b.x2) <= kSliceWallSame && std::fabs(a.y2 - b.y2) <= kSliceWallSame;
}

}  // namespace

int arczCompareWall(const void* a, const void* b) {
  const Seg2D& s = *static_cast<const Seg2D*>(a);
  const Seg2D& t = *static_cast<const Seg2D*>(b);
  const double ks[4] = {s.x1, s.x2, s.y1, s.y2};
  const double kt[4] = {t.x1, t.x2, t.y1, t.y2};
  for (int k = 0; k < 4; ++k) {
    if (ks[k] < kt[k]) return -1;
    if (ks[k] > kt[k]) return 1;
  }
  return 0;
}

void arczMirrorTriZ(Tri3D* tri, double z) {
  if (tri == nullptr) return;
  for (Point3D& v : tri->v) v.z = 2.0 * z - v.z;
}

void arczWallsDedup(Kont2D* walls) {
  if (walls == nullptr || walls->count < 2 || walls->segments == nullptr) return;
  for (int i = 0; i < walls->count; ++i) segTurn(&walls->segments[i]);
  lstSort(walls->segments, walls->count, sizeof(Seg2D), arczCompareWall);
  int kept = 1;
  for (int i = 1; i < walls->count; ++i) {
    if (!segSame(walls->segments[i], walls->segments[kept - 1]))
      walls->segments[kept++] = walls->segments[i];
  }
  walls->count = kept;
}

void arczWallsDedupPaired(Kont2D* walls, RecList* pairs) {
  if (walls == nullptr || pairs == nullptr || pairs->count < 2 || walls->segments == nullptr ||
      pairs->count < walls->count) {
    return;
  }
  auto* p = static_cast<PtrValPair*>(pairs->items);
  for (int i = 0; i < walls->count; ++i) segTurn(&walls->segments[i]);
  lstSortPaired(walls->segments, walls->count, sizeof(Seg2D), arczCompareWall, p,
                sizeof(PtrValPair));
  int kept = 1;
  for (int i = 1; i < walls->count; ++i) {
    if (!segSame(walls->segments[i], walls->segments[kept - 1]) ||
        std::fabs(static_cast<double>(p[i].value) - p[kept - 1].value) > kSliceWallSame) {
      walls->segments[kept] = walls->segments[i];
      p[kept] = p[i];
      ++kept;
    }
  }
  walls->count = kept;
  pairs->count = kept;
}

void arczReduceWalls(CollCtx* ctx, const WalkParams* params, Kont2D* walls) {
  if (ctx != nullptr && params != nullptr && params->mode != 0 && ctx->wallAllowances != nullptr) {
    ctx->walls = walls;
    arczWallsDedupPaired(walls, ctx->wallAllowances);
  } else {
    arczWallsDedup(walls);
  }
}

double arczStepLength(double R, double tolerance, int type, double stepMax) {
  if (!std::isfinite(R) || !std::isfinite(tolerance) || !(R > 0.0)) return kGeoBadArgument;
  const double d = tolerance / R;
  if (!(d > 0.0) || !(d < 2.0)) return kGeoBadArgument;
  double t = 0.5 / std::sqrt(1.0 - (1.0 - d) * (1.0 - d));
  if (type != kCutterFlat) t *= 0.5;
  return std::min(stepMax, std::max(kSliceMinStep, R / t));
}

int arczDefaultBoundary(const CollCtx* ctx, const WalkTool* tool, Kont2D** region) {
  if (region == nullptr) return -1;
  *region = nullptr;
  double xmin = 1e10, ymin = 1e10, xmax = -1e10, ymax = -1e10;
  auto grow = [&](double x0, double y0, double x1, double y1) {
    xmin = std::min(xmin, x0);
    ymin = std::min(ymin, y0);
    xmax = std::max(xmax, x1);
    ymax = std::max(ymax, y1);
  };
  const Tri3List* tris = ctx != nullptr ? ctx->triangles : nullptr;
  const Kont2D* walls = ctx != nullptr ? ctx->walls : nullptr;
  if (walls != nullptr && walls->count > 0)
    grow(walls->xmin, walls->ymin, walls->xmax, walls->ymax);
  if (tris != nullptr && tris->count > 0) grow(tris->xmin, tris->ymin, tris->xmax, tris->ymax);
  if (xmin > xmax) {
    // No triangle list (list mode keeps its triangles in the pairs): the candidates' box.
    Point3D lo{}, hi{};
    if (ctx != nullptr && collSetBox(ctx, &lo, &hi) == 1) grow(lo.x, lo.y, hi.x, hi.y);
  }
  if (!(xmin <= xmax) || !(ymin <= ymax)) return sliceFail(-1);
  const double R = tool != nullptr ? tool->radius : 0.0;
  const Point2D lo{xmin - std::fabs(xmin) - R, ymin - std::fabs(ymin) - R};
  const Point2D hi{xmax + std::fabs(xmax) + R, ymax + std::fabs(ymax) + R};
  Kont2D* k = kontNewRect(lo, hi);
  if (k == nullptr) return sliceFail(-1);
  k->closed = 1;
  k->mesh = triPolyTriangulate(k);
  if (k->mesh == nullptr) {
    kontFree(k);
    return sliceFail(-1);
  }
  *region = k;
  return 1;
}

int arczLevelPaths(CollCtx* ctxIn, WalkTool* toolIn, WalkParams* paramsIn, SliceContext* sliceIn) {
  if (ctxIn == nullptr || toolIn == nullptr || paramsIn == nullptr || sliceIn == nullptr)
    return kGeoBadArgument;
  const Raster* raster = sliceIn->raster;
  if (raster == nullptr || raster->cells == nullptr || raster->rows <= 0 || raster->cols <= 0 ||
      sliceIn->traced == nullptr) {
    return 0;
  }
  if (out3dCheckBreak() != 0) return kTraceInterrupted;
  CollCtx ctx = *ctxIn;
  WalkTool tool = *toolIn;
  WalkParams params = *paramsIn;
  SliceContext slice = *sliceIn;
  const GlobalParams* g = parGlobalBlock();

  // Radius and tolerance first: nothing is read or made for a level that cannot be walked.
  const double R = tool.radius, c = tool.cornerRadius;
  const double step = arczStepLength(R, params.tolerance, tool.type, g->stepMax);
  if (step < 0.0 || !std::isfinite(c) || c < 0.0 || !std::isfinite(params.z))
    return kGeoBadArgument;
  const bool listMode = params.mode != 0 && ctx.pairs != nullptr;
  const bool indexMode = params.mode == 0 && ctx.candidates != nullptr;
  if (!listMode && !indexMode) return kGeoBadArgument;
  if (indexMode && ctx.candidates->count > 0 &&
      (ctx.triangles == nullptr || ctx.candidates->items == nullptr)) {
    return kGeoBadArgument;
  }

  SliceScratch own;
  if (ctx.region == nullptr) {
    if (arczDefaultBoundary(&ctx, &tool, &own.region) < 0) return -1;
    own.region->z = params.z;
    ctx.region = own.region;
  }

  const double z = params.z;
  double u = g->undercutHeight > 0.0 ? g->undercutHeight : 0.0;
  const double zlo = z - c;
  double zhi = z + kSliceAbove;
  if (g->acceptUndercut != 0) {
    zhi = z + kSliceAbove + c;
    u = 0.0;
  }
  const bool wantTris = tool.type != kCutterFlat;
  const bool wantWalls = tool.type == kCutterFlat || std::fabs(u) >= kSliceUndercutMin;
  if (wantTris && (own.tris = lstTri3New(kSliceListRoom)) == nullptr) return sliceFail(-1);
  if (wantWalls && (own.walls = kontNew(nullptr, kSliceListRoom)) == nullptr) return sliceFail(-1);

  Candidates cand;
  RecList* triAllow = nullptr;
  RecList* wallAllow = nullptr;
  if (listMode) {
    lstPairClear(ctx.wallAllowances);
    lstPairClear(ctx.triAllowances);
    triAllow = ctx.triAllowances;
    wallAllow = ctx.wallAllowances;
    cand.pairs = static_cast<const PtrValPair*>(ctx.pairs->items);
    cand.count = ctx.pairs->count;
  } else {
    cand.indices = ctx.candidates->items;
    cand.count = ctx.candidates->count;
    cand.model = ctx.triangles;
  }

  // Every candidate that reaches the level, and the wall pieces: the search for hidden areas.
  std::vector<PtrValPair> reaching;
  std::vector<Tri3D> pieces;
  try {
    reaching.reserve(static_cast<std::size_t>(cand.count));
  } catch (const std::bad_alloc&) {
    return sliceFail(-1);
  }
  int wallLimit = kSliceWallLimit;
  for (int i = 0; i < cand.count; ++i) {
    PtrValPair pair{};
    const Tri3D* tri = cand.at(i, &pair);
    if (tri == nullptr) continue;
    const double lo = std::min({tri->v[0].z, tri->v[1].z, tri->v[2].z});
    const double hi = std::max({tri->v[0].z, tri->v[1].z, tri->v[2].z});
    if (hi < zlo) break;  // candidates come highest first
    reaching.push_back(PtrValPair{const_cast<Tri3D*>(tri), pair.value});
    if (wantTris && lo <= zhi) {
      if (lstTri3Append(own.tris, *tri) < 0) return sliceFail(-1);
      if (triAllow != nullptr && lstPairAppend(triAllow, pair) < 0) return sliceFail(-1);
    }
    if (wantWalls && lo <= z + u && hi > z + kSliceWallAbove) {
      const int before = own.walls->count;
      if (sliceClipToWalls(*tri, z, u, own.walls, wallAllow, &pair, &pieces) < 0)
        return sliceFail(-1);
      // Deduplicate when the count passed a multiple of the limit during this triangle.
      if (own.walls->count / wallLimit > before / wallLimit) {
        arczReduceWalls(&ctx, &params, own.walls);
        geoErrLog("reduziere cutKont2D");
        wallLimit += kSliceWallLimit;
      }
    }
  }
  if (own.walls != nullptr) {
    arczReduceWalls(&ctx, &params, own.walls);
    kontUpdateBox(own.walls);
  }
  if (out3dCheckBreak() != 0) return kTraceInterrupted;

  ctx.triangles = own.tris;
  ctx.walls = own.walls;
  params.step = step;
  // Chords outside the offset: a flat end mill's or a torus's centre is walked one tolerance
  // further out (the radius grows, the corner does not, so floors stay just touched) and no chord
  // may reach more than the tolerance back in (the walker's chord bound). The positions lie
  // between the offset and a tolerance outside it, and no chord comes nearer the part than the
  // offset: the toolpath keeps the whole allowance.
  if (tool.type == kCutterFlat || tool.type == kCutterTorus) tool.radius += params.tolerance;
  if (g->usebndzval != 0 || g->stepMode == 2) params.z += kSliceRaise;

  const int i0 = slice.traced->count;
  int r = arczTraceLevel(&ctx, &tool, &params, &slice);
  if (r < 0) return r;
  if (params.noClosing != 1) r = gen_closedpaths(&ctx, &tool, &params, &slice);
  if (r < 0) return r;
  if (params.noClosing != 1) {
    // Pockets and islands between the raster's nodes, which no start segment reaches.
    CutterShape cutter{};
    cutter.type = static_cast<std::int16_t>(toolIn->type);
    cutter.radius = R;
    cutter.cornerRadius = c;
    const LevelHiddenModel model{reaching.data(), static_cast<int>(reaching.size()),
                                 pieces.data(),   static_cast<int>(pieces.size()),
                                 params.model,    cutter};
    const int h = arczTraceHidden(&ctx, &tool, &params, &slice, &model);
    if (h < 0) return h;
    if (h > 0) r = 1;
  }
  if (r > 0 && slice.traced->count <= i0) r = 0;

  if (collCtxFlagged() != 0 && params.model != nullptr) {
    PkoList* traced = slice.traced;
    for (int i = 0; i < traced->count; ++i) {
      if (traced->ids[i] < 0) continue;
      const int k = collSubModelOfTriangle(params.model, traced->ids[i]);
      if (k > 0 && collLevelFlagAt(&params, k) != 0) {
        traced->ids[i] = -2;
        traced->kinds[i] = -1;
      }
    }
  }
  return r;
}
