// Writes the linear layout description of a top-level object type: where each leaf slot of
// the type's linear image lies and how large the image is. An object type descriptor fetches
// it with the type's TDS and reads it instead of computing the layout itself; the two must
// agree, so the layout here is computed the way the descriptor computes the layout of an
// embedded type, from the native sizes and alignments of a format descriptor. Stateless;
// safe from any thread.
//
// Layout of a type, over its attributes in order, e = 0 and m = 0:
//   an embedded object type is laid out first, by the same rule; its size and largest
//   alignment stand for it; any other attribute takes size and alignment mask from its format
//   descriptor entry (table below). When e & mask is non-zero, e is aligned above (to the next
//   multiple of the alignment). The attribute's slot starts at e (an embedded type adds e to
//   each of its own offsets); e += size, m = max(m, mask). After the last attribute e is
//   aligned to m the same way: that is the size of the image.
//
//   attribute                 entry   slot read at its offset            at least
//   NUMBER, FLOAT             12      length byte and up to 21 bytes     22
//   DATE                      11      the native date structure           8
//   SINT32                     5      a number slot like NUMBER's        22
//   CHAR, VARCHAR              5      UB4 relative offset and 2 bytes     6
//   RAW, BLOB, CLOB, BFILE     5      UB4 relative offset                 4
//   REF                        5      UB4 relative offset                 4
//
// Entry 5 serves slots of several sizes, so it must hold the largest of those a type uses.
//
// The description, numbers UB4 big-endian:
//   layout := count(UB4) size(UB4) offset(UB4)*count
//     count   the number of offsets; readers take it from the TDS header and skip this one
//     size    the size of the type's linear image
//     offset  one per leaf slot in parse order, embedded leaves in place, counted from the
//             start of the object
//
// Default format descriptor (defaultFormatDescriptor), 21 bytes:
//   fd := 0 0 0 0 0 | 1 | 8 | entry0 .. entry12 | flags
//     d[5] = 1     one byte of variable section, so entry k sits at 7 + k
//     d[6] = 8     that byte; it places the flags at d[5] + d[6] + 11 = 20, right after
//                  entry 12 (entries 0..12 are 5 + 8 entries)
//     entry 5  = 0xC3   24 bytes, alignment 4 (mask 3)
//     entry 11 = 0x41    8 bytes, alignment 2 (mask 1)
//     entry 12 = 0xB0   22 bytes, alignment 1 (mask 0)
//     other entries 0 (no slot of ours reads them)
//     flags = 0x10  bit 4 set: the year of a native date is stored high byte first, like
//                   every other number of a linear image
#pragma once

#include <cstdint>
#include <vector>

#include "catalog/AttributeType.h"
#include "lang/Array.h"
#include "lang/Ref.h"

namespace kelvor::catalog {

class TypeDefinition;

class LayoutWriter {
 public:
  // Format descriptor entries read by the descriptors of the attribute kinds.
  static constexpr int32_t DEFAULT_ENTRY = 5;
  static constexpr int32_t DATE_ENTRY = 11;
  static constexpr int32_t NUMBER_ENTRY = 12;

  // The default format descriptor's bytes (see above).
  static constexpr int32_t DEFAULT_FD_LENGTH = 21;
  static constexpr int32_t DEFAULT_FD_VARIABLE_LENGTH = 1;
  static constexpr int32_t DEFAULT_FD_FLAGS_AT = 20;
  static constexpr int32_t DEFAULT_FD_FLAGS = 0x10;
  static constexpr int32_t DEFAULT_ENTRY_VALUE = (24 << 3) | 3;
  static constexpr int32_t DATE_ENTRY_VALUE = (8 << 3) | 1;
  static constexpr int32_t NUMBER_ENTRY_VALUE = (22 << 3) | 0;

  struct Layout {
    std::vector<int64_t> offsets;  // one per leaf slot, from the start of the object
    int32_t size = 0;              // the linear image's size in bytes
    int32_t maxAlignment = 0;      // the largest alignment mask among the slots
  };

  // The layout of the type under the format descriptor. The descriptor must hold every entry
  // the type's attributes read, each with an alignment mask of 0, 1, 3 or 7 and a size of at
  // least the slot the attribute reads; otherwise ERR_INVALID_ARGUMENT (as for a null one, and
  // for a collection type, which has no layout description).
  static Layout computeLayout(const TypeDefinition& type, const lang::ByteArray* formatDescriptor);
  // The layout description of computeLayout's result; same failures.
  static lang::Ref<lang::ByteArray> write(const TypeDefinition& type,
                                          const lang::ByteArray* formatDescriptor);
  // A new array holding the default format descriptor.
  static lang::Ref<lang::ByteArray> defaultFormatDescriptor();

  // The format descriptor entry of a leaf attribute kind, and the least slot size it needs.
  // EMBEDDED_OBJECT has neither: -1.
  static int32_t formatEntryOf(AttributeType::Kind kind) noexcept;
  static int32_t slotBytesOf(AttributeType::Kind kind) noexcept;

 private:
  static void layOut(const TypeDefinition& type, const lang::ByteArray& fd, Layout& into);
};

}  // namespace kelvor::catalog
