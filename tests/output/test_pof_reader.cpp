// Reading POF back: the layered text stream (line forms, line ends, cut lines, handlers,
// includes that nest, go missing or include themselves), the read-back's hook sequence, bulges
// and full circles, bad move lines and error records, the "name(value)" parser of its layer-0
// records, and round trips of POF written by the example job and by the text writers.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <numbers>
#include <regex>
#include <string>
#include <vector>

#include "cycles/cycle_hooks.h"
#include "cycles/level_pocket.h"
#include "framework/messages.h"
#include "framework/test_pof_support.h"
#include "output/pof_reader.h"

using namespace qdtest;

namespace {
// ---- a stream with recording handlers ---------------------------------------------------------

std::vector<std::string>& lines() {
  static std::vector<std::string> l;
  return l;
}
int recordLine(const char* text, std::int32_t user) {
  lines().push_back(std::to_string(user) + ":" + text);
  return 1;
}

// Every line of the file, as "layer:text", read through a stream with handlers for layers.
std::vector<std::string> readLines(const char* path, std::initializer_list<std::uint16_t> layers,
                                   int capacity = 512) {
  lines().clear();
  PofLineStream* st = pofStreamNew(path, capacity);
  EXPECT_NE(st, nullptr);
  if (st == nullptr) return {};
  for (std::uint16_t l : layers) pofStreamAddHandler(st, pofHandlerNew(l, recordLine, l));
  EXPECT_EQ(pofStreamRun(st), 1);
  pofStreamFree(st);
  return lines();
}

// ---- recording hooks --------------------------------------------------------------------------

struct HookEvent {
  int slot;
  int kind;
  Point3D p;
  double bulge;
  std::string word;
  void* target;
};
std::vector<HookEvent>& events() {
  static std::vector<HookEvent> e;
  return e;
}
void hk1(void* t, int k, const Point3D* p) { events().push_back({1, k, *p, 0, "", t}); }
void hk2(void* t, int k) { events().push_back({2, k, {0, 0, 0}, 0, "", t}); }
void hk3() { events().push_back({3, 0, {0, 0, 0}, 0, "", nullptr}); }
void hk4(void* t, int k, const Point3D* p, double b) { events().push_back({4, k, *p, b, "", t}); }
void hk5(void* t, int k, const Point3D* p) { events().push_back({5, k, *p, 0, "", t}); }
int hk6(const char* w) {
  events().push_back({6, 0, {0, 0, 0}, 0, w, nullptr});
  return 0;
}
int hk7(const char* w) {
  events().push_back({7, 0, {0, 0, 0}, 0, w, nullptr});
  return 0;
}
void hk8(int start) { events().push_back({8, start, {0, 0, 0}, 0, "", nullptr}); }
void hk9() { events().push_back({9, 0, {0, 0, 0}, 0, "", nullptr}); }

const PofReadHooks kRecording = {hk1, hk2, hk3, hk4, hk5, hk6, hk7, hk8, hk9, nullptr};

std::string num(double v) {
  char b[64];
  std::snprintf(b, sizeof b, "%g", std::fabs(v) < 1e-12 ? 0.0 : v);
  return b;
}
// "1 k2 (x,y,z)", "4 k2 (x,y,z) b0.5", "3", "6 drill" ...
std::string render(const HookEvent& e) {
  std::string s = std::to_string(e.slot);
  switch (e.slot) {
    case 1:
    case 4:
    case 5:
      s += " k" + std::to_string(e.kind) + " (" + num(e.p.x) + "," + num(e.p.y) + "," + num(e.p.z) +
           ")";
      if (e.slot == 4) s += " b" + num(e.bulge);
      break;
    case 2: s += " k" + std::to_string(e.kind); break;
    case 6:
    case 7: s += " " + e.word; break;
    case 8: s += " " + std::to_string(e.kind); break;
    default: break;
  }
  return s;
}
std::vector<std::string> rendered() {
  std::vector<std::string> r;
  for (const HookEvent& e : events()) r.push_back(render(e));
  return r;
}

std::vector<std::string>& messages() {
  static std::vector<std::string> m;
  return m;
}
int captureMessage(CycleRecord*, OutputRecord* r) {
  messages().push_back(r->text.text);
  return 1;
}

// The read-back with recording hooks and a message collector at level 9.
class PofReadTest : public TempDirTest {
 protected:
  void SetUp() override {
    pofReadResetState();
    pofReadSetHooks(&kRecording);
    events().clear();
    messages().clear();
    msgResetState();
    msgCycle_.firstOutputPending = 0;
    ASSERT_EQ(cycRegisterLayer(&msgCycle_, 0, captureMessage, captureMessage, 1), 1);
    out3dSetCycle(&msgCycle_);
    out3dSetMsgLevel(nullptr, 9);
  }
  void TearDown() override {
    pofReadResetState();
    msgResetState();
    cycFreeLayers(&msgCycle_);
  }
  // Reads the text as a POF file after a "cycle" line.
  std::vector<std::string> readBack(const std::string& body, int expected = 0) {
    writeFile("in.pof", "0: cycle(test)\n" + body);
    events().clear();
    EXPECT_EQ(pofReadBack("in.pof"), expected);
    return rendered();
  }
  CycleRecord msgCycle_;
};

using Seq = std::vector<std::string>;
}  // namespace

