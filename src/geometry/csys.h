// csys.h - the process-wide coordinate systems: tool (working) system, NC frame system and an
// optional reference system, with their inverses, cross transforms, rotation-only forms and one
// global length scale. Readers map input into the tool system, outputs map back to the frame.
#pragma once

#include "geometry/matrix4.h"

// Indices of CoordSystems::matrices. T tool -> world, F frame -> world, O reference -> world;
// R_ the rotation-only forms (the same axes, no translation).
enum CsysMatrix {
  kCsysTool = 0,             // T
  kCsysToolInv = 1,          // T^-1: world -> tool
  kCsysFrame = 2,            // F
  kCsysFrameInv = 3,         // F^-1: world -> frame
  kCsysToolToFrame = 4,      // T * F^-1
  kCsysFrameToTool = 5,      // F * T^-1
  kCsysOrig = 6,             // O
  kCsysOrigInv = 7,          // O^-1
  kCsysToolToOrig = 8,       // T * O^-1
  kCsysOrigToTool = 9,       // O * T^-1
  kCsysRotTool = 10,         // R_T
  kCsysRotToolInv = 11,      // R_T^-1
  kCsysRotFrame = 12,        // R_F
  kCsysRotFrameInv = 13,     // R_F^-1
  kCsysRotToolToFrame = 14,  // R_T * R_F^-1
  kCsysRotFrameToTool = 15,  // R_F * R_T^-1
  kCsysRotOrig = 16,         // R_O
  kCsysRotOrigInv = 17,      // R_O^-1
  kCsysRotToolToOrig = 18,   // R_T * R_O^-1
  kCsysRotOrigToTool = 19,   // R_O * R_T^-1
  kCsysMatrixCount = 20
};

// The single process-wide record. At load: scale 1, prepared 0, every matrix the identity.
struct CoordSystems {
  double scale;  // points entering the tool system are multiplied by it, leaving divided
  int prepared;  // 1 after a successful csysPrepare; output and mesh mapping only while 1
  Matrix4 matrices[kCsysMatrixCount];
};

// The current record (read-only); consumers test ->prepared before mapping output points.
const CoordSystems* csysCurrent();

// Set a system from its origin and axis vectors (world coordinates; taken as given, neither
// orthonormalised nor tested): the base matrix = matFromAxes(x, y, z) * matTranslation(origin)
// and the rotation-only matrix = matFromAxes(x, y, z). Scale, the prepared flag and the derived
// matrices are unchanged until the next prepare.
void csysSetFrame(const Point3D& origin, const Point3D& x, const Point3D& y, const Point3D& z);
void csysSetTool(const Point3D& origin, const Point3D& x, const Point3D& y, const Point3D& z);
void csysSetOrig(const Point3D& origin, const Point3D& x, const Point3D& y, const Point3D& z);
// Turns the tool system about its own z axis by angle degrees: T = Z * T and R_T = Z * R_T.
void csysRotateTool(double angleDegrees);
// A quarter turn of the tool system about its own z axis (x onto the former y): T = Q * T; the
// rotation-only R_T keeps its orientation.
void csysRotateTool90();
// scale = scale * factor. Returns 1; -20 (scale unchanged) for a factor that is 0 or not finite,
// which would make every later mapping divide by zero.
int csysMulScale(double factor);

// Resets scale to 1 and prepared to 0, then derives the inverses and cross transforms of the tool
// and frame systems. Returns 1 (prepared = 1); -1 at the first singular matrix (prepared stays 0,
// matrices derived before it keep their new values).
int csysPrepare();
// Derives the inverses and cross transforms of the reference system; needs a prepared tool
// system. Returns 1; -1 at the first singular matrix.
int csysPrepareOrig();

// Point mappings, in place.
void csysWorldToTool(Point3D* p);   // p = (p * T^-1) * scale
void csysToolToWorld(Point3D* p);   // p = (p / scale) * T
void csysToolToFrame(Point3D* p);   // p = (p / scale) * (T * F^-1)
void csysFrameToTool(Point3D* p);   // p = (p * (F * T^-1)) * scale
void csysFrameToWorld(Point3D* p);  // p = p * F, unscaled
// Direction mappings, in place, rotation only, unscaled.
void csysToolDirToFrame(Point3D* d);  // d * (R_T * R_F^-1)
void csysToolDirToOrig(Point3D* d);   // d * (R_T * R_O^-1)
void csysOrigDirToTool(Point3D* d);   // d * (R_O * R_T^-1)

// 1 when T equals F within 1e-5 in every entry, else 0.
int csysToolIsFrame();
// 0 when the z-axis rows of T and F agree within 1e-5 in every component, else 1.
int csysAxisDiffers();

// Test seam: back to the state at load.
void csysResetState();
