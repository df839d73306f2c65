// Kernel record: loading the definition file and the ".pcf" source, point parameters, the
// information phases and the end phase.
#include <gtest/gtest.h>
#include <sys/wait.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "cycles/rpx5_record.h"
#include "framework/global_params.h"
#include "framework/kernel.h"
#include "framework/memory.h"
#include "framework/messages.h"
#include "framework/output.h"
#include "framework/phase_runner.h"
#include "support/temp_dir.h"
#include "test_record.h"

using namespace qdtest;

namespace {
std::string valueOf(const CycleRecord& r, const char* name, std::int16_t* kind = nullptr) {
  char* v = parListGet(r.params, name, kind);
  std::string s = v != nullptr ? v : "<none>";
  memFree(v);
  return s;
}
}  // namespace

TEST_F(TempDirTest, SourceNamesGetPcfUnlessTheyHaveIt) {
  writeFile("job.pcf", "v := job\n");
  writeFile("job.PCF", "v := upper\n");
  writeFile("ab.pcf", "v := ab\n");
  writeFile("cyc.def", "v := def\nd := 1\n");
  struct Case {
    const char* source;
    const char* value;
  };
  const Case cases[] = {{"job", "job"}, {"job.PCF", "upper"}, {"ab", "ab"}, {"none", "def"}};
  for (const Case& c : cases) {
    CycleRecord r;
    r.parent = &cycKernel;
    r.id = "cyc";
    r.source = memStrDup(c.source);
    EXPECT_EQ(cycLoadParamSources(&r), 1);
    std::int16_t kind = 0;
    EXPECT_EQ(valueOf(r, "v", &kind), c.value) << c.source;
    EXPECT_EQ(kind, std::string(c.value) == "def" ? 13 : 21);
    EXPECT_EQ(valueOf(r, "d"), "1");
    cycCleanup(&r);
  }
}

TEST_F(TempDirTest, KernelLoaderLeavesIdentityFramesAndNeverFails) {
  CycleRecord r;
  r.frame.m[3] = 5;
  r.tool.m[0] = 0;
  EXPECT_EQ(cycLoadParamSources(&r), 1);
  for (int i = 0; i < 16; ++i) {
    EXPECT_EQ(r.frame.m[i], kAffIdentity.m[i]);
    EXPECT_EQ(r.tool.m[i], kAffIdentity.m[i]);
  }
  EXPECT_EQ(cycLoadCfgSource(&r), 1);
}

TEST(KernelPoints, FirstOnlyOrLastUsableEntryWins) {
  // the list is newest first: "p" entries in list order are "4,5,6", "1 2", "7 8 9", "x"
  ParamNode d{const_cast<char*>("p"), const_cast<char*>("x"), 21, nullptr};
  ParamNode a{const_cast<char*>("p"), const_cast<char*>("7 8 9"), 21, &d};
  ParamNode b{const_cast<char*>("p"), const_cast<char*>("1 2"), 21, &a};
  ParamNode c{const_cast<char*>("p"), const_cast<char*>("4,5,6"), 21, &b};
  double x = -1, y = -1, z = -1;
  EXPECT_EQ(cycReadPointParam(&c, "p", 1, &x, &y, &z), 1);
  EXPECT_EQ(x, 4);
  EXPECT_EQ(cycReadPointParam(&c, "p", 0, &x, &y, &z), 1);
  EXPECT_EQ(x, 7) << "the last usable entry; \"x\" is not";
  EXPECT_EQ(z, 9);
  // first-only looks at the first entry only, usable or not
  x = -1;
  EXPECT_EQ(cycReadPointParam(&b, "p", 1, &x, &y, &z), 0);
  EXPECT_EQ(x, -1);
  EXPECT_EQ(cycReadPointParam(&c, "q", 0, &x, &y, &z), 0);
  EXPECT_EQ(x, -1);
  // An infinite coordinate made the whole origin infinite; such a value is not usable.
  ParamNode inf{const_cast<char*>("p"), const_cast<char*>("1 1e999 2"), 21, nullptr};
  EXPECT_EQ(cycReadPointParam(&inf, "p", 0, &x, &y, &z), 0);
  EXPECT_EQ(y, 8);
}

