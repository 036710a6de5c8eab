// Arrays of the platform: one template for the primitive element kinds and an object array
// that knows its element class. Arrays have a fixed length and identity; their contents are
// zero (or null) when created. Checked access (`at`, `set`) throws IndexOutOfBoundsException;
// `operator[]` and `data()` are for code that has already checked.
#pragma once

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <initializer_list>
#include <memory>
#include <new>
#include <span>
#include <typeinfo>

#include "lang/Exceptions.h"
#include "lang/ByteCopy.h"
#include "lang/Object.h"
#include "lang/Ref.h"
#include "lang/SharedBlock.h"

namespace kelvor::lang {

template <typename E>
struct PrimitiveArrayName;
template <> struct PrimitiveArrayName<bool> { static constexpr const char* value = "boolean[]"; };
template <> struct PrimitiveArrayName<int8_t> { static constexpr const char* value = "byte[]"; };
template <> struct PrimitiveArrayName<int16_t> { static constexpr const char* value = "short[]"; };
template <> struct PrimitiveArrayName<char16_t> { static constexpr const char* value = "char[]"; };
template <> struct PrimitiveArrayName<int32_t> { static constexpr const char* value = "int[]"; };
template <> struct PrimitiveArrayName<int64_t> { static constexpr const char* value = "long[]"; };
template <> struct PrimitiveArrayName<float> { static constexpr const char* value = "float[]"; };
template <> struct PrimitiveArrayName<double> { static constexpr const char* value = "double[]"; };

template <typename E>
class PrimitiveArray final : public Object {
 public:
  using element_type = E;

  // A zeroed array; a negative length throws NegativeArraySizeException, a length above the
  // platform's 32-bit limit IllegalArgumentException.
  static Ref<PrimitiveArray> make(int64_t length) {
    Ref<PrimitiveArray> a = allocate(length);
    if (a->length_ > 0) std::memset(a->data(), 0, sizeof(E) * static_cast<size_t>(a->length_));
    return a;
  }
  // An array whose elements the caller fills before anything reads them (a copy from
  // elsewhere): nothing is zero-filled first.
  static Ref<PrimitiveArray> unfilled(int64_t length) { return allocate(length); }
  // A new array holding a copy of data[0 .. length-1]; nothing is zero-filled first.
  static Ref<PrimitiveArray> copyOf(const E* data, int32_t length) {
    Ref<PrimitiveArray> a = allocate(length);
    copyBytes(a->data(), data, sizeof(E) * static_cast<size_t>(length));  // length >= 0 here
    return a;
  }
  static Ref<PrimitiveArray> of(std::initializer_list<E> values) {
    return copyOf(values.begin(), static_cast<int32_t>(values.size()));
  }
  // An array over `length` elements that the caller allocated with std::malloc (null when
  // length is 0), taken over without a copy and freed with std::free when the array goes.
  // The buffer is the array's from the call on, even when the call throws.
  static Ref<PrimitiveArray> adoptBuffer(E* elements, int32_t length) {
    std::unique_ptr<E, FreeElements> owned(elements);
    if (length < 0) throw NegativeArraySizeException(length);
    void* memory = ::operator new(sizeof(PrimitiveArray));
    return Ref<PrimitiveArray>::adopt(new (memory) PrimitiveArray(length, owned.release()));
  }

  ~PrimitiveArray() override {
    if (data_ != inlineElements()) std::free(data_);
  }

  int32_t length() const noexcept { return length_; }
  // The elements live in the same allocation, right after the object.
  E* data() noexcept { return data_; }
  const E* data() const noexcept { return data_; }
  std::span<E> span() noexcept { return {data(), static_cast<size_t>(length_)}; }
  std::span<const E> span() const noexcept { return {data(), static_cast<size_t>(length_)}; }
  E& operator[](int32_t i) noexcept { return data()[i]; }
  const E& operator[](int32_t i) const noexcept { return data()[i]; }

  E at(int32_t i) const {
    if (i < 0 || i >= length_) throwIndexOutOfBounds(i, length_);
    return data()[i];
  }
  void set(int32_t i, E value) {
    if (i < 0 || i >= length_) throwIndexOutOfBounds(i, length_);
    data()[i] = value;
  }
  // Element-wise equality (equals() keeps the platform's identity semantics of arrays).
  bool sameContents(const PrimitiveArray& other) const noexcept {
    return length_ == other.length_ &&
           (length_ == 0 ||
            std::memcmp(data(), other.data(), sizeof(E) * static_cast<size_t>(length_)) == 0);
  }

  const char* className() const noexcept override { return PrimitiveArrayName<E>::value; }

