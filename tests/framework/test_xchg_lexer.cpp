// Exchange lexer: header acceptance, the element grammar, escapes, long method texts read back
// from the file, and the error record of truncated and corrupt files.
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdio>
#include <string>
#include <vector>

#include "framework/memory.h"
#include "framework/xchg_file.h"
#include "framework/xchg_lexer.h"
#include "framework/xchg_number.h"
#include "support/temp_dir.h"
#include "test_xchg_support.h"

namespace {
using qdtest::TempDirTest;
using qdtest::writeFile;

// Every element of a text, rendered and joined by " | ", then "!<code>" when a lexical error ended
// the reading.
std::string lexAll(const std::string& text) {
  xchgLexErrorClear();
  const char* cursor = text.c_str();
  XchgElement e{0, nullptr, nullptr, nullptr, nullptr, -1, -1};
  std::string out;
  while (xchgElementFromText(&cursor, &e) == 1) {
    if (!out.empty()) out += " | ";
    out += xchgtest::render(e);
  }
  xchgElementClear(&e);
  XchgLexError err{};
  xchgLexLastError(&err);
  if (err.code != 0) out += "!" + std::to_string(err.code);
  return out;
}

// Reads the header of a file; returns the accept result and fills kind, creator and version.
struct HeaderRead {
  int accepted;
  std::string kind;
  std::string creator;
  int major;
  int minor;
};
HeaderRead readHeader(const std::string& text) {
  writeFile("h.qdx", text);
  std::FILE* f = std::fopen("h.qdx", "rb");
  XchgHeader h{nullptr, 0, 0, nullptr};
  HeaderRead r{xchgReadHeader(f, &h), h.kind ? h.kind : "<none>", h.creator ? h.creator : "<none>",
               h.major, h.minor};
  xchgHeaderFree(&h);
  std::fclose(f);
  return r;
}

std::string banner() { return xchgBanner; }
}  // namespace

TEST_F(TempDirTest, XchgHeaderAcceptsVersionsUpToOnePointZeroOnly) {
  struct Case {
    std::string text;
    int accepted;
    int major;
    int minor;
  };
  const std::string b = banner();
  const std::vector<Case> cases = {
      {b + "\nqDX-Version: 1.0\nGeometry\ncreator\n\n", 1, 1, 0},
      {b + "\nqDX-Version: 1.1\nGeometry\ncreator\n", 0, 1, 1},
      {b + "\nqDX-Version: 2.0\nGeometry\ncreator\n", 0, 2, 0},
      {b + "\nqDX-Version: 0.9\nGeometry\ncreator\n", 1, 0, 9},
      {b + "\nqDX-Version:\nGeometry\ncreator\n", 1, 0, 0},
      {b + "\nqDX-Version: x.y\nGeometry\ncreator\n", 1, 0, 0},
      {b + "\nqDX-Version: -1.0\nGeometry\ncreator\n", 0, 65535, 0},
      {b + "\nqDX-Version: 99999999999999999999.0\nGeometry\ncreator\n", 0, 65535, 0},
      {b + "\nqdx-Version: 1.0\nGeometry\ncreator\n", 0, 0, 0},
      {b + "x\nqDX-Version: 1.0\nGeometry\ncreator\n", 0, 0, 0},
      {"other banner\nqDX-Version: 1.0\nGeometry\ncreator\n", 0, 0, 0},
      {b + "\nqDX-Version: 1.0\nGeometry", 0, 1, 0},  // line 3 not ended
      {b + "\nqDX-Version: 1.0\n", 0, 1, 0},
      {"", 0, 0, 0},
  };
  for (const Case& c : cases) {
    const HeaderRead r = readHeader(c.text);
    EXPECT_EQ(r.accepted, c.accepted) << c.text;
    EXPECT_EQ(r.major, c.major) << c.text;
    EXPECT_EQ(r.minor, c.minor) << c.text;
  }
}

