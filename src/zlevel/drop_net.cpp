// drop_net.cpp - drop nets of double and float heights: creation, the column-by-column fill by
// profile drops, interpolation, nearest node, raster marking, the binary net files and the text
// dump, and the drop of a revolved tool profile onto a stock grid. The two kinds differ only in
// their value types, so every operation is one template over the record.
#include "zlevel/drop_net.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <limits>
#include <new>
#include <string>
#include <type_traits>
#include <vector>

#include "framework/memory.h"
#include "framework/messages.h"
#include "framework/platform.h"
#include "geometry/boundary.h"
#include "geometry/geo_error.h"
#include "geometry/guide_curve.h"
#include "geometry/path_list.h"
#include "geometry/plane_geo.h"
#include "geometry/raster.h"
#include "geometry/space_geo.h"
#include "geometry/stock_grid.h"
#include "model/le_decode.h"
#include "model/profile_drop.h"
#include "model/surface_model.h"
#include "model/tool_profile.h"

static_assert(offsetof(DropNet, x0) == offsetof(FloatDropNet, x0));
static_assert(offsetof(DropNet, y0) == offsetof(FloatDropNet, y0));
static_assert(offsetof(DropNet, rows) == offsetof(FloatDropNet, rows));
static_assert(offsetof(DropNet, cols) == offsetof(FloatDropNet, cols));
static_assert(offsetof(DropNet, rowStep) == offsetof(FloatDropNet, rowStep));
static_assert(offsetof(DropNet, colStep) == offsetof(FloatDropNet, colStep));
static_assert(offsetof(DropNet, height) == offsetof(FloatDropNet, height));

