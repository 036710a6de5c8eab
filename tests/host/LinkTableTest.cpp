// Calls from the package into the host through link tables, counted by host operation: warm
// sites make no host call, interpreted targets resolve every time, call-site caches fill, shift
// and stop shifting, array receivers go through the well-known class, host exceptions pass
// through, and threads filling the same slots agree.
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <thread>
#include <vector>

#include "binding/LinkTable.h"
#include "host/HostServices.h"
#include "tests/host/HostCalls.h"
#include "tests/host/HostFixture.h"

namespace kelvor::testhost {
namespace {

using binding::CallShape;
using binding::HostExceptionPending;
using binding::HostMemory;
using binding::LinkTable;

// Pool entries and link slots of the calling class.
constexpr int32_t CP_TWICE = 100, CP_THRICE = 101, CP_AREA = 102, CP_AREA_AGAIN = 103, CP_ID = 104,
                  CP_LENGTH = 105, CP_LONG = 106, CP_ECHO = 107, CP_FAIL = 108, CP_COUNTER = 109,
                  CP_SHAPE = 110;
constexpr int32_t SLOT_TWICE = 0, SLOT_THRICE = 2, SLOT_CACHE = 4, SLOT_COUNTER = 20,
                  SLOT_SHAPE = 21, SLOT_LONG = 22, SLOT_FAIL = 24, SLOT_INTERPRETED_CACHE = 26;
constexpr int32_t POS_AREA = 5, POS_LENGTH = 1, POS_ECHO = 7;  // virtual positions
constexpr int32_t SUBCLASSES = 7;

uint32_t twice(uintptr_t, uintptr_t, uint32_t, uint32_t a) { return 2 * a; }
uint32_t area1(uintptr_t, uintptr_t, uint32_t, uint32_t) { return 1; }
uint32_t area4(uintptr_t, uintptr_t, uint32_t, uint32_t) { return 4; }
// Answers the declaring class it was called with.
uint32_t declaring(uintptr_t, uintptr_t, uint32_t cls, uint32_t) { return cls; }
uint32_t arrayLength(uintptr_t env, uintptr_t, uint32_t, uint32_t self) {
  return TestVm::of(env).read32(self, host::OFFSET_LENGTH);
}
uint32_t raises(uintptr_t env, uintptr_t, uint32_t, uint32_t) {
  TestVm::of(env).raise("IOException", 77);
  return 0;
}

class LinkTableTest : public HostFixture {
 protected:
  void SetUp() override {
    HostFixture::SetUp();
    HostCalls& h = calls();
    caller_ = h.defineClass("Caller", "Object", 64);
    const uint32_t util = h.defineClass("HostUtil", "Object", 0);
    h.addMethod(util, "twice", "P", 'I', reinterpret_cast<void*>(&twice));
    h.addMethod(util, "thrice", "P", 'I', nullptr,
                [](TestVm&, const uint64_t* a, uint64_t* r) { r[0] = 3 * (a[0] & 0xFFFFFFFFu); });
    h.addMethod(util, "wide", "PPP", 'J', nullptr, [](TestVm&, const uint64_t* a, uint64_t* r) {
      const int64_t v = static_cast<int64_t>((a[1] << 32) | (a[0] & 0xFFFFFFFFu));
      const auto out = static_cast<uint64_t>(v * static_cast<int64_t>(a[2] & 0xFFFFFFFFu));
      r[0] = out & 0xFFFFFFFFu;
      r[1] = out >> 32;
    });
    h.addMethod(util, "fails", "P", 'I', reinterpret_cast<void*>(&raises));
    h.poolMethod(CP_TWICE, "HostUtil", "twice");
    h.poolMethod(CP_THRICE, "HostUtil", "thrice");
    h.poolMethod(CP_LONG, "HostUtil", "wide");
    h.poolMethod(CP_FAIL, "HostUtil", "fails");

    shape_ = h.defineClass("Shape", "Object", 16);
    square_ = h.defineClass("Square", "Shape", 16);
    circle_ = h.defineClass("Circle", "Shape", 16);
    h.addMethod(shape_, "area", "R", 'I', reinterpret_cast<void*>(&area1));
    h.addMethod(square_, "area", "R", 'I', reinterpret_cast<void*>(&area4));
    h.addMethod(shape_, "echo", "RR", 'L', nullptr, [](TestVm&, const uint64_t* a, uint64_t* r) {
      r[0] = a[1] & 0xFFFFFFFF00000000u;  // the reference argument back
    });
    h.poolMethod(CP_AREA, "Shape", "area");
    h.poolMethod(CP_AREA_AGAIN, "Shape", "area");
    h.poolMethod(CP_ECHO, "Shape", "echo");
    for (int32_t i = 0; i < SUBCLASSES; ++i) {
      subs_[i] = h.defineClass("Sub" + std::to_string(i), "Shape", 16);
      h.addMethod(subs_[i], "id", "R", 'I', reinterpret_cast<void*>(&declaring));
      objects_[i] = vm().newInstance(subs_[i]);
    }
    h.poolMethod(CP_ID, "Sub0", "id");
    h.addMethod(h.arrayClass(), "length", "R", 'I', reinterpret_cast<void*>(&arrayLength));
    h.poolMethod(CP_LENGTH, "Array", "length");
    h.poolStatic(CP_COUNTER, "HostUtil", "counter", 41);
    h.poolClass(CP_SHAPE, "Shape");
    h.resetCounts();
  }
  void TearDown() override {
    HostCalls::forget(vm());
    HostFixture::TearDown();
  }

