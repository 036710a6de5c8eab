// Generated collections of every scalar element kind, REF included, written as pickled images by the type and
// as linear images by the builder, read back whole and as slices at every boundary in each
// style that applies; the element-wise SQL values are what every other style is checked by.
#include <gtest/gtest.h>

#include <algorithm>
#include <set>
#include <string>
#include <vector>

#include "catalog/AttributeType.h"
#include "catalog/LayoutWriter.h"
#include "catalog/LinearImageBuilder.h"
#include "catalog/TDSWriter.h"
#include "catalog/TypeDefinition.h"
#include "collection/KelvorTypeCOLLECTION.h"
#include "driver/ArrayDescriptor.h"
#include "driver/ArrayValue.h"
#include "driver/BlobValue.h"
#include "driver/DriverException.h"
#include "driver/MemoryConnection.h"
#include "driver/NumberValue.h"
#include "driver/ObjectDescriptor.h"
#include "driver/ObjectValue.h"
#include "scalar/KelvorTypeNUMBER.h"
#include "tests/support/TypeGenerator.h"

namespace kelvor::jdbc::kelcore {
namespace {

using catalog::LinearImageBuilder;
using Kind = catalog::AttributeType::Kind;
using lang::ByteArray;
using lang::ObjectArray;

std::string kindName(Kind kind) {
  switch (kind) {
    case Kind::NUMBER: return "NUMBER";
    case Kind::FLOAT: return "FLOAT";
    case Kind::SINT32: return "SINT32";
    case Kind::DATE: return "DATE";
    case Kind::RAW: return "RAW";
    case Kind::CHAR: return "CHAR";
    case Kind::VARCHAR: return "VARCHAR";
    case Kind::BLOB: return "BLOB";
    case Kind::CLOB: return "CLOB";
    case Kind::BFILE: return "BFILE";
    case Kind::REF: return "REF";
    default: return "OTHER";
  }
}

// A platform object read for the element written as e: a locator or REF value, the bytes of a
// RAW, or the platform form of the value.
bool samePlatform(const SqlValue* e, const lang::Object* got) {
  if (e == nullptr || got == nullptr) return e == nullptr && got == nullptr;
  if (auto* value = dynamic_cast<const SqlValue*>(got)) return e->equals(value);
  if (auto* bytes = dynamic_cast<const ByteArray*>(got)) return bytes->sameContents(*e->getBytes());
  return e->toJdbc()->equals(got);
}

// A bulk read of a slice against the element-wise conversions of its elements (a null: 0):
// where a conversion fails, the bulk read fails with the same driver code.
template <typename Array, typename Read, typename Convert>
void expectBulk(Read read, int32_t style, const ObjectArray& expected, int32_t from, int64_t k,
                Convert convert) {
  std::vector<typename Array::element_type> want;
  int32_t failure = 0;
  for (int32_t i = 0; i < k && failure == 0; ++i) {
    const auto* n = static_cast<const NumberValue*>(expected.at(from + i));
    try {
      want.push_back(n == nullptr ? 0 : convert(*n));
    } catch (const DriverException& e) {
      failure = e.code();
    }
  }
  if (failure != 0) {
    try {
      (void)read(style);
      ADD_FAILURE() << "bulk style " << style << " read what an element cannot convert";
    } catch (const DriverException& e) {
      EXPECT_EQ(e.code(), failure);
    }
    return;
  }
  const Ref<ArrayValue> value = read(style);
  const auto array = lang::dynamicRef<Array>(value ? value->getPlatformArray() : nullptr);
  ASSERT_TRUE(array) << "bulk style " << style;
  EXPECT_EQ(std::vector<typename Array::element_type>(array->data(), array->data() + array->length()),
            want)
      << "bulk style " << style;
}

class CollectionImageRoundTripTest : public ::testing::TestWithParam<Kind> {
 protected:
  // Every slice of image against the written elements: begin first, second, last and past the
  // end; count -1, 0, 1 and past the end (begin 1, count -1 is the whole-image reader). SQL
  // values are read both into a fresh value and into one indexed value that keeps what earlier
  // slices of the image recorded.
  void checkReads(KelvorTypeCOLLECTION& type, const Ref<ByteArray>& image,
                  const ObjectArray& expected) {
    const int32_t n = expected.length();
    const bool numbers = GetParam() == Kind::NUMBER || GetParam() == Kind::FLOAT;
    auto indexed = lang::makeRef<ArrayValue>(type.getArrayDescriptor(), Ref<ByteArray>(), nullptr);
    indexed->setIndexingMode(1);
    for (const int64_t begin : std::set<int64_t>{1, 2, std::max(n, 1), int64_t{n} + 1}) {
      for (const int32_t count : {-1, 0, 1, n + 1}) {
        SCOPED_TRACE("begin " + std::to_string(begin) + " count " + std::to_string(count));
        const int64_t k = KelvorTypeCOLLECTION::sliceLength(n, begin, count);
        const auto from = static_cast<int32_t>(begin - 1);
        auto read = [&](lang::Object* target, int32_t style) {
          Ref<ArrayValue> v = lang::dynamicRef<ArrayValue>(
              type.fromImage(image.get(), 0, target, begin, count, style, nullptr));
          EXPECT_TRUE(v);
          if (v) {
            EXPECT_EQ(v->elementCount(), n);
          }
          return v;
        };
        // The indexed value is reused by every slice, empty ones included.
        for (lang::Object* target : {static_cast<lang::Object*>(nullptr),
                                     static_cast<lang::Object*>(indexed.get())}) {
          SCOPED_TRACE(target == nullptr ? "fresh value" : "indexed value");
          const Ref<ArrayValue> sql = read(target, KelvorTypeCOLLECTION::STYLE_SQL_VALUE);
          if (!sql) continue;
          const Ref<ObjectArray> got = sql->getSqlValueElements();
          ASSERT_TRUE(got);
          ASSERT_EQ(got->length(), k);
          for (int32_t i = 0; i < k; ++i) {
            const auto* e = static_cast<const SqlValue*>(expected.at(from + i));
            const lang::Object* g = got->at(i);
            EXPECT_TRUE(e == nullptr ? g == nullptr : e->equals(g))
                << "element " << from + i + 1 << " read " << (g ? g->toString() : "null")
                << ", written " << (e ? e->toString() : "null");
          }
        }
        const Ref<ArrayValue> platform = read(nullptr, KelvorTypeCOLLECTION::STYLE_PLATFORM_OBJECT);
        if (platform) {
          const auto array = lang::dynamicRef<ObjectArray>(platform->getPlatformArray());
          ASSERT_TRUE(array);
          ASSERT_EQ(array->length(), k);
          for (int32_t i = 0; i < k; ++i) {
            EXPECT_TRUE(samePlatform(static_cast<const SqlValue*>(expected.at(from + i)),
                                     array->at(i)))
                << "element " << from + i + 1;
          }
        }
        if (!numbers) continue;
        auto bulk = [&](int32_t style) { return read(nullptr, style); };
        expectBulk<lang::IntArray>(bulk, KelvorTypeNUMBER::ACCESS_INT_ARRAY, expected, from, k,
                                   [](const NumberValue& v) { return v.intValue(); });
        expectBulk<lang::LongArray>(bulk, KelvorTypeNUMBER::ACCESS_LONG_ARRAY, expected, from, k,
                                    [](const NumberValue& v) { return v.longValue(); });
        expectBulk<lang::DoubleArray>(bulk, KelvorTypeNUMBER::ACCESS_DOUBLE_ARRAY, expected, from,
                                      k, [](const NumberValue& v) { return v.doubleValue(); });
      }
    }
  }
};

TEST_P(CollectionImageRoundTripTest, GeneratedCollectionsReadBackFromBothLayouts) {
  testsupport::TypeGenerator g(900 + static_cast<uint64_t>(GetParam()));
  auto conn = lang::makeRef<MemoryConnection>();
  if (GetParam() == Kind::REF) {
    // The object types the REF elements name.
    (void)testsupport::registerType(*conn, g.nextType());
  }
  bool empty = false;
  bool nullFirst = false;
  bool nullLast = false;
  for (int t = 0; t < 3; ++t) {
    const catalog::TypeDefinition def = g.nextCollectionType(GetParam());
    KelvorTypeCOLLECTION& type =
        *testsupport::registerCollectionType(*conn, def)->getKelvorType();
    for (int v = 0; v < 8; ++v) {
      SCOPED_TRACE(def.sqlName() + " value " + std::to_string(v));
      const Ref<ArrayValue> value = g.nextCollectionValue(def, *conn);
      const Ref<ObjectArray> expected = value->getSqlValueElements();
      const int32_t n = expected->length();
      empty = empty || n == 0;
      nullFirst = nullFirst || (n > 1 && expected->at(0) == nullptr);
      nullLast = nullLast || (n > 1 && expected->at(n - 1) == nullptr);
      {
        SCOPED_TRACE("pickled");
        checkReads(type, type.toImage(value.get()), *expected);
      }
      {
        SCOPED_TRACE("linear");
        checkReads(type, LinearImageBuilder::buildCollection(type, value.get()), *expected);
      }
    }
    EXPECT_FALSE(type.fromImage(LinearImageBuilder::buildCollection(type, nullptr).get(), 0,
                                nullptr, 1, nullptr));
  }
  // The generator reached what the reads above are meant to meet.
  EXPECT_TRUE(empty);
  EXPECT_TRUE(nullFirst);
  EXPECT_TRUE(nullLast);
}

// A slice that yields nothing is never positioned at its begin index, so it must not record
// that index at the position it stands on (element 1's): the next slice at that index would
// then read from element 1.
TEST(CollectionElementIndexTest, EmptySliceKeepsTheElementIndex) {
  testsupport::TypeGenerator g(5);
  auto conn = lang::makeRef<MemoryConnection>();
  const catalog::TypeDefinition def = g.nextCollectionType(Kind::VARCHAR);
  KelvorTypeCOLLECTION& type = *testsupport::registerCollectionType(*conn, def)->getKelvorType();
  auto elements = ObjectArray::make(3);
  for (int32_t i = 0; i < 3; ++i) elements->set(i, g.nextAttributeValue(*def.elementType(), *conn));
  const auto value = lang::makeRef<ArrayValue>(type.getArrayDescriptor(), conn.get(), elements.get());
  for (const Ref<ByteArray>& image :
       {type.toImage(value.get()), LinearImageBuilder::buildCollection(type, value.get())}) {
    auto indexed = lang::makeRef<ArrayValue>(type.getArrayDescriptor(), Ref<ByteArray>(), nullptr);
    indexed->setIndexingMode(1);
    (void)type.fromImage(image.get(), 0, indexed.get(), 2, 0, 1, nullptr);
    (void)type.fromImage(image.get(), 0, indexed.get(), 2, 1, 1, nullptr);
    EXPECT_TRUE(elements->at(1)->equals(indexed->getSqlValueElements()->at(0)));
  }
}

INSTANTIATE_TEST_SUITE_P(EveryScalarElement, CollectionImageRoundTripTest,
                         ::testing::Values(Kind::NUMBER, Kind::FLOAT, Kind::SINT32, Kind::DATE,
                                           Kind::RAW, Kind::CHAR, Kind::VARCHAR, Kind::BLOB,
                                           Kind::CLOB, Kind::BFILE, Kind::REF),
                         [](const ::testing::TestParamInfo<Kind>& p) { return kindName(p.param); });

}  // namespace
}  // namespace kelvor::jdbc::kelcore

