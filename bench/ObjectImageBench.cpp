// Parsing a TDS of 1,000 scalar attributes, and toImage/fromImage of object values: one of 10
// scalar attributes (numbers, strings, dates) and one with 3 levels of embedded objects, each
// beside a memcpy of its image. Reported per attribute (leaf) and in image bytes per second.
#include <benchmark/benchmark.h>

#include <cstring>
#include <string>
#include <vector>

#include "adt/KelvorTypeADT.h"
#include "catalog/LinearImageBuilder.h"
#include "catalog/MemoryCatalog.h"
#include "catalog/TDSWriter.h"
#include "catalog/TypeDefinition.h"
#include "driver/CharValue.h"
#include "driver/CharsetConverter.h"
#include "driver/DateValue.h"
#include "driver/MemoryConnection.h"
#include "driver/NumberValue.h"
#include "driver/ObjectValue.h"

namespace {

using kelvor::catalog::AttributeType;
using kelvor::catalog::MemoryCatalog;
using kelvor::catalog::TypeDefinition;
using kelvor::jdbc::MemoryConnection;
using kelvor::jdbc::ObjectDescriptor;
using kelvor::jdbc::ObjectValue;
using kelvor::jdbc::kelcore::KelvorTypeADT;
using kelvor::lang::ByteArray;
using kelvor::lang::makeRef;
using kelvor::lang::Object;
using kelvor::lang::ObjectArray;
using kelvor::lang::Ref;

void BM_ParseTDS1000Scalars(benchmark::State& state) {
  TypeDefinition def("BENCH", "WIDE");
  for (int i = 0; i < 1000; ++i) {
    const std::string name = "A" + std::to_string(i);
    switch (i % 4) {
      case 0: def.addAttribute(name, AttributeType::numberType(10, 2)); break;
      case 1: def.addAttribute(name, AttributeType::varcharType(40)); break;
      case 2: def.addAttribute(name, AttributeType::dateType()); break;
      default: def.addAttribute(name, AttributeType::rawType(16)); break;
    }
  }
  Ref<ByteArray> tds = kelvor::catalog::TDSWriter::write(def);
  for (auto _ : state) {
    auto type = makeRef<KelvorTypeADT>("BENCH.WIDE");
    type->parseTDS(tds, 0);
    benchmark::DoNotOptimize(type->getNumAttributes());
  }
  state.counters["ns_per_attribute"] = benchmark::Counter(
      static_cast<double>(state.iterations()) * 1000, benchmark::Counter::kIsRate |
                                                          benchmark::Counter::kInvert);
}
BENCHMARK(BM_ParseTDS1000Scalars);

// A connection with two types: FLAT (10 scalars) and NESTED (3 levels of embedded objects).
struct Fixture {
  Ref<MemoryConnection> conn = makeRef<MemoryConnection>();
  Ref<ObjectDescriptor> flat;
  Ref<ObjectDescriptor> nested;
  Ref<ObjectValue> flatValue;
  Ref<ObjectValue> nestedValue;
  int32_t flatLeaves = 10;
  int32_t nestedLeaves = 0;

  Fixture() {
    TypeDefinition f("BENCH", "FLAT");
    for (int i = 0; i < 10; ++i) {
      const std::string name = "A" + std::to_string(i);
      if (i % 3 == 0) f.addAttribute(name, AttributeType::numberType(12, 2));
      else if (i % 3 == 1) f.addAttribute(name, AttributeType::varcharType(40));
      else f.addAttribute(name, AttributeType::dateType());
    }
    flat = MemoryCatalog::registerType(*conn, f);
    flatValue = makeRef<ObjectValue>(flat, conn.get(), flatAttributes());

    // L3 (NUMBER, VARCHAR) inside L2 (L3, DATE) inside L1 (L2, NUMBER) inside NESTED (L1, VARCHAR)
    TypeDefinition l3("BENCH", "L3");
    l3.addAttribute("N", AttributeType::numberType(12, 2)).addAttribute("S", AttributeType::varcharType(40));
    TypeDefinition l2("BENCH", "L2");
    l2.addAttribute("O", AttributeType::embeddedType(l3)).addAttribute("D", AttributeType::dateType());
    TypeDefinition l1("BENCH", "L1");
    l1.addAttribute("O", AttributeType::embeddedType(l2)).addAttribute("N", AttributeType::numberType(12, 2));
    TypeDefinition top("BENCH", "NESTED");
    top.addAttribute("O", AttributeType::embeddedType(l1)).addAttribute("S", AttributeType::varcharType(40));
    nested = MemoryCatalog::registerType(*conn, top);
    nestedLeaves = 5;
    auto v3 = makeRef<ObjectValue>(ObjectDescriptor::createDescriptor("BENCH.L3", conn.get()), conn.get(),
                                   ObjectArray::of({number(42), text("level three")}));
    auto v2 = makeRef<ObjectValue>(ObjectDescriptor::createDescriptor("BENCH.L2", conn.get()), conn.get(),
                                   ObjectArray::of({v3, date()}));
    auto v1 = makeRef<ObjectValue>(ObjectDescriptor::createDescriptor("BENCH.L1", conn.get()), conn.get(),
                                   ObjectArray::of({v2, number(7)}));
    nestedValue = makeRef<ObjectValue>(nested, conn.get(), ObjectArray::of({v1, text("top")}));
  }

