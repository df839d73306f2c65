// spiral.cpp - descending spiral between two closed level contours.
#include "zlevel/spiral.h"

#include <algorithm>
#include <cmath>
#include <new>
#include <numbers>
#include <source_location>
#include <vector>

#include "framework/memory.h"
#include "framework/messages.h"
#include "geometry/geo_error.h"
#include "geometry/lists.h"
#include "geometry/nearest.h"
#include "geometry/path_list.h"
#include "model/facet_distance.h"
#include "model/point_drop.h"
#include "model/surface_model.h"

namespace {

constexpr const char* kModule = "spiral";
constexpr double kClosedTol = 0.01;
constexpr double kSameTol = 0.00001;
constexpr double kBisectTol = 0.001;
constexpr double kJoinReach = 0.5;
constexpr double kJoinSecond = 0.01;
constexpr double kEndsClose = 0.1;
constexpr double kCloseFactor = 15.0;
constexpr double kContactTol = 1e-4;  // a ball this near a facet touches it
constexpr int kMaxTurnPasses = 64;

struct SpiralState {
  int toolCheck = 0;
  double stepAngle = 5.0;
  double cos1 = 0.0;
  double cos2 = 0.0;
};
SpiralState spiralState;
SpiralTiltFn spiralTilt = nullptr;  // installed by the five-axis control

int spiralFail(int code, std::source_location at = std::source_location::current()) {
  return geoFail(code, kModule, at);
}

double planDist(const Point3D& a, const Point3D& b) { return std::hypot(a.x - b.x, a.y - b.y); }

Point3D lerp(const Point3D& a, const Point3D& b, double t) {
  return {a.x + t * (b.x - a.x), a.y + t * (b.y - a.y), a.z + t * (b.z - a.z)};
}

// The fraction along segment a-b (in plan) of its point foot.
double planFraction(const Point3D& a, const Point3D& b, const Point3D& foot) {
  const double len = planDist(a, b);
  return len > 0.0 ? std::clamp(planDist(a, foot) / len, 0.0, 1.0) : 0.0;
}

int insertPoint(PathList* path, double x, const Point3D& pos, int cls, const Point3D& axis) {
  return pathListInsert(path, x, pos, (cls << 8) | 1, path->axes != nullptr ? &axis : nullptr, 1);
}

// One facet of a slab node as one or two triangles.
int nodeFacet(const SpiralSlab* node, int k, Tri3D out[2]) {
  if (node->triangles != nullptr) {
    out[0] = node->triangles->items[k];
    return 1;
  }
  const QuadFacet q = node->quads[k];
  out[0] = Tri3D{{q.corners[0], q.corners[1], q.corners[2]}};
  out[1] = Tri3D{{q.corners[0], q.corners[2], q.corners[3]}};
  return 2;
}

double partReach(const CutterShape* c) {
  return (c->type == kCutterTorus ? c->cornerRadius : c->radius) + kSameTol;
}

// A work sample of the spiral: position, upper and lower parameter.
struct Sample {
  Point3D pos;
  double a;
  double b;
  double param() const { return (a + b) / 2; }
};

struct Run {
  SurfaceModel* model;
  const PathList* up;
  const PathList* lo;
  const SpiralSlab* slab;  // tool check only
  double blend;
  double tol;
  bool noSpiral = false;
};

// Position for the upper parameter a and lower parameter b: the blended height reached between
// the two path points. Returns as the position searches.
int positionAt(Run& run, double a, double b, Point3D* out) {
  Point3D u{}, l{}, axis{0, 0, 1};
  if (spiralAxisAt(run.up, a, &u, &axis) < 0 || pathListPosAt(run.lo, b, &l) < 0)
    return spiralFail(-1);
  const double z = spiralBlendZ(run.up, run.lo, a, b, run.blend);
  if (run.slab != nullptr) return spiralSafePosition(run.model, u, l, axis, z, run.slab, out);
  return spiralDropToHeight(run.model, u, l, z, out);
}

// Adds a sample in parameter order unless it lies within the tolerance of the last one added.
int addSample(Run& run, std::vector<Sample>& s, const Sample& x, const Point3D* last) {
  if (last != nullptr && vecDistance(*last, x.pos) < run.tol) return 0;
  const auto at = std::upper_bound(s.begin(), s.end(), x.param(),
                                   [](double p, const Sample& e) { return p < e.param(); });
  s.insert(at, x);
  return 1;
}

bool turnAt(const std::vector<Sample>& s, PathList* scratch, int a, int b, int c, double step) {
  scratch->positions[0] = s[static_cast<std::size_t>(a)].pos;
  scratch->positions[1] = s[static_cast<std::size_t>(b)].pos;
  scratch->positions[2] = s[static_cast<std::size_t>(c)].pos;
  return spiralTurnTooSharp(scratch, 0, 1, 2, step) != 0;
}

// Repeated passes: a piece at whose end the path turns too sharply (looked at both ways) gets a
// new position at its middle, until a pass inserts nothing. Returns 1, or -1.
int smoothTurns(Run& run, std::vector<Sample>& s, double step) {
  PathList* scratch = pathListNew(3, 0);
  if (scratch == nullptr) return spiralFail(-1);
  for (int i = 0; i < 3; ++i) pathListInsert(scratch, i, {0, 0, 0}, 1, nullptr, 0);
  int result = 1;
  for (int pass = 0; pass < kMaxTurnPasses && result == 1; ++pass) {
    bool inserted = false;
    for (std::size_t i = 1; i + 1 < s.size(); ++i) {
      const int k = static_cast<int>(i);
      std::size_t from = s.size();
      if (turnAt(s, scratch, k - 1, k, k + 1, step)) {
        from = i - 1;
      } else if (turnAt(s, scratch, k + 1, k, k - 1, step)) {
        from = i;
      }
      if (from == s.size()) continue;
      const Sample& p = s[from];
      const Sample& q = s[from + 1];
      Sample mid{{}, spiralMeanParam(p.a, q.a), spiralMeanParam(p.b, q.b)};
      const int r = positionAt(run, mid.a, mid.b, &mid.pos);
      if (r < 0) {
        result = -1;
        break;
      }
      if (vecDistance(mid.pos, p.pos) < run.tol || vecDistance(mid.pos, q.pos) < run.tol) continue;
      if (r == 0) run.noSpiral = true;
      s.insert(s.begin() + static_cast<std::ptrdiff_t>(from + 1), mid);
      ++i;
      inserted = true;
      if (out3dCheckBreak() != 0) {
        result = -1;
        break;
      }
    }
    if (!inserted) break;
  }
  pathListFree(scratch);
  return result;
}

// The samples for every upper point (gaps skipped) and, with a blend length, for the lower points
// between successive nearest points when there are more than 5 of them spanning more than a step.
int sampleSpiral(Run& run, std::vector<Sample>& s, double step) {
  const PathList* up = run.up;
  const PathList* lo = run.lo;
  double prevA = 0.0, prevB = 0.0;
  bool havePrev = false;
  Point3D last{};
  bool haveLast = false;
  for (int i = 0; i < up->count; ++i) {
    if (pathListClass(up, i) == kPathClassGap) continue;
    Point3D near{};
    double b = 0.0;
    if (spiralNearestOnLower(up, i, lo, &near, &b) == 0) continue;
    const double a = up->params[i];
    if (havePrev && run.blend > kSameTol && b - prevB > step) {
      int first = 0, lastIdx = -1;
      if (spiralParamRange(lo, prevB, b, &first, &lastIdx) > 5) {
        for (int j = first; j <= lastIdx; ++j) {
          const double bj = lo->params[j];
          const double aj = prevA + (a - prevA) * (bj - prevB) / (b - prevB);
          Sample x{{}, aj, bj};
          const int r = positionAt(run, aj, bj, &x.pos);
          if (r < 0) return spiralFail(-1);
          if (r == 0) run.noSpiral = true;
          if (addSample(run, s, x, haveLast ? &last : nullptr) != 0) {
            last = x.pos;
            haveLast = true;
          }
        }
      }
    }
    Sample x{{}, a, b};
    const double z = spiralBlendZ(up, lo, a, b, run.blend);
    int r = 0;
    if (run.slab != nullptr) {
      const Point3D axis = up->axes != nullptr ? up->axes[i] : Point3D{0, 0, 1};
      r = spiralSafePosition(run.model, up->positions[i], near, axis, z, run.slab, &x.pos);
    } else {
      r = spiralDropToHeight(run.model, up->positions[i], near, z, &x.pos);
    }
    if (r < 0) return spiralFail(-1);
    if (r == 0) run.noSpiral = true;
    if (addSample(run, s, x, haveLast ? &last : nullptr) != 0) {
      last = x.pos;
      haveLast = true;
    }
    prevA = a;
    prevB = b;
    havePrev = true;
    if (out3dCheckBreak() != 0) return spiralFail(-1);
  }
  return 1;
}

// The transition proper on the prepared copies. Returns as spiralTransition.
int transition(SurfaceModel* model, PathList* up, PathList* lo, PathList* out, const Point3D& start,
               double blend) {
  const double dropTol = model->tolerance;
  const double tol = std::max(dropTol, 0.008);
  const CutterShape* cutter = model->cutter;
  const double radius = cutter->radius;
  double step = model->step > kSameTol ? model->step : radius;
  if (dropTol < 0.00728) step = std::min(step, std::max(std::sqrt(0.08 * radius), 0.25));
  double angle = dropTol < 0.00499 ? dropTol * 1000.0 : 5.0;
  angle = std::max(angle, 1.0);
  spiralState.stepAngle = angle;
  spiralState.cos1 = std::cos(angle * std::numbers::pi / 180.0);
  spiralState.cos2 = std::cos(2.0 * angle * std::numbers::pi / 180.0);

  if (pathListDensify(up, radius) < 0) return spiralFail(-1);
  if (dropTol < 0.005 && pathListDensify(up, 0.4 * step) < 0) return spiralFail(-1);
  if (spiralAlignStarts(lo, up, start) < 0) return spiralFail(-1);
  if (blend > kSameTol && spiralInsertSteps(up, blend, step) < 0) return spiralFail(-1);

  SpiralSlab* slab = nullptr;
  PathList* tilted = nullptr;  // the upper path with its axes turned sideways
  if (spiralState.toolCheck != 0) {
    spiralRemoveDuplicates(up);
    pathListParamByLength(up);
    tilted = pathListNew(up->count + 1, 1);
    if (tilted == nullptr) return spiralFail(-1);
    const int side = up->sense < 0 ? -1 : 1;
    if (pathListCopy(tilted, up) < 0 || spiralTilt == nullptr ||
        spiralTilt(tilted, radius, side, 90.0) < 0) {
      pathListFree(tilted);
      return spiralFail(-1);
    }
    up = tilted;
    const double zl = lo->positions[0].z, zu = up->positions[0].z;
    slab = spiralSlabNew(model, std::min(zl, zu), std::max(zl, zu));
    if (slab == nullptr) {
      pathListFree(tilted);
      return spiralFail(-1);
    }
  }
  Run run{model, up, lo, slab, blend, tol};
  std::vector<Sample> s;
  int r = -1;
  try {
    r = sampleSpiral(run, s, step);
    if (r == 1) r = smoothTurns(run, s, step);
  } catch (const std::bad_alloc&) {
    r = -1;
  }
  spiralSlabFree(slab);
  pathListFree(tilted);
  if (r < 0) return spiralFail(-1);
  for (const Sample& x : s) {
    if (pathListInsert(out, x.param(), x.pos, 1, nullptr, 0) < 0) return spiralFail(-1);
  }
  if (spiralJoinStart(out, start) < 0) return spiralFail(-1);
  spiralRemoveDuplicates(out);
  if (run.noSpiral) msgSendText(9, kSpiralNoSpiralMsg, "* no spiral possible", nullptr);
  return 1;
}

}  // namespace

