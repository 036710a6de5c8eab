// Collections of NUMBER elements made from short, int and long arrays keep the numbers and write
// them straight into the image: the bytes must be those of the element-by-element path, and the
// value must read and compare as one made from NumberValues.
#include <gtest/gtest.h>

#include <cstdint>
#include <limits>
#include <string>
#include <vector>

#include "catalog/AttributeType.h"
#include "catalog/MemoryCatalog.h"
#include "catalog/TypeDefinition.h"
#include "collection/KelvorTypeCOLLECTION.h"
#include "driver/ArrayDescriptor.h"
#include "driver/ArrayValue.h"
#include "driver/DriverException.h"
#include "driver/MemoryConnection.h"
#include "driver/NumberValue.h"
#include "scalar/KelvorTypeNUMBER.h"
#include "tests/support/TypeGenerator.h"

namespace kelvor {
namespace {

using catalog::AttributeType;
using catalog::MemoryCatalog;
using catalog::TypeDefinition;
using jdbc::ArrayValue;
using jdbc::NumberValue;
using jdbc::kelcore::KelvorTypeNUMBER;
using lang::makeRef;
using lang::ObjectArray;
using lang::Ref;

std::vector<int8_t> bytesOf(const lang::ByteArray& a) { return {a.data(), a.data() + a.length()}; }

TEST(WholeNumberWriterTest, FormIsTheNumberValuesForEveryWidthAndDigitCount) {
  std::vector<int64_t> values = {0, 1, -1, 9, 10, 99, 100, 101, 120, 1000, 123456789,
                                 std::numeric_limits<int64_t>::max(),
                                 std::numeric_limits<int64_t>::min(),
                                 std::numeric_limits<int32_t>::min()};
  for (int64_t p = 1, i = 0; i < 18; ++i, p *= 10) {  // every digit count, odd and even
    for (const int64_t v : {p, p - 1, p + 1, 7 * p, -p, -(p - 1)}) values.push_back(v);
  }
  testsupport::TypeGenerator random(15);
  for (int i = 0; i < 2000; ++i) values.push_back(static_cast<int64_t>(random.below(UINT64_MAX)));
  for (int64_t v = -10001; v <= 10001; ++v) values.push_back(v);  // the short forms, every one
  for (const int64_t v : values) {
    int8_t form[KelvorTypeNUMBER::MAX_WHOLE_FORM];
    const int32_t n = KelvorTypeNUMBER::wholeNumberForm(v, form);
    EXPECT_EQ(std::vector<int8_t>(form, form + n), bytesOf(*NumberValue(v).shareBytes())) << v;
  }
}

struct Fixture {
  Ref<jdbc::MemoryConnection> conn = makeRef<jdbc::MemoryConnection>();
  Ref<jdbc::ArrayDescriptor> type(int64_t max, TypeDefinition::CollectionKind kind) {
    return MemoryCatalog::registerCollectionType(
        *conn, TypeDefinition::collectionType("T", "NUMS", AttributeType::numberType(20, 0), max, kind));
  }
};

template <typename Array>
void expectSameAsNumberValues(const Ref<jdbc::ArrayDescriptor>& type, jdbc::MemoryConnection& conn,
                              const std::vector<int64_t>& numbers) {
  auto array = Array::make(static_cast<int64_t>(numbers.size()));
  auto sqlValues = ObjectArray::make(static_cast<int64_t>(numbers.size()));
  for (size_t i = 0; i < numbers.size(); ++i) {
    (*array)[static_cast<int32_t>(i)] = static_cast<typename Array::element_type>(numbers[i]);
    sqlValues->set(static_cast<int32_t>(i),
                   makeRef<NumberValue>(static_cast<int64_t>((*array)[static_cast<int32_t>(i)])));
  }
  auto fromArray = makeRef<ArrayValue>(type, &conn, array.get());
  const auto fromValues = makeRef<ArrayValue>(type, &conn, sqlValues.get());
  // The caller's array may change afterwards; the value holds what it was given.
  for (int32_t i = 0; i < array->length(); ++i) (*array)[i] = 1;
  const auto image = type->getKelvorType()->toImage(fromArray.get());
  EXPECT_EQ(bytesOf(*image), bytesOf(*type->getKelvorType()->toImage(fromValues.get())));
  EXPECT_TRUE(fromArray->equals(fromValues.get()));
  EXPECT_EQ(fromArray->elementCount(), static_cast<int64_t>(numbers.size()));
  EXPECT_STREQ(fromArray->toJdbc()->className(), fromValues->toJdbc()->className());
  EXPECT_TRUE(fromArray->toJdbc()->equals(fromValues->toJdbc().get()) ||
              fromArray->toString() == fromValues->toString());
  // A long array read back from the image gives the numbers again.
  auto back = type->getKelvorType()->fromImage(image.get(), 0, nullptr,
                                               KelvorTypeNUMBER::ACCESS_LONG_ARRAY, nullptr);
  const auto& longs = static_cast<const ArrayValue&>(*back).getPlatformArray();
  ASSERT_TRUE(longs);
  const auto& read = static_cast<const lang::LongArray&>(*longs);
  ASSERT_EQ(read.length(), static_cast<int32_t>(numbers.size()));
  for (int32_t i = 0; i < read.length(); ++i) {
    EXPECT_EQ(read[i], static_cast<int64_t>(static_cast<typename Array::element_type>(numbers[static_cast<size_t>(i)])));
  }
}

TEST(WholeNumberWriterTest, GeneratedArraysOfEveryWidthWriteTheElementByElementImage) {
  Fixture f;
  const auto type = f.type(0, TypeDefinition::CollectionKind::UNBOUNDED);
  testsupport::TypeGenerator random(2026);
  for (int round = 0; round < 20; ++round) {
    std::vector<int64_t> numbers(random.below(300));  // long-form lengths too
    for (int64_t& v : numbers) {
      v = round % 2 == 0 ? static_cast<int64_t>(random.below(2001)) - 1000
                         : static_cast<int64_t>(random.below(UINT64_MAX));
    }
    expectSameAsNumberValues<lang::ShortArray>(type, *f.conn, numbers);
    expectSameAsNumberValues<lang::IntArray>(type, *f.conn, numbers);
    expectSameAsNumberValues<lang::LongArray>(type, *f.conn, numbers);
  }
}

// An array moved in with its only count is kept as it is; one that something else still holds
// is copied, so that a later change through that holder does not reach the value.
TEST(WholeNumberWriterTest, ArrayMovedInIsKeptOnlyWhenNothingElseHoldsIt) {
  Fixture f;
  const auto type = f.type(0, TypeDefinition::CollectionKind::UNBOUNDED);
  Ref<lang::Object> sole = lang::IntArray::of({1, 2, 3});
  const lang::Object* array = sole.get();
  const auto kept = makeRef<ArrayValue>(type, f.conn.get(), std::move(sole));
  EXPECT_EQ(kept->getPrimitiveElements().get(), array);

  const auto held = lang::IntArray::of({1, 2, 3});
  Ref<lang::Object> second = held;
  const auto copied = makeRef<ArrayValue>(type, f.conn.get(), std::move(second));
  (*held)[0] = 9;
  EXPECT_NE(copied->getPrimitiveElements().get(), held.get());
  EXPECT_EQ(bytesOf(*type->getKelvorType()->toImage(copied.get())),
            bytesOf(*type->getKelvorType()->toImage(kept.get())));
}

// The bulk readers' short path against the full conversion, element by element: whole numbers
// of every digit count, fractions (truncated), and values outside the width (refused).
TEST(WholeNumberWriterTest, BulkReadsAgreeWithTheFullConversion) {
  Fixture f;
  const auto type = f.type(0, TypeDefinition::CollectionKind::UNBOUNDED);
  std::vector<std::string> texts = {"0", "5", "-5", "12.5", "-0.5", "0.001", "120", "1200.75",
                                    "32767", "32768", "-32769", "2147483647", "2147483648",
                                    "-2147483649", "999999999999999999", "1e18", "-9e18",
                                    "1e19", "123456789.987654321"};
  for (int64_t p = 1, i = 0; i < 18; ++i, p *= 10) texts.push_back(std::to_string(7 * p + 3));
  for (const std::string& text : texts) {
    const auto one = ObjectArray::of({NumberValue::fromString(text)});
    const auto image = type->getKelvorType()->toImage(makeRef<ArrayValue>(type, f.conn.get(), one.get()).get());
    const auto& form = *static_cast<const NumberValue*>(one->at(0))->shareBytes();
    auto bulk = [&](int32_t access) -> int64_t {
      auto back = type->getKelvorType()->fromImage(image.get(), 0, nullptr, access, nullptr);
      const auto& array = static_cast<const ArrayValue&>(*back).getPlatformArray();
      if (access == KelvorTypeNUMBER::ACCESS_INT_ARRAY) return static_cast<const lang::IntArray&>(*array)[0];
      if (access == KelvorTypeNUMBER::ACCESS_LONG_ARRAY) return static_cast<const lang::LongArray&>(*array)[0];
      return static_cast<const lang::ShortArray&>(*array)[0];
    };
    auto same = [&](int32_t access, auto full) {
      int64_t expected = 0;
      bool refused = false;
      try {
        expected = full(form.data(), form.length());
      } catch (const jdbc::DriverException&) {
        refused = true;
      }
      if (refused) {
        EXPECT_THROW((void)bulk(access), jdbc::DriverException) << text;
      } else {
        EXPECT_EQ(bulk(access), expected) << text;
      }
    };
    same(KelvorTypeNUMBER::ACCESS_INT_ARRAY, [](const int8_t* b, int32_t n) -> int64_t { return NumberValue::toInt(b, n); });
    same(KelvorTypeNUMBER::ACCESS_LONG_ARRAY, [](const int8_t* b, int32_t n) { return NumberValue::toLong(b, n); });
    same(KelvorTypeNUMBER::ACCESS_SHORT_ARRAY, [](const int8_t* b, int32_t n) -> int64_t { return NumberValue::toShort(b, n); });
  }
}

TEST(WholeNumberWriterTest, BoundedCollectionRefusesMoreElementsBeforeWriting) {
  Fixture f;
  const auto type = f.type(2, TypeDefinition::CollectionKind::BOUNDED);
  auto value = makeRef<ArrayValue>(type, f.conn.get(), lang::IntArray::of({1, 2, 3}).get());
  try {
    (void)type->getKelvorType()->toImage(value.get());
    FAIL() << "three elements written into a collection of at most two";
  } catch (const jdbc::DriverException& e) {
    EXPECT_EQ(e.code(), jdbc::DriverException::ERR_TOO_MANY_ELEMENTS);
  }
}

}  // namespace
}  // namespace kelvor
