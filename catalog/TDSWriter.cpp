#include "catalog/TDSWriter.h"

#include <cassert>

#include "catalog/AttributeType.h"
#include "catalog/TypeDefinition.h"
#include "collection/KelvorTypeCOLLECTION.h"

namespace kelvor::catalog {

namespace {

constexpr int32_t HEADER_FLAG = 0;

static_assert(static_cast<int32_t>(TypeDefinition::CollectionKind::BOUNDED) ==
              jdbc::kelcore::KelvorTypeCOLLECTION::KIND_BOUNDED);

}  // namespace

lang::Ref<lang::ByteArray> TDSWriter::write(const TypeDefinition& type) {
  TDSWriter writer;
  [[maybe_unused]] const int32_t total = writer.writeType(type);
  assert(total == writer.size());
  return lang::ByteArray::copyOf(writer.out_.data(), writer.size());
}

// tds    := header list | header collection 42 entry
// header := size(UB4) 38 version(1) 0 0 slots(UB2) flag(1) 41 SB2(0) 0 0 0 0
int32_t TDSWriter::writeType(const TypeDefinition& type) {
  const size_t start = out_.size();
  putUB4(0);  // size, patched below
  putUB1(TDS_HEADER_MARK);
  putUB1(type.version() & 0xFF);
  putUB2(0);
  // TypeDefinition keeps the count within 16 bits.
  putUB2(type.leafSlotCount());
  putUB1(HEADER_FLAG);
  putUB1(TDS_ATTRIBUTES_MARK);
  putSB2(0);
  putUB4(0);
  assert(out_.size() - start == static_cast<size_t>(HEADER_LENGTH));
  const int32_t body = type.kind() == TypeDefinition::Kind::COLLECTION ? writeCollection(type)
                                                                       : writeList(type);
  const int32_t total = HEADER_LENGTH + body;
  patchUB4(start, static_cast<uint32_t>(total));
  return total;
}

// list := entry* 40, or, for the outermost list when UPT entries wait for their descriptions,
// entry* 42 description*
int32_t TDSWriter::writeList(const TypeDefinition& type) {
  const bool outermost = size() == HEADER_LENGTH;
  int32_t total = 0;
  for (const TypeDefinition::Attribute& attribute : type.attributes()) {
    total += writeEntry(attribute.type);
  }
  if (!outermost || pending_.empty()) {
    putUB1(OPC_END);
    return total + 1;
  }
  putUB1(OPC_END_PATCHES);
  return total + 1 + writeDescriptions();
}

int32_t TDSWriter::writeUptEntry(const TypeDefinition& type, int32_t typeByte) {
  putUB1(OPC_UPT);
  pending_.push_back({out_.size(), &type, typeByte});
  putUB4(0);  // patched when the description is written
  putUB1(typeByte);
  return 6;
}

// description := 0 tds (FB) | 0 0 0 0 0 tds (FA); the nested segment is written whole by a
// writer of its own, since its positions count from its own start.
int32_t TDSWriter::writeDescriptions() {
  const int32_t start = size();
  // Descriptions never queue more entries here: their UPTs belong to their own segments.
  for (const Pending& p : pending_) {
    patchUB4(p.positionAt, static_cast<uint32_t>(size()));
    putUB1(0);
    if (p.typeByte == UPT_OBJECT) putUB4(0);
    const lang::Ref<lang::ByteArray> nested = write(*p.type);
    out_.insert(out_.end(), nested->data(), nested->data() + nested->length());
  }
  pending_.clear();
  return size() - start;
}

// collection 42 entry := 28 position(UB4) maxElements(UB4) kind(1) 42 entry
int32_t TDSWriter::writeCollection(const TypeDefinition& type) {
  const int32_t start = size();
  putUB1(OPC_COLLECTION);
  // The header is the TDS start here: collections are written only as whole segments.
  putUB4(static_cast<uint32_t>(start + COLLECTION_ENTRY_LENGTH));
  // TypeDefinition keeps the maximum within 0..2^31-1.
  putUB4(static_cast<uint32_t>(type.maxElements()));
  putUB1(static_cast<int32_t>(type.collectionKind()));
  putUB1(OPC_END_PATCHES);
  assert(size() - start == COLLECTION_ENTRY_LENGTH);
  const int32_t element = writeElementEntry(*type.elementType());
  return COLLECTION_ENTRY_LENGTH + element + writeDescriptions();
}

int32_t TDSWriter::writeElementEntry(const AttributeType& type) {
  // An element is read as a complete image, never inline: an object type element is a UPT.
  if (const TypeDefinition* object = type.objectType()) return writeUptEntry(*object, UPT_OBJECT);
  return writeEntry(type);
}

// entry := opcode operands; the operands of each kind are listed in the header.
int32_t TDSWriter::writeEntry(const AttributeType& type) {
  if (const TypeDefinition* collection = type.collectionType()) {
    return writeUptEntry(*collection, UPT_COLLECTION);  // kind() says REF: ask first
  }
  const int32_t start = size();
  putUB1(type.opcode());
  switch (type.kind()) {
    case AttributeType::Kind::NUMBER:
      putUB1(type.precision());  // 3|4|6 precision(UB1) scale(UB1)
      putUB1(type.scale());
      break;
    case AttributeType::Kind::FLOAT:
      putUB1(type.precision());  // 5 precision(UB1)
      break;
    case AttributeType::Kind::RAW:
      putSB2(type.maxLength());  // 19 maxLength(SB2)
      break;
    case AttributeType::Kind::CHAR:
    case AttributeType::Kind::VARCHAR:
      putSB2(type.maxLength());  // 1|7 maxLength(SB2) form(1) charsetId(SB2)
      putUB1(type.charsetForm() & 0xFF);
      putSB2(type.charsetId());
      break;
    case AttributeType::Kind::EMBEDDED_OBJECT:
      // 39 list; the recursion is bounded by the definition's nesting levels.
      static_cast<void>(writeList(*type.objectType()));
      break;
    case AttributeType::Kind::SINT32:
    case AttributeType::Kind::DATE:
    case AttributeType::Kind::BLOB:
    case AttributeType::Kind::CLOB:
    case AttributeType::Kind::BFILE:
    case AttributeType::Kind::REF:
      break;  // the opcode alone
  }
  return size() - start;
}

void TDSWriter::putUB1(int32_t value) { out_.push_back(static_cast<int8_t>(value)); }

// Both 16-bit forms write the low 16 bits; the factories have checked the range.
void TDSWriter::putSB2(int32_t value) {
  putUB1((value >> 8) & 0xFF);
  putUB1(value & 0xFF);
}

void TDSWriter::putUB2(int32_t value) { putSB2(value); }

void TDSWriter::putUB4(uint32_t value) {
  for (int shift = 24; shift >= 0; shift -= 8) {
    putUB1(static_cast<int32_t>((value >> shift) & 0xFF));
  }
}

void TDSWriter::patchUB4(size_t at, uint32_t value) {
  for (size_t i = 0; i < 4; ++i) {
    out_[at + i] = static_cast<int8_t>((value >> (24 - 8 * i)) & 0xFF);
  }
}

}  // namespace kelvor::catalog