TEST_F(TempDirTest, InformationPhasesNeedTheirLanguageFile) {
  writeFile("cyc.def", "parameters := p.lng\nSystemLanguage := german\n");
  writeFile("p.lng", "language german\nstart german\n: Text\nend\n");
  CycleRecord r;
  r.parent = &cycKernel;
  r.id = "cyc";
  char p[] = "-P";
  char a[] = "-A";
  char* argvP[] = {p};
  ASSERT_EQ(cycParseOptions(&r, argvP, 1, 0), 1);
  EXPECT_EQ(cycRun(&r), 0);
  char* argvA[] = {a};
  ASSERT_EQ(cycParseOptions(&r, argvA, 1, 0), 1);
  EXPECT_EQ(cycRun(&r), 14) << "no \"algorithm\" parameter: the phase fails";
}

TEST(KernelEnd, WritesCycleEndAndFreesTheLayers) {
  static std::string seenTitle;
  CycleRecord r;
  r.title = "my cycle";
  cycRegisterLayer(
      &r, 0,
      [](CycleRecord*, OutputRecord* o) {
        if (o->type == 104) seenTitle = std::string(o->text.name) + ":" + o->text.text;
        return 1;
      },
      nullptr, 1);
  cycRegisterLayer(&r, 31, nullptr, nullptr, 1);
  EXPECT_EQ(cycEndDefault(&r), 1);
  EXPECT_EQ(seenTitle, "cycleEnd:my cycle");
  EXPECT_EQ(r.layers, nullptr);
}

namespace {
// Column c of a frame as (x, y, z).
std::vector<double> column(const AffineMatrix& m, int c) {
  return {m.m[c], m.m[4 + c], m.m[8 + c]};
}
}  // namespace

TEST_F(TempDirTest, NcAndToolFramesFromFrameKeys) {
  // NC frame turned a quarter about z and moved; tool frame given only its z axis.
  writeFile("job.pcf",
            "frameCs_x := \"0 2 0\"\n"  // normalised
            "frameCs_y := \"-3,0,0\"\n"
            "frameCs_z := \"0 0 0\"\n"     // no direction: keeps the identity column
            "frameCs_o := \"10 20 30\"\n"  // a point, not normalised
            "toolCs_z := \"0 -1 1\"\n");
  CycleRecord r;
  r.source = memStrDup("job");
  EXPECT_EQ(cycLoadParamSources(&r), 1);
  const double h = std::sqrt(0.5);
  EXPECT_EQ(column(r.frame, 0), (std::vector<double>{0, 1, 0}));
  EXPECT_EQ(column(r.frame, 1), (std::vector<double>{-1, 0, 0}));
  EXPECT_EQ(column(r.frame, 2), (std::vector<double>{0, 0, 1}));
  EXPECT_EQ(column(r.frame, 3), (std::vector<double>{10, 20, 30}));
  // independent check: the point (1, 2, 3) of the frame lies at origin + 1 x-axis + 2 y-axis + 3 z
  double in[3] = {1, 2, 3};
  double out[4];
  affTransformPoint(out, &r.frame, in);
  EXPECT_EQ(out[0], 10 - 2);
  EXPECT_EQ(out[1], 20 + 1);
  EXPECT_EQ(out[2], 30 + 3);
  // the tool frame took x, y and o from the frame keys, its own z
  EXPECT_EQ(column(r.tool, 0), column(r.frame, 0));
  EXPECT_EQ(column(r.tool, 1), column(r.frame, 1));
  EXPECT_EQ(column(r.tool, 3), column(r.frame, 3));
  EXPECT_NEAR(column(r.tool, 2)[1], -h, 1e-15);
  EXPECT_NEAR(column(r.tool, 2)[2], h, 1e-15);
  // the completed tool keys are program values; "toolCs_z" stays the source's
  std::int16_t kind = 0;
  EXPECT_EQ(valueOf(r, "toolCs_x", &kind), "0 2 0");
  EXPECT_EQ(kind, 31);
  EXPECT_EQ(valueOf(r, "toolCs_o", &kind), "10 20 30");
  EXPECT_EQ(valueOf(r, "toolCs_z", &kind), "0 -1 1");
  EXPECT_EQ(kind, 21);
  cycCleanup(&r);
}

