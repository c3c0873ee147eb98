#include "render/crossfade_steps.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <limits>
#include <string>
#include <vector>

#include "tests/temp_dir.h"
#include "tests/wav_fixture.h"
#include "wav/wav_writer.h"

namespace wavsplice {
namespace {

using testing::Bytes;
using testing::WavFormat;
using Values = std::vector<int32_t>;

int32_t SamplesFor(int32_t sampleRate, float width, int32_t before = 4410) {
  int32_t xfSamples = before;
  EXPECT_TRUE(CrossfadeSamples(sampleRate, width, xfSamples));
  return xfSamples;
}

TEST(CrossfadeSamples, FromTheWidthInMilliseconds) {
  EXPECT_EQ(SamplesFor(44100, 100.0f), 4410);
  EXPECT_EQ(SamplesFor(48000, 100.0f), 4800);
  // 44100 x 33.3 in single precision is 1468530, truncated after / 1000.
  EXPECT_EQ(SamplesFor(44100, 33.3f), 1468);
  EXPECT_EQ(SamplesFor(96000, 0.5f), 48);
  EXPECT_EQ(SamplesFor(8000, 0.1f), 0);

  // No positive width: the count stays as it was, whatever the rate.
  EXPECT_EQ(SamplesFor(96000, 0.0f), 4410);
  EXPECT_EQ(SamplesFor(96000, -0.0f), 4410);
  EXPECT_EQ(SamplesFor(48000, -20.0f, 1234), 1234);
  EXPECT_EQ(SamplesFor(48000, std::numeric_limits<float>::quiet_NaN()), 4410);

  // Beyond a signed 32-bit count the crossfade cannot be made.
  int32_t xfSamples = 4410;
  EXPECT_FALSE(CrossfadeSamples(44100, 1.0e8f, xfSamples));
  EXPECT_FALSE(CrossfadeSamples(44100, std::numeric_limits<float>::infinity(), xfSamples));
  // The float product decides: 1000 x 2147483008 = 2147482992640, while
  // 2.1474837e9 is 2^31 as a float and gives one sample too many.
  EXPECT_FALSE(CrossfadeSamples(1000, 2.1474837e9f, xfSamples));
  EXPECT_TRUE(CrossfadeSamples(1000, 2.147483e9f, xfSamples));
  EXPECT_EQ(xfSamples, 2147482992);
}

// A run with a 16-bit mono destination of 40 frames of 7 and a temp file
// holding the crossfade frames 1, 2, ..., xfSamples.
RenderTarget PlacementRun(int32_t xfSamples) {
  const WavFormat format{1, 44100, 16};
  RenderTarget run;
  run.destPath = "dest.wav";
  run.sampleRate = 44100;
  run.bits = 16;
  run.channels = 1;
  run.bytesPerSample = 2;
  testing::WriteFile(run.destPath, testing::CanonicalWav(format, Values(40, 7)));
  Values crossfade;
  for (int32_t i = 1; i <= xfSamples; ++i) crossfade.push_back(i);
  EXPECT_EQ(MAKE_HEADER(run.xfadeTempPath, 44100, 16, xfSamples, 1), WriteResult::kOk);
  Bytes temp = testing::ReadFile(run.xfadeTempPath);
  const Bytes audio = testing::EncodeSamples(crossfade, 16);
  temp.insert(temp.end(), audio.begin(), audio.end());
  testing::WriteFile(run.xfadeTempPath, temp);
  return run;
}

TEST(PlaceCrossfade, LaysTheTempFileFromHalfBeforeTheSpliceThenDeletesIt) {
  testing::TempDir dir;
  const RenderTarget run = PlacementRun(5);
  EditRender entry;
  entry.xfSamples = 5;
  entry.insertPoint = 3;  // start 3 - 5 / 2 = 1
  EXPECT_TRUE(PlaceCrossfade(run, entry));
  EXPECT_FALSE(testing::FileExists(run.xfadeTempPath));
  Values expected(40, 7);
  for (int32_t i = 0; i < 5; ++i) expected[static_cast<size_t>(1 + i)] = i + 1;
  EXPECT_EQ(testing::DecodeSamples(testing::AudioOf(testing::ReadFile(run.destPath)), 16),
            expected);
}

TEST(PlaceCrossfade, StartZeroOrBelowIsNotPlacedButTheTempFileGoes) {
  for (int32_t insertPoint : {2, 1, 0}) {  // starts 0, -1, -2
    SCOPED_TRACE(insertPoint);
    testing::TempDir dir;
    const RenderTarget run = PlacementRun(5);
    const Bytes dest = testing::ReadFile(run.destPath);
    EditRender entry;
    entry.xfSamples = 5;
    entry.insertPoint = insertPoint;
    ::testing::internal::CaptureStdout();
    EXPECT_FALSE(PlaceCrossfade(run, entry));
    EXPECT_EQ(::testing::internal::GetCapturedStdout(), "");
    EXPECT_FALSE(testing::FileExists(run.xfadeTempPath));
    EXPECT_EQ(testing::ReadFile(run.destPath), dest);
  }
}

// A run for the preparation step: 16-bit mono at 1000 samples per second,
// destination 50 frames of 1000, source 50 frames of -1000.
RenderTarget PreparationRun(EditRender& entry) {
  const WavFormat format{1, 1000, 16};
  RenderTarget run;
  run.destPath = "dest.wav";
  run.sampleRate = 1000;
  run.bits = 16;
  run.channels = 1;
  run.bytesPerSample = 2;
  testing::WriteFile(run.destPath, testing::CanonicalWav(format, Values(50, 1000)));
  testing::WriteFile("src.wav", testing::CanonicalWav(format, Values(50, -1000)));
  entry.sourcePath = "src.wav";
  entry.xfType = 2;
  entry.xfWidth = 4.0f;  // 4 samples
  entry.insertPoint = 10;
  entry.readStart = 10;
  return run;
}

TEST(PrepareCrossfade, FillsTheTempFile) {
  testing::TempDir dir;
  EditRender entry;
  const RenderTarget run = PreparationRun(entry);
  int64_t clipped = 0;
  ::testing::internal::CaptureStdout();
  PrepareCrossfade(run, entry, clipped);
  EXPECT_EQ(::testing::internal::GetCapturedStdout(), "");
  EXPECT_EQ(entry.xfSamples, 4);
  EXPECT_EQ(entry.xfType, 2);
  const Bytes temp = testing::ReadFile(run.xfadeTempPath);
  ASSERT_EQ(temp.size(), 44u + 8u);
  EXPECT_EQ(testing::DecodeSamples(testing::AudioOf(temp), 16), (Values{1000, 500, 0, -500}));
  // The header was written for the 4 samples.
  EXPECT_EQ(temp[40], 8);
}

TEST(PrepareCrossfade, FailureIsReportedAndDropsTheCrossfade) {
  {
    testing::TempDir dir;
    EditRender entry;
    const RenderTarget run = PreparationRun(entry);
    entry.readStart = 1;  // below half
    int64_t clipped = 0;
    ::testing::internal::CaptureStdout();
    PrepareCrossfade(run, entry, clipped);
    EXPECT_EQ(::testing::internal::GetCapturedStdout(),
              "Invalid crossfade for source file\nCould not generate crossfade\n");
    EXPECT_EQ(entry.xfType, 0);
    // The temp file stays with only its header.
    EXPECT_EQ(testing::ReadFile(run.xfadeTempPath).size(), 44u);
  }
  {
    testing::TempDir dir;
    EditRender entry;
    const RenderTarget run = PreparationRun(entry);
    entry.xfWidth = 3.0e9f;  // 3e9 samples at 1000 per second
    int64_t clipped = 0;
    ::testing::internal::CaptureStdout();
    PrepareCrossfade(run, entry, clipped);
    EXPECT_EQ(::testing::internal::GetCapturedStdout(), "Could not generate crossfade\n");
    EXPECT_EQ(entry.xfType, 0);
  }
}

}  // namespace
}  // namespace wavsplice
