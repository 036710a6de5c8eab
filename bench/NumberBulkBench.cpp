// The NUMBER bulk paths against element-by-element reads: one million small integers, once as
// fixed 23-byte slots of a linear image and once as data values of a pickled image, read into
// an int array by unpickleFixedNumberArray / unpickleNumberArray ("bulk"), and read one
// element at a time into a NumberValue whose int is then stored ("per_value"), as a reader
// without the bulk paths would. "per_element" is the time per element; the speed-up is the
// ratio of the per_value and bulk times of the same layout and argument.
#include <benchmark/benchmark.h>

#include <cstdint>
#include <cstring>
#include <random>
#include <vector>

#include "driver/NumberValue.h"
#include "image/PickleContext.h"
#include "image/UnpickleContext.h"
#include "lang/Array.h"
#include "scalar/KelvorTypeNUMBER.h"

namespace {

using kelvor::jdbc::NumberValue;
using kelvor::jdbc::kelcore::KelvorTypeNUMBER;
using kelvor::jdbc::kelcore::PickleContext;
using kelvor::jdbc::kelcore::UnpickleContext;
using kelvor::lang::ByteArray;
using kelvor::lang::IntArray;
using kelvor::lang::Ref;

constexpr int32_t ELEMENTS = 1'000'000;
constexpr int32_t STRIDE = KelvorTypeNUMBER::FIXED_NUMBER_STRIDE;

// Random integers in [-limit, limit], the same for every run.
std::vector<int32_t> makeValues(int32_t limit) {
  std::mt19937 random(20261207);
  std::uniform_int_distribution<int32_t> pick(-limit, limit);
  std::vector<int32_t> values(ELEMENTS);
  for (int32_t& v : values) v = pick(random);
  return values;
}

Ref<ByteArray> fixedSlots(const std::vector<int32_t>& values) {
  auto image = ByteArray::make(int64_t{STRIDE} * ELEMENTS);
  int8_t* slot = image->data();
  for (const int32_t v : values) {
    const NumberValue n(v);
    const ByteArray& form = *n.shareBytes();
    slot[1] = static_cast<int8_t>(form.length());
    std::memcpy(slot + 2, form.data(), static_cast<size_t>(form.length()));
    slot += STRIDE;
  }
  return image;
}

Ref<ByteArray> dataValues(const std::vector<int32_t>& values) {
  std::vector<int8_t> bytes;
  for (const int32_t v : values) {
    const NumberValue n(v);
    const ByteArray& form = *n.shareBytes();
    bytes.push_back(static_cast<int8_t>(form.length()));
    bytes.insert(bytes.end(), form.data(), form.data() + form.length());
  }
  return ByteArray::copyOf(bytes.data(), static_cast<int32_t>(bytes.size()));
}

void perElement(benchmark::State& state) {
  state.counters["per_element"] = benchmark::Counter(
      ELEMENTS, benchmark::Counter::kIsIterationInvariantRate | benchmark::Counter::kInvert);
}

int32_t intOf(const Ref<kelvor::lang::Object>& value) {
  return value ? static_cast<NumberValue&>(*value).intValue() : 0;
}

void fixedBulk(benchmark::State& state) {
  const auto image = fixedSlots(makeValues(static_cast<int32_t>(state.range(0))));
  for (auto _ : state) {
    UnpickleContext ctx(image, 0, nullptr, nullptr, 0);
    auto out = KelvorTypeNUMBER::unpickleFixedNumberArray(ctx, 1, ELEMENTS,
                                                          KelvorTypeNUMBER::ACCESS_INT_ARRAY);
    benchmark::DoNotOptimize(out.get());
  }
  perElement(state);
}

void fixedPerValue(benchmark::State& state) {
  const auto image = fixedSlots(makeValues(static_cast<int32_t>(state.range(0))));
  for (auto _ : state) {
    UnpickleContext ctx(image, 0, nullptr, nullptr, 0);
    auto out = IntArray::make(ELEMENTS);
    for (int32_t i = 0; i < ELEMENTS; ++i) {
      (*out)[i] = intOf(KelvorTypeNUMBER::unpickleNumber(
          0, 0, ctx, 2, KelvorTypeNUMBER::STYLE_SQL_VALUE, nullptr));
    }
    benchmark::DoNotOptimize(out.get());
  }
  perElement(state);
}

void pickledBulk(benchmark::State& state) {
  const auto image = dataValues(makeValues(static_cast<int32_t>(state.range(0))));
  for (auto _ : state) {
    PickleContext ctx(image);
    auto out = KelvorTypeNUMBER::unpickleNumberArray(ctx, 1, ELEMENTS,
                                                     KelvorTypeNUMBER::ACCESS_INT_ARRAY);
    benchmark::DoNotOptimize(out.get());
  }
  perElement(state);
}

void pickledPerValue(benchmark::State& state) {
  const auto image = dataValues(makeValues(static_cast<int32_t>(state.range(0))));
  auto descriptor = kelvor::lang::makeRef<KelvorTypeNUMBER>();
  for (auto _ : state) {
    PickleContext ctx(image);
    auto out = IntArray::make(ELEMENTS);
    for (int32_t i = 0; i < ELEMENTS; ++i) {
      (*out)[i] = intOf(descriptor->unpickle(ctx, KelvorTypeNUMBER::STYLE_SQL_VALUE, nullptr));
    }
    benchmark::DoNotOptimize(out.get());
  }
  perElement(state);
}

// The argument is the largest magnitude of the integers; at 2*10^9 most have 10 digits, which
// the bulk readers' block decoder leaves to the others.
BENCHMARK(fixedBulk)->Arg(99)->Arg(99999)->Arg(1999999999)->Unit(benchmark::kMillisecond);
BENCHMARK(fixedPerValue)->Arg(99)->Arg(99999)->Unit(benchmark::kMillisecond);
BENCHMARK(pickledBulk)->Arg(99)->Arg(99999)->Arg(1999999999)->Unit(benchmark::kMillisecond);
BENCHMARK(pickledPerValue)->Arg(99)->Arg(99999)->Unit(benchmark::kMillisecond);

}  // namespace
