#include "lang/Boxed.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>

namespace kelvor::lang {
namespace {

TEST(BoxedTest, EqualityIsByClassAndValueWithFloatingPointByBits) {
  EXPECT_TRUE(Integer::of(5)->equals(Integer::of(5).get()));
  EXPECT_FALSE(Integer::of(5)->equals(Long::of(5).get()));
  EXPECT_FALSE(Integer::of(5)->equals(nullptr));
  const Ref<Double> nan = Double::of(std::nan(""));
  const Ref<Double> otherNan = Double::of(-std::numeric_limits<double>::quiet_NaN());
  EXPECT_TRUE(nan->equals(otherNan.get()));
  EXPECT_EQ(nan->hashCode(), otherNan->hashCode());
  EXPECT_FALSE(Double::of(0.0)->equals(Double::of(-0.0).get()));
  EXPECT_TRUE(Float::of(std::nanf(""))->equals(Float::of(std::nanf("1")).get()));
  EXPECT_FALSE(Float::of(0.0f)->equals(Float::of(-0.0f).get()));
}

TEST(BoxedTest, HashCodesFollowThePlatform) {
  EXPECT_EQ(Boolean::of(true)->hashCode(), 1231);
  EXPECT_EQ(Boolean::of(false)->hashCode(), 1237);
  EXPECT_EQ(Byte::of(-3)->hashCode(), -3);
  EXPECT_EQ(Long::of(int64_t{1} << 32 | 5)->hashCode(), 4);
  EXPECT_EQ(Long::of(-1)->hashCode(), 0);
  EXPECT_EQ(Float::of(1.0f)->hashCode(), 0x3f800000);
  EXPECT_EQ(Double::of(1.0)->hashCode(), 0x3ff00000);
}

TEST(BoxedTest, ToStringAndClassName) {
  const std::pair<Ref<Object>, const char*> cases[] = {
      {Integer::of(INT32_MIN), "-2147483648"}, {Long::of(INT64_MAX), "9223372036854775807"},
      {Byte::of(-128), "-128"},                {Short::of(300), "300"},
      {Boolean::of(true), "true"},             {Character::of(u'\u00E9'), "\xC3\xA9"},
      {Character::of(char16_t{0xD800}), "\xEF\xBF\xBD"},
      {Double::of(1.0), "1.0"},                {Double::of(12.5), "12.5"},
      {Double::of(100.0), "100.0"},            {Double::of(0.001), "0.001"},
      {Double::of(1e7), "1.0E7"},              {Double::of(-2.5e-4), "-2.5E-4"},
      {Double::of(-0.0), "-0.0"},              {Double::of(0.1 + 0.2), "0.30000000000000004"},
      {Float::of(0.1f), "0.1"},                {Float::of(1.0e10f), "1.0E10"},
      {Double::of(std::numeric_limits<double>::infinity()), "Infinity"},
      {Float::of(std::nanf("")), "NaN"},
  };
  for (const auto& [value, text] : cases) EXPECT_EQ(value->toString(), text);
  EXPECT_STREQ(Integer::of(0)->className(), "Integer");
  EXPECT_STREQ(Character::of(u'a')->className(), "Character");
  EXPECT_STREQ(Double::of(0)->className(), "Double");
}

}  // namespace
}  // namespace kelvor::lang
