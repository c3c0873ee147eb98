// Bytes of a WAV file under construction: little-endian fields, tags, texts and whole chunks
// appended in order, for the header and its metadata.
#pragma once

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "wav/byte_order.h"

namespace wavsplice {

// Little-endian fields and tags appended to a chunk under construction.
struct ByteWriter {
  std::vector<unsigned char> bytes;
  void Tag(const char* tag) {
    // Through a local copy, as the fields are: GCC 12 misreads an insert straight from a string
    // literal as an overflow.
    unsigned char field[4];
    std::memcpy(field, tag, 4);
    bytes.insert(bytes.end(), field, field + 4);
  }
  void Le16(uint32_t value) {
    unsigned char field[2];
    WriteLe16(field, value);
    bytes.insert(bytes.end(), field, field + 2);
  }
  void Le32(uint32_t value) {
    unsigned char field[4];
    WriteLe32(field, value);
    bytes.insert(bytes.end(), field, field + 4);
  }
  void Le64(uint64_t value) {
    unsigned char field[8];
    WriteLe64(field, value);
    bytes.insert(bytes.end(), field, field + 8);
  }
  void Text(const std::string& text) { bytes.insert(bytes.end(), text.begin(), text.end()); }
  // A text in a field of width bytes, cut to fit, zero-filled.
  void Fixed(const std::string& text, size_t width) {
    const size_t kept = std::min(text.size(), width);
    bytes.insert(bytes.end(), text.begin(), text.begin() + static_cast<std::ptrdiff_t>(kept));
    bytes.insert(bytes.end(), width - kept, 0);
  }
  // A chunk: tag, size (the pad byte not counted), payload, pad.
  void Chunk(const char* tag, const std::vector<unsigned char>& payload) {
    Tag(tag);
    Le32(static_cast<uint32_t>(payload.size()));
    bytes.insert(bytes.end(), payload.begin(), payload.end());
    if (payload.size() % 2 != 0) bytes.push_back(0);
  }
};

}  // namespace wavsplice