namespace {

constexpr const char* kModule = "drop_net";
constexpr double kRasterLift = 1e-5;   // a node this little above the level still counts as free
constexpr double kProfileRTol = 1e-5;  // a distance this little inside a segment's start is on it
constexpr double kFlatSegment = 1e-8;  // a segment this short in r is level

struct DropNetState {
  double slopeTol = kDropNetSlopeTolDefault;   // DropNet fills
  double fSlopeTol = kDropNetSlopeTolDefault;  // FloatDropNet fills
};
DropNetState netState;

template <class Net>
constexpr bool kIsDouble = std::is_same_v<Net, DropNet>;

// Value types of a net kind.
template <class Net>
using HeightOf = std::remove_pointer_t<std::remove_pointer_t<decltype(Net::height)>>;

// A height as the net stores it. A float net clamps to the float range: an open drop floor
// (-1e300) under a node where the tool touched nothing has no float value.
template <class H>
H netStoredHeight(double z) {
  if constexpr (std::is_same_v<H, float>) {
    return static_cast<float>(std::clamp(z, -static_cast<double>(std::numeric_limits<float>::max()),
                                         static_cast<double>(std::numeric_limits<float>::max())));
  } else {
    return z;
  }
}
template <class Net>
using ValidOf = std::remove_pointer_t<std::remove_pointer_t<decltype(Net::valid)>>;

template <class Net>
bool netHasTables(const Net* net) {
  return net != nullptr && net->height != nullptr && net->valid != nullptr &&
         net->slope != nullptr && net->rows >= 1 && net->cols >= 1;
}

template <class Net>
int netFree(Net* net) {
  if (net == nullptr) return 0;
  for (int r = 0; r < net->rows; ++r) {
    if (net->height != nullptr) memFree(net->height[r]);
    if (net->valid != nullptr) memFree(net->valid[r]);
    if (net->slope != nullptr) memFree(net->slope[r]);
  }
  memFree(net->height);
  memFree(net->valid);
  memFree(net->slope);
  memFree(net);
  return 0;
}

template <class Net>
Net* netNew(double x0, double y0, int rows, int cols, double rowStep, double colStep) {
  if (rows < 1 || cols < 1) {
    geoFail(kGeoBadArgument, kModule);
    return nullptr;
  }
  using H = HeightOf<Net>;
  using V = ValidOf<Net>;
  auto* net = static_cast<Net*>(memAllocZero(sizeof(Net)));
  if (net == nullptr) {
    geoFail(kGeoFailed, kModule);
    return nullptr;
  }
  net->x0 = x0;
  net->y0 = y0;
  net->rowStep = rowStep;
  net->colStep = colStep;
  const auto n = static_cast<std::size_t>(rows);
  const auto m = static_cast<std::size_t>(cols);
  net->height = static_cast<H**>(memAllocZero(n * sizeof(H*)));
  net->valid = static_cast<V**>(memAllocZero(n * sizeof(V*)));
  net->slope = static_cast<std::uint8_t**>(memAllocZero(n * sizeof(std::uint8_t*)));
  // rows is set once the tables exist, so a failure below frees exactly what was made.
  bool ok = net->height != nullptr && net->valid != nullptr && net->slope != nullptr;
  if (ok) net->rows = rows;
  for (int r = 0; ok && r < rows; ++r) {
    net->height[r] = static_cast<H*>(memAllocZero(m * sizeof(H)));
    net->valid[r] = static_cast<V*>(memAllocZero(m * sizeof(V)));
    net->slope[r] = static_cast<std::uint8_t*>(memAllocZero(m));
    ok = net->height[r] != nullptr && net->valid[r] != nullptr && net->slope[r] != nullptr;
  }
  net->cols = cols;
  if (!ok) {
    netFree(net);
    geoFail(kGeoFailed, kModule);
    return nullptr;
  }
  return net;
}

// ---- fill ---------------------------------------------------------------------------------------

// Frees the fill's working objects when the fill ends, whichever way.
struct FillScratch {
  SurfaceModel* copy = nullptr;
  PathList* list = nullptr;
  GuideCurve* curve = nullptr;
  ~FillScratch() {
    if (copy != nullptr) copy->profile = nullptr;
    guideFree(curve);
    pathListFree(list);
    modelFree(copy);
  }
};

// The working copy of the model with the net's drop settings and the requested tool.
SurfaceModel* netFillCopy(const SurfaceModel* model, Boundary* clip, double step, double radius,
                          double cornerRadius) {
  SurfaceModel* copy = modelCopy(model);
  if (copy == nullptr) return nullptr;
  copy->boundary = clip;
  copy->boundaryCheck = 0;
  // The miss report of the drop goes with the boundary's intervals: without a clip boundary it
  // would put a contact under the axis of a node where the tool touched nothing.
  copy->restrictToBoundary = clip != nullptr ? 1 : 0;
  copy->step = step;
  copy->tolerance = step;
  // A slope stop would end a column before its last row and jittered steps would put the samples
  // between the rows.
  copy->slopeMode = 0;
  copy->stepJitter = 0;
  if (copy->floorZ < copy->boxMin.z) copy->boxMin.z = copy->floorZ;
  modelAddAllowance(copy, radius - copy->cutter->radius);
  modelAddCornerRadius(copy, cornerRadius - copy->cutter->cornerRadius);
  modelSetToolZOffset(copy, 0.0);
  modelClearTaper(copy);
  return copy;
}

template <class Net>
int netFill(Net* net, const SurfaceModel* model, Boundary* clip, double radius,
            double cornerRadius) {
  if (!netHasTables(net) || model == nullptr || model->cutter == nullptr)
    return geoFail(kGeoFailed, kModule);
  if (!(net->rowStep > 0.0) || !std::isfinite(net->rowStep) || !std::isfinite(net->colStep) ||
      !std::isfinite(net->x0) || !std::isfinite(net->y0) || !std::isfinite(radius) ||
      !std::isfinite(cornerRadius)) {
    return geoFail(kGeoFailed, kModule);
  }
  const double tol = kIsDouble<Net> ? netState.slopeTol : netState.fSlopeTol;
  FillScratch s;
  s.copy = netFillCopy(model, clip, net->rowStep, radius, cornerRadius);
  if (s.copy == nullptr) return geoFail(kGeoFailed, kModule);
  s.list = pathListNew(net->rows + 10, 1);
  if (s.list == nullptr) return geoFail(kGeoFailed, kModule);
  const bool quads = kIsDouble<Net> && s.copy->facetType != 3;
  const double h = s.copy->boxMin.z;
  const double yEnd = net->y0 + (net->rows - 1) * net->rowStep;
  for (int c = 0; c < net->cols; ++c) {
    if (kIsDouble<Net> && out3dCheckBreak() != 0) return -2;
    s.list->count = 0;
    const double x = net->x0 + c * net->colStep;
    s.curve = guideFromTwoPoints(Point3D{x, net->y0, h}, Point3D{x, yEnd, h});
    if (s.curve == nullptr) return geoFail(kGeoFailed, kModule);
    s.copy->profile = s.curve;
    if (clip != nullptr) {
      // The clip's intervals are its own less its islands': the islands' come first.
      for (const BndIslandNode* i = clip->islands; i != nullptr; i = i->next) {
        if (i->island != nullptr) bndUpdateIntervals(i->island, s.curve);
      }
      bndUpdateIntervals(clip, s.curve);
    }
    const int dropped =
        quads ? dropAlongProfileQuads(s.copy, s.list) : dropAlongProfile(s.copy, s.list);
    s.copy->profile = nullptr;
    guideFree(s.curve);
    s.curve = nullptr;
    if (dropped < 0) return geoFail(kGeoFailed, kModule);
    for (int r = 0; r < net->rows; ++r) {
      Point3D pos{};
      Point3D contact{};
      int hasContact = 0;
      const int k = pathListFindParam(s.list, r * net->rowStep, &pos, &contact, &hasContact);
      if (k < 0) continue;
      const bool gap = pathListClass(s.list, k) == kPathClassGap;
      if (kIsDouble<Net> && gap) continue;
      net->height[r][c] = netStoredHeight<HeightOf<Net>>(pos.z - cornerRadius);
      net->valid[r][c] = 1;
      // The drop keeps the hit in the low byte of the code (a gap's code loses it, and there
      // the contact decides): a node where the tool touched nothing is no flat node, wherever
      // it lies.
      const bool touchedNothing = !gap && pathListKind(s.list, k) == 0;
      const bool off = hasContact == 0 || std::fabs(pos.x - contact.x) >= tol ||
                       std::fabs(pos.y - contact.y) >= tol;
      net->slope[r][c] = touchedNothing || off ? 1 : 0;
    }
  }
  return 0;
}

// ---- reading ------------------------------------------------------------------------------------

template <class Net>
int netToRaster(const Net* net, double z, Raster* raster) {
  if (!netHasTables(net) || raster == nullptr || raster->cells == nullptr ||
      raster->rows != net->rows || raster->cols != net->cols) {
    return geoFail(kGeoBadArgument, kModule);
  }
  for (int r = 0; r < net->rows; ++r) {
    for (int c = 0; c < net->cols; ++c) {
      std::int16_t v = kRasterFree;
      if (net->valid[r][c] == 0) {
        v = kRasterOutside;
      } else if (z + kRasterLift < net->height[r][c]) {
        v = kRasterBlocked;
      } else {
        ++raster->freeCount;
      }
      raster->cells[r][c] = v;
    }
  }
  return 0;
}

// Nearest index along one axis: q = (v - origin) / step clamped to 0 .. n - 1, else trunc(q),
// or the next index when its node lies strictly nearer.
int netNearestIndex(double v, double origin, double step, int n) {
  const double q = (v - origin) / step;
  if (std::isnan(q) || q <= 0.0) return 0;
  if (q >= n - 1) return n - 1;
  const int i = static_cast<int>(q);
  const double here = std::fabs(v - (origin + i * step));
  const double next = std::fabs(v - (origin + (i + 1) * step));
  return next < here ? i + 1 : i;
}

// ---- files --------------------------------------------------------------------------------------

template <class Net>
constexpr int kPerNode = kIsDouble<Net> ? kDropNetFilePerNode : kFDropNetFilePerNode;

void netPutHeader(unsigned char* b, double x0, double y0, int rows, int cols, double rowStep,
                  double colStep) {
  lePutF64(b, x0);
  lePutF64(b + 8, y0);
  lePutI32(b + 16, rows);
  lePutI32(b + 20, cols);
  lePutF64(b + 24, rowStep);
  lePutF64(b + 32, colStep);
}

template <class Net>
int netSave(const Net* net, const char* fileName) {
  if (fileName == nullptr) return geoFail(kGeoFailed, kModule);
  if (net != nullptr && !netHasTables(net)) return geoFail(kGeoFailed, kModule);
  std::FILE* f = std::fopen(fileName, "wb");
  if (f == nullptr) return geoFail(kGeoFailed, kModule);
  bool ok = true;
  if (net != nullptr) {
    try {
      unsigned char head[kDropNetFileHead];
      netPutHeader(head, net->x0, net->y0, net->rows, net->cols, net->rowStep, net->colStep);
      ok = std::fwrite(head, 1, kDropNetFileHead, f) == kDropNetFileHead;
      std::vector<unsigned char> row(static_cast<std::size_t>(net->cols) * kPerNode<Net>);
      for (int r = 0; ok && r < net->rows; ++r) {
        unsigned char* p = row.data();
        for (int c = 0; c < net->cols; ++c) {
          if constexpr (kIsDouble<Net>) {
            lePutF64(p, net->height[r][c]);
            const auto v = static_cast<std::uint16_t>(net->valid[r][c]);
            p[8] = static_cast<unsigned char>(v & 0xFF);
            p[9] = static_cast<unsigned char>(v >> 8);
            p[10] = net->slope[r][c];
          } else {
            lePutF32(p, net->height[r][c]);
            p[4] = net->valid[r][c];
            p[5] = net->slope[r][c];
          }
          p += kPerNode<Net>;
        }
        ok = std::fwrite(row.data(), 1, row.size(), f) == row.size();
      }
    } catch (const std::bad_alloc&) {
      ok = false;
    }
  }
  if (std::fclose(f) != 0) ok = false;
  return ok ? 1 : geoFail(kGeoFailed, kModule);
}

template <class Net>
Net* netLoadFrom(std::FILE* f) {
  std::int64_t size = 0;
  unsigned char head[kDropNetFileHead];
  if (platFileSize(f, &size) != 1 || size < kDropNetFileHead ||
      std::fread(head, 1, kDropNetFileHead, f) != kDropNetFileHead) {
    return nullptr;
  }
  const std::int32_t rows = leI32(head + 16);
  const std::int32_t cols = leI32(head + 20);
  // rows x cols is trusted only as far as the file holds the nodes.
  const std::int64_t room = (size - kDropNetFileHead) / kPerNode<Net>;
  if (rows < 1 || cols < 1 || rows > room / cols) return nullptr;
  Net* net =
      netNew<Net>(leF64(head), leF64(head + 8), rows, cols, leF64(head + 24), leF64(head + 32));
  if (net == nullptr) return nullptr;
  try {
    std::vector<unsigned char> row(static_cast<std::size_t>(cols) * kPerNode<Net>);
    for (int r = 0; r < rows; ++r) {
      if (std::fread(row.data(), 1, row.size(), f) != row.size()) {
        netFree(net);
        return nullptr;
      }
      const unsigned char* p = row.data();
      for (int c = 0; c < cols; ++c, p += kPerNode<Net>) {
        if constexpr (kIsDouble<Net>) {
          net->height[r][c] = leF64(p);
          net->valid[r][c] = leI16(p + 8);
          net->slope[r][c] = p[10];
        } else {
          net->height[r][c] = leF32(p);
          net->valid[r][c] = p[4];
          net->slope[r][c] = p[5];
        }
      }
    }
  } catch (const std::bad_alloc&) {
    netFree(net);
    return nullptr;
  }
  return net;
}

template <class Net>
Net* netLoad(const char* fileName) {
  if (fileName == nullptr) return nullptr;
  std::FILE* f = std::fopen(fileName, "rb");
  if (f == nullptr) return nullptr;
  Net* net = netLoadFrom<Net>(f);
  std::fclose(f);
  if (net == nullptr) geoFail(kGeoFailed, kModule);
  return net;
}

// Appends v with six decimals, as "%f" writes it in the "C" locale.
void netAppendFixed(std::string* line, double v) {
  char buf[400];
  const auto r = std::to_chars(buf, buf + sizeof buf, v, std::chars_format::fixed, 6);
  line->append(buf, r.ec == std::errc() ? r.ptr : buf);
}

template <class Net>
int netDump(const Net* net, const char* fileName) {
  if (!netHasTables(net) || fileName == nullptr) return geoFail(kGeoFailed, kModule);
  std::FILE* f = std::fopen(fileName, "w");
  if (f == nullptr) return geoFail(kGeoFailed, kModule);
  bool ok = true;
  try {
    std::string line;
    for (int r = 0; ok && r < net->rows; ++r) {
      for (int c = 0; ok && c < net->cols; ++c) {
        line.clear();
        netAppendFixed(&line, net->x0 + c * net->colStep);
        line += ' ';
        netAppendFixed(&line, net->y0 + r * net->rowStep);
        line += ' ';
        netAppendFixed(&line, static_cast<double>(net->height[r][c]));
        line += ' ' + std::to_string(static_cast<int>(net->valid[r][c])) + ' ' +
                std::to_string(static_cast<int>(net->slope[r][c])) + '\n';
        ok = std::fwrite(line.data(), 1, line.size(), f) == line.size();
      }
    }
  } catch (const std::bad_alloc&) {
    ok = false;
  }
  if (std::fclose(f) != 0) ok = false;
  return ok ? 1 : geoFail(kGeoFailed, kModule);
}

}  // namespace

