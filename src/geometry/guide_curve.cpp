// guide_curve.cpp - guide curves: construction from points, moves and profile text files,
// evaluation by parameter, reversal, plan boxes along the curve and the fit of a profile's lateral
// offset range into a machining boundary.
#include "geometry/guide_curve.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <vector>

#include "framework/memory.h"
#include "framework/messages.h"
#include "geometry/bnd_text.h"
#include "geometry/boundary_record.h"
#include "geometry/csys.h"
#include "geometry/geo_error.h"
#include "geometry/geo_files.h"
#include "geometry/path_list.h"
#include "geometry/seg_cross.h"
#include "geometry/seg_offset.h"

namespace {

constexpr double kGuideTol = 1e-5;
// The name every item of a multi-item profile file gets, whatever the temporary file is called.
constexpr const char* kGuideItemName = "tmp.prf";
// Bisection steps of the fit: enough for any finite interval at the smallest tolerance.
constexpr int kGuideBisectMax = 200;
constexpr int kGuideNoFile = -29;  // a profile file cannot be opened

template <typename T>
T* guideAlloc(std::size_t n) {
  if (n == 0) n = 1;
  return static_cast<T*>(memAllocZero(n * sizeof(T)));
}

// Cumulative 2D lengths of the points into params.
void guideSetParams(const Point2D* points, int count, double* params) {
  params[0] = 0.0;
  for (int i = 1; i < count; ++i) params[i] = params[i - 1] + g2dDistance(points[i - 1], points[i]);
}

// A curve of kind 'p' that owns its point and height arrays (taken over; freed on failure).
GuideCurve* guideAdopt(Point2D* points, double* z, int count) {
  GuideCurve* c = guideNew(points, count, 'p');
  if (c == nullptr) {
    memFree(points);
    memFree(z);
    return nullptr;
  }
  c->z = z;
  c->ownsPoints = 1;
  return c;
}

void guideSetName(GuideCurve* c, const char* name) {
  std::size_t n = std::strlen(name);
  if (n > static_cast<std::size_t>(kGuideNameMax)) n = kGuideNameMax;
  std::memcpy(c->name, name, n);
  c->name[n] = '\0';
}

// The profile segments shifted by the signed offset, into out. Returns the count; 0 when there is
// no result or a single segment shorter than 1e-5.
int guideShift(const Seg2D* segs, int n, double offset, std::vector<Seg2D>* out) {
  if (n <= 0) return 0;
  out->assign(static_cast<std::size_t>(2 * n + 2), Seg2D{});
  int count;
  if (offset == 0.0) {
    std::copy(segs, segs + n, out->begin());
    count = n;
  } else {
    count = segOffsetContour(segs, n, std::fabs(offset), out->data(), static_cast<int>(out->size()),
                             offset > 0 ? 1 : -1);
  }
  if (count <= 0) return 0;
  if (count == 1) {
    const Seg2D& s = (*out)[0];
    if (std::hypot(s.x2 - s.x1, s.y2 - s.y1) < kGuideTol) return 0;
  }
  return count;
}

}  // namespace

GuideCurve* guideNew(const Point2D* points, int count, char kind) {
  if (points == nullptr || count < 1) {
    geoFail(kGeoBadArgument, "guide_curve");
    return nullptr;
  }
  GuideCurve* c = guideAlloc<GuideCurve>(1);
  double* params = guideAlloc<double>(static_cast<std::size_t>(count));
  if (c == nullptr || params == nullptr) {
    memFree(c);
    memFree(params);
    geoFail(kGeoFailed, "guide_curve");
    return nullptr;
  }
  guideSetParams(points, count, params);
  c->points = const_cast<Point2D*>(points);
  c->params = params;
  c->count = count;
  c->start = 0.0;
  c->end = params[count - 1];
  c->kind = kind;
  return c;
}

GuideCurve* guideFromTwoPoints(const Point3D& a, const Point3D& b) {
  const Point3D pts[2] = {a, b};
  const GuideMove move{2, 2, pts};
  return guideFromMove(&move);
}

