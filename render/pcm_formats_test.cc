// Level change and crossfade for every format and channel count, checked against values computed
// here from the rules, with a codec of the test's own: one table over formats x channel counts.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <cstring>
#include <limits>
#include <string>
#include <vector>

#include "render/crossfade.h"
#include "render/level.h"
#include "tests/open_wav.h"
#include "tests/temp_dir.h"
#include "tests/wav_fixture.h"
#include "wav/pcm_format.h"
#include "wav/wav_writer.h"

namespace wavsplice {
namespace {

using testing::Bytes;

struct FormatCase {
  const char* name;
  int bytes;
  bool isFloat;
};

const FormatCase kFormats[] = {
    {"8-bit", 1, false},  {"16-bit", 2, false}, {"24-bit", 3, false},
    {"32-bit", 4, false}, {"float", 4, true},   {"double", 8, true},
};
const int kChannelCounts[] = {1, 2, 6};

PcmFormat FormatFor(const FormatCase& c, int channels) {
  PcmFormat format = IntegerFormat(c.bytes, channels, 8000);
  if (c.isFloat) format.encoding = SampleEncoding::kFloat;
  return format;
}

// Full scale of an integer format in its own units (8-bit: 127).
double FullScale(const FormatCase& c) { return std::ldexp(1.0, 8 * c.bytes - 1) - 1; }

// Values at and beyond full scale, and small ones, in the format's own units (float: 1.0 is full
// scale).
std::vector<double> TestValues(const FormatCase& c, int channels, int frames) {
  const double top = c.isFloat ? 1.0 : FullScale(c);
  const double pattern[] = {top, -top - (c.isFloat ? 0.0 : 1.0), top * 0.75, -top * 0.5, 3, -1,
                            0,   c.isFloat ? 2.5 : top * 0.1};
  std::vector<double> values;
  for (int i = 0; i < frames * channels; ++i) {
    const double v = pattern[(i + i / 7) % 8];
    values.push_back(c.isFloat ? v : std::trunc(v));
  }
  return values;
}

// The test's own little-endian codec.
Bytes Encode(const FormatCase& c, const std::vector<double>& values) {
  Bytes out;
  for (const double v : values) {
    uint64_t bits;
    if (c.isFloat && c.bytes == 4) {
      const float f = static_cast<float>(v);
      uint32_t b;
      std::memcpy(&b, &f, 4);
      bits = b;
    } else if (c.isFloat) {
      std::memcpy(&bits, &v, 8);
    } else {
      bits = static_cast<uint64_t>(static_cast<int64_t>(v) + (c.bytes == 1 ? 128 : 0));
    }
    for (int k = 0; k < c.bytes; ++k) out.push_back(static_cast<unsigned char>(bits >> (8 * k)));
  }
  return out;
}

std::vector<double> Decode(const FormatCase& c, const Bytes& bytes) {
  std::vector<double> values;
  for (size_t at = 0; at + static_cast<size_t>(c.bytes) <= bytes.size(); at += c.bytes) {
    uint64_t bits = 0;
    for (int k = 0; k < c.bytes; ++k) bits |= static_cast<uint64_t>(bytes[at + k]) << (8 * k);
    if (c.isFloat && c.bytes == 4) {
      const uint32_t b = static_cast<uint32_t>(bits);
      float f;
      std::memcpy(&f, &b, 4);
      values.push_back(f);
    } else if (c.isFloat) {
      double d;
      std::memcpy(&d, &bits, 8);
      values.push_back(d);
    } else if (c.bytes == 1) {
      values.push_back(static_cast<double>(bits) - 128);
    } else {
      const int shift = 64 - 8 * c.bytes;  // sign-extend
      values.push_back(static_cast<double>(static_cast<int64_t>(bits << shift) >> shift));
    }
  }
  return values;
}

// The rule: integers trunc(value x factor), 16-bit on its x256 scale, then limited and counted;
// float the product rounded to the format.
double Expected(const FormatCase& c, double product16, double product, int64_t& limited) {
  if (c.isFloat) return c.bytes == 4 ? static_cast<double>(static_cast<float>(product)) : product;
  const double t = std::trunc(c.bytes == 2 ? product16 : product);
  if (t > FullScale(c) || t < -FullScale(c) - 1) {
    ++limited;
    return t > 0 ? FullScale(c) : -FullScale(c) - 1;
  }
  return t;
}

Bytes AudioAfterDataTag(const Bytes& wav) {
  for (size_t p = 12; p + 8 <= wav.size(); p += 2) {
    if (std::memcmp(&wav[p], "data", 4) == 0) return Bytes(wav.begin() + p + 8, wav.end());
  }
  return {};
}

TEST(PcmFormats, LevelAndCrossfadeFollowTheRulesForEveryFormatAndChannelCount) {
  testing::TempDir dir;
  constexpr int kFrames = 40;
  constexpr int kXfSamples = 16;
  const double gain = std::pow(10.0, 6.0 / 20.0);
  for (const FormatCase& c : kFormats) {
    for (const int channels : kChannelCounts) {
      SCOPED_TRACE(std::string(c.name) + " x " + std::to_string(channels));
      const PcmFormat format = FormatFor(c, channels);
      const std::vector<double> values = TestValues(c, channels, kFrames);

      // Level +6 dB over one block.
      Bytes block = Encode(c, values);
      const int64_t clipped = NewLevel(block.data(), 6.0, format, kFrames);
      int64_t limited = 0;
      std::vector<double> expected;
      for (const double v : values) {
        expected.push_back(Expected(c, v * 256 * gain * 0.00390625, v * gain, limited));
      }
      EXPECT_EQ(Decode(c, block), expected);
      EXPECT_EQ(clipped, limited);
      EXPECT_EQ(limited > 0, !c.isFloat);

      // Crossfade type 2 of the values (destination) into their negation (source) at +6 dB: weight
      // 1 - i/n for the destination, i/n x gain for the source.
      std::vector<double> negated;
      for (const double v : values) negated.push_back(c.bytes == 1 || !c.isFloat ? -v - 1 : -v);
      const uint16_t tag = c.isFloat ? 3 : 1;
      testing::WavFormat wavFormat{channels, 8000, c.bytes * 8, tag};
      testing::WriteFile("dest.wav",
                         testing::WavBuilder().Fmt(wavFormat).Data(Encode(c, values)).Build());
      testing::WriteFile("src.wav",
                         testing::WavBuilder().Fmt(wavFormat).Data(Encode(c, negated)).Build());
      testing::NewWav scratch = testing::CreateWav("xfade_temp.wav", format, kXfSamples);
      int64_t xfClipped = 0;
      ASSERT_EQ(CROSSFADE(20, 20, kXfSamples, 2, testing::OpenWavFile("dest.wav").audio,
                          testing::OpenWavFile("src.wav").audio, scratch.wav, 6.0, xfClipped),
                CrossfadeOutcome::kMade);
      limited = 0;
      expected.clear();
      for (int i = 0; i < kXfSamples; ++i) {
        const double r = static_cast<double>(i) / kXfSamples;
        for (int ch = 0; ch < channels; ++ch) {
          const size_t at = static_cast<size_t>((12 + i) * channels + ch);
          const double scale16 = c.bytes == 2 ? 256.0 : 1.0;
          const double mix = negated[at] * scale16 * (r * gain) + values[at] * scale16 * (1 - r);
          expected.push_back(Expected(c, mix * 0.00390625, mix, limited));
        }
      }
      EXPECT_EQ(Decode(c, AudioAfterDataTag(testing::ReadFile("xfade_temp.wav"))), expected);
      EXPECT_EQ(xfClipped, limited);
    }
  }
}

// Float carries NaN and infinities through the arithmetic, and 8-bit silence (a crossfade past the
// end of its files) is 0x80.
TEST(PcmFormats, FloatSpecialsAndEightBitSilence) {
  testing::TempDir dir;
  const FormatCase f32{"float", 4, true};
  const double inf = std::numeric_limits<double>::infinity();
  Bytes block = Encode(f32, {inf, -inf, std::nan(""), 1e30});
  EXPECT_EQ(NewLevel(block.data(), -6.0, FormatFor(f32, 2), 2), 0);
  const std::vector<double> got = Decode(f32, block);
  EXPECT_EQ(got[0], inf);
  EXPECT_EQ(got[1], -inf);
  EXPECT_TRUE(std::isnan(got[2]));
  EXPECT_EQ(got[3], static_cast<double>(static_cast<float>(1e30 * std::pow(10.0, -0.3))));

  const PcmFormat u8 = IntegerFormat(1, 2, 8000);
  const testing::WavFormat wavFormat{2, 8000, 8, 1};
  testing::WriteFile("d.wav", testing::WavBuilder().Fmt(wavFormat).Data(Bytes(8, 0x80)).Build());
  testing::NewWav scratch = testing::CreateWav("t.wav", u8, 8);
  const testing::OpenWav d = testing::OpenWavFile("d.wav");
  int64_t clipped = 0;
  ASSERT_EQ(CROSSFADE(4, 4, 8, 1, d.audio, d.audio, scratch.wav, 0.0, clipped),
            CrossfadeOutcome::kMade);
  EXPECT_EQ(AudioAfterDataTag(testing::ReadFile("t.wav")), Bytes(16, 0x80));
  PAD_FILE(scratch.wav, 8, 3);
  EXPECT_EQ(AudioAfterDataTag(testing::ReadFile("t.wav")), Bytes(22, 0x80));
}

}  // namespace
}  // namespace wavsplice
