#include "scalar/LocatorSupport.h"

#include <utility>

#include "driver/BfileValue.h"
#include "driver/BlobValue.h"
#include "driver/ClobValue.h"
#include "driver/Connection.h"
#include "driver/DriverException.h"
#include "driver/ErrorRaiser.h"
#include "lang/Array.h"
#include "scalar/KelvorTypeBFILE.h"
#include "scalar/KelvorTypeBLOB.h"
#include "scalar/KelvorTypeCLOB.h"

namespace kelvor::jdbc::kelcore {
namespace {

// Each descriptor's styles are the ones its LocatorSupport switches on.
template <typename Descriptor, typename Value>
constexpr bool sameStyles =
    Descriptor::STYLE_SQL_VALUE == LocatorSupport<Value>::STYLE_SQL_VALUE &&
    Descriptor::STYLE_PLATFORM_OBJECT == LocatorSupport<Value>::STYLE_PLATFORM_OBJECT &&
    Descriptor::STYLE_BYTES == LocatorSupport<Value>::STYLE_BYTES;
static_assert(sameStyles<KelvorTypeBLOB, jdbc::BlobValue>);
static_assert(sameStyles<KelvorTypeCLOB, jdbc::ClobValue>);
static_assert(sameStyles<KelvorTypeBFILE, jdbc::BfileValue>);

}  // namespace

template <typename Value>
void LocatorSupport<Value>::setConnection(jdbc::Connection* conn) {
  std::lock_guard<std::mutex> hold(connectionLock_);
  connection_ = conn;
}

template <typename Value>
Ref<jdbc::SqlValue> LocatorSupport<Value>::toSqlValue(lang::Object* value) {
  if (value == nullptr) return nullptr;
  if (auto* locator = dynamic_cast<Value*>(value)) return Ref<jdbc::SqlValue>(locator);
  ErrorRaiser::raise(DriverException::ERR_CONVERSION, value);
}

template <typename Value>
Ref<lang::Object> LocatorSupport<Value>::toObject(Ref<lang::ByteArray> bytes,
                                                  int32_t style) const {
  if (!bytes || bytes->length() == 0) return nullptr;
  switch (style) {
    case STYLE_SQL_VALUE:
    case STYLE_PLATFORM_OBJECT: {
      Ref<jdbc::Connection> conn;
      {
        std::lock_guard<std::mutex> hold(connectionLock_);
        conn = Ref<jdbc::Connection>(connection_);
      }
      return lang::makeRef<Value>(std::move(conn), std::move(bytes));
    }
    case STYLE_BYTES:
      return bytes;
    default:
      ErrorRaiser::raise(DriverException::ERR_CONVERSION, bytes.get());
  }
}

template class LocatorSupport<jdbc::BlobValue>;
template class LocatorSupport<jdbc::ClobValue>;
template class LocatorSupport<jdbc::BfileValue>;

}  // namespace kelvor::jdbc::kelcore
