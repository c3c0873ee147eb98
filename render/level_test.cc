#include "render/level.h"

#include <gtest/gtest.h>

#include <cstddef>
#include <cstdint>
#include <vector>

#include "render/sample_limit.h"
#include "tests/wav_fixture.h"

namespace wavsplice {
namespace {

using testing::Bytes;
using Values = std::vector<int32_t>;

struct Levelled {
  Values values;
  int64_t clipped = 0;
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

// The per-value rule: the decoded value (16-bit: x 256) times the gain (16-bit: times 1/256),
// truncated and limited to the format's range.
Levelled PerValueRule(const Values& values, double levelDb, int bits) {
  const double gain = LevelGain(levelDb);
  Levelled out;
  for (int32_t value : values) {
    const double scaled = bits == 16 ? value * 256 * gain * 0.00390625 : value * gain;
    out.values.push_back(TruncateAndLimit(scaled, bits / 8, out.clipped));
  }
  return out;
}

// Deterministic values spread over a fraction of full scale.
Values Spread(size_t count, int bits, double fraction, uint32_t seed) {
  const double fullScale = bits == 16 ? 32768.0 : 8388608.0;
  Values values;
  for (size_t i = 0; i < count; ++i) {
    seed = seed * 1103515245u + 12345u;
    const double unit = static_cast<double>(seed >> 8) / 16777216.0 * 2.0 - 1.0;  // [-1, 1)
    values.push_back(static_cast<int32_t>(unit * fraction * fullScale));
  }
  return values;
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
  // A gain a hair above 1 takes full scale to 32767.377 and -32768.377: truncated they are still in
  // range, so nothing is limited.
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

// NewLevel scales a block in one pass when nothing in it needs limiting and value by value
// otherwise. Whichever way a block goes, every value comes out as the per-value rule gives it, with
// the same count of limited values.
TEST(NewLevel, EveryBlockFollowsThePerValueRule) {
  const double levels[] = {-60.0, -6.0, -3.0, -1.5, -0.01, 0.0001, 0.01, 1.0, 3.0, 6.0, 23.9};
  const size_t frameCounts[] = {1, 3, 5, 1023, 1024};
  for (int bits : {16, 24}) {
    for (int channels : {1, 2, 6}) {
      for (size_t frames : frameCounts) {
        for (double fraction : {0.25, 0.7, 1.0}) {
          const Values values = Spread(frames * static_cast<size_t>(channels), bits, fraction,
                                       static_cast<uint32_t>(frames * 31 + bits));
          for (double levelDb : levels) {
            const Levelled expected = PerValueRule(values, levelDb, bits);
            const Levelled got = Level(values, levelDb, bits, channels);
            ASSERT_EQ(got.values, expected.values)
                << bits << "-bit, " << channels << " channels, " << frames << " frames at "
                << fraction << " of full scale, " << levelDb << " dB";
            ASSERT_EQ(got.clipped, expected.clipped)
                << bits << "-bit, " << channels << " channels, " << frames << " frames, " << levelDb
                << " dB";
          }
        }
      }
    }
  }
}

TEST(NewLevel, EverySixteenBitValueFollowsThePerValueRule) {
  Values every;
  for (int32_t value = -32768; value <= 32767; ++value) every.push_back(value);
  // Down to gains whose products lie below the normal range of doubles.
  for (double levelDb : {-6200.0, -700.0, -40.0, -3.0, -0.5, 0.0001, 0.5, 3.0, 47.9}) {
    for (int channels : {1, 2}) {
      Levelled got;
      // NewLevel takes at most kBlockSamples frames at a time.
      const size_t blockValues = static_cast<size_t>(kBlockSamples * channels);
      for (size_t start = 0; start < every.size(); start += blockValues) {
        const Values block(every.begin() + static_cast<std::ptrdiff_t>(start),
                           every.begin() + static_cast<std::ptrdiff_t>(start + blockValues));
        const Levelled part = Level(block, levelDb, 16, channels);
        got.values.insert(got.values.end(), part.values.begin(), part.values.end());
        got.clipped += part.clipped;
      }
      const Levelled expected = PerValueRule(every, levelDb, 16);
      ASSERT_EQ(got.values, expected.values) << levelDb << " dB, " << channels << " channels";
      ASSERT_EQ(got.clipped, expected.clipped) << levelDb << " dB, " << channels << " channels";
    }
  }
}

TEST(NewLevel, OneValueAtTheLimitTakesTheWholeBlockValueByValue) {
  // A quiet block with one loud value, last in the right channel, where the one-pass loop leaves
  // its tail: +6 dB limits it alone.
  Values values = Spread(2048, 16, 0.25, 7);
  values.back() = 32000;
  Levelled got = Level(values, 6.0, 16, 2);
  EXPECT_EQ(got.values, PerValueRule(values, 6.0, 16).values);
  EXPECT_EQ(got.values.back(), 32767);
  EXPECT_EQ(got.clipped, 1);

  // Results that land on the limits without going past them: full-scale values a hair above 0 dB
  // truncate back to full scale, and nothing is counted.
  values = Spread(1024, 24, 0.25, 9);
  values[500] = 8388607;
  values[501] = -8388608;
  got = Level(values, 0.000001, 24, 1);
  EXPECT_EQ(got.values, PerValueRule(values, 0.000001, 24).values);
  EXPECT_EQ(got.values[500], 8388607);
  EXPECT_EQ(got.values[501], -8388608);
  EXPECT_EQ(got.clipped, 0);
}

}  // namespace
}  // namespace wavsplice
