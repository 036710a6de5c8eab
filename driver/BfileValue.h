// The locator value of an external binary file (BFILE); see LocatorValue.
//
// Thread rule: immutable once made; shareable between threads.
#pragma once

#include "driver/LocatorValue.h"

namespace kelvor::jdbc {

class BfileValue final : public LocatorValue {
 public:
  // The locator is shared, not copied; either argument may be null.
  BfileValue(lang::Ref<Connection> connection, lang::Ref<lang::ByteArray> locator);

  const char* className() const noexcept override { return "BfileValue"; }
};

}  // namespace kelvor::jdbc
