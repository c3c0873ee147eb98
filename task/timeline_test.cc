#include "task/timeline.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <string>

namespace wavsplice {
namespace {

// A planned run of one edit of 4 frames at the end of a destination of
// frames frames.
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

// Frame counts past 10^15 take the pixel and tick arithmetic past 2^63;
// up to 2^63 - 1 frames (which 8-bit mono allows) the picture stays exact
// and its ticks few.
TEST(Timeline, AxisAndSpansUpToTheLastFrame) {
  struct Case {
    int64_t frames;
    int32_t sampleMode;
    int32_t sampleRate;
    const char* drawn;
  };
  const Case cases[] = {
      {2000000000000000, 1, 8000,
       "330.0 0, 415.0 200000000000000, 500.0 400000000000000, 585.0 600000000000000, "
       "670.0 800000000000000, 755.0 1000000000000000, 840.0 1200000000000000, "
       "925.0 1400000000000000, 1010.0 1600000000000000, 1095.0 1800000000000000, "
       "1180.0 2000000000000000, span 1179.9"},
      {9000000000000000, 0, 8000,
       "330.0 0 s, 481.1 200000000000 s, 632.2 400000000000 s, 783.3 600000000000 s, "
       "934.4 800000000000 s, 1085.5 1000000000000 s, span 1179.9"},
      {INT64_MAX, 1, 8000,
       "330.0 0, 422.1 1000000000000000000, 514.3 2000000000000000000, "
       "606.4 3000000000000000000, 698.6 4000000000000000000, 790.7 5000000000000000000, "
       "882.9 6000000000000000000, 975.1 7000000000000000000, 1067.2 8000000000000000000, "
       "1159.4 9000000000000000000, span 1179.9"},
      // Milliseconds would pass 2^63: the ticks count whole seconds.
      {INT64_MAX, 0, 1,
       "330.0 0 s, 422.1 1000000000000000000 s, 514.3 2000000000000000000 s, "
       "606.4 3000000000000000000 s, 698.6 4000000000000000000 s, "
       "790.7 5000000000000000000 s, 882.9 6000000000000000000 s, "
       "975.1 7000000000000000000 s, 1067.2 8000000000000000000 s, "
       "1159.4 9000000000000000000 s, span 1179.9"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.frames);
    // Stop at the first wrong picture: the code this guards against drew
    // ticks without end at 2^63 frames.
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
  EXPECT_NE(svg.find(">Task 1  a\xEF\xBF\xBD?&lt;\xEF\xBF\xBD.wav  0.0 dB</text>"),
            std::string::npos);
  EXPECT_EQ(svg.find("\xEF\xBF\xBE"), std::string::npos);
  EXPECT_EQ(svg.find("\xEF\xBF\xBF"), std::string::npos);
}

}  // namespace
}  // namespace wavsplice
