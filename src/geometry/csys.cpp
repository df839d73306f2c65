// csys.cpp - the process-wide coordinate systems between world (input), tool (computation) and
// NC frame (output), with the global scale that normalises lengths inside a computation.
#include "geometry/csys.h"

#include <cmath>

namespace {
constexpr double kEps = 1e-5;

CoordSystems csysInitial() {
  CoordSystems s{};
  s.scale = 1.0;
  s.prepared = 0;
  for (Matrix4& m : s.matrices) matIdentity(&m);
  return s;
}

CoordSystems csysState = csysInitial();

Matrix4& csysM(int i) { return csysState.matrices[i]; }

void csysSetSystem(int base, int rot, const Point3D& o, const Point3D& x, const Point3D& y,
                   const Point3D& z) {
  Matrix4 axes, move;
  matFromAxes(x, y, z, &axes);
  matTranslation(o, &move);
  matMultiply(axes, move, &csysM(base));
  csysM(rot) = axes;
}

void csysMap(Point3D* p, int matrix) { matTransformPoint(*p, csysM(matrix), p); }

void csysScale(Point3D* p, double f) {
  p->x *= f;
  p->y *= f;
  p->z *= f;
}

void csysUnscale(Point3D* p) {
  p->x /= csysState.scale;
  p->y /= csysState.scale;
  p->z /= csysState.scale;
}
}  // namespace

const CoordSystems* csysCurrent() { return &csysState; }

void csysResetState() { csysState = csysInitial(); }

void csysSetFrame(const Point3D& origin, const Point3D& x, const Point3D& y, const Point3D& z) {
  csysSetSystem(kCsysFrame, kCsysRotFrame, origin, x, y, z);
}

void csysSetTool(const Point3D& origin, const Point3D& x, const Point3D& y, const Point3D& z) {
  csysSetSystem(kCsysTool, kCsysRotTool, origin, x, y, z);
}

void csysSetOrig(const Point3D& origin, const Point3D& x, const Point3D& y, const Point3D& z) {
  csysSetSystem(kCsysOrig, kCsysRotOrig, origin, x, y, z);
}

void csysRotateTool(double angleDegrees) {
  Matrix4 z;
  matRotation(0, angleDegrees * M_PI / 180.0, &z);
  matMultiply(z, csysM(kCsysTool), &csysM(kCsysTool));
  matMultiply(z, csysM(kCsysRotTool), &csysM(kCsysRotTool));
}

void csysRotateTool90() {
  Matrix4 q;
  matIdentity(&q);
  q.m[0][0] = 0.0;
  q.m[0][1] = 1.0;
  q.m[1][0] = -1.0;
  q.m[1][1] = 0.0;
  matMultiply(q, csysM(kCsysTool), &csysM(kCsysTool));
}

int csysMulScale(double factor) {
  const double next = csysState.scale * factor;
  if (!std::isfinite(factor) || next == 0.0 || !std::isfinite(next)) return -20;
  csysState.scale = next;
  return 1;
}

int csysPrepare() {
  csysState.scale = 1.0;
  csysState.prepared = 0;
  if (matInvert(csysM(kCsysTool), &csysM(kCsysToolInv)) != 0) return -1;
  if (matInvert(csysM(kCsysFrame), &csysM(kCsysFrameInv)) != 0) return -1;
  matMultiply(csysM(kCsysTool), csysM(kCsysFrameInv), &csysM(kCsysToolToFrame));
  matMultiply(csysM(kCsysFrame), csysM(kCsysToolInv), &csysM(kCsysFrameToTool));
  if (matInvert(csysM(kCsysRotTool), &csysM(kCsysRotToolInv)) != 0) return -1;
  if (matInvert(csysM(kCsysRotFrame), &csysM(kCsysRotFrameInv)) != 0) return -1;
  matMultiply(csysM(kCsysRotTool), csysM(kCsysRotFrameInv), &csysM(kCsysRotToolToFrame));
  matMultiply(csysM(kCsysRotFrame), csysM(kCsysRotToolInv), &csysM(kCsysRotFrameToTool));
  csysState.prepared = 1;
  return 1;
}

int csysPrepareOrig() {
  if (matInvert(csysM(kCsysOrig), &csysM(kCsysOrigInv)) != 0) return -1;
  matMultiply(csysM(kCsysTool), csysM(kCsysOrigInv), &csysM(kCsysToolToOrig));
  matMultiply(csysM(kCsysOrig), csysM(kCsysToolInv), &csysM(kCsysOrigToTool));
  if (matInvert(csysM(kCsysRotOrig), &csysM(kCsysRotOrigInv)) != 0) return -1;
  matMultiply(csysM(kCsysRotOrig), csysM(kCsysRotToolInv), &csysM(kCsysRotOrigToTool));
  matMultiply(csysM(kCsysRotTool), csysM(kCsysRotOrigInv), &csysM(kCsysRotToolToOrig));
  return 1;
}

void csysWorldToTool(Point3D* p) {
  csysMap(p, kCsysToolInv);
  csysScale(p, csysState.scale);
}

void csysToolToWorld(Point3D* p) {
  csysUnscale(p);
  csysMap(p, kCsysTool);
}

void csysToolToFrame(Point3D* p) {
  csysUnscale(p);
  csysMap(p, kCsysToolToFrame);
}

void csysFrameToTool(Point3D* p) {
  csysMap(p, kCsysFrameToTool);
  csysScale(p, csysState.scale);
}

void csysFrameToWorld(Point3D* p) { csysMap(p, kCsysFrame); }

void csysToolDirToFrame(Point3D* d) { csysMap(d, kCsysRotToolToFrame); }

void csysToolDirToOrig(Point3D* d) { csysMap(d, kCsysRotToolToOrig); }

void csysOrigDirToTool(Point3D* d) { csysMap(d, kCsysRotOrigToTool); }

int csysToolIsFrame() { return matEqual(csysM(kCsysTool), csysM(kCsysFrame)); }

int csysAxisDiffers() {
  for (int c = 0; c < 3; ++c)
    if (!(std::fabs(csysM(kCsysTool).m[2][c] - csysM(kCsysFrame).m[2][c]) < kEps)) return 1;
  return 0;
}
