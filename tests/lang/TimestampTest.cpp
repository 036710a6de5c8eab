#include "lang/Timestamp.h"

#include <gtest/gtest.h>

#include "lang/Exceptions.h"

namespace kelvor::lang {
namespace {

TEST(TimestampTest, DaysAreCheckedAgainstTheMonthInTheProlepticCalendar) {
  struct Case {
    int32_t year, month, day;
    bool valid;
  };
  const Case cases[] = {
      {2024, 2, 29, true},  {2023, 2, 29, false}, {1900, 2, 29, false}, {2000, 2, 29, true},
      {0, 2, 29, true},     {-4, 2, 29, true},    {-100, 2, 29, false}, {-400, 2, 29, true},
      {2023, 4, 31, false}, {2023, 12, 31, true}, {2023, 13, 1, false}, {2023, 0, 1, false},
      {2023, 1, 0, false},  {2023, 1, 32, false},
  };
  for (const Case& c : cases) {
    if (c.valid) {
      EXPECT_NO_THROW(Timestamp::of(c.year, c.month, c.day)) << c.year << '-' << c.month;
    } else {
      EXPECT_THROW(Timestamp::of(c.year, c.month, c.day), IllegalArgumentException)
          << c.year << '-' << c.month << '-' << c.day;
    }
  }
}

TEST(TimestampTest, TimeFieldsOutsideTheirRangesAreRefused) {
  EXPECT_NO_THROW(Timestamp::of(1, 1, 1, 23, 59, 59, 999999999));
  EXPECT_THROW(Timestamp::of(1, 1, 1, 24, 0, 0, 0), IllegalArgumentException);
  EXPECT_THROW(Timestamp::of(1, 1, 1, 0, 60, 0, 0), IllegalArgumentException);
  EXPECT_THROW(Timestamp::of(1, 1, 1, 0, 0, 60, 0), IllegalArgumentException);
  EXPECT_THROW(Timestamp::of(1, 1, 1, 0, 0, 0, 1000000000), IllegalArgumentException);
  EXPECT_THROW(Timestamp::of(1, 1, 1, -1, 0, 0, 0), IllegalArgumentException);
  EXPECT_THROW(Timestamp::of(1, 1, 1, 0, 0, 0, -1), IllegalArgumentException);
}

TEST(TimestampTest, ToStringTrimsTheFractionButKeepsOneDigit) {
  EXPECT_EQ(Timestamp::of(2024, 2, 29, 23, 59, 59, 500000000)->toString(), "2024-02-29 23:59:59.5");
  EXPECT_EQ(Timestamp::of(1, 1, 1)->toString(), "0001-01-01 00:00:00.0");
  EXPECT_EQ(Timestamp::of(-44, 3, 15, 12, 0, 0, 1)->toString(), "-0044-03-15 12:00:00.000000001");
  EXPECT_EQ(Timestamp::of(12345, 6, 7, 8, 9, 10, 120)->toString(), "12345-06-07 08:09:10.00000012");
  EXPECT_EQ(Timestamp::of(INT32_MIN, 1, 1)->toString(), "-2147483648-01-01 00:00:00.0");
}

TEST(TimestampTest, OrderIsChronologicalAndEqualsAgreesWithHash) {
  const Ref<Timestamp> a = Timestamp::of(-1, 12, 31, 23, 59, 59, 999999999);
  const Ref<Timestamp> b = Timestamp::of(0, 1, 1);
  const Ref<Timestamp> c = Timestamp::of(0, 1, 1, 0, 0, 0, 1);
  EXPECT_EQ(a->compareTo(*b), -1);
  EXPECT_EQ(c->compareTo(*b), 1);
  EXPECT_EQ(b->compareTo(*Timestamp::of(0, 1, 1)), 0);
  EXPECT_TRUE(b->equals(Timestamp::of(0, 1, 1).get()));
  EXPECT_EQ(b->hashCode(), Timestamp::of(0, 1, 1)->hashCode());
  EXPECT_FALSE(b->equals(c.get()));
  EXPECT_FALSE(b->equals(nullptr));
}

}  // namespace
}  // namespace kelvor::lang
