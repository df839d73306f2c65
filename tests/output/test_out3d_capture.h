// test_out3d_capture.h - a cycle record whose layers keep every record the 3D output layer writes
// as one short line ("<layer>: <what>"), so that tests compare the output as a list of lines.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

#include "framework/messages.h"
#include "framework/numtext.h"
#include "framework/output.h"
#include "framework/test_record.h"
#include "geometry/cycle_state.h"
#include "output/out3d_moves.h"
#include "output/out3d_state.h"

namespace qdtest {

inline std::vector<std::string>& out3dLines() {
  static std::vector<std::string> lines;
  return lines;
}

inline std::string out3dNum(double x) {
  char t[kNumTextSize];
  numFormat(t, x);
  return t;
}

inline std::string out3dAxisNum(double x) {
  char t[64];
  numFormatFixed8(t, sizeof t, x);
  return t;
}

// One record as a line: text records as "name(text)", modal moves as their type and the written
// coordinates, explicit z moves as type and z, literal NC lines as their text, contexts as
// "beg ctx <name>" / "end ctx <name>", parts as "beg part <n>" / "end part <n>".
inline std::string out3dDescribe(int layer, const OutputRecord& r) {
  std::string s = std::to_string(layer) + ": ";
  switch (r.type) {
    case 3107:
    case 3114:
    case 3109:
    case 3118:
    case 4007:
    case 4016:
    case 4019:
    case 4020: {
      s += std::to_string(r.type);
      if (r.modal.setX) s += " x" + out3dNum(r.modal.x);
      if (r.modal.setY) s += " y" + out3dNum(r.modal.y);
      if (r.modal.setZ) s += " z" + out3dNum(r.modal.z);
      if (r.modal.setU) s += " u" + out3dAxisNum(r.modal.u);
      if (r.modal.setV) s += " v" + out3dAxisNum(r.modal.v);
      if (r.modal.setW) s += " w" + out3dAxisNum(r.modal.w);
      return s;
    }
    case 3102: return s + "3102 z" + out3dNum(r.move.z);
    case 4002: return s + "4002 z" + out3dNum(r.nc.z);
    case 3103:
    case 3113:
      return s + std::to_string(r.type) + " " + out3dNum(r.move.x) + " " + out3dNum(r.move.y) +
             " " + out3dNum(r.move.z);
    case 7001:
      return s + "7001 " + out3dNum(r.mark.p[0][0]) + " " + out3dNum(r.mark.p[0][1]) + " " +
             out3dNum(r.mark.p[0][2]);
    case 4101:
    case 1001: return s + r.single;
    case 3002: return s + "3002";
    case 5004: return s + "clr all";
    case 5001:
    case 5002: {
      s += r.type == 5001 ? "beg " : "end ";
      if (r.part.kind == 4) s += std::string("ctx ") + r.part.name;
      if (r.part.kind == 1) s += "part " + std::to_string(r.part.number);
      if (r.part.usage[0] != '\0') s += std::string(" usg(") + r.part.usage + ")";
      return s;
    }
    case 5005: return s + "kind " + std::to_string(r.part.kind);
    default: return s + r.text.name + "(" + r.text.text + ")";
  }
}

// The technology of the tests: FX 1000, FZ 200, spindle 8000 clockwise, tool 3, and the reduced
// feed given (0: none).
inline TechnologyRecord out3dTestTech(double reduced) {
  TechnologyRecord t;
  t.toolNumber = 3;
  t.feed = 1000;
  t.plungeFeed = 200;
  t.spindleSpeed = 8000;
  t.spindleDirection = 1;
  t.reducedFeed = reduced;
  return t;
}

template <int Layer>
int out3dKeep(CycleRecord*, OutputRecord* r) {
  out3dLines().push_back(out3dDescribe(Layer, *r));
  return 1;
}

// The layers the 3D output writes, each keeping its records.
inline void out3dRegisterCapture(CycleRecord* c) {
  cycRegisterLayer(c, 0, out3dKeep<0>, out3dKeep<0>, 1);
  cycRegisterLayer(c, 10, out3dKeep<10>, out3dKeep<10>, 1);
  cycRegisterLayer(c, 12, out3dKeep<12>, out3dKeep<12>, 1);
  cycRegisterLayer(c, 31, out3dKeep<31>, out3dKeep<31>, 1);
  cycRegisterLayer(c, 32, out3dKeep<32>, out3dKeep<32>, 1);
  cycRegisterLayer(c, 41, out3dKeep<41>, out3dKeep<41>, 1);
  cycRegisterLayer(c, 42, out3dKeep<42>, out3dKeep<42>, 1);
}

// Fixture: a current output cycle with capturing layers and a fresh 3D output state.
class Out3dTest : public ::testing::Test {
 protected:
  void SetUp() override {
    rec_ = testRecord();
    rec_.messageFn = nullptr;
    rec_.id = "qdZfin";
    out3dRegisterCapture(&rec_);
    rec_.firstOutputPending = 0;
    // The whole layer state as at load, as in a fresh process.
    out3dPointBufFree(out3dState().buffer);
    out3dState() = Out3dState{};
    cycleStateResetState();
    msgResetState();
    out3dSetCycle(&rec_);
    out3dResetState();
    out3dLines().clear();
  }
  void TearDown() override {
    out3dResetState();
    out3dSetCycle(nullptr);
    cycFreeLayers(&rec_);
  }
  // The lines written since the last call.
  std::vector<std::string> take() {
    std::vector<std::string> out;
    out.swap(out3dLines());
    return out;
  }
  CycleRecord rec_;
};

}  // namespace qdtest
