// Big-endian loads and stores of the image formats. Shift-based, so that they are the same on
// every host. UNCHECKED: only a cursor that has already checked that the bytes exist calls
// them.
#pragma once

#include <cstdint>

namespace kelvor::jdbc::kelcore {

// security: whether n bytes lie at pos + skip in a buffer of `length` bytes. pos, skip and n
// come from input: unsigned compares, never sums, so a negative value is above every length.
inline bool bytesWithin(int32_t length, int32_t pos, int32_t skip, int32_t n) noexcept {
  const auto len = static_cast<uint32_t>(length);
  const auto at = static_cast<uint32_t>(pos);
  return at <= len && static_cast<uint32_t>(skip) <= len - at &&
         static_cast<uint32_t>(n) <= len - at - static_cast<uint32_t>(skip);
}

inline uint32_t loadBE32(const int8_t* p) noexcept {
  const auto* u = reinterpret_cast<const uint8_t*>(p);
  return (uint32_t{u[0]} << 24) | (uint32_t{u[1]} << 16) | (uint32_t{u[2]} << 8) | uint32_t{u[3]};
}

inline uint16_t loadBE16(const int8_t* p) noexcept {
  const auto* u = reinterpret_cast<const uint8_t*>(p);
  return static_cast<uint16_t>((u[0] << 8) | u[1]);
}

inline void storeBE32(int8_t* p, uint32_t v) noexcept {
  p[0] = static_cast<int8_t>(v >> 24);
  p[1] = static_cast<int8_t>(v >> 16);
  p[2] = static_cast<int8_t>(v >> 8);
  p[3] = static_cast<int8_t>(v);
}

}  // namespace kelvor::jdbc::kelcore
