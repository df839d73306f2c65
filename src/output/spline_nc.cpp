// spline_nc.cpp - "#D_SPLINE" and "POLY" NC blocks of a cubic spline, every number in the "C"
// locale with four decimals (three for the start position of a "POLY" block).
#include "output/spline_nc.h"

#include <string>

#include "framework/messages.h"
#include "output/out3d_state.h"

namespace {
std::string splFour(const double* c) {
  return out3dFixed(c[0], 4) + " " + out3dFixed(c[1], 4) + " " + out3dFixed(c[2], 4) + " " +
         out3dFixed(c[3], 4);
}

void splLine(const std::string& text) { out3dLiteralLine(text.c_str()); }

// Traces a segment of the wrong degree; true when the segment is cubic.
bool splCubic(const SplineSegment& g) {
  if (g.degree == 4) return true;
  out3dTraceText(9, "Spline ist nicht kubisch : %d", g.degree);
  return false;
}
}  // namespace

int splWriteDSpline(const CubicSpline* spline, const SplineArcMap* map, double feed) {
  if (spline == nullptr || map == nullptr || map->count < spline->count) return 0;
  const int n = spline->count;
  for (int i = 0; i < n; ++i) {
    splLine(std::string("#D_SPLINE[").append(std::to_string(2 * i)).append(",").append(std::to_string(2 * i + 1)).append("]"));
  }
  splLine("(------ DATA -----)");
  const std::string feedLine = std::string("F").append(out3dFixed(feed, 4));
  const std::string tStart = std::string("t").append(out3dFixed(0.0, 4));
  const std::string tEnd = std::string("t").append(out3dFixed(1.0, 4));
  static const double kZero[4] = {0, 0, 0, 0};
  static const double kOne[4] = {1, 0, 0, 0};
  for (int i = 0; i < n; ++i) {
    const SplineSegment& g = spline->segments[i];
    if (!splCubic(g)) return i;
    splLine(std::to_string(2 * i));
    splLine(tStart);
    splLine(splFour(g.cx));
    splLine(splFour(g.cy));
    splLine(splFour(g.cz));
    splLine(tEnd);
    splLine(out3dFixed(map->pieces[i].length, 4));
    splLine(splFour(map->pieces[i].coef));
    splLine(feedLine);
    splLine(std::to_string(2 * i + 1));
    splLine(splFour(kZero));
    splLine(splFour(kZero));
    splLine(splFour(kOne));
  }
  return n;
}

int splWritePoly(const CubicSpline* spline, double /*feed: the control keeps its own*/) {
  if (spline == nullptr || spline->count < 1) return 0;
  const SplineSegment& first = spline->segments[0];
  splLine(std::string("G1 X").append(out3dFixed(first.cx[0], 3)).append(" Y").append(out3dFixed(first.cy[0], 3))
              .append(" Z").append(out3dFixed(first.cz[0], 3)));
  const auto axis = [](const char* name, const double* c) {
    return std::string("PO[") + name + "]=(" + out3dFixed(c[0] + c[1] + c[2] + c[3], 4, 7) + "," +
           out3dFixed(c[2], 4, 7) + "," + out3dFixed(c[3], 4, 7) + ")";
  };
  for (int i = 0; i < spline->count; ++i) {
    const SplineSegment& g = spline->segments[i];
    if (!splCubic(g)) return i;
    splLine((i == 0 ? "POLY " : "") + axis("X", g.cx) + axis("Y", g.cy) + axis("Z", g.cz));
  }
  return spline->count;
}
