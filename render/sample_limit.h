// Keeping computed sample values within the range of their format, so that a level change or
// crossfade that goes past full scale holds at full scale instead of wrapping round into a loud
// click.
#pragma once

#include <cmath>
#include <cstdint>

#include "wav/pcm_format.h"

namespace wavsplice {

// Truncates value toward zero and limits it to low..high, counting each value that had to be
// limited in clipped. (A NaN, which only an infinite level factor can make, becomes 0 and is not
// counted.)
inline double TruncateAndLimit(double value, double low, double high, int64_t& clipped) {
  // The result is the truncated value: 32767.4 truncates to 32767, which is within range and not
  // limited.
  const double truncated = std::trunc(value);
  if (truncated > high) {
    ++clipped;
    return high;
  }
  if (truncated < low) {
    ++clipped;
    return low;
  }
  return truncated == truncated ? truncated : 0.0;
}

// The same for a sample of bytesPerSample bytes (2: -32768..32767, 3: -8388608..8388607).
inline int32_t TruncateAndLimit(double value, int bytesPerSample, int64_t& clipped) {
  return static_cast<int32_t>(TruncateAndLimit(value, LowestInteger(bytesPerSample),
                                               HighestInteger(bytesPerSample), clipped));
}

}  // namespace wavsplice
