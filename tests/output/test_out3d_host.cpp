// A cycle whose compute phase mills a square through the 3D output layer, run by a host through
// qdCSexecCycle: the host receives the technology header and the moves inside the first-position
// brackets, and a stop signal set from a host callback ends the output at once with status 100.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "cycles/cycle_result.h"
#include "framework/kernel.h"
#include "framework/messages.h"
#include "framework/output.h"
#include "framework/output_records.h"
#include "framework/param_list.h"
#include "framework/pof_writer.h"
#include "framework/test_record.h"
#include "output/out3d_moves.h"
#include "output/out3d_state.h"
#include "qdmill/qdmill.h"
#include "support/temp_dir.h"

using namespace qdtest;

namespace {
CycleRecord* squareCycle = nullptr;
int stopAfterMoves = -1;  // the host sets signal 100 after this many move records (-1 never)

struct HostSeen {
  int layer;
  std::string what;
};
std::vector<HostSeen>& seen() {
  static std::vector<HostSeen> s;
  return s;
}
int moveRecords() {
  int n = 0;
  for (const auto& s : seen()) n += s.layer == 31 ? 1 : 0;
  return n;
}

int hostFn(CycleRecord* cycle, int layer, OutputRecord* r, void*) {
  if (layer == 31) {
    seen().push_back({layer, std::to_string(r->type)});
    if (moveRecords() == stopAfterMoves) qdCSsetSignal(cycle, kSignalStopNow);
  } else if (layer == 10) {
    seen().push_back({layer, std::string(r->text.name) + "(" + r->text.text + ")"});
  }
  return 0;
}

int squareBreakCheck() {
  return squareCycle != nullptr && squareCycle->signal == kSignalStopNow ? 1 : 0;
}

int squareInit(CycleRecord* c) {
  c->params = parListSet(c->params, "pofFilename", "square.pof", 31);
  for (std::uint16_t layer : {0, 10, 12, 31, 32}) {
    cycRegisterLayer(c, layer, pofTextWriterFor(layer), nullptr, 1);
  }
  cycSendTextRecord(c, 0, 103, "cycle", c->title);
  return 1;
}

// Mills a square of side 20 at depth -1 from a rapid at 50; stops on a user break.
int squareCompute(CycleRecord* c) {
  squareCycle = c;
  out3dSetCycle(c);
  out3dSetBreakCheck(squareBreakCheck);
  out3dResetState();
  TechnologyRecord t;
  t.toolNumber = 5;
  t.feed = 800;
  t.plungeFeed = 100;
  t.spindleSpeed = 6000;
  out3dWriteTechnology(&t);
  const struct {
    Point3D p;
    int kind;
  } path[] = {{{0, 0, 50}, kOut3dRapid}, {{0, 0, 50}, kOut3dRapid}, {{0, 0, 2}, kOut3dRapid},
              {{0, 0, -1}, kOut3dFeed},  {{20, 0, -1}, kOut3dFeed}, {{20, 20, -1}, kOut3dFeed},
              {{0, 20, -1}, kOut3dFeed}, {{0, 0, -1}, kOut3dFeed},  {{0, 0, 50}, kOut3dRapid}};
  int result = 0;
  for (const auto& step : path) {
    result = out3dMove3Axis(step.p, step.kind);
    if (result < 0) break;
  }
  if (result == 0) out3dEndOutput();
  cyc3dSetResult(c, result);
  out3dSetBreakCheck(nullptr);
  out3dSetCycle(nullptr);
  return 1;
}

int quietLoad(CycleRecord*) { return 1; }

CycleRecord squareRecord() {
  CycleRecord r = testRecord();
  r.messageFn = nullptr;
  r.slots.phaseLoadParams = quietLoad;
  r.slots.phaseInit = squareInit;
  r.slots.phaseCompute = squareCompute;
  r.slots.phaseEnd = cycEndDefault;
  return r;
}

int runSquare(CycleRecord* r) {
  HostCallbacks host{};
  host.pair[0] = {hostFn, nullptr};
  char s[] = "-Sjob";
  char* argv[] = {s};
  return qdCSexecCycle(r, 1, argv, &host);
}

std::vector<std::string> layer10Names() {
  std::vector<std::string> out;
  for (const auto& s : seen()) {
    if (s.layer == 10) out.push_back(s.what.substr(0, s.what.find('(')));
  }
  return out;
}
}  // namespace

