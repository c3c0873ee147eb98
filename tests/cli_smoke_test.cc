#include <gtest/gtest.h>

#include "tests/cli_runner.h"
#include "tests/temp_dir.h"
#include "tests/wav_fixture.h"

namespace wavsplice::testing {
namespace {

TEST(CliSmoke, HelpEndsWithStatusOne) {
  TempDir dir;
  const CliResult result = RunCli(dir.path(), {"-h"});
  EXPECT_EQ(result.exitCode, 1);
  EXPECT_EQ(result.out.rfind("\nEditor version 2.21 (2f)\n", 0), 0u);
  EXPECT_EQ(result.err, "");
}

TEST(CliSmoke, CopiesOneSpan) {
  TempDir dir;
  WriteFile(dir / "a.wav", CanonicalWav({}, {1, 2, 3, 4, 5}));
  WriteTextFile(dir / "task.txt", "using_samples\nsrc\ta.wav\nxin\t1\nxout\t4\ndest\tout.wav\n");
  const CliResult result = RunCli(dir.path(), {});
  EXPECT_EQ(result.exitCode, 0) << result.out;
  EXPECT_EQ(AudioOf(ReadFile(dir / "out.wav")), EncodeSamples({2, 3, 4}, 16));
}

}  // namespace
}  // namespace wavsplice::testing
