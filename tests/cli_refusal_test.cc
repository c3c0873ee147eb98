// End-to-end: tasks the program refuses. Each run ends with its whole message and exit status,
// writes nothing to standard error and leaves its folder as it was: no file created, removed,
// rewritten or touched, an existing destination included.
#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <optional>
#include <string>
#include <vector>

#include "tests/cli_expected.h"
#include "tests/cli_runner.h"
#include "tests/temp_dir.h"
#include "tests/wav_fixture.h"

namespace wavsplice::testing {
namespace {

const WavFormat kMono8k{1, 8000, 16, 1};

// The folder every refused run starts from. a.wav, b.wav and c.wav: five samples of 16-bit mono at
// 8000 per second; long.wav and xfade_temp.wav: 300 of them. Sources whose rate, channels, bits or
// coding differ, or that are no usable WAV file; folders, links, a second task file and an existing
// destination.
void WriteFolder(const TempDir& dir) {
  const Bytes five = CanonicalWav(kMono8k, {1, 2, 3, 4, 5});
  for (const std::string name : {"a.wav", "b.wav", "c.wav"}) WriteFile(dir / name, five);
  const Bytes longer = CanonicalWav(kMono8k, std::vector<int32_t>(300, 7));
  WriteFile(dir / "long.wav", longer);
  WriteFile(dir / "xfade_temp.wav", longer);

  WriteFile(dir / "r44.wav", CanonicalWav({1, 44100, 16, 1}, {1, 2}));
  WriteFile(dir / "r48.wav", CanonicalWav({1, 48000, 16, 1}, {1, 2}));
  WriteFile(dir / "s48.wav", CanonicalWav({1, 48000, 16, 1}, {1, 2}));
  WriteFile(dir / "b24.wav", CanonicalWav({1, 48000, 24, 1}, {1, 2}));
  WriteFile(dir / "st44.wav", CanonicalWav({2, 44100, 16, 1}, {1, 2}));
  WriteFile(dir / "float.wav", CanonicalWav({1, 8000, 16, 3}, {0, 0, 0}));
  WriteFile(dir / "float32.wav", CanonicalWav({1, 8000, 32, 3}, {0, 0, 0}));
  WriteFile(dir / "alaw.wav", CanonicalWav({1, 8000, 16, 6}, {0, 0, 0}));
  WriteFile(dir / "extfloat.wav",
            WavBuilder().FmtExtensible(kMono8k, 3).Data(EncodeSamples({1, 2}, 16)).Build());
  WriteFile(dir / "nibble.wav", CanonicalWav({1, 8000, 4, 1}, {}));
  WriteFile(dir / "norate.wav", CanonicalWav({1, 0, 16, 1}, {1, 2, 3}));
  WriteFile(dir / "nodata.wav", WavBuilder().Fmt(kMono8k).Chunk("LIST", Bytes(8, 1)).Build());
  WriteFile(dir / "nofmt.wav", WavBuilder().Data(EncodeSamples({1, 2}, 16)).Build());

  ASSERT_EQ(::mkdir((dir / "folder").c_str(), 0755), 0);
  ASSERT_EQ(::mkdir((dir / "jobs").c_str(), 0755), 0);
  ASSERT_EQ(::mkdir((dir / "sub").c_str(), 0755), 0);
  ASSERT_EQ(::link((dir / "a.wav").c_str(), (dir / "hard.wav").c_str()), 0);
  ASSERT_EQ(::symlink("a.wav", (dir / "soft.wav").c_str()), 0);
  WriteTextFile(dir / "sub/job.txt", "src\ta.wav\ndest\tsub/job.txt\n");
  WriteTextFile(dir / "mytask.txt", "src\ta.wav\ndest\tout.wav\n");
  WriteFile(dir / "out.wav", Bytes{'k', 'e', 'e', 'p'});
}

struct Refusal {
  std::optional<std::string> task;  // the text of task.txt; none: no task.txt
  std::vector<std::string> args;    // the command line after the program's name
  std::string out;                  // the whole standard output
  int exitCode;
  std::string shellPrefix = "";  // shell words run before the program ("ulimit -f 1;")
};

// "%DIR%" in text stands for the path of the run's folder.
std::string InFolder(std::string text, const std::string& dir) {
  for (size_t at = text.find("%DIR%"); at != std::string::npos; at = text.find("%DIR%", at)) {
    text.replace(at, 5, dir);
    at += dir.size();
  }
  return text;
}

std::vector<Refusal> ReaderRefusals() {
  const std::string noSources = "No source tracks found in task file\n";
  std::vector<Refusal> rows = {
      // Empty, separators only, unrecognised words only, a dest alone.
      {"", {}, ReadEntries(0) + noSources, 1},
      {"\t\n\n\t", {}, ReadEntries(0) + noSources, 1},
      {"source\ta.wav\nsrc a.wav\n", {}, ReadEntries(0) + noSources, 1},
      {"dest\tout.wav\n", {}, ReadEntries(0) + noSources, 1},
      {"using_samples\n", {}, kSampleMode + ReadEntries(0) + noSources, 1},
      {"src\ta.wav\nsrc\ta.wav\nxin\t1\n",
       {},
       ReadEntries(2) + "No destination file given in task file\n",
       1},
      {"src\ta.wav\nsrc\tb.w\ndest\tout.wav\n",
       {},
       "Source track 2 appears to be too short or missing\n",
       1},
      {"dest\tout.wav\nsrc", {}, "Source track 1 appears to be too short or missing\n", 1},
      {"src\ta.wav\ndest\tout\n",
       {},
       "Your destination name appears to be too short or missing\n",
       1},
      {"src\ta.wav\ndest", {}, "Your destination name appears to be too short or missing\n", 1},
      {"dest\tout.wav\nxin\t1\nsrc\ta.wav\n", {}, "Command xin comes before any src command\n", 1},
      {"using_samples\nfin\t10\t1\nsrc\ta.wav\n",
       {},
       kSampleMode + "Command fin comes before any src command\n",
       1},
      {"dest\tout.wav\nlvl\t-3\n", {}, "Command lvl comes before any src command\n", 1},
      {"dest\tout.wav\nsrc\ta.wav\nlvl", {}, "Value missing after lvl at end of task file\n", 1},
      {"dest\tout.wav\nsrc\ta.wav\nins\n\n",
       {},
       "Value missing after ins at end of task file\n",
       1},
      {"dest\tout.wav\nsrc\ta.wav\nxf\t100", {}, "Value missing after xf at end of task file\n", 1},
      {"dest\tout.wav\nsrc\ta.wav\nxf", {}, "Value missing after xf at end of task file\n", 1},
  };
  // 512 sources are accepted (and read later), a 513th is refused at once.
  std::string sources = "dest\tout.wav\n";
  for (int i = 0; i < 512; ++i) sources += "src\tnone.wav\n";
  rows.push_back(
      {sources, {}, ReadEntries(512) + "Cannot find file in track list called none.wav!!\n", 2});
  rows.push_back(
      {sources + "src\tnone.wav\n", {}, "Too many source tracks, at most 512 are allowed\n", 1});
  return rows;
}

std::vector<Refusal> CommandLineRefusals() {
  const auto noTaskFile = [](const std::string& name) {
    return "Cannot find file " + name + " that holds your instructions\n";
  };
  return {
      {std::nullopt, {}, noTaskFile("task.txt"), 1},
      {std::nullopt, {"jobs/cut.txt"}, noTaskFile("jobs/cut.txt"), 1},
      // A folder is a task file that cannot be opened.
      {std::nullopt, {"jobs"}, noTaskFile("jobs"), 1},
      // A second task file is refused before anything is read.
      {"src\ta.wav\ndest\tnew.wav\n",
       {"mytask.txt", "task.txt"},
       "Only one task file can be given, not also task.txt\n",
       1},
      {"src\ta.wav\ndest\tnew.wav\n", {"--chek", "task.txt"}, "Unknown option --chek\n", 1},
      {"src\ta.wav\ndest\tnew.wav\n", {"--", "--chek"}, noTaskFile("--chek"), 1},
      {std::nullopt,
       {"--target", "radio", "missing.txt"},
       "Unknown loudness target radio: podcast, podcast-mono, ebu or acx\n",
       1},
      {std::nullopt, {"--target"}, "Option --target needs a target name\n", 1},
      // A report file never replaces an input, even when the reader gives up early.
      {"src\ta.wav\nsrc\tx\ndest\tout.wav\n",
       {"--json", "a.wav"},
       "Source track 2 appears to be too short or missing\n"
       "Report file a.wav is also a file of the run\n",
       1},
      {"src\ta.wav\nsrc\tx\ndest\tout.wav\n",
       {"--json", "out.wav"},
       "Source track 2 appears to be too short or missing\n"
       "Report file out.wav is named in the task file\n",
       1},
      {std::nullopt,
       {"--check", "--json", "mytask.txt"},
       "0 warnings, 0 notes\nCannot find file task.txt that holds your instructions\n"
       "Report file mytask.txt exists and the task file cannot be read\n",
       1},
      {"src\ta.wav\ndest\tnew.wav\n",
       {"--json", "r.x", "--timeline", "./r.x"},
       ReadEntries(1) + "Report file r.x is also a file of the run\n",
       1},
      {"src\ta.wav\ndest\tnew.wav\n",
       {"--json", "b.wav"},
       ReadEntries(1) + "Report file b.wav is a WAV file\n",
       1},
      {"src\ta.wav\nsrc\tb.wav\ndest\tnew.wav\n",
       {"--timeline", "a.wav", "task.txt"},
       ReadEntries(2) + "Report file a.wav is also a file of the run\n",
       1},
  };
}

std::vector<Refusal> SourceRefusals() {
  const std::string rates = "Sample rates do not match for source tracks:\n";
  const std::string unsupported = "Unsupported audio format in ";
  std::vector<Refusal> rows = {
      // A missing source ends the run at the first one; the sources after it are not read.
      {"src\ta.wav\nsrc\tmissing.wav\nsrc\tc.wav\ndest\tout.wav\n",
       {},
       ReadEntries(3) + "Cannot find file in track list called missing.wav!!\n",
       2},
      // A carriage return is part of a line end only before a newline or at the end of the file.
      {"src\ta.wav\r\tdest\tout.wav\r",
       {},
       ReadEntries(1) + "Cannot find file in track list called a.wav\r!!\n",
       2},
      {"src\ta.wav\nsrc\tfolder\ndest\tout.wav\n",
       {},
       ReadEntries(2) + "Cannot find file in track list called folder!!\n",
       2},
      {"src\ta.wav\nsrc\tnodata.wav\ndest\tout.wav\n",
       {},
       ReadEntries(2) +
           "Can't find data block in nodata.wav: the audio must start within the first 128 KiB "
           "of the file\n",
       2},
      // No fmt chunk: the fields read as 0 past the end of this short file, so the frame size is 0
      // and the source is refused.
      {"src\tnofmt.wav\ndest\tout.wav\n",
       {},
       ReadEntries(1) + "Can't find format chunk in wave file!\n" + unsupported + "nofmt.wav\n",
       1},
      // Every source is listed for each difference.
      {"src\tr44.wav\nsrc\tr48.wav\nsrc\ts48.wav\ndest\tout.wav\n",
       {},
       ReadEntries(3) + rates + "r44.wav\t44100 Hz\nr48.wav\t48000 Hz\ns48.wav\t48000 Hz\n" +
           rates + "r44.wav\t44100 Hz\nr48.wav\t48000 Hz\ns48.wav\t48000 Hz\n",
       1},
      // Only entry 0 differs: every later entry fails against it.
      {"src\ts48.wav\nsrc\tr44.wav\nsrc\tr44.wav\ndest\tout.wav\n",
       {},
       ReadEntries(3) + rates + "s48.wav\t48000 Hz\nr44.wav\t44100 Hz\nr44.wav\t44100 Hz\n" +
           rates + "s48.wav\t48000 Hz\nr44.wav\t44100 Hz\nr44.wav\t44100 Hz\n",
       1},
      // Rate and bits of one entry, channels of another: per entry, rate, then channels, then bits.
      // The comparison comes before the span checks (the spans here are all refusable).
      {"using_samples\nsrc\tr44.wav\nxin\t9\nsrc\tb24.wav\nxin\t9\nsrc\tst44.wav\nxin\t9\n"
       "dest\tout.wav\n",
       {},
       kSampleMode + ReadEntries(3) + rates +
           "r44.wav\t44100 Hz\nb24.wav\t48000 Hz\nst44.wav\t44100 Hz\n"
           "Number of bits do not match for source tracks:\n"
           "r44.wav\t16\nb24.wav\t24\nst44.wav\t16\n"
           "Number of channels do not match for source tracks:\n"
           "r44.wav\t1 channels\nb24.wav\t1 channels\nst44.wav\t2 channels\n",
       1},
      {"src\ta.wav\nsrc\talaw.wav\nsrc\talaw.wav\ndest\tout.wav\n",
       {},
       ReadEntries(3) + unsupported + "alaw.wav\n",
       1},
      // The format comparison comes before the format's support.
      {"src\ta.wav\nsrc\tfloat32.wav\ndest\tout.wav\n",
       {},
       ReadEntries(2) +
           "Number of bits do not match for source tracks:\na.wav\t16\nfloat32.wav\t32\n"
           "Sample types do not match for source tracks:\na.wav\tinteger\nfloat32.wav\tfloat\n",
       1},
  };
  // Refused before the span is looked at (xin 7 is past every end).
  for (const std::string name :
       {"float.wav", "alaw.wav", "extfloat.wav", "nibble.wav", "norate.wav"}) {
    rows.push_back({"using_samples\nsrc\t" + name + "\nxin\t7\ndest\tout.wav\n",
                    {},
                    kSampleMode + ReadEntries(1) + unsupported + name + "\n",
                    1});
  }
  return rows;
}

std::vector<Refusal> PlanRefusals() {
  std::vector<Refusal> rows;
  // b.wav is the first bad entry; c.wav after it is bad too.
  for (const std::string span :
       {"xin\t2\nxout\t2", "xin\t5", "xin\t6\nxout\t9", "xin\t-1", "xin\t2\ntrim\t-3", "xout\t-1",
        "xin\tnan", "xin\t-inf", "xout\tinf", "xout\tnan", "trim\tnan", "xin\t1e300", "xin\t3e9",
        "xout\t-1e300", "xin\t2147483648", "trim\t-inf",
        // Stops whose sample count leaves the signed 64-bit range.
        "xout\t1e300", "trim\t1e300", "xout\t9.3e18"}) {
    rows.push_back(
        {"using_samples\nsrc\ta.wav\nsrc\tb.wav\n" + span + "\nsrc\tc.wav\nxin\t9\ndest\tout.wav\n",
         {},
         kSampleMode + ReadEntries(3) + "Edit start/stop set incorrectly for b.wav\n",
         1});
  }
  // Seconds at 8000 samples per second: 0.000625 s is sample 5, the end.
  for (const std::string span : {"xin\t0.000625", "xin\t-0.001", "xin\t1e10",
                                 "xout\t0.0005\ntrim\t-0.0005", "xin\t0.0002\nxout\t0.0002"}) {
    rows.push_back({"src\ta.wav\nsrc\tb.wav\n" + span + "\ndest\tout.wav\n",
                    {},
                    ReadEntries(2) + "Edit start/stop set incorrectly for b.wav\n",
                    1});
  }

  const std::string badInsert = "Insert point set incorrectly for ";
  for (const std::string ins : {"-1", "nan", "inf", "-inf", "1e300", "9.3e18"}) {
    rows.push_back({"using_samples\nsrc\ta.wav\nins\t" + ins + "\ndest\tout.wav\n",
                    {},
                    kSampleMode + ReadEntries(1) + badInsert + "a.wav\n",
                    1});
  }
  const std::vector<Refusal> more = {
      {"src\ta.wav\nins\t-0.001\ndest\tout.wav\n", {}, ReadEntries(1) + badInsert + "a.wav\n", 1},
      // A destination of 16-bit mono reaches about 4.6e18 samples (2^63 bytes); an edit ending past
      // that is refused.
      {"using_samples\nsrc\ta.wav\nxin\t4\nins\t4.7e18\ndest\tout.wav\n",
       {},
       kSampleMode + ReadEntries(1) + badInsert + "a.wav\n",
       1},
      // An appended entry is checked once its point is known: a.wav ends near the limit, b.wav
      // after it would pass it.
      {"using_samples\nsrc\ta.wav\nins\t4.6e18\nxout\t1e17\nsrc\tb.wav\ndest\tout.wav\n",
       {},
       kSampleMode + ReadEntries(2) + badInsert + "b.wav\n",
       1},
      // The given values are checked before any point is worked out.
      {"using_samples\nsrc\ta.wav\nins\t-1\nsrc\tb.wav\nins\tnan\ndest\tout.wav\n",
       {},
       kSampleMode + ReadEntries(2) + badInsert + "b.wav\n",
       1},
      {"using_samples\nsrc\ta.wav\nins\t-1\nsrc\tb.wav\nins\t-2\ndest\tout.wav\n",
       {},
       kSampleMode + ReadEntries(2) + badInsert + "a.wav\n",
       1},
  };
  rows.insert(rows.end(), more.begin(), more.end());
  return rows;
}

std::vector<Refusal> DestinationRefusals() {
  const auto isInput = [](const std::string& dest) {
    return ReadEntries(1) + "Destination file " + dest + " is also an input file\n";
  };
  std::vector<Refusal> rows;
  for (const std::string dest :
       {"a.wav", "./a.wav", "sub/../a.wav", "%DIR%/a.wav", "hard.wav", "soft.wav"}) {
    rows.push_back({"src\ta.wav\ndest\t" + dest + "\n", {}, isInput(dest), 1});
  }
  const std::vector<Refusal> more = {
      // The task file itself, named differently on the command line.
      {std::nullopt, {"./sub/../sub/job.txt"}, isInput("sub/job.txt"), 1},
      // After the span checks, before the insert points.
      {"using_samples\nsrc\ta.wav\nxin\t5\ndest\ta.wav\n",
       {},
       kSampleMode + ReadEntries(1) + "Edit start/stop set incorrectly for a.wav\n",
       1},
      {"using_samples\nsrc\ta.wav\nins\t-1\ndest\ta.wav\n", {}, kSampleMode + isInput("a.wav"), 1},
      // The crossfade's scratch name is an ordinary name: only as an input is it refused.
      {"using_samples\nsrc\txfade_temp.wav\nxout\t50\nsrc\tlong.wav\nxin\t50\nxf\t2\t1\n"
       "dest\t./xfade_temp.wav\n",
       {},
       kSampleMode + ReadEntries(2) + "Destination file ./xfade_temp.wav is also an input file\n",
       1},
      {"src\ta.wav\ndest\tnowhere/out.wav\n",
       {},
       ReadEntries(1) + "Cannot create destination file nowhere/out.wav\n",
       2},
      {"src\ta.wav\ndest\tfolder\n",
       {},
       ReadEntries(1) + "Cannot replace destination file folder\n",
       2},
      // A device is never replaced by a file.
      {"src\ta.wav\ndest\t/dev/full\n",
       {},
       ReadEntries(1) + "Cannot replace destination file /dev/full\n",
       2},
      // A file size limit of 512 bytes: the header fits, the silence does not.
      {"src\tlong.wav\ndest\tout.wav\n",
       {},
       ReadEntries(1) + "Cannot write to file out.wav\n",
       2,
       "ulimit -f 1;"},
      // A destination far larger than the disk (8 EiB of silence) fails at once, without filling
      // the disk first.
      {"using_samples\nsrc\tlong.wav\nins\t4.6e18\ndest\tout.wav\n",
       {},
       kSampleMode + ReadEntries(1) + "Cannot write to file out.wav\n",
       2},
      // A check ends as the run would on a destination that cannot be created.
      {"src\ta.wav\ndest\tfolder\n",
       {"--check"},
       ReadEntries(1) +
           "task.txt:2: note: the destination folder does not end in .wav\n0 warnings, 1 notes\n"
           "Cannot replace destination file folder\n",
       2},
      {"src\ta.wav\ndest\t/dev/null\n",
       {"--check"},
       ReadEntries(1) + "task.txt:2: note: the destination /dev/null does not end in .wav\n"
                        "0 warnings, 1 notes\nCannot replace destination file /dev/null\n",
       2},
      {"src\ta.wav\ndest\tmissing/x.wav\n",
       {"--check"},
       ReadEntries(1) + "0 warnings, 0 notes\nCannot create destination file missing/x.wav\n",
       2},
  };
  rows.insert(rows.end(), more.begin(), more.end());
  return rows;
}

// A refused check prints what it found, then the line refused and the run's message, and ends with
// the run's status; a refused --strict does the same.
std::vector<Refusal> CheckRefusals() {
  const std::string misspelt = "src\tlong.wav\nxin\t2\nxot\t3\ndest\tout.wav\n";
  const std::string found =
      ReadEntries(1) +
      "task.txt:3: warning: 'xot' is not a command: the line is ignored; did you mean 'xout'?\n"
      "1 warnings, 0 notes\ntask.txt:1: error: the run is refused for this line:\n"
      "Edit start/stop set incorrectly for long.wav\n";
  return {
      {misspelt, {"--check", "task.txt"}, found, 1},
      {misspelt, {"--strict", "task.txt"}, found, 1},
      {"src\tmissing.wav\ndest\tout.wav\n",
       {"--check", "task.txt"},
       ReadEntries(1) +
           "0 warnings, 0 notes\ntask.txt:1: error: the run is refused for this line:\n"
           "Cannot find file in track list called missing.wav!!\n",
       2},
  };
}

TEST(CliRefusal, RefusedTasksLeaveTheFolderAsItWas) {
  std::vector<Refusal> rows;
  for (const auto& group : {ReaderRefusals(), CommandLineRefusals(), SourceRefusals(),
                            PlanRefusals(), DestinationRefusals(), CheckRefusals()}) {
    rows.insert(rows.end(), group.begin(), group.end());
  }
  for (const Refusal& row : rows) {
    SCOPED_TRACE(row.task.value_or("(no task.txt)") + " | " + row.shellPrefix +
                 ::testing::PrintToString(row.args));
    TempDir dir;
    WriteFolder(dir);
    if (row.task) WriteTextFile(dir / "task.txt", InFolder(*row.task, dir.path()));
    const auto before = FolderSnapshot(dir.path());
    ExpectOutcome(RunCli(dir.path(), row.args, 60, row.shellPrefix), InFolder(row.out, dir.path()),
                  row.exitCode);
    EXPECT_EQ(FolderSnapshot(dir.path()), before);
  }
}

}  // namespace
}  // namespace wavsplice::testing