TEST_F(TempDirTest, WithoutToolKeysTheToolFrameIsTheNcFrame) {
  writeFile("job.pcf", "frameCs_z := \"0 1 1\"\nframeCs_o := \"1 2\"\n");  // origin unusable
  CycleRecord r;
  r.source = memStrDup("job");
  cycLoadParamSources(&r);
  for (int i = 0; i < 16; ++i) EXPECT_EQ(r.tool.m[i], r.frame.m[i]) << i;
  EXPECT_EQ(column(r.frame, 3), (std::vector<double>{0, 0, 0}));
  EXPECT_NEAR(column(r.frame, 2)[1], std::sqrt(0.5), 1e-15);
  EXPECT_EQ(valueOf(r, "toolCs_x"), "<none>") << "no frame key: nothing to complete";
  cycCleanup(&r);
}

namespace {
std::vector<int>& infoCodes() {
  static std::vector<int> codes;
  return codes;
}

// Runs the library's own record with one option in a folder holding the demo job; the framework
// messages of the run are collected in infoCodes().
int runDemoOption(const char* option) {
  CycleRecord* r = rpx5CycleRecord();
  r->messageFn = [](CycleRecord*, int code, void*) { infoCodes().push_back(code); };
  infoCodes().clear();
  std::string arg = option;
  char* argv[] = {arg.data()};
  int code = -1;
  if (cycParseOptions(r, argv, 1, 0) == 1) code = cycRun(r);
  r->messageFn = nullptr;
  return code;
}

void copyDemo(const char* name) {
  writeFile(name, readFile(std::string(QDMILL_SOURCE_DIR) + "/examples/demo/" + name));
}
}  // namespace

// The information options of the demo job run their phase between its pair of framework
// messages and nothing else: no init, no computing phase, no end phase, no output record.
TEST_F(TempDirTest, DemoInformationOptionsRunTheirPhases) {
  for (const char* name :
       {"qdRpx5.def", "qdRpx5.lng", "qdRpx5_parameters.lng", "qdRpx5_layers.lng", "demo.pcf"}) {
    copyDemo(name);
  }
  struct Case {
    const char* option;
    int begin;
    bool texts;  // the phase sends texts: its first record brings message 312
  };
  const Case cases[] = {{"-V", 211, true},
                        {"-P", 231, true},
                        {"-A", 241, true},
                        {"-Y", 251, true},
                        {"-D", 261, false}};
  for (const Case& c : cases) {
    EXPECT_EQ(runDemoOption(c.option), 0) << c.option;
    // Layer 0 is registered (131, 139) for the texts before the phase runs.
    std::vector<int> expected = {121, 129, 131, 139, c.begin, c.begin + 8, 411, 419};
    if (c.texts) expected.insert(expected.begin() + 5, 312);
    EXPECT_EQ(infoCodes(), expected) << c.option;
  }
  // Without the language files the three text phases fail with their own run codes.
  for (const char* name : {"qdRpx5.lng", "qdRpx5_parameters.lng", "qdRpx5_layers.lng"}) {
    std::remove(name);
  }
  EXPECT_EQ(runDemoOption("-P"), 13);
  EXPECT_EQ(runDemoOption("-A"), 14);
  EXPECT_EQ(runDemoOption("-Y"), 15);
  EXPECT_EQ(runDemoOption("-D"), 0);
}

namespace {
std::vector<std::string> entriesOf(const ParamNode* list) {
  std::vector<std::string> out;
  for (const ParamNode* n = list; n != nullptr; n = n->next) out.push_back(n->value);
  return out;
}
}  // namespace

// File names are case-sensitive: the name is opened as given, ".CFG" appended where it is missing.
TEST_F(TempDirTest, CfgSourceNamesOpenExactly) {
  writeFile("job.cfg", "*A lower\n");
  writeFile("JOB.cfg", "*A upper\n");
  writeFile("ab.CFG", "*A ab\n");
  writeFile("job.CFG.CFG", "*A doubled\n");
  struct Case {
    const char* source;
    std::vector<std::string> values;
  };
  const Case cases[] = {
      {"job.CFG", {}},  // only "job.cfg" exists: a different file
      {"JOB.cfg", {"upper"}}, {"ab", {"ab"}}, {"job.CFG.CFG", {"doubled"}}, {"missing", {}},
  };
  for (const Case& c : cases) {
    CycleRecord r;
    r.source = memStrDup(c.source);
    EXPECT_EQ(cycLoadCfgSource(&r), 1);
    EXPECT_EQ(entriesOf(r.cfgEntries), c.values) << c.source;
    cycCleanup(&r);
  }
}

