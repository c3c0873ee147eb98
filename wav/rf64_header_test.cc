#include "wav/rf64_header.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

#include "tests/wav_fixture.h"
#include "wav/wav_header.h"

namespace wavsplice {
namespace {

using testing::Bytes;

uint64_t Le(const Bytes& bytes, size_t at, int width) {
  uint64_t value = 0;
  for (int i = 0; i < width; ++i) value |= static_cast<uint64_t>(bytes[at + i]) << (8 * i);
  return value;
}

std::string Tag(const Bytes& bytes, size_t at) {
  return std::string(bytes.begin() + static_cast<long>(at),
                     bytes.begin() + static_cast<long>(at) + 4);
}

// The header (MAKE_HEADER writes it) is canonical up to a whole file of 4 GiB - 1 byte, RF64 from
// the next frame on; the sizes are those of the file.
TEST(MakeHeader, RiffUpTo4GiBThenRf64) {
  struct Case {
    int64_t frames;
    int32_t bits, channels;
    bool rf64;
  };
  const Case cases[] = {
      {0, 16, 1, false},
      {2147483625, 16, 1, false},  // 44 + 4294967250 bytes: 4 GiB - 2
      {2147483626, 16, 1, true},   // 4 GiB exactly
      {715827875, 24, 2, false},
      {715827876, 24, 2, true},
      {int64_t{1} << 40, 24, 2, true},  // 6 TiB
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.frames);
    const Bytes header = HeaderBytes(IntegerFormat(c.bits / 8, c.channels, 48000), c.frames);
    const uint64_t dataBytes = static_cast<uint64_t>(c.frames) * c.bits / 8 * c.channels;
    if (!c.rf64) {
      ASSERT_EQ(header.size(), 44u);
      EXPECT_EQ(Tag(header, 0), "RIFF");
      EXPECT_EQ(Le(header, 4, 4), dataBytes + 36);
      EXPECT_EQ(Le(header, 40, 4), dataBytes);
      continue;
    }
    ASSERT_EQ(header.size(), 80u);
    EXPECT_EQ(Tag(header, 0), "RF64");
    EXPECT_EQ(Le(header, 4, 4), 0xFFFFFFFFu);
    EXPECT_EQ(Tag(header, 8), "WAVE");
    EXPECT_EQ(Tag(header, 12), "ds64");
    EXPECT_EQ(Le(header, 16, 4), 28u);
    EXPECT_EQ(Le(header, 20, 8), 80 + dataBytes - 8);
    EXPECT_EQ(Le(header, 28, 8), dataBytes);
    EXPECT_EQ(Le(header, 36, 8), static_cast<uint64_t>(c.frames));
    EXPECT_EQ(Le(header, 44, 4), 0u);
    // The fmt chunk as in the canonical header, then data with its size in ds64.
    const Bytes canonical = HeaderBytes(IntegerFormat(c.bits / 8, c.channels, 48000), 1);
    EXPECT_EQ(Bytes(header.begin() + 48, header.begin() + 72),
              Bytes(canonical.begin() + 12, canonical.begin() + 36));
    EXPECT_EQ(Tag(header, 72), "data");
    EXPECT_EQ(Le(header, 76, 4), 0xFFFFFFFFu);
  }
}

TEST(Rf64FromRiffHeader, FactCountMovesToDs64) {
  const Bytes riff = testing::WavBuilder()
                         .Fmt({1, 48000, 32, 3})
                         .Chunk("fact", {0x10, 0, 0, 0})
                         .DataWithSize(40, {})
                         .Build();
  const Bytes rf64 = Rf64FromRiffHeader(riff, 5000000000, 1250000000);
  ASSERT_EQ(rf64.size(), riff.size() + 36);
  EXPECT_EQ(Le(rf64, 20, 8), rf64.size() + 5000000000 - 8);
  EXPECT_EQ(Tag(rf64, 72), "fact");
  EXPECT_EQ(Le(rf64, 80, 4), 0xFFFFFFFFu);
  EXPECT_EQ(Le(rf64, rf64.size() - 4, 4), 0xFFFFFFFFu);
  EXPECT_FALSE(NeedsRf64(44, 0xFFFFFFFFull - 44));
  EXPECT_TRUE(NeedsRf64(44, 0xFFFFFFFFull - 43));
  EXPECT_TRUE(NeedsRf64(0, 0x100000000ull));
}

}  // namespace
}  // namespace wavsplice
