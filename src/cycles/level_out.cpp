// level_out.cpp - the same-Z collector of the roughing output (planar feed runs written as fitted
// lines and arcs) and the drawing of a level's traced contours as auxiliary curves.
#include "cycles/level_out.h"

#include <cmath>
#include <cstring>
#include <vector>

#include "cycles/zmil_fit.h"
#include "framework/global_params.h"
#include "framework/messages.h"
#include "framework/output.h"
#include "framework/output_records.h"
#include "geometry/cycle_state.h"
#include "geometry/kont_region.h"
#include "output/out3d_moves.h"
#include "output/out3d_state.h"
#include "qdmill/qdmill.h"

namespace {

struct LevelOutState {
  Kont2D* chain = nullptr;
  Point2D last{0, 0};
  double lastZ = kLevelOutNoZ;
  int open = 0;
  int reducedFeed = 0;
  int skipFirst = 0;
};
LevelOutState loState;

// Fails when the record could not be handed to the output.
bool levelOutEmitted(int result) { return result >= 0; }

// The chain's segments as line elements: what is written when the fit fails.
LineArcList* levelOutPlainLines(const Kont2D* chain) {
  LineArcList* list = lstElemNew(chain->count);
  if (list == nullptr) return nullptr;
  for (int i = 0; i < chain->count; ++i) {
    LineArcElem e{};
    e.kind = 1;
    e.arc.sx = chain->segments[i].x1;
    e.arc.sy = chain->segments[i].y1;
    e.arc.ex = chain->segments[i].x2;
    e.arc.ey = chain->segments[i].y2;
    if (lstElemAppend(list, e) < 0) {
      lstBox2Free(list);
      return nullptr;
    }
  }
  return list;
}

// Start and end of the drawn chains: segment a + 1 continues a when it starts where a ends, is
// drawn and ends inside the boundary.
bool levelOutDrawn(const PkoList* set, int i, const Kont2D* boundary) {
  return set->ids[i] != -2 && levelOutInsideBoundary(set->segments[i].end, boundary) == 1;
}

bool levelOutCollinear(const Point3D& a, const Point3D& b, const Point3D& c) {
  const double cross = (b.x - a.x) * (c.y - a.y) - (b.y - a.y) * (c.x - a.x);
  return std::fabs(cross) < 0.00001;
}

// Adds p to a drawn chain; it replaces the last point when it is collinear with the last two.
void levelOutPush(std::vector<Point3D>& pts, const Point3D& p) {
  const std::size_t n = pts.size();
  if (n >= 2 && levelOutCollinear(pts[n - 2], pts[n - 1], p)) {
    pts[n - 1] = p;
  } else {
    pts.push_back(p);
  }
}

int levelOutDraw(const PkoList* set, const Kont2D* boundary, bool dropClose) {
  const GlobalParams* g = parGlobalBlock();
  double zOffset = 0;
  if (g->toolTip == 1) {
    if (g->frtyp == 1) zOffset = g->frradius;
    if (g->frtyp == 3) zOffset = g->frbogen;
  }
  const double close = std::fmin(0.5, 1.0 / unitFactor);
  try {
    for (int a = 0; a < set->count;) {
      int b = a;
      while (b + 1 < set->count) {
        const Seg3D& s = set->segments[b];
        const Seg3D& t = set->segments[b + 1];
        const double d = std::hypot(t.start.x - s.end.x, t.start.y - s.end.y, t.start.z - s.end.z);
        if (!(d < 0.00001) || !levelOutDrawn(set, b + 1, boundary)) break;
        ++b;
      }
      std::vector<Point3D> pts;
      for (int i = a; i <= b; ++i) {
        if (levelOutDrawn(set, i, boundary)) levelOutPush(pts, set->segments[i].start);
      }
      if (levelOutDrawn(set, b, boundary)) levelOutPush(pts, set->segments[b].end);
      if (dropClose && pts.size() > 2) {
        std::vector<Point3D> kept{pts.front()};
        for (std::size_t i = 1; i + 1 < pts.size(); ++i) {
          const Point3D& p = pts[i];
          const Point3D& q = kept.back();
          if (std::hypot(p.x - q.x, p.y - q.y, p.z - q.z) >= close) kept.push_back(p);
        }
        kept.push_back(pts.back());
        pts.swap(kept);
      }
      for (Point3D& p : pts) p.z -= zOffset;
      if (!pts.empty()) {
        out3dAuxContour(pts.data(), static_cast<int>(pts.size()), "", "", "");
      }
      a = b + 1;
    }
  } catch (...) {
    return -1;
  }
  return 1;
}

}  // namespace

