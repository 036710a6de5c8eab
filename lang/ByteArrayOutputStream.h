// A growable in-memory byte buffer. The output is the first `count` bytes of the buffer; the
// rest is capacity. Writes and the subclasses' added operations hold the stream's monitor.
#pragma once

#include <cstdint>
#include <cstdlib>
#include <memory>
#include <mutex>

#include "lang/Monitor.h"
#include "lang/OutputStream.h"

namespace kelvor::lang {

class ByteArrayOutputStream : public OutputStream {
 public:
  static constexpr int32_t DEFAULT_CAPACITY = 32;

  ByteArrayOutputStream() : ByteArrayOutputStream(DEFAULT_CAPACITY) {}
  // A negative capacity throws IllegalArgumentException.
  explicit ByteArrayOutputStream(int32_t initialCapacity);

  using OutputStream::write;
  void write(int32_t b) override;
  void write(const int8_t* src, int32_t n) override;

  // A new array holding the first count bytes.
  Ref<ByteArray> toByteArray() const;
  // The first count bytes as an array that takes over the buffer (trimmed to them, not
  // copied); the stream is left empty, with no capacity.
  Ref<ByteArray> detachByteArray();
  int32_t size() const;
  void reset();
  // The allocated length of the buffer.
  int32_t capacity() const;
  // The stream's monitor: a writer may hold it around a whole image, so that each append
  // re-enters it at the cost of a comparison.
  Monitor& monitor() const noexcept { return lock_; }

  const char* className() const noexcept override { return "ByteArrayOutputStream"; }

 protected:
  // Grows the buffer so that `extra` more bytes fit after count_; call with the lock held.
  void ensureRoom(int32_t extra);

  struct FreeBuffer {
    void operator()(int8_t* p) const noexcept { std::free(p); }
  };

  mutable Monitor lock_;  // the stream's monitor
  // From std::malloc, so that it grows and shrinks in place where it can and a detached array
  // can take it over; null while the capacity is 0.
  std::unique_ptr<int8_t[], FreeBuffer> buf_;
  int32_t capacity_ = 0;
  int32_t count_ = 0;
};

}  // namespace kelvor::lang
