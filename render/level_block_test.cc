// NewLevel scales a block in one pass when nothing in it needs limiting and
// value by value otherwise. Whichever way a block goes, every value must
// come out as the per-value rule gives it, with the same count of limited
// values.
#include <gtest/gtest.h>

#include <cstddef>
#include <cstdint>
#include <vector>

#include "render/level.h"
#include "render/sample_limit.h"
#include "tests/wav_fixture.h"

namespace wavsplice {
namespace {

using Values = std::vector<int32_t>;

struct Levelled {
  Values values;
  int64_t clipped = 0;
};

// The per-value rule: the decoded value (16-bit: x 256) times the gain
// (16-bit: times 1/256), truncated and limited to the format's range.
Levelled PerValueRule(const Values& values, double levelDb, int bits) {
  const double gain = LevelGain(levelDb);
  Levelled out;
  for (int32_t value : values) {
    const double scaled = bits == 16 ? value * 256 * gain * 0.00390625 : value * gain;
    out.values.push_back(TruncateAndLimit(scaled, bits / 8, out.clipped));
  }
  return out;
}

Levelled ThroughNewLevel(const Values& values, double levelDb, int bits, int channels) {
  testing::Bytes bytes = testing::EncodeSamples(values, bits);
  const int32_t frames = static_cast<int32_t>(values.size()) / channels;
  Levelled out;
  out.clipped = NewLevel(bytes.data(), levelDb, IntegerFormat(bits / 8, channels), frames);
  out.values = testing::DecodeSamples(bytes, bits);
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

TEST(NewLevelBlock, EveryBlockFollowsThePerValueRule) {
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
            const Levelled got = ThroughNewLevel(values, levelDb, bits, channels);
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

TEST(NewLevelBlock, EverySixteenBitValueFollowsThePerValueRule) {
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
        const Levelled part = ThroughNewLevel(block, levelDb, 16, channels);
        got.values.insert(got.values.end(), part.values.begin(), part.values.end());
        got.clipped += part.clipped;
      }
      const Levelled expected = PerValueRule(every, levelDb, 16);
      ASSERT_EQ(got.values, expected.values) << levelDb << " dB, " << channels << " channels";
      ASSERT_EQ(got.clipped, expected.clipped) << levelDb << " dB, " << channels << " channels";
    }
  }
}

TEST(NewLevelBlock, OneValueAtTheLimitTakesTheWholeBlockValueByValue) {
  // A quiet block with one loud value, last in the right channel, where the
  // one-pass loop leaves its tail: +6 dB limits it alone.
  Values values = Spread(2048, 16, 0.25, 7);
  values.back() = 32000;
  Levelled got = ThroughNewLevel(values, 6.0, 16, 2);
  EXPECT_EQ(got.values, PerValueRule(values, 6.0, 16).values);
  EXPECT_EQ(got.values.back(), 32767);
  EXPECT_EQ(got.clipped, 1);

  // Results that land on the limits without going past them: full-scale
  // values a hair above 0 dB truncate back to full scale, and nothing is
  // counted.
  values = Spread(1024, 24, 0.25, 9);
  values[500] = 8388607;
  values[501] = -8388608;
  got = ThroughNewLevel(values, 0.000001, 24, 1);
  EXPECT_EQ(got.values, PerValueRule(values, 0.000001, 24).values);
  EXPECT_EQ(got.values[500], 8388607);
  EXPECT_EQ(got.values[501], -8388608);
  EXPECT_EQ(got.clipped, 0);
}

}  // namespace
}  // namespace wavsplice
