#include "render/crossfade.h"

#include <gtest/gtest.h>

#include <fcntl.h>

#include <cmath>
#include <cstdint>
#include <string>
#include <vector>

#include "tests/open_wav.h"
#include "tests/temp_dir.h"
#include "tests/wav_fixture.h"
#include "wav/wav_header.h"
#include "wav/wav_writer.h"

namespace wavsplice {
namespace {

using testing::Bytes;
using testing::WavFormat;
using Values = std::vector<int32_t>;

const char kDest[] = "dest.wav";
const char kSource[] = "src.wav";
const char kTemp[] = "xfade_temp.wav";

// The integer PCM format the fixture's format describes.
PcmFormat IntegerFormatOf(const WavFormat& format) {
  return IntegerFormat(format.bits / 8, format.channels, static_cast<int32_t>(format.sampleRate));
}

// Files for one crossfade: destination and source from interleaved values.
void WriteFiles(const WavFormat& format, const Values& dest, const Values& source) {
  testing::WriteFile(kDest, testing::CanonicalWav(format, dest));
  testing::WriteFile(kSource, testing::CanonicalWav(format, source));
}

struct Outcome {
  CrossfadeOutcome result;
  int64_t clipped;
  Bytes temp;     // the scratch file afterwards
  Values values;  // its audio, decoded
};

// CROSSFADE over the files as a run holds them open, into a new scratch file holding the header for
// xfSamples frames.
Outcome RunCrossfade(const WavFormat& format, int32_t insertPoint, int32_t readStart,
                     int32_t xfSamples, int xfType, double levelDb = 0.0) {
  Outcome outcome{};
  const testing::OpenWav dest = testing::OpenWavFile(kDest);
  const testing::OpenWav source = testing::OpenWavFile(kSource);
  testing::NewWav temp = testing::CreateWav(kTemp, IntegerFormatOf(format), xfSamples);
  outcome.result = CROSSFADE(insertPoint, readStart, xfSamples, xfType, dest.audio, source.audio,
                             temp.wav, levelDb, outcome.clipped);
  outcome.temp = testing::ReadFile(kTemp);
  outcome.values = testing::DecodeSamples(testing::AudioOf(outcome.temp), format.bits);
  return outcome;
}

Values Repeat(const Values& frame, int32_t frames) {
  Values values;
  for (int32_t k = 0; k < frames; ++k) values.insert(values.end(), frame.begin(), frame.end());
  return values;
}

TEST(Crossfade, WorkedTableForEveryTypeAndFormat) {
  // Destination all 1000, source all -1000, 4 samples. In stereo the right channel has the signs
  // the other way round and gives the table negated.
  const Values table[5] = {{},
                           {1000, 541, 0, -541},
                           {1000, 500, 0, -500},
                           {1000, 847, 414, -234},
                           {1000, 234, -414, -847}};
  for (int bits : {16, 24}) {
    for (int channels : {1, 2}) {
      for (int type = 1; type <= 4; ++type) {
        SCOPED_TRACE(::testing::Message()
                     << bits << " bits, " << channels << " channels, type " << type);
        testing::TempDir dir;
        const WavFormat format{channels, 44100, bits};
        const Values destFrame = channels == 1 ? Values{1000} : Values{1000, -1000};
        const Values sourceFrame = channels == 1 ? Values{-1000} : Values{-1000, 1000};
        WriteFiles(format, Repeat(destFrame, 20), Repeat(sourceFrame, 20));
        const Bytes header = HeaderBytes(IntegerFormatOf(format), 4);

        const Outcome out = RunCrossfade(format, 10, 6, 4, type);
        EXPECT_EQ(out.result, CrossfadeOutcome::kMade);
        ASSERT_EQ(out.temp.size(), 44u + 4u * static_cast<size_t>(bits / 8 * channels));
        EXPECT_EQ(Bytes(out.temp.begin(), out.temp.begin() + 44), header);
        Values expected;
        for (int32_t value : table[type]) {
          expected.push_back(value);
          if (channels == 2) expected.push_back(-value);
        }
        EXPECT_EQ(out.values, expected);
      }
    }
  }
}

TEST(Crossfade, CurveWeights) {
  // The angle constant is not pi/2 to full precision: at r = 0.5 the two type 1 weights differ.
  const CrossfadeWeights half = WeightsAt(2, 4, 1);
  EXPECT_EQ(half.destGain, 0.7071067811140325);
  EXPECT_EQ(half.sourceGain, 0.7071067812590626);
  for (int type = 1; type <= 4; ++type) {
    SCOPED_TRACE(type);
    const CrossfadeWeights first = WeightsAt(0, 4411, type);
    EXPECT_EQ(first.destGain, 1.0);
    EXPECT_EQ(first.sourceGain, 0.0);
    // The source never reaches a weight of exactly 1.
    EXPECT_LT(WeightsAt(4410, 4411, type).sourceGain, 1.0);
  }
  EXPECT_EQ(WeightsAt(1, 4, 2).destGain, 0.75);
  EXPECT_EQ(WeightsAt(1, 4, 2).sourceGain, 0.25);
  EXPECT_EQ(WeightsAt(1, 4, 4).destGain, 1.0 - std::sin(0.25 * 1.570796327));
  EXPECT_EQ(WeightsAt(3, 4, 3).sourceGain, 1.0 - std::cos(0.75 * 1.570796327));
}

TEST(Crossfade, LevelScalesOnlyTheSource) {
  for (int bits : {16, 24}) {
    SCOPED_TRACE(bits);
    testing::TempDir dir;
    const WavFormat format{1, 44100, bits};
    WriteFiles(format, Values(20, 1000), Values(20, -1000));
    const Outcome out = RunCrossfade(format, 10, 6, 4, 2, 6.0);
    EXPECT_EQ(out.result, CrossfadeOutcome::kMade);
    EXPECT_EQ(out.values, (Values{1000, 251, -497, -1246}));
  }
}

TEST(Crossfade, BlendsTheFramesCentredOnTheSplice) {
  // Frame k of the destination holds 100 k, of the source -100 k. Type 2 over 4 frames: frame i
  // blends destination 8 + i with source 18 + i.
  testing::TempDir dir;
  const WavFormat format{1, 44100, 24};
  Values dest;
  Values source;
  for (int32_t k = 0; k < 40; ++k) {
    dest.push_back(100 * k);
    source.push_back(-100 * k);
  }
  WriteFiles(format, dest, source);
  const Outcome out = RunCrossfade(format, 10, 20, 4, 2);
  EXPECT_EQ(out.result, CrossfadeOutcome::kMade);
  EXPECT_EQ(out.values, (Values{800, 200, -500, -1300}));
}

TEST(Crossfade, ZeroOrNegativeLengthAppendsNothing) {
  testing::TempDir dir;
  const WavFormat format{2, 44100, 16};
  WriteFiles(format, Values(40, 1000), Values(40, -1000));
  for (int32_t xfSamples : {0, -3}) {
    const Outcome out = RunCrossfade(format, 10, 10, xfSamples, 1);
    EXPECT_EQ(out.result, CrossfadeOutcome::kMade);
    EXPECT_TRUE(out.values.empty());
  }
}

TEST(Crossfade, NoSeamAtTheBlockBoundary) {
  // 1025 samples: a block of 1024 and one of 1. Sample 1024 uses r = 1024 / 1025 like any other.
  for (int type : {1, 3}) {
    SCOPED_TRACE(type);
    testing::TempDir dir;
    const WavFormat format{2, 96000, 24};
    const int32_t frames = 3000;
    WriteFiles(format, Repeat({1000000, 0}, frames), Repeat({-1000000, 0}, frames));
    const Outcome out = RunCrossfade(format, 1500, 1500, 1025, type);
    EXPECT_EQ(out.result, CrossfadeOutcome::kMade);
    ASSERT_EQ(out.values.size(), 2u * 1025u);
    const Values& v = out.values;
    const Values want = type == 1 ? Values{1000000, 998466, -996930, -998466}
                                  : Values{1000000, 999997, -993870, -996935};
    EXPECT_EQ((Values{v[0], v[2], v[2 * 1023], v[2 * 1024]}), want);
    for (size_t i = 1; i < v.size(); i += 2) ASSERT_EQ(v[i], 0) << i;
    // The curve falls steadily through the boundary.
    for (size_t i = 2 * 1000; i < 2 * 1025; i += 2) ASSERT_LT(v[i], v[i - 2]) << i / 2;
  }
}

TEST(Crossfade, EveryChannelCountGivesTheFramesOfMono) {
  // A block holds as many frames as its values allow, so block boundaries fall at other frames for
  // other channel counts; each channel of a crossfade still gets the frames a mono crossfade of its
  // values gets.
  const int32_t frames = 8000;
  const int32_t xfSamples = 3001;
  Values dest;
  Values source;
  for (int32_t f = 0; f < frames; ++f) {
    dest.push_back((f * 37) % 20000 - 10000);
    source.push_back(10000 - (f * 53) % 20000);
  }
  Values mono;
  {
    testing::TempDir dir;
    WriteFiles({1, 44100, 16}, dest, source);
    mono = RunCrossfade({1, 44100, 16}, 4000, 3500, xfSamples, 1, -2.5).values;
    ASSERT_EQ(mono.size(), static_cast<size_t>(xfSamples));
  }
  for (int channels : {2, 6, 128}) {
    SCOPED_TRACE(channels);
    testing::TempDir dir;
    const WavFormat format{channels, 44100, 16};
    Values wideDest;
    Values wideSource;
    for (int32_t f = 0; f < frames; ++f) {
      wideDest.insert(wideDest.end(), static_cast<size_t>(channels), dest[static_cast<size_t>(f)]);
      wideSource.insert(wideSource.end(), static_cast<size_t>(channels),
                        source[static_cast<size_t>(f)]);
    }
    WriteFiles(format, wideDest, wideSource);
    const Outcome out = RunCrossfade(format, 4000, 3500, xfSamples, 1, -2.5);
    EXPECT_EQ(out.result, CrossfadeOutcome::kMade);
    // The frames end the temp file, whatever its header (more than two channels have the extensible
    // one).
    const size_t count = mono.size() * static_cast<size_t>(channels);
    ASSERT_GE(out.temp.size(), 2 * count);
    const Values wide =
        testing::DecodeSamples(Bytes(out.temp.end() - 2 * count, out.temp.end()), 16);
    for (size_t i = 0; i < count; ++i) {
      ASSERT_EQ(wide[i], mono[i / static_cast<size_t>(channels)]) << i;
    }
  }
}

TEST(Crossfade, OddLengthHalvesTowardZero) {
  // 4411 samples: half is 2205, so both starts move back by 2205 frames.
  testing::TempDir dir;
  const WavFormat format{1, 44100, 24};
  Values dest;
  Values source;
  for (int32_t k = 0; k < 6000; ++k) {
    dest.push_back(k + 1);
    source.push_back(-(k + 1));
  }
  WriteFiles(format, dest, source);
  const Outcome out = RunCrossfade(format, 3000, 2205, 4411, 2);
  EXPECT_EQ(out.result, CrossfadeOutcome::kMade);
  ASSERT_EQ(out.values.size(), 4411u);
  EXPECT_EQ(out.values[0], 796);  // destination frame 3000 - 2205, at full weight
  // Frame 2205, the splice: 2206/4411 x 3001 - 2205/4411 x 2206 = 398.09.
  EXPECT_EQ(out.values[2205], 398);
}

TEST(Crossfade, StartChecks) {
  testing::TempDir dir;
  const WavFormat format{2, 44100, 16};
  const int32_t frames = 100;  // in both files
  WriteFiles(format, Repeat({1000, 1000}, frames), Repeat({-1000, -1000}, frames));
  const Bytes header = HeaderBytes(IntegerFormatOf(format), 8);

  // The destination start is insertPoint - 4: below 0 fails, 0 passes.
  Outcome out = RunCrossfade(format, 3, 50, 8, 1);
  EXPECT_EQ(out.result, CrossfadeOutcome::kDestinationTooShort);
  EXPECT_EQ(out.temp, header);
  out = RunCrossfade(format, 4, 50, 8, 1);
  EXPECT_EQ(out.result, CrossfadeOutcome::kMade);

  // The source start likewise, tested after the destination's.
  out = RunCrossfade(format, 50, 3, 8, 1);
  EXPECT_EQ(out.result, CrossfadeOutcome::kSourceTooShort);
  EXPECT_EQ(out.temp, header);
  out = RunCrossfade(format, 3, 3, 8, 1);
  EXPECT_EQ(out.result, CrossfadeOutcome::kDestinationTooShort);
  out = RunCrossfade(format, 50, 4, 8, 1);
  EXPECT_EQ(out.result, CrossfadeOutcome::kMade);

  // A start exactly at the end of a file passes; what lies past the end is silence. One frame
  // further fails.
  out = RunCrossfade(format, frames + 4, 50, 8, 2);
  EXPECT_EQ(out.result, CrossfadeOutcome::kMade);
  EXPECT_EQ(out.values, (Values{0, 0, -125, -125, -250, -250, -375, -375, -500, -500, -625, -625,
                                -750, -750, -875, -875}));
  out = RunCrossfade(format, frames + 5, 50, 8, 2);
  EXPECT_EQ(out.result, CrossfadeOutcome::kDestinationTooShort);
  EXPECT_EQ(out.temp, header);

  out = RunCrossfade(format, 50, frames + 4, 8, 2);
  EXPECT_EQ(out.result, CrossfadeOutcome::kMade);
  EXPECT_EQ(out.values, (Values{1000, 1000, 875, 875, 750, 750, 625, 625, 500, 500, 375, 375, 250,
                                250, 125, 125}));
  out = RunCrossfade(format, 50, frames + 5, 8, 2);
  EXPECT_EQ(out.result, CrossfadeOutcome::kSourceTooShort);
  EXPECT_EQ(out.temp, header);
}

TEST(Crossfade, TheSourceIsSilentPastItsAudio) {
  // Ten frames of -1000 and a LIST chunk after them. Type 2 over 8 frames from source frame 4:
  // frames 6 and 7 lie past the audio and blend the destination's 1000 with silence. Where the data
  // chunk's size does not count (0, 0xFFFFFFFF, past the end of the file), the audio runs to the
  // end of the file, chunk and all, as in a file holding those bytes as audio.
  const WavFormat format{1, 44100, 16};
  const Bytes audio = testing::EncodeSamples(Values(10, -1000), 16);
  const Bytes info = {'I', 'N', 'F', 'O', 'I', 'S', 'F', 'T', 4, 0, 0, 0, 'a', 'b', 'c', 0};
  const auto sourceWithSize = [&](uint32_t declaredSize) {
    return testing::WavBuilder().Fmt(format).DataWithSize(declaredSize, audio).Chunk("LIST", info);
  };
  const Bytes exact = sourceWithSize(static_cast<uint32_t>(audio.size())).Build();
  Bytes allAudio = audio;  // the audio and the LIST chunk after it
  allAudio.insert(allAudio.end(), exact.end() - static_cast<long>(8 + info.size()), exact.end());
  const Values silentPast = {1000, 750, 500, 250, 0, -250, 250, 125};
  Values asAudio;
  {
    testing::TempDir dir;
    WriteFiles(format, Values(20, 1000), {});
    testing::WriteFile(kSource, testing::WavBuilder().Fmt(format).Data(allAudio).Build());
    asAudio = RunCrossfade(format, 10, 8, 8, 2).values;
    ASSERT_EQ(asAudio.size(), 8u);
    ASSERT_NE(asAudio, silentPast);
  }
  const struct {
    uint32_t declaredSize;
    Values expected;
  } cases[] = {
      {static_cast<uint32_t>(audio.size()), silentPast},
      {0, asAudio},
      {0xFFFFFFFFu, asAudio},
      {static_cast<uint32_t>(allAudio.size() + 2), asAudio},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.declaredSize);
    testing::TempDir dir;
    WriteFiles(format, Values(20, 1000), {});
    testing::WriteFile(kSource, sourceWithSize(c.declaredSize).Build());
    const Outcome out = RunCrossfade(format, 10, 8, 8, 2);
    EXPECT_EQ(out.result, CrossfadeOutcome::kMade);
    EXPECT_EQ(out.values, c.expected);
  }
}

TEST(Crossfade, AScratchFileThatCannotBeWritten) {
  testing::TempDir dir;
  const WavFormat format{1, 44100, 16};
  WriteFiles(format, Values(50, 1000), Values(50, -1000));
  const testing::OpenWav dest = testing::OpenWavFile(kDest);
  const testing::OpenWav source = testing::OpenWavFile(kSource);
  const Descriptor full(::open("/dev/full", O_WRONLY | O_CLOEXEC));
  WavWriter scratch(full.get(), IntegerFormat(2, 1, 44100), "full");
  int64_t clipped = 0;
  EXPECT_EQ(CROSSFADE(10, 10, 4, 1, dest.audio, source.audio, scratch, 0.0, clipped),
            CrossfadeOutcome::kNotWritten);
}

TEST(Crossfade, LimitsAndCountsClippedValues) {
  // Type 1 over full-scale material on both sides: cos + sin exceeds 1 everywhere but at sample 0,
  // so samples 1..3 hold at full scale.
  for (int bits : {16, 24}) {
    SCOPED_TRACE(bits);
    testing::TempDir dir;
    const int32_t high = bits == 16 ? 32767 : 8388607;
    const int32_t low = -high - 1;
    const WavFormat format{2, 44100, bits};
    WriteFiles(format, Repeat({high, low}, 20), Repeat({high, low}, 20));
    const Outcome out = RunCrossfade(format, 10, 10, 4, 1);
    EXPECT_EQ(out.result, CrossfadeOutcome::kMade);
    EXPECT_EQ(out.values, Repeat({high, low}, 4));
    EXPECT_EQ(out.clipped, 6);
  }
  // A level takes the source side past full scale: type 2, +12 dB.
  testing::TempDir dir;
  const WavFormat format{1, 44100, 16};
  WriteFiles(format, Values(20, 0), Values(20, 20000));
  const Outcome out = RunCrossfade(format, 10, 10, 4, 2, 12.0);
  EXPECT_EQ(out.values, (Values{0, 19905, 32767, 32767}));
  EXPECT_EQ(out.clipped, 2);
}

}  // namespace
}  // namespace wavsplice
