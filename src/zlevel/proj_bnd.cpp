// proj_bnd.cpp - boundaries from curves projected onto the part along a direction.
#include "zlevel/proj_bnd.h"

#include <cmath>
#include <cstring>
#include <string>

#include "framework/memory.h"
#include "geometry/csys.h"
#include "geometry/cycle_state.h"
#include "geometry/geo_error.h"
#include "geometry/guide_curve.h"
#include "geometry/path_list.h"
#include "model/cutter_shape.h"
#include "model/model_load.h"
#include "model/profile_drop.h"
#include "model/surface_model.h"

namespace {

constexpr double kAxisTol = 0.00001;
constexpr int kPathRoom = 10000;
constexpr double kDropTolerance = 0.008;
// Curve reading: the fit tolerance and the reverse and orientation flags of the profile reader.
constexpr double kCurveTolerance = 0.008;

std::string joinDirAndName(const char* dir, const char* name) {
  std::string s = dir != nullptr ? dir : "";
  if (!s.empty() && s.back() != '/' && s.back() != '\\') s += '/';
  return s + name;
}

Point3D worldAt(const PathList* list, int i) {
  Point3D p = list->positions[i];
  csysToolToWorld(&p);
  return p;
}

// Puts the unit factor and the coordinate-system scale back when it goes out of scope.
struct ScaleGuard {
  double unit = unitFactor;
  double scale = csysCurrent()->scale;
  ~ScaleGuard() {
    unitFactor = unit;
    const double now = csysCurrent()->scale;
    if (now != 0.0 && now != scale) csysMulScale(scale / now);
  }
};

int loadModel(SurfaceModel* model, const char* modelFile, const char* secondFile,
              const char* extraFile, int extra, int multi) {
  const bool second = secondFile != nullptr && secondFile[0] != '\0';
  const char* extraName = (extra != 0 && extraFile != nullptr) ? extraFile : "";
  if (second) {
    if (multi != 0) return modelLoadWithSubModels(model, modelFile, secondFile, extraName, 0, 0.0);
    return modelAddSubModels(model, modelFile, secondFile, extraName, 0, 0.0);
  }
  if (extra != 0) {
    if (multi != 0) return modelLoadMerged(model, modelFile, extraName, 0);
    return modelLoadWithExtra(model, modelFile, extraName);
  }
  if (multi != 0) return modelLoadFileEx(model, modelFile, 0);
  return modelLoadFile(model, modelFile);
}

}  // namespace

int projBndFrame(const Point3D& direction) {
  const double len = vecLength(direction);
  if (!(len >= kAxisTol)) return geoFail(kGeoFailed, "projbnd");
  const Point3D d = vecScale(1.0 / len, direction);
  Point3D a = (std::fabs(d.x) < kAxisTol && std::fabs(d.y) < kAxisTol) ? Point3D{0.0, -d.z, d.y}
                                                                       : Point3D{-d.y, d.x, 0.0};
  const double al = vecLength(a);
  if (al < kAxisTol) return geoFail(kGeoFailed, "projbnd");
  a = vecScale(1.0 / al, a);
  Point3D b{};
  if (vecCrossUnit(d, a, &b) != 0) return geoFail(kGeoFailed, "projbnd");
  const Point3D origin{0.0, 0.0, 0.0};
  csysSetFrame(origin, a, b, d);
  csysSetTool(origin, a, b, d);
  return csysPrepare() == 1 ? 1 : geoFail(kGeoFailed, "projbnd");
}

int projBndWriteBlock(const PathList* list, std::FILE* f) {
  std::fputs("**BND 1\n", f);
  for (int i = 0; i < list->count; ++i) {
    const Point3D p = worldAt(list, i);
    std::fprintf(f, "X%.6lf Y%.6lf Z%.6lf\n", p.x, p.y, p.z);
  }
  std::fputs("**END\n", f);
  return 1;
}

void projBndDebugHeader(std::FILE* f) {
  std::fputs("projected boundary curves\nqDX-Version: 1.0\ntemporary\nrsdrilhc\n\n", f);
  std::fputs("vprecision(4) ; Nachkommastellen\n\n", f);
}

