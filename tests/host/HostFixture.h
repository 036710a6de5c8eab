// A fresh test host per test, with every class the library exports bound.
#pragma once

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "adt/KelvorTypeADT.h"
#include "catalog/LinearImageBuilder.h"
#include "driver/ObjectValue.h"
#include "lang/Array.h"
#include "tests/host/TestHost.h"

namespace kelvor::testhost {

// Method indexes in the bound classes' method tables, and the result styles, as the tests that
// drive descriptors through their stubs use them.
inline constexpr int32_t ADT_BY_NAME_WITH_CONNECTION = 2, ADT_INIT = 8, ADT_GET_ATTRIBUTE_TYPE = 13,
                         ADT_GET_NUM_ATTRIBUTES = 14, ADT_GET_ATTRIBUTE_NAME = 15,
                         ADT_GET_OBJECT_DESCRIPTOR = 40, ADT_TO_IMAGE = 41, ADT_FROM_IMAGE = 42;
inline constexpr int32_t NAMED_GET_CONNECTION = 4, NAMED_TO_IMAGE = 13;
inline constexpr int32_t COLLECTION_BY_NAME = 0, COLLECTION_GET_DESCRIPTOR = 2,
                         COLLECTION_FROM_IMAGE_SLICE = 22;
inline constexpr int32_t STYLE_SQL_VALUE = 1, STYLE_PLATFORM_OBJECT = 2;

// The bytes of a host-side copy of an image.
inline std::vector<int8_t> toVector(const lang::ByteArray& a) {
  return {a.data(), a.data() + a.length()};
}

class HostFixture : public ::testing::Test {
 protected:
  void SetUp() override {
    vm_ = std::make_unique<TestVm>();
    void* lib = vm_->load(KELCORE_LIBRARY_PATH);
    ASSERT_NE(lib, nullptr);
    for (const ClassDefinition& def : kClassDefinitions) {
      std::string why;
      if (!vm_->bind(lib, def, &why)) ADD_FAILURE() << why;
    }
  }
  void TearDown() override {
    EXPECT_TRUE(vm_->linkTablesIntact());
    vm_.reset();
  }

  TestVm& vm() { return *vm_; }
  uint32_t newBlank(const std::string& className) {
    return vm_->newInstance(vm_->classNamed(className));
  }
  // A new object of `className` made by its constructor `ctor` with `args` after the receiver.
  uint32_t construct(const std::string& className, int32_t ctor, const Slots& args) {
    const uint32_t self = newBlank(className);
    Slots all;
    all.r(self);
    for (size_t i = 0; i < args.size(); ++i) all.raw(args.data()[i]);
    const int32_t raised = vm_->invoke(className, ctor, all);
    EXPECT_EQ(raised, 0) << className << " constructor " << ctor << ": " << vm_->pendingClass();
    return self;
  }
  // The result slot of a call that must not raise.
  uint64_t call(const std::string& className, int32_t method, const Slots& args) {
    uint64_t result[2] = {~0ull, ~0ull};
    const int32_t raised = vm_->invoke(className, method, args, result);
    EXPECT_EQ(raised, 0) << className << "." << method << ": " << vm_->pendingClass();
    return result[0];
  }
  uint32_t callRef(const std::string& className, int32_t method, const Slots& args) {
    return static_cast<uint32_t>(call(className, method, args) >> 32);
  }
  // The linear image of `value` read through the host's descriptor `adt` gives what the C++
  // descriptor `cpp` of the same type reads from it.
  void expectLinearReadAgrees(uint32_t adt, jdbc::kelcore::KelvorTypeADT& cpp,
                              const jdbc::ObjectValue* value) {
    const lang::Ref<lang::ByteArray> linear = catalog::LinearImageBuilder::build(cpp, value);
    const uint32_t read = callRef(
        "KelvorTypeADT", ADT_FROM_IMAGE,
        Slots().r(adt).r(vm_->newBytes(toVector(*linear))).l(0).r(0).i(STYLE_SQL_VALUE).r(0));
    ASSERT_NE(vm_->unwrap(read), nullptr);
    EXPECT_TRUE(vm_->unwrap(read)->equals(
        cpp.fromImage(linear.get(), 0, nullptr, STYLE_SQL_VALUE, nullptr).get()));
  }

 private:
  std::unique_ptr<TestVm> vm_;
};

}  // namespace kelvor::testhost