namespace kelvor::jdbc::kelcore {
namespace {

// A collection type made by name and handed an image first fetches and parses its type then:
// the element type and the format flag (the year order of dates) come with it.
TEST(CollectionFirstUseTest, FromImageOnAFreshTypeFetchesItFirst) {
  testsupport::TypeGenerator g(77);
  auto conn = lang::makeRef<MemoryConnection>();
  const catalog::TypeDefinition def = g.nextCollectionType(catalog::AttributeType::Kind::DATE);
  KelvorTypeCOLLECTION& writer = *testsupport::registerCollectionType(*conn, def)->getKelvorType();
  const Ref<ArrayValue> value = g.nextCollectionValue(def, *conn);
  for (const Ref<lang::ByteArray>& image :
       {writer.toImage(value.get()), catalog::LinearImageBuilder::buildCollection(writer, value.get())}) {
    auto fresh = lang::makeRef<KelvorTypeCOLLECTION>(def.sqlName(), conn.get());
    auto back = lang::dynamicRef<ArrayValue>(fresh->fromImage(image.get(), 0, nullptr, 1, nullptr));
    ASSERT_TRUE(back);
    EXPECT_TRUE(back->equals(value.get())) << back->toString() << " vs " << value->toString();
  }
}

// A locator longer than its element slot: stepping over it (to reach a later slice) moves
// exactly as far as reading it does.
TEST(CollectionSliceTest, LongLocatorElementIsSteppedOverAsFarAsItIsRead) {
  const catalog::TypeDefinition blobs = catalog::TypeDefinition::collectionType(
      "S", "BLOBS", catalog::AttributeType::blobType(), 0);
  auto conn = lang::makeRef<MemoryConnection>();
  KelvorTypeCOLLECTION& type = *testsupport::registerCollectionType(*conn, blobs)->getKelvorType();
  const auto locator = [&](int32_t n, int8_t fill) {
    auto b = ByteArray::make(n + 2);
    (*b)[0] = static_cast<int8_t>(n >> 8);
    (*b)[1] = static_cast<int8_t>(n & 0xFF);
    for (int32_t i = 0; i < n; ++i) (*b)[2 + i] = fill;
    return lang::makeRef<BlobValue>(Ref<Connection>(conn.get()), b);
  };
  auto elements = ObjectArray::make(3);
  elements->set(0, locator(100, 0x11));  // longer than the 86-byte slot
  elements->set(1, locator(3, 0x22));
  elements->set(2, locator(5, 0x33));
  const auto value = lang::makeRef<ArrayValue>(ArrayDescriptor::createDescriptor("S.BLOBS", conn.get()),
                                               conn.get(), elements.get());
  const Ref<ByteArray> image = LinearImageBuilder::buildCollection(type, value.get());
  for (int32_t begin = 1; begin <= 3; ++begin) {
    auto slice = lang::dynamicRef<ArrayValue>(type.fromImage(image.get(), 0, nullptr, begin, 1, 1, nullptr));
    ASSERT_TRUE(slice) << begin;
    const Ref<ObjectArray> read = slice->getSqlValueElements();
    ASSERT_EQ(read->length(), 1) << begin;
    ASSERT_NE(read->at(0), nullptr) << begin;
    EXPECT_TRUE(read->at(0)->equals(elements->at(begin - 1))) << begin;
  }
}

// A server that serves a collection type's TDS but no dictionary rows: its object elements,
// which keep their images until asked, have no name to fetch their type by. They are still
// decoded, through a copy of the parsed element type.
TEST(CollectionFirstUseTest, ObjectElementsDecodeWhenNoNameCanBeHad) {
  using T = catalog::AttributeType;
  catalog::TypeDefinition point("S", "POINT");
  point.addAttribute("X", T::numberType(5, 0)).addAttribute("Y", T::varcharType(9));
  const catalog::TypeDefinition points =
      catalog::TypeDefinition::collectionType("S", "POINTS", T::embeddedType(point), 0);
  auto full = lang::makeRef<MemoryConnection>();
  KelvorTypeCOLLECTION& writer = *testsupport::registerCollectionType(*full, points)->getKelvorType();
  const Ref<ArrayValue> value = testsupport::TypeGenerator(5).nextCollectionValue(points, *full);
  const Ref<ByteArray> image = writer.toImage(value.get());

  auto bare = lang::makeRef<MemoryConnection>();
  MemoryConnection::TypeInfo info;
  info.tds = catalog::TDSWriter::write(points);
  bare->addType("S.POINTS", info);
  bare->setServerFormatDescriptor(catalog::LayoutWriter::defaultFormatDescriptor());
  auto back = lang::dynamicRef<ArrayValue>(ArrayDescriptor::createDescriptor("S.POINTS", bare.get())
                                               ->getKelvorType()
                                               ->fromImage(image.get(), 0, nullptr, 1, nullptr));
  ASSERT_TRUE(back);
  const Ref<ObjectArray> original = value->getSqlValueElements();
  const Ref<ObjectArray> read = back->getSqlValueElements();
  ASSERT_EQ(read->length(), original->length());
  int32_t objects = 0;
  for (int32_t i = 0; i < read->length(); ++i) {
    const auto* a = dynamic_cast<const ObjectValue*>(original->at(i));
    const auto* b = dynamic_cast<const ObjectValue*>(read->at(i));
    ASSERT_EQ(a == nullptr, b == nullptr) << i;
    if (a == nullptr) continue;
    ++objects;
    const Ref<ObjectArray> x = a->getAttributes();
    const Ref<ObjectArray> y = b->getAttributes();  // decodes the kept image
    ASSERT_EQ(y->length(), 2);
    for (int32_t k = 0; k < 2; ++k) {
      EXPECT_TRUE(x->at(k) == nullptr ? y->at(k) == nullptr : x->at(k)->equals(y->at(k))) << i;
    }
  }
  EXPECT_GT(objects, 0);
}

}  // namespace
}  // namespace kelvor::jdbc::kelcore
