// tool_assembly.cpp - the tool bands above the cutter and their clearance angle, with the run's
// clearance switches.
#include "model/tool_assembly.h"

#include <algorithm>
#include <cmath>
#include <cstring>

namespace {

struct ToolState {
  double clearance = 1.0;  // the run's radial clearance
  int noClearance = 0;
  int fixedClearance = 0;
  double fixedValue = 0.0;
  int noMinDiameter = 0;
};
ToolState toolState;

// Raises the clearance angle to that of the band corner (r, h) as seen from the cutter's edge,
// when the corner lies at a usable height.
void toolRaiseAngle(ToolAssembly* a, double diameter, double height) {
  if (std::fabs(height) < kToolLengthEps) return;
  const double angle = std::atan2(diameter / 2.0 - a->radius, height);
  if (angle > a->clearanceAngle) a->clearanceAngle = angle;
}

}  // namespace

void toolAssemblyInit(ToolAssembly* assembly, const CutterShape* cutter, double allowance,
                      double length1, double length2, double totalLength, double diameter1,
                      double diameter2) {
  if (assembly == nullptr || cutter == nullptr) return;
  const double r = cutter->radius;
  double a = allowance;
  toolState.clearance = std::max(0.2 * r, 0.025 * diameter1);
  if (toolState.noClearance == 0) a += toolState.clearance;
  if (toolState.fixedClearance != 0) {
    toolState.clearance = toolState.fixedValue;
    a = 2.0 * toolState.fixedValue;
  }

  std::memset(static_cast<void*>(assembly), 0, sizeof(ToolAssembly));
  assembly->type = cutter->type;
  assembly->radius = r;
  assembly->cornerRadius = cutter->cornerRadius;
  assembly->zOffset = cutter->zOffset;

  double tip = 0.0;
  if (cutter->type == kCutterBall || cutter->type == 12) {
    tip = r;
  } else if (cutter->type == kCutterTorus) {
    tip = cutter->cornerRadius;
  }
  assembly->freeLength = std::max(totalLength - tip - a, 0.0);
  assembly->coneTop = assembly->freeLength + length2;
  assembly->holderStart = assembly->coneTop + length1;

  assembly->neckDiameter = diameter2 + 2.0 * a;
  assembly->shankBandDiameter = diameter1 + 2.0 * a;
  if (toolState.noMinDiameter == 0) {
    assembly->neckDiameter = std::max(assembly->neckDiameter, 2.0 * r);
    assembly->shankBandDiameter = std::max(assembly->shankBandDiameter, 2.0 * r);
  }
  assembly->holderDiameter1 = assembly->shankBandDiameter;
  assembly->taperLength = assembly->freeLength;
  assembly->shankDiameter = 2.0 * r;

  assembly->clearanceAngle = 0.0;
  // The neck angle stands even when it is negative; the shank band only raises it.
  if (std::fabs(assembly->freeLength) >= kToolLengthEps) {
    assembly->clearanceAngle = std::atan2(assembly->neckDiameter / 2.0 - r, assembly->freeLength);
  }
  toolRaiseAngle(assembly, assembly->shankBandDiameter, assembly->coneTop);

  toolAssemblySetTaper(assembly, cutter->taperLength, cutter->shankDiameter, cutter->bandLength,
                       cutter->taperAngle);
}

void toolAssemblySetTaper(ToolAssembly* assembly, double taperLength, double shankDiameter,
                          double bandLength, double taperAngle) {
  if (assembly == nullptr) return;
  const double r = assembly->radius;
  assembly->taperLength = std::min(taperLength, assembly->freeLength);
  assembly->shankDiameter = std::fabs(shankDiameter) < kToolLengthEps ? 2.0 * r : shankDiameter;
  assembly->bandLength = std::min(bandLength, assembly->freeLength - assembly->taperLength);
  assembly->taperAngle = taperAngle;
  if (std::fabs(assembly->shankDiameter - 2.0 * r) >= kToolLengthEps) {
    const double angle =
        std::atan2(assembly->shankDiameter / 2.0 - r, assembly->bandLength + assembly->taperLength);
    if (angle > assembly->clearanceAngle) assembly->clearanceAngle = angle;
  }
}

void toolAssemblySetHolder(ToolAssembly* assembly, double allowance, double diameter3,
                           double length3, double diameter4, double length4) {
  if (assembly == nullptr) return;
  double f = allowance;
  if (toolState.noClearance == 0) f += toolState.clearance;
  if (toolState.fixedClearance != 0) f = 2.0 * toolState.fixedValue;
  f *= 2.0;

  bool wider = true;
  assembly->holderDiameter1 = diameter3 + f;
  if (assembly->holderDiameter1 < assembly->shankBandDiameter + kToolLengthEps) {
    assembly->holderDiameter1 = assembly->shankBandDiameter;
    wider = false;
  }
  assembly->holderDiameter2 = diameter4 + f;
  if (assembly->holderDiameter2 < assembly->holderDiameter1 + kToolLengthEps) {
    assembly->holderDiameter2 = assembly->holderDiameter1;
  } else {
    wider = true;
  }
  assembly->holderConeTop = assembly->holderStart + length3;
  assembly->holderTop = assembly->holderConeTop + length4;
  if (wider) {
    toolRaiseAngle(assembly, assembly->holderDiameter1, assembly->holderStart);
    toolRaiseAngle(assembly, assembly->holderDiameter2, assembly->holderConeTop);
  }
}

double toolAssemblyMaxDiameter(const ToolAssembly* assembly) {
  if (assembly == nullptr) return 0.0;
  return std::max({assembly->shankDiameter, 2.0 * assembly->radius, assembly->neckDiameter,
                   assembly->shankBandDiameter, assembly->holderDiameter1,
                   assembly->holderDiameter2});
}

void toolAssemblySetNoClearance(int flag) { toolState.noClearance = flag; }

void toolAssemblySetClearance(double value) {
  toolState.fixedClearance = 1;
  toolState.fixedValue = value >= kToolMinClearance ? value : kToolMinClearance;
}

void toolAssemblySetNoMinDiameter(int flag) { toolState.noMinDiameter = flag; }

double toolAssemblyClearance() { return toolState.clearance; }

void toolAssemblyResetState() { toolState = ToolState{}; }
