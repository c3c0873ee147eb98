#include "common/kernel_copy.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <unistd.h>

#include <cstdint>
#include <string>

#include "tests/temp_dir.h"
#include "tests/wav_fixture.h"

namespace wavsplice {
namespace {

// Bytes 0, 1, 2, ... wrapping at 251, so that any shift shows.
testing::Bytes Counting(size_t count) {
  testing::Bytes bytes(count);
  for (size_t i = 0; i < count; ++i) bytes[i] = static_cast<unsigned char>(i % 251);
  return bytes;
}

class Fd {
 public:
  Fd(const std::string& path, int flags) : fd_(::open(path.c_str(), flags)) {}
  ~Fd() { ::close(fd_); }
  int get() const { return fd_; }

 private:
  int fd_;
};

TEST(KernelCopy, CopiesTheBytesAskedForAndStopsWhereTheSourceEnds) {
  testing::TempDir dir;
  const testing::Bytes source = Counting(3 << 20);  // three times the pipe
  testing::WriteFile("source", source);
  struct Case {
    int64_t sourcePos;
    int64_t destPos;
    int64_t count;
    int64_t copied;
  };
  const Case cases[] = {
      {0, 0, 4, 4},
      {7, 44, (3 << 20) - 7, (3 << 20) - 7},  // more than one pipe's worth
      {(3 << 20) - 10, 5, 100, 10},           // the source ends first
      {3 << 20, 0, 100, 0},
  };
  KernelCopy copy;
  for (const Case& c : cases) {
    SCOPED_TRACE(c.sourcePos);
    testing::WriteFile("dest", testing::Bytes(static_cast<size_t>(c.destPos), 0xEE));
    const Fd in("source", O_RDONLY);
    const Fd out("dest", O_RDWR);
    EXPECT_EQ(copy.Copy(in.get(), c.sourcePos, out.get(), c.destPos, c.count), c.copied);
    testing::Bytes want(static_cast<size_t>(c.destPos), 0xEE);
    want.insert(want.end(), source.begin() + c.sourcePos, source.begin() + c.sourcePos + c.copied);
    EXPECT_EQ(testing::ReadFile("dest"), want);
  }
}

// A destination the kernel will not write at a position (opened to append) or at all (opened to
// read) is refused, and so is every later copy.
TEST(KernelCopy, RefusesOnceAndForAll) {
  testing::TempDir dir;
  testing::WriteFile("source", Counting(1000));
  testing::WriteFile("dest", {});
  for (const int flags : {O_WRONLY | O_APPEND, O_RDONLY}) {
    SCOPED_TRACE(flags);
    KernelCopy copy;
    const Fd in("source", O_RDONLY);
    const Fd refusing("dest", flags);
    EXPECT_EQ(copy.Copy(in.get(), 0, refusing.get(), 0, 1000), 0);
    const Fd good("dest", O_RDWR);
    EXPECT_EQ(copy.Copy(in.get(), 0, good.get(), 0, 1000), 0);
    EXPECT_EQ(testing::ReadFile("dest"), testing::Bytes());
  }
}

}  // namespace
}  // namespace wavsplice
