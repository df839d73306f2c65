// Parameter files: the entry lexer as a table of inputs and pairs, loading with kinds, "| stdin"
// (which must stay open), '~' paths, path limits, and language file sections.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdlib>
#include <string>
#include <utility>
#include <vector>

#include "framework/memory.h"
#include "framework/param_file.h"
#include "support/temp_dir.h"

using qdtest::TempDirTest;
using qdtest::writeFile;
using Pairs = std::vector<std::pair<std::string, std::string>>;

namespace {
Pairs readAll(const std::string& text) {
  writeFile("in.pcf", text);
  std::FILE* f = parFileOpen("in.pcf");
  Pairs out;
  if (f == nullptr) return out;
  ParamPair p{};
  while (parReadPair(f, &p) == 1) {
    out.emplace_back(p.name, p.value);
    memFree(p.name);
    memFree(p.value);
  }
  EXPECT_EQ(p.name, nullptr);
  parFileClose(f);
  return out;
}
}  // namespace

TEST_F(TempDirTest, ParamLexerTable) {
  struct Case {
    const char* text;
    Pairs pairs;
  };
  const std::vector<Case> cases = {
      {"a:=1\n", {{"a", "1"}}},
      {"a := 1", {{"a", "1"}}},
      {"; comment\n\n  \t\n ; more\n a := 1\n", {{"a", "1"}}},
      {"a := 1\n; between\nb := 2\n", {{"a", "1"}, {"b", "2"}}},
      {"\"my name: x\" := \"v;>w\"\n", {{"my name: x", "v;>w"}}},
      {"a := \"x\" >\n\"y\" >\n  \"z\"\nb:=2\n",
       {{"a", "xyz"}, {"b", "2"}}},  // three lines, one value
      {"a := 1 >\n  2\n", {{"a", "12"}}},
      {"a := 1 ; comment\nb := 2\n", {{"a", "1"}, {"b", "2"}}},
      {"a := 1>\nb := 2\n", {{"a", "1"}, {"b", "2"}}},  // '>' without a blank ends the value
      {"a := \"x\">\n\"y\" := 3\n",
       {{"a", "x"}, {"y", "3"}}},  // after a quote the mark needs a blank
      {"a := \"t\\tb\\n\\q\"\n", {{"a", "t\tb\nq"}}},
      {"a := 1 x\nb := 2\n", {{"a", "1"}, {"b", "2"}}},
      {"a := 1\r\nb := 2\r\n", {{"a", "1"}, {"b", "2"}}},
      {"a := 1\x1a"
       "b := 2\n",
       {{"a", "1"}}},       // character 26 ends the input
      {"a\nb := 2\n", {}},  // reading stops at the first bad line
      {"a := 1\nbad line\nc := 3\n", {{"a", "1"}}},
      {"a :=\nb := 2\n", {}},
      {"a = 1\n", {}},
      {"a : = 1\n", {}},
      {"\"open := 1\n", {}},
      {"a := \"\"\nb := 2\n", {{"b", "2"}}},  // an empty quoted value skips its line
      {"", {}},
  };
  for (const Case& c : cases) EXPECT_EQ(readAll(c.text), c.pairs) << "input: " << c.text;
}

