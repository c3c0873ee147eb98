// Turning a 64-bit floating-point value into a signed 64-bit count safely: the conversion is
// undefined for values that are not finite or out of range, so they are caught first.
#pragma once

#include <cmath>
#include <cstdint>

namespace wavsplice {

// trunc(value) toward zero into result; false, leaving result as it was, when value is not finite
// or its truncation lies outside the signed 64-bit range.
inline bool TruncToInt64(double value, int64_t& result) {
  // 2^63 is exact in double; INT64_MAX is not.
  constexpr double kTwoTo63 = 9223372036854775808.0;
  const double truncated = std::trunc(value);
  if (!(truncated >= -kTwoTo63 && truncated < kTwoTo63)) return false;  // NaN fails too
  result = static_cast<int64_t>(truncated);
  return true;
}

}  // namespace wavsplice
