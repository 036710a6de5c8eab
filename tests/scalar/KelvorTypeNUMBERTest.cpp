#include "scalar/KelvorTypeNUMBER.h"

#include <gtest/gtest.h>

#include <climits>
#include <cmath>
#include <random>
#include <vector>

#include "adt/StreamInfo.h"
#include "image/PickleContext.h"
#include "image/UnpickleContext.h"
#include "lang/Boxed.h"
#include "lang/Decimal.h"
#include "lang/String.h"
#include "tests/scalar/ScalarTestSupport.h"
#include "types/Util.h"

namespace kelvor::jdbc::kelcore {
namespace {

using lang::ByteArray;
using lang::ObjectArray;
using namespace scalartest;
using typetest::bytesOf;
using typetest::codeOf;
using N = KelvorTypeNUMBER;
constexpr int32_t CONVERSION = DriverException::ERR_CONVERSION;
constexpr int32_t UNSUPPORTED = DriverException::ERR_UNSUPPORTED;

// The ints behind an array of NumberValues (INT_MIN for null).
std::vector<int32_t> intsOf(const Ref<ObjectArray>& a) {
  std::vector<int32_t> v;
  for (int32_t i = 0; i < a->length(); ++i) {
    auto* n = dynamic_cast<NumberValue*>(a->at(i));
    v.push_back(n == nullptr ? INT_MIN : n->intValue());
  }
  return v;
}

TEST(KelvorTypeNUMBERTest, ParseTDSTakesIndexesThenPrecisionAndScaleUnsigned) {
  StreamInfo reader(bytesOf({38, 0x81, 5}), 0);
  reader.nullIndexCounter() = 3;
  reader.offsetIndexCounter() = 7;
  Probe<N> a(2);
  a.parseTDS(reader);
  EXPECT_EQ(a.getPrecision(), 38);
  EXPECT_EQ(a.getScale(), 129);
  EXPECT_EQ(a.nullIndexForTest(), 3);
  EXPECT_EQ(a.offsetIndexForTest(), 7);
  EXPECT_EQ(reader.nullIndexCounter(), 4);
  EXPECT_EQ(reader.offsetIndexCounter(), 8);
  EXPECT_EQ(reader.getRelativeOffset(), 2);
  EXPECT_THROW(Probe<N>().parseTDS(reader), lang::IndexOutOfBoundsException);  // 1 byte left
  auto fd = formatDescriptor(12, 0x5B);  // size 11, mask 3; entry 5 stays 0
  EXPECT_EQ(a.getNativeAlignment(fd.get()), 3);
  EXPECT_EQ(a.getNativeSize(nullptr), 11);  // cached with the alignment
}

TEST(KelvorTypeNUMBERTest, ToObjectByStyleAndToNumberValue) {
  const auto bytes = arrayOf(formOf(125));
  N n;
  EXPECT_EQ(lang::dynamicRef<NumberValue>(n.toObject(bytes, 1, nullptr))->shareBytes(), bytes);
  EXPECT_EQ(lang::dynamicRef<lang::Decimal>(n.toObject(bytes, 2, nullptr))->toString(), "125");
  EXPECT_EQ(N::numberBytesToObject(bytes, 3, nullptr), bytes);  // the same array
  for (const int32_t style : {0, 4, 9}) {
    EXPECT_EQ(codeOf([&] { n.toObject(bytes, style, nullptr); }), UNSUPPORTED);
    EXPECT_EQ(n.toObject(nullptr, style, nullptr), nullptr);
    EXPECT_EQ(n.toObject(ByteArray::make(0), style, nullptr), nullptr);
  }
  auto number = lang::makeRef<NumberValue>(int32_t{7});
  EXPECT_EQ(n.toSqlValue(number.get(), nullptr), number);
  EXPECT_EQ(N::toNumberValue(nullptr, nullptr), nullptr);
  auto text = lang::String::of("-12.5");
  EXPECT_EQ(N::toNumberValue(text.get(), nullptr)->doubleValue(), -12.5);
  for (const Ref<lang::Object>& bad : {Ref<lang::Object>(lang::String::of("twelve")),
                                       Ref<lang::Object>(lang::Double::of(std::nan(""))),
                                       Ref<lang::Object>(lang::Character::of(u'1'))}) {
    EXPECT_TRUE(blames(CONVERSION, bad.get(), [&] { N::toNumberValue(bad.get(), nullptr); }));
  }
}

TEST(KelvorTypeNUMBERTest, ArraySlicesOfEveryKind) {
  auto ints = lang::IntArray::of({1, 2, 3, 4, 5});
  N n;
  EXPECT_EQ(intsOf(n.toSqlValueArray(ints.get(), nullptr, 2, 3)), (std::vector{2, 3, 4}));
  EXPECT_EQ(intsOf(n.toSqlValueArray(ints.get(), nullptr, 4, -1)), (std::vector{4, 5}));
  EXPECT_EQ(intsOf(n.toSqlValueArray(ints.get(), nullptr, 4, 99)), (std::vector{4, 5}));
  EXPECT_EQ(n.toSqlValueArray(ints.get(), nullptr, INT64_MAX, -1)->length(), 0);
  EXPECT_THROW(n.toSqlValueArray(ints.get(), nullptr, 0, -1), lang::IndexOutOfBoundsException);
  EXPECT_THROW(n.toSqlValueArray(ints.get(), nullptr, 1, -2), lang::NegativeArraySizeException);
  const auto tail = [](const Ref<lang::Object>& a) {
    return intsOf(N::primitiveArrayToNumberValues(a.get(), nullptr, 2, -1));
  };
  EXPECT_EQ(tail(lang::ShortArray::of({0, INT16_MIN})), (std::vector<int32_t>{INT16_MIN}));
  EXPECT_EQ(tail(lang::LongArray::of({0, -9})), (std::vector{-9}));
  EXPECT_EQ(tail(lang::DoubleArray::of({0, 1e9})), (std::vector{1000000000}));
  EXPECT_EQ(tail(lang::ByteArray::of({0, -128})), (std::vector{-128}));
  EXPECT_EQ(tail(lang::BooleanArray::of({false, true})), (std::vector{1}));
  EXPECT_EQ(tail(ObjectArray::of({nullptr, lang::CharArray::of({u'-', u'4', u'2'})},
                                 typeid(lang::CharArray))),
            (std::vector{-42}));
  // A float element uses the float constructor: the float's shortest decimal.
  auto floats = lang::FloatArray::of({0.1f});
  EXPECT_EQ(N::toNumberValueArray(floats.get(), nullptr, 1, -1)->at(0)->toString(), "0.1");
  // Object arrays element by element; NumberValues kept, nulls null.
  auto number = lang::makeRef<NumberValue>(int32_t{5});
  auto objects = ObjectArray::of({lang::Integer::of(1), nullptr, lang::String::of("3"), number});
  const auto out = N::toNumberValueArray(objects.get(), nullptr, 1, -1);
  EXPECT_EQ(intsOf(out), (std::vector{1, INT_MIN, 3, 5}));
  EXPECT_EQ(out->at(3), number.get());
  EXPECT_EQ(N::toNumberValueArray(nullptr, nullptr, 1, -1), nullptr);
  for (const Ref<lang::Object>& bad : {Ref<lang::Object>(lang::CharArray::of({u'1'})),
                                       Ref<lang::Object>(lang::String::of("1")),
                                       Ref<lang::Object>(objects)}) {
    EXPECT_TRUE(blames(CONVERSION, bad.get(),
                       [&] { N::primitiveArrayToNumberValues(bad.get(), nullptr, 1, -1); }));
  }
}

TEST(KelvorTypeNUMBERTest, LinearImageInBothFormsWithNullsAndSkip) {
  // First form: base 4, slots without indicator at relative offsets 0 (42) and 30 (-7).
  Bytes image(4, 0x11);
  const Bytes a = slots({42});
  const Bytes b = slots({-7});
  image.insert(image.end(), a.begin() + 1, a.end());
  image.resize(34, 0x22);
  image.insert(image.end(), b.begin() + 1, b.end());
  const auto offsets = lang::LongArray::of({0, 30});
  UnpickleContext ctx(arrayOf(image), 4, bytesOf({0, 0}), offsets, 0);
  EXPECT_EQ(N::unpickleNumber(0, 0, ctx, 1, 1, nullptr)->toString(), "42");
  EXPECT_EQ(ctx.relativeOffset(), 22);
  EXPECT_EQ(N::unpickleNumber(1, 1, ctx, 1, N::STYLE_SKIP, nullptr), nullptr);
  EXPECT_EQ(ctx.relativeOffset(), 52);
  UnpickleContext nulls(arrayOf(image), 4, bytesOf({1, 0}), offsets, 0);
  EXPECT_EQ(N::unpickleNumber(0, 0, nulls, 1, 1, nullptr), nullptr);
  EXPECT_EQ(nulls.relativeOffset(), 0);  // nothing consumed

  // Second form: indicator then slot; a null and a skip consume all 23 bytes.
  const auto second = arrayOf(slots({std::nullopt, 1234567, 99}));
  UnpickleContext flagged(second, 0, nullptr, nullptr, 0);
  N n;
  EXPECT_EQ(n.unpickle(flagged, 2, 1, nullptr), nullptr);
  EXPECT_EQ(flagged.offset(), 23);
  EXPECT_EQ(n.unpickle(flagged, 2, 2, nullptr)->toString(), "1234567");
  EXPECT_EQ(n.unpickle(flagged, 2, N::STYLE_SKIP, nullptr), nullptr);
  EXPECT_EQ(flagged.offset(), 69);
  // Every prefix that cuts into the second slot's form fails cleanly.
  for (int32_t cut = 23; cut < static_cast<int32_t>(25 + formOf(1234567).size()); ++cut) {
    UnpickleContext prefix(ByteArray::copyOf(second->data(), cut), 23, nullptr, nullptr, 0);
    EXPECT_THROW(n.unpickle(prefix, 2, 1, nullptr), lang::IndexOutOfBoundsException) << cut;
  }
}

TEST(KelvorTypeNUMBERTest, BulkPathsMatchElementByElementReads) {
  std::mt19937 random(7);
  std::uniform_int_distribution<int32_t> pick(-30000, 30000);
  std::vector<Number> values;
  for (int32_t i = 0; i < 200; ++i) values.push_back(i % 5 == 3 ? Number() : pick(random));
  Bytes fixed(5, 0x77);  // the slots start at 5
  const Bytes s = slots(values);
  fixed.insert(fixed.end(), s.begin(), s.end());
  const auto data = arrayOf(dataValues(values));
  using Doubles = std::vector<double> (*)(const Ref<lang::Object>&);
  for (const auto& [kind, doubles] :
       {std::pair<int32_t, Doubles>{4, doublesOf<int32_t>}, {5, doublesOf<double>},
        {6, doublesOf<float>}, {7, doublesOf<int64_t>}, {8, doublesOf<int16_t>}}) {
    UnpickleContext fixedCtx(arrayOf(fixed), 5, nullptr, nullptr, 0);
    const auto bulkFixed = N::unpickleFixedNumberArray(fixedCtx, 11, 150, kind);
    EXPECT_EQ(fixedCtx.offset(), 5 + 23 * 160);  // after the last slot read
    PickleContext pickled(data);
    const auto bulkData = N::unpickleNumberArray(pickled, 11, 150, kind);
    // The same elements one by one, as NumberValues.
    UnpickleContext oneCtx(arrayOf(fixed), 5 + 23 * 10, nullptr, nullptr, 0);
    PickleContext one(data);
    for (int32_t i = 0; i < 10; ++i) one.skipDataValue();
    std::vector<double> expected;
    N n;
    for (int32_t i = 0; i < 150; ++i) {
      const auto v = lang::dynamicRef<NumberValue>(n.unpickle(oneCtx, 2, 1, nullptr));
      EXPECT_EQ(v == nullptr, n.unpickle(one, 1, nullptr) == nullptr);
      expected.push_back(v ? v->doubleValue() : 0);
    }
    EXPECT_EQ(pickled.offset(), one.offset());
    EXPECT_EQ(doubles(bulkFixed), expected) << kind;
    EXPECT_EQ(doubles(bulkData), expected) << kind;
  }
}

// SQL values and decimals are made from the bytes where they lie in the image; every data value
// must still read as toObject reads its copied bytes: nulls, whole numbers, fractions, numbers
// whose unscaled value gains zeros, malformed forms and values cut short.
TEST(KelvorTypeNUMBERTest, PickledReadsFromTheImageMatchToObjectOfACopy) {
  std::vector<Bytes> forms;
  for (const int64_t v : {int64_t{0}, int64_t{125}, int64_t{-42}, int64_t{100000}, INT64_MIN}) {
    forms.push_back(formOf(v));
  }
  for (const char* text : {"12345.67", "-0.000123", "1E+40", "-9.99E-100"}) {
    const Ref<lang::ByteArray> f = NumberValue::fromString(text)->shareBytes();
    forms.emplace_back(f->data(), f->data() + f->length());
  }
  Bytes lastPairZero = formOf(125);
  lastPairZero.back() = 0;
  Bytes pairAbove99 = formOf(125);
  pairAbove99.back() = 100;
  forms.push_back(lastPairZero);
  forms.push_back(pairAbove99);
  forms.push_back(Bytes(pairAbove99.begin(), pairAbove99.begin() + 2));  // a header alone
  std::vector<Bytes> values = {{-1}, {0}, {5, 1, 2}};                   // null, empty, cut short
  for (const Bytes& f : forms) {
    Bytes v = {static_cast<int8_t>(f.size())};
    v.insert(v.end(), f.begin(), f.end());
    values.push_back(v);
  }
  N n;
  for (size_t i = 0; i < values.size(); ++i) {
    SCOPED_TRACE(i);
    for (const int32_t style : {N::STYLE_SQL_VALUE, N::STYLE_PLATFORM_OBJECT}) {
      expectUnpickleAsToObject(n, values[i], style);
    }
  }
}

TEST(KelvorTypeNUMBERTest, BulkPathsFailCleanlyBeforeAllocatingOnHostileInput) {
  const auto two = arrayOf(slots({1, 2}));
  const auto values = arrayOf(dataValues({1, std::nullopt}));  // 5 bytes: at most 5 values
  // INT32_MAX longs would be 16 GiB: only a check before the allocation gives the index error.
  for (const int64_t begin : {int64_t{1}, int64_t{3}, (int64_t{1} << 32) + 1, INT64_MAX}) {
    const int32_t count = begin == 1 ? INT32_MAX : 1;
    UnpickleContext ctx(two, 0, nullptr, nullptr, 0);
    EXPECT_THROW(N::unpickleFixedNumberArray(ctx, begin, count, 7),
                 lang::IndexOutOfBoundsException);
    PickleContext pctx(values);
    EXPECT_THROW(N::unpickleNumberArray(pctx, begin, count, 7), lang::IndexOutOfBoundsException);
  }
  for (int32_t cut = 0; cut < values->length(); ++cut) {  // every proper prefix
    PickleContext prefix(ByteArray::copyOf(values->data(), cut));
    EXPECT_THROW(N::unpickleNumberArray(prefix, 1, 2, 4), lang::IndexOutOfBoundsException) << cut;
  }
  Bytes overlong = slots({1});
  overlong[1] = 22;  // more than a slot holds: no number, and not followed into the next slot
  UnpickleContext bad(arrayOf(overlong), 0, nullptr, nullptr, 0);
  EXPECT_EQ(codeOf([&] { N::unpickleFixedNumberArray(bad, 1, 1, 4); }), CONVERSION);
  // The access kind is checked after the skips; count 0 reads and moves nothing.
  for (const int32_t kind : {3, 9}) {
    UnpickleContext ctx(two, 0, nullptr, nullptr, 0);
    EXPECT_EQ(codeOf([&] { N::unpickleFixedNumberArray(ctx, 2, 1, kind); }), UNSUPPORTED);
    PickleContext pctx(values);
    EXPECT_EQ(codeOf([&] { N::unpickleNumberArray(pctx, 2, 1, kind); }), UNSUPPORTED);
    EXPECT_EQ(ctx.offset(), 23);  // one slot skipped
    EXPECT_EQ(pctx.offset(), 4);  // one data value skipped
  }
  UnpickleContext ctx(two, 0, nullptr, nullptr, 0);
  EXPECT_THROW(N::unpickleFixedNumberArray(ctx, 1, -1, 4), lang::NegativeArraySizeException);
  EXPECT_TRUE(doublesOf<int32_t>(N::unpickleFixedNumberArray(ctx, 2, 0, 4)).empty());
  PickleContext pctx(values);
  EXPECT_TRUE(doublesOf<int16_t>(N::unpickleNumberArray(pctx, 2, 0, 8)).empty());
  EXPECT_EQ(ctx.offset(), 0);
  EXPECT_EQ(pctx.offset(), 0);
}

// One rule for a fixed slot on every path: a length byte above 21 raises ERR_CONVERSION (its
// bytes would run into the next slot), and a present slot with an empty form is a null (an
// SQL null single value, 0 in a primitive array, as for a flagged null). Pickled data values
// of length 0 read the same way.
TEST(KelvorTypeNUMBERTest, EverySlotPathReadsOverlongAndEmptyFormsAlike) {
  Bytes image = slots({1, 2});
  image[1] = 22;
  for (const int32_t style : {1, 2, 3}) {
    UnpickleContext flagged(arrayOf(image), 0, nullptr, nullptr, 0);
    EXPECT_EQ(codeOf([&] { (void)N().unpickle(flagged, 2, style, nullptr); }), CONVERSION);
    UnpickleContext offsets(arrayOf(image), 0, bytesOf({0}), lang::LongArray::of({1}), 0);
    EXPECT_EQ(codeOf([&] { (void)N::unpickleNumber(0, 0, offsets, 1, style, nullptr); }),
              CONVERSION);
  }
  image[1] = 0;
  for (const int32_t style : {1, 2, 3}) {
    UnpickleContext flagged(arrayOf(image), 0, nullptr, nullptr, 0);
    EXPECT_EQ(N().unpickle(flagged, 2, style, nullptr), nullptr);
    EXPECT_EQ(flagged.offset(), 23);
  }
  const auto data = arrayOf(Bytes{0, 3, 0x40, 0x00, 0x14});  // an empty value, then 2
  for (const int32_t kind : {4, 5, 6, 7, 8}) {
    UnpickleContext fixed(arrayOf(image), 0, nullptr, nullptr, 0);
    PickleContext pickled(data);
    if (kind == 7) {
      EXPECT_EQ(doublesOf<int64_t>(N::unpickleFixedNumberArray(fixed, 1, 2, kind)),
                (std::vector<double>{0, 2}));
      EXPECT_EQ(doublesOf<int64_t>(N::unpickleNumberArray(pickled, 1, 2, kind)),
                (std::vector<double>{0, 2}));
    } else {
      (void)N::unpickleFixedNumberArray(fixed, 1, 2, kind);
      (void)N::unpickleNumberArray(pickled, 1, 2, kind);
    }
    EXPECT_EQ(fixed.offset(), 46) << kind;
    EXPECT_EQ(pickled.offset(), 5) << kind;
  }
}

TEST(KelvorTypeNUMBERTest, SerialRoundTripRestoresTheBaseThenScaleAndPrecision) {
  auto original = lang::makeRef<N>(3);
  StreamInfo reader(bytesOf({12, 4}), 0);
  original->parseTDS(reader);
  original->setAuxCode(-5);
  typetest::TraceCapture trace;
  N::SERIAL_TRACE = 1;
  const auto back = Util::deserialize(Util::serialize(original.get()).get());
  N::SERIAL_TRACE = 0;
  auto* copy = dynamic_cast<N*>(back.get());
  ASSERT_NE(copy, nullptr);
  EXPECT_EQ(copy->getPrecision(), 12);
  EXPECT_EQ(copy->getScale(), 4);
  EXPECT_EQ(copy->getTypeCode(), 3);
  EXPECT_EQ(copy->getAuxCode(), -5);
  EXPECT_NE(trace.str().find("KelvorTypeNUMBER"), std::string::npos);
}

}  // namespace
}  // namespace kelvor::jdbc::kelcore
