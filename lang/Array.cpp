#include "lang/Array.h"

namespace kelvor::lang {

ObjectArray::ObjectArray(int32_t length, const std::type_info& elementType)
    : length_(length),
      elementType_(&elementType),
      data_(new Ref<Object>[static_cast<size_t>(length)]) {}

Ref<ObjectArray> ObjectArray::make(int64_t length, const std::type_info& elementType) {
  if (length < 0) throw NegativeArraySizeException(length);
  if (length > INT32_MAX) throw IllegalArgumentException("array length above 2^31-1");
  return Ref<ObjectArray>::adopt(new ObjectArray(static_cast<int32_t>(length), elementType));
}

bool ObjectArray::sameElements(const ObjectArray& other) const {
  if (length_ != other.length_) return false;
  for (int32_t i = 0; i < length_; ++i) {
    const Object* a = data_[static_cast<size_t>(i)].get();
    const Object* b = other.data_[static_cast<size_t>(i)].get();
    if (a == nullptr ? b != nullptr : !a->equals(b)) return false;
  }
  return true;
}

Ref<ObjectArray> ObjectArray::of(std::initializer_list<Ref<Object>> values,
                                 const std::type_info& elementType) {
  Ref<ObjectArray> a = make(static_cast<int64_t>(values.size()), elementType);
  int32_t i = 0;
  for (const Ref<Object>& v : values) a->data_[static_cast<size_t>(i++)] = v;
  return a;
}

}  // namespace kelvor::lang
