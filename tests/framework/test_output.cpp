// Output layers and records: sorted registration, dispatch to writers and listeners by output
// mode, message 312 once per run, modal moves, the tool axis, and fields cut to their size.
#include <gtest/gtest.h>

#include <functional>
#include <limits>
#include <string>
#include <vector>

#include "framework/memory.h"
#include "framework/output.h"
#include "framework/output_records.h"
#include "framework/param_list.h"
#include "test_record.h"

using namespace qdtest;

namespace {
std::vector<OutputRecord>& got() {
  static std::vector<OutputRecord> g;
  return g;
}
std::vector<std::string>& trace() {
  static std::vector<std::string> t;
  return t;
}
int keep(CycleRecord*, OutputRecord* r) {
  got().push_back(*r);
  return 1;
}
int textW(CycleRecord*, OutputRecord*) {
  trace().push_back("text");
  return 5;
}
int exchW(CycleRecord*, OutputRecord*) {
  trace().push_back("exchange");
  return 6;
}
int listenA(CycleRecord*, OutputRecord*, void* u) {
  trace().push_back(std::string("A") + static_cast<const char*>(u));
  return 0;
}
int listenB(CycleRecord*, OutputRecord*, void* u) {
  trace().push_back(std::string("B") + static_cast<const char*>(u));
  return 0;
}
std::vector<int> layerNumbers(const CycleRecord& r) {
  std::vector<int> out;
  for (const OutputLayer* l = r.layers; l != nullptr; l = l->next) out.push_back(l->layer);
  return out;
}
}  // namespace

TEST(Layers, SortedOnceEachAndReRegistrationKeepsListeners) {
  testLog() = {};
  CycleRecord r = testRecord();
  ASSERT_EQ(cycRegisterLayer(&r, 31, textW, exchW, 1), 1);
  ASSERT_EQ(cycRegisterLayer(&r, 0, textW, exchW, 1), 1);
  ASSERT_EQ(cycRegisterLayer(&r, 10, textW, exchW, 1), 1);
  EXPECT_EQ(layerNumbers(r), (std::vector<int>{0, 10, 31}));
  EXPECT_EQ(testLog().events, (std::vector<int>{131, 139, 131, 139, 131, 139}));
  char u[] = "1";
  ASSERT_EQ(cycAddListener(&r, 10, listenA, u, nullptr, nullptr), 1);
  ASSERT_EQ(cycRegisterLayer(&r, 10, exchW, textW, 1), 1);
  EXPECT_EQ(layerNumbers(r), (std::vector<int>{0, 10, 31}));
  OutputRecord rec{};
  r.firstOutputPending = 0;
  EXPECT_EQ(cycEmit(&r, 10, &rec), 6) << "the new text writer";
  EXPECT_EQ(trace(), (std::vector<std::string>{"exchange", "A1"}));
  EXPECT_EQ(cycAddListener(&r, 11, listenA, u, nullptr, nullptr), 0) << "layer not registered";
  EXPECT_EQ(cycAddListener(&r, 10, nullptr, u, nullptr, nullptr), 0) << "no function";
  cycFreeLayers(&r);
  EXPECT_EQ(r.layers, nullptr);
}

TEST(Layers, MemoryFailureLeavesTheListAsItWas) {
  CycleRecord r;
  cycRegisterLayer(&r, 5, textW, nullptr, 1);
  memTestFailAt(1);
  EXPECT_EQ(cycRegisterLayer(&r, 6, textW, nullptr, 1), 0);
  memTestFailAt(1);
  EXPECT_EQ(cycAddListener(&r, 5, listenA, nullptr, nullptr, nullptr), 0);
  memTestFailAt(0);
  EXPECT_EQ(layerNumbers(r), std::vector<int>{5});
  EXPECT_EQ(r.layers->listeners, nullptr);
  cycFreeLayers(&r);
}