TEST_F(TempDirTest, XchgHeaderSkipsLeadingBlanksAndEmptyLinesAndTrimsTrailingBlanks) {
  const HeaderRead r = readHeader("\n \t" + banner() + " \t\r\n\r\n  qDX-Version: 1.0\r\n" +
                                  "\ttemporary  \r\n\n  rupp 1.2 \t\r\n\r\noL()\n");
  EXPECT_EQ(r.accepted, 1);
  EXPECT_EQ(r.kind, "temporary");
  EXPECT_EQ(r.creator, "rupp 1.2");
  const HeaderRead noCreator = readHeader(banner() + "\nqDX-Version: 1.0\nGeometry\n");
  EXPECT_EQ(noCreator.accepted, 1) << "a missing creator line does not refuse the header";
  EXPECT_EQ(noCreator.creator, "<none>");
}

TEST(XchgLexer, ElementsOfSmallTexts) {
  struct Case {
    const char* text;
    const char* elements;
  };
  const Case cases[] = {
      {"", ""},
      {"  \r\n\t ; only a comment", ""},
      {"vprecision(6) ; digits\n", "v:precision=6"},
      {"vname(abc\n", "v:name=abc"},
      {"vname(abc", "v:name=abc"},
      {"vname(\\041\\\\x)", "v:name=)\\x"},
      {"vname(\\06x)", "v:name=\x06x"},
      {"vname(\\65)", "v:name=A"},
      {"vname(\\065)", "v:name=A"},
      {"vname(\\0659)", "v:name=A9"},
      {"vname(\\))", "v:name=)"},
      {"v name ( a  b \t )", "v:name=a  b"},
      {"vname()x)", "v:name=x"},
      {"vname(\\032x)", "v:name=x"},
      {"vname(( [)", "!11"},
      {"vname( a(b )", "v:name=a(b"},
      {"v;", "!2"},
      {"v(", "!11"},
      {"vname[1](x)", "!11"},
      {"vname", "!1"},
      {"vname(", "!1"},
      {"oContour( )", "o:Contour()"},
      {"oL[]( x[/5] )", "o:L(x=/5)"},
      {"o Contour [ 1 2 ] ( x[ /1.5 ] t[  a b  ] )", "o:Contour[12](x=/1.5,t=  a b  )"},
      {"oL( x[1] ;note\ny[2] )", "o:L(x=1,y=2)"},
      {"oL( x[a[b] )", "!11"},
      {"oL( t[] k[] k2[ ] )", "o:L(t=,k,k2)"},
      {"oL( t[ a\nb] )", "!11"},
      {"oL( k[ \n a ] )", "o:L(k=a)"},
      {"oL( k[ a \n] )", "!11"},  // the line end ended the value; ']' is then out of place
      {"oL( x [1] y\n[2] )", "o:L(x=1,y=2)"},
      {"oL( x[1\\2] )", "o:L(x=1\\2)"},
      {"oL( x[1]y[2])", "o:L(x=1,y=2)"},
      {"oL( x; )", "!2"},
      {"o;", "!2"},
      {"oL ; note\n [3] ; more\n ( )", "o:L[3]()"},
      {"oL[a\n(x[1])", "o:L[a](x=1)"},
      {"oL[a\n](x[1])", "!11"},
      {"oL[a b](x[`])", "!11"},
      {"oL( x[1] ", "!1"},
      {"oL( x[1", "!1"},
      {"oL( ( )", "!11"},
      {"oL( x[1] ; note", "!1"},
      {"mP[3]( 1 2\r\n3 )", "m:P[3](= 1 2\n3 )"},
      {"mV()a/b)", "m:V(=a/b)"},
      {"mV(a(b)", "!11"},
      {"mV(", "!1"},
      {"{ } {", "{ | } | {"},
      {"oL() x", "o:L()!11"},
      {"oA(x[1]) \x1a oB()", "o:A(x=1)"},
      {"oA(x[1\x1a])", "!1"},
      {"oA(x[\xe4])", "!11"},
      {"vname(\\228)", "v:name=\xe4"},
      {"vname(\\000)", "!11"},
      {"vname(\\256)", "!11"},
      {"vname(\\0)", "!11"},
      {"va(1)\nob[2](c[3])\nmd[4](5)\n{\n}\n", "v:a=1 | o:b[2](c=3) | m:d[4](=5) | { | }"},
  };
  for (const Case& c : cases) EXPECT_EQ(lexAll(c.text), c.elements) << "text: " << c.text;
}

