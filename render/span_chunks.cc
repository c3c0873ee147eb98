#include "render/span_chunks.h"

#include <algorithm>

namespace wavsplice {

namespace {

constexpr int64_t kBoundaryBytes = 64 * 1024;

// A frame split between two chunks is read and scaled twice: rare enough for frames this small.
constexpr int64_t kMostSplitFrameBytes = kBoundaryBytes / 16;

}  // namespace

int64_t SpanChunks::Count() const {
  if (totalBytes <= 0 || chunkBytes <= 0) return 0;
  if (totalBytes <= firstBytes) return 1;
  return 1 + (totalBytes - firstBytes + chunkBytes - 1) / chunkBytes;
}

int64_t SpanChunks::Offset(int64_t chunk) const {
  return chunk == 0 ? 0 : firstBytes + (chunk - 1) * chunkBytes;
}

int64_t SpanChunks::Bytes(int64_t chunk) const {
  return std::min(chunk == 0 ? firstBytes : chunkBytes, totalBytes - Offset(chunk));
}

int64_t SpanChunks::FramesOffset(int64_t chunk) const { return Offset(chunk) - LeadBytes(chunk); }

int64_t SpanChunks::FramesBytes(int64_t chunk) const {
  const int64_t end = Offset(chunk) + Bytes(chunk);
  return (end + frameBytes - 1) / frameBytes * frameBytes - FramesOffset(chunk);
}

int64_t SpanChunks::LeadBytes(int64_t chunk) const { return Offset(chunk) % frameBytes; }

int64_t SpanChunks::BufferBytes() const {
  if (Count() == 0) return 0;
  const int64_t most = std::min(totalBytes, std::max(firstBytes, chunkBytes));
  return firstBytes % frameBytes == 0 && chunkBytes % frameBytes == 0 ? most
                                                                      : most + 2 * frameBytes;
}

SpanChunks PlanSpanChunks(int64_t destPos, int64_t byteCount, int64_t frameBytes,
                          int64_t mostBytes) {
  SpanChunks chunks;
  chunks.totalBytes = byteCount;
  chunks.frameBytes = frameBytes;
  if (frameBytes <= 0 || frameBytes > mostBytes) return chunks;
  if (frameBytes > kMostSplitFrameBytes || mostBytes < kBoundaryBytes) {
    chunks.chunkBytes = chunks.firstBytes = mostBytes / frameBytes * frameBytes;
    return chunks;
  }
  chunks.chunkBytes = mostBytes / kBoundaryBytes * kBoundaryBytes;
  chunks.firstBytes = chunks.chunkBytes - destPos % kBoundaryBytes;
  return chunks;
}

}  // namespace wavsplice
