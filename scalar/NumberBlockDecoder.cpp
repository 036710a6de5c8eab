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
constexpr int64_t TAKEN_BELOW = 1'000'000'000;
template <typename E>
struct Target {
  static constexpr int64_t MAX = 0x7FFFFFFF;
};
template <>
struct Target<int16_t> {
  static constexpr int64_t MAX = 0x7FFF;
};

#define KELCORE_AVX2 __attribute__((target("avx2,bmi2")))

// The eight words' forms (each word from its length byte on; words 0, 1, 4, 5 in `a`, 2, 3,
// 6, 7 in `b`, as decodeWords lays them out) decoded into out[0..7]; returns whether every one
// was taken (out is written only then). Each form takes a 32-bit lane: every value taken is
// below 10^9.
template <typename E>
KELCORE_AVX2 inline bool decodeBlock(__m256i a, __m256i b, E* out) {
  // Bytes 0..3 of each word (L, h0, e, the first pair) and bytes 3..6 (the pairs), one lane
  // each, in the words' order.
  const __m256i head = _mm256_castps_si256(
      _mm256_shuffle_ps(_mm256_castsi256_ps(a), _mm256_castsi256_ps(b), _MM_SHUFFLE(2, 0, 2, 0)));
  const __m256i rest = _mm256_castps_si256(
      _mm256_shuffle_ps(_mm256_castsi256_ps(_mm256_srli_epi64(a, 24)),
                        _mm256_castsi256_ps(_mm256_srli_epi64(b, 24)), _MM_SHUFFLE(2, 0, 2, 0)));
  const __m256i ones = _mm256_set1_epi32(-1);
  // The sign bit of h0 masked: L 3..6, h0 40, e 0..8, first pair 10..99, each within its range
  // at once.
  const __m256i unsigned4 = _mm256_and_si256(head, _mm256_set1_epi32(static_cast<int>(0xFFFF7FFF)));
  const __m256i headIn =
      _mm256_cmpeq_epi8(_mm256_min_epu8(_mm256_max_epu8(unsigned4, _mm256_set1_epi32(0x0A004003)),
                                        _mm256_set1_epi32(0x63084006)),
                        unsigned4);
  const __m256i byteMask = _mm256_set1_epi32(0xFF);
  const __m256i length = _mm256_and_si256(head, byteMask);
  const __m256i exponent = _mm256_and_si256(_mm256_srli_epi32(head, 16), byteMask);
  // The pairs with the last as byte 3: the bytes after the form shifted out (left by (6 - L)
  // * 8 bits), the bytes before the first shifted in as 0.
  const __m256i pairs =
      _mm256_sllv_epi32(rest, _mm256_slli_epi32(_mm256_sub_epi32(_mm256_set1_epi32(6), length), 3));
  const __m256i pairsIn = _mm256_cmpeq_epi8(_mm256_min_epu8(pairs, _mm256_set1_epi8(99)), pairs);
  // D = (b0 * 100 + b1) * 10^4 + (b2 * 100 + b3), and D / 10 when 10 divides b3:
  // (b0 * 100 + b1) * 1000 + b2 * 10 + b3 / 10
  const __m256i high = _mm256_maddubs_epi16(pairs, _mm256_set1_epi32(0x000A0164));
  const __m256i digits = _mm256_madd_epi16(_mm256_maddubs_epi16(pairs, _mm256_set1_epi16(0x0164)),
                                           _mm256_set1_epi32(0x00012710));
  const __m256i last = _mm256_srli_epi32(pairs, 24);
  const __m256i lastTenth = _mm256_srli_epi32(_mm256_mullo_epi16(last, _mm256_set1_epi32(205)), 11);
  const __m256i tenth =
      _mm256_add_epi32(_mm256_madd_epi16(high, _mm256_set1_epi32(0x000103E8)), lastTenth);
  // The place of the last digit: e + 1 - 2k = e + 5 - 2L, -1..7 for the forms taken.
  const __m256i place = _mm256_sub_epi32(_mm256_add_epi32(exponent, _mm256_set1_epi32(5)),
                                         _mm256_add_epi32(length, length));
  const __m256i whole = _mm256_cmpgt_epi32(place, ones);
  // place -1: the last digit, right of the point, must be 0
  const __m256i lastBack =
      _mm256_add_epi32(_mm256_slli_epi32(lastTenth, 3), _mm256_add_epi32(lastTenth, lastTenth));
  const __m256i exact = _mm256_or_si256(
      whole, _mm256_and_si256(_mm256_cmpeq_epi32(place, ones), _mm256_cmpeq_epi32(lastBack, last)));
  // 10^place (-1 picks 10^7, which the blend drops); below 10^9 for the forms taken
  const __m256i powers = _mm256_setr_epi32(1, 10, 100, 1000, 10000, 100000, 1000000, 10000000);
  const __m256i scaled = _mm256_mullo_epi32(digits, _mm256_permutevar8x32_epi32(powers, place));
  const __m256i magnitude = _mm256_blendv_epi8(tenth, scaled, whole);
  // all ones for a negative: the sign bit of h0 (bit 15) spread over the lane
  const __m256i negative = _mm256_srai_epi32(_mm256_slli_epi32(head, 16), 31);
  __m256i taken =
      _mm256_and_si256(_mm256_cmpeq_epi32(_mm256_and_si256(headIn, pairsIn), ones), exact);
  if constexpr (Target<E>::MAX < TAKEN_BELOW) {  // a short's range
    const __m256i limit = _mm256_sub_epi32(_mm256_set1_epi32(Target<E>::MAX), negative);
    taken = _mm256_andnot_si256(_mm256_cmpgt_epi32(magnitude, limit), taken);
  }
  // the last pair not 00 (a lane with a byte above 127 is refused above)
  taken = _mm256_and_si256(taken, _mm256_cmpgt_epi32(pairs, _mm256_set1_epi32(0xFFFFFF)));
  // the zero form: L 1, its byte 00
  const __m256i zero =
      _mm256_cmpeq_epi32(_mm256_and_si256(head, _mm256_set1_epi32(0xFFFF)), _mm256_set1_epi32(1));
  taken = _mm256_or_si256(taken, zero);
  if (_mm256_movemask_ps(_mm256_castsi256_ps(taken)) != 0xFF) return false;
  const __m256i value =
      _mm256_andnot_si256(zero, _mm256_sub_epi32(_mm256_xor_si256(magnitude, negative), negative));
  const __m128i low = _mm256_castsi256_si128(value);
  const __m128i upper = _mm256_extracti128_si256(value, 1);
  if constexpr (std::is_same_v<E, int32_t>) {
    _mm256_storeu_si256(reinterpret_cast<__m256i*>(out), value);
  } else if constexpr (std::is_same_v<E, int16_t>) {
    _mm_storeu_si128(reinterpret_cast<__m128i*>(out), _mm_packs_epi32(low, upper));
  } else if constexpr (std::is_same_v<E, int64_t>) {
    _mm256_storeu_si256(reinterpret_cast<__m256i*>(out), _mm256_cvtepi32_epi64(low));
    _mm256_storeu_si256(reinterpret_cast<__m256i*>(out + 4), _mm256_cvtepi32_epi64(upper));
  } else if constexpr (std::is_same_v<E, double>) {
    _mm256_storeu_pd(out, _mm256_cvtepi32_pd(low));
    _mm256_storeu_pd(out + 4, _mm256_cvtepi32_pd(upper));
  } else {
    _mm256_storeu_ps(out, _mm256_cvtepi32_ps(value));
  }
  return true;
}