TEST(XchgLexer, TextCursorStopsJustAfterTheElementRead) {
  const char* text = "oL(x[1])  oM()";
  const char* cursor = text;
  XchgElement e{0, nullptr, nullptr, nullptr, nullptr, -1, -1};
  ASSERT_EQ(xchgElementFromText(&cursor, &e), 1);
  EXPECT_EQ(cursor - text, 8);
  ASSERT_EQ(xchgElementFromText(&cursor, &e), 1);
  EXPECT_EQ(xchgtest::render(e), "o:M()");
  EXPECT_EQ(xchgElementFromText(&cursor, &e), 0);
  EXPECT_EQ(e.kind, 0) << "the element is cleared before each read";
  const char* none = nullptr;
  EXPECT_EQ(xchgElementFromText(&none, &e), 0);
  EXPECT_EQ(xchgElementFromText(nullptr, &e), 0);
  xchgElementClear(&e);
}

// Every byte value a text can hold passes through the escape rule and the variable-value reader.
TEST(XchgLexer, EscapedTextsOfEveryByteReadBackUnchanged) {
  std::string all;
  for (int c = 1; c < 256; ++c) all += static_cast<char>(c);
  std::vector<std::string> texts = {all, "\\\\(x)\\"};
  for (int c = 1; c < 256; ++c) texts.push_back(std::string("a") + static_cast<char>(c) + "b");
  for (const std::string& in : texts) {
    std::string escaped(4 * in.size() + 1, '\0');
    const int n = xchgEscapeText(escaped.data(), escaped.size(), in.c_str());
    ASSERT_GT(n, 0);
    escaped.resize(static_cast<std::size_t>(n));
    for (char ch : escaped) {
      const auto u = static_cast<unsigned char>(ch);
      ASSERT_TRUE(u >= ' ' && u <= '~' && ch != '(' && ch != ')') << "escaped text is plain";
    }
    const std::string line = "vtext(" + escaped + ")\n";
    const char* cursor = line.c_str();
    XchgElement e{0, nullptr, nullptr, nullptr, nullptr, -1, -1};
    ASSERT_EQ(xchgElementFromText(&cursor, &e), 1) << escaped;
    EXPECT_EQ(std::string(e.id), in) << escaped;
    xchgElementClear(&e);
  }
}

TEST_F(TempDirTest, XchgLongMethodTextsAreFramedInTheFileAboveTheLimit) {
  for (const int length : {1, kXchgLongMethodChars - 1, kXchgLongMethodChars,
                           kXchgLongMethodChars + 1, 5000, 300000}) {
    std::string text;
    for (int i = 0; i < length; ++i) text += static_cast<char>('0' + i % 10);
    if (length > 10) text[5] = '\n';
    const std::string before = xchgtest::header() + "oA()\nmP[1](";
    writeFile("m.qdx", before + "\r" + text + ")\noB()\n");
    XchgHeader h{nullptr, 0, 0, nullptr};
    std::FILE* f = xchgOpen("m.qdx", &h);
    ASSERT_NE(f, nullptr);
    XchgElement e{0, nullptr, nullptr, nullptr, nullptr, -1, -1};
    ASSERT_EQ(xchgNextElement(f, &e), 1);
    ASSERT_EQ(xchgNextElement(f, &e), 1);
    EXPECT_EQ(e.kind, 'm');
    if (length <= kXchgLongMethodChars) {
      ASSERT_NE(e.attrs, nullptr) << length;
      EXPECT_EQ(std::string(e.attrs->value), text) << "CR dropped, LF kept: " << length;
      EXPECT_EQ(e.stream, nullptr);
      EXPECT_EQ(e.textStart, -1);
      EXPECT_EQ(e.textEnd, -1);
    } else {
      EXPECT_EQ(e.attrs, nullptr) << length;
      EXPECT_EQ(e.stream, f);
      EXPECT_EQ(e.textStart, static_cast<std::int64_t>(before.size()));
      EXPECT_EQ(e.textEnd, static_cast<std::int64_t>(before.size() + 1 + text.size() + 1));
      // The text read back from the file between the two offsets, without the closing ')'.
      const std::string file = qdtest::readFile("m.qdx");
      EXPECT_EQ(file.substr(e.textStart, e.textEnd - 1 - e.textStart), "\r" + text);
    }
    ASSERT_EQ(xchgNextElement(f, &e), 1) << "reading goes on after the method";
    EXPECT_EQ(xchgtest::render(e), "o:B()");
    EXPECT_EQ(xchgNextElement(f, &e), 0);
    XchgLexError err{};
    xchgLexLastError(&err);
    EXPECT_EQ(err.code, 0);
    xchgElementClear(&e);
    xchgHeaderFree(&h);
    xchgClose(f);
  }
}

