#include "render/crossfade_steps.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <filesystem>
#include <optional>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include "tests/open_wav.h"
#include "tests/stdout_capture.h"
#include "tests/temp_dir.h"
#include "tests/wav_fixture.h"
#include "wav/wav_writer.h"

namespace wavsplice {
namespace {

using testing::Bytes;
using testing::WavFormat;
using Values = std::vector<int32_t>;

// The names in the working directory.
std::set<std::string> Names() {
  std::set<std::string> names;
  for (const auto& item : std::filesystem::directory_iterator(".")) {
    names.insert(item.path().filename().string());
  }
  return names;
}

// A run with a 16-bit mono destination of 40 frames of 7, open as a run holds it, and a made
// crossfade whose frames are 1, 2, ..., xfSamples.
struct Placement {
  testing::OpenWav dest;
  RenderTarget run;
  PreparedCrossfade prepared;
};

Placement PlacementRun(int32_t xfSamples) {
  const WavFormat format{1, 44100, 16};
  testing::WriteFile("dest.wav", testing::CanonicalWav(format, Values(40, 7)));
  Placement placement{testing::OpenWavFile("dest.wav"), RenderTarget(), PreparedCrossfade()};
  RenderTarget& run = placement.run;
  run.destPath = "dest.wav";
  run.scratchBeside = "dest.wav";
  run.dest = placement.dest.audio;
  run.format = IntegerFormat(2, 1, 44100);
  run.destLength = 40;
  std::optional<StagedFile> file = StagedFile::Create("dest.wav", "dest.wav.xfade");
  EXPECT_TRUE(file.has_value());
  const int fd = file->fd();
  placement.prepared.frames.emplace(ScratchFrames{std::move(*file), WavWriter(fd, run.format, "")});
  WavWriter& wav = placement.prepared.frames->wav;
  EXPECT_TRUE(MAKE_HEADER(wav, xfSamples));
  Values crossfade;
  for (int32_t i = 1; i <= xfSamples; ++i) crossfade.push_back(i);
  const Bytes bytes = testing::EncodeSamples(crossfade, 16);
  EXPECT_TRUE(wav.Append(bytes.data(), bytes.size()));
  placement.prepared.outcome = CrossfadeOutcome::kMade;
  placement.prepared.xfSamples = xfSamples;
  return placement;
}

TEST(PlaceCrossfade, LaysTheFramesFromHalfBeforeTheSpliceThenRemovesThem) {
  // From frame 3 - 5 / 2 = 1; from 39 - 5 / 2 = 37, where only three of the five frames lie within
  // the 40 the header declares and the file keeps its size; from 2, 1 and 0 (starts 0, -1, -2) not
  // at all.
  const struct {
    int64_t insertPoint;
    CrossfadeOutcome outcome;
    int64_t firstFrame;
    int32_t framesLaid;
  } kCases[] = {
      {3, CrossfadeOutcome::kMade, 1, 5},      {39, CrossfadeOutcome::kMade, 37, 3},
      {2, CrossfadeOutcome::kNotPlaced, 0, 0}, {1, CrossfadeOutcome::kNotPlaced, 0, 0},
      {0, CrossfadeOutcome::kNotPlaced, 0, 0},
  };
  for (const auto& c : kCases) {
    SCOPED_TRACE(c.insertPoint);
    testing::TempDir dir;
    Placement placement = PlacementRun(5);
    EditRender entry;
    entry.insertPoint = c.insertPoint;
    KernelCopy kernel;
    EXPECT_EQ(PlaceCrossfade(placement.run, entry, placement.prepared, kernel), c.outcome);
    EXPECT_EQ(Names(), std::set<std::string>{"dest.wav"});
    const Bytes dest = testing::ReadFile("dest.wav");
    ASSERT_EQ(dest.size(), 44u + 2u * 40u);
    Values expected(40, 7);
    for (int32_t i = 0; i < c.framesLaid; ++i) {
      expected[static_cast<size_t>(c.firstFrame + i)] = i + 1;
    }
    EXPECT_EQ(testing::DecodeSamples(testing::AudioOf(dest), 16), expected);
  }
}

// A run for the preparation step: 16-bit mono at 1000 samples per second, destination 50 frames of
// 1000, source 50 frames of -1000.
struct Preparation {
  testing::OpenWav dest;
  testing::OpenWav source;
  RenderTarget run;
  EditRender entry;
};

Preparation PreparationRun() {
  const WavFormat format{1, 1000, 16};
  testing::WriteFile("dest.wav", testing::CanonicalWav(format, Values(50, 1000)));
  testing::WriteFile("src.wav", testing::CanonicalWav(format, Values(50, -1000)));
  Preparation preparation{testing::OpenWavFile("dest.wav"), testing::OpenWavFile("src.wav"),
                          RenderTarget(), EditRender()};
  RenderTarget& run = preparation.run;
  run.destPath = "shown.wav";
  run.scratchBeside = "dest.wav";
  run.dest = preparation.dest.audio;
  run.destLength = 50;
  run.format = IntegerFormat(2, 1, 1000);
  EditRender& entry = preparation.entry;
  entry.sourcePath = "src.wav";
  entry.xfType = 2;
  entry.xfWidth = 4.0f;  // 4 samples
  entry.insertPoint = 10;
  entry.readStart = 10;
  return preparation;
}

TEST(PrepareCrossfade, FillsAScratchFileOfItsOwn) {
  testing::TempDir dir;
  Preparation p = PreparationRun();
  PreparedCrossfade prepared = PrepareCrossfade(p.run, p.entry, p.source.audio);
  EXPECT_EQ(prepared.outcome, CrossfadeOutcome::kMade);
  EXPECT_EQ(prepared.xfSamples, 4);
  ASSERT_TRUE(prepared.frames.has_value());
  const std::string path = prepared.frames->file.path();
  // Beside the destination's file, named after the destination.
  EXPECT_EQ(path.rfind(".shown.wav.xfade.wavsplice-", 0), 0u) << path;
  const Bytes temp = testing::ReadFile(path);
  ASSERT_EQ(temp.size(), 44u + 8u);
  EXPECT_EQ(testing::DecodeSamples(testing::AudioOf(temp), 16), (Values{1000, 500, 0, -500}));
  // The header was written for the 4 samples.
  EXPECT_EQ(temp[40], 8);
  prepared.frames.reset();
  EXPECT_EQ(Names(), (std::set<std::string>{"dest.wav", "src.wav"}));
}

// A crossfade that cannot be made says why and leaves no scratch file. One that carries the
// destination past 2 GiB or 4 GiB is tried (and fails here only because these files are short); one
// whose frames lie beyond any file offset fails before its scratch file is made.
TEST(PrepareCrossfade, ACrossfadeThatCannotBeMadeSaysWhy) {
  const int64_t last = MaxDataFrames(2);
  const struct {
    int64_t insertPoint;
    int64_t readStart;
    int32_t rate;
    float width;
    CrossfadeOutcome outcome;
    int64_t xfSamples;
  } kCases[] = {
      {10, 1, 1000, 4.0f, CrossfadeOutcome::kSourceTooShort, 4},
      {1, 10, 1000, 4.0f, CrossfadeOutcome::kDestinationTooShort, 4},
      // 1e30 samples at 1000 per second: no 64-bit count.
      {10, 10, 1000, 1.0e30f, CrossfadeOutcome::kTooLong, 4410},
      // 143999991 frames at 8 kHz (in single precision) up to frame 1082000000: past 2^31 bytes of
      // 16-bit mono.
      {1010000000, 1010000000, 8000, 18000000.0f, CrossfadeOutcome::kDestinationTooShort,
       143999991},
      // 800 frames ending on the last frame a file offset reaches, and one frame further.
      {last - 400, last - 400, 8000, 100.0f, CrossfadeOutcome::kDestinationTooShort, 800},
      {last - 399, last - 399, 8000, 100.0f, CrossfadeOutcome::kTooLong, 800},
  };
  for (const auto& c : kCases) {
    SCOPED_TRACE(c.insertPoint);
    testing::TempDir dir;
    Preparation p = PreparationRun();
    p.entry.insertPoint = c.insertPoint;
    p.entry.readStart = c.readStart;
    p.entry.xfWidth = c.width;
    p.run.format.sampleRate = c.rate;
    const PreparedCrossfade prepared = PrepareCrossfade(p.run, p.entry, p.source.audio);
    EXPECT_EQ(prepared.outcome, c.outcome);
    EXPECT_EQ(prepared.xfSamples, c.xfSamples);
    EXPECT_FALSE(prepared.frames.has_value());
    EXPECT_EQ(Names(), (std::set<std::string>{"dest.wav", "src.wav"}));
  }
}

TEST(PrepareCrossfade, AScratchFileThatCannotBeMadeFailsTheRunNamingTheDestination) {
  testing::TempDir dir;
  Preparation p = PreparationRun();
  p.run.scratchBeside = "gone/dest.wav";  // no folder to put the scratch file in
  const testing::Outcome outcome =
      testing::RunCaptured([&] { PrepareCrossfade(p.run, p.entry, p.source.audio); });
  EXPECT_TRUE(outcome.failed);
  EXPECT_EQ(outcome.exitCode, 2);
  EXPECT_EQ(outcome.out + outcome.message, "Cannot write to file shown.wav\n");
}

}  // namespace
}  // namespace wavsplice
