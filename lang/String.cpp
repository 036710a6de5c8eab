#include "lang/String.h"

#include <cstdint>
#include <cstring>
#include <string>
#include <utility>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif
#if defined(__x86_64__) && (defined(__GNUC__) || defined(__clang__))
#include <immintrin.h>
#define KELCORE_ASCII_AVX2 1
#endif

namespace kelvor::lang {
namespace {

#if defined(KELCORE_ASCII_AVX2)
// Long texts are scanned with 32-byte vectors where the processor has them (checked once, at
// run time): four a step, half the steps of the 16-byte loop, which the scan of a large text
// is bound by. Returns where a step found a byte above 0x7F, or the last whole step's end.
constexpr size_t WIDE_SCAN_MIN = 256;

__attribute__((target("avx2"))) size_t asciiSteps256(const uint8_t* data, size_t n) noexcept {
  size_t i = 0;
  for (; n - i >= 128; i += 128) {
    const auto* v = reinterpret_cast<const __m256i*>(data + i);
    const __m256i any =
        _mm256_or_si256(_mm256_or_si256(_mm256_loadu_si256(v), _mm256_loadu_si256(v + 1)),
                        _mm256_or_si256(_mm256_loadu_si256(v + 2), _mm256_loadu_si256(v + 3)));
    if (_mm256_movemask_epi8(any) != 0) break;
  }
  return i;
}

bool hasAvx2() noexcept {
  static const bool has = [] {
    __builtin_cpu_init();
    return __builtin_cpu_supports("avx2") != 0;
  }();
  return has;
}
#endif

}  // namespace

size_t String::asciiPrefix(std::string_view text) noexcept {
  constexpr uint64_t HIGH_BITS = 0x8080808080808080ULL;
  const auto* data = reinterpret_cast<const uint8_t*>(text.data());
  const size_t n = text.size();
  size_t i = 0;
#if defined(KELCORE_ASCII_AVX2)
  if (n >= WIDE_SCAN_MIN && hasAvx2()) i = asciiSteps256(data, n);
#endif
#if defined(__SSE2__)
  for (; n - i >= 64; i += 64) {  // four vectors a step, one test of their high bits
    const auto* v = reinterpret_cast<const __m128i*>(data + i);
    const __m128i any = _mm_or_si128(_mm_or_si128(_mm_loadu_si128(v), _mm_loadu_si128(v + 1)),
                                     _mm_or_si128(_mm_loadu_si128(v + 2), _mm_loadu_si128(v + 3)));
    if (_mm_movemask_epi8(any) != 0) break;
  }
#endif
  for (; n - i >= 8; i += 8) {
    uint64_t word;
    std::memcpy(&word, data + i, 8);
    if ((word & HIGH_BITS) != 0) break;
  }
  while (i < n && data[i] < 0x80) ++i;
  return i;
}

bool String::isWellFormedUtf8(std::string_view text) noexcept {
  const auto* data = reinterpret_cast<const uint8_t*>(text.data());
  const size_t n = text.size();
  size_t i = 0;
  while (i < n) {
    i += asciiPrefix(text.substr(i));
    if (i == n) break;
    const uint8_t lead = data[i];
    size_t extra;
    uint8_t low = 0x80;   // the range of the byte after the lead, which rules out overlong
    uint8_t high = 0xBF;  // forms, surrogates and code points above U+10FFFF
    if (lead >= 0xC2 && lead <= 0xDF) {
      extra = 1;
    } else if (lead >= 0xE0 && lead <= 0xEF) {
      extra = 2;
      if (lead == 0xE0) low = 0xA0;
      if (lead == 0xED) high = 0x9F;
    } else if (lead >= 0xF0 && lead <= 0xF4) {
      extra = 3;
      if (lead == 0xF0) low = 0x90;
      if (lead == 0xF4) high = 0x8F;
    } else {
      return false;  // a continuation byte, C0, C1 or F5..FF
    }
    if (n - i - 1 < extra) return false;
    if (data[i + 1] < low || data[i + 1] > high) return false;
    for (size_t k = 2; k <= extra; ++k) {
      if ((data[i + k] & 0xC0) != 0x80) return false;
    }
    i += 1 + extra;
  }
  return true;
}

Ref<String> String::fromUtf16(const char16_t* units, int32_t length) {
  std::string text;
  text.reserve(static_cast<size_t>(length));
  for (int32_t i = 0; i < length; ++i) {
    uint32_t c = units[i];
    if (c >= 0xD800 && c <= 0xDBFF && i + 1 < length && units[i + 1] >= 0xDC00 &&
        units[i + 1] <= 0xDFFF) {
      c = 0x10000 + ((c - 0xD800) << 10) + (uint32_t{units[i + 1]} - 0xDC00);
      ++i;
    } else if (c >= 0xD800 && c <= 0xDFFF) {
      c = 0xFFFD;
    }
    if (c < 0x80) {
      text += static_cast<char>(c);
    } else if (c < 0x800) {
      text += static_cast<char>(0xC0 | (c >> 6));
      text += static_cast<char>(0x80 | (c & 0x3F));
    } else if (c < 0x10000) {
      text += static_cast<char>(0xE0 | (c >> 12));
      text += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
      text += static_cast<char>(0x80 | (c & 0x3F));
    } else {
      text += static_cast<char>(0xF0 | (c >> 18));
      text += static_cast<char>(0x80 | ((c >> 12) & 0x3F));
      text += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
      text += static_cast<char>(0x80 | (c & 0x3F));
    }
  }
  return Ref<String>::adopt(new String(std::move(text)));
}

std::u16string String::toUtf16(std::string_view s) {
  std::u16string out;
  out.reserve(s.size());
  size_t i = 0;
  while (i < s.size()) {
    const auto b0 = static_cast<uint8_t>(s[i]);
    uint32_t cp = 0xFFFD;
    size_t n = 1;
    auto cont = [&](size_t k) {
      return i + k < s.size() && (static_cast<uint8_t>(s[i + k]) & 0xC0) == 0x80;
    };
    auto at = [&](size_t k) {
      return static_cast<uint32_t>(static_cast<uint8_t>(s[i + k]) & 0x3F);
    };
    if (b0 < 0x80) {
      cp = b0;
    } else if (b0 >= 0xC2 && b0 < 0xE0 && cont(1)) {
      cp = ((b0 & 0x1Fu) << 6) | at(1);
      n = 2;
    } else if (b0 >= 0xE0 && b0 < 0xF0 && cont(1) && cont(2)) {
      cp = ((b0 & 0x0Fu) << 12) | (at(1) << 6) | at(2);
      n = 3;
      if (cp < 0x800 || (cp >= 0xD800 && cp < 0xE000)) cp = 0xFFFD;
    } else if (b0 >= 0xF0 && b0 < 0xF5 && cont(1) && cont(2) && cont(3)) {
      cp = ((b0 & 0x07u) << 18) | (at(1) << 12) | (at(2) << 6) | at(3);
      n = 4;
      if (cp < 0x10000 || cp > 0x10FFFF) cp = 0xFFFD;
    }
    if (cp >= 0x10000) {
      cp -= 0x10000;
      out.push_back(static_cast<char16_t>(0xD800 + (cp >> 10)));
      out.push_back(static_cast<char16_t>(0xDC00 + (cp & 0x3FF)));
    } else {
      out.push_back(static_cast<char16_t>(cp));
    }
    i += n;
  }
  return out;
}

bool String::equals(const Object* other) const {
  const auto* s = dynamic_cast<const String*>(other);
  return s != nullptr && s->value_ == value_;
}

int32_t String::hashCode() const {
  uint32_t h = 0;
  for (const char c : value_) h = 31 * h + static_cast<uint8_t>(c);
  return static_cast<int32_t>(h);
}

}  // namespace kelvor::lang
