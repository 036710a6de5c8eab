// The driver's value object for one SQL value: the value's byte form as the server ships it.
// Each kind (number, character, date, raw, locators, objects, collections, REFs) derives from
// it and adds its constructors and conversions. The package needs of every kind only its
// length and its bytes.
#pragma once

#include <cstdint>

#include "lang/Array.h"
#include "lang/Object.h"
#include "lang/Ref.h"

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
  lang::Ref<lang::ByteArray> bytes_;
};

}  // namespace kelvor::jdbc
