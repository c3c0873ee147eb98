#include "wav/chunk_scan.h"

#include <algorithm>
#include <cstring>
#include <vector>

#include "common/file_io.h"
#include "wav/byte_order.h"

namespace wavsplice {

namespace {

// Most files hold their chunks near the start; read a small prefix first and the whole scanned
// range only when the tag is not in it.
constexpr size_t kFirstReadBytes = 4096;

// Walks at most this many chunks: a file of empty chunks ends the walk early instead of taking one
// read per 8 bytes.
constexpr size_t kMostChunksWalked = 4096;
constexpr int64_t kRiffPreamble = 12;  // "RIFF", its size, "WAVE"

int64_t ScanBuffer(const std::vector<unsigned char>& bytes, size_t length, std::string_view tag,
                   int64_t from = 2) {
  for (int64_t p = from; p <= kLastChunkCandidate; p += 2) {
    if (static_cast<size_t>(p) + tag.size() > length) break;
    if (std::memcmp(bytes.data() + p, tag.data(), tag.size()) == 0) return p;
  }
  return -1;
}

// A metadata chunk in the layout this program writes: a cue table whose size is its count's, a LIST
// of labels or of INFO tags, a bext with its fixed fields, an iXML. The scan passes over a "data"
// inside one of these (a cue point's fccChunk, a label's text); inside anything else it is taken,
// as it always was.
bool IsWellFormedMetadata(std::FILE* wavFile, const ChunkPlace& chunk) {
  constexpr uint32_t kBextFixedBytes = 602;
  unsigned char head[4] = {};
  const bool headRead = chunk.size >= 4 && ReadAt(wavFile, chunk.at + 8, head, 4) == 4;
  if (std::memcmp(chunk.tag, "cue ", 4) == 0) {
    return headRead && (chunk.size - 4) % 24 == 0 && ReadLe32(head) == (chunk.size - 4) / 24;
  }
  if (std::memcmp(chunk.tag, "LIST", 4) == 0) {
    return headRead && (std::memcmp(head, "adtl", 4) == 0 || std::memcmp(head, "INFO", 4) == 0);
  }
  if (std::memcmp(chunk.tag, "bext", 4) == 0) return chunk.size >= kBextFixedBytes;
  return std::memcmp(chunk.tag, "iXML", 4) == 0;
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

std::vector<ChunkPlace> WalkChunks(std::FILE* wavFile, int64_t from, int64_t stop) {
  std::vector<ChunkPlace> chunks;
  const int64_t fileSize = FileSize(wavFile);
  for (int64_t at = from; at < stop && chunks.size() < kMostChunksWalked;) {
    unsigned char header[8];
    if (at > fileSize - 8 || ReadAt(wavFile, at, header, sizeof header) != sizeof header) break;
    ChunkPlace& chunk = chunks.emplace_back();
    std::memcpy(chunk.tag, header, 4);
    chunk.at = at;
    chunk.size = ReadLe32(header + 4);
    const int64_t next = at + 8 + chunk.size + (chunk.size & 1);
    if (next > fileSize + 1) break;  // past the file (a last pad byte may be missing)
    at = next;
  }
  return chunks;
}

bool IsMetadataChunk(const ChunkPlace& chunk) {
  for (const char* tag : {"cue ", "LIST", "bext", "iXML"}) {
    if (std::memcmp(chunk.tag, tag, 4) == 0) return true;
  }
  return false;
}

int64_t FindAudioStart(std::FILE* wavFile) {
  int64_t tagAt = FIND_CHUNK(wavFile, "data");
  std::vector<unsigned char> bytes;
  // Files without metadata before their audio (every file the scan alone read right) end at the
  // first walk.
  for (int64_t from = kRiffPreamble; tagAt >= 0;) {
    const std::vector<ChunkPlace> chunks = WalkChunks(wavFile, from, tagAt);
    const auto holder =
        std::find_if(chunks.begin(), chunks.end(), [wavFile, tagAt](const ChunkPlace& c) {
          return tagAt >= c.at + 8 && tagAt < c.at + 8 + c.size && IsWellFormedMetadata(wavFile, c);
        });
    if (holder == chunks.end()) return tagAt + kDataTagToAudio;
    if (bytes.empty()) {
      bytes.resize(static_cast<size_t>(kLastChunkCandidate) + 4);
      bytes.resize(ReadAt(wavFile, 0, bytes.data(), bytes.size()));
    }
    from = holder->at + 8 + holder->size + (holder->size & 1);
    tagAt = ScanBuffer(bytes, bytes.size(), "data", from);
  }
  return -1;
}

}  // namespace wavsplice
