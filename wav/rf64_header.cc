#include "wav/rf64_header.h"

#include <array>
#include <cstring>

#include "wav/byte_order.h"

namespace wavsplice {

namespace {

constexpr size_t kRiffPreambleBytes = 12;  // "RIFF", its size, "WAVE"
// "RF64", its size, "WAVE", then the ds64 chunk: tag, size 28, the 64-bit RIFF size, data size and
// frame count, and a table of other chunks' sizes, empty.
constexpr size_t kRf64PreambleBytes = 48;
constexpr uint32_t kDs64PayloadBytes = 28;
constexpr uint32_t kSizeInDs64 = 0xFFFFFFFFu;

void CopyTag(unsigned char* at, const char* tag) { std::memcpy(at, tag, 4); }

// The fact chunk's 32-bit frame count (float and extensible files) also moves to ds64.
void MarkFactCount(std::vector<unsigned char>& header) {
  for (size_t at = kRiffPreambleBytes; at + 12 <= header.size();) {
    const uint32_t size = ReadLe32(&header[at + 4]);
    if (std::memcmp(&header[at], "fact", 4) == 0) WriteLe32(&header[at + 8], kSizeInDs64);
    if (std::memcmp(&header[at], "data", 4) == 0) return;
    at += 8 + static_cast<size_t>(size) + (size & 1);
  }
}

}  // namespace

bool NeedsRf64(uint64_t headerBytes, uint64_t dataBytes) {
  return dataBytes > kMaxRiffFileBytes || headerBytes + dataBytes > kMaxRiffFileBytes;
}

std::vector<unsigned char> Rf64FromRiffHeader(const std::vector<unsigned char>& riffHeader,
                                              uint64_t dataBytes, uint64_t frames) {
  const size_t chunkBytes = riffHeader.size() - kRiffPreambleBytes;
  std::array<unsigned char, kRf64PreambleBytes> preamble{};
  CopyTag(&preamble[0], "RF64");
  WriteLe32(&preamble[4], kSizeInDs64);
  CopyTag(&preamble[8], "WAVE");
  CopyTag(&preamble[12], "ds64");
  WriteLe32(&preamble[16], kDs64PayloadBytes);
  WriteLe64(&preamble[20], kRf64PreambleBytes + chunkBytes + dataBytes - 8);
  WriteLe64(&preamble[28], dataBytes);
  WriteLe64(&preamble[36], frames);
  WriteLe32(&preamble[44], 0);

  std::vector<unsigned char> out(preamble.begin(), preamble.end());
  out.resize(kRf64PreambleBytes + chunkBytes);
  std::memcpy(&out[kRf64PreambleBytes], &riffHeader[kRiffPreambleBytes], chunkBytes);
  MarkFactCount(out);
  WriteLe32(&out[out.size() - 4], kSizeInDs64);  // the data chunk's size
  return out;
}

}  // namespace wavsplice
