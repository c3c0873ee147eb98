#include "wav/wav_header.h"

#include <algorithm>
#include <cstring>

#include "wav/byte_order.h"
#include "wav/byte_writer.h"
#include "wav/rf64_header.h"

namespace wavsplice {

namespace {

constexpr int64_t kRiffPreamble = 12;        // "RIFF", its size, "WAVE"
constexpr int64_t kChunkPreamble = 8;        // tag and size of a chunk
constexpr int64_t kPlainFmtBytes = 16;       // the canonical fmt payload
constexpr int64_t kFloatFmtBytes = 18;       // + cbSize
constexpr int64_t kExtensibleFmtBytes = 40;  // + cbSize 22 and its 22 bytes
constexpr int64_t kFactBytes = 4;

// The GUID of an extensible sub-format after its two-byte code:
// xxxxxxxx-0000-0010-8000-00aa00389b71.
constexpr unsigned char kSubFormatGuidTail[14] = {0x00, 0x00, 0x00, 0x00, 0x10, 0x00, 0x80,
                                                  0x00, 0x00, 0xaa, 0x00, 0x38, 0x9b, 0x71};

int64_t FmtPayloadBytes(HeaderLayout layout) {
  switch (layout) {
    case HeaderLayout::kCanonical:
      return kPlainFmtBytes;
    case HeaderLayout::kFloat:
      return kFloatFmtBytes;
    default:
      return kExtensibleFmtBytes;
  }
}

}  // namespace

HeaderLayout ChooseHeaderLayout(const PcmFormat& format) {
  if ((format.channels & 0xffff) > 2) return HeaderLayout::kExtensible;
  return format.IsFloat() ? HeaderLayout::kFloat : HeaderLayout::kCanonical;
}

int64_t HeaderLength(const PcmFormat& format) {
  const HeaderLayout layout = ChooseHeaderLayout(format);
  const int64_t fact = format.IsFloat() ? kChunkPreamble + kFactBytes : 0;
  return kRiffPreamble + kChunkPreamble + FmtPayloadBytes(layout) + fact + kChunkPreamble;
}

std::vector<unsigned char> HeaderBytes(const PcmFormat& format, int64_t frameCount,
                                       const std::vector<unsigned char>& metadataChunks) {
  const HeaderLayout layout = ChooseHeaderLayout(format);
  const uint32_t channels = static_cast<uint32_t>(format.channels) & 0xffff;
  const uint32_t containerBytes = static_cast<uint32_t>(format.containerBytes);
  const uint64_t frames64 = frameCount > 0 ? static_cast<uint64_t>(frameCount) : 0;
  const uint64_t dataBytes = frames64 * containerBytes * channels;
  // Exact in a RIFF header; an RF64 header takes the sizes from ds64.
  const uint32_t frames = static_cast<uint32_t>(frames64);
  const uint32_t dataSize = static_cast<uint32_t>(dataBytes);
  const uint32_t headerLength =
      static_cast<uint32_t>(HeaderLength(format) + static_cast<int64_t>(metadataChunks.size()));
  const uint32_t rate = static_cast<uint32_t>(format.sampleRate);
  const uint32_t tag = layout == HeaderLayout::kExtensible ? kFormatTagExtensible
                       : format.IsFloat()                  ? kFormatTagFloat
                                                           : kFormatTagPcm;
  ByteWriter header;
  header.Tag("RIFF");
  header.Le32(dataSize + headerLength - kChunkPreamble);
  header.Tag("WAVE");
  header.Tag("fmt ");
  header.Le32(static_cast<uint32_t>(FmtPayloadBytes(layout)));
  header.Le16(tag);
  header.Le16(channels);
  header.Le32(rate);
  header.Le32(rate * containerBytes * channels);
  header.Le16(channels * containerBytes);
  header.Le16(containerBytes * 8);
  if (layout == HeaderLayout::kFloat) header.Le16(0);  // cbSize: nothing follows
  if (layout == HeaderLayout::kExtensible) {
    header.Le16(kExtensibleFmtBytes - kFloatFmtBytes);  // cbSize
    header.Le16(static_cast<uint32_t>(format.validBits));
    header.Le32(format.channelMask);
    header.Le16(format.IsFloat() ? kFormatTagFloat : kFormatTagPcm);
    header.bytes.insert(header.bytes.end(), std::begin(kSubFormatGuidTail),
                        std::end(kSubFormatGuidTail));
  }
  if (format.IsFloat()) {
    header.Tag("fact");
    header.Le32(kFactBytes);
    header.Le32(frames);
  }
  header.bytes.insert(header.bytes.end(), metadataChunks.begin(), metadataChunks.end());
  header.Tag("data");
  header.Le32(dataSize);
  if (!NeedsRf64(header.bytes.size(), dataBytes)) return header.bytes;
  return Rf64FromRiffHeader(header.bytes, dataBytes, frames64);
}

}  // namespace wavsplice
