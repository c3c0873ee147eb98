// The AVX2 kernel must give what the portable rule gives, value by value,
// for every 24-bit value and every run length, limits and their count
// included.
#include "render/level_avx2.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <vector>

#include "render/sample_limit.h"
#include "tests/wav_fixture.h"

namespace wavsplice {
namespace {

struct Scaled {
  std::vector<int32_t> values;
  int64_t clipped = 0;
};

Scaled PortableRule(const std::vector<int32_t>& values, double gain) {
  Scaled out;
  for (int32_t value : values) out.values.push_back(TruncateAndLimit(value * gain, 3, out.clipped));
  return out;
}

Scaled ThroughKernel(const std::vector<int32_t>& values, double gain) {
  testing::Bytes bytes = testing::EncodeSamples(values, 24);
  bytes.push_back(0x5A);  // a byte past the run, never to be written
  Scaled out;
  out.clipped = ScaleTwentyFourInPlace(bytes.data(), static_cast<int64_t>(values.size()), gain);
  EXPECT_EQ(bytes.back(), 0x5A);
  bytes.pop_back();
  out.values = testing::DecodeSamples(bytes, 24);
  return out;
}

TEST(TwentyFourBitKernel, EveryValueFollowsThePortableRule) {
  if (!TwentyFourBitKernelHere()) GTEST_SKIP() << "no AVX2 on this machine";
  std::vector<int32_t> every;
  for (int32_t value = -8388608; value < 8388608; ++value) every.push_back(value);
  for (double gain : {0.99999, 1.4125375446227544}) {
    const Scaled got = ThroughKernel(every, gain);
    const Scaled expected = PortableRule(every, gain);
    ASSERT_EQ(got.values, expected.values) << gain;
    EXPECT_EQ(got.clipped, expected.clipped) << gain;
  }
}

TEST(TwentyFourBitKernel, EveryLengthAndEveryPlaceOfALimit) {
  if (!TwentyFourBitKernelHere()) GTEST_SKIP() << "no AVX2 on this machine";
  std::vector<int32_t> values;
  for (int32_t i = 0; i < 100; ++i) values.push_back((i * 7919) % 8000000 - 4000000);
  for (size_t count = 1; count <= values.size(); ++count) {
    std::vector<int32_t> run(values.begin(), values.begin() + static_cast<std::ptrdiff_t>(count));
    for (double gain : {0.0, 1e-300, 0.5, 2.0, 255.0}) {
      const Scaled got = ThroughKernel(run, gain);
      const Scaled expected = PortableRule(run, gain);
      ASSERT_EQ(got.values, expected.values) << count << " values x " << gain;
      ASSERT_EQ(got.clipped, expected.clipped) << count << " values x " << gain;
    }
  }
}

}  // namespace
}  // namespace wavsplice
