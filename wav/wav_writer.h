// Writing a WAV file through the descriptor its owner holds open: the header of the format (RF64
// for files beyond 4 GiB), silence laid into its data area, and audio appended after the header.
// The run writes the destination and every scratch file this way, each opened once, by its owner.
#pragma once

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

#include "wav/chunk_scan.h"
#include "wav/pcm_format.h"

namespace wavsplice {

constexpr int32_t kCanonicalHeaderBytes = 44;

// The most frames of frameSize bytes (at least 1) a data area can hold so that every byte lies at a
// signed 64-bit file offset, wherever the chunk scan finds the data chunk (at most 131072 + 8 bytes
// in): 2^63 frames in principle; the disk decides in practice.
constexpr int64_t MaxDataFrames(int64_t frameSize) {
  return (INT64_MAX - kLastChunkCandidate - kDataTagToAudio) / (frameSize > 0 ? frameSize : 1);
}

// One WAV file being written: its descriptor (owned by the caller, open for reading and writing),
// its format, where its audio starts once the header is written, and the name messages give it.
class WavWriter {
 public:
  WavWriter(int fd, const PcmFormat& format, std::string name)
      : fd_(fd), format_(format), name_(std::move(name)) {}

  int fd() const { return fd_; }
  const PcmFormat& format() const { return format_; }
  const std::string& name() const { return name_; }
  // File position of the first audio byte; 0 until MAKE_HEADER.
  int64_t audioStart() const { return audioStart_; }

  // Writes count bytes of audio after what is written so far (the header, then earlier appends).
  // False on any failure.
  bool Append(const void* bytes, size_t count);

 private:
  friend bool MAKE_HEADER(WavWriter& wav, int64_t frameCount,
                          const std::vector<unsigned char>& metadataChunks);

  int fd_;
  PcmFormat format_;
  std::string name_;
  int64_t audioStart_ = 0;
  int64_t end_ = 0;  // file position just past the last byte written
};

// Writes at the start of the writer's file, which is empty (as every file a run creates for itself
// is), the header (HeaderBytes) of a file of frameCount frames of its format, holding
// metadataChunks before its "data" chunk: RF64 when the whole file would pass 4 GiB - 1 byte. False
// when it cannot be written.
bool MAKE_HEADER(WavWriter& wav, int64_t frameCount,
                 const std::vector<unsigned char>& metadataChunks = {});

// Writes frameCount silent frames (the format's silence: 0x80 bytes for 8-bit, zero bytes
// otherwise) from frame startSample of the writer's data area. Ends the run with exit status 2
// ("Cannot write to file", naming wav.name()) when the file cannot be written, and at once when the
// disk has no room for the silence past the end of the file.
void PAD_FILE(const WavWriter& wav, int64_t startSample, int64_t frameCount);

}  // namespace wavsplice
