#include "task/destination.h"

#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <map>
#include <string>

#include "tests/stdout_capture.h"
#include "tests/temp_dir.h"
#include "tests/wav_fixture.h"

namespace wavsplice {
namespace {

namespace fs = std::filesystem;

// The names in the working directory and its folders, with what they are.
std::map<std::string, fs::file_type> Listing() {
  std::map<std::string, fs::file_type> items;
  for (const auto& item : fs::recursive_directory_iterator(".")) {
    items[item.path().string()] = item.symlink_status().type();
  }
  return items;
}

TEST(StageDestination, RefusesWhatCannotBeReplacedBeforeWritingAnything) {
  testing::TempDir dir;
  fs::create_directory("folder.wav");
  ASSERT_EQ(::mkfifo("pipe.wav", 0600), 0);
  fs::create_symlink("loop2.wav", "loop1.wav");
  fs::create_symlink("loop1.wav", "loop2.wav");
  fs::create_symlink("pipe.wav", "to-pipe.wav");
  testing::WriteFile("readonly.wav", {1});
  ASSERT_EQ(::chmod("readonly.wav", 0444), 0);
  const auto before = Listing();
  for (const std::string dest : {"folder.wav", "pipe.wav", "to-pipe.wav", "/dev/null", "loop1.wav",
                                 "missing/out.wav", "folder.wav/"}) {
    SCOPED_TRACE(dest);
    RunState run;
    run.destPath = dest;
    const testing::Outcome outcome = testing::RunCaptured([&run] { StageDestination(run); });
    EXPECT_EQ(outcome.exitCode, 2);
    const char* verb = dest == "missing/out.wav" ? "create" : "replace";
    EXPECT_EQ(outcome.message, "Cannot " + std::string(verb) + " destination file " + dest + "\n");
    EXPECT_EQ(Listing(), before);
  }
  // Root may write any file; for others a read-only one is refused.
  RunState run;
  run.destPath = "readonly.wav";
  const testing::Outcome outcome = testing::RunCaptured([&run] { StageDestination(run); });
  EXPECT_EQ(outcome.failed, ::geteuid() != 0);
  EXPECT_EQ(Listing(), before);
}

TEST(StageDestination, ALinkStaysALinkAndTheFileItLeadsToIsReplaced) {
  testing::TempDir dir;
  fs::create_directory("sub");
  testing::WriteFile("sub/real.wav", {1, 2});
  fs::create_symlink("sub/real.wav", "link.wav");
  fs::create_symlink("sub/later.wav", "later.wav");  // to a file not there yet
  for (const std::string name : {"real.wav", "later.wav"}) {
    SCOPED_TRACE(name);
    RunState run;
    run.destPath = name == "real.wav" ? "link.wav" : "later.wav";
    StagedFile staged = StageDestination(run);
    EXPECT_EQ(run.destWritePath.rfind("sub/." + name + ".wavsplice-", 0), 0u) << run.destWritePath;
    EXPECT_EQ(staged.path(), run.destWritePath);
    testing::WriteFile(run.destWritePath, {7, 8, 9});
    CommitDestination(staged, run);
    EXPECT_TRUE(fs::is_symlink(run.destPath));
    EXPECT_EQ(testing::ReadFile("sub/" + name), (testing::Bytes{7, 8, 9}));
  }
  EXPECT_EQ(Listing().size(), 5u);  // sub, its two files and the two links

  // A folder put in the file's place during the run: the rename fails.
  RunState run;
  run.destPath = "link.wav";
  StagedFile staged = StageDestination(run);
  fs::remove("sub/real.wav");
  fs::create_directories("sub/real.wav/inside");
  const testing::Outcome outcome = testing::RunCaptured([&] { CommitDestination(staged, run); });
  EXPECT_EQ(outcome.exitCode, 2);
  EXPECT_EQ(outcome.message, "Cannot write to file link.wav\n");
}

}  // namespace
}  // namespace wavsplice
