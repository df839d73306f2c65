// holder_model.cpp - builds the holder and head collision model: bodies of revolution from the
// tool's half-profiles, bodies from facet sets in grid-cell order (so the box trees pair spatial
// neighbours), the collision objects over them and the tool check data.
#include "model/holder_model.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <limits>
#include <new>
#include <numbers>
#include <vector>

#include "framework/memory.h"
#include "framework/messages.h"
#include "geometry/geo_error.h"
#include "model/model_load.h"

namespace {

constexpr const char* kHolderSource = "holder_model";
constexpr double kHolderEps = 0.00001;
// Radius at or below which a segment is on the axis and gets the fewest sectors.
constexpr double kHolderAxisRadius = 1e-12;
constexpr int kHolderPairRoom = 100;
constexpr int kMsgGeometryRead = 1107;  // "* Fehler beim Lesen der Geometrien"

HolderCollisionModel holderDefaults() {
  HolderCollisionModel m{};
  m.extensionTolerance = kHolderExtensionTolDefault;
  m.toolCheck = 1;
  return m;
}

HolderCollisionModel holderState = holderDefaults();

bool holderNamed(const char* name) { return name != nullptr && name[0] != '\0'; }

TriF holderTriF(const Point3D& a, const Point3D& b, const Point3D& c) {
  return TriF{{static_cast<float>(a.x), static_cast<float>(a.y), static_cast<float>(a.z),
               static_cast<float>(b.x), static_cast<float>(b.y), static_cast<float>(b.z),
               static_cast<float>(c.x), static_cast<float>(c.y), static_cast<float>(c.z)}};
}

// Appends facet i of the set (a triangle, or the two triangles of a four-corner facet).
bool holderAppendFacet(TriFList* body, const Tri3List* tris, const QuadFacet* quads, int i) {
  if (tris != nullptr) {
    const Tri3D& t = tris->items[i];
    return lstTriFAppend(body, holderTriF(t.v[0], t.v[1], t.v[2])) >= 0;
  }
  const Point3D a = modelQuadCorner(quads[i], 0), b = modelQuadCorner(quads[i], 1);
  const Point3D c = modelQuadCorner(quads[i], 2), d = modelQuadCorner(quads[i], 3);
  return lstTriFAppend(body, holderTriF(a, b, c)) >= 0 &&
         lstTriFAppend(body, holderTriF(a, c, d)) >= 0;
}

// Every facet of a set exactly once, in grid-cell order when there is a grid. Facets no cell
// lists follow in list order, so none is ever lost.
int holderFacetsToBody(TriFList* body, const Tri3List* tris, const QuadFacet* quads, int count,
                       const TriangleGrid* grid) {
  if (body == nullptr) return geoFail(kGeoFailed, kHolderSource);
  if (count <= 0) return 1;
  try {
    std::vector<char> taken(static_cast<std::size_t>(count), 0);
    if (grid != nullptr && grid->cells != nullptr) {
      for (int row = 0; row < grid->rows; ++row) {
        for (int col = 0; col < grid->columns; ++col) {
          const TriangleGridCell& cell =
              grid->cells[static_cast<std::size_t>(row) * grid->columns + col];
          for (int k = 0; k < cell.count; ++k) {
            const int i = cell.indices[k];
            if (i < 0 || i >= count || taken[static_cast<std::size_t>(i)] != 0) continue;
            taken[static_cast<std::size_t>(i)] = 1;
            if (!holderAppendFacet(body, tris, quads, i)) return geoFail(kGeoFailed, kHolderSource);
          }
        }
      }
    }
    for (int i = 0; i < count; ++i) {
      if (taken[static_cast<std::size_t>(i)] != 0) continue;
      if (!holderAppendFacet(body, tris, quads, i)) return geoFail(kGeoFailed, kHolderSource);
    }
  } catch (const std::bad_alloc&) {
    return geoFail(kGeoFailed, kHolderSource);
  }
  return 1;
}

int holderTriCount(const Tri3List* t) { return t != nullptr ? t->count : 0; }

// Triangles a facet set of the given type turns into.
std::int64_t holderBodySize(int facetType, const Tri3List* tris, int quadCount) {
  return facetType == 4 ? 2 * static_cast<std::int64_t>(quadCount) : holderTriCount(tris);
}

// An empty body with room for size triangles. Null when the size does not fit in 32 bits or
// memory runs out (error record -1).
TriFList* holderNewBody(std::int64_t size) {
  TriFList* body = size <= std::numeric_limits<std::int32_t>::max()
                       ? lstTriFNew(static_cast<int>(size))
                       : nullptr;
  if (body == nullptr) geoFail(kGeoFailed, kHolderSource);
  return body;
}

void holderFreeBody(TriFList** body, CollisionObject** object) {
  collObjectFree(*object);
  *object = nullptr;
  lstTriFFree(*body);
  *body = nullptr;
}

// A collision object for the body when it holds a triangle. False when memory runs out.
bool holderMakeObject(TriFList* body, CollisionObject** object) {
  if (body == nullptr || body->count < 1) return true;
  *object = collObjectNew(body);
  return *object != nullptr;
}

void holderGrowEnvelope(const ToolProfile* p) {
  if (p == nullptr || p->count == 0) return;
  holderState.envelopeRadius = std::max(holderState.envelopeRadius, p->rmax);
  holderState.envelopeLength = std::max(holderState.envelopeLength, p->zmax);
}

// Sends the message of a profile file that cannot be used, naming the file.
void holderReportFile(const char* file, const char* why) {
  char argument[512];
  std::snprintf(argument, sizeof argument, "%s: %s", why, file);
  msgSendText(9, kMsgGeometryRead, "* Fehler beim Lesen der Geometrien", argument);
}

// The named profile of the file, or the one the assembly gives when no file is named. Returns 1
// with *out (null when a readable file lacks the profile); -1 when the file cannot be read
// (reported) or memory runs out.
int holderProfile(const char* file, const char* name, double tol, double startHeight,
                  ToolProfile* (*fromAssembly)(const ToolAssembly*), const ToolAssembly* assembly,
                  ToolProfile** out) {
  *out = nullptr;
  if (!holderNamed(file)) {
    *out = fromAssembly(assembly);
    return *out != nullptr ? 1 : -1;
  }
  const int status = profileReadNamedStatus(file, name, tol, startHeight, kProfileShank, out);
  if (status == kProfileFound || status == kProfileNotInFile) return 1;
  if (status == kProfileUnreadable) holderReportFile(file, "profile file cannot be read");
  return -1;
}

int holderModelOwnFacets(const SurfaceModel* m) {
  return m->facetType == 4 ? m->quadCount : holderTriCount(m->triangles);
}

// The tool check data of the full build without the extension.
bool holderBuildToolCheck(const SurfaceModel* model, const ToolAssembly* a) {
  HolderCollisionModel& s = holderState;
  const double r = a->radius;
  s.reach = a->freeLength;
  if (a->taperLength >= kHolderEps && a->shankDiameter > 2.0 * r + kHolderEps) {
    s.reach = a->taperLength;
  }
  s.holderGrid = modelBuildHolderGrid(model, s.reach, s.maxTilt);
  // The grid is missing without error only for a model without facets of its own or cutter.
  if (s.holderGrid == nullptr && model->cutter != nullptr && holderModelOwnFacets(model) > 0) {
    return false;
  }
  s.modelCopy = modelCopy(model);
  if (s.modelCopy == nullptr) return false;
  modelAddAllowance(s.modelCopy, -model->tolerance);
  const CutterShape* c = model->cutter;
  if (c != nullptr && c->tapered != 0) {
    const double alpha = c->taperAngle * std::numbers::pi / 180.0;
    double k = 0.0;
    if (c->type == kCutterBall) {
      k = r - model->tolerance;
    } else if (c->type == kCutterTorus) {
      k = a->cornerRadius - model->tolerance;
    }
    s.taperH0 = -k * std::sin(alpha);
    s.taperR0 = k * std::cos(alpha) + (c->radius - k);
    s.taperH1 = c->taperLength;
    s.taperR1 = std::tan(alpha) * (s.taperH1 - s.taperH0) + s.taperR0;
  }
  return true;
}

// Collision objects for every body present and the pair list. False when memory runs out.
bool holderMakeObjects() {
  HolderCollisionModel& s = holderState;
  if (!holderMakeObject(s.partBody, &s.partObject) ||
      !holderMakeObject(s.holderMeshBody, &s.holderMeshObject) ||
      !holderMakeObject(s.headMeshBody, &s.headMeshObject) ||
      !holderMakeObject(s.extensionObstacleBody, &s.extensionObstacleObject) ||
      !holderMakeObject(s.holderBody, &s.holderObject) ||
      !holderMakeObject(s.headBody, &s.headObject) ||
      !holderMakeObject(s.extensionBody, &s.extensionObject)) {
    return false;
  }
  s.pairs = lstRec8New(kHolderPairRoom);
  return s.pairs != nullptr;
}

// A failed build keeps nothing.
int holderBuildFailed() {
  holderFreeCollisionModel();
  return -1;
}

}  // namespace