TEST(Dispatch, FirstRecordSends312OnceWriterThenListenersByMode) {
  testLog() = {};
  trace().clear();
  CycleRecord r = testRecord();
  OutputRecord rec{};
  EXPECT_EQ(cycEmit(&r, 3, &rec), 0) << "no such layer";
  EXPECT_EQ(testLog().events, std::vector<int>{312}) << "312 even for an unregistered layer";
  cycRegisterLayer(&r, 3, textW, exchW, 1);
  cycRegisterLayer(&r, 4, textW, exchW, 0);
  char one[] = "1";
  char two[] = "2";
  cycAddListener(&r, 3, listenA, one, listenB, two);
  cycAddListener(&r, 3, listenB, one, nullptr, nullptr);
  testLog().events.clear();
  EXPECT_EQ(cycEmit(&r, 3, &rec), 5);
  EXPECT_EQ(cycEmit(&r, 4, &rec), 0) << "disabled layer";
  EXPECT_TRUE(testLog().events.empty()) << "312 only once";
  EXPECT_EQ(trace(), (std::vector<std::string>{"text", "A1", "B1"}));
  trace().clear();
  r.outputMode = kCycOutputExchange;
  EXPECT_EQ(cycEmit(&r, 3, &rec), 6);
  EXPECT_EQ(trace(), (std::vector<std::string>{"exchange", "B2"}));
  cycFreeLayers(&r);
}

namespace {
CycleRecord moveRecord() {
  CycleRecord r;
  r.firstOutputPending = 0;
  for (std::uint16_t l :
       {std::uint16_t{1}, std::uint16_t{2}, std::uint16_t{10}, std::uint16_t{11}, std::uint16_t{12},
        std::uint16_t{31}, std::uint16_t{32}, std::uint16_t{41}, std::uint16_t{42}}) {
    cycRegisterLayer(&r, l, keep, keep, 1);
  }
  got().clear();
  return r;
}
}  // namespace

TEST(Records, ModalMovesCompareTheirTexts) {
  CycleRecord r = moveRecord();
  double lx = 1, ly = 2, lz = 3, lu = 0, lv = 0, lw = 1;
  EXPECT_EQ(cycFeed3D(&r, &lx, &ly, &lz, 1, 2, 3.0000004, &lu, &lv, &lw, 0, 0, 1), 0);
  EXPECT_TRUE(got().empty()) << "same texts: nothing";
  EXPECT_EQ(lz, 3) << "the last value stays when its text did not change";
  cycFeed3D(&r, &lx, &ly, &lz, 1, 2, 3.000001, &lu, &lv, &lw, 0, 0, 1);
  ASSERT_EQ(got().size(), 2u);
  EXPECT_EQ(got()[0].type, 3114);
  EXPECT_EQ(got()[1].type, 4007);
  EXPECT_EQ(got()[0].modal.setX, 0);
  EXPECT_EQ(got()[0].modal.setZ, 1);
  EXPECT_EQ(got()[0].modal.z, 3.000001);
  EXPECT_EQ(lz, 3.000001);
  got().clear();
  cycRapid3D(&r, &lx, &ly, &lz, 1, 2, 3.000001, &lu, &lv, &lw, 0.5, 0, 1);
  ASSERT_EQ(got().size(), 2u);
  EXPECT_EQ(got()[0].type, 3109);
  EXPECT_EQ(got()[1].type, 4019);
  const OutputModalForm& m = got()[0].modal;
  EXPECT_EQ(m.setU + m.setV + m.setW + m.setX + m.setY + m.setZ, 1);
  EXPECT_EQ(m.setU, 1);
  EXPECT_EQ(m.u, 0.5);
  EXPECT_EQ(m.w, 1);
  cycFreeLayers(&r);
}

TEST(Records, ExplicitMovesGoToLayer31ThenTheirGCodeTwin) {
  CycleRecord r = moveRecord();
  cycRapidXY(&r, 1, 2);
  cycFeedZ(&r, -3);
  cycFeedXYZ(&r, 4, 5, 6);
  cycArcXY(&r, 1, 7, 8, 9, 10);
  cycArcXY(&r, -1, 7, 8, 9, 10);
  std::vector<int> types;
  for (const auto& g : got()) types.push_back(g.type);
  EXPECT_EQ(types, (std::vector<int>{3101, 4001, 3112, 4005, 3113, 4006, 3121, 4008, 3121, 4009}));
  EXPECT_EQ(got()[0].move.y, 2);
  EXPECT_EQ(got()[1].nc.y, 2);
  EXPECT_EQ(got()[2].move.z, -3);
  EXPECT_EQ(got()[6].arc.cy, 10);
  EXPECT_EQ(got()[7].nc.j, 10);
  cycFreeLayers(&r);
}

