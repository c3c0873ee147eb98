#include "task/task_values.h"

#include <gtest/gtest.h>

#include <string>

namespace wavsplice {
namespace {

TEST(TaskValues, ClockTimesInSecondsModeOnly) {
  struct Case {
    const char* token;
    double seconds;  // TaskTime in seconds mode
    double samples;  // TaskTime in sample mode
    bool clock;
  };
  const Case cases[] = {
      {"1:30", 90, 1, true},           {"0:06.0", 6, 0, true},   {"1:02:03.5", 3723.5, 1, true},
      {"-0:01.25", -1.25, -0.0, true}, {"+2:00", 120, 2, true},  {"125:00", 7500, 125, true},
      {"1:60", 1, 1, false},           {"1:5", 1, 1, false},     {"1:30:", 1, 1, false},
      {"1:30x", 1, 1, false},          {"1.5", 1.5, 1.5, false}, {":30", 0, 0, false},
      {"1:00:60", 1, 1, false},        {"1:30.", 1, 1, false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.token);
    double seconds = 0;
    EXPECT_EQ(ClockSeconds(c.token, seconds), c.clock);
    EXPECT_EQ(TaskTime(c.token, false), c.seconds);
    EXPECT_EQ(TaskTime(c.token, true), c.samples);
  }
}

TEST(TaskValues, WhollyANumber) {
  EXPECT_TRUE(WhollyNumber("1.5", false));
  EXPECT_TRUE(WhollyNumber(" -2e3 ", false));
  EXPECT_TRUE(WhollyNumber("1:30", true));
  EXPECT_FALSE(WhollyNumber("1:30", false));
  EXPECT_FALSE(WhollyNumber("0,4", true));
  EXPECT_FALSE(WhollyNumber("abc", false));
  EXPECT_FALSE(WhollyNumber("", false));
  EXPECT_FALSE(WhollyNumber("2.5sec", false));
  EXPECT_TRUE(WhollyInteger("3"));
  EXPECT_FALSE(WhollyInteger("2.7"));
  EXPECT_FALSE(WhollyInteger("one"));
}

}  // namespace
}  // namespace wavsplice
