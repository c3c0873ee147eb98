// End-to-end: a run replaces its destination whole or not at all. Killed at any point, stopped by a
// signal, on a full disk or at a file size limit, the destination is the old file or the complete
// new one and no temporary file is left (after SIGKILL only temporary files may stay); runs in one
// folder never share a file; the destination keeps its rights and links.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/file.h>
#include <sys/mount.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <functional>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

#include "tests/cli_expected.h"
#include "tests/cli_runner.h"
#include "tests/temp_dir.h"
#include "tests/wav_fixture.h"

namespace wavsplice::testing {
namespace {

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

// A fingerprint of a file's bytes, read in blocks: big files need not be held.
size_t Fingerprint(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::vector<char> block(1 << 20);
  size_t hash = 0;
  while (in.read(block.data(), static_cast<std::streamsize>(block.size())) || in.gcount() > 0) {
    const std::string_view bytes(block.data(), static_cast<size_t>(in.gcount()));
    hash = hash * 1000003u ^ std::hash<std::string_view>{}(bytes);
  }
  return hash;
}

// A WAV file of `bytes` audio bytes, 16-bit stereo at 44.1 kHz, written in blocks of a repeating
// pattern that differs with seed.
void WriteBigWav(const std::string& path, uint32_t bytes, unsigned seed) {
  const Bytes header = ExpectedHeader(44100, 16, 2, static_cast<int32_t>(bytes / 4));
  std::ofstream out(path, std::ios::binary);
  out.write(reinterpret_cast<const char*>(header.data()),
            static_cast<std::streamsize>(header.size()));
  std::vector<char> block(1 << 20);
  for (size_t i = 0; i < block.size(); ++i) {
    block[i] = static_cast<char>((i * (37 + 2 * seed) + i / 4096) & 0xff);
  }
  for (uint32_t done = 0; done < bytes; done += static_cast<uint32_t>(block.size())) {
    out.write(block.data(),
              static_cast<std::streamsize>(std::min<size_t>(block.size(), bytes - done)));
  }
}

// Mounts a tmpfs of the given size on folder for its life, where the system lets the test (it needs
// root, and not every container allows it).
class SmallDisk {
 public:
  SmallDisk(const std::string& folder, const std::string& size) : folder_(folder) {
    fs::create_directory(folder);
    mounted_ = ::mount("tmpfs", folder.c_str(), "tmpfs", 0, ("size=" + size).c_str()) == 0;
  }
  ~SmallDisk() {
    if (mounted_) ::umount2(folder_.c_str(), MNT_DETACH);
  }
  SmallDisk(const SmallDisk&) = delete;
  SmallDisk& operator=(const SmallDisk&) = delete;
  bool mounted() const { return mounted_; }

 private:
  std::string folder_;
  bool mounted_ = false;
};

// The audio bytes of the big render.
constexpr uint32_t kBigBytes = 256u << 20;

enum class Ending { kKill, kSignal, kFullDisk, kSizeLimit };

struct Case {
  std::string label;
  Ending ending;
  int signal = 0;            // kKill, kSignal: the signal sent during the big render
  double at = 0;             // kKill, kSignal: when, as the part of the destination written
  bool inCrossfade = false;  // kFullDisk, kSizeLimit: fail in a crossfade's scratch file
};

std::vector<Case> Cases() {
  std::vector<Case> cases;
  constexpr int kKillPoints = 20;
  for (int i = 0; i < kKillPoints; ++i) {
    // The last point: the audio written, the file not yet (or just) renamed.
    const double at = static_cast<double>(i + 1) / kKillPoints;
    cases.push_back({"SIGKILL at " + std::to_string(at), Ending::kKill, SIGKILL, at});
  }
  for (const int signal : {SIGINT, SIGTERM, SIGHUP, SIGPIPE}) {
    cases.push_back({std::string("signal ") + strsignal(signal), Ending::kSignal, signal, 0.5});
  }
  for (const bool inCrossfade : {false, true}) {
    const std::string where = inCrossfade ? " in a crossfade" : " in the destination";
    cases.push_back({"full disk" + where, Ending::kFullDisk, 0, 0, inCrossfade});
    cases.push_back({"file size limit" + where, Ending::kSizeLimit, 0, 0, inCrossfade});
  }
  return cases;
}

// The big render: a 256 MiB source copied over out.wav, a good destination of the same length but
// other audio, kept also under the name old.wav (a hard link: what the run does to the name out.wav
// cannot touch it). A plain copy goes at the speed of the disk in every build, sanitizers too.
struct BigRender {
  TempDir dir;
  size_t oldPrint = 0;
  size_t newPrint = 0;

