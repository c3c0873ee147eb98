#include "wav/pcm_format.h"

namespace wavsplice {

namespace {

// The sample type a format tag (or an extensible file's sub-format) names;
// false for every other coding.
bool SampleTypeOf(const TrackAttributes& attributes, SampleType& type) {
  const int32_t code = attributes.audioFormat == kFormatTagExtensible ? attributes.subFormat
                                                                      : attributes.audioFormat;
  if (code == kFormatTagPcm) {
    type = SampleType::kInteger;
    return true;
  }
  if (code == kFormatTagFloat) {
    type = SampleType::kFloat;
    return true;
  }
  return false;
}

}  // namespace

double PcmFormat::HighestValue() const {
  switch (containerBytes) {
    case 1:
      return 127.0;
    case 2:
      return 32767.0;
    case 3:
      return 8388607.0;
    default:
      return 2147483647.0;
  }
}

bool PcmFormat::HasCodec() const {
  if (channels < 1 || channels > kMaxChannels) return false;
  if (IsFloat()) return containerBytes == 4 || containerBytes == 8;
  return containerBytes >= 1 && containerBytes <= 4;
}

PcmFormat IntegerFormat(int32_t bytesPerSample, int32_t channels, int32_t sampleRate) {
  PcmFormat format;
  format.sampleRate = sampleRate;
  format.channels = channels;
  format.containerBytes = bytesPerSample;
  format.validBits = bytesPerSample * 8;
  return format;
}

PcmFormat FormatOf(const TrackAttributes& attributes) {
  PcmFormat format =
      IntegerFormat(attributes.bytesPerSample, attributes.channels, attributes.sampleRate);
  SampleTypeOf(attributes, format.sampleType);
  if (attributes.audioFormat == kFormatTagExtensible) {
    // A valid-bits field of 0 or beyond the container says nothing usable.
    if (attributes.validBits > 0 && attributes.validBits <= format.Bits()) {
      format.validBits = attributes.validBits;
    }
    format.channelMask = attributes.channelMask;
  }
  return format;
}

bool IsSupportedFormat(const TrackAttributes& attributes) {
  SampleType type = SampleType::kInteger;
  if (!SampleTypeOf(attributes, type)) return false;
  // A rate read as negative is a header field of 2^31 or more: garbage.
  if (attributes.sampleRate <= 0) return false;
  // Whole bytes only: 12 or 20 bits in the field name no container.
  if (attributes.bits % 8 != 0) return false;
  return FormatOf(attributes).HasCodec();
}

}  // namespace wavsplice
