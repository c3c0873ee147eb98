#include "common/path_text.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

namespace wavsplice {
namespace {

namespace fs = std::filesystem;

// Every path of up to five pieces: names, dots and runs of separators in every order, the empty
// path included.
std::vector<std::string> PathsOfPieces() {
  const char* const pieces[] = {"a", "bc", ".", "..", "/", "//"};
  std::vector<std::string> paths = {""};
  size_t from = 0;
  for (int length = 1; length <= 5; ++length) {
    const size_t to = paths.size();
    for (size_t i = from; i < to; ++i) {
      for (const char* piece : pieces) paths.push_back(paths[i] + piece);
    }
    from = to;
  }
  return paths;
}

// std::filesystem is the reference: the functions are its path operations on a POSIX system,
// without its code in the program.
TEST(PathText, AsStdFilesystemReadsEveryPath) {
  for (const std::string& path : PathsOfPieces()) {
    SCOPED_TRACE("'" + path + "'");
    const fs::path reference(path);
    ASSERT_EQ(ParentPath(path), reference.parent_path().string());
    ASSERT_EQ(FileName(path), reference.filename().string());
    ASSERT_EQ(LexicallyNormal(path), reference.lexically_normal().string());
    std::vector<std::string> elements;
    for (const fs::path& element : reference) elements.push_back(element.string());
    ASSERT_EQ(PathElements(path), elements);
  }
}

TEST(PathText, JoinsAsStdFilesystem) {
  const char* const paths[] = {"", "a", "a/", "a//", "/", "//", "/a", "a/..", ".", "a/b"};
  const char* const nexts[] = {"", "b", "b/", "/b", ".", "..", ".b"};
  for (const char* path : paths) {
    for (const char* next : nexts) {
      SCOPED_TRACE(std::string("'") + path + "' + '" + next + "'");
      EXPECT_EQ(JoinPath(path, next), (fs::path(path) / next).string());
    }
  }
}

TEST(PathText, Examples) {
  EXPECT_EQ(ParentPath("dir/out.wav"), "dir");
  EXPECT_EQ(ParentPath("out.wav"), "");
  EXPECT_EQ(ParentPath("/out.wav"), "/");
  EXPECT_EQ(FileName("dir/out.wav"), "out.wav");
  EXPECT_EQ(FileName("dir/"), "");
  EXPECT_EQ(JoinPath("dir", ".out.wav"), "dir/.out.wav");
  EXPECT_EQ(JoinPath("", ".out.wav"), ".out.wav");
  EXPECT_EQ(LexicallyNormal("/a/./b/../c//d/"), "/a/c/d/");
  EXPECT_EQ(LexicallyNormal("../a/.."), "..");
  EXPECT_EQ(LexicallyNormal("/../a"), "/a");
  EXPECT_EQ(LexicallyNormal("a/.."), ".");
}

}  // namespace
}  // namespace wavsplice
