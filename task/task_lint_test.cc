#include "task/task_lint.h"

#include <gtest/gtest.h>

#include "task/valid_utf8.h"

namespace wavsplice {
namespace {

TEST(SuggestCommand, CloseWordsAndCaseVariants) {
  const struct {
    const char* word;
    const char* suggestion;
  } cases[] = {{"scr", "src"},
               {"xot", "xout"},
               {"level", "lvl"},
               {"XF", "xf"},
               {"Dest", "dest"},
               {"tirm", "trim"},
               {"using_sample", "using_samples"},
               {"ab", ""},
               {"hello", ""},
               {"#", ""}};
  for (const auto& c : cases) EXPECT_EQ(SuggestCommand(c.word), c.suggestion) << c.word;
}

TEST(ValidUtf8, InvalidBytesBecomeReplacementCharacters) {
  const struct {
    std::string in, out;
    bool replaced;
  } cases[] = {
      {"take1.wav", "take1.wav", false},
      {"caf\xC3\xA9.wav", "caf\xC3\xA9.wav", false},
      {"caf\xE9.wav", "caf\xEF\xBF\xBD.wav", true},
      {"\xC0\xAF", "\xEF\xBF\xBD\xEF\xBF\xBD", true},                  // overlong
      {"\xED\xA0\x80", "\xEF\xBF\xBD\xEF\xBF\xBD\xEF\xBF\xBD", true},  // surrogate
      {"\xF0\x9F\x8E\xB5", "\xF0\x9F\x8E\xB5", false},
      {"end\xE2\x82", "end\xEF\xBF\xBD\xEF\xBF\xBD", true},  // cut short
  };
  for (const auto& c : cases) {
    bool replaced = false;
    EXPECT_EQ(ValidUtf8(c.in, replaced), c.out);
    EXPECT_EQ(replaced, c.replaced);
  }
}

// XML 1.0 allows tab, line ends, U+0020 to U+D7FF, U+E000 to U+FFFD and U+10000 to U+10FFFF; DEL,
// C1 controls and the other noncharacters are allowed too.
TEST(XmlChars, WhatXmlForbidsIsReplaced) {
  const struct {
    std::string in, out;
  } cases[] = {
      {"take1.wav", "take1.wav"},
      {std::string("a\0b\x01\x1F\t\n\r", 8), "a?b?????"},
      {"\xEF\xBF\xBE|\xEF\xBF\xBF", "\xEF\xBF\xBD|\xEF\xBF\xBD"},  // U+FFFE, U+FFFF
      {"\xEF\xBF\xBD\xEF\xBF\xBC", "\xEF\xBF\xBD\xEF\xBF\xBC"},    // U+FFFD, U+FFFC
      {"\xED\x9F\xBF\xEE\x80\x80", "\xED\x9F\xBF\xEE\x80\x80"},    // U+D7FF, U+E000
      {"\x7F\xC2\x85\xEF\xB7\x90", "\x7F\xC2\x85\xEF\xB7\x90"},    // DEL, U+0085, U+FDD0
      {"\xF0\x9F\xBF\xBE\xF4\x8F\xBF\xBF",
       "\xF0\x9F\xBF\xBE\xF4\x8F\xBF\xBF"},  // U+1FFFE, U+10FFFF
  };
  for (const auto& c : cases) EXPECT_EQ(XmlChars(c.in), c.out) << c.in;
}

}  // namespace
}  // namespace wavsplice
