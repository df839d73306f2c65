// The exchange-mode writers: the file a cycle opens with "geoOut", its header and closing, every
// record form of the move and G-code layers, the bypass file after a fatal error, and the example
// job run with -PCF whose exchange file the interpreter reads back.
#include <dirent.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "framework/kernel.h"
#include "framework/output.h"
#include "framework/output_records.h"
#include "framework/param_file.h"
#include "framework/param_list.h"
#include "framework/xchg_interp.h"
#include "framework/xchg_lexer.h"
#include "framework/xchg_writers.h"
#include "qdmill/qdmill.h"
#include "support/file_limit.h"
#include "support/temp_dir.h"

using qdtest::readFile;
using qdtest::TempDirTest;
using qdtest::writeFile;

namespace {
const std::string kHead = std::string(xchgBanner) + "\nqDX-Version: 1.0\nGeometry\ntest cycle\n\n";

// A cycle in exchange mode whose layers are served by the exchange writers.
class XchgWriterTest : public TempDirTest {
 protected:
  void SetUp() override {
    pofXchgResetState();
    rec_.parent = &cycKernel;
    rec_.title = "test cycle";
    rec_.outputMode = kCycOutputExchange;
    rec_.firstOutputPending = 0;
    for (std::uint16_t l : {0, 1, 2, 10, 11, 12, 30, 31, 32}) {
      ASSERT_EQ(cycRegisterLayer(&rec_, l, nullptr, pofXchgWriterFor(l), 1), 1);
    }
  }
  void TearDown() override {
    pofXchgResetState();
    cycFreeLayers(&rec_);
    parListFree(rec_.params);
    rec_.params = nullptr;
  }
  void param(const char* name, const char* value) {
    rec_.params = parListSet(rec_.params, name, value, kParKindSource);
  }
  void begin() { cycSendTextRecord(&rec_, 0, 103, "cycle", rec_.title); }
  void end() { cycSendTextRecord(&rec_, 0, 104, "cycleEnd", rec_.title); }
  int emit(std::uint16_t layer, OutputRecord r) { return cycEmit(&rec_, layer, &r); }
  CycleRecord rec_;
};

OutputRecord record(int type) {
  OutputRecord r;
  std::memset(&r, 0, sizeof r);
  r.type = type;
  return r;
}
}  // namespace

TEST_F(XchgWriterTest, CycleOpensHeadsAndClosesTheFile) {
  param("geoOut", "out.qdx");
  param("precision", "4");
  writeFile("out.qdx", "an older file");
  begin();
  ASSERT_NE(pofXchgFile(), nullptr);
  cycSendTextRecord(&rec_, 0, 105, "depth", "5");
  cycSendTextRecord(&rec_, 0, 110, "layers", "0,31");
  cycSendError(&rec_, "1702,0");
  end();
  EXPECT_EQ(pofXchgFile(), nullptr);
  EXPECT_EQ(readFile("out.qdx"), kHead +
                                     "vprecision(4)\n\n"
                                     " oPOF( L0[ cycle(test cycle) ] )\n"
                                     "vdepth(5)\n"
                                     " oPOF( L0[ error(1702,0) ] )\n"
                                     " oPOF( L0[ cycleEnd(test cycle) ] )\n");
  EXPECT_FALSE(qdtest::fileExists(kPofBypassFile));
  cycRapidXY(&rec_, 1, 2);  // after the end nothing is written anywhere
  EXPECT_EQ(readFile("out.qdx").find("oM"), std::string::npos);
}

// A cycle without a title wrote an empty creator line; the reader skips empty lines, took the
// first body line for the creator and lost that element.
TEST_F(XchgWriterTest, CycleWithoutTitleStillWritesACreatorLine) {
  param("geoOut", "out.qdx");
  param("precision", "4");
  for (const char* title : {"", "  "}) {
    cycSendTextRecord(&rec_, 0, 103, "cycle", title);
    end();
    const std::string text = readFile("out.qdx");
    EXPECT_EQ(text.substr(0, text.find("vprecision")),
              std::string(xchgBanner) + "\nqDX-Version: 1.0\nGeometry\nqdmill\n\n")
        << "title \"" << title << "\"";
  }
}

