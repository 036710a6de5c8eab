#include "lang/Decimal.h"

#include <algorithm>
#include <cstdlib>

#include "lang/Exceptions.h"

namespace kelvor::lang {
namespace {

// Exponents are read up to this magnitude and saturate above it: any scale they produce is
// already outside 32 bits, and no sum below can overflow 64.
constexpr int64_t EXPONENT_CEILING = int64_t{1} << 40;
// A whole number of more than 19 digits is beyond 2^63 (and 19 digits always fit 64 bits).
constexpr int64_t MAX_INT64_DIGITS = 19;

bool isDigit(char c) noexcept { return c >= '0' && c <= '9'; }

[[noreturn]] void throwFormat(std::string_view text, const char* why) {
  throw NumberFormatException("not a decimal (" + std::string(why) + "): \"" +
                              std::string(text.substr(0, 64)) + (text.size() > 64 ? "...\"" : "\""));
}

}  // namespace

Ref<Decimal> Decimal::of(int64_t unscaled, int32_t scale) {
  // the magnitude of INT64_MIN only fits unsigned
  const uint64_t magnitude = unscaled < 0 ? uint64_t{0} - static_cast<uint64_t>(unscaled)
                                          : static_cast<uint64_t>(unscaled);
  const int32_t signum = unscaled < 0 ? -1 : (unscaled > 0 ? 1 : 0);
  return Ref<Decimal>::adopt(new Decimal(signum, std::to_string(magnitude), scale));
}

Ref<Decimal> Decimal::ofUnscaled(std::string_view unscaled, int32_t scale) {
  size_t i = 0;
  bool negative = false;
  if (i < unscaled.size() && (unscaled[i] == '+' || unscaled[i] == '-')) {
    negative = unscaled[i] == '-';
    ++i;
  }
  const std::string_view digits = unscaled.substr(i);
  if (digits.empty()) throwFormat(unscaled, "no digits");
  if (!std::all_of(digits.begin(), digits.end(), isDigit)) throwFormat(unscaled, "not a digit");
  return fromDigits(negative, digits, scale, unscaled);
}

Ref<Decimal> Decimal::ofDigits(bool negative, std::string_view digits, int32_t scale) {
  if (digits.empty()) throwFormat(digits, "no digits");
  for (const char c : digits) {
    if (!isDigit(c)) throwFormat(digits, "not a digit");
  }
  return fromDigits(negative, digits, scale, digits);
}

Ref<Decimal> Decimal::parse(std::string_view text) {
  const size_t n = text.size();
  size_t i = 0;
  bool negative = false;
  if (i < n && (text[i] == '+' || text[i] == '-')) {
    negative = text[i] == '-';
    ++i;
  }
  std::string digits;
  int64_t fractionDigits = 0;
  bool point = false;
  for (; i < n; ++i) {
    const char c = text[i];
    if (isDigit(c)) {
      digits += c;
      if (point) ++fractionDigits;
    } else if (c == '.' && !point) {
      point = true;
    } else {
      break;
    }
  }
  if (digits.empty()) throwFormat(text, "no digits");
  if (digits.size() > static_cast<size_t>(INT32_MAX)) throwFormat(text, "too many digits");

  int64_t exponent = 0;
  if (i < n && (text[i] == 'e' || text[i] == 'E')) {
    ++i;
    bool negativeExponent = false;
    if (i < n && (text[i] == '+' || text[i] == '-')) {
      negativeExponent = text[i] == '-';
      ++i;
    }
    const size_t first = i;
    for (; i < n && isDigit(text[i]); ++i) {
      exponent = std::min(exponent * 10 + (text[i] - '0'), EXPONENT_CEILING);
    }
    if (i == first) throwFormat(text, "no exponent digits");
    if (negativeExponent) exponent = -exponent;
  }
  if (i != n) throwFormat(text, "unexpected character");
  return fromDigits(negative, digits, fractionDigits - exponent, text);
}

Ref<Decimal> Decimal::fromDigits(bool negative, std::string_view digits, int64_t scale,
                                 std::string_view text) {
  if (scale < INT32_MIN || scale > INT32_MAX) throwFormat(text, "scale outside 32 bits");
  if (digits.size() > static_cast<size_t>(INT32_MAX)) throwFormat(text, "too many digits");
  const size_t first = digits.find_first_not_of('0');
  if (first == std::string_view::npos) {
    return Ref<Decimal>::adopt(new Decimal(0, std::string_view("0"), static_cast<int32_t>(scale)));
  }
  return Ref<Decimal>::adopt(new Decimal(negative ? -1 : 1, digits.substr(first),
                                  static_cast<int32_t>(scale)));
}

int64_t Decimal::adjustedExponent() const noexcept {
  return static_cast<int64_t>(digits_.size()) - 1 - scale_;
}

std::string Decimal::toString() const {
  const int64_t adjusted = adjustedExponent();
  if (scale_ >= 0 && adjusted >= -6) return toPlainString();
  std::string out = signum_ < 0 ? "-" : "";
  out += digits_[0];
  if (digits_.size() > 1) {
    out += '.';
    out.append(digits_, 1);
  }
  out += adjusted >= 0 ? "E+" : "E";
  out += std::to_string(adjusted);
  return out;
}

std::string Decimal::toPlainString() const {
  if (signum_ == 0 && scale_ <= 0) return "0";
  const auto length = static_cast<int64_t>(digits_.size());
  // sign, point, a leading "0." and the zeros that the scale adds, in 64 bits
  const int64_t zeros = scale_ <= 0 ? -int64_t{scale_} : std::max<int64_t>(scale_ - length, 0);
  if (length + zeros + 3 > INT32_MAX) throw ArithmeticException("plain form above 2^31-1 characters");

  std::string out = signum_ < 0 ? "-" : "";
  if (scale_ <= 0) {
    out += digits_;
    out.append(static_cast<size_t>(zeros), '0');
  } else if (length > scale_) {
    const auto intDigits = static_cast<size_t>(length - scale_);
    out.append(digits_, 0, intDigits);
    out += '.';
    out.append(digits_, intDigits);
  } else {
    out += "0.";
    out.append(static_cast<size_t>(zeros), '0');
    out += digits_;
  }
  return out;
}

int32_t Decimal::compareTo(const Decimal& other) const noexcept {
  if (signum_ != other.signum_) return signum_ < other.signum_ ? -1 : 1;
  if (signum_ == 0) return 0;
  // Leading digits are never zero, so the exponent of the first digit orders the magnitudes
  // unless it is the same; then the digits do, a longer run winning if its tail is not zeros.
  int32_t magnitude = 0;
  const int64_t a = adjustedExponent();
  const int64_t b = other.adjustedExponent();
  if (a != b) {
    magnitude = a < b ? -1 : 1;
  } else {
    const size_t common = std::min(digits_.size(), other.digits_.size());
    const int r = digits_.compare(0, common, other.digits_, 0, common);
    if (r != 0) {
      magnitude = r < 0 ? -1 : 1;
    } else if (digits_.find_first_not_of('0', common) != std::string::npos) {
      magnitude = 1;
    } else if (other.digits_.find_first_not_of('0', common) != std::string::npos) {
      magnitude = -1;
    }
  }
  return signum_ > 0 ? magnitude : -magnitude;
}

bool Decimal::equals(const Object* other) const {
  const auto* d = dynamic_cast<const Decimal*>(other);
  return d != nullptr && d->signum_ == signum_ && d->scale_ == scale_ && d->digits_ == digits_;
}

int32_t Decimal::hashCode() const {
  uint32_t h = static_cast<uint32_t>(signum_);
  for (const char c : digits_) h = 31 * h + static_cast<uint8_t>(c);
  return static_cast<int32_t>(31 * h + static_cast<uint32_t>(scale_));
}

Ref<Decimal> Decimal::stripTrailingZeros() const {
  if (signum_ == 0) return Ref<Decimal>::adopt(new Decimal(0, std::string_view("0"), 0));
  const size_t kept = digits_.find_last_not_of('0') + 1;  // digits_ has a non-zero digit
  const int64_t scale = int64_t{scale_} - static_cast<int64_t>(digits_.size() - kept);
  if (scale < INT32_MIN) throw ArithmeticException("scale below -2^31");
  return Ref<Decimal>::adopt(new Decimal(signum_, digits_.substr(0, kept), static_cast<int32_t>(scale)));
}

namespace {

enum class Whole { kOk, kFraction, kOverflow };

// The magnitude of a value as a whole number below 10^19, or why it is not one.
Whole wholeMagnitude(const std::string& digits, int32_t scale, uint64_t& out) noexcept {
  out = 0;
  if (digits == "0") return Whole::kOk;
  const auto length = static_cast<int64_t>(digits.size());
  if (scale >= length) return Whole::kFraction;  // a non-zero value below 1
  if (scale > 0 && digits.find_first_not_of('0', static_cast<size_t>(length - scale)) !=
                       std::string::npos) {
    return Whole::kFraction;
  }
  const int64_t wholeDigits = length - scale;  // scale may be negative: appended zeros
  if (wholeDigits > MAX_INT64_DIGITS) return Whole::kOverflow;
  for (int64_t i = 0; i < wholeDigits; ++i) {
    const int d = i < length ? digits[static_cast<size_t>(i)] - '0' : 0;
    out = out * 10 + static_cast<uint64_t>(d);
  }
  return Whole::kOk;
}

constexpr uint64_t INT64_MIN_MAGNITUDE = uint64_t{1} << 63;

}  // namespace

bool Decimal::fitsInt64() const noexcept {
  uint64_t magnitude = 0;
  if (wholeMagnitude(digits_, scale_, magnitude) != Whole::kOk) return false;
  return signum_ < 0 ? magnitude <= INT64_MIN_MAGNITUDE : magnitude < INT64_MIN_MAGNITUDE;
}

int64_t Decimal::toInt64() const {
  uint64_t magnitude = 0;
  switch (wholeMagnitude(digits_, scale_, magnitude)) {
    case Whole::kFraction:
      throw ArithmeticException("decimal " + toString() + " has a fraction");
    case Whole::kOverflow:
      throw ArithmeticException("decimal " + toString() + " is outside 64 bits");
    case Whole::kOk:
      break;
  }
  if (signum_ < 0) {
    if (magnitude > INT64_MIN_MAGNITUDE) {
      throw ArithmeticException("decimal " + toString() + " is outside 64 bits");
    }
    return static_cast<int64_t>(uint64_t{0} - magnitude);  // two's complement, INT64_MIN too
  }
  if (magnitude >= INT64_MIN_MAGNITUDE) {
    throw ArithmeticException("decimal " + toString() + " is outside 64 bits");
  }
  return static_cast<int64_t>(magnitude);
}

double Decimal::toDouble() const {
  if (signum_ == 0) return 0.0;
  // "digitsE-scale": no point, so the locale's decimal separator plays no part; strtod rounds
  // correctly and saturates to infinity or zero outside the range.
  const std::string text =
      (signum_ < 0 ? "-" : "") + digits_ + "E" + std::to_string(-int64_t{scale_});
  return std::strtod(text.c_str(), nullptr);
}

}  // namespace kelvor::lang
