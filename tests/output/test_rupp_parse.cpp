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

// Each state on its own. The name state reads the last word before '(' and leaves the cursor on
// the '('; an empty name, a ')' first or the end of the text fail with the cursor on what stopped
// it. The argument state skips to '(' and copies up to ')' or the end of the text, leaving the
// cursor there; a ')' or the end before any '(' fails. Neither writes the other's buffer.
TEST(RuppParseStates, EachStateOnItsOwn) {
  using State = int (*)(const char**, RuppCallBuffer*, RuppCallBuffer*);
  struct Case {
    State state;
    const char* text;
    int next;
    const char* name;
    const char* value;
    std::size_t stop;  // where the cursor stops
  };
  const Case cases[] = {
      {ruppParseName, "error(1102)", kRuppParseArgumentState, "error", "stale", 5},
      {ruppParseName, " \tsome words  error (1102)", kRuppParseArgumentState, "error", "stale", 20},
      {ruppParseName, "(1102)", kRuppParseFailed, "", "stale", 0},
      {ruppParseName, "   (1102)", kRuppParseFailed, "", "stale", 3},
      {ruppParseName, "name) (x)", kRuppParseFailed, "name", "stale", 4},
      {ruppParseName, "no parenthesis", kRuppParseFailed, "parenthesis", "stale", 14},
      {ruppParseName, "", kRuppParseFailed, "", "stale", 0},
      {ruppParseArgument, "(1102)rest", kRuppParseDone, "stale", "1102", 5},
      {ruppParseArgument, "skipped (a b)", kRuppParseDone, "stale", "a b", 12},
      {ruppParseArgument, "()", kRuppParseDone, "stale", "", 1},
      {ruppParseArgument, "(no end", kRuppParseDone, "stale", "no end", 7},
      {ruppParseArgument, "x) (y)", kRuppParseFailed, "stale", "stale", 1},
      {ruppParseArgument, "nothing", kRuppParseFailed, "stale", "stale", 7},
  };
  for (const Case& c : cases) {
    Buffers b;
    const char* cursor = c.text;
    EXPECT_EQ(c.state(&cursor, &b.n, &b.v), c.next) << c.text;
    EXPECT_EQ(cursor - c.text, static_cast<std::ptrdiff_t>(c.stop)) << c.text;
    EXPECT_STREQ(b.name, c.name) << c.text;
    EXPECT_STREQ(b.value, c.value) << c.text;
  }
  // A name longer than the buffer is cut, its length still counted; null arguments fail.
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
  EXPECT_EQ(ruppParseArgument(&none, &b.n, &b.v), kRuppParseFailed);
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
