// A growable in-memory byte buffer. The output is the first `count` bytes of the buffer; the
// rest is capacity. Writes and the subclasses' added operations hold the stream's monitor.
//
// A stream may start in a buffer of its creator's (scratch space on the creator's stack, say):
// the bytes stay there until they outgrow it, then move to a buffer of the stream's own. The
// creator's buffer must outlive the stream and is never freed by it.
#pragma once

#include <cstdint>
#include <cstdlib>
#include <cstring>
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
  // A stream that starts in scratch[0 .. capacity-1], borrowed (capacity >= 0).
  ByteArrayOutputStream(int8_t* scratch, int32_t capacity) noexcept;
  ~ByteArrayOutputStream() override;

  using OutputStream::write;
  void write(int32_t b) override;
  void write(const int8_t* src, int32_t n) override;

  // A new array holding the first count bytes.
  Ref<ByteArray> toByteArray() const;
  // The first count bytes as an array that takes over the buffer (trimmed to them, not
  // copied; bytes still in a borrowed buffer are copied into one new array); the stream is
  // left empty, with no capacity.
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
  void ensureRoom(int32_t extra) {
    if (extra > capacity_ - count_) grow(extra);
  }
  // The place of the next n >= 0 bytes, grown to fit; call with the lock held. The bytes count
  // once the caller adds n to count_.
  int8_t* roomFor(int32_t n) {
    ensureRoom(n);
    return buf_ + count_;
  }

  mutable Monitor lock_;  // the stream's monitor
  // The bytes: the borrowed buffer, or one from std::malloc (so that it grows and shrinks in
  // place where it can and a detached array can take it over); null while the capacity is 0.
  int8_t* buf_ = nullptr;
  int32_t capacity_ = 0;
  int32_t count_ = 0;

 private:
  void grow(int32_t extra);
  void dropBuffer() noexcept;

  bool borrowed_ = false;  // buf_ is the creator's
};

}  // namespace kelvor::lang
