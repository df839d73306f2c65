// profile_drop.cpp - the drop along a profile on triangle and four-corner facet models: the
// coarse walk, short-interval and corner samples, and the refinement passes that split an
// interval until its path neither turns sharply nor climbs steeply.
#include "model/profile_drop.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>

#include "framework/memory.h"
#include "framework/messages.h"
#include "geometry/boundary.h"
#include "geometry/geo_error.h"
#include "geometry/geo_random.h"
#include "geometry/guide_curve.h"
#include "geometry/path_list.h"
#include "model/point_drop.h"
#include "model/profile_sample.h"

namespace {

constexpr double kDropTol = 1e-5;
// The smallest step and the smallest gap ever split. The output list takes two parameters within
// 1e-5 as one place and files a new point before such a neighbour, so a step of 1e-5, or a split
// whose middle lies 1e-5 from an end, went in out of order; a split interval then never shrank
// and refinement inserted the same middle forever. Twice that distance keeps every new point
// clear of its neighbours.
constexpr double kMinStep = 2e-5;
constexpr double kPi = 3.14159265358979323846;

struct RefineAngle {
  double degrees = 5.0;
  double cos1 = std::cos(5.0 * kPi / 180.0);
  double cos2 = std::cos(10.0 * kPi / 180.0);
  void set(double deg) {
    degrees = deg;
    cos1 = std::cos(deg * kPi / 180.0);
    cos2 = std::cos(2.0 * deg * kPi / 180.0);
  }
};

struct ProfileDropState {
  RefineAngle tri;
  RefineAngle quad;
  int vertexSamples = 1;
  // The facet sets installed by the last drop of each type, for the candidate lists.
  const Tri3List* tris = nullptr;
  const QuadFacet* quads = nullptr;
  int quadCount = 0;
  const Point3D* triMin = nullptr;
  const Point3D* triMax = nullptr;
  const Point3D* quadMin = nullptr;
  const Point3D* quadMax = nullptr;
};
ProfileDropState profileState;

// What the two twins differ in during the walk.
struct DropTwin {
  bool quads;
  int (*sample)(ProfileSample*, const SurfaceModel*);
  int (*needsRefine)(const PathList*, const CutterShape*, double, int, int, int, double);
};

// One walk of a drop with its scratch values.
struct DropRun {
  SurfaceModel* model;
  PathList* out;
  const GuideCurve* curve;
  const DropTwin* twin;
  const std::int32_t* candidates;
  int candidateCount;
  double minSlope;  // smallest slope value so far
  bool slopeStop;
};

// Samples the curve at s (with plan point p and curve height g). Returns the sample's result.
int dropSampleAt(DropRun* run, double s, const Point2D& p, double g, ProfileSample* sp) {
  *sp = ProfileSample{};
  sp->x = p.x;
  sp->y = p.y;
  sp->curveZ = g;
  sp->s = s;
  sp->candidates = run->candidates;
  sp->candidateCount = run->candidateCount;
  sp->contact = {0.0, 0.0, 0.0};
  return run->twin->sample(sp, run->model);
}

// Inserts the sample into the output list. Returns its index; -2 when the insertion failed.
int dropInsert(DropRun* run, const ProfileSample& sp) {
  const int code = (sp.hit != 0 ? 1 : 0) | (static_cast<int>(sp.state) << 8);
  const int k = pathListInsert(run->out, sp.s, sp.position, code, &sp.contact, sp.valid);
  return k < 0 ? -2 : k;
}

// Records the slope of a sample; true when the slope stop fires.
bool dropRecordSlope(DropRun* run, int result, const ProfileSample& sp) {
  const SurfaceModel* m = run->model;
  if (result != 1 || sp.valid == 0 || m->slopeMode == 0) return false;
  double slope = 0.0;
  if (dropProfileSlope(run->curve, sp.s, sp.position, sp.contact, &slope) != 1) return false;
  run->minSlope = std::min(run->minSlope, slope);
  return m->slopeMode == 2 && run->minSlope < m->minSlope - kDropTol;
}

// Curve point and height at s (floorZ without heights). False when the evaluation fails.
bool dropEval(const DropRun* run, double s, Point2D* p, double* g) {
  double z = run->model->floorZ;
  if (guideEvalAt(run->curve, s, p, &z) < 0) return false;
  *g = run->curve->z != nullptr ? z : run->model->floorZ;
  return true;
}

// Sample, insert and slope record of one extra sample. Returns the new index, -2 on a failed
// insertion, -3 on an interrupt, -4 when the slope stop fired.
int dropAddSample(DropRun* run, double s, const Point2D& p, double g) {
  ProfileSample sp;
  const int r = dropSampleAt(run, s, p, g, &sp);
  if (r == -2) return -3;
  const int k = dropInsert(run, sp);
  if (k < 0) return -2;
  if (dropRecordSlope(run, r, sp)) return -4;
  return k;
}

// The refinement factor of the steepness rule.
double dropFactor(const CutterShape* c, double step, bool quads) {
  if (c->type == kCutterFlat) return 1.5;
  if (c->type == kCutterTorus && c->cornerRadius < step) return 3.0;
  if (quads && c->radius < 5.0) return 3.0;
  return 5.0;
}

int dropRun(DropRun* run, double walkStep) {
  SurfaceModel* m = run->model;
  const GuideCurve* curve = run->curve;
  const double tol = m->tolerance;
  // The smallest step ever taken: a tolerance of 0 (or below, or not a number) would otherwise
  // stall the walk at the end of the curve and let refinement split one interval forever.
  const double minStep = tol >= kMinStep ? tol : kMinStep;
  const double end = curve->end;
  ProfileSample sp;
  double s = 0.0;
  while (s <= end + kDropTol) {
    Point2D p;
    double g;
    if (!dropEval(run, s, &p, &g)) {
      msgSendText(9, 327, "* Fehler: Profil Punkt (1) nicht gefunden", nullptr);
      break;
    }
    const int r = dropSampleAt(run, s, p, g, &sp);
    if (r == -2) return -3;
    if (run->out == nullptr) {
      if (r != 0 && curve->z != nullptr && sp.position.z > g - kDropTol) return 0;
    } else if (dropInsert(run, sp) < 0) {
      return -2;
    }
    if (dropRecordSlope(run, r, sp)) return 0;
    double step = s < tol - kDropTol ? tol : walkStep;
    if (m->stepJitter != 0 && std::fabs(s - tol) <= kDropTol) {
      // k in 0..999 from the library's own generator, so a run repeats exactly.
      const int k = std::min(999, static_cast<int>(geoRandNext() * 1000.0));
      step = tol + k * (walkStep - tol) * 0.001;
    }
    if (s + step > end) step = std::max(end - s - tol - kDropTol, tol);
    s += std::max(step, minStep);
  }
  if (run->out == nullptr) return 1;
  PathList* out = run->out;

  // Short boundary intervals get a sample in their middle.
  const Boundary* b = m->boundary;
  for (int i = 0; b != nullptr && i < b->intervalCount; ++i) {
    const double lo = b->intervals[i].low;
    const double hi = b->intervals[i].high;
    if (hi - lo > 2.0 * m->step) continue;
    const double mid = 0.5 * (lo + hi);
    if (dropFindParam(out, mid, minStep) >= 0) continue;
    Point2D p;
    double g;
    if (!dropEval(run, mid, &p, &g)) {
      msgSendText(9, 327, "* Fehler: Profil Punkt (1) nicht gefunden", nullptr);
      break;
    }
    const int k = dropAddSample(run, mid, p, g);
    if (k == -4) return 0;
    if (k < 0) return k;
  }

  // Samples at the curve's vertices (the triangle twin only at corners).
  for (int i = 0; profileState.vertexSamples != 0 && i < curve->count; ++i) {
    if (!run->twin->quads && dropProfileIsCorner(i, curve) != 1) continue;
    const double at = curve->params[i];
    if (dropFindParam(out, at, minStep) >= 0) continue;
    const double g = curve->z != nullptr ? curve->z[i] : m->floorZ;
    const int k = dropAddSample(run, at, curve->points[i], g);
    if (k == -4) return 0;
    if (k < 0) return k;
  }

  // Refinement passes until a pass inserts nothing.
  const double f = dropFactor(m->cutter, m->step, run->twin->quads);
  bool inserted = true;
  while (inserted) {
    inserted = false;
    int w = 1;
    while (w < out->count) {
      const double gap = std::fabs(out->params[w] - out->params[w - 1]);
      if (gap < minStep + kDropTol) {
        ++w;
        continue;
      }
      const bool split = pathListClassDiffers(out, w - 1, w) == 1 ||
                         run->twin->needsRefine(out, m->cutter, m->step, w - 1, w, w + 1, f) == 1 ||
                         run->twin->needsRefine(out, m->cutter, m->step, w, w - 1, w - 2, f) == 1;
      if (!split) {
        ++w;
        continue;
      }
      const double mid = 0.5 * (out->params[w - 1] + out->params[w]);
      Point2D p;
      double g;
      if (!dropEval(run, mid, &p, &g)) {
        msgSendText(9, 328, "* Fehler: Profil Punkt (2) nicht gefunden", nullptr);
        break;
      }
      const int k = dropAddSample(run, mid, p, g);
      if (k == -4) return 0;
      if (k < 0) return k;
      inserted = true;
      w = std::max(k - 1, 1);
    }
  }
  return 1;
}

// Candidate list over an installed set given by its per-facet plan boxes.
std::int32_t* dropCandidates(int facetCount, const Point3D* fmin, const Point3D* fmax,
                             const GuideCurve* curve, double margin, int* outCount,
                             const Boundary* boundary, double pieceLength) {
  if (outCount != nullptr) *outCount = 0;
  if (facetCount <= 0 || fmin == nullptr || fmax == nullptr) return nullptr;
  StepBoxes* boxes = guideStepBoxes(curve, margin, boundary, pieceLength);
  std::int32_t* list = boxes != nullptr
                           ? static_cast<std::int32_t*>(memAllocZero(
                                 static_cast<std::size_t>(facetCount) * sizeof(std::int32_t)))
                           : nullptr;
  if (boxes == nullptr || list == nullptr) {
    guideFreeStepBoxes(boxes);
    memFree(list);
    msgSendText(2, 331, "* Warnung: Zu wenig Speicher - Keine Optimierung moeglich", nullptr);
    return nullptr;
  }
  int n = 0;
  for (int i = 0; i < facetCount; ++i) {
    for (int k = 0; k < boxes->count; ++k) {
      const StepBox& bx = boxes->boxes[k];
      if (fmin[i].x < bx.xmax && fmax[i].x > bx.xmin && fmin[i].y < bx.ymax &&
          fmax[i].y > bx.ymin) {
        list[n++] = i;
        break;
      }
    }
  }
  guideFreeStepBoxes(boxes);
  if (outCount != nullptr) *outCount = n;
  return list;
}

// The boundary whose intervals bound the candidate list: only a drop restricted to them samples
// nothing beyond their span; any other drop samples the whole curve, so its list must cover it.
const Boundary* dropCandidateSpan(const SurfaceModel* model) {
  return model->restrictToBoundary != 0 ? model->boundary : nullptr;
}

const DropTwin kTriTwin{false, dropProfilePoint, dropNeedsRefine};
const DropTwin kQuadTwin{true, dropProfilePointQuads, dropNeedsRefineQuads};

// The common part of both refinement tests. quads: the bending sense does not matter.
int dropRefineTest(const PathList* list, double step, int i0, int i1, int i2, double f,
                   const RefineAngle& angle, bool quads) {
  if (list == nullptr) return 0;
  const int n = list->count;
  if (i0 < 0 || i1 < 0 || i2 < 0 || i0 >= n || i1 >= n || i2 >= n) return 0;
  const Point3D& a = list->positions[i0];
  const Point3D& b = list->positions[i1];
  const Point3D& c = list->positions[i2];
  const Point3D u{b.x - a.x, b.y - a.y, b.z - a.z};
  const Point3D v{c.x - b.x, c.y - b.y, c.z - b.z};
  const double l1 = vecLength(u);
  const double l2 = vecLength(v);
  if (l1 < kDropTol || l2 < kDropTol) return 0;
  const Point3D uh{u.x / l1, u.y / l1, u.z / l1};
  const Point3D vh{v.x / l2, v.y / l2, v.z / l2};
  const double cosine = uh.x * vh.x + uh.y * vh.y + uh.z * vh.z;
  const double limit = l1 < step - kDropTol ? angle.cos2 : angle.cos1;
  if (cosine <= limit && std::fabs(uh.z) >= kDropTol) {
    if (quads) return 1;
    if ((uh.z > 0 && vh.z < uh.z) || (uh.z < 0 && vh.z > uh.z)) return 1;
  }
  const double plan = std::hypot(v.x, v.y);
  return cosine <= 0.99999 && std::fabs(v.z) > f * plan ? 1 : 0;
}

}  // namespace