int levelOutBegin() {
  if (loState.chain == nullptr) loState.chain = kontNew(nullptr, 1000);
  if (loState.chain == nullptr) return -1;
  kontReset(loState.chain);
  loState.lastZ = kLevelOutNoZ;
  loState.open = 0;
  loState.reducedFeed = 0;
  return 0;
}

int levelOutEnd() {
  const int flushed = levelOutFlush();
  kontFree(loState.chain);
  loState.chain = nullptr;
  return flushed == -2 ? -2 : 0;
}

int levelOutSameZPoint(const Point3D& p, int code) {
  const int reduced = out3dReducedFeedRequested();
  const bool special = out3dSpecialFeedActive() != 0;
  if (code > 0 && loState.open != 0 && loState.chain != nullptr &&
      std::fabs(p.z - loState.lastZ) < kLevelOutSameZ && reduced == loState.reducedFeed &&
      !special) {
    loState.reducedFeed = reduced;
    out3dEnableMoveOutput(0);
    out3dMove3Axis(p, code);
    out3dEnableMoveOutput(1);
    const Seg2D s{loState.last.x, loState.last.y, p.x, p.y};
    const int appended = kontAppendSeg(loState.chain, &s);
    loState.last = {p.x, p.y};
    loState.lastZ = p.z;
    return appended == 1 ? 0 : -1;
  }
  const int flushed = levelOutFlush();
  loState.last = {p.x, p.y};
  loState.lastZ = p.z;
  loState.open = 1;
  if (loState.reducedFeed == 0 && reduced == 1) out3dReducedFeedOnce(0);
  loState.reducedFeed = reduced;
  const int moved = out3dMove3Axis(p, code);
  return flushed == -2 ? -2 : moved;
}

int levelOutFlush() {
  const double keptMax = zmilGetMaxSegment();
  Kont2D* chain = loState.chain;
  if (loState.open == 0 || chain == nullptr || chain->count == 0) {
    loState.open = 0;
    return 0;
  }
  loState.open = 0;
  const GlobalParams* g = parGlobalBlock();
  int result = 0;
  LineArcList* list = lstElemNew(chain->count / 2 + 1);
  int fit = -1;
  if (list != nullptr) {
    zmilSetMaxSegment(g->stepMax / unitFactor);
    const int first = loState.skipFirst != 0 ? 1 : 0;
    fit = chain->count > first ? zmilFitElements(chain->segments + first, chain->count - first,
                                                 0.75 * parUnscaledPrecision(), list)
                               : 1;
    zmilSetMaxSegment(keptMax);
  }
  if (fit == 1 && loState.skipFirst != 0) {
    // The first segment goes out alone, ahead of the fitted rest.
    LineArcList* withFirst = lstElemNew(list->count + 1);
    LineArcElem e{};
    e.kind = 1;
    e.arc.sx = chain->segments[0].x1;
    e.arc.sy = chain->segments[0].y1;
    e.arc.ex = chain->segments[0].x2;
    e.arc.ey = chain->segments[0].y2;
    bool ok = withFirst != nullptr && lstElemAppend(withFirst, e) >= 0;
    for (int i = 0; ok && i < list->count; ++i) ok = lstElemAppend(withFirst, list->items[i]) >= 0;
    lstBox2Free(list);
    list = ok ? withFirst : nullptr;
    if (!ok) {
      lstBox2Free(withFirst);
      fit = -1;
    }
    loState.skipFirst = 0;
  }
  if (fit != 1) {
    // A failed fit must not drop the run: its points go out as plain feed moves.
    if (list != nullptr) lstBox2Free(list);
    list = levelOutPlainLines(chain);
    result = -1;
  }
  if (list == nullptr || levelOutEmitElements(list) != 0) result = -2;
  if (list != nullptr) lstBox2Free(list);
  kontReset(chain);
  return result;
}