void spiralSetTiltHook(SpiralTiltFn fn) { spiralTilt = fn; }
void spiralSetToolCheck(int flag) { spiralState.toolCheck = flag; }
int spiralGetToolCheck() { return spiralState.toolCheck; }
double spiralStepAngle() { return spiralState.stepAngle; }
void spiralResetState() { spiralState = SpiralState{}; }

// ---- paths -------------------------------------------------------------------------------------

int spiralIsClosed(const PathList* path) {
  if (path == nullptr || path->count < 2) return 0;
  return vecDistance(path->positions[0], path->positions[path->count - 1]) < kClosedTol ? 1 : 0;
}

int spiralCopyPath(const PathList* from, PathList* to) {
  if (from == nullptr || to == nullptr) return spiralFail(-1);
  if (pathListCopyUnmarked(from, to) < 0) return spiralFail(-1);
  pathListParamByLength(to);
  return spiralIsClosed(to);
}

int spiralRotateToNearest(PathList* path, const Point3D& point) {
  if (path == nullptr) return spiralFail(-1);
  if (spiralIsClosed(path) == 0 || path->count < 3) return 0;
  pathListParamByLength(path);
  double best = 1e300, bt = 0.0;
  int seg = 0;
  for (int i = 0; i + 1 < path->count; ++i) {
    Point3D foot{};
    const double d = plineNearestOnSegXY(path->positions[i], path->positions[i + 1], point, &foot);
    if (d < best) {
      best = d;
      seg = i;
      bt = planFraction(path->positions[i], path->positions[i + 1], foot);
    }
  }
  const Point3D at = lerp(path->positions[seg], path->positions[seg + 1], bt);
  int first = -1;
  if (planDist(at, path->positions[seg]) < kSameTol) {
    first = seg;
  } else if (planDist(at, path->positions[seg + 1]) < kSameTol) {
    first = seg + 1;
  } else {
    const double x = path->params[seg] + bt * (path->params[seg + 1] - path->params[seg]);
    first = spiralInsertAt(path, x, pathListClass(path, seg + 1) == kPathClassGap ? 1 : 0);
    if (first < 0) return spiralFail(-1);
  }
  if (first == path->count - 1) first = 0;
  pathListShiftStart(path, first);
  pathListParamByLength(path);
  return 1;
}

