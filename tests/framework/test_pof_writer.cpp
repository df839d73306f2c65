// POF text writers: the cycle header and end lines, control values, the move and G-code line
// formats, the first-position bracket, nested cycles and their move numbers, a fatal error
// followed by the end record, literal blocks, comment escaping and the output files.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <clocale>
#include <cstring>
#include <regex>
#include <sstream>
#include <string>
#include <vector>

#include "support/file_limit.h"
#include "test_pof_support.h"

using namespace qdtest;

namespace {
OutputRecord rec(int type) {
  OutputRecord r;
  std::memset(&r, 0, sizeof r);
  r.type = type;
  return r;
}

OutputRecord textRec(int type, const char* name, const char* text) {
  OutputRecord r = rec(type);
  outCopyText(r.text.name, sizeof r.text.name, name);
  outCopyText(r.text.text, sizeof r.text.text, text);
  return r;
}

std::vector<std::string> linesStartingWith(const std::string& text, const std::string& prefix) {
  std::vector<std::string> out;
  std::istringstream in(text);
  for (std::string line; std::getline(in, line);) {
    if (line.rfind(prefix, 0) == 0) out.push_back(line);
  }
  return out;
}

const char kFrameLines[] =
    "0: frameCs_x(1.00000000,0.00000000,0.00000000)\n"
    "0: frameCs_y(0.00000000,1.00000000,0.00000000)\n"
    "0: frameCs_z(0.00000000,0.00000000,1.00000000)\n";
}  // namespace

TEST_F(PofTest, HeaderAndEndLinesOfACycle) {
  serve({0, 1, 10, 31});
  param("jobName", "job 1");
  param("cycleType", "rough");
  param("frameComment", "fixture A");
  param("zeroPointID", "G54");
  param("P3", "c");
  param("P1", "a b");
  param("P21", "beyond the twenty user parameters");
  rec_.frame.m[3] = 1.5;
  rec_.frame.m[7] = -2;
  rec_.frame.m[11] = 0.125;
  EXPECT_EQ(begin(), 1);
  EXPECT_EQ(pofLevelIndex(), 0);
  const std::string header = std::string(
                                 "10: tech(milling)\n"
                                 "10: tr(tech)\n"
                                 "0: cycle(test cycle)\n"
                                 "0: release(77-") +
                             cycVersionText() +
                             ")\n"
                             "0: technology(milling)\n"
                             "0: ucid(0f1e2d3c-4b5a-4978-8695-a4b3c2d1e0f9)\n"
                             "0: jobname(job 1)\n"
                             "0: cycleCode(rough)\n"
                             "0: time(03/05/24 14:07:09 Tue Mar)\n"
                             "0: frameComment(fixture A)\n"
                             "0: frameCs_id(G54)\n" +
                             kFrameLines +
                             "0: frameCs_o(1.50000000,-2.00000000,0.12500000)\n"
                             "10: tr(frameCs)\n"
                             "10: workplane(XY)\n"
                             "10: tr(workplane)\n"
                             "10: del(S:P%d[1;20;1])\n"
                             "10: arg(S:P1:=\"a b\")\n"
                             "10: arg(S:P3:=\"c\")\n";
  EXPECT_EQ(fresh(), header);

  // One hour, two minutes, five and a half seconds later.
  pofTestFixClock(kPofClock + 3725500);
  rec_.signal = 104;
  rec_.status = 1;
  EXPECT_EQ(end(), 1);
  EXPECT_EQ(fresh(),
            "0: time(03/05/24 15:09:14 Tue Mar)\n"
            "0: elapsed(1:02:05,500)\n"
            "0: sigstat(104,1)\n"
            "10: nctx(EOC)\n"
            "10: nctx(0)\n"
            "0: cycleEnd(test cycle)\n");
  EXPECT_EQ(pofLevelIndex(), -1);
}

