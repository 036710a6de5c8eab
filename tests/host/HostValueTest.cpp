// A host subclass of the driver's object value class overrides getAttributes, which the package
// calls to write the value: the override's attributes are what the image holds. The call is a
// virtual call through the link-table protocol (native overrides through the receiver class's
// pair, interpreted ones through hostInvoke); our own values are called directly.
#include <gtest/gtest.h>

#include <atomic>
#include <string>
#include <thread>
#include <vector>

#include "adt/KelvorTypeADT.h"
#include "catalog/AttributeType.h"
#include "catalog/MemoryCatalog.h"
#include "catalog/TypeDefinition.h"
#include "driver/CharValue.h"
#include "driver/CharsetConverter.h"
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

using lang::makeRef;
using lang::Ref;
using T = catalog::AttributeType;

// What the host's value classes see and answer.
struct ValueHost {
  uint32_t overrideAttributes = 0;  // the host array the overrides return
  std::atomic<int32_t> overrideCalls{0};
  uint32_t raised = 0;
};
ValueHost* host = nullptr;

// The driver's own getAttributes as the host has it: the attributes of the C++ value its
// constructor made, as a new host array.
uint32_t driverGetAttributes(uintptr_t env, uintptr_t, uint32_t, uint32_t self) {
  TestVm& vm = TestVm::of(env);
  auto* value = dynamic_cast<jdbc::ObjectValue*>(vm.unwrap(self));
  Ref<lang::ObjectArray> attributes = value->getAttributes();
  const uint32_t out = vm.newObjectArray(vm.classNamed("Object"), attributes->length());
  for (int32_t i = 0; i < attributes->length(); ++i) {
    const uint32_t e = attributes->at(i) == nullptr ? 0 : vm.wrap(attributes->at(i));
    vm.write32(out, host::OFFSET_ELEMENTS + 4 * static_cast<uint32_t>(i), e);
  }
  return out;
}
uint32_t nativeOverride(uintptr_t, uintptr_t, uint32_t, uint32_t) {
  host->overrideCalls.fetch_add(1, std::memory_order_relaxed);
  return host->overrideAttributes;
}
void interpretedOverride(TestVm&, const uint64_t*, uint64_t* result) {
  host->overrideCalls.fetch_add(1, std::memory_order_relaxed);
  result[0] = uint64_t{host->overrideAttributes} << 32;
}
void failingOverride(TestVm& vm, const uint64_t*, uint64_t*) {
  vm.raise("IOException", 97);
  host->raised = vm.pending();
}

class HostValueTest : public HostFixture {
 protected:
  void SetUp() override {
    HostFixture::SetUp();
    host = &host_;
    HostCalls& h = HostCalls::of(vm());
    const int32_t linkSlots = 2 * (host::OBJECT_VALUE_FIRST_POSITION + 1);
    auto native = [](auto* f) { return reinterpret_cast<void*>(f); };
    h.addMethod(vm().classNamed("ObjectValue"), "getAttributes", "R", 'L',
                native(&driverGetAttributes));
    h.addMethod(h.defineClass("NativeAddress", "ObjectValue", linkSlots), "getAttributes", "R", 'L',
                native(&nativeOverride));
    h.addMethod(h.defineClass("ScriptedAddress", "ObjectValue", linkSlots), "getAttributes", "R",
                'L', nullptr, &interpretedOverride);
    h.addMethod(h.defineClass("FailingAddress", "ObjectValue", linkSlots), "getAttributes", "R",
                'L', nullptr, &failingOverride);
    h.defineClass("PlainAddress", "ObjectValue", linkSlots);  // inherits the driver's method

    catalog::TypeDefinition address("KELCORE", "ADDRESS");
    address.addAttribute("STREET", T::varcharType(40)).addAttribute("NO", T::numberType(5, 0));
    catalog::MemoryCatalog::registerType(*conn_, address);
    auto descriptor = jdbc::ObjectDescriptor::createDescriptor("KELCORE.ADDRESS", conn_.get());
    auto value = [&](const char* street, const char* no) {
      return makeRef<jdbc::ObjectValue>(
          descriptor, conn_.get(),
          lang::ObjectArray::of({text(street), jdbc::NumberValue::fromString(no)}));
    };
    base_ = value("High Street", "221");
    Ref<jdbc::ObjectValue> overridden = value("Baker Street", "7");
    auto cpp = makeRef<jdbc::kelcore::KelvorTypeADT>("KELCORE.ADDRESS", conn_.get());
    baseImage_ = toVector(*cpp->toImage(value("High Street", "221").get()));
    overrideImage_ = toVector(*cpp->toImage(overridden.get()));
    ASSERT_NE(baseImage_, overrideImage_);

    Ref<lang::ObjectArray> attributes = overridden->getAttributes();
    host_.overrideAttributes = vm().newObjectArray(vm().classNamed("Object"), 2);
    for (uint32_t i = 0; i < 2; ++i) {
      vm().write32(host_.overrideAttributes, host::OFFSET_ELEMENTS + 4 * i,
                   vm().wrap(attributes->at(static_cast<int32_t>(i))));
    }
    adt_ = construct(
        "KelvorTypeADT", ADT_BY_NAME_WITH_CONNECTION,
        Slots().r(vm().newString(std::string_view("KELCORE.ADDRESS"))).r(vm().wrap(conn_.get())));
  }
  void TearDown() override {
    HostCalls::forget(vm());
    HostFixture::TearDown();
    host = nullptr;
  }

