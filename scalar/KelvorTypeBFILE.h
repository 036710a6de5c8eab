// Descriptor of a BFILE attribute or element (external binary file, TDS opcode 31). An image
// never carries the object's contents, only its locator, the bytes by which the server finds
// it; the descriptor turns locator bytes into BfileValue values built with its connection and back.
// It reads no TDS operands beyond the base part. What it shares with the BLOB descriptor (the
// connection, the conversions, a serial class without fields) is LocatorSupport's and
// fieldlessSerialClass's.
//
// Locator in an image: the forms LocatorSupport describes and reads, the linear slot with this
// descriptor's LOCATOR_SLOT_SIZE.
//
// Serial form: nothing of its own (the class still registers itself, so that a descriptor is
// restored as a KelvorTypeBFILE). The connection is not written; it is absent after reading
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

class KelvorTypeBFILE final : public KelvorType {
 public:
  static constexpr int32_t STYLE_SQL_VALUE = 1;
  static constexpr int32_t STYLE_PLATFORM_OBJECT = 2;
  static constexpr int32_t STYLE_BYTES = 3;
  // Bytes of a locator slot in a linear image of the other forms, after the flag byte.
  static constexpr int32_t LOCATOR_SLOT_SIZE = 530;
  static constexpr int32_t TYPE_CODE = -13;

  // Serial class "KelvorTypeBFILE": no fields of its own; its hooks only trace.
  static const lang::SerialClass SERIAL_CLASS;

  // The class's debug switch; declared for the class, read by none of its operations.
  static inline TraceSwitch DEBUG_TRACE{0};

  // Base construction only: no connection.
  KelvorTypeBFILE();
  explicit KelvorTypeBFILE(jdbc::Connection* conn);
  ~KelvorTypeBFILE() override;

  // --- operations, in class order ---

  // Always TYPE_CODE.
  int32_t getTypeCode() const override;
  void setConnection(jdbc::Connection* conn) override;
  // Null gives null; a BfileValue is itself; anything else raises ERR_CONVERSION with the value.
  Ref<jdbc::SqlValue> toSqlValue(lang::Object* value, jdbc::Connection* conn) override;
  // Null or empty bytes give null. STYLE_SQL_VALUE and STYLE_PLATFORM_OBJECT: a new
  // BfileValue of the connection and the bytes; STYLE_BYTES: the bytes themselves; other
  // styles ERR_CONVERSION with the bytes.
  Ref<lang::Object> toObject(Ref<lang::ByteArray> bytes, int32_t style,
                             const jdbc::TypeMap* typeMap) override;
  using KelvorType::unpickle;
  // LocatorSupport::unpickleLocator with this descriptor's indexes and LOCATOR_SLOT_SIZE;
  // typeMap unused.
  Ref<lang::Object> unpickle(UnpickleContext& ctx, int32_t format, int32_t style,
                             const jdbc::TypeMap* typeMap) override;

  const lang::SerialClass& serialClass() const noexcept override { return SERIAL_CLASS; }
  const char* className() const noexcept override { return "KelvorTypeBFILE"; }

 private:
  LocatorSupport<jdbc::BfileValue> values_;  // the connection, and the BfileValues built with it
};

}  // namespace kelvor::jdbc::kelcore
