// One chunk of a levelled span: read, scaled, ready to write. The one-thread copy and the level
// worker fill chunks alike, so that the bytes are the same whichever thread fills them.
#pragma once

#include <cstdint>

#include "render/span_chunks.h"
#include "wav/pcm_format.h"

namespace wavsplice {

// A span to read, scale and write: byteCount bytes of whole frames from sourcePos of sourceFd to
// destPos of destFd, scaled by levelDb.
struct LevelSpan {
  int sourceFd = -1;
  int64_t sourcePos = 0;
  int destFd = -1;
  int64_t destPos = 0;
  int64_t byteCount = 0;
  double levelDb = 0.0;
  PcmFormat format;
};

// Reads the whole frames the chunk's bytes lie in into buffer (room for chunks.BufferBytes()),
// silence where the source has no bytes, and scales them; the chunk's own bytes then start at
// buffer + chunks.LeadBytes(chunk). Returns the values limited in the frames that start in the
// chunk: a frame split with the chunk before is that chunk's to count.
int64_t FillLevelChunk(const LevelSpan& span, const SpanChunks& chunks, int64_t chunk,
                       unsigned char* buffer);

// Writes the chunk's own bytes of a buffer filled above; false when the write failed.
bool WriteLevelChunk(const LevelSpan& span, const SpanChunks& chunks, int64_t chunk,
                     const unsigned char* buffer);

}  // namespace wavsplice