TEST_F(TempDirTest, CfgFramesKeepColumnsWithoutUsableKeys) {
  writeFile("f.CFG",
            "*NCKO_X 0 0 0\n"  // no direction
            "*NCKO_Y 0 3 0\n"
            "*NCKO_Y 1 2\n"    // unusable: the earlier line stays
            "*ncko_z 0 1 0\n"  // keys compare exactly, in upper case
            "*NCKO_O 1 2 3\n"
            "*WZKO_O 4 5\n"  // unusable: the copied origin stays
            "*FRAME_ID\n");  // no value: nothing set
  CycleRecord r;
  r.source = memStrDup("f");
  r.frame.m[0] = 9;
  EXPECT_EQ(cycLoadCfgSource(&r), 1);
  const std::vector<double> expected[4] = {{1, 0, 0}, {0, 1, 0}, {0, 0, 1}, {1, 2, 3}};
  for (int c = 0; c < 4; ++c) {
    EXPECT_EQ(column(r.frame, c), expected[c]) << c;
    EXPECT_EQ(column(r.tool, c), expected[c]) << c;
  }
  EXPECT_EQ(valueOf(r, "zeroPointID"), "<none>");
  cycCleanup(&r);
}

// The demo job's ".CFG" source: its entries in file order, the program parameters it names, the
// NC and tool frames, and after the run its keys in the global parameter block, the lengths as
// the roughing scaled them (tool radius 10).
TEST_F(TempDirTest, DemoCfgSourceReachesTheBlockAndTheFrames) {
  copyDemo("demo.CFG");
  parResetState();
  msgResetState();
  CycleRecord* r = rpx5CycleRecord();
  std::string arg = "-Sdemo.CFG";
  char* argv[] = {arg.data()};
  ASSERT_EQ(cycParseOptions(r, argv, 1, 0), 1);
  EXPECT_EQ(r->sourceIsCfg, 1);
  const std::vector<std::string> values = entriesOf(r->cfgEntries);
  ASSERT_EQ(values.size(), 26u);  // the part, the frame keys, the tool, its literal lines, levels
  EXPECT_EQ(values[0], "part.stl");
  EXPECT_EQ(values[1], "3");
  EXPECT_EQ(values[11], "100 50 0");
  std::int16_t kind = 0;
  EXPECT_EQ(valueOf(*r, "pofFilename", &kind), "demo_out.pof");
  EXPECT_EQ(kind, 31);
  EXPECT_EQ(valueOf(*r, "zeroPointID"), "G54");
  EXPECT_EQ(valueOf(*r, "frameComment"), "part turned a quarter \\040about z\\041");
  EXPECT_EQ(column(r->frame, 0), (std::vector<double>{0, 1, 0}));
  EXPECT_EQ(column(r->frame, 1), (std::vector<double>{-1, 0, 0}));
  EXPECT_EQ(column(r->frame, 2), (std::vector<double>{0, 0, 1}));
  EXPECT_EQ(column(r->frame, 3), (std::vector<double>{100, 50, 0})) << "the second *NCKO_O";
  EXPECT_EQ(column(r->tool, 0), column(r->frame, 0));
  EXPECT_EQ(column(r->tool, 3), column(r->frame, 3));
  EXPECT_NEAR(column(r->tool, 2)[1], -std::sqrt(0.5), 1e-15);
  EXPECT_NEAR(column(r->tool, 2)[2], std::sqrt(0.5), 1e-15);
  EXPECT_EQ(out3dMsgLevel(), 3) << "the configuration is not read yet";
  EXPECT_EQ(cycRun(r), 0);
  EXPECT_DOUBLE_EQ(parGlobalBlock()->frradius, 10);
  EXPECT_DOUBLE_EQ(parGlobalBlock()->vertzustel, 5);
  EXPECT_STREQ(parGlobalBlock()->apt, "demo_out.pof");
  EXPECT_EQ(parGlobalBlock()->nckoO[0], 100);
  EXPECT_EQ(out3dMsgLevel(), 2) << "\"*REPORT_CLASS\" of the source";
  parResetState();
  msgResetState();
}

TEST_F(TempDirTest, HostRunsTheDemoCfgSource) {
  if (std::string(QDMILL_HOST_PATH).empty()) GTEST_SKIP() << "host not built";
  copyDemo("demo.CFG");
  const std::string cmd =
      std::string("'") + QDMILL_HOST_PATH + "' --records -Sdemo.CFG >out.txt 2>err.txt";
  const int status = std::system(cmd.c_str());
  ASSERT_TRUE(WIFEXITED(status));
  EXPECT_EQ(WEXITSTATUS(status), 1) << "the roughing controller is not there yet";
  const std::string err = readFile("err.txt");
  EXPECT_NE(err.find("type 204 name cfg text *NCKO_O 100 50 0"), std::string::npos) << err;
  EXPECT_NE(err.find("name call text \"pofFilename\":=\"demo_out.pof\""), std::string::npos);
  EXPECT_NE(err.find("type 104 name cycleEnd"), std::string::npos);
}

