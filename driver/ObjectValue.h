// The driver's value of an object type: its descriptor, its connection, and its attributes in
// one of three forms: SQL values (one per attribute, null for SQL null), the attributes'
// platform objects (as a reader in the platform style leaves them), or an image kept as it
// arrived (bytes, offset and length), which the value decodes into SQL values on first access.
//
// Platform form (toJdbc): when the type map has an entry for the type's SQL name, the entry's
// factory builds the application's object from the attributes' platform objects; otherwise the
// platform form is an object array of the attributes' platform objects, nested objects in their
// own platform form.
//
// Thread rule: a value is filled by the one thread that reads it; the first-access decoding of
// a kept image holds the value's lock, so values may then be read from several threads.
#pragma once

#include <cstdint>
#include <mutex>
#include <typeinfo>

#include "driver/ObjectDescriptor.h"
#include "driver/SqlValue.h"
#include "lang/Array.h"
#include "lang/Monitor.h"

namespace kelvor::jdbc {

class TypeMap;

class ObjectValue : public SqlValue {
 public:
  static constexpr uint8_t CLASS_BIT = SqlValue::OBJECT_VALUE_BIT;

  // An empty value, filled by a reader.
  ObjectValue(lang::Ref<ObjectDescriptor> descriptor, Connection* connection);
  // Converts each attribute with its attribute descriptor. A count that differs from the
  // type's attribute count raises ERR_INVALID_ARGUMENT with the array.
  ObjectValue(lang::Ref<ObjectDescriptor> descriptor, Connection* connection,
              lang::Ref<lang::ObjectArray> attributes);

  const lang::Ref<ObjectDescriptor>& getDescriptor() const noexcept { return descriptor_; }
  Connection* getConnection() const noexcept { return connection_; }

  // The attributes as SQL values, decoding a kept image first; null when the value holds
  // platform objects only. Virtual: a value class of the host may override it (the writers
  // write what the override returns).
  virtual lang::Ref<lang::ObjectArray> getAttributes() const;
  // read(attributes) with the array getAttributes gives (null for none), for a writer that is
  // done with it when read returns. A value of this very class is read under its lock with no
  // count taken on the array: setAttributes waits meanwhile, so the array stays alive. A value
  // of a subclass is read through its getAttributes. read must take no other value's lock
  // (it would nest the locks of two values) and must not replace this value's attributes.
  template <typename Read>
  decltype(auto) readAttributes(Read&& read) const {
    if (&typeid(*this) != &typeid(ObjectValue)) {  // a subclass may override getAttributes
      const lang::Ref<lang::ObjectArray> attributes = getAttributes();
      return read(static_cast<const lang::ObjectArray*>(attributes.get()));
    }
    std::lock_guard<lang::Monitor> hold(lock_);
    if (!attributes_ && image_ && !platformAttributes_) decodeImage();
    return read(static_cast<const lang::ObjectArray*>(attributes_.get()));
  }
  // The attributes as platform objects: those a platform-style reader stored, or the SQL
  // values' platform forms.
  lang::Ref<lang::ObjectArray> getPlatformAttributes(const TypeMap* typeMap) const;
  void setAttributes(lang::Ref<lang::ObjectArray> sqlValues);
  void setPlatformAttributes(lang::Ref<lang::ObjectArray> objects);

  // A kept image: the bytes and the offset at which this value's image starts, and its length
  // once the reader has taken it.
  void setImage(lang::Ref<lang::ByteArray> image, int64_t offset);
  void setImageLength(int64_t length) noexcept { imageLength_ = length; }
  const lang::Ref<lang::ByteArray>& getImage() const noexcept { return image_; }
  int64_t getImageOffset() const noexcept { return imageOffset_; }
  int64_t getImageLength() const noexcept { return imageLength_; }
  // True while a kept image waits to be decoded.
  bool isImageOnly() const;

  lang::Ref<lang::Object> toJdbc() const override;
  lang::Ref<lang::Object> toJdbc(const TypeMap* typeMap) const;

  // Equal when of the same type (by SQL name) with equal attributes.
  bool equals(const lang::Object* other) const override;
  std::string toString() const override;
  const char* className() const noexcept override { return "ObjectValue"; }

 private:
  // Decodes a kept image into SQL values; call with lock_ held.
  void decodeImage() const;

  lang::Ref<ObjectDescriptor> descriptor_;
  Connection* connection_;  // not owned
  mutable lang::Monitor lock_;
  mutable lang::Ref<lang::ObjectArray> attributes_;  // SQL values, once known (or decoded)
  lang::Ref<lang::ObjectArray> platformAttributes_;  // platform objects from a platform read
  lang::Ref<lang::ByteArray> image_;                 // kept image, until decoded
  int64_t imageOffset_ = 0;
  int64_t imageLength_ = 0;
};

}  // namespace kelvor::jdbc
