#include "render/level_chunk.h"

#include <cstring>

#include "common/file_io.h"
#include "render/level.h"

namespace wavsplice {

int64_t FillLevelChunk(const LevelSpan& span, const SpanChunks& chunks, int64_t chunk,
                       unsigned char* buffer) {
  const int64_t frameBytes = span.format.FrameBytes();
  const size_t count = static_cast<size_t>(chunks.FramesBytes(chunk));
  const size_t got =
      ReadAt(span.sourceFd, span.sourcePos + chunks.FramesOffset(chunk), buffer, count);
  std::memset(buffer + got, span.format.SilenceByte(), count - got);
  int64_t frames = static_cast<int64_t>(count) / frameBytes;
  if (chunks.LeadBytes(chunk) > 0) {  // counted with the chunk before
    LevelFrames(buffer, span.levelDb, span.format, 1);
    buffer += frameBytes;
    --frames;
  }
  return LevelFrames(buffer, span.levelDb, span.format, frames);
}

bool WriteLevelChunk(const LevelSpan& span, const SpanChunks& chunks, int64_t chunk,
                     const unsigned char* buffer) {
  return WriteAt(span.destFd, span.destPos + chunks.Offset(chunk), buffer + chunks.LeadBytes(chunk),
                 static_cast<size_t>(chunks.Bytes(chunk)));
}

}  // namespace wavsplice
