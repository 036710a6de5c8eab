#include "driver/ClobValue.h"

#include <utility>

namespace kelvor::jdbc {

ClobValue::ClobValue(lang::Ref<Connection> connection, lang::Ref<lang::ByteArray> locator)
    : LocatorValue(std::move(connection), std::move(locator)) {}

}  // namespace kelvor::jdbc
