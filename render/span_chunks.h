// How a level change cuts a span into chunks to read, scale and write. Writing a file in pieces
// that start and end inside pages costs the file system more than whole pages: each page cut by a
// write's end is filled twice, and the page cache holds it in smaller pieces (docs/performance.md
// has the figures). So the first chunk ends on a page boundary of the destination where a frame
// boundary falls on one, and every later chunk but the last is a whole number of pages.
#pragma once

#include <cstdint>

namespace wavsplice {

struct SpanChunks {
  int64_t totalBytes = 0;
  int64_t firstBytes = 0;  // the first chunk, shorter so that the second starts on a page
  int64_t chunkBytes = 0;  // every later chunk but the last; 0 when not one frame fits

  int64_t Count() const;
  int64_t Offset(int64_t chunk) const;  // from the span's first byte
  int64_t Bytes(int64_t chunk) const;
};

// Chunks of at most mostBytes, whole frames each, for a span of byteCount bytes written from
// destPos of the destination.
SpanChunks PlanSpanChunks(int64_t destPos, int64_t byteCount, int64_t frameBytes,
                          int64_t mostBytes);

}  // namespace wavsplice