static_assert(NumberBlockDecoder::BLOCK == 8, "a block is the eight words of two vectors");

// decodeBlock of the eight words w, in the two vectors it takes them in.
template <typename E>
KELCORE_AVX2 inline bool decodeWords(const uint64_t (&w)[8], E* out) {
  const auto word = [&](int32_t k) { return static_cast<long long>(w[k]); };
  return decodeBlock(_mm256_setr_epi64x(word(0), word(1), word(4), word(5)),
                     _mm256_setr_epi64x(word(2), word(3), word(6), word(7)), out);
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
  constexpr int32_t BLOCK = NumberBlockDecoder::BLOCK;
  constexpr int32_t REACH = BLOCK * 8;  // a block's loads and the next block's first
  int32_t i = 0;
  if (count < BLOCK || at > lastWord - REACH) return 0;
  const int8_t* p = data + at;
  uint64_t w[BLOCK];
  w[0] = wordAt(p);
  uint64_t advance = advanceAt(w[0], 0);  // the first element's, in bits
  while (true) {
    // each next advance from the word loaded before, so that no load waits on the chain
    const int8_t* q = p;
#pragma GCC unroll 8
    for (int32_t k = 1; k < BLOCK; ++k) {
      const uint64_t next = advanceAt(w[k - 1], advance);
      q += advance >> 3;
      w[k] = wordAt(q);
      advance = next;
    }
    if (!decodeWords(w, out + i)) break;
    p = q + (advance >> 3);  // every form taken: the advances were their lengths
    i += BLOCK;
    if (count - i < BLOCK || p - data > lastWord - REACH) break;
    advance = advanceAt(w[BLOCK - 1], advance);
    w[0] = wordAt(p);
  }
  at = static_cast<int32_t>(p - data);
  return i;
}

template <typename E>
KELCORE_AVX2 int32_t runFixed(const int8_t* slot, int32_t stride, E* out, int32_t count) {
  constexpr int32_t BLOCK = NumberBlockDecoder::BLOCK;
  int32_t i = 0;
  for (; count - i >= BLOCK; i += BLOCK) {
    const int8_t* s = slot + ptrdiff_t{i} * stride;
    // a null flag in any of them refuses the block
    int8_t flags = 0;
#pragma GCC unroll 8
    for (int32_t k = 0; k < BLOCK; ++k) flags |= s[ptrdiff_t{k} * stride];
    if ((flags & 1) != 0) break;
    uint64_t w[BLOCK];
#pragma GCC unroll 8
    for (int32_t k = 0; k < BLOCK; ++k) w[k] = wordAt(s + ptrdiff_t{k} * stride + 1);
    if (!decodeWords(w, out + i)) break;
  }
  return i;
}

}  // namespace

bool NumberBlockDecoder::available() noexcept {
  // the detection is run here, not left to a constructor that may not have run yet when the
  // library is loaded into a host
  static const bool has = [] {
    __builtin_cpu_init();
    return __builtin_cpu_supports("avx2") && __builtin_cpu_supports("bmi2");
  }();
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
