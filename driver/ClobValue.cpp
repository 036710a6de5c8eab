#include "driver/ClobValue.h"

#include <utility>

namespace kelvor::jdbc {

ClobValue::ClobValue(lang::Ref<Connection> connection, lang::Ref<lang::ByteArray> locator)
    : SqlValue(std::move(locator)), connection_(std::move(connection)) {}

}  // namespace kelvor::jdbc
