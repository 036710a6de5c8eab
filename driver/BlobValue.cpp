#include "driver/BlobValue.h"

#include <utility>

namespace kelvor::jdbc {

BlobValue::BlobValue(lang::Ref<Connection> connection, lang::Ref<lang::ByteArray> locator)
    : SqlValue(std::move(locator)), connection_(std::move(connection)) {}

}  // namespace kelvor::jdbc
