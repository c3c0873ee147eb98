#include "render/level_x86.h"

#include <algorithm>
#include <cstring>

#include "common/vector_clones.h"
#include "render/sample_limit.h"
#include "wav/pcm_codec.h"

#if WAVSPLICE_X86_KERNELS
// g++ 12 takes the undefined registers that its AVX-512 intrinsics start from for uninitialised
// variables inside its own header.
#if defined(__GNUC__) && !defined(__clang__)
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wuninitialized"
#pragma GCC diagnostic ignored "-Wmaybe-uninitialized"
#endif
#include <immintrin.h>
#if defined(__GNUC__) && !defined(__clang__)
#pragma GCC diagnostic pop
#endif
#endif

namespace wavsplice {

#if WAVSPLICE_X86_KERNELS

namespace {

// The last values of a run, too few for a kernel's turn, through the codec's own leaves and the
// portable rule (at most 17 values).
int64_t ScaleRestThroughLeaves(unsigned char* bytes, int32_t count, double gain,
                               int bytesPerSample) {
  const double scale = bytesPerSample == 2 ? kSixteenBitScale : 1.0;
  int32_t values[17];
  int64_t clipped = 0;
  CHAR_TO_NUM32(bytes, values, bytesPerSample, count);
  for (int32_t k = 0; k < count; ++k) {
    values[k] = TruncateAndLimit(values[k] * gain * scale, bytesPerSample, clipped);
  }
  if (bytesPerSample == 2) {
    NUM16MONO_TO_CHAR(values, bytes, count);
  } else {
    NUM24MONO_TO_CHAR(values, bytes, count);
  }
  return clipped;
}

// Adds one to a lane of limited (kept as minus the count: a true compare is -1) for each result
// outside low..high.
__attribute__((target("avx2"))) __m256i CountOutside(__m256i limited, __m256i results, __m256i low,
                                                     __m256i high) {
  limited = _mm256_add_epi32(limited, _mm256_cmpgt_epi32(results, high));
  return _mm256_add_epi32(limited, _mm256_cmpgt_epi32(low, results));
}

__attribute__((target("avx2"))) int64_t LimitedCount(__m256i limited) {
  alignas(32) int32_t counts[8];
  _mm256_store_si256(reinterpret_cast<__m256i*>(counts), limited);
  int64_t clipped = 0;
  for (int32_t lane : counts) clipped -= lane;
  return clipped;
}

// The AVX2 kernels convert between integers and doubles with additions instead of the conversion
// instructions, which this class of processor runs at half the rate of its other arithmetic: an
// integer x of less than 2^51 in magnitude, added to the bits of 1.5 x 2^52 in a 64-bit lane, gives
// the bits of the double 1.5 x 2^52 + x, and subtracting 1.5 x 2^52 leaves x exactly. Backwards, a
// whole double y of less than 2^31 in magnitude plus 1.5 x 2^52 holds y in the low 32 bits of its
// lane, in two's complement. Both ways are exact, so the bytes are those of the conversions.
constexpr int64_t kMagicBits = 0x4338000000000000;  // the bits of 1.5 x 2^52
constexpr double kMagic = 6755399441055744.0;       // 1.5 x 2^52

// The truncated products of the four 16-bit values at `at` and factor, each in the low 32 bits of
// a 64-bit lane.
__attribute__((target("avx2"))) __m256d SixteenBitProducts(const unsigned char* at,
                                                           __m256d factor) {
  int64_t words;
  std::memcpy(&words, at, sizeof words);
  const __m256i lanes = _mm256_add_epi64(_mm256_cvtepi16_epi64(_mm_cvtsi64_si128(words)),
                                         _mm256_set1_epi64x(kMagicBits));
  const __m256d values = _mm256_sub_pd(_mm256_castsi256_pd(lanes), _mm256_set1_pd(kMagic));
  const __m256d products = _mm256_mul_pd(values, factor);
  return _mm256_add_pd(_mm256_round_pd(products, _MM_FROUND_TO_ZERO | _MM_FROUND_NO_EXC),
                       _mm256_set1_pd(kMagic));
}

// The low 32 bits of the lanes of a and b, in the order a0 a1 b0 b1 a2 a3 b2 b3.
__attribute__((target("avx2"))) __m256i LowHalves(__m256d a, __m256d b) {
  return _mm256_castps_si256(_mm256_shuffle_ps(_mm256_castpd_ps(a), _mm256_castpd_ps(b), 0x88));
}

// Scales the sixteen 16-bit values at `at` in place and adds their limited ones to limited.
__attribute__((target("avx2"))) __m256i ScaleSixteenValues(unsigned char* at, __m256d factor,
                                                           __m256i limited, __m256i low,
                                                           __m256i high) {
  // Values 0 1 4 5 2 3 6 7, and 8 9 12 13 10 11 14 15.
  const __m256i first =
      LowHalves(SixteenBitProducts(at, factor), SixteenBitProducts(at + 8, factor));
  const __m256i second =
      LowHalves(SixteenBitProducts(at + 16, factor), SixteenBitProducts(at + 24, factor));
  limited = CountOutside(CountOutside(limited, first, low, high), second, low, high);
  // Packing with signed saturation limits to the 16-bit range; it works within each 128-bit half,
  // and the pairs of values then go back in order.
  const __m256i packed = _mm256_permutevar8x32_epi32(_mm256_packs_epi32(first, second),
                                                     _mm256_setr_epi32(0, 4, 1, 5, 2, 6, 3, 7));
  std::memcpy(at, &packed, sizeof packed);
  return limited;
}

// The codec's leaves decode a 16-bit sample as sample x 256, and the portable loops scale that by
// gain x 1/256. Scaling by a power of two is exact in binary floating point, so that product rounds
// to the same double as sample x gain, which this kernel takes.
__attribute__((target("avx2"))) int64_t SixteenWithAvx2(unsigned char* bytes, int64_t count,
                                                        double gain) {
  const __m256d factor = _mm256_set1_pd(gain);
  const __m256i high = _mm256_set1_epi32(HighestInteger(2));
  const __m256i low = _mm256_set1_epi32(LowestInteger(2));
  __m256i limited = _mm256_setzero_si256();
  int64_t i = 0;
  for (; i + 16 <= count; i += 16) {
    limited = ScaleSixteenValues(bytes + i * 2, factor, limited, low, high);
  }
  return LimitedCount(limited) +
         ScaleRestThroughLeaves(bytes + i * 2, static_cast<int32_t>(count - i), gain, 2);
}

// The truncated products of the four 24-bit values at `at` and factor, each in the low 32 bits of
// a 64-bit lane. Reads 16 bytes. Each value's three bytes go to bytes 1 to 3 of its lane's low
// half, with 0 below them and above: 256 times the value in two's complement. Flipping its sign bit
// adds 2^31, and the high half's bits of 2^52 make the lane the double 2^52 + 2^31 + 256 x value.
__attribute__((target("avx2"))) __m256d TwentyFourBitProducts(const unsigned char* at,
                                                              __m256d factor) {
  const __m256i toLanes = _mm256_setr_epi8(                      //
      -1, 0, 1, 2, -1, -1, -1, -1, -1, 3, 4, 5, -1, -1, -1, -1,  //
      -1, 6, 7, 8, -1, -1, -1, -1, -1, 9, 10, 11, -1, -1, -1, -1);
  const __m256i raw =
      _mm256_broadcastsi128_si256(_mm_loadu_si128(reinterpret_cast<const __m128i*>(at)));
  const __m256i lanes =
      _mm256_xor_si256(_mm256_shuffle_epi8(raw, toLanes), _mm256_set1_epi64x(0x4330000080000000));
  const __m256d values =
      _mm256_sub_pd(_mm256_castsi256_pd(lanes), _mm256_set1_pd(4503601774854144.0));  // 2^52 + 2^31
  const __m256d products = _mm256_mul_pd(values, factor);
  return _mm256_add_pd(_mm256_round_pd(products, _MM_FROUND_TO_ZERO | _MM_FROUND_NO_EXC),
                       _mm256_set1_pd(kMagic));
}

// Limits the eight results of a register to the 24-bit range and writes their low three bytes
// to `at`, 24 bytes.
__attribute__((target("avx2"))) void StoreTwentyFour(unsigned char* at, __m256i results,
                                                     __m256i low, __m256i high) {
  const __m256i fromLanes = _mm256_setr_epi8(                  //
      0, 1, 2, 4, 5, 6, 8, 9, 10, 12, 13, 14, -1, -1, -1, -1,  //
      0, 1, 2, 4, 5, 6, 8, 9, 10, 12, 13, 14, -1, -1, -1, -1);
  const __m256i kept = _mm256_min_epi32(_mm256_max_epi32(results, low), high);
  const __m256i packed = _mm256_permutevar8x32_epi32(_mm256_shuffle_epi8(kept, fromLanes),
                                                     _mm256_setr_epi32(0, 1, 2, 4, 5, 6, 7, 7));
  std::memcpy(at, &packed, 16);
  std::memcpy(at + 16, reinterpret_cast<const unsigned char*>(&packed) + 16, 8);
}

// 24-bit values are scaled x 256 by their conversion, and by gain x 1/256 (the 16-bit kernel's
// argument again: the same double as value x gain), sixteen a turn.
__attribute__((target("avx2"))) int64_t TwentyFourWithAvx2(unsigned char* bytes, int64_t count,
                                                           double gain) {
  const __m256d factor = _mm256_set1_pd(gain * kSixteenBitScale);
  const __m256i high = _mm256_set1_epi32(HighestInteger(3));
  const __m256i low = _mm256_set1_epi32(LowestInteger(3));
  __m256i limited = _mm256_setzero_si256();
  int64_t i = 0;
  // The last of a turn's four 16-byte loads, at byte 36, reads 4 bytes past its 48: the turns
  // within the last 52 bytes are left to the leaves.
  for (; (i + 16) * 3 + 4 <= count * 3; i += 16) {
    unsigned char* at = bytes + i * 3;
    // Values 0 1 4 5 2 3 6 7, and 8 9 12 13 10 11 14 15, each group as the order in its
    // register; the byte picks below put them back in order.
    const __m256d p0 = TwentyFourBitProducts(at, factor);
    const __m256d p1 = TwentyFourBitProducts(at + 12, factor);
    const __m256d p2 = TwentyFourBitProducts(at + 24, factor);
    const __m256d p3 = TwentyFourBitProducts(at + 36, factor);
    const __m256i first = LowHalves(p0, p1);
    const __m256i second = LowHalves(p2, p3);
    limited = CountOutside(CountOutside(limited, first, low, high), second, low, high);
    const __m256i order = _mm256_setr_epi32(0, 1, 4, 5, 2, 3, 6, 7);
    StoreTwentyFour(at, _mm256_permutevar8x32_epi32(first, order), low, high);
    StoreTwentyFour(at + 24, _mm256_permutevar8x32_epi32(second, order), low, high);
  }
  return LimitedCount(limited) +
         ScaleRestThroughLeaves(bytes + i * 3, static_cast<int32_t>(count - i), gain, 3);
}

// The AVX-512 kernels work on 64-bit lanes, where the conversions to and from double take one step
// each, and keep the truncated products of a piece of up to kPieceValues values to count the
// limited ones only in the rare piece that has any.
#define WAVSPLICE_AVX512 __attribute__((target("avx512f,avx512bw,avx512dq,avx512vbmi")))

constexpr int64_t kPieceValues = 256;

// Truncated products of sixteen values in 64-bit lanes (eight in each of lower and upper) and
// factor, gathered into the 32-bit lanes of one register: with a gain of at most 255 they fit 32
// bits.
WAVSPLICE_AVX512 __m512i TruncatedProducts(__m512i lower, __m512i upper, __m512d factor) {
  const __m512i lowDwords =
      _mm512_setr_epi32(0, 2, 4, 6, 8, 10, 12, 14, 16, 18, 20, 22, 24, 26, 28, 30);
  return _mm512_permutex2var_epi32(
      _mm512_cvttpd_epi64(_mm512_mul_pd(_mm512_cvtepi64_pd(lower), factor)), lowDwords,
      _mm512_cvttpd_epi64(_mm512_mul_pd(_mm512_cvtepi64_pd(upper), factor)));
}

// The values of a piece that lie outside low..high.
int64_t CountLimited(const int32_t* results, int64_t count, int32_t low, int32_t high) {
  int64_t outside = 0;
  for (int64_t k = 0; k < count; ++k) outside += (results[k] < low) + (results[k] > high);
  return outside;
}

// Whether any lane of highest lies above high or of lowest below low.
WAVSPLICE_AVX512 bool AnyOutside(__m512i highest, __m512i lowest, int32_t low, int32_t high) {
  return (_mm512_cmpgt_epi32_mask(highest, _mm512_set1_epi32(high)) |
          _mm512_cmplt_epi32_mask(lowest, _mm512_set1_epi32(low))) != 0;
}

WAVSPLICE_AVX512 int64_t SixteenWithAvx512(unsigned char* bytes, int64_t count, double gain) {
  const __m512d factor = _mm512_set1_pd(gain * kSixteenBitScale);
  alignas(64) int32_t results[kPieceValues];
  int64_t clipped = 0;
  int64_t i = 0;
  while (count - i >= 16) {
    const int64_t piece = std::min(kPieceValues, (count - i) / 16 * 16);
    unsigned char* at = bytes + i * 2;
    __m512i highest = _mm512_setzero_si512();
    __m512i lowest = _mm512_setzero_si512();
    for (int64_t k = 0; k < piece; k += 16) {
      __m128i lower;
      __m128i upper;
      std::memcpy(&lower, at + k * 2, sizeof lower);
      std::memcpy(&upper, at + k * 2 + 16, sizeof upper);
      const __m512i products =
          TruncatedProducts(_mm512_slli_epi64(_mm512_cvtepi16_epi64(lower), 8),
                            _mm512_slli_epi64(_mm512_cvtepi16_epi64(upper), 8), factor);
      highest = _mm512_max_epi32(highest, products);
      lowest = _mm512_min_epi32(lowest, products);
      _mm512_store_si512(results + k, products);
      // Narrowing with signed saturation limits to the 16-bit range.
      const __m256i packed = _mm512_cvtsepi32_epi16(products);
      std::memcpy(at + k * 2, &packed, sizeof packed);
    }
    if (AnyOutside(highest, lowest, LowestInteger(2), HighestInteger(2))) {
      clipped += CountLimited(results, piece, LowestInteger(2), HighestInteger(2));
    }
    i += piece;
  }
  return clipped + SixteenWithAvx2(bytes + i * 2, count - i, gain);
}

// Byte indices for a permutation of the bytes of a 512-bit register.
struct BytePicks {
  alignas(64) unsigned char at[64];
};

// Eight packed 24-bit values from byte first on, each to the top three bytes of a 64-bit lane.
constexpr BytePicks ValuesToLanes(int first) {
  BytePicks picks{};
  for (int lane = 0; lane < 8; ++lane) {
    for (int b = 0; b < 3; ++b)
      picks.at[lane * 8 + 5 + b] = static_cast<unsigned char>(first + lane * 3 + b);
  }
  return picks;
}

// The low three bytes of each of sixteen 32-bit lanes, packed.
constexpr BytePicks LanesToValues() {
  BytePicks picks{};
  for (int lane = 0; lane < 16; ++lane) {
    for (int b = 0; b < 3; ++b) picks.at[lane * 3 + b] = static_cast<unsigned char>(lane * 4 + b);
  }
  return picks;
}

WAVSPLICE_AVX512 int64_t TwentyFourWithAvx512(unsigned char* bytes, int64_t count, double gain) {
  // Sixteen values are 48 bytes. Each value's three bytes go to the top of a 64-bit lane (an
  // arithmetic shift then extends the sign), eight values a register; packing back takes the low
  // three bytes of each 32-bit lane.
  static constexpr BytePicks kToLower = ValuesToLanes(0);
  static constexpr BytePicks kToUpper = ValuesToLanes(24);
  static constexpr BytePicks kFromLanes = LanesToValues();
  const __m512i toLower = _mm512_load_si512(kToLower.at);
  const __m512i toUpper = _mm512_load_si512(kToUpper.at);
  const __m512i fromLanes = _mm512_load_si512(kFromLanes.at);
  const __m512d factor = _mm512_set1_pd(gain);
  const __m512i high = _mm512_set1_epi32(HighestInteger(3));
  const __m512i low = _mm512_set1_epi32(LowestInteger(3));
  alignas(64) int32_t results[kPieceValues];
  int64_t clipped = 0;
  int64_t i = 0;
  // A 64-byte load reads 16 bytes past a group's 48: the groups within the last 64 bytes are left
  // to the AVX2 kernel.
  while ((count - i) * 3 >= 64) {
    const int64_t piece = std::min(kPieceValues, ((count - i) * 3 - 16) / 48 * 16);
    unsigned char* at = bytes + i * 3;
    __m512i highest = _mm512_setzero_si512();
    __m512i lowest = _mm512_setzero_si512();
    for (int64_t k = 0; k < piece; k += 16) {
      __m512i raw;
      std::memcpy(&raw, at + k * 3, sizeof raw);
      const __m512i products =
          TruncatedProducts(_mm512_srai_epi64(_mm512_permutexvar_epi8(toLower, raw), 40),
                            _mm512_srai_epi64(_mm512_permutexvar_epi8(toUpper, raw), 40), factor);
      highest = _mm512_max_epi32(highest, products);
      lowest = _mm512_min_epi32(lowest, products);
      _mm512_store_si512(results + k, products);
      const __m512i packed = _mm512_permutexvar_epi8(
          fromLanes, _mm512_min_epi32(_mm512_max_epi32(products, low), high));
      // Exactly 48 bytes, in whole stores: the next group's bytes are still to be read (and a
      // masked store over them would hold up their load).
      _mm256_storeu_si256(reinterpret_cast<__m256i*>(at + k * 3), _mm512_castsi512_si256(packed));
      _mm_storeu_si128(reinterpret_cast<__m128i*>(at + k * 3 + 32),
                       _mm512_extracti32x4_epi32(packed, 2));
    }
    if (AnyOutside(highest, lowest, LowestInteger(3), HighestInteger(3))) {
      clipped += CountLimited(results, piece, LowestInteger(3), HighestInteger(3));
    }
    i += piece;
  }
  return clipped + TwentyFourWithAvx2(bytes + i * 3, count - i, gain);
}

// Float values widen to double, are scaled and round back to float, as in the codec (the
// conversions round as the scalar ones do).
float ScaledFloat(float value, double gain) {
  return static_cast<float>(static_cast<double>(value) * gain);
}

__attribute__((target("avx2"))) void FloatWithAvx2(unsigned char* bytes, int64_t count,
                                                   double gain) {
  const __m256d factor = _mm256_set1_pd(gain);
  int64_t i = 0;
  for (; i + 4 <= count; i += 4) {
    __m128 raw;
    std::memcpy(&raw, bytes + i * 4, sizeof raw);
    const __m128 scaled = _mm256_cvtpd_ps(_mm256_mul_pd(_mm256_cvtps_pd(raw), factor));
    std::memcpy(bytes + i * 4, &scaled, sizeof scaled);
  }
  for (; i < count; ++i) {
    float value;
    std::memcpy(&value, bytes + i * 4, sizeof value);
    value = ScaledFloat(value, gain);
    std::memcpy(bytes + i * 4, &value, sizeof value);
  }
}

WAVSPLICE_AVX512 void FloatWithAvx512(unsigned char* bytes, int64_t count, double gain) {
  const __m512d factor = _mm512_set1_pd(gain);
  int64_t i = 0;
  for (; i + 8 <= count; i += 8) {
    __m256 raw;
    std::memcpy(&raw, bytes + i * 4, sizeof raw);
    const __m256 scaled = _mm512_cvtpd_ps(_mm512_mul_pd(_mm512_cvtps_pd(raw), factor));
    std::memcpy(bytes + i * 4, &scaled, sizeof scaled);
  }
  FloatWithAvx2(bytes + i * 4, count - i, gain);
}

}  // namespace

LevelKernels LevelKernelsHere() {
  static const LevelKernels here =
      __builtin_cpu_supports("avx512f") && __builtin_cpu_supports("avx512bw") &&
              __builtin_cpu_supports("avx512dq") && __builtin_cpu_supports("avx512vbmi")
          ? kAvx512Kernels
      : __builtin_cpu_supports("avx2") ? kAvx2Kernels
                                       : kNoKernels;
  return here;
}

int64_t ScaleSixteenInPlace(unsigned char* bytes, int64_t count, double gain,
                            LevelKernels kernels) {
  return kernels == kAvx512Kernels ? SixteenWithAvx512(bytes, count, gain)
                                   : SixteenWithAvx2(bytes, count, gain);
}

int64_t ScaleTwentyFourInPlace(unsigned char* bytes, int64_t count, double gain,
                               LevelKernels kernels) {
  return kernels == kAvx512Kernels ? TwentyFourWithAvx512(bytes, count, gain)
                                   : TwentyFourWithAvx2(bytes, count, gain);
}

void ScaleFloatInPlace(unsigned char* bytes, int64_t count, double gain, LevelKernels kernels) {
  if (kernels == kAvx512Kernels) {
    FloatWithAvx512(bytes, count, gain);
  } else {
    FloatWithAvx2(bytes, count, gain);
  }
}

#else

LevelKernels LevelKernelsHere() { return kNoKernels; }

void ScaleFloatInPlace(unsigned char*, int64_t, double, LevelKernels) {}

int64_t ScaleSixteenInPlace(unsigned char*, int64_t, double, LevelKernels) { return 0; }

int64_t ScaleTwentyFourInPlace(unsigned char*, int64_t, double, LevelKernels) { return 0; }

#endif

}  // namespace wavsplice