DropNet* dropNetNew(double x0, double y0, int rows, int cols, double rowStep, double colStep) {
  return netNew<DropNet>(x0, y0, rows, cols, rowStep, colStep);
}

FloatDropNet* fDropNetNew(double x0, double y0, int rows, int cols, double rowStep,
                          double colStep) {
  return netNew<FloatDropNet>(x0, y0, rows, cols, rowStep, colStep);
}

int dropNetFree(DropNet* net) { return netFree(net); }
int fDropNetFree(FloatDropNet* net) { return netFree(net); }

void fDropNetCopyHeader(const FloatDropNet* net, FloatDropNet* out) {
  if (net == nullptr || out == nullptr) return;
  out->x0 = net->x0;
  out->y0 = net->y0;
  out->rows = net->rows;
  out->cols = net->cols;
  out->rowStep = net->rowStep;
  out->colStep = net->colStep;
  out->height = nullptr;
  out->valid = nullptr;
  out->slope = nullptr;
}

int dropNetBuild(DropNet* net, const SurfaceModel* model, Boundary* clip, double radius,
                 double cornerRadius) {
  return netFill(net, model, clip, radius, cornerRadius);
}

int fDropNetFill(FloatDropNet* net, const SurfaceModel* model, Boundary* clip, double radius,
                 double cornerRadius) {
  return netFill(net, model, clip, radius, cornerRadius);
}

