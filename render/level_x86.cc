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

// The last values of a run, fewer than a kernel takes at once, through the codec's own leaves and
// the portable rule (at most sixteen values).
int64_t ScaleRestThroughLeaves(unsigned char* bytes, int32_t count, double gain,
                               int bytesPerSample) {
  const double scale = bytesPerSample == 2 ? kSixteenBitScale : 1.0;
  int32_t values[16];
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

// Truncated products of eight 32-bit values and factor: with a gain of at most 255 they fit 32
// bits.
__attribute__((target("avx2"))) __m256i TruncatedProducts(__m256i lanes, __m256d factor) {
  const __m128i lower =
      _mm256_cvttpd_epi32(_mm256_mul_pd(_mm256_cvtepi32_pd(_mm256_castsi256_si128(lanes)), factor));
  const __m128i upper = _mm256_cvttpd_epi32(
      _mm256_mul_pd(_mm256_cvtepi32_pd(_mm256_extracti128_si256(lanes, 1)), factor));
  return _mm256_inserti128_si256(_mm256_castsi128_si256(lower), upper, 1);
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

// 16-bit values are decoded x 256, as the codec's leaves decode them, and scaled by gain x 1/256
// (the portable loops' one product).
__attribute__((target("avx2"))) int64_t SixteenWithAvx2(unsigned char* bytes, int64_t count,
                                                        double gain) {
  const __m256d factor = _mm256_set1_pd(gain * kSixteenBitScale);
  const __m256i high = _mm256_set1_epi32(HighestInteger(2));
  const __m256i low = _mm256_set1_epi32(LowestInteger(2));
  __m256i limited = _mm256_setzero_si256();
  int64_t i = 0;
  for (; i + 8 <= count; i += 8) {
    __m128i raw;
    std::memcpy(&raw, bytes + i * 2, sizeof raw);
    const __m256i results =
        TruncatedProducts(_mm256_slli_epi32(_mm256_cvtepi16_epi32(raw), 8), factor);
    limited = CountOutside(limited, results, low, high);
    // Packing with signed saturation limits to the 16-bit range.
    const __m128i packed =
        _mm_packs_epi32(_mm256_castsi256_si128(results), _mm256_extracti128_si256(results, 1));
    std::memcpy(bytes + i * 2, &packed, sizeof packed);
  }
  return LimitedCount(limited) +
         ScaleRestThroughLeaves(bytes + i * 2, static_cast<int32_t>(count - i), gain, 2);
}

__attribute__((target("avx2"))) int64_t TwentyFourWithAvx2(unsigned char* bytes, int64_t count,
                                                           double gain) {
  // Eight values are 24 bytes: dwords 0-2 go to the low lane and 3-5 to the high one, where each
  // group of three bytes becomes the top three bytes of a 32-bit lane (an arithmetic shift then
  // extends the sign); packing back takes the low three bytes of each lane, dwords 0-2 and 4-6.
  const __m256i spread = _mm256_setr_epi32(0, 1, 2, 2, 3, 4, 5, 5);
  const __m256i toLanes = _mm256_setr_epi8(                  //
      -1, 0, 1, 2, -1, 3, 4, 5, -1, 6, 7, 8, -1, 9, 10, 11,  //
      -1, 0, 1, 2, -1, 3, 4, 5, -1, 6, 7, 8, -1, 9, 10, 11);
  const __m256i fromLanes = _mm256_setr_epi8(                  //
      0, 1, 2, 4, 5, 6, 8, 9, 10, 12, 13, 14, -1, -1, -1, -1,  //
      0, 1, 2, 4, 5, 6, 8, 9, 10, 12, 13, 14, -1, -1, -1, -1);
  const __m256i gather = _mm256_setr_epi32(0, 1, 2, 4, 5, 6, 7, 7);
  const __m256d factor = _mm256_set1_pd(gain);
  const __m256i high = _mm256_set1_epi32(HighestInteger(3));
  const __m256i low = _mm256_set1_epi32(LowestInteger(3));
  __m256i limited = _mm256_setzero_si256();
  int64_t i = 0;
  // A 32-byte load reads 8 bytes past a group's 24: the groups within the last 32 bytes are left to
  // the leaves.
  for (; (i + 8) * 3 + 8 <= count * 3; i += 8) {
    __m256i raw;
    std::memcpy(&raw, bytes + i * 3, sizeof raw);
    const __m256i lanes = _mm256_srai_epi32(
        _mm256_shuffle_epi8(_mm256_permutevar8x32_epi32(raw, spread), toLanes), 8);
    const __m256i results = TruncatedProducts(lanes, factor);
    limited = CountOutside(limited, results, low, high);
    const __m256i kept = _mm256_min_epi32(_mm256_max_epi32(results, low), high);
    const __m256i packed =
        _mm256_permutevar8x32_epi32(_mm256_shuffle_epi8(kept, fromLanes), gather);
    // Exactly 24 bytes: the next group's bytes are still to be read.
    std::memcpy(bytes + i * 3, &packed, 16);
    std::memcpy(bytes + i * 3 + 16, reinterpret_cast<const unsigned char*>(&packed) + 16, 8);
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
