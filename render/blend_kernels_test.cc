// The crossfade's block loops against the blend and limit of one value at a time: the same bytes
// after the encoder's truncation, and the same count.
#include "render/blend_kernels.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <vector>

#include "render/sample_limit.h"

namespace wavsplice {
namespace {

struct Values {
  std::vector<double> dest;
  std::vector<double> destWeights;
  std::vector<double> source;
  std::vector<double> sourceWeights;
  BlendBlock Block() const {
    return {dest.data(), destWeights.data(), source.data(), sourceWeights.data(),
            static_cast<int64_t>(dest.size())};
  }
};

// Value by value: blended, truncated and limited, as the encoder stores it.
std::vector<int64_t> OneByOne(const Values& in, double scale, double low, double high,
                              int64_t& clipped) {
  std::vector<int64_t> out;
  for (size_t i = 0; i < in.dest.size(); ++i) {
    const double x = (in.source[i] * in.sourceWeights[i] + in.dest[i] * in.destWeights[i]) * scale;
    out.push_back(static_cast<int64_t>(TruncateAndLimit(x, low, high, clipped)));
  }
  return out;
}

TEST(BlendAndLimit, GivesTheTruncationAndCountOfOneValueAtATime) {
  struct Case {
    const char* what;
    double destValue;  // every value of the block, varied below by its index
    double sourceValue;
    double destWeight;
    double sourceWeight;
    double scale;
    double low;
    double high;
  };
  const Case cases[] = {
      {"16-bit at unity", 30000 * 256.0, -20000 * 256.0, 0.5, 0.5, 1 / 256.0, -32768, 32767},
      {"16-bit pushed past full scale", 32767 * 256.0, 32767 * 256.0, 0.7071, 0.7071 * 1.9953,
       1 / 256.0, -32768, 32767},
      {"16-bit pushed below", -32768 * 256.0, -32768 * 256.0, 1.0, 0.5, 1 / 256.0, -32768, 32767},
      {"24-bit near both limits", 8388607, -8388608, 0.999999, 0.999999, 1, -8388608, 8388607},
      {"24-bit loud source", 0, 8388000, 0.0, 255.0, 1, -8388608, 8388607},
      {"8-bit", 127, -128, 0.75, 0.75, 1, -128, 127},
      {"32-bit", 2147483647.0, 2147483647.0, 0.6, 0.6, 1, -2147483648.0, 2147483647.0},
      {"huge level", 1000, -1000, 0.5, 1e300, 1, -8388608, 8388607},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    // Run lengths past every vector width and its tail; values stepping across the limits by
    // fractions.
    for (int count : {1, 3, 7, 8, 17, 64, 1023}) {
      Values in;
      for (int i = 0; i < count; ++i) {
        const double step = (i % 9 - 4) * 0.375;
        in.dest.push_back(c.destValue - step * (i % 2 ? 1 : -1));
        in.source.push_back(c.sourceValue + step);
        in.destWeights.push_back(c.destWeight * (1 - i * 1e-4));
        in.sourceWeights.push_back(c.sourceWeight * (1 + i * 1e-4));
      }
      int64_t wantClipped = 0;
      const std::vector<int64_t> want = OneByOne(in, c.scale, c.low, c.high, wantClipped);
      std::vector<double> mixed(static_cast<size_t>(count));
      const int64_t clipped = BlendAndLimit(in.Block(), c.scale, c.low, c.high, mixed.data());
      EXPECT_EQ(clipped, wantClipped) << count;
      std::vector<double> blended(static_cast<size_t>(count));
      BlendValues(in.Block(), c.scale, blended.data());
      for (int i = 0; i < count; ++i) {
        ASSERT_EQ(static_cast<int64_t>(mixed[static_cast<size_t>(i)]), want[static_cast<size_t>(i)])
            << count << " values, at " << i;
        const auto at = static_cast<size_t>(i);
        ASSERT_EQ(
            blended[at],
            (in.source[at] * in.sourceWeights[at] + in.dest[at] * in.destWeights[at]) * c.scale);
      }
    }
  }
}

TEST(BlendAndLimit, ValuesAroundTheLimitsByFractions) {
  // value, what the encoder stores, limited
  struct Case {
    double value;
    int64_t stored;
    bool limited;
  };
  const Case cases[] = {
      {32767.0, 32767, false},  {32767.999, 32767, false}, {32768.0, 32767, true},
      {1e30, 32767, true},      {-32768.0, -32768, false}, {-32768.999, -32768, false},
      {-32769.0, -32768, true}, {-1e30, -32768, true},     {-0.999, 0, false},
      {HUGE_VAL, 32767, true},  {-HUGE_VAL, -32768, true},
  };
  for (const Case& c : cases) {
    const double one = 1.0;
    const double zero = 0.0;
    const BlendBlock block{&zero, &zero, &c.value, &one, 1};
    double mixed = 0;
    EXPECT_EQ(BlendAndLimit(block, 1.0, -32768, 32767, &mixed), c.limited ? 1 : 0) << c.value;
    EXPECT_EQ(static_cast<int64_t>(mixed), c.stored) << c.value;
  }
}

TEST(SpreadWeights, EveryChannelOfAFrameTakesItsWeights) {
  const std::vector<CrossfadeWeights> frames = {
      {1.0, 0.0}, {0.75, 0.25}, {0.5, 0.5}, {0.25, 0.75}, {0.0, 1.0}};
  for (int channels : {1, 2, 3, 6, 8}) {
    for (bool scaleSource : {false, true}) {
      const size_t values = frames.size() * static_cast<size_t>(channels);
      std::vector<double> destWeights(values, -1);
      std::vector<double> sourceWeights(values, -1);
      SpreadWeights(frames.data(), static_cast<int64_t>(frames.size()), channels, scaleSource, 0.5,
                    destWeights.data(), sourceWeights.data());
      for (size_t i = 0; i < values; ++i) {
        const CrossfadeWeights& frame = frames[i / static_cast<size_t>(channels)];
        EXPECT_EQ(destWeights[i], frame.destGain) << channels << " channels, value " << i;
        EXPECT_EQ(sourceWeights[i], scaleSource ? frame.sourceGain * 0.5 : frame.sourceGain)
            << channels << " channels, value " << i;
      }
    }
  }
}

}  // namespace
}  // namespace wavsplice
