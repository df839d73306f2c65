// cyc3d_keys.h - every key of a job source that the phases of the 3D cycles read (qdCyc3d,
// qdZfin, qdRupp and qdRpx5). One table: the readers name their keys through it (a key that is
// not in it does not compile), and the keys of a job source are checked against it, so that a
// misspelled key is reported with the key it was probably meant to be.
#pragma once

#include <cstddef>

// In the order the phases read them: the init, the 3D block, the Z-level block, the roughing
// block and the roughing's copy into the global parameter block.
inline constexpr const char* kCyc3dKeys[] = {
    // init: output options, geometry source, message file, part number
    "NCOutp", "drillPointsOutp", "originalOutp", "precision", "geoSource", "geoOut",
    "sourceGeometry", "MessageFile", "ppJobID",
    // 3D block
    "polySource", "toolDiameter", "toolName", "toolType", "cornerRadius", "allowance",
    "infeedDepth", "infeedLength", "clearanceDistance", "clearancePlane", "jumpStepDistance",
    "rapidMode", "surface", "depth", "boundaryMode", "approachType", "leavingType", "returnMacro",
    "approachLength", "leavingLength", "maxOutputLine", "toolReference", "tempDirectory",
    "planeFeedrate", "zFeedrate", "spindleSpeed", "spindleRotation", "coolant", "frameCs_o",
    "frameCs_x", "frameCs_y", "frameCs_z", "toolCs_o", "toolCs_x", "toolCs_y", "toolCs_z",
    "ScaleXYZ", "frame", "frameOn", "frameOff", "lengthOfUnit", "machiningTolerance", "ncFormat",
    "feedrateReductionAngle", "circularMacroDirection", "circularMacroSegmentAngle",
    "reverseDirection", "infeedDirection", "removeTempFiles", "startPoint", "polyCs_o", "polyCs_x",
    "polyCs_y", "polyCs_z", "smoothStepover", "slopeCondition", "slopeAngle", "smoothStepOver",
    "retractPlane", "tiltStrategy", "tiltAngle", "maxTiltAngle", "tiltOffset", "fanDistance",
    "checkToolHolder", "avoidCollision", "approachAxialLength", "leavingAxialLength",
    "maxOutputAngle", "smoothVectors", "smoothInterval", "pivotSmooth", "pivotHeight", "autoIndex",
    "maxSegmentAngle", "connectMacroRadius", "connectMacroHeight", "fixedInclination", "angleB",
    "angleC", "extraPolySource", "reducedFeedrate",
    // Z-level block
    "cuttingSide", "gougeDetection", "stepStrategy", "collisionCheck", "collisionTolerance",
    "collisionStop", "outputArcs", "cuttingLine", "filletRadius", "filletCorners", "acceptUndercut",
    "gridFactor", "planeAllowance", "infeedStrategy", "minScallopHeight", "minInfeed",
    "plungeOnlyOnce", "autoStepDown", "connectRapid", "connectFactor", "cutterCompensation",
    "collisionHeight", "pocketOptimisation", "boundaryOffset", "startPointMovement",
    // roughing block
    "strategy", "finishPath", "plungeType", "helixRadius", "rampAngle", "rampAngleResolution",
    "stockStrategy", "minimalStepdown", "infeedFactor", "planesOnly", "helixRampAngle",
    "infeedRadius", "considerToolType", "completePocket", "skipSmallPockets", "skipFactor",
    "skipPockets", "noReduceBoundary", "planeFactor",
    // the roughing's copy
    "pofFilename"};

namespace cyc3d_keys_detail {
consteval bool same(const char* a, const char* b) {
  while (*a != '\0' && *a == *b) {
    ++a;
    ++b;
  }
  return *a == *b;
}
consteval bool known(const char* name) {
  for (const char* key : kCyc3dKeys) {
    if (same(key, name)) return true;
  }
  return false;
}
}  // namespace cyc3d_keys_detail

// A key name checked at compile time: constructing one from a name that is not in kCyc3dKeys is
// no constant expression, so the reader that names it does not compile.
struct Cyc3dKey {
  const char* name;
  consteval Cyc3dKey(const char* key)  // NOLINT: implicit, so that readers write the bare name
      : name(key) {
    if (!cyc3d_keys_detail::known(key)) throw "a key that kCyc3dKeys does not list";
  }
};

inline constexpr std::size_t kCyc3dKeyCount = sizeof kCyc3dKeys / sizeof kCyc3dKeys[0];
