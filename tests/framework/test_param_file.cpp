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
  const std::string text = "s := from stdin\n";
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
  EXPECT_STREQ(v, "from");
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
