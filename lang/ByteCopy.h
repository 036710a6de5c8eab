// The piece size for copies of large byte runs whose speed must not depend on where the heap
// places the target. Above about 2 KiB the C library's memcpy switches to the string-move
// instruction, which on some processors runs ten to twenty times slower when the target lies a
// few bytes past the source modulo 64 (32 KiB: 12 us instead of 0.7 us). A fresh allocation
// lands anywhere, so a large value read into one paid that or not by chance. Pieces of
// COPY_PIECE bytes take the library's vector loop, which runs at full speed at any alignment
// and costs the same on processors without the fault.
#pragma once

#include <cstddef>

namespace kelvor::lang {

// Below the smallest threshold at which the C library moves with the string instruction.
inline constexpr size_t COPY_PIECE = 2048;

// COPY_PIECE, hidden from the optimizer: with a constant size the compiler inlines the copy as
// the very string-move instruction the pieces are there to avoid.
inline size_t copyPiece() noexcept {
  size_t piece = COPY_PIECE;
  asm("" : "+r"(piece));
  return piece;
}

}  // namespace kelvor::lang
