#include "render/insert_file.h"

#include <algorithm>
#include <cstring>
#include <vector>

#include "common/failure.h"
#include "common/file_io.h"
#include "render/level.h"
#include "wav/chunk_scan.h"

namespace wavsplice {

namespace {

// Bytes moved per read and write: large enough to keep system calls rare
// (about a thousand for ten minutes of CD audio, a millisecond or two), small
// enough to stay below the allocator's threshold for mapping a block of its
// own, so that the buffer comes from the heap and peak memory stays near that
// of an empty program (96 KiB). A level change rounds it down to whole
// frames.
constexpr int64_t kCopyChunkBytes = 12 * kBlockSamples * 8;

FileHandle OpenOrFail(const NamedPath& file, const char* mode) {
  FileHandle opened = OpenFile(file.path, mode);
  if (!opened) Fail(kExitFile, "Cannot open file %s\n", file.name.c_str());
  return opened;
}

int64_t LevelChunk(unsigned char* bytes, int64_t frames, double levelDb, const PcmFormat& format) {
  const int64_t frameSize = format.FrameBytes();
  int64_t clipped = 0;
  for (int64_t done = 0; done < frames; done += kBlockSamples) {
    const int32_t n = static_cast<int32_t>(std::min<int64_t>(kBlockSamples, frames - done));
    clipped += NewLevel(bytes + done * frameSize, levelDb, format, n);
  }
  return clipped;
}

}  // namespace

int64_t INSERT_FILE(const std::string& destPath, const std::string& sourcePath, int64_t insertPoint,
                    int bytesPerSample, int channels, int64_t readLength, int64_t readStart,
                    double levelDb) {
  return INSERT_FILE(destPath, sourcePath, insertPoint, IntegerFormat(bytesPerSample, channels),
                     readLength, readStart, levelDb);
}

int64_t INSERT_FILE(const NamedPath& destPath, const NamedPath& sourcePath, int64_t insertPoint,
                    const PcmFormat& format, int64_t readLength, int64_t readStart,
                    double levelDb) {
  FileHandle dest = OpenOrFail(destPath, "rb+");
  FileHandle source = OpenOrFail(sourcePath, "rb");
  const int64_t destOffset = DataOffsetOrFail(dest.get(), destPath.name);
  const int64_t sourceOffset = DataOffsetOrFail(source.get(), sourcePath.name);

  const int64_t frameSize = format.FrameBytes();
  int64_t sourcePos = sourceOffset + readStart * frameSize;
  int64_t destPos = destOffset + insertPoint * frameSize;
  int64_t remaining = readLength > 0 ? readLength * frameSize : 0;
  const bool changeLevel = levelDb != 0.0;
  // A level change works on whole frames; a plain copy is bytes and may
  // split a frame of any size between chunks.
  const int64_t chunkBytes =
      changeLevel ? std::max<int64_t>(frameSize, kCopyChunkBytes / frameSize * frameSize)
                  : kCopyChunkBytes;
  std::vector<unsigned char> buffer(static_cast<size_t>(std::min(remaining, chunkBytes)));
  int64_t clipped = 0;

  while (remaining > 0) {
    const int64_t count = std::min(remaining, chunkBytes);
    const size_t got = ReadAt(source.get(), sourcePos, buffer.data(), static_cast<size_t>(count));
    std::memset(buffer.data() + got, format.SilenceByte(), static_cast<size_t>(count) - got);
    if (changeLevel) clipped += LevelChunk(buffer.data(), count / frameSize, levelDb, format);
    if (!WriteAt(dest.get(), destPos, buffer.data(), static_cast<size_t>(count))) {
      Fail(kExitFile, "Cannot write to file %s\n", destPath.name.c_str());
    }
    sourcePos += count;
    destPos += count;
    remaining -= count;
  }
  if (!CloseWritten(dest)) Fail(kExitFile, "Cannot write to file %s\n", destPath.name.c_str());
  return clipped;
}

}  // namespace wavsplice
