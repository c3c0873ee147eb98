#include "render/render_loop.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

#include "common/failure.h"
#include "tests/open_wav.h"
#include "tests/temp_dir.h"
#include "tests/wav_fixture.h"

namespace wavsplice {
namespace {

using Values = std::vector<int32_t>;

const testing::WavFormat kMono{1, 1000, 16};

// A destination of 40 frames of 1000, open as a run holds it.
struct Destination {
  testing::OpenWav file;
  RenderTarget target;
};

Destination MakeDestination() {
  testing::WriteFile("dest.wav", testing::CanonicalWav(kMono, Values(40, 1000)));
  Destination dest{testing::OpenWavFile("dest.wav"), RenderTarget()};
  dest.target.destPath = "dest.wav";
  dest.target.scratchBeside = "dest.wav";
  dest.target.dest = dest.file.audio;
  dest.target.destLength = 40;
  dest.target.format = IntegerFormat(2, 1, 1000);
  return dest;
}

EditRender Edit(const std::string& source, int64_t insertPoint, int64_t readLength) {
  EditRender edit;
  edit.sourcePath = source;
  edit.sourceAudioStart = 44;
  edit.insertPoint = insertPoint;
  edit.readStart = 10;
  edit.readLength = readLength;
  return edit;
}

Values DestinationValues() {
  return testing::DecodeSamples(testing::AudioOf(testing::ReadFile("dest.wav")), 16);
}

// The crossfade blends the destination as it was before the edit's copy, and is laid over the copy:
// type 2 over 4 frames at frame 20 gives 1000, 500, 0, -500 from frame 18, then the source's -1000.
TEST(EditRenderer, MakesTheCrossfadeBeforeTheCopyAndLaysItAfter) {
  testing::TempDir dir;
  Destination dest = MakeDestination();
  testing::WriteFile("src.wav", testing::CanonicalWav(kMono, Values(40, -1000)));
  EditRenderer renderer(dest.target);
  EditRender edit = Edit("src.wav", 20, 10);
  edit.xfType = 2;
  edit.xfWidth = 4.0f;
  const EditOutcome outcome = renderer.Render(edit);
  EXPECT_EQ(outcome.crossfade, CrossfadeOutcome::kMade);
  EXPECT_EQ(outcome.clipped, 0);
  Values expected(40, 1000);
  for (int32_t k = 20; k < 30; ++k) expected[static_cast<size_t>(k)] = -1000;
  expected[18] = 1000;
  expected[19] = 500;
  expected[20] = 0;
  expected[21] = -500;
  EXPECT_EQ(DestinationValues(), expected);

  // One that cannot be made leaves a plain copy and says why.
  edit.insertPoint = 1;
  edit.readLength = 2;
  EXPECT_EQ(renderer.Render(edit).crossfade, CrossfadeOutcome::kDestinationTooShort);
  expected[1] = expected[2] = -1000;
  EXPECT_EQ(DestinationValues(), expected);
}

// A source stays open from one edit to the next while it is among the eight used last: a file
// removed after its first edit is still read from, until eight others have been used since.
TEST(EditRenderer, KeepsTheSourcesUsedLastOpen) {
  testing::TempDir dir;
  Destination dest = MakeDestination();
  for (int i = 0; i <= 8; ++i) {
    testing::WriteFile("s" + std::to_string(i) + ".wav",
                       testing::CanonicalWav(kMono, Values(40, i + 1)));
  }
  EditRenderer renderer(dest.target);
  renderer.Render(Edit("s0.wav", 0, 1));
  std::remove("s0.wav");
  for (int i = 1; i < 8; ++i) renderer.Render(Edit("s" + std::to_string(i) + ".wav", i, 1));
  renderer.Render(Edit("s0.wav", 8, 1));
  EXPECT_EQ(DestinationValues()[8], 1);

  // s1 .. s8 are the last eight: s0 has to be opened again, and is gone.
  renderer.Render(Edit("s8.wav", 9, 1));
  for (int i = 1; i < 8; ++i) renderer.Render(Edit("s" + std::to_string(i) + ".wav", i, 1));
  try {
    renderer.Render(Edit("s0.wav", 10, 1));
    ADD_FAILURE() << "s0.wav was still open";
  } catch (const RunFailure& failure) {
    EXPECT_EQ(failure.exitCode, kExitFile);
    EXPECT_EQ(failure.message, "Cannot open file s0.wav\n");
  }
}

}  // namespace
}  // namespace wavsplice