GuideCurve* guideFromMove(const GuideMove* move) {
  if (move == nullptr || move->points == nullptr || move->count < 1) {
    geoFail(kGeoBadArgument, "guide_curve");
    return nullptr;
  }
  // Only the two directions are defined; anything else is refused rather than guessed.
  if (move->direction != 1 && move->direction != 2) {
    geoFail(kGeoBadArgument, "guide_curve");
    return nullptr;
  }
  const int n = move->count;
  Point2D* pts = guideAlloc<Point2D>(static_cast<std::size_t>(n));
  double* z = guideAlloc<double>(static_cast<std::size_t>(n));
  if (pts == nullptr || z == nullptr) {
    memFree(pts);
    memFree(z);
    geoFail(kGeoFailed, "guide_curve");
    return nullptr;
  }
  for (int i = 0; i < n; ++i) {
    const Point3D& p = move->points[move->direction == 1 ? n - 1 - i : i];
    pts[i] = {p.x, p.y};
    z[i] = p.z;
  }
  return guideAdopt(pts, z, n);
}

void guideFree(GuideCurve* list) {
  while (list != nullptr) {
    GuideCurve* next = list->next;
    if (list->ownsPoints == 1) {
      memFree(list->points);
      memFree(list->z);
    }
    memFree(list->params);
    memFree(list->extra);
    memFree(list);
    list = next;
  }
}

int guideEvalAt(const GuideCurve* c, double x, Point2D* outPoint, double* outZ) {
  if (c == nullptr || c->count < 1 || c->points == nullptr) return -1;
  if (!(x >= c->start - kGuideTol && x <= c->end + kGuideTol)) return -1;
  const int n = c->count;
  const auto put = [&](const Point2D& p, double z) {
    if (outPoint != nullptr) *outPoint = p;
    if (outZ != nullptr && c->z != nullptr) *outZ = z;
  };
  if (std::fabs(c->end - c->start) < kGuideTol) {
    put(c->points[n - 1], c->z != nullptr ? c->z[n - 1] : 0.0);
    return n - 1;
  }
  int i = 1;
  while (i < n && !(c->params[i] > x - kGuideTol)) ++i;
  if (i >= n) return -1;
  if (std::fabs(x - c->params[i - 1]) <= kGuideTol) {
    put(c->points[i - 1], c->z != nullptr ? c->z[i - 1] : 0.0);
    return i - 1;
  }
  const double span = c->params[i] - c->params[i - 1];
  const double f = span > 0.0 ? std::clamp((x - c->params[i - 1]) / span, 0.0, 1.0) : 0.0;
  const Point2D& a = c->points[i - 1];
  const Point2D& b = c->points[i];
  const double z = c->z != nullptr ? c->z[i - 1] + f * (c->z[i] - c->z[i - 1]) : 0.0;
  put(Point2D{a.x + f * (b.x - a.x), a.y + f * (b.y - a.y)}, z);
  return i - 1;
}

int guideTangentAt(const GuideCurve* c, double x, Point2D* outDir) {
  if (c == nullptr || c->count < 2 || std::fabs(c->end - c->start) < kGuideTol) return -1;
  x = std::clamp(x, std::min(c->start, c->end), std::max(c->start, c->end));
  Point2D p;
  const int i = guideEvalAt(c, x, &p, nullptr);
  if (i < 0) return -1;
  Point2D d;
  if (x >= c->end - kGuideTol) {
    d = {p.x - c->points[i].x, p.y - c->points[i].y};
  } else {
    int k = i + 1;
    while (k < c->count - 1 && std::fabs(c->points[k].x - p.x) <= kGuideTol &&
           std::fabs(c->points[k].y - p.y) <= kGuideTol) {
      ++k;
    }
    if (k >= c->count) return -1;
    d = {c->points[k].x - p.x, c->points[k].y - p.y};
  }
  const double len = g2dLength(d);
  if (len < kGuideTol) return -1;
  if (outDir != nullptr) *outDir = {d.x / len, d.y / len};
  return 1;
}

double guideLength(const GuideCurve* c) {
  if (c == nullptr || c->points == nullptr) return 0.0;
  double sum = 0.0;
  for (int i = 1; i < c->count; ++i) {
    const double dx = c->points[i].x - c->points[i - 1].x;
    const double dy = c->points[i].y - c->points[i - 1].y;
    const double dz = c->z != nullptr ? c->z[i] - c->z[i - 1] : 0.0;
    sum += std::sqrt(dx * dx + dy * dy + dz * dz);
  }
  return sum;
}

