// The driver's REF value: the server's REF bytes and the descriptor of the referenced object
// type (null when it is not known).
#pragma once

#include "driver/ObjectDescriptor.h"
#include "driver/SqlValue.h"

namespace kelvor::jdbc {

class RefValue final : public SqlValue {
 public:
  RefValue(lang::Ref<ObjectDescriptor> descriptor, Connection* connection,
           lang::Ref<lang::ByteArray> bytes)
      : SqlValue(std::move(bytes)), descriptor_(std::move(descriptor)), connection_(connection) {}

  const lang::Ref<ObjectDescriptor>& getDescriptor() const noexcept { return descriptor_; }
  Connection* getConnection() const noexcept { return connection_; }

  const char* className() const noexcept override { return "RefValue"; }

 private:
  lang::Ref<ObjectDescriptor> descriptor_;
  Connection* connection_;  // not owned
};

}  // namespace kelvor::jdbc
