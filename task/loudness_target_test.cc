#include "task/loudness_target.h"

#include <gtest/gtest.h>

#include <limits>
#include <string>

#include "task/level_match.h"
#include "task/loudness_report.h"

namespace wavsplice {
namespace {

constexpr double kInf = std::numeric_limits<double>::infinity();

LoudnessMeasure Measured(double lufs, double truePeak, double samplePeak, double rms,
                         double floor) {
  LoudnessMeasure measure;
  measure.integratedLufs = lufs;
  measure.truePeakDbtp = truePeak;
  measure.samplePeakDbfs = samplePeak;
  measure.rmsDbfs = rms;
  measure.noiseFloorDbfs = floor;
  return measure;
}

// Each miss as "value measured low..high change".
std::string MissText(const std::string& target, const LoudnessMeasure& measure) {
  std::string text;
  for (const TargetMiss& miss : MissesOf(*FindLoudnessTarget(target), measure)) {
    text += std::to_string(static_cast<int>(miss.value)) + " " + Tenths(miss.measured) + " " +
            Tenths(miss.low) + ".." + Tenths(miss.high) + " " + Tenths(miss.changeDb) + "; ";
  }
  return text;
}

TEST(LoudnessTarget, MissesOfEachTarget) {
  struct Case {
    const char* target;
    LoudnessMeasure measure;
    const char* misses;
  };
  const Case cases[] = {
      {"podcast", Measured(-16.9, -1.0, -2, -20, -90), ""},
      {"podcast", Measured(-20.0, -3.0, -3, -20, -90), "0 -20.0 -17.0..-15.0 4.0; "},
      {"podcast", Measured(-14.0, -0.5, -1, -20, -90),
       "0 -14.0 -17.0..-15.0 -2.0; 2 -0.5 -inf..-1.0 0.0; "},
      {"podcast", Measured(-kInf, -kInf, -kInf, -kInf, -kInf), "0 -inf -17.0..-15.0 inf; "},
      {"podcast-mono", Measured(-19.5, -1.5, -2, -20, -30), ""},
      {"ebu", Measured(-23.6, -1.5, -2, -20, -30), "0 -23.6 -23.5..-22.5 0.6; "},
      {"acx", Measured(-10, 0.0, -3.0, -18.0, -60.0), ""},
      {"acx", Measured(-10, 0.0, -2.9, -25.0, -59.0),
       "1 -25.0 -23.0..-18.0 4.5; 3 -2.9 -inf..-3.0 0.0; 4 -59.0 -inf..-60.0 0.0; "},
  };
  for (const Case& c : cases) EXPECT_EQ(MissText(c.target, c.measure), c.misses) << c.target;
  EXPECT_EQ(FindLoudnessTarget("Podcast"), nullptr);
}

TEST(LoudnessTarget, TenthsAndMatchedLevels) {
  EXPECT_EQ(Tenths(-0.04), "0.0");
  EXPECT_EQ(Tenths(-19.96), "-20.0");
  EXPECT_EQ(Tenths(3.95), "4.0");
  EXPECT_EQ(Tenths(-kInf), "-inf");
  EXPECT_EQ(MatchedLevel(-27.345, -16), 11.35);
  EXPECT_EQ(MatchedLevel(-10.001, -16), -6.0);
  EXPECT_EQ(MatchedLevel(-45, -16), 23.99);
}

}  // namespace
}  // namespace wavsplice
