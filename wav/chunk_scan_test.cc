#include "wav/chunk_scan.h"

#include <gtest/gtest.h>

#include <string>

#include "common/file_io.h"
#include "tests/temp_dir.h"
#include "tests/wav_fixture.h"

namespace wavsplice {
namespace {

using testing::Bytes;

// Writes bytes to a file and scans it for tag.
int64_t ScanBytes(const Bytes& bytes, const std::string& tag) {
  testing::WriteFile("scan.wav", bytes);
  FileHandle file = OpenFile("scan.wav", "rb");
  EXPECT_TRUE(file);
  if (!file) return -2;
  return FIND_CHUNK(file.get(), tag);
}

// size zero bytes with tag written at position at.
Bytes ZerosWithTag(size_t size, size_t at, const std::string& tag) {
  Bytes bytes(size, 0);
  // Byte by byte: GCC 12 for 32-bit ARM sees an overflow in std::copy here.
  for (size_t i = 0; i < tag.size(); ++i) bytes.at(at + i) = static_cast<unsigned char>(tag[i]);
  return bytes;
}

TEST(FindChunk, CanonicalPositions) {
  testing::TempDir dir;
  const Bytes wav = testing::CanonicalWav({2, 44100, 16}, {1, 2, 3, 4});
  EXPECT_EQ(ScanBytes(wav, "fmt"), 12);
  EXPECT_EQ(ScanBytes(wav, "data"), 36);
  // Only three letters of "fmt" count: the fourth byte is not looked at.
  Bytes noSpace = wav;
  noSpace[15] = 'X';
  EXPECT_EQ(ScanBytes(noSpace, "fmt"), 12);
}

TEST(FindChunk, LastCandidateIs131072) {
  testing::TempDir dir;
  EXPECT_EQ(ScanBytes(ZerosWithTag(131076, 131072, "data"), "data"), 131072);
  EXPECT_EQ(ScanBytes(ZerosWithTag(131078, 131074, "data"), "data"), -1);
  EXPECT_EQ(ScanBytes(ZerosWithTag(200000, 131074, "data"), "data"), -1);
  EXPECT_EQ(ScanBytes(ZerosWithTag(131075, 131072, "fmt"), "fmt"), 131072);
  EXPECT_EQ(ScanBytes(ZerosWithTag(131077, 131074, "fmt"), "fmt"), -1);
  // Around the end of the first block read, a tag straddling it is found.
  EXPECT_EQ(ScanBytes(ZerosWithTag(8192, 4094, "data"), "data"), 4094);
  EXPECT_EQ(ScanBytes(ZerosWithTag(4096, 4092, "data"), "data"), 4092);
  EXPECT_EQ(ScanBytes(Bytes(4096, 0), "data"), -1);
}

TEST(FindChunk, PositionZeroAndOddPositionsAreNeverExamined) {
  testing::TempDir dir;
  EXPECT_EQ(ScanBytes(ZerosWithTag(64, 0, "data"), "data"), -1);
  EXPECT_EQ(ScanBytes(ZerosWithTag(64, 37, "data"), "data"), -1);
  EXPECT_EQ(ScanBytes(ZerosWithTag(64, 13, "fmt"), "fmt"), -1);
  // An odd-sized chunk without its pad byte pushes the data tag to an odd position.
  const Bytes wav = testing::WavBuilder()
                        .Fmt({1, 44100, 16})
                        .Chunk("LIST", Bytes(3, 'x'), false)
                        .Data(Bytes(8, 0))
                        .Build();
  EXPECT_EQ(ScanBytes(wav, "data"), -1);
}

TEST(FindChunk, FirstMatchWinsEvenInsideAnotherChunk) {
  testing::TempDir dir;
  // The LIST payload starts at 44; "data" at payload offset 2 is at 46.
  const Bytes wav = testing::WavBuilder()
                        .Fmt({1, 44100, 16})
                        .Chunk("LIST", {'a', 'b', 'd', 'a', 't', 'a', 'c', 'd'})
                        .Data(Bytes(8, 0))
                        .Build();
  EXPECT_EQ(ScanBytes(wav, "data"), 46);
  // "fmt" bytes in the RIFF size field, at an even position, beat the chunk.
  Bytes early = wav;
  early[4] = 'f';
  early[5] = 'm';
  early[6] = 't';
  EXPECT_EQ(ScanBytes(early, "fmt"), 4);
}

TEST(FindChunk, CandidateRunningPastTheEndIsNoMatch) {
  testing::TempDir dir;
  EXPECT_EQ(ScanBytes(ZerosWithTag(63, 60, "dat"), "data"), -1);
  // Three bytes suffice for "fmt" at the very end.
  EXPECT_EQ(ScanBytes(ZerosWithTag(63, 60, "fmt"), "fmt"), 60);
  EXPECT_EQ(ScanBytes(ZerosWithTag(64, 60, "data"), "data"), 60);
  EXPECT_EQ(ScanBytes(Bytes(), "data"), -1);
  EXPECT_EQ(ScanBytes(Bytes(3, 'd'), "data"), -1);
}

}  // namespace
}  // namespace wavsplice
