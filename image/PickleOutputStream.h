// The growable in-memory buffer into which a writer context writes an image. Besides the
// appends of the byte-array stream it reports how many bytes have been written and overwrites
// a range written earlier, which is how an image's length placeholder is patched once the body
// is known. All operations hold the stream's monitor; a stream is normally used by one writer
// context on one thread.
#pragma once

#include <cstdint>

#include "lang/Array.h"
#include "lang/ByteArrayOutputStream.h"

namespace kelvor::jdbc::kelcore {

class PickleOutputStream : public lang::ByteArrayOutputStream {
 public:
  // Empty stream with the byte-array stream's default initial capacity.
  PickleOutputStream();
  // Empty stream with the given initial capacity; a negative size throws
  // IllegalArgumentException.
  explicit PickleOutputStream(int32_t initialSize);

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

  const char* className() const noexcept override { return "PickleOutputStream"; }
};

}  // namespace kelvor::jdbc::kelcore
