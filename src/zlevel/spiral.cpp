// spiral.cpp - descending spiral between two closed level contours.
#include "zlevel/spiral.h"

#include <algorithm>
#include <cmath>
#include <new>
#include <numbers>
#include <vector>

#include "framework/messages.h"
#include "geometry/path_list.h"
#include "model/point_drop.h"
#include "model/surface_model.h"

namespace {

constexpr double kClosedTol = 0.01;
constexpr double kSameTol = 0.00001;
constexpr int kMaxTurnPasses = 32;

struct SpiralState {
  int toolCheck = 0;
  double stepAngle = 5.0;
  double cos1 = 0.0;
  double cos2 = 0.0;
};
SpiralState spiralState;
SpiralTiltFn spiralTilt = nullptr;  // installed by the five-axis control

// A work path: points and their parameters by 3D length.
struct WorkPath {
  std::vector<Point3D> p;
  std::vector<double> s;

  void params() {
    s.assign(p.size(), 0.0);
    for (std::size_t i = 1; i < p.size(); ++i) s[i] = s[i - 1] + vecDistance(p[i - 1], p[i]);
  }
  double length() const { return s.empty() ? 0.0 : s.back(); }
};

double planDist(const Point3D& a, const Point3D& b) { return std::hypot(a.x - b.x, a.y - b.y); }

Point3D lerp(const Point3D& a, const Point3D& b, double t) {
  return {a.x + t * (b.x - a.x), a.y + t * (b.y - a.y), a.z + t * (b.z - a.z)};
}

// Copy without points of class 3, parameters by length.
WorkPath copyPath(const PathList* from) {
  WorkPath w;
  for (int i = 0; i < from->count; ++i)
    if (pathListClass(from, i) != 3) w.p.push_back(from->positions[i]);
  w.params();
  return w;
}

// Pieces of at most step (3D), the ends kept.
void densify(WorkPath& w, double step) {
  if (!(step > 1e-5) || w.p.size() < 2) return;
  std::vector<Point3D> out{w.p[0]};
  for (std::size_t i = 1; i < w.p.size(); ++i) {
    const double l = vecDistance(w.p[i - 1], w.p[i]);
    const int n = l >= step + 1e-5 ? static_cast<int>(std::floor(l / step)) + 1 : 1;
    for (int k = 1; k <= n; ++k) out.push_back(lerp(w.p[i - 1], w.p[i], double(k) / n));
  }
  w.p.swap(out);
  w.params();
}

// Rotates the closed path to start at its point nearest (in XY) to q, inserting that point when
// it is not a vertex.
void rotateToNearest(WorkPath& w, const Point3D& q) {
  const std::size_t n = w.p.size();
  if (n < 3) return;
  double best = 1e300;
  std::size_t seg = 0;
  double bt = 0.0;
  for (std::size_t i = 0; i + 1 < n; ++i) {
    const Point3D& a = w.p[i];
    const Point3D& b = w.p[i + 1];
    const double dx = b.x - a.x, dy = b.y - a.y, l2 = dx * dx + dy * dy;
    double t = l2 > 0 ? ((q.x - a.x) * dx + (q.y - a.y) * dy) / l2 : 0.0;
    t = std::clamp(t, 0.0, 1.0);
    const double d = std::hypot(a.x + t * dx - q.x, a.y + t * dy - q.y);
    if (d < best) {
      best = d;
      seg = i;
      bt = t;
    }
  }
  std::vector<Point3D> ring(w.p.begin(), w.p.end() - 1);  // the closing copy dropped
  std::size_t first = seg;
  const Point3D at = lerp(w.p[seg], w.p[seg + 1], bt);
  if (planDist(at, w.p[seg]) < kSameTol) {
    first = seg;
  } else if (planDist(at, w.p[seg + 1]) < kSameTol) {
    first = (seg + 1) % ring.size();
  } else {
    ring.insert(ring.begin() + static_cast<std::ptrdiff_t>(seg + 1), at);
    first = seg + 1;
  }
  std::rotate(ring.begin(), ring.begin() + static_cast<std::ptrdiff_t>(first), ring.end());
  ring.push_back(ring.front());
  w.p.swap(ring);
  w.params();
}

// Points at the parameters step, 2 step, ... below length, unless a vertex lies within 0.2 step.
void insertSteps(WorkPath& w, double length, double step) {
  if (!(step > 1e-5) || !(length > 1e-5)) return;
  length = std::min(length, w.length());
  for (double t = step; t < length - kSameTol; t += step) {
    const auto it = std::lower_bound(w.s.begin(), w.s.end(), t);
    if (it == w.s.end() || it == w.s.begin()) continue;
    const std::size_t k = static_cast<std::size_t>(it - w.s.begin());
    if (w.s[k] - t < 0.2 * step || t - w.s[k - 1] < 0.2 * step) continue;
    const double f = (t - w.s[k - 1]) / (w.s[k] - w.s[k - 1]);
    w.p.insert(w.p.begin() + static_cast<std::ptrdiff_t>(k), lerp(w.p[k - 1], w.p[k], f));
    w.s.insert(w.s.begin() + static_cast<std::ptrdiff_t>(k), t);
  }
}

// Nearest XY point of the lower path to q; in the first quarter of the upper path only the
// lower path's first three quarters are searched, in the last quarter only its last three.
void nearestOnLower(double upperParam, double upperLen, const WorkPath& lo, const Point3D& q,
                    Point3D* out, double* param) {
  const double L = lo.length();
  double from = 0.0, to = L;
  if (upperParam < 0.25 * upperLen) to = 0.75 * L;
  if (upperParam > 0.75 * upperLen) from = 0.25 * L;
  double best = 1e300;
  for (std::size_t i = 0; i + 1 < lo.p.size(); ++i) {
    if (lo.s[i + 1] < from || lo.s[i] > to) continue;
    const Point3D& a = lo.p[i];
    const Point3D& b = lo.p[i + 1];
    const double dx = b.x - a.x, dy = b.y - a.y, l2 = dx * dx + dy * dy;
    double t = l2 > 0 ? ((q.x - a.x) * dx + (q.y - a.y) * dy) / l2 : 0.0;
    t = std::clamp(t, 0.0, 1.0);
    const double si = lo.s[i] + t * (lo.s[i + 1] - lo.s[i]);
    if (si < from - kSameTol || si > to + kSameTol) continue;
    const Point3D c = lerp(a, b, t);
    const double d = planDist(c, q);
    // ties go to the later parameter in the last quarter, so the end meets the lower end
    if (d < best - 1e-12 || (std::fabs(d - best) <= 1e-12 && from > 0.0)) {
      best = d;
      *out = c;
      *param = si;
    }
  }
}

// The point between u and l where the drop height reaches z; the lower point when its height is
// already z, the upper one when z is not below its drop height. reachable false when even the
// lower point's drop height lies above z.
Point3D dropToHeight(SurfaceModel* m, const Point3D& u, const Point3D& l, double z, double tol,
                     bool* reachable) {
  *reachable = true;
  if (std::fabs(l.z - z) < kSameTol) return l;
  const double hu = spiralDropAt(m, u);
  if (z >= hu) return {u.x, u.y, z};
  const double hl = spiralDropAt(m, l);
  if (hl > z + tol) {
    *reachable = false;
    return {l.x, l.y, hl};
  }
  Point3D a = u, b = l;
  while (planDist(a, b) >= 0.001) {
    const Point3D mid = lerp(a, b, 0.5);
    if (spiralDropAt(m, mid) > z)
      a = mid;
    else
      b = mid;
  }
  const Point3D r = lerp(a, b, 0.5);
  return {r.x, r.y, z};
}

// Share of the way down at the upper parameter a and lower parameter b: the mean parameter over
// the mean length; with a blend length both are capped at it and the share is eased.
double blendFraction(double a, double b, double meanLen, double blend) {
  double mean = (a + b) / 2, len = meanLen;
  if (blend > 0.00001) {
    mean = std::min(mean, blend);
    len = std::min(len, blend);
  }
  double h = len > 0 ? std::clamp(mean / len, 0.0, 1.0) : 1.0;
  if (blend > 0.00001) h = (1.0 - std::cos(std::numbers::pi * h)) / 2.0;
  return h;
}

bool turnTooSharp(const Point3D& a, const Point3D& b, const Point3D& c, double step) {
  const Point3D u = vecSub(b, a), v = vecSub(c, b);
  const double lu = vecLength(u), lv = vecLength(v);
  if (lu < kSameTol || lv < kSameTol) return false;
  const double cosine = vecDot(u, v) / (lu * lv);
  return cosine <= (lu < step ? spiralState.cos2 : spiralState.cos1);
}

}  // namespace

