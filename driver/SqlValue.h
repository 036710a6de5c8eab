// The driver's value object for one SQL value: the value's byte form as the server ships it.
// Each kind (number, character, date, raw, locators, objects, collections, REFs) derives from
// it and adds its constructors and conversions. The package needs of every kind only its
// length and its bytes.
#pragma once

#include <atomic>
#include <cstdint>
#include <cstring>
#include <new>
#include <span>
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
  static constexpr uint8_t NUMBER_VALUE_BIT = 16;
  static constexpr uint8_t DATE_VALUE_BIT = 32;

  SqlValue() { addClassBits(CLASS_BIT); }
  // Takes the array as it is (shared, not copied).
  explicit SqlValue(lang::Ref<lang::ByteArray> bytes) {
    addClassBits(CLASS_BIT);
    holdArray(bytes.detach());
  }
  ~SqlValue() override;

  // A short byte form that lies right after the value, in the value's own allocation (made by
  // withBytesCopied only): the constructor argument of the value classes that hold their form
  // inline.
  class InlineForm {
   public:
    const int8_t* data() const noexcept { return data_; }
    int32_t length() const noexcept { return length_; }

   private:
    friend class SqlValue;
    InlineForm(const int8_t* data, int32_t length) noexcept : data_(data), length_(length) {}
    const int8_t* data_;
    int32_t length_;
  };
  explicit SqlValue(InlineForm form) noexcept
      : inlineAt_(static_cast<uint8_t>(form.data() - reinterpret_cast<const int8_t*>(this))),
        inlineLength_(static_cast<uint16_t>(form.length())) {
    addClassBits(CLASS_BIT);
  }

  // A value of class V (constructed as V(form, args...)) whose byte form is a copy of
  // data[0, length). A short form (up to SHARED_BLOCK_MAX_BYTES) lies inline, right after the
  // value in one place: in the read's shared blocks inside a read (a BlockArena installed),
  // else in one allocation; V is then made from an InlineForm. A longer form is a ByteArray of
  // its own, V made from it.
  static constexpr int32_t SHARED_BLOCK_MAX_BYTES = 256;
  template <typename V, typename... Args>
  static lang::Ref<V> withBytesCopied(const int8_t* data, int32_t length, Args&&... args) {
    if (length > SHARED_BLOCK_MAX_BYTES) {  // the copy costs more than a second allocation
      return lang::makeRef<V>(lang::ByteArray::copyOf(data, length), std::forward<Args>(args)...);
    }
    if (length < 0) throw lang::NegativeArraySizeException(length);
    static_assert(sizeof(V) % alignof(V) == 0 && alignof(V) <= 8);
    static_assert(sizeof(V) + SHARED_BLOCK_MAX_BYTES <= lang::BlockArena::MAX_PLACED);
    static_assert(sizeof(V) <= UINT8_MAX && SHARED_BLOCK_MAX_BYTES <= UINT16_MAX);
    const size_t size = sizeof(V) + static_cast<size_t>(length);
    lang::BlockArena* arena = lang::BlockArena::current();
    void* place = arena != nullptr ? arena->place(size) : nullptr;
    const bool placed = place != nullptr;
    if (!placed) place = ::operator new(size);
    int8_t* form = static_cast<int8_t*>(place) + sizeof(V);
    if (length > 0) std::memcpy(form, data, static_cast<size_t>(length));
    return constructAt<V>(place, placed, InlineForm(form, length), std::forward<Args>(args)...);
  }

  // A new value of class V (constructed as V(args...)): placed in the read's shared blocks
  // inside a read, else an allocation of its own.
  template <typename V, typename... Args>
  static lang::Ref<V> make(Args&&... args) {
    static_assert(sizeof(V) <= lang::BlockArena::MAX_PLACED && alignof(V) <= 8);
    lang::BlockArena* arena = lang::BlockArena::current();
    void* place = arena != nullptr ? arena->place(sizeof(V)) : nullptr;
    if (place == nullptr) return lang::makeRef<V>(std::forward<Args>(args)...);
    return constructAt<V>(place, true, std::forward<Args>(args)...);
  }

  // A placed value leaves its block; any other (an inline form included) is freed. A
  // constructor that throws in a new-expression frees through the plain form.
  static void operator delete(SqlValue* p, std::destroying_delete_t) noexcept {
    const bool shared = (p->classBits() & IN_SHARED_BLOCK) != 0;
    void* whole = dynamic_cast<void*>(p);  // where the allocation starts, whatever the bases
    p->~SqlValue();                        // virtual: the whole value
    lang::SharedBlock::dispose(whole, shared);
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

  // The byte form itself, shared with the value; null for a value without bytes. A value
  // that holds its form inline makes the array on the first call; every call, on any thread,
  // gets that same array.
  lang::Ref<lang::ByteArray> shareBytes() const {
    lang::ByteArray* a = array_.load(std::memory_order_acquire);
    if (a != nullptr) return lang::Ref<lang::ByteArray>(a);  // the value holds a count
    return inlineAt_ != 0 ? publishArray() : nullptr;
  }
  // The byte form without any object: empty for a value without bytes (hasBytes tells the
  // two apart). Valid while the value lives and its form is not replaced.
  std::span<const int8_t> byteSpan() const noexcept {
    if (inlineAt_ != 0) return {reinterpret_cast<const int8_t*>(this) + inlineAt_, inlineLength_};
    const lang::ByteArray* a = array_.load(std::memory_order_relaxed);  // set before sharing
    return a != nullptr ? a->span() : std::span<const int8_t>();
  }
  const int8_t* byteData() const noexcept { return byteSpan().data(); }
  int32_t byteLength() const noexcept { return static_cast<int32_t>(byteSpan().size()); }
  bool hasBytes() const noexcept {
    return inlineAt_ != 0 || array_.load(std::memory_order_relaxed) != nullptr;
  }
  // The form's array when the value has one already (not made here), else null, borrowed:
  // for a failure that names the offending bytes.
  const lang::ByteArray* arrayIfAny() const noexcept {
    return array_.load(std::memory_order_acquire);
  }
  // A copy of the byte form; null for a value without bytes.
  lang::Ref<lang::ByteArray> getBytes() const;
  // The length of the byte form; 0 for a value without bytes.
  virtual int64_t getLength() const noexcept { return byteLength(); }
  // Replaces the form (an inline form goes unused). Not to be called while other threads use
  // the value.
  void setBytes(lang::Ref<lang::ByteArray> bytes);
  // The value as the platform's standard object (the base: a copy of the bytes).
  virtual lang::Ref<lang::Object> toJdbc() const { return getBytes(); }

  // Two values of the same class with equal bytes are equal.
  bool equals(const lang::Object* other) const override;
  int32_t hashCode() const override;
  const char* className() const noexcept override { return "SqlValue"; }

 private:
  // V(args...) made at `place`: a place in the read's blocks when `placed`, else an allocation
  // of the value's own, which the value gives back (SharedBlock::dispose) if its constructor
  // throws.
  template <typename V, typename... Args>
  static lang::Ref<V> constructAt(void* place, bool placed, Args&&... args) {
    V* value;
    try {
      value = new (place) V(std::forward<Args>(args)...);
    } catch (...) {
      lang::SharedBlock::dispose(place, placed);  // the value that was never made
      throw;
    }
    if (placed) value->addClassBits(IN_SHARED_BLOCK);
    return lang::Ref<V>::adopt(value);
  }

  // Makes the form's array for an inline form and publishes it, unless another call did first.
  lang::Ref<lang::ByteArray> publishArray() const;
  // Takes over one count of `array` (null: no bytes) as the form.
  void holdArray(lang::ByteArray* array) noexcept {
    array_.store(array, std::memory_order_relaxed);
    inlineAt_ = 0;
    inlineLength_ = 0;
  }

  // Where an inline form starts, counted from this object's address; 0: the form is the
  // array's (none without an array: a value without bytes differs from one with 0 bytes).
  // It and the inline form's length fill what the base class leaves free: a value is no larger
  // than one that holds only its array (a value read from ints and written is read whole on
  // every write, so its size is the write's memory traffic).
  uint8_t inlineAt_ = 0;
  uint16_t inlineLength_ = 0;
  // The form's array, one count held: given, or made on demand for an inline form.
  mutable std::atomic<lang::ByteArray*> array_{nullptr};
};

}  // namespace kelvor::jdbc