HolderCollisionModel* holderModel() { return &holderState; }

// ---- settings ---------------------------------------------------------------------------------

void holderSetExtension(int on, double diameter, double chordTolerance) {
  holderState.extension = on;
  holderState.extensionDiameter = diameter;
  holderState.extensionTolerance = chordTolerance;
}

void holderSetMaxTilt(double angle) { holderState.maxTilt = angle; }

void holderSetFacetTolerances(double holderTolerance, double headTolerance) {
  holderState.holderTolerance = holderTolerance;
  holderState.headTolerance = headTolerance;
}

int holderSetToolCheck(int on) {
  const int previous = holderState.toolCheck;
  holderState.toolCheck = on;
  return previous;
}

void holderSetForceTaper(int on) { holderState.forceTaper = on; }

void holderSetUseMeshModel(int) {}

void holderSetDropCheck(int) {}

void holderSetUseCollisionModel(int on) { holderState.useCollisionModel = on; }

int holderUseCollisionModel() { return holderState.useCollisionModel; }

void holderSetCollisionPoint(const Point3D& p) {
  holderState.lastCollision = p;
  holderState.lastCollisionStored = 1;
}

int holderGetCollisionPoint(Point3D* out) {
  if (out != nullptr) *out = holderState.lastCollision;
  return holderState.lastCollisionStored;
}

