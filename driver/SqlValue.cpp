#include "driver/SqlValue.h"

#include <algorithm>
#include <typeinfo>

namespace kelvor::jdbc {

SqlValue::~SqlValue() {
  lang::ByteArray* a = array_.load(std::memory_order_relaxed);
  if (a != nullptr) a->release();
}

lang::Ref<lang::ByteArray> SqlValue::publishArray() const {
  lang::Ref<lang::ByteArray> made = lang::ByteArray::copyOf(byteData(), byteLength());
  lang::ByteArray* expected = nullptr;
  // release: a thread that loads the array sees its elements; acquire on failure: the
  // winner's array, likewise
  if (array_.compare_exchange_strong(expected, made.get(), std::memory_order_acq_rel,
                                     std::memory_order_acquire)) {
    made->retain();  // the value's count
    return made;
  }
  return lang::Ref<lang::ByteArray>(expected);  // the first published; ours goes
}

void SqlValue::setBytes(lang::Ref<lang::ByteArray> bytes) {
  lang::ByteArray* old = array_.load(std::memory_order_relaxed);
  holdArray(bytes.detach());
  if (old != nullptr) old->release();
}

lang::Ref<lang::ByteArray> SqlValue::getBytes() const {
  return hasBytes() ? lang::ByteArray::copyOf(byteData(), byteLength()) : nullptr;
}

bool SqlValue::equals(const lang::Object* other) const {
  if (other == this) return true;
  if (other == nullptr || typeid(*other) != typeid(*this)) return false;
  const auto& o = static_cast<const SqlValue&>(*other);
  if (!hasBytes() || !o.hasBytes()) return !hasBytes() && !o.hasBytes();
  return std::ranges::equal(byteSpan(), o.byteSpan());
}

int32_t SqlValue::hashCode() const {
  uint32_t h = 1;
  for (const int8_t b : byteSpan()) h = 31 * h + static_cast<uint8_t>(b);
  return static_cast<int32_t>(h);
}

}  // namespace kelvor::jdbc
