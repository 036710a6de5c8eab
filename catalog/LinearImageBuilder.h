// Builds the linear image of an object value: the fixed-slot byte string that the linear
// readers of an object type take, laid out by the type's own descriptor tree (null indexes,
// offset indexes) and linear layout (attribute offsets, image size). Used by the tool, the
// fuzzers and the tests to make images the way a server ships them. Stateless; every call
// builds in its own buffers. The type is only read, but its first use may fetch its type
// information through its connection (under the type's own lock), so concurrent calls on one
// type are safe.
//
// The bytes, numbers big-endian (UB2 unsigned 16-bit, UB4 32-bit):
//
//   image    := len(UB4) body           len counts the body; len 0 with no body: a null value
//   body     := 00 00 00 00 00 00 nulls data
//               the first byte is reserved, the second is read and not used, the next four
//               are stepped over: all 0
//   nulls    := n(UB4) 00 00 bits(n - 2)
//               two reserved bytes, then two bits per indicator, four indicators to a byte,
//               lowest bits first: indicator i lies in bits 2 (i mod 4) of byte 2 + i / 4.
//               Indicator i belongs to the descriptor whose null index is i: 0 is the object
//               itself, then every descriptor in parse order, embedded object types included.
//               A set indicator (Options::nullBits, 3 by default) marks a null; unused bits 0.
//   data     := dataLen(UB4) slots outOfLine
//   slots    := the type's linear image size in bytes. The slot of the leaf whose offset
//               index is k starts at attributeOffsets[k], counted from the first byte of
//               slots; "rel" below is counted from there too. Bytes that belong to no slot,
//               and every slot of a null, are 0.
//   outOfLine:= the values the slots point at, in the order the attributes are written,
//               unpadded
//
//   slot of a leaf, by its descriptor:
//     NUMBER, FLOAT, SINT32    L(1) number(L) 0{21 - L}    22 bytes; L <= 21
//     DATE                     year(2) month day hour minute second 00
//                              year signed 16-bit, high byte first when the type's format
//                              flag is set, low byte first when not; hour, minute, second
//                              counted from 0
//     CHAR, VARCHAR            rel(UB4) 00 00  ->  n(UB4) bytes(n)
//                              the bytes in the connection's character set; rel 0 (only with
//                              CharPlacement::AFTER_SLOT_WHEN_ROOM, when the value fits
//                              before the next slot or the end of slots): the value follows
//                              the 6 bytes directly
//     RAW                      rel(UB4)  ->  n(UB4) bytes(n)
//     BLOB, CLOB, BFILE, REF   rel(UB4)  ->  n(UB2) bytes(n)
//                              the value's bytes whole: a locator or REF starts with its own
//                              2-byte length
//     collection (a UPT, FB)   rel(UB4)  ->  collection
//                              the attribute's whole linear collection image, as below; a
//                              null one has its indicator set and no image
//   An embedded object has no slot: its leaves lie among the others, at their own offsets. An
//   object held through a UPT (FA) has no slot either, and no linear form in an object: the
//   readers take none.
//
// A null attribute sets its indicator and leaves its slot 0. A null embedded object sets its
// own indicator; its leaves keep zeroed slots and, by default, every descriptor below it is
// marked null too (Options::underNullObject), so that a reader which looks only at a leaf's
// own indicator still reads a null. The image's first byte is the high byte of len, below
// 0x80 for every image that fits in memory, which is how readers tell it from a pickled one.
//
// The linear image of a collection value (buildCollection), in the same number forms:
//
//   collection := A(UB4) body                A counts the body; A 0 with no body: a null
//                                            collection (a null value: the 4 bytes 00000000)
//   body       := 00 00 U(UB4) p(1) locator(U - 1) [I(UB4) part]
//                 U counts p. A value that holds its elements: U 1, p 01, no locator, then I,
//                 the length of part. A value kept behind a locator: p 00 and the locator's
//                 bytes, nothing after them.
//   part       := n(UB4) 00 element{n}
//   element    := f(1) form                  f 00 for a value, 01 for a null element
//
//   form, by the element descriptor, and what a null element carries after its 01:
//     NUMBER, FLOAT, SINT32  L(1) number(L) 0{21 - L}      null: 22 zero bytes (23-byte stride)
//     DATE                   year(2) month day hour minute second 00
//                            year ordered by the collection type's format flag, as in an
//                            object's date slot          null: 8 zero bytes
//     CHAR, VARCHAR, RAW     n(UB4) bytes(n)             null: 00 00 00 00
//                            characters in the connection's character set
//     BLOB, CLOB, BFILE      n(UB2) bytes(n) 0{S - 2 - n}  null: 00 00
//                            the locator whole, in a slot of S bytes after f (86 for BLOB and
//                            CLOB, 530 for BFILE); a longer locator is written whole, unpadded.
//                            A null does not fill the slot: readers step over its 2 bytes only.
//     REF                    n(UB2) bytes(n)             null: 00 00
//     object (a UPT, FA)     image                       null: 00 00 00 00
//                            the element's whole linear object image, as above
//     collection (a UPT, FB) collection                  null: 00 00
//                            the element's whole linear collection image
//   Every nested image is self-contained: its rels count from its own slots, and an element
//   part's positions from its own first element, so an image nests unchanged.
//
// Declared lengths (RAW and character maxima) are not checked: they bind what a writer
// accepts, not what an image can carry. An empty character or RAW value is written as it is
// (readers take it as null). Nor is a bounded collection's maximum element count, for the
// same reason.
#pragma once

