// Calls into the host through link tables against a direct C++ virtual call: a warm static
// call site, a warm virtual call through the receiver class's table, a warm call-site cache,
// and a cold static call that resolves through the host every time (this benchmark's host
// resolves by returning constants, so the cold figure is the protocol's own cost, not a real
// host's look-up).
#include <benchmark/benchmark.h>

#include <cstdint>
#include <cstring>
#include <memory>

#include "binding/LinkTable.h"
#include "host/HostServices.h"

namespace {

using kelvor::binding::CallShape;
using kelvor::binding::HostMemory;
using kelvor::binding::LinkTable;
namespace host = kelvor::host;

__attribute__((noinline)) uint32_t addOne(uintptr_t, uintptr_t, uint32_t, uint32_t a) {
  return a + 1;
}
__attribute__((noinline)) uint32_t addOneVirtual(uintptr_t, uintptr_t, uint32_t, uint32_t,
                                                 uint32_t a) {
  return a + 1;
}

struct Adder {
  virtual ~Adder() = default;
  virtual uint32_t add(uint32_t a) = 0;
};
struct AddOne final : Adder {
  __attribute__((noinline)) uint32_t add(uint32_t a) override { return a + 1; }
};

// A heap of three objects: the calling class, the receiver's class and the receiver.
constexpr uint32_t CALLER = 8, RECEIVER_CLASS = 64, RECEIVER = 128;
constexpr int32_t SLOT_STATIC = 0, SLOT_CACHE = 2, POSITION = 5;

struct World {
  alignas(8) uint8_t heap[256] = {};
  uint64_t callerTable[1 + 32] = {32};
  uint64_t receiverTable[1 + 16] = {16};
  host::ThreadContext ctx{};

  World() {
    ctx.heapBase = reinterpret_cast<uintptr_t>(heap);
    ctx.heapSize = sizeof heap;
    put64(CALLER + host::FIELD_CLASS_LINK_TABLE, reinterpret_cast<uint64_t>(callerTable));
    put64(RECEIVER_CLASS + host::FIELD_CLASS_LINK_TABLE, reinterpret_cast<uint64_t>(receiverTable));
    put32(RECEIVER + host::OFFSET_HEADER, host::KIND_INSTANCE);
    put32(RECEIVER + host::OFFSET_CLASS, RECEIVER_CLASS);
  }
  void put32(uint32_t at, uint32_t v) { std::memcpy(heap + at, &v, 4); }
  void put64(uint32_t at, uint64_t v) { std::memcpy(heap + at, &v, 8); }
  HostMemory memory() { return HostMemory(reinterpret_cast<uintptr_t>(&ctx), &ctx); }
};

void BM_DirectVirtualCall(benchmark::State& state) {
  std::unique_ptr<Adder> adder = std::make_unique<AddOne>();
  Adder* a = adder.get();
  uint32_t x = 0;
  for (auto _ : state) {
    benchmark::DoNotOptimize(a);
    x = a->add(x);
  }
  benchmark::DoNotOptimize(x);
}
BENCHMARK(BM_DirectVirtualCall);

void BM_WarmStaticCallSite(benchmark::State& state) {
  World w;
  const HostMemory m = w.memory();
  uint32_t x = 0;
  for (auto _ : state) {
    x = static_cast<uint32_t>(
        LinkTable::callStatic(m, CALLER, 100, SLOT_STATIC, CallShape("P", 'I'), &x));
  }
  benchmark::DoNotOptimize(x);
}
BENCHMARK(BM_WarmStaticCallSite);

void BM_WarmVirtualCall(benchmark::State& state) {
  World w;
  const HostMemory m = w.memory();
  uint32_t words[2] = {RECEIVER, 0};
  for (auto _ : state) {
    words[1] = static_cast<uint32_t>(
        LinkTable::callVirtual(m, CALLER, 101, POSITION, false, CallShape("RP", 'I'), words));
  }
  benchmark::DoNotOptimize(words[1]);
}
BENCHMARK(BM_WarmVirtualCall);

void BM_WarmCallSiteCache(benchmark::State& state) {
  World w;
  const HostMemory m = w.memory();
  uint32_t words[2] = {RECEIVER, 0};
  for (auto _ : state) {
    words[1] = static_cast<uint32_t>(
        LinkTable::callCached(m, CALLER, 101, SLOT_CACHE, false, CallShape("RP", 'I'), words));
  }
  benchmark::DoNotOptimize(words[1]);
}
BENCHMARK(BM_WarmCallSiteCache);

void BM_ColdStaticCallSite(benchmark::State& state) {
  World w;
  const HostMemory m = w.memory();
  uint32_t x = 0;
  for (auto _ : state) {
    w.callerTable[1 + SLOT_STATIC] = 0;  // forget the pair: every call resolves
    x = static_cast<uint32_t>(
        LinkTable::callStatic(m, CALLER, 100, SLOT_STATIC, CallShape("P", 'I'), &x));
  }
  benchmark::DoNotOptimize(x);
}
BENCHMARK(BM_ColdStaticCallSite);

}  // namespace

// The host operations the call sites use, as a host with one static and one virtual method.
#define BENCH_EXPORT extern "C" __attribute__((visibility("default")))
BENCH_EXPORT uintptr_t hostResolveStaticMethod(uintptr_t, uint32_t, int32_t,
                                               uint32_t* declaringClass) {
  *declaringClass = CALLER;
  return 1;
}
BENCH_EXPORT uintptr_t hostResolveVirtualMethod(uintptr_t, uint32_t, uint32_t, int32_t,
                                                uint32_t* declaringClass) {
  *declaringClass = RECEIVER_CLASS;
  return 2;
}
BENCH_EXPORT int32_t hostHasNativeCode(uintptr_t, uintptr_t) { return 1; }
BENCH_EXPORT int32_t hostNativeCodeIndex(uintptr_t, uintptr_t method) {
  return static_cast<int32_t>(method);
}
BENCH_EXPORT uintptr_t hostNativeCodeEntry(uintptr_t, uint32_t, int32_t index) {
  return index == 1 ? reinterpret_cast<uintptr_t>(&addOne)
                    : reinterpret_cast<uintptr_t>(&addOneVirtual);
}
