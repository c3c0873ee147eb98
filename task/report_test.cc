#include "task/report.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <cstdio>
#include <nlohmann/json.hpp>
#include <string>

namespace wavsplice {
namespace {

std::string Printed(int64_t frames, int32_t sampleRate) {
  char text[64];
  std::snprintf(text, sizeof text, "%.3f", ReportSeconds(frames, sampleRate));
  return text;
}

// Within the 32-bit range the quotient is a 32-bit float, as it always was; beyond it, 64-bit, so
// that the printed milliseconds stay right.
TEST(ReportSeconds, SameDigitsAsBeforeThenExact) {
  struct Case {
    int64_t frames;
    int32_t rate;
    const char* printed;
  };
  const Case cases[] = {
      {66150, 44100, "1.500"},
      {1, 44100, "0.000"},
      {518400000, 48000, "10800.000"},   // three hours
      {2147483647, 48000, "44739.242"},  // float: 44739.2421875
      {2147483648, 48000, "44739.243"},  // exact: 44739.24266...
      {4147200000, 48000, "86400.000"},  // a day
      {4147199952, 48000, "86399.999"},  // a float would print 86399.992
      {int64_t{1} << 40, 192000, "5726623.061"},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(Printed(c.frames, c.rate), c.printed) << c.frames << " at " << c.rate;
  }
}

// JSON has no number for infinities and NaN: they are written as strings, and every finite value as
// the number it is.
TEST(ReportJson, NonFiniteNumbersAreStrings) {
  RunState run;
  run.entryCount = 2;
  run.entries.resize(2);
  EditEntry& odd = run.entries[0];
  odd.xin = std::nan("");
  odd.xoutGiven = HUGE_VAL;  // "1e400"
  odd.trim = -HUGE_VAL;
  odd.append = 0;
  odd.insGiven = std::nan("");
  odd.lvl = -HUGE_VAL;
  odd.xfLine = 3;
  odd.xfWidth = HUGE_VALF;
  EditEntry& plain = run.entries[1];
  plain.xin = 0.25;
  plain.xoutGiven = 1e300;
  plain.lvl = -6;
  plain.xfLine = 5;
  plain.xfWidth = 0.1f;
  const nlohmann::json report = nlohmann::json::parse(ReportJson(run, RunRecord()));
  const nlohmann::json& first = report["edits"][0];
  EXPECT_EQ(first["given"],
            nlohmann::json::parse(
                R"({"xin": "nan", "xout": "inf", "trim": "-inf", "ins": "nan", "lvl": "-inf"})"));
  EXPECT_EQ(first["level_db"], "-inf");
  EXPECT_EQ(first["crossfade"]["width_ms"], "inf");
  const nlohmann::json& second = report["edits"][1];
  EXPECT_EQ(second["given"],
            nlohmann::json::parse(
                R"({"xin": 0.25, "xout": 1e300, "trim": 0.0, "ins": "app", "lvl": -6.0})"));
  EXPECT_EQ(second["level_db"], -6.0);
  EXPECT_EQ(second["crossfade"]["width_ms"], static_cast<double>(0.1f));
}

}  // namespace
}  // namespace wavsplice