// ---- stream -----------------------------------------------------------------------------------

TEST_F(TempDirTest, StreamLineForms) {
  writeFile("a.pof",
            "31:  oL( x[/5] y[/6] )\n"
            "123456: six digits\n"
            "abc\n"
            ":no layer\n"
            "\n"
            " 3 1 :spaced digits\n"
            "7:\n"   // empty text: no line
            "7: \n"  // a blank is a text
            "12345:five\n"
            "0:x\r\n"  // CR LF is one line end
            "2:y\n\r"  // so is LF CR
            "2:z\r"
            "5:unserved\n");
  EXPECT_EQ(readLines("a.pof", {0, 2, 7, 31, 12345}),
            (Seq{"31:  oL( x[/5] y[/6] )", "31:spaced digits", "7: ", "12345:five", "0:x", "2:y",
                 "2:z"}));
}

// Closing the top source leaves the stream with nothing to read from it; starting it again
// reads from the beginning.
TEST_F(TempDirTest, StreamCloseAndRestart) {
  writeFile("c.pof", "1:a\n1:b\n");
  PofLineStream* st = pofStreamNew("c.pof", 64);
  ASSERT_NE(st, nullptr);
  ASSERT_EQ(pofStreamStart(st), 1);
  std::int16_t layer = 0;
  ASSERT_NE(pofStreamReadLine(st, &layer), nullptr);
  pofStreamClose(st);
  EXPECT_EQ(st->sources->file, nullptr);
  EXPECT_EQ(pofStreamReadLine(st, &layer), nullptr);
  pofStreamClose(st);  // closing twice is harmless
  ASSERT_EQ(pofStreamStart(st), 1);
  const char* first = pofStreamReadLine(st, &layer);
  ASSERT_NE(first, nullptr);
  EXPECT_STREQ(first, "a");
  pofStreamFree(st);
}

// A file cut off mid-write must not give half a move: its last line without line end is dropped.
TEST_F(TempDirTest, StreamDropsALastLineWithoutLineEnd) {
  writeFile("cut.pof", "31: oL( x[/1] y[/1] )\n31: oL( x[/2] y[/2");
  EXPECT_EQ(readLines("cut.pof", {31}), (Seq{"31: oL( x[/1] y[/1] )"}));
}

TEST_F(TempDirTest, StreamCutsLongLinesToTheCapacity) {
  writeFile("long.pof", "1:" + std::string(40, 'a') + "\n1:b\n");
  EXPECT_EQ(readLines("long.pof", {1}, 10), (Seq{"1:" + std::string(10, 'a'), "1:b"}));
}

