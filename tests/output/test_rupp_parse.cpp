// The two states of the name(value) line parser, each on its own: where it leaves the cursor,
// what it writes and which state follows.
#include <gtest/gtest.h>

#include <string>

#include "output/pof_reader.h"

namespace {

struct Buffers {
  char name[16] = "stale";
  char value[16] = "stale";
  RuppCallBuffer n{name, sizeof name, 0};
  RuppCallBuffer v{value, sizeof value, 0};
};

}  // namespace

// The name state: the last word before '(' and the cursor left on the '('; an empty name, a ')'
// first or the end of the text fail with the cursor on what stopped it. It never writes the value.
TEST(RuppParseStates, NameState) {
  struct Case {
    const char* text;
    int state;
    const char* name;
    std::size_t stop;  // where the cursor stops
  };
  const Case cases[] = {
      {"error(1102)", kRuppParseArgumentState, "error", 5},
      {" \tsome words  error (1102)", kRuppParseArgumentState, "error", 20},
      {"(1102)", kRuppParseFailed, "", 0},
      {"   (1102)", kRuppParseFailed, "", 3},
      {"name) (x)", kRuppParseFailed, "name", 4},
      {"no parenthesis", kRuppParseFailed, "parenthesis", 14},
      {"", kRuppParseFailed, "", 0},
  };
  for (const Case& c : cases) {
    Buffers b;
    const char* cursor = c.text;
    EXPECT_EQ(ruppParseName(&cursor, &b.n, &b.v), c.state) << c.text;
    EXPECT_EQ(cursor - c.text, static_cast<std::ptrdiff_t>(c.stop)) << c.text;
    EXPECT_STREQ(b.name, c.name) << c.text;
    EXPECT_STREQ(b.value, "stale") << c.text;
  }
  // A name longer than the buffer is cut, its length still counted.
  Buffers b;
  const std::string longName(40, 'n');
  const std::string text = longName + "(x)";
  const char* cursor = text.c_str();
  EXPECT_EQ(ruppParseName(&cursor, &b.n, &b.v), kRuppParseArgumentState);
  EXPECT_EQ(std::string(b.name), longName.substr(0, sizeof b.name - 1));
  EXPECT_EQ(b.n.length, longName.size());
  const char* none = nullptr;
  EXPECT_EQ(ruppParseName(&none, &b.n, &b.v), kRuppParseFailed);
  EXPECT_EQ(ruppParseName(&cursor, nullptr, &b.v), kRuppParseFailed);
}

// The argument state: from the cursor it skips to '(' and copies up to ')' or the end of the text,
// leaving the cursor there; a ')' or the end before any '(' fails. It never writes the name.
TEST(RuppParseStates, ArgumentState) {
  struct Case {
    const char* text;
    int state;
    const char* value;
    std::size_t stop;
  };
  const Case cases[] = {
      {"(1102)rest", kRuppParseDone, "1102", 5},
      {"skipped (a b)", kRuppParseDone, "a b", 12},
      {"()", kRuppParseDone, "", 1},
      {"(no end", kRuppParseDone, "no end", 7},
      {"x) (y)", kRuppParseFailed, "stale", 1},
      {"nothing", kRuppParseFailed, "stale", 7},
  };
  for (const Case& c : cases) {
    Buffers b;
    const char* cursor = c.text;
    EXPECT_EQ(ruppParseArgument(&cursor, &b.n, &b.v), c.state) << c.text;
    EXPECT_EQ(cursor - c.text, static_cast<std::ptrdiff_t>(c.stop)) << c.text;
    EXPECT_STREQ(b.value, c.value) << c.text;
    EXPECT_STREQ(b.name, "stale") << c.text;
  }
}

// The two states in turn read what ruppParseCall reads.
TEST(RuppParseStates, NameThenArgumentAsTheCall) {
  for (const char* text : {"0: error(1505,depth)", "include(part.pof)", "a b c(d)e"}) {
    Buffers b;
    const char* cursor = text;
    ASSERT_EQ(ruppParseName(&cursor, &b.n, &b.v), kRuppParseArgumentState) << text;
    ASSERT_EQ(ruppParseArgument(&cursor, &b.n, &b.v), kRuppParseDone) << text;
    char name[16];
    char value[16];
    ASSERT_EQ(ruppParseCall(text, name, sizeof name, value, sizeof value), 1) << text;
    EXPECT_STREQ(b.name, name) << text;
    EXPECT_STREQ(b.value, value) << text;
  }
}