int dropAlongProfile(SurfaceModel* model, PathList* out) {
  if (model == nullptr || model->cutter == nullptr || model->profile == nullptr) return 0;
  const double tol = model->tolerance;
  profileState.tri.set(tol < 0.00999 ? std::max(500.0 * tol, 0.5) : 5.0);
  pathListSetRandomKeep(model->stepJitter != 0 ? 1 : 0);
  dropSetTriModel(model->triangles, model->facetMin, model->facetMax, model->floorZ,
                  model->ceilingZ, model->restrictToBoundary);
  profileState.tris = model->triangles;
  profileState.triMin = model->facetMin;
  profileState.triMax = model->facetMax;
  std::int32_t* cands = nullptr;
  int candCount = 0;
  if (model->triangles != nullptr && model->triangles->count > 0 && model->grid == nullptr) {
    cands = dropProfileCandidatesTris(model->profile, model->cutter->radius, &candCount,
                                      dropCandidateSpan(model), model->candidateLength);
  }
  if (out != nullptr) out->count = 0;
  DropRun run{model, out, model->profile, &kTriTwin, cands, candCount, 1.0, false};
  const int r = dropRun(&run, model->step);
  if (r == 1 && out != nullptr && model->slopeMode != 0) model->minSlope = 0.9 * run.minSlope;
  memFree(cands);
  return r;
}

