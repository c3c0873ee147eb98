// The diagnostics of a check, one short task file per mistake: each must be reported on its line
// with its kind, and a clean task with none.
#include "task/plan_check.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "task/edit_plan.h"
#include "task/task_reader.h"
#include "task/write_order.h"
#include "tests/stdout_capture.h"
#include "tests/temp_dir.h"
#include "tests/wav_fixture.h"

namespace wavsplice {
namespace {

constexpr DiagnosticKind W = DiagnosticKind::kWarning;
constexpr DiagnosticKind N = DiagnosticKind::kNote;

// Two-second sources at 8000 frames per second: a.wav, b.wav; c.wav lasts one second.
void WriteSources() {
  const testing::WavFormat format{1, 8000, 16};
  testing::WriteFile("a.wav", testing::CanonicalWav(format, std::vector<int32_t>(16000, 100)));
  testing::WriteFile("b.wav", testing::CanonicalWav(format, std::vector<int32_t>(16000, -100)));
  testing::WriteFile("c.wav", testing::CanonicalWav(format, std::vector<int32_t>(8000, 50)));
}

// Reads and plans task.txt as --check does and returns the run state with what was found up to the
// end or up to the error that ends the run.
RunState Checked(const std::string& text, const std::string& taskPath = "task.txt") {
  testing::WriteTextFile(taskPath, text);
  RunState run;
  run.taskPath = taskPath;
  testing::RunCaptured([&run] {
    ReadTaskFile(run);
    CheckSourcePaths(run);
    ResolveEditPlan(run);
    PlanWriteOrder(run);
    CheckPlan(run);
  });
  return run;
}

struct Case {
  const char* mistake;
  const char* task;
  int32_t line;
  DiagnosticKind kind;
  const char* words;  // part of the text
};

TEST(CheckPlan, EveryMistakeOnItsLine) {
  const Case cases[] = {
      {"scr for src", "src\ta.wav\nscr\tb.wav\ndest\tout.wav\n", 2, W,
       "ignored and the commands below it go to the edit before; did you mean 'src'?"},
      {"xot", "src\ta.wav\nxot\t1\ndest\tout.wav\n", 2, W, "did you mean 'xout'?"},
      {"level", "src\ta.wav\nlevel\t-3\ndest\tout.wav\n", 2, W, "did you mean 'lvl'?"},
      {"XF", "src\ta.wav\nxin\t1\nXF\t100\t1\ndest\tout.wav\n", 3, W, "did you mean 'xf'?"},
      {"unknown word", "src\ta.wav\nfoo\t1\ndest\tout.wav\n", 2, W, "'foo' is not a command"},
      {"space for tab", "src\ta.wav\nins 1.6\ndest\tout.wav\n", 2, W, "followed by a space"},
      {"lvl with space", "src\ta.wav\nlvl -3\ndest\tout.wav\n", 2, W, "followed by a space"},
      {"help example", "src\ta.wav\nxin\t1\nxf    200     1\ndest\tout.wav\n", 3, W,
       "followed by a space"},
      {"comma", "src\ta.wav\nxin\t1\nxf\t0,4\t1\ndest\tout.wav\n", 3, W, "write '0.4'"},
      {"word", "src\ta.wav\nxin\tabc\ndest\tout.wav\n", 2, W, "'abc' is not a number"},
      {"clock in samples", "using_samples\nsrc\ta.wav\nxin\t1:30\ndest\tout.wav\n", 3, W,
       "clock times count only in seconds"},
      {"bad clock", "src\ta.wav\nxin\t1:75\ndest\tout.wav\n", 2, W, "M:SS or H:MM:SS"},
      {"xf type word", "src\ta.wav\nxin\t1\nxf\t100\tone\ndest\tout.wav\n", 3, W,
       "not a whole number"},
      {"xf without type", "src\ta.wav\nxin\t1\nxf\t200\nlvl\t-6\ndest\tout.wav\n", 3, W,
       "taken from line 4, and that line's 'lvl' command is lost"},
      {"value acts as command", "src\ta.wav\nxin\nxout\t1\ndest\tout.wav\n", 2, W,
       "also acts as a command"},
      {"lvl +30", "src\ta.wav\nlvl\t+30\ndest\tout.wav\n", 2, W, "24 dB or more"},
      {"lvl nan", "src\ta.wav\nlvl\tnan\ndest\tout.wav\n", 2, W, "not a number: it is dropped"},
      {"xf type 7", "src\ta.wav\nxin\t1\nxf\t100\t7\ndest\tout.wav\n", 3, W, "not 0 to 4"},
      {"xf width 0", "src\ta.wav\nxin\t1\nxf\t0\t1\ndest\tout.wav\n", 3, W, "not above 0 ms"},
      {"source too short for xf", "src\ta.wav\nins\t1\nxf\t100\t1\ndest\tout.wav\n", 3, W,
       "cannot be made: a.wav has 0.000 s before the splice"},
      {"destination too short for xf", "src\ta.wav\nxin\t1\nins\t0.01\nxf\t100\t1\ndest\tout.wav\n",
       4, W, "the destination has 0.010 s before the splice"},
      {"appended xf", "src\ta.wav\nxout\t1\nsrc\tb.wav\nxin\t1\nxf\t100\t1\ndest\tout.wav\n", 5, W,
       "blends with silence after the splice, so the edit starts below its level: no earlier "
       "edit covers the destination there; an 'ins' of 0.950 overlaps"},
      {"xf past the destination's end",
       "src\tc.wav\nsrc\tc.wav\nxin\t0.5\nxout\t0.55\nins\t1\nxf\t200\t1\ndest\tout.wav\n", 6, W,
       "the crossfade of task 2 is cut short: the destination ends 0.050 s after the splice, "
       "less than half the width (0.100 s), and its last 0.050 s are not written"},
      {"xf out of silence", "src\ta.wav\nxin\t1\nins\t1\nxf\t100\t1\ndest\tout.wav\n", 4, W,
       "fades out of silence"},
      {"never heard", "src\tc.wav\nins\t0\nsrc\ta.wav\nins\t0\ndest\tout.wav\n", 1, W,
       "task 1 is never heard"},
      {"dest trailing space", "src\ta.wav\ndest\tout.wav \n", 2, W, "ends with white space"},
      {"src leading space", "src\t a.wav\ndest\tout.wav\n", 1, W, "starts with white space"},
      {"second dest", "dest\tone.wav\nsrc\ta.wav\ndest\tout.wav\n", 3, W,
       "replaces 'one.wav' from line 1"},
      {"value twice", "src\ta.wav\nxin\t1\nxin\t0.5\ndest\tout.wav\n", 3, W,
       "'xin' is given again for task 1"},
      {"value three times", "src\ta.wav\nxin\t1\nxin\t0.5\nxin\t0.2\ndest\tout.wav\n", 4, W,
       "'xin' is given again for task 1: it replaces the value from line 3"},
      {"using_samples late", "src\ta.wav\nusing_samples\ndest\tout.wav\n", 2, W,
       "counts only as the first word"},
      {"stale tail of the replace recipe",
       "src\ta.wav\nins\t0\nsrc\tc.wav\nxout\t0.5\nins\t0.5\nsrc\ta.wav\nxin\t1.2\nins\t1\n"
       "dest\tout.wav\n",
       6, W, "repeats the last 0.200 s of a.wav"},
      {"stale tail of a patch",
       "src\ta.wav\nins\t0\nsrc\tc.wav\nxout\t0.5\nins\t0.5\ndest\tout.wav\n", 1, N,
       "whose last 1.000 s (a.wav) still end the destination"},
      {"span cut", "src\tc.wav\nxout\t1.5\ndest\tout.wav\n", 1, N, "0.500 s past the end of c.wav"},
      // The stop and the trim add up to 2^63 in a double, past the 64-bit range.
      {"span cut at 2^63",
       "using_samples\nsrc\tc.wav\nxout\t9223372036854773760\ntrim\t1600\ndest\tout.wav\n", 2, N,
       "stops 9223372036854767808 samples past the end of c.wav"},
      {"gap", "src\ta.wav\nxout\t1\nsrc\tb.wav\nins\t1.5\ndest\tout.wav\n", 3, N,
       "silent for 0.500 s from 1.000 s"},
      {"not .wav", "src\ta.wav\ndest\tout.wave\n", 2, N, "does not end in .wav"},
      // Mistakes of units, encodings and names.
      {"width in seconds", "src\ta.wav\nxin\t1\nxf\t0.2\t1\ndest\tout.wav\n", 3, W,
       "below 1 ms: widths are in milliseconds"},
      {"fraction in samples", "using_samples\nsrc\ta.wav\nxout\t1.5\ndest\tout.wav\n", 3, W,
       "did you mean seconds"},
      {"samples without using_samples", "src\ta.wav\nxin\t9000\ndest\tout.wav\n", 1, W,
       "did you mean using_samples?"},
      {"timecode", "src\ta.wav\nxin\t00:00:01:12\ndest\tout.wav\n", 2, W,
       "looks like a timecode HH:MM:SS:FF"},
      {"byte-order mark", "\xEF\xBB\xBFsrc\ta.wav\ndest\tout.wav\n", 1, W, "byte-order mark"},
      {"CR-only lines", "src\ta.wav\rxin\t1\rdest\tout.wav\r", 1, W, "carriage return alone"},
      {"backslash", "src\t.\\a.wav\ndest\tout.wav\n", 1, W, "write './a.wav'"},
      {"letter case", "src\tA.wav\ndest\tout.wav\n", 1, W, "did you mean a.wav?"},
      {"xin after xout", "src\ta.wav\nxin\t1.5\nxout\t1\ndest\tout.wav\n", 1, W,
       "at or after its stop"},
      {"hides a little", "src\ta.wav\nins\t0\nsrc\tc.wav\nxout\t0.5\nins\t1.6\ndest\tout.wav\n", 3,
       N, "task 2 hides 0.400 s of task 1 (a.wav)"},
      {"hides most", "src\tc.wav\nins\t0\nsrc\ta.wav\nins\t0.2\ndest\tout.wav\n", 3, W,
       "task 2 hides 0.800 s of task 1 (c.wav), more than half of it"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.mistake);
    testing::TempDir dir;
    WriteSources();
    const RunState run = Checked(c.task);
    bool found = false;
    for (const Diagnostic& diagnostic : run.diagnostics) {
      found = found || (diagnostic.line == c.line && diagnostic.kind == c.kind &&
                        diagnostic.text.find(c.words) != std::string::npos);
    }
    EXPECT_TRUE(found) << [&run] {
      std::string all;
      for (const Diagnostic& d : run.diagnostics)
        all += std::to_string(d.line) + ": " + d.text + "\n";
      return all;
    }();
  }
}

TEST(CheckPlan, CleanTasksAndCommentsGiveNothing) {
  const char* const clean[] = {
      "# a comment line with any words\nsrc\ta.wav\nxin\t0:01\nins\t0\ndest\tout.wav\n",
      "src\ta.wav\nxout\t1.05\nins\t0\nsrc\tb.wav\nxin\t1\nins\t1\nxf\t100\t1\ndest\tout.wav\r\n",
      "using_samples\nsrc\ta.wav\nxout\t8000\nsrc\tb.wav\nins\tapp\ndest\tout.wav\n",
  };
  for (const char* task : clean) {
    SCOPED_TRACE(task);
    testing::TempDir dir;
    WriteSources();
    EXPECT_TRUE(Checked(task).diagnostics.empty()) << Checked(task).diagnostics[0].text;
  }
}

TEST(CheckPlan, SourcesBesideTheTaskFile) {
  testing::TempDir dir;
  std::filesystem::create_directory("job");
  {
    // Only beside the task file: the user is in the wrong folder.
    const testing::WavFormat format{1, 8000, 16};
    testing::WriteFile("job/a.wav", testing::CanonicalWav(format, std::vector<int32_t>(800, 1)));
    testing::WriteTextFile("job/task.txt", "src\ta.wav\ndest\tout.wav\n");
    RunState run;
    run.taskPath = "job/task.txt";
    testing::RunCaptured([&run] {
      ReadTaskFile(run);
      CheckSourcePaths(run);
    });
    ASSERT_EQ(run.diagnostics.size(), 1u);
    EXPECT_EQ(run.diagnostics[0].line, 1);
    EXPECT_NE(run.diagnostics[0].text.find("run wavsplice from job"), std::string::npos);
  }
  // In both places: the working folder's is read.
  WriteSources();
  const RunState run = Checked("src\ta.wav\ndest\tout.wav\n", "job/task.txt");
  ASSERT_FALSE(run.diagnostics.empty());
  EXPECT_NE(run.diagnostics[0].text.find("read from the working folder"), std::string::npos);
}

TEST(CheckPlan, HeardMapShowsWhoWinsAndTheGaps) {
  testing::TempDir dir;
  WriteSources();
  const RunState run = Checked(
      "src\ta.wav\nxout\t1\nins\t0\nsrc\tc.wav\nxout\t0.25\nins\t0.5\nsrc\tb.wav\nxout\t"
      "0.5\nins\t1.5\ndest\tout.wav\n");
  const std::vector<HeardSpan> heard = HeardMap(run);
  ASSERT_EQ(heard.size(), 5u);
  const HeardSpan expected[] = {
      {0, 4000, 0}, {4000, 6000, 1}, {6000, 8000, 0}, {8000, 12000, -1}, {12000, 16000, 2}};
  for (size_t i = 0; i < 5; ++i) {
    EXPECT_EQ(heard[i].start, expected[i].start);
    EXPECT_EQ(heard[i].end, expected[i].end);
    EXPECT_EQ(heard[i].entry, expected[i].entry);
  }
}

}  // namespace
}  // namespace wavsplice
