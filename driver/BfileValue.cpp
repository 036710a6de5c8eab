#include "driver/BfileValue.h"

#include <utility>

namespace kelvor::jdbc {

BfileValue::BfileValue(lang::Ref<Connection> connection, lang::Ref<lang::ByteArray> locator)
    : LocatorValue(std::move(connection), std::move(locator)) {}

}  // namespace kelvor::jdbc
