// The 16-bit decoders assemble each value's two bytes in one step; every one
// of the 65536 byte pairs must still decode to its two's complement value
// times 256, in both decoders and in both channels.
#include <gtest/gtest.h>

#include <cstdint>
#include <vector>

#include "wav/pcm_codec.h"

namespace wavsplice {
namespace {

TEST(PcmDecodeAll, EverySixteenBitPattern) {
  std::vector<unsigned char> bytes;
  std::vector<int32_t> expected;
  for (int32_t pattern = 0; pattern < 65536; ++pattern) {
    bytes.push_back(static_cast<unsigned char>(pattern & 0xff));
    bytes.push_back(static_cast<unsigned char>(pattern >> 8));
    expected.push_back((pattern < 32768 ? pattern : pattern - 65536) * 256);
  }
  std::vector<int32_t> mono(65536);
  CHAR_TO_NUM32(bytes.data(), mono.data(), 2, 65536);
  EXPECT_EQ(mono, expected);

  // Stereo: the same bytes as 32768 frames, even patterns left, odd right.
  std::vector<int32_t> left(32768);
  std::vector<int32_t> right(32768);
  CHAR_TO_NUM32_STEREO(bytes.data(), left.data(), right.data(), 2, 32768);
  for (size_t i = 0; i < left.size(); ++i) {
    ASSERT_EQ(left[i], expected[2 * i]) << "frame " << i;
    ASSERT_EQ(right[i], expected[2 * i + 1]) << "frame " << i;
  }
}

}  // namespace
}  // namespace wavsplice
