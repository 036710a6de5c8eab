// The platform's byte output stream.
#pragma once

#include <cstdint>

#include "lang/Array.h"
#include "lang/Object.h"

namespace kelvor::lang {

class OutputStream : public Object {
 public:
  // Appends the low 8 bits of b.
  virtual void write(int32_t b) = 0;
  // Appends n bytes from src; n >= 0 and src valid for n bytes are the caller's to ensure.
  virtual void write(const int8_t* src, int32_t n) = 0;
  virtual void flush() {}

  // Appends b[off .. off+len-1]; the range is checked against b first.
  void write(const ByteArray& b, int32_t off, int32_t len);
  void write(const ByteArray& b) { write(b.data(), b.length()); }

  const char* className() const noexcept override { return "OutputStream"; }
};

}  // namespace kelvor::lang
