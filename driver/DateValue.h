// A DATE value: a calendar date (proleptic Gregorian, astronomical years) with a time of day to
// the second, held in its seven-byte form (the grammar is written above the code in
// DateValue.cpp):
//
//   byte 0, 1   century and year within it, offset by 100 (see DateValue.cpp); years
//               -10099..15599
//   byte 2, 3   month 1..12, day 1..28/29/30/31 as the month and year allow
//   byte 4..6   hour + 1, minute + 1, second + 1
//
// A value made from bytes keeps them as they came, unchecked, so that an image holding one
// malformed date can still be read; every conversion (to a timestamp, to text) and every
// other constructor checks all seven bytes and raises ERR_CONVERSION for a form that is not
// a date. Nothing outside the bytes given is read. Immutable once made (its bytes
// are shared, never written); shareable between threads.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "driver/SqlValue.h"
#include "lang/Array.h"
#include "lang/Object.h"
#include "lang/Ref.h"
#include "lang/Timestamp.h"

namespace kelvor::jdbc {

class DateValue final : public SqlValue {
 public:
  static constexpr int32_t LENGTH = 7;
  static constexpr uint8_t CLASS_BIT = SqlValue::DATE_VALUE_BIT;
  static constexpr int32_t MIN_YEAR = -10099;  // the form's bounds
  static constexpr int32_t MAX_YEAR = 15599;

  // The seven-byte form, kept as it is (shared) and not checked: a form that is not a date
  // raises ERR_CONVERSION with the bytes when the value is converted. Null raises
  // NullPointerException.
  explicit DateValue(lang::Ref<lang::ByteArray> bytes);
  // A form inline (withBytesCopied), unchecked as above.
  explicit DateValue(InlineForm form) noexcept : SqlValue(form) { addClassBits(CLASS_BIT); }

  // The timestamp's date and time; its fraction of a second is dropped. A year outside
  // MIN_YEAR..MAX_YEAR raises ERR_CONVERSION with the timestamp.
  static lang::Ref<DateValue> fromTimestamp(const lang::Timestamp& value);
  // Text "yyyy-mm-dd hh:mm:ss": an optional '-' and 4 or 5 year digits, then exactly two
  // digits for each other field, nothing before or after. Other text, or fields that are not
  // a date, raise ERR_CONVERSION with `source` (a String of the text when none is given).
  static lang::Ref<DateValue> fromString(std::string_view text,
                                         const lang::Object* source = nullptr);
  // Null gives null. A DateValue gives a value sharing its bytes; a Timestamp as
  // fromTimestamp; a String as fromString. Anything else raises ERR_CONVERSION with the object.
  static lang::Ref<DateValue> fromObject(const lang::Object* value);

  // The platform date-and-time of a seven-byte form (nanoseconds 0).
  static lang::Ref<lang::Timestamp> toTimestamp(const int8_t* bytes, int32_t length);
  static lang::Ref<lang::Timestamp> toTimestamp(const lang::ByteArray* bytes);

  lang::Ref<lang::Timestamp> timestampValue() const;
  // The timestamp.
  lang::Ref<lang::Object> toJdbc() const override;
  // "yyyy-mm-dd hh:mm:ss", the year in at least four digits and '-' before a negative one;
  // fromString reads it back.
  std::string toString() const override;
  const char* className() const noexcept override { return "DateValue"; }
};

}  // namespace kelvor::jdbc
