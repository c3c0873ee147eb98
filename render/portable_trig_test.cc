#include "render/portable_trig.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <cstring>

namespace wavsplice {
namespace {

// Units in the last place between two doubles of one sign.
int64_t UlpsApart(double a, double b) {
  int64_t x = 0;
  int64_t y = 0;
  std::memcpy(&x, &a, sizeof x);
  std::memcpy(&y, &b, sizeof y);
  return x > y ? x - y : y - x;
}

// Every angle of crossfades of these widths (frames), as the curves take them: within one unit in
// the last place of the exact value, where long double computes it with bits to spare (where long
// double is double, as on 32-bit ARM, the library's own value may be one unit off as well).
TEST(PortableTrig, WithinOneUnitOfTheExactValueAtEveryCrossfadeAngle) {
  constexpr int64_t kAllowed = sizeof(long double) > sizeof(double) ? 1 : 2;
  for (const int64_t n : {3, 48, 1468, 4410, 4800, 96001}) {
    SCOPED_TRACE(n);
    for (int64_t i = 0; i < n; ++i) {
      const double angle = static_cast<double>(i) / static_cast<double>(n) * 1.570796327;
      const long double exact = angle;
      ASSERT_LE(UlpsApart(PortableSine(angle), static_cast<double>(std::sin(exact))), kAllowed)
          << i;
      ASSERT_LE(UlpsApart(PortableCosine(angle), static_cast<double>(std::cos(exact))), kAllowed)
          << i;
    }
  }
  EXPECT_EQ(PortableSine(0.0), 0.0);
  EXPECT_EQ(PortableCosine(0.0), 1.0);
}

}  // namespace
}  // namespace wavsplice
