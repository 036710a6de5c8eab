// The locator value of a binary large object (BLOB); see LocatorValue.
//
// Thread rule: immutable once made; shareable between threads.
#pragma once

#include "driver/LocatorValue.h"

namespace kelvor::jdbc {

class BlobValue final : public LocatorValue {
 public:
  // The locator is shared, not copied; either argument may be null.
  BlobValue(lang::Ref<Connection> connection, lang::Ref<lang::ByteArray> locator);

  const char* className() const noexcept override { return "BlobValue"; }
};

}  // namespace kelvor::jdbc
