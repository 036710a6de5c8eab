#include "driver/NumberValue.h"

#include <gtest/gtest.h>

#include <bit>
#include <cmath>
#include <cstdlib>
#include <functional>
#include <random>
#include <string>
#include <vector>

#include "driver/DriverException.h"
#include "lang/Boxed.h"
#include "lang/String.h"
#include "lang/Timestamp.h"
#include "tests/support/DriverCode.h"

namespace kelvor::jdbc {
namespace {

using lang::ByteArray;
using lang::Decimal;
using lang::Ref;
using testsupport::codeOf;

std::vector<uint8_t> formOf(const NumberValue& v) {
  const auto& b = *v.shareBytes();
  return {reinterpret_cast<const uint8_t*>(b.data()),
          reinterpret_cast<const uint8_t*>(b.data()) + b.length()};
}

Ref<ByteArray> bytes(std::vector<uint8_t> b) {
  return ByteArray::copyOf(reinterpret_cast<const int8_t*>(b.data()), static_cast<int32_t>(b.size()));
}

Ref<NumberValue> parse(const char* text) { return NumberValue::fromString(text); }

TEST(NumberValueTest, FormsAreByteExactAndShared) {
  struct Case { Ref<NumberValue> value; std::vector<uint8_t> form; };
  const Case cases[] = {
      {lang::makeRef<NumberValue>(int32_t{0}), {0x00}},
      {lang::makeRef<NumberValue>(-0.0), {0x00}},
      {lang::makeRef<NumberValue>(int32_t{5}), {0x40, 0x00, 0x32}},
      {lang::makeRef<NumberValue>(int16_t{-5}), {0xC0, 0x00, 0x32}},
      {lang::makeRef<NumberValue>(int32_t{99}), {0x40, 0x01, 0x63}},
      {lang::makeRef<NumberValue>(12.5), {0x40, 0x01, 0x0C, 0x32}},
      {lang::makeRef<NumberValue>(int64_t{100}), {0x40, 0x02, 0x0A}},
      {parse("0.001"), {0x3F, 0xFD, 0x0A}},
      {lang::makeRef<NumberValue>(INT64_MIN),
       {0xC0, 0x12, 0x5C, 0x17, 0x25, 0x14, 0x24, 0x55, 0x2F, 0x4B, 0x50, 0x50}},
  };
  for (const auto& c : cases) EXPECT_EQ(formOf(*c.value), c.form) << c.value->toString();

  auto form = bytes({0x40, 0x01, 0x0C, 0x32});
  EXPECT_EQ(lang::makeRef<NumberValue>(form)->shareBytes().get(), form.get());
  EXPECT_EQ(NumberValue::fromObject(cases[5].value.get())->shareBytes(), cases[5].value->shareBytes());
}

// makeRef of a primitive goes through makeNew: the form inline, in one allocation with the
// value, byte for byte the form the constructor makes (which keeps it in an array of its own).
TEST(NumberValueTest, MadeByMakeRefHoldsTheConstructorsFormInline) {
  const auto check = [](Ref<NumberValue> made, Ref<NumberValue> constructed) {
    EXPECT_EQ(made->arrayIfAny(), nullptr);
    ASSERT_NE(constructed->arrayIfAny(), nullptr);
    EXPECT_EQ(formOf(*made), formOf(*constructed));
  };
  check(lang::makeRef<NumberValue>(int16_t{-7}), Ref<NumberValue>::adopt(new NumberValue(int16_t{-7})));
  check(lang::makeRef<NumberValue>(INT32_MAX), Ref<NumberValue>::adopt(new NumberValue(INT32_MAX)));
  check(lang::makeRef<NumberValue>(INT64_MIN), Ref<NumberValue>::adopt(new NumberValue(INT64_MIN)));
  check(lang::makeRef<NumberValue>(0.1f), Ref<NumberValue>::adopt(new NumberValue(0.1f)));
  check(lang::makeRef<NumberValue>(-1e-130), Ref<NumberValue>::adopt(new NumberValue(-1e-130)));
  check(NumberValue::fromString("12345.67"), Ref<NumberValue>::adopt(new NumberValue(1234567e-2)));
  // a form given as an array is still shared, not copied
  const auto form = bytes({0x40, 0x01, 0x0C, 0x32});
  EXPECT_EQ(lang::makeRef<NumberValue>(form)->arrayIfAny(), form.get());
}

TEST(NumberValueTest, EveryWayToSpellAValueGivesTheSameForm) {
  const auto five = lang::makeRef<NumberValue>(int32_t{5});
  const Ref<NumberValue> same[] = {
      lang::makeRef<NumberValue>(int64_t{5}), lang::makeRef<NumberValue>(5.0f), parse("5.000"),
      parse("+0.5e1"), NumberValue::fromDecimal(*Decimal::of(500, 2)),
      NumberValue::fromObject(lang::Byte::of(5).get())};
  for (const auto& v : same) EXPECT_TRUE(five->equals(v.get())) << v->toString();
}

// Random int64 values of every width read back exactly, as long and as decimal of scale 0.
TEST(NumberValueTest, Int64RoundTripIsExact) {
  std::mt19937_64 random(1);
  std::vector<int64_t> values = {0, 1, -1, INT64_MIN, INT64_MAX, INT32_MIN, INT32_MAX};
  for (int i = 0; i < 100000; ++i) values.push_back(static_cast<int64_t>(random()) >> (random() % 64));
  for (const int64_t v : values) {
    const NumberValue n(v);
    ASSERT_LE(n.getLength(), 12);
    ASSERT_EQ(n.longValue(), v);
    ASSERT_TRUE(n.bigDecimalValue()->equals(Decimal::of(v).get())) << v;
    ASSERT_EQ(n.toString(), std::to_string(v));
  }
}

// Random decimals of 1..38 digits over the whole exponent range read back exactly, and their
// doubles and floats are the correctly rounded ones (compared with strtod and strtof).
TEST(NumberValueTest, DecimalRoundTripIsExactOverTheExponentRange) {
  std::mt19937_64 random(2);
  for (int i = 0; i < 50000; ++i) {
    std::string digits(1 + random() % 38, '0');
    for (auto& d : digits) d = static_cast<char>('0' + random() % 10);
    digits[0] = static_cast<char>('1' + random() % 9);
    const auto lead = static_cast<int32_t>(i % 4 == 0 ? int64_t(random() % 32768) - 16384
                                                      : int64_t(random() % 700) - 350);
    const auto scale = static_cast<int32_t>(digits.size()) - 1 - lead;
    const auto d = Decimal::ofUnscaled((random() % 2 ? "-" : "") + digits, scale);
    const auto n = NumberValue::fromDecimal(*d);
    ASSERT_LE(n->getLength(), NumberValue::MAX_LENGTH);
    ASSERT_TRUE(n->bigDecimalValue()->numericEquals(*d)) << d->toString();
    const std::string text = d->toString();
    const double expected = std::strtod(text.c_str(), nullptr);  // ±0 or ±infinity outside
    if (std::isinf(expected)) {
      ASSERT_EQ(codeOf([&] { (void)n->doubleValue(); }), 59) << text;
    } else {
      const double got = n->doubleValue();
      ASSERT_TRUE(got == expected && std::signbit(got) == std::signbit(expected)) << text;
    }
    const float expectedF = std::strtof(text.c_str(), nullptr);
    if (std::isinf(expectedF)) {
      ASSERT_EQ(codeOf([&] { (void)n->floatValue(); }), 59) << text;
    } else {
      ASSERT_EQ(n->floatValue(), expectedF) << text;
    }
  }
}

// Random finite doubles and floats (random bit patterns) read back as the same value.
TEST(NumberValueTest, FloatingRoundTripIsExact) {
  std::mt19937_64 random(3);
  for (int i = 0; i < 100000; ++i) {
    const auto d = std::bit_cast<double>(random());
    const auto f = std::bit_cast<float>(static_cast<uint32_t>(random()));
    if (std::isfinite(d)) {
      ASSERT_EQ(NumberValue(d).doubleValue(), d) << d;
    }
    if (std::isfinite(f)) {
      ASSERT_EQ(NumberValue(f).floatValue(), f) << f;
    }
  }
  for (const double d : {5e-324, 2.2250738585072014e-308, 1.7976931348623157e308, 0.1, 1e23}) {
    EXPECT_EQ(NumberValue(d).doubleValue(), d);
  }
}

TEST(NumberValueTest, MoreThan38DigitsRoundHalfEven) {
  const std::string d37 = "0." + std::string(37, '1');
  struct Case { std::string in; std::string out; };
  const Case cases[] = {
      {d37 + "25", d37 + "2"},  {d37 + "35", d37 + "4"},  {d37 + "251", d37 + "3"},
      {d37 + "2500000000000000000000000000000000001", d37 + "3"},
      {"-" + d37 + "45", "-" + d37 + "4"}, {"0." + std::string(39, '9'), "1"},
  };
  for (const auto& c : cases) EXPECT_EQ(parse(c.in.c_str())->toString(), c.out) << c.in;
}

TEST(NumberValueTest, ExponentRangeIsEnforcedAfterRounding) {
  for (const char* ok : {"1e16383", "9.9999e16383", "1e-16384", "-1e-16384", "0e999999", "5E-16384"}) {
    EXPECT_EQ(codeOf([&] { (void)parse(ok); }), 0) << ok;
  }
  EXPECT_EQ(parse("5E-16384")->toString(), "0." + std::string(16383, '0') + "5");
  const std::string carried = std::string(39, '9') + "e16345";  // rounds up to 1e16384
  for (const std::string& bad : {std::string("1e16384"), std::string("1e-16385"), carried}) {
    auto text = lang::String::of(bad);
    try {
      (void)NumberValue::fromObject(text.get());
      ADD_FAILURE() << bad;
    } catch (const DriverException& e) {
      EXPECT_EQ(e.code(), 59);
      EXPECT_EQ(e.offendingValue().get(), text.get());
    }
  }
}

TEST(NumberValueTest, IntegerConversionsTruncateThenRaiseOnOverflow) {
  struct Case { const char* text; int64_t asLong; int32_t intCode; int32_t shortCode; };
  const Case cases[] = {
      {"2147483647.9", 2147483647, 0, 59},    {"-2147483648.9", INT32_MIN, 0, 59},
      {"2147483648", 2147483648, 59, 59},      {"-2147483649", -2147483649, 59, 59},
      {"32767.5", 32767, 0, 0},                {"-32768", -32768, 0, 0},
      {"32768", 32768, 0, 59},                 {"-0.999", 0, 0, 0},
      {"1e-16384", 0, 0, 0},                   {"9223372036854775807.99", INT64_MAX, 59, 59},
      {"-9223372036854775808", INT64_MIN, 59, 59}, {"1234567890123456.78e3", 1234567890123456780, 59, 59},
  };
  for (const auto& c : cases) {
    const auto n = parse(c.text);
    EXPECT_EQ(n->longValue(), c.asLong) << c.text;
    EXPECT_EQ(codeOf([&] { EXPECT_EQ(n->intValue(), static_cast<int32_t>(c.asLong)); }), c.intCode)
        << c.text;
    EXPECT_EQ(codeOf([&] { EXPECT_EQ(n->shortValue(), static_cast<int16_t>(c.asLong)); }), c.shortCode)
        << c.text;
  }
  // 2^65 + 5 would wrap to 5 in 64 bits
  for (const char* big : {"9223372036854775808", "-9223372036854775809", "1e19",
                          "36893488147419103237", "1e300"}) {
    EXPECT_EQ(codeOf([&] { (void)parse(big)->longValue(); }), 59) << big;
  }
}

TEST(NumberValueTest, FloatingConversionsRaiseOnOverflowAndFlushUnderflowToSignedZero) {
  EXPECT_EQ(codeOf([] { (void)parse("1.8e308")->doubleValue(); }), 59);
  EXPECT_EQ(codeOf([] { (void)parse("-3.5e38")->floatValue(); }), 59);
  EXPECT_EQ(parse("3.4028235e38")->floatValue(), 3.4028235e38f);
  EXPECT_EQ(parse("1e39")->doubleValue(), 1e39);
  const double tiny = parse("-1e-400")->doubleValue();
  EXPECT_TRUE(tiny == 0 && std::signbit(tiny));
  const float tinyF = parse("1e-50")->floatValue();
  EXPECT_TRUE(tinyF == 0 && !std::signbit(tinyF));
  EXPECT_EQ(codeOf([] { NumberValue n(std::nan("")); }), 59);
  EXPECT_EQ(codeOf([] { NumberValue n(-INFINITY); }), 59);
}

// A value made from bytes keeps them as they came, malformed or not, so that an image holding
// one bad number can still be read; only the conversions judge the form.
TEST(NumberValueTest, ValueFromBytesKeepsThemUncheckedUntilConverted) {
  for (const auto& m : std::vector<std::vector<uint8_t>>{{}, {0x40, 0x00}, {0x40, 0x00, 0x64},
                                                         std::vector<uint8_t>(22, 0x40)}) {
    const auto b = bytes(m);
    const NumberValue v(b);
    EXPECT_EQ(v.shareBytes().get(), b.get());
    EXPECT_EQ(codeOf([&] { (void)v.doubleValue(); }), 59);
  }
  EXPECT_THROW(NumberValue(Ref<ByteArray>()), lang::NullPointerException);
}

TEST(NumberValueTest, MalformedFormsRaiseConversionWithTheBytes) {
  const std::vector<std::vector<uint8_t>> malformed = {
      {}, {0x01}, {0x80}, {0x40, 0x00}, {0x40, 0x00, 0x05}, {0x40, 0x00, 0x0A, 0x00},
      {0x40, 0x00, 0x64}, {0x40, 0x00, 0x0A, 0xFF, 0x0A}, std::vector<uint8_t>(22, 0x40)};
  for (const auto& m : malformed) {
    const auto b = bytes(m);
    const auto* p = b->data();
    const int32_t n = b->length();
    for (const auto& call : std::vector<std::function<void()>>{
             [&] { (void)NumberValue::toInt(p, n); }, [&] { (void)NumberValue::toLong(b.get()); },
             [&] { (void)NumberValue::toShort(p, n); }, [&] { (void)NumberValue::toFloat(p, n); },
             [&] { (void)NumberValue::toDouble(p, n); }, [&] { (void)NumberValue::toBigDecimal(p, n); },
             [&] { (void)NumberValue(b).intValue(); }, [&] { (void)NumberValue(b).toString(); },
             [&] { (void)NumberValue(b).bigDecimalValue(); }}) {
      EXPECT_EQ(codeOf(call), 59) << m.size();
    }
    try {
      (void)NumberValue::toDouble(b.get());
      ADD_FAILURE();
    } catch (const DriverException& e) {
      EXPECT_EQ(e.offendingValue().get(), b.get());
    }
  }
  EXPECT_EQ(codeOf([] { (void)NumberValue::toInt(nullptr, -1); }), 59);
}

// Near-valid random forms: each either fails with 59 or is the one form of its value.
TEST(NumberValueTest, AcceptedFormsAreCanonical) {
  std::mt19937_64 random(4);
  int accepted = 0;
  for (int i = 0; i < 200000; ++i) {
    std::vector<uint8_t> m(random() % 24);
    for (auto& x : m) x = static_cast<uint8_t>(random() % 16 == 0 ? random() : random() % 100);
    if (m.size() > 1 && random() % 2) m[0] = static_cast<uint8_t>(random());
    const auto b = bytes(m);
    Ref<Decimal> d;
    const int32_t code = codeOf([&] { d = NumberValue::toBigDecimal(b.get()); });
    ASSERT_TRUE(code == 0 || code == 59);
    if (code == 0) {
      ++accepted;
      ASSERT_TRUE(NumberValue::fromDecimal(*d)->shareBytes()->sameContents(*b));
    }
  }
  EXPECT_GT(accepted, 1000);
}

TEST(NumberValueTest, FromObjectConvertsNumbersAndRefusesTheRest) {
  const std::pair<Ref<lang::Object>, const char*> ok[] = {
      {lang::Integer::of(-7), "-7"}, {lang::Long::of(INT64_MAX), "9223372036854775807"},
      {lang::Short::of(300), "300"}, {lang::Double::of(0.1), "0.1"}, {lang::Float::of(0.1f), "0.1"},
      {lang::Boolean::of(true), "1"}, {lang::Boolean::of(false), "0"},
      {Decimal::parse("-1.50"), "-1.5"}, {lang::String::of("1E+3"), "1000"}};
  for (const auto& [object, text] : ok) EXPECT_EQ(NumberValue::fromObject(object.get())->toString(), text);
  EXPECT_EQ(NumberValue::fromObject(nullptr), nullptr);

  const Ref<lang::Object> refused[] = {
      lang::String::of(" 1"), lang::String::of("1,5"), lang::String::of(""), lang::Character::of(u'1'),
      lang::Double::of(INFINITY), lang::Timestamp::of(2000, 1, 1), ByteArray::of({0x00})};
  for (const auto& object : refused) {
    try {
      (void)NumberValue::fromObject(object.get());
      ADD_FAILURE() << object->className();
    } catch (const DriverException& e) {
      EXPECT_EQ(e.code(), 59);
      EXPECT_EQ(e.offendingValue().get(), object.get());
    }
  }
}

TEST(NumberValueTest, TextAndPlatformObjectArePlainDecimals) {
  for (const char* text : {"0", "-12.5", "100", "0.001", "-123456789012345678901234567890.12345678"}) {
    const auto n = parse(text);
    EXPECT_EQ(n->toString(), text);
    EXPECT_EQ(NumberValue::toText(n->shareBytes()->data(), n->shareBytes()->length()), text);
    EXPECT_EQ(n->toJdbc()->toString(), Decimal::parse(text)->toString());
  }
  EXPECT_EQ(parse("1e20")->toString(), "100000000000000000000");
}

}  // namespace
}  // namespace kelvor::jdbc
