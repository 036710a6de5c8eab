#include "scalar/KelvorTypeCHAR.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "adt/StreamInfo.h"
#include "driver/DriverException.h"
#include "image/PickleContext.h"
#include "image/UnpickleContext.h"
#include "lang/Array.h"
#include "lang/Boxed.h"
#include "lang/String.h"
#include "tests/scalar/TestConnection.h"
#include "tests/types/TypeTestSupport.h"
#include "types/Util.h"

namespace kelvor::jdbc::kelcore {
namespace {

using lang::ByteArray;
using lang::makeRef;
using scalartest::TestConnection;
using typetest::bytesOf;
using typetest::codeOf;
using Texts = std::vector<std::string>;

Ref<CharsetConverter> charset(int32_t id) { return CharsetConverter::forId(id); }

// A descriptor of the connection with its TDS entry parsed: maxLength, form, declared set 873.
Ref<KelvorTypeCHAR> parsed(Connection* conn, int maxLength, int form) {
  auto t = makeRef<KelvorTypeCHAR>(conn, 12);
  StreamInfo reader(bytesOf({maxLength >> 8, maxLength & 0xFF, form, 0x03, 0x69}), 0);
  t->parseTDS(reader);
  EXPECT_EQ(reader.getRelativeOffset(), 5);
  return t;
}

Ref<CharValue> sqlValueOf(KelvorTypeCHAR& t, const Ref<ByteArray>& bytes) {
  return lang::dynamicRef<CharValue>(t.toObject(bytes, KelvorTypeCHAR::STYLE_SQL_VALUE, nullptr));
}

TEST(KelvorTypeCHARTest, ParsesItsEntryAndTakesTheConnectionsSet) {
  auto utf8 = makeRef<TestConnection>(int16_t{CharsetConverter::UTF_8});
  auto t = parsed(utf8.get(), 300, 1);
  EXPECT_EQ(t->getMaxLength(), 300);
  EXPECT_EQ(sqlValueOf(*t, bytesOf({'a'}))->getCharacterSet(), charset(106));
  // A connection that does not tell (or none at all) has the set -1; one that tells a set we
  // cannot convert has that set: values read through them are in it.
  auto failing = makeRef<TestConnection>();
  failing->setCharsetFails(true);
  auto unknown = makeRef<TestConnection>(int16_t{2000});
  for (const auto& [conn, id] : std::vector<std::pair<Connection*, int32_t>>{
           {failing.get(), -1}, {unknown.get(), 2000}, {nullptr, -1}}) {
    EXPECT_EQ(sqlValueOf(*parsed(conn, 10, 1), bytesOf({'a'}))->getCharacterSet(), charset(id));
  }
  StreamInfo shortEntry(bytesOf({0, 10, 1, 0}), 0);
  EXPECT_THROW(makeRef<KelvorTypeCHAR>(utf8.get())->parseTDS(shortEntry),
               lang::IndexOutOfBoundsException);
}

TEST(KelvorTypeCHARTest, PickleReencodesThenChecksTheBytesWritten) {
  auto conn = makeRef<TestConnection>(int16_t{CharsetConverter::UTF_8});
  auto t = parsed(conn.get(), 4, 1);
  const auto iso = charset(CharsetConverter::ISO_8859_1);
  struct Case {
    Ref<CharValue> value;
    std::vector<int> written;  // {-code}: refused with that code, nothing written
  };
  const std::vector<Case> cases = {
      // 2 bytes in Latin-1, 4 in UTF-8: fits exactly. 3 in Latin-1 but 5 in UTF-8: too long.
      {makeRef<CharValue>(bytesOf({0xE9, 0xE9}), iso), {4, 0xC3, 0xA9, 0xC3, 0xA9}},
      {makeRef<CharValue>(bytesOf({0xE9, 0xE9, 'a'}), iso), {-72}},
      {makeRef<CharValue>(bytesOf({'a', 'b', 'c', 'd', 'e'}), charset(106)), {-72}},
      // Bytes that do not convert are refused, not written in a set the database misreads.
      {makeRef<CharValue>(bytesOf({0xD8, 0x00}), charset(1013)), {-59}},
      // Without a set: written as they are.
      {makeRef<CharValue>(bytesOf({0xFF, 0xFE}), nullptr), {2, 0xFF, 0xFE}},
  };
  for (size_t i = 0; i < cases.size(); ++i) {
    PickleContext ctx;
    ctx.initStream();
    const std::vector<int>& w = cases[i].written;
    if (w[0] < 0) {
      EXPECT_EQ(codeOf([&] { static_cast<void>(t->pickle(ctx, cases[i].value.get())); }), -w[0])
          << i;
      EXPECT_EQ(ctx.offset(), 0) << i;
    } else {
      EXPECT_EQ(t->pickle(ctx, cases[i].value.get()), static_cast<int32_t>(w.size())) << i;
      EXPECT_TRUE(ctx.toByteArray()->sameContents(*bytesOf(w))) << i;
    }
  }
  // convertToConnectionCharset itself keeps what it cannot convert, and what needs nothing.
  auto euro = makeRef<CharValue>(bytesOf({0xE2, 0x82, 0xAC}), charset(106));
  auto isoConn = makeRef<TestConnection>(int16_t{CharsetConverter::ISO_8859_1});
  auto isoType = makeRef<KelvorTypeCHAR>(isoConn.get());
  EXPECT_EQ(isoType->convertToConnectionCharset(euro.get()), euro);
  EXPECT_EQ(t->convertToConnectionCharset(euro.get()), euro);
}

// A connection whose set has no converter takes values already in its set, and values
// without a set, as they are; any other value would go out in a second encoding, and is
// refused with ERR_CONVERSION before anything is written.
TEST(KelvorTypeCHARTest, ValuesForASetWithoutAConverterAreRefusedNotWrittenUnconverted) {
  auto unknown = makeRef<TestConnection>(int16_t{2000});
  auto failing = makeRef<TestConnection>();
  failing->setCharsetFails(true);
  for (Connection* conn : std::vector<Connection*>{unknown.get(), failing.get()}) {
    auto t = parsed(conn, 10, 1);
    const auto own = sqlValueOf(*t, bytesOf({'a', 0xE9}));
    const auto utf8 = makeRef<CharValue>(bytesOf({'a'}), charset(CharsetConverter::UTF_8));
    PickleContext ctx;
    ctx.initStream();
    EXPECT_EQ(codeOf([&] { (void)t->pickle(ctx, utf8.get()); }), DriverException::ERR_CONVERSION);
    EXPECT_EQ(ctx.offset(), 0);
    EXPECT_EQ(t->pickle(ctx, own.get()), 3);
    EXPECT_EQ(t->pickle(ctx, makeRef<CharValue>(bytesOf({'b'}), nullptr).get()), 2);
    EXPECT_TRUE(ctx.toByteArray()->sameContents(*bytesOf({2, 'a', 0xE9, 1, 'b'})));
    EXPECT_EQ(codeOf([&] { (void)t->toSqlValue(lang::String::of("a").get(), conn); }),
              DriverException::ERR_CONVERSION);
    // convertToConnectionCharset keeps what it cannot convert, as it always has.
    EXPECT_EQ(t->convertToConnectionCharset(utf8.get()), utf8);
  }
}

TEST(KelvorTypeCHARTest, ToObjectByStyleAndForm) {
  auto conn = makeRef<TestConnection>(int16_t{CharsetConverter::ISO_8859_1});
  auto form1 = parsed(conn.get(), 10, 1);
  const auto bytes = bytesOf({'h', 0xE9});
  for (const int32_t style : {1, 2, 3, 7}) {
    EXPECT_EQ(form1->toObject(ByteArray::make(0), style, nullptr), nullptr) << style;
  }
  EXPECT_EQ(form1->toObject(bytes, 3, nullptr), bytes);
  EXPECT_EQ(codeOf([&] { form1->toObject(bytes, 7, nullptr); }), DriverException::ERR_CONVERSION);
  EXPECT_EQ(sqlValueOf(*form1, bytes)->getCharacterSet(), charset(4));
  EXPECT_EQ(sqlValueOf(*parsed(conn.get(), 10, 2), bytes)->getCharacterSet(), nullptr);
  const auto text = lang::dynamicRef<lang::String>(form1->toObject(bytes, 2, nullptr));
  ASSERT_TRUE(text);
  EXPECT_EQ(text->value(), "h\xC3\xA9");
  EXPECT_EQ(parsed(conn.get(), 10, 9)->toObject(bytes, 2, nullptr), nullptr);
}

// A pickled data value read in place gives what toObject gives for its bytes, in every style,
// form and connection set, failures included (bytes that are not UTF-8, read as text).
TEST(KelvorTypeCHARTest, PickledReadsGiveWhatToObjectGives) {
  const std::vector<std::vector<int>> values = {{}, {'h', 0xE9}, {'o', 'k'}, {0xC3, 0xA9}};
  for (const int16_t set : {int16_t{CharsetConverter::UTF_8}, int16_t{CharsetConverter::ISO_8859_1}}) {
    auto conn = makeRef<TestConnection>(set);
    for (const int form : {1, 2, 9}) {
      auto t = parsed(conn.get(), 10, form);
      for (const auto& v : values) {
        std::vector<int> image = {static_cast<int>(v.size())};
        image.insert(image.end(), v.begin(), v.end());
        for (const int32_t style : {1, 2, 3, 7}) {
          Ref<lang::Object> expected;
          const int32_t expectedCode = codeOf([&] { expected = t->toObject(bytesOf(v), style, nullptr); });
          for (const bool firstByteRead : {false, true}) {
            PickleContext ctx(bytesOf(image));
            Ref<lang::Object> got;
            const int32_t code = codeOf([&] {
              got = firstByteRead ? t->unpickle(ctx, ctx.readByte(), style, nullptr)
                                  : t->unpickle(ctx, style, nullptr);
            });
            const std::string where = std::to_string(set) + "/" + std::to_string(form) + "/" +
                                      std::to_string(v.size()) + "/" + std::to_string(style);
            ASSERT_EQ(code, expectedCode) << where;
            if (code != typetest::NOTHING_RAISED) continue;
            EXPECT_EQ(ctx.imageOffset(), static_cast<int32_t>(image.size())) << where;
            ASSERT_EQ(got == nullptr, expected == nullptr) << where;
            if (expected) {
              EXPECT_TRUE(got->equals(expected.get()) ||
                          (style == 3 && lang::dynamicRef<ByteArray>(got)->sameContents(
                                             *lang::dynamicRef<ByteArray>(expected))))
                  << where;
            }
          }
        }
      }
    }
  }
}

TEST(KelvorTypeCHARTest, UnpicklesBothLinearFormsWithNullsAndSkips) {
  auto conn = makeRef<TestConnection>();
  auto t = parsed(conn.get(), 10, 1);
  constexpr int32_t B = KelvorTypeCHAR::STYLE_BYTES;
  constexpr int32_t SKIP = KelvorType::STYLE_SKIP;
  // Every slot starts at 2. Offset form with rel 0 (the value follows the 6-byte slot) and
  // with rel 10; flag-byte form with a value, and a null (flag bit 0 and 4 bytes).
  const auto rel0 = bytesOf({9, 9, 0, 0, 0, 0, 7, 7, 0, 0, 0, 2, 'h', 'i'});
  const auto rel10 = bytesOf({9, 9, 0, 0, 0, 10, 7, 7, 9, 9, 0, 0, 0, 1, 'x'});
  const auto flagged = bytesOf({9, 9, 0, 0, 0, 0, 2, 'h', 'i'});
  const auto flaggedNull = bytesOf({9, 9, 1, 0, 0, 0, 0, 5});
  struct Case {
    Ref<ByteArray> image;
    int32_t format, style, nullIndicator;
    std::string text;  // "null" for null
    int32_t end;
  };
  const std::vector<Case> cases = {
      {rel0, 1, B, 0, "hi", 8},      {rel10, 1, B, 0, "x", 6},    {rel0, 1, B, 1, "null", 0},
      {rel0, 1, SKIP, 0, "null", 8}, {flagged, 2, B, 0, "hi", 9}, {flagged, 2, SKIP, 0, "null", 9},
      {flaggedNull, 2, B, 0, "null", 7},
  };
  for (size_t i = 0; i < cases.size(); ++i) {
    const Case& c = cases[i];
    UnpickleContext ctx(c.image, 0, bytesOf({c.nullIndicator}), lang::LongArray::of({2}), 0);
    if (c.format != 1) ctx.skipBytes(2);
    const auto b = lang::dynamicRef<ByteArray>(t->unpickle(ctx, c.format, c.style, nullptr));
    EXPECT_EQ(b ? std::string(b->data(), b->data() + b->length()) : "null", c.text) << i;
    EXPECT_EQ(ctx.offset(), c.end) << i;
  }
  // A length running past the image fails without reading outside it.
  UnpickleContext bad(bytesOf({9, 9, 0, 0, 0, 0, 0, 0, 0, 0, 0, 9, 'h'}), 0, bytesOf({0}),
                      lang::LongArray::of({2}), 0);
  EXPECT_THROW(t->unpickle(bad, 1, B, nullptr), lang::IndexOutOfBoundsException);
}

TEST(KelvorTypeCHARTest, ArraysConvertBySliceAndElementKind) {
  auto conn = makeRef<TestConnection>();
  auto t = parsed(conn.get(), 10, 1);
  auto texts = [&](lang::Object* values, int64_t begin, int32_t count) {
    const auto out = t->toSqlValueArray(values, nullptr, begin, count);
    Texts s;
    for (int32_t i = 0; i < out->length(); ++i) {
      auto* v = dynamic_cast<CharValue*>(out->at(i));
      s.push_back(v == nullptr ? "null" : v->stringValue());
    }
    return s;
  };
  const auto ints = lang::IntArray::of({1, 2, 3, 4, 5});
  EXPECT_EQ(texts(ints.get(), 1, -1), (Texts{"1", "2", "3", "4", "5"}));
  EXPECT_EQ(texts(ints.get(), 2, 10), (Texts{"2", "3", "4", "5"}));
  EXPECT_EQ(texts(ints.get(), 6, -1), Texts{});
  EXPECT_TRUE(t->toSqlValueArray(ints.get(), nullptr, 1, 1)->isArrayOf<CharValue>());
  // Character arrays: a surrogate pair becomes one 4-byte character.
  const auto smile = lang::CharArray::of({u'h', u'\u00E9', char16_t{0xD83D}, char16_t{0xDE00}});
  auto chars = lang::ObjectArray::of({smile, nullptr}, typeid(lang::CharArray));
  EXPECT_EQ(texts(chars.get(), 1, -1), (Texts{"h\xC3\xA9\xF0\x9F\x98\x80", "null"}));
  // A generic object array goes element by element through toSqlValue.
  auto mixed = lang::ObjectArray::of({lang::String::of("a"), lang::Integer::of(7)});
  EXPECT_EQ(texts(mixed.get(), 1, -1), (Texts{"a", "7"}));
  const auto flags = lang::BooleanArray::of({true});
  EXPECT_EQ(codeOf([&] { t->toSqlValueArray(flags.get(), nullptr, 1, -1); }),
            DriverException::ERR_CONVERSION);
}

TEST(KelvorTypeCHARTest, SerialRoundTripRestoresFieldsAndConverter) {
  auto conn = makeRef<TestConnection>(int16_t{CharsetConverter::ISO_8859_1});
  const auto back = Util::deserialize(Util::serialize(parsed(conn.get(), 300, 1).get()).get());
  auto* copy = dynamic_cast<KelvorTypeCHAR*>(back.get());
  ASSERT_NE(copy, nullptr);
  EXPECT_EQ(copy->getMaxLength(), 300);
  EXPECT_EQ(copy->getTypeCode(), 12);
  // Form 1 in the connection's set, with no connection at all.
  EXPECT_EQ(sqlValueOf(*copy, bytesOf({'a'}))->getCharacterSet(), charset(4));
}

}  // namespace
}  // namespace kelvor::jdbc::kelcore
