// Memory stays bounded by the block, whatever the length of the audio: a
// one-hour destination costs the same peak memory as a one-minute one.
#include <fcntl.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "tests/cli_runner.h"
#include "tests/temp_dir.h"
#include "tests/wav_fixture.h"

namespace wavsplice::testing {
namespace {

struct Usage {
  int exitCode = -1;
  long peakKiB = 0;
};

// Runs the binary on task.txt in dir, output discarded, and returns its
// exit status and peak resident memory.
Usage RunMeasured(const std::string& dir) {
  const pid_t child = ::fork();
  if (child == 0) {
    if (::chdir(dir.c_str()) != 0) ::_exit(127);
    const int nullFd = ::open("/dev/null", O_RDWR);
    ::dup2(nullFd, 0);
    ::dup2(nullFd, 1);
    // Under the address sanitizer freed blocks would otherwise pile up in
    // its quarantine and count as the program's memory.
    const char* options = std::getenv("ASAN_OPTIONS");
    const std::string asan = std::string(options ? options : "") + ":quarantine_size_mb=0";
    ::setenv("ASAN_OPTIONS", asan.c_str(), 1);
    const std::string binary = WavspliceBinary();
    ::execl(binary.c_str(), binary.c_str(), "task.txt", static_cast<char*>(nullptr));
    ::_exit(127);
  }
  int status = 0;
  rusage usage{};
  Usage result;
  if (::wait4(child, &status, 0, &usage) == child && WIFEXITED(status)) {
    result.exitCode = WEXITSTATUS(status);
  }
  result.peakKiB = usage.ru_maxrss;
  return result;
}

// Renders minutes minutes of 16-bit mono audio at 8 kHz from a one-minute
// source laid end to end, each copy with a level change and a crossfade.
Usage Render(int minutes) {
  TempDir dir;
  const int frames = 8000 * 60;
  std::vector<int32_t> values(frames);
  for (int i = 0; i < frames; ++i) values[static_cast<size_t>(i)] = (i * 37) % 20000 - 10000;
  WriteFile(dir / "minute.wav", CanonicalWav({1, 8000, 16, 1}, values));
  std::string task;
  for (int m = 0; m < minutes; ++m) task += "src\tminute.wav\nlvl\t-3\nxf\t50\t1\n";
  WriteTextFile(dir / "task.txt", task + "dest\tout.wav\n");
  const Usage usage = RunMeasured(dir.path());
  EXPECT_EQ(std::filesystem::file_size(dir / "out.wav"),
            44u + 2u * static_cast<uintmax_t>(frames) * static_cast<uintmax_t>(minutes));
  return usage;
}

TEST(CliMemory, AnHourCostsNoMoreMemoryThanAMinute) {
  const Usage minute = Render(1);
  const Usage hour = Render(60);
  EXPECT_EQ(minute.exitCode, 0);
  EXPECT_EQ(hour.exitCode, 0);
  EXPECT_GT(minute.peakKiB, 0);
  EXPECT_LT(hour.peakKiB - minute.peakKiB, 1024) << minute.peakKiB << " KiB for a minute, "
                                                 << hour.peakKiB << " KiB for an hour";
}

}  // namespace
}  // namespace wavsplice::testing
