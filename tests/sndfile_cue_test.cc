// libsndfile reads the destination's cue points (SFC_GET_CUE): every join and every carried marker
// at its frame, with its name.
#include <gtest/gtest.h>
#include <sndfile.h>

#include <string>
#include <vector>

#include "tests/cli_runner.h"
#include "tests/temp_dir.h"
#include "tests/three_takes.h"

namespace wavsplice::testing {
namespace {

TEST(SndfileCue, EveryMarkerAtItsFrameWithItsName) {
  TempDir dir;
  WriteThreeTakes(dir.path());
  const CliResult run = RunCli(dir.path(), {});
  ASSERT_EQ(run.exitCode, 0) << run.out;

  SF_INFO info{};
  SNDFILE* file = sf_open((dir / "out.wav").c_str(), SFM_READ, &info);
  ASSERT_NE(file, nullptr) << sf_strerror(nullptr);
  EXPECT_EQ(info.frames, 103200);
  uint32_t count = 0;
  EXPECT_EQ(sf_command(file, SFC_GET_CUE_COUNT, &count, sizeof count), SF_TRUE);
  SF_CUES cues{};
  EXPECT_EQ(sf_command(file, SFC_GET_CUE, &cues, sizeof cues), SF_TRUE);
  sf_close(file);

  const std::vector<ExpectedMarker> expected = ThreeTakeMarkers();
  ASSERT_EQ(count, expected.size());
  ASSERT_EQ(cues.cue_count, expected.size());
  for (size_t i = 0; i < expected.size(); ++i) {
    SCOPED_TRACE(expected[i].label);
    const SF_CUE_POINT& point = cues.cue_points[i];
    EXPECT_EQ(point.indx, static_cast<int32_t>(i + 1));
    EXPECT_EQ(point.position, expected[i].frame);
    EXPECT_EQ(point.sample_offset, expected[i].frame);
    EXPECT_EQ(point.chunk_start, 0);
    EXPECT_EQ(point.block_start, 0);
    EXPECT_EQ(std::string(point.name), expected[i].label);
  }
}

}  // namespace
}  // namespace wavsplice::testing
