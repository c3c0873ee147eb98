#include "render/level_avx2.h"

#include <cstring>

#include "common/vector_clones.h"
#include "render/sample_limit.h"
#include "wav/pcm_codec.h"

#if WAVSPLICE_X86_KERNELS
#include <immintrin.h>
#endif

namespace wavsplice {

#if WAVSPLICE_X86_KERNELS

namespace {

__attribute__((target("avx2"))) int64_t ScaleWithAvx2(unsigned char* bytes, int64_t count,
                                                      double gain) {
  // Eight values are 24 bytes: dwords 0-2 go to the low lane and 3-5 to the
  // high one, where each group of three bytes becomes the top three bytes of
  // a 32-bit lane (an arithmetic shift then extends the sign); packing back
  // takes the low three bytes of each lane, dwords 0-2 and 4-6.
  const __m256i spread = _mm256_setr_epi32(0, 1, 2, 2, 3, 4, 5, 5);
  const __m256i toLanes = _mm256_setr_epi8(                  //
      -1, 0, 1, 2, -1, 3, 4, 5, -1, 6, 7, 8, -1, 9, 10, 11,  //
      -1, 0, 1, 2, -1, 3, 4, 5, -1, 6, 7, 8, -1, 9, 10, 11);
  const __m256i fromLanes = _mm256_setr_epi8(                  //
      0, 1, 2, 4, 5, 6, 8, 9, 10, 12, 13, 14, -1, -1, -1, -1,  //
      0, 1, 2, 4, 5, 6, 8, 9, 10, 12, 13, 14, -1, -1, -1, -1);
  const __m256i gather = _mm256_setr_epi32(0, 1, 2, 4, 5, 6, 7, 7);
  const __m256d factor = _mm256_set1_pd(gain);
  const __m256i high = _mm256_set1_epi32(8388607);
  const __m256i low = _mm256_set1_epi32(-8388608);
  // Per lane, minus the number of values limited (a true compare is -1).
  __m256i limited = _mm256_setzero_si256();
  int64_t i = 0;
  // A 32-byte load reads 8 bytes past a group's 24: the groups within the
  // last 32 bytes are left to the loop below.
  for (; (i + 8) * 3 + 8 <= count * 3; i += 8) {
    __m256i raw;
    std::memcpy(&raw, bytes + i * 3, sizeof raw);
    const __m256i lanes = _mm256_srai_epi32(
        _mm256_shuffle_epi8(_mm256_permutevar8x32_epi32(raw, spread), toLanes), 8);
    // Truncated products: with a gain of at most 255 they fit 32 bits.
    const __m128i lower = _mm256_cvttpd_epi32(
        _mm256_mul_pd(_mm256_cvtepi32_pd(_mm256_castsi256_si128(lanes)), factor));
    const __m128i upper = _mm256_cvttpd_epi32(
        _mm256_mul_pd(_mm256_cvtepi32_pd(_mm256_extracti128_si256(lanes, 1)), factor));
    const __m256i results = _mm256_inserti128_si256(_mm256_castsi128_si256(lower), upper, 1);
    limited = _mm256_add_epi32(limited, _mm256_cmpgt_epi32(results, high));
    limited = _mm256_add_epi32(limited, _mm256_cmpgt_epi32(low, results));
    const __m256i kept = _mm256_min_epi32(_mm256_max_epi32(results, low), high);
    const __m256i packed =
        _mm256_permutevar8x32_epi32(_mm256_shuffle_epi8(kept, fromLanes), gather);
    // Exactly 24 bytes: the next group's bytes are still to be read.
    std::memcpy(bytes + i * 3, &packed, 16);
    std::memcpy(bytes + i * 3 + 16, reinterpret_cast<const unsigned char*>(&packed) + 16, 8);
  }
  alignas(32) int32_t counts[8];
  _mm256_store_si256(reinterpret_cast<__m256i*>(counts), limited);
  int64_t clipped = 0;
  for (int32_t lane : counts) clipped -= lane;
  // The last values (at most ten) through the codec's own leaves.
  const auto rest = static_cast<int32_t>(count - i);
  int32_t values[10];
  CHAR_TO_NUM32(bytes + i * 3, values, 3, rest);
  for (int32_t k = 0; k < rest; ++k) values[k] = TruncateAndLimit(values[k] * gain, 3, clipped);
  NUM24MONO_TO_CHAR(values, bytes + i * 3, rest);
  return clipped;
}

}  // namespace

bool TwentyFourBitKernelHere() {
  static const bool here = __builtin_cpu_supports("avx2");
  return here;
}

int64_t ScaleTwentyFourInPlace(unsigned char* bytes, int64_t count, double gain) {
  return ScaleWithAvx2(bytes, count, gain);
}

#else

bool TwentyFourBitKernelHere() { return false; }

int64_t ScaleTwentyFourInPlace(unsigned char*, int64_t, double) { return 0; }

#endif

}  // namespace wavsplice
