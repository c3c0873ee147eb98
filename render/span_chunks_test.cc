#include "render/span_chunks.h"

#include <gtest/gtest.h>

namespace wavsplice {
namespace {

constexpr int64_t k64 = 64 * 1024;

struct PlanCase {
  const char* name;
  int64_t destPos;
  int64_t frameBytes;
  int64_t mostBytes;
  int64_t firstBytes;
  int64_t chunkBytes;
};

TEST(SpanChunks, ChunksEndOnMultiplesOf64KiBWhereverTheFramesFall) {
  const PlanCase cases[] = {
      {"16-bit stereo after a header", 44, 4, k64, k64 - 44, k64},
      {"24-bit stereo", 44, 6, k64, k64 - 44, k64},
      {"on a boundary", 3 * k64, 6, k64, k64, k64},
      {"two bytes before one", k64 - 2, 6, k64, 2, k64},
      {"96 KiB allowed", 44, 6, 96 * 1024, k64 - 44, k64},
      {"128 KiB allowed", 44, 18, 2 * k64, 2 * k64 - 44, 2 * k64},
      // Frames above 4 KiB, or less than 64 KiB allowed: whole frames, on no boundary.
      {"large frames", 44, 6000, k64, 60000, 60000},
      {"48 KiB allowed", 44, 6, 48 * 1024, 49152, 49152},
  };
  for (const PlanCase& c : cases) {
    SCOPED_TRACE(c.name);
    const SpanChunks chunks = PlanSpanChunks(c.destPos, 10 * k64, c.frameBytes, c.mostBytes);
    EXPECT_EQ(chunks.firstBytes, c.firstBytes);
    EXPECT_EQ(chunks.chunkBytes, c.chunkBytes);
  }
}

// Whatever the plan, the chunks cover the span once, in order, none longer than allowed, and each
// chunk's frames are the whole frames its bytes lie in, within the buffer.
TEST(SpanChunks, CoverTheSpanAndTheirFrames) {
  for (const int64_t frameBytes : {1, 2, 3, 4, 6, 8, 18, 24, 4096, 4098, 48 * 1024}) {
    for (const int64_t destPos : {int64_t{0}, int64_t{44}, k64 - 5, 5 * k64 + 4095}) {
      for (const int64_t frames : {1, 7, 1000, 60000}) {
        SCOPED_TRACE(testing::Message() << frameBytes << " " << destPos << " " << frames);
        const int64_t total = frames * frameBytes;
        const SpanChunks chunks = PlanSpanChunks(destPos, total, frameBytes, k64);
        int64_t covered = 0;
        for (int64_t chunk = 0; chunk < chunks.Count(); ++chunk) {
          ASSERT_EQ(chunks.Offset(chunk), covered);
          const int64_t bytes = chunks.Bytes(chunk);
          ASSERT_GT(bytes, 0);
          ASSERT_LE(bytes, k64);
          if (chunk > 0 && chunk + 1 < chunks.Count() && frameBytes <= 4096) {
            ASSERT_EQ((destPos + covered) % k64, 0);
          }
          const int64_t from = chunks.FramesOffset(chunk);
          ASSERT_EQ(from % frameBytes, 0);
          ASSERT_EQ(from + chunks.LeadBytes(chunk), covered);
          ASSERT_LT(chunks.LeadBytes(chunk), frameBytes);
          ASSERT_EQ(chunks.FramesBytes(chunk) % frameBytes, 0);
          ASSERT_GE(from + chunks.FramesBytes(chunk), covered + bytes);
          ASSERT_LT(from + chunks.FramesBytes(chunk), covered + bytes + frameBytes);
          ASSERT_LE(chunks.FramesBytes(chunk), chunks.BufferBytes());
          covered += bytes;
        }
        EXPECT_EQ(covered, total);
      }
    }
  }
}

TEST(SpanChunks, NoChunksForNothingOrAFrameTooLarge) {
  EXPECT_EQ(PlanSpanChunks(44, 0, 4, k64).Count(), 0);
  EXPECT_EQ(PlanSpanChunks(44, 2 * k64 + 8, k64 + 8, k64).Count(), 0);
}

}  // namespace
}  // namespace wavsplice
