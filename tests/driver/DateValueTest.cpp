#include "driver/DateValue.h"

#include <gtest/gtest.h>

#include <functional>
#include <random>
#include <set>
#include <vector>

#include "driver/DriverException.h"
#include "lang/Boxed.h"
#include "lang/String.h"

namespace kelvor::jdbc {
namespace {

using lang::ByteArray;
using lang::Ref;
using lang::Timestamp;

Ref<ByteArray> bytes(const std::vector<int>& b) {
  auto out = ByteArray::make(static_cast<int64_t>(b.size()));
  for (size_t i = 0; i < b.size(); ++i) (*out)[static_cast<int32_t>(i)] = static_cast<int8_t>(b[i]);
  return out;
}

std::vector<int> formOf(const DateValue& v) {
  std::vector<int> out;
  for (const int8_t b : v.shareBytes()->span()) out.push_back(static_cast<uint8_t>(b));
  return out;
}

// Expects f to raise ERR_CONVERSION blaming `offender`.
void expectConversionError(const std::function<void()>& f, const lang::Object* offender) {
  try {
    f();
    ADD_FAILURE() << "no failure";
  } catch (const DriverException& e) {
    EXPECT_EQ(e.code(), 59);
    EXPECT_EQ(e.offendingValue().get(), offender);
  }
}

TEST(DateValueTest, FormsAreByteExact) {
  struct Case { Ref<Timestamp> t; std::vector<int> form; };
  const Case cases[] = {
      {Timestamp::of(2026, 3, 5, 14, 7, 9), {120, 126, 3, 5, 15, 8, 10}},
      {Timestamp::of(2000, 1, 1), {120, 100, 1, 1, 1, 1, 1}},
      {Timestamp::of(1999, 12, 31, 23, 59, 59), {119, 199, 12, 31, 24, 60, 60}},
      {Timestamp::of(0, 2, 29), {100, 100, 2, 29, 1, 1, 1}},
      {Timestamp::of(-1, 1, 1), {100, 99, 1, 1, 1, 1, 1}},
      {Timestamp::of(-100, 1, 1), {99, 100, 1, 1, 1, 1, 1}},
      {Timestamp::of(-4712, 1, 1), {53, 88, 1, 1, 1, 1, 1}},
      {Timestamp::of(DateValue::MIN_YEAR, 1, 1), {0, 1, 1, 1, 1, 1, 1}},
      {Timestamp::of(DateValue::MAX_YEAR, 1, 1), {255, 199, 1, 1, 1, 1, 1}},
  };
  for (const auto& c : cases) {
    const auto v = DateValue::fromTimestamp(*c.t);
    EXPECT_EQ(formOf(*v), c.form) << c.t->toString();
    EXPECT_TRUE(DateValue::toTimestamp(v->shareBytes().get())->equals(c.t.get())) << c.t->toString();
  }
}

// Every pair of year bytes is either refused or the form of exactly one year, and every year
// of the range has a pair.
TEST(DateValueTest, YearBytesAreOneToOneOverTheRange) {
  std::set<int32_t> years;
  for (int century = 0; century < 256; ++century) {
    for (int yy = 0; yy < 256; ++yy) {
      const auto form = bytes({century, yy, 1, 1, 1, 1, 1});
      Ref<Timestamp> t;
      try {
        t = DateValue::toTimestamp(form.get());
      } catch (const DriverException& e) {
        ASSERT_EQ(e.code(), 59);
        continue;
      }
      ASSERT_TRUE(years.insert(t->year()).second) << century << " " << yy;
      ASSERT_EQ(formOf(*DateValue::fromTimestamp(*t)), formOf(DateValue(form)));
    }
  }
  EXPECT_EQ(years.size(), static_cast<size_t>(DateValue::MAX_YEAR - DateValue::MIN_YEAR + 1));
  EXPECT_EQ(*years.begin(), DateValue::MIN_YEAR);
  EXPECT_EQ(*years.rbegin(), DateValue::MAX_YEAR);
}

TEST(DateValueTest, RandomTimestampsRoundTripThroughBytesAndText) {
  std::mt19937 random(5);
  for (int i = 0; i < 20000; ++i) {
    const auto year = static_cast<int32_t>(random() % 25699) + DateValue::MIN_YEAR;
    const auto month = static_cast<int32_t>(random() % 12) + 1;
    const auto day = static_cast<int32_t>(random() % static_cast<uint32_t>(Timestamp::daysInMonth(year, month))) + 1;
    const auto t = Timestamp::of(year, month, day, static_cast<int32_t>(random() % 24),
                                 static_cast<int32_t>(random() % 60), static_cast<int32_t>(random() % 60));
    const auto v = DateValue::fromObject(t.get());
    ASSERT_TRUE(v->toJdbc()->equals(t.get())) << t->toString();
    ASSERT_TRUE(DateValue::fromString(v->toString())->equals(v.get())) << v->toString();
  }
  // the fraction of a second is dropped
  const auto withNanos = Timestamp::of(2024, 2, 29, 23, 59, 59, 999999999);
  EXPECT_EQ(DateValue::fromTimestamp(*withNanos)->toString(), "2024-02-29 23:59:59");
}

TEST(DateValueTest, FormsThatAreNotDatesAreRefused) {
  const std::vector<std::vector<int>> invalid = {
      {120, 126, 0, 5, 1, 1, 1},   {120, 126, 13, 5, 1, 1, 1},  {120, 126, 3, 0, 1, 1, 1},
      {120, 126, 4, 31, 1, 1, 1},  {119, 100, 2, 29, 1, 1, 1},  {120, 126, 3, 32, 1, 1, 1},
      {120, 126, 3, 5, 0, 1, 1},   {120, 126, 3, 5, 25, 1, 1},  {120, 126, 3, 5, 1, 61, 1},
      {120, 126, 3, 5, 1, 1, 0},   {101, 99, 1, 1, 1, 1, 1},    {99, 101, 1, 1, 1, 1, 1},
      {100, 0, 1, 1, 1, 1, 1},     {100, 200, 1, 1, 1, 1, 1},   {120, 126, 3, 5, 1, 1},
      {120, 126, 3, 5, 1, 1, 1, 1}, {}};
  for (const auto& b : invalid) {
    const auto form = bytes(b);
    const DateValue kept(form);  // kept as it came; its conversions refuse it
    EXPECT_EQ(kept.shareBytes().get(), form.get());
    expectConversionError([&] { (void)kept.toString(); }, form.get());
    expectConversionError([&] { (void)kept.timestampValue(); }, form.get());
    expectConversionError([&] { (void)DateValue::toTimestamp(form.get()); }, form.get());
    EXPECT_THROW((void)DateValue::toTimestamp(form->data(), form->length()), DriverException);
  }
  EXPECT_NO_THROW(DateValue(bytes({120, 100, 2, 29, 1, 1, 1})));  // 2000 is a leap year
}

TEST(DateValueTest, FromObjectTakesDatesTimestampsAndDateText) {
  const auto date = DateValue::fromString("-0044-03-15 12:00:00");
  EXPECT_EQ(formOf(*date), (std::vector<int>{100, 56, 3, 15, 13, 1, 1}));
  EXPECT_EQ(date->toString(), "-0044-03-15 12:00:00");
  EXPECT_EQ(DateValue::fromObject(date.get())->shareBytes(), date->shareBytes());
  EXPECT_EQ(DateValue::fromObject(nullptr), nullptr);
  EXPECT_EQ(DateValue::fromObject(lang::String::of("15599-12-31 23:59:59").get())->toString(),
            "15599-12-31 23:59:59");

  const Ref<lang::Object> refused[] = {
      lang::String::of("2026-3-05 14:07:09"),    lang::String::of("2026-03-05T14:07:09"),
      lang::String::of("2026-03-05 14:07:09.5"), lang::String::of("2026-02-30 00:00:00"),
      lang::String::of("2026-03-05 24:00:00"),   lang::String::of("123-01-01 00:00:00"),
      lang::String::of("15600-01-01 00:00:00"),  lang::String::of("+2026-03-05 14:07:09"),
      lang::String::of(""),                      lang::String::of("-"),
      Timestamp::of(-10100, 1, 1),               lang::Long::of(0),
      ByteArray::of({120, 126, 3, 5, 15, 8, 10})};
  for (const auto& object : refused) {
    expectConversionError([&] { (void)DateValue::fromObject(object.get()); }, object.get());
  }
}

}  // namespace
}  // namespace kelvor::jdbc
