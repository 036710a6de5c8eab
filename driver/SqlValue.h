// The driver's value object for one SQL value: the value's byte form as the server ships it.
// Each kind (number, character, date, raw, locators, objects, collections, REFs) derives from
// it and adds its constructors and conversions. The package needs of every kind only its
// length and its bytes.
#pragma once

#include <cstdint>
#include <new>
#include <utility>

#include "lang/Array.h"
#include "lang/Object.h"
#include "lang/Ref.h"
#include "lang/SharedBlock.h"

namespace kelvor::jdbc {

class SqlValue : public lang::Object {
 public:
  // The class bits of SqlValue and of the value classes the package writes and reads.
  static constexpr uint8_t CLASS_BIT = 1;
  static constexpr uint8_t OBJECT_VALUE_BIT = 2;
  static constexpr uint8_t ARRAY_VALUE_BIT = 4;
  static constexpr uint8_t CHAR_VALUE_BIT = 8;

  SqlValue() { addClassBits(CLASS_BIT); }
  // Takes the array as it is (shared, not copied).
  explicit SqlValue(lang::Ref<lang::ByteArray> bytes) : bytes_(std::move(bytes)) {
    addClassBits(CLASS_BIT);
  }

  // A value of class V (constructed as V(bytes, args...)) whose byte form is a copy of
  // data[0, length), the value and its byte array placed side by side when the form is short
  // (up to SHARED_BLOCK_MAX_BYTES): in the read's shared blocks inside a read (a BlockArena
  // installed), else in a block of their own: one allocation per value read, or less. The
  // array is an ordinary one to its users; it may outlive the value.
  static constexpr int32_t SHARED_BLOCK_MAX_BYTES = 256;
  template <typename V, typename... Args>
  static lang::Ref<V> withBytesCopied(const int8_t* data, int32_t length, Args&&... args) {
    if (length > SHARED_BLOCK_MAX_BYTES) {  // the copy costs more than a second allocation
      return lang::makeRef<V>(lang::ByteArray::copyOf(data, length), std::forward<Args>(args)...);
    }
    if (length < 0) throw lang::NegativeArraySizeException(length);
    static_assert(sizeof(V) <= lang::BlockArena::MAX_PLACED && alignof(V) <= 8);
    static_assert(lang::ByteArray::sharedSize(SHARED_BLOCK_MAX_BYTES) <= lang::BlockArena::MAX_PLACED);
    void* valuePlace = nullptr;
    void* bytesPlace = nullptr;
    lang::BlockArena* arena = lang::BlockArena::current();
    if (arena != nullptr && (valuePlace = arena->place(sizeof(V))) != nullptr) {
      bytesPlace = arena->place(lang::ByteArray::sharedSize(length));
      if (bytesPlace == nullptr) {  // the arena is full: the value's place goes unused
        lang::SharedBlock::leave(valuePlace);
        valuePlace = nullptr;
      }
    }
    if (valuePlace == nullptr) {
      lang::SharedBlock::allocate(sizeof(V), lang::ByteArray::sharedSize(length), &valuePlace,
                                  &bytesPlace);
    }
    lang::Ref<lang::ByteArray> bytes = lang::ByteArray::placeShared(bytesPlace, data, length);
    return construct<V>(valuePlace, std::move(bytes), std::forward<Args>(args)...);
  }

  // A new value of class V (constructed as V(args...)): placed in the read's shared blocks
  // inside a read, else an allocation of its own.
  template <typename V, typename... Args>
  static lang::Ref<V> make(Args&&... args) {
    static_assert(sizeof(V) <= lang::BlockArena::MAX_PLACED && alignof(V) <= 8);
    lang::BlockArena* arena = lang::BlockArena::current();
    void* place = arena != nullptr ? arena->place(sizeof(V)) : nullptr;
    if (place == nullptr) return lang::makeRef<V>(std::forward<Args>(args)...);
    return construct<V>(place, std::forward<Args>(args)...);
  }

  // A value made by withBytesCopied leaves its block; any other is freed. A constructor that
  // throws in a new-expression frees through the plain form. A placed value whose byte array
  // lies in the same block and is held by the value alone takes the array with it: one leave
  // for the two.
  static void operator delete(SqlValue* p, std::destroying_delete_t) noexcept {
    const bool shared = (p->classBits() & IN_SHARED_BLOCK) != 0;
    void* whole = dynamic_cast<void*>(p);  // where the allocation starts, whatever the bases
    lang::ByteArray* beside = shared ? p->bytesBeside(whole) : nullptr;
    p->~SqlValue();  // virtual: the whole value
    if (beside != nullptr) {
      beside->~PrimitiveArray();
      lang::SharedBlock::leave(whole, 2);
    } else {
      lang::SharedBlock::dispose(whole, shared);
    }
  }
  static void operator delete(void* p) noexcept { ::operator delete(p); }

  // The object as a T (SqlValue or a class with its own bit), or null when it is not one.
  template <typename T>
  static T* as(lang::Object* o) noexcept {
    return o != nullptr && (o->classBits() & T::CLASS_BIT) != 0 ? static_cast<T*>(o) : nullptr;
  }
  template <typename T>
  static const T* as(const lang::Object* o) noexcept {
    return o != nullptr && (o->classBits() & T::CLASS_BIT) != 0 ? static_cast<const T*>(o)
                                                                 : nullptr;
  }

  // The byte form itself, shared with the value; null for a value without bytes.
  const lang::Ref<lang::ByteArray>& shareBytes() const noexcept { return bytes_; }
  // A copy of the byte form; null for a value without bytes.
  lang::Ref<lang::ByteArray> getBytes() const;
  // The length of the byte form; 0 for a value without bytes.
  virtual int64_t getLength() const noexcept { return bytes_ ? bytes_->length() : 0; }
  void setBytes(lang::Ref<lang::ByteArray> bytes) { bytes_ = std::move(bytes); }
  // The value as the platform's standard object (the base: a copy of the bytes).
  virtual lang::Ref<lang::Object> toJdbc() const { return getBytes(); }

  // Two values of the same class with equal bytes are equal.
  bool equals(const lang::Object* other) const override;
  int32_t hashCode() const override;
  const char* className() const noexcept override { return "SqlValue"; }

 private:
  // V(args...) made at a place of a shared block, which it leaves if its constructor throws.
  template <typename V, typename... Args>
  static lang::Ref<V> construct(void* place, Args&&... args) {
    V* value;
    try {
      value = new (place) V(std::forward<Args>(args)...);
    } catch (...) {
      lang::SharedBlock::leave(place);  // the value that was never made
      throw;
    }
    value->addClassBits(IN_SHARED_BLOCK);
    return lang::Ref<V>::adopt(value);
  }

  // The byte array, taken from the value, when it lies in the value's block and nothing else
  // holds it; else null, the array left to the value.
  lang::ByteArray* bytesBeside(const void* whole) noexcept {
    lang::ByteArray* b = bytes_.get();
    if (b == nullptr || (b->classBits() & IN_SHARED_BLOCK) == 0 || !b->soleOwner() ||
        !lang::SharedBlock::sameBlock(whole, b)) {
      return nullptr;
    }
    return bytes_.detach();
  }

  lang::Ref<lang::ByteArray> bytes_;
};

}  // namespace kelvor::jdbc