TEST_F(PofTest, CfgSourceHeaderTakesItsKeysAndFramesTheToolDescription) {
  serve({0, 10, 11});
  cfg("*JOBNAME", "cfg job");
  cfg("*CYCLETYPE", "5");
  cfg("*P2", "two");
  cfg("*WRITE_ALIAS", "1");
  cfg("*WKZNUMMER", "4");
  cfg("*FRTYP", "2");
  cfg("*LITERAL_2", "BTC:G0 Z(100)");
  cfg("*LITERAL_1", "BTC:M5");
  cfg("*LITERAL_7", "ATC:M3");
  rec_.toolChangeBlocks = 1;
  param("jobName", "not this one");
  begin();
  cycSendAliasDef(&rec_, "FX", "FX", "100", "1");
  const std::string t = text();
  // One piece over two lines: the literal blocks before the tool change, then the frame.
  const char* beforeToolChange =
      "10: tech(milling)\n10: tr(tech)\n10: nctx(BTC)\n10: Gcode(M5)\n"
      "10: Gcode(G0 Z\\040100\\041)\n10: nctx(0)\n0: toolCs_x(";
  const char* inOrder[] = {beforeToolChange,
                           "11: oTool[4]( type[endMill] ) {\n",
                           "10: T(4)\n",
                           "10: nctx(ATC)\n10: Gcode(M3)\n10: nctx(0)\n0: cycle(test cycle)\n",
                           "0: jobname(cfg job)\n0: cycleCode(5)\n",
                           "10: del(S:P%d[1;20;1])\n10: arg(S:P2:=\"two\")\n",
                           "10: aliasDef(FX,FX,100,1)\n"};
  std::size_t at = 0;
  for (const char* piece : inOrder) {
    const std::size_t found = t.find(piece, at);
    ASSERT_NE(found, std::string::npos) << piece << "\n--- in ---\n" << t;
    at = found + std::strlen(piece);
  }
}

TEST_F(PofTest, AliasesOnlyWhenAsked) {
  serve({0, 10});
  for (const char* setting : {"false", "true"}) {
    param("writeAlias", setting);
    begin();
    fresh();
    cycSendAliasDef(&rec_, "FX", "FX", "100", "1");
    cycSendNameValue(&rec_, "aliasUse", "FX");
    cycSendNameValue(&rec_, "FX", "100");
    const std::string expected = std::strcmp(setting, "true") == 0
                                     ? "10: aliasDef(FX,FX,100,1)\n10: aliasUse(FX)\n10: FX(100)\n"
                                     : "10: FX(100)\n";
    EXPECT_EQ(fresh(), expected) << setting;
    end();
  }
}

TEST_F(PofTest, ToolChangeCarriesTheCompensationRegisters) {
  serve({10});
  struct Case {
    std::vector<std::pair<const char*, const char*>> params;
    const char* expected;
  };
  const Case cases[] = {
      {{}, "10: T(5)\n10: arg(I:\"compRegisterChanged\":=0)\n"},
      {{{"compRegister", "7"}},
       "10: T(5)\n10: arg(I:\"compRegister\":=7)\n10: arg(S:\"compRegisterComment\":=\"\")\n"
       "10: arg(I:\"compRegisterChanged\":=1)\n"},
      {{{"compRegister2", "8"}, {"compRegisterComment", "left"}},
       "10: T(5)\n10: arg(I:\"compRegister2\":=8)\n10: arg(S:\"compRegisterComment\":=\"left\")\n"
       "10: arg(I:\"compRegisterChanged\":=1)\n"},
  };
  for (const Case& c : cases) {
    parListFree(rec_.params);
    rec_.params = nullptr;
    for (const auto& [n, v] : c.params) param(n, v);
    cycSendNameValue(&rec_, "T", "5");
    EXPECT_EQ(fresh(), c.expected);
  }
}

