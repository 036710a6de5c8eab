// The platform's boxed primitives: an immutable object holding one value of a primitive kind,
// so that a number can travel where an Object is expected. Equality is by class and value
// (an Integer never equals a Long of the same value); floating-point kinds compare their bit
// patterns with every NaN folded to one, so NaN equals NaN and 0.0 differs from -0.0, which keeps
// equals consistent with hashCode. Immutable, hence shareable between threads.
#pragma once

#include <cstdint>
#include <string>

#include "lang/Object.h"
#include "lang/Ref.h"

namespace kelvor::lang {

template <typename T>
struct BoxedName;
template <> struct BoxedName<bool> { static constexpr const char* value = "Boolean"; };
template <> struct BoxedName<int8_t> { static constexpr const char* value = "Byte"; };
template <> struct BoxedName<int16_t> { static constexpr const char* value = "Short"; };
template <> struct BoxedName<char16_t> { static constexpr const char* value = "Character"; };
template <> struct BoxedName<int32_t> { static constexpr const char* value = "Integer"; };
template <> struct BoxedName<int64_t> { static constexpr const char* value = "Long"; };
template <> struct BoxedName<float> { static constexpr const char* value = "Float"; };
template <> struct BoxedName<double> { static constexpr const char* value = "Double"; };

template <typename T>
class Boxed final : public Object {
 public:
  using value_type = T;

  static Ref<Boxed> of(T value) { return Ref<Boxed>::adopt(new Boxed(value)); }

  T value() const noexcept { return value_; }

  // Same class and value; floating point by folded bit pattern (see the file comment).
  bool equals(const Object* other) const override;
  // The platform's hashes: the value for the narrow integers and char, the two halves of a
  // long folded by xor, 1231/1237 for true/false, the folded bit pattern for floating point.
  int32_t hashCode() const override;
  // Decimal digits for the integers; "true"/"false"; the character as UTF-8 (a lone surrogate
  // code unit, which UTF-8 cannot carry, as U+FFFD); floating point by the shortest digits that
  // read back to the same value, plain ("12.5", "1.0") for magnitudes in [1e-3, 1e7) and
  // otherwise one digit before the point and an exponent ("1.0E10", "2.5E-4"), and "NaN",
  // "Infinity", "-Infinity".
  std::string toString() const override;
  static constexpr const char* NAME = BoxedName<T>::value;
  const char* className() const noexcept override { return NAME; }

 private:
  explicit Boxed(T value) noexcept : value_(value) {}

  const T value_;
};

using Boolean = Boxed<bool>;
using Byte = Boxed<int8_t>;
using Short = Boxed<int16_t>;
using Character = Boxed<char16_t>;
using Integer = Boxed<int32_t>;
using Long = Boxed<int64_t>;
using Float = Boxed<float>;
using Double = Boxed<double>;

// The eight kinds are compiled once, in Boxed.cpp.
extern template class Boxed<bool>;
extern template class Boxed<int8_t>;
extern template class Boxed<int16_t>;
extern template class Boxed<char16_t>;
extern template class Boxed<int32_t>;
extern template class Boxed<int64_t>;
extern template class Boxed<float>;
extern template class Boxed<double>;

}  // namespace kelvor::lang
