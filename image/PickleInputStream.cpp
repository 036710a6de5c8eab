#include "image/PickleInputStream.h"

#include <mutex>
#include <utility>

namespace kelvor::jdbc::kelcore {

PickleInputStream::PickleInputStream(lang::Ref<lang::ByteArray> image)
    : lang::ByteArrayInputStream(image), imageBytes_(std::move(image)) {}

int32_t PickleInputStream::offset() const {
  std::lock_guard<std::recursive_mutex> hold(lock_);
  return pos_;
}

void PickleInputStream::unread(int32_t n) {
  std::lock_guard<std::recursive_mutex> hold(lock_);
  // Unchecked by design; the reads check the position. Subtract modulo 2^32 (no signed
  // overflow): a wrapped position is outside the image and fails the next read.
  pos_ = static_cast<int32_t>(static_cast<uint32_t>(pos_) - static_cast<uint32_t>(n));
}

}  // namespace kelvor::jdbc::kelcore
