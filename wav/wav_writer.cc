#include "wav/wav_writer.h"

#include <algorithm>
#include <array>
#include <vector>

#include "common/failure.h"
#include "common/file_io.h"
#include "wav/byte_order.h"
#include "wav/chunk_scan.h"

namespace wavsplice {

namespace {

// Silence goes out in chunks of this many bytes: few writes, little memory.
constexpr size_t kSilenceChunkBytes = 256 * 1024;

std::array<unsigned char, kCanonicalHeaderBytes> HeaderBytes(uint32_t sampleRate,
                                                            uint32_t bits,
                                                            int32_t lengthSamples,
                                                            uint32_t channels) {
  const uint32_t bytes = bits / 8;
  const uint32_t channels16 = channels & 0xffff;
  const uint32_t dataSize = static_cast<uint32_t>(lengthSamples) * bytes * channels16;
  std::array<unsigned char, kCanonicalHeaderBytes> header{};
  const auto tag = [&header](size_t at, const char* text) {
    std::copy(text, text + 4, header.begin() + static_cast<long>(at));
  };
  tag(0, "RIFF");
  WriteLe32(&header[4], dataSize + 36);
  tag(8, "WAVE");
  tag(12, "fmt ");
  WriteLe32(&header[16], 16);
  WriteLe16(&header[20], 1);  // integer PCM
  WriteLe16(&header[22], channels16);
  WriteLe32(&header[24], sampleRate);
  WriteLe32(&header[28], sampleRate * bytes * channels16);
  WriteLe16(&header[32], (channels16 * bits / 8) & 0xffff);
  WriteLe16(&header[34], bits & 0xffff);
  tag(36, "data");
  WriteLe32(&header[40], dataSize);
  return header;
}

}  // namespace

WriteResult MAKE_HEADER(const std::string& wavPath, uint32_t sampleRate, uint32_t bits,
                        int32_t lengthSamples, uint32_t channels) {
  const auto header = HeaderBytes(sampleRate, bits, lengthSamples, channels);
  FileHandle file = OpenFile(wavPath, "wb");
  if (!file) return WriteResult::kCannotCreate;
  const bool written = std::fwrite(header.data(), 1, header.size(), file.get()) == header.size();
  const bool closed = CloseWritten(file);
  return written && closed ? WriteResult::kOk : WriteResult::kCannotWrite;
}

void PAD_FILE(const std::string& wavPath, int32_t startSample, int32_t bytesPerSample,
              int32_t channels, int32_t frameCount) {
  FileHandle file = OpenFile(wavPath, "rb+");
  if (!file) Fail(kExitFile, "Cannot create destination file %s\n", wavPath.c_str());
  const int64_t dataTagAt = FIND_CHUNK(file.get(), "data");
  if (dataTagAt < 0) Fail(kExitFile, "Can't find data block in wave file!\n");

  const int64_t frameSize = static_cast<int64_t>(bytesPerSample) * channels;
  int64_t position = dataTagAt + kDataTagToAudio + static_cast<int64_t>(startSample) * frameSize;
  int64_t remaining = frameCount > 0 ? static_cast<int64_t>(frameCount) * frameSize : 0;
  const std::vector<unsigned char> zeros(
      static_cast<size_t>(std::min<int64_t>(remaining, kSilenceChunkBytes)));
  while (remaining > 0) {
    const size_t count = static_cast<size_t>(std::min<int64_t>(remaining, kSilenceChunkBytes));
    if (!WriteAt(file.get(), position, zeros.data(), count)) {
      Fail(kExitFile, "Cannot write to file %s\n", wavPath.c_str());
    }
    position += static_cast<int64_t>(count);
    remaining -= static_cast<int64_t>(count);
  }
  if (!CloseWritten(file)) Fail(kExitFile, "Cannot write to file %s\n", wavPath.c_str());
}

}  // namespace wavsplice