TEST_F(PofTest, MoveAndLineFormats) {
  // A complete first position before the table, so no bracket lines come between.
  OutputRecord first = rec(3103);
  pofTextLayer31(&rec_, &first);
  OutputRecord firstNc = rec(4003);
  pofTextLayer32(&rec_, &firstNc);
  fresh();

  struct Case {
    std::uint16_t layer;
    OutputRecord record;
    const char* expected;
  };
  std::vector<Case> cases;
  auto add = [&](std::uint16_t layer, OutputRecord r, const char* expected) {
    cases.push_back({layer, r, expected});
  };
  OutputRecord r = rec(3101);
  r.move.x = 1.5;
  r.move.y = -2;
  add(31, r, "31: oM[2]( x[/1.5] y[/-2] )\n");
  r = rec(3112);
  r.move.z = 0.0000004;
  add(31, r, "31: oL[3]( z[/0] )\n");
  r = rec(3109);
  r.modal.setV = 1;
  r.modal.v = 0.123456789;
  r.modal.x = 9;  // not flagged: not written
  add(31, r, "31: oM[4]( v[/0.12345679] )\n");
  r = rec(3114);
  r.modal.setX = r.modal.setZ = 1;
  r.modal.x = 1;
  r.modal.z = 3.25;
  add(35, r, "35: oL[5]( x[/1] z[/3.25] )\n");
  r = rec(3121);
  r.arc.direction = 1;
  r.arc.x = 1;
  r.arc.y = 2;
  r.arc.cx = 3;
  r.arc.cy = 4;
  add(31, r, "31: oA[6]( o[-] x[/1/3] y[/2/4] )\n");
  r.type = 3122;
  r.arc.direction = 0;
  r.arc.z = 5;
  r.arc.cz = 6;
  add(36, r, "36: oA[7]( o[+] x[/1/3] y[/2/4] z[/5/6] )\n");
  r = rec(3117);
  r.move.x = 1;
  r.move.y = 2;
  r.move.u = 3;
  r.move.v = 4;
  add(33, r, "33: oL[8]( x[/1] y[/2] u[/3] v[/4] )\n");
  r = rec(3141);
  r.move.z = 5;
  add(31, r, "31: oPos( z[/5] )\n");
  add(31, textRec(3001, "c1", "cmnt[x] u[2]"), "31: oContour[c1]( cmnt[x] u[2] )   {\n");
  add(31, textRec(3001, "", ""), "31: oContour( )   {\n");
  add(31, rec(3002), "31: }\n");
  add(31, textRec(3131, "depth", "2"), "31: vdepth(2)\n");
  r = rec(3199);
  outCopyText(r.single, sizeof r.single, "free text");
  add(31, r, "31: ; free text\n");
  add(31, rec(9999), "");
  r = rec(3104);
  r.move.x = 1;
  r.move.y = 2;
  r.move.z = 3;
  r.move.s = 0.5;
  add(30, r, "30: oP( x[1] y[2] z[3] u[d] )\n");
  r.move.sSet = 1;
  add(30, r, "30: oP( x[1] y[2] z[3] s[0.5] u[d] )\n");
  r = rec(4008);
  r.nc.x = 1;
  r.nc.y = 2;
  r.nc.i = 3;
  r.nc.j = 4;
  add(32, r, "32: G2 X1 Y2 I3 J4\n");
  r.type = 4017;
  add(32, r, "32: G0 X1 Y2 U3 V4\n");
  r.type = 4011;
  r.nc.z = 5;
  r.nc.k = 6;
  add(32, r, "32: G3 X1 Y2 Z5 I3 J4 K6\n");
  r.type = 4041;
  add(32, r, "32: G100 Z5\n");
  r = rec(4019);
  r.modal.setU = 1;
  r.modal.u = 0.5;
  add(32, r, "32: G0 U0.50000000\n");
  r = rec(4007);
  r.modal.setY = 1;
  r.modal.y = -1;
  add(32, r, "32: G1 Y-1\n");
  r = rec(4101);
  outCopyText(r.single, sizeof r.single, "M3 S1000");
  add(32, r, "32: M3 S1000\n");
  r = rec(5001);
  r.part.kind = 1;
  r.part.number = 3;
  outCopyText(r.part.data, sizeof r.part.data, "d");
  add(12, r, "12: beg part 3 dat(d)\n");
  r = rec(5002);
  r.part.kind = 4;
  outCopyText(r.part.name, sizeof r.part.name, "link");
  outCopyText(r.part.usage, sizeof r.part.usage, "u");
  add(12, r, "12: end ctx link usg(u)\n");
  r = rec(5003);
  r.part.kind = 1;
  r.part.number = 3;
  add(12, r, "12: clr part 3\n");
  add(12, rec(5004), "12: clr all\n");
  r = rec(5005);
  r.part.kind = 121;
  add(12, r, "12: G x connection\n");
  r.part.kind = 114;
  add(12, r, "12: G 1 infd\n");
  r.part.kind = 999;
  add(12, r, "");
  add(3, rec(1), "3: ---\n");
  add(6, rec(7), "6: ---\n");
  add(1, textRec(204, "cfg", "*APT a.pof"), "1: cfg(*APT a.pof)\n");
  add(11, textRec(3131, "toolDiameter", "6.000000"), "11: vtoolDiameter(6.000000)\n");
  add(41, rec(3103), "");

  for (Case& c : cases) {
    EXPECT_EQ(pofTextWriterFor(c.layer)(&rec_, &c.record), 1);
    EXPECT_EQ(fresh(), c.expected) << "layer " << c.layer << " type " << c.record.type;
  }
  EXPECT_EQ(pofTextWriterFor(7), nullptr);
}

