#include "driver/BfileValue.h"

#include <utility>

namespace kelvor::jdbc {

BfileValue::BfileValue(lang::Ref<Connection> connection, lang::Ref<lang::ByteArray> locator)
    : SqlValue(std::move(locator)), connection_(std::move(connection)) {}

}  // namespace kelvor::jdbc
