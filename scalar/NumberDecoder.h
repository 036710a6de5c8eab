// The fast decoder of the bulk number readers: the common element of a primitive array read (a
// whole number of at most 8 significant digits that the target type holds) decoded with a few
// loads and table lookups, without a loop and without a branch on its length. The caller reads
// every other form the exact way (NumberValue), which decides between a value, a truncated
// fraction and an error. Internal to the library (its tables are not exported).
//
// It reads a length byte and the form after it, as both image layouts store them:
//   at   := L(1) form(L) other(7 - L)     8 bytes, all readable (checked by the caller)
//   form := h0 h1 pair{k}                 k = L - 2; the header is the sign (bit 7 of h0) and
//                                         the exponent e of the leading digit + 16384
// Taken here: 1 <= k <= 4 (L 3..6), 0 <= e <= 14 (h0 is 40 or C0, h1 is e), a well-formed form
// (every pair 0..99, the first 10..99, the last not 00), a whole number (the pairs reach at
// most one decimal place right of the point, and that digit is 0) that the target's range
// holds; and the zero form 00 (L = 1). Everything else is refused.
//
// How: the header indexes Tables::headerClass, whose class plus L indexes the target's Scale.
// The four bytes after the header, shifted left by Scale::shift so that the last pair is the
// top byte (the bytes after the form fall out), are two 16-bit halves that Tables::pairValue
// turns into numbers below 10^4 (or marks as no pairs). Their join D (the 2k digits) times
// Scale::multiplier is twice the value modulo 2^64: the multiplier is +-2 * 10^(p-1) when the
// last digit of value * 10 has place p >= 1, and +-(the inverse of 5 modulo 2^64) when p = 0,
// which gives 2 * D / 10 exactly when 10 divides D. Rotated right by one bit, with the top bit
// flipped for a negative, that is the value; a D that 10 does not divide gives a number of
// magnitude above 2^64 / 10 instead (or of the wrong sign), which the range check refuses.
// The range of a row starts at 10^e: a first pair below 10 (a leading digit 0) gives a value
// below it. A (class, L) that is not taken has multiplier 0 and an empty range.
//
// Stateless; the tables are constant data.
#pragma once

#include <array>
#include <bit>
#include <cstdint>
#include <cstring>

namespace kelvor::jdbc::kelcore {

class __attribute__((visibility("hidden"))) NumberDecoder {
 public:
  // Bytes a decode reads from the length byte on.
  static constexpr int32_t WORD_BYTES = 8;

  // The per-target part, indexed by headerClass[header] + L. A narrow target (int, short)
  // keeps the low 32 bits of the value alone: for it the top bit of a negative is not flipped
  // back, and its range check allows for that bit (bias has it added).
  template <bool WIDE>
  struct Scale {
    uint8_t shift[256];        // 32 - 8k: puts the last pair in the top byte
    uint64_t multiplier[256];  // see above; negated for a negative, 0 if not taken
    uint64_t flip[256];        // the top bit for a negative (wide targets)
    uint64_t bias[256];        // value + bias is below range exactly for the values taken:
    uint64_t range[256];       // [10^e, min(10^(e+1) - 1, target's limit)] and its negation
  };
  // The tables every target shares.
  struct Tables {
    // Class * 8 of a header (h0 | h1 << 8), 1..30 for the headers taken, 0 for the rest.
    std::array<uint8_t, 65536> headerClass;
    // b0 * 100 + b1 of two bytes (b0 | b1 << 8), NOT_PAIRS set when either is above 99.
    std::array<uint16_t, 65536> pairValue;
  };
  static const Tables TABLES;
  // Targets: int, short, and long (for double and float too: every value taken is below 10^15
  // in magnitude and converts from a long with the one rounding to nearest the exact path
  // gives).
  static const Scale<false> INT_SCALE;
  static const Scale<false> SHORT_SCALE;
  static const Scale<true> WIDE_SCALE;

  // Whether the 8 bytes at base + at start with a form this decoder takes for the target; if
  // so its value (for a narrow target, exact in its low 32 bits). Otherwise false and nothing
  // stored. UNCHECKED: the caller has checked that the 8 bytes lie inside its buffer. The tables
  // are passed in (TABLES) so that a loop holds them. Base and offset come apart so that a loop
  // over packed forms can keep base - i for element i and step it by the length byte alone:
  // one add between the load of a length byte and the load of the next.
  template <bool WIDE>
  __attribute__((always_inline)) static bool decode(const int8_t* base, size_t at,
                                                    const Tables& tables, const Scale<WIDE>& target,
                                                    int64_t& value) noexcept {
    const auto* p = reinterpret_cast<const uint8_t*>(base);
    const uint32_t length = p[at];
    if (length > MAX_TAKEN_LENGTH) [[unlikely]]
      return false;
    const uint32_t header = load16(p + at + 1);
    const uint32_t index = tables.headerClass[header] + length;
    const uint32_t pairs = load32(p + at + 3) << target.shift[index];
    const uint32_t high = tables.pairValue[pairs & 0xFFFF];
    const uint32_t low = tables.pairValue[pairs >> 16];
    // a pair above 99, a last pair 00 (a first pair below 10 leaves the value below range)
    if (((high | low) & NOT_PAIRS) != 0 || pairs < (1U << 24)) [[unlikely]] {
      return decodeZero(length, header & 0xFF, value);
    }
    const uint64_t twice = (uint64_t{high} * 10'000 + low) * target.multiplier[index];
    uint64_t v = std::rotr(twice, 1);
    if constexpr (WIDE) v ^= target.flip[index];
    if (v + target.bias[index] >= target.range[index]) [[unlikely]]
      return decodeZero(length, header & 0xFF, value);
    value = static_cast<int64_t>(v);
    return true;
  }

 private:
  static constexpr uint32_t MAX_TAKEN_LENGTH = 7;  // its entries are not taken; above: no entry
  static constexpr uint32_t NOT_PAIRS = 0x8000;    // a pairValue of bytes not both 0..99

  static bool decodeZero(uint32_t length, uint32_t first, int64_t& value) noexcept {
    if (length != 1 || first != 0) return false;
    value = 0;
    return true;
  }

  // h0 | h1 << 8 of the two bytes at p, whatever the machine's byte order.
  static uint32_t load16(const uint8_t* p) noexcept {
    uint16_t h = 0;
    std::memcpy(&h, p, sizeof h);
    if constexpr (std::endian::native == std::endian::big)
      h = static_cast<uint16_t>((h >> 8) | (h << 8));
    return h;
  }

  static uint32_t load32(const uint8_t* p) noexcept {
    uint32_t w = 0;
    std::memcpy(&w, p, sizeof w);
    if constexpr (std::endian::native == std::endian::big) {
      w = (w >> 24) | ((w >> 8) & 0xFF00) | ((w << 8) & 0xFF0000) | (w << 24);
    }
    return w;
  }
};

}  // namespace kelvor::jdbc::kelcore