// A job means what it says: loading a source reports each line that is not a whole
// "name := value" line (with the file and the line), and reading goes on after it; the lexer table
// above is what parReadPair itself still does.
TEST_F(TempDirTest, LoadFaultsNameFileAndLine) {
  struct Case {
    const char* what;
    std::string text;
    std::vector<std::string> faults;
    Pairs loaded;
  };
  const std::string big(1 << 20, 'x');
  const std::vector<Case> cases = {
      {"good", "; job\na := 1\n\nb := \"x y\" ; note\n", {}, {{"a", "1"}, {"b", "x y"}}},
      {"an equals sign",
       "a := 1\nallowance = 0.5\nc := 3\n",
       {"j.pcf:2: not a name := value line: allowance = 0.5"},
       {{"a", "1"}, {"c", "3"}}},
      {"text after the value",
       "allowance := 0.5 mm\n",
       {"j.pcf:1: text after the value: allowance := 0.5 mm"},
       {}},
      {"a name alone, CR LF lines",
       "a := 1\r\n\r\nname\r\nb := 2\r\n",
       {"j.pcf:3: not a name := value line: name"},
       {{"a", "1"}, {"b", "2"}}},
      {"no value", "a :=\n", {"j.pcf:1: not a name := value line: a :="}, {}},
      {"continued value, bad line after it",
       "a := \"x\" >\n  \"y\"\n= 2\n",
       {"j.pcf:3: not a name := value line: = 2"},
       {{"a", "xy"}}},
      {"a 1 MB value",
       "a := " + big + "\nb := 2\n",
       {"j.pcf:1: a name or value longer than 4095 characters"},
       {{"b", "2"}}},
      {"a 1 MB line of no entry",
       big + "\nb := 2\n",
       {"j.pcf:1: a name or value longer than 4095 characters"},
       {{"b", "2"}}},
      {"a byte no text holds",
       std::string("a := 1\nb := \x02\nc := 3\n"),
       {"j.pcf: not a text file (byte 0x02)"},
       {{"a", "1"}}},
      {"binary",
       std::string("\x7f"
                   "ELF\x02\x01\x01\0\0",
                   9),
       {"j.pcf: not a text file (byte 0x02)"},
       {}},
      {"empty", "", {"j.pcf: no name := value line (an empty job source)"}, {}},
      {"comments only",
       "; nothing\n\n",
       {"j.pcf: no name := value line (an empty job source)"},
       {}},
      {"an empty quoted value is no fault", "a := \"\"\nb := 2\n", {}, {{"b", "2"}}},
  };
  for (const Case& c : cases) {
    writeFile("j.pcf", c.text);
    parLoadFaultsClear();
    ParamNode* list = parLoadFile(nullptr, "j.pcf", kParKindSource);
    std::vector<std::string> faults;
    for (int i = 0; i < parLoadFaultCount(); ++i) faults.emplace_back(parLoadFaultText(i));
    EXPECT_EQ(faults, c.faults) << c.what;
    Pairs loaded;
    for (const ParamNode* n = list; n != nullptr; n = n->next)
      loaded.emplace(loaded.begin(), n->name, n->value);
    EXPECT_EQ(loaded, c.loaded) << c.what;
    parListFree(list);
  }
  // A definition file may be missing or empty; a source may not, and it is kept as opened.
  parLoadFaultsClear();
  writeFile("empty.def", "");
  EXPECT_EQ(parLoadFile(nullptr, "empty.def", kParKindDefinition), nullptr);
  EXPECT_EQ(parLoadFile(nullptr, "none.def", kParKindDefinition), nullptr);
  EXPECT_EQ(parLoadFaultCount(), 0);
  EXPECT_EQ(parLoadFile(nullptr, "none.pcf", kParKindSource), nullptr);
  ASSERT_EQ(parLoadFaultCount(), 1);
  EXPECT_STREQ(parLoadFaultText(0), "none.pcf: cannot be opened");
  EXPECT_STREQ(parLoadedSource(), "j.pcf");
  // Eleven bad lines: ten are kept and counted, reading stops there.
  std::string bad;
  for (int i = 0; i < 12; ++i) bad += "bad line\n";
  writeFile("j.pcf", bad);
  parLoadFaultsClear();
  parListFree(parLoadFile(nullptr, "j.pcf", kParKindSource));
  EXPECT_EQ(parLoadFaultCount(), kParFaultsKept);
  EXPECT_EQ(parLoadFaultText(kParFaultsKept), nullptr);
  parLoadFaultsClear();
}

TEST_F(TempDirTest, LoadFileAddsWithItsKindAndLaterFilesReplace) {
  writeFile("a.def", "x := 1\ny := 2\n");
  writeFile("b.pcf", "y := 3\n");
  ParamNode* list = parLoadFile(nullptr, "a.def", kParKindDefinition);
  list = parLoadFile(list, "b.pcf", kParKindSource);
  list = parLoadFile(list, "missing.pcf", kParKindSource);
  std::int16_t kind = 0;
  char* y = parListGet(list, "y", &kind);
  ASSERT_NE(y, nullptr);
  EXPECT_STREQ(y, "3");
  EXPECT_EQ(kind, kParKindSource);
  memFree(y);
  char* x = parListGet(list, "x", &kind);
  EXPECT_EQ(kind, kParKindDefinition);
  memFree(x);
  parListFree(list);
}