// "demoSquareSide := 1e400" wrote "G1 Xinf Y0": a record whose numbers are not all finite reaches
// no writer and no host; the run fails with message 1108 instead. Fields the record's type does
// not use may hold anything.
TEST(Records, NonFiniteCoordinatesNeverReachAWriter) {
  constexpr double inf = std::numeric_limits<double>::infinity();
  constexpr double nan = std::numeric_limits<double>::quiet_NaN();
  struct Case {
    const char* what;
    std::function<int(CycleRecord*)> send;
    std::size_t kept;  // records that reached the writer of layer 31, 32 or 42
  };
  double lx = 0, ly = 0, lz = 0, lu = 0, lv = 0, lw = 0;
  const Case cases[] = {
      {"rapid x inf", [](CycleRecord* r) { return cycRapidXY(r, inf, 0); }, 0},
      {"feed z nan", [](CycleRecord* r) { return cycFeedZ(r, nan); }, 0},
      {"arc centre -inf", [](CycleRecord* r) { return cycArcXY(r, 1, 1, 1, -inf, 0); }, 0},
      {"modal nan",
       [&](CycleRecord* r) {
         return cycFeed3D(r, &lx, &ly, &lz, 1, nan, 1, &lu, &lv, &lw, 0, 0, 0);
       },
       0},
      {"collision mark", [](CycleRecord* r) { return cycCollisionPoint(r, 0, nan, 0); }, 0},
      {"finite", [](CycleRecord* r) { return cycFeedXY(r, 1e300, -1e300); }, 2},
  };
  for (const Case& c : cases) {
    CycleRecord r = moveRecord();
    got().clear();
    c.send(&r);
    EXPECT_EQ(got().size(), c.kept) << c.what;
    for (const OutputRecord& g : got()) EXPECT_NE(g.type, 101) << c.what;
    EXPECT_EQ(cycRunFailed(&r), c.kept == 0 ? 1 : 0) << c.what;
    EXPECT_EQ(r.status, c.kept == 0 ? kCycStatusFailed : 0) << c.what;
    cycRunFailClear(&r);
    cycFreeLayers(&r);
  }
  // An unused field of the form may be anything: a z move does not look at x.
  CycleRecord r = moveRecord();
  OutputRecord z{};
  z.type = 3112;
  z.move.x = nan;
  z.move.z = 1;
  EXPECT_EQ(cycEmit(&r, 31, &z), 1);
  EXPECT_EQ(cycRunFailed(&r), 0);
  // The number of a call argument is a text: "inf" is refused there too, naming the argument.
  EXPECT_EQ(cycSendCallArg(&r, "depth", inf), 0);
  EXPECT_EQ(cycRunFailed(&r), 1);
  cycRunFailClear(&r);
  cycFreeLayers(&r);
}

TEST(Records, ToolAxisThroughTheFrames) {
  CycleRecord r = moveRecord();
  cycSendFrameToolAxis(&r, 0, 0, 1);
  ASSERT_EQ(got().size(), 1u);
  EXPECT_EQ(got()[0].type, 3131);
  EXPECT_STREQ(got()[0].text.name, "toolAxis");
  EXPECT_STREQ(got()[0].text.text, "0,0,1");
  got().clear();
  // a tool frame tilted 90 degrees about x, with an origin that must not matter
  r.tool.m[5] = 0;
  r.tool.m[6] = -1;
  r.tool.m[9] = 1;
  r.tool.m[10] = 0;
  r.tool.m[3] = 50;
  cycSendFrameToolAxis(&r, 0, 0, 2);
  ASSERT_EQ(got().size(), 1u);
  EXPECT_STREQ(got()[0].text.text, "0,-1,0");
  got().clear();
  EXPECT_EQ(cycSendFrameToolAxis(&r, 0, 0, 0), 0);
  EXPECT_TRUE(got().empty());
  cycFreeLayers(&r);
}

