#include <gtest/gtest.h>

#include <cstdint>
#include <filesystem>
#include <iterator>
#include <string>
#include <vector>

#include "render/crossfade_steps.h"
#include "tests/temp_dir.h"
#include "tests/wav_fixture.h"
#include "wav/wav_writer.h"

namespace wavsplice {
namespace {

// A crossfade that carries the destination past 2 GiB or 4 GiB is tried
// (and fails here only because these files are short); one whose frames lie
// beyond any file offset fails before its scratch file is made. No scratch
// file stays behind either way.
TEST(CrossfadeBounds, CrossfadeBeyondAnyFileOffsetFails) {
  testing::TempDir dir;
  const testing::WavFormat mono8k{1, 8000, 16};
  testing::WriteFile("dest.wav", testing::CanonicalWav(mono8k, std::vector<int32_t>(10, 1)));
  testing::WriteFile("source.wav", testing::CanonicalWav(mono8k, std::vector<int32_t>(10, 2)));
  RenderTarget run;
  run.destPath = "dest.wav";
  run.destWritePath = "dest.wav";
  run.format = IntegerFormat(2, 1, 8000);
  EditRender entry;
  entry.sourcePath = "source.wav";
  int64_t clipped = 0;
  const std::string tried = "Invalid crossfade for destination file\n";
  // What the preparation printed before "Could not generate crossfade".
  const auto prepare = [&](int64_t insertPoint, float width) {
    entry.xfType = 1;
    entry.insertPoint = insertPoint;
    entry.readStart = insertPoint;
    entry.xfWidth = width;
    ::testing::internal::CaptureStdout();
    EXPECT_FALSE(PrepareCrossfade(run, entry, clipped).has_value());
    std::string out = ::testing::internal::GetCapturedStdout();
    EXPECT_EQ(entry.xfType, 0);
    // dest.wav and source.wav only: no scratch file left.
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir.path()),
                            std::filesystem::directory_iterator()),
              2);
    const std::string failed = "Could not generate crossfade\n";
    EXPECT_EQ(out.substr(out.size() - failed.size()), failed);
    return out.substr(0, out.size() - failed.size());
  };

  // 143999991 frames at 8 kHz (in single precision) up to frame 1082000000:
  // past 2^31 bytes of 16-bit mono.
  EXPECT_EQ(prepare(1010000000, 18000000.0f), tried);
  EXPECT_EQ(entry.xfSamples, 143999991);
  // 800 frames ending on the last frame a file offset reaches, and one
  // frame further.
  const int64_t last = MaxDataFrames(2);
  EXPECT_EQ(prepare(last - 400, 100.0f), tried);
  EXPECT_EQ(entry.xfSamples, 800);
  EXPECT_EQ(prepare(last - 399, 100.0f), "");
}

}  // namespace
}  // namespace wavsplice
