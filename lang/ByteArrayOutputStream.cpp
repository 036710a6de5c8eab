#include "lang/ByteArrayOutputStream.h"

#include <algorithm>
#include <cstring>

namespace kelvor::lang {

ByteArrayOutputStream::ByteArrayOutputStream(int32_t initialCapacity) {
  if (initialCapacity < 0) throw IllegalArgumentException("negative initial size");
  buf_.reset(new int8_t[static_cast<size_t>(initialCapacity)]);
  capacity_ = initialCapacity;
}

void ByteArrayOutputStream::ensureRoom(int32_t extra) {
  if (extra <= capacity_ - count_) return;
  if (extra > INT32_MAX - count_) throw IllegalArgumentException("stream above 2^31-1 bytes");
  const int32_t needed = count_ + extra;
  const int64_t doubled = std::max<int64_t>(int64_t{capacity_} * 2, DEFAULT_CAPACITY);
  const auto grown = static_cast<int32_t>(std::min<int64_t>(std::max<int64_t>(doubled, needed),
                                                            INT32_MAX));
  std::unique_ptr<int8_t[]> next(new int8_t[static_cast<size_t>(grown)]);
  if (count_ > 0) std::memcpy(next.get(), buf_.get(), static_cast<size_t>(count_));
  buf_ = std::move(next);
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