TEST_F(XchgWriterTest, WithoutOrWithAnUnwritableGeoOutNothingIsWritten) {
  begin();
  EXPECT_EQ(pofXchgFile(), nullptr);
  cycRapidXY(&rec_, 1, 2);
  end();
  param("geoOut", "no-such-folder/out.qdx");
  begin();
  EXPECT_EQ(pofXchgFile(), nullptr);
  cycFeedXY(&rec_, 1, 2);
  cycSendComment(&rec_, "x");
  end();
}

namespace {
std::vector<std::string> layer0Texts;
int keepLayer0(CycleRecord*, OutputRecord* r, void*) {
  layer0Texts.emplace_back(r->text.text);
  return 1;
}

// The names in the working folder, sorted ("." and ".." left out).
std::vector<std::string> folderNames(const char* path = ".") {
  std::vector<std::string> names;
  if (DIR* d = opendir(path)) {
    while (dirent* e = readdir(d)) {
      if (std::strcmp(e->d_name, ".") != 0 && std::strcmp(e->d_name, "..") != 0)
        names.push_back(e->d_name);
    }
    closedir(d);
  }
  std::sort(names.begin(), names.end());
  return names;
}
}  // namespace

// The exchange output removed whatever "geoOut" named before opening it: an empty folder was
// deleted, a device node replaced by a regular file. Now only a regular file is replaced; anything
// else is refused with message 1108 and left as it is (a FIFO is never opened: that would block).
TEST_F(XchgWriterTest, AGeoOutThatIsNoRegularFileIsLeftAlone) {
  ASSERT_EQ(mkdir("folder", 0755), 0);
  ASSERT_EQ(mkfifo("fifo", 0644), 0);
  cycAddListener(&rec_, 0, nullptr, nullptr, keepLayer0, nullptr);
  for (const char* path : {"folder", "fifo"}) {
    parListFree(rec_.params);
    rec_.params = nullptr;
    rec_.status = 0;
    cycRunFailClear(&rec_);
    layer0Texts.clear();
    param("geoOut", path);
    begin();
    EXPECT_EQ(pofXchgFile(), nullptr) << path;
    cycFeedXY(&rec_, 1, 2);
    end();
    EXPECT_EQ(rec_.status, kCycStatusFailed) << path;
    const std::string expected =
        std::string("1108,") + path + ": not a regular file, left as it is";
    EXPECT_EQ(std::count(layer0Texts.begin(), layer0Texts.end(), expected), 1) << path;
  }
  struct stat st {};
  ASSERT_EQ(stat("folder", &st), 0);
  EXPECT_TRUE(S_ISDIR(st.st_mode));
  ASSERT_EQ(stat("fifo", &st), 0);
  EXPECT_TRUE(S_ISFIFO(st.st_mode));
  EXPECT_EQ(folderNames(), (std::vector<std::string>{"fifo", "folder"}));
}

// A write failure was never reported, and the old file was deleted before the new one was
// written. Now the file is written beside the old one and renamed over it only when it is
// complete: a failed run reports the path and the reason, and the previous output stays.
TEST_F(XchgWriterTest, AFailedOutputKeepsThePreviousFile) {
  cycAddListener(&rec_, 0, nullptr, nullptr, keepLayer0, nullptr);
  // Permissions do not stop root: the read-only case then runs in a child without root's
  // privilege, which must be let through the current folder.
  const bool root = geteuid() == 0;
  if (root) {
    ASSERT_EQ(chmod(".", 0711), 0);
  }
  ASSERT_EQ(mkdir("ro", 0755), 0);
  writeFile("ro/out.qdx", "an older file");
  ASSERT_EQ(chmod("ro", 0555), 0);
  struct Case {
    const char* what;
    const char* path;
    long limit;          // a file-size limit for the run (0: none)
    bool failBeforeEnd;  // the run fails for another reason before its end
    const char* reason;  // of message 1108; null: no message (only the run's own failure)
  };
  const Case cases[] = {
      {"size limit", "out.qdx", 2048, false, "File too large"},
      {"read-only folder", "ro/out.qdx", 0, false, "Permission denied"},
      {"missing folder", "none/out.qdx", 0, false, "No such file or directory"},
      {"the run failed", "out.qdx", 0, true, nullptr},
  };
  for (const Case& c : cases) {
    if (std::strcmp(c.path, "out.qdx") == 0) writeFile("out.qdx", "an older file");
    parListFree(rec_.params);
    rec_.params = nullptr;
    param("geoOut", c.path);
    auto run = [&] {
      rec_.status = 0;
      cycRunFailClear(&rec_);
      layer0Texts.clear();
      begin();
      for (int i = 0; i < 500; ++i) cycFeedXY(&rec_, i, i);
      if (c.failBeforeEnd) cycFailRun(&rec_);
      end();
      int bad = rec_.status == kCycStatusFailed ? 0 : 1;
      if (c.reason != nullptr) {
        const std::string expected = std::string("1108,") + c.path + ": " + c.reason;
        if (std::count(layer0Texts.begin(), layer0Texts.end(), expected) != 1) bad |= 2;
      }
      return bad;
    };
    const bool readOnly = std::strcmp(c.path, "ro/out.qdx") == 0;
    const int outcome = c.limit > 0        ? qdtest::inChildWithFileLimit(c.limit, run)
                        : readOnly && root ? qdtest::inChildWithoutRoot(run)
                                           : run();
    EXPECT_EQ(outcome, 0) << c.what << ": 1 the status word is not 1, 2 no single message";
    if (std::strcmp(c.path, "none/out.qdx") != 0) {
      EXPECT_EQ(readFile(c.path), "an older file") << c.what;
    }
  }
  chmod("ro", 0755);
  EXPECT_EQ(folderNames("ro"), std::vector<std::string>{"out.qdx"}) << "no temporary file left";
  std::vector<std::string> names = folderNames();
  EXPECT_EQ(names, (std::vector<std::string>{"out.qdx", "ro"})) << "no temporary file left";
  // A run whose writes all succeed replaces the file.
  rec_.status = 0;
  cycRunFailClear(&rec_);
  begin();
  end();
  EXPECT_EQ(rec_.status, 0);
  EXPECT_EQ(readFile("out.qdx").rfind(kHead, 0), 0u);
}

