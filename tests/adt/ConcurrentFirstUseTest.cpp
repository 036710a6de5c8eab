// Threads that share one freshly parsed descriptor and make the first use of each lazily
// filled answer at once (attribute names and type names, the linear layout, the native size
// of an embedded object type, the effective type): each thread gets what a lone thread gets,
// and under ThreadSanitizer no fill races.
#include <gtest/gtest.h>

#include <cctype>
#include <functional>
#include <latch>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "adt/KelvorTypeADT.h"
#include "catalog/AttributeType.h"
#include "catalog/LayoutWriter.h"
#include "catalog/MemoryCatalog.h"
#include "catalog/TypeDefinition.h"
#include "driver/MemoryConnection.h"

namespace kelvor::jdbc::kelcore {
namespace {

using catalog::AttributeType;
using catalog::TypeDefinition;

constexpr int THREADS = 4;
constexpr int ROUNDS = 25;

TypeDefinition personType() {
  TypeDefinition address("F", "ADDR");
  address.addAttribute("STREET", AttributeType::varcharType(40))
      .addAttribute("ZIP", AttributeType::numberType(5, 0));
  TypeDefinition person("F", "PERSON");
  person.addAttribute("NAME", AttributeType::varcharType(30))
      .addAttribute("BORN", AttributeType::dateType())
      .addAttribute("HOME", AttributeType::embeddedType(address))
      .addAttribute("HEIGHT", AttributeType::floatType());
  return person;
}

TypeDefinition holderType() {
  TypeDefinition holder("F", "HOLDER");
  holder.addAttribute("ITEMS", AttributeType::collectionAttribute(TypeDefinition::collectionType(
                                   "F", "ITEMS", AttributeType::numberType(10, 2), 50)));
  return holder;
}

struct Fill {
  const char* what;
  const char* typeName;
  std::function<std::string(KelvorTypeADT&)> use;
};

class ConcurrentFirstUseTest : public ::testing::TestWithParam<Fill> {
 protected:
  ConcurrentFirstUseTest() {
    conn_->setServerFormatDescriptor(catalog::LayoutWriter::defaultFormatDescriptor());
    for (const TypeDefinition& t : {personType(), holderType()}) {
      catalog::MemoryCatalog::addToCatalog(*conn_, t, *conn_->serverFormatDescriptor());
    }
  }

  // A descriptor created by name and parsed, none of its other answers asked for yet.
  Ref<KelvorTypeADT> parsed(const char* name) {
    auto type = lang::makeRef<KelvorTypeADT>(name, conn_.get());
    (void)type->getNumAttributes();
    return type;
  }

  lang::Ref<MemoryConnection> conn_ = lang::makeRef<MemoryConnection>();
};

TEST_P(ConcurrentFirstUseTest, EveryThreadGetsWhatALoneThreadGets) {
  const Fill& fill = GetParam();
  const std::string alone = fill.use(*parsed(fill.typeName));
  ASSERT_FALSE(alone.empty());
  for (int round = 0; round < ROUNDS; ++round) {
    const Ref<KelvorTypeADT> shared = parsed(fill.typeName);
    std::vector<std::string> got(THREADS);
    std::latch start(THREADS);
    std::vector<std::thread> threads;
    for (int i = 0; i < THREADS; ++i) {
      threads.emplace_back([&, i] {
        start.arrive_and_wait();
        got[i] = fill.use(*shared);
      });
    }
    for (auto& t : threads) t.join();
    for (int i = 0; i < THREADS; ++i) ASSERT_EQ(got[i], alone) << fill.what << ", thread " << i;
  }
}

std::string offsetsOf(KelvorTypeADT& t) {
  std::ostringstream text;
  const Ref<lang::LongArray> offsets = t.getAttributeOffsets();
  for (int32_t i = 0; i < offsets->length(); ++i) text << (*offsets)[i] << " ";
  text << "size " << t.getLinearImageSize();
  return text.str();
}

std::string embeddedSize(KelvorTypeADT& t) {
  auto& home = dynamic_cast<KelvorTypeADT&>(*t.getAttributeType(2));
  const Ref<lang::ByteArray> fd = catalog::LayoutWriter::defaultFormatDescriptor();
  return std::to_string(home.getNativeSize(fd.get())) + "/" +
         std::to_string(home.getNativeAlignment(fd.get())) + " " + offsetsOf(home);
}

std::string effectiveType(KelvorTypeADT& t) {
  const Ref<KelvorTypeADT> effective = t.getEffectiveType();
  return std::string(effective->className()) + " " + effective->getSqlName();
}

INSTANTIATE_TEST_SUITE_P(Fills, ConcurrentFirstUseTest,
                         ::testing::Values(Fill{"names", "F.PERSON",
                                                [](KelvorTypeADT& type) {
                                                  return type.getAttributeName(1) + " " +
                                                         type.getAttributeName(4) + " " +
                                                         type.getAttributeTypeName(3);
                                                }},
                                           Fill{"layout", "F.PERSON", offsetsOf},
                                           Fill{"native size of an embedded type", "F.PERSON",
                                                embeddedSize},
                                           Fill{"effective type", "F.HOLDER", effectiveType}),
                         [](const ::testing::TestParamInfo<Fill>& fill) {
                           std::string name;
                           for (const char* c = fill.param.what; *c != '\0'; ++c) {
                             if (std::isalnum(static_cast<unsigned char>(*c))) name += *c;
                           }
                           return name;
                         });

}  // namespace
}  // namespace kelvor::jdbc::kelcore