  static Ref<Object> number(int64_t n) { return makeRef<kelvor::jdbc::NumberValue>(n); }
  static Ref<Object> text(const char* s) { return kelvor::lang::String::of(s); }
  static Ref<Object> date() { return kelvor::lang::String::of("2026-03-05 14:07:09"); }
  Ref<ObjectArray> flatAttributes() {
    auto a = ObjectArray::make(10);
    for (int32_t i = 0; i < 10; ++i) {
      a->set(i, i % 3 == 0 ? number(1234567 + i) : i % 3 == 1 ? text("a string of some length") : date());
    }
    return a;
  }
};

Fixture& fixture() {
  static Fixture f;
  return f;
}

void reportImage(benchmark::State& state, int32_t leaves, int32_t imageBytes) {
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * imageBytes);
  state.counters["ns_per_attribute"] = benchmark::Counter(
      static_cast<double>(state.iterations()) * leaves,
      benchmark::Counter::kIsRate | benchmark::Counter::kInvert);
}

void BM_ToImage(benchmark::State& state) {
  Fixture& f = fixture();
  const bool nestedCase = state.range(0) != 0;
  KelvorTypeADT& type = *(nestedCase ? f.nested : f.flat)->getKelvorType();
  ObjectValue* value = (nestedCase ? f.nestedValue : f.flatValue).get();
  int32_t size = 0;
  for (auto _ : state) {
    Ref<ByteArray> image = type.toImage(value);
    size = image->length();
    benchmark::DoNotOptimize(image.get());
  }
  reportImage(state, nestedCase ? f.nestedLeaves : f.flatLeaves, size);
}
BENCHMARK(BM_ToImage)->Arg(0)->Arg(1)->ArgName("nested");

// layout 0: pickled, 1: linear
void BM_FromImage(benchmark::State& state) {
  Fixture& f = fixture();
  const bool nestedCase = state.range(0) != 0;
  KelvorTypeADT& type = *(nestedCase ? f.nested : f.flat)->getKelvorType();
  ObjectValue* value = (nestedCase ? f.nestedValue : f.flatValue).get();
  Ref<ByteArray> image = state.range(1) == 0 ? type.toImage(value)
                                             : kelvor::catalog::LinearImageBuilder::build(type, value);
  for (auto _ : state) {
    Ref<Object> back = type.fromImage(image.get(), 0, nullptr, 1, nullptr);
    benchmark::DoNotOptimize(back.get());
  }
  reportImage(state, nestedCase ? f.nestedLeaves : f.flatLeaves, image->length());
}
BENCHMARK(BM_FromImage)->ArgsProduct({{0, 1}, {0, 1}})->ArgNames({"nested", "linear"});

void BM_MemcpyImage(benchmark::State& state) {
  Fixture& f = fixture();
  const bool nestedCase = state.range(0) != 0;
  Ref<ByteArray> image = (nestedCase ? f.nested : f.flat)->getKelvorType()->toImage(
      (nestedCase ? f.nestedValue : f.flatValue).get());
  std::vector<int8_t> target(static_cast<size_t>(image->length()));
  for (auto _ : state) {
    std::memcpy(target.data(), image->data(), target.size());
    benchmark::DoNotOptimize(target.data());
    benchmark::ClobberMemory();
  }
  reportImage(state, nestedCase ? f.nestedLeaves : f.flatLeaves, image->length());
}
BENCHMARK(BM_MemcpyImage)->Arg(0)->Arg(1)->ArgName("nested");

}  // namespace
