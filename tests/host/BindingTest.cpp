// The binding contract as a host sees it: entry functions, code tables, method-stub pairs,
// fingerprints, slot conventions, the stack check, and hostile input.
#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "tests/host/HostFixture.h"

namespace kelvor::testhost {
namespace {

using BindingTest = HostFixture;

const ClassDefinition& definition(const std::string& name) {
  for (const ClassDefinition& def : kClassDefinitions) {
    if (name == def.name) return def;
  }
  throw std::runtime_error("no class " + name);
}

TEST_F(BindingTest, EveryClassBindsWithItsTablesAndDescriptor) {
  for (const ClassDefinition& def : kClassDefinitions) {
    SCOPED_TRACE(def.name);
    ASSERT_TRUE(vm().isBound(def.name));
    const BoundClass& b = vm().bound(def.name);
    const size_t n = static_cast<size_t>(def.methodCount);
    EXPECT_EQ(b.codeTable.size(), n + 2);
    EXPECT_EQ(b.codeTable.front(), reinterpret_cast<uintptr_t>(b.entry));
    EXPECT_EQ(b.codeTable.back(), 0u);
    for (size_t i = 0; i < n; ++i) {
      EXPECT_NE(b.codeTable[i + 1], 0u) << i;
      EXPECT_EQ(b.pairs[2 * i], b.codeTable[i + 1]) << i;
      EXPECT_NE(b.pairs[2 * i + 1], 0u) << i;
    }
    EXPECT_EQ(b.descriptor->getLinkTableSize(), def.linkTableSize);
    EXPECT_EQ(b.entry(), b.descriptor);  // a second call: same descriptor, same tables
    EXPECT_EQ(b.descriptor->getCodeTable(), b.entry()->getCodeTable());
  }
}

TEST_F(BindingTest, AMismatchedFingerprintIsRefused) {
  TestVm other;
  void* lib = other.load(KELCORE_LIBRARY_PATH);
  ASSERT_NE(lib, nullptr);
  ClassDefinition changed = definition("TDSPatch");
  std::string fingerprint = changed.fingerprint;
  fingerprint[31] = fingerprint[31] == '0' ? '1' : '0';
  changed.fingerprint = fingerprint.c_str();
  std::string why;
  EXPECT_FALSE(other.bind(lib, changed, &why));
  EXPECT_NE(why.find("fingerprint"), std::string::npos);
  EXPECT_TRUE(other.bind(lib, definition("TDSPatch"), &why)) << why;
}

TEST_F(BindingTest, PagedStubPairArraysAreAddressedThroughTheHost) {
  TestVm other;
  other.pageWordArrays = true;
  void* lib = other.load(KELCORE_LIBRARY_PATH);
  std::string why;
  ASSERT_TRUE(other.bind(lib, definition("TDSPatch"), &why)) << why;
  EXPECT_EQ(other.pagedAddressCalls, 2 * 7);
  EXPECT_EQ(other.bound("TDSPatch").pairs, vm().bound("TDSPatch").pairs);
}

// TDSPatch(int kind, KelvorType owner, long position, byte typeByte): a long between other
// words, and int, long and reference results.
TEST_F(BindingTest, LongArgumentsTakeTwoSlotsAndResultsFillTheirSlots) {
  const uint32_t owner = construct("KelvorTypeSINT32", 0, Slots());
  const uint32_t patch = newBlank("TDSPatch");
  const int64_t position = 0x123456789ALL;
  ASSERT_EQ(vm().invoke("TDSPatch", 0, Slots().r(patch).i(7).r(owner).l(position).i(-6)), 0);

  uint64_t result[2] = {~0ull, ~0ull};
  ASSERT_EQ(vm().invoke("TDSPatch", 4, Slots().r(patch), result), 0);  // getPosition
  EXPECT_EQ(result[0], 0x3456789Aull);                                 // (low word, 0)
  EXPECT_EQ(result[1], 0x12ull);                                       // (high word, 0)
  ASSERT_EQ(vm().invoke("TDSPatch", 5, Slots().r(patch), result), 0);  // getKind
  EXPECT_EQ(result[0], 7ull);                                          // (int, 0)
  ASSERT_EQ(vm().invoke("TDSPatch", 6, Slots().r(patch), result), 0);  // getTypeByte
  EXPECT_EQ(result[0], 0xFFFFFFFAull);
  ASSERT_EQ(vm().invoke("TDSPatch", 3, Slots().r(patch), result), 0);  // getOwner
  EXPECT_EQ(result[0], uint64_t{owner} << 32);                         // (0, reference)
}

TEST_F(BindingTest, AStackLimitAboveTheFrameRaises62OnEntryWithNoOtherEffect) {
  const uint32_t patch = newBlank("TDSPatch");
  int here = 0;
  vm().context().stackLimit = reinterpret_cast<uintptr_t>(&here) + (1u << 20);
  const uintptr_t compiledBefore = vm().context().currentCompiledFrame;
  uint64_t result[2] = {~0ull, ~0ull};
  EXPECT_EQ(vm().invoke("TDSPatch", 0, Slots().r(patch).i(1).r(0).l(2).i(3), result), 1);
  EXPECT_EQ(vm().pendingClass(), "StackOverflowError");
  EXPECT_EQ(vm().pendingCode(), 62);
  EXPECT_EQ(vm().unwrap(patch), nullptr);  // the constructor did nothing
  EXPECT_EQ(vm().context().currentCompiledFrame, vm().context().currentHostFrame);
  EXPECT_NE(vm().context().currentCompiledFrame, compiledBefore);
  vm().context().stackLimit = 0;
}

TEST_F(BindingTest, HostileReferencesRaiseHostExceptions) {
  const uint32_t patch = construct("TDSPatch", 0, Slots().i(1).r(0).l(2).i(3));
  const uint32_t text = vm().newString(std::string_view("not a patch"));
  const uint32_t bytes = vm().newBytes({1, 2, 3});
  struct Case {
    const char* what;
    uint32_t receiver;
    const char* raised;
  } cases[] = {
      {"null receiver", 0, "NullPointerException"},
      {"beyond the heap", 0xFFFFFFF0u, "IllegalArgumentException"},
      {"a string", text, "ClassCastException"},
      {"an array", bytes, "ClassCastException"},
      {"inside an object", patch + 8, "ClassCastException"},
      {"another class", construct("KelvorTypeSINT32", 0, Slots()), "ClassCastException"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    uint64_t result[2] = {~0ull, ~0ull};
    EXPECT_EQ(vm().invoke("TDSPatch", 5, Slots().r(c.receiver), result), 1);
    EXPECT_EQ(vm().pendingClass(), c.raised);
    EXPECT_EQ(result[0], 0u);  // the result slot is written, with no value
    vm().clearPending();
  }
}

TEST_F(BindingTest, AForgedHandleIsNotTakenForOneOfOurs) {
  const uint32_t patch = construct("TDSPatch", 0, Slots().i(1).r(0).l(2).i(3));
  const uint32_t forged = vm().newInstance(vm().classNamed("TDSPatch"));
  vm().write32(forged, host::FIELD_KIND, host::BK_TDSPatch);
  vm().write64(forged, host::FIELD_HANDLE, vm().read64(patch, host::FIELD_HANDLE) + 8);
  EXPECT_EQ(vm().invoke("TDSPatch", 5, Slots().r(forged)), 1);
  EXPECT_EQ(vm().pendingClass(), "ClassCastException");
}

}  // namespace
}  // namespace kelvor::testhost
