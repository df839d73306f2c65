// level_trace.cpp - start contacts, contour tracing and the test between the pieces of a level.
#include "zlevel/level_trace.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <new>
#include <source_location>
#include <vector>

#include "framework/global_params.h"
#include "framework/messages.h"
#include "geometry/geo_error.h"
#include "geometry/kont_region.h"
#include "geometry/lists.h"
#include "geometry/pko_list.h"
#include "geometry/stel_list.h"
#include "model/wcoll_contact.h"
#include "zlevel/closed_paths.h"
#include "zlevel/gouge_check.h"
#include "zlevel/walker.h"

namespace {

constexpr const char* kModule = "Arczpath";

int traceFail(int code, std::source_location at = std::source_location::current()) {
  return geoFail(code, kModule, at);
}

// Installs the allowance tables for the call and clears them and the walker's grids on return.
class TraceScope {
 public:
  TraceScope(CollCtx* ctx, WalkTool* tool, WalkParams* params)
      : ctx_(ctx), tool_(tool), params_(params) {
    const bool tables = params->mode != 0 && params->noAllowance == 0;
    wcollSetSegAllowances(tables ? ctx->wallAllowances : nullptr);
    wcollSetTriAllowances(tables ? ctx->triAllowances : nullptr);
  }
  ~TraceScope() {
    offs3dRelease(ctx_, tool_, params_);
    wcollSetSegAllowances(nullptr);
    wcollSetTriAllowances(nullptr);
  }
  TraceScope(const TraceScope&) = delete;
  TraceScope& operator=(const TraceScope&) = delete;

 private:
  CollCtx* ctx_;
  WalkTool* tool_;
  WalkParams* params_;
};

// Frees a start list built here and clears the context's pointer to it.
class OwnStarts {
 public:
  explicit OwnStarts(SliceContext* slice) : slice_(slice) {}
  ~OwnStarts() {
    if (list_ != nullptr) {
      stelListFree(list_);
      slice_->starts = nullptr;
    }
  }
  OwnStarts(const OwnStarts&) = delete;
  OwnStarts& operator=(const OwnStarts&) = delete;
  void take(StelList* list) {
    list_ = list;
    slice_->starts = list;
  }

 private:
  SliceContext* slice_;
  StelList* list_ = nullptr;
};

void stelRemoveAt(StelList* list, int i) {
  std::copy(list->segments + i + 1, list->segments + list->count, list->segments + i);
  --list->count;
}

bool undercutAccepted() { return parGlobalBlock()->acceptUndercut != 0; }

// Searches the starts of one pass in order. Returns 1 with the contact of the first start that
// gives one and that start's index; 0 when the pass found none (starts without a usable contact
// removed).
int traceFindContact(const CollCtx* ctx, const WalkTool* tool, const WalkParams* params,
                     StelList* starts, WcollContact* found, int* index) {
  const bool extend = !undercutAccepted();
  int i = 0;
  while (i < starts->count) {
    Seg2D move = starts->segments[i];
    const double dx = move.x2 - move.x1, dy = move.y2 - move.y1;
    const double len = std::hypot(dx, dy);
    if (!(len > kTraceShortStart)) {
      ++i;
      continue;
    }
    if (extend) {
      move.x2 += dx / len * kTraceStartReach;
      move.y2 += dy / len * kTraceStartReach;
    }
    const int r = wcollToolContact(ctx, tool, params->z, move, found);
    if (r == kWcollHit) {
      *index = i;
      return 1;
    }
    if (r == kWcollNone || r == kWcollRegion) {
      stelRemoveAt(starts, i);
    } else {
      ++i;
    }
  }
  return 0;
}

// Segments [from, to) of the traced list in XY.
std::vector<Seg2D> pieceSegments(const PkoList* traced, int from, int to) {
  std::vector<Seg2D> out;
  out.reserve(static_cast<std::size_t>(to - from));
  for (int i = from; i < to; ++i) {
    const Seg3D& s = traced->segments[i];
    out.push_back(Seg2D{s.start.x, s.start.y, s.end.x, s.end.y});
  }
  return out;
}

}  // namespace

void arczWallBox(double box[4], const BoxTree2D* tree, int element) {
  const Seg2D& s = static_cast<const Seg2D*>(tree->elements)[element];
  box[0] = std::min(s.x1, s.x2);
  box[1] = std::min(s.y1, s.y2);
  box[2] = std::max(s.x1, s.x2);
  box[3] = std::max(s.y1, s.y2);
}