TEST_F(XchgWriterTest, ContoursAndMoves) {
  param("geoOut", "m.qdx");
  begin();
  cycBeginContour(&rec_, "c1", "", "");
  cycRapidXY(&rec_, 1, 2.5);
  cycRapidZ(&rec_, 3);
  double lx = 1, ly = 2.5, lz = 3, lu = 0, lv = 0, lw = 1;
  cycRapid3D(&rec_, &lx, &ly, &lz, 1, 2.5, -0.25, &lu, &lv, &lw, 0, 0, 1);  // only z changes
  cycFeed3D(&rec_, &lx, &ly, &lz, 4, 2.5, -0.25, &lu, &lv, &lw, 0, 0, 1);
  cycFeed3D(&rec_, &lx, &ly, &lz, 4, 2.5, -0.25, &lu, &lv, &lw, 0, 0.5, 1);  // 5-axis: not carried
  cycFeedXYZ(&rec_, 1, 2, 3);
  cycArcXY(&rec_, 1, 5, 0, 2.5, 0);
  cycEndContour(&rec_);
  cycBeginContour(&rec_, "", "note", "");
  cycSetLocal(&rec_, "feed", "100");
  cycEndContour(&rec_);
  OutputRecord lit = record(3199);
  std::strcpy(lit.single, "; literal");
  emit(31, lit);
  OutputRecord xyuv = record(3117);
  xyuv.move.x = 1, xyuv.move.y = 2, xyuv.move.u = 3, xyuv.move.v = 4;
  emit(31, xyuv);
  OutputRecord pos = record(3104);
  pos.move.x = 1, pos.move.y = 2, pos.move.z = 3;
  emit(31, pos);
  OutputRecord arc3 = record(3122);
  arc3.arc.x = 1, arc3.arc.y = 2, arc3.arc.z = 3, arc3.arc.cx = 4, arc3.arc.cy = 5, arc3.arc.cz = 6;
  emit(31, arc3);
  end();
  const std::string text = readFile("m.qdx");
  const std::string body = text.substr(text.find("\n\n") + 2);
  EXPECT_EQ(body,
            " oPOF( L0[ cycle(test cycle) ] )\n"
            "oContour[c1]( )\n{\n"
            "   oM( x[/1] y[/2.5] )\n"
            " oPOF( L32[ G0 X1 Y2.5 ] )\n"
            "   oM( z[/3] )\n"
            " oPOF( L32[ G0 Z3 ] )\n"
            "   oM( z[/-0.25] )\n"
            " oPOF( L32[ G0 Z-0.25 ] )\n"
            "   oL( x[/4] )\n"
            " oPOF( L32[ G1 X4 ] )\n"
            "   oL( x[/1] y[/2] z[/3] )\n"
            " oPOF( L32[ G1 X1 Y2 Z3 ] )\n"
            "   oA( o[-] x[/5/2.5] y[/0/0] )\n"
            " oPOF( L32[ G2 X5 Y0 I2.5 J0 ] )\n"
            "}\n"
            "oContour( cmnt[note] )\n{\n"
            "   vfeed( 100 )\n"
            "}\n"
            "; literal\n"
            "   oL( x[/1] y[/2] u[/3] v[/4] )\n"
            "   oP( x[1] y[2] z[3] )\n"
            "   oA( o[+] x[/1/4] y[/2/5] z[/3/6] )\n"
            " oPOF( L0[ cycleEnd(test cycle) ] )\n");
}