int spiralAlignStarts(PathList* lower, PathList* upper, const Point3D& point) {
  const int a = spiralRotateToNearest(lower, point);
  if (a < 0) return spiralFail(-1);
  const int b = spiralRotateToNearest(upper, point);
  if (b < 0) return spiralFail(-1);
  return a == 1 && b == 1 ? 1 : 0;
}

int spiralInsertAt(PathList* path, double x, int gap) {
  if (path == nullptr || path->count < 2) return spiralFail(-1);
  Point3D pos{}, axis{0, 0, 1};
  if (spiralAxisAt(path, x, &pos, &axis) < 0) return spiralFail(-1);
  return insertPoint(path, x, pos, gap != 0 ? kPathClassGap : 0, axis);
}

int spiralInsertSteps(PathList* path, double length, double step) {
  if (path == nullptr) return spiralFail(-1);
  if (!(step > kSameTol) || path->count < 2) return 0;
  length = std::min(length, path->params[path->count - 1]);
  int inserted = 0;
  for (int k = 1;; ++k) {
    double t = k * step;
    double reach = 0.2 * step;
    if (t >= length - kSameTol) {
      if (std::fabs(t - length) >= kSameTol) break;
      t = length;
      reach = 0.05 * step;
    }
    int j = 1;  // first point at or beyond t
    while (j < path->count - 1 && path->params[j] < t) ++j;
    if (path->params[j] - t < reach || t - path->params[j - 1] < reach) {
      if (t == length) break;
      continue;
    }
    if (spiralInsertAt(path, t, pathListClass(path, j) == kPathClassGap ? 1 : 0) < 0)
      return spiralFail(-1);
    ++inserted;
    if (t == length) break;
  }
  return inserted;
}

