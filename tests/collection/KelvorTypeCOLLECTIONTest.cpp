// Collection types: their TDS entries and fix-ups, the element answers, pickled images written
// and read in every mode and style, linear images, the element index, and hostile input.
#include "collection/KelvorTypeCOLLECTION.h"

#include <gtest/gtest.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <functional>
#include <stdexcept>
#include <string>
#include <vector>

#include "driver/ArrayDescriptor.h"
#include "driver/ArrayValue.h"
#include "driver/DriverException.h"
#include "driver/MemoryConnection.h"
#include "driver/NumberValue.h"
#include "driver/ObjectDescriptor.h"
#include "driver/ObjectValue.h"
#include "image/PickleContext.h"
#include "image/UnpickleContext.h"
#include "lang/ByteArrayInputStream.h"
#include "lang/ByteArrayOutputStream.h"
#include "lang/Decimal.h"
#include "lang/ObjectInputStream.h"
#include "lang/ObjectOutputStream.h"
#include "scalar/KelvorTypeNUMBER.h"
#include "tests/types/TypeTestSupport.h"

namespace kelvor::jdbc::kelcore {
namespace {

using lang::ByteArray;
using lang::makeRef;
using typetest::bytesOf;
using typetest::append;
using typetest::codeOf;
using typetest::tdsHeader;
using typetest::ub4;
using typetest::valuesOf;
using V = std::vector<int>;


// header 28 entry 42 element: the element stands right after the 42.
V collectionTds(const V& element, int64_t max = 0, int kind = 1) {
  V tds = tdsHeader();
  tds.push_back(28);
  append(tds, ub4(18 + 10 + 1));
  append(tds, ub4(max));
  tds.push_back(kind);
  tds.push_back(42);
  append(tds, element);
  return tds;
}

V numberForm(int32_t n) { return valuesOf(*NumberValue(n).shareBytes()); }

class CollectionTest : public ::testing::Test {
 protected:
  void SetUp() override {
    connection = makeRef<MemoryConnection>();
    connection->setServerFormatDescriptor(bytesOf(V(32, 0)));
    const V number = {3, 10, 0};
    add("S.NUMS", collectionTds(number), {{"", "NUMBER", "SYS"}});
    add("S.BNUMS", collectionTds(number, 2, 3), {{"", "NUMBER", "SYS"}});
    add("S.ODD", collectionTds(number, 7, 0x83), {{"", "NUMBER", "SYS"}});
    add("S.PAIRS", collectionTds({39, 3, 5, 0, 3, 5, 0, 40}), {{"", "PAIR", "S"}});
    // HOLDER (N NUMBER, C collection of PAIR-like objects): the collection entry points past 42.
    V holder = tdsHeader();
    append(holder, {3, 5, 0, 28});
    append(holder, ub4(18 + 3 + 10 + 1));
    append(holder, ub4(0));
    append(holder, {1, 42, 3, 5, 0});
    add("S.HOLDER", holder, {{"N", "NUMBER", "SYS"}, {"C", "NUMS", "S"}});
  }

  void add(const std::string& name, const V& tds, std::vector<MemoryConnection::AttributeRow> rows) {
    MemoryConnection::TypeInfo info;
    info.tds = bytesOf(tds);
    info.attributes = std::move(rows);
    connection->addType(name, info);
  }

  Ref<KelvorTypeCOLLECTION> type(const std::string& name) {
    return ArrayDescriptor::createDescriptor(name, connection.get())->getKelvorType();
  }
  Ref<ArrayValue> numbers(const std::string& name, std::initializer_list<int> values, int nullAt = -1) {
    auto elements = lang::ObjectArray::make(static_cast<int64_t>(values.size()));
    int32_t i = 0;
    for (const int v : values) {
      if (i != nullAt) elements->set(i, makeRef<NumberValue>(v));
      ++i;
    }
    return makeRef<ArrayValue>(ArrayDescriptor::createDescriptor(name, connection.get()),
                               connection.get(), elements.get());
  }
  static std::vector<int32_t> ints(const lang::Object* array) {
    std::vector<int32_t> out;
    const auto* values = dynamic_cast<const lang::ObjectArray*>(array);
    for (int32_t i = 0; values != nullptr && i < values->length(); ++i) {
      const auto* n = dynamic_cast<const NumberValue*>(values->at(i));
      out.push_back(n == nullptr ? -999 : n->intValue());
    }
    return out;
  }
  // The first attribute of an object value, as an int.
  static int32_t first(const lang::Object* object) {
    const auto* o = dynamic_cast<const ObjectValue*>(object);
    if (o == nullptr) return -999;
    return static_cast<const NumberValue*>(o->getAttributes()->at(0))->intValue();
  }

