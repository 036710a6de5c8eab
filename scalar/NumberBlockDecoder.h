// The bulk number readers' block decoder: eight forms at a time in the processor's 256-bit
// integer vectors (AVX2), where it has them. It takes the most common element of a large
// numeric collection, a whole number below 10^9, and leaves every other form to the fast
// decoder (NumberDecoder) and the exact conversions, which decide between a value, a truncated
// fraction and an error.
//
// It reads what NumberDecoder reads: a length byte and the form after it, 8 bytes in all.
//   at   := L(1) form(L) other(7 - L)
//   form := h0 e pair{k}                  k = L - 2
// Taken: 1 <= k <= 4 (L 3..6), h0 40 or C0 (the sign), 0 <= e <= 8, every pair 0..99, the first
// 10..99, the last not 00, a whole number (the pairs reach at most one decimal place right of
// the point, and that digit is 0) that the target's range holds; and the zero form 00 (L 1).
// A block holding any other form is refused whole.
//
// How, per form (one 32-bit lane: every value taken is below 10^9): the four bytes of the
// header are checked against their ranges at once; the pairs, shifted so that the last one is
// byte 3, become D (the 2k digits) by two multiply-adds (pairs by 100, halves by 10^4); the
// value is D times 10^(e + 1 - 2k), or D / 10 when the last digit lies right of the point (its
// last digit must be 0; two other multiply-adds give D / 10 from the pairs). The sign is applied
// without a branch.
//
// Packed elements follow one another, each found from the one before it: the walk takes each
// next length from the 8 bytes already loaded (a shift, not a load, on the chain from one
// element to the next), and the vector decode of a block runs beside the walk of the next.
//
// Stateless; internal to the library.
#pragma once

#include <cstdint>

namespace kelvor::jdbc::kelcore {

class __attribute__((visibility("hidden"))) NumberBlockDecoder {
 public:
  static constexpr int32_t BLOCK = 8;

  // Whether this processor runs the decoder (checked once).
  static bool available() noexcept;

  // From the length byte at data + at on: decodes whole blocks of packed forms into out (at
  // most count elements) while every form of a block is taken and the block's words lie inside
  // the image (lastWord: the last position a word of 8 bytes may be loaded from). Returns the
  // elements decoded, at moved past them. Only where available(). E: int32_t, int16_t,
  // int64_t, double or float.
  template <typename E>
  static int32_t run(const int8_t* data, int32_t& at, int32_t lastWord, E* out,
                     int32_t count) noexcept;

  // The same over fixed slots of `stride` bytes (a null flag, then the length byte and the
  // form), all inside the image (checked by the caller); a block holding a null is refused.
  template <typename E>
  static int32_t runSlots(const int8_t* slot, int32_t stride, E* out, int32_t count) noexcept;
};

}  // namespace kelvor::jdbc::kelcore
