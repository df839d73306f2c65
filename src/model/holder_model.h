// holder_model.h - the holder and head collision model: the non-cutting parts of the tool
// (holder, machine head, an optional extension) as triangle bodies of revolution or the user's
// own meshes, the obstacles as triangle bodies, a box-tree collision object per body, and a copy
// of the surface model for testing the cutter and shank along the tool axis. The five-axis
// cycles ask it whether the tool, placed with its tip at a point and its axis along a direction,
// collides with anything.
//
// The model is run state: built once per roughing run, queried, freed at the end of the run;
// holderResetState empties it and puts the settings back at the start of every top-level run.
#pragma once

#include <cstdint>

#include "geometry/lists.h"
#include "geometry/triangle_grid.h"
#include "geometry/vec.h"
#include "model/coll_object.h"
#include "model/surface_model.h"
#include "model/tool_assembly.h"
#include "model/tool_profile.h"

// The model. Bodies are float triangle lists in the body's own frame (z along the tool axis,
// z = 0 at the tool tip), each with its collision object, or null.
struct HolderCollisionModel {
  TriFList* partBody;               // every facet of the surface model (simple build)
  TriFList* holderBody;             // inner non-cutting part: shank or the "Holder" profile
  TriFList* headBody;               // outer part: holder or the "Head" profile
  TriFList* extensionBody;          // full build with the extension on
  TriFList* holderMeshBody;         // holder check mesh (full build)
  TriFList* headMeshBody;           // head check mesh (full build)
  TriFList* extensionObstacleBody;  // every facet of the surface model (full build, extension)
  CollisionObject* partObject;
  CollisionObject* holderObject;
  CollisionObject* headObject;
  CollisionObject* extensionObject;
  CollisionObject* holderMeshObject;
  CollisionObject* headMeshObject;
  CollisionObject* extensionObstacleObject;
  RecList* pairs;  // 8-byte pair records (first object's triangle, second object's triangle)
  // Tool check data (full build without the extension).
  SurfaceModel* modelCopy;   // cutter radius reduced by the model's tolerance
  TriangleGrid* holderGrid;  // over the model for the reach length
  double reach;
  // Taper cone of a tapered cutter.
  double taperH0, taperR0, taperH1, taperR1;
  // Settings.
  double toolRadius;
  double clearanceAngle;  // radians
  double maxTilt;         // radians
  std::int32_t extension;
  double extensionDiameter;  // 0: 2R
  double extensionTolerance;
  double holderTolerance;  // 0: half the holder clearance
  double headTolerance;    // 0: half the head clearance
  std::int32_t toolCheck;
  std::int32_t forceTaper;
  // Envelope of the assembly.
  double envelopeRadius;
  double envelopeLength;
  std::int32_t frameTilted;
  std::int32_t avoidMessageSent;
  Point3D lastCollision;
  std::int32_t lastCollisionStored;
  std::int32_t useCollisionModel;  // the per-point path check asks the model
};

// Defaults of the settings.
inline constexpr double kHolderExtensionTolDefault = 0.01;
// Most sectors a revolved segment gets, whatever its chord tolerance.
inline constexpr int kHolderMaxSectors = 720;
// Message of a failed holder profile offset.
inline constexpr int kHolderMsgOffset = 6054;

// The model record the queries work on (never null).
HolderCollisionModel* holderModel();

// ---- settings ---------------------------------------------------------------------------------

void holderSetExtension(int on, double diameter, double chordTolerance);
void holderSetMaxTilt(double angle);
// Chord tolerances of the revolved holder and head profiles; 0 means half the clearance.
void holderSetFacetTolerances(double holderTolerance, double headTolerance);
// Returns the previous value.
int holderSetToolCheck(int on);
void holderSetForceTaper(int on);
// Accepted; no effect.
void holderSetUseMeshModel(int on);
void holderSetDropCheck(int on);
void holderSetUseCollisionModel(int on);
// 1 when the path check asks the collision model.
int holderUseCollisionModel();
void holderSetCollisionPoint(const Point3D& p);
// Copies the last collision point to out (when not null) and returns its stored flag.
int holderGetCollisionPoint(Point3D* out);
// The envelope: largest length and largest radius of the assembly. Null outputs are skipped.
void holderGetEnvelopeSize(double* length, double* radius);

// ---- bodies -----------------------------------------------------------------------------------

// Sectors of a segment of largest radius r revolved with chord tolerance tol:
// 1 + floor(pi / acos((r - tol) / r)), at most kHolderMaxSectors (also for tol 0), and 2 for
// r <= 1e-12.
int holderSectorCount(double r, double tol);
// Revolves the profile about the z axis into triangles, segment by segment, sector by sector:
// with P = (r1, 0, z1), Q = (r2, 0, z2) and P', Q' turned by one sector, (P, Q, P') and
// (P', Q, Q'). Segments of type 3 use the extension chord tolerance. Every vertex lies on the
// surface of revolution, so the facets lie inside it by up to the chord tolerance: a caller that
// needs the true surface covered offsets the profile by the tolerance first. A profile whose z
// range is below 0.00001 gives an empty list. Null for a null profile or when memory runs out.
TriFList* holderRevolveProfile(const ToolProfile* profile, double tol);
// Append every facet exactly once: with a grid row by row, column by column, index by index,
// skipping facets already taken; without one in list order. A four-corner facet (a, b, c, d)
// gives (a, b, c) and (a, c, d). Return 1; -1 when an append fails.
int holderTrisToBody(TriFList* body, const Tri3List* tris, const TriangleGrid* grid);
int holderQuadsToBody(TriFList* body, const QuadFacet* quads, int count, const TriangleGrid* grid);
// The facets of the model and of every sub-model, each through its own grid. Null when memory
// runs out or the model is null.
TriFList* holderModelBody(const SurfaceModel* model);
// Loads the surface file as a triangle model with a ball cutter of radius R and returns its
// triangles in grid order. Null when the file cannot be loaded (the loader sends message 1107
// naming the file) or memory runs out.
TriFList* holderMeshBody(const char* file, double tolerance, double radius);

// ---- building ---------------------------------------------------------------------------------

// The simple build from the tool data: part body from the model, holder body the shank (with
// the extension when on), head body the holder, revolved with chordTolerance (the run's radial
// clearance: the facets lie inside the bands by up to it). Replaces an earlier model. A model
// without facets gives an empty part body, which gets no collision object.
// Returns 1; -1 for null arguments or when memory runs out (nothing kept).
int holderBuildFromTool(const SurfaceModel* model, const ToolAssembly* assembly,
                        double chordTolerance, double maxTilt);
// The full build: holder and head check meshes from the named surface files, holder and head
// bodies from the named profile files ("Holder", "Head") or the assembly, offset by their
// clearance plus 1.2 times their chord tolerance (which the revolved facets may lie inside),
// the extension body or the tool check data. Empty or null names mean none. Replaces an earlier
// model.
// Returns 1; -1 after a complete build whose holder profile offset failed (message 6054);
// -1 with nothing kept for null arguments, a named mesh or profile file that cannot be loaded
// or read (message 1107 naming the file), or when memory runs out. A readable profile file
// without the named profile builds on without that body.
int holderBuildModel(const SurfaceModel* model, const ToolAssembly* assembly, double allowance,
                     const char* holderMeshFile, const char* headMeshFile,
                     const char* holderProfileFile, const char* headProfileFile,
                     double holderClearance, double headClearance);
// Frees every body, object, grid, model copy and the pair list, and switches the path check off
// the model; the settings stay.
void holderFreeCollisionModel();

// Test seam and run-start reset: the model freed and every setting and flag as at load.
void holderResetState();
