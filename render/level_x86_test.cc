// Each x86-64 kernel this machine runs must give what the portable rule gives, value by value, for
// every 16- and 24-bit value and every run length, limits and their count included.
#include "render/level_x86.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <vector>

#include "render/sample_limit.h"
#include "tests/wav_fixture.h"

namespace wavsplice {
namespace {

struct Scaled {
  std::vector<int32_t> values;
  int64_t clipped = 0;
};

Scaled PortableRule(const std::vector<int32_t>& values, double gain, int bits) {
  Scaled out;
  for (int32_t value : values) {
    out.values.push_back(TruncateAndLimit(value * gain, bits / 8, out.clipped));
  }
  return out;
}

Scaled ThroughKernel(const std::vector<int32_t>& values, double gain, int bits,
                     LevelKernels kernels) {
  testing::Bytes bytes = testing::EncodeSamples(values, bits);
  bytes.push_back(0x5A);  // a byte past the run, never to be written
  const auto count = static_cast<int64_t>(values.size());
  Scaled out;
  out.clipped = bits == 16 ? ScaleSixteenInPlace(bytes.data(), count, gain, kernels)
                           : ScaleTwentyFourInPlace(bytes.data(), count, gain, kernels);
  EXPECT_EQ(bytes.back(), 0x5A);
  bytes.pop_back();
  out.values = testing::DecodeSamples(bytes, bits);
  return out;
}

// The kernels this machine runs, narrowest first.
std::vector<LevelKernels> KernelsHere() {
  std::vector<LevelKernels> here;
  for (LevelKernels kernels : {kAvx2Kernels, kAvx512Kernels}) {
    if (kernels <= LevelKernelsHere()) here.push_back(kernels);
  }
  return here;
}

class LevelKernel : public ::testing::TestWithParam<int> {
 protected:
  void SetUp() override {
    if (LevelKernelsHere() == kNoKernels) GTEST_SKIP() << "no AVX2 on this machine";
  }
  int bits() const { return GetParam(); }
  int32_t highest() const { return bits() == 16 ? 32767 : 8388607; }
};

TEST_P(LevelKernel, EveryValueFollowsThePortableRule) {
  std::vector<int32_t> every;
  for (int32_t value = -highest() - 1; value <= highest(); ++value) every.push_back(value);
  for (LevelKernels kernels : KernelsHere()) {
    for (double gain : {0.99999, 1.4125375446227544, 0.7079457843841379}) {
      const Scaled got = ThroughKernel(every, gain, bits(), kernels);
      const Scaled expected = PortableRule(every, gain, bits());
      ASSERT_EQ(got.values, expected.values) << kernels << " bits x " << gain;
      EXPECT_EQ(got.clipped, expected.clipped) << kernels << " bits x " << gain;
    }
  }
}

// Lengths up to past two of the AVX-512 kernels' pieces, with limited values scattered through them
// (a gain of 2 limits about half).
TEST_P(LevelKernel, EveryLengthAndEveryPlaceOfALimit) {
  std::vector<int32_t> values;
  const auto range = static_cast<uint32_t>(2 * highest() + 1);
  for (uint32_t i = 0; i < 600; ++i) {
    values.push_back(static_cast<int32_t>(i * 2654435761u % range) - highest());
  }
  for (LevelKernels kernels : KernelsHere()) {
    for (size_t count = 1; count <= values.size(); ++count) {
      const std::vector<int32_t> run(values.begin(),
                                     values.begin() + static_cast<std::ptrdiff_t>(count));
      for (double gain : {0.0, 1e-300, 0.5, 2.0, 255.0}) {
        const Scaled got = ThroughKernel(run, gain, bits(), kernels);
        const Scaled expected = PortableRule(run, gain, bits());
        ASSERT_EQ(got.values, expected.values) << count << " values x " << gain << ", " << kernels;
        ASSERT_EQ(got.clipped, expected.clipped)
            << count << " values x " << gain << ", " << kernels;
      }
    }
  }
}

INSTANTIATE_TEST_SUITE_P(Widths, LevelKernel, ::testing::Values(16, 24));

// Float values of every kind (zeros, subnormals, infinities, NaNs among them), every run length,
// scaled as the codec scales them.
TEST(FloatLevelKernel, EveryLengthAndKindOfValueAsTheCodecScales) {
  if (LevelKernelsHere() == kNoKernels) GTEST_SKIP() << "no AVX2 on this machine";
  std::vector<uint32_t> patterns = {0x00000000, 0x80000000, 0x00000001, 0x807fffff, 0x7f7fffff,
                                    0x7f800000, 0xff800000, 0x7fc00001, 0x7fa00000, 0x3f800000};
  for (uint32_t i = 0; patterns.size() < 300; ++i) patterns.push_back(i * 2654435761u);
  for (LevelKernels kernels : KernelsHere()) {
    for (size_t count = 1; count <= patterns.size(); ++count) {
      for (double gain : {0.0, 0.5, 1.4125375446227544, 1e300, 255.0}) {
        std::vector<unsigned char> bytes(count * 4 + 1, 0x5A);
        std::memcpy(bytes.data(), patterns.data(), count * 4);
        ScaleFloatInPlace(bytes.data(), static_cast<int64_t>(count), gain, kernels);
        ASSERT_EQ(bytes.back(), 0x5A);
        for (size_t k = 0; k < count; ++k) {
          float value;
          std::memcpy(&value, &patterns[k], sizeof value);
          const float expected = static_cast<float>(static_cast<double>(value) * gain);
          ASSERT_EQ(std::memcmp(bytes.data() + k * 4, &expected, 4), 0)
              << count << " values x " << gain << ", value " << k << ", " << kernels;
        }
      }
    }
  }
}

}  // namespace
}  // namespace wavsplice
