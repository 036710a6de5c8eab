// A listener to the image readers: a reader context that has one attached reports each field
// it reads (where it lies, how long it is, what kind of field it is and the descriptor that
// reads it), and the start and end of each attribute or element, so that a listing of an image
// (the tool's dump, a validator) comes out of the readers themselves and cannot disagree with
// them. A context holds a plain pointer, null by default; every report is guarded by one test
// of that pointer, so a reader without a listener does what it did before.
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
};

class FieldObserver {
 public:
  // One field: `length` bytes at `offset`, read by `type`.
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