TEST_F(XchgWriterTest, NcValuesToolLinesCommentsPointsAndGCode) {
  param("geoOut", "g.qdx");
  begin();
  cycSendNameValue(&rec_, "tr", "5X");
  cycSendToolValue(&rec_, "diameter", "6");
  cycSendToolText(&rec_, "oTool( type[ballMill] )");
  cycSendComment(&rec_, "rough (first)");
  OutputRecord p = record(3104);
  p.move.x = 1, p.move.y = 2, p.move.z = 3, p.move.sSet = 1, p.move.s = 0.5;
  emit(30, p);
  p.move.sSet = 0;
  emit(30, p);
  struct Nc {
    int type;
    const char* line;
  };
  const Nc ncs[] = {
      {4003, " oPOF( L32[ G0 X1 Y2 Z3 ] )\n"},
      {4009, " oPOF( L32[ G3 X1 Y2 I4 J5 ] )\n"},
      {4010, " oPOF( L32[ G2 X1 Y2 Z3 I4 J5 K6 ] )\n"},
      {4011, " oPOF( L32[ G3 X1 Y2 Z3 I4 J5 K6 ] )\n"},
      {4017, " oPOF( L32[ G0 X1 Y2 U4 V5 ] )\n"},
      {4018, " oPOF( L32[ G1 X1 Y2 U4 V5 ] )\n"},
      {4012, ""},
      {4015, ""},
      {4019, ""},
      {4041, ""},
  };
  std::string want;
  for (const Nc& n : ncs) {
    OutputRecord r = record(n.type);
    r.nc = {1, 2, 3, 4, 5, 6};
    emit(32, r);
    want += n.line;
  }
  cycSendLiteralNc(&rec_, "M30");
  OutputRecord modal = record(4007);
  modal.modal.setX = 1, modal.modal.x = 7, modal.modal.setZ = 1, modal.modal.z = 8;
  emit(32, modal);
  end();
  const std::string text = readFile("g.qdx");
  EXPECT_EQ(text.substr(text.find("\n\n") + 2),
            " oPOF( L0[ cycle(test cycle) ] )\n"
            " oPOF( L10[ tr(5X) ] )\n"
            " oPOF( L11[ vdiameter(6) ] )\n"
            " oPOF( L11[ oTool( type[ballMill] ) ] )\n"
            " oPOF( L2[rough \\040first\\041] )\n"
            "   oP( x[1] y[2] z[3] s[0.5] u[d] )\n"
            "   oP( x[1] y[2] z[3] u[d] )\n" +
                want +
                " oPOF( L32[M30] )\n"
                " oPOF( L32[ G1 X7 Z8 ] )\n"
                " oPOF( L0[ cycleEnd(test cycle) ] )\n");
}

TEST_F(XchgWriterTest, FatalErrorWritesTheBypassFileOldestFirst) {
  param("geoOut", "f.qdx");
  writeFile(kPofBypassFile, "an older bypass\n");
  begin();
  cycSendError(&rec_, "1102,0");
  cycSendTextRecord(&rec_, 0, 110, "layers", "0");  // not kept
  cycSendTextRecord(&rec_, 0, 111, "NCmode", "literal");
  EXPECT_EQ(cycSendTextRecord(&rec_, 0, 102, "fatal", "stop"), 0);
  EXPECT_EQ(pofXchgFile(), nullptr) << "the fatal error closes the exchange file";
  EXPECT_EQ(readFile(kPofBypassFile),
            "0: cycle(test cycle)\n0: error(1102,0)\n0: NCmode(literal)\n0: fatal(stop)\n");
  // The next cycle starts a new list: its fatal error does not repeat the old lines.
  begin();
  cycSendTextRecord(&rec_, 0, 102, "fatal", "again");
  EXPECT_EQ(readFile(kPofBypassFile), "0: cycle(test cycle)\n0: fatal(again)\n");
}

