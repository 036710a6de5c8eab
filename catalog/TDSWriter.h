// Writes the type descriptor segment (TDS) of a type definition: the byte string that an
// object type descriptor parses into its tree of attribute descriptors. Used by the tool, the
// in-memory catalog and the tests. Stateless to its callers; each call builds on its own
// buffer, so concurrent calls are safe.
//
// The bytes, opcodes and marks in decimal, numbers big-endian (UB1 unsigned byte, UB2
// unsigned 16-bit, SB2 signed 16-bit, UB4 32-bit):
//
//   tds     := header list                      object type
//            | header collection 42 entry description*   collection type
//   header  := size(UB4) 38 version(1) 0 0 slots(UB2) flag(1) 41 0 0 0 0 0 0
//     size     the TDS's own length in bytes; the parser skips it, dumps can check it
//     version  the type's version, a signed byte
//     slots    leaf slots of the type's linear layout (the offsets of its layout description);
//              0 for a collection type, which has no layout description
//     flag     0; 255 would set the parser's header flag, which nothing of ours needs
//     41       then SB2 0, which the parser requires, and four bytes it skips
//   list    := entry* 40
//   entry   := 3|4|6 precision(UB1) scale(UB1)            NUMBER, by opcode
//            | 5 precision(UB1)                           FLOAT; the parser skips the byte
//            | 8                                          SINT32
//            | 2                                          DATE
//            | 19 maxLength(SB2)                          RAW
//            | 1|7 maxLength(SB2) form(1) charsetId(SB2)  CHAR, VARCHAR
//            | 30 | 29 | 31                               BLOB, CLOB, BFILE
//            | 9                                          REF; the target's name is not here
//            | 39 list                                    embedded object type, own list
//            | 27 position(UB4) FB                        collection attribute (a UPT)
//   collection := 28 position(UB4) maxElements(UB4) kind(1)
//     position     where the element's entry starts, counted from the TDS start: right after
//                  the 42, so always HEADER_LENGTH + 11
//     maxElements  0..2^31-1 (the descriptor reads the field signed)
//     kind         3 bounded, 1 unbounded
//   The 42 sends the collection descriptor to its fix-up pass, which parses the element entry
//   at the position: a scalar's own entry, or for an object type or collection type element a
//   UPT entry, 27 position(UB4) FA|FB.
//
// UPT entries point at out-of-line descriptions, written after the segment's outermost list
// (which then ends with 42 instead of 40) or after the collection's element entry, in the
// order their entries were written, because the fix-up pass takes them first in, first out
// and only moves forward:
//   description := 0 tds                  FB: a collection type's complete segment
//                | 0 0 0 0 0 tds          FA: an object type's complete segment
// A UPT's position counts from the start of the segment that holds its entry, and a nested
// segment's own positions from its own start: the parser reads it with a reader of its own.
// An embedded list (39) still ends with 40 and leaves its fix-ups to the outermost pass.
#pragma once

#include <cstdint>
#include <vector>

#include "lang/Array.h"
#include "lang/Ref.h"

namespace kelvor::catalog {

class AttributeType;
class TypeDefinition;

class TDSWriter {
 public:
  static constexpr int32_t TDS_HEADER_MARK = 38;
  static constexpr int32_t TDS_ATTRIBUTES_MARK = 41;
  static constexpr int32_t OPC_END = 40;
  static constexpr int32_t OPC_COLLECTION = 28;
  static constexpr int32_t OPC_END_PATCHES = 42;
  static constexpr int32_t OPC_UPT = 27;
  static constexpr int32_t UPT_OBJECT = 0xFA;
  static constexpr int32_t UPT_COLLECTION = 0xFB;
  // A collection's own entry after the header: opcode, position, maximum, kind, 42.
  static constexpr int32_t COLLECTION_ENTRY_LENGTH = 11;
  static constexpr int32_t HEADER_LENGTH = 18;
  // Where the header holds the leaf slot count.
  static constexpr int32_t LEAF_SLOTS_AT = 8;

  // The complete TDS of the type. Every TypeDefinition is encodable, so this does not fail
  // (short of memory).
  static lang::Ref<lang::ByteArray> write(const TypeDefinition& type);

 private:
  TDSWriter() = default;

  // Each returns the number of bytes it appended.
  [[nodiscard]] int32_t writeType(const TypeDefinition& type);
  [[nodiscard]] int32_t writeList(const TypeDefinition& type);
  [[nodiscard]] int32_t writeCollection(const TypeDefinition& type);
  [[nodiscard]] int32_t writeEntry(const AttributeType& type);
  // A collection's element entry: a UPT entry for object and collection types.
  [[nodiscard]] int32_t writeElementEntry(const AttributeType& type);
  // 27 position(UB4, patched later) typeByte; queues the description.
  [[nodiscard]] int32_t writeUptEntry(const TypeDefinition& type, int32_t typeByte);
  // The queued descriptions, first in first out, each position patched as it is written.
  [[nodiscard]] int32_t writeDescriptions();

  void putUB1(int32_t value);
  void putSB2(int32_t value);
  void putUB2(int32_t value);
  void putUB4(uint32_t value);
  void patchUB4(size_t at, uint32_t value);
  int32_t size() const noexcept { return static_cast<int32_t>(out_.size()); }

  // A UPT entry whose description is still to be written.
  struct Pending {
    size_t positionAt;             // where the entry's UB4 position lies in out_
    const TypeDefinition* type;    // the type described there; owned by the definition
    int32_t typeByte;              // FA or FB
  };

  std::vector<int8_t> out_;       // the TDS so far
  std::vector<Pending> pending_;  // UPT entries in the order written
};

}  // namespace kelvor::catalog