TEST_F(TempDirTest, StreamHandlerRingKeepsOneHandlerPerLayer) {
  writeFile("h.pof", "3:c\n1:a\n2:b\n");
  lines().clear();
  PofLineStream* st = pofStreamNew("h.pof", 64);
  ASSERT_NE(st, nullptr);
  for (int l : {2, 3, 1})
    pofStreamAddHandler(st, pofHandlerNew(static_cast<std::uint16_t>(l), recordLine, l));
  pofStreamAddHandler(st, pofHandlerNew(2, recordLine, 20));  // replaces the first of layer 2
  ASSERT_EQ(pofStreamRun(st), 1);
  EXPECT_EQ(lines(), (Seq{"3:c", "1:a", "20:b"}));
  std::vector<int> order;
  const PofLayerHandler* h = st->handlers;
  do {
    order.push_back(h->layer);
    EXPECT_EQ(h->calls, 1);
    h = h->next;
  } while (h != st->handlers);
  EXPECT_EQ(order, (std::vector<int>{1, 2, 3}));
  pofStreamFree(st);

  PofLineStream* none = pofStreamNew("h.pof", 64);
  EXPECT_EQ(pofStreamRun(none), 0) << "no handler";
  pofStreamFree(none);
  PofLineStream* missing = pofStreamNew("missing.pof", 64);
  pofStreamAddHandler(missing, pofHandlerNew(1, recordLine, 1));
  EXPECT_EQ(pofStreamRun(missing), 0);
  pofStreamFree(missing);
}

TEST_F(TempDirTest, IncludesNestAndResumeAfterTheIncludeLine) {
  writeFile("main.pof", "1:m1\r\n0: include(part.pof)\r\n1:m2\r\n0: include(missing.pof)\n1:m3\n");
  writeFile("part.pof", "1:p1\n0:include(sub.pof)\n1:p2\n");
  writeFile("sub.pof", "1:s1\n");
  EXPECT_EQ(readLines("main.pof", {0, 1}),
            (Seq{"1:m1", "0: include(part.pof)", "1:p1", "0:include(sub.pof)", "1:s1", "1:p2",
                 "1:m2", "0: include(missing.pof)", "1:m3"}));
}

// A file that includes itself, directly or through another, was followed for ever.
TEST_F(TempDirTest, SelfIncludesEnd) {
  writeFile("self.pof", "1:a\n0: include(self.pof)\n1:b\n");
  EXPECT_EQ(readLines("self.pof", {1}), (Seq{"1:a", "1:b"}));
  writeFile("x.pof", "1:x\n0: include(y.pof)\n1:x2\n");
  writeFile("y.pof", "1:y\n0: include(./x.pof)\n1:y2\n");
  EXPECT_EQ(readLines("x.pof", {1}), (Seq{"1:x", "1:y", "1:y2", "1:x2"}));
}

TEST_F(TempDirTest, IncludeDepthIsCapped) {
  const int files = kPofMaxIncludeDepth + 4;
  for (int i = 0; i < files; ++i) {
    writeFile("f" + std::to_string(i) + ".pof",
              "1:" + std::to_string(i) + "\n0: include(f" + std::to_string(i + 1) + ".pof)\n");
  }
  const Seq got = readLines("f0.pof", {1});
  ASSERT_EQ(got.size(), static_cast<std::size_t>(kPofMaxIncludeDepth));
  EXPECT_EQ(got.back(), "1:" + std::to_string(kPofMaxIncludeDepth - 1));
}

// ---- read-back hook sequence ------------------------------------------------------------------

TEST_F(PofReadTest, FirstMovePlacesTheSecondStartsAnArcPath) {
  const Seq got = readBack("31:  oL( x[/5] y[/6] )\n31: oL( x[/7] y[/6] )\n0: cycleEnd(test)\n");
  EXPECT_EQ(got, (Seq{"1 k2 (7,6,1)", "4 k2 (5,6,1) b0", "4 k2 (7,6,1) b0", "3"}));
  EXPECT_EQ(events()[0].target, pofReadMoveTarget());
}

TEST_F(PofReadTest, RapidBetweenCutsSwitchesToALinePathAndBack) {
  const Seq got = readBack(
      "31: oL( x[/0] y[/0] )\n"
      "31: oL( x[/10] y[/0] )\n"
      "31: oM( x[/10] y[/10] )\n"
      "31: oL( x[/0] y[/10] )\n");
  EXPECT_EQ(got, (Seq{"1 k2 (10,0,1)", "4 k2 (0,0,1) b0", "4 k2 (10,0,1) b0",  // arc path
                      "3", "2 k1", "5 k1 (10,0,1)", "5 k1 (10,10,1)",          // the rapid
                      "3", "1 k2 (0,10,1)", "4 k2 (10,10,1) b0", "4 k2 (0,10,1) b0"}));
}

