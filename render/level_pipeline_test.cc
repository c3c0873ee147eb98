#include "render/level_pipeline.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cstdint>
#include <string>
#include <thread>
#include <vector>

#include "common/file_io.h"
#include "render/level.h"
#include "tests/temp_dir.h"
#include "tests/wav_fixture.h"

namespace wavsplice {
namespace {

using testing::Bytes;

constexpr int64_t kChunk = 64 * 1024;  // the most bytes the pipeline moves at a time

PcmFormat FloatFormat(int channels) {
  PcmFormat format = IntegerFormat(4, channels);
  format.encoding = SampleEncoding::kFloat;
  return format;
}

// What reading, scaling and writing the span in turn gives: the destination's bytes and the values
// limited. Source bytes past the file's end read as silence.
int64_t LevelInTurn(const Bytes& source, int64_t sourcePos, Bytes& dest, int64_t destPos,
                    int64_t byteCount, double levelDb, const PcmFormat& format) {
  Bytes span(static_cast<size_t>(byteCount), format.SilenceByte());
  for (int64_t i = 0; i < byteCount && sourcePos + i < static_cast<int64_t>(source.size()); ++i) {
    span[static_cast<size_t>(i)] = source[static_cast<size_t>(sourcePos + i)];
  }
  const int64_t clipped =
      LevelFrames(span.data(), levelDb, format, byteCount / format.FrameBytes());
  std::copy(span.begin(), span.end(), dest.begin() + destPos);
  return clipped;
}

// The two files a copy joins, open as a run holds them.
struct Files {
  Files(const Bytes& source, const Bytes& dest) {
    testing::WriteFile("src.raw", source);
    testing::WriteFile("dest.raw", dest);
    sourceFd = Descriptor(::open("src.raw", O_RDONLY));
    destFd = Descriptor(::open("dest.raw", O_RDWR));
  }
  Descriptor sourceFd;
  Descriptor destFd;
};

struct SpanCase {
  const char* name;
  PcmFormat format;
  double levelDb;
  int64_t frames;
};

// Spans of one chunk to forty, a few frames either side of whole chunks, in formats whose frames
// do and do not divide a chunk; +9 dB limits some of the integer values.
TEST(LevelPipeline, WritesTheBytesOfLevellingInTurn) {
  const SpanCase cases[] = {
      {"16-bit mono, one chunk", IntegerFormat(2, 1), 9.0, kChunk / 2 - 1},
      {"16-bit mono, two chunks", IntegerFormat(2, 1), 9.0, kChunk / 2 + 1},
      {"16-bit stereo, 16 chunks", IntegerFormat(2, 2), 9.0, 16 * kChunk / 4},
      {"16-bit stereo, a frame more", IntegerFormat(2, 2), -3.0, 16 * kChunk / 4 + 1},
      {"24-bit 6 ch", IntegerFormat(3, 6), 9.0, 40 * (kChunk / 18) - 1},
      {"24-bit mono", IntegerFormat(3, 1), -1.5, 20 * (kChunk / 3) + 7},
      {"8-bit mono", IntegerFormat(1, 1), 9.0, 17 * kChunk},
      {"float stereo", FloatFormat(2), 4.5, 30 * kChunk / 8 + 3},
  };
  for (const SpanCase& c : cases) {
    // The first chunk is cut short to end on a multiple of 64 KiB, and chunks end inside frames
    // of 3, 6, 8 and 18 bytes; at 65534 the first chunk is two bytes, less than most frames.
    for (const int64_t destPos : {11, 44, 65534}) {
      SCOPED_TRACE(::testing::Message() << c.name << " to " << destPos);
      testing::TempDir dir;
      const int64_t bytes = c.frames * c.format.FrameBytes();
      const Bytes source = testing::PatternBytes(static_cast<size_t>(bytes + 100), 1);
      Bytes expected = testing::PatternBytes(static_cast<size_t>(destPos + bytes + 50), 2);
      Files files(source, expected);
      const int64_t wantClipped =
          LevelInTurn(source, 7, expected, destPos, bytes, c.levelDb, c.format);

      LevelPipeline pipeline;
      const LevelSpan span{
          files.sourceFd.get(), 7, files.destFd.get(), destPos, bytes, c.levelDb, c.format};
      EXPECT_EQ(pipeline.Copy(span), wantClipped);
      EXPECT_EQ(testing::ReadFile("dest.raw"), expected);
    }
  }
}

// Spans one after another on one worker: long ones, where it takes most chunks, and many short
// ones, where it joins some late and misses others that the caller has already closed. With
// every processor kept busy by other threads, the caller finds itself crowded and takes the rest
// of spans from the worker.
TEST(LevelPipeline, SpansInARowShareTheWorker) {
  struct RowCase {
    int64_t spanBytes;
    int spans;
    bool busyMachine;
  };
  const RowCase cases[] = {{16 * kChunk + 4 * 333, 12, false},
                           {4 * kChunk + 4 * 333, 100, false},
                           {16 * kChunk + 4 * 333, 12, true},
                           {4 * kChunk + 4 * 333, 100, true}};
  for (const RowCase& c : cases) {
    SCOPED_TRACE(::testing::Message() << c.spans << (c.busyMachine ? " busy" : ""));
    std::atomic<bool> stop{false};
    std::vector<std::thread> others;
    if (c.busyMachine) {
      for (unsigned i = 0; i < std::max(2u, std::thread::hardware_concurrency()); ++i) {
        others.emplace_back([&stop] {
          while (!stop) {
          }
        });
      }
    }
    testing::TempDir dir;
    const PcmFormat format = IntegerFormat(2, 2);
    const Bytes source = testing::PatternBytes(static_cast<size_t>(c.spanBytes * 2), 3);
    Bytes expected(static_cast<size_t>(c.spanBytes * c.spans), 0);
    Files files(source, expected);
    LevelPipeline pipeline;
    for (int k = 0; k < c.spans; ++k) {
      const double levelDb = k % 2 == 0 ? 6.0 : -0.5;
      const int64_t sourcePos = (k % 3) * 4 * 1000;
      const int64_t destPos = k * c.spanBytes;
      const int64_t want =
          LevelInTurn(source, sourcePos, expected, destPos, c.spanBytes, levelDb, format);
      const int sourceFd = files.sourceFd.get();
      const int destFd = files.destFd.get();
      const LevelSpan span{sourceFd, sourcePos, destFd, destPos, c.spanBytes, levelDb, format};
      EXPECT_EQ(pipeline.Copy(span), want) << "span " << k;
    }
    stop = true;
    for (std::thread& other : others) other.join();
    EXPECT_EQ(testing::ReadFile("dest.raw"), expected);
  }
}

TEST(LevelPipeline, FramesPastTheSourceEndAreSilence) {
  testing::TempDir dir;
  const PcmFormat format = IntegerFormat(3, 2);
  const int64_t bytes = 18 * (kChunk / 6) * 6;
  // The source ends in chunk 5, part way through a frame.
  const Bytes source = testing::PatternBytes(static_cast<size_t>(5 * kChunk + 1000), 4);
  Bytes expected = testing::PatternBytes(static_cast<size_t>(bytes), 5);
  Files files(source, expected);
  const int64_t want = LevelInTurn(source, 0, expected, 0, bytes, 2.0, format);
  LevelPipeline pipeline;
  EXPECT_EQ(pipeline.Copy({files.sourceFd.get(), 0, files.destFd.get(), 0, bytes, 2.0, format}),
            want);
  EXPECT_EQ(testing::ReadFile("dest.raw"), expected);
}

TEST(LevelPipeline, AFailedWriteEndsTheSpanAndTheNextOneWorks) {
  testing::TempDir dir;
  const PcmFormat format = IntegerFormat(2, 1);
  const int64_t bytes = 20 * kChunk;
  const Bytes source = testing::PatternBytes(static_cast<size_t>(bytes), 6);
  Bytes expected(static_cast<size_t>(bytes), 0);
  Files files(source, expected);
  const Descriptor readOnly(::open("dest.raw", O_RDONLY));
  LevelPipeline pipeline;
  EXPECT_EQ(pipeline.Copy({files.sourceFd.get(), 0, readOnly.get(), 0, bytes, -6.0, format}), -1);
  EXPECT_EQ(testing::ReadFile("dest.raw"), expected);

  const int64_t want = LevelInTurn(source, 0, expected, 0, bytes, -6.0, format);
  EXPECT_EQ(pipeline.Copy({files.sourceFd.get(), 0, files.destFd.get(), 0, bytes, -6.0, format}),
            want);
  EXPECT_EQ(testing::ReadFile("dest.raw"), expected);
}

TEST(LevelPipeline, TakesOnlyLongSpans) {
  if (sysconf(_SC_NPROCESSORS_ONLN) < 2) GTEST_SKIP() << "one processor: never takes";
  LevelPipeline pipeline;
  const PcmFormat stereo = IntegerFormat(2, 2);
  EXPECT_FALSE(pipeline.Takes({0, 0, 1, 0, 4 * kChunk - 4, -3.0, stereo}));
  EXPECT_TRUE(pipeline.Takes({0, 0, 1, 0, 4 * kChunk, -3.0, stereo}));
  // A frame larger than a chunk.
  EXPECT_FALSE(pipeline.Takes({0, 0, 1, 0, 1 << 30, -3.0, IntegerFormat(4, 17000)}));
}

}  // namespace
}  // namespace wavsplice