void guideReverse(GuideCurve* c) {
  if (c == nullptr || c->count < 1) return;
  const int n = c->count;
  std::reverse(c->points, c->points + n);
  if (c->z != nullptr) std::reverse(c->z, c->z + n);
  std::reverse(c->params, c->params + n);
  for (int i = 0; i < n; ++i) c->params[i] = c->start + c->end - c->params[i];
}

Seg2D* guideToSegments(const GuideCurve* c, int minRoom, int* outCount) {
  if (outCount != nullptr) *outCount = 0;
  if (c == nullptr || c->points == nullptr || c->count < 1) {
    geoFail(kGeoBadArgument, "guide_curve");
    return nullptr;
  }
  const int room = std::max(minRoom, c->count);
  Seg2D* segs = guideAlloc<Seg2D>(static_cast<std::size_t>(room));
  if (segs == nullptr) {
    geoFail(kGeoFailed, "guide_curve");
    return nullptr;
  }
  for (int i = 1; i < c->count; ++i) {
    segs[i - 1] = {c->points[i - 1].x, c->points[i - 1].y, c->points[i].x, c->points[i].y};
  }
  if (outCount != nullptr) *outCount = c->count - 1;
  return segs;
}

int guideSameAsBoundary(const GuideCurve* c, const Boundary* b) {
  if (c == nullptr || b == nullptr) return 0;
  const int n = b->segCount;
  if (c->count != n && c->count != n + 1) return 0;
  if (n <= 0) return 1;
  const auto same = [](const Seg2D& s, const Point2D& p) {
    return std::fabs(s.x1 - p.x) <= kGuideTol && std::fabs(s.y1 - p.y) <= kGuideTol;
  };
  bool forward = true;
  for (int i = 0; i < n && forward; ++i) forward = same(b->segs[i], c->points[i]);
  if (forward) return 1;
  // Backward: segment starts 0, 1, ... against points n, n-1, ..., 1 (a curve of n points has no
  // point n: then it cannot run backward with its closing point repeated).
  if (c->count != n + 1) return 0;
  for (int i = 0; i < n; ++i) {
    if (!same(b->segs[i], c->points[n - i])) return 0;
  }
  return -1;
}

int guideCapPathZ(PathList* list, const GuideCurve* c) {
  if (list == nullptr) return 0;
  if (c == nullptr || c->z == nullptr) return list->count;
  for (int i = 0; i < list->count; ++i) {
    Point2D p;
    double z = 0.0;
    if (guideEvalAt(c, list->params[i], &p, &z) < 0) continue;
    if (z < list->positions[i].z) list->positions[i].z = z;
  }
  return list->count;
}

StepBoxes* guideStepBoxes(const GuideCurve* c, double margin, const Boundary* b, double step) {
  if (c == nullptr || c->count < 2) return nullptr;
  if (margin < 0.0) margin = 0.0;
  if (step < kGuideTol) step = 1.0;
  double s = c->start;
  double e = c->end;
  if (b != nullptr && b->intervalCount > 0 && b->intervals != nullptr) {
    s = b->intervals[0].low;
    e = b->intervals[b->intervalCount - 1].high;
  }
  const double boxes = std::floor((e - s) / step) + 1.0;
  if (!(boxes >= 1.0) || boxes > 1e7) {
    geoFail(kGeoBadArgument, "guide_curve");
    return nullptr;
  }
  const int count = static_cast<int>(boxes);
  if (guideEvalAt(c, s, nullptr, nullptr) < 0) return nullptr;
  if (e - s < kGuideTol) s -= step / 2.0;
  StepBoxes* out = guideAlloc<StepBoxes>(1);
  StepBox* arr = guideAlloc<StepBox>(static_cast<std::size_t>(count));
  if (out == nullptr || arr == nullptr) {
    memFree(out);
    memFree(arr);
    geoFail(kGeoFailed, "guide_curve");
    return nullptr;
  }
  out->boxes = arr;
  // Points are evaluated inside the curve's range: a range of no length starts half a step before
  // its place, which may lie before the curve's start.
  const auto evalClamped = [&](double t, Point2D* p) {
    return guideEvalAt(c, std::clamp(t, c->start, c->end), p, nullptr) >= 0;
  };
  int k = 0;
  double t = s;
  double f;
  do {
    f = t + step;
    if (f > e - kGuideTol) f = e;
    Point2D pt, pf;
    if (k >= count || !evalClamped(t, &pt) || !evalClamped(f, &pf)) {
      guideFreeStepBoxes(out);
      return nullptr;
    }
    StepBox box{std::min(pt.x, pf.x), std::min(pt.y, pf.y), std::max(pt.x, pf.x),
                std::max(pt.y, pf.y)};
    for (int i = 0; i < c->count; ++i) {
      if (c->params[i] > t && c->params[i] < f) {
        box.xmin = std::min(box.xmin, c->points[i].x);
        box.ymin = std::min(box.ymin, c->points[i].y);
        box.xmax = std::max(box.xmax, c->points[i].x);
        box.ymax = std::max(box.ymax, c->points[i].y);
      }
    }
    arr[k++] = {box.xmin - margin, box.ymin - margin, box.xmax + margin, box.ymax + margin};
    t = f;
  } while (f < e - kGuideTol);
  out->count = k;
  return out;
}

