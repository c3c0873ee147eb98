#include "wav/pcm_codec.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <vector>

#include "tests/wav_fixture.h"

namespace wavsplice {
namespace {

using testing::Bytes;
using Values = std::vector<int32_t>;

constexpr int32_t kUntouched = 0x5a5a5a5a;

Values DecodeMono(const Bytes& bytes, int sampleType, int32_t frameCount) {
  Values values(static_cast<size_t>(frameCount) + 1, kUntouched);
  CHAR_TO_NUM32(bytes.data(), values.data(), sampleType, frameCount);
  EXPECT_EQ(values.back(), kUntouched) << "decoded past frameCount";
  values.pop_back();
  return values;
}

TEST(PcmDecode, SixteenBitValuesArriveTimes256) {
  const Bytes bytes = {0x00, 0x80, 0xff, 0x7f, 0xff, 0xff, 0x01, 0x00, 0x00, 0x00};
  EXPECT_EQ(DecodeMono(bytes, 2, 5), (Values{-8388608, 8388352, -256, 256, 0}));

  // The decoders assemble a value's two bytes in one step: every one of the 65536 byte pairs
  // decodes to its two's complement value times 256, in both decoders and both channels.
  Bytes every;
  Values expected;
  for (int32_t pattern = 0; pattern < 65536; ++pattern) {
    every.push_back(static_cast<unsigned char>(pattern & 0xff));
    every.push_back(static_cast<unsigned char>(pattern >> 8));
    expected.push_back((pattern < 32768 ? pattern : pattern - 65536) * 256);
  }
  EXPECT_EQ(DecodeMono(every, 2, 65536), expected);
  // Stereo: the same bytes as 32768 frames, even patterns left, odd right.
  Values left(32768);
  Values right(32768);
  CHAR_TO_NUM32_STEREO(every.data(), left.data(), right.data(), 2, 32768);
  for (size_t i = 0; i < left.size(); ++i) {
    ASSERT_EQ(left[i], expected[2 * i]) << "frame " << i;
    ASSERT_EQ(right[i], expected[2 * i + 1]) << "frame " << i;
  }
}

TEST(PcmDecode, TwentyFourBitValuesKeepTheirScale) {
  const Bytes bytes = {0xff, 0xff, 0x7f, 0x00, 0x00, 0x80, 0xff, 0xff,
                       0xff, 0x00, 0x80, 0x00, 0x34, 0x12, 0xf0};
  EXPECT_EQ(DecodeMono(bytes, 3, 5), (Values{8388607, -8388608, -1, 32768, -1043916}));
}

TEST(PcmDecode, StereoFramesSplitLeftThenRight) {
  {
    const Bytes bytes = {0xe8, 0x03, 0x18, 0xfc, 0x00, 0x80, 0xff, 0x7f};
    Values left(3, kUntouched);
    Values right(3, kUntouched);
    CHAR_TO_NUM32_STEREO(bytes.data(), left.data(), right.data(), 2, 2);
    EXPECT_EQ(left, (Values{256000, -8388608, kUntouched}));
    EXPECT_EQ(right, (Values{-256000, 8388352, kUntouched}));
  }
  {
    const Bytes bytes = {0x01, 0x00, 0x00, 0xff, 0xff, 0xff, 0x00, 0x00, 0x80, 0xff, 0xff, 0x7f};
    Values left(3, kUntouched);
    Values right(3, kUntouched);
    CHAR_TO_NUM32_STEREO(bytes.data(), left.data(), right.data(), 3, 2);
    EXPECT_EQ(left, (Values{1, -8388608, kUntouched}));
    EXPECT_EQ(right, (Values{-1, 8388607, kUntouched}));
  }
}

TEST(PcmDecode, UnknownSampleTypeDecodesToZero) {
  // Only one byte of input: a decoder that read it as 4-byte samples would run past the buffer
  // (caught under the sanitizers).
  const Bytes bytes = {0x7f};
  for (int sampleType : {0, 1, 4, 8, -2}) {
    SCOPED_TRACE(sampleType);
    EXPECT_EQ(DecodeMono(bytes, sampleType, 3), (Values{0, 0, 0}));
    Values left(4, kUntouched);
    Values right(4, kUntouched);
    CHAR_TO_NUM32_STEREO(bytes.data(), left.data(), right.data(), sampleType, 3);
    EXPECT_EQ(left, (Values{0, 0, 0, kUntouched}));
    EXPECT_EQ(right, (Values{0, 0, 0, kUntouched}));
  }
}

TEST(PcmCodec, FrameCountZeroOrNegativeReadsAndWritesNothing) {
  for (int32_t frameCount : {0, -1, -1024}) {
    SCOPED_TRACE(frameCount);
    Values left(2, kUntouched);
    Values right(2, kUntouched);
    // A null byte pointer: nothing may be read from it.
    CHAR_TO_NUM32(nullptr, left.data(), 2, frameCount);
    CHAR_TO_NUM32_STEREO(nullptr, left.data(), right.data(), 3, frameCount);
    EXPECT_EQ(left, Values(2, kUntouched));
    EXPECT_EQ(right, Values(2, kUntouched));

    Bytes bytes(8, 0xaa);
    const Values zeros(2, 0);
    NUM16MONO_TO_CHAR(zeros.data(), bytes.data(), frameCount);
    NUM24MONO_TO_CHAR(zeros.data(), bytes.data(), frameCount);
    NUM16STER_TO_CHAR(zeros.data(), zeros.data(), bytes.data(), frameCount);
    NUM24STER_TO_CHAR(zeros.data(), zeros.data(), bytes.data(), frameCount);
    EXPECT_EQ(bytes, Bytes(8, 0xaa));
  }
}

TEST(PcmEncode, MonoValuesAndWrapping) {
  const Values values = {-1, 0, 32767, -32768, 32768, 70000, -32769};
  Bytes sixteen(values.size() * 2);
  NUM16MONO_TO_CHAR(values.data(), sixteen.data(), static_cast<int32_t>(values.size()));
  EXPECT_EQ(sixteen, (Bytes{0xff, 0xff, 0x00, 0x00, 0xff, 0x7f, 0x00, 0x80, 0x00, 0x80, 0x70, 0x11,
                            0xff, 0x7f}));
  // The wrapped values read back as their low 16 bits.
  EXPECT_EQ(testing::DecodeSamples(sixteen, 16),
            (Values{-1, 0, 32767, -32768, -32768, 4464, 32767}));

  const Values wide = {-1, 0, 8388607, -8388608, 8388608, 16777217, -8388609};
  Bytes twentyFour(wide.size() * 3);
  NUM24MONO_TO_CHAR(wide.data(), twentyFour.data(), static_cast<int32_t>(wide.size()));
  EXPECT_EQ(twentyFour, (Bytes{0xff, 0xff, 0xff, 0x00, 0x00, 0x00, 0xff, 0xff, 0x7f, 0x00, 0x00,
                               0x80, 0x00, 0x00, 0x80, 0x01, 0x00, 0x00, 0xff, 0xff, 0x7f}));
}

TEST(PcmEncode, StereoWritesLeftThenRight) {
  const Values left = {1000, -1, 40000};
  const Values right = {-1000, 32767, -40000};
  Bytes sixteen(12);
  NUM16STER_TO_CHAR(left.data(), right.data(), sixteen.data(), 3);
  EXPECT_EQ(sixteen,
            (Bytes{0xe8, 0x03, 0x18, 0xfc, 0xff, 0xff, 0xff, 0x7f, 0x40, 0x9c, 0xc0, 0x63}));

  const Values wideLeft = {1, 8388608, 0};
  const Values wideRight = {-1, -8388609, 0x123456};
  Bytes twentyFour(18);
  NUM24STER_TO_CHAR(wideLeft.data(), wideRight.data(), twentyFour.data(), 3);
  EXPECT_EQ(twentyFour, (Bytes{0x01, 0x00, 0x00, 0xff, 0xff, 0xff, 0x00, 0x00, 0x80, 0xff, 0xff,
                               0x7f, 0x00, 0x00, 0x00, 0x56, 0x34, 0x12}));
}

TEST(PcmEncode, WritesExactlyFrameCountFrames) {
  const Values zeros(8, 0);
  struct Case {
    const char* name;
    int width;  // bytes per frame
    void (*encode)(const Values&, unsigned char*, int32_t);
  };
  const Case cases[] = {
      {"16 mono", 2,
       [](const Values& v, unsigned char* b, int32_t n) { NUM16MONO_TO_CHAR(v.data(), b, n); }},
      {"24 mono", 3,
       [](const Values& v, unsigned char* b, int32_t n) { NUM24MONO_TO_CHAR(v.data(), b, n); }},
      {"16 stereo", 4,
       [](const Values& v, unsigned char* b, int32_t n) {
         NUM16STER_TO_CHAR(v.data(), v.data(), b, n);
       }},
      {"24 stereo", 6,
       [](const Values& v, unsigned char* b, int32_t n) {
         NUM24STER_TO_CHAR(v.data(), v.data(), b, n);
       }},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const int32_t frameCount = 3;
    const size_t written = static_cast<size_t>(frameCount * c.width);
    Bytes bytes(written + 16, 0xaa);
    c.encode(zeros, bytes.data(), frameCount);
    Bytes expected(written, 0x00);
    expected.resize(written + 16, 0xaa);
    EXPECT_EQ(bytes, expected);
  }
}

TEST(PcmCodec, RoundTrips) {
  // Every 24-bit pattern class: a decode then an encode gives the bytes back.
  Bytes wide;
  for (int i = 0; i < 256; ++i) {
    wide.push_back(static_cast<unsigned char>(i));
    wide.push_back(static_cast<unsigned char>(255 - i));
    wide.push_back(static_cast<unsigned char>(i * 37));
  }
  Values values(256);
  CHAR_TO_NUM32(wide.data(), values.data(), 3, 256);
  Bytes back(wide.size());
  NUM24MONO_TO_CHAR(values.data(), back.data(), 256);
  EXPECT_EQ(back, wide);

  // 16-bit stereo: decoded values are x256, so they are divided before the encoder; without the
  // division only the low byte survives, moved up.
  const Bytes sixteen = {0x34, 0x12, 0xcd, 0xab, 0x00, 0x80, 0xff, 0x7f};
  Values left(2);
  Values right(2);
  CHAR_TO_NUM32_STEREO(sixteen.data(), left.data(), right.data(), 2, 2);
  Bytes raw(sixteen.size());
  NUM16STER_TO_CHAR(left.data(), right.data(), raw.data(), 2);
  EXPECT_EQ(raw, (Bytes{0x00, 0x34, 0x00, 0xcd, 0x00, 0x00, 0x00, 0xff}));
  for (size_t i = 0; i < 2; ++i) {
    left[i] /= 256;
    right[i] /= 256;
  }
  NUM16STER_TO_CHAR(left.data(), right.data(), raw.data(), 2);
  EXPECT_EQ(raw, sixteen);
}

}  // namespace
}  // namespace wavsplice
