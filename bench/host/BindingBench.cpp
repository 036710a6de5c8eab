// The cost of the binding on a trivial getter (KelvorTypeSINT32.getTypeCode, a virtual call in
// C++): (a) called directly in C++, (b) through its compiled-method adapter, (c) through its
// invoker stub with argument slots, as a host's interpreter calls it.
#include <benchmark/benchmark.h>

#include "lang/Ref.h"
#include "scalar/KelvorTypeSINT32.h"
#include "tests/host/TestHost.h"

namespace {

using kelvor::testhost::Slots;
using kelvor::testhost::TestVm;

constexpr int32_t GET_TYPE_CODE = 1;  // KelvorTypeSINT32's method table

struct Host {
  TestVm vm;
  uint32_t self = 0;
  Host() {
    vm.bindAll(KELCORE_LIBRARY_PATH);
    self = vm.newInstance(vm.classNamed("KelvorTypeSINT32"));
    vm.invoke("KelvorTypeSINT32", 0, Slots().r(self));  // the constructor
  }
};

Host& host() {
  static Host* h = new Host();
  return *h;
}

void directCall(benchmark::State& state) {
  kelvor::lang::Ref<kelvor::jdbc::kelcore::KelvorType> t =
      kelvor::lang::makeRef<kelvor::jdbc::kelcore::KelvorTypeSINT32>();
  kelvor::jdbc::kelcore::KelvorType* p = t.get();
  for (auto _ : state) {
    benchmark::DoNotOptimize(p);
    benchmark::DoNotOptimize(p->getTypeCode());
  }
}

void throughAdapter(benchmark::State& state) {
  Host& h = host();
  const auto& b = h.vm.bound("KelvorTypeSINT32");
  using Method = uint32_t (*)(uintptr_t, uintptr_t, uint32_t, uint32_t);
  auto method = reinterpret_cast<Method>(b.codeTable[1 + GET_TYPE_CODE]);
  kelvor::host::FrameRecord caller{0, 0, b.classRef};
  const uintptr_t env = h.vm.env();
  uint32_t self = h.self;
  for (auto _ : state) {
    benchmark::DoNotOptimize(self);
    benchmark::DoNotOptimize(method(env, reinterpret_cast<uintptr_t>(&caller), b.classRef, self));
  }
  if (h.vm.pending() != 0) state.SkipWithError("the getter raised");
}

void throughStub(benchmark::State& state) {
  Host& h = host();
  const auto& b = h.vm.bound("KelvorTypeSINT32");
  auto stub = reinterpret_cast<kelvor::host::StubWithResult>(b.pairs[2 * GET_TYPE_CODE + 1]);
  const uintptr_t env = h.vm.env();
  uint64_t args[1] = {uint64_t{h.self} << 32};
  uint64_t result[1] = {0};
  for (auto _ : state) {
    benchmark::DoNotOptimize(args);
    benchmark::DoNotOptimize(stub(env, b.classRef, args, result));
    benchmark::DoNotOptimize(result);
  }
  if (result[0] != 2002u && result[0] == 0) state.SkipWithError("no result");
}

BENCHMARK(directCall);
BENCHMARK(throughAdapter);
BENCHMARK(throughStub);

}  // namespace