TEST_F(PofReadTest, MoveWithZGoesToALinePath) {
  const Seq got = readBack(
      "31: oM( x[/0] y[/0] )\n"
      "31: oL( z[/-1] )\n"
      "31: oL( x[/3] y[/0] z[/-2] )\n"
      "31: oL( x[/3] y[/4] )\n");
  EXPECT_EQ(got, (Seq{"2 k2", "5 k2 (0,0,1)", "5 k2 (0,0,-1)", "5 k2 (3,0,-2)",  // one line path
                      "3", "1 k2 (3,4,-2)", "4 k2 (3,0,-2) b0", "4 k2 (3,4,-2) b0"}));
}

TEST_F(PofReadTest, VariablesReachTheirHooks) {
  pofReadSetHooks(nullptr);
  PofReadHooks h = kRecording;
  h.pocket = nullptr;
  h.end = nullptr;
  pofReadSetHooks(&h);
  pofReadSetPocketHook(hk8);
  pofReadSetEndHook(hk9);
  EXPECT_EQ(readBack("31: vstart(drill)\n31: vfull(start)\n31: vpocket(start)\n31: vpocket(stop)\n"
                     "31: vend(x)\n31: vother(y)\n"),
            (Seq{"6 drill", "7 start", "8 1", "8 0", "9"}));
  pofReadClearPocketHook();
  pofReadClearEndHook();
  EXPECT_EQ(readBack("31: vpocket(start)\n31: vend(x)\n"), Seq{});
}

TEST_F(PofReadTest, ArcBulges) {
  struct Case {
    const char* arc;  // from (0, 0)
    double bulge;
  };
  const double q = std::tan(std::numbers::pi / 8);
  const Case cases[] = {
      {"oA( o[+] x[/10/5] y[/0/0] )", 1.0},   // counter-clockwise half circle
      {"oA( o[-] x[/10/5] y[/0/0] )", -1.0},  // clockwise half circle
      {"oA( o[-] x[/10/10] y[/10/0] )", -q},  // quarter from west to north, clockwise
      {"oA( o[+] x[/10/10] y[/10/0] )", std::tan(3 * std::numbers::pi / 8)},  // the long way round
      {"oA( o[+] x[/10/0] y[/10/10] )", q},    // quarter from south to east, counter-clockwise
      {"oA( o[+] x[/10/0/0] y[/0/0] )", 0.0},  // starts at its centre: a straight move
  };
  for (const Case& c : cases) {
    readBack(std::string("31: oL( x[/0] y[/0] )\n31: oL( x[/0] y[/0] )\n31: ") + c.arc + "\n");
    ASSERT_FALSE(events().empty()) << c.arc;
    const HookEvent& e = events().back();
    EXPECT_EQ(e.slot, 4) << c.arc;
    EXPECT_NEAR(e.bulge, c.bulge, 1e-12) << c.arc;
  }
}

// A full circle (back at its start) was a zero-length move; it comes as two half circles.
TEST_F(PofReadTest, FullCircleComesAsTwoHalves) {
  const Seq arcs =
      readBack("31: oL( x[/0] y[/0] )\n31: oL( x[/10] y[/0] )\n31: oA( o[+] x[/10/5] y[/0/0] )\n");
  ASSERT_GE(arcs.size(), 2u);
  EXPECT_EQ(Seq(arcs.end() - 2, arcs.end()), (Seq{"4 k2 (0,0,1) b1", "4 k2 (10,0,1) b1"}));
  // On a line path each half is handed over as 24 chords.
  readBack("31: oM( x[/10] y[/0] )\n31: oM( z[/0] )\n31: oA( o[-] x[/10/5] y[/0/0] z[/0] )\n");
  std::size_t start = 0;
  for (std::size_t i = 0; i < events().size(); ++i) {
    if (events()[i].slot == 2) start = i + 2;  // after the path start and its first point
  }
  ASSERT_EQ(events().size() - start, 48u);
  for (std::size_t i = start; i < events().size(); ++i) {
    const HookEvent& e = events()[i];
    EXPECT_EQ(e.slot, 5);
    EXPECT_NEAR(std::hypot(e.p.x - 5, e.p.y), 5.0, 1e-9) << i;
  }
  EXPECT_NEAR(events()[start + 23].p.x, 0.0, 1e-9) << "halfway round after the first half";
  EXPECT_LT(events()[start].p.y, 0.0) << "clockwise from (10, 0) goes below the centre";
  EXPECT_NEAR(events().back().p.x, 10.0, 1e-12);
}

