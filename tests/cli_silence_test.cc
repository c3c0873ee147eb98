// End-to-end: the silence of a new destination. The program may leave it to the file system to
// supply, but it must come out as if written byte by byte; a file size limit that stops the run
// part way fails it, whether or not the limit's signal is ignored, and the old destination stays.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "tests/cli_runner.h"
#include "tests/temp_dir.h"
#include "tests/wav_fixture.h"

namespace wavsplice::testing {
namespace {

TEST(CliSilence, GapsReadAsZerosAndLimitsStopAtTheSameByte) {
  TempDir dir;
  const WavFormat format{1, 8000, 16, 1};
  std::vector<int32_t> span;
  for (int32_t i = 1; i <= 100; ++i) span.push_back(i * 300 - 15000);
  WriteFile(dir / "a.wav", CanonicalWav(format, span));
  // Frames 0 .. 2999 silent, then the span: 6244 bytes in all.
  WriteTextFile(dir / "task.txt", "using_samples\nsrc\ta.wav\nins\t3000\ndest\tout.wav\n");
  std::vector<int32_t> audio(3000, 0);
  audio.insert(audio.end(), span.begin(), span.end());
  const Bytes expected = CanonicalWav(format, audio);
  const std::string readOne = "Reading time values as samples.\n\nRead 1 entries in task file\n\n";

  CliResult result = RunCli(dir.path(), {});
  EXPECT_EQ(result.exitCode, 0) << result.out;
  EXPECT_EQ(ReadFile(dir / "out.wav"), expected);

  // Under a file size limit the destination fits: the same file.
  result = RunCli(dir.path(), {}, 60, "ulimit -f 64;");
  EXPECT_EQ(result.exitCode, 0) << result.out;
  EXPECT_EQ(ReadFile(dir / "out.wav"), expected);

  // A limit of 4 KiB (8 blocks of 512 bytes): the silence is written up to the limit, then the
  // write fails, with the limit's signal ignored by the caller or not.
  for (const std::string prefix : {"trap '' XFSZ; ulimit -f 8;", "ulimit -f 8;"}) {
    SCOPED_TRACE(prefix);
    result = RunCli(dir.path(), {}, 60, prefix);
    EXPECT_EQ(result.signal, 0);
    EXPECT_EQ(result.exitCode, 2);
    EXPECT_EQ(result.out, readOne + "Cannot write to file out.wav\n");
    EXPECT_EQ(ReadFile(dir / "out.wav"), expected);
  }
}

}  // namespace
}  // namespace wavsplice::testing
