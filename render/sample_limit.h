// Keeping computed sample values within the range of their format, so that
// a level change or crossfade that goes past full scale holds at full scale
// instead of wrapping round into a loud click.
#pragma once

#include <cmath>
#include <cstdint>

namespace wavsplice {

// Truncates value toward zero and limits it to the range of a sample of
// bytesPerSample bytes (2: -32768..32767, 3: -8388608..8388607), counting
// each value that had to be limited in clipped.
inline int32_t TruncateAndLimit(double value, int bytesPerSample, int64_t& clipped) {
  const double high = bytesPerSample == 2 ? 32767.0 : 8388607.0;
  const double low = -high - 1.0;
  // The result is the truncated value: 32767.4 truncates to 32767, which is
  // within range and not limited.
  const double truncated = std::trunc(value);
  if (truncated > high) {
    ++clipped;
    return static_cast<int32_t>(high);
  }
  if (truncated < low) {
    ++clipped;
    return static_cast<int32_t>(low);
  }
  return static_cast<int32_t>(truncated);
}

}  // namespace wavsplice
