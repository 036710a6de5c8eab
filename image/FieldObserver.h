// A listener to the image readers: a reader context, pickled or linear, that has one attached
// reports each field it reads (where it lies, how long it is, what kind of field it is and the
// descriptor that reads it), and the start and end of each attribute or element, so that a
// listing of an image (the tool's dump, a validator) comes out of the readers themselves and
// cannot disagree with them. A context holds a plain pointer, null by default; every report is
// guarded by one test of that pointer, so a reader without a listener does what it did before.
//
// Reports come in reading order, each after its field is read; a read that fails reports
// nothing for its field, and the attribute or element it belongs to is not left. Offsets are
// positions in the context's image. The descriptors are handed over as the readers hold them:
// a listener may read a nested image it is told of with them.
#pragma once

#include <cstdint>

namespace kelvor::jdbc::kelcore {

class KelvorType;

enum class FieldKind : uint8_t {
  IMAGE_FLAGS,      // an image's flags byte; value: the byte
  IMAGE_VERSION,    // value: the version byte
  IMAGE_LENGTH,     // value: the length as read (counting the whole image)
  NESTED_LENGTH,    // the length in front of a nested image; value: the length
  PREFIX_LENGTH,    // a collection image's prefix length; value: the length
  PREFIX_BYTE,      // value: the byte
  LOCATOR,          // the locator bytes of a collection image; value: their count
  COUNT_SEPARATOR,  // the byte before an element count, dropped; value: the byte
  ELEMENT_COUNT,    // value: the count
  DATA_VALUE,       // a data value with its length field; value: the bytes of the value
  NULL_VALUE,       // FF standing for the attribute or element of the descriptor
  NULL_FIRST_LEAF,  // FF standing for the first leaf of an inline object chain
  NULL_EMBEDDED,    // FD: a null inline object
  NULL_DEPTH,       // FC and its depth byte; value: the depth
  KEPT_IMAGE,       // a nested image the reader keeps whole; length: the image's own length
  // linear images
  LINEAR_LENGTH,     // the 4-byte length of an object or collection image; value: it
  UNUSED_BYTES,      // bytes read and not used
  STEPPED_OVER,      // bytes moved over without reading them
  INDICATOR_LENGTH,  // the length of the null indicator bytes; value: it
  INDICATORS_LEAD,   // the bytes before the indicator bits
  INDICATORS,        // the indicator bits, 2 per indicator; value: the indicators held
  DATA_LENGTH,       // value: the length of the slots and the data behind them
  NULL_INDICATOR,    // a null told by its indicator, no bytes of its own; value: its index
  VALUE_AT,          // a relative offset followed; value: the offset
  VALUE_FOLLOWS,     // a relative offset of 0: the value follows the slot
  NUMBER_SLOT,       // the length byte and bytes of a number slot; value: the byte count
  NATIVE_DATE,       // the bytes of a native date read; value: 1 when the year's high byte is first
  UB4_VALUE,         // a 4-byte length and its bytes; value: the byte count
  UB2_VALUE,         // a 2-byte length and its bytes, which belong to the value; value: the count
  LINEAR_PREFIX_LENGTH,  // value: the length (the flag byte and the locator)
  PREFIX_FLAG,           // value: the flag byte
  ELEMENT_PART_LENGTH,   // value: the length
  ELEMENT_FLAG,          // the flag before a present element; value: the byte
  NULL_ELEMENT_FLAG,     // the flag of a null element; value: the bytes stepped over after it
};

class FieldObserver {
 public:
  // One field: `length` bytes at `offset`, read by `type` (null for a number slot, whose
  // reader the number, float and integer descriptors share).
  virtual void field(int32_t offset, int32_t length, FieldKind kind, KelvorType* type,
                     int64_t value) = 0;
  // The reader, standing at `offset`, begins attribute `index` (0-based) of the object type
  // `container`, or element `index` (1-based) when `container` is a collection type.
  virtual void enter(int32_t offset, KelvorType* container, int64_t index) = 0;
  // The attribute or element last entered is read; the reader stands at `offset`.
  virtual void leave(int32_t offset) = 0;

 protected:
  FieldObserver() = default;
  ~FieldObserver() = default;
  FieldObserver(const FieldObserver&) = default;
  FieldObserver& operator=(const FieldObserver&) = default;
};

}  // namespace kelvor::jdbc::kelcore