void guideFreeStepBoxes(StepBoxes* boxes) {
  if (boxes == nullptr) return;
  memFree(boxes->boxes);
  memFree(boxes);
}

// ---- profile files ----------------------------------------------------------------------------

int guideCountItems(const char* fileName) {
  if (fileName == nullptr || fileName[0] == '\0') return geoFail(kGeoFailed, "guide_curve");
  std::FILE* f = std::fopen(fileName, "r");
  if (f == nullptr) return geoFail(kGeoFailed, "guide_curve");
  char piece[kBndPieceSize];
  int n = 0;
  while (bndTextNextPiece(f, piece) == 1) {
    if (bndTextLineKind(piece) == kBndLineEnd && n < 0x3FFFFFFF) ++n;
  }
  std::fclose(f);
  return n;
}

int guideWriteItem(const char* tempName, std::FILE* f) {
  if (tempName == nullptr || tempName[0] == '\0' || f == nullptr)
    return geoFail(kGeoFailed, "guide_curve");
  char piece[kBndPieceSize];
  bool started = false;
  std::FILE* out = nullptr;
  while (bndTextNextPiece(f, piece) == 1) {
    if (!started) {
      if (piece[0] != '*') continue;
      out = std::fopen(tempName, "w");
      if (out == nullptr) return geoFail(kGeoFailed, "guide_curve");
      started = true;
    }
    if (std::fputs(piece, out) < 0) {
      std::fclose(out);
      return geoFail(kGeoFailed, "guide_curve");
    }
    if (bndTextLineKind(piece) == kBndLineEnd) break;
  }
  if (!started) return 0;
  if (std::fclose(out) != 0) return geoFail(kGeoFailed, "guide_curve");
  return 1;
}

int guideReadPoints(Point2D* points, double* z, const char* fileName, int room) {
  if (points == nullptr || fileName == nullptr || fileName[0] == '\0')
    return geoFail(kGeoFailed, "guide_curve");
  std::FILE* f = std::fopen(fileName, "r");
  if (f == nullptr) return geoFail(kGeoFailed, "guide_curve");
  char piece[kBndPieceSize];
  Point3D p{0.0, 0.0, 0.0};  // a missing letter keeps the previous line's value, 0 at first
  int n = 0;
  while (n < room && bndTextNextPiece(f, piece) == 1) {
    if (bndTextLineKind(piece) == kBndLineEnd) break;
    if (piece[0] == '*') continue;  // comment and marker lines carry no point
    if (bndTextReadPoint(piece, &p) != 1) continue;
    Point3D q = p;
    csysWorldToTool(&q);
    if (bndTextPointUsable(q) != 1) continue;  // no usable point: the line is passed over
    if (n > 0 && std::fabs(q.x - points[n - 1].x) <= kGuideTol &&
        std::fabs(q.y - points[n - 1].y) <= kGuideTol &&
        (z == nullptr || std::fabs(q.z - z[n - 1]) <= kGuideTol)) {
      --n;  // a repeated point replaces the previous one
    }
    points[n] = {q.x, q.y};
    if (z != nullptr) z[n] = q.z;
    ++n;
  }
  std::fclose(f);
  return n;
}

