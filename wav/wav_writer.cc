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
#include "common/messages.h"
#include "wav/byte_order.h"
#include "wav/wav_header.h"

namespace wavsplice {

namespace {

// Silence goes out in chunks of this many bytes: few writes, little memory.
constexpr size_t kSilenceChunkBytes = 256 * 1024;

// Whether this process may write a file up to endBytes long as far as its file size limit goes,
// read from the kernel's table of the process's limits; false when that cannot be learned. (C
// streams rather than iostreams: they add nothing to the program's memory.)
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

// Silence that lies wholly past the end of the file need not be written byte by byte: writing the
// last byte extends the file, and the file system supplies zeros for the gap, as for any gap. For a
// new destination, whose data area the edits then write again, that halves the bytes written. The
// zeros are written out (so that any failure comes at the same byte and leaves the same file)
// unless the outcome is sure to be the same: no file size limit stops the file short of its end,
// and the disk has room for the zeros twice over and 64 MiB more, against everything else the run
// writes after them.
bool MayLeaveZerosToFileSystem(int fd, int64_t position, int64_t bytes) {
  constexpr uint64_t kSpareBytes = 64ull << 20;
  const int64_t fileSize = FileSize(fd);
  if (bytes <= 0 || fileSize < 0 || position < fileSize) return false;
  if (!FileSizeLimitAllows(position + bytes)) return false;
  uint64_t available = 0;
  return AvailableBytes(fd, available) &&
         available >= 2 * static_cast<uint64_t>(bytes) + kSpareBytes;
}

// Silence past the end of the file that the disk has no room for: writing it would only fill the
// disk before failing, so the run fails at once.
bool CannotHoldSilence(int fd, int64_t position, int64_t bytes) {
  const int64_t fileSize = FileSize(fd);
  if (bytes <= 0 || fileSize < 0 || position < fileSize) return false;
  uint64_t available = 0;
  return AvailableBytes(fd, available) && available < static_cast<uint64_t>(bytes);
}

[[noreturn]] void FailToWrite(const WavWriter& wav) {
  Fail(kExitFile, msg::kCannotWriteToFile, wav.name().c_str());
}

}  // namespace

bool WavWriter::Append(const void* bytes, size_t count) {
  if (!WriteAt(fd_, end_, bytes, count)) return false;
  end_ += static_cast<int64_t>(count);
  return true;
}

bool MAKE_HEADER(WavWriter& wav, int64_t frameCount,
                 const std::vector<unsigned char>& metadataChunks) {
  const std::vector<unsigned char> header = HeaderBytes(wav.format(), frameCount, metadataChunks);
  wav.end_ = 0;
  if (!wav.Append(header.data(), header.size())) return false;
  wav.audioStart_ = wav.end_;
  return true;
}

void PAD_FILE(const WavWriter& wav, int64_t startSample, int64_t frameCount) {
  const int64_t frameSize = wav.format().FrameBytes();
  int64_t position = wav.audioStart() + startSample * frameSize;
  int64_t remaining = frameCount > 0 ? frameCount * frameSize : 0;
  if (CannotHoldSilence(wav.fd(), position, remaining)) FailToWrite(wav);
  const unsigned char silence = wav.format().SilenceByte();
  if (silence == 0 && MayLeaveZerosToFileSystem(wav.fd(), position, remaining)) {
    const unsigned char zero = 0;
    if (!WriteAt(wav.fd(), position + remaining - 1, &zero, 1)) FailToWrite(wav);
    remaining = 0;
  }
  const std::vector<unsigned char> silentBytes(
      static_cast<size_t>(std::min<int64_t>(remaining, kSilenceChunkBytes)), silence);
  while (remaining > 0) {
    const size_t count = static_cast<size_t>(std::min<int64_t>(remaining, kSilenceChunkBytes));
    if (!WriteAt(wav.fd(), position, silentBytes.data(), count)) FailToWrite(wav);
    position += static_cast<int64_t>(count);
    remaining -= static_cast<int64_t>(count);
  }
}

}  // namespace wavsplice
