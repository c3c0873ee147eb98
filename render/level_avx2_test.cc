// The AVX2 kernel must give what the portable rule gives, value by value,
// for every 24-bit value and every piece length, and leave a piece it
// refuses untouched.
#include "render/level_avx2.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <vector>

#include "tests/wav_fixture.h"

namespace wavsplice {
namespace {

std::vector<int32_t> PortableRule(const std::vector<int32_t>& values, double gain) {
  std::vector<int32_t> scaled;
  for (int32_t value : values) scaled.push_back(static_cast<int32_t>(value * gain));
  return scaled;
}

TEST(TwentyFourBitKernel, EveryValueFollowsThePortableRule) {
  if (!TwentyFourBitKernelHere()) GTEST_SKIP() << "no AVX2 on this machine";
  for (double gain : {0.99999, 1.4125375446227544}) {
    for (int32_t first = -8388608; first < 8388608; first += 1024) {
      std::vector<int32_t> values;
      for (int32_t value = first; value < first + 1024; ++value) {
        // Values whose result would reach a limit are taken down a notch.
        values.push_back(static_cast<int32_t>(value * gain) >= 8388607 ||
                                 static_cast<int32_t>(value * gain) <= -8388608
                             ? value / 2
                             : value);
      }
      testing::Bytes bytes = testing::EncodeSamples(values, 24);
      ASSERT_TRUE(ScaleTwentyFourInPlace(bytes.data(), 1024, gain)) << first << " x " << gain;
      ASSERT_EQ(testing::DecodeSamples(bytes, 24), PortableRule(values, gain))
          << first << " x " << gain;
    }
  }
}

TEST(TwentyFourBitKernel, EveryLengthAndEveryPlaceOfALimit) {
  if (!TwentyFourBitKernelHere()) GTEST_SKIP() << "no AVX2 on this machine";
  std::vector<int32_t> values;
  for (int32_t i = 0; i < 1024; ++i) values.push_back((i * 7919) % 8000000 - 4000000);
  for (int32_t count = 1; count <= 1024; ++count) {
    const std::vector<int32_t> piece(values.begin(), values.begin() + count);
    testing::Bytes bytes = testing::EncodeSamples(piece, 24);
    bytes.push_back(0x5A);  // a byte past the piece, never to be written
    ASSERT_TRUE(ScaleTwentyFourInPlace(bytes.data(), count, 2.0)) << count;
    EXPECT_EQ(bytes.back(), 0x5A) << count;
    bytes.pop_back();
    ASSERT_EQ(testing::DecodeSamples(bytes, 24), PortableRule(piece, 2.0)) << count;

    // One result at a limit, anywhere: refused, nothing written.
    for (int32_t at : {0, count / 2, count - 1}) {
      std::vector<int32_t> loud = piece;
      loud[static_cast<size_t>(at)] = 4200000;  // x 2 passes 8388607
      testing::Bytes loudBytes = testing::EncodeSamples(loud, 24);
      const testing::Bytes before = loudBytes;
      EXPECT_FALSE(ScaleTwentyFourInPlace(loudBytes.data(), count, 2.0)) << count << " at " << at;
      EXPECT_EQ(loudBytes, before) << count << " at " << at;
    }
  }
}

}  // namespace
}  // namespace wavsplice
