#include "driver/CharValue.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "driver/DriverException.h"
#include "lang/Boxed.h"
#include "lang/Decimal.h"
#include "lang/String.h"
#include "tests/types/TypeTestSupport.h"

namespace kelvor::jdbc {
namespace {

using kelcore::typetest::bytesOf;
using kelcore::typetest::codeOf;
using lang::makeRef;
using lang::Ref;

TEST(CharValueTest, FromEachKindOfValueByItsText) {
  const auto utf16 = CharsetConverter::forId(CharsetConverter::UTF_16BE);
  const auto iso = CharsetConverter::forId(CharsetConverter::ISO_8859_1);
  struct Case {
    Ref<lang::Object> value;
    std::string text;
  };
  const std::vector<Case> cases = {
      {lang::String::of("h\xC3\xA9"), "h\xC3\xA9"},
      {makeRef<CharValue>(bytesOf({'h', 0xE9}), iso), "h\xC3\xA9"},  // converted from its set
      {lang::Integer::of(-12), "-12"},
      {lang::Long::of(1234567890123), "1234567890123"},
      {lang::Double::of(1.5), "1.5"},
      {lang::Decimal::parse("-12.50"), "-12.50"},
      {lang::Boolean::of(true), "true"},
      {lang::Character::of(u'x'), "x"},
  };
  for (const Case& c : cases) {
    const auto v = CharValue::fromObject(c.value.get(), utf16);
    ASSERT_TRUE(v) << c.text;
    EXPECT_EQ(v->getCharacterSet(), utf16) << c.text;
    EXPECT_TRUE(v->shareBytes()->sameContents(*utf16->encode(c.text))) << c.text;
    EXPECT_EQ(v->getLength(), utf16->encode(c.text)->length());
    const auto text = lang::dynamicRef<lang::String>(v->toJdbc());
    ASSERT_TRUE(text);
    EXPECT_EQ(text->value(), c.text);
  }
  EXPECT_EQ(CharValue::fromObject(nullptr, utf16), nullptr);
  const auto numbers = lang::IntArray::of({1});
  EXPECT_EQ(codeOf([&] { CharValue::fromObject(bytesOf({1}).get(), utf16); }),
            DriverException::ERR_CONVERSION);
  EXPECT_EQ(codeOf([&] { CharValue::fromObject(numbers.get(), utf16); }),
            DriverException::ERR_CONVERSION);
}

// makeRef of a text goes through makeNew: a short text that needs no conversion is held inline,
// any other the constructor's way (converted, or too long), and both give the constructor's
// bytes; a set that cannot convert still refuses the text.
TEST(CharValueTest, MadeByMakeRefHoldsShortUnconvertedTextInline) {
  const auto utf8 = CharsetConverter::forId(CharsetConverter::UTF_8);
  const auto iso = CharsetConverter::forId(CharsetConverter::ISO_8859_1);
  const auto utf16 = CharsetConverter::forId(CharsetConverter::UTF_16BE);
  struct Case {
    std::string text;
    Ref<CharsetConverter> set;
    bool inlined;
  };
  const std::vector<Case> cases = {
      {"h\xC3\xA9", utf8, true}, {"plain", iso, true},    {"plain", nullptr, true},
      {"h\xC3\xA9", iso, false}, {"plain", utf16, false}, {std::string(257, 'x'), utf8, false},
  };
  for (const Case& c : cases) {
    const auto text = lang::String::of(c.text);
    const auto made = makeRef<CharValue>(*text, c.set);
    const auto constructed = Ref<CharValue>::adopt(new CharValue(*text, c.set));
    EXPECT_EQ(made->arrayIfAny() == nullptr, c.inlined) << c.text;
    EXPECT_TRUE(made->equals(constructed.get())) << c.text;
  }
  const auto unknown = CharsetConverter::forId(9999);
  EXPECT_EQ(codeOf([&] { makeRef<CharValue>(*lang::String::of("x"), unknown); }),
            DriverException::ERR_CONVERSION);
}

TEST(CharValueTest, ValueWithoutASetKeepsItsBytesAndReadsAsUtf8) {
  const auto iso = CharsetConverter::forId(CharsetConverter::ISO_8859_1);
  const auto raw = bytesOf({'h', 0xC3, 0xA9});
  const auto bare = makeRef<CharValue>(raw, nullptr);
  EXPECT_EQ(bare->stringValue(), "h\xC3\xA9");
  // Converting a value of unknown set into another set cannot be right: the bytes are shared.
  EXPECT_EQ(CharValue::fromObject(bare.get(), iso)->shareBytes(), raw);
  EXPECT_EQ(codeOf([] { CharValue(bytesOf({0xE9}), nullptr).stringValue(); }),
            DriverException::ERR_CONVERSION);
  // Same bytes in another set (or none) are another value.
  const CharValue inIso(raw, iso);
  EXPECT_FALSE(bare->equals(&inIso));
  EXPECT_TRUE(bare->equals(makeRef<CharValue>(bytesOf({'h', 0xC3, 0xA9}), nullptr).get()));
  EXPECT_TRUE(inIso.equals(makeRef<CharValue>(bytesOf({'h', 0xC3, 0xA9}), iso).get()));
}

}  // namespace
}  // namespace kelvor::jdbc
