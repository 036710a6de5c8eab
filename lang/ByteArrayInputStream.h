// An input stream over a byte array, from a position up to a count of valid bytes. Reads and
// the subclasses' added operations hold the stream's monitor. A position moved outside the
// array by a subclass makes the next read fail with IndexOutOfBoundsException, reading nothing.
#pragma once

#include <cstdint>
#include <mutex>

#include "lang/InputStream.h"

namespace kelvor::lang {

class ByteArrayInputStream : public InputStream {
 public:
  // Over the whole array; a null array throws NullPointerException.
  explicit ByteArrayInputStream(Ref<ByteArray> bytes);
  // Over bytes[offset .. offset+length-1], clipped to the array as the platform does.
  ByteArrayInputStream(Ref<ByteArray> bytes, int32_t offset, int32_t length);

  using InputStream::read;
  int32_t read() override;
  int32_t read(int8_t* dst, int32_t n) override;
  int64_t skip(int64_t n) override;
  int32_t available() override;
  void mark();
  void reset();

  const char* className() const noexcept override { return "ByteArrayInputStream"; }

 protected:
  // Throws IndexOutOfBoundsException when pos_ lies outside [0, count_]; lock held.
  void checkPosition() const;

  mutable std::recursive_mutex lock_;  // the stream's monitor
  Ref<ByteArray> buf_;
  int32_t pos_ = 0;
  int32_t mark_ = 0;
  int32_t count_ = 0;
};

}  // namespace kelvor::lang
