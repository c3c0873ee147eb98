// End-to-end: the command line, the help text and the task file reader's messages, run through the
// real binary.
#include <gtest/gtest.h>

#include <sys/stat.h>
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

// The report of a one-entry sample-mode run of a.wav (5 samples, 16-bit mono at 8000) copied whole
// into out.wav.
const char kFiveSampleReport[] =
    "Task 1\tInsert point 0 samples\n\tFile a.wav\n\tRead start 0 samples\n"
    "\tRead length 5 samples\n\tLevel 0.000 dB\n\tDone\n\n"
    "Built\tout.wav\n\tLength 5 samples\n\tBits 16\n\tChannels 1\n\tSample rate 8000\n\n";

const WavFormat kMono8k{1, 8000, 16, 1};

TEST(CliTask, HelpPrintsTheThirtyThreeLinesAndEndsWithStatusOne) {
  TempDir dir;
  // The help is printed whatever follows, and no task file is read even when one exists.
  WriteTextFile(dir / "task.txt", "src\tmissing.wav\ndest\tout.wav\n");
  for (const auto& args : {std::vector<std::string>{"help"}, std::vector<std::string>{"-h"},
                           std::vector<std::string>{"-h", "task.txt"},
                           std::vector<std::string>{"help", "extra", "more"}}) {
    SCOPED_TRACE(args[0]);
    ExpectOutcome(RunCli(dir.path(), args), kHelp, 1);
  }
  EXPECT_FALSE(FileExists(dir / "out.wav"));

  // --help prints the same help and ends with 0; other spellings are the task file's path or an
  // unknown option, and after -- "help" is a path.
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
  WriteFile(dir / "a.wav", CanonicalWav(kMono8k, {1, 2, 3, 4, 5}));
  WriteTextFile(dir / "task.txt", "using_samples\nsrc\ta.wav\ndest\tout.wav\n");
  const std::string full = "Reading time values as samples.\n" + ReadEntries(1) + kFiveSampleReport;
  ExpectOutcome(RunCli(dir.path(), {}), full, 0);
  ASSERT_TRUE(FileExists(dir / "out.wav"));
  EXPECT_EQ(ReadFile(dir / "out.wav"), CanonicalWav(kMono8k, {1, 2, 3, 4, 5}));

  // Options may follow the task file.
  ASSERT_EQ(::mkdir((dir / "jobs").c_str(), 0755), 0);
  WriteTextFile(dir / "jobs/cut.txt", "using_samples\nsrc\ta.wav\nxin\t3\ndest\tcut.wav\n");
  const CliResult cut = RunCli(dir.path(), {"jobs/cut.txt", "--strict"});
  ExpectOutcome(cut,
                "Reading time values as samples.\n" + ReadEntries(1) +
                    "Task 1\tInsert point 0 samples\n\tFile a.wav\n\tRead start 3 samples\n"
                    "\tRead length 2 samples\n\tLevel 0.000 dB\n\tDone\n\n"
                    "Built\tcut.wav\n\tLength 2 samples\n\tBits 16\n\tChannels 1\n"
                    "\tSample rate 8000\n\n",
                0);
  EXPECT_EQ(ReadFile(dir / "cut.wav"), CanonicalWav(kMono8k, {4, 5}));
}

// The reader refuses a path shorter than 4 characters; 4 are enough.
TEST(CliTask, FourCharacterPathsAreLongEnough) {
  TempDir dir;
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
  // An invalid crossfade type is reported and dropped; a level of 24 dB is dropped silently, the
  // earlier -3.1 stays; the second dest wins; a space separated line is one unknown token; a bare
  // xin takes "xout" as its value and the chain carries on into xout.
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

// A carriage return is part of a line end before a newline: CR LF task files run. (A CR elsewhere
// stays in the path; the refusals' table has it.)
TEST(CliTask, CrLfTaskFilesRun) {
  TempDir dir;
  WriteFile(dir / "a.wav", CanonicalWav(kMono8k, {1, 2, 3, 4, 5}));
  WriteTextFile(dir / "task.txt", "src\ta.wav\r\nxin\t0.0001\r\ndest\tout.wav\r\n");
  EXPECT_EQ(RunCli(dir.path(), {}).exitCode, 0);
  EXPECT_EQ(ReadFile(dir / "out.wav"), CanonicalWav(kMono8k, {1, 2, 3, 4, 5}));
}

}  // namespace
}  // namespace wavsplice::testing