int arczCheckContourCollisions(const SliceContext* slice, int) {
  if (slice == nullptr || slice->traced == nullptr || slice->pathStarts == nullptr) return 0;
  const PkoList* traced = slice->traced;
  const IntList* starts = slice->pathStarts;
  const int n = starts->count;
  if (n < 2) return 0;
  std::vector<std::vector<Seg2D>> segs;
  std::vector<BoxTree2D*> trees;
  int result = 0;
  try {
    segs.resize(static_cast<std::size_t>(n));
    trees.assign(static_cast<std::size_t>(n), nullptr);
    for (int k = 0; k < n; ++k) {
      const int from = std::clamp(starts->items[k], 0, traced->count);
      const int to =
          k + 1 < n ? std::clamp(starts->items[k + 1], from, traced->count) : traced->count;
      segs[static_cast<std::size_t>(k)] = pieceSegments(traced, from, to);
      if (segs[static_cast<std::size_t>(k)].empty()) continue;
      trees[static_cast<std::size_t>(k)] = wcoll2dTreeNew(
          segs[static_cast<std::size_t>(k)].data(),
          static_cast<int>(segs[static_cast<std::size_t>(k)].size()), 0.0, arczWallBox);
      if (trees[static_cast<std::size_t>(k)] == nullptr) {
        result = -1;
        break;
      }
    }
  } catch (const std::bad_alloc&) {
    result = -1;
  }
  for (int i = 0; result != -1 && i < n; ++i) {
    for (int j = i + 1; j < n; ++j) {
      const BoxTree2D* a = trees[static_cast<std::size_t>(i)];
      const BoxTree2D* b = trees[static_cast<std::size_t>(j)];
      if (a == nullptr || b == nullptr) continue;
      // Segments that cross or touch, not boxes that overlap: pieces in a channel just wider
      // than the tool have overlapping boxes and are still sound.
      if (wcoll2dTreesOverlap(a, b, 0, nullptr, nullptr) != 1) continue;
      char text[96];
      std::snprintf(text, sizeof text, "Pkont-Kollision %d %d von %d", i, j, n);
      geoErrLog(text);
      pkoListDump(traced);
      result = kTracePiecesMeet;
    }
  }
  for (BoxTree2D* t : trees) wcoll2dTreeFree(t);
  if (result == -1) return traceFail(-1);
  return result;
}

int arczTraceLevel(CollCtx* ctx, WalkTool* tool, WalkParams* params, SliceContext* slice) {
  if (ctx == nullptr || tool == nullptr || params == nullptr || slice == nullptr ||
      slice->traced == nullptr || slice->pathStarts == nullptr) {
    return kGeoBadArgument;
  }
  PkoList* traced = slice->traced;
  const int i0 = traced->count;
  TraceScope scope(ctx, tool, params);
  if (offs3dPrepare(ctx, tool, params) < 0) return traceFail(-1);

  OwnStarts own(slice);
  if (slice->raster != nullptr && slice->starts == nullptr) {
    const GlobalParams* g = parGlobalBlock();
    StelList* built = g->acceptUndercut != 0 || g->stockUndercut != 0
                          ? stelFromRasterRuns(slice->raster, ctx->region)
                          : stelFromRasterEdges(slice->raster, ctx->region);
    if (built == nullptr) return traceFail(-1);
    own.take(built);
  }
  StelList* starts = slice->starts;
  const int startsAtBeginning = starts != nullptr ? starts->count : 0;
  const bool checkGouge =
      parGlobalBlock()->acceptUndercut == 0 && parGlobalBlock()->stockUndercut == 0;
  int result = 1;
  bool tracedAny = false;
  while (starts != nullptr && starts->count > 0) {
    if (out3dCheckBreak() != 0) return kTraceInterrupted;
    const int countAtPass = starts->count;
    if (params->shuffleSeed > 0) stelListShuffleFirst(starts, params->shuffleSeed);
    WcollContact c{};
    int used = -1;
    if (traceFindContact(ctx, tool, params, starts, &c, &used) == 1) {
      const Point3D p = c.segment.end;
      if (kontClassifyPoint(ctx->region, Point2D{p.x, p.y}) != 2 ||
          (checkGouge && roughCheckGouge(p) != 0)) {
        return traceFail(kTraceBadStart);
      }
      params->start = p;
      params->startSegment = Seg2D{c.segment.start.x, c.segment.start.y, p.x, p.y};
      const int m = traced->count;
      const int r = offs3dTrace(ctx, tool, params, slice);
      if (r == kWalkNoContact && traced->count == m) {
        // The walker's solvers see nothing where the contact search touched: a face or edge the
        // tool only rests on (at the tangent distance). The start gives no usable contact.
        stelRemoveAt(starts, used);
        continue;
      }
      if (r < 0) return traceFail(r);
      if (params->noClosing != 1) arczRefineCorners(ctx, tool, params, slice, m, traced->count);
      if (lstIntAppend(slice->pathStarts, m) < 0) return traceFail(-1);
      if (stelListRemoveCovered(starts, traced, m, traced->count) < 0) return traceFail(-1);
      tracedAny = true;
    } else {
      result = starts->count == 0 ? 1 : 2;
    }
    if (starts->count == countAtPass) return traceFail(kTraceNoProgress);
  }
  if (tracedAny && startsAtBeginning > 0 && traced->count <= i0)
    return traceFail(kTraceNothingAdded);
  const int cc = arczCheckContourCollisions(slice, 1);
  if (cc < 0) return cc == -1 ? -1 : traceFail(cc);
  return result;
}