TEST_F(PofReadTest, Layer34PathsAndScopeEnd) {
  const Seq got = readBack(
      "34: oM( x[/0] y[/0] )\n"
      "34: oA( o[+] x[/10/5] y[/0/0] )\n"
      "34: }\n"
      "34: oL( x[/1] y[/1] )\n");
  EXPECT_EQ(got, (Seq{"1 k3 (0,0,0)", "4 k3 (0,0,0) b0", "4 k3 (10,0,0) b1", "3"}));
  EXPECT_EQ(events()[0].target, pofReadLayer34Target());
}

TEST_F(PofReadTest, MalformedMovesAreReportedAndSkipped) {
  const Seq got = readBack(
      "31: oL( x[/1] y[/1] )\n"
      "31: oL( x[5] y[/6] )\n"     // no '/'
      "31: oL( x[/abc] y[/6] )\n"  // not a number
      "31: oL( q[/1] )\n"          // no such key
      "31: oL( x[/2] y[/2\n"       // cut element
      "31: oL( x[/3] y[/3] )\n");
  EXPECT_EQ(got, (Seq{"1 k2 (3,3,1)", "4 k2 (1,1,1) b0", "4 k2 (3,3,1) b0"}));
  EXPECT_EQ(messages(), (Seq(4, "1702,0")));
}

TEST_F(PofReadTest, ErrorRecordsFailTheReadBackUntilTheNextCycle) {
  readBack("0: error(1102)\n", -1);
  EXPECT_EQ(messages(), (Seq{"1102,0"}));
  SCOPED_TRACE("warning");
  readBack("0: error(1505)\n0: break(9)\n", 0);  // a warning and an unknown code
  SCOPED_TRACE("cleared");
  readBack("0: error(1102)\n0: cycle(again)\n", 0);
}

TEST_F(PofReadTest, MissingFileAndTheDrawingFile) {
  EXPECT_EQ(pofReadBack("missing.pof"), -1);
  EXPECT_EQ(messages(), (Seq{"1701,missing.pof"}));
  EXPECT_FALSE(fileExists("tmp.dxf"));
  readBack("");
  EXPECT_EQ(readFile("tmp.dxf"), "0\nSECTION\n2\nENTITIES\n0\nENDSEC\n0\nEOF\n");
}

// ---- round trips ------------------------------------------------------------------------------

namespace {
// The tool positions a POF text moves through on layer 31, read independently of the reader:
// every move line updates the coordinates it names (the end part of x[/end...]).
std::vector<Point3D> writtenPositions(const std::string& pof, Point3D start) {
  std::vector<Point3D> out;
  const std::regex move("^31: o[MLA]\\[\\d+\\]\\((.*)\\)$");
  const std::regex coord("([xyz])\\[/([^\\]/]+)");
  std::size_t at = 0;
  while (at < pof.size()) {
    std::size_t end = pof.find('\n', at);
    if (end == std::string::npos) end = pof.size();
    const std::string line = pof.substr(at, end - at);
    at = end + 1;
    std::smatch m;
    if (!std::regex_match(line, m, move)) continue;
    const std::string attrs = m[1];
    for (std::sregex_iterator it(attrs.begin(), attrs.end(), coord), stop; it != stop; ++it) {
      const double v = std::stod((*it)[2]);
      const char axis = (*it)[1].str()[0];
      (axis == 'x' ? start.x : axis == 'y' ? start.y : start.z) = v;
    }
    out.push_back(start);
  }
  return out;
}

// The positions the hooks received, consecutive repeats merged.
std::vector<Point3D> handedPositions() {
  std::vector<Point3D> out;
  for (const HookEvent& e : events()) {
    if (e.slot != 4 && e.slot != 5) continue;
    if (!out.empty() && std::fabs(out.back().x - e.p.x) < 1e-9 &&
        std::fabs(out.back().y - e.p.y) < 1e-9 && std::fabs(out.back().z - e.p.z) < 1e-9) {
      continue;
    }
    out.push_back(e.p);
  }
  return out;
}

void expectSamePoints(const std::vector<Point3D>& got, const std::vector<Point3D>& want) {
  ASSERT_EQ(got.size(), want.size());
  for (std::size_t i = 0; i < got.size(); ++i) {
    EXPECT_NEAR(got[i].x, want[i].x, 1e-9) << i;
    EXPECT_NEAR(got[i].y, want[i].y, 1e-9) << i;
    EXPECT_NEAR(got[i].z, want[i].z, 1e-9) << i;
  }
}
}  // namespace

