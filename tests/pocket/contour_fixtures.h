// Random closed line-and-arc contours for the pocket tests, with their dense samples and exact
// signed area as independent oracles.
#pragma once

#include <algorithm>
#include <cmath>
#include <numbers>
#include <random>
#include <vector>

#include "pocket/contour_element.h"

namespace pocktest {

// A simple closed contour with the sampled polygon that follows it within 0.001.
struct SampledContour {
  std::vector<ContourElement> elements;
  std::vector<std::vector<Point2D>> samples;  // per element, from its start to its end
  std::vector<double> sweeps;                 // per element: the arc's signed sweep, 0 for a line
  double area = 0.0;                          // exact signed area (positive counter-clockwise)
};

// An arc from a to b with the signed sweep theta (positive counter-clockwise, |theta| < pi).
inline ContourElement arcBySweep(const Point2D& a, const Point2D& b, double theta, int tag = 0) {
  const double dx = b.x - a.x, dy = b.y - a.y;
  const double c = std::sqrt(dx * dx + dy * dy);
  const double r = c / (2.0 * std::sin(std::fabs(theta) / 2.0));
  const double h = r * std::cos(std::fabs(theta) / 2.0);
  const double side = theta > 0 ? 1.0 : -1.0;  // the centre lies left of the chord for ccw
  const Point2D m{(a.x + b.x) / 2.0, (a.y + b.y) / 2.0};
  const Point2D centre{m.x - side * h * dy / c, m.y + side * h * dx / c};
  return contMakeArc(centre.x, centre.y, a.x, a.y, b.x, b.y, r, theta > 0 ? 1 : -1, tag);
}

// Samples of an element: a line every `step` at most, an arc so that the chord error stays below
// 0.001. sweep is the arc's sweep.
inline std::vector<Point2D> sampleElement(const ContourElement& e, double sweep, double step) {
  std::vector<Point2D> pts;
  if (e.type == kContLine) {
    const double len = std::hypot(e.p2 - e.p0, e.p3 - e.p1);
    const int m = std::max(1, static_cast<int>(std::ceil(len / step)));
    for (int j = 0; j <= m; ++j) {
      const double t = static_cast<double>(j) / m;
      pts.push_back({e.p0 + t * (e.p2 - e.p0), e.p1 + t * (e.p3 - e.p1)});
    }
    return pts;
  }
  const double a0 = std::atan2(e.p3 - e.p1, e.p2 - e.p0);
  const double dTheta = std::min(std::sqrt(8.0 * 0.001 / e.radius), step / e.radius);
  const int m = std::max(1, static_cast<int>(std::ceil(std::fabs(sweep) / dTheta)));
  for (int j = 0; j <= m; ++j) {
    const double a = a0 + sweep * j / m;
    pts.push_back({e.p0 + e.radius * std::cos(a), e.p1 + e.radius * std::sin(a)});
  }
  pts.back() = Point2D{e.p4, e.p5};
  return pts;
}

// Exact signed area swept by an element with respect to the origin: the integral of
// (x dy - y dx) / 2.
inline double elementArea(const ContourElement& e, double sweep) {
  if (e.type == kContLine) return 0.5 * (e.p0 * e.p3 - e.p2 * e.p1);
  const double a0 = std::atan2(e.p3 - e.p1, e.p2 - e.p0);
  const double r = e.radius;
  return 0.5 * (r * r * sweep + r * e.p0 * (std::sin(a0 + sweep) - std::sin(a0)) -
                r * e.p1 * (std::cos(a0 + sweep) - std::cos(a0)));
}

// 1 when the open segments ab and cd cross or touch (exact orientation tests on the doubles are
// enough here: the fixtures keep their vertices apart).
inline bool segmentsMeet(const Point2D& a, const Point2D& b, const Point2D& c, const Point2D& d) {
  auto orient = [](const Point2D& p, const Point2D& q, const Point2D& r) {
    const double v = (q.x - p.x) * (r.y - p.y) - (q.y - p.y) * (r.x - p.x);
    return (v > 0) - (v < 0);
  };
  const int o1 = orient(a, b, c), o2 = orient(a, b, d), o3 = orient(c, d, a), o4 = orient(c, d, b);
  return o1 != o2 && o3 != o4;
}

// A random star-shaped contour of 4 to 9 corners about a random centre, some edges arcs that
// bulge either way; counter-clockwise or clockwise. Regenerated until its samples form a simple
// polygon.
inline SampledContour randomContour(std::mt19937& rng, bool ccw) {
  std::uniform_real_distribution<double> unit(0.0, 1.0);
  for (;;) {
    SampledContour out;
    const int k = 4 + static_cast<int>(unit(rng) * 6);
    const Point2D centre{unit(rng) * 200 - 100, unit(rng) * 200 - 100};
    std::vector<Point2D> corners;
    for (int i = 0; i < k; ++i) {
      const double a = 2.0 * std::numbers::pi * (i + 0.2 + 0.6 * unit(rng)) / k;
      const double r = 20 + 40 * unit(rng);
      corners.push_back({centre.x + r * std::cos(a), centre.y + r * std::sin(a)});
    }
    if (!ccw) std::reverse(corners.begin(), corners.end());
    for (int i = 0; i < k; ++i) {
      const Point2D a = corners[i], b = corners[(i + 1) % k];
      if (unit(rng) < 0.5) {
        out.elements.push_back(contMakeLine(a.x, a.y, b.x, b.y, i));
        out.sweeps.push_back(0.0);
      } else {
        const double mag = 0.2 + 1.0 * unit(rng);
        const double theta = unit(rng) < 0.5 ? mag : -mag;
        out.elements.push_back(arcBySweep(a, b, theta, i));
        out.sweeps.push_back(theta);
      }
    }
    std::vector<Point2D> poly;  // a line as one segment, an arc by its samples
    for (size_t i = 0; i < out.elements.size(); ++i) {
      out.samples.push_back(sampleElement(out.elements[i], out.sweeps[i], 0.5));
      out.area += elementArea(out.elements[i], out.sweeps[i]);
      if (out.elements[i].type == kContLine) {
        poly.push_back(out.samples.back().front());
      } else {
        poly.insert(poly.end(), out.samples.back().begin(), out.samples.back().end() - 1);
      }
    }
    bool simple = true;
    const size_t m = poly.size();
    for (size_t i = 0; i < m && simple; ++i) {
      for (size_t j = i + 2; j < m && simple; ++j) {
        if (i == 0 && j == m - 1) continue;
        if (segmentsMeet(poly[i], poly[(i + 1) % m], poly[j], poly[(j + 1) % m])) simple = false;
      }
    }
    if (simple) return out;
  }
}

}  // namespace pocktest
