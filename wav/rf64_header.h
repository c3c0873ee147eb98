// Headers of WAV files too large for RIFF's 32-bit sizes: the RF64 layout (EBU Tech 3306), chosen
// once from the file's known length.
#pragma once

#include <cstdint>
#include <vector>

namespace wavsplice {

// The largest file, header and audio together, that a RIFF header can describe: its sizes are
// unsigned 32-bit and the RIFF size excludes the first 8 bytes.
constexpr uint64_t kMaxRiffFileBytes = 0xFFFFFFFFull;

// Whether a file of headerBytes + dataBytes needs the RF64 layout.
bool NeedsRf64(uint64_t headerBytes, uint64_t dataBytes);

// Turns a RIFF header (from "RIFF" to the data chunk's size field, which ends it) into the RF64
// header of the same audio: "RF64" in place of "RIFF", a ds64 chunk after "WAVE" holding the 64-bit
// RIFF size, data size and frame count, and the 32-bit RIFF, data (and fact) sizes set to
// 0xFFFFFFFF, which tells readers to take them from ds64.
std::vector<unsigned char> Rf64FromRiffHeader(const std::vector<unsigned char>& riffHeader,
                                              uint64_t dataBytes, uint64_t frames);

}  // namespace wavsplice
