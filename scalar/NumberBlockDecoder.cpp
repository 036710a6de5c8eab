#include "scalar/NumberBlockDecoder.h"

#include <cstddef>
#include <cstring>
#include <type_traits>

#if defined(__x86_64__)
#include <immintrin.h>
#endif

namespace kelvor::jdbc::kelcore {

#if defined(__x86_64__)

namespace {

// The most a value of the target may be (a negative one more). Every value taken is below
// 10^9, which an int, a long, a double and a float hold (a float rounded once to nearest, as the
// exact conversion rounds it): only a short has a lower limit.
template <typename E>
struct Target {
  static constexpr int64_t MAX = 0x7FFFFFFF;
};
template <>
struct Target<int16_t> {
  static constexpr int64_t MAX = 0x7FFF;
};

#define KELCORE_AVX2 __attribute__((target("avx2,bmi2")))

// The four words' forms (each word from its length byte on) decoded into out[0..3]; returns
// whether every one was taken (out is written only then).
template <typename E>
KELCORE_AVX2 inline bool decodeBlock(__m256i w, E* out) {
  // Bytes 0..3 of each word, the sign bit of h0 masked: L 3..6, h0 40, e 0..8, first pair
  // 10..99, each within its range at once.
  const __m256i head = _mm256_and_si256(w, _mm256_set1_epi64x(0xFFFF7FFF));
  const __m256i headLow = _mm256_set1_epi64x(0x0A004003);
  const __m256i headHigh = _mm256_set1_epi64x(0x63084006);
  const __m256i headIn =
      _mm256_cmpeq_epi8(_mm256_min_epu8(_mm256_max_epu8(head, headLow), headHigh), head);
  const __m256i byteMask = _mm256_set1_epi64x(0xFF);
  const __m256i length = _mm256_and_si256(w, byteMask);
  const __m256i exponent = _mm256_and_si256(_mm256_srli_epi64(w, 16), byteMask);
  // The pairs with the last as byte 3: the bytes after the form shifted out of the low 32 bits
  // (left by (6 - L) * 8 bits), the bytes before the first shifted in as 0.
  const __m256i shift = _mm256_slli_epi64(_mm256_sub_epi64(_mm256_set1_epi64x(6), length), 3);
  const __m256i pairs = _mm256_and_si256(_mm256_sllv_epi64(_mm256_srli_epi64(w, 24), shift),
                                         _mm256_set1_epi64x(0xFFFFFFFF));
  const __m256i pairsIn = _mm256_cmpeq_epi8(_mm256_min_epu8(pairs, _mm256_set1_epi8(99)), pairs);
  // D = (b0 * 100 + b1) * 10^4 + (b2 * 100 + b3)
  const __m256i digits = _mm256_madd_epi16(_mm256_maddubs_epi16(pairs, _mm256_set1_epi16(0x0164)),
                                           _mm256_set1_epi64x(0x00012710));
  // The place of the last digit: e + 1 - 2k = e + 5 - 2L, -1..7 for the forms taken.
  const __m256i place = _mm256_sub_epi64(_mm256_add_epi64(exponent, _mm256_set1_epi64x(5)),
                                         _mm256_add_epi64(length, length));
  const __m256i whole = _mm256_cmpgt_epi64(place, _mm256_set1_epi64x(-1));
  // place -1: D / 10 (D < 2^27: the multiply-shift is exact), which must leave no remainder
  const __m256i tenth =
      _mm256_srli_epi64(_mm256_mul_epu32(digits, _mm256_set1_epi64x(0xCCCCCCCD)), 35);
  const __m256i tenthBack =
      _mm256_add_epi64(_mm256_slli_epi64(tenth, 3), _mm256_add_epi64(tenth, tenth));
  const __m256i exact =
      _mm256_or_si256(whole, _mm256_and_si256(_mm256_cmpeq_epi64(place, _mm256_set1_epi64x(-1)),
                                              _mm256_cmpeq_epi64(tenthBack, digits)));
  // 10^place by the place's low 32 bits (-1 picks 10^7, which the blend drops)
  const __m256i powers = _mm256_setr_epi32(1, 10, 100, 1000, 10000, 100000, 1000000, 10000000);
  const __m256i scaled = _mm256_mul_epu32(digits, _mm256_permutevar8x32_epi32(powers, place));
  const __m256i magnitude = _mm256_blendv_epi8(tenth, scaled, whole);
  // all ones for a negative: the sign bit of h0 (bit 15) spread over the lane
  const __m256i negative =
      _mm256_srai_epi32(_mm256_shuffle_epi32(_mm256_slli_epi64(w, 48), 0xF5), 31);
  const __m256i limit = _mm256_sub_epi64(_mm256_set1_epi64x(Target<E>::MAX), negative);
  __m256i taken = _mm256_and_si256(
      _mm256_cmpeq_epi64(_mm256_and_si256(headIn, pairsIn), _mm256_set1_epi64x(-1)), exact);
  taken = _mm256_andnot_si256(_mm256_cmpgt_epi64(magnitude, limit), taken);
  taken = _mm256_and_si256(taken, _mm256_cmpgt_epi64(pairs, _mm256_set1_epi64x(0xFFFFFF)));
  // the zero form: L 1, its byte 00
  const __m256i zero =
      _mm256_cmpeq_epi64(_mm256_and_si256(w, _mm256_set1_epi64x(0xFFFF)), _mm256_set1_epi64x(1));
  taken = _mm256_or_si256(taken, zero);
  if (_mm256_movemask_pd(_mm256_castsi256_pd(taken)) != 0xF) return false;
  const __m256i value =
      _mm256_andnot_si256(zero, _mm256_sub_epi64(_mm256_xor_si256(magnitude, negative), negative));
  if constexpr (sizeof(E) == 8 && !std::is_floating_point_v<E>) {
    _mm256_storeu_si256(reinterpret_cast<__m256i*>(out), value);
  } else {
    // the low 32 bits of each lane, which hold the value
    const __m128i low = _mm256_castsi256_si128(
        _mm256_permutevar8x32_epi32(value, _mm256_setr_epi32(0, 2, 4, 6, 0, 2, 4, 6)));
    if constexpr (std::is_same_v<E, int32_t>) {
      _mm_storeu_si128(reinterpret_cast<__m128i*>(out), low);
    } else if constexpr (std::is_same_v<E, int16_t>) {
      _mm_storel_epi64(reinterpret_cast<__m128i*>(out), _mm_packs_epi32(low, low));
    } else if constexpr (std::is_same_v<E, double>) {
      _mm256_storeu_pd(out, _mm256_cvtepi32_pd(low));
    } else {
      _mm_storeu_ps(out, _mm_cvtepi32_ps(low));
    }
  }
  return true;
}

uint64_t wordAt(const int8_t* p) {
  uint64_t w = 0;
  std::memcpy(&w, p, sizeof w);
  return w;
}

// An element's advance in bits (its length byte and form; 8..64) from its length byte at bit
// `from` of w. A length above 6 is refused, so a wrong advance (taken mod 8) only moves the
// loads of a block that is refused, and never beyond 8 bytes an element
// (shrx takes the count modulo 64, a shift of 64 being such a wrong advance).
KELCORE_AVX2 inline uint64_t advanceAt(uint64_t w, uint64_t from) {
  uint64_t shifted;
  asm("shrx %2, %1, %0" : "=r"(shifted) : "r"(w), "r"(from));
  return (shifted & 7) * 8 + 8;
}

template <typename E>
KELCORE_AVX2 int32_t runPacked(const int8_t* data, int32_t& at, int32_t lastWord, E* out,
                               int32_t count) {
  constexpr int32_t REACH = 4 * 8;  // a block's loads and the next block's first
  int32_t i = 0;
  if (count < NumberBlockDecoder::BLOCK || at > lastWord - REACH) return 0;
  const int8_t* p = data + at;
  uint64_t w0 = wordAt(p);
  uint64_t a0 = advanceAt(w0, 0);  // the first element's advance
  while (true) {
    // each next advance from the word loaded before, so that no load waits on the chain
    const uint64_t a1 = advanceAt(w0, a0);
    const int8_t* p1 = p + (a0 >> 3);
    const uint64_t w1 = wordAt(p1);
    const uint64_t a2 = advanceAt(w1, a1);
    const int8_t* p2 = p1 + (a1 >> 3);
    const uint64_t w2 = wordAt(p2);
    const uint64_t a3 = advanceAt(w2, a2);
    const int8_t* p3 = p2 + (a2 >> 3);
    const uint64_t w3 = wordAt(p3);
    const __m256i w = _mm256_setr_epi64x(static_cast<long long>(w0), static_cast<long long>(w1),
                                         static_cast<long long>(w2), static_cast<long long>(w3));
    if (!decodeBlock(w, out + i)) break;
    p = p3 + (a3 >> 3);  // every form taken: the advances were their lengths
    i += NumberBlockDecoder::BLOCK;
    if (count - i < NumberBlockDecoder::BLOCK || p - data > lastWord - REACH) break;
    a0 = advanceAt(w3, a3);
    w0 = wordAt(p);
  }
  at = static_cast<int32_t>(p - data);
  return i;
}

template <typename E>
KELCORE_AVX2 int32_t runFixed(const int8_t* slot, int32_t stride, E* out, int32_t count) {
  int32_t i = 0;
  for (; count - i >= NumberBlockDecoder::BLOCK; i += NumberBlockDecoder::BLOCK) {
    const int8_t* s = slot + ptrdiff_t{i} * stride;
    // a null flag in any of the four refuses the block
    if (((s[0] | s[stride] | s[2 * stride] | s[3 * stride]) & 1) != 0) break;
    const __m256i w = _mm256_setr_epi64x(static_cast<long long>(wordAt(s + 1)),
                                         static_cast<long long>(wordAt(s + stride + 1)),
                                         static_cast<long long>(wordAt(s + 2 * stride + 1)),
                                         static_cast<long long>(wordAt(s + 3 * stride + 1)));
    if (!decodeBlock(w, out + i)) break;
  }
  return i;
}

}  // namespace

bool NumberBlockDecoder::available() noexcept {
  static const bool has = __builtin_cpu_supports("avx2") && __builtin_cpu_supports("bmi2");
  return has;
}

template <typename E>
int32_t NumberBlockDecoder::run(const int8_t* data, int32_t& at, int32_t lastWord, E* out,
                                int32_t count) noexcept {
  return runPacked(data, at, lastWord, out, count);
}

template <typename E>
int32_t NumberBlockDecoder::runSlots(const int8_t* slot, int32_t stride, E* out,
                                     int32_t count) noexcept {
  return runFixed(slot, stride, out, count);
}

#undef KELCORE_AVX2

#else  // no vector decoder on this processor

bool NumberBlockDecoder::available() noexcept { return false; }

template <typename E>
int32_t NumberBlockDecoder::run(const int8_t*, int32_t&, int32_t, E*, int32_t) noexcept {
  return 0;
}

template <typename E>
int32_t NumberBlockDecoder::runSlots(const int8_t*, int32_t, E*, int32_t) noexcept {
  return 0;
}

#endif

#define KELCORE_BLOCK_TARGET(E)                                                               \
  template int32_t NumberBlockDecoder::run<E>(const int8_t*, int32_t&, int32_t, E*, int32_t); \
  template int32_t NumberBlockDecoder::runSlots<E>(const int8_t*, int32_t, E*, int32_t);
KELCORE_BLOCK_TARGET(int32_t)
KELCORE_BLOCK_TARGET(int16_t)
KELCORE_BLOCK_TARGET(int64_t)
KELCORE_BLOCK_TARGET(double)
KELCORE_BLOCK_TARGET(float)
#undef KELCORE_BLOCK_TARGET

}  // namespace kelvor::jdbc::kelcore