#include <cstdint>

#include "lang/Array.h"
#include "lang/Ref.h"

namespace kelvor::jdbc {
class ArrayValue;
class ObjectValue;
}  // namespace kelvor::jdbc

namespace kelvor::jdbc::kelcore {
class KelvorTypeADT;
class KelvorTypeCOLLECTION;
}  // namespace kelvor::jdbc::kelcore

namespace kelvor::catalog {

class LinearImageBuilder {
 public:
  // How a null value (the whole object) is written.
  enum class NullValueForm : uint8_t {
    ZERO_LENGTH,     // len 0 and nothing else: 4 bytes
    NULL_INDICATOR,  // a whole image with indicator 0 set and zeroed slots
  };
  // The indicators of the descriptors below a null object (the object's own is always set).
  enum class UnderNullObject : uint8_t { MARKED_NULL, CLEAR };
  // Where a character value goes.
  enum class CharPlacement : uint8_t {
    OUT_OF_LINE,           // always behind the slots, through a non-zero rel
    AFTER_SLOT_WHEN_ROOM,  // right after its 6 bytes (rel 0) when it fits before the next slot
  };

  static constexpr int32_t DEFAULT_NULL_BITS = 3;
  // Bytes of the body before the null indicators, and of the indicators before their bits.
  static constexpr int32_t BODY_PREFIX_LENGTH = 6;
  static constexpr int32_t NULL_RESERVED_LENGTH = 2;

  struct Options {
    NullValueForm nullValue = NullValueForm::ZERO_LENGTH;
    UnderNullObject underNullObject = UnderNullObject::MARKED_NULL;
    CharPlacement characters = CharPlacement::OUT_OF_LINE;
    int32_t nullBits = DEFAULT_NULL_BITS;  // the 2-bit value of a set indicator: 1, 2 or 3
  };

  // The linear image of value (null: a null value, as Options::nullValue says) under the
  // type's descriptor tree and layout; the type is initialised through its connection first
  // when it has not been. Failures, as DriverException:
  //   ERR_INVALID_ARGUMENT  a value (or embedded value) whose attribute count is not its
  //                         type's, or that holds platform objects instead of SQL values;
  //                         an attribute value of the wrong class for its descriptor
  //                         (with the value); a number longer than 21 bytes, a date that is
  //                         not a date, a locator or REF whose first 2 bytes are not the
  //                         length of the rest; a type without a linear layout, an offset
  //                         index outside it, a slot that runs past the image size or into
  //                         another slot; nullBits outside 1..3; an image beyond 2^31 - 1
  //   ERR_UNSUPPORTED       a descriptor kind that has no linear slot here (a bare collection
  //                         descriptor, an object held through a UPT)
  // The collections below it are built as buildCollection builds them; the objects among
  // their elements under the same options.
  static lang::Ref<lang::ByteArray> build(jdbc::kelcore::KelvorTypeADT& type,
                                          const jdbc::ObjectValue* value);
  static lang::Ref<lang::ByteArray> build(jdbc::kelcore::KelvorTypeADT& type,
                                          const jdbc::ObjectValue* value, const Options& options);

  // The linear collection image of value (null: the 4 zero bytes of a null collection) under
  // the collection type's element descriptor; the type is initialised through its connection
  // first when it has not been. Failures, as DriverException:
  //   ERR_INVALID_ARGUMENT  an element of the wrong class for the element descriptor (with the
  //                         element); a number longer than 21 bytes, a date that is not a
  //                         date, a locator or REF whose first 2 bytes are not the length of
  //                         the rest; an image beyond 2^31 - 1 bytes
  //   ERR_UNSUPPORTED       elements without a linear element form here (an object
  //                         descriptor that is not a UPT)
  // Objects among the elements are built as build builds them, under the default options.
  static lang::Ref<lang::ByteArray> buildCollection(jdbc::kelcore::KelvorTypeCOLLECTION& type,
                                                    const jdbc::ArrayValue* value);
};

}  // namespace kelvor::catalog