TEST_F(TempDirTest, XchgLongMethodAtTheEndOfTheFileEndsThere) {
  const std::string before = xchgtest::header() + "mP(";
  writeFile("m.qdx", before + std::string(6000, '7'));
  XchgHeader h{nullptr, 0, 0, nullptr};
  std::FILE* f = xchgOpen("m.qdx", &h);
  ASSERT_NE(f, nullptr);
  XchgElement e{0, nullptr, nullptr, nullptr, nullptr, -1, -1};
  ASSERT_EQ(xchgNextElement(f, &e), 1);
  EXPECT_EQ(e.textStart, static_cast<std::int64_t>(before.size()));
  EXPECT_EQ(e.textEnd, static_cast<std::int64_t>(before.size() + 6000));
  xchgElementClear(&e);
  xchgHeaderFree(&h);
  xchgClose(f);
}

// A pipe cannot be read twice: its long method texts stay in memory instead of being lost.
TEST(XchgLexer, LongMethodFromAPipeIsKeptInMemory) {
  int fds[2];
  ASSERT_EQ(::pipe(fds), 0);
  const std::string text(6000, 'k');
  const std::string body = "mP(" + text + ") oB()";
  ASSERT_EQ(::write(fds[1], body.data(), body.size()), static_cast<ssize_t>(body.size()));
  ::close(fds[1]);
  std::FILE* f = ::fdopen(fds[0], "rb");
  ASSERT_NE(f, nullptr);
  XchgElement e{0, nullptr, nullptr, nullptr, nullptr, -1, -1};
  ASSERT_EQ(xchgLexElement(f, &e), 1);
  ASSERT_NE(e.attrs, nullptr);
  EXPECT_EQ(std::string(e.attrs->value), text);
  EXPECT_EQ(e.stream, nullptr);
  xchgElementClear(&e);
  ASSERT_EQ(xchgLexElement(f, &e), 1);
  EXPECT_EQ(xchgtest::render(e), "o:B()");
  xchgElementClear(&e);
  std::fclose(f);
}