int spiralNearestOnLower(const PathList* upper, int i, const PathList* lower, Point3D* out,
                         double* param) {
  if (upper == nullptr || lower == nullptr || i < 0 || i >= upper->count || lower->count < 1)
    return 0;
  int from = 0, to = lower->count - 1;
  if (i < spiralQuarterFromStart(upper)) to = spiralQuarterFromEnd(lower);
  if (i > spiralQuarterFromEnd(upper)) from = spiralQuarterFromStart(lower);
  const Point3D& q = upper->positions[i];
  if (to <= from) {
    *out = lower->positions[from];
    *param = lower->params[from];
    return 1;
  }
  // ties go to the later parameter in the last quarter, so the end meets the lower end
  const bool late = from > 0;
  double best = 1e300;
  for (int k = from; k < to; ++k) {
    Point3D foot{};
    const double d = plineNearestOnSegXY(lower->positions[k], lower->positions[k + 1], q, &foot);
    if (d < best - 1e-12 || (late && std::fabs(d - best) <= 1e-12)) {
      best = d;
      const double t = planFraction(lower->positions[k], lower->positions[k + 1], foot);
      *out = lerp(lower->positions[k], lower->positions[k + 1], t);
      *param = lower->params[k] + t * (lower->params[k + 1] - lower->params[k]);
    }
  }
  return 1;
}

