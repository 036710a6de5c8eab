// The driver's value of an object type: its descriptor, its connection and one SQL value per
// attribute (null for an SQL null attribute).
#pragma once

#include <cstdint>

#include "driver/ObjectDescriptor.h"
#include "driver/SqlValue.h"
#include "lang/Array.h"

namespace kelvor::jdbc {

class ObjectValue : public SqlValue {
 public:
  // Converts each attribute with its attribute descriptor. A count that differs from the
  // type's attribute count raises ERR_INVALID_ARGUMENT with the array.
  ObjectValue(lang::Ref<ObjectDescriptor> descriptor, Connection* connection,
              lang::Ref<lang::ObjectArray> attributes);

  const lang::Ref<ObjectDescriptor>& getDescriptor() const noexcept { return descriptor_; }
  Connection* getConnection() const noexcept { return connection_; }
  // The attributes as SQL values; the array is the value's own.
  const lang::Ref<lang::ObjectArray>& getAttributes() const noexcept { return attributes_; }

  // Equal when of the same type (by SQL name) with equal attributes.
  bool equals(const lang::Object* other) const override;
  const char* className() const noexcept override { return "ObjectValue"; }

 private:
  lang::Ref<ObjectDescriptor> descriptor_;
  Connection* connection_;  // not owned
  lang::Ref<lang::ObjectArray> attributes_;
};

}  // namespace kelvor::jdbc
