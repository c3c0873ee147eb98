// Hostile inputs, end to end: malformed sources, hostile task files and destination faults.
// Whatever the input, the real binary must end by itself with status 0, 1 or 2, put a one-line
// message last when it fails, write nothing to standard error, leave every input byte for byte as
// it was, and change no file at all and leave none behind when it fails.
#include <fcntl.h>
#include <linux/fs.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <nlohmann/json.hpp>
#include <random>
#include <set>
#include <string>
#include <vector>

#include "tests/cli_runner.h"
#include "tests/temp_dir.h"
#include "tests/wav_fixture.h"

namespace wavsplice::testing {
namespace {

namespace fs = std::filesystem;

// What a run must end with, beyond the checks made for every run.
struct Expect {
  int exitCode = -1;     // -1: any of 0, 1 and 2
  std::string lastLine;  // the failure's message, when given
  bool built = false;    // a finished destination ("Built")
};

const Expect kBuilt{0, "", true};

Expect Fails(int exitCode, const std::string& message) { return Expect{exitCode, message, false}; }

std::string LastLine(const std::string& out) {
  if (out.empty() || out.back() != '\n') return std::string();
  const size_t start = out.find_last_of('\n', out.size() - 2);
  return out.substr(start == std::string::npos ? 0 : start + 1, out.size() - 1 - (start + 1));
}

bool Contains(const std::string& text, const std::string& part) {
  return text.find(part) != std::string::npos;
}

// Runs the binary in dir and makes the checks every hostile run must pass. outputs names the files
// a successful run may create or change (the destination); everything else in dir is an input. A
// run that fails changes no file and leaves none behind.
CliResult CheckRun(const TempDir& dir, const Expect& expect,
                   const std::vector<std::string>& args = {}, const std::string& prefix = "",
                   const std::set<std::string>& outputs = {"out.wav"}) {
  const auto before = FolderSnapshot(dir.path());
  const CliResult result = RunCli(dir.path(), args, 30, prefix);
  const auto after = FolderSnapshot(dir.path());

  EXPECT_FALSE(result.timedOut);
  EXPECT_EQ(result.signal, 0);
  EXPECT_TRUE(result.exitCode >= 0 && result.exitCode <= 2) << result.exitCode;
  EXPECT_EQ(result.err, "");
  if (result.exitCode != 0) {
    EXPECT_NE(LastLine(result.out), "") << result.out;
    EXPECT_FALSE(Contains(result.out, "Built\t")) << result.out;
  }
  if (expect.exitCode >= 0) {
    EXPECT_EQ(result.exitCode, expect.exitCode) << result.out;
  }
  if (!expect.lastLine.empty()) {
    EXPECT_EQ(LastLine(result.out), expect.lastLine) << result.out;
  }
  if (expect.built) {
    EXPECT_TRUE(Contains(result.out, "Built\t")) << result.out;
  }

  if (result.exitCode != 0) {
    EXPECT_TRUE(after == before) << "a failed run changed or left files";
    return result;
  }
  for (const auto& [name, content] : before) {
    if (outputs.count(name) != 0) continue;
    const auto now = after.find(name);
    EXPECT_TRUE(now != after.end() && now->second == content) << name << " changed";
  }
  for (const auto& item : after) {
    EXPECT_TRUE(before.count(item.first) == 1 || outputs.count(item.first) == 1)
        << item.first << " left behind";
  }
  return result;
}

std::vector<int32_t> Ramp(int frames, int channels = 1) {
  std::vector<int32_t> values;
  for (int i = 0; i < frames * channels; ++i) values.push_back((i * 389) % 30000 - 15000);
  return values;
}

const WavFormat kMono8k{1, 8000, 16, 1};

Bytes Mono(int frames) { return CanonicalWav(kMono8k, Ramp(frames)); }

Bytes RandomBytes(unsigned seed, size_t size) {
  std::mt19937 random(seed);
  Bytes bytes(size);
  for (unsigned char& byte : bytes) byte = static_cast<unsigned char>(random() & 0xff);
  return bytes;
}

// A fmt chunk of the given fields, then 16 frames' worth of data at the declared frame size.
Bytes WithFormat(int channels, uint32_t sampleRate, int bits, int audioFormat = 1) {
  const WavFormat format{channels, sampleRate, bits, audioFormat};
  const size_t frameBytes = static_cast<size_t>(channels) * static_cast<size_t>(bits / 8);
  return WavBuilder().Fmt(format).Data(Bytes(16 * std::max<size_t>(frameBytes, 1), 0x11)).Build();
}

// A source named bad.wav, run as a plain copy and as a level change with a crossfade, with what
// each must end with.
struct BadSource {
  std::string label;
  Bytes bytes;
  Expect plain;
  Expect processed;
};

int RunBadSource(const BadSource& source) {
  SCOPED_TRACE(source.label);
  int runs = 0;
  for (const bool processed : {false, true}) {
    TempDir dir;
    WriteFile(dir / "bad.wav", source.bytes);
    WriteTextFile(dir / "task.txt",
                  processed ? "using_samples\nsrc\tbad.wav\nxin\t8\nins\t8\nlvl\t-6\nxf\t1\t1\n"
                              "dest\tout.wav\n"
                            : "src\tbad.wav\ndest\tout.wav\n");
    CheckRun(dir, processed ? source.processed : source.plain);
    ++runs;
  }
  return runs;
}

TEST(CliHostile, MalformedSources) {
  const std::string noData =
      "Can't find data block in bad.wav: the audio must start within the first 128 KiB of the file";
  const std::string unsupported = "Unsupported audio format in bad.wav";
  const std::string badSpan = "Edit start/stop set incorrectly for bad.wav";
  const Bytes good = Mono(64);
  std::vector<BadSource> sources;

  sources.push_back({"empty", {}, Fails(2, noData), Fails(2, noData)});
  // Cut inside every field of the header: without a whole "data" tag there is no audio; cut after
  // it (the size field too), there are no frames.
  for (size_t length = 1; length <= 44; ++length) {
    const Expect expect = length < 40 ? Fails(2, noData) : Fails(1, badSpan);
    sources.push_back({"cut at " + std::to_string(length),
                       Bytes(good.begin(), good.begin() + static_cast<long>(length)), expect,
                       expect});
  }

  sources.push_back(
      {"channels 0", WithFormat(0, 8000, 16), Fails(1, unsupported), Fails(1, unsupported)});
  const WavFormat wide{65535, 8000, 16, 1};
  sources.push_back({"channels 65535",
                     WavBuilder().Fmt(wide).Data(Bytes(2 * 65535 * 2, 0x22)).Build(),
                     Fails(1, unsupported), Fails(1, unsupported)});
  sources.push_back(
      {"bits 0", WithFormat(1, 8000, 0), Fails(1, unsupported), Fails(1, unsupported)});
  sources.push_back(
      {"bits 4", WithFormat(1, 8000, 4), Fails(1, unsupported), Fails(1, unsupported)});
  sources.push_back(
      {"bits 65535", WithFormat(1, 8000, 65535), Fails(1, unsupported), Fails(1, unsupported)});
  sources.push_back({"rate 0", WithFormat(1, 0, 16), Fails(1, unsupported), Fails(1, unsupported)});
  sources.push_back({"rate 0xFFFFFFFF", WithFormat(1, 0xFFFFFFFF, 16), Fails(1, unsupported),
                     Fails(1, unsupported)});
  sources.push_back({"rate 0x7FFFFFFF", WithFormat(1, 0x7FFFFFFF, 16), kBuilt, kBuilt});

  for (const int format : {0, 2, 3, 6, 7, 0x55}) {
    sources.push_back({"format " + std::to_string(format), WithFormat(1, 8000, 16, format),
                       Fails(1, unsupported), Fails(1, unsupported)});
  }
  sources.push_back({"extensible float",
                     WavBuilder().FmtExtensible(kMono8k, 3).Data(Bytes(64, 1)).Build(),
                     Fails(1, unsupported), Fails(1, unsupported)});
  sources.push_back(
      {"extensible PCM",
       WavBuilder().FmtExtensible(kMono8k, 1).Data(EncodeSamples(Ramp(64), 16)).Build(), kBuilt,
       kBuilt});

  const Bytes audio = EncodeSamples(Ramp(64), 16);
  const Bytes fmtPayload(good.begin() + 20, good.begin() + 36);
  for (const uint32_t size : {0u, 0xFFFFFFFFu, 1000000u}) {
    const std::string value = std::to_string(size);
    sources.push_back({"RIFF size " + value,
                       WavBuilder().RiffSize(size).Fmt(kMono8k).Data(audio).Build(), kBuilt,
                       kBuilt});
    sources.push_back({"fmt size " + value,
                       WavBuilder().ChunkWithSize("fmt ", size, fmtPayload).Data(audio).Build(),
                       kBuilt, kBuilt});
    sources.push_back({"data size " + value,
                       WavBuilder().Fmt(kMono8k).DataWithSize(size, audio).Build(), kBuilt,
                       kBuilt});
  }

  const Bytes odd = {'x', 'y', 'z'};
  sources.push_back({"odd chunk, padded",
                     WavBuilder().Fmt(kMono8k).Chunk("odd ", odd, true).Data(audio).Build(), kBuilt,
                     kBuilt});
  sources.push_back({"odd chunk, no pad byte",
                     WavBuilder().Fmt(kMono8k).Chunk("odd ", odd, false).Data(audio).Build(),
                     Fails(2, noData), Fails(2, noData)});

  // The fmt chunk ends at 36, the filler chunk's payload at 44 + its size.
  sources.push_back(
      {"data tag at 131072",
       WavBuilder().Fmt(kMono8k).Chunk("junk", Bytes(131072 - 44, 0)).Data(audio).Build(), kBuilt,
       kBuilt});
  sources.push_back(
      {"data tag at 131074",
       WavBuilder().Fmt(kMono8k).Chunk("junk", Bytes(131074 - 44, 0)).Data(audio).Build(),
       Fails(2, noData), Fails(2, noData)});

  // The same for the fmt tag, after a data chunk at 12 that declares its size: at 131074 it is
  // missed, and the fields are read at 131072.
  sources.push_back({"fmt tag at 131072",
                     WavBuilder()
                         .Data(audio)
                         .Chunk("junk", Bytes(131072 - 28 - audio.size(), 0))
                         .Fmt(kMono8k)
                         .Build(),
                     kBuilt, kBuilt});
  sources.push_back({"fmt tag at 131074",
                     WavBuilder()
                         .Data(audio)
                         .Chunk("junk", Bytes(131074 - 28 - audio.size(), 0))
                         .Fmt(kMono8k)
                         .Build(),
                     Expect{}, Expect{}});

  for (unsigned seed = 1; seed <= 6; ++seed) {
    const Bytes noise = RandomBytes(seed, seed * 997);
    sources.push_back({"random bytes " + std::to_string(seed), noise, Expect{}, Expect{}});
    Bytes afterHeader(good.begin(), good.begin() + 44);
    afterHeader.insert(afterHeader.end(), noise.begin(), noise.end());
    sources.push_back({"random audio " + std::to_string(seed), afterHeader, kBuilt, kBuilt});
  }

  int runs = 0;
  for (const BadSource& source : sources) runs += RunBadSource(source);

  // Sources that are no regular file, or none at all.
  for (const std::string& path : {std::string("folder.wav"), std::string("/dev/null"),
                                  std::string("fifo.wav"), std::string("missing.wav")}) {
    SCOPED_TRACE(path);
    TempDir dir;
    fs::create_directory(dir / "folder.wav");
    ASSERT_EQ(::mkfifo((dir / "fifo.wav").c_str(), 0600), 0);
    WriteTextFile(dir / "task.txt", "src\t" + path + "\ndest\tout.wav\n");
    CheckRun(dir, Fails(2, "Cannot find file in track list called " + path + "!!"));
    ++runs;
  }
  std::printf("[ hostile  ] %d runs on malformed sources\n", runs);
}

// A task file next to a one-second 16-bit mono source a.wav at 8 kHz.
CliResult RunTask(const std::string& task, const Expect& expect,
                  const std::vector<std::string>& args = {}) {
  TempDir dir;
  WriteFile(dir / "a.wav", Mono(8000));
  WriteTextFile(dir / "task.txt", task);
  return CheckRun(dir, expect, args);
}

TEST(CliHostile, HostileTaskFiles) {
  int runs = 0;
  const auto run = [&runs](const std::string& task, const Expect& expect) {
    ++runs;
    return RunTask(task, expect);
  };
  const std::string dest = "dest\tout.wav\n";

  for (unsigned seed = 1; seed <= 4; ++seed) {
    SCOPED_TRACE(seed);
    const Bytes garbage = RandomBytes(100 + seed, 4096 * seed);
    run(std::string(garbage.begin(), garbage.end()), Expect{});
  }
  run("src\ta.wav\n" + std::string(1, '\0') + dest,
      Fails(1, "No destination file given in task file"));
  run(std::string(1, '\0') + "src\ta.wav\n" + dest,
      Fails(1, "No source tracks found in task file"));

  // Megabytes of text: words that are no command, and one path of 2 MB.
  std::string filler;
  while (filler.size() < (3 << 20)) filler += "filler\tword\n";
  run(filler + "src\ta.wav\n" + dest, kBuilt);
  const std::string longPath(2 << 20, 'p');
  run("src\t" + longPath + "\n" + dest,
      Fails(2, "Cannot find file in track list called " + longPath + "!!"));

  // Thousands of entries.
  std::string entries = "using_samples\n";
  for (int i = 0; i < 512; ++i) entries += "src\ta.wav\nxout\t10\n";
  EXPECT_TRUE(Contains(run(entries + dest, kBuilt).out, "\tLength 5120 samples\n"));
  run(entries + "src\ta.wav\n" + dest, Fails(1, "Too many source tracks, at most 512 are allowed"));
  for (int i = 0; i < 4488; ++i) entries += "src\ta.wav\n";
  run(entries + dest, Fails(1, "Too many source tracks, at most 512 are allowed"));

  // Value commands before any src (xf there is the default crossfade), and with their value missing
  // at the end.
  for (const std::string command : {"xin", "xout", "ins", "trim", "lvl", "xf", "fin", "fout"}) {
    SCOPED_TRACE(command);
    if (command != "xf") {
      run(command + "\t1\t1\nsrc\ta.wav\n" + dest,
          Fails(1, "Command " + command + " comes before any src command"));
    }
    run("src\ta.wav\n" + dest + command,
        Fails(1, "Value missing after " + command + " at end of task file"));
  }
  run("src\ta.wav\n" + dest + "xf\t100", Fails(1, "Value missing after xf at end of task file"));
  run("src\ta.wav\n" + dest + "src", Fails(1, "Source track 2 appears to be too short or missing"));
  run("src\ta.wav\ndest", Fails(1, "Your destination name appears to be too short or missing"));

  // Values beyond reason for every numeric command, in both modes.
  const Expect badSpan = Fails(1, "Edit start/stop set incorrectly for a.wav");
  const Expect badInsert = Fails(1, "Insert point set incorrectly for a.wav");
  struct Hostile {
    std::string command;
    std::string value;
    Expect seconds;
    Expect samples;
  };
  std::vector<Hostile> values;
  for (const std::string value : {"nan", "inf", "-inf", "1e300", "-1"}) {
    // 1e300 leaves the 64-bit range of sample counts, like the others.
    values.push_back({"xin", value, badSpan, badSpan});
    values.push_back({"xout", value, badSpan, badSpan});
    values.push_back({"trim", value, badSpan, value == "-1" ? kBuilt : badSpan});
    values.push_back({"ins", value, badInsert, badInsert});
    values.push_back({"lvl", value, kBuilt, kBuilt});
    values.push_back({"xf width", value, kBuilt, kBuilt});
    values.push_back({"xf type", value, kBuilt, kBuilt});
  }
  for (const Hostile& hostile : values) {
    for (const bool sampleMode : {false, true}) {
      SCOPED_TRACE(hostile.command + " " + hostile.value + (sampleMode ? " samples" : " seconds"));
      const std::string mode = sampleMode ? "using_samples\n" : "";
      // Crossfades get a splice with audio on both sides: 4000 frames in.
      const std::string splice = sampleMode ? "src\ta.wav\nxout\t4000\nsrc\ta.wav\nxin\t4000\n"
                                            : "src\ta.wav\nxout\t0.5\nsrc\ta.wav\nxin\t0.5\n";
      std::string task;
      if (hostile.command == "xf width") {
        task = mode + splice + "xf\t" + hostile.value + "\t1\n";
      } else if (hostile.command == "xf type") {
        task = mode + splice + "xf\t100\t" + hostile.value + "\n";
      } else {
        task = mode + "src\ta.wav\n" + hostile.command + "\t" + hostile.value + "\n";
      }
      const CliResult result = run(task + dest, sampleMode ? hostile.samples : hostile.seconds);
      if (hostile.command == "xf type" && hostile.value == "-1") {
        EXPECT_TRUE(Contains(result.out, "Crossfade-type (parameter 2) is invalid\n"));
      }
    }
  }

  // An entry appended after an enormous stop lands beyond any file offset.
  run("src\ta.wav\nxout\t6e14\nsrc\ta.wav\n" + dest, badInsert);
  run("using_samples\nsrc\ta.wav\nxout\t9e18\nsrc\ta.wav\n" + dest, badInsert);
  run("using_samples\nsrc\ta.wav\nxout\t5e18\nsrc\ta.wav\n" + dest, badInsert);

  // Crossfade widths and types out of range: the edit is still copied.
  for (const std::string width : {"0", "-5", "1e-30", "3.4e38", "1e39", "40000000", "0x7fffffff"}) {
    SCOPED_TRACE(width);
    run("src\ta.wav\nxout\t0.5\nsrc\ta.wav\nxin\t0.5\nxf\t" + width + "\t2\n" + dest, kBuilt);
  }
  for (const std::string type : {"5", "-1", "99999999999999999999", "-99999999999999999999"}) {
    SCOPED_TRACE(type);
    const CliResult result =
        run("src\ta.wav\nxout\t0.5\nsrc\ta.wav\nxin\t0.5\nxf\t10\t" + type + "\n" + dest, kBuilt);
    EXPECT_TRUE(Contains(result.out, "Crossfade-type (parameter 2) is invalid\n"));
  }

  // A task path that is no regular file.
  for (const std::string path : {"folder.txt", "/dev/null", "fifo.txt", "missing.txt"}) {
    SCOPED_TRACE(path);
    TempDir dir;
    fs::create_directory(dir / "folder.txt");
    ASSERT_EQ(::mkfifo((dir / "fifo.txt").c_str(), 0600), 0);
    CheckRun(dir, Fails(1, "Cannot find file " + path + " that holds your instructions"), {path});
    ++runs;
  }
  std::printf("[ hostile  ] %d runs on hostile task files\n", runs);
}

// Nulls anywhere within a JSON value.
int NullsIn(const nlohmann::json& value) {
  int nulls = value.is_null() ? 1 : 0;
  if (value.is_structured()) {
    for (const auto& item : value) nulls += NullsIn(item);
  }
  return nulls;
}

// Plans at the edge of the numbers, checked with both report files: a destination of nearly 2^63
// frames (8-bit mono allows 2^63 - 131081) or past 10^15, characters XML forbids, a stop and a trim
// that add up to 2^63 in a double, values JSON has no number for. The picture must parse as XML and
// stay small, and the JSON must hold no null in its edits.
TEST(CliHostile, PlansAtTheEdgeOfTheNumbers) {
  const std::string fffe = "\xEF\xBF\xBE";
  const std::string ffff = "\xEF\xBF\xBF";
  struct Plan {
    std::string label;
    std::string task;
    Expect expect;
  };
  const std::string dest = "dest\tout.wav\n";
  const Expect checked{0, "", false};
  const Plan plans[] = {
      {"2^63 frames", "using_samples\nsrc\tu8.wav\nins\t9223372036854643712\n" + dest, checked},
      {"2^53 s at 8 kHz", "src\tu8.wav\nins\t1125899906842\n" + dest, checked},
      {"2e15 frames", "using_samples\nsrc\ta.wav\nins\t2000000000000000\n" + dest, checked},
      {"U+FFFE, U+FFFF",
       "src\tb" + fffe + ".wav\n" + fffe + "\t1\nlvl\t-3\ndest\tout" + ffff + ".wav\n", checked},
      {"stop and trim at 2^63",
       "using_samples\nsrc\ta.wav\nxout\t9223372036854773760\ntrim\t1600\n" + dest, checked},
      {"infinite level and width",
       "src\ta.wav\nxout\t0.5\nlvl\t-inf\nsrc\ta.wav\nxin\t0.5\nxf\tinf\t1\n" + dest, checked},
      {"stop past the double range", "src\ta.wav\nxout\t1e400\n" + dest,
       Fails(1, "Edit start/stop set incorrectly for a.wav")},
  };
  // The report files go outside the run's folder, which a failed run must leave as it was.
  TempDir reports;
  std::string pictures;
  int number = 0;
  for (const Plan& plan : plans) {
    SCOPED_TRACE(plan.label);
    TempDir dir;
    WriteFile(dir / "a.wav", Mono(8000));
    WriteFile(dir / ("b" + fffe + ".wav"), Mono(8000));
    WriteFile(dir / "u8.wav", CanonicalWav(WavFormat{1, 8000, 8, 1}, {-100, 0, 50, 100}));
    WriteTextFile(dir / "task.txt", plan.task);
    const std::string json = reports / "plan.json";
    const std::string svg = reports / (std::to_string(++number) + ".svg");
    CheckRun(dir, plan.expect, {"--check", "--json", json, "--timeline", svg, "task.txt"});
    const nlohmann::json report = nlohmann::json::parse(ReadFile(json));
    EXPECT_EQ(NullsIn(report["edits"]), 0) << report.dump();
    if (plan.expect.exitCode != 0) continue;
    EXPECT_LT(fs::file_size(svg), 16384u);
    pictures += " '" + svg + "'";
  }
  // One interpreter for all the pictures: each must parse as SVG.
  EXPECT_EQ(std::system(("python3 -c 'import sys, xml.etree.ElementTree as E; "
                         "sys.exit(any(E.parse(f).getroot().tag != "
                         "\"{http://www.w3.org/2000/svg}svg\" for f in sys.argv[1:]))'" +
                         pictures)
                            .c_str()),
            0);
}

// Sets the immutable flag of a file for the guard's life: the one way to make a file read-only for
// root, who passes every permission check.
class Immutable {
 public:
  explicit Immutable(const std::string& path) : fd_(::open(path.c_str(), O_RDONLY)) {
    if (fd_ >= 0 && ::ioctl(fd_, FS_IOC_GETFLAGS, &flags_) == 0) {
      int immutable = flags_ | FS_IMMUTABLE_FL;
      set_ = ::ioctl(fd_, FS_IOC_SETFLAGS, &immutable) == 0;
    }
  }
  ~Immutable() {
    if (set_) ::ioctl(fd_, FS_IOC_SETFLAGS, &flags_);
    if (fd_ >= 0) ::close(fd_);
  }
  Immutable(const Immutable&) = delete;
  Immutable& operator=(const Immutable&) = delete;
  bool set() const { return set_; }

