#include "task/task_reader.h"

#include <gtest/gtest.h>

#include <cmath>
#include <filesystem>
#include <string>

#include "tests/stdout_capture.h"
#include "tests/temp_dir.h"
#include "tests/wav_fixture.h"

namespace wavsplice {
namespace {

struct Read {
  RunState run;
  testing::Outcome outcome;
  const EditEntry& entry(size_t i) const { return run.entries[i]; }
};

// Writes text as the task file and reads it. Call inside a TempDir.
Read ReadText(const std::string& text) {
  testing::WriteTextFile("task.txt", text);
  Read read;
  read.outcome = testing::RunCaptured([&read] { ReadTaskFile(read.run); });
  return read;
}

// Only the failure's exit status and message, for the refusals.
std::string FailureOf(const std::string& text) {
  const Read read = ReadText(text);
  if (!read.outcome.failed) return "no failure";
  return std::to_string(read.outcome.exitCode) + " " + read.outcome.message;
}

TEST(ReadTaskFile, PlainEntries) {
  testing::TempDir dir;
  const Read read = ReadText(
      "src\ta.wav\nxin\t1.5\nxout\t3\ntrim\t-0.25\nins\t2\nlvl\t-6\nxf\t200\t1\n"
      "src\tb.wav\n\ndest\tout.wav\n");
  EXPECT_FALSE(read.outcome.failed);
  EXPECT_EQ(read.outcome.out, "");
  EXPECT_EQ(read.run.entryCount, 2);
  EXPECT_EQ(read.run.sampleMode, 0);
  EXPECT_EQ(read.run.destPath, "out.wav");
  const EditEntry& a = read.entry(0);
  EXPECT_EQ(a.sourcePath, "a.wav");
  EXPECT_EQ(a.xin, 1.5);
  EXPECT_EQ(a.xout, 3.0);
  EXPECT_EQ(a.trim, -0.25);
  EXPECT_EQ(a.ins, 2.0);
  EXPECT_EQ(a.append, 0);
  EXPECT_EQ(a.lvl, -6.0);
  EXPECT_EQ(a.xfWidth, 200.0f);
  EXPECT_EQ(a.xfType, 1);
  // Untouched fields keep their defaults.
  const EditEntry& b = read.entry(1);
  EXPECT_EQ(b.sourcePath, "b.wav");
  EXPECT_EQ(b.xin, 0.0);
  EXPECT_EQ(b.xout, 0.0);
  EXPECT_EQ(b.append, 1);
  EXPECT_EQ(b.xfType, 0);
  EXPECT_EQ(b.xfWidth, 100.0f);
  EXPECT_EQ(b.xfSamples, 4410);
  // The table holds the entries read and no more.
  EXPECT_EQ(read.run.entries.size(), 2u);

  // Commands count wherever they stand as whole tokens; repeats overwrite.
  const Read inline_ = ReadText("src\ta.wav\txin\t2\txin\t4\tdest\tx.wav\tdest\ty.wav");
  EXPECT_EQ(inline_.entry(0).xin, 4.0);
  EXPECT_EQ(inline_.run.destPath, "y.wav");
  // Numbers: a leading number prefix counts, a word reads as 0.
  const Read numbers = ReadText("src\ta.wav\nxin\t 2.5sec\nxout\tabc\ntrim\t1e1\n");
  EXPECT_EQ(numbers.entry(0).xin, 2.5);
  EXPECT_EQ(numbers.entry(0).xout, 0.0);
  EXPECT_EQ(numbers.entry(0).trim, 10.0);
  // dest and no src: no entry; unknown tokens (also case variants) skipped.
  const Read noSource = ReadText("SRC\ta.wav\nXIN\t3\ndest\tout.wav\n");
  EXPECT_FALSE(noSource.outcome.failed);
  EXPECT_EQ(noSource.run.entryCount, 0);
  EXPECT_EQ(noSource.run.destPath, "out.wav");
  EXPECT_EQ(ReadText("").run.entryCount, 0);
  EXPECT_EQ(ReadText("\n\t\n").run.entryCount, 0);
}

TEST(ReadTaskFile, CommandChainQuirks) {
  testing::TempDir dir;
  // A source path that is a later command word acts as that command too.
  Read read = ReadText("src\tdest\nout.wav\n");
  EXPECT_EQ(read.run.entryCount, 1);
  EXPECT_EQ(read.entry(0).sourcePath, "dest");
  EXPECT_EQ(read.run.destPath, "out.wav");
  read = ReadText("src\txout\n7\n");
  EXPECT_EQ(read.entry(0).sourcePath, "xout");
  EXPECT_EQ(read.entry(0).xout, 7.0);

  // A bare xin followed by xout 5: xin 0, and xout still runs.
  read = ReadText("src\ta.wav\nxin\t3\nxin\nxout\t5\n");
  EXPECT_EQ(read.entry(0).xin, 0.0);
  EXPECT_EQ(read.entry(0).xout, 5.0);
  // A bare xout followed by xin 2: xin is lost, its value skipped.
  read = ReadText("src\ta.wav\nxin\t7\nxout\nxin\t2\n");
  EXPECT_EQ(read.entry(0).xout, 0.0);
  EXPECT_EQ(read.entry(0).xin, 7.0);
  // The same word as a value is only a value.
  read = ReadText("src\ta.wav\nxin\txin\t3\n");
  EXPECT_EQ(read.entry(0).xin, 0.0);
  // ins whose value is "trim": ins 0 given, then trim takes the next token.
  read = ReadText("src\ta.wav\nins\ttrim\t4\n");
  EXPECT_EQ(read.entry(0).ins, 0.0);
  EXPECT_EQ(read.entry(0).append, 0);
  EXPECT_EQ(read.entry(0).trim, 4.0);
  // An earlier word as a value is lost: "src" after xin makes no entry.
  read = ReadText("src\ta.wav\nxin\tsrc\tb.wav\n");
  EXPECT_EQ(read.run.entryCount, 1);
  EXPECT_EQ(read.entry(0).xin, 0.0);

  // xf with a width only takes the next line's command word as its type.
  read = ReadText("src\ta.wav\nxf\t200\nins\t3\n");
  EXPECT_EQ(read.outcome.out, "");
  EXPECT_EQ(read.entry(0).xfWidth, 200.0f);
  EXPECT_EQ(read.entry(0).xfType, 0);
  EXPECT_EQ(read.entry(0).append, 1);
  EXPECT_EQ(read.entry(0).ins, 0.0);
  read = ReadText("src\ta.wav\nxf\t200\nsrc\tb.wav\nxin\t1\n");
  EXPECT_EQ(read.run.entryCount, 1);
  EXPECT_EQ(read.entry(0).xin, 1.0);
  read = ReadText("src\ta.wav\nxf\t200\ndest\tout.wav\n");
  EXPECT_EQ(read.run.destPath, "out.wav");
}

TEST(ReadTaskFile, SampleModeOnlyAsFirstToken) {
  testing::TempDir dir;
  Read read = ReadText("\n\n\tusing_samples\nsrc\ta.wav\nusing_samples\n");
  EXPECT_EQ(read.run.sampleMode, 1);
  EXPECT_EQ(read.outcome.out, "Reading time values as samples.\n");
  EXPECT_EQ(read.run.entryCount, 1);
  read = ReadText("src\ta.wav\nusing_samples\n");
  EXPECT_EQ(read.run.sampleMode, 0);
  EXPECT_EQ(read.outcome.out, "");
  read = ReadText("using_samples ");
  EXPECT_EQ(read.run.sampleMode, 0);
}

TEST(ReadTaskFile, SeparatorsAndLineEnds) {
  testing::TempDir dir;
  // Spaces do not separate: "src a.wav" is one unknown token.
  Read read = ReadText("src a.wav\nsrc\tmy file.wav\nxf    200     1\n");
  EXPECT_EQ(read.run.entryCount, 1);
  EXPECT_EQ(read.entry(0).sourcePath, "my file.wav");
  EXPECT_EQ(read.entry(0).xfType, 0);
  EXPECT_EQ(read.entry(0).xfWidth, 100.0f);
  // CRLF: a carriage return before a newline or at the end of the file belongs to the line end; one
  // elsewhere stays in its token.
  read = ReadText("src\ta.wav\r\nxin\t1.5\r\nxf\t50\t3\r\ndest\tout.wav\r");
  EXPECT_EQ(read.entry(0).sourcePath, "a.wav");
  EXPECT_EQ(read.entry(0).xin, 1.5);
  EXPECT_EQ(read.entry(0).xfType, 3);
  EXPECT_EQ(read.run.destPath, "out.wav");
  read = ReadText("src\ta\r.wav\r\r\ndest\tout.wav\n");
  EXPECT_EQ(read.entry(0).sourcePath, "a\r.wav\r");
  // A zero byte ends the text.
  read = ReadText(std::string("src\ta.wav\ndest\tout.wav\0\nsrc\tb.wav\n", 34));
  EXPECT_EQ(read.run.entryCount, 1);
  EXPECT_EQ(read.run.destPath, "out.wav");
}

TEST(ReadTaskFile, ShortOrMissingPaths) {
  testing::TempDir dir;
  EXPECT_EQ(FailureOf("src\tabcd\nsrc\tabc\n"),
            "1 Source track 2 appears to be too short or missing\n");
  EXPECT_EQ(FailureOf("src"), "1 Source track 1 appears to be too short or missing\n");
  EXPECT_EQ(FailureOf("src\ta.wav\nsrc\n\n"),
            "1 Source track 2 appears to be too short or missing\n");
  EXPECT_EQ(FailureOf("src\ta.wav\ndest\tx.w\n"),
            "1 Your destination name appears to be too short or missing\n");
  EXPECT_EQ(FailureOf("src\ta.wav\ndest\n"),
            "1 Your destination name appears to be too short or missing\n");
  Read read = ReadText("src\tabcd\ndest\twxyz\n");
  EXPECT_FALSE(read.outcome.failed);
  EXPECT_EQ(read.entry(0).sourcePath, "abcd");
  EXPECT_EQ(read.run.destPath, "wxyz");

  EXPECT_EQ(FailureOf("src\ta.wav\n"), "no failure");
  std::filesystem::remove("task.txt");
  RunState run;
  testing::Outcome outcome = testing::RunCaptured([&run] { ReadTaskFile(run); });
  EXPECT_EQ(outcome.exitCode, 1);
  EXPECT_EQ(outcome.message, "Cannot find file task.txt that holds your instructions\n");
  std::filesystem::create_directory("folder");
  run.taskPath = "folder";
  outcome = testing::RunCaptured([&run] { ReadTaskFile(run); });
  EXPECT_EQ(outcome.exitCode, 1);
  EXPECT_EQ(outcome.message, "Cannot find file folder that holds your instructions\n");
}

TEST(ReadTaskFile, LevelsAreStoredAsFloat) {
  testing::TempDir dir;
  const Read read = ReadText(
      "src\ta.wav\nlvl\t-3.1\nlvl\t24\nlvl\t23.9999999\nlvl\t30\nlvl\tnan\nlvl\t1e300\n"
      "src\tb.wav\nlvl\t23.9\n"
      "src\tc.wav\nlvl\t5\nlvl\t-1e300\n");
  EXPECT_EQ(read.outcome.out, "");
  EXPECT_EQ(read.entry(0).lvl, static_cast<double>(-3.1f));
  EXPECT_NE(read.entry(0).lvl, -3.1);
  EXPECT_EQ(read.entry(1).lvl, static_cast<double>(23.9f));
  EXPECT_EQ(read.entry(2).lvl, -HUGE_VAL);
}

TEST(ReadTaskFile, CrossfadeTypes) {
  testing::TempDir dir;
  const Read read = ReadText(
      "src\ta.wav\nxf\t50\t3\nxf\t60\t5\n"
      "src\tb.wav\nxf\t70.3\t-1\n"
      "src\tc.wav\nxf\t80\t2.7\n"
      "src\td.wav\nxf\t90\t0\n"
      "src\te.wav\nxf\t10\tfour\n");
  EXPECT_EQ(read.outcome.out,
            "Crossfade-type (parameter 2) is invalid\nCrossfade-type (parameter 2) is invalid\n");
  EXPECT_EQ(read.entry(0).xfType, 0);
  EXPECT_EQ(read.entry(0).xfWidth, 60.0f);
  EXPECT_EQ(read.entry(1).xfType, 0);
  EXPECT_EQ(read.entry(1).xfWidth, 70.3f);
  EXPECT_EQ(read.entry(2).xfType, 2);
  EXPECT_EQ(read.entry(3).xfType, 0);
  EXPECT_EQ(read.entry(3).xfWidth, 90.0f);
  EXPECT_EQ(read.entry(4).xfType, 0);
}

TEST(ReadTaskFile, InsertAppendWords) {
  testing::TempDir dir;
  const Read read = ReadText(
      "src\ta.wav\nins\t3\nins\tapp\n"
      "src\tb.wav\nins\tApp\n"
      "src\tc.wav\nins\tapp\n");
  EXPECT_EQ(read.entry(0).append, 1);
  EXPECT_EQ(read.entry(0).ins, 3.0);
  EXPECT_EQ(read.entry(1).append, 0);
  EXPECT_EQ(read.entry(1).ins, 0.0);
  EXPECT_EQ(read.entry(2).append, 1);
}

TEST(ReadTaskFile, CommandsBeforeAnySource) {
  testing::TempDir dir;
  for (const char* word : {"xin", "xout", "ins", "trim", "lvl", "fin", "fout"}) {
    EXPECT_EQ(FailureOf(std::string("using_samples\n") + word + "\t1\t1\nsrc\ta.wav\n"),
              std::string("1 Command ") + word + " comes before any src command\n");
  }
  // dest, a leading using_samples, handles and the default xf are fine before the first src.
  const Read read = ReadText(
      "using_samples\nhandles\nxf\t20\t3\ndest\tout.wav\nsrc\ta.wav\nxf\t5\t0\n"
      "fin\t30\t2\nfout\t40\t4\nsrc\tb.wav\nhandles\n");
  EXPECT_FALSE(read.outcome.failed);
  EXPECT_EQ(read.run.entryCount, 2);
  EXPECT_TRUE(read.run.handles);
  EXPECT_EQ(read.run.handlesLine, 2);
  EXPECT_EQ(read.run.defaultXfType, 3);
  EXPECT_EQ(read.run.defaultXfWidth, 20.0f);
  EXPECT_EQ(read.run.defaultXfLine, 3);
  EXPECT_EQ(read.entry(0).xfType, 0);
  EXPECT_EQ(read.entry(0).xfLine, 6);
  EXPECT_EQ(read.entry(0).finType, 2);
  EXPECT_EQ(read.entry(0).finWidth, 30.0f);
  EXPECT_EQ(read.entry(0).foutType, 4);
  EXPECT_EQ(read.entry(0).foutLine, 8);
  EXPECT_EQ(read.entry(1).xfLine, 0);
}

TEST(ReadTaskFile, ValueMissingAtEndOfFile) {
  testing::TempDir dir;
  for (const char* word : {"xin", "xout", "ins", "trim", "lvl", "xf"}) {
    EXPECT_EQ(FailureOf(std::string("src\ta.wav\n") + word + "\n"),
              std::string("1 Value missing after ") + word + " at end of task file\n");
  }
  EXPECT_EQ(FailureOf("src\ta.wav\nxf\t200\n"), "1 Value missing after xf at end of task file\n");
  // A chained command runs out of tokens in the same way.
  EXPECT_EQ(FailureOf("src\ta.wav\nxin\txout"), "1 Value missing after xout at end of task file\n");
}

TEST(ReadTaskFile, TooManySources) {
  testing::TempDir dir;
  std::string text;
  for (int i = 0; i < MAX_EDITS; ++i) text += "src\ts" + std::to_string(i) + ".wav\n";
  const Read read = ReadText(text);
  EXPECT_FALSE(read.outcome.failed);
  EXPECT_EQ(read.run.entryCount, 512);
  EXPECT_EQ(read.entry(511).sourcePath, "s511.wav");
  EXPECT_EQ(FailureOf(text + "src\textra.wav\n"),
            "1 Too many source tracks, at most 512 are allowed\n");
}

TEST(ReadTaskFile, NoLengthLimits) {
  testing::TempDir dir;
  const std::string longSource = std::string(300, 's') + ".wav";
  const std::string longDest = std::string(200, 'd') + "/" + std::string(200, 'e') + ".wav";
  // More than 64 KiB of blank lines before the commands.
  const Read read =
      ReadText(std::string(70000, '\n') + "src\t" + longSource + "\ndest\t" + longDest + "\n");
  EXPECT_FALSE(read.outcome.failed);
  EXPECT_EQ(read.run.entryCount, 1);
  EXPECT_EQ(read.entry(0).sourcePath, longSource);
  EXPECT_EQ(read.run.destPath, longDest);
}

// The `loudness` line comes once, before the first `src`, with a level in LUFS; a `lvl` line marks
// its edit as levelled by hand.
TEST(ReadTaskFile, LoudnessLine) {
  testing::TempDir dir;
  const Read read = ReadText("loudness\t-16.5\nsrc\ta.wav\nsrc\tb.wav\nlvl\t-3\ndest\tout.wav\n");
  EXPECT_FALSE(read.outcome.failed) << read.outcome.message;
  EXPECT_EQ(read.run.loudnessLine, 1);
  EXPECT_EQ(read.run.loudnessLufs, -16.5);
  EXPECT_EQ(read.entry(0).lvlLine, 0);
  EXPECT_EQ(read.entry(1).lvlLine, 4);
  EXPECT_TRUE(read.run.diagnostics.empty());

  const std::pair<const char*, const char*> refusals[] = {
      {"src\ta.wav\nloudness\t-16\n", "1 Command loudness comes after a src command\n"},
      {"loudness\t-16\nloudness\t-19\n", "1 Command loudness is given twice\n"},
      {"loudness", "1 Value missing after loudness at end of task file\n"},
      {"loudness\tloud\n", "1 Loudness loud is not a level from -70 to 0 LUFS\n"},
      {"loudness\t-16 LUFS\n", "1 Loudness -16 LUFS is not a level from -70 to 0 LUFS\n"},
      {"loudness\t3\n", "1 Loudness 3 is not a level from -70 to 0 LUFS\n"},
      {"loudness\t-71\n", "1 Loudness -71 is not a level from -70 to 0 LUFS\n"},
  };
  for (const auto& [text, failure] : refusals) EXPECT_EQ(FailureOf(text), failure) << text;
}

}  // namespace
}  // namespace wavsplice

