#include "lang/ByteArrayOutputStream.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <new>

#include "lang/ByteCopy.h"

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
  if (initialCapacity > 0) buf_ = allocateBytes(nullptr, initialCapacity);
  capacity_ = initialCapacity;
}

ByteArrayOutputStream::ByteArrayOutputStream(int8_t* scratch, int32_t capacity) noexcept
    : buf_(scratch), capacity_(capacity), borrowed_(true) {}

ByteArrayOutputStream::~ByteArrayOutputStream() { dropBuffer(); }

void ByteArrayOutputStream::dropBuffer() noexcept {
  if (!borrowed_) std::free(buf_);
  buf_ = nullptr;
  borrowed_ = false;
}

void ByteArrayOutputStream::grow(int32_t extra) {
  if (extra > INT32_MAX - count_) throw IllegalArgumentException("stream above 2^31-1 bytes");
  const int32_t needed = count_ + extra;
  const int64_t doubled = std::max<int64_t>(int64_t{capacity_} * 2, DEFAULT_CAPACITY);
  const auto grown = static_cast<int32_t>(std::min<int64_t>(std::max<int64_t>(doubled, needed),
                                                            INT32_MAX));
  if (borrowed_) {
    int8_t* next = allocateBytes(nullptr, grown);
    copyBytes(next, buf_, static_cast<size_t>(count_));
    buf_ = next;
    borrowed_ = false;
  } else {
    // realloc keeps the bytes and, for large buffers, often the place (no copy at all).
    buf_ = allocateBytes(buf_, grown);
  }
  capacity_ = grown;
}

void ByteArrayOutputStream::write(int32_t b) {
  std::lock_guard<Monitor> hold(lock_);
  *roomFor(1) = static_cast<int8_t>(b);
  ++count_;
}

void ByteArrayOutputStream::write(const int8_t* src, int32_t n) {
  if (n <= 0) return;
  std::lock_guard<Monitor> hold(lock_);
  copyBytes(roomFor(n), src, static_cast<size_t>(n));
  count_ += n;
}

Ref<ByteArray> ByteArrayOutputStream::toByteArray() const {
  std::lock_guard<Monitor> hold(lock_);
  return ByteArray::copyOf(buf_, count_);
}

Ref<ByteArray> ByteArrayOutputStream::detachByteArray() {
  std::lock_guard<Monitor> hold(lock_);
  const int32_t n = count_;
  Ref<ByteArray> bytes;
  if (n == 0) {
    bytes = ByteArray::make(0);
    dropBuffer();
  } else if (borrowed_) {
    bytes = ByteArray::copyOf(buf_, n);  // one allocation: the array with its bytes
    dropBuffer();
  } else {
    // Shrinking leaves the bytes where they are (or moves them once, should realloc choose to).
    int8_t* trimmed = allocateBytes(buf_, n);
    buf_ = nullptr;
    capacity_ = 0;
    count_ = 0;
    return ByteArray::adoptBuffer(trimmed, n);  // frees the bytes should it fail
  }
  capacity_ = 0;
  count_ = 0;
  return bytes;
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
