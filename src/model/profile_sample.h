// profile_sample.h - one sample of a drop along a profile: the tool dropped at a plan point onto
// the model and its sub-models, with the model's restrictions applied (boundary intervals, height
// range, the curve's own heights, the tool's footprint inside the boundary). Triangle and
// four-corner facet models are twins.
#pragma once

#include <cstdint>

#include "geometry/vec.h"
#include "model/surface_model.h"

struct Boundary;
struct GuideCurve;

// States of a sample.
inline constexpr int kSampleNormal = 0;
inline constexpr int kSampleFacet = 1;    // the drop rests on a facet
inline constexpr int kSampleGap = 2;      // excluded, out of range, below the curve or lifted
inline constexpr int kSampleOutside = 4;  // the tool's footprint leaves the boundary

// One sample. The profile drop fills the plan point, curve height, parameter, candidates and
// resets the contact; the sample fills the rest.
struct ProfileSample {
  double x, y;
  double curveZ;  // the curve's height at s (floorZ of the model when the curve has none)
  double s;
  const std::int32_t* candidates;  // facets to drop onto when the model has no grid; null: all
  std::int32_t candidateCount;
  Point3D position;  // the tool position; its z is the resting height
  Point3D contact;
  std::uint8_t valid;  // 1 when the sample is usable
  std::uint8_t hit;    // 1 when a drop touched the model
  std::uint8_t state;  // kSample*
};

// Samples a triangle model. Returns 0 excluded or lifted to the curve's height; 1 normal (also
// when nothing was touched); 2 the height was below floorZ and was raised to it; 3 the footprint
// left the boundary.
int dropProfilePoint(ProfileSample* sample, const SurfaceModel* model);
// Samples a four-corner facet model: the same, and -2 when the interrupt check asked to stop
// (polled every 10000 samples).
int dropProfilePointQuads(ProfileSample* sample, const SurfaceModel* model);

// While the switch is on, samples drop the given cutter instead of the model's and the
// sub-models' own. A null cutter keeps the stored one. The getters copy the stored cutter to out
// (when not null) and return the switch.
void dropSetToolOverride(int on, const CutterShape* cutter);
int dropGetToolOverride(CutterShape* out);
void dropSetQuadToolOverride(int on, const CutterShape* cutter);
int dropGetQuadToolOverride(CutterShape* out);

// Reduction of the allowance for points that rest above the curve's height (triangle models);
// the check is on while |r| >= 1e-5.
void dropSetReducedAllowance(double r);
// Re-drops a copy of position from start height z0 onto the model with its allowance reduced;
// when that rests lower by at least 2r and below upper (or touches nothing) position's height
// becomes the re-dropped one. Returns 1 when it replaced the height; 0 otherwise, with the check
// off, or when the model cannot be copied.
int dropReducedAllowanceCheck(Point3D* position, const SurfaceModel* model, double upper, double z0,
                              double refHeight, const std::int32_t* candidates, int count);
// 1 when the tool's footprint lies inside the boundary: the contact point when it differs from
// the position, else the curve points at s +- b and the side points position +- b * normal, b the
// flat part's radius of a flat end mill or torus. 0 otherwise (any other cutter, a failed curve
// evaluation or tangent).
int dropProfileCheckBoundary(const Boundary* boundary, const CutterShape* cutter,
                             const Point3D& contact, const Point3D& position, double s,
                             const GuideCurve* curve);

// Test seam: overrides off, no reduction, sample counter 0.
void dropProfileSampleResetState();