double spiralBlendZ(const PathList* upper, const PathList* lower, double a, double b,
                    double blend) {
  double mean = spiralMeanParam(a, b), len = spiralMeanLength(upper, lower);
  if (blend > kSameTol) {
    mean = std::min(mean, blend);
    len = std::min(len, blend);
  }
  double h = len > 0 ? std::clamp(mean / len, 0.0, 1.0) : 1.0;
  if (blend > kSameTol) h = spiralEase(h);
  return (1.0 - h) * upper->positions[0].z + h * lower->positions[0].z;
}

// ---- heights -----------------------------------------------------------------------------------

double spiralDropAt(SurfaceModel* m, const Point3D& p) {
  Point3D pos{p.x, p.y, m->boxMin.z};
  Point3D contact{};
  int kind = 0;
  const double ref = m->boxMax.z + m->cutter->radius;
  if (m->facetType == 4) {
    dropSetQuadModel(m->quads, m->quadCount, m->facetMin, m->facetMax, -1e300, 1e300, 0);
    dropPointQuads(&pos, ref, m->cutter, nullptr, 0, &contact, &kind);
    for (const SubModel* s = m->subModels; s != nullptr; s = s->next) {
      dropPushQuadSubModel(s);
      dropPointQuads(&pos, ref, &s->cutter, nullptr, 0, &contact, &kind);
      dropPopQuadSubModel();
    }
  } else {
    dropSetTriModel(m->triangles, m->facetMin, m->facetMax, -1e300, 1e300, 0);
    dropPointTris(&pos, ref, m->cutter, nullptr, 0, &contact, &kind);
    for (const SubModel* s = m->subModels; s != nullptr; s = s->next) {
      dropPushTriSubModel(s);
      dropPointTris(&pos, ref, &s->cutter, nullptr, 0, &contact, &kind);
      dropPopTriSubModel();
    }
  }
  return std::max(pos.z, m->boxMin.z);
}

int spiralDropToHeight(SurfaceModel* m, const Point3D& u, const Point3D& l, double z,
                       Point3D* out) {
  if (m == nullptr || m->cutter == nullptr || out == nullptr) return spiralFail(-1);
  if (std::fabs(l.z - z) < kSameTol) {
    *out = l;
    return 1;
  }
  const double hu = spiralDropAt(m, u);
  if (z >= hu) {
    *out = {u.x, u.y, z};
    return 1;
  }
  const double hl = spiralDropAt(m, l);
  if (hl > z + std::max(m->tolerance, 0.008)) {
    *out = {l.x, l.y, hl};
    return 0;
  }
  Point3D a = u, b = l;
  while (planDist(a, b) >= kBisectTol) {
    const Point3D mid = lerp(a, b, 0.5);
    if (spiralDropAt(m, mid) > z)
      a = mid;
    else
      b = mid;
  }
  const Point3D r = lerp(a, b, 0.5);
  *out = {r.x, r.y, z};
  return 1;
}

// ---- slabs -------------------------------------------------------------------------------------

SpiralIntList* spiralIntListNew(int n) {
  auto* list = static_cast<SpiralIntList*>(memAllocZero(sizeof(SpiralIntList)));
  if (list == nullptr) return nullptr;
  list->capacity = std::max(n, 1);
  list->items =
      static_cast<int*>(memAllocZero(sizeof(int) * static_cast<std::size_t>(list->capacity)));
  if (list->items == nullptr) {
    memFree(list);
    return nullptr;
  }
  return list;
}

int spiralIntListAppend(SpiralIntList* list, int v) {
  if (list == nullptr) return spiralFail(-1);
  if (list->count == list->capacity) {
    const int room = list->capacity * 2;
    void* grown = memRealloc(list->items, sizeof(int) * static_cast<std::size_t>(room));
    if (grown == nullptr) return spiralFail(-1);
    list->items = static_cast<int*>(grown);
    list->capacity = room;
  }
  list->items[list->count++] = v;
  return 1;
}

void spiralIntListFree(SpiralIntList* list) {
  if (list == nullptr) return;
  memFree(list->items);
  memFree(list);
}

double spiralPlaneDistance(const Point3D& p, double z) { return p.z - z; }