  BigRender() {
    WriteBigWav(dir / "source.wav", kBigBytes, 0);
    WriteBigWav(dir / "out.wav", kBigBytes, 1);
    oldPrint = Fingerprint(dir / "out.wav");
    ::link((dir / "out.wav").c_str(), (dir / "old.wav").c_str());
    WriteTextFile(dir / "task.txt", "src\tsource.wav\ndest\tout.wav\n");
    EXPECT_EQ(WaitCli(StartCli(dir.path(), {})).exitCode, 0);
    newPrint = Fingerprint(dir / "out.wav");
    EXPECT_EQ(newPrint, Fingerprint(dir / "source.wav"));  // a canonical file copied whole
    EXPECT_NE(oldPrint, newPrint);
    RestoreOld();
  }

  // Puts the old destination back under its name.
  void RestoreOld() {
    fs::remove(dir / "out.wav");
    ::link((dir / "old.wav").c_str(), (dir / "out.wav").c_str());
  }
};

// Waits until the run's temporary destination holds `fraction` of the destination's bytes (blocks
// the file system has taken: the silence is left to it, so they grow with the copy), then stops the
// run there. True when the run was stopped mid-render, false when it ended first.
bool StopMidRender(pid_t pid, const std::string& dir, double fraction) {
  const double wanted = fraction * static_cast<double>(kBigBytes);
  const Clock::time_point limit = Clock::now() + std::chrono::seconds(60);
  while (Clock::now() < limit) {
    siginfo_t ended = {};
    if (::waitid(P_PID, static_cast<id_t>(pid), &ended, WEXITED | WNOHANG | WNOWAIT) == 0 &&
        ended.si_pid == pid) {
      return false;
    }
    for (const std::string& name : TemporaryFilesIn(dir)) {
      struct stat info = {};
      if (::stat((dir + "/" + name).c_str(), &info) != 0) continue;
      if (static_cast<double>(info.st_blocks) * 512 < wanted) continue;
      ::kill(pid, SIGSTOP);
      siginfo_t stopped = {};
      ::waitid(P_PID, static_cast<id_t>(pid), &stopped, WSTOPPED | WEXITED | WNOWAIT);
      return stopped.si_code == CLD_STOPPED && !TemporaryFilesIn(dir).empty();
    }
    std::this_thread::sleep_for(std::chrono::microseconds(200));
  }
  return false;
}

// The small render that fails: a 60 s 16-bit mono source at 8 kHz (960 KB) written whole, or a 21 s
// destination (336 KB) with a 40 s crossfade (640 KB) in its scratch file. The disk is a 768 KiB
// tmpfs holding a 50 KB old destination, or a folder with files limited to 500 KiB.
CliResult RunOutOfRoom(const Case& c, bool& checked) {
  TempDir dir;
  const std::string disk = dir / "disk";
  const SmallDisk smallDisk(disk, "768k");
  checked = c.ending == Ending::kSizeLimit || smallDisk.mounted();
  if (!checked) return CliResult{};
  std::vector<int32_t> values(480000);
  for (size_t i = 0; i < values.size(); ++i) values[i] = static_cast<int32_t>(i % 20000) - 10000;
  WriteFile(dir / "a.wav", CanonicalWav({1, 8000, 16, 1}, values));
  const Bytes old(50000, 0x5a);
  WriteFile(disk + "/out.wav", old);
  WriteTextFile(dir / "task.txt", c.inCrossfade ? "src\ta.wav\nxout\t1\nsrc\ta.wav\nins\t20.5\n"
                                                  "xin\t20.5\nxout\t21\nxf\t40000\t1\n"
                                                  "dest\tdisk/out.wav\n"
                                                : "src\ta.wav\ndest\tdisk/out.wav\n");
  const CliResult result =
      RunCli(dir.path(), {}, 60, c.ending == Ending::kSizeLimit ? "ulimit -f 1000;" : "");
  EXPECT_EQ(result.exitCode, 2) << result.out;
  const std::string message = "Cannot write to file disk/out.wav\n";
  EXPECT_EQ(result.out.substr(result.out.size() - std::min(result.out.size(), message.size())),
            message)
      << result.out;
  // The crossfade's entry was being written when its scratch file failed.
  EXPECT_EQ(result.out.find("Task 2\t") != std::string::npos, c.inCrossfade) << result.out;
  EXPECT_EQ(result.out.find("Could not generate crossfade"), std::string::npos) << result.out;
  EXPECT_EQ(ReadFile(disk + "/out.wav"), old);
  EXPECT_EQ(TemporaryFilesIn(disk), std::vector<std::string>{});
  return result;
}

TEST(CliReplace, EveryEndingLeavesTheOldDestinationOrTheWholeNewOne) {
  // Under an emulator (a cross build under qemu-user) this test's polling runs emulated while the
  // run's copy goes at the host's speed, so it often misses the point where it should stop the run.
  if (ProgramWords(WavspliceBinary()).size() > 1)
    GTEST_SKIP() << "stopping the run mid-render needs the test at native speed";
  BigRender big;
  ASSERT_FALSE(HasFailure());
  int oldCount = 0;
  int newCount = 0;
  int otherCount = 0;
  int leftAfterKill = 0;
  int unchecked = 0;
  int stoppedCount = 0;
  for (const Case& c : Cases()) {
    SCOPED_TRACE(c.label);
    if (c.ending == Ending::kFullDisk || c.ending == Ending::kSizeLimit) {
      bool checked = false;
      RunOutOfRoom(c, checked);
      unchecked += checked ? 0 : 1;
      continue;
    }
    // A busy machine can let a run finish between two looks at its file: such an attempt stops
    // nothing and is made again.
    const bool wantMidRender = c.ending == Ending::kSignal || c.at < 1;
    bool midRender = false;
    CliResult result;
    for (int attempt = 0; attempt < 5; ++attempt) {
      const pid_t pid = StartCli(big.dir.path(), {});
      midRender = StopMidRender(pid, big.dir.path(), c.at);
      ::kill(pid, c.signal);
      ::kill(pid, SIGCONT);  // the signal is delivered as the run goes on
      result = WaitCli(pid);
      if (midRender || !wantMidRender) break;
      for (const std::string& name : TemporaryFilesIn(big.dir.path())) fs::remove(big.dir / name);
      big.RestoreOld();
    }
    const size_t print = Fingerprint(big.dir / "out.wav");
    const std::vector<std::string> left = TemporaryFilesIn(big.dir.path());
    if (c.ending == Ending::kSignal) {
      EXPECT_TRUE(midRender);
      EXPECT_EQ(result.signal, c.signal);
      EXPECT_EQ(print, big.oldPrint);
      EXPECT_EQ(left, std::vector<std::string>{});
    } else {
      oldCount += print == big.oldPrint ? 1 : 0;
      newCount += print == big.newPrint ? 1 : 0;
      otherCount += print != big.oldPrint && print != big.newPrint ? 1 : 0;
      leftAfterKill += static_cast<int>(left.size());
      stoppedCount += midRender ? 1 : 0;
      if (wantMidRender) {
        EXPECT_TRUE(midRender);
      }
    }
    for (const std::string& name : left) fs::remove(big.dir / name);
    big.RestoreOld();
  }
  EXPECT_EQ(otherCount, 0);
  std::printf(
      "[ replace  ] SIGKILL: %d old, %d new, %d other (%d mid-render), %d temporary files left; "
      "%d out-of-room cases without a tmpfs\n",
      oldCount, newCount, otherCount, stoppedCount, leftAfterKill, unchecked);
}

// Eight runs with crossfades started together in one folder, each with its own task and
// destination, make what each makes alone.
TEST(CliReplace, ParallelRunsInOneFolderDoNotMeet) {
  TempDir dir;
  const WavFormat format{2, 44100, 16, 1};
  std::vector<int32_t> a;
  std::vector<int32_t> b;
  for (int32_t i = 0; i < 44100 * 3; ++i) {
    a.push_back(static_cast<int32_t>((i * 7) % 30000) - 15000);
    a.push_back(static_cast<int32_t>((i * 13) % 30000) - 15000);
    b.push_back(static_cast<int32_t>((i * 3) % 20000) - 10000);
    b.push_back(static_cast<int32_t>((i * 11) % 20000) - 10000);
  }
  WriteFile(dir / "a.wav", CanonicalWav(format, a));
  WriteFile(dir / "b.wav", CanonicalWav(format, b));
  constexpr int kRuns = 8;
  const auto task = [](int run) {
    std::string text;
    // Ten splices, each with a crossfade whose curve, width and level differ from run to run.
    for (int edit = 0; edit < 10; ++edit) {
      text += std::string("src\t") + (edit % 2 == 0 ? "a.wav" : "b.wav") +
              "\nxin\t1\nxout\t1.5\nlvl\t-" + std::to_string(run) + "\nxf\t" +
              std::to_string(100 + 20 * run) + "\t" + std::to_string(1 + (run + edit) % 4) + "\n";
    }
    return text + "dest\tout" + std::to_string(run) + ".wav\n";
  };
  for (int run = 0; run < kRuns; ++run) {
    const std::string name = "task" + std::to_string(run) + ".txt";
    WriteTextFile(dir / name, task(run));
    ASSERT_EQ(RunCli(dir.path(), {name}).exitCode, 0);
    fs::rename(dir / ("out" + std::to_string(run) + ".wav"),
               dir / ("alone" + std::to_string(run) + ".wav"));
  }
  std::vector<pid_t> pids;
  for (int run = 0; run < kRuns; ++run) {
    pids.push_back(StartCli(dir.path(), {"task" + std::to_string(run) + ".txt"}));
  }
  int identical = 0;
  for (int run = 0; run < kRuns; ++run) {
    EXPECT_EQ(WaitCli(pids[static_cast<size_t>(run)]).exitCode, 0);
    const std::string number = std::to_string(run);
    const bool same =
        ReadFile(dir / ("out" + number + ".wav")) == ReadFile(dir / ("alone" + number + ".wav"));
    EXPECT_TRUE(same) << "run " << run;
    identical += same ? 1 : 0;
  }
  EXPECT_EQ(TemporaryFilesIn(dir.path()), std::vector<std::string>{});
  std::printf("[ replace  ] %d of %d parallel runs identical to their run alone\n", identical,
              kRuns);
}

// A destination keeps its permission bits (and owner, for root) and stays a link when it is one; a
// pipe or a device is refused and left as it was.
TEST(CliReplace, DestinationKeepsItsRightsAndLinks) {
  TempDir dir;
  WriteFile(dir / "a.wav", CanonicalWav({1, 8000, 16, 1}, {1, 2, 3, 4}));
  const Bytes built = CanonicalWav({1, 8000, 16, 1}, {1, 2, 3, 4});
  fs::create_directory(dir / "sub");
  WriteFile(dir / "sub/real.wav", {9});
  fs::create_symlink("sub/real.wav", dir / "link.wav");
  WriteFile(dir / "private.wav", {9});
  ASSERT_EQ(::chmod((dir / "private.wav").c_str(), 0604), 0);
  const bool root = ::geteuid() == 0;
  if (root) {
    ASSERT_EQ(::chown((dir / "private.wav").c_str(), 1234, 5678), 0);
  }
  ASSERT_EQ(::mkfifo((dir / "pipe.wav").c_str(), 0600), 0);
  const auto run = [&dir](const std::string& dest) {
    WriteTextFile(dir / "task.txt", "src\ta.wav\ndest\t" + dest + "\n");
    return RunCli(dir.path(), {}, 10);
  };

  EXPECT_EQ(run("private.wav").exitCode, 0);
  EXPECT_EQ(ReadFile(dir / "private.wav"), built);
  struct stat info = {};
  ASSERT_EQ(::stat((dir / "private.wav").c_str(), &info), 0);
  EXPECT_EQ(info.st_mode & 07777, 0604u);
  if (root) {
    EXPECT_EQ(info.st_uid, 1234u);
    EXPECT_EQ(info.st_gid, 5678u);
  }

  EXPECT_EQ(run("link.wav").exitCode, 0);
  EXPECT_TRUE(fs::is_symlink(dir / "link.wav"));
  EXPECT_EQ(ReadFile(dir / "sub/real.wav"), built);

  for (const std::string dest : {"pipe.wav", "/dev/null"}) {
    SCOPED_TRACE(dest);
    const CliResult result = run(dest);
    EXPECT_FALSE(result.timedOut);
    EXPECT_EQ(result.exitCode, 2);
    EXPECT_EQ(result.out, ReadEntries(1) + "Cannot replace destination file " + dest + "\n");
  }
  EXPECT_TRUE(fs::is_fifo(dir / "pipe.wav"));
  EXPECT_TRUE(fs::is_character_file("/dev/null"));
  EXPECT_EQ(TemporaryFilesIn(dir.path()), std::vector<std::string>{});
}

// Runs wavsplice in dir with standard output a pipe whose reader has gone; returns the signal that
// ended it, or 0.
int SignalWithReaderGone(const std::string& dir) {
  int ends[2] = {-1, -1};
  if (::pipe(ends) != 0) return 0;
  ::close(ends[0]);
  std::vector<std::string> words = ProgramWords(WavspliceBinary());
  std::vector<char*> argv;
  for (std::string& word : words) argv.push_back(word.data());
  argv.push_back(nullptr);
  const pid_t pid = ::fork();
  if (pid == 0) {
    ::signal(SIGPIPE, SIG_DFL);
    if (::chdir(dir.c_str()) != 0 || ::dup2(ends[1], STDOUT_FILENO) < 0) ::_exit(127);
    ::execvp(argv[0], argv.data());
    ::_exit(127);
  }
  ::close(ends[1]);
  int status = 0;
  ::waitpid(pid, &status, 0);
  return WIFSIGNALED(status) ? WTERMSIG(status) : 0;
}

// Everything a run prints and every report file it writes comes before the destination is put in
// place: a failure in any of them keeps the old destination and the old report.
TEST(CliReplace, LateFailuresKeepTheOldDestinationAndReport) {
  TempDir dir;
  WriteFile(dir / "a.wav", CanonicalWav({1, 8000, 16, 1}, {1, 2, 3, 4}));
  WriteTextFile(dir / "task.txt", "src\ta.wav\ndest\tout.wav\n");
  const Bytes old = {9, 9, 9};
  fs::create_directory(dir / "sub");
  const struct {
    const char* label;
    std::vector<std::string> args;
    const char* shellPrefix;
    std::string lastLine;  // empty: standard output itself fails
  } cases[] = {
      {"report to a full device", {"--json", "/dev/full"}, "", "Cannot write to file /dev/full"},
      {"report over a folder", {"--json", "sub"}, "", "Cannot write to file sub"},
      {"report in a missing folder", {"--json", "no/r.json"}, "", "Cannot write to file no/r.json"},
      {"report past the size limit",
       {"--timeline", "r.svg"},
       "ulimit -f 1;",
       "Cannot write to file r.svg"},
      {"standard output full", {}, "exec >/dev/full;", ""},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.label);
    WriteFile(dir / "out.wav", old);
    WriteFile(dir / "r.svg", old);
    const CliResult result = RunCli(dir.path(), c.args, 10, c.shellPrefix);
    EXPECT_EQ(result.exitCode, 2);
    const std::string tail = c.lastLine.empty() ? "" : "\tSample rate 8000\n\n" + c.lastLine + "\n";
    EXPECT_EQ(result.out.substr(result.out.size() - std::min(result.out.size(), tail.size())),
              tail);
    EXPECT_EQ(ReadFile(dir / "out.wav"), old);
    EXPECT_EQ(ReadFile(dir / "r.svg"), old);
    EXPECT_EQ(TemporaryFilesIn(dir.path()), std::vector<std::string>{});
  }
  // Standard output whose reader has gone: the run dies by SIGPIPE, before the commit.
  EXPECT_EQ(SignalWithReaderGone(dir.path()), SIGPIPE);
  EXPECT_EQ(ReadFile(dir / "out.wav"), old);
  EXPECT_EQ(TemporaryFilesIn(dir.path()), std::vector<std::string>{});
}

// The files an interrupted run left for a destination (its staged file and a crossfade's scratch
// file, unlocked and a second old) are noted by a check and removed by the next run; a live run's
// file (locked) and other files are never touched.
TEST(CliReplace, LeftoversOfKilledRunsAreRemovedByTheNextRun) {
  TempDir dir;
  WriteFile(dir / "a.wav", CanonicalWav({1, 8000, 16, 1}, {1, 2, 3, 4}));
  WriteTextFile(dir / "task.txt", "src\ta.wav\ndest\tout.wav\n");
  const std::vector<std::string> stale = {".out.wav.wavsplice-Ab12Cd",
                                          ".out.wav.xfade.wavsplice-x9Y8z7"};
  const std::vector<std::string> kept = {".out.wav.wavsplice-Live00", ".out.wav.wavsplice-short",
                                         ".other.wav.wavsplice-Ab12Cd"};
  for (const std::string& name : stale) WriteFile(dir / name, Bytes(1000, 1));
  for (const std::string& name : kept) WriteFile(dir / name, Bytes(10, 2));
  const std::vector<std::string> all = {stale[0], stale[1], kept[0], kept[1], kept[2]};
  for (const std::string& name : all) {
    const struct timespec times[2] = {{0, UTIME_OMIT}, {::time(nullptr) - 60, 0}};
    ASSERT_EQ(::utimensat(AT_FDCWD, (dir / name).c_str(), times, 0), 0);
  }
  // A parallel run holds its file.
  const int live = ::open((dir / kept[0]).c_str(), O_RDONLY);
  ASSERT_EQ(::flock(live, LOCK_EX), 0);

  const CliResult check = RunCli(dir.path(), {"--check"});
  EXPECT_EQ(check.exitCode, 0);
  for (const std::string& name : stale) {
    EXPECT_NE(check.out.find("task.txt:2: note: an interrupted run left " + name + " (1000 bytes)"),
              std::string::npos)
        << check.out;
  }
  EXPECT_EQ(TemporaryFilesIn(dir.path()).size(), all.size());
  EXPECT_EQ(RunCli(dir.path(), {}).exitCode, 0);
  std::vector<std::string> left = TemporaryFilesIn(dir.path());
  std::sort(left.begin(), left.end());
  std::vector<std::string> expected = kept;
  std::sort(expected.begin(), expected.end());
  EXPECT_EQ(left, expected);
  ::close(live);
}

// A check warns when the destination's disk has less room than the run will write there, and the
// run then fails as the warning says.
TEST(CliReplace, CheckWarnsOfADiskWithoutRoom) {
  TempDir dir;
  const SmallDisk disk(dir / "disk", "64k");
  if (!disk.mounted()) GTEST_SKIP() << "no tmpfs can be mounted here";
  WriteFile(dir / "a.wav", CanonicalWav({1, 8000, 16, 1}, std::vector<int32_t>(80000, 5)));
  WriteTextFile(dir / "task.txt", "src\ta.wav\ndest\tdisk/out.wav\n");
  const CliResult check = RunCli(dir.path(), {"--check"});
  EXPECT_EQ(check.exitCode, 0);
  EXPECT_NE(check.out.find("task.txt:2: warning: the destination's file system has 65536 bytes "
                           "free, but the run writes up to 160256 bytes there"),
            std::string::npos)
      << check.out;
  EXPECT_EQ(RunCli(dir.path(), {}).exitCode, 2);
  EXPECT_EQ(TemporaryFilesIn(dir / "disk"), std::vector<std::string>{});
}

}  // namespace
}  // namespace wavsplice::testing
