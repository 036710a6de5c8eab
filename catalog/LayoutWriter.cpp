#include "catalog/LayoutWriter.h"

#include <algorithm>
#include <cassert>

#include "catalog/ArgumentCheck.h"
#include "catalog/TypeDefinition.h"
#include "types/Util.h"

namespace kelvor::catalog {

namespace {

using jdbc::kelcore::Util;

// The format descriptor's start: d[5] holds the length of the variable section that follows
// the 6-byte start; entries come after it.
constexpr int32_t FD_VARIABLE_LENGTH_AT = 5;
constexpr int32_t FD_START_LENGTH = 6;
constexpr int32_t NUMBER_SLOT_BYTES = 22;  // length byte and room for 21 bytes of number
constexpr int32_t DATE_SLOT_BYTES = 8;     // the native date structure
constexpr int32_t CHAR_SLOT_BYTES = 6;     // UB4 relative offset and two further bytes
constexpr int32_t OFFSET_SLOT_BYTES = 4;   // UB4 relative offset to the out-of-line value

// Size and alignment mask of one leaf attribute, checked so that its slot is laid out whole
// and aligned the way alignAbove can align it.
struct Slot {
  int32_t size;
  int32_t mask;
};

Slot slotOf(AttributeType::Kind kind, const lang::ByteArray& fd) {
  const int32_t entry = LayoutWriter::formatEntryOf(kind);
  assert(entry >= 0);
  // The descriptor is the caller's: check that the entry exists before Util reads it.
  const int32_t at = (fd[FD_VARIABLE_LENGTH_AT] & 0xFF) + FD_START_LENGTH + entry;
  if (at >= fd.length()) {
    raiseInvalidArgument("format descriptor of " + std::to_string(fd.length()) +
                         " bytes lacks entry " + std::to_string(entry));
  }
  const Slot slot{Util::formatSize(&fd, entry), Util::formatAlignment(&fd, entry)};
  if (slot.mask != 0 && slot.mask != 1 && slot.mask != 3 && slot.mask != 7) {
    raiseInvalidArgument("format descriptor entry " + std::to_string(entry) +
                         " has alignment mask " + std::to_string(slot.mask));
  }
  const int32_t needed = LayoutWriter::slotBytesOf(kind);
  if (slot.size < needed) {
    raiseInvalidArgument("format descriptor entry " + std::to_string(entry) + " gives " +
                         std::to_string(slot.size) + " bytes to a slot of " +
                         std::to_string(needed));
  }
  return slot;
}

// Aligns e for a slot of the mask, as the descriptor does: only a misaligned offset moves.
int32_t alignFor(int32_t e, int32_t mask) {
  return (e & mask) > 0 ? Util::alignAbove(e, mask) : e;
}

void putUB4(lang::ByteArray& out, int32_t at, int64_t value) {
  const auto v = static_cast<uint32_t>(value);
  for (int32_t i = 0; i < 4; ++i) out[at + i] = static_cast<int8_t>((v >> (24 - 8 * i)) & 0xFF);
}

}  // namespace

int32_t LayoutWriter::formatEntryOf(AttributeType::Kind kind) noexcept {
  switch (kind) {
    case AttributeType::Kind::NUMBER:
    case AttributeType::Kind::FLOAT:
      return NUMBER_ENTRY;
    case AttributeType::Kind::DATE:
      return DATE_ENTRY;
    case AttributeType::Kind::SINT32:
    case AttributeType::Kind::RAW:
    case AttributeType::Kind::CHAR:
    case AttributeType::Kind::VARCHAR:
    case AttributeType::Kind::BLOB:
    case AttributeType::Kind::CLOB:
    case AttributeType::Kind::BFILE:
    case AttributeType::Kind::REF:
      return DEFAULT_ENTRY;
    case AttributeType::Kind::EMBEDDED_OBJECT:
      break;
  }
  return -1;
}

int32_t LayoutWriter::slotBytesOf(AttributeType::Kind kind) noexcept {
  switch (kind) {
    case AttributeType::Kind::NUMBER:
    case AttributeType::Kind::FLOAT:
    case AttributeType::Kind::SINT32:
      return NUMBER_SLOT_BYTES;
    case AttributeType::Kind::DATE:
      return DATE_SLOT_BYTES;
    case AttributeType::Kind::CHAR:
    case AttributeType::Kind::VARCHAR:
      return CHAR_SLOT_BYTES;
    case AttributeType::Kind::RAW:
    case AttributeType::Kind::BLOB:
    case AttributeType::Kind::CLOB:
    case AttributeType::Kind::BFILE:
    case AttributeType::Kind::REF:
      return OFFSET_SLOT_BYTES;
    case AttributeType::Kind::EMBEDDED_OBJECT:
      break;
  }
  return -1;
}

// Sizes stay far inside 32 bits: at most 65535 slots of at most 31 bytes, plus alignment.
void LayoutWriter::layOut(const TypeDefinition& type, const lang::ByteArray& fd, Layout& into) {
  int32_t e = 0;
  int32_t m = 0;
  for (const TypeDefinition::Attribute& attribute : type.attributes()) {
    const AttributeType& t = attribute.type;
    if (const TypeDefinition* embedded = t.objectType()) {
      // Bounded by the definition's nesting levels.
      Layout inner;
      layOut(*embedded, fd, inner);
      e = alignFor(e, inner.maxAlignment);
      for (const int64_t offset : inner.offsets) into.offsets.push_back(offset + e);
      e += inner.size;
      m = std::max(m, inner.maxAlignment);
    } else {
      const Slot slot = slotOf(t.kind(), fd);
      e = alignFor(e, slot.mask);
      into.offsets.push_back(e);
      e += slot.size;
      m = std::max(m, slot.mask);
    }
  }
  into.size = alignFor(e, m);
  into.maxAlignment = m;
}

LayoutWriter::Layout LayoutWriter::computeLayout(const TypeDefinition& type,
                                                 const lang::ByteArray* formatDescriptor) {
  if (type.kind() == TypeDefinition::Kind::COLLECTION) {
    raiseInvalidArgument("a collection type has no layout description: " + type.sqlName());
  }
  if (formatDescriptor == nullptr) raiseInvalidArgument("no format descriptor");
  if (formatDescriptor->length() <= FD_VARIABLE_LENGTH_AT) {
    raiseInvalidArgument("format descriptor shorter than its start");
  }
  Layout layout;
  layout.offsets.reserve(static_cast<size_t>(type.leafSlotCount()));
  layOut(type, *formatDescriptor, layout);
  assert(layout.offsets.size() == static_cast<size_t>(type.leafSlotCount()));
  return layout;
}

// layout := count(UB4) size(UB4) offset(UB4)*count
lang::Ref<lang::ByteArray> LayoutWriter::write(const TypeDefinition& type,
                                               const lang::ByteArray* formatDescriptor) {
  const Layout layout = computeLayout(type, formatDescriptor);
  const auto count = static_cast<int32_t>(layout.offsets.size());
  auto out = lang::ByteArray::make(8 + 4 * static_cast<int64_t>(count));
  putUB4(*out, 0, count);
  putUB4(*out, 4, layout.size);
  for (int32_t i = 0; i < count; ++i) {
    putUB4(*out, 8 + 4 * i, layout.offsets[static_cast<size_t>(i)]);
  }
  return out;
}

// fd := 0 0 0 0 0 | 1 | 8 | entry0 .. entry12 | flags
lang::Ref<lang::ByteArray> LayoutWriter::defaultFormatDescriptor() {
  auto fd = lang::ByteArray::make(DEFAULT_FD_LENGTH);
  auto& d = *fd;
  constexpr int32_t entriesAt = FD_START_LENGTH + DEFAULT_FD_VARIABLE_LENGTH;
  d[FD_VARIABLE_LENGTH_AT] = DEFAULT_FD_VARIABLE_LENGTH;
  // The variable byte places the flags: d[5] + d[6] + 11 = DEFAULT_FD_FLAGS_AT.
  d[FD_START_LENGTH] = static_cast<int8_t>(DEFAULT_FD_FLAGS_AT - DEFAULT_FD_VARIABLE_LENGTH - 11);
  d[entriesAt + DEFAULT_ENTRY] = static_cast<int8_t>(DEFAULT_ENTRY_VALUE);
  d[entriesAt + DATE_ENTRY] = static_cast<int8_t>(DATE_ENTRY_VALUE);
  d[entriesAt + NUMBER_ENTRY] = static_cast<int8_t>(NUMBER_ENTRY_VALUE);
  d[DEFAULT_FD_FLAGS_AT] = static_cast<int8_t>(DEFAULT_FD_FLAGS);
  static_assert(entriesAt + NUMBER_ENTRY + 1 == DEFAULT_FD_FLAGS_AT);
  static_assert(DEFAULT_FD_FLAGS_AT + 1 == DEFAULT_FD_LENGTH);
  return fd;
}

}  // namespace kelvor::catalog
