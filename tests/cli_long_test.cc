// Long recordings end to end: sources and destinations of gigabytes, past 2^31 frames and past 4
// GiB, made as sparse files so that each test costs the disk only a few kilobytes. The file system
// supplies the silence.
#include <gtest/gtest.h>

#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

#include "tests/cli_expected.h"
#include "tests/cli_runner.h"
#include "tests/temp_dir.h"
#include "tests/wav_fixture.h"

namespace wavsplice::testing {
namespace {

const WavFormat kMono8k{1, 8000, 16};
constexpr int64_t kFiveGiB = int64_t{5} << 30;

// Distinct sample values, so that a span out of place shows.
std::vector<int32_t> Ramp(int count, int32_t first) {
  std::vector<int32_t> values;
  for (int i = 0; i < count; ++i) values.push_back(first + 7 * i);
  return values;
}

// A destination whose silence the file system supplies needs free space for it twice over (the
// program's own rule); without it the program writes the zeros, which no test should.
bool RoomFor(const TempDir& dir, int64_t bytes) {
  std::error_code error;
  const auto space = std::filesystem::space(dir.path(), error);
  return !error && space.available > 2 * static_cast<uint64_t>(bytes) + (256u << 20);
}

// The first line a shell command prints, or "" when it cannot run.
std::string FirstLine(const std::string& command) {
  std::FILE* pipe = ::popen((command + " 2>/dev/null").c_str(), "r");
  if (pipe == nullptr) return "";
  char line[512] = {};
  const bool got = std::fgets(line, sizeof line, pipe) != nullptr;
  ::pclose(pipe);
  std::string text = got ? line : "";
  if (!text.empty() && text.back() == '\n') text.pop_back();
  return text;
}

// 5 GiB of 16-bit mono audio (2684354560 frames), sparse: a ramp at frame 2147496000 (2^31 + 12352;
// byte 4 GiB + 24704 of the audio) and another in the last 560 frames. As RIFF whose data size is
// 0xFFFFFFFF, read to the end of the file, and as RF64 with its size in ds64 and a chunk after the
// audio that must not be read as audio.
TEST(CliLong, SpansFromBeyond4GiBOfA5GiBSource) {
  const int64_t far = 2147496000;
  const int64_t tail = kFiveGiB / 2 - 560;
  const std::vector<int32_t> farRamp = Ramp(1000, -3000);
  const std::vector<int32_t> tailRamp = Ramp(560, 100);
  struct Layout {
    const char* what;
    std::string riffId;
    bool ds64;
  };
  const Layout layouts[] = {{"RIFF, to the end of the file", "RIFF", false},
                            {"RF64, to where ds64 says", "RF64", true}};
  const std::string sampleTask =
      "using_samples\nsrc\tbig.wav\nxin\t2147496000\nxout\t2147497000\nins\t0\n"
      "src\tbig.wav\nxin\t2684354000\n";
  // The same spans in seconds: 268437 and 335544.25 s, exact in binary.
  const std::string secondsTask =
      "src\tbig.wav\nxin\t268437\nxout\t268437.125\nins\t0\nsrc\tbig.wav\nxin\t335544.25\n";
  const std::string sampleReport =
      kSampleMode + ReadEntries(2) + SampleBlock(1, 0, "big.wav", far, 1000) +
      SampleBlock(2, 1000, "big.wav", tail, 560) + SampleBuilt("out.wav", 1560, 16, 1, 8000);
  const std::string secondsReport =
      ReadEntries(2) +
      "Task 1\tInsert point 0.000 sec\n\tFile big.wav\n\tRead start 268437.000 sec\n"
      "\tRead length 0.125 sec\n\tLevel 0.000 dB\n\tDone\n\n"
      "Task 2\tInsert point 0.125 sec\n\tFile big.wav\n\tRead start 335544.250 sec\n"
      "\tRead length 0.070 sec\n\tLevel 0.000 dB\n\tDone\n\n"
      "Built\tout.wav\n\tLength 0.195 sec\n\tBits 16\n\tChannels 1\n\tSample rate 8000\n\n";
  std::vector<int32_t> expected = farRamp;
  expected.insert(expected.end(), tailRamp.begin(), tailRamp.end());

  for (const Layout& layout : layouts) {
    SCOPED_TRACE(layout.what);
    TempDir dir;
    WavBuilder builder;
    builder.RiffId(layout.riffId).RiffSize(0xFFFFFFFFu);
    if (layout.ds64) {
      Bytes ds64(28, 0);
      for (int i = 0; i < 8; ++i) ds64[8 + static_cast<size_t>(i)] = (kFiveGiB >> (8 * i)) & 0xff;
      builder.Chunk("ds64", ds64);
    }
    const Bytes header = builder.Fmt(kMono8k).DataWithSize(0xFFFFFFFFu, {}).Build();
    const int64_t audioAt = static_cast<int64_t>(header.size());
    std::vector<Piece> pieces = {{0, header},
                                 {audioAt + 2 * far, EncodeSamples(farRamp, 16)},
                                 {audioAt + 2 * tail, EncodeSamples(tailRamp, 16)}};
    int64_t size = audioAt + kFiveGiB;
    if (layout.ds64) {
      const Bytes trailer = WavBuilder().Chunk("LIST", Bytes(24, 0x7F)).Build();
      pieces.push_back({size, Bytes(trailer.begin() + 12, trailer.end())});
      size += static_cast<int64_t>(trailer.size()) - 12;
    }
    WriteSparseFile(dir / "big.wav", size, pieces);

    for (const bool sampleMode : {true, false}) {
      WriteTextFile(dir / "task.txt", (sampleMode ? sampleTask : secondsTask) + "dest\tout.wav\n");
      ExpectOutcome(RunCli(dir.path(), {}), sampleMode ? sampleReport : secondsReport, 0);
      EXPECT_EQ(ReadFile(dir / "out.wav"), CanonicalWav(kMono8k, expected));
    }
  }
}

// Destinations either side of 4 GiB: 44 + 4294967250 bytes keep the canonical header; 2^31 + 1000
// frames (4 GiB + 2000 bytes of audio) are written as RF64. Three spans lie at the start, in the
// middle and at the end; FFmpeg and libsndfile read the length back. (SoX reads them too, but reads
// every byte to learn the length: a minute and more.)
TEST(CliLong, DestinationsEitherSideOf4GiB) {
  const std::vector<int32_t> ramp = Ramp(1000, 5);
  struct Case {
    int64_t frames;
    int64_t headerBytes;
  };
  const Case cases[] = {{2147483625, 44}, {2147484648, 80}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.frames);
    TempDir dir;
    if (!RoomFor(dir, 2 * c.frames)) GTEST_SKIP() << "not enough free disk for a sparse 4 GiB file";
    WriteFile(dir / "a.wav", CanonicalWav(kMono8k, ramp));
    const int64_t last = c.frames - 1000;
    WriteTextFile(dir / "task.txt",
                  "using_samples\nsrc\ta.wav\nsrc\ta.wav\nins\t1000000000\n"
                  "src\ta.wav\nins\t" +
                      std::to_string(last) + "\ndest\tout.wav\n");
    ExpectOutcome(RunCli(dir.path(), {}),
                  kSampleMode + ReadEntries(3) + SampleBlock(1, 0, "a.wav", 0, 1000) +
                      SampleBlock(2, 1000000000, "a.wav", 0, 1000) +
                      SampleBlock(3, last, "a.wav", 0, 1000) +
                      SampleBuilt("out.wav", c.frames, 16, 1, 8000),
                  0);
    const std::string out = dir / "out.wav";
    const int64_t dataBytes = 2 * c.frames;
    ASSERT_EQ(static_cast<int64_t>(std::filesystem::file_size(out)), c.headerBytes + dataBytes);
    const Bytes header = ReadFileAt(out, 0, static_cast<size_t>(c.headerBytes));
    if (c.headerBytes == 44) {
      EXPECT_EQ(header, ExpectedHeader(8000, 16, 1, static_cast<int32_t>(c.frames)));
    } else {
      // The sizes in ds64; the rest is checked field by field in the unit tests.
      Bytes ds64Sizes;
      for (const uint64_t value :
           {static_cast<uint64_t>(80 + dataBytes - 8), static_cast<uint64_t>(dataBytes),
            static_cast<uint64_t>(c.frames)}) {
        for (int i = 0; i < 8; ++i) ds64Sizes.push_back((value >> (8 * i)) & 0xff);
      }
      EXPECT_EQ(std::string(header.begin(), header.begin() + 4), "RF64");
      EXPECT_EQ(Bytes(header.begin() + 20, header.begin() + 44), ds64Sizes);
    }
    const Bytes rampBytes = EncodeSamples(ramp, 16);
    for (const int64_t at : {int64_t{0}, int64_t{1000000000}, last}) {
      EXPECT_EQ(ReadFileAt(out, c.headerBytes + 2 * at, rampBytes.size()), rampBytes) << at;
    }
    EXPECT_EQ(ReadFileAt(out, c.headerBytes + int64_t{3000000000}, 8), Bytes(8, 0));

    const std::string frames = std::to_string(c.frames);
    const std::string ffprobe =
        FirstLine("ffprobe -v error -show_entries stream=duration_ts -of csv=p=0 '" + out + "'");
    const std::string sndfile =
        FirstLine("sndfile-info '" + out + "' | grep '^Frames *:' | tr -s ' '");
    if (ffprobe.empty() || sndfile.empty()) {
      std::printf("[ readers  ] ffprobe or sndfile-info missing: lengths not read back\n");
      continue;
    }
    EXPECT_EQ(ffprobe, frames);
    EXPECT_EQ(sndfile, "Frames : " + frames);
  }
}

}  // namespace
}  // namespace wavsplice::testing
