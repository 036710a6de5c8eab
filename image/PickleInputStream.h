// A byte input stream over a whole image, for callers that consume an image as a stream. Adds
// to the byte-array input stream the reading of its read position and a step back. Both hold
// the stream's monitor, like the inherited reads.
#pragma once

#include <cstdint>

#include "lang/Array.h"
#include "lang/ByteArrayInputStream.h"
#include "lang/Ref.h"

namespace kelvor::jdbc::kelcore {

class PickleInputStream : public lang::ByteArrayInputStream {
 public:
  // The stream over the whole array (position 0, count = its length); a null image throws
  // NullPointerException.
  explicit PickleInputStream(lang::Ref<lang::ByteArray> image);

  // The read position.
  int32_t offset() const;
  // Moves the read position back by n (forward for a negative n), without any check. A
  // position left outside the image makes the next read throw IndexOutOfBoundsException and
  // read nothing; the position wraps round as 32-bit arithmetic does instead of overflowing.
  void unread(int32_t n);

  // The array the stream was created over (the same array the inherited reads read).
  const lang::Ref<lang::ByteArray>& imageBytes() const noexcept { return imageBytes_; }

  const char* className() const noexcept override { return "PickleInputStream"; }

 private:
  lang::Ref<lang::ByteArray> imageBytes_;
};

}  // namespace kelvor::jdbc::kelcore
