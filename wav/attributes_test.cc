#include "wav/attributes.h"

#include <gtest/gtest.h>

#include <filesystem>

#include "tests/stdout_capture.h"
#include "tests/temp_dir.h"
#include "tests/wav_fixture.h"

namespace wavsplice {
namespace {

using testing::Bytes;
using testing::WavBuilder;

TrackAttributes Read(const std::string& path) {
  TrackAttributes attributes;
  EXPECT_EQ(GET_ATTRIBUTES(path, attributes), AttributesRead::kRead) << path;
  return attributes;
}

TrackAttributes AttributesOf(const Bytes& wav) {
  testing::WriteFile("in.wav", wav);
  return Read("in.wav");
}

void PutLe(Bytes& bytes, size_t at, uint32_t value, int width) {
  for (int i = 0; i < width; ++i) bytes[at + static_cast<size_t>(i)] = (value >> (8 * i)) & 0xff;
}

TEST(GetAttributes, CanonicalFile) {
  testing::TempDir dir;
  // Ten stereo frames and a trailing half frame that is dropped.
  Bytes audio = testing::EncodeSamples(std::vector<int32_t>(20, 7), 16);
  audio.push_back(0);
  audio.push_back(0);
  const TrackAttributes a = AttributesOf(WavBuilder().Fmt({2, 44100, 16}).Data(audio).Build());
  EXPECT_EQ(a.format.channels, 2);
  EXPECT_EQ(a.dataOffset, 44);
  EXPECT_EQ(a.format.sampleRate, 44100);
  EXPECT_EQ(a.lengthSamples, 10);
  EXPECT_EQ(a.format.containerBytes, 2);
  EXPECT_EQ(a.bits, 16);
  EXPECT_EQ(a.audioFormat, 1);

  const TrackAttributes b = AttributesOf(testing::CanonicalWav({1, 96000, 24}, {1, 2, 3}));
  EXPECT_EQ(b.format.channels, 1);
  EXPECT_EQ(b.format.sampleRate, 96000);
  EXPECT_EQ(b.bits, 24);
  EXPECT_EQ(b.format.containerBytes, 3);
  EXPECT_EQ(b.lengthSamples, 3);
}

TEST(GetAttributes, ChunksAroundTheAudio) {
  testing::TempDir dir;
  // An 18-byte chunk between fmt and data moves the audio to 62.
  const TrackAttributes before = AttributesOf(
      WavBuilder().Fmt({1, 44100, 16}).Chunk("LIST", Bytes(10, 'x')).Data(Bytes(8, 0)).Build());
  EXPECT_EQ(before.dataOffset, 62);
  EXPECT_EQ(before.lengthSamples, 4);

  // "data" bytes at an even position inside an earlier chunk are taken: the LIST payload starts at
  // 44, so the audio starts at 46 + 8; the size field there reads 0, so the rest of the 72-byte
  // file counts.
  const TrackAttributes inside =
      AttributesOf(WavBuilder()
                       .Fmt({1, 44100, 16})
                       .Chunk("LIST", {'a', 'b', 'd', 'a', 't', 'a', 0, 0, 0, 0, 0, 0})
                       .Data(Bytes(8, 0))
                       .Build());
  EXPECT_EQ(inside.dataOffset, 54);
  EXPECT_EQ(inside.lengthSamples, (72 - 54) / 2);
}

TEST(GetAttributes, DataSizeFieldCountsOnlyWhenBelievable) {
  testing::TempDir dir;
  // 16-bit mono: 40 bytes of audio (20 frames), then a 12-byte chunk.
  const Bytes audio(40, 1);
  const Bytes trailer = WavBuilder().Chunk("LIST", Bytes(4, 'x')).Build();
  const Bytes tail(trailer.begin() + 12, trailer.end());
  ASSERT_EQ(tail.size(), 12u);
  const auto lengthWith = [&](uint32_t declared) {
    return AttributesOf(
               WavBuilder().Fmt({1, 44100, 16}).DataWithSize(declared, audio).Raw(tail).Build())
        .lengthSamples;
  };
  EXPECT_EQ(lengthWith(40), 20);  // the chunk after the audio is not audio
  EXPECT_EQ(lengthWith(41), 20);  // a partial frame is dropped
  EXPECT_EQ(lengthWith(51), 25);
  EXPECT_EQ(lengthWith(52), 26);  // exactly to the end of the file
  // Not believable: every byte to the end of the file counts.
  EXPECT_EQ(lengthWith(0), 26);
  EXPECT_EQ(lengthWith(0xFFFFFFFFu), 26);
  EXPECT_EQ(lengthWith(53), 26);
  EXPECT_EQ(lengthWith(1000), 26);
  EXPECT_EQ(lengthWith(0x80000000u), 26);
}

TEST(GetAttributes, FileCutInsideTheDataChunkHeader) {
  testing::TempDir dir;
  Bytes wav = testing::CanonicalWav({1, 44100, 16}, {});
  wav.resize(40);  // ends right after the "data" tag
  const TrackAttributes cut = AttributesOf(wav);
  EXPECT_EQ(cut.dataOffset, 44);
  EXPECT_EQ(cut.lengthSamples, -2);
  wav = testing::CanonicalWav({1, 44100, 16}, {});
  wav.resize(42);  // half of the size field
  EXPECT_EQ(AttributesOf(wav).lengthSamples, -1);
  wav = testing::CanonicalWav({1, 44100, 16}, {});
  EXPECT_EQ(AttributesOf(wav).lengthSamples, 0);
}

TEST(GetAttributes, NoFormatChunkReadsTheFieldsAtTheLastCandidate) {
  testing::TempDir dir;
  // "data" at 12 with size 0, audio to the end; the fields sit at 131072.
  Bytes audio(131072 + 34 - 20, 0);
  const size_t fieldsAt = 131072 - 20;
  PutLe(audio, fieldsAt + 8, 1, 2);
  PutLe(audio, fieldsAt + 10, 2, 2);
  PutLe(audio, fieldsAt + 12, 44100, 4);
  PutLe(audio, fieldsAt + 22, 16, 2);
  TrackAttributes a = AttributesOf(WavBuilder().DataWithSize(0, audio).Build());
  EXPECT_TRUE(a.formatChunkMissing);
  EXPECT_EQ(a.format.channels, 2);
  EXPECT_EQ(a.format.sampleRate, 44100);
  EXPECT_EQ(a.bits, 16);
  EXPECT_EQ(a.audioFormat, 1);
  EXPECT_EQ(a.dataOffset, 20);
  EXPECT_EQ(a.lengthSamples, (131106 - 20) / 4);

  // Cut after the channels and half the rate: the rest reads as 0.
  audio.resize(fieldsAt + 14);
  a = AttributesOf(WavBuilder().DataWithSize(0, audio).Build());
  EXPECT_TRUE(a.formatChunkMissing);
  EXPECT_EQ(a.format.channels, 2);
  EXPECT_EQ(a.format.sampleRate, 0xAC44);
  EXPECT_EQ(a.bits, 0);
  EXPECT_EQ(a.format.containerBytes, 0);
  EXPECT_EQ(a.lengthSamples, 0);

  // A tiny file: every field is 0.
  a = AttributesOf(WavBuilder().Data(Bytes(8, 0)).Build());
  EXPECT_TRUE(a.formatChunkMissing);
  EXPECT_EQ(a.format.channels, 0);
  EXPECT_EQ(a.format.sampleRate, 0);
  EXPECT_EQ(a.bits, 0);
  EXPECT_EQ(a.audioFormat, 0);
  EXPECT_EQ(a.dataOffset, 20);
  EXPECT_EQ(a.lengthSamples, 0);
}

TEST(GetAttributes, FrameSizeZeroGivesLengthZero) {
  testing::TempDir dir;
  EXPECT_EQ(AttributesOf(testing::CanonicalWav({0, 44100, 16}, {1, 2, 3, 4})).lengthSamples, 0);
  const TrackAttributes fourBits =
      AttributesOf(WavBuilder().Fmt({1, 44100, 4}).Data(Bytes(10, 0)).Build());
  EXPECT_EQ(fourBits.bits, 4);
  EXPECT_EQ(fourBits.format.containerBytes, 0);
  EXPECT_EQ(fourBits.lengthSamples, 0);
  // 12 bits: one byte per sample by integer division.
  EXPECT_EQ(AttributesOf(WavBuilder().Fmt({1, 44100, 12}).Data(Bytes(10, 0)).Build()).lengthSamples,
            10);
}

TEST(GetAttributes, FilesThatCannotBeRead) {
  testing::TempDir dir;
  std::filesystem::create_directory("folder.wav");
  testing::WriteFile("nodata.wav",
                     WavBuilder().Fmt({1, 44100, 16}).Chunk("LIST", Bytes(8, 0)).Build());
  // A data tag at an odd position (odd chunk without its pad byte).
  testing::WriteFile("odd.wav", WavBuilder()
                                    .Fmt({1, 44100, 16})
                                    .Chunk("LIST", Bytes(5, 'x'), false)
                                    .Data(Bytes(8, 0))
                                    .Build());
  testing::WriteFile("empty.wav", Bytes());
  const struct {
    const char* path;
    AttributesRead read;
    bool formatChunkMissing;
  } kCases[] = {
      {"missing.wav", AttributesRead::kNoFile, false},
      {"folder.wav", AttributesRead::kNoFile, false},
      {"nodata.wav", AttributesRead::kNoData, false},
      {"odd.wav", AttributesRead::kNoData, false},
      {"empty.wav", AttributesRead::kNoData, true},
  };
  for (const auto& c : kCases) {
    TrackAttributes attributes;
    testing::Outcome outcome =
        testing::RunCaptured([&] { EXPECT_EQ(GET_ATTRIBUTES(c.path, attributes), c.read); });
    EXPECT_EQ(outcome.out, "") << c.path;
    EXPECT_EQ(attributes.formatChunkMissing, c.formatChunkMissing) << c.path;
  }
}

TEST(GetAttributes, FormatTagAndSubFormat) {
  testing::TempDir dir;
  const TrackAttributes extensible =
      AttributesOf(WavBuilder().FmtExtensible({2, 48000, 24}, 1).Data(Bytes(12, 0)).Build());
  EXPECT_EQ(extensible.audioFormat, 0xFFFE);
  EXPECT_EQ(extensible.subFormat, 1);
  EXPECT_EQ(extensible.format.channels, 2);
  EXPECT_EQ(extensible.format.sampleRate, 48000);
  EXPECT_EQ(extensible.bits, 24);
  EXPECT_EQ(extensible.dataOffset, 68);
  EXPECT_EQ(extensible.lengthSamples, 2);

  EXPECT_EQ(AttributesOf(WavBuilder().FmtExtensible({1, 48000, 32}, 3).Data(Bytes(8, 0)).Build())
                .subFormat,
            3);
  testing::WavFormat floating{1, 44100, 32};
  floating.audioFormat = 3;
  EXPECT_EQ(AttributesOf(testing::CanonicalWav(floating, {0, 0})).audioFormat, 3);
  // A rate field of 2^31 or more keeps its bit pattern.
  EXPECT_EQ(AttributesOf(testing::CanonicalWav({1, 0x80000000u, 16}, {0})).format.sampleRate,
            static_cast<int32_t>(0x80000000u));
}

// The ds64 chunk of an RF64 or BW64 file: 64-bit RIFF size, data size and frame count, and an empty
// table.
Bytes Ds64(uint64_t dataBytes) {
  Bytes payload(28, 0);
  for (int i = 0; i < 8; ++i) payload[8 + static_cast<size_t>(i)] = (dataBytes >> (8 * i)) & 0xff;
  return payload;
}

TEST(GetAttributes, SixtyFourBitSizes) {
  testing::TempDir dir;
  const Bytes audio(20, 0x11);  // 10 frames of 16-bit mono
  const auto file = [&audio](const std::string& id, bool ds64, uint64_t ds64Size,
                             uint32_t dataSize) {
    testing::WavBuilder builder;
    builder.RiffId(id).RiffSize(0xFFFFFFFFu);
    if (ds64) builder.Chunk("ds64", Ds64(ds64Size));
    return builder.Fmt({1, 8000, 16})
        .DataWithSize(dataSize, audio)
        .Chunk("LIST", Bytes(12, 0x22))
        .Build();
  };
  struct Case {
    const char* what;
    Bytes wav;
    int64_t lengthSamples;
  };
  // The trailing LIST chunk is 20 bytes: 10 frames more when read as audio.
  const Case cases[] = {
      {"RF64: the audio ends where ds64 says", file("RF64", true, 20, 0xFFFFFFFFu), 10},
      {"BW64 alike", file("BW64", true, 20, 0xFFFFFFFFu), 10},
      {"a 32-bit size other than 0xFFFFFFFF counts", file("RF64", true, 4, 12), 6},
      {"ds64 size 0: to the end of the file", file("RF64", true, 0, 0xFFFFFFFFu), 20},
      {"ds64 size past the file", file("RF64", true, 42, 0xFFFFFFFFu), 20},
      {"ds64 size beyond 2^63", file("RF64", true, ~0ull, 0xFFFFFFFFu), 20},
      {"RF64 without ds64", file("RF64", false, 0, 0xFFFFFFFFu), 20},
      {"plain RIFF: 0xFFFFFFFF is no size", file("RIFF", true, 20, 0xFFFFFFFFu), 20},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    EXPECT_EQ(AttributesOf(c.wav).lengthSamples, c.lengthSamples);
  }

  // 5 GiB of audio, sparse on disk, with a chunk after it.
  const int64_t fiveGiB = int64_t{5} << 30;
  const Bytes header = file("RF64", true, static_cast<uint64_t>(fiveGiB), 0xFFFFFFFFu);
  const size_t headerBytes = header.size() - audio.size() - 20;
  testing::WriteSparseFile(
      "big.wav", static_cast<int64_t>(headerBytes) + fiveGiB + 20,
      {{0, Bytes(header.begin(), header.begin() + static_cast<long>(headerBytes))},
       {static_cast<int64_t>(headerBytes) + fiveGiB, Bytes(header.end() - 20, header.end())}});
  const TrackAttributes big = Read("big.wav");
  EXPECT_EQ(big.dataOffset, static_cast<int64_t>(headerBytes));
  EXPECT_EQ(big.lengthSamples, fiveGiB / 2);
}

}  // namespace
}  // namespace wavsplice
