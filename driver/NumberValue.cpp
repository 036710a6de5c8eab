#include "driver/NumberValue.h"

#include <algorithm>
#include <array>
#include <bit>
#include <charconv>
#include <cmath>
#include <cstring>
#include <system_error>

#include "driver/DriverException.h"
#include "driver/ErrorRaiser.h"
#include "lang/Boxed.h"
#include "lang/Exceptions.h"
#include "lang/String.h"

namespace kelvor::jdbc {
namespace {

// The number byte form.
//
//   form     := ZERO                     the single byte 00: zero, which has no sign
//             | header pair{1..19}       every other value; 3..21 bytes
//   header   := two bytes, big-endian: bit 15 set for a negative value, bits 0..14 the
//               decimal exponent of the leading significant digit plus EXPONENT_BIAS
//               (exponents -16384..16383, every 15-bit pattern meaning one)
//   pair     := one byte p, 0..99: the two decimal digits p / 10 and p % 10
//   rules    := the first pair is 10..99 (its first digit is the leading significant digit);
//               the last pair is not 0 (no trailing zero pair); a value with an odd count of
//               significant digits ends in a pair whose second digit is 0
//   value    := sign × Σ p_i × 10^(exponent + 1 - 2i), i = 1..n
//
// Examples: 0 = 00; 5 = 40 00 32; -5 = C0 00 32; 12.5 = 40 01 0C 32; 100 = 40 02 0A;
// 0.001 = 3F FD 0A; INT64_MIN = C0 12 5C 17 25 14 24 55 2F 4B 50 50.
//
// Pairs start at the leading digit rather than at an even power of ten, so 38 significant
// digits always fit 19 pairs whatever the exponent is: 2 + 19 = 21 bytes at most. The rules
// leave exactly one form per value, which lets byte equality stand for numeric equality.
// Integers decode with one multiply-add per pair and a final scale by a power of ten.
constexpr int32_t EXPONENT_BIAS = 16384;
constexpr uint32_t SIGN_BIT = 0x8000;
constexpr uint32_t EXPONENT_MASK = 0x7FFF;
constexpr int32_t HEADER_LENGTH = 2;
constexpr int32_t MAX_PAIRS = NumberValue::MAX_LENGTH - HEADER_LENGTH;  // 19
static_assert(2 * MAX_PAIRS == NumberValue::MAX_DIGITS);
static_assert(NumberValue::MIN_EXPONENT + EXPONENT_BIAS == 0);
static_assert(NumberValue::MAX_EXPONENT + EXPONENT_BIAS == EXPONENT_MASK);

// A checked form, borrowing the caller's bytes.
struct Form {
  const uint8_t* pairs;  // not owned; the pairs after the header
  int32_t pairCount;     // 0 for zero
  int32_t exponent;      // decimal exponent of the leading digit
  bool negative;
};

// ---- failures, out of line so that the checks stay one compare each -------------------------

[[noreturn]] __attribute__((noinline, cold)) void raiseMalformed(const int8_t* bytes,
                                                                 int32_t length,
                                                                 const lang::ByteArray* array) {
  ErrorRaiser::raiseWithBytes(DriverException::ERR_CONVERSION, "malformed number byte form", bytes,
                              length, array);
}

[[noreturn]] __attribute__((noinline, cold)) void raiseOutOfRange(const int8_t* bytes,
                                                                  int32_t length,
                                                                  const lang::ByteArray* array,
                                                                  const char* target) {
  const std::string message = std::string("number outside the range of ") + target;
  ErrorRaiser::raiseWithBytes(DriverException::ERR_CONVERSION, message.c_str(), bytes, length,
                              array);
}

// ---- reading ---------------------------------------------------------------------------------

// Inlined into every conversion: the bulk paths call them once per element.
__attribute__((always_inline)) inline Form readForm(const int8_t* bytes, int32_t length,
                                                    const lang::ByteArray* array) {
  // security: the length travels with untrusted bytes; check it before touching any of them
  if (length < 1 || length > NumberValue::MAX_LENGTH || bytes == nullptr) {
    raiseMalformed(bytes, length, array);
  }
  const auto* b = reinterpret_cast<const uint8_t*>(bytes);
  if (length == 1) {
    if (b[0] != NumberValue::ZERO_BYTE) raiseMalformed(bytes, length, array);
    return Form{nullptr, 0, 0, false};
  }
  if (length == HEADER_LENGTH) raiseMalformed(bytes, length, array);  // a header without digits
  const uint32_t header = (uint32_t{b[0]} << 8) | b[1];
  const Form form{b + HEADER_LENGTH, length - HEADER_LENGTH,
                  static_cast<int32_t>(header & EXPONENT_MASK) - EXPONENT_BIAS,
                  (header & SIGN_BIT) != 0};
  if (form.pairs[0] < 10 || form.pairs[form.pairCount - 1] == 0) {
    raiseMalformed(bytes, length, array);
  }
  for (int32_t i = 0; i < form.pairCount; ++i) {
    if (form.pairs[i] > 99) raiseMalformed(bytes, length, array);
  }
  return form;
}

constexpr std::array<uint64_t, 20> POW10_U64 = [] {
  std::array<uint64_t, 20> p{};
  uint64_t v = 1;
  for (auto& x : p) {
    x = v;
    v *= 10;
  }
  return p;
}();

// Powers of ten that doubles (up to 10^22) and floats (up to 10^10) hold exactly.
constexpr std::array<double, 23> POW10_DOUBLE = {
    1e0,  1e1,  1e2,  1e3,  1e4,  1e5,  1e6,  1e7,  1e8,  1e9,  1e10, 1e11,
    1e12, 1e13, 1e14, 1e15, 1e16, 1e17, 1e18, 1e19, 1e20, 1e21, 1e22};
constexpr std::array<float, 11> POW10_FLOAT = {1e0f, 1e1f, 1e2f, 1e3f, 1e4f, 1e5f,
                                               1e6f, 1e7f, 1e8f, 1e9f, 1e10f};

// The magnitude of the whole part (the fraction truncated), or false when it has more than 19
// digits. Below 10^19, so it always fits 64 unsigned bits.
bool wholeMagnitude(const Form& f, uint64_t& out) noexcept {
  out = 0;
  if (f.pairCount == 0 || f.exponent < 0) return true;
  if (f.exponent >= 19) return false;
  const int32_t wholeDigits = f.exponent + 1;  // 1..19
  const int32_t fullPairs = std::min(wholeDigits / 2, f.pairCount);
  uint64_t m = 0;
  for (int32_t i = 0; i < fullPairs; ++i) m = m * 100 + f.pairs[i];
  int32_t used = 2 * fullPairs;
  if (used < wholeDigits && fullPairs < f.pairCount) {  // the whole part ends inside a pair
    m = m * 10 + f.pairs[fullPairs] / 10u;
    ++used;
  }
  out = m * POW10_U64[static_cast<size_t>(wholeDigits - used)];  // zeros past the last pair
  return true;
}

// The whole part as a signed value within [-(high + 1), high]. The sign is applied without a
// branch: in bulk reads it is as good as random, and a mispredicted jump costs more than the
// rest of a small number's decoding.
int64_t wholeValue(const int8_t* bytes, int32_t length, const lang::ByteArray* array,
                   int64_t high, const char* target) {
  const Form f = readForm(bytes, length, array);
  uint64_t m = 0;
  if (!wholeMagnitude(f, m)) raiseOutOfRange(bytes, length, array, target);
  const uint64_t negative = f.negative ? 1 : 0;
  // the negative limit's magnitude is high + 1, in unsigned arithmetic (2^63 for int64_t)
  if (m > static_cast<uint64_t>(high) + negative) raiseOutOfRange(bytes, length, array, target);
  const uint64_t mask = uint64_t{0} - negative;  // all ones when negative
  return static_cast<int64_t>((m ^ mask) + negative);  // two's complement negation
}

// Writes the pairs' digits as text into out (room for MAX_DIGITS); returns the count of
// significant digits (a final 0 of the last pair dropped).
int32_t formDigits(const Form& f, char* out) noexcept {
  // the two digits of each pair 0..99, read as one two-byte copy
  static constexpr std::array<char, 200> PAIR_DIGITS = [] {
    std::array<char, 200> t{};
    for (size_t p = 0; p < 100; ++p) {
      t[2 * p] = static_cast<char>('0' + p / 10);
      t[2 * p + 1] = static_cast<char>('0' + p % 10);
    }
    return t;
  }();
  for (int32_t i = 0; i < f.pairCount; ++i) {  // readForm checked every pair against 99
    std::memcpy(out + 2 * i, &PAIR_DIGITS[2 * size_t{f.pairs[i]}], 2);
  }
  int32_t count = 2 * f.pairCount;
  if (count > 0 && f.pairs[f.pairCount - 1] % 10 == 0) --count;  // not read back from out
  return count;
}

// Correctly rounded binary value of a non-zero form through from_chars, for the cases the
// exact fast paths do not cover. Underflow gives a signed zero; overflow raises.
template <typename F>
F parseFloating(const Form& f, const int8_t* bytes, int32_t length, const lang::ByteArray* array,
                const char* target) {
  // sign, 38 digits, 'e', sign and 6 exponent digits
  char text[64];
  char* p = text;
  if (f.negative) *p++ = '-';
  const int32_t digits = formDigits(f, p);
  p += digits;
  *p++ = 'e';
  p = std::to_chars(p, text + sizeof text, f.exponent + 1 - digits).ptr;
  F value{};
  const auto result = std::from_chars(text, p, value);
  if (result.ec == std::errc::result_out_of_range) {
    // below 1 in magnitude it can only have underflowed
    if (f.exponent < 0) return f.negative ? -F(0) : F(0);
    raiseOutOfRange(bytes, length, array, target);
  }
  return value;
}

// A non-negative value with the sign bit set when negative, without a branch.
double withSign(double v, bool negative) noexcept {
  return std::bit_cast<double>(std::bit_cast<uint64_t>(v) | (uint64_t{negative} << 63));
}
float withSign(float v, bool negative) noexcept {
  return std::bit_cast<float>(std::bit_cast<uint32_t>(v) | (uint32_t{negative} << 31));
}

double doubleValueOf(const int8_t* bytes, int32_t length, const lang::ByteArray* array) {
  const Form f = readForm(bytes, length, array);
  if (f.pairCount == 0) return 0.0;
  // Up to 14 digits fit a double's 53-bit significand exactly, and so do 10^0..10^22; one
  // multiply or divide of two exact values is correctly rounded.
  const int32_t shift = f.exponent + 1 - 2 * f.pairCount;  // power of ten of the last digit
  if (f.pairCount <= 7 && shift >= -22 && shift <= 22) {
    uint64_t m = 0;
    for (int32_t i = 0; i < f.pairCount; ++i) m = m * 100 + f.pairs[i];
    // one of the two powers is 1, so one rounding only; no branch on the sign of the shift
    const double v = static_cast<double>(m) * POW10_DOUBLE[static_cast<size_t>(std::max(shift, 0))] /
                     POW10_DOUBLE[static_cast<size_t>(std::max(-shift, 0))];
    return withSign(v, f.negative);
  }
  return parseFloating<double>(f, bytes, length, array, "double");
}

float floatValueOf(const int8_t* bytes, int32_t length, const lang::ByteArray* array) {
  const Form f = readForm(bytes, length, array);
  if (f.pairCount == 0) return 0.0f;
  // as for doubles, with a 24-bit significand and 10^0..10^10
  const int32_t shift = f.exponent + 1 - 2 * f.pairCount;
  if (f.pairCount <= 4 && shift >= -10 && shift <= 10) {
    uint32_t m = 0;
    for (int32_t i = 0; i < f.pairCount; ++i) m = m * 100 + f.pairs[i];
    if (m <= (uint32_t{1} << 24)) {
      const float v = static_cast<float>(m) *
                      POW10_FLOAT[static_cast<size_t>(std::max(shift, 0))] /
                      POW10_FLOAT[static_cast<size_t>(std::max(-shift, 0))];
      return withSign(v, f.negative);
    }
  }
  return parseFloating<float>(f, bytes, length, array, "float");
}

lang::Ref<lang::Decimal> decimalOf(const int8_t* bytes, int32_t length,
                                   const lang::ByteArray* array) {
  const Form f = readForm(bytes, length, array);
  if (f.pairCount == 0) return lang::Decimal::of(0);
  char digits[NumberValue::MAX_DIGITS];
  const int32_t count = formDigits(f, digits);
  // whole numbers get scale 0, so 100 comes back as "100" and not as 1 × 10^2
  // readForm checked the pairs: digits only, the first one not 0 (and so with zeros appended)
  const int32_t scale = count - 1 - f.exponent;  // within ±16421
  if (scale >= 0) {
    return lang::Decimal::ofCanonicalDigits(
        f.negative, std::string_view(digits, static_cast<size_t>(count)), scale);
  }
  std::string unscaled(digits, static_cast<size_t>(count));
  unscaled.append(static_cast<size_t>(-scale), '0');
  return lang::Decimal::ofCanonicalDigits(f.negative, unscaled, 0);
}

// ---- writing ---------------------------------------------------------------------------------

// A byte form made here from host data, before it has a home: at most MAX_LENGTH bytes.
struct Encoded {
  std::array<int8_t, NumberValue::MAX_LENGTH> bytes;
  int32_t length;

