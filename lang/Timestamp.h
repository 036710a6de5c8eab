// The platform's date-and-time object: a calendar date in the proleptic Gregorian calendar
// (years before 1 are astronomical: 0 is 1 BC, and may be negative) and a time of day to the
// nanosecond, without a time zone. Every field is checked when the object is made, the day
// against its month (29 February only in leap years); there are no leap seconds. Immutable,
// hence shareable between threads.
#pragma once

#include <cstdint>
#include <string>

#include "lang/Object.h"
#include "lang/Placeable.h"
#include "lang/Ref.h"

namespace kelvor::lang {

class Timestamp final : public Object, public Placeable {
 public:
  // month 1..12, day 1..daysInMonth, hour 0..23, minute 0..59, second 0..59,
  // nanos 0..999999999; any year. A field out of range throws IllegalArgumentException.
  static Ref<Timestamp> of(int32_t year, int32_t month, int32_t day, int32_t hour = 0,
                           int32_t minute = 0, int32_t second = 0, int32_t nanos = 0);

  static bool isLeapYear(int32_t year) noexcept;
  // 28..31; month must be 1..12.
  static int32_t daysInMonth(int32_t year, int32_t month) noexcept;

  int32_t year() const noexcept { return year_; }
  int32_t month() const noexcept { return month_; }
  int32_t day() const noexcept { return day_; }
  int32_t hour() const noexcept { return hour_; }
  int32_t minute() const noexcept { return minute_; }
  int32_t second() const noexcept { return second_; }
  int32_t nanos() const noexcept { return nanos_; }

  // "yyyy-mm-dd hh:mm:ss.f": the year in at least four digits with a leading '-' when
  // negative, the fraction of the second without its trailing zeros but at least one digit
  // ("2024-02-29 23:59:59.5", "0001-01-01 00:00:00.0", "-0044-03-15 12:00:00.000000001").
  std::string toString() const override;
  bool equals(const Object* other) const override;
  int32_t hashCode() const override;
  // Chronological order: -1, 0 or 1.
  int32_t compareTo(const Timestamp& other) const noexcept;

  static constexpr const char* NAME = "Timestamp";
  const char* className() const noexcept override { return NAME; }

 private:
  Timestamp(int32_t year, int32_t month, int32_t day, int32_t hour, int32_t minute,
            int32_t second, int32_t nanos) noexcept
      : year_(year), month_(month), day_(day), hour_(hour), minute_(minute), second_(second),
        nanos_(nanos) {}

  const int32_t year_;
  const int32_t month_;   // 1..12
  const int32_t day_;     // 1..daysInMonth(year_, month_)
  const int32_t hour_;    // 0..23
  const int32_t minute_;  // 0..59
  const int32_t second_;  // 0..59
  const int32_t nanos_;   // 0..999999999
};

}  // namespace kelvor::lang
