// The cursor over a linear image: an object's attributes in slots of fixed size at known
// offsets from the object's start, variable-length data reached through 4-byte relative
// offsets or carried with 2- or 4-byte lengths, nullness in an indicator array or in a flag
// byte before each value. Each type descriptor reads its own slot through it. A context
// belongs to one thread for one read and has no lock.
//
// forms (big-endian):
//   UB4          := be32                 taken as signed 32-bit, widened to 64
//   SB2          := be16                 signed 16-bit
//   UB4 value    := be32(n) bytes(n)
//   UB2 value    := be16(n) bytes(n)     n unsigned; read with its 2 length bytes
//   number slot  := L(1) bytes(L) unused  22 bytes in all, whatever L is; L <= 21
//   relative offset := UB4 counted from baseOffset
//
// Hostile input: positions and lengths read from the image are untrusted. Every read checks
// that its bytes lie inside the image before it touches memory or allocates, and throws
// IndexOutOfBoundsException otherwise, leaving the position where the read started. A length
// from the image that is negative or runs past the end is such a failure; readBytes(n) with a
// negative n from the caller throws NegativeArraySizeException, as creating that array does.
// Moves (followOffset, jumpTo, skipToRelative, skipBytes, the skips of UB2 and UB4 values)
// compute in 64 bits; jumpTo and followOffset keep the low 32 bits of the sum, as 32-bit
// arithmetic would; the forward moves stop at 2^31-1. Wherever a move leads, the next read
// checks it.
#pragma once

#include <cstdint>
#include <utility>

#include "image/ByteOrder.h"
#include "image/FieldObserver.h"
#include "lang/Array.h"
#include "lang/Exceptions.h"
#include "lang/Object.h"
#include "lang/Ref.h"

namespace kelvor::jdbc::kelcore {

using lang::Ref;

class UnpickleContext : public lang::Object {
 public:
  // An empty context (no image).
  UnpickleContext();
  // A cursor at offset, which is also the object's base; the arrays may be null.
  UnpickleContext(Ref<lang::ByteArray> image, int32_t offset, Ref<lang::ByteArray> nullIndicators,
                  Ref<lang::LongArray> attributeOffsets, int8_t descriptorFlag);

  int32_t offset() const noexcept { return offset_; }
  Ref<lang::ByteArray> image() const { return image_; }
  // The null indicator of an attribute; non-zero means null. The index is checked
  // (IndexOutOfBoundsException); no indicators throws NullPointerException.
  int8_t isNull(int32_t attributeIndex) const;
  // markedOffset = offset; returns it.
  int32_t mark() noexcept;
  // offset = markedOffset; returns it.
  int32_t restoreMark() noexcept;
  // Reads a relative offset; marks the position after it and moves to baseOffset + it.
  // Returns the new position.
  int32_t followOffset();
  // Marks the position and moves to baseOffset + rel (low 32 bits).
  void jumpTo(int64_t rel) noexcept;
  int32_t relativeOffset() const noexcept;
  // Moves to baseOffset + rel if that lies ahead; never moves backwards.
  void skipToRelative(int32_t rel) noexcept;
  void skipToRelative(int64_t rel) noexcept;
  int8_t readByte();
  Ref<lang::ByteArray> readBytes(int32_t n);
  int64_t readUB4();
  // The 4-byte length that starts a linear object or collection image, which counts the bytes
  // after it: 0 for a null image. A negative length raises ERR_INTERNAL; one that claims more
  // bytes than follow raises IndexOutOfBoundsException (the image is cut short).
  int64_t readImageLength();
  int16_t readSB2();
  Ref<lang::ByteArray> readUB4Bytes();
  // The 2 length bytes and the n bytes after them.
  Ref<lang::ByteArray> readUB2Bytes();
  // The L bytes of a number slot; consumes the whole slot. L above 21 (more than the slot
  // holds) raises ERR_CONVERSION with the slot's bytes, reading and moving nothing.
  Ref<lang::ByteArray> readNumberSlot();
  // Advances n if n >= 0.
  void skipBytes(int32_t n);
  // Reads the 4-byte length n and advances n more (n as read: a negative n moves back).
  void skipUB4Bytes();
  // Reads the 2-byte length n and advances n more.
  void skipUB2Bytes();