int dropAlongProfileQuads(SurfaceModel* model, PathList* out) {
  if (model == nullptr || model->cutter == nullptr || model->profile == nullptr) return 0;
  const double tol = model->tolerance;
  const double walkStep = model->step;  // this walk keeps the step it started with
  if (tol < 0.00728) {
    const double b = std::sqrt(0.08 * model->cutter->radius);
    if (b < model->step) model->step = b < 0.25 ? 0.25 : b;
  }
  profileState.quad.set(tol < 0.00499 ? std::max(500.0 * tol, 1.0) : 5.0);
  if (model->cutter->type == kCutterBall) model->cutter->cornerRadius = model->cutter->radius;
  if (model->cutter->type == kCutterFlat) model->cutter->cornerRadius = 0.0;
  pathListSetRandomKeep(model->stepJitter != 0 ? 1 : 0);
  dropSetQuadModel(model->quads, model->quadCount, model->facetMin, model->facetMax, model->floorZ,
                   model->ceilingZ, model->restrictToBoundary);
  profileState.quads = model->quads;
  profileState.quadCount = model->quadCount;
  profileState.quadMin = model->facetMin;
  profileState.quadMax = model->facetMax;
  std::int32_t* cands = nullptr;
  int candCount = 0;
  if (model->grid == nullptr && model->quadCount > 0) {
    cands = dropProfileCandidatesQuads(model->profile, model->cutter->radius, &candCount,
                                       dropCandidateSpan(model), model->candidateLength);
  }
  if (out != nullptr) out->count = 0;
  DropRun run{model, out, model->profile, &kQuadTwin, cands, candCount, 1.0, false};
  const int r = dropRun(&run, walkStep);
  if (r == 1 && out != nullptr && model->slopeMode != 0) model->minSlope = 0.9 * run.minSlope;
  memFree(cands);
  return r;
}