TEST(Records, TextsAreCutToTheirFields) {
  CycleRecord r = moveRecord();
  const std::string longText(2000, 'k');
  cycBeginPart(&r, 7, longText.c_str(), "use");
  cycSetLocal(&r, longText.c_str(), longText.c_str());
  cycSendLiteralNc(&r, longText.c_str());
  ASSERT_EQ(got().size(), 4u);
  EXPECT_EQ(got()[0].type, 5001);
  EXPECT_EQ(got()[0].part.kind, 1);
  EXPECT_EQ(got()[0].part.number, 7);
  EXPECT_EQ(std::string(got()[0].part.data).size(), 254u);
  EXPECT_STREQ(got()[0].part.usage, "use");
  EXPECT_EQ(std::string(got()[1].text.name).size(), 255u);
  EXPECT_EQ(std::string(got()[1].text.text).size(), 519u);
  EXPECT_EQ(got()[2].type, 203);
  EXPECT_EQ(std::string(got()[2].text.text).size(), 519u);
  EXPECT_EQ(got()[3].type, 4101);
  EXPECT_EQ(std::string(got()[3].single).size(), 775u);
  got().clear();
  cycClearPart(&r, 7);
  ASSERT_EQ(got().size(), 1u);
  EXPECT_EQ(got()[0].type, 5003);
  EXPECT_EQ(got()[0].part.kind, 1);
  EXPECT_EQ(got()[0].part.number, 7);
  cycFreeLayers(&r);
}

TEST(Records, SmallBuildersTable) {
  CycleRecord r = moveRecord();
  r.params = parListSet(r.params, "lastComment", "3", 21);
  r.params = parListSet(r.params, "comment_1", "first", 21);
  r.params = parListSet(r.params, "comment_3", "third", 21);
  EXPECT_EQ(cycSendComments(&r), 2);
  cycBeginContour(&r, "c1", "note", "u1");
  cycBeginContour(&r, "c2", "", "u2");
  cycEndContour(&r);
  cycAuxFirstPoint(&r, 1, 2, 3);
  cycSendCallArg(&r, "depth", 2.5);
  cycSendAliasDef(&r, "a", "b", "c", "");
  cycBegin5Axis(&r);
  cycEnd5Axis(&r);
  cycSendToolText(&r, "T1");
  EXPECT_EQ(cycSendLiteralNc(&r, ""), 0);
  EXPECT_EQ(cycBeginContext(&r, "", "d", "u"), 0);
  cycBeginContext(&r, "ctx", "d", "");
  cycClearAll(&r);
  cycMoveKindPath(&r);
  cycCollisionPoint(&r, 4, 5, 6);
  parListFree(r.params);
  r.params = nullptr;
  struct Expect {
    int type;
    std::string a;  // name, single text or part name
    std::string b;  // text
  };
  const std::vector<Expect> expected = {{1001, "first", ""},
                                        {1001, "third", ""},
                                        {3001, "c1", "cmnt[note] u[u1]"},
                                        {3001, "c2", "u[u2]"},
                                        {3002, "", ""},
                                        {3103, "", ""},
                                        {301, "arg", "F:\"depth\":=2.5"},
                                        {301, "aliasDef", "a,b,c,1"},
                                        {301, "tr", "5X"},
                                        {301, "tr", "5X0"},
                                        {3199, "T1", ""},
                                        {5001, "ctx", ""},
                                        {5004, "", ""},
                                        {5005, "", ""},
                                        {7001, "", ""}};
  ASSERT_EQ(got().size(), expected.size());
  for (std::size_t i = 0; i < expected.size(); ++i) {
    const OutputRecord& g = got()[i];
    EXPECT_EQ(g.type, expected[i].type) << i;
    if (g.type == 1001 || g.type == 3199) {
      EXPECT_EQ(std::string(g.single), expected[i].a) << i;
    } else if (g.type == 5001) {
      EXPECT_EQ(std::string(g.part.name), expected[i].a);
      EXPECT_EQ(g.part.kind, 4);
    } else if (g.type != 5005 && g.type != 7001 && g.type != 5004) {
      EXPECT_EQ(std::string(g.text.name), expected[i].a) << i;
      EXPECT_EQ(std::string(g.text.text), expected[i].b) << i;
    }
  }
  EXPECT_EQ(got()[5].move.z, 3);
  EXPECT_EQ(got()[13].part.kind, 115);
  EXPECT_EQ(got()[14].mark.zero, 0);
  EXPECT_EQ(got()[14].mark.p[2][1], 5);
  cycFreeLayers(&r);
}
