#include "task/file_guards.h"

#include <gtest/gtest.h>

#include <unistd.h>
#include <filesystem>
#include <string>
#include <vector>

#include "tests/stdout_capture.h"
#include "tests/temp_dir.h"
#include "tests/wav_fixture.h"

namespace wavsplice {
namespace {

RunState RunWith(const std::vector<std::string>& sources, const std::string& dest,
                 int32_t xfType = 0) {
  RunState run;
  run.entryCount = static_cast<int32_t>(sources.size());
  for (size_t i = 0; i < sources.size(); ++i) run.entries[i].sourcePath = sources[i];
  run.entries[sources.size() - 1].xfType = xfType;
  run.destPath = dest;
  return run;
}

std::string Check(const RunState& run) {
  const testing::Outcome outcome = testing::RunCaptured([&run] { CheckOutputsSpareInputs(run); });
  if (!outcome.failed) return "no failure";
  return std::to_string(outcome.exitCode) + " " + outcome.out + outcome.message;
}

TEST(CheckOutputsSpareInputs, DestinationMayNotBeAnInput) {
  testing::TempDir dir;
  testing::WriteFile("a.wav", testing::CanonicalWav({1, 44100, 16}, {1}));
  testing::WriteFile("b.wav", testing::CanonicalWav({1, 44100, 16}, {2}));
  testing::WriteTextFile("task.txt", "src\ta.wav\n");
  std::filesystem::create_directory("sub");

  EXPECT_EQ(Check(RunWith({"a.wav", "b.wav"}, "out.wav")), "no failure");
  EXPECT_EQ(Check(RunWith({"a.wav", "b.wav"}, "b.wav")),
            "1 Destination file b.wav is also an input file\n");
  EXPECT_EQ(Check(RunWith({"a.wav", "b.wav"}, "./b.wav")),
            "1 Destination file ./b.wav is also an input file\n");
  EXPECT_EQ(Check(RunWith({"a.wav"}, "sub/../a.wav")),
            "1 Destination file sub/../a.wav is also an input file\n");
  EXPECT_EQ(Check(RunWith({"a.wav"}, "./task.txt")),
            "1 Destination file ./task.txt is also an input file\n");
  EXPECT_EQ(Check(RunWith({"a.wav"}, dir / "a.wav")),
            "1 Destination file " + (dir / "a.wav") + " is also an input file\n");
  RunState relativeTask = RunWith({"a.wav"}, dir / "task.txt");
  relativeTask.taskPath = "./sub/../task.txt";
  EXPECT_EQ(Check(relativeTask),
            "1 Destination file " + (dir / "task.txt") + " is also an input file\n");

  // The same file under another name.
  std::filesystem::create_symlink("a.wav", "link.wav");
  ASSERT_EQ(::link("b.wav", "hard.wav"), 0);
  EXPECT_EQ(Check(RunWith({"a.wav"}, "link.wav")),
            "1 Destination file link.wav is also an input file\n");
  EXPECT_EQ(Check(RunWith({"link.wav"}, "a.wav")),
            "1 Destination file a.wav is also an input file\n");
  EXPECT_EQ(Check(RunWith({"a.wav", "b.wav"}, "hard.wav")),
            "1 Destination file hard.wav is also an input file\n");
  std::filesystem::create_symlink("sub", "subLink");
  // ".." after a linked folder leads to the link target's parent.
  EXPECT_EQ(Check(RunWith({"a.wav"}, "subLink/../a.wav")),
            "1 Destination file subLink/../a.wav is also an input file\n");
  testing::WriteFile("sub/a.wav", testing::CanonicalWav({1, 44100, 16}, {3}));
  EXPECT_EQ(Check(RunWith({"sub/a.wav"}, "subLink/a.wav")),
            "1 Destination file subLink/a.wav is also an input file\n");

  // A copy is a different file; a destination that does not exist yet is
  // compared by its path.
  std::filesystem::copy_file("a.wav", "copy.wav");
  EXPECT_EQ(Check(RunWith({"a.wav"}, "copy.wav")), "no failure");
  EXPECT_EQ(Check(RunWith({"a.wav"}, "sub/new.wav")), "no failure");
  EXPECT_EQ(Check(RunWith({"gone.wav"}, "./gone.wav")),
            "1 Destination file ./gone.wav is also an input file\n");
}

TEST(CheckOutputsSpareInputs, CrossfadeTempFileIsReserved) {
  testing::TempDir dir;
  testing::WriteFile("a.wav", testing::CanonicalWav({1, 44100, 16}, {1}));
  testing::WriteFile("xfade_temp.wav", testing::CanonicalWav({1, 44100, 16}, {1}));
  std::filesystem::create_directory("sub");
  testing::WriteFile("sub/xfade_temp.wav", testing::CanonicalWav({1, 44100, 16}, {1}));

  // Without a crossfade the name is free.
  EXPECT_EQ(Check(RunWith({"xfade_temp.wav", "a.wav"}, "out.wav", 0)), "no failure");
  EXPECT_EQ(Check(RunWith({"a.wav"}, "xfade_temp.wav", 0)), "no failure");
  // With one anywhere in the table, a source or the destination of that
  // name is refused.
  EXPECT_EQ(Check(RunWith({"xfade_temp.wav", "a.wav"}, "out.wav", 1)),
            "1 File xfade_temp.wav is reserved for crossfades\n");
  EXPECT_EQ(Check(RunWith({"a.wav", "./xfade_temp.wav"}, "out.wav", 4)),
            "1 File ./xfade_temp.wav is reserved for crossfades\n");
  EXPECT_EQ(Check(RunWith({"a.wav"}, "./xfade_temp.wav", 2)),
            "1 File ./xfade_temp.wav is reserved for crossfades\n");
  std::filesystem::create_symlink("xfade_temp.wav", "alias.wav");
  EXPECT_EQ(Check(RunWith({"alias.wav"}, "out.wav", 1)),
            "1 File alias.wav is reserved for crossfades\n");
  std::filesystem::remove("xfade_temp.wav");
  EXPECT_EQ(Check(RunWith({"a.wav"}, "xfade_temp.wav", 3)),
            "1 File xfade_temp.wav is reserved for crossfades\n");
  EXPECT_EQ(Check(RunWith({"a.wav"}, dir / "xfade_temp.wav", 3)),
            "1 File " + (dir / "xfade_temp.wav") + " is reserved for crossfades\n");
  // Not there yet, reached through a linked folder: still the temp file.
  std::filesystem::create_symlink(".", "here");
  EXPECT_EQ(Check(RunWith({"a.wav"}, "here/xfade_temp.wav", 1)),
            "1 File here/xfade_temp.wav is reserved for crossfades\n");
  std::filesystem::create_symlink("sub", "subLink");
  EXPECT_EQ(Check(RunWith({"a.wav"}, "subLink/../xfade_temp.wav", 1)),
            "1 File subLink/../xfade_temp.wav is reserved for crossfades\n");
  // A link to the temp file that is not there yet, as the destination.
  std::filesystem::create_symlink("xfade_temp.wav", "pending.wav");
  EXPECT_EQ(Check(RunWith({"a.wav"}, "pending.wav", 1)),
            "1 File pending.wav is reserved for crossfades\n");
  std::filesystem::create_symlink("loop1.wav", "loop2.wav");
  std::filesystem::create_symlink("loop2.wav", "loop1.wav");
  EXPECT_EQ(Check(RunWith({"a.wav"}, "loop1.wav", 1)), "no failure");
  // The same name in another folder is another file.
  EXPECT_EQ(Check(RunWith({"sub/xfade_temp.wav"}, "out.wav", 1)), "no failure");
  // The destination-is-input check comes first.
  EXPECT_EQ(Check(RunWith({"a.wav"}, "a.wav", 1)),
            "1 Destination file a.wav is also an input file\n");
}

}  // namespace
}  // namespace wavsplice