  lang::Ref<lang::ByteArray> array() const { return lang::ByteArray::copyOf(bytes.data(), length); }
  // A value holding the form inline: one allocation, or a place in the read's blocks. The
  // check states what encode guarantees, so that the optimizer drops the path for forms too long
  // to lie inline (it warns of a read past this buffer on it otherwise).
  lang::Ref<NumberValue> value() const {
    if (length < 0 || static_cast<size_t>(length) > bytes.size()) {
      throw lang::IllegalStateException("number form longer than its buffer");
    }
    return SqlValue::withBytesCopied<NumberValue>(bytes.data(), length);
  }
};

// Writes the number byte form described at the top of this file: the form of
// ±digits × 10^-scale, where `digits` is ASCII decimal digits, leading zeros allowed.
// More than MAX_DIGITS significant digits are rounded half-even; an exponent of the leading
// digit outside MIN_EXPONENT..MAX_EXPONENT raises ERR_CONVERSION with `source`.
Encoded encode(bool negative, std::string_view digits, int64_t scale, const lang::Object* source) {
  Encoded out{};
  const size_t first = digits.find_first_not_of('0');
  if (first == std::string_view::npos) {  // every zero is 00
    out.length = 1;
    return out;
  }
  digits.remove_prefix(first);

  // the exponent of the leading digit; 64 bits hold it for any scale and digit count we get
  int64_t exponent = static_cast<int64_t>(digits.size()) - 1 - scale;
  std::array<char, NumberValue::MAX_DIGITS> kept{};
  size_t count = std::min(digits.size(), kept.size());
  std::memcpy(kept.data(), digits.data(), count);
  if (digits.size() > kept.size()) {
    // half-even: up when the dropped part is above one half, or exactly one half and the
    // last kept digit is odd
    const char next = digits[kept.size()];
    const bool sticky = digits.find_first_not_of('0', kept.size() + 1) != std::string_view::npos;
    const bool odd = (kept[count - 1] - '0') % 2 != 0;
    if (next > '5' || (next == '5' && (sticky || odd))) {
      size_t i = count;
      while (i > 0 && kept[i - 1] == '9') kept[--i] = '0';
      if (i > 0) {
        ++kept[i - 1];
      } else {  // 99...9 carried into a new leading digit: 100...0
        kept[0] = '1';
        ++exponent;
      }
    }
  }
  while (count > 0 && kept[count - 1] == '0') --count;  // count >= 1: the leading digit is not 0

  if (exponent < NumberValue::MIN_EXPONENT || exponent > NumberValue::MAX_EXPONENT) {
    ErrorRaiser::raise(DriverException::ERR_CONVERSION, "number exponent out of range", source);
  }
  const auto pairs = static_cast<int32_t>((count + 1) / 2);
  out.length = HEADER_LENGTH + pairs;  // pairs <= MAX_DIGITS / 2
  const uint32_t header = (negative ? SIGN_BIT : 0u) |
                          static_cast<uint32_t>(exponent + EXPONENT_BIAS);
  out.bytes[0] = static_cast<int8_t>(header >> 8);
  out.bytes[1] = static_cast<int8_t>(header & 0xFF);
  for (int32_t i = 0; i < pairs; ++i) {
    const auto hi = static_cast<size_t>(2 * i);
    const int high = kept[hi] - '0';
    const int low = hi + 1 < count ? kept[hi + 1] - '0' : 0;
    out.bytes[static_cast<size_t>(HEADER_LENGTH + i)] = static_cast<int8_t>(high * 10 + low);
  }
  return out;
}

Encoded encodeWhole(int64_t value) {
  // the magnitude of INT64_MIN only fits unsigned
  const uint64_t magnitude = value < 0 ? uint64_t{0} - static_cast<uint64_t>(value)
                                       : static_cast<uint64_t>(value);
  char text[24];
  const char* end = std::to_chars(text, text + sizeof text, magnitude).ptr;
  return encode(value < 0, std::string_view(text, static_cast<size_t>(end - text)), 0, nullptr);
}

// The shortest decimal that reads back as `value`. `source` is the object to blame for a
// NaN or an infinity; without one, the value is boxed for the failure.
template <typename F>
Encoded encodeFloating(F value, const lang::Object* source) {
  if (!std::isfinite(value)) {
    if (source != nullptr) ErrorRaiser::raise(DriverException::ERR_CONVERSION, source);
    const lang::Ref<lang::Boxed<F>> boxed = lang::Boxed<F>::of(value);
    ErrorRaiser::raise(DriverException::ERR_CONVERSION, "not a finite number", boxed.get());
  }
  if (value == 0) return encode(false, "0", 0, source);  // -0.0 as well
  // "d[.ddd]e±xx" with the shortest digits that read back to the same value
  char text[64];
  const auto result = std::to_chars(text, text + sizeof text, std::fabs(value),
                                    std::chars_format::scientific);
  const std::string_view scientific(text, static_cast<size_t>(result.ptr - text));
  const size_t e = scientific.find('e');
  char digits[32];
  size_t count = 0;
  for (size_t i = 0; i < e; ++i) {
    if (scientific[i] != '.') digits[count++] = scientific[i];
  }
  int32_t exponent = 0;
  const char* expBegin = scientific.data() + e + 1;
  if (*expBegin == '+') ++expBegin;  // from_chars takes '-' but not '+'
  std::from_chars(expBegin, scientific.data() + scientific.size(), exponent);
  const int64_t scale = static_cast<int64_t>(count) - 1 - exponent;
  return encode(std::signbit(value), std::string_view(digits, count), scale, source);
}

// Bytes are kept as the server sent them: a malformed form fails only the conversions, so an
// image holding one can still be read, and making a value costs no check.
lang::Ref<lang::ByteArray> nonNullForm(lang::Ref<lang::ByteArray> bytes) {
  if (!bytes) lang::throwNullPointer("number byte form");
  return bytes;
}

}  // namespace

// ---- construction ------------------------------------------------------------------------------

NumberValue::NumberValue(int16_t value) : SqlValue(encodeWhole(value).array()) { addClassBits(CLASS_BIT); }
NumberValue::NumberValue(int32_t value) : SqlValue(encodeWhole(value).array()) { addClassBits(CLASS_BIT); }
NumberValue::NumberValue(int64_t value) : SqlValue(encodeWhole(value).array()) { addClassBits(CLASS_BIT); }
NumberValue::NumberValue(float value) : SqlValue(encodeFloating(value, nullptr).array()) { addClassBits(CLASS_BIT); }
NumberValue::NumberValue(double value) : SqlValue(encodeFloating(value, nullptr).array()) { addClassBits(CLASS_BIT); }
NumberValue::NumberValue(lang::Ref<lang::ByteArray> bytes) : SqlValue(nonNullForm(std::move(bytes))) { addClassBits(CLASS_BIT); }

lang::Ref<NumberValue> NumberValue::makeNew(int16_t value) { return encodeWhole(value).value(); }
lang::Ref<NumberValue> NumberValue::makeNew(int32_t value) { return encodeWhole(value).value(); }
lang::Ref<NumberValue> NumberValue::makeNew(int64_t value) { return encodeWhole(value).value(); }
lang::Ref<NumberValue> NumberValue::makeNew(float value) {
  return encodeFloating(value, nullptr).value();
}
lang::Ref<NumberValue> NumberValue::makeNew(double value) {
  return encodeFloating(value, nullptr).value();
}

lang::Ref<NumberValue> NumberValue::fromDecimal(const lang::Decimal& value) {
  return encode(value.signum() < 0, value.unscaledDigits(), value.scale(), &value).value();
}

lang::Ref<NumberValue> NumberValue::fromString(std::string_view text, const lang::Object* source) {
  lang::Ref<lang::Object> blamed(const_cast<lang::Object*>(source));
  if (!blamed) blamed = lang::String::of(text);
  lang::Ref<lang::Decimal> decimal;
  try {
    decimal = lang::Decimal::parse(text);
  } catch (const lang::NumberFormatException&) {
    ErrorRaiser::raise(DriverException::ERR_CONVERSION, "not a decimal number", blamed.get());
  }
  return encode(decimal->signum() < 0, decimal->unscaledDigits(), decimal->scale(), blamed.get())
      .value();
}

lang::Ref<NumberValue> NumberValue::fromObject(const lang::Object* value) {
  using lang::exactly;
  using lang::makeRef;
  if (value == nullptr) return nullptr;
  if (const auto* number = SqlValue::as<NumberValue>(value)) {
    return makeRef<NumberValue>(number->shareBytes());
  }
  if (const auto* decimal = exactly<lang::Decimal>(value)) return fromDecimal(*decimal);
  if (const auto* text = exactly<lang::String>(value)) return fromString(text->value(), value);
  if (const auto* v = exactly<lang::Integer>(value)) return makeRef<NumberValue>(v->value());
  if (const auto* v = exactly<lang::Long>(value)) return makeRef<NumberValue>(v->value());
  if (const auto* v = exactly<lang::Short>(value)) return makeRef<NumberValue>(v->value());
  if (const auto* v = exactly<lang::Byte>(value)) {
    return makeRef<NumberValue>(static_cast<int16_t>(v->value()));
  }
  if (const auto* v = exactly<lang::Double>(value)) {
    return encodeFloating(v->value(), value).value();
  }
  if (const auto* v = exactly<lang::Float>(value)) {
    return encodeFloating(v->value(), value).value();
  }
  if (const auto* v = exactly<lang::Boolean>(value)) {
    return makeRef<NumberValue>(int32_t{v->value() ? 1 : 0});
  }
  ErrorRaiser::raise(DriverException::ERR_CONVERSION, value);
}

// ---- static conversions ---------------------------------------------------------------------------

namespace {

const lang::ByteArray& nonNull(const lang::ByteArray* bytes) {
  if (bytes == nullptr) lang::throwNullPointer("number byte form");
  return *bytes;
}

}  // namespace

int32_t NumberValue::toInt(const int8_t* bytes, int32_t length) {
  return static_cast<int32_t>(wholeValue(bytes, length, nullptr, INT32_MAX, "int"));
}
int32_t NumberValue::toInt(const lang::ByteArray* bytes) {
  const lang::ByteArray& a = nonNull(bytes);
  return static_cast<int32_t>(wholeValue(a.data(), a.length(), &a, INT32_MAX, "int"));
}

int64_t NumberValue::toLong(const int8_t* bytes, int32_t length) {
  return wholeValue(bytes, length, nullptr, INT64_MAX, "long");
}
int64_t NumberValue::toLong(const lang::ByteArray* bytes) {
  const lang::ByteArray& a = nonNull(bytes);
  return wholeValue(a.data(), a.length(), &a, INT64_MAX, "long");
}

int32_t NumberValue::toShort(const int8_t* bytes, int32_t length) {
  return static_cast<int32_t>(wholeValue(bytes, length, nullptr, INT16_MAX, "short"));
}
int32_t NumberValue::toShort(const lang::ByteArray* bytes) {
  const lang::ByteArray& a = nonNull(bytes);
  return static_cast<int32_t>(wholeValue(a.data(), a.length(), &a, INT16_MAX, "short"));
}

float NumberValue::toFloat(const int8_t* bytes, int32_t length) {
  return floatValueOf(bytes, length, nullptr);
}
float NumberValue::toFloat(const lang::ByteArray* bytes) {
  const lang::ByteArray& a = nonNull(bytes);
  return floatValueOf(a.data(), a.length(), &a);
}

double NumberValue::toDouble(const int8_t* bytes, int32_t length) {
  return doubleValueOf(bytes, length, nullptr);
}
double NumberValue::toDouble(const lang::ByteArray* bytes) {
  const lang::ByteArray& a = nonNull(bytes);
  return doubleValueOf(a.data(), a.length(), &a);
}

lang::Ref<lang::Decimal> NumberValue::toBigDecimal(const int8_t* bytes, int32_t length) {
  return decimalOf(bytes, length, nullptr);
}
lang::Ref<lang::Decimal> NumberValue::toBigDecimal(const lang::ByteArray* bytes) {
  const lang::ByteArray& a = nonNull(bytes);
  return decimalOf(a.data(), a.length(), &a);
}

std::string NumberValue::toText(const int8_t* bytes, int32_t length) {
  return decimalOf(bytes, length, nullptr)->toPlainString();
}

// ---- instance conversions -------------------------------------------------------------------------

void NumberValue::checkForm() const {
  // only setBytes(nullptr) can leave a value without bytes
  if (!hasBytes()) lang::throwNullPointer("number byte form");
}

int32_t NumberValue::intValue() const {
  checkForm();
  return static_cast<int32_t>(wholeValue(byteData(), byteLength(), arrayIfAny(), INT32_MAX, "int"));
}
int64_t NumberValue::longValue() const {
  checkForm();
  return wholeValue(byteData(), byteLength(), arrayIfAny(), INT64_MAX, "long");
}
int16_t NumberValue::shortValue() const {
  checkForm();
  return static_cast<int16_t>(wholeValue(byteData(), byteLength(), arrayIfAny(), INT16_MAX, "short"));
}
float NumberValue::floatValue() const {
  checkForm();
  return floatValueOf(byteData(), byteLength(), arrayIfAny());
}
double NumberValue::doubleValue() const {
  checkForm();
  return doubleValueOf(byteData(), byteLength(), arrayIfAny());
}
lang::Ref<lang::Decimal> NumberValue::bigDecimalValue() const {
  checkForm();
  return decimalOf(byteData(), byteLength(), arrayIfAny());
}

lang::Ref<lang::Object> NumberValue::toJdbc() const { return bigDecimalValue(); }

std::string NumberValue::toString() const { return bigDecimalValue()->toPlainString(); }

}  // namespace kelvor::jdbc