int levelOutEmitElements(const LineArcList* list) {
  if (list == nullptr || list->count == 0) return 0;
  CycleRecord* cycle = out3dCycle();
  if (cycle == nullptr) return -2;
  out3dSyncFeed();
  OutputRecord r;
  std::memset(&r, 0, sizeof r);
  r.type = 3114;
  r.modal.setX = r.modal.setY = r.modal.setZ = 1;
  r.modal.x = list->items[0].arc.sx;
  r.modal.y = list->items[0].arc.sy;
  r.modal.z = loState.lastZ;
  if (!levelOutEmitted(cycEmit(cycle, kLevelOutMoveLayer, &r))) return -2;
  for (int i = 0; i < list->count; ++i) {
    LineArcElem e = list->items[i];
    int written = 0;
    if (e.kind == 2) {
      levelOutArcCentre(&e);
      written = cycArcXY(cycle, e.arc.dir != 1 ? 1 : 0, e.arc.ex, e.arc.ey, e.arc.cx, e.arc.cy);
    } else {
      written = cycFeedXY(cycle, e.arc.ex, e.arc.ey);
    }
    if (!levelOutEmitted(written)) return -2;
  }
  return 0;
}

void levelOutArcCentre(LineArcElem* e) {
  if (e == nullptr || e->kind != 2) return;
  const double cx = e->arc.ex - e->arc.sx, cy = e->arc.ey - e->arc.sy;
  const double c = std::hypot(cx, cy);
  if (c < 0.00001) return;
  const double mx = (e->arc.sx + e->arc.ex) / 2, my = (e->arc.sy + e->arc.ey) / 2;
  double nx = -cy / c, ny = cx / c;
  double d = (e->arc.cx - mx) * nx + (e->arc.cy - my) * ny;
  if (d < 0) {
    nx = -nx;
    ny = -ny;
    d = -d;
  }
  if (d < 0.00001) {
    e->arc.cx = mx;
    e->arc.cy = my;
    return;
  }
  const double h2 = e->arc.radius * e->arc.radius - c * c / 4;
  if (h2 < 0) return;
  const double h = std::sqrt(h2);
  e->arc.cx = mx + h * nx;
  e->arc.cy = my + h * ny;
}

void levelOutSetFlag(int flag) { loState.skipFirst = flag; }
int levelOutActive() { return loState.chain != nullptr ? 1 : 0; }

int levelOutDrawContours(const PkoList* set, const Kont2D* boundary) {
  if (set == nullptr || set->count == 0 || parGlobalBlock()->grdraw == 0) return 1;
  return levelOutDraw(set, boundary, true);
}

int levelOutDrawContours2(const PkoList* set) {
  if (set == nullptr || set->count == 0 || (parGlobalBlock()->grdraw & 1) == 0) return 1;
  return levelOutDraw(set, nullptr, false);
}

int levelOutInsideBoundary(const Point3D& p, const Kont2D* regions) {
  if (regions == nullptr) return 1;
  for (const Kont2D* r = regions; r != nullptr; r = r->next) {
    if (kontClassifyPoint(r, {p.x, p.y}) == 2) return 1;
  }
  return 0;
}

int levelOutNoop() { return 0; }

void levelOutResetState() {
  kontFree(loState.chain);
  loState = LevelOutState{};
}
