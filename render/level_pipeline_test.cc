// The pipeline hands chunks to its helper thread one at a time; whatever
// thread does the work, each chunk must come back as LevelFrames leaves it,
// with its own count of limited values.
#include "render/level_pipeline.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <vector>

#include "render/level.h"
#include "tests/wav_fixture.h"

namespace wavsplice {
namespace {

TEST(LevelPipeline, EachChunkComesBackAsLevelFramesLeavesIt) {
  const PcmFormat format = IntegerFormat(3, 2);
  // Loud enough that +6 dB limits some values in every chunk.
  std::vector<int32_t> values;
  for (int32_t i = 0; i < 2 * 5000; ++i) values.push_back((i * 7919) % 16000000 - 8000000);
  const testing::Bytes original = testing::EncodeSamples(values, 24);

  LevelPipeline pipeline;
  EXPECT_EQ(pipeline.Finish(), 0);  // nothing begun
  for (int64_t frames : {1, 1024, 1025, 5000}) {
    SCOPED_TRACE(frames);
    testing::Bytes expected(original.begin(), original.begin() + frames * 6);
    const int64_t expectedClipped = LevelFrames(expected.data(), 6.0, format, frames);
    ASSERT_GT(expectedClipped, 0);
    for (int round = 0; round < 3; ++round) {
      testing::Bytes got(original.begin(), original.begin() + frames * 6);
      pipeline.Begin(got.data(), frames, 6.0, format);
      EXPECT_EQ(pipeline.Finish(), expectedClipped);
      EXPECT_EQ(got, expected);
    }
  }
}

}  // namespace
}  // namespace wavsplice
