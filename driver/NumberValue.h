// A NUMBER value: a decimal of at most 38 significant digits, held in its byte form of at most
// 21 bytes (the grammar is written above the encoder in NumberValue.cpp):
//
//   form   := 00                        zero, one byte
//           | hdr(2) pair{1..19}        hdr: big-endian; bit 15 the sign (set: negative),
//                                       bits 0..14 the exponent of the leading digit + 16384
//   pair   := one byte 0..99 holding two decimal digits; the first pair is 10..99 (the leading
//             digit is not 0), the last is not 00
//   value  := sign × 0.(all digits) × 10^(exponent + 1)
//
// Every value has exactly one form, so equal bytes mean equal numbers and the inherited
// equals() is numeric equality (for well-formed bytes). The form is not ordered bytewise.
//
// Making a value: integers of every width are exact; floats and doubles take their shortest
// round-trip decimal (NaN and infinities raise ERR_CONVERSION); a decimal with more than 38
// significant digits is rounded half-even to 38; an exponent of the leading digit outside
// -16384..16383 (after rounding) raises ERR_CONVERSION.
//
// Reading a value back (the static conversions take a byte form, the instance ones this
// value's; all check the form and raise ERR_CONVERSION for a malformed one, reading nothing
// outside the bytes given):
//   toInt, toShort, toLong   the fraction is truncated toward zero; a whole part outside the
//                            target width raises ERR_CONVERSION (never wraps or saturates)
//   toFloat, toDouble        rounded to nearest; a magnitude beyond the largest finite value
//                            raises ERR_CONVERSION, one below the smallest subnormal gives a
//                            zero of the value's sign
//   toBigDecimal             exact; whole numbers get scale 0, others their fraction digits
// The pointer-and-length conversions to primitives never allocate (but to raise).
//
// Immutable once made (its bytes are shared, never written); shareable between threads.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "driver/SqlValue.h"
#include "lang/Array.h"
#include "lang/Decimal.h"
#include "lang/Object.h"
#include "lang/Ref.h"

namespace kelvor::jdbc {

class NumberValue final : public SqlValue {
 public:
  static constexpr int32_t MAX_LENGTH = 21;      // longest byte form
  static constexpr int32_t MAX_DIGITS = 38;      // significant digits held exactly
  static constexpr int32_t MIN_EXPONENT = -16384;  // exponent of the leading digit
  static constexpr int32_t MAX_EXPONENT = 16383;
  static constexpr uint8_t ZERO_BYTE = 0x00;     // the whole form of zero
  static constexpr uint8_t CLASS_BIT = SqlValue::NUMBER_VALUE_BIT;

  explicit NumberValue(int16_t value);
  explicit NumberValue(int32_t value);
  explicit NumberValue(int64_t value);
  // The shortest decimal that reads back as the same float; NaN or infinite raises
  // ERR_CONVERSION. -0.0 is zero.
  explicit NumberValue(float value);
  explicit NumberValue(double value);
  // A byte form, kept as it is (shared) and not checked: a malformed one raises ERR_CONVERSION
  // with the bytes only when the value is converted (to a primitive, a decimal or text). Null
  // raises NullPointerException.
  explicit NumberValue(lang::Ref<lang::ByteArray> bytes);
  // A byte form inline (withBytesCopied), unchecked as above.
  explicit NumberValue(InlineForm form) noexcept : SqlValue(form) { addClassBits(CLASS_BIT); }
  // What makeRef<NumberValue> makes of a primitive: the constructor's value, with its form
  // inline, in one allocation (a value written is read whole, and a form of its own would be
  // a second object to reach).
  static lang::Ref<NumberValue> makeNew(int16_t value);
  static lang::Ref<NumberValue> makeNew(int32_t value);
  static lang::Ref<NumberValue> makeNew(int64_t value);
  static lang::Ref<NumberValue> makeNew(float value);
  static lang::Ref<NumberValue> makeNew(double value);

  // Exact up to 38 significant digits, rounded half-even beyond; an exponent out of range
  // raises ERR_CONVERSION with the decimal.
  static lang::Ref<NumberValue> fromDecimal(const lang::Decimal& value);
  // Decimal text as lang::Decimal::parse reads it ("-12.5", "1e-3", no blanks), then as
  // fromDecimal; other text raises ERR_CONVERSION with the string `source` when given.
  static lang::Ref<NumberValue> fromString(std::string_view text,
                                           const lang::Object* source = nullptr);
  // Null gives null. A NumberValue gives a value sharing its bytes; a Decimal, a String (as
  // fromString), a boxed Byte, Short, Integer, Long, Float or Double its number; a Boolean
  // 1 or 0. Anything else (a Character too) raises ERR_CONVERSION with the object.
  static lang::Ref<NumberValue> fromObject(const lang::Object* value);

  // Conversions of a byte form; see the file comment for rounding and overflow.
  static int32_t toInt(const int8_t* bytes, int32_t length);
  static int32_t toInt(const lang::ByteArray* bytes);
  static int64_t toLong(const int8_t* bytes, int32_t length);
  static int64_t toLong(const lang::ByteArray* bytes);
  // The 16-bit value widened to 32 bits; the caller stores it narrowed.
  static int32_t toShort(const int8_t* bytes, int32_t length);
  static int32_t toShort(const lang::ByteArray* bytes);
  static float toFloat(const int8_t* bytes, int32_t length);
  static float toFloat(const lang::ByteArray* bytes);
  static double toDouble(const int8_t* bytes, int32_t length);
  static double toDouble(const lang::ByteArray* bytes);
  static lang::Ref<lang::Decimal> toBigDecimal(const int8_t* bytes, int32_t length);
  static lang::Ref<lang::Decimal> toBigDecimal(const lang::ByteArray* bytes);
  // The plain decimal text of a byte form: "-12.5", "100", "0.001", "0"; never an exponent.
  static std::string toText(const int8_t* bytes, int32_t length);

  int32_t intValue() const;
  int64_t longValue() const;
  int16_t shortValue() const;
  float floatValue() const;
  double doubleValue() const;
  lang::Ref<lang::Decimal> bigDecimalValue() const;

  // The decimal (toBigDecimal).
  lang::Ref<lang::Object> toJdbc() const override;
  // Plain decimal text, as toText.
  std::string toString() const override;
  const char* className() const noexcept override { return "NumberValue"; }

 private:
  // Throws NullPointerException for a value without bytes.
  void checkForm() const;
};

}  // namespace kelvor::jdbc
