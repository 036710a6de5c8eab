// What the catalog writes, the object type descriptor reads back: the TDS parses to the tree it
// was written from, and the layout description agrees with the layout the descriptor computes.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "adt/KelvorTypeADT.h"
#include "collection/KelvorTypeCOLLECTION.h"
#include "catalog/AttributeType.h"
#include "catalog/LayoutWriter.h"
#include "catalog/MemoryCatalog.h"
#include "catalog/TDSWriter.h"
#include "catalog/TypeDefinition.h"
#include "driver/ArrayDescriptor.h"
#include "driver/ArrayValue.h"
#include "driver/MemoryConnection.h"
#include "driver/NumberValue.h"
#include "lang/Array.h"
#include "scalar/KelvorTypeCHAR.h"
#include "scalar/KelvorTypeNUMBER.h"
#include "scalar/KelvorTypeRAW.h"
#include "types/KelvorTypeUPT.h"

namespace kelvor::catalog {
namespace {

using jdbc::kelcore::KelvorType;
using jdbc::kelcore::KelvorTypeADT;
using T = AttributeType;

// Every attribute kind, two embedded levels, an embedded type in first position.
TypeDefinition everyKind() {
  TypeDefinition point("GEO", "POINT");
  point.addAttribute("LAT", T::numberType(9, 6, T::NumberOpcode::NUMBER_2))
      .addAttribute("LON", T::floatType(63));
  TypeDefinition place("GEO", "PLACE");
  place.addAttribute("AT", T::embeddedType(point)).addAttribute("NAME", T::charType(12, 2, 2000));
  TypeDefinition site("HR", "SITE", 7);
  site.addAttribute("WHERE", T::embeddedType(place))
      .addAttribute("ID", T::numberType(38, 0))
      .addAttribute("COST", T::numberType(12, 129, T::NumberOpcode::NUMBER_8))
      .addAttribute("COUNT", T::sint32Type())
      .addAttribute("OPENED", T::dateType())
      .addAttribute("CODE", T::rawType(32767))
      .addAttribute("TITLE", T::varcharType(4000))
      .addAttribute("PLAN", T::blobType())
      .addAttribute("NOTES", T::clobType())
      .addAttribute("SCAN", T::bfileType())
      .addAttribute("OWNER", T::refType("HR.PERSON"));
  return site;
}

struct Counters {
  int32_t nullIndex = 0;
  int32_t offsetIndex = 0;
};

// Walks the definition and the parsed tree together, numbering as the parser must: each
// descriptor takes the next null index; leaves also take the next offset index, an object
// type the current one without advancing it.
void expectTree(const TypeDefinition& def, KelvorTypeADT& adt, Counters& c) {
  EXPECT_EQ(adt.getNullIndex(), c.nullIndex++) << def.sqlName();
  EXPECT_EQ(adt.getOffsetIndex(), c.offsetIndex) << def.sqlName();
  const auto& types = adt.parsedAttributeTypes();
  ASSERT_TRUE(types);
  ASSERT_EQ(static_cast<size_t>(types->length()), def.attributes().size());
  for (int32_t i = 0; i < types->length(); ++i) {
    const TypeDefinition::Attribute& a = def.attributes()[static_cast<size_t>(i)];
    auto* t = static_cast<KelvorType*>(types->at(i));
    SCOPED_TRACE(def.sqlName() + "." + a.name);
    if (a.type.kind() == T::Kind::EMBEDDED_OBJECT) {
      auto* embedded = dynamic_cast<KelvorTypeADT*>(t);
      ASSERT_NE(embedded, nullptr);
      EXPECT_TRUE(embedded->isEmbedded());
      EXPECT_EQ(embedded->getParent(), &adt);
      EXPECT_EQ(embedded->getParentIndex(), i + 1);
      expectTree(*a.type.objectType(), *embedded, c);
      continue;
    }
    EXPECT_EQ(t->getNullIndex(), c.nullIndex++);
    EXPECT_EQ(t->getOffsetIndex(), c.offsetIndex++);
    // The operands that descriptors keep; the opcodes are checked byte for byte elsewhere.
    if (auto* n = dynamic_cast<jdbc::kelcore::KelvorTypeNUMBER*>(t)) {
      EXPECT_EQ(n->getPrecision(), a.type.precision());
      EXPECT_EQ(n->getScale(), a.type.scale());
    } else if (auto* r = dynamic_cast<jdbc::kelcore::KelvorTypeRAW*>(t)) {
      EXPECT_EQ(r->getMaxLength(), a.type.maxLength());
    } else if (auto* ch = dynamic_cast<jdbc::kelcore::KelvorTypeCHAR*>(t)) {
      EXPECT_EQ(ch->getMaxLength(), a.type.maxLength());
    }
  }
}

TEST(TDSParseBackTest, TreeNumberingAndLocalLayoutComeBack) {
  const TypeDefinition site = everyKind();
  const auto fd = LayoutWriter::defaultFormatDescriptor();
  // Character descriptors are created with the parsing type's connection.
  auto conn = lang::makeRef<jdbc::MemoryConnection>();
  auto adt = lang::makeRef<KelvorTypeADT>(site.sqlName(), conn.get(), fd);
  adt->parseTDS(TDSWriter::write(site), 0);
  EXPECT_EQ(adt->getTypeVersion(), 7);
  Counters c;
  expectTree(site, *adt, c);
  EXPECT_EQ(c.offsetIndex, site.leafSlotCount());  // the count the header announces

  // The layout the descriptor computes itself (as for embedded types) is the catalog's.
  const LayoutWriter::Layout expected = LayoutWriter::computeLayout(site, fd.get());
  EXPECT_EQ(adt->computeLayout(), expected.offsets);
  EXPECT_EQ(adt->getLinearImageSize(), expected.size);
  EXPECT_EQ(adt->getMaxAlignment(), expected.maxAlignment);
}

TEST(TDSParseBackTest, TopLevelTypeReadsTheLayoutDescriptionServedWithItsTDS) {
  const TypeDefinition site = everyKind();
  const auto fd = LayoutWriter::defaultFormatDescriptor();
  auto conn = lang::makeRef<jdbc::MemoryConnection>();
  conn->setFormatDescriptor(fd);
  jdbc::MemoryConnection::TypeInfo info;
  info.tds = TDSWriter::write(site);
  info.typeId = lang::ByteArray::make(16);
  info.version = site.version();
  info.layout = LayoutWriter::write(site, fd.get());
  conn->addType(site.sqlName(), info);

  auto top = lang::makeRef<KelvorTypeADT>(site.sqlName(), conn.get(), fd);
  const auto offsets = top->getAttributeOffsets();
  ASSERT_TRUE(offsets);
  const LayoutWriter::Layout expected = LayoutWriter::computeLayout(site, fd.get());
  EXPECT_EQ(std::vector<int64_t>(offsets->data(), offsets->data() + offsets->length()),
            expected.offsets);
  EXPECT_EQ(top->getLinearImageSize(), expected.size);
  EXPECT_EQ(top->getLayoutOffsetCount(), site.leafSlotCount());
}

// A collection attribute of a collection of objects, then an embedded object: the outer list
// numbers the UPT like a scalar, the nested segments hang where their UPTs stand, and the
// layout of the UPT's offset slot is the catalog's.
TEST(TDSParseBackTest, UptTreesComeBackWhereTheirEntriesStand) {
  using jdbc::kelcore::KelvorTypeCOLLECTION;
  using jdbc::kelcore::KelvorTypeUPT;
  TypeDefinition point("GEO", "POINT");
  point.addAttribute("X", T::numberType(5, 1));
  const TypeDefinition points = TypeDefinition::collectionType("GEO", "PTS", T::embeddedType(point), 4);
  TypeDefinition path("GEO", "PATH");
  path.addAttribute("N", T::numberType(5, 0))
      .addAttribute("P", T::collectionAttribute(points))
      .addAttribute("E", T::embeddedType(point));
  auto conn = lang::makeRef<jdbc::MemoryConnection>();
  conn->setFormatDescriptor(LayoutWriter::defaultFormatDescriptor());
  MemoryCatalog::addToCatalog(*conn, path, *conn->getFormatDescriptor());
  auto top = lang::makeRef<KelvorTypeADT>(path.sqlName(), conn.get());
  top->init(conn.get());
  ASSERT_EQ(top->getNumAttributes(), 3);
  EXPECT_EQ(top->getLastOpcode(), 42);

  auto upt = lang::dynamicRef<KelvorTypeUPT>(top->getAttributeType(1));
  ASSERT_TRUE(upt);
  EXPECT_EQ(upt->getNullIndex(), 2);
  EXPECT_EQ(upt->getOffsetIndex(), 1);
  auto* pts = dynamic_cast<KelvorTypeCOLLECTION*>(upt->getObjectType().get());
  ASSERT_NE(pts, nullptr);
  EXPECT_EQ(pts->getParent(), top.get());
  EXPECT_EQ(pts->getParentIndex(), 2);
  EXPECT_EQ(pts->getMaxElements(), 4);
  EXPECT_EQ(pts->getSqlName(), "GEO.PTS");  // asked from the dictionary row of P
  auto* element = dynamic_cast<KelvorTypeUPT*>(pts->getElementType().get());
  ASSERT_NE(element, nullptr);
  EXPECT_EQ(element->getTypeCode(), 2002);
  EXPECT_EQ(element->getParent(), pts);
  const auto& inner = element->getObjectType();
  ASSERT_TRUE(inner);
  EXPECT_EQ(inner->getParent(), pts);
  auto* x = dynamic_cast<jdbc::kelcore::KelvorTypeNUMBER*>(inner->getAttributeType(0).get());
  ASSERT_NE(x, nullptr);
  EXPECT_EQ(x->getScale(), 1);
  // The embedded object after the UPT continues the outer numbering.
  auto* e = dynamic_cast<KelvorTypeADT*>(top->getAttributeType(2).get());
  ASSERT_NE(e, nullptr);
  EXPECT_EQ(e->getNullIndex(), 3);
  EXPECT_EQ(e->getAttributeType(0)->getOffsetIndex(), path.leafSlotCount() - 1);

  const auto fd = LayoutWriter::defaultFormatDescriptor();
  const LayoutWriter::Layout expected = LayoutWriter::computeLayout(path, fd.get());
  auto local = lang::makeRef<KelvorTypeADT>(path.sqlName(), conn.get(), fd);
  local->parseTDS(TDSWriter::write(path), 0);
  EXPECT_EQ(local->computeLayout(), expected.offsets);
  EXPECT_EQ(local->getLinearImageSize(), expected.size);
}

TEST(TDSParseBackTest, CollectionTypeCreatedByNameParsesItsOwnSegment) {
  auto conn = lang::makeRef<jdbc::MemoryConnection>();
  conn->setFormatDescriptor(LayoutWriter::defaultFormatDescriptor());
  const TypeDefinition amounts = TypeDefinition::collectionType(
      "FIN", "AMOUNTS", T::numberType(12, 2), 5, TypeDefinition::CollectionKind::BOUNDED, 4);
  MemoryCatalog::addToCatalog(*conn, amounts, *conn->getFormatDescriptor());

  auto type = lang::makeRef<jdbc::kelcore::KelvorTypeCOLLECTION>(amounts.sqlName(), conn.get());
  type->init(conn.get());
  auto* element = dynamic_cast<jdbc::kelcore::KelvorTypeNUMBER*>(type->getElementType().get());
  ASSERT_NE(element, nullptr);
  EXPECT_EQ(element->getPrecision(), 12);
  EXPECT_EQ(element->getScale(), 2);
  EXPECT_EQ(type->getLastOpcode(), 3);
  EXPECT_EQ(type->getMaxElements(), 5);
  EXPECT_EQ(type->getCollectionKind(), jdbc::kelcore::KelvorTypeCOLLECTION::KIND_BOUNDED);
  EXPECT_EQ(type->getTypeVersion(), 4);
  // The element's dictionary row.
  EXPECT_EQ(type->getAttributeTypeName(1), "BUILTIN.NUMBER");
}

TEST(TDSParseBackTest, RegisteredCollectionValueRoundTripsThroughItsImage) {
  auto conn = lang::makeRef<jdbc::MemoryConnection>();
  const auto descriptor = MemoryCatalog::registerCollectionType(
      *conn, TypeDefinition::collectionType("FIN", "COUNTS", T::numberType(9, 0), 0));
  const auto& type = descriptor->getKelvorType();
  auto elements = lang::ObjectArray::make(3);
  elements->set(0, lang::makeRef<jdbc::NumberValue>(7));
  elements->set(2, lang::makeRef<jdbc::NumberValue>(-40));  // element 1 stays null
  auto value = lang::makeRef<jdbc::ArrayValue>(descriptor, conn.get(), elements.get());

  const auto image = type->toImage(value.get());
  auto back = lang::dynamicRef<jdbc::ArrayValue>(type->fromImage(
      image.get(), 0, nullptr, jdbc::kelcore::KelvorTypeCOLLECTION::STYLE_SQL_VALUE, nullptr));
  ASSERT_TRUE(back);
  const auto read = back->getSqlValueElements();
  ASSERT_TRUE(read);
  ASSERT_EQ(read->length(), 3);
  EXPECT_EQ(static_cast<const jdbc::NumberValue*>(read->at(0))->intValue(), 7);
  EXPECT_EQ(read->at(1), nullptr);
  EXPECT_EQ(static_cast<const jdbc::NumberValue*>(read->at(2))->intValue(), -40);
}

}  // namespace
}  // namespace kelvor::catalog