namespace {

// Reads the first item of fileName into a new curve named name, reversed and fitted as asked.
// Returns 1 with the curve in *out (null when the fit failed and the curve was dropped); 0 when
// the item cannot be read.
int guideReadOne(const char* fileName, const char* name, const Boundary* b, double tolerance,
                 int reverseFlag, int orientFlag, GuideCurve** out) {
  *out = nullptr;
  const int lines = g2dFileLineCount(fileName);
  if (lines < 1) return 0;
  Point2D* pts = guideAlloc<Point2D>(static_cast<std::size_t>(lines));
  double* z = guideAlloc<double>(static_cast<std::size_t>(lines));
  if (pts == nullptr || z == nullptr) {
    memFree(pts);
    memFree(z);
    geoFail(kGeoFailed, "guide_curve");
    return 0;
  }
  const int n = guideReadPoints(pts, z, fileName, lines);
  if (n < 1) {
    memFree(pts);
    memFree(z);
    return 0;
  }
  GuideCurve* c = guideAdopt(pts, z, n);
  if (c == nullptr) return 0;
  guideSetName(c, name);
  c->reverseFlag = static_cast<short>(reverseFlag);
  c->orientFlag = static_cast<short>(orientFlag);
  if (reverseFlag != 0) guideReverse(c);
  if (b != nullptr && guideFitIntoBoundary(c, b, tolerance, &c->offLow, &c->offHigh) != 0) {
    msgSendText(9, 601, "* Fehler: Profil kann nicht in Boundary eingepasst werden", nullptr);
    guideFree(c);
    return 1;
  }
  *out = c;
  return 1;
}

}  // namespace

GuideCurve* guideReadProfiles(const char* fileName, const Boundary* b, double tolerance,
                              int reverseFlag, int orientFlag) {
  const int items = guideCountItems(fileName);
  if (items < 0) return nullptr;
  GuideCurve* head = nullptr;
  GuideCurve** tail = &head;
  const auto append = [&](GuideCurve* c) {
    if (c == nullptr) return;
    *tail = c;
    tail = &c->next;
  };
  if (items <= 1) {
    GuideCurve* c = nullptr;
    guideReadOne(fileName, fileName, b, tolerance, reverseFlag, orientFlag, &c);
    return c;
  }
  // Each item goes through a temporary file of its own name in the work directory, so runs that
  // share a folder cannot read each other's items.
  char temp[1200];
  if (geoTempFileName(temp, sizeof temp, ".prf") != 1) {
    geoFail(kGuideNoFile, "guide_curve");
    return nullptr;
  }
  std::FILE* f = std::fopen(fileName, "r");
  if (f == nullptr) {
    std::remove(temp);
    geoFail(kGuideNoFile, "guide_curve");
    return nullptr;
  }
  for (int i = 0; i < items; ++i) {
    if (guideWriteItem(temp, f) != 1) break;
    GuideCurve* c = nullptr;
    if (guideReadOne(temp, kGuideItemName, b, tolerance, reverseFlag, orientFlag, &c) != 1) break;
    append(c);
  }
  std::fclose(f);
  std::remove(temp);
  return head;
}

// ---- fit into a boundary ----------------------------------------------------------------------

int guideOffsetHits(const Seg2D* segs, int n, const Boundary* b, double offset) {
  if (segs == nullptr || b == nullptr || b->segs == nullptr) return 0;
  try {
    std::vector<Seg2D> shifted;
    const int m = guideShift(segs, n, offset, &shifted);
    if (m <= 0) return 0;
    SegCrossTable table;
    const int hits =
        segContoursIntersect(shifted.data(), m, b->segs, b->segCount, table.data(), kSegCrossMax);
    if (hits > 0) return 1;
    if (hits < 0) return 0;
    return g2dWinding(b->segs, b->segCount,
                      g2dSegStart(shifted[static_cast<std::size_t>(m / 2)])) != 0
               ? 1
               : 0;
  } catch (...) {
    return 0;
  }
}

