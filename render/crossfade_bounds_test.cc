#include <gtest/gtest.h>

#include <cstdint>
#include <filesystem>
#include <string>

#include "render/crossfade_steps.h"
#include "tests/temp_dir.h"
#include "tests/wav_fixture.h"

namespace wavsplice {
namespace {

// A crossfade long enough to carry the destination past the 2^31 - 1 bytes
// its header can describe fails before its temp file is made; one that just
// fits is tried (and here fails only for want of a destination file). No
// scratch file stays behind either way.
TEST(CrossfadeBounds, CrossfadeBeyondTheHeaderLimitFails) {
  testing::TempDir dir;
  RenderTarget run;
  run.destPath = "missing-dest.wav";
  run.destWritePath = "missing-dest.wav";
  run.sampleRate = 8000;
  run.bits = 16;
  run.channels = 1;
  run.bytesPerSample = 2;
  EditRender entry;
  entry.sourcePath = "missing-source.wav";
  entry.xfType = 1;
  // 16-bit mono: at most (2^31 - 1 - 36) / 2 = 1073741805 frames.
  entry.insertPoint = 1010000000;
  entry.xfWidth = 18000000.0f;  // 143999991 frames at 8 kHz, in single precision
  int64_t clipped = 0;

  ::testing::internal::CaptureStdout();
  EXPECT_FALSE(PrepareCrossfade(run, entry, clipped).has_value());
  EXPECT_EQ(::testing::internal::GetCapturedStdout(), "Could not generate crossfade\n");
  EXPECT_EQ(entry.xfSamples, 143999991);
  EXPECT_EQ(entry.xfType, 0);
  EXPECT_TRUE(std::filesystem::is_empty(dir.path()));

  // A crossfade that ends on the last frame the header holds is tried.
  entry.xfType = 1;
  entry.xfWidth = 15935451.0f;
  int32_t frames = 0;
  ASSERT_TRUE(CrossfadeSamples(run.sampleRate, entry.xfWidth, frames));
  entry.insertPoint = 1073741805 - frames + frames / 2;
  ::testing::internal::CaptureStdout();
  EXPECT_FALSE(PrepareCrossfade(run, entry, clipped).has_value());
  EXPECT_EQ(entry.xfSamples, frames);
  EXPECT_EQ(::testing::internal::GetCapturedStdout(), "Could not generate crossfade\n");
  EXPECT_TRUE(std::filesystem::is_empty(dir.path()));  // made, the open failed, removed

  // One frame further fails before the scratch file.
  entry.xfType = 1;
  entry.insertPoint += 1;
  ::testing::internal::CaptureStdout();
  EXPECT_FALSE(PrepareCrossfade(run, entry, clipped).has_value());
  EXPECT_EQ(::testing::internal::GetCapturedStdout(), "Could not generate crossfade\n");
  EXPECT_TRUE(std::filesystem::is_empty(dir.path()));
}

}  // namespace
}  // namespace wavsplice
