// End-to-end: the command line, the help text and the task file reader's
// messages, run through the real binary.
#include <gtest/gtest.h>

#include <sys/stat.h>
#include <filesystem>
#include <string>

#include "tests/cli_expected.h"
#include "tests/cli_runner.h"
#include "tests/temp_dir.h"
#include "tests/wav_fixture.h"

namespace wavsplice::testing {
namespace {

const char kHelp[] =
    "\nEditor version 2.21 (2f)\n"
    "wavsplice: builds one PCM WAV file from spans of others, as a task file says.\n"
    "\nHelp...\n"
    "You may run the program with an argument specifying the controlling text file.\n"
    "Otherwise, the program will look for task.txt.\n"
    "\nCommands (placed at the start of a line):\n"
    "\t'src' to specify a source file.\n"
    "\t'xin' to set source file copy start. Omitting assumes 0.\n"
    "\t'xout' to set source file copy stop. Omitting assumes end of file\n"
    "\t'trim' to modify xout.\n"
    "\t'ins' to set the insert point in the destination file.\n"
    "\tOmitting 'ins' assumes the current edit will be appended to previous.\n"
    "\t'lvl' to set the volume level of source.  Omitting sets it to 0 dB.\n"
    "\t'dest' to specify the destination file.\n"
    "\nAfter a command use a tab and then enter a value in seconds or a filename\nas appropriate.\n"
    "\nIf you prefer to enter sample values, type using_samples on the first line\nof the task "
    "file.\n"
    "\nOperation:\n"
    "\nxin, xout, trim and ins commands are placed on lines below the src command.\n"
    "\nOnly one dest command is needed per text file.\n"
    "\nEntries get re-sorted by insert values and earliest get written first.\n"
    "New edits overwrite overhanging previous edits.\n"
    "\nAll source tracks must be of the same bits, samplerate, and channels.\n"
    "Supported are 8, 16, 24 and 32-bit integer and 32 and 64-bit float PCM, 1 to 128 "
    "channels, .wav files only.\n"
    "The destination track will match the source track specifications.\n"
    "\nCrossfades are added with the command 'xf' followed by a tab\n"
    "and the width in milliseconds, followed by a tab and a type 1, 2, 3, or 4.\n"
    "\nType 1 achieves an equal mix of both tracks at the splice point.\n"
    "\nType 2 achieves an equal mix without power compensation\n"
    "\nWith type 3, the decay of the file to the left of the splice is slow\n"
    "at first and then more rapid with time.\n"
    "\nWith type 4, the decay is fast at first and then slower with time\n"
    "\nExample: A 200 msec type 1 crossfade:\n"
    "xf\t200\t1\n\n"
    "Options (anywhere on the line; -- ends them):\n"
    "\t--check\t\tread and plan the task, print what a run would do, write nothing\n"
    "\t--strict\trender only when --check finds no warning\n"
    "\t--warnings\tprint the check's warnings on standard error (done when it is a terminal)\n"
    "\t--timeline FILE\talso draw the plan as an SVG picture in FILE\n"
    "\t--json FILE\talso write the report as JSON to FILE\n"
    "\t--loudness\tmeasure the destination's loudness and peaks after the report\n"
    "\t--target NAME\tcheck them against podcast, podcast-mono, ebu or acx\n"
    "\t\t\t(with --strict, a missed target leaves the old destination)\n"
    "\t--help\t\tprint this help\n"
    "\t--version\tprint the version\n";

// The report of a one-entry sample-mode run of a.wav (5 samples, 16-bit
// mono at 8000) copied whole into out.wav.
const char kFiveSampleReport[] =
    "Task 1\tInsert point 0 samples\n\tFile a.wav\n\tRead start 0 samples\n"
    "\tRead length 5 samples\n\tLevel 0.000 dB\n\tDone\n\n"
    "Built\tout.wav\n\tLength 5 samples\n\tBits 16\n\tChannels 1\n\tSample rate 8000\n\n";

const WavFormat kMono8k{1, 8000, 16, 1};

TEST(CliTask, HelpPrintsTheThirtyThreeLinesAndEndsWithStatusOne) {
  TempDir dir;
  // The help is printed whatever follows, and no task file is read even
  // when one exists.
  WriteTextFile(dir / "task.txt", "src\tmissing.wav\ndest\tout.wav\n");
  for (const auto& args : {std::vector<std::string>{"help"}, std::vector<std::string>{"-h"},
                           std::vector<std::string>{"-h", "task.txt"},
                           std::vector<std::string>{"help", "extra", "more"}}) {
    SCOPED_TRACE(args[0]);
    ExpectOutcome(RunCli(dir.path(), args), kHelp, 1);
  }
  EXPECT_FALSE(FileExists(dir / "out.wav"));

  // --help prints the same help and ends with 0; other spellings are the
  // task file's path or an unknown option, and after -- "help" is a path.
  ExpectOutcome(RunCli(dir.path(), {"--help"}), kHelp, 0);
  ExpectOutcome(RunCli(dir.path(), {"--", "help"}),
                "Cannot find file help that holds your instructions\n", 1);
  for (const std::string arg : {"HELP", "Help"}) {
    ExpectOutcome(RunCli(dir.path(), {arg}),
                  "Cannot find file " + arg + " that holds your instructions\n", 1);
  }
  for (const std::string arg : {"-help", "-H"}) {
    ExpectOutcome(RunCli(dir.path(), {arg}), "Unknown option " + arg + "\n", 1);
  }
}

TEST(CliTask, TaskFileComesFromTheFirstArgumentOrTaskTxt) {
  TempDir dir;
  ExpectOutcome(RunCli(dir.path(), {}), "Cannot find file task.txt that holds your instructions\n",
                1);
  ExpectOutcome(RunCli(dir.path(), {"jobs/cut.txt"}),
                "Cannot find file jobs/cut.txt that holds your instructions\n", 1);
  // A folder is a task file that cannot be opened.
  ASSERT_EQ(::mkdir((dir / "jobs").c_str(), 0755), 0);
  ExpectOutcome(RunCli(dir.path(), {"jobs"}),
                "Cannot find file jobs that holds your instructions\n", 1);

  WriteFile(dir / "a.wav", CanonicalWav(kMono8k, {1, 2, 3, 4, 5}));
  WriteTextFile(dir / "task.txt", "using_samples\nsrc\ta.wav\ndest\tout.wav\n");
  const std::string full = "Reading time values as samples.\n" + ReadEntries(1) + kFiveSampleReport;
  ExpectOutcome(RunCli(dir.path(), {}), full, 0);
  ASSERT_TRUE(FileExists(dir / "out.wav"));
  EXPECT_EQ(ReadFile(dir / "out.wav"), CanonicalWav(kMono8k, {1, 2, 3, 4, 5}));

  // Options may follow the task file; a second task file is refused
  // before anything is read.
  WriteTextFile(dir / "jobs/cut.txt", "using_samples\nsrc\ta.wav\nxin\t3\ndest\tcut.wav\n");
  WriteTextFile(dir / "other.txt", "src\tother.wav\ndest\tother_out.wav\n");
  ExpectOutcome(RunCli(dir.path(), {"jobs/cut.txt", "other.txt"}),
                "Only one task file can be given, not also other.txt\n", 1);
  EXPECT_FALSE(FileExists(dir / "cut.wav"));
  const CliResult cut = RunCli(dir.path(), {"jobs/cut.txt", "--strict"});
  ExpectOutcome(cut,
                "Reading time values as samples.\n" + ReadEntries(1) +
                    "Task 1\tInsert point 0 samples\n\tFile a.wav\n\tRead start 3 samples\n"
                    "\tRead length 2 samples\n\tLevel 0.000 dB\n\tDone\n\n"
                    "Built\tcut.wav\n\tLength 2 samples\n\tBits 16\n\tChannels 1\n"
                    "\tSample rate 8000\n\n",
                0);
  EXPECT_EQ(ReadFile(dir / "cut.wav"), CanonicalWav(kMono8k, {4, 5}));
  EXPECT_FALSE(FileExists(dir / "other_out.wav"));
}

TEST(CliTask, TaskWithoutEntriesOrDestinationIsRefused) {
  TempDir dir;
  WriteFile(dir / "a.wav", CanonicalWav(kMono8k, {1, 2, 3, 4, 5}));
  // Empty, separators only, unrecognised words only, and a dest alone.
  for (const std::string text : {"", "\t\n\n\t", "source\ta.wav\nsrc a.wav\n", "dest\tout.wav\n"}) {
    SCOPED_TRACE(text);
    WriteTextFile(dir / "task.txt", text);
    ExpectOutcome(RunCli(dir.path(), {}), ReadEntries(0) + "No source tracks found in task file\n",
                  1);
  }
  WriteTextFile(dir / "task.txt", "using_samples\n");
  ExpectOutcome(RunCli(dir.path(), {}),
                "Reading time values as samples.\n" + ReadEntries(0) +
                    "No source tracks found in task file\n",
                1);

  WriteTextFile(dir / "task.txt", "src\ta.wav\nsrc\ta.wav\nxin\t1\n");
  ExpectOutcome(RunCli(dir.path(), {}), ReadEntries(2) + "No destination file given in task file\n",
                1);
  EXPECT_FALSE(FileExists(dir / "out.wav"));
}

TEST(CliTask, ReaderFailuresEndTheRunBeforeAnythingIsWritten) {
  TempDir dir;
  WriteFile(dir / "a.wav", CanonicalWav(kMono8k, {1, 2, 3, 4, 5}));
  struct Case {
    std::string text;
    std::string out;
  };
  const Case cases[] = {
      {"src\ta.wav\nsrc\tb.w\ndest\tout.wav\n",
       "Source track 2 appears to be too short or missing\n"},
      {"dest\tout.wav\nsrc", "Source track 1 appears to be too short or missing\n"},
      {"src\ta.wav\ndest\tout\n", "Your destination name appears to be too short or missing\n"},
      {"src\ta.wav\ndest", "Your destination name appears to be too short or missing\n"},
      {"dest\tout.wav\nxin\t1\nsrc\ta.wav\n", "Command xin comes before any src command\n"},
      {"using_samples\nfin\t10\t1\nsrc\ta.wav\n",
       "Reading time values as samples.\nCommand fin comes before any src command\n"},
      {"dest\tout.wav\nlvl\t-3\n", "Command lvl comes before any src command\n"},
      {"dest\tout.wav\nsrc\ta.wav\nlvl", "Value missing after lvl at end of task file\n"},
      {"dest\tout.wav\nsrc\ta.wav\nins\n\n", "Value missing after ins at end of task file\n"},
      {"dest\tout.wav\nsrc\ta.wav\nxf\t100", "Value missing after xf at end of task file\n"},
      {"dest\tout.wav\nsrc\ta.wav\nxf", "Value missing after xf at end of task file\n"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.text);
    WriteTextFile(dir / "task.txt", c.text);
    ExpectOutcome(RunCli(dir.path(), {}), c.out, 1);
    EXPECT_FALSE(FileExists(dir / "out.wav"));
  }

  // A 4-character path is long enough.
  WriteFile(dir / "b.wa", CanonicalWav(kMono8k, {7}));
  WriteTextFile(dir / "task.txt", "using_samples\nsrc\tb.wa\ndest\to.wa\n");
  ExpectOutcome(RunCli(dir.path(), {}),
                "Reading time values as samples.\n" + ReadEntries(1) +
                    "Task 1\tInsert point 0 samples\n\tFile b.wa\n\tRead start 0 samples\n"
                    "\tRead length 1 samples\n\tLevel 0.000 dB\n\tDone\n\n"
                    "Built\to.wa\n\tLength 1 samples\n\tBits 16\n\tChannels 1\n"
                    "\tSample rate 8000\n\n",
                0);
  EXPECT_EQ(ReadFile(dir / "o.wa"), CanonicalWav(kMono8k, {7}));

  // 512 sources are accepted (and checked later), a 513th is refused at once.
  std::string text = "dest\tout.wav\n";
  for (int i = 0; i < 513; ++i) text += "src\tnone.wav\n";
  WriteTextFile(dir / "task.txt", text);
  ExpectOutcome(RunCli(dir.path(), {}), "Too many source tracks, at most 512 are allowed\n", 1);
  text.resize(text.size() - std::string("src\tnone.wav\n").size());
  WriteTextFile(dir / "task.txt", text);
  ExpectOutcome(RunCli(dir.path(), {}),
                ReadEntries(512) + "Cannot find file in track list called none.wav!!\n", 2);
  EXPECT_FALSE(FileExists(dir / "out.wav"));
}

TEST(CliTask, SampleModeOnlyFromTheFirstToken) {
  TempDir dir;
  WriteFile(dir / "a.wav", CanonicalWav(kMono8k, {1, 2, 3, 4, 5}));
  // Leading separators do not matter; the message is printed once.
  WriteTextFile(dir / "task.txt",
                "\n\n\tusing_samples\nusing_samples\nsrc\ta.wav\nusing_samples\ndest\tout.wav\n");
  ExpectOutcome(RunCli(dir.path(), {}),
                "Reading time values as samples.\n" + ReadEntries(1) + kFiveSampleReport, 0);

  // Later in the file the word changes nothing: seconds mode.
  WriteTextFile(dir / "task.txt", "src\ta.wav\nusing_samples\ndest\tout.wav\n");
  ExpectOutcome(RunCli(dir.path(), {}),
                ReadEntries(1) +
                    "Task 1\tInsert point 0.000 sec\n\tFile a.wav\n\tRead start 0.000 sec\n"
                    "\tRead length 0.001 sec\n\tLevel 0.000 dB\n\tDone\n\n"
                    "Built\tout.wav\n\tLength 0.001 sec\n\tBits 16\n\tChannels 1\n"
                    "\tSample rate 8000\n\n",
                0);
  EXPECT_EQ(ReadFile(dir / "out.wav"), CanonicalWav(kMono8k, {1, 2, 3, 4, 5}));
}

TEST(CliTask, ReaderQuirksThatCarryOn) {
  TempDir dir;
  WriteFile(dir / "a.wav", CanonicalWav(kMono8k, {10, 20, 30, 40, 50, 60}));
  // An invalid crossfade type is reported and dropped; a level of 24 dB is
  // dropped silently, the earlier -3.1 stays; the second dest wins; a space
  // separated line is one unknown token; a bare xin takes "xout" as its
  // value and the chain carries on into xout.
  WriteTextFile(dir / "task.txt",
                "using_samples\nsrc\ta.wav\nxin\nxout\t4\nlvl\t-3.1\nlvl\t24\nxf\t10\t5\n"
                "src a.wav\ndest\tfirst.wav\ndest\tout.wav\n");
  const CliResult result = RunCli(dir.path(), {});
  ExpectOutcome(result,
                "Reading time values as samples.\nCrossfade-type (parameter 2) is invalid\n" +
                    ReadEntries(1) +
                    "Task 1\tInsert point 0 samples\n\tFile a.wav\n\tRead start 0 samples\n"
                    "\tRead length 4 samples\n\tLevel -3.100 dB\n\tDone\n\n"
                    "Built\tout.wav\n\tLength 4 samples\n\tBits 16\n\tChannels 1\n"
                    "\tSample rate 8000\n\n",
                0);
  // -3.1 dB as stored (the float nearest -3.1), applied to 10, 20, 30, 40.
  int clipped = 0;
  Canvas canvas(1, 4);
  canvas.Put(0, Levelled({10, 20, 30, 40}, static_cast<double>(-3.1f), 16, &clipped));
  EXPECT_EQ(canvas.values, (std::vector<int32_t>{6, 13, 20, 27}));
  EXPECT_EQ(ReadFile(dir / "out.wav"), ExpectedWav(8000, 16, canvas, 4));
  EXPECT_FALSE(FileExists(dir / "first.wav"));
  EXPECT_EQ(TemporaryFilesIn(dir.path()), std::vector<std::string>{});
}

TEST(CliTask, SourceFailuresEndWithStatusTwo) {
  TempDir dir;
  WriteFile(dir / "a.wav", CanonicalWav(kMono8k, {1, 2, 3, 4, 5}));
  // A missing source ends the run at the first one; the sources after it
  // are not read.
  WriteTextFile(dir / "task.txt", "src\ta.wav\nsrc\tb.wav\nsrc\tc.wav\ndest\tout.wav\n");
  ExpectOutcome(RunCli(dir.path(), {}),
                ReadEntries(3) + "Cannot find file in track list called b.wav!!\n", 2);

  // A carriage return is part of a line end only before a newline or at
  // the end of the file: CR LF task files run, a CR elsewhere stays in the
  // path.
  WriteTextFile(dir / "task.txt", "src\ta.wav\r\nxin\t0.0001\r\ndest\tout.wav\r\n");
  EXPECT_EQ(RunCli(dir.path(), {}).exitCode, 0);
  EXPECT_TRUE(FileExists(dir / "out.wav"));
  std::filesystem::remove(dir / "out.wav");
  WriteTextFile(dir / "task.txt", "src\ta.wav\r\tdest\tout.wav\r");
  ExpectOutcome(RunCli(dir.path(), {}),
                ReadEntries(1) + "Cannot find file in track list called a.wav\r!!\n", 2);

  // A folder as a source cannot be opened.
  ASSERT_EQ(::mkdir((dir / "d.wav").c_str(), 0755), 0);
  WriteTextFile(dir / "task.txt", "src\ta.wav\nsrc\td.wav\ndest\tout.wav\n");
  ExpectOutcome(RunCli(dir.path(), {}),
                ReadEntries(2) + "Cannot find file in track list called d.wav!!\n", 2);

  // No data chunk.
  WriteFile(dir / "nodata.wav", WavBuilder().Fmt(kMono8k).Chunk("LIST", Bytes(8, 1)).Build());
  WriteTextFile(dir / "task.txt", "src\ta.wav\nsrc\tnodata.wav\ndest\tout.wav\n");
  ExpectOutcome(RunCli(dir.path(), {}),
                ReadEntries(2) +
                    "Can't find data block in nodata.wav: the audio must start within the first "
                    "128 KiB of the file\n",
                2);

  // No fmt chunk: the fields read as 0 past the end of this short file, so
  // the frame size is 0 and the source is refused.
  WriteFile(dir / "nofmt.wav", WavBuilder().Data(EncodeSamples({1, 2}, 16)).Build());
  WriteTextFile(dir / "task.txt", "src\tnofmt.wav\ndest\tout.wav\n");
  ExpectOutcome(RunCli(dir.path(), {}),
                ReadEntries(1) +
                    "Can't find format chunk in wave file!\nUnsupported audio format in "
                    "nofmt.wav\n",
                1);
  EXPECT_FALSE(FileExists(dir / "out.wav"));
}

}  // namespace
}  // namespace wavsplice::testing
