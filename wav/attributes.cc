#include "wav/attributes.h"

#include <algorithm>
#include <array>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <limits>
#include <vector>

#include "common/file_io.h"
#include "wav/byte_order.h"
#include "wav/chunk_scan.h"

namespace wavsplice {

namespace {

// Offsets within the fmt chunk, counted from its tag.
constexpr int64_t kFormatTagAt = 8;
constexpr int64_t kChannelsAt = 10;
constexpr int64_t kSampleRateAt = 12;
constexpr int64_t kBitsAt = 22;
constexpr int64_t kValidBitsAt = 26;    // extensible
constexpr int64_t kChannelMaskAt = 28;  // extensible
constexpr int64_t kSubFormatAt = 32;    // the GUID's first two bytes (extensible)
constexpr size_t kFormatFieldsBytes = 34;
// A 32-bit size of 0xFFFFFFFF in an RF64 file means "see ds64"; the ds64 chunk holds, after its tag
// and size, the 64-bit RIFF size and then the 64-bit data size.
constexpr uint32_t kSizeInDs64 = 0xFFFFFFFFu;
constexpr int64_t kDs64DataSizeAt = 16;

// The encoding a format tag (or an extensible file's sub-format) names; false for every other
// coding.
bool EncodingOf(const TrackAttributes& attributes, SampleEncoding& encoding) {
  const int32_t code = attributes.audioFormat == kFormatTagExtensible ? attributes.subFormat
                                                                      : attributes.audioFormat;
  if (code == kFormatTagPcm) {
    encoding = SampleEncoding::kInteger;
    return true;
  }
  if (code == kFormatTagFloat) {
    encoding = SampleEncoding::kFloat;
    return true;
  }
  return false;
}

void ReadFormatFields(std::FILE* file, int64_t fmtAt, TrackAttributes& attributes) {
  // A short file leaves the missing bytes at 0.
  std::array<unsigned char, kFormatFieldsBytes> fields{};
  ReadAt(file, fmtAt, fields.data(), fields.size());
  attributes.audioFormat = static_cast<int32_t>(ReadLe16(&fields[kFormatTagAt]));
  attributes.subFormat = static_cast<int32_t>(ReadLe16(&fields[kSubFormatAt]));
  attributes.bits = static_cast<int32_t>(ReadLe16(&fields[kBitsAt]));
  // The rate is kept as its 32-bit pattern, as every later use reads it.
  PcmFormat& format = attributes.format;
  format = IntegerFormat(attributes.bits / 8, static_cast<int32_t>(ReadLe16(&fields[kChannelsAt])),
                         static_cast<int32_t>(ReadLe32(&fields[kSampleRateAt])));
  EncodingOf(attributes, format.encoding);
  if (attributes.audioFormat != kFormatTagExtensible) return;
  // A valid-bits field of 0 or beyond the container says nothing usable.
  const int32_t validBits = static_cast<int32_t>(ReadLe16(&fields[kValidBitsAt]));
  if (validBits > 0 && validBits <= format.Bits()) format.validBits = validBits;
  format.channelMask = ReadLe32(&fields[kChannelMaskAt]);
}

// The data chunk's size as its header declares it: the 32-bit field, or, in an RF64 or BW64 file
// whose field holds 0xFFFFFFFF, the 64-bit size of its ds64 chunk. -1 when no size can be read, and
// for 0xFFFFFFFF in a plain RIFF file: that is a streaming writer's "unknown", not a size.
int64_t DeclaredDataBytes(std::FILE* file, int64_t dataTagAt) {
  std::array<unsigned char, 4> sizeField{};
  if (ReadAt(file, dataTagAt + 4, sizeField.data(), sizeField.size()) != sizeField.size()) {
    return -1;
  }
  const uint32_t declared = ReadLe32(sizeField.data());
  if (declared != kSizeInDs64) return declared;
  std::array<unsigned char, 4> riffId{};
  ReadAt(file, 0, riffId.data(), riffId.size());
  const bool has64BitSizes =
      std::memcmp(riffId.data(), "RF64", 4) == 0 || std::memcmp(riffId.data(), "BW64", 4) == 0;
  const int64_t ds64At = has64BitSizes ? FIND_CHUNK(file, "ds64") : -1;
  std::array<unsigned char, 8> ds64Size{};
  if (ds64At < 0 ||
      ReadAt(file, ds64At + kDs64DataSizeAt, ds64Size.data(), ds64Size.size()) != ds64Size.size()) {
    return -1;
  }
  const uint64_t size = ReadLe64(ds64Size.data());
  return size > static_cast<uint64_t>(std::numeric_limits<int64_t>::max())
             ? -1
             : static_cast<int64_t>(size);
}

constexpr int64_t kRiffPreamble = 12;  // "RIFF", its size, "WAVE"

// The payloads of the metadata chunks among chunks; a chunk that runs past the file or is too large
// to be metadata is recorded as a fault instead.
void ReadPayloads(std::FILE* file, const std::vector<ChunkPlace>& chunks,
                  std::vector<ChunkPayload>& payloads, SourceMetadata& metadata) {
  const int64_t fileSize = FileSize(file);
  for (const ChunkPlace& chunk : chunks) {
    if (!IsMetadataChunk(chunk)) continue;
    if (chunk.size > kMostMetadataBytes) {
      metadata.faults.push_back({MetadataFault::kChunkTooLarge, chunk.tag});
      continue;
    }
    ChunkPayload& payload = payloads.emplace_back();
    payload.tag = chunk.tag;
    payload.bytes.resize(chunk.size);
    if (chunk.at + 8 + chunk.size > fileSize ||
        ReadAt(file, chunk.at + 8, payload.bytes.data(), chunk.size) != chunk.size) {
      metadata.faults.push_back({MetadataFault::kChunkPastFile, chunk.tag});
      payloads.pop_back();
    }
  }
}

// The metadata of the chunks before the data chunk and, when its declared size ends the audio
// inside the file, of those after it.
SourceMetadata ReadMetadata(std::FILE* file, const TrackAttributes& attributes) {
  std::vector<ChunkPayload> payloads;
  SourceMetadata faults;
  const int64_t dataTagAt = attributes.dataOffset - kDataTagToAudio;
  ReadPayloads(file, WalkChunks(file, kRiffPreamble, dataTagAt), payloads, faults);
  const int64_t audioBytes = attributes.audioEnd - attributes.dataOffset;
  if (attributes.audioEnd < FileSize(file)) {
    ReadPayloads(file, WalkChunks(file, attributes.audioEnd + (audioBytes & 1), INT64_MAX),
                 payloads, faults);
  }
  SourceMetadata metadata = ParseMetadata(payloads);
  metadata.faults.insert(metadata.faults.begin(), faults.faults.begin(), faults.faults.end());
  return metadata;
}

}  // namespace

// The declared size when it is believable, so that chunks after the audio are never read as audio;
// else everything to the end of the file (streaming recorders leave the size at 0 or 0xFFFFFFFF,
// and a file cut short keeps what it holds).
int64_t AudioEnd(std::FILE* wavFile, int64_t dataOffset) {
  const int64_t fileSize = std::max<int64_t>(0, FileSize(wavFile));
  const int64_t declared = DeclaredDataBytes(wavFile, dataOffset - kDataTagToAudio);
  if (declared > 0 && declared <= fileSize - dataOffset) return dataOffset + declared;
  return fileSize;
}

AttributesRead GET_ATTRIBUTES(const std::string& wavPath, TrackAttributes& attributes,
                              SourceMetadata* metadata) {
  attributes = TrackAttributes();
  FileHandle file = OpenFile(wavPath, "rb");
  if (!file) return AttributesRead::kNoFile;

  int64_t fmtAt = FIND_CHUNK(file.get(), "fmt");
  if (fmtAt < 0) {
    fmtAt = kLastChunkCandidate;
    attributes.formatChunkMissing = true;
  }
  ReadFormatFields(file.get(), fmtAt, attributes);

  attributes.dataOffset = FindAudioStart(file.get());
  if (attributes.dataOffset < 0) return AttributesRead::kNoData;
  attributes.audioEnd = AudioEnd(file.get(), attributes.dataOffset);
  const int64_t frameSize = attributes.format.FrameBytes();
  attributes.lengthSamples =
      frameSize == 0 ? 0 : (attributes.audioEnd - attributes.dataOffset) / frameSize;
  if (metadata != nullptr) *metadata = ReadMetadata(file.get(), attributes);
  return AttributesRead::kRead;
}

bool IsSupportedFormat(const TrackAttributes& attributes) {
  SampleEncoding encoding = SampleEncoding::kInteger;
  if (!EncodingOf(attributes, encoding)) return false;
  // A rate read as negative is a header field of 2^31 or more: garbage.
  if (attributes.format.sampleRate <= 0) return false;
  // Whole bytes only: 12 or 20 bits in the field name no container.
  if (attributes.bits % 8 != 0) return false;
  return attributes.format.HasCodec();
}

}  // namespace wavsplice
