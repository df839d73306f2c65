// axis_interp.cpp - interpolation of the tool axes of a path-list range by the share of the path
// length, with the turns of the tool-axis maths.
#include "geometry/axis_interp.h"

#include <cmath>

#include "geometry/geo_error.h"
#include "geometry/tool_axis.h"

namespace {
constexpr double kEps = 1e-5;
constexpr double kSmallTurn = 0.2;  // below this angle equal-height axes turn by azimuth and tilt

// Angle between two axes: arc cosine of their clamped dot product.
double axisAngle(const Point3D& a, const Point3D& b) { return vecAcosClamped(vecDot(a, b)); }

// Checks a list and an index range for the interpolations.
bool axisRangeUsable(const PathList* list, int start, int end) {
  return list != nullptr && list->axes != nullptr && start >= 0 && end >= 0 &&
         start < list->count && end < list->count;
}

double axisMoveLength(const PathList* list, int i) {
  return vecDistance(list->positions[i - 1], list->positions[i]);
}

// Shared walk of the two range interpolations; byAzTilt forces azimuth and tilt for every point.
void axisInterpolateWalk(PathList* list, int start, int end, double length, bool byAzTilt) {
  if (start + 1 >= end) return;
  const Point3D a = list->axes[start];
  const Point3D b = list->axes[end];
  const double alpha = axisAngle(a, b);
  const bool equalZ = std::fabs(a.z - b.z) < kEps;
  double s = 0.0;
  for (int i = start + 1; i < end; ++i) {
    s += axisMoveLength(list, i);
    double phi;
    if (!byAzTilt && std::fabs(length) < kEps) {
      phi = alpha * static_cast<double>(i - start) / static_cast<double>(end - start);
    } else {
      phi = std::fmin(alpha, alpha * s / length);
    }
    Point3D out = list->axes[i];  // an axis the azimuth turn cannot give stays as it was
    if (byAzTilt) {
      axisTurnAzimuthTilt(&out, a, b, phi);
    } else if (std::fabs(phi) < kSmallTurn && equalZ) {
      if (axisTurnAzimuthTilt(&out, a, b, phi) == -1) axisTurnToward(&out, a, b, phi);
    } else {
      axisTurnToward(&out, a, b, phi);
    }
    list->axes[i] = out;
  }
}
}  // namespace

int axisInterpolateRange(PathList* list, int start, int end, double length) {
  if (!axisRangeUsable(list, start, end)) return geoFail(kGeoBadArgument, "tool_axis");
  axisInterpolateWalk(list, start, end, length, false);
  return 1;
}

int axisInterpolateAzTilt(PathList* list, int start, int end, double length) {
  if (!axisRangeUsable(list, start, end)) return geoFail(kGeoBadArgument, "tool_axis");
  if (std::fabs(length) < kEps) return 0;
  axisInterpolateWalk(list, start, end, length, true);
  return 1;
}