int spiralSlabSelectPlanes(const Point3D* corners, int n, double z1, double z2, double reach) {
  const double lo = std::min(z1, z2), hi = std::max(z1, z2);
  bool below1 = false, above1 = false, below2 = false, above2 = false;
  for (int k = 0; k < n; ++k) {
    const double d1 = spiralPlaneDistance(corners[k], lo);
    const double d2 = spiralPlaneDistance(corners[k], hi);
    if (std::fabs(d1) <= reach || std::fabs(d2) <= reach) return 1;
    if (d1 > 0 && d2 < 0) return 1;  // between the planes
    (d1 < 0 ? below1 : above1) = true;
    (d2 < 0 ? below2 : above2) = true;
  }
  return (below1 && above1) || (below2 && above2) ? 1 : 0;
}

int spiralSlabSelect(SpiralSlab* node, double z1, double z2) {
  if (node == nullptr || node->selected == nullptr) return spiralFail(-1);
  node->selected->count = 0;
  for (int k = 0; k < node->facetCount; ++k) {
    Point3D c[4];
    int n = 3;
    if (node->triangles != nullptr) {
      const Tri3D& t = node->triangles->items[k];
      c[0] = t.v[0];
      c[1] = t.v[1];
      c[2] = t.v[2];
    } else {
      const QuadFacet q = node->quads[k];
      for (int j = 0; j < 4; ++j) c[j] = q.corners[j];
      n = 4;
    }
    if (spiralSlabSelectPlanes(c, n, z1, z2, node->reach) == 0) continue;
    if (spiralIntListAppend(node->selected, k) < 0) return spiralFail(-1);
  }
  return 1;
}

int spiralSlabFill(SpiralSlab* slab, double z1, double z2) {
  for (SpiralSlab* n = slab; n != nullptr; n = n->next)
    if (spiralSlabSelect(n, z1, z2) < 0) return spiralFail(-1);
  return 1;
}

SpiralSlab* spiralSlabNew(SurfaceModel* model, double z1, double z2) {
  if (model == nullptr || model->cutter == nullptr) return nullptr;
  SpiralSlab* head = nullptr;
  SpiralSlab** tail = &head;
  auto add = [&](int facetType, const Tri3List* tris, const QuadFacet* quads, int quadCount,
                 const CutterShape* cutter) {
    auto* node = static_cast<SpiralSlab*>(memAllocZero(sizeof(SpiralSlab)));
    if (node == nullptr) return false;
    *tail = node;
    tail = &node->next;
    if (facetType == 4) {
      node->quads = quads;
      node->facetCount = quads != nullptr ? quadCount : 0;
    } else {
      node->triangles = tris;
      node->facetCount = tris != nullptr ? tris->count : 0;
    }
    node->reach = partReach(cutter);
    node->selected = spiralIntListNew(node->facetCount);
    return node->selected != nullptr;
  };
  bool ok = add(model->facetType, model->triangles, model->quads, model->quadCount, model->cutter);
  for (const SubModel* s = model->subModels; ok && s != nullptr; s = s->next)
    ok = add(s->facetType, s->triangles, s->quads, s->quadCount, &s->cutter);
  if (!ok || spiralSlabFill(head, z1, z2) < 0) {
    spiralSlabFree(head);
    return nullptr;
  }
  return head;
}

void spiralSlabFree(SpiralSlab* slab) {
  while (slab != nullptr) {
    SpiralSlab* next = slab->next;
    spiralIntListFree(slab->selected);
    memFree(slab);
    slab = next;
  }
}

double spiralSlabDistance(const SpiralSlab* slab, const Point3D& p) {
  double best = 1e300;
  for (const SpiralSlab* n = slab; n != nullptr; n = n->next) {
    for (int k = 0; k < n->selected->count; ++k) {
      Tri3D t[2];
      const int m = nodeFacet(n, n->selected->items[k], t);
      for (int j = 0; j < m; ++j) best = std::min(best, modelPointTriDistance(t[j], p, nullptr));
    }
  }
  return best;
}

int spiralContactOnSlab(const SpiralSlab* slab, const Point3D& start, const Point3D& target,
                        double radius, Point3D* out) {
  const Point3D end{target.x, target.y, start.z};
  const double len = vecDistance(start, end);
  const double minStep = 0.001 * std::max(1.0, radius);
  auto at = [&](double t) { return len > 0 ? lerp(start, end, t / len) : start; };
  double t = 0.0;
  double gap = spiralSlabDistance(slab, start) - radius;
  if (gap <= kContactTol) {
    *out = start;
    return 1;
  }
  // Sphere tracing: the ball may advance by its gap to the nearest facet without touching it.
  while (t < len) {
    const double next = std::min(len, t + std::max(gap, minStep));
    const double g = spiralSlabDistance(slab, at(next)) - radius;
    if (g < 0) {  // stepped past the contact: bisect for it
      double lo = t, hi = next;
      while (hi - lo > kContactTol) {
        const double mid = (lo + hi) / 2;
        (spiralSlabDistance(slab, at(mid)) - radius < 0 ? hi : lo) = mid;
      }
      *out = at(lo);
      return 1;
    }
    t = next;
    gap = g;
    if (gap <= kContactTol && t < len) {
      *out = at(t);
      return 1;
    }
  }
  *out = end;
  return 0;
}

