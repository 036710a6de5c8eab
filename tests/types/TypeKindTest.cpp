// Hot paths dispatch on kind tags and class bits instead of the runtime's type queries: each must
// agree with the object's class, for descriptors made every way and for the value classes.
#include <gtest/gtest.h>

#include <map>
#include <string>

#include "adt/KelvorTypeADT.h"
#include "catalog/AttributeType.h"
#include "catalog/MemoryCatalog.h"
#include "catalog/TypeDefinition.h"
#include "collection/KelvorTypeCOLLECTION.h"
#include "driver/ArrayValue.h"
#include "driver/CharValue.h"
#include "driver/MemoryConnection.h"
#include "driver/NumberValue.h"
#include "driver/ObjectDescriptor.h"
#include "driver/ObjectValue.h"
#include "lang/Serializable.h"
#include "lang/String.h"
#include "scalar/KelvorTypeBFILE.h"
#include "scalar/KelvorTypeBLOB.h"
#include "scalar/KelvorTypeCHAR.h"
#include "scalar/KelvorTypeCLOB.h"
#include "scalar/KelvorTypeDATE.h"
#include "scalar/KelvorTypeFLOAT.h"
#include "scalar/KelvorTypeNUMBER.h"
#include "scalar/KelvorTypeRAW.h"
#include "scalar/KelvorTypeSINT32.h"
#include "types/KelvorTypeREF.h"
#include "types/KelvorTypeUPT.h"

namespace kelvor::jdbc::kelcore {
namespace {

using catalog::AttributeType;
using catalog::TypeDefinition;
using lang::makeRef;

TypeKind kindOfClass(const std::string& name) {
  static const std::map<std::string, TypeKind> kinds = {
      {"KelvorTypeNUMBER", TypeKind::Number},  {"KelvorTypeFLOAT", TypeKind::Float},
      {"KelvorTypeSINT32", TypeKind::Sint32},  {"KelvorTypeDATE", TypeKind::Date},
      {"KelvorTypeRAW", TypeKind::Raw},        {"KelvorTypeCHAR", TypeKind::Char},
      {"KelvorTypeBLOB", TypeKind::Blob},      {"KelvorTypeCLOB", TypeKind::Clob},
      {"KelvorTypeBFILE", TypeKind::Bfile},    {"KelvorTypeREF", TypeKind::Ref},
      {"KelvorTypeADT", TypeKind::PlainObject}, {"KelvorTypeCOLLECTION", TypeKind::Collection},
      {"KelvorTypeUPT", TypeKind::Upt}};
  return kinds.at(name);
}

// Returns the descriptors visited.
int expectKindsOfTree(KelvorType& t, int depth = 0) {
  if (depth > 8) return 0;
  int visited = 1;
  EXPECT_EQ(t.kind(), kindOfClass(t.className())) << t.className();
  if (t.kind() == TypeKind::PlainObject) {
    auto& object = static_cast<KelvorTypeADT&>(t);
    for (int32_t i = 0; i < object.getNumAttributes(); ++i) {
      visited += expectKindsOfTree(*object.getAttributeType(i), depth + 1);
    }
  } else if (t.kind() == TypeKind::Collection) {
    visited += expectKindsOfTree(*static_cast<KelvorTypeCOLLECTION&>(t).getElementType(), depth + 1);
  }
  return visited;
}

TEST(TypeKindTest, EveryDescriptorsKindIsItsClassWhetherMadeBlankByNameOrParsed) {
  // Blank, as the serial registry makes them before restoring fields.
  for (const auto& t : {Ref<KelvorType>(makeRef<KelvorTypeNUMBER>()), Ref<KelvorType>(makeRef<KelvorTypeFLOAT>()),
                        Ref<KelvorType>(makeRef<KelvorTypeSINT32>()), Ref<KelvorType>(makeRef<KelvorTypeDATE>()),
                        Ref<KelvorType>(makeRef<KelvorTypeRAW>()), Ref<KelvorType>(makeRef<KelvorTypeCHAR>()),
                        Ref<KelvorType>(makeRef<KelvorTypeBLOB>()), Ref<KelvorType>(makeRef<KelvorTypeCLOB>()),
                        Ref<KelvorType>(makeRef<KelvorTypeBFILE>()), Ref<KelvorType>(makeRef<KelvorTypeREF>()),
                        Ref<KelvorType>(makeRef<KelvorTypeADT>()), Ref<KelvorType>(makeRef<KelvorTypeCOLLECTION>()),
                        Ref<KelvorType>(makeRef<KelvorTypeUPT>())}) {
    EXPECT_EQ(t->kind(), kindOfClass(t->className())) << t->className();
  }
  // Parsed from a TDS: every attribute kind, an embedded object and a collection attribute.
  auto conn = makeRef<MemoryConnection>();
  TypeDefinition inner("K", "INNER");
  inner.addAttribute("N", AttributeType::numberType(5, 0));
  const TypeDefinition nums = TypeDefinition::collectionType("K", "NUMS", AttributeType::numberType(5, 0), 0);
  TypeDefinition t("K", "ALL");
  t.addAttribute("O", AttributeType::embeddedType(inner))
      .addAttribute("N", AttributeType::numberType(9, 2))
      .addAttribute("F", AttributeType::floatType())
      .addAttribute("I", AttributeType::sint32Type())
      .addAttribute("D", AttributeType::dateType())
      .addAttribute("R", AttributeType::rawType(8))
      .addAttribute("S", AttributeType::varcharType(8))
      .addAttribute("B", AttributeType::blobType())
      .addAttribute("C", AttributeType::clobType())
      .addAttribute("X", AttributeType::bfileType())
      .addAttribute("P", AttributeType::refType("K.ALL"))
      .addAttribute("L", AttributeType::collectionAttribute(nums));
  const auto descriptor = catalog::MemoryCatalog::registerType(*conn, t);
  EXPECT_EQ(expectKindsOfTree(*descriptor->getKelvorType()), 14);  // the type, 12 + 1 inner
  EXPECT_EQ(expectKindsOfTree(*catalog::MemoryCatalog::registerCollectionType(*conn, nums)->getKelvorType()), 2);
}

TEST(TypeKindTest, ClassBitsTellOnlyTheirOwnClasses) {
  auto conn = makeRef<MemoryConnection>();
  TypeDefinition t("K", "ONE");
  t.addAttribute("N", AttributeType::numberType(5, 0));
  const auto object = makeRef<ObjectValue>(catalog::MemoryCatalog::registerType(*conn, t), conn.get());
  const auto number = makeRef<NumberValue>(int32_t{7});
  const auto text = lang::String::of("x");
  EXPECT_EQ(SqlValue::as<ObjectValue>(object.get()), object.get());
  EXPECT_EQ(SqlValue::as<SqlValue>(object.get()), object.get());
  EXPECT_EQ(SqlValue::as<SqlValue>(number.get()), number.get());
  EXPECT_EQ(SqlValue::as<ObjectValue>(number.get()), nullptr);
  EXPECT_EQ(SqlValue::as<ArrayValue>(object.get()), nullptr);
  EXPECT_EQ(SqlValue::as<CharValue>(number.get()), nullptr);
  EXPECT_EQ(SqlValue::as<SqlValue>(text.get()), nullptr);
  EXPECT_EQ(SqlValue::as<SqlValue>(static_cast<lang::Object*>(nullptr)), nullptr);
}

}  // namespace
}  // namespace kelvor::jdbc::kelcore
