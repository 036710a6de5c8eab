#include "lang/String.h"

#include <gtest/gtest.h>

#include <string>

using namespace std::string_literals;

namespace kelvor::lang {
namespace {

// Both hosts (the class binding and the Java front end) hand text over as UTF-16 through these
// two conversions: well-formed text crosses both ways unchanged, malformed UTF-8 never becomes
// a lone surrogate or a guessed character.
TEST(StringTest, Utf16ConversionsRoundTripAndReplaceWhatUtf8CannotCarry) {
  const std::u16string text = u"a\u00e9\u20ac\U0001F600\u0000z"s;
  const auto s = String::fromUtf16(text.data(), static_cast<int32_t>(text.size()));
  EXPECT_EQ(s->value(), std::string("a\xC3\xA9\xE2\x82\xAC\xF0\x9F\x98\x80", 10) + '\0' + "z");
  EXPECT_EQ(String::toUtf16(s->value()), text);

  const char16_t lone[] = {u'x', 0xD800, u'y', 0xDC00};
  EXPECT_EQ(String::fromUtf16(lone, 4)->value(), "x\xEF\xBF\xBDy\xEF\xBF\xBD");

  struct Case {
    const char* utf8;
    std::u16string utf16;
  };
  const Case malformed[] = {
      {"\xED\xA0\x80", u"\uFFFD"},      // an encoded surrogate
      {"\xC0\xAF", u"\uFFFD\uFFFD"},    // an overlong form
      {"\xF4\x90\x80\x80", u"\uFFFD"},  // above U+10FFFF
      {"\xE2\x82", u"\uFFFD\uFFFD"},    // cut short
      {"\x80z", u"\uFFFDz"},            // a stray continuation
  };
  for (const Case& c : malformed) {
    SCOPED_TRACE(c.utf8);
    EXPECT_EQ(String::toUtf16(c.utf8), c.utf16);
  }
}

// Long texts are scanned in steps of 128 bytes (16 and 8 below them, then single bytes): a byte
// above 0x7F is found wherever it stands, on either side of every step's edge.
TEST(StringTest, AsciiPrefixFindsTheFirstHighByteAcrossEveryStepSize) {
  for (const size_t n :
       {size_t{0}, size_t{7}, size_t{63}, size_t{255}, size_t{256}, size_t{257}, size_t{700}}) {
    std::string text(n, 'a');
    EXPECT_EQ(String::asciiPrefix(text), n);
    for (size_t at = 0; at < n; ++at) {
      text[at] = '\x80';
      ASSERT_EQ(String::asciiPrefix(text), at) << n;
      text[at] = 'a';
    }
  }
}

}  // namespace
}  // namespace kelvor::lang
