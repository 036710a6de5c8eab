#include "lang/Boxed.h"

#include <bit>
#include <charconv>
#include <cmath>
#include <cstdlib>
#include <type_traits>

namespace kelvor::lang {
namespace {

// The bit pattern of a floating-point value with every NaN folded to the canonical quiet NaN.
uint32_t foldedBits(float v) noexcept {
  return std::isnan(v) ? 0x7fc00000u : std::bit_cast<uint32_t>(v);
}
uint64_t foldedBits(double v) noexcept {
  return std::isnan(v) ? 0x7ff8000000000000u : std::bit_cast<uint64_t>(v);
}

// Shortest round-trip digits of v, laid out as the file comment of Boxed.h describes.
template <typename F>
std::string formatFloating(F v) {
  if (std::isnan(v)) return "NaN";
  if (std::isinf(v)) return v < 0 ? "-Infinity" : "Infinity";
  std::string out = std::signbit(v) ? "-" : "";
  if (v == 0) return out + "0.0";

  // to_chars in scientific form gives "d[.ddd]e[+-]xx" with the shortest digits.
  char buffer[64];
  const auto res = std::to_chars(buffer, buffer + sizeof buffer, std::fabs(v),
                                 std::chars_format::scientific);
  const std::string_view text(buffer, static_cast<size_t>(res.ptr - buffer));
  const size_t e = text.find('e');
  std::string digits(1, text[0]);
  if (e > 1) digits.append(text.substr(2, e - 2));  // skip the point
  const int exponent = std::atoi(std::string(text.substr(e + 1)).c_str());

  const F magnitude = std::fabs(v);
  if (magnitude >= F(1e-3) && magnitude < F(1e7)) {
    if (exponent >= 0) {
      const auto intDigits = static_cast<size_t>(exponent) + 1;
      if (digits.size() <= intDigits) {
        out += digits + std::string(intDigits - digits.size(), '0') + ".0";
      } else {
        out += digits.substr(0, intDigits) + "." + digits.substr(intDigits);
      }
    } else {
      out += "0." + std::string(static_cast<size_t>(-exponent - 1), '0') + digits;
    }
    return out;
  }
  out += digits.substr(0, 1) + "." + (digits.size() > 1 ? digits.substr(1) : "0");
  return out + "E" + std::to_string(exponent);
}

// One UTF-16 code unit as UTF-8; a surrogate alone is not a character and becomes U+FFFD.
std::string utf8Of(char16_t c) {
  const auto u = static_cast<uint32_t>(c);
  std::string out;
  if (u < 0x80) {
    out += static_cast<char>(u);
  } else if (u < 0x800) {
    out += static_cast<char>(0xC0 | (u >> 6));
    out += static_cast<char>(0x80 | (u & 0x3F));
  } else if (u >= 0xD800 && u <= 0xDFFF) {
    out = "\xEF\xBF\xBD";
  } else {
    out += static_cast<char>(0xE0 | (u >> 12));
    out += static_cast<char>(0x80 | ((u >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (u & 0x3F));
  }
  return out;
}

}  // namespace

template <typename T>
bool Boxed<T>::equals(const Object* other) const {
  const auto* b = dynamic_cast<const Boxed*>(other);
  if (b == nullptr) return false;
  if constexpr (std::is_floating_point_v<T>) {
    return foldedBits(value_) == foldedBits(b->value_);
  } else {
    return value_ == b->value_;
  }
}

template <typename T>
int32_t Boxed<T>::hashCode() const {
  if constexpr (std::is_same_v<T, bool>) {
    return value_ ? 1231 : 1237;
  } else if constexpr (std::is_same_v<T, int64_t>) {
    const auto bits = static_cast<uint64_t>(value_);
    return static_cast<int32_t>(static_cast<uint32_t>(bits ^ (bits >> 32)));
  } else if constexpr (std::is_same_v<T, float>) {
    return static_cast<int32_t>(foldedBits(value_));
  } else if constexpr (std::is_same_v<T, double>) {
    const uint64_t bits = foldedBits(value_);
    return static_cast<int32_t>(static_cast<uint32_t>(bits ^ (bits >> 32)));
  } else {
    return static_cast<int32_t>(value_);
  }
}

template <typename T>
std::string Boxed<T>::toString() const {
  if constexpr (std::is_same_v<T, bool>) {
    return value_ ? "true" : "false";
  } else if constexpr (std::is_same_v<T, char16_t>) {
    return utf8Of(value_);
  } else if constexpr (std::is_floating_point_v<T>) {
    return formatFloating(value_);
  } else {
    return std::to_string(static_cast<int64_t>(value_));
  }
}

template class Boxed<bool>;
template class Boxed<int8_t>;
template class Boxed<int16_t>;
template class Boxed<char16_t>;
template class Boxed<int32_t>;
template class Boxed<int64_t>;
template class Boxed<float>;
template class Boxed<double>;

}  // namespace kelvor::lang