TEST_F(PofTest, CommentsAreEscaped) {
  serve({2});
  cycSendComment(&rec_, "Ra (0.8) \xc3\xbc back\\slash");
  EXPECT_EQ(fresh(), "2: Ra \\0400.8\\041 \\195\\188 back\\\\slash\n");
}

// The first complete position is bracketed once per cycle level (and again after "5X").
TEST_F(PofTest, FirstPositionBracket) {
  const std::string bfp = "10: nctx(BFP)\n10: nctx(0)\n10: arg(I:firstPosition:=1)\n";
  const std::string close3d =
      "10: arg(I:firstPosition:=0)\n10: proc(firstPosition3D)\n10: nctx(AFP)\n10: nctx(0)\n";
  struct Case {
    bool layer32;
    bool layersRecord;  // the cycle announces that it serves layer 32
    std::string expected;
  };
  const Case cases[] = {
      {false, true,
       bfp + "31: oM[1]( x[/1] y[/2] )\n31: oM[2]( z[/3] )\n10: arg(I:firstPosition:=0)\n"},
      {true, false,
       bfp + "31: oM[1]( x[/1] y[/2] )\n32: G0 X1 Y2\n31: oM[2]( z[/3] )\n32: G0 Z3\n" + close3d},
      {false, false, bfp + "31: oM[1]( x[/1] y[/2] )\n31: oM[2]( z[/3] )\n" + close3d},
  };
  for (const Case& c : cases) {
    pofResetState();
    pofSetOutput(out_);
    cycFreeLayers(&rec_);
    serve({10, 31});
    if (c.layer32) serve({32});
    if (c.layersRecord)
      pofTextLayer0(&rec_, &*std::make_unique<OutputRecord>(textRec(110, "layers", "0,10,31,32")));
    fresh();
    cycRapidXY(&rec_, 1, 2);
    cycRapidZ(&rec_, 3);
    cycRapidXY(&rec_, 4, 5);  // later moves are not bracketed
    const std::string t = fresh();
    EXPECT_EQ(t.substr(0, c.expected.size()), c.expected);
    EXPECT_EQ(linesStartingWith(t, "10: ").size(), linesStartingWith(c.expected, "10: ").size())
        << t;
  }

  // "5X" re-opens it; it closes only when all six axes were written.
  fresh();
  cycBegin5Axis(&rec_);
  double x = 0, y = 0, z = 0, u = 0, v = 0, w = 1;
  cycRapid3D(&rec_, &x, &y, &z, 1, 1, 1, &u, &v, &w, 0.5, 0, 1);  // x, y, z, u
  const std::string opened = fresh();
  EXPECT_EQ(opened, "10: tr(5X)\n" + bfp + "31: oM[4]( x[/1] y[/1] z[/1] u[/0.50000000] )\n");
  cycRapid3D(&rec_, &x, &y, &z, 1, 1, 1, &u, &v, &w, 0.5, 0.5, 0.5);  // v, w
  EXPECT_EQ(fresh(),
            "31: oM[5]( v[/0.50000000] w[/0.50000000] )\n10: arg(I:firstPosition:=0)\n"
            "10: proc(firstPosition5X)\n10: nctx(AFP)\n10: nctx(0)\n");
}