 private:
  int fd_;
  int flags_ = 0;
  bool set_ = false;
};

TEST(CliHostile, DestinationFaults) {
  int runs = 0;
  const std::string task = "src\ta.wav\nlvl\t-3\n";
  const auto setUp = [&task](const TempDir& dir, const std::string& dest) {
    WriteFile(dir / "a.wav", Mono(8000));
    WriteTextFile(dir / "task.txt", task + "dest\t" + dest + "\n");
  };

  // The destination naming an input by another spelling.
  for (const std::string input : {"a.wav", "task.txt"}) {
    TempDir dir;
    setUp(dir, "out.wav");
    fs::create_directory(dir / "sub");
    fs::create_symlink(input, dir / "link");
    fs::create_hard_link(dir / input, dir / "hard");
    for (const std::string& dest :
         {"./" + input, dir / input, "sub/../" + input, std::string("link"), std::string("hard")}) {
      SCOPED_TRACE(dest);
      setUp(dir, dest);
      CheckRun(dir, Fails(1, "Destination file " + dest + " is also an input file"));
      ++runs;
    }
  }

  // A destination that cannot be created.
  for (const std::string dest : {"missing/out.wav", "folder.wav"}) {
    SCOPED_TRACE(dest);
    TempDir dir;
    fs::create_directory(dir / "folder.wav");
    setUp(dir, dest);
    CheckRun(dir, Fails(2, std::string(dest == "folder.wav" ? "Cannot replace" : "Cannot create") +
                               " destination file " + dest));
    ++runs;
  }
  {
    // A named pipe would block the run on opening it.
    TempDir dir;
    setUp(dir, "pipe.wav");
    ASSERT_EQ(::mkfifo((dir / "pipe.wav").c_str(), 0600), 0);
    CheckRun(dir, Fails(2, "Cannot replace destination file pipe.wav"));
    ++runs;
  }
  {
    TempDir dir;
    setUp(dir, "readonly.wav");
    WriteFile(dir / "readonly.wav", Mono(4));
    ::chmod((dir / "readonly.wav").c_str(), 0444);
    const Immutable immutable(dir / "readonly.wav");
    if (::geteuid() != 0 || immutable.set()) {
      CheckRun(dir, Fails(2, "Cannot replace destination file readonly.wav"));
      ++runs;
    }
  }

  // A full disk: a file size limit (the program, not the shell, turns its signal into a failed
  // write).
  const std::string smallDisk = "ulimit -f 16;";
  for (const std::string full :
       {"src\ta.wav\nlvl\t-3\n", "src\ta.wav\nxout\t0.5\nsrc\ta.wav\nxin\t0.5\nxf\t100\t1\n",
        "using_samples\nsrc\ta.wav\nxout\t1e9\nsrc\ta.wav\n"}) {
    SCOPED_TRACE(full);
    TempDir dir;
    WriteFile(dir / "a.wav", Mono(8000));
    WriteTextFile(dir / "task.txt", full + "dest\tout.wav\n");
    CheckRun(dir, Fails(2, "Cannot write to file out.wav"), {}, smallDisk);
    ++runs;
  }
  {
    TempDir dir;
    // A device is never replaced by a file.
    setUp(dir, "/dev/full");
    CheckRun(dir, Fails(2, "Cannot replace destination file /dev/full"));
    ++runs;
  }

  // "xfade_temp.wav" is a name like any other, with and without a crossfade, also as a pipe lying
  // in the folder.
  const std::string crossfade = "xf\t10\t1\n";
  const std::vector<std::string> tempCases = {
      "src\txfade_temp.wav\n" + crossfade + "dest\tout.wav\n",
      "src\ta.wav\n" + crossfade + "dest\txfade_temp.wav\n",
      "src\txfade_temp.wav\ndest\tout.wav\n",
      "src\ta.wav\ndest\txfade_temp.wav\n",
  };
  {
    TempDir dir;
    WriteFile(dir / "a.wav", Mono(8000));
    ASSERT_EQ(::mkfifo((dir / "xfade_temp.wav").c_str(), 0600), 0);
    WriteTextFile(dir / "task.txt",
                  "src\ta.wav\nxout\t0.5\nsrc\ta.wav\nxin\t0.5\n" + crossfade + "dest\tout.wav\n");
    const CliResult result = CheckRun(dir, kBuilt);
    EXPECT_FALSE(Contains(result.out, "Could not generate crossfade")) << result.out;
    ++runs;
  }
  for (const std::string& text : tempCases) {
    SCOPED_TRACE(text);
    TempDir dir;
    WriteFile(dir / "a.wav", Mono(8000));
    WriteFile(dir / "xfade_temp.wav", Mono(800));
    WriteTextFile(dir / "task.txt", text);
    const bool tempIsOutput = Contains(text, "dest\txfade_temp.wav");
    CheckRun(dir, kBuilt, {}, "", {tempIsOutput ? "xfade_temp.wav" : "out.wav"});
    ++runs;
  }
  std::printf("[ hostile  ] %d runs on destination faults\n", runs);
}

// Crossfades that reach past the end of the audio, on either side. The destination ends where its
// header says (one of 44 bytes, 16-bit mono); the source side reads silence past a source's audio,
// whatever chunk follows it, so that a crossfade of two quiet files stays quiet.
TEST(CliHostile, CrossfadesPastTheEndOfTheAudio) {
  const std::string infoText("INFOISFT\x08\0\0\0waveedit", 20);
  const Bytes info(infoText.begin(), infoText.end());
  const Bytes quiet = EncodeSamples(std::vector<int32_t>(8000, 100), 16);
  Bytes ds64(28, 0);
  ds64[8] = static_cast<unsigned char>(quiet.size() & 0xff);
  ds64[9] = static_cast<unsigned char>(quiet.size() >> 8);
  const struct {
    std::string label;
    Bytes sting;  // sting.wav beside a one-second a.wav and a two-second bed.wav at 100
    std::string task;
    std::string checkWarning;  // part of a warning --check gives
  } cases[] = {
      {"the last edit shorter than half its crossfade",
       {},
       "src\ta.wav\nsrc\ta.wav\nxin\t0.5\nxout\t0.55\nins\t1\nxf\t200\t1\n",
       "the crossfade of task 2 is cut short"},
      {"a sting with a LIST chunk after its audio",
       WavBuilder().Fmt(kMono8k).Data(quiet).Chunk("LIST", info).Build(),
       "src\tbed.wav\nsrc\tsting.wav\nxin\t0.95\nins\t1\nxf\t200\t1\n", ""},
      {"an RF64 sting with its size in ds64 and an id3 chunk after",
       WavBuilder()
           .RiffId("RF64")
           .Chunk("ds64", ds64)
           .Fmt(kMono8k)
           .DataWithSize(0xFFFFFFFFu, quiet)
           .Chunk("id3 ", {'I', 'D', '3', 4, 0, 0, 0xFF, 0xFF, 0x7F, 0x7F})
           .Build(),
       "src\tbed.wav\nsrc\tsting.wav\nxin\t0.95\nins\t1\nxf\t200\t4\n", ""},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.label);
    TempDir dir;
    WriteFile(dir / "a.wav", Mono(8000));
    WriteFile(dir / "bed.wav", CanonicalWav(kMono8k, std::vector<int32_t>(16000, 100)));
    if (!c.sting.empty()) WriteFile(dir / "sting.wav", c.sting);
    WriteTextFile(dir / "task.txt", c.task + "dest\tout.wav\n");
    const CliResult check = CheckRun(dir, Expect{0, "", false}, {"--check"});
    EXPECT_TRUE(c.checkWarning.empty() || Contains(check.out, c.checkWarning)) << check.out;
    CheckRun(dir, kBuilt);
    const Bytes out = ReadFile(dir / "out.wav");
    if (out.size() < 44) {
      ADD_FAILURE() << "no destination";
      continue;
    }
    const Bytes dataSize(out.begin() + 40, out.begin() + 44);
    EXPECT_EQ(out.size() - 44, static_cast<size_t>(DecodeSamples(dataSize, 32)[0]));
    if (c.sting.empty()) continue;
    int32_t loudest = 0;
    for (const int32_t value : DecodeSamples(AudioOf(out), 16)) {
      loudest = std::max(loudest, std::abs(value));
    }
    EXPECT_LE(loudest, 150);
  }
}

}  // namespace
}  // namespace wavsplice::testing

