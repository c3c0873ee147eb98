#include "common/staged_file.h"

#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <cstring>
#include <filesystem>
#include <set>
#include <string>
#include <utility>

#include "tests/temp_dir.h"
#include "tests/wav_fixture.h"

namespace wavsplice {
namespace {

std::set<std::string> Names(const std::string& folder = ".") {
  std::set<std::string> names;
  for (const auto& item : std::filesystem::directory_iterator(folder)) {
    names.insert(item.path().filename().string());
  }
  return names;
}

mode_t ModeOf(const std::string& path) {
  struct stat info = {};
  EXPECT_EQ(::stat(path.c_str(), &info), 0) << path;
  return info.st_mode & 07777;
}

bool StartsWith(const std::string& text, const std::string& start) {
  return text.compare(0, start.size(), start) == 0;
}

TEST(StagedFile, CreatedExclusivelyBesideItsFileAndRemovedUnlessCommitted) {
  testing::TempDir dir;
  const testing::Bytes old{1, 2, 3};
  testing::WriteFile("out.wav", old);
  std::filesystem::create_directory("sub");
  {
    std::optional<StagedFile> first = StagedFile::Create("out.wav", "out.wav");
    std::optional<StagedFile> second = StagedFile::Create("out.wav", "out.wav");
    std::optional<StagedFile> inSub = StagedFile::Create("sub/x.wav", "x.wav.xfade");
    ASSERT_TRUE(first && second && inSub);
    EXPECT_NE(first->path(), second->path());
    EXPECT_TRUE(StartsWith(first->path(), ".out.wav.wavsplice-")) << first->path();
    EXPECT_EQ(first->path().size(), std::strlen(".out.wav.wavsplice-XXXXXX"));
    const std::string unique = first->path().substr(first->path().size() - 6);
    EXPECT_EQ(
        unique.find_first_not_of("ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789"),
        std::string::npos)
        << unique;
    EXPECT_TRUE(StartsWith(inSub->path(), "sub/.x.wav.xfade.wavsplice-")) << inSub->path();
    EXPECT_EQ(ModeOf(first->path()), 0600u);  // private while it is written
    EXPECT_EQ(Names().size(), 4u);

    // The owner moves; the moved-from object owns nothing.
    const std::string path = first->path();
    StagedFile moved = std::move(*first);
    first.reset();
    EXPECT_TRUE(testing::FileExists(path));
    EXPECT_EQ(moved.path(), path);
  }
  EXPECT_EQ(Names(), (std::set<std::string>{"out.wav", "sub"}));
  EXPECT_TRUE(Names("sub").empty());
  EXPECT_EQ(testing::ReadFile("out.wav"), old);

  // No folder, no file; a name too long for the file system is shortened.
  EXPECT_FALSE(StagedFile::Create("gone/out.wav", "out.wav").has_value());
  EXPECT_TRUE(StagedFile::Create("out.wav", std::string(300, 'n')).has_value());
}

TEST(StagedFile, CommitPutsTheWholeFileInPlaceWithTheRightsOfTheOldOne) {
  testing::TempDir dir;
  testing::WriteFile("out.wav", {1, 2, 3});
  ASSERT_EQ(::chmod("out.wav", 0640), 0);
  const bool root = ::geteuid() == 0;
  if (root) {
    ASSERT_EQ(::chown("out.wav", 1234, 5678), 0);
  }
  std::optional<StagedFile> staged = StagedFile::Create("out.wav", "out.wav");
  ASSERT_TRUE(staged);
  testing::WriteFile(staged->path(), {4, 5});
  EXPECT_TRUE(staged->Commit());
  EXPECT_EQ(staged->path(), "");
  staged.reset();  // nothing left to remove
  EXPECT_EQ(testing::ReadFile("out.wav"), (testing::Bytes{4, 5}));
  EXPECT_EQ(ModeOf("out.wav"), 0640u);
  if (root) {
    struct stat info = {};
    ASSERT_EQ(::stat("out.wav", &info), 0);
    EXPECT_EQ(info.st_uid, 1234u);
    EXPECT_EQ(info.st_gid, 5678u);
  }
  EXPECT_EQ(Names(), std::set<std::string>{"out.wav"});

  // A new file gets what the umask allows, as if created in place.
  const mode_t mask = ::umask(027);
  std::optional<StagedFile> fresh = StagedFile::Create("new.wav", "new.wav");
  ASSERT_TRUE(fresh && fresh->Commit());
  ::umask(mask);
  EXPECT_EQ(ModeOf("new.wav"), 0640u);

  // A folder in the way: the rename fails and the file is still removed.
  std::filesystem::create_directory("folder.wav");
  std::filesystem::create_directory("folder.wav/inside");
  std::optional<StagedFile> blocked = StagedFile::Create("folder.wav", "folder.wav");
  ASSERT_TRUE(blocked);
  EXPECT_FALSE(blocked->Commit());
  blocked.reset();
  EXPECT_EQ(Names(), (std::set<std::string>{"folder.wav", "new.wav", "out.wav"}));
}

}  // namespace
}  // namespace wavsplice
