#include "adt/KelvorTypeADT.h"

#include <gtest/gtest.h>

#include <vector>

#include "adt/StreamInfo.h"
#include "driver/DriverException.h"
#include "driver/MemoryConnection.h"
#include "driver/ObjectDescriptor.h"
#include "driver/ObjectValue.h"
#include "driver/RawValue.h"
#include "lang/ByteArrayInputStream.h"
#include "lang/ByteArrayOutputStream.h"
#include "lang/ObjectInputStream.h"
#include "lang/ObjectOutputStream.h"
#include "scalar/KelvorTypeCHAR.h"
#include "scalar/KelvorTypeDATE.h"
#include "scalar/KelvorTypeNUMBER.h"
#include "tests/types/TypeTestSupport.h"
#include "types/KelvorTypeREF.h"

namespace kelvor::jdbc::kelcore {
namespace {

using lang::ByteArray;
using lang::makeRef;
using typetest::bytesOf;
using typetest::codeOf;

// header := skip(4) 26 version skip(2) count(2) flag 29 00 00 skip(4)
std::vector<int> header(int layoutCount = 0, int version = 3) {
  return {0, 0, 0, 0, 38, version, 0, 0, layoutCount >> 8, layoutCount & 0xFF, 0, 41, 0, 0,
          0, 0, 0, 0};
}

Ref<ByteArray> tdsOf(const std::vector<int>& attributes, int layoutCount = 0) {
  std::vector<int> all = header(layoutCount);
  all.insert(all.end(), attributes.begin(), attributes.end());
  return bytesOf(all);
}

Ref<KelvorTypeADT> parsed(const std::vector<int>& attributes) {
  auto t = makeRef<KelvorTypeADT>("S.T");
  t->parseTDS(tdsOf(attributes), 0);
  return t;
}

KelvorType* attr(KelvorTypeADT& t, int32_t i) { return t.getAttributeType(i).get(); }

TEST(KelvorTypeADTParseTest, NumbersDescriptorsInParseOrder) {
  // DATE, NUMBER(10, 2), end
  auto t = parsed({2, 3, 10, 2, 40});
  ASSERT_EQ(t->getNumAttributes(), 2);
  EXPECT_EQ(t->getNullIndex(), 0);
  EXPECT_EQ(t->getOffsetIndex(), 0);
  EXPECT_EQ(t->getTypeVersion(), 3);
  auto* date = dynamic_cast<KelvorTypeDATE*>(attr(*t, 0));
  auto* number = dynamic_cast<KelvorTypeNUMBER*>(attr(*t, 1));
  ASSERT_TRUE(date && number);
  EXPECT_EQ(date->getNullIndex(), 1);
  EXPECT_EQ(date->getOffsetIndex(), 0);
  EXPECT_EQ(number->getNullIndex(), 2);
  EXPECT_EQ(number->getOffsetIndex(), 1);
  EXPECT_EQ(number->getPrecision(), 10);
  EXPECT_EQ(number->getScale(), 2);
  EXPECT_EQ(number->getTypeCode(), 3);
  EXPECT_EQ(t->getTypeCode(), 2002);
  EXPECT_EQ(t->getLastOpcode(), 40);

  EXPECT_EQ(parsed({40})->getNumAttributes(), 0);
  EXPECT_EQ(parsed({4, 0, 0, 6, 0, 0, 40})->getAttributeType(1)->getTypeCode(), 2);
}

TEST(KelvorTypeADTParseTest, EmbeddedObjectParsesItsOwnListUnderTheParent) {
  // 39 { CHAR(20, form 1, charset 1) 40 } NUMBER 40
  auto t = parsed({39, 1, 0, 20, 1, 0, 1, 40, 3, 5, 0, 40});
  ASSERT_EQ(t->getNumAttributes(), 2);
  auto* embedded = dynamic_cast<KelvorTypeADT*>(attr(*t, 0));
  ASSERT_NE(embedded, nullptr);
  EXPECT_TRUE(embedded->isEmbedded());
  EXPECT_EQ(embedded->getParent(), t.get());
  EXPECT_EQ(embedded->getParentIndex(), 1);
  EXPECT_EQ(embedded->getNullIndex(), 1);
  ASSERT_EQ(embedded->getNumAttributes(), 1);
  auto* text = dynamic_cast<KelvorTypeCHAR*>(embedded->getAttributeType(0).get());
  ASSERT_NE(text, nullptr);
  EXPECT_EQ(text->getMaxLength(), 20);
  EXPECT_EQ(text->getNullIndex(), 2);
  EXPECT_EQ(text->getOffsetIndex(), 0);
  // numbering goes on after the embedded list
  EXPECT_EQ(attr(*t, 1)->getNullIndex(), 3);
  EXPECT_EQ(attr(*t, 1)->getOffsetIndex(), 1);
}

TEST(KelvorTypeADTParseTest, RefAttributeHangsUnderItsParent) {
  auto t = parsed({8, 9, 40});
  auto* ref = dynamic_cast<KelvorTypeREF*>(attr(*t, 1));
  ASSERT_NE(ref, nullptr);
  EXPECT_EQ(ref->getParent(), t.get());
  EXPECT_EQ(ref->getParentIndex(), 2);
  EXPECT_FALSE(ref->isSqlNameKnown());
  EXPECT_FALSE(ref->getSqlName(false).has_value());
  // The parent has no connection to fetch names with.
  EXPECT_THROW((void)ref->getSqlName(), lang::NullPointerException);
  EXPECT_FALSE(ref->isSqlNameKnown());
}

TEST(KelvorTypeADTParseTest, MalformedSegmentsFailWithTheirCodesAndCanBeParsedAgain) {
  struct Case {
    std::vector<int> bytes;
    int32_t code;
  };
  std::vector<int> badMark = header();
  badMark[4] = 37;
  std::vector<int> badList = header();
  badList[11] = 40;
  std::vector<int> nonZero = header();
  nonZero[13] = 1;
  const std::vector<Case> cases = {
      {badMark, DriverException::ERR_TDS_FORMAT},
      {badList, DriverException::ERR_TDS_FORMAT},
      {nonZero, DriverException::ERR_TDS_FORMAT},
  };
  for (const Case& c : cases) {
    auto t = makeRef<KelvorTypeADT>("S.T");
    EXPECT_EQ(codeOf([&] { t->parseTDS(bytesOf(c.bytes), 0); }), c.code);
  }
  for (int opcode : {0, 10, 18, 20, 26, 32, 38, 41, 43, 127, -1}) {
    auto t = makeRef<KelvorTypeADT>("S.T");
    EXPECT_EQ(codeOf([&] { t->parseTDS(tdsOf({opcode}), 0); }), DriverException::ERR_TDS_OPCODE)
        << opcode;
  }
  // A list without its end opcode, and an operand cut short.
  auto t = makeRef<KelvorTypeADT>("S.T");
  EXPECT_EQ(codeOf([&] { t->parseTDS(tdsOf({2, 2}), 0); }), DriverException::ERR_INTERNAL);
  EXPECT_THROW(t->parseTDS(tdsOf({3, 10}), 0), lang::IndexOutOfBoundsException);
  EXPECT_FALSE(t->parsedAttributeTypes());
  t->parseTDS(tdsOf({2, 40}), 0);  // a failed parse leaves the type to be parsed again
  EXPECT_EQ(t->getNumAttributes(), 1);
  t->parseTDS(tdsOf({2, 2, 40}), 0);  // and a parsed type is never parsed twice
  EXPECT_EQ(t->getNumAttributes(), 1);
}

TEST(KelvorTypeADTParseTest, EveryPrefixOfASegmentFailsCleanly) {
  const Ref<ByteArray> whole = tdsOf({39, 1, 0, 20, 1, 0, 1, 40, 3, 5, 0, 19, 0, 8, 40});
  for (int32_t n = 0; n < whole->length(); ++n) {
    auto t = makeRef<KelvorTypeADT>("S.T");
    auto prefix = ByteArray::copyOf(whole->data(), n);
    try {
      t->parseTDS(prefix, 0);
      ADD_FAILURE() << "prefix of " << n << " bytes parsed";
    } catch (const DriverException&) {
    } catch (const lang::IndexOutOfBoundsException&) {
    }
  }
}

TEST(KelvorTypeADTParseTest, DeeplyNestedEmbeddedTypesFailWithStackOverflow) {
  std::vector<int> nested(5000, 39);
  auto t = makeRef<KelvorTypeADT>("S.T");
  EXPECT_EQ(codeOf([&] { t->parseTDS(tdsOf(nested), 0); }), DriverException::ERR_STACK_OVERFLOW);
}

TEST(KelvorTypeADTParseTest, ComputesTheLayoutOfEmbeddedTypesFromTheFormatDescriptor) {
  // Format descriptor: d[5] = 0, entries at 6 + k. Entry 5 (default): size 4, align 4;
  // entry 11 (date): size 8, align 8; entry 12 (number): size 22, align 1 (mask 0).
  auto fd = ByteArray::make(6 + 13);
  (*fd)[6 + 5] = static_cast<int8_t>((4 << 3) | 3);
  (*fd)[6 + 11] = static_cast<int8_t>((8 << 3) | 7);
  (*fd)[6 + 12] = static_cast<int8_t>((22 << 3) | 0);
  auto t = makeRef<KelvorTypeADT>("S.T", nullptr, fd);
  t->setEmbeddedState(KelvorTypeADT::EMBEDDED_TYPE);
  // NUMBER, 39 { SINT32, DATE } , SINT32
  t->parseTDS(tdsOf({3, 1, 0, 39, 8, 2, 40, 8, 40}), 0);
  const std::vector<int64_t> offsets = t->computeLayout();
  // NUMBER at 0 (22 bytes); the embedded object aligns to 8: SINT32 at 24, DATE at 32 and is
  // 16 bytes; the last SINT32 at 40; 44 rounded up to 8.
  EXPECT_EQ(offsets, (std::vector<int64_t>{0, 24, 32, 40}));
  EXPECT_EQ(t->getLinearImageSize(), 48);
  EXPECT_EQ(t->getMaxAlignment(), 7);
}

class KelvorTypeADTConnectionTest : public ::testing::Test {
 protected:
  void SetUp() override {
    connection = makeRef<MemoryConnection>();
    MemoryConnection::TypeInfo info;
    info.tds = tdsOf({2, 3, 10, 2, 9, 40}, 3);
    info.typeId = bytesOf({1, 2, 3});
    info.version = 3;  // the segment's own version byte says the same
    info.layout = bytesOf({0, 0, 0, 0, 0, 0, 0, 40, 0, 0, 0, 0, 0, 0, 0, 8, 0, 0, 0, 32});
    info.attributes = {{"BORN", "DATE", "SYS"}, {"SALARY", "NUMBER", "SYS"},
                       {"BOSS", "PERSON", "HR"}};
    info.typeProperty = 99;
    connection->addType("HR.PERSON", info);
    connection->setServerFormatDescriptor(bytesOf(std::vector<int>(32, 0)));
  }

