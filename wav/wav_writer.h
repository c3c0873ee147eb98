// Creating WAV files: the header of the format (RF64 for files beyond
// 4 GiB), and silence laid into the data area of an existing file.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "common/file_io.h"
#include "wav/chunk_scan.h"
#include "wav/pcm_format.h"

namespace wavsplice {

constexpr int32_t kCanonicalHeaderBytes = 44;

// The most frames of frameSize bytes (at least 1) a data area can hold so
// that every byte lies at a signed 64-bit file offset, wherever the chunk
// scan finds the data chunk (at most 131072 + 8 bytes in): 2^63 frames in
// principle; the disk decides in practice.
constexpr int64_t MaxDataFrames(int64_t frameSize) {
  return (INT64_MAX - kLastChunkCandidate - kDataTagToAudio) / (frameSize > 0 ? frameSize : 1);
}

enum class WriteResult { kOk, kCannotCreate, kCannotWrite };

// Creates (or truncates) wavPath as the header (HeaderBytes) of a file of
// frameCount frames of the format, holding metadataChunks before its
// "data" chunk: RF64 when the whole file would pass 4 GiB - 1 byte.
WriteResult MAKE_HEADER(const std::string& wavPath, const PcmFormat& format, int64_t frameCount,
                        const std::vector<unsigned char>& metadataChunks = {});

// Writes frameCount silent frames (the format's silence: 0x80 bytes for
// 8-bit, zero bytes otherwise) from frame startSample of the data area of
// the existing file wavPath.path. Ends the run with exit status 2 when the
// file has no "data" chunk, cannot be opened ("Cannot create destination
// file") or cannot be written ("Cannot write to file"), naming wavPath.name;
// also at once when the disk has no room for the silence past the end of
// the file. Returns the file position of the first audio byte, which the
// run keeps rather than look for again.
int64_t PAD_FILE(const NamedPath& wavPath, const PcmFormat& format, int64_t startSample,
                 int64_t frameCount);

}  // namespace wavsplice
