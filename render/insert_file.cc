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

// Bytes moved per read and write by a plain copy the kernel did not make: large enough to keep
// system calls rare (about a thousand for ten minutes of CD audio, a millisecond or two), small
// enough to stay below the allocator's threshold for mapping a block of its own, so that the buffer
// comes from the heap and peak memory stays near that of an empty program (96 KiB).
constexpr int64_t kCopyChunkBytes = 12 * kBlockSamples * 8;

// A level change's chunks on this thread: the worker's two buffers in one
// (render/level_pipeline.cc), so peak memory stays where a shared span takes it, in half as many
// reads and writes. The 500-span 16-bit job, whose spans are too short for the worker, renders 1.6
// to 1.9 ms faster than in chunks of 64 KiB.
constexpr int64_t kLevelChunkBytes = 128 * 1024;

// Copies a levelled span on this thread, chunk by chunk; returns the values limited.
int64_t CopyLevelled(const LevelSpan& span, const std::string& destName) {
  const SpanChunks chunks = PlanSpanChunks(span.destPos, span.byteCount, span.format.FrameBytes(),
                                           std::max(span.format.FrameBytes(), kLevelChunkBytes));
  const std::unique_ptr<unsigned char[]> buffer(
      new unsigned char[static_cast<size_t>(chunks.BufferBytes())]);
  int64_t clipped = 0;
  for (int64_t chunk = 0; chunk < chunks.Count(); ++chunk) {
    clipped += FillLevelChunk(span, chunks, chunk, buffer.get());
    if (!WriteLevelChunk(span, chunks, chunk, buffer.get())) {
      Fail(kExitFile, msg::kCannotWriteToFile, destName.c_str());
    }
  }
  return clipped;
}

}  // namespace

int64_t INSERT_FILE(const OpenAudio& dest, const OpenAudio& source, const PcmFormat& format,
                    int64_t insertPoint, int64_t readStart, int64_t readLength, double levelDb,
                    const std::string& destName, KernelCopy& kernel, LevelPipeline* levels) {
  const int64_t frameSize = format.FrameBytes();
  int64_t sourcePos = source.audioStart + readStart * frameSize;
  int64_t destPos = dest.audioStart + insertPoint * frameSize;
  int64_t remaining = readLength > 0 ? readLength * frameSize : 0;
  if (levelDb != 0.0) {
    const LevelSpan span{source.fd, sourcePos, dest.fd, destPos, remaining, levelDb, format};
    if (levels == nullptr || !levels->Takes(span)) return CopyLevelled(span, destName);
    const int64_t clipped = levels->Copy(span);
    if (clipped < 0) Fail(kExitFile, msg::kCannotWriteToFile, destName.c_str());
    return clipped;
  }
  const int64_t moved = kernel.Copy(source.fd, sourcePos, dest.fd, destPos, remaining);
  sourcePos += moved;
  destPos += moved;
  remaining -= moved;
  // What the kernel did not copy is copied here, a frame of any size split between chunks if need
  // be; every byte of it is read or filled before it is written out.
  const int64_t chunkBytes = std::min(remaining, kCopyChunkBytes);
  const std::unique_ptr<unsigned char[]> bytes(
      new unsigned char[static_cast<size_t>(std::max<int64_t>(0, chunkBytes))]);
  for (int64_t offset = 0; offset < remaining; offset += chunkBytes) {
    const size_t count = static_cast<size_t>(std::min(chunkBytes, remaining - offset));
    const size_t got = ReadAt(source.fd, sourcePos + offset, bytes.get(), count);
    std::memset(bytes.get() + got, format.SilenceByte(), count - got);
    if (!WriteAt(dest.fd, destPos + offset, bytes.get(), count)) {
      Fail(kExitFile, msg::kCannotWriteToFile, destName.c_str());
    }
  }
  return 0;
}

}  // namespace wavsplice
