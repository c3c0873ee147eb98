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
  run.entries.resize(sources.size());
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

  // A copy is a different file; a destination that does not exist yet is compared by its path.
  std::filesystem::copy_file("a.wav", "copy.wav");
  EXPECT_EQ(Check(RunWith({"a.wav"}, "copy.wav")), "no failure");
  EXPECT_EQ(Check(RunWith({"a.wav"}, "sub/new.wav")), "no failure");
  EXPECT_EQ(Check(RunWith({"gone.wav"}, "./gone.wav")),
            "1 Destination file ./gone.wav is also an input file\n");
}

// The reference: the same rule in std::filesystem's operations.
std::filesystem::path ReferenceNormalised(const std::string& path) {
  namespace fs = std::filesystem;
  std::error_code error;
  fs::path current = fs::absolute(path, error);
  if (error) current = path;
  for (int hop = 0; hop < 40 && fs::is_symlink(current, error); ++hop) {
    const fs::path target = fs::read_symlink(current, error);
    if (error) break;
    current = target.is_absolute() ? target : current.parent_path() / target;
  }
  const fs::path resolved = fs::weakly_canonical(current, error);
  return error ? current.lexically_normal() : resolved;
}

TEST(NormalisedPath, AsStdFilesystemResolvesEveryPath) {
  testing::TempDir dir;
  std::filesystem::create_directory("dir");
  testing::WriteTextFile("dir/f.wav", "f");
  testing::WriteTextFile("top.wav", "t");
  std::filesystem::create_symlink("top.wav", "linkFile");
  std::filesystem::create_symlink("dir", "linkDir");
  std::filesystem::create_symlink("..", "dir/up");
  std::filesystem::create_symlink("missing.wav", "dangling");
  std::filesystem::create_symlink("dir/none/x.wav", "deepDangling");
  std::filesystem::create_symlink("linkFile", "chain");
  std::filesystem::create_symlink("loopB", "loopA");
  std::filesystem::create_symlink("loopA", "loopB");
  std::filesystem::create_symlink(dir / "dir/f.wav", "absolute");
  const char* const names[] = {"dir",  "f.wav",    "top.wav",      "linkFile", "linkDir",
                               "up",   "dangling", "deepDangling", "chain",    "loopA",
                               "none", ".",        "..",           "absolute", ""};
  std::vector<std::string> paths;
  for (const char* a : names) {
    paths.push_back(a);
    for (const char* b : names) {
      paths.push_back(std::string(a) + "/" + b);
      for (const char* c : names) paths.push_back(std::string(a) + "/" + b + "/" + c);
    }
  }
  for (const std::string& path : paths) {
    for (const std::string& variant : {path, dir / path, "./" + path + "/"}) {
      SCOPED_TRACE("'" + variant + "'");
      ASSERT_EQ(NormalisedPath(variant), ReferenceNormalised(variant).string());
    }
  }
}

TEST(CheckOutputsSpareInputs, NoNameIsReservedForCrossfades) {
  testing::TempDir dir;
  testing::WriteFile("a.wav", testing::CanonicalWav({1, 44100, 16}, {1}));
  testing::WriteFile("xfade_temp.wav", testing::CanonicalWav({1, 44100, 16}, {1}));
  std::filesystem::create_symlink("xfade_temp.wav", "alias.wav");

  // Crossfades write only files of their own: a source or the destination named xfade_temp.wav is
  // as good as any other.
  for (int32_t xfType : {0, 1, 4}) {
    SCOPED_TRACE(xfType);
    EXPECT_EQ(Check(RunWith({"xfade_temp.wav", "a.wav"}, "out.wav", xfType)), "no failure");
    EXPECT_EQ(Check(RunWith({"alias.wav"}, "out.wav", xfType)), "no failure");
    EXPECT_EQ(Check(RunWith({"a.wav"}, "./sub/../xfade_temp.wav", xfType)), "no failure");
  }
  // The destination-is-input check holds for it like for any file.
  EXPECT_EQ(Check(RunWith({"a.wav", "xfade_temp.wav"}, "alias.wav", 1)),
            "1 Destination file alias.wav is also an input file\n");
}

TEST(ReportFileRefusal, SaysWhichRuleKeepsAReportOffAFile) {
  testing::TempDir dir;
  testing::WriteFile("take.wav", testing::CanonicalWav({1, 8000, 16}, {1}));
  testing::WriteFile("other.wav", testing::CanonicalWav({1, 8000, 16}, {2}));
  testing::WriteTextFile("notes.txt", "notes\n");
  // The reader gives up at the second `src`: the run knows no entry.
  testing::WriteTextFile("task.txt", "src\ttake.wav\nsrc\tx\ndest\tout.wav\n");
  RunState gaveUp;
  const struct {
    const char* path;
    const char* other;
    const char* taskPath;
    const char* refusal;  // after "Report file PATH "
  } cases[] = {
      {"./task.txt", "", "task.txt", "is also a file of the run"},
      {"r.json", "./r.json", "task.txt", "is also a file of the run"},
      {"./take.wav", "", "task.txt", "is named in the task file"},
      {"out.wav", "", "task.txt", "is named in the task file"},
      {"other.wav", "", "task.txt", "is a WAV file"},
      {"notes.txt", "", "task.txt", ""},
      {"new.json", "", "task.txt", ""},
      {"notes.txt", "", "missing.txt", "exists and the task file cannot be read"},
      {"new.json", "", "missing.txt", ""},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.path);
    gaveUp.taskPath = c.taskPath;
    const std::string expected =
        *c.refusal == '\0' ? "" : "Report file " + std::string(c.path) + " " + c.refusal + "\n";
    EXPECT_EQ(ReportFileRefusal(c.path, c.other, gaveUp), expected);
  }
}

}  // namespace
}  // namespace wavsplice
