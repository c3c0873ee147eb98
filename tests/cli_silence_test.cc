// End-to-end: the silence of a new destination. The program may leave it to
// the file system to supply, but it must come out as if written byte by
// byte, also when a file size limit stops the run part way.
#include <gtest/gtest.h>

#include <csignal>
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

  // A limit of 4 KiB (8 blocks of 512 bytes), its signal ignored: the silence is written up to the
  // limit, then the write fails.
  const Bytes upToLimit(expected.begin(), expected.begin() + 4096);
  result = RunCli(dir.path(), {}, 60, "trap '' XFSZ; ulimit -f 8;");
  EXPECT_EQ(result.exitCode, 2);
  EXPECT_EQ(result.out, readOne + "Cannot write to file out.wav\n");
  EXPECT_EQ(ReadFile(dir / "out.wav"), upToLimit);

  // The same limit with its signal in force: the signal ends the run at the
  // same byte.
  result = RunCli(dir.path(), {}, 60, "ulimit -f 8;");
  EXPECT_EQ(result.signal, SIGXFSZ);
  EXPECT_EQ(ReadFile(dir / "out.wav"), upToLimit);
}

}  // namespace
}  // namespace wavsplice::testing
