#include "render/span_copy.h"

#include <algorithm>
#include <cstring>
#include <utility>
#include <vector>

#include "common/failure.h"
#include "common/file_io.h"
#include "render/level.h"

namespace wavsplice {

namespace {

// Bytes moved per read and write: large enough to keep system calls rare
// (about a thousand for ten minutes of CD audio, a millisecond or two), small
// enough to stay below the allocator's threshold for mapping a block of its
// own, so that the buffer comes from the heap and peak memory stays near that
// of an empty program (96 KiB). A level change rounds it down to whole
// frames.
constexpr int64_t kCopyChunkBytes = 12 * kBlockSamples * 8;

// Reads count bytes from sourcePos into buffer; what cannot be read (a file
// changed under the run) becomes the format's silence.
void ReadChunk(const OpenAudio& source, int64_t sourcePos, unsigned char* buffer, int64_t count,
               const PcmFormat& format) {
  const size_t got = ReadAt(source.fd, sourcePos, buffer, static_cast<size_t>(count));
  std::memset(buffer + got, format.SilenceByte(), static_cast<size_t>(count) - got);
}

void WriteChunk(const OpenAudio& dest, int64_t destPos, const unsigned char* buffer, int64_t count,
                const std::string& destName) {
  if (!WriteAt(dest.fd, destPos, buffer, static_cast<size_t>(count))) {
    Fail(kExitFile, "Cannot write to file %s\n", destName.c_str());
  }
}

// Bytes that pass unchanged: the kernel moves what it will, the rest goes
// through a buffer of the program's own, in chunks that may split a frame.
void CopyUnchanged(const OpenAudio& dest, const OpenAudio& source, const PcmFormat& format,
                   int64_t sourcePos, int64_t destPos, int64_t remaining,
                   const std::string& destName, KernelCopy& kernel) {
  const int64_t moved = kernel.Copy(source.fd, sourcePos, dest.fd, destPos, remaining);
  sourcePos += moved;
  destPos += moved;
  remaining -= moved;
  std::vector<unsigned char> bytes(static_cast<size_t>(std::min(remaining, kCopyChunkBytes)));
  while (remaining > 0) {
    const int64_t count = std::min(remaining, kCopyChunkBytes);
    ReadChunk(source, sourcePos, bytes.data(), count, format);
    WriteChunk(dest, destPos, bytes.data(), count, destName);
    sourcePos += count;
    destPos += count;
    remaining -= count;
  }
}

// Bytes whose level changes, a chunk of whole frames at a time, read,
// scaled and written on this thread.
int64_t CopyLevelledHere(const OpenAudio& dest, const OpenAudio& source, const PcmFormat& format,
                         int64_t sourcePos, int64_t destPos, int64_t remaining, double levelDb,
                         const std::string& destName, int64_t chunkBytes) {
  std::vector<unsigned char> bytes(static_cast<size_t>(std::min(remaining, chunkBytes)));
  int64_t clipped = 0;
  while (remaining > 0) {
    const int64_t count = std::min(remaining, chunkBytes);
    ReadChunk(source, sourcePos, bytes.data(), count, format);
    clipped += LevelFrames(bytes.data(), levelDb, format, count / format.FrameBytes());
    WriteChunk(dest, destPos, bytes.data(), count, destName);
    sourcePos += count;
    destPos += count;
    remaining -= count;
  }
  return clipped;
}

// The same through two buffers: while the helper thread scales one chunk,
// this thread reads the next into the other buffer and then writes the
// scaled one. The destination receives the same writes in the same order.
int64_t CopyLevelledAlongside(const OpenAudio& dest, const OpenAudio& source,
                              const PcmFormat& format, int64_t sourcePos, int64_t destPos,
                              int64_t remaining, double levelDb, const std::string& destName,
                              int64_t chunkBytes, LevelPipeline& levels) {
  const int64_t frameSize = format.FrameBytes();
  int64_t count = std::min(remaining, chunkBytes);
  std::vector<unsigned char> bytes(static_cast<size_t>(2 * count));
  unsigned char* scaling = bytes.data();
  unsigned char* reading = scaling + count;
  ReadChunk(source, sourcePos, scaling, count, format);
  levels.Begin(scaling, count / frameSize, levelDb, format);
  sourcePos += count;
  int64_t clipped = 0;
  for (;;) {
    const int64_t nextCount = std::min(remaining - count, chunkBytes);
    if (nextCount > 0) ReadChunk(source, sourcePos, reading, nextCount, format);
    clipped += levels.Finish();
    if (nextCount > 0) levels.Begin(reading, nextCount / frameSize, levelDb, format);
    WriteChunk(dest, destPos, scaling, count, destName);
    destPos += count;
    remaining -= count;
    if (nextCount <= 0) return clipped;
    sourcePos += nextCount;
    count = nextCount;
    std::swap(scaling, reading);
  }
}

// A span of fewer chunks than this is scaled on this thread: handing its
// few chunks over and back would cost about what it overlaps.
constexpr int64_t kChunksWorthAHelper = 4;

int64_t CopyLevelled(const OpenAudio& dest, const OpenAudio& source, const PcmFormat& format,
                     int64_t sourcePos, int64_t destPos, int64_t remaining, double levelDb,
                     const std::string& destName, LevelPipeline& levels) {
  const int64_t frameSize = format.FrameBytes();
  const int64_t chunkBytes = std::max<int64_t>(frameSize, kCopyChunkBytes / frameSize * frameSize);
  if (remaining < kChunksWorthAHelper * chunkBytes) {
    return CopyLevelledHere(dest, source, format, sourcePos, destPos, remaining, levelDb, destName,
                            chunkBytes);
  }
  return CopyLevelledAlongside(dest, source, format, sourcePos, destPos, remaining, levelDb,
                               destName, chunkBytes, levels);
}

}  // namespace

int64_t CopySpan(const OpenAudio& dest, const OpenAudio& source, const PcmFormat& format,
                 int64_t insertPoint, int64_t readStart, int64_t readLength, double levelDb,
                 const std::string& destName, SpanMovers& movers) {
  const int64_t frameSize = format.FrameBytes();
  const int64_t sourcePos = source.audioStart + readStart * frameSize;
  const int64_t destPos = dest.audioStart + insertPoint * frameSize;
  const int64_t length = readLength > 0 ? readLength * frameSize : 0;
  if (levelDb == 0.0) {
    CopyUnchanged(dest, source, format, sourcePos, destPos, length, destName, movers.kernel);
    return 0;
  }
  return CopyLevelled(dest, source, format, sourcePos, destPos, length, levelDb, destName,
                      movers.levels);
}

}  // namespace wavsplice
