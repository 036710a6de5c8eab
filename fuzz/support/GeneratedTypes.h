// The generated types that the image fuzz target reads against and the corpus writer writes
// seeds for: object types (embedded objects, REFs, collection attributes whose elements are
// scalars, objects or collections, several levels deep) and collection types of every scalar
// element kind, all registered in one in-memory connection under the default format
// descriptor. The generator's seed is fixed, so the fuzz target and the corpus writer get the
// same types, in the same order, under the same names.
//
// Built once per process; the fuzz target shares it between inputs.
#pragma once

#include <cstdint>
#include <vector>

#include "adt/KelvorTypeADT.h"
#include "catalog/TypeDefinition.h"
#include "collection/KelvorTypeCOLLECTION.h"
#include "driver/ArrayDescriptor.h"
#include "driver/MemoryConnection.h"
#include "driver/ObjectDescriptor.h"
#include "lang/Ref.h"
#include "tests/support/TypeGenerator.h"

namespace kelvor::fuzz {

struct GeneratedTypes {
  static constexpr uint64_t SEED = 0x6b656c667a7a3131ULL;
  static constexpr int32_t OBJECT_TYPES = 12;

  lang::Ref<jdbc::MemoryConnection> conn = lang::makeRef<jdbc::MemoryConnection>();
  std::vector<catalog::TypeDefinition> objectDefinitions;
  std::vector<lang::Ref<jdbc::ObjectDescriptor>> objects;
  std::vector<catalog::TypeDefinition> collectionDefinitions;
  std::vector<lang::Ref<jdbc::ArrayDescriptor>> collections;

  GeneratedTypes() {
    testsupport::TypeGenerator::Options options;
    options.maxLevels = 4;
    options.maxAttributes = 5;
    options.collectionPercent = 30;
    testsupport::TypeGenerator generator(SEED, options);
    // One collection type after each object type, so that a REF element can name it.
    for (int32_t i = 0; i < OBJECT_TYPES; ++i) {
      objectDefinitions.push_back(generator.nextType());
      objects.push_back(testsupport::registerType(*conn, objectDefinitions.back()));
      collectionDefinitions.push_back(generator.nextCollectionType());
      collections.push_back(
          testsupport::registerCollectionType(*conn, collectionDefinitions.back()));
    }
  }

  jdbc::kelcore::KelvorTypeADT& object(size_t i) const { return *objects[i]->getKelvorType(); }
  jdbc::kelcore::KelvorTypeCOLLECTION& collection(size_t i) const {
    return *collections[i]->getKelvorType();
  }
};

}  // namespace kelvor::fuzz
