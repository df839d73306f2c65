// profile_sample.cpp - one sample of a profile drop on triangle and four-corner facet models.
// A sample allocates nothing except in the reduced-allowance check, which copies the model
// record (not its facets) only for points that rest above the curve's height.
#include "model/profile_sample.h"

#include <algorithm>
#include <cmath>

#include "framework/messages.h"
#include "geometry/boundary.h"
#include "geometry/guide_curve.h"
#include "geometry/triangle_grid.h"
#include "model/point_drop.h"

namespace {

constexpr double kSampleTol = 1e-5;
constexpr int kQuadPollEvery = 10000;

struct SampleState {
  int triOverride = 0;
  CutterShape triCutter{};
  int quadOverride = 0;
  CutterShape quadCutter{};
  double reduction = 0.0;
  int reductionOn = 0;
  int quadCounter = 0;
};
SampleState sampleState;

// Candidates of a grid cell at (x, y); the sample's own list when there is no grid.
void sampleCandidates(const TriangleGrid* grid, double x, double y, const std::int32_t* own,
                      int ownCount, const std::int32_t** out, int* count) {
  if (grid != nullptr) {
    const TriangleGridCell* cell = triGridCell(grid, x, y);
    *out = cell != nullptr ? cell->indices : nullptr;
    *count = cell != nullptr ? cell->count : 0;
    // An empty cell still restricts the drop to nothing, never to every facet.
    static const std::int32_t kNone = -1;
    if (*out == nullptr) *out = &kNone;
    return;
  }
  *out = own;
  *count = ownCount;
}

bool curveHasHeights(const SurfaceModel* model) {
  return model->profile != nullptr && model->profile->z != nullptr;
}

// The part of both twins after the drops: height range, curve heights, footprint.
int sampleFinish(ProfileSample* sp, const SurfaceModel* model, int result, bool quads) {
  if (sp->position.z < model->floorZ) {
    sp->position.z = model->floorZ;
    sp->valid = 0;
    result = 2;
  } else if (sp->position.z > model->ceilingZ + kSampleTol) {
    sp->state = kSampleGap;
    if (!quads) sp->valid = 0;
    result = 1;
  }
  if (!quads && curveHasHeights(model) && sp->position.z > sp->curveZ + kSampleTol &&
      sampleState.reductionOn != 0) {
    const double radius = model->cutter != nullptr ? model->cutter->radius : 0.0;
    dropReducedAllowanceCheck(&sp->position, model, sp->curveZ,
                              std::min(sp->curveZ - 1.0, model->boxMin.z), model->boxMax.z + radius,
                              sp->candidates, sp->candidateCount);
  }
  if (curveHasHeights(model) && sp->position.z < sp->curveZ - kSampleTol) {
    sp->position.z = sp->curveZ;
    sp->state = kSampleGap;
    sp->valid = 0;
    return 0;
  }
  if (model->boundaryCheck == 1 && sp->state != kSampleGap && sp->valid != 0) {
    if (dropProfileCheckBoundary(model->boundary, model->cutter, sp->contact, sp->position, sp->s,
                                 model->profile) != 1) {
      sp->state = kSampleOutside;
      result = 3;
    }
  }
  return result;
}

}  // namespace

namespace {

// What the triangle and the four-corner samples differ in.
struct SampleTwin {
  bool quads;
  int (*drop)(Point3D*, double, const CutterShape*, const std::int32_t*, int, Point3D*, int*);
  void (*push)(const SubModel*);
  void (*pop)();
  const int* overrideOn;
  const CutterShape* overrideCutter;
};

const SampleTwin kTriSample{false,
                            dropPointTris,
                            dropPushTriSubModel,
                            dropPopTriSubModel,
                            &sampleState.triOverride,
                            &sampleState.triCutter};
const SampleTwin kQuadSample{true,
                             dropPointQuads,
                             dropPushQuadSubModel,
                             dropPopQuadSubModel,
                             &sampleState.quadOverride,
                             &sampleState.quadCutter};

int sampleRun(ProfileSample* sp, const SurfaceModel* model, const SampleTwin& twin) {
  sp->position = {sp->x, sp->y, model->floorZ};
  const std::int32_t* cands = nullptr;
  int count = 0;
  sampleCandidates(model->grid, sp->x, sp->y, sp->candidates, sp->candidateCount, &cands, &count);
  sp->valid = 1;
  sp->hit = 0;
  sp->state = kSampleNormal;
  if (model->restrictToBoundary != 0 && bndParamInside(model->boundary, sp->s) == 0) {
    sp->state = kSampleGap;
    sp->valid = 0;
    return 0;
  }
  const bool override = *twin.overrideOn != 0;
  int kind = 0;
  const int r =
      twin.drop(&sp->position, model->boxMax.z + model->cutter->radius,
                override ? twin.overrideCutter : model->cutter, cands, count, &sp->contact, &kind);
  if (r > 0) sp->hit = 1;
  if (r == 2) sp->state = kSampleFacet;
  if (r == 0) sp->valid = 0;
  for (const SubModel* sub = model->subModels; sub != nullptr; sub = sub->next) {
    const std::int32_t* subCands = nullptr;
    int subCount = 0;
    sampleCandidates(sub->grid, sp->x, sp->y, nullptr, 0, &subCands, &subCount);
    twin.push(sub);
    Point3D copy = sp->position;
    Point3D contact{};
    int subKind = 0;
    const int sr = twin.drop(&copy, sub->boxMax.z + sub->cutter.radius,
                             override ? twin.overrideCutter : &sub->cutter, subCands, subCount,
                             &contact, &subKind);
    if (sr > 0 && subKind != 0) {
      sp->contact = contact;
      sp->hit = 1;
      sp->valid = 1;
    }
    if (twin.quads) {
      sp->state = kSampleNormal;  // four-corner samples know no lifting sub-model
    } else if (sub->additional != 0 && copy.z > sp->position.z + model->tolerance) {
      sp->state = kSampleGap;
    }
    sp->position.z = std::max(sp->position.z, copy.z);
    twin.pop();
  }
  return sampleFinish(sp, model, 1, twin.quads);
}

}  // namespace