// The root record's data and slot table, as every cycle's chain inherits them.
TEST(KernelRecord, DataAndSlots) {
  EXPECT_EQ(cycKernel.parent, nullptr);
  EXPECT_EQ(cycKernel.inherited, 1);
  EXPECT_EQ(cycKernel.frameworkVersion, 5);
  EXPECT_EQ(cycKernel.code, 1);
  const std::uint16_t version[5] = {5, 0, 1999, 3, 25};
  for (int i = 0; i < 5; ++i) EXPECT_EQ(cycKernel.version[i], version[i]) << i;
  EXPECT_STREQ(cycKernel.title, "Zodavevoze");
  EXPECT_EQ(cycKernel.id, nullptr);
  EXPECT_EQ(cycKernel.outputMode, 0);
  EXPECT_EQ(cycKernel.firstOutputPending, 1);
  for (int i = 0; i < 16; ++i) {
    EXPECT_EQ(cycKernel.frame.m[i], i % 5 == 0 ? 1.0 : 0.0) << i;
    EXPECT_EQ(cycKernel.tool.m[i], i % 5 == 0 ? 1.0 : 0.0) << i;
  }
  const CycleSlots& s = cycKernel.slots;
  const CyclePhaseFn noops[] = {s.phaseArguments,  s.phaseInit,          s.phaseOptionD,
                                s.phaseReadParams, s.phaseReadCfgParams, s.phasePrepare,
                                s.phaseCompute,    s.phaseFinish};
  for (CyclePhaseFn f : noops) EXPECT_EQ(f, &cycPhaseNoop);
  EXPECT_EQ(s.phaseVersion, &cycInfoVersion);
  EXPECT_EQ(s.phaseHelp, &cycInfoHelp);
  EXPECT_EQ(s.phaseLoadParams, &cycLoadParamSources);
  EXPECT_EQ(s.phaseLoadCfg, &cycLoadCfgSource);
  EXPECT_EQ(s.phaseParameters, &cycInfoParameters);
  EXPECT_EQ(s.phaseAlgorithm, &cycInfoAlgorithm);
  EXPECT_EQ(s.phaseLayers, &cycInfoLayers);
  EXPECT_EQ(s.phaseEnd, &cycEndDefault);
}

// The section is read for "SystemLanguage", or for "???" without it; no item parameter or no
// such file gives 0, and the run of that information option then ends with the phase's code.
TEST_F(TempDirTest, ShowMsgSectionLanguageAndItem) {
  writeFile("l.lng", "language german\nstart german\n: Text\nend\n");
  writeFile("g.lng", "language german\nstart german\n: Text\nend\n");
  struct Case {
    const char* def;
    const char* option;
    int show;  // cycShowMsgSection of the option's item
    int run;   // code of the run with only that option
  };
  const Case cases[] = {
      {"parameters := g.lng\nSystemLanguage := german\n", "-P", 1, 0},
      {"parameters := g.lng\n", "-P", 1, 0},  // read for "???"
      {"parameters := missing.lng\nSystemLanguage := german\n", "-P", 0, 13},
      {"SystemLanguage := german\n", "-P", 0, 13},
      {"layers := l.lng\nSystemLanguage := german\n", "-Y", 1, 0},
      {"algorithm := l.lng\nSystemLanguage := german\n", "-Y", 0, 15},
  };
  for (const Case& c : cases) {
    writeFile("cyc.def", c.def);
    CycleRecord r;
    r.parent = &cycKernel;
    r.id = "cyc";
    cycLoadParamSources(&r);
    const char* item = std::string(c.option) == "-P" ? "parameters" : "layers";
    EXPECT_EQ(cycShowMsgSection(&r, item), c.show) << c.def;
    parListFree(r.params);
    r.params = nullptr;
    std::string arg = c.option;
    char* argv[] = {arg.data()};
    ASSERT_EQ(cycParseOptions(&r, argv, 1, 0), 1);
    EXPECT_EQ(cycRun(&r), c.run) << c.def;
    cycCleanup(&r);
  }
}