void dropNetSetSlopeTol(double tolerance) { netState.slopeTol = tolerance; }
void fDropNetSetSlopeTol(double tolerance) { netState.fSlopeTol = tolerance; }
double dropNetSlopeTol() { return netState.slopeTol; }
double fDropNetSlopeTol() { return netState.fSlopeTol; }

int fDropNetipol(const FloatDropNet* net, const Point2D& p, double* out) {
  if (!netHasTables(net) || out == nullptr) return geoFail(kGeoBadArgument, kModule);
  const double qr = (p.y - net->y0) / net->rowStep;
  const double qc = (p.x - net->x0) / net->colStep;
  // Truncation toward zero keeps row 0 for -1 < q < 0; the tests on q itself also turn away a
  // step of 0 and a coordinate that is not a number before any conversion.
  if (!(qr > -1.0 && qr < net->rows - 1.0 && qc > -1.0 && qc < net->cols - 1.0)) {
    geoErrLog(kDropNetIpolLog);
    return kDropNetOutside;
  }
  const int row = static_cast<int>(qr);
  const int col = static_cast<int>(qc);
  auto node = [net](int r, int c) {
    return Point3D{net->x0 + c * net->colStep, net->y0 + r * net->rowStep,
                   static_cast<double>(net->height[r][c])};
  };
  const Tri3D upper{{node(row, col), node(row, col + 1), node(row + 1, col + 1)}};
  const Tri3D lower{{node(row, col), node(row + 1, col), node(row + 1, col + 1)}};
  const Tri3D* tri = nullptr;
  if (geoPointInTri2D(p, upper) == 1) {
    tri = &upper;
  } else if (geoPointInTri2D(p, lower) == 1) {
    tri = &lower;
  } else {
    return 0;
  }
  double a = 0.0, b = 0.0, cz = 0.0, d = 0.0;
  if (geoTriPlane(*tri, &a, &b, &cz, &d) != 1 || cz == 0.0) return 0;
  *out = -(a * p.x + b * p.y + d) / cz;
  return 1;
}

