#include "lang/ByteArrayOutputStream.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <new>

namespace kelvor::lang {
namespace {

// n > 0 bytes, the first of them those of `from` (null: none), as realloc gives them.
int8_t* allocateBytes(int8_t* from, int32_t n) {
  void* p = std::realloc(from, static_cast<size_t>(n));
  if (p == nullptr) throw std::bad_alloc();
  return static_cast<int8_t*>(p);
}

}  // namespace

ByteArrayOutputStream::ByteArrayOutputStream(int32_t initialCapacity) {
  if (initialCapacity < 0) throw IllegalArgumentException("negative initial size");
  if (initialCapacity > 0) buf_.reset(allocateBytes(nullptr, initialCapacity));
  capacity_ = initialCapacity;
}

void ByteArrayOutputStream::ensureRoom(int32_t extra) {
  if (extra <= capacity_ - count_) return;
  if (extra > INT32_MAX - count_) throw IllegalArgumentException("stream above 2^31-1 bytes");
  const int32_t needed = count_ + extra;
  const int64_t doubled = std::max<int64_t>(int64_t{capacity_} * 2, DEFAULT_CAPACITY);
  const auto grown = static_cast<int32_t>(std::min<int64_t>(std::max<int64_t>(doubled, needed),
                                                            INT32_MAX));
  // realloc keeps the bytes and, for large buffers, often the place (no copy at all).
  int8_t* next = allocateBytes(buf_.get(), grown);
  (void)buf_.release();  // moved into next, or still there and next is it
  buf_.reset(next);
  capacity_ = grown;
}

void ByteArrayOutputStream::write(int32_t b) {
  std::lock_guard<Monitor> hold(lock_);
  ensureRoom(1);
  buf_[static_cast<size_t>(count_++)] = static_cast<int8_t>(b);
}

void ByteArrayOutputStream::write(const int8_t* src, int32_t n) {
  if (n <= 0) return;
  std::lock_guard<Monitor> hold(lock_);
  ensureRoom(n);
  std::memcpy(buf_.get() + count_, src, static_cast<size_t>(n));
  count_ += n;
}

Ref<ByteArray> ByteArrayOutputStream::toByteArray() const {
  std::lock_guard<Monitor> hold(lock_);
  return ByteArray::copyOf(buf_.get(), count_);
}

Ref<ByteArray> ByteArrayOutputStream::detachByteArray() {
  std::lock_guard<Monitor> hold(lock_);
  if (count_ == 0) return ByteArray::make(0);
  // Shrinking leaves the bytes where they are (or moves them once, should realloc choose to).
  int8_t* bytes = allocateBytes(buf_.get(), count_);
  (void)buf_.release();
  const int32_t n = count_;
  capacity_ = 0;
  count_ = 0;
  return ByteArray::adoptBuffer(bytes, n);
}

int32_t ByteArrayOutputStream::size() const {
  std::lock_guard<Monitor> hold(lock_);
  return count_;
}

void ByteArrayOutputStream::reset() {
  std::lock_guard<Monitor> hold(lock_);
  count_ = 0;
}

int32_t ByteArrayOutputStream::capacity() const {
  std::lock_guard<Monitor> hold(lock_);
  return capacity_;
}

}  // namespace kelvor::lang