  static Ref<lang::Object> text(const char* s) {
    return makeRef<jdbc::CharValue>(*lang::String::of(s),
                                    jdbc::CharsetConverter::forId(jdbc::CharsetConverter::UTF_8));
  }
  std::vector<int8_t> toImage(uint32_t value) {
    return vm().bytes(callRef("KelvorTypeADT", ADT_TO_IMAGE, Slots().r(adt_).r(value)));
  }
  HostCalls& calls() { return HostCalls::of(vm()); }

  ValueHost host_;
  Ref<jdbc::MemoryConnection> conn_ = makeRef<jdbc::MemoryConnection>();
  Ref<jdbc::ObjectValue> base_;
  std::vector<int8_t> baseImage_, overrideImage_;
  uint32_t adt_ = 0;
};

TEST_F(HostValueTest, ANativeOverrideIsWhatTheImageHoldsAndItsWarmSiteAsksTheHostNothing) {
  const uint32_t value = vm().wrap(base_.get(), "NativeAddress");
  calls().resetCounts();
  EXPECT_EQ(toImage(value), overrideImage_);
  EXPECT_EQ(host_.overrideCalls.load(), 1);
  EXPECT_EQ(calls().count(HostOp::ResolveVirtual), 1);
  EXPECT_EQ(calls().count(HostOp::NativeCodeEntry), 1);
  const uint64_t* pair =
      calls().linkSlots(vm().classNamed("NativeAddress")) + 2 * host::OBJECT_VALUE_FIRST_POSITION;
  EXPECT_EQ(pair[0], reinterpret_cast<uint64_t>(&nativeOverride));
  EXPECT_EQ(pair[1], vm().classNamed("NativeAddress"));

  calls().resetCounts();
  EXPECT_EQ(toImage(value), overrideImage_);
  EXPECT_EQ(host_.overrideCalls.load(), 2);
  EXPECT_EQ(calls().total(), 0);
  // A second instance of the class is told from ours once; the call site is warm already.
  const uint32_t other = vm().wrap(base_.get(), "NativeAddress");
  EXPECT_EQ(toImage(other), overrideImage_);
  EXPECT_EQ(calls().count(HostOp::InstanceOf), 1);
  EXPECT_EQ(calls().total(), 1);
}

TEST_F(HostValueTest, AnInterpretedOverrideRunsThroughHostInvokeOnEveryCall) {
  const uint32_t value = vm().wrap(base_.get(), "ScriptedAddress");
  for (int32_t round = 1; round <= 2; ++round) {
    calls().resetCounts();
    EXPECT_EQ(toImage(value), overrideImage_);
    EXPECT_EQ(calls().count(HostOp::ResolveVirtual), 1);
    EXPECT_EQ(calls().count(HostOp::Invoke), 1);
    EXPECT_EQ(calls().count(HostOp::NativeCodeEntry), 0);
    EXPECT_EQ(host_.overrideCalls.load(), round);
  }
}

