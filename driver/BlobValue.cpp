#include "driver/BlobValue.h"

#include <utility>

namespace kelvor::jdbc {

BlobValue::BlobValue(lang::Ref<Connection> connection, lang::Ref<lang::ByteArray> locator)
    : LocatorValue(std::move(connection), std::move(locator)) {}

}  // namespace kelvor::jdbc