void projBndDebugContour(const PathList* list, std::FILE* f) {
  std::fputs("oContour[1]()\n{\n", f);
  for (int i = 1; i < list->count; ++i) {
    const Point3D a = worldAt(list, i - 1), b = worldAt(list, i);
    std::fprintf(f, "  oL( x[%.6lf/%.6lf] y[%.6lf/%.6lf] z[%.6lf/%.6lf] )\n", a.x, b.x, a.y, b.y,
                 a.z, b.z);
  }
  std::fputs("}\n", f);
}

int projBndWrite(SurfaceModel* model, GuideCurve* curves, const char* path) {
  PathList* list = pathListNew(kPathRoom, 0);
  if (list == nullptr) return geoFail(kGeoFailed, "projbnd");
  std::FILE* f = path != nullptr ? std::fopen(path, "wt") : nullptr;
  if (f == nullptr) {
    pathListFree(list);
    return geoFail(kGeoFailed, "projbnd");
  }
  std::FILE* dbg = nullptr;
  if (geoDebugOn()) {
    const std::string name = joinDirAndName(geoWorkDir(), "proj.qdx");
    dbg = std::fopen(name.c_str(), "wt");
    if (dbg != nullptr) projBndDebugHeader(dbg);
  }
  GuideCurve* saved = model->profile;
  int rc = 1;
  for (GuideCurve* c = curves; c != nullptr; c = c->next) {
    GuideCurve* next = c->next;
    c->next = nullptr;  // the drop follows one curve
    model->profile = c;
    list->count = 0;
    const int r = dropAlongProfileQuads(model, list);
    c->next = next;
    if (r < 0) {
      rc = geoFail(kGeoFailed, "projbnd");
      break;
    }
    projBndWriteBlock(list, f);
    if (dbg != nullptr) projBndDebugContour(list, dbg);
  }
  model->profile = saved;
  if (dbg != nullptr) std::fclose(dbg);
  const bool bad = std::ferror(f) != 0;
  if (std::fclose(f) != 0 || bad) rc = geoFail(kGeoFailed, "projbnd");
  pathListFree(list);
  return rc;
}

int projBndCreate(char* name, const char* modelFile, const char* secondFile, const char* extraFile,
                  const char* workDir, int extra, int multi, const Point3D& direction,
                  double radius) {
  if (name == nullptr || modelFile == nullptr || !(radius > 0.0))
    return geoFail(kGeoBadArgument, "projbnd");
  ScaleGuard guard;
  CutterShape cutter{};
  cutter.type = kCutterBall;
  cutter.radius = radius;
  cutter.cornerRadius = radius;
  cutter.shankDiameter = 2.0 * radius;
  SurfaceModel model;
  modelInit(&model, 4);
  model.cutter = &cutter;
  int rc = -1;
  GuideCurve* curves = nullptr;
  do {
    if (projBndFrame(direction) != 1) break;
    if (radius < 1.0)
      unitFactor = 25.0;
    else if (radius < 2.0)
      unitFactor = 2.0;
    if (csysMulScale(unitFactor) != 1) break;
    cutter.radius *= unitFactor;
    cutter.cornerRadius *= unitFactor;
    const double r = cutter.radius;
    if (loadModel(&model, modelFile, secondFile, extraFile, extra, multi) < 0) break;
    if (modelBuildIndex(&model) != 1) break;
    curves = guideReadProfiles(name, nullptr, kCurveTolerance, 0, 0);
    if (curves == nullptr) break;
    for (GuideCurve* c = curves; c != nullptr; c = c->next) {
      if (c->ownsPoints == 1) memFree(c->z);
      c->z = nullptr;
    }
    model.restrictToBoundary = 1;
    model.tolerance = kDropTolerance;
    model.step = 1.0;
    model.candidateLength = 20.0;
    model.floorZ = model.boxMin.z;
    model.ceilingZ = model.boxMax.z + r + 10.0;
    const std::string path = joinDirAndName(workDir, "proj.bnd");
    if (path.size() >= kProjBndNameMax) break;
    if (projBndWrite(&model, curves, path.c_str()) <= 0) break;
    std::memcpy(name, path.c_str(), path.size() + 1);
    rc = 1;
  } while (false);
  guideFree(curves);
  model.cutter = nullptr;  // the local cutter is not the model's to free
  modelFreeContents(&model);
  return rc;
}
