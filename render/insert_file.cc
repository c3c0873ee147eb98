#include "render/insert_file.h"

#include <algorithm>
#include <cstring>
#include <memory>

#include "common/failure.h"
#include "common/file_io.h"
#include "common/messages.h"
#include "render/level.h"
#include "render/level_pipeline.h"
#include "render/span_chunks.h"

namespace wavsplice {

namespace {

// Bytes moved per read and write: large enough to keep system calls rare (about a thousand for ten
// minutes of CD audio, a millisecond or two), small enough to stay below the allocator's threshold
// for mapping a block of its own, so that the buffer comes from the heap and peak memory stays near
// that of an empty program (96 KiB). A level change rounds it down to whole frames.
constexpr int64_t kCopyChunkBytes = 12 * kBlockSamples * 8;

}  // namespace

int64_t INSERT_FILE(const OpenAudio& dest, const OpenAudio& source, const PcmFormat& format,
                    int64_t insertPoint, int64_t readStart, int64_t readLength, double levelDb,
                    const std::string& destName, KernelCopy& kernel, LevelPipeline* levels) {
  const int64_t frameSize = format.FrameBytes();
  int64_t sourcePos = source.audioStart + readStart * frameSize;
  int64_t destPos = dest.audioStart + insertPoint * frameSize;
  int64_t remaining = readLength > 0 ? readLength * frameSize : 0;
  const bool changeLevel = levelDb != 0.0;
  if (changeLevel && levels != nullptr) {
    const LevelSpan span{source.fd, sourcePos, dest.fd, destPos, remaining, levelDb, format};
    if (levels->Takes(span)) {
      const int64_t clipped = levels->Copy(span);
      if (clipped < 0) Fail(kExitFile, msg::kCannotWriteToFile, destName.c_str());
      return clipped;
    }
  }
  if (!changeLevel) {
    const int64_t moved = kernel.Copy(source.fd, sourcePos, dest.fd, destPos, remaining);
    sourcePos += moved;
    destPos += moved;
    remaining -= moved;
  }
  // A level change works on whole frames, in chunks that end on the destination's pages; a plain
  // copy is bytes and may split a frame of any size between chunks.
  SpanChunks chunks{remaining, kCopyChunkBytes, kCopyChunkBytes};
  if (changeLevel) {
    chunks = PlanSpanChunks(destPos, remaining, frameSize, std::max(frameSize, kCopyChunkBytes));
  }
  // Every byte of it is read or filled before it is written out.
  const std::unique_ptr<unsigned char[]> bytes(new unsigned char[static_cast<size_t>(
      std::max<int64_t>(0, std::min(remaining, chunks.chunkBytes)))]);
  unsigned char* buffer = bytes.get();
  int64_t clipped = 0;

  for (int64_t chunk = 0; chunk < chunks.Count(); ++chunk) {
    const int64_t offset = chunks.Offset(chunk);
    const size_t count = static_cast<size_t>(chunks.Bytes(chunk));
    const size_t got = ReadAt(source.fd, sourcePos + offset, buffer, count);
    std::memset(buffer + got, format.SilenceByte(), count - got);
    if (changeLevel) {
      clipped += LevelFrames(buffer, levelDb, format, static_cast<int64_t>(count) / frameSize);
    }
    if (!WriteAt(dest.fd, destPos + offset, buffer, count)) {
      Fail(kExitFile, msg::kCannotWriteToFile, destName.c_str());
    }
  }
  return clipped;
}

}  // namespace wavsplice