// Only the cycle the host runs advances the move number; a nested cycle's lines carry the next
// number without taking it.
TEST_F(PofTest, NestedCyclesAndMoveNumbers) {
  nested_.parent = &cycKernel;
  nested_.title = "pocket";
  serve({0, 31});
  serve(&nested_, {0, 31});
  begin();
  cycFeedXY(&rec_, 1, 0);
  cycFeedXY(&rec_, 2, 0);
  begin(&nested_);
  EXPECT_EQ(pofLevelIndex(), 1);
  cycFeedXY(&nested_, 10, 0);
  cycFeedXY(&nested_, 11, 0);
  end(&nested_);
  EXPECT_EQ(pofLevelIndex(), 0);
  cycFeedXY(&rec_, 3, 0);
  end();
  EXPECT_EQ(pofLevelIndex(), -1);
  const std::vector<std::string> moves = linesStartingWith(text(), "31: ");
  const std::vector<std::string> expected = {
      "31: oL[1]( x[/1] y[/0] )", "31: oL[2]( x[/2] y[/0] )", "31: oL[3]( x[/10] y[/0] )",
      "31: oL[3]( x[/11] y[/0] )", "31: oL[3]( x[/3] y[/0] )"};
  EXPECT_EQ(moves, expected);
  // Each level opened its own first position.
  EXPECT_EQ(linesStartingWith(text(), "10: arg(I:firstPosition:=1)").size(), 2u);
}

// A nested cycle with its own file writes there and gives the output back to the outer cycle's
// file, which keeps the outer cycle's later lines.
TEST_F(PofTest, NestedCycleFileReturnsTheOutputToTheOuterFile) {
  ASSERT_EQ(mkdir("sub", 0755), 0);
  nested_.parent = &cycKernel;
  nested_.title = "pocket";
  serve({0, 31});
  serve(&nested_, {0, 31});
  param("pofFilename", "outer.pof");
  param("pofFilename", "sub\\nested.pof", &nested_);
  begin();
  cycFeedXY(&rec_, 1, 0);
  begin(&nested_);
  cycFeedXY(&nested_, 10, 0);
  end(&nested_);
  cycFeedXY(&rec_, 2, 0);
  end();
  EXPECT_EQ(pofGetOutput(), out_);
  EXPECT_EQ(text(), "");
  const std::string outer = readFile("outer.pof");
  const std::string nested = readFile("sub/nested.pof");
  EXPECT_EQ(linesStartingWith(outer, "31: ").size(), 2u) << outer;
  EXPECT_NE(outer.find("31: oL[2]( x[/2] y[/0] )"), std::string::npos);
  EXPECT_EQ(linesStartingWith(nested, "31: "),
            std::vector<std::string>{"31: oL[2]( x[/10] y[/0] )"});
  EXPECT_NE(nested.find("0: cycleEnd(pocket)"), std::string::npos);
  EXPECT_EQ(outer.find("pocket"), std::string::npos);
}

// A fatal-error record followed by the end record lowered the level twice and indexed outside
// the per-level state; the level now drops once per "cycle" record.
TEST_F(PofTest, FatalErrorFollowedByTheEndRecord) {
  nested_.parent = &cycKernel;
  nested_.title = "pocket";
  serve({0, 10, 31});
  serve(&nested_, {0, 10, 31});
  begin();
  begin(&nested_);
  fresh();
  EXPECT_EQ(end(&nested_, 102), 0);  // the fatal error ends the output: the writer says 0
  EXPECT_EQ(pofLevelIndex(), 0);
  EXPECT_EQ(end(&nested_, 104), 1);
  EXPECT_EQ(pofLevelIndex(), 0);  // the outer cycle is still open
  cycFeedXY(&rec_, 1, 1);
  EXPECT_NE(text().find("10: arg(I:firstPosition:=1)\n31: oL[1]"), std::string::npos);
  end();
  EXPECT_EQ(pofLevelIndex(), -1);
  end();  // a stray end record outside any cycle changes nothing
  EXPECT_EQ(pofLevelIndex(), -1);
  const std::string t = text();
  EXPECT_EQ(linesStartingWith(t, "0: elapsed(").size(), 4u);
  EXPECT_EQ(linesStartingWith(t, "0: fatal(pocket)").size(), 1u);

  // More "cycle" records than levels share the deepest slot and never reach past it.
  CycleRecord deep[kPofLevels + 3];
  for (CycleRecord& c : deep) {
    c.parent = &cycKernel;
    c.title = "deep";
    serve(&c, {0, 31});
    begin(&c);
    cycFeedXY(&c, 1, 1);
  }
  EXPECT_EQ(pofLevelIndex(), kPofLevels - 1);
  for (int i = kPofLevels + 2; i >= 0; --i) {
    end(&deep[i], 102);
    end(&deep[i], 104);
    cycFreeLayers(&deep[i]);
  }
  EXPECT_EQ(pofLevelIndex(), -1);
}

