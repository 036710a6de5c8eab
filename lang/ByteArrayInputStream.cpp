#include "lang/ByteArrayInputStream.h"

#include <algorithm>
#include <cstring>

#include "lang/ByteCopy.h"

namespace kelvor::lang {

ByteArrayInputStream::ByteArrayInputStream(Ref<ByteArray> bytes) : buf_(std::move(bytes)) {
  if (!buf_) throwNullPointer("ByteArrayInputStream over null");
  count_ = buf_->length();
}

ByteArrayInputStream::ByteArrayInputStream(Ref<ByteArray> bytes, int32_t offset, int32_t length)
    : buf_(std::move(bytes)) {
  if (!buf_) throwNullPointer("ByteArrayInputStream over null");
  if (offset < 0 || offset > buf_->length()) throwIndexOutOfBounds(offset, buf_->length());
  pos_ = offset;
  mark_ = offset;
  count_ = (length < 0 || length > buf_->length() - offset) ? buf_->length() : offset + length;
}

void ByteArrayInputStream::checkPosition() const {
  if (pos_ < 0 || pos_ > count_) throwIndexOutOfBounds(pos_, count_);
}

int32_t ByteArrayInputStream::read() {
  std::lock_guard<std::recursive_mutex> hold(lock_);
  checkPosition();
  if (pos_ == count_) return -1;
  return static_cast<uint8_t>((*buf_)[pos_++]);
}

int32_t ByteArrayInputStream::read(int8_t* dst, int32_t n) {
  std::lock_guard<std::recursive_mutex> hold(lock_);
  checkPosition();
  if (n <= 0) return 0;
  if (pos_ == count_) return -1;
  const int32_t k = std::min(n, count_ - pos_);
  copyBytes(dst, buf_->data() + pos_, static_cast<size_t>(k));
  pos_ += k;
  return k;
}

int64_t ByteArrayInputStream::skip(int64_t n) {
  std::lock_guard<std::recursive_mutex> hold(lock_);
  checkPosition();
  if (n <= 0) return 0;
  const int64_t k = std::min<int64_t>(n, count_ - pos_);
  pos_ += static_cast<int32_t>(k);
  return k;
}

int32_t ByteArrayInputStream::available() {
  std::lock_guard<std::recursive_mutex> hold(lock_);
  return (pos_ < 0 || pos_ > count_) ? 0 : count_ - pos_;
}

void ByteArrayInputStream::mark() {
  std::lock_guard<std::recursive_mutex> hold(lock_);
  mark_ = pos_;
}

void ByteArrayInputStream::reset() {
  std::lock_guard<std::recursive_mutex> hold(lock_);
  pos_ = mark_;
}

}  // namespace kelvor::lang
