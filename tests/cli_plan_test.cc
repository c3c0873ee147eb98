// End-to-end: the checks made on the sources and the plan before anything is
// written (formats, spans, insert points, files the run must not destroy),
// and the destination's creation failing.
#include <gtest/gtest.h>

#include <nlohmann/json.hpp>

#include <sys/stat.h>
#include <unistd.h>
#include <string>

#include "tests/cli_expected.h"
#include "tests/cli_runner.h"
#include "tests/temp_dir.h"
#include "tests/wav_fixture.h"

namespace wavsplice::testing {
namespace {

const WavFormat kMono8k{1, 8000, 16, 1};

// Runs task.txt with the given text; the run must be refused with `out`
// and status 1, leaving an existing out.wav as it was.
void ExpectRefused(const TempDir& dir, const std::string& text, const std::string& out) {
  SCOPED_TRACE(text);
  const Bytes untouched{'k', 'e', 'e', 'p'};
  WriteFile(dir / "out.wav", untouched);
  WriteTextFile(dir / "task.txt", text);
  ExpectOutcome(RunCli(dir.path(), {}), out, 1);
  EXPECT_EQ(ReadFile(dir / "out.wav"), untouched);
  EXPECT_EQ(TemporaryFilesIn(dir.path()), std::vector<std::string>{});
}

TEST(CliPlan, FormatMismatchListsEverySourceForEachDifference) {
  TempDir dir;
  WriteFile(dir / "a.wav", CanonicalWav({1, 44100, 16, 1}, {1, 2}));
  WriteFile(dir / "b.wav", CanonicalWav({1, 48000, 16, 1}, {1, 2}));
  WriteFile(dir / "c.wav", CanonicalWav({1, 48000, 16, 1}, {1, 2}));
  const std::string rates =
      "Sample rates do not match for source tracks:\n"
      "a.wav\t44100 Hz\nb.wav\t48000 Hz\nc.wav\t48000 Hz\n";
  ExpectRefused(dir, "src\ta.wav\nsrc\tb.wav\nsrc\tc.wav\ndest\tout.wav\n",
                ReadEntries(3) + rates + rates);

  // Only entry 0 differs: every later entry fails against it.
  ExpectRefused(dir, "src\tc.wav\nsrc\ta.wav\nsrc\ta.wav\ndest\tout.wav\n",
                ReadEntries(3) +
                    "Sample rates do not match for source tracks:\n"
                    "c.wav\t48000 Hz\na.wav\t44100 Hz\na.wav\t44100 Hz\n"
                    "Sample rates do not match for source tracks:\n"
                    "c.wav\t48000 Hz\na.wav\t44100 Hz\na.wav\t44100 Hz\n");

  // Rate and bits of one entry, channels of another: per entry, rate, then
  // channels, then bits. The comparison comes before the span checks (the
  // spans here are all refusable).
  WriteFile(dir / "d.wav", CanonicalWav({1, 48000, 24, 1}, {1, 2}));
  WriteFile(dir / "e.wav", CanonicalWav({2, 44100, 16, 1}, {1, 2}));
  ExpectRefused(dir,
                "using_samples\nsrc\ta.wav\nxin\t9\nsrc\td.wav\nxin\t9\nsrc\te.wav\nxin\t9\n"
                "dest\tout.wav\n",
                kSampleMode + ReadEntries(3) +
                    "Sample rates do not match for source tracks:\n"
                    "a.wav\t44100 Hz\nd.wav\t48000 Hz\ne.wav\t44100 Hz\n"
                    "Number of bits do not match for source tracks:\n"
                    "a.wav\t16\nd.wav\t24\ne.wav\t16\n"
                    "Number of channels do not match for source tracks:\n"
                    "a.wav\t1 channels\nd.wav\t1 channels\ne.wav\t2 channels\n");

  // The JSON report's messages hold the listing as the terminal shows it.
  WriteTextFile(dir / "task.txt", "src\ta.wav\nsrc\tb.wav\ndest\tout.wav\n");
  const CliResult json = RunCli(dir.path(), {"--json", "report.json", "task.txt"});
  EXPECT_EQ(json.exitCode, 1);
  EXPECT_EQ(nlohmann::json::parse(ReadFile(dir / "report.json"))["messages"],
            nlohmann::json::array({"Sample rates do not match for source tracks:",
                                   "a.wav\t44100 Hz", "b.wav\t48000 Hz"}));
}

TEST(CliPlan, UnsupportedFormatsAreRefusedInTableOrder) {
  TempDir dir;
  WriteFile(dir / "pcm.wav", CanonicalWav(kMono8k, {1, 2, 3}));
  WriteFile(dir / "float.wav", CanonicalWav({1, 8000, 16, 3}, {0, 0, 0}));
  WriteFile(dir / "alaw.wav", CanonicalWav({1, 8000, 16, 6}, {0, 0, 0}));
  WriteFile(
      dir / "extfloat.wav",
      WavBuilder().FmtExtensible({1, 8000, 16, 1}, 3).Data(EncodeSamples({1, 2}, 16)).Build());
  WriteFile(dir / "nibble.wav", CanonicalWav({1, 8000, 4, 1}, {}));
  WriteFile(dir / "norate.wav", CanonicalWav({1, 0, 16, 1}, {1, 2, 3}));
  // Refused before the span is looked at (xin 7 is past every end).
  for (const std::string name :
       {"float.wav", "alaw.wav", "extfloat.wav", "nibble.wav", "norate.wav"}) {
    ExpectRefused(dir, "using_samples\nsrc\t" + name + "\nxin\t7\ndest\tout.wav\n",
                  kSampleMode + ReadEntries(1) + "Unsupported audio format in " + name + "\n");
  }
  ExpectRefused(dir, "src\tpcm.wav\nsrc\talaw.wav\nsrc\talaw.wav\ndest\tout.wav\n",
                ReadEntries(3) + "Unsupported audio format in alaw.wav\n");
  // The format comparison comes first.
  WriteFile(dir / "float32.wav", CanonicalWav({1, 8000, 32, 3}, {0, 0, 0}));
  ExpectRefused(dir, "src\tpcm.wav\nsrc\tfloat32.wav\ndest\tout.wav\n",
                ReadEntries(2) +
                    "Number of bits do not match for source tracks:\npcm.wav\t16\nfloat32.wav\t32\n"
                    "Sample types do not match for source tracks:\npcm.wav\tinteger\n"
                    "float32.wav\tfloat\n");
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

TEST(CliPlan, SpansOutsideTheSourceAreRefused) {
  TempDir dir;
  for (const std::string name : {"a.wav", "b.wav", "c.wav"}) {
    WriteFile(dir / name, CanonicalWav(kMono8k, {1, 2, 3, 4, 5}));
  }
  // b.wav is the first bad entry of the table; c.wav after it is bad too.
  const std::string sampleSpans[] = {
      "xin\t2\nxout\t2",
      "xin\t5",
      "xin\t6\nxout\t9",
      "xin\t-1",
      "xin\t2\ntrim\t-3",
      "xout\t-1",
      "xin\tnan",
      "xin\t-inf",
      "xout\tinf",
      "xout\tnan",
      "trim\tnan",
      "xin\t1e300",
      "xin\t3e9",
      "xout\t-1e300",
      "xin\t2147483648",
      "trim\t-inf",
      // Stops whose sample count leaves the signed 64-bit range.
      "xout\t1e300",
      "trim\t1e300",
      "xout\t9.3e18",
  };
  for (const std::string& span : sampleSpans) {
    ExpectRefused(
        dir,
        "using_samples\nsrc\ta.wav\nsrc\tb.wav\n" + span + "\nsrc\tc.wav\nxin\t9\ndest\tout.wav\n",
        kSampleMode + ReadEntries(3) + "Edit start/stop set incorrectly for b.wav\n");
  }
  // Seconds at 8000 samples per second: 0.000625 s is sample 5, the end.
  for (const std::string span : {"xin\t0.000625", "xin\t-0.001", "xin\t1e10",
                                 "xout\t0.0005\ntrim\t-0.0005", "xin\t0.0002\nxout\t0.0002"}) {
    ExpectRefused(dir, "src\ta.wav\nsrc\tb.wav\n" + span + "\ndest\tout.wav\n",
                  ReadEntries(2) + "Edit start/stop set incorrectly for b.wav\n");
  }

  // The edges that pass: -0.9 truncates to 0, a stop past the end within
  // the 64-bit range is held at the end, the last sample alone, and trim
  // counting from the end when xout is 0.
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

TEST(CliPlan, InsertPointsOutsideTheDestinationAreRefused) {
  TempDir dir;
  WriteFile(dir / "a.wav", CanonicalWav(kMono8k, {1, 2, 3, 4, 5}));
  WriteFile(dir / "b.wav", CanonicalWav(kMono8k, {6, 7, 8, 9, 10}));
  const std::string refusal = "Insert point set incorrectly for ";
  for (const std::string ins : {"-1", "nan", "inf", "-inf", "1e300", "9.3e18"}) {
    ExpectRefused(dir, "using_samples\nsrc\ta.wav\nins\t" + ins + "\ndest\tout.wav\n",
                  kSampleMode + ReadEntries(1) + refusal + "a.wav\n");
  }
  ExpectRefused(dir, "src\ta.wav\nins\t-0.001\ndest\tout.wav\n",
                ReadEntries(1) + refusal + "a.wav\n");
  // A destination of 16-bit mono reaches about 4.6e18 samples (2^63 bytes);
  // an edit ending past that is refused.
  ExpectRefused(dir, "using_samples\nsrc\ta.wav\nxin\t4\nins\t4.7e18\ndest\tout.wav\n",
                kSampleMode + ReadEntries(1) + refusal + "a.wav\n");
  // An appended entry is checked once its point is known: a.wav ends near
  // the limit, b.wav after it would pass it.
  ExpectRefused(dir,
                "using_samples\nsrc\ta.wav\nins\t4.6e18\nxout\t1e17\nsrc\tb.wav\n"
                "dest\tout.wav\n",
                kSampleMode + ReadEntries(2) + refusal + "b.wav\n");
  // The given values are checked before any point is worked out.
  ExpectRefused(dir, "using_samples\nsrc\ta.wav\nins\t-1\nsrc\tb.wav\nins\tnan\ndest\tout.wav\n",
                kSampleMode + ReadEntries(2) + refusal + "b.wav\n");
  ExpectRefused(dir, "using_samples\nsrc\ta.wav\nins\t-1\nsrc\tb.wav\nins\t-2\ndest\tout.wav\n",
                kSampleMode + ReadEntries(2) + refusal + "a.wav\n");

  // -0.5 truncates to 0, which is allowed.
  WriteTextFile(dir / "task.txt", "using_samples\nsrc\ta.wav\nins\t-0.5\ndest\tout.wav\n");
  ExpectOutcome(RunCli(dir.path(), {}),
                kSampleMode + ReadEntries(1) + SampleBlock(1, 0, "a.wav", 0, 5) +
                    SampleBuilt("out.wav", 5, 16, 1, 8000),
                0);
  EXPECT_EQ(ReadFile(dir / "out.wav"), CanonicalWav(kMono8k, {1, 2, 3, 4, 5}));
}

TEST(CliPlan, DestinationThatIsAnInputIsRefused) {
  TempDir dir;
  const Bytes source = CanonicalWav(kMono8k, {1, 2, 3, 4, 5});
  WriteFile(dir / "a.wav", source);
  ASSERT_EQ(::mkdir((dir / "sub").c_str(), 0755), 0);
  ASSERT_EQ(::link((dir / "a.wav").c_str(), (dir / "hard.wav").c_str()), 0);
  ASSERT_EQ(::symlink("a.wav", (dir / "soft.wav").c_str()), 0);
  for (const std::string& dest : std::vector<std::string>{"a.wav", "./a.wav", "sub/../a.wav",
                                                          dir / "a.wav", "hard.wav", "soft.wav"}) {
    SCOPED_TRACE(dest);
    const std::string task = "src\ta.wav\ndest\t" + dest + "\n";
    WriteTextFile(dir / "task.txt", task);
    ExpectOutcome(RunCli(dir.path(), {}),
                  ReadEntries(1) + "Destination file " + dest + " is also an input file\n", 1);
    EXPECT_EQ(ReadFile(dir / "a.wav"), source);
    EXPECT_EQ(ReadFile(dir / "task.txt"), Bytes(task.begin(), task.end()));
  }
  // The task file itself, named differently on the command line.
  const std::string task = "src\ta.wav\ndest\tsub/job.txt\n";
  WriteTextFile(dir / "sub/job.txt", task);
  ExpectOutcome(RunCli(dir.path(), {"./sub/../sub/job.txt"}),
                ReadEntries(1) + "Destination file sub/job.txt is also an input file\n", 1);
  EXPECT_EQ(ReadFile(dir / "sub/job.txt"), Bytes(task.begin(), task.end()));

  // After the span checks, before the insert points.
  WriteTextFile(dir / "task.txt", "using_samples\nsrc\ta.wav\nxin\t5\ndest\ta.wav\n");
  ExpectOutcome(RunCli(dir.path(), {}),
                kSampleMode + ReadEntries(1) + "Edit start/stop set incorrectly for a.wav\n", 1);
  WriteTextFile(dir / "task.txt", "using_samples\nsrc\ta.wav\nins\t-1\ndest\ta.wav\n");
  ExpectOutcome(RunCli(dir.path(), {}),
                kSampleMode + ReadEntries(1) + "Destination file a.wav is also an input file\n", 1);
  EXPECT_EQ(ReadFile(dir / "a.wav"), source);
}

// No name is reserved for crossfades: a source or a destination named
// "xfade_temp.wav" renders as under any other name, the crossfade included;
// only a destination that is an input is refused, as always.
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

  WriteTextFile(dir / "task.txt", task("xfade_temp.wav", "./xfade_temp.wav"));
  ExpectOutcome(
      RunCli(dir.path(), {}),
      kSampleMode + ReadEntries(2) + "Destination file ./xfade_temp.wav is also an input file\n",
      1);
  EXPECT_EQ(ReadFile(dir / "xfade_temp.wav"), reference);
  EXPECT_EQ(TemporaryFilesIn(dir.path()), std::vector<std::string>{});
}

TEST(CliPlan, DestinationThatCannotBeCreatedOrWritten) {
  TempDir dir;
  WriteFile(dir / "a.wav", CanonicalWav(kMono8k, std::vector<int32_t>(300, 7)));
  ASSERT_EQ(::mkdir((dir / "folder").c_str(), 0755), 0);
  for (const std::string dest : {"nowhere/out.wav", "folder"}) {
    WriteTextFile(dir / "task.txt", "src\ta.wav\ndest\t" + dest + "\n");
    ExpectOutcome(RunCli(dir.path(), {}),
                  ReadEntries(1) + (dest == "folder" ? "Cannot replace" : "Cannot create") +
                      " destination file " + dest + "\n",
                  2);
  }
  EXPECT_FALSE(FileExists(dir / "nowhere"));

  // A device is never replaced by a file.
  WriteTextFile(dir / "task.txt", "src\ta.wav\ndest\t/dev/full\n");
  ExpectOutcome(RunCli(dir.path(), {}),
                ReadEntries(1) + "Cannot replace destination file /dev/full\n", 2);

  // A file size limit of 512 bytes: the header fits, the silence does not.
  // Nothing is left behind.
  WriteTextFile(dir / "task.txt", "src\ta.wav\ndest\tout.wav\n");
  ExpectOutcome(RunCli(dir.path(), {}, 60, "ulimit -f 1;"),
                ReadEntries(1) + "Cannot write to file out.wav\n", 2);
  EXPECT_FALSE(FileExists(dir / "out.wav"));
  EXPECT_EQ(TemporaryFilesIn(dir.path()), std::vector<std::string>{});

  // A destination far larger than the disk (8 EiB of silence) fails at
  // once, without filling the disk first; nothing is left behind.
  WriteTextFile(dir / "task.txt", "using_samples\nsrc\ta.wav\nins\t4.6e18\ndest\tout.wav\n");
  ExpectOutcome(RunCli(dir.path(), {}),
                kSampleMode + ReadEntries(1) + "Cannot write to file out.wav\n", 2);
  EXPECT_FALSE(FileExists(dir / "out.wav"));
  EXPECT_EQ(TemporaryFilesIn(dir.path()), std::vector<std::string>{});
}

}  // namespace
}  // namespace wavsplice::testing