int dropProfilePoint(ProfileSample* sp, const SurfaceModel* model) {
  if (sp == nullptr || model == nullptr || model->cutter == nullptr) return 0;
  return sampleRun(sp, model, kTriSample);
}

int dropProfilePointQuads(ProfileSample* sp, const SurfaceModel* model) {
  if (sp == nullptr || model == nullptr || model->cutter == nullptr) return 0;
  if (++sampleState.quadCounter > kQuadPollEvery) {
    sampleState.quadCounter = 0;
    if (out3dCheckBreak() != 0) return -2;
  }
  return sampleRun(sp, model, kQuadSample);
}

void dropSetToolOverride(int on, const CutterShape* cutter) {
  sampleState.triOverride = on;
  if (cutter != nullptr) sampleState.triCutter = *cutter;
}
int dropGetToolOverride(CutterShape* out) {
  if (out != nullptr) *out = sampleState.triCutter;
  return sampleState.triOverride;
}
void dropSetQuadToolOverride(int on, const CutterShape* cutter) {
  sampleState.quadOverride = on;
  if (cutter != nullptr) sampleState.quadCutter = *cutter;
}
int dropGetQuadToolOverride(CutterShape* out) {
  if (out != nullptr) *out = sampleState.quadCutter;
  return sampleState.quadOverride;
}

void dropSetReducedAllowance(double r) {
  sampleState.reduction = r;
  sampleState.reductionOn = std::fabs(r) >= kSampleTol ? 1 : 0;
}

int dropReducedAllowanceCheck(Point3D* position, const SurfaceModel* model, double upper, double z0,
                              double refHeight, const std::int32_t* candidates, int count) {
  if (sampleState.reductionOn == 0 || position == nullptr || model == nullptr) return 0;
  SurfaceModel* copy = modelCopy(model);
  if (copy == nullptr) return 0;
  modelAddAllowance(copy, -sampleState.reduction);
  Point3D p{position->x, position->y, z0};
  Point3D contact{};
  int kind = 0;
  bool touched = false;
  if (copy->cutter != nullptr &&
      dropPointTris(&p, refHeight, copy->cutter, candidates, count, &contact, &kind) > 0) {
    touched = true;
  }
  for (const SubModel* sub = copy->subModels; sub != nullptr; sub = sub->next) {
    const std::int32_t* subCands = nullptr;
    int subCount = 0;
    sampleCandidates(sub->grid, p.x, p.y, nullptr, 0, &subCands, &subCount);
    dropPushTriSubModel(sub);
    int subKind = 0;
    if (dropPointTris(&p, sub->boxMax.z + sub->cutter.radius, &sub->cutter, subCands, subCount,
                      &contact, &subKind) > 0 &&
        subKind != 0) {
      touched = true;
    }
    dropPopTriSubModel();
  }
  modelFree(copy);
  if (touched && (p.z > upper - kSampleTol || p.z > position->z - 2.0 * sampleState.reduction)) {
    return 0;
  }
  position->z = p.z;
  return 1;
}

int dropProfileCheckBoundary(const Boundary* boundary, const CutterShape* cutter,
                             const Point3D& contact, const Point3D& position, double s,
                             const GuideCurve* curve) {
  if (std::fabs(contact.x - position.x) >= kSampleTol ||
      std::fabs(contact.y - position.y) >= kSampleTol ||
      std::fabs(contact.z - position.z) >= kSampleTol) {
    return bndPointInside(boundary, Point2D{contact.x, contact.y}) != 0 ? 1 : 0;
  }
  if (cutter == nullptr) return 0;
  double b;
  if (cutter->type == kCutterFlat) {
    b = cutter->radius;
  } else if (cutter->type == kCutterTorus) {
    b = cutter->radius - cutter->cornerRadius;
  } else {
    return 0;
  }
  if (b <= kSampleTol) return 0;
  Point2D ahead;
  Point2D behind;
  if (guideEvalAt(curve, s + b, &ahead, nullptr) < 0 ||
      guideEvalAt(curve, s - b, &behind, nullptr) < 0) {
    return 0;
  }
  if (bndPointInside(boundary, ahead) == 0 || bndPointInside(boundary, behind) == 0) return 0;
  Point2D t;
  if (guideTangentAt(curve, s, &t) != 1) return 0;
  const Point2D left{position.x - b * t.y, position.y + b * t.x};
  const Point2D right{position.x + b * t.y, position.y - b * t.x};
  if (bndPointInside(boundary, left) == 0 || bndPointInside(boundary, right) == 0) return 0;
  return 1;
}

void dropProfileSampleResetState() { sampleState = SampleState{}; }
