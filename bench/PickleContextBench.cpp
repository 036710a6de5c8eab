// Scalar data values through PickleContext: one million values of 10 and of 300 bytes written
// (writeLength + writeData each) and read back (readDataValue), against memcpy of the same
// bytes. The monitor and allocation benchmarks split the costs that the context itself does
// not control: every stream append holds the stream's monitor, and every value read is a new
// array.
#include <benchmark/benchmark.h>

#include <cstring>
#include <memory>
#include <mutex>
#include <vector>

#include "image/PickleContext.h"
#include "lang/Array.h"

namespace {

using kelvor::jdbc::kelcore::PickleContext;
using kelvor::lang::ByteArray;
using kelvor::lang::Ref;

constexpr int32_t kValues = 1'000'000;

int64_t imageBytes(int32_t len) {
  return int64_t{kValues} * (len + PickleContext::lengthFieldSize(len));
}

Ref<ByteArray> valueOf(int32_t len) {
  Ref<ByteArray> data = ByteArray::make(len);
  for (int32_t i = 0; i < len; ++i) (*data)[i] = static_cast<int8_t>(i * 7);
  return data;
}

Ref<ByteArray> imageOf(int32_t len) {
  const Ref<ByteArray> data = valueOf(len);
  PickleContext ctx;
  ctx.initStream(static_cast<int32_t>(imageBytes(len)));
  for (int32_t i = 0; i < kValues; ++i) {
    (void)ctx.writeLength(len);
    (void)ctx.writeData(data.get());
  }
  return ctx.toByteArray();
}

// kValues length-and-data pairs through writeLength and writeData; the stream starts at its
// default capacity (growth included) or sized in advance.
void writeValues(benchmark::State& state, bool presized) {
  const auto len = static_cast<int32_t>(state.range(0));
  const Ref<ByteArray> data = valueOf(len);
  for (auto _ : state) {
    PickleContext ctx;
    if (presized) {
      ctx.initStream(static_cast<int32_t>(imageBytes(len)));
    } else {
      ctx.initStream();
    }
    int32_t total = 0;
    for (int32_t i = 0; i < kValues; ++i) {
      total += ctx.writeLength(len);
      total += ctx.writeData(data.get());
    }
    benchmark::DoNotOptimize(total);
  }
  state.SetBytesProcessed(state.iterations() * imageBytes(len));
}

void BM_PickleWrite(benchmark::State& state) { writeValues(state, false); }
BENCHMARK(BM_PickleWrite)->Arg(10)->Arg(300)->Unit(benchmark::kMillisecond);

void BM_PickleWritePresized(benchmark::State& state) { writeValues(state, true); }
BENCHMARK(BM_PickleWritePresized)->Arg(10)->Arg(300)->Unit(benchmark::kMillisecond);

// The same bytes through writeDataValue: one monitor hold per value instead of two.
void BM_PickleWriteDataValue(benchmark::State& state) {
  const auto len = static_cast<int32_t>(state.range(0));
  const Ref<ByteArray> data = valueOf(len);
  for (auto _ : state) {
    PickleContext ctx;
    ctx.initStream(static_cast<int32_t>(imageBytes(len)));
    int32_t total = 0;
    for (int32_t i = 0; i < kValues; ++i) total += ctx.writeDataValue(data->data(), len);
    benchmark::DoNotOptimize(total);
  }
  state.SetBytesProcessed(state.iterations() * imageBytes(len));
}
BENCHMARK(BM_PickleWriteDataValue)->Arg(10)->Arg(300)->Unit(benchmark::kMillisecond);

void BM_PickleRead(benchmark::State& state) {
  const auto len = static_cast<int32_t>(state.range(0));
  const Ref<ByteArray> image = imageOf(len);
  for (auto _ : state) {
    PickleContext ctx(image);
    for (int32_t i = 0; i < kValues; ++i) {
      Ref<ByteArray> v = ctx.readDataValue();
      benchmark::DoNotOptimize(v.get());
    }
  }
  state.SetBytesProcessed(state.iterations() * imageBytes(len));
}
BENCHMARK(BM_PickleRead)->Arg(10)->Arg(300)->Unit(benchmark::kMillisecond);

// Baseline: one memcpy of the whole image.
void BM_MemcpyBulk(benchmark::State& state) {
  const auto len = static_cast<int32_t>(state.range(0));
  const Ref<ByteArray> image = imageOf(len);
  std::unique_ptr<int8_t[]> dst(new int8_t[static_cast<size_t>(image->length())]);
  for (auto _ : state) {
    std::memcpy(dst.get(), image->data(), static_cast<size_t>(image->length()));
    benchmark::ClobberMemory();
  }
  state.SetBytesProcessed(state.iterations() * imageBytes(len));
}
BENCHMARK(BM_MemcpyBulk)->Arg(10)->Arg(300)->Unit(benchmark::kMillisecond);

// Baseline: the same bytes in the same pieces, a length byte and a memcpy per value.
void BM_MemcpyPerValue(benchmark::State& state) {
  const auto len = static_cast<int32_t>(state.range(0));
  const Ref<ByteArray> data = valueOf(len);
  std::unique_ptr<int8_t[]> dst(new int8_t[static_cast<size_t>(imageBytes(len))]);
  for (auto _ : state) {
    int8_t* p = dst.get();
    for (int32_t i = 0; i < kValues; ++i) {
      *p++ = static_cast<int8_t>(len);
      std::memcpy(p, data->data(), static_cast<size_t>(len));
      p += len;
      benchmark::DoNotOptimize(p);
    }
    benchmark::ClobberMemory();
  }
  state.SetBytesProcessed(state.iterations() * int64_t{kValues} * (len + 1));
}
BENCHMARK(BM_MemcpyPerValue)->Arg(10)->Arg(300)->Unit(benchmark::kMillisecond);

// The stream's monitor taken and released twice per value, as writeLength + writeData do.
void BM_MonitorTwicePerValue(benchmark::State& state) {
  std::recursive_mutex monitor;
  for (auto _ : state) {
    for (int32_t i = 0; i < 2 * kValues; ++i) {
      std::lock_guard<std::recursive_mutex> hold(monitor);
      benchmark::DoNotOptimize(&monitor);
    }
  }
  state.SetItemsProcessed(state.iterations() * kValues);
}
BENCHMARK(BM_MonitorTwicePerValue)->Unit(benchmark::kMillisecond);

// A new array per value, as every readDataValue returns.
void BM_ArrayPerValue(benchmark::State& state) {
  const auto len = static_cast<int32_t>(state.range(0));
  for (auto _ : state) {
    for (int32_t i = 0; i < kValues; ++i) {
      Ref<ByteArray> v = ByteArray::make(len);
      benchmark::DoNotOptimize(v.get());
    }
  }
  state.SetItemsProcessed(state.iterations() * kValues);
}
BENCHMARK(BM_ArrayPerValue)->Arg(10)->Arg(300)->Unit(benchmark::kMillisecond);

}  // namespace
