#include "render/crossfade_steps.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <filesystem>
#include <limits>
#include <optional>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include "tests/stdout_capture.h"
#include "tests/temp_dir.h"
#include "tests/wav_fixture.h"
#include "wav/wav_writer.h"

namespace wavsplice {
namespace {

using testing::Bytes;
using testing::WavFormat;
using Values = std::vector<int32_t>;

int64_t SamplesFor(int32_t sampleRate, float width, int64_t before = 4410) {
  int64_t xfSamples = before;
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

  // Counts beyond the signed 32-bit range are made; beyond the 64-bit
  // range (or from an infinite product) the crossfade cannot be.
  int64_t xfSamples = 4410;
  EXPECT_EQ(SamplesFor(44100, 1.0e8f), 4409999753);  // 4.41e12 in single precision
  // The float product decides: 1000 x 2147483008 = 2147482992640.
  EXPECT_EQ(SamplesFor(1000, 2.147483e9f), 2147482992);
  EXPECT_FALSE(CrossfadeSamples(44100, 1.0e30f, xfSamples));
  EXPECT_FALSE(CrossfadeSamples(44100, std::numeric_limits<float>::infinity(), xfSamples));
  EXPECT_FALSE(CrossfadeSamples(44100, 3.4e38f, xfSamples));
  EXPECT_EQ(xfSamples, 4410);
}

// The names in the working directory.
std::set<std::string> Names() {
  std::set<std::string> names;
  for (const auto& item : std::filesystem::directory_iterator(".")) {
    names.insert(item.path().filename().string());
  }
  return names;
}

// A run with a 16-bit mono destination of 40 frames of 7 and a scratch file
// holding the crossfade frames 1, 2, ..., xfSamples.
struct Placement {
  RenderTarget run;
  std::optional<StagedFile> scratch;
};

Placement PlacementRun(int32_t xfSamples) {
  const WavFormat format{1, 44100, 16};
  Placement placement;
  RenderTarget& run = placement.run;
  run.destPath = "dest.wav";
  run.destWritePath = "dest.wav";
  run.format = IntegerFormat(2, 1, 44100);
  run.destLength = 40;
  testing::WriteFile(run.destPath, testing::CanonicalWav(format, Values(40, 7)));
  Values crossfade;
  for (int32_t i = 1; i <= xfSamples; ++i) crossfade.push_back(i);
  placement.scratch = StagedFile::Create(run.destWritePath, "dest.wav.xfade");
  EXPECT_TRUE(placement.scratch.has_value());
  testing::WriteFile(placement.scratch->path(), testing::CanonicalWav(format, crossfade));
  return placement;
}

TEST(PlaceCrossfade, LaysTheScratchFileFromHalfBeforeTheSpliceThenRemovesIt) {
  testing::TempDir dir;
  Placement placement = PlacementRun(5);
  EditRender entry;
  entry.xfSamples = 5;
  entry.insertPoint = 3;  // start 3 - 5 / 2 = 1
  EXPECT_TRUE(PlaceCrossfade(placement.run, entry, std::move(*placement.scratch)));
  EXPECT_EQ(Names(), std::set<std::string>{"dest.wav"});
  Values expected(40, 7);
  for (int32_t i = 0; i < 5; ++i) expected[static_cast<size_t>(1 + i)] = i + 1;
  EXPECT_EQ(testing::DecodeSamples(testing::AudioOf(testing::ReadFile("dest.wav")), 16), expected);
}

TEST(PlaceCrossfade, StopsAtTheEndOfTheDestination) {
  // Five frames from 40 - 3 - 5 / 2 on: the first three are placed, the
  // rest would lie past the 40 frames the header declares. The file keeps
  // its size, through the open destination as through its path.
  for (const bool open : {false, true}) {
    SCOPED_TRACE(open ? "open destination" : "by path");
    testing::TempDir dir;
    Placement placement = PlacementRun(5);
    EditRender entry;
    entry.xfSamples = 5;
    entry.insertPoint = 39;
    if (open) {
      FileHandle dest = OpenFile("dest.wav", "rb+");
      ASSERT_TRUE(dest);
      KernelCopy kernel;
      EXPECT_TRUE(PlaceCrossfade(placement.run, entry, std::move(*placement.scratch),
                                 OpenAudio{fileno(dest.get()), 44}, kernel));
    } else {
      EXPECT_TRUE(PlaceCrossfade(placement.run, entry, std::move(*placement.scratch)));
    }
    const Bytes dest = testing::ReadFile("dest.wav");
    ASSERT_EQ(dest.size(), 44u + 2u * 40u);
    Values expected(40, 7);
    expected[37] = 1;
    expected[38] = 2;
    expected[39] = 3;
    EXPECT_EQ(testing::DecodeSamples(testing::AudioOf(dest), 16), expected);
  }
}

TEST(PlaceCrossfade, StartZeroOrBelowIsNotPlacedButTheScratchFileGoes) {
  for (int32_t insertPoint : {2, 1, 0}) {  // starts 0, -1, -2
    SCOPED_TRACE(insertPoint);
    testing::TempDir dir;
    Placement placement = PlacementRun(5);
    const Bytes dest = testing::ReadFile("dest.wav");
    EditRender entry;
    entry.xfSamples = 5;
    entry.insertPoint = insertPoint;
    ::testing::internal::CaptureStdout();
    EXPECT_FALSE(PlaceCrossfade(placement.run, entry, std::move(*placement.scratch)));
    EXPECT_EQ(::testing::internal::GetCapturedStdout(), "");
    EXPECT_EQ(Names(), std::set<std::string>{"dest.wav"});
    EXPECT_EQ(testing::ReadFile("dest.wav"), dest);
  }
}

// A run for the preparation step: 16-bit mono at 1000 samples per second,
// destination 50 frames of 1000, source 50 frames of -1000.
RenderTarget PreparationRun(EditRender& entry) {
  const WavFormat format{1, 1000, 16};
  RenderTarget run;
  run.destPath = "shown.wav";
  run.destWritePath = "dest.wav";
  run.format = IntegerFormat(2, 1, 1000);
  testing::WriteFile(run.destWritePath, testing::CanonicalWav(format, Values(50, 1000)));
  testing::WriteFile("src.wav", testing::CanonicalWav(format, Values(50, -1000)));
  entry.sourcePath = "src.wav";
  entry.xfType = 2;
  entry.xfWidth = 4.0f;  // 4 samples
  entry.insertPoint = 10;
  entry.readStart = 10;
  return run;
}

TEST(PrepareCrossfade, FillsAScratchFileOfItsOwn) {
  testing::TempDir dir;
  EditRender entry;
  const RenderTarget run = PreparationRun(entry);
  int64_t clipped = 0;
  ::testing::internal::CaptureStdout();
  std::optional<StagedFile> scratch = PrepareCrossfade(run, entry, clipped);
  EXPECT_EQ(::testing::internal::GetCapturedStdout(), "");
  EXPECT_EQ(entry.xfSamples, 4);
  EXPECT_EQ(entry.xfType, 2);
  ASSERT_TRUE(scratch.has_value());
  // Beside the destination's file, named after the destination.
  EXPECT_EQ(scratch->path().rfind(".shown.wav.xfade.wavsplice-", 0), 0u) << scratch->path();
  const Bytes temp = testing::ReadFile(scratch->path());
  ASSERT_EQ(temp.size(), 44u + 8u);
  EXPECT_EQ(testing::DecodeSamples(testing::AudioOf(temp), 16), (Values{1000, 500, 0, -500}));
  // The header was written for the 4 samples.
  EXPECT_EQ(temp[40], 8);
  scratch.reset();
  EXPECT_EQ(Names(), (std::set<std::string>{"dest.wav", "src.wav"}));
}

TEST(PrepareCrossfade, FailureIsReportedAndDropsTheCrossfade) {
  {
    testing::TempDir dir;
    EditRender entry;
    const RenderTarget run = PreparationRun(entry);
    entry.readStart = 1;  // below half
    int64_t clipped = 0;
    ::testing::internal::CaptureStdout();
    EXPECT_FALSE(PrepareCrossfade(run, entry, clipped).has_value());
    EXPECT_EQ(::testing::internal::GetCapturedStdout(),
              "Invalid crossfade for source file\nCould not generate crossfade\n");
    EXPECT_EQ(entry.xfType, 0);
    // No scratch file stays behind.
    EXPECT_EQ(Names(), (std::set<std::string>{"dest.wav", "src.wav"}));
  }
  {
    testing::TempDir dir;
    EditRender entry;
    const RenderTarget run = PreparationRun(entry);
    entry.xfWidth = 1.0e30f;  // 1e30 samples at 1000 per second: no 64-bit count
    int64_t clipped = 0;
    ::testing::internal::CaptureStdout();
    EXPECT_FALSE(PrepareCrossfade(run, entry, clipped).has_value());
    EXPECT_EQ(::testing::internal::GetCapturedStdout(), "Could not generate crossfade\n");
    EXPECT_EQ(entry.xfType, 0);
  }
}

TEST(PrepareCrossfade, AScratchFileThatCannotBeMadeFailsTheRunNamingTheDestination) {
  testing::TempDir dir;
  EditRender entry;
  RenderTarget run = PreparationRun(entry);
  run.destWritePath = "gone/dest.wav";  // no folder to put the scratch file in
  int64_t clipped = 0;
  const testing::Outcome outcome =
      testing::RunCaptured([&] { PrepareCrossfade(run, entry, clipped); });
  EXPECT_TRUE(outcome.failed);
  EXPECT_EQ(outcome.exitCode, 2);
  EXPECT_EQ(outcome.out + outcome.message, "Cannot write to file shown.wav\n");
}

}  // namespace
}  // namespace wavsplice
