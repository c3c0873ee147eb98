#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

#include "render/crossfade.h"
#include "tests/open_wav.h"
#include "tests/temp_dir.h"
#include "tests/wav_fixture.h"

namespace wavsplice {
namespace {

using testing::Bytes;

struct FadeFormat {
  const char* name;
  int bytes;
  int channels;
  bool isFloat;
};

PcmFormat PcmOf(const FadeFormat& f) {
  PcmFormat format = IntegerFormat(f.bytes, f.channels, 1000);
  if (f.isFloat) format.encoding = SampleEncoding::kFloat;
  return format;
}

// A file of frames frames whose values run up and down across the range (past half scale, so that a
// level of +6 dB makes the fade limit some).
Bytes Wav(const FadeFormat& f, int32_t frames, bool silent) {
  const testing::WavFormat header{f.channels, 1000, f.bytes * 8, f.isFloat ? 3 : 1};
  const double top = f.isFloat ? 1.0 : (f.bytes == 2 ? 32767.0 : 8388607.0);
  std::vector<double> values;
  for (int32_t i = 0; i < frames * f.channels; ++i) {
    values.push_back(silent ? 0.0 : top * (((i * 37) % 200) - 100) / 100.0);
  }
  if (f.isFloat) {
    return testing::WavBuilder()
        .Fmt(header)
        .Data(testing::EncodeFloatSamples(values, f.bytes * 8))
        .Build();
  }
  return testing::CanonicalWav(header, std::vector<int32_t>(values.begin(), values.end()));
}

struct Made {
  Bytes bytes;
  int64_t clipped = 0;
};

Made Fade(const FadeFormat& f, bool fadeIn, int64_t frame, int64_t frames, int type,
          double levelDb) {
  testing::NewWav scratch = testing::CreateWav("fade.wav", PcmOf(f), frames);
  const testing::OpenWav audio = testing::OpenWavFile("audio.wav");
  Made made;
  EXPECT_EQ(FADE(fadeIn, audio.audio, frame, frames, type, scratch.wav, levelDb, made.clipped),
            CrossfadeOutcome::kMade);
  made.bytes = testing::ReadFile("fade.wav");
  return made;
}

Made Crossfade(const FadeFormat& f, const char* dest, const char* source, int64_t insertPoint,
               int64_t readStart, int64_t frames, int type, double levelDb) {
  testing::NewWav scratch = testing::CreateWav("xfade.wav", PcmOf(f), frames);
  Made made;
  EXPECT_EQ(CROSSFADE(insertPoint, readStart, frames, type, testing::OpenWavFile(dest).audio,
                      testing::OpenWavFile(source).audio, scratch.wav, levelDb, made.clipped),
            CrossfadeOutcome::kMade);
  made.bytes = testing::ReadFile("xfade.wav");
  return made;
}

// A fade is the crossfade with silence on the other side, byte for byte and in its count of limited
// values: a fade in has silence as the destination side, a fade out as the source side. Odd lengths
// and the level on the source side included.
TEST(Fade, IsTheCrossfadeWithASilentSide) {
  const FadeFormat formats[] = {{"16-bit mono", 2, 1, false},
                                {"24-bit stereo", 3, 2, false},
                                {"16-bit stereo", 2, 2, false},
                                {"float stereo", 4, 2, true}};
  const struct {
    int64_t frames;
    int type;
    double levelDb;
  } fades[] = {{41, 1, 0.0}, {40, 2, -3.0}, {1100, 3, 6.0}, {7, 4, 6.0}};
  for (const FadeFormat& f : formats) {
    for (const auto& fade : fades) {
      SCOPED_TRACE(std::string(f.name) + ", type " + std::to_string(fade.type));
      testing::TempDir dir;
      testing::WriteFile("audio.wav", Wav(f, 1500, false));
      testing::WriteFile("silence.wav", Wav(f, 1500, true));
      const int64_t half = fade.frames / 2;
      const int64_t from = 300;
      const Made in = Fade(f, true, from, fade.frames, fade.type, fade.levelDb);
      const Made inAsCrossfade = Crossfade(f, "silence.wav", "audio.wav", half, from + half,
                                           fade.frames, fade.type, fade.levelDb);
      EXPECT_EQ(in.bytes, inAsCrossfade.bytes);
      EXPECT_EQ(in.clipped, inAsCrossfade.clipped);
      const Made out = Fade(f, false, from, fade.frames, fade.type, fade.levelDb);
      const Made outAsCrossfade = Crossfade(f, "audio.wav", "silence.wav", from + half, half,
                                            fade.frames, fade.type, fade.levelDb);
      EXPECT_EQ(out.bytes, outAsCrossfade.bytes);
      EXPECT_EQ(out.clipped, 0);
    }
  }
}

}  // namespace
}  // namespace wavsplice
