#include "task/timeline.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <string>

namespace wavsplice {
namespace {

// A planned run of one edit of 4 frames at the end of a destination of frames frames.
RunState OneEditAtTheEnd(int64_t frames, int32_t sampleMode, int32_t sampleRate) {
  RunState run;
  run.destPath = "out.wav";
  run.sampleMode = sampleMode;
  run.format = IntegerFormat(1, 1, sampleRate);
  run.destLength = frames;
  run.entryCount = 1;
  run.entries.resize(1);
  EditEntry& entry = run.entries[0];
  entry.sourcePath = "a.wav";
  entry.line = 1;
  entry.readEnd = 4;
  entry.readLength = 4;
  entry.insertPoint = frames - 4;
  return run;
}

// The axis' ticks as "x label" pairs, then the x of the edit's span.
std::string AxisAndSpan(const std::string& svg) {
  std::string found;
  const std::string tick = "\" y=\"47.0\" text-anchor=\"middle\">";
  for (size_t at = svg.find(tick); at != std::string::npos; at = svg.find(tick, at + 1)) {
    const size_t x = svg.rfind("x=\"", at) + 3;
    const size_t end = svg.find('<', at);
    found += svg.substr(x, at - x) + " " + svg.substr(at + tick.size(), end - at - tick.size());
    found += ", ";
  }
  const size_t span = svg.find("\" y=\"75.0\" width=");
  const size_t x = svg.rfind("x=\"", span) + 3;
  return found + "span " + svg.substr(x, span - x);
}

// Frame counts past 10^15 take the pixel and tick arithmetic past 2^63; up to 2^63 - 1 frames
// (which 8-bit mono allows) the picture stays exact and its ticks few.
TEST(Timeline, AxisAndSpansUpToTheLastFrame) {
  struct Case {
    int64_t frames;
    int32_t sampleMode;
    int32_t sampleRate;
    const char* drawn;
  };
  const Case cases[] = {
      {2000000000000000, 1, 8000,
       "420.0 0, 496.0 200000000000000, 572.0 400000000000000, 648.0 600000000000000, "
       "724.0 800000000000000, 800.0 1000000000000000, 876.0 1200000000000000, "
       "952.0 1400000000000000, 1028.0 1600000000000000, 1104.0 1800000000000000, "
       "1180.0 2000000000000000, span 1179.9"},
      {9000000000000000, 0, 8000,
       "420.0 0 s, 555.1 200000000000 s, 690.2 400000000000 s, 825.3 600000000000 s, "
       "960.4 800000000000 s, 1095.5 1000000000000 s, span 1179.9"},
      {INT64_MAX, 1, 8000,
       "420.0 0, 502.3 1000000000000000000, 584.7 2000000000000000000, "
       "667.1 3000000000000000000, 749.5 4000000000000000000, 831.9 5000000000000000000, "
       "914.3 6000000000000000000, 996.7 7000000000000000000, 1079.1 8000000000000000000, "
       "1161.5 9000000000000000000, span 1179.9"},
      // Milliseconds would pass 2^63: the ticks count whole seconds.
      {INT64_MAX, 0, 1,
       "420.0 0 s, 502.3 1000000000000000000 s, 584.7 2000000000000000000 s, "
       "667.1 3000000000000000000 s, 749.5 4000000000000000000 s, "
       "831.9 5000000000000000000 s, 914.3 6000000000000000000 s, "
       "996.7 7000000000000000000 s, 1079.1 8000000000000000000 s, "
       "1161.5 9000000000000000000 s, span 1179.9"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.frames);
    // Stop at the first wrong picture: the code this guards against drew ticks without end at 2^63
    // frames.
    ASSERT_EQ(AxisAndSpan(TimelineSvg(OneEditAtTheEnd(c.frames, c.sampleMode, c.sampleRate))),
              c.drawn);
  }
}

TEST(Timeline, NamesHoldOnlyCharactersXmlAllows) {
  RunState run = OneEditAtTheEnd(8000, 1, 8000);
  run.destPath = "out\xEF\xBF\xBF.wav";
  run.entries[0].sourcePath = "a\xEF\xBF\xBE\x01<\xFF.wav";
  const std::string svg = TimelineSvg(run);
  EXPECT_NE(svg.find("Plan of out\xEF\xBF\xBD.wav: 1 edits"), std::string::npos);
  EXPECT_NE(svg.find(">Task 1  a\xEF\xBF\xBD?&lt;\xEF\xBF\xBD.wav  0-4  +0.0 dB</text>"),
            std::string::npos);
  EXPECT_EQ(svg.find("\xEF\xBF\xBE"), std::string::npos);
  EXPECT_EQ(svg.find("\xEF\xBF\xBF"), std::string::npos);
}

}  // namespace
}  // namespace wavsplice