void holderGetEnvelopeSize(double* length, double* radius) {
  if (length != nullptr) *length = holderState.envelopeLength;
  if (radius != nullptr) *radius = holderState.envelopeRadius;
}

// ---- bodies -----------------------------------------------------------------------------------

int holderSectorCount(double r, double tol) {
  if (!(r > kHolderAxisRadius)) return 2;
  double c = (r - tol) / r;
  if (!(c < 1.0)) c = 1.0;  // also a tolerance that is not a number: the finest division
  if (c < -1.0) c = -1.0;
  const double angle = std::acos(c);
  if (!(angle > 0.0)) return kHolderMaxSectors;
  const double q = std::numbers::pi / angle;
  if (!(q < kHolderMaxSectors - 1)) return kHolderMaxSectors;
  return 1 + static_cast<int>(q);
}

TriFList* holderRevolveProfile(const ToolProfile* profile, double tol) {
  if (profile == nullptr || profile->count < 0 ||
      (profile->count > 0 && (profile->segments == nullptr || profile->types == nullptr))) {
    geoFail(kGeoBadArgument, kHolderSource);
    return nullptr;
  }
  const int n = profile->count;
  double rmax = -std::numeric_limits<double>::infinity();
  for (int i = 0; i < n; ++i) rmax = std::max(rmax, profile->segments[i].r2);
  const std::int64_t room =
      n > 0 ? 2 * static_cast<std::int64_t>(holderSectorCount(rmax, tol)) * n : 0;
  TriFList* body = holderNewBody(room);
  if (body == nullptr) return nullptr;
  if (!(profile->zmin + kHolderEps <= profile->zmax)) return body;
  for (int i = 0; i < n; ++i) {
    const ProfileSegment& s = profile->segments[i];
    const double t = profile->types[i] == kProfileExtension ? holderState.extensionTolerance : tol;
    const int m = holderSectorCount(std::max(s.r1, s.r2), t);
    // Each sector's rim is turned from the start by its own angle and the last sector closes on
    // the first rim exactly, so the body has no seam.
    Point3D p{s.r1, 0.0, s.z1}, q{s.r2, 0.0, s.z2};
    for (int k = 1; k <= m; ++k) {
      Point3D p2{s.r1, 0.0, s.z1}, q2{s.r2, 0.0, s.z2};
      if (k < m) {
        const double a = 2.0 * std::numbers::pi * k / m;
        const double c = std::cos(a), sn = std::sin(a);
        p2 = Point3D{s.r1 * c, s.r1 * sn, s.z1};
        q2 = Point3D{s.r2 * c, s.r2 * sn, s.z2};
      }
      if (lstTriFAppend(body, holderTriF(p, q, p2)) < 0 ||
          lstTriFAppend(body, holderTriF(p2, q, q2)) < 0) {
        lstTriFFree(body);
        geoFail(kGeoFailed, kHolderSource);
        return nullptr;
      }
      p = p2;
      q = q2;
    }
  }
  return body;
}