  Ref<MemoryConnection> connection;
};

TEST_F(CollectionTest, OwnSegmentAttachesTheElementAndReadsTheEntry) {
  Ref<KelvorTypeCOLLECTION> nums = type("S.NUMS");
  ASSERT_TRUE(nums->getElementType());
  EXPECT_EQ(nums->getElementType()->getTypeCode(), 3);
  EXPECT_EQ(nums->getLastOpcode(), 3);
  EXPECT_EQ(nums->getTypeCode(), 2003);
  EXPECT_EQ(nums->getNumAttributes(), 0);
  EXPECT_FALSE(nums->getAttributeType(1));
  EXPECT_TRUE(nums->isParsed());  // parsed, with no attribute descriptors of its own
  ASSERT_TRUE(nums->parsedAttributeTypes());
  EXPECT_EQ(nums->parsedAttributeTypes()->length(), 0);
  Ref<KelvorTypeCOLLECTION> odd = type("S.ODD");
  EXPECT_EQ(odd->getCollectionKind(), -125);
  EXPECT_EQ(odd->getMaxElements(), 7);
  // The element of PAIRS is a named (object) descriptor: it hangs under the collection at 1.
  Ref<KelvorTypeCOLLECTION> pairs = type("S.PAIRS");
  auto* pair = dynamic_cast<KelvorTypeADT*>(pairs->getElementType().get());
  ASSERT_NE(pair, nullptr);
  EXPECT_EQ(pair->getParent(), pairs.get());
  EXPECT_EQ(pair->getParentIndex(), 1);
}

// A collection type made by name numbers its segment as an object type's parse does: the list
// takes null index 0, so the element, parsed by the fix-up on the same reader, takes 1.
TEST_F(CollectionTest, ElementOfACollectionMadeByNameTakesNullIndexOne) {
  add("S.REFS", collectionTds({9}), {{"", "REF", "SYS"}});
  for (const char* name : {"S.NUMS", "S.REFS"}) {
    Ref<KelvorTypeCOLLECTION> c = type(name);
    ASSERT_TRUE(c->getElementType()) << name;
    EXPECT_EQ(c->getNullIndex(), 0) << name;
    EXPECT_EQ(c->getElementType()->getNullIndex(), 1) << name;
    EXPECT_EQ(c->getElementType()->getOffsetIndex(), 0) << name;
  }
  auto* ref = dynamic_cast<KelvorNamedType*>(type("S.REFS")->getElementType().get());
  ASSERT_NE(ref, nullptr);
  EXPECT_EQ(ref->getParentIndex(), 1);
}

TEST_F(CollectionTest, CollectionAttributeOfAnObjectTypeIsFixedUpAfterTheList) {
  Ref<ObjectDescriptor> holder = ObjectDescriptor::createDescriptor("S.HOLDER", connection.get());
  const Ref<KelvorTypeADT>& t = holder->getKelvorType();
  ASSERT_EQ(t->getNumAttributes(), 2);
  auto* c = dynamic_cast<KelvorTypeCOLLECTION*>(t->getAttributeType(1).get());
  ASSERT_NE(c, nullptr);
  ASSERT_TRUE(c->getElementType());
  EXPECT_EQ(c->getElementType()->getTypeCode(), 3);
  EXPECT_EQ(c->getParentIndex(), 2);
  EXPECT_TRUE(c->isParsed());  // as an entry of the holder's list, not a segment of its own
}

TEST_F(CollectionTest, TypeWithOnlyACollectionAttributeHandsItsIdentityToIt) {
  V tds = tdsHeader();
  tds.push_back(28);
  append(tds, ub4(29));
  append(tds, ub4(0));
  append(tds, {1, 42, 2});
  auto t = makeRef<KelvorTypeADT>("S.WRAPPED", connection.get());
  t->parseTDS(bytesOf(tds), 0);
  Ref<KelvorTypeADT> effective = t->getEffectiveType();
  ASSERT_NE(dynamic_cast<KelvorTypeCOLLECTION*>(effective.get()), nullptr);
  EXPECT_EQ(effective->getSqlName(), "S.WRAPPED");
}

TEST_F(CollectionTest, ElementFixUpChainsAreBoundedAndMustNameAnElement) {
  // 150 collections, each the element of the one before: too deep to read back by recursion.
  V tds = tdsHeader();
  const int levels = 150;
  for (int i = 0; i < levels; ++i) {
    const int64_t here = 18 + 10 * i + (i == 0 ? 0 : 1);
    tds.push_back(28);
    append(tds, ub4(here + 10 + (i == 0 ? 1 : 0)));
    append(tds, ub4(0));
    tds.push_back(1);
    if (i == 0) tds.push_back(42);
  }
  append(tds, {2});
  auto deep = makeRef<KelvorTypeADT>("S.DEEP", connection.get());
  EXPECT_EQ(codeOf([&] { deep->parseTDS(bytesOf(tds), 0); }), DriverException::ERR_STACK_OVERFLOW);
  // An end opcode where the element should stand.
  auto empty = makeRef<KelvorTypeADT>("S.EMPTY", connection.get());
  V none = collectionTds({40});
  EXPECT_EQ(codeOf([&] { empty->parseTDS(bytesOf(none), 0); }), DriverException::ERR_TDS_FORMAT);
}

TEST_F(CollectionTest, SliceLengths) {
  EXPECT_EQ(KelvorTypeCOLLECTION::sliceLength(5, 1, -1), 5);
  EXPECT_EQ(KelvorTypeCOLLECTION::sliceLength(5, 3, 10), 3);
  EXPECT_EQ(KelvorTypeCOLLECTION::sliceLength(5, 6, 1), 0);
  EXPECT_EQ(KelvorTypeCOLLECTION::sliceLength(5, 5, 0), 0);
  EXPECT_EQ(KelvorTypeCOLLECTION::sliceLength(5, 2, -1), 4);
  EXPECT_EQ(KelvorTypeCOLLECTION::sliceLength(int64_t{5}, 2, -2), 4);  // image slices: any negative count is "all"
  EXPECT_THROW(KelvorTypeCOLLECTION::sliceLength(5, 0, -1), lang::IndexOutOfBoundsException);
}

TEST_F(CollectionTest, ElementNamesAndConversions) {
  Ref<KelvorTypeCOLLECTION> nums = type("S.NUMS");
  EXPECT_EQ(codeOf([&] { (void)nums->getAttributeTypeName(2); }), DriverException::ERR_INVALID_ARGUMENT);
  EXPECT_EQ(codeOf([&] { (void)nums->getAttributeTypeName(2, false); }),
            DriverException::ERR_INVALID_ARGUMENT);
  EXPECT_EQ(nums->getAttributeTypeName(1, false), std::nullopt);
  EXPECT_EQ(nums->getAttributeTypeName(1), "SYS.NUMBER");
  EXPECT_EQ(nums->getAttributeTypeName(1, false), "SYS.NUMBER");
  EXPECT_EQ(codeOf([&] { (void)nums->getAttributeName(1); }), DriverException::ERR_INTERNAL);
  // A type the dictionary knows no element row of.
  connection->addType("S.NOROW", {bytesOf(collectionTds({2})), nullptr, 1, nullptr, {}, 1});
  EXPECT_EQ(codeOf([&] { (void)type("S.NOROW")->getAttributeTypeName(1); }), DriverException::ERR_INTERNAL);

  EXPECT_FALSE(nums->toSqlValue(nullptr, nullptr));
  Ref<ArrayValue> v = numbers("S.NUMS", {1});
  EXPECT_EQ(nums->toSqlValue(v.get(), nullptr).get(), v.get());
  auto ints3 = lang::IntArray::make(3);
  (*ints3)[0] = 7;
  (*ints3)[2] = -9;
  auto converted = lang::dynamicRef<ArrayValue>(nums->toSqlValue(ints3.get(), nullptr));
  ASSERT_TRUE(converted);
  EXPECT_EQ(ints(converted->getSqlValueElements().get()), (std::vector<int32_t>{7, 0, -9}));
}

TEST_F(CollectionTest, PickleWritesHeaderElementsAndNullsWithThePatchedLength) {
  Ref<KelvorTypeCOLLECTION> nums = type("S.NUMS");
  Ref<ByteArray> image = nums->toImage(numbers("S.NUMS", {1, 2, 3}, 1).get());
  V body = {1, 1, 0, 3};
  V one = numberForm(1);
  V three = numberForm(3);
  body.push_back(static_cast<int>(one.size()));
  append(body, one);
  body.push_back(255);
  body.push_back(static_cast<int>(three.size()));
  append(body, three);
  V expected = {0x88, 1, 0xFE, 0, 0, 0, static_cast<int>(body.size()) + 7};
  append(expected, body);
  EXPECT_EQ(valuesOf(*image), expected);
}

// The element runs (numbers, objects of numbers) refuse a bad element as the single writes do.
TEST_F(CollectionTest, ElementRunsRefuseABadElementAsTheElementWriteDoes) {
  // A value whose reported length differs from its bytes, after a null.
  struct Lying final : SqlValue {
    explicit Lying(Ref<ByteArray> b) : SqlValue(std::move(b)) {}
    int64_t getLength() const noexcept override { return 9; }
  };
  Ref<ArrayValue> nums = numbers("S.NUMS", {1, 2, 3}, 1);
  auto elements = nums->getSqlValueElements();
  elements->set(2, makeRef<Lying>(ByteArray::of({1, 2})));
  nums->setSqlValueArray(elements);
  EXPECT_EQ(codeOf([&] { (void)type("S.NUMS")->toImage(nums.get()); }),
            DriverException::ERR_INTERNAL);

  Ref<KelvorTypeCOLLECTION> pairs = type("S.PAIRS");
  auto* pairType = static_cast<KelvorTypeADT*>(pairs->getElementType().get());
  auto pd = makeRef<ObjectDescriptor>(Ref<KelvorTypeADT>(pairType), connection.get());
  auto pair = makeRef<ObjectValue>(
      pd, connection.get(), lang::ObjectArray::of({makeRef<NumberValue>(1), makeRef<NumberValue>(2)}));
  auto ad = ArrayDescriptor::createDescriptor("S.PAIRS", connection.get());
  auto value = makeRef<ArrayValue>(ad, connection.get(), lang::ObjectArray::of({pair, pair}).get());
  (void)pairs->toImage(value.get());  // the attribute list is published by now
  ASSERT_TRUE(pairType->writesDataValuesOnly());
  pair->setAttributes(lang::ObjectArray::of({makeRef<NumberValue>(1)}));
  EXPECT_EQ(codeOf([&] { (void)pairs->toImage(value.get()); }),
            DriverException::ERR_INVALID_ARGUMENT);
  pair->setAttributes(nullptr);
  EXPECT_THROW((void)pairs->toImage(value.get()), lang::NullPointerException);
}

TEST_F(CollectionTest, BoundedCollectionRefusesTooManyElementsBeforeWriting) {
  Ref<KelvorTypeCOLLECTION> bounded = type("S.BNUMS");
  PickleContext ctx;
  ctx.initStream();
  Ref<ArrayValue> three = numbers("S.BNUMS", {1, 2, 3});
  EXPECT_EQ(codeOf([&] { (void)bounded->pickle(ctx, three.get()); }),
            DriverException::ERR_TOO_MANY_ELEMENTS);
  EXPECT_EQ(ctx.offset(), 0);
  EXPECT_NO_THROW((void)bounded->toImage(numbers("S.BNUMS", {1, 2}).get()));
  EXPECT_NO_THROW((void)type("S.NUMS")->toImage(numbers("S.NUMS", {1, 2, 3}).get()));
}

TEST_F(CollectionTest, LocatorImagesRoundTrip) {
  Ref<KelvorTypeCOLLECTION> nums = type("S.NUMS");
  auto locator = bytesOf({9, 8, 7});
  Ref<ByteArray> image = nums->toImage(
      ArrayValue::ofLocator(ArrayDescriptor::createDescriptor("S.NUMS", connection.get()),
                            connection.get(), locator)
          .get());
  EXPECT_EQ(valuesOf(*image), (V{0x90, 1, 0xFE, 0, 0, 0, 12, 4, 0, 9, 8, 7}));
  EXPECT_FALSE(nums->isInlineImage(image.get()));
  auto back = lang::dynamicRef<ArrayValue>(nums->fromImage(image.get(), 0, nullptr, 1, nullptr));
  ASSERT_TRUE(back);
  EXPECT_TRUE(back->getLocator()->sameContents(*locator));
  EXPECT_FALSE(back->holdsElements());
  EXPECT_EQ(back->elementCount(), -1);
}

TEST_F(CollectionTest, PickledImagesReadBackInEveryStyleWholeAndSliced) {
  Ref<KelvorTypeCOLLECTION> nums = type("S.NUMS");
  Ref<ByteArray> image = nums->toImage(numbers("S.NUMS", {10, 20, 30, 40, 50}, 2).get());
  EXPECT_TRUE(nums->isInlineImage(image.get()));
  auto read = [&](int64_t b, int32_t n, int32_t style) {
    return lang::dynamicRef<ArrayValue>(nums->fromImage(image.get(), 0, nullptr, b, n, style, nullptr));
  };
  EXPECT_EQ(ints(read(1, -1, 1)->getSqlValueElements().get()),
            (std::vector<int32_t>{10, 20, -999, 40, 50}));
  EXPECT_EQ(ints(read(2, 2, 1)->getSqlValueElements().get()), (std::vector<int32_t>{20, -999}));
  EXPECT_EQ(ints(read(3, -1, 1)->getSqlValueElements().get()), (std::vector<int32_t>{-999, 40, 50}));
  EXPECT_EQ(read(6, 2, 1)->getSqlValueElements()->length(), 0);
  // An image slice takes any negative count as "all" (the array conversions take only -1).
  EXPECT_EQ(ints(read(2, -2, 1)->getSqlValueElements().get()), (std::vector<int32_t>{20, -999, 40, 50}));
  auto platform = lang::dynamicRef<lang::ObjectArray>(read(1, -1, 2)->getPlatformArray());
  ASSERT_TRUE(platform);
  EXPECT_TRUE(platform->isArrayOf<lang::Decimal>());
  EXPECT_EQ(platform->at(2), nullptr);
  auto primitive = lang::dynamicRef<lang::IntArray>(read(4, 2, KelvorTypeNUMBER::ACCESS_INT_ARRAY)->getPlatformArray());
  ASSERT_TRUE(primitive);
  EXPECT_EQ((*primitive)[0], 40);
  EXPECT_EQ((*primitive)[1], 50);
  Ref<ArrayValue> counted = read(1, -1, 0);
  EXPECT_EQ(counted->elementCount(), 5);
  EXPECT_FALSE(counted->getSqlValueElements());
  EXPECT_EQ(codeOf([&] { (void)read(1, -1, 3); }), DriverException::ERR_INVALID_ARGUMENT);
  // Primitive access needs number elements.
  Ref<KelvorTypeCOLLECTION> pairs = type("S.PAIRS");
  Ref<ByteArray> empty = pairs->toImage(makeRef<ArrayValue>(
      ArrayDescriptor::createDescriptor("S.PAIRS", connection.get()), connection.get(),
      lang::ObjectArray::make(0).get()).get());
  EXPECT_EQ(codeOf([&] { (void)pairs->fromImage(empty.get(), 0, nullptr, 4, nullptr); }),
            DriverException::ERR_UNSUPPORTED);
}

TEST_F(CollectionTest, SkipAndKeepModesStopExactlyAfterTheImage) {
  Ref<KelvorTypeCOLLECTION> nums = type("S.NUMS");
  V framed = valuesOf(*nums->toImage(numbers("S.NUMS", {1, 2, 3}).get()));
  const int32_t length = static_cast<int32_t>(framed.size());
  append(framed, {0xAB, 0xCD});
  Ref<ByteArray> image = bytesOf(framed);
  PickleContext skip(image, 0);
  EXPECT_FALSE(nums->unpickle(skip, nullptr, KelvorTypeCOLLECTION::MODE_SKIP, 1, nullptr));
  EXPECT_EQ(skip.offset(), length);
  PickleContext keep(image, 0);
  auto kept = lang::dynamicRef<ArrayValue>(nums->unpickle(keep, nullptr, KelvorTypeCOLLECTION::MODE_KEEP_IMAGE, 1, nullptr));
  EXPECT_EQ(keep.offset(), length);
  ASSERT_TRUE(kept);
  EXPECT_TRUE(kept->isImageOnly());
  EXPECT_EQ(kept->getImageLength(), length);
  EXPECT_EQ(ints(kept->getSqlValueElements().get()), (std::vector<int32_t>{1, 2, 3}));
}

TEST_F(CollectionTest, ObjectElementsAreWholeImagesAndTheIndexSkipsRereads) {
  Ref<KelvorTypeCOLLECTION> pairs = type("S.PAIRS");
  auto* pairType = static_cast<KelvorTypeADT*>(pairs->getElementType().get());
  auto pd = makeRef<ObjectDescriptor>(Ref<KelvorTypeADT>(pairType), connection.get());
  auto elements = lang::ObjectArray::make(10);
  for (int32_t i = 0; i < 10; ++i) {
    if (i == 7) continue;  // element 8 is null
    elements->set(i, makeRef<ObjectValue>(pd, connection.get(),
                                          lang::ObjectArray::of({makeRef<NumberValue>(i), makeRef<NumberValue>(-i)})));
  }
  auto ad = ArrayDescriptor::createDescriptor("S.PAIRS", connection.get());
  Ref<ByteArray> image = pairs->toImage(makeRef<ArrayValue>(ad, connection.get(), elements.get()).get());

  auto whole = lang::dynamicRef<ArrayValue>(pairs->fromImage(image.get(), 0, nullptr, 1, nullptr));
  Ref<lang::ObjectArray> all = whole->getSqlValueElements();
  ASSERT_EQ(all->length(), 10);
  EXPECT_EQ(all->at(7), nullptr);
  EXPECT_EQ(first(all->at(3)), 3);

  auto indexed = makeRef<ArrayValue>(ad, Ref<ByteArray>(), connection.get());
  indexed->setIndexingMode(1);
  (void)pairs->fromImage(image.get(), 0, indexed.get(), 5, 2, 1, nullptr);
  EXPECT_EQ(indexed->indexedCount(), 6);  // 1..4 stepped over, 5..6 read
  EXPECT_EQ(first(indexed->getSqlValueElements()->at(0)), 4);
  // Break element 2: a reader that steps over it again fails, one that uses the index not.
  (*image)[static_cast<int32_t>(indexed->getIndexOffset(2))] = 0;
  (void)pairs->fromImage(image.get(), 0, indexed.get(), 5, 2, 1, nullptr);
  EXPECT_EQ(first(indexed->getSqlValueElements()->at(1)), 5);
  EXPECT_EQ(codeOf([&] { (void)pairs->fromImage(image.get(), 0, nullptr, 5, 2, 1, nullptr); }),
            DriverException::ERR_INTERNAL);
}

TEST_F(CollectionTest, CollectionAttributesNestTheirImageInTheObjectImage) {
  Ref<ObjectDescriptor> holder = ObjectDescriptor::createDescriptor("S.HOLDER", connection.get());
  auto ints2 = lang::IntArray::make(2);
  (*ints2)[0] = 5;
  (*ints2)[1] = 6;
  auto value = makeRef<ObjectValue>(holder, connection.get(),
                                    lang::ObjectArray::of({makeRef<NumberValue>(1), ints2}));
  const Ref<KelvorTypeADT>& t = holder->getKelvorType();
  Ref<ByteArray> image = t->toImage(value.get());
  auto back = lang::dynamicRef<ObjectValue>(t->fromImage(image.get(), 0, nullptr, 1, nullptr));
  ASSERT_TRUE(back);
  auto c = lang::dynamicRef<ArrayValue>(Ref<lang::Object>(back->getAttributes()->at(1)));
  ASSERT_TRUE(c);
  EXPECT_EQ(ints(c->getSqlValueElements().get()), (std::vector<int32_t>{5, 6}));
  // A null collection attribute is FF, and reads back as null.
  auto nulled = makeRef<ObjectValue>(holder, connection.get(),
                                     lang::ObjectArray::of({makeRef<NumberValue>(1), nullptr}));
  Ref<ByteArray> nullImage = t->toImage(nulled.get());
  EXPECT_EQ((*nullImage)[nullImage->length() - 1] & 0xFF, 255);
  auto nullBack = lang::dynamicRef<ObjectValue>(t->fromImage(nullImage.get(), 0, nullptr, 1, nullptr));
  EXPECT_EQ(nullBack->getAttributes()->at(1), nullptr);
}

// linear := A(4) skip(2) U(4) p(1) prefix I(4) count(4) skip(1) slots
V linearNumbers(int n, bool inlineElements = true) {
  V part = ub4(n);
  part.push_back(0);
  for (int i = 1; i <= n; ++i) {
    V slot = {0};
    V form = numberForm(i * 11);
    slot.push_back(static_cast<int>(form.size()));
    append(slot, form);
    slot.resize(23, 0);
    append(part, slot);
  }
  V body = {0, 0};
  append(body, ub4(1));
  body.push_back(inlineElements ? 1 : 0);
  if (inlineElements) {
    append(body, ub4(static_cast<int64_t>(part.size())));
    append(body, part);
  }
  V image = ub4(static_cast<int64_t>(body.size()));
  append(image, body);
  return image;
}

TEST_F(CollectionTest, LinearNumberImagesReadWholeSlicedAndInBulk) {
  Ref<KelvorTypeCOLLECTION> nums = type("S.NUMS");
  V framed = linearNumbers(10);
  const int32_t length = static_cast<int32_t>(framed.size());
  framed.push_back(0x77);
  Ref<ByteArray> image = bytesOf(framed);
  EXPECT_TRUE(nums->isInlineImage(image.get()));
  auto whole = lang::dynamicRef<ArrayValue>(nums->fromImage(image.get(), 0, nullptr, 1, nullptr));
  EXPECT_EQ(whole->elementCount(), 10);
  EXPECT_EQ(ints(whole->getSqlValueElements().get())[9], 110);

  auto slice = makeRef<ArrayValue>(ArrayDescriptor::createDescriptor("S.NUMS", connection.get()),
                                   Ref<ByteArray>(), connection.get());
  slice->setIndexingMode(1);
  (void)nums->fromImage(image.get(), 0, slice.get(), 4, 2, 1, nullptr);
  EXPECT_EQ(ints(slice->getSqlValueElements().get()), (std::vector<int32_t>{44, 55}));
  EXPECT_EQ(slice->getIndexOffset(1), -1);  // fixed slots: skipped by arithmetic
  EXPECT_EQ(slice->getIndexOffset(3), -1);

  auto bulk = lang::dynamicRef<ArrayValue>(nums->fromImage(image.get(), 0, nullptr, 9, -1,
                                                            KelvorTypeNUMBER::ACCESS_LONG_ARRAY, nullptr));
  auto longs = lang::dynamicRef<lang::LongArray>(bulk->getPlatformArray());
  ASSERT_TRUE(longs);
  ASSERT_EQ(longs->length(), 2);
  EXPECT_EQ((*longs)[1], 110);
  // A slice read in count-only style reaches the range reader, which takes no style 0.
  EXPECT_EQ(codeOf([&] { (void)nums->fromImage(image.get(), 0, nullptr, 2, 1, 0, nullptr); }),
            DriverException::ERR_INTERNAL);

  UnpickleContext skip(image, 0, nullptr, nullptr, 0);
  (void)nums->unpickleLinear(skip, nullptr, KelvorTypeCOLLECTION::MODE_SKIP, 1, nullptr);
  EXPECT_EQ(skip.offset(), length);
}

TEST_F(CollectionTest, LinearNullsAndLocatorsAndTheInlineTest) {
  Ref<KelvorTypeCOLLECTION> nums = type("S.NUMS");
  V zero(12, 0);
  zero[10] = 1;  // the flag byte of a null image does not count
  EXPECT_FALSE(nums->isInlineImage(bytesOf(zero).get()));
  EXPECT_FALSE(nums->fromImage(bytesOf(zero).get(), 0, nullptr, 1, nullptr));
  Ref<ByteArray> locatorOnly = bytesOf(linearNumbers(3, false));
  EXPECT_FALSE(nums->isInlineImage(locatorOnly.get()));
  auto v = lang::dynamicRef<ArrayValue>(nums->fromImage(locatorOnly.get(), 0, nullptr, 1, nullptr));
  ASSERT_TRUE(v);
  EXPECT_FALSE(v->holdsElements());
  EXPECT_FALSE(nums->isInlineImage(nullptr));
  EXPECT_EQ(codeOf([&] { (void)nums->isInlineImage(bytesOf({0x84, 1}).get()); }),
            DriverException::ERR_INTERNAL);
}

TEST_F(CollectionTest, HostileImagesFailCleanlyBeforeAllocating) {
  Ref<KelvorTypeCOLLECTION> nums = type("S.NUMS");
  // A count of 2^31-1 elements in a 16-byte image.
  Ref<ByteArray> huge = bytesOf({0x88, 1, 0xFE, 0, 0, 0, 16, 1, 1, 0, 0xFE, 0x7F, 0xFF, 0xFF, 0xFF, 3});
  EXPECT_THROW((void)nums->fromImage(huge.get(), 0, nullptr, 1, nullptr), lang::IndexOutOfBoundsException);
  V linear = linearNumbers(2);
  linear[15] = 0x7F;  // element count's high byte
  EXPECT_THROW((void)nums->fromImage(bytesOf(linear).get(), 0, nullptr, 1, nullptr),
               lang::IndexOutOfBoundsException);
  // Every proper prefix of real images, even one that cuts only the unused tail of the last
  // number slot: the image's length says it is cut short.
  const V pickled = valuesOf(*nums->toImage(numbers("S.NUMS", {1, 22, 333}, 1).get()));
  for (const V& full : {pickled, linearNumbers(3)}) {
    for (size_t n = 1; n < full.size(); ++n) {
      Ref<ByteArray> prefix = bytesOf(V(full.begin(), full.begin() + static_cast<long>(n)));
      EXPECT_ANY_THROW((void)nums->fromImage(prefix.get(), 0, nullptr, 1, nullptr)) << n;
    }
  }
}

// A read to SQL values keeps scalar elements packed and makes their values on first access;
// the element-by-element read (taken when the target indexes) is the reference. Every length
// form, nulls both ways, and every cut of the image: the same values, or the same error from
// the read itself.
TEST_F(CollectionTest, PackedElementsReadAsTheElementReaderReadsThem) {
  Ref<KelvorTypeCOLLECTION> nums = type("S.NUMS");
  V elements = {0xFF, 0, 2, 0xC1, 0x02, 0xFE, 0, 0, 0, 2, 0xC1, 0x03, 245};
  append(elements, V(245, 0xC1));
  append(elements, {0xFE, 0, 0, 1, 0});
  append(elements, V(256, 0xC2));
  V image = {0x88, 1, 0xFE, 0, 0, 0, 0, 1, 1, 0, 6};
  append(image, elements);
  image[6] = static_cast<int>(image.size());
  auto read = [&](const V& bytes, bool indexing) {
    auto target = makeRef<ArrayValue>(ArrayDescriptor::createDescriptor("S.NUMS", connection.get()),
                                      Ref<ByteArray>(), connection.get());
    target->setIndexingMode(indexing ? 1 : 0);
    (void)nums->fromImage(bytesOf(bytes).get(), 0, target.get(), 1, nullptr);
    EXPECT_EQ(target->holdsPackedElements(), !indexing);
    return target;
  };
  Ref<lang::ObjectArray> packed = read(image, false)->getSqlValueElements();
  Ref<lang::ObjectArray> reference = read(image, true)->getSqlValueElements();
  ASSERT_EQ(packed->length(), 6);
  EXPECT_EQ(packed->at(0), nullptr);
  EXPECT_EQ(packed->at(1), nullptr);  // an empty data value is null too
  for (int32_t i = 2; i < 6; ++i) {
    ASSERT_NE(packed->at(i), nullptr) << i;
    EXPECT_TRUE(static_cast<const SqlValue*>(packed->at(i))->shareBytes()->sameContents(
        *static_cast<const SqlValue*>(reference->at(i))->shareBytes())) << i;
  }
  for (size_t n = 11; n < image.size(); ++n) {
    std::string mine = "nothing";
    std::string theirs = "nothing";
    try { (void)read(V(image.begin(), image.begin() + static_cast<long>(n)), false); }
    catch (const std::exception& e) { mine = e.what(); }
    try { (void)read(V(image.begin(), image.begin() + static_cast<long>(n)), true); }
    catch (const std::exception& e) { theirs = e.what(); }
    EXPECT_NE(mine, "nothing") << n;
    EXPECT_EQ(mine, theirs) << n;
  }
}

// A chain of `depth` collection types, each the element of the one above; NUMBER elements at
// the bottom.
V collectionChainTds(int depth) {
  V tds = tdsHeader();
  append(tds, {28});
  append(tds, ub4(18 + 10 + 1));
  append(tds, ub4(0));
  append(tds, {1, 42});
  for (int level = 1; level < depth; ++level) {
    append(tds, {28});
    append(tds, ub4(static_cast<int64_t>(tds.size()) + 9));
    append(tds, ub4(0));
    tds.push_back(1);
  }
  append(tds, {3, 10, 0});
  return tds;
}

// Hostile images of `size` bytes for that chain: each level's only real element is the level
// below, and each claims as many elements as there are bytes after its count; the bottom
// level holds nulls to the end. The pickled levels say they run to the end of the image.
std::string hostilePickledChain(int depth, int64_t size) {
  std::string image;
  for (int level = 0; level < depth; ++level) {
    const int64_t length = size - static_cast<int64_t>(image.size());
    const int64_t count = length - 15;
    for (const int64_t b : {int64_t{0x88}, int64_t{1}, int64_t{0xFE}, length >> 24, length >> 16,
                            length >> 8, length, int64_t{1}, int64_t{1}, int64_t{0}, int64_t{0xFE},
                            count >> 24, count >> 16, count >> 8, count}) {
      image.push_back(static_cast<char>(b & 0xFF));
    }
  }
  image.resize(static_cast<size_t>(size), '\xFF');
  return image;
}

std::string hostileLinearChain(int depth, int64_t size) {
  std::string image;
  const auto put4 = [&](int64_t v) {
    for (const int shift : {24, 16, 8, 0}) image.push_back(static_cast<char>((v >> shift) & 0xFF));
  };
  put4(size - 4);
  image.append({0, 0});
  put4(1);
  image.push_back(1);
  put4(size - 15);
  for (int level = 0; level < depth; ++level) {
    const int64_t left = size - static_cast<int64_t>(image.size()) - 5;
    put4(level + 1 < depth ? left : left / 23);
    image.push_back(0);
  }
  while (static_cast<int64_t>(image.size()) + 23 <= size) image.append(std::string(23, '\x01'));
  image.resize(static_cast<size_t>(size), 0);
  return image;
}

// The peak resident size in KiB of a child process that runs f, less that of one that runs
// nothing: what f itself made resident at its height.
int64_t peakKilobytesOf(const std::function<void()>& f) {
  const auto childPeak = [](const std::function<void()>& run) -> int64_t {
    const pid_t pid = fork();
    if (pid == 0) {
      try {
        run();
      } catch (...) {
      }
      _exit(0);
    }
    int status = 0;
    rusage usage{};
    if (pid < 0 || wait4(pid, &status, 0, &usage) != pid) return -1;
    return usage.ru_maxrss;
  };
  return childPeak(f) - childPeak([] {});
}

// Memory for a hostile image stays within a multiple of its size whatever the nesting: each
// level's claim is bounded by its own image's bytes, and its elements are held as they are
// read rather than allocated for the claim (which would cost 8 bytes per claimed element on
// every level at once).
TEST_F(CollectionTest, NestedClaimsCostMemoryByElementsReadNotByLevel) {
  constexpr int kDepth = 20;
  constexpr int64_t kSize = int64_t{1} << 20;
  add("S.CHAIN", collectionChainTds(kDepth), {{"", "CHAIN", "S"}});
  Ref<KelvorTypeCOLLECTION> chain = type("S.CHAIN");
  for (const std::string& image : {hostilePickledChain(kDepth, kSize), hostileLinearChain(kDepth, kSize)}) {
    const Ref<ByteArray> bytes =
        ByteArray::copyOf(reinterpret_cast<const int8_t*>(image.data()), static_cast<int32_t>(image.size()));
    EXPECT_THROW((void)chain->fromImage(bytes.get(), 0, nullptr, 1, nullptr), lang::IndexOutOfBoundsException);
    const int64_t peak = peakKilobytesOf([&] { (void)chain->fromImage(bytes.get(), 0, nullptr, 1, nullptr); });
    EXPECT_GE(peak, 0);
    EXPECT_LT(peak, 48 * kSize / 1024) << "KiB at the peak for a " << kSize << "-byte image";
  }
  // A nested image that claims more elements than its own bytes can hold is refused, though
  // the image around it has bytes enough.
  std::string image = hostilePickledChain(2, 4096);
  image[11] = image[12] = image[13] = 0;
  image[14] = 1;         // the outer image holds one element,
  image[15 + 5] = 0;
  image[15 + 6] = 40;    // the inner one is 40 bytes long: room for 25 elements, not 4066
  const Ref<ByteArray> bytes =
      ByteArray::copyOf(reinterpret_cast<const int8_t*>(image.data()), static_cast<int32_t>(image.size()));
  add("S.CHAIN2", collectionChainTds(2), {{"", "CHAIN2", "S"}});
  EXPECT_THROW((void)type("S.CHAIN2")->fromImage(bytes.get(), 0, nullptr, 1, nullptr),
               lang::IndexOutOfBoundsException);
}

TEST_F(CollectionTest, SerialFormKeepsKindMaximumAndElement) {
  Ref<KelvorTypeCOLLECTION> odd = type("S.ODD");
  auto back = lang::dynamicRef<KelvorTypeCOLLECTION>(typetest::serialCopy(odd));
  ASSERT_TRUE(back);
  EXPECT_EQ(back->getCollectionKind(), -125);
  EXPECT_EQ(back->getMaxElements(), 7);
  ASSERT_TRUE(back->getElementType());
  EXPECT_EQ(back->getElementType()->getTypeCode(), 3);
  EXPECT_EQ(back->getSqlName(), "S.ODD");
}

}  // namespace
}  // namespace kelvor::jdbc::kelcore
