// Real work through the invoker stubs only: a host creates descriptors by name with a
// connection, writes and reads images, and gets the bytes and values the C++ API gives. The
// driver's side (the connection, the values) is made in C++, as the driver outside the package
// would; everything of the package goes through the stubs.
#include <gtest/gtest.h>

#include <string>

#include "adt/KelvorTypeADT.h"
#include "catalog/AttributeType.h"
#include "catalog/MemoryCatalog.h"
#include "catalog/TypeDefinition.h"
#include "collection/KelvorTypeCOLLECTION.h"
#include "driver/ArrayDescriptor.h"
#include "driver/ArrayValue.h"
#include "driver/CharValue.h"
#include "driver/CharsetConverter.h"
#include "driver/MemoryConnection.h"
#include "driver/NumberValue.h"
#include "driver/ObjectDescriptor.h"
#include "driver/ObjectValue.h"
#include "lang/String.h"
#include "tests/host/HostFixture.h"

namespace kelvor::testhost {
namespace {

using catalog::TypeDefinition;
using jdbc::kelcore::KelvorTypeADT;
using jdbc::kelcore::KelvorTypeCOLLECTION;
using lang::makeRef;
using lang::Ref;
using T = catalog::AttributeType;

class EndToEndTest : public HostFixture {
 protected:
  void SetUp() override {
    HostFixture::SetUp();
    const TypeDefinition lines = TypeDefinition::collectionType(
        "KELCORE", "LINES", T::varcharType(60), 10, TypeDefinition::CollectionKind::BOUNDED);
    TypeDefinition address("KELCORE", "ADDRESS");
    address.addAttribute("STREET", T::varcharType(40))
        .addAttribute("NO", T::numberType(5, 0))
        .addAttribute("LINES", T::collectionAttribute(lines));
    catalog::MemoryCatalog::registerType(*conn_, address);
    catalog::MemoryCatalog::registerCollectionType(
        *conn_, TypeDefinition::collectionType("KELCORE", "NUMBERS", T::numberType(0, 0x81), 100,
                                               TypeDefinition::CollectionKind::BOUNDED));
    auto lineValues = lang::ObjectArray::of({text("Flat 2"), nullptr, text("Gr\xC3\xBCnweg")});
    address_ = makeRef<jdbc::ObjectValue>(
        jdbc::ObjectDescriptor::createDescriptor("KELCORE.ADDRESS", conn_.get()), conn_.get(),
        lang::ObjectArray::of({text("High Street"), jdbc::NumberValue::fromString("221"),
                               collection("KELCORE.LINES", lineValues)}));
    auto numbers = lang::ObjectArray::make(6);
    for (int32_t i = 0; i < 6; ++i)
      numbers->set(i, jdbc::NumberValue::fromString(std::to_string(10 * i)));
    numbers_ = collection("KELCORE.NUMBERS", numbers);
    connRef_ = vm().wrap(conn_.get());
  }

  Ref<lang::Object> text(const char* s) {
    return makeRef<jdbc::CharValue>(*lang::String::of(s),
                                    jdbc::CharsetConverter::forId(jdbc::CharsetConverter::UTF_8));
  }
  Ref<jdbc::ArrayValue> collection(const std::string& name,
                                   const Ref<lang::ObjectArray>& elements) {
    return makeRef<jdbc::ArrayValue>(jdbc::ArrayDescriptor::createDescriptor(name, conn_.get()),
                                     conn_.get(), elements.get());
  }
  // A descriptor made by name through the stubs.
  uint32_t hostDescriptor(const char* className, int32_t ctor, const char* sqlName) {
    return construct(className, ctor,
                     Slots().r(vm().newString(std::string_view(sqlName))).r(connRef_));
  }

