// The PCM format of a file's audio: what a frame holds and how its values are stored. Sources are
// read into it, the destination is written from it, and the codec, the level change and the
// crossfade work by it.
#pragma once

#include <cstdint>

namespace wavsplice {

// How a value is stored: a signed integer (unsigned at 8 bits) or IEEE float.
enum class SampleEncoding { kInteger, kFloat };

// Format tags of the fmt chunk and the sub-format codes of an extensible one.
constexpr int32_t kFormatTagPcm = 1;
constexpr int32_t kFormatTagFloat = 3;
constexpr int32_t kFormatTagExtensible = 0xFFFE;

constexpr int32_t kMaxChannels = 128;

// The range of an integer value of bytes bytes (1 to 4) in its own units: 127, 32767, 8388607 or
// 2147483647 at the top, one more below zero at the bottom. The one home of the program's integer
// limits.
constexpr int32_t HighestInteger(int32_t bytes) {
  return static_cast<int32_t>((int64_t{1} << (8 * bytes - 1)) - 1);
}
constexpr int32_t LowestInteger(int32_t bytes) { return -HighestInteger(bytes) - 1; }

struct PcmFormat {
  int32_t sampleRate = 0;
  int32_t channels = 0;
  int32_t containerBytes = 0;  // bytes of one value in a frame
  int32_t validBits = 0;       // meaningful bits of a value, at most containerBytes x 8
  SampleEncoding encoding = SampleEncoding::kInteger;
  uint32_t channelMask = 0;  // speaker positions (extensible files), 0 when none

  int32_t Bits() const { return containerBytes * 8; }
  bool IsFloat() const { return encoding == SampleEncoding::kFloat; }
  // Bytes of one frame: one value for each channel.
  int64_t FrameBytes() const { return static_cast<int64_t>(containerBytes) * channels; }
  // The byte every byte of a silent frame holds: 8-bit PCM is unsigned, its zero is 0x80; every
  // other format's zero is all zero bytes.
  unsigned char SilenceByte() const { return !IsFloat() && containerBytes == 1 ? 0x80 : 0x00; }
  // Whether the codec reads and writes this format: integer values of 1, 2, 3 or 4 bytes or float
  // of 4 or 8, 1 to 128 channels.
  bool HasCodec() const;
  // Range of an integer result in the format's own units (8-bit: -128..127).
  double HighestValue() const {
    return HighestInteger(containerBytes >= 1 && containerBytes <= 3 ? containerBytes : 4);
  }
  double LowestValue() const { return -HighestValue() - 1.0; }
};

// Integer PCM of bytesPerSample bytes per value, all bits valid.
PcmFormat IntegerFormat(int32_t bytesPerSample, int32_t channels, int32_t sampleRate = 0);

}  // namespace wavsplice
