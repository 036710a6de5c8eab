#include "lang/Timestamp.h"

#include <array>
#include <cstdio>

#include "lang/Exceptions.h"

namespace kelvor::lang {
namespace {

[[noreturn]] __attribute__((noinline, cold)) void throwField(const char* name, int32_t value,
                                                             int32_t low, int32_t high) {
  throw IllegalArgumentException(std::string("timestamp ") + name + " " + std::to_string(value) +
                                 " outside " + std::to_string(low) + ".." + std::to_string(high));
}

inline void checkField(const char* name, int32_t value, int32_t low, int32_t high) {
  if (value < low || value > high) [[unlikely]] throwField(name, value, low, high);
}

}  // namespace

bool Timestamp::isLeapYear(int32_t year) noexcept {
  // % keeps the dividend's sign, and only a zero remainder is tested: negative years work
  return year % 4 == 0 && (year % 100 != 0 || year % 400 == 0);
}

int32_t Timestamp::daysInMonth(int32_t year, int32_t month) noexcept {
  static constexpr std::array<int32_t, 12> DAYS = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
  if (month == 2 && isLeapYear(year)) return 29;
  return DAYS[static_cast<size_t>(month - 1)];
}

Ref<Timestamp> Timestamp::of(int32_t year, int32_t month, int32_t day, int32_t hour,
                             int32_t minute, int32_t second, int32_t nanos) {
  checkField("month", month, 1, 12);
  checkField("day", day, 1, daysInMonth(year, month));
  checkField("hour", hour, 0, 23);
  checkField("minute", minute, 0, 59);
  checkField("second", second, 0, 59);
  checkField("nanos", nanos, 0, 999999999);
  return Ref<Timestamp>::adopt(new Timestamp(year, month, day, hour, minute, second, nanos));
}

std::string Timestamp::toString() const {
  char fraction[16];
  std::snprintf(fraction, sizeof fraction, "%09d", nanos_);
  int last = 8;
  while (last > 0 && fraction[last] == '0') --last;
  fraction[last + 1] = '\0';

  // the year's magnitude in 64 bits: -INT32_MIN does not fit 32
  const int64_t year = year_;
  char buffer[64];
  std::snprintf(buffer, sizeof buffer, "%s%04lld-%02d-%02d %02d:%02d:%02d.%s",
                year < 0 ? "-" : "", static_cast<long long>(year < 0 ? -year : year), month_,
                day_, hour_, minute_, second_, fraction);
  return buffer;
}

bool Timestamp::equals(const Object* other) const {
  const auto* t = dynamic_cast<const Timestamp*>(other);
  return t != nullptr && compareTo(*t) == 0;
}

int32_t Timestamp::hashCode() const {
  uint32_t h = static_cast<uint32_t>(year_);
  for (const int32_t field : {month_, day_, hour_, minute_, second_, nanos_}) {
    h = 31 * h + static_cast<uint32_t>(field);
  }
  return static_cast<int32_t>(h);
}

int32_t Timestamp::compareTo(const Timestamp& other) const noexcept {
  const std::array<int32_t, 7> a = {year_, month_, day_, hour_, minute_, second_, nanos_};
  const std::array<int32_t, 7> b = {other.year_, other.month_, other.day_, other.hour_,
                                    other.minute_, other.second_, other.nanos_};
  for (size_t i = 0; i < a.size(); ++i) {
    if (a[i] != b[i]) return a[i] < b[i] ? -1 : 1;
  }
  return 0;
}

}  // namespace kelvor::lang