void spiralSetTiltHook(SpiralTiltFn fn) { spiralTilt = fn; }
void spiralSetToolCheck(int flag) { spiralState.toolCheck = flag; }
int spiralGetToolCheck() { return spiralState.toolCheck; }
void spiralResetState() { spiralState = SpiralState{}; }

int spiralIsClosed(const PathList* path) {
  if (path == nullptr || path->count < 2) return 0;
  return vecDistance(path->positions[0], path->positions[path->count - 1]) < kClosedTol ? 1 : 0;
}

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

double spiralBlendZ(const PathList* upper, const PathList* lower, double a, double b,
                    double blend) {
  const double lu = pathListLength(upper), ll = pathListLength(lower);
  const double h = blendFraction(a, b, (lu + ll) / 2, blend);
  return (1.0 - h) * upper->positions[0].z + h * lower->positions[0].z;
}

int spiralTransition(SurfaceModel* model, const PathList* lower, const PathList* upper,
                     PathList* out, const Point3D& start, double blend) {
  if (model == nullptr || model->cutter == nullptr || lower == nullptr || upper == nullptr ||
      out == nullptr)
    return -1;
  out->count = 0;
  if (!spiralIsClosed(lower) || !spiralIsClosed(upper)) return 0;
  try {
    const double dropTol = model->tolerance;
    const double tol = std::max(dropTol, 0.008);
    const double radius = model->cutter->radius;
    double step = model->step > 1e-5 ? model->step : radius;
    if (dropTol < 0.00728) step = std::min(step, std::max(std::sqrt(0.08 * radius), 0.25));
    double angle = dropTol < 0.00499 ? dropTol * 1000.0 : 5.0;
    angle = std::max(angle, 1.0);
    spiralState.stepAngle = angle;
    spiralState.cos1 = std::cos(angle * std::numbers::pi / 180.0);
    spiralState.cos2 = std::cos(2.0 * angle * std::numbers::pi / 180.0);

    WorkPath up = copyPath(upper), lo = copyPath(lower);
    densify(up, radius);
    if (dropTol < 0.005) densify(up, 0.4 * step);
    rotateToNearest(lo, start);
    rotateToNearest(up, start);
    if (blend > 1e-5) insertSteps(up, blend, step);

    if (spiralState.toolCheck != 0) {
      // the positions come from a clearance search with the axes turned sideways, which needs
      // the five-axis control's tilt of the path
      PathList* tilted = pathListNew(static_cast<int>(up.p.size()) + 1, 1);
      if (tilted == nullptr) return -1;
      for (std::size_t i = 0; i < up.p.size(); ++i) {
        const Point3D axis{0.0, 0.0, 1.0};
        if (pathListInsert(tilted, up.s[i], up.p[i], 1, &axis, 1) < 0) {
          pathListFree(tilted);
          return -1;
        }
      }
      const int r = spiralTilt != nullptr ? spiralTilt(tilted, radius, 1, 90.0) : -1;
      pathListFree(tilted);
      // The clearance search against the facets between the two heights follows the tilt and is
      // not available yet: the tool-check transition fails, whatever the tilt answered.
      (void)r;
      return -1;
    }

    const double upperLen = up.length();
    std::vector<Point3D> pts;
    std::vector<double> prm;
    bool noSpiral = false;
    const double zU = up.p[0].z, zL = lo.p[0].z;
    const double meanLen = (upperLen + lo.length()) / 2;
    for (std::size_t i = 0; i < up.p.size(); ++i) {
      Point3D near{};
      double b = 0.0;
      nearestOnLower(up.s[i], upperLen, lo, up.p[i], &near, &b);
      const double h = blendFraction(up.s[i], b, meanLen, blend);
      const double z = (1.0 - h) * zU + h * zL;
      bool reachable = true;
      const Point3D pos = dropToHeight(model, up.p[i], near, z, tol, &reachable);
      if (!reachable) noSpiral = true;
      if (!pts.empty() && vecDistance(pts.back(), pos) < tol) continue;
      pts.push_back(pos);
      prm.push_back((up.s[i] + b) / 2);
      if (out3dCheckBreak() != 0) return -1;
    }
    // pieces that turn too sharply get a middle position resting on the part
    for (int pass = 0; pass < kMaxTurnPasses; ++pass) {
      bool inserted = false;
      for (std::size_t i = 1; i + 1 < pts.size(); ++i) {
        if (!turnTooSharp(pts[i - 1], pts[i], pts[i + 1], step) &&
            !turnTooSharp(pts[i + 1], pts[i], pts[i - 1], step))
          continue;
        if (vecDistance(pts[i], pts[i + 1]) < 2.0 * tol) continue;
        Point3D mid = lerp(pts[i], pts[i + 1], 0.5);
        mid.z = std::max(mid.z, spiralDropAt(model, mid));
        pts.insert(pts.begin() + static_cast<std::ptrdiff_t>(i + 1), mid);
        prm.insert(prm.begin() + static_cast<std::ptrdiff_t>(i + 1), (prm[i] + prm[i + 1]) / 2);
        ++i;
        inserted = true;
      }
      if (!inserted) break;
    }
    // join to the start point
    if (!pts.empty()) {
      std::size_t nearest = 0;
      for (std::size_t i = 1; i < pts.size() && i <= 3; ++i)
        if (vecDistance(pts[i], start) < vecDistance(pts[nearest], start)) nearest = i;
      if (nearest > 0) {
        pts.erase(pts.begin(), pts.begin() + static_cast<std::ptrdiff_t>(nearest));
        prm.erase(prm.begin(), prm.begin() + static_cast<std::ptrdiff_t>(nearest));
      }
      if (vecDistance(pts[0], start) < 0.5) pts[0] = start;
      if (pts.size() > 1 && vecDistance(pts[0], pts[1]) < 0.01) {
        pts.erase(pts.begin() + 1);
        prm.erase(prm.begin() + 1);
      }
    }
    for (std::size_t i = 0; i < pts.size(); ++i) {
      if (i > 0 &&
          (std::fabs(prm[i] - prm[i - 1]) < kSameTol || vecDistance(pts[i], pts[i - 1]) < kSameTol))
        continue;
      if (pathListInsert(out, prm[i], pts[i], 1, nullptr, 0) < 0) return -1;
    }
    if (noSpiral) msgSendText(9, kSpiralNoSpiralMsg, "* no spiral possible", nullptr);
    return 1;
  } catch (const std::bad_alloc&) {
    out->count = 0;
    return -1;
  }
}