TEST_F(TempDirTest, XchgTruncatedOrCorruptFileEndsLikeTheEndAndRecordsWhere) {
  struct Case {
    std::string body;
    int elements;  // read before the reading ends
    int code;
    std::int64_t offsetInBody;  // -1: the end of the body
    std::int64_t line;          // counted from the first header line
  };
  const std::string head = xchgtest::header();  // five lines
  const std::vector<Case> cases = {
      {"oL( x[1] )\noL( x[2", 1, kXchgErrEnd, -1, 7},
      {"oL( x[1] )\r\noL( x[2] )\r\noL( x[\x80] )\n", 2, kXchgErrByte, 30, 8},
      {"oL( x[1] )\n\n  oL( y[\x1a] )\noL( x[2] )\n", 1, kXchgErrEnd, 20, 8},
      {"oL()\nvname(\\999)\n", 1, kXchgErrByte, 14, 7},
      {"oL()\n\noL( x; )\n", 1, kXchgErrName, 11, 8},
      {"oL()\n; a comment at the end", 1, 0, 0, 0},
      {"oL()\n\x1a garbage ((((", 1, 0, 0, 0},
      // A backslash before a zero byte gave a value cut short at that byte ("a" for "a\<0>b").
      {std::string("oL()\nvname(a\\\0b)\noL()\n", 22), 1, kXchgErrByte, 13, 7},
  };
  for (const Case& c : cases) {
    writeFile("t.qdx", head + c.body);
    XchgHeader h{nullptr, 0, 0, nullptr};
    std::FILE* f = xchgOpen("t.qdx", &h);
    ASSERT_NE(f, nullptr);
    XchgElement e{0, nullptr, nullptr, nullptr, nullptr, -1, -1};
    int read = 0;
    while (xchgNextElement(f, &e) == 1) ++read;
    EXPECT_EQ(e.kind, 0) << "no partial element is handed out";
    EXPECT_EQ(read, c.elements) << c.body;
    XchgLexError err{};
    xchgLexLastError(&err);
    if (c.code == 0 || c.code == kXchgErrEnd) {
      EXPECT_EQ(xchgNextElement(f, &e), 0) << "the end stays the end: " << c.body;
    }
    EXPECT_EQ(err.code, c.code) << c.body;
    if (c.code != 0) {
      const std::int64_t offset =
          c.offsetInBody < 0 ? static_cast<std::int64_t>(c.body.size()) : c.offsetInBody;
      EXPECT_EQ(err.offset, static_cast<std::int64_t>(head.size()) + offset) << c.body;
      EXPECT_EQ(err.line, c.line) << c.body;
    }
    xchgHeaderFree(&h);
    xchgClose(f);
  }
}

TEST_F(TempDirTest, XchgOpeningANewFileForgetsTheLastError) {
  writeFile("bad.qdx", xchgtest::header() + "oL(");
  writeFile("good.qdx", xchgtest::header() + "oL()");
  XchgHeader h{nullptr, 0, 0, nullptr};
  std::FILE* f = xchgOpen("bad.qdx", &h);
  XchgElement e{0, nullptr, nullptr, nullptr, nullptr, -1, -1};
  EXPECT_EQ(xchgNextElement(f, &e), 0);
  xchgClose(f);
  XchgLexError err{};
  xchgLexLastError(&err);
  EXPECT_EQ(err.code, kXchgErrEnd);
  f = xchgOpen("good.qdx", &h);
  xchgLexLastError(&err);
  EXPECT_EQ(err.code, 0);
  xchgClose(f);
  xchgHeaderFree(&h);
}

TEST_F(TempDirTest, XchgMethodNamesEndedByWhiteSpaceGoToTheTraceFile) {
  EXPECT_EQ(lexAll("mA (x) mB;c\n(y) mC(z) mD[1](w)"), "m:A(=x) | m:B(=y) | m:C(=z) | m:D[1](=w)");
  EXPECT_EQ(qdtest::readFile(kXchgTraceFile), " methode = 'A'\n methode = 'B'\n");
  EXPECT_EQ(xchgLexSetTrace(0), 1);
  EXPECT_EQ(lexAll("mE (x)"), "m:E(=x)");
  EXPECT_EQ(qdtest::readFile(kXchgTraceFile), " methode = 'A'\n methode = 'B'\n");
  xchgLexResetState();
}

// Every allocation of a read fails in turn: the read reports nothing, records error 91 or
// succeeds, and leaks nothing.
TEST(XchgLexer, MemoryFailuresEndTheReadCleanly) {
  const std::string text = "o Contour[12]( x[1/2] t[ a ] k[] ) mP( 1 2 3 ) vv(\\065)";
  for (long n = 1; n < 40; ++n) {
    xchgLexResetState();
    xchgLexErrorClear();
    memTestFailAt(n);
    const std::string got = lexAll(text);
    memTestFailAt(0);
    const bool whole = got == "o:Contour[12](x=1/2,t= a ,k) | m:P(= 1 2 3 ) | v:v=A";
    EXPECT_TRUE(whole || (got.size() >= 3 && got.substr(got.size() - 3) == "!91"))
        << n << ": " << got;
  }
  xchgLexResetState();
}
