#include "render/span_chunks.h"

#include <gtest/gtest.h>

namespace wavsplice {
namespace {

constexpr int64_t kMost = 48 * 1024;

struct PlanCase {
  const char* name;
  int64_t destPos;
  int64_t byteCount;
  int64_t frameBytes;
  int64_t firstBytes;
  int64_t chunkBytes;
};

TEST(SpanChunks, LaterChunksStartOnPagesWhereFramesMeetThem) {
  const PlanCase cases[] = {
      // 16-bit stereo after a 44-byte header: the first chunk ends on the twelfth page.
      {"16-bit stereo", 44, 10 * kMost, 4, kMost - 44, kMost},
      {"already on a page", 8192, 10 * kMost, 4, kMost, kMost},
      // 6-byte frames meet a page every third page (12 KiB), here first at 8192.
      {"24-bit stereo", 44, 10 * kMost, 6, 8192 - 44 + 3 * 12288, kMost},
      // A start that is not a multiple of gcd(4, 4096): no frame boundary is on a page.
      {"odd start", 46, 10 * kMost, 4, kMost, kMost},
      // 20-byte frames meet a page every 20 KiB: chunks of 40 KiB.
      {"16-bit 10 ch", 0, 10 * kMost, 20, 40960, 40960},
      // 18-byte frames meet one every 36 KiB: a single step a chunk would be too short, so the
      // chunks stay whole frames across pages.
      {"24-bit 6 ch", 0, 10 * kMost, 18, kMost / 18 * 18, kMost / 18 * 18},
      // 1-byte frames: every page boundary is one.
      {"8-bit mono at 1", 1, 10 * kMost, 1, kMost - 1, kMost},
  };
  for (const PlanCase& c : cases) {
    SCOPED_TRACE(c.name);
    const SpanChunks chunks = PlanSpanChunks(c.destPos, c.byteCount, c.frameBytes, kMost);
    EXPECT_EQ(chunks.firstBytes, c.firstBytes);
    EXPECT_EQ(chunks.chunkBytes, c.chunkBytes);
  }
}

// Whatever the plan, the chunks are whole frames, none longer than allowed, and cover the span
// once, in order.
TEST(SpanChunks, CoverTheSpanInWholeFrames) {
  for (const int64_t frameBytes : {1, 2, 3, 4, 6, 8, 12, 14, 18, 20, 24, 4096 * 3, 48 * 1024}) {
    for (const int64_t destPos : {int64_t{0}, int64_t{44}, int64_t{46}, int64_t{4096 - 6}}) {
      for (const int64_t frames : {1, 7, 1000, 30000}) {
        SCOPED_TRACE(testing::Message() << frameBytes << " " << destPos << " " << frames);
        const int64_t total = frames * frameBytes;
        const SpanChunks chunks = PlanSpanChunks(destPos, total, frameBytes, kMost);
        int64_t covered = 0;
        for (int64_t chunk = 0; chunk < chunks.Count(); ++chunk) {
          ASSERT_EQ(chunks.Offset(chunk), covered);
          const int64_t bytes = chunks.Bytes(chunk);
          ASSERT_GT(bytes, 0);
          ASSERT_LE(bytes, kMost);
          ASSERT_EQ(bytes % frameBytes, 0);
          covered += bytes;
        }
        EXPECT_EQ(covered, total);
      }
    }
  }
}

TEST(SpanChunks, NoChunksForNothingOrAFrameTooLarge) {
  EXPECT_EQ(PlanSpanChunks(44, 0, 4, kMost).Count(), 0);
  EXPECT_EQ(PlanSpanChunks(44, 2 * kMost + 8, kMost + 8, kMost).Count(), 0);
}

}  // namespace
}  // namespace wavsplice