int spiralClearanceSearch(const SpiralSlab* slab, const Point3D& p, const Point3D& axis, double e,
                          double r, double clearance, Point3D* out) {
  const double d[4] = {2 * e + r, e + r + 1, e + r, (e + r + 1 + e + r) / 2};
  for (double dist : d) {
    *out = vecAdd(p, vecScale(dist, axis));
    if (spiralSlabDistance(slab, *out) >= clearance) return 1;
  }
  return 0;
}

int spiralSafePosition(SurfaceModel* model, const Point3D& upper, const Point3D& lower,
                       const Point3D& axis, double z, const SpiralSlab* slab, Point3D* out) {
  if (model == nullptr || model->cutter == nullptr || slab == nullptr || out == nullptr)
    return spiralFail(-1);
  const CutterShape* c = model->cutter;
  const double al = vecLength(axis);
  if (!(al > kSameTol)) return spiralFail(-1);
  const Point3D a = vecScale(1.0 / al, axis);
  const double dz = upper.z - lower.z;
  const double f = std::fabs(dz) > kSameTol ? std::clamp((upper.z - z) / dz, 0.0, 1.0) : 0.0;
  Point3D p = lerp(upper, lower, f);
  p.z = z;
  const double r = c->type == kCutterTorus ? std::max(c->cornerRadius, 1.0) : c->radius;
  const Point3D target = vecAdd(p, vecScale(r, a));
  if (c->type != kCutterBall) {
    *out = target;
    return 1;
  }
  const double clearance = c->radius - 1.3 * model->tolerance;
  const double e = std::max(std::fabs(vecDot(vecSub(lower, upper), a)), 0.1);
  Point3D from{};
  const int clear = spiralClearanceSearch(slab, p, a, e, r, clearance, &from);
  spiralContactOnSlab(slab, from, target, c->radius, out);
  if (clear == 0 || spiralSlabDistance(slab, *out) < clearance - kSameTol) return 0;
  return 1;
}

// ---- output clean-up ---------------------------------------------------------------------------

int spiralTurnTooSharp(const PathList* path, int a, int b, int c, double step) {
  if (path == nullptr) return 0;
  const Point3D u = vecSub(path->positions[b], path->positions[a]);
  const Point3D v = vecSub(path->positions[c], path->positions[b]);
  const double lu = vecLength(u), lv = vecLength(v);
  if (lu < kSameTol || lv < kSameTol) return 0;
  const double cosine = vecDot(u, v) / (lu * lv);
  return cosine <= (lu < step ? spiralState.cos2 : spiralState.cos1) ? 1 : 0;
}

int spiralJoinStart(PathList* path, const Point3D& point) {
  if (path == nullptr) return spiralFail(-1);
  if (path->count == 0) return 0;
  int nearest = 0;
  for (int i = 1; i < path->count; ++i)
    if (vecDistance(path->positions[i], point) < vecDistance(path->positions[nearest], point))
      nearest = i;
  if (nearest <= 3) {
    pathListDropHead(path, nearest);
    if (vecDistance(path->positions[0], point) < kJoinReach) path->positions[0] = point;
    if (path->count > 1 && vecDistance(path->positions[0], path->positions[1]) < kJoinSecond)
      pathListCutRange(path, 1, 1);
  } else if (vecDistance(path->positions[0], point) < kJoinReach) {
    path->positions[0] = point;
  }
  return 1;
}

int spiralRemoveDuplicates(PathList* path) {
  if (path == nullptr || path->count < 2) return 0;
  int kept = 0, marked = 0;
  for (int i = 1; i < path->count; ++i) {
    if (std::fabs(path->params[i] - path->params[kept]) < kSameTol ||
        vecDistance(path->positions[i], path->positions[kept]) < kSameTol) {
      pathListSetClass(path, i, kPathClassMarked);
      ++marked;
    } else {
      kept = i;
    }
  }
  pathListDeleteMarked(path);
  return marked;
}

