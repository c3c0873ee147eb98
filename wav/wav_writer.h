// Creating WAV files: the header of the format, and silence laid into the
// data area of an existing file.
#pragma once

#include <cstdint>
#include <string>

#include "common/file_io.h"
#include "wav/pcm_format.h"

namespace wavsplice {

constexpr int32_t kCanonicalHeaderBytes = 44;

enum class WriteResult { kOk, kCannotCreate, kCannotWrite };

// Creates (or truncates) wavPath as the header (HeaderBytes) of a file of
// frameCount frames of the format.
WriteResult MAKE_HEADER(const std::string& wavPath, const PcmFormat& format, int64_t frameCount);

// The same for integer PCM of bits / 8 bytes per value: the 44-byte header
// for 1 or 2 channels. Sizes are computed modulo 2^32 and channels is taken
// as its low 16 bits, as the header fields hold them.
WriteResult MAKE_HEADER(const std::string& wavPath, uint32_t sampleRate, uint32_t bits,
                        int32_t lengthSamples, uint32_t channels);

// Writes frameCount silent frames (the format's silence: 0x80 bytes for
// 8-bit, zero bytes otherwise) from frame startSample of the data area of
// the existing file wavPath.path. Ends the run with exit status 2 when the
// file has no "data" chunk, cannot be opened ("Cannot create destination
// file") or cannot be written ("Cannot write to file"), naming wavPath.name.
void PAD_FILE(const NamedPath& wavPath, const PcmFormat& format, int64_t startSample,
              int64_t frameCount);

// The same for integer PCM of bytesPerSample bytes per value.
void PAD_FILE(const std::string& wavPath, int32_t startSample, int32_t bytesPerSample,
              int32_t channels, int32_t frameCount);

}  // namespace wavsplice
