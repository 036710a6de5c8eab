#include "scalar/KelvorTypeDATE.h"

#include <gtest/gtest.h>

#include <array>
#include <string_view>
#include <vector>

#include "adt/StreamInfo.h"
#include "driver/DateValue.h"
#include "driver/DriverException.h"
#include "image/UnpickleContext.h"
#include "lang/String.h"
#include "lang/Timestamp.h"
#include "tests/scalar/ScalarTestSupport.h"
#include "types/Util.h"

namespace kelvor::jdbc::kelcore {
namespace {

using lang::ObjectArray;
using typetest::bytesOf;
using typetest::codeOf;
using D = KelvorTypeDATE;

// Indicator 0, then the native structure: the year in the given order, the other fields and
// the byte that is never read.
std::vector<int> flaggedDate(int year, int hour, bool highByteFirst) {
  const int hi = (year >> 8) & 0xFF;
  const int lo = year & 0xFF;
  return {0, highByteFirst ? hi : lo, highByteFirst ? lo : hi, 3, 5, hour, 7, 9, 0xEE};
}

// The seven bytes read back from the second linear form in STYLE_BYTES; 9 bytes consumed.
std::vector<int> formRead(const std::vector<int>& image, int8_t flag) {
  UnpickleContext ctx(bytesOf(image), 0, nullptr, nullptr, flag);
  const auto out = lang::dynamicRef<lang::ByteArray>(D().unpickle(ctx, 2, 3, nullptr));
  EXPECT_EQ(ctx.offset(), 9);
  std::vector<int> v;
  for (int32_t i = 0; i < out->length(); ++i) v.push_back(static_cast<uint8_t>((*out)[i]));
  return v;
}

TEST(KelvorTypeDATETest, NativeStructureBecomesTheSevenByteFormInEitherByteOrder) {
  for (const auto& [year, century, yy] : std::vector<std::array<int, 3>>{
           {2026, 120, 126}, {2000, 120, 100}, {1999, 119, 199}, {0, 100, 100}, {-1, 100, 99},
           {-4712, 53, 88}}) {
    const std::vector<int> expected = {century, yy, 3, 5, 15, 8, 10};
    EXPECT_EQ(formRead(flaggedDate(year, 14, true), 1), expected) << year;
    EXPECT_EQ(formRead(flaggedDate(year, 14, false), 0), expected) << year;
  }
  // Under the other flag the year's bytes swap: 07 EA read low byte first is -5625.
  const auto swapped = formRead(flaggedDate(2026, 14, true), 0);
  EXPECT_EQ(swapped[0], 100 - 56);
  EXPECT_EQ(swapped[1], 100 - 25);
  EXPECT_EQ(formRead(flaggedDate(2024, 0, true), 7)[4], 1);  // hour 0 is 1
}

// The seven-byte form holds the years -10099..15599; a native year outside them would wrap
// into another year (or flip its sign) and is refused in every style, in both byte orders.
TEST(KelvorTypeDATETest, NativeYearOutsideTheFormRaisesConversionError) {
  for (const int year : {32767, 15600, -10100, -32768}) {
    for (const bool highByteFirst : {true, false}) {
      for (const int32_t style : {1, 2, 3}) {
        UnpickleContext ctx(bytesOf(flaggedDate(year, 14, highByteFirst)), 0, nullptr, nullptr,
                            static_cast<int8_t>(highByteFirst ? 1 : 0));
        EXPECT_EQ(codeOf([&] { (void)D().unpickle(ctx, 2, style, nullptr); }),
                  DriverException::ERR_CONVERSION)
            << year << " style " << style;
      }
    }
  }
  for (const auto& [year, century, yy] :
       std::vector<std::array<int, 3>>{{15599, 255, 199}, {-10099, 0, 1}}) {
    EXPECT_EQ(formRead(flaggedDate(year, 14, true), 1), (std::vector<int>{century, yy, 3, 5, 15, 8, 10}));
  }
}

// Timestamps and SQL values are made from the bytes where they lie in the image; every data
// value must still read as toObject reads its copied bytes.
TEST(KelvorTypeDATETest, PickledReadsFromTheImageMatchToObjectOfACopy) {
  const std::vector<scalartest::Bytes> values = {
      {-1},                                  // null
      {0},                                   // empty
      {7, 120, 126, 3, 5, 15, 8, 10},        // 2026-03-05 14:07:09
      {7, 100, 100, 1, 1, 1, 1, 1},          // year 0
      {7, 120, 126, 13, 5, 15, 8, 10},       // month 13
      {7, 120, 126, 2, 30, 15, 8, 10},       // 30 February
      {6, 120, 126, 3, 5, 15, 8},            // six bytes
      {7, 120, 126, 3, 5, 15},               // cut short
  };
  D d;
  for (size_t i = 0; i < values.size(); ++i) {
    SCOPED_TRACE(i);
    for (const int32_t style : {D::STYLE_SQL_VALUE, D::STYLE_PLATFORM_OBJECT}) {
      scalartest::expectUnpickleAsToObject(d, values[i], style);
    }
  }
}

TEST(KelvorTypeDATETest, UnpickleInBothFormsWithNullsAndSkip) {
  std::vector<int> image = {0xAA, 0xAA, 0, 0, 0, 0};  // base 2, structure at relative 4
  const auto date = flaggedDate(2026, 14, true);
  image.insert(image.end(), date.begin() + 1, date.end());
  StreamInfo reader(lang::ByteArray::make(1), 0);
  reader.nullIndexCounter() = 1;
  scalartest::Probe<D> d;
  d.parseTDS(reader);  // null index 1, offset index 0, no operand bytes
  EXPECT_EQ(reader.getRelativeOffset(), 0);
  const auto offsets = lang::LongArray::of({4});
  UnpickleContext ctx(bytesOf(image), 2, bytesOf({1, 0}), offsets, 1);
  EXPECT_EQ(d.unpickle(ctx, 1, 1, nullptr)->toString(), "2026-03-05 14:07:09");
  EXPECT_EQ(ctx.relativeOffset(), 12);
  UnpickleContext nulls(bytesOf(image), 2, bytesOf({0, 1}), offsets, 1);
  EXPECT_EQ(d.unpickle(nulls, 1, 1, nullptr), nullptr);
  EXPECT_EQ(nulls.relativeOffset(), 0);  // nothing consumed
  UnpickleContext skip(bytesOf(image), 2, bytesOf({0, 0}), offsets, 1);
  EXPECT_EQ(d.unpickle(skip, 1, D::STYLE_SKIP, nullptr), nullptr);
  EXPECT_EQ(skip.relativeOffset(), 12);

  std::vector<int> second = date;
  second[0] = 1;  // a null: 9 bytes consumed, as by a skip
  second.insert(second.end(), date.begin(), date.end());
  UnpickleContext flagged(bytesOf(second), 0, nullptr, nullptr, 1);
  EXPECT_EQ(d.unpickle(flagged, 2, 1, nullptr), nullptr);
  EXPECT_EQ(flagged.offset(), 9);
  EXPECT_EQ(d.unpickle(flagged, 2, D::STYLE_SKIP, nullptr), nullptr);
  EXPECT_EQ(flagged.offset(), 18);
  // The last byte is never read: without it the date reads; any shorter prefix fails cleanly.
  for (size_t keep = 0; keep <= 8; ++keep) {
    UnpickleContext cut(bytesOf(std::vector<int>(date.begin(), date.begin() + keep)), 0, nullptr,
                        nullptr, 1);
    if (keep < 8) {
      EXPECT_THROW(d.unpickle(cut, 2, 2, nullptr), lang::IndexOutOfBoundsException) << keep;
    } else {
      EXPECT_EQ(lang::dynamicRef<lang::Timestamp>(d.unpickle(cut, 2, 2, nullptr))->hour(), 14);
    }
  }
}

TEST(KelvorTypeDATETest, ToObjectAndToSqlValue) {
  const auto form = bytesOf({120, 126, 3, 5, 15, 8, 10});
  D d;
  EXPECT_EQ(lang::dynamicRef<DateValue>(d.toObject(form, 1, nullptr))->shareBytes(), form);
  EXPECT_EQ(lang::dynamicRef<lang::Timestamp>(d.toObject(form, 2, nullptr))->minute(), 7);
  EXPECT_EQ(d.toObject(form, 3, nullptr), form);
  for (const int32_t style : {1, 9}) {
    EXPECT_EQ(d.toObject(nullptr, style, nullptr), nullptr);
    EXPECT_EQ(d.toObject(lang::ByteArray::make(0), style, nullptr), nullptr);
  }
  EXPECT_TRUE(scalartest::blames(DriverException::ERR_CONVERSION, form.get(),
                                 [&] { d.toObject(form, 9, nullptr); }));

  auto date = lang::makeRef<DateValue>(form);
  EXPECT_EQ(d.toSqlValue(date.get(), nullptr), date);
  EXPECT_EQ(d.toSqlValue(nullptr, nullptr), nullptr);
  auto ts = lang::Timestamp::of(1999, 12, 31, 23, 59, 58, 500);
  EXPECT_EQ(d.toSqlValue(ts.get(), nullptr)->toString(), "1999-12-31 23:59:58");
  for (const Ref<lang::Object>& bad : {Ref<lang::Object>(lang::String::of("yesterday")),
                                       Ref<lang::Object>(lang::Timestamp::of(20000, 1, 1))}) {
    EXPECT_TRUE(scalartest::blames(DriverException::ERR_CONVERSION, bad.get(),
                                   [&] { d.toSqlValue(bad.get(), nullptr); }));
  }
}

TEST(KelvorTypeDATETest, ToSqlValueArraySlicesCharRowsAndObjectArrays) {
  const auto row = [](std::u16string_view text) {
    return lang::CharArray::copyOf(text.data(), static_cast<int32_t>(text.size()));
  };
  auto rows = ObjectArray::of({row(u"2001-01-01 00:00:00"), row(u"-0044-03-15 12:00:00")},
                              typeid(lang::CharArray));
  D d;
  const auto rest = d.toSqlValueArray(rows.get(), nullptr, 2, -1);
  ASSERT_EQ(rest->length(), 1);
  EXPECT_EQ(rest->at(0)->toString(), "-0044-03-15 12:00:00");
  EXPECT_EQ(d.toSqlValueArray(rows.get(), nullptr, 3, -1)->length(), 0);
  EXPECT_THROW(d.toSqlValueArray(rows.get(), nullptr, 0, 1), lang::IndexOutOfBoundsException);
  auto strings = ObjectArray::of({lang::String::of("2003-03-03 03:03:03"), nullptr});
  const auto out = d.toSqlValueArray(strings.get(), nullptr, 1, -1);
  EXPECT_EQ(out->at(0)->toString(), "2003-03-03 03:03:03");
  EXPECT_EQ(out->at(1), nullptr);
  EXPECT_EQ(d.toSqlValueArray(nullptr, nullptr, 1, -1), nullptr);
  auto ints = lang::IntArray::of({1});
  EXPECT_EQ(codeOf([&] { d.toSqlValueArray(ints.get(), nullptr, 1, -1); }),
            DriverException::ERR_CONVERSION);
}

TEST(KelvorTypeDATETest, TypeCodeLayoutAndSerialForm) {
  auto d = lang::makeRef<D>(12);
  d->setTypeCode(4);
  EXPECT_EQ(d->getTypeCode(), 91);
  EXPECT_EQ(D::TRACE.load(), 0);
  auto fd = scalartest::formatDescriptor(11, 0x3A);  // size 7, mask 2; entries 5 and 12 are 0
  EXPECT_EQ(d->getNativeSize(fd.get()), 7);
  EXPECT_EQ(d->getNativeAlignment(fd.get()), 2);
  const auto back = Util::deserialize(Util::serialize(d.get()).get());
  auto* copy = dynamic_cast<D*>(back.get());
  ASSERT_NE(copy, nullptr);
  EXPECT_EQ(copy->getNativeSize(nullptr), 7);  // the base's fields came back
}

}  // namespace
}  // namespace kelvor::jdbc::kelcore