int guideFindStartOffset(const Seg2D* segs, int n, const Boundary* b, double* offset) {
  if (segs == nullptr || b == nullptr || offset == nullptr || n <= 0)
    return geoFail(kGeoFailed, "guide_curve");
  if (guideOffsetHits(segs, n, b, *offset) == 1) return 0;
  const Point2D centre{0.5 * (b->xmin + b->xmax), 0.5 * (b->ymin + b->ymax)};
  const double d = g2dNearestSeg(centre, segs, n, nullptr);
  for (const double trial : {*offset + d, *offset - d, *offset + d / 2, *offset - d / 2}) {
    if (guideOffsetHits(segs, n, b, trial) == 1) {
      *offset = trial;
      return 0;
    }
  }
  return geoFail(kGeoFailed, "guide_curve");
}

int guideOffsetBound(const Seg2D* segs, int n, const Boundary* b, double offset, double* outBound) {
  if (segs == nullptr || b == nullptr || outBound == nullptr)
    return geoFail(kGeoFailed, "guide_curve");
  try {
    std::vector<Seg2D> shifted;
    const int m = guideShift(segs, n, offset, &shifted);
    if (m <= 0) return geoFail(kGeoFailed, "guide_curve");
    double bound = std::max(0.5 * (b->xmax - b->xmin), 0.5 * (b->ymax - b->ymin));
    const Point2D corners[4] = {
        {b->xmin, b->ymin}, {b->xmax, b->ymin}, {b->xmax, b->ymax}, {b->xmin, b->ymax}};
    for (const Point2D& p : corners) {
      bound = std::max(bound, g2dNearestSeg(p, shifted.data(), m, nullptr));
    }
    *outBound = 1.5 * bound;
    return 0;
  } catch (...) {
    return geoFail(kGeoFailed, "guide_curve");
  }
}

int guideBisectOffset(const Seg2D* segs, int n, const Boundary* b, double* lo, double* hi, int mode,
                      double tolerance) {
  const double tol = std::fabs(tolerance);
  for (int k = 0; k < kGuideBisectMax && *hi - *lo >= tol; ++k) {
    const double mid = 0.5 * (*lo + *hi);
    const int hit = guideOffsetHits(segs, n, b, mid);
    if ((mode == 1) == (hit == 1)) {
      *hi = mid;
    } else {
      *lo = mid;
    }
  }
  return mode;
}

int guideFitIntoBoundary(GuideCurve* c, const Boundary* b, double tolerance, double* outLow,
                         double* outHigh) {
  if (c == nullptr || b == nullptr || outLow == nullptr || outHigh == nullptr) {
    return geoFail(kGeoFailed, "guide_curve");
  }
  if (std::fabs(tolerance) < kGuideTol) {
    *outLow = 0.0;
    *outHigh = 0.0;
    return 0;
  }
  const int r = guideSameAsBoundary(c, b);
  if (r != 0) {
    *outLow = 0.0;
    double high = std::max(0.5 * (b->xmax - b->xmin), 0.5 * (b->ymax - b->ymin));
    const int o = g2dSegChainOrientation(b->segs, b->segCount);
    const int oo = r == -1 ? -o : o;
    if (oo < 0) {
      high = -high;
      c->orientFlag = 1;
    } else {
      c->orientFlag = 0;
    }
    *outHigh = high;
    return 0;
  }
  int n = 0;
  Seg2D* segs = guideToSegments(c, 1, &n);
  if (segs == nullptr) return -1;
  int result = -1;
  double offset = 0.0;
  double bound = 0.0;
  if (n > 0 && guideFindStartOffset(segs, n, b, &offset) == 0 &&
      guideOffsetBound(segs, n, b, offset, &bound) == 0) {
    double low;
    double high;
    if (guideOffsetHits(segs, n, b, offset - bound) == 1) {
      low = offset - bound;
    } else {
      double a = offset - bound;
      double z = offset;
      guideBisectOffset(segs, n, b, &a, &z, 1, tolerance);
      low = z;
    }
    if (guideOffsetHits(segs, n, b, offset + bound) == 1) {
      high = offset + bound;
    } else {
      double a = offset;
      double z = offset + bound;
      guideBisectOffset(segs, n, b, &a, &z, 2, tolerance);
      high = a;
    }
    if (c->orientFlag != 0) std::swap(low, high);
    *outLow = low;
    *outHigh = high;
    result = 0;
  }
  memFree(segs);
  return result;
}
