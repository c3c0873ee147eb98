#include "task/report.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <cstdio>
#include <string>

namespace wavsplice {
namespace {

std::string Printed(int64_t frames, int32_t sampleRate) {
  char text[64];
  std::snprintf(text, sizeof text, "%.3f", ReportSeconds(frames, sampleRate));
  return text;
}

// Within the 32-bit range the quotient is a 32-bit float, as it always
// was; beyond it, 64-bit, so that the printed milliseconds stay right.
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

}  // namespace
}  // namespace wavsplice