class Out3dHost : public TempDirTest {
 protected:
  void SetUp() override {
    pofResetState();
    out3dPointBufFree(out3dState().buffer);
    out3dState() = Out3dState{};
    msgResetState();
    seen().clear();
  }
  void TearDown() override { pofResetState(); }
};

TEST_F(Out3dHost, HostReceivesTheHeaderAndTheMovesInsideTheFirstPosition) {
  stopAfterMoves = -1;
  CycleRecord r = squareRecord();
  ASSERT_EQ(runSquare(&r), 1);
  EXPECT_EQ(qdCSgetSignal(&r), kStatusOk);
  EXPECT_EQ(moveRecords(), 9);

  // Technology header first, then the first position between its literal-block brackets.
  const std::vector<std::string> names = layer10Names();
  const std::vector<std::string> tech = {"cycleFct", "arg",      "CPLANE", "arg",      "RPLANE",
                                         "arg",      "CDIST",    "T",      "aliasDef", "aliasDef",
                                         "aliasDef", "aliasUse", "S",      "SR",       "tr",
                                         "tr",       "FX",       "FZ",     "aliasUse", "tr"};
  const auto at = std::find(names.begin(), names.end(), "cycleFct");
  ASSERT_LE(tech.size(), static_cast<std::size_t>(names.end() - at));
  EXPECT_EQ(std::vector<std::string>(at, at + tech.size()), tech);
  std::vector<std::string> order;
  for (const auto& s : seen()) {
    if (s.layer == 31 || s.what.rfind("nctx(", 0) == 0 || s.what.rfind("FX(", 0) == 0) {
      order.push_back(s.layer == 31 ? "move " + s.what : s.what);
    }
  }
  const std::vector<std::string> firstPart = {"FX(800)",   "nctx(BFP)", "nctx(0)", "move 3107",
                                              "move 3107", "nctx(AFP)", "nctx(0)", "move 3107"};
  ASSERT_GE(order.size(), firstPart.size());
  EXPECT_EQ(std::vector<std::string>(order.begin(), order.begin() + firstPart.size()), firstPart);

  const std::string pof = readFile("square.pof");
  EXPECT_NE(pof.find("10: T(5)\n"), std::string::npos);
  EXPECT_NE(pof.find("10: arg(I:firstPosition:=1)\n31: oM[1]( z[/50] )\n32: G0 Z50\n"
                     "31: oM[2]( x[/0] y[/0] )\n32: G0 X0 Y0\n10: arg(I:firstPosition:=0)\n"),
            std::string::npos)
      << pof;
  EXPECT_NE(pof.find("31: oL[5]( x[/20] )\n"), std::string::npos);
  EXPECT_NE(pof.find("0: sigstat(0,0)\n"), std::string::npos);
}

TEST_F(Out3dHost, StopSignalFromACallbackEndsTheOutputWithStatus100) {
  stopAfterMoves = 2;
  CycleRecord r = squareRecord();
  ASSERT_EQ(runSquare(&r), 1);
  EXPECT_EQ(qdCSgetSignal(&r), kStatusUserBreak);
  EXPECT_EQ(moveRecords(), 2) << "no move after the signal";
  const std::string pof = readFile("square.pof");
  EXPECT_EQ(pof.find("31: oM[3]"), std::string::npos);
  EXPECT_NE(pof.find("0: sigstat(100,100)\n"), std::string::npos) << pof;
  stopAfterMoves = -1;
}
