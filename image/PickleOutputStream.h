// The growable in-memory buffer into which a writer context writes an image. Besides the
// appends of the byte-array stream it reports how many bytes have been written and overwrites
// a range written earlier, which is how an image's length placeholder is patched once the body
// is known. All operations hold the stream's monitor; a stream is normally used by one writer
// context on one thread.
#pragma once

#include <cstdint>
#include <cstring>

#include "lang/Array.h"
#include "lang/ByteArrayOutputStream.h"
#include "lang/ByteCopy.h"

namespace kelvor::jdbc::kelcore {

class PickleOutputStream : public lang::ByteArrayOutputStream {
 public:
  // Empty stream with the byte-array stream's default initial capacity.
  PickleOutputStream();
  // Empty stream with the given initial capacity; a negative size throws
  // IllegalArgumentException.
  explicit PickleOutputStream(int32_t initialSize);
  // Empty stream that starts in scratch[0 .. capacity-1], borrowed (see ByteArrayOutputStream).
  PickleOutputStream(int8_t* scratch, int32_t capacity) noexcept;

  // Appends, as the byte-array stream does (under the monitor), with the room check inline:
  // an image is written as many small appends.
  using lang::ByteArrayOutputStream::write;
  void write(int32_t b) override;
  void write(const int8_t* src, int32_t n) override;

  // Appends prefix[0 .. prefixLen-1] and then src[0 .. n-1] under one hold of the monitor (a
  // length and its data value, for instance). Both counts >= 0 and both pointers valid are the
  // caller's to ensure. A stream that overrides the single appends overrides this too.
  virtual void writeWithPrefix(const int8_t* prefix, int32_t prefixLen, const int8_t* src,
                               int32_t n);

  // The number of bytes written so far: the position of the next appended byte.
  int32_t offset() const;

  // Replaces the len bytes at beginOffset by b[off .. off+len-1]; the count does not change.
  // The target range must lie inside the allocated buffer (its capacity, not the count): bytes
  // placed beyond the count never reach the output, since later appends write over them.
  // A range outside these bounds, or a negative beginOffset with len > 0, throws
  // IndexOutOfBoundsException and copies nothing; a null b throws NullPointerException.
  void overwrite(int32_t beginOffset, const lang::ByteArray* b, int32_t off, int32_t len);

  // --- appends of a writer that holds the monitor ---
  // For the one writer that holds the monitor around a whole image on a stream it made itself
  // (PickleContext::ImageScope): a room check and a store, no lock, no virtual call. They do
  // not go through the virtual appends, so a subclass's overrides never see them.
  //
  // Appends byte b.
  void appendHeld(int32_t b) {
    *roomFor(1) = static_cast<int8_t>(b);
    ++count_;
  }
  // Appends src[0 .. n-1], n >= 0.
  void appendHeld(const int8_t* src, int32_t n) {
    if (n > 0) lang::copyBytes(roomFor(n), src, static_cast<size_t>(n));
    count_ += n;
  }
  // Room for n >= 0 more bytes, grown to fit: the caller stores up to n bytes there and then
  // counts those it stored with commitHeld.
  int8_t* reserveHeld(int32_t n) { return roomFor(n); }
  void commitHeld(int32_t n) noexcept { count_ += n; }
  int32_t offsetHeld() const noexcept { return count_; }
  // The next byte's place and the buffer's end, for a writer that keeps its own cursor over a
  // run of appends (PickleContext::HeldRun) and then counts what lies before it with
  // settleHeld.
  int8_t* cursorHeld() noexcept { return buf_ + count_; }
  int8_t* endHeld() noexcept { return buf_ + capacity_; }
  void settleHeld(const int8_t* at) noexcept { count_ = static_cast<int32_t>(at - buf_); }
  // The stream position of such a cursor.
  int32_t offsetOf(const int8_t* at) const noexcept { return static_cast<int32_t>(at - buf_); }
  // overwrite() of len bytes at beginOffset from b, with the same bounds and exception.
  void overwriteHeld(int32_t beginOffset, const int8_t* b, int32_t len) {
    int8_t* target = placeHeld(beginOffset, len);
    if (len > 0) std::memmove(target, b, static_cast<size_t>(len));
  }
  // The place of the len bytes at beginOffset, for the caller to overwrite them in place: the
  // range must lie inside the buffer as for overwrite(), else IndexOutOfBoundsException.
  int8_t* placeHeld(int32_t beginOffset, int32_t len) {
    // beginOffset + len <= capacity (capacity - len cannot wrap: both are >= 0 here), and no
    // byte before the buffer. With len 0 nothing is placed, so only the end counts.
    const bool targetOk =
        len >= 0 && beginOffset <= capacity_ - len && (len == 0 || beginOffset >= 0);
    if (!targetOk) throwOutside();
    return buf_ + beginOffset;
  }

  const char* className() const noexcept override { return "PickleOutputStream"; }

 private:
  [[noreturn]] static void throwOutside();
};

}  // namespace kelvor::jdbc::kelcore
