// Keeping computed sample values within the range of their format, so that
// a level change or crossfade that goes past full scale holds at full scale
// instead of wrapping round into a loud click.
#pragma once

#include <cstdint>

namespace wavsplice {

// Truncates value toward zero and limits it to the range of a sample of
// bytesPerSample bytes (2: -32768..32767, 3: -8388608..8388607), counting
// each value that had to be limited in clipped.
inline int32_t TruncateAndLimit(double value, int bytesPerSample, int64_t& clipped) {
  const double high = bytesPerSample == 2 ? 32767.0 : 8388607.0;
  const double low = -high - 1.0;
  if (value > high) {
    ++clipped;
    return static_cast<int32_t>(high);
  }
  if (value < low) {
    ++clipped;
    return static_cast<int32_t>(low);
  }
  return static_cast<int32_t>(value);  // conversion truncates toward zero
}

}  // namespace wavsplice