namespace wavsplice::testing {
namespace {

// Sources whose markers are malformed: a run that asks for markers keeps only the joins, notes why
// in its check, and reads nothing past a chunk.
TEST(CliHostile, MalformedMarkersAreIgnoredWithANote) {
  const Bytes audio = EncodeSamples(std::vector<int32_t>(8000, 100), 16);
  const std::vector<FixtureMarker> one = {{4000, "mid", 0}};
  Bytes tooMany = CuePayload(one);
  tooMany[0] = 0xFF;  // 255 points in a chunk of one
  Bytes unended = AdtlPayload(one);
  unended[unended.size() - 1] = 'x';  // "mid" + "x": the pad byte and no zero
  unended[unended.size() - 2] = 'y';
  Bytes stray = AdtlPayload(one);
  stray[12] = 9;  // the label names cue point 9
  const struct {
    const char* label;
    Bytes cue;
    Bytes adtl;
    std::string note;
  } cases[] = {
      {"a count larger than the chunk", tooMany, AdtlPayload(one),
       "the markers of a.wav are ignored: its cue chunk counts more points than it holds"},
      {"text without its terminating zero", CuePayload(one), unended,
       "the marker names of a.wav are ignored: a label's text lacks its terminating zero"},
      {"a label pointing at no cue", CuePayload(one), stray,
       "the marker names of a.wav are ignored: its adtl list names a cue point it does not have"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.label);
    TempDir dir;
    WriteFile(dir / "a.wav", WavBuilder()
                                 .Fmt({1, 8000, 16})
                                 .Data(audio)
                                 .Chunk("cue ", c.cue)
                                 .Chunk("LIST", c.adtl)
                                 .Build());
    WriteTextFile(dir / "task.txt", "markers\nsrc\ta.wav\ndest\tout.wav\n");
    const CliResult check = RunCli(dir.path(), {"--check"});
    EXPECT_EQ(check.exitCode, 0);
    EXPECT_NE(check.out.find("task.txt:2: note: " + c.note + "\n"), std::string::npos) << check.out;
    const CliResult run = RunCli(dir.path(), {});
    EXPECT_EQ(run.exitCode, 0) << run.out;
    const Bytes out = ReadFile(dir / "out.wav");
    const std::string text(out.begin(), out.end());
    const size_t cue = text.find("cue ");
    ASSERT_NE(cue, std::string::npos);
    // The join, and the source's point only when its table was good.
    const unsigned expected = c.cue == tooMany ? 1 : 2;
    EXPECT_EQ(out[cue + 8], expected);
    EXPECT_EQ(text.find("mid") != std::string::npos, false);
  }
}

}  // namespace
}  // namespace wavsplice::testing