  // The array and its elements at `memory`, a place of a SharedBlock with room for
  // sharedSize(length) bytes: a copy of data[0 .. length-1], the length checked by the caller.
  static Ref<PrimitiveArray> placeShared(void* memory, const E* data, int32_t length) noexcept {
    E* elements = reinterpret_cast<E*>(static_cast<char*>(memory) + sizeof(PrimitiveArray));
    if (length > 0) std::memcpy(elements, data, sizeof(E) * static_cast<size_t>(length));
    auto* a = new (memory) PrimitiveArray(length, elements);
    a->addClassBits(IN_SHARED_BLOCK);
    return Ref<PrimitiveArray>::adopt(a);
  }
  static constexpr size_t sharedSize(int32_t length) noexcept {
    return sizeof(PrimitiveArray) + sizeof(E) * static_cast<size_t>(length);
  }

  // Object and elements are one allocation (see allocate), or a place of a SharedBlock;
  // release() ends either through here.
  static void operator delete(PrimitiveArray* p, std::destroying_delete_t) noexcept {
    const bool shared = (p->classBits() & IN_SHARED_BLOCK) != 0;
    p->~PrimitiveArray();
    SharedBlock::dispose(p, shared);
  }

 private:
  static_assert(alignof(E) <= alignof(Object), "elements follow the object unpadded");

  PrimitiveArray(int32_t length, E* data) noexcept : length_(length), data_(data) {}

  struct FreeElements {
    void operator()(E* p) const noexcept { std::free(p); }
  };
  // Where allocate() puts the elements; an adopted buffer lies anywhere else.
  const E* inlineElements() const noexcept {
    return reinterpret_cast<const E*>(reinterpret_cast<const char*>(this) + sizeof(PrimitiveArray));
  }

  // One allocation for the object and its elements, which are left uninitialised.
  static Ref<PrimitiveArray> allocate(int64_t length) {
    if (length < 0) throw NegativeArraySizeException(length);
    if (length > INT32_MAX) throw IllegalArgumentException("array length above 2^31-1");
    void* memory = ::operator new(sizeof(PrimitiveArray) + sizeof(E) * static_cast<size_t>(length));
    E* elements = reinterpret_cast<E*>(static_cast<char*>(memory) + sizeof(PrimitiveArray));
    return Ref<PrimitiveArray>::adopt(new (memory) PrimitiveArray(static_cast<int32_t>(length), elements));
  }

  int32_t length_;
  E* data_;  // the elements: right after the object in the same allocation, or adopted
};

using BooleanArray = PrimitiveArray<bool>;
using ByteArray = PrimitiveArray<int8_t>;
using ShortArray = PrimitiveArray<int16_t>;
using CharArray = PrimitiveArray<char16_t>;
using IntArray = PrimitiveArray<int32_t>;
using LongArray = PrimitiveArray<int64_t>;
using FloatArray = PrimitiveArray<float>;
using DoubleArray = PrimitiveArray<double>;

// An array of object references whose element class is recorded, so that an array of one
// particular reference type can be told from a generic object array. The object and its
// elements are one allocation; inside a read (a BlockArena installed) a short array is placed
// in the read's shared blocks.
class ObjectArray final : public Object {
 public:
  static Ref<ObjectArray> make(int64_t length, const std::type_info& elementType = typeid(Object));
  template <typename T>
  static Ref<ObjectArray> makeOf(int64_t length) {
    return make(length, typeid(T));
  }
  static Ref<ObjectArray> of(std::initializer_list<Ref<Object>> values,
                             const std::type_info& elementType = typeid(Object));

  ~ObjectArray() override;

  int32_t length() const noexcept { return length_; }
  const std::type_info& elementType() const noexcept { return *elementType_; }
  template <typename T>
  bool isArrayOf() const noexcept {
    return *elementType_ == typeid(T);
  }

  Object* at(int32_t i) const {
    if (i < 0 || i >= length_) throwIndexOutOfBounds(i, length_);
    return data()[i].get();
  }
  void set(int32_t i, Ref<Object> value) {
    if (i < 0 || i >= length_) throwIndexOutOfBounds(i, length_);
    data()[i] = std::move(value);
  }
  // The elements live in the same allocation, right after the object.
  Ref<Object>* data() noexcept {
    return reinterpret_cast<Ref<Object>*>(reinterpret_cast<char*>(this) + sizeof(ObjectArray));
  }
  const Ref<Object>* data() const noexcept {
    return reinterpret_cast<const Ref<Object>*>(reinterpret_cast<const char*>(this) +
                                                sizeof(ObjectArray));
  }

  // Element-wise equality by equals(), nulls equal to nulls (equals() keeps the platform's
  // identity semantics of arrays).
  bool sameElements(const ObjectArray& other) const;

  const char* className() const noexcept override { return "Object[]"; }

  // Object and elements are one allocation, or a place of a SharedBlock; release() ends
  // either through here.
  static void operator delete(ObjectArray* p, std::destroying_delete_t) noexcept;

 private:
  static_assert(alignof(Ref<Object>) <= alignof(Object), "elements follow the object unpadded");

  ObjectArray(int32_t length, const std::type_info& elementType) noexcept;

  int32_t length_;
  const std::type_info* elementType_;
};

}  // namespace kelvor::lang