int fDropNetNearestNode(const Point2D& p, const FloatDropNet* net, int* row, int* col) {
  if (net == nullptr || row == nullptr || col == nullptr || net->rows < 1 || net->cols < 1)
    return geoFail(kGeoBadArgument, kModule);
  *row = netNearestIndex(p.y, net->y0, net->rowStep, net->rows);
  *col = netNearestIndex(p.x, net->x0, net->colStep, net->cols);
  return 1;
}

int dropNetToRaster(const DropNet* net, double z, Raster* raster) {
  return netToRaster(net, z, raster);
}

int fDropNetToRaster(const FloatDropNet* net, double z, Raster* raster) {
  return netToRaster(net, z, raster);
}

int dropNetSave(const DropNet* net, const char* fileName) { return netSave(net, fileName); }
int fDropNetSave(const FloatDropNet* net, const char* fileName) { return netSave(net, fileName); }
DropNet* dropNetLoad(const char* fileName) { return netLoad<DropNet>(fileName); }
FloatDropNet* fDropNetLoad(const char* fileName) { return netLoad<FloatDropNet>(fileName); }
int dropNetDump(const DropNet* net, const char* fileName) { return netDump(net, fileName); }
int fDropNetDump(const FloatDropNet* net, const char* fileName) { return netDump(net, fileName); }

