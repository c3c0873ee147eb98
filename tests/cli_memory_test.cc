// Memory stays bounded by the block, whatever the length of the audio: a one-hour destination, and
// one of 5 GiB, cost the same peak memory as a one-minute one.
#include <fcntl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

#include "tests/cli_runner.h"
#include "tests/temp_dir.h"
#include "tests/wav_fixture.h"

namespace wavsplice::testing {
namespace {

constexpr const char* kTimeTool = "/usr/bin/time";

struct Usage {
  int exitCode = -1;
  long peakKiB = 0;
};

// Runs the binary on task.txt in dir, output discarded, and returns its exit status and peak
// resident memory. The measuring is left to the time tool: a child forked from this test would
// count the test's own memory, which it shares until it starts the binary, in its peak.
Usage RunMeasured(const std::string& dir) {
  std::vector<std::string> words = {kTimeTool, "-f", "%x %M", "-o", "usage.txt"};
  for (const std::string& word : ProgramWords(WavspliceBinary())) words.push_back(word);
  words.push_back("task.txt");
  std::vector<char*> argv;
  for (std::string& word : words) argv.push_back(word.data());
  argv.push_back(nullptr);
  const pid_t child = ::fork();
  if (child == 0) {
    if (::chdir(dir.c_str()) != 0) ::_exit(127);
    const int nullFd = ::open("/dev/null", O_RDWR);
    ::dup2(nullFd, 0);
    ::dup2(nullFd, 1);
    ::execv(kTimeTool, argv.data());
    ::_exit(127);
  }
  int status = 0;
  ::waitpid(child, &status, 0);
  Usage usage;
  const Bytes text = ReadFile(dir + "/usage.txt");
  std::sscanf(std::string(text.begin(), text.end()).c_str(), "%d %ld", &usage.exitCode,
              &usage.peakKiB);
  return usage;
}

constexpr int kMinuteFrames = 8000 * 60;

void WriteMinute(const TempDir& dir) {
  std::vector<int32_t> values(kMinuteFrames);
  for (int i = 0; i < kMinuteFrames; ++i) values[static_cast<size_t>(i)] = (i * 37) % 20000 - 10000;
  WriteFile(dir / "minute.wav", CanonicalWav({1, 8000, 16, 1}, values));
}

// Renders minutes minutes of 16-bit mono audio at 8 kHz from a one-minute source laid end to end,
// each copy with a level change and a crossfade.
Usage Render(int minutes) {
  TempDir dir;
  WriteMinute(dir);
  std::string task;
  for (int m = 0; m < minutes; ++m) task += "src\tminute.wav\nlvl\t-3\nxf\t50\t1\n";
  WriteTextFile(dir / "task.txt", task + "dest\tout.wav\n");
  const Usage usage = RunMeasured(dir.path());
  EXPECT_EQ(std::filesystem::file_size(dir / "out.wav"),
            44u + 2u * static_cast<uintmax_t>(kMinuteFrames) * static_cast<uintmax_t>(minutes));
  return usage;
}

// Renders a 5 GiB destination (RF64): the minute at its start and, with a crossfade into the audio
// before it, at its end; the silence between is left to the file system. -1 when the disk has no
// room for that.
Usage RenderFiveGiB() {
  TempDir dir;
  const int64_t frames = (int64_t{5} << 30) / 2;
  std::error_code error;
  const auto space = std::filesystem::space(dir.path(), error);
  if (error || space.available < 2 * static_cast<uint64_t>(2 * frames) + (256u << 20)) {
    return Usage{-1, 0};
  }
  WriteMinute(dir);
  const std::string end = std::to_string(frames - kMinuteFrames + 4000);  // xin 4000
  WriteTextFile(dir / "task.txt",
                "using_samples\nsrc\tminute.wav\nlvl\t-3\nsrc\tminute.wav\nins\t" + end +
                    "\nxin\t4000\nlvl\t-3\nxf\t50\t1\ndest\tout.wav\n");
  const Usage usage = RunMeasured(dir.path());
  EXPECT_EQ(std::filesystem::file_size(dir / "out.wav"), 80u + 2u * static_cast<uintmax_t>(frames));
  return usage;
}

// The sanitizers' own bookkeeping (shadow memory of every block mapped) grows with the work done,
// so peak memory means something only without them.
#if defined(__SANITIZE_ADDRESS__)
constexpr bool kSanitized = true;
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
constexpr bool kSanitized = true;
#else
constexpr bool kSanitized = false;
#endif
#else
constexpr bool kSanitized = false;
#endif

TEST(CliMemory, AnHourCostsNoMoreMemoryThanAMinute) {
  if (kSanitized) GTEST_SKIP() << "peak memory is not the program's under the address sanitizer";
  if (::access(kTimeTool, X_OK) != 0) GTEST_SKIP() << kTimeTool << " is not installed";
  // Under an emulator (a cross build under qemu-user) the peak is the emulator's: the program's
  // memory plus the emulator's code cache, which grows with the code it translates (2 MiB more for
  // the hour on s390x).
  if (ProgramWords(WavspliceBinary()).size() > 1)
    GTEST_SKIP() << "peak memory under an emulator is the emulator's";
  const Usage minute = Render(1);
  const Usage hour = Render(60);
  EXPECT_EQ(minute.exitCode, 0);
  EXPECT_EQ(hour.exitCode, 0);
  EXPECT_GT(minute.peakKiB, 0);
  std::printf("[ memory   ] peak %ld KiB for a minute, %ld KiB for an hour\n", minute.peakKiB,
              hour.peakKiB);
  EXPECT_LT(hour.peakKiB - minute.peakKiB, 1024)
      << minute.peakKiB << " KiB for a minute, " << hour.peakKiB << " KiB for an hour";

  const Usage fiveGiB = RenderFiveGiB();
  if (fiveGiB.exitCode == -1) GTEST_SKIP() << "not enough free disk for a sparse 5 GiB file";
  EXPECT_EQ(fiveGiB.exitCode, 0);
  std::printf("[ memory   ] peak %ld KiB for 5 GiB\n", fiveGiB.peakKiB);
  EXPECT_LT(fiveGiB.peakKiB - minute.peakKiB, 1024)
      << minute.peakKiB << " KiB for a minute, " << fiveGiB.peakKiB << " KiB for 5 GiB";
}

}  // namespace
}  // namespace wavsplice::testing