int spiralContoursClose(const PathList* a, const PathList* b, double tolerance) {
  if (a == nullptr || b == nullptr || a->count < 1 || b->count < 1) return 0;
  if (vecDistance(a->positions[0], a->positions[a->count - 1]) >= kEndsClose) return 0;
  if (!(b->positions[0].z > a->positions[0].z + kSameTol)) return 0;
  const double reach = kCloseFactor * tolerance;
  for (int i = 0; i < a->count; ++i)
    if (plineNearestXY(b->positions, b->count, a->positions[i], nullptr, nullptr) > reach) return 0;
  for (int i = 0; i < b->count; ++i)
    if (plineNearestXY(a->positions, a->count, b->positions[i], nullptr, nullptr) > reach) return 0;
  return 1;
}

void pathListDropHead(PathList* path, int n) {
  if (path == nullptr || n <= 0) return;
  pathListDeleteRange(path, 0, n - 1);
}

int pathListHasGap(const PathList* path) {
  if (path == nullptr) return 0;
  for (int i = 0; i < path->count; ++i)
    if (pathListClass(path, i) == kPathClassGap) return 1;
  return 0;
}

int spiralParamRange(const PathList* path, double a, double b, int* first, int* last) {
  *first = 0;
  *last = -1;
  if (path == nullptr) return 0;
  int n = 0;
  for (int i = 0; i < path->count; ++i) {
    if (path->params[i] > a && path->params[i] < b) {
      if (n == 0) *first = i;
      *last = i;
      ++n;
    }
  }
  return n;
}

int spiralQuarterFromStart(const PathList* path) {
  if (path == nullptr || path->count == 0) return 0;
  const double q = 0.25 * path->params[path->count - 1];
  int i = 0;
  while (i < path->count - 1 && path->params[i] < q) ++i;
  return i;
}

int spiralQuarterFromEnd(const PathList* path) {
  if (path == nullptr || path->count == 0) return 0;
  const double q = 0.75 * path->params[path->count - 1];
  int i = path->count - 1;
  while (i > 0 && path->params[i] > q) --i;
  return i;
}

double spiralMeanLength(const PathList* a, const PathList* b) {
  return (pathListLength(a) + pathListLength(b)) / 2;
}
double spiralMeanParam(double a, double b) { return (a + b) / 2; }
double spiralEase(double x) { return (1.0 - std::cos(std::numbers::pi * x)) / 2.0; }

int spiralAxisAt(const PathList* path, double x, Point3D* pos, Point3D* axis) {
  if (path == nullptr || path->count == 0) return spiralFail(-1);
  if (path->axes != nullptr) {
    if (pathListAxisAt(path, x, pos, axis) >= 0) return 1;
    // beyond the ends within the tolerance of the parameters: the end's own axis
    const int i = x <= path->params[0] ? 0 : path->count - 1;
    if (std::fabs(x - path->params[i]) > kSameTol) return spiralFail(-1);
    *pos = path->positions[i];
    *axis = path->axes[i];
    return 1;
  }
  if (pathListPosAt(path, x, pos) < 0) return spiralFail(-1);
  *axis = {0, 0, 1};
  return 1;
}

int spiralNoop() { return 1; }

// ---- the transition ----------------------------------------------------------------------------

int spiralTransition(SurfaceModel* model, const PathList* lower, const PathList* upper,
                     PathList* out, const Point3D& start, double blend) {
  if (model == nullptr || model->cutter == nullptr || lower == nullptr || upper == nullptr ||
      out == nullptr)
    return spiralFail(-1);
  out->count = 0;
  if (!spiralIsClosed(lower) || !spiralIsClosed(upper)) return 0;
  PathList* up = pathListNew(upper->count + 16, 0);
  PathList* lo = pathListNew(lower->count + 16, 0);
  int r = up != nullptr && lo != nullptr ? 1 : -1;
  if (r == 1) r = spiralCopyPath(upper, up);
  if (r == 1) r = spiralCopyPath(lower, lo);
  try {
    if (r == 1) r = transition(model, up, lo, out, start, blend);
  } catch (const std::bad_alloc&) {
    r = -1;
  }
  pathListFree(up);
  pathListFree(lo);
  if (r != 1) out->count = 0;
  return r;
}
