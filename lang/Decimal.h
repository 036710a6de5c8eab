// The platform's exact decimal number: a sign, an unscaled magnitude of any length kept as
// decimal digits, and a 32-bit scale; the value is unscaled × 10^-scale, so a negative scale
// multiplies by a power of ten ("1E+5" is unscaled 1, scale -5). The scale is part of the
// object: 1.50 and 1.5 are numerically equal but not equals(). Immutable, hence shareable
// between threads. Nothing here rounds except toDouble; operations that cannot be exact throw
// ArithmeticException.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <utility>

#include "lang/Object.h"
#include "lang/Placeable.h"
#include "lang/Ref.h"

namespace kelvor::lang {

class Decimal final : public Object, public Placeable {
 public:
  // unscaled × 10^-scale.
  static Ref<Decimal> of(int64_t unscaled, int32_t scale = 0);
  // An optionally signed ('+' or '-') string of decimal digits as the unscaled value; leading
  // zeros are dropped. Anything else (empty, other characters) throws NumberFormatException.
  static Ref<Decimal> ofUnscaled(std::string_view unscaled, int32_t scale);
  // ofUnscaled of a magnitude and a sign apart: `digits` are decimal digits only, leading
  // zeros dropped. For callers that hold the digits without a sign, to save building a text.
  static Ref<Decimal> ofDigits(bool negative, std::string_view digits, int32_t scale);
  // ofDigits of digits known to be as unscaledDigits() holds them (decimal digits only, at
  // least one, no leading zero unless the value is zero), which a caller that made them from a
  // checked form knows: not checked again.
  static Ref<Decimal> ofCanonicalDigits(bool negative, std::string_view digits, int32_t scale) {
    const bool zero = digits.size() == 1 && digits[0] == '0';
    return Ref<Decimal>::adopt(new Decimal(zero ? 0 : negative ? -1 : 1, digits, scale));
  }
  // Text in the forms [+|-] digits [. digits] [(e|E) [+|-] digits], with at least one digit
  // before the exponent: "-123.4500" (scale 4), "1E+5" (scale -5), "1.5e-3" (scale 4), ".5",
  // "5.". The scale is the count of fraction digits minus the exponent; text that is
  // malformed, or whose scale falls outside 32 bits, throws NumberFormatException.
  static Ref<Decimal> parse(std::string_view text);

  // -1, 0 or 1.
  int32_t signum() const noexcept { return signum_; }
  // The magnitude of the unscaled value: decimal digits without leading zeros, "0" for zero.
  const std::string& unscaledDigits() const noexcept { return digits_; }
  int32_t scale() const noexcept { return scale_; }
  // The number of digits in the unscaled value (1 for zero).
  int32_t precision() const noexcept { return static_cast<int32_t>(digits_.size()); }

  // Plain notation ("-123.4500", "0.00", "0.0000012") when the scale is not negative and the
  // first digit stands at 10^-6 or above; otherwise the first digit, the other digits after a
  // point, and the exponent of the first digit ("1E+5", "1.23E-10", "0E+3").
  // The text parses back to an equals() decimal, and its length stays near the digit count
  // however large the exponent is.
  std::string toString() const override;
  // Always plain: a negative scale appends zeros ("100000"; zero prints as "0"). The text can
  // be as long as the exponent is large; above 2^31-1 characters it throws
  // ArithmeticException instead of trying to build it.
  std::string toPlainString() const;

  // Numeric order, whatever the scales: -1, 0 or 1.
  int32_t compareTo(const Decimal& other) const noexcept;
  // Same value and same scale.
  bool equals(const Object* other) const override;
  // Same value, scales aside (compareTo == 0).
  bool numericEquals(const Decimal& other) const noexcept { return compareTo(other) == 0; }
  // Consistent with equals: scale included.
  int32_t hashCode() const override;

  // The same value with the trailing zeros of the unscaled digits removed and the scale
  // lowered to match; zero becomes 0 with scale 0. A scale that would fall below -2^31 throws
  // ArithmeticException.
  Ref<Decimal> stripTrailingZeros() const;

  // Whether the value is a whole number within the range of int64_t.
  bool fitsInt64() const noexcept;
  // The exact value; a fraction or a value outside int64_t throws ArithmeticException.
  int64_t toInt64() const;
  // The nearest double (correctly rounded; ±infinity beyond the range, ±0 below it).
  double toDouble() const;

  static constexpr const char* NAME = "Decimal";
  const char* className() const noexcept override { return NAME; }

 private:
  Decimal(int32_t signum, std::string digits, int32_t scale)
      : signum_(signum), digits_(std::move(digits)), scale_(scale) {}
  Decimal(int32_t signum, std::string_view digits, int32_t scale)
      : signum_(signum), digits_(digits), scale_(scale) {}

  // From a digit run that may carry leading zeros, the scale computed in 64 bits; a scale
  // outside 32 bits throws NumberFormatException quoting `text`.
  static Ref<Decimal> fromDigits(bool negative, std::string_view digits, int64_t scale,
                                 std::string_view text);
  // The exponent of the first digit: precision - 1 - scale (needs 64 bits).
  int64_t adjustedExponent() const noexcept;

  const int32_t signum_;      // -1, 0, 1; 0 exactly when digits_ is "0"
  const std::string digits_;  // magnitude of the unscaled value, no leading zeros
  const int32_t scale_;       // value = ±digits_ × 10^-scale_
};

}  // namespace kelvor::lang
