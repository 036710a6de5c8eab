// The locator value of a character large object (CLOB); see LocatorValue.
//
// Thread rule: immutable once made; shareable between threads.
#pragma once

#include "driver/LocatorValue.h"

namespace kelvor::jdbc {

class ClobValue final : public LocatorValue {
 public:
  // The locator is shared, not copied; either argument may be null.
  ClobValue(lang::Ref<Connection> connection, lang::Ref<lang::ByteArray> locator);

  const char* className() const noexcept override { return "ClobValue"; }
};

}  // namespace kelvor::jdbc
