// Descriptors are shared between threads once parsed, and several of their answers are filled
// on first use. Each test hands one freshly parsed descriptor to several threads released
// together, round after round, and checks that they agree on what was filled; under
// ThreadSanitizer the same tests show any fill that is not published safely.
#include <gtest/gtest.h>

#include <functional>
#include <latch>
#include <set>
#include <thread>
#include <vector>

#include "adt/KelvorTypeADT.h"
#include "catalog/MemoryCatalog.h"
#include "catalog/TypeDefinition.h"
#include "collection/KelvorTypeCOLLECTION.h"
#include "driver/ArrayDescriptor.h"
#include "driver/ArrayValue.h"
#include "driver/MemoryConnection.h"
#include "driver/NumberValue.h"
#include "driver/ObjectDescriptor.h"
#include "driver/ObjectValue.h"
#include "tests/types/TypeTestSupport.h"
#include "types/KelvorTypeREF.h"

namespace kelvor::jdbc::kelcore {
namespace {

using lang::makeRef;
using typetest::append;
using typetest::bytesOf;
using typetest::tdsHeader;
using typetest::ub4;
using V = std::vector<int>;

constexpr int THREADS = 4;
constexpr int ROUNDS = 100;

// Runs body(i) for i in 0..THREADS-1, each on its own thread, all released at once.
void together(const std::function<void(int)>& body) {
  std::latch start(THREADS);
  std::vector<std::thread> threads;
  for (int i = 0; i < THREADS; ++i) {
    threads.emplace_back([&, i] {
      start.arrive_and_wait();
      body(i);
    });
  }
  for (std::thread& t : threads) t.join();
}

Ref<KelvorTypeADT> parsedUnder(Ref<KelvorTypeADT> t, const V& attributes) {
  V tds = tdsHeader();
  append(tds, attributes);
  t->parseTDS(bytesOf(tds), 0);
  return t;
}

TEST(ConcurrentLazyFillTest, RefBuildsOneObjectDescriptorThatEveryThreadGets) {
  for (int round = 0; round < ROUNDS; ++round) {
    // Unnamed (it builds a type under the same parent) and named (the factory's) alike.
    auto ref = round % 2 == 0 ? makeRef<KelvorTypeREF>() : makeRef<KelvorTypeREF>("S.T", nullptr);
    std::vector<const ObjectDescriptor*> seen(THREADS);
    together([&](int i) { seen[i] = ref->getObjectDescriptor().get(); });
    EXPECT_NE(seen[0], nullptr);
    EXPECT_EQ(std::set<const ObjectDescriptor*>(seen.begin(), seen.end()).size(), 1u) << round;
    EXPECT_EQ(ref->getDescriptor().get(), seen[0]);
  }
}

TEST(ConcurrentLazyFillTest, ObjectTypeConversionsShareOneObjectDescriptor) {
  for (int round = 0; round < ROUNDS; ++round) {
    // Unnamed: its object descriptor wraps a copy of the parsed type.
    auto t = parsedUnder(makeRef<KelvorTypeADT>(static_cast<KelvorTypeADT*>(nullptr), 0, nullptr),
                         {2, 3, 10, 2, 40});
    std::vector<const ObjectDescriptor*> seen(THREADS);
    together([&](int i) {
      auto values = lang::ObjectArray::make(2);
      Ref<SqlValue> v = t->toSqlValue(values.get(), nullptr);
      seen[i] = dynamic_cast<ObjectValue&>(*v).getDescriptor().get();
    });
    EXPECT_EQ(std::set<const ObjectDescriptor*>(seen.begin(), seen.end()).size(), 1u) << round;
    EXPECT_EQ(t->getObjectDescriptor().get(), seen[0]);
  }
}

TEST(ConcurrentLazyFillTest, TypeInformationAndNamesAreFetchedOnce) {
  auto connection = makeRef<MemoryConnection>();
  MemoryConnection::TypeInfo info;
  V tds = tdsHeader();
  append(tds, {2, 9, 40});
  info.tds = bytesOf(tds);
  info.attributes = {{"BORN", "DATE", "SYS"}, {"BOSS", "PERSON", "HR"}};
  connection->addType("HR.PERSON", info);
  connection->setServerFormatDescriptor(bytesOf(V(32, 0)));
  for (int round = 0; round < ROUNDS / 4; ++round) {
    auto t = makeRef<KelvorTypeADT>("HR.PERSON", connection.get());
    const int32_t calls = connection->typeInfoCalls();
    const int32_t queries = connection->dictionaryQueries();
    std::vector<std::string> names(THREADS);
    together([&](int i) {
      ASSERT_EQ(t->getNumAttributes(), 2);
      // The REF asks its parent for its name; the parent fills its names once.
      auto* ref = dynamic_cast<KelvorTypeREF*>(t->getAttributeType(1).get());
      ASSERT_NE(ref, nullptr);
      const std::string type = ref->getTypeName();
      const std::string attribute = t->getAttributeName(1 + i % 2);
      names[i] = type + "/" + attribute + "/" + (ref->isSqlNameKnown() ? ref->getSqlName() : "?");
    });
    EXPECT_EQ(connection->typeInfoCalls(), calls + 1);
    EXPECT_EQ(connection->dictionaryQueries(), queries + 1);
    for (int i = 0; i < THREADS; ++i) {
      EXPECT_EQ(names[i], std::string("PERSON/") + (i % 2 == 0 ? "BORN" : "BOSS") + "/HR.PERSON");
    }
  }
}

TEST(ConcurrentLazyFillTest, LayoutAndNativeSizesAgreeAcrossThreads) {
  // Entry 5 (default): size 4, align 4; entry 11 (date): size 8, align 8; entry 12 (number):
  // size 22, align 1.
  auto fd = lang::ByteArray::make(6 + 13);
  (*fd)[6 + 5] = static_cast<int8_t>((4 << 3) | 3);
  (*fd)[6 + 11] = static_cast<int8_t>((8 << 3) | 7);
  (*fd)[6 + 12] = static_cast<int8_t>((22 << 3) | 0);
  auto connection = makeRef<MemoryConnection>();
  for (int round = 0; round < ROUNDS; ++round) {
    auto t = makeRef<KelvorTypeADT>("S.T", connection.get(), fd);
    t->setEmbeddedState(KelvorTypeADT::EMBEDDED_TYPE);
    // NUMBER, 39 { SINT32, DATE }, SINT32
    parsedUnder(t, {3, 1, 0, 39, 8, 2, 40, 8, 40});
    auto* inner = dynamic_cast<KelvorTypeADT*>(t->getAttributeType(1).get());
    ASSERT_NE(inner, nullptr);
    std::vector<std::vector<int64_t>> offsets(THREADS);
    std::vector<int64_t> sizes(THREADS);
    together([&](int i) {
      // The inner type's own layout is filled under its monitor while the outer one fills it
      // under the outer's.
      if (i % 2 == 1) (void)inner->getAttributeOffsets();
      Ref<lang::LongArray> o = t->getAttributeOffsets();
      offsets[i].assign(o->data(), o->data() + o->length());
      sizes[i] = t->getLinearImageSize() * 1000 + t->getMaxAlignment() * 100 +
                 t->getAttributeType(0)->getNativeSize(fd.get()) +
                 inner->getAttributeType(1)->getNativeAlignment(fd.get());
    });
    for (int i = 0; i < THREADS; ++i) {
      EXPECT_EQ(offsets[i], (std::vector<int64_t>{0, 24, 32, 40}));
      EXPECT_EQ(sizes[i], 48 * 1000 + 7 * 100 + 22 + 7);
    }
    EXPECT_EQ(inner->getLinearImageSize(), 16);
  }
}

TEST(ConcurrentLazyFillTest, EffectiveTypeIsTheSameCollectionForEveryThread) {
  // A type whose only attribute is a collection of DATE hands its identity to the collection.
  V list = {28};
  append(list, ub4(29));
  append(list, ub4(0));
  append(list, {1, 42, 2});
  for (int round = 0; round < ROUNDS; ++round) {
    auto t = parsedUnder(makeRef<KelvorTypeADT>("S.WRAPPED"), list);
    std::vector<const KelvorTypeADT*> seen(THREADS);
    std::vector<std::string> names(THREADS);
    together([&](int i) {
      Ref<KelvorTypeADT> effective = t->getEffectiveType();
      seen[i] = effective.get();
      names[i] = effective->getSqlName() + "#" + std::to_string(effective->getNullIndex());
    });
    EXPECT_NE(dynamic_cast<const KelvorTypeCOLLECTION*>(seen[0]), nullptr);
    EXPECT_EQ(std::set<const KelvorTypeADT*>(seen.begin(), seen.end()).size(), 1u);
    for (const std::string& name : names) EXPECT_EQ(name, "S.WRAPPED#0");
  }
}

TEST(ConcurrentLazyFillTest, PackedCollectionElementsAreMadeOnceForEveryThread) {
  auto connection = makeRef<MemoryConnection>();
  Ref<ArrayDescriptor> nums = catalog::MemoryCatalog::registerCollectionType(
      *connection, catalog::TypeDefinition::collectionType(
                       "S", "NUMS", catalog::AttributeType::numberType(9, 0), 0));
  auto elements = lang::ObjectArray::make(50);
  for (int32_t i = 0; i < 50; ++i) elements->set(i, makeRef<NumberValue>(i));
  Ref<lang::ByteArray> image = nums->getKelvorType()->toImage(
      makeRef<ArrayValue>(nums, connection.get(), elements.get()).get());
  for (int round = 0; round < ROUNDS; ++round) {
    auto value = lang::dynamicRef<ArrayValue>(
        nums->getKelvorType()->fromImage(image.get(), 0, nullptr, 1, nullptr));
    ASSERT_TRUE(value && value->holdsPackedElements());
    std::vector<const lang::ObjectArray*> seen(THREADS);
    std::vector<int64_t> sums(THREADS);
    together([&](int i) {
      Ref<lang::ObjectArray> values = value->getSqlValueElements();
      seen[i] = values.get();
      for (int32_t k = 0; k < values->length(); ++k) {
        sums[i] += static_cast<const NumberValue*>(values->at(k))->longValue();
      }
    });
    EXPECT_EQ(std::set<const lang::ObjectArray*>(seen.begin(), seen.end()).size(), 1u);
    for (const int64_t sum : sums) EXPECT_EQ(sum, 49 * 50 / 2);
  }
}

}  // namespace
}  // namespace kelvor::jdbc::kelcore
