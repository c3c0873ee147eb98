// End-to-end: plans at the edges of what the checks let through: integer formats beyond 16 and 24
// bits, spans and insert points at their limits, and the crossfade's scratch name used as an
// ordinary name. The tasks these checks refuse are in cli_refusal_test.cc.
#include <gtest/gtest.h>

#include <nlohmann/json.hpp>

#include <unistd.h>
#include <string>

#include "tests/cli_expected.h"
#include "tests/cli_runner.h"
#include "tests/temp_dir.h"
#include "tests/wav_fixture.h"

namespace wavsplice::testing {
namespace {

const WavFormat kMono8k{1, 8000, 16, 1};

// A format mismatch's listing reaches the JSON report's messages as the terminal shows it.
TEST(CliPlan, FormatMismatchListingIsInTheJsonMessages) {
  TempDir dir;
  WriteFile(dir / "a.wav", CanonicalWav({1, 44100, 16, 1}, {1, 2}));
  WriteFile(dir / "b.wav", CanonicalWav({1, 48000, 16, 1}, {1, 2}));
  WriteTextFile(dir / "task.txt", "src\ta.wav\nsrc\tb.wav\ndest\tout.wav\n");
  const CliResult json = RunCli(dir.path(), {"--json", "report.json", "task.txt"});
  EXPECT_EQ(json.exitCode, 1);
  EXPECT_EQ(nlohmann::json::parse(ReadFile(dir / "report.json"))["messages"],
            nlohmann::json::array({"Sample rates do not match for source tracks:",
                                   "a.wav\t44100 Hz", "b.wav\t48000 Hz"}));
}

TEST(CliPlan, OtherIntegerFormatsCopyAndTakeLevelAndCrossfade) {
  TempDir dir;
  WriteFile(dir / "u8.wav", CanonicalWav({1, 8000, 8, 1}, {1, 2, 200, 255}));
  WriteFile(dir / "u8copy.wav", CanonicalWav({1, 8000, 8, 1}, {1, 2, 200, 255}));
  WriteFile(dir / "tri.wav", CanonicalWav({3, 8000, 16, 1}, {1, 2, 3, -4, -5, -6, 7, 8, 9}));
  WriteFile(dir / "wide.wav", CanonicalWav({2, 8000, 32, 1}, {-1, 1, 0x12345678, -0x12345678}));
  // An extensible header whose sub-format is integer PCM is integer PCM.
  WriteFile(dir / "ext24.wav", WavBuilder()
                                   .FmtExtensible({2, 8000, 24, 1}, 1)
                                   .Data(EncodeSamples({8388607, -8388608, 10, -10}, 24))
                                   .Build());

  WriteTextFile(dir / "task.txt",
                "using_samples\nsrc\tu8.wav\nxin\t1\nsrc\tu8copy.wav\nxf\t1\t0\nins\t4\n"
                "dest\tout.wav\n");
  ExpectOutcome(RunCli(dir.path(), {}),
                kSampleMode + ReadEntries(2) + SampleBlock(1, 0, "u8.wav", 1, 3) +
                    SampleBlock(2, 4, "u8copy.wav", 0, 4) + SampleBuilt("out.wav", 8, 8, 1, 8000),
                0);
  Bytes expected = ExpectedHeader(8000, 8, 1, 8);
  // The gap before the second entry is 8-bit silence, 0x80.
  for (unsigned char b : {2, 200, 255, 0x80, 1, 2, 200, 255}) expected.push_back(b);
  EXPECT_EQ(ReadFile(dir / "out.wav"), expected);

  WriteTextFile(dir / "task.txt", "using_samples\nsrc\ttri.wav\nxin\t1\ndest\tout.wav\n");
  ExpectOutcome(RunCli(dir.path(), {}),
                kSampleMode + ReadEntries(1) + SampleBlock(1, 0, "tri.wav", 1, 2) +
                    SampleBuilt("out.wav", 2, 16, 3, 8000),
                0);
  // More than two channels take the extensible header (no mask in the source).
  expected = ExpectedExtensibleHeader(8000, 16, 3, 2, 0);
  Bytes audio = EncodeSamples({-4, -5, -6, 7, 8, 9}, 16);
  expected.insert(expected.end(), audio.begin(), audio.end());
  EXPECT_EQ(ReadFile(dir / "out.wav"), expected);

  WriteTextFile(dir / "task.txt", "using_samples\nsrc\twide.wav\nins\t1\ndest\tout.wav\n");
  ExpectOutcome(RunCli(dir.path(), {}),
                kSampleMode + ReadEntries(1) + SampleBlock(1, 1, "wide.wav", 0, 2) +
                    SampleBuilt("out.wav", 3, 32, 2, 8000),
                0);
  expected = ExpectedHeader(8000, 32, 2, 3);
  audio = EncodeSamples({0, 0, -1, 1, 0x12345678, -0x12345678}, 32);
  expected.insert(expected.end(), audio.begin(), audio.end());
  EXPECT_EQ(ReadFile(dir / "out.wav"), expected);

  WriteTextFile(dir / "task.txt", "using_samples\nsrc\text24.wav\nlvl\t-20\ndest\tout.wav\n");
  ExpectOutcome(RunCli(dir.path(), {}),
                kSampleMode + ReadEntries(1) + SampleBlock(1, 0, "ext24.wav", 0, 2, "-20.000") +
                    SampleBuilt("out.wav", 2, 24, 2, 8000),
                0);
  Canvas canvas(2, 2);
  canvas.Put(0, {838860, -838860, 1, -1});
  EXPECT_EQ(ReadFile(dir / "out.wav"), ExpectedWav(8000, 24, canvas, 2));

  // Every one of them takes a level change and a crossfade.
  for (const std::string task :
       {"src\ttri.wav\nlvl\t0.5\ndest\tout.wav\n", "src\twide.wav\nxf\t100\t4\ndest\tout.wav\n",
        "src\tu8.wav\nlvl\t-1\ndest\tout.wav\n"}) {
    WriteTextFile(dir / "task.txt", task);
    const CliResult result = RunCli(dir.path(), {});
    EXPECT_EQ(result.exitCode, 0) << result.out;
    EXPECT_NE(result.out.find("Built\tout.wav"), std::string::npos) << result.out;
  }
}

// The edges of a span that pass: -0.9 truncates to 0, a stop past the end within the 64-bit range
// is held at the end, the last sample alone, and trim counting from the end when xout is 0.
TEST(CliPlan, SpanEdgesThatPass) {
  TempDir dir;
  WriteFile(dir / "a.wav", CanonicalWav(kMono8k, {1, 2, 3, 4, 5}));
  WriteFile(dir / "b.wav", CanonicalWav(kMono8k, {11, 12, 13, 14, 15}));
  WriteFile(dir / "c.wav", CanonicalWav(kMono8k, {21, 22, 23, 24, 25}));
  WriteTextFile(dir / "task.txt",
                "using_samples\nsrc\ta.wav\nxin\t-0.9\nxout\t9.2e18\n"
                "src\tb.wav\nins\t5\nxin\t4\n"
                "src\tc.wav\nins\t6\ntrim\t-4\n"
                "src\ta.wav\nxin\t2\nxout\t3.5\ndest\tout.wav\n");
  ExpectOutcome(RunCli(dir.path(), {}),
                kSampleMode + ReadEntries(4) + SampleBlock(1, 0, "a.wav", 0, 5) +
                    SampleBlock(2, 5, "b.wav", 4, 1) + SampleBlock(3, 6, "c.wav", 0, 1) +
                    SampleBlock(4, 7, "a.wav", 2, 1) + SampleBuilt("out.wav", 8, 16, 1, 8000),
                0);
  EXPECT_EQ(ReadFile(dir / "out.wav"), CanonicalWav(kMono8k, {1, 2, 3, 4, 5, 15, 21, 3}));
}

TEST(CliPlan, InsertPointJustBelowZeroTruncatesToZero) {
  TempDir dir;
  WriteFile(dir / "a.wav", CanonicalWav(kMono8k, {1, 2, 3, 4, 5}));
  // -0.5 truncates to 0, which is allowed.
  WriteTextFile(dir / "task.txt", "using_samples\nsrc\ta.wav\nins\t-0.5\ndest\tout.wav\n");
  ExpectOutcome(RunCli(dir.path(), {}),
                kSampleMode + ReadEntries(1) + SampleBlock(1, 0, "a.wav", 0, 5) +
                    SampleBuilt("out.wav", 5, 16, 1, 8000),
                0);
  EXPECT_EQ(ReadFile(dir / "out.wav"), CanonicalWav(kMono8k, {1, 2, 3, 4, 5}));
}

// No name is reserved for crossfades: a source or a destination named "xfade_temp.wav" renders as
// under any other name, the crossfade included (as a destination that is also an input it is
// refused like any other: see the refusals' table).
TEST(CliPlan, CrossfadeTempNameIsAnOrdinaryName) {
  TempDir dir;
  std::vector<int32_t> values;
  for (int32_t i = 0; i < 100; ++i) values.push_back(i * 150 - 7000);
  const Bytes a = CanonicalWav(kMono8k, values);
  WriteFile(dir / "a.wav", a);
  WriteFile(dir / "xfade_temp.wav", a);
  WriteFile(dir / "plain.wav", a);
  // A 16-sample crossfade placed from sample 42.
  const auto task = [](const std::string& first, const std::string& dest) {
    return "using_samples\nsrc\t" + first + "\nxout\t50\nsrc\ta.wav\nxin\t50\nxf\t2\t1\ndest\t" +
           dest + "\n";
  };
  WriteTextFile(dir / "task.txt", task("plain.wav", "reference.wav"));
  ASSERT_EQ(RunCli(dir.path(), {}).exitCode, 0);
  const Bytes reference = ReadFile(dir / "reference.wav");

  WriteTextFile(dir / "task.txt", task("xfade_temp.wav", "out.wav"));
  CliResult result = RunCli(dir.path(), {});
  EXPECT_EQ(result.exitCode, 0) << result.out;
  EXPECT_EQ(result.out.find("Could not generate crossfade"), std::string::npos) << result.out;
  EXPECT_EQ(ReadFile(dir / "out.wav"), reference);
  EXPECT_EQ(ReadFile(dir / "xfade_temp.wav"), a);

  ::unlink((dir / "xfade_temp.wav").c_str());
  WriteTextFile(dir / "task.txt", task("plain.wav", "xfade_temp.wav"));
  result = RunCli(dir.path(), {});
  EXPECT_EQ(result.exitCode, 0) << result.out;
  EXPECT_EQ(ReadFile(dir / "xfade_temp.wav"), reference);
  EXPECT_EQ(TemporaryFilesIn(dir.path()), std::vector<std::string>{});
}

}  // namespace
}  // namespace wavsplice::testing