TEST_F(PofTest, LiteralBlocks) {
  serve({10});
  param("literal_10", "EOC:last");
  param("literal_2", "EOC:G0 Z(50)");
  param("literal_999999999", "EOC:far");
  param("literal_1", "BTC:not this block");
  param("literal_3", "EOCX:not this block either");
  param("literal_x", "EOC:not numbered");
  EXPECT_EQ(cycWriteLiteralBlock(&rec_, "EOC"), 3);
  EXPECT_EQ(
      fresh(),
      "10: nctx(EOC)\n10: Gcode(G0 Z\\04050\\041)\n10: Gcode(last)\n10: Gcode(far)\n10: nctx(0)\n");
  EXPECT_EQ(cycWriteLiteralBlock(&rec_, "AFP"), 0);
  EXPECT_EQ(fresh(), "10: nctx(AFP)\n10: nctx(0)\n");

  // A ".CFG" source takes "*LITERAL_<n>"; of two equal numbers the later wins.
  cfg("*LITERAL_1", "BTC:first");
  cfg("*LITERAL_1", "BTC:second");
  EXPECT_EQ(cycWriteLiteralBlock(&rec_, "BTC"), 1);
  EXPECT_EQ(fresh(), "10: nctx(BTC)\n10: Gcode(second)\n10: nctx(0)\n");
}

// POF files are opened for appending: a second run adds its lines after the first run's.
TEST_F(PofTest, CycleFileIsAppendedAndBackslashesBecomeSlashes) {
  ASSERT_EQ(mkdir("jobs", 0755), 0);
  writeFile("jobs/run.pof", "kept\n");
  serve({0, 31});
  param("pofFilename", "jobs\\run.pof");
  for (int run = 0; run < 2; ++run) {
    begin();
    EXPECT_NE(pofGetOutput(), out_);
    cycFeedXY(&rec_, 1, 1);
    end();
    EXPECT_EQ(pofGetOutput(), out_);
  }
  const std::string file = readFile("jobs/run.pof");
  EXPECT_EQ(file.rfind("kept\n0: cycle(test cycle)\n", 0), 0u) << file;
  EXPECT_EQ(linesStartingWith(file, "0: cycle(test cycle)").size(), 2u);
  EXPECT_EQ(linesStartingWith(file, "0: cycleEnd(test cycle)").size(), 2u);
  EXPECT_EQ(text(), "");
}

TEST_F(PofTest, OutputMustBeARegularFile) {
  int fds[2];
  ASSERT_EQ(pipe(fds), 0);
  std::FILE* p = fdopen(fds[1], "w");
  EXPECT_EQ(pofSetOutput(p), 0);
  EXPECT_EQ(pofGetOutput(), stdout);
  EXPECT_EQ(pofSetOutput(nullptr), 0);
  std::fclose(p);
  close(fds[0]);
}

namespace {
std::vector<std::string> layer0Texts;
int keepLayer0(CycleRecord*, OutputRecord* r, void*) {
  layer0Texts.emplace_back(r->text.text);
  return 1;
}
}  // namespace