// A nested cycle that starts while the outer cycle's file is open closes it and opens its own.
TEST_F(XchgWriterTest, NestedCycleTakesOverTheFile) {
  param("geoOut", "outer.qdx");
  begin();
  cycRapidXY(&rec_, 1, 1);
  CycleRecord inner;
  inner.parent = &cycKernel;
  inner.title = "inner";
  inner.outputMode = kCycOutputExchange;
  inner.firstOutputPending = 0;
  cycRegisterLayer(&inner, 0, nullptr, pofXchgWriterFor(0), 1);
  inner.params = parListSet(nullptr, "geoOut", "inner.qdx", kParKindSource);
  cycSendTextRecord(&inner, 0, 103, "cycle", "inner");
  cycSendTextRecord(&inner, 0, 104, "cycleEnd", "inner");
  cycFreeLayers(&inner);
  parListFree(inner.params);
  EXPECT_EQ(
      readFile("outer.qdx"),
      kHead + " oPOF( L0[ cycle(test cycle) ] )\n   oM( x[/1] y[/1] )\n oPOF( L32[ G0 X1 Y1 ] )\n");
  EXPECT_NE(readFile("inner.qdx").find("cycleEnd(inner)"), std::string::npos);
}

namespace {
struct ReadBack {
  std::vector<std::string> items;
};
int collectPof(XchgElement* e, XchgScope*, void* user) {
  auto* rb = static_cast<ReadBack*>(user);
  std::string s = e->name;
  for (const XchgAttr* a = e->attrs; a != nullptr; a = a->next) {
    s += std::string(" ") + (a->key != nullptr ? a->key : "") + "=" +
         (a->value != nullptr ? a->value : "");
  }
  rb->items.push_back(s);
  return 1;
}

int runHost(const std::string& args) {
  const std::string cmd = std::string("'") + QDMILL_HOST_PATH + "' " + args + " >out.txt 2>err.txt";
  const int status = std::system(cmd.c_str());
  return status != -1 && WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}
}  // namespace

// The example job with -PCF (and an exchange file named): nothing on standard output, and the
// interpreter reads every record back from the exchange file.
TEST_F(TempDirTest, ExampleJobWithPcfWritesAnExchangeFile) {
  if (std::string(QDMILL_HOST_PATH).empty()) GTEST_SKIP() << "host not built";
  const std::string demo = std::string(QDMILL_SOURCE_DIR) + "/examples/demo/";
  for (const char* name : {"qdRpx5.def", "qdRpx5.lng", "demo.pcf"})
    writeFile(name, readFile(demo + name));
  writeFile("demo.pcf", readFile("demo.pcf") + "geoOut := demo.qdx\n");
  ASSERT_EQ(runHost("-Sdemo -PCF"), 1) << "no controller yet: " << readFile("err.txt");
  EXPECT_EQ(readFile("out.txt"), "");
  EXPECT_FALSE(qdtest::fileExists(kPofBypassFile));

  ReadBack rb;
  XchgInterp* in = xchgInterpNew(&rb, nullptr, nullptr, nullptr);
  ASSERT_NE(in, nullptr);
  for (const char* type : {"POF", "M", "L", "A"}) xchgInterpOnObject(in, type, collectPof);
  EXPECT_EQ(xchgInterpRun("demo.qdx", in, nullptr), 1);
  XchgLexError err;
  xchgLexLastError(&err);
  EXPECT_EQ(err.code, 0) << "the whole file reads";
  xchgInterpFree(in);
  // Until the per-region toolpath step exists the run writes no move: its records end with the
  // step's messages and the end of the cycle.
  ASSERT_GE(rb.items.size(), 4u);
  EXPECT_EQ(rb.items.front(), "POF L0=cycle(3D 5-Axis Z-Level Roughing Cycle)");
  EXPECT_EQ(rb.items.back(), "POF L0=cycleEnd(3D 5-Axis Z-Level Roughing Cycle)");
  int controller = 0;
  for (const std::string& item : rb.items) {
    EXPECT_TRUE(item.rfind("POF ", 0) == 0) << "no move record: " << item;
    // The failing step's message: the per-region stand-in's 3003, or 509 when no model loads.
    if (item == "POF L0=error(3003,0)" || item == "POF L0=error(509,0)") ++controller;
  }
  EXPECT_EQ(controller, 1);
}
