#include "driver/LocatorValue.h"

#include <utility>

namespace kelvor::jdbc {

LocatorValue::LocatorValue(lang::Ref<Connection> connection, lang::Ref<lang::ByteArray> locator)
    : SqlValue(std::move(locator)), connection_(std::move(connection)) {}

}  // namespace kelvor::jdbc
