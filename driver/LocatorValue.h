// Base of the locator values (BlobValue, ClobValue, BfileValue): the locator bytes by which the
// server finds a large object or an external file, and the connection through which its
// contents are reached. An image carries only the locator; the value's bytes are the locator
// itself. Each kind is its own class, so that a value of one kind is never taken for another.
//
// Thread rule: immutable once made; shareable between threads.
#pragma once

#include "driver/Connection.h"
#include "driver/SqlValue.h"
#include "lang/Array.h"
#include "lang/Ref.h"

namespace kelvor::jdbc {

class LocatorValue : public SqlValue {
 public:
  const lang::Ref<Connection>& getConnection() const noexcept { return connection_; }
  // The locator bytes, shared.
  lang::Ref<lang::ByteArray> getLocator() const { return shareBytes(); }

 protected:
  // The locator is shared, not copied; either argument may be null.
  LocatorValue(lang::Ref<Connection> connection, lang::Ref<lang::ByteArray> locator);

 private:
  lang::Ref<Connection> connection_;  // the connection the locator belongs to
};

}  // namespace kelvor::jdbc
