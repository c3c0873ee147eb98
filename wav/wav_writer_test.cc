#include "wav/wav_writer.h"

#include <gtest/gtest.h>

#include <fcntl.h>

#include <string>

#include "tests/open_wav.h"
#include "tests/stdout_capture.h"
#include "tests/temp_dir.h"
#include "tests/wav_fixture.h"

namespace wavsplice {
namespace {

using testing::Bytes;

// A writer over a new, empty file at path.
testing::NewWav Created(const std::string& path, const PcmFormat& format) {
  const int fd = ::open(path.c_str(), O_RDWR | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
  return testing::NewWav{Descriptor(fd), WavWriter(fd, format, path)};
}

TEST(MakeHeader, MatchesCanonicalLayout) {
  testing::TempDir dir;
  testing::NewWav h = Created("h.wav", IntegerFormat(2, 2, 44100));
  ASSERT_TRUE(MAKE_HEADER(h.wav, 1000));
  EXPECT_EQ(h.wav.audioStart(), 44);
  const Bytes expected = {0x52, 0x49, 0x46, 0x46, 0xc4, 0x0f, 0x00, 0x00, 0x57, 0x41, 0x56,
                          0x45, 0x66, 0x6d, 0x74, 0x20, 0x10, 0x00, 0x00, 0x00, 0x01, 0x00,
                          0x02, 0x00, 0x44, 0xac, 0x00, 0x00, 0x10, 0xb1, 0x02, 0x00, 0x04,
                          0x00, 0x10, 0x00, 0x64, 0x61, 0x74, 0x61, 0xa0, 0x0f, 0x00, 0x00};
  EXPECT_EQ(testing::ReadFile("h.wav"), expected);
  // Appends follow the header.
  ASSERT_TRUE(h.wav.Append("\x01\x02", 2));
  EXPECT_EQ(testing::ReadFile("h.wav").size(), 46u);

  testing::NewWav m = Created("m.wav", IntegerFormat(3, 1, 48000));
  ASSERT_TRUE(MAKE_HEADER(m.wav, 0));
  const Bytes mono = {0x52, 0x49, 0x46, 0x46, 0x24, 0x00, 0x00, 0x00, 0x57, 0x41, 0x56,
                      0x45, 0x66, 0x6d, 0x74, 0x20, 0x10, 0x00, 0x00, 0x00, 0x01, 0x00,
                      0x01, 0x00, 0x80, 0xbb, 0x00, 0x00, 0x80, 0x32, 0x02, 0x00, 0x03,
                      0x00, 0x18, 0x00, 0x64, 0x61, 0x74, 0x61, 0x00, 0x00, 0x00, 0x00};
  EXPECT_EQ(testing::ReadFile("m.wav"), mono);

  // Only the low 16 bits of channels count, in every field.
  testing::NewWav c = Created("c.wav", IntegerFormat(2, 0x10002, 44100));
  ASSERT_TRUE(MAKE_HEADER(c.wav, 1000));
  EXPECT_EQ(testing::ReadFile("c.wav"), expected);

  const Descriptor full(::open("/dev/full", O_WRONLY | O_CLOEXEC));
  WavWriter unwritable(full.get(), IntegerFormat(2, 1, 44100), "full");
  EXPECT_FALSE(MAKE_HEADER(unwritable, 0));
  EXPECT_FALSE(unwritable.Append("x", 1));
}

// A canonical header followed by fill bytes of 0xFF, so that every byte PAD_FILE writes shows.
Bytes HeaderAndFill(size_t fillBytes) {
  Bytes wav = testing::CanonicalWav({2, 44100, 24}, {});
  wav.resize(44 + fillBytes, 0xFF);
  return wav;
}

// The same file written through a writer, for PAD_FILE to write into.
testing::NewWav Filled(size_t fillBytes) {
  testing::NewWav p = Created("p.wav", IntegerFormat(3, 2, 44100));
  EXPECT_TRUE(MAKE_HEADER(p.wav, 0));
  const Bytes fill(fillBytes, 0xFF);
  EXPECT_TRUE(p.wav.Append(fill.data(), fill.size()));
  return p;
}

TEST(PadFile, WritesExactlyTheFramesAsked) {
  testing::TempDir dir;
  // 2500 frames from frame 5, 24-bit stereo: bytes 74 .. 15073 become zero.
  PAD_FILE(Filled(20000).wav, 5, 2500);
  Bytes expected = HeaderAndFill(20000);
  std::fill(expected.begin() + 74, expected.begin() + 74 + 2500 * 6, 0);
  EXPECT_EQ(testing::ReadFile("p.wav"), expected);

  // 1025 frames: one whole block and one frame.
  PAD_FILE(Filled(8000).wav, 0, 1025);
  expected = HeaderAndFill(8000);
  std::fill(expected.begin() + 44, expected.begin() + 44 + 1025 * 6, 0);
  EXPECT_EQ(testing::ReadFile("p.wav"), expected);

  // Nothing is written for frameCount 0 or less.
  const testing::NewWav p = Filled(60);
  PAD_FILE(p.wav, 0, 0);
  PAD_FILE(p.wav, 2, -7);
  EXPECT_EQ(testing::ReadFile("p.wav"), HeaderAndFill(60));
}

TEST(PadFile, PastTheEndLeavesAZeroGap) {
  testing::TempDir dir;
  testing::NewWav g = Created("g.wav", IntegerFormat(2, 2, 44100));
  ASSERT_TRUE(MAKE_HEADER(g.wav, 0));
  PAD_FILE(g.wav, 3000, 10);
  const Bytes wav = testing::ReadFile("g.wav");
  ASSERT_EQ(wav.size(), 44u + 3010u * 4u);
  EXPECT_EQ(testing::AudioOf(wav), Bytes(3010 * 4, 0));
  // The header is left as it was.
  Bytes header(wav.begin(), wav.begin() + 44);
  EXPECT_EQ(header, testing::CanonicalWav({2, 44100, 16}, {}));
}

TEST(PadFile, AFileThatCannotBeWrittenEndsTheRun) {
  testing::TempDir dir;
  testing::WriteFile("p.wav", HeaderAndFill(60));
  const Descriptor readOnly(::open("p.wav", O_RDONLY | O_CLOEXEC));
  const WavWriter wav(readOnly.get(), IntegerFormat(3, 2), "shown.wav");
  const testing::Outcome outcome = testing::RunCaptured([&] { PAD_FILE(wav, 0, 5); });
  EXPECT_TRUE(outcome.failed);
  EXPECT_EQ(outcome.exitCode, 2);
  EXPECT_EQ(outcome.message, "Cannot write to file shown.wav\n");
  EXPECT_EQ(testing::ReadFile("p.wav"), HeaderAndFill(60));
}

}  // namespace
}  // namespace wavsplice