void dropSetProfileVertices(int on) { profileState.vertexSamples = on; }

int dropIsBreakBefore(const PathList* list, int i) { return pathListClassDiffers(list, i - 1, i); }

int dropFindParam(const PathList* list, double x, double tol) {
  if (list == nullptr) return -1;
  for (int i = 0; i < list->count; ++i) {
    if (std::fabs(list->params[i] - x) <= tol) return i;
    if (list->params[i] > x + tol) return -1;
  }
  return -1;
}

int dropProfileSlope(const GuideCurve* curve, double s, const Point3D& position,
                     const Point3D& contact, double* out) {
  Point2D t;
  if (guideTangentAt(curve, s, &t) != 1) return 0;
  const double dn = (contact.x - position.x) * -t.y + (contact.y - position.y) * t.x;
  const double dz = contact.z - position.z;
  const double q = dn * dn + dz * dz;
  if (q < kDropTol) return 0;
  if (out != nullptr) *out = std::fabs(dz) / std::sqrt(q);
  return 1;
}

int dropProfileIsCorner(int i, const GuideCurve* curve) {
  if (curve == nullptr || i < 0 || i >= curve->count) return 0;
  if (i == 0 || i == curve->count - 1) return 1;
  const Point2D& a = curve->points[i - 1];
  const Point2D& b = curve->points[i];
  const Point2D& c = curve->points[i + 1];
  const double l1 = g2dDistance(a, b);
  const double l2 = g2dDistance(b, c);
  if (l1 < kDropTol || l2 < kDropTol) return 0;
  const double cosine = ((b.x - a.x) * (c.x - b.x) + (b.y - a.y) * (c.y - b.y)) / (l1 * l2);
  return cosine <= 0.985 ? 1 : 0;
}

