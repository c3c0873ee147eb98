#include "render/level.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <vector>

#include "tests/wav_fixture.h"

namespace wavsplice {
namespace {

using testing::Bytes;
using Values = std::vector<int32_t>;

struct Levelled {
  Values values;
  int64_t clipped;
};

// Encodes interleaved values, levels them in place and decodes the result.
Levelled Level(const Values& values, double levelDb, int bits, int channels) {
  Bytes bytes = testing::EncodeSamples(values, bits);
  const size_t size = bytes.size();
  bytes.resize(size + 4, 0xaa);
  const int32_t frames = static_cast<int32_t>(values.size()) / channels;
  const int64_t clipped =
      NewLevel(bytes.data(), levelDb, IntegerFormat(bits / 8, channels), frames);
  EXPECT_EQ(Bytes(bytes.begin() + static_cast<long>(size), bytes.end()), Bytes(4, 0xaa))
      << "wrote past the frames";
  bytes.resize(size);
  return {testing::DecodeSamples(bytes, bits), clipped};
}

TEST(LevelGain, IsTenToTheDbOverTwenty) {
  EXPECT_EQ(LevelGain(-6.0), 0.5011872336272722);
  EXPECT_EQ(LevelGain(6.0), 1.9952623149688795);
  EXPECT_EQ(LevelGain(-20.0), 0.1);
  EXPECT_EQ(LevelGain(0.0), 1.0);
}

TEST(NewLevel, WorkedValues) {
  const Values sixteen = {1000, -1000, 32767, -32768, 1, -1};
  const Values sixteenAtMinus6 = {501, -501, 16422, -16422, 0, 0};
  Levelled mono = Level(sixteen, -6.0, 16, 1);
  EXPECT_EQ(mono.values, sixteenAtMinus6);
  EXPECT_EQ(mono.clipped, 0);
  // Stereo: both channels take the same gain (frames {1000,-1000}, ...).
  Levelled stereo = Level(sixteen, -6.0, 16, 2);
  EXPECT_EQ(stereo.values, sixteenAtMinus6);
  EXPECT_EQ(stereo.clipped, 0);

  const Values wide = {8388607, -8388608, 1000, -1000};
  const Values wideAtMinus20 = {838860, -838860, 100, -100};
  EXPECT_EQ(Level(wide, -20.0, 24, 1).values, wideAtMinus20);
  EXPECT_EQ(Level(wide, -20.0, 24, 2).values, wideAtMinus20);
  // Within range a gain above 1 is exact too: 1000000 x 3.98107... = 3981071.7.
  EXPECT_EQ(Level({1000000, -1000000}, 12.0, 24, 2).values, (Values{3981071, -3981071}));
}

TEST(NewLevel, TruncatesTowardZero) {
  // -6 dB: 3 -> 1.5036 and -3 -> -1.5036 (rounding would give 2, flooring -2).
  EXPECT_EQ(Level({3, -3, 2, -2}, -6.0, 16, 1).values, (Values{1, -1, 1, -1}));
  // -20 dB: 7 x 0.1 = 0.7000000000000001 -> 0; -7 -> 0, -19 -> -1.
  EXPECT_EQ(Level({7, -7, 19, -19}, -20.0, 24, 1).values, (Values{0, 0, 1, -1}));
}

TEST(NewLevel, LimitsToTheFormatRangeAndCountsLimitedValues) {
  // +12 dB (x 3.98): full-scale values hold at full scale instead of wrapping.
  Levelled sixteen = Level({32767, -32768, 1000, -10000}, 12.0, 16, 1);
  EXPECT_EQ(sixteen.values, (Values{32767, -32768, 3981, -32768}));
  EXPECT_EQ(sixteen.clipped, 3);

  Levelled stereo = Level({32767, -32768, 8230, -8231}, 12.0, 16, 2);
  EXPECT_EQ(stereo.values, (Values{32767, -32768, 32764, -32768}));  // -8231 -> -32768.2
  EXPECT_EQ(stereo.clipped, 2);

  Levelled wide = Level({8388607, -8388608, 4000000, -1000000}, 12.0, 24, 2);
  EXPECT_EQ(wide.values, (Values{8388607, -8388608, 8388607, -3981071}));
  EXPECT_EQ(wide.clipped, 3);
}

TEST(NewLevel, CountsOnlyResultsThatTruncationLeavesOutOfRange) {
  // A gain a hair above 1 takes full scale to 32767.377 and -32768.377:
  // truncated they are still in range, so nothing is limited.
  const double hair = 0.0001;
  Levelled sixteen = Level({32767, -32768}, hair, 16, 2);
  EXPECT_EQ(sixteen.values, (Values{32767, -32768}));
  EXPECT_EQ(sixteen.clipped, 0);
  Levelled wide = Level({8388607, -8388608}, 0.000001, 24, 1);
  EXPECT_EQ(wide.values, (Values{8388607, -8388608}));
  EXPECT_EQ(wide.clipped, 0);
}

TEST(NewLevel, CountZeroLeavesTheBytes) {
  Bytes bytes = testing::EncodeSamples({1000, -1000}, 16);
  const Bytes before = bytes;
  EXPECT_EQ(NewLevel(bytes.data(), 12.0, IntegerFormat(2, 1), 0), 0);
  EXPECT_EQ(bytes, before);
}

}  // namespace
}  // namespace wavsplice
