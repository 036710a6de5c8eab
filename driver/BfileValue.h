// The locator value of an external binary file (BFILE): the locator bytes by which the server
// finds the object, and the connection through which its contents are reached. An image
// carries only the locator; the value's bytes are the locator itself.
//
// Thread rule: immutable once made; shareable between threads.
#pragma once

#include "driver/Connection.h"
#include "driver/SqlValue.h"
#include "lang/Array.h"
#include "lang/Ref.h"

namespace kelvor::jdbc {

class BfileValue final : public SqlValue {
 public:
  // The locator is shared, not copied; either argument may be null.
  BfileValue(lang::Ref<Connection> connection, lang::Ref<lang::ByteArray> locator);

  const lang::Ref<Connection>& getConnection() const noexcept { return connection_; }
  // The locator bytes, shared.
  const lang::Ref<lang::ByteArray>& getLocator() const noexcept { return shareBytes(); }

  const char* className() const noexcept override { return "BfileValue"; }

 private:
  lang::Ref<Connection> connection_;  // the connection the locator belongs to
};

}  // namespace kelvor::jdbc