// The example outputs read back whole: the points handed over are the written positions, in the
// order written, all but the few moves before the first cut. Their error records (the messages
// of the roughing, without an error table here) make the read-back report -1.
TEST_F(PofReadTest, ExampleJobsReadBackIntoTheirPoints) {
  for (const char* name : {"demo.pof", "demo_out.pof"}) {
    const std::string pof =
        readFile(std::string(QDMILL_SOURCE_DIR) + "/examples/demo/expected/" + name);
    ASSERT_FALSE(pof.empty()) << name;
    writeFile("job.pof", pof);
    events().clear();
    ASSERT_EQ(pofReadBack("job.pof"), -1) << name;
    // "cycle" sets the current z to 1; the first move only places the point.
    const std::vector<Point3D> written = writtenPositions(pof, {0, 0, 1.0});
    const std::vector<Point3D> handed = handedPositions();
    EXPECT_GE(handed.size() + 10, written.size()) << name;
    std::size_t at = 0;
    for (const Point3D& p : handed) {
      while (at < written.size() &&
             (std::fabs(written[at].x - p.x) > 1e-9 || std::fabs(written[at].y - p.y) > 1e-9 ||
              std::fabs(written[at].z - p.z) > 1e-9)) {
        ++at;
      }
      ASSERT_LT(at, written.size()) << name << ": " << p.x << "," << p.y << "," << p.z;
      ++at;
    }
  }
}

namespace {
class PofWriteReadTest : public PofTest {
 protected:
  void SetUp() override {
    PofTest::SetUp();
    pofReadResetState();
    pofReadSetHooks(&kRecording);
    events().clear();
  }
  void TearDown() override {
    pofReadResetState();
    PofTest::TearDown();
  }
};
}  // namespace

// POF written through the text writers (rapids, feeds, modal 3D moves, an arc) reads back into
// the points written, with the arc's bulge.
TEST_F(PofWriteReadTest, WrittenMovesReadBackIntoTheirPoints) {
  serve({0, 31, 32});
  begin();
  cycRapidXY(&rec_, 10, 0);
  cycRapidZ(&rec_, 2);
  cycFeedZ(&rec_, -1);
  cycFeedXY(&rec_, 20, 0.125);
  double lx = 20, ly = 0.125, lz = -1, lu = 0, lv = 0, lw = 1;
  cycFeed3D(&rec_, &lx, &ly, &lz, 20, 5.5, -1.5, &lu, &lv, &lw, 0, 0, 1);
  cycArcXY(&rec_, 0, 10, 5.5, 15, 5.5);  // half circle counter-clockwise about (15, 5.5)
  cycFeedXY(&rec_, 10, 0);
  end();
  const std::string pof = text();
  ASSERT_EQ(pofReadBack("out.pof"), 0);
  const std::vector<Point3D> want = {{10, 0, 1},      {10, 0, 2},      {10, 0, -1},
                                     {20, 0.125, -1}, {20, 5.5, -1.5}, {10, 5.5, -1.5},
                                     {10, 0, -1.5}};
  EXPECT_EQ(writtenPositions(pof, {0, 0, 1}).size(), 7u);
  // The arc is a 2D cut after a move in z: it starts an arc path and keeps its bulge.
  bool sawArc = false;
  for (const HookEvent& e : events()) {
    if (e.slot == 4 && std::fabs(e.p.x - 10) < 1e-9 && std::fabs(e.p.y - 5.5) < 1e-9) {
      EXPECT_NEAR(e.bulge, 1.0, 1e-12);
      sawArc = true;
    }
  }
  EXPECT_TRUE(sawArc);
  expectSamePoints(handedPositions(), want);
}

