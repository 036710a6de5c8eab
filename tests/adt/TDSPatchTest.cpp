#include "adt/TDSPatch.h"

#include <gtest/gtest.h>

#include <functional>

#include "driver/DriverException.h"
#include "tests/types/TypeTestSupport.h"

namespace kelvor::jdbc::kelcore {
namespace {

using typetest::codeOf;
using typetest::TestType;

TEST(TDSPatchTest, KeepsItsFieldsAndItsOwnerAlive) {
  auto owner = lang::makeRef<TestType>();
  const KelvorType* raw = owner.get();
  const TDSPatch patch(TDSPatch::KIND_OBJECT_TYPE, owner, 1234567890123LL, int8_t{-6});
  owner = nullptr;  // the tree let go; the queued patch still holds the owner
  EXPECT_EQ(patch.getOwner(), raw);
  EXPECT_EQ(raw->referenceCount(), 1);
  EXPECT_EQ(patch.getKind(), 0);
  EXPECT_EQ(patch.getPosition(), 1234567890123LL);
  EXPECT_EQ(patch.getTypeByte(), -6);
  EXPECT_EQ(TDSPatch::KIND_ELEMENT_TYPE, 1);
}

TEST(TDSPatchTest, ApplyRejectsUnknownKindsAsInternalErrors) {
  auto owner = lang::makeRef<TestType>();
  Ref<KelvorType> resolved = lang::makeRef<TestType>();
  TDSPatch bad(7, owner, 0, 0);
  EXPECT_EQ(codeOf([&] { bad.apply(resolved); }), DriverException::ERR_INTERNAL);
  EXPECT_EQ(codeOf([&] { bad.apply(resolved, 39); }), DriverException::ERR_INTERNAL);
  // The UPT and collection descriptors that take these attachments are not built yet.
  TDSPatch element(TDSPatch::KIND_ELEMENT_TYPE, owner, 0, 0);
  EXPECT_EQ(codeOf([&] { element.apply(resolved); }), DriverException::ERR_UNSUPPORTED);
  TDSPatch object(TDSPatch::KIND_OBJECT_TYPE, owner, 0, -5);
  EXPECT_EQ(codeOf([&] { object.apply(resolved, 39); }), DriverException::ERR_UNSUPPORTED);
}

}  // namespace
}  // namespace kelvor::jdbc::kelcore
