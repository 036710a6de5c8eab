// The host hands the package a connection of its own: a host class whose services are host
// methods, some with native code and some interpreted, serving types from the host's side.
// Descriptors are made, written and read through the stubs, and every service the descriptors
// use is a call into the host through the link-table protocol.
#include <gtest/gtest.h>

#include <map>
#include <string>
#include <thread>

#include "adt/KelvorTypeADT.h"
#include "binding/HostConnection.h"
#include "binding/HostTypeMap.h"
#include "catalog/AttributeType.h"
#include "catalog/MemoryCatalog.h"
#include "catalog/TypeDefinition.h"
#include "collection/KelvorTypeCOLLECTION.h"
#include "driver/ArrayDescriptor.h"
#include "driver/ArrayValue.h"
#include "driver/CharValue.h"
#include "driver/CharsetConverter.h"
#include "driver/DriverException.h"
#include "driver/MemoryConnection.h"
#include "driver/NumberValue.h"
#include "driver/ObjectDescriptor.h"
#include "driver/ObjectValue.h"
#include "host/HostServices.h"
#include "lang/String.h"
#include "tests/host/HostCalls.h"
#include "tests/host/HostFixture.h"

namespace kelvor::testhost {
namespace {

using catalog::TypeDefinition;
using jdbc::kelcore::KelvorTypeADT;
using jdbc::kelcore::KelvorTypeCOLLECTION;
using lang::makeRef;
using lang::Ref;
using T = catalog::AttributeType;

// The host's side of its connection: the server's catalog, its descriptor cache and format
// descriptor, and switches that make a service raise.
struct HostServer {
  Ref<jdbc::MemoryConnection> catalog = makeRef<jdbc::MemoryConnection>();
  std::map<std::string, uint32_t> cache;
  uint32_t formatDescriptor = 0;
  bool typeInfoRaises = false;
  bool putRaises = false;
  uint32_t raised = 0;  // the exception a service raised last
  int32_t typeInfoCalls = 0;
  // The host's type map: which names it has asked about, and what create made last.
  int32_t hasFactoryCalls = 0;
  int32_t created = 0;
  uint32_t lastCreated = 0;
};
HostServer* server = nullptr;

std::string text(TestVm& vm, uint32_t ref) {
  if (ref == 0) return "";
  const std::u16string s = vm.string(ref);
  return std::string(s.begin(), s.end());
}
uint32_t argRef(const uint64_t* args, int i) { return static_cast<uint32_t>(args[i] >> 32); }
void raiseFrom(TestVm& vm, int32_t code) {
  vm.raise("IOException", code);
  server->raised = vm.pending();
}

// Native services: compiled-method signature.
uint32_t typeInfo(uintptr_t env, uintptr_t, uint32_t, uint32_t, uint32_t schema, uint32_t type,
                  uint32_t withFormat) {
  TestVm& vm = TestVm::of(env);
  ++server->typeInfoCalls;
  if (server->typeInfoRaises) {
    raiseFrom(vm, 99);
    return 0;
  }
  std::lock_guard lock(server->catalog->lock());
  const auto* info = server->catalog->findType(text(vm, schema) + "." + text(vm, type));
  if (info == nullptr) return 0;
  auto bytes = [&](const Ref<lang::ByteArray>& a) { return a ? vm.newBytes(toVector(*a)) : 0; };
  const uint32_t version = vm.newPrimitiveArray(host::T_INT, 1);
  vm.write32(version, host::OFFSET_ELEMENTS, static_cast<uint32_t>(info->version));
  const uint32_t parts[5] = {bytes(info->typeId), version, bytes(info->tds), bytes(info->layout),
                             withFormat != 0 ? bytes(server->catalog->getFormatDescriptor()) : 0};
  const uint32_t out = vm.newObjectArray(vm.classNamed("Object"), 5);
  for (uint32_t i = 0; i < 5; ++i) vm.write32(out, host::OFFSET_ELEMENTS + 4 * i, parts[i]);
  return out;
}
uint32_t getDescriptor(uintptr_t env, uintptr_t, uint32_t, uint32_t, uint32_t name) {
  auto it = server->cache.find(text(TestVm::of(env), name));
  return it == server->cache.end() ? 0 : it->second;
}
uint32_t getFormat(uintptr_t, uintptr_t, uint32_t, uint32_t) { return server->formatDescriptor; }
uint32_t charset(uintptr_t, uintptr_t, uint32_t, uint32_t) { return 106; }

// Interpreted services: argument slots in, result slots out.
void attributeNames(TestVm& vm, const uint64_t* args, uint64_t* result) {
  std::lock_guard lock(server->catalog->lock());
  const auto* info =
      server->catalog->findType(text(vm, argRef(args, 1)) + "." + text(vm, argRef(args, 2)));
  const int32_t n = info == nullptr ? 0 : static_cast<int32_t>(info->attributes.size());
  const uint32_t out = vm.newObjectArray(vm.classNamed("String"), 3 * n);
  for (int32_t i = 0; i < n; ++i) {
    const auto& row = info->attributes[static_cast<size_t>(i)];
    const uint32_t cells[3] = {vm.newString(std::string_view(row.name)),
                               vm.newString(std::string_view(row.typeName)),
                               vm.newString(std::string_view(row.typeSchema))};
    for (uint32_t c = 0; c < 3; ++c)
      vm.write32(out, host::OFFSET_ELEMENTS + 4 * (3 * static_cast<uint32_t>(i) + c), cells[c]);
  }
  result[0] = uint64_t{out} << 32;
}
void putDescriptor(TestVm& vm, const uint64_t* args, uint64_t*) {
  if (server->putRaises) return raiseFrom(vm, 98);
  server->cache[text(vm, argRef(args, 1))] = argRef(args, 2);
}
void setFormat(TestVm&, const uint64_t* args, uint64_t*) {
  server->formatDescriptor = argRef(args, 1);
}
void typeProperty(TestVm&, const uint64_t*, uint64_t* result) {
  const uint64_t v = 0x100000001ULL;
  result[0] = v & 0xFFFFFFFFu;
  result[1] = v >> 32;
}

// The host's type map: a factory for KELCORE.ADDRESS only (native); create is interpreted and
// makes an application object that records how many attributes it was given.
uint32_t hasFactory(uintptr_t env, uintptr_t, uint32_t, uint32_t, uint32_t name) {
  ++server->hasFactoryCalls;
  return text(TestVm::of(env), name) == "KELCORE.ADDRESS" ? 1 : 0;
}
void create(TestVm& vm, const uint64_t* args, uint64_t* result) {
  const uint32_t attributes = argRef(args, 2);
  const uint32_t made = vm.newInstance(vm.classNamed("HostAddress"));
  vm.write32(made, 32, vm.read32(attributes, host::OFFSET_LENGTH));
  ++server->created;
  server->lastCreated = made;
  result[0] = uint64_t{made} << 32;
}

class HostConnectionTest : public HostFixture {
 protected:
  void SetUp() override {
    HostFixture::SetUp();
    server = &server_;
    HostCalls& h = HostCalls::of(vm());
    const uint32_t cls =
        h.defineClass("TestConnection", "Connection",
                      2 * (host::CONNECTION_FIRST_POSITION + host::CONNECTION_SERVICES));
    auto native = [](auto* f) { return reinterpret_cast<void*>(f); };
    const host::ServiceShape* s = host::CONNECTION_SERVICE_SHAPES;
    h.addMethod(cls, s[0].name, s[0].slots, s[0].result, native(&typeInfo));
    h.addMethod(cls, s[1].name, s[1].slots, s[1].result, nullptr, &attributeNames);
    h.addMethod(cls, s[2].name, s[2].slots, s[2].result, native(&getDescriptor));
    h.addMethod(cls, s[3].name, s[3].slots, s[3].result, nullptr, &putDescriptor);
    h.addMethod(cls, s[4].name, s[4].slots, s[4].result, native(&getFormat));
    h.addMethod(cls, s[5].name, s[5].slots, s[5].result, nullptr, &setFormat);
    h.addMethod(cls, s[6].name, s[6].slots, s[6].result, nullptr, &typeProperty);
    h.addMethod(cls, s[7].name, s[7].slots, s[7].result, native(&charset));
    connRef_ = vm().newInstance(cls);
    const uint32_t mapClass =
        h.defineClass("AddressMap", "TypeMap", 2 * (host::TYPE_MAP_FIRST_POSITION + 2));
    h.addMethod(mapClass, "hasFactory", "RR", 'I', native(&hasFactory));
    h.addMethod(mapClass, "create", "RRR", 'L', nullptr, &create);
    h.defineClass("HostAddress", "Object", 0);
    mapRef_ = vm().newInstance(mapClass);

    const TypeDefinition lines = TypeDefinition::collectionType(
        "KELCORE", "LINES", T::varcharType(60), 10, TypeDefinition::CollectionKind::BOUNDED);
    TypeDefinition address("KELCORE", "ADDRESS");
    address.addAttribute("STREET", T::varcharType(40))
        .addAttribute("NO", T::numberType(5, 0))
        .addAttribute("LINES", T::collectionAttribute(lines));
    catalog::MemoryCatalog::registerType(*server_.catalog, address);
    TypeDefinition person("KELCORE", "PERSON");
    person.addAttribute("NAME", T::varcharType(40)).addAttribute("HOME", T::embeddedType(address));
    catalog::MemoryCatalog::registerType(*server_.catalog, person);
    catalog::MemoryCatalog::registerCollectionType(
        *server_.catalog,
        TypeDefinition::collectionType("KELCORE", "NUMBERS", T::numberType(0, 0x81), 100,
                                       TypeDefinition::CollectionKind::BOUNDED));
    Ref<jdbc::MemoryConnection> c = server_.catalog;
    auto lineValues =
        lang::ObjectArray::of({textValue("Flat 2"), nullptr, textValue("Gr\xC3\xBCnweg")});
    address_ = makeRef<jdbc::ObjectValue>(
        jdbc::ObjectDescriptor::createDescriptor("KELCORE.ADDRESS", c.get()), c.get(),
        lang::ObjectArray::of({textValue("High Street"), jdbc::NumberValue::fromString("221"),
                               makeRef<jdbc::ArrayValue>(jdbc::ArrayDescriptor::createDescriptor(
                                                             "KELCORE.LINES", c.get()),
                                                         c.get(), lineValues.get())}));
    auto numbers = lang::ObjectArray::make(6);
    for (int32_t i = 0; i < 6; ++i)
      numbers->set(i, jdbc::NumberValue::fromString(std::to_string(10 * i)));
    person_ = makeRef<jdbc::ObjectValue>(
        jdbc::ObjectDescriptor::createDescriptor("KELCORE.PERSON", c.get()), c.get(),
        lang::ObjectArray::of({textValue("Ada"), address_}));
    numbers_ = makeRef<jdbc::ArrayValue>(
        jdbc::ArrayDescriptor::createDescriptor("KELCORE.NUMBERS", c.get()), c.get(),
        numbers.get());
  }
  void TearDown() override {
    HostCalls::forget(vm());
    HostFixture::TearDown();
    server = nullptr;
  }

