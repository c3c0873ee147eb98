#include "wav/chunk_scan.h"

#include <cstring>
#include <vector>

#include "common/failure.h"
#include "common/file_io.h"

namespace wavsplice {

namespace {

// Most files hold their chunks near the start; read a small prefix first and
// the whole scanned range only when the tag is not in it.
constexpr size_t kFirstReadBytes = 4096;

int64_t ScanBuffer(const std::vector<unsigned char>& bytes, size_t length, std::string_view tag) {
  for (int64_t p = 2; p <= kLastChunkCandidate; p += 2) {
    if (static_cast<size_t>(p) + tag.size() > length) break;
    if (std::memcmp(bytes.data() + p, tag.data(), tag.size()) == 0) return p;
  }
  return -1;
}

}  // namespace

int64_t FIND_CHUNK(std::FILE* wavFile, std::string_view chunkTag) {
  const size_t fullRange = static_cast<size_t>(kLastChunkCandidate) + chunkTag.size();
  std::vector<unsigned char> bytes(kFirstReadBytes);
  size_t length = ReadAt(wavFile, 0, bytes.data(), bytes.size());
  int64_t found = ScanBuffer(bytes, length, chunkTag);
  if (found >= 0 || length < bytes.size()) return found;
  bytes.resize(fullRange);
  length = ReadAt(wavFile, 0, bytes.data(), bytes.size());
  return ScanBuffer(bytes, length, chunkTag);
}

int64_t FindAudioStart(std::FILE* wavFile) {
  const int64_t tagAt = FIND_CHUNK(wavFile, "data");
  return tagAt < 0 ? -1 : tagAt + kDataTagToAudio;
}

int64_t DataOffsetOrFail(std::FILE* wavFile, const std::string& wavPath) {
  const int64_t audioStart = FindAudioStart(wavFile);
  // A data chunk placed after a large chunk (a 200 KB XMP packet) is past
  // the scanned range: say so, since the file is otherwise a good WAV file.
  if (audioStart < 0) {
    Fail(kExitFile,
         "Can't find data block in %s: the audio must start within the first 128 KiB of the file\n",
         wavPath.c_str());
  }
  return audioStart;
}

}  // namespace wavsplice
