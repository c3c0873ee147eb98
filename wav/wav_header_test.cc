#include "wav/wav_header.h"

#include <gtest/gtest.h>

#include <string>

#include "tests/cli_expected.h"
#include "tests/temp_dir.h"
#include "tests/wav_fixture.h"
#include "wav/attributes.h"

namespace wavsplice {
namespace {

using testing::Bytes;

PcmFormat Format(int32_t bytes, int32_t channels, bool isFloat, uint32_t mask = 0,
                 int32_t validBits = 0) {
  PcmFormat format = IntegerFormat(bytes, channels, 48000);
  if (isFloat) format.encoding = SampleEncoding::kFloat;
  if (validBits != 0) format.validBits = validBits;
  format.channelMask = mask;
  return format;
}

TEST(WavHeader, EachFormatTakesItsLayoutWithEverySizeRight) {
  // Integer mono and stereo: the canonical header, whatever the width.
  for (const int32_t bytes : {1, 2, 3, 4}) {
    EXPECT_EQ(HeaderBytes(Format(bytes, 2, false), 1000),
              testing::ExpectedHeader(48000, bytes * 8, 2, 1000));
  }
  // Float mono: tag 3, 18-byte fmt, fact with the frame count.
  EXPECT_EQ(
      HeaderBytes(Format(4, 1, true), 1000),
      (Bytes{'R',  'I',  'F',  'F', 0xd2, 0x0f, 0x00, 0x00, 'W', 'A',  'V',  'E',  'f',  'm',  't',
             ' ',  18,   0,    0,   0,    3,    0,    1,    0,   0x80, 0xbb, 0x00, 0x00, 0x00, 0xee,
             0x02, 0x00, 4,    0,   32,   0,    0,    0,    'f', 'a',  'c',  't',  4,    0,    0,
             0,    0xe8, 0x03, 0,   0,    'd',  'a',  't',  'a', 0xa0, 0x0f, 0x00, 0x00}));
  // More than two channels: extensible, with the mask and valid bits given.
  EXPECT_EQ(HeaderBytes(Format(3, 6, false, 0x3f, 20), 7),
            testing::ExpectedExtensibleHeader(48000, 24, 6, 7, 0x3f, false, 20));
  EXPECT_EQ(HeaderBytes(Format(8, 8, true, 0x63f), 7),
            testing::ExpectedExtensibleHeader(48000, 64, 8, 7, 0x63f, true));

  const struct {
    PcmFormat format;
    int64_t length;
  } lengths[] = {{Format(2, 2, false), 44},
                 {Format(4, 2, true), 58},
                 {Format(2, 3, false), 68},
                 {Format(4, 6, true), 80}};
  for (const auto& c : lengths) {
    EXPECT_EQ(HeaderLength(c.format), c.length);
    EXPECT_EQ(static_cast<int64_t>(HeaderBytes(c.format, 5).size()), c.length);
    // Past 4 GiB every layout becomes RF64: a ds64 chunk of 36 bytes more.
    const std::vector<unsigned char> rf64 = HeaderBytes(c.format, int64_t{1} << 32);
    EXPECT_EQ(static_cast<int64_t>(rf64.size()), c.length + 36);
    EXPECT_EQ(std::string(rf64.begin(), rf64.begin() + 4), "RF64");
  }
}

TEST(WavHeader, ExtensibleSourcesGiveValidBitsAndMask) {
  testing::TempDir dir;
  testing::WriteFile("x.wav", testing::WavBuilder()
                                  .FmtExtensible({6, 48000, 24, 1}, 1, 20, 0x3f)
                                  .Data(Bytes(36, 0))
                                  .Build());
  TrackAttributes attributes;
  ASSERT_EQ(GET_ATTRIBUTES("x.wav", attributes), AttributesRead::kRead);
  const PcmFormat format = attributes.format;
  EXPECT_EQ(format.validBits, 20);
  EXPECT_EQ(format.channelMask, 0x3fu);
  EXPECT_EQ(format.FrameBytes(), 18);
  EXPECT_FALSE(format.IsFloat());
  // Plain headers have no mask and every bit valid.
  testing::WriteFile("p.wav", testing::CanonicalWav({2, 8000, 32, 3}, {0, 0}));
  ASSERT_EQ(GET_ATTRIBUTES("p.wav", attributes), AttributesRead::kRead);
  const PcmFormat plain = attributes.format;
  EXPECT_EQ(plain.validBits, 32);
  EXPECT_EQ(plain.channelMask, 0u);
  EXPECT_TRUE(plain.IsFloat());
}

}  // namespace
}  // namespace wavsplice