int holderTrisToBody(TriFList* body, const Tri3List* tris, const TriangleGrid* grid) {
  if (tris != nullptr && tris->count > 0 && tris->items == nullptr) {
    return geoFail(kGeoBadArgument, kHolderSource);
  }
  return holderFacetsToBody(body, tris, nullptr, holderTriCount(tris), grid);
}

int holderQuadsToBody(TriFList* body, const QuadFacet* quads, int count, const TriangleGrid* grid) {
  if (count > 0 && quads == nullptr) return geoFail(kGeoBadArgument, kHolderSource);
  return holderFacetsToBody(body, nullptr, quads, count, grid);
}

TriFList* holderModelBody(const SurfaceModel* model) {
  if (model == nullptr) {
    geoFail(kGeoBadArgument, kHolderSource);
    return nullptr;
  }
  std::int64_t size = holderBodySize(model->facetType, model->triangles, model->quadCount);
  for (const SubModel* s = model->subModels; s != nullptr; s = s->next) {
    size += holderBodySize(s->facetType, s->triangles, s->quadCount);
  }
  TriFList* body = holderNewBody(size);
  if (body == nullptr) return nullptr;
  auto add = [body](int type, const Tri3List* tris, const QuadFacet* quads, int quadCount,
                    const TriangleGrid* grid) {
    return type == 4 ? holderQuadsToBody(body, quads, quadCount, grid)
                     : holderTrisToBody(body, tris, grid);
  };
  int ok = add(model->facetType, model->triangles, model->quads, model->quadCount, model->grid);
  for (const SubModel* s = model->subModels; ok == 1 && s != nullptr; s = s->next) {
    ok = add(s->facetType, s->triangles, s->quads, s->quadCount, s->grid);
  }
  if (ok != 1) {
    lstTriFFree(body);
    return nullptr;
  }
  return body;
}

TriFList* holderMeshBody(const char* file, double tolerance, double radius) {
  if (!holderNamed(file)) {
    geoFail(kGeoBadArgument, kHolderSource);
    return nullptr;
  }
  SurfaceModel mesh;
  modelInit(&mesh, 3);
  mesh.cutter = static_cast<CutterShape*>(memAllocZero(sizeof(CutterShape)));
  if (mesh.cutter == nullptr) {
    geoFail(kGeoFailed, kHolderSource);
    return nullptr;
  }
  mesh.cutter->type = kCutterBall;
  mesh.cutter->radius = radius;
  mesh.cutter->cornerRadius = radius;
  mesh.cutter->shankDiameter = 2.0 * radius;
  TriFList* body = nullptr;
  if (modelLoadFile(&mesh, file) == 0) {
    // A grid that cannot be built only costs the order: the facets then go in list order.
    if (modelIsEmpty(&mesh) == 0) modelBuildIndex(&mesh);
    std::int64_t size = holderTriCount(mesh.triangles);
    if (std::fabs(tolerance) >= kHolderEps) size *= 2;
    body = holderNewBody(size);
    if (body != nullptr && holderTrisToBody(body, mesh.triangles, mesh.grid) != 1) {
      lstTriFFree(body);
      body = nullptr;
    }
  }
  modelFreeContents(&mesh);
  memFree(mesh.cutter);
  return body;
}