// The default hooks build the level's path from the same text.
TEST_F(PofReadTest, DefaultHooksFillTheLevelPath) {
  pofReadSetHooks(nullptr);
  PathList* path = pathListNew(100, 0);
  ASSERT_NE(path, nullptr);
  levelPocketResetState();
  levelPocketSetPath(path);  // arcs are stepped at the default "*STEP_MIN" 0.01
  readBack("31: oL( x[/0] y[/0] )\n31: oL( x[/10] y[/0] )\n31: oA( o[+] x[/0/5] y[/0/0] )\n");
  ASSERT_GE(path->count, 4);
  EXPECT_EQ(pathListClass(path, 0), kPathClassGap);
  for (int i = 3; i < path->count; ++i) {
    EXPECT_NEAR(std::hypot(path->positions[i].x - 5, path->positions[i].y), 5.0, 1e-9) << i;
    EXPECT_GE(path->positions[i].y, -1e-9)
        << "counter-clockwise from (10, 0) to (0, 0) stays above";
  }
  levelPocketResetState();
  pathListFree(path);
}

// The default hooks and the error table come from the machining cycles, which install them when
// the library loads. Without default hooks a read-back that would use them reads nothing; without
// an error table every error record fails the read-back, a warning code too.
TEST_F(PofReadTest, WithoutInstalledDefaultsOrErrorTableTheReadBackFails) {
  pofReadInstallDefaultHooks(nullptr);
  pofReadSetHooks(nullptr);
  EXPECT_EQ(pofReadDefaultHooks().arcMove, nullptr);
  readBack("31: oL( x[/0] y[/0] )\n", kPofReadNoHooks);
  EXPECT_FALSE(fileExists("tmp.dxf")) << "nothing was read";
  pofReadSetHooks(&kRecording);
  EXPECT_EQ(readBack("31: oL( x[/5] y[/6] )\n31: oL( x[/7] y[/6] )\n"),
            (Seq{"1 k2 (7,6,1)", "4 k2 (5,6,1) b0", "4 k2 (7,6,1) b0"}))
      << "a caller's table needs no defaults";
  pofReadInstallErrorReport(nullptr);
  readBack("0: error(1505)\n", -1);
  EXPECT_TRUE(messages().empty()) << "no table, no message";
  cyclesInstallHooks();
  readBack("0: error(1505)\n", 0);
  pofReadSetHooks(nullptr);
  EXPECT_EQ(pofReadHooks().arcMove, levelPocketReadHooks().arcMove);
}

TEST(RuppParseCall, NamesAndValues) {
  struct Case {
    const char* text;
    int result;
    const char* name;
    const char* value;
  };
  const Case cases[] = {
      {" cycle(3D 5-Axis Z-Level Roughing Cycle)", 1, "cycle", "3D 5-Axis Z-Level Roughing Cycle"},
      {"include(part.pof)", 1, "include", "part.pof"},
      {"\tsome words  error (1102) rest", 1, "error", "1102"},  // the last word before '('
      {"open(no end", 1, "open", "no end"},
      {"empty()", 1, "empty", ""},
      {"(value)", 0, "", ""},
      {"  \t (value)", 0, "", ""},
      {"name) (x)", 0, "", ""},
      {"no parenthesis", 0, "", ""},
      {"", 0, "", ""},
  };
  for (const Case& c : cases) {
    char name[256] = "stale";
    char value[256] = "stale";
    EXPECT_EQ(ruppParseCall(c.text, name, sizeof name, value, sizeof value), c.result) << c.text;
    if (c.result == 1) {
      EXPECT_STREQ(name, c.name) << c.text;
      EXPECT_STREQ(value, c.value) << c.text;
    }
  }
}

// Lines of the read-back hold 512 characters and its buffers 255: a long name or value was
// written past the caller's buffer.
TEST(RuppParseCall, LongNamesAndValuesAreCutToTheBuffers) {
  const std::string longName(600, 'n');
  const std::string longValue(600, 'v');
  const std::string text = longName + "(" + longValue + ")";
  char name[kRuppCallTextMax + 1];
  char value[kRuppCallTextMax + 1];
  ASSERT_EQ(ruppParseCall(text.c_str(), name, sizeof name, value, sizeof value), 1);
  EXPECT_EQ(std::string(name), longName.substr(0, kRuppCallTextMax));
  EXPECT_EQ(std::string(value), longValue.substr(0, kRuppCallTextMax));
  char tiny[4];
  ASSERT_EQ(ruppParseCall("abcdef(123456)", tiny, sizeof tiny, value, sizeof value), 1);
  EXPECT_STREQ(tiny, "abc");
  EXPECT_EQ(ruppParseCall("a(b)", nullptr, 0, value, sizeof value), 0);
}
