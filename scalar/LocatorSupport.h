// What the three locator descriptors (KelvorTypeBLOB, KelvorTypeCLOB, KelvorTypeBFILE) share:
// the connection their values are built with, behind its lock, the two conversions between
// locator bytes and their value class Value (jdbc::BlobValue, ClobValue or BfileValue), and the
// reader of their linear slot. Each descriptor holds one and hands its setConnection,
// toSqlValue, toObject and linear unpickle to it. Their serial class is a fieldlessSerialClass:
// the connection is never written.
//
// An image never carries a large object's contents, only its locator, the bytes by which the
// server finds it:
//   pickled image        := length(n) locator(n)       (the base's data value)
//   linear, first form   := slot: rel(4) -> at the object's base + rel: be16(n) bytes(n)
//                           null when the object's null indicator says so
//   linear, other forms  := flag(1), then be16(n) bytes(n) inside a slot of the descriptor's
//                           LOCATOR_SLOT_SIZE bytes counted from the byte after the flag; a
//                           locator longer than the slot ends where it ends (the position never
//                           moves back). Flag bit 0 set: null, and only the be16-prefixed string
//                           is skipped
// The locator handed on includes its 2 length bytes.
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
  // Reads one locator slot of a linear image for `descriptor`, in the form `format` (1:
  // offsets and null indicators; other: flag byte) with `slotSize` bytes to a slot, and returns
  // descriptor->toObject of the locator, so that each class builds its own value.
  // KelvorType::STYLE_SKIP steps over the slot and gives null.
  static Ref<lang::Object> unpickleLocator(KelvorType* descriptor, int32_t nullIndex,
                                           int32_t offsetIndex, UnpickleContext& ctx,
                                           int32_t format, int32_t style, int32_t slotSize);

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
