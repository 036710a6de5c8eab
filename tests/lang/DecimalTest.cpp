#include "lang/Decimal.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>

#include "lang/Exceptions.h"

namespace kelvor::lang {
namespace {

struct ParseCase {
  const char* text;
  int32_t signum;
  const char* digits;
  int32_t scale;
  const char* toString;
  const char* plain;
};

TEST(DecimalTest, ParseKeepsDigitsAndScaleAndPrintsBack) {
  const ParseCase cases[] = {
      {"-123.4500", -1, "1234500", 4, "-123.4500", "-123.4500"},
      {"1E+5", 1, "1", -5, "1E+5", "100000"},
      {"1.5e-3", 1, "15", 4, "0.0015", "0.0015"},
      {"+007", 1, "7", 0, "7", "7"},
      {"-0.00", 0, "0", 2, "0.00", "0.00"},
      {".5", 1, "5", 1, "0.5", "0.5"},
      {"5.", 1, "5", 0, "5", "5"},
      {"12.3E1", 1, "123", 0, "123", "123"},
      {"0.0000012", 1, "12", 7, "0.0000012", "0.0000012"},
      {"0.00000012", 1, "12", 8, "1.2E-7", "0.00000012"},
      {"0E3", 0, "0", -3, "0E+3", "0"},
      {"-4.56E-2147483640", -1, "456", 2147483642, "-4.56E-2147483640", nullptr},
  };
  for (const ParseCase& c : cases) {
    const Ref<Decimal> d = Decimal::parse(c.text);
    EXPECT_EQ(d->signum(), c.signum) << c.text;
    EXPECT_EQ(d->unscaledDigits(), c.digits) << c.text;
    EXPECT_EQ(d->scale(), c.scale) << c.text;
    EXPECT_EQ(d->toString(), c.toString) << c.text;
    if (c.plain != nullptr) {
      EXPECT_EQ(d->toPlainString(), c.plain) << c.text;
    }
    EXPECT_TRUE(Decimal::parse(d->toString())->equals(d.get())) << c.text;  // exact round trip
  }
}

TEST(DecimalTest, MalformedTextAndUnrepresentableScalesAreRefused) {
  for (const char* text : {"", "-", "+", ".", "e5", "1e", "1e+", "1.2.3", "1 ", " 1", "--1",
                           "1e5x", "0x10", "1,5", "1E2147483649", "1E-2147483648",
                           "1E99999999999999999999999"}) {
    EXPECT_THROW(Decimal::parse(text), NumberFormatException) << '"' << text << '"';
  }
  EXPECT_NO_THROW(Decimal::parse("1E2147483648"));  // scale -2^31 exactly
  EXPECT_THROW(Decimal::ofUnscaled("12a", 0), NumberFormatException);
  EXPECT_THROW(Decimal::ofUnscaled("-", 0), NumberFormatException);
  EXPECT_EQ(Decimal::ofUnscaled("-000120", 3)->toString(), "-0.120");
  // The sign apart: the digits alone, checked as ofUnscaled checks them; zero has no sign.
  EXPECT_TRUE(Decimal::ofDigits(true, "000120", 3)->equals(Decimal::ofUnscaled("-000120", 3).get()));
  EXPECT_EQ(Decimal::ofDigits(true, "000", 2)->signum(), 0);
  for (const char* digits : {"", "-1", "+1", "1a"}) {
    EXPECT_THROW(Decimal::ofDigits(false, digits, 0), NumberFormatException) << digits;
  }
}

TEST(DecimalTest, CompareIsNumericAcrossScalesWhileEqualsKeepsTheScale) {
  const auto cmp = [](const char* a, const char* b) {
    return Decimal::parse(a)->compareTo(*Decimal::parse(b));
  };
  EXPECT_EQ(cmp("1.50", "1.5"), 0);
  EXPECT_EQ(cmp("1E+2", "100.000"), 0);
  EXPECT_EQ(cmp("1.51", "1.5"), 1);
  EXPECT_EQ(cmp("-1.51", "-1.5"), -1);
  EXPECT_EQ(cmp("0.999", "1"), -1);
  EXPECT_EQ(cmp("-0.001", "0.00"), -1);
  EXPECT_EQ(cmp("9E+9", "10000000000"), -1);
  EXPECT_EQ(cmp("0", "-0.000"), 0);

  const Ref<Decimal> a = Decimal::parse("1.50");
  const Ref<Decimal> b = Decimal::parse("1.5");
  EXPECT_TRUE(a->numericEquals(*b));
  EXPECT_FALSE(a->equals(b.get()));
  EXPECT_TRUE(a->equals(Decimal::of(150, 2).get()));
  EXPECT_EQ(a->hashCode(), Decimal::of(150, 2)->hashCode());
  EXPECT_TRUE(a->stripTrailingZeros()->equals(b.get()));
  EXPECT_TRUE(Decimal::parse("0.000")->stripTrailingZeros()->equals(Decimal::of(0).get()));
  EXPECT_EQ(Decimal::parse("1200")->stripTrailingZeros()->toString(), "1.2E+3");
  EXPECT_THROW(Decimal::ofUnscaled("10", INT32_MIN)->stripTrailingZeros(), ArithmeticException);
}

TEST(DecimalTest, ToInt64IsExactAtTheBoundsAndRefusesFractionsAndOverflow) {
  EXPECT_EQ(Decimal::of(INT64_MIN)->toInt64(), INT64_MIN);
  EXPECT_EQ(Decimal::parse("9223372036854775807")->toInt64(), INT64_MAX);
  EXPECT_EQ(Decimal::parse("-9223372036854775808.000")->toInt64(), INT64_MIN);
  EXPECT_EQ(Decimal::parse("12E+3")->toInt64(), 12000);
  EXPECT_EQ(Decimal::parse("0.000")->toInt64(), 0);
  for (const char* text : {"9223372036854775808", "-9223372036854775809", "1E+19", "0.5",
                           "-1.0001", "1E-2147483647"}) {
    const Ref<Decimal> d = Decimal::parse(text);
    EXPECT_FALSE(d->fitsInt64()) << text;
    EXPECT_THROW(d->toInt64(), ArithmeticException) << text;
  }
  EXPECT_TRUE(Decimal::parse("-9223372036854775808")->fitsInt64());
}

TEST(DecimalTest, ToDoubleRoundsCorrectlyAndSaturates) {
  EXPECT_EQ(Decimal::parse("0.1")->toDouble(), 0.1);
  EXPECT_EQ(Decimal::parse("-2.5E-3")->toDouble(), -0.0025);
  // 2^53 + 1 lies halfway between two doubles: ties go to the even one, 2^53
  EXPECT_EQ(Decimal::parse("9007199254740993")->toDouble(), 9007199254740992.0);
  EXPECT_EQ(Decimal::parse("9007199254740993.0000000001")->toDouble(), 9007199254740994.0);
  EXPECT_EQ(Decimal::parse("1E+400")->toDouble(), std::numeric_limits<double>::infinity());
  EXPECT_EQ(Decimal::parse("-1E-400")->toDouble(), 0.0);
  EXPECT_EQ(Decimal::parse("4.9E-324")->toDouble(), std::numeric_limits<double>::denorm_min());
}

TEST(DecimalTest, PlainFormOfAHugeExponentIsRefusedNotBuilt) {
  EXPECT_THROW(Decimal::parse("1E+2147483647")->toPlainString(), ArithmeticException);
  EXPECT_EQ(Decimal::parse("1E+2147483647")->toString(), "1E+2147483647");
}

}  // namespace
}  // namespace kelvor::lang