int fDropNetProfileLift(const ToolProfile* profile, const Point3D& node, const Point3D& point,
                        double* height) {
  if (profile == nullptr || profile->segments == nullptr || profile->count < 1 ||
      height == nullptr) {
    return -1;
  }
  const double d = std::hypot(point.x - node.x, point.y - node.y);
  const int n = profile->count;
  double z = profile->segments[0].z1;  // before the first segment
  for (int i = n - 1; i >= 0; --i) {
    const ProfileSegment& s = profile->segments[i];
    if (s.r2 < d) {
      if (i == n - 1) return 0;  // beyond the profile
      z = s.z2;                  // in a gap between segments
      break;
    }
    if (d > s.r1 - kProfileRTol) {
      z = std::fabs(s.r2 - s.r1) < kFlatSegment ? s.z1
                                                : s.z1 + (s.z2 - s.z1) * (d - s.r1) / (s.r2 - s.r1);
      break;
    }
  }
  const double lifted = point.z - z;
  if (lifted > *height) {
    *height = lifted;
    return 1;
  }
  return 0;
}

int fDropNetDropProfile(FloatDropNet* net, const StockGrid* grid, const ToolProfile* profile,
                        double floor) {
  if (!netHasTables(net) || grid == nullptr || profile == nullptr || profile->segments == nullptr ||
      profile->count < 1) {
    return geoFail(kGeoFailed, kModule);
  }
  for (int r = 0; r < net->rows; ++r) {
    for (int c = 0; c < net->cols; ++c) {
      net->height[r][c] = netStoredHeight<float>(floor);
      net->valid[r][c] = 1;
    }
  }
  const double w = profile->rmax;
  for (int c = 0; c < net->cols; ++c) {
    for (int r = 0; r < net->rows; ++r) {
      const Point3D node{net->x0 + c * net->colStep, net->y0 + r * net->rowStep, 0.0};
      HeightGridRange range{};
      if (hgridCellRange(grid, Point2D{node.x - w, node.y - w}, Point2D{node.x + w, node.y + w},
                         &range) != 1) {
        continue;
      }
      double h = net->height[r][c];
      for (int gr = range.row0; gr <= range.row1; ++gr) {
        for (int gc = range.col0; gc <= range.col1; ++gc) {
          Point3D point{};
          if (hgridCellPoint(grid, gc, gr, &point) == 1)
            fDropNetProfileLift(profile, node, point, &h);
        }
      }
      net->height[r][c] = netStoredHeight<float>(h);
    }
  }
  return 0;
}

void dropNetResetState() { netState = DropNetState{}; }
