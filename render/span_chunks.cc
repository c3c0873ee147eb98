#include "render/span_chunks.h"

#include <algorithm>
#include <numeric>

namespace wavsplice {

namespace {

constexpr int64_t kPageBytes = 4096;

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

SpanChunks PlanSpanChunks(int64_t destPos, int64_t byteCount, int64_t frameBytes,
                          int64_t mostBytes) {
  SpanChunks chunks;
  chunks.totalBytes = byteCount;
  if (frameBytes <= 0 || frameBytes > mostBytes) return chunks;
  chunks.chunkBytes = chunks.firstBytes = mostBytes / frameBytes * frameBytes;
  // Frame boundaries that are page boundaries come every `step` bytes, when there are any: a frame
  // of f bytes meets a page every lcm(f, page) bytes, from a point that exists only when the
  // span's start is a multiple of gcd(f, page) (a destination whose audio starts at an odd byte,
  // say, has none for 16-bit frames). Chunks cut to whole steps must keep two thirds of their
  // length or more: 36 KiB written on pages costs what 48 KiB across them does (18-byte frames).
  const int64_t common = std::gcd(frameBytes, kPageBytes);
  const int64_t step = frameBytes / common * kPageBytes;
  if (destPos % common != 0 || step > mostBytes / 2) return chunks;
  int64_t firstPage = (destPos / kPageBytes + 1) * kPageBytes;
  while ((firstPage - destPos) % frameBytes != 0) firstPage += kPageBytes;
  chunks.chunkBytes = mostBytes / step * step;
  const int64_t toPage = firstPage - destPos;
  chunks.firstBytes = toPage + (chunks.chunkBytes - toPage) / step * step;
  return chunks;
}

}  // namespace wavsplice
