#include "scalar/NumberDecoder.h"

#include <array>

namespace kelvor::jdbc::kelcore {
namespace {

constexpr int32_t MAX_EXPONENT_TAKEN = 14;                   // magnitudes below 10^15
constexpr uint64_t INVERSE_OF_5 = 0xCCCC'CCCC'CCCC'CCCDULL;  // 5 * this = 1 modulo 2^64

// The class of sign s and exponent e (0..14): 1..30, times 8 so that L can be added.
constexpr uint32_t classOf(uint32_t s, uint32_t e) { return (1 + s * 15 + e) * 8; }

constexpr std::array<uint8_t, 65536> headerClasses() {
  std::array<uint8_t, 65536> t{};
  for (uint32_t s = 0; s < 2; ++s) {
    for (uint32_t e = 0; e <= MAX_EXPONENT_TAKEN; ++e) {
      const uint32_t header = (e + 16384) | (s << 15);  // h0 = header >> 8, h1 = e
      t[(header >> 8) | ((header & 0xFF) << 8)] = static_cast<uint8_t>(classOf(s, e));
    }
  }
  return t;
}

constexpr std::array<uint16_t, 65536> pairValues() {
  std::array<uint16_t, 65536> t{};
  for (uint32_t i = 0; i < t.size(); ++i) {
    const uint32_t b0 = i & 0xFF;
    const uint32_t b1 = i >> 8;
    t[i] = static_cast<uint16_t>(b0 > 99 || b1 > 99 ? 0xFFFF : b0 * 100 + b1);
  }
  return t;
}

// The Scale of a target whose values lie in [-(high + 1), high], for the exponents up to
// maxExponent.
template <bool WIDE>
constexpr NumberDecoder::Scale<WIDE> scaleOf(uint32_t maxExponent, uint64_t high) {
  NumberDecoder::Scale<WIDE> t{};
  for (uint32_t s = 0; s < 2; ++s) {
    for (uint32_t e = 0; e <= MAX_EXPONENT_TAKEN; ++e) {
      for (uint32_t length = 3; length <= 6; ++length) {
        const uint32_t k = length - 2;
        const uint32_t index = classOf(s, e) + length;
        t.shift[index] = static_cast<uint8_t>(32 - 8 * k);
        // the place of the last digit of value * 10: 0 is the first decimal place
        const int32_t place = static_cast<int32_t>(e + 2) - static_cast<int32_t>(2 * k);
        if (place < 0 || e > maxExponent) continue;  // a fraction, or too large: not taken
        uint64_t twice = 2;
        for (int32_t i = 1; i < place; ++i) twice *= 10;
        const uint64_t m = place == 0 ? INVERSE_OF_5 : twice;
        t.multiplier[index] = s != 0 ? 0 - m : m;
        const uint64_t flip = s != 0 ? uint64_t{1} << 63 : 0;
        t.flip[index] = WIDE ? flip : 0;
        // magnitudes [low, top]: the leading digit is not 0 and the target holds them
        uint64_t low = 1;
        for (uint32_t i = 0; i < e; ++i) low *= 10;
        const uint64_t top = low * 10 - 1 < high + s ? low * 10 - 1 : high + s;
        // positive: v - low < top - low + 1; negative: v + top < top - low + 1
        t.bias[index] = (s != 0 ? top : 0 - low) + (WIDE ? 0 : flip);
        t.range[index] = top >= low ? top - low + 1 : 0;
      }
    }
  }
  return t;
}

}  // namespace

// Constant data, laid out at compile time.
constinit const NumberDecoder::Tables NumberDecoder::TABLES = {headerClasses(), pairValues()};
constinit const NumberDecoder::Scale<false> NumberDecoder::INT_SCALE = scaleOf<false>(9, INT32_MAX);
constinit const NumberDecoder::Scale<false> NumberDecoder::SHORT_SCALE =
    scaleOf<false>(4, INT16_MAX);
constinit const NumberDecoder::Scale<true> NumberDecoder::WIDE_SCALE =
    scaleOf<true>(MAX_EXPONENT_TAKEN, 999'999'999'999'999);

}  // namespace kelvor::jdbc::kelcore
