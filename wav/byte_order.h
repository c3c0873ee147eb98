// Little-endian fields of WAV files, assembled with shifts so that the host's byte order never
// matters.
#pragma once

#include <cstdint>

namespace wavsplice {

inline uint32_t ReadLe16(const unsigned char* bytes) {
  return static_cast<uint32_t>(bytes[0]) | (static_cast<uint32_t>(bytes[1]) << 8);
}

inline uint32_t ReadLe32(const unsigned char* bytes) {
  return static_cast<uint32_t>(bytes[0]) | (static_cast<uint32_t>(bytes[1]) << 8) |
         (static_cast<uint32_t>(bytes[2]) << 16) | (static_cast<uint32_t>(bytes[3]) << 24);
}

inline uint64_t ReadLe64(const unsigned char* bytes) {
  return static_cast<uint64_t>(ReadLe32(bytes)) |
         (static_cast<uint64_t>(ReadLe32(bytes + 4)) << 32);
}

inline void WriteLe16(unsigned char* bytes, uint32_t value) {
  bytes[0] = static_cast<unsigned char>(value & 0xff);
  bytes[1] = static_cast<unsigned char>((value >> 8) & 0xff);
}

inline void WriteLe32(unsigned char* bytes, uint32_t value) {
  WriteLe16(bytes, value & 0xffff);
  WriteLe16(bytes + 2, value >> 16);
}

inline void WriteLe64(unsigned char* bytes, uint64_t value) {
  WriteLe32(bytes, static_cast<uint32_t>(value & 0xffffffffu));
  WriteLe32(bytes + 4, static_cast<uint32_t>(value >> 32));
}

}  // namespace wavsplice
