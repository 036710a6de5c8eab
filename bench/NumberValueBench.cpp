// Decoding of number byte forms the way the collection bulk paths do it: one million small
// integers laid out in 23-byte fixed slots (indicator, length, form), each decoded in place
// from a pointer and a length. "per_element" is the time per decoded form.
#include <benchmark/benchmark.h>

#include <cstdint>
#include <cstring>
#include <random>
#include <vector>

#include "driver/NumberValue.h"

namespace {

using kelvor::jdbc::NumberValue;

constexpr int32_t ELEMENTS = 1'000'000;
constexpr size_t STRIDE = 23;

// Slots of random integers in [-limit, limit], the same for every run.
std::vector<int8_t> makeSlots(int32_t limit) {
  std::mt19937 random(20261207);
  std::uniform_int_distribution<int32_t> pick(-limit, limit);
  std::vector<int8_t> slots(STRIDE * ELEMENTS);
  for (size_t i = 0; i < ELEMENTS; ++i) {
    const NumberValue value(pick(random));
    const auto& form = *value.shareBytes();
    slots[i * STRIDE + 1] = static_cast<int8_t>(form.length());
    std::memcpy(&slots[i * STRIDE + 2], form.data(), static_cast<size_t>(form.length()));
  }
  return slots;
}

template <typename Result, Result (*Decode)(const int8_t*, int32_t)>
void decodeSlots(benchmark::State& state) {
  const std::vector<int8_t> slots = makeSlots(static_cast<int32_t>(state.range(0)));
  std::vector<Result> out(ELEMENTS);
  for (auto _ : state) {
    for (size_t i = 0; i < ELEMENTS; ++i) {
      const int8_t* slot = &slots[i * STRIDE];
      out[i] = Decode(slot + 2, slot[1]);
    }
    benchmark::DoNotOptimize(out.data());
    benchmark::ClobberMemory();
  }
  // seconds per element, printed with an SI prefix ("4.2ns")
  state.counters["per_element"] = benchmark::Counter(
      ELEMENTS, benchmark::Counter::kIsIterationInvariantRate | benchmark::Counter::kInvert);
}

int32_t toInt(const int8_t* b, int32_t n) { return NumberValue::toInt(b, n); }
int64_t toLong(const int8_t* b, int32_t n) { return NumberValue::toLong(b, n); }
double toDouble(const int8_t* b, int32_t n) { return NumberValue::toDouble(b, n); }
float toFloat(const int8_t* b, int32_t n) { return NumberValue::toFloat(b, n); }

// The argument is the largest magnitude of the integers.
BENCHMARK(decodeSlots<int32_t, toInt>)->Arg(99)->Arg(99999)->Unit(benchmark::kMillisecond);
BENCHMARK(decodeSlots<int64_t, toLong>)->Arg(99999)->Unit(benchmark::kMillisecond);
BENCHMARK(decodeSlots<double, toDouble>)->Arg(99)->Arg(99999)->Unit(benchmark::kMillisecond);
BENCHMARK(decodeSlots<float, toFloat>)->Arg(99999)->Unit(benchmark::kMillisecond);

}  // namespace
