#include "render/crossfade_fit.h"

#include <gtest/gtest.h>

#include "wav/wav_writer.h"

namespace wavsplice {
namespace {

TEST(FitCrossfade, BothStartsMustLieWithinTheirFiles) {
  const struct {
    int64_t insertPoint, readStart;
    int64_t xfSamples;
    int64_t destFrames, sourceFrames;
    CrossfadeFit fit;
  } cases[] = {
      {100, 100, 200, 1000, 1000, CrossfadeFit::kFits},  // starts exactly at 0
      {99, 100, 200, 1000, 1000, CrossfadeFit::kDestinationTooShort},
      {100, 99, 200, 1000, 1000, CrossfadeFit::kSourceTooShort},
      {99, 99, 200, 1000, 1000, CrossfadeFit::kDestinationTooShort},  // destination first
      {1100, 500, 200, 1000, 1000, CrossfadeFit::kFits},              // start at the end passes
      {1101, 500, 200, 1000, 1000, CrossfadeFit::kDestinationTooShort},
      {500, 1101, 200, 1000, 1000, CrossfadeFit::kSourceTooShort},
      {5, 5, 11, 1000, 1000, CrossfadeFit::kFits},  // half of 11 is 5
      {0, 0, 0, 0, 0, CrossfadeFit::kFits},
      {10, 10, 4, 1000, -1, CrossfadeFit::kSourceTooShort},  // audio past the end
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
