// Byte helpers shared by the image tests: arrays from unsigned byte values and back.
#pragma once

#include <cstdint>
#include <initializer_list>
#include <vector>

#include "lang/Array.h"
#include "lang/Ref.h"

namespace kelvor::jdbc::kelcore::imagetest {

using Bytes = std::vector<int>;  // unsigned byte values, 0..255

inline lang::Ref<lang::ByteArray> byteArray(const Bytes& v) {
  auto a = lang::ByteArray::make(static_cast<int64_t>(v.size()));
  for (size_t i = 0; i < v.size(); ++i) (*a)[static_cast<int32_t>(i)] = static_cast<int8_t>(v[i]);
  return a;
}

inline Bytes contents(const lang::ByteArray* a) {
  Bytes v;
  if (a == nullptr) return v;
  for (int32_t i = 0; i < a->length(); ++i) v.push_back(static_cast<uint8_t>((*a)[i]));
  return v;
}
inline Bytes contents(const lang::Ref<lang::ByteArray>& a) { return contents(a.get()); }

// n bytes seed, seed+1, ... (mod 256).
inline Bytes counting(int32_t n, int seed = 0) {
  Bytes v(static_cast<size_t>(n));
  for (int32_t i = 0; i < n; ++i) v[static_cast<size_t>(i)] = (seed + i) & 0xFF;
  return v;
}

inline Bytes concat(std::initializer_list<Bytes> parts) {
  Bytes v;
  for (const Bytes& p : parts) v.insert(v.end(), p.begin(), p.end());
  return v;
}

}  // namespace kelvor::jdbc::kelcore::imagetest
