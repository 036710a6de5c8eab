#include "driver/SqlValue.h"

#include <typeinfo>

namespace kelvor::jdbc {

lang::Ref<lang::ByteArray> SqlValue::getBytes() const {
  return bytes_ ? lang::ByteArray::copyOf(bytes_->data(), bytes_->length()) : nullptr;
}

bool SqlValue::equals(const lang::Object* other) const {
  if (other == this) return true;
  if (other == nullptr || typeid(*other) != typeid(*this)) return false;
  const auto& o = static_cast<const SqlValue&>(*other);
  if (!bytes_ || !o.bytes_) return !bytes_ && !o.bytes_;
  return bytes_->sameContents(*o.bytes_);
}

int32_t SqlValue::hashCode() const {
  uint32_t h = 1;
  if (bytes_) {
    for (const int8_t b : bytes_->span()) h = 31 * h + static_cast<uint8_t>(b);
  }
  return static_cast<int32_t>(h);
}

}  // namespace kelvor::jdbc
