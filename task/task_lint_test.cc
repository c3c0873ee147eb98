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

}  // namespace
}  // namespace wavsplice
