// The binding contract as a host sees it: entry functions, code tables, method-stub pairs,
// fingerprints, slot conventions, the stack check, and hostile input.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

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

TEST_F(BindingTest, AReceiverInPagedMemoryIsReadThroughTheHost) {
  constexpr int32_t GET_TYPE_CODE = 1;  // KelvorTypeSINT32's method table
  const uint32_t self = construct("KelvorTypeSINT32", 0, Slots());
  const uint32_t paged = self | host::TAG_PAGED;
  const uint64_t code = call("KelvorTypeSINT32", GET_TYPE_CODE, Slots().r(self));
  const int32_t before = vm().pagedAddressCalls;
  EXPECT_EQ(call("KelvorTypeSINT32", GET_TYPE_CODE, Slots().r(paged)), code);
  EXPECT_GT(vm().pagedAddressCalls, before);
  // A check word that does not match the handle is refused on the paged path too.
  const uint64_t check = vm().read64(self, host::FIELD_CHECK);
  vm().write64(self, host::FIELD_CHECK, check ^ 1);
  EXPECT_EQ(vm().invoke("KelvorTypeSINT32", GET_TYPE_CODE, Slots().r(paged)), 1);
  EXPECT_EQ(vm().pendingClass(), "ClassCastException");
  vm().clearPending();
  vm().write64(self, host::FIELD_CHECK, check);
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

TEST_F(BindingTest, AForgedHandleOrKindIsNotTakenForOneOfOurs) {
  const uint32_t patch = construct("TDSPatch", 0, Slots().i(1).r(0).l(2).i(3));
  const uint32_t forged = vm().newInstance(vm().classNamed("TDSPatch"));
  vm().write32(forged, host::FIELD_KIND, host::BK_TDSPatch);
  vm().write64(forged, host::FIELD_HANDLE, vm().read64(patch, host::FIELD_HANDLE) + 8);
  EXPECT_EQ(vm().invoke("TDSPatch", 5, Slots().r(forged)), 1);
  EXPECT_EQ(vm().pendingClass(), "ClassCastException");
  vm().clearPending();
  // A connection's genuine handle under a kind word that claims a TDSPatch.
  const uint32_t conn = vm().wrap(vm().unwrap(patch));
  vm().write32(conn, host::FIELD_KIND, host::BK_TDSPatch);
  EXPECT_EQ(vm().invoke("TDSPatch", 5, Slots().r(conn)), 1);
  EXPECT_EQ(vm().pendingClass(), "ClassCastException");
}

// Util.readFully(stream, byte[]) fills the caller's array: the copy goes back to the host.
TEST_F(BindingTest, ArraysAreCopiedInAndFilledArraysCopiedBack) {
  const uint32_t stream = construct("PickleInputStream", 0, Slots().r(vm().newBytes({1, 2, 3, 4, 5})));
  const uint32_t buffer = vm().newBytes({0, 0, 0});
  ASSERT_EQ(vm().invoke("Util", 20, Slots().r(stream).r(buffer)), 0) << vm().pendingClass();
  EXPECT_EQ(vm().bytes(buffer), (std::vector<int8_t>{1, 2, 3}));
  EXPECT_EQ(call("PickleInputStream", 1, Slots().r(stream)), 3u);  // offset()
}

TEST_F(BindingTest, BadArraysAndLengthsRaiseHostExceptions) {
  const uint32_t stream = construct("PickleInputStream", 0, Slots().r(vm().newBytes({1, 2})));
  const uint32_t ints = vm().newPrimitiveArray(host::T_INT, 3);
  const uint32_t corrupt = vm().newBytes({1, 2, 3});
  vm().write32(corrupt, host::OFFSET_LENGTH, 0x80000000u);  // a negative length word
  const uint32_t huge = vm().newBytes({1});
  vm().write32(huge, host::OFFSET_LENGTH, 0x7FFFFFFFu);     // longer than the heap
  struct Case {
    const char* what;
    int32_t method;
    Slots args;
    const char* raised;
  } cases[] = {
      {"an int[] for a byte[]", 20, Slots().r(stream).r(ints), "ClassCastException"},
      {"a string for a byte[]", 20, Slots().r(stream).r(vm().newString(std::string_view("x"))),
       "ClassCastException"},
      {"a negative length word", 20, Slots().r(stream).r(corrupt), "IllegalArgumentException"},
      {"a length beyond the heap", 20, Slots().r(stream).r(huge), "IllegalArgumentException"},
      {"a negative count", 14, Slots().r(stream).i(-1), "NegativeArraySizeException"},
      {"a stream that is not one", 13, Slots().r(vm().newBytes({1})), "ClassCastException"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    EXPECT_EQ(vm().invoke("Util", c.method, c.args), 1);
    EXPECT_EQ(vm().pendingClass(), c.raised);
    vm().clearPending();
  }
}

TEST_F(BindingTest, StringsCrossAsExactUtf16) {
  const std::u16string name = u"S\u00C9.T\U0001F600";  // a surrogate pair survives both ways
  const uint32_t ref = construct("KelvorTypeREF", 2, Slots().r(vm().newString(name)).r(0));
  EXPECT_EQ(vm().string(callRef("KelvorNamedType", 6, Slots().r(ref))), name);       // getSqlName
  EXPECT_EQ(vm().string(callRef("KelvorNamedType", 11, Slots().r(ref))), u"T\U0001F600");
}

TEST_F(BindingTest, AConstructorOnAnObjectAlreadyMadeChangesNothing) {
  const uint32_t patch = construct("TDSPatch", 0, Slots().i(1).r(0).l(2).i(3));
  lang::Object* before = vm().unwrap(patch);
  EXPECT_EQ(vm().invoke("TDSPatch", 0, Slots().r(patch).i(9).r(0).l(9).i(9)), 0);
  EXPECT_EQ(vm().unwrap(patch), before);
  EXPECT_EQ(call("TDSPatch", 5, Slots().r(patch)), 1u);
  // A base class's constructor on a blank object of an abstract class cannot make one.
  EXPECT_EQ(vm().invoke("KelvorType", 0, Slots().r(newBlank("KelvorType"))), 1);
  EXPECT_EQ(vm().pendingClass(), "IllegalArgumentException");
}

}  // namespace
}  // namespace kelvor::testhost
