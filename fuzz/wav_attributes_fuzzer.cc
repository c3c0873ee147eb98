// Fuzzes the chunk scan and the source attributes with arbitrary file bytes: every value must come
// from inside the file, and a file without audio must fail with status 2, never crash or read out
// of bounds.
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>

#include "common/failure.h"
#include "common/file_io.h"
#include "fuzz/fuzz_scratch.h"
#include "task/run_state.h"
#include "wav/attributes.h"
#include "wav/chunk_scan.h"

namespace {

using wavsplice::fuzz::Broken;

// The scan's answer, checked against the bytes themselves.
int64_t ScanAndCheck(std::FILE* file, const uint8_t* data, size_t size, const char* tag) {
  const size_t tagSize = std::strlen(tag);
  const int64_t found = wavsplice::FIND_CHUNK(file, std::string(tag, tagSize));
  int64_t expected = -1;
  for (int64_t p = 2; p <= wavsplice::kLastChunkCandidate; p += 2) {
    if (static_cast<size_t>(p) + tagSize > size) break;
    if (std::memcmp(data + p, tag, tagSize) == 0) {
      expected = p;
      break;
    }
  }
  if (found != expected) Broken("chunk scan disagrees with the bytes");
  return found;
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  wavsplice::fuzz::SilenceStdout();
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string path = wavsplice::fuzz::ScratchDir() + "/source.wav";
  wavsplice::fuzz::WriteBytes(path, data, size);

  int64_t dataTagAt;
  {
    wavsplice::FileHandle file = wavsplice::OpenFile(path, "rb");
    if (!file) Broken("cannot open the written file");
    ScanAndCheck(file.get(), data, size, "fmt");
    dataTagAt = ScanAndCheck(file.get(), data, size, "data");
  }

  wavsplice::TrackAttributes attributes;
  wavsplice::SourceMetadata metadata;
  switch (wavsplice::GET_ATTRIBUTES(path, attributes, &metadata)) {
    case wavsplice::AttributesRead::kNoFile:
      Broken("cannot read the written file");
    case wavsplice::AttributesRead::kNoData:
      // A "data" candidate may lie inside a well-formed metadata chunk, which the scan passes over:
      // then the file can have no audio after all.
      return 0;
    case wavsplice::AttributesRead::kRead:
      break;
  }
  for (const wavsplice::Marker& marker : metadata.markers) {
    if (marker.frame < 0 || marker.frame > 0xFFFFFFFFll) Broken("marker frame");
  }
  if (metadata.ixml.size() > size || metadata.info.size() > size) Broken("metadata size");
  if (dataTagAt < 0) Broken("attributes without a data chunk");
  // The first candidate, or a later one when the first lies inside a well-formed metadata chunk.
  const int64_t tagAt = attributes.dataOffset - 8;
  if (tagAt < dataTagAt || static_cast<size_t>(tagAt) + 4 > size ||
      std::memcmp(data + tagAt, "data", 4) != 0) {
    Broken("data offset");
  }
  const wavsplice::PcmFormat& format = attributes.format;
  if (format.channels < 0 || format.channels > 65535) Broken("channels");
  if (attributes.bits < 0 || attributes.bits > 65535) Broken("bits");
  if (format.containerBytes != attributes.bits / 8) Broken("bytes per sample");
  const int64_t frameSize = format.FrameBytes();
  const int64_t audioBytes = static_cast<int64_t>(size) - attributes.dataOffset;
  if (frameSize == 0 && attributes.lengthSamples != 0) Broken("length without frames");
  if (attributes.lengthSamples > 0 && attributes.lengthSamples * frameSize > audioBytes) {
    Broken("length runs past the end of the file");
  }
  return 0;
}
