// The platform's byte input stream: a single-byte read that answers -1 at the end, a counted
// read into an array, skip, and a whole-buffer read that fails at a premature end.
#pragma once

#include <cstdint>

#include "lang/Array.h"
#include "lang/Object.h"

namespace kelvor::lang {

class InputStream : public Object {
 public:
  // The next byte as 0..255, or -1 at the end of the stream.
  virtual int32_t read() = 0;
  // Reads up to n bytes into dst; returns the count read, 0 when n is 0, -1 at the end.
  virtual int32_t read(int8_t* dst, int32_t n) = 0;
  // Skips up to n bytes; returns the count skipped (0 for n <= 0).
  virtual int64_t skip(int64_t n);
  // Bytes that can be read without blocking; for an in-memory stream, the bytes that remain.
  virtual int32_t available() { return 0; }

  // Counted read into b[off .. off+len-1]; the range is checked against b first.
  int32_t read(ByteArray& b, int32_t off, int32_t len);
  int32_t read(ByteArray& b) { return read(b, 0, b.length()); }
  // Fills the whole buffer or throws EOFException.
  void readFully(ByteArray& b);

  const char* className() const noexcept override { return "InputStream"; }
};

}  // namespace kelvor::lang
