#include "wav/wav_writer.h"

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "common/failure.h"
#include "common/file_io.h"
#include "wav/byte_order.h"
#include "wav/chunk_scan.h"
#include "wav/wav_header.h"

namespace wavsplice {

namespace {

// Silence goes out in chunks of this many bytes: few writes, little memory.
constexpr size_t kSilenceChunkBytes = 256 * 1024;

// Whether this process may write a file up to endBytes long as far as its
// file size limit goes, read from the kernel's table of the process's
// limits; false when that cannot be learned. (C streams rather than
// iostreams: they add nothing to the program's memory.)
bool FileSizeLimitAllows(int64_t endBytes) {
  constexpr char kLimitName[] = "Max file size";
  FileHandle limits = OpenFile("/proc/self/limits", "r");
  if (!limits) return false;
  char line[256];
  while (std::fgets(line, sizeof line, limits.get()) != nullptr) {
    if (std::strncmp(line, kLimitName, sizeof kLimitName - 1) != 0) continue;
    const char* soft = line + sizeof kLimitName - 1;
    while (*soft == ' ') ++soft;
    if (std::strncmp(soft, "unlimited", 9) == 0) return true;
    char* end = nullptr;
    const long long limit = std::strtoll(soft, &end, 10);
    return end != soft && limit >= endBytes;
  }
  return false;
}

// Silence that lies wholly past the end of the file need not be written
// byte by byte: writing the last byte extends the file, and the file system
// supplies zeros for the gap, as for any gap. For a new destination, whose
// data area the edits then write again, that halves the bytes written. The
// zeros are written as before (so that any failure comes at the same byte
// and leaves the same file) unless the outcome is sure to be the same: no
// file size limit stops the file short of its end, and the disk has room for
// the zeros twice over and 64 MiB more, against everything else the run
// writes after them.
bool MayLeaveZerosToFileSystem(const std::string& wavPath, std::FILE* file, int64_t position,
                               int64_t bytes) {
  constexpr uint64_t kSpareBytes = 64ull << 20;
  const int64_t fileSize = FileSize(file);
  if (bytes <= 0 || fileSize < 0 || position < fileSize) return false;
  if (!FileSizeLimitAllows(position + bytes)) return false;
  uint64_t available = 0;
  return AvailableBytes(wavPath, available) &&
         available >= 2 * static_cast<uint64_t>(bytes) + kSpareBytes;
}

// Silence past the end of the file that the disk has no room for: writing
// it would only fill the disk before failing, so the run fails at once.
bool CannotHoldSilence(const std::string& wavPath, std::FILE* file, int64_t position,
                       int64_t bytes) {
  const int64_t fileSize = FileSize(file);
  if (bytes <= 0 || fileSize < 0 || position < fileSize) return false;
  uint64_t available = 0;
  return AvailableBytes(wavPath, available) && available < static_cast<uint64_t>(bytes);
}

// Opens wavPath to be written from its start, empty. A file that is empty
// already (as every file a run creates for itself is) is not truncated:
// ext4 takes a truncation to zero for a file being replaced and sends the
// file's blocks to the disk when it is closed, which for a crossfade's
// scratch file meant a disk write, and a block to free, every crossfade.
FileHandle OpenEmptied(const std::string& wavPath) {
  FileHandle file = OpenFile(wavPath, "rb+");
  if (file && FileSize(file.get()) == 0) return file;
  file.reset();
  return OpenFile(wavPath, "wb");
}

}  // namespace

WriteResult MAKE_HEADER(const std::string& wavPath, const PcmFormat& format, int64_t frameCount,
                        const std::vector<unsigned char>& metadataChunks) {
  const std::vector<unsigned char> header = HeaderBytes(format, frameCount, metadataChunks);
  FileHandle file = OpenEmptied(wavPath);
  if (!file) return WriteResult::kCannotCreate;
  const bool written = std::fwrite(header.data(), 1, header.size(), file.get()) == header.size();
  const bool closed = CloseWritten(file);
  return written && closed ? WriteResult::kOk : WriteResult::kCannotWrite;
}

int64_t PAD_FILE(const NamedPath& wavPath, const PcmFormat& format, int64_t startSample,
                 int64_t frameCount) {
  FileHandle file = OpenFile(wavPath.path, "rb+");
  if (!file) Fail(kExitFile, "Cannot create destination file %s\n", wavPath.name.c_str());
  const int64_t audioStart = DataOffsetOrFail(file.get(), wavPath.name);

  const int64_t frameSize = format.FrameBytes();
  int64_t position = audioStart + startSample * frameSize;
  int64_t remaining = frameCount > 0 ? frameCount * frameSize : 0;
  if (CannotHoldSilence(wavPath.path, file.get(), position, remaining)) {
    Fail(kExitFile, "Cannot write to file %s\n", wavPath.name.c_str());
  }
  const unsigned char silence = format.SilenceByte();
  if (silence == 0 && MayLeaveZerosToFileSystem(wavPath.path, file.get(), position, remaining)) {
    const unsigned char zero = 0;
    if (!WriteAt(file.get(), position + remaining - 1, &zero, 1)) {
      Fail(kExitFile, "Cannot write to file %s\n", wavPath.name.c_str());
    }
    remaining = 0;
  }
  const std::vector<unsigned char> silentBytes(
      static_cast<size_t>(std::min<int64_t>(remaining, kSilenceChunkBytes)), silence);
  while (remaining > 0) {
    const size_t count = static_cast<size_t>(std::min<int64_t>(remaining, kSilenceChunkBytes));
    if (!WriteAt(file.get(), position, silentBytes.data(), count)) {
      Fail(kExitFile, "Cannot write to file %s\n", wavPath.name.c_str());
    }
    position += static_cast<int64_t>(count);
    remaining -= static_cast<int64_t>(count);
  }
  if (!CloseWritten(file)) Fail(kExitFile, "Cannot write to file %s\n", wavPath.name.c_str());
  return audioStart;
}

}  // namespace wavsplice