  HostCalls& calls() { return HostCalls::of(vm()); }
  HostMemory memory() { return HostMemory(vm().env(), &vm().context()); }
  uint64_t* slots(uint32_t cls) { return calls().linkSlots(cls); }
  uint64_t callStatic(int32_t cp, int32_t slot, CallShape shape, std::vector<uint32_t> words) {
    return LinkTable::callStatic(memory(), caller_, cp, slot, shape, words.data());
  }
  uint64_t callVirtual(int32_t cp, int32_t pos, CallShape shape, std::vector<uint32_t> words) {
    return LinkTable::callVirtual(memory(), caller_, cp, pos, false, shape, words.data());
  }
  uint32_t callCached(uint32_t receiver) {
    const uint32_t w[1] = {receiver};
    return static_cast<uint32_t>(
        LinkTable::callCached(memory(), caller_, CP_ID, SLOT_CACHE, false, CallShape("R", 'I'), w));
  }
  std::vector<uint32_t> cachedReceivers() {
    std::vector<uint32_t> out;
    for (int32_t t = 0; t < host::CACHE_TRIPLES; ++t)
      out.push_back(static_cast<uint32_t>(slots(caller_)[SLOT_CACHE + 3 * t]));
    return out;
  }

  uint32_t caller_ = 0, shape_ = 0, square_ = 0, circle_ = 0;
  uint32_t subs_[SUBCLASSES] = {}, objects_[SUBCLASSES] = {};
};

TEST_F(LinkTableTest, StaticSiteResolvesOnceThenCallsWithoutTheHost) {
  EXPECT_EQ(callStatic(CP_TWICE, SLOT_TWICE, CallShape("P", 'I'), {21}), 42u);
  EXPECT_EQ(calls().count(HostOp::ResolveStatic), 1);
  EXPECT_EQ(calls().count(HostOp::NativeCodeEntry), 1);
  EXPECT_EQ(slots(caller_)[SLOT_TWICE], reinterpret_cast<uint64_t>(&twice));
  EXPECT_EQ(slots(caller_)[SLOT_TWICE + 1], vm().classNamed("HostUtil"));
  calls().resetCounts();
  for (uint32_t i = 0; i < 5; ++i)
    EXPECT_EQ(callStatic(CP_TWICE, SLOT_TWICE, CallShape("P", 'I'), {i}), 2 * i);
  EXPECT_EQ(calls().total(), 0);
}

TEST_F(LinkTableTest, InterpretedTargetResolvesOnEveryCallAndLeavesThePairEmpty) {
  for (uint32_t i = 1; i <= 3; ++i)
    EXPECT_EQ(callStatic(CP_THRICE, SLOT_THRICE, CallShape("P", 'I'), {i}), 3 * i);
  EXPECT_EQ(calls().count(HostOp::ResolveStatic), 3);
  EXPECT_EQ(calls().count(HostOp::Invoke), 3);
  EXPECT_EQ(slots(caller_)[SLOT_THRICE], 0u);
  EXPECT_EQ(slots(caller_)[SLOT_THRICE + 1], 0u);
  // A long argument takes two primitive slots, low word first; a long result comes back whole.
  const int64_t big = 0x123456789LL;
  EXPECT_EQ(static_cast<int64_t>(
                callStatic(CP_LONG, SLOT_LONG, CallShape("PPP", 'J'),
                           {static_cast<uint32_t>(big), static_cast<uint32_t>(big >> 32), 3})),
            3 * big);
  // Reference words go in bytes 4-7 with kind 1 (the host checks the kinds).
  const uint32_t sq = vm().newInstance(square_);
  const uint32_t arg = vm().newInstance(circle_);
  EXPECT_EQ(callVirtual(CP_ECHO, POS_ECHO, CallShape("RR", 'L'), {sq, arg}), arg);
  EXPECT_EQ(slots(square_)[2 * POS_ECHO], 0u);
}

TEST_F(LinkTableTest, VirtualCallFillsTheReceiverClassPairSharedByEverySite) {
  const uint32_t sq = vm().newInstance(square_), ci = vm().newInstance(circle_);
  EXPECT_EQ(callVirtual(CP_AREA, POS_AREA, CallShape("R", 'I'), {sq}), 4u);
  EXPECT_EQ(callVirtual(CP_AREA, POS_AREA, CallShape("R", 'I'), {ci}), 1u);  // inherited
  EXPECT_EQ(calls().count(HostOp::ResolveVirtual), 2);
  EXPECT_EQ(slots(square_)[2 * POS_AREA + 1], square_);
  EXPECT_EQ(slots(circle_)[2 * POS_AREA + 1], shape_);  // declared by the base
  calls().resetCounts();
  // Another call site of the same method on the same classes: the pairs are already there.
  EXPECT_EQ(callVirtual(CP_AREA_AGAIN, POS_AREA, CallShape("R", 'I'), {sq}), 4u);
  EXPECT_EQ(callVirtual(CP_AREA_AGAIN, POS_AREA, CallShape("R", 'I'), {ci}), 1u);
  EXPECT_EQ(calls().total(), 0);
}

TEST_F(LinkTableTest, ArrayReceiverGoesThroughTheWellKnownClass) {
  const uint32_t ints = vm().newPrimitiveArray(host::T_INT, 9);
  const uint32_t refs = vm().newObjectArray(shape_, 3);
  EXPECT_EQ(callVirtual(CP_LENGTH, POS_LENGTH, CallShape("R", 'I'), {ints}), 9u);
  EXPECT_EQ(callVirtual(CP_LENGTH, POS_LENGTH, CallShape("R", 'I'), {refs}), 3u);
  EXPECT_EQ(calls().count(HostOp::WellKnownClass), 2);
  EXPECT_EQ(calls().count(HostOp::ResolveVirtual), 1);
  EXPECT_EQ(slots(calls().arrayClass())[2 * POS_LENGTH], reinterpret_cast<uint64_t>(&arrayLength));
}

TEST_F(LinkTableTest, CallSiteCacheFillsShiftsAndStopsShiftingAtFiftyMisses) {
  for (int32_t i = 0; i < 5; ++i) EXPECT_EQ(callCached(objects_[i]), subs_[i]);
  EXPECT_EQ(cachedReceivers(), std::vector<uint32_t>(subs_, subs_ + 5));
  EXPECT_EQ(calls().count(HostOp::ShiftCache), 0);
  calls().resetCounts();
  for (int32_t i = 0; i < 5; ++i) EXPECT_EQ(callCached(objects_[i]), subs_[i]);
  EXPECT_EQ(calls().total(), 0);

  // A sixth receiver class shifts the triples and takes triple 0.
  EXPECT_EQ(callCached(objects_[5]), subs_[5]);
  EXPECT_EQ(calls().count(HostOp::ShiftCache), 1);
  EXPECT_EQ(cachedReceivers(),
            (std::vector<uint32_t>{subs_[5], subs_[0], subs_[1], subs_[2], subs_[3]}));
  EXPECT_EQ(slots(caller_)[SLOT_CACHE + 15], 1u);

  // Every further miss shifts until the counter reaches 50.
  auto uncached = [&] {
    const std::vector<uint32_t> now = cachedReceivers();
    for (int32_t i = 0; i < SUBCLASSES; ++i) {
      if (std::find(now.begin(), now.end(), subs_[i]) == now.end()) return i;
    }
    return -1;
  };
  for (int32_t k = 0; slots(caller_)[SLOT_CACHE + 15] < host::CACHE_MISS_LIMIT; ++k) {
    const int32_t i = uncached();
    ASSERT_EQ(callCached(objects_[i]), subs_[i]);
    ASSERT_LT(k, 100);
  }
  EXPECT_EQ(calls().count(HostOp::ShiftCache), 50);
  const std::vector<uint32_t> before = cachedReceivers();
  const int32_t missing = uncached();
  EXPECT_EQ(callCached(objects_[missing]), subs_[missing]);
  EXPECT_EQ(calls().count(HostOp::ShiftCache), 50);
  std::vector<uint32_t> expected = before;
  expected[0] = subs_[missing];
  EXPECT_EQ(cachedReceivers(), expected);
  EXPECT_EQ(slots(caller_)[SLOT_CACHE + 15], 50u);
  // The replaced triple answers for its new class with its own declaring class.
  calls().resetCounts();
  EXPECT_EQ(callCached(objects_[missing]), subs_[missing]);
  EXPECT_EQ(calls().total(), 0);
}

TEST_F(LinkTableTest, InterpretedTargetOfACachedSiteStoresNothing) {
  const uint32_t sq = vm().newInstance(square_), arg = vm().newInstance(shape_);
  const uint32_t w[2] = {sq, arg};
  for (int i = 0; i < 2; ++i) {
    EXPECT_EQ(LinkTable::callCached(memory(), caller_, CP_ECHO, SLOT_INTERPRETED_CACHE, false,
                                    CallShape("RR", 'L'), w),
              arg);
  }
  EXPECT_EQ(calls().count(HostOp::Invoke), 2);
  for (int32_t s = 0; s < host::CACHE_SLOTS; ++s)
    EXPECT_EQ(slots(caller_)[SLOT_INTERPRETED_CACHE + s], 0u);
}

TEST_F(LinkTableTest, StaticFieldCellsAndResolvedClassesAreFetchedOnce) {
  EXPECT_EQ(LinkTable::getStaticInt(memory(), caller_, CP_COUNTER, SLOT_COUNTER), 41);
  LinkTable::setStaticInt(memory(), caller_, CP_COUNTER, SLOT_COUNTER, 42);
  EXPECT_EQ(LinkTable::getStaticInt(memory(), caller_, CP_COUNTER, SLOT_COUNTER), 42);
  EXPECT_EQ(calls().staticCell("HostUtil", "counter"), 42);
  EXPECT_EQ(calls().count(HostOp::GetStatic), 1);
  EXPECT_EQ(calls().count(HostOp::SetStatic), 0);
  EXPECT_EQ(LinkTable::resolvedClass(memory(), caller_, CP_SHAPE, SLOT_SHAPE), shape_);
  EXPECT_EQ(LinkTable::resolvedClass(memory(), caller_, CP_SHAPE, SLOT_SHAPE), shape_);
  EXPECT_EQ(calls().count(HostOp::ResolveClass), 1);
}

TEST_F(LinkTableTest, HostExceptionsPassThroughUnchanged) {
  EXPECT_THROW(callStatic(CP_FAIL, SLOT_FAIL, CallShape("P", 'I'), {1}), HostExceptionPending);
  EXPECT_EQ(vm().pendingClass(), "IOException");
  EXPECT_EQ(vm().pendingCode(), 77);
  vm().clearPending();
  // A null receiver raises the host's null-reference failure.
  EXPECT_THROW(callVirtual(CP_AREA, POS_AREA, CallShape("R", 'I'), {0}), HostExceptionPending);
  EXPECT_EQ(vm().pendingClass(), "NullPointerException");
  vm().clearPending();
  // A failed resolution stores nothing; the next call resolves and fills the pair.
  const uint32_t sq = vm().newInstance(square_);
  calls().failResolution = true;
  EXPECT_THROW(callVirtual(CP_AREA, POS_AREA, CallShape("R", 'I'), {sq}), HostExceptionPending);
  EXPECT_EQ(slots(square_)[2 * POS_AREA], 0u);
  vm().clearPending();
  calls().failResolution = false;
  EXPECT_EQ(callVirtual(CP_AREA, POS_AREA, CallShape("R", 'I'), {sq}), 4u);
}

TEST_F(LinkTableTest, ConcurrentThreadsFillingTheSameSlotsAgree) {
  constexpr int kThreads = 4, kRounds = 2000;
  std::vector<uintptr_t> envs;
  for (int t = 0; t < kThreads; ++t) envs.push_back(vm().attachThread());
  const uint32_t sq = vm().newInstance(square_), ci = vm().newInstance(circle_);
  std::atomic<int> ready{0};
  std::atomic<int> wrong{0};
  std::vector<std::thread> threads;
  for (int t = 0; t < kThreads; ++t) {
    threads.emplace_back([&, t] {
      const HostMemory m(envs[t], host::contextOf(envs[t]));
      ready.fetch_add(1);
      while (ready.load() < kThreads) {
      }
      for (int r = 0; r < kRounds; ++r) {
        const uint32_t a = static_cast<uint32_t>(r);
        const uint32_t s = r % 2 == 0 ? sq : ci;
        const uint32_t o = objects_[(r + t) % SUBCLASSES];
        if (LinkTable::callStatic(m, caller_, CP_TWICE, SLOT_TWICE, CallShape("P", 'I'), &a) !=
            2 * a)
          ++wrong;
        if (LinkTable::callVirtual(m, caller_, CP_AREA, POS_AREA, false, CallShape("R", 'I'), &s) !=
            (s == sq ? 4u : 1u))
          ++wrong;
        const uint64_t id =
            LinkTable::callCached(m, caller_, CP_ID, SLOT_CACHE, false, CallShape("R", 'I'), &o);
        if (id != vm().read32(o, host::OFFSET_CLASS)) ++wrong;
        if (LinkTable::getStaticInt(m, caller_, CP_COUNTER, SLOT_COUNTER) != 41) ++wrong;
      }
    });
  }
  for (auto& th : threads) th.join();
  EXPECT_EQ(wrong.load(), 0);
  EXPECT_EQ(slots(caller_)[SLOT_TWICE], reinterpret_cast<uint64_t>(&twice));
  EXPECT_EQ(slots(caller_)[SLOT_TWICE + 1], vm().classNamed("HostUtil"));
  EXPECT_EQ(slots(square_)[2 * POS_AREA], reinterpret_cast<uint64_t>(&area4));
  EXPECT_EQ(slots(circle_)[2 * POS_AREA + 1], shape_);
  // Every cached triple names a receiver class with its own declaring class and entry.
  for (int32_t t = 0; t < host::CACHE_TRIPLES; ++t) {
    const uint64_t* triple = slots(caller_) + SLOT_CACHE + 3 * t;
    if (triple[0] == 0) continue;
    EXPECT_EQ(triple[1], triple[0]);
    EXPECT_EQ(triple[2], reinterpret_cast<uint64_t>(&declaring));
  }
}

}  // namespace
}  // namespace kelvor::testhost