// ---- building ---------------------------------------------------------------------------------

int holderBuildFromTool(const SurfaceModel* model, const ToolAssembly* assembly,
                        double chordTolerance, double maxTilt) {
  holderFreeCollisionModel();
  if (model == nullptr || assembly == nullptr) {
    geoFail(kGeoBadArgument, kHolderSource);
    return -1;
  }
  HolderCollisionModel& s = holderState;
  s.toolRadius = assembly->radius;
  s.clearanceAngle = assembly->clearanceAngle;
  s.maxTilt = maxTilt;
  s.envelopeRadius = std::max(assembly->radius, assembly->holderDiameter2 / 2.0);
  s.envelopeLength = std::max(assembly->freeLength, assembly->holderTop);

  s.partBody = holderModelBody(model);
  if (s.partBody == nullptr) return holderBuildFailed();

  ToolProfile* shank = profileFromShank(assembly);
  if (shank == nullptr) return holderBuildFailed();
  if (s.extension != 0) {
    ToolProfile* joined = profileAddExtension(shank, assembly, s.extensionDiameter);
    if (joined == nullptr) {
      profileFree(shank);
      return holderBuildFailed();
    }
    shank = joined;
  }
  s.holderBody = holderRevolveProfile(shank, chordTolerance);
  profileFree(shank);
  if (s.holderBody == nullptr) return holderBuildFailed();

  ToolProfile* holder = profileFromHolder(assembly);
  if (holder == nullptr) return holderBuildFailed();
  s.headBody = holderRevolveProfile(holder, chordTolerance);
  profileFree(holder);
  if (s.headBody == nullptr) return holderBuildFailed();

  if (!holderMakeObjects()) return holderBuildFailed();
  holderSetUseCollisionModel(1);
  return 1;
}

