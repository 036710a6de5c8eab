// Descriptor of a RAW attribute or element: a byte string of bounded length. Records the
// declared maximum length from the TDS, converts values into RawValue, writes a value into a
// pickled image (refusing one longer than the maximum) and reads it back from a linear image.
//
// RAW value in an image:
//   pickled image        := length(n) bytes(n)                 a null is the caller's FF
//   linear, first form   := slot: rel(4) -> out of line: be32(n) bytes(n)
//                           null when the object's null indicator says so
//   linear, other forms  := indicator(1) be32(n) bytes(n)      indicator bit 0 set: null
//
// Thread rule: filled by parseTDS (or a serial read) on one thread, then read-only and shared.
#pragma once

#include <cstdint>

#include "driver/Trace.h"
#include "lang/Serializable.h"
#include "types/KelvorType.h"
#include "types/TypeFwd.h"

namespace kelvor::jdbc::kelcore {

class KelvorTypeRAW final : public KelvorType {
 public:
  static constexpr int32_t STYLE_SQL_VALUE = 1;
  static constexpr int32_t STYLE_PLATFORM_OBJECT = 2;
  static constexpr int32_t STYLE_BYTES = 3;
  // The SQL type code reported, whatever code the descriptor was built with (BINARY).
  static constexpr int32_t TYPE_CODE = -2;

  // Serial class "KelvorTypeRAW": its hooks write and read maxLength.
  static const lang::SerialClass SERIAL_CLASS;

  // The class-level switch of the class; no operation reads it.
  static inline TraceSwitch TRACE{0};

  KelvorTypeRAW();
  explicit KelvorTypeRAW(int32_t typeCode);

  // --- operations, in class order (the serial hooks are private, below) ---

  // Declared maximum length in bytes; negative when the TDS declared 32768 or more.
  int32_t getMaxLength() const noexcept { return maxLength_; }
  // Always TYPE_CODE.
  int32_t getTypeCode() const override;
  // The base step, then maxLength as a signed 16-bit number.
  void parseTDS(StreamInfo& reader) override;
  // Writes a RawValue (any SqlValue) as one data value; returns the bytes written. A value
  // longer than maxLength raises ERR_VALUE_TOO_LONG with this descriptor before anything is
  // written. Null: NullPointerException; not an SqlValue: ClassCastException.
  [[nodiscard]] int32_t pickle(PickleContext& ctx, lang::Object* value) override;
  // Null gives null; a RawValue is itself; anything else a new RawValue (a byte array shared,
  // a string of hex digits), or ERR_CONVERSION with the value.
  Ref<jdbc::SqlValue> toSqlValue(lang::Object* value, jdbc::Connection* connection) override;
  // An object array, whatever its element class, element by element through toSqlValue (the
  // base's conversion, over the slice of KelvorType::sliceLength). Null gives null; anything
  // else ERR_CONVERSION with the value.
  Ref<lang::ObjectArray> toSqlValueArray(lang::Object* values, jdbc::Connection* connection,
                                         int64_t beginIndex, int32_t count) override;
  // Null or empty bytes give null. STYLE_SQL_VALUE: a RawValue sharing the bytes;
  // STYLE_PLATFORM_OBJECT and STYLE_BYTES: the bytes themselves; other styles ERR_CONVERSION
  // with the bytes.
  Ref<lang::Object> toObject(Ref<lang::ByteArray> bytes, int32_t style,
                             const jdbc::TypeMap* typeMap) override;
  using KelvorType::unpickle;
  // One value from a linear image in the form `format` (1: offsets and null indicators;
  // other: indicator byte); STYLE_SKIP steps over it and gives null.
  Ref<lang::Object> unpickle(UnpickleContext& ctx, int32_t format, int32_t style,
                             const jdbc::TypeMap* typeMap) override;

  const lang::SerialClass& serialClass() const noexcept override { return SERIAL_CLASS; }
  const char* className() const noexcept override { return "KelvorTypeRAW"; }

 private:
  // Serial hooks: trace when KelvorType's serial switch is on, then maxLength as an int.
  void readSerialForm(lang::ObjectInputStream& in);
  void writeSerialForm(lang::ObjectOutputStream& out) const;
  static void serialReadHook(lang::Object& self, lang::ObjectInputStream& in);
  static void serialWriteHook(const lang::Object& self, lang::ObjectOutputStream& out);

  int32_t maxLength_ = 0;  // declared maximum length in bytes (signed 16-bit in the TDS)
};

}  // namespace kelvor::jdbc::kelcore
