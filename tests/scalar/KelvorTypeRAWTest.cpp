#include "scalar/KelvorTypeRAW.h"

#include <gtest/gtest.h>

#include <vector>

#include "adt/StreamInfo.h"
#include "driver/DriverException.h"
#include "driver/RawValue.h"
#include "image/PickleContext.h"
#include "image/UnpickleContext.h"
#include "lang/Array.h"
#include "lang/Boxed.h"
#include "tests/types/TypeTestSupport.h"
#include "types/Util.h"

namespace kelvor::jdbc::kelcore {
namespace {

using lang::ByteArray;
using lang::makeRef;
using typetest::bytesOf;
using typetest::codeOf;
using typetest::filled;

// A descriptor whose TDS entry declares maxLength (as the two bytes of an SB2).
Ref<KelvorTypeRAW> parsed(int maxLength) {
  auto t = makeRef<KelvorTypeRAW>(23);
  StreamInfo reader(bytesOf({(maxLength >> 8) & 0xFF, maxLength & 0xFF}), 0);
  t->parseTDS(reader);
  return t;
}

TEST(KelvorTypeRAWTest, PickleChecksTheDeclaredMaximum) {
  struct Case {
    int maxLength;
    int32_t size;
    int32_t written;  // -1: ERR_VALUE_TOO_LONG
  };
  const std::vector<Case> cases = {
      {245, 245, 246}, {300, 246, 251}, {10, 10, 11}, {10, 11, -1},
      {0, 0, 1},       {0x8000, 1, -1},  // 32768 arrives as -32768: nothing fits
  };
  for (const Case& c : cases) {
    auto t = parsed(c.maxLength);
    PickleContext ctx;
    ctx.initStream();
    auto value = makeRef<RawValue>(filled(c.size, 1));
    if (c.written < 0) {
      EXPECT_EQ(codeOf([&] { static_cast<void>(t->pickle(ctx, value.get())); }),
                DriverException::ERR_VALUE_TOO_LONG)
          << c.maxLength << "/" << c.size;
      EXPECT_EQ(ctx.offset(), 0);
    } else {
      EXPECT_EQ(t->pickle(ctx, value.get()), c.written) << c.maxLength << "/" << c.size;
    }
  }
  EXPECT_EQ(parsed(0x8000)->getMaxLength(), -32768);
  EXPECT_EQ(parsed(10)->getTypeCode(), -2);
}

TEST(KelvorTypeRAWTest, ConversionsAndStyles) {
  auto t = parsed(10);
  auto raw = makeRef<RawValue>(bytesOf({1}));
  EXPECT_EQ(t->toSqlValue(raw.get(), nullptr), raw);
  auto number = lang::Integer::of(5);
  try {
    t->toSqlValue(number.get(), nullptr);
    ADD_FAILURE() << "an integer is not raw";
  } catch (const DriverException& e) {
    EXPECT_EQ(e.code(), DriverException::ERR_CONVERSION);
    EXPECT_EQ(e.offendingValue().get(), number.get());
  }
  // The RAW array kind: each byte array becomes a value sharing it; -1 takes the rest.
  const auto a = bytesOf({1});
  const auto b = bytesOf({2});
  auto arrays = lang::ObjectArray::of({a, nullptr, b}, typeid(ByteArray));
  const auto out = t->toSqlValueArray(arrays.get(), nullptr, 2, -1);
  ASSERT_EQ(out->length(), 2);
  EXPECT_EQ(out->at(0), nullptr);
  EXPECT_EQ(dynamic_cast<RawValue*>(out->at(1))->shareBytes(), b);

  const auto bytes = bytesOf({7, 8});
  EXPECT_EQ(t->toObject(bytes, 2, nullptr), bytes);
  EXPECT_EQ(t->toObject(bytes, 3, nullptr), bytes);
  EXPECT_EQ(lang::dynamicRef<RawValue>(t->toObject(bytes, 1, nullptr))->shareBytes(), bytes);
  EXPECT_EQ(codeOf([&] { t->toObject(bytes, 4, nullptr); }), DriverException::ERR_CONVERSION);
  for (const int32_t style : {1, 2, 3, 4}) {
    EXPECT_EQ(t->toObject(ByteArray::make(0), style, nullptr), nullptr);
  }
}

TEST(KelvorTypeRAWTest, UnpicklesBothLinearFormsAndSkips) {
  auto t = parsed(10);
  constexpr int32_t B = KelvorTypeRAW::STYLE_BYTES;
  constexpr int32_t SKIP = KelvorType::STYLE_SKIP;
  // Slot at 1 holds rel 6; the value 2 bytes long lies at 6.
  const auto offsetForm = bytesOf({9, 0, 0, 0, 6, 9, 0, 0, 0, 2, 'a', 'b'});
  // Indicator forms: a value, then a null whose length field still follows.
  const auto indicatorForm = bytesOf({0, 0, 0, 0, 2, 'a', 'b', 1, 0, 0, 0, 0});
  struct Case {
    Ref<ByteArray> image;
    int32_t format, style, at;
    int nullIndicator;
    bool value;
    int32_t end;
  };
  const std::vector<Case> cases = {
      {offsetForm, 1, B, 0, 0, true, 5},      {offsetForm, 1, SKIP, 0, 0, false, 5},
      {offsetForm, 1, B, 0, 1, false, 0},     {indicatorForm, 2, B, 0, 0, true, 7},
      {indicatorForm, 2, SKIP, 0, 0, false, 7}, {indicatorForm, 2, B, 7, 0, false, 12},
  };
  for (size_t i = 0; i < cases.size(); ++i) {
    const Case& c = cases[i];
    UnpickleContext ctx(c.image, 0, bytesOf({c.nullIndicator}), lang::LongArray::of({1}), 0);
    ctx.skipBytes(c.at);
    const auto out = lang::dynamicRef<ByteArray>(t->unpickle(ctx, c.format, c.style, nullptr));
    EXPECT_EQ(out != nullptr, c.value) << i;
    if (out) {
      EXPECT_TRUE(out->sameContents(*bytesOf({'a', 'b'}))) << i;
    }
    EXPECT_EQ(ctx.offset(), c.end) << i;
  }
}

TEST(KelvorTypeRAWTest, SerialRoundTripKeepsTheMaximum) {
  const auto back = Util::deserialize(Util::serialize(parsed(1234).get()).get());
  auto* copy = dynamic_cast<KelvorTypeRAW*>(back.get());
  ASSERT_NE(copy, nullptr);
  EXPECT_EQ(copy->getMaxLength(), 1234);
}

}  // namespace
}  // namespace kelvor::jdbc::kelcore
