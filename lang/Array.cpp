#include "lang/Array.h"

namespace kelvor::lang {

ObjectArray::ObjectArray(int32_t length, const std::type_info& elementType) noexcept
    : length_(length), elementType_(&elementType) {
  Ref<Object>* elements = data();
  for (int32_t i = 0; i < length; ++i) new (elements + i) Ref<Object>();
}

ObjectArray::~ObjectArray() {
  Ref<Object>* elements = data();
  for (int32_t i = length_; i > 0; --i) elements[i - 1].~Ref<Object>();
}

Ref<ObjectArray> ObjectArray::make(int64_t length, const std::type_info& elementType) {
  if (length < 0) throw NegativeArraySizeException(length);
  if (length > INT32_MAX) throw IllegalArgumentException("array length above 2^31-1");
  const size_t size = sizeof(ObjectArray) + sizeof(Ref<Object>) * static_cast<size_t>(length);
  if (BlockArena* arena = BlockArena::current()) {
    if (void* place = arena->place(size)) {
      auto* a = new (place) ObjectArray(static_cast<int32_t>(length), elementType);
      a->addClassBits(IN_SHARED_BLOCK);
      return Ref<ObjectArray>::adopt(a);
    }
  }
  void* memory = ::operator new(size);
  return Ref<ObjectArray>::adopt(new (memory)
                                     ObjectArray(static_cast<int32_t>(length), elementType));
}

void ObjectArray::operator delete(ObjectArray* p, std::destroying_delete_t) noexcept {
  const bool shared = (p->classBits() & IN_SHARED_BLOCK) != 0;
  p->~ObjectArray();
  SharedBlock::dispose(p, shared);
}

bool ObjectArray::sameElements(const ObjectArray& other) const {
  if (length_ != other.length_) return false;
  for (int32_t i = 0; i < length_; ++i) {
    const Object* a = data()[i].get();
    const Object* b = other.data()[i].get();
    if (a == nullptr ? b != nullptr : !a->equals(b)) return false;
  }
  return true;
}

Ref<ObjectArray> ObjectArray::of(std::initializer_list<Ref<Object>> values,
                                 const std::type_info& elementType) {
  Ref<ObjectArray> a = make(static_cast<int64_t>(values.size()), elementType);
  int32_t i = 0;
  for (const Ref<Object>& v : values) a->data()[i++] = v;
  return a;
}

}  // namespace kelvor::lang
