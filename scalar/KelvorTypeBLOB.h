// Descriptor of a BLOB attribute or element (binary large object, TDS opcode 30). An image
// never carries the object's contents, only its locator, the bytes by which the server finds
// it; the descriptor turns locator bytes into BlobValue values built with its connection and back.
// It reads no TDS operands beyond the base part. What it shares with the CLOB and BFILE
// descriptors (the connection, the conversions, a serial class without fields) is
// LocatorSupport's and fieldlessSerialClass's; the linear slot of all three is read here.
//
// Locator in an image:
//   pickled image        := length(n) locator(n)       (the base's data value)
//   linear, first form   := slot: rel(4) -> at the object's base + rel: be16(n) bytes(n)
//                           null when the object's null indicator says so
//   linear, other forms  := flag(1), then be16(n) bytes(n) inside a slot of LOCATOR_SLOT_SIZE
//                           bytes counted from the byte after the flag; a locator longer than
//                           the slot ends where it ends (the position never moves back).
//                           Flag bit 0 set: null, and only the be16-prefixed string is skipped
// The locator handed on includes its 2 length bytes.
//
// Serial form: nothing of its own (the class still registers itself, so that a descriptor is
// restored as a KelvorTypeBLOB). The connection is not written; it is absent after reading
// until setConnection.
//
// Thread rule: read-only once built and shared; setConnection may come from any thread and
// takes the descriptor's lock, which the readers of the connection take too.
#pragma once

#include <cstdint>

#include "driver/Trace.h"
#include "lang/Serializable.h"
#include "scalar/LocatorSupport.h"
#include "types/KelvorType.h"
#include "types/TypeFwd.h"

namespace kelvor::jdbc::kelcore {

class KelvorTypeBLOB final : public KelvorType {
 public:
  static constexpr int32_t STYLE_SQL_VALUE = 1;
  static constexpr int32_t STYLE_PLATFORM_OBJECT = 2;
  static constexpr int32_t STYLE_BYTES = 3;
  // Bytes of a locator slot in a linear image of the other forms, after the flag byte.
  static constexpr int32_t LOCATOR_SLOT_SIZE = 86;
  static constexpr int32_t TYPE_CODE = 2004;

  // Serial class "KelvorTypeBLOB": no fields of its own; its hooks only trace.
  static const lang::SerialClass SERIAL_CLASS;

  // The class's debug switch; declared for the class, read by none of its operations.
  static inline TraceSwitch DEBUG_TRACE{0};

  // Base construction only: no connection.
  KelvorTypeBLOB();
  explicit KelvorTypeBLOB(jdbc::Connection* conn);
  ~KelvorTypeBLOB() override;

  // --- operations, in class order ---

  // Always TYPE_CODE.
  int32_t getTypeCode() const override;
  // Reads one locator slot of a linear image for `descriptor` (this class's, CLOB's or
  // BFILE's), in the form `format` (1: offsets and null indicators; other: flag byte), and
  // returns descriptor->toObject of the locator, so that each class builds its own value.
  // STYLE_SKIP steps over the slot and gives null.
  static Ref<lang::Object> unpickleLocator(KelvorType* descriptor, int32_t nullIndex,
                                           int32_t offsetIndex, UnpickleContext& ctx,
                                           int32_t format, int32_t style, int32_t slotSize);
  void setConnection(jdbc::Connection* conn) override;
  // Null gives null; a BlobValue is itself; anything else raises ERR_CONVERSION with the value.
  Ref<jdbc::SqlValue> toSqlValue(lang::Object* value, jdbc::Connection* conn) override;
  // Null or empty bytes give null. STYLE_SQL_VALUE and STYLE_PLATFORM_OBJECT: a new
  // BlobValue of the connection and the bytes; STYLE_BYTES: the bytes themselves; other
  // styles ERR_CONVERSION with the bytes.
  Ref<lang::Object> toObject(Ref<lang::ByteArray> bytes, int32_t style,
                             const jdbc::TypeMap* typeMap) override;
  using KelvorType::unpickle;
  // unpickleLocator with this descriptor's indexes and LOCATOR_SLOT_SIZE; typeMap unused.
  Ref<lang::Object> unpickle(UnpickleContext& ctx, int32_t format, int32_t style,
                             const jdbc::TypeMap* typeMap) override;

  const lang::SerialClass& serialClass() const noexcept override { return SERIAL_CLASS; }
  const char* className() const noexcept override { return "KelvorTypeBLOB"; }

 private:
  LocatorSupport<jdbc::BlobValue> values_;  // the connection, and the BlobValues built with it
};

}  // namespace kelvor::jdbc::kelcore