// A "pofFilename" that could not be opened sent the cycle's lines to the output it found
// (standard output for a host) and the run ended with status 0. Now the run fails with message
// 1108 naming the path and the reason, and the lines go nowhere; a FIFO is refused, not opened
// (its open would block for ever), and is still a FIFO afterwards.
TEST_F(PofTest, ANamedFileThatCannotBeOpenedFailsTheRun) {
  ASSERT_EQ(mkdir("folder", 0755), 0);
  ASSERT_EQ(mkfifo("fifo", 0644), 0);
  struct Case {
    const char* path;
    const char* reason;
  };
  const Case cases[] = {
      {"no-such-folder/x.pof", "No such file or directory"},
      {"folder", "not a regular file"},
      {"fifo", "not a regular file"},
  };
  for (const Case& c : cases) {
    pofResetState();
    pofSetOutput(out_);
    cycFreeLayers(&rec_);
    parListFree(rec_.params);
    rec_.params = nullptr;
    rec_.status = 0;
    cycRunFailClear(&rec_);
    serve({0, 31});
    layer0Texts.clear();
    cycAddListener(&rec_, 0, keepLayer0, nullptr, nullptr, nullptr);
    param("pofFilename", c.path);
    fresh();
    begin();
    cycFeedXY(&rec_, 1, 2);
    end();
    EXPECT_EQ(fresh(), "") << c.path << ": nothing goes to the output the cycle found";
    EXPECT_EQ(rec_.status, kCycStatusFailed) << c.path;
    EXPECT_EQ(cycRunFailed(&rec_), 1) << c.path;
    const std::string expected = std::string("1108,") + c.path + ": " + c.reason;
    EXPECT_EQ(std::count(layer0Texts.begin(), layer0Texts.end(), expected), 1) << c.path;
    EXPECT_EQ(pofGetOutput(), out_) << "the output is given back at the cycle's end";
  }
  struct stat st {};
  ASSERT_EQ(stat("fifo", &st), 0);
  EXPECT_TRUE(S_ISFIFO(st.st_mode));
  ASSERT_EQ(stat("folder", &st), 0);
  EXPECT_TRUE(S_ISDIR(st.st_mode));
  // Nothing failed: nothing reported, the status word untouched by the writer.
  pofResetState();
  pofSetOutput(out_);
  cycRunFailClear(&rec_);
  rec_.status = 0;
  parListFree(rec_.params);
  rec_.params = nullptr;
  param("pofFilename", "good.pof");
  layer0Texts.clear();
  begin();
  end();
  EXPECT_EQ(rec_.status, 0);
  EXPECT_EQ(cycRunFailed(&rec_), 0);
  EXPECT_NE(readFile("good.pof").find("0: cycleEnd(test cycle)"), std::string::npos);
}

// A full disk or a size limit cut the POF file mid-line and the run ended with status 0: every
// write is checked, the first failure fails the run once with the path and the reason.
TEST_F(PofTest, AWriteCutShortFailsTheRun) {
  serve({0, 31});
  layer0Texts.clear();
  cycAddListener(&rec_, 0, keepLayer0, nullptr, nullptr, nullptr);
  param("pofFilename", "big.pof");
  const int status = qdtest::inChildWithFileLimit(4096, [this] {
    begin();
    for (int i = 0; i < 2000; ++i) cycFeedXY(&rec_, i, i);
    end();
    const std::string expected = "1108,big.pof: File too large";
    const long reports = std::count(layer0Texts.begin(), layer0Texts.end(), expected);
    if (reports != 1) return 10 + static_cast<int>(std::min(reports, 9L));
    return rec_.status == kCycStatusFailed && cycRunFailed(&rec_) == 1 ? 0 : 20;
  });
  EXPECT_EQ(status, 0) << "10 + n: the failure was reported n times; 20: the run did not fail";
  EXPECT_LE(readFile("big.pof").size(), 4096u);
}

TEST_F(PofTest, JobIdsAreRandomVersion4Uuids) {
  pofTestFixUuid(nullptr);
  char a[kPofUuidSize], b[kPofUuidSize];
  pofJobUuid(a, sizeof a);
  pofJobUuid(b, sizeof b);
  const std::regex form("[0-9a-f]{8}-[0-9a-f]{4}-4[0-9a-f]{3}-[89ab][0-9a-f]{3}-[0-9a-f]{12}");
  EXPECT_TRUE(std::regex_match(a, form)) << a;
  EXPECT_TRUE(std::regex_match(b, form)) << b;
  EXPECT_STRNE(a, b);
}

TEST_F(PofTest, TimeTextIsEnglishWhateverTheLocale) {
  bool switched = false;
  for (const char* name : {"de_DE.UTF-8", "de_DE.utf8", "fr_FR.UTF-8", "fr_FR.utf8"}) {
    if (std::setlocale(LC_ALL, name) != nullptr) {
      switched = true;
      break;
    }
  }
  char t[kPofTimeTextSize];
  pofTimeText(t, sizeof t);
  std::setlocale(LC_ALL, "C");
  EXPECT_STREQ(t, "03/05/24 14:07:09 Tue Mar");
  if (!switched) GTEST_SKIP() << "no second locale installed";
}
