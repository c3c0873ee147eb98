#include "wav/wav_writer.h"

#include <gtest/gtest.h>

#include <filesystem>

#include "tests/stdout_capture.h"
#include "tests/temp_dir.h"
#include "tests/wav_fixture.h"

namespace wavsplice {
namespace {

using testing::Bytes;

TEST(MakeHeader, MatchesCanonicalLayout) {
  testing::TempDir dir;
  ASSERT_EQ(MAKE_HEADER("h.wav", IntegerFormat(2, 2, 44100), 1000), WriteResult::kOk);
  const Bytes expected = {0x52, 0x49, 0x46, 0x46, 0xc4, 0x0f, 0x00, 0x00, 0x57, 0x41, 0x56,
                          0x45, 0x66, 0x6d, 0x74, 0x20, 0x10, 0x00, 0x00, 0x00, 0x01, 0x00,
                          0x02, 0x00, 0x44, 0xac, 0x00, 0x00, 0x10, 0xb1, 0x02, 0x00, 0x04,
                          0x00, 0x10, 0x00, 0x64, 0x61, 0x74, 0x61, 0xa0, 0x0f, 0x00, 0x00};
  EXPECT_EQ(testing::ReadFile("h.wav"), expected);
}

TEST(MakeHeader, LengthZeroAndTruncation) {
  testing::TempDir dir;
  testing::WriteFile("h.wav", Bytes(500, 0xAA));
  ASSERT_EQ(MAKE_HEADER("h.wav", IntegerFormat(3, 1, 48000), 0), WriteResult::kOk);
  const Bytes expected = {0x52, 0x49, 0x46, 0x46, 0x24, 0x00, 0x00, 0x00, 0x57, 0x41, 0x56,
                          0x45, 0x66, 0x6d, 0x74, 0x20, 0x10, 0x00, 0x00, 0x00, 0x01, 0x00,
                          0x01, 0x00, 0x80, 0xbb, 0x00, 0x00, 0x80, 0x32, 0x02, 0x00, 0x03,
                          0x00, 0x18, 0x00, 0x64, 0x61, 0x74, 0x61, 0x00, 0x00, 0x00, 0x00};
  EXPECT_EQ(testing::ReadFile("h.wav"), expected);

  // Only the low 16 bits of channels count, in every field; a new file, one
  // that was empty and one that was longer all end up as the header alone.
  ASSERT_EQ(MAKE_HEADER("c.wav", IntegerFormat(2, 0x10002, 44100), 1000), WriteResult::kOk);
  ASSERT_EQ(MAKE_HEADER("h.wav", IntegerFormat(2, 2, 44100), 1000), WriteResult::kOk);
  testing::WriteFile("e.wav", Bytes());
  ASSERT_EQ(MAKE_HEADER("e.wav", IntegerFormat(2, 2, 44100), 1000), WriteResult::kOk);
  EXPECT_EQ(testing::ReadFile("c.wav"), testing::ReadFile("h.wav"));
  EXPECT_EQ(testing::ReadFile("e.wav"), testing::ReadFile("h.wav"));

  EXPECT_EQ(MAKE_HEADER("no/such/dir.wav", IntegerFormat(2, 1, 44100), 0),
            WriteResult::kCannotCreate);
  EXPECT_EQ(MAKE_HEADER("/dev/full", IntegerFormat(2, 1, 44100), 0), WriteResult::kCannotWrite);
}

// A canonical header followed by fill bytes of 0xFF, so that every byte
// PAD_FILE writes shows.
Bytes HeaderAndFill(size_t fillBytes) {
  Bytes wav = testing::CanonicalWav({2, 44100, 24}, {});
  wav.resize(44 + fillBytes, 0xFF);
  return wav;
}

TEST(PadFile, WritesExactlyTheFramesAsked) {
  testing::TempDir dir;
  // 2500 frames from frame 5, 24-bit stereo: bytes 74 .. 15073 become zero.
  testing::WriteFile("p.wav", HeaderAndFill(20000));
  PAD_FILE("p.wav", IntegerFormat(3, 2), 5, 2500);
  Bytes expected = HeaderAndFill(20000);
  std::fill(expected.begin() + 74, expected.begin() + 74 + 2500 * 6, 0);
  EXPECT_EQ(testing::ReadFile("p.wav"), expected);

  // 1025 frames: one whole block and one frame.
  testing::WriteFile("p.wav", HeaderAndFill(8000));
  PAD_FILE("p.wav", IntegerFormat(3, 2), 0, 1025);
  expected = HeaderAndFill(8000);
  std::fill(expected.begin() + 44, expected.begin() + 44 + 1025 * 6, 0);
  EXPECT_EQ(testing::ReadFile("p.wav"), expected);

  // Nothing is written for frameCount 0 or less.
  testing::WriteFile("p.wav", HeaderAndFill(60));
  PAD_FILE("p.wav", IntegerFormat(3, 2), 0, 0);
  PAD_FILE("p.wav", IntegerFormat(3, 2), 2, -7);
  EXPECT_EQ(testing::ReadFile("p.wav"), HeaderAndFill(60));

  // The data area starts where the data tag is found, not at 44.
  testing::WriteFile("x.wav", testing::WavBuilder()
                                  .Fmt({1, 44100, 16})
                                  .Chunk("LIST", Bytes(10, 'x'))
                                  .Data(Bytes(8, 0xFF))
                                  .Build());
  PAD_FILE("x.wav", IntegerFormat(2, 1), 1, 2);
  const Bytes padded = testing::ReadFile("x.wav");
  ASSERT_EQ(padded.size(), 70u);
  EXPECT_EQ(Bytes(padded.begin() + 62, padded.end()), Bytes({0xFF, 0xFF, 0, 0, 0, 0, 0xFF, 0xFF}));
}

TEST(PadFile, PastTheEndLeavesAZeroGap) {
  testing::TempDir dir;
  ASSERT_EQ(MAKE_HEADER("g.wav", IntegerFormat(2, 2, 44100), 0), WriteResult::kOk);
  PAD_FILE("g.wav", IntegerFormat(2, 2), 3000, 10);
  const Bytes wav = testing::ReadFile("g.wav");
  ASSERT_EQ(wav.size(), 44u + 3010u * 4u);
  EXPECT_EQ(testing::AudioOf(wav), Bytes(3010 * 4, 0));
  // The header is left as it was.
  Bytes header(wav.begin(), wav.begin() + 44);
  EXPECT_EQ(header, testing::CanonicalWav({2, 44100, 16}, {}));
}

TEST(PadFile, FailuresEndTheRun) {
  testing::TempDir dir;
  testing::WriteFile("nodata.wav", testing::WavBuilder().Fmt({1, 44100, 16}).Build());
  testing::Outcome outcome =
      testing::RunCaptured([] { PAD_FILE("nodata.wav", IntegerFormat(2, 1), 0, 10); });
  EXPECT_TRUE(outcome.failed);
  EXPECT_EQ(outcome.exitCode, 2);
  EXPECT_EQ(outcome.message,
            "Can't find data block in nodata.wav: the audio must start within the first 128 KiB of "
            "the file\n");
  EXPECT_EQ(outcome.out, "");
  EXPECT_EQ(testing::ReadFile("nodata.wav"), testing::WavBuilder().Fmt({1, 44100, 16}).Build());

  outcome = testing::RunCaptured([] { PAD_FILE("missing.wav", IntegerFormat(2, 1), 0, 10); });
  EXPECT_EQ(outcome.exitCode, 2);
  EXPECT_EQ(outcome.message, "Cannot create destination file missing.wav\n");
  EXPECT_FALSE(testing::FileExists("missing.wav"));

  std::filesystem::create_directory("folder.wav");
  outcome = testing::RunCaptured([] { PAD_FILE("folder.wav", IntegerFormat(2, 1), 0, 10); });
  EXPECT_EQ(outcome.exitCode, 2);
  EXPECT_EQ(outcome.message, "Cannot create destination file folder.wav\n");
}

}  // namespace
}  // namespace wavsplice
