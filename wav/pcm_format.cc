#include "wav/pcm_format.h"

namespace wavsplice {

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

}  // namespace wavsplice
