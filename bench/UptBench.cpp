// An object holding a collection of 1,000 objects of 5 number attributes, reached through two
// UPTs (the collection attribute, FB, and the object element, FA): toImage, and fromImage with
// every element decoded (elements read as SQL values keep their images until first access, so
// the read touches each one). Reported per element.
#include <benchmark/benchmark.h>

#include <string>

#include "adt/KelvorTypeADT.h"
#include "catalog/MemoryCatalog.h"
#include "catalog/TypeDefinition.h"
#include "driver/ArrayDescriptor.h"
#include "driver/ArrayValue.h"
#include "driver/MemoryConnection.h"
#include "driver/NumberValue.h"
#include "driver/ObjectValue.h"

namespace {

using kelvor::catalog::AttributeType;
using kelvor::catalog::MemoryCatalog;
using kelvor::catalog::TypeDefinition;
using kelvor::jdbc::ArrayDescriptor;
using kelvor::jdbc::ArrayValue;
using kelvor::jdbc::MemoryConnection;
using kelvor::jdbc::NumberValue;
using kelvor::jdbc::ObjectDescriptor;
using kelvor::jdbc::ObjectValue;
using kelvor::jdbc::kelcore::KelvorTypeADT;
using kelvor::lang::ByteArray;
using kelvor::lang::makeRef;
using kelvor::lang::ObjectArray;
using kelvor::lang::Ref;

constexpr int kElements = 1000;
constexpr int kAttributes = 5;

struct Fixture {
  Fixture() {
    TypeDefinition item("BENCH", "ITEM");
    for (int i = 0; i < kAttributes; ++i) {
      item.addAttribute("A" + std::to_string(i), AttributeType::numberType(10, 0));
    }
    const TypeDefinition items =
        TypeDefinition::collectionType("BENCH", "ITEMS", AttributeType::embeddedType(item), 0);
    TypeDefinition holder("BENCH", "HOLDER");
    holder.addAttribute("ID", AttributeType::numberType(10, 0))
        .addAttribute("ITEMS", AttributeType::collectionAttribute(items));
    type = MemoryCatalog::registerType(*conn, holder)->getKelvorType();

    auto itemDescriptor = ObjectDescriptor::createDescriptor("BENCH.ITEM", conn.get());
    auto elements = ObjectArray::make(kElements);
    for (int e = 0; e < kElements; ++e) {
      auto attributes = ObjectArray::make(kAttributes);
      for (int a = 0; a < kAttributes; ++a) attributes->set(a, makeRef<NumberValue>(e * 10 + a));
      elements->set(e, makeRef<ObjectValue>(itemDescriptor, conn.get(), attributes));
    }
    auto list = makeRef<ArrayValue>(ArrayDescriptor::createDescriptor("BENCH.ITEMS", conn.get()),
                                    conn.get(), elements.get());
    auto attributes = ObjectArray::make(2);
    attributes->set(0, makeRef<NumberValue>(1));
    attributes->set(1, list);
    value = makeRef<ObjectValue>(ObjectDescriptor::createDescriptor("BENCH.HOLDER", conn.get()),
                                 conn.get(), attributes);
    image = type->toImage(value.get());
  }
  Ref<MemoryConnection> conn = makeRef<MemoryConnection>();
  Ref<KelvorTypeADT> type;
  Ref<ObjectValue> value;
  Ref<ByteArray> image;
};

void perElement(benchmark::State& state) {
  state.counters["ns_per_element"] = benchmark::Counter(
      static_cast<double>(state.iterations()) * kElements,
      benchmark::Counter::kIsRate | benchmark::Counter::kInvert);
}

void BM_UptWriteObjectWith1000Objects(benchmark::State& state) {
  Fixture f;
  for (auto _ : state) benchmark::DoNotOptimize(f.type->toImage(f.value.get()));
  perElement(state);
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * f.image->length());
}
BENCHMARK(BM_UptWriteObjectWith1000Objects);

void BM_UptReadObjectWith1000Objects(benchmark::State& state) {
  Fixture f;
  for (auto _ : state) {
    auto read = kelvor::lang::dynamicRef<ObjectValue>(
        f.type->fromImage(f.image.get(), 0, nullptr, 1, nullptr));
    auto* list = static_cast<ArrayValue*>(read->getAttributes()->at(1));
    Ref<ObjectArray> elements = list->getSqlValueElements();
    int64_t sum = 0;
    for (int32_t e = 0; e < elements->length(); ++e) {
      auto* item = static_cast<ObjectValue*>(elements->at(e));
      sum += static_cast<NumberValue*>(item->getAttributes()->at(kAttributes - 1))->intValue();
    }
    benchmark::DoNotOptimize(sum);
  }
  perElement(state);
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * f.image->length());
}
BENCHMARK(BM_UptReadObjectWith1000Objects);

}  // namespace