  Ref<MemoryConnection> connection;
};

TEST_F(KelvorTypeADTConnectionTest, FetchesAndParsesOnceOnFirstUse) {
  auto t = makeRef<KelvorTypeADT>("HR.PERSON", connection.get());
  EXPECT_EQ(connection->typeInfoCalls(), 0);
  EXPECT_EQ(t->getNumAttributes(), 3);
  EXPECT_EQ(connection->typeInfoCalls(), 1);
  EXPECT_EQ(t->getTypeVersion(), 3);
  EXPECT_EQ(t->getLayoutOffsetCount(), 3);
  EXPECT_TRUE(t->getTypeId()->sameContents(*bytesOf({1, 2, 3})));
  EXPECT_TRUE(connection->getFormatDescriptor());  // the server's, handed to the connection
  t->init(connection.get());
  EXPECT_EQ(connection->typeInfoCalls(), 1);
  EXPECT_EQ(t->getTypeProperty(), 99);

  const Ref<lang::LongArray> offsets = t->getAttributeOffsets();
  ASSERT_TRUE(offsets);
  EXPECT_EQ(std::vector<int64_t>(offsets->data(), offsets->data() + offsets->length()),
            (std::vector<int64_t>{0, 8, 32}));
  EXPECT_EQ(t->getLinearImageSize(), 40);
}

TEST_F(KelvorTypeADTConnectionTest, NamesComeFromTheDictionaryOnDemand) {
  auto t = makeRef<KelvorTypeADT>("HR.PERSON", connection.get());
  EXPECT_FALSE(t->getAttributeName(1, false).has_value());
  EXPECT_EQ(connection->dictionaryQueries(), 0);
  EXPECT_EQ(t->getAttributeName(3), "BOSS");
  EXPECT_EQ(t->getAttributeTypeName(2), "SYS.NUMBER");
  EXPECT_EQ(t->getAttributeTypeName(3, false), "HR.PERSON");
  EXPECT_EQ(connection->dictionaryQueries(), 1);
  for (int32_t bad : {0, -1, 4}) {
    EXPECT_EQ(codeOf([&] { (void)t->getAttributeName(bad); }), DriverException::ERR_INTERNAL);
  }
  // The REF child asks its parent for its type name once, then knows it.
  auto* ref = dynamic_cast<KelvorTypeREF*>(t->getAttributeType(2).get());
  ASSERT_NE(ref, nullptr);
  EXPECT_EQ(ref->getTypeName(), "PERSON");
  EXPECT_EQ(ref->getSchemaName(), "HR");
  EXPECT_TRUE(ref->isSqlNameKnown());
}

TEST_F(KelvorTypeADTConnectionTest, FactoryCachesOneDescriptorPerNameAndRefsReachIt) {
  auto od = ObjectDescriptor::createDescriptor("HR.PERSON", connection.get());
  EXPECT_EQ(ObjectDescriptor::createDescriptor("HR.PERSON", connection.get()).get(), od.get());
  EXPECT_EQ(connection->typeInfoCalls(), 1);
  auto* ref = dynamic_cast<KelvorTypeREF*>(od->getKelvorType()->getAttributeType(2).get());
  ASSERT_NE(ref, nullptr);
  // Before the names are known the REF builds an unnamed type under the same parent...
  auto unnamed = ref->getObjectDescriptor();
  EXPECT_NE(unnamed.get(), od.get());
  EXPECT_EQ(unnamed->getKelvorType()->getParent(), od->getKelvorType().get());
  EXPECT_EQ(unnamed->getKelvorType()->getParentIndex(), 3);
  EXPECT_EQ(unnamed->getName(), "HR.PERSON");  // which asks the parent for its name
  // ...after them, a REF to its own type reaches the cached descriptor.
  auto* named = dynamic_cast<KelvorTypeREF*>(
      ObjectDescriptor::createDescriptor("HR.PERSON", connection.get())->getKelvorType()
          ->getAttributeType(2).get());
  named->setDescriptor(nullptr);
  EXPECT_EQ(named->getObjectDescriptor().get(), od.get());

  // A second type object of the same name copies the cached one instead of calling again.
  auto again = makeRef<KelvorTypeADT>("HR.PERSON", connection.get());
  EXPECT_EQ(again->getNumAttributes(), 3);
  EXPECT_EQ(connection->typeInfoCalls(), 1);
}

TEST_F(KelvorTypeADTConnectionTest, UnknownTypesAndMissingFormatsFail) {
  auto missing = makeRef<KelvorTypeADT>("HR.NOBODY", connection.get());
  EXPECT_EQ(codeOf([&] { (void)missing->getNumAttributes(); }), DriverException::ERR_TYPE_INFO);
  connection->setServerFormatDescriptor(nullptr);
  auto t = makeRef<KelvorTypeADT>("HR.PERSON", connection.get());
  EXPECT_EQ(codeOf([&] { (void)t->getNumAttributes(); }), DriverException::ERR_INTERNAL);
}

TEST_F(KelvorTypeADTConnectionTest, ObjectArraysConvertToObjectValues) {
  auto t = ObjectDescriptor::createDescriptor("HR.PERSON", connection.get())->getKelvorType();
  auto values = lang::ObjectArray::of({nullptr, lang::String::of("12.5"), nullptr});
  Ref<SqlValue> v = t->toSqlValue(values.get(), connection.get());
  auto* object = dynamic_cast<ObjectValue*>(v.get());
  ASSERT_NE(object, nullptr);
  EXPECT_EQ(object->getAttributes()->length(), 3);
  EXPECT_NE(object->getAttributes()->at(1), nullptr);
  EXPECT_EQ(t->toSqlValue(v.get(), connection.get()).get(), v.get());
  auto tooShort = lang::ObjectArray::of({nullptr});
  EXPECT_EQ(codeOf([&] { (void)t->toSqlValue(tooShort.get(), connection.get()); }),
            DriverException::ERR_INVALID_ARGUMENT);
  auto text = lang::String::of("x");
  EXPECT_EQ(codeOf([&] { (void)t->toSqlValue(text.get(), connection.get()); }),
            DriverException::ERR_CONVERSION);
}

TEST_F(KelvorTypeADTConnectionTest, SerialFormRestoresTheTreeWithoutAFetch) {
  auto t = makeRef<KelvorTypeADT>("HR.PERSON", connection.get());
  (void)t->getAttributeName(1);
  auto copy = lang::dynamicRef<KelvorTypeADT>(typetest::serialCopy(t));
  ASSERT_TRUE(copy);
  EXPECT_EQ(copy->getSqlName(), "HR.PERSON");
  EXPECT_EQ(copy->getParentIndex(), -1);
  EXPECT_EQ(copy->getNumAttributes(), 3);
  EXPECT_EQ(copy->getAttributeName(2), "SALARY");
  EXPECT_EQ(copy->getTypeVersion(), 3);
  auto* number = dynamic_cast<KelvorTypeNUMBER*>(copy->getAttributeType(1).get());
  ASSERT_NE(number, nullptr);
  EXPECT_EQ(number->getPrecision(), 10);
  EXPECT_EQ(number->getNullIndex(), 2);
}

TEST_F(KelvorTypeADTConnectionTest, CopyTypeTakesTheParsedTreeAndCopyFromOnlyTheIdentity) {
  auto t = makeRef<KelvorTypeADT>("HR.PERSON", connection.get());
  (void)t->getAttributeOffsets();
  (void)t->getAttributeName(1);
  const int32_t calls = connection->typeInfoCalls();

  Ref<KelvorTypeADT> whole = KelvorTypeADT::copyOf(*t);
  EXPECT_TRUE(whole->isParsed());
  EXPECT_EQ(whole->parsedAttributeTypes().get(), t->parsedAttributeTypes().get());
  EXPECT_EQ(whole->getAttributeOffsets().get(), t->getAttributeOffsets().get());
  EXPECT_EQ(whole->getLinearImageSize(), 40);
  EXPECT_EQ(whole->getAttributeName(3), "BOSS");
  EXPECT_EQ(whole->getSqlName(), "HR.PERSON");
  EXPECT_EQ(whole->getTypeProperty(), 99);
  EXPECT_EQ(connection->typeInfoCalls(), calls);

  auto identity = makeRef<KelvorTypeADT>();
  identity->copyFrom(*t);
  EXPECT_EQ(identity->getSqlName(), "HR.PERSON");
  EXPECT_EQ(identity->getTypeVersion(), 3);
  EXPECT_EQ(identity->getTypeId().get(), t->getTypeId().get());
  EXPECT_FALSE(identity->isParsed());  // the list stays with the type it was parsed for
  EXPECT_FALSE(identity->parsedAttributeTypes());
  EXPECT_EQ(identity->getLayoutOffsetCount(), 0);
}

}  // namespace
}  // namespace kelvor::jdbc::kelcore