  Ref<lang::Object> textValue(const char* s) {
    return makeRef<jdbc::CharValue>(*lang::String::of(s),
                                    jdbc::CharsetConverter::forId(jdbc::CharsetConverter::UTF_8));
  }
  uint32_t describe(const char* className, int32_t ctor, const char* sqlName) {
    return construct(className, ctor,
                     Slots().r(vm().newString(std::string_view(sqlName))).r(connRef_));
  }
  HostCalls& calls() { return HostCalls::of(vm()); }

  HostServer server_;
  uint32_t connRef_ = 0;
  uint32_t mapRef_ = 0;
  Ref<jdbc::ObjectValue> address_;
  Ref<jdbc::ObjectValue> person_;
  Ref<jdbc::ArrayValue> numbers_;
};

TEST_F(HostConnectionTest, ObjectTypeIsDescribedWrittenAndReadThroughTheHostConnection) {
  auto cpp = makeRef<KelvorTypeADT>("KELCORE.ADDRESS", server_.catalog.get());
  const Ref<lang::ByteArray> expected = cpp->toImage(address_.get());

  const uint32_t adt = describe("KelvorTypeADT", ADT_BY_NAME_WITH_CONNECTION, "KELCORE.ADDRESS");
  auto* conn = dynamic_cast<binding::HostConnection*>(vm().unwrap(connRef_));
  ASSERT_NE(conn, nullptr);  // the host's object was adopted
  call("KelvorTypeADT", ADT_INIT, Slots().r(adt).r(connRef_));
  EXPECT_EQ(server_.typeInfoCalls, 1);
  EXPECT_NE(server_.formatDescriptor, 0u);  // the server's format descriptor, stored in the host
  EXPECT_EQ(call("KelvorTypeADT", ADT_GET_NUM_ATTRIBUTES, Slots().r(adt)), 3u);
  EXPECT_EQ(vm().string(callRef("KelvorTypeADT", ADT_GET_ATTRIBUTE_NAME, Slots().r(adt).i(3))),
            u"LINES");

  // The driver's descriptor of the type lands in the host's cache, as the host's reference.
  EXPECT_TRUE(server_.cache.empty());
  const uint32_t descriptor = callRef("KelvorTypeADT", ADT_GET_OBJECT_DESCRIPTOR, Slots().r(adt));
  ASSERT_EQ(server_.cache.count("KELCORE.ADDRESS"), 1u);
  EXPECT_EQ(server_.cache["KELCORE.ADDRESS"], descriptor);
  auto* cached = dynamic_cast<jdbc::ObjectDescriptor*>(vm().unwrap(descriptor));
  ASSERT_NE(cached, nullptr);
  EXPECT_EQ(cached->getConnection(), conn);
  EXPECT_EQ(callRef("KelvorTypeADT", ADT_GET_OBJECT_DESCRIPTOR, Slots().r(adt)), descriptor);

  const uint32_t image =
      callRef("KelvorTypeADT", ADT_TO_IMAGE, Slots().r(adt).r(vm().wrap(address_.get())));
  EXPECT_EQ(vm().bytes(image), toVector(*expected));
  for (const int32_t style : {STYLE_SQL_VALUE, STYLE_PLATFORM_OBJECT}) {
    SCOPED_TRACE(style);
    const uint32_t read =
        callRef("KelvorTypeADT", ADT_FROM_IMAGE, Slots().r(adt).r(image).l(0).r(0).i(style).r(0));
    ASSERT_NE(vm().unwrap(read), nullptr);
    EXPECT_TRUE(vm().unwrap(read)->equals(
        cpp->fromImage(expected.get(), 0, nullptr, style, nullptr).get()));
  }
  expectLinearReadAgrees(adt, *cpp, address_.get());
}

TEST_F(HostConnectionTest, WarmNativeServicesResolveNothingAndInterpretedOnesResolveEveryCall) {
  const uint32_t adt = describe("KelvorTypeADT", ADT_BY_NAME_WITH_CONNECTION, "KELCORE.ADDRESS");
  call("KelvorTypeADT", ADT_INIT, Slots().r(adt).r(connRef_));
  calls().resetCounts();
  // A second type: every native service's pair is filled already.
  const uint32_t coll = describe("KelvorTypeCOLLECTION", COLLECTION_BY_NAME, "KELCORE.NUMBERS");
  const uint32_t image =
      callRef("KelvorNamedType", NAMED_TO_IMAGE, Slots().r(coll).r(vm().wrap(numbers_.get())));
  EXPECT_EQ(server_.typeInfoCalls, 2);
  EXPECT_EQ(calls().count(HostOp::NativeCodeEntry), 0);
  EXPECT_GT(calls().count(HostOp::Invoke), 0);
  EXPECT_EQ(calls().count(HostOp::ResolveVirtual), calls().count(HostOp::Invoke));
  EXPECT_NE(callRef("KelvorTypeCOLLECTION", COLLECTION_GET_DESCRIPTOR, Slots().r(coll)), 0u);
  EXPECT_EQ(server_.cache.count("KELCORE.NUMBERS"), 1u);

  auto cpp = makeRef<KelvorTypeCOLLECTION>("KELCORE.NUMBERS", server_.catalog.get());
  const Ref<lang::ByteArray> expected = cpp->toImage(numbers_.get());
  EXPECT_EQ(vm().bytes(image), toVector(*expected));
  const uint32_t slice =
      callRef("KelvorTypeCOLLECTION", COLLECTION_FROM_IMAGE_SLICE,
              Slots().r(coll).r(image).l(0).r(0).l(2).i(3).i(STYLE_SQL_VALUE).r(0));
  ASSERT_NE(vm().unwrap(slice), nullptr);
  EXPECT_TRUE(vm().unwrap(slice)->equals(
      cpp->fromImage(expected.get(), 0, nullptr, 2, 3, STYLE_SQL_VALUE, nullptr).get()));
}

TEST_F(HostConnectionTest, AThreadWithNoHostCallOfItsOwnIsRefusedNotLentAnotherThreadsContext) {
  describe("KelvorTypeADT", ADT_BY_NAME_WITH_CONNECTION, "KELCORE.ADDRESS");
  auto* conn = dynamic_cast<binding::HostConnection*>(vm().unwrap(connRef_));
  ASSERT_NE(conn, nullptr);
  const int16_t charset = conn->getDbCharsetId();  // the adopting thread may call on its own
  calls().resetCounts();
  int32_t code = 0;
  std::thread([&] {
    try {
      conn->getDbCharsetId();
    } catch (const jdbc::DriverException& e) {
      code = e.code();
    }
  }).join();
  EXPECT_EQ(code, jdbc::DriverException::ERR_INTERNAL);
  EXPECT_EQ(calls().total(), 0);
  EXPECT_EQ(conn->getDbCharsetId(), charset);
}

TEST_F(HostConnectionTest, HostExceptionsReachTheCallerUnchangedAndNothingIsHalfCached) {
  const uint32_t adt = describe("KelvorTypeADT", ADT_BY_NAME_WITH_CONNECTION, "KELCORE.ADDRESS");
  server_.typeInfoRaises = true;
  EXPECT_EQ(vm().invoke("KelvorTypeADT", ADT_INIT, Slots().r(adt).r(connRef_)), 1);
  EXPECT_EQ(vm().pending(), server_.raised);  // the very object the host raised
  EXPECT_EQ(vm().pendingCode(), 99);
  vm().clearPending();
  server_.typeInfoRaises = false;
  server_.putRaises = true;
  EXPECT_EQ(vm().invoke("KelvorTypeADT", ADT_GET_OBJECT_DESCRIPTOR, Slots().r(adt)), 1);
  EXPECT_EQ(vm().pending(), server_.raised);
  EXPECT_EQ(vm().pendingCode(), 98);
  EXPECT_TRUE(server_.cache.empty());
  vm().clearPending();
  // Neither failure left a half-made type or descriptor behind: both are made afresh.
  server_.putRaises = false;
  EXPECT_EQ(call("KelvorTypeADT", ADT_GET_NUM_ATTRIBUTES, Slots().r(adt)), 3u);
  const uint32_t descriptor = callRef("KelvorTypeADT", ADT_GET_OBJECT_DESCRIPTOR, Slots().r(adt));
  EXPECT_EQ(server_.cache["KELCORE.ADDRESS"], descriptor);
}

TEST_F(HostConnectionTest, TheHostTypeMapMakesTheApplicationObjectsOfAPlatformRead) {
  const uint32_t adt = describe("KelvorTypeADT", ADT_BY_NAME_WITH_CONNECTION, "KELCORE.PERSON");
  const uint32_t image =
      callRef("KelvorTypeADT", ADT_TO_IMAGE, Slots().r(adt).r(vm().wrap(person_.get())));
  for (int32_t round = 1; round <= 2; ++round) {
    const uint32_t read =
        callRef("KelvorTypeADT", ADT_FROM_IMAGE,
                Slots().r(adt).r(image).l(0).r(0).i(STYLE_PLATFORM_OBJECT).r(mapRef_));
    auto* person = dynamic_cast<jdbc::ObjectValue*>(vm().unwrap(read));
    ASSERT_NE(person, nullptr);
    // The embedded address is the host's own object, as the host's create made it.
    auto* home = dynamic_cast<binding::HostObject*>(person->getPlatformAttributes(nullptr)->at(1));
    ASSERT_NE(home, nullptr);
    EXPECT_EQ(home->ref(), server_.lastCreated);
    EXPECT_EQ(vm().classNameOf(home->ref()), "HostAddress");
    EXPECT_EQ(vm().read32(home->ref(), 32), 3u);
    EXPECT_EQ(server_.created, round);
  }
  // The factory found is kept: the host was asked about the name once.
  EXPECT_EQ(server_.hasFactoryCalls, 1);
}

}  // namespace
}  // namespace kelvor::testhost
