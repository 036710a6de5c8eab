// Collection images of one million NUMBER elements: writing the pickled image, reading it and
// the equivalent linear image back as SQL values and as an int array, and reading a 10-element
// slice at the end twice through one value with indexing on (the second read starts at the
// recorded offset). Times are per whole operation.
#include <benchmark/benchmark.h>

#include <cstdint>
#include <vector>

#include "collection/KelvorTypeCOLLECTION.h"
#include "driver/ArrayDescriptor.h"
#include "driver/ArrayValue.h"
#include "driver/MemoryConnection.h"
#include "driver/NumberValue.h"
#include "lang/Array.h"
#include "scalar/KelvorTypeNUMBER.h"

namespace {

using kelvor::jdbc::ArrayDescriptor;
using kelvor::jdbc::ArrayValue;
using kelvor::jdbc::MemoryConnection;
using kelvor::jdbc::NumberValue;
using kelvor::jdbc::kelcore::KelvorTypeCOLLECTION;
using kelvor::jdbc::kelcore::KelvorTypeNUMBER;
using kelvor::lang::ByteArray;
using kelvor::lang::makeRef;
using kelvor::lang::Ref;

constexpr int32_t ELEMENTS = 1'000'000;

void putUB4(std::vector<int8_t>& out, int64_t v) {
  for (int shift = 24; shift >= 0; shift -= 8) out.push_back(static_cast<int8_t>((v >> shift) & 0xFF));
}

struct Fixture {
  Fixture() {
    connection = makeRef<MemoryConnection>();
    // header 28 entry 42 NUMBER
    std::vector<int8_t> tds = {0, 0, 0, 0, 38, 1, 0, 0, 0, 0, 0, 41, 0, 0, 0, 0, 0, 0, 28};
    putUB4(tds, 29);
    putUB4(tds, 0);
    tds.insert(tds.end(), {1, 42, 3, 10, 0});
    MemoryConnection::TypeInfo info;
    info.tds = ByteArray::copyOf(tds.data(), static_cast<int32_t>(tds.size()));
    info.attributes = {{"", "NUMBER", "SYS"}};
    connection->addType("S.NUMS", info);
    connection->setServerFormatDescriptor(ByteArray::make(32));
    descriptor = ArrayDescriptor::createDescriptor("S.NUMS", connection.get());
    type = descriptor->getKelvorType();
    auto ints = kelvor::lang::IntArray::make(ELEMENTS);
    for (int32_t i = 0; i < ELEMENTS; ++i) (*ints)[i] = static_cast<int32_t>((int64_t{i} * 7919) % 100000) - 50000;
    value = makeRef<ArrayValue>(descriptor, connection.get(), ints.get());
    pickled = type->toImage(value.get());
    linear = linearImage(*value->getSqlValueElements());
  }

  static Ref<ByteArray> linearImage(const kelvor::lang::ObjectArray& elements) {
    std::vector<int8_t> part;
    putUB4(part, elements.length());
    part.push_back(0);
    for (int32_t i = 0; i < elements.length(); ++i) {
      const auto& form = *static_cast<const NumberValue*>(elements.at(i))->shareBytes();
      const size_t at = part.size();
      part.resize(at + KelvorTypeNUMBER::FIXED_NUMBER_STRIDE, 0);
      part[at + 1] = static_cast<int8_t>(form.length());
      for (int32_t j = 0; j < form.length(); ++j) part[at + 2 + static_cast<size_t>(j)] = form[j];
    }
    std::vector<int8_t> image;
    putUB4(image, static_cast<int64_t>(part.size()) + 2 + 4 + 1 + 4);
    image.insert(image.end(), {0, 0});
    putUB4(image, 1);
    image.push_back(1);
    putUB4(image, static_cast<int64_t>(part.size()));
    image.insert(image.end(), part.begin(), part.end());
    return ByteArray::copyOf(image.data(), static_cast<int32_t>(image.size()));
  }

  Ref<MemoryConnection> connection;
  Ref<ArrayDescriptor> descriptor;
  Ref<KelvorTypeCOLLECTION> type;
  Ref<ArrayValue> value;
  Ref<ByteArray> pickled;
  Ref<ByteArray> linear;
};

Fixture& fixture() {
  static Fixture f;
  return f;
}

void BM_WritePickled(benchmark::State& state) {
  Fixture& f = fixture();
  for (auto _ : state) benchmark::DoNotOptimize(f.type->toImage(f.value.get()));
}

void read(benchmark::State& state, bool linear, int32_t style) {
  Fixture& f = fixture();
  const ByteArray* image = linear ? f.linear.get() : f.pickled.get();
  for (auto _ : state) benchmark::DoNotOptimize(f.type->fromImage(image, 0, nullptr, style, nullptr));
}

void BM_ReadPickledSqlValues(benchmark::State& s) { read(s, false, 1); }
void BM_ReadPickledIntArray(benchmark::State& s) { read(s, false, KelvorTypeNUMBER::ACCESS_INT_ARRAY); }
void BM_ReadLinearSqlValues(benchmark::State& s) { read(s, true, 1); }
void BM_ReadLinearIntArray(benchmark::State& s) { read(s, true, KelvorTypeNUMBER::ACCESS_INT_ARRAY); }

// Arg 0: the first read of the tail slice (steps over 999,990 elements, recording them);
// arg 1: the second read through the same value (starts at the recorded offset).
void BM_PickledTailSliceIndexed(benchmark::State& state) {
  Fixture& f = fixture();
  const bool second = state.range(0) == 1;
  for (auto _ : state) {
    state.PauseTiming();
    auto v = makeRef<ArrayValue>(f.descriptor, Ref<ByteArray>(), f.connection.get());
    v->setIndexingMode(1);
    if (second) (void)f.type->fromImage(f.pickled.get(), 0, v.get(), ELEMENTS - 9, 10, 1, nullptr);
    state.ResumeTiming();
    benchmark::DoNotOptimize(f.type->fromImage(f.pickled.get(), 0, v.get(), ELEMENTS - 9, 10, 1, nullptr));
  }
}

BENCHMARK(BM_WritePickled)->Iterations(5)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ReadPickledSqlValues)->Iterations(5)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ReadPickledIntArray)->Iterations(5)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ReadLinearSqlValues)->Iterations(5)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ReadLinearIntArray)->Iterations(5)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_PickledTailSliceIndexed)->Arg(0)->Arg(1)->Iterations(5)->Unit(benchmark::kMicrosecond);

}  // namespace
