// What the three locator descriptors (KelvorTypeBLOB, KelvorTypeCLOB, KelvorTypeBFILE) share:
// the connection their values are built with, behind its lock, and the two conversions between
// locator bytes and their value class Value (jdbc::BlobValue, ClobValue or BfileValue). Each
// descriptor holds one and hands its setConnection, toSqlValue and toObject to it. The linear
// slot of all three is read by KelvorTypeBLOB::unpickleLocator, and their serial class is a
// fieldlessSerialClass: the connection is never written.
//
// Thread rule: setConnection may come from any thread; toObject reads the connection under the
// same lock.
#pragma once

#include <cstdint>
#include <mutex>

#include "types/TypeFwd.h"

namespace kelvor::jdbc {
class BfileValue;
class BlobValue;
class ClobValue;
}  // namespace kelvor::jdbc

namespace kelvor::jdbc::kelcore {

template <typename Value>
class LocatorSupport {
 public:
  // Result styles of toObject; the three descriptors declare the same values.
  static constexpr int32_t STYLE_SQL_VALUE = 1;
  static constexpr int32_t STYLE_PLATFORM_OBJECT = 2;
  static constexpr int32_t STYLE_BYTES = 3;

  LocatorSupport() = default;
  explicit LocatorSupport(jdbc::Connection* conn) noexcept : connection_(conn) {}
  LocatorSupport(const LocatorSupport&) = delete;
  LocatorSupport& operator=(const LocatorSupport&) = delete;

  void setConnection(jdbc::Connection* conn);
  // Null gives null; a Value is itself; anything else (another locator class included) raises
  // ERR_CONVERSION with the value.
  static Ref<jdbc::SqlValue> toSqlValue(lang::Object* value);
  // Null or empty bytes give null. STYLE_SQL_VALUE and STYLE_PLATFORM_OBJECT: a new Value of
  // the connection and the bytes; STYLE_BYTES: the bytes themselves; other styles
  // ERR_CONVERSION with the bytes.
  Ref<lang::Object> toObject(Ref<lang::ByteArray> bytes, int32_t style) const;

 private:
  mutable std::mutex connectionLock_;  // guards connection_
  // Not owned (the connection outlives its descriptors); builds the locator values; may be null.
  jdbc::Connection* connection_ = nullptr;
};

// The three instances, defined in LocatorSupport.cpp.
extern template class LocatorSupport<jdbc::BlobValue>;
extern template class LocatorSupport<jdbc::ClobValue>;
extern template class LocatorSupport<jdbc::BfileValue>;

}  // namespace kelvor::jdbc::kelcore