int dropNeedsRefine(const PathList* list, const CutterShape*, double step, int i0, int i1, int i2,
                    double f) {
  return dropRefineTest(list, step, i0, i1, i2, f, profileState.tri, false);
}

int dropNeedsRefineQuads(const PathList* list, const CutterShape*, double step, int i0, int i1,
                         int i2, double f) {
  return dropRefineTest(list, step, i0, i1, i2, f, profileState.quad, true);
}

std::int32_t* dropProfileCandidatesTris(const GuideCurve* curve, double margin, int* outCount,
                                        const Boundary* boundary, double pieceLength) {
  const int n = profileState.tris != nullptr ? profileState.tris->count : 0;
  return dropCandidates(n, profileState.triMin, profileState.triMax, curve, margin, outCount,
                        boundary, pieceLength);
}

std::int32_t* dropProfileCandidatesQuads(const GuideCurve* curve, double margin, int* outCount,
                                         const Boundary* boundary, double pieceLength) {
  return dropCandidates(profileState.quadCount, profileState.quadMin, profileState.quadMax, curve,
                        margin, outCount, boundary, pieceLength);
}

double dropRefineAngleTris() { return profileState.tri.degrees; }
double dropRefineAngleQuads() { return profileState.quad.degrees; }

void dropProfileResetState() { profileState = ProfileDropState{}; }