namespace wavsplice {
namespace {

TEST(ReadTaskFile, MarkersAndMarkLines) {
  testing::TempDir dir;
  const Read read = ReadText(
      "markers\nkeep_metadata\nsrc\ta.wav\nmark\tIntro part\nmark\tsecond\nsrc\tb.wav\n"
      "markers\ndest\tout.wav\n");
  ASSERT_FALSE(read.outcome.failed);
  EXPECT_EQ(read.run.markersLine, 1);
  EXPECT_EQ(read.run.keepMetadataLine, 2);
  ASSERT_EQ(read.entry(0).marks.size(), 2u);
  EXPECT_EQ(read.entry(0).marks[0].text, "Intro part");
  EXPECT_EQ(read.entry(0).marks[0].line, 4);
  EXPECT_EQ(read.entry(0).marks[1].text, "second");
  EXPECT_TRUE(read.entry(1).marks.empty());
  // The late `markers` is only warned of.
  ASSERT_EQ(read.run.diagnostics.size(), 1u);
  EXPECT_EQ(read.run.diagnostics[0].line, 7);

  const Read plain = ReadText("src\ta.wav\ndest\tout.wav\n");
  EXPECT_EQ(plain.run.markersLine, 0);
  EXPECT_EQ(plain.run.keepMetadataLine, 0);
  EXPECT_EQ(FailureOf("mark\tx\nsrc\ta.wav\n"), "1 Command mark comes before any src command\n");
  EXPECT_EQ(FailureOf("src\ta.wav\nmark\n"), "1 Value missing after mark at end of task file\n");
}

}  // namespace
}  // namespace wavsplice
