// How a level change cuts a span into chunks to read, scale and write. The file system keeps a
// write's pages in pieces no larger than the write and aligned as its start is: writes of 64 KiB
// that start on a multiple of 64 KiB keep the destination in 64 KiB pieces, and cost it about a
// quarter less than writes of 48 KiB on pages (docs/performance.md has the figures). So the first
// chunk ends on a multiple of 64 KiB of the destination and every later chunk but the last is 64
// KiB, wherever the frames fall: a chunk that starts or ends inside a frame reads and scales that
// whole frame, and writes its own bytes of it.
#pragma once

#include <cstdint>

namespace wavsplice {

struct SpanChunks {
  int64_t totalBytes = 0;
  int64_t firstBytes = 0;  // the first chunk, shorter so that the second starts on a boundary
  int64_t chunkBytes = 0;  // every later chunk but the last; 0 when not one frame fits
  int64_t frameBytes = 0;

  int64_t Count() const;
  int64_t Offset(int64_t chunk) const;  // from the span's first byte
  int64_t Bytes(int64_t chunk) const;

  // The whole frames a chunk's bytes lie in: from the frame its first byte is in to the end of the
  // frame its last byte is in. Its own bytes start LeadBytes() into them.
  int64_t FramesOffset(int64_t chunk) const;
  int64_t FramesBytes(int64_t chunk) const;
  int64_t LeadBytes(int64_t chunk) const;

  // Room for any chunk's frames.
  int64_t BufferBytes() const;
};

// Chunks of at most mostBytes for a span of byteCount bytes of whole frames written from destPos of
// the destination. Frames larger than a sixteenth of 64 KiB, or a mostBytes under 64 KiB, give
// chunks of whole frames instead, on no boundary.
SpanChunks PlanSpanChunks(int64_t destPos, int64_t byteCount, int64_t frameBytes,
                          int64_t mostBytes);

}  // namespace wavsplice