  Ref<jdbc::MemoryConnection> conn_ = makeRef<jdbc::MemoryConnection>();
  Ref<jdbc::ObjectValue> address_;
  Ref<jdbc::ArrayValue> numbers_;
  uint32_t connRef_ = 0;
};

TEST_F(EndToEndTest, AnObjectTypeWritesAndReadsItsImagesAsTheCppApiDoes) {
  auto cpp = makeRef<KelvorTypeADT>("KELCORE.ADDRESS", conn_.get());
  const Ref<lang::ByteArray> expected = cpp->toImage(address_.get());

  const uint32_t adt =
      hostDescriptor("KelvorTypeADT", ADT_BY_NAME_WITH_CONNECTION, "KELCORE.ADDRESS");
  call("KelvorTypeADT", ADT_INIT, Slots().r(adt).r(connRef_));
  EXPECT_EQ(call("KelvorTypeADT", ADT_GET_NUM_ATTRIBUTES, Slots().r(adt)), 3u);
  const uint32_t name = callRef("KelvorTypeADT", ADT_GET_ATTRIBUTE_NAME, Slots().r(adt).i(1));
  EXPECT_EQ(vm().string(name), u"STREET");

  const uint32_t value = vm().wrap(address_.get());
  const uint32_t image = callRef("KelvorTypeADT", ADT_TO_IMAGE, Slots().r(adt).r(value));
  EXPECT_EQ(vm().bytes(image), toVector(*expected));

  for (const int32_t style : {STYLE_SQL_VALUE, STYLE_PLATFORM_OBJECT}) {
    SCOPED_TRACE(style);
    const uint32_t read =
        callRef("KelvorTypeADT", ADT_FROM_IMAGE, Slots().r(adt).r(image).l(0).r(0).i(style).r(0));
    const Ref<lang::Object> want = cpp->fromImage(expected.get(), 0, nullptr, style, nullptr);
    ASSERT_NE(vm().unwrap(read), nullptr);
    EXPECT_TRUE(vm().unwrap(read)->equals(want.get())) << vm().unwrap(read)->toString();
  }

  // A linear image of the same value reads back to the same value.
  expectLinearReadAgrees(adt, *cpp, address_.get());
}

TEST_F(EndToEndTest, ObjectsKeepTheirHostIdentity) {
  const uint32_t adt =
      hostDescriptor("KelvorTypeADT", ADT_BY_NAME_WITH_CONNECTION, "KELCORE.ADDRESS");
  call("KelvorTypeADT", ADT_INIT, Slots().r(adt).r(connRef_));
  const uint32_t lines = callRef("KelvorTypeADT", ADT_GET_ATTRIBUTE_TYPE, Slots().r(adt).i(2));
  EXPECT_NE(lines, 0u);
  EXPECT_EQ(callRef("KelvorTypeADT", ADT_GET_ATTRIBUTE_TYPE, Slots().r(adt).i(2)), lines);
  EXPECT_EQ(vm().classNameOf(lines), "KelvorTypeUPT");  // a collection attribute
  // The connection the host bridged comes back as the host's own reference.
  EXPECT_EQ(callRef("KelvorNamedType", NAMED_GET_CONNECTION, Slots().r(adt)), connRef_);
}

TEST_F(EndToEndTest, ACollectionSliceReadsAsTheCppApiReadsIt) {
  auto cpp = makeRef<KelvorTypeCOLLECTION>("KELCORE.NUMBERS", conn_.get());
  const Ref<lang::ByteArray> expected = cpp->toImage(numbers_.get());

  const uint32_t coll =
      hostDescriptor("KelvorTypeCOLLECTION", COLLECTION_BY_NAME, "KELCORE.NUMBERS");
  // toImage is KelvorNamedType's virtual method; the host reaches the override through it.
  const uint32_t image =
      callRef("KelvorNamedType", NAMED_TO_IMAGE, Slots().r(coll).r(vm().wrap(numbers_.get())));
  EXPECT_EQ(vm().bytes(image), toVector(*expected));

  const uint32_t slice =
      callRef("KelvorTypeCOLLECTION", COLLECTION_FROM_IMAGE_SLICE,
              Slots().r(coll).r(image).l(0).r(0).l(2).i(3).i(STYLE_SQL_VALUE).r(0));
  const Ref<lang::Object> want =
      cpp->fromImage(expected.get(), 0, nullptr, 2, 3, STYLE_SQL_VALUE, nullptr);
  ASSERT_NE(vm().unwrap(slice), nullptr);
  EXPECT_TRUE(vm().unwrap(slice)->equals(want.get())) << vm().unwrap(slice)->toString();
}

TEST_F(EndToEndTest, AMalformedTypeDescriptorSegmentArrivesAsDriverError47) {
  jdbc::MemoryConnection::TypeInfo info;
  info.tds = lang::ByteArray::of({38, 1, 0, 0, 0, 9, 0, 1, 0, 1, 41, 99, 99});
  info.typeId = catalog::MemoryCatalog::typeIdOf("KELCORE.BROKEN");
  conn_->addType("KELCORE.BROKEN", std::move(info));
  const uint32_t adt =
      hostDescriptor("KelvorTypeADT", ADT_BY_NAME_WITH_CONNECTION, "KELCORE.BROKEN");
  uint64_t result[2] = {~0ull, ~0ull};
  EXPECT_EQ(vm().invoke("KelvorTypeADT", ADT_INIT, Slots().r(adt).r(connRef_)), 1);
  EXPECT_EQ(vm().pendingClass(), "DriverException");
  EXPECT_EQ(vm().pendingCode(), 47);
  vm().clearPending();
  EXPECT_EQ(vm().invoke("KelvorTypeADT", ADT_GET_NUM_ATTRIBUTES, Slots().r(adt), result), 1);
  EXPECT_EQ(vm().pendingCode(), 47);
  EXPECT_EQ(result[0], 0u);
}

}  // namespace
}  // namespace kelvor::testhost
