// Every invoker stub of every class, called with null references and zero words: each call
// must end in a normal return or a host exception, reported by its return value, with the
// result slots written.
#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "tests/host/HostFixture.h"

namespace kelvor::testhost {
namespace {

using StubSweepTest = HostFixture;

Slots zeroSlots(const MethodDefinition& m) {
  Slots args;
  for (const char* k = m.slots; *k != 0; ++k) {
    if (*k == 'R') {
      args.r(0);
    } else {
      args.i(0);
    }
  }
  return args;
}

TEST_F(StubSweepTest, EveryStubReportsItsOutcomeAndANullReceiverRaises) {
  int32_t called = 0;
  for (const ClassDefinition& def : kClassDefinitions) {
    for (int32_t i = 0; i < def.methodCount; ++i) {
      const MethodDefinition& m = def.methods[i];
      SCOPED_TRACE(std::string(def.name) + "." + m.name);
      uint64_t result[2] = {~0ull, ~0ull};
      const int32_t raised = vm().invoke(def.name, i, zeroSlots(m), result);
      ++called;
      EXPECT_EQ(raised != 0, vm().pending() != 0);
      if (!m.isStatic) {
        // The receiver is checked first, except that an abstract method has no code to run.
        EXPECT_EQ(raised, 1);
        const std::string expected =
            vm().pendingClass() == "AbstractMethodError" ? "AbstractMethodError" : "NullPointerException";
        EXPECT_EQ(vm().pendingClass(), expected);
      }
      if (raised == 1 && m.result != 'V') {
        EXPECT_EQ(result[0], 0u);
        if (m.result == 'J') {
          EXPECT_EQ(result[1], 0u);
        }
      }
      vm().clearPending();
    }
  }
  EXPECT_EQ(called, 411);
}

TEST_F(StubSweepTest, EveryMethodRaises62OnEntryWhenTheStackLimitLiesAboveItsFrame) {
  int here = 0;
  vm().context().stackLimit = reinterpret_cast<uintptr_t>(&here) + (1u << 20);
  for (const ClassDefinition& def : kClassDefinitions) {
    for (int32_t i = 0; i < def.methodCount; ++i) {
      const MethodDefinition& m = def.methods[i];
      SCOPED_TRACE(std::string(def.name) + "." + m.name);
      uint64_t result[2] = {~0ull, ~0ull};
      EXPECT_EQ(vm().invoke(def.name, i, zeroSlots(m), result), 1);
      EXPECT_EQ(vm().pendingClass(), "StackOverflowError");
      EXPECT_EQ(vm().pendingCode(), 62);
      if (m.result != 'V') {
        EXPECT_EQ(result[0], 0u);
      }
      vm().clearPending();
    }
  }
  vm().context().stackLimit = 0;
}

// Host arrays nested deeper than the bound (or holding themselves) fail as the nesting bound
// fails everywhere: with the host's stack-overflow error, never by running the stack out.
TEST_F(StubSweepTest, ArraysNestedBeyondTheBoundRaise62ThroughTheHost) {
  const uint32_t object = vm().classNamed("Object");
  const uint32_t cycle = vm().newObjectArray(object, 1);
  vm().write32(cycle, host::OFFSET_ELEMENTS, cycle);
  uint32_t deep = vm().newObjectArray(object, 0);
  for (int32_t i = 0; i < 100; ++i) {
    const uint32_t outer = vm().newObjectArray(object, 1);
    vm().write32(outer, host::OFFSET_ELEMENTS, deep);
    deep = outer;
  }
  for (const uint32_t value : {cycle, deep}) {
    uint64_t result[2] = {~0ull, ~0ull};
    EXPECT_EQ(vm().invoke("Util", 17, Slots().r(value), result), 1);  // serialize(Object)
    EXPECT_EQ(vm().pendingClass(), "StackOverflowError");
    vm().clearPending();
  }
}

}  // namespace
}  // namespace kelvor::testhost