TEST_F(HostValueTest, OurValuesAreCalledDirectlyAndAnInheritedMethodIsTheDrivers) {
  for (const char* cls : {"Object", "ObjectValue"}) {
    SCOPED_TRACE(cls);
    calls().resetCounts();
    EXPECT_EQ(toImage(vm().wrap(base_.get(), cls)), baseImage_);
    EXPECT_EQ(calls().total(), 0);
  }
  const uint32_t plain = vm().wrap(base_.get(), "PlainAddress");
  calls().resetCounts();
  EXPECT_EQ(toImage(plain), baseImage_);
  EXPECT_EQ(calls().count(HostOp::ResolveVirtual), 1);
  EXPECT_EQ(host_.overrideCalls.load(), 0);
}

TEST_F(HostValueTest, AFailingOverrideReachesTheCallerUnchanged) {
  const uint32_t value = vm().wrap(base_.get(), "FailingAddress");
  EXPECT_EQ(vm().invoke("KelvorTypeADT", ADT_TO_IMAGE, Slots().r(adt_).r(value)), 1);
  EXPECT_EQ(vm().pending(), host_.raised);
  EXPECT_EQ(vm().pendingCode(), 97);
  vm().clearPending();
  // The descriptor is left as it was: the next value writes normally.
  EXPECT_EQ(toImage(vm().wrap(base_.get(), "NativeAddress")), overrideImage_);
}

TEST_F(HostValueTest, ConcurrentWritesOfHostValuesAgree) {
  constexpr int kThreads = 4, kRounds = 200;
  const uint32_t values[2] = {vm().wrap(base_.get(), "NativeAddress"),
                              vm().wrap(base_.get(), "ScriptedAddress")};
  const BoundClass& adt = vm().bound("KelvorTypeADT");
  const auto stub = reinterpret_cast<host::StubWithResult>(adt.pairs[2 * ADT_TO_IMAGE + 1]);
  std::vector<uintptr_t> envs;
  for (int t = 0; t < kThreads; ++t) envs.push_back(vm().attachThread());
  calls().resetCounts();
  std::atomic<int> ready{0}, wrong{0};
  std::vector<std::thread> threads;
  for (int t = 0; t < kThreads; ++t) {
    threads.emplace_back([&, t] {
      host::FrameRecord frame{0, 0, adt.classRef};
      host::contextOf(envs[t])->currentHostFrame = reinterpret_cast<uintptr_t>(&frame);
      ready.fetch_add(1);
      while (ready.load() < kThreads) {
      }
      for (int r = 0; r < kRounds; ++r) {
        const uint64_t args[2] = {uint64_t{adt_} << 32, uint64_t{values[(r + t) % 2]} << 32};
        uint64_t result[1] = {0};
        if (stub(envs[t], adt.classRef, args, result) != 0 ||
            vm().bytes(static_cast<uint32_t>(result[0] >> 32)) != overrideImage_) {
          ++wrong;
        }
      }
    });
  }
  for (auto& th : threads) th.join();
  EXPECT_EQ(wrong.load(), 0);
  EXPECT_EQ(host_.overrideCalls.load(), kThreads * kRounds);
  // Threads that meet an instance first at the same time may each ask the host; one value is
  // kept per instance, and later calls ask nothing.
  EXPECT_GE(calls().count(HostOp::InstanceOf), 2);
  EXPECT_LE(calls().count(HostOp::InstanceOf), 2 * kThreads);
  EXPECT_EQ(calls().count(HostOp::Invoke), kThreads * kRounds / 2);
  const uint64_t* pair =
      calls().linkSlots(vm().classNamed("NativeAddress")) + 2 * host::OBJECT_VALUE_FIRST_POSITION;
  EXPECT_EQ(pair[0], reinterpret_cast<uint64_t>(&nativeOverride));
  EXPECT_EQ(pair[1], vm().classNamed("NativeAddress"));
  calls().resetCounts();
  EXPECT_EQ(toImage(values[0]), overrideImage_);
  EXPECT_EQ(calls().total(), 0);
}

}  // namespace
}  // namespace kelvor::testhost