  // Accessors for the descriptors that read through the context.
  int32_t baseOffset() const noexcept { return baseOffset_; }
  int32_t markedOffset() const noexcept { return markedOffset_; }
  int8_t descriptorFlag() const noexcept { return descriptorFlag_; }
  const Ref<lang::ByteArray>& nullIndicators() const noexcept { return nullIndicators_; }
  const Ref<lang::LongArray>& attributeOffsets() const noexcept { return attributeOffsets_; }
  // The slot offset of an attribute, relative to baseOffset; the index is checked
  // (IndexOutOfBoundsException); no offsets throws NullPointerException.
  int64_t attributeOffset(int32_t attributeIndex) const;
  const Ref<lang::Object>& pendingValue() const noexcept { return pendingValue_; }
  void setPendingValue(Ref<lang::Object> value) { pendingValue_ = std::move(value); }

  // The listener the readers report their fields to; null (the default) for none. Not owned:
  // it outlives the read. Contexts made for a part of the image take it over.
  FieldObserver* observer() const noexcept { return observer_; }
  void setObserver(FieldObserver* observer) noexcept { observer_ = observer; }
  // Where the slot of an attribute lies, for a report: baseOffset plus its slot offset, or the
  // position when the offsets do not hold it. Reads nothing.
  int32_t slotPosition(int32_t attributeIndex) const noexcept;

  // A value of a fixed size in either linear form: format 1 reaches an attribute through its
  // null indicator and its offset; any other is a flag byte and a structure of `size` bytes,
  // which a null fills too. Moves to the value's bytes and returns true, or steps over a null
  // (whatever it takes) and returns false; the indicator or the flag is reported to the
  // listener as `type`'s.
  bool enterFixedValue(int32_t format, int32_t offsetIndex, int32_t nullIndex, int32_t size,
                       KelvorType* type);

  const char* className() const noexcept override { return "UnpickleContext"; }

 private:
  // security: positions and lengths come from the image. Checks that n bytes lie at
  // offset_ + skip, wherever the position is; unsigned compares, never sums.
  void requireBytes(int32_t skip, int32_t n) const {
    const lang::ByteArray* img = image_.get();
    if (img == nullptr) throwNoImage();
    if (!bytesWithin(img->length(), offset_, skip, n)) throwOutOfImage(skip, n);
  }
  void requireBytes(int32_t n) const { requireBytes(0, n); }
  const int8_t* cursor() const noexcept { return image_->data() + offset_; }
  Ref<lang::ByteArray> takeBytes(int32_t skip, int32_t n);
  // Moves to position, held to the int32 range.
  void moveTo(int64_t position) noexcept;
  // baseOffset + rel, low 32 bits.
  int32_t wrappedFromBase(int64_t rel) const noexcept;

  [[noreturn]] void throwOutOfImage(int32_t skip, int32_t n) const;
  [[noreturn]] static void throwNoImage();
  [[noreturn]] __attribute__((noinline, cold)) void raiseOverlongNumberSlot() const;

  Ref<lang::ByteArray> image_;             // borrowed for the read
  int32_t offset_ = 0;                     // index of the next byte to read
  int32_t baseOffset_ = 0;                 // where the current object's image starts
  int32_t markedOffset_ = 0;               // one remembered position
  Ref<lang::Object> pendingValue_;         // carried for the descriptors; unused here
  Ref<lang::LongArray> attributeOffsets_;  // per attribute: slot offset from baseOffset_
  Ref<lang::ByteArray> nullIndicators_;    // per attribute: non-zero means null
  int8_t descriptorFlag_ = 0;              // copied from the object descriptor
  FieldObserver* observer_ = nullptr;      // not owned; null: nobody listens
};

}  // namespace kelvor::jdbc::kelcore