int holderBuildModel(const SurfaceModel* model, const ToolAssembly* assembly, double allowance,
                     const char* holderMeshFile, const char* headMeshFile,
                     const char* holderProfileFile, const char* headProfileFile,
                     double holderClearance, double headClearance) {
  holderFreeCollisionModel();
  if (model == nullptr || assembly == nullptr) {
    geoFail(kGeoBadArgument, kHolderSource);
    return -1;
  }
  HolderCollisionModel& s = holderState;
  const double r = assembly->radius;
  const double e = s.holderTolerance < kHolderEps ? holderClearance / 2.0 : s.holderTolerance;
  const double g = s.headTolerance < kHolderEps ? headClearance / 2.0 : s.headTolerance;
  const double d = s.extensionDiameter < kHolderEps ? 2.0 * r : s.extensionDiameter;
  const bool tapered = model->cutter != nullptr && model->cutter->tapered != 0;
  const bool shiftUp = std::fabs(allowance) >= kHolderEps;
  s.toolRadius = r;
  s.clearanceAngle = assembly->clearanceAngle;
  s.envelopeRadius = r;
  s.envelopeLength = assembly->freeLength;
  int result = 1;

  // Check meshes, and the part as the extension's obstacle. A named mesh that cannot be loaded
  // ends the build: going on without it would switch its check off unnoticed.
  if (holderNamed(holderMeshFile)) {
    s.holderMeshBody = holderMeshBody(holderMeshFile, 0.0, r);
    if (s.holderMeshBody == nullptr) return holderBuildFailed();
  }
  if (holderNamed(headMeshFile)) {
    s.headMeshBody = holderMeshBody(headMeshFile, 0.0, r);
    if (s.headMeshBody == nullptr) return holderBuildFailed();
  }
  if (s.extension != 0) {
    s.extensionObstacleBody = holderModelBody(model);
    if (s.extensionObstacleBody == nullptr) return holderBuildFailed();
  }

  // Holder profile.
  ToolProfile* prof = nullptr;
  if (holderProfile(holderProfileFile, "Holder", holderClearance / 2.0, assembly->freeLength,
                    profileFromShank, assembly, &prof) != 1) {
    return holderBuildFailed();
  }
  if (shiftUp) profileOffset(prof, allowance);
  if (s.extension == 0 && assembly->shankDiameter > 2.0 * r + kHolderEps &&
      (std::fabs(assembly->taperAngle) < kHolderEps || !tapered ||
       assembly->bandLength >= kHolderEps || s.forceTaper != 0)) {
    ToolProfile* tapers = profileAddTaper(prof, assembly, d, tapered ? 1 : 0);
    if (tapers == nullptr) {
      profileFree(prof);
      return holderBuildFailed();
    }
    prof = tapers;
  }
  const double holderTop = prof != nullptr && prof->count > 0 ? prof->segments[prof->count - 1].z2
                                                              : assembly->freeLength;
  if (profileOffset(prof, holderClearance + 1.2 * e) == -1) {
    msgSendReal(9, kHolderMsgOffset, "* Error computing offset", 0.0);
    result = -1;
  }
  if (shiftUp) profileShiftZ(prof, allowance);
  s.clearanceAngle = std::max(s.clearanceAngle, profileMaxAngle(prof));
  holderGrowEnvelope(prof);
  if (prof != nullptr) {
    s.holderBody = holderRevolveProfile(prof, e);
    profileFree(prof);
    if (s.holderBody == nullptr) return holderBuildFailed();
  }

  // Head profile.
  ToolProfile* head = nullptr;
  if (holderProfile(headProfileFile, "Head", holderClearance / 2.0, holderTop, profileFromHolder,
                    assembly, &head) != 1) {
    return holderBuildFailed();
  }
  profileOffset(head, headClearance + allowance + 1.2 * g);
  if (shiftUp) profileShiftZ(head, allowance);
  holderGrowEnvelope(head);
  if (head != nullptr) {
    s.headBody = holderRevolveProfile(head, g);
    profileFree(head);
    if (s.headBody == nullptr) return holderBuildFailed();
  }

  // The extension's own body, or the data for testing cutter and shank along the axis.
  if (s.extension != 0) {
    ToolProfile* ext = tapered ? profileTiltedExtension(assembly, s.extensionTolerance)
                               : profileExtension(assembly, s.extensionTolerance);
    if (ext == nullptr) return holderBuildFailed();
    s.extensionBody = holderRevolveProfile(ext, s.extensionTolerance);
    profileFree(ext);
    if (s.extensionBody == nullptr) return holderBuildFailed();
  } else if (!holderBuildToolCheck(model, assembly)) {
    return holderBuildFailed();
  }

  if (!holderMakeObjects()) return holderBuildFailed();
  holderSetUseCollisionModel(1);
  return result;
}

void holderFreeCollisionModel() {
  HolderCollisionModel& s = holderState;
  holderFreeBody(&s.partBody, &s.partObject);
  holderFreeBody(&s.holderBody, &s.holderObject);
  holderFreeBody(&s.headBody, &s.headObject);
  holderFreeBody(&s.extensionBody, &s.extensionObject);
  holderFreeBody(&s.holderMeshBody, &s.holderMeshObject);
  holderFreeBody(&s.headMeshBody, &s.headMeshObject);
  holderFreeBody(&s.extensionObstacleBody, &s.extensionObstacleObject);
  lstRecFree(s.pairs);
  s.pairs = nullptr;
  modelFree(s.modelCopy);
  s.modelCopy = nullptr;
  triGridFree(s.holderGrid);
  s.holderGrid = nullptr;
  // Without a model the path check must not ask an empty one, which finds every point free.
  s.useCollisionModel = 0;
}

void holderResetState() {
  holderFreeCollisionModel();
  holderState = holderDefaults();
}
