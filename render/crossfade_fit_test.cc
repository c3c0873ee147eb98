#include "render/crossfade_fit.h"

#include <gtest/gtest.h>

#include <limits>

#include "wav/wav_writer.h"

namespace wavsplice {
namespace {

int64_t SamplesFor(int32_t sampleRate, float width, int64_t before = 4410) {
  int64_t xfSamples = before;
  EXPECT_TRUE(CrossfadeSamples(sampleRate, width, xfSamples));
  return xfSamples;
}

TEST(CrossfadeSamples, FromTheWidthInMilliseconds) {
  EXPECT_EQ(SamplesFor(44100, 100.0f), 4410);
  EXPECT_EQ(SamplesFor(48000, 100.0f), 4800);
  // 44100 x 33.3 in single precision is 1468530, truncated after / 1000.
  EXPECT_EQ(SamplesFor(44100, 33.3f), 1468);
  EXPECT_EQ(SamplesFor(96000, 0.5f), 48);
  EXPECT_EQ(SamplesFor(8000, 0.1f), 0);

  // No positive width: the count stays as it was, whatever the rate.
  EXPECT_EQ(SamplesFor(96000, 0.0f), 4410);
  EXPECT_EQ(SamplesFor(96000, -0.0f), 4410);
  EXPECT_EQ(SamplesFor(48000, -20.0f, 1234), 1234);
  EXPECT_EQ(SamplesFor(48000, std::numeric_limits<float>::quiet_NaN()), 4410);

  // Counts beyond the signed 32-bit range are made; beyond the 64-bit range (or from an infinite
  // product) the crossfade cannot be.
  int64_t xfSamples = 4410;
  EXPECT_EQ(SamplesFor(44100, 1.0e8f), 4409999753);  // 4.41e12 in single precision
  // The float product decides: 1000 x 2147483008 = 2147482992640.
  EXPECT_EQ(SamplesFor(1000, 2.147483e9f), 2147482992);
  EXPECT_FALSE(CrossfadeSamples(44100, 1.0e30f, xfSamples));
  EXPECT_FALSE(CrossfadeSamples(44100, std::numeric_limits<float>::infinity(), xfSamples));
  EXPECT_FALSE(CrossfadeSamples(44100, 3.4e38f, xfSamples));
  EXPECT_EQ(xfSamples, 4410);
}

TEST(FitCrossfade, BothStartsMustLieWithinTheirFiles) {
  const struct {
    int64_t insertPoint, readStart;
    int64_t xfSamples;
    int64_t destFrames, sourceFrames;
    CrossfadeOutcome fit;
  } cases[] = {
      {100, 100, 200, 1000, 1000, CrossfadeOutcome::kMade},  // starts exactly at 0
      {99, 100, 200, 1000, 1000, CrossfadeOutcome::kDestinationTooShort},
      {100, 99, 200, 1000, 1000, CrossfadeOutcome::kSourceTooShort},
      {99, 99, 200, 1000, 1000, CrossfadeOutcome::kDestinationTooShort},  // destination first
      {1100, 500, 200, 1000, 1000, CrossfadeOutcome::kMade},              // start at the end passes
      {1101, 500, 200, 1000, 1000, CrossfadeOutcome::kDestinationTooShort},
      {500, 1101, 200, 1000, 1000, CrossfadeOutcome::kSourceTooShort},
      {5, 5, 11, 1000, 1000, CrossfadeOutcome::kMade},  // half of 11 is 5
      {0, 0, 0, 0, 0, CrossfadeOutcome::kMade},
      {10, 10, 4, 1000, -1, CrossfadeOutcome::kSourceTooShort},  // audio past the end
  };
  for (const auto& c : cases) {
    EXPECT_EQ(FitCrossfade(c.insertPoint, c.readStart, c.xfSamples, c.destFrames, c.sourceFrames),
              c.fit)
        << c.insertPoint << " " << c.readStart << " " << c.xfSamples;
  }
  EXPECT_EQ(FramesInFile(44 + 7, 44, 2), 3);
  EXPECT_EQ(FramesInFile(40, 44, 2), -1);
  // Past 2 GiB and 4 GiB alike, up to the last frame a file offset reaches.
  EXPECT_TRUE(CrossfadeWithinReach(1073741805 - 10 + 6, 10, 2));
  EXPECT_TRUE(CrossfadeWithinReach(3000000000, 4410000000, 2));
  EXPECT_TRUE(CrossfadeWithinReach(MaxDataFrames(2) - 10 + 5, 10, 2));
  EXPECT_FALSE(CrossfadeWithinReach(MaxDataFrames(2) - 10 + 6, 10, 2));
}

}  // namespace
}  // namespace wavsplice
