#include "render/insert_file.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

#include "common/failure.h"
#include "tests/open_wav.h"
#include "tests/temp_dir.h"
#include "tests/wav_fixture.h"

namespace wavsplice {
namespace {

using testing::Bytes;
using testing::WavFormat;
using Values = std::vector<int32_t>;

// INSERT_FILE over the two files as a run holds them open.
int64_t Insert(const std::string& dest, const std::string& source, int64_t insertPoint,
               const PcmFormat& format, int64_t readLength, int64_t readStart, double levelDb) {
  KernelCopy kernel;
  return INSERT_FILE(testing::OpenWavFile(dest).audio, testing::OpenWavFile(source).audio, format,
                     insertPoint, readStart, readLength, levelDb, dest, kernel);
}

TEST(InsertFile, PlainCopyIsByteExactForEveryFormat) {
  for (int bits : {8, 16, 24, 32}) {
    for (int channels : {1, 2}) {
      for (double level : {0.0, -0.0}) {
        SCOPED_TRACE(::testing::Message()
                     << bits << " bits, " << channels << " channels, level " << level);
        testing::TempDir dir;
        const WavFormat format{channels, 44100, bits};
        const size_t frame = static_cast<size_t>(bits / 8 * channels);
        const int32_t destFrames = 2000;
        const int32_t sourceFrames = 1800;
        const Bytes destAudio = testing::PatternBytes(destFrames * frame, 1);
        const Bytes sourceAudio = testing::PatternBytes(sourceFrames * frame, 2);
        Bytes destWav = testing::CanonicalWav(format, {});
        destWav.insert(destWav.end(), destAudio.begin(), destAudio.end());
        testing::WriteFile("dest.wav", destWav);
        // The source's audio does not start at 44: an extra chunk comes first.
        testing::WriteFile("src.wav", testing::WavBuilder()
                                          .Fmt(format)
                                          .Chunk("LIST", Bytes(10, 0x11))
                                          .Data(sourceAudio)
                                          .Build());

        const int32_t insertPoint = 5;
        const int32_t readStart = 7;
        const int32_t readLength = 1500;
        EXPECT_EQ(Insert("dest.wav", "src.wav", insertPoint, IntegerFormat(bits / 8, channels),
                         readLength, readStart, level),
                  0);
        Bytes expected = destWav;
        std::copy(sourceAudio.begin() + static_cast<long>(readStart * frame),
                  sourceAudio.begin() + static_cast<long>((readStart + readLength) * frame),
                  expected.begin() + static_cast<long>(44 + insertPoint * frame));
        EXPECT_EQ(testing::ReadFile("dest.wav"), expected);
      }
    }
  }
}

// Source sample k and its levelled value, per format: the worked values of -6 dB on 16 bits and -20
// dB on 24 bits, cycled along the span.
struct LevelCase {
  int bits;
  double levelDb;
  Values in;
  Values out;
};

TEST(InsertFile, LevelReachesEveryBlockOfTheSpan) {
  const LevelCase cases[] = {
      {16, -6.0, {1000, -1000, 32767, -32768, 1, -1, 3}, {501, -501, 16422, -16422, 0, 0, 1}},
      {24,
       -20.0,
       {8388607, -8388608, 1000, -1000, 7, -19, 0},
       {838860, -838860, 100, -100, 0, -1, 0}},
  };
  for (const LevelCase& c : cases) {
    for (int channels : {1, 2}) {
      // 70000 frames take two to five copy chunks, the last one part full.
      for (int32_t readLength : {1024, 1025, 3000, 70000}) {
        SCOPED_TRACE(::testing::Message() << c.bits << " bits, " << channels << " channels, "
                                          << readLength << " samples");
        testing::TempDir dir;
        const WavFormat format{channels, 44100, c.bits};
        const int32_t readStart = 3;
        const int32_t insertPoint = 10;
        const int32_t destFrames = insertPoint + readLength + 20;
        const size_t cycle = c.in.size();
        // Value v of frame k, channel ch.
        auto index = [&](int32_t k, int ch) { return (static_cast<size_t>(k) + ch) % cycle; };
        Values source;
        for (int32_t k = 0; k < readStart + readLength; ++k) {
          for (int ch = 0; ch < channels; ++ch) source.push_back(c.in[index(k, ch)]);
        }
        testing::WriteFile("src.wav", testing::CanonicalWav(format, source));
        testing::WriteFile("dest.wav",
                           testing::CanonicalWav(format, Values(destFrames * channels, 77)));

        EXPECT_EQ(Insert("dest.wav", "src.wav", insertPoint, IntegerFormat(c.bits / 8, channels),
                         readLength, readStart, c.levelDb),
                  0);
        const Values result =
            testing::DecodeSamples(testing::AudioOf(testing::ReadFile("dest.wav")), c.bits);
        ASSERT_EQ(result.size(), static_cast<size_t>(destFrames * channels));
        int wrong = 0;
        for (int32_t k = 0; k < destFrames; ++k) {
          for (int ch = 0; ch < channels; ++ch) {
            const bool inside = k >= insertPoint && k < insertPoint + readLength;
            const int32_t want = inside ? c.out[index(k - insertPoint + readStart, ch)] : 77;
            const int32_t got = result[static_cast<size_t>(k * channels + ch)];
            if (got != want && wrong++ < 5) {
              ADD_FAILURE() << "frame " << k << " channel " << ch << ": " << got << " != " << want;
            }
          }
        }
        EXPECT_EQ(wrong, 0);
      }
    }
  }
}

TEST(InsertFile, ReadLengthZeroOrNegativeCopiesNothing) {
  testing::TempDir dir;
  const WavFormat format{2, 48000, 24};
  testing::WriteFile("src.wav", testing::CanonicalWav(format, Values(40, 1234)));
  const Bytes dest = testing::CanonicalWav(format, Values(40, -5));
  testing::WriteFile("dest.wav", dest);
  for (int32_t readLength : {0, -1, -4096}) {
    EXPECT_EQ(Insert("dest.wav", "src.wav", 2, IntegerFormat(3, 2), readLength, 0, -6.0), 0);
    EXPECT_EQ(Insert("dest.wav", "src.wav", 2, IntegerFormat(3, 2), readLength, 0, 0.0), 0);
  }
  EXPECT_EQ(testing::ReadFile("dest.wav"), dest);
}

TEST(InsertFile, FramesPastTheSourceEndAreSilence) {
  testing::TempDir dir;
  const WavFormat format{1, 44100, 16};
  testing::WriteFile("src.wav", testing::CanonicalWav(format, {1, 2, 3, 4, 5, 6, 7, 8, 9, 1000}));
  testing::WriteFile("dest.wav", testing::CanonicalWav(format, Values(20, 77)));

  // Frames 6..9 exist, 10..13 do not.
  Insert("dest.wav", "src.wav", 1, IntegerFormat(2, 1), 8, 6, 0.0);
  // Wholly past the end, with a level.
  Insert("dest.wav", "src.wav", 12, IntegerFormat(2, 1), 3, 50, -6.0);
  // Partly past the end, with a level.
  Insert("dest.wav", "src.wav", 16, IntegerFormat(2, 1), 3, 9, -6.0);
  EXPECT_EQ(testing::DecodeSamples(testing::AudioOf(testing::ReadFile("dest.wav")), 16),
            (Values{77, 7, 8, 9, 1000, 0, 0, 0, 0, 77, 77, 77, 0, 0, 0, 77, 501, 0, 0, 77}));
}

TEST(InsertFile, ADestinationThatCannotBeWrittenEndsTheRun) {
  testing::TempDir dir;
  const Bytes good = testing::CanonicalWav(WavFormat{}, Values(8, 300));
  testing::WriteFile("good.wav", good);
  const testing::OpenWav source = testing::OpenWavFile("good.wav");
  FileHandle readOnly = OpenFile("good.wav", "rb");
  const OpenAudio dest{fileno(readOnly.get()), 44};
  KernelCopy kernel;
  for (double levelDb : {0.0, -6.0}) {
    try {
      INSERT_FILE(dest, source.audio, IntegerFormat(2, 1), 0, 0, 4, levelDb, "shown.wav", kernel);
      ADD_FAILURE() << "no failure at " << levelDb << " dB";
    } catch (const RunFailure& failure) {
      EXPECT_EQ(failure.exitCode, kExitFile);
      EXPECT_EQ(failure.message, "Cannot write to file shown.wav\n");
    }
  }
  EXPECT_EQ(testing::ReadFile("good.wav"), good);
}

// 24-bit stereo after a 44-byte header: the chunks end on multiples of 64 KiB, inside frames, and
// each frame split between two chunks counts once.
TEST(InsertFile, ReturnsTheNumberOfLimitedValues) {
  testing::TempDir dir;
  const WavFormat format{2, 44100, 24};
  // Left 5120000 (x 3.98 is past full scale), right -2048000 (is not).
  Values source;
  for (int k = 0; k < 30000; ++k) {
    source.push_back(5120000);
    source.push_back(-2048000);
  }
  testing::WriteFile("src.wav", testing::CanonicalWav(format, source));
  testing::WriteFile("dest.wav", testing::CanonicalWav(format, Values(60000, 0)));

  EXPECT_EQ(Insert("dest.wav", "src.wav", 0, IntegerFormat(3, 2), 30000, 0, 12.0), 30000);
  const Values result = testing::DecodeSamples(testing::AudioOf(testing::ReadFile("dest.wav")), 24);
  EXPECT_EQ(result[0], 8388607);
  EXPECT_EQ(result[1], -8153234);
  EXPECT_EQ(result[59998], 8388607);
  EXPECT_EQ(result[59999], -8153234);
  // A plain copy limits nothing.
  EXPECT_EQ(Insert("dest.wav", "src.wav", 0, IntegerFormat(3, 2), 30000, 0, 0.0), 0);
}

}  // namespace
}  // namespace wavsplice
