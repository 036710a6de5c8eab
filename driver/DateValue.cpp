#include "driver/DateValue.h"

#include <array>
#include <cstdio>

#include "driver/DriverException.h"
#include "driver/ErrorRaiser.h"
#include "lang/Exceptions.h"
#include "lang/String.h"

namespace kelvor::jdbc {
namespace {

// The seven-byte DATE form; every byte is read unsigned.
//
//   date    := century yy month day hour minute second
//   year Y >= 0:   century = Y / 100 + 100 (100..255)   yy = Y % 100 + 100 (100..199)
//   year Y < 0:    century = 100 - A / 100 (0..100)     yy = 100 - A % 100 (1..100), A = -Y
//   month   := 1..12
//   day     := 1..the days of the month in that year (29 February in leap years only)
//   hour    := hour of the day + 1 (1..24); minute, second likewise (1..60)
//
// 2026-03-05 14:07:09 = 78 7E 03 05 0F 08 0A; year -4712 = 35 58; year -1 = 64 63; year 0 =
// 64 64. The two year bytes tell the sign apart: both at least 100 for years from 0 up, neither
// above 100 (and not both 100) for negative ones, so each pair of bytes has at most one year.
// The byte ranges bound the years to -10099 (century 0, yy 1) .. 15599 (century 255, yy 199).
constexpr int32_t OFFSET = 100;

struct Fields {
  int32_t year;
  int32_t month;
  int32_t day;
  int32_t hour;
  int32_t minute;
  int32_t second;
};

[[noreturn]] __attribute__((noinline, cold)) void raiseMalformed(const int8_t* bytes,
                                                                 int32_t length,
                                                                 const lang::ByteArray* array) {
  ErrorRaiser::raiseWithBytes(DriverException::ERR_CONVERSION, "malformed date byte form", bytes,
                              length, array);
}

bool yearOf(int32_t century, int32_t yy, int32_t& year) noexcept {
  if (century >= OFFSET && yy >= OFFSET && yy <= OFFSET + 99) {
    year = (century - OFFSET) * 100 + (yy - OFFSET);  // 100, 100 is year 0
    return true;
  }
  if (century <= OFFSET && yy >= 1 && yy <= OFFSET) {
    year = -((OFFSET - century) * 100 + (OFFSET - yy));  // not 0: 100, 100 was taken above
    return true;
  }
  return false;
}

bool validFields(const Fields& f) noexcept {
  return f.year >= DateValue::MIN_YEAR && f.year <= DateValue::MAX_YEAR && f.month >= 1 &&
         f.month <= 12 && f.day >= 1 && f.day <= lang::Timestamp::daysInMonth(f.year, f.month) &&
         f.hour >= 0 && f.hour <= 23 && f.minute >= 0 && f.minute <= 59 && f.second >= 0 &&
         f.second <= 59;
}

Fields readForm(const int8_t* bytes, int32_t length, const lang::ByteArray* array) {
  // security: check the length before reading any byte
  if (length != DateValue::LENGTH || bytes == nullptr) raiseMalformed(bytes, length, array);
  const auto* b = reinterpret_cast<const uint8_t*>(bytes);
  Fields f{0, b[2], b[3], b[4] - 1, b[5] - 1, b[6] - 1};
  if (!yearOf(b[0], b[1], f.year) || !validFields(f)) raiseMalformed(bytes, length, array);
  return f;
}

// The timestamp of a form; array: the form's array when there is one, for the failure.
lang::Ref<lang::Timestamp> timestampOf(const int8_t* bytes, int32_t length,
                                       const lang::ByteArray* array) {
  const Fields f = readForm(bytes, length, array);
  return lang::Timestamp::of(f.year, f.month, f.day, f.hour, f.minute, f.second);
}

// The value of fields already known to be valid. It holds its form inline: one allocation, or a
// place in the read's blocks.
lang::Ref<DateValue> encode(const Fields& f) {
  std::array<int8_t, DateValue::LENGTH> out{};
  int32_t century = 0;
  int32_t yy = 0;
  if (f.year >= 0) {
    century = f.year / 100 + OFFSET;
    yy = f.year % 100 + OFFSET;
  } else {
    const int32_t a = -f.year;
    century = OFFSET - a / 100;
    yy = OFFSET - a % 100;
  }
  const int32_t values[DateValue::LENGTH] = {century, yy,          f.month,     f.day,
                                             f.hour + 1, f.minute + 1, f.second + 1};
  for (int32_t i = 0; i < DateValue::LENGTH; ++i) {
    out[static_cast<size_t>(i)] = static_cast<int8_t>(static_cast<uint8_t>(values[i]));
  }
  return SqlValue::withBytesCopied<DateValue>(out.data(), DateValue::LENGTH);
}

lang::Ref<lang::ByteArray> nonNullForm(lang::Ref<lang::ByteArray> bytes) {
  if (!bytes) lang::throwNullPointer("date byte form");
  return bytes;
}

// Reads exactly `count` digits at text[pos]; false when they are not all there.
bool readDigits(std::string_view text, size_t& pos, size_t count, int32_t& out) noexcept {
  if (text.size() - pos < count) return false;
  int32_t v = 0;
  for (size_t i = 0; i < count; ++i) {
    const char c = text[pos + i];
    if (c < '0' || c > '9') return false;
    v = v * 10 + (c - '0');
  }
  pos += count;
  out = v;
  return true;
}

bool expect(std::string_view text, size_t& pos, char c) noexcept {
  if (pos >= text.size() || text[pos] != c) return false;
  ++pos;
  return true;
}

// "[-]yyyy[y]-mm-dd hh:mm:ss" into fields; false for any other text (ranges not checked).
bool parseText(std::string_view text, Fields& f) noexcept {
  size_t pos = 0;
  const bool negative = !text.empty() && text[0] == '-';
  if (negative) ++pos;
  size_t yearDigits = 0;
  while (pos + yearDigits < text.size() && text[pos + yearDigits] >= '0' &&
         text[pos + yearDigits] <= '9') {
    ++yearDigits;
  }
  if (yearDigits < 4 || yearDigits > 5) return false;
  if (!readDigits(text, pos, yearDigits, f.year)) return false;
  if (negative) f.year = -f.year;
  return expect(text, pos, '-') && readDigits(text, pos, 2, f.month) && expect(text, pos, '-') &&
         readDigits(text, pos, 2, f.day) && expect(text, pos, ' ') &&
         readDigits(text, pos, 2, f.hour) && expect(text, pos, ':') &&
         readDigits(text, pos, 2, f.minute) && expect(text, pos, ':') &&
         readDigits(text, pos, 2, f.second) && pos == text.size();
}

}  // namespace

DateValue::DateValue(lang::Ref<lang::ByteArray> bytes) : SqlValue(nonNullForm(std::move(bytes))) { addClassBits(CLASS_BIT); }

lang::Ref<DateValue> DateValue::fromTimestamp(const lang::Timestamp& value) {
  const Fields f{value.year(), value.month(), value.day(), value.hour(), value.minute(),
                 value.second()};
  if (!validFields(f)) {
    ErrorRaiser::raise(DriverException::ERR_CONVERSION, "year outside the date form", &value);
  }
  return encode(f);
}

lang::Ref<DateValue> DateValue::fromString(std::string_view text, const lang::Object* source) {
  Fields f{};
  if (!parseText(text, f) || !validFields(f)) {
    if (source != nullptr) ErrorRaiser::raise(DriverException::ERR_CONVERSION, source);
    const lang::Ref<lang::String> blamed = lang::String::of(text);
    ErrorRaiser::raise(DriverException::ERR_CONVERSION, blamed.get());
  }
  return encode(f);
}

lang::Ref<DateValue> DateValue::fromObject(const lang::Object* value) {
  if (value == nullptr) return nullptr;
  if (const auto* date = SqlValue::as<DateValue>(value)) {
    return lang::makeRef<DateValue>(date->shareBytes());
  }
  if (const auto* timestamp = lang::exactly<lang::Timestamp>(value)) {
    return fromTimestamp(*timestamp);
  }
  if (const auto* text = lang::exactly<lang::String>(value)) {
    return fromString(text->value(), value);
  }
  ErrorRaiser::raise(DriverException::ERR_CONVERSION, value);
}

lang::Ref<lang::Timestamp> DateValue::toTimestamp(const int8_t* bytes, int32_t length) {
  return timestampOf(bytes, length, nullptr);
}

lang::Ref<lang::Timestamp> DateValue::toTimestamp(const lang::ByteArray* bytes) {
  if (bytes == nullptr) lang::throwNullPointer("date byte form");
  return timestampOf(bytes->data(), bytes->length(), bytes);
}

lang::Ref<lang::Timestamp> DateValue::timestampValue() const {
  if (!hasBytes()) lang::throwNullPointer("date byte form");
  return timestampOf(byteData(), byteLength(), arrayIfAny());
}

lang::Ref<lang::Object> DateValue::toJdbc() const { return timestampValue(); }

std::string DateValue::toString() const {
  if (!hasBytes()) lang::throwNullPointer("date byte form");
  const Fields f = readForm(byteData(), byteLength(), arrayIfAny());
  char text[32];
  std::snprintf(text, sizeof text, "%s%04d-%02d-%02d %02d:%02d:%02d", f.year < 0 ? "-" : "",
                f.year < 0 ? -f.year : f.year, f.month, f.day, f.hour, f.minute, f.second);
  return text;
}

}  // namespace kelvor::jdbc
