// Creating WAV files: the canonical 44-byte PCM header, and silence laid
// into the data area of an existing file.
#pragma once

#include <cstdint>
#include <string>

namespace wavsplice {

constexpr int32_t kCanonicalHeaderBytes = 44;

enum class WriteResult { kOk, kCannotCreate, kCannotWrite };

// Creates (or truncates) wavPath as the 44-byte header of an integer PCM
// file of lengthSamples frames. Sizes are computed modulo 2^32 and channels
// is taken as its low 16 bits, as the header fields hold them.
WriteResult MAKE_HEADER(const std::string& wavPath, uint32_t sampleRate, uint32_t bits,
                        int32_t lengthSamples, uint32_t channels);

// Writes frameCount silent frames (zero bytes) from frame startSample of the
// data area of the existing file wavPath; a gap past the end of the file
// reads back as zeros. Ends the run with exit status 2 when the file has no
// "data" chunk, cannot be opened ("Cannot create destination file") or
// cannot be written ("Cannot write to file").
void PAD_FILE(const std::string& wavPath, int32_t startSample, int32_t bytesPerSample,
              int32_t channels, int32_t frameCount);

}  // namespace wavsplice