// Reading "| stdin" closed the host's standard input.
TEST_F(TempDirTest, StdinIsReadAndLeftOpen) {
  int fds[2];
  ASSERT_EQ(pipe(fds), 0);
  const std::string text = "s := \"from stdin\"\n";
  ASSERT_EQ(write(fds[1], text.data(), text.size()), static_cast<ssize_t>(text.size()));
  close(fds[1]);
  const int saved = dup(0);
  ASSERT_EQ(dup2(fds[0], 0), 0);
  close(fds[0]);
  ParamNode* list = parLoadFile(nullptr, "| stdin", kParKindSource);
  EXPECT_NE(fcntl(0, F_GETFD), -1) << "standard input must stay open";
  EXPECT_EQ(std::ferror(stdin), 0);
  char* v = parListGet(list, "s", nullptr);
  ASSERT_NE(v, nullptr);
  EXPECT_STREQ(v, "from stdin");
  memFree(v);
  parListFree(list);
  dup2(saved, 0);
  close(saved);
  std::clearerr(stdin);
}

TEST_F(TempDirTest, TildeStandsForHomeAndLongPathsFailWhole) {
  writeFile("home.pcf", "h := 1\n");
  const char* oldHome = std::getenv("HOME");
  const std::string keep = oldHome != nullptr ? oldHome : "";
  setenv("HOME", tempPath().c_str(), 1);
  std::FILE* f = parFileOpen("~/home.pcf");
  EXPECT_NE(f, nullptr);
  parFileClose(f);
  unsetenv("HOME");
  EXPECT_EQ(parFileOpen("~/home.pcf"), nullptr);
  // a path over the limit is refused, never cut to a shorter (other) path
  setenv("HOME", (tempPath() + std::string(kParPathMax, '/')).c_str(), 1);
  EXPECT_EQ(parFileOpen("~/home.pcf"), nullptr);
  EXPECT_EQ(parFileOpen((std::string(kParPathMax, '/') + "home.pcf").c_str()), nullptr);
  EXPECT_NE(
      f = parFileOpen((std::string(kParPathMax - 200, '/') + tempPath() + "/home.pcf").c_str()),
      nullptr);
  parFileClose(f);
  if (oldHome != nullptr) setenv("HOME", keep.c_str(), 1);
  EXPECT_EQ(parFileOpen(nullptr), nullptr);
}

TEST_F(TempDirTest, LanguageFileSections) {
  const std::string file =
      "; texts\n"
      "default english\n"
      "language german\n"
      "start english\n"
      ": an English line\n"
      "end\n"
      "start german\n"
      ": eine Zeile\n"
      "end\n";
  writeFile("t.lng", file);
  writeFile("stop.lng", "default english\nrest english\nstart english\n: x\nend\n");
  writeFile("empty.lng", "start english\n; nothing\nend\n");
  writeFile("skip.lng", "1default x\nstart english\n: x\nend\n");
  writeFile("indent.lng", "start english\n  : indented\nend\n");
  writeFile("indentend.lng", "start english\n  end\n: x\nend\n");
  struct Case {
    const char* file;
    const char* language;
    int result;
  };
  const Case cases[] = {
      {"t.lng", "english", 1},
      {"t.lng", "german", 1},  // "language german" makes the requested language current
      {"t.lng", "???", 1},     // the default language's section
      {"t.lng", "french", 1},
      {"empty.lng", "english", 0},  // a section without entries
      {"missing.lng", "english", 0},
      {"stop.lng", "english", 0},  // an unknown keyword of keyword letters ends the search
      {"skip.lng", "english", 1},  // a first word with other characters is skipped
      // Section lines were read after their leading blanks: an indented ':' line counted as an
      // entry and an indented "end" closed the section.
      {"indent.lng", "english", 0},
      {"indentend.lng", "english", 1},
  };
  for (const Case& c : cases)
    EXPECT_EQ(langFileReadSection(c.file, c.language), c.result) << c.file << " " << c.language;
  // The entries' texts go to the caller in file order, cut at 259 characters.
  writeFile("long.lng", "start english\n: one\n:two\nnot an entry\n:" + std::string(300, 'x') +
                            "\nend\n: after the end\n");
  std::vector<std::string> texts;
  auto collect = [](const char* text, void* user) {
    static_cast<std::vector<std::string>*>(user)->push_back(text);
  };
  EXPECT_EQ(langFileReadSection("long.lng", "english", collect, &texts), 1);
  EXPECT_EQ(texts, (std::vector<std::string>{" one", "two", std::string(259, 'x')}));
  writeFile("g.lng", "language german\nstart german\n: eine Zeile\nend\nstart english\n: x\nend\n");
  EXPECT_EQ(langFileReadSection("g.lng", "german"), 1);
  EXPECT_EQ(langFileReadSection("g.lng", "english"), 1) << "no current language: the first section";
  parFileResetState();
  EXPECT_EQ(langFileReadSection("t.lng", "english"), 1)
      << "the table of open files starts empty again";
}
